#include "playback/exporter.h"
#include "playback/flashcontrol.h"
#include "swf/avm1/avm1_asm.h"
#include "swf/avm2/display.h"
#include "swf/avm2/runtime.h"
#include "swf/runner/avm2engine.h"
#include "swf/textfields.h"
#include "swf_writer.h"
#include "testenv.h"

#include <QDirIterator>
#include <QInputMethodEvent>
#include <QMenu>
#include <QPaintEvent>
#include <QTemporaryDir>
#include <QtTest>
#include <functional>

using swftest::Bytes;
using swftest::concat;

namespace {

namespace op = swf::avm1::op;
const QString kCorpus = testenv::corpusDir();

// A DefineShape3 w x h rectangle of one colour at the origin.
Bytes box(std::uint16_t id, std::uint8_t r, std::uint8_t g, std::uint8_t b, int w, int h) {
    swftest::Writer s;
    s.u16(id).rect(0, w, 0, h).u8(1).u8(0x00).rgba(r, g, b, 255).u8(0);
    swftest::Records rec(s, 1, 0);
    rec.style(swftest::Records::kKeep, 1, swftest::Records::kKeep, true, 0, 0);
    rec.hline(w).vline(h).hline(-w).vline(-h);
    rec.end();
    return swftest::tag(32, s);
}

// A 100 x 100 px movie on a green background with a button in its middle: blue when up,
// red under the mouse; and three frames so that playing shows.
QString writeButtonMovie(const QTemporaryDir& dir) {
    swftest::Writer b;
    b.u16(20).u8(0).u16(0);
    b.u8(0x01 | 0x08).u16(1).u16(1).matrix().cxform(true, {}, {});
    b.u8(0x02 | 0x04).u16(2).u16(1).matrix().cxform(true, {}, {});
    b.u8(0);
    swftest::Writer body;
    body.rect(0, 2000, 0, 2000).u16(12 << 8).u16(3);
    body.bytes(concat(
        {swftest::tag(9, swftest::Writer().rgb(0, 255, 0)), box(1, 0, 0, 255, 800, 800),
         box(2, 255, 0, 0, 800, 800), swftest::tag(34, b), swftest::placeObject2(1, 20, 600, 600),
         swftest::showFrame(), swftest::showFrame(), swftest::showFrame(), swftest::end()}));
    swftest::Writer file;
    file.u8('F').u8('W').u8('S').u8(10).u32(std::uint32_t(body.size() + 8)).bytes(body.data());
    const QString path = dir.filePath(QStringLiteral("button.swf"));
    QFile f(path);
    if (f.open(QIODevice::WriteOnly))
        f.write(reinterpret_cast<const char*>(file.data().data()), qint64(file.size()));
    return path;
}
// A 100 x 100 px square that moves 100 px right in frame 2 and stays in frame 3, beside a still
// one, on a 550 x 400 px stage.
QString writeMovingSquare(const QTemporaryDir& dir) {
    const Bytes file = swftest::movie(
        concat({box(1, 255, 0, 0, 2000, 2000), box(2, 0, 0, 255, 2000, 2000),
                swftest::placeObject2(1, 2, 8000, 5000), swftest::placeObject2(2, 1, 0, 0),
                swftest::showFrame(), swftest::placeObject2(2, 0, 2000, 0, true),
                swftest::showFrame(), swftest::showFrame(), swftest::end()}),
        3);
    const QString path = dir.filePath(QStringLiteral("moving.swf"));
    QFile f(path);
    if (f.open(QIODevice::WriteOnly))
        f.write(reinterpret_cast<const char*>(file.data()), qint64(file.size()));
    return path;
}

// Writes a movie into the folder; its path, or nothing when it could not be written.
QString writeMovie(const QTemporaryDir& dir, const QString& name, const Bytes& file) {
    const QString path = dir.filePath(name);
    QFile out(path);
    if (!out.open(QIODevice::WriteOnly) || out.write(reinterpret_cast<const char*>(file.data()),
                                                     qint64(file.size())) != qint64(file.size()))
        return {};
    return path;
}

// Collects the regions the control is asked to paint.
class PaintSpy : public QObject {
public:
    QRegion painted;
    int paints = 0;
    void reset() {
        painted = QRegion();
        paints = 0;
    }
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::Paint) {
            painted += static_cast<QPaintEvent*>(e)->region();
            ++paints;
        }
        return false;
    }
};
} // namespace

