#include "playback/flashcontrol.h"

#include "playback/controlmenu.h"
#include "swf/sound/moviesound.h"

#include <QActionGroup>
#include <QContextMenuEvent>
#include <QDesktopServices>
#include <QKeyEvent>
#include <QMenu>
#include <QMessageBox>
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

constexpr double kMaxZoom = 64;
// How often a movie paced by its stream sound looks at the audio clock.
constexpr int kAudioPollMs = 8;

} // namespace

FlashControl::FlashControl(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(true);
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &FlashControl::onTick);
    new ControlMenu(this); // export, information, go to frame, speed: in the right-click menu
}

FlashControl::~FlashControl() {
    stopSound();
}

void FlashControl::Movie(const QString& path) {
    unload();
    const QString local = localMoviePath(path);
    if (local.isEmpty()) {
        update();
        return;
    }
    auto movie = swf::Movie::loadFile(local);
    if (!movie) {
        std::fprintf(stderr, "reelwick: %s: %s\n", qUtf8Printable(local),
                     movie.error().message.c_str());
        m_notice = tr("无法播放此文件"); // "this file cannot be played"
        update();
        return;
    }
    std::shared_ptr<const swf::Movie> loaded = std::move(movie).value();
    m_path = local;
    m_header = loaded->header();
    m_player = std::make_unique<swf::Player>(loaded);
    // Stored settings: a movie plays as soon as it is given, and loops.
    m_player->setLooping(m_loop);
    m_player->play();
    startScripting();
    startSound(loaded);
    afterStep();
    startClock();
    emit frameChanged(0);
}

void FlashControl::startSound(const std::shared_ptr<const swf::Movie>& movie) {
    if (!swf::sound::MovieSound::hasSound(*movie))
        return;
    m_sound = std::make_shared<swf::sound::MovieSound>(movie);
    m_scripting->setSound(m_sound);
    if (!m_audio)
        m_audio = std::make_unique<AudioOutput>(nullptr, m_audioMode);
    m_audio->setSound(m_sound);
    m_audio->setPaused(false);
    // MP3 takes a while to decode: event sounds decode beside the GUI thread, the ones frames
    // ask for first, then the others.
    m_sound->decodeInBackground();
}

void FlashControl::stopSound() {
    if (m_sound)
        m_sound->cancelPreload();
    if (m_audio) {
        m_audio->setSound(nullptr);
        m_audio->setPaused(false);
    }
    if (m_scripting)
        m_scripting->setSound(nullptr);
    m_sound.reset();
    m_soundHeld = false;
    m_audioPaced = false;
}

void FlashControl::updateSound() {
    // Other speeds than 1 are silent: nothing is started that nobody would hear.
    if (m_sound && m_player && !m_soundHeld && m_speed == 1)
        m_sound->update(*m_player);
}

// The output stops taking sound where it is; what played goes on from there on Play.
void FlashControl::holdSound() {
    if (!m_sound || m_soundHeld)
        return;
    m_soundHeld = true;
    if (m_audio)
        m_audio->setPaused(true);
}

void FlashControl::releaseSound(bool dropPlaying) {
    if (!m_sound)
        return;
    if (dropPlaying)
        m_sound->stopAll();
    if (m_soundHeld) {
        m_soundHeld = false;
        if (m_audio)
            m_audio->setPaused(m_speed != 1);
    }
    updateSound();
}

const AudioClock* FlashControl::audioClock() const {
    if (m_speed != 1)
        return nullptr; // the frame clock sets the pace
    if (m_audioClockOverride)
        return m_audioClockOverride;
    return m_audio.get();
}

void FlashControl::unload() {
    m_timer.stop();
    m_clock.stop();
    stopSound();
    m_hovered = nullptr;
    m_scripting.reset();
    m_player.reset();
    m_renderer.clearCaches();
    m_header.reset();
    m_notice.clear();
    m_background = Qt::white;
    m_zoom = 1;
    m_speed = 1;
    unsetCursor();
}

qint32 FlashControl::FrameNum() const {
    return m_player ? qint32(m_player->currentFrame()) : 0;
}

