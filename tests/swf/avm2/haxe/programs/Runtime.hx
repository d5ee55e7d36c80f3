// Errors raised by the runtime rather than by throw, caught and recovered from: access through
// null, calling null, failed casts, and an error inside a callback of a library function. Only
// the fact that something was caught is printed: the error objects differ between targets.
// Also methods called through this inside closures, and state kept across the recoveries.
// Left out: reading a field of a null Dynamic, which the interpreter answers with null.

class Widget {
	public var name:String;
	public var parts:Array<String> = [];

	public function new(name)
		this.name = name;

	public function collect(items:Array<Int>):Array<String> {
		return items.map(i -> name + "#" + i + "/" + label(i));
	}

	function label(i:Int):String
		return i % 2 == 0 ? "even" : "odd";

	public function later():Void->String {
		var self = this;
		return function() {
			parts.push("later");
			return self.name + ":" + parts.length;
		};
	}
}

class Runtime {
	static function attempt(what:String, f:Void->Dynamic):String {
		try {
			var v = f();
			return what + " ok " + v;
		} catch (e:Dynamic) {
			return what + " caught";
		}
	}

	static function main() {
		var nothing:Dynamic = null;
		var noArray:Array<Int> = null;
		var noWidget:Widget = null;
		var noFn:Void->Int = null;
		trace(attempt("method of null", () -> noArray.push(1)));
		trace(attempt("instance field of null", () -> noWidget.name));
		trace(attempt("call null", () -> noFn()));
		trace(attempt("cast", () -> cast(("text" : Dynamic), Widget)));
		trace(attempt("good cast", () -> cast(new Widget("w"), Widget).name));
		trace(attempt("in map", () -> [1, 2, 3].map(x -> x == 2 ? noWidget.name : "" + x)));
		trace(attempt("in sort", () -> {
			var a = [3, 1, 2];
			a.sort((x, y) -> {
				if (x == 2 || y == 2)
					throw "no twos";
				return x - y;
			});
			a;
		}));
		trace(attempt("in nested closure", () -> {
			var inner = function(n:Int):Int {
				if (n > 2)
					throw n;
				return n;
			};
			[for (i in 0...5) inner(i)];
		}));
		trace(attempt("division", () -> 1 / 0));
		trace(attempt("int division", () -> Std.int(7 / 2)));

		// After all that the program goes on normally, with its state intact.
		var w = new Widget("组件");
		trace(w.collect([1, 2, 3]));
		var f = w.later();
		f();
		trace(f());
		trace(w.parts);

		var recovered = 0;
		for (i in 0...100) {
			try {
				if (i % 10 == 0)
					nothing.crash();
				recovered++;
			} catch (e:Dynamic) {
				recovered += 1000;
			}
		}
		trace(recovered);

		var depth = 0;
		function nest(n:Int):Int {
			depth++;
			try {
				if (n == 0)
					throw "bottom";
				return nest(n - 1) + 1;
			} catch (e:String) {
				if (n < 5)
					throw e + "<" + n;
				return -n;
			}
		}
		trace(nest(8) + " " + depth);
	}
}
