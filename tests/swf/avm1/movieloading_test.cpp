// Movies made of several files: a loader movie and the movies and pictures it loads into clips
// and levels, built by hand in temporary folders, with every event traced in order.

#include "avm1_asm.h"
#include "script_helpers.h"
#include "swf/render/paintercanvas.h"
#include "swf/render/renderer.h"
#include "swf/sound/moviesound.h"

#include <QBuffer>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>
#include <QUrl>
#include <gtest/gtest.h>

namespace {

using avm1test::Asm;
using avm1test::MovieRun;
using swftest::Bytes;
using namespace avm1test::helpers;

QByteArray bytesOf(const Bytes& b) {
    return QByteArray(reinterpret_cast<const char*>(b.data()), qsizetype(b.size()));
}

QRgb pixel(const swf::Player& player, QPoint at) {
    const QSize size(550, 400); // the test movies' stage, one pixel per 20 twips
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::black);
    QPainter painter(&image);
    swf::render::PainterCanvas canvas(painter);
    swf::render::Renderer renderer;
    renderer.render(player, canvas, QTransform::fromScale(0.05, 0.05));
    painter.end();
    return image.pixel(at);
}

// A folder holding main.swf and what it loads; the movie runs with the file rule on it.
struct Folder {
    QTemporaryDir tmp;
    QString folder = tmp.path() + "/game";
    std::unique_ptr<MovieRun> run(const Bytes& main) {
        writeFile(folder + "/main.swf", bytesOf(main));
        return std::make_unique<MovieRun>(main, swf::avm1::Limits{}, [this](auto& s) {
            s.setFiles(folder + "/main.swf", tmp.path() + "/store");
        });
    }
    QString urlOf(const QString& name) const {
        return QUrl::fromLocalFile(QFileInfo(folder + "/" + name).canonicalFilePath()).toString();
    }
};

// A MovieClipLoader `mcl` whose listener traces every event.
void tracingLoader(Asm& a) {
    newObject(a, "mcl", "MovieClipLoader");
    newObject(a, "listener", "Object");
    Asm start, progress, complete, init, error;
    traceJoined(start, {text("start"), var("t")});
    traceJoined(progress, {text("progress"), var("t"), [](Asm& b) {
                               b.getVar("l").getVar("n").op(0x49); // l == n
                           }});
    traceJoined(complete, {text("complete"), var("t"), var("s")});
    traceJoined(init, {text("init"), var("t"), member("t", "x"), member("t", "_width"),
                       member("t", "_height")});
    traceJoined(error, {text("error"), var("t"), var("e")});
    setHandler(a, "listener", "onLoadStart", {"t"}, start);
    setHandler(a, "listener", "onLoadProgress", {"t", "l", "n"}, progress);
    setHandler(a, "listener", "onLoadComplete", {"t", "s"}, complete);
    setHandler(a, "listener", "onLoadInit", {"t"}, init);
    setHandler(a, "listener", "onLoadError", {"t", "e"}, error);
    a.getVar("listener").num(1).getVar("mcl").str("addListener").op(0x52).op(0x17);
}

// A movie of version 6 (names compare without case) showing a red 10 x 5 px rectangle; its
// first frame traces what it sees and sets x = 5.
Bytes partTwo() {
    Asm a;
    a.str("Foo").num(1).op(0x1D);
    traceJoined(a, {text("part2"), var("foo"), var("_root"), var("this")});
    a.str("x").num(5).op(0x1D);
    return swftest::movie(
        swftest::concat({swftest::rectShape(1), swftest::placeObject2(1, 1),
                         swftest::doAction(a.bytes()), swftest::showFrame(), swftest::end()}),
        1, 6);
}

Bytes frames(std::initializer_list<Asm> scripts, std::uint8_t version = 8) {
    Bytes tags;
    for (const Asm& s : scripts) {
        const Bytes action = swftest::doAction(s.bytes());
        tags.insert(tags.end(), action.begin(), action.end());
        const Bytes show = swftest::showFrame();
        tags.insert(tags.end(), show.begin(), show.end());
    }
    tags.push_back(0);
    tags.push_back(0);
    return swftest::movie(tags, std::uint16_t(scripts.size()), version);
}

