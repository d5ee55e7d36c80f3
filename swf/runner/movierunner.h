#pragma once

// One loaded movie, running: the player, its scripts, its sound, the mouse and keys, and the
// movie's clock. Every host (the window's movie control, the exporter, benchmarks, fuzz
// targets) gives it time and input and takes back what to draw and what to hear; the order of a
// frame (timeline step, scripts, events, sound) is decided here and nowhere else.
//
//     swf::MovieRunner runner(movie, url, options);
//     runner.start();                          // first frame and its scripts
//     each tick:   runner.step(n);             // n timeline steps (1, or what the sound asks)
//     each input:  runner.mouseMove(stagePx); runner.keyDown(code, ascii); ...
//     to draw:     runner.render(canvas, view) or runner.picture(size)
//
// An export runs on the movie's own clock: runner.nextPicture() moves it on by one frame's
// length (stream sound may ask for more steps or none), so every run gives the same result.

#include "swf/avm1/vm.h"
#include "swf/avm2/vm.h"
#include "swf/movie.h"
#include "swf/player.h"
#include "swf/render/changes.h"
#include "swf/render/paintercanvas.h"
#include "swf/render/renderer.h"
#include "swf/runner/scriptengine.h"
#include "swf/sound/pcm.h"

#include <QImage>
#include <QSize>
#include <memory>
#include <optional>

namespace swf {

namespace avm1 {
class Scripting;
}
namespace sound {
class AudioRecorder;
class MovieSound;
} // namespace sound

struct RunnerOptions {
    enum class Sound : std::uint8_t {
        None,   // silent; scripts' Sound objects answer but play nothing
        Live,   // for an audio device: decoded in the background, pulled from another thread
        Record, // for a file: every picture's sound kept in order (takeAudio)
    };
    Sound sound = Sound::None;
    bool scripts = true; // false: the bare timeline (buttons still follow the mouse)
    bool looping = true;
    // Where every movie's SharedObjects are kept ($XDG_DATA_HOME/reelwick/shared-objects);
    // empty: SharedObject.getLocal gives null. Files beside a local movie are readable either way.
    QString sharedObjectFolder;
    PlayerLimits playerLimits;
    avm1::Limits avm1Limits;
    avm2::Limits avm2Limits;
};

// What a step or an input event changed, for the host.
struct StepResult {
    bool frameChanged = false; // the main timeline shows another frame
    bool redraw = false;       // anything on stage may look different
};

class MovieRunner {
public:
    // `url` is the movie's address as scripts see it (_url): file:// and the absolute path for
    // a local file.
    MovieRunner(std::shared_ptr<const Movie> movie, const QString& url,
                const RunnerOptions& options = {});
    ~MovieRunner();
    MovieRunner(const MovieRunner&) = delete;
    MovieRunner& operator=(const MovieRunner&) = delete;

    // The address scripts see for a movie loaded from `path`.
    static QString urlForFile(const QString& path);

    // Set before start(). Unset trace goes to standard error, one line per call; fscommand is
    // called after the script that asked has returned (full screen resizes the view, which runs
    // scripts again); confirmOpenUrl unset refuses.
    ScriptHostHooks& hooks() { return m_hooks; }
    // The movie's clock in milliseconds; unset, it is the movie's own time (frames shown by
    // nextPicture() times the frame length, plus advanceClock()).
    void setClock(std::function<std::int64_t()> clock) { m_clockSource = std::move(clock); }
    // In place of the scripts: sees the action blocks every step, seek and button change
    // queued (tests watch the queue with it). Set before start().
    void setActionHandler(std::function<void(Player&, std::vector<PendingAction>)> h) {
        m_actionHandler = std::move(h);
    }

    // Shows the first frame: its scripts run, its sounds start.
    void start();

    const Movie& movie() const { return m_player->movie(); }
    std::shared_ptr<const Movie> moviePtr() const { return m_movie; }
    Player& player() { return *m_player; }
    const Player& player() const { return *m_player; }
    // The scripting engine, null for a movie run without scripts.
    ScriptEngine* scriptEngine() { return m_engine.get(); }
    // The AVM1 scripts, when that is the engine.
    avm1::Scripting* avm1();
    // The movie's sound, null when it has none or is silent (None).
    const std::shared_ptr<sound::MovieSound>& sound() const { return m_sound; }

    // Time.
    std::int64_t clockMs() const;
    void advanceClock(std::int64_t ms) { m_timeMs += ms; }
    // `ticks` timeline steps, each followed by its scripts and sounds; ends early when the
    // movie quits.
    StepResult step(int ticks = 1);
    // Offline hosts (export): the sound of the picture shown now (with Record), then the clock
    // moves on one frame's length and the steps due before the next picture run: one, or as
    // many as the stream sound playing asks (none to hold the picture).
    StepResult nextPicture();
    // Records the sound of the picture shown now, if not done yet (the last picture of an
    // export, whose next never comes).
    void finishPicture();
    // Pictures shown by nextPicture() so far.
    std::int64_t pictures() const { return m_pictures; }

