// Loaded by the flash program Loading: a movie with code of its own. Its boot class has the
// name every movie built with -D haxe-boot has ("haxe"), as LoadedB's does.
class LoadedA {
	static function main() {
		// Shared: the loader defines one too; in a child domain the parent's wins.
		trace("A main: Shared is " + Shared.who);
		var d = flash.system.ApplicationDomain.currentDomain;
		trace("A sees LoadedA " + d.hasDefinition("LoadedA") + ", LoadedB " + d.hasDefinition("LoadedB")
			+ ", Loading " + d.hasDefinition("Loading"));
	}
}

class Shared {
	public static var who = "A";
}
