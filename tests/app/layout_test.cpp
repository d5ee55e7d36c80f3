#include "app/clientscale.h"
#include "app/fullscreen.h"
#include "app/layout.h"
#include "app/windowstyle.h"

#include <QStringList>
#include <cmath>
#include <gtest/gtest.h>
#include <limits>
#include <ostream>

inline void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}

using namespace style;

TEST(ClientScale, TwipsByDefaultWithTheOriginAtTheTopLeft) {
    ClientScale s(15);
    s.setClientSize({876, 482});
    EXPECT_EQ(s.left(), 0.0f);
    EXPECT_EQ(s.top(), 0.0f);
    EXPECT_EQ(s.width(), 13140.0f);
    EXPECT_EQ(s.height(), 7230.0f);
    EXPECT_EQ(s.toPixelsX(2805), 187);
    EXPECT_EQ(s.toPixelsHeight(6780), 452);
    EXPECT_EQ(s.toLogicalWidth(689), 10335.0f);
}

TEST(ClientScale, ARedefinedExtentSpansTheClientAreaExactly) {
    ClientScale s(15);
    s.setClientSize({876, 482});
    s.setTop(0);
    s.setLeft(0);
    s.setWidth(13275); // not a multiple of the pixel count
    s.setHeight(8370.5f);
    EXPECT_EQ(s.width(), 13275.0f);
    EXPECT_EQ(s.height(), 8370.5f);
    EXPECT_EQ(s.toPixelsX(13275), 876);
    EXPECT_EQ(s.toPixelsY(8370.5f), 482);
    EXPECT_EQ(s.toPixelsWidth(s.toLogicalWidth(300)), 300);

    // A moved origin: the client area's top-left corner is at (100, -50).
    s.setLeft(100);
    s.setTop(-50);
    EXPECT_EQ(s.toPixelsX(100), 0);
    EXPECT_EQ(s.toPixelsY(-50), 0);
    EXPECT_EQ(s.toLogicalY(0), -50.0f);
    EXPECT_EQ(s.width(), 13275.0f); // the origin does not change the extent
}

TEST(ClientScale, LaterResizesKeepTheUnitAndChangeTheExtent) {
    ClientScale s(15);
    s.setClientSize({800, 400});
    s.setWidth(1600); // 2 units per pixel
    s.setHeight(4000);
    s.setClientSize({1000, 200});
    EXPECT_EQ(s.width(), 2000.0f);
    EXPECT_EQ(s.height(), 2000.0f);
    EXPECT_EQ(s.toPixelsX(1600), 800); // a control keeps its pixels and its logical place
}

TEST(ClientScale, AnEmptyClientAreaCannotRedefineTheUnit) {
    ClientScale s(15);
    s.setClientSize({0, 0});
    s.setWidth(19200);
    s.setHeight(12000);
    EXPECT_EQ(s.width(), 0.0f);
    EXPECT_EQ(s.unitsPerPixelX(), 15.0);
    s.setClientSize({100, 100});
    EXPECT_EQ(s.width(), 1500.0f);

    // A zero extent makes every pixel the same logical place; converting back must not trap.
    s.setWidth(0);
    EXPECT_EQ(s.width(), 0.0f);
    s.toPixelsX(10);
    s.toPixelsWidth(std::numeric_limits<float>::max());
    EXPECT_EQ(s.toPixelsWidth(std::nanf("")), 0);
}

// Measures in logical units. The panel picture's height is stored the way pixels would store
// it, in whole steps of `quantum`, so that the read-back matters.
struct FakeSurface : LayoutSurface {
    float W = 13140, H = 7230, T = 0;
    float quantum = 0;
    float panelW = 2805, panelH = 7260;
    float listH = 6720;
    float movieL = 2880, movieT = 0, movieW = 10335, movieH = 7260;
    QStringList writes;

    float scaleWidth() const override { return W; }
    float scaleHeight() const override { return H; }
    float scaleTop() const override { return T; }
    float panelWidth() const override { return panelW; }
    float panelHeight() const override { return panelH; }
    void setPanelHeight(float h) override {
        writes << QStringLiteral("panelH");
        panelH = quantum > 0 ? std::round(h / quantum) * quantum : h;
    }
    void setListHeight(float h) override {
        writes << QStringLiteral("listH");
        listH = h;
    }
    void setMovieTop(float t) override {
        writes << QStringLiteral("movieT");
        movieT = t;
    }
    void setMovieLeft(float l) override {
        writes << QStringLiteral("movieL");
        movieL = l;
    }
    void setMovieWidth(float w) override {
        writes << QStringLiteral("movieW");
        movieW = w;
    }
    void setMovieHeight(float h) override {
        writes << QStringLiteral("movieH");
        movieH = h;
    }
};

