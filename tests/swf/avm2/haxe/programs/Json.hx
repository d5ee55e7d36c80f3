// JSON: parsing every kind of value (escapes, Chinese, nesting, numbers in all notations) and
// printing values back. ActionScript's own JSON class does the work in the movie.
// Objects with more than one field are printed field by field, never through stringify: the
// order of an object's fields is up to each target. Control characters other than \n, \t, \r,
// \b and \f are not printed (the two escape them with different letter case).

class Json {
	static function main() {
		var text = '{"name":"播放器","version":3,"ratio":0.75,"tags":["swf","as3","中文"],"nested":{"ok":true,"none":null,"deep":{"n":-1.5e3}}}';
		var o:Dynamic = haxe.Json.parse(text);
		trace(o.name);
		trace(o.version + 1);
		trace(o.ratio * 4);
		trace(o.tags.length + " " + o.tags[2]);
		trace(o.nested.ok + " " + (o.nested.none == null) + " " + o.nested.deep.n);
		var keys = Reflect.fields(o);
		keys.sort((a, b) -> a < b ? -1 : 1);
		trace(keys);

		var escapes:String = haxe.Json.parse('"line1\\nline2\\t\\"quoted\\" back\\\\slash \\u4f60\\u597d \\/ end"');
		trace(escapes.length);
		trace(StringTools.replace(StringTools.replace(escapes, "\n", "<NL>"), "\t", "<TAB>"));

		var numbers:Array<Float> = haxe.Json.parse("[0, -0, 1, -1, 1.5, 1e3, 2E-2, 123456789012, -0.000001, 1.7976931348623157e308]");
		trace(numbers);
		trace(numbers[5] + numbers[6]);

		var arr:Array<Dynamic> = haxe.Json.parse('[1, "two", [3, [4, [5]]], {"six": 6}, true, false, null]');
		trace(arr.length);
		trace(arr[2][1][1][0] + arr[3].six);
		trace(arr[4] + " " + arr[5] + " " + arr[6]);

		trace(haxe.Json.stringify([1, 2, 3]));
		trace(haxe.Json.stringify("plain"));
		trace(haxe.Json.stringify("quote\" back\\ nl\n tab\t 中文 /"));
		trace(haxe.Json.stringify([true, false, null]));
		trace(haxe.Json.stringify([1.5, -0.25, 1e21, 1e-7, 100]));
		trace(haxe.Json.stringify({only: "one"}));
		trace(haxe.Json.stringify({list: ([{a: 1}, {b: [2, 3]}] : Array<Dynamic>)}));
		trace(haxe.Json.stringify([]));
		trace(haxe.Json.stringify({}));
		trace(haxe.Json.stringify([[], [[]], ""]));

		var round:Dynamic = haxe.Json.parse(haxe.Json.stringify({title: "标题", n: 42, list: [1, 2], flag: false}));
		trace(round.title + " " + round.n + " " + round.list + " " + round.flag);

		var big = [for (i in 0...50) {id: i, sq: i * i}];
		var s = haxe.Json.stringify(big);
		var back:Array<Dynamic> = haxe.Json.parse(s);
		var total:Float = 0;
		for (e in back)
			total += e.sq - e.id;
		trace(back.length + " " + total);

		for (bad in ["{", "[1,]", "{'a':1}", "tru", "", "[1 2]", "{\"a\" 1}"]) {
			var ok = try {
				haxe.Json.parse(bad);
				true;
			} catch (e:Dynamic) false;
			trace("parse " + bad + " -> " + (ok ? "accepted" : "rejected"));
		}

		// Haxe's own parser and printer, written in Haxe, on the same kinds of input.
		var hx:Dynamic = haxe.format.JsonParser.parse(text);
		trace(hx.name + " " + hx.tags[1] + " " + hx.nested.deep.n + " " + (hx.nested.none == null));
		trace(haxe.format.JsonPrinter.print([1, 2.5, -3e-5, 1e21]));
		trace(haxe.format.JsonPrinter.print(["中文", "q\"b\\s\n\t", "", null, true]));
		trace(haxe.format.JsonPrinter.print({k: [{a: [[]]}]}));
		for (line in haxe.format.JsonPrinter.print([[1, 2], [3]], null, "  ").split("\n"))
			trace("| " + line);
		var hxNums:Array<Float> = haxe.format.JsonParser.parse("[0.5, -12, 3e2, 1.25E-3, 9007199254740993]");
		trace(hxNums);
		var hxEsc:String = haxe.format.JsonParser.parse('"\\u4e2d\\u6587 \\\\ \\" \\/"');
		trace(hxEsc);

		var deep = "";
		for (i in 0...100)
			deep += "[";
		deep += "7";
		for (i in 0...100)
			deep += "]";
		var d:Dynamic = haxe.Json.parse(deep);
		for (i in 0...100)
			d = d[0];
		trace(d);
		trace(haxe.Json.stringify(haxe.Json.parse(deep)).length);
	}
}
