#include "swf/shape.h"

#include <algorithm>
#include <numeric>

namespace swf {
namespace {

// A hostile shape could otherwise declare tens of thousands of style changes with a style table
// each; real shapes stay far below this.
constexpr std::size_t kMaxStyleTables = 4096;

struct Edge {
    std::int64_t x0, y0, cx, cy, x1, y1;
    bool curve;

    Edge reversed() const { return Edge{x1, y1, cx, cy, x0, y0, curve}; }
};

void appendEdge(QPainterPath& path, const Edge& e) {
    if (e.curve)
        path.quadTo(double(e.cx), double(e.cy), double(e.x1), double(e.y1));
    else
        path.lineTo(double(e.x1), double(e.y1));
}

bool startsBefore(const Edge& a, const Edge& b) {
    return a.x0 < b.x0 || (a.x0 == b.x0 && a.y0 < b.y0);
}

// Chains fragments head to tail into closed contours. Every edge is used once; the search for
// the next edge is a binary search over edges sorted by their start point.
QPainterPath assembleContours(std::vector<Edge>& edges) {
    QPainterPath path;
    const std::size_t n = edges.size();
    std::vector<std::uint32_t> order(n);
    std::iota(order.begin(), order.end(), 0u);
    std::stable_sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) {
        return startsBefore(edges[a], edges[b]);
    });
    // skip[i]: where to look next once position i of `order` is used (path-compressed).
    std::vector<std::uint32_t> skip(n);
    std::iota(skip.begin(), skip.end(), 1u);
    std::vector<bool> used(n, false);
    auto firstUnusedFrom = [&](std::uint32_t i) {
        std::uint32_t j = i;
        while (j < n && used[order[j]])
            j = skip[j];
        for (std::uint32_t k = i; k < j;) {
            const std::uint32_t next = skip[k];
            skip[k] = j;
            k = next;
        }
        return j;
    };

    for (std::size_t first = 0; first < n; ++first) {
        if (used[first])
            continue;
        const std::int64_t sx = edges[first].x0, sy = edges[first].y0;
        path.moveTo(double(sx), double(sy));
        std::size_t cur = first;
        for (;;) {
            used[cur] = true;
            appendEdge(path, edges[cur]);
            const std::int64_t ex = edges[cur].x1, ey = edges[cur].y1;
            if (ex == sx && ey == sy)
                break;
            const Edge probe{ex, ey, 0, 0, 0, 0, false};
            auto it = std::lower_bound(
                order.begin(), order.end(), probe,
                [&](std::uint32_t idx, const Edge& p) { return startsBefore(edges[idx], p); });
            const std::uint32_t pos = firstUnusedFrom(std::uint32_t(it - order.begin()));
            if (pos >= n || edges[order[pos]].x0 != ex || edges[order[pos]].y0 != ey)
                break; // open contour: the fill closes it
            cur = order[pos];
        }
        path.closeSubpath();
    }
    return path;
}

// The same subpaths, rightmost first. Neither fill rule depends on the order of contours, but
// Qt's anti-aliasing rasteriser keeps each pixel row's cells in a list sorted by x and walks it
// from the left for every new cell: contours coming left to right (a line of text) make that
// quadratic in the width of the path, right to left keeps each walk short.
QPainterPath rightmostFirst(const QPainterPath& path) {
    struct Sub {
        int begin, end;
        double left;
    };
    std::vector<Sub> subs;
    const int n = path.elementCount();
    for (int i = 0; i < n; ++i) {
        const QPainterPath::Element e = path.elementAt(i);
        if (e.type == QPainterPath::MoveToElement || subs.empty()) {
            if (!subs.empty())
                subs.back().end = i;
            subs.push_back({i, n, e.x});
        }
        subs.back().left = std::min(subs.back().left, e.x);
    }
    if (subs.size() < 2)
        return path;
    std::stable_sort(subs.begin(), subs.end(),
                     [](const Sub& a, const Sub& b) { return a.left > b.left; });
    QPainterPath out;
    out.setFillRule(path.fillRule());
    out.reserve(n);
    for (const Sub& sub : subs) {
        for (int i = sub.begin; i < sub.end; ++i) {
            const QPainterPath::Element e = path.elementAt(i);
            if (e.type == QPainterPath::MoveToElement) {
                out.moveTo(e.x, e.y);
            } else if (e.type == QPainterPath::CurveToElement && i + 2 < sub.end) {
                const QPainterPath::Element c2 = path.elementAt(i + 1);
                const QPainterPath::Element end = path.elementAt(i + 2);
                out.cubicTo(e.x, e.y, c2.x, c2.y, end.x, end.y);
                i += 2;
            } else {
                out.lineTo(e.x, e.y);
            }
        }
    }
    return out;
}

QPainterPath chainStrokes(const std::vector<Edge>& edges) {
    QPainterPath path;
    bool havePen = false;
    std::int64_t px = 0, py = 0;
    for (const Edge& e : edges) {
        if (!havePen || e.x0 != px || e.y0 != py)
            path.moveTo(double(e.x0), double(e.y0));
        appendEdge(path, e);
        px = e.x1;
        py = e.y1;
        havePen = true;
    }
    return path;
}

