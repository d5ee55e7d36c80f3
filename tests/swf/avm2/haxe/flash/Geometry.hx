// flash.geom arithmetic: Point, Rectangle, Matrix and ColorTransform. Expected output is written
// by hand in Geometry.expected from the ActionScript 3.0 Language Reference; the comment above
// each trace names the documented rule. Values are chosen so every result is exact in binary;
// trigonometric results are rounded to 6 decimals before printing.

import flash.geom.ColorTransform;
import flash.geom.Matrix;
import flash.geom.Point;
import flash.geom.Rectangle;

class Geometry {
	static function r6(v:Float):Float
		return Math.round(v * 1e6) / 1e6;

	static function main() {
		// Point.toString(): "(x=X, y=Y)".
		var p = new Point(3, 4);
		trace(p.toString());
		// Point.length: distance from (0,0).
		trace(p.length);
		// add/subtract return new points; the operands are unchanged.
		var q = new Point(1.5, -2);
		trace(p.add(q).toString() + " " + p.subtract(q).toString() + " " + p.toString());
		// Point.distance(pt1, pt2).
		trace(Point.distance(new Point(1, 1), new Point(4, 5)));
		// Point.interpolate(pt1, pt2, f): f = 1 gives pt1, f = 0 gives pt2, 0.5 the midpoint.
		trace(Point.interpolate(new Point(0, 0), new Point(10, 20), 1).toString() + " "
			+ Point.interpolate(new Point(0, 0), new Point(10, 20), 0).toString() + " "
			+ Point.interpolate(new Point(0, 0), new Point(10, 20), 0.5).toString());
		// normalize(thickness) scales the segment (0,0)-(x,y) to that length.
		var n = new Point(3, 4);
		n.normalize(10);
		trace(n.toString());
		// offset(dx, dy) moves the point in place.
		n.offset(-6, 2);
		trace(n.toString());
		// equals compares x and y; clone copies.
		trace(p.equals(new Point(3, 4)) + " " + p.equals(q) + " " + p.clone().equals(p));
		// Point.polar(len, angle): (len * cos(angle), len * sin(angle)).
		var polar = Point.polar(2, Math.PI / 3);
		trace(r6(polar.x) + " " + r6(polar.y));

		// Rectangle.toString(): "(x=X, y=Y, w=W, h=H)".
		var r = new Rectangle(10, 20, 30, 40);
		trace(r.toString());
		// left = x, right = x + width, top = y, bottom = y + height; topLeft, bottomRight and size
		// are Points.
		trace(r.left + " " + r.right + " " + r.top + " " + r.bottom + " " + r.topLeft.toString() + " " + r.bottomRight.toString() + " "
			+ r.size.toString());
		// contains(x, y): x >= left and x < right, y >= top and y < bottom.
		trace(r.contains(10, 20) + " " + r.contains(40, 30) + " " + r.contains(39.5, 59.5) + " " + r.contains(25, 60));
		// containsPoint and containsRect (the whole of the other rectangle is inside).
		trace(r.containsPoint(new Point(15, 25)) + " " + r.containsRect(new Rectangle(15, 25, 5, 5)) + " "
			+ r.containsRect(new Rectangle(15, 25, 50, 5)));
		// intersects / intersection: the overlapping area; no overlap gives an empty Rectangle
		// (all zero).
		var other = new Rectangle(30, 50, 20, 20);
		trace(r.intersects(other) + " " + r.intersection(other).toString());
		trace(r.intersects(new Rectangle(100, 100, 5, 5)) + " " + r.intersection(new Rectangle(100, 100, 5, 5)).toString());
		// union: the smallest rectangle holding both.
		trace(r.union(other).toString());
		// union with an empty rectangle returns a copy of the other.
		trace(new Rectangle().union(r).toString() + " " + r.union(new Rectangle(0, 0, 0, 0)).toString());
		// inflate(dx, dy): x and y move back by dx, dy; width and height grow by twice as much.
		var inf = r.clone();
		inf.inflate(5, -5);
		trace(inf.toString());
		// offset(dx, dy) moves x and y.
		inf.offset(-15, 15);
		trace(inf.toString());
		// isEmpty: width or height is zero or less; setEmpty sets all four to 0.
		trace(r.isEmpty() + " " + new Rectangle(0, 0, 0, 5).isEmpty() + " " + new Rectangle(0, 0, 5, -1).isEmpty());
		inf.setEmpty();
		trace(inf.toString());
		// Setting left moves the left edge and keeps right; setting right changes width.
		var edge = new Rectangle(10, 10, 20, 20);
		edge.left = 0;
		edge.bottom = 50;
		trace(edge.toString());
		// equals compares all four values.
		trace(r.equals(new Rectangle(10, 20, 30, 40)) + " " + r.equals(edge));

		// Matrix.toString(): "(a=A, b=B, c=C, d=D, tx=TX, ty=TY)"; the default is the identity.
		var m = new Matrix();
		trace(m.toString());
		// translate adds to tx and ty.
		m.translate(10, 20);
		trace(m.toString());
		// scale(sx, sy) multiplies a, c, tx by sx and b, d, ty by sy.
		m.scale(2, 3);
		trace(m.toString());
		// transformPoint: (a*x + c*y + tx, b*x + d*y + ty); deltaTransformPoint leaves out tx and ty.
		trace(m.transformPoint(new Point(1, 1)).toString() + " " + m.deltaTransformPoint(new Point(1, 1)).toString());
		// concat(m2): the result applies this matrix, then m2.
		var m2 = new Matrix(1, 0, 0, 1, 5, -5);
		var c = m.clone();
		c.concat(m2);
		trace(c.toString());
		var shear = new Matrix(1, 0, 1, 1, 0, 0);
		var s2 = new Matrix(2, 0, 0, 2, 0, 0);
		s2.concat(shear);
		trace(s2.toString());
		// invert: the inverse transformation.
		var inv = m.clone();
		inv.invert();
		trace(inv.toString());
		trace(inv.transformPoint(m.transformPoint(new Point(7, -3))).toString());
		// identity() resets to (1, 0, 0, 1, 0, 0).
		inv.identity();
		trace(inv.toString());
		// createBox(scaleX, scaleY, rotation, tx, ty): a = scaleX*cos, b = scaleY*sin,
		// c = -scaleX*sin, d = scaleY*cos.
		var box = new Matrix();
		box.createBox(2, 3, 0, 7, 8);
		trace(box.a + " " + box.b + " " + box.c + " " + box.d + " " + box.tx + " " + box.ty);
		box.createBox(1, 1, Math.PI / 2, 0, 0);
		trace(r6(box.a) + " " + r6(box.b) + " " + r6(box.c) + " " + r6(box.d));
		// rotate(q) concatenates a rotation by q radians: (1, 0) turns to (cos q, sin q).
		var rot = new Matrix();
		rot.rotate(Math.PI / 2);
		var turned = rot.transformPoint(new Point(1, 0));
		trace(r6(turned.x) + " " + r6(turned.y));

		// ColorTransform.toString() lists the eight fields; the default multiplies by 1 and adds 0.
		var ct = new ColorTransform();
		trace(ct.toString());
		// The color property: setting it sets the offsets to the RGB components and the three
		// colour multipliers to 0; reading it gives the offsets combined as 0xRRGGBB.
		ct.color = 0x336699;
		trace(ct.redOffset + " " + ct.greenOffset + " " + ct.blueOffset + " " + ct.redMultiplier + " " + ct.alphaMultiplier + " "
			+ StringTools.hex(ct.color, 6));
		// The constructor takes the multipliers then the offsets.
		var half = new ColorTransform(0.5, 0.25, 1, 0.5, 10, -20, 30, 0);
		trace(half.toString());
		// concat of two transforms whose multipliers are all 1 adds the offsets; of two whose
		// offsets are all 0 multiplies the multipliers.
		var add1 = new ColorTransform(1, 1, 1, 1, 10, 20, 30, 40);
		add1.concat(new ColorTransform(1, 1, 1, 1, 1, 2, 3, 4));
		trace(add1.toString());
		var mul1 = new ColorTransform(0.5, 0.5, 2, 1, 0, 0, 0, 0);
		mul1.concat(new ColorTransform(0.5, 4, 0.25, 0.5, 0, 0, 0, 0));
		trace(mul1.toString());
	}
}
