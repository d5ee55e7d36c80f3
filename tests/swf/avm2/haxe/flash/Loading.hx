// Movies with ActionScript 3 of their own, loaded by this one (the two of loaded/, built by
// make-movies.sh beside this movie, both with a boot class named "haxe"). Expected output is
// written by hand in Loading.expected from the ActionScript 3.0 Language Reference
// (Loader, LoaderInfo, LoaderContext, ApplicationDomain); the comment above each step names the
// documented rule.
// frames: 4
// loads: LoadedA LoadedB

import flash.display.Loader;
import flash.events.Event;
import flash.net.URLRequest;
import flash.system.ApplicationDomain;
import flash.system.LoaderContext;

class Shared {
	public static var who = "L";
}

@:bitmap("media-pic.png") class Pic extends flash.display.BitmapData {}

class Loading {
	static var a:Loader;
	static var b:Loader;
	static var completes = 0;

	static function watch(name:String, l:Loader) {
		var info = l.contentLoaderInfo;
		// init: the loaded movie's code has run and its content is there; complete follows.
		info.addEventListener(Event.INIT, function(_) {
			trace(name + " init: content " + (l.content != null) + ", in loader "
				+ (l.content.parent == l) + ", its loaderInfo " + (l.content.loaderInfo == info)
				+ ", info.content " + (info.content == l.content));
		});
		info.addEventListener(Event.COMPLETE, function(_) {
			trace(name + " complete");
			if (++completes == 2)
				both();
		});
		info.addEventListener(Event.UNLOAD, function(_) trace(name + " unload"));
	}

	static function field(d:ApplicationDomain, cls:String, f:String):Dynamic {
		return Reflect.field(d.getDefinition(cls), f);
	}

	static function both() {
		var da = a.contentLoaderInfo.applicationDomain, db = b.contentLoaderInfo.applicationDomain;
		var here = ApplicationDomain.currentDomain;
		// A child domain's definitions are not the parent's.
		trace("L sees LoadedA " + here.hasDefinition("LoadedA") + ", LoadedB " + here.hasDefinition("LoadedB"));
		// getDefinition from each domain: A's Shared is the loader's (the parent's wins), B's its own.
		trace("A's Shared " + field(da, "Shared", "who") + ", B's Shared " + field(db, "Shared", "who"));
		trace("A has LoadedA " + da.hasDefinition("LoadedA") + ", B has Loading " + db.hasDefinition("Loading"));
		// A's domain is a child of the loader's (the default); B's was made with no parent.
		trace("A's parent has Loading " + da.parentDomain.hasDefinition("Loading")
			+ ", B's parent has Loading " + db.parentDomain.hasDefinition("Loading"));
		try {
			here.getDefinition("LoadedB");
		} catch (e:flash.errors.Error) {
			trace("getDefinition LoadedB: " + e.errorID);
		}
		// The loader's own Pic is its own bitmap.
		var p = new Pic(0, 0);
		trace("L pic " + p.width + "x" + p.height);
		// unload removes the content: no child, no content, and unload is dispatched.
		a.unload();
		trace("after unload: children " + a.numChildren + ", content " + a.content);
	}

	static function main() {
		a = new Loader();
		b = new Loader();
		flash.Lib.current.addChild(a);
		flash.Lib.current.addChild(b);
		watch("A", a);
		watch("B", b);
		// Default context: a new child of the loader's domain.
		a.load(new URLRequest("loaded/LoadedA.swf"));
		// A domain of its own, under the system's.
		b.load(new URLRequest("loaded/LoadedB.swf"), new LoaderContext(false, new ApplicationDomain()));
		// Loading is asynchronous: nothing is there yet.
		trace("loading: content " + a.content);
	}
}
