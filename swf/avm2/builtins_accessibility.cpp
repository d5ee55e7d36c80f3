// flash.accessibility: AccessibilityProperties, the description an author gives a display
// object for screen readers, and Accessibility, the link to them. This player talks to no
// screen reader, so Accessibility.active is false and its calls do nothing; the properties are
// still kept on the object, as movies read back what they set.

#include "swf/avm2/display.h"

namespace swf::avm2 {

namespace {

class AccessibilityProps : public Object {
public:
    explicit AccessibilityProps(Class* c) : Object(c) {}
    // name, description, shortcut: String (null allowed); silent, forceSimple, noAutoLabeling.
    Value text[3] = {Value(QString()), Value(QString()), Value(QString())};
    bool flag[3] = {false, false, false};
};

AccessibilityProps* props(VM& vm, const Value& v) {
    auto* p = dynamic_cast<AccessibilityProps*>(v.object());
    if (!p)
        vm.throwTypeError(1034, QStringLiteral("Type Coercion failed: cannot convert %1 to "
                                               "flash.accessibility.AccessibilityProperties.")
                                    .arg(vm.describe(v)));
    return p;
}

template <int I> Value getText(VM& vm, const Value& s, std::span<const Value>) {
    return props(vm, s)->text[I];
}
// A String property: null and undefined are stored as null, anything else as its text.
template <int I> Value setText(VM& vm, const Value& s, std::span<const Value> a) {
    const Value& v = arg(a, 0);
    props(vm, s)->text[I] = v.isNull() || v.isUndefined() ? Value::null() : Value(vm.toString(v));
    return Value();
}
template <int I> Value getFlag(VM& vm, const Value& s, std::span<const Value>) {
    return Value(props(vm, s)->flag[I]);
}
template <int I> Value setFlag(VM& vm, const Value& s, std::span<const Value> a) {
    props(vm, s)->flag[I] = VM::toBoolean(arg(a, 0));
    return Value();
}

Object* allocProps(VM& vm, Class* c) {
    return vm.make<AccessibilityProps>(c);
}

DisplayNode* node(VM& vm, const Value& v) {
    Object* o = v.object();
    if (!o || o->kind != ObjectKind::DisplayObject)
        vm.throwTypeError(1004, QStringLiteral("Method was invoked on an incompatible object."));
    return static_cast<DisplayNode*>(o);
}

Value getProperties(VM& vm, const Value& s, std::span<const Value>) {
    const Value& v = node(vm, s)->accessibility;
    return v.isObject() ? v : Value::null();
}
Value setProperties(VM& vm, const Value& s, std::span<const Value> a) {
    DisplayNode* n = node(vm, s);
    const Value& v = arg(a, 0);
    if (v.isNull() || v.isUndefined()) {
        n->accessibility = Value();
        return Value();
    }
    props(vm, v); // the property is typed: anything else is a coercion error
    n->accessibility = v;
    return Value();
}

// InteractiveObject.accessibilityImplementation: the object a component gives a screen reader.
// With none to give it to, nothing is ever made here; what a script sets is kept.
Value getImplementation(VM& vm, const Value& s, std::span<const Value>) {
    const Value& v = node(vm, s)->accessibilityImplementation;
    return v.isObject() ? v : Value::null();
}
Value setImplementation(VM& vm, const Value& s, std::span<const Value> a) {
    const Value& v = arg(a, 0);
    node(vm, s)->accessibilityImplementation = v.isObject() ? v : Value();
    return Value();
}

Value accessibilityActive(VM&, const Value&, std::span<const Value>) {
    return Value(false);
}
Value nothing(VM&, const Value&, std::span<const Value>) {
    return Value();
}

} // namespace

void installAccessibility(VM& vm) {
    const QString package = QStringLiteral("flash.accessibility");
    Class* p = vm.defineNativeClass(package, QStringLiteral("AccessibilityProperties"),
                                    vm.objectClass, allocProps, true);
    vm.addGetter(p, QStringLiteral("name"), getText<0>, setText<0>);
    vm.addGetter(p, QStringLiteral("description"), getText<1>, setText<1>);
    vm.addGetter(p, QStringLiteral("shortcut"), getText<2>, setText<2>);
    vm.addGetter(p, QStringLiteral("silent"), getFlag<0>, setFlag<0>);
    vm.addGetter(p, QStringLiteral("forceSimple"), getFlag<1>, setFlag<1>);
    vm.addGetter(p, QStringLiteral("noAutoLabeling"), getFlag<2>, setFlag<2>);

    Class* a = vm.defineNativeClass(package, QStringLiteral("Accessibility"), vm.objectClass,
                                    nullptr, true);
    vm.addStaticGetter(a, QStringLiteral("active"), accessibilityActive);
    vm.addStatic(a, QStringLiteral("updateProperties"), nothing);
    vm.addStatic(a, QStringLiteral("sendEvent"), nothing, 3);

    for (Class* c : definedClassesBelow(vm, "flash.display::DisplayObject"))
        vm.addGetter(c, QStringLiteral("accessibilityProperties"), getProperties, setProperties);
    for (Class* c : definedClassesBelow(vm, "flash.display::InteractiveObject"))
        vm.addGetter(c, QStringLiteral("accessibilityImplementation"), getImplementation,
                     setImplementation);
}

} // namespace swf::avm2
