// Movies exported as video: the pictures match the PNG exporter's within the codec's loss,
// the sound is the movie's, the length is the timeline's, and a script's quit ends it.

#include "mediafile.h"
#include "playback/exporter.h"
#include "playback/videoexport.h"
#include "swf_writer.h"

#include "testenv.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {
const QString kCorpus = testenv::corpusDir();
const QString kFfmpeg = kCorpus + QStringLiteral("/ffmpeg-generated/");

QStringList args(std::initializer_list<const char*> list) {
    QStringList out;
    for (const char* a : list)
        out << QString::fromUtf8(a);
    return out;
}
} // namespace

TEST(VideoExport, OutNamesAVideoFileAndFramesBecomeOptional) {
    QString error;
    auto r = parseExportArguments(args({"m.swf", "--out", "clip.MP4"}), &error);
    ASSERT_TRUE(r) << error.toStdString();
    EXPECT_EQ(r->videoPath, "clip.MP4");
    EXPECT_TRUE(r->outDir.isEmpty());
    EXPECT_EQ(r->firstFrame, 1);
    EXPECT_EQ(r->lastFrame, 0); // the whole timeline
    r = parseExportArguments(
        args({"m.swf", "--frames", "3-40", "--size", "640x360", "--out", "a.webm"}), &error);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->lastFrame, 40);
    EXPECT_EQ(r->size, QSize(640, 360));
    EXPECT_FALSE(
        parseExportArguments(args({"m.swf", "--out", "a.mkv", "--audio", "s.wav"}), &error));
    // Anything else after --out is still a folder of pictures, and needs its frames.
    EXPECT_FALSE(parseExportArguments(args({"m.swf", "--out", "pictures"}), &error));
}

TEST(VideoExport, FfmpegTestMoviesMatchTheirPicturesAndSound) {
    REELWICK_NEED_CORPUS();
    struct Case {
        const char* movie;
        const char* file;
        double minLumaPsnr;
        bool tone;
    };
    const Case cases[] = {{"testsrc_png.swf", "png.mp4", 38, false},
                          {"testsrc_flashsv.swf", "flashsv.webm", 36, false},
                          {"testsrc_flv1_mp3.swf", "flv1.mkv", 38, true},
                          {"testsrc_mjpeg_mp3.swf", "mjpeg.gif", 28, false}};
    QTemporaryDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.movie);
        ExportRequest pictures;
        pictures.movie = kFfmpeg + QLatin1String(c.movie);
        pictures.firstFrame = 1;
        pictures.lastFrame = 20;
        pictures.outDir = dir.filePath(QStringLiteral("png-") + QLatin1String(c.movie));
        QString error;
        ASSERT_TRUE(exportFrames(pictures, &error)) << error.toStdString();

        VideoExportRequest v;
        v.movie = pictures.movie;
        v.path = dir.filePath(QLatin1String(c.file));
        int calls = 0, lastTotal = 0;
        VideoExportStats stats;
        ASSERT_TRUE(exportVideo(
            v,
            [&](int done, int total) {
                EXPECT_EQ(done, ++calls);
                lastTotal = total;
                return true;
            },
            &error, &stats))
            << error.toStdString();
        EXPECT_EQ(calls, 20);
        EXPECT_EQ(lastTotal, 20);
        EXPECT_EQ(stats.pictures, 20);

        const MediaFile m = readMediaFile(v.path);
        ASSERT_TRUE(m.ok);
        ASSERT_EQ(m.frames.size(), 20u); // the timeline's length at its own rate: 2 s at 10 fps
        EXPECT_NEAR(m.frameRate, 10, 0.01);
        EXPECT_NEAR(m.durationSeconds, 2.0, 0.06);
        double worstLuma = 99, worstRgb = 99;
        for (int i = 0; i < 20; ++i) {
            const QImage png(
                QDir(pictures.outDir)
                    .filePath(QStringLiteral("frame_%1.png").arg(i + 1, 4, 10, QChar('0'))));
            worstLuma = std::min(worstLuma, psnr(m.frames[std::size_t(i)], png, true));
            worstRgb = std::min(worstRgb, psnr(m.frames[std::size_t(i)], png));
        }
        std::printf("[ %s -> %s ] worst PSNR against the PNG export: luma %.1f dB, RGB %.1f dB\n",
                    c.movie, c.file, worstLuma, worstRgb);
        EXPECT_GE(worstLuma, c.minLumaPsnr);
        // The picture is the same frame, not its neighbour: frames differ by far more.
        EXPECT_GE(worstRgb, 22);
        if (c.tone) {
            const auto [first, last] = audibleSpan(m.audio);
            ASSERT_LT(first, last);
            EXPECT_NEAR(toneFrequency(m.audio, first + 4410, last - 4410), 440, 2);
        }
    }
}

