#pragma once

#include "playback/audiooutput.h"
#include "playback/frameclock.h"
#include "playback/moviecontrol.h"
#include "swf/avm1/scripting.h"
#include "swf/movie.h"
#include "swf/player.h"
#include "swf/render/paintercanvas.h"
#include "swf/runner/movierunner.h"
#include "swf/runner/viewpicture.h"

#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <memory>
#include <optional>

class QMenu;

namespace swf::sound {
class MovieSound;
}

// The movie surface of the main window: loads a movie into a movie runner, gives it time (the
// movie's frame rate, or the sound being heard) and the user's input, and draws what it shows;
// its right-click menu is the Flash control's own.
class FlashControl : public QWidget, public MovieControl {
    Q_OBJECT
public:
    explicit FlashControl(QWidget* parent = nullptr);
    ~FlashControl() override;

    void Movie(const QString& path) override;
    qint32 FrameNum() const override;
    void FrameNum(qint32 frame) override;
    void Play() override;
    void Stop() override;
    void Back() override;
    void Forward() override;
    void Rewind() override;
    void StopPlay() override;
    void ScaleMode(qint32 mode) override;
    QWidget* widget() override { return this; }

    bool hasMovie() const { return m_runner != nullptr; }
    bool isPlaying() const { return m_runner && m_runner->isPlaying(); }
    int frameCount() const { return m_runner ? int(m_runner->frameCount()) : 0; }
    qint32 scaleMode() const { return m_scaleMode; }
    const std::optional<swf::MovieHeader>& header() const { return m_header; }
    QString notice() const { return m_notice; }
    swf::Player* player() { return m_runner ? &m_runner->player() : nullptr; }
    swf::MovieRunner* runner() { return m_runner.get(); }

    bool isLooping() const { return m_loop; }
    void setLooping(bool loop);
    // The window entered or left full screen; the movie's stage.displayState follows.
    void setFullScreen(bool on);
    swf::render::Quality quality() const { return m_quality; }
    void setQuality(swf::render::Quality q);
    double zoom() const { return m_zoom; }
    void zoomIn();
    void zoomOut();
    void showAll(); // back to the whole stage

    // Runs after every timeline step, seek or button change with the action blocks that step
    // queued, in place of the movie's own scripting (tests use it to watch the queue).
    void setActionHandler(std::function<void(swf::Player&, std::vector<swf::PendingAction>)> h) {
        m_actionHandler = std::move(h);
    }

    // The stage rectangle inside a widget of `size`, for the given scale mode: centred, with
    // the movie's proportions kept for show all and no border.
    static QRectF stageRect(const QSizeF& widgetSize, const QSizeF& stageSize, qint32 scaleMode);
    // Stage twips to widget pixels as drawn now.
    QTransform viewTransform() const;
    // The frame as it would be drawn now, at the widget's size.
    QImage grabFrame();
    // The right-click menu, built fresh with the current states checked.
    QMenu* createContextMenu(QWidget* parent);
    // Adds entries of its own to every menu built (ControlMenu: export, information, go to).
    void setMenuExtender(std::function<void(QMenu*)> extend) { m_menuExtender = std::move(extend); }
    // The local file of the movie shown, empty when none.
    QString moviePath() const { return m_runner ? m_path : QString(); }
    // Playing speed, 1 for the movie's own rate. Sound plays only at 1: the mixer cannot follow
    // another pace, so other speeds are silent. A new movie starts at 1.
    double speed() const { return m_speed; }
    void setSpeed(double speed);

    // The movie's ActionScript 1/2 scripts, while such a movie is loaded.
    swf::avm1::Scripting* scripting() { return m_runner ? m_runner->avm1() : nullptr; }

