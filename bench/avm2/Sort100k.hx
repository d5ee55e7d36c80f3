// Sorting 100,000 pseudo-random numbers with Array.sort and a comparison closure, then checking
// the order: calls into a closure from the sort and float comparisons.
class Sort100k {
	static function main() {
		var seed = 12345.0;
		var a = [];
		for (i in 0...100000) {
			seed = (seed * 16807) % 2147483647;
			a.push(seed / 2147483647);
		}
		a.sort((x, y) -> x < y ? -1 : (x > y ? 1 : 0));
		var ordered = true;
		for (i in 1...a.length)
			if (a[i - 1] > a[i])
				ordered = false;
		trace("sorted " + a.length + " ordered " + ordered);
		trace("min " + a[0] + " median " + a[50000] + " max " + a[a.length - 1]);
	}
}