TEST(Layout, AtTheCreationSize) {
    FakeSurface s;
    layOutOnResize(s);
    EXPECT_EQ(s.writes, QStringList({"movieT", "movieL", "movieW", "movieH", "panelH", "listH"}));
    EXPECT_EQ(s.movieL, 2805.0f);
    EXPECT_EQ(s.movieT, 0.0f);
    EXPECT_EQ(s.movieW, 10335.0f);
    EXPECT_EQ(s.movieH, 7230.0f);
    EXPECT_EQ(s.panelH, 7230.0f);
    EXPECT_EQ(s.listH, 6780.0f);
}

TEST(Layout, GuardsAreStrict) {
    FakeSurface s;
    s.W = 2815; // exactly 10 to spare
    s.H = 460;  // the list would be exactly 10 high
    layOutOnResize(s);
    EXPECT_EQ(s.movieW, 10335.0f);
    EXPECT_EQ(s.listH, 6720.0f);
    EXPECT_EQ(s.movieL, 2805.0f); // the left edge follows the panel regardless
    EXPECT_EQ(s.movieH, 460.0f);

    s.W = 2815.5f;
    s.H = 460.5f;
    layOutOnResize(s);
    EXPECT_EQ(s.movieW, 10.5f);
    EXPECT_EQ(s.listH, 10.5f);

    // A minimized window: nothing derived by subtraction changes.
    s.W = s.H = 0;
    layOutOnResize(s);
    EXPECT_EQ(s.movieW, 10.5f);
    EXPECT_EQ(s.movieH, 0.0f);
    EXPECT_EQ(s.panelH, 0.0f);
    EXPECT_EQ(s.listH, 10.5f);
}

TEST(Layout, UsesTheScalesTopAndThePanelHeightReadBack) {
    FakeSurface s;
    s.T = -120;
    s.quantum = 15;
    s.H = 7237; // the panel gets 7230
    layOutOnResize(s);
    EXPECT_EQ(s.movieT, -120.0f);
    EXPECT_EQ(s.movieH, 7237.0f);
    EXPECT_EQ(s.listH, 6780.0f);

    s.H = 466; // the panel gets 465
    layOutOnResize(s);
    EXPECT_EQ(s.listH, 15.0f);
    s.H = 458; // 460: not above 460
    layOutOnResize(s);
    EXPECT_EQ(s.listH, 15.0f);
}

TEST(Layout, WorksInSinglePrecision) {
    // 0.1 has no exact binary value: in double the width would be 10335.099999999999, in
    // single precision it is the float nearest to 13140.1 minus 2805.
    FakeSurface s;
    s.W = 13140.1f;
    layOutOnResize(s);
    EXPECT_EQ(s.movieW, 13140.1f - 2805.0f);
    EXPECT_NE(double(s.movieW), 13140.1 - 2805.0);
}

TEST(WindowStyle, HidingClearsExactlyTheTitleBarBits) {
    const FrameDesign all;
    const WindowStyle shown = WindowStyle::overlapped();
    const WindowStyle hidden = shown.withTitleBar(false, all, QString());
    EXPECT_EQ(hidden.bits, WS_THICKFRAME | WS_CLIPCHILDREN | WS_CLIPSIBLINGS);
    EXPECT_EQ(WindowStyle{0xFFFFFFFF}.withTitleBar(false, all, QString()).bits, 0xFF34FFFFu);

    // Showing adds the bits the design asks for and clears none.
    const WindowStyle back = hidden.withTitleBar(true, all, QStringLiteral("Reelwick1.1"));
    EXPECT_EQ(back, shown);
    EXPECT_EQ(WindowStyle{0x1}.withTitleBar(true, all, QStringLiteral("x")).bits,
              0x1 | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX);
    EXPECT_EQ(WindowStyle{WS_CAPTION}.withTitleBar(true, {false, false, false}, QString()).bits,
              WS_CAPTION);

    // An empty caption brings the boxes but not the title bar.
    const WindowStyle noCaption = hidden.withTitleBar(true, all, QString());
    EXPECT_FALSE(noCaption.has(WS_CAPTION));
    EXPECT_TRUE(noCaption.has(WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX));
    EXPECT_EQ(WindowStyle{0}.withTitleBar(true, {true, false, true}, QStringLiteral("x")).bits,
              WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX);
}

