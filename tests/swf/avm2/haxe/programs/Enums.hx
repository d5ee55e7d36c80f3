// Enums and pattern matching: constructors with and without arguments, recursive enums,
// switch with guards, or-patterns, nested and structure patterns, array patterns, captures,
// extractors, and the Type API for enums.
// Enum values are printed through Type.enumConstructor/enumParameters or by hand, never by
// Std.string, whose text is up to each target.

import haxe.ds.Option;
import haxe.ds.Either;

enum Expr {
	Num(v:Float);
	Var(name:String);
	Add(a:Expr, b:Expr);
	Mul(a:Expr, b:Expr);
	Neg(e:Expr);
	Let(name:String, value:Expr, body:Expr);
}

enum Suit {
	Hearts;
	Diamonds;
	Clubs;
	Spades;
}

enum Tree<T> {
	Leaf;
	Branch(left:Tree<T>, value:T, right:Tree<T>);
}

class Enums {
	static function eval(e:Expr, env:Map<String, Float>):Float {
		return switch (e) {
			case Num(v): v;
			case Var(n): env.exists(n) ? env.get(n) : throw "unbound " + n;
			case Add(a, b): eval(a, env) + eval(b, env);
			case Mul(Num(0), _) | Mul(_, Num(0)): 0;
			case Mul(a, b): eval(a, env) * eval(b, env);
			case Neg(Neg(inner)): eval(inner, env);
			case Neg(x): -eval(x, env);
			case Let(n, v, body):
				var copy = env.copy();
				copy.set(n, eval(v, env));
				eval(body, copy);
		}
	}

	static function show(e:Expr):String {
		return switch (e) {
			case Num(v): "" + v;
			case Var(n): n;
			case Add(a, b): "(" + show(a) + " + " + show(b) + ")";
			case Mul(a, b): show(a) + " * " + show(b);
			case Neg(x): "-" + show(x);
			case Let(n, v, b): "let " + n + " = " + show(v) + " in " + show(b);
		}
	}

	static function simplify(e:Expr):Expr {
		return switch (e) {
			case Add(Num(a), Num(b)): Num(a + b);
			case Mul(Num(1), x) | Mul(x, Num(1)): simplify(x);
			case Add(a, b): Add(simplify(a), simplify(b));
			case Mul(a, b): Mul(simplify(a), simplify(b));
			case Neg(Num(v)): Num(-v);
			case other: other;
		}
	}

	static function insert(t:Tree<Int>, v:Int):Tree<Int> {
		return switch (t) {
			case Leaf: Branch(Leaf, v, Leaf);
			case Branch(l, x, r) if (v < x): Branch(insert(l, v), x, r);
			case Branch(l, x, r) if (v > x): Branch(l, x, insert(r, v));
			case same: same;
		}
	}

	static function inorder(t:Tree<Int>, out:Array<Int>):Array<Int> {
		switch (t) {
			case Leaf:
			case Branch(l, x, r):
				inorder(l, out);
				out.push(x);
				inorder(r, out);
		}
		return out;
	}

	static function depth<T>(t:Tree<T>):Int {
		return switch (t) {
			case Leaf: 0;
			case Branch(l, _, r):
				var a = depth(l), b = depth(r);
				1 + (a > b ? a : b);
		}
	}

	static function classify(v:Int):String {
		return switch (v) {
			case 0: "zero";
			case 1 | 2 | 3: "small";
			case n if (n < 0): "negative";
			case n if (n % 2 == 0 && n < 100): "even<100";
			case 100: "hundred";
			case _: "other";
		}
	}

	static function describeArray(a:Array<Int>):String {
		return switch (a) {
			case []: "empty";
			case [x]: "one " + x;
			case [x, y] if (x == y): "pair of " + x;
			case [x, y]: "two " + (x + y);
			case [1, _, 3]: "1?3";
			case _: "many " + a.length;
		}
	}

	static function describePoint(p:{x:Int, y:Int}):String {
		return switch (p) {
			case {x: 0, y: 0}: "origin";
			case {x: 0, y: y}: "on y at " + y;
			case {x: x, y: 0}: "on x at " + x;
			case {x: x, y: y} if (x == y): "diagonal " + x;
			case _: "somewhere";
		}
	}