// Walks records with the pen and hands each edge with the fill0/fill1/line in effect.
template <typename OnEdge, typename OnNewStyles>
void walkRecords(const std::vector<ShapeRecord>& records, OnEdge onEdge, OnNewStyles onNewStyles) {
    std::int64_t x = 0, y = 0;
    std::uint32_t fill0 = 0, fill1 = 0, line = 0;
    for (const ShapeRecord& rec : records) {
        switch (rec.kind) {
        case ShapeRecord::Kind::StyleChange:
            if (rec.newStyles) {
                onNewStyles();
                fill0 = fill1 = line = 0;
            }
            if (rec.setFill0)
                fill0 = rec.fill0;
            if (rec.setFill1)
                fill1 = rec.fill1;
            if (rec.setLine)
                line = rec.line;
            if (rec.moveTo) {
                x = rec.moveX;
                y = rec.moveY;
            }
            break;
        case ShapeRecord::Kind::Straight: {
            const Edge e{x, y, x, y, x + rec.anchorX, y + rec.anchorY, false};
            onEdge(e, fill0, fill1, line);
            x = e.x1;
            y = e.y1;
            break;
        }
        case ShapeRecord::Kind::Curve: {
            const std::int64_t cx = x + rec.controlX, cy = y + rec.controlY;
            const Edge e{x, y, cx, cy, cx + rec.anchorX, cy + rec.anchorY, true};
            onEdge(e, fill0, fill1, line);
            x = e.x1;
            y = e.y1;
            break;
        }
        }
    }
}

std::uint16_t checkedIndex(std::uint32_t index, std::size_t count) {
    return index <= count ? std::uint16_t(index) : 0;
}

} // namespace

ShapeGeometry buildShapeGeometry(const std::vector<StyleTable>& tables,
                                 const std::vector<ShapeRecord>& records, bool windingRule) {
    ShapeGeometry geometry;
    geometry.fillRule = windingRule ? Qt::WindingFill : Qt::OddEvenFill;
    static const StyleTable kEmpty;
    std::size_t group = 0;
    std::vector<std::vector<Edge>> fills, lines;
    auto table = [&]() -> const StyleTable& {
        return group < tables.size() ? tables[group] : kEmpty;
    };
    auto startGroup = [&] {
        fills.assign(table().fills.size() + 1, {});
        lines.assign(table().lines.size() + 1, {});
    };
    auto flushGroup = [&] {
        ShapeLayer layer;
        for (std::size_t i = 1; i < fills.size(); ++i) {
            if (fills[i].empty())
                continue;
            QPainterPath path = rightmostFirst(assembleContours(fills[i]));
            path.setFillRule(geometry.fillRule);
            layer.fills.push_back({table().fills[i - 1], std::move(path)});
        }
        for (std::size_t i = 1; i < lines.size(); ++i) {
            if (!lines[i].empty())
                layer.strokes.push_back(
                    {table().lines[i - 1], rightmostFirst(chainStrokes(lines[i]))});
        }
        if (!layer.fills.empty() || !layer.strokes.empty())
            geometry.layers.push_back(std::move(layer));
    };
    startGroup();
    walkRecords(
        records,
        [&](const Edge& e, std::uint32_t fill0, std::uint32_t fill1, std::uint32_t line) {
            // Fill1 lies right of the edge and fill0 left: reversing fill0 edges puts every
            // fragment of one fill on the same side, so fragments chain head to tail.
            if (fill1 && fill1 < fills.size())
                fills[fill1].push_back(e);
            if (fill0 && fill0 < fills.size())
                fills[fill0].push_back(e.reversed());
            if (line && line < lines.size())
                lines[line].push_back(e);
        },
        [&] {
            flushGroup();
            ++group;
            startGroup();
        });
    flushGroup();
    return geometry;
}

QPainterPath buildOutline(const std::vector<ShapeRecord>& records) {
    std::vector<Edge> edges;
    walkRecords(
        records,
        [&](const Edge& e, std::uint32_t fill0, std::uint32_t fill1, std::uint32_t) {
            if (fill1)
                edges.push_back(e);
            if (fill0)
                edges.push_back(e.reversed());
        },
        [] {});
    QPainterPath path = assembleContours(edges);
    path.setFillRule(Qt::WindingFill);
    return path;
}

