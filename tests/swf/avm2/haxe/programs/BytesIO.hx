// haxe.io.Bytes and friends (a ByteArray in the movie): single bytes, 16/32/64-bit integers and
// floats in both byte orders, UTF-8 text, blit, sub, compare, hex, BytesBuffer, and the
// BytesInput/BytesOutput streams.

import haxe.io.BytesBuffer;
import haxe.io.BytesInput;
import haxe.io.BytesOutput;

class BytesIO {
	static function main() {
		var b = haxe.io.Bytes.alloc(16);
		trace(b.length + " " + b.toHex());
		for (i in 0...16)
			b.set(i, i * 17);
		trace(b.toHex());
		b.set(0, 256 + 5);
		b.set(1, -1);
		trace(b.get(0) + " " + b.get(1) + " " + b.get(15));

		b.setInt32(0, 0x12345678);
		trace(b.toHex().substr(0, 8) + " " + b.getInt32(0));
		b.setInt32(4, -2);
		trace(b.getInt32(4) + " " + b.getUInt16(4) + " " + b.getUInt16(6));
		b.setUInt16(8, 0xBEEF);
		trace(b.getUInt16(8) + " " + b.get(8) + " " + b.get(9));
		b.setInt64(8, haxe.Int64.make(0x01020304, 0x05060708));
		var i64 = b.getInt64(8);
		trace(i64.high + " " + i64.low + " " + b.toHex().substr(16));

		b.setFloat(0, 1.5);
		trace(b.getFloat(0) + " " + b.toHex().substr(0, 8));
		b.setFloat(0, 0.1);
		trace(b.getFloat(0));
		b.setDouble(8, Math.PI);
		trace(b.getDouble(8) + " " + b.toHex().substr(16));
		b.setDouble(8, -1e300);
		trace(b.getDouble(8));

		var text = haxe.io.Bytes.ofString("Hé中文!");
		trace(text.length + " " + text.toHex());
		trace(text.getString(0, text.length) + " " + text.getString(3, 6) + " " + text.toString());
		trace(haxe.io.Bytes.ofHex("48656c6c6f").toString());

		var src = haxe.io.Bytes.ofString("abcdefghij");
		var dst = haxe.io.Bytes.alloc(10);
		dst.fill(0, 10, "-".code);
		dst.blit(2, src, 5, 4);
		trace(dst.toString());
		dst.blit(0, dst, 2, 6);
		trace(dst.toString());
		trace(src.sub(3, 4).toString());
		trace(src.compare(haxe.io.Bytes.ofString("abcdefghij")) + " " + (src.compare(haxe.io.Bytes.ofString("abd")) < 0) + " "
			+ (src.compare(haxe.io.Bytes.ofString("abc")) > 0));

		var bb = new BytesBuffer();
		bb.addByte(1);
		bb.addString("xy");
		bb.addInt32(0x0A0B0C0D);
		bb.addInt64(haxe.Int64.make(1, 2));
		bb.addFloat(2.5);
		bb.addDouble(-0.5);
		bb.add(haxe.io.Bytes.ofString("中"));
		trace(bb.length);
		var built = bb.getBytes();
		trace(built.toHex());

		var out = new BytesOutput();
		out.bigEndian = true;
		out.writeInt16(-2);
		out.writeUInt16(65535);
		out.writeInt24(-3);
		out.writeInt32(305419896);
		out.writeFloat(-2.25);
		out.writeDouble(1e-3);
		out.writeString("末尾");
		out.bigEndian = false;
		out.writeInt32(305419896);
		out.writeUInt24(0xABCDEF);
		var data = out.getBytes();
		trace(data.length + " " + data.toHex());

		var inp = new BytesInput(data);
		inp.bigEndian = true;
		trace(inp.readInt16() + " " + inp.readUInt16() + " " + inp.readInt24() + " " + inp.readInt32());
		trace(inp.readFloat() + " " + inp.readDouble());
		trace(inp.readString(6));
		inp.bigEndian = false;
		trace(inp.readInt32() + " " + inp.readUInt24() + " " + inp.position + " " + inp.length);
		var eof = try {
			inp.readByte();
			"no eof";
		} catch (e:haxe.io.Eof) "eof";
		trace(eof);

		var lines = new BytesInput(haxe.io.Bytes.ofString("first\nsecond 第二\r\nthird"));
		trace(lines.readLine() + "|" + lines.readLine() + "|" + lines.readLine());

		var all = new BytesInput(haxe.io.Bytes.ofString("0123456789"));
		all.position = 4;
		trace(all.read(3).toString() + " " + all.readAll().toString());

		var crcLike = 0;
		var big = haxe.io.Bytes.alloc(4096);
		for (i in 0...big.length)
			big.set(i, (i * 31 + 7) & 255);
		for (i in 0...big.length)
			crcLike = (crcLike * 33 + big.get(i)) & 0xFFFFFF;
		trace(crcLike);
		trace(haxe.io.Bytes.ofString("").length + " " + haxe.io.Bytes.alloc(0).toHex() + "|");
	}
}
