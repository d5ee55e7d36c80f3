// flash.display.BitmapData: size and defaults, single pixels, rectangles of pixels, the copying
// and per-channel operations, hit tests, noise, draw and applyFilter, clone and dispose.
// Expected output is written by hand in Bitmaps.expected from the ActionScript 3.0 Language
// Reference; the comment above each trace names the documented rule. Colours print as
// eight (ARGB) or six (RGB) hex digits.

import flash.display.BitmapData;
import flash.display.BitmapDataChannel;
import flash.filters.BlurFilter;
import flash.geom.ColorTransform;
import flash.geom.Matrix;
import flash.geom.Point;
import flash.geom.Rectangle;
import flash.utils.ByteArray;

class Bitmaps {
	static function argb(v:UInt):String
		return StringTools.hex(v, 8);

	static function rgb(v:UInt):String
		return StringTools.hex(v, 6);

	static function same(a:BitmapData, b:BitmapData):Bool {
		for (y in 0...a.height)
			for (x in 0...a.width)
				if (a.getPixel32(x, y) != b.getPixel32(x, y))
					return false;
		return true;
	}

	static function main() {
		// transparent defaults to true and fillColor to 0xFFFFFFFF; rect is (0, 0, width, height).
		var b = new BitmapData(4, 3);
		trace(b.width + " " + b.height + " " + b.transparent + " " + argb(b.getPixel32(0, 0)) + " " + b.rect.toString());
		// setPixel32 takes ARGB; getPixel32 gives it back unmultiplied, getPixel the RGB part.
		b.setPixel32(1, 1, 0x80FF0000);
		trace(argb(b.getPixel32(1, 1)) + " " + rgb(b.getPixel(1, 1)));
		// Outside the bitmap getPixel32 returns 0.
		trace(b.getPixel32(4, 0) + " " + b.getPixel32(-1, 0));
		// setPixel keeps the pixel's alpha.
		b.setPixel(1, 1, 0x00FF00);
		trace(argb(b.getPixel32(1, 1)));
		// An opaque bitmap (transparent = false) ignores the alpha of its fill: every pixel is 0xFF.
		var o = new BitmapData(2, 2, false, 0x00336699);
		trace(argb(o.getPixel32(0, 0)) + " " + o.transparent);
		// fillRect fills the part of the rectangle inside the bitmap.
		o.fillRect(new Rectangle(1, 0, 5, 5), 0xFF00FF00);
		trace(argb(o.getPixel32(0, 0)) + " " + argb(o.getPixel32(1, 1)));
		// copyPixels copies sourceRect to destPoint; what lies outside the destination is dropped.
		var dst = new BitmapData(4, 1, true, 0);
		dst.copyPixels(o, new Rectangle(0, 0, 2, 1), new Point(2, 0));
		trace(argb(dst.getPixel32(1, 0)) + " " + argb(dst.getPixel32(2, 0)) + " " + argb(dst.getPixel32(3, 0)));
		// With mergeAlpha, a half-transparent red over opaque blue: red 0x80, blue 0xFF * 127 / 255.
		var blue = new BitmapData(1, 1, true, 0xFF0000FF);
		blue.copyPixels(new BitmapData(1, 1, true, 0x80FF0000), blue.rect, new Point(), null, null, true);
		trace(argb(blue.getPixel32(0, 0)));
		// getPixels: four bytes per pixel, A R G B, row by row.
		var bytes = o.getPixels(new Rectangle(0, 0, 2, 1));
		bytes.position = 0;
		trace(bytes.length + " " + argb(bytes.readUnsignedInt()) + " " + argb(bytes.readUnsignedInt()));
		// setPixels reads from the array's position; running out throws (EOFError) after setting
		// the pixels it could read.
		var t = new BitmapData(2, 1, true, 0);
		var input = new ByteArray();
		input.writeUnsignedInt(0xFF010203);
		input.position = 0;
		try {
			t.setPixels(t.rect, input);
			trace("no error");
		} catch (e:Dynamic) {
			trace("error " + argb(t.getPixel32(0, 0)) + " " + argb(t.getPixel32(1, 0)));
		}
		// getVector: one uint per pixel.
		var v = o.getVector(o.rect);
		trace(v.length + " " + argb(v[0]) + " " + argb(v[1]));
		// threshold: pixels whose (value & mask) compare true with (threshold & mask) take the
		// colour; it returns how many did.
		var th = new BitmapData(4, 1, false, 0);
		for (x in 0...4)
			th.setPixel(x, 0, x * 0x40);
		var n = th.threshold(th, th.rect, new Point(), "<", 0x80, 0xFFFF0000, 0xFF);
		trace(n + " " + argb(th.getPixel32(1, 0)) + " " + argb(th.getPixel32(2, 0)));
		// floodFill fills the connected area of the colour at (x, y).
		var ff = new BitmapData(3, 3, false, 0xFFFFFF);
		for (y in 0...3)
			ff.setPixel(1, y, 0);
		ff.floodFill(0, 0, 0xFF0000);
		trace(rgb(ff.getPixel(0, 2)) + " " + rgb(ff.getPixel(1, 1)) + " " + rgb(ff.getPixel(2, 0)));
		// scroll(dx, dy) moves the picture; the area it leaves keeps its pixels.
		var sc = new BitmapData(3, 1, false, 0);
		for (x in 0...3)
			sc.setPixel(x, 0, x + 1);
		sc.scroll(1, 0);
		trace(sc.getPixel(0, 0) + " " + sc.getPixel(1, 0) + " " + sc.getPixel(2, 0));
		// colorTransform: channel * multiplier + offset.
		var ctb = new BitmapData(1, 1, false, 0x804020);
		ctb.colorTransform(ctb.rect, new ColorTransform(0.5, 1, 1, 1, 0, 16, 0, 0));
		trace(rgb(ctb.getPixel(0, 0)));
		// copyChannel: the source's green into the destination's blue.
		var cc = new BitmapData(1, 1, false, 0);
		cc.copyChannel(ctb, ctb.rect, new Point(), BitmapDataChannel.GREEN, BitmapDataChannel.BLUE);
		trace(rgb(cc.getPixel(0, 0)) + " " + BitmapDataChannel.RED + BitmapDataChannel.GREEN + BitmapDataChannel.BLUE
			+ BitmapDataChannel.ALPHA);
		// merge: (source * multiplier + destination * (256 - multiplier)) / 256 per channel.
		var mg = new BitmapData(1, 1, false, 0xA0A0A0);
		mg.merge(new BitmapData(1, 1, false, 0x204060), mg.rect, new Point(), 128, 0, 256, 256);
		trace(rgb(mg.getPixel(0, 0)));
		// paletteMap: the red array replaces red (here inverted); channels without an array stay.
		var pm = new BitmapData(1, 1, false, 0x204060);
		var red = [for (i in 0...256) (255 - i) << 16];
		pm.paletteMap(pm, pm.rect, new Point(), red);
		trace(rgb(pm.getPixel(0, 0)));
		// hitTest with a point and a rectangle, against the alpha threshold.
		var ht = new BitmapData(4, 4, true, 0);
		ht.setPixel32(2, 2, 0x80FFFFFF);
		trace(ht.hitTest(new Point(10, 10), 0x80, new Point(12, 12)) + " " + ht.hitTest(new Point(10, 10), 0x81, new Point(12, 12)) + " "
			+ ht.hitTest(new Point(10, 10), 1, new Rectangle(12, 12, 1, 1)) + " " + ht.hitTest(new Point(10, 10), 1, new Rectangle(13, 10, 5, 5)));
		// noise: the same seed gives the same pixels; without the alpha channel they are opaque;
		// values stay between low and high.
		var n1 = new BitmapData(8, 8);
		var n2 = new BitmapData(8, 8);
		n1.noise(42, 10, 20);
		n2.noise(42, 10, 20);
		var inRange = true;
		for (y in 0...8)
			for (x in 0...8) {
				var p = n1.getPixel32(x, y);
				var r = (p >> 16) & 0xFF;
				if (r < 10 || r > 20 || ((p >> 24) & 0xFF) != 0xFF)
					inRange = false;
			}
		trace(same(n1, n2) + " " + inRange);
		// perlinNoise: the same seed gives the same picture, another seed another.
		var p1 = new BitmapData(32, 32, false, 0);
		var p2 = new BitmapData(32, 32, false, 0);
		p1.perlinNoise(8, 8, 2, 7, true, true);
		p2.perlinNoise(8, 8, 2, 7, true, true);
		var same1 = same(p1, p2);
		p2.perlinNoise(8, 8, 2, 8, true, true);
		trace(same1 + " " + same(p1, p2));
		// draw with a matrix: each source pixel becomes a 2 x 2 block.
		var src = new BitmapData(2, 1, false, 0xFF0000);
		src.setPixel(1, 0, 0x0000FF);
		var big = new BitmapData(4, 2, false, 0);
		big.draw(src, new Matrix(2, 0, 0, 2));
		trace(rgb(big.getPixel(1, 1)) + " " + rgb(big.getPixel(2, 1)));
		// applyFilter: a blur spreads one pixel to its neighbours; generateFilterRect grows.
		var fb = new BitmapData(9, 9, true, 0);
		fb.setPixel32(4, 4, 0xFFFFFFFF);
		fb.applyFilter(fb, fb.rect, new Point(), new BlurFilter(3, 3, 1));
		trace((fb.getPixel32(3, 4) >>> 24 > 0) + " " + (fb.getPixel32(4, 4) >>> 24 < 0xFF) + " "
			+ (fb.generateFilterRect(new Rectangle(4, 4, 1, 1), new BlurFilter(3, 3, 1)).width > 1));
		// clone is a separate copy.
		var cl = o.clone();
		cl.setPixel(0, 0, 0);
		trace(argb(o.getPixel32(0, 0)) + " " + argb(cl.getPixel32(0, 0)));
		// After dispose, using the object throws (ArgumentError: Invalid BitmapData).
		cl.dispose();
		try {
			trace(cl.width);
		} catch (e:Dynamic) {
			trace("disposed");
		}
		// Width and height must be above 0; at most 8191 a side (SWF 10 and later).
		for (size in [[0, 5], [8192, 1], [8191, 2]]) {
			try {
				var made = new BitmapData(size[0], size[1]);
				trace("made " + made.width);
			} catch (e:Dynamic) {
				trace("invalid");
			}
		}
	}
}
