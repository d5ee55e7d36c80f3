#include "swf/render/changes.h"

#include "swf/bitmapdata.h"
#include "swf/render/filters.h"
#include "swf/render/video.h"

#include <QHash>
#include <algorithm>
#include <bit>
#include <cmath>

namespace swf::render {
namespace {

constexpr int kMaxNesting = 128; // as deep as the renderer draws
constexpr double kAntiAlias = 2; // device pixels: edge coverage and smoothed bitmaps
constexpr std::size_t kManyAreas = 64;
constexpr int kTile = 64; // device pixels; many small areas are gathered into tiles this size

std::uint64_t mix(std::uint64_t x) {
    x ^= x >> 30;
    x *= 0xbf58476d1ce4e5b9ULL;
    x ^= x >> 27;
    x *= 0x94d049bb133111ebULL;
    x ^= x >> 31;
    return x;
}

struct Hasher {
    std::uint64_t h = 0x9e3779b97f4a7c15ULL;
    void add(std::uint64_t v) { h = mix(h ^ (v + 0x9e3779b97f4a7c15ULL + (h << 6) + (h >> 2))); }
    void add(double d) { add(std::bit_cast<std::uint64_t>(d)); }
    void add(const void* p) { add(std::uint64_t(reinterpret_cast<std::uintptr_t>(p))); }
    void add(const QTransform& m) {
        for (double v :
             {m.m11(), m.m12(), m.m13(), m.m21(), m.m22(), m.m23(), m.dx(), m.dy(), m.m33()})
            add(v);
    }
    void add(const ColorTransform& c) {
        for (std::int32_t v : {c.redMult, c.greenMult, c.blueMult, c.alphaMult, c.redAdd,
                               c.greenAdd, c.blueAdd, c.alphaAdd})
            add(std::uint64_t(std::uint32_t(v)));
    }
    void add(Rgba c) { add(std::uint64_t(c.r) << 24 | c.g << 16 | c.b << 8 | c.a); }
    void add(const Filter& f) {
        add(std::uint64_t(f.type));
        for (Rgba c : f.colors)
            add(c);
        for (std::uint8_t r : f.ratios)
            add(std::uint64_t(r));
        for (double v : {f.blurX, f.blurY, f.angle, f.distance, f.strength})
            add(v);
        add(std::uint64_t(f.passes) | std::uint64_t(f.inner) << 8 | std::uint64_t(f.knockout) << 9 |
            std::uint64_t(f.compositeSource) << 10 | std::uint64_t(f.onTop) << 11 |
            std::uint64_t(f.clamp) << 12 | std::uint64_t(f.preserveAlpha) << 13 |
            std::uint64_t(f.matrixX) << 16 | std::uint64_t(f.matrixY) << 24);
        add(double(f.divisor));
        add(double(f.bias));
        for (float v : f.matrix)
            add(double(v));
        add(f.defaultColor);
    }
};

bool actsOnParent(BlendMode mode) {
    return mode == BlendMode::Alpha || mode == BlendMode::Erase;
}

bool isLayered(const DisplayObject& o) {
    return o.blendMode != BlendMode::Normal || (o.filters && !o.filters->empty());
}

// opaqueBackground (or PlaceObject3's background colour), as the renderer draws it.
bool hasBackground(const DisplayObject& o) {
    return o.backgroundColor && o.backgroundColor->a > 0;
}

// As the renderer decides: a list with a visible alpha or erase child is drawn into a layer of
// its own, which that child cuts into anywhere.
bool needsOwnLayer(const DisplayList& list) {
    return std::any_of(list.objects().begin(), list.objects().end(), [](const auto& o) {
        return o->visible && !o->isClipLayer() && actsOnParent(o->blendMode);
    });
}

const DisplayList* childrenOf(const DisplayObject& o) {
    if (o.clip())
        return &o.clip()->displayList();
    if (o.button())
        return &o.button()->displayList();
    return nullptr;
}

// How far strokes reach beyond their path: half the width, further at miter tips.
double strokeReach(double width, double miterLimit) {
    return width / 2 * std::max(1.5, miterLimit);
}

const QRectF kUnbounded(-1e12, -1e12, 2e12, 2e12);

} // namespace

struct Extent {
    QRectF rect;
    double pad = 0;
    void unite(const Extent& e) {
        if (e.rect.isNull() && e.pad == 0)
            return;
        rect = rect.isNull() ? e.rect : rect.united(e.rect);
        pad = std::max(pad, e.pad);
    }
};

// Reads a scene into items, in the order the renderer draws them.
struct SceneReader {
    ChangeTracker& tracker;
    const Player& player;
    std::vector<ChangeTracker::Item>& out;
    int nesting = 0;

