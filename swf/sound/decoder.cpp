#include "swf/sound/decoder.h"

#include "swf/bytes.h"
#include "swf/sound/avdecoder.h"
#include "swf/sound/speexdecoder.h"

#include <algorithm>
#include <array>

namespace swf::sound {

namespace {

constexpr std::array<std::int16_t, 89> kStepTable = {
    7,     8,     9,     10,    11,    12,    13,    14,    16,    17,    19,   21,    23,
    25,    28,    31,    34,    37,    41,    45,    50,    55,    60,    66,   73,    80,
    88,    97,    107,   118,   130,   143,   157,   173,   190,   209,   230,  253,   279,
    307,   337,   371,   408,   449,   494,   544,   598,   658,   724,   796,  876,   963,
    1060,  1166,  1282,  1411,  1552,  1707,  1878,  2066,  2272,  2499,  2749, 3024,  3327,
    3660,  4026,  4428,  4871,  5358,  5894,  6484,  7132,  7845,  8630,  9493, 10442, 11487,
    12635, 13899, 15289, 16818, 18500, 20350, 22385, 24623, 27086, 29794, 32767};

constexpr std::int8_t kIndex2[] = {-1, 2};
constexpr std::int8_t kIndex3[] = {-1, -1, 2, 4};
constexpr std::int8_t kIndex4[] = {-1, -1, -1, -1, 2, 4, 6, 8};
constexpr std::int8_t kIndex5[] = {-1, -1, -1, -1, -1, -1, -1, -1, 1, 2, 4, 6, 8, 10, 13, 16};
constexpr const std::int8_t* kIndexTables[] = {kIndex2, kIndex3, kIndex4, kIndex5};

struct AdpcmChannel {
    int predictor = 0;
    int index = 0;

