// The movie control's sound: what Pause, Stop, steps and Close do to it, a stream movie's
// timeline following the audio clock, movies without sound left alone, and a corpus movie heard
// on a device (a PulseAudio null sink, recorded back from its monitor with parec). Nothing here
// assumes the output runs in real time: tests wait until data has been taken, however long that is.

#include "playback/flashcontrol.h"
#include "swf/sound/moviesound.h"
#include "swf/sound/signal.h"
#include "swf_writer.h"
#include "testenv.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

using swftest::Bytes;
using swftest::concat;
using swftest::Writer;

namespace {

const QString kCorpus = testenv::corpusDir();
constexpr int kBlock = 44100 / 12; // sample frames per frame at 12 fps

QString write(const QTemporaryDir& dir, const QString& name, const Bytes& tags,
              std::uint16_t frames) {
    const Bytes file = swftest::movie(concat({tags, swftest::end()}), frames);
    const QString path = dir.filePath(name);
    QFile f(path);
    if (f.open(QIODevice::WriteOnly))
        f.write(reinterpret_cast<const char*>(file.data()), qint64(file.size()));
    return path;
}

// Three frames; the first starts a 2 s event sound of level 1000, never twice at once (the
// movie loops four times a second, and a slow machine must still see one voice).
QString eventMovie(const QTemporaryDir& dir) {
    Writer sound;
    sound.u16(1).ub(3, 4).ub(3, 2).ub(1, 1).ub(0, 1).u32(88200);
    for (int i = 0; i < 88200; ++i)
        sound.u16(1000);
    return write(dir, QStringLiteral("event.swf"),
                 concat({swftest::tag(14, sound, true), swftest::tag(15, Writer().u16(1).u8(0x10)),
                         swftest::showFrame(), swftest::showFrame(), swftest::showFrame()}),
                 3);
}

// `frames` frames of 44.1 kHz PCM stream sound, frame k's block at level 100 (k + 1); frame
// `gap` has no block.
QString streamMovie(const QTemporaryDir& dir, int frames, int gap = -1) {
    Writer head;
    head.ub(0, 4).ub(3, 2).ub(1, 1).ub(0, 1).ub(3, 4).ub(3, 2).ub(1, 1).ub(0, 1).u16(kBlock);
    Bytes tags = swftest::tag(45, head);
    for (int f = 0; f < frames; ++f) {
        if (f != gap) {
            Writer block;
            for (int i = 0; i < kBlock; ++i)
                block.u16(std::uint16_t(100 * (f + 1)));
            tags = concat({tags, swftest::tag(19, block, true)});
        }
        tags = concat({tags, swftest::showFrame()});
    }
    return write(dir, QStringLiteral("stream.swf"), tags, std::uint16_t(frames));
}

QString silentMovie(const QTemporaryDir& dir) {
    return write(dir, QStringLiteral("silent.swf"),
                 concat({swftest::rectShape(1), swftest::placeObject2(1, 1), swftest::showFrame(),
                         swftest::showFrame()}),
                 2);
}

std::vector<std::int16_t> render(swf::sound::MovieSound& s, std::size_t frames) {
    std::vector<std::int16_t> out(frames * 2);
    s.render(out.data(), frames);
    return out;
}

// The audio clock as a test drives it: the sound heard is all that has been rendered.
class FakeClock : public AudioClock {
public:
    swf::sound::MovieSound* sound = nullptr;
    void play(std::size_t frames) { render(*sound, frames); }
    std::optional<std::int64_t> stepsDue() const override {
        return sound ? sound->stepsDue(sound->time()) : std::nullopt;
    }
};

} // namespace