    void add(std::uint64_t key, const Extent& e) {
        if (e.rect.isNull() && e.pad == 0)
            return; // draws nothing
        out.push_back({key, e.rect, e.pad});
    }

    // A script's drawing, with the pixels of the bitmaps it fills with: a script may edit those
    // after drawing, which changes no edge.
    static void hashDrawing(Hasher& h, const DrawingShape& d) {
        h.add(&d);
        h.add(d.generation());
        for (const ShapeLayer& layer : d.geometry().layers) {
            for (const FillPath& f : layer.fills) {
                if (const BitmapData* b = f.style.bitmapData.get()) {
                    h.add(b);
                    h.add(b->generation());
                }
            }
            for (const StrokePath& s : layer.strokes) {
                if (const BitmapData* b = s.style.fill.bitmapData.get()) {
                    h.add(b);
                    h.add(b->generation());
                }
            }
        }
    }

    static void hashRect(Hasher& h, const QRectF& r) {
        for (double v : {r.x(), r.y(), r.width(), r.height()})
            h.add(v);
    }

    // Everything about an object and what it holds that decides its pixels, in its own space.
    void hashObject(Hasher& h, const DisplayObject& o) {
        h.add(std::uint64_t(std::uint32_t(o.depth)) << 32 | std::uint64_t(o.clipDepth) << 16 |
              std::uint64_t(o.visible) << 8 | std::uint64_t(o.blendMode));
        h.add(o.matrix);
        h.add(o.colorTransform);
        h.add(std::uint64_t(o.ratio));
        if (o.scrollRect)
            hashRect(h, *o.scrollRect);
        h.add(std::uint64_t(o.backgroundColor.has_value()));
        if (o.backgroundColor)
            h.add(*o.backgroundColor);
        if (const Character* c = o.character) {
            h.add(c->serial);
            h.add(std::uint64_t(c->generation));
        }
        // attachBitmap: one character for every script bitmap, so the pixels are read here.
        if (const BitmapData* b = o.bitmapData.get()) {
            h.add(b);
            h.add(b->generation());
            h.add(std::uint64_t(o.bitmapSmoothing));
        }
        if (o.filters) {
            h.add(std::uint64_t(o.filters->size()));
            for (const Filter& f : *o.filters)
                h.add(f);
        }
        if (o.character && o.character->type == CharacterType::EditText) {
            const QString& shown = o.composedText ? *o.composedText : o.text;
            h.add(std::uint64_t(qHash(shown)));
            h.add(std::uint64_t(shown.size()));
            h.add(std::uint64_t(std::int64_t(o.caret)));
            h.add(std::uint64_t(std::int64_t(o.selectionFrom)));
            h.add(std::uint64_t(std::int64_t(o.selectionTo)));
            h.add(std::uint64_t(o.textColor.has_value()));
            if (o.textColor)
                h.add(*o.textColor);
        }
        if (nesting > kMaxNesting)
            return;
        // Inside a layer read as one item, a script mask's shape and place count too.
        h.add(std::uint64_t(o.masking() != nullptr));
        if (const DisplayObject* mask = o.scriptMask()) {
            h.add(mask);
            if (const auto at = player.stageMatrix(*mask))
                h.add(*at);
            ++nesting;
            hashObject(h, *mask);
            --nesting;
        }
        if (o.clip()) {
            if (const DrawingShape* d = o.clip()->drawing())
                hashDrawing(h, *d);
        }
        if (o.button())
            h.add(std::uint64_t(o.button()->state()));
        if (const DisplayList* list = childrenOf(o)) {
            h.add(std::uint64_t(list->size()));
            ++nesting;
            for (const auto& child : list->objects())
                hashObject(h, *child);
            --nesting;
        }
    }

