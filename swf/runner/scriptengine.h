#pragma once

// The seam between the movie runner and a scripting engine. ActionScript 1/2 and ActionScript 3
// keep their own frame cycles (when scripts run relative to the timeline's step, which events
// fire in what order); the runner only says when time moves on and what the user did.

#include <QPointF>
#include <QSizeF>
#include <QString>
#include <QTransform>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

namespace swf {

class DisplayObject;
class Player;
namespace sound {
class MovieSound;
}

// What a movie's scripts ask of the world outside the movie. The runner fills these in and
// hands them to the engine; requests that change the host (fscommand) reach the host only after
// the script that made them has returned.
struct ScriptHostHooks {
    std::function<void(const QString&)> trace;   // one call per trace()
    std::function<void(const QString&)> warning; // what a debug player reports
    std::function<void(const QString&)> notice;  // refused requests, stopped scripts
    std::function<void(const QString& command, const QString& args)> fscommand;
    std::function<bool(const QString& url)> confirmOpenUrl;
    std::function<void(const QString& url)> openUrl;
    std::function<void(const QString& mode)> scaleModeChanged; // "showAll", "noScale"...
    // Hit test of an object on stage against a stage point in pixels.
    std::function<bool(const DisplayObject& object, QTransform stageMatrix, QPointF stagePx)>
        hitTest;
    // The movie's clock in milliseconds (getTimer, intervals).
    std::function<std::int64_t()> clock;
};

// The pointer the movie wants over the view.
enum class MouseCursor : std::uint8_t { Arrow, Hand, IBeam };

class ScriptEngine {
public:
    virtual ~ScriptEngine() = default;

    // One tick of the movie: the engine moves the player on and runs what the new frame asks,
    // in its own order.
    virtual void tick() = 0;
    // The host moved the timeline itself (first frame, seek, step): run what that queued.
    virtual void frameShown() = 0;
    // Input, in stage pixels; key codes as Key.getCode gives them, `ascii` 0 when none.
    virtual void mouseMove(QPointF stagePx) = 0;
    virtual void mouseDown() = 0;
    virtual void mouseUp() = 0;
    // The press now down is the second of a double click.
    virtual void mouseDoubleClick() {}
    // The wheel turned `delta` lines, positive away from the user.
    virtual void mouseWheel(int delta) { (void)delta; }
    // The pointer the scripts' objects under the mouse ask for; nothing: the runner's
    // (a hand over a button).
    virtual std::optional<MouseCursor> cursor() const { return std::nullopt; }
    virtual void keyDown(int code, int ascii) = 0;
    virtual void keyUp(int code, int ascii) = 0;
    // Text the user typed (after the keys that typed it), or an input method committed: goes
    // into the focused input text field. Engines without input text ignore it.
    virtual void textInput(const QString& text) { (void)text; }
    // Text an input method is composing (empty: none), shown at the focused field's caret.
    virtual void composeText(const QString& preedit) { (void)preedit; }
    // The focused field's selected text for the clipboard; `cut` takes it out.
    virtual QString selectedText(bool cut) {
        (void)cut;
        return {};
    }
    virtual void viewResized(QSizeF viewPx) = 0;
    // The window entered or left full screen, by the user's command or the movie's request.
    virtual void fullScreenChanged(bool on) { (void)on; }
    virtual void setSound(std::shared_ptr<sound::MovieSound> sound) = 0;
    // fscommand("quit") or its like: the movie asked to end.
    virtual bool quitRequested() const = 0;
    // Stage.align as scripts set it ("", "L", "TR"...).
    virtual QString stageAlign() const = 0;
    // Whether scripts hid the pointer over the movie (Mouse.hide).
    virtual bool mouseHidden() const { return false; }
};

} // namespace swf
