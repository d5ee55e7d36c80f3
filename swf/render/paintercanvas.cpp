#include "swf/render/paintercanvas.h"

namespace swf::render {

PainterCanvas::PainterCanvas(QPainter& painter, Quality quality)
    : m_p(painter), m_quality(quality), m_base(painter.transform()) {
    m_p.setRenderHint(QPainter::Antialiasing, quality != Quality::Low);
    m_p.setPen(Qt::NoPen);
    if (const QPaintDevice* device = m_p.device()) {
        QRectF area = m_base.inverted().mapRect(QRectF(0, 0, device->width(), device->height()));
        if (m_p.hasClipping())
            area &= m_p.clipBoundingRect();
        if (area.isEmpty()) // an empty clip: nothing shows, but an empty rect means unbounded
            area = QRectF(-1e9, -1e9, 1, 1);
        m_visible = area;
    }
}

void PainterCanvas::save() {
    m_p.save();
}

void PainterCanvas::restore() {
    m_p.restore();
}

void PainterCanvas::clip(const QPainterPath& path, const QTransform& m) {
    m_p.setTransform(m * m_base);
    m_p.setClipPath(path, Qt::IntersectClip);
}

void PainterCanvas::setSmooth(bool smooth) {
    m_p.setRenderHint(QPainter::SmoothPixmapTransform, smooth && m_quality == Quality::High);
}

void PainterCanvas::fillPath(const QPainterPath& path, const QBrush& brush, const QTransform& m,
                             bool smooth) {
    m_p.setTransform(m * m_base);
    setSmooth(smooth);
    m_p.fillPath(path, brush);
}

void PainterCanvas::strokePath(const QPainterPath& devicePath, const QPen& pen) {
    m_p.setTransform(m_base);
    setSmooth(true);
    m_p.strokePath(devicePath, pen);
}

void PainterCanvas::drawImage(const QImage& image, const QTransform& m, bool smooth) {
    m_p.setTransform(m * m_base);
    setSmooth(smooth);
    m_p.drawImage(QPointF(0, 0), image);
}

} // namespace swf::render
