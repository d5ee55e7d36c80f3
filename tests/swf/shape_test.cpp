// Shape records, styles, and the rebuilding of fill paths from FillStyle0/FillStyle1 edges.

#include "swf/movie.h"
#include "swf_writer.h"

#include <gtest/gtest.h>

using swftest::Bytes;
using swftest::Records;
using swftest::Writer;
constexpr std::int32_t K = Records::kKeep;

namespace {

std::shared_ptr<const swf::Movie> load(const Bytes& tags, std::uint8_t version = 10) {
    auto m = swf::Movie::load(swftest::movie(swftest::concat({tags, swftest::end()}), 1, version));
    EXPECT_TRUE(m.ok());
    return m.ok() ? *m : nullptr;
}

int countMoves(const QPainterPath& p) {
    int n = 0;
    for (int i = 0; i < p.elementCount(); ++i)
        n += p.elementAt(i).isMoveTo();
    return n;
}

// A DefineShape (level 1) tag with one RGB fill and one line; `draw` writes the records.
template <typename Draw> Bytes shape1(std::uint16_t id, Draw draw) {
    Writer w;
    w.u16(id).rect(0, 400, 0, 400);
    w.u8(1).u8(0x00).rgb(0, 0, 255);
    w.u8(1).u16(20).rgb(0, 0, 0);
    Records r(w, 1, 1);
    draw(r);
    r.end();
    return swftest::tag(2, w);
}

} // namespace

TEST(Shape, EveryEdgeRecordKind) {
    auto movie = load(shape1(1, [](Records& r) {
        r.style(K, 1, 1, true, 100, 100);
        r.hline(200);
        r.vline(100);
        r.curve(-100, 50, -100, -50);
        r.line(0, -100);
    }));
    const auto* s = movie->dictionary.findAs<swf::Shape>(1);
    ASSERT_TRUE(s);
    using Kind = swf::ShapeRecord::Kind;
    ASSERT_EQ(s->records.size(), 5u);
    EXPECT_EQ(s->records[0].kind, Kind::StyleChange);
    EXPECT_TRUE(s->records[0].moveTo);
    EXPECT_EQ(s->records[0].moveX, 100);
    EXPECT_EQ(s->records[0].fill1, 1);
    EXPECT_EQ(s->records[0].line, 1);
    EXPECT_EQ(s->records[1].kind, Kind::Straight);
    EXPECT_EQ(s->records[1].anchorX, 200);
    EXPECT_EQ(s->records[1].anchorY, 0);
    EXPECT_EQ(s->records[2].anchorX, 0);
    EXPECT_EQ(s->records[2].anchorY, 100);
    EXPECT_EQ(s->records[3].kind, Kind::Curve);
    EXPECT_EQ(s->records[3].controlX, -100);
    EXPECT_EQ(s->records[3].anchorY, -50);
    EXPECT_EQ(s->records[4].anchorY, -100);

    const auto& g = s->geometry();
    ASSERT_EQ(g.layers.size(), 1u);
    ASSERT_EQ(g.layers[0].fills.size(), 1u);
    ASSERT_EQ(g.layers[0].strokes.size(), 1u);
    EXPECT_EQ(g.layers[0].fills[0].style.color, (swf::Rgba{0, 0, 255, 255}));
    EXPECT_EQ(g.layers[0].strokes[0].style.width, 20);
    const QPainterPath& fill = g.layers[0].fills[0].path;
    EXPECT_EQ(countMoves(fill), 1);
    EXPECT_TRUE(fill.contains(QPointF(200, 150)));
    EXPECT_TRUE(fill.contains(QPointF(200, 215))); // inside the curve's bulge
    EXPECT_FALSE(fill.contains(QPointF(50, 150)));
    EXPECT_NEAR(fill.boundingRect().bottom(), 225, 0.5);
    EXPECT_EQ(g.fillRule, Qt::OddEvenFill);
}

