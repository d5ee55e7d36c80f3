#pragma once

// What scripts read from files beside the movie (LoadVars, XML, loadVariables) and what they
// keep between runs (SharedObject). Requests are answered on the next frame step, never by a
// clock or a thread, so a host stepping frames by its own clock (the exporter) sees the same
// events on the same frames every run.

#include "swf/files.h"
#include "swf/sharedobject.h"

#include <QHash>
#include <QString>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace swf {
class MovieClip;
class Movie;
} // namespace swf

namespace swf::avm1 {

class VM;
class Object;
struct Value;

class ScriptFiles {
public:
    explicit ScriptFiles(VM& vm) : m_vm(vm) {}

    // The movie's own file and the folder of every movie's SharedObjects. Without a movie file
    // every read is refused; without a store folder SharedObject.getLocal gives null.
    void setMovie(const QString& moviePath, const QString& sharedObjectFolder);
    const files::FileRule& rule() const { return m_rule; }
    sharedobject::Store* store() const { return m_store.get(); }

    // Reads a file for a script: the bytes, or nothing after printing the one refusal line.
    std::optional<QByteArray> read(const QString& what, const QString& url);
    // Runs `done` on a later frame step; `keep` stays alive until then.
    void later(Object* keep, std::function<void()> done);
    // A frame step begins (before its scripts run).
    void beginStep() { ++m_step; }
    // Answers the requests made before the current step; `afterEach` runs after every answer
    // (the host runs the frame actions a handler queued).
    void completeLoads(const std::function<void()>& afterEach);
    bool hasPendingLoads() const { return !m_pending.empty(); }

    // SharedObjects by file, so getLocal gives the same object for the same store.
    QHash<QString, Object*> sharedObjects;
    // Writes every SharedObject the movie opened, as the player does when a movie closes.
    void flushAll();
    bool flush(Object* sharedObject, bool quiet);

    void addRoots(std::vector<Object*>& roots) const;
    void notice(const QString& line) const;

private:
    struct Pending {
        std::uint64_t step;
        Object* keep;
        std::function<void()> done;
    };
    VM& m_vm;
    files::FileRule m_rule;
    std::unique_ptr<sharedobject::Store> m_store;
    std::vector<Pending> m_pending;
    std::uint64_t m_step = 0;
};

// Loads a movie or a JPEG, PNG or GIF picture into a clip or level (`target`: a clip, a path
// or "_levelN" from `base`, or a level number); an empty url unloads it. The file is read now
// (a refusal prints its line now); on the next step it is shown, its first frame's scripts run,
// and `loader` (a MovieClipLoader, or null) hears onLoadStart, onLoadProgress, onLoadComplete
// and onLoadInit, or onLoadError. False when there is no such target.
bool loadMovieRequest(VM& vm, const QString& what, const QString& url, const Value& target,
                      MovieClip* base, Object* loader);
// loadMovie, loadMovieNum, unloadMovie(Num), MovieClip.loadMovie/unloadMovie, MovieClipLoader.
void installMovieLoading(VM& vm);

// Whether any script of the movie names loadSound: such a movie needs a sound engine even
// when it holds no sound of its own (a music player of MP3 files beside it).
bool namesLoadSound(const Movie& movie);

// LoadVars, XML, XMLNode, SharedObject, loadVariables and MovieClip.loadVariables.
void installFileApi(VM& vm);
// loadVariables / loadVariablesNum (also reached through GetURL2): variables of a text file
// set on `target` on a later step, then its data event.
void loadVariables(VM& vm, const QString& url, MovieClip* target, const QString& targetName);

} // namespace swf::avm1
