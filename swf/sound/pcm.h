#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace swf::sound {

// Decoded sound: signed 16-bit samples, channels interleaved (L, R for stereo).
struct PcmBuffer {
    std::uint32_t rate = 44100;
    std::uint8_t channels = 1;
    std::vector<std::int16_t> samples;

    std::size_t frames() const { return channels ? samples.size() / channels : 0; }
    double seconds() const { return rate ? double(frames()) / rate : 0; }
};

// The rate a SoundRate field names. 5512 stands for 44100 / 8 exactly, which the resampler
// needs so that long sounds do not slide against 44.1 kHz positions.
inline double exactRate(std::uint32_t rate) {
    return rate == 5512 ? 5512.5 : double(rate);
}

} // namespace swf::sound