TEST(VideoExport, StreamSoundSetsThePaceAndTheLength) {
    REELWICK_NEED_CORPUS();
    // sine_mp3.swf: 78 frames at 10 fps whose stream holds 2.2 s of sound (2 s of tone), so
    // the sound moves the timeline on faster than one frame per picture. The video ends with
    // the timeline, as long as the sound.
    QTemporaryDir dir;
    VideoExportRequest v;
    v.movie = kFfmpeg + QStringLiteral("sine_mp3.swf");
    v.path = dir.filePath(QStringLiteral("sine.mp4"));
    v.size = QSize(64, 48);
    QString error;
    VideoExportStats stats;
    ASSERT_TRUE(exportVideo(v, {}, &error, &stats)) << error.toStdString();
    const MediaFile m = readMediaFile(v.path);
    ASSERT_TRUE(m.ok);
    const auto [first, last] = audibleSpan(m.audio);
    ASSERT_LT(first, last);
    std::printf("[ sine_mp3 ] %d pictures at %.1f fps, %.3f s of sound, tone from %.3f s for "
                "%.3f s\n",
                stats.pictures, m.frameRate, m.audio.size() / 44100.0, first / 44100.0,
                (last - first) / 44100.0);
    EXPECT_NEAR(toneFrequency(m.audio, first, last), 440, 1);
    EXPECT_NEAR((last - first) / 44100.0, 2.0, 0.03);
    EXPECT_NEAR(stats.pictures / m.frameRate, 2.2, 0.11);
    EXPECT_NEAR(m.audio.size() / 44100.0, stats.pictures / m.frameRate, 0.05);
}

TEST(VideoExport, ScriptQuitEndsTheVideoAndCancelLeavesNoFile) {
    using namespace swftest;
    // Ten frames; frame 4 calls fscommand("quit").
    Writer quit;
    quit.u8(0x83).u16(std::uint16_t(std::string("FSCommand:quit").size() + 2));
    quit.str("FSCommand:quit").str("");
    quit.u8(0);
    Bytes tags = rectShape(1);
    tags = concat({tags, placeObject2(1, 1, 100, 100), showFrame()});
    for (int f = 2; f <= 10; ++f)
        tags = concat({tags, f == 4 ? doAction(quit.data()) : Bytes{}, showFrame()});
    tags = concat({tags, end()});
    const Bytes bytes = movie(tags, 10);
    QTemporaryDir dir;
    const QString moviePath = dir.filePath(QStringLiteral("quits.swf"));
    {
        QFile f(moviePath);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(reinterpret_cast<const char*>(bytes.data()), qint64(bytes.size()));
    }
    VideoExportRequest v;
    v.movie = moviePath;
    v.path = dir.filePath(QStringLiteral("quits.mp4"));
    QString error;
    VideoExportStats stats;
    ASSERT_TRUE(exportVideo(v, {}, &error, &stats)) << error.toStdString();
    EXPECT_TRUE(stats.quit);
    EXPECT_EQ(stats.pictures, 3); // frame 4's script ends the movie before it is shown
    EXPECT_EQ(readMediaFile(v.path).frames.size(), 3u);

    // Asked for more than the timeline holds, a movie that goes on is filmed on.
    const Bytes loops = movie(
        concat({rectShape(1), placeObject2(1, 1), showFrame(), showFrame(), showFrame(), end()}),
        3);
    const QString loopsPath = dir.filePath(QStringLiteral("loops.swf"));
    {
        QFile f(loopsPath);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(reinterpret_cast<const char*>(loops.data()), qint64(loops.size()));
    }
    v.movie = loopsPath;
    v.path = dir.filePath(QStringLiteral("loops.gif"));
    v.lastFrame = 25;
    ASSERT_TRUE(exportVideo(v, {}, &error, &stats)) << error.toStdString();
    EXPECT_EQ(stats.pictures, 25);
    EXPECT_FALSE(stats.quit);
    v.lastFrame = 0;
    ASSERT_TRUE(exportVideo(v, {}, &error, &stats));
    EXPECT_EQ(stats.pictures, 3);
    QFile::remove(v.path);
    QFile::remove(loopsPath);

    v.movie = moviePath;
    v.path = dir.filePath(QStringLiteral("cancelled.mp4"));
    EXPECT_FALSE(exportVideo(
        v, [](int done, int) { return done < 2; }, &error));
    EXPECT_FALSE(QFile::exists(v.path));
    const QStringList left = QDir(dir.path()).entryList(QDir::Files | QDir::Hidden);
    EXPECT_EQ(left, QStringList({QStringLiteral("quits.mp4"), QStringLiteral("quits.swf")}));

    v.movie = kCorpus + QStringLiteral("/README.md");
    EXPECT_FALSE(exportVideo(v, {}, &error));
    EXPECT_FALSE(QFile::exists(v.path));
}
