// Pictures and start-up classes: the Bitmap display class, library bitmaps, BitmapData.draw of
// display objects, bitmap fills and Graphics.copyFrom, Loader.loadBytes of a PNG, refused
// loads, and Capabilities, System, Security, ExternalInterface, Mouse and Keyboard. Expected
// output is written by hand in Media.expected from the ActionScript 3.0 Language Reference; the
// comment above each trace names the documented rule. media-pic.png is 4 x 3: red, green, blue,
// white; black, yellow, cyan, magenta at alpha 128; then four greys.
// frames: 3

import flash.display.Bitmap;
import flash.display.BitmapData;
import flash.display.Loader;
import flash.display.PixelSnapping;
import flash.display.Shape;
import flash.display.Sprite;
import flash.events.Event;
import flash.events.IOErrorEvent;
import flash.events.SecurityErrorEvent;
import flash.external.ExternalInterface;
import flash.geom.ColorTransform;
import flash.geom.Matrix;
import flash.geom.Rectangle;
import flash.net.URLLoader;
import flash.net.URLRequest;
import flash.system.Capabilities;
import flash.system.Security;
import flash.system.System;
import flash.ui.Keyboard;
import flash.utils.ByteArray;

@:bitmap("media-pic.png") class Pic extends BitmapData {}

class Media {
	static function rgb(v:UInt):String
		return StringTools.hex(v, 6);

	static function argb(v:UInt):String
		return StringTools.hex(v, 8);

	// media-pic.png's bytes (DefineBinaryData is not read yet, so @:file cannot carry them).
	static var PNG = [
		137, 80, 78, 71, 13, 10, 26, 10, 0, 0, 0, 13, 73, 72, 68, 82, 0, 0, 0, 4, 0, 0, 0, 3, 8, 6, 0, 0, 0,
		180, 244, 174, 198, 0, 0, 0, 44, 73, 68, 65, 84, 120, 218, 99, 248, 207, 192, 240, 31, 12, 25, 254,
		131, 1, 3, 3, 152, 5, 18, 2, 83, 13, 12, 2, 10, 6, 255, 29, 2, 18, 254, 23, 52, 76, 248, 191, 96,
		195, 129, 255, 0, 186, 221, 28, 74, 133, 24, 249, 49, 0, 0, 0, 0, 73, 69, 78, 68, 174, 66, 96, 130
	];

	static function picBytes():ByteArray {
		var b = new ByteArray();
		for (v in PNG)
			b.writeByte(v);
		return b;
	}

	static function square(colour:UInt, size:Float):Shape {
		var s = new Shape();
		s.graphics.beginFill(colour);
		s.graphics.drawRect(0, 0, size, size);
		s.graphics.endFill();
		return s;
	}

