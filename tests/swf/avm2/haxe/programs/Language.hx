// Language features that compile to interesting bytecode: abstracts with operators, generic
// classes and functions, static extensions, custom iterators, optional and default arguments,
// Dynamic access, switch on strings, loops with labels-by-flags, while/do-while, ternaries,
// compound assignment on fields and array elements, short-circuit evaluation and inline code.

using Language.Ext;

abstract Vec2(Array<Float>) {
	public var x(get, never):Float;
	public var y(get, never):Float;

	public inline function new(x:Float, y:Float)
		this = [x, y];

	inline function get_x()
		return this[0];

	inline function get_y()
		return this[1];

	@:op(A + B) static function add(a:Vec2, b:Vec2):Vec2
		return new Vec2(a.x + b.x, a.y + b.y);

	@:op(A * B) static function scale(a:Vec2, k:Float):Vec2
		return new Vec2(a.x * k, a.y * k);

	@:op(-A) static function neg(a:Vec2):Vec2
		return new Vec2(-a.x, -a.y);

	@:op(A == B) static function eq(a:Vec2, b:Vec2):Bool
		return a.x == b.x && a.y == b.y;

	public function length():Float
		return Math.sqrt(x * x + y * y);

	@:to public function toString():String
		return "(" + x + ", " + y + ")";
}

abstract Meters(Float) from Float to Float {
	@:to public function toCm():Centimeters
		return new Centimeters(this * 100);
}

abstract Centimeters(Float) {
	public function new(v)
		this = v;

	public function value():Float
		return this;
}

enum abstract Direction(Int) to Int {
	var North = 0;
	var East = 90;
	var South = 180;
	var West = 270;

	public function turnRight():Direction
		return cast((this + 90) % 360);
}

class Ext {
	public static function double(i:Int):Int
		return i * 2;

	public static function shout(s:String):String
		return s.toUpperCase() + "!";

	public static function sum(a:Array<Int>):Int {
		var t = 0;
		for (v in a)
			t += v;
		return t;
	}
}

class Range {
	var cur:Int;
	var end:Int;
	var step:Int;

	public function new(start, end, step) {
		cur = start;
		this.end = end;
		this.step = step;
	}

	public function hasNext()
		return step > 0 ? cur < end : cur > end;

	public function next() {
		var v = cur;
		cur += step;
		return v;
	}
}

class Box<T> {
	public var items:Array<T> = [];

	public function new() {}

	public function add(v:T):Box<T> {
		items.push(v);
		return this;
	}

	public function map<U>(f:T->U):Box<U> {
		var b = new Box<U>();
		for (i in items)
			b.add(f(i));
		return b;
	}
}

class Pair<A, B> {
	public var a:A;
	public var b:B;

	public function new(a, b) {
		this.a = a;
		this.b = b;
	}

	public function swap():Pair<B, A>
		return new Pair(b, a);
}

@:generic class TypedStack<T> {
	var items:Array<T> = [];

	public function new() {}

	public function push(v:T)
		items.push(v);

	public function pop():T
		return items.pop();

	public function size()
		return items.length;
}

interface HasId {
	function id():Int;
}

interface HasName extends HasId {
	function name():String;
}

abstract class Animal implements HasName {
	public function new() {}

	public function id():Int
		return name().length;

	abstract public function name():String;

	public function describe():String
		return name() + "/" + id() + "/" + sound();

	function sound():String
		return "...";
}

class Cat extends Animal {
	override function sound()
		return "meow";

	public function name()
		return "cat";
}

class Bird extends Animal {
	public function name()
		return "sparrow";
}

class Language {
	// Dense cases compile to a jump table, sparse ones to comparisons.
	static function dense(v:Int):String {
		return switch (v) {
			case 0: "zero";
			case 1: "one";
			case 2: "two";
			case 3: "three";
			case 4: "four";
			case 5: "five";
			case 6: "six";
			case 7: "seven";
			case 8: "eight";
			case 9: "nine";
			case 10: "ten";
			case 11: "eleven";
			default: "many";
		}
	}

	static function sparse(v:Int):Int {
		return switch (v) {
			case -1000: 1;
			case 7: 2;
			case 65536: 3;
			case 2147483647: 4;
			case -2147483648: 5;
			default: 0;
		}
	}

	static var calls = 0;

	static function side(v:Bool):Bool {
		calls++;
		return v;
	}

	static function opt(a:Int, ?b:Int, c:String = "dflt"):String
		return a + "/" + (b == null ? "null" : "" + b) + "/" + c;

	static inline function sq(x:Float)
		return x * x;

	static function maxOf<T:Float>(a:Array<T>):T {
		var m = a[0];
		for (v in a)
			if (v > m)
				m = v;
		return m;
	}

