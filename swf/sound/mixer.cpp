#include "swf/sound/mixer.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace swf::sound {

struct Mixer::Voice {
    VoiceId id = 0;
    std::uint16_t soundId = 0;
    const void* group = nullptr;

    // A decoded sound...
    std::shared_ptr<const PcmBuffer> pcm;
    std::size_t in = 0, out = 0;
    std::uint32_t loopsLeft = 1;
    std::vector<SoundEnvelopePoint> envelope;
    std::size_t envIndex = 0;
    double envBase44 = 0;
    // ...or a source pulled chunk by chunk...
    std::unique_ptr<SampleSource> source;
    PcmBuffer chunk;
    // ...or a feed still being decoded, read chunk by chunk.
    std::shared_ptr<const SoundFeed> feed;
    std::size_t feedNext = 0;
    bool starved = false; // the last fetch found the feed behind, not ended
    bool refetch = false; // `b` is still to be fetched once the feed has more

    // Voices the script and event rules treat alike: they stop with their group and report
    // when they have played out.
    bool isEvent() const { return pcm || feed; }

    std::size_t pos = 0; // next frame to fetch, in pcm or chunk
    double rate = kOutputRate;
    unsigned channels = 1;
    double phase = 0;
    float a[2] = {0, 0}, b[2] = {0, 0};
    float peak[2] = {0, 0}; // of the last render
    bool primed = false, exhausted = false, done = false;
    std::uint64_t consumed = 0; // source frames fetched
    std::optional<std::uint64_t> started;

    bool fetch(float* f) {
        const std::int16_t* s = nullptr;
        if (pcm) {
            if (pos >= out) {
                if (loopsLeft <= 1 || in >= out)
                    return false;
                --loopsLeft;
                pos = in;
            }
            s = pcm->samples.data() + pos * channels;
        } else {
            while (pos >= chunk.frames()) {
                if (feed) {
                    auto next = feed->chunk(feedNext);
                    if (!next) {
                        // Finished only once no chunk came after the last look.
                        starved = !feed->finished() || feed->chunk(feedNext);
                        return false;
                    }
                    ++feedNext;
                    chunk = *next;
                } else if (!source || !source->next(chunk)) {
                    return false;
                }
                pos = 0;
                if (chunk.channels >= 1 && chunk.channels <= 2 && chunk.rate > 0) {
                    channels = chunk.channels;
                    rate = exactRate(chunk.rate);
                } else {
                    chunk.samples.clear();
                }
            }
            s = chunk.samples.data() + pos * channels;
        }
        ++pos;
        ++consumed;
        f[0] = s[0];
        f[1] = channels == 2 ? s[1] : s[0];
        return true;
    }

    // Envelope levels (0..1) at the current source position.
    void envelopeAt(float& left, float& right) {
        left = right = 1;
        if (envelope.empty())
            return;
        const std::uint64_t ahead = exhausted ? 1 : 2; // fetched beyond the frame playing
        const double playing = consumed > ahead ? double(consumed - ahead) : 0;
        const double p = envBase44 + playing * kOutputRate / rate;
        while (envIndex + 1 < envelope.size() && envelope[envIndex + 1].pos44 <= p)
            ++envIndex;
        const SoundEnvelopePoint& e0 = envelope[envIndex];
        float l = e0.left, r = e0.right;
        if (p > e0.pos44 && envIndex + 1 < envelope.size()) {
            const SoundEnvelopePoint& e1 = envelope[envIndex + 1];
            const double t = (p - e0.pos44) / double(e1.pos44 - e0.pos44);
            l = float(e0.left + (double(e1.left) - e0.left) * t);
            r = float(e0.right + (double(e1.right) - e0.right) * t);
        }
        left = l / 32768.0f;
        right = r / 32768.0f;
        if (channels == 1)
            left = right = (left + right) / 2;
    }
};

namespace {

constexpr std::size_t kMaxFinished = 256;

} // namespace

