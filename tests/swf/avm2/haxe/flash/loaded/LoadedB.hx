// Loaded by the flash program Loading into a new ApplicationDomain: none of the loader's
// definitions reach it, so its own Shared is the one it uses. Its library bitmap (3 x 2) is
// linked by its own SymbolClass to its own Pic; the loader's Pic is another picture (4 x 3).
class LoadedB {
	static function main() {
		trace("B main: Shared is " + Shared.who);
		var d = flash.system.ApplicationDomain.currentDomain;
		trace("B sees LoadedB " + d.hasDefinition("LoadedB") + ", Loading " + d.hasDefinition("Loading"));
		var p = new Pic(0, 0);
		trace("B pic " + p.width + "x" + p.height + " " + StringTools.hex(p.getPixel(0, 0), 6));
	}
}

class Shared {
	public static var who = "B";
}

@:bitmap("b-pic.png") class Pic extends flash.display.BitmapData {}
