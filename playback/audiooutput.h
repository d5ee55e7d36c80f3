#pragma once

// Plays a movie's sound on the default audio device through Qt Multimedia. With no device, or
// when the device fails, the sound is consumed in real time into nothing, so that the movie
// plays silently with the same timing and rules, and nothing waits on a device that is not
// there.

#include "playback/audioclock.h"

#include <QElapsedTimer>
#include <QIODevice>
#include <QObject>
#include <QTimer>
#include <memory>

class QAudioSink;

namespace swf::sound {
class MovieSound;
}

class AudioOutput : public QObject, public AudioClock {
    Q_OBJECT
public:
    enum class Mode { Device, Silent };

    // Device: the system's default output if there is one, else silent.
    explicit AudioOutput(QObject* parent = nullptr, Mode mode = Mode::Device);
    ~AudioOutput() override;

    // The sound to play; null silences (a closed movie). The output keeps running.
    void setSound(std::shared_ptr<swf::sound::MovieSound> sound);
    std::shared_ptr<swf::sound::MovieSound> sound() const { return m_sound; }

    // Pause holds the output where it is; the movie's sounds resume from there.
    void setPaused(bool paused);
    bool isPaused() const { return m_paused; }

    // Whether sound reaches a device (false: the silent fallback runs).
    bool hasDevice() const { return m_sink != nullptr; }

    // The sound's output time now being heard, in 44.1 kHz frames.
    std::uint64_t heardTime() const;
    std::optional<std::int64_t> stepsDue() const override;

private:
    class Feed;
    void startDevice();
    void fallBackToSilence();
    void silentTick();
    std::uint64_t playedFrames() const;

    std::shared_ptr<swf::sound::MovieSound> m_sound;
    std::unique_ptr<Feed> m_feed;
    QAudioSink* m_sink = nullptr;
    QTimer m_silentTimer;
    QElapsedTimer m_silentClock;
    std::uint64_t m_silentPlayed = 0; // frames consumed by the silent fallback
    std::uint64_t m_base = 0;         // frames played when the current sound was set
    bool m_paused = false;
    mutable std::uint64_t m_lastPlayed = 0;
    mutable QElapsedTimer m_sinceProgress;
};
