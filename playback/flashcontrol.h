#pragma once

#include "playback/audiooutput.h"
#include "playback/frameclock.h"
#include "playback/moviecontrol.h"
#include "swf/avm1/scripting.h"
#include "swf/movie.h"
#include "swf/player.h"
#include "swf/render/paintercanvas.h"
#include "swf/render/renderer.h"

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

// The movie surface of the main window: loads a movie into a player, runs it at the movie's
// frame rate and draws it; its right-click menu is the Flash control's own.
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

    bool hasMovie() const { return m_player != nullptr; }
    bool isPlaying() const { return m_player && m_player->isPlaying(); }
    int frameCount() const { return m_player ? int(m_player->frameCount()) : 0; }
    qint32 scaleMode() const { return m_scaleMode; }
    const std::optional<swf::MovieHeader>& header() const { return m_header; }
    QString notice() const { return m_notice; }
    swf::Player* player() { return m_player.get(); }

    bool isLooping() const { return m_loop; }
    void setLooping(bool loop);
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
    QString moviePath() const { return m_player ? m_path : QString(); }
    // Playing speed, 1 for the movie's own rate. Sound plays only at 1: the mixer cannot follow
    // another pace, so other speeds are silent. A new movie starts at 1.
    double speed() const { return m_speed; }
    void setSpeed(double speed);

    // The movie's scripts, while a movie is loaded.
    swf::avm1::Scripting* scripting() { return m_scripting.get(); }

    // The movie's sound, while a movie that has any is loaded.
    swf::sound::MovieSound* movieSound() { return m_sound.get(); }
    // Where sound goes; made with the first movie that has sound.
    AudioOutput* audioOutput() { return m_audio.get(); }
    // The default device (silent when there is none), or silence kept in real time; for the
    // next output made.
    void setAudioMode(AudioOutput::Mode mode) { m_audioMode = mode; }
    // The clock a stream movie follows: the audio output's unless another is given (tests).
    void setAudioClock(const AudioClock* clock) { m_audioClockOverride = clock; }

signals:
    void frameChanged(int frame);
    // fscommand("fullscreen", "true"/"false") from the movie's scripts.
    void fullScreenRequested(bool on);

protected:
    void paintEvent(QPaintEvent*) override;
    void contextMenuEvent(QContextMenuEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void leaveEvent(QEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void keyReleaseEvent(QKeyEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;

private:
    void unload();
    void startClock();
    void onTick();
    void afterStep(); // pending actions, button hover, repaint
    void runScripts();
    void startScripting();
    void startSound(const std::shared_ptr<const swf::Movie>& movie);
    void stopSound();
    void updateSound(); // after every change of the player
    void holdSound();
    void releaseSound(bool dropPlaying);
    const AudioClock* audioClock() const;
    std::optional<QPointF> stagePixels(QPointF widgetPos) const;
    void updateHover();
    void setHovered(swf::ButtonInstance* b, bool pressed);
    bool isLive(const swf::ButtonInstance* b) const;
    void drawFrame(QPainter& p, const QRect& area);

    std::optional<swf::MovieHeader> m_header;
    std::unique_ptr<swf::Player> m_player;
    std::unique_ptr<swf::avm1::Scripting> m_scripting; // declared after the player it runs on
    std::shared_ptr<swf::sound::MovieSound> m_sound;
    std::unique_ptr<AudioOutput> m_audio;
    AudioOutput::Mode m_audioMode = AudioOutput::Mode::Device;
    const AudioClock* m_audioClockOverride = nullptr;
    // Pause holds the output and the sound's view of the movie until Play; a stream movie is
    // paced by its sound while m_audioPaced.
    bool m_soundHeld = false;
    bool m_audioPaced = false;
    swf::render::Renderer m_renderer;
    QColor m_background = Qt::white;
    QString m_notice;
    FrameClock m_clock;
    QElapsedTimer m_elapsed;
    QTimer m_timer;
    qint32 m_scaleMode = 0;
    double m_zoom = 1;
    bool m_loop = true;
    swf::render::Quality m_quality = swf::render::Quality::High;
    std::function<void(swf::Player&, std::vector<swf::PendingAction>)> m_actionHandler;
    std::function<void(QMenu*)> m_menuExtender;
    QString m_path;
    double m_speed = 1;
    swf::ButtonInstance* m_hovered = nullptr; // checked with isLive() before each use
    bool m_mouseDown = false;
    std::optional<QPointF> m_mouse; // last position inside the widget
};
