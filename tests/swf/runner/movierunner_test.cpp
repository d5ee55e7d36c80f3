// The movie runner: the movie's own clock, the order in which host requests leave a script,
// the movie's address, quitting, and the sound an offline host records.

#include "swf/avm1/avm1_asm.h"
#include "swf/render/guiapp.h"
#include "swf/runner/movierunner.h"
#include "swf/sound/signal.h"
#include "swf/swf_writer.h"
#include "swf/textfields.h"
#include "testenv.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QUrl>
#include <gtest/gtest.h>

namespace {

namespace op = swf::avm1::op;

using avm1test::Asm;
using swftest::Bytes;

std::shared_ptr<const swf::Movie> load(const Bytes& file) {
    auto m = swf::Movie::load(file);
    if (!m)
        throw std::runtime_error("movie did not load");
    return *m;
}

// Three frames at 12 fps, each tracing getTimer(); the third stops the movie, and a red square
// moves one step to the right on each frame.
Bytes clockMovie() {
    auto frame = [](int n, bool stop) {
        Asm a;
        a.call("getTimer").trace();
        if (stop)
            a.op(op::Stop);
        return swftest::concat({n == 0 ? swftest::placeObject2(1, 1, 0, 0)
                                       : swftest::placeObject2(1, 0, n * 2000, 0, true),
                                swftest::doAction(a.bytes()), swftest::showFrame()});
    };
    return swftest::movie(swftest::concat({swftest::rectShape(1, 2000, 2000), frame(0, false),
                                           frame(1, false), frame(2, true), swftest::end()}),
                          3);
}

struct Traced {
    explicit Traced(swf::MovieRunner& runner) {
        runner.hooks().trace = [this](const QString& s) { lines << s; };
        runner.hooks().warning = [this](const QString& s) { lines << "Warning: " + s; };
    }
    QStringList lines;
};

TEST(MovieRunner, RunsOnTheMoviesOwnClockAndStopsWhereTheScriptSays) {
    swf::MovieRunner runner(load(clockMovie()), QStringLiteral("file:///t/m.swf"));
    Traced t(runner);
    runner.start();
    const QImage first = runner.picture(QSize(55, 40));
    for (int i = 0; i < 6; ++i)
        runner.nextPicture();
    // Frame n shows (n - 1) / 12 s in, whatever the machine's speed; stop() holds frame 3.
    EXPECT_EQ(t.lines, (QStringList{"0", "83", "167"}));
    EXPECT_EQ(runner.currentFrame(), 2u);
    EXPECT_FALSE(runner.isPlaying());
    EXPECT_EQ(runner.clockMs(), 500);
    const QImage held = runner.picture(QSize(55, 40));
    EXPECT_NE(first, held);
    // The 100 px square from 0 px on the first frame, from 200 px of 550 on the third.
    EXPECT_EQ(first.pixel(5, 5), qRgb(255, 0, 0));
    EXPECT_EQ(held.pixel(25, 5), qRgb(255, 0, 0));
    EXPECT_EQ(held.pixel(5, 5), qRgb(255, 255, 255));

    // A second run is the same run.
    swf::MovieRunner again(load(clockMovie()), QString());
    Traced t2(again);
    again.start();
    for (int i = 0; i < 6; ++i)
        again.nextPicture();
    EXPECT_EQ(t2.lines, t.lines);
    EXPECT_EQ(again.picture(QSize(55, 40)), held);
}

TEST(MovieRunner, HandsScriptRequestsToTheHostAfterTheScriptHasReturned) {
    Asm script;
    script.str("before").trace();
    script.rec(op::GetURL, {'F', 'S', 'C', 'o', 'm', 'm', 'a', 'n', 'd', ':', 'f', 'u', 'l',
                            'l', 's', 'c', 'r', 'e', 'e', 'n', 0,   't', 'r', 'u', 'e', 0});
    script.str("after").trace();
    swf::MovieRunner runner(load(avm1test::oneFrame(script)), QString());
    Traced t(runner);
    int resizes = 0;
    runner.hooks().fscommand = [&](const QString& command, const QString& args) {
        t.lines << QStringLiteral("host: %1 %2").arg(command, args);
        // Going full screen resizes the view, which runs the movie's scripts again: safe now.
        runner.viewResized(QSizeF(800, 600));
        ++resizes;
    };
    runner.start();
    EXPECT_EQ(t.lines, (QStringList{"before", "after", "host: fullscreen true"}));
    EXPECT_EQ(resizes, 1);
}

TEST(MovieRunner, ScriptsSeeTheMoviesRealAddress) {
    Asm script;
    script.str("_url").op(op::GetVariable).trace();
    const Bytes file = avm1test::oneFrame(script);
    const QString local = QStringLiteral("some dir/movie.swf");
    const QString url = swf::MovieRunner::urlForFile(local);
    EXPECT_TRUE(url.startsWith(QStringLiteral("file:///")));
    EXPECT_EQ(QUrl(url).toLocalFile(), QDir::current().absoluteFilePath(local));
    for (const QString& given : {url, QStringLiteral("http://example.org/a.swf")}) {
        swf::MovieRunner runner(load(file), given);
        Traced t(runner);
        runner.start();
        EXPECT_EQ(t.lines, QStringList{given});
    }
}

TEST(MovieRunner, AMovieThatQuitsTakesNoMoreSteps) {
    const Bytes file = avm1test::oneFrame(Asm()
                                              .str("quit at once")
                                              .trace()
                                              .rec(0x83, {'F', 'S', 'C', 'o', 'm', 'm', 'a', 'n',
                                                          'd', ':', 'q', 'u', 'i', 't', 0, 0}));
    swf::MovieRunner runner(load(file), QString());
    Traced t(runner);
    bool hostSawQuit = false;
    runner.hooks().fscommand = [&](const QString& c, const QString&) { hostSawQuit = c == "quit"; };
    runner.start();
    EXPECT_TRUE(runner.quitRequested());
    EXPECT_TRUE(hostSawQuit);
    runner.nextPicture();
    runner.step(5);
    EXPECT_EQ(t.lines, QStringList{"quit at once"});
}

// A looping movie whose frames each ask for a refused page: the terminal shows each refusal
// once, and its first repeat once more, not one line per loop.
TEST(MovieRunner, ARefusalRepeatedEveryLoopIsShownOnce) {
    auto frame = [](const char* url) {
        Bytes payload;
        for (const char* c = url; *c; ++c)
            payload.push_back(std::uint8_t(*c));
        payload.push_back(0);
        payload.insert(payload.end(), {'_', 's', 'e', 'l', 'f', 0});
        return swftest::concat(
            {swftest::doAction(Asm().rec(op::GetURL, payload).bytes()), swftest::showFrame()});
    };
    swf::MovieRunner runner(
        load(swftest::movie(swftest::concat({frame("http://a.example/"), frame("http://b.example/"),
                                             swftest::end()}),
                            2)),
        QString());
    QStringList lines;
    runner.hooks().notice = [&](const QString& s) { lines << s; };
    runner.start();
    for (int i = 0; i < 9; ++i)
        runner.nextPicture();
    const QString a = QStringLiteral("Refused: a script asked to open http://a.example/");
    const QString b = QStringLiteral("Refused: a script asked to open http://b.example/");
    const QString again = QStringLiteral(" (again; further repeats are not shown)");
    EXPECT_EQ(lines, (QStringList{a, b, a + again, b + again}));
}

TEST(MovieRunner, RecordsOnePicturesLengthOfSoundPerPicture) {
    swf::RunnerOptions options;
    options.sound = swf::RunnerOptions::Sound::Record;
    swf::MovieRunner runner(load(clockMovie()), QString(), options);
    runner.hooks().trace = [](const QString&) {};
    runner.start();
    for (int i = 0; i < 11; ++i)
        runner.nextPicture();
    runner.finishPicture();
    runner.finishPicture(); // once per picture
    // Twelve pictures at 12 fps: one second, silent.
    const swf::sound::PcmBuffer pcm = runner.takeAudio();
    EXPECT_EQ(pcm.frames(), std::size_t(44100));
    EXPECT_TRUE(std::all_of(pcm.samples.begin(), pcm.samples.end(), [](auto s) { return s == 0; }));
    EXPECT_EQ(runner.takeAudio().frames(), 0u);
}

// Without scripts (ActionScript 3 until its engine comes, or a host that asks) the runner
// still shows buttons under the mouse in their states.
TEST(MovieRunner, ButtonsFollowTheMouseWithoutScripts) {
    swftest::Writer button;
    button.u16(2).u8(0).u16(0);                                  // DefineButton2 2: no actions
    button.u8(0x0F).u16(1).u16(1).matrix().cxform(true, {}, {}); // every state: shape 1
    button.u8(0);
    const Bytes file = swftest::movie(
        swftest::concat({swftest::rectShape(1, 2000, 2000), swftest::tag(34, button),
                         swftest::placeObject2(1, 2), swftest::showFrame(), swftest::end()}));
    swf::RunnerOptions options;
    options.scripts = false;
    swf::MovieRunner runner(load(file), QString(), options);
    runner.start();
    const auto* b = runner.player().root().displayList().at(1)->button();
    ASSERT_TRUE(b);
    runner.mouseMove(QPointF(50, 50));
    EXPECT_EQ(runner.hoveredButton(), b);
    EXPECT_EQ(b->state(), swf::ButtonState::Over);
    runner.mouseDown();
    EXPECT_EQ(b->state(), swf::ButtonState::Down);
    runner.mouseUp();
    runner.mouseMove(std::nullopt);
    EXPECT_EQ(runner.hoveredButton(), nullptr);
    EXPECT_EQ(b->state(), swf::ButtonState::Up);
}

// An ActionScript 2 input field that an input method types into through the runner, as the
// movie control passes a QInputMethodEvent on: the preedit string shows underlined at the
// caret, in a plain field as in an HTML one, while the field's text and variable stay as they
// were; the commit string is typed.
TEST(MovieRunner, InputMethodCompositionShowsInAnActionScript2FieldUntilCommitted) {
    ensureGuiApplication(); // device fonts
    auto field = [](std::uint16_t id, const char* variable, bool html) {
        swftest::Writer w;
        w.u16(id).rect(0, 4000, 0, 600).u8(0x80).u8(html ? 0x02 : 0x00).str(variable).str("");
        return swftest::tag(37, w);
    };
    Asm show;
    show.getVar("name").str(" ").op(op::Add2).getVar("rich").op(op::Add2).trace();
    const Bytes file = swftest::movie(
        swftest::concat({field(1, "name", false), field(2, "rich", true),
                         swftest::placeObject2(1, 1, 0, 0, false, "plain"),
                         swftest::placeObject2(2, 2, 0, 2000, false, "html"), swftest::showFrame(),
                         swftest::doAction(show.bytes()), swftest::showFrame(), swftest::end()}),
        2);
    swf::MovieRunner runner(load(file), QString());
    Traced traced(runner);
    runner.start();
    const swf::DisplayObject* plain = runner.player().root().displayList().byName("plain");
    const swf::DisplayObject* html = runner.player().root().displayList().byName("html");
    ASSERT_TRUE(plain && html);
    const QSize size = runner.stageSize();

    runner.mouseMove(QPointF(50, 10));
    runner.mouseDown();
    runner.mouseUp();
    runner.textInput("ab");
    // A copy: the runner draws each picture into the same pixels.
    const QImage typed = runner.picture(size).copy();
    runner.composeText("zhong");
    EXPECT_EQ(plain->text, "ab");
    ASSERT_TRUE(plain->composedText);
    EXPECT_EQ(swf::htmlToPlain(*plain->composedText), "abzhong");
    EXPECT_TRUE(plain->composedText->contains("<U>zhong</U>", Qt::CaseInsensitive))
        << plain->composedText->toStdString();
    EXPECT_EQ(plain->caret, 7);
    const QImage composing = runner.picture(size).copy();
    EXPECT_NE(composing, typed);
    runner.step(1);
    EXPECT_EQ(traced.lines.last().toStdString(), "ab undefined"); // nothing typed in "rich" yet
    // Composing on: the text shown follows, the field's does not.
    runner.composeText("zhongwen");
    EXPECT_EQ(swf::htmlToPlain(*plain->composedText), "abzhongwen");
    // The commit is typed; what was composed goes.
    runner.textInput(QString::fromUtf8("中文"));
    EXPECT_EQ(plain->text, QString::fromUtf8("ab中文"));
    EXPECT_FALSE(plain->composedText);
    EXPECT_EQ(plain->caret, 4);
    // Cancelled (an empty preedit): the field shows its text again.
    const QImage committed = runner.picture(size).copy();
    runner.composeText("x");
    EXPECT_TRUE(plain->composedText);
    runner.composeText("");
    EXPECT_FALSE(plain->composedText);
    EXPECT_EQ(runner.picture(size), committed);

    // An HTML field: the composition is underlined in the HTML it shows; moving the focus
    // away drops it.
    runner.mouseMove(QPointF(50, 110));
    runner.mouseDown();
    runner.mouseUp();
    runner.textInput("z");
    runner.composeText("pin");
    ASSERT_TRUE(html->composedText);
    EXPECT_TRUE(html->composedText->contains("<U>pin</U>", Qt::CaseInsensitive))
        << html->composedText->toStdString();
    EXPECT_FALSE(html->text.contains("pin"));
    runner.mouseMove(QPointF(50, 10));
    runner.mouseDown();
    runner.mouseUp();
    EXPECT_FALSE(html->composedText);
    runner.step(2);
    EXPECT_EQ(traced.lines.last().toStdString(), "ab中文 z");
}

// In a plain field, what is being composed and the same text typed differ only by the
// underline: a band a pixel or two high below the letters (not the HTML it is shown through
// drawn as text).
TEST(MovieRunner, ACompositionInAPlainFieldIsUnderlined) {
    ensureGuiApplication(); // device fonts
    swftest::Writer font;   // a device font: a name, no glyphs
    font.u16(2).u8(0).u8(0).u8(5).bytes(Bytes{'_', 's', 'a', 'n', 's'}).u16(0);
    swftest::Writer w; // text and a font, 20 pixels high
    w.u16(1).rect(0, 4000, 0, 600).u8(0x81).u8(0x00).u16(2).u16(400).str("name").str("");
    const Bytes file = swftest::movie(swftest::concat(
        {swftest::tag(48, font), swftest::tag(37, w),
         swftest::placeObject2(1, 1, 0, 0, false, "plain"), swftest::showFrame(), swftest::end()}));
    swf::MovieRunner runner(load(file), QString());
    runner.start();
    const QSize size = runner.stageSize();
    runner.mouseMove(QPointF(50, 10));
    runner.mouseDown();
    runner.mouseUp();
    runner.textInput("ab");
    runner.composeText("zhong");
    const QImage underlined = runner.picture(size).copy();
    runner.composeText("");
    runner.textInput("zhong");
    const QImage typed = runner.picture(size).copy();
    QRect differs;
    for (int y = 0; y < size.height(); ++y)
        for (int x = 0; x < size.width(); ++x)
            if (underlined.pixel(x, y) != typed.pixel(x, y))
                differs |= QRect(x, y, 1, 1);
    ASSERT_FALSE(differs.isEmpty());
    EXPECT_LE(differs.height(), 3) << differs.y() << "+" << differs.height();
    EXPECT_GE(differs.width(), 20) << differs.x() << "+" << differs.width();
}

} // namespace

