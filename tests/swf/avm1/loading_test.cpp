// Scripts reading files beside their movie (LoadVars, XML, loadVariables) and keeping data
// between runs (SharedObject), in hand-built movies in temporary folders.

#include "avm1_asm.h"
#include "script_helpers.h"
#include "swf/sound/moviesound.h"
#include "swf/sound/signal.h"
#include "testenv.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

using avm1test::Asm;
using avm1test::MovieRun;
using avm1test::oneFrame;
using namespace avm1test::helpers;
using swftest::Bytes;

struct Game {
    QTemporaryDir tmp;
    QString folder, movie, store;
    Game() {
        folder = tmp.path() + "/game";
        movie = folder + "/main.swf";
        store = tmp.path() + "/data/reelwick/shared-objects";
        writeFile(folder + "/vars.txt", "a=1&name=%E5%90%8D%E5%AD%97&sp=x+y");
        writeFile(folder + "/levels/one.xml",
                  "<?xml version=\"1.0\"?>\n<level id=\"7\">\n  <row>a &amp; b</row>\n"
                  "  <row><![CDATA[<raw>]]></row>\n  <empty/>\n</level>\n");
        writeFile(tmp.path() + "/secret.txt", "a=secret");
    }
    std::unique_ptr<MovieRun> run(const Bytes& file) {
        writeFile(movie,
                  QByteArray(reinterpret_cast<const char*>(file.data()), qsizetype(file.size())));
        return std::make_unique<MovieRun>(
            file, swf::avm1::Limits{},
            [this](swf::avm1::Scripting& s) { s.setFiles(movie, store); });
    }
};

TEST(Avm1Loading, LoadVarsXmlAndLoadVariablesArriveOnTheNextStep) {
    Game game;
    Asm onVars;
    traceJoined(onVars, {text("vars"), var("ok"), member("this", "a"), member("this", "name"),
                         member("this", "sp")});
    Asm onXml;
    traceJoined(onXml,
                {text("xml"), var("ok"), member("this", "status"),
                 member("this", "firstChild.attributes.id"),
                 member("this", "firstChild.childNodes.length"),
                 member("this", "firstChild.firstChild.firstChild.nodeValue"),
                 member("this", "firstChild.lastChild.previousSibling.firstChild.nodeValue")});
    onXml.num(0).getVar("this").str("toString").op(0x52).trace();

    Asm a;
    newObject(a, "lv", "LoadVars");
    setHandler(a, "lv", "onLoad", {"ok"}, onVars);
    a.invoke("lv", "load", {std::string("vars.txt")}, true).trace();
    newObject(a, "bad", "LoadVars");
    setHandler(a, "bad", "onLoad", {"ok"}, onVars);
    a.invoke("bad", "load", {std::string("../secret.txt")}, true).trace();
    newObject(a, "x", "XML");
    a.getVar("x").str("ignoreWhite").boolean(true).op(0x4F);
    setHandler(a, "x", "onLoad", {"ok"}, onXml);
    a.invoke("x", "load", {std::string("levels/one.xml")}, true).op(0x17);
    // loadVariables("vars.txt", "_root"): GetURL2 with the variables flag.
    a.str("vars.txt").str("_root").rec(0x9A, {0x80});
    a.invoke("lv", "send", {std::string("http://example.com/")}, true).trace();
    a.str("frame one done").trace();
    Asm frameTwo;
    traceJoined(frameTwo, {text("root"), var("a"), var("name")});
    const Bytes file =
        swftest::movie(swftest::concat({swftest::doAction(a.bytes()), swftest::showFrame(),
                                        swftest::doAction(frameTwo.bytes()), swftest::showFrame(),
                                        swftest::doAction(frameTwo.bytes()), swftest::showFrame(),
                                        swftest::end()}),
                       3, 8);

    auto run = game.run(file);
    EXPECT_EQ(run->traces, (QStringList{"true", "false", "false", "frame one done"}));
    ASSERT_EQ(run->notices.size(), 2);
    EXPECT_TRUE(run->notices[0].startsWith("Refused: LoadVars.load of ../secret.txt: it leads "
                                           "outside the movie's folder"))
        << run->notices[0].toStdString();
    EXPECT_TRUE(run->notices[1].contains("http://example.com/")) << run->notices[1].toStdString();
    run->traces.clear();
    run->ticks(1);
    // Frame two's script runs before the answers, which come in the order asked.
    EXPECT_EQ(run->traces,
              (QStringList{"root undefined undefined", "vars true 1 名字 x y",
                           "vars false undefined undefined undefined", "xml true 0 7 3 a & b <raw>",
                           "<?xml version=\"1.0\"?><level id=\"7\"><row>a &amp; b</row><row>"
                           "&lt;raw&gt;</row><empty /></level>"}));
    run->traces.clear();
    run->ticks(1);
    EXPECT_EQ(run->traces, (QStringList{"root 1 名字"}));
}