class FlashControlTest : public QObject {
    Q_OBJECT
private slots:
    void repaintsOnlyWhatChangedAndNothingForAStillFrame() {
        QTemporaryDir dir;
        FlashControl c;
        c.setManualClock(true);
        c.resize(550, 400);
        c.show();
        QVERIFY(QTest::qWaitForWindowExposed(&c));
        c.Movie(writeMovingSquare(dir));
        PaintSpy spy;
        c.installEventFilter(&spy);
        QCoreApplication::processEvents();
        const auto shows = [&c] {
            return c.grab().toImage().convertToFormat(QImage::Format_RGB32) ==
                   c.grabFrame().convertToFormat(QImage::Format_RGB32);
        };

        spy.reset();
        c.stepPicture(); // the red square moves
        QCoreApplication::processEvents();
        QVERIFY(spy.paints > 0);
        QVERIFY(spy.painted.contains(QRect(10, 10, 80, 80)));        // where it was
        QVERIFY(spy.painted.contains(QRect(110, 10, 80, 80)));       // where it is
        QVERIFY(!spy.painted.intersects(QRect(400, 250, 100, 100))); // the still blue one
        QVERIFY(shows());

        spy.reset();
        c.stepPicture(); // nothing changes
        QCoreApplication::processEvents();
        QCOMPARE(spy.paints, 0);

        // A new view: all of it.
        for (const auto& change : std::vector<std::function<void()>>{
                 [&] { c.setQuality(swf::render::Quality::Low); }, [&] { c.ScaleMode(2); },
                 [&] { c.zoomIn(); }, [&] { c.resize(500, 380); }}) {
            spy.reset();
            change();
            QCoreApplication::processEvents();
            QCOMPARE(spy.painted, QRegion(c.rect()));
            QVERIFY(shows());
        }

        // The comparison mode redraws every frame whole.
        c.setFullRepaint(true);
        QCoreApplication::processEvents();
        spy.reset();
        c.stepPicture(); // back to frame 1: the square jumps back
        c.stepPicture();
        QCoreApplication::processEvents();
        QCOMPARE(spy.painted, QRegion(c.rect()));
        QVERIFY(shows());
    }

    void readsTheHeaderOfRealMovies() {
        REELWICK_QNEED_CORPUS();
        FlashControl c;
        // Uncompressed, version 6, 50 frames at 31 fps.
        c.Movie(kCorpus + QStringLiteral("/open-flash-db-movies/morph-rotating-square/main.swf"));
        QVERIFY(c.hasMovie());
        QCOMPARE(c.frameCount(), 50);
        QCOMPARE(c.header()->frameRate, 31.0);
        QCOMPARE(c.header()->frameSize.width(), 550 * 20);
        QVERIFY(c.isPlaying()); // starts at once

        // zlib, version 9, 104 frames at 25 fps, given as a file:// URL.
        c.Movie(QUrl::fromLocalFile(
                    kCorpus + QStringLiteral("/open-flash-db-movies/homestuck-beta-2/main.swf"))
                    .toString());
        QVERIFY(c.hasMovie());
        QCOMPARE(c.frameCount(), 104);
        QCOMPARE(c.header()->frameRate, 25.0);
        QCOMPARE(c.header()->compression, swf::Compression::Zlib);
    }

