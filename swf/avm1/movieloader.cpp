// Movies and pictures scripts load into clips and levels: loadMovie, loadMovieNum,
// unloadMovie(Num) and MovieClipLoader. The file is read (and refused, with its line) when asked
// for; it is shown, and its events come, on the next frame step, like every other load.

#include "swf/avm1/loading.h"
#include "swf/avm1/vm.h"
#include "swf/player.h"

#include <QBuffer>
#include <QImageReader>
#include <QUrl>
#include <cstring>

namespace swf::avm1 {

namespace {

Value arg(std::span<const Value> a, std::size_t i) {
    return i < a.size() ? a[i] : Value();
}

const QString kListeners = QStringLiteral("\x01listeners");

// Little-endian bytes of a SWF file being put together.
struct SwfBytes {
    std::vector<std::uint8_t> b;
    void u8(unsigned v) { b.push_back(std::uint8_t(v)); }
    void u16(unsigned v) {
        u8(v & 0xFF);
        u8((v >> 8) & 0xFF);
    }
    void u32(std::uint32_t v) {
        u16(v & 0xFFFF);
        u16(v >> 16);
    }
    void tag(unsigned code, const std::vector<std::uint8_t>& body) {
        u16((code << 6) | 0x3F); // always the long form: pictures may exceed 62 bytes
        u32(std::uint32_t(body.size()));
        b.insert(b.end(), body.begin(), body.end());
    }
};

// A picture file as a one-frame movie showing it at (0, 0), one pixel per 20 twips: the
// dictionary, player and renderer then treat it as any movie.
std::vector<std::uint8_t> pictureMovie(const QByteArray& picture, QSize size) {
    SwfBytes s;
    s.u8('F');
    s.u8('W');
    s.u8('S');
    s.u8(8); // PNG and GIF in DefineBitsJPEG2 need version 8
    s.u32(0);
    // The stage rectangle with 31-bit fields: 5 + 4 * 31 bits.
    const std::int64_t rect[4] = {0, std::int64_t(size.width()) * 20, 0,
                                  std::int64_t(size.height()) * 20};
    std::vector<bool> bits;
    for (int i = 4; i >= 0; --i)
        bits.push_back((31 >> i) & 1);
    for (std::int64_t v : rect) {
        for (int i = 30; i >= 0; --i)
            bits.push_back((v >> i) & 1);
    }
    for (std::size_t i = 0; i < bits.size(); i += 8) {
        unsigned byte = 0;
        for (std::size_t j = 0; j < 8; ++j)
            byte = (byte << 1) | (i + j < bits.size() && bits[i + j] ? 1u : 0u);
        s.u8(byte);
    }
    s.u16(12 << 8); // 12 frames a second; only level 0's rate counts
    s.u16(1);
    std::vector<std::uint8_t> define = {1, 0};
    define.insert(define.end(), picture.begin(), picture.end());
    s.tag(21, define);             // DefineBitsJPEG2: JPEG, PNG or GIF bytes
    s.tag(26, {0x02, 1, 0, 1, 0}); // PlaceObject2: character 1 at depth 1
    s.tag(1, {});                  // ShowFrame
    s.tag(0, {});                  // End
    const auto length = std::uint32_t(s.b.size());
    for (int i = 0; i < 4; ++i)
        s.b[4 + std::size_t(i)] = std::uint8_t(length >> (8 * i));
    return std::move(s.b);
}

bool startsWith(const QByteArray& bytes, const char* prefix, qsizetype n) {
    return bytes.size() >= n && std::memcmp(bytes.constData(), prefix, std::size_t(n)) == 0;
}

// The movie a loaded file holds: a SWF file, or a JPEG, PNG or GIF picture.
Result<std::shared_ptr<const Movie>> movieOf(const QByteArray& bytes) {
    const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.constData());
    const std::span<const std::uint8_t> span(data, std::size_t(bytes.size()));
    if (startsWith(bytes, "FWS", 3) || startsWith(bytes, "CWS", 3) || startsWith(bytes, "ZWS", 3)) {
        auto movie = Movie::load(span);
        if (movie && (*movie)->usesAvm2)
            return Error{"it is an ActionScript 3 movie, which ActionScript 1 and 2 cannot run"};
        return movie;
    }
    const bool picture = startsWith(bytes, "\xFF\xD8", 2) ||
                         startsWith(bytes, "\x89PNG\r\n\x1A\n", 8) || startsWith(bytes, "GIF8", 4);
    if (!picture)
        return Error{"it is neither a movie nor a JPEG, PNG or GIF picture"};
    QByteArray copy = bytes;
    QBuffer buffer(&copy);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    const QSize size = reader.size();
    if (!size.isValid() || size.isEmpty() ||
        std::int64_t(size.width()) * size.height() > 8192 * 8192)
        return Error{"the picture cannot be read or is too large"};
    const std::vector<std::uint8_t> file = pictureMovie(bytes, size);
    return Movie::load(file);
}

// Where a load goes: a clip (kept alive through its script object) or a level.
struct Target {
    Object* clip = nullptr;
    int level = -1;
    bool valid() const { return clip || level >= 0; }
    MovieClip* current(VM& vm) const { return clip ? clip->clip : vm.levelClip(level); }
};

Target targetOf(VM& vm, const Value& t, MovieClip* base) {
    Target out;
    if (t.isNumber()) {
        out.level = vm.toInt(t);
    } else if (Object* o = t.asObject(); o && o->kind == Object::Kind::Clip) {
        out.clip = o->clip ? o : nullptr;
    } else if (!t.isNullish()) {
        const QString name = vm.toString(t);
        if (const int n = levelNumber(name); n >= 0)
            out.level = n;
        else if (MovieClip* c = vm.resolveTarget(name, base))
            out.clip = vm.clipObject(c);
    }
    if (out.level > 16383)
        out.level = -1;
    return out;
}

// Calls `name` on every listener of a MovieClipLoader.
void broadcast(VM& vm, Object* loader, const QString& name, std::vector<Value> args) {
    if (!loader)
        return;
    const Value list = vm.getMember(Value(loader), kListeners);
    Object* array = list.asObject();
    if (!array || array->kind != Object::Kind::Array)
        return;
    const std::vector<Value> listeners = array->elements; // a handler may change the list
    for (const Value& l : listeners) {
        const Value fn = vm.getMember(l, name);
        if (fn.isObject())
            vm.callFromHost(fn, l, args);
    }
}

// A clip about to show another movie forgets the variables and class of the old one.
void resetClipObject(VM& vm, Object* o) {
    std::vector<QString> keys;
    for (const Object::Slot& s : o->properties())
        keys.push_back(s.key);
    for (const QString& k : keys)
        o->remove(k);
    o->proto = vm.clipProto();
}

Value targetValue(VM& vm, const Target& t) {
    MovieClip* c = t.current(vm);
    return c ? Value(vm.clipObject(c)) : Value();
}

} // namespace

