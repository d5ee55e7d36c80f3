#include "playback/flashcontrol.h"

#include "playback/controlmenu.h"
#include "playlist/playlistfile.h"

#include <QActionGroup>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDesktopServices>
#include <QGuiApplication>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>
#include <QUrl>
#include <QWheelEvent>
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
    setAttribute(Qt::WA_InputMethodEnabled); // movies' input text
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &FlashControl::onTick);
    new ControlMenu(this); // export, information, go to frame, speed: in the right-click menu
    m_picture.setFullRepaint(qEnvironmentVariableIntValue("REELWICK_FULL_REPAINT") == 1);
}

void FlashControl::setFullRepaint(bool on) {
    m_picture.setFullRepaint(on);
    repaintAll();
}

void FlashControl::refresh() {
    if (!m_runner) {
        update();
        return;
    }
    // A frame that changed nothing draws nothing and presents nothing.
    const QRegion drawn = updatePicture();
    if (!drawn.isEmpty())
        update(drawn);
}

// The picture is kept in device pixels, so that a high-density screen gets all of its detail.
QRegion FlashControl::updatePicture() {
    const qreal dpr = devicePixelRatioF();
    const QRegion drawn =
        m_picture.update(*m_runner, (QSizeF(size()) * dpr).toSize(),
                         viewTransform() * QTransform::fromScale(dpr, dpr), m_quality);
    if (dpr == 1)
        return drawn;
    QRegion logical;
    for (const QRect& r : drawn)
        logical += QRectF(QPointF(r.topLeft()) / dpr, QSizeF(r.size()) / dpr).toAlignedRect();
    return logical;
}

void FlashControl::repaintAll() {
    m_picture.invalidate();
    refresh();
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
    // Stored settings: a movie plays as soon as it is given, and loops.
    swf::RunnerOptions options;
    options.sound =
        m_manualClock ? swf::RunnerOptions::Sound::Record : swf::RunnerOptions::Sound::Live;
    options.looping = m_loop;
    // Scripts keep SharedObjects next to the playlist.
    options.sharedObjectFolder = playlistfile::dataFolder() + QLatin1String("/shared-objects");
    m_runner =
        std::make_unique<swf::MovieRunner>(loaded, swf::MovieRunner::urlForFile(path), options);
    setUpHooks();
    if (m_actionHandler)
        m_runner->setActionHandler(m_actionHandler);
    // getTimer and intervals follow the wall clock here.
    m_elapsed.start();
    if (!m_manualClock)
        m_runner->setClock([this] { return m_elapsed.elapsed(); });
    m_runner->viewResized(QSizeF(size()));
    m_runner->fullScreenChanged(m_fullScreen);
    m_runner->start();
    startSound();
    if (!afterRunner(swf::StepResult{false, true}))
        return;
    startClock();
    emit frameChanged(0);
}

void FlashControl::setUpHooks() {
    auto& hooks = m_runner->hooks();
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
}

void FlashControl::startSound() {
    if (!m_runner->sound() || m_manualClock)
        return;
    if (!m_audio)
        m_audio = std::make_unique<AudioOutput>(nullptr, m_audioMode);
    m_audio->setSound(m_runner->sound());
    m_audio->setPaused(false);
    m_outputHeld = false;
}

void FlashControl::stopSound() {
    if (m_audio) {
        m_audio->setSound(nullptr);
        m_audio->setPaused(false);
    }
    m_outputHeld = false;
    m_audioPaced = false;
}

// Pause holds the output where it is; what played goes on from there on Play.
void FlashControl::syncSoundHold() {
    if (!m_audio || !m_runner || !m_runner->sound())
        return;
    // Only the runner's changes and the speed's: whoever else paused the output keeps it
    // paused. Other speeds than 1 are silent.
    const bool held = m_runner->soundHeld() || m_speed != 1;
    if (held != m_outputHeld) {
        m_outputHeld = held;
        m_audio->setPaused(m_outputHeld);
    }
}

const AudioClock* FlashControl::audioClock() const {
    if (m_speed != 1)
        return nullptr; // the frame clock sets the pace
    if (m_audioClockOverride)
        return m_audioClockOverride;
    return m_audio.get();
}

