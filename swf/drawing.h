#pragma once

// What a script draws into a clip with the drawing API (beginFill, lineTo, ...): ordinary fill
// and stroke paths, drawn beneath the clip's children with the clip's transform.

#include "swf/shape.h"

#include <QPainterPath>
#include <QPointF>
#include <QRectF>
#include <cstdint>
#include <optional>

namespace swf {

class DrawingShape {
public:
    // Edges kept per clip and over all clips of a player (counted in `*total`); a script
    // drawing in a loop stops adding past them.
    static constexpr std::size_t kMaxEdges = 100000;
    static constexpr std::size_t kMaxTotalEdges = 1000000;

    explicit DrawingShape(std::size_t* total = nullptr) : m_total(total) {}
    ~DrawingShape() { release(); }
    DrawingShape(const DrawingShape&) = delete;
    DrawingShape& operator=(const DrawingShape&) = delete;

    // Finished fills and strokes, in drawing order, plus the fill and stroke still open.
    const ShapeGeometry& geometry() const { return m_geometry; }
    // Changes with every edit, so caches of the drawn picture can key on it.
    std::uint64_t generation() const { return m_generation; }
    bool empty() const { return m_geometry.layers.empty(); }
    // With stroke widths, twips; empty when nothing is drawn.
    QRectF bounds() const { return m_bounds; }
    std::size_t edgeCount() const { return m_edges; }
    // Where the next edge starts, and the line style in effect (if any).
    QPointF pen() const { return m_pen; }
    const std::optional<LineStyle>& currentLine() const { return m_line; }

    // Coordinates are twips in the clip's space.
    void beginFill(const FillStyle& fill);
    void endFill();
    // No style: the following edges are not stroked.
    void lineStyle(std::optional<LineStyle> line);
    // Paints the current line style's following edges with `fill` (lineGradientStyle); nothing
    // without a line style.
    void lineFill(const FillStyle& fill);
    void moveTo(QPointF p);
    void lineTo(QPointF p);
    void curveTo(QPointF control, QPointF anchor);
    void clear();
    // Becomes a copy of `other` (Graphics.copyFrom); empty when the copy would pass the limits.
    void copyFrom(const DrawingShape& other);

private:
    bool admit();
    void release();
    std::size_t* m_total = nullptr;
    FillPath* openFill();
    StrokePath* openStroke();
    void grow(QPointF p);
    void closeFill();

    ShapeGeometry m_geometry;
    std::uint64_t m_generation = 0;
    QRectF m_bounds;
    bool m_hasBounds = false;
    std::size_t m_edges = 0;
    QPointF m_pen;
    // Where the open fill and the open stroke live in m_geometry (layer, index), if any.
    std::optional<std::pair<std::size_t, std::size_t>> m_fill, m_stroke;
    QPointF m_fillStart;
    std::optional<LineStyle> m_line;
};

} // namespace swf
