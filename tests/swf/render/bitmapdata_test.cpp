// BitmapData's pixel operations on small bitmaps, against values worked out by hand from the
// documented behaviour of each call.

#include "swf/bitmapdata.h"
#include "swf/render/bitmapdrawer.h"

#include <gtest/gtest.h>
#include <set>

using swf::BitmapBudget;
using swf::BitmapData;

namespace {

std::shared_ptr<BitmapData> make(int w, int h, bool transparent = true,
                                 std::uint32_t fill = 0xFFFFFFFF) {
    auto b = BitmapData::create(w, h, transparent, fill, std::make_shared<BitmapBudget>());
    EXPECT_TRUE(b);
    return b;
}

// One row of pixels, left to right.
std::vector<std::uint32_t> row(const BitmapData& b, int y) {
    return b.getVector(QRect(0, y, b.width(), 1));
}

TEST(BitmapDataTest, SizeLimitsFollowTheMovieVersionAndTheBudgetIsShared) {
    auto budget = std::make_shared<BitmapBudget>();
    EXPECT_FALSE(BitmapData::create(0, 10, true, 0, budget));
    EXPECT_FALSE(BitmapData::create(10, -1, true, 0, budget));
    EXPECT_TRUE(BitmapData::create(8191, 2048, true, 0, budget)); // 16,775,168 pixels
    EXPECT_FALSE(BitmapData::create(8192, 1, true, 0, budget));
    EXPECT_FALSE(BitmapData::create(4096, 4096, true, 0, budget)); // one pixel too many
    EXPECT_TRUE(BitmapData::create(2880, 2880, true, 0, budget, 9));
    EXPECT_FALSE(BitmapData::create(2881, 1, true, 0, budget, 9));
    EXPECT_EQ(budget->used(), 0u) << "freed bitmaps give their bytes back";

    auto small = std::make_shared<BitmapBudget>(1000);
    auto a = BitmapData::create(10, 10, true, 0, small); // 400 bytes
    auto b = BitmapData::create(10, 10, true, 0, small);
    ASSERT_TRUE(a && b);
    EXPECT_FALSE(BitmapData::create(10, 10, true, 0, small));
    EXPECT_FALSE(a->clone()) << "a clone counts too";
    a->dispose();
    EXPECT_TRUE(a->disposed());
    EXPECT_EQ(a->getPixel32(0, 0), 0u);
    EXPECT_TRUE(BitmapData::create(10, 10, true, 0, small));
}

TEST(BitmapDataTest, PixelsReadBackUnpremultipliedAndOpaqueBitmapsIgnoreAlpha) {
    auto t = make(4, 4, true, 0);
    t->setPixel32(0, 0, 0x80FF0000);
    EXPECT_EQ(t->getPixel32(0, 0), 0x80FF0000u);
    EXPECT_EQ(t->getPixel(0, 0), 0xFF0000u);
    // setPixel keeps the alpha: 0x40 stays, the colour becomes green.
    t->setPixel32(1, 0, 0x40102030);
    t->setPixel(1, 0, 0x00FF00);
    EXPECT_EQ(t->getPixel32(1, 0), 0x4000FF00u);
    // A fully transparent pixel keeps no colour.
    t->setPixel32(2, 0, 0x00ABCDEF);
    EXPECT_EQ(t->getPixel32(2, 0), 0u);
    // Outside the bitmap: writes ignored, reads 0.
    t->setPixel32(4, 0, 0xFFFFFFFF);
    t->setPixel32(-1, 0, 0xFFFFFFFF);
    EXPECT_EQ(t->getPixel32(4, 0), 0u);
    EXPECT_EQ(t->getPixel32(0, -1), 0u);

    auto o = make(2, 2, false, 0x00123456);
    EXPECT_EQ(o->getPixel32(0, 0), 0xFF123456u) << "an opaque bitmap's fill has no alpha";
    o->setPixel32(1, 1, 0x00ABCDEF);
    EXPECT_EQ(o->getPixel32(1, 1), 0xFFABCDEFu);
}

TEST(BitmapDataTest, PixelBytesAreARGBRowByRowAndStopWhereTheInputEnds) {
    auto b = make(3, 2, true, 0);
    b->setPixel32(1, 0, 0xFF112233);
    b->setPixel32(2, 1, 0xFF445566);
    const auto bytes = b->getPixels(QRect(1, 0, 2, 2));
    const std::vector<std::uint8_t> want = {0xFF, 0x11, 0x22, 0x33, 0,    0,    0,    0,
                                            0,    0,    0,    0,    0xFF, 0x44, 0x55, 0x66};
    EXPECT_EQ(bytes, want);
    // A rectangle reaching outside reads only its inside part.
    EXPECT_EQ(b->getPixels(QRect(2, 1, 5, 5)).size(), 4u);

    auto c = make(2, 2, true, 0);
    const std::vector<std::uint8_t> five = {0xFF, 1, 2, 3, 0xFF, 4, 5, 6, 0xFF}; // 2 pixels + 1
    EXPECT_EQ(c->setPixels(c->rect(), five), 2u);
    EXPECT_EQ(row(*c, 0), (std::vector<std::uint32_t>{0xFF010203, 0xFF040506}));
    EXPECT_EQ(row(*c, 1), (std::vector<std::uint32_t>{0, 0}));
}

TEST(BitmapDataTest, FillRectAndCopyPixelsClipToBothBitmaps) {
    auto b = make(4, 2, true, 0);
    b->fillRect(QRect(-2, 1, 4, 9), 0xFF00FF00);
    EXPECT_EQ(row(*b, 0), (std::vector<std::uint32_t>{0, 0, 0, 0}));
    EXPECT_EQ(row(*b, 1), (std::vector<std::uint32_t>{0xFF00FF00, 0xFF00FF00, 0, 0}));

    // The source's top-left pixel lies outside its bitmap: what lands is shifted accordingly.
    auto src = make(2, 1, true, 0);
    src->setPixel32(0, 0, 0xFF0000FF);
    src->setPixel32(1, 0, 0xFFFF0000);
    auto dst = make(4, 1, true, 0);
    dst->copyPixels(*src, QRect(-1, 0, 3, 1), QPoint(0, 0));
    EXPECT_EQ(row(*dst, 0), (std::vector<std::uint32_t>{0, 0xFF0000FF, 0xFFFF0000, 0}));
    dst->copyPixels(*src, QRect(0, 0, 2, 1), QPoint(3, 0));
    EXPECT_EQ(dst->getPixel32(3, 0), 0xFF0000FFu);

    // Onto itself, overlapping: reads the pixels as they were before the copy.
    auto self = make(4, 1, true, 0);
    for (int x = 0; x < 4; ++x)
        self->setPixel32(x, 0, 0xFF000000u | std::uint32_t(x + 1));
    self->copyPixels(*self, QRect(0, 0, 3, 1), QPoint(1, 0));
    EXPECT_EQ(row(*self, 0),
              (std::vector<std::uint32_t>{0xFF000001, 0xFF000001, 0xFF000002, 0xFF000003}));
}

TEST(BitmapDataTest, CopyPixelsReplacesOrMergesAlphaAndTakesAnAlphaBitmap) {
    auto red = make(1, 1, true, 0x80FF0000);
    auto blue = make(1, 1, true, 0xFF0000FF);
    blue->copyPixels(*red, red->rect(), QPoint());
    EXPECT_EQ(blue->getPixel32(0, 0), 0x80FF0000u) << "without mergeAlpha the source replaces";

    // Half-transparent red over opaque blue: premultiplied red 128 + blue 255 * 127 / 255.
    auto blue2 = make(1, 1, true, 0xFF0000FF);
    blue2->copyPixels(*red, red->rect(), QPoint(), nullptr, QPoint(), true);
    EXPECT_EQ(blue2->getPixel32(0, 0), 0xFF80007Fu);

    // The alpha bitmap's pixel at alphaPoint + (pixel - srcRect's corner) scales the alpha.
    auto opaque = make(2, 1, false, 0x00FF00);
    auto mask = make(3, 1, true, 0);
    mask->setPixel32(1, 0, 0x80000000);
    mask->setPixel32(2, 0, 0xFF000000);
    auto out = make(2, 1, true, 0);
    out->copyPixels(*opaque, opaque->rect(), QPoint(), mask.get(), QPoint(1, 0), false);
    EXPECT_EQ(out->getPixel32(0, 0), 0x8000FF00u);
    EXPECT_EQ(out->getPixel32(1, 0), 0xFF00FF00u);
}

TEST(BitmapDataTest, ScrollMovesThePictureAndLeavesWhatItUncovers) {
    auto b = make(3, 2, true, 0);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x)
            b->setPixel32(x, y, 0xFF000000u | std::uint32_t(y * 3 + x + 1));
    b->scroll(1, -1);
    // Row 1 moved up and right into row 0; row 0's first pixel and row 1 were uncovered.
    EXPECT_EQ(row(*b, 0), (std::vector<std::uint32_t>{0xFF000001, 0xFF000004, 0xFF000005}));
    EXPECT_EQ(row(*b, 1), (std::vector<std::uint32_t>{0xFF000004, 0xFF000005, 0xFF000006}));
    b->scroll(5, 0); // entirely off: nothing changes
    EXPECT_EQ(b->getPixel32(1, 0), 0xFF000004u);
}

