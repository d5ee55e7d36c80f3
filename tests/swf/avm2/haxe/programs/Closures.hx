// Closures: captured variables (shared, per-iteration), bound methods, recursion, higher-order
// functions and function values stored in data.

class Acc {
	public var total = 0;

	public function new() {}

	public function add(n:Int):Int {
		total += n;
		return total;
	}
}

class Closures {
	static function makeCounter(start:Int):{inc:Void->Int, get:Void->Int, reset:Int->Void} {
		var n = start;
		return {
			inc: function() return ++n,
			get: () -> n,
			reset: function(v) n = v
		};
	}

	static function compose<A, B, C>(f:B->C, g:A->B):A->C
		return x -> f(g(x));

	static function curry(a:Int)
		return (b:Int) -> (c:Int) -> a * 100 + b * 10 + c;

	static function apply(times:Int, f:Int->Int, x:Int):Int {
		for (_ in 0...times)
			x = f(x);
		return x;
	}

	static function main() {
		var c = makeCounter(10);
		trace(c.inc());
		trace(c.inc());
		trace(c.get());
		c.reset(100);
		trace(c.inc());
		var c2 = makeCounter(0);
		trace(c2.inc() + " " + c.get());

		var fns = [];
		for (i in 0...5)
			fns.push(() -> i * i);
		trace([for (f in fns) f()]);

		var shared = 0;
		var adders = [for (k in 1...4) function() { shared += k; return shared; }];
		for (f in adders)
			trace(f());
		trace(shared);

		var j = 0;
		var whileFns = [];
		while (j < 3) {
			var captured = j;
			whileFns.push(() -> captured + j);
			j++;
		}
		trace([for (f in whileFns) f()]);

		var inc = x -> x + 1;
		var dbl = x -> x * 2;
		trace(compose(inc, dbl)(5));
		trace(compose(dbl, inc)(5));
		trace(compose(Std.string, dbl)(21) + "!");
		trace(curry(1)(2)(3));
		var c12 = curry(1)(2);
		trace(c12(7) + c12(8));
		trace(apply(10, dbl, 1));

		function fact(n:Int):Int return n <= 1 ? 1 : n * fact(n - 1);
		trace(fact(10));
		function fib(n:Int):Int return n < 2 ? n : fib(n - 1) + fib(n - 2);
		trace([for (i in 0...15) fib(i)]);

		var isOdd:Int->Bool = null;
		function isEven(n:Int):Bool return n == 0 ? true : isOdd(n - 1);
		isOdd = n -> n == 0 ? false : isEven(n - 1);
		trace(isEven(10) + " " + isOdd(7) + " " + isEven(7));

		var acc = new Acc();
		var bound = acc.add;
		bound(5);
		bound(7);
		trace(acc.total);
		var ops:Array<Int->Int> = [acc.add, inc, dbl, x -> Math.floor(x / 2)];
		trace([for (o in ops) o(3)]);

		var add3 = function(a:Int, b:Int, c:Int) return a + b * 2 + c * 3;
		var b1 = add3.bind(1);
		var b2 = add3.bind(_, 10, _);
		trace(b1(2, 3));
		trace(b2(1, 1));

		var table:Map<String, Float->Float->Float> = [
			"+" => (a, b) -> a + b,
			"-" => (a, b) -> a - b,
			"*" => (a, b) -> a * b,
			"/" => (a, b) -> a / b
		];
		for (op in ["+", "-", "*", "/"])
			trace("7 " + op + " 2 = " + table[op](7, 2));

		var arr = [5, 3, 8, 1, 9, 2];
		trace(arr.map(x -> x * 10));
		trace(arr.filter(x -> x % 2 == 1));
		var sum = 0;
		Lambda.iter(arr, x -> sum += x);
		trace(sum);
		trace(Lambda.fold(arr, (x, a) -> a * 2 + x, 0));
		trace(Lambda.exists(arr, x -> x > 8) + " " + Lambda.foreach(arr, x -> x > 0));
		trace(Lambda.count(arr, x -> x > 3));
		trace(Lambda.find(arr, x -> x > 5));
		trace(Lambda.findIndex(arr, x -> x == 1));

		var memo = new Map<Int, Float>();
		var calls = 0;
		function slowSquare(n:Int):Float {
			if (memo.exists(n))
				return memo.get(n);
			calls++;
			var v = n * n + 0.5;
			memo.set(n, v);
			return v;
		}
		for (n in [3, 4, 3, 3, 4, 5])
			slowSquare(n);
		trace("calls " + calls + " value " + slowSquare(5));

		var nullable:Null<Int->Int> = null;
		trace(nullable == null);
		nullable = inc;
		trace(nullable(41));
		trace(Reflect.isFunction(inc) + " " + Reflect.isFunction(acc));
		trace(Reflect.callMethod(null, add3, [1, 2, 3]));
		trace(Reflect.compareMethods(acc.add, acc.add));
	}
}
