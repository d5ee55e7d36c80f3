// flash.text.StyleSheet and TextField.styleSheet. A style sheet keeps named styles (plain
// objects of CSS properties in their ActionScript spelling: fontSize for font-size), read from
// CSS text or set one by one; `transform` turns a style into a TextFormat. Names are kept in
// lower case, as CSS selectors are matched without regard to case. A field keeps the sheet it
// is given for its scripts to read back; its HTML text is not yet laid out with the sheet.

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

// font-size -> fontSize.
QString camelCase(const QString& css) {
    QString out;
    bool upper = false;
    for (const QChar c : css) {
        if (c == u'-') {
            upper = !out.isEmpty();
            continue;
        }
        out += upper ? c.toUpper() : c;
        upper = false;
    }
    return out;
}

// Reads rules `a, b.c { name: value; ... }` into (selector, properties) pairs; comments are
// skipped, a rule without its closing brace ends the text, and a declaration without a colon
// is dropped. Values keep their text (quotes around a font name removed).
std::vector<std::pair<QString, std::vector<std::pair<QString, QString>>>>
parseCssRules(const QString& text) {
    QString css = text;
    for (qsizetype at = css.indexOf(QLatin1String("/*")); at >= 0;
         at = css.indexOf(QLatin1String("/*"), at)) {
        const qsizetype end = css.indexOf(QLatin1String("*/"), at + 2);
        css.remove(at, end < 0 ? css.size() - at : end + 2 - at);
    }
    std::vector<std::pair<QString, std::vector<std::pair<QString, QString>>>> rules;
    qsizetype pos = 0;
    while (pos < css.size()) {
        const qsizetype open = css.indexOf(u'{', pos);
        if (open < 0)
            break;
        const qsizetype close = css.indexOf(u'}', open + 1);
        if (close < 0)
            break;
        std::vector<std::pair<QString, QString>> props;
        for (const QString& decl : css.mid(open + 1, close - open - 1).split(u';')) {
            const qsizetype colon = decl.indexOf(u':');
            if (colon <= 0)
                continue;
            const QString name = decl.left(colon).trimmed();
            QString value = decl.mid(colon + 1).trimmed();
            if (value.size() >= 2 && (value.front() == u'"' || value.front() == u'\'') &&
                value.back() == value.front())
                value = value.mid(1, value.size() - 2);
            if (!name.isEmpty())
                props.emplace_back(camelCase(name), value);
        }
        for (const QString& sel : css.mid(pos, open - pos).split(u','))
            if (const QString s = sel.trimmed(); !s.isEmpty())
                rules.emplace_back(s, props);
        pos = close + 1;
    }
    return rules;
}

// Rules add to what the sheet holds: a style named again keeps its other properties.
Value parseCss(VM& vm, const Value& self, std::span<const Value> a) {
    Object* table = styles(vm, self);
    for (const auto& [selector, props] : parseCssRules(vm.toString(arg(a, 0)))) {
        const QString name = selector.toLower();
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

// A CSS colour: #rgb or #rrggbb (null when neither).
Value cssColor(QString v) {
    if (!v.startsWith(u'#'))
        return Value::null();
    v = v.mid(1);
    if (v.size() == 3)
        v = QString(v[0]) + v[0] + v[1] + v[1] + v[2] + v[2];
    bool ok = false;
    const std::uint32_t c = v.toUInt(&ok, 16);
    return ok && v.size() == 6 ? Value::fromUint(c) : Value::null();
}

// A length such as "12", "12px" or "12pt" as a number of pixels (null when it is none).
Value cssNumber(const QString& v) {
    QString s = v.trimmed();
    if (s.endsWith(QLatin1String("px")) || s.endsWith(QLatin1String("pt")))
        s.chop(2);
    bool ok = false;
    const double d = s.toDouble(&ok);
    return ok ? Value::number(d) : Value::null();
}

Value transformStyle(VM& vm, const Value&, std::span<const Value> a) {
    const Value format =
        vm.construct(vm.lookupDefinition(QStringLiteral("flash.text::TextFormat")), {});
    Object* style = arg(a, 0).object();
    if (!style)
        return Value::null();
    auto text = [&](const char* name) -> QString {
        const Value v = vm.getProperty(arg(a, 0), vm.publicName(QString::fromLatin1(name)));
        return v.isNullish() ? QString() : vm.toString(v).trimmed();
    };
    auto put = [&](const char* name, const Value& v) {
        if (!v.isNull())
            vm.setProperty(format, vm.publicName(QString::fromLatin1(name)), v);
    };
    if (const QString v = text("color"); !v.isEmpty())
        put("color", cssColor(v));
    if (const QString v = text("fontFamily"); !v.isEmpty())
        put("font", Value(v));
    if (const QString v = text("fontSize"); !v.isEmpty())
        put("size", cssNumber(v));
    if (const QString v = text("fontWeight"); !v.isEmpty())
        put("bold", Value(v.compare(QLatin1String("bold"), Qt::CaseInsensitive) == 0));
    if (const QString v = text("fontStyle"); !v.isEmpty())
        put("italic", Value(v.compare(QLatin1String("italic"), Qt::CaseInsensitive) == 0));
    if (const QString v = text("textDecoration"); !v.isEmpty())
        put("underline", Value(v.compare(QLatin1String("underline"), Qt::CaseInsensitive) == 0));
    if (const QString v = text("textAlign").toLower();
        v == QLatin1String("left") || v == QLatin1String("right") || v == QLatin1String("center") ||
        v == QLatin1String("justify"))
        put("align", Value(v));
    for (auto [css, member] : {std::pair<const char*, const char*>{"marginLeft", "leftMargin"},
                               {"marginRight", "rightMargin"},
                               {"textIndent", "indent"},
                               {"leading", "leading"},
                               {"letterSpacing", "letterSpacing"}})
        if (const QString v = text(css); !v.isEmpty())
            put(member, cssNumber(v));
    if (const QString v = text("kerning"); !v.isEmpty())
        put("kerning", Value(v.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0));
    return format;
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
    }
    return Value();
}

} // namespace

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