bool loadMovieRequest(VM& vm, const QString& what, const QString& url, const Value& target,
                      MovieClip* base, Object* loader) {
    const Target t = targetOf(vm, target, base);
    if (!t.valid()) {
        vm.files().notice(
            files::refusalLine(what, url, "there is no clip " + vm.toString(target).toStdString()));
        return false;
    }
    Object* keep = vm.newObject();
    keep->extra = {Value(t.clip), Value(loader)};
    if (url.isEmpty()) {
        // An empty address unloads, as unloadMovie compiles to.
        vm.files().later(keep, [&vm, t] {
            if (!vm.player())
                return;
            if (t.clip && t.clip->clip) {
                PlayerScripting(*vm.player()).loadIntoClip(*t.clip->clip, nullptr, QString());
                resetClipObject(vm, t.clip);
            } else if (t.level >= 0) {
                PlayerScripting(*vm.player()).unloadLevel(t.level);
            }
        });
        return true;
    }
    std::shared_ptr<const Movie> movie;
    bool read = false;
    if (const std::optional<QByteArray> bytes = vm.files().read(what, url)) {
        read = true;
        auto parsed = movieOf(*bytes);
        if (parsed)
            movie = std::move(parsed).value();
        else
            vm.files().notice(files::refusalLine(what, url, parsed.error().message));
    }
    QString address = url;
    if (auto path = vm.files().rule().resolve(url); movie && path)
        address = QUrl::fromLocalFile(*path).toString();
    vm.files().later(keep, [&vm, t, loader, movie, read, address] {
        if (!vm.player())
            return;
        const Value before = targetValue(vm, t);
        if (!movie || (t.clip && !t.clip->clip)) {
            // A refused or missing file, or the clip left the stage meanwhile.
            broadcast(vm, loader, QStringLiteral("onLoadError"),
                      {before, Value(read ? "LoadNeverCompleted" : "URLNotFound"), Value(0)});
            return;
        }
        const double size = double(movie->file.body.size() + 8);
        broadcast(vm, loader, QStringLiteral("onLoadStart"), {before});
        broadcast(vm, loader, QStringLiteral("onLoadProgress"), {before, Value(size), Value(size)});
        broadcast(vm, loader, QStringLiteral("onLoadComplete"), {before, Value(0)});
        PlayerScripting scripting(*vm.player());
        MovieClip* shown = nullptr;
        if (t.clip && t.clip->clip) {
            if (scripting.loadIntoClip(*t.clip->clip, movie, address))
                shown = t.clip->clip;
        } else if (t.level >= 0) {
            shown = scripting.loadIntoLevel(t.level, movie, address);
        }
        if (!shown) {
            vm.files().notice(
                files::refusalLine(QStringLiteral("loadMovie of"), address,
                                   "the movies loaded so far take all the memory they may"));
            broadcast(vm, loader, QStringLiteral("onLoadError"),
                      {before, Value("LoadNeverCompleted"), Value(0)});
            return;
        }
        if (Object* o = vm.existingClipObject(shown))
            resetClipObject(vm, o);
        if (vm.clipReloaded)
            vm.clipReloaded(shown);
        // The loaded movie's first frame runs before onLoadInit.
        if (vm.runPending)
            vm.runPending();
        broadcast(vm, loader, QStringLiteral("onLoadInit"), {Value(vm.clipObject(shown))});
    });
    return true;
}

