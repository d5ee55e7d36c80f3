#include "swf/sound/avdecoder.h"

#include "swf/ffmpeg.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace swf::sound {

namespace {

std::int16_t toS16(float v) {
    if (!(v == v))
        return 0;
    const float s = std::clamp(v, -1.0f, 1.0f) * 32767.0f;
    return std::int16_t(std::lrintf(s));
}

// One decoded frame in any of FFmpeg's sample formats, appended as interleaved 16-bit.
void appendFrame(const ffmpeg::Api& av, const AVFrame* f, PcmBuffer& out, std::size_t frames) {
    const int ch = f->ch_layout.nb_channels;
    const auto fmt = AVSampleFormat(f->format);
    const bool planar = av.av_sample_fmt_is_planar(fmt);
    const AVSampleFormat packed = av.av_get_packed_sample_fmt(fmt);
    const std::size_t base = out.samples.size();
    out.samples.resize(base + frames * std::size_t(ch));
    std::int16_t* dst = out.samples.data() + base;
    for (std::size_t i = 0; i < frames; ++i) {
        for (int c = 0; c < ch; ++c) {
            const std::size_t plane = planar ? std::size_t(c) : 0;
            const std::size_t idx = planar ? i : i * std::size_t(ch) + std::size_t(c);
            const std::uint8_t* p = f->extended_data[plane];
            std::int16_t v = 0;
            switch (packed) {
            case AV_SAMPLE_FMT_S16:
                v = reinterpret_cast<const std::int16_t*>(p)[idx];
                break;
            case AV_SAMPLE_FMT_S32:
                v = std::int16_t(reinterpret_cast<const std::int32_t*>(p)[idx] >> 16);
                break;
            case AV_SAMPLE_FMT_FLT:
                v = toS16(reinterpret_cast<const float*>(p)[idx]);
                break;
            case AV_SAMPLE_FMT_DBL:
                v = toS16(float(reinterpret_cast<const double*>(p)[idx]));
                break;
            case AV_SAMPLE_FMT_U8:
                v = std::int16_t((int(p[idx]) - 128) << 8);
                break;
            default:
                break;
            }
            *dst++ = v;
        }
    }
}

} // namespace

struct AvDecoder::Impl {
    const ffmpeg::Api* av = nullptr; // null: FFmpeg could not be loaded, nothing else is set
    Kind kind;
    AVCodecContext* ctx = nullptr;
    AVCodecParserContext* parser = nullptr;
    AVPacket* packet = nullptr;
    AVFrame* frame = nullptr;
    std::size_t blockSize = 0;        // fixed-size codec blocks fed as packets (Nellymoser)
    std::vector<std::uint8_t> padded; // the data the parser reads, with FFmpeg's zero padding

    ~Impl() {
        if (!av)
            return;
        av->av_parser_close(parser);
        av->avcodec_free_context(&ctx);
        av->av_packet_free(&packet);
        av->av_frame_free(&frame);
    }

    void receive(PcmBuffer& out, std::size_t& budget) {
        while (av->avcodec_receive_frame(ctx, frame) == 0) {
            const int ch = frame->ch_layout.nb_channels;
            if (ch < 1 || ch > 2 || frame->sample_rate <= 0 || frame->nb_samples <= 0) {
                av->av_frame_unref(frame);
                continue;
            }
            if (out.samples.empty()) {
                out.rate = std::uint32_t(frame->sample_rate);
                out.channels = std::uint8_t(ch);
            }
            // A stream that changes its layout midway keeps the first one.
            if (out.rate == std::uint32_t(frame->sample_rate) && out.channels == ch) {
                const std::size_t n = std::min<std::size_t>(std::size_t(frame->nb_samples), budget);
                appendFrame(*av, frame, out, n);
                budget -= n;
            }
            av->av_frame_unref(frame);
        }
    }

    void sendPacket(const std::uint8_t* data, int size, PcmBuffer& out, std::size_t& budget) {
        packet->data = const_cast<std::uint8_t*>(data);
        packet->size = size;
        // Bad frames are skipped: the decoder resynchronises on the next one.
        if (av->avcodec_send_packet(ctx, size ? packet : nullptr) == AVERROR(EAGAIN)) {
            receive(out, budget);
            av->avcodec_send_packet(ctx, size ? packet : nullptr);
        }
        receive(out, budget);
    }
};

