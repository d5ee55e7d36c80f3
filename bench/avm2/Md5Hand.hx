// MD5 of the same mebibyte as Md5Mib.hx, but computed by MD5 written out here: the Haxe
// interpreter runs haxe.crypto.Md5 as native code, so Md5Mib times our VM against compiled code
// while this one times both sides interpreting the same algorithm. The digests must agree.
class Md5Hand {
	static final S = [7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22, 5, 9, 14, 20, 5, 9, 14, 20, 5, 9, 14, 20, 5, 9, 14, 20, 4, 11, 16, 23, 4, 11,
		16, 23, 4, 11, 16, 23, 4, 11, 16, 23, 6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21];

	static function md5(data:haxe.io.Bytes):String {
		// K[i] = floor(abs(sin(i + 1)) * 2^32), kept in 32 bits.
		var k = [
			for (i in 0...64) {
				var v = Math.ffloor(Math.abs(Math.sin(i + 1)) * 4294967296.0);
				Std.int(v >= 2147483648.0 ? v - 4294967296.0 : v);
			}
		];
		var len = data.length;
		var padded = haxe.io.Bytes.alloc(((len + 8) >> 6) * 64 + 64);
		padded.blit(0, data, 0, len);
		padded.set(len, 0x80);
		var total = ((len + 8) >> 6) * 64 + 64;
		padded.setInt32(total - 8, len << 3);
		padded.setInt32(total - 4, len >>> 29);
		var a0 = 0x67452301, b0 = 0xefcdab89, c0 = 0x98badcfe, d0 = 0x10325476;
		var m = new haxe.ds.Vector<Int>(16);
		var block = 0;
		while (block < total) {
			for (i in 0...16)
				m[i] = padded.getInt32(block + i * 4);
			var a = a0, b = b0, c = c0, d = d0;
			for (i in 0...64) {
				var f:Int, g:Int;
				if (i < 16) {
					f = (b & c) | (~b & d);
					g = i;
				} else if (i < 32) {
					f = (d & b) | (~d & c);
					g = (5 * i + 1) & 15;
				} else if (i < 48) {
					f = b ^ c ^ d;
					g = (3 * i + 5) & 15;
				} else {
					f = c ^ (b | ~d);
					g = (7 * i) & 15;
				}
				f = f + a + k[i] + m[g];
				a = d;
				d = c;
				c = b;
				var s = S[i];
				b = b + ((f << s) | (f >>> (32 - s)));
			}
			a0 += a;
			b0 += b;
			c0 += c;
			d0 += d;
			block += 64;
		}
		var out = haxe.io.Bytes.alloc(16);
		out.setInt32(0, a0);
		out.setInt32(4, b0);
		out.setInt32(8, c0);
		out.setInt32(12, d0);
		return out.toHex();
	}

	static function main() {
		var data = haxe.io.Bytes.alloc(1 << 20);
		var seed:haxe.Int32 = 7;
		for (i in 0...data.length) {
			seed = seed * 1664525 + 1013904223;
			data.set(i, seed >>> 24);
		}
		trace("md5 " + md5(data));
		trace("check " + md5(haxe.io.Bytes.ofString("")) + " " + md5(haxe.io.Bytes.ofString("The quick brown fox jumps over the lazy dog")));
	}
}
