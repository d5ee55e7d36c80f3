// Sound: attachSound, start, stop, volume, pan and channel transforms, position, duration and
// onSoundComplete, on the movie's sound engine when the host attached one.

#include "swf/avm1/sound.h"

#include "swf/avm1/loading.h"
#include "swf/avm1/vm.h"
#include "swf/player.h"
#include "swf/sound/decoder.h"
#include "swf/sound/moviesound.h"
#include "swf/sound/mp3file.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace swf::avm1 {

namespace {

Value arg(std::span<const Value> a, std::size_t i) {
    return i < a.size() ? a[i] : Value();
}

// A Sound object keeps its state in Object::extra, behind a private tag object no script can
// reach, so that methods moved onto other objects find nothing to act on.
enum Slot : std::size_t {
    SlotTag,
    SlotTarget,    // the target's clip object, or undefined
    SlotHasTarget, // false: the whole movie
    SlotSound,     // attached DefineSound id, 0 for none
    SlotVoice,     // the voice last started
    SlotPosition,  // ms played when last seen
    SlotMovie,     // whose library SlotSound names (ScriptSounds::keepMovie)
    SlotCount
};

// Whom a Sound object speaks for.
struct Scope {
    bool valid = false;        // a Sound object whose target still exists
    MovieClip* clip = nullptr; // null: the whole movie
};

double finiteOr(double d, double fallback) {
    return std::isfinite(d) ? d : fallback;
}

// The DefineSound a movie exports under a linkage name (exact case first), 0 if none.
std::uint16_t soundByName(const Movie& movie, const QString& name) {
    for (const auto cs : {Qt::CaseSensitive, Qt::CaseInsensitive}) {
        for (const ExportedAsset& e : movie.exports) {
            if (e.name.compare(name, cs) == 0 && movie.dictionary.findAs<swf::Sound>(e.characterId))
                return e.characterId;
        }
    }
    return 0;
}

} // namespace

double streamAhead(VM& vm) {
    // Each step decodes well ahead of what plays until the next one, so that playing never
    // catches up with decoding, even at a low frame rate.
    const double rate = vm.player() ? vm.player()->movie().header().effectiveFrameRate() : 0;
    return std::max(1.0, rate > 0 ? 2.0 / rate : 1.0);
}

// ---------------------------------------------------------------------------------------------
// The binding to the engine

ScriptSounds::ScriptSounds(VM& vm) : m_vm(vm) {}
ScriptSounds::~ScriptSounds() = default;

void ScriptSounds::setEngine(std::shared_ptr<sound::MovieSound> engine) {
    m_engine = std::move(engine);
    m_playing.clear();
    if (!m_engine)
        return;
    for (auto it = m_transforms.cbegin(); it != m_transforms.cend(); ++it)
        m_engine->setTransform(it.key(), it.value());
}

sound::GroupTransform ScriptSounds::transform(const MovieClip* target) const {
    return m_transforms.value(target, sound::GroupTransform{});
}

void ScriptSounds::setTransform(const MovieClip* target, const sound::GroupTransform& t) {
    m_transforms.insert(target, t);
    if (m_engine)
        m_engine->setTransform(target, t);
}

std::optional<std::uint32_t> ScriptSounds::keepMovie(const std::shared_ptr<const Movie>& movie) {
    if (!movie || (m_vm.player() && movie.get() == &m_vm.player()->movie()))
        return 0;
    for (std::size_t i = 0; i < m_movies.size(); ++i) {
        if (m_movies[i] == movie)
            return std::uint32_t(i + 1);
    }
    if (m_movies.size() >= kMaxMovies)
        return std::nullopt;
    m_movies.push_back(movie);
    return std::uint32_t(m_movies.size());
}

const Movie* ScriptSounds::movie(std::uint32_t key) const {
    if (key == 0)
        return m_vm.player() ? &m_vm.player()->movie() : nullptr;
    return key <= m_movies.size() ? m_movies[key - 1].get() : nullptr;
}

