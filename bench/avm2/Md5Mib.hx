// MD5 of one mebibyte through haxe.crypto.Md5: 32-bit additions, rotations and byte reads.
class Md5Mib {
	static function main() {
		var data = haxe.io.Bytes.alloc(1 << 20);
		var seed:haxe.Int32 = 7;
		for (i in 0...data.length) {
			seed = seed * 1664525 + 1013904223;
			data.set(i, seed >>> 24);
		}
		trace("md5 " + haxe.crypto.Md5.make(data).toHex());
	}
}