TEST(BitmapDataTest, ThresholdCountsPassingPixelsAndCopiesTheRestOnRequest) {
    auto src = make(4, 1, true, 0);
    const std::uint32_t values[] = {0xFF000010, 0xFF000020, 0xFF000030, 0xFF000040};
    for (int x = 0; x < 4; ++x)
        src->setPixel32(x, 0, values[x]);
    auto dst = make(4, 1, true, 0xFFFFFFFF);
    // Blue below 0x30 under a mask of the blue channel: the first two pass.
    EXPECT_EQ(dst->threshold(*src, src->rect(), QPoint(), QStringLiteral("<"), 0x30, 0xFFFF0000,
                             0xFF, false),
              2u);
    EXPECT_EQ(row(*dst, 0),
              (std::vector<std::uint32_t>{0xFFFF0000, 0xFFFF0000, 0xFFFFFFFF, 0xFFFFFFFF}));
    EXPECT_EQ(dst->threshold(*src, src->rect(), QPoint(), QStringLiteral(">="), 0x30, 0xFF00FF00,
                             0xFF, true),
              2u);
    EXPECT_EQ(row(*dst, 0),
              (std::vector<std::uint32_t>{0xFF000010, 0xFF000020, 0xFF00FF00, 0xFF00FF00}));
    EXPECT_EQ(dst->threshold(*src, src->rect(), QPoint(), QStringLiteral("=="), 0xFF000040,
                             0xFF123456, 0xFFFFFFFF, false),
              1u);
    EXPECT_EQ(dst->getPixel32(3, 0), 0xFF123456u);
    EXPECT_EQ(dst->threshold(*src, src->rect(), QPoint(), QStringLiteral("~"), 0, 0, 0, false), 0u);
}

