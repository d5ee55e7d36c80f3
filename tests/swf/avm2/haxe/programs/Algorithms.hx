// Algorithms that compute: primes, sorting by hand, searching, dynamic programming, graphs,
// backtracking, big-number arithmetic in arrays, matrices, and a small virtual machine.

class Algorithms {
	static function sieve(n:Int):Array<Int> {
		var composite = [for (_ in 0...n + 1) false];
		var primes = [];
		for (i in 2...n + 1) {
			if (composite[i])
				continue;
			primes.push(i);
			var j = i * i;
			while (j <= n) {
				composite[j] = true;
				j += i;
			}
		}
		return primes;
	}

	static function quicksort(a:Array<Int>, lo:Int, hi:Int):Void {
		if (lo >= hi)
			return;
		var pivot = a[(lo + hi) >> 1];
		var i = lo, j = hi;
		while (i <= j) {
			while (a[i] < pivot)
				i++;
			while (a[j] > pivot)
				j--;
			if (i <= j) {
				var t = a[i];
				a[i] = a[j];
				a[j] = t;
				i++;
				j--;
			}
		}
		quicksort(a, lo, j);
		quicksort(a, i, hi);
	}

	static function mergesort(a:Array<Float>):Array<Float> {
		if (a.length <= 1)
			return a;
		var mid = a.length >> 1;
		var l = mergesort(a.slice(0, mid)), r = mergesort(a.slice(mid));
		var out = [];
		var i = 0, j = 0;
		while (i < l.length && j < r.length)
			out.push(l[i] <= r[j] ? l[i++] : r[j++]);
		while (i < l.length)
			out.push(l[i++]);
		while (j < r.length)
			out.push(r[j++]);
		return out;
	}

	static function binarySearch(a:Array<Int>, v:Int):Int {
		var lo = 0, hi = a.length - 1;
		while (lo <= hi) {
			var mid = (lo + hi) >>> 1;
			if (a[mid] == v)
				return mid;
			if (a[mid] < v)
				lo = mid + 1;
			else
				hi = mid - 1;
		}
		return -(lo + 1);
	}

	static function gcd(a:Int, b:Int):Int
		return b == 0 ? a : gcd(b, a % b);

	static function lcs(a:String, b:String):String {
		var dp = [for (_ in 0...a.length + 1) [for (_ in 0...b.length + 1) 0]];
		for (i in 1...a.length + 1)
			for (j in 1...b.length + 1)
				dp[i][j] = a.charAt(i - 1) == b.charAt(j - 1) ? dp[i - 1][j - 1] + 1 : (dp[i - 1][j] > dp[i][j - 1] ? dp[i - 1][j] : dp[i][j - 1]);
		var out = "";
		var i = a.length, j = b.length;
		while (i > 0 && j > 0) {
			if (a.charAt(i - 1) == b.charAt(j - 1)) {
				out = a.charAt(i - 1) + out;
				i--;
				j--;
			} else if (dp[i - 1][j] >= dp[i][j - 1])
				i--;
			else
				j--;
		}
		return out;
	}

	static function editDistance(a:String, b:String):Int {
		var prev = [for (j in 0...b.length + 1) j];
		for (i in 1...a.length + 1) {
			var cur = [i];
			for (j in 1...b.length + 1) {
				var cost = a.charCodeAt(i - 1) == b.charCodeAt(j - 1) ? 0 : 1;
				var best = prev[j] + 1;
				if (cur[j - 1] + 1 < best)
					best = cur[j - 1] + 1;
				if (prev[j - 1] + cost < best)
					best = prev[j - 1] + cost;
				cur.push(best);
			}
			prev = cur;
		}
		return prev[b.length];
	}

