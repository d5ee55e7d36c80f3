// A movie's sound following its player: event-sound rules on hand-built movies, stream sound
// through play, stop, steps, seeks and removal, and the clock that paces a timeline by it.

#include "swf/player.h"
#include "swf/sound/moviesound.h"
#include "swf/swf_writer.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <thread>

using swftest::Bytes;
using swftest::concat;
using swftest::showFrame;
using swftest::tag;
using swftest::Writer;

namespace {

constexpr std::size_t kFrame = 44100 / 12; // the test movies run at 12 fps

// DefineSound: 44.1 kHz 16-bit mono little-endian PCM holding `frames` copies of `value`.
Bytes pcmSound(std::uint16_t id, std::int16_t value, std::uint32_t frames) {
    Writer w;
    w.u16(id).ub(3, 4).ub(3, 2).ub(1, 1).ub(0, 1).u32(frames);
    for (std::uint32_t i = 0; i < frames; ++i)
        w.u16(std::uint16_t(value));
    return tag(14, w, true);
}

enum Sync : std::uint8_t { None = 0, Stop = 0x20, NoMultiple = 0x10 };

Bytes startSound(std::uint16_t id, std::uint8_t sync = None, std::uint16_t loops = 0,
                 std::uint32_t outPoint = 0) {
    Writer w;
    w.u16(id).u8(std::uint8_t(sync | (loops ? 0x04 : 0) | (outPoint ? 0x02 : 0)));
    if (outPoint)
        w.u32(outPoint);
    if (loops)
        w.u16(loops);
    return tag(15, w);
}

// SoundStreamHead2 for 44.1 kHz 16-bit mono PCM, or ADPCM.
Bytes streamHead(std::uint8_t codec = 3) {
    Writer w;
    w.ub(0, 4).ub(3, 2).ub(1, 1).ub(0, 1).ub(codec, 4).ub(3, 2).ub(1, 1).ub(0, 1).u16(kFrame);
    return tag(45, w);
}

Bytes pcmBlock(std::int16_t value, std::size_t frames = kFrame) {
    Writer w;
    for (std::size_t i = 0; i < frames; ++i)
        w.u16(std::uint16_t(value));
    return tag(19, w, true);
}

std::shared_ptr<const swf::Movie> load(const Bytes& tags, std::uint16_t frames = 1) {
    auto m = swf::Movie::load(swftest::movie(concat({tags, swftest::end()}), frames));
    EXPECT_TRUE(m.ok());
    return *m;
}

// A player and its sound, rendered a frame's length at a time.
struct Playing {
    explicit Playing(std::shared_ptr<const swf::Movie> m) : movie(m), player(m), sound(m) {
        sound.update(player);
    }
    std::vector<std::int16_t> frame(std::size_t frames = kFrame) {
        std::vector<std::int16_t> out(frames * 2);
        sound.render(out.data(), frames);
        std::vector<std::int16_t> l;
        for (std::size_t i = 0; i < out.size(); i += 2)
            l.push_back(out[i]);
        return l;
    }
    // The level in the middle of the next frame's sound.
    int level() { return frame()[kFrame / 2]; }
    void tick() {
        player.advance();
        sound.update(player);
    }
    void step(void (swf::Player::*op)()) {
        (player.*op)();
        sound.update(player);
    }
    void go(std::int64_t frame) {
        player.gotoFrame(frame);
        sound.update(player);
    }

    std::shared_ptr<const swf::Movie> movie;
    swf::Player player;
    swf::sound::MovieSound sound;
};

} // namespace