void FlashControl::FrameNum(qint32 frame) {
    if (!m_player)
        return;
    m_player->gotoFrame(frame);
    // A jump while paused plays the new frame's own sound, as a step does.
    if (m_soundHeld)
        releaseSound(true);
    afterStep();
    emit frameChanged(FrameNum());
}

void FlashControl::Play() {
    if (!m_player || m_player->isPlaying())
        return;
    // At the end of a movie that does not loop, playing starts over.
    if (!m_loop && m_player->currentFrame() + 1 >= m_player->frameCount())
        m_player->gotoFrame(0);
    m_player->play();
    // Held sound goes on from where Pause left it; a rewind from the end starts afresh.
    releaseSound(false);
}

// Halts the main timeline only: as in Flash, sprites on stage keep running, so the clock does too.
// The movie's sound is held until Play.
void FlashControl::Stop() {
    if (!m_player)
        return;
    m_player->stop();
    holdSound();
}

// A single step plays that frame's stream block (or nothing), not what was playing before.
void FlashControl::Back() {
    if (!m_player)
        return;
    m_player->stop();
    m_player->back();
    releaseSound(true);
    afterStep();
    emit frameChanged(FrameNum());
}

void FlashControl::Forward() {
    if (!m_player)
        return;
    m_player->stop();
    m_player->forward();
    releaseSound(true);
    afterStep();
    emit frameChanged(FrameNum());
}

void FlashControl::Rewind() {
    FrameNum(0);
}

// Halts and silences: nothing that was playing comes back on Play.
void FlashControl::StopPlay() {
    Stop();
    if (m_sound)
        m_sound->stopAll();
}

void FlashControl::ScaleMode(qint32 mode) {
    m_scaleMode = mode;
    m_zoom = 1;
    updateHover();
    update();
}

void FlashControl::setLooping(bool loop) {
    m_loop = loop;
    if (m_player)
        m_player->setLooping(loop);
}

void FlashControl::setQuality(swf::render::Quality q) {
    m_quality = q;
    update();
}

void FlashControl::zoomIn() {
    m_zoom = std::min(kMaxZoom, m_zoom * 2);
    updateHover();
    update();
}

void FlashControl::zoomOut() {
    m_zoom = std::max(1.0, m_zoom / 2);
    updateHover();
    update();
}

void FlashControl::showAll() {
    m_zoom = 1;
    updateHover();
    update();
}

void FlashControl::setSpeed(double speed) {
    speed = std::clamp(speed, 0.1, 10.0);
    if (speed == m_speed)
        return;
    m_speed = speed;
    // Sounds held while silent would come back stale: the sound starts afresh at 1.
    if (m_sound && !m_soundHeld)
        m_sound->stopAll();
    if (m_audio && !m_soundHeld)
        m_audio->setPaused(m_speed != 1);
    if (m_player) {
        m_audioPaced = false;
        m_clock.start(m_header->effectiveFrameRate() * m_speed, m_elapsed.elapsed());
        m_timer.start(m_clock.msUntilNext(m_elapsed.elapsed()));
    }
}

void FlashControl::startClock() {
    if (!m_player)
        return;
    m_elapsed.start();
    m_clock.start(m_header->effectiveFrameRate() * m_speed, 0);
    m_timer.start(m_clock.msUntilNext(0));
}