TEST(BitmapDataTest, FloodFillStaysInsideItsRegion) {
    // A 5x5 white bitmap with a black ring around the centre pixel.
    auto b = make(5, 5, false, 0xFFFFFF);
    for (int i = 1; i <= 3; ++i) {
        b->setPixel(i, 1, 0);
        b->setPixel(i, 3, 0);
        b->setPixel(1, i, 0);
        b->setPixel(3, i, 0);
    }
    b->floodFill(2, 2, 0xFF0000);
    EXPECT_EQ(b->getPixel(2, 2), 0xFF0000u);
    EXPECT_EQ(b->getPixel(0, 0), 0xFFFFFFu);
    b->floodFill(0, 0, 0x00FF00); // the outer white region only, around the ring
    EXPECT_EQ(b->getPixel(4, 4), 0x00FF00u);
    EXPECT_EQ(b->getPixel(4, 0), 0x00FF00u);
    EXPECT_EQ(b->getPixel(1, 1), 0u);
    EXPECT_EQ(b->getPixel(2, 2), 0xFF0000u);

    // A large fill must not recurse per pixel.
    auto big = make(2000, 2000, false, 0);
    big->floodFill(1000, 1000, 0x123456);
    EXPECT_EQ(big->getPixel(0, 1999), 0x123456u);
}

