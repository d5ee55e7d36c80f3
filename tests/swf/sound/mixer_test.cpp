// The mixer: resampling, in and out points, loops, envelopes, groups' volume and pan, sources.

#include "swf/sound/mixer.h"

#include <gtest/gtest.h>

using swf::sound::GroupTransform;
using swf::sound::Mixer;
using swf::sound::PcmBuffer;
using swf::sound::VoiceOptions;

namespace {

std::shared_ptr<PcmBuffer> buffer(std::uint32_t rate, std::uint8_t channels,
                                  std::vector<std::int16_t> samples) {
    auto p = std::make_shared<PcmBuffer>();
    p->rate = rate;
    p->channels = channels;
    p->samples = std::move(samples);
    return p;
}

std::vector<std::int16_t> ramp(int from, int to) {
    std::vector<std::int16_t> v;
    for (int i = from; i < to; ++i)
        v.push_back(std::int16_t(i));
    return v;
}

std::vector<std::int16_t> render(Mixer& m, std::size_t frames) {
    std::vector<std::int16_t> out(frames * 2);
    m.render(out.data(), frames);
    return out;
}

std::vector<std::int16_t> left(const std::vector<std::int16_t>& stereo) {
    std::vector<std::int16_t> l;
    for (std::size_t i = 0; i < stereo.size(); i += 2)
        l.push_back(stereo[i]);
    return l;
}

} // namespace

TEST(Mixer, PlaysAt44100ExactlyAndMonoOnBothSides) {
    Mixer m;
    m.play(buffer(44100, 1, ramp(1, 101)), {});
    const auto out = render(m, 120);
    EXPECT_EQ(left(out), [] {
        auto v = ramp(1, 101);
        v.resize(120, 0);
        return v;
    }());
    for (std::size_t i = 0; i < 120; ++i)
        EXPECT_EQ(out[2 * i], out[2 * i + 1]);
    EXPECT_EQ(m.voiceCount(), 0u);
    EXPECT_EQ(m.time(), 120u);
}

TEST(Mixer, LowerRatesStretchByTheRateRatio) {
    // 5512 is 44100 / 8 exactly: 100 frames last 800 output frames.
    Mixer m;
    m.play(buffer(5512, 2, std::vector<std::int16_t>(200, 1000)), {});
    auto out = left(render(m, 1000));
    std::size_t sounding = 0;
    for (auto v : out)
        sounding += v == 1000;
    EXPECT_EQ(sounding, 800u);

    // Linear interpolation halfway between two source frames at 22050.
    Mixer h;
    h.play(buffer(22050, 1, {0, 1000, 2000}), {});
    EXPECT_EQ(left(render(h, 6)), (std::vector<std::int16_t>{0, 500, 1000, 1500, 2000, 2000}));
}

TEST(Mixer, InAndOutPointsAndLoops) {
    Mixer m;
    VoiceOptions o;
    o.inPoint = 10;
    o.outPoint = 14;
    o.loops = 3;
    m.play(buffer(44100, 1, ramp(0, 100)), o);
    EXPECT_EQ(left(render(m, 14)),
              (std::vector<std::int16_t>{10, 11, 12, 13, 10, 11, 12, 13, 10, 11, 12, 13, 0, 0}));

    // Points beyond the sound are cut to it; an empty range plays nothing.
    Mixer n;
    o.inPoint = 98;
    o.outPoint = 1000;
    o.loops = 2;
    n.play(buffer(44100, 1, ramp(0, 100)), o);
    EXPECT_EQ(left(render(n, 5)), (std::vector<std::int16_t>{98, 99, 98, 99, 0}));
    o.inPoint = 50;
    o.outPoint = 50;
    n.play(buffer(44100, 1, ramp(0, 100)), o);
    EXPECT_EQ(left(render(n, 2)), (std::vector<std::int16_t>{0, 0}));

    // A huge loop count costs nothing until it is played.
    Mixer big;
    o.inPoint = 0;
    o.outPoint.reset();
    o.loops = 65535;
    big.play(buffer(44100, 1, {7}), o);
    EXPECT_EQ(left(render(big, 3)), (std::vector<std::int16_t>{7, 7, 7}));
    EXPECT_EQ(big.voiceCount(), 1u);
}

