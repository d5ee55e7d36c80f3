#pragma once

#include "playback/frameclock.h"
#include "playback/moviecontrol.h"
#include "playback/playhead.h"
#include "swf/movie.h"

#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>
#include <optional>

// The movie surface of the main window: loads a movie, keeps its frame clock and draws it.
class FlashControl : public QWidget, public MovieControl {
    Q_OBJECT
public:
    explicit FlashControl(QWidget* parent = nullptr);

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

    bool hasMovie() const { return m_header.has_value(); }
    bool isPlaying() const { return m_playhead.playing(); }
    int frameCount() const { return m_playhead.frameCount(); }
    qint32 scaleMode() const { return m_scaleMode; }
    const std::optional<swf::MovieHeader>& header() const { return m_header; }
    QString notice() const { return m_notice; }

    // The stage rectangle inside a widget of `size`, for the given scale mode: centred, with
    // the movie's proportions kept for show all and no border.
    static QRectF stageRect(const QSizeF& widgetSize, const QSizeF& stageSize, qint32 scaleMode);

signals:
    void frameChanged(int frame);

protected:
    void paintEvent(QPaintEvent*) override;

private:
    void unload();
    void startClock();
    void onTick();

    std::optional<swf::MovieHeader> m_header;
    QColor m_background = Qt::white;
    QString m_notice;
    Playhead m_playhead;
    FrameClock m_clock;
    QElapsedTimer m_elapsed;
    QTimer m_timer;
    qint32 m_scaleMode = 0;
};
