#include "swf/sound/moviesound.h"

#include "swf/bytes.h"
#include "swf/sound/decoder.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace swf::sound {

namespace {

// No single stream block may decode to more than this (a block holds one frame's sound).
constexpr std::size_t kMaxBlockFrames = std::size_t(1) << 20;

const SoundStreamHead* headFor(const Timeline& t, std::size_t frame) {
    for (std::size_t i = std::min(frame + 1, t.frames.size()); i-- > 0;)
        if (t.frames[i].streamHead)
            return &*t.frames[i].streamHead;
    return nullptr;
}

std::optional<std::size_t> lastBlock(const Timeline& t, std::size_t from) {
    for (std::size_t i = t.frames.size(); i-- > from;)
        if (t.frames[i].streamBlock)
            return i;
    return std::nullopt;
}

// A timeline's stream sound from one frame on, decoded block by block as the mixer asks, with
// where each frame's sound begins. PCM and ADPCM blocks hold exactly their frame's sound, and a
// frame without a block inside the stream is a frame's length of silence. MP3 blocks hold whole
// MP3 frames, so a block's data may begin before or after its frame's sound: SeekSamples says
// how far into the data (from the stream's start, the first block's being the encoder latency)
// the frame begins. Frames whose block holds no MP3 frame carry nothing but time.
class TimelineStream : public SampleSource {
public:
    TimelineStream(const Timeline& t, const SoundStreamHead& head, std::size_t first,
                   std::size_t end, double fps, std::shared_ptr<StreamTiming> timing)
        : m_timeline(t), m_format(head.stream), m_frame(first), m_end(end),
          m_timing(std::move(timing)), m_decoder(StreamDecoder::create(head.stream)) {
        m_mp3 = m_format.codec == CodecMp3;
        m_timing->firstFrame = first;
        m_timing->rate = exactRate(decodedRate(m_format));
        m_frameLength = m_timing->rate / (fps > 0 ? fps : 12);
        if (m_mp3 && first < t.frames.size() && t.frames[first].streamBlock) {
            ByteReader r(*t.frames[first].streamBlock);
            r.skip(2);
            m_base = r.s16();
            m_skip = std::size_t(std::max<int>(0, m_base));
        }
    }

    bool next(PcmBuffer& chunk) override {
        chunk.samples.clear();
        chunk.rate = decodedRate(m_format);
        chunk.channels = decodedChannels(m_format);
        if (!m_decoder || m_done)
            return false;
        if (m_frame >= m_end) {
            m_done = true;
            m_decoder->flush(chunk);
            trim(chunk);
            return !chunk.samples.empty();
        }
        const Frame& f = m_timeline.frames[m_frame];
        const double dataStart = double(m_decoded);
        double start = dataStart;
        if (f.streamBlock) {
            std::span<const std::uint8_t> data = *f.streamBlock;
            int seek = 0;
            bool declared = false;
            if (m_mp3) {
                ByteReader r(data);
                declared = r.u16() > 0;
                seek = r.s16();
                data = r.failed() ? std::span<const std::uint8_t>() : data.subspan(4);
            }
            m_decoder->decode(data, chunk, kMaxBlockFrames);
            m_decoded += chunk.frames();
            if (m_mp3)
                start = chunk.frames() > 0 || declared ? dataStart + seek - m_base
                                                       : m_lastStart + m_frameLength;
            trim(chunk);
        } else if (m_mp3) {
            start = m_lastStart + m_frameLength;
        } else {
            m_silence += m_frameLength;
            const auto n = std::size_t(m_silence);
            m_silence -= double(n);
            chunk.samples.assign(n * chunk.channels, 0);
            m_decoded += n;
        }
        if (!m_timing->start.empty())
            start = std::max(start, m_lastStart);
        m_lastStart = std::max(0.0, start);
        m_timing->start.push_back(std::uint64_t(m_lastStart));
        if (m_timing->start.size() == 1 && !chunk.samples.empty())
            m_timing->rate = exactRate(chunk.rate);
        ++m_frame;
        return true;
    }

private:
    void trim(PcmBuffer& chunk) {
        const std::size_t n = std::min(m_skip, chunk.frames());
        if (n) {
            chunk.samples.erase(chunk.samples.begin(),
                                chunk.samples.begin() + std::ptrdiff_t(n * chunk.channels));
            m_skip -= n;
        }
    }