	static function strings(s:String):String {
		return switch (s) {
			case "你好" | "hello": "greeting";
			case "": "nothing";
			case _.length => 3: "three long";
			case _.toUpperCase() => "YES": "affirmative";
			default: "unknown";
		}
	}

	static function main() {
		var env = ["x" => 3.0, "y" => -2.5];
		var exprs = [
			Add(Num(1), Mul(Var("x"), Num(4))),
			Mul(Var("y"), Num(0)),
			Neg(Neg(Var("x"))),
			Let("z", Add(Var("x"), Var("y")), Mul(Var("z"), Var("z"))),
			Neg(Add(Num(0.5), Num(0.25))),
			Mul(Num(1), Add(Num(2), Num(3)))
		];
		for (e in exprs)
			trace(show(e) + " => " + eval(e, env) + " ~ " + show(simplify(e)));
		try {
			eval(Var("nope"), env);
		} catch (msg:String) {
			trace(msg);
		}

		var t = Leaf;
		for (v in [50, 30, 70, 20, 40, 60, 80, 30, 65, 10])
			t = insert(t, v);
		trace(inorder(t, []));
		trace(depth(t));

		trace([for (v in [0, 2, -7, 8, 100, 101, 64]) classify(v)].join(","));
		trace([for (a in [[], [4], [5, 5], [1, 9], [1, 2, 3], [1, 2, 4]]) describeArray(a)].join(","));
		trace([for (p in [{x: 0, y: 0}, {x: 0, y: 3}, {x: 4, y: 0}, {x: 5, y: 5}, {x: 1, y: 2}]) describePoint(p)].join(","));
		trace([for (s in ["你好", "hello", "", "abc", "yes", "Yes!", "no"]) strings(s)].join(","));

		trace(Type.enumIndex(Spades) + " " + Type.enumConstructor(Diamonds));
		trace(Type.allEnums(Suit).map(s -> Type.enumConstructor(s)));
		trace(Type.getEnumConstructs(Expr));
		var e = Let("a", Num(1), Var("a"));
		trace(Type.enumConstructor(e) + " " + Type.enumParameters(e).length + " " + Type.enumIndex(e));
		trace(Type.enumEq(Add(Num(1), Var("q")), Add(Num(1), Var("q"))));
		trace(Type.enumEq(Add(Num(1), Var("q")), Add(Num(1), Var("r"))));
		trace(Hearts == Hearts);
		trace(Type.createEnum(Suit, "Clubs") == Clubs);
		var made = Type.createEnum(Expr, "Num", [2.5]);
		trace(show(made));
		var made2 = Type.createEnumIndex(Expr, 2, [Num(1), Num(2)]);
		trace(show(made2) + " " + eval(made2, env));
		trace(Type.getEnumName(Type.getEnum(made)));

		var opt:haxe.ds.Option<Int> = Some(5);
		trace(switch (opt) {
			case Some(v) if (v > 3): "big " + v;
			case Some(v): "small " + v;
			case None: "none";
		});
		var results:Array<haxe.ds.Either<String, Int>> = [Left("err"), Right(3)];
		for (r in results)
			trace(switch (r) {
				case Left(msg): "left " + msg;
				case Right(n): "right " + n * 2;
			});

		var hand = [Spades, Hearts, Hearts, Clubs, Diamonds, Spades, Spades];
		var tally = [0, 0, 0, 0];
		for (card in hand)
			tally[Type.enumIndex(card)]++;
		trace(tally);
		var reds = hand.filter(c -> c.match(Hearts | Diamonds)).length;
		trace("reds " + reds);
		trace(Add(Num(1), Num(2)).match(Add(Num(_), _)));
		trace(Neg(Num(1)).match(Neg(Var(_))));
		var v = Num(7);
		switch (v) {
			case Num(n = 7): trace("captured " + n);
			case _: trace("no");
		}
		var tuple = {a: Some(1), b: [Some(2), None]};
		switch (tuple) {
			case {a: Some(x), b: [Some(y), None]}: trace("deep " + (x + y));
			case _: trace("shallow");
		}
	}
}
