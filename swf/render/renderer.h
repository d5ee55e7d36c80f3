#pragma once

// Draws a player's current frame onto a Canvas: shapes, morphs, texts, bitmaps, sprites and
// buttons, with clip layers, matrices and colour transforms composed down the display lists.
// Objects with a blend mode or filters are drawn into canvas layers (see canvas.h, filters.h).

#include "swf/player.h"
#include "swf/render/canvas.h"

#include <QPointF>
#include <QTransform>
#include <functional>
#include <map>
#include <memory>
#include <tuple>
#include <unordered_map>

namespace swf::render {

class VideoPictures;
class FilterCache;
class RasterCache;
struct RasterKey;

// The stage rectangle (twips) mapped into `target` (device pixels) by a scale mode: 0 show all,
// 1 no border, 2 exact fit, 3 no scale (1 px per 20 twips); the stage is centred. `zoom` scales
// the result about the target's centre.
QTransform stageTransform(const Rect& stage, const QRectF& target, int scaleMode,
                          double zoom = 1.0);

// A colour transform applied to every pixel of a premultiplied image.
QImage transformImage(const QImage& image, const ColorTransform& ct);

class Renderer {
public:
    Renderer();
    ~Renderer();
    Renderer(const Renderer&) = delete;
    Renderer& operator=(const Renderer&) = delete;

    // Fills the stage with the background colour and draws the frame on top. `view` maps stage
    // twips to the canvas.
    void render(const Player& player, Canvas& canvas, const QTransform& view);

    // Draws one object's content, without its own placement, mapped by `m` (its twips to the
    // canvas): what BitmapData.draw asks of a display object. Without an object, `clip`'s
    // drawing and children (the root has no object of its own); without either, the stage as
    // the window shows it (the document through its scroll window, and what sits beside it).
    void renderObject(const Player& player, const DisplayObject* object, const MovieClip* clip,
                      Canvas& canvas, const QTransform& m, const ColorTransform& ct);

    // The topmost button whose hit area holds `stagePoint` (twips), or null.
    static ButtonInstance* buttonAt(Player& player, const QPointF& stagePoint);
    // Whether `stagePoint` (twips) lies in the filled or stroked outlines of an object drawn
    // with `matrix` (its space to the stage): shapes and drawings by their paths, texts by
    // their boxes, sprites by their children, buttons by their hit areas.
    // Where a script's mask (setMask) hides the object or a clip holding it, nothing is hit;
    // `masks` false leaves masks out.
    static bool shapeContains(const Player& player, const DisplayObject& object,
                              const QTransform& matrix, const QPointF& stagePoint, int depth = 0,
                              bool masks = true);

    // Whether a script's mask over `o` (setMask) leaves `stagePoint` (twips) showing; true
    // without one.
    static bool maskAllows(const Player& player, const DisplayObject& o, const QPointF& stagePoint,
                           int depth = 0);

    // Drops the cached morph steps, text outlines, recoloured bitmaps and video decoders.
    void clearCaches();
    // Filtered layers kept between pictures (on by default); the pixels are the same either way.
    void setFilterCaching(bool on) { m_filterCaching = on; }
    const FilterCache& filterCache() const { return *m_filterCache; }
    // Detailed shapes drawn through pictures of their own, kept between pictures (on by
    // default; see rastercache.h). Off, every shape is drawn directly: its pixels differ by
    // rounding where a shape's parts overlap.
    void setRasterCaching(bool on) { m_rasterCaching = on; }
    RasterCache& rasterCache() { return *m_rasterCache; }
    // Text layouts kept: at most one per text, whatever scripts did to it.
    std::size_t cachedTextLayouts() const { return m_texts.size(); }

private:
    struct Frame;
    struct TextCache;
    struct Mask {
        std::int32_t clipDepth;
        QPainterPath path; // device coordinates
    };