    const Timeline& m_timeline;
    SoundFormat m_format;
    std::size_t m_frame, m_end;
    std::shared_ptr<StreamTiming> m_timing;
    std::unique_ptr<StreamDecoder> m_decoder;
    bool m_mp3 = false, m_done = false;
    int m_base = 0;         // the first block's SeekSamples: where the first frame begins
    std::size_t m_skip = 0; // decoded samples still to drop before that
    std::uint64_t m_decoded = 0;
    double m_frameLength = 0, m_silence = 0, m_lastStart = 0;
};

} // namespace

struct MovieSound::ClipState {
    const Sprite* sprite = nullptr;
    const void* placedBy = nullptr;
    std::size_t frame = 0;
    bool seen = false;
    // The stream: running from when it starts until its timeline stops, jumps or goes away
    // (its voice may end sooner, once the data runs out).
    bool streamRunning = false;
    bool scrub = false;
    VoiceId voice = 0;
    std::uint64_t order = 0;
    std::shared_ptr<StreamTiming> timing;
};

MovieSound::MovieSound(std::shared_ptr<const Movie> movie, std::size_t decodedBudget)
    : m_movie(std::move(movie)), m_budget(decodedBudget) {}
MovieSound::~MovieSound() {
    {
        std::lock_guard lock(m_mutex);
        m_stopWorker = true;
    }
    m_wake.notify_all();
    if (m_worker.joinable())
        m_worker.join();
}

void MovieSound::decodeInBackground() {
    std::lock_guard lock(m_mutex);
    if (m_background)
        return;
    m_background = true;
    m_worker = std::thread([this] { backgroundLoop(); });
}

void MovieSound::backgroundLoop() {
    std::vector<const Sound*> preloads;
    for (const auto& [id, c] : m_movie->dictionary.all())
        if (c->type == CharacterType::Sound)
            preloads.push_back(static_cast<const Sound*>(c.get()));
    std::unique_lock lock(m_mutex);
    while (!m_stopWorker) {
        if (m_pending.empty()) {
            // Sounds frames ask for come first; the others preload when nothing waits.
            if (preloads.empty() || m_cancelPreload) {
                m_wake.wait(lock, [this] { return m_stopWorker || !m_pending.empty(); });
                continue;
            }
            const Sound* s = preloads.back();
            preloads.pop_back();
            lock.unlock();
            decoded(*s, false);
            lock.lock();
            continue;
        }
        const Deferred d = m_pending.front();
        m_pending.erase(m_pending.begin());
        lock.unlock();
        auto pcm = decoded(*d.sound, true);
        lock.lock();
        if (m_stopWorker || d.generation != m_generation || !pcm)
            continue;
        // Late by as much sound as has been heard since: it joins where it would be by now.
        const double late = double(m_mixer.time() - std::min(m_mixer.time(), d.requested));
        SoundInfo info = d.info;
        playEvent(d.sound, std::move(pcm), info, d.group, late / kOutputRate);
    }
}

void MovieSound::dropPending() {
    ++m_generation;
    m_pending.clear();
}

void MovieSound::preload() {
    for (const auto& [id, c] : m_movie->dictionary.all()) {
        if (m_cancelPreload)
            return;
        if (c->type == CharacterType::Sound)
            decoded(*static_cast<const Sound*>(c.get()), false);
    }
}

bool MovieSound::hasSound(const Movie& movie) {
    auto streams = [](const Timeline& t) {
        return std::any_of(t.frames.begin(), t.frames.end(),
                           [](const Frame& f) { return f.streamBlock.has_value(); });
    };
    if (streams(movie.timeline))
        return true;
    for (const auto& [id, c] : movie.dictionary.all()) {
        if (c->type == CharacterType::Sound)
            return true;
        if (c->type == CharacterType::Sprite &&
            streams(static_cast<const Sprite*>(c.get())->timeline))
            return true;
    }
    return false;
}

std::size_t MovieSound::decodedBytes() const {
    std::lock_guard lock(m_cacheMutex);
    return m_cacheBytes;
}

std::shared_ptr<const PcmBuffer> MovieSound::cached(const Sound& sound) const {
    std::lock_guard lock(m_cacheMutex);
    auto it = m_cache.find(&sound);
    if (it == m_cache.end())
        return nullptr;
    it->second.lastUse = ++m_cacheUses;
    return it->second.pcm;
}