TEST(Avm1MovieLoading, ClipsAndLevelsLoadInOrderUnderTheirOwnRules) {
    Folder f;
    writeFile(f.folder + "/part2.swf", bytesOf(partTwo()));

    Asm one;
    one.str("Bar").num(1).op(0x1D).getVar("bar").trace(); // version 8: names keep their case
    one.invoke("this", "createEmptyMovieClip", {std::string("holder"), 1.0});
    one.invoke("this", "createEmptyMovieClip", {std::string("locked"), 2.0});
    one.getVar("locked").str("_lockroot").boolean(true).op(0x4F);
    tracingLoader(one);
    one.invoke("mcl", "loadClip", {std::string("part2.swf"), std::string("holder")}, true).trace();
    one.str("part2.swf").str("locked").rec(0x9A, {0x40}); // loadMovie("part2.swf", "locked")
    one.str("part2.swf").str("_level1").rec(0x9A, {0});   // loadMovieNum("part2.swf", 1)
    one.str("asked").trace();
    Asm two;
    traceJoined(two, {text("two"), var("_level1"), member("holder", "x")});
    Asm three;
    traceJoined(three, {member("holder", "x"), member("_level1", "x"), member("locked", "x"),
                        member("_level1", "_url")});
    three.getVar("_level1").str("_x").num(100).op(0x4F);
    three.str("").str("holder").rec(0x9A, {0x40}); // unloadMovie("holder")
    three.str("").str("_level1").rec(0x9A, {0});   // unloadMovieNum(1)
    Asm four;
    Asm five;
    traceJoined(five, {text("five"), var("_level1"), member("holder", "x"),
                       member("holder", "_width"), member("locked", "x")});
    five.op(0x07); // stop

    auto run = f.run(frames({one, two, three, four, five}));
    EXPECT_EQ(run->traces, (QStringList{"undefined", "true", "asked"}));
    EXPECT_TRUE(run->notices.isEmpty()) << run->notices.join('\n').toStdString();
    EXPECT_EQ(pixel(*run->player, {2, 2}), qRgb(255, 255, 255));

    run->traces.clear();
    run->ticks(1);
    // The frame's own script first, then the answers in the order asked; a loaded movie's
    // first frame runs before onLoadInit, and its _root is its level's unless _lockroot.
    EXPECT_EQ(run->traces,
              (QStringList{"two undefined undefined", "start _level0.holder",
                           "progress _level0.holder true", "complete _level0.holder 0",
                           "part2 1 _level0 _level0.holder", "init _level0.holder 5 10 5",
                           "part2 1 _level0.locked _level0.locked", "part2 1 _level1 _level1"}));
    EXPECT_EQ(pixel(*run->player, {2, 2}), qRgb(255, 0, 0));
    EXPECT_EQ(pixel(*run->player, {102, 2}), qRgb(255, 255, 255));

    run->traces.clear();
    run->ticks(1);
    EXPECT_EQ(run->traces, (QStringList{"5 5 5 " + f.urlOf("part2.swf")}));
    // Level 1 moved by its _x, drawn above level 0.
    EXPECT_EQ(pixel(*run->player, {102, 2}), qRgb(255, 0, 0));

    run->traces.clear();
    run->ticks(2);
    EXPECT_EQ(run->traces, (QStringList{"five undefined undefined 0 5"}));
    EXPECT_EQ(pixel(*run->player, {102, 2}), qRgb(255, 255, 255));
    EXPECT_EQ(run->player->levels().size(), 0u);
}

