// flash.media: Sound.id3 (an ID3Info) and the id3 event of a loaded MP3, a library sound's
// tags, and play's start time. Expected output is written by hand in SoundTags.expected from
// the ActionScript 3.0 Language Reference; the comment above each trace names the documented
// rule. media-tagged.mp3 is 0.3 s of a 440 Hz tone with ID3 2.3 and ID3 1 tags (title "Sine
// Song", artist "Reelwick Tests", album "Tones", year 2026, track 3, genre "Test"; the comment
// "short" only in the ID3 1 tag).
// frames: 4
// files: media-tagged.mp3

import flash.events.Event;
import flash.media.Sound;
import flash.net.URLRequest;

@:sound("media-tone.wav") class Tone extends Sound {}

class SoundTags {
	static function main() {
		// ID3Info's properties are null until the tags are read.
		var s = new Sound();
		trace(s.id3.songName + " " + s.id3.artist);
		// Event.ID3 when the tags are available: songName, artist, album, year, comment, track
		// and genre, and any ID3 2 frame by its own name (TIT2, TPE1).
		s.addEventListener(Event.ID3, function(e:Event) {
			var i = s.id3;
			trace("id3 " + (e.target == s) + " " + i.songName + "|" + i.artist + "|" + i.album + "|"
				+ i.year + "|" + i.comment + "|" + i.track + "|" + i.genre);
			trace("frames " + Reflect.field(i, "TIT2") + "|" + Reflect.field(i, "TPE1"));
		});
		// complete comes after the tags, which stay readable.
		s.addEventListener(Event.COMPLETE, function(_) trace("complete " + s.id3.album));
		s.load(new URLRequest("media-tagged.mp3"));
		trace(Event.ID3);

		// A library sound that is no MP3 has no tags and sends no id3 event.
		var tone = new Tone();
		tone.addEventListener(Event.ID3, function(_) trace("tone id3"));
		trace("tone " + tone.id3.songName);
		// play(startTime, loops): the channel's position starts at startTime, in milliseconds.
		var ch = tone.play(300, 2);
		trace("start " + Math.round(ch.position));
		ch.stop();
		trace("main done");
	}
}