class FlashControlSoundTest : public QObject {
    Q_OBJECT
private slots:
    void pauseStopAndCloseSilenceTheMovie() {
        QTemporaryDir dir;
        FlashControl c;
        c.setAudioMode(AudioOutput::Mode::Silent);
        c.Movie(eventMovie(dir));
        swf::sound::MovieSound* sound = c.movieSound();
        QVERIFY(sound);
        QCOMPARE(c.audioOutput()->sound().get(), sound);
        // It decodes beside the GUI thread, then starts.
        QTRY_COMPARE(sound->voiceCount(), std::size_t(1));
        QTRY_VERIFY(sound->time() > 0);

        // Pause holds the sound where it is: nothing more reaches the output...
        c.Stop();
        QVERIFY(c.audioOutput()->isPaused());
        const std::uint64_t held = sound->time();
        QTest::qWait(120);
        QCOMPARE(sound->time(), held);
        // ...and Play goes on with the same sound.
        c.Play();
        QVERIFY(!c.audioOutput()->isPaused());
        QTRY_VERIFY(sound->time() > held);
        QCOMPARE(sound->voiceCount(), std::size_t(1));

        // Stop (rewind, then halt) silences it for good.
        c.Rewind();
        c.StopPlay();
        QCOMPARE(sound->voiceCount(), std::size_t(0));
        const auto out = render(*sound, 64);
        QVERIFY(std::all_of(out.begin(), out.end(), [](std::int16_t v) { return v == 0; }));
        c.Play();
        QVERIFY(!c.audioOutput()->isPaused());

        // Close: no sound left to play.
        c.Movie(QStringLiteral("http://"));
        QCOMPARE(c.movieSound(), nullptr);
        QCOMPARE(c.audioOutput()->sound(), nullptr);
        QCOMPARE(c.audioOutput()->heardTime(), std::uint64_t(0));

        // A new movie brings its own sound; one without sound has none.
        c.Movie(eventMovie(dir));
        QVERIFY(c.movieSound());
        QTRY_COMPARE(c.movieSound()->voiceCount(), std::size_t(1));
        c.Movie(silentMovie(dir));
        QCOMPARE(c.movieSound(), nullptr);
        QCOMPARE(c.audioOutput()->sound(), nullptr);

        // A control that only ever shows silent movies makes no output at all.
        FlashControl quiet;
        quiet.Movie(silentMovie(dir));
        QVERIFY(quiet.hasMovie());
        QCOMPARE(quiet.audioOutput(), nullptr);
        QTRY_VERIFY_WITH_TIMEOUT(quiet.FrameNum() == 1, 5000);
    }

    void stepsPlayTheirBlockOrNothing() {
        QTemporaryDir dir;
        FlashControl c;
        c.setAudioMode(AudioOutput::Mode::Silent);
        c.Movie(streamMovie(dir, 8, 4));
        swf::sound::MovieSound* sound = c.movieSound();
        QVERIFY(sound);
        const swf::MovieClip* root = &c.player()->root();
        c.Stop();
        c.FrameNum(2);
        QCOMPARE(c.FrameNum(), 2);
        QCOMPARE(sound->streamTiming(root)->firstFrame, std::size_t(2));
        // Forward plays the next frame's block alone, and it ends.
        c.Forward();
        QCOMPARE(c.FrameNum(), 3);
        QVERIFY(!c.isPlaying());
        QCOMPARE(sound->voiceCount(), std::size_t(1));
        QCOMPARE(sound->streamTiming(root)->firstFrame, std::size_t(3));
        QTRY_COMPARE_WITH_TIMEOUT(sound->voiceCount(), std::size_t(0), 10000);
        // A frame without a block plays nothing; Back plays the previous block.
        c.Forward();
        QCOMPARE(c.FrameNum(), 4);
        QCOMPARE(sound->voiceCount(), std::size_t(0));
        c.Back();
        QCOMPARE(c.FrameNum(), 3);
        QCOMPARE(sound->voiceCount(), std::size_t(1));
        // Play runs the stream on from there.
        c.Play();
        QTRY_VERIFY_WITH_TIMEOUT(sound->streamPlaying(root) && c.FrameNum() > 4, 10000);
    }

    void streamMoviesFollowTheAudioClock() {
        QTemporaryDir dir;
        FakeClock clock;
        FlashControl c;
        c.setAudioMode(AudioOutput::Mode::Silent);
        c.setAudioClock(&clock);
        c.Movie(streamMovie(dir, 40));
        // From here only the test renders (pausing takes what was due until now).
        c.audioOutput()->setPaused(true);
        clock.sound = c.movieSound();
        QVERIFY(clock.sound);
        clock.play(100);
        // The timeline waits for the sound heard, where the frame timer would have moved on
        // three frames by now.
        QTRY_COMPARE_WITH_TIMEOUT(clock.stepsDue(), std::optional<std::int64_t>(0), 5000);
        const int first = c.FrameNum();
        QVERIFY(first <= 2);
        QTest::qWait(300);
        QCOMPARE(c.FrameNum(), first);
        // Three frames' worth heard: three steps, then waiting again.
        clock.play(3 * kBlock);
        QTRY_COMPARE_WITH_TIMEOUT(c.FrameNum(), first + 3, 5000);
        QTest::qWait(200);
        QCOMPARE(c.FrameNum(), first + 3);
        // What plays next is the block of the frame shown.
        const auto levels = render(*clock.sound, 10);
        QCOMPARE(levels[0], std::int16_t(100 * (first + 4)));
    }