TEST(WindowStyle, QtFlags) {
    const Qt::WindowFlags framed = WindowStyle::overlapped().toQtFlags();
    EXPECT_TRUE(framed.testFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                                 Qt::WindowCloseButtonHint | Qt::WindowMinimizeButtonHint |
                                 Qt::WindowMaximizeButtonHint));
    EXPECT_FALSE(framed.testFlag(Qt::FramelessWindowHint));

    // No title bar, and no boxes without it; the sizing border stays.
    const Qt::WindowFlags bare =
        WindowStyle::overlapped().withTitleBar(false, {}, QString()).toQtFlags();
    EXPECT_EQ(bare, Qt::Window | Qt::CustomizeWindowHint);
    EXPECT_EQ(WindowStyle{WS_SYSMENU | WS_MAXIMIZEBOX}.toQtFlags(),
              Qt::Window | Qt::CustomizeWindowHint | Qt::FramelessWindowHint);
}

// A window whose client area is 876 x 482 pixels when normal and 1280 x 778 when maximized
// (the screen less the menu bar). Controls are kept in logical units here; what matters is the
// order of the steps and that a change of frame or state runs the layout before returning.
struct FakeWindow : FakeSurface, FullScreenWindow {
    bool checked = false;
    QString caption = QStringLiteral("Reelwick1.1");
    WindowStyle styleBits = WindowStyle::overlapped();
    ClientScale scale{15};
    QSize normal{876, 482};
    bool maximized = false;
    int titleBar = 20; // pixels gained by the client area without the title bar
    QStringList log;

    FakeWindow() { resizeClient(normal); }
    void resizeClient(QSize px) {
        if (px == scale.clientSize())
            return;
        scale.setClientSize(px);
        W = scale.width();
        H = scale.height();
        T = scale.top();
        log << QStringLiteral("layout %1x%2").arg(W).arg(H);
        layOutOnResize(static_cast<FullScreenWindow&>(*this));
    }

    float scaleWidth() const override { return scale.width(); }
    float scaleHeight() const override { return scale.height(); }
    float scaleTop() const override { return scale.top(); }
    float panelWidth() const override { return panelW; }
    float panelHeight() const override { return panelH; }
    void setPanelHeight(float h) override { FakeSurface::setPanelHeight(h); }
    void setListHeight(float h) override { FakeSurface::setListHeight(h); }
    void setMovieTop(float v) override { FakeSurface::setMovieTop(v); }
    void setMovieLeft(float v) override { FakeSurface::setMovieLeft(v); }
    void setMovieWidth(float v) override { FakeSurface::setMovieWidth(v); }
    void setMovieHeight(float v) override { FakeSurface::setMovieHeight(v); }

    bool fullScreenChecked() const override { return checked; }
    void setFullScreenChecked(bool c) override {
        log << QStringLiteral("check %1").arg(c);
        checked = c;
    }
    QString title() const override { return caption; }
    void setTitle(const QString& t) override {
        log << QStringLiteral("title '%1'").arg(t);
        caption = t;
    }
    FrameDesign frameDesign() const override { return {}; }
    WindowStyle windowStyle() const override { return styleBits; }
    void setWindowStyle(WindowStyle s) override {
        log << QStringLiteral("style %1").arg(s.bits, 8, 16, QLatin1Char('0'));
        styleBits = s;
    }
    QRect outerRect() const override { return {100, 100, 884, 529}; }
    void frameChanged(const QRect& outer) override {
        log << QStringLiteral("frame %1x%2").arg(outer.width()).arg(outer.height());
        const int bar = styleBits.has(WS_CAPTION) ? 0 : titleBar;
        resizeClient(maximized ? QSize(1280, 778 + bar) : normal + QSize(0, bar));
    }
    void maximize() override {
        log << QStringLiteral("maximize");
        maximized = true;
        resizeClient({1280, 778});
    }
    void restoreNormal() override {
        log << QStringLiteral("normal");
        maximized = false;
        resizeClient(normal);
    }
    ClientScale& clientScale() override { return scale; }
    QSizeF screenSizeTwips() const override { return {19200, 12000}; }
    StartupGeometry startupGeometry() const override { return {0, 0, 13260, 7935}; }
};