    std::uint64_t keyOf(std::uint64_t context, char kind, const QTransform& m,
                        const ColorTransform& ct, const DisplayObject* o) {
        Hasher h;
        h.add(context);
        h.add(std::uint64_t(kind));
        h.add(m);
        h.add(ct);
        if (o)
            hashObject(h, *o);
        return h.h;
    }

    static Extent mapped(const QRectF& local, const QTransform& m, double stagePad,
                         double devicePad) {
        if (local.isNull())
            return {};
        if (local == kUnbounded)
            return {kUnbounded, 0};
        QRectF r = m.mapRect(local).adjusted(-stagePad, -stagePad, stagePad, stagePad);
        if (!std::isfinite(r.left()) || !std::isfinite(r.right()) || !std::isfinite(r.top()) ||
            !std::isfinite(r.bottom()))
            r = kUnbounded;
        // A zero-width line still covers pixels: keep the rectangle from being null.
        if (r.width() <= 0)
            r.setWidth(1e-3);
        if (r.height() <= 0)
            r.setHeight(1e-3);
        return {r, devicePad + kAntiAlias};
    }

    static void growByFilters(Extent& e, const std::vector<Filter>* filters) {
        if (!filters || filters->empty() || (e.rect.isNull() && e.pad == 0))
            return;
        // Filter sizes are stage pixels; a part of the reach is whole device pixels.
        const double twips = filterReach(*filters, 1, 1) * 20;
        e.rect.adjust(-twips, -twips, twips, twips);
        e.pad += filterReach(*filters, 0, 0);
    }

    Extent drawingExtent(const DrawingShape& d, const QTransform& m) {
        if (d.empty())
            return {};
        double reach = 0, device = 0;
        for (const ShapeLayer& layer : d.geometry().layers) {
            for (const StrokePath& s : layer.strokes) {
                reach = std::max(reach, strokeReach(s.style.width, s.style.miterLimit));
                device = std::max(device, strokeReach(1, s.style.miterLimit) + 1);
            }
        }
        QRectF local = d.bounds();
        for (const ShapeLayer& layer : d.geometry().layers) {
            for (const FillPath& f : layer.fills)
                local |= f.path.controlPointRect();
            for (const StrokePath& s : layer.strokes)
                local |= s.path.controlPointRect();
        }
        local.adjust(-reach, -reach, reach, reach);
        return mapped(local, m, reach, device);
    }

