#include "swf/render/renderer.h"

#include "swf/bitmapdata.h"
#include "swf/render/edittext.h"
#include "swf/render/filtercache.h"
#include "swf/render/filters.h"
#include "swf/render/rastercache.h"
#include "swf/render/video.h"

#include <QGradient>
#include <algorithm>
#include <atomic>
#include <cmath>
#ifdef __GLIBC__
#include <malloc.h>
#endif
#include <limits>

namespace swf::render {
namespace {

// The gradient square is (-16384,-16384)-(16384,16384) in its own units.
constexpr double kGradientHalf = 16384.0;
constexpr std::size_t kMaxMorphSteps = 512;
constexpr std::size_t kMaxImageBytes = std::size_t(96) << 20;
// Path elements (24 bytes each) the copied winding shapes and the text outlines may hold.
constexpr std::size_t kMaxCachedElements = std::size_t(2) << 20;
constexpr int kMaxMaskElements = 4000; // beyond this, masks are merged without boolean union
constexpr int kMaxNesting = 128;       // the player bounds nesting too; this is a backstop

QColor toColor(Rgba c) {
    return QColor(c.r, c.g, c.b, c.a);
}

double srgbToLinear(double c) {
    return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
}
double linearToSrgb(double c) {
    return c <= 0.0031308 ? c * 12.92 : 1.055 * std::pow(c, 1 / 2.4) - 0.055;
}

QColor mixLinear(const QColor& a, const QColor& b, double t) {
    auto ch = [t](double x, double y) {
        const double v = srgbToLinear(x) * (1 - t) + srgbToLinear(y) * t;
        return std::clamp(linearToSrgb(v), 0.0, 1.0);
    };
    QColor c;
    c.setRgbF(float(ch(a.redF(), b.redF())), float(ch(a.greenF(), b.greenF())),
              float(ch(a.blueF(), b.blueF())), float(a.alphaF() * (1 - t) + b.alphaF() * t));
    return c;
}

QGradientStops gradientStops(const Gradient& g, const ColorTransform& ct) {
    QGradientStops stops;
    stops.reserve(g.stops.size());
    double last = -1;
    for (const GradientStop& s : g.stops) {
        // Stops must not go backwards; equal ratios make a hard edge.
        double pos = std::max(s.ratio / 255.0, last);
        if (pos == last)
            pos = std::min(1.0, pos + 1e-6);
        last = pos;
        stops.append({pos, toColor(ct.apply(s.color))});
    }
    if (g.interpolation == InterpolationMode::LinearRgb && stops.size() > 1) {
        // Qt blends in sRGB; in-between stops computed in linear light approximate the rest.
        constexpr int kSteps = 8;
        QGradientStops fine;
        for (qsizetype i = 0; i + 1 < stops.size(); ++i) {
            const auto& [p0, c0] = stops[i];
            const auto& [p1, c1] = stops[i + 1];
            fine.append(stops[i]);
            if (p1 - p0 < 1e-3)
                continue;
            for (int k = 1; k < kSteps; ++k) {
                const double t = double(k) / kSteps;
                fine.append({p0 + (p1 - p0) * t, mixLinear(c0, c1, t)});
            }
        }
        fine.append(stops.back());
        stops = fine;
    }
    return stops;
}

QBrush gradientBrush(const FillStyle& fill, const ColorTransform& ct) {
    const QGradientStops stops = gradientStops(fill.gradient, ct);
    if (stops.size() == 1)
        return QBrush(stops.front().second);
    QGradient g;
    if (fill.type == FillType::LinearGradient) {
        g = QLinearGradient(-kGradientHalf, 0, kGradientHalf, 0);
    } else {
        const double focal = fill.type == FillType::FocalGradient
                                 ? std::clamp(fill.gradient.focalPoint, -0.999, 0.999)
                                 : 0.0;
        g = QRadialGradient(QPointF(0, 0), kGradientHalf, QPointF(focal * kGradientHalf, 0));
    }
    switch (fill.gradient.spread) {
    case SpreadMode::Pad:
        g.setSpread(QGradient::PadSpread);
        break;
    case SpreadMode::Reflect:
        g.setSpread(QGradient::ReflectSpread);
        break;
    case SpreadMode::Repeat:
        g.setSpread(QGradient::RepeatSpread);
        break;
    }
    g.setStops(stops);
    QBrush brush(g);
    brush.setTransform(fill.matrix);
    return brush;
}

Qt::PenCapStyle penCap(CapStyle c) {
    switch (c) {
    case CapStyle::None:
        return Qt::FlatCap;
    case CapStyle::Square:
        return Qt::SquareCap;
    case CapStyle::Round:
        break;
    }
    return Qt::RoundCap;
}

Qt::PenJoinStyle penJoin(JoinStyle j) {
    switch (j) {
    case JoinStyle::Bevel:
        return Qt::BevelJoin;
    case JoinStyle::Miter:
        return Qt::SvgMiterJoin;
    case JoinStyle::Round:
        break;
    }
    return Qt::RoundJoin;
}

void addCap(QPainterPath& out, CapStyle cap, const QPointF& at, QPointF outward, double half) {
    if (cap == CapStyle::None)
        return;
    const double len = std::hypot(outward.x(), outward.y());
    if (cap == CapStyle::Round || len == 0) {
        if (cap == CapStyle::Round)
            out.addEllipse(at, half, half);
        else
            out.addRect(QRectF(at.x() - half, at.y() - half, 2 * half, 2 * half));
        return;
    }
    outward /= len;
    const QPointF across(-outward.y() * half, outward.x() * half);
    const QPointF ahead = at + outward * half;
    out.moveTo(at + across);
    out.lineTo(ahead + across);
    out.lineTo(ahead - across);
    out.lineTo(at - across);
    out.closeSubpath();
}

// The outline of a line whose two ends have caps of their own, or whose closed paths are left
// open (NoClose): Qt strokes the body with flat ends and joins only where a path ends exactly at
// its start; the caps are added as shapes. Filled with the winding rule, overlaps count once.
QPainterPath lineOutline(const QPainterPath& devicePath, const LineStyle& line, const QPen& pen) {
    struct Ends {
        QPointF first, firstOut, last, lastOut;
    };
    std::vector<Ends> open;
    QPainterPath body;
    body.reserve(devicePath.elementCount());
    const int n = devicePath.elementCount();
    for (int begin = 0; begin < n;) {
        int end = begin + 1;
        while (end < n && devicePath.elementAt(end).type != QPainterPath::MoveToElement)
            ++end;
        const QPointF first = devicePath.elementAt(begin);
        QPointF last = devicePath.elementAt(end - 1);
        // Directions away from the path at each end, from the nearest point that differs.
        QPointF firstOut, lastOut;
        for (int i = begin + 1; i < end; ++i) {
            if (QPointF(devicePath.elementAt(i)) != first) {
                firstOut = first - QPointF(devicePath.elementAt(i));
                break;
            }
        }
        for (int i = end - 2; i >= begin; --i) {
            if (QPointF(devicePath.elementAt(i)) != last) {
                lastOut = last - QPointF(devicePath.elementAt(i));
                break;
            }
        }
        const bool closed = end - begin > 2 && first == last;
        for (int i = begin; i < end; ++i) {
            const QPainterPath::Element e = devicePath.elementAt(i);
            QPointF p = e;
            // A closed path the line must not close: moved by a millionth of a pixel, Qt no
            // longer joins its ends.
            if (i == end - 1 && closed && line.noClose)
                p += QPointF(1e-6, 0);
            if (e.type == QPainterPath::MoveToElement) {
                body.moveTo(p);
            } else if (e.type == QPainterPath::CurveToElement && i + 2 < end) {
                QPointF endPoint = devicePath.elementAt(i + 2);
                if (i + 2 == end - 1 && closed && line.noClose)
                    endPoint += QPointF(1e-6, 0);
                body.cubicTo(p, devicePath.elementAt(i + 1), endPoint);
                i += 2;
            } else {
                body.lineTo(p);
            }
        }
        if (!closed || line.noClose)
            open.push_back({first, firstOut, last, lastOut});
        begin = end;
    }
    QPainterPathStroker stroker(pen);
    stroker.setCapStyle(Qt::FlatCap);
    QPainterPath out = stroker.createStroke(body);
    out.setFillRule(Qt::WindingFill);
    const double half = pen.widthF() / 2;
    for (const Ends& e : open) {
        addCap(out, line.startCap, e.first, e.firstOut, half);
        addCap(out, line.endCap, e.last, e.lastOut, half);
    }
    return out;
}

double axisScale(double a, double b) {
    return std::hypot(a, b);
}

// A line's width in device pixels, drawn mapped by `m`.
double strokeWidth(const LineStyle& line, const QTransform& m, double viewScale) {
    if (line.width <= 0)
        return 1; // hairline: one device pixel at any scale
    const double sx = axisScale(m.m11(), m.m12()), sy = axisScale(m.m21(), m.m22());
    double scale = (sx + sy) / 2;
    if (line.noHScale && line.noVScale)
        scale = viewScale;
    else if (line.noHScale)
        scale = sy;
    else if (line.noVScale)
        scale = sx;
    return std::max(1.0, line.width * scale);
}

// Where `g` mapped by `m` may leave pixels: its outlines, and its lines as far as a cap or a
// miter join can reach; anti-aliasing adds no more than a pixel.
QRectF drawnBounds(const ShapeGeometry& g, const QTransform& m, double viewScale) {
    QRectF out;
    for (const ShapeLayer& layer : g.layers) {
        for (const FillPath& fill : layer.fills)
            if (!fill.path.isEmpty())
                out |= m.mapRect(fill.path.controlPointRect());
        for (const StrokePath& stroke : layer.strokes) {
            if (stroke.path.isEmpty())
                continue;
            // Half the width, further at square caps and miter tips (Qt's SVG miter join counts
            // its limit in half widths), and a pixel of anti-aliasing.
            const double width = strokeWidth(stroke.style, m, viewScale);
            const double reach =
                width / 2 *
                    (stroke.style.join == JoinStyle::Miter ? std::max(1.5, stroke.style.miterLimit)
                                                           : 1.5) +
                1;
            out |= m.mapRect(stroke.path.controlPointRect()).adjusted(-reach, -reach, reach, reach);
        }
    }
    return out;
}

// Drawing a frame allocates and frees megabytes in small blocks (Qt's buffers for each path,
// script drawings made again every frame). glibc hands the top of its heap back to the system
// whenever 128 KB lie free there and faults the pages in again on the next frame: with 2,000
// script-drawn sprites that cost a third of each frame's scripts and drawing. Up to 64 MiB stay
// at the top of the heap instead, and blocks under 32 MiB come from the heap, as glibc's own
// adaptive threshold (which setting the first turns off) would have them at most. Process-wide,
// set once by the first renderer.
void keepHeapBetweenFrames() {
#ifdef __GLIBC__
    static const bool once = [] {
        mallopt(M_MMAP_THRESHOLD, 32 << 20);
        mallopt(M_TRIM_THRESHOLD, 64 << 20);
        return true;
    }();
    (void)once;
#endif
}

} // namespace

QTransform stageTransform(const Rect& stage, const QRectF& target, int scaleMode, double zoom) {
    const double w = stage.width() / 20.0, h = stage.height() / 20.0;
    if (w <= 0 || h <= 0 || target.isEmpty())
        return QTransform::fromScale(0.05, 0.05).translate(-stage.xMin, -stage.yMin);
    double sx = 1, sy = 1;
    switch (scaleMode) {
    case 0:
        sx = sy = std::min(target.width() / w, target.height() / h);
        break;
    case 1:
        sx = sy = std::max(target.width() / w, target.height() / h);
        break;
    case 2:
        sx = target.width() / w;
        sy = target.height() / h;
        break;
    default:
        break;
    }
    if (zoom > 0) {
        sx *= zoom;
        sy *= zoom;
    }
    const QPointF c = target.center();
    QTransform t;
    t.translate(c.x() - w * sx / 2, c.y() - h * sy / 2);
    t.scale(sx / 20.0, sy / 20.0);
    t.translate(-stage.xMin, -stage.yMin);
    return t;
}

QImage transformImage(const QImage& image, const ColorTransform& ct) {
    QImage out = image.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < out.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (int x = 0; x < out.width(); ++x) {
            const QRgb p = line[x];
            const Rgba c = ct.apply(Rgba{std::uint8_t(qRed(p)), std::uint8_t(qGreen(p)),
                                         std::uint8_t(qBlue(p)), std::uint8_t(qAlpha(p))});
            line[x] = qRgba(c.r, c.g, c.b, c.a);
        }
    }
    return out.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

struct Renderer::Frame {
    const Player& player;
    // The movie of the clip being drawn: its dictionary names bitmaps and fonts.
    const LoadedMovie* origin;
    Canvas& canvas;
    double viewScale = 1; // device pixels per twip of the stage
    int nesting = 0;
    QRectF visible;                          // the canvas's visible area; empty when unbounded
    bool layered = false;                    // the object being drawn has a layer of its own
    double stageScaleX = 1, stageScaleY = 1; // device pixels per stage pixel

