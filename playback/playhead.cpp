#include "playback/playhead.h"

#include <algorithm>

void Playhead::reset(int frameCount) {
    m_frameCount = std::max(0, frameCount);
    m_current = 0;
    m_playing = false;
}

void Playhead::tick() {
    if (!m_playing || m_frameCount == 0)
        return;
    if (m_current + 1 < m_frameCount)
        ++m_current;
    else if (m_loop)
        m_current = 0;
    else
        m_playing = false;
}

void Playhead::seek(std::int64_t frame) {
    if (m_frameCount == 0)
        return;
    m_current = static_cast<int>(std::clamp<std::int64_t>(frame, 0, m_frameCount - 1));
}

void Playhead::back() {
    m_playing = false;
    seek(std::int64_t(m_current) - 1);
}

void Playhead::forward() {
    m_playing = false;
    seek(std::int64_t(m_current) + 1);
}