    void corpusMovieIsHeardOnTheDevice() {
        REELWICK_QNEED_CORPUS();
        FlashControl c;
        c.Movie(kCorpus + QStringLiteral("/ffmpeg-generated/sine_mp3.swf"));
        QVERIFY(c.movieSound());
        REELWICK_QNEED_AUDIO(c.audioOutput()->hasDevice());
        // What reaches the device, recorded back from its monitor (Qt lists no monitors).
        QProcess recorder;
        recorder.start(QStringLiteral("parec"),
                       {QStringLiteral("--device=@DEFAULT_MONITOR@"), QStringLiteral("--raw"),
                        QStringLiteral("--format=s16le"), QStringLiteral("--rate=44100"),
                        QStringLiteral("--channels=1")});
        REELWICK_QNEED(recorder.waitForStarted(10000), "REELWICK_REQUIRE_AUDIO",
                       "parec (pulseaudio-utils) cannot record here");
        QByteArray recorded;
        connect(&recorder, &QProcess::readyReadStandardOutput, this,
                [&] { recorded += recorder.readAllStandardOutput(); });

        // Until two seconds of sound have been heard (the null sink may start late and run slow
        // under load), look at how many frames the picture is from the sound being heard each
        // time a new picture is shown, once the sound flows. (Its blocks hold 1152 samples
        // each: the sound sets the pace, 26 ms a frame, not the header's 10 fps.) Between two
        // pictures the sound runs on by design; what the user sees is the picture shown.
        std::int64_t worst = 0, samples = 0, off = 0;
        connect(&c, &FlashControl::frameChanged, this, [&] {
            const auto due = c.audioOutput()->stepsDue();
            if (due && c.audioOutput()->heardTime() > 44100 / 2) {
                worst = std::max(worst, std::abs(*due));
                off += std::abs(*due);
                ++samples;
            }
        });
        QElapsedTimer waited;
        waited.start();
        while (c.audioOutput()->heardTime() < 2 * 44100 && waited.elapsed() < 60000)
            QTest::qWait(20);
        QVERIFY(c.audioOutput()->heardTime() >= 2 * 44100);
        QVERIFY(c.FrameNum() > 10);
        QTRY_VERIFY_WITH_TIMEOUT(recorded.size() >= 44100 * 2, 30000);
        recorder.terminate();
        recorder.waitForFinished(5000);
        qInfo("picture against sound: at most %lld frames apart, %.2f on average (%lld looks)",
              static_cast<long long>(worst), samples ? double(off) / double(samples) : 0.0,
              static_cast<long long>(samples));

        // The picture keeps to the sound it goes with: never more than a frame apart.
        QVERIFY(samples > 0);
        QVERIFY2(worst <= 1, qPrintable(QStringLiteral("%1 frames apart").arg(worst)));

        swf::sound::PcmBuffer pcm;
        pcm.rate = 44100;
        pcm.channels = 1;
        pcm.samples.resize(std::size_t(recorded.size()) / 2);
        std::memcpy(pcm.samples.data(), recorded.constData(), pcm.samples.size() * 2);
        const auto x = soundtest::channel(pcm, 0);
        const auto [first, last] = soundtest::audibleSpan(x);
        QVERIFY2(last - first > 22050, "less than half a second of the movie was heard");
        const std::vector<double> heard(x.begin() + std::ptrdiff_t(first),
                                        x.begin() + std::ptrdiff_t(last));
        const double f = soundtest::dominantFrequency(heard, 44100, 100, 2000);
        qInfo("heard %.2f s at %.1f Hz, level %.3f", double(last - first) / 44100, f,
              soundtest::rms(heard));
        QVERIFY(std::abs(f - 440) < 3);
    }
};

QTEST_MAIN(FlashControlSoundTest)
#include "flashcontrol_sound_test.moc"
