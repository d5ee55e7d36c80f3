// The video encoder, read back through libavformat and FFmpeg's own ffprobe: picture count,
// rate, duration and likeness for every format, the tone in the sound track, and that a
// failed or abandoned export leaves nothing on disk.

#include "mediafile.h"
#include "playback/videoencoder.h"

#include <QDir>
#include <QFile>
#include <QPainter>
#include <QProcess>
#include <QTemporaryDir>
#include <cmath>
#include <gtest/gtest.h>

namespace {

constexpr double kFps = 25;
constexpr int kFrames = 50; // two seconds
const QSize kSize(160, 120);

// Smooth gradients and a moving box with hard edges: both kinds of picture a movie shows.
QImage pattern(int i) {
    QImage img(kSize, QImage::Format_RGB32);
    for (int y = 0; y < kSize.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(img.scanLine(y));
        for (int x = 0; x < kSize.width(); ++x)
            line[x] = qRgb(x * 255 / kSize.width(), y * 255 / kSize.height(), (i * 5) & 255);
    }
    QPainter p(&img);
    p.fillRect(QRect(10 + i * 2, 30, 40, 40), QColor(240, 30, 60));
    return img;
}

std::vector<std::int16_t> tone(std::size_t from, std::size_t count) {
    std::vector<std::int16_t> s(count * 2);
    for (std::size_t i = 0; i < count; ++i) {
        const double t = double(from + i) / 44100.0;
        const auto v = std::int16_t(std::lround(16000 * std::sin(2 * M_PI * 440 * t)));
        s[2 * i] = s[2 * i + 1] = v;
    }
    return s;
}

// Encodes the pattern and two seconds of tone, one frame's worth of sound after each picture.
bool encode(const QString& path, bool withAudio, QString* error) {
    VideoEncoder enc;
    VideoEncoder::Settings s;
    s.path = path;
    s.size = kSize;
    s.frameRate = kFps;
    s.withAudio = withAudio;
    if (!enc.open(s, error))
        return false;
    std::size_t sent = 0;
    for (int i = 0; i < kFrames; ++i) {
        if (!enc.addFrame(pattern(i), error))
            return false;
        const auto end = std::size_t(std::llround((i + 1) * 44100.0 / kFps));
        const auto pcm = tone(sent, end - sent);
        if (!enc.addAudio(pcm.data(), end - sent, error))
            return false;
        sent = end;
    }
    return enc.finish(error);
}

QString ffprobe(const QString& path, const QStringList& entries) {
    QProcess p;
    p.start(QStringLiteral("ffprobe"),
            {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-count_frames"),
             QStringLiteral("-show_entries"), entries.join(QLatin1Char(':')), QStringLiteral("-of"),
             QStringLiteral("default=noprint_wrappers=1"), path});
    if (!p.waitForFinished(60000) || p.exitCode() != 0)
        return QStringLiteral("ffprobe failed: ") + QString::fromUtf8(p.readAllStandardError());
    return QString::fromUtf8(p.readAllStandardOutput());
}

struct Case {
    const char* name;
    const char* videoCodec;
    const char* audioCodec; // "" for none
    double minPsnr;         // 4:2:0 colour blurs the box's saturated edges
    double maxAudioStart;   // seconds of silence before the tone
};

} // namespace

TEST(VideoEncoder, FormatsFromNamesAndSizesTheyCanHold) {
    using F = VideoEncoder::Format;
    EXPECT_EQ(VideoEncoder::formatForPath(QStringLiteral("/a/b.MP4")), F::Mp4);
    EXPECT_EQ(VideoEncoder::formatForPath(QStringLiteral("b.mkv")), F::Matroska);
    EXPECT_EQ(VideoEncoder::formatForPath(QStringLiteral("b.webm")), F::WebM);
    EXPECT_EQ(VideoEncoder::formatForPath(QStringLiteral("b.gif")), F::Gif);
    EXPECT_FALSE(VideoEncoder::formatForPath(QStringLiteral("b.avi")));
    EXPECT_FALSE(VideoEncoder::formatForPath(QStringLiteral("mp4")));
    EXPECT_EQ(VideoEncoder::frameSizeFor(F::Mp4, QSize(275, 201)), QSize(274, 200));
    EXPECT_EQ(VideoEncoder::frameSizeFor(F::WebM, QSize(1, 1)), QSize(2, 2));
    EXPECT_EQ(VideoEncoder::frameSizeFor(F::Gif, QSize(275, 201)), QSize(275, 201));
    EXPECT_EQ(VideoEncoder::frameSizeFor(F::Mp4, QSize(100000, 10)).width(), 8192);
}