TEST(Shape, FillStyle0EdgesInAnyOrderMakeOneContour) {
    // Square A(0,0) B(100,0) C(100,100) D(0,100) drawn anticlockwise, so the fill is on the
    // left (FillStyle0), and the edges come in a shuffled order.
    auto movie = load(shape1(1, [](Records& r) {
        r.style(1, K, K, true, 0, 100).hline(100);  // D->C
        r.moveTo(0, 0).vline(100);                  // A->D
        r.moveTo(100, 100).vline(-100).hline(-100); // C->B->A
    }));
    const auto& g = movie->dictionary.findAs<swf::Shape>(1)->geometry();
    ASSERT_EQ(g.layers.size(), 1u);
    ASSERT_EQ(g.layers[0].fills.size(), 1u);
    const QPainterPath& p = g.layers[0].fills[0].path;
    EXPECT_EQ(countMoves(p), 1);
    EXPECT_TRUE(p.contains(QPointF(50, 50)));
    EXPECT_FALSE(p.contains(QPointF(150, 50)));
    EXPECT_EQ(p.boundingRect(), QRectF(0, 0, 100, 100));
}

TEST(Shape, SharedEdgeCarriesBothFills) {
    // Two squares side by side; the edge between them has fill 2 on its left, fill 1 on its
    // right. The outline is drawn clockwise with FillStyle1.
    Writer w;
    w.u16(7).rect(0, 200, 0, 100);
    w.u8(2).u8(0x00).rgb(255, 0, 0).u8(0x00).rgb(0, 255, 0);
    w.u8(0);
    Records r(w, 2, 0);
    r.style(0, 1, K, true, 0, 0).hline(100);         // A->B
    r.style(K, 2).hline(100).vline(100).hline(-100); // B->E->F->C
    r.style(K, 1).hline(-100).vline(-100);           // C->D->A
    r.style(2, 1, K, true, 100, 0).vline(100);       // B->C
    r.end();
    auto movie = load(swftest::tag(2, w));
    const auto& g = movie->dictionary.findAs<swf::Shape>(7)->geometry();
    ASSERT_EQ(g.layers.size(), 1u);
    ASSERT_EQ(g.layers[0].fills.size(), 2u);
    const QPainterPath& left = g.layers[0].fills[0].path;
    const QPainterPath& right = g.layers[0].fills[1].path;
    EXPECT_EQ(countMoves(left), 1);
    EXPECT_EQ(countMoves(right), 1);
    EXPECT_TRUE(left.contains(QPointF(50, 50)));
    EXPECT_FALSE(left.contains(QPointF(150, 50)));
    EXPECT_TRUE(right.contains(QPointF(150, 50)));
    EXPECT_FALSE(right.contains(QPointF(50, 50)));
}

TEST(Shape, OpenContoursCloseAndBadIndicesDrawNothing) {
    auto movie = load(shape1(1, [](Records& r) {
        r.style(K, 1, K, true, 0, 0).hline(100).vline(100); // never returns to the start
    }));
    const auto& g = movie->dictionary.findAs<swf::Shape>(1)->geometry();
    ASSERT_EQ(g.layers.size(), 1u);
    const QPainterPath& p = g.layers[0].fills[0].path;
    EXPECT_TRUE(p.contains(QPointF(90, 20))); // the triangle the fill closes
    EXPECT_FALSE(p.contains(QPointF(10, 90)));

    // Index 3 with only one fill defined reads as "no fill".
    Writer w;
    w.u16(2).rect(0, 100, 0, 100).u8(1).u8(0).rgb(1, 2, 3).u8(0);
    Records r(w, 2, 0);
    r.style(K, 3, K, true, 0, 0).hline(100).vline(100).hline(-100).vline(-100);
    r.end();
    auto bad = load(swftest::tag(2, w));
    const auto* s = bad->dictionary.findAs<swf::Shape>(2);
    ASSERT_TRUE(s);
    EXPECT_EQ(s->records[0].fill1, 0);
    EXPECT_TRUE(s->geometry().layers.empty());
}

