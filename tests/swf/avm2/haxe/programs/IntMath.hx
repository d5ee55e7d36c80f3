// 32-bit integer arithmetic: wrap-around of + - * on Int, shifts, bit operations, division and
// modulo signs, conversions from Float, and UInt.
// Products are of values whose exact product stays below 2^53 or goes through haxe.Int32, so
// the result does not depend on whether the multiplication is done in doubles first.
// Left out: shift counts of 32 and more (the interpreter gives 0, ActionScript masks the count to
// five bits; Haxe leaves it undefined) and >>> results with the top bit set traced directly (an
// ActionScript uint there, a negative Int in the interpreter).

class IntMath {
	static function hex(v:Int):String
		return StringTools.hex(v, 8);

	static function main() {
		var max = 0x7fffffff;
		var min = -0x7fffffff - 1;
		var a:Int = max + 1;
		trace(a);
		var b:Int = min - 1;
		trace(b);
		var c:Int = max * 2;
		trace(c);
		var d:Int = -min;
		trace(d);
		var e:Int = max;
		e++;
		trace(e);
		e--;
		trace(e);
		e += max;
		trace(e);

		var big = 65537;
		var sq:Int = big * big;
		trace(sq);
		var cube:Int = sq * big;
		trace(cube);
		var x:haxe.Int32 = 123456789;
		var y:haxe.Int32 = 987654321;
		trace(x * y);
		trace(x * x * x);
		var lcg:haxe.Int32 = 12345;
		for (i in 0...8) {
			lcg = (lcg * 1103515245 + 12345) & 0x7fffffff;
		}
		trace(lcg);
		var h:haxe.Int32 = 0x811c9dc5;
		for (ch in [104, 97, 120, 101])
			h = (h ^ ch) * 16777619;
		trace(hex(h));

		trace(1 << 31);
		trace(-1 << 4);
		trace(-16 >> 2);
		trace(-16 >>> 2);
		trace(-1 >>> 31);
		var s = 5;
		trace(1 << s);
		trace(-256 >> s);
		trace(-256 >>> s);
		trace(0x80000000 >> 31);

		trace(0xF0F0 & 0x0FF0);
		trace(0xF0F0 | 0x0FF0);
		trace(0xF0F0 ^ 0x0FF0);
		trace(~0);
		trace(~0x12345678);
		trace(hex(~0x12345678));
		trace(hex(0xDEADBEEF));
		trace(0xDEADBEEF);
		trace(0xFFFFFFFF);

		trace(7 % 3);
		trace(-7 % 3);
		trace(7 % -3);
		trace(-7 % -3);
		trace(7 / 2);
		trace(-7 / 2);
		trace(Std.int(7 / 2));
		trace(Std.int(-7 / 2));
		trace(Std.int(3.99));
		trace(Std.int(-3.99));
		trace(Std.int(2147483647.5));
		trace(Std.int(1e9));
		trace(Math.floor(-2.5));
		trace(Math.ceil(-2.5));
		trace(Math.round(2.5));
		trace(Math.round(-2.5));
		trace(Math.round(-2.6));
		trace(Std.int(0.0));

		var u:UInt = 0xFFFFFFFF;
		trace((u : Float));
		var u2:UInt = u + (1 : UInt);
		trace((u2 : Float));
		var u3:UInt = 0xB2D05E00;
		trace((u3 : Float) > 2000000000);
		trace((u3 : Float));
		var u4:UInt = 7;
		trace(((u4 - 8 : UInt) : Float));
		trace(u3 > u4);

		var sum = 0;
		for (i in 0...1000)
			sum = (sum + i * i * 31) | 0;
		trace(sum);
		var acc:Int = 1;
		for (i in 1...40)
			acc = acc * 3 + i;
		trace(acc);
		var fib0 = 0, fib1 = 1;
		for (i in 0...100) {
			var t:Int = fib0 + fib1;
			fib0 = fib1;
			fib1 = t;
		}
		trace(fib1);

		var parsed = [Std.parseInt("42"), Std.parseInt("-17"), Std.parseInt("0x1F"), Std.parseInt("2147483647"), Std.parseInt("12abc")];
		trace(parsed);
		trace(Std.parseInt("abc") == null);
		trace(hex(Std.parseInt("0xFFFFFFFF")));

		var ints = [3, -1, 0, 2147483647, -2147483648, 16];
		ints.sort((p, q) -> p < q ? -1 : (p > q ? 1 : 0));
		trace(ints);
		trace(Math.abs(-5) + Math.abs(2.5));
		trace(Math.max(3, 9) + " " + Math.min(-3, 9));

		var bits = 0;
		for (i in 0...32)
			if ((0x5A5A5A5A >>> i) & 1 == 1)
				bits++;
		trace(bits);
		trace(rotl(0x12345678, 8) + " " + hex(rotl(0x12345678, 8)));
		trace(hex(0x12 << 24 | 0x34 << 16 | 0x56 << 8 | 0x78));
		var neg = -5;
		trace(neg >> 1);
		trace(neg >>> 1);
		trace(-neg);
		var zm:Int = 0 - min;
		trace(zm);
		// Not `(min : Float) * 2`: the interpreter keeps an Int cast to Float as a 32-bit value,
		// so it prints 0 where a Number product is -4294967296.
		trace(min * 2.0);
		trace(min / -1);
	}

	static function rotl(v:Int, n:Int):Int
		return (v << n) | (v >>> (32 - n));
}