TEST(VideoEncoder, EveryFormatReadsBackWithItsPicturesRateAndTone) {
    // Matroska has no field for AAC's priming, so its 1024 samples (23 ms) stay at the start;
    // MP4's edit list and WebM's codec delay trim them.
    const Case cases[] = {{"out.mp4", "h264", "aac", 34, 0.005},
                          {"out.mkv", "h264", "aac", 34, 0.03},
                          {"out.webm", "vp9", "opus", 32, 0.005},
                          {"out.gif", "gif", "", 18, 0}};
    QTemporaryDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString path = dir.filePath(QString::fromLatin1(c.name));
        QString error;
        ASSERT_TRUE(encode(path, true, &error)) << error.toStdString();
        const MediaFile m = readMediaFile(path);
        ASSERT_TRUE(m.ok);
        EXPECT_EQ(m.videoCodec, QLatin1String(c.videoCodec));
        ASSERT_EQ(int(m.frames.size()), kFrames);
        EXPECT_NEAR(m.frameRate, kFps, 0.01);
        EXPECT_NEAR(m.durationSeconds, kFrames / kFps, 1.5 / kFps);
        double worst = 99, sum = 0;
        for (int i = 0; i < kFrames; ++i) {
            const double p = psnr(m.frames[std::size_t(i)], pattern(i));
            worst = std::min(worst, p);
            sum += p;
        }
        std::printf("[ %s ] PSNR mean %.1f dB, worst %.1f dB\n", c.name, sum / kFrames, worst);
        EXPECT_GE(worst, c.minPsnr);

        if (*c.audioCodec == 0) {
            EXPECT_EQ(m.audioStreams, 0);
            continue;
        }
        EXPECT_EQ(m.audioCodec, QLatin1String(c.audioCodec));
        const auto [first, last] = audibleSpan(m.audio);
        ASSERT_LT(first, last);
        // Two seconds of tone from the start.
        EXPECT_LE(first, 44100 * c.maxAudioStart);
        EXPECT_NEAR((last - first) / 44100.0, 2.0, 0.02);
        EXPECT_NEAR(toneFrequency(m.audio, first + 4410, last - 4410), 440, 1);

        // FFmpeg's own reader agrees on what is in the file.
        const QString probe = ffprobe(path, {QStringLiteral("stream=codec_name,nb_read_frames")});
        EXPECT_TRUE(probe.contains(QStringLiteral("codec_name=") + c.videoCodec))
            << probe.toStdString();
        EXPECT_TRUE(probe.contains(QStringLiteral("nb_read_frames=%1").arg(kFrames)))
            << probe.toStdString();
        EXPECT_TRUE(probe.contains(QStringLiteral("codec_name=") + c.audioCodec))
            << probe.toStdString();
    }
}

TEST(VideoEncoder, FailureOrCancelLeavesNoFile) {
    QTemporaryDir dir;
    QString error;
    // A folder that does not exist.
    EXPECT_FALSE(encode(dir.filePath(QStringLiteral("missing/out.mp4")), true, &error));
    EXPECT_FALSE(error.isEmpty());
    // A name no format is known by.
    EXPECT_FALSE(encode(dir.filePath(QStringLiteral("out.avi")), true, &error));
    // Odd sides cannot be 4:2:0.
    {
        VideoEncoder enc;
        EXPECT_FALSE(enc.open(
            {dir.filePath(QStringLiteral("odd.mp4")), QSize(101, 100), 25, true, 44100, 2, {}},
            &error));
    }

    // Abandoned half way, by abort() and by going out of scope: an older file of that name
    // stays as it was, and no temporary file is left beside it.
    const QString kept = dir.filePath(QStringLiteral("kept.mp4"));
    {
        QFile f(kept);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("older");
    }
    for (int way = 0; way < 2; ++way) {
        VideoEncoder enc;
        ASSERT_TRUE(enc.open({kept, kSize, kFps, true, 44100, 2, {}}, &error))
            << error.toStdString();
        for (int i = 0; i < 10; ++i)
            ASSERT_TRUE(enc.addFrame(pattern(i), &error));
        if (way == 0)
            enc.abort();
    }
    QFile f(kept);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), QByteArray("older"));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden),
              QStringList({QStringLiteral("kept.mp4")}));
}

TEST(VideoEncoder, PicturesOfAnotherSizeAreScaledAndSoundIsOptional) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("silent.mp4"));
    VideoEncoder enc;
    QString error;
    VideoEncoder::Settings s{path, QSize(80, 60), 12.5, false, 44100, 2, {}};
    ASSERT_TRUE(enc.open(s, &error)) << error.toStdString();
    for (int i = 0; i < 5; ++i)
        ASSERT_TRUE(enc.addFrame(pattern(i), &error));
    ASSERT_TRUE(enc.finish(&error)) << error.toStdString();
    EXPECT_EQ(enc.framesWritten(), 5);
    const MediaFile m = readMediaFile(path);
    ASSERT_EQ(m.frames.size(), 5u);
    EXPECT_EQ(m.frames[0].size(), QSize(80, 60));
    EXPECT_NEAR(m.frameRate, 12.5, 0.01);
    EXPECT_EQ(m.audioStreams, 0);
    EXPECT_GT(psnr(m.frames[2],
                   pattern(2).scaled(80, 60, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)),
              28);
}
