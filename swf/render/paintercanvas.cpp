#include "swf/render/paintercanvas.h"

#include "swf/render/filtercache.h"
#include "swf/render/filters.h"

#include <QPainterPathStroker>
#include <QVarLengthArray>
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

// QPainter::fillPath and strokePath build a vector form of every path they are given (about
// 3 KB, kept with the path until it changes). Script drawings give thousands of new paths a
// frame, and that churn, with glibc handing the top of the heap back to the system and faulting
// it in again, cost more than drawing them. A path that is one polygon (a move, then lines) goes
// to Qt as a point array on the stack instead: the raster engine fills and strokes the same
// points either way, with two exceptions kept off this path: Qt fills four or five points
// that make a rectangle with another rasteriser (padded here with copies of the last point, which
// add nothing to the outline), and strokes a single line wider than a pixel with another too.
// The test PainterCanvas.PolygonsDrawExactlyAsQtDrawsTheirPaths holds this to the pixel.
constexpr int kPolygonPoints = 32;
using PolygonPoints = QVarLengthArray<QPointF, kPolygonPoints + 2>;

bool asPolygon(const QPainterPath& path, PolygonPoints& out) {
    const int n = path.elementCount();
    if (n < 2 || n > kPolygonPoints)
        return false;
    for (int i = 0; i < n; ++i) {
        const QPainterPath::Element& e = path.elementAt(i);
        if (e.type != (i == 0 ? QPainterPath::MoveToElement : QPainterPath::LineToElement))
            return false;
        out.append(QPointF(e.x, e.y));
    }
    return true;
}

} // namespace

PainterCanvas::PainterCanvas(QPainter& painter, Quality quality)
    : m_p(&painter), m_quality(quality), m_base(painter.transform()) {
    startPainter(painter);
    if (const QPaintDevice* device = m_p->device()) {
        QRectF area = m_base.inverted().mapRect(QRectF(0, 0, device->width(), device->height()));
        if (m_p->hasClipping())
            area &= m_p->clipBoundingRect();
        if (area.isEmpty()) // an empty clip: nothing shows, but an empty rect means unbounded
            area = QRectF(-1e9, -1e9, 1, 1);
        m_visible = area;
        m_layerArea = area;
    }
}

void PainterCanvas::startPainter(QPainter& p) {
    p.setRenderHint(QPainter::Antialiasing, m_quality != Quality::Low);
    p.setPen(Qt::NoPen);
}

void PainterCanvas::save() {
    m_p->save();
}

void PainterCanvas::restore() {
    m_p->restore();
}

void PainterCanvas::clip(const QPainterPath& path, const QTransform& m) {
    const QTransform device = m * m_base;
    if (isTall(path, device)) {
        m_p->resetTransform();
        m_p->setClipPath(splitTall(path, device, path.fillRule()), Qt::IntersectClip);
        return;
    }
    m_p->setTransform(device);
    m_p->setClipPath(path, Qt::IntersectClip);
}

void PainterCanvas::setSmooth(bool smooth) {
    m_p->setRenderHint(QPainter::SmoothPixmapTransform, smooth && m_quality == Quality::High);
}

void PainterCanvas::fillPath(const QPainterPath& path, const QBrush& brush, const QTransform& m,
                             bool smooth) {
    const QTransform device = m * m_base;
    setSmooth(smooth);
    if (!fillLargeRect(path, brush, device))
        fillDevice(path, brush, device);
}

bool PainterCanvas::fillLargeRect(const QPainterPath& path, const QBrush& brush,
                                  const QTransform& device) {
    if (m_quality == Quality::Low || brush.style() != Qt::SolidPattern || !brush.isOpaque() ||
        device.type() > QTransform::TxScale || path.elementCount() != 5)
        return false;
    QPointF p[5];
    for (int i = 0; i < 5; ++i) {
        const QPainterPath::Element& e = path.elementAt(i);
        if (e.type != (i == 0 ? QPainterPath::MoveToElement : QPainterPath::LineToElement))
            return false;
        p[i] = device.map(QPointF(e.x, e.y));
    }
    // Four sides along the axes, closed, clockwise on the device from the top left corner: the
    // strips below go round the same way (the rasteriser rounds edges going the other way a
    // little differently).
    const double left = p[0].x(), top = p[0].y(), right = p[2].x(), bottom = p[2].y();
    if (!(p[1].x() == right && p[1].y() == top && p[3].x() == left && p[3].y() == bottom &&
          p[4].x() == left && p[4].y() == top && left < right && top < bottom))
        return false;
    // Pixels wholly inside: the anti-aliasing rasteriser gives them full coverage.
    const double l = std::ceil(left), t = std::ceil(top), r = std::floor(right),
                 b = std::floor(bottom);
    if (r - l < kLargeRect || b - t < kLargeRect || std::max(r - l, b - t) > 1e6)
        return false;
    m_p->resetTransform();
    m_p->fillRect(QRect(int(l), int(t), int(r - l), int(b - t)), brush.color());
    // The edges, each pixel in one strip whose part of it is the rectangle's part: the same
    // coverage as the whole rectangle gives it.
    auto strip = [&](double x0, double y0, double x1, double y1) {
        if (x1 <= x0 || y1 <= y0)
            return;
        QPainterPath edge;
        edge.moveTo(x0, y0);
        edge.lineTo(x1, y0);
        edge.lineTo(x1, y1);
        edge.lineTo(x0, y1);
        edge.closeSubpath();
        fillDevice(edge, brush, QTransform());
    };
    strip(left, top, l, bottom);
    strip(r, top, right, bottom);
    strip(l, top, r, t);
    strip(l, b, r, bottom);
    return true;
}

