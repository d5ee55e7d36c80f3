// AMF0 through ByteArray.objectEncoding = ObjectEncoding.AMF0: the encodings of the AMF0 format
// (markers, big-endian numbers and lengths, object end 00 00 09, references by 16-bit index,
// the 0x11 switch to AMF3 for what AMF0 cannot hold), round trips, and damaged input caught as
// an error. Also the weak-keys flag of a Dictionary in AMF3. Expected output written by hand in
// Amf0.expected from the AMF0 and AMF3 formats and the Language Reference.

import flash.net.ObjectEncoding;
import flash.utils.ByteArray;
import flash.utils.Dictionary;
import flash.utils.IDataInput;
import flash.utils.IDataOutput;
import flash.utils.IExternalizable;
import flash.xml.XMLDocument;

class Tag0 {
	public var n:Int;
	public function new() { n = 0; }
}

class Ext0 implements IExternalizable {
	public var a:Int;
	public function new() { a = 0; }
	public function writeExternal(o:IDataOutput):Void { o.writeShort(a); }
	public function readExternal(i:IDataInput):Void { a = i.readShort(); }
}

class Amf0 {
	static function hex(b:ByteArray, ?count:Int):String {
		var s = [];
		var n:Int = count == null ? b.length : count;
		for (i in 0...n) s.push(StringTools.hex(b[i], 2));
		return s.join(" ");
	}
	static function amf0():ByteArray {
		var b = new ByteArray();
		b.objectEncoding = ObjectEncoding.AMF0;
		return b;
	}
	static function bytesOf(v:Dynamic):ByteArray {
		var b = amf0();
		b.writeObject(v);
		return b;
	}
	static function roundTrip(v:Dynamic):Dynamic {
		var b = bytesOf(v);
		b.position = 0;
		var r = b.readObject();
		if (b.bytesAvailable != 0) trace("left over " + b.bytesAvailable);
		return r;
	}
	static function readHex(h:String):Dynamic {
		var b = amf0();
		for (p in h.split(" ")) b.writeByte(Std.parseInt("0x" + p));
		b.position = 0;
		return b.readObject();
	}
	static function damaged(h:String):String {
		try { readHex(h); return "no error"; } catch (e:Dynamic) { return "error"; }
	}
	static function main() {
		// ObjectEncoding's values; a ByteArray starts in AMF3 unless the default says otherwise.
		trace(ObjectEncoding.AMF0 + " " + ObjectEncoding.AMF3 + " " + ObjectEncoding.DEFAULT);
		trace(new ByteArray().objectEncoding);
		ByteArray.defaultObjectEncoding = ObjectEncoding.AMF0;
		trace(new ByteArray().objectEncoding);
		ByteArray.defaultObjectEncoding = ObjectEncoding.AMF3;
		// Only the two encodings are accepted.
		try { new ByteArray().objectEncoding = 5; trace("no error"); } catch (e:Dynamic) { trace("error"); }

		// Encodings: null, undefined, booleans, numbers (ints too) as 8-byte doubles.
		var o:Dynamic = {};
		trace(hex(bytesOf(null)));
		trace(hex(bytesOf(o.missing)));
		trace(hex(bytesOf(true)) + " | " + hex(bytesOf(false)));
		trace(hex(bytesOf(5)));
		trace(hex(bytesOf(1.5)));
		// Strings: a 16-bit length, or a long string past 65,535 bytes.
		trace(hex(bytesOf("ab")));
		var long = new StringBuf();
		for (i in 0...65536) long.add("a");
		var lb = bytesOf(long.toString());
		trace(hex(lb, 5) + " " + lb.length);
		trace(hex(bytesOf("中")));
		// An anonymous object: names with 16-bit lengths, then 00 00 09.
		o.k = 1;
		trace(hex(bytesOf(o)));
		// A dense array is a strict array; one with named properties an ECMA array.
		trace(hex(bytesOf([1, "a"])));
		var ecma:Dynamic = [true];
		ecma.n = false;
		trace(hex(bytesOf(ecma)));
		// A date: milliseconds, then a time zone of 0.
		trace(hex(bytesOf(Date.fromTime(86400000.0))));
		// The second sight of an object is a reference to its index (the array is 0).
		var shared:Dynamic = {};
		trace(hex(bytesOf([shared, shared])));
		// A class with an alias is a typed object; without one, an anonymous object.
		var t = new Tag0();
		t.n = 4;
		trace(hex(bytesOf(t)));
		untyped __global__["flash.net.registerClassAlias"]("t.T", Tag0);
		trace(hex(bytesOf(t)));
		// What AMF0 cannot hold goes as AMF3 after the switch marker 0x11.
		var ba = new ByteArray();
		ba.writeByte(7); ba.writeByte(9);
		trace(hex(bytesOf(ba)));
		trace(hex(bytesOf(new Dictionary(true))));
		// A legacy XML document: a 32-bit length and its text.
		trace(hex(bytesOf(new XMLDocument("<a/>")), 5));

		// Round trips.
		trace(roundTrip(-2147483648));
		trace(roundTrip("中文 text"));
		trace(roundTrip(long.toString()).length);
		// (typeof: Haxe prints undefined as null.)
		var nothing:Dynamic = roundTrip(o.missing);
		trace(roundTrip(null) + " " + untyped __typeof__(nothing) + " " + roundTrip(false));
		var arr:Array<Dynamic> = [1, "two", 3.5, null, [4]];
		var back:Array<Dynamic> = roundTrip(arr);
		trace(back.length + " " + back[1] + " " + back[2] + " " + back[3] + " " + back[4][0]);
		var eb:Dynamic = roundTrip(ecma);
		trace(eb.length + " " + eb[0] + " " + eb.n);
		var pair:Array<Dynamic> = roundTrip([shared, shared]);
		trace(pair[0] == pair[1]);
		var loop:Dynamic = {name: "loop"};
		loop.self = loop;
		var lr:Dynamic = roundTrip(loop);
		trace(lr.name + " " + (lr.self == lr));
		trace((roundTrip(Date.fromTime(86400000.0)) : Date).getTime());
		var tb:Dynamic = roundTrip(t);
		trace(Std.isOfType(tb, Tag0) + " " + tb.n);
		var bb:ByteArray = roundTrip(ba);
		trace(bb.length + " " + bb[0] + " " + bb[1]);
		var v = new flash.Vector<Int>();
		v.push(3); v.push(-4);
		var vb:flash.Vector<Int> = roundTrip(v);
		trace(vb.length + " " + vb[0] + " " + vb[1]);
		var x:XMLDocument = roundTrip(new XMLDocument("<a b=\"1\"/>"));
		trace(Std.isOfType(x, XMLDocument) + " " + x.firstChild.attributes.b);
		untyped __global__["flash.net.registerClassAlias"]("t.E", Ext0);
		var e = new Ext0();
		e.a = 300;
		var eBytes = bytesOf(e);
		trace(hex(eBytes));
		eBytes.position = 0;
		var e2:Ext0 = eBytes.readObject();
		trace(e2.a);
		// A value after the switch marker, and an AMF3 integer in it.
		trace(readHex("11 04 05"));

		// A Dictionary's weak keys survive AMF3: its flag byte is 1.
		var d3 = new ByteArray();
		d3.writeObject(new Dictionary(true));
		trace(hex(d3));
		d3.writeObject(new Dictionary(false));
		trace(hex(d3));

		// Damaged input: a caught error, never a crash.
		trace(damaged("07 00 05"));          // a reference to nothing
		trace(damaged("02 00 05 61"));       // a string cut short
		trace(damaged("09"));                // the object end where a value belongs
		trace(damaged("0A FF FF FF FF 05")); // more items than bytes
		trace(damaged("03 00 00 05"));       // an empty name not followed by the end marker
		trace(damaged("04"));                // a movie clip, which no reader can make
		trace(damaged("03 00 01 61"));       // an object cut after a name
	}
}
