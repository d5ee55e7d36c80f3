// flash.media: Sound (library sounds by class, loaded MP3 files, sounds generated through
// sampleData), SoundChannel, SoundTransform and SoundMixer, all on the movie's one mixer
// (sound::MovieSound), so the timeline's sounds and the scripts' mix together and exports
// record both. Each channel is a volume group of its own on the mixer.

#include "swf/avm2/media.h"
#include "swf/characters.h"
#include "swf/files.h"
#include "swf/movie.h"
#include "swf/sound/decoder.h"
#include "swf/sound/moviesound.h"
#include "swf/sound/mp3file.h"

#include <QtEndian>
#include <cmath>
#include <complex>
#include <cstring>
#include <deque>
#include <mutex>
#include <numbers>

namespace swf::avm2 {

// --- What sounds and loaders share ---

MediaHost& media(VM& vm) {
    if (!vm.mediaHost)
        vm.mediaHost = std::make_shared<MediaHost>();
    return *vm.mediaHost;
}

void keep(VM& vm, Object* o) {
    vm.hostRoots.push_back(o);
}

void unkeep(VM& vm, Object* o) {
    auto it = std::find(vm.hostRoots.begin(), vm.hostRoots.end(), o);
    if (it != vm.hostRoots.end())
        vm.hostRoots.erase(it);
}

void post(VM& vm, DisplayNode* target, const Value& event, std::function<void(VM&)> before) {
    keep(vm, target);
    if (event.object())
        keep(vm, event.object());
    media(vm).pending.push_back({target, event, std::move(before)});
}

void noticeLine(VM& vm, const QString& line) {
    if (vm.noticeHook)
        vm.noticeHook(line);
    else
        std::fprintf(stderr, "%s\n", line.toUtf8().constData());
}

Value makeEvent(VM& vm, const QString& qualified, const QString& type, const QString& text,
                int errorId) {
    Value cls = vm.lookupDefinition(qualified);
    if (!cls.object() || cls.object()->kind != ObjectKind::Class)
        cls = Value(static_cast<Object*>(vm.eventClass));
    const bool error = qualified.endsWith(QLatin1String("ErrorEvent"));
    std::vector<Value> args = {Value(type), Value(false), Value(false)};
    if (error) {
        args.push_back(Value(text));
        args.push_back(Value(std::int32_t(errorId)));
    }
    return vm.construct(cls, args);
}

namespace {

QString qualifiedOf(const Class* c) {
    return c->package.isEmpty() ? c->name : c->package + u'.' + c->name;
}

sound::GroupTransform toGroup(double volume, double ll, double lr, double rl, double rr) {
    auto ok = [](double v) { return std::isfinite(v) ? std::clamp(v, -100.0, 100.0) : 0.0; };
    return {ok(volume) * 100, ok(ll) * 100, ok(lr) * 100, ok(rl) * 100, ok(rr) * 100};
}

// --- SoundTransform ---

class TransformObject : public Object {
public:
    explicit TransformObject(Class* c) : Object(c) {}
    double volume = 1, ll = 1, lr = 0, rl = 0, rr = 1;
    sound::GroupTransform group() const { return toGroup(volume, ll, lr, rl, rr); }
};

Object* allocTransform(VM& vm, Class* c) {
    return vm.make<TransformObject>(c);
}

TransformObject* transformOf(VM& vm, const Value& v) {
    auto* t = dynamic_cast<TransformObject*>(v.object());
    if (!t)
        vm.throwTypeError(1034, QStringLiteral("Type Coercion failed: cannot convert %1 to "
                                               "flash.media.SoundTransform.")
                                    .arg(vm.describe(v)));
    return t;
}

void setPan(TransformObject* t, double pan) {
    // A pan turns the other side down; the side panned to stays whole.
    pan = std::isfinite(pan) ? std::clamp(pan, -1.0, 1.0) : 0.0;
    t->ll = pan > 0 ? 1 - pan : 1;
    t->rr = pan < 0 ? 1 + pan : 1;
    t->lr = t->rl = 0;
}

Value transformCtor(VM& vm, const Value& self, std::span<const Value> a) {
    TransformObject* t = transformOf(vm, self);
    t->volume = a.empty() ? 1 : vm.toNumber(a[0]);
    setPan(t, a.size() < 2 ? 0 : vm.toNumber(a[1]));
    return Value();
}

Value newTransform(VM& vm, const sound::GroupTransform& g) {
    const Value cls = vm.lookupDefinition(QStringLiteral("flash.media::SoundTransform"));
    auto* t = static_cast<TransformObject*>(vm.allocInstance(static_cast<Class*>(cls.object())));
    t->volume = g.volume / 100;
    t->ll = g.ll / 100;
    t->lr = g.lr / 100;
    t->rl = g.rl / 100;
    t->rr = g.rr / 100;
    return Value(static_cast<Object*>(t));
}

#define TRANSFORM_FIELD(field, getter, setter)                                                     \
    Value getter(VM& vm, const Value& self, std::span<const Value>) {                              \
        return Value::number(transformOf(vm, self)->field);                                        \
    }                                                                                              \
    Value setter(VM& vm, const Value& self, std::span<const Value> a) {                            \
        transformOf(vm, self)->field = vm.toNumber(arg(a, 0));                                     \
        return Value();                                                                            \
    }
TRANSFORM_FIELD(volume, getVolume, setVolume)
TRANSFORM_FIELD(ll, getLl, setLl)
TRANSFORM_FIELD(lr, getLr, setLr)
TRANSFORM_FIELD(rl, getRl, setRl)
TRANSFORM_FIELD(rr, getRr, setRr)
#undef TRANSFORM_FIELD

Value getPan(VM& vm, const Value& self, std::span<const Value>) {
    TransformObject* t = transformOf(vm, self);
    return Value::number(t->rr - t->ll);
}
Value putPan(VM& vm, const Value& self, std::span<const Value> a) {
    setPan(transformOf(vm, self), vm.toNumber(arg(a, 0)));
    return Value();
}

// --- Sound ---

// Samples a script generates (sampleData), handed from the script's thread to the mixer's.
struct GeneratedQueue {
    std::mutex mutex;
    std::deque<std::int16_t> samples; // 44.1 kHz stereo, interleaved
    bool ended = false;

