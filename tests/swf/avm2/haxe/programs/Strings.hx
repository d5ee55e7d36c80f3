// Strings, with Chinese text throughout: length and indexing in UTF-16 units (all text here is
// in the Basic Multilingual Plane, where both sides count the same), searching, slicing, case,
// StringTools, StringBuf, character codes and comparison.
// Left out: characters outside the BMP (surrogate pairs count differently in the interpreter).

using StringTools;

class Strings {
	static function main() {
		var zh = "你好，世界！Flash 播放器";
		trace(zh);
		trace(zh.length);
		trace(zh.charAt(0) + "|" + zh.charAt(6) + "|" + zh.charAt(zh.length - 1));
		trace(zh.charCodeAt(0) + " " + zh.charCodeAt(2) + " " + zh.charCodeAt(6));
		// Past the end charCodeAt is null (the movie's start-up code replaces String's
		// charCodeAt with one that says so).
		trace((zh.charCodeAt(zh.length) == null) + " " + ("".charCodeAt(0) == null) + " " + zh.charAt(99) + "|");
		trace(zh.indexOf("世界") + " " + zh.indexOf("播放") + " " + zh.indexOf("没有"));
		trace(zh.lastIndexOf("a") + " " + zh.indexOf("a", 9));
		trace(zh.substr(6, 5) + "|" + zh.substr(-3) + "|" + zh.substr(-3, 2));
		trace(zh.substring(0, 2) + "|" + zh.substring(6) + "|" + zh.substring(5, 3));
		trace(zh.toUpperCase());
		trace(zh.toLowerCase());
		// Latin-1 letters change case on both sides; letters whose case maps to two letters (ß)
		// or a title case (ǅ) are left out: the interpreter leaves them alone.
		trace("café À LA CRÈME".toUpperCase() + " " + "ÉTÉ Ñandú".toLowerCase());
		trace(zh.split("，"));
		trace(zh.split(""));
		trace("a,b,,c,".split(","));
		trace("a,b,,c,".split(",").length);
		trace("".split(",").length);
		trace(String.fromCharCode(20013) + String.fromCharCode(25991) + String.fromCharCode(65));

		var s = "The quick brown fox jumps over the lazy dog";
		trace(s.toUpperCase());
		trace(s.indexOf("o") + " " + s.lastIndexOf("o") + " " + s.indexOf("o", 20) + " " + s.lastIndexOf("o", 20));
		trace(s.split(" ").length);
		trace(s.charCodeAt(4));
		trace(s.substr(4, 5) + "|" + s.substring(10, 15));
		trace("abc" < "abd");
		trace("abc" < "ab");
		trace("Z" < "a");
		trace("中" > "A");
		trace("中文" < "中国");
		trace("abc" == "ab" + "c");

		trace(StringTools.trim("  \t padded \n ") + "|");
		trace(StringTools.ltrim("  left") + "|" + StringTools.rtrim("right  ") + "|");
		trace(StringTools.lpad("7", "0", 3) + " " + StringTools.rpad("ab", "-", 5));
		trace(StringTools.replace("a-b-c-d", "-", "+"));
		trace("一二三二一".replace("二", "两"));
		trace(StringTools.startsWith(zh, "你好") + " " + StringTools.endsWith(zh, "播放器") + " " + zh.startsWith("世界"));
		trace(StringTools.hex(255) + " " + StringTools.hex(255, 4) + " " + StringTools.hex(0));
		trace(StringTools.isSpace(" x", 0) + " " + StringTools.isSpace(" x", 1));
		trace(StringTools.contains(zh, "世") + " " + zh.contains("地"));
		trace(StringTools.htmlEscape("<a href=\"x\">&'</a>", true));
		trace(StringTools.htmlUnescape("&lt;b&gt; &amp; &quot;"));
		trace(StringTools.urlEncode("a b&c=d/中文"));
		trace(StringTools.urlDecode("a%20b%26c%3Dd%2F%E4%B8%AD%E6%96%87"));
		trace(StringTools.fastCodeAt("xyz", 1));

		var buf = new StringBuf();
		for (i in 0...10) {
			buf.add(i);
			buf.add(",");
		}
		buf.addChar(0x4E2D);
		buf.addSub("0123456789", 3, 4);
		buf.add(true);
		buf.add(null);
		trace(buf.toString());
		trace(buf.length);

		var codes = [for (i in 0..."汉字abc".length) "汉字abc".charCodeAt(i)];
		trace(codes);
		var rebuilt = "";
		for (c in codes)
			rebuilt += String.fromCharCode(c);
		trace(rebuilt);

		var rev = "";
		for (i in 0...zh.length)
			rev = zh.charAt(i) + rev;
		trace(rev);

		var words = "苹果 香蕉 樱桃 apple Banana cherry".split(" ");
		words.sort((a, b) -> a < b ? -1 : (a > b ? 1 : 0));
		trace(words.join(","));

		var n = 5;
		var f = 2.5;
		trace('interpolated $n and ${n * 2} and ${f + 1} and ${zh.length > 3}');
		trace("concat " + 1 + 2 + " " + (1 + 2) + " " + null + " " + true);
		trace("x".code + " " + "中".code);

		var repeated = "";
		for (i in 0...5)
			repeated += "ab";
		trace(repeated + " " + repeated.length);
		trace(StringTools.replace(repeated, "ba", "|"));
		trace("a.b.c".split(".").join("/"));
		trace(zh.indexOf("") + " " + zh.lastIndexOf("") + " " + "".length);
		trace("tab\there" + "|" + "quote\"s" + "|" + "back\\slash");
		trace(Std.string(123) + Std.string(-4.5) + Std.string(true) + Std.string(null));
		trace(Std.parseFloat("3.25") + Std.parseFloat("-1e3"));
		trace(Math.isNaN(Std.parseFloat("abc")));

		var iter = [];
		for (c in "中a文".iterator())
			iter.push(c);
		trace(iter);
		var kv = [];
		for (i => c in "ab中".keyValueIterator())
			kv.push(i + ":" + c);
		trace(kv);
	}
}
