// The smallest steps first: one trace per feature, so a VM that is just starting can see how
// far it gets. Strings, numbers, locals, a loop, a branch, a static call, an instance, an array.

class Counter {
	public var n:Int;

	public function new(start:Int)
		n = start;

	public function next():Int
		return ++n;
}

class Basics {
	static function twice(x:Int):Int
		return x * 2;

	static function main() {
		trace("hello");
		trace("你好");
		trace(42);
		trace(-7);
		trace(2.5);
		trace(true);
		trace(null);
		trace("a" + "b");
		trace("n=" + 3);
		trace(1 + 2 * 3);
		trace(10 / 4);
		trace(10 % 4);
		var x = 5;
		x += 2;
		trace(x);
		var sum = 0;
		for (i in 0...10)
			sum += i;
		trace(sum);
		if (sum > 40)
			trace("big");
		else
			trace("small");
		trace(twice(21));
		var c = new Counter(10);
		c.next();
		trace(c.next());
		var a = [1, 2, 3];
		a.push(4);
		trace(a.length);
		trace(a);
		trace(a[2]);
		var s = "abc";
		trace(s.length + " " + s.charAt(1) + " " + s.toUpperCase());
		trace(Std.int(3.7) + " " + Std.string(8) + " " + Std.parseInt("12"));
		var f = function(v:Int) return v + 100;
		trace(f(1));
		trace("done");
	}
}