// A script that quits its movie leaves the control empty, as the standalone player would
// close; the window and the playlist stay.
bool FlashControl::afterRunner(const swf::StepResult& r) {
    if (!m_runner)
        return false;
    if (m_runner->quitRequested()) {
        unload();
        update();
        return false;
    }
    syncSoundHold();
    updateCursor();
    if (r.redraw)
        refresh();
    return true;
}

void FlashControl::unload() {
    m_timer.stop();
    m_clock.stop();
    stopSound();
    m_runner.reset();
    m_picture.clear();
    m_header.reset();
    m_notice.clear();
    m_background = Qt::white;
    m_zoom = 1;
    m_speed = 1;
    unsetCursor();
}

qint32 FlashControl::FrameNum() const {
    return m_runner ? qint32(m_runner->currentFrame()) : 0;
}

void FlashControl::FrameNum(qint32 frame) {
    if (!m_runner)
        return;
    if (afterRunner(m_runner->gotoFrame(frame)))
        emit frameChanged(FrameNum());
}

void FlashControl::Play() {
    if (!m_runner || m_runner->isPlaying())
        return;
    m_runner->play();
    syncSoundHold();
}

// Halts the main timeline only: as in Flash, sprites on stage keep running, so the clock does too.
// The movie's sound is held until Play.
void FlashControl::Stop() {
    if (!m_runner)
        return;
    m_runner->stop();
    syncSoundHold();
}

void FlashControl::Back() {
    if (!m_runner)
        return;
    if (afterRunner(m_runner->back()))
        emit frameChanged(FrameNum());
}

void FlashControl::Forward() {
    if (!m_runner)
        return;
    if (afterRunner(m_runner->forward()))
        emit frameChanged(FrameNum());
}

void FlashControl::Rewind() {
    FrameNum(0);
}

// Halts and silences: nothing that was playing comes back on Play.
void FlashControl::StopPlay() {
    Stop();
    if (m_runner)
        m_runner->stopSounds();
}

// The view moved under a still mouse: the runner sees it at its new stage position.
void FlashControl::refreshMouse() {
    if (m_runner && m_mouse)
        afterRunner(m_runner->mouseMove(stagePixels(*m_mouse)));
}

void FlashControl::ScaleMode(qint32 mode) {
    m_scaleMode = mode;
    m_picture.setWholeViewIsStage(mode == 3);
    m_zoom = 1;
    refreshMouse();
    repaintAll();
}

void FlashControl::setLooping(bool loop) {
    m_loop = loop;
    if (m_runner)
        m_runner->setLooping(loop);
}

void FlashControl::setFullScreen(bool on) {
    if (m_fullScreen == on)
        return;
    m_fullScreen = on;
    if (m_runner) {
        m_runner->fullScreenChanged(on);
        afterRunner(swf::StepResult{false, true});
    }
}

void FlashControl::setQuality(swf::render::Quality q) {
    m_quality = q;
    repaintAll();
}

void FlashControl::zoomIn() {
    m_zoom = std::min(kMaxZoom, m_zoom * 2);
    refreshMouse();
    repaintAll();
}

void FlashControl::zoomOut() {
    m_zoom = std::max(1.0, m_zoom / 2);
    refreshMouse();
    repaintAll();
}

void FlashControl::showAll() {
    m_zoom = 1;
    refreshMouse();
    repaintAll();
}

void FlashControl::startClock() {
    if (!m_runner || m_manualClock)
        return;
    m_clock.start(m_header->effectiveFrameRate() * m_speed, m_elapsed.elapsed());
    m_timer.start(m_clock.msUntilNext(m_elapsed.elapsed()));
}

void FlashControl::setSpeed(double speed) {
    speed = std::clamp(speed, 0.1, 10.0);
    if (speed == m_speed)
        return;
    m_speed = speed;
    if (!m_runner)
        return;
    // Sounds paused while silent would come back stale: the sound starts afresh at 1.
    m_runner->stopSounds();
    syncSoundHold();
    m_audioPaced = false;
    startClock();
}