TEST(Avm1Loading, LoadVariablesNumReadsOldTextAsGb18030) {
    Game game;
    writeFile(game.folder + "/gb.txt", QByteArray::fromHex("613dc3fbd7d6")); // a=名字
    auto movie = [](std::uint8_t version, bool codepage) {
        Asm onData;
        traceJoined(onData, {text("data"), var("a")});
        Asm a;
        if (codepage)
            a.getVar("System").str("useCodepage").boolean(true).op(0x4F);
        setHandler(a, "_root", "onData", {}, onData);
        a.str("gb.txt").str("_level0").rec(0x9A, {0x80});
        a.str("gb.txt").str("_level1").rec(0x9A, {0x80});
        return oneFrame(a, version);
    };
    const QString name = QString::fromUtf8("名字");
    for (const auto& [version, codepage, decoded] :
         {std::tuple{5, false, true}, std::tuple{8, true, true}, std::tuple{8, false, false}}) {
        auto run = game.run(movie(std::uint8_t(version), codepage));
        ASSERT_EQ(run->notices.size(), 1);
        EXPECT_TRUE(run->notices[0].contains("no clip _level1")) << run->notices[0].toStdString();
        run->ticks(1);
        ASSERT_EQ(run->traces.size(), 1) << version;
        EXPECT_EQ(run->traces[0] == "data " + name, decoded)
            << version << codepage << run->traces[0].toStdString();
    }
}

TEST(Avm1Loading, XmlParsesBuildsAndReportsErrors) {
    Asm a;
    const std::pair<std::string, int> docs[] = {
        {"<a><b/></a>", 0}, {"<a><!-- x", -5},     {"<a><![CDATA[x", -2},
        {"<?xml", -3},      {"<!DOCTYPE a [", -4}, {"<a b='1></a>", -8},
        {"<a>", -9},        {"</a>", -10},         {"<a b=1></a>", -6},
    };
    for (const auto& [doc, status] : docs) {
        a.str("d").str(doc).num(1).str("XML").op(0x40).op(0x1D);
        traceJoined(a, {member("d", "status")});
    }
    // Built by script: x.appendChild(x.createElement("top")), attributes, text, clone.
    newObject(a, "x", "XML");
    a.str("e").str("top").num(1).getVar("x").str("createElement").op(0x52).op(0x1D);
    a.getVar("e").str("attributes").op(0x4E).str("q").str("say \"hi\" & <go>").op(0x4F);
    a.str("two words").num(1).getVar("x").str("createTextNode").op(0x52);
    a.num(1).getVar("e").str("appendChild").op(0x52).op(0x17);
    a.getVar("e").num(1).getVar("x").str("appendChild").op(0x52).op(0x17);
    a.num(0).getVar("x").str("toString").op(0x52).trace();
    // A node cannot be put inside itself.
    a.getVar("e").num(1).getVar("e").str("appendChild").op(0x52).op(0x17);
    a.str("c").boolean(true).num(1).getVar("e").str("cloneNode").op(0x52).op(0x1D);
    a.num(0).getVar("c").str("toString").op(0x52).trace();
    traceJoined(
        a, {member("e", "parentNode.firstChild.nodeName"), member("e", "firstChild.nodeType")});
    a.num(0).getVar("e").str("removeNode").op(0x52).op(0x17);
    a.num(0).getVar("x").str("toString").op(0x52).trace();

    MovieRun run(oneFrame(a, 8));
    EXPECT_EQ(run.traces, (QStringList{"0", "-5", "-2", "-3", "-4", "-8", "-9", "-10", "-6",
                                       "<top q=\"say &quot;hi&quot; &amp; &lt;go&gt;\">two "
                                       "words</top>",
                                       "<top q=\"say &quot;hi&quot; &amp; &lt;go&gt;\">two "
                                       "words</top>",
                                       "top 3", ""}));
}

