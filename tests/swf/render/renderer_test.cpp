// What the renderer asks of the canvas for hand-built movies: fills, lines, transforms, colour
// transforms, clip layers, sprites, morphs, texts and buttons, checked exactly on the recording
// canvas, plus a few pixels through the QPainter backend.

#include "guiapp.h"
#include "swf/player.h"
#include "swf/render/filtercache.h"
#include "swf/render/paintercanvas.h"
#include "swf/render/recordingcanvas.h"
#include "swf/render/renderer.h"
#include "swf_writer.h"

#include <QLinearGradient>
#include <QRadialGradient>
#include <QRandomGenerator>
#include <cstring>
#include <functional>
#include <gtest/gtest.h>
#include <zlib.h>

using swf::render::RecordingCanvas;
using swftest::Bytes;
using swftest::concat;
using swftest::Records;
using swftest::showFrame;
using swftest::Writer;
using Op = RecordingCanvas::Op;
constexpr std::int32_t K = Records::kKeep;

namespace {

std::shared_ptr<const swf::Movie> load(const Bytes& tags, std::uint16_t frames = 1) {
    auto m = swf::Movie::load(swftest::movie(concat({tags, swftest::end()}), frames));
    EXPECT_TRUE(m.ok());
    return m.ok() ? *m : nullptr;
}

// DefineShape3 (or 4): `styles` writes the fill and line arrays; the records draw the rectangle
// (x, y, w, h) with fill1 = fill and the given line.
Bytes shape(std::uint16_t id, const std::function<void(Writer&)>& styles, std::uint32_t fill,
            std::uint32_t line, QRect r = QRect(0, 0, 200, 100), std::uint16_t code = 32) {
    Writer s;
    s.u16(id).rect(r.left(), r.left() + r.width(), r.top(), r.top() + r.height());
    if (code == 83)
        s.rect(r.left(), r.left() + r.width(), r.top(), r.top() + r.height()).u8(0);
    styles(s);
    Records rec(s, 4, 4);
    rec.style(K, std::int32_t(fill), std::int32_t(line), true, r.left(), r.top());
    rec.hline(r.width()).vline(r.height()).hline(-r.width()).vline(-r.height());
    rec.end();
    return swftest::tag(code, s);
}

Bytes solidShape(std::uint16_t id, std::uint8_t r, std::uint8_t g, std::uint8_t b,
                 std::uint8_t a = 255, QRect rect = QRect(0, 0, 200, 100)) {
    return shape(
        id, [&](Writer& w) { w.u8(1).u8(0x00).rgba(r, g, b, a).u8(0); }, 1, 0, rect);
}

// A PlaceObject2, built up field by field.
struct Place {
    Place(std::uint16_t d, std::uint16_t i) : depth(d), id(i) {}
    Place& scale(double x, double y) {
        sx = x;
        sy = y;
        return *this;
    }
    Place& at(std::int32_t x, std::int32_t y = 0) {
        tx = x;
        ty = y;
        return *this;
    }
    Place& cx(std::vector<std::int32_t> m, std::vector<std::int32_t> a) {
        mult = std::move(m);
        add = std::move(a);
        return *this;
    }
    Place& morph(int r) {
        ratio = r;
        return *this;
    }
    Place& clip(std::uint16_t d) {
        clipDepth = d;
        return *this;
    }

    std::uint16_t depth, id;
    double sx = 1, sy = 1;
    std::int32_t tx = 0, ty = 0;
    std::vector<std::int32_t> mult, add; // colour transform, with alpha
    int ratio = -1;
    std::uint16_t clipDepth = 0;
};

Bytes place(const Place& p) {
    Writer w;
    const bool cx = !p.mult.empty() || !p.add.empty();
    w.u8(std::uint8_t(0x02 | 0x04 | (cx ? 0x08 : 0) | (p.ratio >= 0 ? 0x10 : 0) |
                      (p.clipDepth ? 0x40 : 0)))
        .u16(p.depth)
        .u16(p.id)
        .matrix(p.sx, p.sy, 0, 0, p.tx, p.ty);
    if (cx) {
        w.align();
        w.flag(!p.add.empty()).flag(!p.mult.empty()).ub(12, 4);
        for (auto v : p.mult)
            w.sb(v, 12);
        for (auto v : p.add)
            w.sb(v, 12);
        w.align();
    }
    if (p.ratio >= 0)
        w.u16(std::uint16_t(p.ratio));
    if (p.clipDepth)
        w.u16(p.clipDepth);
    return swftest::tag(26, w);
}

Bytes zlib(const Bytes& raw) {
    Bytes z(compressBound(raw.size()));
    uLongf n = z.size();
    compress(z.data(), &n, raw.data(), raw.size());
    z.resize(n);
    return z;
}

// A 2 x 1 DefineBitsLossless2: opaque red, then half-transparent blue (premultiplied).
Bytes bitmapTag(std::uint16_t id) {
    Writer t;
    t.u16(id).u8(5).u16(2).u16(1).bytes(zlib(Bytes{255, 255, 0, 0, 128, 0, 0, 128}));
    return swftest::tag(36, t, true);
}

RecordingCanvas render(const swf::Player& player, const QTransform& view = {}) {
    RecordingCanvas canvas;
    swf::render::Renderer renderer;
    renderer.render(player, canvas, view);
    return canvas;
}

QColor colorOf(const RecordingCanvas::Call& c) {
    return c.brush.color();
}

QImage paint(const swf::Player& player, QSize size, int scaleMode = 0) {
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::black);
    QPainter painter(&image);
    swf::render::PainterCanvas canvas(painter);
    swf::render::Renderer renderer;
    renderer.render(player, canvas,
                    swf::render::stageTransform(player.movie().header().frameSize,
                                                QRectF(QPointF(0, 0), size), scaleMode));
    return image;
}

} // namespace

TEST(Renderer, BackgroundSolidFillsMatricesAndColourTransforms) {
    const QTransform view = QTransform::fromScale(0.05, 0.05);
    auto movie =
        load(concat({swftest::tag(9, Writer().rgb(10, 20, 30)), solidShape(1, 200, 100, 50, 255),
                     place(Place(1, 1).scale(2, 3).at(40, 60)),
                     place(Place(2, 1).cx({128, 256, 512, 128}, {10, -20, 0, 0})), showFrame()}));
    swf::Player player(movie);
    const auto fills = render(player, view).calls(Op::Fill);
    ASSERT_EQ(fills.size(), 3u);
    // The stage in the background colour first.
    EXPECT_EQ(colorOf(fills[0]), QColor(10, 20, 30));
    EXPECT_EQ(fills[0].path.boundingRect(), QRectF(0, 0, 11000, 8000));
    EXPECT_EQ(fills[0].matrix, view);
    // The shape under its placement matrix, then the view.
    EXPECT_EQ(colorOf(fills[1]), QColor(200, 100, 50));
    EXPECT_EQ(fills[1].matrix, QTransform(2, 0, 0, 3, 40, 60) * view);
    EXPECT_EQ(fills[1].path.boundingRect(), QRectF(0, 0, 200, 100));
    // c * mult / 256 + add, clamped; alpha halves.
    EXPECT_EQ(colorOf(fills[2]), QColor(110, 80, 100, 127));
}