// One clock tick: every timeline step that is due (advance the player, hand its actions to the
// scripting code), then one repaint for all of them, so that a slow machine drops pictures but
// never steps.
//
// While a stream sound plays, the sound being heard says how many steps are due instead, so
// that picture and sound stay together whatever the device's pace; the frame timer takes over
// again from the moment the stream ends.
void FlashControl::onTick() {
    if (!m_player)
        return;
    // A script restarted the main timeline while the user had paused: its sound goes on too.
    if (m_soundHeld && m_player->isPlaying())
        releaseSound(false);
    const qint64 now = m_elapsed.elapsed();
    const AudioClock* clock = m_soundHeld ? nullptr : audioClock();
    const auto due = clock ? clock->stepsDue() : std::nullopt;
    int steps = 0;
    if (due) {
        m_audioPaced = true;
        steps = int(std::clamp<std::int64_t>(*due, 0, FrameClock::kMaxCatchUpSteps));
    } else {
        if (m_audioPaced) {
            m_audioPaced = false;
            m_clock.start(m_header->effectiveFrameRate() * m_speed, now);
        }
        steps = m_clock.stepsDue(now);
    }
    const qint32 before = FrameNum();
    for (int i = 0; i < steps; ++i) {
        m_player->advance();
        runScripts();
        if (!m_player)
            return; // the movie's script quit it
        updateSound();
    }
    if (steps > 0) {
        updateHover();
        update();
        if (FrameNum() != before)
            emit frameChanged(FrameNum());
    }
    m_timer.start(m_audioPaced ? kAudioPollMs : m_clock.msUntilNext(now));
}

void FlashControl::startScripting() {
    m_scripting = std::make_unique<swf::avm1::Scripting>(*m_player);
    auto& hooks = m_scripting->hooks();
    hooks.fscommand = [this](const QString& command, const QString& args) {
        const QString c = command.trimmed().toLower();
        if (c == QLatin1String("fullscreen"))
            emit fullScreenRequested(
                args.trimmed().compare(QLatin1String("true"), Qt::CaseInsensitive) == 0);
        // "quit" is seen through quitRequested(); everything else is for a host page we lack.
    };
    hooks.confirmOpenUrl = [this](const QString& url) {
        return QMessageBox::question(
                   this, tr("打开网页"),
                   tr("影片要求在浏览器中打开以下网址：\n%1\n\n是否打开？").arg(url)) ==
               QMessageBox::Yes;
    };
    hooks.openUrl = [](const QString& url) { QDesktopServices::openUrl(QUrl(url)); };
    // Stage.scaleMode: the same modes as the control's own ScaleMode values.
    hooks.scaleModeChanged = [this](const QString& mode) {
        static const QString kModes[] = {QStringLiteral("showAll"), QStringLiteral("noBorder"),
                                         QStringLiteral("exactFit"), QStringLiteral("noScale")};
        for (qint32 i = 0; i < 4; ++i) {
            if (mode == kModes[i])
                ScaleMode(i);
        }
    };
    m_scripting->hitTest = [this](const swf::DisplayObject& o, QTransform stage, QPointF px) {
        return m_player && swf::render::Renderer::shapeContains(*m_player, o, stage, px * 20);
    };
    m_scripting->viewResized(QSizeF(size()));
}

void FlashControl::resizeEvent(QResizeEvent* e) {
    QWidget::resizeEvent(e);
    if (m_scripting)
        m_scripting->viewResized(QSizeF(size()));
}

// The frame's scripts. A script that quits its movie leaves the control empty, as the
// standalone player would close; the window and the playlist stay.
void FlashControl::runScripts() {
    if (!m_player)
        return;
    if (m_actionHandler) {
        m_actionHandler(*m_player, m_player->takePendingActions());
        return;
    }
    if (!m_scripting)
        return;
    m_scripting->afterAdvance();
    if (m_scripting->quitRequested()) {
        unload();
        update();
    }
}

std::optional<QPointF> FlashControl::stagePixels(QPointF widgetPos) const {
    bool ok = false;
    const QPointF twips = viewTransform().inverted(&ok).map(widgetPos);
    if (!ok)
        return std::nullopt;
    return twips / 20.0;
}

void FlashControl::keyPressEvent(QKeyEvent* e) {
    if (!m_scripting)
        return QWidget::keyPressEvent(e);
    m_scripting->keyDown(swf::avm1::Scripting::keyCodeFromQt(e->key()),
                         e->text().isEmpty() ? 0 : e->text().at(0).unicode());
    updateSound();
    update();
}

void FlashControl::keyReleaseEvent(QKeyEvent* e) {
    if (!m_scripting || e->isAutoRepeat())
        return QWidget::keyReleaseEvent(e);
    m_scripting->keyUp(swf::avm1::Scripting::keyCodeFromQt(e->key()),
                       e->text().isEmpty() ? 0 : e->text().at(0).unicode());
    updateSound();
    update();
}

