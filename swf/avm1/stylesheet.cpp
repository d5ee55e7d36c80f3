// TextField.StyleSheet: named styles (objects of CSS properties in their ActionScript spelling)
// read from CSS text, set one by one or loaded from a file beside the movie. Reading CSS and
// what a style does to text are the engine's (swf/stylesheet.h), shared with ActionScript 3;
// textfield.cpp applies a sheet to a field's htmlText.

#include "swf/avm1/stylesheet.h"

#include "swf/avm1/loading.h"

namespace swf::avm1 {

namespace {

// The sheet's table of styles by lower-case name, kept on the sheet where scripts do not see it.
const QString kTable = QStringLiteral("\x01styles");

Value arg(std::span<const Value> a, std::size_t i) {
    return i < a.size() ? a[i] : Value();
}

Object* tableOf(VM& vm, const Value& self, bool make) {
    Object* o = self.asObject();
    if (!o)
        return nullptr;
    if (const Object::Slot* s = o->find(vm.key(kTable)); s && s->value.asObject())
        return s->value.asObject();
    if (!make)
        return nullptr;
    Object* table = vm.newObject();
    vm.define(o, kTable, Value(table), DontEnum);
    return table;
}

// A copy of an object's own properties: a sheet never shares its styles.
Object* copyStyle(VM& vm, Object* from) {
    Object* to = vm.newObject();
    if (from)
        for (const Object::Slot& s : from->properties())
            if (!(s.flags & DontEnum) && !s.getter)
                vm.setMember(Value(to), s.name, s.value);
    return to;
}

CssStyle cssStyleOf(VM& vm, Object* style) {
    CssStyle out;
    if (style)
        for (const Object::Slot& s : style->properties())
            if (!(s.flags & DontEnum) && !s.getter && !s.value.isNullish())
                out[cssPropertyName(s.name)] = vm.toString(s.value);
    return out;
}

bool parseInto(VM& vm, const Value& self, const QString& css) {
    Object* table = tableOf(vm, self, true);
    if (!table)
        return false;
    bool ok = true;
    for (const CssRule& rule : parseCssRules(css, &ok)) {
        Value existing = vm.getMember(Value(table), rule.selector);
        Object* style = existing.asObject();
        if (!style) {
            style = vm.newObject();
            vm.setMember(Value(table), rule.selector, Value(style));
        }
        for (const auto& [name, value] : rule.properties)
            vm.setMember(Value(style), name, Value(value));
    }
    return ok;
}

} // namespace

std::optional<StyleSheet> styleSheetOf(VM& vm, const Value& sheet) {
    Object* table = tableOf(vm, sheet, false);
    if (!table) {
        Object* o = sheet.asObject();
        if (!o || !o->find(vm.key(kTable)))
            return std::nullopt;
        return StyleSheet{};
    }
    StyleSheet out;
    for (const Object::Slot& s : table->properties())
        if (Object* style = s.value.asObject())
            out.setStyle(s.name, cssStyleOf(vm, style));
    return out;
}

void installStyleSheet(VM& vm, const std::function<Value(const TextFormatData&)>& newFormat) {
    Object* proto = vm.newObject();
    Object* ctor = vm.newFunction(
        [](VM& vm, Value self, std::span<const Value>) {
            tableOf(vm, self, true);
            return Value();
        },
        proto);
    const Value textField = vm.getMember(Value(vm.global()), QStringLiteral("TextField"));
    if (Object* tf = textField.asObject())
        vm.define(tf, QStringLiteral("StyleSheet"), Value(ctor));

    vm.defineMethod(proto, QStringLiteral("parseCSS"),
                    [](VM& vm, Value self, std::span<const Value> a) {
                        return Value(parseInto(vm, self, vm.toString(arg(a, 0))));
                    });
    vm.defineMethod(
        proto, QStringLiteral("getStyle"), [](VM& vm, Value self, std::span<const Value> a) {
            Object* table = tableOf(vm, self, false);
            const Value v =
                table ? vm.getMember(Value(table), vm.toString(arg(a, 0)).toLower()) : Value();
            return v.asObject() ? Value(copyStyle(vm, v.asObject())) : Value::null();
        });
    vm.defineMethod(proto, QStringLiteral("setStyle"),
                    [](VM& vm, Value self, std::span<const Value> a) {
                        Object* table = tableOf(vm, self, true);
                        if (!table)
                            return Value();
                        const QString name = vm.toString(arg(a, 0)).toLower();
                        if (Object* style = arg(a, 1).asObject())
                            vm.setMember(Value(table), name, Value(copyStyle(vm, style)));
                        else
                            table->remove(vm.key(name));
                        return Value();
                    });
    vm.defineMethod(proto, QStringLiteral("clear"), [](VM& vm, Value self, std::span<const Value>) {
        if (Object* o = self.asObject())
            vm.define(o, kTable, Value(vm.newObject()), DontEnum);
        return Value();
    });
    vm.defineMethod(proto, QStringLiteral("getStyleNames"),
                    [](VM& vm, Value self, std::span<const Value>) {
                        std::vector<Value> names;
                        if (Object* table = tableOf(vm, self, false))
                            for (const Object::Slot& s : table->properties())
                                if (s.value.asObject())
                                    names.emplace_back(s.name);
                        return Value(vm.newArray(std::move(names)));
                    });
    vm.defineMethod(proto, QStringLiteral("transform"),
                    [newFormat](VM& vm, Value, std::span<const Value> a) {
                        Object* style = arg(a, 0).asObject();
                        if (!style)
                            return Value::null();
                        return newFormat(formatOfStyle(cssStyleOf(vm, style)));
                    });
    // load(url): a CSS file in the movie's folder or below, read now (a refusal prints its
    // line), parsed and announced to onLoad(success) on the next step.
    vm.defineMethod(
        proto, QStringLiteral("load"), [](VM& vm, Value self, std::span<const Value> a) {
            Object* o = self.asObject();
            if (!o)
                return Value(false);
            const std::optional<QByteArray> bytes =
                vm.files().read(QStringLiteral("StyleSheet.load of"), vm.toString(arg(a, 0)));
            vm.files().later(o, [&vm, o, bytes] {
                bool ok = false;
                if (bytes)
                    ok = parseInto(vm, Value(o), files::decodeText(*bytes, false, false));
                vm.setMember(Value(o), QStringLiteral("loaded"), Value(ok));
                const Value success(ok);
                vm.callFromHost(vm.getMember(Value(o), QStringLiteral("onLoad")), Value(o),
                                std::span<const Value>(&success, 1));
            });
            return Value(bytes.has_value());
        });
}

} // namespace swf::avm1