TEST(Shape, NewStylesStartALayerWithTheirOwnIndices) {
    Writer w;
    w.u16(3).rect(0, 100, 0, 100);
    w.u8(1).u8(0x00).rgba(255, 0, 0, 255).u8(0);
    Records r(w, 1, 0);
    r.style(K, 1, K, true, 0, 0).hline(10).vline(10).hline(-10).vline(-10);
    r.newStylesFlag(K);
    // New arrays: two fills, one line; then the bit widths for what follows.
    w.u8(2).u8(0x00).rgba(0, 255, 0, 255).u8(0x00).rgba(0, 0, 255, 128);
    w.u8(1).u16(40).rgba(9, 9, 9, 255);
    r.newBits(2, 1);
    r.style(K, 2, 1, true, 50, 50).hline(10).vline(10).hline(-10).vline(-10);
    r.end();
    auto movie = load(swftest::tag(32, w));
    const auto* s = movie->dictionary.findAs<swf::Shape>(3);
    ASSERT_TRUE(s);
    EXPECT_EQ(s->styleTables.size(), 2u);
    const auto& g = s->geometry();
    ASSERT_EQ(g.layers.size(), 2u);
    EXPECT_EQ(g.layers[0].fills[0].style.color, (swf::Rgba{255, 0, 0, 255}));
    ASSERT_EQ(g.layers[1].fills.size(), 1u);
    EXPECT_EQ(g.layers[1].fills[0].style.color, (swf::Rgba{0, 0, 255, 128}));
    ASSERT_EQ(g.layers[1].strokes.size(), 1u);
    EXPECT_EQ(g.layers[1].strokes[0].style.width, 40);
    EXPECT_TRUE(g.layers[1].fills[0].path.contains(QPointF(55, 55)));
}