AvDecoder::AvDecoder(Kind kind, std::uint32_t rate, std::uint8_t channels) : d(new Impl) {
    d->kind = kind;
    d->av = ffmpeg::decoding();
    if (!d->av)
        return;
    const ffmpeg::Api& av = *d->av;
    // Damaged data is expected; the decoders' complaints would only flood the terminal.
    static const bool quiet = (av.av_log_set_level(AV_LOG_QUIET), true);
    (void)quiet;
    const AVCodecID id = kind == Kind::Mp3 ? AV_CODEC_ID_MP3 : AV_CODEC_ID_NELLYMOSER;
    const AVCodec* codec = av.avcodec_find_decoder(id);
    if (!codec)
        return;
    d->ctx = av.avcodec_alloc_context3(codec);
    d->packet = av.av_packet_alloc();
    d->frame = av.av_frame_alloc();
    if (!d->ctx || !d->packet || !d->frame) {
        av.avcodec_free_context(&d->ctx);
        return;
    }
    d->ctx->sample_rate = int(rate);
    av.av_channel_layout_default(&d->ctx->ch_layout, channels == 2 ? 2 : 1);
    if (kind == Kind::Nellymoser)
        d->blockSize = 64 * 32; // whole 64-byte blocks, 256 samples each
    if (av.avcodec_open2(d->ctx, codec, nullptr) < 0) {
        av.avcodec_free_context(&d->ctx);
        return;
    }
    if (kind == Kind::Mp3) {
        d->parser = av.av_parser_init(int(id));
        if (!d->parser)
            av.avcodec_free_context(&d->ctx);
    }
}

AvDecoder::~AvDecoder() = default;

bool AvDecoder::valid() const {
    return d->ctx != nullptr;
}

void AvDecoder::decode(std::span<const std::uint8_t> data, PcmBuffer& out, std::size_t maxFrames) {
    if (!d->ctx)
        return;
    std::size_t budget = maxFrames;
    if (d->blockSize) {
        for (std::size_t pos = 0; pos < data.size() && budget > 0; pos += d->blockSize) {
            const std::size_t n = std::min(d->blockSize, data.size() - pos);
            if (n < 64)
                break; // a cut block would only decode as noise
            d->sendPacket(data.data() + pos, int(n - n % 64), out, budget);
        }
        return;
    }
    if (!d->parser) {
        if (!data.empty())
            d->sendPacket(data.data(), int(std::min<std::size_t>(data.size(), 1 << 30)), out,
                          budget);
        return;
    }
    // The parser reads up to AV_INPUT_BUFFER_PADDING_SIZE bytes past the end of its input.
    d->padded.assign(data.begin(), data.end());
    d->padded.resize(data.size() + AV_INPUT_BUFFER_PADDING_SIZE, 0);
    const std::uint8_t* p = d->padded.data();
    std::size_t left = data.size();
    while (left > 0 && budget > 0) {
        std::uint8_t* frameData = nullptr;
        int frameSize = 0;
        const int used = d->av->av_parser_parse2(d->parser, d->ctx, &frameData, &frameSize, p,
                                                 int(std::min<std::size_t>(left, 1 << 30)),
                                                 AV_NOPTS_VALUE, AV_NOPTS_VALUE, 0);
        if (used < 0)
            break;
        p += used;
        left -= std::size_t(used);
        if (frameSize > 0)
            d->sendPacket(frameData, frameSize, out, budget);
        else if (used == 0)
            break;
    }
}

void AvDecoder::flush(PcmBuffer& out, std::size_t maxFrames) {
    if (!d->ctx)
        return;
    std::size_t budget = maxFrames;
    if (d->parser) {
        std::uint8_t* frameData = nullptr;
        int frameSize = 0;
        d->av->av_parser_parse2(d->parser, d->ctx, &frameData, &frameSize, nullptr, 0,
                                AV_NOPTS_VALUE, AV_NOPTS_VALUE, 0);
        if (frameSize > 0)
            d->sendPacket(frameData, frameSize, out, budget);
    }
    d->sendPacket(nullptr, 0, out, budget);
}

} // namespace swf::sound
