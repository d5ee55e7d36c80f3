// flash.text: TextField on the player's edit texts (the one layout the renderer draws with also
// gives the metrics), TextFormat, Font, StaticText's text and the constant classes; TextEvent
// and FocusEvent with typing into input text, the focus and the tab order.
//
// A TextField a script touches keeps its characters' formats (swf/textfields.h) and shows them
// as HTML in its own copy of the edit text, so formats by range, defaultTextFormat and typing
// all go through the same engine functions as ActionScript 2's fields.

#include "swf/avm2/display.h"
#include "swf/render/edittext.h"
#include "swf/render/fontfile.h"
#include "swf/textedit.h"

#include <algorithm>
#include <cmath>

namespace swf::avm2 {

namespace {

// Longer texts are cut: the field is laid out again whenever its text changes.
constexpr qsizetype kMaxFieldText = qsizetype(1) << 18;
constexpr double kGutter = 40;            // twips inside the box on every side, as the layout keeps
constexpr std::int32_t kMaxBox = 1 << 26; // twips; larger boxes are clamped

using keys::kTab;

DisplayNode* nodeArg(VM& vm, const Value& self) {
    Object* o = self.object();
    if (!o || o->kind != ObjectKind::DisplayObject)
        vm.throwTypeError(1004, QStringLiteral("Method was invoked on an incompatible object."));
    return static_cast<DisplayNode*>(o);
}

bool isTextField(const DisplayNode* n) {
    return n && n->obj && n->obj->character && n->obj->character->type == CharacterType::EditText;
}

// The field `self` is; a TextField without an edit text (a subclass linked to another kind of
// symbol) cannot be used as one.
DisplayNode* field(VM& vm, const Value& self) {
    DisplayNode* n = nodeArg(vm, self);
    if (!isTextField(n))
        vm.throwError("Error", 2000, QStringLiteral("This TextField has no text to show."));
    return n;
}

const EditText& definition(const DisplayNode* n) {
    return static_cast<const EditText&>(*n->obj->character);
}

// The field's own definition, for changing it; the renderer lays it out again.
EditText& ownDefinition(DisplayNode* n) {
    EditText* e = PlayerScripting::ownText(*n->obj);
    ++e->generation;
    return *e;
}

QString lineEnds(QString s) {
    s.replace(QLatin1String("\r\n"), QLatin1String("\r"));
    s.replace(u'\n', u'\r');
    return s;
}

TextFieldState& stateOf(DisplayNode* n) {
    if (!n->text) {
        auto s = std::make_unique<TextFieldState>();
        const EditText& e = definition(n);
        const TextFormatData base = definitionFormat(e, n->obj->textColor);
        if (e.html) {
            s->formats = formatsFromHtml(n->obj->text, base);
        } else {
            s->formats.plain = lineEnds(n->obj->text).left(kMaxFieldText);
            s->formats.chars.assign(std::size_t(s->formats.plain.size()), base);
            s->formats.newFormat = base;
        }
        s->selectionBegin = s->selectionEnd = s->formats.plain.size();
        n->text = std::move(s);
    }
    return *n->text;
}

QString plainOf(DisplayNode* n) {
    if (n->text)
        return n->text->formats.plain;
    const EditText& e = definition(n);
    return e.html ? htmlToPlain(n->obj->text) : lineEnds(n->obj->text);
}

// Lays the whole text out as it would show unscrolled in a box of unlimited height.
render::EditTextLayout measure(VM& vm, DisplayNode* n) {
    EditText* e = PlayerScripting::ownText(*n->obj);
    const std::int32_t bottom = e->bounds.yMax;
    const std::uint32_t scroll = e->scroll;
    e->bounds.yMax = kMaxBox;
    e->scroll = 0;
    render::FontFinder fonts;
    if (vm.displayTree)
        fonts = render::fontsIn(vm.displayTree->player.movie().dictionary);
    render::EditTextLayout layout = render::layoutEditText(*e, n->obj->text, e->html, fonts);
    e->bounds.yMax = bottom;
    e->scroll = scroll;
    return layout;
}

double lineTop(const render::LaidOutLine& l) {
    return l.baseline - l.ascent;
}
double lineBottom(const render::LaidOutLine& l) {
    return l.baseline + l.descent;
}

double textWidthOf(const render::EditTextLayout& l) {
    double w = 0;
    for (const auto& line : l.lines)
        w = std::max(w, line.width);
    return w;
}
double textHeightOf(const render::EditTextLayout& l) {
    if (l.lines.empty())
        return 0;
    return lineBottom(l.lines.back()) - lineTop(l.lines.front());
}

// The highest scrollV (1-based): the first line shown when the last one is in view.
int maxScrollOf(const EditText& e, const render::EditTextLayout& l) {
    const double room = e.bounds.height() - 2 * kGutter;
    const std::size_t n = l.lines.size();
    if (n == 0)
        return 1;
    std::size_t first = n - 1;
    while (first > 0 && lineBottom(l.lines.back()) - lineTop(l.lines[first - 1]) <= room)
        --first;
    return int(first) + 1;
}

// autoSize: the box follows the text, from the side it names.
void fitBox(VM& vm, DisplayNode* n) {
    if (!n->text || n->text->autoSize == QLatin1String("none"))
        return;
    const render::EditTextLayout l = measure(vm, n);
    EditText& e = ownDefinition(n);
    const auto h = std::int32_t(std::ceil(textHeightOf(l) + 2 * kGutter));
    e.bounds.yMax = e.bounds.yMin + std::min(h, kMaxBox);
    if (e.wordWrap)
        return;
    const auto w = std::min(std::int32_t(std::ceil(textWidthOf(l) + 2 * kGutter)), kMaxBox);
    const double shift = n->text->autoSize == QLatin1String("right") ? e.bounds.width() - w
                         : n->text->autoSize == QLatin1String("center")
                             ? (e.bounds.width() - w) / 2.0
                             : 0.0;
    e.bounds.xMax = e.bounds.xMin + w;
    if (shift != 0) {
        QTransform& m = n->place().matrix;
        m = QTransform::fromTranslate(shift, 0) * m;
    }
}

bool hasStyleSheet(DisplayNode* n) {
    const Value* v = n->getDynamic(QStringLiteral("styleSheet"));
    return v && v->object();
}

// A field with a style sheet takes no typing.
bool isInput(DisplayNode* n) {
    return isTextField(n) && !definition(n).readOnly && !hasStyleSheet(n);
}

// Whether the htmlText a script set is what the field still shows.
bool sourceShown(DisplayNode* n) {
    return n->text && n->text->sourceHtml && n->obj->text == n->text->sourceShown;
}

// The renderer draws the caret of the focused input field (after the text being composed,
// if any) and the selection of the focused field, or of any with alwaysShowSelection.
void showCaret(VM& vm, DisplayNode* n) {
    if (!isTextField(n))
        return;
    const bool focused = vm.displayTree && vm.displayTree->focus == n && n->text;
    const TextFieldState* s = n->text.get();
    n->obj->caret =
        focused && isInput(n)
            ? std::int32_t(s->selectionEnd + (s->preedit.isEmpty() ? 0 : s->preedit.size()))
            : -1;
    const bool selection = s && (focused || s->alwaysShowSelection) && s->preedit.isEmpty() &&
                           s->selectionBegin != s->selectionEnd;
    n->obj->selectionFrom =
        selection ? std::int32_t(std::min(s->selectionBegin, s->selectionEnd)) : -1;
    n->obj->selectionTo =
        selection ? std::int32_t(std::max(s->selectionBegin, s->selectionEnd)) : -1;
}

// Shows the formats: the field's text becomes their HTML.
void show(VM& vm, DisplayNode* n) {
    TextFieldState& s = stateOf(n);
    EditText& e = ownDefinition(n);
    e.html = true;
    if (s.preedit.isEmpty()) {
        n->obj->text = formatsToHtml(s.formats);
    } else {
        // Text an input method is composing shows at the caret, underlined, without being
        // part of the field's text yet.
        FieldFormats shown = s.formats;
        const qsizetype at = std::clamp<qsizetype>(s.selectionEnd, 0, shown.plain.size());
        TextFormatData f = at > 0 ? shown.chars[std::size_t(at - 1)] : shown.newFormat;
        f.underline = true;
        replaceText(shown, at, at, s.preedit, f);
        n->obj->text = formatsToHtml(shown);
    }
    n->obj->textColor.reset(); // the formats hold the colours now
    const qsizetype len = s.formats.plain.size();
    s.selectionBegin = std::clamp<qsizetype>(s.selectionBegin, 0, len);
    s.selectionEnd = std::clamp<qsizetype>(s.selectionEnd, 0, len);
    fitBox(vm, n);
    const render::EditTextLayout l = measure(vm, n);
    e.scroll = std::min<std::uint32_t>(e.scroll, std::uint32_t(maxScrollOf(e, l) - 1));
    showCaret(vm, n);
}

} // namespace

void restyleTextField(VM& vm, DisplayNode* n, std::optional<QString> html) {
    if (!isTextField(n))
        return;
    const bool kept = sourceShown(n);
    TextFieldState& s = stateOf(n);
    if (html)
        s.sourceHtml = std::move(html);
    else if (!kept) // text that did not come from htmlText is styled as the HTML it shows
        s.sourceHtml = formatsToHtml(s.formats);
    const std::optional<StyleSheet> sheet = fieldStyleSheet(vm, n);
    FieldFormats f = formatsFromHtml(*s.sourceHtml, s.formats.newFormat, sheet ? &*sheet : nullptr);
    f.plain.truncate(kMaxFieldText);
    f.chars.resize(std::size_t(f.plain.size()));
    s.formats = std::move(f);
    s.selectionBegin = s.selectionEnd = s.formats.plain.size();
    show(vm, n);
    s.sourceShown = n->obj->text;
}

namespace {

// --- TextFormat objects --------------------------------------------------------------------

Value textFormatClass(VM& vm) {
    return vm.lookupDefinition(QStringLiteral("flash.text::TextFormat"));
}

TextFormatData formatFromObject(VM& vm, const Value& object) {
    TextFormatData t;
    if (!object.isObject())
        return t;
    eachTextFormatMember(t, [&](const char* name, auto& v) {
        const Value m = vm.getProperty(object, vm.publicName(QString::fromLatin1(name)));
        if (m.isNullish())
            return;
        using V = std::decay_t<decltype(*v)>;
        if constexpr (std::is_same_v<V, QString>) {
            v = vm.toString(m);
        } else if constexpr (std::is_same_v<V, bool>) {
            v = VM::toBoolean(m);
        } else if constexpr (std::is_same_v<V, std::uint32_t>) {
            v = vm.toUint32(m) & 0xFFFFFFu;
        } else {
            const double d = vm.toNumber(m);
            if (std::isfinite(d))
                v = d;
        }
    });
    // Sizes and distances the layout can show.
    if (t.size)
        t.size = std::clamp(*t.size, 1.0, 2560.0);
    for (auto* d : {&t.leftMargin, &t.rightMargin, &t.indent, &t.blockIndent})
        if (*d)
            *d = std::clamp(**d, 0.0, 720.0);
    if (t.leading)
        t.leading = std::clamp(*t.leading, -360.0, 720.0);
    if (t.letterSpacing)
        t.letterSpacing = std::clamp(*t.letterSpacing, -100.0, 1000.0);
    return t;
}

} // namespace

Value formatObject(VM& vm, const TextFormatData& t) {
    const Value o = vm.construct(textFormatClass(vm), {});
    eachTextFormatMember(t, [&](const char* name, const auto& v) {
        using V = std::decay_t<decltype(*v)>;
        Value out = Value::null();
        if (v) {
            if constexpr (std::is_same_v<V, QString> || std::is_same_v<V, bool>)
                out = Value(*v);
            else if constexpr (std::is_same_v<V, std::uint32_t>)
                out = Value::fromUint(*v);
            else
                out = Value::number(*v);
        }
        vm.setProperty(o, vm.publicName(QString::fromLatin1(name)), out);
    });
    return o;
}

namespace {

// new TextFormat(font, size, color, bold, italic, underline, url, target, align, leftMargin,
// rightMargin, indent, leading): what is not given is null.
Value textFormatCtor(VM& vm, const Value& self, std::span<const Value> args) {
    static const char* const kOrder[] = {"font",        "size",   "color",  "bold",  "italic",
                                         "underline",   "url",    "target", "align", "leftMargin",
                                         "rightMargin", "indent", "leading"};
    if (!self.object())
        return Value();
    for (std::size_t i = 0; i < std::size(kOrder) && i < args.size(); ++i)
        if (!args[i].isNullish())
            vm.setProperty(self, vm.publicName(QString::fromLatin1(kOrder[i])), args[i]);
    return Value();
}

// TextFormat's members are declared variables, not dynamic properties: a subclass (Flex's
// UITextFormat) is sealed and still sets them, and for-in over a format finds none of them.
void declareFormatMembers(VM& vm, Class* format) {
    auto declare = [&](const QString& name, const Value& initial) {
        Binding b;
        b.kind = Binding::Kind::Slot;
        b.slot = std::uint32_t(format->instanceTraits.slotv.size());
        b.declaringClass = format;
        Traits::SlotInfo slot;
        slot.name = name;
        slot.typeResolved = true;
        slot.initial = initial;
        format->instanceTraits.slotv.push_back(std::move(slot));
        format->instanceTraits.add(name, vm.publicNs(), b);
    };
    TextFormatData none;
    eachTextFormatMember(
        none, [&](const char* name, auto&) { declare(QString::fromLatin1(name), Value::null()); });
    declare(QStringLiteral("tabStops"), Value::null());
    declare(QStringLiteral("display"), Value(QStringLiteral("block")));
}

// --- TextField: text and formats ----------------------------------------------------------

Value getText(VM& vm, const Value& self, std::span<const Value>) {
    return Value(plainOf(field(vm, self)));
}
void setPlain(VM& vm, DisplayNode* n, const QString& text) {
    TextFieldState& s = stateOf(n);
    // New text takes the format for new text.
    s.formats.plain = lineEnds(text).left(kMaxFieldText);
    s.formats.chars.assign(std::size_t(s.formats.plain.size()), s.formats.newFormat);
    s.selectionBegin = s.selectionEnd = s.formats.plain.size();
    show(vm, n);
}
Value setText(VM& vm, const Value& self, std::span<const Value> args) {
    DisplayNode* n = field(vm, self);
    if (arg(args, 0).isNullish())
        vm.throwTypeError(2007, QStringLiteral("Parameter text must be non-null."));
    setPlain(vm, n, vm.toString(arg(args, 0)));
    return Value();
}
Value getHtmlText(VM& vm, const Value& self, std::span<const Value>) {
    DisplayNode* n = field(vm, self);
    // A field with a style sheet reads back the text as set.
    if (hasStyleSheet(n) && sourceShown(n))
        return Value(*n->text->sourceHtml);
    return Value(formatsToHtml(stateOf(n).formats));
}
Value setHtmlText(VM& vm, const Value& self, std::span<const Value> args) {
    DisplayNode* n = field(vm, self);
    if (arg(args, 0).isNullish())
        vm.throwTypeError(2007, QStringLiteral("Parameter htmlText must be non-null."));
    restyleTextField(vm, n, vm.toString(arg(args, 0)).left(kMaxFieldText));
    return Value();
}
Value appendText(VM& vm, const Value& self, std::span<const Value> args) {
    DisplayNode* n = field(vm, self);
    TextFieldState& s = stateOf(n);
    const QString add = lineEnds(vm.toString(arg(args, 0)))
                            .left(std::max<qsizetype>(0, kMaxFieldText - s.formats.plain.size()));
    const qsizetype end = s.formats.plain.size();
    replaceText(s.formats, end, end, add, s.formats.newFormat);
    show(vm, n);
    return Value();
}
Value replaceTextNative(VM& vm, const Value& self, std::span<const Value> args) {
    DisplayNode* n = field(vm, self);
    TextFieldState& s = stateOf(n);
    const qsizetype len = s.formats.plain.size();
    const std::int32_t b = vm.toInt32(arg(args, 0)), e = vm.toInt32(arg(args, 1));
    if (b < 0 || e < b || e > len)
        vm.throwRangeError(2006, QStringLiteral("The supplied index is out of bounds."));
    const QString add = lineEnds(vm.toString(arg(args, 2)))
                            .left(std::max<qsizetype>(0, kMaxFieldText - len + (e - b)));
    replaceText(s.formats, b, e, add, s.formats.newFormat);
    show(vm, n);
    return Value();
}
Value replaceSelectedText(VM& vm, const Value& self, std::span<const Value> args) {
    DisplayNode* n = field(vm, self);
    TextFieldState& s = stateOf(n);
    const qsizetype b = std::min(s.selectionBegin, s.selectionEnd),
                    e = std::max(s.selectionBegin, s.selectionEnd);
    const QString add =
        lineEnds(vm.toString(arg(args, 0)))
            .left(std::max<qsizetype>(0, kMaxFieldText - s.formats.plain.size() + (e - b)));
    replaceText(s.formats, b, e, add, s.formats.newFormat);
    s.selectionBegin = s.selectionEnd = b + add.size();
    show(vm, n);
    return Value();
}
Value getLength(VM& vm, const Value& self, std::span<const Value>) {
    return Value(std::int32_t(plainOf(field(vm, self)).size()));
}

// The range (begin, end) of getTextFormat and setTextFormat: -1 for begin means the whole text,
// -1 for end the one character at begin.
std::pair<qsizetype, qsizetype> rangeArgs(VM& vm, std::span<const Value> args, std::size_t first,
                                          qsizetype length) {
    const std::int32_t b = args.size() > first ? vm.toInt32(args[first]) : -1;
    std::int32_t e = args.size() > first + 1 ? vm.toInt32(args[first + 1]) : -1;
    if (b == -1)
        return {0, length};
    if (e == -1)
        e = b + 1;
    if (b < 0 || b > length || e < b || e > length)
        vm.throwRangeError(2006, QStringLiteral("The supplied index is out of bounds."));
    return {b, e};
}
Value getTextFormat(VM& vm, const Value& self, std::span<const Value> args) {
    TextFieldState& s = stateOf(field(vm, self));
    const auto [b, e] = rangeArgs(vm, args, 0, s.formats.plain.size());
    return formatObject(vm, b < e ? commonFormat(s.formats.chars, std::size_t(b), std::size_t(e))
                                  : s.formats.newFormat);
}
Value setTextFormat(VM& vm, const Value& self, std::span<const Value> args) {
    DisplayNode* n = field(vm, self);
    if (arg(args, 0).isNullish())
        vm.throwTypeError(2007, QStringLiteral("Parameter format must be non-null."));
    TextFieldState& s = stateOf(n);
    const TextFormatData given = formatFromObject(vm, arg(args, 0));
    const auto [b, e] = rangeArgs(vm, args, 1, s.formats.plain.size());
    for (qsizetype i = b; i < e; ++i)
        applyFormat(s.formats.chars[std::size_t(i)], given);
    show(vm, n);
    return Value();
}
Value getDefaultFormat(VM& vm, const Value& self, std::span<const Value>) {
    return formatObject(vm, stateOf(field(vm, self)).formats.newFormat);
}
Value setDefaultFormat(VM& vm, const Value& self, std::span<const Value> args) {
    DisplayNode* n = field(vm, self);
    if (arg(args, 0).isNullish())
        vm.throwTypeError(2007, QStringLiteral("Parameter format must be non-null."));
    applyFormat(stateOf(n).formats.newFormat, formatFromObject(vm, arg(args, 0)));
    return Value();
}
Value getTextColor(VM& vm, const Value& self, std::span<const Value>) {
    TextFieldState& s = stateOf(field(vm, self));
    const std::uint32_t c = s.formats.chars.empty() ? s.formats.newFormat.color.value_or(0)
                                                    : s.formats.chars[0].color.value_or(0);
    return Value::fromUint(c);
}
Value setTextColor(VM& vm, const Value& self, std::span<const Value> args) {
    DisplayNode* n = field(vm, self);
    TextFieldState& s = stateOf(n);
    const std::uint32_t c = vm.toUint32(arg(args, 0)) & 0xFFFFFFu;
    for (auto& f : s.formats.chars)
        f.color = c;
    s.formats.newFormat.color = c;
    show(vm, n);
    return Value();
}

// --- TextField: the box and how it behaves ------------------------------------------------

template <bool EditText::*member, bool inverted = false>
Value getFlag(VM& vm, const Value& self, std::span<const Value>) {
    return Value(bool(definition(field(vm, self)).*member) != inverted);
}
template <bool EditText::*member, bool inverted = false>
Value setFlag(VM& vm, const Value& self, std::span<const Value> args) {
    DisplayNode* n = field(vm, self);
    ownDefinition(n).*member = VM::toBoolean(arg(args, 0)) != inverted;
    if (n->text)
        show(vm, n);
    return Value();
}
template <Rgba EditText::*member>
Value getColour(VM& vm, const Value& self, std::span<const Value>) {
    const Rgba c = definition(field(vm, self)).*member;
    return Value::fromUint((std::uint32_t(c.r) << 16) | (std::uint32_t(c.g) << 8) | c.b);
}
template <Rgba EditText::*member>
Value setColour(VM& vm, const Value& self, std::span<const Value> args) {
    const std::uint32_t c = vm.toUint32(arg(args, 0));
    ownDefinition(field(vm, self)).*member =
        Rgba{std::uint8_t(c >> 16), std::uint8_t(c >> 8), std::uint8_t(c), 255};
    return Value();
}

Value getType(VM& vm, const Value& self, std::span<const Value>) {
    return Value(definition(field(vm, self)).readOnly ? QStringLiteral("dynamic")
                                                      : QStringLiteral("input"));
}
Value setType(VM& vm, const Value& self, std::span<const Value> args) {
    DisplayNode* n = field(vm, self);
    const QString t = vm.toString(arg(args, 0));
    if (t != QLatin1String("input") && t != QLatin1String("dynamic"))
        vm.throwError("ArgumentError", 2008,
                      QStringLiteral("Parameter type must be one of the accepted values."));
    ownDefinition(n).readOnly = t == QLatin1String("dynamic");
    return Value();
}
Value getAutoSize(VM& vm, const Value& self, std::span<const Value>) {
    DisplayNode* n = field(vm, self);
    return Value(n->text ? n->text->autoSize : QStringLiteral("none"));
}
Value setAutoSize(VM& vm, const Value& self, std::span<const Value> args) {
    DisplayNode* n = field(vm, self);
    const QString v = vm.toString(arg(args, 0));
    if (v != QLatin1String("none") && v != QLatin1String("left") && v != QLatin1String("right") &&
        v != QLatin1String("center"))
        vm.throwError("ArgumentError", 2008,
                      QStringLiteral("Parameter autoSize must be one of the accepted values."));
    stateOf(n).autoSize = v;
    show(vm, n);
    return Value();
}
Value getAntiAlias(VM& vm, const Value& self, std::span<const Value>) {
    DisplayNode* n = field(vm, self);
    return Value(n->text ? n->text->antiAliasType : QStringLiteral("normal"));
}
Value setAntiAlias(VM& vm, const Value& self, std::span<const Value> args) {
    DisplayNode* n = field(vm, self);
    const QString v = vm.toString(arg(args, 0));
    if (v != QLatin1String("normal") && v != QLatin1String("advanced"))
        vm.throwError(
            "ArgumentError", 2008,
            QStringLiteral("Parameter antiAliasType must be one of the accepted values."));
    stateOf(n).antiAliasType = v; // both are drawn antialiased
    return Value();
}
Value getMaxChars(VM& vm, const Value& self, std::span<const Value>) {
    return Value(std::int32_t(definition(field(vm, self)).maxLength));
}
Value setMaxChars(VM& vm, const Value& self, std::span<const Value> args) {
    ownDefinition(field(vm, self)).maxLength =
        std::uint16_t(std::clamp(vm.toInt32(arg(args, 0)), 0, 0xFFFF));
    return Value();
}
Value getRestrict(VM& vm, const Value& self, std::span<const Value>) {
    DisplayNode* n = field(vm, self);
    return n->text && n->text->restrict ? Value(*n->text->restrict) : Value::null();
}
Value setRestrict(VM& vm, const Value& self, std::span<const Value> args) {
    DisplayNode* n = field(vm, self);
    stateOf(n).restrict = arg(args, 0).isNullish()
                              ? std::nullopt
                              : std::optional<QString>(vm.toString(arg(args, 0)).left(4096));
    return Value();
}

// --- TextField: metrics and scrolling -----------------------------------------------------

Value getTextWidth(VM& vm, const Value& self, std::span<const Value>) {
    return Value::number(textWidthOf(measure(vm, field(vm, self))) / 20.0);
}
Value getTextHeight(VM& vm, const Value& self, std::span<const Value>) {
    return Value::number(textHeightOf(measure(vm, field(vm, self))) / 20.0);
}
Value getNumLines(VM& vm, const Value& self, std::span<const Value>) {
    return Value(std::int32_t(std::max<std::size_t>(1, measure(vm, field(vm, self)).lines.size())));
}
const render::LaidOutLine& lineArg(VM& vm, const render::EditTextLayout& l,
                                   std::span<const Value> args) {
    const std::int32_t i = vm.toInt32(arg(args, 0));
    if (i < 0 || std::size_t(i) >= l.lines.size())
        vm.throwRangeError(2006, QStringLiteral("The supplied index is out of bounds."));
    return l.lines[std::size_t(i)];
}
Value getLineMetrics(VM& vm, const Value& self, std::span<const Value> args) {
    const render::EditTextLayout l = measure(vm, field(vm, self));
    const render::LaidOutLine& line = lineArg(vm, l, args);
    const Value a[] = {Value::number(line.x / 20.0),
                       Value::number(line.width / 20.0),
                       Value::number((line.ascent + line.descent + line.leading) / 20.0),
                       Value::number(line.ascent / 20.0),
                       Value::number(line.descent / 20.0),
                       Value::number(line.leading / 20.0)};
    return vm.construct(vm.lookupDefinition(QStringLiteral("flash.text::TextLineMetrics")), a);
}
Value getLineText(VM& vm, const Value& self, std::span<const Value> args) {
    const render::EditTextLayout l = measure(vm, field(vm, self));
    QString out;
    for (const render::LaidOutRun& run : lineArg(vm, l, args).runs)
        if (!run.bullet)
            out += run.text;
    return Value(out);
}
Value getScrollV(VM& vm, const Value& self, std::span<const Value>) {
    return Value(std::int32_t(definition(field(vm, self)).scroll) + 1);
}
Value setScrollV(VM& vm, const Value& self, std::span<const Value> args) {
    DisplayNode* n = field(vm, self);
    const int max = maxScrollOf(definition(n), measure(vm, n));
    ownDefinition(n).scroll = std::uint32_t(std::clamp(vm.toInt32(arg(args, 0)), 1, max) - 1);
    return Value();
}
Value getMaxScrollV(VM& vm, const Value& self, std::span<const Value>) {
    DisplayNode* n = field(vm, self);
    return Value(std::int32_t(maxScrollOf(definition(n), measure(vm, n))));
}
Value getBottomScrollV(VM& vm, const Value& self, std::span<const Value>) {
    DisplayNode* n = field(vm, self);
    const EditText& e = definition(n);
    const render::EditTextLayout l = measure(vm, n);
    const std::size_t first = std::min<std::size_t>(e.scroll, l.lines.size());
    std::size_t last = first;
    const double room = e.bounds.height() - 2 * kGutter;
    while (last + 1 < l.lines.size() &&
           lineBottom(l.lines[last + 1]) - lineTop(l.lines[first]) <= room)
        ++last;
    return Value(std::int32_t(last) + 1);
}

// --- TextField: selection -----------------------------------------------------------------

Value getCaret(VM& vm, const Value& self, std::span<const Value>) {
    return Value(std::int32_t(stateOf(field(vm, self)).selectionEnd));
}
Value getSelectionBegin(VM& vm, const Value& self, std::span<const Value>) {
    const TextFieldState& s = stateOf(field(vm, self));
    return Value(std::int32_t(std::min(s.selectionBegin, s.selectionEnd)));
}
Value getSelectionEnd(VM& vm, const Value& self, std::span<const Value>) {
    const TextFieldState& s = stateOf(field(vm, self));
    return Value(std::int32_t(std::max(s.selectionBegin, s.selectionEnd)));
}
Value getSelectedText(VM& vm, const Value& self, std::span<const Value>) {
    const TextFieldState& s = stateOf(field(vm, self));
    const qsizetype b = std::min(s.selectionBegin, s.selectionEnd),
                    e = std::max(s.selectionBegin, s.selectionEnd);
    return Value(s.formats.plain.mid(b, e - b));
}
Value setSelection(VM& vm, const Value& self, std::span<const Value> args) {
    TextFieldState& s = stateOf(field(vm, self));
    const qsizetype len = s.formats.plain.size();
    s.selectionBegin = std::clamp<qsizetype>(vm.toInt32(arg(args, 0)), 0, len);
    s.selectionEnd = std::clamp<qsizetype>(vm.toInt32(arg(args, 1)), 0, len);
    showCaret(vm, field(vm, self));
    return Value();
}

// --- TextLineMetrics, StaticText, Font ------------------------------------------------------

Value lineMetricsCtor(VM&, const Value& self, std::span<const Value> args) {
    Object* o = self.object();
    if (!o)
        return Value();
    static const char* const kNames[] = {"x", "width", "height", "ascent", "descent", "leading"};
    for (std::size_t i = 0; i < std::size(kNames); ++i)
        o->setDynamic(QString::fromLatin1(kNames[i]), i < args.size() ? args[i] : Value::number(0));
    return Value();
}

// The characters a static text shows, a line end between records on different baselines.
Value staticTextText(VM& vm, const Value& self, std::span<const Value>) {
    DisplayNode* n = nodeArg(vm, self);
    if (!n->obj || !n->obj->character || n->obj->character->type != CharacterType::Text)
        return Value(QString());
    const auto& t = static_cast<const StaticText&>(*n->obj->character);
    QString out;
    std::optional<std::int32_t> y;
    for (const TextRun& run : t.runs) {
        if (y && run.y != *y)
            out += u'\r';
        y = run.y;
        if (!run.font)
            continue;
        for (const GlyphEntry& g : run.glyphs)
            if (g.index < run.font->glyphs.size())
                out += QChar(run.font->glyphs[g.index].code);
    }
    return Value(out);
}

QString fontStyle(const Font& f) {
    return f.bold && f.italic ? QStringLiteral("boldItalic")
           : f.bold           ? QStringLiteral("bold")
           : f.italic         ? QStringLiteral("italic")
                              : QStringLiteral("regular");
}
// Fonts a movie embeds with their outlines and names (DefineFont2 and DefineFont3), or as a
// font file (DefineFont4).
bool listedFont(const Font& f) {
    return f.level >= 2 && (!f.glyphs.empty() || !f.fontData.isEmpty()) && !f.name.isEmpty();
}
void describeFont(Object* o, const Font* f) {
    o->setDynamic(QStringLiteral("fontName"), f ? Value(f->name) : Value::null());
    o->setDynamic(QStringLiteral("fontStyle"), f ? Value(fontStyle(*f)) : Value::null());
    o->setDynamic(QStringLiteral("fontType"), !f ? Value(QStringLiteral("device"))
                                              : f->fontData.isEmpty()
                                                  ? Value(QStringLiteral("embedded"))
                                                  : Value(QStringLiteral("embeddedCFF")));
}
const Font* linkedFont(VM& vm, Class* c) {
    if (!vm.displayTree || !c)
        return nullptr;
    const std::uint16_t id = vm.displayTree->characterFor(c);
    const Font* f = id ? vm.displayTree->player.movie().dictionary.findAs<Font>(id) : nullptr;
    return f && listedFont(*f) ? f : nullptr;
}
// A Font subclass linked to an embedded font describes it.
Value fontCtor(VM& vm, const Value& self, std::span<const Value>) {
    if (Object* o = self.object())
        describeFont(o, linkedFont(vm, o->cls));
    return Value();
}
Value fontHasGlyphs(VM& vm, const Value& self, std::span<const Value> args) {
    Object* o = self.object();
    if (!o || !vm.displayTree)
        return Value(false);
    const QString name =
        vm.toString(vm.getProperty(self, vm.publicName(QStringLiteral("fontName"))));
    const QString style =
        vm.toString(vm.getProperty(self, vm.publicName(QStringLiteral("fontStyle"))));
    const QString text = vm.toString(arg(args, 0));
    for (const auto& [id, c] : vm.displayTree->player.movie().dictionary.all()) {
        if (c->type != CharacterType::Font)
            continue;
        const auto& f = static_cast<const Font&>(*c);
        if (!listedFont(f) || f.name != name || fontStyle(f) != style)
            continue;
        if (!f.fontData.isEmpty())
            return Value(render::fontFileHasGlyphs(f, text));
        for (QChar ch : text)
            if (f.glyphForCode(ch.unicode()) < 0)
                return Value(false);
        return Value(true);
    }
    return Value(false);
}
Value enumerateFonts(VM& vm, const Value&, std::span<const Value>) {
    std::vector<const Font*> fonts;
    if (vm.displayTree)
        for (const auto& [id, c] : vm.displayTree->player.movie().dictionary.all())
            if (c->type == CharacterType::Font && listedFont(static_cast<const Font&>(*c)))
                fonts.push_back(static_cast<const Font*>(c.get()));
    // By name, then style, then id: the dictionary has no order of its own.
    std::sort(fonts.begin(), fonts.end(), [](const Font* a, const Font* b) {
        if (a->name != b->name)
            return a->name < b->name;
        if (fontStyle(*a) != fontStyle(*b))
            return fontStyle(*a) < fontStyle(*b);
        return a->id < b->id;
    });
    std::vector<Value> out;
    const Value cls = vm.lookupDefinition(QStringLiteral("flash.text::Font"));
    for (const Font* f : fonts) {
        const Value o = vm.construct(cls, {});
        describeFont(o.object(), f);
        out.push_back(o);
    }
    return Value(static_cast<Object*>(vm.newArray(std::move(out))));
}
// Font.registerFont(class): the class must be a Font linked to an embedded font. Every
// embedded font is listed already, so registering adds nothing more.
Value registerFont(VM& vm, const Value&, std::span<const Value> args) {
    Object* o = arg(args, 0).object();
    Class* c = o && o->kind == ObjectKind::Class ? static_cast<Class*>(o) : nullptr;
    if (!c || !linkedFont(vm, c))
        vm.throwError("ArgumentError", 1508,
                      QStringLiteral("The value specified for argument font is invalid."));
    return Value();
}

// --- Events ---------------------------------------------------------------------------------

Value textEventCtor(VM& vm, const Value& self, std::span<const Value> args) {
    vm.eventClass->iinit.native(vm, self, args);
    nodeArg(vm, self)->setDynamic(QStringLiteral("text"), Value(vm.toString(arg(args, 3))));
    return Value();
}
Value focusEventCtor(VM& vm, const Value& self, std::span<const Value> args) {
    // Focus events bubble unless told otherwise.
    const Value base[] = {arg(args, 0), args.size() > 1 ? args[1] : Value(true), arg(args, 2)};
    vm.eventClass->iinit.native(vm, self, std::span<const Value>(base));
    DisplayNode* e = nodeArg(vm, self);
    e->setDynamic(QStringLiteral("relatedObject"),
                  arg(args, 3).isUndefined() ? Value::null() : arg(args, 3));
    e->setDynamic(QStringLiteral("shiftKey"), Value(VM::toBoolean(arg(args, 4))));
    e->setDynamic(QStringLiteral("keyCode"), Value(std::int32_t(vm.toUint32(arg(args, 5)))));
    return Value();
}

// Dispatches a FocusEvent; false when a listener prevented its default.
bool focusEvent(VM& vm, DisplayNode* target, const QString& type, DisplayNode* related,
                bool cancelable, int keyCode = 0) {
    const Value a[] = {
        Value(type),       Value(true),
        Value(cancelable), related ? Value(static_cast<Object*>(related)) : Value::null(),
        Value(false),      Value(std::int32_t(keyCode))};
    const Value ev =
        vm.construct(vm.lookupDefinition(QStringLiteral("flash.events::FocusEvent")), a);
    dispatchEvent(vm, target, ev);
    return !static_cast<DisplayNode*>(ev.object())->defaultPrevented;
}

// --- Tab order -------------------------------------------------------------------------------

bool takesTab(VM& vm, DisplayNode* n) {
    if (n->tabEnabled)
        return *n->tabEnabled;
    if (isTextField(n))
        return !definition(n).readOnly;
    if (n->buttonMode)
        return true;
    const Value button = vm.lookupDefinition(QStringLiteral("flash.display::SimpleButton"));
    Object* b = button.object();
    return b && b->kind == ObjectKind::Class && n->cls->isSubclassOf(static_cast<Class*>(b));
}

void tabbable(VM& vm, DisplayTree& t, DisplayNode* container, std::vector<DisplayNode*>& out,
              int depth) {
    if (depth > 256)
        return;
    for (DisplayNode* c : t.children(container)) {
        if (!c->place().visible)
            continue;
        if (c->isDisplay && c->cls->isSubclassOf(vm.displayObjectClass) && takesTab(vm, c))
            out.push_back(c);
        if (c->clip && c->tabChildren)
            tabbable(vm, t, c, out, depth + 1);
    }
}

// The objects Tab visits, in order: by tabIndex when any has one (only those), else by their
// place on the stage, top to bottom and then left to right.
std::vector<DisplayNode*> tabOrder(VM& vm, DisplayTree& t) {
    std::vector<DisplayNode*> all;
    if (t.stage)
        tabbable(vm, t, t.stage, all, 0);
    std::vector<DisplayNode*> indexed;
    for (DisplayNode* n : all)
        if (n->tabIndex >= 0)
            indexed.push_back(n);
    if (!indexed.empty()) {
        std::stable_sort(indexed.begin(), indexed.end(),
                         [](DisplayNode* a, DisplayNode* b) { return a->tabIndex < b->tabIndex; });
        return indexed;
    }
    std::vector<std::pair<QPointF, DisplayNode*>> placed;
    for (DisplayNode* n : all)
        placed.emplace_back(t.concatenated(n).mapRect(t.localBounds(n)).topLeft(), n);
    std::stable_sort(placed.begin(), placed.end(), [](const auto& a, const auto& b) {
        return a.first.y() != b.first.y() ? a.first.y() < b.first.y() : a.first.x() < b.first.x();
    });
    std::vector<DisplayNode*> out;
    for (const auto& p : placed)
        out.push_back(p.second);
    return out;
}

// --- Editing ----------------------------------------------------------------------------------

// Scrolls so that the caret's line shows.
void scrollToCaret(VM& vm, DisplayNode* n) {
    TextFieldState& s = stateOf(n);
    if (s.selectionEnd < s.formats.plain.size())
        return; // only typing at the end follows the text down
    const render::EditTextLayout l = measure(vm, n);
    ownDefinition(n).scroll = std::uint32_t(maxScrollOf(definition(n), l) - 1);
}

void edited(VM& vm, DisplayNode* n) {
    show(vm, n);
    scrollToCaret(vm, n);
    dispatchSimple(vm, n, QStringLiteral("change"), true);
}

// The field as the shared editor sees it.
EditableText editable(VM& vm, DisplayNode* n) {
    TextFieldState& s = stateOf(n);
    EditableText f;
    f.text = s.formats.plain;
    f.selection = {s.selectionBegin, s.selectionEnd};
    f.input = isInput(n);
    f.multiline = definition(n).multiline;
    f.layout = [&vm, n] { return measure(vm, n); };
    return f;
}

// Applies an editing step: the text changed sends `change`, a move only shows the caret.
void apply(VM& vm, DisplayNode* n, const EditOutcome& o) {
    TextFieldState& s = stateOf(n);
    if (o.change)
        replaceText(s.formats, o.change->from, o.change->to, o.change->with, s.formats.newFormat);
    s.selectionBegin = o.selection.anchor;
    s.selectionEnd = o.selection.caret;
    if (o.change)
        edited(vm, n);
    else
        showCaret(vm, n);
}

void editKey(VM& vm, DisplayNode* n, int keyCode, bool shift, bool ctrl) {
    const EditOutcome o = swf::editKey(editable(vm, n), keyCode, shift, ctrl);
    if (o.handled)
        apply(vm, n, o);
}

} // namespace

// --- What display.cpp and the runtime call ----------------------------------------------------

bool isTextFieldClass(const Class* c) {
    for (; c; c = c->base)
        if (c->name == QLatin1String("TextField") && c->package == QLatin1String("flash.text"))
            return true;
    return false;
}

std::unique_ptr<EditText> newTextFieldDefinition() {
    auto e = std::make_unique<EditText>();
    e->bounds = Rect{0, 100 * 20, 0, 100 * 20};
    e->readOnly = true; // dynamic
    e->fontHeight = 12 * 20;
    e->hasTextColor = true;
    e->textColor = Rgba{0, 0, 0, 255};
    e->hasLayout = true;
    e->html = true;
    return e;
}

bool setTextFieldExtent(VM& vm, DisplayNode* n, double pixels, bool width) {
    if (!isTextField(n))
        return false;
    if (!std::isfinite(pixels))
        return true;
    const auto twips = std::int32_t(std::clamp(pixels * 20, 0.0, double(kMaxBox)));
    EditText& e = ownDefinition(n);
    if (width)
        e.bounds.xMax = e.bounds.xMin + twips;
    else
        e.bounds.yMax = e.bounds.yMin + twips;
    if (n->text)
        show(vm, n);
    return true;
}

void changeFocus(VM& vm, DisplayNode* to) {
    DisplayTree* t = vm.displayTree;
    if (!t || t->focus == to)
        return;
    DisplayNode* old = t->focus;
    t->focus = to;
    if (old && old->text && !old->text->preedit.isEmpty() && isTextField(old)) {
        old->text->preedit.clear();
        show(vm, old);
    }
    if (old)
        showCaret(vm, old);
    if (to) {
        if (isInput(to))
            stateOf(to);
        showCaret(vm, to);
    }
    if (old)
        focusEvent(vm, old, QStringLiteral("focusOut"), to, false);
    if (to && t->focus == to)
        focusEvent(vm, to, QStringLiteral("focusIn"), old, false);
}

void typeText(VM& vm, const QString& typed) {
    DisplayTree* t = vm.displayTree;
    DisplayNode* n = t ? t->focus : nullptr;
    if (!n || !isInput(n) || !t->onStage(n) || typed.isEmpty())
        return;
    const Value a[] = {Value(QStringLiteral("textInput")), Value(true), Value(true),
                       Value(typed.left(kMaxFieldText))};
    const Value ev =
        vm.construct(vm.lookupDefinition(QStringLiteral("flash.events::TextEvent")), a);
    dispatchEvent(vm, n, ev);
    if (static_cast<DisplayNode*>(ev.object())->defaultPrevented || !isInput(n))
        return;
    TextFieldState& s = stateOf(n);
    s.preedit.clear(); // committed text takes the place of what was being composed
    const EditOutcome o =
        swf::typeInto(editable(vm, n), typed, s.restrict, definition(n).maxLength, kMaxFieldText);
    if (o.change)
        apply(vm, n, o);
}

void focusKey(VM& vm, int keyCode, bool shift, bool ctrl) {
    DisplayTree* t = vm.displayTree;
    if (!t)
        return;
    DisplayNode* n = t->focus && t->onStage(t->focus) ? t->focus : nullptr;
    if (keyCode == kTab && !ctrl) {
        const std::vector<DisplayNode*> order = tabOrder(vm, *t);
        if (order.empty())
            return;
        const auto at = std::find(order.begin(), order.end(), n);
        std::size_t i = 0;
        if (at != order.end()) {
            const std::size_t k = std::size_t(at - order.begin());
            i = shift ? (k + order.size() - 1) % order.size() : (k + 1) % order.size();
        } else if (shift) {
            i = order.size() - 1;
        }
        DisplayNode* next = order[i];
        if (n && !focusEvent(vm, n, QStringLiteral("keyFocusChange"), next, true, kTab))
            return;
        changeFocus(vm, next);
        // A field reached by Tab has all its text selected.
        if (t->focus == next && isTextField(next)) {
            TextFieldState& s = stateOf(next);
            s.selectionBegin = 0;
            s.selectionEnd = s.formats.plain.size();
            showCaret(vm, next);
        }
        return;
    }
    if (n && isTextField(n) && (isInput(n) || !definition(n).noSelect))
        editKey(vm, n, keyCode, shift, ctrl);
}

QString takeSelectedText(VM& vm, bool cut) {
    DisplayTree* t = vm.displayTree;
    DisplayNode* n = t && t->focus && t->onStage(t->focus) ? t->focus : nullptr;
    // Password fields give nothing away.
    if (!isTextField(n) || definition(n).password || (!isInput(n) && definition(n).noSelect))
        return {};
    TextFieldState& s = stateOf(n);
    const qsizetype b = std::min(s.selectionBegin, s.selectionEnd),
                    e = std::max(s.selectionBegin, s.selectionEnd);
    QString out = s.formats.plain.mid(b, e - b);
    if (cut) {
        const EditOutcome o = cutSelection(editable(vm, n));
        if (o.change)
            apply(vm, n, o);
    }
    // Line ends leave as the system writes them.
    out.replace(u'\r', u'\n');
    return out;
}

void composeText(VM& vm, const QString& preedit) {
    DisplayTree* t = vm.displayTree;
    DisplayNode* n = t && t->focus && t->onStage(t->focus) ? t->focus : nullptr;
    if (!n || !isInput(n)) {
        return;
    }
    TextFieldState& s = stateOf(n);
    const QString now = preedit.left(1024);
    if (s.preedit == now)
        return;
    s.preedit = now;
    show(vm, n);
}

namespace {

// The character index a stage point falls before in a field as shown (scrolled).
qsizetype indexAt(VM& vm, DisplayNode* n, QPointF stageTwips) {
    DisplayTree& t = *vm.displayTree;
    bool ok = false;
    const QPointF p = t.concatenated(n).inverted(&ok).map(stageTwips);
    const qsizetype len = stateOf(n).formats.plain.size();
    if (!ok)
        return len;
    return indexAtPoint(measure(vm, n), p, definition(n).scroll, len);
}

} // namespace

void focusOnClick(VM& vm, DisplayNode* target) {
    DisplayTree* t = vm.displayTree;
    if (!t)
        return;
    if (isTextField(target) && (isInput(target) || !definition(target).noSelect)) {
        changeFocus(vm, target);
        if (t->focus == target) {
            TextFieldState& s = stateOf(target);
            s.selectionBegin = s.selectionEnd = indexAt(vm, target, t->mouse);
            showCaret(vm, target);
        }
    } else if (t->focus && isTextField(t->focus)) {
        changeFocus(vm, nullptr);
    }
}

namespace {
// The focused text field the mouse went down on, when the user may select in it.
DisplayNode* pressedSelectableField(VM& vm) {
    DisplayTree* t = vm.displayTree;
    DisplayNode* n = t ? t->focus : nullptr;
    if (!n || n != t->pressed || !isTextField(n) || !t->onStage(n) ||
        (!isInput(n) && definition(n).noSelect))
        return nullptr;
    return n;
}
} // namespace

void selectWordOnDoubleClick(VM& vm) {
    DisplayNode* n = pressedSelectableField(vm);
    if (!n)
        return;
    DisplayTree* t = vm.displayTree;
    TextFieldState& s = stateOf(n);
    const TextSelection w = wordAt(s.formats.plain, indexAt(vm, n, t->mouse));
    s.selectionBegin = w.anchor;
    s.selectionEnd = w.caret;
    showCaret(vm, n);
}

void dragSelect(VM& vm) {
    DisplayNode* n = pressedSelectableField(vm);
    if (!n)
        return;
    DisplayTree* t = vm.displayTree;
    TextFieldState& s = stateOf(n);
    const qsizetype to = indexAt(vm, n, t->mouse);
    if (to != s.selectionEnd) {
        s.selectionEnd = to;
        showCaret(vm, n);
    }
}

void scrollOnWheel(VM& vm, DisplayNode* target, int delta) {
    if (!isTextField(target) || !target->mouseWheelEnabled || delta == 0)
        return;
    const int max = maxScrollOf(definition(target), measure(vm, target));
    const int now = int(definition(target).scroll) + 1;
    const int to = std::clamp(now - delta, 1, max);
    if (to != now) {
        ownDefinition(target).scroll = std::uint32_t(to - 1);
        dispatchSimple(vm, target, QStringLiteral("scroll"), false);
    }
}

bool isEditableOrSelectableText(const DisplayNode* n) {
    return isTextField(n) && (!definition(n).readOnly || !definition(n).noSelect);
}

// --- Installation ----------------------------------------------------------------------------

void installText(VM& vm, Class* dobj, Class* io) {
    const QString text = QStringLiteral("flash.text");
    const QString events = QStringLiteral("flash.events");
    auto methods = [&](Class* c, std::initializer_list<std::pair<const char*, NativeFn>> list) {
        for (auto [name, fn] : list) {
            vm.addMethod(c, QString::fromLatin1(name), fn);
            // Compiled code calls them in the public namespace as well as AS3's.
            if (Binding* b = c->instanceTraits.find(QString::fromLatin1(name), vm.as3Ns()))
                c->instanceTraits.add(QString::fromLatin1(name), vm.publicNs(), *b);
        }
    };
    auto constants = [&](Class* c,
                         std::initializer_list<std::pair<const char*, const char*>> list) {
        for (auto [name, value] : list)
            vm.addStaticValue(c, QString::fromLatin1(name), Value(QString::fromLatin1(value)));
    };

    // Tab order on every interactive object and container. Native classes copy their base's
    // traits when defined, so the ones defined before this are given them too.
    auto displayClass = [&](const char* name) -> Class* {
        const Value v =
            vm.lookupDefinition(QStringLiteral("flash.display::") + QLatin1String(name));
        Object* o = v.object();
        return o && o->kind == ObjectKind::Class ? static_cast<Class*>(o) : nullptr;
    };
    std::vector<Class*> interactive{io};
    std::vector<Class*> containers;
    for (const char* name : {"DisplayObjectContainer", "Sprite", "MovieClip", "Stage"})
        if (Class* c = displayClass(name)) {
            interactive.push_back(c);
            containers.push_back(c);
        }
    if (Class* c = displayClass("SimpleButton"))
        interactive.push_back(c);
    for (Class* c : interactive) {
        vm.addGetter(
            c, QStringLiteral("tabIndex"),
            [](VM& vm, const Value& self, std::span<const Value>) {
                return Value(nodeArg(vm, self)->tabIndex);
            },
            [](VM& vm, const Value& self, std::span<const Value> args) {
                const std::int32_t i = vm.toInt32(arg(args, 0));
                if (i < -1)
                    vm.throwRangeError(
                        2027, QStringLiteral("Parameter tabIndex must be a non-negative number."));
                nodeArg(vm, self)->tabIndex = i;
                return Value();
            });
        vm.addGetter(
            c, QStringLiteral("tabEnabled"),
            [](VM& vm, const Value& self, std::span<const Value>) {
                return Value(takesTab(vm, nodeArg(vm, self)));
            },
            [](VM& vm, const Value& self, std::span<const Value> args) {
                nodeArg(vm, self)->tabEnabled = VM::toBoolean(arg(args, 0));
                return Value();
            });
    }
    for (Class* c : containers)
        vm.addGetter(
            c, QStringLiteral("tabChildren"),
            [](VM& vm, const Value& self, std::span<const Value>) {
                return Value(nodeArg(vm, self)->tabChildren);
            },
            [](VM& vm, const Value& self, std::span<const Value> args) {
                nodeArg(vm, self)->tabChildren = VM::toBoolean(arg(args, 0));
                return Value();
            });

    Class* staticText =
        vm.defineNativeClass(text, QStringLiteral("StaticText"), dobj, allocDisplayNode);
    vm.addGetter(staticText, QStringLiteral("text"), staticTextText);

    Class* tf = vm.defineNativeClass(text, QStringLiteral("TextField"), io, allocDisplayNode);
    vm.addGetter(tf, QStringLiteral("text"), getText, setText);
    vm.addGetter(tf, QStringLiteral("htmlText"), getHtmlText, setHtmlText);
    vm.addGetter(tf, QStringLiteral("length"), getLength);
    vm.addGetter(tf, QStringLiteral("defaultTextFormat"), getDefaultFormat, setDefaultFormat);
    vm.addGetter(tf, QStringLiteral("textColor"), getTextColor, setTextColor);
    vm.addGetter(tf, QStringLiteral("wordWrap"), getFlag<&EditText::wordWrap>,
                 setFlag<&EditText::wordWrap>);
    vm.addGetter(tf, QStringLiteral("multiline"), getFlag<&EditText::multiline>,
                 setFlag<&EditText::multiline>);
    vm.addGetter(tf, QStringLiteral("selectable"), getFlag<&EditText::noSelect, true>,
                 setFlag<&EditText::noSelect, true>);
    vm.addGetter(tf, QStringLiteral("border"), getFlag<&EditText::border>,
                 setFlag<&EditText::border>);
    vm.addGetter(tf, QStringLiteral("background"), getFlag<&EditText::background>,
                 setFlag<&EditText::background>);
    vm.addGetter(tf, QStringLiteral("embedFonts"), getFlag<&EditText::useOutlines>,
                 setFlag<&EditText::useOutlines>);
    vm.addGetter(tf, QStringLiteral("displayAsPassword"), getFlag<&EditText::password>,
                 setFlag<&EditText::password>);
    vm.addGetter(tf, QStringLiteral("borderColor"), getColour<&EditText::borderColor>,
                 setColour<&EditText::borderColor>);
    vm.addGetter(tf, QStringLiteral("backgroundColor"), getColour<&EditText::backgroundColor>,
                 setColour<&EditText::backgroundColor>);
    vm.addGetter(tf, QStringLiteral("type"), getType, setType);
    vm.addGetter(tf, QStringLiteral("autoSize"), getAutoSize, setAutoSize);
    vm.addGetter(tf, QStringLiteral("antiAliasType"), getAntiAlias, setAntiAlias);
    vm.addGetter(tf, QStringLiteral("maxChars"), getMaxChars, setMaxChars);
    vm.addGetter(tf, QStringLiteral("restrict"), getRestrict, setRestrict);
    vm.addGetter(tf, QStringLiteral("textWidth"), getTextWidth);
    vm.addGetter(tf, QStringLiteral("textHeight"), getTextHeight);
    vm.addGetter(tf, QStringLiteral("numLines"), getNumLines);
    vm.addGetter(tf, QStringLiteral("scrollV"), getScrollV, setScrollV);
    vm.addGetter(tf, QStringLiteral("maxScrollV"), getMaxScrollV);
    vm.addGetter(tf, QStringLiteral("bottomScrollV"), getBottomScrollV);
    vm.addGetter(tf, QStringLiteral("caretIndex"), getCaret);
    vm.addGetter(tf, QStringLiteral("selectionBeginIndex"), getSelectionBegin);
    vm.addGetter(tf, QStringLiteral("selectionEndIndex"), getSelectionEnd);
    vm.addGetter(tf, QStringLiteral("selectedText"), getSelectedText);
    vm.addGetter(
        tf, QStringLiteral("alwaysShowSelection"),
        [](VM& vm, const Value& self, std::span<const Value>) {
            return Value(stateOf(field(vm, self)).alwaysShowSelection);
        },
        [](VM& vm, const Value& self, std::span<const Value> args) {
            DisplayNode* n = field(vm, self);
            stateOf(n).alwaysShowSelection = VM::toBoolean(arg(args, 0));
            showCaret(vm, n);
            return Value();
        });
    methods(tf, {{"appendText", appendText},
                 {"replaceText", replaceTextNative},
                 {"replaceSelectedText", replaceSelectedText},
                 {"getTextFormat", getTextFormat},
                 {"setTextFormat", setTextFormat},
                 {"getLineMetrics", getLineMetrics},
                 {"getLineText", getLineText},
                 {"setSelection", setSelection}});

    Class* format =
        vm.defineNativeClass(text, QStringLiteral("TextFormat"), vm.objectClass, nullptr, true);
    format->iinit.native = textFormatCtor;
    declareFormatMembers(vm, format);

    Class* metrics = vm.defineNativeClass(text, QStringLiteral("TextLineMetrics"), vm.objectClass);
    metrics->isSealed = false;
    metrics->iinit.native = lineMetricsCtor;

    Class* font = vm.defineNativeClass(text, QStringLiteral("Font"), vm.objectClass);
    font->isSealed = false;
    font->iinit.native = fontCtor;
    methods(font, {{"hasGlyphs", fontHasGlyphs}});
    vm.addStatic(font, QStringLiteral("enumerateFonts"), enumerateFonts);
    vm.addStatic(font, QStringLiteral("registerFont"), registerFont);

    constants(vm.defineNativeClass(text, QStringLiteral("TextFieldAutoSize"), vm.objectClass),
              {{"NONE", "none"}, {"LEFT", "left"}, {"RIGHT", "right"}, {"CENTER", "center"}});
    constants(vm.defineNativeClass(text, QStringLiteral("TextFieldType"), vm.objectClass),
              {{"INPUT", "input"}, {"DYNAMIC", "dynamic"}});
    constants(vm.defineNativeClass(text, QStringLiteral("TextFormatAlign"), vm.objectClass),
              {{"LEFT", "left"},
               {"RIGHT", "right"},
               {"CENTER", "center"},
               {"JUSTIFY", "justify"},
               {"START", "start"},
               {"END", "end"}});
    constants(vm.defineNativeClass(text, QStringLiteral("AntiAliasType"), vm.objectClass),
              {{"NORMAL", "normal"}, {"ADVANCED", "advanced"}});
    constants(vm.defineNativeClass(text, QStringLiteral("FontStyle"), vm.objectClass),
              {{"REGULAR", "regular"},
               {"BOLD", "bold"},
               {"ITALIC", "italic"},
               {"BOLD_ITALIC", "boldItalic"}});
    constants(vm.defineNativeClass(text, QStringLiteral("FontType"), vm.objectClass),
              {{"EMBEDDED", "embedded"}, {"EMBEDDED_CFF", "embeddedCFF"}, {"DEVICE", "device"}});

    Class* textEvent =
        vm.defineNativeClass(events, QStringLiteral("TextEvent"), vm.eventClass, allocDisplayNode);
    textEvent->iinit.native = textEventCtor;
    constants(textEvent, {{"TEXT_INPUT", "textInput"}, {"LINK", "link"}});
    Class* focusEventClass =
        vm.defineNativeClass(events, QStringLiteral("FocusEvent"), vm.eventClass, allocDisplayNode);
    focusEventClass->iinit.native = focusEventCtor;
    constants(focusEventClass, {{"FOCUS_IN", "focusIn"},
                                {"FOCUS_OUT", "focusOut"},
                                {"KEY_FOCUS_CHANGE", "keyFocusChange"},
                                {"MOUSE_FOCUS_CHANGE", "mouseFocusChange"}});
}

} // namespace swf::avm2