void SoundFeed::append(std::shared_ptr<const PcmBuffer> chunk) {
    if (!chunk || chunk->channels < 1 || chunk->channels > 2 || chunk->rate == 0 ||
        chunk->samples.empty())
        return;
    std::lock_guard lock(m_mutex);
    if (m_finished)
        return;
    if (!m_chunks.empty() &&
        (m_chunks.front()->rate != chunk->rate || m_chunks.front()->channels != chunk->channels))
        return;
    m_frames += chunk->frames();
    m_chunks.push_back(std::move(chunk));
}

void SoundFeed::finish() {
    std::lock_guard lock(m_mutex);
    m_finished = true;
}

bool SoundFeed::finished() const {
    std::lock_guard lock(m_mutex);
    return m_finished;
}

std::shared_ptr<const PcmBuffer> SoundFeed::chunk(std::size_t i) const {
    std::lock_guard lock(m_mutex);
    return i < m_chunks.size() ? m_chunks[i] : nullptr;
}

std::size_t SoundFeed::frames() const {
    std::lock_guard lock(m_mutex);
    return m_frames;
}

double SoundFeed::seconds() const {
    std::lock_guard lock(m_mutex);
    return m_chunks.empty() ? 0 : double(m_frames) / exactRate(m_chunks.front()->rate);
}

std::shared_ptr<const PcmBuffer> SoundFeed::joined() const {
    std::lock_guard lock(m_mutex);
    auto out = std::make_shared<PcmBuffer>();
    if (m_chunks.empty())
        return out;
    out->rate = m_chunks.front()->rate;
    out->channels = m_chunks.front()->channels;
    out->samples.reserve(m_frames * out->channels);
    for (const auto& c : m_chunks)
        out->samples.insert(out->samples.end(), c->samples.begin(), c->samples.end());
    return out;
}

GroupTransform GroupTransform::panned(double volume, double pan) {
    GroupTransform t;
    t.volume = volume;
    pan = std::clamp(pan, -100.0, 100.0);
    if (pan < 0)
        t.rr = 100 + pan;
    else
        t.ll = 100 - pan;
    return t;
}

Mixer::Mixer() = default;
Mixer::~Mixer() = default;

namespace {

// A full mixer gives up its oldest event sound for a new voice; with none to give up, the new
// voice is refused.
template <typename Voices> bool makeRoom(Voices& voices, std::size_t most) {
    if (voices.size() < most)
        return true;
    auto oldest =
        std::find_if(voices.begin(), voices.end(), [](const auto& x) { return x->isEvent(); });
    if (oldest == voices.end())
        return false;
    voices.erase(oldest);
    return true;
}

} // namespace

VoiceId Mixer::play(std::shared_ptr<const PcmBuffer> pcm, const VoiceOptions& o) {
    if (!pcm || pcm->channels < 1 || pcm->channels > 2 || pcm->rate == 0)
        return 0;
    auto v = std::make_unique<Voice>();
    v->id = m_nextId++;
    v->soundId = o.soundId;
    v->group = o.group;
    v->channels = pcm->channels;
    v->rate = exactRate(pcm->rate);
    const std::size_t frames = pcm->frames();
    v->out = std::min<std::size_t>(frames, o.outPoint.value_or(std::uint32_t(frames)));
    v->in = std::min<std::size_t>(o.inPoint, v->out);
    v->loopsLeft = std::max<std::uint32_t>(1, o.loops);
    v->pos = v->in;
    if (o.startSeconds > 0) {
        const double skip = o.startSeconds * v->rate;
        const std::size_t len = v->out - v->in;
        if (len == 0 || skip >= double(len) * v->loopsLeft)
            return 0;
        const std::size_t whole = std::size_t(skip);
        v->loopsLeft -= std::uint32_t(whole / len);
        v->pos = v->in + whole % len;
        v->consumed = whole;
    }
    v->envelope = o.envelope;
    std::stable_sort(v->envelope.begin(), v->envelope.end(),
                     [](const auto& x, const auto& y) { return x.pos44 < y.pos44; });
    v->envBase44 = double(v->in) * kOutputRate / v->rate;
    v->pcm = std::move(pcm);
    if (!makeRoom(m_voices, kMaxVoices))
        return 0;
    m_voices.push_back(std::move(v));
    return m_voices.back()->id;
}

