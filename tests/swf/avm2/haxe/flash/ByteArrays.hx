// flash.utils.ByteArray used directly: byte order, integer and float encodings, UTF strings,
// position and length, reading past the end, and compression. Expected output is written by
// hand in ByteArrays.expected from the ActionScript 3.0 Language Reference; the comment above
// each trace names the documented rule.

import flash.utils.ByteArray;
import flash.utils.Endian;

class ByteArrays {
	static function hex(b:ByteArray):String {
		var s = "";
		for (i in 0...b.length)
			s += StringTools.hex(b[i], 2);
		return s;
	}

	static function main() {
		var b = new ByteArray();
		// A new ByteArray is empty and big-endian.
		trace(b.length + " " + b.position + " " + b.endian);
		// writeInt/writeShort write big-endian by default; writeShort keeps the low 16 bits.
		b.writeInt(0x01020304);
		b.writeShort(0x1A0B0C);
		trace(hex(b) + " " + b.length + " " + b.position);
		// endian = "littleEndian" reverses the order of the following writes.
		b.endian = Endian.LITTLE_ENDIAN;
		b.writeInt(0x01020304);
		b.writeUnsignedInt(0xFFFFFFFE);
		trace(hex(b) + " " + b.endian);
		// Reading starts at position: rewind to 0 and read back in both orders.
		b.position = 0;
		b.endian = Endian.BIG_ENDIAN;
		trace(b.readInt() + " " + b.readShort() + " " + b.bytesAvailable);
		b.endian = Endian.LITTLE_ENDIAN;
		trace(b.readInt() + " " + b.readUnsignedInt() + " " + b.bytesAvailable);
		// readInt of FFFFFFFE is -2; readByte is signed, readUnsignedByte is not.
		b.position = 10;
		trace(b.readInt() + " " + b.position);
		b.position = 10;
		trace(b.readByte() + " " + b.readUnsignedByte() + " " + b.readUnsignedShort());

		// Floats: IEEE 754 single (writeFloat) and double (writeDouble) in the current order.
		var f = new ByteArray();
		f.writeFloat(1.5);
		f.writeDouble(-2.25);
		f.endian = Endian.LITTLE_ENDIAN;
		f.writeFloat(1.5);
		trace(hex(f));
		f.position = 0;
		f.endian = Endian.BIG_ENDIAN;
		trace(f.readFloat() + " " + f.readDouble());
		// 0.1 does not survive as a single: it reads back as the nearest float.
		var g = new ByteArray();
		g.writeFloat(0.1);
		g.position = 0;
		trace(g.readFloat() + " " + hex(g));

		// writeUTF writes a 16-bit length then the UTF-8 bytes; writeUTFBytes the bytes alone.
		var u = new ByteArray();
		u.writeUTF("中文");
		u.writeUTFBytes("ab");
		trace(hex(u) + " " + u.length);
		u.position = 0;
		trace(u.readUTF() + " " + u.readUTFBytes(2) + " " + u.bytesAvailable);
		// writeBoolean writes 1 or 0; readBoolean is true for any byte but 0.
		var bo = new ByteArray();
		bo.writeBoolean(true);
		bo.writeBoolean(false);
		bo.writeByte(7);
		bo.position = 0;
		trace(hex(bo) + " " + bo.readBoolean() + " " + bo.readBoolean() + " " + bo.readBoolean());
		// writeByte keeps the low 8 bits.
		var wb = new ByteArray();
		wb.writeByte(0x1FF);
		wb.writeByte(-2);
		trace(hex(wb));

		// Array access reads and writes single bytes; writing past the end grows the array.
		var a = new ByteArray();
		a[3] = 0x41;
		trace(a.length + " " + hex(a));
		a[0] = 0x142;
		trace(hex(a));
		// Setting length truncates or pads with zeros.
		a.length = 6;
		trace(hex(a));
		a.length = 2;
		trace(hex(a));

		// Reading past the end throws EOFError, errorID 2030.
		var e = new ByteArray();
		e.writeShort(1);
		e.position = 1;
		try {
			e.readInt();
			trace("no error");
		} catch (err:flash.errors.EOFError) {
			trace("EOFError " + err.errorID);
		}

		// writeBytes(bytes, offset, length) copies part of another ByteArray; readBytes copies out.
		var src = new ByteArray();
		src.writeUTFBytes("0123456789");
		var dst = new ByteArray();
		dst.writeBytes(src, 2, 4);
		trace(hex(dst) + " " + dst.toString());
		var out = new ByteArray();
		src.position = 5;
		src.readBytes(out, 0, 3);
		trace(out.toString() + " " + src.position);

		// compress then uncompress restores the bytes; the default format is zlib, whose first
		// byte is 0x78 for deflate with a 32 KiB window. After uncompress, position is 0.
		var big = new ByteArray();
		for (i in 0...1000)
			big.writeUTFBytes("repeat ");
		var len = big.length;
		big.compress();
		var smaller = big.length < len;
		trace(big[0] + " " + smaller);
		big.uncompress();
		trace(big.length + " " + big.position + " " + big.readUTFBytes(7));
	}
}