TEST(Avm1MovieLoading, RefusedAddressesPrintALineAndFailTheLoad) {
    Folder f;
    writeFile(f.tmp.path() + "/secret.swf", bytesOf(partTwo()));
    writeFile(f.folder + "/notes.txt", "not a movie");
    QDir().mkpath(f.folder + "/sub");
    ASSERT_TRUE(QFile::link(f.tmp.path() + "/secret.swf", f.folder + "/link.swf"));
    const std::vector<std::string> refused = {"../secret.swf",
                                              (f.tmp.path() + "/secret.swf").toStdString(),
                                              "link.swf",
                                              "sub",
                                              "http://example.com/a.swf",
                                              "missing.swf",
                                              "notes.txt"};

    Asm one;
    one.invoke("this", "createEmptyMovieClip", {std::string("holder"), 1.0});
    tracingLoader(one);
    for (const std::string& url : refused)
        one.invoke("mcl", "loadClip", {url, std::string("holder")});
    // A target that does not exist is refused at once.
    one.invoke("mcl", "loadClip", {std::string("part2.swf"), std::string("nowhere")}, true).trace();
    Asm two;
    two.op(0x07);

    auto run = f.run(frames({one, two}));
    EXPECT_EQ(run->traces, (QStringList{"false"}));
    ASSERT_EQ(run->notices.size(), qsizetype(refused.size() + 1))
        << run->notices.join('\n').toStdString();
    for (std::size_t i = 0; i < refused.size(); ++i) {
        const QString& line = run->notices[qsizetype(i)];
        EXPECT_TRUE(line.startsWith("Refused: MovieClipLoader.loadClip of " +
                                    QString::fromStdString(refused[i]) + ": "))
            << line.toStdString();
    }
    EXPECT_TRUE(run->notices[2].contains("outside")) << run->notices[2].toStdString();
    EXPECT_TRUE(run->notices[4].contains("network")) << run->notices[4].toStdString();
    EXPECT_TRUE(run->notices[6].contains("neither a movie")) << run->notices[6].toStdString();
    EXPECT_TRUE(run->notices[7].contains("nowhere")) << run->notices[7].toStdString();

    run->traces.clear();
    run->ticks(1);
    QStringList expected;
    for (int i = 0; i < 6; ++i)
        expected << "error _level0.holder URLNotFound";
    expected << "error _level0.holder LoadNeverCompleted";
    EXPECT_EQ(run->traces, expected);
}

QByteArray encoded(const QImage& image, const char* format) {
    QByteArray out;
    QBuffer buffer(&out);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return out;
}

TEST(Avm1MovieLoading, PicturesShowAtTheirSizeInClipsAndLevels) {
    Folder f;
    QImage blue(4, 2, QImage::Format_RGB32);
    blue.fill(qRgb(0, 0, 255));
    writeFile(f.folder + "/pics/photo.png", encoded(blue, "PNG"));
    QImage green(8, 8, QImage::Format_RGB32);
    green.fill(qRgb(0, 255, 0));
    writeFile(f.folder + "/photo.jpg", encoded(green, "JPEG"));
    // A 1 x 1 GIF whose one pixel is palette entry 0, red.
    static const char gif[] = "GIF89a\x01\x00\x01\x00\x80\x00\x00\xff\x00\x00\x00\x00\x00"
                              ",\x00\x00\x00\x00\x01\x00\x01\x00\x00\x02\x02\x44\x01\x00;";
    writeFile(f.folder + "/dot.gif", QByteArray(gif, sizeof gif - 1)); // its bytes, not past them

    Asm one;
    for (const char* name : {"a", "b", "c"})
        one.invoke("this", "createEmptyMovieClip", {std::string(name), 1.0 + (name[0] - 'a')});
    one.getVar("b").str("_x").num(100).op(0x4F);
    tracingLoader(one);
    one.invoke("mcl", "loadClip", {std::string("pics/photo.png"), std::string("a")});
    one.invoke("mcl", "loadClip", {std::string("photo.jpg"), std::string("b")});
    one.invoke("mcl", "loadClip", {std::string("dot.gif"), 3.0}); // a level by number
    Asm two;
    two.op(0x07);

    auto run = f.run(frames({one, two}));
    run->traces.clear();
    run->ticks(1);
    const QStringList events = run->traces.filter("init ");
    EXPECT_EQ(events, (QStringList{"init _level0.a undefined 4 2", "init _level0.b undefined 8 8",
                                   "init _level3 undefined 1 1"}))
        << run->traces.join('\n').toStdString();
    EXPECT_EQ(run->traces.filter("start ").size(), 3);
    EXPECT_TRUE(run->notices.isEmpty()) << run->notices.join('\n').toStdString();
    // The GIF's level lies above both clips at (0, 0); the PNG shows beside it, the JPEG moved.
    EXPECT_EQ(pixel(*run->player, {0, 0}), qRgb(255, 0, 0));
    EXPECT_EQ(pixel(*run->player, {2, 1}), qRgb(0, 0, 255));
    const QColor jpeg = QColor::fromRgb(pixel(*run->player, {104, 4}));
    EXPECT_LT(jpeg.red(), 20);
    EXPECT_GT(jpeg.green(), 235);
    EXPECT_EQ(pixel(*run->player, {2, 3}), qRgb(255, 255, 255));
}

