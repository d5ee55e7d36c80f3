// The bitmap filters on small hand-made layers, with exact or near-exact pixel expectations.

#include "swf/render/filters.h"

#include <QImage>
#include <cmath>
#include <gtest/gtest.h>
#include <random>
#include <vector>

using swf::Filter;
using swf::FilterType;
using swf::render::applyFilters;

namespace {

// A transparent w x h layer with an opaque square of `color` at (x, y), `side` pixels.
QImage layerWithSquare(int w, int h, int x, int y, int side, QRgb color = 0xFF804020) {
    QImage img(w, h, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    for (int j = y; j < y + side; ++j) {
        for (int i = x; i < x + side; ++i)
            img.setPixel(i, j, color);
    }
    return img;
}

Filter shadow(double distance, double angle, double blur, swf::Rgba color = {0, 0, 0, 255}) {
    Filter f;
    f.type = FilterType::DropShadow;
    f.colors = {color};
    f.blurX = f.blurY = blur;
    f.distance = distance;
    f.angle = angle;
    f.strength = 1;
    f.passes = 1;
    f.compositeSource = true;
    return f;
}

} // namespace

TEST(Filters, BlurBoxesScaleWithTheStageAndPassesRepeat) {
    QImage line(21, 3, QImage::Format_ARGB32_Premultiplied);
    line.fill(Qt::transparent);
    for (int y = 0; y < 3; ++y)
        line.setPixel(10, y, 0xFFFFFFFF);
    Filter f;
    f.type = FilterType::Blur;
    f.blurX = 2.5; // 5 device pixels at scale 2
    f.blurY = 0;
    f.passes = 1;
    QImage once = line;
    applyFilters(once, {f}, 2, 2);
    for (int x = 8; x <= 12; ++x)
        EXPECT_EQ(qAlpha(once.pixel(x, 1)), 51) << x;
    EXPECT_EQ(qAlpha(once.pixel(7, 1)), 0);
    EXPECT_EQ(qAlpha(once.pixel(13, 1)), 0);
    EXPECT_EQ(once.pixel(10, 0), once.pixel(10, 1)) << "no vertical blur";

    f.passes = 2; // box twice: a triangle 1 2 3 4 5 4 3 2 1 over 25
    QImage twice = line;
    applyFilters(twice, {f}, 2, 2);
    EXPECT_NEAR(qAlpha(twice.pixel(10, 1)), 51, 1);
    EXPECT_NEAR(qAlpha(twice.pixel(9, 1)), 41, 1);
    EXPECT_NEAR(qAlpha(twice.pixel(6, 1)), 10, 1);
    EXPECT_EQ(qAlpha(twice.pixel(5, 1)), 0);
}

TEST(Filters, DropShadowsKnockoutAndHiddenObjects) {
    const QImage square = layerWithSquare(40, 40, 10, 10, 10);
    QImage plain = square;
    applyFilters(plain, {shadow(4, 0, 0)}, 1, 1);
    EXPECT_EQ(plain.pixel(12, 15), 0xFF804020u) << "the object over its shadow";
    EXPECT_EQ(plain.pixel(22, 15), 0xFF000000u) << "the shadow, 4 px right";
    EXPECT_EQ(qAlpha(plain.pixel(25, 15)), 0);
    EXPECT_EQ(qAlpha(plain.pixel(8, 15)), 0);

    QImage down = square;
    applyFilters(down, {shadow(4, M_PI / 2, 0)}, 2, 2); // distances scale too
    EXPECT_EQ(down.pixel(15, 26), 0xFF000000u);
    EXPECT_EQ(qAlpha(down.pixel(15, 29)), 0);

    Filter knockout = shadow(4, 0, 0);
    knockout.knockout = true;
    QImage k = square;
    applyFilters(k, {knockout}, 1, 1);
    EXPECT_EQ(qAlpha(k.pixel(16, 15)), 0) << "the object's area cut out";
    EXPECT_EQ(k.pixel(22, 15), 0xFF000000u);

    Filter hidden = shadow(4, 0, 0);
    hidden.compositeSource = false;
    QImage h = square;
    applyFilters(h, {hidden}, 1, 1);
    EXPECT_EQ(h.pixel(16, 15), 0xFF000000u) << "the shadow alone, also under the object";
    EXPECT_EQ(qAlpha(h.pixel(12, 15)), 0);

    Filter inner = shadow(2, 0, 0, {255, 0, 0, 255});
    inner.inner = true;
    QImage in = square;
    applyFilters(in, {inner}, 1, 1);
    EXPECT_EQ(in.pixel(10, 15), 0xFFFF0000u) << "inside, where the outline moved away";
    EXPECT_EQ(in.pixel(15, 15), 0xFF804020u) << "the object where the moved outline covers it";
    EXPECT_EQ(qAlpha(in.pixel(21, 15)), 0) << "nothing outside";
}

TEST(Filters, GlowsBevelsAndGradientGlows) {
    const QImage square = layerWithSquare(40, 40, 10, 10, 20);
    Filter glow;
    glow.type = FilterType::Glow;
    glow.colors = {{0, 0, 255, 255}};
    glow.blurX = glow.blurY = 6;
    glow.strength = 2;
    glow.passes = 1;
    glow.compositeSource = true;
    QImage outer = square;
    applyFilters(outer, {glow}, 1, 1);
    EXPECT_GT(qBlue(outer.pixel(8, 20)), 100) << "blue just outside";
    EXPECT_EQ(qRed(outer.pixel(8, 20)), 0);
    EXPECT_EQ(qAlpha(outer.pixel(3, 20)), 0) << "not beyond the blur";
    EXPECT_EQ(outer.pixel(20, 20), 0xFF804020u);

    glow.inner = true;
    QImage inside = square;
    applyFilters(inside, {glow}, 1, 1);
    EXPECT_GT(qBlue(inside.pixel(10, 20)), 0x20 + 60) << "blue at the inner edge";
    EXPECT_EQ(inside.pixel(20, 20), 0xFF804020u) << "the middle untouched";
    EXPECT_EQ(qAlpha(inside.pixel(8, 20)), 0);

    Filter bevel;
    bevel.type = FilterType::Bevel;
    bevel.colors = {{0, 0, 0, 255}, {255, 255, 255, 255}}; // shadow, highlight
    bevel.blurX = bevel.blurY = 3;
    bevel.angle = M_PI / 4;
    bevel.distance = 2;
    bevel.strength = 1;
    bevel.passes = 1;
    bevel.inner = true;
    bevel.compositeSource = true;
    QImage b = square;
    applyFilters(b, {bevel}, 1, 1);
    const QRgb lit = b.pixel(11, 11), dark = b.pixel(28, 28);
    EXPECT_GT(qGreen(lit), 0x40 + 40) << "top left lit";
    EXPECT_LT(qRed(dark), 0x80 - 40) << "bottom right shaded";
    EXPECT_EQ(b.pixel(20, 20), 0xFF804020u);
    EXPECT_EQ(qAlpha(b.pixel(5, 5)), 0) << "an inner bevel stays on the object";

    Filter gradient;
    gradient.type = FilterType::GradientGlow;
    gradient.colors = {{0, 255, 0, 0}, {0, 255, 0, 255}};
    gradient.ratios = {0, 255};
    gradient.blurX = gradient.blurY = 6;
    gradient.strength = 1;
    gradient.passes = 1;
    gradient.compositeSource = true;
    QImage g = square;
    applyFilters(g, {gradient}, 1, 1);
    EXPECT_GT(qGreen(g.pixel(9, 20)), 60);
    EXPECT_EQ(qRed(g.pixel(9, 20)), 0);
    EXPECT_EQ(qAlpha(g.pixel(2, 20)), 0);
}

TEST(Filters, ColourMatricesAndConvolutions) {
    QImage img(3, 3, QImage::Format_ARGB32_Premultiplied);
    img.fill(qRgba(200, 100, 50, 255));
    img.setPixel(0, 1, qRgba(10, 20, 30, 255));

    Filter swap;
    swap.type = FilterType::ColorMatrix;
    swap.matrix = {0, 0, 1, 0, 0, 0, 1, 0, 0, 10, 1, 0, 0, 0, 0, 0, 0, 0, 0.5f, 0};
    QImage m = img;
    applyFilters(m, {swap}, 1, 1);
    const QRgb p = qUnpremultiply(m.pixel(1, 1));
    // Half alpha: premultiplied storage rounds the colour by a unit or so.
    EXPECT_NEAR(qRed(p), 50, 2);
    EXPECT_NEAR(qGreen(p), 110, 2);
    EXPECT_NEAR(qBlue(p), 200, 2);
    EXPECT_NEAR(qAlpha(p), 127, 1);

    // A kernel taking the left neighbour moves the picture right; past the edge it takes the
    // default colour, or the edge pixel when clamping.
    Filter left;
    left.type = FilterType::Convolution;
    left.matrixX = left.matrixY = 3;
    left.matrix = {0, 0, 0, 2, 0, 0, 0, 0, 0};
    left.divisor = 2;
    left.defaultColor = {0, 0, 255, 255};
    QImage c = img;
    applyFilters(c, {left}, 1, 1);
    EXPECT_EQ(c.pixel(1, 1), qRgba(10, 20, 30, 255));
    EXPECT_EQ(c.pixel(0, 0), qRgba(0, 0, 255, 255));
    left.clamp = true;
    QImage clamped = img;
    applyFilters(clamped, {left}, 1, 1);
    EXPECT_EQ(clamped.pixel(0, 1), qRgba(10, 20, 30, 255));

    Filter huge = left;
    huge.matrixX = huge.matrixY = swf::render::kMaxKernelSide + 1;
    huge.matrix.assign(std::size_t(huge.matrixX) * huge.matrixY, 1);
    QImage untouched = img;
    applyFilters(untouched, {huge}, 1, 1);
    EXPECT_EQ(untouched, img);

    // Reach: the blur times its passes over two plus the distance, scaled; bounded.
    Filter s = shadow(10, 0, 8);
    s.passes = 3;
    EXPECT_NEAR(swf::render::filterReach({s}, 2, 2), 8 * 2 * 3 / 2.0 + 2 + 20, 1e-9);
    s.blurX = 1e9;
    EXPECT_EQ(swf::render::filterReach({s}, 2, 2), 2048);
}

namespace {

// Straightforward box blur to check the fast one against: every output pixel sums its whole box
// (zero beyond the edges), rows then columns, each pass rounding (sum + box / 2) / box.
std::vector<int> referenceBlur(std::vector<int> v, int w, int h, int bx, int by, int passes) {
    auto pass = [&](int box, bool across) {
        std::vector<int> out(v.size());
        const int before = (box - 1) / 2, after = box - 1 - before;
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) {
                int sum = 0;
                for (int k = -before; k <= after; ++k) {
                    const int sx = across ? x + k : x, sy = across ? y : y + k;
                    if (sx >= 0 && sx < w && sy >= 0 && sy < h)
                        sum += v[std::size_t(sy) * w + sx];
                }
                out[std::size_t(y) * w + x] = (sum + box / 2) / box;
            }
        }
        v = out;
    };
    for (int p = 0; p < passes; ++p) {
        if (bx > 1)
            pass(bx, true);
        if (by > 1)
            pass(by, false);
    }
    return v;
}