std::shared_ptr<const PcmBuffer> MovieSound::decoded(const Sound& sound, bool evict) const {
    if (auto pcm = cached(sound))
        return pcm;
    const std::size_t frameBytes = 2 * decodedChannels(sound.format);
    std::size_t room = 0;
    {
        std::lock_guard lock(m_cacheMutex);
        if (evict) {
            // Room for what the header announces, by dropping the longest unused first.
            const std::size_t want =
                std::min<std::size_t>(sound.sampleCount, kMaxDecodedFrames) * frameBytes;
            while (m_budget - m_cacheBytes < want) {
                auto victim = m_cache.end();
                for (auto it = m_cache.begin(); it != m_cache.end(); ++it) {
                    if (it->second.pcm.use_count() == 1 &&
                        (victim == m_cache.end() || it->second.lastUse < victim->second.lastUse))
                        victim = it;
                }
                if (victim == m_cache.end())
                    break;
                m_cacheBytes -= victim->second.bytes;
                m_cache.erase(victim);
            }
        }
        room = m_budget - m_cacheBytes;
    }
    // One frame more than fits tells a sound that is too long from one that just fits.
    const std::size_t limit = room / frameBytes;
    auto pcm = decodeSound(sound, limit + 1);
    const std::size_t bytes = pcm->samples.size() * sizeof(std::int16_t);
    std::lock_guard lock(m_cacheMutex);
    if (auto it = m_cache.find(&sound); it != m_cache.end())
        return it->second.pcm; // decoded meanwhile on another thread
    if (pcm->frames() > limit || bytes > m_budget - m_cacheBytes)
        return nullptr;
    m_cacheBytes += bytes;
    m_cache.emplace(&sound, Cached{pcm, bytes, ++m_cacheUses});
    return pcm;
}

void MovieSound::update(const Player& player) {
    std::unique_lock lock(m_mutex);
    m_root = &player.root();
    for (auto& [key, state] : m_clips)
        state->seen = false;
    std::vector<const void*> buttons;
    visit(player, player.root(), buttons);
    for (const auto& [n, level] : player.levels()) {
        if (level->clip())
            visit(player, *level->clip(), buttons);
    }
    for (auto it = m_clips.begin(); it != m_clips.end();) {
        if (!it->second->seen) {
            m_mixer.stop(it->second->voice);
            it = m_clips.erase(it);
        } else {
            ++it;
        }
    }
    std::erase_if(m_buttons, [&](const auto& b) {
        return std::find(buttons.begin(), buttons.end(), b.first) == buttons.end();
    });
    if (m_deferred.empty())
        return;
    if (m_background) {
        for (Deferred& d : m_deferred) {
            d.requested = m_mixer.time();
            d.generation = m_generation;
            m_pending.push_back(std::move(d));
        }
        m_deferred.clear();
        lock.unlock();
        m_wake.notify_all();
        return;
    }
    // Sounds heard for the first time decode without holding up the audio thread.
    std::vector<Deferred> deferred = std::exchange(m_deferred, {});
    lock.unlock();
    std::vector<std::shared_ptr<const PcmBuffer>> pcm;
    for (const Deferred& d : deferred)
        pcm.push_back(decoded(*d.sound, true));
    lock.lock();
    for (std::size_t i = 0; i < deferred.size(); ++i)
        playEvent(deferred[i].sound, pcm[i], deferred[i].info, deferred[i].group);
}

void MovieSound::visit(const Player& player, const MovieClip& clip,
                       std::vector<const void*>& buttons) {
    auto& st = m_clips[&clip];
    if (!st) {
        st = std::make_unique<ClipState>();
        st->sprite = clip.sprite();
    }
    // A clip seen for the first time has just entered its first frame.
    const bool isNew = st->order == 0;
    if (isNew)
        st->order = ++m_counter;
    ClipState& state = *st;
    state.seen = true;
    const std::size_t frame = clip.currentFrame();
    if (isNew)
        enterFrame(player, clip, state, true);
    else if (frame != state.frame)
        enterFrame(player, clip, state, frame != state.frame + 1);
    else if (!clip.isPlaying() && state.streamRunning && !state.scrub) {
        m_mixer.stop(state.voice);
        state.streamRunning = false;
    }
    state.frame = frame;
    visitChildren(player, clip.displayList(), buttons);
}

