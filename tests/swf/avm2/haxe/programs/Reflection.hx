// Run-time reflection on public members: Reflect on anonymous objects and class instances
// (fields, properties through their accessors, method calls with arguments as an array),
// dynamic methods replaced at run time, Type's class and enum lookup by name, and the field
// lists of a class with public variables and methods only (sorted: their order is up to each
// target). Left out: private fields and property accessors in field lists, which each target
// reports in its own way.

enum Tone {
	Low;
	High(level:Int);
}

class Plain {
	public var alpha:Int;
	public var beta:String;

	public function new() {
		alpha = 1;
		beta = "b";
	}

	public function sum(a:Int, b:Int):Int
		return alpha + a + b;

	public function greet():String
		return "hi " + beta;

	public static var counter:Int = 0;

	public static function bump():Int
		return ++counter;
}

class WithProps {
	public var temp(get, set):Float;

	var celsius:Float = 0;

	public var log:Array<String> = [];

	public function new() {}

	function get_temp():Float {
		log.push("get");
		return celsius;
	}

	function set_temp(v:Float):Float {
		log.push("set " + v);
		return celsius = v;
	}
}

class Hooks {
	public function new() {}

	public dynamic function format(v:Int):String
		return "<" + v + ">";

	public static dynamic function shout(s:String):String
		return s.toUpperCase();
}

class Reflection {
	static function sorted(a:Array<String>):Array<String> {
		a.sort((x, y) -> x < y ? -1 : (x > y ? 1 : 0));
		return a;
	}

	static function main() {
		var o:Dynamic = {name: "对象", size: 3, list: [1, 2]};
		trace(sorted(Reflect.fields(o)));
		trace(Reflect.field(o, "name") + " " + Reflect.field(o, "size") + " " + Reflect.field(o, "missing"));
		Reflect.setField(o, "added", true);
		trace(Reflect.hasField(o, "added") + " " + sorted(Reflect.fields(o)).length);
		trace(Reflect.deleteField(o, "size") + " " + Reflect.deleteField(o, "size") + " " + Reflect.hasField(o, "size"));
		var copy = Reflect.copy(o);
		Reflect.setField(copy, "name", "副本");
		trace(o.name + " " + copy.name + " " + (copy.list == o.list));
		trace(Reflect.isObject(o) + " " + Reflect.isObject(1) + " " + Reflect.isObject("s") + " " + Reflect.isObject(null));
		trace(Reflect.isEnumValue(High(2)) + " " + Reflect.isEnumValue(o));
		trace(Reflect.compare(1, 2) + " " + Reflect.compare("b", "a") + " " + Reflect.compare(3.5, 3.5));

		var p = new Plain();
		trace(Reflect.field(p, "alpha") + " " + Reflect.field(p, "beta"));
		Reflect.setField(p, "alpha", 40);
		trace(p.alpha + " " + Reflect.callMethod(p, Reflect.field(p, "sum"), [1, 2]));
		trace(Reflect.callMethod(p, p.greet, []));
		trace(Reflect.hasField(p, "alpha") + " " + Reflect.isFunction(Reflect.field(p, "greet")));
		trace(sorted(Type.getInstanceFields(Plain)));
		trace(Reflect.field(Plain, "counter") + " " + Reflect.callMethod(Plain, Reflect.field(Plain, "bump"), []) + " " + Plain.counter);

		var w = new WithProps();
		Reflect.setProperty(w, "temp", 21.5);
		var t = Reflect.getProperty(w, "temp");
		trace(t + " " + w.log.join(","));
		w.temp += 1;
		trace(w.temp + " " + w.log.join(","));

		var h = new Hooks();
		trace(h.format(5));
		h.format = v -> "[" + v * 2 + "]";
		trace(h.format(5));
		var other = new Hooks();
		trace(other.format(5));
		trace(Hooks.shout("quiet"));
		var old = Hooks.shout;
		Hooks.shout = s -> old(s) + "!";
		trace(Hooks.shout("quiet"));
		Hooks.shout = old;
		trace(Hooks.shout("again"));

		var c = Type.resolveClass("Plain");
		trace((c == Plain) + " " + Type.getClassName(c) + " " + (Type.resolveClass("NoSuchClass") == null));
		var made:Plain = Type.createInstance(c, []);
		trace(made.greet());
		var e = Type.resolveEnum("Tone");
		trace((e == Tone) + " " + Type.getEnumName(e) + " " + (Type.resolveEnum("NoSuchEnum") == null));
		var v = Type.createEnum(e, "High", [7]);
		trace(Type.enumConstructor(v) + " " + Type.enumParameters(v)[0] + " " + Type.enumEq(v, High(7)));
		trace(Type.getClass(p) == Plain);
		trace(Type.getClass("str") == String);
		trace(Std.isOfType("str", String) + " " + Std.isOfType(5, String) + " " + Std.isOfType(p, Plain) + " " + Std.isOfType(null, Plain));
		trace(Std.isOfType(true, Bool) + " " + Std.isOfType(1.5, Float) + " " + Std.isOfType(1, Float) + " " + Std.isOfType([1], Array));

		var varargs:Dynamic = Reflect.makeVarArgs(function(args:Array<Dynamic>) return args.length + ":" + args.join("|"));
		trace(varargs(1, "two", 3.5));
		trace(varargs());

		var fields = sorted(Type.getClassFields(Plain));
		trace(fields);
		var obj:Dynamic = {};
		for (i in 0...20)
			Reflect.setField(obj, "k" + i, i);
		var total = 0;
		for (f in Reflect.fields(obj))
			total += Reflect.field(obj, f);
		trace(Reflect.fields(obj).length + " " + total);
	}
}
