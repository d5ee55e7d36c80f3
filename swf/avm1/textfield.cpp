// TextField: edit texts on stage as scripts see them, and the timeline variables they show.

#include "swf/avm1/stylesheet.h"
#include "swf/avm1/vm.h"
#include "swf/player.h"
#include "swf/textfields.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <type_traits>

namespace swf::avm1 {

namespace {

// Longer texts are cut: the field is laid out again whenever a script changes it.
constexpr qsizetype kMaxFieldText = 1 << 18;

const EditText* editText(const DisplayObject* d) {
    return d && d->character && d->character->type == CharacterType::EditText
               ? static_cast<const EditText*>(d->character)
               : nullptr;
}

// The timeline and the name a field's variable path ("score", "_root.a.score", "/a:score")
// addresses.
bool variableOf(VM& vm, const EditText& text, MovieClip* parent, MovieClip*& target,
                QString& name) {
    const QString& path = text.variableName;
    if (path.isEmpty() || !parent)
        return false;
    qsizetype cut = path.lastIndexOf(u':');
    if (cut < 0)
        cut = path.lastIndexOf(u'.');
    name = cut < 0 ? path : path.mid(cut + 1);
    target = cut < 0 ? parent : vm.resolveTarget(path.left(cut), parent);
    return target && !name.isEmpty();
}

// The field's yes-or-no properties and the definition flag each is (`inverted`: the flag says
// the opposite, as `noSelect` does of `selectable`).
struct FieldFlag {
    bool EditText::*member = nullptr;
    bool inverted = false;
};
FieldFlag fieldFlag(const QString& lowerName) {
    static const std::pair<const char*, FieldFlag> kFlags[] = {
        {"password", {&EditText::password}},     {"multiline", {&EditText::multiline}},
        {"wordwrap", {&EditText::wordWrap}},     {"selectable", {&EditText::noSelect, true}},
        {"border", {&EditText::border}},         {"background", {&EditText::background}},
        {"embedfonts", {&EditText::useOutlines}}};
    for (const auto& [name, flag] : kFlags)
        if (lowerName == QLatin1String(name))
            return flag;
    return {};
}

// ---- TextFormat ------------------------------------------------------------------------------

constexpr std::int32_t kDepthOffset = 16384; // script depth 0

TextFormatData formatFromObject(VM& vm, const Value& object) {
    TextFormatData t;
    if (!object.isObject())
        return t;
    eachTextFormatMember(t, [&](const char* name, auto& v) {
        const Value m = vm.getMember(object, QString::fromLatin1(name));
        if (m.isNullish())
            return;
        using V = std::decay_t<decltype(*v)>;
        if constexpr (std::is_same_v<V, QString>) {
            v = vm.toString(m);
        } else if constexpr (std::is_same_v<V, bool>) {
            v = vm.toBoolean(m);
        } else if constexpr (std::is_same_v<V, std::uint32_t>) {
            v = std::uint32_t(vm.toInt(m)) & 0xFFFFFFu;
        } else {
            const double n = vm.toNumber(m);
            if (std::isfinite(n))
                v = n;
        }
    });
    return t;
}

void formatToObject(VM& vm, Object* o, TextFormatData t) {
    eachTextFormatMember(t, [&](const char* name, auto& v) {
        using V = std::decay_t<decltype(*v)>;
        Value out = Value::null();
        if (v) {
            if constexpr (std::is_same_v<V, QString> || std::is_same_v<V, bool>)
                out = Value(*v);
            else
                out = Value(double(*v));
        }
        vm.setMember(Value(o), QString::fromLatin1(name), out);
    });
}

void showFormats(VM& vm, DisplayObject* d, const FieldFormats& f) {
    EditText* own = PlayerScripting::ownText(*d);
    if (!own)
        return;
    if (!own->html) {
        own->html = true;
        ++own->generation;
    }
    d->text = formatsToHtml(f);
    (void)vm;
}

QString plainOf(const EditText& e, const DisplayObject& d) {
    return e.html ? htmlToPlain(d.text) : d.text;
}

// The formats of a field, made from its definition on first use.
FieldFormats& formatsOf(VM& vm, DisplayObject* d, const EditText& e) {
    auto it = vm.fieldFormats.find(d);
    if (it != vm.fieldFormats.end())
        return *it;
    FieldFormats f;
    f.plain = plainOf(e, *d);
    f.newFormat = definitionFormat(e, d->textColor);
    f.chars.assign(std::size_t(f.plain.size()), f.newFormat);
    return *vm.fieldFormats.insert(d, std::move(f));
}

void setText(VM& vm, Object* o, const QString& text) {
    DisplayObject* d = o->field;
    const EditText* e = editText(d);
    if (!e)
        return;
    d->text = text.left(kMaxFieldText);
    // The bound variable follows the field.
    MovieClip* target = nullptr;
    QString name;
    if (variableOf(vm, *e, o->fieldParent, target, name))
        vm.setMember(Value(vm.clipObject(target)), name, Value(d->text));
}

// TextField.styleSheet: the sheet, the htmlText a script set and what the field showed for it,
// kept on the field's object where scripts do not see them.
const QString kSheet = QStringLiteral("\x01styleSheet");
const QString kSource = QStringLiteral("\x01sheetSource");
const QString kShown = QStringLiteral("\x01sheetShown");

Value hiddenOf(VM& vm, Object* o, const QString& name) {
    const Object::Slot* s = o->find(vm.key(name));
    return s ? s->value : Value();
}

// The htmlText a script set, while the field still shows it (any other change drops it).
std::optional<QString> sheetSource(VM& vm, Object* o) {
    const Value shown = hiddenOf(vm, o, kShown);
    if (!shown.isString() || shown.string != o->field->text)
        return std::nullopt;
    return hiddenOf(vm, o, kSource).string;
}

// Shows `html` through the field's style sheet, or as htmlText shows it when it has none.
void showStyled(VM& vm, Object* o, const QString& html) {
    DisplayObject* d = o->field;
    const EditText* e = editText(d);
    const std::optional<StyleSheet> sheet = styleSheetOf(vm, hiddenOf(vm, o, kSheet));
    const QString source = html.left(kMaxFieldText);
    vm.define(o, kSource, Value(source), DontEnum);
    if (!sheet) {
        vm.styledFields.remove(d);
        vm.fieldFormats.remove(d);
        setText(vm, o, source);
    } else {
        vm.styledFields.insert(d);
        FieldFormats f = formatsFromHtml(source, definitionFormat(*e, d->textColor), &*sheet);
        f.plain.truncate(kMaxFieldText);
        f.chars.resize(std::size_t(f.plain.size()));
        showFormats(vm, d, vm.fieldFormats[d] = std::move(f));
    }
    vm.define(o, kShown, Value(d->text), DontEnum);
}

} // namespace

bool fieldVariable(VM& vm, const EditText& text, MovieClip* parent, MovieClip*& target,
                   QString& name) {
    return variableOf(vm, text, parent, target, name);
}
FieldFormats& fieldFormatsOf(VM& vm, DisplayObject* d, const EditText& e) {
    return formatsOf(vm, d, e);
}
void showFieldFormats(DisplayObject* d, const FieldFormats& f) {
    if (EditText* own = PlayerScripting::ownText(*d)) {
        if (!own->html) {
            own->html = true;
            ++own->generation;
        }
        d->text = formatsToHtml(f);
    }
}

bool getTextFieldMember(VM& vm, Object* o, const QString& name, Value& out) {
    DisplayObject* d = o->field;
    const EditText* e = editText(d);
    if (!e)
        return false;
    const QString k = name.toLower();
    if (k == QLatin1String("text")) {
        out = Value(e->html ? htmlToPlain(d->text) : d->text);
    } else if (k == QLatin1String("htmltext")) {
        // A field with a style sheet reads back the text as set.
        const auto source = vm.styledFields.contains(d) ? sheetSource(vm, o) : std::nullopt;
        out = Value(source ? *source : d->text);
    } else if (k == QLatin1String("stylesheet")) {
        out = hiddenOf(vm, o, kSheet);
    } else if (k == QLatin1String("html")) {
        out = Value(e->html);
    } else if (k == QLatin1String("length")) {
        out = Value(double((e->html ? htmlToPlain(d->text) : d->text).size()));
    } else if (k == QLatin1String("textcolor")) {
        const Rgba c = d->textColor.value_or(e->hasTextColor ? e->textColor : Rgba{0, 0, 0, 255});
        out = Value(double((c.r << 16) | (c.g << 8) | c.b));
    } else if (k == QLatin1String("variable")) {
        out = e->variableName.isEmpty() ? Value::null() : Value(e->variableName);
    } else if (k == QLatin1String("type")) {
        out = Value(e->readOnly ? QStringLiteral("dynamic") : QStringLiteral("input"));
    } else if (k == QLatin1String("maxchars")) {
        out = e->maxLength ? Value(double(e->maxLength)) : Value::null();
    } else if (k == QLatin1String("restrict")) {
        const auto it = vm.fieldRestrict.constFind(d);
        out = it == vm.fieldRestrict.constEnd() ? Value::null() : Value(*it);
    } else if (const auto flag = fieldFlag(k); flag.member) {
        out = Value(e->*flag.member != flag.inverted);
    } else if (k == QLatin1String("bordercolor") || k == QLatin1String("backgroundcolor")) {
        const Rgba c = k == QLatin1String("bordercolor") ? e->borderColor : e->backgroundColor;
        out = Value(double((c.r << 16) | (c.g << 8) | c.b));
    } else if (k == QLatin1String("_parent")) {
        out = o->fieldParent ? Value(vm.clipObject(o->fieldParent)) : Value();
    } else if (const int p = clipPropertyIndex(name); p >= 0) {
        out = getDisplayProperty(vm, d, nullptr, o->fieldParent, p);
    } else {
        return false;
    }
    return true;
}

bool setTextFieldMember(VM& vm, Object* o, const QString& name, const Value& v) {
    DisplayObject* d = o->field;
    const EditText* e = editText(d);
    if (!e)
        return false;
    const QString k = name.toLower();
    if (k == QLatin1String("text")) {
        const QString t = vm.toString(v);
        if (auto it = vm.fieldFormats.find(d); it != vm.fieldFormats.end()) {
            // New text takes the field's format for new text.
            it->plain = t.left(kMaxFieldText);
            it->chars.assign(std::size_t(it->plain.size()), it->newFormat);
            showFormats(vm, d, *it);
            MovieClip* target = nullptr;
            QString name;
            if (variableOf(vm, *e, o->fieldParent, target, name))
                vm.setMember(Value(vm.clipObject(target)), name, Value(it->plain));
        } else {
            setText(vm, o, e->html ? t.toHtmlEscaped() : t);
        }
    } else if (k == QLatin1String("htmltext")) {
        if (styleSheetOf(vm, hiddenOf(vm, o, kSheet))) {
            showStyled(vm, o, vm.toString(v));
        } else {
            vm.fieldFormats.remove(d);
            setText(vm, o, vm.toString(v));
        }
    } else if (k == QLatin1String("stylesheet")) {
        // Set again after its styles changed, a sheet lays the text out anew.
        const auto source = sheetSource(vm, o);
        QString html = e->html ? d->text : d->text.toHtmlEscaped();
        if (source)
            html = *source;
        else if (auto it = vm.fieldFormats.find(d); it != vm.fieldFormats.end())
            html = formatsToHtml(*it);
        vm.define(o, kSheet, v.isNullish() ? Value() : v, DontEnum);
        if (styleSheetOf(vm, v) || vm.styledFields.contains(d))
            showStyled(vm, o, html);
    } else if (k == QLatin1String("textcolor")) {
        const auto c = std::uint32_t(vm.toInt(v));
        d->textColor = Rgba{std::uint8_t(c >> 16), std::uint8_t(c >> 8), std::uint8_t(c), 255};
    } else if (k == QLatin1String("variable")) {
        // The field follows another variable from now on (null: none).
        if (EditText* own = PlayerScripting::ownText(*d)) {
            own->variableName = v.isNullish() ? QString() : vm.toString(v);
            ++own->generation;
            syncTextVariable(vm, o);
        }
    } else if (k == QLatin1String("html")) {
        if (EditText* own = PlayerScripting::ownText(*d); own && own->html != vm.toBoolean(v)) {
            const QString plain = plainOf(*own, *d);
            own->html = !own->html;
            ++own->generation;
            vm.fieldFormats.remove(d);
            d->text = own->html ? plain.toHtmlEscaped() : plain;
        }
    } else if (k == QLatin1String("type")) {
        const QString t = vm.toString(v);
        EditText* own = PlayerScripting::ownText(*d);
        if (own && (t == QLatin1String("input") || t == QLatin1String("dynamic"))) {
            own->readOnly = t == QLatin1String("dynamic");
            ++own->generation;
        }
    } else if (k == QLatin1String("maxchars")) {
        if (EditText* own = PlayerScripting::ownText(*d)) {
            const double n = v.isNullish() ? 0 : vm.toNumber(v);
            own->maxLength = std::uint16_t(std::isfinite(n) ? std::clamp(n, 0.0, 65535.0) : 0);
        }
    } else if (k == QLatin1String("restrict")) {
        if (v.isNullish())
            vm.fieldRestrict.remove(d);
        else
            vm.fieldRestrict.insert(d, vm.toString(v).left(4096));
    } else if (const auto flag = fieldFlag(k); flag.member) {
        if (EditText* own = PlayerScripting::ownText(*d)) {
            own->*flag.member = vm.toBoolean(v) != flag.inverted;
            ++own->generation;
        }
    } else if (k == QLatin1String("bordercolor") || k == QLatin1String("backgroundcolor")) {
        if (EditText* own = PlayerScripting::ownText(*d)) {
            const auto c = std::uint32_t(vm.toInt(v));
            (k == QLatin1String("bordercolor") ? own->borderColor : own->backgroundColor) =
                Rgba{std::uint8_t(c >> 16), std::uint8_t(c >> 8), std::uint8_t(c), 255};
            ++own->generation;
        }
    } else if (k == QLatin1String("length") || k == QLatin1String("_parent")) {
        // Read only.
    } else if (const int p = clipPropertyIndex(name); p >= 0) {
        setDisplayProperty(vm, d, nullptr, p, v);
    } else {
        return false;
    }
    return true;
}

void syncTextVariable(VM& vm, Object* o) {
    DisplayObject* d = o->field;
    const EditText* e = editText(d);
    MovieClip* target = nullptr;
    QString name;
    if (!e || !variableOf(vm, *e, o->fieldParent, target, name))
        return;
    Object* timeline = vm.clipObject(target);
    // Timeline variables are plain slots; getters are not run for display.
    const Object::Slot* slot = timeline->find(vm.key(name));
    if (slot && !slot->getter && !slot->value.isUndefined()) {
        const QString shown = vm.toString(slot->value).left(kMaxFieldText);
        if (o->field != d) // converting may have run a script that removed the field
            return;
        if (auto it = vm.fieldFormats.find(d); it != vm.fieldFormats.end()) {
            if (it->plain != shown) {
                it->plain = shown;
                it->chars.assign(std::size_t(shown.size()), it->newFormat);
                showFormats(vm, d, *it);
            }
        } else {
            d->text = shown;
        }
    } else if (!slot && !d->text.isEmpty()) {
        // A field shown before its variable is set gives the variable its text.
        vm.setMember(Value(timeline), name, Value(d->text));
    }
}

void VM::installTextField() {
    m_textFieldProto = newObject();
    define(m_global, QStringLiteral("TextField"),
           Value(newFunction([](VM&, Value, std::span<const Value>) { return Value(); },
                             m_textFieldProto)));

    // new TextFormat(font, size, color, bold, italic, underline, url, target, align,
    //                leftMargin, rightMargin, indent, leading): what is not given is null.
    Object* formatProto = newObject();
    roots.push_back(formatProto);
    Object* formatCtor = newFunction(
        [](VM& vm, Value self, std::span<const Value> a) {
            Object* o = self.asObject();
            if (!o)
                return Value();
            static const char* const kOrder[] = {
                "font",   "size",  "color",      "bold",        "italic", "underline", "url",
                "target", "align", "leftMargin", "rightMargin", "indent", "leading"};
            TextFormatData t;
            formatToObject(vm, o, t);
            for (std::size_t i = 0; i < std::size(kOrder) && i < a.size(); ++i) {
                if (!a[i].isNullish())
                    vm.setMember(self, QString::fromLatin1(kOrder[i]), a[i]);
            }
            return Value();
        },
        formatProto);
    define(m_global, QStringLiteral("TextFormat"), Value(formatCtor));
    auto newFormat = [formatProto](VM& vm, const TextFormatData& t) {
        Object* o = vm.newObject();
        o->proto = formatProto;
        formatToObject(vm, o, t);
        return Value(o);
    };
    auto field = [](const Value& self) -> DisplayObject* {
        Object* o = self.asObject();
        return o && o->kind == Object::Kind::TextField && editText(o->field) ? o->field : nullptr;
    };
    // The range (begin, end) a call names: (), (index) or (begin, end), clamped to the text.
    auto range = [](VM& vm, std::span<const Value> a, std::size_t count, qsizetype length) {
        qsizetype b = 0, e = length;
        if (count >= 1) {
            b = std::clamp<qsizetype>(vm.toInt(a[0]), 0, length);
            e = count >= 2 ? std::clamp<qsizetype>(vm.toInt(a[1]), b, length)
                           : std::min(b + 1, length);
        }
        return std::make_pair(std::size_t(b), std::size_t(e));
    };
    defineMethod(m_textFieldProto, QStringLiteral("setTextFormat"),
                 [field, range](VM& vm, Value self, std::span<const Value> a) {
                     DisplayObject* d = field(self);
                     if (!d || a.empty())
                         return Value();
                     const TextFormatData given = formatFromObject(vm, a.back());
                     FieldFormats& f = formatsOf(vm, d, *editText(d));
                     const auto [b, e] = range(vm, a, a.size() - 1, f.plain.size());
                     for (std::size_t i = b; i < e; ++i)
                         applyFormat(f.chars[i], given);
                     showFormats(vm, d, f);
                     return Value();
                 });
    defineMethod(m_textFieldProto, QStringLiteral("getTextFormat"),
                 [field, range, newFormat](VM& vm, Value self, std::span<const Value> a) {
                     DisplayObject* d = field(self);
                     if (!d)
                         return Value();
                     const EditText& e = *editText(d);
                     auto it = vm.fieldFormats.find(d);
                     if (it == vm.fieldFormats.end())
                         return newFormat(vm, definitionFormat(e, d->textColor));
                     const auto [b, end] = range(vm, a, a.size(), it->plain.size());
                     return newFormat(vm,
                                      b < end ? commonFormat(it->chars, b, end) : it->newFormat);
                 });
    defineMethod(m_textFieldProto, QStringLiteral("setNewTextFormat"),
                 [field](VM& vm, Value self, std::span<const Value> a) {
                     if (DisplayObject* d = field(self)) {
                         FieldFormats& f = formatsOf(vm, d, *editText(d));
                         applyFormat(f.newFormat, formatFromObject(vm, a.empty() ? Value() : a[0]));
                     }
                     return Value();
                 });
    defineMethod(m_textFieldProto, QStringLiteral("getNewTextFormat"),
                 [field, newFormat](VM& vm, Value self, std::span<const Value>) {
                     DisplayObject* d = field(self);
                     if (!d)
                         return Value();
                     auto it = vm.fieldFormats.find(d);
                     return newFormat(vm, it != vm.fieldFormats.end()
                                              ? it->newFormat
                                              : definitionFormat(*editText(d), d->textColor));
                 });

    installStyleSheet(*this,
                      [this, newFormat](const TextFormatData& t) { return newFormat(*this, t); });

    // createTextField(name, depth, x, y, width, height): an empty field in the device font.
    defineMethod(m_clipProto, QStringLiteral("createTextField"),
                 [](VM& vm, Value self, std::span<const Value> a) {
                     Object* o = self.asObject();
                     MovieClip* parent = o && o->kind == Object::Kind::Clip ? o->clip : nullptr;
                     if (!parent || !vm.player() || a.size() < 6)
                         return Value();
                     vm.checkBudget(64);
                     auto num = [&](std::size_t i) {
                         const double n = vm.toNumber(a[i]);
                         return std::isfinite(n) ? std::clamp(n, -1e6, 1e6) : 0.0;
                     };
                     const double depth = num(1);
                     auto text = std::make_unique<EditText>();
                     text->bounds = Rect{0, std::int32_t(std::max(0.0, num(4)) * 20), 0,
                                         std::int32_t(std::max(0.0, num(5)) * 20)};
                     text->fontHeight = 240;
                     text->hasTextColor = true;
                     text->textColor = Rgba{0, 0, 0, 255};
                     text->hasLayout = true;
                     text->readOnly = true; // dynamic until a script makes it input
                     DisplayObject* d =
                         PlayerScripting(*vm.player())
                             .placeText(*parent, std::move(text),
                                        std::int32_t(depth) + kDepthOffset, vm.toString(a[0]));
                     if (!d)
                         return Value();
                     d->matrix = QTransform::fromTranslate(num(2) * 20, num(3) * 20);
                     return Value(vm.textFieldObject(d, parent));
                 });
}

} // namespace swf::avm1
