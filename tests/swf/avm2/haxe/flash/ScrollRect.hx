// DisplayObject.scrollRect: drawn (pixels of the stage drawn into a BitmapData), measured and hit
// as the ActionScript 3.0 Language Reference documents it. Expected output is written by hand in
// ScrollRect.expected; the comment above each trace names the documented rule.

import flash.display.BitmapData;
import flash.display.Sprite;
import flash.geom.Rectangle;

class ScrollRect {
	static function hex(v:Int):String
		return StringTools.hex(v, 6);

	static function shot():BitmapData {
		var b = new BitmapData(300, 300, false, 0xFFFFFF);
		b.draw(flash.Lib.current.stage);
		return b;
	}

	static function main() {
		var root = flash.Lib.current;
		var s = new Sprite();
		s.graphics.beginFill(0xFF0000);
		s.graphics.drawRect(0, 0, 200, 200);
		s.graphics.endFill();
		s.graphics.beginFill(0x0000FF);
		s.graphics.drawRect(50, 50, 20, 20);
		s.graphics.endFill();
		s.x = 100;
		s.y = 100;
		root.addChild(s);
		// scrollRect is null unless set.
		trace(s.scrollRect == null);
		s.scrollRect = new Rectangle(40, 40, 50, 50);
		// "The display object is cropped to the size defined by the rectangle, and it scrolls
		// within the rectangle": content at (40, 40) shows at the object's origin (100, 100), the
		// blue square at (50, 50) at (110, 110), and nothing beyond the 50-pixel window.
		var b = shot();
		trace(hex(b.getPixel(105, 105)) + " " + hex(b.getPixel(115, 115)) + " " + hex(b.getPixel(155, 155)) + " " + hex(b.getPixel(95, 95)));
		// "The properties of the scrollRect Rectangle object use the display object's coordinate
		// space and are scaled just like the overall display object": width and height are the
		// window's, scaled.
		trace(s.width + " " + s.height);
		s.scaleX = 2;
		trace(s.width + " " + s.height);
		s.scaleX = 1;
		// getBounds: in the object's own space the window is the rectangle; in its parent's, the
		// window's corner is the object's origin ("the corner bounds of the cropped window ... are
		// the origin of the display object (0,0) and the point defined by the width and height").
		var r = s.getBounds(s);
		trace(r.x + " " + r.y + " " + r.width + " " + r.height);
		r = s.getRect(root);
		trace(r.x + " " + r.y + " " + r.width + " " + r.height);
		// The parent measures its child by what shows.
		trace(root.width + " " + root.height);
		// Reading scrollRect gives a copy: changing it changes nothing until it is set again.
		var copy = s.scrollRect;
		copy.x = 0;
		trace(s.scrollRect.x + " " + (s.scrollRect != s.scrollRect));
		// hitTestPoint with shapeFlag: only what the window shows is there.
		trace(s.hitTestPoint(120, 120, true) + " " + s.hitTestPoint(160, 160, true));
		// Scrolling to (0, 0): the red corner shows and the blue square lies beyond the window.
		s.scrollRect = new Rectangle(0, 0, 50, 50);
		b = shot();
		trace(hex(b.getPixel(115, 115)) + " " + hex(b.getPixel(155, 155)));
		// null removes it: the whole sprite again.
		s.scrollRect = null;
		b = shot();
		trace((s.scrollRect == null) + " " + s.width + " " + hex(b.getPixel(155, 155)));
		// The document's own scroll window: drawing the stage gives what the window shows, the
		// document's (100, 100) at the stage's corner and nothing past its 60 pixels, while what
		// the stage holds beside the document stays where it is.
		var g = new Sprite();
		g.graphics.beginFill(0x00FF00);
		g.graphics.drawRect(0, 0, 20, 20);
		g.graphics.endFill();
		g.x = 200;
		g.y = 200;
		root.stage.addChild(g);
		root.scrollRect = new Rectangle(100, 100, 60, 60);
		b = shot();
		trace(hex(b.getPixel(5, 5)) + " " + hex(b.getPixel(55, 55)) + " " + hex(b.getPixel(65, 65)) + " " + hex(b.getPixel(205, 205)));
		root.scrollRect = null;
		root.stage.removeChild(g);
	}
}