TEST(EventSound, StartNoMultipleStopAndLoops) {
    // Frame 0 starts sound 1; frame 1 again with NoMultiple (nothing); frame 2 again (two
    // voices); frame 3 stops it; frame 4 plays sound 2 twice over its first 1000 samples.
    auto movie = load(concat({pcmSound(1, 1000, 100000), pcmSound(2, 300, 5000), startSound(1),
                              showFrame(), startSound(1, NoMultiple), showFrame(), startSound(1),
                              showFrame(), startSound(1, Stop), showFrame(),
                              startSound(2, None, 2, 1000), showFrame(), showFrame()}),
                      6);
    Playing run(movie);
    EXPECT_EQ(run.level(), 1000);
    run.tick();
    EXPECT_EQ(run.level(), 1000);
    run.tick();
    EXPECT_EQ(run.level(), 2000);
    run.tick();
    EXPECT_EQ(run.level(), 0);
    run.tick();
    const auto f = run.frame();
    EXPECT_EQ(f[0], 300);
    EXPECT_EQ(f[1999], 300);
    EXPECT_EQ(f[2000], 0);
}

TEST(EventSound, GotosStartOnlyTheTargetFramesSounds) {
    auto movie = load(concat({pcmSound(1, 1000, 100), pcmSound(2, 2000, 100), showFrame(),
                              startSound(1), showFrame(), startSound(2), showFrame(), showFrame()}),
                      4);
    Playing run(movie);
    run.go(3); // skips the frames of both sounds
    EXPECT_EQ(run.frame()[50], 0);
    run.go(2);
    EXPECT_EQ(run.frame()[50], 2000);
    run.go(1);
    EXPECT_EQ(run.frame()[50], 1000);
    // Staying on a frame starts nothing again.
    run.go(1);
    EXPECT_EQ(run.frame()[50], 0);
}

TEST(EventSound, BadReferencesAndStopAll) {
    // Id 9 is undefined and id 3 is a shape: neither plays.
    auto movie = load(concat({swftest::rectShape(3), pcmSound(1, 1000, 50000), startSound(9),
                              startSound(3), startSound(1), showFrame()}));
    Playing run(movie);
    EXPECT_EQ(run.sound.voiceCount(), 1u);
    EXPECT_EQ(run.level(), 1000);
    run.sound.stopAll();
    EXPECT_EQ(run.level(), 0);
}

TEST(EventSound, ButtonSoundsFollowStateChanges) {
    Writer button;
    button.u16(20).u8(0).u16(0).u8(0x0F).u16(3).u16(1).matrix().cxform(true, {}, {}).u8(0);
    Writer sounds; // OverUpToIdle none, IdleToOverUp sound 1, OverUpToOverDown sound 2, none
    sounds.u16(20).u16(0).u16(1).u8(0).u16(2).u8(0).u16(0);
    auto movie =
        load(concat({swftest::rectShape(3), pcmSound(1, 1000, 50000), pcmSound(2, 2000, 50000),
                     tag(34, button), tag(17, sounds), swftest::placeObject2(1, 20), showFrame()}));
    Playing run(movie);
    auto* b = run.player.root().displayList().at(1)->button();
    ASSERT_TRUE(b);
    EXPECT_EQ(run.level(), 0);
    run.player.setButtonState(*b, swf::ButtonState::Over);
    run.sound.update(run.player);
    EXPECT_EQ(run.level(), 1000);
    run.player.setButtonState(*b, swf::ButtonState::Down);
    run.sound.update(run.player);
    EXPECT_EQ(run.level(), 3000);
}

namespace {

// Four frames of stream sound, frame k's block at level 100 * (k + 1), then a frame without.
std::shared_ptr<const swf::Movie> streamMovie() {
    return load(concat({streamHead(), pcmBlock(100), showFrame(), pcmBlock(200), showFrame(),
                        pcmBlock(300), showFrame(), pcmBlock(400), showFrame(), showFrame()}),
                5);
}

} // namespace

TEST(StreamSound, PlaysInStepAndStopsWithItsTimeline) {
    Playing run(streamMovie());
    EXPECT_EQ(run.level(), 100);
    EXPECT_EQ(run.sound.stepsDue(run.sound.time()), 1);
    run.tick();
    EXPECT_EQ(run.level(), 200);
    run.step(&swf::Player::stop);
    EXPECT_FALSE(run.sound.streamPlaying(&run.player.root()));
    EXPECT_EQ(run.level(), 0);
    EXPECT_EQ(run.sound.stepsDue(run.sound.time()), std::nullopt);
    // Playing on starts the stream again at the frame entered.
    run.step(&swf::Player::play);
    run.tick();
    EXPECT_EQ(run.level(), 300);
    // A jump restarts it at the target.
    run.go(0);
    EXPECT_EQ(run.level(), 100);
    run.tick();
    EXPECT_EQ(run.level(), 200);
    run.step(&swf::Player::rewind);
    EXPECT_EQ(run.level(), 100);
}