TEST(FullScreenMode, SwitchingOnAndOffStepByStep) {
    FakeWindow w;
    FullScreenMode mode;
    w.log.clear();
    mode.toggle(w);
    EXPECT_EQ(w.log, QStringList({"check 1", "title ''", "style 06040000", "frame 884x529",
                                  "layout 13140x7530", "maximize", "layout 28054.8x18597.6"}));
    EXPECT_TRUE(w.checked);
    EXPECT_EQ(mode.tagText(), QStringLiteral("Reelwick1.1"));
    // The layout put the movie beside the panel; the command then laid it over everything.
    EXPECT_EQ(w.writes.mid(w.writes.size() - 4),
              QStringList({"movieT", "movieL", "movieW", "movieH"}));
    EXPECT_EQ(w.movieL, 0.0f);
    EXPECT_EQ(w.movieT, 0.0f);
    EXPECT_EQ(w.movieW, w.scale.width());
    EXPECT_EQ(w.movieH, w.scale.height());
    // The screen's size in twips was given to the client area as it was before maximizing.
    EXPECT_EQ(w.scale.toPixelsWidth(19200), 876);
    EXPECT_EQ(w.scale.toPixelsHeight(12000), 502);

    w.log.clear();
    mode.toggle(w);
    EXPECT_EQ(w.log, QStringList({"check 0", "title 'Reelwick1.1'", "style 06cf0000",
                                  "frame 884x529", "normal", "layout 19200x11521.9"}));
    EXPECT_FALSE(w.checked);
    EXPECT_EQ(w.styleBits, WindowStyle::overlapped());
    // The start-up outer size now spans the client area, and the movie reaches its edges.
    EXPECT_EQ(w.scale.width(), 13260.0f);
    EXPECT_EQ(w.scale.height(), 7935.0f);
    EXPECT_EQ(w.movieL, 2805.0f);
    EXPECT_EQ(w.movieW, 13260.0f - 2805.0f);
    EXPECT_EQ(w.movieH, 7935.0f);
    EXPECT_EQ(w.panelH, 7935.0f);
    EXPECT_EQ(w.listH, 7935.0f - 450);
    EXPECT_EQ(mode.tagText(), QStringLiteral("Reelwick1.1")); // not cleared
}

TEST(FullScreenMode, TheCaptionSetLastComesBackWithTheTitleBar) {
    FakeWindow w;
    FullScreenMode mode;
    mode.captionSet(QStringLiteral("/m/a.swf - Reelwick1.1")); // before: the tag holds it
    w.caption = QStringLiteral("/m/a.swf - Reelwick1.1");
    mode.toggle(w);
    EXPECT_EQ(w.caption, QString());
    w.caption = QStringLiteral("/m/b.swf - Reelwick1.1");
    mode.captionSet(w.caption);
    w.caption = QStringLiteral("/m/c.swf - Reelwick1.1");
    mode.captionSet(w.caption);
    mode.toggle(w);
    EXPECT_EQ(w.caption, QStringLiteral("/m/c.swf - Reelwick1.1"));
    EXPECT_EQ(mode.tagText(), QStringLiteral("/m/a.swf - Reelwick1.1"));

    // The next time round nothing is set while on: the tag text, taken anew, comes back.
    mode.toggle(w);
    EXPECT_EQ(mode.tagText(), QStringLiteral("/m/c.swf - Reelwick1.1"));
    mode.toggle(w);
    EXPECT_EQ(w.caption, QStringLiteral("/m/c.swf - Reelwick1.1"));
    EXPECT_TRUE(w.styleBits.has(WS_CAPTION));
}

TEST(FullScreenMode, AnEmptyCaptionLeavesTheTitleBarOff) {
    FakeWindow w;
    FullScreenMode mode;
    w.caption.clear();
    mode.toggle(w);
    mode.toggle(w);
    EXPECT_FALSE(w.styleBits.has(WS_CAPTION));
    EXPECT_TRUE(w.styleBits.has(WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX));
}
