// What display objects say about the mouse beyond mouseEnabled and mouseChildren: double
// clicks, the hand cursor, a sprite's hit area and a text field's wheel. The runtime reads
// them when it dispatches mouse events (runtime.cpp) and picks the pointer.

#include "swf/avm2/display.h"

namespace swf::avm2 {

namespace {

DisplayNode* self(VM& vm, const Value& v) {
    Object* o = v.object();
    if (!o || o->kind != ObjectKind::DisplayObject)
        vm.throwTypeError(1004, QStringLiteral("Method was invoked on an incompatible object."));
    return static_cast<DisplayNode*>(o);
}

#define FLAG_PROPERTY(field)                                                                       \
    Value get_##field(VM& vm, const Value& s, std::span<const Value>) {                            \
        return Value(self(vm, s)->field);                                                          \
    }                                                                                              \
    Value set_##field(VM& vm, const Value& s, std::span<const Value> args) {                       \
        self(vm, s)->field = VM::toBoolean(arg(args, 0));                                          \
        return Value();                                                                            \
    }
FLAG_PROPERTY(doubleClickEnabled)
FLAG_PROPERTY(useHandCursor)
FLAG_PROPERTY(mouseWheelEnabled)
#undef FLAG_PROPERTY

Value getHitArea(VM& vm, const Value& s, std::span<const Value>) {
    DisplayNode* n = self(vm, s);
    return n->hitArea ? Value(static_cast<Object*>(n->hitArea)) : Value::null();
}

// Any Sprite may be the hit area (null: the sprite's own shape again).
Value setHitArea(VM& vm, const Value& s, std::span<const Value> args) {
    DisplayNode* n = self(vm, s);
    DisplayNode* area = nullptr;
    if (Object* o = arg(args, 0).object()) {
        if (o->kind != ObjectKind::DisplayObject || !o->cls->isSubclassOf(vm.spriteClass))
            vm.throwTypeError(1034, QStringLiteral("Type Coercion failed: cannot convert %1 to "
                                                   "flash.display.Sprite.")
                                        .arg(vm.toString(args[0])));
        area = static_cast<DisplayNode*>(o);
    }
    if (vm.displayTree)
        vm.displayTree->setHitArea(n, area);
    else
        n->hitArea = area;
    return Value();
}

} // namespace

Class* classNamed(VM& vm, const char* qualified) {
    Object* o = vm.lookupDefinition(QString::fromLatin1(qualified)).object();
    return o && o->kind == ObjectKind::Class ? static_cast<Class*>(o) : nullptr;
}

std::vector<Class*> definedClassesBelow(VM& vm, const char* base) {
    static const char* const known[] = {"flash.display::DisplayObject",
                                        "flash.display::InteractiveObject",
                                        "flash.display::DisplayObjectContainer",
                                        "flash.display::Sprite",
                                        "flash.display::MovieClip",
                                        "flash.display::Stage",
                                        "flash.display::SimpleButton",
                                        "flash.display::Loader",
                                        "flash.display::Shape",
                                        "flash.display::MorphShape",
                                        "flash.display::Bitmap",
                                        "flash.display::StaticText",
                                        "flash.media::Video",
                                        "flash.text::TextField"};
    std::vector<Class*> out;
    Class* b = classNamed(vm, base);
    for (const char* name : known)
        if (Class* c = classNamed(vm, name); c && b && c->isSubclassOf(b))
            out.push_back(c);
    return out;
}

void installMouse(VM& vm) {
    for (Class* c : definedClassesBelow(vm, "flash.display::InteractiveObject"))
        vm.addGetter(c, QStringLiteral("doubleClickEnabled"), get_doubleClickEnabled,
                     set_doubleClickEnabled);
    for (Class* c : definedClassesBelow(vm, "flash.display::Sprite")) {
        vm.addGetter(c, QStringLiteral("useHandCursor"), get_useHandCursor, set_useHandCursor);
        vm.addGetter(c, QStringLiteral("hitArea"), getHitArea, setHitArea);
    }
    for (Class* c : definedClassesBelow(vm, "flash.display::SimpleButton"))
        vm.addGetter(c, QStringLiteral("useHandCursor"), get_useHandCursor, set_useHandCursor);
    for (Class* c : definedClassesBelow(vm, "flash.text::TextField"))
        vm.addGetter(c, QStringLiteral("mouseWheelEnabled"), get_mouseWheelEnabled,
                     set_mouseWheelEnabled);
}

} // namespace swf::avm2
