#pragma once

#include "swf/render/canvas.h"

#include <QPainter>

namespace swf::render {

enum class Quality { Low, Medium, High };

// Draws with a QPainter, usually on a QImage. Low quality draws without anti-aliasing; medium
// anti-aliases edges but never filters bitmaps; high does both, bitmaps as their fills ask.
class PainterCanvas : public Canvas {
public:
    PainterCanvas(QPainter& painter, Quality quality = Quality::High);

    void save() override;
    void restore() override;
    void clip(const QPainterPath& path, const QTransform& m) override;
    void fillPath(const QPainterPath& path, const QBrush& brush, const QTransform& m,
                  bool smooth) override;
    void strokePath(const QPainterPath& devicePath, const QPen& pen) override;
    void drawImage(const QImage& image, const QTransform& m, bool smooth) override;
    QRectF visibleArea() const override { return m_visible; }

private:
    void setSmooth(bool smooth);

    QPainter& m_p;
    Quality m_quality;
    QTransform m_base; // the painter's transform when handed over
    QRectF m_visible;
};

} // namespace swf::render