    // Everything an object draws, its children's strokes and filter margins included. Masks
    // (`hidden`) take invisible children too, as the renderer collects them.
    Extent extentOf(const DisplayObject& o, const QTransform& m, bool hidden, bool scroll = true) {
        const Character* c = o.character;
        if (!c || nesting > kMaxNesting)
            return {};
        if (scroll && o.scrollRect) {
            // What shows in the scroll rectangle, at most.
            Extent e = extentOf(o, scrolled(o, m), hidden, false);
            const QRectF window = windowOf(o, m).rect;
            if (e.rect.isNull() || window.isNull())
                return {};
            e.rect &= window;
            return e.rect.isEmpty() ? Extent{} : e;
        }
        switch (c->type) {
        case CharacterType::Shape:
        case CharacterType::MorphShape: {
            if (c->type == CharacterType::MorphShape) {
                const auto& morph = static_cast<const MorphShape&>(*c);
                const auto& [from, to] = tracker.morphBounds(morph);
                const double t = o.ratio / 65535.0;
                auto lerp = [t](double a, double b) { return a + (b - a) * t; };
                const QRectF local0(
                    QPointF(lerp(from.left(), to.left()), lerp(from.top(), to.top())),
                    QPointF(lerp(from.right(), to.right()), lerp(from.bottom(), to.bottom())));
                double reach = 0, device = kAntiAlias;
                for (const MorphLineStyle& l : morph.lines) {
                    reach = std::max(reach,
                                     strokeReach(std::max(l.startWidth, l.endWidth), l.miterLimit));
                    device = std::max(device, strokeReach(1, l.miterLimit) + 1);
                }
                const QRectF local = local0.adjusted(-reach, -reach, reach, reach);
                return mapped(local, m, reach, device);
            }
            const auto& b = tracker.shapeBounds(*c);
            return mapped(b.rect, m, b.stagePad, b.devicePad);
        }
        case CharacterType::Text: {
            const auto& t = static_cast<const StaticText&>(*c);
            return mapped(tracker.textBounds(*c).rect, t.matrix * m, 0, 0);
        }
        case CharacterType::EditText: {
            const Rect& r = static_cast<const EditText&>(*c).bounds;
            return mapped(QRectF(r.xMin, r.yMin, r.width(), r.height()), m, 0, 1);
        }
        case CharacterType::Bitmap: {
            if (const BitmapData* b = o.bitmapData.get()) // attachBitmap: the script's pixels
                return mapped(QRectF(0, 0, b->width() * 20.0, b->height() * 20.0), m, 0, 1);
            const QImage& img = static_cast<const Bitmap&>(*c).image();
            return mapped(QRectF(0, 0, img.width() * 20.0, img.height() * 20.0), m, 0, 0);
        }
        case CharacterType::Video: {
            const QRectF box = videoBox(static_cast<const VideoStream&>(*c), nullptr);
            // Without a declared size the picture decides it: anywhere.
            return mapped(box.isEmpty() ? kUnbounded : box, m, 0, 0);
        }
        case CharacterType::Sprite:
        case CharacterType::Button: {
            Extent e;
            if (o.clip()) {
                if (const DrawingShape* d = o.clip()->drawing())
                    e.unite(drawingExtent(*d, m));
            }
            const DisplayList* list = childrenOf(o);
            if (!list)
                return e;
            ++nesting;
            for (const auto& child : list->objects()) {
                if (child->isClipLayer() || (!hidden && (!child->visible || child->masking())))
                    continue;
                Extent ce = extentOf(*child, child->matrix * m, hidden);
                if (!hidden)
                    growByFilters(ce, child->filters);
                e.unite(ce);
            }
            --nesting;
            return e;
        }
        case CharacterType::Font:
        case CharacterType::Sound:
            break;
        }
        return {};
    }

