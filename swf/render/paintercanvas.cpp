#include "swf/render/paintercanvas.h"

#include <QPainterPathStroker>
#include <algorithm>
#include <cmath>

namespace swf::render {
namespace {

// Qt's anti-aliasing rasteriser works in horizontal bands of a few dozen rows and walks every
// edge over all the rows it spans once per band, so a path's cost grows with the square of its
// height. Edges cut into short pieces are skipped quickly by the bands they miss. Paths lower
// than kTall device pixels are left alone; pieces span at most kPiece rows.
constexpr double kTall = 96;
constexpr double kPiece = 48;
constexpr int kMaxSplitDepth = 16;

class TallPathSplitter {
public:
    explicit TallPathSplitter(Qt::FillRule rule) { m_out.setFillRule(rule); }

    void add(const QPainterPath& path, const QTransform& m) {
        const int n = path.elementCount();
        for (int i = 0; i < n; ++i) {
            const QPainterPath::Element e = path.elementAt(i);
            const QPointF p = m.map(QPointF(e.x, e.y));
            if (e.type == QPainterPath::MoveToElement) {
                m_out.moveTo(p);
                m_pen = p;
            } else if (e.type == QPainterPath::CurveToElement && i + 2 < n) {
                const QPainterPath::Element c2 = path.elementAt(i + 1);
                const QPainterPath::Element end = path.elementAt(i + 2);
                cubic(m_pen, p, m.map(QPointF(c2.x, c2.y)), m.map(QPointF(end.x, end.y)), 0);
                i += 2;
            } else {
                line(p);
            }
        }
    }
    QPainterPath take() { return std::move(m_out); }

private:
    void line(const QPointF& to) {
        const double rows = std::abs(to.y() - m_pen.y());
        const int pieces = rows > kPiece ? int(std::min(4096.0, std::ceil(rows / kPiece))) : 1;
        for (int k = 1; k < pieces; ++k)
            m_out.lineTo(m_pen + (to - m_pen) * (double(k) / pieces));
        m_out.lineTo(to);
        m_pen = to;
    }
    void cubic(const QPointF& a, const QPointF& b, const QPointF& c, const QPointF& d, int depth) {
        const double lo = std::min({a.y(), b.y(), c.y(), d.y()});
        const double hi = std::max({a.y(), b.y(), c.y(), d.y()});
        if (hi - lo <= kPiece || depth >= kMaxSplitDepth) {
            m_out.cubicTo(b, c, d);
            m_pen = d;
            return;
        }
        const QPointF ab = (a + b) / 2, bc = (b + c) / 2, cd = (c + d) / 2;
        const QPointF abc = (ab + bc) / 2, bcd = (bc + cd) / 2, mid = (abc + bcd) / 2;
        cubic(a, ab, abc, mid, depth + 1);
        cubic(mid, bcd, cd, d, depth + 1);
    }

    QPainterPath m_out;
    QPointF m_pen;
};

bool isTall(const QPainterPath& path, const QTransform& m) {
    return m.mapRect(path.controlPointRect()).height() > kTall;
}

QPainterPath splitTall(const QPainterPath& path, const QTransform& m, Qt::FillRule rule) {
    TallPathSplitter splitter(rule);
    splitter.add(path, m);
    return splitter.take();
}

} // namespace

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
    const QTransform device = m * m_base;
    if (isTall(path, device)) {
        m_p.resetTransform();
        m_p.setClipPath(splitTall(path, device, path.fillRule()), Qt::IntersectClip);
        return;
    }
    m_p.setTransform(device);
    m_p.setClipPath(path, Qt::IntersectClip);
}

void PainterCanvas::setSmooth(bool smooth) {
    m_p.setRenderHint(QPainter::SmoothPixmapTransform, smooth && m_quality == Quality::High);
}

void PainterCanvas::fillPath(const QPainterPath& path, const QBrush& brush, const QTransform& m,
                             bool smooth) {
    const QTransform device = m * m_base;
    setSmooth(smooth);
    if (isTall(path, device)) {
        m_p.resetTransform();
        QBrush b = brush;
        b.setTransform(brush.transform() * device);
        m_p.fillPath(splitTall(path, device, path.fillRule()), b);
        return;
    }
    m_p.setTransform(device);
    m_p.fillPath(path, brush);
}

void PainterCanvas::strokePath(const QPainterPath& devicePath, const QPen& pen) {
    setSmooth(true);
    if (isTall(devicePath, m_base)) {
        // The stroke's outline, cut like a tall fill; Qt would fill the same outline.
        QPainterPathStroker stroker(pen);
        m_p.resetTransform();
        QBrush b = pen.brush();
        b.setTransform(b.transform() * m_base);
        m_p.fillPath(splitTall(stroker.createStroke(devicePath), m_base, Qt::WindingFill), b);
        return;
    }
    m_p.setTransform(m_base);
    m_p.strokePath(devicePath, pen);
}

void PainterCanvas::drawImage(const QImage& image, const QTransform& m, bool smooth) {
    m_p.setTransform(m * m_base);
    setSmooth(smooth);
    m_p.drawImage(QPointF(0, 0), image);
}

} // namespace swf::render
