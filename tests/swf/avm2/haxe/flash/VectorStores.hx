// Stores into a typed Vector whose element conversion runs script code: the value is converted
// first and the index checked against the length the vector has afterwards, so a toString that
// empties the vector ends in RangeError 1125 rather than a write past its end. Expected output is
// written by hand in VectorStores.expected from the ActionScript 3.0 Language Reference (Vector,
// RangeError); the comment above each trace names the rule.

class VectorStores {
	static function main() {
		var v = new flash.Vector<String>();
		v.push("a");
		v.push("b");
		v.push("c");
		var sneaky = {toString: function() {
			v.length = 0;
			return "x";
		}};
		// An index past the length throws RangeError 1125 and stores nothing.
		try {
			(untyped v)[2] = sneaky;
			trace("stored");
		} catch (e:Dynamic) {
			trace(Std.string(e));
		}
		trace(v.length);
		// An index equal to the length appends the converted value.
		(untyped v)[0] = sneaky;
		trace(v.length + " " + v[0]);
	}
}
