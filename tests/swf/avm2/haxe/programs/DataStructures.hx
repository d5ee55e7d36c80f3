// Data structures from Haxe's standard library and by hand: BalancedTree (ordered map),
// GenericStack, List, a binary heap, a union-find, a ring buffer, a trie with Chinese keys and
// an LRU cache built on a map and a doubly linked list.

import haxe.ds.BalancedTree;
import haxe.ds.GenericStack;

class Heap {
	var a:Array<Int> = [];

	public function new() {}

	public var size(get, never):Int;

	function get_size()
		return a.length;

	public function push(v:Int) {
		a.push(v);
		var i = a.length - 1;
		while (i > 0) {
			var p = (i - 1) >> 1;
			if (a[p] <= a[i])
				break;
			var t = a[p];
			a[p] = a[i];
			a[i] = t;
			i = p;
		}
	}

	public function pop():Int {
		var top = a[0];
		var last = a.pop();
		if (a.length > 0) {
			a[0] = last;
			var i = 0;
			while (true) {
				var l = 2 * i + 1, r = l + 1, m = i;
				if (l < a.length && a[l] < a[m])
					m = l;
				if (r < a.length && a[r] < a[m])
					m = r;
				if (m == i)
					break;
				var t = a[m];
				a[m] = a[i];
				a[i] = t;
				i = m;
			}
		}
		return top;
	}
}

class UnionFind {
	var parent:Array<Int>;
	var rank:Array<Int>;

	public function new(n:Int) {
		parent = [for (i in 0...n) i];
		rank = [for (_ in 0...n) 0];
	}

	public function find(x:Int):Int {
		while (parent[x] != x) {
			parent[x] = parent[parent[x]];
			x = parent[x];
		}
		return x;
	}

	public function union(a:Int, b:Int):Bool {
		var ra = find(a), rb = find(b);
		if (ra == rb)
			return false;
		if (rank[ra] < rank[rb])
			parent[ra] = rb;
		else if (rank[ra] > rank[rb])
			parent[rb] = ra;
		else {
			parent[rb] = ra;
			rank[ra]++;
		}
		return true;
	}
}

class TrieNode {
	public var children:Map<String, TrieNode> = new Map();
	public var terminal = false;

	public function new() {}
}

class LruNode {
	public var key:String;
	public var value:Int;
	public var prev:LruNode;
	public var next:LruNode;

	public function new(k, v) {
		key = k;
		value = v;
	}
}

class Lru {
	var cap:Int;
	var map = new Map<String, LruNode>();
	var head:LruNode;
	var tail:LruNode;
	var count = 0;

	public function new(cap)
		this.cap = cap;

	function unlink(n:LruNode) {
		if (n.prev != null)
			n.prev.next = n.next
		else
			head = n.next;
		if (n.next != null)
			n.next.prev = n.prev
		else
			tail = n.prev;
		n.prev = n.next = null;
	}

	function pushFront(n:LruNode) {
		n.next = head;
		if (head != null)
			head.prev = n;
		head = n;
		if (tail == null)
			tail = n;
	}

	public function get(k:String):Null<Int> {
		var n = map.get(k);
		if (n == null)
			return null;
		unlink(n);
		pushFront(n);
		return n.value;
	}

	public function put(k:String, v:Int) {
		var n = map.get(k);
		if (n != null) {
			n.value = v;
			unlink(n);
			pushFront(n);
			return;
		}
		n = new LruNode(k, v);
		map.set(k, n);
		pushFront(n);
		if (++count > cap) {
			var old = tail;
			unlink(old);
			map.remove(old.key);
			count--;
		}
	}

	public function order():String {
		var out = [];
		var n = head;
		while (n != null) {
			out.push(n.key + "=" + n.value);
			n = n.next;
		}
		return out.join(",");
	}
}

