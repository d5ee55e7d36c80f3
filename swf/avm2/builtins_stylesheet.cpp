// flash.text.StyleSheet and TextField.styleSheet. A style sheet keeps named styles (plain
// objects of CSS properties in their ActionScript spelling: fontSize for font-size), read from
// CSS text or set one by one; `transform` turns a style into a TextFormat. Names are kept in
// lower case, as CSS selectors are matched without regard to case. The CSS reading and what a
// style does to text are the engine's (swf/stylesheet.h), shared with ActionScript 2: a field
// given a sheet lays its htmlText out with it, again each time the sheet is set.

#include "swf/avm2/display.h"

namespace swf::avm2 {

namespace {

const QString kStylesKey = QStringLiteral("styleSheet");

DisplayNode* sheetNode(VM& vm, const Value& self) {
    Object* o = self.object();
    if (!o || o->kind != ObjectKind::DisplayObject)
        vm.throwTypeError(1004, QStringLiteral("Method was invoked on an incompatible object."));
    return static_cast<DisplayNode*>(o);
}

// The sheet's table of styles, by lower-case name (made on first use).
Object* styles(VM& vm, const Value& self) {
    DisplayNode* n = sheetNode(vm, self);
    if (!n->held.object())
        n->held = Value(vm.newObject());
    return n->held.object();
}

// A copy of a style object's own dynamic properties: a sheet never shares its styles.
Object* copyStyle(VM& vm, Object* from) {
    Object* to = vm.newObject();
    if (from)
        for (const Object::DynProp& p : from->dyn)
            if (p.live && p.enumerable)
                to->setDynamic(p.name, p.value);
    return to;
}

Value getStyle(VM& vm, const Value& self, std::span<const Value> a) {
    const Value* v = styles(vm, self)->getDynamic(vm.toString(arg(a, 0)).toLower());
    return v && v->object() ? Value(copyStyle(vm, v->object())) : Value::null();
}

Value setStyle(VM& vm, const Value& self, std::span<const Value> a) {
    Object* table = styles(vm, self);
    const QString name = vm.toString(arg(a, 0)).toLower();
    if (Object* style = arg(a, 1).object())
        table->setDynamic(name, Value(copyStyle(vm, style)));
    else
        table->deleteDynamic(name);
    return Value();
}

Value clearStyles(VM& vm, const Value& self, std::span<const Value>) {
    sheetNode(vm, self)->held = Value(vm.newObject());
    return Value();
}

Value styleNames(VM& vm, const Value& self, std::span<const Value>) {
    std::vector<Value> names;
    for (const Object::DynProp& p : styles(vm, self)->dyn)
        if (p.live)
            names.emplace_back(p.name);
    return Value(static_cast<Object*>(vm.newArray(std::move(names))));
}

// Rules add to what the sheet holds: a style named again keeps its other properties.
Value parseCss(VM& vm, const Value& self, std::span<const Value> a) {
    Object* table = styles(vm, self);
    for (const CssRule& rule : parseCssRules(vm.toString(arg(a, 0)))) {
        const QString& name = rule.selector;
        const CssStyle& props = rule.properties;
        const Value* existing = table->getDynamic(name);
        Object* style = existing && existing->object() ? existing->object() : nullptr;
        if (!style) {
            style = vm.newObject();
            table->setDynamic(name, Value(style));
        }
        for (const auto& [prop, value] : props)
            style->setDynamic(prop, Value(value));
    }
    return Value();
}

// A style object's properties as text, by their script names.
CssStyle cssStyleOf(VM& vm, Object* style) {
    CssStyle out;
    if (style)
        for (const Object::DynProp& p : style->dyn)
            if (p.live && !p.value.isNullish())
                out[cssPropertyName(p.name)] = vm.toString(p.value);
    return out;
}

Value transformStyle(VM& vm, const Value&, std::span<const Value> a) {
    Object* style = arg(a, 0).object();
    if (!style)
        return Value::null();
    return formatObject(vm, formatOfStyle(cssStyleOf(vm, style)));
}

Value getFieldSheet(VM&, const Value& self, std::span<const Value>) {
    Object* o = self.object();
    const Value* v = o ? o->getDynamic(kStylesKey) : nullptr;
    return v ? *v : Value::null();
}

Value setFieldSheet(VM& vm, const Value& self, std::span<const Value> a) {
    Object* o = self.object();
    const Value sheet = arg(a, 0);
    if (Object* s = sheet.object();
        s && !vm.isType(sheet, classNamed(vm, "flash.text::StyleSheet")))
        vm.throwTypeError(1034, QStringLiteral("Type Coercion failed: cannot convert %1 to "
                                               "flash.text.StyleSheet.")
                                    .arg(vm.toString(sheet)));
    if (o) {
        o->setDynamic(kStylesKey, sheet.object() ? sheet : Value::null());
        o->dyn[std::size_t(o->dynIndex.value(kStylesKey))].enumerable = false;
        if (o->kind == ObjectKind::DisplayObject)
            restyleTextField(vm, static_cast<DisplayNode*>(o));
    }
    return Value();
}

} // namespace

std::optional<StyleSheet> fieldStyleSheet(VM& vm, Object* field) {
    const Value* v = field ? field->getDynamic(kStylesKey) : nullptr;
    Object* sheet = v ? v->object() : nullptr;
    if (!sheet || sheet->kind != ObjectKind::DisplayObject)
        return std::nullopt;
    StyleSheet out;
    if (Object* table = static_cast<DisplayNode*>(sheet)->held.object())
        for (const Object::DynProp& p : table->dyn)
            if (p.live && p.value.object())
                out.setStyle(p.name, cssStyleOf(vm, p.value.object()));
    return out;
}

void installStyleSheet(VM& vm) {
    Class* sheet = vm.defineNativeClass(QStringLiteral("flash.text"), QStringLiteral("StyleSheet"),
                                        vm.eventDispatcherClass, allocDisplayNode);
    for (auto [n, f] : {std::pair<const char*, NativeFn>{"getStyle", getStyle},
                        {"setStyle", setStyle},
                        {"clear", clearStyles},
                        {"parseCSS", parseCss},
                        {"transform", transformStyle}}) {
        vm.addMethod(sheet, QString::fromLatin1(n), f);
        Binding* b = sheet->instanceTraits.find(QString::fromLatin1(n), vm.as3Ns());
        sheet->instanceTraits.add(QString::fromLatin1(n), vm.publicNs(), *b);
    }
    vm.addGetter(sheet, QStringLiteral("styleNames"), styleNames);
    for (Class* c : definedClassesBelow(vm, "flash.text::TextField"))
        vm.addGetter(c, kStylesKey, getFieldSheet, setFieldSheet);
}

} // namespace swf::avm2
