// Compressed data: zlib streams made elsewhere (stored, fixed-Huffman and dynamic-Huffman
// blocks) inflated both by haxe.zip.Uncompress (ActionScript's ByteArray.uncompress in the
// movie) and by haxe.zip.InflateImpl (an inflater written in Haxe: bit reading and Huffman
// tables), round trips through Compress, and a zip archive written by haxe.zip.Writer.
// Left out: the bytes Compress produces (the two sides may choose different encodings).

import haxe.io.Bytes;
import haxe.io.BytesInput;

class Zip {
	// zlib (level 9) of the text that words() makes.
	static inline var DYNAMIC = "78da7d95414e03311004bf92afe590a01c225012c11f384691f2052edc1017247ec3227e01598fd75de33687ac157b3dd3d3d33d3b5ddf7fae6faba92cfbfbc7dd66757cda2ebfed61bd2f3b5fcf2fdf978ffae6f1b4befbdb7f38ec4e9b7a144b042947e6cf849491a0bcc0a5a6d2cbe5f5e9fc3a5d3e99304ee20ee1cf60233baec6826a52f672b4c42a4f17abbdc30a811f7cd8845241c40f08f3d325287bec4f2c6cc91c81a8d0f8c857d3de3844e3140efe9473e141c14a25daa9dc1ee2d293aeb3261aa41540a015406444550740388e00d6a911f4d43df8445c364c0dd4f4526b4b17a2d70b9ed5d75a8295435d50046ae6a4b076681841132b1b690c2a6898f52eada48283405d612d39c11a51734cddc4076eeae274e326a6558c583df301c18eb874067223ad02eab20b139dd93a571b5e3aa337c1b999cf7161c6639ea4799cb010a4c8e662e910af3339e8d57a01214b7bdc00efa44c120683120ef09debffff382ba376bea37ee64e5323dd580000b7b53fba22768648d3c775d4677eab30ea950f7c0ed105af31aa214bcfb58622c96c74fb0a8b3283380ca5d4550bf60bf8fda77c";
	static inline var STORED = "7801011000efff73746f72656420626c6f636b20e4b8ad37bd0726";
	static inline var FIXED = "78014bcbac484d51c8284d4bcb4dcc5348c3cd530400549c0fa1";

	static function words():String {
		var list = ["播放", "movie", "frame", "swf", "动画", "stage", "时间", "sprite"];
		var seed = 1;
		var out = [];
		for (i in 0...400) {
			seed = (seed * 1103515245 + 12345) & 0x7fffffff;
			out.push(list[(seed >> 16) % 8]);
		}
		return out.join(" ");
	}

	static function describe(b:Bytes):String
		return b.length + " " + haxe.crypto.Md5.make(b).toHex() + " " + StringTools.hex(haxe.crypto.Crc32.make(b), 8);

	static function main() {
		var text = words();
		var textBytes = Bytes.ofString(text);
		trace("text " + describe(textBytes));
		for (hex in [STORED, FIXED, DYNAMIC]) {
			var z = Bytes.ofHex(hex);
			var native = haxe.zip.Uncompress.run(z);
			var inflated = haxe.zip.InflateImpl.run(new BytesInput(z));
			trace(z.length + " -> " + describe(native) + " | " + describe(inflated) + " " + (native.compare(inflated) == 0));
		}
		trace(haxe.zip.Uncompress.run(Bytes.ofHex(STORED)).toString());
		trace(haxe.zip.InflateImpl.run(new BytesInput(Bytes.ofHex(FIXED))).toString());
		trace(haxe.zip.Uncompress.run(Bytes.ofHex(DYNAMIC)).toString() == text);

		for (level in [1, 6, 9]) {
			var c = haxe.zip.Compress.run(textBytes, level);
			var back = haxe.zip.Uncompress.run(c);
			var back2 = haxe.zip.InflateImpl.run(new BytesInput(c));
			trace("level " + level + " smaller " + (c.length < textBytes.length / 3) + " " + (back.compare(textBytes) == 0) + " "
				+ (back2.compare(textBytes) == 0));
		}
		var empty = haxe.zip.Compress.run(Bytes.alloc(0), 9);
		trace("empty " + haxe.zip.Uncompress.run(empty).length);
		var noise = Bytes.alloc(5000);
		var seed:haxe.Int32 = 99;
		for (i in 0...noise.length) {
			seed = seed * 1664525 + 1013904223;
			noise.set(i, seed >>> 24);
		}
		var cn = haxe.zip.Compress.run(noise, 9);
		trace("noise " + (haxe.zip.InflateImpl.run(new BytesInput(cn)).compare(noise) == 0));

		var corrupt = Bytes.ofHex(DYNAMIC);
		corrupt.set(40, corrupt.get(40) ^ 0x55);
		var r = try {
			var out = haxe.zip.InflateImpl.run(new BytesInput(corrupt));
			out.toString() == text ? "unchanged" : "different";
		} catch (e:Dynamic) "error";
		trace("corrupt " + (r != "unchanged"));

		var entries = new List<haxe.zip.Entry>();
		for (name in ["a.txt", "目录/b.bin"]) {
			var data = name == "a.txt" ? Bytes.ofString("hello zip") : noise.sub(0, 100);
			entries.add({
				fileName: name,
				fileSize: data.length,
				fileTime: new Date(2020, 4, 17, 10, 30, 0),
				compressed: false,
				dataSize: data.length,
				data: data,
				crc32: haxe.crypto.Crc32.make(data)
			});
		}
		var out = new haxe.io.BytesOutput();
		new haxe.zip.Writer(out).write(entries);
		var archive = out.getBytes();
		trace("archive " + archive.length + " " + haxe.crypto.Md5.make(archive).toHex());
	}
}