TEST(StreamSound, StepsPlayOneFramesBlockAndSeeksRestart) {
    Playing run(streamMovie());
    run.frame(100);
    run.step(&swf::Player::forward); // frame 1, stopped
    auto f = run.frame(2 * kFrame);
    EXPECT_EQ(f[10], 200);
    EXPECT_EQ(f[kFrame - 10], 200);
    EXPECT_EQ(f[kFrame + 10], 0);
    run.step(&swf::Player::back); // frame 0
    EXPECT_EQ(run.frame()[10], 100);
    run.step(&swf::Player::play);
    run.go(3);
    EXPECT_EQ(run.level(), 400);
    // Past the last block the stream has nothing to say.
    run.tick();
    EXPECT_EQ(run.level(), 0);
}

TEST(StreamSound, ClockPacesTheTimelineBySound) {
    // Blocks of two frames' length: the timeline must wait a frame for each.
    auto movie = load(
        concat({streamHead(), pcmBlock(100, 2 * kFrame), showFrame(), pcmBlock(200, 2 * kFrame),
                showFrame(), pcmBlock(300, 2 * kFrame), showFrame()}),
        3);
    Playing run(movie);
    run.frame();
    EXPECT_EQ(run.sound.stepsDue(run.sound.time()), 0);
    run.frame();
    EXPECT_EQ(run.sound.stepsDue(run.sound.time()), 1);
    run.tick();
    EXPECT_EQ(run.sound.stepsDue(run.sound.time()), 0);
    // Half-frame blocks: two ticks are due per frame of sound.
    auto fast = load(concat({streamHead(), pcmBlock(1, kFrame / 2), showFrame(),
                             pcmBlock(2, kFrame / 2), showFrame(), pcmBlock(3, kFrame / 2),
                             showFrame(), pcmBlock(4, kFrame / 2), showFrame()}),
                     4);
    Playing quick(fast);
    quick.frame(kFrame + 2);
    EXPECT_EQ(quick.sound.stepsDue(quick.sound.time()), 2);
    const auto timing = quick.sound.streamTiming(&quick.player.root());
    ASSERT_TRUE(timing);
    EXPECT_EQ(timing->firstFrame, 0u);
    ASSERT_GE(timing->start.size(), 3u);
    EXPECT_EQ(timing->start[1], kFrame / 2);
    EXPECT_EQ(timing->start[2], 2 * (kFrame / 2));
}

TEST(StreamSound, SpriteStreamsEndWithTheirSprite) {
    Bytes spriteTags = concat(
        {streamHead(), pcmBlock(500), showFrame(), pcmBlock(600), showFrame(), swftest::end()});
    auto movie = load(concat({swftest::sprite(7, 2, spriteTags), swftest::placeObject2(1, 7),
                              showFrame(), showFrame(), swftest::removeObject2(1), showFrame()}),
                      3);
    Playing run(movie);
    EXPECT_EQ(run.level(), 500);
    run.tick();
    EXPECT_EQ(run.level(), 600);
    run.tick(); // removed
    EXPECT_EQ(run.level(), 0);
    EXPECT_EQ(run.sound.voiceCount(), 0u);
}

TEST(StreamSound, AdpcmBlocksAndBlocksWithoutAHead) {
    Writer block;
    block.ub(2, 2).sb(1234, 16).ub(0, 6);
    for (std::size_t i = 1; i < kFrame; ++i)
        block.ub(0, 4);
    // Blocks before any head are ignored; after it they play.
    auto movie = load(
        concat({pcmBlock(999), showFrame(), streamHead(1), tag(19, block, true), showFrame()}), 2);
    Playing run(movie);
    EXPECT_EQ(run.level(), 0);
    run.tick();
    EXPECT_EQ(run.level(), 1234);
}

