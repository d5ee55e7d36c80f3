#pragma once

// What BitmapData asks of the renderer: drawing bitmaps and display objects into a script's
// bitmap with the renderer's own blend modes and colour transforms, and its filters.

#include "swf/bitmapdata.h"
#include "swf/render/renderer.h"

namespace swf::render {

class RendererBitmapDrawer : public BitmapDrawer {
public:
    void drawImage(QImage& target, const QImage& source, const QTransform& m,
                   const ColorTransform& ct, BlendMode blend, const QRectF& clip,
                   bool smooth) override;
    void drawObject(const Player& player, const DisplayObject* object, const MovieClip* timeline,
                    QImage& target, const QTransform& m, const ColorTransform& ct, BlendMode blend,
                    const QRectF& clip, bool smooth) override;
    void applyFilter(QImage& picture, const Filter& filter) override;
    int filterReach(const Filter& filter) override;

private:
    Renderer m_renderer;
};

} // namespace swf::render
