// Classes, inheritance, interfaces, constructors, statics, properties and dispatch.

interface Shape {
	function area():Float;
	function name():String;
}

interface Named {
	var label(get, never):String;
}

class Base implements Named {
	public static var created = 0;
	public static inline var KIND = "base";

	public var id:Int;
	public var label(get, never):String;

	public function new(id:Int = 7) {
		this.id = id;
		created++;
	}

	function get_label():String
		return "base#" + id;

	public function describe():String
		return "Base(" + id + ")";

	public function chain():String
		return "B";

	public static function make(n:Int):Base
		return new Base(n * 2);
}

class Derived extends Base {
	public var extra:String;

	public function new(id:Int, extra:String) {
		super(id + 100);
		this.extra = extra;
	}

	override function get_label():String
		return "derived#" + id + "/" + extra;

	override public function describe():String
		return "Derived[" + super.describe() + "," + extra + "]";

	override public function chain():String
		return super.chain() + "D";
}

class MoreDerived extends Derived {
	public function new() {
		super(1, "more");
	}

	override public function chain():String
		return super.chain() + "M";
}

class Rect implements Shape {
	public var w:Float;
	public var h:Float;

	public function new(w, h) {
		this.w = w;
		this.h = h;
	}

	public function area()
		return w * h;

	public function name()
		return "rect";
}

class Circle implements Shape {
	var r:Float;

	public function new(r)
		this.r = r;

	public function area()
		return Math.PI * r * r;

	public function name()
		return "circle";
}

class Counter {
	public var count(default, set):Int = 0;
	public var log:Array<String> = [];
	public var doubled(get, never):Int;
	@:isVar public var stored(get, set):String = "init";

	public function new() {}

	function set_count(v:Int):Int {
		log.push(count + "->" + v);
		return count = v < 0 ? 0 : v;
	}

	function get_doubled()
		return count * 2;

	function get_stored()
		return "<" + stored + ">";

	function set_stored(v:String)
		return stored = v.toUpperCase();
}

class Node<T> {
	public var value:T;
	public var next:Node<T>;

	public function new(value:T, ?next:Node<T>) {
		this.value = value;
		this.next = next;
	}

	public function toArray():Array<T> {
		var out = [];
		var n = this;
		while (n != null) {
			out.push(n.value);
			n = n.next;
		}
		return out;
	}
}

class Singleton {
	static var instance:Singleton;
	public static var inits = 0;

	public var stamp:Int;

	function new() {
		inits++;
		stamp = inits * 11;
	}

	public static function get():Singleton {
		if (instance == null)
			instance = new Singleton();
		return instance;
	}
}

class StaticInit {
	public static var table:Array<Int> = [for (i in 0...5) i * i];
	public static var total:Int = {
		var t = 0;
		for (v in table)
			t += v;
		t;
	};
}

// Classes whose `x` lies in different slots, or is dynamic: one read or write in the program's
// code meets them all in turn.
class PointA {
	public var x:Float;

	public function new(x)
		this.x = x;
}

class Padded {
	public var tag:String = "b";
	public var pad:Int = 0;

	public function new() {}
}

// Its `x` comes after the slots of its base class.
class PointB extends Padded {
	public var x:Float;

	public function new(x) {
		super();
		this.x = x;
	}
}

class PointC extends PointA {
	public var y:Float = 0;
}

class Classes {
	static function sumX(points:Array<Dynamic>):String {
		var out = [];
		for (round in 0...3)
			for (p in points) {
				p.x = p.x + 2.5;
				out.push(p.x);
			}
		return out.join(" ");
	}

	static function main() {
		var b = new Base();
		trace(b.id);
		trace(b.describe());
		trace(b.label);
		var d = new Derived(5, "x");
		trace(d.id);
		trace(d.describe());
		trace(d.label);
		var asBase:Base = d;
		trace(asBase.describe());
		trace(asBase.label);
		trace(new MoreDerived().chain());
		trace(Base.make(21).id);
		trace("created " + Base.created);
		trace(Base.KIND);

		var named:Named = d;
		trace(named.label);

		var shapes:Array<Shape> = [new Rect(2, 3.5), new Circle(1), new Rect(0.5, 0.25)];
		for (s in shapes)
			trace(s.name() + " " + s.area());
		var total = 0.0;
		for (s in shapes)
			total += s.area();
		trace("total " + total);

		trace(Std.isOfType(d, Base));
		trace(Std.isOfType(d, Derived));
		trace(Std.isOfType(b, Derived));
		trace(Std.isOfType(d, Named));
		trace(Std.isOfType(shapes[0], Shape));
		trace(Std.isOfType(shapes[1], Rect));
		trace(Std.downcast(asBase, Derived) != null);
		trace(Std.downcast(b, Derived) == null);
		trace(Type.getClassName(Type.getClass(d)));
		trace(Type.getClassName(Type.getSuperClass(Type.getClass(d))));
		trace(Type.getSuperClass(Base) == null);

		var c = new Counter();
		c.count = 5;
		c.count += 3;
		c.count = -4;
		c.count++;
		trace(c.count);
		trace(c.doubled);
		trace(c.log.join(" "));
		trace(c.stored);
		c.stored = "abc";
		trace(c.stored);

		var list = new Node(1, new Node(2, new Node(3)));
		trace(list.toArray());
		var strs = new Node("a", new Node("b"));
		trace(strs.toArray().join("+"));

		trace(Singleton.get().stamp);
		trace(Singleton.get().stamp);
		trace(Singleton.inits);
		trace(StaticInit.table);
		trace(StaticInit.total);

		var inst = Type.createInstance(Derived, [9, "made"]);
		trace(inst.describe());
		var empty = Type.createEmptyInstance(Base);
		trace(Std.isOfType(empty, Base) + " " + Std.isOfType(empty, Derived));

		var anon = {x: 1, y: "two", z: [3]};
		trace(anon.x + " " + anon.y + " " + anon.z[0]);
		anon.x += 41;
		trace(anon.x);
		var fields = Reflect.fields(anon);
		fields.sort(Reflect.compare);
		trace(fields);
		trace(Reflect.hasField(anon, "y"));
		trace(Reflect.hasField(anon, "w"));
		trace(Reflect.field(anon, "y"));
		Reflect.setField(anon, "y", "changed");
		trace(anon.y);

		var fn:Int->Int = d.id > 0 ? function(v) return v + d.id : null;
		trace(fn(1));
		var method = d.describe;
		trace(method());

		var points:Array<Dynamic> = [new PointA(1), new PointB(1), new PointC(1), {x: 1.0}];
		trace(sumX(points));
		trace(sumX([new PointB(-3), new PointB(4)]));
	}
}
