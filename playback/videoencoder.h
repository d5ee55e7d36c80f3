#pragma once

// Writes pictures and sound as a video file through FFmpeg's libraries: H.264 + AAC in MP4 or
// Matroska, VP9 + Opus in WebM, or an animated GIF (no sound). No program is started.
//
//     VideoEncoder enc;
//     if (!enc.open({path, VideoEncoder::frameSizeFor(format, size), fps}, &error)) ...
//     enc.addFrame(image);            // each picture, in order, one frame-rate tick apart
//     enc.addAudio(samples, frames);  // interleaved 16-bit PCM at the rate given to open()
//     enc.finish(&error);             // or let it go out of scope to throw the file away
//
// The file is written under a temporary name beside the target and renamed when finish()
// succeeds, so a failed or cancelled export leaves nothing behind (and an older file of the
// same name whole).

#include <QImage>
#include <QSize>
#include <QString>
#include <cstdint>
#include <memory>
#include <optional>

class VideoEncoder {
public:
    enum class Format { Mp4, Matroska, WebM, Gif };

    struct Settings {
        QString path;
        QSize size;                   // of the encoded picture; see frameSizeFor()
        double frameRate = 24;        // pictures per second
        bool withAudio = true;        // ignored for GIF
        int audioRate = 44100;        // of the PCM given to addAudio()
        int audioChannels = 2;        // 1 or 2
        std::optional<Format> format; // default: from the path's extension
    };

    VideoEncoder();
    ~VideoEncoder();
    VideoEncoder(const VideoEncoder&) = delete;
    VideoEncoder& operator=(const VideoEncoder&) = delete;

    // .mp4/.m4v, .mkv, .webm, .gif (any case); nothing for other names.
    static std::optional<Format> formatForPath(const QString& path);
    static bool hasAudio(Format format) { return format != Format::Gif; }
    // The picture size a format can hold closest to `wanted`: 4:2:0 video needs even sides.
    static QSize frameSizeFor(Format format, QSize wanted);

    bool open(const Settings& settings, QString* error);
    // Any format; scaled when its size differs from the encoded size.
    bool addFrame(const QImage& image, QString* error);
    bool addAudio(const std::int16_t* interleaved, std::size_t frames, QString* error);
    // Drains the encoders, writes the trailer, renames the file into place.
    bool finish(QString* error);
    // Stops and removes the partial file. Also what the destructor does before finish().
    void abort();

    std::int64_t framesWritten() const;

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};
