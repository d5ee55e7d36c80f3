#pragma once

// The few drawing operations the renderer needs. Everything the renderer draws goes through
// this interface, so a test can record exactly what was asked for and a backend can be swapped.

#include "swf/timeline.h"

#include <QBrush>
#include <QImage>
#include <QPainterPath>
#include <QPen>
#include <QTransform>
#include <vector>

namespace swf::render {

class FilterCache;

// How a finished layer goes onto what lies under it.
struct LayerEffects {
    BlendMode blend = BlendMode::Normal;
    std::vector<Filter> filters; // applied first, in order
    double filterScaleX = 1;     // device pixels per stage pixel, for filter sizes
    double filterScaleY = 1;
    ColorTransform colorTransform;      // then applied to the layer's pixels
    FilterCache* filterCache = nullptr; // where filtered results may be kept (null: nowhere)
};

class Canvas {
public:
    virtual ~Canvas() = default;

    // Saves and restores the clip.
    virtual void save() = 0;
    virtual void restore() = 0;
    // Narrows the clip to `path` mapped by `m`; it stays until the matching restore().
    virtual void clip(const QPainterPath& path, const QTransform& m) = 0;
    // Fills `path` mapped by `m`; the brush's own transform is in the path's coordinates.
    // `smooth` asks for filtered sampling of a texture brush.
    virtual void fillPath(const QPainterPath& path, const QBrush& brush, const QTransform& m,
                          bool smooth) = 0;
    // Strokes a path already in device coordinates; the pen's width is in device pixels.
    virtual void strokePath(const QPainterPath& devicePath, const QPen& pen) = 0;
    // Draws the image's pixel square (0,0)-(w,h) mapped by `m`.
    virtual void drawImage(const QImage& image, const QTransform& m, bool smooth) = 0;
    // The area that can show anything, in the coordinates the matrices above map to; an empty
    // rectangle means no bound is known. Drawing wholly outside it may be skipped.
    virtual QRectF visibleArea() const = 0;
    // Layers: what is drawn between beginLayer() and the matching endLayer() goes into a
    // transparent picture of its own covering `area` (canvas coordinates; an empty area is the
    // whole visible area), which is then put onto what lies under it as `effects` say. Only
    // what lies within `reach` device pixels of the visible area is kept: filters can bring
    // that much into view. Layers nest.
    virtual void beginLayer(const QRectF& area, double reach = 0) = 0;
    virtual void endLayer(const LayerEffects& effects) = 0;
};

} // namespace swf::render
