// The frame exporter's arguments and output, and the frame clock that paces the control.

#include "playback/exporter.h"
#include "playback/frameclock.h"
#include "testenv.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {
const QString kCorpus = testenv::corpusDir();

QStringList args(std::initializer_list<const char*> list) {
    QStringList out;
    for (const char* a : list)
        out << QString::fromUtf8(a);
    return out;
}
} // namespace

TEST(Exporter, ParsesRangesSizesAndRefusesBadArguments) {
    QString error;
    auto r = parseExportArguments(
        args({"m.swf", "--frames", "3-7", "--size", "640x480", "--out", "dir"}), &error);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->movie, "m.swf");
    EXPECT_EQ(r->firstFrame, 3);
    EXPECT_EQ(r->lastFrame, 7);
    EXPECT_EQ(r->size, QSize(640, 480));
    EXPECT_EQ(r->outDir, "dir");
    r = parseExportArguments(args({"--frames", "4", "--out", "d", "m.swf"}), &error);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->lastFrame, 4);
    EXPECT_TRUE(r->size.isEmpty());

    for (auto bad : {args({"--frames", "1-2", "--out", "d"}),          // no movie
                     args({"m.swf", "--out", "d"}),                    // no frames
                     args({"m.swf", "--frames", "1-2"}),               // no folder
                     args({"m.swf", "--frames", "0-2", "--out", "d"}), // frames count from 1
                     args({"m.swf", "--frames", "5-2", "--out", "d"}),
                     args({"m.swf", "--frames", "a-b", "--out", "d"}),
                     args({"m.swf", "--frames", "1", "--size", "0x10", "--out", "d"}),
                     args({"m.swf", "--frames", "1", "--size", "99999x10", "--out", "d"}),
                     args({"m.swf", "--frames", "1", "--out", "d", "--frames"}),
                     args({"m.swf", "other.swf", "--frames", "1", "--out", "d"}),
                     args({"m.swf", "--frames", "1", "--out", "d", "--fast"})}) {
        error.clear();
        EXPECT_FALSE(parseExportArguments(bad, &error)) << bad.join(' ').toStdString();
        EXPECT_FALSE(error.isEmpty());
    }
}

TEST(Exporter, WritesTheChosenFramesAsPictures) {
    REELWICK_NEED_CORPUS();
    QTemporaryDir dir;
    ExportRequest r;
    r.movie = kCorpus + QStringLiteral("/open-flash-db-movies/morph-rotating-square/main.swf");
    r.firstFrame = 2;
    r.lastFrame = 4;
    r.size = QSize(275, 200);
    r.outDir = dir.filePath(QStringLiteral("out/nested"));
    QString error;
    ASSERT_TRUE(exportFrames(r, &error)) << error.toStdString();
    const QStringList files = QDir(r.outDir).entryList(QDir::Files, QDir::Name);
    EXPECT_EQ(files,
              QStringList({QStringLiteral("frame_0002.png"), QStringLiteral("frame_0003.png"),
                           QStringLiteral("frame_0004.png")}));
    const QImage two(QDir(r.outDir).filePath(files[0]));
    const QImage four(QDir(r.outDir).filePath(files[2]));
    EXPECT_EQ(two.size(), QSize(275, 200));
    EXPECT_NE(two, four); // the square turns

    // The stage size when none is asked for.
    r.size = QSize();
    r.lastFrame = 2;
    ASSERT_TRUE(exportFrames(r, &error));
    EXPECT_EQ(QImage(QDir(r.outDir).filePath(files[0])).size(), QSize(550, 400));

    // Past the end of its 50 frames the movie loops, as in the window: frame 51 is frame 1.
    r.firstFrame = 1;
    r.lastFrame = 51;
    ASSERT_TRUE(exportFrames(r, &error)) << error.toStdString();
    EXPECT_EQ(QImage(QDir(r.outDir).filePath(QStringLiteral("frame_0051.png"))),
              QImage(QDir(r.outDir).filePath(QStringLiteral("frame_0001.png"))));
    EXPECT_NE(QImage(QDir(r.outDir).filePath(QStringLiteral("frame_0051.png"))),
              QImage(QDir(r.outDir).filePath(QStringLiteral("frame_0050.png"))));
    r.firstFrame = 2;
    r.movie = kCorpus + QStringLiteral("/README.md");
    r.lastFrame = 2;
    EXPECT_FALSE(exportFrames(r, &error));
    EXPECT_FALSE(error.isEmpty());
}

