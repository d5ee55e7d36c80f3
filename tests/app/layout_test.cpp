#include "app/clientscale.h"
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