TEST(Mixer, EnvelopeInterpolatesHoldsAndCountsIn44kPositions) {
    Mixer m;
    VoiceOptions o;
    o.envelope = {{100, 0, 32768}, {200, 32768, 0}};
    m.play(buffer(44100, 2, std::vector<std::int16_t>(2 * 400, 16384)), o);
    const auto out = render(m, 300);
    EXPECT_EQ(out[2 * 50], 0); // held before the first point
    EXPECT_EQ(out[2 * 50 + 1], 16384);
    EXPECT_NEAR(out[2 * 150], 8192, 200);
    EXPECT_NEAR(out[2 * 150 + 1], 8192, 200);
    EXPECT_EQ(out[2 * 250], 16384); // held after the last
    EXPECT_EQ(out[2 * 250 + 1], 0);

    // At 11025 Hz, source frame k is position 4k. Mono takes the mean of both levels.
    Mixer q;
    o.envelope = {{0, 32768, 0}, {400, 32768, 0}};
    q.play(buffer(11025, 1, std::vector<std::int16_t>(200, 10000)), o);
    const auto mono = render(q, 600);
    EXPECT_EQ(mono[2 * 100], 5000);
    EXPECT_EQ(mono[2 * 100 + 1], 5000);
}

TEST(Mixer, GroupsSetVolumeAndPanAndStopTogether) {
    Mixer m;
    int target = 0;
    VoiceOptions o;
    o.group = &target;
    o.soundId = 5;
    m.play(buffer(44100, 1, std::vector<std::int16_t>(1000, 10000)), o);
    m.setGroupTransform(&target, GroupTransform::panned(50, -100)); // half volume, hard left
    auto out = render(m, 4);
    EXPECT_EQ(out[0], 5000);
    EXPECT_EQ(out[1], 0);
    // The whole movie's transform combines with the group's: volumes multiply, the channel
    // matrices compose (the group's right side stays silent).
    m.setGroupTransform(nullptr, GroupTransform::panned(200, 50));
    out = render(m, 4);
    EXPECT_EQ(out[0], 5000);
    EXPECT_EQ(out[1], 0);
    m.setGroupTransform(&target, {});
    out = render(m, 4);
    EXPECT_EQ(out[0], 10000);
    EXPECT_EQ(out[1], 20000);
    EXPECT_TRUE(m.isSoundPlaying(5));
    m.stopGroup(&target);
    EXPECT_FALSE(m.isSoundPlaying(5));

    // A full channel matrix on stereo input: left out takes 25% of left and 50% of right.
    Mixer swap;
    GroupTransform t;
    t.ll = 25;
    t.lr = 50;
    t.rl = 100;
    t.rr = 0;
    swap.setGroupTransform(nullptr, t);
    swap.play(buffer(44100, 2, {4000, 8000, 4000, 8000, 4000, 8000}), {});
    out = render(swap, 1);
    EXPECT_EQ(out[0], 1000 + 4000);
    EXPECT_EQ(out[1], 4000);

    // Loud voices clip at full scale instead of wrapping.
    Mixer loud;
    for (int i = 0; i < 4; ++i)
        loud.play(buffer(44100, 1, std::vector<std::int16_t>(10, 30000)), {});
    EXPECT_EQ(render(loud, 1)[0], 32767);
}