void installMovieLoading(VM& vm) {
    auto base = [](VM& vm) { return vm.rootClip(); };
    auto self = [](const Value& v) -> MovieClip* {
        Object* o = v.asObject();
        return o && o->kind == Object::Kind::Clip ? o->clip : nullptr;
    };
    // Global functions (most movies reach these through GetURL2 instead).
    vm.defineMethod(vm.global(), QStringLiteral("loadMovie"),
                    [base](VM& vm, Value, std::span<const Value> a) {
                        loadMovieRequest(vm, QStringLiteral("loadMovie of"), vm.toString(arg(a, 0)),
                                         arg(a, 1), base(vm), nullptr);
                        return Value();
                    });
    vm.defineMethod(vm.global(), QStringLiteral("loadMovieNum"),
                    [base](VM& vm, Value, std::span<const Value> a) {
                        loadMovieRequest(vm, QStringLiteral("loadMovieNum of"),
                                         vm.toString(arg(a, 0)), Value(double(vm.toInt(arg(a, 1)))),
                                         base(vm), nullptr);
                        return Value();
                    });
    vm.defineMethod(vm.global(), QStringLiteral("unloadMovie"),
                    [base](VM& vm, Value, std::span<const Value> a) {
                        loadMovieRequest(vm, QStringLiteral("unloadMovie of"), QString(), arg(a, 0),
                                         base(vm), nullptr);
                        return Value();
                    });
    vm.defineMethod(vm.global(), QStringLiteral("unloadMovieNum"),
                    [base](VM& vm, Value, std::span<const Value> a) {
                        loadMovieRequest(vm, QStringLiteral("unloadMovieNum of"), QString(),
                                         Value(double(vm.toInt(arg(a, 0)))), base(vm), nullptr);
                        return Value();
                    });
    vm.defineMethod(vm.clipProto(), QStringLiteral("loadMovie"),
                    [self](VM& vm, Value s, std::span<const Value> a) {
                        if (MovieClip* c = self(s))
                            loadMovieRequest(vm, QStringLiteral("loadMovie of"),
                                             vm.toString(arg(a, 0)), Value(vm.clipObject(c)), c,
                                             nullptr);
                        return Value();
                    });
    vm.defineMethod(vm.clipProto(), QStringLiteral("unloadMovie"),
                    [self](VM& vm, Value s, std::span<const Value>) {
                        if (MovieClip* c = self(s))
                            loadMovieRequest(vm, QStringLiteral("unloadMovie of"), QString(),
                                             Value(vm.clipObject(c)), c, nullptr);
                        return Value();
                    });

    // MovieClipLoader: a broadcaster whose first listener is itself.
    Object* proto = vm.newObject();
    Object* ctor = vm.newFunction(
        [](VM& vm, Value self, std::span<const Value>) {
            if (Object* o = self.asObject())
                vm.define(o, kListeners, Value(vm.newArray({Value(o)})));
            return Value();
        },
        proto);
    vm.define(vm.global(), QStringLiteral("MovieClipLoader"), Value(ctor));
    auto listeners = [](VM& vm, const Value& self) -> Object* {
        Object* list = vm.getMember(self, kListeners).asObject();
        return list && list->kind == Object::Kind::Array ? list : nullptr;
    };
    vm.defineMethod(proto, QStringLiteral("addListener"),
                    [listeners](VM& vm, Value s, std::span<const Value> a) {
                        Object* list = listeners(vm, s);
                        Object* l = arg(a, 0).asObject();
                        if (!list || !l)
                            return Value(false);
                        for (const Value& v : list->elements) {
                            if (v.asObject() == l)
                                return Value(true);
                        }
                        if (list->elements.size() < 10000)
                            list->elements.push_back(Value(l));
                        return Value(true);
                    });
    vm.defineMethod(proto, QStringLiteral("removeListener"),
                    [listeners](VM& vm, Value s, std::span<const Value> a) {
                        Object* list = listeners(vm, s);
                        Object* l = arg(a, 0).asObject();
                        if (!list || !l)
                            return Value(false);
                        return Value(std::erase_if(list->elements, [l](const Value& v) {
                                         return v.asObject() == l;
                                     }) > 0);
                    });
    vm.defineMethod(
        proto, QStringLiteral("loadClip"), [base](VM& vm, Value s, std::span<const Value> a) {
            return Value(loadMovieRequest(vm, QStringLiteral("MovieClipLoader.loadClip of"),
                                          vm.toString(arg(a, 0)), arg(a, 1), base(vm),
                                          s.asObject()));
        });
    vm.defineMethod(
        proto, QStringLiteral("unloadClip"), [base](VM& vm, Value, std::span<const Value> a) {
            return Value(loadMovieRequest(vm, QStringLiteral("MovieClipLoader.unloadClip of"),
                                          QString(), arg(a, 0), base(vm), nullptr));
        });
    vm.defineMethod(
        proto, QStringLiteral("getProgress"), [base](VM& vm, Value, std::span<const Value> a) {
            const Target t = targetOf(vm, arg(a, 0), base(vm));
            MovieClip* c = t.current(vm);
            Object* out = vm.newObject();
            const double size = c ? double(c->origin().movie().file.body.size() + 8) : 0.0;
            vm.setMember(Value(out), QStringLiteral("bytesLoaded"), Value(size));
            vm.setMember(Value(out), QStringLiteral("bytesTotal"), Value(size));
            return Value(out);
        });
}

} // namespace swf::avm1