TEST(ScriptSound, StartByLinkageNameWithVolumePositionAndDuration) {
    Writer exports;
    exports.u16(1).u16(4).str("beep");
    auto movie = load(concat({pcmSound(4, 1000, 44100), tag(56, exports), showFrame()}));
    Playing run(movie);
    EXPECT_EQ(run.sound.soundIdForName("beep"), 4);
    EXPECT_EQ(run.sound.durationMs(4), 1000.0);
    EXPECT_EQ(run.sound.durationMs(5), std::nullopt);
    int clip = 0;
    const auto voice = run.sound.startSound(QStringLiteral("beep"), {0.5, 2, &clip});
    ASSERT_NE(voice, 0u);
    run.sound.setTransform(&clip, swf::sound::GroupTransform::panned(50, 0));
    EXPECT_EQ(run.sound.transform(&clip).volume, 50);
    EXPECT_EQ(run.level(), 500);
    EXPECT_NEAR(*run.sound.positionMs(voice), 500 + 1000.0 / 12, 1);
    run.sound.stopSound(4, &clip);
    EXPECT_EQ(run.sound.positionMs(voice), std::nullopt);
    EXPECT_EQ(run.sound.startSound(QStringLiteral("nothing")), 0u);
    // An offset past the end of every loop plays nothing.
    EXPECT_EQ(run.sound.startSound(4, {5.0, 2, nullptr}), 0u);
}

// ActionScript 3's play(startTime, loops): every loop goes back to the start time, where
// ActionScript 2's start(offset, loops) skips the offset once.
TEST(ScriptSound, LoopsFromTheStartTimeWhenAsked) {
    // Half a second at 1000, then half a second at 2000.
    Writer w;
    w.u16(4).ub(3, 4).ub(3, 2).ub(1, 1).ub(0, 1).u32(44100);
    for (std::uint32_t i = 0; i < 44100; ++i)
        w.u16(i < 22050 ? 1000 : 2000);
    auto movie = load(concat({tag(14, w, true), showFrame()}));
    auto levels = [&](bool fromStart) {
        Playing run(movie);
        swf::sound::ScriptSoundOptions o;
        o.startSeconds = 0.5;
        o.loops = 3;
        o.loopsFromStart = fromStart;
        EXPECT_NE(run.sound.startSound(4, o), 0u);
        return run.frame(4 * 22050);
    };
    const std::vector<std::int16_t> from = levels(true);
    // Three times the second half, then silence.
    EXPECT_EQ(std::count(from.begin(), from.begin() + 3 * 22050, 2000), 3 * 22050);
    EXPECT_EQ(std::count(from.begin() + 3 * 22050, from.end(), 0), 22050);
    // Skipped once: the second half, then the whole sound twice.
    const std::vector<std::int16_t> once = levels(false);
    EXPECT_EQ(once[11025], 2000);
    EXPECT_EQ(once[22050 + 11025], 1000);
    EXPECT_EQ(once[2 * 22050 + 11025], 2000);
    EXPECT_EQ(once[3 * 22050 + 11025], 1000);
}

