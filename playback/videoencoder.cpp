#include "playback/videoencoder.h"

#include "swf/ffmpeg.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <algorithm>
#include <cstring>
#include <filesystem>

namespace {

QString avError(const swf::ffmpeg::Api& av, int code) {
    char buf[AV_ERROR_MAX_STRING_SIZE] = {};
    av.av_strerror(code, buf, sizeof buf);
    return QString::fromUtf8(buf);
}

struct FormatInfo {
    const char* muxer;
    const char* videoCodec;
    const char* audioCodec; // null: no sound
};

FormatInfo infoFor(VideoEncoder::Format f) {
    switch (f) {
    case VideoEncoder::Format::Mp4:
        return {"mp4", "libx264", "aac"};
    case VideoEncoder::Format::Matroska:
        return {"matroska", "libx264", "aac"};
    case VideoEncoder::Format::WebM:
        return {"webm", "libvpx-vp9", "libopus"};
    case VideoEncoder::Format::Gif:
        return {"gif", "gif", nullptr};
    }
    return {"mp4", "libx264", "aac"};
}

// Far beyond any screen; keeps a bad request from asking the encoder for gigabytes.
constexpr int kMaxSide = 8192;

} // namespace

struct VideoEncoder::Impl {
    const swf::ffmpeg::Api* av = nullptr; // set by the first open that loads FFmpeg
    Settings settings;
    Format format = Format::Mp4;
    QString partPath;
    AVFormatContext* fmt = nullptr;
    AVCodecContext* video = nullptr;
    AVCodecContext* audio = nullptr;
    AVStream* videoStream = nullptr;
    AVStream* audioStream = nullptr;
    SwsContext* sws = nullptr;
    SwrContext* swr = nullptr;
    AVAudioFifo* fifo = nullptr;
    AVFrame* frame = nullptr;
    AVFrame* audioFrame = nullptr;
    AVPacket* packet = nullptr;
    std::int64_t videoPts = 0;
    std::int64_t audioPts = 0; // in samples at the encoder's rate
    bool headerWritten = false;
    bool open = false;

    ~Impl() { close(); }

    void close() {
        open = false;
        if (!av)
            return; // nothing was made
        if (fmt) {
            if (fmt->pb)
                av->avio_closep(&fmt->pb);
            av->avformat_free_context(fmt);
            fmt = nullptr;
        }
        av->avcodec_free_context(&video);
        av->avcodec_free_context(&audio);
        av->sws_freeContext(sws);
        sws = nullptr;
        av->swr_free(&swr);
        if (fifo) {
            av->av_audio_fifo_free(fifo);
            fifo = nullptr;
        }
        av->av_frame_free(&frame);
        av->av_frame_free(&audioFrame);
        av->av_packet_free(&packet);
    }

    bool fail(QString* error, const QString& why) {
        if (error)
            *error = why;
        return false;
    }

    // Sends one frame (null to drain) and writes every packet that comes out.
    bool encode(AVCodecContext* ctx, AVStream* stream, AVFrame* f, QString* error) {
        int ret = av->avcodec_send_frame(ctx, f);
        if (ret < 0 && !(f == nullptr && ret == AVERROR_EOF))
            return fail(error, QStringLiteral("encoding failed: %1").arg(avError(*av, ret)));
        for (;;) {
            ret = av->avcodec_receive_packet(ctx, packet);
            if (ret == AVERROR(EAGAIN) || ret == AVERROR_EOF)
                return true;
            if (ret < 0)
                return fail(error, QStringLiteral("encoding failed: %1").arg(avError(*av, ret)));
            av->av_packet_rescale_ts(packet, ctx->time_base, stream->time_base);
            packet->stream_index = stream->index;
            ret = av->av_interleaved_write_frame(fmt, packet);
            if (ret < 0)
                return fail(
                    error,
                    QStringLiteral("cannot write %1: %2").arg(settings.path, avError(*av, ret)));
        }
    }