    std::size_t frames() {
        std::lock_guard lock(mutex);
        return samples.size() / 2;
    }
};

class GeneratedSource : public sound::SampleSource {
public:
    explicit GeneratedSource(std::shared_ptr<GeneratedQueue> q) : m_q(std::move(q)) {}
    bool next(sound::PcmBuffer& chunk) override {
        std::lock_guard lock(m_q->mutex);
        chunk.rate = sound::kOutputRate;
        chunk.channels = 2;
        chunk.samples.clear();
        if (m_q->samples.empty()) {
            if (m_q->ended)
                return false;
            // The script has not caught up: a moment of silence rather than an end.
            chunk.samples.assign(2 * 256, 0);
            return true;
        }
        const std::size_t n = std::min<std::size_t>(m_q->samples.size(), 2 * 2048);
        chunk.samples.assign(m_q->samples.begin(), m_q->samples.begin() + std::ptrdiff_t(n));
        m_q->samples.erase(m_q->samples.begin(), m_q->samples.begin() + std::ptrdiff_t(n));
        return true;
    }

private:
    std::shared_ptr<GeneratedQueue> m_q;
};

class SoundObject : public DisplayNode {
public:
    SoundObject(Class* c, DisplayTree* t) : DisplayNode(c, t) {}
    std::uint16_t soundId = 0;                   // a library sound
    std::shared_ptr<const sound::PcmBuffer> pcm; // decoded (loaded, or a library sound's)
    bool loadedFile = false;                     // pcm came from Sound.load
    // The MP3's ID3 tags as splitMp3 names them.
    std::vector<std::pair<QString, QString>> id3;
    QString url;
    std::size_t fileBytes = 0;
    std::uint64_t extractAt = 0; // where extract() with no start goes on, 44.1 kHz frames
};

} // namespace

class ChannelObject : public DisplayNode {
public:
    ChannelObject(Class* c, DisplayTree* t) : DisplayNode(c, t) {}
    ~ChannelObject() override {
        if (engine)
            engine->dropGroup(this);
    }
    void traceChildren(std::vector<Object*>& out) override {
        DisplayNode::traceChildren(out);
        if (sound)
            out.push_back(sound);
    }
    std::shared_ptr<sound::MovieSound> engine;
    sound::VoiceId voice = 0;
    Object* sound = nullptr;
    double startMs = 0, positionMs = 0, lengthMs = 0;
    sound::GroupTransform transform;
    std::shared_ptr<GeneratedQueue> generated;
    double generatedFrames = 0; // handed out through sampleData so far
    bool playing = false;
};

namespace {

Object* allocSound(VM& vm, Class* c) {
    return vm.make<SoundObject>(c, vm.displayTree);
}
Object* allocChannel(VM& vm, Class* c) {
    return vm.make<ChannelObject>(c, vm.displayTree);
}

SoundObject* soundOf(VM& vm, const Value& v) {
    auto* s = dynamic_cast<SoundObject*>(v.object());
    if (!s)
        vm.throwTypeError(1004, QStringLiteral("Method was invoked on an incompatible object."));
    return s;
}
ChannelObject* channelOf(VM& vm, const Value& v) {
    auto* c = dynamic_cast<ChannelObject*>(v.object());
    if (!c)
        vm.throwTypeError(1004, QStringLiteral("Method was invoked on an incompatible object."));
    return c;
}

const Movie* movieOf(VM& vm) {
    if (vm.displayTree)
        return &vm.displayTree->player.movie();
    return nullptr;
}

// The DefineSound a class (or a base of it) is linked to by SymbolClass.
const Sound* librarySound(VM& vm, Class* c, std::uint16_t* id) {
    const Movie* movie = movieOf(vm);
    if (!movie)
        return nullptr;
    for (; c; c = c->base) {
        const QString dotted = qualifiedOf(c);
        for (const auto& s : movie->symbolClasses) {
            if (s.characterId == 0 || s.name != dotted)
                continue;
            const Character* ch = movie->character(s.characterId);
            if (ch && ch->type == CharacterType::Sound) {
                *id = s.characterId;
                return static_cast<const Sound*>(ch);
            }
        }
    }
    return nullptr;
}

// The decoded samples of a sound, decoding a library sound on first use.
std::shared_ptr<const sound::PcmBuffer> samplesOf(VM& vm, SoundObject* s) {
    if (s->pcm || !s->soundId)
        return s->pcm;
    if (MediaHost& m = media(vm); m.engine)
        s->pcm = m.engine->soundSamples(s->soundId);
    else if (const Movie* movie = movieOf(vm))
        if (const Sound* snd = movie->dictionary.findAs<Sound>(s->soundId))
            s->pcm = sound::decodeSound(*snd);
    return s->pcm;
}

double lengthMsOf(VM& vm, SoundObject* s) {
    if (s->soundId && !s->pcm) {
        if (const Movie* movie = movieOf(vm))
            if (const Sound* snd = movie->dictionary.findAs<Sound>(s->soundId)) {
                const double rate = sound::exactRate(snd->format.rate);
                return rate > 0 ? snd->sampleCount * 1000.0 / rate : 0;
            }
    }
    return s->pcm ? s->pcm->seconds() * 1000 : 0;
}

QString urlOf(VM& vm, const Value& request) {
    if (request.isNullish())
        vm.throwTypeError(2007, QStringLiteral("Parameter stream must be non-null."));
    if (request.isString())
        return vm.toString(request);
    return vm.toString(vm.getProperty(request, vm.publicName(QStringLiteral("url"))));
}

// Sound.load: an MP3 file under the file rule; the events come on the next frame.
void loadFile(VM& vm, SoundObject* s, const QString& url) {
    s->url = url;
    const files::FileRule rule(vm.moviePath);
    auto bytes = rule.read(url);
    if (!bytes) {
        noticeLine(vm,
                   files::refusalLine(QStringLiteral("Sound.load of"), url, bytes.error().message));
        const bool network = url.contains(QLatin1String("://")) &&
                             !url.startsWith(QLatin1String("file:"), Qt::CaseInsensitive);
        post(vm, s,
             network
                 ? makeEvent(vm, QStringLiteral("flash.events::SecurityErrorEvent"),
                             QStringLiteral("securityError"),
                             QStringLiteral("Error #2047: Security sandbox violation: %1").arg(url),
                             2047)
                 : makeEvent(vm, QStringLiteral("flash.events::IOErrorEvent"),
                             QStringLiteral("ioError"),
                             QStringLiteral("Error #2032: Stream Error. URL: %1").arg(url), 2032));
        return;
    }
    const QByteArray& data = *bytes;
    const auto mp3 = sound::splitMp3(std::span(
        reinterpret_cast<const std::uint8_t*>(data.constData()), std::size_t(data.size())));
    auto pcm = sound::decodeMp3(mp3.audio);
    if (!pcm || pcm->samples.empty()) {
        noticeLine(vm, QStringLiteral("Sound.load of %1: it holds no MP3 sound").arg(url));
        post(vm, s,
             makeEvent(vm, QStringLiteral("flash.events::IOErrorEvent"), QStringLiteral("ioError"),
                       QStringLiteral("Error #2032: Stream Error. URL: %1").arg(url), 2032));
        return;
    }
    s->pcm = std::move(pcm);
    s->loadedFile = true;
    s->fileBytes = std::size_t(data.size());
    s->id3 = mp3.id3;
    post(vm, s, makeEvent(vm, QStringLiteral("flash.events::Event"), QStringLiteral("open")));
    // The tags are read as the file arrives: id3 comes before the whole file is complete.
    if (!s->id3.empty())
        post(vm, s, makeEvent(vm, QStringLiteral("flash.events::Event"), QStringLiteral("id3")));
    post(vm, s, makeEvent(vm, QStringLiteral("flash.events::Event"), QStringLiteral("complete")));
}

// A library sound in MP3 may carry ID3 tags in its data too (after its SeekSamples); they are
// read when the Sound is made, and announced on the next frame.
void readLibraryId3(VM& vm, SoundObject* s) {
    const Movie* movie = movieOf(vm);
    const Sound* snd = movie ? movie->dictionary.findAs<Sound>(s->soundId) : nullptr;
    if (!snd || snd->format.codec != 2 || snd->data.size() < 2)
        return;
    s->id3 = sound::splitMp3(snd->data.subspan(2)).id3;
    if (!s->id3.empty())
        post(vm, s, makeEvent(vm, QStringLiteral("flash.events::Event"), QStringLiteral("id3")));
}

// Sound.id3: an ID3Info with the documented fields (null when the file has none, or before
// its tags were read) and every ID3 2 text frame by its id.
Value soundId3(VM& vm, const Value& self, std::span<const Value>) {
    SoundObject* s = soundOf(vm, self);
    const Value info =
        vm.construct(vm.lookupDefinition(QStringLiteral("flash.media::ID3Info")), {});
    Object* o = info.object();
    if (!o)
        return Value::null();
    static const std::pair<const char*, const char*> kFields[] = {
        {"songname", "songName"}, {"artist", "artist"}, {"album", "album"}, {"year", "year"},
        {"comment", "comment"},   {"genre", "genre"},   {"track", "track"}};
    for (const auto& [from, to] : kFields)
        o->setDynamic(QString::fromLatin1(to), Value::null());
    for (const auto& [name, value] : s->id3) {
        QString key = name;
        for (const auto& [from, to] : kFields)
            if (name == QLatin1String(from))
                key = QString::fromLatin1(to);
        o->setDynamic(key, Value(value));
    }
    return info;
}

Value soundCtor(VM& vm, const Value& self, std::span<const Value> a) {
    SoundObject* s = soundOf(vm, self);
    s->constructed = true;
    if (!librarySound(vm, s->cls, &s->soundId)) {
        // A loaded movie's library sound: the main movie's mixer does not know its ids, so it
        // plays from its samples, as a loaded sound does.
        const auto [movie, id] = linkedSymbol(vm, s->cls);
        const Character* c = movie ? movie->character(id) : nullptr;
        if (c && c->type == CharacterType::Sound && movie != movieOf(vm))
            s->pcm = sound::decodeSound(*static_cast<const Sound*>(c));
    }
    if (s->soundId)
        readLibraryId3(vm, s);
    if (!arg(a, 0).isNullish())
        loadFile(vm, s, urlOf(vm, arg(a, 0)));
    return Value();
}

Value soundLoad(VM& vm, const Value& self, std::span<const Value> a) {
    SoundObject* s = soundOf(vm, self);
    if (s->soundId || s->loadedFile)
        vm.throwError("IOError", 2037,
                      QStringLiteral("Functions called in incorrect sequence, or earlier call was "
                                     "unsuccessful."));
    loadFile(vm, s, urlOf(vm, arg(a, 0)));
    return Value();
}

Value soundLength(VM& vm, const Value& self, std::span<const Value>) {
    return Value::number(lengthMsOf(vm, soundOf(vm, self)));
}
Value soundBytes(VM& vm, const Value& self, std::span<const Value>) {
    SoundObject* s = soundOf(vm, self);
    return Value::fromUint(std::uint32_t(s->fileBytes));
}
Value soundUrl(VM& vm, const Value& self, std::span<const Value>) {
    SoundObject* s = soundOf(vm, self);
    return s->url.isEmpty() ? Value::null() : Value(s->url);
}
Value soundFalse(VM&, const Value&, std::span<const Value>) {
    return Value(false);
}
Value soundClose(VM&, const Value&, std::span<const Value>) {
    return Value();
}

// Asks a generated sound's script for more samples until a good lead is queued or it stops.
void refill(VM& vm, ChannelObject* ch) {
    constexpr std::size_t kLead = 8192; // frames (about 0.19 s) ahead of the mixer
    auto* s = static_cast<SoundObject*>(ch->sound);
    for (int round = 0; round < 8 && !ch->generated->ended && ch->generated->frames() < kLead;
         ++round) {
        const Value bytes = vm.construct(Value(static_cast<Object*>(vm.byteArrayClass)), {});
        const Value ev = makeEvent(vm, QStringLiteral("flash.events::SampleDataEvent"),
                                   QStringLiteral("sampleData"));
        vm.setProperty(ev, vm.publicName(QStringLiteral("data")), bytes);
        vm.setProperty(ev, vm.publicName(QStringLiteral("position")),
                       Value::number(ch->generatedFrames));
        dispatchEvent(vm, s, ev);
        const std::vector<std::uint8_t>* data = vm.domainMemoryBytes(bytes.object());
        const bool little =
            vm.toString(vm.getProperty(bytes, vm.publicName(QStringLiteral("endian")))) ==
            QLatin1String("littleEndian");
        // At most 8192 frames an event; fewer than 2048 end the sound once they have played.
        const std::size_t frames = data ? std::min<std::size_t>(data->size() / 8, 8192) : 0;
        std::vector<std::int16_t> out(frames * 2);
        for (std::size_t i = 0; i < frames * 2; ++i) {
            std::uint32_t bits;
            std::memcpy(&bits, data->data() + 4 * i, 4);
            bits = little ? qFromLittleEndian(bits) : qFromBigEndian(bits);
            float f;
            std::memcpy(&f, &bits, 4);
            out[i] = std::int16_t(
                std::lrint(std::clamp(std::isfinite(f) ? f : 0.0f, -1.0f, 1.0f) * 32767.0f));
        }
        ch->generatedFrames += double(frames);
        std::lock_guard lock(ch->generated->mutex);
        ch->generated->samples.insert(ch->generated->samples.end(), out.begin(), out.end());
        if (frames < 2048)
            ch->generated->ended = true;
    }
}

// play(startTime = 0, loops = 0, sndTransform = null): a channel, or null when the sound has
// nothing to play (no samples, no sampleData listener) or the mixer has no voice left.
Value soundPlay(VM& vm, const Value& self, std::span<const Value> a) {
    SoundObject* s = soundOf(vm, self);
    MediaHost& m = media(vm);
    const double startMs =
        std::max(0.0, std::isfinite(vm.toNumber(arg(a, 0))) ? vm.toNumber(arg(a, 0)) : 0.0);
    const std::int32_t loops = std::clamp(vm.toInt32(arg(a, 1)), 0, 1 << 20);
    Class* cc = classNamed(vm, "flash.media::SoundChannel");
    if (!cc)
        return Value::null();
    auto* ch = static_cast<ChannelObject*>(vm.allocInstance(cc));
    ch->engine = m.engine;
    ch->sound = s;
    ch->startMs = startMs;
    ch->positionMs = startMs;
    if (!arg(a, 2).isNullish())
        ch->transform = transformOf(vm, arg(a, 2))->group();
    const bool generated = !s->soundId && !s->pcm &&
                           s->listeners.count(QStringLiteral("sampleData")) &&
                           !s->listeners[QStringLiteral("sampleData")].empty();
    if (!s->soundId && !s->pcm && !generated)
        return Value::null();
    ch->lengthMs = lengthMsOf(vm, s);
    if (m.engine)
        m.engine->setTransform(ch, ch->transform);
    if (generated) {
        ch->generated = std::make_shared<GeneratedQueue>();
        refill(vm, ch);
        if (m.engine)
            ch->voice = m.engine->playSource(std::make_unique<GeneratedSource>(ch->generated), ch);
    } else if (m.engine) {
        sound::ScriptSoundOptions o;
        o.startSeconds = startMs / 1000;
        o.loops = std::uint32_t(std::max(1, loops));
        o.loopsFromStart = true; // each loop goes back to startTime, as documented
        o.group = ch;
        ch->voice = s->soundId && !s->loadedFile ? m.engine->startSound(s->soundId, o)
                                                 : m.engine->playDecoded(s->pcm, o);
    }
    if (m.engine && !ch->voice)
        return Value::null(); // no voice left
    // Without an engine (no sound output) the channel is silent and never completes.
    ch->playing = m.engine != nullptr;
    if (ch->playing) {
        m.channels.push_back(ch);
        keep(vm, ch);
    }
    return Value(static_cast<Object*>(ch));
}

// extract(target, length, startPosition = -1): up to `length` 44.1 kHz stereo frames of the
// sound as 32-bit floats written at the target's position; how many were written.
Value soundExtract(VM& vm, const Value& self, std::span<const Value> a) {
    SoundObject* s = soundOf(vm, self);
    std::vector<std::uint8_t>* data = vm.domainMemoryBytes(arg(a, 0).object());
    if (!data)
        vm.throwTypeError(2007, QStringLiteral("Parameter target must be non-null."));
    const double want = vm.toNumber(arg(a, 1));
    const double start = a.size() > 2 ? vm.toNumber(a[2]) : -1;
    auto pcm = samplesOf(vm, s);
    if (!pcm || pcm->frames() == 0 || !(want > 0))
        return Value(std::int32_t(0));
    const double step = double(pcm->rate) / sound::kOutputRate;
    const auto total = std::uint64_t(double(pcm->frames()) / step);
    std::uint64_t from = start >= 0 && std::isfinite(start) ? std::uint64_t(start) : s->extractAt;
    if (from >= total)
        return Value(std::int32_t(0));
    // Bounded: at most a minute of sound per call.
    const std::uint64_t n =
        std::min<std::uint64_t>({std::uint64_t(std::min(want, 44100.0 * 60)), total - from});
    const Value target = arg(a, 0);
    const Name position = vm.publicName(QStringLiteral("position"));
    const std::size_t at = vm.toUint32(vm.getProperty(target, position));
    const bool little =
        vm.toString(vm.getProperty(target, vm.publicName(QStringLiteral("endian")))) ==
        QLatin1String("littleEndian");
    // The same cap as ByteArray's own writes: a script's position cannot ask for gigabytes.
    constexpr std::size_t kMaxBytes = std::size_t(512) << 20;
    if (at + n * 8 > kMaxBytes)
        vm.throwError("MemoryError", 1000, QStringLiteral("The system is out of memory."));
    if (at + n * 8 > data->size())
        data->resize(at + n * 8);
    const unsigned chans = pcm->channels ? pcm->channels : 1;
    auto sampleAt = [&](std::size_t frame, unsigned c) {
        frame = std::min(frame, pcm->frames() - 1);
        return pcm->samples[frame * chans + std::min(c, chans - 1)] / 32768.0f;
    };
    for (std::uint64_t i = 0; i < n; ++i) {
        const double src = double(from + i) * step;
        const auto f0 = std::size_t(src);
        const float t = float(src - double(f0));
        for (unsigned c = 0; c < 2; ++c) {
            const float v = sampleAt(f0, c) + (sampleAt(f0 + 1, c) - sampleAt(f0, c)) * t;
            std::uint32_t bits;
            std::memcpy(&bits, &v, 4);
            bits = little ? qToLittleEndian(bits) : qToBigEndian(bits);
            std::memcpy(data->data() + at + (i * 2 + c) * 4, &bits, 4);
        }
    }
    s->extractAt = from + n;
    vm.setProperty(target, position, Value::fromUint(std::uint32_t(at + n * 8)));
    return Value::number(double(n));
}

// --- SoundChannel ---

void finish(VM& vm, ChannelObject* ch) {
    ch->playing = false;
    std::erase(media(vm).channels, ch);
    unkeep(vm, ch);
}

Value channelPosition(VM& vm, const Value& self, std::span<const Value>) {
    ChannelObject* ch = channelOf(vm, self);
    // The mixer counts what the voice played, loops included; every loop plays from the start
    // time to the end, and the position goes back with it.
    if (ch->playing && ch->engine && !ch->generated)
        if (auto played = ch->engine->positionMs(ch->voice)) {
            const double loop = ch->lengthMs - ch->startMs;
            ch->positionMs = ch->startMs + (loop > 0 ? std::fmod(*played, loop) : 0.0);
        }
    return Value::number(ch->positionMs);
}

Value channelStop(VM& vm, const Value& self, std::span<const Value>) {
    ChannelObject* ch = channelOf(vm, self);
    if (!ch->playing)
        return Value();
    channelPosition(vm, self, {});
    if (ch->engine)
        ch->engine->stopVoice(ch->voice);
    finish(vm, ch);
    return Value();
}

Value channelPeak(VM& vm, const Value& self, bool left) {
    ChannelObject* ch = channelOf(vm, self);
    if (!ch->playing || !ch->engine)
        return Value::number(0);
    const auto p = ch->engine->peaks(ch->voice);
    return Value::number(p ? (left ? p->first : p->second) : 0.0);
}
Value channelLeftPeak(VM& vm, const Value& self, std::span<const Value>) {
    return channelPeak(vm, self, true);
}
Value channelRightPeak(VM& vm, const Value& self, std::span<const Value>) {
    return channelPeak(vm, self, false);
}

Value channelTransform(VM& vm, const Value& self, std::span<const Value>) {
    return newTransform(vm, channelOf(vm, self)->transform);
}
Value setChannelTransform(VM& vm, const Value& self, std::span<const Value> a) {
    ChannelObject* ch = channelOf(vm, self);
    if (arg(a, 0).isNullish())
        vm.throwTypeError(2007, QStringLiteral("Parameter soundTransform must be non-null."));
    ch->transform = transformOf(vm, arg(a, 0))->group();
    if (ch->engine)
        ch->engine->setTransform(ch, ch->transform);
    return Value();
}

Value channelCtorRefused(VM& vm, const Value&, std::span<const Value>) {
    vm.throwError("ArgumentError", 2012,
                  QStringLiteral("SoundChannel class cannot be instantiated."));
}

// --- SoundMixer ---

Value mixerStopAll(VM& vm, const Value&, std::span<const Value>) {
    MediaHost& m = media(vm);
    if (m.engine)
        m.engine->stopAll();
    for (ChannelObject* ch : std::vector<ChannelObject*>(m.channels)) {
        channelPosition(vm, Value(static_cast<Object*>(ch)), {});
        finish(vm, ch);
    }
    return Value();
}

Value mixerTransform(VM& vm, const Value&, std::span<const Value>) {
    MediaHost& m = media(vm);
    return newTransform(vm, m.engine ? m.engine->transform(nullptr) : sound::GroupTransform{});
}
Value setMixerTransform(VM& vm, const Value&, std::span<const Value> a) {
    if (arg(a, 0).isNullish())
        vm.throwTypeError(2007, QStringLiteral("Parameter soundTransform must be non-null."));
    const sound::GroupTransform g = transformOf(vm, arg(a, 0))->group();
    if (MediaHost& m = media(vm); m.engine)
        m.engine->setTransform(nullptr, g);
    return Value();
}

// computeSpectrum(outputArray, FFTMode = false, stretchFactor = 0): 512 floats, the left
// channel's 256 then the right's, of what was mixed last: the wave (-1..1), or with FFTMode
// the magnitudes of its frequencies, low to high (0..1 for a full-scale sine).
Value mixerSpectrum(VM& vm, const Value&, std::span<const Value> a) {
    std::vector<std::uint8_t>* data = vm.domainMemoryBytes(arg(a, 0).object());
    if (!data)
        vm.throwTypeError(2007, QStringLiteral("Parameter outputArray must be non-null."));
    const bool fft = VM::toBoolean(arg(a, 1));
    const int stretch = std::clamp(vm.toInt32(arg(a, 2)), 0, 1);
    MediaHost& m = media(vm);
    std::vector<std::int16_t> recent =
        m.engine ? m.engine->recentOutput()
                 : std::vector<std::int16_t>(2 * sound::Mixer::kRecentFrames, 0);
    const std::size_t frames = recent.size() / 2;
    std::vector<float> out(512, 0.0f);
    const std::size_t stride = std::size_t(stretch) + 1;
    for (unsigned c = 0; c < 2; ++c) {
        if (!fft) {
            // The newest 256 samples (every stride-th), oldest first.
            for (std::size_t i = 0; i < 256; ++i) {
                const std::size_t f = frames - (256 - i) * stride;
                out[c * 256 + i] = recent[2 * f + c] / 32768.0f;
            }
            continue;
        }
        // A 512-point transform of the newest samples under a Hann window.
        constexpr std::size_t kN = 512;
        std::vector<std::complex<double>> x(kN);
        for (std::size_t i = 0; i < kN; ++i) {
            const std::size_t back = (kN - i) * stride;
            const double v = back <= frames ? recent[2 * (frames - back) + c] / 32768.0 : 0.0;
            const double w = 0.5 - 0.5 * std::cos(2 * std::numbers::pi * double(i) / (kN - 1));
            x[i] = v * w;
        }
        // Radix-2 in place.
        for (std::size_t i = 1, j = 0; i < kN; ++i) {
            std::size_t bit = kN >> 1;
            for (; j & bit; bit >>= 1)
                j ^= bit;
            j ^= bit;
            if (i < j)
                std::swap(x[i], x[j]);
        }
        for (std::size_t len = 2; len <= kN; len <<= 1) {
            const std::complex<double> wl = std::polar(1.0, -2 * std::numbers::pi / double(len));
            for (std::size_t i = 0; i < kN; i += len) {
                std::complex<double> w = 1;
                for (std::size_t k = 0; k < len / 2; ++k) {
                    const auto u = x[i + k], v = x[i + k + len / 2] * w;
                    x[i + k] = u + v;
                    x[i + k + len / 2] = u - v;
                    w *= wl;
                }
            }
        }
        // A full-scale sine under the window peaks at N/4.
        for (std::size_t i = 0; i < 256; ++i)
            out[c * 256 + i] = float(std::min(1.0, std::abs(x[i]) / (kN / 4.0)));
    }
    const bool little =
        vm.toString(vm.getProperty(arg(a, 0), vm.publicName(QStringLiteral("endian")))) ==
        QLatin1String("littleEndian");
    data->assign(512 * 4, 0);
    for (std::size_t i = 0; i < 512; ++i) {
        std::uint32_t bits;
        std::memcpy(&bits, &out[i], 4);
        bits = little ? qToLittleEndian(bits) : qToBigEndian(bits);
        std::memcpy(data->data() + 4 * i, &bits, 4);
    }
    vm.setProperty(arg(a, 0), vm.publicName(QStringLiteral("position")), Value(std::int32_t(0)));
    return Value();
}

Value mixerBufferTime(VM&, const Value&, std::span<const Value>) {
    return Value(std::int32_t(0));
}
Value ignore(VM&, const Value&, std::span<const Value>) {
    return Value();
}

// Event classes of flash.media's and the loaders' events: their fields as plain properties.
Value errorEventCtor(VM& vm, const Value& self, std::span<const Value> a) {
    vm.eventClass->iinit.native(vm, self, a.first(std::min<std::size_t>(a.size(), 3)));
    vm.setProperty(self, vm.publicName(QStringLiteral("text")),
                   a.size() > 3 ? Value(vm.toString(a[3])) : Value(QString()));
    vm.setProperty(self, vm.publicName(QStringLiteral("errorID")),
                   Value(a.size() > 4 ? vm.toInt32(a[4]) : std::int32_t(0)));
    return Value();
}
Value sampleDataEventCtor(VM& vm, const Value& self, std::span<const Value> a) {
    vm.eventClass->iinit.native(vm, self, a.first(std::min<std::size_t>(a.size(), 3)));
    vm.setProperty(self, vm.publicName(QStringLiteral("position")),
                   a.size() > 3 ? Value::number(vm.toNumber(a[3])) : Value::number(0));
    vm.setProperty(self, vm.publicName(QStringLiteral("data")),
                   a.size() > 4 ? a[4] : Value::null());
    return Value();
}
Value progressEventCtor(VM& vm, const Value& self, std::span<const Value> a) {
    vm.eventClass->iinit.native(vm, self, a.first(std::min<std::size_t>(a.size(), 3)));
    vm.setProperty(self, vm.publicName(QStringLiteral("bytesLoaded")),
                   Value::number(a.size() > 3 ? vm.toNumber(a[3]) : 0));
    vm.setProperty(self, vm.publicName(QStringLiteral("bytesTotal")),
                   Value::number(a.size() > 4 ? vm.toNumber(a[4]) : 0));
    return Value();
}

Class* eventSubclass(VM& vm, const char* name, NativeFn ctor,
                     std::initializer_list<std::pair<const char*, const char*>> types,
                     Class* base = nullptr) {
    Class* c = vm.defineNativeClass(QStringLiteral("flash.events"), QString::fromLatin1(name),
                                    base ? base : vm.eventClass, allocDisplayNode);
    c->isSealed = false;
    c->iinit.native = ctor;
    for (auto [k, v] : types)
        vm.addStaticValue(c, QString::fromLatin1(k), Value(QString::fromLatin1(v)));
    return c;
}

} // namespace

void setSoundEngine(VM& vm, std::shared_ptr<sound::MovieSound> engine) {
    media(vm).engine = std::move(engine);
}

void pumpMedia(VM& vm) {
    MediaHost& m = media(vm);
    // Events that arrived since the last frame, in order (handlers may post more: those wait).
    std::vector<MediaHost::Pending> due = std::exchange(m.pending, {});
    for (std::size_t i = 0; i < due.size(); ++i) {
        auto release = [&] {
            unkeep(vm, due[i].target);
            if (due[i].event.object())
                unkeep(vm, due[i].event.object());
        };
        try {
            if (due[i].before)
                due[i].before(vm);
            dispatchEvent(vm, due[i].target, due[i].event);
        } catch (...) {
            // A listener's error ends this dispatch only: the rest wait for the next frame.
            release();
            m.pending.insert(m.pending.begin(), due.begin() + std::ptrdiff_t(i + 1), due.end());
            throw;
        }
        release();
    }
    if (!m.engine)
        return;
    // Generated sounds ask for more; channels that played to their end say so.
    for (ChannelObject* ch : std::vector<ChannelObject*>(m.channels)) {
        if (!ch->playing)
            continue;
        // Asked of the mixer each time, so that a listener's error cannot lose an ending.
        const bool done = !m.engine->voicePlaying(ch->voice);
        if (ch->generated && !done) {
            if (auto played = m.engine->positionMs(ch->voice))
                ch->positionMs = *played;
            refill(vm, ch);
        }
        if (!done)
            continue;
        ch->positionMs =
            ch->generated ? ch->generatedFrames * 1000 / sound::kOutputRate : ch->lengthMs;
        finish(vm, ch);
        keep(vm, ch); // through its own event
        try {
            dispatchSimple(vm, ch, QStringLiteral("soundComplete"), false);
        } catch (...) {
            unkeep(vm, ch);
            throw;
        }
        unkeep(vm, ch);
    }
}

bool namesMedia(const Movie& movie) {
    static const QByteArray kName("flash.media");
    for (const AbcBlock& b : movie.abcBlocks)
        if (QByteArrayView(b.data.data(), qsizetype(b.data.size())).indexOf(kName) >= 0)
            return true;
    return false;
}

void installSound(VM& vm) {
    const QString mediaNs = QStringLiteral("flash.media");
    Class* st = vm.defineNativeClass(mediaNs, QStringLiteral("SoundTransform"), vm.objectClass,
                                     allocTransform, true);
    st->iinit.native = transformCtor;
    vm.addGetter(st, QStringLiteral("volume"), getVolume, setVolume);
    vm.addGetter(st, QStringLiteral("pan"), getPan, putPan);
    vm.addGetter(st, QStringLiteral("leftToLeft"), getLl, setLl);
    vm.addGetter(st, QStringLiteral("leftToRight"), getLr, setLr);
    vm.addGetter(st, QStringLiteral("rightToLeft"), getRl, setRl);
    vm.addGetter(st, QStringLiteral("rightToRight"), getRr, setRr);

    Class* snd =
        vm.defineNativeClass(mediaNs, QStringLiteral("Sound"), vm.eventDispatcherClass, allocSound);
    snd->iinit.native = soundCtor;
    for (auto [n, f] : {std::pair<const char*, NativeFn>{"play", soundPlay},
                        {"load", soundLoad},
                        {"extract", soundExtract},
                        {"close", soundClose}}) {
        vm.addMethod(snd, QString::fromLatin1(n), f);
        Binding* b = snd->instanceTraits.find(QString::fromLatin1(n), vm.as3Ns());
        snd->instanceTraits.add(QString::fromLatin1(n), vm.publicNs(), *b);
    }
    vm.addGetter(snd, QStringLiteral("length"), soundLength);
    vm.addGetter(snd, QStringLiteral("bytesLoaded"), soundBytes);
    vm.addGetter(snd, QStringLiteral("bytesTotal"), soundBytes);
    vm.addGetter(snd, QStringLiteral("url"), soundUrl);
    vm.addGetter(snd, QStringLiteral("isBuffering"), soundFalse);
    vm.addGetter(snd, QStringLiteral("id3"), soundId3);
    // ID3Info: dynamic, its fields set by Sound.id3.
    Class* id3 = vm.defineNativeClass(mediaNs, QStringLiteral("ID3Info"), vm.objectClass);
    id3->isSealed = false;
    vm.addStaticValue(vm.eventClass, QStringLiteral("ID3"), Value(QStringLiteral("id3")));

    Class* ch = vm.defineNativeClass(mediaNs, QStringLiteral("SoundChannel"),
                                     vm.eventDispatcherClass, allocChannel, true);
    ch->iinit.native = channelCtorRefused;
    vm.addMethod(ch, QStringLiteral("stop"), channelStop);
    Binding* b = ch->instanceTraits.find(QStringLiteral("stop"), vm.as3Ns());
    ch->instanceTraits.add(QStringLiteral("stop"), vm.publicNs(), *b);
    vm.addGetter(ch, QStringLiteral("position"), channelPosition);
    vm.addGetter(ch, QStringLiteral("leftPeak"), channelLeftPeak);
    vm.addGetter(ch, QStringLiteral("rightPeak"), channelRightPeak);
    vm.addGetter(ch, QStringLiteral("soundTransform"), channelTransform, setChannelTransform);

    Class* mixer =
        vm.defineNativeClass(mediaNs, QStringLiteral("SoundMixer"), vm.objectClass, nullptr, true);
    vm.addStatic(mixer, QStringLiteral("stopAll"), mixerStopAll);
    vm.addStatic(mixer, QStringLiteral("computeSpectrum"), mixerSpectrum);
    vm.addStatic(mixer, QStringLiteral("areSoundsInaccessible"), soundFalse);
    for (auto [n, g, s] : {std::tuple<const char*, NativeFn, NativeFn>{
                               "soundTransform", mixerTransform, setMixerTransform},
                           {"bufferTime", mixerBufferTime, ignore}})
        vm.addStaticGetter(mixer, QString::fromLatin1(n), g, s);

    eventSubclass(vm, "SampleDataEvent", sampleDataEventCtor, {{"SAMPLE_DATA", "sampleData"}});
    Class* err = eventSubclass(vm, "ErrorEvent", errorEventCtor, {{"ERROR", "error"}});
    eventSubclass(vm, "IOErrorEvent", errorEventCtor, {{"IO_ERROR", "ioError"}}, err);
    eventSubclass(vm, "SecurityErrorEvent", errorEventCtor, {{"SECURITY_ERROR", "securityError"}},
                  err);
    eventSubclass(vm, "AsyncErrorEvent", errorEventCtor, {{"ASYNC_ERROR", "asyncError"}}, err);
    eventSubclass(vm, "ProgressEvent", progressEventCtor,
                  {{"PROGRESS", "progress"}, {"SOCKET_DATA", "socketData"}});
}

} // namespace swf::avm2