    // Whether `bounds` mapped by `m` and grown by `pad` on each side misses the visible area.
    bool outside(const QRectF& bounds, const QTransform& m, double pad = 0) const {
        if (visible.isEmpty())
            return false;
        return !m.mapRect(bounds).adjusted(-pad, -pad, pad, pad).intersects(visible);
    }
};

struct Renderer::TextCache {
    struct Run {
        QPainterPath path; // in the text's coordinates, twips
        Rgba color;
        QRectF bounds;
    };
    std::vector<Run> runs;
    // Every layout made has a number of its own: the pictures of edit texts are kept by it.
    std::uint64_t layout = nextLayout();
    QTransform matrix;                       // StaticText matrix
    QPainterPath clip;                       // EditText bounds; empty for static texts
    QString source;                          // EditText: the text laid out
    bool sourceHtml = false;                 // read as HTML
    bool border = false, background = false; // EditText
    Rgba borderColor, backgroundColor;
    // Input and selectable fields: where a caret or a selection's edge can stand on each line.
    struct CaretLine {
        qsizetype firstChar = 0;
        std::vector<double> stops;
        double top = 0, bottom = 0;
        Rgba color;
    };
    std::vector<CaretLine> caretLines;
    std::size_t elements = 0; // path elements, counted against the cache's cap

