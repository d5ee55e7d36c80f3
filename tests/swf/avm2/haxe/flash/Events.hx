// Event flow through a display hierarchy (top > mid > leaf): the capture, target and bubbling
// phases, listener priorities, stopPropagation, stopImmediatePropagation, preventDefault,
// listeners added or removed during dispatch, duplicate registrations, hasEventListener and
// willTrigger. Expected output is written by hand in Events.expected from the ActionScript 3.0
// Language Reference; the comment above each trace names the documented rule.

import flash.display.Sprite;
import flash.events.Event;
import flash.events.EventDispatcher;

class Events {
	static var log:Array<String> = [];

	static function sprite(name:String):Sprite {
		var s = new Sprite();
		s.name = name;
		return s;
	}

	static function listener(tag:String):Event->Void {
		return function(e:Event) {
			log.push(tag + ":" + e.eventPhase + ":" + (cast e.currentTarget : Sprite).name);
		};
	}

	static function flush() {
		trace(log.join(" "));
		log = [];
	}

	static function main() {
		var top = sprite("top"), mid = sprite("mid"), leaf = sprite("leaf");
		top.addChild(mid);
		mid.addChild(leaf);

		// A bubbling event goes down through the ancestors in the capture phase (1), reaches the
		// target (2), and goes back up in the bubbling phase (3). Capture listeners on the target
		// itself are not called: they only hear the capture phase.
		top.addEventListener("ping", listener("topCap"), true);
		mid.addEventListener("ping", listener("midCap"), true);
		leaf.addEventListener("ping", listener("leafCap"), true);
		leaf.addEventListener("ping", listener("leaf"));
		mid.addEventListener("ping", listener("mid"));
		top.addEventListener("ping", listener("top"));
		leaf.dispatchEvent(new Event("ping", true));
		flush();
		// Without bubbles there is no bubbling phase.
		leaf.dispatchEvent(new Event("ping", false));
		flush();
		// Dispatched on mid, the event never reaches leaf.
		mid.dispatchEvent(new Event("ping", true));
		flush();

		// Higher priority first; equal priorities in the order they were added.
		var p = new Sprite();
		p.addEventListener("order", function(_) log.push("zero-first"));
		p.addEventListener("order", function(_) log.push("five"), false, 5);
		p.addEventListener("order", function(_) log.push("zero-second"));
		p.addEventListener("order", function(_) log.push("minus-one"), false, -1);
		p.addEventListener("order", function(_) log.push("ten"), false, 10);
		p.dispatchEvent(new Event("order"));
		flush();

		// stopPropagation: the other listeners on the current node still run, no later node does.
		mid.addEventListener("stop", function(e:Event) {
			log.push("midCapA");
			e.stopPropagation();
		}, true);
		mid.addEventListener("stop", function(_) log.push("midCapB"), true);
		leaf.addEventListener("stop", function(_) log.push("leaf"));
		top.addEventListener("stop", function(_) log.push("topCap"), true);
		top.addEventListener("stop", function(_) log.push("top"));
		leaf.dispatchEvent(new Event("stop", true));
		flush();

		// stopImmediatePropagation: not even the rest of the current node's listeners run.
		mid.addEventListener("halt", function(e:Event) {
			log.push("midA");
			e.stopImmediatePropagation();
		});
		mid.addEventListener("halt", function(_) log.push("midB"));
		top.addEventListener("halt", function(_) log.push("top"));
		leaf.addEventListener("halt", function(_) log.push("leaf"));
		leaf.dispatchEvent(new Event("halt", true));
		flush();

		// dispatchEvent returns false when a listener called preventDefault on a cancelable
		// event; on an event that is not cancelable preventDefault does nothing.
		leaf.addEventListener("cancel", function(e:Event) e.preventDefault());
		var cancelable = new Event("cancel", true, true);
		var plain = new Event("cancel", true, false);
		trace(leaf.dispatchEvent(cancelable) + " " + cancelable.isDefaultPrevented() + " " + leaf.dispatchEvent(plain) + " "
			+ plain.isDefaultPrevented());
		// The event's own properties; target is the object it was dispatched to.
		trace(cancelable.type + " " + cancelable.bubbles + " " + cancelable.cancelable + " " + (cancelable.target == leaf));

		// A listener removed while the event is being processed on that node is still called this
		// time, and not the next.
		var n = new Sprite();
		var second:Event->Void = null;
		var first = function(_) {
			log.push("first");
			n.removeEventListener("rm", second);
		};
		second = function(_) log.push("second");
		n.addEventListener("rm", first);
		n.addEventListener("rm", second);
		n.dispatchEvent(new Event("rm"));
		n.dispatchEvent(new Event("rm"));
		flush();

		// A listener added to a node while the event is being processed on it is not called in
		// the current phase; the next dispatch calls it.
		var added = false;
		var late = function(_) log.push("late");
		n.addEventListener("add", function(_) {
			log.push("adder");
			if (!added) {
				added = true;
				n.addEventListener("add", late);
			}
		});
		n.dispatchEvent(new Event("add"));
		log.push("|");
		n.dispatchEvent(new Event("add"));
		flush();

		// Registering the same listener twice with the same type and phase has no effect; with
		// the other useCapture value it is a second registration.
		var twice = listener("twice");
		mid.addEventListener("dup", twice);
		mid.addEventListener("dup", twice);
		mid.addEventListener("dup", twice, true);
		leaf.dispatchEvent(new Event("dup", true));
		flush();
		// removeEventListener removes only the registration with the same useCapture.
		mid.removeEventListener("dup", twice, true);
		leaf.dispatchEvent(new Event("dup", true));
		flush();
		// Removing a listener that is not registered does nothing.
		mid.removeEventListener("dup", listener("never"));
		mid.removeEventListener("dup", twice);
		leaf.dispatchEvent(new Event("dup", true));
		trace("[" + log.join(" ") + "]");
		log = [];

		// hasEventListener looks at this object only; willTrigger also at its ancestors.
		top.addEventListener("onlyTop", listener("x"));
		trace(top.hasEventListener("onlyTop") + " " + leaf.hasEventListener("onlyTop") + " " + leaf.willTrigger("onlyTop") + " "
			+ leaf.willTrigger("nobody") + " " + mid.hasEventListener("dup"));

		// A plain EventDispatcher is its own target; the event is at the target phase.
		var d = new EventDispatcher();
		d.addEventListener("plain", function(e:Event) log.push("plain:" + e.eventPhase + ":" + (e.target == d) + ":" + (e.currentTarget == d)));
		trace(d.dispatchEvent(new Event("plain")) + " " + log.join(""));
		log = [];

		// Re-dispatching an event object that was already dispatched sends a copy: the listener
		// sees a different object with the same type.
		var seen:Array<Event> = [];
		d.addEventListener("again", function(e:Event) seen.push(e));
		var ev = new Event("again");
		d.dispatchEvent(ev);
		d.dispatchEvent(ev);
		trace(seen.length + " " + (seen[0] == ev) + " " + (seen[1] == ev) + " " + seen[1].type);

		// The event phase constants.
		trace(flash.events.EventPhase.CAPTURING_PHASE + " " + flash.events.EventPhase.AT_TARGET + " "
			+ flash.events.EventPhase.BUBBLING_PHASE);
	}
}
