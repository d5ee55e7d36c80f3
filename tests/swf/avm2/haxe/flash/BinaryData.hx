// Library bytes: DefineBinaryData linked by SymbolClass to a ByteArray subclass, so that each
// `new Data()` holds the file's bytes. Expected output is written by hand in BinaryData.expected
// from the ActionScript 3.0 Language Reference (ByteArray) and the bytes of binary-data.bin:
// 00 01 02 FF FE, then "Reelwick".

@:file("binary-data.bin") class Data extends flash.utils.ByteArray {}

class BinaryData {
	static function main() {
		var d = new Data();
		// All the bytes, read from the start.
		trace(d.length + " " + d.position + " " + d.bytesAvailable);
		trace(d.readUnsignedByte() + " " + d.readUnsignedByte() + " " + d.readUnsignedByte() + " "
			+ d.readUnsignedByte() + " " + d.readByte());
		trace(d.readUTFBytes(8));
		// Each instance has a copy of its own: writing to one leaves the next as the file was.
		d[0] = 42;
		d.length = 2;
		var e = new Data();
		trace(d.length + " " + d[0] + " / " + e.length + " " + e[0]);
		// A plain ByteArray is empty; the subclass is still a ByteArray.
		trace(new flash.utils.ByteArray().length + " " + Std.isOfType(e, flash.utils.ByteArray));
	}
}