sound::VoiceId ScriptSounds::start(Object* owner, const swf::Sound& sound, const MovieClip* target,
                                   double offsetSeconds, std::uint32_t loops) {
    if (!m_engine)
        return 0;
    sound::ScriptSoundOptions o;
    o.startSeconds = offsetSeconds;
    o.loops = loops;
    o.group = target;
    const sound::VoiceId voice = m_engine->startSound(sound, o);
    if (!voice)
        return 0;
    // One completion per object: the sound it started last.
    m_playing[owner] = voice;
    return voice;
}

void ScriptSounds::setLoaded(Object* owner, std::shared_ptr<const sound::PcmBuffer> pcm) {
    std::erase_if(m_loaded, [owner](const auto& e) { return e.first == owner; });
    if (m_loaded.size() >= kMaxLoaded)
        m_loaded.erase(m_loaded.begin());
    m_loaded.emplace_back(owner, std::move(pcm));
}

std::shared_ptr<const sound::PcmBuffer> ScriptSounds::loaded(Object* owner) const {
    for (const auto& [o, pcm] : m_loaded) {
        if (o == owner)
            return pcm;
    }
    return nullptr;
}

sound::VoiceId ScriptSounds::startLoaded(Object* owner, const MovieClip* target,
                                         double offsetSeconds, std::uint32_t loops) {
    auto pcm = loaded(owner);
    if (!m_engine || !pcm)
        return 0;
    sound::ScriptSoundOptions o;
    o.startSeconds = offsetSeconds;
    o.loops = loops;
    o.group = target;
    const sound::VoiceId voice = m_engine->playDecoded(std::move(pcm), o);
    if (voice)
        m_playing[owner] = voice;
    return voice;
}

sound::VoiceId ScriptSounds::startStream(Object* owner, std::unique_ptr<sound::Mp3Stream> stream,
                                         std::size_t headerBytes, const MovieClip* target,
                                         bool play) {
    dropStream(owner);
    std::erase_if(m_loaded, [owner](const auto& e) { return e.first == owner; });
    sound::VoiceId voice = 0;
    if (play && m_engine) {
        sound::ScriptSoundOptions o;
        o.group = target;
        voice = m_engine->playFeed(stream->feed(), o);
        if (voice)
            m_playing[owner] = voice;
    }
    m_streams.push_back({owner, std::move(stream), headerBytes});
    return voice;
}

void ScriptSounds::dropStream(Object* owner) {
    std::erase_if(m_streams, [owner](const Stream& s) { return s.owner == owner; });
}

std::vector<std::pair<Object*, bool>> ScriptSounds::stepStreams(double seconds) {
    std::vector<std::pair<Object*, bool>> done;
    for (Stream& s : m_streams) {
        s.mp3->decodeMore(seconds);
        if (s.mp3->finished())
            done.emplace_back(s.owner, s.mp3->feed()->frames() > 0);
    }
    for (const auto& [owner, ok] : done) {
        auto it = std::find_if(m_streams.begin(), m_streams.end(),
                               [o = owner](const Stream& s) { return s.owner == o; });
        if (ok)
            setLoaded(owner, it->mp3->feed()->joined());
        m_streams.erase(it);
    }
    return done;
}

std::optional<std::size_t> ScriptSounds::streamBytesLoaded(Object* owner) const {
    for (const Stream& s : m_streams) {
        if (s.owner == owner)
            return s.headerBytes + s.mp3->bytesDone();
    }
    return std::nullopt;
}

std::optional<double> ScriptSounds::streamSeconds(Object* owner) const {
    for (const Stream& s : m_streams) {
        if (s.owner == owner)
            return s.mp3->feed()->seconds();
    }
    return std::nullopt;
}

void ScriptSounds::stop(const MovieClip* target, std::optional<std::uint16_t> soundId) {
    if (!m_engine)
        return;
    if (soundId)
        m_engine->stopSound(*soundId, target);
    else
        m_engine->stopSounds(target);
}

void ScriptSounds::stopAll() {
    m_playing.clear();
    if (m_engine)
        m_engine->stopAll();
}

void ScriptSounds::clipRemoved(const MovieClip* clip) {
    if (!clip)
        return;
    m_transforms.remove(clip);
    if (m_engine)
        m_engine->dropGroup(clip);
}

