// An FFmpeg whose libswscale lacks the functions the program calls (the loader is given zlib in
// its place): writing videos fails with one line naming the function, while decoding, which
// needs only libavutil and libavcodec, goes on. (A process loads FFmpeg once, so this is a
// program of its own.)

#include "playback/exporter.h"
#include "playback/videoencoder.h"
#include "swf/characters.h"
#include "swf/ffmpeg.h"
#include "swf/sound/avdecoder.h"
#include "swf/video.h"
#include "testenv.h"

#include <QDir>
#include <QImage>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

const bool kReplaced =
    (swf::ffmpeg::setSonameForTesting(swf::ffmpeg::Library::SwScale, "libz.so.1"), true);

} // namespace

TEST(FfmpegPartial, VideoExportFailsNamingTheMissingFunctionOnce) {
    ASSERT_TRUE(kReplaced);
    QTemporaryDir dir;
    testing::internal::CaptureStderr();
    for (const char* name : {"out.mp4", "out.gif"}) {
        VideoEncoder encoder;
        VideoEncoder::Settings settings;
        settings.path = dir.filePath(QString::fromLatin1(name));
        settings.size = QSize(64, 48);
        QString error;
        EXPECT_FALSE(encoder.open(settings, &error));
        EXPECT_EQ(error, QStringLiteral("cannot load FFmpeg: libz.so.1 has no function %1")
                             .arg(QLatin1String("sws_freeContext")));
    }
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(err, "Reelwick: cannot load FFmpeg: libz.so.1 has no function sws_freeContext; "
                   "videos cannot be written\n");
    EXPECT_TRUE(QDir(dir.path()).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot));
    EXPECT_EQ(swf::ffmpeg::encoding(), nullptr);
}

TEST(FfmpegPartial, DecodingStillWorks) {
    EXPECT_NE(swf::ffmpeg::decoding(), nullptr);
    EXPECT_TRUE(swf::VideoDecoder(swf::VideoScreen).valid());
    EXPECT_TRUE(swf::sound::AvDecoder(swf::sound::AvDecoder::Kind::Mp3, 44100, 2).valid());

    REELWICK_NEED_CORPUS();
    QTemporaryDir dir;
    ExportRequest r;
    r.movie = testenv::corpusDir() + QStringLiteral("/ffmpeg-generated/testsrc_flashsv.swf");
    r.firstFrame = 10;
    r.lastFrame = 10;
    r.outDir = dir.path();
    QString error;
    ASSERT_TRUE(exportFrames(r, &error)) << error.toStdString();
    const QImage ten(dir.filePath(QStringLiteral("frame_0010.png")));
    ASSERT_EQ(ten.size(), QSize(320, 240));
    EXPECT_EQ(ten.pixel(60, 10) & 0xFFFFFF, 0xFF0000u); // the pattern's red bar
}