TEST(Renderer, GradientsKeepSpreadFocusStopsAndTheirMatrix) {
    auto styles = [](Writer& w) {
        w.u8(4);
        // Linear, reflect, three stops with a repeated ratio for a hard edge.
        w.u8(0x10).matrix(0.5, 0.25, 0, 0, 100, 50).u8(0x43);
        w.u8(0).rgba(255, 0, 0, 255).u8(128).rgba(0, 255, 0, 255).u8(128).rgba(0, 0, 255, 255);
        // Radial, repeat.
        w.u8(0x12).matrix().u8(0x82).u8(0).rgba(0, 0, 0, 255).u8(255).rgba(255, 255, 255, 255);
        // Focal at -0.5, pad.
        w.u8(0x13).matrix().u8(0x02).u8(0).rgba(0, 0, 0, 255).u8(255).rgba(255, 255, 255, 255);
        w.u8(0x80).u8(0xFF);
        // Linear in linear RGB, pad.
        w.u8(0x10).matrix().u8(0x12).u8(0).rgba(0, 0, 0, 255).u8(255).rgba(255, 255, 255, 255);
        w.u8(0);
    };
    Bytes tags;
    for (std::uint16_t i = 1; i <= 4; ++i)
        tags = concat({tags, shape(i, styles, i, 0), place(Place(i, i))});
    auto movie = load(
        concat({tags, place(Place(9, 1).cx({256, 256, 256, 256}, {0, 0, 255, 0})), showFrame()}));
    swf::Player player(movie);
    const auto fills = render(player).calls(Op::Fill);
    ASSERT_EQ(fills.size(), 6u);

    const auto* linear = static_cast<const QLinearGradient*>(fills[1].brush.gradient());
    ASSERT_TRUE(linear);
    EXPECT_EQ(linear->type(), QGradient::LinearGradient);
    EXPECT_EQ(linear->start(), QPointF(-16384, 0));
    EXPECT_EQ(linear->finalStop(), QPointF(16384, 0));
    EXPECT_EQ(linear->spread(), QGradient::ReflectSpread);
    ASSERT_EQ(linear->stops().size(), 3);
    EXPECT_NEAR(linear->stops()[1].first, 128 / 255.0, 1e-9);
    EXPECT_GT(linear->stops()[2].first, linear->stops()[1].first); // hard edge, still ordered
    EXPECT_LT(linear->stops()[2].first - linear->stops()[1].first, 1e-4);
    EXPECT_EQ(fills[1].brush.transform(), QTransform(0.5, 0, 0, 0.25, 100, 50));

    const auto* radial = static_cast<const QRadialGradient*>(fills[2].brush.gradient());
    ASSERT_TRUE(radial);
    EXPECT_EQ(radial->type(), QGradient::RadialGradient);
    EXPECT_EQ(radial->spread(), QGradient::RepeatSpread);
    EXPECT_EQ(radial->radius(), 16384);
    EXPECT_EQ(radial->focalPoint(), QPointF(0, 0));

    const auto* focal = static_cast<const QRadialGradient*>(fills[3].brush.gradient());
    ASSERT_TRUE(focal);
    EXPECT_EQ(focal->spread(), QGradient::PadSpread);
    EXPECT_EQ(focal->focalPoint(), QPointF(-0.5 * 16384, 0));

    // Linear RGB: more stops, and the middle is lighter than an sRGB blend's 50% grey.
    const auto* lin = fills[4].brush.gradient();
    ASSERT_TRUE(lin);
    ASSERT_GT(lin->stops().size(), 2);
    for (const auto& [pos, color] : lin->stops()) {
        if (std::abs(pos - 0.5) < 1e-6) {
            EXPECT_GT(color.red(), 180);
        }
    }

    // The colour transform reaches every stop.
    const auto* tinted = fills[5].brush.gradient();
    ASSERT_TRUE(tinted);
    EXPECT_EQ(tinted->stops()[0].second, QColor(255, 0, 255));
    EXPECT_EQ(tinted->stops()[1].second, QColor(0, 255, 255));
}

TEST(Renderer, BitmapFillsRepeatOrClipSmoothedOrNotAndTakeColourTransforms) {
    auto styles = [](Writer& w) {
        w.u8(2);
        w.u8(0x40).u16(7).matrix(20, 20, 0, 0, 10, 10); // repeating, smoothed
        w.u8(0x43).u16(7).matrix(40, 40);               // clipped, hard edges
        w.u8(0);
    };
    auto movie =
        load(concat({bitmapTag(7), shape(1, styles, 1, 0), shape(2, styles, 2, 0),
                     place(Place(1, 1)), place(Place(2, 2).at(500)),
                     place(Place(3, 1).cx({0, 256, 256, 256}, {0, 0, 0, 0})), showFrame()}));
    swf::Player player(movie);
    const auto canvas = render(player);
    const auto& calls = canvas.calls();
    // Background, the repeating fill, the clipped one as clip, edge pixels and image, then the
    // tinted repeat.
    ASSERT_EQ(calls.size(), 10u);
    EXPECT_EQ(calls[1].op, Op::Fill);
    EXPECT_EQ(calls[1].brush.style(), Qt::TexturePattern);
    EXPECT_TRUE(calls[1].smooth);
    EXPECT_EQ(calls[1].brush.transform(), QTransform(20, 0, 0, 20, 10, 10));
    EXPECT_EQ(calls[1].brush.textureImage().pixel(0, 0), 0xFFFF0000u);

    EXPECT_EQ(calls[2].op, Op::Save);
    EXPECT_EQ(calls[3].op, Op::Clip);
    EXPECT_EQ(calls[3].path.boundingRect(), QRectF(0, 0, 200, 100));
    EXPECT_EQ(calls[3].matrix, QTransform::fromTranslate(500, 0));
    // The shape reaches 5 x 2.5 bitmap pixels: the corner, the right column and the bottom row
    // carry on to its edge (a translucent bitmap's strips stop at the bitmap).
    for (int i = 4; i < 7; ++i) {
        EXPECT_EQ(calls[i].op, Op::Fill);
        EXPECT_EQ(calls[i].matrix, QTransform(40, 0, 0, 40, 500, 0));
    }
    EXPECT_EQ(calls[4].path.boundingRect(), QRectF(2, 1, 3, 1.5));
    EXPECT_EQ(calls[4].brush.color(), QColor(0, 0, 255, 128));
    EXPECT_EQ(calls[5].path.boundingRect(), QRectF(2, 0, 3, 1));
    EXPECT_EQ(calls[6].path.boundingRect(), QRectF(0, 1, 2, 1.5));
    EXPECT_EQ(calls[7].op, Op::Image);
    EXPECT_FALSE(calls[7].smooth);
    EXPECT_EQ(calls[7].matrix, QTransform(40, 0, 0, 40, 500, 0));
    EXPECT_EQ(calls[8].op, Op::Restore);

    // Through the painter (one pixel per 20 twips), beyond the bitmap its edge pixels go on.
    auto big = [](Writer& w) { w.u8(1).u8(0x43).u16(7).matrix(100, 100).u8(0); }; // 5 px
    auto stretched = load(concat({bitmapTag(7), shape(1, big, 1, 0, QRect(0, 0, 2000, 1000)),
                                  place(Place(1, 1)), showFrame()}));
    swf::Player stretchedPlayer(stretched);
    const QImage img = paint(stretchedPlayer, QSize(550, 400), 3);
    const QRgb blueOnWhite = img.pixel(7, 2);
    EXPECT_EQ(img.pixel(2, 2), 0xFFFF0000u) << "the bitmap itself";
    EXPECT_NEAR(qRed(blueOnWhite), 127, 1);
    EXPECT_EQ(qBlue(blueOnWhite), 255);
    EXPECT_EQ(img.pixel(2, 40), 0xFFFF0000u) << "the left column, downwards";
    EXPECT_EQ(img.pixel(7, 40), blueOnWhite) << "the right column, downwards";
    EXPECT_EQ(img.pixel(80, 2), blueOnWhite) << "the top row, sideways";
    EXPECT_EQ(img.pixel(80, 40), blueOnWhite) << "the corner";
    EXPECT_EQ(img.pixel(110, 10), 0xFFFFFFFFu) << "outside the shape";

    // Red multiplied by 0: the red pixel turns black, the blue one keeps its alpha.
    const QImage tinted = calls[9].brush.textureImage();
    EXPECT_EQ(tinted.pixel(0, 0), 0xFF000000u);
    EXPECT_EQ(qAlpha(tinted.pixel(1, 0)), 128);
    EXPECT_EQ(qBlue(tinted.pixel(1, 0)), 128); // premultiplied
}

