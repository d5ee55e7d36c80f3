#pragma once

// Runs a movie's ActionScript 1 and 2 beside a Player. The movie control calls afterAdvance()
// after each Player::advance() and forwards mouse and key input; everything a script changes
// (play state, frames, clip positions) lands in the Player, which the renderer draws.

#include "swf/avm1/vm.h"

#include <QPointF>
#include <QSet>
#include <QSizeF>
#include <QTransform>
#include <functional>
#include <memory>
#include <vector>

namespace swf {
namespace sound {
class MovieSound;
}
class Player;
class MovieClip;
class DisplayObject;
class ButtonInstance;
} // namespace swf

namespace swf::avm1 {

class Scripting {
public:
    explicit Scripting(Player& player, const Limits& limits = {});
    // Writes the movie's SharedObjects; a failure is reported through hooks().notice, so
    // whatever that hook refers to must outlive the Scripting.
    ~Scripting();
    Scripting(const Scripting&) = delete;
    Scripting& operator=(const Scripting&) = delete;

    // trace output, debug warnings, fscommand, URL prompts. trace and warnings go to standard
    // error unless set.
    HostHooks& hooks() { return m_vm->hooks; }
    VM& vm() { return *m_vm; }
    // The movie's sound, for Sound objects and StopSounds; without it scripts run silently.
    void setSound(std::shared_ptr<sound::MovieSound> sound);
    // The movie's own file, which decides what its scripts may read (its folder and below),
    // and the folder for every movie's SharedObjects ($XDG_DATA_HOME/reelwick/shared-objects).
    // Without them, loads are refused and SharedObject.getLocal gives null.
    void setFiles(const QString& moviePath, const QString& sharedObjectFolder);

    // Runs the scripts of the frame the Player has just shown: the first frame right after
    // construction, then after every Player::advance().
    void afterAdvance();
    // Player::advance() followed by afterAdvance(); stops advancing once the movie quit.
    void tick();
    // fscommand("quit") was called.
    bool quitRequested() const { return m_vm->quitRequested; }

    // Input, in stage pixels. Key codes are those of Key.getCode (37 left, 38 up, 13 enter,
    // 65 for A...), `ascii` the character typed (0 if none).
    void mouseMove(QPointF stagePos);
    void mouseDown();
    void mouseUp();
    // Whether the button or clip with button handlers under the mouse wants the hand pointer
    // (its useHandCursor, true unless a script cleared it); nothing when none is there.
    std::optional<bool> handCursor() const;
    void keyDown(int code, int ascii);
    void keyUp(int code, int ascii);
    // The press now down is a double click's second: it selects the word in a text field.
    void mouseDoubleClick();
    // Text typed (after its keys), pasted or committed by an input method, for the focused
    // input field; and that field's selection for the clipboard (`cut` takes it out).
    void textInput(const QString& text);
    // An input method's text being composed (empty: none), shown at the focused field's caret.
    void composeText(const QString& preedit);
    QString selectedText(bool cut);
    // Whether the mouse is over text the user can select or type into (an I-beam pointer).
    bool overText() const { return m_overText; }
    // The view showing the movie has this size in pixels: Stage.width and height in noScale
    // mode, and Stage listeners' onResize.
    void viewResized(QSizeF viewPx);
    // Key.getCode-style code of a Qt::Key, 0 if it has none.
    static int keyCodeFromQt(int qtKey);

    // Hit test of an object on stage against a stage point in pixels; the renderer can give a
    // precise one, the default uses bounding boxes.
    std::function<bool(const DisplayObject& object, QTransform stageMatrix, QPointF stagePx)>
        hitTest;

private:
    struct Node {
        MovieClip* clip;
        DisplayObject* object; // null for the root
    };
    void collect(MovieClip* clip, DisplayObject* object, std::vector<Node>& out, int depth);
    std::vector<Node> nodes();
    void runQueued();
    void takePending();
    void clipEvent(const Node& n, std::uint32_t flag, const QString& method, int keyCode = 0);
    void broadcast(std::uint32_t flag, const QString& method, const QString& listenerMethod,
                   std::vector<Object*>& listeners, int keyCode = 0);
    void runIntervals();
    void soundsCompleted();
    void updateDrag();
    void buttonEvent(const Node& n, std::uint16_t condition, const QString& method);
    std::optional<Node> topUnderMouse();
    struct FieldHit {
        DisplayObject* field;
        MovieClip* parent;
        QPointF local; // the mouse in the field's coordinates, twips
    };
    std::optional<FieldHit> fieldUnderMouse();
    std::vector<FieldHit> focusableFields();
    bool shownOnStage(MovieClip* clip) const;
    std::optional<QPointF> mouseInFocusedField() const;
    void tabToNext(bool back);
    // Enter or Space on the focused button or clip: pressed and released, as by the mouse.
    void pressFocusedButton();
    // Puts the focus rectangle around the focused button or clip where it stands now.
    void updateFocusRect();
    std::optional<Node> nodeOf(MovieClip* clip);
    template <typename F> void textWork(F&& work);
    bool hasUnloadHandler(const DisplayObject& o) const;
    void runUnloads();
    void syncTextFields();
    QTransform stageMatrix(MovieClip* clip, const DisplayObject* object) const;
    bool alive(MovieClip* c) const { return m_live.contains(c); }

    Player& m_player;
    std::unique_ptr<VM> m_vm;
    std::vector<std::pair<MovieClip*, std::span<const std::uint8_t>>> m_queue;
    QSet<MovieClip*> m_live;
    QSet<MovieClip*> m_loaded; // clips whose load event ran
    MovieClip* m_hover = nullptr;
    MovieClip* m_pressed = nullptr;
    bool m_mouseDown = false;
    bool m_selectingText = false; // the press went down in the focused field
    bool m_overText = false;
    bool m_first = true;
    bool m_unloading = false;
    int m_gcCountdown = 0;
};

} // namespace swf::avm1