void MovieSound::visitChildren(const Player& player, const DisplayList& list,
                               std::vector<const void*>& buttons) {
    for (const auto& o : list.objects()) {
        if (const MovieClip* child = o->clip()) {
            // Another sprite, or another placement, at a recycled address is a new clip.
            auto it = m_clips.find(child);
            if (it != m_clips.end() &&
                (it->second->sprite != child->sprite() || it->second->placedBy != o->placedBy)) {
                m_mixer.stop(it->second->voice);
                m_clips.erase(it);
            }
            auto& st = m_clips[child];
            if (!st) {
                st = std::make_unique<ClipState>();
                st->sprite = child->sprite();
                st->placedBy = o->placedBy;
            }
            visit(player, *child, buttons);
        }
        if (const ButtonInstance* b = o->button()) {
            buttons.push_back(b);
            auto [it, added] = m_buttons.try_emplace(b, b->state());
            const ButtonState was = it->second;
            const ButtonState now = b->state();
            it->second = now;
            if (!added && was != now) {
                // Sounds are kept as OverUpToIdle, IdleToOverUp, OverUpToOverDown,
                // OverDownToOverUp.
                std::size_t transition = 0;
                if (now == ButtonState::Over)
                    transition = was == ButtonState::Up ? 1 : 3;
                else if (now == ButtonState::Down)
                    transition = 2;
                const ButtonSound& s = b->button().sounds[transition];
                const Character* c = s.soundId ? b->host().origin().character(s.soundId) : nullptr;
                if (c && c->type == CharacterType::Sound)
                    startEvent(static_cast<const Sound*>(c), s.info, nullptr);
            }
            visitChildren(player, b->displayList(), buttons);
        }
    }
}

void MovieSound::enterFrame(const Player&, const MovieClip& clip, ClipState& state, bool jumped) {
    const Timeline& t = clip.timeline();
    const std::size_t frame = clip.currentFrame();
    if (frame >= t.frames.size())
        return;
    for (const StartSound& s : t.frames[frame].sounds) {
        if (!s.className.isEmpty()) {
            if (const Sound* named = soundForClass(s.className))
                startEvent(named, s.info, nullptr);
            continue;
        }
        const Character* c = clip.origin().character(s.soundId);
        if (c && c->type == CharacterType::Sound)
            startEvent(static_cast<const Sound*>(c), s.info, nullptr);
    }
    if (!clip.isPlaying())
        startStream(clip, state, frame, true);
    else if (jumped || !state.streamRunning || state.scrub)
        startStream(clip, state, frame, false);
}

void MovieSound::startStream(const MovieClip& clip, ClipState& state, std::size_t frame,
                             bool oneFrame) {
    m_mixer.stop(state.voice);
    state.voice = 0;
    state.streamRunning = false;
    state.timing.reset();
    const Timeline& t = clip.timeline();
    const SoundStreamHead* head = headFor(t, frame);
    const auto last = lastBlock(t, frame);
    if (!head || !last)
        return;
    const std::size_t end = oneFrame ? frame + 1 : *last + 1;
    if (oneFrame && !t.frames[frame].streamBlock)
        return;
    auto timing = std::make_shared<StreamTiming>();
    auto source = std::make_unique<TimelineStream>(t, *head, frame, end,
                                                   m_movie->header().effectiveFrameRate(), timing);
    state.voice = m_mixer.playSource(std::move(source), &clip);
    state.streamRunning = state.voice != 0;
    state.scrub = oneFrame;
    state.timing = std::move(timing);
}

void MovieSound::startEvent(const Sound* sound, const SoundInfo& info, const void* group) {
    if (info.syncStop) {
        m_mixer.stopSound(sound->id);
        std::erase_if(m_pending, [sound](const Deferred& d) { return d.sound == sound; });
        return;
    }
    // Waiting to be decoded counts as playing.
    if (info.syncNoMultiple && std::any_of(m_pending.begin(), m_pending.end(),
                                           [sound](const Deferred& d) { return d.sound == sound; }))
        return;
    if (auto pcm = cached(*sound))
        playEvent(sound, std::move(pcm), info, group);
    else
        m_deferred.push_back({sound, info, group});
}

void MovieSound::playEvent(const Sound* sound, std::shared_ptr<const PcmBuffer> pcm,
                           const SoundInfo& info, const void* group, double lateSeconds) {
    if (info.syncNoMultiple && m_mixer.isSoundPlaying(sound->id))
        return;
    VoiceOptions o;
    o.inPoint = info.inPoint.value_or(0);
    o.outPoint = info.outPoint;
    o.loops = info.loopCount;
    o.envelope = info.envelope;
    o.soundId = sound->id;
    o.group = group;
    o.startSeconds = lateSeconds;
    m_mixer.play(std::move(pcm), o);
}