TEST(EventSound, DecodedSoundsStayWithinTheBudget) {
    // Sounds 1 to 3 decode to 200 000 bytes each, sound 4 to 600 000; room for two of the first.
    constexpr std::size_t kBudget = 450'000;
    auto movie = load(concat({pcmSound(1, 100, 100000), pcmSound(2, 200, 100000),
                              pcmSound(3, 400, 100000), pcmSound(4, 800, 300000), startSound(1),
                              showFrame(), startSound(2), showFrame(), startSound(3), showFrame(),
                              startSound(4), showFrame(), startSound(3), showFrame()}),
                      5);
    // Preloading takes what fits and drops nothing.
    swf::sound::MovieSound preloaded(movie, kBudget);
    preloaded.preload();
    EXPECT_EQ(preloaded.decodedBytes(), 400'000u);

    swf::Player player(movie);
    swf::sound::MovieSound sound(movie, kBudget);
    sound.update(player);
    player.advance();
    sound.update(player);
    EXPECT_EQ(sound.voiceCount(), 2u);
    // Both decoded sounds are playing, so the third cannot make room and stays silent.
    player.advance();
    sound.update(player);
    EXPECT_EQ(sound.voiceCount(), 2u);
    EXPECT_LE(sound.decodedBytes(), kBudget);
    // Once they stop, their PCM makes way for the next sounds; one larger than the whole budget
    // never plays.
    sound.stopAll();
    player.advance();
    sound.update(player);
    EXPECT_EQ(sound.voiceCount(), 0u);
    player.advance();
    sound.update(player);
    EXPECT_EQ(sound.voiceCount(), 1u);
    std::vector<std::int16_t> out(2 * 10);
    sound.render(out.data(), 10);
    EXPECT_EQ(out[0], 400);
    EXPECT_LE(sound.decodedBytes(), kBudget);
}

TEST(EventSound, StartSound2NamesItsSoundByClass) {
    // SymbolClass names sound 7 "snd.Beep"; ExportAssets names sound 8 "Boop". Frame 0 starts
    // Beep, frame 1 a class nobody defines, frame 2 Boop, frame 3 stops Beep by name.
    auto startSound2 = [](const std::string& name, std::uint8_t flags = 0) {
        return tag(89, Writer().str(name).u8(flags));
    };
    auto movie =
        load(concat({pcmSound(7, 1000, 100000), pcmSound(8, 200, 100000),
                     tag(76, Writer().u16(1).u16(7).str("snd.Beep")),
                     tag(56, Writer().u16(1).u16(8).str("Boop")), startSound2("snd.Beep"),
                     showFrame(), startSound2("snd.Nothing"), showFrame(), startSound2("Boop"),
                     showFrame(), startSound2("snd.Beep", Stop), showFrame()}),
             4);
    ASSERT_EQ(movie->timeline.frames[0].sounds.size(), 1u);
    EXPECT_EQ(movie->timeline.frames[0].sounds[0].className, "snd.Beep");
    Playing run(movie);
    EXPECT_EQ(run.level(), 1000);
    run.tick();
    EXPECT_EQ(run.level(), 1000);
    run.tick();
    EXPECT_EQ(run.level(), 1200);
    run.tick();
    EXPECT_EQ(run.level(), 200);
}

TEST(EventSound, BackgroundDecodingStartsASoundWhereItWouldBeByNow) {
    // Sound 1 is a ramp: sample k holds the value k.
    Writer w;
    w.u16(1).ub(3, 4).ub(3, 2).ub(1, 1).ub(0, 1).u32(30000);
    for (int i = 0; i < 30000; ++i)
        w.u16(std::uint16_t(i));
    auto movie = load(concat({tag(14, w, true), startSound(1), showFrame()}));
    auto waitForVoice = [](swf::sound::MovieSound& s) {
        for (int i = 0; i < 1000 && s.voiceCount() == 0; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        return s.voiceCount();
    };
    {
        swf::Player player(movie);
        swf::sound::MovieSound sound(movie);
        sound.decodeInBackground();
        sound.update(player);
        // Whether the decode ends before, during or after these 1000 frames, the sound is at
        // its frame 1000 afterwards.
        std::vector<std::int16_t> out(2 * 1000);
        sound.render(out.data(), 1000);
        ASSERT_EQ(waitForVoice(sound), 1u);
        sound.render(out.data(), 1);
        EXPECT_NEAR(out[0], 1000, 1);
    }
    {
        // Stopped before it could start: it never does.
        swf::Player player(movie);
        swf::sound::MovieSound sound(movie);
        sound.decodeInBackground();
        sound.update(player);
        sound.stopAll();
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        EXPECT_EQ(sound.voiceCount(), 0u);
    }
}