// One clock tick: every timeline step that is due, then one repaint for all of them, so that a
// slow machine drops pictures but never steps.
//
// While a stream sound plays, the sound being heard says how many steps are due instead, so
// that picture and sound stay together whatever the device's pace; the frame timer takes over
// again from the moment the stream ends.
void FlashControl::onTick() {
    if (!m_runner)
        return;
    // A script restarted the main timeline while the user had paused: its sound goes on too.
    if (m_runner->soundHeld() && m_runner->isPlaying()) {
        m_runner->releaseSound(false);
        syncSoundHold();
    }
    const qint64 now = m_elapsed.elapsed();
    const AudioClock* clock = m_runner->soundHeld() ? nullptr : audioClock();
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
    const swf::StepResult r = m_runner->step(steps);
    if (!afterRunner(r))
        return; // the movie's script quit it
    if (r.frameChanged)
        emit frameChanged(FrameNum());
    m_timer.start(m_audioPaced ? kAudioPollMs : m_clock.msUntilNext(now));
}

void FlashControl::stepPicture() {
    if (!m_runner)
        return;
    const swf::StepResult r = m_runner->nextPicture();
    if (afterRunner(r) && r.frameChanged)
        emit frameChanged(FrameNum());
}

void FlashControl::resizeEvent(QResizeEvent* e) {
    QWidget::resizeEvent(e);
    m_picture.invalidate(); // a new size or full screen: all of it
    if (m_runner) {
        m_runner->viewResized(QSizeF(size()));
        afterRunner(swf::StepResult{false, true});
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
    if (!m_runner)
        return QWidget::keyPressEvent(e);
    // A movie that quits on the key is gone before what the key typed.
    if (!afterRunner(m_runner->keyDown(swf::avm1::Scripting::keyCodeFromQt(e->key()),
                                       e->text().isEmpty() ? 0 : e->text().at(0).unicode())))
        return;
    // What the key typed follows the key itself, as text events follow keyDown.
    if (!e->text().isEmpty() && !(e->modifiers() & (Qt::ControlModifier | Qt::MetaModifier)))
        if (!afterRunner(m_runner->textInput(e->text())))
            return;
    // The system clipboard, for the focused text field.
    if (e->matches(QKeySequence::Copy) || e->matches(QKeySequence::Cut)) {
        swf::StepResult r;
        const QString text = m_runner->selectedText(e->matches(QKeySequence::Cut), &r);
        if (!text.isEmpty())
            if (QClipboard* clipboard = QGuiApplication::clipboard())
                clipboard->setText(text);
        afterRunner(r);
    } else if (e->matches(QKeySequence::Paste)) {
        if (QClipboard* clipboard = QGuiApplication::clipboard())
            afterRunner(m_runner->textInput(clipboard->text()));
    }
}

void FlashControl::inputMethodEvent(QInputMethodEvent* e) {
    if (!m_runner)
        return QWidget::inputMethodEvent(e);
    // The text composed so far shows at the caret; what is committed replaces it.
    if (!e->commitString().isEmpty() && !afterRunner(m_runner->textInput(e->commitString())))
        return;
    afterRunner(m_runner->composeText(e->preeditString()));
    e->accept();
}

QVariant FlashControl::inputMethodQuery(Qt::InputMethodQuery query) const {
    if (query == Qt::ImEnabled)
        return m_runner != nullptr;
    return QWidget::inputMethodQuery(query);
}

bool FlashControl::focusNextPrevChild(bool next) {
    return m_runner ? false : QWidget::focusNextPrevChild(next);
}

void FlashControl::keyReleaseEvent(QKeyEvent* e) {
    if (!m_runner || e->isAutoRepeat())
        return QWidget::keyReleaseEvent(e);
    afterRunner(m_runner->keyUp(swf::avm1::Scripting::keyCodeFromQt(e->key()),
                                e->text().isEmpty() ? 0 : e->text().at(0).unicode()));
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
    const QString align = m_runner ? m_runner->stageAlign() : QString();
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
    m_background = m_runner->background();
    // Outside the stage the control shows the background colour (show all letterboxes in it).
    p.fillRect(area, m_background);
    const QTransform view = viewTransform();
    // In noScale the stage is the whole view (a Flex application lays out to it); otherwise what
    // lies outside the movie's frame is not shown.
    if (m_scaleMode != 3) {
        const swf::Rect& s = m_header->frameSize;
        p.setClipRect(view.mapRect(QRectF(s.xMin, s.yMin, s.width(), s.height())).toAlignedRect());
    }
    swf::render::PainterCanvas canvas(p, m_quality);
    m_runner->render(canvas, view);
}

void FlashControl::paintEvent(QPaintEvent* e) {
    QPainter p(this);
    if (!m_runner) {
        p.fillRect(rect(), palette().color(QPalette::Base));
        if (!m_notice.isEmpty()) {
            p.setPen(palette().color(QPalette::PlaceholderText));
            p.drawText(rect(), Qt::AlignCenter, m_notice);
        }
        return;
    }
    const qreal dpr = devicePixelRatioF();
    if (!m_picture.isCurrent((QSizeF(size()) * dpr).toSize(),
                             viewTransform() * QTransform::fromScale(dpr, dpr), m_quality)) {
        // Shown before the control caught up (a resize): whatever it redraws beyond this event
        // is shown next.
        const QRegion extra = updatePicture() - e->region();
        if (!extra.isEmpty())
            update(extra);
    }
    for (const QRect& r : e->region())
        p.drawImage(QRectF(r), m_picture.image(),
                    QRectF(QPointF(r.topLeft()) * dpr, QSizeF(r.size()) * dpr));
}

QImage FlashControl::grabFrame() {
    QImage image(size().expandedTo(QSize(1, 1)), QImage::Format_ARGB32_Premultiplied);
    image.fill(palette().color(QPalette::Base));
    if (m_runner) {
        QPainter p(&image);
        drawFrame(p, image.rect());
    }
    return image;
}

// The mouse, in stage pixels; the runner sets button states and runs their actions.

void FlashControl::updateCursor() {
    if (m_runner && m_runner->mouseHidden())
        setCursor(Qt::BlankCursor);
    else if (!m_runner)
        unsetCursor();
    else
        switch (m_runner->cursor()) {
        case swf::MouseCursor::Hand:
            setCursor(Qt::PointingHandCursor);
            break;
        case swf::MouseCursor::IBeam:
            setCursor(Qt::IBeamCursor);
            break;
        case swf::MouseCursor::Arrow:
            unsetCursor();
            break;
        }
}

void FlashControl::mouseMoveEvent(QMouseEvent* e) {
    m_mouse = e->position();
    if (m_runner)
        afterRunner(m_runner->mouseMove(stagePixels(e->position())));
}

void FlashControl::mousePressEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton)
        return QWidget::mousePressEvent(e);
    m_mouse = e->position();
    if (!m_runner)
        return;
    m_runner->mouseMove(stagePixels(e->position()));
    afterRunner(m_runner->mouseDown());
}

