#include "app/form1.h"
#include "common/fonts.h"
#include "fakes/fakemoviecontrol.h"

#include <QAction>
#include <QLabel>
#include <QListWidget>
#include <QMenuBar>
#include <QScreen>
#include <QTemporaryDir>
#include <QtTest>

using namespace style;

// A shown window with a fake movie control, laid out for its first size.
struct Shown {
    QTemporaryDir dir;
    FakeMovieControl* control = new FakeMovieControl;
    Form1 window{Form1Services{control, dir.filePath(QStringLiteral("play.lst")), [] {}, nullptr}};

    explicit Shown(const QStringList& movies = {}) {
        window.Form_Load(movies);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
    }
    QRectF twips(const QWidget* w) const { return window.controlRect(w); }
    QRectF movie() const { return twips(control); }
    QSize client() const { return window.centralWidget()->size(); }
    // Gives the client area this size in pixels (the menu bar stays above it).
    void resizeClient(int w, int h) {
        window.resize(w, h + window.menuBar()->height());
        QTRY_COMPARE(client(), QSize(w, h));
    }
    // The list took `asked` units less what a whole number of rows leaves over.
    void listFits(float asked) const {
        const PlaylistBox* list = window.List1();
        const int px = window.clientScale().toPixelsHeight(asked);
        const int row = list->rowHeight();
        QVERIFY2(list->height() <= px && list->height() > px - row,
                 qPrintable(QStringLiteral("asked %1 px, got %2").arg(px).arg(list->height())));
        QCOMPARE(list->viewport()->height() % row, 0);
    }
    void toggleFullScreen() { QTest::keySequence(&window, QKeySequence(QStringLiteral("Ctrl+F"))); }
    bool checked() const { return window.action("mnuquanping")->isChecked(); }
};

