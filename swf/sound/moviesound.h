#pragma once

// The sound of a running movie: follows a Player's timelines and turns what their frames say
// into voices on a mixer. Event sounds start on the frames that hold them (never on frames a
// goto skips), button sounds on state changes, and each timeline's stream sound plays from the
// frame it is entered at, restarting after a jump and stopping with its timeline.
//
// Thread safety: update() runs with the player (GUI thread); render() may run on an audio
// thread. Every public call takes the same lock.

#include "swf/player.h"
#include "swf/sound/mixer.h"

#include <QString>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <unordered_map>
#include <vector>

namespace swf::sound {

// How far into a stream, in source sample frames, each of its frames begins; filled as the
// stream decodes ahead of the timeline.
struct StreamTiming {
    std::size_t firstFrame = 0;
    double rate = 0;                  // of the decoded samples
    std::vector<std::uint64_t> start; // start[k]: offset of frame firstFrame + k
};

struct ScriptSoundOptions {
    double startSeconds = 0;
    std::uint32_t loops = 1;
    const void* group = nullptr; // the Sound object's target clip; null for the whole movie
    // Each loop starts again at startSeconds (ActionScript 3's Sound.play); otherwise the
    // offset is skipped once and every later loop plays the whole sound.
    bool loopsFromStart = false;
};

class MovieSound {
public:
    // Decoded event sounds kept at once, in bytes of PCM: a movie may declare many long
    // sounds. Past it, sounds not playing are dropped (decoded again when next started), and a
    // sound that still does not fit plays nothing.
    static constexpr std::size_t kDefaultDecodedBudget = std::size_t(256) << 20;

    explicit MovieSound(std::shared_ptr<const Movie> movie,
                        std::size_t decodedBudget = kDefaultDecodedBudget);
    // Whether the movie holds any sound at all (event, button or stream); a movie without
    // needs no MovieSound.
    static bool hasSound(const Movie& movie);
    ~MovieSound();
    MovieSound(const MovieSound&) = delete;
    MovieSound& operator=(const MovieSound&) = delete;

    // Decodes the movie's event sounds now (MP3 takes a while), as far as the budget allows
    // without dropping any, outside the lock that the audio thread waits on; may run on a
    // worker thread while the movie plays. Sounds not decoded here are decoded when first
    // started (outside that lock too). cancelPreload() makes a running preload return soon.
    void preload();
    void cancelPreload() { m_cancelPreload = true; }
    // From now on decodes on a thread of its own, so that update() never waits on a decode:
    // an event sound not decoded yet when its frame starts it starts once decoded, as far into
    // the sound as the decoding took (nothing is lost after a silence, Stop drops it); the rest
    // of the movie's sounds preload meanwhile. The thread ends with this object.
    void decodeInBackground();
    // Bytes of decoded PCM kept now.
    std::size_t decodedBytes() const;

    // Looks at the player's timelines and buttons after the player changed them (advance,
    // goto, step, play, stop, button state) and starts, restarts or stops sounds accordingly.
    void update(const Player& player);

    // Mixes the next `frames` 44.1 kHz stereo frames.
    void render(std::int16_t* out, std::size_t frames);
    std::uint64_t time() const;

    // Silences every sound (Stop, Close, the StopSounds action). Streams start again when
    // their timeline next enters a frame while playing.
    void stopAll();

    // The audio clock for a movie with stream sound. Given the output time now being heard,
    // how many timeline ticks are due so that the frame shown matches the sound: positive to
    // advance that many, zero or negative to wait. Nothing when no stream is playing (or its
    // audio has not started yet), when the host's own timer rules.
    std::optional<std::int64_t> stepsDue(std::uint64_t heardTime) const;
    // The clip whose stream drives stepsDue(), if any.
    const MovieClip* clockClip() const;
    // Timing of the stream of `clip` since it last (re)started; for tests and the exporter.
    std::optional<StreamTiming> streamTiming(const MovieClip* clip) const;
    bool streamPlaying(const MovieClip* clip) const;
    // The source sample frame of `clip`'s stream that plays at output time `time`.
    std::optional<double> streamPosition(const MovieClip* clip, std::uint64_t time) const;
    std::size_t voiceCount() const;

