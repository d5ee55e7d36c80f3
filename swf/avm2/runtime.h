#pragma once

// Runs a movie's ActionScript 3: its DoABC blocks in tag order, the document class as the
// root clip when the first frame is shown, frame scripts and enterFrame on each frame, and
// timers on the host's clock. Script errors and broken limits become one line on standard
// error (through the error hook) and the movie goes on.

#include "swf/avm2/vm.h"

#include <QString>
#include <functional>
#include <memory>

namespace swf {
class Movie;
class BitmapDrawer;
} // namespace swf

namespace swf::avm2 {

class DisplayNode;

struct RuntimeOptions {
    Limits limits;
    // One call per trace() call; default: the line on standard error.
    std::function<void(const QString&)> trace;
    // Reports of uncaught errors and refusals; default: standard error.
    std::function<void(const QString&)> error;
    // Milliseconds since the movie started; default: always 0.
    std::function<double()> clock;
    // Draws and filters into BitmapData (the renderer's); without one those calls do nothing.
    std::shared_ptr<BitmapDrawer> bitmapDrawer;
};

class Runtime {
public:
    explicit Runtime(std::shared_ptr<const Movie> movie, RuntimeOptions options = {});
    ~Runtime();

    // Loads the ABC of frame 1, constructs the document class (or a plain MovieClip) as the
    // root and runs the first frame's scripts. Called once, when the first frame is shown.
    void start();
    // One frame later: timers due, enterFrame to every listener, frame scripts, collection.
    void advanceFrame();
    // Timers only (between frames).
    void runTimers();

    VM& vm() { return *m_vm; }
    DisplayNode* root() const { return m_root; }
    DisplayNode* stage() const { return m_stage; }
    bool started() const { return m_started; }

private:
    // Runs host-started script work under the time budget; throws nothing.
    void guarded(const char* what, const std::function<void()>& fn);
    void loadBlocksOfFrame(std::size_t frame);
    void runFrameScripts(DisplayNode* n);
    void broadcast(const QString& type);

    std::shared_ptr<const Movie> m_movie;
    RuntimeOptions m_options;
    std::unique_ptr<VM> m_vm;
    DisplayNode* m_stage = nullptr;
    DisplayNode* m_root = nullptr;
    std::size_t m_nextBlock = 0;
    std::size_t m_frame = 0;
    bool m_started = false;
};

} // namespace swf::avm2