    bool openVideo(const FormatInfo& info, QString* error) {
        const AVCodec* codec = av->avcodec_find_encoder_by_name(info.videoCodec);
        if (!codec)
            return fail(error, QStringLiteral("this FFmpeg has no %1 encoder")
                                   .arg(QLatin1String(info.videoCodec)));
        videoStream = av->avformat_new_stream(fmt, nullptr);
        video = av->avcodec_alloc_context3(codec);
        if (!videoStream || !video)
            return fail(error, QStringLiteral("out of memory"));
        video->width = settings.size.width();
        video->height = settings.size.height();
        const AVRational rate = av->av_d2q(settings.frameRate, 1 << 16);
        video->time_base = av_inv_q(rate);
        video->framerate = rate;
        video->pix_fmt = format == Format::Gif ? AV_PIX_FMT_PAL8 : AV_PIX_FMT_YUV420P;
        video->gop_size = std::clamp(int(settings.frameRate * 5), 1, 600);
        if (fmt->oformat->flags & AVFMT_GLOBALHEADER)
            video->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        AVDictionary* opts = nullptr;
        if (format == Format::Mp4 || format == Format::Matroska) {
            // Movies are mostly flat colour and sharp edges; a low CRF keeps those clean.
            av->av_dict_set(&opts, "preset", "veryfast", 0);
            av->av_dict_set(&opts, "crf", "18", 0);
        } else if (format == Format::WebM) {
            av->av_dict_set(&opts, "crf", "30", 0);
            av->av_dict_set(&opts, "b", "0", 0);
            av->av_dict_set(&opts, "deadline", "good", 0);
            av->av_dict_set(&opts, "cpu-used", "5", 0);
            av->av_dict_set(&opts, "row-mt", "1", 0);
        }
        const int ret = av->avcodec_open2(video, codec, &opts);
        av->av_dict_free(&opts);
        if (ret < 0)
            return fail(error, QStringLiteral("cannot start the %1 encoder: %2")
                                   .arg(QLatin1String(info.videoCodec), avError(*av, ret)));
        av->avcodec_parameters_from_context(videoStream->codecpar, video);
        videoStream->time_base = video->time_base;
        videoStream->avg_frame_rate = rate;
        videoStream->r_frame_rate = rate;

        frame = av->av_frame_alloc();
        if (!frame)
            return fail(error, QStringLiteral("out of memory"));
        frame->format = video->pix_fmt;
        frame->width = video->width;
        frame->height = video->height;
        if (av->av_frame_get_buffer(frame, 0) < 0)
            return fail(error, QStringLiteral("out of memory"));
        return true;
    }

    bool openAudio(const FormatInfo& info, QString* error) {
        const AVCodec* codec = av->avcodec_find_encoder_by_name(info.audioCodec);
        if (!codec)
            return fail(error, QStringLiteral("this FFmpeg has no %1 encoder")
                                   .arg(QLatin1String(info.audioCodec)));
        audioStream = av->avformat_new_stream(fmt, nullptr);
        audio = av->avcodec_alloc_context3(codec);
        if (!audioStream || !audio)
            return fail(error, QStringLiteral("out of memory"));
        // Opus runs at 48 kHz only; AAC keeps the movie's rate.
        int rate = settings.audioRate;
        if (codec->supported_samplerates) {
            bool supported = false;
            for (const int* r = codec->supported_samplerates; *r; ++r)
                supported = supported || *r == rate;
            if (!supported)
                rate = 48000;
        }
        audio->sample_rate = rate;
        audio->sample_fmt = codec->sample_fmts ? codec->sample_fmts[0] : AV_SAMPLE_FMT_FLTP;
        for (const AVSampleFormat* f = codec->sample_fmts; f && *f != AV_SAMPLE_FMT_NONE; ++f) {
            if (*f == AV_SAMPLE_FMT_FLTP || *f == AV_SAMPLE_FMT_FLT) {
                audio->sample_fmt = *f;
                break;
            }
        }
        av->av_channel_layout_default(&audio->ch_layout, settings.audioChannels);
        audio->bit_rate = 160000;
        audio->time_base = AVRational{1, rate};
        if (fmt->oformat->flags & AVFMT_GLOBALHEADER)
            audio->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        int ret = av->avcodec_open2(audio, codec, nullptr);
        if (ret < 0)
            return fail(error, QStringLiteral("cannot start the %1 encoder: %2")
                                   .arg(QLatin1String(info.audioCodec), avError(*av, ret)));
        av->avcodec_parameters_from_context(audioStream->codecpar, audio);
        audioStream->time_base = audio->time_base;

        AVChannelLayout in;
        av->av_channel_layout_default(&in, settings.audioChannels);
        ret = av->swr_alloc_set_opts2(&swr, &audio->ch_layout, audio->sample_fmt, rate, &in,
                                      AV_SAMPLE_FMT_S16, settings.audioRate, 0, nullptr);
        av->av_channel_layout_uninit(&in);
        if (ret < 0 || av->swr_init(swr) < 0)
            return fail(error, QStringLiteral("cannot convert the sound for the encoder"));
        const int frameSize = audio->frame_size > 0 ? audio->frame_size : 1024;
        fifo = av->av_audio_fifo_alloc(audio->sample_fmt, settings.audioChannels, frameSize * 4);
        audioFrame = av->av_frame_alloc();
        if (!fifo || !audioFrame)
            return fail(error, QStringLiteral("out of memory"));
        return true;
    }

