// The hash and encoding functions of Haxe's standard library, which the movie runs as Haxe code
// leaning hard on 32-bit integer arithmetic (the interpreter runs several of them natively, an
// independent reference): MD5, SHA-1, SHA-224, SHA-256, CRC-32, Adler-32, HMAC, Base64 and
// BaseCode, over ASCII, Chinese text and generated binary data.

import haxe.crypto.Adler32;
import haxe.crypto.Base64;
import haxe.crypto.BaseCode;
import haxe.crypto.Crc32;
import haxe.crypto.Hmac;
import haxe.crypto.Md5;
import haxe.crypto.Sha1;
import haxe.crypto.Sha224;
import haxe.crypto.Sha256;

class Hashes {
	static function main() {
		var inputs = [
			"",
			"a",
			"abc",
			"message digest",
			"The quick brown fox jumps over the lazy dog",
			"中华人民共和国",
			"Flash 播放器：你好，世界！",
			StringTools.lpad("", "x", 1000)
		];
		for (s in inputs) {
			var tag = s.length > 40 ? s.substr(0, 10) + "..." + s.length : s;
			trace("[" + tag + "]");
			trace("  md5    " + Md5.encode(s));
			trace("  sha1   " + Sha1.encode(s));
			trace("  sha224 " + Sha224.encode(s));
			trace("  sha256 " + Sha256.encode(s));
			var bytes = haxe.io.Bytes.ofString(s);
			trace("  crc32  " + StringTools.hex(Crc32.make(bytes), 8));
			trace("  adler  " + StringTools.hex(Adler32.make(bytes), 8));
			var b64 = Base64.encode(bytes);
			trace("  base64 " + (b64.length > 60 ? b64.substr(0, 30) + "..." + b64.length : b64));
		}

		var bin = haxe.io.Bytes.alloc(70000);
		var seed:haxe.Int32 = 1;
		for (i in 0...bin.length) {
			seed = (seed * 1103515245 + 12345) & 0x7fffffff;
			bin.set(i, seed >> 16);
		}
		trace("binary md5    " + Md5.make(bin).toHex());
		trace("binary sha1   " + Sha1.make(bin).toHex());
		trace("binary sha256 " + Sha256.make(bin).toHex());
		trace("binary crc32  " + Crc32.make(bin));
		trace("binary adler  " + Adler32.make(bin));
		var crc = new Crc32();
		for (i in 0...100)
			crc.byte(bin.get(i));
		trace("crc32 of 100 bytes " + crc.get() + " " + Crc32.make(bin.sub(0, 100)));
		var adler = new Adler32();
		adler.update(bin, 0, 1000);
		adler.update(bin, 1000, 2000);
		trace("adler in two parts " + adler.get() + " " + Adler32.make(bin.sub(0, 3000)));

		for (n in [0, 1, 2, 3, 4, 5, 6, 55, 56, 57, 63, 64, 65])
			trace(n + " " + Md5.encode(StringTools.lpad("", "m", n)) + " " + Sha1.encode(StringTools.lpad("", "s", n)).substr(0, 16));

		var key = haxe.io.Bytes.ofString("key");
		var msg = haxe.io.Bytes.ofString("The quick brown fox jumps over the lazy dog");
		trace("hmac md5    " + new Hmac(MD5).make(key, msg).toHex());
		trace("hmac sha1   " + new Hmac(SHA1).make(key, msg).toHex());
		trace("hmac sha256 " + new Hmac(SHA256).make(key, msg).toHex());
		var longKey = haxe.io.Bytes.ofString(StringTools.lpad("", "k", 100));
		trace("hmac long   " + new Hmac(SHA256).make(longKey, msg).toHex());

		for (s in ["", "f", "fo", "foo", "foob", "fooba", "foobar", "中文"]) {
			var enc = Base64.encode(haxe.io.Bytes.ofString(s));
			var noPad = Base64.encode(haxe.io.Bytes.ofString(s), false);
			var url = Base64.urlEncode(haxe.io.Bytes.ofString(s + "??>>"));
			trace(s + " " + enc + " " + noPad + " " + url + " " + Base64.decode(enc).toString() + " " + Base64.urlDecode(url).toString());
		}
		var all = haxe.io.Bytes.alloc(256);
		for (i in 0...256)
			all.set(i, i);
		var enc = Base64.encode(all);
		trace(enc.length + " " + enc.substr(0, 40) + " " + enc.substr(enc.length - 12));
		trace(Base64.decode(enc).compare(all));

		var hexCode = new BaseCode(haxe.io.Bytes.ofString("0123456789abcdef"));
		trace(hexCode.encodeString("Hi!") + " " + hexCode.decodeString("486921"));
		var oct = new BaseCode(haxe.io.Bytes.ofString("01234567"));
		trace(oct.encodeBytes(haxe.io.Bytes.ofString("xyz")).toString());
		trace(BaseCode.encode("hello", "0123456789abcdef"));
	}
}