	static function main() {
		var v = new Vec2(3, 4);
		var w = v + new Vec2(1, -1) * 2;
		trace(w.toString() + " " + v.length() + " " + (-v).toString() + " " + (v == new Vec2(3, 4)));
		var m:Meters = 1.5;
		var cm:Centimeters = m;
		trace(cm.value());
		var d = North;
		var turns = [for (_ in 0...5) d = d.turnRight()];
		trace(turns);
		trace((West : Int) + 1);

		trace(21.double() + " " + "hey".shout() + " " + [1, 2, 3].sum());
		trace([for (i in new Range(10, 0, -3)) i]);
		trace([for (i in new Range(0, 10, 4)) i]);
		var box = new Box<Int>().add(1).add(2).add(3);
		trace(box.map(i -> "#" + i).items);
		var p = new Pair("one", 1).swap();
		trace(p.a + 1 + " " + p.b);
		trace(maxOf([3, 9, 2]) + " " + maxOf([1.5, -2.0, 0.25]));
		trace(opt(1) + " " + opt(1, 2) + " " + opt(1, 2, "three") + " " + opt(1, null, "x"));
		trace(sq(1.5) + sq(2));

		calls = 0;
		var r1 = side(false) && side(true);
		var r2 = side(true) || side(false);
		var r3 = side(true) && side(false) || side(true);
		trace(r1 + " " + r2 + " " + r3 + " calls " + calls);

		var dyn:Dynamic = {a: 1, b: {c: ([1, 2, {d: "deep"}] : Array<Dynamic>)}};
		trace(dyn.b.c[2].d + " " + dyn.a);
		dyn.a += 10;
		dyn.e = "new";
		trace(dyn.a + " " + dyn.e + " " + (dyn.missing == null));
		var arr = [1, 2, 3];
		arr[1] += 40;
		arr[2] *= arr[1];
		arr[0] <<= 4;
		trace(arr);
		var s = "a";
		s += "b";
		s += 1;
		trace(s);

		var out = [];
		for (i in 0...10) {
			if (i == 2)
				continue;
			if (i == 7)
				break;
			out.push(i);
		}
		trace(out);
		var n = 0;
		do
			n += 3
		while (n < 10);
		trace(n);
		var found = -1;
		var i = 0;
		while (true) {
			if (i * i > 200) {
				found = i;
				break;
			}
			i++;
		}
		trace(found);
		var outer = 0;
		for (a in 0...5) {
			var stop = false;
			for (b in 0...5) {
				if (a * b == 6) {
					stop = true;
					break;
				}
				outer++;
			}
			if (stop)
				break;
		}
		trace(outer);

		for (word in ["apple", "kiwi", "苹果", "x"]) {
			var kind = switch (word) {
				case "apple", "kiwi": "fruit";
				case "苹果": "水果";
				default: "?";
			}
			trace(word + " " + kind);
		}

		var big = 5;
		var res = big > 3 ? (big > 4 ? "gt4" : "4") : "small";
		trace(res);
		var counter = 0;
		var post = counter++;
		var pre = ++counter;
		trace(post + " " + pre + " " + counter);
		var neg = -counter;
		trace(neg + " " + !true + " " + ~5);

		var nullable:Null<Int> = null;
		trace(nullable == null ? "null" : "set");
		nullable = 0;
		trace(nullable == null ? "null" : "set " + nullable);
		var str:String = null;
		trace(str + "|" + (str == null));

		var fns = new Map<String, Int->Int>();
		fns.set("sq", x -> x * x);
		trace(fns.get("sq")(9));
		var total = 0;
		for (k in 0...100)
			total += k % 7 == 0 ? k : (k % 5 == 0 ? -k : 0);
		trace(total);
		var bits = [for (k in 0...8) (0xA5 >> k) & 1 == 1 ? "1" : "0"].join("");
		trace(bits);
		inline function localInline(x:Int) return x + 1000;
		trace(localInline(5));
		trace([for (v in -2...14) dense(v)].join(","));
		trace([for (v in [-1000, 7, 8, 65536, 2147483647, -2147483648, 0]) sparse(v)]);
		var ts = new TypedStack<Float>();
		ts.push(1.5);
		ts.push(-2);
		trace(ts.size() + " " + ts.pop() + " " + ts.pop() + " " + ts.size());
		var animals:Array<HasName> = [new Cat(), new Bird()];
		trace([for (a in animals) a.name() + ":" + a.id()]);
		trace([for (a in animals) (cast a : Animal).describe()]);
		trace(Std.isOfType(animals[0], HasId) + " " + Std.isOfType(animals[1], Animal) + " " + Std.isOfType(animals[1], Cat));

		var t = {name: "结构", count: 2};
		t.count *= 21;
		trace(t.name + t.count);
	}
}
