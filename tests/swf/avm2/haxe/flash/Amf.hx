// AMF3 through ByteArray.writeObject and readObject: the encodings of the AMF3 format (markers,
// 29-bit integers, strings and traits by reference, externalizable objects), round trips of
// every kind of value, registerClassAlias/getClassByAlias, and damaged input caught as an error.
// Expected output written by hand in Amf.expected from the AMF3 format and the Language Reference.

import flash.utils.ByteArray;
import flash.utils.Dictionary;
import flash.utils.IDataInput;
import flash.utils.IDataOutput;
import flash.utils.IExternalizable;

class Point3 {
	public var x:Int;
	public var y:Float;
	public var label:String;
	public function new() { x = 0; y = 0; label = ""; }
}

class Packed implements IExternalizable {
	public var a:Int;
	public var b:String;
	public function new() { a = 0; b = ""; }
	public function writeExternal(o:IDataOutput):Void { o.writeInt(a); o.writeUTF(b); }
	public function readExternal(i:IDataInput):Void { a = i.readInt(); b = i.readUTF(); }
}

class Amf {
	static function hex(b:ByteArray):String {
		var s = [];
		for (i in 0...b.length) s.push(StringTools.hex(b[i], 2));
		return s.join(" ");
	}
	static function bytesOf(v:Dynamic):ByteArray {
		var b = new ByteArray();
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
	static function main() {
		// Encodings from the AMF3 format: markers, U29 integers, strings by reference.
		trace(hex(bytesOf(null)));
		trace(hex(bytesOf(true)));
		trace(hex(bytesOf(5)));
		trace(hex(bytesOf(-1)));
		trace(hex(bytesOf(300)));
		trace(hex(bytesOf(268435456)));
		trace(hex(bytesOf(1.5)));
		trace(hex(bytesOf("ab")));
		trace(hex(bytesOf(["ab", "ab"])));
		var o:Dynamic = {};
		o.k = 1;
		trace(hex(bytesOf(o)));
		// Round trips.
		trace(roundTrip(-268435456));
		trace(roundTrip(2147483647));
		trace(roundTrip("中文 text"));
		var arr:Array<Dynamic> = [1, "two", 3.5, null, [4]];
		var back:Array<Dynamic> = roundTrip(arr);
		trace(back.length + " " + back[1] + " " + back[2] + " " + back[3] + " " + back[4][0]);
		var shared:Dynamic = {name: "shared"};
		var pair:Array<Dynamic> = roundTrip([shared, shared]);
		trace(pair[0] == pair[1]);
		var d = roundTrip(Date.fromTime(86400000.0));
		trace((d : Date).getTime());
		var ba = new ByteArray();
		ba.writeByte(7); ba.writeByte(9);
		var bb:ByteArray = roundTrip(ba);
		trace(bb.length + " " + bb[0] + " " + bb[1]);
		// A class with an alias comes back typed; without one, as a plain object.
		var p = new Point3();
		p.x = 4; p.y = 2.5; p.label = "p";
		var plain:Dynamic = roundTrip(p);
		trace(Std.isOfType(plain, Point3) + " " + plain.x + " " + plain.y + " " + plain.label);
		untyped __global__["flash.net.registerClassAlias"]("test.Point3", Point3);
		var typed:Dynamic = roundTrip(p);
		trace(Std.isOfType(typed, Point3) + " " + typed.x + " " + typed.y + " " + typed.label);
		trace(untyped __global__["flash.net.getClassByAlias"]("test.Point3") == Point3);
		untyped __global__["flash.net.registerClassAlias"]("test.Packed", Packed);
		var k = new Packed();
		k.a = 42; k.b = "ext";
		var kb = bytesOf(k);
		trace(hex(kb));
		kb.position = 0;
		var k2:Packed = kb.readObject();
		trace(k2.a + " " + k2.b);
		var v = new flash.Vector<Int>();
		v.push(1); v.push(-2);
		var v2:flash.Vector<Int> = roundTrip(v);
		trace(v2.length + " " + v2[0] + " " + v2[1]);
		// Damaged input: a caught error, never a crash.
		var bad = new ByteArray();
		bad.writeByte(0x0A); bad.writeByte(0x05);
		bad.position = 0;
		try { bad.readObject(); trace("no error"); } catch (e:Dynamic) { trace("error"); }
		var cut = bytesOf("abcdef");
		cut.length = 4;
		cut.position = 0;
		try { cut.readObject(); trace("no error"); } catch (e:Dynamic) { trace("error"); }
	}
}
