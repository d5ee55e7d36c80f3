#pragma once

// Mixes any number of voices to 44.1 kHz stereo. A voice plays either a decoded sound (with
// in and out points, loops and an envelope) or a source that decodes as it is pulled (stream
// sound). Resampling is linear; the time base is the count of output sample frames.

#include "swf/sound/pcm.h"
#include "swf/timeline.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <unordered_map>
#include <vector>

namespace swf::sound {

constexpr std::uint32_t kOutputRate = 44100;

// Audio decoded on demand, one chunk at a time, at one rate and channel count.
class SampleSource {
public:
    virtual ~SampleSource() = default;
    // Replaces `chunk` with the next samples; false once nothing more will come. A chunk may be
    // empty (a block that completes no codec frame); silence comes as zeros.
    virtual bool next(PcmBuffer& chunk) = 0;
};

// A sound still being decoded as it plays (Sound.loadSound streaming): the decoding side
// appends chunks as it goes, the mixer's voice reads them in order and waits, silent, when it
// has caught up, until finish() says nothing more comes. Safe to share between the two.
class SoundFeed {
public:
    // The first chunk fixes the rate and channel count; chunks that differ are dropped.
    void append(std::shared_ptr<const PcmBuffer> chunk);
    void finish();
    bool finished() const;
    // Chunk i, or null when it has not come (yet).
    std::shared_ptr<const PcmBuffer> chunk(std::size_t i) const;
    std::size_t frames() const;
    double seconds() const;
    // Every chunk so far, joined.
    std::shared_ptr<const PcmBuffer> joined() const;

private:
    mutable std::mutex m_mutex;
    std::vector<std::shared_ptr<const PcmBuffer>> m_chunks;
    std::size_t m_frames = 0;
    bool m_finished = false;
};

using VoiceId = std::uint32_t;

struct VoiceOptions {
    std::uint32_t inPoint = 0;                // first source sample frame played
    std::optional<std::uint32_t> outPoint;    // the sample frame the sound stops at
    std::uint32_t loops = 1;                  // times played (0 counts as 1)
    std::vector<SoundEnvelopePoint> envelope; // levels 0..32768 by 44.1 kHz position
    std::uint16_t soundId = 0;                // for the rules that refer to a sound
    const void* group = nullptr;              // a volume and pan group (a script's target)
    double startSeconds = 0;                  // offset into the sound (scripts' start(offset))
};

// Volume and the channel matrix of a group, as scripts' Sound objects set them, in percent:
// left out = ll * left in + lr * right in; right out = rl * left in + rr * right in.
struct GroupTransform {
    double volume = 100;
    double ll = 100, lr = 0, rl = 0, rr = 100;

    // A pan of -100 (left only) .. 100 (right only) turns the other side down.
    static GroupTransform panned(double volume, double pan);
    double pan() const { return rr - ll; }
    bool operator==(const GroupTransform&) const = default;
};

class Mixer {
public:
    // Limit on simultaneous voices; the oldest event voice makes way when it is reached.
    static constexpr std::size_t kMaxVoices = 64;

    Mixer();
    ~Mixer();
    Mixer(const Mixer&) = delete;
    Mixer& operator=(const Mixer&) = delete;

    VoiceId play(std::shared_ptr<const PcmBuffer> pcm, const VoiceOptions& options);
    VoiceId playSource(std::unique_ptr<SampleSource> source, const void* group = nullptr);
    // A sound decoded as it plays: like a decoded sound for the rules (stopped with its group,
    // reported finished), it waits in silence while the feed is behind and ends once the feed
    // has finished and played out. Loops and envelopes do not apply.
    VoiceId playFeed(std::shared_ptr<const SoundFeed> feed, const VoiceOptions& options);

    void stop(VoiceId id);
    void stopSound(std::uint16_t soundId, const void* group = nullptr, bool anyGroup = true);
    void stopGroup(const void* group); // event sounds of a group
    void stopAll();
    bool isPlaying(VoiceId id) const;
    bool isSoundPlaying(std::uint16_t soundId) const;
    std::size_t voiceCount() const { return m_voices.size(); }

    // Volume and pan of a group; the transform of group null applies to every voice, the
    // group's own after it (volumes multiply, matrices compose).
    void setGroupTransform(const void* group, const GroupTransform& t);
    GroupTransform groupTransform(const void* group) const;
    // Stops a group's event sounds and forgets its transform (its owner is gone).
    void dropGroup(const void* group);

    // Decoded sounds that played to their end since the last call, oldest first (bounded:
    // nobody may ask).
    std::vector<VoiceId> takeFinished();

    // Source sample frames a voice has played (loops counted), and when it began, in output
    // frames. Nothing for a voice that has ended.
    std::optional<std::uint64_t> sourcePosition(VoiceId id) const;
    std::optional<std::uint64_t> startTime(VoiceId id) const;
    std::optional<double> sourceRate(VoiceId id) const;
    // The largest level each side of a voice reached in the last render, 0..1 after its
    // group's and the movie's transforms (SoundChannel.leftPeak/rightPeak).
    std::optional<std::pair<float, float>> peaks(VoiceId id) const;
    // The last kRecentFrames output frames (interleaved L, R), oldest first; zeros before any.
    static constexpr std::size_t kRecentFrames = 512;
    std::vector<std::int16_t> recentOutput() const;

    // Mixes the next `frames` output frames (interleaved L, R) and advances time by them.
    void render(std::int16_t* out, std::size_t frames);
    // Output frames rendered so far.
    std::uint64_t time() const { return m_time; }

private:
    struct Voice;
    Voice* find(VoiceId id) const;

    std::vector<std::unique_ptr<Voice>> m_voices;
    std::unordered_map<const void*, GroupTransform> m_groups;
    std::vector<VoiceId> m_finished;
    std::vector<float> m_mix;
    std::vector<std::int16_t> m_recent = std::vector<std::int16_t>(2 * kRecentFrames);
    std::uint64_t m_time = 0;
    VoiceId m_nextId = 1;
};

} // namespace swf::sound