    void everyOperationOnAMovie() {
        REELWICK_QNEED_CORPUS();
        FlashControl c;
        c.Movie(kCorpus + QStringLiteral("/jpexs-testdata/scenes/scenes.swf")); // 40 frames
        QTRY_VERIFY_WITH_TIMEOUT(c.FrameNum() > 0, 5000);                       // the clock runs it

        c.Stop();
        const int halted = c.FrameNum();
        QTest::qWait(150);
        QCOMPARE(c.FrameNum(), halted);

        c.FrameNum(-7);
        QCOMPARE(c.FrameNum(), 0);
        c.FrameNum(1000);
        QCOMPARE(c.FrameNum(), 39);
        c.FrameNum(20);
        c.Back();
        QCOMPARE(c.FrameNum(), 19);
        c.Forward();
        c.Forward();
        QCOMPARE(c.FrameNum(), 21);
        QVERIFY(!c.isPlaying());

        c.Play();
        QVERIFY(c.isPlaying());
        QTRY_VERIFY_WITH_TIMEOUT(c.FrameNum() != 21, 5000);
        c.Rewind();
        c.StopPlay();
        QCOMPARE(c.FrameNum(), 0);
        QVERIFY(!c.isPlaying());

        for (int mode : {0, 1, 2, 3, 0})
            c.ScaleMode(mode);
        QCOMPARE(c.scaleMode(), 0);
    }

    void unloadsAndRefusesCleanly() {
        REELWICK_QNEED_CORPUS();
        FlashControl c;
        c.Movie(kCorpus + QStringLiteral("/jpexs-testdata/scenes/scenes.swf"));
        QVERIFY(c.hasMovie());
        c.Movie(QStringLiteral("http://"));
        QVERIFY(!c.hasMovie());
        QVERIFY(c.notice().isEmpty());

        // Every operation still answers on the empty control.
        c.Play();
        c.Back();
        c.Forward();
        c.FrameNum(12);
        c.Rewind();
        c.StopPlay();
        QCOMPARE(c.FrameNum(), 0);
        QVERIFY(!c.isPlaying());

        c.Movie(QString());
        QVERIFY(!c.hasMovie());
        c.Movie(QStringLiteral("/nonexistent/movie.swf"));
        QVERIFY(!c.hasMovie());
        QVERIFY(!c.notice().isEmpty());
        c.Movie(kCorpus + QStringLiteral("/jpexs-testdata/as3_harman/bin/harman_encrypted.swf"));
        QVERIFY(!c.hasMovie());
        c.Movie(kCorpus + QStringLiteral("/README.md"));
        QVERIFY(!c.hasMovie());
        QVERIFY(!c.notice().isEmpty());
    }

    void drawsTheMovieWithItsBackgroundAndScaleModes() {
        QTemporaryDir dir;
        FlashControl c;
        c.resize(400, 200);
        c.Movie(writeButtonMovie(dir));
        QVERIFY(c.hasMovie());
        QImage frame = c.grabFrame();
        // Show all: the square stage in the middle, letterboxed in the background colour.
        QCOMPARE(frame.pixel(10, 100), qRgb(0, 255, 0));
        QCOMPARE(frame.pixel(200, 100), qRgb(0, 0, 255)); // the button, up
        QCOMPARE(frame.pixel(200, 50), qRgb(0, 255, 0));
        // Exact fit stretches the stage: the button now spans the middle fifth horizontally.
        c.ScaleMode(2);
        frame = c.grabFrame();
        QCOMPARE(frame.pixel(140, 100), qRgb(0, 0, 255));
        QCOMPARE(frame.pixel(100, 100), qRgb(0, 255, 0));
        // No scale: 100 x 100 px in the middle.
        c.ScaleMode(3);
        frame = c.grabFrame();
        QCOMPARE(frame.pixel(175, 75), qRgb(0, 255, 0));
        QCOMPARE(frame.pixel(200, 100), qRgb(0, 0, 255));
        QCOMPARE(frame.pixel(230, 100), qRgb(0, 255, 0));
        // Zooming in shows the middle larger; show all goes back.
        c.ScaleMode(0);
        c.zoomIn();
        frame = c.grabFrame();
        QCOMPARE(frame.pixel(200, 30), qRgb(0, 0, 255));
        c.showAll();
        QCOMPARE(c.zoom(), 1.0);

        c.Movie(QStringLiteral("http://"));
        frame = c.grabFrame();
        QCOMPARE(frame.pixel(200, 100), c.palette().color(QPalette::Base).rgb());
    }

