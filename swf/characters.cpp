#include "swf/characters.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <limits>

namespace swf {
namespace {

double lerp(double a, double b, double t) {
    return a + (b - a) * t;
}

std::uint8_t lerp8(std::uint8_t a, std::uint8_t b, double t) {
    return static_cast<std::uint8_t>(std::clamp(std::lround(lerp(a, b, t)), 0L, 255L));
}

Rgba lerpColor(Rgba a, Rgba b, double t) {
    return Rgba{lerp8(a.r, b.r, t), lerp8(a.g, b.g, t), lerp8(a.b, b.b, t), lerp8(a.a, b.a, t)};
}

QTransform lerpMatrix(const QTransform& a, const QTransform& b, double t) {
    return QTransform(lerp(a.m11(), b.m11(), t), lerp(a.m12(), b.m12(), t),
                      lerp(a.m21(), b.m21(), t), lerp(a.m22(), b.m22(), t), lerp(a.dx(), b.dx(), t),
                      lerp(a.dy(), b.dy(), t));
}

std::int32_t toInt32(double v) {
    return static_cast<std::int32_t>(std::clamp(std::round(v),
                                                double(std::numeric_limits<std::int32_t>::min()),
                                                double(std::numeric_limits<std::int32_t>::max())));
}

// An edge in absolute coordinates; straight edges have their control point in the middle.
struct AbsEdge {
    double cx, cy, ax, ay;
    bool curve;
};

AbsEdge absolute(const ShapeRecord& r, double& penX, double& penY) {
    AbsEdge e{};
    if (r.kind == ShapeRecord::Kind::Curve) {
        e.cx = penX + r.controlX;
        e.cy = penY + r.controlY;
        e.ax = e.cx + r.anchorX;
        e.ay = e.cy + r.anchorY;
        e.curve = true;
    } else {
        e.ax = penX + r.anchorX;
        e.ay = penY + r.anchorY;
        e.cx = (penX + e.ax) / 2;
        e.cy = (penY + e.ay) / 2;
        e.curve = false;
    }
    penX = e.ax;
    penY = e.ay;
    return e;
}

} // namespace

std::uint64_t Character::nextSerial() {
    static std::atomic<std::uint64_t> next{1};
    return next.fetch_add(1, std::memory_order_relaxed);
}

const ShapeGeometry& Shape::geometry() const {
    std::call_once(m_once,
                   [this] { m_geometry = buildShapeGeometry(styleTables, records, windingRule); });
    return m_geometry;
}

FillStyle MorphFillStyle::at(double t) const {
    FillStyle f;
    f.type = type;
    f.color = lerpColor(startColor, endColor, t);
    f.matrix = lerpMatrix(startMatrix, endMatrix, t);
    f.gradient.spread = spread;
    f.gradient.interpolation = interpolation;
    for (const auto& s : stops)
        f.gradient.stops.push_back(
            {lerp8(s.startRatio, s.endRatio, t), lerpColor(s.startColor, s.endColor, t)});
    f.gradient.focalPoint = lerp(startFocalPoint, endFocalPoint, t);
    f.bitmapId = bitmapId;
    return f;
}

LineStyle MorphLineStyle::at(double t) const {
    LineStyle l;
    l.width = static_cast<std::uint16_t>(std::lround(lerp(startWidth, endWidth, t)));
    l.color = lerpColor(startColor, endColor, t);
    l.startCap = startCap;
    l.endCap = endCap;
    l.join = join;
    l.miterLimit = miterLimit;
    l.hasFill = hasFill;
    if (hasFill)
        l.fill = fill.at(t);
    l.noHScale = noHScale;
    l.noVScale = noVScale;
    l.pixelHinting = pixelHinting;
    l.noClose = noClose;
    return l;
}

ShapeGeometry MorphShape::geometryAt(std::uint16_t ratio) const {
    const double t = ratio / 65535.0;
    std::vector<StyleTable> tables(1);
    for (const auto& f : fills)
        tables[0].fills.push_back(f.at(t));
    for (const auto& l : lines)
        tables[0].lines.push_back(l.at(t));

    std::vector<ShapeRecord> out;
    out.reserve(startRecords.size());
    double sx = 0, sy = 0, ex = 0, ey = 0;
    std::int64_t ox = 0, oy = 0; // the pen of the records written so far
    std::size_t e = 0;
    for (const ShapeRecord& s : startRecords) {
        if (s.kind == ShapeRecord::Kind::StyleChange) {
            ShapeRecord rec = s;
            rec.newStyles = false; // morph shapes have a single style table
            if (s.moveTo) {
                sx = s.moveX;
                sy = s.moveY;
                // Pair with the next move of the end shape; end edges are not skipped.
                while (e < endRecords.size() &&
                       endRecords[e].kind == ShapeRecord::Kind::StyleChange &&
                       !endRecords[e].moveTo)
                    ++e;
                if (e < endRecords.size() && endRecords[e].kind == ShapeRecord::Kind::StyleChange) {
                    ex = endRecords[e].moveX;
                    ey = endRecords[e].moveY;
                    ++e;
                } else {
                    ex = sx;
                    ey = sy;
                }
                rec.moveX = toInt32(lerp(sx, ex, t));
                rec.moveY = toInt32(lerp(sy, ey, t));
                ox = rec.moveX;
                oy = rec.moveY;
            }
            out.push_back(rec);
            continue;
        }
        const AbsEdge a = absolute(s, sx, sy);
        while (e < endRecords.size() && endRecords[e].kind == ShapeRecord::Kind::StyleChange) {
            if (endRecords[e].moveTo) {
                ex = endRecords[e].moveX;
                ey = endRecords[e].moveY;
            }
            ++e;
        }
        AbsEdge b;
        if (e < endRecords.size())
            b = absolute(endRecords[e++], ex, ey);
        else
            b = a; // an end shape with fewer edges: this edge does not move
        ShapeRecord rec;
        const std::int32_t ax = toInt32(lerp(a.ax, b.ax, t));
        const std::int32_t ay = toInt32(lerp(a.ay, b.ay, t));
        if (!a.curve && !b.curve) {
            rec.kind = ShapeRecord::Kind::Straight;
            rec.anchorX = toInt32(double(ax) - double(ox));
            rec.anchorY = toInt32(double(ay) - double(oy));
        } else {
            rec.kind = ShapeRecord::Kind::Curve;
            const std::int32_t cx = toInt32(lerp(a.cx, b.cx, t));
            const std::int32_t cy = toInt32(lerp(a.cy, b.cy, t));
            rec.controlX = toInt32(double(cx) - double(ox));
            rec.controlY = toInt32(double(cy) - double(oy));
            rec.anchorX = toInt32(double(ax) - double(cx));
            rec.anchorY = toInt32(double(ay) - double(cy));
        }
        ox = ax;
        oy = ay;
        out.push_back(rec);
    }
    return buildShapeGeometry(tables, out, false);
}

Rect MorphShape::boundsAt(std::uint16_t ratio) const {
    const double t = ratio / 65535.0;
    return Rect{toInt32(lerp(startBounds.xMin, endBounds.xMin, t)),
                toInt32(lerp(startBounds.xMax, endBounds.xMax, t)),
                toInt32(lerp(startBounds.yMin, endBounds.yMin, t)),
                toInt32(lerp(startBounds.yMax, endBounds.yMax, t))};
}

int Font::glyphForCode(std::uint16_t code) const {
    for (std::size_t i = 0; i < glyphs.size(); ++i) {
        if (glyphs[i].code == code)
            return int(i);
    }
    return -1;
}

const QPainterPath& Font::glyphPath(std::size_t index) const {
    std::call_once(m_once, [this] {
        m_paths.reserve(glyphs.size());
        for (const auto& g : glyphs)
            m_paths.push_back(buildOutline(g.records));
    });
    static const QPainterPath kEmpty;
    return index < m_paths.size() ? m_paths[index] : kEmpty;
}

const VideoPacket* VideoStream::packet(std::uint16_t frameNumber) const {
    const std::ptrdiff_t i = indexAtOrBefore(frameNumber);
    return i >= 0 && packets[std::size_t(i)].frameNumber == frameNumber ? &packets[std::size_t(i)]
                                                                        : nullptr;
}

std::ptrdiff_t VideoStream::indexAtOrBefore(std::uint16_t frameNumber) const {
    auto it =
        std::upper_bound(packets.begin(), packets.end(), frameNumber,
                         [](std::uint16_t n, const VideoPacket& p) { return n < p.frameNumber; });
    return (it - packets.begin()) - 1;
}

} // namespace swf
