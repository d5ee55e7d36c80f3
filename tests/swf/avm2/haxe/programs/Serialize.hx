// haxe.Serializer and haxe.Unserializer: the serialised text of values whose text does not
// depend on field or key order (numbers, strings with Chinese, arrays, enums, lists, one-field
// objects, references through the cache), and round trips of everything else, printed field
// by field.
// Left out: whole floats such as 3.0 (an int in ActionScript, so serialised as "i3" there and
// "d3" by the interpreter) and truncated input that makes the reader look past the end (the
// character code there is NaN in one target and null in the other).

enum Shape {
	Dot;
	Circle(r:Float);
	Poly(points:Array<{x:Int, y:Int}>);
	Group(items:Array<Shape>, name:String);
}

class Item {
	public var name:String;
	public var count:Int;
	public var tags:Array<String>;

	public function new(name, count, tags) {
		this.name = name;
		this.count = count;
		this.tags = tags;
	}
}

class Serialize {
	static function ser(v:Dynamic, cache = false, enumIndex = false):String {
		var s = new haxe.Serializer();
		s.useCache = cache;
		s.useEnumIndex = enumIndex;
		s.serialize(v);
		return s.toString();
	}

	static function main() {
		var simple:Array<Dynamic> = [
			0, 1, -1, 123456, -2147483648, 2147483647, 1.5, -0.25, 1e20,
			true, false, null, "", "hello", "中文 and spaces", "a:b;c&d%e", "新\n行",
			Math.NaN, Math.POSITIVE_INFINITY, Math.NEGATIVE_INFINITY
		];
		for (v in simple)
			trace(ser(v));
		trace(ser([1, 2, 3]));
		trace(ser([null, null, null, 4, null]));
		trace(ser(([[1], [], ["x", [true]]] : Array<Dynamic>)));
		trace(ser({only: ([1, "x"] : Array<Dynamic>)}));
		trace(ser(Dot));
		trace(ser(Circle(2.5)));
		trace(ser(Group([Dot, Circle(1)], "g")));
		trace(ser(Group([Dot, Circle(1)], "g"), false, true));
		var l = new List<Int>();
		for (i in 0...4)
			l.add(i * i);
		trace(ser(l));
		trace(ser(haxe.io.Bytes.ofString("bytes 字节")));
		var shared = "repeated string";
		trace(ser([shared, shared, "other", shared]));
		var arr = [7];
		trace(ser([arr, arr], true));
		trace(ser([arr, arr], false));
		var im = new haxe.ds.IntMap<String>();
		im.set(5, "five");
		trace(ser(im));
		var sm = new haxe.ds.StringMap<Int>();
		sm.set("键", 1);
		trace(ser(sm));

		var roundTrip:Array<Dynamic> = haxe.Unserializer.run(ser(simple));
		trace(roundTrip.length);
		var same = 0;
		for (i in 0...simple.length) {
			var a:Dynamic = simple[i], b:Dynamic = roundTrip[i];
			if (a == b || (Std.isOfType(a, Float) && Math.isNaN(a) && Math.isNaN(b)))
				same++;
			else
				trace("differs at " + i);
		}
		trace("same " + same);

		var item = new Item("盒子", 3, ["red", "large"]);
		var text = ser(item);
		var back:Item = haxe.Unserializer.run(text);
		trace(Std.isOfType(back, Item) + " " + back.name + " " + back.count + " " + back.tags.join("/"));
		trace(text.length);

		var anon = {a: 1, b: "two", c: [3.5], d: {e: null}};
		var anonBack:Dynamic = haxe.Unserializer.run(ser(anon));
		trace(anonBack.a + " " + anonBack.b + " " + anonBack.c[0] + " " + (anonBack.d.e == null));

		var poly = Poly([{x: 1, y: 2}, {x: -3, y: 4}]);
		var polyBack:Shape = haxe.Unserializer.run(ser(poly));
		switch (polyBack) {
			case Poly(pts): trace("poly " + [for (p in pts) p.x * 10 + p.y]);
			default: trace("wrong");
		}
		var g:Shape = haxe.Unserializer.run(ser(Group([Circle(0.5), Dot], "组"), true, true));
		switch (g) {
			case Group([Circle(r), Dot], name): trace("group " + name + " " + r);
			default: trace("wrong group");
		}

		var cyclic:Array<Dynamic> = [1];
		cyclic.push(cyclic);
		var cycText = ser(cyclic, true);
		trace(cycText);
		var cycBack:Array<Dynamic> = haxe.Unserializer.run(cycText);
		trace(cycBack[1] == cycBack);

		var mapBack:haxe.ds.StringMap<Int> = haxe.Unserializer.run(ser(["x" => 1, "y" => 2, "z" => 3]));
		var keys = [for (k in mapBack.keys()) k];
		keys.sort((a, b) -> a < b ? -1 : 1);
		trace(keys.map(k -> k + mapBack.get(k)));
		var bytesBack:haxe.io.Bytes = haxe.Unserializer.run(ser(haxe.io.Bytes.ofString("往返")));
		trace(bytesBack.toString());

		var big = [for (i in 0...300) i * 3];
		var bigText = ser(big);
		trace(bigText.length + " " + bigText.substr(0, 30));
		var bigBack:Array<Int> = haxe.Unserializer.run(bigText);
		var sum = 0;
		for (v in bigBack)
			sum += v;
		trace(sum);

		for (bad in ["z", "y5:ab", "ai1h", "q", "xxx"]) {
			var r = try {
				haxe.Unserializer.run(bad);
				"accepted";
			} catch (e:Dynamic) "rejected";
			trace(bad + " " + r);
		}
	}
}
