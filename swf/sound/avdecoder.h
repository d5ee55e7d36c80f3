#pragma once

// MP3 and Nellymoser through FFmpeg's libavcodec. Kept behind this small class so the
// rest of the engine never sees FFmpeg's headers.

#include "swf/sound/pcm.h"

#include <cstdint>
#include <memory>
#include <span>

namespace swf::sound {

class AvDecoder {
public:
    enum class Kind { Mp3, Nellymoser };
    // `rate` and `channels` matter only for the codecs whose frames do not carry them.
    AvDecoder(Kind kind, std::uint32_t rate, std::uint8_t channels);
    ~AvDecoder();
    AvDecoder(const AvDecoder&) = delete;
    AvDecoder& operator=(const AvDecoder&) = delete;

    bool valid() const;
    // Feeds bytes (frames may be split anywhere between calls) and appends what decodes.
    // `out.rate`/`out.channels` are set from the first decoded frame when `out` is empty.
    // Frames whose rate or channel count differ from `out`'s are dropped. At most `maxFrames`
    // sample frames are appended per call.
    void decode(std::span<const std::uint8_t> data, PcmBuffer& out, std::size_t maxFrames);
    // Decodes what is still buffered at the end of the data.
    void flush(PcmBuffer& out, std::size_t maxFrames);

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace swf::sound
