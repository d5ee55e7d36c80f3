// Strings built by appending: StringBuf, `+=` in loops, and strings that share a start with a
// longer one built from them, which must each keep their own text.

class StringBuilding {
	static function checksum(s:String):Int {
		var h = 0;
		for (i in 0...s.length)
			h = (h * 31 + s.charCodeAt(i)) & 0xFFFFFF;
		return h;
	}

	static function main() {
		// A long StringBuf, as StringTools.lpad builds one.
		var padded = StringTools.lpad("end", "ab", 200001);
		trace("lpad " + padded.length + " " + padded.substr(0, 6) + " " + padded.substr(-5) + " "
			+ checksum(padded));

		// Every step kept: each must still read as it did when made.
		var s = "";
		var steps = [];
		for (i in 0...400) {
			s += String.fromCharCode(65 + i % 26);
			if (i % 50 == 49)
				steps.push(s);
		}
		for (t in steps)
			trace("step " + t.length + " " + t.substr(-3) + " " + checksum(t));

		// Two strings grown from one start go their own ways.
		var base = "";
		for (i in 0...300)
			base += "x";
		var left = base + "left";
		var right = base + "right";
		left += "!";
		var again = base + "again";
		trace(left.substr(-6) + " " + right.substr(-6) + " " + again.substr(-6) + " " + base.length);

		// A string appended to itself, and numbers appended.
		var twice = base + "y";
		twice += twice;
		trace("twice " + twice.length + " " + twice.substr(299, 3));
		var numbers = base;
		for (i in 0...5)
			numbers += i;
		trace("numbers " + numbers.substr(-5));

		// A shorter copy taken, then the long one grows: the copy keeps its length.
		var grow = base;
		var copies = [];
		for (i in 0...3) {
			grow += "<" + i + ">";
			copies.push(grow);
		}
		for (c in copies)
			trace("copy " + c.length + " " + c.substr(-3));
		var changed = copies[0] + "Z";
		trace("changed " + changed.substr(-4) + " " + copies[1].substr(-4));
	}
}
