#pragma once

#include "swf/render/canvas.h"
#include "swf/render/scratch.h"

#include <QPainter>
#include <memory>
#include <vector>

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
    // Where layers are placed and cut as if this (canvas coordinates) were the visible area.
    // A view drawing part of itself passes its whole area, so that a layer, its filters and its
    // gradients come out exactly as when the whole view is drawn.
    void setLayerArea(const QRectF& area) { m_layerArea = area; }
    void beginLayer(const QRectF& area, double reach) override;
    void endLayer(const LayerEffects& effects) override;

    // For pictures drawn apart (rastercache.h): canvas coordinates to the pixels now drawn on,
    // and a premultiplied picture put on them unscaled, its top left at pixel `at`, through the
    // clip.
    const QTransform& pixelTransform() const { return m_base; }
    // The layer area in those pixels, whole pixels, empty when unbounded.
    QRect pixelArea() const;
    Quality quality() const { return m_quality; }
    void drawPixels(const QImage& image, QPoint at);

    // The largest layer side, in pixels, whatever the device.
    static constexpr int kMaxLayerSide = 4096;

private:
    struct Layer {
        std::unique_ptr<Scratch<uchar>> pixels;
        std::unique_ptr<QImage> image; // over `pixels`; the painter keeps its address
        std::unique_ptr<QPainter> painter;
        QPoint origin; // device position of the image's top left pixel
        QPainter* under;
        QTransform base;
        QRectF visible;
        QRectF layerArea;
    };
    void setSmooth(bool smooth);
    // Fills `path` mapped by `device` (canvas to the current painter's pixels).
    void fillDevice(const QPainterPath& path, const QBrush& brush, const QTransform& device);
    // An opaque rectangle along the axes at least kLargeRect pixels a side: its inside written
    // as a plain fill, its anti-aliased edges drawn as strips; false, drawing nothing, otherwise.
    bool fillLargeRect(const QPainterPath& path, const QBrush& brush, const QTransform& device);
    static constexpr double kLargeRect = 64;
    void startPainter(QPainter& p);

    QPainter* m_p;
    Quality m_quality;
    QTransform m_base; // canvas coordinates to the current painter's pixels
    QRectF m_visible;
    QRectF m_layerArea; // where layers may lie; the visible area unless set
    QPoint m_origin;    // device position of the current painter's (0,0)
    std::vector<Layer> m_layers;
};

} // namespace swf::render
