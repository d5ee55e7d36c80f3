#pragma once

#include <cstdint>

// Where a timeline stands and whether it runs: frame numbers from 0, always inside the movie.
class Playhead {
public:
    void reset(int frameCount);

    int frameCount() const { return m_frameCount; }
    int current() const { return m_current; }
    bool playing() const { return m_playing; }
    bool loop() const { return m_loop; }

    void setLoop(bool loop) { m_loop = loop; }
    void play() { m_playing = m_frameCount > 0; }
    void stop() { m_playing = false; }

    // One timeline step while playing; past the last frame it loops or halts.
    void tick();
    // Clamped to the movie; any 32-bit value is accepted.
    void seek(std::int64_t frame);
    void back();
    void forward();

private:
    int m_frameCount = 0;
    int m_current = 0;
    bool m_playing = false;
    bool m_loop = true;
};
