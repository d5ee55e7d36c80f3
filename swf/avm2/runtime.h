#pragma once

// Runs a movie's ActionScript 3: its DoABC blocks in tag order, the document class as the
// root clip when the first frame is shown, frame scripts and enterFrame on each frame, and
// timers on the host's clock. Script errors and broken limits become one line on standard
// error (through the error hook) and the movie goes on.

#include "swf/avm2/vm.h"

#include <QPointF>
#include <QSizeF>
#include <QString>
#include <functional>
#include <memory>

namespace swf {
namespace sound {
class MovieSound;
}
class Movie;
class Player;
class BitmapDrawer;
} // namespace swf

namespace swf::avm2 {

class DisplayNode;
class DisplayTree;

struct RuntimeOptions {
    Limits limits;
    // One call per trace() call; default: the line on standard error.
    std::function<void(const QString&)> trace;
    // Reports of uncaught errors and refusals; default: standard error.
    std::function<void(const QString&)> error;
    // Milliseconds since the movie started; default: always 0.
    std::function<double()> clock;
    // The movie's address (LoaderInfo.url) and its scale mode as scripts set it.
    QString url;
    std::function<void(const QString& mode)> scaleModeChanged;
    // stage.displayState asks the host to enter (true) or leave full screen.
    std::function<void(bool on)> fullScreenRequested;
    // Draws and filters into BitmapData (the renderer's); without one those calls do nothing.
    std::shared_ptr<BitmapDrawer> bitmapDrawer;
};

class Runtime {
public:
    // The display objects scripts see are the player's (made when none is given): the runtime
    // moves its timeline on, so the player must outlive the runtime.
    explicit Runtime(std::shared_ptr<const Movie> movie, RuntimeOptions options = {},
                     Player* player = nullptr);
    ~Runtime();

    // Loads the ABC of frame 1, constructs the document class (or a plain MovieClip) as the
    // root and runs the first frame's scripts. Called once, when the first frame is shown.
    void start();
    // One frame later, in Flash Player's order: timers due, the timelines move on (objects
    // that left are gone, new ones exist), enterFrame to every listener, the new objects'
    // constructors, frameConstructed, frame scripts, exitFrame, render after
    // stage.invalidate(), collection.
    void advanceFrame();
    // The host moved the timeline itself (a seek): the objects it shows get their script side.
    void timelineMoved();
    // Input, stage twips; key codes as flash.ui.Keyboard names them.
    void mouseMove(QPointF stageTwips);
    void mouseDown();
    void mouseUp();
    // The press now down is a double click's second: the release after it sends doubleClick
    // instead of click to an object with doubleClickEnabled.
    void mouseDoubleClick();
    // The wheel turned `delta` lines (positive: away from the user) over what is under the
    // mouse: mouseWheel, then a text field there scrolls.
    void mouseWheel(int delta);
    // The pointer the object under the mouse asks for.
    enum class Cursor : std::uint8_t { Arrow, Hand, IBeam };
    Cursor cursor() const;
    void keyDown(int code, int charCode);
    void keyUp(int code, int charCode);
    // Text typed into the focused input field (TextEvent.TEXT_INPUT, then Event.CHANGE).
    void textInput(const QString& text);
    // An input method's text being composed (empty: none), shown at the caret.
    void composeText(const QString& preedit);
    // The focused field's selection for the clipboard; `cut` takes it out of an input field.
    QString selectedText(bool cut);
    // The view's size in pixels: in noScale the stage's size, and a resize event.
    void viewResized(QSizeF viewPx);
    // The window entered or left full screen, whoever asked.
    void fullScreenChanged(bool on);
    QString stageAlign() const;
    // Mouse.hide() was called and not undone by Mouse.show().
    bool mouseHidden() const;

    // The movie's sound engine, which flash.media plays on (none: scripts' sounds are silent).
    void setSound(std::shared_ptr<sound::MovieSound> sound);

    // fscommand("quit") was called.
    bool quitRequested() const;
    Player& player() { return *m_player; }
    DisplayTree& displayTree() { return *m_tree; }
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
    bool runFrameScripts(DisplayNode* n, int guard);
    void bindAndConstruct();

    std::shared_ptr<const Movie> m_movie;
    RuntimeOptions m_options;
    // Destroyed in reverse: the VM's objects let go of the tree's and player's objects first.
    std::unique_ptr<Player> m_ownPlayer;
    Player* m_player = nullptr;
    std::unique_ptr<DisplayTree> m_tree;
    std::unique_ptr<VM> m_vm;
    bool m_mouseDown = false;
    bool m_shiftDown = false, m_ctrlDown = false; // Shift and Control, from their own keys
    DisplayNode* m_stage = nullptr;
    DisplayNode* m_root = nullptr;
    std::size_t m_nextBlock = 0;
    std::size_t m_frame = 0;
    bool m_started = false;
};

} // namespace swf::avm2