// Random premultiplied pixels within `drawn`, transparent elsewhere.
QImage randomLayer(int w, int h, QRect drawn, unsigned seed) {
    std::mt19937 rng(seed);
    QImage img(w, h, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    for (int y = drawn.top(); y <= drawn.bottom(); ++y) {
        for (int x = drawn.left(); x <= drawn.right(); ++x) {
            const int a = int(rng() % 4 == 0 ? 255 : rng() % 256);
            img.setPixel(
                x, y, qRgba(int(rng() % (a + 1)), int(rng() % (a + 1)), int(rng() % (a + 1)), a));
        }
    }
    return img;
}

std::vector<int> channel(const QImage& img, int shift) {
    std::vector<int> v;
    for (int y = 0; y < img.height(); ++y) {
        for (int x = 0; x < img.width(); ++x)
            v.push_back(int(img.pixel(x, y) >> shift) & 0xFF);
    }
    return v;
}

struct BlurCase {
    double blurX, blurY;
    int passes;
};

// Odd and even boxes, one axis only, several passes, and a box wider than the layer.
const BlurCase kBlurCases[] = {{3, 3, 1}, {4, 6, 2}, {2, 0, 3}, {0, 5, 1}, {60, 2, 2}, {7, 9, 3}};

} // namespace

TEST(Filters, FastBlursMatchAStraightforwardBlur) {
    const int w = 37, h = 29;
    // Drawn pixels in the middle (only their surroundings are worked on) and up to the edges.
    for (const QRect drawn : {QRect(9, 8, 12, 9), QRect(0, 0, w, h), QRect(30, 0, 7, 5)}) {
        const QImage layer = randomLayer(w, h, drawn, unsigned(drawn.x() * 31 + drawn.width()));
        for (const BlurCase& c : kBlurCases) {
            Filter f;
            f.type = FilterType::Blur;
            f.blurX = c.blurX;
            f.blurY = c.blurY;
            f.passes = std::uint8_t(c.passes);
            QImage fast = layer;
            applyFilters(fast, {f}, 1, 1);
            const int bx = std::max(1, std::min(int(std::lround(c.blurX)), w));
            const int by = std::max(1, std::min(int(std::lround(c.blurY)), h));
            for (int shift : {0, 8, 16, 24}) {
                const auto want = referenceBlur(channel(layer, shift), w, h, bx, by, c.passes);
                const auto got = channel(fast, shift);
                for (std::size_t i = 0; i < want.size(); ++i) {
                    ASSERT_NEAR(got[i], want[i], 1)
                        << "blur " << c.blurX << "x" << c.blurY << " passes " << c.passes
                        << " channel " << shift << " pixel " << i % w << "," << i / w;
                }
            }
        }
    }
}

