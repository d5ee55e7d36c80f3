#include "playback/frameclock.h"

#include <algorithm>
#include <cmath>

void FrameClock::start(double framesPerSecond, std::int64_t nowMs) {
    m_interval = 1000.0 / (framesPerSecond > 0 ? framesPerSecond : 12.0);
    m_origin = nowMs;
    m_stepsTaken = 0;
    m_running = true;
}

int FrameClock::stepsDue(std::int64_t nowMs) {
    if (!m_running)
        return 0;
    const auto due = static_cast<std::int64_t>(std::floor((nowMs - m_origin) / m_interval));
    std::int64_t steps = due - m_stepsTaken;
    if (steps <= 0)
        return 0;
    if (steps > kMaxCatchUpSteps) {
        // Too far behind to catch up: drop the backlog and keep time from here.
        m_stepsTaken = due - kMaxCatchUpSteps;
        steps = kMaxCatchUpSteps;
    }
    m_stepsTaken += steps;
    return static_cast<int>(steps);
}

int FrameClock::msUntilNext(std::int64_t nowMs) const {
    const double next = m_origin + (m_stepsTaken + 1) * m_interval;
    return std::max(0, static_cast<int>(std::ceil(next - nowMs)));
}
