// Maps: string, int, object and enum keys; set, get, exists, remove, counting, keys that are
// the names of built-in properties, and Chinese keys. Keys are sorted before printing because
// iteration order is up to each target.

enum Color {
	Red;
	Green;
	Rgb(r:Int, g:Int, b:Int);
}

class Key {
	public var name:String;

	public function new(name)
		this.name = name;
}

class Maps {
	static function sortedKeys<K>(m:Map<K, Dynamic>, str:K->String):Array<String> {
		var ks = [for (k in m.keys()) str(k)];
		ks.sort((a, b) -> a < b ? -1 : (a > b ? 1 : 0));
		return ks;
	}

	static function sortedInts(it:Iterator<Int>):Array<Int> {
		var a = [for (v in it) v];
		a.sort((x, y) -> x < y ? -1 : (x > y ? 1 : 0));
		return a;
	}

	static function main() {
		var sm = new Map<String, Int>();
		sm.set("one", 1);
		sm.set("two", 2);
		sm["three"] = 3;
		sm.set("二", 20);
		trace(sm.get("two") + " " + sm["three"] + " " + sm.get("二"));
		trace(sm.exists("one") + " " + sm.exists("four") + " " + (sm.get("four") == null));
		sm.set("one", 100);
		trace(sm.get("one"));
		trace(sm.remove("two") + " " + sm.remove("two") + " " + sm.exists("two"));
		trace(sortedKeys(sm, k -> k));
		trace(sortedInts(sm.iterator()));

		// Keys that are also names of properties every object has.
		var tricky = new Map<String, String>();
		for (k in ["toString", "hasOwnProperty", "constructor", "__proto__", "prototype", "length", "valueOf", "", "$x", "0"])
			tricky.set(k, "<" + k + ">");
		trace(sortedKeys(tricky, k -> k).join(" "));
		trace(tricky.get("toString") + tricky.get("__proto__") + tricky.get("") + tricky.get("0"));
		trace(tricky.exists("isPrototypeOf") + " " + tricky.exists("constructor") + " " + tricky.exists("length"));
		tricky.remove("constructor");
		trace(tricky.exists("constructor") + " " + Lambda.count(tricky));

		var im = new Map<Int, String>();
		for (i in [-5, 0, 7, 1000000, -2147483648, 2147483647])
			im.set(i, "v" + i);
		trace(sortedInts(im.keys()));
		trace(im.get(-5) + " " + im.get(2147483647) + " " + im.get(-2147483648) + " " + (im.get(8) == null));
		im.remove(0);
		trace(im.exists(0) + " " + im.exists(7));

		var counts = new Map<String, Int>();
		var text = "the cat and the hat and the bat sat on the mat 的 的 了";
		for (w in text.split(" "))
			counts.set(w, (counts.exists(w) ? counts.get(w) : 0) + 1);
		var pairs = [for (k in counts.keys()) k + "=" + counts.get(k)];
		pairs.sort((a, b) -> a < b ? -1 : (a > b ? 1 : 0));
		trace(pairs.join(" "));

		var om = new Map<Key, Int>();
		var k1 = new Key("a"), k2 = new Key("b"), k3 = new Key("a");
		om.set(k1, 1);
		om.set(k2, 2);
		om.set(k3, 3);
		trace(om.get(k1) + " " + om.get(k2) + " " + om.get(k3) + " " + Lambda.count(om));
		om.remove(k1);
		trace(om.exists(k1) + " " + om.exists(k3));
		trace(sortedKeys(om, k -> k.name));

		var em = new Map<Color, String>();
		em.set(Red, "red");
		em.set(Rgb(1, 2, 3), "rgb123");
		em.set(Rgb(1, 2, 3), "again");
		em.set(Green, "green");
		trace(em.get(Red) + " " + em.get(Rgb(1, 2, 3)) + " " + em.get(Green) + " " + (em.get(Rgb(3, 2, 1)) == null));
		trace(Lambda.count(em));

		var literal = ["a" => 1, "b" => 2, "c" => 3];
		var kv = [for (k => v in literal) k + v];
		kv.sort((a, b) -> a < b ? -1 : 1);
		trace(kv);
		var copy = literal.copy();
		copy.set("d", 4);
		trace(Lambda.count(literal) + " " + Lambda.count(copy));
		literal.clear();
		trace(Lambda.count(literal) + " " + literal.exists("a"));

		var nested = new Map<String, Map<Int, Array<String>>>();
		for (i in 0...12) {
			var group = i % 3 == 0 ? "fizz" : "other";
			if (!nested.exists(group))
				nested.set(group, new Map());
			var inner = nested.get(group);
			var bucket = i % 2;
			if (!inner.exists(bucket))
				inner.set(bucket, []);
			inner.get(bucket).push("n" + i);
		}
		trace(nested.get("fizz").get(0) + " " + nested.get("fizz").get(1) + " " + nested.get("other").get(1));

		var big = new Map<Int, Int>();
		for (i in 0...5000)
			big.set(i * 7, i);
		var sum = 0;
		for (v in big)
			sum += v;
		trace(Lambda.count(big) + " " + sum + " " + big.get(7 * 4321));
		for (i in 0...2500)
			big.remove(i * 14);
		trace(Lambda.count(big) + " " + big.exists(14) + " " + big.exists(21));

		var dyn:haxe.DynamicAccess<Int> = {};
		dyn.set("x", 1);
		dyn["y"] = 2;
		trace(dyn.get("x") + dyn["y"] + " " + dyn.exists("z"));
		var dk = dyn.keys();
		dk.sort((a, b) -> a < b ? -1 : 1);
		trace(dk);
	}
}
