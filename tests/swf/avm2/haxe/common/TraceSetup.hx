// Makes trace print its value alone, one line per call, on both sides: in the movie through
// ActionScript's own trace (which the player writes to standard error), in the interpreter on
// standard output. Haxe's default adds "File.hx:12: " in front, even with -D native-trace.
// Named on the command line by make-movies.sh, so __init__ runs before any program's main.
// In the movie, Haxe's Flash boot code installs its own trace after the __init__ functions have
// run, so the movie's lines still carry the position; run-suite.sh strips it.
@:keep class TraceSetup {
	static function __init__() {
		haxe.Log.trace = function(v:Dynamic, ?infos:haxe.PosInfos) {
			#if flash
			untyped __global__["trace"](Std.string(v));
			#else
			Sys.println(Std.string(v));
			#end
		};
	}
}