VoiceId Mixer::playSource(std::unique_ptr<SampleSource> source, const void* group) {
    if (!source)
        return 0;
    if (!makeRoom(m_voices, kMaxVoices))
        return 0;
    auto v = std::make_unique<Voice>();
    v->id = m_nextId++;
    v->group = group;
    v->source = std::move(source);
    m_voices.push_back(std::move(v));
    return m_voices.back()->id;
}

VoiceId Mixer::playFeed(std::shared_ptr<const SoundFeed> feed, const VoiceOptions& options) {
    if (!feed)
        return 0;
    if (!makeRoom(m_voices, kMaxVoices))
        return 0;
    auto v = std::make_unique<Voice>();
    v->id = m_nextId++;
    v->soundId = options.soundId;
    v->group = options.group;
    v->feed = std::move(feed);
    m_voices.push_back(std::move(v));
    return m_voices.back()->id;
}

Mixer::Voice* Mixer::find(VoiceId id) const {
    for (const auto& v : m_voices)
        if (v->id == id && !v->done)
            return v.get();
    return nullptr;
}

void Mixer::stop(VoiceId id) {
    std::erase_if(m_voices, [id](const auto& v) { return v->id == id; });
}

void Mixer::stopSound(std::uint16_t soundId, const void* group, bool anyGroup) {
    std::erase_if(m_voices, [&](const auto& v) {
        return v->isEvent() && v->soundId == soundId && (anyGroup || v->group == group);
    });
}

void Mixer::stopGroup(const void* group) {
    std::erase_if(m_voices, [&](const auto& v) { return v->isEvent() && v->group == group; });
}

void Mixer::stopAll() {
    m_voices.clear();
}

bool Mixer::isPlaying(VoiceId id) const {
    return find(id) != nullptr;
}

bool Mixer::isSoundPlaying(std::uint16_t soundId) const {
    return std::any_of(m_voices.begin(), m_voices.end(), [&](const auto& v) {
        return v->isEvent() && !v->done && v->soundId == soundId;
    });
}

void Mixer::setGroupTransform(const void* group, const GroupTransform& t) {
    m_groups[group] = t;
}

GroupTransform Mixer::groupTransform(const void* group) const {
    auto it = m_groups.find(group);
    return it == m_groups.end() ? GroupTransform{} : it->second;
}

void Mixer::dropGroup(const void* group) {
    if (!group)
        return;
    stopGroup(group);
    m_groups.erase(group);
}

std::vector<VoiceId> Mixer::takeFinished() {
    return std::exchange(m_finished, {});
}

std::optional<std::uint64_t> Mixer::sourcePosition(VoiceId id) const {
    const Voice* v = find(id);
    if (!v)
        return std::nullopt;
    // The frame being played is one behind the last fetched.
    const std::uint64_t ahead = v->primed && !v->exhausted ? 2 : 1;
    return v->consumed >= ahead ? v->consumed - ahead : 0;
}

std::optional<std::uint64_t> Mixer::startTime(VoiceId id) const {
    const Voice* v = find(id);
    return v ? v->started : std::nullopt;
}

std::optional<double> Mixer::sourceRate(VoiceId id) const {
    const Voice* v = find(id);
    return v ? std::optional(v->rate) : std::nullopt;
}

std::optional<std::pair<float, float>> Mixer::peaks(VoiceId id) const {
    const Voice* v = find(id);
    if (!v || v->done)
        return std::nullopt;
    return std::pair(v->peak[0], v->peak[1]);
}

std::vector<std::int16_t> Mixer::recentOutput() const {
    return m_recent;
}