void MovieSound::render(std::int16_t* out, std::size_t frames) {
    std::lock_guard lock(m_mutex);
    m_mixer.render(out, frames);
}

std::uint64_t MovieSound::time() const {
    std::lock_guard lock(m_mutex);
    return m_mixer.time();
}

void MovieSound::stopAll() {
    std::lock_guard lock(m_mutex);
    dropPending();
    m_mixer.stopAll();
    for (auto& [key, state] : m_clips) {
        state->streamRunning = false;
        state->voice = 0;
    }
}

const MovieClip* MovieSound::clockClip() const {
    std::lock_guard lock(m_mutex);
    const void* best = nullptr;
    std::uint64_t bestOrder = 0;
    for (const auto& [key, state] : m_clips) {
        if (!state->streamRunning || state->scrub || !m_mixer.isPlaying(state->voice))
            continue;
        // The root's stream leads; otherwise the stream that started first.
        if (key == m_root)
            return m_root;
        if (!best || state->order < bestOrder) {
            best = key;
            bestOrder = state->order;
        }
    }
    return static_cast<const MovieClip*>(best);
}

std::optional<double> MovieSound::streamPosition(const MovieClip* clip, std::uint64_t time) const {
    std::lock_guard lock(m_mutex);
    auto it = m_clips.find(clip);
    if (it == m_clips.end() || !it->second->streamRunning)
        return std::nullopt;
    const auto started = m_mixer.startTime(it->second->voice);
    const auto rate = m_mixer.sourceRate(it->second->voice);
    if (!started || !rate)
        return std::nullopt;
    return time > *started ? double(time - *started) * *rate / kOutputRate : 0.0;
}

std::optional<std::int64_t> MovieSound::stepsDue(std::uint64_t heardTime) const {
    const MovieClip* clip = clockClip();
    const auto heard = clip ? streamPosition(clip, heardTime) : std::nullopt;
    if (!heard)
        return std::nullopt;
    std::lock_guard lock(m_mutex);
    const ClipState& st = *m_clips.at(clip);
    if (!st.timing || st.timing->start.empty())
        return std::nullopt;
    const auto& starts = st.timing->start;
    const auto it = std::upper_bound(starts.begin(), starts.end(), std::uint64_t(*heard));
    const std::size_t index = it == starts.begin() ? 0 : std::size_t(it - starts.begin()) - 1;
    return std::int64_t(st.timing->firstFrame + index) - std::int64_t(st.frame);
}

std::optional<StreamTiming> MovieSound::streamTiming(const MovieClip* clip) const {
    std::lock_guard lock(m_mutex);
    auto it = m_clips.find(clip);
    if (it == m_clips.end() || !it->second->timing)
        return std::nullopt;
    return *it->second->timing;
}

bool MovieSound::streamPlaying(const MovieClip* clip) const {
    std::lock_guard lock(m_mutex);
    auto it = m_clips.find(clip);
    return it != m_clips.end() && it->second->streamRunning && m_mixer.isPlaying(it->second->voice);
}

std::size_t MovieSound::voiceCount() const {
    std::lock_guard lock(m_mutex);
    return m_mixer.voiceCount();
}

const Sound* MovieSound::soundForClass(const QString& name) const {
    for (const auto* names : {&m_movie->symbolClasses, &m_movie->exports}) {
        for (const ExportedAsset& e : *names) {
            if (e.name == name)
                return m_movie->dictionary.findAs<Sound>(e.characterId);
        }
    }
    return nullptr;
}

std::optional<std::uint16_t> MovieSound::soundIdForName(const QString& name) const {
    for (const auto& e : m_movie->exports)
        if (e.name == name)
            return e.characterId;
    for (const auto& e : m_movie->exports)
        if (e.name.compare(name, Qt::CaseInsensitive) == 0)
            return e.characterId;
    return std::nullopt;
}

namespace {

void applyScriptOptions(VoiceOptions& o, const ScriptSoundOptions& options, const PcmBuffer* pcm) {
    o.group = options.group;
    o.loops = options.loops;
    if (options.loopsFromStart && pcm) {
        // The start becomes the voice's in point, where every loop begins.
        const double at = std::max(0.0, options.startSeconds) * pcm->rate;
        o.inPoint = std::uint32_t(std::min(at, double(pcm->frames())));
    } else {
        o.startSeconds = options.startSeconds;
    }
}

} // namespace

VoiceId MovieSound::startSound(std::uint16_t soundId, const ScriptSoundOptions& options) {
    const Sound* s = m_movie->dictionary.findAs<Sound>(soundId);
    return s ? startSound(*s, options) : 0;
}