TEST(Renderer, LinesScaleWithTheirObjectUnlessAskedNotTo) {
    auto styles = [](std::uint16_t width, std::uint8_t flags1, std::uint8_t flags2) {
        return [=](Writer& w) {
            w.u8(0).u8(1).u16(width).u8(flags1).u8(flags2);
            if ((flags1 & 0x30) == 0x20) // miter join: the limit factor
                w.u16(5 << 8);
            if (flags1 & 0x08) { // filled line: a linear gradient
                w.u8(0x10).matrix().u8(2).u8(0).rgba(255, 0, 0, 255).u8(255).rgba(0, 0, 255, 255);
            } else {
                w.rgba(1, 2, 3, 255);
            }
        };
    };
    // Round caps/joins; square caps with a miter join; no caps with bevel joins and no
    // horizontal or vertical scaling; a hairline; a gradient-filled line.
    auto movie = load(concat({
        shape(1, styles(40, 0x00, 0x00), 0, 1, QRect(0, 0, 200, 100), 83),
        shape(2, styles(40, 0x80 | 0x20, 0x02), 0, 1, QRect(0, 0, 200, 100), 83),
        shape(3, styles(40, 0x40 | 0x10 | 0x06, 0x01), 0, 1, QRect(0, 0, 200, 100), 83),
        shape(4, styles(0, 0x00, 0x00), 0, 1, QRect(0, 0, 200, 100), 83),
        shape(5, styles(20, 0x08, 0x00), 0, 1, QRect(0, 0, 200, 100), 83),
        place(Place(1, 1).scale(4, 2)),
        place(Place(2, 2)),
        place(Place(3, 3).scale(4, 4)),
        place(Place(4, 4).scale(8, 8)),
        place(Place(5, 5).scale(2, 2)),
        showFrame(),
    }));
    swf::Player player(movie);
    const QTransform view = QTransform::fromScale(0.05, 0.05);
    const auto strokes = render(player, view).calls(Op::Stroke);
    ASSERT_EQ(strokes.size(), 5u);
    // 40 twips under a 4 x 2 scale: the mean scale 3, then 20 twips a pixel.
    EXPECT_DOUBLE_EQ(strokes[0].pen.widthF(), 40 * 3 * 0.05);
    EXPECT_EQ(strokes[0].pen.capStyle(), Qt::RoundCap);
    EXPECT_EQ(strokes[0].pen.joinStyle(), Qt::RoundJoin);
    EXPECT_EQ(strokes[0].pen.color(), QColor(1, 2, 3));
    // The stroke comes in device pixels.
    EXPECT_EQ(strokes[0].path.boundingRect(), QRectF(0, 0, 40, 10));

    EXPECT_EQ(strokes[1].pen.capStyle(), Qt::SquareCap);
    EXPECT_EQ(strokes[1].pen.joinStyle(), Qt::SvgMiterJoin);
    EXPECT_DOUBLE_EQ(strokes[1].pen.miterLimit(), 5);
    EXPECT_DOUBLE_EQ(strokes[1].pen.widthF(), 2);

    // Not scaled by its 4x object scale, only by the view.
    EXPECT_EQ(strokes[2].pen.capStyle(), Qt::FlatCap);
    EXPECT_EQ(strokes[2].pen.joinStyle(), Qt::BevelJoin);
    EXPECT_DOUBLE_EQ(strokes[2].pen.widthF(), 2);

    EXPECT_DOUBLE_EQ(strokes[3].pen.widthF(), 1); // hairline at any scale

    ASSERT_TRUE(strokes[4].pen.brush().gradient());
    EXPECT_EQ(strokes[4].pen.brush().gradient()->type(), QGradient::LinearGradient);
    // The gradient follows the object into device space.
    EXPECT_EQ(strokes[4].pen.brush().transform(), QTransform::fromScale(2, 2) * view);
}

TEST(Renderer, ClipLayersMaskTheirDepthRangeOnly) {
    auto movie = load(concat({
        solidShape(1, 0, 0, 0, 255, QRect(0, 0, 100, 100)),
        solidShape(2, 255, 0, 0),
        place(Place(1, 1).at(20).clip(3)),
        place(Place(2, 2)),
        place(Place(3, 2)),
        place(Place(4, 2).at(0, 2000)),
        place(Place(5, 1).at(4000).clip(6)),
        place(Place(6, 2).at(3900)),
        showFrame(),
    }));
    swf::Player player(movie);
    const auto canvas = render(player);
    std::vector<Op> ops;
    for (const auto& c : canvas.calls())
        ops.push_back(c.op);
    const std::vector<Op> expected{Op::Fill, Op::Save, Op::Clip, Op::Fill, Op::Fill,   Op::Restore,
                                   Op::Fill, Op::Save, Op::Clip, Op::Fill, Op::Restore};
    EXPECT_EQ(ops, expected);
    // The mask is the clip shape's outline in device space; the mask itself is not drawn.
    EXPECT_EQ(canvas.calls()[2].path.boundingRect(), QRectF(20, 0, 100, 100));

    // Through the painter: inside the mask red, outside it the background.
    const QImage img = paint(player, QSize(550, 400), 3);
    EXPECT_EQ(img.pixel(3, 2), 0xFFFF0000u) << "inside the first mask";
    EXPECT_EQ(img.pixel(8, 2), 0xFFFFFFFFu) << "depth 2 and 3 are masked";
    EXPECT_EQ(img.pixel(8, 102), 0xFFFF0000u) << "depth 4 is not masked";
    EXPECT_EQ(img.pixel(197, 2), 0xFFFFFFFFu) << "outside the second mask";
    EXPECT_EQ(img.pixel(202, 2), 0xFFFF0000u) << "inside the second mask";
}

TEST(Renderer, NestedSpritesComposeMatricesAndColourTransforms) {
    const Bytes inner =
        swftest::sprite(10, 1,
                        concat({place(Place(1, 1).at(100).cx({256, 256, 256, 128}, {})),
                                showFrame(), swftest::end()}));
    const Bytes outer =
        swftest::sprite(11, 1,
                        concat({place(Place(1, 10).scale(2, 2).cx({}, {0, 0, 0, -64})), showFrame(),
                                swftest::end()}));
    auto movie = load(concat({solidShape(1, 0, 255, 0), inner, outer,
                              place(Place(1, 11).at(1000).cx({}, {50, 0, 0, 0})), showFrame()}));
    swf::Player player(movie);
    const auto fills = render(player).calls(Op::Fill);
    ASSERT_EQ(fills.size(), 2u);
    EXPECT_EQ(fills[1].matrix, QTransform(2, 0, 0, 2, 1200, 0));
    // Innermost first: alpha 255 * 0.5 = 127, then -64, then red + 50.
    EXPECT_EQ(colorOf(fills[1]), QColor(50, 255, 0, 63));
}

TEST(Renderer, MorphShapesAtTheirRatio) {
    Writer w;
    w.u16(5).rect(0, 100, 0, 100).rect(0, 200, 0, 200);
    Writer styles;
    styles.u8(1).u8(0x00).rgba(0, 0, 0, 255).rgba(200, 100, 0, 55);
    styles.u8(1).u16(20).u16(60).rgba(0, 0, 0, 255).rgba(0, 0, 0, 255);
    Writer start;
    {
        Records r(start, 1, 1);
        r.style(K, 1, 1, true, 0, 0).hline(100).vline(100).hline(-100).vline(-100);
        r.end();
    }
    Writer endEdges;
    {
        Records r(endEdges, 0, 0);
        r.moveTo(0, 0).hline(200).vline(200).hline(-200).vline(-200);
        r.end();
    }
    w.u32(std::uint32_t(styles.size() + start.size()));
    w.bytes(styles.data()).bytes(start.data()).bytes(endEdges.data());
    auto movie = load(concat({swftest::tag(46, w), place(Place(1, 5).morph(0)), showFrame(),
                              place(Place(1, 5).morph(32768)), showFrame()}),
                      2);
    swf::Player player(movie);
    auto fills = render(player).calls(Op::Fill);
    ASSERT_EQ(fills.size(), 2u);
    EXPECT_EQ(fills[1].path.boundingRect(), QRectF(0, 0, 100, 100));
    EXPECT_EQ(colorOf(fills[1]), QColor(0, 0, 0));

    auto moved = load(concat({swftest::tag(46, w), place(Place(1, 5).morph(32768)), showFrame()}));
    swf::Player half(moved);
    const auto canvas = render(half);
    fills = canvas.calls(Op::Fill);
    EXPECT_NEAR(fills[1].path.boundingRect().width(), 150, 1);
    EXPECT_EQ(colorOf(fills[1]), QColor(100, 50, 0, 155));
    ASSERT_EQ(canvas.calls(Op::Stroke).size(), 1u);
    EXPECT_DOUBLE_EQ(canvas.calls(Op::Stroke)[0].pen.widthF(), 40);
}