    // The list's objects whose depths lie in [fromDepth, toDepth).
    void readList(const DisplayList& list, const QTransform& m, const ColorTransform& ct,
                  std::uint64_t context, std::int32_t fromDepth = INT32_MIN,
                  std::int32_t toDepth = INT32_MAX) {
        if (nesting > kMaxNesting)
            return;
        ++nesting;
        std::vector<std::pair<std::int32_t, std::uint64_t>> masks; // clip depth, identity
        for (const auto& object : list.objects()) {
            const DisplayObject& o = *object;
            if (o.depth < fromDepth || o.depth >= toDepth)
                continue;
            std::erase_if(masks, [&](const auto& k) { return k.first < o.depth; });
            std::uint64_t under = context;
            for (const auto& k : masks)
                under = mix(under ^ k.second);
            const QTransform om = o.matrix * m;
            if (o.isClipLayer()) {
                // The mask's own shape: what it hides and shows changes only inside its bounds
                // then and now. Objects under it carry its identity, so leaving or entering
                // its depth range redraws them whole.
                add(keyOf(under, 'm', om, {}, &o), extentOf(o, om, true));
                Hasher id;
                id.add(&o);
                id.add(std::uint64_t(std::uint32_t(o.depth)) << 16 | o.clipDepth);
                masks.emplace_back(o.clipDepth, id.h);
                continue;
            }
            if (!o.visible || o.masking())
                continue; // a script's mask is not drawn: what it masks reads it
            if (o.scriptMask())
                under = readScriptMask(o, om, under);
            const ColorTransform oct = o.colorTransform.then(ct);
            if (isLayered(o) || hasBackground(o)) {
                // Drawn as one picture and put on the stage with its effects: one item. So is
                // an object over an opaque background, which covers all it holds.
                Extent e = extentOf(o, om, false);
                if (hasBackground(o) && o.scrollRect)
                    e.unite(windowOf(o, om));
                growByFilters(e, o.filters);
                add(keyOf(under, 'l', om, oct, &o), e);
            } else {
                readObject(o, om, oct, under);
            }
        }
        --nesting;
    }

    // As for a timeline mask: the script mask's shape where it stands, as one item, and the
    // masked object under its identity. A mask off the stage masks nothing, as drawn.
    std::uint64_t readScriptMask(const DisplayObject& o, const QTransform& om,
                                 std::uint64_t under) {
        const DisplayObject& mask = *o.scriptMask();
        const auto maskStage = player.stageMatrix(mask);
        const auto objectStage = player.stageMatrix(o);
        if (!maskStage || !objectStage || !objectStage->isInvertible())
            return under;
        const QTransform mm = *maskStage * objectStage->inverted() * om;
        ++nesting;
        add(keyOf(under, 's', mm, {}, &mask), extentOf(mask, mm, true));
        --nesting;
        Hasher id;
        id.add(&mask);
        id.add(std::uint64_t('s'));
        return mix(under ^ id.h);
    }

    static QTransform scrolled(const DisplayObject& o, const QTransform& m) {
        return QTransform::fromTranslate(-o.scrollRect->x(), -o.scrollRect->y()) * m;
    }
    static Extent windowOf(const DisplayObject& o, const QTransform& m) {
        return mapped(QRectF(QPointF(0, 0), o.scrollRect->size()), m, 0, 0);
    }

    void readObject(const DisplayObject& o, const QTransform& om, const ColorTransform& ct,
                    std::uint64_t context) {
        const Character* c = o.character;
        if (!c)
            return;
        QTransform m = om;
        if (o.scrollRect &&
            (c->type == CharacterType::Sprite || c->type == CharacterType::Button)) {
            // As for a mask: the window's edges as one item, and what it holds under its
            // identity, so a moved or resized window redraws what it showed and shows.
            Hasher id;
            id.add(std::uint64_t('w'));
            hashRect(id, *o.scrollRect);
            add(keyOf(context, 'w', m, {}, nullptr) ^ id.h, windowOf(o, m));
            context = mix(context ^ id.h);
            m = scrolled(o, m);
        }
        if (c->type == CharacterType::Sprite || c->type == CharacterType::Button) {
            if (o.clip()) {
                if (const DrawingShape* d = o.clip()->drawing()) {
                    Hasher h;
                    h.add(context);
                    h.add(std::uint64_t('d'));
                    h.add(m);
                    h.add(ct);
                    hashDrawing(h, *d);
                    add(h.h, drawingExtent(*d, m));
                }
            }
            const DisplayList* list = childrenOf(o);
            if (!list)
                return;
            if (needsOwnLayer(*list)) {
                Hasher h;
                h.add(keyOf(context, 'o', om, ct, &o));
                add(h.h, extentOf(o, om, false));
                return;
            }
            readList(*list, m, ct, context);
            return;
        }
        add(keyOf(context, 'x', om, ct, &o), extentOf(o, om, false));
    }

