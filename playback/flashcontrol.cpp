#include "playback/flashcontrol.h"

#include <QPainter>
#include <QUrl>
#include <cstdio>

namespace {

// A local file path for what Movie() was given, or an empty string when it names no local movie
// ("http://" among them, which is how the window unloads).
QString localMoviePath(const QString& movie) {
    if (movie.startsWith(QLatin1String("file://"), Qt::CaseInsensitive))
        return QUrl(movie).toLocalFile();
    if (movie.contains(QLatin1String("://")))
        return {};
    return movie;
}

} // namespace

FlashControl::FlashControl(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &FlashControl::onTick);
}

void FlashControl::Movie(const QString& path) {
    unload();
    const QString local = localMoviePath(path);
    if (local.isEmpty()) {
        update();
        return;
    }
    auto movie = swf::loadMovieFile(local);
    if (!movie) {
        std::fprintf(stderr, "reelwick: %s: %s\n", qUtf8Printable(local),
                     movie.error().message.c_str());
        m_notice = tr("无法播放此文件");
        update();
        return;
    }
    m_header = movie->header;
    if (auto bg = swf::findBackgroundColor(*movie))
        m_background = QColor(bg->r, bg->g, bg->b);
    m_playhead.reset(movie->header.frameCount);
    // Stored settings: a movie plays as soon as it is given, and loops.
    m_playhead.setLoop(true);
    m_playhead.play();
    startClock();
    emit frameChanged(0);
    update();
}

void FlashControl::unload() {
    m_timer.stop();
    m_clock.stop();
    m_header.reset();
    m_notice.clear();
    m_background = Qt::white;
    m_playhead.reset(0);
}

qint32 FlashControl::FrameNum() const {
    return m_playhead.current();
}

void FlashControl::FrameNum(qint32 frame) {
    m_playhead.seek(frame);
    emit frameChanged(m_playhead.current());
    update();
}

void FlashControl::Play() {
    if (!hasMovie() || m_playhead.playing())
        return;
    m_playhead.play();
    startClock();
}

void FlashControl::Stop() {
    m_playhead.stop();
    m_clock.stop();
    m_timer.stop();
}

void FlashControl::Back() {
    Stop();
    m_playhead.back();
    emit frameChanged(m_playhead.current());
    update();
}

void FlashControl::Forward() {
    Stop();
    m_playhead.forward();
    emit frameChanged(m_playhead.current());
    update();
}

void FlashControl::Rewind() {
    FrameNum(0);
}

void FlashControl::StopPlay() {
    Stop();
}

void FlashControl::ScaleMode(qint32 mode) {
    m_scaleMode = mode;
    update();
}

void FlashControl::startClock() {
    if (!m_header || !m_playhead.playing())
        return;
    m_elapsed.start();
    m_clock.start(m_header->effectiveFrameRate(), 0);
    m_timer.start(m_clock.msUntilNext(0));
}

void FlashControl::onTick() {
    const qint64 now = m_elapsed.elapsed();
    const int steps = m_clock.stepsDue(now);
    for (int i = 0; i < steps && m_playhead.playing(); ++i)
        m_playhead.tick();
    if (steps > 0) {
        emit frameChanged(m_playhead.current());
        update(); // one paint for all steps taken: drawing is what falls behind, not the timeline
    }
    if (m_playhead.playing())
        m_timer.start(m_clock.msUntilNext(now));
}

QRectF FlashControl::stageRect(const QSizeF& widgetSize, const QSizeF& stageSize, qint32 mode) {
    if (stageSize.isEmpty() || widgetSize.isEmpty())
        return QRectF(QPointF(0, 0), widgetSize);
    QSizeF size = stageSize;
    switch (mode) {
    case 0: // show all
        size = stageSize.scaled(widgetSize, Qt::KeepAspectRatio);
        break;
    case 1: // no border
        size = stageSize.scaled(widgetSize, Qt::KeepAspectRatioByExpanding);
        break;
    case 2: // exact fit
        size = widgetSize;
        break;
    default: // no scale
        break;
    }
    return QRectF(
        QPointF((widgetSize.width() - size.width()) / 2, (widgetSize.height() - size.height()) / 2),
        size);
}

void FlashControl::paintEvent(QPaintEvent*) {
    QPainter p(this);
    if (!m_header) {
        p.fillRect(rect(), palette().color(QPalette::Base));
        if (!m_notice.isEmpty()) {
            p.setPen(palette().color(QPalette::PlaceholderText));
            p.drawText(rect(), Qt::AlignCenter, m_notice);
        }
        return;
    }
    // Show all letterboxes in the movie's own background colour.
    p.fillRect(rect(), m_background);
}