    static std::uint64_t nextLayout() {
        static std::atomic<std::uint64_t> next{1}; // both drawing threads make layouts
        return next++;
    }
};

Renderer::Renderer()
    : m_videos(std::make_unique<VideoPictures>()), m_filterCache(std::make_unique<FilterCache>()),
      m_rasterCache(std::make_unique<RasterCache>()) {
    keepHeapBetweenFrames();
}
Renderer::~Renderer() = default;

void Renderer::clearCaches() {
    m_morphs.clear();
    m_windingShapes.clear();
    m_texts.clear();
    m_windingElements = m_textElements = 0;
    m_images.clear();
    m_imageBytes = 0;
    m_videos->clear();
    m_filterCache->clear();
    m_rasterCache->clear();
}

void Renderer::render(const Player& player, Canvas& canvas, const QTransform& view) {
    Frame f{player,
            &player.root().origin(),
            canvas,
            std::sqrt(std::abs(view.determinant())),
            0,
            canvas.visibleArea(),
            false,
            std::hypot(view.m11(), view.m12()) * 20,
            std::hypot(view.m21(), view.m22()) * 20};
    m_movie = &player.movie();
    m_filterCache->nextPicture();
    m_rasterCache->nextPicture();
    const Rect& stage = player.movie().header().frameSize;
    const Rgba bg = player.backgroundColor().value_or(Rgba{255, 255, 255, 255});
    QPainterPath stagePath;
    stagePath.addRect(QRectF(stage.xMin, stage.yMin, stage.width(), stage.height()));
    canvas.fillPath(stagePath, QBrush(QColor(bg.r, bg.g, bg.b)), view, false);
    drawRoot(f, view);
    // Levels loaded by scripts lie above level 0, each with its own movie's dictionary.
    for (const auto& [n, level] : player.levels()) {
        if (level->visible && level->clip())
            drawObject(f, *level, level->matrix * view, level->colorTransform);
    }
    if (const auto& focus = player.focusRect())
        drawFocusRect(canvas, *focus, view);
    m_videos->sweep();
}

void Renderer::drawFocusRect(Canvas& canvas, const QRectF& stageRect, const QTransform& view) {
    // Yellow, two pixels wide, just outside the object, as Flash Player draws it.
    QPainterPath edge;
    edge.addRect(view.mapRect(stageRect).adjusted(-1, -1, 1, 1));
    canvas.strokePath(edge, QPen(QColor(255, 255, 0), 2));
}

void Renderer::renderObject(const Player& player, const DisplayObject* object,
                            const MovieClip* clip, Canvas& canvas, const QTransform& m,
                            const ColorTransform& ct) {
    // Bitmap fills and fonts are named in the dictionary of the movie the drawn clip runs; a
    // lone shape or text takes level 0's.
    const LoadedMovie* origin = &player.root().origin();
    if (clip)
        origin = &clip->origin();
    else if (object && object->clip())
        origin = &object->clip()->origin();
    Frame f{player,
            origin,
            canvas,
            std::sqrt(std::abs(m.determinant())),
            0,
            canvas.visibleArea(),
            false,
            std::hypot(m.m11(), m.m12()) * 20,
            std::hypot(m.m21(), m.m22()) * 20};
    m_movie = &player.movie();
    if (object) {
        drawObject(f, *object, m, ct);
    } else if (clip) {
        if (const DrawingShape* d = clip->drawing())
            drawGeometry(f, d->geometry(), m, ct, true);
        drawList(f, clip->displayList(), m, ct);
    } else {
        drawRoot(f, m, ct);
    }
}

namespace {

// What an edit text shows: its text, or that with an input method's composition in it.
const QString& shownText(const DisplayObject& o) {
    return o.composedText ? *o.composedText : o.text;
}

// What a bitmap object shows: a script's bitmap (attachBitmap) or its character's pixels.
const QImage& objectImage(const DisplayObject& o) {
    if (o.bitmapData)
        return o.bitmapData->image();
    return static_cast<const Bitmap&>(*o.character).image();
}

// Pixel snapping of a bitmap's pixels-to-device transform: "always" puts its corner on a whole
// device pixel; "auto" does so only when the bitmap is drawn unscaled and unrotated.
QTransform snapped(const QTransform& t, DisplayObject::PixelSnapping mode) {
    using P = DisplayObject::PixelSnapping;
    const bool plain = t.type() <= QTransform::TxTranslate ||
                       (std::abs(t.m11() - 1) < 1e-3 && std::abs(t.m22() - 1) < 1e-3 &&
                        std::abs(t.m12()) < 1e-6 && std::abs(t.m21()) < 1e-6);
    if (mode == P::Never || (mode == P::Auto && !plain))
        return t;
    return QTransform(t.m11(), t.m12(), t.m21(), t.m22(), std::round(t.dx()), std::round(t.dy()));
}

bool actsOnParent(BlendMode mode) {
    return mode == BlendMode::Alpha || mode == BlendMode::Erase;
}

} // namespace

void Renderer::drawRoot(Frame& f, const QTransform& view, const ColorTransform& ct) {
    const MovieClip& root = f.player.root();
    const auto& window = f.player.rootWindow();
    if (!window) {
        if (const DrawingShape* d = root.drawing())
            drawGeometry(f, d->geometry(), view, ct, true);
        drawList(f, root.displayList(), view, ct);
        return;
    }
    // As for an object's scroll rectangle; what the stage holds beside the document is not in it.
    QPainterPath clip;
    clip.addRect(QRectF(QPointF(0, 0), window->rect.size()));
    f.canvas.save();
    f.canvas.clip(view.map(clip), QTransform());
    const QRectF visible = f.visible;
    if (!visible.isEmpty())
        f.visible = visible & view.mapRect(clip.boundingRect());
    if (visible.isEmpty() || !f.visible.isEmpty()) {
        const QTransform inner = window->offset() * view;
        if (const DrawingShape* d = root.drawing())
            drawGeometry(f, d->geometry(), inner, ct, true);
        drawList(f, root.displayList(), inner, ct, false, INT32_MIN, window->stageDepth);
    }
    f.visible = visible;
    f.canvas.restore();
    drawList(f, root.displayList(), view, ct, false, window->stageDepth);
}

void Renderer::drawList(Frame& f, const DisplayList& list, const QTransform& m,
                        const ColorTransform& ct, bool inLayer, std::int32_t fromDepth,
                        std::int32_t toDepth) {
    if (f.nesting > kMaxNesting)
        return;
    // Alpha and erase children cut into their parent's own picture, never into the stage
    // beneath: the parent then draws into a layer of its own.
    const bool ownLayer =
        !inLayer && std::any_of(list.objects().begin(), list.objects().end(), [](const auto& o) {
            return o->visible && !o->isClipLayer() && actsOnParent(o->blendMode);
        });
    const QRectF visible = f.visible;
    if (ownLayer) {
        f.canvas.beginLayer(QRectF());
        f.visible = f.canvas.visibleArea();
    }
    ++f.nesting;
    std::vector<Mask> masks; // each one holds one save() on the canvas
    for (const auto& object : list.objects()) {
        const DisplayObject& o = *object;
        if (o.depth < fromDepth || o.depth >= toDepth)
            continue;
        // Masks whose range ended: unwind to below the lowest of them, then put back the rest.
        auto ended = std::find_if(masks.begin(), masks.end(),
                                  [&](const Mask& k) { return k.clipDepth < o.depth; });
        if (ended != masks.end()) {
            for (auto it = masks.end(); it != ended; --it)
                f.canvas.restore();
            std::vector<Mask> keep;
            for (auto it = ended; it != masks.end(); ++it) {
                if (it->clipDepth >= o.depth)
                    keep.push_back(std::move(*it));
            }
            masks.erase(ended, masks.end());
            for (Mask& k : keep) {
                f.canvas.save();
                f.canvas.clip(k.path, QTransform());
                masks.push_back(std::move(k));
            }
        }
        if (o.isClipLayer()) {
            std::vector<QPainterPath> parts;
            collectMask(f, o, o.matrix * m, parts);
            QPainterPath mask = joinMask(parts);
            f.canvas.save();
            f.canvas.clip(mask, QTransform());
            masks.push_back({o.clipDepth, std::move(mask)});
            continue;
        }
        // A clip that masks another by script is never drawn itself.
        if (!o.visible || o.masking())
            continue;
        const bool scriptMasked = o.scriptMask() && clipToScriptMask(f, o, o.matrix * m);
        if (o.blendMode != BlendMode::Normal || (o.filters && !o.filters->empty()))
            drawLayered(f, o, o.matrix * m, o.colorTransform.then(ct));
        else
            drawObject(f, o, o.matrix * m, o.colorTransform.then(ct));
        if (scriptMasked)
            f.canvas.restore();
    }
    for (std::size_t i = 0; i < masks.size(); ++i)
        f.canvas.restore();
    --f.nesting;
    if (ownLayer) {
        f.canvas.endLayer({});
        f.visible = visible;
    }
}

void Renderer::drawLayered(Frame& f, const DisplayObject& o, const QTransform& m,
                           const ColorTransform& ct) {
    LayerEffects effects;
    effects.blend = o.blendMode;
    effects.colorTransform = ct;
    if (o.filters) {
        effects.filters = *o.filters;
        effects.filterScaleX = f.stageScaleX;
        effects.filterScaleY = f.stageScaleY;
        if (m_filterCaching)
            effects.filterCache = m_filterCache.get();
    }
    const double reach = filterReach(effects.filters, f.stageScaleX, f.stageScaleY);
    // Alpha and erase act on the whole of the parent's picture, including where the object
    // leaves nothing.
    QRectF area;
    if (!actsOnParent(o.blendMode)) {
        area = boundsOf(f, o, m);
        if (area.isEmpty())
            return;
        area.adjust(-reach, -reach, reach, reach);
        if (f.outside(area, QTransform()))
            return;
    }
    const QRectF visible = f.visible;
    f.canvas.beginLayer(area, reach);
    f.visible = f.canvas.visibleArea();
    // The colour transform goes onto the finished layer: overlapping translucent children
    // fade as one picture, filters' effects with them.
    f.layered = true;
    drawObject(f, o, m, ColorTransform{});
    f.layered = false;
    f.canvas.endLayer(effects);
    f.visible = visible;
}

QRectF Renderer::boundsOf(Frame& f, const DisplayObject& o, const QTransform& m, bool scroll) {
    const Character* c = o.character;
    if (!c || f.nesting > kMaxNesting)
        return {};
    if (scroll && o.scrollRect) {
        const QRectF window = m.mapRect(QRectF(QPointF(0, 0), o.scrollRect->size()));
        return window &
               boundsOf(f, o, QTransform::fromTranslate(-o.scrollRect->x(), -o.scrollRect->y()) * m,
                        false);
    }
    auto rect = [&](const Rect& r) {
        return m.mapRect(QRectF(r.xMin, r.yMin, r.width(), r.height()));
    };
    switch (c->type) {
    case CharacterType::Shape:
        return rect(static_cast<const Shape&>(*c).bounds);
    case CharacterType::MorphShape:
        return rect(static_cast<const MorphShape&>(*c).boundsAt(o.ratio));
    case CharacterType::Text: {
        const auto& t = static_cast<const StaticText&>(*c);
        return (t.matrix * m)
            .mapRect(QRectF(t.bounds.xMin, t.bounds.yMin, t.bounds.width(), t.bounds.height()));
    }
    case CharacterType::EditText:
        return rect(static_cast<const EditText&>(*c).bounds);
    case CharacterType::Bitmap: {
        const QImage& img = objectImage(o);
        return m.mapRect(QRectF(0, 0, img.width() * 20.0, img.height() * 20.0));
    }
    case CharacterType::Sprite:
    case CharacterType::Button: {
        const DisplayList* list = o.clip()     ? &o.clip()->displayList()
                                  : o.button() ? &o.button()->displayList()
                                               : nullptr;
        if (!list)
            return {};
        QRectF out;
        // What scripts drew counts too: a clip holding only a drawing has no children.
        if (const DrawingShape* d = o.clip() ? o.clip()->drawing() : nullptr; d && !d->empty()) {
            QRectF local = d->bounds();
            double reach = 0;
            for (const ShapeLayer& layer : d->geometry().layers) {
                for (const FillPath& fill : layer.fills)
                    local |= fill.path.controlPointRect();
                for (const StrokePath& stroke : layer.strokes) {
                    local |= stroke.path.controlPointRect();
                    reach = std::max(reach, stroke.style.width / 2.0 *
                                                std::max(1.5, double(stroke.style.miterLimit)));
                }
            }
            out |= m.mapRect(local.adjusted(-reach, -reach, reach, reach));
        }
        ++f.nesting;
        for (const auto& child : list->objects()) {
            if (child->visible)
                out |= boundsOf(f, *child, child->matrix * m);
        }
        --f.nesting;
        return out;
    }
    default:
        return {};
    }
}

void Renderer::drawObject(Frame& f, const DisplayObject& o, const QTransform& m,
                          const ColorTransform& ct) {
    // opaqueBackground: an opaque rectangle behind the object, over its bounds (the scroll
    // window when it has one) in its own space.
    if (o.backgroundColor && o.backgroundColor->a > 0) {
        const QRectF area = o.scrollRect ? QRectF(QPointF(0, 0), o.scrollRect->size())
                                         : boundsOf(f, o, QTransform(), false);
        if (!area.isEmpty() && !f.outside(area, m)) {
            Rgba c = ct.apply(*o.backgroundColor);
            c.a = 255;
            QPainterPath rect;
            rect.addRect(area);
            f.canvas.fillPath(rect, QBrush(toColor(c)), m, false);
        }
    }
    if (!o.scrollRect) {
        drawContent(f, o, m, ct);
        return;
    }
    // Only the scroll rectangle shows, its corner at the object's origin.
    QPainterPath window;
    window.addRect(QRectF(QPointF(0, 0), o.scrollRect->size()));
    f.canvas.save();
    f.canvas.clip(m.map(window), QTransform());
    const QRectF visible = f.visible;
    if (!visible.isEmpty())
        f.visible = visible & m.mapRect(window.boundingRect());
    if (visible.isEmpty() || !f.visible.isEmpty())
        drawContent(f, o, QTransform::fromTranslate(-o.scrollRect->x(), -o.scrollRect->y()) * m,
                    ct);
    f.visible = visible;
    f.canvas.restore();
}

void Renderer::drawContent(Frame& f, const DisplayObject& o, const QTransform& m,
                           const ColorTransform& ct) {
    const Character* c = o.character;
    if (!c)
        return;
    switch (c->type) {
    case CharacterType::Shape:
        drawShape(f, *c, 0, shapeGeometry(static_cast<const Shape&>(*c)), m, ct);
        break;
    case CharacterType::MorphShape:
        drawShape(f, *c, o.ratio, morphGeometry(static_cast<const MorphShape&>(*c), o.ratio), m,
                  ct);
        break;
    case CharacterType::Text:
        drawStaticText(f, static_cast<const StaticText&>(*c), m, ct);
        break;
    case CharacterType::EditText:
        m_movie = &f.origin->movie();
        drawEditText(f, static_cast<const EditText&>(*c), o, m, ct);
        break;
    case CharacterType::Sprite:
        if (o.clip()) {
            const LoadedMovie* outer = std::exchange(f.origin, &o.clip()->origin());
            // What scripts drew lies beneath the children. It changes between frames: caches
            // of it must key on DrawingShape::generation().
            if (const DrawingShape* d = o.clip()->drawing())
                drawGeometry(f, d->geometry(), m, ct, true);
            drawList(f, o.clip()->displayList(), m, ct, std::exchange(f.layered, false));
            f.origin = outer;
        }
        break;
    case CharacterType::Button:
        if (o.button()) {
            const LoadedMovie* outer = std::exchange(f.origin, &o.button()->host().origin());
            drawList(f, o.button()->displayList(), m, ct, std::exchange(f.layered, false));
            f.origin = outer;
        }
        break;
    case CharacterType::Bitmap: {
        // A bitmap placed by itself: one pixel per 20 twips.
        const QImage& img = objectImage(o);
        if (!img.isNull()) {
            QTransform t = QTransform::fromScale(20, 20) * m;
            bool smooth = true;
            if (o.bitmapData) {
                smooth = o.bitmapSmoothing;
                t = snapped(t, o.pixelSnapping);
            }
            f.canvas.drawImage(ct.isIdentity() ? img : recoloured(img, ct), t, smooth);
        }
        break;
    }
    case CharacterType::Video: {
        const auto& stream = static_cast<const VideoStream&>(*c);
        if (const QImage* picture = m_videos->picture(o, stream))
            drawVideo(f.canvas, stream, *picture, m, ct);
        break;
    }
    case CharacterType::Font:
    case CharacterType::Sound:
        break;
    }
}

const ShapeGeometry& Renderer::shapeGeometry(const Shape& s) {
    const ShapeGeometry& g = s.geometry();
    if (g.fillRule == Qt::OddEvenFill)
        return g;
    // The paths come with Qt's default even-odd rule; give winding shapes their own copy once.
    auto it = m_windingShapes.find(keyOf(s));
    if (it == m_windingShapes.end()) {
        ShapeGeometry copy = g;
        std::size_t elements = 0;
        for (auto& layer : copy.layers) {
            for (auto& fill : layer.fills) {
                fill.path.setFillRule(Qt::WindingFill);
                elements += std::size_t(fill.path.elementCount());
            }
        }
        if (m_windingElements + elements > kMaxCachedElements) {
            m_windingShapes.clear();
            m_windingElements = 0;
        }
        m_windingElements += elements;
        it = m_windingShapes.emplace(keyOf(s), std::move(copy)).first;
    }
    return it->second;
}

const ShapeGeometry& Renderer::morphGeometry(const MorphShape& s, std::uint16_t ratio) {
    const auto key = std::make_pair(keyOf(s), ratio);
    auto it = m_morphs.find(key);
    if (it != m_morphs.end())
        return it->second;
    if (m_morphs.size() >= kMaxMorphSteps)
        m_morphs.clear();
    return m_morphs.emplace(key, s.geometryAt(ratio)).first->second;
}

void Renderer::drawGeometry(Frame& f, const ShapeGeometry& g, const QTransform& m,
                            const ColorTransform& ct, bool) {
    for (const ShapeLayer& layer : g.layers) {
        for (const FillPath& fill : layer.fills) {
            if (!fill.path.isEmpty() && !f.outside(fill.path.controlPointRect(), m))
                drawFill(f, fill.path, fill.style, m, ct);
        }
        for (const StrokePath& stroke : layer.strokes) {
            if (!stroke.path.isEmpty())
                drawStroke(f, stroke.path, stroke.style, m, ct);
        }
    }
}

void Renderer::drawShape(Frame& f, const Character& c, std::uint16_t ratio, const ShapeGeometry& g,
                         const QTransform& m, const ColorTransform& ct) {
    const auto bounds = [&](const QTransform& at) { return drawnBounds(g, at, f.viewScale); };
    const auto draw = [&](Frame& alone, const QTransform& at) {
        drawGeometry(alone, g, at, ct, true);
    };
    qint64 cost = RasterCache::costOf(g);
    RasterKey id = rasterKeyOf(c, ratio);
    // A bitmap fill names its bitmap by id, and a movie may define that id again (a video made
    // of a bitmap per frame under one shape): the bitmap drawn is part of the key. Shapes with
    // fills of more than one bitmap are drawn directly.
    bool anyBitmap = false;
    const auto bitmap = [&](const FillStyle& fill) {
        if (!fill.isBitmap() || cost < 0)
            return;
        const Character* b = f.origin->character(fill.bitmapId);
        const std::uint64_t serial = b ? b->serial : 0; // none yet: the id may come later
        const std::uint32_t generation = b ? b->generation : 0;
        if (std::exchange(anyBitmap, true) &&
            (id.bitmap != serial || id.bitmapGeneration != generation))
            cost = -1;
        id.bitmap = serial;
        id.bitmapGeneration = generation;
    };
    for (const ShapeLayer& layer : g.layers) {
        for (const FillPath& fill : layer.fills)
            bitmap(fill.style);
        for (const StrokePath& stroke : layer.strokes)
            if (stroke.style.hasFill)
                bitmap(stroke.style.fill);
    }
    if (!drawApart(f, id, cost, m, ct, bounds, draw))
        drawGeometry(f, g, m, ct, true);
}

RasterKey Renderer::rasterKeyOf(const Character& c, std::uint16_t ratio) {
    RasterKey id;
    id.serial = c.serial;
    id.generation = c.generation;
    id.ratio = ratio;
    return id;
}

bool Renderer::drawApart(Frame& f, const RasterKey& id, qint64 cost, const QTransform& m,
                         const ColorTransform& ct,
                         const std::function<QRectF(const QTransform&)>& bounds,
                         const std::function<void(Frame&, const QTransform&)>& draw) {
    if (!m_rasterCaching || cost < RasterCache::kMinCost)
        return false;
    if (!f.visible.isEmpty() && !bounds(m).intersects(f.visible))
        return true; // wholly outside: nothing of it would show either way
    return m_rasterCache->draw(f.canvas, id, cost, m, ct, f.viewScale, bounds,
                               [&](Canvas& canvas, const QTransform& at) {
                                   Frame alone{f.player,    f.origin,      canvas,
                                               f.viewScale, f.nesting,     canvas.visibleArea(),
                                               false,       f.stageScaleX, f.stageScaleY};
                                   draw(alone, at);
                               });
}

const QImage* Renderer::bitmapImage(Frame& f, const FillStyle& fill) {
    if (fill.bitmapData) {
        const QImage& img = fill.bitmapData->image();
        return img.isNull() ? nullptr : &img;
    }
    const Character* c = f.origin->character(fill.bitmapId);
    if (!c || c->type != CharacterType::Bitmap)
        return nullptr;
    const QImage& img = static_cast<const Bitmap&>(*c).image();
    return img.isNull() ? nullptr : &img;
}

QImage Renderer::recoloured(const QImage& image, const ColorTransform& ct) {
    const ImageKey key{image.cacheKey(), ct.redMult,  ct.greenMult, ct.blueMult, ct.alphaMult,
                       ct.redAdd,        ct.greenAdd, ct.blueAdd,   ct.alphaAdd};
    auto it = m_images.find(key);
    if (it != m_images.end())
        return it->second;
    QImage out = transformImage(image, ct);
    const auto bytes = std::size_t(out.sizeInBytes());
    if (m_imageBytes + bytes > kMaxImageBytes) {
        m_images.clear();
        m_imageBytes = 0;
    }
    if (bytes <= kMaxImageBytes) {
        m_images.emplace(key, out);
        m_imageBytes += bytes;
    }
    return out;
}

void Renderer::drawFill(Frame& f, const QPainterPath& path, const FillStyle& fill,
                        const QTransform& m, const ColorTransform& ct) {
    if (fill.type == FillType::Solid) {
        const Rgba c = ct.apply(fill.color);
        if (c.a > 0)
            f.canvas.fillPath(path, QBrush(toColor(c)), m, false);
        return;
    }
    if (fill.isGradient()) {
        if (!fill.gradient.stops.empty())
            f.canvas.fillPath(path, gradientBrush(fill, ct), m, false);
        return;
    }
    if (!fill.isBitmap())
        return;
    const QImage* src = bitmapImage(f, fill);
    if (!src)
        return;
    const QImage img = ct.isIdentity() ? *src : recoloured(*src, ct);
    if (fill.isRepeating()) {
        QBrush brush(img);
        brush.setTransform(fill.matrix);
        f.canvas.fillPath(path, brush, m, fill.isSmoothed());
    } else {
        f.canvas.save();
        f.canvas.clip(path, m);
        drawEdgePixels(f, img, path, fill, m);
        f.canvas.drawImage(img, fill.matrix * m, fill.isSmoothed());
        f.canvas.restore();
    }
}

void Renderer::drawEdgePixels(Frame& f, const QImage& img, const QPainterPath& path,
                              const FillStyle& fill, const QTransform& m) {
    // A clipped bitmap does not end at its edge: beyond it, the fill repeats the edge pixels
    // outwards (corners take the corner pixel). The strips reach one pixel under the bitmap, so
    // its anti-aliased edge lands on the same colour; a translucent bitmap would show that
    // overlap twice, so its strips stop at the edge.
    bool ok = false;
    const QTransform toPixels = fill.matrix.inverted(&ok);
    if (!ok)
        return;
    const QRectF need = toPixels.mapRect(path.controlPointRect());
    const double w = img.width(), h = img.height();
    if (need.left() >= 0 && need.top() >= 0 && need.right() <= w && need.bottom() <= h)
        return;
    const double under = img.hasAlphaChannel() ? 0 : 1;
    const QTransform pixelsToCanvas = fill.matrix * m;
    auto paint = [&](const QRectF& area, const QBrush& brush) {
        const QRectF r = area & need;
        if (r.isEmpty())
            return;
        QPainterPath p;
        p.addRect(r);
        f.canvas.fillPath(p, brush, pixelsToCanvas, fill.isSmoothed());
    };
    auto corner = [&](int x, int y) {
        return QBrush(QColor::fromRgba(qUnpremultiply(img.pixel(x, y))));
    };
    const double l = need.left(), t = need.top(), r = need.right(), b = need.bottom();
    paint(QRectF(QPointF(l, t), QPointF(under, under)), corner(0, 0));
    paint(QRectF(QPointF(w - under, t), QPointF(r, under)), corner(int(w) - 1, 0));
    paint(QRectF(QPointF(l, h - under), QPointF(under, b)), corner(0, int(h) - 1));
    paint(QRectF(QPointF(w - under, h - under), QPointF(r, b)), corner(int(w) - 1, int(h) - 1));
    // Edge rows and columns as textures: a one-pixel-wide column repeated across is the column
    // stretched sideways.
    QBrush left(img.copy(0, 0, 1, int(h))), right(img.copy(int(w) - 1, 0, 1, int(h)));
    right.setTransform(QTransform::fromTranslate(w - 1, 0));
    QBrush top(img.copy(0, 0, int(w), 1)), bottom(img.copy(0, int(h) - 1, int(w), 1));
    bottom.setTransform(QTransform::fromTranslate(0, h - 1));
    paint(QRectF(QPointF(l, 0), QPointF(under, h)), left);
    paint(QRectF(QPointF(w - under, 0), QPointF(r, h)), right);
    paint(QRectF(QPointF(0, t), QPointF(w, under)), top);
    paint(QRectF(QPointF(0, h - under), QPointF(w, b)), bottom);
}

void Renderer::drawStroke(Frame& f, const QPainterPath& path, const LineStyle& line,
                          const QTransform& m, const ColorTransform& ct) {
    const double width = strokeWidth(line, m, f.viewScale);
    QBrush brush;
    if (line.hasFill) {
        if (line.fill.isGradient() && !line.fill.gradient.stops.empty()) {
            brush = gradientBrush(line.fill, ct);
            brush.setTransform(brush.transform() * m);
        } else if (line.fill.type == FillType::Solid) {
            brush = QBrush(toColor(ct.apply(line.fill.color)));
        } else if (const QImage* src = line.fill.isBitmap() ? bitmapImage(f, line.fill) : nullptr) {
            brush = QBrush(ct.isIdentity() ? *src : recoloured(*src, ct));
            brush.setTransform(line.fill.matrix * m);
        } else {
            return;
        }
    } else {
        const Rgba c = ct.apply(line.color);
        if (c.a == 0)
            return;
        brush = QBrush(toColor(c));
    }
    // Half the width, further for miter joins, and a pixel for anti-aliasing.
    const double reach = width / 2 * std::max(1.5, line.miterLimit) + 1;
    if (f.outside(path.controlPointRect(), m, reach))
        return;
    QPen pen(brush, width, Qt::SolidLine, penCap(line.startCap), penJoin(line.join));
    pen.setMiterLimit(line.miterLimit);
    if (line.startCap != line.endCap || line.noClose) {
        f.canvas.fillPath(lineOutline(m.map(path), line, pen), brush, QTransform(), true);
        return;
    }
    // Outlines that end where they start are joined there by Qt's stroker, caps elsewhere.
    f.canvas.strokePath(m.map(path), pen);
}

const Renderer::TextCache& Renderer::textCache(const Character& c, const QString* current,
                                               bool currentIsHtml) {
    const bool html = c.type == CharacterType::EditText &&
                      (static_cast<const EditText&>(c).html || (current && currentIsHtml));
    auto it = m_texts.find(keyOf(c));
    // Edit texts are laid out again when scripts changed what they show.
    if (it != m_texts.end() &&
        (!current || (it->second->source == *current && it->second->sourceHtml == html)))
        return *it->second;
    // A field a script changes every frame gets a new generation every frame, and its older
    // layouts are never drawn again: drop them rather than let them fill the cache to its cap.
    for (auto old = m_texts.lower_bound({c.serial, 0});
         old != m_texts.end() && old->first.first == c.serial;) {
        m_textElements -= std::min(m_textElements, old->second->elements);
        old = m_texts.erase(old);
    }
    if (m_textElements > kMaxCachedElements) {
        m_texts.clear();
        m_textElements = 0;
    }
    auto cache = std::make_unique<TextCache>();
    if (current)
        cache->source = *current;
    cache->sourceHtml = html;
    if (c.type == CharacterType::Text) {
        const auto& text = static_cast<const StaticText&>(c);
        cache->matrix = text.matrix;
        for (const TextRun& run : text.runs) {
            if (!run.font)
                continue;
            const double scale = run.height / std::max(1.0, run.font->emSize);
            TextCache::Run out;
            out.color = run.color;
            out.path.setFillRule(Qt::WindingFill);
            std::vector<double> xs;
            xs.reserve(run.glyphs.size());
            double x = run.x;
            for (const GlyphEntry& g : run.glyphs) {
                xs.push_back(x);
                x += g.advance;
            }
            // Rightmost glyph first: see rightmostFirst() in the shape code for why.
            for (std::size_t i = run.glyphs.size(); i-- > 0;) {
                const QPainterPath& glyph = run.font->glyphPath(run.glyphs[i].index);
                if (!glyph.isEmpty())
                    out.path.addPath(QTransform(scale, 0, 0, scale, xs[i], run.y).map(glyph));
            }
            out.bounds = out.path.controlPointRect();
            cache->elements += std::size_t(out.path.elementCount());
            if (!out.path.isEmpty())
                cache->runs.push_back(std::move(out));
        }
    } else if (c.type == CharacterType::EditText) {
        const auto& text = static_cast<const EditText&>(c);
        const EditTextLayout layout =
            layoutEditText(text, current ? *current : text.initialText, html,
                           m_movie ? fontsIn(m_movie->dictionary) : FontFinder{});
        cache->clip.addRect(layout.box);
        cache->border = text.border;
        cache->background = text.background;
        cache->borderColor = text.borderColor;
        cache->backgroundColor = text.backgroundColor;
        if (!text.readOnly || !text.noSelect) {
            for (const LaidOutLine& line : layout.lines) {
                const Rgba color = line.runs.empty()
                                       ? (text.hasTextColor ? text.textColor : Rgba{0, 0, 0, 255})
                                       : line.runs.back().style.color;
                cache->caretLines.push_back({line.firstChar, line.stops,
                                             line.baseline - line.ascent,
                                             line.baseline + line.descent, color});
            }
        }
        for (const LaidOutLine& line : layout.lines) {
            for (const LaidOutRun& run : line.runs) {
                if (run.path.isEmpty())
                    continue;
                if (cache->runs.empty() || !(cache->runs.back().color == run.style.color)) {
                    TextCache::Run out;
                    out.color = run.style.color;
                    out.path.setFillRule(Qt::WindingFill);
                    cache->runs.push_back(std::move(out));
                }
                cache->runs.back().path.addPath(run.path);
            }
        }
        for (TextCache::Run& run : cache->runs) {
            run.bounds = run.path.controlPointRect();
            cache->elements += std::size_t(run.path.elementCount());
        }
    }
    m_textElements += cache->elements;
    return *m_texts.emplace(keyOf(c), std::move(cache)).first->second;
}

void Renderer::drawStaticText(Frame& f, const StaticText& text, const QTransform& m,
                              const ColorTransform& ct) {
    const TextCache& cache = textCache(text);
    const auto draw = [&](Frame& into, const QTransform& at) {
        const QTransform tm = cache.matrix * at;
        for (const auto& run : cache.runs) {
            const Rgba c = ct.apply(run.color);
            if (c.a > 0 && !into.outside(run.bounds, tm))
                into.canvas.fillPath(run.path, QBrush(toColor(c)), tm, false);
        }
    };
    // Glyph outlines are as costly to fill as any: a page of text goes through a picture.
    qint64 cost = 0;
    for (const auto& run : cache.runs)
        cost += run.path.elementCount();
    const auto bounds = [&](const QTransform& at) {
        QRectF out;
        for (const auto& run : cache.runs)
            out |= (cache.matrix * at).mapRect(run.bounds);
        return out;
    };
    if (!drawApart(f, rasterKeyOf(text, 0), cost, m, ct, bounds, draw))
        draw(f, m);
}

void Renderer::drawEditText(Frame& f, const EditText& text, const DisplayObject& o,
                            const QTransform& m, const ColorTransform& ct) {
    const TextCache& cache = textCache(text, &shownText(o), o.composedText.has_value());
    if (cache.background)
        f.canvas.fillPath(cache.clip, QBrush(toColor(ct.apply(cache.backgroundColor))), m, false);
    if (cache.border)
        f.canvas.strokePath(m.map(cache.clip), QPen(toColor(ct.apply(cache.borderColor)), 1));
    const bool selected = o.selectionFrom >= 0 && o.selectionTo > o.selectionFrom;
    const Rgba* color = o.textColor ? &*o.textColor : nullptr;
    const auto glyphs = [&](Frame& into, const QTransform& at) {
        for (const auto& run : cache.runs) {
            const Rgba c = ct.apply(color ? *color : run.color);
            if (c.a > 0 && !run.path.isEmpty() && !into.outside(run.bounds, at))
                into.canvas.fillPath(run.path, QBrush(toColor(c)), at, false);
        }
    };
    // Without a selection behind them, the glyphs go through a picture of their own, kept by
    // the layout (which a new text replaces) and the colour they are drawn in.
    if (!selected) {
        qint64 cost = 0;
        QRectF glyphBounds;
        for (const auto& run : cache.runs) {
            cost += run.path.elementCount();
            glyphBounds |= run.bounds;
        }
        glyphBounds &= cache.clip.controlPointRect();
        RasterKey id;
        id.layout = cache.layout;
        if (color)
            id.textColor = std::uint64_t(1) << 32 | std::uint64_t(color->r) << 24 |
                           std::uint64_t(color->g) << 16 | std::uint64_t(color->b) << 8 | color->a;
        const auto bounds = [&](const QTransform& at) {
            return at.mapRect(glyphBounds).adjusted(-1, -1, 1, 1);
        };
        const auto draw = [&](Frame& into, const QTransform& at) {
            into.canvas.save();
            into.canvas.clip(cache.clip, at);
            glyphs(into, at);
            into.canvas.restore();
        };
        if (glyphBounds.isEmpty() || drawApart(f, id, cost, m, ct, bounds, draw)) {
            drawCaret(f, cache, o, m, ct);
            return;
        }
    }
    f.canvas.save();
    f.canvas.clip(cache.clip, m);
    // The selection: a highlight behind the selected characters of each line.
    if (selected) {
        QPainterPath highlight;
        for (std::size_t i = 0; i < cache.caretLines.size(); ++i) {
            const TextCache::CaretLine& line = cache.caretLines[i];
            const qsizetype end = i + 1 < cache.caretLines.size()
                                      ? cache.caretLines[i + 1].firstChar
                                      : std::numeric_limits<qsizetype>::max();
            if (line.stops.empty() || o.selectionTo <= line.firstChar || o.selectionFrom >= end)
                continue;
            auto stop = [&](qsizetype index) {
                return line.stops[std::size_t(std::clamp<qsizetype>(
                    index - line.firstChar, 0, qsizetype(line.stops.size()) - 1))];
            };
            const double x0 = stop(o.selectionFrom), x1 = stop(o.selectionTo);
            if (x1 > x0)
                highlight.addRect(QRectF(x0, line.top, x1 - x0, line.bottom - line.top));
        }
        if (!highlight.isEmpty())
            f.canvas.fillPath(highlight, QBrush(QColor(173, 214, 255)), m, false);
    }
    glyphs(f, m);
    f.canvas.restore();
    drawCaret(f, cache, o, m, ct);
}

void Renderer::drawCaret(Frame& f, const TextCache& cache, const DisplayObject& o,
                         const QTransform& m, const ColorTransform& ct) {
    // The caret of the focused input field: a line one pixel wide the height of its line.
    const TextCache::CaretLine* caret = nullptr;
    for (const auto& line : cache.caretLines)
        if (o.caret >= 0 && line.firstChar <= o.caret)
            caret = &line;
    if (!caret || caret->stops.empty())
        return;
    const double x = caret->stops[std::min<std::size_t>(std::size_t(o.caret - caret->firstChar),
                                                        caret->stops.size() - 1)];
    QPainterPath bar;
    bar.moveTo(x, caret->top);
    bar.lineTo(x, caret->bottom);
    f.canvas.save();
    f.canvas.clip(cache.clip, m);
    f.canvas.strokePath(m.map(bar), QPen(toColor(ct.apply(o.textColor.value_or(caret->color))), 1));
    f.canvas.restore();
}

QPainterPath Renderer::joinMask(const std::vector<QPainterPath>& parts) {
    QPainterPath mask;
    int elements = 0;
    for (const auto& p : parts)
        elements += p.elementCount();
    if (parts.size() == 1) {
        mask = parts.front();
    } else if (elements <= kMaxMaskElements) {
        for (const auto& p : parts)
            mask = mask.united(p);
    } else {
        mask.setFillRule(Qt::WindingFill);
        for (const auto& p : parts)
            mask.addPath(p);
    }
    return mask;
}

bool Renderer::clipToScriptMask(Frame& f, const DisplayObject& o, const QTransform& m) {
    // The mask stands where it is on the stage, wherever the masked object is: map it through
    // the stage into the masked object's device space. A mask off the stage masks nothing.
    const DisplayObject& mask = *o.scriptMask();
    const auto maskStage = f.player.stageMatrix(mask);
    const auto objectStage = f.player.stageMatrix(o);
    if (!maskStage || !objectStage || !objectStage->isInvertible())
        return false;
    std::vector<QPainterPath> parts;
    collectMask(f, mask, *maskStage * objectStage->inverted() * m, parts);
    f.canvas.save();
    f.canvas.clip(joinMask(parts), QTransform());
    return true;
}

void Renderer::collectGeometryMask(const ShapeGeometry& g, const QTransform& m,
                                   std::vector<QPainterPath>& out) {
    for (const ShapeLayer& layer : g.layers) {
        for (const FillPath& fill : layer.fills) {
            if (!fill.path.isEmpty()) {
                QPainterPath p = m.map(fill.path);
                p.setFillRule(g.fillRule);
                out.push_back(std::move(p));
            }
        }
    }
}

void Renderer::collectMask(Frame& f, const DisplayObject& o, const QTransform& m,
                           std::vector<QPainterPath>& out, bool scroll) {
    const Character* c = o.character;
    if (!c || f.nesting > kMaxNesting)
        return;
    if (scroll && o.scrollRect) {
        // A scrolled mask masks with what shows in its window.
        QPainterPath window;
        window.addRect(QRectF(QPointF(0, 0), o.scrollRect->size()));
        window = m.map(window);
        std::vector<QPainterPath> inside;
        collectMask(f, o, QTransform::fromTranslate(-o.scrollRect->x(), -o.scrollRect->y()) * m,
                    inside, false);
        for (const QPainterPath& p : inside)
            out.push_back(p.intersected(window));
        return;
    }
    switch (c->type) {
    case CharacterType::Shape:
        collectGeometryMask(static_cast<const Shape&>(*c).geometry(), m, out);
        break;
    case CharacterType::MorphShape:
        collectGeometryMask(morphGeometry(static_cast<const MorphShape&>(*c), o.ratio), m, out);
        break;
    case CharacterType::Text:
    case CharacterType::EditText: {
        m_movie = &f.origin->movie();
        const TextCache& cache =
            textCache(*c, c->type == CharacterType::EditText ? &shownText(o) : nullptr,
                      o.composedText.has_value());
        for (const auto& run : cache.runs)
            out.push_back((cache.matrix * m).map(run.path));
        break;
    }
    case CharacterType::Sprite:
    case CharacterType::Button: {
        const DisplayList* list = o.clip()     ? &o.clip()->displayList()
                                  : o.button() ? &o.button()->displayList()
                                               : nullptr;
        if (!list)
            break;
        // A clip whose drawing (the drawing API's) masks: the drawn outlines count too.
        if (o.clip() && o.clip()->drawing())
            collectGeometryMask(o.clip()->drawing()->geometry(), m, out);
        const LoadedMovie* outer =
            std::exchange(f.origin, o.clip() ? &o.clip()->origin() : &o.button()->host().origin());
        ++f.nesting;
        for (const auto& child : list->objects()) {
            if (!child->isClipLayer())
                collectMask(f, *child, child->matrix * m, out);
        }
        --f.nesting;
        f.origin = outer;
        break;
    }
    case CharacterType::Video: {
        QPainterPath p;
        p.addRect(videoBox(static_cast<const VideoStream&>(*c), nullptr));
        out.push_back(m.map(p));
        break;
    }
    case CharacterType::Bitmap: {
        const QImage& img = objectImage(o);
        QPainterPath p;
        p.addRect(QRectF(0, 0, img.width() * 20.0, img.height() * 20.0));
        out.push_back(m.map(p));
        break;
    }
    default:
        break;
    }
}

namespace {

bool geometryContains(const ShapeGeometry& g, const QPointF& p) {
    for (const ShapeLayer& layer : g.layers) {
        for (const FillPath& fill : layer.fills) {
            if (fill.path.controlPointRect().contains(p) && fill.path.contains(p))
                return true;
        }
        for (const StrokePath& stroke : layer.strokes) {
            const double half = std::max<double>(stroke.style.width, 20) / 2;
            if (stroke.path.controlPointRect().adjusted(-half, -half, half, half).contains(p)) {
                QPainterPathStroker stroker;
                stroker.setWidth(half * 2);
                if (stroker.createStroke(stroke.path).contains(p))
                    return true;
            }
        }
    }
    return false;
}

bool hitCharacter(const LoadedMovie& origin, const Character* c, const QPointF& p, int depth) {
    if (!c || depth > 16)
        return false;
    auto hitGeometry = [&](const ShapeGeometry& g) { return geometryContains(g, p); };
    auto inRect = [&](const Rect& r) {
        return p.x() >= r.xMin && p.x() <= r.xMax && p.y() >= r.yMin && p.y() <= r.yMax;
    };
    switch (c->type) {
    case CharacterType::Shape:
        return hitGeometry(static_cast<const Shape*>(c)->geometry());
    case CharacterType::MorphShape:
        return hitGeometry(static_cast<const MorphShape*>(c)->geometryAt(0));
    case CharacterType::Text:
        return inRect(static_cast<const StaticText*>(c)->bounds);
    case CharacterType::EditText:
        return inRect(static_cast<const EditText*>(c)->bounds);
    case CharacterType::Sprite: {
        // A sprite as a hit area: what its first frame places.
        const auto* s = static_cast<const Sprite*>(c);
        if (s->timeline.frames.empty())
            return false;
        for (const DisplayTag& tag : s->timeline.frames.front().display) {
            if (!tag.characterId)
                continue;
            bool ok = false;
            const QPointF local = tag.matrix.value_or(QTransform()).inverted(&ok).map(p);
            if (ok && hitCharacter(origin, origin.character(*tag.characterId), local, depth + 1))
                return true;
        }
        return false;
    }
    default:
        return false;
    }
}

ButtonInstance* buttonIn(Player& player, const DisplayList& list, const QTransform& m,
                         const QPointF& p, int depth) {
    if (depth > kMaxNesting)
        return nullptr;
    const auto& objects = list.objects();
    for (auto it = objects.rbegin(); it != objects.rend(); ++it) {
        const DisplayObject& o = **it;
        if (!o.visible || o.isClipLayer())
            continue;
        const QTransform om = o.matrix * m;
        if (ButtonInstance* b = o.button()) {
            for (const ButtonRecord& r : b->button().records) {
                if (!(r.states & ButtonHitTest))
                    continue;
                bool ok = false;
                const QPointF local = (r.matrix * om).inverted(&ok).map(p);
                if (ok && hitCharacter(b->host().origin(),
                                       b->host().origin().character(r.characterId), local, 0))
                    return b;
            }
            if (ButtonInstance* inner = buttonIn(player, b->displayList(), om, p, depth + 1))
                return inner;
        } else if (MovieClip* clip = o.clip()) {
            if (ButtonInstance* inner = buttonIn(player, clip->displayList(), om, p, depth + 1))
                return inner;
        }
    }
    return nullptr;
}

} // namespace

ButtonInstance* Renderer::buttonAt(Player& player, const QPointF& stagePoint) {
    // The topmost level first.
    const auto& levels = player.levels();
    for (auto it = levels.rbegin(); it != levels.rend(); ++it) {
        const DisplayObject& level = *it->second;
        if (!level.visible || !level.clip())
            continue;
        if (ButtonInstance* b =
                buttonIn(player, level.clip()->displayList(), level.matrix, stagePoint, 0))
            return b;
    }
    return buttonIn(player, player.root().displayList(), QTransform(), stagePoint, 0);
}

namespace {

// Whether the timeline masks (clip layers) of `list` whose range covers `o` leave `stagePoint`
// (twips) showing; `content` maps the list's space to the stage.
bool layerMasksAllow(const Player& player, const DisplayList& list, const DisplayObject& o,
                     const QTransform& content, const QPointF& stagePoint, int depth) {
    for (const auto& layer : list.objects()) {
        if (layer->depth >= o.depth)
            break;
        if (layer->isClipLayer() && o.depth <= layer->clipDepth &&
            !Renderer::shapeContains(player, *layer, layer->matrix * content, stagePoint, depth + 1,
                                     false))
            return false;
    }
    return true;
}

} // namespace

bool Renderer::maskAllows(const Player& player, const DisplayObject& o, const QPointF& stagePoint,
                          int depth) {
    // setMask: the mask stands where it is on the stage; one off the stage masks nothing, as
    // drawn.
    const DisplayObject* mask = o.scriptMask();
    if (!mask)
        return true;
    const auto at = player.stageMatrix(*mask);
    return !at || shapeContains(player, *mask, *at, stagePoint, depth + 1, false);
}

bool Renderer::shapeContains(const Player& player, const DisplayObject& o, const QTransform& m,
                             const QPointF& stagePoint, int depth, bool masks) {
    bool ok = false;
    QPointF local = m.inverted(&ok).map(stagePoint);
    if (!ok || depth > kMaxNesting)
        return false;
    if (masks) {
        if (!maskAllows(player, o, stagePoint, depth))
            return false;
        // The masks of the clips holding it hide it too, and the timeline's masks over it and
        // over them.
        if (depth == 0) {
            const MovieClip* parent = o.clip()     ? o.clip()->parent()
                                      : o.button() ? o.button()->host().parent()
                                                   : player.parentOf(o);
            bool invertible = false;
            const QTransform parentContent = o.matrix.inverted(&invertible) * m;
            if (parent && invertible &&
                !layerMasksAllow(player, parent->displayList(), o, parentContent, stagePoint,
                                 depth))
                return false;
            for (int guard = 0; parent && guard <= kMaxNesting; ++guard) {
                const DisplayObject* holder = player.objectOf(*parent);
                if (!holder)
                    break;
                if (!maskAllows(player, *holder, stagePoint, depth))
                    return false;
                const MovieClip* up = parent->parent();
                if (const auto at = up ? player.stageMatrix(*holder) : std::nullopt) {
                    const QTransform upContent = holder->matrix.inverted(&invertible) * *at;
                    if (invertible && !layerMasksAllow(player, up->displayList(), *holder,
                                                       upContent, stagePoint, depth))
                        return false;
                }
                parent = up;
            }
        }
    }
    QTransform content = m;
    if (o.scrollRect) {
        // Only what shows in the scroll rectangle is there to hit.
        if (!QRectF(QPointF(0, 0), o.scrollRect->size()).contains(local))
            return false;
        local += o.scrollRect->topLeft();
        content = QTransform::fromTranslate(-o.scrollRect->x(), -o.scrollRect->y()) * m;
    }
    if (const MovieClip* clip = o.clip()) {
        if (const DrawingShape* d = clip->drawing(); d && geometryContains(d->geometry(), local))
            return true;
        for (const auto& child : clip->displayList().objects()) {
            if (child->visible && !child->isClipLayer() &&
                (!masks || layerMasksAllow(player, clip->displayList(), *child, content, stagePoint,
                                           depth)) &&
                shapeContains(player, *child, child->matrix * content, stagePoint, depth + 1))
                return true;
        }
        return false;
    }
    if (const ButtonInstance* b = o.button()) {
        for (const ButtonRecord& r : b->button().records) {
            if (!(r.states & ButtonHitTest))
                continue;
            const QPointF p = (r.matrix * content).inverted(&ok).map(stagePoint);
            if (ok &&
                hitCharacter(b->host().origin(), b->host().origin().character(r.characterId), p, 0))
                return true;
        }
        return false;
    }
    if (o.character && o.character->type == CharacterType::MorphShape)
        return geometryContains(static_cast<const MorphShape*>(o.character)->geometryAt(o.ratio),
                                local);
    // Only a sprite without an instance would need its own movie here.
    return hitCharacter(player.root().origin(), o.character, local, 0);
}

} // namespace swf::render
