// TextField: edit texts on stage as scripts see them, and the timeline variables they show.

#include "swf/avm1/vm.h"
#include "swf/player.h"

namespace swf::avm1 {

namespace {

// Longer texts are cut: the field is laid out again whenever a script changes it.
constexpr qsizetype kMaxFieldText = 1 << 18;

const EditText* editText(const DisplayObject* d) {
    return d && d->character && d->character->type == CharacterType::EditText
               ? static_cast<const EditText*>(d->character)
               : nullptr;
}

// The text of the small HTML subset edit texts hold: tags dropped, paragraphs and breaks as
// carriage returns, entities decoded.
QString plainText(const QString& html) {
    QString out;
    out.reserve(html.size());
    for (qsizetype i = 0; i < html.size(); ++i) {
        const QChar c = html[i];
        if (c == u'<') {
            const qsizetype close = html.indexOf(u'>', i);
            if (close < 0)
                break;
            const QString tag = html.mid(i + 1, close - i - 1).trimmed().toLower();
            if (tag.startsWith(QLatin1String("br")) || tag == QLatin1String("/p") ||
                tag == QLatin1String("/li"))
                out += u'\r';
            i = close;
        } else if (c == u'&') {
            static const std::pair<const char*, char16_t> kEntities[] = {
                {"&lt;", u'<'},   {"&gt;", u'>'},    {"&amp;", u'&'},
                {"&quot;", u'"'}, {"&apos;", u'\''}, {"&nbsp;", u'\u00a0'}};
            bool matched = false;
            for (const auto& [name, ch] : kEntities) {
                if (QStringView(html).mid(i).startsWith(QLatin1String(name))) {
                    out += QChar(ch);
                    i += qsizetype(std::strlen(name)) - 1;
                    matched = true;
                    break;
                }
            }
            if (!matched)
                out += c;
        } else {
            out += c;
        }
    }
    // The last paragraph's end adds no line.
    if (out.endsWith(u'\r'))
        out.chop(1);
    return out;
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

} // namespace

bool getTextFieldMember(VM& vm, Object* o, const QString& name, Value& out) {
    DisplayObject* d = o->field;
    const EditText* e = editText(d);
    if (!e)
        return false;
    const QString k = name.toLower();
    if (k == QLatin1String("text")) {
        out = Value(e->html ? plainText(d->text) : d->text);
    } else if (k == QLatin1String("htmltext")) {
        out = Value(d->text);
    } else if (k == QLatin1String("html")) {
        out = Value(e->html);
    } else if (k == QLatin1String("length")) {
        out = Value(double((e->html ? plainText(d->text) : d->text).size()));
    } else if (k == QLatin1String("textcolor")) {
        const Rgba c = d->textColor.value_or(e->hasTextColor ? e->textColor : Rgba{0, 0, 0, 255});
        out = Value(double((c.r << 16) | (c.g << 8) | c.b));
    } else if (k == QLatin1String("variable")) {
        out = e->variableName.isEmpty() ? Value::null() : Value(e->variableName);
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
        setText(vm, o, e->html ? t.toHtmlEscaped() : t);
    } else if (k == QLatin1String("htmltext")) {
        setText(vm, o, vm.toString(v));
    } else if (k == QLatin1String("textcolor")) {
        const auto c = std::uint32_t(vm.toInt(v));
        d->textColor = Rgba{std::uint8_t(c >> 16), std::uint8_t(c >> 8), std::uint8_t(c), 255};
    } else if (k == QLatin1String("variable") || k == QLatin1String("html") ||
               k == QLatin1String("length") || k == QLatin1String("_parent")) {
        // Fixed by the movie.
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
        if (o->field == d) // converting may have run a script that removed the field
            d->text = shown;
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
}

} // namespace swf::avm1