VoiceId MovieSound::startSound(const Sound& s, const ScriptSoundOptions& options) {
    auto pcm = decoded(s, true);
    std::lock_guard lock(m_mutex);
    VoiceOptions o;
    o.soundId = s.id;
    applyScriptOptions(o, options, pcm.get());
    return m_mixer.play(std::move(pcm), o);
}

VoiceId MovieSound::playDecoded(std::shared_ptr<const PcmBuffer> pcm,
                                const ScriptSoundOptions& options) {
    if (!pcm || pcm->samples.empty())
        return 0;
    std::lock_guard lock(m_mutex);
    VoiceOptions o;
    applyScriptOptions(o, options, pcm.get());
    return m_mixer.play(std::move(pcm), o);
}

VoiceId MovieSound::playFeed(std::shared_ptr<const SoundFeed> feed,
                             const ScriptSoundOptions& options) {
    if (!feed)
        return 0;
    std::lock_guard lock(m_mutex);
    VoiceOptions o;
    o.group = options.group;
    return m_mixer.playFeed(std::move(feed), o);
}

VoiceId MovieSound::playSource(std::unique_ptr<SampleSource> source, const void* group) {
    std::lock_guard lock(m_mutex);
    return m_mixer.playSource(std::move(source), group);
}

void MovieSound::stopVoice(VoiceId voice) {
    std::lock_guard lock(m_mutex);
    m_mixer.stop(voice);
}

std::optional<std::pair<float, float>> MovieSound::peaks(VoiceId voice) const {
    std::lock_guard lock(m_mutex);
    return m_mixer.peaks(voice);
}

std::vector<std::int16_t> MovieSound::recentOutput() const {
    std::lock_guard lock(m_mutex);
    return m_mixer.recentOutput();
}

std::shared_ptr<const PcmBuffer> MovieSound::soundSamples(std::uint16_t soundId) const {
    const Sound* s = m_movie->dictionary.findAs<Sound>(soundId);
    return s ? decoded(*s, true) : nullptr;
}

VoiceId MovieSound::startSound(const QString& linkageName, const ScriptSoundOptions& options) {
    const auto id = soundIdForName(linkageName);
    return id ? startSound(*id, options) : 0;
}

void MovieSound::stopSounds(const void* group) {
    std::lock_guard lock(m_mutex);
    if (!group) {
        dropPending();
        m_mixer.stopAll();
        for (auto& [key, state] : m_clips) {
            state->streamRunning = false;
            state->voice = 0;
        }
        return;
    }
    m_mixer.stopGroup(group);
}

void MovieSound::stopSound(std::uint16_t soundId, const void* group) {
    std::lock_guard lock(m_mutex);
    m_mixer.stopSound(soundId, group, group == nullptr);
}

void MovieSound::setTransform(const void* group, const GroupTransform& t) {
    std::lock_guard lock(m_mutex);
    m_mixer.setGroupTransform(group, t);
}

GroupTransform MovieSound::transform(const void* group) const {
    std::lock_guard lock(m_mutex);
    return m_mixer.groupTransform(group);
}

std::optional<double> MovieSound::positionMs(VoiceId voice) const {
    std::lock_guard lock(m_mutex);
    const auto pos = m_mixer.sourcePosition(voice);
    const auto rate = m_mixer.sourceRate(voice);
    if (!pos || !rate)
        return std::nullopt;
    return double(*pos) * 1000 / *rate;
}

bool MovieSound::voicePlaying(VoiceId voice) const {
    std::lock_guard lock(m_mutex);
    return m_mixer.isPlaying(voice);
}

std::vector<VoiceId> MovieSound::takeFinished() {
    std::lock_guard lock(m_mutex);
    return m_mixer.takeFinished();
}

void MovieSound::dropGroup(const void* group) {
    std::lock_guard lock(m_mutex);
    m_mixer.dropGroup(group);
}

std::optional<double> MovieSound::durationMs(std::uint16_t soundId) const {
    const Sound* s = m_movie->dictionary.findAs<Sound>(soundId);
    return s ? durationMs(*s) : std::nullopt;
}

std::optional<double> MovieSound::durationMs(const Sound& s) const {
    const auto pcm = decoded(s, true);
    if (!pcm)
        return std::nullopt;
    return pcm->rate ? pcm->seconds() * 1000 : 0;
}

} // namespace swf::sound