    // The user's playback commands; each runs what the new frame asks.
    StepResult gotoFrame(std::int64_t frame); // 0-based
    StepResult back();                        // one frame back, then stopped
    StepResult forward();
    void play();
    void stop();
    bool isPlaying() const { return m_player->isPlaying(); }
    std::size_t currentFrame() const { return m_player->currentFrame(); }
    std::size_t frameCount() const { return m_player->frameCount(); }
    void setLooping(bool loop) { m_player->setLooping(loop); }

    // The movie asked to end (fscommand "quit"); steps do nothing more.
    bool quitRequested() const;

    // Pause: the sound's view of the movie stays where it is (sprites run on silently) until
    // releaseSound(); `dropPlaying` silences what played before instead of resuming it.
    void holdSound();
    void releaseSound(bool dropPlaying);
    bool soundHeld() const { return m_soundHeld; }
    // Silences every sound (the Stop command).
    void stopSounds();
    // Stream sound playing at `heardTime` (output samples): steps the timeline owes it, nothing
    // when no stream paces the movie.
    std::optional<std::int64_t> stepsDue(std::uint64_t heardTime) const;

    // Input. Positions in stage pixels; nothing means the mouse is off the view.
    StepResult mouseMove(std::optional<QPointF> stagePx);
    StepResult mouseDown();
    StepResult mouseUp();
    // The second press of a double click: a press (unless the host sent one just before),
    // which the engine then counts as a double click's.
    StepResult mouseDoubleClick();
    // The wheel turned `delta` lines (3 a notch, as Flash counts), positive away from the user.
    StepResult mouseWheel(int delta);
    // The pointer to show over the view now.
    MouseCursor cursor() const;
    StepResult keyDown(int code, int ascii);
    StepResult keyUp(int code, int ascii);
    // Text typed or committed by an input method, for the focused input text field.
    StepResult textInput(const QString& text);
    // What an input method is composing (empty when done), shown at the caret meanwhile.
    StepResult composeText(const QString& preedit);
    // The clipboard: the focused field's selected text; cutting takes it out (a change).
    QString selectedText(bool cut, StepResult* result = nullptr);
    // The view's size in pixels: Stage.width/height in noScale, onResize. May come before
    // start().
    void viewResized(QSizeF viewPx);
    // The window entered or left full screen (stage.displayState). May come before start().
    void fullScreenChanged(bool on);
    // The button under the mouse now, if any (for the cursor).
    const ButtonInstance* hoveredButton() const { return m_hovered; }
    QString stageAlign() const { return m_engine ? m_engine->stageAlign() : QString(); }
    bool mouseHidden() const { return m_engine && m_engine->mouseHidden(); }

    // Drawing.
    QColor background() const;
    void render(render::Canvas& canvas, const QTransform& view);
    // The renderer that render() and picture() use, and the caches it keeps.
    render::Renderer& renderer() { return m_renderer; }
    // What may look different on stage since the last call, whatever changed it (timeline,
    // scripts, input); the first call reports everything. Views that keep their picture
    // redraw only this (render::ViewPicture does).
    render::StageChanges takeChanges() { return m_changes.update(*m_player); }
    // The whole stage drawn at `size` pixels on its background: the picture an export writes.
    QImage picture(QSize size, render::Quality quality = render::Quality::High);
    // The stage size in whole pixels (at least 1 x 1).
    QSize stageSize() const;

    // With Record: the sound recorded so far, handed over and cleared.
    sound::PcmBuffer takeAudio();

private:
    void runHandler();
    void afterChange(StepResult& r, std::size_t frameBefore); // sound, hover, requests
    StepResult shownAfterMove(std::size_t frameBefore);
    void updateSound();
    void updateHover();
    void deliverRequests();
    bool ownsButtonStates() const { return !m_engine; }

    std::shared_ptr<const Movie> m_movie;
    QString m_url;
    RunnerOptions m_options;
    ScriptHostHooks m_hooks;
    std::unique_ptr<Player> m_player;
    std::unique_ptr<ScriptEngine> m_engine; // after the player it runs on
    std::shared_ptr<sound::MovieSound> m_sound;
    std::unique_ptr<sound::AudioRecorder> m_recorder;
    render::Renderer m_renderer;
    // The last picture's pixels, drawn over again once its holders have let go of it.
    QImage m_picture;
    render::ChangeTracker m_changes;
    std::function<void(Player&, std::vector<PendingAction>)> m_actionHandler;
    std::function<std::int64_t()> m_clockSource;
    std::int64_t m_timeMs = 0;
    std::int64_t m_pictures = 0;
    bool m_pictureRecorded = false;
    // Record for a movie with no sound at all: nothing to mix, only the length to keep.
    std::int64_t m_silentPictures = 0;
    std::uint64_t m_silentFramesTaken = 0;
    bool m_started = false;
    bool m_soundHeld = false;
    // Requests scripts made, for the host once the script has returned.
    std::vector<std::pair<QString, QString>> m_fscommands;
    bool m_delivering = false;
    std::optional<QSizeF> m_viewSize;
    bool m_fullScreen = false;
    std::optional<QPointF> m_mouse; // stage pixels
    bool m_mouseDown = false;
    ButtonInstance* m_hovered = nullptr; // checked with isLive() before each use
};

} // namespace swf
