#include "swf/render/bitmapdrawer.h"

#include "swf/render/filters.h"
#include "swf/render/paintercanvas.h"

#include <QPainter>
#include <cmath>

namespace swf::render {
namespace {

// Runs `paint` on a canvas over `target`, inside a layer when a blend mode or a colour
// transform has to act on the finished picture, as the renderer does for objects on stage.
template <typename Paint>
void paintInto(QImage& target, const QRectF& area, const ColorTransform& ct, BlendMode blend,
               const QRectF& clip, bool smooth, Paint paint) {
    QPainter painter(&target);
    if (!clip.isEmpty())
        painter.setClipRect(clip);
    PainterCanvas canvas(painter, smooth ? Quality::High : Quality::Medium);
    const bool layered =
        (blend != BlendMode::Normal && blend != BlendMode::Layer) || !ct.isIdentity();
    if (layered)
        canvas.beginLayer(area, 0);
    paint(canvas, layered ? ColorTransform{} : ct);
    if (layered) {
        LayerEffects effects;
        effects.blend = blend;
        effects.colorTransform = ct;
        canvas.endLayer(effects);
    }
}

} // namespace

void RendererBitmapDrawer::drawImage(QImage& target, const QImage& source, const QTransform& m,
                                     const ColorTransform& ct, BlendMode blend, const QRectF& clip,
                                     bool smooth) {
    paintInto(target, m.mapRect(QRectF(source.rect())), ct, blend, clip, smooth,
              [&](Canvas& canvas, const ColorTransform&) { canvas.drawImage(source, m, smooth); });
}

void RendererBitmapDrawer::drawObject(const Player& player, const DisplayObject* object,
                                      const MovieClip* timeline, QImage& target,
                                      const QTransform& m, const ColorTransform& ct,
                                      BlendMode blend, const QRectF& clip, bool smooth) {
    paintInto(target, QRectF(), ct, blend, clip, smooth,
              [&](Canvas& canvas, const ColorTransform& inner) {
                  m_renderer.renderObject(player, object, timeline, canvas, m, inner);
              });
}

void RendererBitmapDrawer::applyFilter(QImage& picture, const Filter& filter) {
    if (picture.format() != QImage::Format_ARGB32_Premultiplied)
        picture = picture.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    applyFilters(picture, {filter}, 1, 1);
}

int RendererBitmapDrawer::filterReach(const Filter& filter) {
    return int(std::ceil(render::filterReach({filter}, 1, 1)));
}

} // namespace swf::render
