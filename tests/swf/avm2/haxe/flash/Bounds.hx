// Geometry of display objects: getBounds and getRect of Graphics shapes (with and without
// strokes), bounds in another object's space, width/height and scale, localToGlobal and
// globalToLocal through nested containers, hitTestPoint with and without shapeFlag, and
// hitTestObject. Expected output is written by hand in Bounds.expected from the
// ActionScript 3.0 Language Reference; the comment above each trace names the documented rule.
// All coordinates are whole pixels, so nothing depends on rounding to twips.

import flash.display.Shape;
import flash.display.Sprite;
import flash.geom.Point;
import flash.geom.Rectangle;

class Bounds {
	static function rect(x:Float, y:Float, w:Float, h:Float, thickness:Float = -1):Shape {
		var s = new Shape();
		if (thickness >= 0)
			s.graphics.lineStyle(thickness, 0x000000);
		s.graphics.beginFill(0xFF0000);
		s.graphics.drawRect(x, y, w, h);
		s.graphics.endFill();
		return s;
	}

	static function r2(r:Rectangle):String
		return "(x=" + Math.round(r.x * 100) / 100 + ", y=" + Math.round(r.y * 100) / 100 + ", w=" + Math.round(r.width * 100) / 100 + ", h="
			+ Math.round(r.height * 100) / 100 + ")";

	static function main() {
		var root = flash.Lib.current;

		// getBounds(itself) of a filled rectangle is the rectangle; getRect is the same when there
		// is no stroke; width and height are its size.
		var s1 = rect(10, 20, 30, 40);
		trace(s1.getBounds(s1).toString() + " " + s1.getRect(s1).toString() + " " + s1.width + " " + s1.height);
		// With a stroke, getBounds includes the stroke (half its thickness beyond the path, with
		// the default round joints) and getRect excludes it.
		var s2 = rect(10, 20, 30, 40, 4);
		trace(s2.getBounds(s2).toString() + " " + s2.getRect(s2).toString() + " " + s2.width);
		// A stroked line with no fill: round caps extend the bounds by half the thickness at the
		// ends too; getRect is the bare path.
		var line = new Shape();
		line.graphics.lineStyle(2, 0);
		line.graphics.moveTo(0, 0);
		line.graphics.lineTo(100, 0);
		trace(line.getBounds(line).toString() + " " + line.getRect(line).toString());
		// drawCircle(x, y, r): bounds from x - r to x + r.
		var circle = new Shape();
		circle.graphics.beginFill(0x00FF00);
		circle.graphics.drawCircle(0, 0, 10);
		trace(circle.getBounds(circle).toString());
		// Several drawings: the union of their bounds.
		var two = new Shape();
		two.graphics.beginFill(0);
		two.graphics.drawRect(0, 0, 10, 10);
		two.graphics.drawRect(50, -20, 5, 5);
		trace(two.getBounds(two).toString());
		// An object with nothing in it has empty bounds.
		trace(new Sprite().getBounds(root).toString());

		// Bounds in the parent's space follow x, y and scale.
		var holder = new Sprite();
		holder.addChild(s1);
		s1.x = 100;
		trace(holder.getBounds(holder).toString() + " " + s1.getBounds(holder).toString());
		s1.scaleX = 2;
		trace(s1.width + " " + holder.getBounds(holder).toString());
		// Setting width or height changes scaleX or scaleY.
		var s3 = rect(0, 0, 50, 25);
		s3.width = 100;
		s3.height = 50;
		trace(s3.scaleX + " " + s3.scaleY + " " + s3.width + " " + s3.height);
		// A container's bounds cover all its children.
		var s4 = rect(-5, -5, 5, 5);
		holder.addChild(s4);
		trace(holder.getBounds(holder).toString() + " " + holder.width + " " + holder.height);
		// Rotating a 40x20 rectangle by 90 degrees: the bounds in the parent turn with it.
		var rot = rect(0, 0, 40, 20);
		var turner = new Sprite();
		turner.addChild(rot);
		rot.rotation = 90;
		trace(r2(rot.getBounds(turner)));

		// localToGlobal and globalToLocal go through every container up to the stage.
		var outer = new Sprite();
		outer.x = 100;
		outer.y = 50;
		var inner = new Sprite();
		inner.x = 10;
		inner.y = 20;
		inner.scaleX = 2;
		inner.scaleY = 2;
		outer.addChild(inner);
		root.addChild(outer);
		trace(inner.localToGlobal(new Point(5, 5)).toString() + " " + outer.localToGlobal(new Point(0, 0)).toString());
		trace(inner.globalToLocal(new Point(120, 80)).toString() + " " + outer.globalToLocal(new Point(0, 0)).toString());
		// getBounds with the stage's space (the root at the origin) gives stage coordinates.
		var marker = rect(0, 0, 10, 10);
		inner.addChild(marker);
		trace(marker.getBounds(root).toString());

		// hitTestPoint(x, y) in stage coordinates: without shapeFlag against the bounding box,
		// with shapeFlag against the filled shape.
		var dot = new Shape();
		dot.graphics.beginFill(0x0000FF);
		dot.graphics.drawCircle(0, 0, 10);
		dot.x = 200;
		dot.y = 200;
		root.addChild(dot);
		trace(dot.hitTestPoint(209, 209, false) + " " + dot.hitTestPoint(209, 209, true) + " " + dot.hitTestPoint(205, 205, true) + " "
			+ dot.hitTestPoint(250, 250, false) + " " + dot.hitTestPoint(200, 189, false));
		// hitTestObject: do the bounding boxes overlap?
		var near = rect(0, 0, 10, 10);
		near.x = 205;
		near.y = 205;
		root.addChild(near);
		var far = rect(0, 0, 10, 10);
		far.x = 300;
		root.addChild(far);
		trace(dot.hitTestObject(near) + " " + dot.hitTestObject(far) + " " + near.hitTestObject(dot));
		root.removeChild(dot);
		root.removeChild(near);
		root.removeChild(far);
		root.removeChild(outer);
	}
}
