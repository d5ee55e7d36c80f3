#pragma once

// Decoding of every sound format a movie may hold, to 16-bit PCM. Uncompressed and ADPCM data
// are decoded here; MP3 and Nellymoser go through libavcodec (avdecoder.h), Speex through
// libspeex (speexdecoder.h).

#include "swf/characters.h"
#include "swf/sound/pcm.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

namespace swf::sound {

enum Codec : std::uint8_t {
    CodecPcmNative = 0,
    CodecAdpcm = 1,
    CodecMp3 = 2,
    CodecPcmLittle = 3,
    CodecNelly16k = 4,
    CodecNelly8k = 5,
    CodecNelly = 6,
    CodecSpeex = 11,
};

// Output limits for data from a file: no sound may decode to more than this many sample frames
// (about 25 minutes at 44.1 kHz), whatever its header or bit stream claims.
constexpr std::size_t kMaxDecodedFrames = std::size_t(1) << 26;

// The rate and channel count the decoded samples of a format really have (Nellymoser and Speex
// fix theirs; MP3 may differ from the header, the decoder reports it).
std::uint32_t decodedRate(const SoundFormat& f);
std::uint8_t decodedChannels(const SoundFormat& f);

// Uncompressed data: 8-bit unsigned or 16-bit little-endian, interleaved. A trailing partial
// sample frame is dropped. Appends to `out`.
void decodePcm(const SoundFormat& f, std::span<const std::uint8_t> data, PcmBuffer& out,
               std::size_t maxFrames = kMaxDecodedFrames);

// One ADPCMSOUNDDATA (code size, then packets) appended to `out`.
void decodeAdpcm(std::span<const std::uint8_t> data, bool stereo, PcmBuffer& out,
                 std::size_t maxFrames = kMaxDecodedFrames);

// Decodes stream blocks one after another, carrying codec state across blocks where the format
// has any (MP3 frames may straddle blocks).
class StreamDecoder {
public:
    static std::unique_ptr<StreamDecoder> create(const SoundFormat& f);
    virtual ~StreamDecoder() = default;
    // Appends the samples of one block (as stored: for MP3 without the SampleCount and
    // SeekSamples fields). Output is capped at `maxFrames` in total per call.
    virtual void decode(std::span<const std::uint8_t> block, PcmBuffer& out,
                        std::size_t maxFrames = kMaxDecodedFrames) = 0;
    // Returns what the codec still holds (the last MP3 frame once no more data comes).
    virtual void flush(PcmBuffer&) {}
};

// A whole DefineSound decoded: MP3's SeekSamples dropped, and cut to the declared sample count
// when the data holds more (MP3 pads its last frame). Never null; empty when undecodable.
// Decoding stops at `maxFrames` sample frames (before the SeekSamples are dropped).
std::shared_ptr<const PcmBuffer> decodeSound(const Sound& sound,
                                             std::size_t maxFrames = kMaxDecodedFrames);

} // namespace swf::sound
