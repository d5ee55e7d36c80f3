// haxe.Int64, which the Flash target builds from two 32-bit halves in Haxe code: arithmetic,
// comparison, shifts, division with signs, parsing and printing, and overflow at 64 bits.

import haxe.Int64;

using haxe.Int64;

class Int64s {
	// Decimal, and the two halves in hex: decimals of 16 to 18 digits are compared by value, which
	// cannot tell neighbours apart at this size; the hex digits are compared exactly.
	static function s(v:Int64):String
		return Int64.toStr(v) + "/" + StringTools.hex(v.high, 8) + StringTools.hex(v.low, 8);

	static function main() {
		var a = Int64.make(0x00000001, 0x00000000);
		var b = Int64.ofInt(-1);
		trace(s(a) + " " + s(b) + " " + s(Int64.ofInt(2147483647)));
		trace(s(a + b) + " " + s(a - b) + " " + s(a * a) + " " + s(b * b));
		var big = Int64.parseString("9223372036854775807");
		var small = Int64.parseString("-9223372036854775808");
		trace(s(big) + " " + s(small));
		trace(s(big + 1) + " " + s(small - 1) + " " + s(-small));
		trace(s(big * 2) + " " + s(big * big));
		trace(big.high + " " + big.low + " " + small.high + " " + small.low);
		trace(Int64.compare(a, b) + " " + Int64.compare(b, a) + " " + Int64.ucompare(a, b) + " " + (a > b) + " " + (a == Int64.make(1, 0)));

		var x = Int64.parseString("123456789012345");
		var y = Int64.ofInt(1000000);
		trace(s(x / y) + " " + s(x % y) + " " + s(-x / y) + " " + s(-x % y) + " " + s(x / -y) + " " + s(x % -y));
		var dm = Int64.divMod(x, Int64.ofInt(-7));
		trace(s(dm.quotient) + " " + s(dm.modulus));
		trace(s(x << 8) + " " + s(x >> 8) + " " + s(-x >> 8) + " " + s(-x >>> 8) + " " + s(Int64.ofInt(1) << 63) + " " + s(Int64.ofInt(1) << 62));
		trace(s(x & Int64.ofInt(0xFFFF)) + " " + s(x | Int64.make(0x7000, 0)) + " " + s(x ^ x) + " " + s(~x));

		var f = Int64.ofInt(1);
		for (i in 1...21)
			f *= i;
		trace("20! = " + s(f));
		f *= 21;
		trace("21! wraps to " + s(f));
		var fib0 = Int64.ofInt(0), fib1 = Int64.ofInt(1);
		for (_ in 0...90) {
			var t = fib0 + fib1;
			fib0 = fib1;
			fib1 = t;
		}
		trace("fib 91 " + s(fib1));

		var h = Int64.make(0xcbf29ce4, 0x84222325);
		var prime = Int64.make(0x100, 0x1b3);
		for (c in "Flash 播放器".split(""))
			h = (h ^ Int64.ofInt(c.charCodeAt(0))) * prime;
		trace("fnv1a64 " + StringTools.hex(h.high, 8) + StringTools.hex(h.low, 8));

		trace(Int64.isZero(Int64.ofInt(0)) + " " + Int64.isNeg(small) + " " + Int64.toInt(Int64.ofInt(-5)));
		var overflow = try {
			Int64.toInt(big);
			"fits";
		} catch (e:Dynamic) "overflow";
		trace(overflow);
		for (str in ["0", "-0", "42", "-42", "000123", "18446744073709551615"]) {
			var r = try s(Int64.parseString(str)) catch (e:Dynamic) "error";
			trace(str + " -> " + r);
		}
		trace(s(Int64.fromFloat(1e15)) + " " + s(Int64.fromFloat(-123456789.9)));
		var sum = Int64.ofInt(0);
		for (i in 0...1000)
			sum += Int64.make(i, i * 7919);
		trace(s(sum) + " " + sum.high + " " + sum.low);
	}
}
