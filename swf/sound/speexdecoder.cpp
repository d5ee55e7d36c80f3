#include "swf/sound/speexdecoder.h"

#include <speex/speex.h>
#include <vector>

namespace swf::sound {

SpeexDecoder::SpeexDecoder() {
    m_state = speex_decoder_init(speex_lib_get_mode(SPEEX_MODEID_WB));
    if (m_state)
        speex_decoder_ctl(m_state, SPEEX_GET_FRAME_SIZE, &m_frameSize);
}

SpeexDecoder::~SpeexDecoder() {
    if (m_state)
        speex_decoder_destroy(m_state);
}

void SpeexDecoder::decode(std::span<const std::uint8_t> data, PcmBuffer& out,
                          std::size_t maxFrames) {
    if (!m_state || data.empty() || m_frameSize <= 0 || m_frameSize > 4096 ||
        data.size() > std::size_t(1) << 28)
        return;
    if (out.samples.empty()) {
        out.rate = 16000;
        out.channels = 1;
    }
    if (out.channels != 1)
        return;
    // libspeex reads the buffer in place and never writes to it. set_bit_buffer sets every
    // field; speex_bits_init would allocate a buffer of its own that set_bit_buffer then drops.
    SpeexBits bits{};
    speex_bits_set_bit_buffer(&bits, const_cast<std::uint8_t*>(data.data()), int(data.size()));
    std::vector<spx_int16_t> frame(static_cast<std::size_t>(m_frameSize));
    std::size_t budget = maxFrames;
    while (budget >= std::size_t(m_frameSize) && speex_bits_remaining(&bits) >= 8) {
        if (speex_decode_int(m_state, &bits, frame.data()) != 0)
            break;
        out.samples.insert(out.samples.end(), frame.begin(), frame.end());
        budget -= std::size_t(m_frameSize);
        const int left = speex_bits_remaining(&bits);
        if (left < 0)
            break;
        speex_bits_advance(&bits, left % 8);
    }
}

} // namespace swf::sound