void FlashControl::afterStep() {
    runScripts();
    if (!m_player)
        return;
    updateSound();
    updateHover();
    update();
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

QTransform FlashControl::viewTransform() const {
    if (!m_header)
        return {};
    const QTransform centred =
        swf::render::stageTransform(m_header->frameSize, QRectF(rect()), m_scaleMode, m_zoom);
    const QString align = m_scripting ? m_scripting->vm().stageAlign : QString();
    if (align.isEmpty())
        return centred;
    // Stage.align moves the stage to the named edges instead of the middle.
    const swf::Rect& s = m_header->frameSize;
    const QRectF shown = centred.mapRect(QRectF(s.xMin, s.yMin, s.width(), s.height()));
    double dx = 0, dy = 0;
    if (align.contains(u'L'))
        dx = -shown.left();
    else if (align.contains(u'R'))
        dx = width() - shown.right();
    if (align.contains(u'T'))
        dy = -shown.top();
    else if (align.contains(u'B'))
        dy = height() - shown.bottom();
    return centred * QTransform::fromTranslate(dx, dy);
}

void FlashControl::drawFrame(QPainter& p, const QRect& area) {
    const auto bg = m_player->backgroundColor().value_or(swf::Rgba{255, 255, 255, 255});
    m_background = QColor(bg.r, bg.g, bg.b);
    // Outside the stage the control shows the background colour (show all letterboxes in it).
    p.fillRect(area, m_background);
    const QTransform view = viewTransform();
    const swf::Rect& s = m_header->frameSize;
    p.setClipRect(view.mapRect(QRectF(s.xMin, s.yMin, s.width(), s.height())).toAlignedRect());
    swf::render::PainterCanvas canvas(p, m_quality);
    m_renderer.render(*m_player, canvas, view);
}

void FlashControl::paintEvent(QPaintEvent*) {
    QPainter p(this);
    if (!m_player) {
        p.fillRect(rect(), palette().color(QPalette::Base));
        if (!m_notice.isEmpty()) {
            p.setPen(palette().color(QPalette::PlaceholderText));
            p.drawText(rect(), Qt::AlignCenter, m_notice);
        }
        return;
    }
    drawFrame(p, rect());
}

QImage FlashControl::grabFrame() {
    QImage image(size().expandedTo(QSize(1, 1)), QImage::Format_ARGB32_Premultiplied);
    image.fill(palette().color(QPalette::Base));
    if (m_player) {
        QPainter p(&image);
        drawFrame(p, image.rect());
    }
    return image;
}

// Buttons under the mouse: over while it hovers, down while pressed on them.

bool FlashControl::isLive(const swf::ButtonInstance* b) const {
    if (!b || !m_player)
        return false;
    std::vector<const swf::DisplayList*> lists{&m_player->root().displayList()};
    while (!lists.empty()) {
        const swf::DisplayList* list = lists.back();
        lists.pop_back();
        for (const auto& o : list->objects()) {
            if (o->button() == b)
                return true;
            if (o->button())
                lists.push_back(&o->button()->displayList());
            else if (o->clip())
                lists.push_back(&o->clip()->displayList());
        }
    }
    return false;
}

void FlashControl::setHovered(swf::ButtonInstance* b, bool pressed) {
    if (!m_player)
        return;
    // With scripts, button states and their actions are the scripting code's; here only the cursor.
    const bool ownStates = !m_scripting || m_actionHandler;
    if (ownStates && m_hovered != b && isLive(m_hovered))
        m_player->setButtonState(*m_hovered, swf::ButtonState::Up);
    m_hovered = b;
    if (b) {
        if (ownStates)
            m_player->setButtonState(*b, pressed ? swf::ButtonState::Down : swf::ButtonState::Over);
        setCursor(Qt::PointingHandCursor);
    } else {
        unsetCursor();
    }
    if (m_actionHandler)
        m_actionHandler(*m_player, m_player->takePendingActions());
}

void FlashControl::updateHover() {
    if (!m_player)
        return;
    swf::ButtonInstance* b = nullptr;
    if (m_mouse) {
        bool ok = false;
        const QPointF stage = viewTransform().inverted(&ok).map(*m_mouse);
        if (ok)
            b = swf::render::Renderer::buttonAt(*m_player, stage);
    }
    const bool changed =
        b != m_hovered ||
        (b && b->state() != (m_mouseDown ? swf::ButtonState::Down : swf::ButtonState::Over));
    if (changed) {
        setHovered(b, m_mouseDown);
        update();
    }
    // Button state changes (and what mouse handlers did) may start sounds.
    updateSound();
}

void FlashControl::mouseMoveEvent(QMouseEvent* e) {
    m_mouse = e->position();
    if (m_scripting) {
        if (auto p = stagePixels(e->position()))
            m_scripting->mouseMove(*p);
        update();
    }
    updateHover();
}

void FlashControl::mousePressEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton)
        return QWidget::mousePressEvent(e);
    m_mouse = e->position();
    m_mouseDown = true;
    if (m_scripting) {
        if (auto p = stagePixels(e->position()))
            m_scripting->mouseMove(*p);
        m_scripting->mouseDown();
        update();
    }
    updateHover();
}

