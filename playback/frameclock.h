#pragma once

#include <cstdint>

// Decides how many timeline steps are due at a moment, measured from a fixed origin rather than
// from the previous tick, so that timer jitter never accumulates into drift. When the player
// falls behind, every due step is still taken (drawing is what gets skipped), up to a limit that
// keeps a stalled machine from replaying minutes of frames at once.
class FrameClock {
public:
    static constexpr int kMaxCatchUpSteps = 10;

    void start(double framesPerSecond, std::int64_t nowMs);
    void stop() { m_running = false; }
    bool running() const { return m_running; }

    // Steps due at `nowMs` since the last call; 0 while stopped.
    int stepsDue(std::int64_t nowMs);

    // Milliseconds from `nowMs` until the next step is due.
    int msUntilNext(std::int64_t nowMs) const;

private:
    double m_interval = 1000.0 / 12;
    std::int64_t m_origin = 0;
    std::int64_t m_stepsTaken = 0;
    bool m_running = false;
};