// An ID3v2.3 text frame: id, size, flags, then the encoding byte and the text.
QByteArray id3Frame(const char* id, std::uint8_t encoding, const QByteArray& text) {
    QByteArray f(id);
    const auto n = std::uint32_t(text.size() + 1);
    for (int shift : {24, 16, 8, 0})
        f += char(n >> shift);
    f += QByteArray(2, 0);
    f += char(encoding);
    return f + text;
}

QByteArray syncsafe(std::uint32_t n) {
    QByteArray b;
    for (int shift : {21, 14, 7, 0})
        b += char((n >> shift) & 0x7F);
    return b;
}

// The MP3 stream blocks of the corpus's sine movie joined: a plain MP3 file of a 440 Hz tone.
struct SineMp3 {
    QByteArray bytes;
    double samples = 0, rate = 0;
};

std::optional<SineMp3> sineMp3() {
    const QString corpus = testenv::corpusPath(QStringLiteral("ffmpeg-generated/sine_mp3.swf"));
    auto source = swf::Movie::loadFile(corpus);
    if (!source)
        return std::nullopt;
    SineMp3 out;
    for (const auto& frame : (*source)->timeline.frames) {
        if (!frame.streamBlock || frame.streamBlock->size() < 4)
            continue;
        const auto& b = *frame.streamBlock;
        out.samples += b[0] | (b[1] << 8);
        out.bytes.append(reinterpret_cast<const char*>(b.data()) + 4, qsizetype(b.size()) - 4);
    }
    if ((*source)->timeline.frames[0].streamHead)
        out.rate = (*source)->timeline.frames[0].streamHead->stream.rate;
    return out;
}