// DefineSound: `frames` samples of 16-bit mono at 44.1 kHz, exported as `name`.
Bytes exportedSound(std::uint16_t id, std::uint32_t frames, const std::string& name) {
    swftest::Writer w;
    w.u16(id).ub(3, 4).ub(3, 2).ub(1, 1).ub(0, 1).u32(frames);
    for (std::uint32_t i = 0; i < frames; ++i)
        w.u16(std::uint16_t(8000));
    swftest::Writer exports;
    exports.u16(1).u16(id).str(name);
    return swftest::concat({swftest::tag(14, w, true), swftest::tag(56, exports)});
}

// name = new Sound(target) (no target when empty); name.attachSound(sound);
// trace(label + " " + name.duration)
void attachAndTrace(Asm& a, const std::string& name, const std::string& target,
                    const std::string& sound, const std::string& label) {
    a.str(name);
    if (target.empty())
        a.num(0);
    else
        a.getVar(target).num(1);
    a.str("Sound").op(0x40).op(0x1D);
    a.invoke(name, "attachSound", {sound});
    traceJoined(a, {text(label), member(name, "duration")});
}

TEST(Avm1MovieLoading, ALoadedMovieAttachesSoundsFromItsOwnLibrary) {
    Folder f;
    // part.swf exports a 100 ms "beep" and a "chime"; main.swf its own 200 ms "beep".
    Asm partCode;
    attachAndTrace(partCode, "own", "this", "beep", "own");
    attachAndTrace(partCode, "whole", "", "beep", "whole");
    attachAndTrace(partCode, "missing", "", "chime", "level0 chime");
    partCode.invoke("own", "start");
    writeFile(f.folder + "/part.swf",
              bytesOf(swftest::movie(
                  swftest::concat({exportedSound(1, 4410, "beep"), exportedSound(2, 441, "chime"),
                                   swftest::doAction(partCode.bytes()), swftest::showFrame(),
                                   swftest::end()}),
                  1, 8)));
    Asm one;
    one.str("part.swf").str("_level1").rec(0x9A, {0}); // loadMovieNum("part.swf", 1)
    Asm two;
    attachAndTrace(two, "fromMain", "_level1", "chime", "main for level1");
    attachAndTrace(two, "mine", "", "beep", "main");
    Asm stop;
    stop.op(0x07);
    auto run = f.run(swftest::movie(
        swftest::concat({exportedSound(1, 8820, "beep"), swftest::doAction(one.bytes()),
                         swftest::showFrame(), swftest::showFrame(), swftest::doAction(two.bytes()),
                         swftest::doAction(stop.bytes()), swftest::showFrame(), swftest::end()}),
        3, 8));
    auto engine = std::make_shared<swf::sound::MovieSound>(run->movie);
    run->scripting->setSound(engine);
    run->ticks(2); // the part arrives on the first step, main's checks run on the second
    EXPECT_EQ(run->traces, (QStringList{"own 100", "whole 200", "level0 chime undefined",
                                        "main for level1 10", "main 200"}));
    EXPECT_EQ(engine->voiceCount(), 1u) << "the loaded movie's own beep plays";
}

} // namespace