TEST(BitmapDataTest, NoiseIsDeterministicWithinItsRangeAndChannels) {
    auto a = make(16, 16, true, 0);
    auto b = make(16, 16, true, 0);
    a->noise(42, 10, 20, swf::Red | swf::Blue);
    b->noise(42, 10, 20, swf::Red | swf::Blue);
    EXPECT_EQ(a->getVector(a->rect()), b->getVector(b->rect()));
    std::set<std::uint32_t> reds;
    for (std::uint32_t p : a->getVector(a->rect())) {
        EXPECT_EQ(p >> 24, 255u) << "alpha not asked for: opaque";
        EXPECT_EQ((p >> 8) & 0xFF, 0u) << "green not asked for: 0";
        EXPECT_GE((p >> 16) & 0xFF, 10u);
        EXPECT_LE((p >> 16) & 0xFF, 20u);
        EXPECT_GE(p & 0xFF, 10u);
        EXPECT_LE(p & 0xFF, 20u);
        reds.insert((p >> 16) & 0xFF);
    }
    EXPECT_EQ(reds.size(), 11u) << "every value of the range turns up in 256 pixels";
    b->noise(43, 10, 20, swf::Red | swf::Blue);
    EXPECT_NE(a->getVector(a->rect()), b->getVector(b->rect()));

    a->noise(7, 0, 255, swf::Red | swf::Green | swf::Blue | swf::Alpha, true);
    bool translucent = false;
    for (std::uint32_t p : a->getVector(a->rect())) {
        EXPECT_EQ((p >> 16) & 0xFF, p & 0xFF) << "grey: red equals blue";
        translucent |= (p >> 24) < 255;
    }
    EXPECT_TRUE(translucent);
}

TEST(BitmapDataTest, PerlinNoiseIsDeterministicSmoothAndStitchesItsEdges) {
    auto a = make(64, 64, false, 0);
    auto b = make(64, 64, false, 0);
    a->perlinNoise(16, 16, 3, 5, true, true, swf::Red, false);
    b->perlinNoise(16, 16, 3, 5, true, true, swf::Red, false);
    EXPECT_EQ(a->getVector(a->rect()), b->getVector(b->rect()));
    // Neighbours differ little (the noise is smooth); the right edge leads into the left one
    // about as smoothly when stitched.
    int inner = 0, seam = 0;
    long sum = 0;
    std::set<int> levels;
    for (int y = 0; y < 64; ++y) {
        for (int x = 0; x < 64; ++x) {
            const int v = int(a->getPixel(x, y) >> 16);
            sum += v;
            levels.insert(v);
            EXPECT_EQ(a->getPixel(x, y) & 0xFFFF, 0u);
            if (x > 0)
                inner = std::max(inner, std::abs(v - int(a->getPixel(x - 1, y) >> 16)));
        }
        seam =
            std::max(seam, std::abs(int(a->getPixel(0, y) >> 16) - int(a->getPixel(63, y) >> 16)));
    }
    EXPECT_LT(inner, 40);
    EXPECT_LE(seam, inner + 5);
    EXPECT_GT(levels.size(), 40u) << "not a flat picture";
    EXPECT_NEAR(double(sum) / (64 * 64), 128, 30) << "fractal noise centres on mid-grey";

    b->perlinNoise(16, 16, 3, 6, true, true, swf::Red, false);
    EXPECT_NE(a->getVector(a->rect()), b->getVector(b->rect()));
    // Turbulence sums magnitudes: darker than fractal noise on average.
    b->perlinNoise(16, 16, 3, 5, true, false, swf::Red, false);
    long tsum = 0;
    for (std::uint32_t p : b->getVector(b->rect()))
        tsum += (p >> 16) & 0xFF;
    EXPECT_LT(tsum, sum);
    // Offsets are pixels, one per octave: the same offset for each moves the whole pattern.
    const QPointF offsets[] = {{16, 0}, {16, 0}, {16, 0}};
    auto c = make(64, 64, false, 0);
    c->perlinNoise(16, 16, 3, 5, false, true, swf::Red, false, offsets);
    auto d = make(64, 64, false, 0);
    d->perlinNoise(16, 16, 3, 5, false, true, swf::Red, false);
    EXPECT_EQ(c->getPixel(0, 10), d->getPixel(16, 10));
}

