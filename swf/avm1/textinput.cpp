#include "swf/avm1/textinput.h"

#include "swf/player.h"
#include "swf/render/edittext.h"

#include <algorithm>

namespace swf::avm1 {

// textfield.cpp: the variable a field shows, and its characters' formats.
bool fieldVariable(VM& vm, const EditText& text, MovieClip* parent, MovieClip*& target,
                   QString& name);
FieldFormats& fieldFormatsOf(VM& vm, DisplayObject* d, const EditText& e);
void showFieldFormats(DisplayObject* d, const FieldFormats& f);

namespace {

constexpr qsizetype kMaxFieldText = 1 << 18; // as scripts may set
constexpr std::int32_t kTallBox = 1 << 26;   // twips: a box no text fills

const EditText* editText(const DisplayObject* d) {
    return d && d->character && d->character->type == CharacterType::EditText
               ? static_cast<const EditText*>(d->character)
               : nullptr;
}

Value arg(std::span<const Value> a, std::size_t i) {
    return i < a.size() ? a[i] : Value();
}

// The field's characters as scripts read them.
QString plainText(VM& vm, DisplayObject* d) {
    if (auto it = vm.fieldFormats.find(d); it != vm.fieldFormats.end())
        return it->plain;
    const EditText& e = *editText(d);
    return e.html ? htmlToPlain(d->text) : d->text;
}

// The field's whole text laid out as it would show unscrolled (its box made tall for the
// moment, as the layout leaves out lines below the box).
render::EditTextLayout layoutOf(DisplayObject* d, const MovieClip* parent) {
    EditText* e = PlayerScripting::ownText(*d);
    if (!e)
        return {};
    const std::int32_t bottom = e->bounds.yMax;
    const std::uint32_t scroll = e->scroll;
    e->bounds.yMax = kTallBox;
    e->scroll = 0;
    render::FontFinder fonts;
    if (parent)
        fonts = render::fontsIn(parent->origin().movie().dictionary);
    render::EditTextLayout l = render::layoutEditText(*e, d->text, e->html, fonts);
    e->bounds.yMax = bottom;
    e->scroll = scroll;
    return l;
}

EditableText focusedEditable(VM& vm) {
    VM::TextFocus& f = vm.textFocus;
    EditableText t;
    t.text = plainText(vm, f.field);
    t.selection = f.selection;
    t.input = isInputText(vm, *f.field);
    t.multiline = editText(f.field)->multiline;
    DisplayObject* d = f.field;
    MovieClip* parent = f.parent;
    t.layout = [d, parent] { return layoutOf(d, parent); };
    return t;
}

// Typing at the end of a field taller than its box scrolls the box down with it.
void scrollToEnd(DisplayObject* d, MovieClip* parent) {
    const render::EditTextLayout l = layoutOf(d, parent);
    const EditText& e = *editText(d);
    if (l.lines.empty())
        return;
    const double room = e.bounds.height() - 80; // the layout's gutter of 2 pixels each side
    std::size_t first = l.lines.size() - 1;
    auto top = [](const render::LaidOutLine& line) { return line.baseline - line.ascent; };
    const double bottom = l.lines.back().baseline + l.lines.back().descent;
    while (first > 0 && bottom - top(l.lines[first - 1]) <= room)
        --first;
    if (e.scroll != first)
        if (EditText* own = PlayerScripting::ownText(*d)) {
            own->scroll = std::uint32_t(first);
            ++own->generation;
        }
}

// Runs `method` of `target` with `args`: from the host as a script of its own, from a running
// script as a call whose errors the script handles.
void fire(VM& vm, Object* target, const QString& method, std::span<const Value> args,
          bool fromScript) {
    if (!target)
        return;
    const Value fn = vm.getMember(Value(target), method);
    if (!fn.isObject())
        return;
    if (fromScript)
        vm.call(fn, Value(target), args);
    else
        vm.callFromHost(fn, Value(target), args);
}

Value fieldValue(VM& vm, DisplayObject* d, MovieClip* parent) {
    return d ? Value(vm.textFieldObject(d, parent)) : Value::null();
}

// The focused field took an editing step: its text changes, its variable follows, then
// onChanged runs on the field and its listeners.
void apply(VM& vm, const EditOutcome& o) {
    VM::TextFocus& f = vm.textFocus;
    DisplayObject* d = f.field;
    const EditText& e = *editText(d);
    f.selection = o.selection;
    if (!o.change) {
        showTextFocus(vm);
        return;
    }
    const TextChange& c = *o.change;
    // An HTML field is edited through its characters' formats, a plain one as its text.
    if (e.html)
        fieldFormatsOf(vm, d, e);
    if (auto it = vm.fieldFormats.find(d); it != vm.fieldFormats.end()) {
        replaceText(*it, c.from, c.to, c.with, it->newFormat);
        showFieldFormats(d, *it);
    } else {
        const qsizetype from = std::clamp<qsizetype>(c.from, 0, d->text.size());
        const qsizetype to = std::clamp<qsizetype>(c.to, from, d->text.size());
        d->text.replace(from, to - from, c.with);
    }
    MovieClip* parent = f.parent;
    if (f.selection.caret >= plainText(vm, d).size())
        scrollToEnd(d, parent);
    showTextFocus(vm);
    Object* field = vm.textFieldObject(d, parent);
    MovieClip* target = nullptr;
    QString name;
    if (fieldVariable(vm, e, parent, target, name))
        vm.setMember(Value(vm.clipObject(target)), name, Value(plainText(vm, d)));
    if (field->field != d)
        return; // the variable's setter removed the field
    const Value a[] = {Value(field)};
    fire(vm, field, QStringLiteral("onChanged"), a, false);
    // Listeners added with TextField.addListener.
    const std::vector<Value> listeners = field->extra;
    for (const Value& l : listeners)
        if (Object* o = l.asObject(); o && field->field == d)
            fire(vm, o, QStringLiteral("onChanged"), a, false);
}

// The field a Selection.setFocus argument names: a TextField object or a target path to one.
std::pair<DisplayObject*, MovieClip*> fieldNamed(VM& vm, const Value& v) {
    if (Object* o = v.asObject()) {
        if (o->kind == Object::Kind::TextField && o->field)
            return {o->field, o->fieldParent};
        return {};
    }
    const QString path = vm.toString(v);
    qsizetype cut = path.lastIndexOf(u'.');
    if (cut < 0)
        cut = path.lastIndexOf(u'/');
    MovieClip* parent = cut < 0 ? vm.rootClip() : vm.resolveTarget(path.left(cut), vm.rootClip());
    if (!parent)
        return {};
    DisplayObject* d = parent->displayList().byName(path.mid(cut + 1));
    return editText(d) ? std::make_pair(d, parent) : std::pair<DisplayObject*, MovieClip*>{};
}

} // namespace

bool isInputText(const VM& vm, const DisplayObject& field) {
    const EditText* e = editText(&field);
    return e && !e->readOnly && !vm.styledFields.contains(&field); // a style sheet: no typing
}

bool takesTextFocus(const DisplayObject& field) {
    const EditText* e = editText(&field);
    return e && (!e->readOnly || !e->noSelect);
}

void showTextFocus(VM& vm, DisplayObject* previous) {
    if (previous && previous != vm.textFocus.field) {
        previous->caret = -1;
        previous->selectionFrom = previous->selectionTo = -1;
        previous->composedText.reset();
    }
    DisplayObject* d = vm.textFocus.field;
    if (!d)
        return;
    const qsizetype len = plainText(vm, d).size();
    TextSelection& s = vm.textFocus.selection;
    s = {std::clamp<qsizetype>(s.anchor, 0, len), std::clamp<qsizetype>(s.caret, 0, len)};
    const QString& composing = vm.textFocus.preedit;
    if (composing.isEmpty() || !isInputText(vm, *d)) {
        d->composedText.reset();
        d->caret = isInputText(vm, *d) ? std::int32_t(s.caret) : -1;
        d->selectionFrom = s.empty() ? -1 : std::int32_t(s.begin());
        d->selectionTo = s.empty() ? -1 : std::int32_t(s.end());
        return;
    }
    // What is being composed shows underlined at the caret, with the caret after it and no
    // selection, as the ActionScript 3 field shows it.
    const EditText& e = *editText(d);
    if (e.html)
        fieldFormatsOf(vm, d, e);
    if (auto it = vm.fieldFormats.find(d); it != vm.fieldFormats.end()) {
        FieldFormats shown = *it;
        TextFormatData f = s.caret > 0 ? shown.chars[std::size_t(s.caret - 1)] : shown.newFormat;
        f.underline = true;
        replaceText(shown, s.caret, s.caret, composing, f);
        d->composedText = formatsToHtml(shown);
    } else {
        // A plain field: its text as HTML with no formats of its own, so that it lays out as
        // the plain text does, only the composition marked. The field stays a plain one.
        const qsizetype at = std::min(s.caret, d->text.size());
        d->composedText = d->text.left(at).toHtmlEscaped() + QLatin1String("<u>") +
                          composing.toHtmlEscaped() + QLatin1String("</u>") +
                          d->text.mid(at).toHtmlEscaped();
    }
    d->caret = std::int32_t(s.caret + composing.size());
    d->selectionFrom = d->selectionTo = -1;
}

void composeInFocusedField(VM& vm, const QString& preedit) {
    DisplayObject* d = vm.textFocus.field;
    const QString now = d && isInputText(vm, *d) ? preedit.left(1024) : QString();
    if (now == vm.textFocus.preedit)
        return;
    vm.textFocus.preedit = now;
    showTextFocus(vm);
}

namespace {

// The focus moves to a field (in `parent`), to a button or clip, or to nothing; one of
// `field` and `clip` at most. The one losing it hears onKillFocus(new), the one gaining it
// onSetFocus(old), then Selection's listeners onSetFocus(old, new).
bool moveFocus(VM& vm, DisplayObject* field, MovieClip* parent, MovieClip* clip, bool fromScript) {
    VM::TextFocus& f = vm.textFocus;
    if (f.field == field && vm.buttonFocus == clip)
        return true;
    DisplayObject* old = f.field;
    MovieClip* oldParent = f.parent;
    MovieClip* oldClip = vm.buttonFocus;
    f.field = field;
    f.parent = field ? parent : nullptr;
    f.selection = {};
    f.preedit.clear();
    vm.buttonFocus = clip;
    if (field) {
        // A field given the focus has its whole text selected.
        f.selection = {0, plainText(vm, field).size()};
    }
    showTextFocus(vm, old);
    auto valueOf = [&vm](DisplayObject* d, MovieClip* p, MovieClip* c) {
        return c ? Value(vm.clipObject(c)) : fieldValue(vm, d, p);
    };
    const Value oldValue = valueOf(old, oldParent, oldClip);
    const Value newValue = valueOf(field, parent, clip);
    if (old || oldClip) {
        const Value a[] = {newValue};
        fire(vm, oldValue.asObject(), QStringLiteral("onKillFocus"), a, fromScript);
    }
    auto arrived = [&] { return vm.textFocus.field == field && vm.buttonFocus == clip; };
    if ((field || clip) && arrived()) {
        const Value a[] = {oldValue};
        fire(vm, newValue.asObject(), QStringLiteral("onSetFocus"), a, fromScript);
    }
    const std::vector<Object*> listeners = vm.selectionListeners;
    const Value a[] = {oldValue, newValue};
    for (Object* l : listeners)
        fire(vm, l, QStringLiteral("onSetFocus"), a, fromScript);
    return arrived();
}

} // namespace

bool setTextFocus(VM& vm, DisplayObject* field, MovieClip* parent, bool fromScript) {
    if (field && !editText(field))
        return false;
    return moveFocus(vm, field, parent, nullptr, fromScript);
}

bool hasButtonEvents(VM& vm, MovieClip* clip, const DisplayObject* d) {
    if (!d)
        d = vm.displayObjectOf(clip);
    if (!d)
        return false;
    if (d->button())
        return true;
    // Handlers may come from the clip's prototype too.
    Object* o = vm.clipObject(clip);
    for (const char* m : {"onPress", "onRelease", "onRollOver", "onRollOut", "onReleaseOutside"})
        if (vm.getMember(Value(o), QString::fromLatin1(m)).isObject())
            return true;
    if (d->clipActions) {
        // press, release, releaseOutside, rollOver, rollOut
        for (const ClipAction& a : *d->clipActions)
            if (a.events & (0x400 | 0x800 | 0x1000 | 0x2000 | 0x4000))
                return true;
    }
    return false;
}

bool takesButtonFocus(VM& vm, MovieClip* clip, const DisplayObject* d) {
    if (!clip || !clip->parent())
        return false;
    Object* o = vm.existingClipObject(clip);
    const Value tab = o ? vm.getMember(Value(o), QStringLiteral("tabEnabled")) : Value();
    if (!tab.isNullish())
        return vm.toBoolean(tab);
    return hasButtonEvents(vm, clip, d);
}

bool setButtonFocus(VM& vm, MovieClip* clip, bool fromScript) {
    if (clip && !takesButtonFocus(vm, clip))
        return false;
    return moveFocus(vm, nullptr, nullptr, clip, fromScript);
}

bool showsFocusRect(VM& vm, MovieClip* clip) {
    if (!clip)
        return false;
    const auto own = vm.focusRects.constFind(clip);
    return own != vm.focusRects.constEnd() ? *own : vm.movieFocusRect;
}

void pressFocusedField(VM& vm, QPointF local) {
    DisplayObject* d = vm.textFocus.field;
    if (!d)
        return;
    const qsizetype i = indexAtPoint(layoutOf(d, vm.textFocus.parent), local, editText(d)->scroll,
                                     plainText(vm, d).size());
    vm.textFocus.selection = TextSelection::at(i);
    showTextFocus(vm);
}

void dragInFocusedField(VM& vm, QPointF local) {
    DisplayObject* d = vm.textFocus.field;
    if (!d)
        return;
    vm.textFocus.selection.caret = indexAtPoint(layoutOf(d, vm.textFocus.parent), local,
                                                editText(d)->scroll, plainText(vm, d).size());
    showTextFocus(vm);
}

void selectWordInFocusedField(VM& vm, QPointF local) {
    DisplayObject* d = vm.textFocus.field;
    if (!d)
        return;
    const QString text = plainText(vm, d);
    const qsizetype i =
        indexAtPoint(layoutOf(d, vm.textFocus.parent), local, editText(d)->scroll, text.size());
    vm.textFocus.selection = wordAt(text, i);
    showTextFocus(vm);
}

bool focusedFieldKey(VM& vm, int keyCode, bool shift, bool ctrl) {
    if (!vm.textFocus.field)
        return false;
    const EditOutcome o = editKey(focusedEditable(vm), keyCode, shift, ctrl);
    if (o.handled)
        apply(vm, o);
    return o.handled;
}

void typeIntoFocusedField(VM& vm, const QString& typed) {
    DisplayObject* d = vm.textFocus.field;
    if (!d || !isInputText(vm, *d))
        return;
    const auto r = vm.fieldRestrict.find(d);
    const std::optional<QString> restrict =
        r == vm.fieldRestrict.end() ? std::nullopt : std::optional<QString>(*r);
    vm.textFocus.preedit.clear(); // committed text takes the place of what was composed
    const EditOutcome o =
        typeInto(focusedEditable(vm), typed, restrict, editText(d)->maxLength, kMaxFieldText);
    if (o.change)
        apply(vm, o);
    else
        showTextFocus(vm);
}

QString takeFocusedSelection(VM& vm, bool cut) {
    DisplayObject* d = vm.textFocus.field;
    if (!d || editText(d)->password || !takesTextFocus(*d))
        return {};
    const TextSelection s = vm.textFocus.selection;
    QString out = plainText(vm, d).mid(s.begin(), s.end() - s.begin());
    if (cut) {
        const EditOutcome o = cutSelection(focusedEditable(vm));
        if (o.change)
            apply(vm, o);
    }
    out.replace(u'\r', u'\n'); // line ends leave as the system writes them
    return out;
}

void VM::installSelection() {
    Object* selection = newObject();
    define(m_global, QStringLiteral("Selection"), Value(selection));
    defineMethod(selection, QStringLiteral("getFocus"),
                 [](VM& vm, Value, std::span<const Value>) -> Value {
                     const TextFocus& f = vm.textFocus;
                     if (vm.buttonFocus)
                         return Value(vm.targetPath(vm.buttonFocus));
                     if (!f.field || !f.parent)
                         return Value::null();
                     return Value(vm.targetPath(f.parent) + u'.' + f.field->name);
                 });
    defineMethod(selection, QStringLiteral("setFocus"),
                 [](VM& vm, Value, std::span<const Value> a) {
                     const Value v = arg(a, 0);
                     if (v.isNullish())
                         return Value(setTextFocus(vm, nullptr, nullptr, true));
                     const auto [field, parent] = fieldNamed(vm, v);
                     if (field)
                         return Value(setTextFocus(vm, field, parent, true));
                     // A button or a clip with button events.
                     MovieClip* clip = nullptr;
                     if (Object* o = v.asObject(); o && o->kind == Object::Kind::Clip)
                         clip = o->clip;
                     else if (!v.asObject())
                         clip = vm.resolveTarget(vm.toString(v), vm.rootClip());
                     return Value(clip && setButtonFocus(vm, clip, true));
                 });
    defineMethod(
        selection, QStringLiteral("getBeginIndex"), [](VM& vm, Value, std::span<const Value>) {
            return Value(vm.textFocus.field ? double(vm.textFocus.selection.begin()) : -1.0);
        });
    defineMethod(selection, QStringLiteral("getEndIndex"),
                 [](VM& vm, Value, std::span<const Value>) {
                     return Value(vm.textFocus.field ? double(vm.textFocus.selection.end()) : -1.0);
                 });
    defineMethod(selection, QStringLiteral("getCaretIndex"),
                 [](VM& vm, Value, std::span<const Value>) {
                     return Value(vm.textFocus.field ? double(vm.textFocus.selection.caret) : -1.0);
                 });
    defineMethod(selection, QStringLiteral("setSelection"),
                 [](VM& vm, Value, std::span<const Value> a) {
                     if (vm.textFocus.field) {
                         vm.textFocus.selection = {
                             qsizetype(std::clamp(vm.toInt(arg(a, 0)), 0, int(kMaxFieldText))),
                             qsizetype(std::clamp(vm.toInt(arg(a, 1)), 0, int(kMaxFieldText)))};
                         showTextFocus(vm);
                     }
                     return Value();
                 });
    defineMethod(selection, QStringLiteral("addListener"),
                 listenerMethod(selectionListeners, true));
    defineMethod(selection, QStringLiteral("removeListener"),
                 listenerMethod(selectionListeners, false));

    // TextField listeners (onChanged): kept by the field's object.
    auto fieldListeners = [](bool add) {
        return [add](VM&, Value self, std::span<const Value> a) {
            Object* field = self.asObject();
            Object* o = arg(a, 0).asObject();
            if (!field || field->kind != Object::Kind::TextField || !o)
                return Value(false);
            auto& list = field->extra;
            auto it = std::find_if(list.begin(), list.end(),
                                   [o](const Value& v) { return v.asObject() == o; });
            if (add && it == list.end() && list.size() < 10000)
                list.push_back(Value(o));
            if (!add && it != list.end())
                list.erase(it);
            return Value(true);
        };
    };
    defineMethod(m_textFieldProto, QStringLiteral("addListener"), fieldListeners(true));
    defineMethod(m_textFieldProto, QStringLiteral("removeListener"), fieldListeners(false));
}

} // namespace swf::avm1