    std::int16_t step(std::uint32_t code, unsigned bits) {
        const int stepSize = kStepTable[std::size_t(index)];
        int diff = stepSize >> (bits - 1);
        for (unsigned b = 0; b + 1 < bits; ++b)
            if (code & (1u << b))
                diff += stepSize >> (bits - 2 - b);
        if (code & (1u << (bits - 1)))
            predictor -= diff;
        else
            predictor += diff;
        predictor = std::clamp(predictor, -32768, 32767);
        index += kIndexTables[bits - 2][code & ((1u << (bits - 1)) - 1)];
        index = std::clamp(index, 0, 88);
        return std::int16_t(predictor);
    }
};

class PcmStream : public StreamDecoder {
public:
    explicit PcmStream(const SoundFormat& f) : m_format(f) {}
    void decode(std::span<const std::uint8_t> block, PcmBuffer& out, std::size_t max) override {
        decodePcm(m_format, block, out, max);
    }

private:
    SoundFormat m_format;
};

class AdpcmStream : public StreamDecoder {
public:
    explicit AdpcmStream(const SoundFormat& f) : m_stereo(f.stereo), m_rate(f.rate) {}
    void decode(std::span<const std::uint8_t> block, PcmBuffer& out, std::size_t max) override {
        if (out.samples.empty())
            out.rate = m_rate;
        decodeAdpcm(block, m_stereo, out, max);
    }

private:
    bool m_stereo;
    std::uint32_t m_rate;
};

class SpeexStream : public StreamDecoder {
public:
    void decode(std::span<const std::uint8_t> block, PcmBuffer& out, std::size_t max) override {
        m_decoder.decode(block, out, max);
    }

private:
    SpeexDecoder m_decoder;
};

class AvStream : public StreamDecoder {
public:
    AvStream(AvDecoder::Kind kind, const SoundFormat& f)
        : m_decoder(kind, decodedRate(f), decodedChannels(f)) {}
    void decode(std::span<const std::uint8_t> block, PcmBuffer& out, std::size_t max) override {
        m_decoder.decode(block, out, max);
    }
    void flush(PcmBuffer& out) override { m_decoder.flush(out, kMaxDecodedFrames); }

private:
    AvDecoder m_decoder;
};

std::unique_ptr<AvDecoder> avDecoderFor(const SoundFormat& f) {
    switch (f.codec) {
    case CodecMp3:
        return std::make_unique<AvDecoder>(AvDecoder::Kind::Mp3, f.rate, f.stereo ? 2 : 1);
    case CodecNelly16k:
    case CodecNelly8k:
    case CodecNelly:
        return std::make_unique<AvDecoder>(AvDecoder::Kind::Nellymoser, decodedRate(f), 1);
    default:
        return nullptr;
    }
}

} // namespace

std::uint32_t decodedRate(const SoundFormat& f) {
    switch (f.codec) {
    case CodecNelly16k:
    case CodecSpeex:
        return 16000;
    case CodecNelly8k:
        return 8000;
    default:
        return f.rate;
    }
}

std::uint8_t decodedChannels(const SoundFormat& f) {
    switch (f.codec) {
    case CodecNelly16k:
    case CodecNelly8k:
    case CodecNelly:
    case CodecSpeex:
        return 1;
    default:
        return f.stereo ? 2 : 1;
    }
}

void decodePcm(const SoundFormat& f, std::span<const std::uint8_t> data, PcmBuffer& out,
               std::size_t maxFrames) {
    const std::size_t channels = f.stereo ? 2 : 1;
    const std::size_t frameBytes = channels * (f.is16Bit ? 2 : 1);
    if (out.samples.empty()) {
        out.rate = f.rate;
        out.channels = std::uint8_t(channels);
    }
    if (out.channels != channels)
        return;
    const std::size_t frames = std::min(data.size() / frameBytes, maxFrames);
    const std::size_t n = frames * channels;
    const std::size_t base = out.samples.size();
    out.samples.resize(base + n);
    std::int16_t* dst = out.samples.data() + base;
    if (f.is16Bit) {
        for (std::size_t i = 0; i < n; ++i)
            dst[i] = std::int16_t(data[2 * i] | (data[2 * i + 1] << 8));
    } else {
        // 8-bit sound is unsigned, 128 being silence.
        for (std::size_t i = 0; i < n; ++i)
            dst[i] = std::int16_t((int(data[i]) - 128) << 8);
    }
}

void decodeAdpcm(std::span<const std::uint8_t> data, bool stereo, PcmBuffer& out,
                 std::size_t maxFrames) {
    const unsigned channels = stereo ? 2 : 1;
    if (out.samples.empty()) {
        out.channels = std::uint8_t(channels);
    }
    if (out.channels != channels)
        return;
    BitReader r(data);
    const unsigned bits = r.ub(2) + 2;
    if (r.failed())
        return;
    std::size_t budget = maxFrames;
    // Data never yields more than one sample frame per code, so reserving by size is bounded.
    out.samples.reserve(out.samples.size() +
                        std::min(budget, data.size() * 8 / (bits * channels) + 1) * channels);
    std::array<AdpcmChannel, 2> ch;
    while (budget > 0 && r.bitsLeft() >= 22 * channels) {
        for (unsigned c = 0; c < channels; ++c) {
            ch[c].predictor = r.sb(16);
            ch[c].index = int(r.ub(6));
            out.samples.push_back(std::int16_t(ch[c].predictor));
        }
        --budget;
        for (int i = 0; i < 4095 && budget > 0 && r.bitsLeft() >= bits * channels; ++i) {
            for (unsigned c = 0; c < channels; ++c)
                out.samples.push_back(ch[c].step(r.ub(bits), bits));
            --budget;
        }
    }
}

std::unique_ptr<StreamDecoder> StreamDecoder::create(const SoundFormat& f) {
    switch (f.codec) {
    case CodecPcmNative:
    case CodecPcmLittle:
        return std::make_unique<PcmStream>(f);
    case CodecAdpcm:
        return std::make_unique<AdpcmStream>(f);
    case CodecMp3:
        return std::make_unique<AvStream>(AvDecoder::Kind::Mp3, f);
    case CodecNelly16k:
    case CodecNelly8k:
    case CodecNelly:
        return std::make_unique<AvStream>(AvDecoder::Kind::Nellymoser, f);
    case CodecSpeex:
        return std::make_unique<SpeexStream>();
    default:
        return nullptr;
    }
}

std::shared_ptr<const PcmBuffer> decodeSound(const Sound& sound, std::size_t maxFrames) {
    maxFrames = std::min(maxFrames, kMaxDecodedFrames);
    auto out = std::make_shared<PcmBuffer>();
    const SoundFormat& f = sound.format;
    out->rate = decodedRate(f);
    out->channels = decodedChannels(f);
    std::size_t skip = 0;
    switch (f.codec) {
    case CodecPcmNative:
    case CodecPcmLittle:
        decodePcm(f, sound.data, *out, maxFrames);
        break;
    case CodecAdpcm:
        decodeAdpcm(sound.data, f.stereo, *out, maxFrames);
        out->rate = f.rate;
        break;
    case CodecSpeex:
        SpeexDecoder().decode(sound.data, *out, maxFrames);
        break;
    default:
        if (auto dec = avDecoderFor(f)) {
            auto data = std::span(sound.data);
            if (f.codec == CodecMp3) {
                if (data.size() < 2)
                    break;
                skip = std::size_t(std::max<int>(0, std::int16_t(data[0] | (data[1] << 8))));
                data = data.subspan(2);
            }
            dec->decode(data, *out, maxFrames);
            dec->flush(*out, maxFrames - std::min(maxFrames, out->frames()));
        }
        break;
    }
    const std::size_t ch = out->channels;
    skip = std::min(skip, out->frames());
    out->samples.erase(out->samples.begin(), out->samples.begin() + std::ptrdiff_t(skip * ch));
    // Compressed formats pad their last frame; the declared count is the real length. Data
    // that falls short of the declared count is kept as it is.
    if (f.codec != CodecPcmNative && f.codec != CodecPcmLittle && sound.sampleCount > 0 &&
        out->frames() > sound.sampleCount)
        out->samples.resize(std::size_t(sound.sampleCount) * ch);
    out->samples.shrink_to_fit();
    return out;
}

} // namespace swf::sound
