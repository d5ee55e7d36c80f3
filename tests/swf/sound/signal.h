#pragma once

// Measurements on decoded sound for tests: level, frequency, clipping.

#include "swf/sound/pcm.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <numbers>
#include <vector>

namespace soundtest {

// One channel of an interleaved buffer, as doubles in -1..1.
inline std::vector<double> channel(const swf::sound::PcmBuffer& pcm, unsigned c,
                                   std::size_t from = 0, std::size_t count = SIZE_MAX) {
    std::vector<double> out;
    const std::size_t end = std::min(pcm.frames(), count == SIZE_MAX ? SIZE_MAX : from + count);
    for (std::size_t i = from; i < end; ++i)
        out.push_back(pcm.samples[i * pcm.channels + c] / 32768.0);
    return out;
}

inline double rms(const std::vector<double>& x) {
    double s = 0;
    for (double v : x)
        s += v * v;
    return x.empty() ? 0 : std::sqrt(s / double(x.size()));
}

// The frequency with the most energy between lo and hi Hz, by a Goertzel scan in 1 Hz steps
// refined to 0.1 Hz around the peak.
inline double dominantFrequency(const std::vector<double>& x, double rate, double lo, double hi) {
    auto power = [&](double f) {
        const double w = 2 * std::numbers::pi * f / rate, c = 2 * std::cos(w);
        double s1 = 0, s2 = 0;
        for (double v : x) {
            const double s0 = v + c * s1 - s2;
            s2 = s1;
            s1 = s0;
        }
        return s1 * s1 + s2 * s2 - c * s1 * s2;
    };
    double best = lo, bestPower = -1;
    for (double f = lo; f <= hi; f += 1)
        if (const double p = power(f); p > bestPower)
            best = f, bestPower = p;
    const double centre = best;
    for (double f = centre - 1; f <= centre + 1; f += 0.1)
        if (const double p = power(f); p > bestPower)
            best = f, bestPower = p;
    return best;
}

// Frames (of a channel) from the first to the last sample louder than `threshold`.
inline std::pair<std::size_t, std::size_t> audibleSpan(const std::vector<double>& x,
                                                       double threshold = 0.01) {
    std::size_t first = x.size(), last = 0;
    for (std::size_t i = 0; i < x.size(); ++i)
        if (std::abs(x[i]) > threshold) {
            first = std::min(first, i);
            last = i;
        }
    return {first, first < x.size() ? last + 1 : first};
}

// The longest run of samples at or beyond full scale.
inline std::size_t longestClip(const std::vector<double>& x) {
    std::size_t run = 0, longest = 0;
    for (double v : x) {
        run = std::abs(v) >= 32767.0 / 32768 ? run + 1 : 0;
        longest = std::max(longest, run);
    }
    return longest;
}

} // namespace soundtest
