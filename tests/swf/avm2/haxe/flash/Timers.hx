// frames: 30
// flash.utils.Timer and setTimeout over the first second of the movie: properties, start,
// stop and reset, the order of timer and timerComplete events, currentCount, a timer with no
// repeat limit stopped from its own listener, and clearTimeout. Expected output is written by
// hand in Timers.expected from the ActionScript 3.0 Language Reference; the comment above each
// trace names the documented rule. The movie asks to quit when done.

import flash.events.TimerEvent;
import flash.utils.Timer;

class Timers {
	static function setTimeout(f:Void->Void, delay:Int):UInt
		return untyped __global__["flash.utils.setTimeout"](f, delay);

	static function clearTimeout(id:UInt):Void
		untyped __global__["flash.utils.clearTimeout"](id);

	static function main() {
		// A new Timer keeps delay and repeatCount, has run no times and is not running.
		var t = new Timer(10, 3);
		trace(t.delay + " " + t.repeatCount + " " + t.currentCount + " " + t.running);
		// start() sets running; stop() clears it and keeps currentCount.
		t.start();
		var afterStart = t.running;
		t.stop();
		trace(afterStart + " " + t.running + " " + t.currentCount);
		// delay and repeatCount can be changed while the timer is stopped.
		t.delay = 15;
		t.repeatCount = 3;
		trace(t.delay + " " + t.repeatCount);

		var t2 = new Timer(5, 0);
		// timer is dispatched once per interval with currentCount counting up; after the last
		// of repeatCount comes timerComplete.
		t.addEventListener(TimerEvent.TIMER, function(_) trace("tick " + t.currentCount));
		t.addEventListener(TimerEvent.TIMER_COMPLETE, function(e:TimerEvent) {
			trace("complete " + t.currentCount + " " + e.type);
			t2.start();
		});
		// A repeatCount of 0 repeats until stopped; stopping from a listener ends the ticks.
		t2.addEventListener(TimerEvent.TIMER, function(_) {
			trace("repeat " + t2.currentCount);
			if (t2.currentCount == 4) {
				t2.stop();
				// After the timer of t ran its course it is not running; reset sets currentCount
				// to 0 and leaves it stopped.
				trace(t.running + " " + t.currentCount);
				t.reset();
				trace(t.running + " " + t.currentCount);
				// setTimeout calls its function once, later; clearTimeout cancels a pending one.
				var cancelled:UInt = setTimeout(function() trace("cancelled timeout ran"), 1);
				clearTimeout(cancelled);
				setTimeout(function() {
					trace("timeout ran " + t2.currentCount + " " + t2.running);
					trace("done");
					// fscommand("quit") closes a standalone player.
					flash.Lib.fscommand("quit");
				}, 20);
			}
		});
		t.start();
		// Timer events never arrive while the code that started the timer is still running.
		trace("started");
	}
}