namespace detail {

FillStyle readFillStyle(BitReader& r, int level) {
    FillStyle f;
    const std::uint8_t type = r.u8();
    switch (type) {
    case 0x00:
        f.type = FillType::Solid;
        f.color = level >= 3 ? readRgba(r) : readRgb(r);
        break;
    case 0x10:
    case 0x12:
    case 0x13: {
        f.type = FillType(type);
        f.matrix = readMatrix(r);
        const std::uint8_t head = r.u8();
        const unsigned spread = head >> 6;
        f.gradient.spread = spread <= 2 ? SpreadMode(spread) : SpreadMode::Pad;
        f.gradient.interpolation =
            ((head >> 4) & 3) == 1 ? InterpolationMode::LinearRgb : InterpolationMode::Rgb;
        const unsigned count = head & 0x0F;
        for (unsigned i = 0; i < count && !r.failed(); ++i) {
            GradientStop stop;
            stop.ratio = r.u8();
            stop.color = level >= 3 ? readRgba(r) : readRgb(r);
            f.gradient.stops.push_back(stop);
        }
        if (type == 0x13)
            f.gradient.focalPoint = std::clamp(r.fixed8(), -1.0, 1.0);
        break;
    }
    case 0x40:
    case 0x41:
    case 0x42:
    case 0x43:
        f.type = FillType(type);
        f.bitmapId = r.u16();
        f.matrix = readMatrix(r);
        break;
    default:
        // The rest of the array cannot be found past an unknown style.
        r.setFailed();
        break;
    }
    return f;
}

LineStyle readLineStyle(BitReader& r, int level) {
    LineStyle l;
    l.width = r.u16();
    if (level < 4) {
        l.color = level >= 3 ? readRgba(r) : readRgb(r);
        return l;
    }
    const std::uint8_t a = r.u8();
    const std::uint8_t b = r.u8();
    auto cap = [](unsigned v) { return v <= 2 ? CapStyle(v) : CapStyle::Round; };
    l.startCap = cap(a >> 6);
    const unsigned join = (a >> 4) & 3;
    l.join = join <= 2 ? JoinStyle(join) : JoinStyle::Round;
    l.hasFill = a & 0x08;
    l.noHScale = a & 0x04;
    l.noVScale = a & 0x02;
    l.pixelHinting = a & 0x01;
    l.noClose = b & 0x04;
    l.endCap = cap(b & 0x03);
    if (l.join == JoinStyle::Miter)
        l.miterLimit = r.u16() / 256.0;
    if (l.hasFill) {
        l.fill = readFillStyle(r, level);
        l.color = l.fill.color;
    } else {
        l.color = readRgba(r);
    }
    return l;
}

StyleTable readStyleTable(BitReader& r, int level) {
    StyleTable t;
    std::size_t fillCount = r.u8();
    if (fillCount == 0xFF && level >= 2)
        fillCount = r.u16();
    for (std::size_t i = 0; i < fillCount && !r.failed(); ++i)
        t.fills.push_back(readFillStyle(r, level));
    std::size_t lineCount = r.u8();
    if (lineCount == 0xFF && level >= 2)
        lineCount = r.u16();
    for (std::size_t i = 0; i < lineCount && !r.failed(); ++i)
        t.lines.push_back(readLineStyle(r, level));
    return t;
}

std::vector<ShapeRecord> readShapeRecords(BitReader& r, int level, std::vector<StyleTable>* tables,
                                          std::size_t fillCount, std::size_t lineCount) {
    std::vector<ShapeRecord> records;
    r.align();
    unsigned fillBits = r.ub(4);
    unsigned lineBits = r.ub(4);
    while (!r.failed()) {
        ShapeRecord rec;
        if (r.flag()) {
            const bool straight = r.flag();
            const unsigned n = r.ub(4) + 2;
            if (straight) {
                rec.kind = ShapeRecord::Kind::Straight;
                const bool general = r.flag();
                const bool vertical = !general && r.flag();
                if (general || !vertical)
                    rec.anchorX = r.sb(n);
                if (general || vertical)
                    rec.anchorY = r.sb(n);
            } else {
                rec.kind = ShapeRecord::Kind::Curve;
                rec.controlX = r.sb(n);
                rec.controlY = r.sb(n);
                rec.anchorX = r.sb(n);
                rec.anchorY = r.sb(n);
            }
        } else {
            const unsigned flags = r.ub(5);
            if (flags == 0 || r.failed())
                break; // end record
            rec.newStyles = flags & 0x10;
            rec.setLine = flags & 0x08;
            rec.setFill1 = flags & 0x04;
            rec.setFill0 = flags & 0x02;
            rec.moveTo = flags & 0x01;
            if (rec.moveTo) {
                const unsigned n = r.ub(5);
                rec.moveX = r.sb(n);
                rec.moveY = r.sb(n);
            }
            const std::uint32_t fill0 = rec.setFill0 ? r.ub(fillBits) : 0;
            const std::uint32_t fill1 = rec.setFill1 ? r.ub(fillBits) : 0;
            const std::uint32_t line = rec.setLine ? r.ub(lineBits) : 0;
            if (rec.newStyles) {
                if (!tables || tables->size() >= kMaxStyleTables) {
                    r.setFailed(); // not allowed here: the rest cannot be trusted
                    break;
                }
                tables->push_back(readStyleTable(r, level));
                fillCount = tables->back().fills.size();
                lineCount = tables->back().lines.size();
                fillBits = r.ub(4);
                lineBits = r.ub(4);
            }
            rec.fill0 = checkedIndex(fill0, fillCount);
            rec.fill1 = checkedIndex(fill1, fillCount);
            rec.line = checkedIndex(line, lineCount);
        }
        if (r.failed())
            break;
        records.push_back(rec);
    }
    r.align();
    return records;
}

} // namespace detail
} // namespace swf
