// Floating-point numbers: arithmetic and rounding, the Math functions, special values, parsing,
// conversions to Int and to text, and comparisons involving NaN and the infinities.
// The comparator reads numbers by value, so "0.1" and "0.100000000000000006" are the same line.
// Left out: Type.typeof and Std.isOfType(x, Int) on whole floats (ActionScript keeps 3.0 as an
// int), Std.string on subnormals (the interpreter prints too few digits to read them back),
// Math.random, Std.parseFloat of "Infinity" (read by ActionScript, not by the interpreter), and
// the literal -0.0 (the compiler may write it as the integer 0).

class Floats {
	static function main() {
		trace(0.1 + 0.2);
		trace(0.1 * 3);
		trace(1 / 3);
		trace(2 / 3);
		trace(10 / 4);
		trace(1e308 * 10);
		trace(-1e308 * 10);
		trace(0 / 0.0);
		trace(5e-324 > 0);
		trace(1.7976931348623157e308);
		trace(2.2250738585072014e-308);
		trace(123456789012345680000.0);
		trace(1e21);
		trace(1e-6);
		trace(1.5e-7);
		trace(-0.0 == 0.0);
		trace(9007199254740993.0);
		trace(4503599627370496.5);
		trace(0.1 + 0.7);
		var acc = 0.0;
		for (i in 0...10)
			acc += 0.1;
		trace(acc + " " + (acc == 1.0));

		var nan = Math.NaN;
		trace(nan == nan);
		trace(nan != nan);
		trace(nan < 1);
		trace(nan > 1);
		trace(Math.isNaN(nan) + " " + Math.isFinite(nan) + " " + Math.isFinite(1e308) + " " + Math.isFinite(Math.POSITIVE_INFINITY));
		trace(Math.POSITIVE_INFINITY > 1e308);
		trace(Math.NEGATIVE_INFINITY < -1e308);
		trace(Math.POSITIVE_INFINITY + Math.NEGATIVE_INFINITY);
		trace(Math.POSITIVE_INFINITY * 0);

		// Math.floor, ceil and round give an Int: only values in its range (beyond it the
		// interpreter wraps and ActionScript keeps the Number).
		var values = [0.0, 0.5, 1.5, 2.5, -0.5, -1.5, -2.5, 3.7, -3.7, 1e9 + 0.5];
		trace([for (v in values) Math.floor(v)]);
		trace([for (v in values) Math.ceil(v)]);
		trace([for (v in values) Math.round(v)]);
		trace([for (v in values) Std.int(v)]);
		values.push(1e10 + 0.5);
		trace([for (v in values) Math.fround(v)]);
		trace([for (v in values) Math.ffloor(v)]);
		trace([for (v in values) Math.fceil(v)]);
		trace([for (v in values) Math.abs(v)]);

		trace(Math.sqrt(2) + " " + Math.sqrt(144) + " " + Math.isNaN(Math.sqrt(-1)));
		trace(Math.pow(2, 10) + " " + Math.pow(2, 0.5) + " " + Math.pow(10, -2) + " " + Math.pow(-8, 1 / 3) + " " + Math.pow(0, 0));
		trace(Math.exp(1) + " " + Math.exp(0) + " " + Math.exp(-1));
		trace(Math.log(Math.exp(1)) + " " + Math.log(1) + " " + Math.log(10) + " " + Math.log(0));
		trace(Math.sin(0) + " " + Math.sin(Math.PI / 2) + " " + Math.sin(1));
		trace(Math.cos(0) + " " + Math.cos(Math.PI) + " " + Math.cos(1));
		trace(Math.tan(0.5) + " " + Math.atan(1) * 4 + " " + Math.atan2(1, -1));
		trace(Math.asin(1) + " " + Math.acos(0.5) + " " + Math.acos(2));
		trace(Math.max(1.5, -2) + " " + Math.min(1.5, -2) + " " + Math.isNaN(Math.max(1, nan)) + " " + Math.isNaN(Math.min(nan, 1)));
		trace(Math.PI);

		trace(Std.parseFloat("3.14") + " " + Std.parseFloat("-0.5e3") + " " + Std.parseFloat("  42") + " " + Std.parseFloat("1.5abc"));
		trace(Std.parseFloat(".5") + " " + Std.parseFloat("5.") + " " + Std.parseFloat("1e400") + " " + Math.isNaN(Std.parseFloat("")));
		trace(Std.int(1e9 + 0.9) + " " + Std.int(-1e9 - 0.9));

		var x = 7.0;
		x /= 2;
		trace(x);
		x *= x;
		trace(x);
		x -= 0.25;
		trace(x);
		x %= 5;
		trace(x);
		trace(-7.5 % 2);
		trace(7.5 % -2);
		trace(5.5 % 1.25);
		var i:Int = 7;
		var f:Float = i;
		trace(f / 2);
		trace(i / 2);
		trace((i : Float) * 1.5);
		trace(i + 0.5);
		trace("" + (i + 0.5) + " " + (i * 0.1));

		var sum = 0.0;
		for (k in 1...1001)
			sum += 1 / (k * k);
		trace(sum);
		trace(Math.sqrt(sum * 6));
		var h = 0.0;
		for (k in 1...101)
			h += 1 / k;
		trace(h);

		var compound = 1000.0;
		for (_ in 0...30)
			compound *= 1.05;
		trace(compound);
		trace(Math.round(compound * 100) / 100);
		trace(Math.floor(compound * 100) / 100);

		var small = 1.0;
		var halvings = 0;
		while (small / 2 > 0) {
			small /= 2;
			halvings++;
		}
		trace(halvings);
		var eps = 1.0;
		while (1 + eps / 2 > 1)
			eps /= 2;
		trace(eps);
		trace(0.1 + 0.2 == 0.3);
		trace(Math.abs(0.1 + 0.2 - 0.3) < 1e-15);
		trace([1.0, 2.5, -3.25e-5, 6.02214076e23, -1.602176634e-19]);
		trace(1e15 + 0.3);
		trace(123.456e2);
		trace(-(2.5));
		trace(1 - 1e-16);
		trace(255 / 256);
		trace(Std.int(Math.pow(2, 31) - 1) + " " + Std.int(-Math.pow(2, 31)));
	}
}