    // Encodes whole encoder frames from the FIFO; at the end, also the short rest.
    bool drainFifo(bool last, QString* error) {
        const int frameSize = audio->frame_size > 0 ? audio->frame_size : 1024;
        const bool smallLast = audio->codec->capabilities & AV_CODEC_CAP_SMALL_LAST_FRAME;
        while (av->av_audio_fifo_size(fifo) >= frameSize ||
               (last && av->av_audio_fifo_size(fifo) > 0)) {
            const int have = std::min(av->av_audio_fifo_size(fifo), frameSize);
            av->av_frame_unref(audioFrame);
            audioFrame->format = audio->sample_fmt;
            audioFrame->sample_rate = audio->sample_rate;
            av->av_channel_layout_copy(&audioFrame->ch_layout, &audio->ch_layout);
            // A codec that takes only whole frames gets the last one padded with silence.
            audioFrame->nb_samples = (have < frameSize && !smallLast) ? frameSize : have;
            if (av->av_frame_get_buffer(audioFrame, 0) < 0)
                return fail(error, QStringLiteral("out of memory"));
            av->av_samples_set_silence(audioFrame->extended_data, 0, audioFrame->nb_samples,
                                       audio->ch_layout.nb_channels, audio->sample_fmt);
            if (av->av_audio_fifo_read(fifo, reinterpret_cast<void**>(audioFrame->extended_data),
                                       have) != have)
                return fail(error, QStringLiteral("sound conversion failed"));
            audioFrame->pts = audioPts;
            audioPts += audioFrame->nb_samples;
            if (!encode(audio, audioStream, audioFrame, error))
                return false;
        }
        return true;
    }

    // Converts `frames` input samples (null: the resampler's delayed rest) into the FIFO.
    bool convertAudio(const std::int16_t* samples, int frames, QString* error) {
        const int outMax = av->swr_get_out_samples(swr, frames);
        if (outMax <= 0)
            return true;
        uint8_t** buf = nullptr;
        if (av->av_samples_alloc_array_and_samples(&buf, nullptr, audio->ch_layout.nb_channels,
                                                   outMax, audio->sample_fmt, 0) < 0)
            return fail(error, QStringLiteral("out of memory"));
        const uint8_t* in = reinterpret_cast<const uint8_t*>(samples);
        const int got = av->swr_convert(swr, buf, outMax, samples ? &in : nullptr, frames);
        bool ok = got >= 0;
        if (ok && got > 0)
            ok = av->av_audio_fifo_write(fifo, reinterpret_cast<void**>(buf), got) == got;
        av->av_freep(&buf[0]);
        av->av_freep(&buf);
        return ok ? true : fail(error, QStringLiteral("sound conversion failed"));
    }
};

VideoEncoder::VideoEncoder() : d(std::make_unique<Impl>()) {}

VideoEncoder::~VideoEncoder() {
    abort();
}

std::optional<VideoEncoder::Format> VideoEncoder::formatForPath(const QString& path) {
    const QString ext = QFileInfo(path).suffix().toLower();
    if (ext == QLatin1String("mp4") || ext == QLatin1String("m4v"))
        return Format::Mp4;
    if (ext == QLatin1String("mkv"))
        return Format::Matroska;
    if (ext == QLatin1String("webm"))
        return Format::WebM;
    if (ext == QLatin1String("gif"))
        return Format::Gif;
    return std::nullopt;
}