TEST(Renderer, StaticTextDrawsGlyphOutlinesAtTheirSizeAndColour) {
    Writer glyph; // a 100-unit square on the baseline
    {
        Records r(glyph, 1, 0);
        r.style(K, 1, K, true, 0, 0).hline(512).vline(-1024).hline(-512).vline(1024);
        r.end();
    }
    Writer font;
    font.u16(2).u16(2).bytes(glyph.data());
    Writer text;
    text.u16(3).rect(0, 4000, 0, 1000).matrix(1, 1, 0, 0, 100, 0).u8(1).u8(8);
    text.u8(0x80 | 0x08 | 0x04 | 0x01).u16(2).rgb(9, 8, 7).u16(300).u16(240);
    text.u8(2).ub(0, 1).sb(120, 8).ub(0, 1).sb(120, 8).align();
    text.u8(0);
    auto movie = load(concat({swftest::tag(10, font), swftest::tag(11, text),
                              place(Place(1, 3).at(1000)), showFrame()}));
    swf::Player player(movie);
    const auto fills = render(player).calls(Op::Fill);
    ASSERT_EQ(fills.size(), 2u);
    EXPECT_EQ(colorOf(fills[1]), QColor(9, 8, 7));
    EXPECT_EQ(fills[1].matrix, QTransform::fromTranslate(1100, 0));
    // Two glyphs 240 twips high, the second one advance further on.
    EXPECT_EQ(fills[1].path.boundingRect(), QRectF(300, -240, 120 + 120, 240));
}

TEST(Renderer, EditTextsUseDeviceFontsIncludingChinese) {
    ensureGuiApplication();

    Writer e;
    e.u16(9).rect(0, 4000, 0, 800);
    e.u8(0x80 | 0x04 | 0x01).u8(0x08); // text, colour, a font that is not defined; border
    e.u16(99).u16(240).rgba(0, 0, 200, 255);
    e.str("v").str("中文 Text");
    auto movie = load(concat({swftest::tag(37, e), place(Place(1, 9)), showFrame()}));
    swf::Player player(movie);
    const auto canvas = render(player);
    const auto fills = canvas.calls(Op::Fill);
    ASSERT_EQ(fills.size(), 3u); // background, the border's white box, the text
    const QRectF box = fills[2].path.boundingRect();
    EXPECT_GT(box.width(), 600);
    EXPECT_GT(box.left(), 0);
    EXPECT_LT(box.right(), 4000);
    EXPECT_EQ(colorOf(fills[2]), QColor(0, 0, 200));
    ASSERT_EQ(canvas.calls(Op::Clip).size(), 1u); // text stays inside its box
}

TEST(Renderer, ButtonsHitTestAndDrawTheirState) {
    Writer b;
    b.u16(20).u8(0).u16(0);
    b.u8(0x01).u16(1).u16(1).matrix().cxform(true, {}, {});                 // up: green
    b.u8(0x02 | 0x04).u16(2).u16(1).matrix().cxform(true, {}, {});          // over, down: red
    b.u8(0x08).u16(1).u16(1).matrix(1, 1, 0, 0, 0, 0).cxform(true, {}, {}); // hit area
    b.u8(0);
    auto movie = load(concat({solidShape(1, 0, 255, 0), solidShape(2, 255, 0, 0),
                              swftest::tag(34, b), place(Place(1, 20).at(1000)), showFrame()}));
    swf::Player player(movie);
    using swf::render::Renderer;
    swf::ButtonInstance* button = player.root().displayList().at(1)->button();
    ASSERT_TRUE(button);
    EXPECT_EQ(Renderer::buttonAt(player, QPointF(1100, 50)), button);
    EXPECT_EQ(Renderer::buttonAt(player, QPointF(1250, 50)), nullptr);
    EXPECT_EQ(Renderer::buttonAt(player, QPointF(900, 50)), nullptr);
    EXPECT_EQ(colorOf(render(player).calls(Op::Fill)[1]), QColor(0, 255, 0));
    player.setButtonState(*button, swf::ButtonState::Over);
    EXPECT_EQ(colorOf(render(player).calls(Op::Fill)[1]), QColor(255, 0, 0));
}

TEST(Renderer, ScaleModesCentreTheStage) {
    const swf::Rect stage{0, 11000, 0, 8000}; // 550 x 400
    using swf::render::stageTransform;
    const QRectF wide(0, 0, 1100, 400);
    EXPECT_EQ(stageTransform(stage, wide, 0).mapRect(QRectF(0, 0, 11000, 8000)),
              QRectF(275, 0, 550, 400));
    EXPECT_EQ(stageTransform(stage, wide, 1).mapRect(QRectF(0, 0, 11000, 8000)),
              QRectF(0, -200, 1100, 800));
    EXPECT_EQ(stageTransform(stage, wide, 2).mapRect(QRectF(0, 0, 11000, 8000)), wide);
    EXPECT_EQ(stageTransform(stage, wide, 3).mapRect(QRectF(0, 0, 11000, 8000)),
              QRectF(275, 0, 550, 400));
    EXPECT_EQ(stageTransform(stage, wide, 0, 2).mapRect(QRectF(0, 0, 11000, 8000)),
              QRectF(0, -200, 1100, 800));
    // A stage that does not start at 0 still lands in the middle.
    const swf::Rect offset{2000, 13000, -1000, 7000};
    EXPECT_EQ(stageTransform(offset, wide, 3).mapRect(QRectF(2000, -1000, 11000, 8000)),
              QRectF(275, 0, 550, 400));
}

TEST(Renderer, ColourTransformsOnBitmapsKeepPremultipliedPixels) {
    QImage img(2, 1, QImage::Format_ARGB32_Premultiplied);
    img.setPixel(0, 0, qRgba(200, 100, 50, 255));
    img.setPixel(1, 0, qPremultiply(qRgba(200, 100, 50, 100)));
    swf::ColorTransform ct;
    ct.alphaMult = 128;
    ct.blueAdd = 100;
    const QImage out = swf::render::transformImage(img, ct);
    EXPECT_EQ(out.format(), QImage::Format_ARGB32_Premultiplied);
    const QRgb first = qUnpremultiply(out.pixel(0, 0));
    EXPECT_EQ(qAlpha(first), 127);
    EXPECT_NEAR(qRed(first), 200, 1);
    EXPECT_NEAR(qBlue(first), 150, 1);
    EXPECT_EQ(qAlpha(out.pixel(1, 0)), 50);
    EXPECT_NEAR(qBlue(qUnpremultiply(out.pixel(1, 0))), 150, 3);
}

TEST(Renderer, ScriptStateDrawingsBeneathChildrenAndTheCurrentText) {
    ensureGuiApplication();
    Writer e;
    e.u16(9).rect(0, 8000, 0, 800).u8(0x80 | 0x04 | 0x01).u8(0);
    e.u16(99).u16(240).rgba(0, 0, 200, 255).str("").str("ab");
    auto movie = load(concat(
        {solidShape(1, 0, 255, 0),
         swftest::sprite(5, 1, concat({place(Place(1, 1)), showFrame(), swftest::end()})),
         swftest::tag(37, e), place(Place(1, 5).at(1000)), place(Place(2, 9)), showFrame()}));
    swf::Player player(movie);
    swf::DisplayObject* field = player.root().displayList().at(2);
    swf::MovieClip* clip = player.root().displayList().at(1)->clip();
    ASSERT_TRUE(field && clip);
    swf::DrawingShape& drawing = clip->editDrawing();
    swf::FillStyle red;
    red.color = {255, 0, 0, 255};
    drawing.beginFill(red);
    drawing.lineTo({400, 0});
    drawing.lineTo({400, 400});
    drawing.endFill();

    swf::render::Renderer renderer;
    auto draw = [&] {
        RecordingCanvas canvas;
        renderer.render(player, canvas, {});
        return canvas.calls(Op::Fill);
    };
    const auto before = draw();
    ASSERT_EQ(before.size(), 4u); // background, the drawing, the sprite's child, the text
    EXPECT_EQ(colorOf(before[1]), QColor(255, 0, 0));
    EXPECT_EQ(before[1].matrix, QTransform::fromTranslate(1000, 0));
    EXPECT_EQ(colorOf(before[2]), QColor(0, 255, 0));
    // A script's new text and colour are drawn by the same renderer.
    field->text = QStringLiteral("a much longer line");
    field->textColor = swf::Rgba{10, 20, 30, 255};
    const auto after = draw();
    ASSERT_EQ(after.size(), 4u);
    EXPECT_GT(after[3].path.boundingRect().width(), 3 * before[3].path.boundingRect().width());
    EXPECT_EQ(colorOf(after[3]), QColor(10, 20, 30));
}