    // No scale makes the stage the whole view: what lies beyond the movie's frame shows (a Flex
    // application lays itself out to the view), where the other modes cut it off.
    void noScaleShowsWhatLiesBeyondTheFrame() {
        QTemporaryDir dir;
        // A 100 x 100 px red square at (560, 150) px, right of the 550 x 400 px frame.
        const QString path =
            writeMovie(dir, QStringLiteral("beyond.swf"),
                       swftest::movie(concat({box(1, 255, 0, 0, 2000, 2000),
                                              swftest::placeObject2(1, 1, 11200, 3000),
                                              swftest::showFrame(), swftest::end()})));
        FlashControl c;
        c.resize(800, 500);
        c.Movie(path);
        QVERIFY(c.hasMovie());
        // Show all: the frame is 687.5 px wide from x = 56; the square would start at 756.
        QCOMPARE(c.grabFrame().pixel(770, 250), qRgb(255, 255, 255));
        // No scale: the frame from (125, 50), the square at 685..785.
        c.ScaleMode(3);
        QCOMPARE(c.grabFrame().pixel(735, 250), qRgb(255, 0, 0));
        QCOMPARE(c.grabFrame().pixel(675, 250), qRgb(255, 255, 255));
        // The picture the widget keeps shows it too.
        const QImage shown = c.grab().toImage().convertToFormat(QImage::Format_RGB32);
        QCOMPARE(shown.pixel(735, 250), qRgb(255, 0, 0));
        c.ScaleMode(0);
        QCOMPARE(c.grab().toImage().convertToFormat(QImage::Format_RGB32).pixel(770, 250),
                 qRgb(255, 255, 255));
    }

    void buttonsFollowTheMouse() {
        QTemporaryDir dir;
        FlashControl c;
        c.resize(200, 200);
        c.Movie(writeButtonMovie(dir));
        c.show();
        QVERIFY(QTest::qWaitForWindowExposed(&c));
        auto* button = c.player()->root().displayList().at(1)->button();
        QVERIFY(button);
        QTest::mouseMove(&c, QPoint(100, 100));
        QTRY_COMPARE(button->state(), swf::ButtonState::Over);
        QCOMPARE(c.grabFrame().pixel(100, 100), qRgb(255, 0, 0));
        QCOMPARE(c.cursor().shape(), Qt::PointingHandCursor);
        QTest::mousePress(&c, Qt::LeftButton, {}, QPoint(100, 100));
        QCOMPARE(button->state(), swf::ButtonState::Down);
        QTest::mouseRelease(&c, Qt::LeftButton, {}, QPoint(100, 100));
        QCOMPARE(button->state(), swf::ButtonState::Over);
        QTest::mouseMove(&c, QPoint(10, 10));
        QTRY_COMPARE(button->state(), swf::ButtonState::Up);
        QCOMPARE(c.grabFrame().pixel(100, 100), qRgb(0, 0, 255));
    }