// Glows and shadows blur only the alpha, and only around what is drawn. With a white colour at
// strength 1 and the object hidden, what is left is the blurred alpha itself: moved by the
// distance, for inner ones the blurred inverse alpha on the object.
TEST(Filters, GlowsAndShadowsMatchAStraightforwardAlphaBlur) {
    const int w = 40, h = 31;
    for (const QRect drawn : {QRect(12, 9, 10, 8), QRect(0, 3, 14, 28)}) {
        const QImage layer = randomLayer(w, h, drawn, unsigned(drawn.y() + 7));
        const auto alpha = channel(layer, 24);
        for (const BlurCase& c : kBlurCases) {
            for (const bool inner : {false, true}) {
                for (const double distance : {0.0, 3.0}) {
                    Filter f = shadow(distance, M_PI, 0, {255, 255, 255, 255});
                    f.type = distance > 0 ? FilterType::DropShadow : FilterType::Glow;
                    f.blurX = c.blurX;
                    f.blurY = c.blurY;
                    f.passes = std::uint8_t(c.passes);
                    f.inner = inner;
                    f.compositeSource = false;
                    QImage fast = layer;
                    applyFilters(fast, {f}, 1, 1);
                    const int bx = std::max(1, std::min(int(std::lround(c.blurX)), w));
                    const int by = std::max(1, std::min(int(std::lround(c.blurY)), h));
                    auto source = alpha;
                    if (inner) {
                        for (int& a : source)
                            a = 255 - a;
                    }
                    const auto blurred = referenceBlur(source, w, h, bx, by, c.passes);
                    const auto got = channel(fast, 24);
                    const int dx = -int(distance); // angle pi: to the left
                    for (int y = 0; y < h; ++y) {
                        for (int x = 0; x < w; ++x) {
                            const std::size_t i = std::size_t(y) * w + x;
                            const int sx = x - dx;
                            int want = sx >= 0 && sx < w ? blurred[std::size_t(y) * w + sx] : 0;
                            if (inner)
                                want = want * alpha[i] / 255;
                            ASSERT_NEAR(got[i], want, 1)
                                << "blur " << c.blurX << "x" << c.blurY << " passes " << c.passes
                                << (inner ? " inner" : " outer") << " distance " << distance
                                << " pixel " << x << "," << y;
                        }
                    }
                }
            }
        }
    }
}