TEST(Renderer, ShapeContainsFollowsOutlinesNotBoxes) {
    auto movie = load(concat(
        {solidShape(1, 0, 255, 0),
         swftest::sprite(5, 1, concat({place(Place(1, 1).at(1000)), showFrame(), swftest::end()})),
         place(Place(1, 5).at(2000)), showFrame()}));
    swf::Player player(movie);
    const swf::DisplayObject& o = *player.root().displayList().at(1);
    // A triangle drawn by a script: its right-angle corner at the origin.
    swf::DrawingShape& d = o.clip()->editDrawing();
    swf::FillStyle fill;
    d.beginFill(fill);
    d.lineTo({400, 0});
    d.lineTo({0, 400});
    d.endFill();
    using swf::render::Renderer;
    const QTransform m = o.matrix;
    EXPECT_TRUE(Renderer::shapeContains(player, o, m, {2050, 50}));
    // Inside the triangle's bounding box, outside the triangle.
    EXPECT_FALSE(Renderer::shapeContains(player, o, m, {2350, 350}));
    // The sprite's child, 1000 twips on.
    EXPECT_TRUE(Renderer::shapeContains(player, o, m, {3010, 10}));
    EXPECT_FALSE(Renderer::shapeContains(player, o, m, {1990, 10}));
}

TEST(Renderer, WhatMissesTheVisibleAreaIsSkippedButWideLinesReachingInAreNot) {
    auto lined = [](Writer& w) { w.u8(0).u8(1).u16(400).rgba(0, 0, 0, 255); };
    auto movie = load(concat({
        solidShape(1, 255, 0, 0, 255, QRect(0, 0, 200, 100)),
        shape(2, lined, 0, 1, QRect(0, 0, 200, 100)),
        place(Place(1, 1).at(1000, 1000)), // inside
        place(Place(2, 1).at(5000, 1000)), // outside
        place(Place(3, 1).at(1900, 1000)), // overlapping the right edge
        place(Place(4, 2).at(2150, 1000)), // outside, but its 400-unit line reaches in
        place(Place(5, 2).at(2700, 1000)), // outside, line too (miter joins reach 600)
        showFrame(),
    }));
    swf::Player player(movie);
    RecordingCanvas canvas;
    canvas.setVisibleArea(QRectF(0, 0, 2000, 2000));
    swf::render::Renderer().render(player, canvas, QTransform());
    const auto fills = canvas.calls(Op::Fill);
    ASSERT_EQ(fills.size(), 3u); // the background, then two of the three squares
    EXPECT_EQ(fills[1].matrix, QTransform::fromTranslate(1000, 1000));
    EXPECT_EQ(fills[2].matrix, QTransform::fromTranslate(1900, 1000));
    const auto strokes = canvas.calls(Op::Stroke);
    ASSERT_EQ(strokes.size(), 1u);
    EXPECT_EQ(strokes[0].path.boundingRect().left(), 2150);

    // Through the painter the visible area is the image, or the clip set before drawing.
    QImage image(100, 100, QImage::Format_ARGB32_Premultiplied);
    QPainter painter(&image);
    painter.translate(10, 0);
    painter.setClipRect(QRect(0, 0, 50, 50));
    EXPECT_EQ(swf::render::PainterCanvas(painter).visibleArea(), QRectF(0, 0, 50, 50));
    painter.setClipping(false);
    EXPECT_EQ(swf::render::PainterCanvas(painter).visibleArea(), QRectF(-10, 0, 100, 100));
}

// A thick line's miter tip reaches out from its corner by up to half the width times the miter
// limit (Qt's SVG miter join): a V whose corner lies outside the visible area but whose tip
// reaches in is drawn there exactly as when everything is visible.
TEST(Renderer, MiterTipsReachingIntoTheVisibleAreaAreDrawn) {
    ensureGuiApplication();
    // DefineShape4: one 20 px line, miter joins (limit 3), no caps, not closed; a V pointing
    // left, its corner at (50, 100) px, arms 25 degrees off the horizontal: the tip reaches
    // 10 / sin(25 degrees) = 23.7 px left of the corner, within the limit of 30.
    Writer w;
    w.u16(1).rect(0, 4000, 0, 4000).rect(0, 4000, 0, 4000).u8(0);
    w.u8(0).u8(1).u16(400);
    w.u8(0x40 | 0x20).u8(0x04 | 0x01).u16(3 * 256).rgba(0, 0, 0, 255);
    Records rec(w, 0, 1);
    rec.style(Records::kKeep, Records::kKeep, 1, true, 3000, 2000 - 933);
    rec.line(-2000, 933).line(2000, 933);
    rec.end();
    auto movie = load(concat({swftest::tag(83, w), place(Place(1, 1)), showFrame()}));
    swf::Player player(movie);
    auto draw = [&](const QRect& clip) {
        QImage image(200, 200, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::white);
        QPainter painter(&image);
        if (!clip.isEmpty())
            painter.setClipRect(clip);
        swf::render::PainterCanvas canvas(painter);
        swf::render::Renderer().render(player, canvas, QTransform::fromScale(0.05, 0.05));
        return image;
    };
    const QRect clip(0, 0, 30, 200); // 20 px short of the corner, 3.7 px over the tip
    const QImage all = draw({}), clipped = draw(clip);
    int tip = 0, differ = 0;
    for (int y = 0; y < 200; ++y) {
        for (int x = 0; x < clip.width(); ++x) {
            tip += qRed(all.pixel(x, y)) < 128;
            differ += all.pixel(x, y) != clipped.pixel(x, y);
        }
    }
    EXPECT_GT(tip, 3) << "the tip reaches into the clip";
    EXPECT_EQ(differ, 0);
}

// Tall paths are cut into short pieces before Qt fills them (far faster); the pixels must stay
// those of Qt's own drawing, brush placement included.
TEST(PainterCanvas, TallPathsDrawAsQtDrawsThem) {
    QPainterPath ellipse;
    ellipse.addEllipse(QRectF(-50, -100, 100, 200));
    ellipse.addRect(QRectF(-20, -20, 40, 40)); // a hole (odd-even)
    QLinearGradient g(0, -100, 0, 100);
    g.setColorAt(0, Qt::red);
    g.setColorAt(1, Qt::blue);
    QBrush brush(g);
    brush.setTransform(QTransform::fromScale(1, 0.5));
    const QTransform m = QTransform(1.5, 0.2, -0.1, 1.2, 100, 150);
    QPainterPath curve;
    curve.moveTo(20, 10);
    curve.quadTo(180, 150, 30, 290);
    const QPen pen(QBrush(QColor(0, 128, 0, 200)), 7, Qt::SolidLine, Qt::RoundCap, Qt::MiterJoin);
    QPainterPath band;
    band.addRect(QRectF(150, 0, 30, 300));

    auto draw = [&](bool viaCanvas) {
        QImage image(220, 300, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::white);
        QPainter p(&image);
        p.translate(5, -5);
        if (viaCanvas) {
            swf::render::PainterCanvas c(p);
            c.fillPath(ellipse, brush, m, false);
            c.strokePath(curve, pen);
            c.save();
            c.clip(ellipse, m);
            c.fillPath(band, QBrush(Qt::black), QTransform(), false);
            c.restore();
        } else {
            p.setRenderHint(QPainter::Antialiasing);
            const QTransform base = p.transform();
            p.setTransform(m * base);
            p.fillPath(ellipse, brush);
            p.setTransform(base);
            p.strokePath(curve, pen);
            p.save();
            p.setTransform(m * base);
            p.setClipPath(ellipse);
            p.setTransform(base);
            p.fillPath(band, QBrush(Qt::black));
            p.restore();
        }
        return image;
    };
    const QImage ours = draw(true), qt = draw(false);
    int worst = 0, off = 0;
    for (int y = 0; y < ours.height(); ++y) {
        for (int x = 0; x < ours.width(); ++x) {
            const QRgb a = ours.pixel(x, y), b = qt.pixel(x, y);
            const int d = std::max({std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)),
                                    std::abs(qBlue(a) - qBlue(b))});
            worst = std::max(worst, d);
            off += d > 8;
        }
    }
    // Curves are flattened in smaller pieces, so a few edge pixels differ a little; a brush or a
    // path out of place would change whole areas.
    EXPECT_LE(worst, 64);
    EXPECT_LT(off, ours.width() * ours.height() / 100);
    EXPECT_EQ(ours.pixel(115, 150), 0xFFFFFFFFu); // the hole
    EXPECT_EQ(qGreen(ours.pixel(90, 100)), 0) << "red to blue, no green";
}

