// A movie's mixed sound without a device: the corpus's 440 Hz MP3 stream movies, the WAV file,
// and a long stream staying in step with its frames.

#include "signal.h"
#include "swf/sound/audioexport.h"
#include "testenv.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtEndian>
#include <gtest/gtest.h>

namespace {

std::shared_ptr<const swf::Movie> corpus(const char* path) {
    auto m = swf::Movie::loadFile(testenv::corpusPath(QLatin1String(path)));
    return m.ok() ? *m : nullptr;
}

// The tone in the audible part of the left channel: frequency, steadiness and length.
void expectSine(const swf::sound::PcmBuffer& pcm, double seconds, double tolerance) {
    ASSERT_EQ(pcm.rate, 44100u);
    ASSERT_EQ(pcm.channels, 2);
    const auto x = soundtest::channel(pcm, 0);
    const auto [first, last] = soundtest::audibleSpan(x);
    ASSERT_LT(first, last);
    EXPECT_NEAR(double(last - first) / 44100, seconds, tolerance);
    const std::vector<double> tone(x.begin() + std::ptrdiff_t(first),
                                   x.begin() + std::ptrdiff_t(last));
    EXPECT_NEAR(soundtest::dominantFrequency(tone, 44100, 100, 2000), 440, 1);
    // A steady sine: the same level in each quarter, and a sine's peak-to-RMS ratio.
    const double level = soundtest::rms(tone);
    EXPECT_GT(level, 0.05);
    const std::size_t q = tone.size() / 4;
    for (std::size_t i = 0; i < 4; ++i) {
        const std::vector<double> part(tone.begin() + std::ptrdiff_t(i * q + q / 8),
                                       tone.begin() + std::ptrdiff_t((i + 1) * q - q / 8));
        EXPECT_NEAR(soundtest::rms(part), level, level * 0.1) << "quarter " << i;
    }
    double peak = 0;
    for (double v : tone)
        peak = std::max(peak, std::abs(v));
    EXPECT_NEAR(peak / level, std::sqrt(2.0), 0.15);
    // Both sides carry the mono stream.
    EXPECT_EQ(soundtest::channel(pcm, 1), x);
}

} // namespace

TEST(AudioExport, SineMp3IsA440HzToneOfTheStreamsLength) {
    REELWICK_NEED_CORPUS();
    auto movie = corpus("ffmpeg-generated/sine_mp3.swf");
    ASSERT_TRUE(movie) << "a corpus movie did not load";
    // 78 frames at 10 fps, but each block holds one 1152-sample MP3 frame: the timeline keeps
    // pace with the sound, so the movie lasts as long as its 78 x 1152 samples (2.04 s), which
    // hold the 2 s tone between the encoder's delay and padding.
    swf::sound::AudioExportStats stats;
    const auto pcm = swf::sound::renderMovieAudio(movie, 0, movie->frameCount(), &stats);
    EXPECT_NEAR(pcm.seconds(), 78 * 1152 / 44100.0, 0.2); // in whole pictures of 0.1 s
    expectSine(pcm, 2.0, 0.01);
    EXPECT_EQ(stats.ticks, 78u);
    EXPECT_GE(stats.minDriftSeconds, 0);
    EXPECT_LT(stats.maxDriftSeconds, 1152 / 44100.0);
}

TEST(AudioExport, TestsrcMp3MoviesLastTheirTwoSeconds) {
    REELWICK_NEED_CORPUS();
    for (const char* path :
         {"ffmpeg-generated/testsrc_flv1_mp3.swf", "ffmpeg-generated/testsrc_mjpeg_mp3.swf"}) {
        auto movie = corpus(path);
        ASSERT_TRUE(movie) << "a corpus movie did not load";
        SCOPED_TRACE(path);
        swf::sound::AudioExportStats stats;
        const auto pcm = swf::sound::renderMovieAudio(movie, 0, movie->frameCount(), &stats);
        expectSine(pcm, 2.0, 0.1);
        EXPECT_EQ(stats.ticks, 20u);
        EXPECT_LT(stats.maxDriftSeconds, 0.1); // within a frame
        // A later range starts the stream at its own frame.
        const auto tail = swf::sound::renderMovieAudio(movie, 10, 10);
        expectSine(tail, 1.0, 0.1);
    }
}

