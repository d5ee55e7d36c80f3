#pragma once

// Scripts' Sound objects and the StopSounds action. The host may attach the movie's sound
// engine; without one (trace tests, fuzzing, a player with no sound) every call still keeps
// its state (volumes, pans, attached sounds) and answers consistently, it just plays nothing.

#include "swf/sound/mixer.h"
#include "swf/sound/pcm.h"

#include <QHash>
#include <memory>
#include <optional>
#include <unordered_map>
#include <vector>

namespace swf {
class MovieClip;
class Movie;
class Sound;
namespace sound {
class MovieSound;
class Mp3Stream;
} // namespace sound
} // namespace swf

namespace swf::avm1 {

class Object;
class VM;

class ScriptSounds {
public:
    explicit ScriptSounds(VM& vm);
    ~ScriptSounds();
    ScriptSounds(const ScriptSounds&) = delete;
    ScriptSounds& operator=(const ScriptSounds&) = delete;

    // The engine that plays what scripts start; null to play nothing. The transforms scripts
    // have set so far carry over to it.
    void setEngine(std::shared_ptr<sound::MovieSound> engine);
    sound::MovieSound* engine() const { return m_engine.get(); }

    // A target's transform; target null is the whole movie.
    sound::GroupTransform transform(const MovieClip* target) const;
    void setTransform(const MovieClip* target, const sound::GroupTransform& t);

    // Starts a DefineSound for a Sound object; returns the voice (0: nothing plays).
    sound::VoiceId start(Object* owner, const swf::Sound& sound, const MovieClip* target,
                         double offsetSeconds, std::uint32_t loops);
    // The movies whose libraries Sound objects attached sounds from, kept while the VM lives
    // so that their sounds outlive an unload: 0 stands for level 0's movie, the others for
    // loaded ones (at most kMaxMovies; past that a loaded movie's sounds are not attached).
    static constexpr std::size_t kMaxMovies = 256;
    std::optional<std::uint32_t> keepMovie(const std::shared_ptr<const Movie>& movie);
    const Movie* movie(std::uint32_t key) const;
    // Sounds loaded from files (Sound.loadSound), by the object that loaded them; the last
    // kMaxLoaded are kept.
    static constexpr std::size_t kMaxLoaded = 16;
    void setLoaded(Object* owner, std::shared_ptr<const sound::PcmBuffer> pcm);
    std::shared_ptr<const sound::PcmBuffer> loaded(Object* owner) const;
    sound::VoiceId startLoaded(Object* owner, const MovieClip* target, double offsetSeconds,
                               std::uint32_t loops);
    // A streaming loadSound: the file decodes a piece on each step (stepStreams) and its voice
    // (started now, unless `play` is false) plays what has come so far. The object is kept
    // alive until it has all decoded; a later load by the same object replaces it.
    // Returns the voice (0: none plays).
    sound::VoiceId startStream(Object* owner, std::unique_ptr<sound::Mp3Stream> stream,
                               std::size_t headerBytes, const MovieClip* target, bool play);
    void dropStream(Object* owner);
    // Decodes the next piece of every stream, at least `seconds` of sound each; returns the
    // objects whose file finished decoding, with whether it held any sound. A finished one's
    // whole sound is then what start() plays.
    std::vector<std::pair<Object*, bool>> stepStreams(double seconds);
    // While a stream decodes: its bytes decoded so far (tags included) and the seconds of
    // sound they gave.
    std::optional<std::size_t> streamBytesLoaded(Object* owner) const;
    std::optional<double> streamSeconds(Object* owner) const;
    // Stops a target's sounds (all of them, or one sound); target null: the whole movie.
    void stop(const MovieClip* target, std::optional<std::uint16_t> soundId);
    // The StopSounds action.
    void stopAll();
    // A timeline left the stage: the sounds scripts started on it end with it.
    void clipRemoved(const MovieClip* clip);

    // Sound objects whose sound played to its end since the last call, for onSoundComplete.
    std::vector<Object*> takeCompleted();
    // Objects kept alive while their sound plays.
    void addRoots(std::vector<Object*>& roots) const;

private:
    VM& m_vm;
    std::shared_ptr<sound::MovieSound> m_engine;
    QHash<const MovieClip*, sound::GroupTransform> m_transforms;
    // The sound each object started last, while it may still complete.
    std::unordered_map<Object*, sound::VoiceId> m_playing;
    std::vector<std::pair<Object*, std::shared_ptr<const sound::PcmBuffer>>> m_loaded;
    std::vector<std::shared_ptr<const Movie>> m_movies;
    struct Stream {
        Object* owner;
        std::unique_ptr<sound::Mp3Stream> mp3;
        std::size_t headerBytes;
    };
    std::vector<Stream> m_streams;
};

// Seconds of sound a streaming loadSound decodes on each step.
double streamAhead(VM& vm);

// Installs the global Sound class.
void installSound(VM& vm);

} // namespace swf::avm1
