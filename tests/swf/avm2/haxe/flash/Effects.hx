// Masks and filters set by scripts: drawn (pixels of the stage drawn into a BitmapData), and a
// mask respected by hitTestPoint. Expected output is written by hand in Effects.expected from
// the ActionScript 3.0 Language Reference (DisplayObject.mask, DisplayObject.filters,
// hitTestPoint); the comment above each trace names the documented rule.

import flash.display.BitmapData;
import flash.display.Shape;
import flash.filters.BlurFilter;
import flash.filters.GlowFilter;

class Effects {
	static function box(x:Float, y:Float, w:Float, h:Float, color:Int):Shape {
		var s = new Shape();
		s.graphics.beginFill(color);
		s.graphics.drawRect(x, y, w, h);
		s.graphics.endFill();
		return s;
	}

	static function hex(v:Int):String
		return StringTools.hex(v, 6);

	static function shot():BitmapData {
		var b = new BitmapData(200, 200, false, 0xFFFFFF);
		b.draw(flash.Lib.current.stage);
		return b;
	}

	static function main() {
		var root = flash.Lib.current;
		var red = box(0, 0, 100, 100, 0xFF0000);
		var m = box(40, 40, 20, 20, 0x000000);
		root.addChild(red);
		root.addChild(m);
		// mask: only the parts of red inside m are drawn, and m itself is not drawn.
		red.mask = m;
		trace((red.mask == m) + " " + (m.mask == null));
		var b = shot();
		trace(hex(b.getPixel(50, 50)) + " " + hex(b.getPixel(10, 10)) + " " + hex(b.getPixel(45, 45)));
		// hitTestPoint with shapeFlag: a masked object is hit only inside its mask.
		trace(red.hitTestPoint(50, 50, true) + " " + red.hitTestPoint(10, 10, true));
		// mask = null: the whole object again, and the former mask is drawn (black).
		red.mask = null;
		b = shot();
		trace(hex(b.getPixel(10, 10)) + " " + hex(b.getPixel(50, 50)) + " " + red.hitTestPoint(10, 10, true));
		root.removeChild(m);

		// filters: a copy comes back, each filter a copy with the values set.
		var blur = new BlurFilter(8, 8, 1);
		red.filters = [blur];
		var got = red.filters;
		trace(got.length + " " + (got[0] != blur) + " " + Std.isOfType(got[0], BlurFilter) + " " + (cast got[0] : BlurFilter).blurX);
		// Changing the filter object changes nothing until it is set again.
		blur.blurX = 2;
		trace((cast red.filters[0] : BlurFilter).blurX);
		// A blurred edge: a pixel just outside the square is tinted, one well inside stays red.
		b = shot();
		var outside = b.getPixel(101, 50);
		trace((outside != 0xFFFFFF) + " " + ((outside >> 16) == 0xFF) + " " + hex(b.getPixel(50, 50)));
		// Two filters; then none.
		red.filters = [new GlowFilter(0x0000FF), new BlurFilter()];
		trace(red.filters.length);
		red.filters = [];
		b = shot();
		trace(red.filters.length + " " + hex(b.getPixel(101, 50)));
		// Only filters may be in the array.
		try {
			(red : Dynamic).filters = [1];
		} catch (e:flash.errors.Error) {
			trace("error " + e.errorID);
		}
	}
}
