// Feeds random data to every sound decoder after a valid sound header: the first two bytes pick
// the format (codec, rate, sample size, channels) and whether the data is one event sound or a
// stream of blocks (each with a 16-bit length in front), as a movie would hand them over.

#include "swf/sound/decoder.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>

namespace {

constexpr std::uint8_t kCodecs[] = {
    swf::sound::CodecPcmNative, swf::sound::CodecAdpcm,    swf::sound::CodecMp3,
    swf::sound::CodecPcmLittle, swf::sound::CodecNelly16k, swf::sound::CodecNelly8k,
    swf::sound::CodecNelly,     swf::sound::CodecSpeex,
};
constexpr std::uint32_t kRates[] = {5512, 11025, 22050, 44100};
// Enough for every path through the decoders; the library's own cap is far larger.
constexpr std::size_t kMaxFrames = std::size_t(1) << 18;

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 6)
        return 0;
    swf::SoundFormat format;
    format.codec = kCodecs[data[0] % std::size(kCodecs)];
    format.rate = kRates[data[1] & 3];
    format.is16Bit = data[1] & 4;
    format.stereo = data[1] & 8;
    const bool stream = data[1] & 16;
    const std::span<const std::uint8_t> rest(data + 6, size - 6);

    if (!stream) {
        swf::Sound sound;
        sound.format = format;
        sound.sampleCount = std::uint32_t(data[2]) | std::uint32_t(data[3]) << 8 |
                            std::uint32_t(data[4]) << 16 | std::uint32_t(data[5]) << 24;
        sound.data = rest;
        const auto pcm = swf::sound::decodeSound(sound, kMaxFrames);
        if (pcm->frames() > kMaxFrames)
            __builtin_trap();
        return 0;
    }

    auto decoder = swf::sound::StreamDecoder::create(format);
    if (!decoder)
        return 0;
    swf::sound::PcmBuffer out;
    std::size_t at = 0;
    while (at + 2 <= rest.size()) {
        const std::size_t length = std::size_t(rest[at]) | std::size_t(rest[at + 1]) << 8;
        at += 2;
        const std::size_t n = std::min(length, rest.size() - at);
        out.samples.clear();
        decoder->decode(rest.subspan(at, n), out, kMaxFrames);
        if (out.frames() > kMaxFrames)
            __builtin_trap();
        at += n;
    }
    decoder->flush(out);
    return 0;
}