    // An ActionScript 3 movie (its objects made here through the VM, as compiled code would):
    // the control passes double clicks and the wheel, and shows the pointer the movie asks for.
    void as3MouseDoubleClickWheelAndPointer() {
        QTemporaryDir dir;
        const Bytes file = swftest::movie(concat(
            {swftest::tag(69, swftest::Writer().u32(0x08)), swftest::showFrame(), swftest::end()}));
        const QString path = writeMovie(dir, QStringLiteral("as3.swf"), file);
        QVERIFY(!path.isEmpty());
        FlashControl c;
        c.resize(550, 400); // the stage's own size: widget pixels are stage pixels
        c.Movie(path);
        auto* engine = dynamic_cast<swf::Avm2Engine*>(c.runner()->scriptEngine());
        QVERIFY(engine);
        using swf::avm2::Value;
        swf::avm2::VM& vm = engine->runtime().vm();
        auto name = [&](const char* n) { return vm.publicName(QString::fromLatin1(n)); };
        const Value s =
            vm.construct(vm.lookupDefinition(QStringLiteral("flash.display::Sprite")), {});
        const Value g = vm.getProperty(s, name("graphics"));
        vm.callProperty(g, name("beginFill"), std::vector<Value>{Value(0xFF)});
        vm.callProperty(g, name("drawRect"),
                        std::vector<Value>{Value(0), Value(0), Value(100), Value(100)});
        vm.callProperty(Value(static_cast<swf::avm2::Object*>(engine->runtime().root())),
                        name("addChild"), std::vector<Value>{s});
        vm.setProperty(s, name("buttonMode"), Value(true));
        vm.setProperty(s, name("doubleClickEnabled"), Value(true));
        static QStringList heard;
        heard.clear();
        const Value log(static_cast<swf::avm2::Object*>(
            vm.makeNative(QStringLiteral("log"), [](swf::avm2::VM& vm, const Value&,
                                                    std::span<const Value> args) {
                const Value e = swf::avm2::arg(args, 0);
                QString line = vm.toString(vm.getProperty(e, vm.publicName("type")));
                const int delta = vm.toInt32(vm.getProperty(e, vm.publicName("delta")));
                if (delta)
                    line += QString::number(delta);
                heard << line;
                return Value();
            })));
        for (const char* type : {"click", "doubleClick", "mouseWheel"})
            vm.callProperty(s, name("addEventListener"), std::vector<Value>{Value(type), log});
        c.show();
        QVERIFY(QTest::qWaitForWindowExposed(&c));

        QTest::mouseMove(&c, QPoint(300, 300));
        QTRY_COMPARE(c.cursor().shape(), Qt::ArrowCursor);
        QTest::mouseMove(&c, QPoint(50, 50));
        QTRY_COMPARE(c.cursor().shape(), Qt::PointingHandCursor);
        // Press, release, double click (in place of the second press or after it), release.
        QTest::mouseClick(&c, Qt::LeftButton, {}, QPoint(50, 50));
        QTest::mouseDClick(&c, Qt::LeftButton, {}, QPoint(50, 50));
        QTest::mouseRelease(&c, Qt::LeftButton, {}, QPoint(50, 50));
        QCOMPARE(heard.join(' '), QStringLiteral("click doubleClick"));
        heard.clear();
        // One notch towards the user: 3 lines down, a negative delta.
        QWheelEvent wheel(QPointF(50, 50), c.mapToGlobal(QPointF(50, 50)), QPoint(),
                          QPoint(0, -120), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(&c, &wheel);
        QCOMPARE(heard.join(' '), QStringLiteral("mouseWheel-3"));
    }

    // An ActionScript 2 movie: the input method's events as Qt sends them show the text being
    // composed in the field, then type what is committed; Tab reaches the button below it, whose
    // yellow focus rectangle the view repaints in and out.
    void as2InputMethodAndButtonFocus() {
        QTemporaryDir dir;
        swftest::Writer field;
        field.u16(1).rect(0, 4000, 0, 600).u8(0x80).u8(0x00).str("name").str("");
        swftest::Writer b;
        b.u16(4).u8(0).u16(0);
        b.u8(0x0F).u16(3).u16(1).matrix().cxform(true, {}, {}).u8(0);
        const Bytes file = swftest::movie(
            concat({swftest::tag(37, field), box(3, 255, 0, 0, 2000, 1000), swftest::tag(34, b),
                    swftest::placeObject2(1, 1, 0, 0, false, "field"),
                    swftest::placeObject2(2, 4, 0, 2000, false, "btn"), swftest::showFrame(),
                    swftest::end()}));
        const QString path = writeMovie(dir, QStringLiteral("as2.swf"), file);
        QVERIFY(!path.isEmpty());
        FlashControl c;
        c.resize(550, 400);
        c.Movie(path);
        c.show();
        QVERIFY(QTest::qWaitForWindowExposed(&c));
        const swf::DisplayObject* f = c.player()->root().displayList().byName("field");
        QVERIFY(f);

        QTest::mouseClick(&c, Qt::LeftButton, {}, QPoint(50, 10));
        QInputMethodEvent composing(QStringLiteral("zhong"), {});
        QApplication::sendEvent(&c, &composing);
        QVERIFY(f->composedText);
        QCOMPARE(swf::htmlToPlain(*f->composedText), QStringLiteral("zhong"));
        QCOMPARE(f->text, QString());
        QInputMethodEvent commit;
        commit.setCommitString(QString::fromUtf8("中"));
        QApplication::sendEvent(&c, &commit);
        QCOMPARE(f->text, QString::fromUtf8("中"));
        QVERIFY(!f->composedText);

        auto yellowAbove = [&c] {
            const QRgb p = c.grabFrame().pixel(50, 99);
            return qRed(p) > 200 && qGreen(p) > 200 && qBlue(p) < 100;
        };
        QVERIFY(!yellowAbove());
        QTest::keyClick(&c, Qt::Key_Tab);
        QTRY_VERIFY(yellowAbove());
        QTest::keyClick(&c, Qt::Key_Tab);
        QTRY_VERIFY(!yellowAbove());
        QCOMPARE(c.grabFrame().pixel(50, 99), qRgb(255, 255, 255));
    }

    void scriptsSetTheScaleModeAndHitTestOutlines() {
        QTemporaryDir dir;
        FlashControl c;
        c.resize(200, 100);
        c.Movie(writeButtonMovie(dir));
        QVERIFY(c.scripting());
        QStringList traces;
        c.scripting()->hooks().trace = [&](const QString& s) { traces << s; };
        auto run = [&](const avm1test::Asm& a) {
            c.scripting()->vm().runBlock(a.bytes(), &c.player()->root());
        };
        avm1test::Asm a;
        a.set("Stage", "scaleMode", "exactFit");
        run(a);
        QCOMPARE(c.scaleMode(), 2);
        QCOMPARE(c.viewTransform().map(QPointF(2000, 2000)), QPointF(200, 100));
        // The window's own command still rules afterwards.
        c.ScaleMode(0);
        QCOMPARE(c.scaleMode(), 0);
        // Aligned to the right edge: the 100 x 100 px stage fills the height, 100 px wide.
        avm1test::Asm align;
        align.set("Stage", "align", "R");
        run(align);
        QCOMPARE(c.viewTransform().map(QPointF(0, 0)), QPointF(100, 0));
        align.set("Stage", "align", "");
        run(align);
        QCOMPARE(c.viewTransform().map(QPointF(0, 0)), QPointF(50, 0));

        // A triangle drawn at the origin: (40, 40) is in its box but not in it.
        avm1test::Asm draw;
        draw.invoke("this", "createEmptyMovieClip", {"t", 1.0});
        draw.invoke("t", "beginFill", {0.0}).invoke("t", "lineTo", {50.0, 0.0});
        draw.invoke("t", "lineTo", {0.0, 50.0}).invoke("t", "endFill");
        for (double shapeFlag : {0.0, 1.0}) {
            for (double at : {10.0, 40.0})
                draw.num(shapeFlag)
                    .num(at)
                    .num(at)
                    .num(3)
                    .getVar("t")
                    .str("hitTest")
                    .op(op::CallMethod)
                    .trace();
        }
        run(draw);
        QCOMPARE(traces, (QStringList{"true", "true", "true", "false"}));
    }

    void loopingAndTheActionHook() {
        QTemporaryDir dir;
        FlashControl c;
        int calls = 0;
        c.setActionHandler([&](swf::Player&, std::vector<swf::PendingAction>) { ++calls; });
        c.Movie(writeButtonMovie(dir)); // three frames at 12 fps
        c.setLooping(false);
        QTRY_VERIFY_WITH_TIMEOUT(!c.isPlaying(), 5000); // halts on the last frame
        QCOMPARE(c.FrameNum(), 2);
        QVERIFY(calls >= 2); // after every step
        c.Play();            // from the end, starts over
        QVERIFY(c.isPlaying());
        QVERIFY(c.FrameNum() < 2);
        c.setLooping(true);
        QTRY_VERIFY_WITH_TIMEOUT(c.FrameNum() == 2, 5000);
        QTRY_VERIFY_WITH_TIMEOUT(c.FrameNum() == 0, 5000); // and round again
        QVERIFY(c.isPlaying());
    }

    // The window and the exporter run a scripted movie through the same runner: the control's
    // pictures, stepped on the movie's own clock, are the exporter's frame for frame.
    void windowAndExporterDrawTheSameFrames() {
        REELWICK_QNEED_CORPUS();
        const char* movies[] = {"jpexs-testdata/as2/as2.swf",
                                "jpexs-testdata/timeline/timeline.swf",
                                "jpexs-testdata/debug_game/as2_scoring.swf",
                                "jpexs-testdata/as2_slash_syntax/slash_syntax.swf",
                                "jpexs-testdata/swt_templates/f5_template.swf"};
        constexpr int kFrames = 16;
        for (const char* relative : movies) {
            const QString path = kCorpus + u'/' + QString::fromUtf8(relative);
            QVERIFY2(QFile::exists(path), relative);
            QTemporaryDir dir;
            ExportRequest request;
            request.movie = path;
            request.firstFrame = 1;
            request.lastFrame = kFrames;
            request.outDir = dir.path();
            QString error;
            ExportOutcome outcome;
            QVERIFY2(exportFrames(request, &error, &outcome), qPrintable(error));

            auto movie = swf::Movie::loadFile(path);
            QVERIFY(movie);
            const swf::Rect& stage = (*movie)->header().frameSize;
            FlashControl c;
            c.resize(stage.width() / 20, stage.height() / 20);
            c.setManualClock(true);
            c.Movie(path);
            QVERIFY(c.hasMovie());
            int differing = 0;
            for (int frame = 1; frame <= outcome.framesWritten; ++frame) {
                if (frame > 1)
                    c.stepPicture();
                const QImage exported(
                    dir.filePath(QStringLiteral("frame_%1.png").arg(frame, 4, 10, QChar('0'))));
                QCOMPARE(exported.size(), c.size());
                if (c.grabFrame().convertToFormat(QImage::Format_RGB32) !=
                    exported.convertToFormat(QImage::Format_RGB32)) {
                    qWarning("%s: frame %d differs", relative, frame);
                    ++differing;
                }
            }
            QCOMPARE(differing, 0);
            QVERIFY(outcome.framesWritten > 1);
        }
    }

    void contextMenuIsTheControlsOwn() {
        QTemporaryDir dir;
        FlashControl c;
        c.Movie(writeButtonMovie(dir));
        std::unique_ptr<QMenu> menu(c.createContextMenu(nullptr));
        QStringList captions;
        QAction* quality = nullptr;
        for (QAction* a : menu->actions()) {
            if (!a->isSeparator())
                captions << a->text();
            if (a->menu() && !quality)
                quality = a;
        }
        QCOMPARE(captions, QStringList({QStringLiteral("放大"), QStringLiteral("缩小"),
                                        QStringLiteral("全部显示"), QStringLiteral("品质"),
                                        QStringLiteral("播放"), QStringLiteral("循环"),
                                        QStringLiteral("倒带"), QStringLiteral("前进"),
                                        QStringLiteral("后退"), QStringLiteral("导出视频…"),
                                        QStringLiteral("保存画面…"), QStringLiteral("影片信息…"),
                                        QStringLiteral("转到帧…"), QStringLiteral("播放速度")}));
        QVERIFY(quality);
        const auto levels = quality->menu()->actions();
        QCOMPARE(levels.size(), 3);
        QCOMPARE(levels[0]->text(), QStringLiteral("低"));
        QVERIFY(levels[2]->isChecked()); // high by default
        levels[0]->trigger();
        QCOMPARE(c.quality(), swf::render::Quality::Low);

        auto find = [&](const QString& text) {
            for (QAction* a : menu->actions()) {
                if (a->text() == text)
                    return a;
            }
            return static_cast<QAction*>(nullptr);
        };
        QVERIFY(find(QStringLiteral("播放"))->isChecked());
        find(QStringLiteral("播放"))->trigger();
        QVERIFY(!c.isPlaying());
        find(QStringLiteral("前进"))->trigger();
        const int at = c.FrameNum();
        find(QStringLiteral("后退"))->trigger();
        QCOMPARE(c.FrameNum(), at - 1);
        find(QStringLiteral("倒带"))->trigger();
        QCOMPARE(c.FrameNum(), 0);
        QVERIFY(!find(QStringLiteral("缩小"))->isEnabled()); // nothing to zoom out of yet
        find(QStringLiteral("放大"))->trigger();
        QCOMPARE(c.zoom(), 2.0);
        find(QStringLiteral("循环"))->trigger();
        QVERIFY(!c.isLooping());
    }

    // Scripts read files beside their movie and keep SharedObjects under $XDG_DATA_HOME (the
    // tests' own folder), written when the movie closes.
    void scriptsReadBesideTheMovieAndKeepSharedObjects() {
        const QString base = qEnvironmentVariable("XDG_DATA_HOME");
        QVERIFY(!base.isEmpty());
        QTemporaryDir dir;
        const QString movie = writeButtonMovie(dir);
        QFile vars(dir.filePath(QStringLiteral("vars.txt")));
        QVERIFY(vars.open(QIODevice::WriteOnly));
        vars.write("level=5");
        vars.close();
        QStringList traces;
        {
            FlashControl c;
            c.Movie(movie);
            QVERIFY(c.scripting());
            c.scripting()->hooks().trace = [&](const QString& s) { traces << s; };
            auto run = [&](const avm1test::Asm& a) {
                c.scripting()->vm().runBlock(a.bytes(), &c.player()->root());
            };
            avm1test::Asm a;
            a.str("vars.txt").str("_root").rec(0x9A, {0x80});
            a.str("so").str("prefs").num(1).getVar("SharedObject").str("getLocal").op(0x52);
            a.op(0x1D).getVar("so").str("data").op(0x4E).str("n").num(7).op(0x4F);
            run(a);
            c.Forward();
            avm1test::Asm b;
            b.getVar("level").trace();
            run(b);
        }
        QCOMPARE(traces, QStringList{"5"});
        QString store;
        QDirIterator it(base + QStringLiteral("/reelwick/shared-objects"),
                        {QStringLiteral("prefs.rso")}, QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = it.next();
            if (path.contains(QStringLiteral("/") + QFileInfo(movie).completeBaseName() + '-'))
                store = path;
        }
        QVERIFY2(!store.isEmpty(), "no store written");
        QVERIFY(QFile::remove(store));
    }

    void stageRectForEachScaleMode() {
        const QSizeF widget(800, 400), stage(550, 400);
        QCOMPARE(FlashControl::stageRect(widget, stage, 0), QRectF(125, 0, 550, 400));
        QCOMPARE(FlashControl::stageRect(widget, stage, 1).width(), 800.0);
        QCOMPARE(FlashControl::stageRect(widget, stage, 1).center(), QPointF(400, 200));
        QCOMPARE(FlashControl::stageRect(widget, stage, 2), QRectF(0, 0, 800, 400));
        QCOMPARE(FlashControl::stageRect(QSizeF(1000, 600), stage, 3), QRectF(225, 100, 550, 400));
        QCOMPARE(FlashControl::stageRect(widget, QSizeF(), 0), QRectF(0, 0, 800, 400));
    }
};

QTEST_MAIN(FlashControlTest)
#include "flashcontrol_test.moc"