void FlashControl::mouseReleaseEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton)
        return QWidget::mouseReleaseEvent(e);
    m_mouse = e->position();
    m_mouseDown = false;
    if (m_scripting) {
        if (auto p = stagePixels(e->position()))
            m_scripting->mouseMove(*p);
        m_scripting->mouseUp();
        update();
    }
    if (!m_player)
        return; // a script quit the movie
    updateHover();
}

void FlashControl::leaveEvent(QEvent*) {
    m_mouse.reset();
    m_mouseDown = false;
    updateHover();
}

// The Flash control's own menu, in Chinese.
QMenu* FlashControl::createContextMenu(QWidget* parent) {
    auto* menu = new QMenu(parent);
    const bool movie = hasMovie();
    QAction* a = menu->addAction(tr("放大"), this, &FlashControl::zoomIn); // zoom in
    a->setEnabled(movie && m_zoom < kMaxZoom);
    a = menu->addAction(tr("缩小"), this, &FlashControl::zoomOut); // zoom out
    a->setEnabled(movie && m_zoom > 1);
    a = menu->addAction(tr("全部显示"), this, &FlashControl::showAll); // show all
    a->setEnabled(movie && m_zoom != 1);
    menu->addSeparator();
    QMenu* quality = menu->addMenu(tr("品质")); // quality
    auto* group = new QActionGroup(quality);
    const std::pair<QString, swf::render::Quality> levels[] = {
        {tr("低"), swf::render::Quality::Low},
        {tr("中"), swf::render::Quality::Medium},
        {tr("高"), swf::render::Quality::High}};
    for (const auto& [caption, level] : levels) {
        QAction* q = quality->addAction(caption, this, [this, l = level] { setQuality(l); });
        q->setCheckable(true);
        q->setChecked(m_quality == level);
        group->addAction(q);
    }
    menu->addSeparator();
    a = menu->addAction(tr("播放"), this, [this] { isPlaying() ? Stop() : Play(); }); // play
    a->setCheckable(true);
    a->setChecked(isPlaying());
    a->setEnabled(movie);
    a = menu->addAction(tr("循环"), this, [this] { setLooping(!m_loop); }); // loop
    a->setCheckable(true);
    a->setChecked(m_loop);
    menu->addSeparator();
    menu->addAction(tr("倒带"), this, &FlashControl::Rewind)->setEnabled(movie);  // rewind
    menu->addAction(tr("前进"), this, &FlashControl::Forward)->setEnabled(movie); // forward
    menu->addAction(tr("后退"), this, &FlashControl::Back)->setEnabled(movie);    // back
    if (m_menuExtender)
        m_menuExtender(menu);
    return menu;
}

void FlashControl::contextMenuEvent(QContextMenuEvent* e) {
    QMenu* menu = createContextMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(e->globalPos());
}