// Paths of one polygon go to Qt as point arrays (no per-path allocation); the pixels must be
// exactly those of QPainter::fillPath and strokePath, rectangles and single wide lines included
// (Qt draws those through other rasterisers when given as polygons).
TEST(PainterCanvas, PolygonsDrawExactlyAsQtDrawsTheirPaths) {
    QRandomGenerator rng(11);
    QLinearGradient g(-20, 0, 20, 5);
    g.setColorAt(0, Qt::red);
    g.setColorAt(1, QColor(0, 0, 255, 100));
    QImage texture(7, 5, QImage::Format_ARGB32_Premultiplied);
    for (int i = 0; i < 35; ++i)
        texture.setPixel(i % 7, i / 7, qRgba(i * 7, 255 - i * 7, i * 3, 255));
    int different = 0;
    for (int i = 0; i < 300; ++i) {
        const bool shear = i % 7 == 1;
        const QTransform m(0.2 + rng.bounded(2.5), shear ? rng.bounded(0.6) : 0,
                           shear ? rng.bounded(0.6) : 0, 0.2 + rng.bounded(2.5),
                           60 + rng.bounded(40.0), 60 + rng.bounded(40.0));
        const auto quality = i % 4 == 3 ? swf::render::Quality::Low : swf::render::Quality::High;
        QBrush brush(
            QColor(rng.bounded(256), rng.bounded(256), rng.bounded(256), i % 3 ? 255 : 120));
        if (i % 5 == 1)
            brush = QBrush(g);
        if (i % 5 == 2)
            brush = QBrush(texture);
        brush.setTransform(QTransform::fromScale(0.5, 1.3).rotate(i * 7));
        // Rectangles (closed or not), 2 to 12 corners, either fill rule; lower than the paths
        // the canvas cuts into bands.
        QPainterPath path;
        const int corners = i % 3 == 0 ? 4 + i % 2 : 2 + i % 11;
        const double x = rng.bounded(10.0) - 15, y = rng.bounded(10.0) - 15;
        const double w = rng.bounded(30.0), h = rng.bounded(30.0);
        for (int k = 0; k < corners; ++k) {
            const QPointF p =
                i % 3 == 0 ? QPointF(k == 1 || k == 2 ? x + w : x, k >= 2 && k < 4 ? y + h : y)
                           : QPointF(rng.bounded(30.0) - 15, rng.bounded(30.0) - 15);
            k ? path.lineTo(p) : path.moveTo(p);
        }
        path.setFillRule(i % 2 ? Qt::WindingFill : Qt::OddEvenFill);
        const QPen pen(brush, i % 3 ? rng.bounded(6.0) : 1, Qt::SolidLine,
                       i % 2 ? Qt::RoundCap : Qt::FlatCap,
                       i % 4 < 2 ? Qt::RoundJoin : Qt::MiterJoin);
        auto draw = [&](bool viaCanvas) {
            QImage image(200, 200, QImage::Format_ARGB32_Premultiplied);
            image.fill(Qt::white);
            QPainter p(&image);
            p.translate(3, 4);
            if (viaCanvas) {
                swf::render::PainterCanvas c(p, quality);
                c.fillPath(path, brush, m, i % 2);
                c.strokePath(m.map(path), pen);
            } else {
                p.setRenderHint(QPainter::Antialiasing, quality != swf::render::Quality::Low);
                p.setRenderHint(QPainter::SmoothPixmapTransform,
                                i % 2 && quality == swf::render::Quality::High);
                const QTransform base = p.transform();
                p.setTransform(m * base);
                p.fillPath(path, brush);
                p.setTransform(base);
                p.setRenderHint(QPainter::SmoothPixmapTransform,
                                quality == swf::render::Quality::High);
                p.strokePath(m.map(path), pen);
            }
            return image;
        };
        different += draw(true) != draw(false);
    }
    EXPECT_EQ(different, 0);
}

// Large opaque rectangles (the stage's background) are filled inside without the anti-aliasing
// rasteriser and only their edges through it: the pixels must be exactly Qt's.
TEST(PainterCanvas, LargeRectanglesDrawExactlyAsQtDrawsThem) {
    QRandomGenerator rng(5);
    int different = 0, fast = 0;
    for (int i = 0; i < 60; ++i) {
        // Mirrored ones too (drawn the usual way).
        const double sx = (0.05 + rng.bounded(0.2)) * (i % 5 == 4 ? -1 : 1);
        const double sy = 0.05 + rng.bounded(0.2);
        const QTransform m(sx, 0, 0, sy, 150 + rng.bounded(20.0), 10 + rng.bounded(20.0));
        QPainterPath rect;
        rect.addRect(QRectF(rng.bounded(300.0), rng.bounded(300.0), 200 + rng.bounded(1500.0),
                            200 + rng.bounded(1500.0)));
        const QColor colour(rng.bounded(256), rng.bounded(256), rng.bounded(256),
                            i % 7 == 3 ? 200 : 255);
        const QRect clip(rng.bounded(60), rng.bounded(60), 150 + rng.bounded(150), 200);
        auto draw = [&](bool viaCanvas) {
            QImage image(300, 300, QImage::Format_ARGB32_Premultiplied);
            image.fill(Qt::darkCyan);
            QPainter p(&image);
            if (i % 2)
                p.setClipRect(clip);
            p.translate(i % 3, 0.5 * (i % 4));
            QPainterPath mask; // under a mask's outline too
            mask.addEllipse(QRectF(20, 30, 200, 80));
            if (viaCanvas) {
                swf::render::PainterCanvas c(p);
                if (i % 3 == 2)
                    c.clip(mask, QTransform());
                c.fillPath(rect, QBrush(colour), m, false);
            } else {
                p.setRenderHint(QPainter::Antialiasing);
                if (i % 3 == 2)
                    p.setClipPath(mask, Qt::IntersectClip);
                p.setTransform(m, true);
                p.fillPath(rect, colour);
            }
            return image;
        };
        different += draw(true) != draw(false);
        fast += i % 7 != 3 && i % 5 != 4 && m.mapRect(rect.boundingRect()).height() > 96;
    }
    EXPECT_GT(fast, 10); // enough of them take the quick way
    EXPECT_EQ(different, 0);
}

namespace {

// DefineShape4 with one 400-wide black LineStyle2 (flag bytes as stored) and no fills; `draw`
// writes the records with line index 1.
Bytes lineShape(std::uint16_t id, std::uint8_t flags1, std::uint8_t flags2,
                const std::function<void(Records&)>& draw) {
    Writer s;
    s.u16(id).rect(-1000, 5000, -1000, 5000).rect(-1000, 5000, -1000, 5000).u8(0);
    s.u8(0).u8(1).u16(400).u8(flags1).u8(flags2);
    if ((flags1 & 0x30) == 0x20)
        s.u16(4 << 8); // miter limit 4
    s.rgba(0, 0, 0, 255);
    Records r(s, 0, 1);
    draw(r);
    r.end();
    return swftest::tag(83, s);
}

} // namespace