class Form1LayoutTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { installFontSubstitutions(); }

    void firstShowLaysOutTheCreationSize() {
        Shown s;
        QCOMPARE(s.client(), QSize(876, 482));
        QCOMPARE(s.movie(), QRectF(2805, 0, 10335, 7230));
        QCOMPARE(s.twips(s.window.Image1()), QRectF(0, 0, 2805, 7230));
        QCOMPARE(s.twips(s.window.List1()).topLeft(), QPointF(60, 420));
        QCOMPARE(s.twips(s.window.List1()).width(), 2670.0);
        s.listFits(6780);
        QCOMPARE(s.twips(s.window.Label1()), QRectF(240, 120, 840, 210));
        // Turning the proportion option on or off moves nothing.
        s.window.action("mnudisplay")->trigger();
        s.window.action("mnudisplay")->trigger();
        QCOMPARE(s.movie(), QRectF(2805, 0, 10335, 7230));
    }

    void minimizedThenRestored() {
        Shown s;
        s.resizeClient(700, 400);
        s.window.showMinimized();
        QTRY_VERIFY(s.window.isMinimized());
        QCOMPARE(s.movie(), QRectF(2805, 0, 10500 - 2805, 0));
        QCOMPARE(s.twips(s.window.Image1()).height(), 0.0);
        s.listFits(6000 - 450);

        s.window.showNormal();
        QTRY_VERIFY(!s.window.isMinimized());
        QCOMPARE(s.movie(), QRectF(2805, 0, 10500 - 2805, 6000));
        QCOMPARE(s.twips(s.window.Image1()).height(), 6000.0);
    }

    void narrowWindowKeepsTheMovieWidth() {
        Shown s;
        s.resizeClient(188, 482); // 2820 twips: 15 to spare
        QCOMPARE(s.movie(), QRectF(2805, 0, 15, 7230));
        s.resizeClient(187, 482); // 2805: nothing to spare
        QCOMPARE(s.movie(), QRectF(2805, 0, 15, 7230));
        s.resizeClient(100, 300); // the left edge still follows the panel; the rest is clipped
        QCOMPARE(s.movie(), QRectF(2805, 0, 15, 4500));
        s.resizeClient(876, 482);
        QCOMPARE(s.movie(), QRectF(2805, 0, 10335, 7230));
    }

    // At every height the layout gives it, the list shows whole rows only.
    void listShowsWholeRowsAtEveryHeight() {
        Shown s({QStringLiteral("/m/a.swf"), QStringLiteral("/m/b.swf")});
        for (int h = 60; h <= 700; h += 13) {
            s.resizeClient(876, h);
            s.listFits(float(s.twips(s.window.Image1()).height()) - 450);
        }
    }

    void lowWindowKeepsTheListHeight() {
        Shown s;
        s.resizeClient(876, 31); // 465 twips
        QCOMPARE(s.twips(s.window.List1()), QRectF(60, 420, 2670, 15));
        QCOMPARE(s.twips(s.window.Image1()).height(), 465.0);
        s.resizeClient(876, 30); // 450
        QCOMPARE(s.twips(s.window.List1()).height(), 15.0);
        QCOMPARE(s.twips(s.window.Image1()).height(), 450.0);
        QCOMPARE(s.movie().height(), 450.0);
    }

    void startupRecordHoldsTheOuterSize() {
        Shown s;
        const auto g = s.window.startupGeometry();
        QCOMPARE(g.left, 0.0f);
        QCOMPARE(g.top, 0.0f);
        const QRect frame = s.window.frameGeometry();
        QVERIFY(frame.height() > s.client().height() + s.window.menuBar()->height());
        QCOMPARE(g.width, float(frame.width() * 15));
        QCOMPARE(g.height, float(frame.height() * 15));
    }

    // What the window looks like on a real screen is form1_fullscreen_xvfb_test's; this is the
    // mode's bookkeeping: check mark, style bits, tag text, client scale, and the list after.
    void fullScreenOnAndOffAtTheStartupSize() {
        Shown s({QStringLiteral("/m/a.swf")});
        const QString caption = QStringLiteral("/m/a.swf - Reelwick1.1");

        s.toggleFullScreen();
        QVERIFY(s.checked());
        // The screen's size in twips was given to the client area as it was before the window
        // went full screen; the layout run by that change was then overridden.
        QCOMPARE(s.window.clientScale().toPixelsWidth(s.window.screen()->size().width() * 15), 876);
        QCOMPARE(s.window.tagText(), caption);
        QVERIFY(!s.window.windowStyle().has(WS_CAPTION));
        QVERIFY(s.window.windowStyle().has(WS_THICKFRAME));
        QVERIFY(!s.window.windowFlags().testFlag(Qt::WindowTitleHint));
        QVERIFY(s.window.menuBar()->isVisible());

        s.toggleFullScreen();
        QVERIFY(!s.checked());
        QCOMPARE(s.window.tagText(), caption);
        QCOMPARE(s.window.windowStyle(), WindowStyle::overlapped());
        QVERIFY(s.window.windowFlags().testFlag(Qt::WindowTitleHint));
        // The client area now spans the start-up outer size; the list fits above its bottom.
        const auto g = s.window.startupGeometry();
        QCOMPARE(s.window.clientScale().width(), g.width);
        QCOMPARE(s.window.clientScale().height(), g.height);
        QVERIFY(s.window.List1()->geometry().bottom() < s.client().height());
        s.listFits(float(s.twips(s.window.Image1()).height()) - 450);
    }

    void captionSetWhileFullScreenIsKept() {
        Shown s({QStringLiteral("/m/a.swf")});
        s.toggleFullScreen();
        // As opening or choosing a movie does while the mode is on.
        s.window.setCaption(QStringLiteral("/m/b.swf - Reelwick1.1"));
        QCOMPARE(s.window.windowTitle(), QStringLiteral("/m/b.swf - Reelwick1.1"));
        s.toggleFullScreen();
        QCOMPARE(s.window.windowTitle(), QStringLiteral("/m/b.swf - Reelwick1.1"));
        QVERIFY(s.window.windowStyle().has(WS_CAPTION));
        QCOMPARE(s.window.tagText(), QStringLiteral("/m/a.swf - Reelwick1.1"));

        // Set before the mode, not during it: the caption of that moment comes back.
        s.window.setCaption(QStringLiteral("/m/c.swf - Reelwick1.1"));
        s.toggleFullScreen();
        s.toggleFullScreen();
        QCOMPARE(s.window.windowTitle(), QStringLiteral("/m/c.swf - Reelwick1.1"));
    }

    void emptyCaptionLeavesTheTitleBarOff() {
        Shown s;
        s.window.setWindowTitle(QString());
        s.toggleFullScreen();
        s.toggleFullScreen();
        QVERIFY(!s.window.windowStyle().has(WS_CAPTION));
        QVERIFY(s.window.windowStyle().has(WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX));
        QVERIFY(!s.window.windowFlags().testFlag(Qt::WindowTitleHint));
        QCOMPARE(s.window.windowState(), Qt::WindowNoState);
    }

    void resizeWhileFullScreenPutsTheMovieBesideThePanel() {
        Shown s;
        s.toggleFullScreen();
        QCOMPARE(s.control->x(), 0);
        // As a change of screen resolution would.
        s.window.resize(s.window.width() - 100, s.window.height() - 100);
        QTRY_COMPARE(s.control->x(), s.window.Image1()->width());
        QCOMPARE(s.control->geometry().right(), s.client().width() - 1);
        QCOMPARE(s.control->height(), s.client().height());
        QVERIFY(s.checked());
        s.toggleFullScreen();
        QVERIFY(!s.checked());
        QCOMPARE(s.window.windowState(), Qt::WindowNoState);
    }
};

QTEST_MAIN(Form1LayoutTest)
#include "form1_layout_test.moc"
