// Arrays: growth, insertion and removal, slicing, sorting (with distinct keys, or through the
// stable haxe.ds.ArraySort), searching, iteration, comprehension, nesting and Vector.
// Left out: reading past the end (null in the interpreter, undefined in ActionScript) and
// Array.sort with equal keys (neither target promises an order for them).

class Arrays {
	static function cmp(a:Int, b:Int):Int
		return a < b ? -1 : (a > b ? 1 : 0);

	static function main() {
		var a = [3, 1, 4, 1, 5, 9, 2, 6];
		trace(a.length);
		a.push(5);
		trace(a.push(3));
		trace(a);
		trace(a.pop() + " " + a.shift() + " " + a.length);
		a.unshift(8);
		trace(a);
		a.insert(2, 77);
		a.insert(-1, 88);
		a.insert(100, 99);
		trace(a);
		trace(a.remove(77) + " " + a.remove(1000));
		trace(a);
		trace(a.indexOf(1) + " " + a.lastIndexOf(1) + " " + a.indexOf(42) + " " + a.indexOf(1, 3));
		trace(a.contains(9) + " " + a.contains(10));
		trace(a.slice(2) + " " + a.slice(2, 5) + " " + a.slice(-3) + " " + a.slice(-3, -1));
		var removed = a.splice(1, 3);
		trace(removed + " " + a);
		trace(a.splice(-2, 1) + " " + a);
		trace(a.concat([10, 20]) + " " + a.length);
		var r = a.copy();
		r.reverse();
		trace(r + " " + a);
		trace(a.join(" | "));
		trace([].join(",") + "|" + [1].join(","));

		var nums = [for (i in 0...20) (i * 7919) % 31];
		trace(nums);
		nums.sort(cmp);
		trace(nums);
		nums.sort((x, y) -> cmp(y, x));
		trace(nums);

		var people = [
			{name: "张三", age: 30},
			{name: "李四", age: 25},
			{name: "王五", age: 30},
			{name: "赵六", age: 25},
			{name: "钱七", age: 40},
			{name: "孙八", age: 25}
		];
		haxe.ds.ArraySort.sort(people, (p, q) -> p.age - q.age);
		trace([for (p in people) p.name + p.age].join(" "));

		var floats = [2.5, -1.25, 1e10, 0.001, -7.0, 3.14159];
		floats.sort((x, y) -> x < y ? -1 : (x > y ? 1 : 0));
		trace(floats);

		var strs = ["pear", "Apple", "fig", "banana", "cherry"];
		strs.sort((x, y) -> x.length != y.length ? x.length - y.length : (x < y ? -1 : 1));
		trace(strs);

		var grid = [for (y in 0...4) [for (x in 0...5) x * y]];
		trace(grid);
		trace(grid[3][4] + " " + grid[2].length);
		grid[1][1] = -1;
		trace(grid[1]);
		var flat = [for (row in grid) for (v in row) if (v > 3) v];
		trace(flat);

		var sparse:Array<Null<Int>> = [];
		sparse[5] = 1;
		trace(sparse.length);
		trace(sparse[2] == null);

		var resized = [1, 2, 3, 4, 5];
		resized.resize(2);
		trace(resized);

		var it = [10, 20, 30].iterator();
		var out = [];
		while (it.hasNext())
			out.push(it.next() + 1);
		trace(out);
		var kv = [];
		for (i => v in ["x", "y", "z"])
			kv.push('$i=$v');
		trace(kv.join("&"));

		var mapped = [1, 2, 3].map(i -> "n" + i);
		trace(mapped);
		var filtered = [for (i in 0...30) i].filter(i -> i % 7 == 0);
		trace(filtered);

		var mixed:Array<Dynamic> = [1, "two", 3.5, true, null, [4, 5]];
		trace(mixed.length);
		trace(mixed[1] + " " + mixed[2] + " " + mixed[3] + " " + mixed[4] + " " + mixed[5][1]);

		var v = new haxe.ds.Vector<Int>(6);
		for (i in 0...v.length)
			v[i] = i * i;
		trace(v.toArray());
		var v2 = haxe.ds.Vector.fromArrayCopy([5, 4, 3]);
		trace(v2.length + " " + v2[0] + " " + v2.join("-"));
		var v3 = new haxe.ds.Vector<Int>(4);
		haxe.ds.Vector.blit(v, 1, v3, 0, 4);
		trace(v3.toArray());

		var list = new haxe.ds.List<String>();
		list.add("b");
		list.push("a");
		list.add("c");
		trace(list.length + " " + list.first() + " " + list.last());
		trace(list.remove("b") + " " + list.join(","));
		trace(list.pop() + " " + list.length);

		var stack = [];
		for (i in 0...5)
			stack.push(i);
		var popped = [];
		while (stack.length > 0)
			popped.push(stack.pop());
		trace(popped);

		var big = [for (i in 0...1000) i];
		var total = 0;
		for (x in big)
			total += x;
		trace(total);
		trace(big.slice(990).length + " " + big[999]);

		var arrEq = [1, 2] == [1, 2];
		var same = a;
		trace(arrEq + " " + (same == a));
		trace(Lambda.array(Lambda.map([1, 2, 3], x -> x * 3)));
		trace(Lambda.indexOf([5, 6, 7], 7));
		trace(Lambda.has([5, 6, 7], 6));
		trace(Lambda.empty([]) + " " + Lambda.count([1, 2, 3]));
		trace(Lambda.concat([1], [2, 3]));
		trace(Lambda.flatten([[1, 2], [3], []]));
	}
}
