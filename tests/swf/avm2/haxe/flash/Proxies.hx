// frames: 1
// flash.utils.Proxy: a subclass answers for the names its traits do not declare through its
// overrides in the flash_proxy namespace. Expected output is written by hand in Proxies.expected
// from the ActionScript 3.0 Language Reference (flash.utils.Proxy); the comment above each trace
// names the documented rule.

import flash.utils.Proxy;

@:keep
class Bag extends Proxy {
	var keys:Array<String> = [];
	var values:Array<Dynamic> = [];

	public var declared = "declared";

	public function new() {
		super();
	}

	function find(name:Dynamic):Int
		return keys.indexOf(Std.string(name));

	@:ns("http://www.adobe.com/2006/actionscript/flash/proxy") override function getProperty(name:Dynamic):Dynamic {
		var i = find(name);
		return i < 0 ? "no " + Std.string(name) : values[i];
	}

	@:ns("http://www.adobe.com/2006/actionscript/flash/proxy") override function setProperty(name:Dynamic, value:Dynamic):Void {
		var i = find(name);
		if (i < 0) {
			keys.push(Std.string(name));
			values.push(value);
		} else {
			values[i] = value;
		}
	}

	@:ns("http://www.adobe.com/2006/actionscript/flash/proxy") override function hasProperty(name:Dynamic):Bool
		return find(name) >= 0;

	@:ns("http://www.adobe.com/2006/actionscript/flash/proxy") override function deleteProperty(name:Dynamic):Bool {
		var i = find(name);
		if (i < 0)
			return false;
		keys.splice(i, 1);
		values.splice(i, 1);
		return true;
	}

	@:ns("http://www.adobe.com/2006/actionscript/flash/proxy") override function callProperty(name:Dynamic, rest:haxe.extern.Rest<Dynamic>):Dynamic {
		return Std.string(name) + "(" + rest.toArray().join(",") + ")";
	}

	@:ns("http://www.adobe.com/2006/actionscript/flash/proxy") override function nextNameIndex(index:Int):Int
		return index < keys.length ? index + 1 : 0;

	@:ns("http://www.adobe.com/2006/actionscript/flash/proxy") override function nextName(index:Int):String
		return keys[index - 1];

	@:ns("http://www.adobe.com/2006/actionscript/flash/proxy") override function nextValue(index:Int):Dynamic
		return values[index - 1];
}

// A subclass that overrides nothing.
class Bare extends Proxy {
	public function new() {
		super();
	}
}

class Proxies {
	// for..in through hasnext2, which leaves null in the object's register when done: the
	// object is a parameter here so the caller's variable keeps it.
	static function names(o:Dynamic):String {
		var a = [];
		var i = 0;
		while (untyped __has_next__(o, i))
			a.push(untyped __forin__(o, i));
		return a.join(",");
	}

	static function main() {
		var bag = new Bag();
		var d:Dynamic = bag;
		// Assigning an undeclared name calls setProperty; reading one calls getProperty.
		d.apple = 1;
		d.pear = "two";
		d.apple = 3;
		trace(d.apple + " " + d.pear + " " + d.plum);
		// Declared traits are found before the proxy is asked.
		trace(d.declared);
		// The in operator calls hasProperty.
		trace(untyped __in__("pear", d));
		trace(untyped __in__("plum", d));
		// Calling an undeclared method calls callProperty with the name and the arguments.
		trace(d.greet("x", 2));
		// for..in calls nextNameIndex, then nextName for each index.
		trace(names(d));
		// delete calls deleteProperty.
		var first:Bool = untyped __delete__(d, "apple");
		var again:Bool = untyped __delete__(d, "apple");
		trace(first + " " + again + " " + d.apple + " " + d.pear);
		// Proxy's own methods throw IllegalOperationError 2088 when a subclass does not override them.
		var bare:Dynamic = new Bare();
		try {
			trace(bare.anything);
		} catch (e:Dynamic) {
			trace(Std.string(e));
		}
	}
}