TEST(Renderer, LineEndsTakeTheirOwnCapsAndNoCloseLeavesClosedPathsOpen) {
    auto openLine = [](Records& r) { r.style(K, K, 1, true, 1000, 1000).hline(2000); };
    auto square = [](Records& r) {
        r.style(K, K, 1, true, 0, 0).hline(2000).vline(1000).hline(-2000).vline(-1000);
    };
    auto movie = load(concat({
        lineShape(1, 0x00, 0x02, openLine), // round start, square end
        lineShape(2, 0x60, 0x05, square),   // no caps, miter joins, NoClose
        lineShape(3, 0x20, 0x02, square),   // miter joins, round start, square end, closed
        lineShape(4, 0x60, 0x01, square),   // no caps, miter joins, closed: Qt's own stroke
        place(Place(1, 1)),
        place(Place(2, 2).at(0, 5000)),
        place(Place(3, 3).at(5000, 5000)),
        place(Place(4, 4).at(10000, 5000)),
        showFrame(),
    }));
    swf::Player player(movie);
    const auto canvas = render(player);
    const auto fills = canvas.calls(Op::Fill);
    ASSERT_EQ(fills.size(), 4u); // the background, then three lines as outlines
    ASSERT_EQ(canvas.calls(Op::Stroke).size(), 1u);
    EXPECT_EQ(canvas.calls(Op::Stroke)[0].pen.capStyle(), Qt::FlatCap);

    const QPainterPath& capped = fills[1].path;
    EXPECT_EQ(colorOf(fills[1]), QColor(0, 0, 0));
    EXPECT_TRUE(capped.contains(QPointF(2000, 1150)));  // the line itself
    EXPECT_TRUE(capped.contains(QPointF(850, 1000)));   // round start
    EXPECT_FALSE(capped.contains(QPointF(830, 1180)));  // ... not square
    EXPECT_TRUE(capped.contains(QPointF(3180, 1180)));  // square end
    EXPECT_FALSE(capped.contains(QPointF(3250, 1000))); // ... half the width long

    // NoClose: the corner where the path starts and ends has flat ends, no miter; the other
    // corners are joined.
    const QPainterPath& unclosed = fills[2].path;
    EXPECT_FALSE(unclosed.contains(QPointF(-150, 4850)));
    EXPECT_TRUE(unclosed.contains(QPointF(2150, 4850)));
    EXPECT_TRUE(unclosed.contains(QPointF(-150, 5500)));

    // Closed without NoClose: joined at the start too, and no caps stick out.
    const QPainterPath& closed = fills[3].path;
    EXPECT_TRUE(closed.contains(QPointF(4850, 4850)));
    EXPECT_TRUE(closed.contains(QPointF(7150, 4850)));
    EXPECT_FALSE(closed.contains(QPointF(5500, 4750)));
}

namespace {

// PlaceObject3 of `id` at `depth`, moved by (x, y) twips, with a blend mode, optional colour
// transform (with alpha) and optional filter list bytes (count first).
Bytes place3(std::uint16_t depth, std::uint16_t id, std::int32_t x, std::int32_t y,
             std::uint8_t blend, std::vector<std::int32_t> alphaMult = {},
             const Bytes& filters = {}) {
    Writer w;
    w.u8(std::uint8_t(0x02 | 0x04 | (alphaMult.empty() ? 0 : 0x08)));
    w.u8(std::uint8_t((blend ? 0x02 : 0) | (filters.empty() ? 0 : 0x01)));
    w.u16(depth).u16(id).translate(x, y);
    if (!alphaMult.empty()) {
        w.flag(false).flag(true).ub(12, 4);
        for (auto v : alphaMult)
            w.sb(v, 12);
        w.align();
    }
    if (!filters.empty())
        w.bytes(filters);
    if (blend)
        w.u8(blend);
    return swftest::tag(70, w);
}

QRgb at(const QImage& img, int x, int y) {
    return img.pixel(x, y);
}

void expectColour(QRgb got, int r, int g, int b, const char* what) {
    EXPECT_NEAR(qRed(got), r, 2) << what;
    EXPECT_NEAR(qGreen(got), g, 2) << what;
    EXPECT_NEAR(qBlue(got), b, 2) << what;
}

} // namespace

TEST(Renderer, BlendModesCompositeTheObjectsLayerOntoWhatIsUnder) {
    const QRect square(0, 0, 400, 400); // 20 px
    Bytes tags = concat(
        {solidShape(1, 200, 100, 50, 255, square), solidShape(2, 100, 200, 150, 255, square)});
    // Multiply .. difference, add, subtract, invert, overlay, hard light: the second square over
    // the first, one pair every 30 px.
    const std::uint8_t modes[] = {3, 4, 5, 6, 7, 8, 9, 10, 13, 14};
    for (int i = 0; i < 10; ++i) {
        tags = concat({tags, place(Place(std::uint16_t(2 * i + 1), 1).at(600 * i)),
                       place3(std::uint16_t(2 * i + 2), 2, 600 * i, 0, modes[i])});
    }
    swf::Player player(load(concat({tags, showFrame()})));
    const QImage img = paint(player, QSize(550, 400), 3);
    expectColour(at(img, 10, 10), 78, 78, 29, "multiply");
    expectColour(at(img, 40, 10), 222, 222, 171, "screen");
    expectColour(at(img, 70, 10), 200, 200, 150, "lighten");
    expectColour(at(img, 100, 10), 100, 100, 50, "darken");
    expectColour(at(img, 130, 10), 100, 100, 100, "difference");
    expectColour(at(img, 160, 10), 255, 255, 200, "add");
    expectColour(at(img, 190, 10), 100, 0, 0, "subtract");
    expectColour(at(img, 220, 10), 55, 155, 205, "invert");
    expectColour(at(img, 250, 10), 188, 157, 59, "overlay");
    expectColour(at(img, 280, 10), 157, 188, 86, "hard light");

    // On the recording canvas: the object in a layer of its own bounds, drawn without its
    // colour transform, which goes to the finished layer with the blend mode.
    swf::Player tinted(load(concat({solidShape(1, 200, 100, 50, 255, square),
                                    place3(1, 1, 1000, 0, 3, {256, 256, 256, 128}), showFrame()})));
    const auto canvas = render(tinted);
    const auto& calls = canvas.calls();
    ASSERT_EQ(calls.size(), 4u);
    EXPECT_EQ(calls[1].op, Op::BeginLayer);
    // A button record's blend mode (DefineButton2) works the same way.
    Writer b;
    b.u16(20).u8(0).u16(0);
    b.u8(0x20 | 0x01).u16(1).u16(1).matrix().cxform(true, {}, {}).u8(4); // up state, screen
    b.u8(0);
    swf::Player withButton(load(concat({solidShape(1, 200, 100, 50, 255, square),
                                        swftest::tag(34, b), place(Place(1, 20)), showFrame()})));
    const auto buttonLayers = render(withButton).calls(Op::EndLayer);
    ASSERT_EQ(buttonLayers.size(), 1u);
    EXPECT_EQ(buttonLayers[0].effects.blend, swf::BlendMode::Screen);
    EXPECT_EQ(calls[1].area, QRectF(1000, 0, 400, 400));
    EXPECT_EQ(colorOf(calls[2]), QColor(200, 100, 50));
    EXPECT_EQ(calls[3].op, Op::EndLayer);
    EXPECT_EQ(calls[3].effects.blend, swf::BlendMode::Multiply);
    EXPECT_EQ(calls[3].effects.colorTransform.alphaMult, 128);
}

TEST(Renderer, AlphaAndEraseCutIntoTheirParentAndLayerFadesAsOnePicture) {
    const QRect square(0, 0, 400, 400), leftHalf(0, 0, 200, 400);
    // A red square, and over its left half a half-transparent child with the blend mode.
    auto inSprite = [&](std::uint16_t id, std::uint8_t mode) {
        return swftest::sprite(
            id, 1,
            concat({place(Place(1, 1)), place3(2, 3, 0, 0, mode), showFrame(), swftest::end()}));
    };
    const Bytes overlapping = swftest::sprite(
        22, 1,
        concat({place(Place(1, 1)), place(Place(2, 1).at(200)), showFrame(), swftest::end()}));
    swf::Player player(load(concat({
        solidShape(1, 255, 0, 0, 255, square),
        solidShape(3, 0, 0, 0, 128, leftHalf),
        inSprite(20, 11), // alpha
        inSprite(21, 12), // erase
        overlapping,
        place(Place(1, 20)),
        place(Place(2, 21).at(1000)),
        place3(3, 22, 2000, 0, 2, {256, 256, 256, 128}),           // layer, half transparent
        place(Place(4, 22).cx({256, 256, 256, 128}, {}).at(3000)), // normal, half transparent
        showFrame(),
    })));
    const QImage img = paint(player, QSize(550, 400), 3);
    expectColour(at(img, 5, 10), 255, 127, 127, "alpha: the parent takes the child's alpha");
    expectColour(at(img, 15, 10), 255, 255, 255, "alpha: nothing where the child is not");
    expectColour(at(img, 55, 10), 255, 127, 127, "erase: half erased");
    expectColour(at(img, 65, 10), 255, 0, 0, "erase: untouched");
    // Layer: the overlap fades like the rest; without a layer it is darker.
    EXPECT_EQ(at(img, 105, 10), at(img, 115, 10));
    expectColour(at(img, 105, 10), 255, 127, 127, "layer");
    expectColour(at(img, 165, 10), 255, 63, 63, "normal overlap");
}

