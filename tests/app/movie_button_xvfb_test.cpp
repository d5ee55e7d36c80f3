#include "app/form1.h"
#include "common/fonts.h"
#include "playback/flashcontrol.h"
#include "swf/avm1/avm1_asm.h"

#include <QAction>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

// A hand-built movie in the real window: the user clicks its button, the button's script
// draws a green square and asks for full screen, and the window goes full screen as the menu
// command would take it there.
namespace {

namespace op = swf::avm1::op;

using avm1test::Asm;
using swftest::Bytes;
using swftest::concat;

// DefineButton2 showing shape 1 in every state (and as its hit area), with a release action.
Bytes button(std::uint16_t id, const Asm& onRelease) {
    swftest::Writer records;
    records.u8(0x0F).u16(1).u16(1).translate(0, 0).u8(0).u8(0);
    swftest::Writer w;
    w.u16(id).u8(0).u16(std::uint16_t(2 + records.size())).append(records);
    w.u16(0).u8(std::uint8_t(swf::CondOverDownToOverUp >> 8)).u8(0).bytes(onRelease.bytes());
    return swftest::tag(34, w);
}

Bytes movieWithButton() {
    Asm release;
    // _root.beginFill(0x00FF00); a 100 x 100 px square at (300, 100); _root.endFill();
    release.invoke("_root", "beginFill", {double(0x00FF00)});
    release.invoke("_root", "moveTo", {300.0, 100.0}).invoke("_root", "lineTo", {400.0, 100.0});
    release.invoke("_root", "lineTo", {400.0, 200.0}).invoke("_root", "lineTo", {300.0, 200.0});
    release.invoke("_root", "endFill");
    // fscommand("fullscreen", "true")
    Bytes url;
    for (const char* s : {"FSCommand:fullscreen", "true"}) {
        url.insert(url.end(), s, s + std::strlen(s));
        url.push_back(0);
    }
    release.rec(op::GetURL, url);
    Asm stop;
    stop.op(op::Stop);
    return swftest::movie(
        concat({swftest::rectShape(1, 2000, 2000), button(2, release),
                swftest::placeObject2(1, 2, 2000, 2000), swftest::doAction(stop.bytes()),
                swftest::showFrame(), swftest::end()}));
}

} // namespace

class MovieButtonXvfbTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    std::unique_ptr<Form1> m_window;
    FlashControl* m_flash = nullptr;

    // The colour the control shows at a stage point given in pixels.
    QColor shownAt(QPointF stagePx) {
        const QPoint p = m_flash->viewTransform().map(stagePx * 20).toPoint();
        return m_flash->grabFrame().pixelColor(p);
    }

private slots:
    void init() {
        installFontSubstitutions();
        const QString path = m_dir.filePath(QStringLiteral("button.swf"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        const Bytes bytes = movieWithButton();
        file.write(reinterpret_cast<const char*>(bytes.data()), qint64(bytes.size()));
        file.close();
        m_window = std::make_unique<Form1>(
            Form1Services{nullptr, m_dir.filePath(QStringLiteral("play.lst")), [] {}, nullptr});
        m_window->Form_Load({path});
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
        m_flash = m_window->findChild<FlashControl*>();
        QVERIFY(m_flash && m_flash->hasMovie());
    }
    void cleanup() { m_window.reset(); }

    void clickingTheButtonRunsItsScript() {
        QCOMPARE(shownAt({350, 150}), QColor(Qt::white));
        QCOMPARE(shownAt({150, 150}), QColor(Qt::red)); // the button
        const QPoint button = m_flash->viewTransform().map(QPointF(150, 150) * 20).toPoint();
        QTest::mouseMove(m_flash, button);
        QTest::mouseClick(m_flash, Qt::LeftButton, {}, button);
        QTRY_VERIFY(m_window->isFullScreen());
        QVERIFY(m_window->action("mnuquanping")->isChecked());
        QTRY_COMPARE(shownAt({350, 150}), QColor(Qt::green));

        // Asking again for what is already so changes nothing; false leaves the mode once.
        emit m_flash->fullScreenRequested(true);
        QVERIFY(m_window->isFullScreen());
        emit m_flash->fullScreenRequested(false);
        QTRY_VERIFY(!m_window->isFullScreen());
        QVERIFY(!m_window->action("mnuquanping")->isChecked());
        QCOMPARE(m_window->windowTitle(),
                 m_dir.filePath(QStringLiteral("button.swf")) + QStringLiteral(" - Reelwick1.1"));
        emit m_flash->fullScreenRequested(false);
        QVERIFY(!m_window->isFullScreen());
    }
};

QTEST_MAIN(MovieButtonXvfbTest)
#include "movie_button_xvfb_test.moc"