TEST(BitmapDataTest, PaletteMapCopyChannelAndMergeWorkPerChannel) {
    auto src = make(1, 1, true, 0xFF204060);
    auto dst = make(1, 1, true, 0);
    std::vector<std::uint32_t> invertRed(256);
    for (std::uint32_t v = 0; v < 256; ++v)
        invertRed[v] = (255 - v) << 16;
    dst->paletteMap(*src, src->rect(), QPoint(), {&invertRed, nullptr, nullptr, nullptr});
    EXPECT_EQ(dst->getPixel32(0, 0), 0xFFDF4060u) << "the other channels pass through";

    auto ch = make(1, 1, true, 0xFF000000);
    ch->copyChannel(*src, src->rect(), QPoint(), swf::Green, swf::Red);
    EXPECT_EQ(ch->getPixel32(0, 0), 0xFF400000u);
    ch->copyChannel(*src, src->rect(), QPoint(), swf::Red, swf::Alpha);
    EXPECT_EQ(ch->getPixel32(0, 0) >> 24, 0x20u);
    auto opaque = make(1, 1, false, 0);
    opaque->copyChannel(*src, src->rect(), QPoint(), swf::Red, swf::Alpha);
    EXPECT_EQ(opaque->getPixel32(0, 0), 0xFF000000u) << "an opaque bitmap has no alpha to set";

    // (src * m + dest * (256 - m)) / 256: 0x20 * 128 + 0xA0 * 128 over 256 = 0x60.
    auto m = make(1, 1, true, 0xFFA0A0A0);
    m->merge(*src, src->rect(), QPoint(), 128, 0, 256, 256);
    EXPECT_EQ(m->getPixel32(0, 0), 0xFF60A060u);
}

TEST(BitmapDataTest, ColorTransformActsOnUnpremultipliedChannels) {
    auto b = make(2, 1, true, 0x80804020);
    swf::ColorTransform ct;
    ct.redMult = 128;   // halves red
    ct.greenAdd = 16;   // adds to green
    ct.alphaMult = 512; // doubles alpha: 0x80 * 2 clamps to 255
    b->colorTransform(QRect(1, 0, 5, 5), ct);
    EXPECT_EQ(b->getPixel32(0, 0), 0x80804020u);
    EXPECT_EQ(b->getPixel32(1, 0), 0xFF405020u);
}

TEST(BitmapDataTest, HitTestsUseTheAlphaThresholdAndTheBitmapsPositions) {
    auto a = make(4, 4, true, 0);
    a->setPixel32(2, 2, 0x80FFFFFF);
    EXPECT_TRUE(a->hitTestPoint(QPoint(10, 10), 0x80, QPoint(12, 12)));
    EXPECT_FALSE(a->hitTestPoint(QPoint(10, 10), 0x81, QPoint(12, 12)));
    EXPECT_FALSE(a->hitTestPoint(QPoint(10, 10), 0, QPoint(14, 12))) << "outside the bitmap";
    EXPECT_TRUE(a->hitTestRect(QPoint(10, 10), 1, QRect(12, 12, 1, 1)));
    EXPECT_FALSE(a->hitTestRect(QPoint(10, 10), 1, QRect(13, 10, 5, 5)));

    auto b = make(2, 2, true, 0);
    b->setPixel32(1, 1, 0xFF000000);
    // b's pixel (1,1) at 11 + 1 = 12 meets a's (2,2) at 10 + 2 = 12.
    EXPECT_TRUE(a->hitTestBitmap(QPoint(10, 10), 1, *b, QPoint(11, 11), 1));
    EXPECT_FALSE(a->hitTestBitmap(QPoint(10, 10), 1, *b, QPoint(10, 11), 1));
    EXPECT_FALSE(a->hitTestBitmap(QPoint(10, 10), 0x90, *b, QPoint(11, 11), 1));
}

