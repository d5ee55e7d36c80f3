// The Flash API's interfaces: an interface extending IEventDispatcher, implemented by a Sprite
// subclass, and native objects reached through interface-typed variables. Compilers call such
// methods by the interface's namespace (flash.events:IEventDispatcher::addEventListener), which
// the class must answer to (Language Reference: IEventDispatcher, IDataInput). Expected output
// written by hand in Interfaces.expected.

import flash.display.Sprite;
import flash.events.Event;
import flash.events.IEventDispatcher;
import flash.utils.ByteArray;
import flash.utils.IDataInput;

interface IShown extends IEventDispatcher {
	function show():String;
}

class Shown extends Sprite implements IShown {
	public function new() { super(); }
	public function show():String { return "shown"; }
}

class Interfaces {
	static function main() {
		var s:IShown = new Shown();
		s.addEventListener("ping", function(e:Event) trace("heard " + e.type));
		s.dispatchEvent(new Event("ping"));
		trace(s.show());
		var d:IEventDispatcher = new Sprite();
		d.addEventListener("pong", function(e:Event) trace("sprite heard " + e.type));
		trace(d.dispatchEvent(new Event("pong")));
		var input:IDataInput = new ByteArray();
		trace(input.bytesAvailable);
		trace(Std.isOfType(new Sprite(), IEventDispatcher));
		trace(Std.isOfType(new ByteArray(), IDataInput));
	}
}