TEST(Avm1LoadSound, Mp3BesideTheMovieDecodesWithItsTags) {
    REELWICK_NEED_CORPUS();
    const auto sine = sineMp3();
    if (!sine)
        GTEST_SKIP() << "corpus missing: ffmpeg-generated/sine_mp3.swf";
    const QByteArray& mp3 = sine->bytes;
    const double samples = sine->samples, rate = sine->rate;
    ASSERT_GT(mp3.size(), 1000);
    ASSERT_GT(rate, 0);

    QByteArray title = QByteArray("\xFF\xFE");
    for (QChar c : QString::fromUtf8("正弦"))
        title += char(c.unicode() & 0xFF), title += char(c.unicode() >> 8);
    QByteArray frames = id3Frame("TIT2", 1, title) +
                        id3Frame("TPE1", 0, QByteArray::fromHex("d7f7d5df")) + // 作者, GB18030
                        id3Frame("COMM", 3, QByteArray("eng\0note", 8));
    QByteArray v1(128, 0);
    v1.replace(0, 3, "TAG");
    v1.replace(63, 5, "Tones");
    v1[126] = 7;
    v1[127] = char(255);
    Game game;
    writeFile(game.folder + "/song.mp3", QByteArray("ID3\x03\x00\x00", 6) +
                                             syncsafe(std::uint32_t(frames.size())) + frames + mp3 +
                                             v1);

    Asm onId3;
    traceJoined(onId3, {text("id3"), member("this", "id3.songname"), member("this", "id3.artist"),
                        member("this", "id3.album"), member("this", "id3.comment"),
                        member("this", "id3.track")});
    Asm onLoad;
    traceJoined(onLoad, {text("load"), var("ok"), member("this", "duration")});
    Asm a;
    for (const char* name : {"s", "bad", "web"}) {
        newObject(a, name, "Sound");
        setHandler(a, name, "onID3", {}, onId3);
        setHandler(a, name, "onLoad", {"ok"}, onLoad);
    }
    a.invoke("s", "loadSound", {std::string("song.mp3"), 0.0});
    a.invoke("bad", "loadSound", {std::string("vars.txt"), 0.0});
    a.invoke("web", "loadSound", {std::string("http://example.com/song.mp3"), 1.0});
    auto run = game.run(oneFrame(a, 8));
    auto engine = std::make_shared<swf::sound::MovieSound>(run->movie);
    run->scripting->setSound(engine);
    ASSERT_EQ(run->notices.size(), 1);
    EXPECT_TRUE(run->notices[0].contains("network"));
    run->ticks(1);
    ASSERT_EQ(run->traces.size(), 4) << run->traces.join('|').toStdString();
    EXPECT_EQ(run->traces[0], QString::fromUtf8("id3 正弦 作者 Tones note 7"));
    const QStringList loaded = run->traces[1].split(' ');
    ASSERT_EQ(loaded.size(), 3);
    EXPECT_EQ(loaded[1], "true");
    // MP3 pads its first and last frames: within two frames of the stream's sample count.
    EXPECT_NEAR(loaded[2].toDouble(), samples * 1000 / rate, 2 * 1152 * 1000 / rate);
    EXPECT_EQ(run->traces[2], "load false undefined");
    EXPECT_EQ(run->traces[3], "load false undefined");
    EXPECT_TRUE(run->notices.last().contains("no MP3 sound"));
    EXPECT_EQ(engine->voiceCount(), 0u) << "an event sound waits for start()";
}

// Scripts' view of a loading sound, traced by the test between steps.
Asm soundState() {
    Asm a;
    traceJoined(a, {text("state"), [](Asm& x) { x.invoke("s", "getBytesLoaded", {}, true); },
                    [](Asm& x) { x.invoke("s", "getBytesTotal", {}, true); },
                    member("s", "duration"), member("s", "position")});
    return a;
}