TEST(BitmapDataTest, DrawScalesBlendsClipsAndColourTransforms) {
    swf::render::RendererBitmapDrawer drawer;
    auto src = make(2, 1, true, 0);
    src->setPixel32(0, 0, 0xFFFF0000);
    src->setPixel32(1, 0, 0xFF0000FF);
    auto dst = make(4, 2, true, 0);
    dst->draw(drawer, *src, QTransform::fromScale(2, 2), {}, swf::BlendMode::Normal, QRectF(),
              false);
    EXPECT_EQ(row(*dst, 1),
              (std::vector<std::uint32_t>{0xFFFF0000, 0xFFFF0000, 0xFF0000FF, 0xFF0000FF}));

    // Multiply: white under red gives red, black under it stays black.
    auto mul = make(2, 1, false, 0xFFFFFF);
    mul->setPixel(1, 0, 0);
    auto redPixel = make(1, 1, true, 0xFFFF0000);
    mul->draw(drawer, *redPixel, QTransform::fromScale(2, 1), {}, swf::BlendMode::Multiply,
              QRectF(), false);
    EXPECT_EQ(mul->getPixel(0, 0), 0xFF0000u);
    EXPECT_EQ(mul->getPixel(1, 0), 0u);

    // A clip rectangle keeps the drawing to its inside; a colour transform halves the alpha.
    auto clipped = make(4, 1, true, 0);
    swf::ColorTransform half;
    half.alphaMult = 128;
    clipped->draw(drawer, *redPixel, QTransform::fromScale(4, 1), half, swf::BlendMode::Normal,
                  QRectF(1, 0, 2, 1), false);
    EXPECT_EQ(clipped->getPixel32(0, 0), 0u);
    EXPECT_EQ(clipped->getPixel32(3, 0), 0u);
    EXPECT_NEAR(int(clipped->getPixel32(1, 0) >> 24), 128, 1);
    EXPECT_EQ(clipped->getPixel32(1, 0) & 0xFFFFFF, 0xFF0000u);

    // Into itself: the picture as it was, drawn shifted by one pixel.
    auto self = make(2, 1, true, 0);
    self->setPixel32(0, 0, 0xFF00FF00);
    self->draw(drawer, *self, QTransform::fromTranslate(1, 0), {}, swf::BlendMode::Normal, QRectF(),
               false);
    EXPECT_EQ(self->getPixel32(1, 0), 0xFF00FF00u);
}

TEST(BitmapDataTest, ApplyFilterSpreadsBeyondTheSourceRectangle) {
    swf::render::RendererBitmapDrawer drawer;
    auto src = make(30, 30, true, 0);
    src->setPixel32(4, 4, 0xFFFFFFFF);
    swf::Filter blur;
    blur.type = swf::FilterType::Blur;
    blur.blurX = blur.blurY = 3;
    blur.passes = 1;
    const QRect area = BitmapData::filterRect(drawer, QRect(4, 4, 1, 1), blur);
    EXPECT_TRUE(area.contains(QRect(3, 3, 3, 3)));
    EXPECT_LT(area.width(), 20);
    auto dst = make(30, 30, true, 0xFF000000);
    dst->applyFilter(drawer, *src, QRect(4, 4, 1, 1), QPoint(4, 4), blur);
    // A 3x3 box mean of one white pixel: a ninth of it over each neighbour, premultiplied.
    EXPECT_NEAR(int(dst->getPixel32(3, 4) >> 24), 255 / 9, 2);
    EXPECT_NEAR(int(dst->getPixel32(4, 4) >> 24), 255 / 9, 2);
    EXPECT_EQ(dst->getPixel32(3, 4) & 0xFFFFFF, 0xFFFFFFu);
    EXPECT_EQ(dst->getPixel32(29, 29), 0xFF000000u) << "beyond the filter's reach nothing changes";
}

TEST(BitmapDataTest, CloneIsIndependentAndLibraryImagesConvert) {
    auto a = make(2, 2, true, 0xFF102030);
    auto c = a->clone();
    ASSERT_TRUE(c);
    c->setPixel32(0, 0, 0);
    EXPECT_EQ(a->getPixel32(0, 0), 0xFF102030u);
    EXPECT_TRUE(c->transparent());

    QImage rgb(3, 1, QImage::Format_RGB32);
    rgb.fill(0xFF336699);
    auto lib = BitmapData::fromImage(rgb, std::make_shared<BitmapBudget>());
    ASSERT_TRUE(lib);
    EXPECT_FALSE(lib->transparent());
    EXPECT_EQ(lib->getPixel32(2, 0), 0xFF336699u);
}

} // namespace