void FlashControl::mouseReleaseEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton)
        return QWidget::mouseReleaseEvent(e);
    m_mouse = e->position();
    if (!m_runner)
        return;
    m_runner->mouseMove(stagePixels(e->position()));
    afterRunner(m_runner->mouseUp());
}

void FlashControl::mouseDoubleClickEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton)
        return QWidget::mouseDoubleClickEvent(e);
    m_mouse = e->position();
    if (!m_runner)
        return;
    m_runner->mouseMove(stagePixels(e->position()));
    afterRunner(m_runner->mouseDoubleClick());
}

void FlashControl::wheelEvent(QWheelEvent* e) {
    if (!m_runner)
        return QWidget::wheelEvent(e);
    // Qt counts eighths of a degree, 120 a notch; Flash says 3 lines a notch.
    m_wheelEighths += e->angleDelta().y();
    const int lines = m_wheelEighths / 40;
    m_wheelEighths -= lines * 40;
    m_mouse = e->position();
    m_runner->mouseMove(stagePixels(e->position()));
    if (lines != 0)
        afterRunner(m_runner->mouseWheel(lines));
    e->accept();
}

void FlashControl::leaveEvent(QEvent*) {
    m_mouse.reset();
    if (m_runner)
        afterRunner(m_runner->mouseMove(std::nullopt));
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