    // Draws the list's objects whose depths lie in [fromDepth, toDepth).
    void drawList(Frame& f, const DisplayList& list, const QTransform& m, const ColorTransform& ct,
                  bool inLayer = false, std::int32_t fromDepth = INT32_MIN,
                  std::int32_t toDepth = INT32_MAX);
    // The root's drawing and list, through the document's scroll window when it has one.
    void drawRoot(Frame& f, const QTransform& view, const ColorTransform& ct = {});
    static void drawFocusRect(Canvas& canvas, const QRectF& stageRect, const QTransform& view);
    void drawLayered(Frame& f, const DisplayObject& o, const QTransform& m,
                     const ColorTransform& ct);
    // `scroll` false: as if the object had no scroll rectangle (`m` already maps its content).
    QRectF boundsOf(Frame& f, const DisplayObject& o, const QTransform& m, bool scroll = true);
    // An object, clipped to its scroll rectangle if it has one; drawContent() draws what it
    // holds, `m` mapping the content.
    void drawObject(Frame& f, const DisplayObject& o, const QTransform& m,
                    const ColorTransform& ct);
    void drawContent(Frame& f, const DisplayObject& o, const QTransform& m,
                     const ColorTransform& ct);
    void drawGeometry(Frame& f, const ShapeGeometry& g, const QTransform& m,
                      const ColorTransform& ct, bool nonScalingAllowed);
    // A shape or a morph's step: through its own kept picture where that pays, else directly.
    void drawShape(Frame& f, const Character& c, std::uint16_t ratio, const ShapeGeometry& g,
                   const QTransform& m, const ColorTransform& ct);
    // Draws what `id` names (a character, or an edit text's layout) through its own kept picture
    // (rastercache.h): `draw` draws it with the given matrix, `bounds` says where that leaves
    // pixels. False, drawing nothing, when it must be drawn directly.
    bool drawApart(Frame& f, const RasterKey& id, qint64 cost, const QTransform& m,
                   const ColorTransform& ct, const std::function<QRectF(const QTransform&)>& bounds,
                   const std::function<void(Frame&, const QTransform&)>& draw);
    static RasterKey rasterKeyOf(const Character& c, std::uint16_t ratio);
    void drawFill(Frame& f, const QPainterPath& path, const FillStyle& fill, const QTransform& m,
                  const ColorTransform& ct);
    void drawEdgePixels(Frame& f, const QImage& img, const QPainterPath& path,
                        const FillStyle& fill, const QTransform& m);
    void drawStroke(Frame& f, const QPainterPath& path, const LineStyle& line, const QTransform& m,
                    const ColorTransform& ct);
    void drawStaticText(Frame& f, const StaticText& text, const QTransform& m,
                        const ColorTransform& ct);
    void drawEditText(Frame& f, const EditText& text, const DisplayObject& o, const QTransform& m,
                      const ColorTransform& ct);
    void drawCaret(Frame& f, const TextCache& cache, const DisplayObject& o, const QTransform& m,
                   const ColorTransform& ct);
    void collectMask(Frame& f, const DisplayObject& o, const QTransform& m,
                     std::vector<QPainterPath>& out, bool scroll = true);
    static QPainterPath joinMask(const std::vector<QPainterPath>& parts);
    // Clips the canvas (one save()) to the outlines of `o`'s script mask; false, changing
    // nothing, when the mask or `o` is off the stage.
    bool clipToScriptMask(Frame& f, const DisplayObject& o, const QTransform& m);
    void collectGeometryMask(const ShapeGeometry& g, const QTransform& m,
                             std::vector<QPainterPath>& out);
    const ShapeGeometry& shapeGeometry(const Shape& s);
    const ShapeGeometry& morphGeometry(const MorphShape& s, std::uint16_t ratio);
    // `current`: what an edit text shows now (null: its initial text).
    // `current`: an edit text's text now, in HTML when `currentIsHtml` or the field says so.
    const TextCache& textCache(const Character& c, const QString* current = nullptr,
                               bool currentIsHtml = false);
    QImage recoloured(const QImage& image, const ColorTransform& ct);
    const QImage* bitmapImage(Frame& f, const FillStyle& fill);

    // Keyed by a character's serial and generation, never by its address or id alone.
    using CharacterKey = std::pair<std::uint64_t, std::uint32_t>;
    static CharacterKey keyOf(const Character& c) { return {c.serial, c.generation}; }
    std::map<std::pair<CharacterKey, std::uint16_t>, ShapeGeometry> m_morphs;
    std::map<CharacterKey, ShapeGeometry> m_windingShapes;
    std::map<CharacterKey, std::unique_ptr<TextCache>> m_texts;
    std::size_t m_windingElements = 0, m_textElements = 0;
    using ImageKey = std::tuple<qint64, std::int32_t, std::int32_t, std::int32_t, std::int32_t,
                                std::int32_t, std::int32_t, std::int32_t, std::int32_t>;
    std::map<ImageKey, QImage> m_images;
    std::size_t m_imageBytes = 0;
    std::unique_ptr<VideoPictures> m_videos;
    std::unique_ptr<FilterCache> m_filterCache;
    bool m_filterCaching = true;
    std::unique_ptr<RasterCache> m_rasterCache;
    bool m_rasterCaching = true;
    const Movie* m_movie = nullptr; // the one drawn last: its fonts serve edit texts
};

} // namespace swf::render
