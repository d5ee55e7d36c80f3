#pragma once

// A movie's mixed sound for a range of frames, with no audio device: for the exporter's
// `--audio FILE.wav` and for checking sound in tests.

#include "swf/player.h"
#include "swf/sound/moviesound.h"
#include "swf/sound/pcm.h"

#include <QByteArray>
#include <QSaveFile>
#include <QString>
#include <memory>

namespace swf::sound {

struct AudioExportStats {
    // How far the stream sound heard was from the frame shown, at each exported picture while a
    // stream played: the sound's position minus where the shown frame's sound begins. Positive
    // when the sound runs ahead of the picture; one frame's length is in sync.
    double maxDriftSeconds = 0;
    double minDriftSeconds = 0;
    std::size_t picturesWithStream = 0;
    std::size_t pictures = 0; // pictures exported (1 / frame rate of sound each)
    std::size_t ticks = 0;    // timeline frames played
};

// Records a movie's sound beside whoever drives the player, keeping the timeline in step with
// stream sound as the live player does: a timeline with stream sound moves at the sound's pace
// (frames are dropped from the pictures, or held, never cut from the sound).
//
//     AudioRecorder audio(movie);
//     audio.update(player);                 // after the first frame is shown
//     for each exported picture:
//         audio.renderPicture();            // 1 / frame rate of sound
//         for (int i = audio.ticksDue(); i > 0; --i) {
//             player.advance();             // (and run its actions)
//             audio.update(player);
//         }
class AudioRecorder {
public:
    explicit AudioRecorder(std::shared_ptr<const Movie> movie);
    // Records a sound that someone else also feeds (the movie runner, whose scripts play
    // through it too).
    AudioRecorder(std::shared_ptr<MovieSound> sound, double frameRate);
    // After every change to the player: advance, goto, button state.
    void update(const Player& player);
    // Appends the sound of one picture.
    void renderPicture();
    // Timeline ticks due before the next picture: 1 without stream sound, else as many as
    // the stream's position asks (0 to hold the picture while the sound catches up).
    int ticksDue() const;
    // Seconds by which the stream that paces the movie is ahead of the frame its timeline
    // shows (0 up to one frame's length is in step); nothing while no stream plays.
    std::optional<double> drift() const;
    // The sound so far: 44.1 kHz stereo.
    const PcmBuffer& audio() const { return m_audio; }
    PcmBuffer takeAudio() {
        PcmBuffer fresh;
        fresh.rate = m_audio.rate;
        fresh.channels = m_audio.channels;
        return std::exchange(m_audio, std::move(fresh));
    }
    const AudioExportStats& stats() const { return m_stats; }
    MovieSound& sound() { return *m_sound; }

    static constexpr int kMaxTicksPerPicture = 64;

private:
    std::shared_ptr<MovieSound> m_sound;
    double m_fps;
    PcmBuffer m_audio;
    AudioExportStats m_stats;
};

// Plays `frameCount` frames of the movie's main timeline from `firstFrame` (0-based) on a
// player of its own, without scripts, paced as above, and returns their sound. The sound of
// the last frame's stream is played out; the total is capped at kMaxDecodedFrames.
PcmBuffer renderMovieAudio(std::shared_ptr<const Movie> movie, std::size_t firstFrame,
                           std::size_t frameCount, AudioExportStats* stats = nullptr);

// A 16-bit PCM RIFF WAVE file.
QByteArray wavBytes(const PcmBuffer& pcm);
bool writeWav(const QString& path, const PcmBuffer& pcm);

// The same file written a piece at a time, so that an export never holds all of its sound: the
// header's sizes are filled in by commit(), and the file replaces any old one only then. Sound
// past the 4 GiB a WAVE file can describe is left out, as wavBytes() leaves it out.
class WavWriter {
public:
    explicit WavWriter(const QString& path);
    // The rate and channel count are those of the pieces (all alike; 44.1 kHz stereo if none).
    bool append(const PcmBuffer& pcm);
    bool commit();

private:
    QSaveFile m_file;
    std::uint32_t m_dataBytes = 0;
    std::uint32_t m_rate = 44100;
    std::uint16_t m_channels = 2;
    bool m_ok = false;
};

} // namespace swf::sound