TEST(Avm1LoadSound, AStreamingSoundPlaysWhileItDecodes) {
    REELWICK_NEED_CORPUS();
    const auto sine = sineMp3();
    if (!sine)
        GTEST_SKIP() << "corpus missing: ffmpeg-generated/sine_mp3.swf";
    // Six copies one after another: MP3 frames join into one longer tone.
    QByteArray mp3;
    for (int i = 0; i < 6; ++i)
        mp3 += sine->bytes;
    const double seconds = 6 * sine->samples / sine->rate;
    ASSERT_GT(seconds, 4);
    Game game;
    writeFile(game.folder + "/song.mp3", mp3);

    Asm onLoad;
    traceJoined(onLoad, {text("load"), var("ok"), member("this", "duration")});
    Asm onComplete;
    onComplete.str("complete").trace();
    Asm a;
    newObject(a, "s", "Sound");
    setHandler(a, "s", "onLoad", {"ok"}, onLoad);
    setHandler(a, "s", "onSoundComplete", {}, onComplete);
    a.invoke("s", "loadSound", {std::string("song.mp3"), 1.0});
    auto run = game.run(oneFrame(a, 8));
    auto engine = std::make_shared<swf::sound::MovieSound>(run->movie);
    run->scripting->setSound(engine);
    const Bytes state = soundState().bytes();
    auto readState = [&] {
        run->scripting->vm().runBlock(state, &run->player->root());
        const QStringList f = run->traces.takeLast().split(' ');
        EXPECT_EQ(f.size(), 5);
        struct {
            double loaded, total, duration, position;
        } s{f.value(1).toDouble(), f.value(2).toDouble(), f.value(3).toDouble(),
            f.value(4).toDouble()};
        return s;
    };

    // The step after the request: it plays, only part decoded, no onLoad yet.
    run->ticks(1);
    EXPECT_TRUE(run->traces.isEmpty()) << run->traces.join('|').toStdString();
    ASSERT_EQ(engine->voiceCount(), 1u);
    const auto first = readState();
    EXPECT_EQ(first.total, mp3.size());
    EXPECT_GT(first.loaded, 0);
    EXPECT_LT(first.loaded, first.total);
    EXPECT_GT(first.duration, 900);
    EXPECT_LT(first.duration, seconds * 1000 - 1000);

    // Half a second heard already: the 440 Hz tone.
    swf::sound::PcmBuffer heard;
    heard.rate = 44100;
    heard.channels = 2;
    heard.samples.resize(2 * 22050);
    engine->render(heard.samples.data(), 22050);
    const auto left = soundtest::channel(heard, 0);
    EXPECT_GT(soundtest::rms(left), 0.05);
    EXPECT_NEAR(soundtest::dominantFrequency(left, 44100, 100, 2000), 440, 2);
    const auto second = readState();
    EXPECT_NEAR(second.position, 500, 60);

    // Each step decodes more: bytes and duration grow, until onLoad(true) with the whole length.
    double lastLoaded = first.loaded, lastDuration = first.duration;
    int steps = 0;
    while (run->traces.isEmpty() && steps < 20) {
        run->ticks(1);
        ++steps;
        if (!run->traces.isEmpty())
            break;
        const auto now = readState();
        EXPECT_GT(now.loaded, lastLoaded);
        EXPECT_GT(now.duration, lastDuration);
        lastLoaded = now.loaded;
        lastDuration = now.duration;
    }
    EXPECT_GE(steps, 2) << "decoded over several steps";
    ASSERT_EQ(run->traces.size(), 1);
    const QStringList loaded = run->traces.takeFirst().split(' ');
    EXPECT_EQ(loaded.value(1), "true");
    EXPECT_NEAR(loaded.value(2).toDouble(), seconds * 1000, 2 * 1152 * 1000 / sine->rate + 1);
    const auto done = readState();
    EXPECT_EQ(done.loaded, done.total);

    // It plays to its end, a tone the file's length, then onSoundComplete once.
    std::size_t played = 22050;
    std::vector<std::int16_t> block(2 * 4410);
    while (engine->voiceCount() > 0 && played < 44100 * 20) {
        engine->render(block.data(), 4410);
        played += 4410;
        run->ticks(0);
    }
    EXPECT_NEAR(double(played) / 44100, seconds, 0.2);
    EXPECT_TRUE(run->traces.isEmpty());
    run->ticks(1);
    EXPECT_EQ(run->traces, QStringList{"complete"});
}

// so = SharedObject.getLocal("counter"); c = so.data.count; if (!c) c = 0;
// so.data.count = c + 1; trace(so.data.count); so.data.pad = <padding>; trace(so.flush());
Bytes counterMovie(const std::string& padding = {}) {
    Asm a;
    a.str("so").str("counter").num(1).getVar("SharedObject").str("getLocal").op(0x52).op(0x1D);
    a.str("c").getVar("so").str("data").op(0x4E).str("count").op(0x4E).op(0x1D);
    a.getVar("c").ifTrue("has").setVar("c", 0).label("has");
    a.getVar("so").str("data").op(0x4E).str("count").getVar("c").num(1).op(0x47).op(0x4F);
    a.getVar("so").str("data").op(0x4E).str("count").op(0x4E).trace();
    if (!padding.empty()) {
        // Twice the padding: one push holds at most 64 KB.
        a.getVar("so").str("data").op(0x4E).str("pad").str(padding).str(padding).op(0x47).op(0x4F);
        a.num(0).getVar("so").str("flush").op(0x52).trace();
    }
    return oneFrame(a, 8);
}

