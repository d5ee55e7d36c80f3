// flash.events and flash.display: event dispatch with its three phases, the display tree bound
// to the player's display lists, DisplayObject's properties on the player object, and
// MovieClip's timeline calls on the player's clip.

#include "swf/avm2/display.h"

#include "swf/avm2/media.h"
#include "swf/bitmapdata.h"

#include <QPainterPathStroker>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>

namespace swf::avm2 {

// --- The node ----------------------------------------------------------------------------------

DisplayNode::~DisplayNode() {
    if (!tree)
        return;
    std::erase(tree->broadcasters, this);
    for (DisplayNode** held : {&tree->focus, &tree->over, &tree->pressed, &tree->lastClicked})
        if (*held == this)
            *held = nullptr;
    tree->setHitArea(this, nullptr);
    if (obj) {
        auto it = tree->byObject.find(obj);
        if (it != tree->byObject.end() && it->second == this)
            tree->byObject.erase(it);
    }
    std::erase_if(tree->leaving, [this](const DisplayTree::Leaving& l) { return l.node == this; });
    for (DisplayTree::Leaving& l : tree->leaving)
        if (l.parent == this)
            l.parent = nullptr;
    if (owned) {
        obj = nullptr;
        const bool was = std::exchange(tree->discarding, true);
        tree->scripting.discard(owned);
        tree->discarding = was;
    }
}

void DisplayNode::traceChildren(std::vector<Object*>& out) {
    Object::traceChildren(out);
    for (auto& [type, list] : listeners)
        for (const Listener& l : list)
            if (l.fn.tag == Value::Tag::Object)
                out.push_back(l.fn.o);
    if (parent)
        out.push_back(parent);
    if (tree && (clip || isStage))
        for (DisplayNode* c : tree->children(this))
            out.push_back(c);
    if (graphics)
        out.push_back(graphics);
    if (hitArea)
        out.push_back(hitArea);
    if (held.tag == Value::Tag::Object)
        out.push_back(held.o);
    for (auto& [frame, fn] : frameScripts)
        if (fn.tag == Value::Tag::Object)
            out.push_back(fn.o);
    for (const Value* v :
         {&eventTarget, &eventCurrentTarget, &accessibility, &accessibilityImplementation})
        if (v->tag == Value::Tag::Object)
            out.push_back(v->o);
}

bool isBroadcastEvent(const QString& type) {
    return type == QLatin1String("enterFrame") || type == QLatin1String("exitFrame") ||
           type == QLatin1String("frameConstructed") || type == QLatin1String("render");
}

// --- The tree ----------------------------------------------------------------------------------

DisplayTree::DisplayTree(VM& vm, Player& player) : vm(vm), player(player), scripting(player) {
    scripting.onObjectDestroyed() = [this](swf::DisplayObject& o) {
        auto it = byObject.find(&o);
        if (it == byObject.end())
            return;
        DisplayNode* n = it->second;
        byObject.erase(it);
        if (n->parent && !discarding) {
            bool stage = false;
            bool found = false;
            for (const Leaving& l : leaving)
                if (l.node == n->parent) {
                    stage = l.onStage;
                    found = true;
                }
            leaving.push_back({n, n->parent, found ? stage : onStage(n)});
        }
        // The node outlives its player object as a bare object off the list.
        n->spare = static_cast<const Placement&>(o);
        n->obj = nullptr;
        n->clip = nullptr;
        n->parent = nullptr;
    };
}

DisplayTree::~DisplayTree() {
    scripting.onObjectDestroyed() = nullptr;
}

DisplayNode* DisplayTree::nodeOf(const swf::DisplayObject* o) const {
    auto it = byObject.find(o);
    return it == byObject.end() ? nullptr : it->second;
}

std::vector<DisplayNode*> DisplayTree::children(const DisplayNode* container) const {
    std::vector<DisplayNode*> out;
    if (container->isStage) {
        if (root)
            out.push_back(root);
        if (root && root->clip)
            for (const auto& o : root->clip->displayList().objects())
                if (o->depth >= kStageDepth)
                    if (DisplayNode* n = nodeOf(o.get()))
                        out.push_back(n);
        return out;
    }
    if (!container->clip)
        return out;
    const bool isRoot = container == root;
    for (const auto& o : container->clip->displayList().objects()) {
        if (isRoot && o->depth >= kStageDepth)
            break;
        if (DisplayNode* n = nodeOf(o.get()))
            out.push_back(n);
    }
    return out;
}

void DisplayTree::bind(DisplayNode* container, std::vector<DisplayNode*>* made) {
    if (!container->clip)
        return;
    // Copied: allocation may run nothing, but keep the walk independent of the list anyway.
    std::vector<swf::DisplayObject*> objects;
    for (const auto& o : container->clip->displayList().objects())
        objects.push_back(o.get());
    for (swf::DisplayObject* o : objects) {
        DisplayNode* n = nodeOf(o);
        if (!n) {
            Class* c = classFor(*o, container->clip);
            pendingObject = o;
            Object* made0 = nullptr;
            try {
                made0 = vm.allocInstance(c);
            } catch (...) {
                pendingObject = nullptr;
                throw;
            }
            pendingObject = nullptr;
            n = static_cast<DisplayNode*>(made0);
            n->parent = container->isStage ? stage : container;
            n->timelinePlaced = true;
            if (made)
                made->push_back(n);
            // A named child is its parent's property of that name (the parent's class may
            // declare it; a dynamic parent takes it as a dynamic property).
            if (!o->name.isEmpty() && container != stage) {
                try {
                    vm.setProperty(Value(static_cast<Object*>(container)), vm.publicName(o->name),
                                   Value(static_cast<Object*>(n)));
                } catch (const ScriptThrow&) {
                }
            }
        }
        bind(n, made);
    }
}

void DisplayTree::construct(DisplayNode* n) {
    if (!n->constructed) {
        n->constructed = true;
        vm.constructInstance(n->cls, n, {});
        if (n->timelinePlaced && n->parent) {
            dispatchSimple(vm, n, QStringLiteral("added"), true);
            if (onStage(n))
                dispatchSimple(vm, n, QStringLiteral("addedToStage"), false);
        }
    }
    constructChildren(n);
}

void DisplayTree::constructChildren(DisplayNode* n) {
    for (DisplayNode* c : children(n))
        if (c != root)
            construct(c);
}

std::uint16_t DisplayTree::characterFor(Class* c) {
    if (!linkedScanned) {
        linkedScanned = true;
        for (const auto& s : player.movie().symbolClasses)
            if (s.characterId)
                linkedByName.insert_or_assign(s.name, s.characterId);
    }
    auto it = linkedIds.find(c);
    if (it != linkedIds.end())
        return it->second;
    std::uint16_t id = 0;
    for (const QString& name :
         {c->package.isEmpty() ? c->name : c->package + QLatin1Char('.') + c->name,
          c->qualifiedName()}) {
        auto l = linkedByName.find(name);
        // Only the main movie's class of that name: a loaded movie's may share it.
        if (l != linkedByName.end() &&
            vm.lookupDefinition(name, vm.mainDomain()).object() == static_cast<Object*>(c)) {
            id = l->second;
            break;
        }
    }
    linkedIds.emplace(c, id);
    return id;
}

Class* DisplayTree::classFor(const swf::DisplayObject& o, const swf::MovieClip* in) {
    const swf::Movie* movie = in ? &in->origin().movie() : &player.movie();
    Domain* domain = nullptr; // the main movie's
    if (movie != &player.movie()) {
        for (const auto& [m, d] : scriptedMovies)
            if (m.get() == movie)
                domain = d;
    }
    // A movie a Loader showed without code of its own links no classes.
    static const std::vector<ExportedAsset> none;
    const bool linked = movie == &player.movie() || domain;
    for (const auto& s : linked ? movie->symbolClasses : none) {
        if (s.characterId != o.characterId || !o.characterId || o.character == nullptr)
            continue;
        // A loaded movie numbers its characters on its own.
        if ((domain ? movie->character(s.characterId) : player.character(s.characterId)) !=
            o.character)
            continue;
        Object* c = nullptr;
        try {
            c = vm.lookupDefinition(s.name, domain ? domain : vm.mainDomain()).object();
        } catch (const ScriptThrow&) {
        }
        if (c && c->kind == ObjectKind::Class &&
            static_cast<Class*>(c)->isSubclassOf(vm.displayObjectClass))
            return static_cast<Class*>(c);
    }
    const char* name = "flash.display::Shape";
    switch (o.character ? o.character->type : CharacterType::Shape) {
    case CharacterType::Sprite:
        name = "flash.display::MovieClip";
        break;
    case CharacterType::MorphShape:
        name = "flash.display::MorphShape";
        break;
    case CharacterType::Text:
        name = "flash.text::StaticText";
        break;
    case CharacterType::EditText:
        name = "flash.text::TextField";
        break;
    case CharacterType::Button:
        name = "flash.display::SimpleButton";
        break;
    case CharacterType::Video:
        name = "flash.media::Video";
        break;
    default:
        break;
    }
    if (o.clip() && !o.characterId)
        name = "flash.display::MovieClip";
    Object* c = vm.lookupDefinition(QString::fromLatin1(name)).object();
    return c && c->kind == ObjectKind::Class ? static_cast<Class*>(c) : vm.displayObjectClass;
}

void DisplayTree::dispatchLeaving() {
    for (int round = 0; round < 16 && !leaving.empty(); ++round) {
        std::vector<Leaving> batch;
        batch.swap(leaving);
        for (const Leaving& l : batch)
            l.node->parent = l.parent;
        // The objects taken off hear removed (bubbling through where they were); they and
        // everything in them hear removedFromStage, in the order they went (parents first).
        for (std::size_t i = 0; i < batch.size(); ++i) {
            const Leaving& l = batch[i];
            bool top = true;
            for (std::size_t j = 0; j < i && top; ++j)
                top = batch[j].node != l.parent;
            if (top)
                dispatchSimple(vm, l.node, QStringLiteral("removed"), true);
            if (l.onStage)
                dispatchSimple(vm, l.node, QStringLiteral("removedFromStage"), false);
        }
        for (const Leaving& l : batch)
            if (l.node->parent == l.parent && !l.node->obj)
                l.node->parent = nullptr;
    }
    leaving.clear();
}

std::vector<DisplayNode*> DisplayTree::playingOffList() {
    std::vector<DisplayNode*> out;
    for (const auto& [o, n] : byObject)
        if (n->owned && n->clip && (n->clip->frameCount() > 1 || !n->clip->displayList().empty()))
            out.push_back(n);
    std::sort(out.begin(), out.end(),
              [](const DisplayNode* a, const DisplayNode* b) { return a->serial < b->serial; });
    return out;
}

bool DisplayTree::onStage(const DisplayNode* n) const {
    while (n->parent)
        n = n->parent;
    return n->isStage;
}

void DisplayTree::listenBroadcast(DisplayNode* n) {
    if (std::find(broadcasters.begin(), broadcasters.end(), n) == broadcasters.end())
        broadcasters.push_back(n);
}

void DisplayTree::broadcast(const QString& type) {
    // Listeners added during the broadcast hear the next one.
    const std::vector<DisplayNode*> list = broadcasters;
    std::vector<Object*> keep(list.begin(), list.end());
    for (DisplayNode* n : list) {
        if (std::find(broadcasters.begin(), broadcasters.end(), n) == broadcasters.end())
            continue; // collected meanwhile (cannot happen during a frame) or gone
        dispatchSimple(vm, n, type, false);
    }
}

namespace {

void broadcastSubtree(DisplayTree& t, DisplayNode* n, const QString& type, int guard = 0) {
    dispatchSimple(t.vm, n, type, false);
    if (guard > 256)
        return;
    for (DisplayNode* c : t.children(n))
        broadcastSubtree(t, c, type, guard + 1);
}

MovieClip* listOf(DisplayTree& t, DisplayNode* container) {
    if (container->isStage)
        return t.root ? t.root->clip : nullptr;
    return container->clip;
}

} // namespace

void DisplayTree::detachNode(DisplayNode* child, bool events) {
    DisplayNode* p = child->parent;
    if (!p)
        return;
    if (events) {
        dispatchSimple(vm, child, QStringLiteral("removed"), true);
        if (onStage(child))
            broadcastSubtree(*this, child, QStringLiteral("removedFromStage"));
        if (child->parent != p)
            return; // a listener moved it already
    }
    if (child->obj && !child->owned) {
        if (MovieClip* list = listOf(*this, p))
            child->owned = scripting.detach(*list, *child->obj);
    }
    child->parent = nullptr;
}

void DisplayTree::addChildAt(DisplayNode* p, DisplayNode* c, std::size_t index) {
    if (c == p)
        vm.throwError("ArgumentError", 2024,
                      QStringLiteral("An object cannot be added as a child of itself."));
    for (DisplayNode* a = p; a; a = a->parent)
        if (a == c)
            vm.throwError("ArgumentError", 2150,
                          QStringLiteral("An object cannot be added as a child to one of it's "
                                         "children (or children's children, etc.)."));
    if (c == root || c->isStage || !c->obj)
        vm.throwError("ArgumentError", 2025,
                      QStringLiteral("The supplied DisplayObject cannot be placed here."));
    MovieClip* list = listOf(*this, p);
    if (!list)
        vm.throwError("ArgumentError", 2025, QStringLiteral("The container has no display list."));
    if (c->parent == p) {
        std::vector<DisplayNode*> order = children(p);
        std::erase(order, c);
        index = std::min(index, order.size());
        order.insert(order.begin() + std::ptrdiff_t(index), c);
        reorder(p, order, c);
        return;
    }
    detachNode(c, true);
    if (c->parent)
        return;
    std::vector<DisplayNode*> order = children(p);
    index = std::min(index, order.size());
    // At the top first: after the highest child of the list (or of the stage's range).
    std::int32_t depth = p->isStage ? kStageDepth : 1;
    for (const auto& o : list->displayList().objects()) {
        const bool inRange = p->isStage == (o->depth >= kStageDepth);
        if (inRange && o->depth >= depth)
            depth = o->depth == INT32_MAX ? INT32_MAX : o->depth + 1;
    }
    if (!p->isStage && depth >= kStageDepth)
        depth = kStageDepth - 1;
    if (!scripting.attach(*list, c->owned, depth))
        vm.throwError("Error", 2000, QStringLiteral("The display list is nested too deeply."));
    c->parent = p;
    if (index < order.size()) {
        order.insert(order.begin() + std::ptrdiff_t(index), c);
        reorder(p, order, c);
    }
    dispatchSimple(vm, c, QStringLiteral("added"), true);
    if (onStage(p))
        broadcastSubtree(*this, c, QStringLiteral("addedToStage"));
}

void DisplayTree::removeChild(DisplayNode*, DisplayNode* c) {
    if (c == root)
        return; // the document stays on the stage
    detachNode(c, true);
}

void DisplayTree::setChildIndex(DisplayNode* p, DisplayNode* c, std::size_t index) {
    std::vector<DisplayNode*> order = children(p);
    std::erase(order, c);
    index = std::min(index, order.size());
    order.insert(order.begin() + std::ptrdiff_t(index), c);
    reorder(p, order, c);
}

void DisplayTree::reorder(DisplayNode* p, const std::vector<DisplayNode*>& order,
                          const DisplayNode* moved) {
    MovieClip* list = listOf(*this, p);
    if (!list)
        return;
    std::vector<DisplayNode*> items;
    for (DisplayNode* n : order)
        if (n->obj && n != root)
            items.push_back(n);
    // Timeline objects keep their depths (the timeline still places them there); the others
    // take free depths between their neighbours.
    auto fixed = [&](const DisplayNode* n) { return n != moved && n->obj->placedBy; };
    const std::int64_t floor =
        p->isStage ? std::int64_t(kStageDepth) - 1 : -(std::int64_t(1) << 30);
    const std::int64_t ceiling = p->isStage ? std::int64_t(INT32_MAX) + 1 : kStageDepth;
    std::vector<std::int64_t> depth(items.size());
    bool fits = true;
    std::size_t i = 0;
    std::int64_t lo = floor;
    while (i < items.size() && fits) {
        std::size_t j = i;
        while (j < items.size() && !fixed(items[j]))
            ++j;
        const std::int64_t hi = j < items.size() ? items[j]->obj->depth : ceiling;
        const std::int64_t k = std::int64_t(j - i);
        if (hi - lo - 1 < k) {
            fits = false;
            break;
        }
        // Current depths already in order and in range stay; else packed against the
        // neighbour above when nothing is below (new children go under), below it otherwise.
        bool keep = true;
        std::int64_t prev = lo;
        for (std::size_t m = i; m < j; ++m) {
            const std::int64_t d = items[m]->obj->depth;
            keep = keep && d > prev && d < hi;
            prev = d;
        }
        for (std::size_t m = i; m < j; ++m)
            depth[m] = keep                                        ? items[m]->obj->depth
                       : lo == floor && i == 0 && j < items.size() ? hi - k + std::int64_t(m - i)
                                                                   : lo + 1 + std::int64_t(m - i);
        if (j < items.size())
            depth[j] = hi;
        lo = hi;
        i = j + 1;
    }
    if (!fits) {
        // No room: each object keeps its depth while that stays above the one before it, the
        // others move just above (a timeline object so moved is the script's from then on).
        std::int64_t prev = floor;
        for (std::size_t m = 0; m < items.size(); ++m) {
            std::int64_t d = items[m]->obj->depth;
            if (d <= prev)
                d = prev + 1;
            depth[m] = std::min<std::int64_t>(d, INT32_MAX);
            prev = depth[m];
        }
    }
    for (std::size_t m = 0; m < items.size(); ++m)
        if (depth[m] != items[m]->obj->depth)
            scripting.setDepth(*list, *items[m]->obj, std::int32_t(depth[m]));
}

QTransform DisplayTree::concatenated(const DisplayNode* n) const {
    QTransform m;
    int guard = 0;
    for (; n && !n->isStage && guard < 1024; n = n->parent, ++guard)
        if (n->obj)
            m = m * n->obj->contentMatrix();
        else if (n != root)
            m = m * n->spare.contentMatrix();
        else if (n->spare.scrollRect) // the document is placed by nothing but its window
            m = m * QTransform::fromTranslate(-n->spare.scrollRect->x(), -n->spare.scrollRect->y());
    return m;
}

bool DisplayTree::insideScrollWindows(const DisplayNode* n, QPointF stagePoint) const {
    int guard = 0;
    for (; n && !n->isStage && guard < 1024; n = n->parent, ++guard) {
        const auto& window = n->obj ? n->obj->scrollRect : n->spare.scrollRect;
        if (!window || (!n->obj && n != root))
            continue;
        bool ok = false;
        const QPointF local = concatenated(n).inverted(&ok).map(stagePoint);
        if (!ok || !window->contains(local))
            return false;
    }
    return true;
}

namespace {
// The outlines' extent, without stroke widths.
QRectF edgeBounds(const ShapeGeometry& g) {
    QRectF r;
    auto add = [&r](const QPainterPath& p) {
        if (p.isEmpty())
            return;
        const QRectF b = p.boundingRect();
        r = r.isNull() ? b : r.united(b);
    };
    for (const auto& layer : g.layers) {
        for (const auto& f : layer.fills)
            add(f.path);
        for (const auto& s : layer.strokes)
            add(s.path);
    }
    return r;
}
} // namespace

QRectF DisplayTree::clipBounds(const swf::MovieClip& c, int guard, bool strokes) const {
    QRectF r;
    if (c.drawing() && !c.drawing()->empty())
        r = strokes ? c.drawing()->bounds() : edgeBounds(c.drawing()->geometry());
    if (guard > 64)
        return r;
    for (const auto& o : c.displayList().objects()) {
        if (&c == &player.root() && o->depth >= kStageDepth)
            break;
        const QRectF b = boundsOf(*o, guard + 1, strokes);
        if (b.isNull())
            continue;
        const QRectF m = o->contentMatrix().mapRect(b);
        r = r.isNull() ? m : r.united(m);
    }
    return r;
}

namespace {
QRectF rectOf(const Rect& r) {
    return QRectF(r.xMin, r.yMin, r.width(), r.height());
}
} // namespace

QRectF DisplayTree::boundsOf(const swf::DisplayObject& o, int guard, bool strokes) const {
    // A scrolled object measures as its window, whatever it holds.
    if (o.scrollRect)
        return o.scrollRect->normalized();
    if (o.clip())
        return clipBounds(*o.clip(), guard, strokes);
    if (o.button())
        return clipBounds(const_cast<ButtonInstance*>(o.button())->host(), guard, strokes);
    if (!o.character)
        return {};
    switch (o.character->type) {
    case CharacterType::Shape:
        if (!strokes)
            return edgeBounds(static_cast<const Shape*>(o.character)->geometry());
        return rectOf(static_cast<const Shape*>(o.character)->bounds);
    case CharacterType::MorphShape:
        if (!strokes)
            return edgeBounds(static_cast<const MorphShape*>(o.character)->geometryAt(o.ratio));
        return rectOf(static_cast<const MorphShape*>(o.character)->boundsAt(o.ratio));
    case CharacterType::Text:
        return rectOf(static_cast<const StaticText*>(o.character)->bounds);
    case CharacterType::EditText:
        return rectOf(static_cast<const EditText*>(o.character)->bounds);
    case CharacterType::Bitmap: {
        const QImage& img =
            o.bitmapData ? o.bitmapData->image() : static_cast<const Bitmap*>(o.character)->image();
        return img.isNull() ? QRectF() : QRectF(0, 0, img.width() * 20.0, img.height() * 20.0);
    }
    default:
        return {};
    }
}

bool geometryContainsPoint(const ShapeGeometry& g, QPointF p);
namespace {
bool geometryContains(const ShapeGeometry& g, QPointF p) {
    for (const auto& layer : g.layers) {
        for (const auto& f : layer.fills)
            if (f.path.contains(p))
                return true;
        for (const auto& s : layer.strokes) {
            QPainterPathStroker stroker;
            stroker.setWidth(std::max<double>(s.style.width, 20));
            if (stroker.createStroke(s.path).contains(p))
                return true;
        }
    }
    return false;
}
} // namespace

bool geometryContainsPoint(const ShapeGeometry& g, QPointF p) {
    return geometryContains(g, p);
}

bool DisplayTree::clipContains(const swf::MovieClip& c, QPointF p, int guard) const {
    if (c.drawing() && geometryContains(c.drawing()->geometry(), p))
        return true;
    if (guard > 64)
        return false;
    for (const auto& o : c.displayList().objects()) {
        if (!o->visible || o->isClipLayer())
            continue;
        bool ok = false;
        const QTransform back = o->contentMatrix().inverted(&ok);
        if (ok && shapeContains(*o, back.map(p), guard + 1))
            return true;
    }
    return false;
}

bool DisplayTree::shapeContains(const swf::DisplayObject& o, QPointF p, int guard) const {
    if (o.scrollRect && !o.scrollRect->contains(p))
        return false;
    if (o.clip())
        return clipContains(*o.clip(), p, guard);
    if (o.button())
        return clipContains(const_cast<ButtonInstance*>(o.button())->host(), p, guard);
    if (o.character && o.character->type == CharacterType::Shape)
        return geometryContains(static_cast<const Shape*>(o.character)->geometry(), p);
    if (o.character && o.character->type == CharacterType::MorphShape)
        return geometryContains(static_cast<const MorphShape*>(o.character)->geometryAt(o.ratio),
                                p);
    return boundsOf(o, guard).contains(p);
}

bool DisplayTree::interactive(const DisplayNode* n) {
    if (!m_interactiveClass) {
        Object* io =
            vm.lookupDefinition(QStringLiteral("flash.display::InteractiveObject")).object();
        m_interactiveClass =
            io && io->kind == ObjectKind::Class ? static_cast<Class*>(io) : nullptr;
    }
    return n->isStage || (m_interactiveClass && n->cls->isSubclassOf(m_interactiveClass));
}

void DisplayTree::setHitArea(DisplayNode* owner, DisplayNode* area) {
    // The hit-area sprite stays an object like any other: shown and mouse-enabled, it takes
    // the mouse itself where it lies on top, as the Reference warns.
    owner->hitArea = area;
}

bool DisplayTree::hitAreaContains(const DisplayNode* area, QPointF stagePoint) const {
    // The hit area counts where it draws, shown or not.
    bool ok = false;
    const QPointF p = concatenated(area).inverted(&ok).map(stagePoint);
    if (!ok)
        return false;
    if (area->clip)
        return clipContains(*area->clip, p, 0);
    return area->obj && shapeContains(*area->obj, p, 0);
}

DisplayNode* DisplayTree::hitIn(DisplayNode* n, QPointF p, int guard, bool& shapeHit) {
    shapeHit = false;
    QPointF local = p;
    if (n->obj) {
        // A mask is not drawn, and a masked object takes the mouse only inside its mask.
        if (!n->obj->visible || n->obj->masking())
            return nullptr;
        if (n->obj->scriptMask() && n->parent &&
            !maskAllows(*this, *n->obj, concatenated(n->parent).map(p)))
            return nullptr;
        bool ok = false;
        const QTransform back = n->obj->contentMatrix().inverted(&ok);
        if (!ok)
            return nullptr;
        local = back.map(p);
        // Outside its scroll rectangle an object shows nothing to hit.
        if (n->obj->scrollRect && !n->obj->scrollRect->contains(local))
            return nullptr;
    } else if (n == root && n->spare.scrollRect) {
        local = p + n->spare.scrollRect->topLeft();
        if (!n->spare.scrollRect->contains(local))
            return nullptr;
    }
    if (n->hitArea)
        return n->mouseEnabled && hitAreaContains(n->hitArea, concatenated(n).map(local)) ? n
                                                                                          : nullptr;
    if (n->clip && !interactive(n)) {
        // A Shape drawn by script, or another container that takes no events of its own.
        if (!n->obj || !shapeContains(*n->obj, local, guard))
            return nullptr;
        shapeHit = true;
        return n;
    }
    if (n->clip) {
        if (guard < 64) {
            const std::vector<DisplayNode*> kids = children(n);
            for (auto it = kids.rbegin(); it != kids.rend(); ++it) {
                DisplayNode* kid = *it;
                if (kid == root || !kid->obj || kid->obj->isClipLayer())
                    continue;
                if (!n->mouseChildren) {
                    // Its children's shapes are its own as far as the mouse goes.
                    bool ok = false;
                    const QTransform back = kid->obj->contentMatrix().inverted(&ok);
                    if (n->mouseEnabled && kid->obj->visible && ok &&
                        shapeContains(*kid->obj, back.map(local), guard + 1))
                        return n;
                    continue;
                }
                bool shape = false;
                DisplayNode* hit = hitIn(kid, local, guard + 1, shape);
                if (!hit)
                    continue;
                if (!shape)
                    return hit;
                // A shape of its own content; where it is not mouse-enabled, the mouse passes
                // through to what lies below.
                if (n->mouseEnabled)
                    return n;
            }
        }
        if (n->mouseEnabled && n->clip->drawing() &&
            geometryContainsPoint(n->clip->drawing()->geometry(), local))
            return n;
        return nullptr;
    }
    if (!n->obj || !shapeContains(*n->obj, local, guard))
        return nullptr;
    if (interactive(n))
        return n->mouseEnabled ? n : nullptr;
    shapeHit = true;
    return n;
}

DisplayNode* DisplayTree::mouseTarget(QPointF p) {
    if (!stage)
        return nullptr;
    const std::vector<DisplayNode*> kids = children(stage);
    for (auto it = kids.rbegin(); it != kids.rend(); ++it) {
        bool shape = false;
        if (DisplayNode* hit = hitIn(*it, p, 0, shape))
            return shape ? stage : hit;
    }
    return stage;
}

void DisplayTree::mouseEvent(DisplayNode* target, const QString& type, bool bubbles,
                             DisplayNode* related, bool buttonDown, int delta) {
    if (!target)
        return;
    bool any = false;
    for (DisplayNode* n = target; n && !any; n = bubbles ? n->parent : nullptr) {
        auto it = n->listeners.find(type);
        any = it != n->listeners.end() && !it->second.empty();
    }
    if (!any)
        return;
    bool ok = false;
    const QPointF local = concatenated(target).inverted(&ok).map(mouse);
    const Value cls = vm.lookupDefinition(QStringLiteral("flash.events::MouseEvent"));
    const Value a[] = {Value(type),
                       Value(bubbles),
                       Value(false),
                       Value::number(ok ? local.x() / 20 : 0),
                       Value::number(ok ? local.y() / 20 : 0),
                       related ? Value(static_cast<Object*>(related)) : Value::null(),
                       Value(false),
                       Value(false),
                       Value(false),
                       Value(buttonDown),
                       Value(std::int32_t(delta))};
    const Value ev = vm.construct(cls, a);
    if (Object* e = ev.object()) {
        e->setDynamic(QStringLiteral("stageX"), Value::number(mouse.x() / 20));
        e->setDynamic(QStringLiteral("stageY"), Value::number(mouse.y() / 20));
    }
    dispatchEvent(vm, target, ev);
}

void DisplayTree::keyEvent(const QString& type, int keyCode, int charCode) {
    if (!stage)
        return;
    DisplayNode* target = focus && onStage(focus) ? focus : stage;
    const Value cls = vm.lookupDefinition(QStringLiteral("flash.events::KeyboardEvent"));
    const Value a[] = {Value(type), Value(true), Value(false), Value(std::int32_t(charCode)),
                       Value(std::int32_t(keyCode))};
    dispatchEvent(vm, target, vm.construct(cls, a));
}

QRectF DisplayTree::localBounds(const DisplayNode* n, bool strokes) const {
    if (n->obj)
        return boundsOf(*n->obj, 0, strokes);
    if (n == root && n->spare.scrollRect)
        return n->spare.scrollRect->normalized();
    if (n->clip)
        return clipBounds(*n->clip, 0, strokes);
    return {};
}

// --- Natives -----------------------------------------------------------------------------------

namespace {

DisplayNode* node(VM& vm, const Value& self) {
    Object* o = self.object();
    if (!o || o->kind != ObjectKind::DisplayObject)
        vm.throwTypeError(1004, QStringLiteral("Method was invoked on an incompatible object."));
    return static_cast<DisplayNode*>(o);
}

DisplayNode* childArg(VM& vm, const Value& v, const char* what) {
    Object* o = v.object();
    if (!o || o->kind != ObjectKind::DisplayObject || !static_cast<DisplayNode*>(o)->isDisplay)
        vm.throwTypeError(
            2007, QStringLiteral("Parameter %1 must be non-null.").arg(QString::fromLatin1(what)));
    return static_cast<DisplayNode*>(o);
}

DisplayTree& treeOf(VM& vm) {
    if (!vm.displayTree)
        vm.throwError("Error", 2000, QStringLiteral("No display list in this player."));
    return *vm.displayTree;
}

} // namespace

Object* allocDisplayNode(VM& vm, Class* c) {
    DisplayTree* t = vm.displayTree;
    auto* n = vm.make<DisplayNode>(c, t);
    if (!t || !c->isSubclassOf(vm.displayObjectClass))
        return n;
    n->serial = ++t->serials;
    n->isDisplay = true;
    if (t->pendingClip) {
        // The document: the player's root clip.
        n->clip = std::exchange(t->pendingClip, nullptr);
        n->spare.depth = 0;
        return n;
    }
    if (t->pendingObject) {
        n->obj = std::exchange(t->pendingObject, nullptr);
        n->clip = n->obj->clip();
        t->byObject[n->obj] = n;
        return n;
    }
    // Made by a script: a Bitmap shows a script's pixels; a TextField is an empty field; else
    // a library symbol of the class, else an empty clip to draw into.
    bool bitmap = false;
    for (const Class* k = c; k && !bitmap; k = k->base)
        bitmap = k->name == QLatin1String("Bitmap") && k->package == QLatin1String("flash.display");
    std::uint16_t id = bitmap ? 0 : t->characterFor(c);
    std::shared_ptr<const Movie> library; // a loaded movie's, whose code defines the class
    if (!bitmap && !id)
        std::tie(library, id) = loadedSymbol(vm, c);
    if (bitmap)
        n->owned = t->scripting.makeBitmap();
    else if (!id && isTextFieldClass(c))
        n->owned = t->scripting.makeText(newTextFieldDefinition());
    else if (library)
        n->owned = t->scripting.makeObject(id, library);
    else
        n->owned = t->scripting.makeObject(id);
    if (!n->owned && id)
        n->owned = t->scripting.makeObject(0);
    if (!n->owned)
        throw ScriptAbort{"the movie has more display objects than allowed"};
    n->obj = n->owned.get();
    n->clip = n->obj->clip();
    t->byObject[n->obj] = n;
    // The symbol's first frame: its children exist before its constructor runs.
    t->bind(n, nullptr);
    return n;
}

namespace {

constexpr auto allocNode = allocDisplayNode;

// DisplayObject's constructor: the timeline children of the first frame are constructed
// before the body of a subclass's constructor goes on past super().
Value displayObjectCtor(VM& vm, const Value& self, std::span<const Value>) {
    DisplayNode* n = node(vm, self);
    n->constructed = true;
    if (vm.displayTree)
        vm.displayTree->constructChildren(n);
    return Value();
}

// --- EventDispatcher ---

Value addEventListener(VM& vm, const Value& self, std::span<const Value> args) {
    DisplayNode* n = node(vm, self);
    const QString type = vm.toString(arg(args, 0));
    const Value fn = arg(args, 1);
    if (!fn.object())
        vm.throwTypeError(2007, QStringLiteral("Parameter listener must be non-null."));
    const bool capture = VM::toBoolean(arg(args, 2));
    const int priority = args.size() > 3 ? vm.toInt32(args[3]) : 0;
    auto& list = n->listeners[type];
    for (const auto& l : list)
        if (l.capture == capture && vm.strictEquals(l.fn, fn))
            return Value();
    // Higher priority first; equal priorities in the order added.
    auto at = std::find_if(list.begin(), list.end(),
                           [&](const DisplayNode::Listener& l) { return l.priority < priority; });
    list.insert(at, {fn, capture, priority});
    if (vm.displayTree && n->isDisplay && isBroadcastEvent(type))
        vm.displayTree->listenBroadcast(n);
    return Value();
}

Value removeEventListener(VM& vm, const Value& self, std::span<const Value> args) {
    DisplayNode* n = node(vm, self);
    const QString type = vm.toString(arg(args, 0));
    const Value fn = arg(args, 1);
    const bool capture = VM::toBoolean(arg(args, 2));
    auto it = n->listeners.find(type);
    if (it != n->listeners.end())
        std::erase_if(it->second, [&](const DisplayNode::Listener& l) {
            return l.capture == capture && vm.strictEquals(l.fn, fn);
        });
    return Value();
}

Value hasEventListener(VM& vm, const Value& self, std::span<const Value> args) {
    DisplayNode* n = node(vm, self);
    auto it = n->listeners.find(vm.toString(arg(args, 0)));
    return Value(it != n->listeners.end() && !it->second.empty());
}

Value willTrigger(VM& vm, const Value& self, std::span<const Value> args) {
    const QString type = vm.toString(arg(args, 0));
    for (DisplayNode* n = node(vm, self); n; n = n->parent) {
        auto it = n->listeners.find(type);
        if (it != n->listeners.end() && !it->second.empty())
            return Value(true);
    }
    return Value(false);
}

Value dispatchEventNative(VM& vm, const Value& self, std::span<const Value> args) {
    return Value(dispatchEvent(vm, node(vm, self), arg(args, 0)));
}

// --- Event ---

Value eventCtor(VM& vm, const Value& self, std::span<const Value> args) {
    DisplayNode* e = node(vm, self);
    e->eventType = vm.toString(arg(args, 0));
    e->bubbles = VM::toBoolean(arg(args, 1));
    e->cancelable = VM::toBoolean(arg(args, 2));
    return Value();
}
Value eventType(VM& vm, const Value& self, std::span<const Value>) {
    return Value(node(vm, self)->eventType);
}
Value eventBubbles(VM& vm, const Value& self, std::span<const Value>) {
    return Value(node(vm, self)->bubbles);
}
Value eventCancelable(VM& vm, const Value& self, std::span<const Value>) {
    return Value(node(vm, self)->cancelable);
}
Value eventTarget(VM& vm, const Value& self, std::span<const Value>) {
    const Value& t = node(vm, self)->eventTarget;
    return t.isUndefined() ? Value::null() : t;
}
Value eventCurrentTarget(VM& vm, const Value& self, std::span<const Value>) {
    const Value& t = node(vm, self)->eventCurrentTarget;
    return t.isUndefined() ? Value::null() : t;
}
Value eventPhase(VM& vm, const Value& self, std::span<const Value>) {
    return Value(std::int32_t(node(vm, self)->phase));
}
Value eventStop(VM& vm, const Value& self, std::span<const Value>) {
    node(vm, self)->stopped = true;
    return Value();
}
Value eventStopNow(VM& vm, const Value& self, std::span<const Value>) {
    node(vm, self)->stopped = node(vm, self)->stoppedNow = true;
    return Value();
}
Value eventPreventDefault(VM& vm, const Value& self, std::span<const Value>) {
    DisplayNode* e = node(vm, self);
    if (e->cancelable)
        e->defaultPrevented = true;
    return Value();
}
Value eventIsDefaultPrevented(VM& vm, const Value& self, std::span<const Value>) {
    return Value(node(vm, self)->defaultPrevented);
}
Value eventClone(VM& vm, const Value& self, std::span<const Value>) {
    DisplayNode* e = node(vm, self);
    const Value a[] = {Value(e->eventType), Value(e->bubbles), Value(e->cancelable)};
    return vm.construct(Value(static_cast<Object*>(e->cls)), a);
}
Value eventToString(VM& vm, const Value& self, std::span<const Value>) {
    DisplayNode* e = node(vm, self);
    return Value(QStringLiteral("[Event type=\"%1\" bubbles=%2 cancelable=%3 eventPhase=%4]")
                     .arg(e->eventType,
                          e->bubbles ? QStringLiteral("true") : QStringLiteral("false"),
                          e->cancelable ? QStringLiteral("true") : QStringLiteral("false"))
                     .arg(e->phase));
}

// --- DisplayObject ---

Value getParent(VM& vm, const Value& self, std::span<const Value>) {
    DisplayNode* n = node(vm, self);
    return n->parent ? Value(static_cast<Object*>(n->parent)) : Value::null();
}
Value getStage(VM& vm, const Value& self, std::span<const Value>) {
    DisplayNode* n = node(vm, self);
    while (n->parent)
        n = n->parent;
    return n->isStage ? Value(static_cast<Object*>(n)) : Value::null();
}
Value getRoot(VM& vm, const Value& self, std::span<const Value>) {
    DisplayNode* n = node(vm, self);
    if (n->isStage)
        return self;
    while (n->parent && !n->parent->isStage)
        n = n->parent;
    if (n->parent)
        return Value(static_cast<Object*>(n));
    // Off the stage: the top of its own tree only when that is a root of a loaded movie.
    return Value::null();
}

// The matrix decomposed as the Flash API shows it: scale along each axis (the y scale
// negative for a mirrored matrix) and the rotation of the x axis, in degrees.
struct Parts {
    double scaleX, scaleY, rotation, skewY;
};
Parts partsOf(const QTransform& m) {
    Parts p;
    p.scaleX = std::hypot(m.m11(), m.m12());
    p.scaleY = std::hypot(m.m21(), m.m22());
    if (m.m11() * m.m22() - m.m12() * m.m21() < 0)
        p.scaleY = -p.scaleY;
    p.rotation = std::atan2(m.m12(), m.m11()) * 180 / std::numbers::pi;
    p.skewY = p.rotation;
    return p;
}
QTransform compose(const Parts& p, double dx, double dy) {
    const double r = p.rotation * std::numbers::pi / 180;
    const double c = std::cos(r), s = std::sin(r);
    return QTransform(c * p.scaleX, s * p.scaleX, -s * p.scaleY, c * p.scaleY, dx, dy);
}
double finiteOr(double v, double fallback) {
    return std::isfinite(v) ? v : fallback;
}

Value getX(VM& vm, const Value& self, std::span<const Value>) {
    return Value::number(node(vm, self)->place().matrix.dx() / 20.0);
}
Value setX(VM& vm, const Value& self, std::span<const Value> args) {
    QTransform& m = node(vm, self)->place().matrix;
    const double v = finiteOr(vm.toNumber(arg(args, 0)), 0);
    m = QTransform(m.m11(), m.m12(), m.m21(), m.m22(), std::round(v * 20), m.dy());
    return Value();
}
Value getY(VM& vm, const Value& self, std::span<const Value>) {
    return Value::number(node(vm, self)->place().matrix.dy() / 20.0);
}
Value setY(VM& vm, const Value& self, std::span<const Value> args) {
    QTransform& m = node(vm, self)->place().matrix;
    const double v = finiteOr(vm.toNumber(arg(args, 0)), 0);
    m = QTransform(m.m11(), m.m12(), m.m21(), m.m22(), m.dx(), std::round(v * 20));
    return Value();
}
Value getScaleX(VM& vm, const Value& self, std::span<const Value>) {
    return Value::number(partsOf(node(vm, self)->place().matrix).scaleX);
}
Value setScaleX(VM& vm, const Value& self, std::span<const Value> args) {
    QTransform& m = node(vm, self)->place().matrix;
    Parts p = partsOf(m);
    p.scaleX = finiteOr(vm.toNumber(arg(args, 0)), p.scaleX);
    m = compose(p, m.dx(), m.dy());
    return Value();
}
Value getScaleY(VM& vm, const Value& self, std::span<const Value>) {
    return Value::number(partsOf(node(vm, self)->place().matrix).scaleY);
}
Value setScaleY(VM& vm, const Value& self, std::span<const Value> args) {
    QTransform& m = node(vm, self)->place().matrix;
    Parts p = partsOf(m);
    p.scaleY = finiteOr(vm.toNumber(arg(args, 0)), p.scaleY);
    m = compose(p, m.dx(), m.dy());
    return Value();
}
Value getRotation(VM& vm, const Value& self, std::span<const Value>) {
    return Value::number(partsOf(node(vm, self)->place().matrix).rotation);
}
Value setRotation(VM& vm, const Value& self, std::span<const Value> args) {
    QTransform& m = node(vm, self)->place().matrix;
    Parts p = partsOf(m);
    double r = finiteOr(vm.toNumber(arg(args, 0)), p.rotation);
    r = std::fmod(r, 360.0);
    if (r > 180)
        r -= 360;
    else if (r < -180)
        r += 360;
    p.rotation = r;
    m = compose(p, m.dx(), m.dy());
    return Value();
}
Value getAlpha(VM& vm, const Value& self, std::span<const Value>) {
    return Value::number(node(vm, self)->place().colorTransform.alphaMult / 256.0);
}
Value setAlpha(VM& vm, const Value& self, std::span<const Value> args) {
    const double a = finiteOr(vm.toNumber(arg(args, 0)), 1);
    node(vm, self)->place().colorTransform.alphaMult =
        std::int32_t(std::clamp(a, -128.0, 128.0) * 256);
    return Value();
}
Value getVisible(VM& vm, const Value& self, std::span<const Value>) {
    return Value(node(vm, self)->place().visible);
}
Value setVisible(VM& vm, const Value& self, std::span<const Value> args) {
    node(vm, self)->place().visible = VM::toBoolean(arg(args, 0));
    return Value();
}
Value getName(VM& vm, const Value& self, std::span<const Value>) {
    DisplayNode* n = node(vm, self);
    if (n->isStage)
        return Value::null();
    return Value(n->place().name);
}
Value setName(VM& vm, const Value& self, std::span<const Value> args) {
    DisplayNode* n = node(vm, self);
    if (n->timelinePlaced && n->obj && n->obj->placedBy)
        vm.throwError("IllegalOperationError", 2078,
                      QStringLiteral("The name property of a Timeline-placed object cannot be "
                                     "modified."));
    n->place().name = vm.toString(arg(args, 0));
    return Value();
}

QRectF boundsIn(VM& vm, DisplayNode* n, DisplayNode* target, bool strokes = true) {
    DisplayTree& t = treeOf(vm);
    const QRectF local = t.localBounds(n, strokes);
    if (local.isNull())
        return {};
    QTransform m = t.concatenated(n);
    if (target)
        m = m * t.concatenated(target).inverted();
    return m.mapRect(local);
}
Value getWidth(VM& vm, const Value& self, std::span<const Value>) {
    DisplayNode* n = node(vm, self);
    const QRectF b = n->place().matrix.mapRect(treeOf(vm).localBounds(n));
    return Value::number(b.width() / 20.0);
}
Value getHeight(VM& vm, const Value& self, std::span<const Value>) {
    DisplayNode* n = node(vm, self);
    const QRectF b = n->place().matrix.mapRect(treeOf(vm).localBounds(n));
    return Value::number(b.height() / 20.0);
}
void setExtent(VM& vm, const Value& self, double v, bool width) {
    DisplayNode* n = node(vm, self);
    if (setTextFieldExtent(vm, n, v, width))
        return;
    const QRectF local = treeOf(vm).localBounds(n);
    QTransform& m = n->place().matrix;
    Parts p = partsOf(m);
    // Scale so that the unrotated extent becomes the value; nothing drawn: no change.
    const double extent = width ? local.width() : local.height();
    if (!std::isfinite(v) || extent <= 0)
        return;
    if (width)
        p.scaleX = v * 20 / extent;
    else
        p.scaleY = v * 20 / extent;
    m = compose(p, m.dx(), m.dy());
}
Value setWidth(VM& vm, const Value& self, std::span<const Value> args) {
    setExtent(vm, self, vm.toNumber(arg(args, 0)), true);
    return Value();
}
Value setHeight(VM& vm, const Value& self, std::span<const Value> args) {
    setExtent(vm, self, vm.toNumber(arg(args, 0)), false);
    return Value();
}

Value makeRectangle(VM& vm, const QRectF& r) {
    const Value cls = vm.lookupDefinition(QStringLiteral("flash.geom::Rectangle"));
    const Value a[] = {Value::number(r.x() / 20.0), Value::number(r.y() / 20.0),
                       Value::number(r.width() / 20.0), Value::number(r.height() / 20.0)};
    return vm.construct(cls, a);
}
Value makePoint(VM& vm, QPointF p) {
    const Value cls = vm.lookupDefinition(QStringLiteral("flash.geom::Point"));
    const Value a[] = {Value::number(p.x() / 20.0), Value::number(p.y() / 20.0)};
    return vm.construct(cls, a);
}
QPointF pointArg(VM& vm, const Value& v) {
    if (!v.object())
        vm.throwTypeError(2007, QStringLiteral("Parameter point must be non-null."));
    return QPointF(vm.toNumber(vm.getProperty(v, vm.publicName(QStringLiteral("x")))) * 20,
                   vm.toNumber(vm.getProperty(v, vm.publicName(QStringLiteral("y")))) * 20);
}
DisplayNode* targetArg(const Value& v) {
    Object* o = v.object();
    return o && o->kind == ObjectKind::DisplayObject ? static_cast<DisplayNode*>(o) : nullptr;
}
Value getBounds(VM& vm, const Value& self, std::span<const Value> args) {
    return makeRectangle(vm, boundsIn(vm, node(vm, self), targetArg(arg(args, 0))));
}
Value getRect(VM& vm, const Value& self, std::span<const Value> args) {
    return makeRectangle(vm, boundsIn(vm, node(vm, self), targetArg(arg(args, 0)), false));
}
Value localToGlobal(VM& vm, const Value& self, std::span<const Value> args) {
    const QPointF p = pointArg(vm, arg(args, 0));
    return makePoint(vm, treeOf(vm).concatenated(node(vm, self)).map(p));
}
Value globalToLocal(VM& vm, const Value& self, std::span<const Value> args) {
    const QPointF p = pointArg(vm, arg(args, 0));
    return makePoint(vm, treeOf(vm).concatenated(node(vm, self)).inverted().map(p));
}
Value hitTestPoint(VM& vm, const Value& self, std::span<const Value> args) {
    DisplayNode* n = node(vm, self);
    DisplayTree& t = treeOf(vm);
    const QPointF p(finiteOr(vm.toNumber(arg(args, 0)), 0) * 20,
                    finiteOr(vm.toNumber(arg(args, 1)), 0) * 20);
    if (!VM::toBoolean(arg(args, 2))) {
        const QRectF b = boundsIn(vm, n, nullptr);
        return Value(!b.isNull() && b.contains(p) && t.insideScrollWindows(n, p));
    }
    const QTransform m = t.concatenated(n);
    bool inverted = false;
    const QTransform back = m.inverted(&inverted);
    if (!inverted)
        return Value(false);
    const QPointF local = back.map(p);
    if (n->obj && !maskAllows(t, *n->obj, p))
        return Value(false);
    if (!t.insideScrollWindows(n, p))
        return Value(false);
    if (n->obj)
        return Value(t.shapeContains(*n->obj, local, 0));
    if (n->clip)
        return Value(t.clipContains(*n->clip, local, 0));
    return Value(false);
}
Value hitTestObject(VM& vm, const Value& self, std::span<const Value> args) {
    DisplayNode* other = childArg(vm, arg(args, 0), "obj");
    const QRectF a = boundsIn(vm, node(vm, self), nullptr);
    const QRectF b = boundsIn(vm, other, nullptr);
    return Value(!a.isNull() && !b.isNull() && a.intersects(b));
}
Value getMouseX(VM& vm, const Value& self, std::span<const Value>) {
    DisplayTree& t = treeOf(vm);
    return Value::number(
        std::round(t.concatenated(node(vm, self)).inverted().map(t.mouse).x() / 20.0));
}
Value getMouseY(VM& vm, const Value& self, std::span<const Value>) {
    DisplayTree& t = treeOf(vm);
    return Value::number(
        std::round(t.concatenated(node(vm, self)).inverted().map(t.mouse).y() / 20.0));
}

// --- Transform, blend mode ---

// A flash.geom.Transform: the object it belongs to, as a dynamic property no script names.
DisplayNode* transformOwner(VM& vm, const Value& self) {
    Object* o = self.object();
    const Value* owner = o ? o->getDynamic(QStringLiteral("__owner")) : nullptr;
    Object* n = owner ? owner->object() : nullptr;
    if (!n || n->kind != ObjectKind::DisplayObject)
        vm.throwTypeError(1004, QStringLiteral("Method was invoked on an incompatible object."));
    return static_cast<DisplayNode*>(n);
}
Value getTransform(VM& vm, const Value& self, std::span<const Value>) {
    node(vm, self);
    const Value cls = vm.lookupDefinition(QStringLiteral("flash.geom::Transform"));
    const Value a[] = {self};
    return vm.construct(cls, a);
}
Value setTransform(VM& vm, const Value& self, std::span<const Value> args) {
    // Copies the other transform's matrix and colour transform.
    DisplayNode* n = node(vm, self);
    DisplayNode* from = transformOwner(vm, arg(args, 0));
    n->place().matrix = from->place().matrix;
    n->place().colorTransform = from->place().colorTransform;
    return Value();
}
Value transformCtor(VM& vm, const Value& self, std::span<const Value> args) {
    Object* o = arg(args, 0).object();
    if (!o || o->kind != ObjectKind::DisplayObject)
        vm.throwTypeError(2007, QStringLiteral("Parameter displayObject must be non-null."));
    self.object()->setDynamic(QStringLiteral("__owner"), args[0]);
    self.object()->dyn.back().enumerable = false;
    return Value();
}
Value makeMatrix(VM& vm, const QTransform& m) {
    const Value cls = vm.lookupDefinition(QStringLiteral("flash.geom::Matrix"));
    const Value a[] = {Value::number(m.m11()),       Value::number(m.m12()),
                       Value::number(m.m21()),       Value::number(m.m22()),
                       Value::number(m.dx() / 20.0), Value::number(m.dy() / 20.0)};
    return vm.construct(cls, a);
}
double field(VM& vm, const Value& o, const char* name, double fallback) {
    const double d = vm.toNumber(vm.getProperty(o, vm.publicName(QString::fromLatin1(name))));
    return std::isfinite(d) ? std::clamp(d, -1e9, 1e9) : fallback;
}
Value transformMatrix(VM& vm, const Value& self, std::span<const Value>) {
    return makeMatrix(vm, transformOwner(vm, self)->place().matrix);
}
Value setTransformMatrix(VM& vm, const Value& self, std::span<const Value> args) {
    DisplayNode* n = transformOwner(vm, self);
    const Value m = arg(args, 0);
    if (!m.object())
        return Value(); // null: a 3D transform takes over, which this player does not draw
    n->place().matrix = QTransform(field(vm, m, "a", 1), field(vm, m, "b", 0), field(vm, m, "c", 0),
                                   field(vm, m, "d", 1), std::round(field(vm, m, "tx", 0) * 20),
                                   std::round(field(vm, m, "ty", 0) * 20));
    return Value();
}
Value transformConcatenated(VM& vm, const Value& self, std::span<const Value>) {
    return makeMatrix(vm, treeOf(vm).concatenated(transformOwner(vm, self)));
}
Value transformColor(VM& vm, const Value& self, std::span<const Value>) {
    const swf::ColorTransform& c = transformOwner(vm, self)->place().colorTransform;
    const Value cls = vm.lookupDefinition(QStringLiteral("flash.geom::ColorTransform"));
    const Value a[] = {Value::number(c.redMult / 256.0),  Value::number(c.greenMult / 256.0),
                       Value::number(c.blueMult / 256.0), Value::number(c.alphaMult / 256.0),
                       Value::number(double(c.redAdd)),   Value::number(double(c.greenAdd)),
                       Value::number(double(c.blueAdd)),  Value::number(double(c.alphaAdd))};
    return vm.construct(cls, a);
}
Value setTransformColor(VM& vm, const Value& self, std::span<const Value> args) {
    DisplayNode* n = transformOwner(vm, self);
    const Value c = arg(args, 0);
    if (!c.object())
        vm.throwTypeError(2007, QStringLiteral("Parameter colorTransform must be non-null."));
    auto mult = [&](const char* name) {
        return std::int32_t(std::clamp(field(vm, c, name, 1), -128.0, 128.0) * 256);
    };
    auto add = [&](const char* name) {
        return std::int32_t(std::clamp(field(vm, c, name, 0), -65535.0, 65535.0));
    };
    swf::ColorTransform& t = n->place().colorTransform;
    t.redMult = mult("redMultiplier");
    t.greenMult = mult("greenMultiplier");
    t.blueMult = mult("blueMultiplier");
    t.alphaMult = mult("alphaMultiplier");
    t.redAdd = add("redOffset");
    t.greenAdd = add("greenOffset");
    t.blueAdd = add("blueOffset");
    t.alphaAdd = add("alphaOffset");
    return Value();
}
Value transformPixelBounds(VM& vm, const Value& self, std::span<const Value>) {
    DisplayNode* n = transformOwner(vm, self);
    return makeRectangle(vm, boundsIn(vm, n, nullptr));
}

constexpr std::pair<swf::BlendMode, const char*> kBlendNames[] = {
    {swf::BlendMode::Normal, "normal"},         {swf::BlendMode::Layer, "layer"},
    {swf::BlendMode::Multiply, "multiply"},     {swf::BlendMode::Screen, "screen"},
    {swf::BlendMode::Lighten, "lighten"},       {swf::BlendMode::Darken, "darken"},
    {swf::BlendMode::Difference, "difference"}, {swf::BlendMode::Add, "add"},
    {swf::BlendMode::Subtract, "subtract"},     {swf::BlendMode::Invert, "invert"},
    {swf::BlendMode::Alpha, "alpha"},           {swf::BlendMode::Erase, "erase"},
    {swf::BlendMode::Overlay, "overlay"},       {swf::BlendMode::HardLight, "hardlight"}};
Value getBlendMode(VM& vm, const Value& self, std::span<const Value>) {
    const swf::BlendMode b = node(vm, self)->place().blendMode;
    for (auto [mode, name] : kBlendNames)
        if (mode == b)
            return Value(QString::fromLatin1(name));
    return Value(QStringLiteral("normal"));
}
Value setBlendMode(VM& vm, const Value& self, std::span<const Value> args) {
    const QString name = vm.toString(arg(args, 0));
    for (auto [mode, n] : kBlendNames)
        if (name == QLatin1String(n)) {
            node(vm, self)->place().blendMode = mode;
            return Value();
        }
    vm.throwError("ArgumentError", 2008,
                  QStringLiteral("Parameter blendMode must be one of the accepted values."));
}
Value getCacheAsBitmap(VM& vm, const Value& self, std::span<const Value>) {
    return Value(node(vm, self)->place().cacheAsBitmap);
}
Value setCacheAsBitmap(VM& vm, const Value& self, std::span<const Value> args) {
    // Drawn as normal; the flag is kept for scripts that read it back.
    node(vm, self)->place().cacheAsBitmap = VM::toBoolean(arg(args, 0));
    return Value();
}
// The colour kept with the placement (as PlaceObject3's opaque background): null for none.
Value getOpaqueBackground(VM& vm, const Value& self, std::span<const Value>) {
    const std::optional<Rgba>& c = node(vm, self)->place().backgroundColor;
    return c ? Value::fromUint((std::uint32_t(c->r) << 16) | (std::uint32_t(c->g) << 8) | c->b)
             : Value::null();
}
Value setOpaqueBackground(VM& vm, const Value& self, std::span<const Value> args) {
    const Value v = arg(args, 0);
    std::optional<Rgba>& c = node(vm, self)->place().backgroundColor;
    if (v.isNullish()) {
        c.reset();
        return Value();
    }
    const std::uint32_t rgb = vm.toUint32(v);
    c = Rgba{std::uint8_t(rgb >> 16), std::uint8_t(rgb >> 8), std::uint8_t(rgb), 255};
    return Value();
}

// --- DisplayObjectContainer ---

Value addChild(VM& vm, const Value& self, std::span<const Value> args) {
    DisplayNode* p = node(vm, self);
    DisplayNode* c = childArg(vm, arg(args, 0), "child");
    DisplayTree& t = treeOf(vm);
    t.addChildAt(p, c, t.children(p).size() + (c->parent == p ? 0 : 0));
    return arg(args, 0);
}
Value addChildAtNative(VM& vm, const Value& self, std::span<const Value> args) {
    DisplayNode* p = node(vm, self);
    DisplayNode* c = childArg(vm, arg(args, 0), "child");
    DisplayTree& t = treeOf(vm);
    const std::int32_t i = vm.toInt32(arg(args, 1));
    const std::size_t count = t.children(p).size();
    if (i < 0 || std::size_t(i) > count)
        vm.throwRangeError(2006, QStringLiteral("The supplied index is out of bounds."));
    t.addChildAt(p, c, std::size_t(i));
    return arg(args, 0);
}
Value removeChild(VM& vm, const Value& self, std::span<const Value> args) {
    DisplayNode* p = node(vm, self);
    DisplayNode* c = childArg(vm, arg(args, 0), "child");
    if (c->parent != p)
        vm.throwError("ArgumentError", 2025,
                      QStringLiteral("The supplied DisplayObject must be a child of the caller."));
    treeOf(vm).removeChild(p, c);
    return arg(args, 0);
}
DisplayNode* childAt(VM& vm, DisplayNode* p, const Value& index) {
    const std::vector<DisplayNode*> kids = treeOf(vm).children(p);
    const std::int32_t i = vm.toInt32(index);
    if (i < 0 || std::size_t(i) >= kids.size())
        vm.throwRangeError(2006, QStringLiteral("The supplied index is out of bounds."));
    return kids[std::size_t(i)];
}
Value removeChildAt(VM& vm, const Value& self, std::span<const Value> args) {
    DisplayNode* p = node(vm, self);
    DisplayNode* c = childAt(vm, p, arg(args, 0));
    treeOf(vm).removeChild(p, c);
    return Value(static_cast<Object*>(c));
}
Value removeChildren(VM& vm, const Value& self, std::span<const Value> args) {
    DisplayNode* p = node(vm, self);
    DisplayTree& t = treeOf(vm);
    const std::vector<DisplayNode*> kids = t.children(p);
    const std::int32_t from = args.size() > 0 ? vm.toInt32(args[0]) : 0;
    const std::int32_t to = args.size() > 1 ? vm.toInt32(args[1]) : std::int32_t(kids.size()) - 1;
    if (kids.empty() && from == 0 && to == -1)
        return Value();
    if (from < 0 || to < from || std::size_t(to) >= kids.size())
        vm.throwRangeError(2006, QStringLiteral("The supplied index is out of bounds."));
    for (std::int32_t i = from; i <= to; ++i)
        if (kids[std::size_t(i)]->parent == p)
            t.removeChild(p, kids[std::size_t(i)]);
    return Value();
}
Value getChildAt(VM& vm, const Value& self, std::span<const Value> args) {
    return Value(static_cast<Object*>(childAt(vm, node(vm, self), arg(args, 0))));
}
Value getChildIndex(VM& vm, const Value& self, std::span<const Value> args) {
    DisplayNode* p = node(vm, self);
    Object* c = arg(args, 0).object();
    const std::vector<DisplayNode*> kids = treeOf(vm).children(p);
    for (std::size_t i = 0; i < kids.size(); ++i)
        if (kids[i] == c)
            return Value(std::int32_t(i));
    vm.throwError("ArgumentError", 2025,
                  QStringLiteral("The supplied DisplayObject must be a child of the caller."));
}
Value setChildIndexNative(VM& vm, const Value& self, std::span<const Value> args) {
    DisplayNode* p = node(vm, self);
    DisplayNode* c = childArg(vm, arg(args, 0), "child");
    DisplayTree& t = treeOf(vm);
    const std::size_t count = t.children(p).size();
    if (c->parent != p)
        vm.throwError("ArgumentError", 2025,
                      QStringLiteral("The supplied DisplayObject must be a child of the caller."));
    const std::int32_t i = vm.toInt32(arg(args, 1));
    if (i < 0 || std::size_t(i) >= count)
        vm.throwRangeError(2006, QStringLiteral("The supplied index is out of bounds."));
    t.setChildIndex(p, c, std::size_t(i));
    return Value();
}
void swapAt(VM& vm, DisplayNode* p, std::size_t a, std::size_t b) {
    DisplayTree& t = treeOf(vm);
    std::vector<DisplayNode*> kids = t.children(p);
    if (a == b)
        return;
    DisplayNode* x = kids[a];
    DisplayNode* y = kids[b];
    if (a > b)
        std::swap(a, b), std::swap(x, y);
    t.setChildIndex(p, y, a);
    t.setChildIndex(p, x, b);
}
Value swapChildren(VM& vm, const Value& self, std::span<const Value> args) {
    DisplayNode* p = node(vm, self);
    DisplayNode* a = childArg(vm, arg(args, 0), "child1");
    DisplayNode* b = childArg(vm, arg(args, 1), "child2");
    const std::vector<DisplayNode*> kids = treeOf(vm).children(p);
    auto ia = std::find(kids.begin(), kids.end(), a), ib = std::find(kids.begin(), kids.end(), b);
    if (ia == kids.end() || ib == kids.end())
        vm.throwError("ArgumentError", 2025,
                      QStringLiteral("The supplied DisplayObject must be a child of the caller."));
    swapAt(vm, p, std::size_t(ia - kids.begin()), std::size_t(ib - kids.begin()));
    return Value();
}
Value swapChildrenAt(VM& vm, const Value& self, std::span<const Value> args) {
    DisplayNode* p = node(vm, self);
    const std::size_t count = treeOf(vm).children(p).size();
    const std::int32_t a = vm.toInt32(arg(args, 0)), b = vm.toInt32(arg(args, 1));
    if (a < 0 || b < 0 || std::size_t(a) >= count || std::size_t(b) >= count)
        vm.throwRangeError(2006, QStringLiteral("The supplied index is out of bounds."));
    swapAt(vm, p, std::size_t(a), std::size_t(b));
    return Value();
}
Value getChildByName(VM& vm, const Value& self, std::span<const Value> args) {
    DisplayNode* p = node(vm, self);
    const QString name = vm.toString(arg(args, 0));
    for (DisplayNode* c : treeOf(vm).children(p))
        if (c->place().name == name)
            return Value(static_cast<Object*>(c));
    return Value::null();
}
Value numChildren(VM& vm, const Value& self, std::span<const Value>) {
    DisplayNode* n = node(vm, self);
    return Value(std::int32_t(vm.displayTree ? vm.displayTree->children(n).size() : 0));
}
Value containsNative(VM& vm, const Value& self, std::span<const Value> args) {
    DisplayNode* p = node(vm, self);
    Object* c = arg(args, 0).object();
    if (!c || c->kind != ObjectKind::DisplayObject)
        return Value(false);
    for (auto* n = static_cast<DisplayNode*>(c); n; n = n->parent)
        if (n == p)
            return Value(true);
    return Value(false);
}

#define FLAG_PROPERTY(field, getterName, setterName)                                               \
    Value getterName(VM& vm, const Value& self, std::span<const Value>) {                          \
        return Value(node(vm, self)->field);                                                       \
    }                                                                                              \
    Value setterName(VM& vm, const Value& self, std::span<const Value> args) {                     \
        node(vm, self)->field = VM::toBoolean(arg(args, 0));                                       \
        return Value();                                                                            \
    }
FLAG_PROPERTY(mouseEnabled, getMouseEnabled, setMouseEnabled)
FLAG_PROPERTY(mouseChildren, getMouseChildren, setMouseChildren)
FLAG_PROPERTY(buttonMode, getButtonMode, setButtonMode)
#undef FLAG_PROPERTY

// --- MovieClip ---

MovieClip* timelineOf(VM& vm, const Value& self) {
    return node(vm, self)->clip;
}
Value mcStop(VM& vm, const Value& self, std::span<const Value>) {
    if (MovieClip* c = timelineOf(vm, self))
        c->stop();
    return Value();
}
Value mcPlay(VM& vm, const Value& self, std::span<const Value>) {
    if (MovieClip* c = timelineOf(vm, self))
        c->play();
    return Value();
}

// Scenes of the root timeline (the movie's DefineSceneAndFrameLabelData), or one scene.
struct SceneSpan {
    QString name;
    std::size_t first, count;
};
std::vector<SceneSpan> scenesOf(DisplayTree& t, DisplayNode* n) {
    const std::size_t total = n->clip ? n->clip->frameCount() : 1;
    std::vector<SceneSpan> out;
    const auto& scenes = t.player.movie().scenes;
    if (n == t.root && !scenes.empty()) {
        for (std::size_t i = 0; i < scenes.size(); ++i) {
            const std::size_t first = std::min<std::size_t>(scenes[i].frameOffset, total);
            const std::size_t end = i + 1 < scenes.size()
                                        ? std::min<std::size_t>(scenes[i + 1].frameOffset, total)
                                        : total;
            out.push_back({scenes[i].name, first, end > first ? end - first : 0});
        }
        return out;
    }
    out.push_back({QStringLiteral("Scene 1"), 0, total});
    return out;
}
const SceneSpan* sceneAt(const std::vector<SceneSpan>& scenes, std::size_t frame) {
    const SceneSpan* s = &scenes.front();
    for (const auto& sc : scenes)
        if (sc.first <= frame)
            s = &sc;
    return s;
}

void runGoto(VM& vm, DisplayNode* n, std::size_t frame) {
    DisplayTree& t = treeOf(vm);
    if (!n->clip)
        return;
    t.player.gotoFrame(*n->clip, std::int64_t(frame));
    t.player.takePendingActions();
    t.dispatchLeaving();
    // The objects the new frame shows exist (and are constructed) when the call returns.
    std::vector<DisplayNode*> made;
    t.bind(n, &made);
    t.constructChildren(n);
}

void gotoFrame(VM& vm, DisplayNode* n, std::span<const Value> args, bool play) {
    MovieClip* c = n->clip;
    if (!c)
        return;
    DisplayTree& t = treeOf(vm);
    const std::vector<SceneSpan> scenes = scenesOf(t, n);
    const SceneSpan* scene = sceneAt(scenes, c->currentFrame());
    if (args.size() > 1 && !args[1].isNullish()) {
        const QString name = vm.toString(args[1]);
        scene = nullptr;
        for (const auto& s : scenes)
            if (s.name == name)
                scene = &s;
        if (!scene)
            vm.throwError("ArgumentError", 2108,
                          QStringLiteral("Scene %1 was not found.").arg(name));
    }
    const Value f = arg(args, 0);
    std::size_t target;
    if (f.isString()) {
        bool isNumber = false;
        const double d = f.s().toDouble(&isNumber);
        if (isNumber) {
            target = scene->first + std::size_t(std::max(1.0, d)) - 1;
        } else {
            auto label = c->timeline().frameForLabel(f.s());
            if (!label)
                vm.throwError(
                    "ArgumentError", 2109,
                    QStringLiteral("Frame label %1 not found in scene %2.").arg(f.s(), scene->name));
            target = *label;
        }
    } else {
        const double d = vm.toNumber(f);
        target = scene->first + std::size_t(std::isfinite(d) && d >= 1 ? std::min(d, 1e9) : 1) - 1;
    }
    if (play)
        c->play();
    else
        c->stop();
    runGoto(vm, n, std::min(target, c->frameCount() - 1));
}
Value mcGotoAndStop(VM& vm, const Value& self, std::span<const Value> args) {
    gotoFrame(vm, node(vm, self), args, false);
    return Value();
}
Value mcGotoAndPlay(VM& vm, const Value& self, std::span<const Value> args) {
    gotoFrame(vm, node(vm, self), args, true);
    return Value();
}
Value mcNextFrame(VM& vm, const Value& self, std::span<const Value>) {
    DisplayNode* n = node(vm, self);
    if (MovieClip* c = n->clip) {
        c->stop();
        if (c->currentFrame() + 1 < c->frameCount())
            runGoto(vm, n, c->currentFrame() + 1);
    }
    return Value();
}
Value mcPrevFrame(VM& vm, const Value& self, std::span<const Value>) {
    DisplayNode* n = node(vm, self);
    if (MovieClip* c = n->clip) {
        c->stop();
        if (c->currentFrame() > 0)
            runGoto(vm, n, c->currentFrame() - 1);
    }
    return Value();
}
Value mcCurrentFrame(VM& vm, const Value& self, std::span<const Value>) {
    DisplayNode* n = node(vm, self);
    if (!n->clip)
        return Value(std::int32_t(1));
    const std::vector<SceneSpan> scenes = scenesOf(treeOf(vm), n);
    const std::size_t f = n->clip->currentFrame();
    return Value(std::int32_t(f - sceneAt(scenes, f)->first + 1));
}
Value mcTotalFrames(VM& vm, const Value& self, std::span<const Value>) {
    MovieClip* c = timelineOf(vm, self);
    return Value(std::int32_t(c ? c->frameCount() : 1));
}
Value mcIsPlaying(VM& vm, const Value& self, std::span<const Value>) {
    MovieClip* c = timelineOf(vm, self);
    return Value(c && c->isPlaying() && c->frameCount() > 1);
}
Value mcCurrentLabel(VM& vm, const Value& self, std::span<const Value>) {
    MovieClip* c = timelineOf(vm, self);
    if (!c)
        return Value::null();
    for (std::size_t f = c->currentFrame() + 1; f-- > 0;)
        if (!c->timeline().frames[f].labels.empty())
            return Value(c->timeline().frames[f].labels.front());
    return Value::null();
}
Value mcCurrentFrameLabel(VM& vm, const Value& self, std::span<const Value>) {
    MovieClip* c = timelineOf(vm, self);
    if (!c || c->timeline().frames[c->currentFrame()].labels.empty())
        return Value::null();
    return Value(c->timeline().frames[c->currentFrame()].labels.front());
}
Value frameLabels(VM& vm, const MovieClip& c, std::size_t first, std::size_t count) {
    const Value cls = vm.lookupDefinition(QStringLiteral("flash.display::FrameLabel"));
    std::vector<Value> items;
    for (std::size_t f = first; f < first + count && f < c.frameCount(); ++f)
        for (const QString& l : c.timeline().frames[f].labels) {
            const Value a[] = {Value(l), Value(std::int32_t(f - first + 1))};
            items.push_back(vm.construct(cls, a));
        }
    return Value(static_cast<Object*>(vm.newArray(std::move(items))));
}
Value makeScene(VM& vm, const MovieClip& c, const SceneSpan& s) {
    const Value cls = vm.lookupDefinition(QStringLiteral("flash.display::Scene"));
    const Value a[] = {Value(s.name), frameLabels(vm, c, s.first, s.count),
                       Value(std::int32_t(s.count))};
    return vm.construct(cls, a);
}
Value mcCurrentLabels(VM& vm, const Value& self, std::span<const Value>) {
    DisplayNode* n = node(vm, self);
    if (!n->clip)
        return Value(static_cast<Object*>(vm.newArray()));
    const std::vector<SceneSpan> scenes = scenesOf(treeOf(vm), n);
    const SceneSpan* s = sceneAt(scenes, n->clip->currentFrame());
    return frameLabels(vm, *n->clip, s->first, s->count);
}
Value mcCurrentScene(VM& vm, const Value& self, std::span<const Value>) {
    DisplayNode* n = node(vm, self);
    if (!n->clip)
        return Value::null();
    const std::vector<SceneSpan> scenes = scenesOf(treeOf(vm), n);
    return makeScene(vm, *n->clip, *sceneAt(scenes, n->clip->currentFrame()));
}
Value mcScenes(VM& vm, const Value& self, std::span<const Value>) {
    DisplayNode* n = node(vm, self);
    std::vector<Value> items;
    if (n->clip)
        for (const SceneSpan& s : scenesOf(treeOf(vm), n))
            items.push_back(makeScene(vm, *n->clip, s));
    return Value(static_cast<Object*>(vm.newArray(std::move(items))));
}
Value mcAddFrameScript(VM& vm, const Value& self, std::span<const Value> args) {
    DisplayNode* n = node(vm, self);
    for (std::size_t i = 0; i + 1 < args.size(); i += 2) {
        const std::int32_t f = vm.toInt32(args[i]);
        if (f < 0)
            continue;
        if (args[i + 1].object())
            n->frameScripts[f] = args[i + 1];
        else
            n->frameScripts.erase(f);
    }
    return Value();
}

// --- Timer ---

Value timerCtor(VM& vm, const Value& self, std::span<const Value> args) {
    DisplayNode* t = node(vm, self);
    const double delay = vm.toNumber(arg(args, 0));
    const std::int32_t repeat = args.size() > 1 ? vm.toInt32(args[1]) : 0;
    if (!std::isfinite(delay) || delay < 0 || repeat < 0)
        vm.throwRangeError(2066, QStringLiteral("The Timer delay specified is out of range."));
    t->timerDelay = delay;
    t->timerRepeat = repeat;
    return Value();
}
void timerStop(VM& vm, DisplayNode* t) {
    if (t->timerId)
        std::erase_if(vm.timers, [&](const VM::Timer& q) { return q.id == t->timerId; });
    t->timerId = 0;
}
void dispatchTimerEvent(VM& vm, DisplayNode* t, const char* type) {
    bool any = false;
    auto it = t->listeners.find(QString::fromLatin1(type));
    any = it != t->listeners.end() && !it->second.empty();
    if (!any)
        return;
    const Value cls = vm.lookupDefinition(QStringLiteral("flash.events::TimerEvent"));
    const Value a[] = {Value(QString::fromLatin1(type))};
    dispatchEvent(vm, t, vm.construct(cls, a));
}
// Called from the VM's timer queue with the Timer as its argument.
Value timerFired(VM& vm, const Value&, std::span<const Value> args) {
    Object* o = arg(args, 0).object();
    if (!o || o->kind != ObjectKind::DisplayObject)
        return Value();
    auto* t = static_cast<DisplayNode*>(o);
    if (!t->timerId)
        return Value();
    ++t->timerCount;
    const bool last = t->timerRepeat > 0 && t->timerCount >= t->timerRepeat;
    if (last)
        timerStop(vm, t);
    dispatchTimerEvent(vm, t, "timer");
    if (last)
        dispatchTimerEvent(vm, t, "timerComplete");
    return Value();
}
void timerStart(VM& vm, DisplayNode* t) {
    if (t->timerId || (t->timerRepeat > 0 && t->timerCount >= t->timerRepeat))
        return;
    VM::Timer q;
    q.id = vm.nextTimerId++;
    q.fn = Value(static_cast<Object*>(vm.makeNative(QStringLiteral("timer"), timerFired)));
    q.args = {Value(static_cast<Object*>(t))};
    const double interval = std::max(t->timerDelay, 1.0);
    q.due = vm.clock() + interval;
    q.interval = interval;
    q.repeat = true;
    vm.timers.push_back(std::move(q));
    t->timerId = vm.timers.back().id;
}
Value timerStartNative(VM& vm, const Value& self, std::span<const Value>) {
    timerStart(vm, node(vm, self));
    return Value();
}
Value timerStopNative(VM& vm, const Value& self, std::span<const Value>) {
    timerStop(vm, node(vm, self));
    return Value();
}
Value timerReset(VM& vm, const Value& self, std::span<const Value>) {
    DisplayNode* t = node(vm, self);
    timerStop(vm, t);
    t->timerCount = 0;
    return Value();
}
Value timerRunning(VM& vm, const Value& self, std::span<const Value>) {
    return Value(node(vm, self)->timerId != 0);
}
Value timerCurrentCount(VM& vm, const Value& self, std::span<const Value>) {
    return Value(node(vm, self)->timerCount);
}
Value timerDelay(VM& vm, const Value& self, std::span<const Value>) {
    return Value::number(node(vm, self)->timerDelay);
}
Value setTimerDelay(VM& vm, const Value& self, std::span<const Value> args) {
    DisplayNode* t = node(vm, self);
    const double d = vm.toNumber(arg(args, 0));
    if (!std::isfinite(d) || d < 0)
        vm.throwRangeError(2066, QStringLiteral("The Timer delay specified is out of range."));
    t->timerDelay = d;
    if (t->timerId) { // a running timer starts its interval again
        timerStop(vm, t);
        timerStart(vm, t);
    }
    return Value();
}
Value timerRepeatCount(VM& vm, const Value& self, std::span<const Value>) {
    return Value(node(vm, self)->timerRepeat);
}
Value setTimerRepeatCount(VM& vm, const Value& self, std::span<const Value> args) {
    DisplayNode* t = node(vm, self);
    t->timerRepeat = std::max(0, vm.toInt32(arg(args, 0)));
    if (t->timerRepeat > 0 && t->timerCount >= t->timerRepeat)
        timerStop(vm, t);
    return Value();
}
Value timerEventCtor(VM& vm, const Value& self, std::span<const Value> args) {
    return eventCtor(vm, self, args);
}
// MouseEvent(type, bubbles = true, cancelable, localX, localY, relatedObject, ctrlKey, altKey,
// shiftKey, buttonDown, delta): the fields as plain properties of the event.
Value mouseEventCtor(VM& vm, const Value& self, std::span<const Value> args) {
    const Value base[] = {arg(args, 0), args.size() > 1 ? args[1] : Value(true), arg(args, 2)};
    eventCtor(vm, self, base);
    Object* e = self.object();
    auto number = [&](std::size_t i) {
        return args.size() > i ? Value::number(vm.toNumber(args[i])) : Value(std::int32_t(0));
    };
    e->setDynamic(QStringLiteral("localX"), number(3));
    e->setDynamic(QStringLiteral("localY"), number(4));
    e->setDynamic(QStringLiteral("relatedObject"), arg(args, 5).object() ? args[5] : Value::null());
    e->setDynamic(QStringLiteral("ctrlKey"), Value(VM::toBoolean(arg(args, 6))));
    e->setDynamic(QStringLiteral("altKey"), Value(VM::toBoolean(arg(args, 7))));
    e->setDynamic(QStringLiteral("shiftKey"), Value(VM::toBoolean(arg(args, 8))));
    e->setDynamic(QStringLiteral("buttonDown"), Value(VM::toBoolean(arg(args, 9))));
    e->setDynamic(QStringLiteral("delta"), Value(args.size() > 10 ? vm.toInt32(args[10]) : 0));
    e->setDynamic(QStringLiteral("stageX"), Value::number(NAN));
    e->setDynamic(QStringLiteral("stageY"), Value::number(NAN));
    return Value();
}
// KeyboardEvent(type, bubbles = true, cancelable, charCode, keyCode, keyLocation, ctrlKey,
// altKey, shiftKey).
Value keyboardEventCtor(VM& vm, const Value& self, std::span<const Value> args) {
    const Value base[] = {arg(args, 0), args.size() > 1 ? args[1] : Value(true), arg(args, 2)};
    eventCtor(vm, self, base);
    Object* e = self.object();
    e->setDynamic(QStringLiteral("charCode"), Value(std::int32_t(vm.toUint32(arg(args, 3)))));
    e->setDynamic(QStringLiteral("keyCode"), Value(std::int32_t(vm.toUint32(arg(args, 4)))));
    e->setDynamic(QStringLiteral("keyLocation"), Value(std::int32_t(vm.toUint32(arg(args, 5)))));
    e->setDynamic(QStringLiteral("ctrlKey"), Value(VM::toBoolean(arg(args, 6))));
    e->setDynamic(QStringLiteral("altKey"), Value(VM::toBoolean(arg(args, 7))));
    e->setDynamic(QStringLiteral("shiftKey"), Value(VM::toBoolean(arg(args, 8))));
    return Value();
}
Value stageFocus(VM& vm, const Value&, std::span<const Value>) {
    DisplayNode* f = vm.displayTree ? vm.displayTree->focus : nullptr;
    return f ? Value(static_cast<Object*>(f)) : Value::null();
}
Value setStageFocus(VM& vm, const Value&, std::span<const Value> args) {
    if (!vm.displayTree)
        return Value();
    Object* o = arg(args, 0).object();
    changeFocus(vm,
                o && o->kind == ObjectKind::DisplayObject ? static_cast<DisplayNode*>(o) : nullptr);
    return Value();
}

Value updateAfterEvent(VM&, const Value&, std::span<const Value>) {
    return Value();
}
Value fscommandNative(VM& vm, const Value&, std::span<const Value> args) {
    DisplayTree* t = vm.displayTree;
    if (!t)
        return Value();
    const QString command = vm.toString(arg(args, 0)).trimmed().toLower();
    if (command == QLatin1String("quit"))
        t->quitRequested = true;
    // As a projector obeys it; stage.displayState follows once the window has changed.
    else if (command == QLatin1String("fullscreen") && t->fullScreenRequested)
        t->fullScreenRequested(vm.toString(arg(args, 1))
                                   .trimmed()
                                   .compare(QLatin1String("true"), Qt::CaseInsensitive) == 0);
    return Value();
}

// Plain holders: FrameLabel(name, frame) and Scene(name, labels, numFrames).
Value frameLabelCtor(VM& vm, const Value& self, std::span<const Value> args) {
    Object* o = self.object();
    o->setDynamic(QStringLiteral("name"), Value(vm.toString(arg(args, 0))));
    o->setDynamic(QStringLiteral("frame"), Value(vm.toInt32(arg(args, 1))));
    return Value();
}
Value sceneCtor(VM& vm, const Value& self, std::span<const Value> args) {
    Object* o = self.object();
    o->setDynamic(QStringLiteral("name"), Value(vm.toString(arg(args, 0))));
    o->setDynamic(QStringLiteral("labels"), arg(args, 1));
    o->setDynamic(QStringLiteral("numFrames"), Value(vm.toInt32(arg(args, 2))));
    return Value();
}

// --- Stage ---

Value stageFrameRate(VM& vm, const Value&, std::span<const Value>) {
    return Value::number(vm.frameRate);
}
Value setStageFrameRate(VM& vm, const Value&, std::span<const Value> args) {
    const double r = vm.toNumber(arg(args, 0));
    if (std::isfinite(r))
        vm.frameRate = std::clamp(r, 0.01, 1000.0);
    return Value();
}
// The background as 0xRRGGBB: white when the movie sets none, as the stage then shows.
Value stageColor(VM& vm, const Value&, std::span<const Value>) {
    const std::optional<Rgba> c = treeOf(vm).player.backgroundColor();
    if (!c)
        return Value(std::int32_t(0xFFFFFF));
    return Value(std::int32_t((c->r << 16) | (c->g << 8) | c->b));
}
Value setStageColor(VM& vm, const Value&, std::span<const Value> args) {
    const std::uint32_t v = vm.toUint32(arg(args, 0));
    treeOf(vm).player.setBackgroundColor(
        Rgba{std::uint8_t(v >> 16), std::uint8_t(v >> 8), std::uint8_t(v), 255});
    return Value();
}
Value stageInvalidate(VM& vm, const Value&, std::span<const Value>) {
    if (vm.displayTree)
        vm.displayTree->invalidated = true;
    return Value();
}
Value ignoreSet(VM&, const Value&, std::span<const Value>) {
    return Value();
}
Value stageScaleMode(VM& vm, const Value&, std::span<const Value>) {
    return Value(treeOf(vm).scaleMode);
}
Value setStageScaleMode(VM& vm, const Value&, std::span<const Value> args) {
    DisplayTree& t = treeOf(vm);
    const QString mode = vm.toString(arg(args, 0));
    for (const char* known : {"showAll", "noBorder", "exactFit", "noScale"})
        if (mode.compare(QLatin1String(known), Qt::CaseInsensitive) == 0) {
            if (t.scaleMode != QLatin1String(known)) {
                t.scaleMode = QString::fromLatin1(known);
                if (t.scaleModeChanged)
                    t.scaleModeChanged(t.scaleMode);
            }
            return Value();
        }
    vm.throwError("ArgumentError", 2008,
                  QStringLiteral("Parameter scaleMode must be one of the accepted values."));
}
Value stageAlign(VM& vm, const Value&, std::span<const Value>) {
    return Value(treeOf(vm).align);
}
Value setStageAlign(VM& vm, const Value&, std::span<const Value> args) {
    // Kept in the canonical order of its letters ("TL", "BR"...).
    const QString given = vm.toString(arg(args, 0)).toUpper();
    QString a;
    for (QChar c : {QChar('T'), QChar('B')})
        if (given.contains(c)) {
            a += c;
            break;
        }
    for (QChar c : {QChar('L'), QChar('R')})
        if (given.contains(c)) {
            a += c;
            break;
        }
    treeOf(vm).align = a;
    return Value();
}
// In noScale the stage is as large as the view; otherwise the movie's own size.
Value stageWidthNow(VM& vm, const Value&, std::span<const Value>) {
    DisplayTree* t = vm.displayTree;
    if (t && t->scaleMode == QLatin1String("noScale") && !t->viewSize.isEmpty())
        return Value(std::int32_t(std::lround(t->viewSize.width())));
    return Value(std::int32_t(vm.stageWidth));
}
Value stageHeightNow(VM& vm, const Value&, std::span<const Value>) {
    DisplayTree* t = vm.displayTree;
    if (t && t->scaleMode == QLatin1String("noScale") && !t->viewSize.isEmpty())
        return Value(std::int32_t(std::lround(t->viewSize.height())));
    return Value(std::int32_t(vm.stageHeight));
}
Value stageQuality(VM&, const Value&, std::span<const Value>) {
    return Value(QStringLiteral("HIGH"));
}
Value stageDisplayState(VM& vm, const Value&, std::span<const Value>) {
    return Value(treeOf(vm).displayState);
}
// Full screen or back through the host's command, then FullScreenEvent.FULL_SCREEN on the stage.
Value setStageDisplayState(VM& vm, const Value&, std::span<const Value> args) {
    DisplayTree& t = treeOf(vm);
    const QString state = vm.toString(arg(args, 0));
    if (state != QLatin1String("normal") && state != QLatin1String("fullScreen") &&
        state != QLatin1String("fullScreenInteractive"))
        vm.throwError("ArgumentError", 2008,
                      QStringLiteral("Parameter displayState must be one of the accepted values."));
    if (state == t.displayState)
        return Value();
    const bool full = state != QLatin1String("normal");
    const bool wasFull = t.displayState != QLatin1String("normal");
    t.displayState = state;
    if (full == wasFull)
        return Value();
    if (t.fullScreenRequested)
        t.fullScreenRequested(full);
    dispatchFullScreen(vm, full);
    return Value();
}
} // namespace

void dispatchFullScreen(VM& vm, bool full) {
    DisplayTree& t = treeOf(vm);
    const Value cls = vm.lookupDefinition(QStringLiteral("flash.events::FullScreenEvent"));
    if (t.stage && cls.object()) {
        const Value eventArgs[] = {Value(QStringLiteral("fullScreen")), Value(false), Value(false),
                                   Value(full)};
        dispatchEvent(vm, t.stage, vm.construct(cls, eventArgs));
    }
}

// The window went into or out of full screen by the user's command, or obeyed the movie's.
void hostFullScreenChanged(VM& vm, bool full) {
    DisplayTree& t = treeOf(vm);
    if (full == (t.displayState != QLatin1String("normal")))
        return;
    t.displayState = full ? QStringLiteral("fullScreen") : QStringLiteral("normal");
    dispatchFullScreen(vm, full);
}

namespace {

// --- LoaderInfo: the movie is always wholly loaded. ---

Value getLoaderInfo(VM& vm, const Value& self, std::span<const Value>) {
    DisplayTree& t = treeOf(vm);
    DisplayNode* n = node(vm, self);
    // The document and the objects of its file share the movie's; the stage has none.
    if (n->isStage)
        return Value::null();
    if (DisplayNode* loaded = loadedMovieInfo(n))
        return Value(static_cast<Object*>(loaded));
    if (!t.loaderInfo) {
        const Value cls = vm.lookupDefinition(QStringLiteral("flash.display::LoaderInfo"));
        const Value li = vm.construct(cls, {});
        t.loaderInfo = static_cast<DisplayNode*>(li.object());
        vm.hostRoots.push_back(t.loaderInfo);
    }
    return Value(static_cast<Object*>(t.loaderInfo));
}
Value loaderInfoBytes(VM& vm, const Value&, std::span<const Value>) {
    return Value::number(double(treeOf(vm).movieBytes));
}
Value loaderInfoUrl(VM& vm, const Value&, std::span<const Value>) {
    return Value(treeOf(vm).url);
}
Value loaderInfoParameters(VM& vm, const Value& self, std::span<const Value>) {
    Object* o = self.object();
    const Value* kept = o->getDynamic(QStringLiteral("__parameters"));
    if (kept)
        return *kept;
    Object* p = vm.newObject();
    o->setDynamic(QStringLiteral("__parameters"), Value(p));
    o->dyn.back().enumerable = false;
    return Value(p);
}
Value loaderInfoContent(VM& vm, const Value&, std::span<const Value>) {
    DisplayTree& t = treeOf(vm);
    return t.root ? Value(static_cast<Object*>(t.root)) : Value::null();
}
Value loaderInfoFrameRate(VM& vm, const Value&, std::span<const Value>) {
    return Value::number(vm.frameRate);
}
Value loaderInfoWidth(VM& vm, const Value&, std::span<const Value>) {
    return Value(std::int32_t(vm.stageWidth));
}
Value loaderInfoHeight(VM& vm, const Value&, std::span<const Value>) {
    return Value(std::int32_t(vm.stageHeight));
}
Value loaderInfoVersion(VM& vm, const Value&, std::span<const Value>) {
    return Value(std::int32_t(treeOf(vm).player.movie().version()));
}
Value loaderInfoAsVersion(VM&, const Value&, std::span<const Value>) {
    return Value(std::int32_t(3));
}
Value loaderInfoDomain(VM& vm, const Value&, std::span<const Value>) {
    const Value cls = vm.lookupDefinition(QStringLiteral("flash.system::ApplicationDomain"));
    return vm.getProperty(cls, vm.publicName(QStringLiteral("currentDomain")));
}

void publicAlias(VM& vm, Class* c, const char* name) {
    Binding* b = c->instanceTraits.find(QString::fromLatin1(name), vm.as3Ns());
    c->instanceTraits.add(QString::fromLatin1(name), vm.publicNs(), *b);
}
void methods(VM& vm, Class* c, std::initializer_list<std::pair<const char*, NativeFn>> list) {
    for (auto [n, f] : list) {
        vm.addMethod(c, QString::fromLatin1(n), f);
        publicAlias(vm, c, n);
    }
}

} // namespace

// --- Dispatch ----------------------------------------------------------------------------------

bool dispatchEvent(VM& vm, DisplayNode* target, const Value& given) {
    Object* eo = given.object();
    if (!eo || eo->kind != ObjectKind::DisplayObject)
        vm.throwTypeError(2007, QStringLiteral("Parameter event must be non-null."));
    Value event = given;
    // An event already dispatched goes out again as its clone (the subclass's own, if any).
    if (!static_cast<DisplayNode*>(eo)->eventTarget.isUndefined()) {
        event = vm.callProperty(given, vm.publicName(QStringLiteral("clone")), {});
        eo = event.object();
        if (!eo || eo->kind != ObjectKind::DisplayObject)
            vm.throwTypeError(2007, QStringLiteral("Parameter event must be non-null."));
    }
    auto* e = static_cast<DisplayNode*>(eo);
    e->eventTarget = Value(static_cast<Object*>(target));
    e->stopped = e->stoppedNow = false;
    // The path: ancestors, outermost first, for the capture phase; the same inwards-out for
    // bubbling. Fixed before any listener runs, as the Reference says.
    std::vector<DisplayNode*> ancestors;
    for (DisplayNode* p = target->parent; p && ancestors.size() < 1024; p = p->parent)
        ancestors.push_back(p);
    auto deliver = [&](DisplayNode* cur, int phase) {
        auto it = cur->listeners.find(e->eventType);
        if (it == cur->listeners.end())
            return;
        e->phase = phase;
        e->eventCurrentTarget = Value(static_cast<Object*>(cur));
        const std::vector<DisplayNode::Listener> list = it->second;
        for (const auto& l : list) {
            if (l.capture != (phase == 1))
                continue;
            const Value a[] = {event};
            vm.call(l.fn, Value::null(), a);
            if (e->stoppedNow)
                break;
        }
    };
    for (auto it = ancestors.rbegin(); it != ancestors.rend() && !e->stopped; ++it)
        deliver(*it, 1);
    if (!e->stopped)
        deliver(target, 2);
    if (e->bubbles)
        for (DisplayNode* p : ancestors) {
            if (e->stopped)
                break;
            deliver(p, 3);
        }
    e->eventCurrentTarget = Value::null();
    e->phase = 2;
    return !e->defaultPrevented;
}

void dispatchSimple(VM& vm, DisplayNode* target, const QString& type, bool bubbles) {
    // Only build an event when someone on the path listens (capture listeners included).
    bool any = false;
    for (DisplayNode* n = target; n && !any; n = n->parent) {
        auto it = n->listeners.find(type);
        any = it != n->listeners.end() && !it->second.empty();
    }
    if (!any)
        return;
    const Value a[] = {Value(type), Value(bubbles)};
    const Value ev = vm.construct(Value(static_cast<Object*>(vm.eventClass)), a);
    dispatchEvent(vm, target, ev);
}

void installDisplay(VM& vm) {
    const QString events = QStringLiteral("flash.events");
    const QString display = QStringLiteral("flash.display");
    Class* ed =
        vm.defineNativeClass(events, QStringLiteral("EventDispatcher"), vm.objectClass, allocNode);
    vm.eventDispatcherClass = ed;
    methods(vm, ed,
            {{"addEventListener", addEventListener},
             {"removeEventListener", removeEventListener},
             {"hasEventListener", hasEventListener},
             {"willTrigger", willTrigger},
             {"dispatchEvent", dispatchEventNative}});

    Class* ev = vm.defineNativeClass(events, QStringLiteral("Event"), vm.objectClass, allocNode);
    vm.eventClass = ev;
    ev->iinit.native = eventCtor;
    vm.addGetter(ev, QStringLiteral("type"), eventType);
    vm.addGetter(ev, QStringLiteral("bubbles"), eventBubbles);
    vm.addGetter(ev, QStringLiteral("cancelable"), eventCancelable);
    vm.addGetter(ev, QStringLiteral("target"), eventTarget);
    vm.addGetter(ev, QStringLiteral("currentTarget"), eventCurrentTarget);
    vm.addGetter(ev, QStringLiteral("eventPhase"), eventPhase);
    methods(vm, ev,
            {{"stopPropagation", eventStop},
             {"stopImmediatePropagation", eventStopNow},
             {"preventDefault", eventPreventDefault},
             {"isDefaultPrevented", eventIsDefaultPrevented},
             {"clone", eventClone},
             {"toString", eventToString}});
    const std::pair<const char*, const char*> types[] = {{"ADDED", "added"},
                                                         {"ADDED_TO_STAGE", "addedToStage"},
                                                         {"REMOVED", "removed"},
                                                         {"REMOVED_FROM_STAGE", "removedFromStage"},
                                                         {"ENTER_FRAME", "enterFrame"},
                                                         {"EXIT_FRAME", "exitFrame"},
                                                         {"FRAME_CONSTRUCTED", "frameConstructed"},
                                                         {"RENDER", "render"},
                                                         {"COMPLETE", "complete"},
                                                         {"RESIZE", "resize"},
                                                         {"ACTIVATE", "activate"},
                                                         {"DEACTIVATE", "deactivate"},
                                                         {"INIT", "init"},
                                                         {"CHANGE", "change"},
                                                         {"OPEN", "open"},
                                                         {"CLOSE", "close"},
                                                         {"SELECT", "select"},
                                                         {"CANCEL", "cancel"},
                                                         {"UNLOAD", "unload"},
                                                         {"SOUND_COMPLETE", "soundComplete"}};
    for (auto [k, v] : types)
        vm.addStaticValue(ev, QString::fromLatin1(k), Value(QString::fromLatin1(v)));
    Class* ephase = vm.defineNativeClass(events, QStringLiteral("EventPhase"), vm.objectClass);
    vm.addStaticValue(ephase, QStringLiteral("CAPTURING_PHASE"), Value(std::int32_t(1)));
    vm.addStaticValue(ephase, QStringLiteral("AT_TARGET"), Value(std::int32_t(2)));
    vm.addStaticValue(ephase, QStringLiteral("BUBBLING_PHASE"), Value(std::int32_t(3)));

    Class* dobj = vm.defineNativeClass(display, QStringLiteral("DisplayObject"), ed, allocNode);
    vm.displayObjectClass = dobj;
    dobj->iinit.native = displayObjectCtor;
    vm.addGetter(dobj, QStringLiteral("parent"), getParent);
    vm.addGetter(dobj, QStringLiteral("stage"), getStage);
    vm.addGetter(dobj, QStringLiteral("root"), getRoot);
    vm.addGetter(dobj, QStringLiteral("name"), getName, setName);
    vm.addGetter(dobj, QStringLiteral("x"), getX, setX);
    vm.addGetter(dobj, QStringLiteral("y"), getY, setY);
    vm.addGetter(dobj, QStringLiteral("scaleX"), getScaleX, setScaleX);
    vm.addGetter(dobj, QStringLiteral("scaleY"), getScaleY, setScaleY);
    vm.addGetter(dobj, QStringLiteral("rotation"), getRotation, setRotation);
    vm.addGetter(dobj, QStringLiteral("alpha"), getAlpha, setAlpha);
    vm.addGetter(dobj, QStringLiteral("visible"), getVisible, setVisible);
    vm.addGetter(dobj, QStringLiteral("width"), getWidth, setWidth);
    vm.addGetter(dobj, QStringLiteral("height"), getHeight, setHeight);
    vm.addGetter(dobj, QStringLiteral("loaderInfo"), getLoaderInfo);
    vm.addGetter(dobj, QStringLiteral("transform"), getTransform, setTransform);
    vm.addGetter(dobj, QStringLiteral("blendMode"), getBlendMode, setBlendMode);
    vm.addGetter(dobj, QStringLiteral("cacheAsBitmap"), getCacheAsBitmap, setCacheAsBitmap);
    vm.addGetter(dobj, QStringLiteral("opaqueBackground"), getOpaqueBackground,
                 setOpaqueBackground);
    installEffects(vm, dobj); // filters, mask: before the subclasses copy DisplayObject's traits
    vm.addGetter(dobj, QStringLiteral("mouseX"), getMouseX);
    vm.addGetter(dobj, QStringLiteral("mouseY"), getMouseY);
    methods(vm, dobj,
            {{"getBounds", getBounds},
             {"getRect", getRect},
             {"localToGlobal", localToGlobal},
             {"globalToLocal", globalToLocal},
             {"hitTestPoint", hitTestPoint},
             {"hitTestObject", hitTestObject}});
    Class* io = vm.defineNativeClass(display, QStringLiteral("InteractiveObject"), dobj, allocNode);
    vm.addGetter(io, QStringLiteral("mouseEnabled"), getMouseEnabled, setMouseEnabled);
    Class* cont =
        vm.defineNativeClass(display, QStringLiteral("DisplayObjectContainer"), io, allocNode);
    methods(vm, cont,
            {{"addChild", addChild},
             {"addChildAt", addChildAtNative},
             {"removeChild", removeChild},
             {"removeChildAt", removeChildAt},
             {"removeChildren", removeChildren},
             {"getChildAt", getChildAt},
             {"getChildIndex", getChildIndex},
             {"setChildIndex", setChildIndexNative},
             {"swapChildren", swapChildren},
             {"swapChildrenAt", swapChildrenAt},
             {"getChildByName", getChildByName},
             {"contains", containsNative}});
    vm.addGetter(cont, QStringLiteral("numChildren"), numChildren);
    vm.addGetter(cont, QStringLiteral("mouseChildren"), getMouseChildren, setMouseChildren);
    Class* sprite = vm.defineNativeClass(display, QStringLiteral("Sprite"), cont, allocNode);
    vm.spriteClass = sprite;
    installGraphics(vm);
    addGraphicsProperty(vm, sprite);
    vm.addGetter(sprite, QStringLiteral("buttonMode"), getButtonMode, setButtonMode);
    Class* mc = vm.defineNativeClass(display, QStringLiteral("MovieClip"), sprite, allocNode);
    mc->isSealed = false;
    vm.movieClipClass = mc;
    methods(vm, mc,
            {{"stop", mcStop},
             {"play", mcPlay},
             {"gotoAndStop", mcGotoAndStop},
             {"gotoAndPlay", mcGotoAndPlay},
             {"nextFrame", mcNextFrame},
             {"prevFrame", mcPrevFrame},
             {"addFrameScript", mcAddFrameScript}});
    vm.addGetter(mc, QStringLiteral("currentFrame"), mcCurrentFrame);
    vm.addGetter(mc, QStringLiteral("totalFrames"), mcTotalFrames);
    vm.addGetter(mc, QStringLiteral("framesLoaded"), mcTotalFrames);
    vm.addGetter(mc, QStringLiteral("isPlaying"), mcIsPlaying);
    vm.addGetter(mc, QStringLiteral("currentLabel"), mcCurrentLabel);
    vm.addGetter(mc, QStringLiteral("currentFrameLabel"), mcCurrentFrameLabel);
    vm.addGetter(mc, QStringLiteral("currentLabels"), mcCurrentLabels);
    vm.addGetter(mc, QStringLiteral("currentScene"), mcCurrentScene);
    vm.addGetter(mc, QStringLiteral("scenes"), mcScenes);
    Class* frameLabel = vm.defineNativeClass(display, QStringLiteral("FrameLabel"), vm.objectClass);
    frameLabel->isSealed = false;
    frameLabel->iinit.native = frameLabelCtor;
    Class* scene = vm.defineNativeClass(display, QStringLiteral("Scene"), vm.objectClass);
    scene->isSealed = false;
    scene->iinit.native = sceneCtor;

    // Leaf display objects: their pictures come from the timeline's characters (or from what a
    // script draws into a Shape).
    addGraphicsProperty(vm,
                        vm.defineNativeClass(display, QStringLiteral("Shape"), dobj, allocNode));
    vm.defineNativeClass(display, QStringLiteral("MorphShape"), dobj, allocNode);
    vm.defineNativeClass(display, QStringLiteral("SimpleButton"), io, allocNode);
    installText(vm, dobj, io);
    vm.defineNativeClass(QStringLiteral("flash.media"), QStringLiteral("Video"), dobj, allocNode);

    Class* stage = vm.defineNativeClass(display, QStringLiteral("Stage"), cont, allocNode);
    vm.stageClass = stage;
    vm.addGetter(stage, QStringLiteral("stageWidth"), stageWidthNow, ignoreSet);
    vm.addGetter(stage, QStringLiteral("stageHeight"), stageHeightNow, ignoreSet);
    vm.addGetter(stage, QStringLiteral("quality"), stageQuality, ignoreSet);
    vm.addGetter(stage, QStringLiteral("displayState"), stageDisplayState, setStageDisplayState);
    vm.addGetter(stage, QStringLiteral("frameRate"), stageFrameRate, setStageFrameRate);
    vm.addGetter(stage, QStringLiteral("color"), stageColor, setStageColor);
    methods(vm, stage, {{"invalidate", stageInvalidate}});
    vm.addGetter(stage, QStringLiteral("focus"), stageFocus, setStageFocus);
    vm.addGetter(stage, QStringLiteral("scaleMode"), stageScaleMode, setStageScaleMode);
    vm.addGetter(stage, QStringLiteral("align"), stageAlign, setStageAlign);
    Class* sm = vm.defineNativeClass(display, QStringLiteral("StageScaleMode"), vm.objectClass);
    for (auto [k, v] : {std::pair<const char*, const char*>{"SHOW_ALL", "showAll"},
                        {"NO_BORDER", "noBorder"},
                        {"EXACT_FIT", "exactFit"},
                        {"NO_SCALE", "noScale"}})
        vm.addStaticValue(sm, QString::fromLatin1(k), Value(QString::fromLatin1(v)));
    Class* sa = vm.defineNativeClass(display, QStringLiteral("StageAlign"), vm.objectClass);
    for (auto [k, v] : {std::pair<const char*, const char*>{"TOP", "T"},
                        {"BOTTOM", "B"},
                        {"LEFT", "L"},
                        {"RIGHT", "R"},
                        {"TOP_LEFT", "TL"},
                        {"TOP_RIGHT", "TR"},
                        {"BOTTOM_LEFT", "BL"},
                        {"BOTTOM_RIGHT", "BR"}})
        vm.addStaticValue(sa, QString::fromLatin1(k), Value(QString::fromLatin1(v)));
    Class* sq = vm.defineNativeClass(display, QStringLiteral("StageQuality"), vm.objectClass);
    for (auto [k, v] : {std::pair<const char*, const char*>{"LOW", "low"},
                        {"MEDIUM", "medium"},
                        {"HIGH", "high"},
                        {"BEST", "best"}})
        vm.addStaticValue(sq, QString::fromLatin1(k), Value(QString::fromLatin1(v)));

    Class* li = vm.defineNativeClass(display, QStringLiteral("LoaderInfo"), ed, allocNode);
    vm.addGetter(li, QStringLiteral("bytesLoaded"), loaderInfoBytes);
    vm.addGetter(li, QStringLiteral("bytesTotal"), loaderInfoBytes);
    vm.addGetter(li, QStringLiteral("url"), loaderInfoUrl);
    vm.addGetter(li, QStringLiteral("loaderURL"), loaderInfoUrl);
    vm.addGetter(li, QStringLiteral("parameters"), loaderInfoParameters);
    vm.addGetter(li, QStringLiteral("content"), loaderInfoContent);
    vm.addGetter(li, QStringLiteral("frameRate"), loaderInfoFrameRate);
    vm.addGetter(li, QStringLiteral("width"), loaderInfoWidth);
    vm.addGetter(li, QStringLiteral("height"), loaderInfoHeight);
    vm.addGetter(li, QStringLiteral("swfVersion"), loaderInfoVersion);
    vm.addGetter(li, QStringLiteral("actionScriptVersion"), loaderInfoAsVersion);
    vm.addGetter(li, QStringLiteral("applicationDomain"), loaderInfoDomain);

    Class* transform = vm.defineNativeClass(QStringLiteral("flash.geom"),
                                            QStringLiteral("Transform"), vm.objectClass);
    transform->iinit.native = transformCtor;
    vm.addGetter(transform, QStringLiteral("matrix"), transformMatrix, setTransformMatrix);
    vm.addGetter(transform, QStringLiteral("colorTransform"), transformColor, setTransformColor);
    vm.addGetter(transform, QStringLiteral("concatenatedMatrix"), transformConcatenated);
    vm.addGetter(transform, QStringLiteral("pixelBounds"), transformPixelBounds);
    Class* timer =
        vm.defineNativeClass(QStringLiteral("flash.utils"), QStringLiteral("Timer"), ed, allocNode);
    timer->iinit.native = timerCtor;
    methods(vm, timer,
            {{"start", timerStartNative}, {"stop", timerStopNative}, {"reset", timerReset}});
    vm.addGetter(timer, QStringLiteral("running"), timerRunning);
    vm.addGetter(timer, QStringLiteral("currentCount"), timerCurrentCount);
    vm.addGetter(timer, QStringLiteral("delay"), timerDelay, setTimerDelay);
    vm.addGetter(timer, QStringLiteral("repeatCount"), timerRepeatCount, setTimerRepeatCount);
    Class* timerEvent = vm.defineNativeClass(events, QStringLiteral("TimerEvent"), ev, allocNode);
    timerEvent->iinit.native = timerEventCtor;
    vm.addStaticValue(timerEvent, QStringLiteral("TIMER"), Value(QStringLiteral("timer")));
    vm.addStaticValue(timerEvent, QStringLiteral("TIMER_COMPLETE"),
                      Value(QStringLiteral("timerComplete")));
    methods(vm, timerEvent, {{"updateAfterEvent", updateAfterEvent}});
    Class* mouseEvent = vm.defineNativeClass(events, QStringLiteral("MouseEvent"), ev, allocNode);
    mouseEvent->iinit.native = mouseEventCtor;
    methods(vm, mouseEvent, {{"updateAfterEvent", updateAfterEvent}});
    for (auto [k, v] : {std::pair<const char*, const char*>{"CLICK", "click"},
                        {"DOUBLE_CLICK", "doubleClick"},
                        {"MOUSE_DOWN", "mouseDown"},
                        {"MOUSE_UP", "mouseUp"},
                        {"MOUSE_MOVE", "mouseMove"},
                        {"MOUSE_OVER", "mouseOver"},
                        {"MOUSE_OUT", "mouseOut"},
                        {"ROLL_OVER", "rollOver"},
                        {"ROLL_OUT", "rollOut"},
                        {"MOUSE_WHEEL", "mouseWheel"},
                        {"RIGHT_CLICK", "rightClick"},
                        {"MIDDLE_CLICK", "middleClick"}})
        vm.addStaticValue(mouseEvent, QString::fromLatin1(k), Value(QString::fromLatin1(v)));
    Class* keyEvent = vm.defineNativeClass(events, QStringLiteral("KeyboardEvent"), ev, allocNode);
    keyEvent->iinit.native = keyboardEventCtor;
    vm.addStaticValue(keyEvent, QStringLiteral("KEY_DOWN"), Value(QStringLiteral("keyDown")));
    vm.addStaticValue(keyEvent, QStringLiteral("KEY_UP"), Value(QStringLiteral("keyUp")));
    vm.defineGlobal(QStringLiteral("flash.system"), QStringLiteral("fscommand"),
                    Value(static_cast<Object*>(
                        vm.makeNative(QStringLiteral("fscommand"), fscommandNative, 2))));
    installGraphics(vm);
}

} // namespace swf::avm2