TEST(Mixer, VoiceLimitDropsTheOldestEventSound) {
    Mixer m;
    std::vector<swf::sound::VoiceId> ids;
    for (std::size_t i = 0; i < Mixer::kMaxVoices + 6; ++i) {
        VoiceOptions o;
        o.soundId = std::uint16_t(i);
        ids.push_back(m.play(buffer(44100, 1, std::vector<std::int16_t>(10, 1)), o));
    }
    EXPECT_EQ(m.voiceCount(), Mixer::kMaxVoices);
    EXPECT_FALSE(m.isPlaying(ids.front()));
    EXPECT_TRUE(m.isPlaying(ids.back()));
    EXPECT_EQ(m.play(buffer(44100, 3, {1, 2, 3}), {}), 0u); // not a channel layout we mix
    EXPECT_EQ(m.play(nullptr, {}), 0u);
}

namespace {

class Chunks : public swf::sound::SampleSource {
public:
    explicit Chunks(int count) : m_left(count) {}
    bool next(PcmBuffer& chunk) override {
        if (m_left-- <= 0)
            return false;
        chunk.rate = 44100;
        chunk.channels = 1;
        // Empty chunks in between are skipped.
        chunk.samples =
            m_left % 2 ? std::vector<std::int16_t>{} : std::vector<std::int16_t>(100, 300);
        return true;
    }

private:
    int m_left;
};

} // namespace

TEST(Mixer, SourcesPlayChunkAfterChunkAndReportTheirPosition) {
    Mixer m;
    render(m, 10);
    const auto id = m.playSource(std::make_unique<Chunks>(6));
    auto out = left(render(m, 150));
    EXPECT_EQ(out[0], 300);
    EXPECT_EQ(out[149], 300);
    EXPECT_EQ(m.startTime(id), 10u);
    EXPECT_EQ(m.sourcePosition(id), 150u);
    out = left(render(m, 200));
    EXPECT_EQ(out[149], 300);
    EXPECT_EQ(out[150], 0);
    EXPECT_FALSE(m.isPlaying(id));
}

TEST(Mixer, AFeedPlaysWhatHasComeWaitsSilentWhenBehindAndEndsOnceFinished) {
    Mixer m;
    auto feed = std::make_shared<swf::sound::SoundFeed>();
    int stopGroup = 0;
    VoiceOptions o;
    o.group = &stopGroup;
    const auto voice = m.playFeed(feed, o);
    ASSERT_NE(voice, 0u);
    // Nothing has come yet: silence, and the voice waits.
    EXPECT_EQ(left(render(m, 10)), std::vector<std::int16_t>(10, 0));
    EXPECT_TRUE(m.isPlaying(voice));

    feed->append(buffer(44100, 1, ramp(1, 41)));
    // It plays the 40 frames that came, then waits, silent, where it stopped.
    auto heard = left(render(m, 60));
    std::vector<std::int16_t> expected = ramp(1, 40);
    expected.resize(60, 0);
    EXPECT_EQ(heard, expected);
    EXPECT_TRUE(m.isPlaying(voice));
    EXPECT_TRUE(m.takeFinished().empty());

    // More comes: it goes on from there, without losing or repeating a frame.
    feed->append(buffer(44100, 1, ramp(41, 61)));
    feed->finish();
    heard = left(render(m, 30));
    expected = ramp(40, 61);
    expected.resize(30, 0);
    EXPECT_EQ(heard, expected);
    EXPECT_FALSE(m.isPlaying(voice));
    EXPECT_EQ(m.takeFinished(), std::vector<swf::sound::VoiceId>{voice});

    // A chunk of another rate or channel count than the first is dropped; its group stops it.
    auto other = std::make_shared<swf::sound::SoundFeed>();
    other->append(buffer(22050, 2, ramp(1, 9)));
    other->append(buffer(44100, 1, ramp(1, 9)));
    EXPECT_EQ(other->frames(), 4u);
    const auto second = m.playFeed(other, o);
    render(m, 4);
    EXPECT_TRUE(m.isPlaying(second));
    m.stopGroup(&stopGroup);
    EXPECT_FALSE(m.isPlaying(second));
}
