// TextField: edit texts on stage as scripts see them, and the timeline variables they show.

#include "swf/avm1/vm.h"
#include "swf/player.h"

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

// ---- TextFormat ------------------------------------------------------------------------------

constexpr std::int32_t kDepthOffset = 16384; // script depth 0

QString alignName(TextAlign a) {
    switch (a) {
    case TextAlign::Right:
        return QStringLiteral("right");
    case TextAlign::Center:
        return QStringLiteral("center");
    case TextAlign::Justify:
        return QStringLiteral("justify");
    case TextAlign::Left:
        break;
    }
    return QStringLiteral("left");
}

// What a field's own definition says, as a TextFormat with every value set.
TextFormatData defaultFormat(const EditText& e, const DisplayObject& d) {
    TextFormatData f;
    f.font = e.font && !e.font->name.isEmpty() ? e.font->name
             : e.fontClass.isEmpty()           ? QStringLiteral("Times New Roman")
                                               : e.fontClass;
    f.size = e.fontHeight ? e.fontHeight / 20.0 : 12.0;
    const Rgba c = d.textColor.value_or(e.hasTextColor ? e.textColor : Rgba{0, 0, 0, 255});
    f.color = (std::uint32_t(c.r) << 16) | (std::uint32_t(c.g) << 8) | c.b;
    f.bold = e.font && e.font->bold;
    f.italic = e.font && e.font->italic;
    f.underline = false;
    f.url = QString();
    f.target = QString();
    f.align = alignName(e.align);
    f.leftMargin = e.leftMargin / 20.0;
    f.rightMargin = e.rightMargin / 20.0;
    f.indent = e.indent / 20.0;
    f.leading = e.leading / 20.0;
    f.blockIndent = 0.0;
    f.bullet = false;
    f.kerning = false;
    f.letterSpacing = 0.0;
    return f;
}

// Every member of TextFormat, for reading and writing them alike.
template <typename F> void eachMember(TextFormatData& t, F&& f) {
    f("font", t.font);
    f("size", t.size);
    f("color", t.color);
    f("bold", t.bold);
    f("italic", t.italic);
    f("underline", t.underline);
    f("url", t.url);
    f("target", t.target);
    f("align", t.align);
    f("leftMargin", t.leftMargin);
    f("rightMargin", t.rightMargin);
    f("indent", t.indent);
    f("leading", t.leading);
    f("blockIndent", t.blockIndent);
    f("bullet", t.bullet);
    f("kerning", t.kerning);
    f("letterSpacing", t.letterSpacing);
}

// Values set in `from` replace those of `to`.
void applyFormat(TextFormatData& to, TextFormatData from) {
    TextFormatData* target = &to;
    eachMember(from, [target](const char* name, auto& v) {
        if (!v)
            return;
        eachMember(*target, [&](const char* n, auto& w) {
            if (std::strcmp(n, name) == 0) {
                using W = std::decay_t<decltype(w)>;
                using V = std::decay_t<decltype(v)>;
                if constexpr (std::is_same_v<W, V>)
                    w = v;
            }
        });
    });
}

// Values every format in the range shares; the others unset.
TextFormatData commonFormat(const std::vector<TextFormatData>& chars, std::size_t from,
                            std::size_t to) {
    // Members compared as text, in eachMember's order.
    auto texts = [](TextFormatData t) {
        std::vector<QString> out;
        eachMember(t, [&](const char*, auto& v) {
            using V = std::decay_t<decltype(*v)>;
            if (!v)
                out.push_back(QStringLiteral("\x01"));
            else if constexpr (std::is_same_v<V, QString>)
                out.push_back(*v);
            else
                out.push_back(QString::number(double(*v), 'g', 17));
        });
        return out;
    };
    TextFormatData out = chars[from];
    const std::vector<QString> first = texts(out);
    std::vector<bool> differs(first.size(), false);
    for (std::size_t i = from + 1; i < to; ++i) {
        const std::vector<QString> other = texts(chars[i]);
        for (std::size_t k = 0; k < first.size(); ++k)
            differs[k] = differs[k] || other[k] != first[k];
    }
    std::size_t k = 0;
    eachMember(out, [&](const char*, auto& v) {
        if (differs[k++])
            v.reset();
    });
    return out;
}

