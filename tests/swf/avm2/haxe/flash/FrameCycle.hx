// The frame cycle of Flash Player 10 and later: on each frame enterFrame, then the construction
// of new objects and frameConstructed, then frame scripts, then exitFrame, and render after
// stage.invalidate(); enterFrame and exitFrame are broadcast events, heard by display objects
// on the display list or not. Expected output is written by hand in FrameCycle.expected from
// the ActionScript 3.0 Language Reference; the comment above each listener names the rule.
// frames: 4

import flash.display.Sprite;
import flash.events.Event;

class FrameCycle {
	static var frame = 1;

	static function log(what:String)
		trace(what + " " + frame);

	static function main() {
		var root = flash.Lib.current;
		// enterFrame: "dispatched when the playhead is entering a new frame", first of the
		// frame's events. stage.invalidate() asks for one render event "the next time the Flash
		// runtime has an opportunity to render the display list", after the frame's scripts.
		root.addEventListener(Event.ENTER_FRAME, function(_) {
			frame++;
			log("enterFrame");
			if (frame == 3)
				root.stage.invalidate();
		});
		// frameConstructed: "after the constructors of frame display objects have run but
		// before frame scripts have run".
		root.addEventListener(Event.FRAME_CONSTRUCTED, function(_) log("frameConstructed"));
		// exitFrame: "when the playhead is exiting the current frame. All frame scripts have
		// been run."
		root.addEventListener(Event.EXIT_FRAME, function(_) log("exitFrame"));
		root.addEventListener(Event.RENDER, function(_) log("render"));
		// A frame script added in the constructor for the frame being constructed runs in that
		// frame's script phase; a one-frame timeline does not run it again.
		root.addFrameScript(0, function() log("frameScript"));

		// Broadcast events reach objects that were never on the list, and ones taken off it.
		var off = new Sprite();
		var offCount = 0;
		off.addEventListener(Event.ENTER_FRAME, function(_) offCount++);
		var gone = new Sprite();
		root.addChild(gone);
		var goneCount = 0;
		gone.addEventListener(Event.EXIT_FRAME, function(_) goneCount++);
		root.removeChild(gone);
		// Counted when every broadcast of the frames before has reached everyone (the Reference
		// does not say in which order different objects hear one broadcast); a second listener of
		// one object runs after the first (the order added).
		root.addEventListener(Event.FRAME_CONSTRUCTED, function(_) if (frame == 4) trace("off the list " + offCount + " " + goneCount));
		// The document's constructor (main) runs first, in frame 1's construction.
		trace("main");
	}
}