// The exporter's path: a movie that streams an MP3 file beside it with loadSound records a
// tone from the step after its request, as long as the file, identical on every run.
TEST(MovieRunner, AStreamingLoadSoundIsRecordedWholeAndTheSameEveryRun) {
    REELWICK_NEED_CORPUS();
    auto source = swf::Movie::loadFile(testenv::corpusPath("ffmpeg-generated/sine_mp3.swf"));
    ASSERT_TRUE(source);
    QByteArray mp3;
    double samples = 0;
    for (const auto& frame : (*source)->timeline.frames) {
        if (frame.streamBlock && frame.streamBlock->size() >= 4) {
            const auto& b = *frame.streamBlock;
            samples += b[0] | (b[1] << 8);
            mp3.append(reinterpret_cast<const char*>(b.data()) + 4, qsizetype(b.size()) - 4);
        }
    }
    const double rate = (*source)->timeline.frames[0].streamHead->stream.rate;
    const double seconds = 3 * samples / rate;
    QTemporaryDir tmp;
    QFile song(tmp.path() + "/song.mp3");
    ASSERT_TRUE(song.open(QIODevice::WriteOnly));
    song.write(mp3 + mp3 + mp3);
    song.close();
    Asm a;
    a.str("s").num(0).str("Sound").op(0x40).op(0x1D);
    a.invoke("s", "loadSound", {std::string("song.mp3"), 1.0});
    const auto movie = load(avm1test::oneFrame(a, 8));
    auto record = [&] {
        swf::RunnerOptions options;
        options.sound = swf::RunnerOptions::Sound::Record;
        swf::MovieRunner runner(movie, swf::MovieRunner::urlForFile(tmp.path() + "/main.swf"),
                                options);
        runner.start();
        for (int i = 0; i < int((seconds + 1) * 12); ++i)
            runner.nextPicture();
        return runner.takeAudio();
    };
    const swf::sound::PcmBuffer heard = record();
    ASSERT_EQ(heard.rate, 44100u);
    const auto left = soundtest::channel(heard, 0);
    const auto [from, to] = soundtest::audibleSpan(left, 0.02);
    EXPECT_LE(double(from) / 44100, 1.0 / 12 + 0.05) << "from the step after the request";
    EXPECT_NEAR(double(to - from) / 44100, seconds, 0.1);
    EXPECT_NEAR(soundtest::dominantFrequency(left, 44100, 100, 2000), 440, 2);
    EXPECT_EQ(record().samples, heard.samples);
}
