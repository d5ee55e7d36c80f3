#pragma once

// Editing a text field's text as the user does it: moving the caret, selecting, typing,
// deleting, words and lines. Both script engines drive their fields through these functions,
// so keys behave the same in ActionScript 1, 2 and 3 movies; each engine only applies the
// outcome to its own field and sends its own events.

#include "swf/render/edittext.h"

#include <QPointF>
#include <QString>
#include <algorithm>
#include <functional>
#include <optional>

namespace swf {

// Key codes as Key.getCode and flash.ui.Keyboard name them.
namespace keys {
constexpr int kBackspace = 8, kTab = 9, kEnter = 13, kShift = 16, kControl = 17, kEnd = 35,
              kHome = 36, kLeft = 37, kUp = 38, kRight = 39, kDown = 40, kDelete = 46, kA = 65;
}

// A field's selection: the caret moves, the anchor stays where the selection began. Equal
// ends: no selection, only the caret.
struct TextSelection {
    qsizetype anchor = 0, caret = 0;
    qsizetype begin() const { return std::min(anchor, caret); }
    qsizetype end() const { return std::max(anchor, caret); }
    bool empty() const { return anchor == caret; }
    static TextSelection at(qsizetype i) { return {i, i}; }
    bool operator==(const TextSelection&) const = default;
};

// Characters [from, to) of the text replaced by `with`.
struct TextChange {
    qsizetype from = 0, to = 0;
    QString with;
};

// What a step does to the field: the change to its text, if any, then the new selection.
struct EditOutcome {
    std::optional<TextChange> change;
    TextSelection selection;
    bool handled = false; // the key means something to a field
};

// The field as the editor sees it.
struct EditableText {
    QString text; // plain, line ends as carriage returns
    TextSelection selection;
    bool input = false; // the user may change the text (else only select it)
    bool multiline = false;
    // The whole text laid out unscrolled; asked for only by steps that need lines.
    std::function<render::EditTextLayout()> layout;
};

// A key pressed in the focused field: arrows, Home and End (of the line; with Ctrl of the
// text), Up and Down between lines, Backspace and Delete, Ctrl+A; Shift extends the selection.
// Ctrl with Left or Right moves by words.
EditOutcome editKey(const EditableText& field, int keyCode, bool shift, bool ctrl);

// Typed (or pasted, or committed by an input method) text replacing the selection: what the
// field refuses is dropped (restrict, line ends outside multiline fields) and the text stays
// within maxChars (0: no limit) and `maxText`. Nothing when nothing is left to add.
EditOutcome typeInto(const EditableText& field, const QString& typed,
                     const std::optional<QString>& restrict, qsizetype maxChars, qsizetype maxText);

// The selection cut out of an input field (nothing for an empty selection or a read-only field).
EditOutcome cutSelection(const EditableText& field);

// The word (letters, digits and '_'), run of spaces or single other character at `index`,
// as a double click selects it.
TextSelection wordAt(const QString& text, qsizetype index);

// The character index a point in the field (twips, in the field's own coordinates) falls
// before: the nearest caret stop on the line under it, with `firstLineShown` lines scrolled off
// the top. `layout` is the whole text laid out unscrolled.
qsizetype indexAtPoint(const render::EditTextLayout& layout, QPointF point,
                       std::size_t firstLineShown, qsizetype textLength);

// The line of `layout` holding the caret at `index`.
std::size_t lineOfIndex(const render::EditTextLayout& layout, qsizetype index);

} // namespace swf
