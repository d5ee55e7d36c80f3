// A game-like movie that keeps a count in a SharedObject: run three times, it reaches 3. It also
// keeps a nested value, is refused a store past the size cap, and clears a store it made. Movies
// written for the AMF0 format, or for a server's shared objects, still run.
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

		so.objectEncoding = 0;
		so.setProperty("gone", 1);
		so.setProperty("gone", null);
		so.setProperty("level", n * 2);
		try {
			so.objectEncoding = 2;
		} catch (e:flash.errors.ArgumentError) {
			trace("encoding " + so.objectEncoding + " " + e.errorID);
		}
		trace("set " + so.data.level + " " + Reflect.hasField(so.data, "gone"));
		SharedObject.defaultObjectEncoding = 0;
		var remote = SharedObject.getRemote("scores", "rtmp://example.com/game");
		remote.data.best = 7;
		trace("remote " + remote.objectEncoding + " " + remote.data.best + " "
			+ (SharedObject.getRemote("scores", "rtmp://example.com/game") == remote));
		try {
			remote.flush();
			trace("remote flushed");
		} catch (e:Dynamic) {
			trace("remote not flushed");
		}
		remote.clear();
		trace("remote cleared " + (remote.data.best == null));

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