std::vector<Object*> ScriptSounds::takeCompleted() {
    std::vector<Object*> done;
    if (!m_engine)
        return done;
    if (m_playing.empty()) {
        m_engine->takeFinished();
        return done;
    }
    // Which voices still play, before collecting the finished ones: a voice that ends in
    // between is among the finished, never lost.
    std::vector<Object*> stopped;
    for (const auto& [owner, voice] : m_playing) {
        if (!m_engine->voicePlaying(voice))
            stopped.push_back(owner);
    }
    if (stopped.empty())
        return done;
    std::vector<sound::VoiceId> finished = m_engine->takeFinished();
    std::sort(finished.begin(), finished.end());
    std::vector<std::pair<sound::VoiceId, Object*>> completed;
    for (auto it = m_playing.begin(); it != m_playing.end();) {
        if (std::binary_search(finished.begin(), finished.end(), it->second)) {
            completed.push_back({it->second, it->first});
            it = m_playing.erase(it);
        } else {
            ++it;
        }
    }
    // Stopped, or made way for other sounds: no completion.
    for (Object* owner : stopped)
        m_playing.erase(owner);
    // In the order the sounds were started.
    std::sort(completed.begin(), completed.end());
    for (const auto& [voice, owner] : completed) {
        done.push_back(owner);
        // A finished sound reads as played to its end.
        if (owner->extra.size() == SlotCount && owner->extra[SlotVoice].number == double(voice)) {
            std::optional<double> ms;
            if (const Movie* m = movie(std::uint32_t(owner->extra[SlotMovie].number))) {
                if (const auto* s = m->dictionary.findAs<swf::Sound>(
                        std::uint16_t(owner->extra[SlotSound].number)))
                    ms = m_engine->durationMs(*s);
            }
            if (!ms) {
                if (auto pcm = loaded(owner))
                    ms = pcm->seconds() * 1000;
            }
            owner->extra[SlotPosition] = Value(ms ? std::round(*ms) : 0.0);
        }
    }
    return done;
}

void ScriptSounds::addRoots(std::vector<Object*>& roots) const {
    for (const auto& [owner, voice] : m_playing)
        roots.push_back(owner);
    for (const auto& [owner, pcm] : m_loaded)
        roots.push_back(owner);
    for (const Stream& s : m_streams)
        roots.push_back(s.owner);
}

// ---------------------------------------------------------------------------------------------
// The Sound class