    void readRoot(const QTransform& view) {
        const MovieClip& root = player.root();
        const auto& window = player.rootWindow();
        // The document's scroll window, as an object's: its edges as one item and what it
        // holds under its identity, moved by its corner.
        std::uint64_t context = 0;
        QTransform m = view;
        std::int32_t stageDepth = INT32_MAX;
        if (window) {
            Hasher id;
            id.add(std::uint64_t('W'));
            hashRect(id, window->rect);
            add(keyOf(0, 'w', view, {}, nullptr) ^ id.h,
                mapped(QRectF(QPointF(0, 0), window->rect.size()), view, 0, 0));
            context = mix(id.h);
            m = window->offset() * view;
            stageDepth = window->stageDepth;
        }
        if (const DrawingShape* d = root.drawing()) {
            Hasher h;
            h.add(std::uint64_t('r'));
            h.add(context);
            hashDrawing(h, *d);
            add(h.h, drawingExtent(*d, m));
        }
        const DisplayList& list = root.displayList();
        if (!needsOwnLayer(list)) {
            readList(list, m, {}, context, INT32_MIN, stageDepth);
            if (window)
                readList(list, view, {}, 0, stageDepth);
            return;
        }
        Hasher h;
        h.add(std::uint64_t('R'));
        h.add(context);
        Extent e;
        for (const auto& o : list.objects()) {
            hashObject(h, *o);
            if (!o->isClipLayer() && o->visible) {
                Extent ce = extentOf(*o, o->matrix * (o->depth < stageDepth ? m : view), false);
                growByFilters(ce, o->filters);
                e.unite(ce);
            }
        }
        add(h.h, e);
    }

    // The focus rectangle around a focused button, above everything: its two pixels of line
    // lie just outside the rectangle.
    void readFocusRect(const QTransform& m) {
        const auto& r = player.focusRect();
        if (!r)
            return;
        Hasher h;
        h.add(std::uint64_t('F'));
        hashRect(h, *r);
        add(h.h, mapped(*r, m, 0, 3));
    }

