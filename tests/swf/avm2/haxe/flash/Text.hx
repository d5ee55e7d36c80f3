// flash.text as scripts use it: a new TextField's defaults, text and its line ends, appendText,
// formats by range (getTextFormat/setTextFormat and defaultTextFormat), htmlText, textColor,
// the box under width and autoSize, line metrics, wrapping and scrolling, the constant classes,
// Font, and the focus through stage.focus with FocusEvent. Expected output is written by hand
// in Text.expected from the ActionScript 3.0 Language Reference; the comment above each trace
// names the documented rule. Metrics depend on the fonts of the machine, so they are printed as
// relations the Reference states (the 2-pixel gutter, height as ascent + descent + leading)
// or against bounds a 12-point line must keep (taller than 12 pixels, shorter than 20).

import flash.events.FocusEvent;
import flash.text.Font;
import flash.text.TextField;
import flash.text.TextFieldAutoSize;
import flash.text.TextFieldType;
import flash.text.TextFormat;
import flash.text.TextFormatAlign;

class Text {
	static function bars(s:String):String
		return StringTools.replace(s, "\r", "|");

	static function near(a:Float, b:Float):Bool
		return Math.abs(a - b) < 0.1;

	static function main() {
		// A new TextField: 100 by 100 pixels, dynamic, empty, not autoSized, one line scrolled
		// to its first.
		var t = new TextField();
		trace(t.width + " " + t.height + " " + t.type + " [" + t.text + "] " + t.autoSize + " " + t.numLines + " "
			+ t.scrollV + " " + t.maxScrollV);
		// Its default format: Times New Roman, 12 points, black, plain, left-aligned.
		var d = t.defaultTextFormat;
		trace(d.font + " " + d.size + " " + d.color + " " + d.bold + " " + d.italic + " " + d.underline + " " + d.align);
		// Defaults: no wrapping, single line, selectable, no border or background, device
		// fonts, not a password, no maxChars (0), no restrict (null).
		trace(t.wordWrap + " " + t.multiline + " " + t.selectable + " " + t.border + " " + t.background + " "
			+ t.embedFonts + " " + t.displayAsPassword + " " + t.maxChars + " " + t.restrict);
		// borderColor defaults to black, backgroundColor to white.
		trace(t.borderColor + " " + t.backgroundColor);
		// text: a line feed is kept as a carriage return; length counts the characters.
		t.text = "one\ntwo";
		trace(bars(t.text) + " " + t.length);
		// appendText adds to the end.
		t.appendText("!");
		trace(bars(t.text) + " " + t.length);
		// setTextFormat(format, begin, end) formats [begin, end); getTextFormat over a range
		// gives the values the range shares and null for those that differ.
		var f = new TextFormat();
		f.bold = true;
		f.size = 20;
		t.setTextFormat(f, 0, 3);
		var a = t.getTextFormat(0, 3);
		var m = t.getTextFormat(0, 5);
		trace(a.bold + " " + a.size + " " + m.bold + " " + m.size + " " + m.font);
		// With one index, the one character there.
		trace(t.getTextFormat(4).size + " " + t.getTextFormat(2).size);
		// Text set anew takes defaultTextFormat; so does what appendText adds.
		var big = new TextFormat();
		big.size = 30;
		t.defaultTextFormat = big;
		t.text = "fresh";
		t.appendText(" more");
		trace(t.getTextFormat().bold + " " + t.getTextFormat().size + " " + t.defaultTextFormat.font);
		// An index outside the text is a RangeError.
		try {
			t.setTextFormat(f, 3, 99);
			trace("no error");
		} catch (e:flash.errors.RangeError) {
			trace("RangeError");
		}
		// htmlText: the characters shown, paragraphs as carriage returns, entities decoded;
		// <b> makes its characters bold.
		t.htmlText = "<p>a &amp; b</p><p><b>c</b></p>";
		trace(bars(t.text) + " " + t.getTextFormat(0).bold + " " + t.getTextFormat(6).bold);
		// textColor is the colour of all the text.
		t.textColor = 0xFF0000;
		trace(t.textColor == 0xFF0000 && t.getTextFormat().color == 0xFF0000);
		// type takes TextFieldType's values; the constant classes hold their documented strings.
		t.type = TextFieldType.INPUT;
		trace(t.type + " " + TextFieldAutoSize.CENTER + " " + TextFormatAlign.JUSTIFY + " " + TextFieldType.DYNAMIC);
		// width on a text field sizes its box; the text is not scaled.
		t.width = 250;
		trace(t.width + " " + t.scaleX);

		// autoSize LEFT: the box fits the text with its 2-pixel gutter on each side (textWidth
		// + 4, textHeight + 4); a 12-point line is between 12 and 20 pixels tall.
		var s = new TextField();
		s.text = "Hello";
		s.autoSize = TextFieldAutoSize.LEFT;
		trace(near(s.width, s.textWidth + 4) + " " + near(s.height, s.textHeight + 4) + " "
			+ (s.textHeight > 12 && s.textHeight < 20) + " " + (s.textWidth > 0));
		// autoSize RIGHT keeps the right edge where it was, so x moves.
		var r = new TextField();
		r.x = 100;
		r.text = "Hi";
		r.autoSize = TextFieldAutoSize.RIGHT;
		trace(Math.round(r.x + r.width) + " " + (r.x > 100));
		// getLineMetrics: height is ascent + descent + leading; x is the gutter for left-aligned
		// text; the width is the line's, here textWidth.
		var lm = s.getLineMetrics(0);
		trace(lm.x + " " + near(lm.height, lm.ascent + lm.descent + lm.leading) + " " + near(lm.width, s.textWidth));

		// Wrapped in a small box, a long text takes several lines; scrollV runs from 1 to
		// maxScrollV, where bottomScrollV is the last line; getLineText gives each line's text.
		var w = new TextField();
		w.wordWrap = true;
		w.width = 100;
		w.height = 50;
		var words = [for (i in 0...20) "word"].join(" ");
		w.text = words;
		trace((w.numLines > 3) + " " + (w.maxScrollV > 1) + " " + (w.maxScrollV < w.numLines));
		w.scrollV = 1000;
		trace((w.scrollV == w.maxScrollV) + " " + (w.bottomScrollV == w.numLines));
		w.scrollV = 0;
		trace(w.scrollV);
		var joined = "";
		for (i in 0...w.numLines)
			joined += w.getLineText(i);
		trace(StringTools.trim(joined) == words);

		// enumerateFonts(false) lists the embedded fonts: this movie embeds none.
		trace(Font.enumerateFonts(false).length);

		// stage.focus: setting it moves the focus; focusOut goes to the object that had it and
		// focusIn to the new one, each naming the other as relatedObject; both bubble.
		var root = flash.Lib.current;
		var one = new TextField();
		one.name = "one";
		var two = new TextField();
		two.name = "two";
		root.addChild(one);
		root.addChild(two);
		var log = [];
		var listener = function(e:FocusEvent) {
			log.push(e.type + ":" + (cast e.target : TextField).name + ">"
				+ (e.relatedObject == null ? "null" : e.relatedObject.name) + ":" + e.bubbles);
		};
		root.addEventListener(FocusEvent.FOCUS_IN, listener);
		root.addEventListener(FocusEvent.FOCUS_OUT, listener);
		root.stage.focus = one;
		root.stage.focus = two;
		trace(log.join(" ") + " " + (root.stage.focus == two));
		root.stage.focus = null;
		trace(root.stage.focus == null);
	}
}
