// The part of flash.events and flash.display that a document class needs to be constructed
// and live on the stage: event dispatch, the display tree, MovieClip's timeline calls.

#include "swf/avm2/display.h"

#include <algorithm>

namespace swf::avm2 {

void DisplayNode::traceChildren(std::vector<Object*>& out) {
    Object::traceChildren(out);
    for (auto& [type, list] : listeners)
        for (const Listener& l : list)
            if (l.fn.tag == Value::Tag::Object)
                out.push_back(l.fn.o);
    if (parent)
        out.push_back(parent);
    for (DisplayNode* c : children)
        out.push_back(c);
    for (auto& [frame, fn] : frameScripts)
        if (fn.tag == Value::Tag::Object)
            out.push_back(fn.o);
    for (const Value* v : {&eventTarget, &eventCurrentTarget})
        if (v->tag == Value::Tag::Object)
            out.push_back(v->o);
}

namespace {

DisplayNode* node(VM& vm, const Value& self) {
    Object* o = self.object();
    if (!o || o->kind != ObjectKind::DisplayObject)
        vm.throwTypeError(1004, QStringLiteral("Method was invoked on an incompatible object."));
    return static_cast<DisplayNode*>(o);
}

Object* allocNode(VM& vm, Class* c) {
    return vm.make<DisplayNode>(c);
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

// --- DisplayObject and containers ---

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
    return n->parent ? Value(static_cast<Object*>(n)) : Value::null();
}

#define NODE_PROPERTY(field, getterName, setterName, conv)                                         \
    Value getterName(VM& vm, const Value& self, std::span<const Value>) {                          \
        return Value::number(node(vm, self)->field);                                               \
    }                                                                                              \
    Value setterName(VM& vm, const Value& self, std::span<const Value> args) {                     \
        node(vm, self)->field = conv(arg(args, 0));                                                \
        return Value();                                                                            \
    }
#define TO_NUMBER(v) vm.toNumber(v)
NODE_PROPERTY(x, getX, setX, TO_NUMBER)
NODE_PROPERTY(y, getY, setY, TO_NUMBER)
NODE_PROPERTY(scaleX, getScaleX, setScaleX, TO_NUMBER)
NODE_PROPERTY(scaleY, getScaleY, setScaleY, TO_NUMBER)
NODE_PROPERTY(rotation, getRotation, setRotation, TO_NUMBER)
NODE_PROPERTY(alpha, getAlpha, setAlpha, TO_NUMBER)
#undef NODE_PROPERTY
#undef TO_NUMBER

Value getVisible(VM& vm, const Value& self, std::span<const Value>) {
    return Value(node(vm, self)->visible);
}
Value setVisible(VM& vm, const Value& self, std::span<const Value> args) {
    node(vm, self)->visible = VM::toBoolean(arg(args, 0));
    return Value();
}
Value getName(VM& vm, const Value& self, std::span<const Value>) {
    return Value(node(vm, self)->name);
}
Value setName(VM& vm, const Value& self, std::span<const Value> args) {
    node(vm, self)->name = vm.toString(arg(args, 0));
    return Value();
}
Value getZero(VM&, const Value&, std::span<const Value>) {
    return Value(std::int32_t(0));
}
Value ignoreSet(VM&, const Value&, std::span<const Value>) {
    return Value();
}

bool onStage(DisplayNode* n) {
    while (n->parent)
        n = n->parent;
    return n->isStage;
}

void broadcastStage(VM& vm, DisplayNode* n, const QString& type) {
    dispatchSimple(vm, n, type, false);
    const std::vector<DisplayNode*> kids = n->children;
    for (DisplayNode* c : kids)
        broadcastStage(vm, c, type);
}

void detach(VM& vm, DisplayNode* child) {
    DisplayNode* p = child->parent;
    if (!p)
        return;
    dispatchSimple(vm, child, QStringLiteral("removed"), true);
    if (onStage(child))
        broadcastStage(vm, child, QStringLiteral("removedFromStage"));
    std::erase(p->children, child);
    child->parent = nullptr;
}

Value addChildAt(VM& vm, DisplayNode* p, const Value& cv, std::size_t index) {
    Object* co = cv.object();
    if (!co || co->kind != ObjectKind::DisplayObject)
        vm.throwTypeError(2007, QStringLiteral("Parameter child must be non-null."));
    auto* c = static_cast<DisplayNode*>(co);
    for (DisplayNode* a = p; a; a = a->parent)
        if (a == c)
            vm.throwError("ArgumentError", 2150,
                          QStringLiteral("An object cannot be added as a child to one of it's "
                                         "children (or children's children, etc.)."));
    if (c->parent == p)
        std::erase(p->children, c);
    else
        detach(vm, c);
    index = std::min(index, p->children.size());
    p->children.insert(p->children.begin() + std::ptrdiff_t(index), c);
    c->parent = p;
    dispatchSimple(vm, c, QStringLiteral("added"), true);
    if (onStage(p))
        broadcastStage(vm, c, QStringLiteral("addedToStage"));
    return cv;
}

Value addChild(VM& vm, const Value& self, std::span<const Value> args) {
    DisplayNode* p = node(vm, self);
    return addChildAt(vm, p, arg(args, 0), p->children.size());
}
Value addChildAtNative(VM& vm, const Value& self, std::span<const Value> args) {
    DisplayNode* p = node(vm, self);
    const std::int32_t i = vm.toInt32(arg(args, 1));
    if (i < 0 || std::size_t(i) > p->children.size())
        vm.throwRangeError(2006, QStringLiteral("The supplied index is out of bounds."));
    return addChildAt(vm, p, arg(args, 0), std::size_t(i));
}
Value removeChild(VM& vm, const Value& self, std::span<const Value> args) {
    DisplayNode* p = node(vm, self);
    Object* co = arg(args, 0).object();
    auto* c = co && co->kind == ObjectKind::DisplayObject ? static_cast<DisplayNode*>(co) : nullptr;
    if (!c || c->parent != p)
        vm.throwError("ArgumentError", 2025,
                      QStringLiteral("The supplied DisplayObject must be a child of the caller."));
    detach(vm, c);
    return arg(args, 0);
}
Value removeChildAt(VM& vm, const Value& self, std::span<const Value> args) {
    DisplayNode* p = node(vm, self);
    const std::int32_t i = vm.toInt32(arg(args, 0));
    if (i < 0 || std::size_t(i) >= p->children.size())
        vm.throwRangeError(2006, QStringLiteral("The supplied index is out of bounds."));
    DisplayNode* c = p->children[std::size_t(i)];
    detach(vm, c);
    return Value(static_cast<Object*>(c));
}
Value getChildAt(VM& vm, const Value& self, std::span<const Value> args) {
    DisplayNode* p = node(vm, self);
    const std::int32_t i = vm.toInt32(arg(args, 0));
    if (i < 0 || std::size_t(i) >= p->children.size())
        vm.throwRangeError(2006, QStringLiteral("The supplied index is out of bounds."));
    return Value(static_cast<Object*>(p->children[std::size_t(i)]));
}
Value getChildIndex(VM& vm, const Value& self, std::span<const Value> args) {
    DisplayNode* p = node(vm, self);
    Object* c = arg(args, 0).object();
    for (std::size_t i = 0; i < p->children.size(); ++i)
        if (p->children[i] == c)
            return Value(std::int32_t(i));
    vm.throwError("ArgumentError", 2025,
                  QStringLiteral("The supplied DisplayObject must be a child of the caller."));
}
Value getChildByName(VM& vm, const Value& self, std::span<const Value> args) {
    DisplayNode* p = node(vm, self);
    const QString name = vm.toString(arg(args, 0));
    for (DisplayNode* c : p->children)
        if (c->name == name)
            return Value(static_cast<Object*>(c));
    return Value::null();
}
Value numChildren(VM& vm, const Value& self, std::span<const Value>) {
    return Value(std::int32_t(node(vm, self)->children.size()));
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

// --- MovieClip ---

Value mcStop(VM& vm, const Value& self, std::span<const Value>) {
    node(vm, self)->playing = false;
    return Value();
}
Value mcPlay(VM& vm, const Value& self, std::span<const Value>) {
    node(vm, self)->playing = true;
    return Value();
}
void gotoFrame(VM& vm, DisplayNode* n, const Value& frame, bool play) {
    std::int32_t f = vm.toInt32(frame);
    f = std::clamp(f, 1, std::max(1, n->totalFrames));
    n->currentFrame = f;
    n->playing = play;
    n->pendingFrameScript = true;
}
Value mcGotoAndStop(VM& vm, const Value& self, std::span<const Value> args) {
    gotoFrame(vm, node(vm, self), arg(args, 0), false);
    return Value();
}
Value mcGotoAndPlay(VM& vm, const Value& self, std::span<const Value> args) {
    gotoFrame(vm, node(vm, self), arg(args, 0), true);
    return Value();
}
Value mcNextFrame(VM& vm, const Value& self, std::span<const Value>) {
    DisplayNode* n = node(vm, self);
    gotoFrame(vm, n, Value(n->currentFrame + 1), false);
    return Value();
}
Value mcPrevFrame(VM& vm, const Value& self, std::span<const Value>) {
    DisplayNode* n = node(vm, self);
    gotoFrame(vm, n, Value(n->currentFrame - 1), false);
    return Value();
}
Value mcCurrentFrame(VM& vm, const Value& self, std::span<const Value>) {
    return Value(std::int32_t(node(vm, self)->currentFrame));
}
Value mcTotalFrames(VM& vm, const Value& self, std::span<const Value>) {
    return Value(std::int32_t(node(vm, self)->totalFrames));
}
Value mcAddFrameScript(VM& vm, const Value& self, std::span<const Value> args) {
    DisplayNode* n = node(vm, self);
    for (std::size_t i = 0; i + 1 < args.size(); i += 2) {
        const std::int32_t f = vm.toInt32(args[i]);
        if (args[i + 1].object())
            n->frameScripts[f] = args[i + 1];
        else
            n->frameScripts.erase(f);
    }
    return Value();
}

Value stageWidth(VM& vm, const Value& self, std::span<const Value>) {
    (void)self;
    return Value(std::int32_t(vm.stageWidth));
}
Value stageHeight(VM& vm, const Value& self, std::span<const Value>) {
    (void)self;
    return Value(std::int32_t(vm.stageHeight));
}
Value stageFrameRate(VM& vm, const Value&, std::span<const Value>) {
    return Value::number(vm.frameRate);
}

} // namespace

bool dispatchEvent(VM& vm, DisplayNode* target, const Value& event) {
    Object* eo = event.object();
    if (!eo || eo->kind != ObjectKind::DisplayObject)
        vm.throwTypeError(2007, QStringLiteral("Parameter event must be non-null."));
    auto* e = static_cast<DisplayNode*>(eo);
    e->eventTarget = Value(static_cast<Object*>(target));
    e->stopped = e->stoppedNow = false;
    std::vector<DisplayNode*> path;
    path.push_back(target);
    if (e->bubbles)
        for (DisplayNode* p = target->parent; p; p = p->parent)
            path.push_back(p);
    for (std::size_t i = 0; i < path.size() && !e->stopped; ++i) {
        DisplayNode* cur = path[i];
        e->phase = i == 0 ? 2 : 3;
        e->eventCurrentTarget = Value(static_cast<Object*>(cur));
        auto it = cur->listeners.find(e->eventType);
        if (it == cur->listeners.end())
            continue;
        const std::vector<DisplayNode::Listener> list = it->second;
        for (const auto& l : list) {
            if (l.capture)
                continue;
            const Value a[] = {event};
            vm.call(l.fn, Value::null(), a);
            if (e->stoppedNow)
                break;
        }
    }
    e->eventCurrentTarget = Value::null();
    return !e->defaultPrevented;
}

void dispatchSimple(VM& vm, DisplayNode* target, const QString& type, bool bubbles) {
    // Only build an event when someone on the path listens.
    bool any = false;
    for (DisplayNode* n = target; n && !any; n = bubbles ? n->parent : nullptr)
        any = n->listeners.count(type) && !n->listeners[type].empty();
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
    vm.addMethod(ed, QStringLiteral("addEventListener"), addEventListener);
    vm.addMethod(ed, QStringLiteral("removeEventListener"), removeEventListener);
    vm.addMethod(ed, QStringLiteral("hasEventListener"), hasEventListener);
    vm.addMethod(ed, QStringLiteral("willTrigger"), willTrigger);
    vm.addMethod(ed, QStringLiteral("dispatchEvent"), dispatchEventNative);
    // Public names too: subclasses call them unqualified.
    for (const char* n : {"addEventListener", "removeEventListener", "hasEventListener",
                          "willTrigger", "dispatchEvent"}) {
        Binding* b = ed->instanceTraits.find(QString::fromLatin1(n), vm.as3Ns());
        ed->instanceTraits.add(QString::fromLatin1(n), vm.publicNs(), *b);
    }

    Class* ev = vm.defineNativeClass(events, QStringLiteral("Event"), vm.objectClass, allocNode);
    vm.eventClass = ev;
    ev->iinit.native = eventCtor;
    vm.addGetter(ev, QStringLiteral("type"), eventType);
    vm.addGetter(ev, QStringLiteral("bubbles"), eventBubbles);
    vm.addGetter(ev, QStringLiteral("cancelable"), eventCancelable);
    vm.addGetter(ev, QStringLiteral("target"), eventTarget);
    vm.addGetter(ev, QStringLiteral("currentTarget"), eventCurrentTarget);
    vm.addGetter(ev, QStringLiteral("eventPhase"), eventPhase);
    for (auto [n, f] :
         {std::pair<const char*, NativeFn>{"stopPropagation", eventStop},
          std::pair<const char*, NativeFn>{"stopImmediatePropagation", eventStopNow},
          std::pair<const char*, NativeFn>{"preventDefault", eventPreventDefault},
          std::pair<const char*, NativeFn>{"isDefaultPrevented", eventIsDefaultPrevented},
          std::pair<const char*, NativeFn>{"clone", eventClone},
          std::pair<const char*, NativeFn>{"toString", eventToString}}) {
        vm.addMethod(ev, QString::fromLatin1(n), f);
        Binding* b = ev->instanceTraits.find(QString::fromLatin1(n), vm.as3Ns());
        ev->instanceTraits.add(QString::fromLatin1(n), vm.publicNs(), *b);
    }
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

    Class* dobj = vm.defineNativeClass(display, QStringLiteral("DisplayObject"), ed, allocNode);
    vm.displayObjectClass = dobj;
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
    vm.addGetter(dobj, QStringLiteral("width"), getZero, ignoreSet);
    vm.addGetter(dobj, QStringLiteral("height"), getZero, ignoreSet);
    vm.addGetter(dobj, QStringLiteral("mouseX"), getZero);
    vm.addGetter(dobj, QStringLiteral("mouseY"), getZero);
    Class* io = vm.defineNativeClass(display, QStringLiteral("InteractiveObject"), dobj, allocNode);
    Class* cont =
        vm.defineNativeClass(display, QStringLiteral("DisplayObjectContainer"), io, allocNode);
    for (auto [n, f] : {std::pair<const char*, NativeFn>{"addChild", addChild},
                        std::pair<const char*, NativeFn>{"addChildAt", addChildAtNative},
                        std::pair<const char*, NativeFn>{"removeChild", removeChild},
                        std::pair<const char*, NativeFn>{"removeChildAt", removeChildAt},
                        std::pair<const char*, NativeFn>{"getChildAt", getChildAt},
                        std::pair<const char*, NativeFn>{"getChildIndex", getChildIndex},
                        std::pair<const char*, NativeFn>{"getChildByName", getChildByName},
                        std::pair<const char*, NativeFn>{"contains", containsNative}}) {
        vm.addMethod(cont, QString::fromLatin1(n), f);
        Binding* b = cont->instanceTraits.find(QString::fromLatin1(n), vm.as3Ns());
        cont->instanceTraits.add(QString::fromLatin1(n), vm.publicNs(), *b);
    }
    vm.addGetter(cont, QStringLiteral("numChildren"), numChildren);
    Class* sprite = vm.defineNativeClass(display, QStringLiteral("Sprite"), cont, allocNode);
    vm.spriteClass = sprite;
    Class* mc = vm.defineNativeClass(display, QStringLiteral("MovieClip"), sprite, allocNode);
    mc->isSealed = false;
    vm.movieClipClass = mc;
    for (auto [n, f] : {std::pair<const char*, NativeFn>{"stop", mcStop},
                        std::pair<const char*, NativeFn>{"play", mcPlay},
                        std::pair<const char*, NativeFn>{"gotoAndStop", mcGotoAndStop},
                        std::pair<const char*, NativeFn>{"gotoAndPlay", mcGotoAndPlay},
                        std::pair<const char*, NativeFn>{"nextFrame", mcNextFrame},
                        std::pair<const char*, NativeFn>{"prevFrame", mcPrevFrame},
                        std::pair<const char*, NativeFn>{"addFrameScript", mcAddFrameScript}}) {
        vm.addMethod(mc, QString::fromLatin1(n), f);
        Binding* b = mc->instanceTraits.find(QString::fromLatin1(n), vm.as3Ns());
        mc->instanceTraits.add(QString::fromLatin1(n), vm.publicNs(), *b);
    }
    vm.addGetter(mc, QStringLiteral("currentFrame"), mcCurrentFrame);
    vm.addGetter(mc, QStringLiteral("totalFrames"), mcTotalFrames);
    Class* stage = vm.defineNativeClass(display, QStringLiteral("Stage"), cont, allocNode);
    vm.stageClass = stage;
    vm.addGetter(stage, QStringLiteral("stageWidth"), stageWidth, ignoreSet);
    vm.addGetter(stage, QStringLiteral("stageHeight"), stageHeight, ignoreSet);
    vm.addGetter(stage, QStringLiteral("frameRate"), stageFrameRate, ignoreSet);
    vm.addGetter(
        stage, QStringLiteral("scaleMode"),
        [](VM&, const Value&, std::span<const Value>) { return Value(QStringLiteral("showAll")); },
        ignoreSet);
    vm.addGetter(
        stage, QStringLiteral("align"),
        [](VM&, const Value&, std::span<const Value>) { return Value(QString()); }, ignoreSet);
}

} // namespace swf::avm2