TEST(Renderer, FiltersWorkOnTheObjectsLayerAndScaleWithTheStage) {
    Writer filters; // one drop shadow: black, no blur, 10 px at angle 0, composite source
    filters.u8(1).u8(0).rgba(0, 0, 0, 255).u32(0).u32(0).u32(0).u32(10 << 16).u16(256).u8(0x21);
    auto movie = load(concat({solidShape(1, 255, 0, 0, 255, QRect(0, 0, 400, 400)),
                              place3(1, 1, 1000, 0, 0, {}, filters.data()), showFrame()}));
    swf::Player player(movie);
    const auto canvas = render(player);
    const auto begin = canvas.calls(Op::BeginLayer), end = canvas.calls(Op::EndLayer);
    ASSERT_EQ(begin.size(), 1u);
    ASSERT_EQ(end.size(), 1u);
    // 20 device units a stage pixel here: the shadow reaches 200 (and 2 for rounding) further.
    EXPECT_DOUBLE_EQ(begin[0].reach, 202);
    EXPECT_EQ(begin[0].area, QRectF(1000 - 202, -202, 400 + 404, 400 + 404));
    ASSERT_EQ(end[0].effects.filters.size(), 1u);
    EXPECT_EQ(end[0].effects.filters[0].type, swf::FilterType::DropShadow);
    EXPECT_DOUBLE_EQ(end[0].effects.filterScaleX, 20);
    EXPECT_EQ(end[0].effects.blend, swf::BlendMode::Normal);

    const QImage one = paint(player, QSize(550, 400), 3); // a stage pixel a pixel
    EXPECT_EQ(one.pixel(55, 10), 0xFFFF0000u);
    EXPECT_EQ(one.pixel(75, 10), 0xFF000000u);
    EXPECT_EQ(one.pixel(85, 10), 0xFFFFFFFFu);
    const QImage two = paint(player, QSize(1100, 800)); // shown at twice the size
    EXPECT_EQ(two.pixel(110, 20), 0xFFFF0000u);
    EXPECT_EQ(two.pixel(150, 20), 0xFF000000u);
    EXPECT_EQ(two.pixel(165, 20), 0xFFFFFFFFu);
}

// One renderer across movies (the control keeps its renderer): a text defined with the same id
// in the next movie, perhaps at the same address, must not come out of the first one's cache.
TEST(Renderer, CachedOutlinesNeverOutliveTheirDefinition) {
    auto textMovie = [](std::int32_t glyphWidth) {
        Writer glyph;
        {
            Records r(glyph, 1, 0);
            r.style(K, 1, K, true, 0, 0).hline(glyphWidth).vline(-1024).hline(-glyphWidth);
            r.vline(1024);
            r.end();
        }
        Writer font;
        font.u16(2).u16(2).bytes(glyph.data());
        Writer text;
        text.u16(3).rect(0, 4000, 0, 1000).matrix().u8(1).u8(8);
        text.u8(0x80 | 0x08 | 0x04).u16(2).rgb(0, 0, 0).u16(1024);
        text.u8(1).ub(0, 1).sb(0, 8).align();
        text.u8(0);
        return load(concat(
            {swftest::tag(10, font), swftest::tag(11, text), place(Place(1, 3)), showFrame()}));
    };
    swf::render::Renderer renderer;
    for (std::int32_t width : {100, 700, 300}) {
        swf::Player player(textMovie(width));
        RecordingCanvas canvas;
        renderer.render(player, canvas, QTransform());
        const auto fills = canvas.calls(Op::Fill);
        ASSERT_EQ(fills.size(), 2u);
        EXPECT_EQ(fills[1].path.boundingRect().width(), width);
    }
}

// A filtered object keeps its filtered picture between frames only while the picture would be
// the same: over frames where it stands still, moves by whole and by part pixels, is scaled,
// recoloured and given other filters, a caching renderer draws exactly what one without the
// cache draws, and it does use the cache.
TEST(Renderer, KeptFilteredLayersGiveTheSamePixels) {
    auto filterList = [](std::uint32_t shadowBlur, std::uint32_t blur) {
        Writer w;
        w.u8(2);
        // Drop shadow: grey, blurred, 3 px at 45 degrees, strength 1, composite source, 2 passes.
        w.u8(0).rgba(40, 40, 40, 200).u32(shadowBlur << 16).u32(shadowBlur << 16);
        w.u32(std::uint32_t(0.785398 * 65536)).u32(3 << 16).u16(256).u8(0x22);
        w.u8(1).u32(blur << 16).u32(blur << 15).u8(1 << 3); // blur, one pass
        return w.data();
    };
    // PlaceObject3 moving depth 1 (matrix; colour transform with alpha; new filters).
    auto move = [](double sx, std::int32_t x, std::int32_t y, std::int32_t alpha = 256,
                   const Bytes& filters = {}) {
        Writer w;
        w.u8(std::uint8_t(0x01 | 0x04 | 0x08)).u8(filters.empty() ? 0 : 0x01).u16(1);
        w.matrix(sx, sx, 0, 0, x, y);
        w.flag(false).flag(true).ub(12, 4);
        for (std::int32_t v : {256, 256, 256, alpha})
            w.sb(v, 12);
        w.align();
        if (!filters.empty())
            w.bytes(filters);
        return swftest::tag(70, w);
    };
    const Bytes tags = concat({
        solidShape(1, 230, 120, 20, 255, QRect(0, 0, 1210, 830)),
        place3(1, 1, 1000, 1000, 0, {}, filterList(4, 2)),
        // The same object and filters elsewhere: it may share the first one's kept result.
        place3(2, 1, 5000, 3000, 0, {}, filterList(4, 2)), showFrame(),
        showFrame(),                              // 2: still
        move(1, 1020, 1000), showFrame(),         // 3: one whole pixel right
        showFrame(),                              // 4: still
        move(1, 1027, 1000), showFrame(),         // 5: part of a pixel, same layer size
        move(1.25, 1027, 1013), showFrame(),      // 6: scaled
        move(1.25, 1027, 1013, 128), showFrame(), // 7: half transparent
        move(1.25, 1027, 1013, 128, filterList(6, 2)), showFrame(), // 8: other filters
        showFrame(),                                                // 9: still
    });
    swf::Player player(load(tags, 9));
    swf::render::Renderer cached, plain;
    plain.setFilterCaching(false);
    const QSize size(550, 400);
    const QTransform view = swf::render::stageTransform(player.movie().header().frameSize,
                                                        QRectF(QPointF(0, 0), size), 0);
    auto draw = [&](swf::render::Renderer& r) {
        QImage image(size, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::black);
        QPainter painter(&image);
        swf::render::PainterCanvas canvas(painter);
        r.render(player, canvas, view);
        return image;
    };
    std::vector<std::size_t> hits;
    for (int frame = 1; frame <= 9; ++frame) {
        const QImage a = draw(cached), b = draw(plain);
        ASSERT_EQ(a.size(), b.size());
        int differ = 0;
        for (int y = 0; y < a.height(); ++y)
            differ += std::memcmp(a.constScanLine(y), b.constScanLine(y), a.width() * 4) != 0;
        EXPECT_EQ(differ, 0) << "frame " << frame;
        hits.push_back(cached.filterCache().hits());
        player.advance();
    }
    EXPECT_EQ(plain.filterCache().hits(), 0u);
    // The second object takes the first's result from frame 1 on; both stand still in frame 2.
    EXPECT_GE(hits[0], 1u);
    EXPECT_GE(hits[1] - hits[0], 2u);
    EXPECT_LE(cached.filterCache().entries(), 8u);
}