    // The movie's sound, while a movie that has any is loaded.
    swf::sound::MovieSound* movieSound() { return m_runner ? m_runner->sound().get() : nullptr; }
    // Where sound goes; made with the first movie that has sound.
    AudioOutput* audioOutput() { return m_audio.get(); }
    // The default device (silent when there is none), or silence kept in real time; for the
    // next output made.
    void setAudioMode(AudioOutput::Mode mode) { m_audioMode = mode; }
    // The clock a stream movie follows: the audio output's unless another is given (tests).
    void setAudioClock(const AudioClock* clock) { m_audioClockOverride = clock; }
    // For the next movie loaded: no frame timer and no audio device; the movie moves on by
    // stepPicture() alone, one frame's length on its own clock with its sound recorded, as an
    // export plays it (tests compare the two).
    void setManualClock(bool on) { m_manualClock = on; }
    void stepPicture();
    // Redraws the whole view on every frame, changed or not, as the control did before it kept
    // its picture (REELWICK_FULL_REPAINT=1 sets it at start): for comparisons.
    void setFullRepaint(bool on);
    bool fullRepaint() const { return m_picture.fullRepaint(); }

signals:
    void frameChanged(int frame);
    // fscommand("fullscreen", "true"/"false") from the movie's scripts, once the script that
    // asked has returned.
    void fullScreenRequested(bool on);

protected:
    void paintEvent(QPaintEvent*) override;
    void contextMenuEvent(QContextMenuEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    // Qt sends this in place of a double click's second press.
    void mouseDoubleClickEvent(QMouseEvent* e) override;
    void wheelEvent(QWheelEvent* e) override;
    void leaveEvent(QEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void keyReleaseEvent(QKeyEvent* e) override;
    // Text from input methods (Chinese, say) goes to the movie's focused input field.
    void inputMethodEvent(QInputMethodEvent* e) override;
    QVariant inputMethodQuery(Qt::InputMethodQuery query) const override;
    // Tab moves the focus inside the movie, not to the next widget.
    bool focusNextPrevChild(bool next) override;
    void resizeEvent(QResizeEvent* e) override;

private:
    void unload();
    void startClock();
    void onTick();
    void setUpHooks();
    void startSound();
    void stopSound();
    void syncSoundHold(); // the output follows the runner's pause of the sound
    // After whatever the runner did: a movie that quit is closed; else cursor and repaint.
    bool afterRunner(const swf::StepResult& r);
    const AudioClock* audioClock() const;
    std::optional<QPointF> stagePixels(QPointF widgetPos) const;
    void updateCursor();
    void refreshMouse();
    void drawFrame(QPainter& p, const QRect& area);
    // Brings the kept picture up to the movie and asks to show what it redrew.
    void refresh();
    QRegion updatePicture(); // what it redrew, in the control's coordinates
    void repaintAll();       // a new view: scale mode, zoom, quality

    std::optional<swf::MovieHeader> m_header;
    std::unique_ptr<swf::MovieRunner> m_runner;
    std::unique_ptr<AudioOutput> m_audio;
    AudioOutput::Mode m_audioMode = AudioOutput::Mode::Device;
    const AudioClock* m_audioClockOverride = nullptr;
    // A stream movie is paced by its sound while m_audioPaced.
    bool m_audioPaced = false;
    bool m_manualClock = false;
    bool m_outputHeld = false; // the runner's pause of the sound, as last passed to the output
    QColor m_background = Qt::white;
    QString m_notice;
    FrameClock m_clock;
    QElapsedTimer m_elapsed;
    QTimer m_timer;
    qint32 m_scaleMode = 0;
    double m_zoom = 1;
    bool m_loop = true;
    bool m_fullScreen = false;
    swf::render::Quality m_quality = swf::render::Quality::High;
    std::function<void(swf::Player&, std::vector<swf::PendingAction>)> m_actionHandler;
    std::function<void(QMenu*)> m_menuExtender;
    QString m_path;
    double m_speed = 1;
    std::optional<QPointF> m_mouse; // last position inside the widget
    int m_wheelEighths = 0;         // wheel turns not yet a whole line
    // The picture shown, redrawn where the movie changed; paint events copy from it.
    swf::ViewPicture m_picture;
};
