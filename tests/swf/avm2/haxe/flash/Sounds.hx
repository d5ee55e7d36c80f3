// flash.media: a library sound by class, its length, play with a SoundTransform, the channel's
// peaks, position and soundComplete, extract, a sound generated through sampleData, and
// SoundMixer. Expected output is written by hand in Sounds.expected from the ActionScript 3.0
// Language Reference; the comment above each trace names the documented rule. media-tone.wav is
// 0.4 s of a square wave at half of full scale, 11025 Hz mono.
// frames: 30

import flash.events.Event;
import flash.events.SampleDataEvent;
import flash.media.Sound;
import flash.media.SoundChannel;
import flash.media.SoundMixer;
import flash.media.SoundTransform;
import flash.utils.ByteArray;

@:sound("media-tone.wav") class Tone extends Sound {}

class Sounds {
	static function main() {
		var root = flash.Lib.current;
		var tone = new Tone();
		// length: the sound's duration in milliseconds.
		trace(tone.length);

		// SoundTransform(vol = 1, panning = 0); a pan of -1 keeps only the left side.
		var plain = new SoundTransform();
		trace(plain.volume + " " + plain.pan + " " + plain.leftToLeft + " " + plain.rightToRight);
		var left = new SoundTransform(0.5, -1);
		trace(left.volume + " " + left.pan + " " + left.leftToLeft + " " + left.rightToRight);

		// play(startTime, loops, sndTransform) gives the channel; its soundTransform is a copy.
		var ch = tone.play(0, 1, left);
		trace((ch != null) + " " + ch.soundTransform.volume + " " + ch.soundTransform.pan);
		var frames = 0;
		var peaked = false;
		root.addEventListener(Event.ENTER_FRAME, function(_) {
			frames++;
			// While it plays: leftPeak is the left side's amplitude (half scale, at half volume),
			// rightPeak nothing (panned left); position moves on.
			if (frames == 4 && !peaked) {
				peaked = true;
				trace("peaks " + Math.round(ch.leftPeak * 100) + " " + Math.round(ch.rightPeak * 100) + " "
					+ (ch.position > 0 && ch.position < 400));
			}
		});
		// soundComplete when it has played to its end; position is then its length.
		ch.addEventListener(Event.SOUND_COMPLETE, function(e:Event) {
			trace("complete " + (e.target == ch) + " " + Math.round(ch.position));
		});

		// extract(target, length, startPosition): 44.1 kHz stereo frames as floats, 8 bytes
		// each; the square wave starts at +0.5 on both sides.
		var bytes = new ByteArray();
		var n = tone.extract(bytes, 100, 0);
		trace(n + " " + bytes.length + " " + bytes.position);
		bytes.position = 0;
		trace(bytes.readFloat() + " " + bytes.readFloat());
		// Without a start position, extract goes on where the last one stopped; past the end it
		// gives what is left. 0.4 s at 44.1 kHz is 17640 frames.
		var rest = new ByteArray();
		trace(tone.extract(rest, 100000));
		trace(rest.length);

		// A Sound with no data and a sampleData listener plays what the listener writes; the
		// event's position counts the frames asked for so far. Fewer than 2048 frames end it.
		var generated = new Sound();
		var calls = 0;
		generated.addEventListener(SampleDataEvent.SAMPLE_DATA, function(e:SampleDataEvent) {
			trace("sampleData " + e.position);
			if (++calls <= 2)
				for (i in 0...2048) {
					e.data.writeFloat(0.25);
					e.data.writeFloat(-0.25);
				}
		});
		var gch = generated.play();
		gch.addEventListener(Event.SOUND_COMPLETE, function(_) trace("generated complete"));

		// A Sound with nothing to play gives no channel.
		trace(new Sound().play() == null);

		// SoundMixer.soundTransform: the whole movie's, full volume at first.
		trace(SoundMixer.soundTransform.volume);
		SoundMixer.soundTransform = new SoundTransform(0.8);
		trace(SoundMixer.soundTransform.volume);
		SoundMixer.soundTransform = new SoundTransform(1);
		// computeSpectrum writes 512 floats (2048 bytes) and leaves the position at 0.
		var spectrum = new ByteArray();
		SoundMixer.computeSpectrum(spectrum, true);
		trace(spectrum.length + " " + spectrum.position);

		// stop(): a stopped channel never completes.
		var stopped = tone.play(100);
		stopped.addEventListener(Event.SOUND_COMPLETE, function(_) trace("stopped channel completed"));
		stopped.stop();
		trace("stopped at " + Math.round(stopped.position));
		// load() under the file rule: a missing file is an ioError on the next frame.
		var missing = new Sound();
		missing.addEventListener(flash.events.IOErrorEvent.IO_ERROR, function(e:flash.events.IOErrorEvent) trace("Sound ioError " + e.errorID));
		missing.load(new flash.net.URLRequest("no-such-sound.mp3"));
		trace("main done");
	}
}