void PainterCanvas::fillDevice(const QPainterPath& path, const QBrush& brush,
                               const QTransform& device) {
    if (isTall(path, device)) {
        m_p->resetTransform();
        QBrush b = brush;
        b.setTransform(brush.transform() * device);
        m_p->fillPath(splitTall(path, device, path.fillRule()), b);
        return;
    }
    m_p->setTransform(device);
    if (PolygonPoints points; asPolygon(path, points)) {
        while (points.size() == 4 || points.size() == 5)
            points.append(points.back());
        m_p->setBrush(brush);
        m_p->drawPolygon(points.constData(), int(points.size()), path.fillRule());
        return;
    }
    m_p->fillPath(path, brush);
}

void PainterCanvas::strokePath(const QPainterPath& devicePath, const QPen& pen) {
    setSmooth(true);
    if (isTall(devicePath, m_base)) {
        // The stroke's outline, cut like a tall fill; Qt would fill the same outline.
        QPainterPathStroker stroker(pen);
        m_p->resetTransform();
        QBrush b = pen.brush();
        b.setTransform(b.transform() * m_base);
        m_p->fillPath(splitTall(stroker.createStroke(devicePath), m_base, Qt::WindingFill), b);
        return;
    }
    m_p->setTransform(m_base);
    // Thin lines: Qt's aliased thin-line stroker drops points of polygons that it keeps of paths.
    const bool thin = pen.widthF() <= 1;
    if (PolygonPoints points; (!thin || m_quality != Quality::Low) &&
                              asPolygon(devicePath, points) && (points.size() > 2 || thin)) {
        // The polyline with the pen alone; the brush stays, the pen goes back to none.
        m_p->setPen(pen);
        m_p->drawPolyline(points.constData(), int(points.size()));
        m_p->setPen(Qt::NoPen);
        return;
    }
    m_p->strokePath(devicePath, pen);
}

void PainterCanvas::drawImage(const QImage& image, const QTransform& m, bool smooth) {
    m_p->setTransform(m * m_base);
    setSmooth(smooth);
    m_p->drawImage(QPointF(0, 0), image);
}

QRect PainterCanvas::pixelArea() const {
    const QRectF area = m_base.mapRect(m_layerArea);
    if (area.isEmpty() || !(std::abs(area.left()) < 1e8 && std::abs(area.top()) < 1e8 &&
                            area.width() < 1e8 && area.height() < 1e8))
        return {};
    return area.toAlignedRect();
}

void PainterCanvas::drawPixels(const QImage& image, QPoint at) {
    m_p->resetTransform();
    // Unscaled, smoothing changes nothing; but with it on, Qt takes its general image path, which
    // hands bands of rows to its thread pool, rather than its plain blend.
    setSmooth(false);
    m_p->drawImage(at, image);
}

void PainterCanvas::beginLayer(const QRectF& area, double reach) {
    // Only the visible part and what filters can bring into it, and never more than
    // kMaxLayerSide a side: a huge object (or a huge filter margin) must not allocate without
    // bound.
    reach = std::clamp(reach, 0.0, double(kMaxLayerSide));
    const QRectF within = m_base.mapRect(m_layerArea).adjusted(-reach, -reach, reach, reach);
    const QRectF pixels = area.isEmpty() ? within : m_base.mapRect(area) & within;
    QRect r = pixels.toAlignedRect();
    r.setWidth(std::clamp(r.width(), 0, kMaxLayerSide));
    r.setHeight(std::clamp(r.height(), 0, kMaxLayerSide));
    Layer layer;
    layer.under = m_p;
    layer.base = m_base;
    layer.visible = m_visible;
    layer.layerArea = m_layerArea;
    layer.origin = m_origin;
    QRectF visible = QRectF(r); // in device pixels until the layer's transform is known
    if (r.isEmpty()) {
        // Nothing to draw into: a painter on a 1-pixel image, all of it outside the area.
        r = QRect(r.topLeft(), QSize(1, 1));
        visible = m_base.mapRect(QRectF(-1e9, -1e9, 1, 1));
    }
    layer.pixels = std::make_unique<Scratch<uchar>>(std::size_t(r.width()) * r.height() * 4);
    layer.image = std::make_unique<QImage>(layer.pixels->data(), r.width(), r.height(),
                                           r.width() * 4, QImage::Format_ARGB32_Premultiplied);
    // Scratch memory comes zeroed: the layer starts transparent.
    layer.painter = std::make_unique<QPainter>(layer.image.get());
    startPainter(*layer.painter);
    m_p = layer.painter.get();
    // Culling inside the layer keeps all the layer holds.
    visible = m_base.inverted().mapRect(visible);
    m_base = m_base * QTransform::fromTranslate(-r.left(), -r.top());
    m_origin = m_origin + r.topLeft();
    m_visible = visible;
    m_layerArea = visible;
    m_layers.push_back(std::move(layer));
}

