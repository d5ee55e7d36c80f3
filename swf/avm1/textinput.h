#pragma once

// The user typing into ActionScript 1 and 2 text fields: the keyboard focus, the Selection
// object, and the caret, selection and edits of the focused field through the editor both
// script engines share (swf/textedit.h). The field's bound variable follows every edit, and
// the field's onChanged, onSetFocus and onKillFocus run as Flash Player 6 and later run them.

#include "swf/avm1/vm.h"

#include <QPointF>

namespace swf::avm1 {

// Whether a click on this field gives it the focus: input text, or text that can be selected.
bool takesTextFocus(const DisplayObject& field);
// Whether the user can type into the field.
bool isInputText(const VM& vm, const DisplayObject& field);

// Moves the keyboard focus to `field` in `parent` (null: no field). The field losing it gets
// onKillFocus(new), the one gaining it onSetFocus(old), then Selection's listeners
// onSetFocus(old, new). `fromScript`: called by a running script (Selection.setFocus), whose
// errors its caller handles. Returns whether the focus is now where asked.
bool setTextFocus(VM& vm, DisplayObject* field, MovieClip* parent, bool fromScript);

// The mouse went down at `local` (twips, the field's coordinates) over the focused field:
// the caret goes there. With the button held, the selection follows the mouse; a double click
// selects the word.
void pressFocusedField(VM& vm, QPointF local);
void dragInFocusedField(VM& vm, QPointF local);
void selectWordInFocusedField(VM& vm, QPointF local);

// An editing key for the focused field; false when the field has no use for it.
bool focusedFieldKey(VM& vm, int keyCode, bool shift, bool ctrl);
// Text typed, pasted or committed by an input method, into the focused input field.
void typeIntoFocusedField(VM& vm, const QString& typed);
// The focused field's selected text (none from password fields); `cut` takes it out.
QString takeFocusedSelection(VM& vm, bool cut);

// An input method's text being composed (empty: none), shown underlined at the focused input
// field's caret until it is committed (typed) or the focus moves.
void composeInFocusedField(VM& vm, const QString& preedit);

// Buttons and clips with button events take the keyboard focus too (Tab, Selection.setFocus).
// Whether `clip` (a button's host, or a clip) can: a button, or a clip with button events
// (onPress and the like, or on(press) handlers), unless its tabEnabled says otherwise.
// `object`: the clip's object on its parent's list (the button's), when the caller knows it.
bool takesButtonFocus(VM& vm, MovieClip* clip, const DisplayObject* object = nullptr);
bool hasButtonEvents(VM& vm, MovieClip* clip, const DisplayObject* object = nullptr);
// Moves the keyboard focus to a button (its host clip) or clip (null: nothing); a text field
// holding it loses it. The one losing it gets onKillFocus(new), the one gaining it
// onSetFocus(old), then Selection's listeners onSetFocus(old, new).
bool setButtonFocus(VM& vm, MovieClip* clip, bool fromScript);
// Whether the focused button or clip shows the yellow focus rectangle: its _focusrect, or the
// movie's when it has none of its own set.
bool showsFocusRect(VM& vm, MovieClip* clip);

// Shows the focused field's caret and selection, and hides them on every other field.
void showTextFocus(VM& vm, DisplayObject* previous = nullptr);

} // namespace swf::avm1
