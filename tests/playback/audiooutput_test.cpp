// Sound output: the silent fallback keeps time and pauses, the clock paces a stream movie, and
// a real device (a PulseAudio null sink in CI) takes the mix. Nothing here assumes the device
// plays in real time: tests wait until data has been taken, however long that is.

#include "playback/audiooutput.h"
#include "swf/player.h"
#include "swf/sound/moviesound.h"
#include "swf/swf_writer.h"
#include "testenv.h"

#include <QtTest>

using swftest::Bytes;
using swftest::Writer;

namespace {

// One frame with a 2 s event sound, or `frames` frames each with a block of stream sound.
std::shared_ptr<const swf::Movie> movie(bool stream, std::uint16_t frames = 1) {
    Bytes tags;
    if (stream) {
        Writer head;
        head.ub(0, 4).ub(3, 2).ub(1, 1).ub(0, 1).ub(3, 4).ub(3, 2).ub(1, 1).ub(0, 1).u16(3675);
        tags = swftest::tag(45, head);
        for (int f = 0; f < frames; ++f) {
            Writer block;
            for (int i = 0; i < 3675; ++i)
                block.u16(1000);
            tags = swftest::concat({tags, swftest::tag(19, block, true), swftest::showFrame()});
        }
    } else {
        Writer sound;
        sound.u16(1).ub(3, 4).ub(3, 2).ub(1, 1).ub(0, 1).u32(88200);
        for (int i = 0; i < 88200; ++i)
            sound.u16(1000);
        Writer start;
        start.u16(1).u8(0);
        tags = swftest::concat(
            {swftest::tag(14, sound, true), swftest::tag(15, start), swftest::showFrame()});
    }
    auto m = swf::Movie::load(swftest::movie(swftest::concat({tags, swftest::end()}), frames));
    return m.ok() ? *m : nullptr;
}

} // namespace

class AudioOutputTest : public QObject {
    Q_OBJECT
private slots:
    void silentFallbackConsumesSoundAndPauses() {
        auto m = movie(false);
        QVERIFY(m);
        swf::Player player(m);
        auto sound = std::make_shared<swf::sound::MovieSound>(m);
        sound->update(player);
        AudioOutput out(nullptr, AudioOutput::Mode::Silent);
        QVERIFY(!out.hasDevice());
        out.setSound(sound);
        QTRY_VERIFY(sound->time() > 0);
        QVERIFY(out.heardTime() <= sound->time());
        // No stream: the frame timer paces the movie.
        QCOMPARE(out.stepsDue(), std::nullopt);

        out.setPaused(true);
        const std::uint64_t held = sound->time();
        QTest::qWait(100);
        QCOMPARE(sound->time(), held);
        out.setPaused(false);
        QTRY_VERIFY(sound->time() > held);

        // Close: nothing plays, nothing paces.
        out.setSound(nullptr);
        QCOMPARE(out.heardTime(), std::uint64_t(0));
        QCOMPARE(out.stepsDue(), std::nullopt);
        QTest::qWait(50);
    }

    void streamSoundPacesTheTimeline() {
        auto m = movie(true, 40);
        QVERIFY(m);
        swf::Player player(m);
        auto sound = std::make_shared<swf::sound::MovieSound>(m);
        sound->update(player);
        AudioOutput out(nullptr, AudioOutput::Mode::Silent);
        out.setSound(sound);
        // As the sound is heard, ticks fall due; taking them brings the count back down.
        QTRY_VERIFY_WITH_TIMEOUT(out.stepsDue().value_or(0) >= 2, 10000);
        for (std::int64_t i = *out.stepsDue(); i > 0; --i) {
            player.advance();
            sound->update(player);
        }
        QVERIFY(out.stepsDue().value_or(99) <= 1);
        // Stopping the movie stops its stream: the timer takes over again.
        player.stop();
        sound->update(player);
        QCOMPARE(out.stepsDue(), std::nullopt);
    }

    void deviceTakesTheMix() {
        AudioOutput out;
        REELWICK_QNEED_AUDIO(out.hasDevice());
        auto m = movie(false);
        QVERIFY(m);
        swf::Player player(m);
        auto sound = std::make_shared<swf::sound::MovieSound>(m);
        sound->update(player);
        out.setSound(sound);
        QTRY_VERIFY_WITH_TIMEOUT(sound->time() > 0, 20000);
        out.setPaused(true);
        QVERIFY(out.isPaused());
        out.setPaused(false);
        sound->stopAll();
        QCOMPARE(sound->voiceCount(), std::size_t(0));
        out.setSound(nullptr);
        QTest::qWait(50);
    }
};

QTEST_GUILESS_MAIN(AudioOutputTest)
#include "audiooutput_test.moc"