TEST(Shape, EveryFillAndLineStyleKind) {
    Writer w;
    w.u16(4).rect(0, 100, 0, 100).rect(5, 95, 5, 95);
    w.u8(0x05);        // UsesFillWindingRule, UsesScalingStrokes
    w.u8(0xFF).u16(8); // extended count
    w.u8(0x00).rgba(1, 2, 3, 4);
    w.u8(0x10).matrix(0.5, 0.5).u8(0x42).u8(0).rgba(255, 0, 0, 255).u8(255).rgba(0, 0, 255, 0);
    w.u8(0x12).matrix().u8(0x81).u8(128).rgba(0, 0, 0, 255);
    w.u8(0x13).matrix().u8(0x01).u8(10).rgba(0, 0, 0, 255).u8(0x80).u8(0xFF); // focal -0.5
    for (std::uint8_t t = 0x40; t <= 0x43; ++t)
        w.u8(t).u16(99).matrix(20, 20);
    w.u8(2);
    // LINESTYLE2: square start cap, miter join, no fill; end cap none, NoClose.
    w.u16(30).u8(0b10'10'0'1'0'0).u8(0b00000'1'01).u16(3 << 8).rgba(5, 6, 7, 8);
    // LINESTYLE2 with a solid fill instead of a colour.
    w.u16(10).u8(0x08).u8(0).u8(0x00).rgba(200, 100, 50, 25);
    Records r(w, 0, 0);
    r.end();
    auto movie = load(swftest::tag(83, w));
    const auto* s = movie->dictionary.findAs<swf::Shape>(4);
    ASSERT_TRUE(s);
    EXPECT_EQ(s->edgeBounds, (swf::Rect{5, 95, 5, 95}));
    EXPECT_TRUE(s->windingRule);
    EXPECT_EQ(s->geometry().fillRule, Qt::WindingFill);
    EXPECT_TRUE(s->scalingStrokes);
    const auto& fills = s->styleTables[0].fills;
    ASSERT_EQ(fills.size(), 8u);
    EXPECT_EQ(fills[0].color, (swf::Rgba{1, 2, 3, 4}));
    EXPECT_EQ(fills[1].type, swf::FillType::LinearGradient);
    EXPECT_DOUBLE_EQ(fills[1].matrix.m11(), 0.5);
    EXPECT_EQ(fills[1].gradient.spread, swf::SpreadMode::Reflect);
    EXPECT_EQ(fills[1].gradient.interpolation, swf::InterpolationMode::Rgb);
    ASSERT_EQ(fills[1].gradient.stops.size(), 2u);
    EXPECT_EQ(fills[1].gradient.stops[1].ratio, 255);
    EXPECT_EQ(fills[1].gradient.stops[1].color, (swf::Rgba{0, 0, 255, 0}));
    EXPECT_EQ(fills[2].type, swf::FillType::RadialGradient);
    EXPECT_EQ(fills[2].gradient.spread, swf::SpreadMode::Repeat);
    EXPECT_EQ(fills[3].type, swf::FillType::FocalGradient);
    EXPECT_DOUBLE_EQ(fills[3].gradient.focalPoint, -0.5);
    EXPECT_TRUE(fills[4].isBitmap() && fills[4].isRepeating() && fills[4].isSmoothed());
    EXPECT_TRUE(!fills[5].isRepeating() && fills[5].isSmoothed());
    EXPECT_TRUE(fills[6].isRepeating() && !fills[6].isSmoothed());
    EXPECT_TRUE(!fills[7].isRepeating() && !fills[7].isSmoothed());
    EXPECT_EQ(fills[7].bitmapId, 99);
    EXPECT_DOUBLE_EQ(fills[7].matrix.m11(), 20);
    const auto& lines = s->styleTables[0].lines;
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].startCap, swf::CapStyle::Square);
    EXPECT_EQ(lines[0].join, swf::JoinStyle::Miter);
    EXPECT_DOUBLE_EQ(lines[0].miterLimit, 3.0);
    EXPECT_TRUE(lines[0].noHScale);
    EXPECT_TRUE(lines[0].noClose);
    EXPECT_EQ(lines[0].endCap, swf::CapStyle::None);
    EXPECT_EQ(lines[0].color, (swf::Rgba{5, 6, 7, 8}));
    EXPECT_TRUE(lines[1].hasFill);
    EXPECT_EQ(lines[1].fill.color, (swf::Rgba{200, 100, 50, 25}));
}

TEST(Shape, TruncatedRecordsKeepWhatWasRead) {
    Bytes t = shape1(1, [](Records& r) {
        r.style(K, 1, K, true, 0, 0).hline(100).vline(100).hline(-100).vline(-100);
    });
    // Cut the tag body inside the last edge (the header's length is fixed up to match).
    Bytes body(t.begin() + 2, t.end() - 4);
    auto movie = load(swftest::tag(2, body));
    const auto* s = movie->dictionary.findAs<swf::Shape>(1);
    ASSERT_TRUE(s);
    EXPECT_GE(s->records.size(), 3u);
    EXPECT_LT(s->records.size(), 5u);
    EXPECT_FALSE(s->geometry().layers.empty());
}