void installSound(VM& vm) {
    Object* tag = vm.newObject();
    vm.roots.push_back(tag);

    auto state = [tag](const Value& self) -> Object* {
        Object* o = self.asObject();
        return o && o->extra.size() == SlotCount && o->extra[SlotTag].asObject() == tag ? o
                                                                                        : nullptr;
    };
    auto scope = [state](VM& vm, const Value& self) -> Scope {
        Object* o = state(self);
        if (!o)
            return {};
        if (!vm.toBoolean(o->extra[SlotHasTarget]))
            return {true, nullptr};
        Object* t = o->extra[SlotTarget].asObject();
        if (!t || t->kind != Object::Kind::Clip || !t->clip)
            return {};
        // The main timeline speaks for the whole movie.
        return {true, t->clip == vm.rootClip() ? nullptr : t->clip};
    };
    // The DefineSound a Sound object attached, in the library it came from.
    auto soundOf = [state](VM& vm, const Value& self) -> const swf::Sound* {
        Object* o = state(self);
        const auto id = o ? std::uint16_t(o->extra[SlotSound].number) : 0;
        const Movie* m =
            id ? vm.sounds().movie(std::uint32_t(o->extra[SlotMovie].number)) : nullptr;
        return m ? m->dictionary.findAs<swf::Sound>(id) : nullptr;
    };
    // A Sound object's target's own movie reads its library; the whole movie's is level 0's.
    auto libraryOf = [scope](VM& vm, const Value& self) -> std::shared_ptr<const Movie> {
        const Scope s = scope(vm, self);
        if (!s.valid || !vm.player())
            return nullptr;
        return s.clip ? s.clip->origin().shared() : vm.player()->root().origin().shared();
    };

    Object* proto = vm.newObject();
    Object* ctor = vm.newFunction(
        [tag](VM& vm, Value self, std::span<const Value> a) {
            Object* o = self.asObject();
            if (!o || o->kind != Object::Kind::Plain)
                return Value();
            const Value t = arg(a, 0);
            Value target;
            bool hasTarget = false;
            if (Object* c = t.asObject(); c && c->kind == Object::Kind::Clip) {
                target = t;
                hasTarget = true;
            } else if (t.isString()) {
                // A path that names nothing leaves a Sound that controls nothing.
                target = Value(vm.clipObject(vm.resolveTarget(t.string, vm.rootClip())));
                hasTarget = true;
            }
            o->extra = {Value(tag), target,  Value(hasTarget), Value(0),
                        Value(0),   Value(), Value(0)};
            return Value();
        },
        proto);
    vm.define(vm.global(), QStringLiteral("Sound"), Value(ctor));

    auto method = [&vm, proto](const char* name, NativeFn fn) {
        vm.defineMethod(proto, QString::fromLatin1(name), std::move(fn));
    };

    method("attachSound", [state, libraryOf](VM& vm, Value self, std::span<const Value> a) {
        Object* o = state(self);
        if (!o || !vm.player())
            return Value();
        const auto movie = libraryOf(vm, self);
        std::uint16_t id = movie ? soundByName(*movie, vm.toString(arg(a, 0))) : 0;
        const auto key = id ? vm.sounds().keepMovie(movie) : std::nullopt;
        if (!key)
            id = 0;
        o->extra[SlotSound] = Value(double(id));
        o->extra[SlotMovie] = Value(double(key.value_or(0)));
        o->extra[SlotVoice] = Value(0);
        o->extra[SlotPosition] = id ? Value(0) : Value();
        // An MP3 library sound's own ID3 tags (after its SeekSamples), as a loaded file's.
        const Sound* snd = id ? movie->dictionary.findAs<Sound>(id) : nullptr;
        if (snd && snd->format.codec == 2 && snd->data.size() > 2) {
            const auto tags = sound::splitMp3(snd->data.subspan(2)).id3;
            if (!tags.empty()) {
                Object* id3 = vm.newObject();
                for (const auto& [name, value] : tags)
                    vm.setMember(Value(id3), name, Value(value));
                vm.setMember(self, QStringLiteral("id3"), Value(id3));
                // As for a loaded file, onID3 runs on the next step, so that a handler set
                // just after attachSound hears it; not if another sound was attached since.
                vm.files().later(o, [&vm, o, id] {
                    if (o->extra[SlotSound].number == double(id))
                        vm.callFromHost(vm.getMember(Value(o), QStringLiteral("onID3")), Value(o),
                                        {});
                });
            }
        }
        return Value();
    });

    method("start", [state, scope, soundOf](VM& vm, Value self, std::span<const Value> a) {
        Object* o = state(self);
        const Scope s = scope(vm, self);
        const swf::Sound* attached = soundOf(vm, self);
        if (!o || !s.valid || (!attached && !vm.sounds().loaded(o)))
            return Value();
        // Offsets count seconds from the start; loops count plays (at least one).
        double offset = vm.toNumber(arg(a, 0));
        offset = std::isnan(offset) ? 0 : std::clamp(offset, 0.0, 1e9);
        const double loops = std::clamp(finiteOr(vm.toNumber(arg(a, 1)), 1), 1.0, 2147483647.0);
        const auto voice =
            attached
                ? vm.sounds().start(o, *attached, s.clip, offset, static_cast<std::uint32_t>(loops))
                : vm.sounds().startLoaded(o, s.clip, offset, static_cast<std::uint32_t>(loops));
        o->extra[SlotVoice] = Value(double(voice));
        o->extra[SlotPosition] = Value(0);
        return Value();
    });

    method("stop", [state, scope, libraryOf](VM& vm, Value self, std::span<const Value> a) {
        const Scope s = scope(vm, self);
        if (!state(self) || !s.valid)
            return Value();
        if (a.empty() || a[0].isUndefined()) {
            vm.sounds().stop(s.clip, std::nullopt);
            return Value();
        }
        const auto movie = libraryOf(vm, self);
        if (const std::uint16_t id = movie ? soundByName(*movie, vm.toString(a[0])) : 0)
            vm.sounds().stop(s.clip, id);
        return Value();
    });

    // Volumes and pans are whole percents, as scripts read them back.
    auto setter = [scope](auto change) {
        return [scope, change](VM& vm, Value self, std::span<const Value> a) {
            const Scope s = scope(vm, self);
            if (!s.valid)
                return Value();
            sound::GroupTransform t = vm.sounds().transform(s.clip);
            change(vm, t, a);
            vm.sounds().setTransform(s.clip, t);
            return Value();
        };
    };
    auto getter = [scope](auto read) {
        return [scope, read](VM& vm, Value self, std::span<const Value>) {
            const Scope s = scope(vm, self);
            return s.valid ? read(vm, vm.sounds().transform(s.clip)) : Value();
        };
    };
    method("setVolume", setter([](VM& vm, sound::GroupTransform& t, std::span<const Value> a) {
               t.volume = vm.toInt(arg(a, 0));
           }));
    method("getVolume",
           getter([](VM&, const sound::GroupTransform& t) { return Value(t.volume); }));
    method("setPan", setter([](VM& vm, sound::GroupTransform& t, std::span<const Value> a) {
               const double volume = t.volume;
               t = sound::GroupTransform::panned(volume, vm.toInt(arg(a, 0)));
           }));
    method("getPan", getter([](VM&, const sound::GroupTransform& t) { return Value(t.pan()); }));
    method("setTransform", setter([](VM& vm, sound::GroupTransform& t, std::span<const Value> a) {
               const Value o = arg(a, 0);
               if (!o.isObject())
                   return;
               auto field = [&](const char* name, double& out) {
                   Value v;
                   if (vm.findMember(o, QString::fromLatin1(name), v))
                       out = std::clamp(double(vm.toInt(v)), -1e6, 1e6);
               };
               field("ll", t.ll);
               field("lr", t.lr);
               field("rl", t.rl);
               field("rr", t.rr);
           }));
    method("getTransform", getter([](VM& vm, const sound::GroupTransform& t) {
               Object* o = vm.newObject();
               vm.setMember(Value(o), QStringLiteral("ll"), Value(t.ll));
               vm.setMember(Value(o), QStringLiteral("lr"), Value(t.lr));
               vm.setMember(Value(o), QStringLiteral("rl"), Value(t.rl));
               vm.setMember(Value(o), QStringLiteral("rr"), Value(t.rr));
               return Value(o);
           }));

    // An MP3 file beside the movie: read at the request (a refusal prints its line then), then
    // on the next step decoded, its ID3 tags in `id3` (onID3), started when streaming, and
    // onLoad(success).
    method("loadSound", [state, scope](VM& vm, Value self, std::span<const Value> a) {
        Object* o = state(self);
        if (!o)
            return Value();
        const QString url = vm.toString(arg(a, 0));
        const bool streaming = vm.toBoolean(arg(a, 1));
        const std::optional<QByteArray> bytes =
            vm.files().read(QStringLiteral("loadSound of"), url);
        o->extra[SlotSound] = Value(0);
        o->extra[SlotVoice] = Value(0);
        vm.sounds().dropStream(o);
        vm.files().later(o, [&vm, o, bytes, streaming, scope, url] {
            bool ok = false;
            if (bytes) {
                const auto data = std::span(reinterpret_cast<const std::uint8_t*>(bytes->data()),
                                            std::size_t(bytes->size()));
                const sound::Mp3File file = sound::splitMp3(data);
                vm.define(o, QStringLiteral("\x01bytes"), Value(double(bytes->size())));
                Object* id3 = vm.newObject();
                for (const auto& [name, value] : file.id3)
                    vm.setMember(Value(id3), name, Value(value));
                vm.setMember(Value(o), QStringLiteral("id3"), Value(id3));
                if (!file.id3.empty())
                    vm.callFromHost(vm.getMember(Value(o), QStringLiteral("onID3")), Value(o), {});
                if (streaming) {
                    // Plays from the first piece on; onLoad comes once it has all decoded
                    // (ScriptSounds::stepStreams).
                    auto stream = std::make_unique<sound::Mp3Stream>(
                        QByteArray(reinterpret_cast<const char*>(file.audio.data()),
                                   qsizetype(file.audio.size())));
                    stream->decodeMore(streamAhead(vm));
                    if (stream->feed()->frames() > 0 || !stream->finished()) {
                        const Scope s = scope(vm, Value(o));
                        const sound::VoiceId voice = vm.sounds().startStream(
                            o, std::move(stream), data.size() - file.audio.size(), s.clip, s.valid);
                        o->extra[SlotVoice] = Value(double(voice));
                        o->extra[SlotPosition] = Value(0);
                        return;
                    }
                } else {
                    auto pcm = sound::decodeMp3(file.audio);
                    ok = !pcm->samples.empty();
                    if (ok)
                        vm.sounds().setLoaded(o, std::move(pcm));
                }
                if (!ok)
                    vm.files().notice(
                        QStringLiteral("loadSound of %1: it holds no MP3 sound").arg(url));
            }
            const Value success(ok);
            vm.callFromHost(vm.getMember(Value(o), QStringLiteral("onLoad")), Value(o),
                            std::span<const Value>(&success, 1));
        });
        return Value();
    });
    // While a streaming sound decodes, what has been decoded counts as loaded.
    method("getBytesLoaded", [state](VM& vm, Value self, std::span<const Value>) {
        Object* o = state(self);
        if (!o)
            return Value();
        if (const auto n = vm.sounds().streamBytesLoaded(o))
            return Value(double(*n));
        Value v;
        if (const Object::Slot* slot = o->find(vm.key(QStringLiteral("\x01bytes"))))
            v = slot->value;
        return v;
    });
    auto bytes = [state](VM& vm, Value self, std::span<const Value>) {
        Object* o = state(self);
        Value v;
        if (o && o->find(vm.key(QStringLiteral("\x01bytes"))))
            v = o->find(vm.key(QStringLiteral("\x01bytes")))->value;
        return v;
    };
    method("getBytesTotal", bytes);

    // position and duration: read-only properties, in whole milliseconds.
    auto property = [&vm, proto](const char* name, NativeFn fn) {
        Object::Slot& s = proto->put(QString::fromLatin1(name), vm.key(QString::fromLatin1(name)),
                                     Value(), DontEnum);
        s.getter = vm.newFunction(std::move(fn));
    };
    property("position", [state](VM& vm, Value self, std::span<const Value>) {
        Object* o = state(self);
        if (!o)
            return Value();
        const auto voice = sound::VoiceId(o->extra[SlotVoice].number);
        if (sound::MovieSound* engine = vm.sounds().engine(); engine && voice) {
            if (const auto ms = engine->positionMs(voice))
                o->extra[SlotPosition] = Value(std::floor(*ms));
        }
        return o->extra[SlotPosition];
    });
    property("duration", [soundOf, state](VM& vm, Value self, std::span<const Value>) {
        const swf::Sound* s = soundOf(vm, self);
        if (Object* o = state(self); o && !s) {
            if (const auto seconds = vm.sounds().streamSeconds(o))
                return Value(std::round(*seconds * 1000)); // what has decoded so far
            if (auto pcm = vm.sounds().loaded(o))
                return Value(std::round(pcm->seconds() * 1000));
        }
        if (!s)
            return Value();
        if (sound::MovieSound* engine = vm.sounds().engine()) {
            const auto ms = engine->durationMs(*s);
            return ms ? Value(std::round(*ms)) : Value();
        }
        // Without an engine the header's sample count stands for the decoded length.
        const double rate = sound::exactRate(sound::decodedRate(s->format));
        return Value(rate > 0 ? std::round(s->sampleCount * 1000.0 / rate) : 0.0);
    });
}

} // namespace swf::avm1