QSize VideoEncoder::frameSizeFor(Format format, QSize wanted) {
    int w = std::clamp(wanted.width(), 1, kMaxSide);
    int h = std::clamp(wanted.height(), 1, kMaxSide);
    if (format != Format::Gif) {
        w = std::max(2, w & ~1);
        h = std::max(2, h & ~1);
    }
    return QSize(w, h);
}

std::int64_t VideoEncoder::framesWritten() const {
    return d->videoPts;
}

bool VideoEncoder::open(const Settings& settings, QString* error) {
    abort();
    d->settings = settings;
    d->videoPts = 0;
    d->audioPts = 0;
    const auto format = settings.format ? settings.format : formatForPath(settings.path);
    if (!format)
        return d->fail(error, QStringLiteral("%1: the name must end in .mp4, .mkv, .webm or .gif")
                                  .arg(settings.path));
    d->format = *format;
    if (settings.size != frameSizeFor(*format, settings.size))
        return d->fail(error, QStringLiteral("a picture of %1x%2 cannot be encoded in this format")
                                  .arg(settings.size.width())
                                  .arg(settings.size.height()));
    if (!(settings.frameRate > 0 && settings.frameRate <= 1000))
        return d->fail(error, QStringLiteral("bad frame rate %1").arg(settings.frameRate));
    if (settings.withAudio && hasAudio(*format) &&
        (settings.audioChannels < 1 || settings.audioChannels > 2 || settings.audioRate < 1000 ||
         settings.audioRate > 192000))
        return d->fail(error, QStringLiteral("unsupported sound layout"));

    d->av = swf::ffmpeg::encoding();
    if (!d->av)
        return d->fail(error, QStringLiteral("cannot load FFmpeg: %1")
                                  .arg(QString::fromStdString(swf::ffmpeg::loadError())));
    // The libraries' own chatter (encoder banners, statistics) is not for our users.
    if (d->av->av_log_get_level() > AV_LOG_ERROR)
        d->av->av_log_set_level(AV_LOG_ERROR);

    const FormatInfo info = infoFor(*format);
    const QFileInfo target(settings.path);
    d->partPath = target.dir().filePath(
        QStringLiteral(".%1.%2.part")
            .arg(target.fileName())
            .arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0')));
    if (d->av->avformat_alloc_output_context2(&d->fmt, nullptr, info.muxer, nullptr) < 0 || !d->fmt)
        return d->fail(
            error, QStringLiteral("this FFmpeg cannot write %1").arg(QLatin1String(info.muxer)));
    d->packet = d->av->av_packet_alloc();
    if (!d->packet)
        return d->fail(error, QStringLiteral("out of memory"));
    if (!d->openVideo(info, error))
        return (abort(), false);
    if (settings.withAudio && info.audioCodec && !d->openAudio(info, error))
        return (abort(), false);

    const QByteArray part = QFile::encodeName(d->partPath);
    int ret = d->av->avio_open(&d->fmt->pb, part.constData(), AVIO_FLAG_WRITE);
    if (ret < 0) {
        d->fail(error,
                QStringLiteral("cannot write %1: %2").arg(settings.path, avError(*d->av, ret)));
        return (abort(), false);
    }
    AVDictionary* opts = nullptr;
    if (*format == Format::Gif)
        d->av->av_dict_set(&opts, "loop", "0", 0); // loop for ever, as the movie would
    ret = d->av->avformat_write_header(d->fmt, &opts);
    d->av->av_dict_free(&opts);
    if (ret < 0) {
        d->fail(error,
                QStringLiteral("cannot write %1: %2").arg(settings.path, avError(*d->av, ret)));
        return (abort(), false);
    }
    d->headerWritten = true;
    d->open = true;
    return true;
}

bool VideoEncoder::addFrame(const QImage& image, QString* error) {
    if (!d->open)
        return d->fail(error, QStringLiteral("the encoder is not open"));
    if (d->av->av_frame_make_writable(d->frame) < 0)
        return d->fail(error, QStringLiteral("out of memory"));
    const QSize size = d->settings.size;
    if (d->format == Format::Gif) {
        // Qt picks the palette: the exact colours when there are few, else a fixed cube with
        // ordered dithering, which stays still from frame to frame instead of crawling.
        QImage src = image.size() == size
                         ? image
                         : image.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        const QImage indexed = src.convertToFormat(
            QImage::Format_Indexed8, Qt::AutoColor | Qt::OrderedDither | Qt::PreferDither);
        const QList<QRgb> table = indexed.colorTable();
        auto* palette = reinterpret_cast<std::uint32_t*>(d->frame->data[1]);
        for (int i = 0; i < 256; ++i)
            palette[i] = i < table.size() ? (table[i] | 0xff000000u) : 0xff000000u;
        for (int y = 0; y < size.height(); ++y)
            std::memcpy(d->frame->data[0] + std::ptrdiff_t(y) * d->frame->linesize[0],
                        indexed.constScanLine(y), std::size_t(size.width()));
    } else {
        // Pictures arrive opaque: premultiplied or not, the bytes are B, G, R, 255.
        const bool direct = image.format() == QImage::Format_RGB32 ||
                            image.format() == QImage::Format_ARGB32 ||
                            image.format() == QImage::Format_ARGB32_Premultiplied;
        const QImage src = direct ? image : image.convertToFormat(QImage::Format_RGB32);
        d->sws = d->av->sws_getCachedContext(d->sws, src.width(), src.height(), AV_PIX_FMT_BGRA,
                                             size.width(), size.height(), AV_PIX_FMT_YUV420P,
                                             SWS_BICUBIC | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INT,
                                             nullptr, nullptr, nullptr);
        if (!d->sws)
            return d->fail(error, QStringLiteral("cannot convert the picture for the encoder"));
        const uint8_t* planes[1] = {src.constBits()};
        const int strides[1] = {int(src.bytesPerLine())};
        d->av->sws_scale(d->sws, planes, strides, 0, src.height(), d->frame->data,
                         d->frame->linesize);
    }
    d->frame->pts = d->videoPts++;
    return d->encode(d->video, d->videoStream, d->frame, error);
}

bool VideoEncoder::addAudio(const std::int16_t* interleaved, std::size_t frames, QString* error) {
    if (!d->open)
        return d->fail(error, QStringLiteral("the encoder is not open"));
    if (!d->audio || frames == 0)
        return true;
    // In slices, so the conversion buffer stays small whatever the caller hands over.
    constexpr std::size_t kSlice = 1 << 15;
    while (frames > 0) {
        const std::size_t n = std::min(frames, kSlice);
        if (!d->convertAudio(interleaved, int(n), error) || !d->drainFifo(false, error))
            return false;
        interleaved += n * std::size_t(d->settings.audioChannels);
        frames -= n;
    }
    return true;
}

bool VideoEncoder::finish(QString* error) {
    if (!d->open)
        return d->fail(error, QStringLiteral("the encoder is not open"));
    bool ok = true;
    if (d->audio) {
        ok = d->convertAudio(nullptr, 0, error) && d->drainFifo(true, error) &&
             d->encode(d->audio, d->audioStream, nullptr, error);
    }
    ok = ok && d->encode(d->video, d->videoStream, nullptr, error);
    if (ok) {
        const int ret = d->av->av_write_trailer(d->fmt);
        if (ret < 0)
            ok = d->fail(
                error,
                QStringLiteral("cannot write %1: %2").arg(d->settings.path, avError(*d->av, ret)));
    }
    if (ok && d->fmt->pb) {
        const int ret = d->av->avio_closep(&d->fmt->pb);
        if (ret < 0)
            ok = d->fail(
                error,
                QStringLiteral("cannot write %1: %2").arg(d->settings.path, avError(*d->av, ret)));
    }
    if (ok) {
        std::error_code ec;
        std::filesystem::rename(QFile::encodeName(d->partPath).toStdString(),
                                QFile::encodeName(d->settings.path).toStdString(), ec);
        if (ec)
            ok = d->fail(error, QStringLiteral("cannot write %1: %2")
                                    .arg(d->settings.path, QString::fromStdString(ec.message())));
    }
    if (!ok) {
        abort();
        return false;
    }
    d->close();
    d->partPath.clear();
    return true;
}

void VideoEncoder::abort() {
    d->close();
    if (!d->partPath.isEmpty()) {
        QFile::remove(d->partPath);
        d->partPath.clear();
    }
    d->headerWritten = false;
}