    // For the AVM1 Sound object. Start a DefineSound by id or by its export (linkage) name;
    // returns a voice id, 0 when nothing was started.
    VoiceId startSound(std::uint16_t soundId, const ScriptSoundOptions& options = {});
    VoiceId startSound(const QString& linkageName, const ScriptSoundOptions& options = {});
    // A DefineSound of any movie the player runs (a loaded movie's own library).
    VoiceId startSound(const Sound& sound, const ScriptSoundOptions& options = {});
    std::optional<std::uint16_t> soundIdForName(const QString& linkageName) const;
    // Plays samples that are not the movie's own (a sound file a script loaded), in a group.
    VoiceId playDecoded(std::shared_ptr<const PcmBuffer> pcm, const ScriptSoundOptions& options);
    // Plays a sound file as it is being decoded (a streaming loadSound), in a group.
    VoiceId playFeed(std::shared_ptr<const SoundFeed> feed, const ScriptSoundOptions& options);
    // stop(): every event sound of a group (null: all); stop(name): that sound only.
    void stopSounds(const void* group);
    void stopSound(std::uint16_t soundId, const void* group);
    void setTransform(const void* group, const GroupTransform& t);
    GroupTransform transform(const void* group) const;
    // Sound.position: ms played of a voice (loops included); Sound.duration: the sound's length
    // in ms. Nothing for a voice that has ended or an id that is not a sound.
    std::optional<double> positionMs(VoiceId voice) const;
    std::optional<double> durationMs(std::uint16_t soundId) const;
    std::optional<double> durationMs(const Sound& sound) const;
    bool voicePlaying(VoiceId voice) const;
    // Event voices that played to their end since the last call (for onSoundComplete).
    std::vector<VoiceId> takeFinished();
    // For ActionScript 3. A sound generated as it plays (Sound's sampleData), in a group;
    // stopping one voice; a voice's peaks (see Mixer::peaks); the newest mixed output; the
    // decoded samples of a DefineSound (null when it does not decode or fit).
    VoiceId playSource(std::unique_ptr<SampleSource> source, const void* group);
    void stopVoice(VoiceId voice);
    std::optional<std::pair<float, float>> peaks(VoiceId voice) const;
    std::vector<std::int16_t> recentOutput() const;
    std::shared_ptr<const PcmBuffer> soundSamples(std::uint16_t soundId) const;

    // A script's target clip left the stage: its sounds stop and its transform is forgotten,
    // so that a new clip at the same address starts afresh.
    void dropGroup(const void* group);

private:
    struct ClipState;
    struct StreamState;
    void visit(const Player& player, const MovieClip& clip, std::vector<const void*>& buttons);
    void visitChildren(const Player& player, const DisplayList& list,
                       std::vector<const void*>& buttons);
    void enterFrame(const Player& player, const MovieClip& clip, ClipState& state, bool jumped);
    void startEvent(const Sound* sound, const SoundInfo& info, const void* group);
    void playEvent(const Sound* sound, std::shared_ptr<const PcmBuffer> pcm, const SoundInfo& info,
                   const void* group, double lateSeconds = 0);
    void startStream(const MovieClip& clip, ClipState& state, std::size_t frame, bool oneFrame);
    // The decoded sound, from the cache or decoded now within the budget (evicting sounds not
    // playing when `evict`); null when it does not fit. Never called with m_mutex held.
    std::shared_ptr<const PcmBuffer> decoded(const Sound& sound, bool evict) const;
    std::shared_ptr<const PcmBuffer> cached(const Sound& sound) const;
    // The sound a StartSound2 names by class: SymbolClass first, then export names.
    const Sound* soundForClass(const QString& name) const;

    struct Cached {
        std::shared_ptr<const PcmBuffer> pcm;
        std::size_t bytes = 0;
        std::uint64_t lastUse = 0;
    };
    struct Deferred {
        const Sound* sound;
        SoundInfo info;
        const void* group;
        std::uint64_t requested = 0;  // mixer time when its frame started it
        std::uint64_t generation = 0; // of stopAll calls then
    };
    void backgroundLoop();
    void dropPending();

    mutable std::mutex m_mutex;
    std::shared_ptr<const Movie> m_movie;
    Mixer m_mixer;
    std::unordered_map<const void*, std::unique_ptr<ClipState>> m_clips;
    std::unordered_map<const void*, ButtonState> m_buttons;
    // Event sounds a frame starts that were not decoded yet: decoded once the lock is let go.
    std::vector<Deferred> m_deferred;
    mutable std::mutex m_cacheMutex; // never taken before m_mutex
    mutable std::unordered_map<const Sound*, Cached> m_cache;
    mutable std::size_t m_cacheBytes = 0;
    mutable std::uint64_t m_cacheUses = 0;
    const std::size_t m_budget;
    std::atomic<bool> m_cancelPreload = false;
    // Background decoding: requests wait in m_pending, all under m_mutex.
    std::thread m_worker;
    std::condition_variable m_wake;
    std::vector<Deferred> m_pending;
    std::uint64_t m_generation = 0;
    bool m_background = false, m_stopWorker = false;
    const MovieClip* m_root = nullptr;
    std::uint64_t m_counter = 0;
};

} // namespace swf::sound