	static function queens(n:Int):Int {
		var count = 0;
		function place(row:Int, cols:Int, d1:Int, d2:Int) {
			if (row == n) {
				count++;
				return;
			}
			var free = ~(cols | d1 | d2) & ((1 << n) - 1);
			while (free != 0) {
				var bit = free & -free;
				free -= bit;
				place(row + 1, cols | bit, (d1 | bit) << 1, (d2 | bit) >> 1);
			}
		}
		place(0, 0, 0, 0);
		return count;
	}

	static function permutations(items:Array<String>):Array<String> {
		if (items.length <= 1)
			return [items.join("")];
		var out = [];
		for (i in 0...items.length) {
			var rest = items.copy();
			var head = rest.splice(i, 1)[0];
			for (p in permutations(rest))
				out.push(head + p);
		}
		return out;
	}

	static function dijkstra(edges:Array<Array<Int>>, n:Int, src:Int):Array<Int> {
		var inf = 1 << 30;
		var dist = [for (_ in 0...n) inf];
		var done = [for (_ in 0...n) false];
		dist[src] = 0;
		for (_ in 0...n) {
			var u = -1;
			for (v in 0...n)
				if (!done[v] && (u < 0 || dist[v] < dist[u]))
					u = v;
			if (dist[u] == inf)
				break;
			done[u] = true;
			for (e in edges)
				if (e[0] == u && dist[u] + e[2] < dist[e[1]])
					dist[e[1]] = dist[u] + e[2];
		}
		return dist;
	}

	static function bigMul(a:Array<Int>, m:Int):Array<Int> {
		var carry = 0;
		var out = [];
		for (d in a) {
			var v = d * m + carry;
			out.push(v % 10000);
			carry = Std.int(v / 10000);
		}
		while (carry > 0) {
			out.push(carry % 10000);
			carry = Std.int(carry / 10000);
		}
		return out;
	}

	static function bigToString(a:Array<Int>):String {
		var s = "" + a[a.length - 1];
		var i = a.length - 2;
		while (i >= 0) {
			s += StringTools.lpad("" + a[i], "0", 4);
			i--;
		}
		return s;
	}

	static function matMul(a:Array<Array<Float>>, b:Array<Array<Float>>):Array<Array<Float>> {
		return [
			for (i in 0...a.length) [
				for (j in 0...b[0].length) {
					var s = 0.0;
					for (k in 0...b.length)
						s += a[i][k] * b[k][j];
					s;
				}
			]
		];
	}

	static function runVm(code:Array<Int>):Array<Int> {
		// A stack machine: 0 push n, 1 add, 2 mul, 3 dup, 4 jump-if-nonzero-decrement r0, 5 print,
		// 6 swap, 7 halt
		var stack = [];
		var out = [];
		var pc = 0;
		var r0 = 0;
		var steps = 0;
		while (pc < code.length && steps++ < 10000) {
			switch (code[pc++]) {
				case 0:
					stack.push(code[pc++]);
				case 1:
					stack.push(stack.pop() + stack.pop());
				case 2:
					stack.push(stack.pop() * stack.pop());
				case 3:
					stack.push(stack[stack.length - 1]);
				case 4:
					var target = code[pc++];
					if (r0 > 0) {
						r0--;
						pc = target;
					}
				case 5:
					out.push(stack[stack.length - 1]);
				case 6:
					var a = stack.pop(), b = stack.pop();
					stack.push(a);
					stack.push(b);
				case 8:
					r0 = code[pc++];
				case _:
					pc = code.length;
			}
		}
		return out;
	}

