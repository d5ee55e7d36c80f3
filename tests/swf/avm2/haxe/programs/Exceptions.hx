// Exceptions: throwing values of every kind, catch order by type, rethrow, nesting, unwinding
// through calls and closures, and haxe.Exception's own fields.
// Left out: Std.string of an exception and its stack (their text differs between targets).

class MyError extends haxe.Exception {
	public var code:Int;

	public function new(code:Int, msg:String) {
		super(msg);
		this.code = code;
	}
}

class OtherError extends MyError {}

class Payload {
	public var v:Int;

	public function new(v)
		this.v = v;
}

enum Failure {
	NotFound(what:String);
	Invalid(code:Int, why:String);
}

class Exceptions {
	static var log:Array<String> = [];

	static function thrower(kind:Int):Int {
		switch (kind) {
			case 0:
				throw "a string";
			case 1:
				throw 42;
			case 2:
				throw new MyError(7, "mine");
			case 3:
				throw new OtherError(8, "other");
			case 4:
				throw new Payload(99);
			case 5:
				throw NotFound("key");
			case 6:
				throw 2.5;
			case 7:
				throw true;
			case 8:
				throw [1, 2, 3];
			default:
				return kind * 10;
		}
	}

	static function classify(kind:Int):String {
		try {
			return "returned " + thrower(kind);
		} catch (e:OtherError) {
			return "OtherError " + e.code + " " + e.message;
		} catch (e:MyError) {
			return "MyError " + e.code + " " + e.message;
		} catch (e:String) {
			return "String " + e;
		} catch (e:Int) {
			return "Int " + e;
		} catch (e:Payload) {
			return "Payload " + e.v;
		} catch (e:Failure) {
			return "Failure " + Type.enumConstructor(e) + " " + Type.enumParameters(e);
		} catch (e:Float) {
			return "Float " + e;
		} catch (e:Bool) {
			return "Bool " + e;
		} catch (e:Dynamic) {
			return "Dynamic " + (e : Array<Int>).length;
		}
	}

	static function deep(n:Int):Int {
		log.push("enter " + n);
		if (n == 0)
			throw new MyError(n, "bottom");
		var r = deep(n - 1);
		log.push("never " + n);
		return r;
	}

	static function rethrow():Void {
		try {
			thrower(2);
		} catch (e:MyError) {
			log.push("caught once " + e.code);
			throw e;
		}
	}

	static function wrap():Void {
		try {
			thrower(0);
		} catch (e:String) {
			throw new MyError(500, "wrapped " + e);
		}
	}

	static function main() {
		for (k in 0...10)
			trace(k + ": " + classify(k));

		try {
			deep(4);
		} catch (e:MyError) {
			trace("deep " + e.message + " " + e.code);
		}
		trace(log.join(","));
		log = [];

		try {
			rethrow();
		} catch (e:MyError) {
			trace("rethrown " + e.code + " " + log.join(","));
		}

		try {
			wrap();
		} catch (e:MyError) {
			trace(e.message + " " + e.code);
		}

		try {
			throw new haxe.Exception("plain");
		} catch (e:haxe.Exception) {
			trace("exception " + e.message);
			trace(Std.isOfType(e, haxe.Exception));
			trace(e.previous == null);
		}

		try {
			try {
				throw new MyError(1, "inner");
			} catch (e:MyError) {
				throw new haxe.Exception("outer", e);
			}
		} catch (e:haxe.Exception) {
			trace(e.message + " <- " + e.previous.message);
		}

		// A value that is not an exception arrives wrapped when caught as haxe.Exception.
		try {
			throw "raw";
		} catch (e:haxe.Exception) {
			trace("wrapped message " + e.message);
			trace(Std.isOfType(e, haxe.ValueException));
			trace((cast e : haxe.ValueException).value);
		}

		try {
			throw 123;
		} catch (e:haxe.ValueException) {
			trace("value " + e.value);
		}

		var count = 0;
		for (i in 0...20) {
			try {
				if (i % 3 == 0)
					throw i;
				count += i;
			} catch (e:Int) {
				count -= e;
				if (e > 12)
					break;
				continue;
			}
			count *= 2;
		}
		trace("loop " + count);

		var f = function(x:Int):Int {
			if (x < 0)
				throw Invalid(x, "negative");
			return x * 2;
		};
		for (x in [3, -4, 5]) {
			try {
				trace("closure " + f(x));
			} catch (e:Failure) {
				switch (e) {
					case Invalid(c, why):
						trace("closure failed " + c + " " + why);
					case NotFound(_):
						trace("unexpected");
				}
			}
		}

		var nested = [];
		try {
			try {
				try {
					throw "level3";
				} catch (e:Int) {
					nested.push("wrong");
				}
			} catch (e:String) {
				nested.push("got " + e);
				throw e + "+";
			}
		} catch (e:String) {
			nested.push("outer got " + e);
		}
		trace(nested.join("; "));

		// A catch inside a function leaves the caller's locals alone.
		var before = 5;
		var results = [for (k in [0, 9, 1]) classify(k).length];
		trace(before + " " + results);

		trace(catchInExpression(0) + " " + catchInExpression(1));
		trace(tryValue(true) + " " + tryValue(false));
	}

	static function catchInExpression(k:Int):Int {
		var v = try thrower(k == 0 ? 9 : 1) catch (e:Int) -e;
		return v;
	}

	static function tryValue(fail:Bool):String {
		var s = try {
			if (fail) throw "bad";
			"good";
		} catch (e:String) {
			"recovered from " + e;
		}
		return s;
	}
}