namespace {

QPainter::CompositionMode compositionOf(BlendMode mode) {
    switch (mode) {
    case BlendMode::Multiply:
        return QPainter::CompositionMode_Multiply;
    case BlendMode::Screen:
        return QPainter::CompositionMode_Screen;
    case BlendMode::Lighten:
        return QPainter::CompositionMode_Lighten;
    case BlendMode::Darken:
        return QPainter::CompositionMode_Darken;
    case BlendMode::Difference:
    case BlendMode::Invert: // drawn as white
        return QPainter::CompositionMode_Difference;
    case BlendMode::Add:
        return QPainter::CompositionMode_Plus;
    case BlendMode::Alpha:
        return QPainter::CompositionMode_DestinationIn;
    case BlendMode::Erase:
        return QPainter::CompositionMode_DestinationOut;
    case BlendMode::Overlay:
        return QPainter::CompositionMode_Overlay;
    case BlendMode::HardLight:
        return QPainter::CompositionMode_HardLight;
    case BlendMode::Normal:
    case BlendMode::Layer:
    case BlendMode::Subtract:
        break;
    }
    return QPainter::CompositionMode_SourceOver;
}

// The colour transform on every pixel the layer drew; untouched (transparent) pixels stay so.
void recolour(QImage& image, const ColorTransform& ct) {
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            if (qAlpha(line[x]) == 0)
                continue;
            const QRgb p = qUnpremultiply(line[x]);
            const Rgba c = ct.apply(Rgba{std::uint8_t(qRed(p)), std::uint8_t(qGreen(p)),
                                         std::uint8_t(qBlue(p)), std::uint8_t(qAlpha(p))});
            line[x] = qPremultiply(qRgba(c.r, c.g, c.b, c.a));
        }
    }
}

// Every pixel white, keeping its alpha (premultiplied: all channels equal alpha).
QImage whiteOf(const QImage& image) {
    QImage out = image;
    for (int y = 0; y < out.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (int x = 0; x < out.width(); ++x) {
            const int a = qAlpha(line[x]);
            line[x] = qRgba(a, a, a, a);
        }
    }
    return out;
}

} // namespace

void PainterCanvas::endLayer(const LayerEffects& effects) {
    if (m_layers.empty())
        return;
    Layer layer = std::move(m_layers.back());
    m_layers.pop_back();
    layer.painter->end();
    m_p = layer.under;
    m_base = layer.base;
    m_visible = layer.visible;
    m_layerArea = layer.layerArea;
    const QPoint at = m_origin - layer.origin;
    m_origin = layer.origin;

    layer.painter.reset();
    QImage image = std::move(*layer.image);
    if (effects.filterCache)
        effects.filterCache->apply(image, effects.filters, effects.filterScaleX,
                                   effects.filterScaleY);
    else if (!effects.filters.empty())
        applyFilters(image, effects.filters, effects.filterScaleX, effects.filterScaleY);
    if (!effects.colorTransform.isIdentity())
        recolour(image, effects.colorTransform);

    m_p->save();
    m_p->resetTransform();
    m_p->setOpacity(1);
    if (effects.blend == BlendMode::Subtract) {
        // under - layer = invert(invert(under) + layer): Qt has no subtraction.
        QImage solid(image.size(), QImage::Format_ARGB32_Premultiplied);
        solid.fill(Qt::white);
        m_p->setCompositionMode(QPainter::CompositionMode_Difference);
        m_p->drawImage(at, solid);
        m_p->setCompositionMode(QPainter::CompositionMode_Plus);
        m_p->drawImage(at, image);
        m_p->setCompositionMode(QPainter::CompositionMode_Difference);
        m_p->drawImage(at, solid);
    } else {
        m_p->setCompositionMode(compositionOf(effects.blend));
        m_p->drawImage(at, effects.blend == BlendMode::Invert ? whiteOf(image) : image);
    }
    m_p->restore();
}

} // namespace swf::render
