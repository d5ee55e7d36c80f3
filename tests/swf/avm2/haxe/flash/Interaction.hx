// What scripts see of mouse interaction and text selection: the documented defaults of
// doubleClickEnabled, useHandCursor, hitArea and mouseWheelEnabled; MouseEvent's delta; and
// TextField's selection API (setSelection, selectedText, replaceSelectedText, the indices).
// Expected output is written by hand in Interaction.expected from the ActionScript 3.0
// Language Reference; the comment above each trace names the documented rule.

import flash.display.Sprite;
import flash.events.MouseEvent;
import flash.text.TextField;
import flash.text.TextFieldType;

class Interaction {
	static function main() {
		var s = new Sprite();
		// doubleClickEnabled defaults to false; useHandCursor to true; hitArea to null;
		// buttonMode to false.
		trace(s.doubleClickEnabled + " " + s.useHandCursor + " " + (s.hitArea == null) + " " + s.buttonMode);
		var h = new Sprite();
		s.hitArea = h;
		s.doubleClickEnabled = true;
		s.useHandCursor = false;
		trace((s.hitArea == h) + " " + s.doubleClickEnabled + " " + s.useHandCursor);
		s.hitArea = null;
		trace(s.hitArea == null);

		// MouseEvent's eleventh argument is delta, the lines each wheel notch scrolls.
		var got = "";
		s.addEventListener(MouseEvent.MOUSE_WHEEL, function(e:MouseEvent) {
			got = e.type + " " + e.delta + " " + e.bubbles;
		});
		s.dispatchEvent(new MouseEvent(MouseEvent.MOUSE_WHEEL, true, false, 0, 0, null, false, false, false, false, -3));
		trace(got);
		trace(MouseEvent.DOUBLE_CLICK + " " + MouseEvent.MOUSE_WHEEL);

		var t = new TextField();
		// mouseWheelEnabled defaults to true; alwaysShowSelection to false.
		trace(t.mouseWheelEnabled + " " + t.alwaysShowSelection);
		t.type = TextFieldType.INPUT;
		t.text = "hello world";
		// setSelection(begin, end) selects the characters from begin up to (not including) end.
		t.setSelection(0, 5);
		trace(t.selectionBeginIndex + " " + t.selectionEndIndex + " [" + t.selectedText + "]");
		// replaceSelectedText puts the text in place of the selection; the caret follows it.
		t.replaceSelectedText("HELLO");
		trace(t.text + " " + t.selectionBeginIndex + " " + t.selectionEndIndex + " [" + t.selectedText + "]");
		// With nothing selected, replaceSelectedText inserts at the caret.
		t.setSelection(11, 11);
		t.replaceSelectedText("!");
		trace(t.text + " " + t.caretIndex);
		// Setting the text puts the caret at the end with nothing selected.
		t.setSelection(6, 11);
		trace("[" + t.selectedText + "]");
		t.text = "new";
		trace("[" + t.selectedText + "] " + t.selectionBeginIndex + " " + t.selectionEndIndex);
	}
}