class DataStructures {
	static function main() {
		var tree = new BalancedTree<String, Int>();
		for (w in "the quick brown fox jumps over the lazy dog 狐狸 跳过 懒狗".split(" "))
			tree.set(w, w.length);
		trace([for (k in tree.keys()) k].join(","));
		trace([for (v in tree) v]);
		trace(tree.get("fox") + " " + tree.exists("cat") + " " + tree.remove("the") + " " + tree.remove("the"));
		trace([for (k => v in tree) k + v].length);
		var itree = new BalancedTree<Int, String>();
		for (i in [50, 20, 80, 10, 30, 70, 90, 25, 35, 5])
			itree.set(i, "v" + i);
		trace([for (k in itree.keys()) k]);
		itree.remove(20);
		itree.remove(50);
		trace([for (k in itree.keys()) k] + " " + itree.get(25));
		var copy = itree.copy();
		copy.set(1, "one");
		trace([for (k in copy.keys()) k].length + " " + [for (k in itree.keys()) k].length);

		var stack = new GenericStack<String>();
		for (s in ["a", "b", "c"])
			stack.add(s);
		trace(stack.first() + " " + stack.pop() + " " + stack.isEmpty() + " " + [for (s in stack) s]);
		trace(stack.remove("a") + " " + stack.remove("zz") + " " + [for (s in stack) s]);

		var heap = new Heap();
		var seed = 7;
		for (_ in 0...200) {
			seed = (seed * 75 + 74) % 65537;
			heap.push(seed % 1000);
		}
		var firsts = [for (_ in 0...10) heap.pop()];
		trace(firsts + " " + heap.size);
		var prev = -1, sorted = true;
		while (heap.size > 0) {
			var v = heap.pop();
			if (v < prev)
				sorted = false;
			prev = v;
		}
		trace("heap order " + sorted + " last " + prev);

		var uf = new UnionFind(20);
		var joins = 0;
		for (pair in [[0, 1], [2, 3], [1, 3], [4, 5], [0, 2], [6, 7], [7, 8], [8, 6], [10, 19], [19, 0]])
			if (uf.union(pair[0], pair[1]))
				joins++;
		var groups = new Map<Int, Array<Int>>();
		for (i in 0...20) {
			var r = uf.find(i);
			if (!groups.exists(r))
				groups.set(r, []);
			groups.get(r).push(i);
		}
		var sizes = [for (g in groups) g.length];
		sizes.sort((a, b) -> b - a);
		trace(joins + " " + sizes + " " + (uf.find(3) == uf.find(10)) + " " + (uf.find(4) == uf.find(6)));

		var ring = [for (_ in 0...5) 0];
		var start = 0, len = 0;
		var log = [];
		for (i in 1...13) {
			if (len == ring.length) {
				log.push(ring[start]);
				start = (start + 1) % ring.length;
				len--;
			}
			ring[(start + len) % ring.length] = i * i;
			len++;
		}
		trace(log + " " + [for (k in 0...len) ring[(start + k) % ring.length]]);

		var root = new TrieNode();
		for (w in ["中国", "中国人", "中文", "中", "cat", "car", "cart", "dog"]) {
			var n = root;
			for (ch in w.split("")) {
				if (!n.children.exists(ch))
					n.children.set(ch, new TrieNode());
				n = n.children.get(ch);
			}
			n.terminal = true;
		}
		function withPrefix(p:String):Array<String> {
			var n = root;
			for (ch in p.split("")) {
				n = n.children.get(ch);
				if (n == null)
					return [];
			}
			var out = [];
			function walk(node:TrieNode, acc:String) {
				if (node.terminal)
					out.push(acc);
				var ks = [for (k in node.children.keys()) k];
				ks.sort((a, b) -> a < b ? -1 : 1);
				for (k in ks)
					walk(node.children.get(k), acc + k);
			}
			walk(n, p);
			return out;
		}
		trace(withPrefix("中") + " " + withPrefix("ca") + " " + withPrefix("x") + " " + withPrefix("do"));

		var lru = new Lru(3);
		lru.put("a", 1);
		lru.put("b", 2);
		lru.put("c", 3);
		trace(lru.order());
		lru.get("a");
		lru.put("d", 4);
		trace(lru.order() + " " + (lru.get("b") == null));
		lru.put("c", 30);
		lru.put("e", 5);
		trace(lru.order());

		var list = new List<Int>();
		for (i in 0...10)
			if (i % 2 == 0) list.add(i) else list.push(i);
		trace(list.join(" ") + " | " + list.map(x -> x * x).join(" ") + " | " + list.filter(x -> x > 4).join(" "));
		trace(list.first() + " " + list.last() + " " + list.length + " " + list.isEmpty());
		list.clear();
		trace(list.length + " " + list.isEmpty() + " " + (list.pop() == null));
	}
}
