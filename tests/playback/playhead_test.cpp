#include "playback/frameclock.h"
#include "playback/playhead.h"

#include <climits>
#include <gtest/gtest.h>

TEST(Playhead, StepsSeeksAndLoops) {
    Playhead p;
    p.reset(5);
    EXPECT_FALSE(p.playing());
    p.play();
    for (int i = 0; i < 4; ++i)
        p.tick();
    EXPECT_EQ(p.current(), 4);
    p.tick(); // past the last frame: loops
    EXPECT_EQ(p.current(), 0);

    p.setLoop(false);
    p.seek(4);
    p.tick();
    EXPECT_EQ(p.current(), 4);
    EXPECT_FALSE(p.playing());

    p.play();
    p.back();
    EXPECT_EQ(p.current(), 3);
    EXPECT_FALSE(p.playing()) << "a step halts the movie";
    p.forward();
    p.forward();
    EXPECT_EQ(p.current(), 4) << "no step past the last frame";

    for (long long f : {-7LL, (long long)INT_MIN, 0LL}) {
        p.seek(f);
        EXPECT_EQ(p.current(), 0);
    }
    for (long long f : {5LL, 14LL, (long long)INT_MAX}) {
        p.seek(f);
        EXPECT_EQ(p.current(), 4);
    }
}

TEST(Playhead, EmptyMovieNeverPlays) {
    Playhead p;
    p.reset(0);
    p.play();
    EXPECT_FALSE(p.playing());
    p.seek(3);
    p.forward();
    p.tick();
    EXPECT_EQ(p.current(), 0);
}

TEST(FrameClock, KeepsTimeWithoutDrift) {
    FrameClock c;
    c.start(25.0, 1000);
    // Late and early timer callbacks: the count follows the origin, not the callbacks.
    int steps = 0;
    for (long long t = 1000; t <= 11000; t += 37)
        steps += c.stepsDue(t);
    steps += c.stepsDue(11000);
    EXPECT_EQ(steps, 250); // 10 s at 25 fps
    EXPECT_GE(c.msUntilNext(11000), 0);
    EXPECT_LE(c.msUntilNext(11000), 40);
}

TEST(FrameClock, FallingFarBehindDropsTheBacklog) {
    FrameClock c;
    c.start(10.0, 0);
    EXPECT_EQ(c.stepsDue(60'000), FrameClock::kMaxCatchUpSteps);
    EXPECT_EQ(c.stepsDue(60'050), 0);
    EXPECT_EQ(c.stepsDue(60'100), 1);
    c.stop();
    EXPECT_EQ(c.stepsDue(90'000), 0);
}