	static function main() {
		var primes = sieve(10000);
		trace(primes.length + " " + primes.slice(0, 15) + " " + primes[primes.length - 1]);
		var twin = 0;
		for (i in 1...primes.length)
			if (primes[i] - primes[i - 1] == 2)
				twin++;
		trace("twins " + twin);

		var seed = 42;
		var data = [for (_ in 0...2000) {
			seed = (seed * 16807) % 2147483647;
			seed % 100000;
		}];
		var sorted = data.copy();
		quicksort(sorted, 0, sorted.length - 1);
		var ok = true;
		for (i in 1...sorted.length)
			if (sorted[i - 1] > sorted[i])
				ok = false;
		trace("quicksort " + ok + " " + sorted.slice(0, 5) + " " + sorted.slice(-3));
		trace(binarySearch(sorted, sorted[777]) <= 777 && sorted[binarySearch(sorted, sorted[777])] == sorted[777]);
		trace(binarySearch([1, 3, 5, 7], 4) + " " + binarySearch([1, 3, 5, 7], 0) + " " + binarySearch([1, 3, 5, 7], 9));

		var fl = [for (i in 0...40) Math.sin(i) * 100];
		var ms = mergesort(fl);
		trace(ms.slice(0, 4));
		trace(ms[39]);

		trace(gcd(1071, 462) + " " + gcd(2147483646, 1073741823) + " " + gcd(17, 5));
		trace(lcs("AGGTAB", "GXTXAYB") + " " + lcs("我爱北京天安门", "我在北京的天安门广场"));
		trace(editDistance("kitten", "sitting") + " " + editDistance("播放器", "放映器") + " " + editDistance("", "abc"));
		trace([for (n in 1...11) queens(n)]);
		var perms = permutations(["a", "b", "c", "d"]);
		trace(perms.length + " " + perms.slice(0, 6) + " " + perms[23]);

		var edges = [[0, 1, 4], [0, 2, 1], [2, 1, 2], [1, 3, 1], [2, 3, 5], [3, 4, 3], [4, 0, 1]];
		trace(dijkstra(edges, 6, 0));

		var fact = [1];
		for (i in 1...51)
			fact = bigMul(fact, i);
		trace("50! = " + bigToString(fact));
		var pow2 = [1];
		for (i in 0...200)
			pow2 = bigMul(pow2, 2);
		trace("2^200 = " + bigToString(pow2));

		var m = [[1.0, 2.0], [3.0, 4.0]];
		var p = m;
		for (_ in 0...5)
			p = matMul(p, m);
		trace(p);
		var rot = [[Math.cos(0.5), -Math.sin(0.5)], [Math.sin(0.5), Math.cos(0.5)]];
		var r = rot;
		for (_ in 0...11)
			r = matMul(r, rot);
		trace([for (row in r) [for (v in row) Math.round(v * 1e6) / 1e6]]);

		// Computes 1 + 2 + ... by a loop: push 0, set r0=10, loop: dup print, push r, add...
		trace(runVm([0, 1, 8, 10, 3, 0, 3, 1, 5, 4, 4, 7]));
		trace(runVm([0, 2, 0, 3, 2, 5, 0, 7, 1, 5, 0, 9, 6, 5, 7]));

		var collatzMax = 0, collatzArg = 0;
		for (start in 1...3000) {
			var n:Float = start;
			var steps = 0;
			while (n != 1) {
				n = n % 2 == 0 ? n / 2 : 3 * n + 1;
				steps++;
			}
			if (steps > collatzMax) {
				collatzMax = steps;
				collatzArg = start;
			}
		}
		trace("collatz " + collatzArg + " " + collatzMax);

		var pascal = [[1]];
		for (i in 1...15) {
			var prev = pascal[i - 1];
			pascal.push([for (k in 0...i + 1) (k == 0 || k == i) ? 1 : prev[k - 1] + prev[k]]);
		}
		trace(pascal[14]);

		var piSum = 0.0;
		for (k in 0...10000)
			piSum += (k % 2 == 0 ? 1 : -1) / (2 * k + 1);
		trace(piSum * 4);
		var e = 0.0, term = 1.0;
		for (k in 1...20) {
			e += term;
			term /= k;
		}
		trace(e);
		var sqrt2 = 1.0;
		for (_ in 0...6)
			sqrt2 = (sqrt2 + 2 / sqrt2) / 2;
		trace(sqrt2 + " " + (sqrt2 == Math.sqrt(2)));
	}
}
