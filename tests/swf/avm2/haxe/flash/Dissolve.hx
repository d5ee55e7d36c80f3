// BitmapData.compare and BitmapData.pixelDissolve. Expected output is written by hand in
// Dissolve.expected from the ActionScript 3.0 Language Reference; the comment above each trace
// names the documented rule.

import flash.display.BitmapData;
import flash.geom.Point;

class Dissolve {
	static function whites(b:BitmapData):Int {
		var n = 0;
		for (y in 0...b.height)
			for (x in 0...b.width)
				if (b.getPixel(x, y) == 0xFFFFFF)
					n++;
		return n;
	}

	static function main() {
		var a = new BitmapData(2, 2, false, 0x112233);
		// compare: 0 when alike, -3 when the widths differ, -4 when the heights do.
		trace(a.compare(new BitmapData(2, 2, false, 0x112233)) + " " + a.compare(new BitmapData(3, 2))
			+ " " + a.compare(new BitmapData(2, 5)));
		// Else a BitmapData of the differences: this minus the other, channel by channel, and 0
		// where the pixels agree.
		var b = new BitmapData(2, 2, false, 0x112233);
		b.setPixel(0, 0, 0x102030);
		var d:BitmapData = cast a.compare(b);
		trace(d.width + "x" + d.height + " " + StringTools.hex(d.getPixel32(0, 0), 8) + " " + d.getPixel32(1, 1));
		try {
			a.compare(null);
		} catch (e:flash.errors.Error) {
			trace("compare null: " + e.errorID);
		}

		// pixelDissolve: numPixels pixels of the source rectangle come over; the returned seed,
		// passed to the next call, goes on with pixels not yet taken.
		var dst = new BitmapData(10, 10, false, 0x000000);
		var src = new BitmapData(10, 10, false, 0xFFFFFF);
		var seed = dst.pixelDissolve(src, dst.rect, new Point(0, 0), 0, 30);
		trace(whites(dst));
		dst.pixelDissolve(src, dst.rect, new Point(0, 0), seed, 70);
		trace(whites(dst));
		// Without numPixels: a thirtieth of the rectangle (100 / 30: 3 pixels).
		var e = new BitmapData(10, 10, false, 0x000000);
		e.pixelDissolve(src, e.rect, new Point(0, 0), 7);
		trace(whites(e));
		// The same seed dissolves the same pixels.
		var f = new BitmapData(10, 10, false, 0x000000), g = new BitmapData(10, 10, false, 0x000000);
		f.pixelDissolve(src, f.rect, new Point(0, 0), 12345, 20);
		g.pixelDissolve(src, g.rect, new Point(0, 0), 12345, 20);
		trace(f.compare(g));
		// Dissolving a bitmap into itself fills with fillColor.
		var h = new BitmapData(4, 4, false, 0x000000);
		h.pixelDissolve(h, h.rect, new Point(0, 0), 1, 16, 0xFFFFFFFF);
		trace(whites(h));
	}
}