// Video frames come out: FFmpeg's test pattern in Screen Video, whose counter and colour bar
// move between frames.
TEST(Exporter, WritesVideoFrames) {
    REELWICK_NEED_CORPUS();
    QTemporaryDir dir;
    ExportRequest r;
    r.movie = kCorpus + QStringLiteral("/ffmpeg-generated/testsrc_flashsv.swf");
    r.firstFrame = 10;
    r.lastFrame = 11;
    r.outDir = dir.path();
    QString error;
    ASSERT_TRUE(exportFrames(r, &error)) << error.toStdString();
    const QImage ten(dir.filePath(QStringLiteral("frame_0010.png")));
    const QImage eleven(dir.filePath(QStringLiteral("frame_0011.png")));
    ASSERT_EQ(ten.size(), QSize(320, 240));
    EXPECT_NE(ten, eleven);
    // The pattern's left bar is black, the next one red, on a white stage.
    EXPECT_EQ(ten.pixel(10, 10) & 0xFFFFFF, 0x000000u);
    EXPECT_EQ(ten.pixel(60, 10) & 0xFFFFFF, 0xFF0000u);
}

// Steps are counted from a fixed origin: late or early timer callbacks never add up to drift,
// and a long stall takes a bounded number of steps rather than all of them.
// The movie's sound for the exported frames: FFmpeg's 440 Hz sine as MP3 stream sound. The tone
// itself is checked with the sound code; here, that the option writes a WAV of that length.
TEST(Exporter, WritesTheMixedSoundWithAudio) {
    REELWICK_NEED_CORPUS();
    QTemporaryDir dir;
    QString error;
    auto r = parseExportArguments(QStringList{kCorpus + "/ffmpeg-generated/sine_mp3.swf",
                                              "--frames", "1-20", "--size", "32x20", "--out",
                                              dir.path(), "--audio", dir.filePath("sound.wav")},
                                  &error);
    ASSERT_TRUE(r) << error.toStdString();
    ASSERT_TRUE(exportFrames(*r, &error)) << error.toStdString();
    QFile wav(dir.filePath("sound.wav"));
    ASSERT_TRUE(wav.open(QIODevice::ReadOnly));
    const QByteArray bytes = wav.readAll();
    ASSERT_GT(bytes.size(), 44);
    EXPECT_TRUE(bytes.startsWith("RIFF"));
    EXPECT_EQ(bytes.mid(8, 4), QByteArray("WAVE"));
    const auto le32 = [&](int at) {
        return quint32(quint8(bytes[at])) | quint32(quint8(bytes[at + 1])) << 8 |
               quint32(quint8(bytes[at + 2])) << 16 | quint32(quint8(bytes[at + 3])) << 24;
    };
    const quint32 rate = le32(24), bytesPerSecond = le32(28);
    ASSERT_GT(rate, 0u);
    EXPECT_EQ(bytesPerSecond, rate * 4); // 16-bit stereo
    // Twenty frames at 10 fps: two seconds, exactly. The movie's 78 stream blocks of 1152
    // samples (2.04 s) fill them; its timeline follows the sound, several frames a picture.
    EXPECT_EQ(bytes.size() - 44, 2 * 44100 * 4);
    qint64 energy = 0;
    for (int i = 44; i + 1 < bytes.size(); i += 2)
        energy += std::abs(qint16(quint8(bytes[i]) | quint8(bytes[i + 1]) << 8));
    EXPECT_GT(energy / ((bytes.size() - 44) / 2), 1000) << "not silence";

    // The file is written picture by picture: a later first frame gives exactly its pictures'
    // sound, one second for frames 11 to 20.
    auto later = parseExportArguments(QStringList{kCorpus + "/ffmpeg-generated/sine_mp3.swf",
                                                  "--frames", "11-20", "--size", "32x20", "--out",
                                                  dir.path(), "--audio", dir.filePath("later.wav")},
                                      &error);
    ASSERT_TRUE(later) << error.toStdString();
    ASSERT_TRUE(exportFrames(*later, &error)) << error.toStdString();
    EXPECT_EQ(QFileInfo(dir.filePath("later.wav")).size(), 44 + 44100 * 4);

    auto bad =
        parseExportArguments(args({"m.swf", "--frames", "1", "--out", "d", "--audio"}), &error);
    EXPECT_FALSE(bad);
}

TEST(FrameClock, KeepsTheRateWithoutDriftAndBoundsCatchUp) {
    FrameClock clock;
    clock.start(31, 1000);
    std::int64_t steps = 0;
    std::int64_t now = 1000;
    for (int i = 0; i < 3100; ++i) {
        now += clock.msUntilNext(now) + (i % 7 == 0 ? 9 : i % 3); // jittery timer
        steps += clock.stepsDue(now);
    }
    const double elapsedFrames = (now - 1000) * 31 / 1000.0;
    EXPECT_NEAR(double(steps), elapsedFrames, 1.0);

    const std::int64_t before = steps;
    now += 5000; // the machine stalls for five seconds
    EXPECT_EQ(clock.stepsDue(now), FrameClock::kMaxCatchUpSteps);
    EXPECT_EQ(clock.stepsDue(now), 0);
    EXPECT_LE(clock.msUntilNext(now), 33);
    EXPECT_EQ(steps, before);

    clock.stop();
    EXPECT_EQ(clock.stepsDue(now + 10000), 0);
}
