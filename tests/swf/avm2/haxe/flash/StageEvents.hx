// The added, addedToStage, removed and removedFromStage events as a small tree (box > kid > gk)
// is built, put on the stage, taken apart and moved. Expected output is written by hand in
// StageEvents.expected from the ActionScript 3.0 Language Reference; the comment above each
// trace names the documented rule.
// Each line shows one action: first the added/removed events in the order they arrive, each as
// type:currentTarget<target:phase; after "|" the addedToStage/removedFromStage events sorted by
// name, since the Reference does not say in which order the members of a subtree hear them.

import flash.display.DisplayObject;
import flash.display.Sprite;
import flash.events.Event;

class StageEvents {
	static var flow:Array<String> = [];
	static var stageEvents:Array<String> = [];
	static var checks:Array<String> = [];

	static function sprite(name:String):Sprite {
		var s = new Sprite();
		s.name = name;
		for (type in [Event.ADDED, Event.REMOVED])
			s.addEventListener(type, function(e:Event) {
				var t:DisplayObject = cast e.target;
				flow.push(e.type + ":" + s.name + "<" + t.name + ":" + e.eventPhase);
				// added comes after the change, removed before it: either way the target has
				// its parent while the listener runs.
				if (t.parent == null)
					checks.push("no parent in " + e.type);
			});
		for (type in [Event.ADDED_TO_STAGE, Event.REMOVED_FROM_STAGE])
			s.addEventListener(type, function(e:Event) {
				stageEvents.push(e.type + ":" + s.name + "<" + (cast e.target : DisplayObject).name + ":" + e.eventPhase);
				// addedToStage comes once on the stage, removedFromStage while still on it.
				if (s.stage == null)
					checks.push("no stage in " + e.type + " of " + s.name);
			});
		return s;
	}

	static function flush(action:String) {
		stageEvents.sort((a, b) -> a < b ? -1 : (a > b ? 1 : 0));
		trace(action + ": " + flow.join(" ") + " | " + stageEvents.join(" ") + (checks.length > 0 ? " !! " + checks.join(", ") : ""));
		flow = [];
		stageEvents = [];
		checks = [];
	}

	static function main() {
		var root = flash.Lib.current;
		// The document's own movie clip is on the stage when main runs.
		trace(root.stage != null);
		var box = sprite("box"), kid = sprite("kid"), gk = sprite("gk");

		// added is dispatched to the child that was added and bubbles (bubbles = true) through
		// its new ancestors. Off the stage there is no addedToStage.
		box.addChild(kid);
		flush("kid to box");
		kid.addChild(gk);
		flush("gk to kid");
		// Adding the subtree to an on-stage container: added to box, then addedToStage to every
		// object of the subtree, each at its own target phase (addedToStage does not bubble).
		root.addChild(box);
		flush("box to stage");
		// removed goes to the removed child and bubbles; removedFromStage to every object of the
		// subtree that leaves the stage.
		kid.removeChild(gk);
		flush("gk off");
		// gk has gone, so only box and kid leave the stage.
		root.removeChild(box);
		flush("box off");
		// Moving a child to another parent off the stage: removed from the old parent first,
		// then added to the new one.
		var other = sprite("other");
		other.addChild(kid);
		flush("kid to other");
		// Moving the subtree onto the stage and off again through a parent that is added.
		kid.addChild(gk);
		flow = [];
		root.addChild(other);
		flush("other to stage");
		root.removeChildAt(root.getChildIndex(other));
		flush("other off");
		// The event type names.
		trace(Event.ADDED + " " + Event.ADDED_TO_STAGE + " " + Event.REMOVED + " " + Event.REMOVED_FROM_STAGE);
	}
}
