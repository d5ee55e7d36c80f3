// A game-like movie that keeps a count in a SharedObject: run three times, it reaches 3. It also
// keeps a nested value, is refused a store past the size cap, and clears a store it made.
import flash.net.SharedObject;

class SharedCounter {
	static function main() {
		var so = SharedObject.getLocal("counter");
		var n:Int = so.data.count == null ? 0 : so.data.count;
		n++;
		so.data.count = n;
		so.data.history = ["run", n, {best: n * 10}];
		trace("count " + n);
		trace("flush " + so.flush());
		trace("same " + (SharedObject.getLocal("counter") == so));
		var kept:Array<Dynamic> = so.data.history;
		trace("nested " + kept[0] + " " + kept[2].best);

		var big = SharedObject.getLocal("big");
		big.data.text = StringTools.lpad("", "x", 120000);
		try {
			big.flush();
			trace("big kept");
		} catch (e:Dynamic) {
			trace("big refused");
		}
		big.clear();
		trace("cleared " + (big.data.text == null));

		try {
			SharedObject.getLocal("bad name");
			trace("bad name kept");
		} catch (e:Dynamic) {
			trace("bad name refused");
		}
	}
}