TextFormatData formatFromObject(VM& vm, const Value& object) {
    TextFormatData t;
    if (!object.isObject())
        return t;
    eachMember(t, [&](const char* name, auto& v) {
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
    eachMember(t, [&](const char* name, auto& v) {
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

QString escaped(const QString& s) {
    return s.toHtmlEscaped();
}

// The field's text and formats in the HTML subset edit texts show.
QString formatsToHtml(const FieldFormats& f) {
    QString html;
    const qsizetype n = f.plain.size();
    qsizetype start = 0;
    while (start <= n) {
        qsizetype end = start;
        while (end < n && f.plain[end] != u'\r' && f.plain[end] != u'\n')
            ++end;
        const TextFormatData& first =
            start < qsizetype(f.chars.size()) ? f.chars[std::size_t(start)] : f.newFormat;
        html += QStringLiteral("<textformat leftmargin=\"%1\" rightmargin=\"%2\" indent=\"%3\" "
                               "blockindent=\"%4\" leading=\"%5\"><p align=\"%6\">")
                    .arg(first.leftMargin.value_or(0))
                    .arg(first.rightMargin.value_or(0))
                    .arg(first.indent.value_or(0))
                    .arg(first.blockIndent.value_or(0))
                    .arg(first.leading.value_or(0))
                    .arg(first.align.value_or(QStringLiteral("left")));
        qsizetype i = start;
        while (i < end) {
            const TextFormatData& c = f.chars[std::size_t(i)];
            qsizetype j = i + 1;
            auto same = [&](const TextFormatData& o) {
                return o.font == c.font && o.size == c.size && o.color == c.color &&
                       o.bold == c.bold && o.italic == c.italic && o.underline == c.underline &&
                       o.letterSpacing == c.letterSpacing && o.kerning == c.kerning &&
                       o.url == c.url;
            };
            while (j < end && same(f.chars[std::size_t(j)]))
                ++j;
            QString run = escaped(f.plain.mid(i, j - i));
            if (c.underline.value_or(false))
                run = QStringLiteral("<u>") + run + QStringLiteral("</u>");
            if (c.italic.value_or(false))
                run = QStringLiteral("<i>") + run + QStringLiteral("</i>");
            if (c.bold.value_or(false))
                run = QStringLiteral("<b>") + run + QStringLiteral("</b>");
            if (!c.url.value_or(QString()).isEmpty())
                run = QStringLiteral("<a href=\"%1\" target=\"%2\">")
                          .arg(escaped(*c.url), escaped(c.target.value_or(QString()))) +
                      run + QStringLiteral("</a>");
            html += QStringLiteral("<font face=\"%1\" size=\"%2\" color=\"#%3\" "
                                   "letterSpacing=\"%4\" kerning=\"%5\">")
                        .arg(escaped(c.font.value_or(QString())))
                        .arg(c.size.value_or(12))
                        .arg(c.color.value_or(0), 6, 16, QLatin1Char('0'))
                        .arg(c.letterSpacing.value_or(0))
                        .arg(c.kerning.value_or(false) ? 1 : 0) +
                    run + QStringLiteral("</font>");
            i = j;
        }
        html += QStringLiteral("</p></textformat>");
        start = end + 1;
    }
    return html;
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
    return e.html ? plainText(d.text) : d.text;
}

// The formats of a field, made from its definition on first use.
FieldFormats& formatsOf(VM& vm, DisplayObject* d, const EditText& e) {
    auto it = vm.fieldFormats.find(d);
    if (it != vm.fieldFormats.end())
        return *it;
    FieldFormats f;
    f.plain = plainOf(e, *d);
    f.newFormat = defaultFormat(e, *d);
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
        vm.fieldFormats.remove(d);
        setText(vm, o, vm.toString(v));
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
                         return newFormat(vm, defaultFormat(e, *d));
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
                                              : defaultFormat(*editText(d), *d));
                 });

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