TEST(AudioExport, LongSpriteStreamStaysInStepWithItsFrames) {
    REELWICK_NEED_CORPUS();
    // sounds.swf places a sprite with 458 blocks of MP3 stream sound (38 s) on frame 10.
    auto movie = corpus("jpexs-testdata/sounds/sounds.swf");
    ASSERT_TRUE(movie) << "a corpus movie did not load";
    swf::Player player(movie);
    player.gotoFrame(10);
    player.stop();
    swf::sound::AudioRecorder recorder(movie);
    recorder.update(player);
    const swf::MovieClip* clip = player.root().displayList().at(2)->clip();
    ASSERT_TRUE(clip);
    ASSERT_EQ(clip->frameCount(), 463u);
    double minDrift = 1, maxDrift = -1;
    std::size_t measured = 0;
    while (clip->currentFrame() + 1 < clip->frameCount() && recorder.stats().pictures < 2000) {
        recorder.renderPicture();
        for (int i = recorder.ticksDue(); i > 0; --i) {
            player.advance();
            recorder.update(player);
        }
        if (const auto d = recorder.drift()) {
            minDrift = std::min(minDrift, *d);
            maxDrift = std::max(maxDrift, *d);
            ++measured;
        }
    }
    const double frame = 1 / movie->header().effectiveFrameRate();
    EXPECT_GT(measured, 400u);
    EXPECT_GE(minDrift, 0);
    EXPECT_LE(maxDrift, frame);
    // 463 frames at 12 fps took as many pictures, give or take the sound's own length.
    EXPECT_NEAR(double(recorder.stats().pictures), 463, 10);
    std::printf("long stream: %zu pictures for 463 frames, drift %.1f..%.1f ms\n",
                recorder.stats().pictures, minDrift * 1000, maxDrift * 1000);
}

TEST(AudioExport, EventSoundsMixIntoTheExport) {
    REELWICK_NEED_CORPUS();
    // test_sounds.swf starts event sound 1 on frame 28 over its stream.
    auto movie = corpus("jpexs-testdata/gfx/test_sounds.swf");
    ASSERT_TRUE(movie) << "a corpus movie did not load";
    const auto pcm = swf::sound::renderMovieAudio(movie, 28, 1);
    const auto x = soundtest::channel(pcm, 0);
    EXPECT_GT(soundtest::rms(x), 0.005);
    EXPECT_EQ(swf::sound::renderMovieAudio(movie, 100, 5).frames(), 0u); // past the end
}

TEST(AudioExport, WavFileHeaderAndData) {
    swf::sound::PcmBuffer pcm;
    pcm.rate = 44100;
    pcm.channels = 2;
    pcm.samples = {1, -1, 32767, -32768};
    const QByteArray wav = swf::sound::wavBytes(pcm);
    ASSERT_EQ(wav.size(), 44 + 8);
    EXPECT_EQ(wav.left(4), "RIFF");
    EXPECT_EQ(qFromLittleEndian<quint32>(wav.constData() + 4), 36u + 8);
    EXPECT_EQ(wav.mid(8, 8), "WAVEfmt ");
    EXPECT_EQ(qFromLittleEndian<quint16>(wav.constData() + 20), 1); // PCM
    EXPECT_EQ(qFromLittleEndian<quint16>(wav.constData() + 22), 2); // channels
    EXPECT_EQ(qFromLittleEndian<quint32>(wav.constData() + 24), 44100u);
    EXPECT_EQ(qFromLittleEndian<quint32>(wav.constData() + 28), 44100u * 4);
    EXPECT_EQ(qFromLittleEndian<quint16>(wav.constData() + 32), 4);
    EXPECT_EQ(qFromLittleEndian<quint16>(wav.constData() + 34), 16);
    EXPECT_EQ(wav.mid(36, 4), "data");
    EXPECT_EQ(qFromLittleEndian<quint32>(wav.constData() + 40), 8u);
    EXPECT_EQ(qFromLittleEndian<qint16>(wav.constData() + 48), 32767);

    QTemporaryDir dir;
    const QString path = dir.filePath("out.wav");
    ASSERT_TRUE(swf::sound::writeWav(path, pcm));
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), wav);
    EXPECT_FALSE(swf::sound::writeWav(dir.filePath("missing/out.wav"), pcm));

    // Written in pieces, the same file; nothing appears before commit() or after a failure.
    const QString pieces = dir.filePath("pieces.wav");
    {
        swf::sound::WavWriter writer(pieces);
        swf::sound::PcmBuffer a = pcm, b = pcm, none;
        a.samples = {1, -1};
        b.samples = {32767, -32768};
        ASSERT_TRUE(writer.append(a));
        ASSERT_TRUE(writer.append(none));
        ASSERT_TRUE(writer.append(b));
        EXPECT_FALSE(QFile::exists(pieces));
        ASSERT_TRUE(writer.commit());
    }
    QFile g(pieces);
    ASSERT_TRUE(g.open(QIODevice::ReadOnly));
    EXPECT_EQ(g.readAll(), wav);
    {
        swf::sound::WavWriter abandoned(dir.filePath("abandoned.wav"));
        ASSERT_TRUE(abandoned.append(pcm));
    }
    EXPECT_FALSE(QFile::exists(dir.filePath("abandoned.wav")));
    swf::sound::WavWriter nowhere(dir.filePath("missing/out.wav"));
    EXPECT_FALSE(nowhere.append(pcm));
    EXPECT_FALSE(nowhere.commit());
}