void Mixer::render(std::int16_t* out, std::size_t frames) {
    m_mix.assign(frames * 2, 0.0f);
    const GroupTransform global = groupTransform(nullptr);
    for (auto& vp : m_voices) {
        Voice& v = *vp;
        if (v.done)
            continue;
        // The voice's channel matrix: its group's, then the whole movie's, times both volumes.
        double m[4] = {global.ll, global.lr, global.rl, global.rr};
        double volume = global.volume;
        if (v.group) {
            const GroupTransform own = groupTransform(v.group);
            const double o[4] = {own.ll, own.lr, own.rl, own.rr};
            const double g[4] = {m[0], m[1], m[2], m[3]};
            m[0] = (g[0] * o[0] + g[1] * o[2]) / 100;
            m[1] = (g[0] * o[1] + g[1] * o[3]) / 100;
            m[2] = (g[2] * o[0] + g[3] * o[2]) / 100;
            m[3] = (g[2] * o[1] + g[3] * o[3]) / 100;
            volume = volume * own.volume / 100;
        }
        float k[4];
        for (int c = 0; c < 4; ++c)
            k[c] = float(m[c] * volume / 10000);

        std::size_t i = 0;
        // A feed that is behind leaves its voice silent, waiting where it stopped.
        v.starved = false;
        if (!v.primed) {
            if (!v.fetch(v.a)) {
                if (!v.starved)
                    v.done = true;
                continue;
            }
            v.primed = true;
            v.refetch = true;
        }
        if (v.refetch) {
            v.starved = false;
            if (!v.fetch(v.b)) {
                if (v.starved)
                    continue;
                v.exhausted = true;
                std::copy(v.a, v.a + 2, v.b);
            }
            v.refetch = false;
        }
        if (!v.started)
            v.started = m_time;
        const double step = v.rate / kOutputRate;
        float peakL = 0, peakR = 0;
        for (; i < frames; ++i) {
            float el, er;
            v.envelopeAt(el, er);
            const float p = float(v.phase);
            const float l = (v.a[0] + (v.b[0] - v.a[0]) * p) * el;
            const float r = (v.a[1] + (v.b[1] - v.a[1]) * p) * er;
            const float outL = k[0] * l + k[1] * r, outR = k[2] * l + k[3] * r;
            m_mix[2 * i] += outL;
            m_mix[2 * i + 1] += outR;
            peakL = std::max(peakL, std::abs(outL));
            peakR = std::max(peakR, std::abs(outR));
            v.phase += step;
            while (v.phase >= 1) {
                v.phase -= 1;
                if (v.exhausted) {
                    v.done = true;
                    break;
                }
                std::copy(v.b, v.b + 2, v.a);
                // The last frame still plays, held rather than faded into silence.
                v.starved = false;
                if (!v.fetch(v.b)) {
                    if (v.starved) {
                        v.refetch = true;
                        break;
                    }
                    v.exhausted = true;
                    std::copy(v.a, v.a + 2, v.b);
                }
            }
            if (v.done || v.refetch)
                break;
        }
        v.peak[0] = std::min(1.0f, peakL / 32768.0f);
        v.peak[1] = std::min(1.0f, peakR / 32768.0f);
    }
    for (std::size_t i = 0; i < frames * 2; ++i)
        out[i] = std::int16_t(std::lrint(std::clamp(m_mix[i], -32768.0f, 32767.0f)));
    // Keep the newest kRecentFrames of what was just mixed.
    const std::size_t keep = std::min(frames, kRecentFrames);
    std::move(m_recent.begin() + std::ptrdiff_t(2 * keep), m_recent.end(), m_recent.begin());
    std::copy(out + 2 * (frames - keep), out + 2 * frames,
              m_recent.end() - std::ptrdiff_t(2 * keep));
    m_time += frames;
    std::erase_if(m_voices, [this](const auto& v) {
        if (v->done && v->isEvent())
            m_finished.push_back(v->id);
        return v->done;
    });
    if (m_finished.size() > kMaxFinished)
        m_finished.erase(m_finished.begin(), m_finished.end() - std::ptrdiff_t(kMaxFinished / 2));
}

} // namespace swf::sound
