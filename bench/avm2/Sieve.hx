// Sieve of Eratosthenes up to two million, on a haxe.ds.Vector<Bool>: array stores and loads
// in tight integer loops.
class Sieve {
	static function main() {
		var n = 2000000;
		var composite = new haxe.ds.Vector<Bool>(n + 1);
		for (i in 0...n + 1)
			composite[i] = false;
		var count = 0;
		var last = 0;
		var limit = Std.int(Math.sqrt(n));
		for (i in 2...n + 1) {
			if (composite[i])
				continue;
			count++;
			last = i;
			if (i > limit)
				continue;
			var j = i * i;
			while (j <= n) {
				composite[j] = true;
				j += i;
			}
		}
		trace("primes below " + n + ": " + count + ", largest " + last);
	}
}