TEST(MorphShape, InterpolatesEdgesStylesAndMixedEdgeKinds) {
    Writer w;
    w.u16(5).rect(0, 100, 0, 100).rect(0, 200, 0, 200);
    Writer styles;
    styles.u8(1).u8(0x00).rgba(0, 0, 0, 255).rgba(200, 100, 0, 55);
    styles.u8(1).u16(20).u16(60).rgba(0, 0, 0, 255).rgba(0, 0, 0, 255);
    Writer start;
    {
        Records r(start, 1, 1);
        r.style(K, 1, 1, true, 0, 0).hline(100).vline(100).hline(-100).line(0, -100);
        r.end();
    }
    Writer endEdges;
    {
        Records r(endEdges, 0, 0);
        r.moveTo(0, 0).hline(200).vline(200).hline(-200).curve(0, -100, 0, -100);
        r.end();
    }
    w.u32(std::uint32_t(styles.size() + start.size()));
    w.bytes(styles.data()).bytes(start.data()).bytes(endEdges.data());
    auto movie = load(swftest::tag(46, w));
    const auto* m = movie->dictionary.findAs<swf::MorphShape>(5);
    ASSERT_TRUE(m);
    EXPECT_EQ(m->boundsAt(32768).xMax, 150);
    auto at = [&](std::uint16_t ratio) { return m->geometryAt(ratio); };
    const auto g0 = at(0), g1 = at(65535), gh = at(32768);
    ASSERT_EQ(g0.layers.size(), 1u);
    EXPECT_EQ(g0.layers[0].fills[0].path.boundingRect(), QRectF(0, 0, 100, 100));
    EXPECT_EQ(g1.layers[0].fills[0].path.boundingRect(), QRectF(0, 0, 200, 200));
    EXPECT_NEAR(gh.layers[0].fills[0].path.boundingRect().width(), 150, 1);
    EXPECT_EQ(gh.layers[0].fills[0].style.color, (swf::Rgba{100, 50, 0, 155}));
    EXPECT_EQ(gh.layers[0].strokes[0].style.width, 40);
    // The last edge is straight at the start and curved at the end: a curve in between.
    const QPainterPath& stroke = gh.layers[0].strokes[0].path;
    bool hasCurve = false;
    for (int i = 0; i < stroke.elementCount(); ++i)
        hasCurve |= stroke.elementAt(i).isCurveTo();
    EXPECT_TRUE(hasCurve);
}

// Contours come rightmost first (the rasteriser is much faster so), with the fill unchanged: a
// square with a square hole at the left, a lone square at the right, and a curved stroke.
TEST(Shape, ContoursComeRightmostFirstWithTheSameFill) {
    auto movie = load(shape1(1, [](Records& r) {
        r.style(K, 1, K, true, 0, 0).hline(100).vline(100).hline(-100).vline(-100);
        r.moveTo(25, 25).hline(50).vline(50).hline(-50).vline(-50);
        r.style(K, 0, 1, true, 200, 0).curve(50, 0, 0, 50);
        r.style(K, 1, 0, true, 300, 0).hline(50).vline(50).hline(-50).vline(-50);
        r.style(K, 0, 1, true, 100, 300).hline(50);
    }));
    const auto& g = movie->dictionary.findAs<swf::Shape>(1)->geometry();
    ASSERT_EQ(g.layers.size(), 1u);
    const QPainterPath& fill = g.layers[0].fills[0].path;
    ASSERT_EQ(countMoves(fill), 3);
    EXPECT_EQ(fill.elementAt(0).x, 300);
    EXPECT_EQ(fill.fillRule(), Qt::OddEvenFill);
    EXPECT_TRUE(fill.contains(QPointF(10, 10)));
    EXPECT_FALSE(fill.contains(QPointF(50, 50))); // the hole
    EXPECT_TRUE(fill.contains(QPointF(325, 25)));
    EXPECT_FALSE(fill.contains(QPointF(200, 25)));

    const QPainterPath& stroke = g.layers[0].strokes[0].path;
    ASSERT_EQ(countMoves(stroke), 2);
    EXPECT_EQ(stroke.elementAt(0).x, 200);
    EXPECT_EQ(stroke.elementAt(1).type, QPainterPath::CurveToElement); // the curve kept whole
    EXPECT_EQ(stroke.elementAt(3).x, 250);
    EXPECT_EQ(stroke.elementAt(3).y, 50);
    EXPECT_EQ(stroke.elementAt(4).isMoveTo(), true);
    EXPECT_EQ(stroke.elementAt(5).x, 150);
}
