#pragma once

// Speex through libspeex: DefineSound and stream blocks hold wideband frames one after another,
// each starting on a byte. libavcodec's Speex decoder takes one frame per packet and has no
// parser to find where the frames of a block end; libspeex decodes from a bit cursor.

#include "swf/sound/pcm.h"

#include <cstddef>
#include <span>

namespace swf::sound {

class SpeexDecoder {
public:
    SpeexDecoder();
    ~SpeexDecoder();
    SpeexDecoder(const SpeexDecoder&) = delete;
    SpeexDecoder& operator=(const SpeexDecoder&) = delete;

    // Appends 16 kHz mono samples, at most `maxFrames` of them.
    void decode(std::span<const std::uint8_t> data, PcmBuffer& out, std::size_t maxFrames);

private:
    void* m_state = nullptr;
    int m_frameSize = 320;
};

} // namespace swf::sound
