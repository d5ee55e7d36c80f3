#pragma once

// Test data from FFmpeg's encoders (Nellymoser, Speex, MP3, SWF ADPCM): a known signal in a
// format no hand-built byte string can reasonably hold.

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/channel_layout.h>
}

#include <cmath>
#include <cstdint>
#include <numbers>
#include <string>
#include <vector>

namespace soundtest {

inline std::vector<std::int16_t> sine(double freq, double rate, std::size_t frames,
                                      unsigned channels, double level = 0.5) {
    std::vector<std::int16_t> s;
    for (std::size_t i = 0; i < frames; ++i)
        for (unsigned c = 0; c < channels; ++c)
            s.push_back(std::int16_t(std::lrint(
                level * 32767 * std::sin(2 * std::numbers::pi * freq * double(i) / rate))));
    return s;
}

// Encodes interleaved 16-bit samples; returns the packets one after another (empty when the
// encoder is missing).
inline std::vector<std::uint8_t> ffmpegEncode(const std::string& encoder, int rate, int channels,
                                              const std::vector<std::int16_t>& samples,
                                              int bitRate = 0) {
    std::vector<std::uint8_t> out;
    const AVCodec* codec = avcodec_find_encoder_by_name(encoder.c_str());
    if (!codec)
        return out;
    AVCodecContext* ctx = avcodec_alloc_context3(codec);
    ctx->sample_rate = rate;
    av_channel_layout_default(&ctx->ch_layout, channels);
    ctx->sample_fmt = codec->sample_fmts ? codec->sample_fmts[0] : AV_SAMPLE_FMT_S16;
    if (bitRate)
        ctx->bit_rate = bitRate;
    if (avcodec_open2(ctx, codec, nullptr) < 0) {
        avcodec_free_context(&ctx);
        return out;
    }
    const int frameSize = ctx->frame_size > 0 ? ctx->frame_size : 4096;
    AVFrame* frame = av_frame_alloc();
    AVPacket* packet = av_packet_alloc();
    auto drain = [&] {
        while (avcodec_receive_packet(ctx, packet) == 0) {
            out.insert(out.end(), packet->data, packet->data + packet->size);
            av_packet_unref(packet);
        }
    };
    const std::size_t total = samples.size() / std::size_t(channels);
    for (std::size_t pos = 0; pos < total; pos += std::size_t(frameSize)) {
        const int n = int(std::min<std::size_t>(std::size_t(frameSize), total - pos));
        frame->nb_samples =
            (ctx->frame_size > 0 && !(codec->capabilities & AV_CODEC_CAP_VARIABLE_FRAME_SIZE))
                ? frameSize
                : n;
        frame->format = ctx->sample_fmt;
        av_channel_layout_copy(&frame->ch_layout, &ctx->ch_layout);
        frame->sample_rate = rate;
        av_frame_get_buffer(frame, 0);
        for (int i = 0; i < frame->nb_samples; ++i)
            for (int c = 0; c < channels; ++c) {
                const std::int16_t v =
                    i < n ? samples[(pos + std::size_t(i)) * std::size_t(channels) + std::size_t(c)]
                          : 0;
                const bool planar = av_sample_fmt_is_planar(ctx->sample_fmt);
                const int plane = planar ? c : 0, idx = planar ? i : i * channels + c;
                if (av_get_packed_sample_fmt(ctx->sample_fmt) == AV_SAMPLE_FMT_FLT)
                    reinterpret_cast<float*>(frame->extended_data[plane])[idx] =
                        float(v) / 32768.0f;
                else if (av_get_packed_sample_fmt(ctx->sample_fmt) == AV_SAMPLE_FMT_S32)
                    reinterpret_cast<std::int32_t*>(frame->extended_data[plane])[idx] = v * 65536;
                else
                    reinterpret_cast<std::int16_t*>(frame->extended_data[plane])[idx] = v;
            }
        avcodec_send_frame(ctx, frame);
        av_frame_unref(frame);
        drain();
    }
    avcodec_send_frame(ctx, nullptr);
    drain();
    av_frame_free(&frame);
    av_packet_free(&packet);
    avcodec_free_context(&ctx);
    return out;
}

// FFmpeg's own SWF ADPCM decoder, as an independent reference for ours.
inline std::vector<std::int16_t> ffmpegDecodeAdpcm(const std::vector<std::uint8_t>& data,
                                                   int channels) {
    std::vector<std::int16_t> out;
    const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_ADPCM_SWF);
    AVCodecContext* ctx = avcodec_alloc_context3(codec);
    ctx->sample_rate = 22050;
    av_channel_layout_default(&ctx->ch_layout, channels);
    if (avcodec_open2(ctx, codec, nullptr) < 0) {
        avcodec_free_context(&ctx);
        return out;
    }
    AVPacket* packet = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    std::vector<std::uint8_t> padded(data);
    padded.resize(data.size() + AV_INPUT_BUFFER_PADDING_SIZE);
    packet->data = padded.data();
    packet->size = int(data.size());
    if (avcodec_send_packet(ctx, packet) == 0)
        while (avcodec_receive_frame(ctx, frame) == 0) {
            for (int i = 0; i < frame->nb_samples; ++i)
                for (int c = 0; c < channels; ++c)
                    out.push_back(
                        av_sample_fmt_is_planar(AVSampleFormat(frame->format))
                            ? reinterpret_cast<std::int16_t*>(frame->extended_data[c])[i]
                            : reinterpret_cast<std::int16_t*>(frame->data[0])[i * channels + c]);
            av_frame_unref(frame);
        }
    av_frame_free(&frame);
    av_packet_free(&packet);
    avcodec_free_context(&ctx);
    return out;
}

} // namespace soundtest
