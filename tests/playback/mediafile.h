#pragma once

// Reads a video file back for tests: every picture as RGB32, the sound as mono float at
// 44.1 kHz, and the rate and duration the container declares. Through libavformat, as any
// player would read it.

#include <QImage>
#include <QString>
#include <cmath>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

struct MediaFile {
    bool ok = false;
    std::vector<QImage> frames;
    double frameRate = 0;
    double durationSeconds = 0; // the container's
    std::vector<float> audio;   // mono, 44.1 kHz
    int audioStreams = 0;
    QString videoCodec, audioCodec;
};

inline MediaFile readMediaFile(const QString& path) {
    MediaFile out;
    AVFormatContext* fmt = nullptr;
    const QByteArray name = path.toLocal8Bit();
    if (avformat_open_input(&fmt, name.constData(), nullptr, nullptr) < 0)
        return out;
    avformat_find_stream_info(fmt, nullptr);
    out.durationSeconds = fmt->duration > 0 ? fmt->duration / double(AV_TIME_BASE) : 0;
    const int vi = av_find_best_stream(fmt, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    const int ai = av_find_best_stream(fmt, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
    AVCodecContext* vctx = nullptr;
    AVCodecContext* actx = nullptr;
    auto openCodec = [&](int index) -> AVCodecContext* {
        const AVCodecParameters* par = fmt->streams[index]->codecpar;
        const AVCodec* codec = avcodec_find_decoder(par->codec_id);
        AVCodecContext* ctx = avcodec_alloc_context3(codec);
        avcodec_parameters_to_context(ctx, par);
        if (avcodec_open2(ctx, codec, nullptr) < 0)
            avcodec_free_context(&ctx);
        return ctx;
    };
    if (vi >= 0) {
        vctx = openCodec(vi);
        out.frameRate = av_q2d(fmt->streams[vi]->avg_frame_rate);
        out.videoCodec = QString::fromUtf8(avcodec_get_name(fmt->streams[vi]->codecpar->codec_id));
    }
    SwrContext* swr = nullptr;
    if (ai >= 0) {
        ++out.audioStreams;
        actx = openCodec(ai);
        out.audioCodec = QString::fromUtf8(avcodec_get_name(fmt->streams[ai]->codecpar->codec_id));
        if (actx) {
            AVChannelLayout mono = AV_CHANNEL_LAYOUT_MONO;
            swr_alloc_set_opts2(&swr, &mono, AV_SAMPLE_FMT_FLT, 44100, &actx->ch_layout,
                                actx->sample_fmt, actx->sample_rate, 0, nullptr);
            swr_init(swr);
        }
    }
    AVPacket* pkt = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    SwsContext* sws = nullptr;
    auto drain = [&](AVCodecContext* ctx, bool video) {
        while (avcodec_receive_frame(ctx, frame) >= 0) {
            if (video) {
                QImage img(frame->width, frame->height, QImage::Format_RGB32);
                sws = sws_getCachedContext(
                    sws, frame->width, frame->height, AVPixelFormat(frame->format), frame->width,
                    frame->height, AV_PIX_FMT_BGRA,
                    SWS_BICUBIC | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INT, nullptr, nullptr, nullptr);
                uint8_t* dst[1] = {img.bits()};
                const int stride[1] = {int(img.bytesPerLine())};
                sws_scale(sws, frame->data, frame->linesize, 0, frame->height, dst, stride);
                out.frames.push_back(img);
            } else if (swr) {
                const int max = swr_get_out_samples(swr, frame->nb_samples);
                std::vector<float> buf(std::size_t(std::max(max, 0)));
                uint8_t* dst[1] = {reinterpret_cast<uint8_t*>(buf.data())};
                const int got =
                    swr_convert(swr, dst, max, const_cast<const uint8_t**>(frame->extended_data),
                                frame->nb_samples);
                if (got > 0)
                    out.audio.insert(out.audio.end(), buf.begin(), buf.begin() + got);
            }
        }
    };
    while (av_read_frame(fmt, pkt) >= 0) {
        if (pkt->stream_index == vi && vctx && avcodec_send_packet(vctx, pkt) >= 0)
            drain(vctx, true);
        else if (pkt->stream_index == ai && actx && avcodec_send_packet(actx, pkt) >= 0)
            drain(actx, false);
        av_packet_unref(pkt);
    }
    if (vctx) {
        avcodec_send_packet(vctx, nullptr);
        drain(vctx, true);
    }
    if (actx) {
        avcodec_send_packet(actx, nullptr);
        drain(actx, false);
    }
    out.ok = vi >= 0 && vctx;
    sws_freeContext(sws);
    swr_free(&swr);
    av_frame_free(&frame);
    av_packet_free(&pkt);
    avcodec_free_context(&vctx);
    avcodec_free_context(&actx);
    avformat_close_input(&fmt);
    return out;
}

// Peak signal-to-noise ratio of two pictures of one size, in dB: over R, G and B, or over
// luma alone (BT.601 weights), which 4:2:0 colour sampling leaves whole. Saturated edges lose
// colour resolution in every 4:2:0 file, so RGB figures measure the format as much as the codec.
inline double psnr(const QImage& a, const QImage& b, bool lumaOnly = false) {
    const QImage x = a.convertToFormat(QImage::Format_RGB32);
    const QImage y = b.convertToFormat(QImage::Format_RGB32);
    if (x.size() != y.size() || x.isNull())
        return 0;
    auto luma = [](QRgb c) { return 0.299 * qRed(c) + 0.587 * qGreen(c) + 0.114 * qBlue(c); };
    double sum = 0;
    for (int row = 0; row < x.height(); ++row) {
        const QRgb* p = reinterpret_cast<const QRgb*>(x.constScanLine(row));
        const QRgb* q = reinterpret_cast<const QRgb*>(y.constScanLine(row));
        for (int col = 0; col < x.width(); ++col) {
            if (lumaOnly) {
                const double d = luma(p[col]) - luma(q[col]);
                sum += 3 * d * d;
                continue;
            }
            const double dr = qRed(p[col]) - qRed(q[col]);
            const double dg = qGreen(p[col]) - qGreen(q[col]);
            const double db = qBlue(p[col]) - qBlue(q[col]);
            sum += dr * dr + dg * dg + db * db;
        }
    }
    const double mse = sum / (3.0 * x.width() * x.height());
    return mse <= 0 ? 99 : 10 * std::log10(255.0 * 255.0 / mse);
}

// The dominant frequency of a stretch of sound, by counting rising zero crossings; a
// crossing counts only after the wave went below -`level`, so codec noise around zero on a
// quiet tone does not add crossings.
inline double toneFrequency(const std::vector<float>& s, std::size_t from, std::size_t to,
                            double rate = 44100, float level = 0.02f) {
    to = std::min(to, s.size());
    std::size_t first = 0, last = 0, count = 0;
    bool armed = false;
    for (std::size_t i = from; i < to; ++i) {
        if (s[i] < -level) {
            armed = true;
        } else if (armed && s[i] >= 0) {
            armed = false;
            if (count == 0)
                first = i;
            last = i;
            ++count;
        }
    }
    return count > 1 ? (count - 1) * rate / double(last - first) : 0;
}

// Where the sound is audible: first and last sample above `level`.
inline std::pair<std::size_t, std::size_t> audibleSpan(const std::vector<float>& s,
                                                       float level = 0.05f) {
    std::size_t first = s.size(), last = 0;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (std::fabs(s[i]) > level) {
            first = std::min(first, i);
            last = i;
        }
    }
    return {first, last};
}
