#!/usr/bin/env python3
"""Writes the seed inputs of fuzz_sound and fuzz_video: FFmpeg encodes a tone and a test pattern
in every format it can write that a movie may hold (into FLV, whose packets are what a movie
stores), and each stream becomes one input in the target's format, cut to a few kilobytes.
Usage: make_seeds.py OUT_DIR (OUT_DIR gets sound/ and video/)."""
import os
import struct
import subprocess
import sys
import tempfile

SOUND_CODECS = [0, 1, 2, 3, 4, 5, 6, 11]  # fuzz_sound's table
VIDEO_CODECS = [2, 3, 4, 5, 6]  # fuzz_video's table
MAX_SOUND = 4096
MAX_VIDEO = 16384

SOUNDS = {
    "pcm-u8": ["-c:a", "pcm_u8", "-ar", "11025"],
    "pcm-s16le": ["-c:a", "pcm_s16le", "-ar", "22050", "-ac", "2"],
    "adpcm": ["-c:a", "adpcm_swf", "-ar", "22050"],
    "mp3": ["-c:a", "libmp3lame", "-ar", "22050", "-b:a", "32k"],
    "nelly": ["-c:a", "nellymoser", "-ar", "22050"],
    "nelly8k": ["-c:a", "nellymoser", "-ar", "8000"],
    "nelly16k": ["-c:a", "nellymoser", "-ar", "16000"],
    "speex": ["-c:a", "libspeex", "-ar", "16000"],
}
VIDEOS = {
    "h263": ["-c:v", "flv"],
    "screen": ["-c:v", "flashsv", "-g", "4"],
    "screen2": ["-c:v", "flashsv2", "-g", "4"],
}


def flv_packets(path, want):
    data = open(path, "rb").read()
    at = 9 + 4
    while at + 11 <= len(data):
        kind = data[at]
        size = int.from_bytes(data[at + 1:at + 4], "big")
        body = data[at + 11:at + 11 + size]
        at += 11 + size + 4
        if kind == want and len(body) > 1:
            yield body[0], body[1:]


def encode(args, out):
    subprocess.run(["ffmpeg", "-loglevel", "error", "-y"] + args + [out], check=True)


def main():
    out = sys.argv[1]
    os.makedirs(os.path.join(out, "sound"), exist_ok=True)
    os.makedirs(os.path.join(out, "video"), exist_ok=True)
    with tempfile.TemporaryDirectory() as tmp:
        for name, opts in SOUNDS.items():
            flv = os.path.join(tmp, name + ".flv")
            encode(["-f", "lavfi", "-i", "sine=frequency=440:duration=0.5", "-vn"] + opts, flv)
            packets = list(flv_packets(flv, 8))
            flags = packets[0][0]
            codec, rate, size16, stereo = flags >> 4, (flags >> 2) & 3, (flags >> 1) & 1, flags & 1
            head = bytes([SOUND_CODECS.index(codec), rate | size16 << 2 | stereo << 3])
            # A stream: the blocks one after another, each with its length in front.
            blocks = b""
            for _, p in packets:
                if len(blocks) + len(p) + 8 > MAX_SOUND:
                    break
                blocks += struct.pack("<H", len(p)) + p
            write(out, "sound", "stream-" + name, head[:1] + bytes([head[1] | 16]) + bytes(4) + blocks)
            # An event sound: one block's worth (ADPCM data is one unit), MP3 with SeekSamples.
            event = packets[0][1] if codec == 1 else b"".join(p for _, p in packets)
            if codec == 2:
                event = b"\0\0" + event
            event = event[:MAX_SOUND]
            write(out, "sound", "event-" + name, head + struct.pack("<I", 11025) + event)
        for name, opts in VIDEOS.items():
            flv = os.path.join(tmp, name + ".flv")
            encode(["-f", "lavfi", "-i", "testsrc=size=64x48:rate=10:duration=1", "-an"] + opts, flv)
            codec = None
            data = b""
            for first, p in flv_packets(flv, 9):
                codec = first & 0x0F
                if len(data) + len(p) + 2 > MAX_VIDEO and data:
                    break
                data += struct.pack("<H", len(p)) + p
            write(out, "video", name, bytes([VIDEO_CODECS.index(codec)]) + data)


def write(out, kind, name, data):
    with open(os.path.join(out, kind, "seed-" + name), "wb") as f:
        f.write(data)


if __name__ == "__main__":
    main()