TEST(Avm1SharedObject, CountsAcrossRunsCappedAndSurvivesDamage) {
    Game game;
    for (int i = 1; i <= 3; ++i) {
        auto run = game.run(counterMovie());
        EXPECT_EQ(run->traces, QStringList{QString::number(i)});
        EXPECT_TRUE(run->notices.isEmpty());
    } // written when the movie closes, without flush()
    const QStringList folders = QDir(game.store).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    ASSERT_EQ(folders.size(), 1);
    EXPECT_TRUE(folders[0].startsWith("main-"));
    const QString folder = game.store + "/" + folders[0];
    const QStringList stores = QDir(folder).entryList(QDir::Files);
    ASSERT_EQ(stores, QStringList{"counter.rso"});

    // Over the cap: flush says false, the store keeps its last good contents.
    {
        auto run = game.run(counterMovie(std::string(55000, 'x')));
        EXPECT_EQ(run->traces, (QStringList{"4", "false"}));
        ASSERT_FALSE(run->notices.isEmpty());
        EXPECT_TRUE(run->notices[0].contains("100 KB")) << run->notices[0].toStdString();
    }
    {
        auto run = game.run(counterMovie());
        EXPECT_EQ(run->traces, QStringList{"4"});
    }

    // A damaged store: one line, then a fresh start.
    writeFile(folder + "/counter.rso", "RWSO1\n\x07garbage");
    {
        auto run = game.run(counterMovie());
        EXPECT_EQ(run->traces, QStringList{"1"});
        ASSERT_EQ(run->notices.size(), 1);
        EXPECT_TRUE(run->notices[0].contains("damaged"));
    }
    {
        auto run = game.run(counterMovie());
        EXPECT_EQ(run->traces, QStringList{"2"});
    }
}

TEST(Avm1SharedObject, KeepsNestedValuesAndClearForgets) {
    Game game;
    // so.data.list = [1, "two", {three: true}]; so.data.when = new Date(5000); so.flush()
    Asm write;
    write.str("so").str("kept").num(1).getVar("SharedObject").str("getLocal").op(0x52).op(0x1D);
    write.getVar("so").str("data").op(0x4E).str("list");
    write.str("three").boolean(true).num(1).op(0x43); // {three: true}
    write.str("two").num(1).num(3).op(0x42);          // [1, "two", {...}]
    write.op(0x4F);
    write.getVar("so").str("data").op(0x4E).str("when").num(5000).num(1).str("Date").op(0x40).op(
        0x4F);
    write.num(0).getVar("so").str("flush").op(0x52).trace();
    {
        auto run = game.run(oneFrame(write, 8));
        EXPECT_EQ(run->traces, QStringList{"true"});
    }
    Asm read;
    read.str("so").str("kept").num(1).getVar("SharedObject").str("getLocal").op(0x52).op(0x1D);
    traceJoined(read, {member("so", "data.list.length"), member("so", "data.list.1"),
                       member("so", "data.list.2.three")});
    read.num(0)
        .getVar("so")
        .str("data")
        .op(0x4E)
        .str("when")
        .op(0x4E)
        .str("getTime")
        .op(0x52)
        .trace();
    read.num(0).getVar("so").str("clear").op(0x52).op(0x17);
    traceJoined(read, {member("so", "data.list")});
    {
        auto run = game.run(oneFrame(read, 8));
        EXPECT_EQ(run->traces, (QStringList{"3 two true", "5000", "undefined"}));
    }
    // Cleared: the store is gone, and closing with empty data writes none.
    {
        auto run = game.run(oneFrame(read, 8));
        EXPECT_EQ(run->traces.value(0), "undefined undefined undefined");
    }
}

TEST(Avm1SharedObject, RefusedWithoutAPlaceOrWithABadName) {
    Asm a;
    a.str("counter").num(1).getVar("SharedObject").str("getLocal").op(0x52).trace();
    a.str("a:b").num(1).getVar("SharedObject").str("getLocal").op(0x52).trace();
    MovieRun run(oneFrame(a, 8)); // no files given by the host
    EXPECT_EQ(run.traces, (QStringList{"null", "null"}));
    EXPECT_EQ(run.notices.size(), 2);
}

} // namespace
