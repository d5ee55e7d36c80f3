#include "app/form1.h"
#include "common/fonts.h"
#include "fakes/fakemoviecontrol.h"

#include <QAction>
#include <QLabel>
#include <QMenuBar>
#include <QProcess>
#include <QScreen>
#include <QTemporaryDir>
#include <QtTest>

// Full-screen mode in a real X server under a window manager, where frames, states and
// geometry are the window manager's answers rather than the test platform's.
namespace {

const QColor kMovieColour(20, 40, 160);

// With REELWICK_SCREENSHOT_DIR set, the whole screen is saved there at each stage.
void screenshot(const QString& name) {
    const QString dir = qEnvironmentVariable("REELWICK_SCREENSHOT_DIR");
    if (dir.isEmpty())
        return;
    QCoreApplication::processEvents();
    QProcess::execute(QStringLiteral("import"),
                      {QStringLiteral("-window"), QStringLiteral("root"),
                       QDir(dir).filePath(name + QStringLiteral(".png"))});
}

// This window manager puts a window that leaves the maximized or full-screen state one border
// width off its former place.
bool nearlyAt(QPoint actual, QPoint expected) {
    return (actual - expected).manhattanLength() <= 2;
}

} // namespace

class Form1FullScreenXvfbTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    FakeMovieControl* m_control = nullptr;
    std::unique_ptr<Form1> m_window;

    QWidget* client() const { return m_window->centralWidget(); }
    QRect screen() const { return m_window->screen()->geometry(); }
    void toggle() { QTest::keySequence(m_window.get(), QKeySequence(QStringLiteral("Ctrl+F"))); }
    // The window manager has framed the window and the layout has run for its size.
    void waitFramed() {
        QTRY_VERIFY(m_window->frameGeometry() != m_window->geometry());
        QTRY_COMPARE(m_control->geometry().right(), client()->width() - 1);
    }

private slots:
    void init() {
        installFontSubstitutions();
        m_control = new FakeMovieControl;
        m_control->setAutoFillBackground(true);
        QPalette p = m_control->palette();
        p.setColor(QPalette::Window, kMovieColour);
        m_control->setPalette(p);
        m_window = std::make_unique<Form1>(
            Form1Services{m_control, m_dir.filePath(QStringLiteral("play.lst")), [] {}, nullptr});
        m_window->Form_Load({QStringLiteral("/m/a.swf")});
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
        QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
        waitFramed();
    }
    void cleanup() { m_window.reset(); }

    void coversTheScreenAndComesBack() {
        QCOMPARE(client()->size(), QSize(876, 482));
        const QRect framed = m_window->geometry();
        const QRect outer = m_window->frameGeometry();
        // The record was completed with the frame once the window manager had drawn it.
        QCOMPARE(m_window->startupGeometry().width, float(outer.width() * 15));
        QCOMPARE(m_window->startupGeometry().height, float(outer.height() * 15));
        screenshot(QStringLiteral("reelwick-1-framed"));

        toggle();
        QVERIFY(m_window->isFullScreen());
        QCOMPARE(m_window->frameGeometry(), screen());
        const int menu = m_window->menuBar()->height();
        QCOMPARE(client()->geometry(), QRect(0, menu, screen().width(), screen().height() - menu));
        QCOMPARE(m_control->geometry(), client()->rect());
        QCOMPARE(m_window->windowTitle(), QString());

        // On the screen itself: the menu bar on top, the movie everywhere below it.
        const int w = screen().width(), h = screen().height();
        auto movieEverywhereBelowTheMenu = [&] {
            const QImage shot = m_window->screen()->grabWindow(0).toImage();
            for (const QPoint p : {QPoint(0, menu), QPoint(100, 300), QPoint(w / 2, h / 2),
                                   QPoint(w - 1, menu), QPoint(0, h - 1), QPoint(w - 1, h - 1)})
                if (shot.pixelColor(p) != kMovieColour)
                    return false;
            return shot.pixelColor(w / 2, menu / 2) != kMovieColour;
        };
        QTRY_VERIFY(movieEverywhereBelowTheMenu());
        screenshot(QStringLiteral("reelwick-2-fullscreen"));

        toggle();
        QVERIFY(!m_window->isFullScreen());
        QCOMPARE(m_window->windowState(), Qt::WindowNoState);
        QCOMPARE(m_window->size(), framed.size());
        QTRY_COMPARE(m_window->frameGeometry().size(), outer.size());
        QVERIFY(nearlyAt(m_window->geometry().topLeft(), framed.topLeft()));
        QCOMPARE(m_window->windowTitle(), QStringLiteral("/m/a.swf - Reelwick1.1"));
        QCOMPARE(m_control->geometry().left(), m_window->Image1()->width());
        QCOMPARE(m_control->geometry().right(), client()->width() - 1);
        QCOMPARE(m_control->geometry().bottom(), client()->height() - 1);
        QTRY_COMPARE(m_window->screen()->grabWindow(0).toImage().pixelColor(
                         m_window->mapToGlobal(client()->geometry().bottomRight())),
                     kMovieColour);
        screenshot(QStringLiteral("reelwick-3-restored"));
    }

    void maximizedComesBackNormal() {
        const QRect normal = m_window->geometry();
        m_window->showMaximized();
        QTRY_VERIFY(client()->width() > 876);
        toggle();
        QCOMPARE(m_window->frameGeometry(), screen());
        toggle();
        QCOMPARE(m_window->windowState(), Qt::WindowNoState);
        QCOMPARE(m_window->size(), normal.size());
        QVERIFY(nearlyAt(m_window->geometry().topLeft(), normal.topLeft()));
        QTRY_COMPARE(m_control->geometry().right(), client()->width() - 1);
    }
};

QTEST_MAIN(Form1FullScreenXvfbTest)
#include "form1_fullscreen_xvfb_test.moc"
