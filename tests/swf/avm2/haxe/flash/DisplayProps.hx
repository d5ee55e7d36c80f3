// Properties of display objects: defaults, x/y/scale/rotation and the transform matrix that
// mirrors them, rotation kept within -180..180, width/height of empty objects, stage and parent
// on and off the display list. Expected output is written by hand in DisplayProps.expected from
// the ActionScript 3.0 Language Reference; the comment above each trace names the documented
// rule. Rotations are rounded to 6 decimals: the angle is kept through sine and cosine.

import flash.display.Shape;
import flash.display.Sprite;
import flash.geom.Matrix;

class DisplayProps {
	static function r6(v:Float):Float
		return Math.round(v * 1e6) / 1e6;

	static function main() {
		// A new Sprite sits at the origin, unscaled, unrotated, opaque and visible, with no
		// parent, no stage and no size.
		var s = new Sprite();
		trace(s.x + " " + s.y + " " + s.scaleX + " " + s.scaleY + " " + s.rotation + " " + s.alpha + " " + s.visible);
		trace((s.parent == null) + " " + (s.stage == null) + " " + s.width + " " + s.height + " " + s.numChildren);
		// transform.matrix reflects x, y and the scales.
		s.x = 10;
		s.y = 20;
		s.scaleX = 2;
		trace(s.transform.matrix.toString());
		// Setting transform.matrix sets x, y, scaleX and scaleY from it.
		s.transform.matrix = new Matrix(3, 0, 0, 0.5, -4, 7.5);
		trace(s.x + " " + s.y + " " + s.scaleX + " " + s.scaleY);
		// rotation is in degrees; values outside -180..180 are brought into that range by adding
		// or subtracting 360 (450 is the same as 90).
		var r = new Sprite();
		r.rotation = 450;
		var a = r6(r.rotation);
		r.rotation = 270;
		var b = r6(r.rotation);
		r.rotation = -190;
		var c = r6(r.rotation);
		r.rotation = 45;
		trace(a + " " + b + " " + c + " " + r6(r.rotation));
		// alpha 0.5 and visible false read back as set.
		r.alpha = 0.5;
		r.visible = false;
		trace(r.alpha + " " + r.visible);
		// On the display list, stage is the Stage and parent the container; the Stage has no
		// parent and holds the main timeline.
		var root = flash.Lib.current;
		root.addChild(s);
		trace((s.stage == root.stage) + " " + (s.parent == root) + " " + (root.stage.parent == null) + " "
			+ root.stage.contains(root));
		// Removed, the object has neither again.
		root.removeChild(s);
		trace((s.stage == null) + " " + (s.parent == null));
		// width and height of a drawn shape follow scaleX and scaleY.
		var sh = new Shape();
		sh.graphics.beginFill(0);
		sh.graphics.drawRect(0, 0, 20, 10);
		sh.scaleX = 1.5;
		sh.scaleY = 3;
		trace(sh.width + " " + sh.height);
		// Graphics.clear() removes the drawing: no size any more.
		sh.graphics.clear();
		trace(sh.width + " " + sh.height);
		// name can be set and read; DisplayObject.name is a plain string.
		sh.name = "形状";
		trace(sh.name);
	}
}
