#pragma once

// Scripts' Sound objects and the StopSounds action. The host may attach the movie's sound
// engine; without one (trace tests, fuzzing, a player with no sound) every call still keeps
// its state (volumes, pans, attached sounds) and answers consistently, it just plays nothing.

#include "swf/sound/mixer.h"
#include "swf/sound/pcm.h"

#include <QHash>
#include <memory>
#include <unordered_map>
#include <vector>

namespace swf {
class MovieClip;
namespace sound {
class MovieSound;
}
} // namespace swf

namespace swf::avm1 {

class Object;
class VM;

class ScriptSounds {
public:
    explicit ScriptSounds(VM& vm);
    ~ScriptSounds();

    // The engine that plays what scripts start; null to play nothing. The transforms scripts
    // have set so far carry over to it.
    void setEngine(std::shared_ptr<sound::MovieSound> engine);
    sound::MovieSound* engine() const { return m_engine.get(); }

    // A target's transform; target null is the whole movie.
    sound::GroupTransform transform(const MovieClip* target) const;
    void setTransform(const MovieClip* target, const sound::GroupTransform& t);

    // Starts a DefineSound for a Sound object; returns the voice (0: nothing plays).
    sound::VoiceId start(Object* owner, std::uint16_t soundId, const MovieClip* target,
                         double offsetSeconds, std::uint32_t loops);
    // Sounds loaded from files (Sound.loadSound), by the object that loaded them; the last
    // kMaxLoaded are kept.
    static constexpr std::size_t kMaxLoaded = 16;
    void setLoaded(Object* owner, std::shared_ptr<const sound::PcmBuffer> pcm);
    std::shared_ptr<const sound::PcmBuffer> loaded(Object* owner) const;
    sound::VoiceId startLoaded(Object* owner, const MovieClip* target, double offsetSeconds,
                               std::uint32_t loops);
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
};

// Installs the global Sound class.
void installSound(VM& vm);

} // namespace swf::avm1
