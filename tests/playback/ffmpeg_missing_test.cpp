// A machine without FFmpeg's libavcodec: the loader is sent to a file that does not exist before
// anything loads FFmpeg. Decoders and the encoder fail to open, one line says why, and the rest
// of a movie plays. (A process loads FFmpeg once, so this is a program of its own.)

#include "playback/exporter.h"
#include "playback/videoencoder.h"
#include "swf/characters.h"
#include "swf/ffmpeg.h"
#include "swf/sound/avdecoder.h"
#include "swf/video.h"
#include "testenv.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

const bool kMissing = (swf::ffmpeg::setSonameForTesting(swf::ffmpeg::Library::AvCodec,
                                                        "libavcodec.so.0-reelwick-missing"),
                       true);

const QString kFfmpeg = testenv::corpusDir() + QStringLiteral("/ffmpeg-generated/");

int countLines(const std::string& text, const std::string& part) {
    int n = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++n;
    return n;
}

} // namespace

// First in this file, so it is what loads FFmpeg.
TEST(FfmpegMissing, DecodersFailToOpenAndOneLineSaysWhy) {
    ASSERT_TRUE(kMissing);
    testing::internal::CaptureStderr();
    const std::uint8_t bytes[64] = {0x00, 0x00, 0x84};
    for (int i = 0; i < 3; ++i) {
        swf::VideoDecoder video(swf::VideoH263);
        EXPECT_FALSE(video.valid());
        EXPECT_TRUE(video.decode(bytes, true).isNull());
        video.reset();
        swf::sound::AvDecoder mp3(swf::sound::AvDecoder::Kind::Mp3, 44100, 2);
        EXPECT_FALSE(mp3.valid());
        swf::sound::PcmBuffer pcm;
        mp3.decode(bytes, pcm, 1024);
        mp3.flush(pcm, 1024);
        EXPECT_TRUE(pcm.samples.empty());
        swf::sound::AvDecoder nelly(swf::sound::AvDecoder::Kind::Nellymoser, 22050, 1);
        EXPECT_FALSE(nelly.valid());
    }
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(countLines(err, "\n"), 1) << err;
    EXPECT_EQ(countLines(err, "libavcodec.so.0-reelwick-missing"), 1) << err;
    EXPECT_EQ(err.rfind("Reelwick: cannot load FFmpeg: ", 0), 0u) << err;
    EXPECT_EQ(swf::ffmpeg::decoding(), nullptr);
    EXPECT_NE(swf::ffmpeg::loadError().find("libavcodec.so.0-reelwick-missing"), std::string::npos);
}

// The JPEG pictures of FFmpeg's test pattern still show and move; its MP3 stream is silence of
// the right length, and the timeline does not wait for the sound it cannot hear.
TEST(FfmpegMissing, TheRestOfAMoviePlays) {
    REELWICK_NEED_CORPUS();
    QTemporaryDir dir;
    ExportRequest r;
    r.movie = kFfmpeg + QStringLiteral("testsrc_mjpeg_mp3.swf");
    r.firstFrame = 10;
    r.lastFrame = 11;
    r.outDir = dir.path();
    r.audioPath = dir.filePath(QStringLiteral("sound.wav"));
    QString error;
    ExportOutcome outcome;
    ASSERT_TRUE(exportFrames(r, &error, &outcome)) << error.toStdString();
    EXPECT_EQ(outcome.framesWritten, 2);
    const QImage ten(dir.filePath(QStringLiteral("frame_0010.png")));
    const QImage eleven(dir.filePath(QStringLiteral("frame_0011.png")));
    ASSERT_EQ(ten.size(), QSize(320, 240));
    EXPECT_NE(ten, eleven);
    EXPECT_LT(qGray(ten.pixel(10, 10)), 40); // the pattern's black bar
    EXPECT_GT(qRed(ten.pixel(60, 10)), 200); // then its red one
    EXPECT_LT(qGreen(ten.pixel(60, 10)), 60);

    QFile wav(r.audioPath);
    ASSERT_TRUE(wav.open(QIODevice::ReadOnly));
    const QByteArray sound = wav.readAll();
    ASSERT_GT(sound.size(), 44);
    EXPECT_TRUE(sound.mid(44).count('\0') == sound.size() - 44) << "not silence";

    // A video it cannot decode leaves the stage's own colour where the pictures would be.
    r.movie = kFfmpeg + QStringLiteral("testsrc_flv1.swf");
    r.audioPath.clear();
    ASSERT_TRUE(exportFrames(r, &error)) << error.toStdString();
    const QImage blank(dir.filePath(QStringLiteral("frame_0010.png")));
    ASSERT_EQ(blank.size(), QSize(320, 240));
    EXPECT_EQ(blank.pixel(60, 10), blank.pixel(300, 200));
}

TEST(FfmpegMissing, VideoExportFailsAndLeavesNoFile) {
    QTemporaryDir dir;
    VideoEncoder encoder;
    VideoEncoder::Settings settings;
    settings.path = dir.filePath(QStringLiteral("out.mp4"));
    settings.size = QSize(64, 48);
    QString error;
    EXPECT_FALSE(encoder.open(settings, &error));
    EXPECT_TRUE(error.startsWith(QStringLiteral("cannot load FFmpeg: "))) << error.toStdString();
    EXPECT_TRUE(error.contains(QStringLiteral("libavcodec.so.0-reelwick-missing")));
    EXPECT_FALSE(encoder.addFrame(QImage(64, 48, QImage::Format_RGB32), &error));
    EXPECT_FALSE(encoder.finish(&error));
    EXPECT_TRUE(QDir(dir.path()).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot));
}