	static function main() {
		var root = flash.Lib.current;

		// Bitmap(bitmapData = null, pixelSnapping = "auto", smoothing = false).
		var b = new Bitmap();
		trace((b.bitmapData == null) + " " + b.pixelSnapping + " " + b.smoothing + " " + b.width);
		// width and height are the bitmap's pixels, times the scale.
		var red = new BitmapData(10, 5, false, 0xFF0000);
		b.bitmapData = red;
		trace(b.width + " " + b.height + " " + (b.bitmapData == red));
		b.scaleX = 2;
		trace(b.width);
		// pixelSnapping takes the PixelSnapping values; anything else is an ArgumentError.
		b.pixelSnapping = PixelSnapping.ALWAYS;
		b.smoothing = true;
		trace(b.pixelSnapping + " " + b.smoothing);
		try {
			b.pixelSnapping = cast "sometimes";
			trace("no error");
		} catch (e:flash.errors.ArgumentError) {
			trace("ArgumentError " + e.errorID);
		}

		// A class linked to a library bitmap starts with its pixels, whatever size it is given.
		var pic = new Pic(0, 0);
		trace(pic.width + " " + pic.height + " " + argb(pic.getPixel32(0, 0)) + " " + argb(pic.getPixel32(3, 0)) + " "
			+ argb(pic.getPixel32(0, 2)));
		// A Bitmap of it on the display list: its bounds are its pixels.
		var shown = new Bitmap(pic);
		shown.x = 10;
		root.addChild(shown);
		var r = shown.getBounds(root);
		trace(r.x + " " + r.y + " " + r.width + " " + r.height);

		// draw(source, matrix): the source's own transform is ignored; the matrix places it.
		var green = square(0x00FF00, 4);
		green.x = 100;
		var target = new BitmapData(8, 8, false, 0x000000);
		target.draw(green, new Matrix(1, 0, 0, 1, 2, 2));
		trace(rgb(target.getPixel(1, 1)) + " " + rgb(target.getPixel(2, 2)) + " " + rgb(target.getPixel(5, 5)) + " "
			+ rgb(target.getPixel(6, 6)));
		// colorTransform: red offset 255 turns green into yellow.
		var t2 = new BitmapData(8, 8, false, 0x000000);
		t2.draw(green, null, new ColorTransform(1, 1, 1, 1, 255, 0, 0, 0));
		trace(rgb(t2.getPixel(1, 1)) + " " + rgb(t2.getPixel(6, 6)));
		// clipRect: only pixels inside it change.
		var t3 = new BitmapData(8, 8, false, 0x000000);
		t3.draw(green, null, null, null, new Rectangle(0, 0, 2, 2));
		trace(rgb(t3.getPixel(1, 1)) + " " + rgb(t3.getPixel(3, 3)));
		// blendMode "difference": green over green is black.
		var t4 = new BitmapData(8, 8, false, 0x00FF00);
		t4.draw(green, null, null, flash.display.BlendMode.DIFFERENCE);
		trace(rgb(t4.getPixel(1, 1)) + " " + rgb(t4.getPixel(6, 6)));
		// A container draws its children with their transforms; a Bitmap draws its pixels.
		var box = new Sprite();
		var inner = square(0x0000FF, 2);
		inner.x = 4;
		inner.y = 4;
		box.addChild(inner);
		var t5 = new BitmapData(8, 8, false, 0x000000);
		t5.draw(box);
		trace(rgb(t5.getPixel(3, 3)) + " " + rgb(t5.getPixel(4, 4)) + " " + rgb(t5.getPixel(5, 5)));
		var t6 = new BitmapData(4, 3, true, 0);
		t6.draw(new Bitmap(pic));
		trace(argb(t6.getPixel32(1, 1)) + " " + argb(t6.getPixel32(2, 2)));

		// beginBitmapFill(bitmap, matrix = null, repeat = true): the bitmap's pixels tile the fill.
		var filled = new Shape();
		filled.graphics.beginBitmapFill(pic);
		filled.graphics.drawRect(0, 0, 8, 6);
		filled.graphics.endFill();
		var t7 = new BitmapData(8, 6, false, 0x000000);
		t7.draw(filled);
		trace(rgb(t7.getPixel(0, 0)) + " " + rgb(t7.getPixel(4, 0)) + " " + rgb(t7.getPixel(5, 4)) + " "
			+ rgb(t7.getPixel(7, 3)));
		// repeat = false: outside the bitmap the fill repeats its edge pixels.
		var clamped = new Shape();
		clamped.graphics.beginBitmapFill(pic, null, false);
		clamped.graphics.drawRect(0, 0, 8, 6);
		var t8 = new BitmapData(8, 6, false, 0x000000);
		t8.draw(clamped);
		trace(rgb(t8.getPixel(6, 0)) + " " + rgb(t8.getPixel(0, 5)));
		// copyFrom copies the drawing commands: the copy draws the same pixels.
		var copy = new Shape();
		copy.graphics.copyFrom(filled.graphics);
		var t9 = new BitmapData(8, 6, false, 0x000000);
		t9.draw(copy);
		var same = true;
		for (y in 0...6)
			for (x in 0...8)
				if (t9.getPixel(x, y) != t7.getPixel(x, y))
					same = false;
		trace("copyFrom " + same);

		// Loader.loadBytes: a PNG becomes a Bitmap; init then complete arrive afterwards.
		var loader = new Loader();
		var info = loader.contentLoaderInfo;
		info.addEventListener(Event.INIT, function(_) trace("init " + Std.isOfType(loader.content, Bitmap)));
		info.addEventListener(Event.COMPLETE, function(_) {
			var bm:Bitmap = cast loader.content;
			trace("complete " + info.contentType + " " + bm.width + " " + bm.height + " " + argb(bm.bitmapData.getPixel32(2, 0))
				+ " " + (bm.parent == loader));
		});
		loader.loadBytes(picBytes());
		trace("loadBytes returned " + (loader.content == null));
		root.addChild(loader);

		// Loads under the file rule: a file that is not there is an ioError, the network a
		// securityError.
		var missing = new URLLoader();
		missing.addEventListener(IOErrorEvent.IO_ERROR, function(e:IOErrorEvent) trace("URLLoader ioError " + e.errorID));
		missing.load(new URLRequest("no-such-file.txt"));
		var net = new Loader();
		net.contentLoaderInfo.addEventListener(SecurityErrorEvent.SECURITY_ERROR, function(_) trace("Loader securityError"));
		net.load(new URLRequest("http://example.com/picture.png"));
		// A file beside the movie loads: this program's expected output is copied there.
		var text = new URLLoader();
		text.addEventListener(Event.COMPLETE, function(_) {
			var first = StringTools.trim(Std.string(text.data).split("\n")[0]);
			trace("URLLoader complete " + first + " " + (text.bytesLoaded == text.bytesTotal));
		});
		text.load(new URLRequest("Media.expected"));

		// Capabilities: a stand-alone player with sound, no debugger, and a version string of
		// the form "PLATFORM MAJOR,MINOR,BUILD,INTERNAL".
		trace(Capabilities.playerType + " " + Capabilities.hasAudio + " " + Capabilities.hasMP3 + " " + Capabilities.isDebugger);
		var version = Capabilities.version.split(" ");
		trace(version[0] + " " + version[1].split(",").length + " " + (Std.parseInt(version[1].split(",")[0]) >= 10));
		trace((Capabilities.screenResolutionX > 0) + " " + (Capabilities.language.length >= 2));
		// System.totalMemory: the bytes the player holds, more than nothing.
		trace(System.totalMemory > 0);
		// Security: a local movie's sandbox; allowDomain does nothing a movie can see.
		Security.allowDomain("*");
		trace(Security.sandboxType);
		// ExternalInterface: no container, so not available, and call is an error.
		trace(ExternalInterface.available);
		try {
			ExternalInterface.call("f");
			trace("no error");
		} catch (e:flash.errors.Error) {
			trace("Error " + e.errorID);
		}
		// Mouse.hide and show return nothing.
		flash.ui.Mouse.hide();
		flash.ui.Mouse.show();
		// Keyboard constants are the key codes.
		trace(Keyboard.A + " " + Keyboard.ENTER + " " + Keyboard.SPACE + " " + Keyboard.LEFT + " " + Keyboard.F1 + " "
			+ Keyboard.NUMPAD_0 + " " + Keyboard.ESCAPE);
		// ApplicationDomain finds the movie's classes by name.
		var domain = flash.system.ApplicationDomain.currentDomain;
		trace(domain.hasDefinition("Media") + " " + domain.hasDefinition("NoSuchClass") + " "
			+ (domain.getDefinition("flash.display.Bitmap") == Bitmap));
		trace("main done");
	}
}