    // Levels loaded by scripts lie above level 0. Each is read as one piece: anything changed
    // in it repaints all of it, which is rare enough to keep simple.
    void readLevels(const QTransform& m) {
        for (const auto& [n, level] : player.levels()) {
            Hasher h;
            h.add(std::uint64_t('L'));
            h.add(std::uint64_t(std::uint32_t(n)));
            hashObject(h, *level);
            Extent e;
            if (level->visible) {
                e = extentOf(*level, level->matrix * m, false);
                growByFilters(e, level->filters);
            }
            add(h.h, e);
        }
    }
};

ChangeTracker::ChangeTracker() = default;
ChangeTracker::~ChangeTracker() = default;

void ChangeTracker::reset() {
    m_valid = false;
    m_items.clear();
}

const ChangeTracker::LocalBounds& ChangeTracker::shapeBounds(const Character& c) {
    auto it = m_bounds.find(c.serial);
    if (it != m_bounds.end())
        return it->second;
    const auto& shape = static_cast<const Shape&>(c);
    LocalBounds b;
    b.rect =
        QRectF(shape.bounds.xMin, shape.bounds.yMin, shape.bounds.width(), shape.bounds.height());
    // The declared bounds are the author's tool's word; the outlines drawn are what counts.
    double reach = 0, stageReach = 0, device = 0;
    for (const ShapeLayer& layer : shape.geometry().layers) {
        for (const FillPath& f : layer.fills)
            b.rect |= f.path.controlPointRect();
        for (const StrokePath& s : layer.strokes) {
            b.rect |= s.path.controlPointRect();
            const double r = strokeReach(s.style.width, s.style.miterLimit);
            if (s.style.noHScale || s.style.noVScale)
                stageReach = std::max(stageReach, r); // as wide whatever the object's scale
            reach = std::max(reach, r);
            device = std::max(device, strokeReach(1, s.style.miterLimit) + 1);
        }
    }
    b.rect.adjust(-reach, -reach, reach, reach);
    b.stagePad = stageReach;
    b.devicePad = device;
    return m_bounds.emplace(c.serial, b).first->second;
}

const std::pair<QRectF, QRectF>& ChangeTracker::morphBounds(const MorphShape& c) {
    auto it = m_morphs.find(c.serial);
    if (it != m_morphs.end())
        return it->second;
    auto box = [](const ShapeGeometry& g, const Rect& declared) {
        QRectF r(declared.xMin, declared.yMin, declared.width(), declared.height());
        for (const ShapeLayer& layer : g.layers) {
            for (const FillPath& f : layer.fills)
                r |= f.path.controlPointRect();
            for (const StrokePath& s : layer.strokes)
                r |= s.path.controlPointRect();
        }
        return r;
    };
    return m_morphs
        .emplace(c.serial, std::make_pair(box(c.geometryAt(0), c.startBounds),
                                          box(c.geometryAt(65535), c.endBounds)))
        .first->second;
}

const ChangeTracker::LocalBounds& ChangeTracker::textBounds(const Character& c) {
    auto it = m_bounds.find(c.serial);
    if (it != m_bounds.end())
        return it->second;
    const auto& text = static_cast<const StaticText&>(c);
    LocalBounds b;
    b.rect = QRectF(text.bounds.xMin, text.bounds.yMin, text.bounds.width(), text.bounds.height());
    // Glyphs may stray outside the declared bounds; the renderer draws them where they are.
    for (const TextRun& run : text.runs) {
        if (!run.font)
            continue;
        const double scale = run.height / std::max(1.0, run.font->emSize);
        double x = run.x;
        for (const GlyphEntry& g : run.glyphs) {
            const QPainterPath& glyph = run.font->glyphPath(g.index);
            if (!glyph.isEmpty())
                b.rect |=
                    QTransform(scale, 0, 0, scale, x, run.y).mapRect(glyph.controlPointRect());
            x += g.advance;
        }
    }
    return m_bounds.emplace(c.serial, b).first->second;
}

StageChanges ChangeTracker::update(const Player& player) {
    std::vector<Item> items;
    items.reserve(m_items.size());
    SceneReader reader{*this, player, items};
    reader.readRoot(QTransform());
    reader.readLevels(QTransform());
    reader.readFocusRect(QTransform());

    StageChanges changes;
    const bool sameStage = m_valid && m_background == player.backgroundColor() &&
                           m_dictionary == player.dictionaryGeneration();
    if (!sameStage)
        changes.everything = true;
    else
        changes.areas = compareScenes(m_items, items);
    m_items = std::move(items);
    m_background = player.backgroundColor();
    m_dictionary = player.dictionaryGeneration();
    m_valid = true;
    return changes;
}

std::vector<ChangedArea> compareScenes(const std::vector<ChangeTracker::Item>& before,
                                       const std::vector<ChangeTracker::Item>& after) {
    // Match equal items, earliest first.
    std::unordered_map<std::uint64_t, std::vector<std::size_t>> byKey;
    byKey.reserve(before.size());
    for (std::size_t i = before.size(); i-- > 0;)
        byKey[before[i].key].push_back(i); // reversed: pop_back takes the earliest
    std::vector<std::ptrdiff_t> match(after.size(), -1);
    for (std::size_t j = 0; j < after.size(); ++j) {
        auto it = byKey.find(after[j].key);
        if (it != byKey.end() && !it->second.empty()) {
            match[j] = std::ptrdiff_t(it->second.back());
            it->second.pop_back();
        }
    }
    // Matched items keep their pixels only if they keep their order among themselves: the
    // longest run of matches in increasing old order stays, the rest moved in depth.
    std::vector<std::size_t> order; // indices into `after` of matched items
    for (std::size_t j = 0; j < after.size(); ++j) {
        if (match[j] >= 0)
            order.push_back(j);
    }
    std::vector<std::size_t> tails;                     // positions in `order`
    std::vector<std::ptrdiff_t> prev(order.size(), -1); // chain back, positions in `order`
    for (std::size_t k = 0; k < order.size(); ++k) {
        const std::ptrdiff_t v = match[order[k]];
        auto pos =
            std::lower_bound(tails.begin(), tails.end(), v,
                             [&](std::size_t t, std::ptrdiff_t x) { return match[order[t]] < x; });
        if (pos != tails.begin())
            prev[k] = std::ptrdiff_t(*(pos - 1));
        if (pos == tails.end())
            tails.push_back(k);
        else
            *pos = k;
    }
    std::vector<bool> keep(after.size(), false);
    for (std::ptrdiff_t k = tails.empty() ? -1 : std::ptrdiff_t(tails.back()); k >= 0; k = prev[k])
        keep[order[std::size_t(k)]] = true;

    std::vector<ChangedArea> areas;
    std::vector<bool> kept(before.size(), false);
    for (std::size_t j = 0; j < after.size(); ++j) {
        if (keep[j])
            kept[std::size_t(match[j])] = true;
        else
            areas.push_back({after[j].bounds, after[j].pad});
    }
    for (std::size_t i = 0; i < before.size(); ++i) {
        if (!kept[i])
            areas.push_back({before[i].bounds, before[i].pad});
    }
    return areas;
}

void StageChanges::add(const StageChanges& other) {
    everything = everything || other.everything;
    if (everything)
        areas.clear();
    else
        areas.insert(areas.end(), other.areas.begin(), other.areas.end());
}

QRegion StageChanges::deviceRegion(const QTransform& view, const QRect& bounds) const {
    if (bounds.isEmpty())
        return {};
    if (everything)
        return QRegion(bounds);
    const QRectF limit = QRectF(bounds).adjusted(-1, -1, 1, 1);
    std::vector<QRect> rects;
    rects.reserve(areas.size());
    for (const ChangedArea& a : areas) {
        QRectF r = view.mapRect(a.stage);
        if (!std::isfinite(r.left()) || !std::isfinite(r.right()) || !std::isfinite(r.top()) ||
            !std::isfinite(r.bottom()) || !std::isfinite(a.pad))
            return QRegion(bounds);
        r.adjust(-a.pad, -a.pad, a.pad, a.pad);
        r &= limit;
        if (r.isEmpty())
            continue;
        const QRect px = r.toAlignedRect() & bounds;
        if (!px.isEmpty())
            rects.push_back(px);
    }
    QRegion region;
    if (rects.size() <= kManyAreas) {
        for (const QRect& r : rects)
            region += r;
        return region;
    }
    // Many small changes: gathered into tiles, a row of touched tiles at a time.
    const int cols = (bounds.width() + kTile - 1) / kTile;
    const int rows = (bounds.height() + kTile - 1) / kTile;
    std::vector<bool> touched(std::size_t(cols) * rows, false);
    for (const QRect& r : rects) {
        const int x0 = (r.left() - bounds.left()) / kTile, x1 = (r.right() - bounds.left()) / kTile;
        const int y0 = (r.top() - bounds.top()) / kTile, y1 = (r.bottom() - bounds.top()) / kTile;
        for (int y = y0; y <= y1; ++y) {
            for (int x = x0; x <= x1; ++x)
                touched[std::size_t(y) * cols + x] = true;
        }
    }
    for (int y = 0; y < rows; ++y) {
        for (int x = 0; x < cols;) {
            if (!touched[std::size_t(y) * cols + x]) {
                ++x;
                continue;
            }
            const int start = x;
            while (x < cols && touched[std::size_t(y) * cols + x])
                ++x;
            region += QRect(bounds.left() + start * kTile, bounds.top() + y * kTile,
                            (x - start) * kTile, kTile) &
                      bounds;
        }
    }
    return region;
}

} // namespace swf::render
