// DisplayObject.filters, mask and scrollRect for ActionScript 3, on the player's own fields:
// the filters a script sets are drawn by the timeline's filter path, and a mask by the path of
// ActionScript 2's setMask, so the renderer and the change tracker see them as they see those.

#include "swf/avm2/filters.h"
#include "swf/avm2/geom.h"
#include "swf/avm2/media.h"
#include "swf/scriptfilters.h"

namespace swf::avm2 {

namespace {

const QString kFilters = QStringLiteral(" filters");
const QString kMask = QStringLiteral(" mask");

DisplayNode* displayNode(VM& vm, const Value& v) {
    Object* o = v.object();
    if (!o || o->kind != ObjectKind::DisplayObject || !static_cast<DisplayNode*>(o)->isDisplay)
        vm.throwTypeError(1004, QStringLiteral("Method was invoked on an incompatible object."));
    return static_cast<DisplayNode*>(o);
}

void setHidden(Object* o, const QString& name, const Value& v) {
    o->setDynamic(name, v);
    o->dyn.back().enumerable = false;
}

Value cloneOf(VM& vm, const Value& filter) {
    return vm.callProperty(filter, vm.publicName(QStringLiteral("clone")), {});
}

// A copy of the array last set, each filter a copy, as the Reference says; changing them
// changes nothing until they are set again.
Value getFilters(VM& vm, const Value& self, std::span<const Value>) {
    DisplayNode* n = displayNode(vm, self);
    std::vector<Value> items;
    if (const Value* kept = n->getDynamic(kFilters))
        if (auto* arr = dynamic_cast<Array*>(kept->object()))
            for (const Value& f : arr->items)
                items.push_back(cloneOf(vm, f));
    return Value(static_cast<Object*>(vm.newArray(std::move(items))));
}

Value setFilters(VM& vm, const Value& self, std::span<const Value> a) {
    DisplayNode* n = displayNode(vm, self);
    const Value v = arg(a, 0);
    auto list = std::make_shared<ScriptFilterList>();
    std::vector<Value> kept;
    if (!v.isNullish()) {
        auto* arr = dynamic_cast<Array*>(v.object());
        if (!arr)
            vm.throwTypeError(1034, QStringLiteral("Type Coercion failed: cannot convert %1 to "
                                                   "Array.")
                                        .arg(vm.describe(v)));
        // As many as a PlaceObject tag may hold.
        for (std::size_t i = 0; i < arr->items.size() && list->filters.size() < 255; ++i) {
            const Value item = arr->items[i];
            auto f = toFilter(vm, item);
            if (!f)
                vm.throwError("ArgumentError", 2005,
                              QStringLiteral("Parameter 0 is of the incorrect type. Should be "
                                             "type Filter."));
            list->filters.push_back(std::move(*f));
            kept.push_back(cloneOf(vm, item));
        }
    }
    swf::Placement& p = n->place();
    if (list->filters.empty()) {
        p.filters = nullptr;
        p.scriptFilters.reset();
    } else {
        p.filters = &list->filters;
        p.scriptFilters = std::move(list);
    }
    setHidden(n, kFilters, Value(static_cast<Object*>(vm.newArray(std::move(kept)))));
    return Value();
}

Value getMask(VM& vm, const Value& self, std::span<const Value>) {
    DisplayNode* n = displayNode(vm, self);
    // The player cuts the link when either object leaves its list.
    if (!n->obj || !n->obj->scriptMask() || !vm.displayTree)
        return Value::null();
    DisplayNode* m = vm.displayTree->nodeOf(n->obj->scriptMask());
    return m ? Value(static_cast<Object*>(m)) : Value::null();
}

Value setMask(VM& vm, const Value& self, std::span<const Value> a) {
    DisplayNode* n = displayNode(vm, self);
    DisplayNode* m = arg(a, 0).isNullish() ? nullptr : displayNode(vm, arg(a, 0));
    if (m == n)
        m = nullptr;
    // The document has no player object of its own to mask.
    if (!n->obj)
        return Value();
    PlayerScripting::setMask(*n->obj, m ? m->obj : nullptr);
    // Kept alive with the object it masks.
    setHidden(n, kMask, m ? Value(static_cast<Object*>(m)) : Value::null());
    return Value();
}

// The document has no player object to carry its window: the player draws it for the root.
void showRootWindow(VM& vm, DisplayNode* n) {
    DisplayTree* t = vm.displayTree;
    if (!t || n != t->root)
        return;
    if (n->spare.scrollRect)
        t->player.setRootWindow(Player::RootWindow{*n->spare.scrollRect, DisplayTree::kStageDepth});
    else
        t->player.setRootWindow(std::nullopt);
}

// A copy each time, as the Reference says: changing it changes nothing until it is set again.
Value getScrollRect(VM& vm, const Value& self, std::span<const Value>) {
    const swf::Placement& p = displayNode(vm, self)->place();
    if (!p.scrollRect)
        return Value::null();
    const QRectF& r = *p.scrollRect;
    return newRectangle(vm, QRectF(r.x() / 20, r.y() / 20, r.width() / 20, r.height() / 20));
}

Value setScrollRect(VM& vm, const Value& self, std::span<const Value> a) {
    DisplayNode* n = displayNode(vm, self);
    const Value v = arg(a, 0);
    if (v.isNullish()) {
        n->place().scrollRect.reset();
        showRootWindow(vm, n);
        return Value();
    }
    const auto r = toRectangle(vm, v);
    if (!r)
        vm.throwTypeError(1034, QStringLiteral("Type Coercion failed: cannot convert %1 to "
                                               "flash.geom.Rectangle.")
                                    .arg(vm.describe(v)));
    // Pixels to twips, kept within what a stage can show; a window of negative size shows
    // nothing.
    auto twips = [](double px) { return std::isfinite(px) ? std::clamp(px * 20, -1e9, 1e9) : 0.0; };
    n->place().scrollRect = QRectF(twips(r->x()), twips(r->y()), std::max(0.0, twips(r->width())),
                                   std::max(0.0, twips(r->height())));
    showRootWindow(vm, n);
    return Value();
}

} // namespace

bool maskAllows(DisplayTree& tree, const swf::DisplayObject& o, QPointF stagePoint) {
    const swf::DisplayObject* mask = o.scriptMask();
    if (!mask)
        return true;
    DisplayNode* m = tree.nodeOf(mask);
    if (!m)
        return true;
    bool ok = false;
    const QTransform back = tree.concatenated(m).inverted(&ok);
    return ok && tree.shapeContains(*mask, back.map(stagePoint), 0);
}

void installEffects(VM& vm, Class* displayObject) {
    vm.addGetter(displayObject, QStringLiteral("filters"), getFilters, setFilters);
    vm.addGetter(displayObject, QStringLiteral("mask"), getMask, setMask);
    vm.addGetter(displayObject, QStringLiteral("scrollRect"), getScrollRect, setScrollRect);
}

} // namespace swf::avm2
