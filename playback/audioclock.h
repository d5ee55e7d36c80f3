#pragma once

#include <cstdint>
#include <optional>

// What the movie control asks the sound when a movie has stream sound: the timeline keeps pace
// with the sound being heard, so frames are dropped from drawing (or held), never from sound.
class AudioClock {
public:
    virtual ~AudioClock() = default;

    // Timeline ticks due now for the frame shown to match the sound heard: positive to take
    // that many ticks (drawing only after the last), zero or less to wait. Nothing when no
    // stream sound paces the movie, or when the output has stalled: the frame timer rules.
    virtual std::optional<std::int64_t> stepsDue() const = 0;
};
