#include "swf/drawing.h"

#include <algorithm>
#include <cmath>

namespace swf {

bool DrawingShape::admit() {
    if (m_edges >= kMaxEdges || (m_total && *m_total >= kMaxTotalEdges))
        return false;
    ++m_edges;
    if (m_total)
        ++*m_total;
    ++m_generation;
    return true;
}

void DrawingShape::release() {
    if (m_total)
        *m_total -= std::min(*m_total, m_edges);
    m_edges = 0;
}

FillPath* DrawingShape::openFill() {
    if (!m_fill)
        return nullptr;
    return &m_geometry.layers[m_fill->first].fills[m_fill->second];
}

StrokePath* DrawingShape::openStroke() {
    if (!m_line)
        return nullptr;
    if (!m_stroke) {
        if (m_geometry.layers.empty())
            m_geometry.layers.emplace_back();
        auto& strokes = m_geometry.layers.back().strokes;
        strokes.push_back({*m_line, {}});
        m_stroke = {m_geometry.layers.size() - 1, strokes.size() - 1};
    }
    return &m_geometry.layers[m_stroke->first].strokes[m_stroke->second];
}

void DrawingShape::grow(QPointF p) {
    // By corners: QRectF::united ignores rectangles without area, as a lone point is.
    const double half = m_line ? std::max<double>(m_line->width, 20) / 2 : 0;
    const QPointF lo(p.x() - half, p.y() - half), hi(p.x() + half, p.y() + half);
    if (!m_hasBounds) {
        m_bounds = QRectF(lo, hi);
        m_hasBounds = true;
        return;
    }
    m_bounds.setLeft(std::min(m_bounds.left(), lo.x()));
    m_bounds.setTop(std::min(m_bounds.top(), lo.y()));
    m_bounds.setRight(std::max(m_bounds.right(), hi.x()));
    m_bounds.setBottom(std::max(m_bounds.bottom(), hi.y()));
}

void DrawingShape::beginFill(const FillStyle& fill) {
    closeFill();
    ++m_generation;
    // A fill begun after strokes draws above them: it starts a layer of its own, and so does
    // the stroke that follows.
    if (m_geometry.layers.empty() || !m_geometry.layers.back().strokes.empty())
        m_geometry.layers.emplace_back();
    m_stroke.reset();
    auto& fills = m_geometry.layers.back().fills;
    FillPath path{fill, {}};
    path.path.moveTo(m_pen);
    fills.push_back(std::move(path));
    m_fill = {m_geometry.layers.size() - 1, fills.size() - 1};
    m_fillStart = m_pen;
}

void DrawingShape::closeFill() {
    if (!m_fill)
        return;
    // An open outline is closed with a straight edge, stroked like the others.
    if (m_pen != m_fillStart)
        lineTo(m_fillStart);
    m_fill.reset();
}

void DrawingShape::endFill() {
    closeFill();
    ++m_generation;
}

void DrawingShape::lineStyle(std::optional<LineStyle> line) {
    m_line = std::move(line);
    m_stroke.reset();
    ++m_generation;
}

void DrawingShape::lineFill(const FillStyle& fill) {
    if (!m_line)
        return;
    LineStyle line = *m_line;
    line.hasFill = true;
    line.fill = fill;
    lineStyle(line);
}

void DrawingShape::moveTo(QPointF p) {
    m_pen = p;
    if (FillPath* f = openFill()) {
        f->path.moveTo(p);
        m_fillStart = p;
    }
}

void DrawingShape::lineTo(QPointF p) {
    if (!admit())
        return;
    if (FillPath* f = openFill())
        f->path.lineTo(p);
    if (StrokePath* s = openStroke()) {
        if (s->path.isEmpty() || s->path.currentPosition() != m_pen)
            s->path.moveTo(m_pen);
        s->path.lineTo(p);
    }
    grow(m_pen);
    grow(p);
    m_pen = p;
}

void DrawingShape::curveTo(QPointF control, QPointF anchor) {
    if (!admit())
        return;
    if (FillPath* f = openFill())
        f->path.quadTo(control, anchor);
    if (StrokePath* s = openStroke()) {
        if (s->path.isEmpty() || s->path.currentPosition() != m_pen)
            s->path.moveTo(m_pen);
        s->path.quadTo(control, anchor);
    }
    grow(m_pen);
    grow(anchor);
    // The curve's extremes lie between its ends, short of the control point.
    for (int axis = 0; axis < 2; ++axis) {
        auto at = [axis](QPointF p) { return axis == 0 ? p.x() : p.y(); };
        const double p0 = at(m_pen), c = at(control), p1 = at(anchor);
        const double denom = p0 - 2 * c + p1;
        if (denom == 0)
            continue;
        const double t = (p0 - c) / denom;
        if (t > 0 && t < 1) {
            const double u = 1 - t;
            // To 1/64 twip: an extreme at an end (a circle's arc) must not come out a rounding
            // error beyond it.
            const QPointF e = m_pen * u * u + control * 2 * u * t + anchor * t * t;
            grow(QPointF(std::round(e.x() * 64) / 64, std::round(e.y() * 64) / 64));
        }
    }
    m_pen = anchor;
}

void DrawingShape::clear() {
    release();
    m_geometry = {};
    ++m_generation;
    m_bounds = {};
    m_hasBounds = false;
    m_pen = {};
    m_fill.reset();
    m_stroke.reset();
    m_fillStart = {};
    m_line.reset();
}

void DrawingShape::copyFrom(const DrawingShape& other) {
    clear();
    // The copy counts its edges against this drawing's limits as if it had drawn them.
    const std::size_t room = std::min(
        kMaxEdges, m_total ? kMaxTotalEdges - std::min(kMaxTotalEdges, *m_total) : kMaxEdges);
    if (other.m_edges > room)
        return;
    m_geometry = other.m_geometry;
    m_edges = other.m_edges;
    if (m_total)
        *m_total += m_edges;
    m_bounds = other.m_bounds;
    m_hasBounds = other.m_hasBounds;
    m_pen = other.m_pen;
    m_fill = other.m_fill;
    m_stroke = other.m_stroke;
    m_fillStart = other.m_fillStart;
    m_line = other.m_line;
    ++m_generation;
}

} // namespace swf
