#include "swf/runner/movierunner.h"

#include "swf/avm1/loading.h"
#include "swf/avm2/media.h"
#include "swf/runner/avm1engine.h"
#include "swf/runner/avm2engine.h"
#include "swf/sound/audioexport.h"
#include "swf/sound/mixer.h"
#include "swf/sound/moviesound.h"

#include <QFileInfo>
#include <QHash>
#include <QPainter>
#include <QUrl>
#include <cmath>
#include <cstdio>

namespace swf {

namespace {
// Scripts that may play sounds the movie does not hold (loaded files, generated samples) need
// the sound engine too.
bool namesScriptSound(const Movie& movie) {
    return movie.attributes && movie.attributes->actionScript3 ? avm2::namesMedia(movie)
                                                               : avm1::namesLoadSound(movie);
}
// Large enough for any real screen; keeps a damaged header from asking for gigabytes.
constexpr int kMaxSide = 8192;

// A frame script that fails the same way on every loop would fill the terminal with one line.
// Each distinct line is shown once, and its first repeat once more with a word that no more
// will follow. Only so many lines are remembered, so a movie making new ones cannot grow this.
std::function<void(const QString&)> eachLineOnce(std::function<void(const QString&)> sink) {
    constexpr qsizetype kRemembered = 1024;
    if (!sink)
        sink = [](const QString& line) { std::fprintf(stderr, "%s\n", qPrintable(line)); };
    auto seen = std::make_shared<QHash<QString, bool>>(); // line -> its repeat was shown
    return [sink = std::move(sink), seen](const QString& line) {
        const auto it = seen->find(line);
        if (it == seen->end()) {
            if (seen->size() < kRemembered)
                seen->insert(line, false);
            sink(line);
        } else if (!it.value()) {
            it.value() = true;
            sink(line + QStringLiteral(" (again; further repeats are not shown)"));
        }
    };
}
} // namespace

MovieRunner::MovieRunner(std::shared_ptr<const Movie> movie, const QString& url,
                         const RunnerOptions& options)
    : m_movie(std::move(movie)), m_url(url), m_options(options),
      m_player(std::make_unique<Player>(m_movie, options.playerLimits)) {
    m_player->setLooping(options.looping);
    m_player->play();
}

MovieRunner::~MovieRunner() {
    if (m_sound)
        m_sound->cancelPreload();
    // The engine lets go of the player's hooks before the player goes.
    m_engine.reset();
}

QString MovieRunner::urlForFile(const QString& path) {
    if (path.contains(QLatin1String("://")))
        return path;
    return QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath()).toString(QUrl::FullyEncoded);
}

avm1::Scripting* MovieRunner::avm1() {
    auto* e = dynamic_cast<Avm1Engine*>(m_engine.get());
    return e ? &e->scripting() : nullptr;
}

void MovieRunner::start() {
    if (m_started)
        return;
    m_started = true;
    const bool as3 = m_movie->attributes && m_movie->attributes->actionScript3;
    if (m_options.scripts && !m_actionHandler)
        m_hooks.notice = eachLineOnce(std::move(m_hooks.notice));
    if (m_options.scripts && !m_actionHandler && as3) {
        ScriptHostHooks h = m_hooks;
        // As for ActionScript 1/2: full screen resizes the view, which runs scripts again.
        h.fscommand = [this](const QString& command, const QString& args) {
            m_fscommands.emplace_back(command, args);
        };
        h.clock = [this] { return clockMs(); };
        m_engine = std::make_unique<Avm2Engine>(*m_player, m_movie, h, m_options.avm2Limits, m_url,
                                                m_options.sharedObjectFolder);
        if (m_fullScreen)
            m_engine->fullScreenChanged(true);
    } else if (m_options.scripts && !m_actionHandler) {
        ScriptHostHooks h = m_hooks;
        h.fscommand = [this](const QString& command, const QString& args) {
            m_fscommands.emplace_back(command, args);
        };
        if (!h.warning)
            h.warning = [](const QString& text) {
                std::fprintf(stderr, "Warning: %s\n", qPrintable(text));
            };
        if (!h.hitTest)
            h.hitTest = [this](const DisplayObject& o, QTransform stage, QPointF px) {
                return render::Renderer::shapeContains(*m_player, o, stage, px * 20);
            };
        h.clock = [this] { return clockMs(); };
        m_engine = std::make_unique<Avm1Engine>(*m_player, h, m_url, m_options.avm1Limits,
                                                m_options.sharedObjectFolder);
        if (m_viewSize)
            m_engine->viewResized(*m_viewSize);
    }
    switch (m_options.sound) {
    case RunnerOptions::Sound::None:
        break;
    case RunnerOptions::Sound::Live:
        // A movie that may load MP3 files needs the engine even with no sound of its own.
        if (sound::MovieSound::hasSound(*m_movie) || (m_engine && namesScriptSound(*m_movie))) {
            m_sound = std::make_shared<sound::MovieSound>(m_movie);
            // MP3 takes a while to decode: event sounds decode beside the caller's thread, the
            // ones frames ask for first, then the others.
            m_sound->decodeInBackground();
        }
        break;
    case RunnerOptions::Sound::Record:
        // A movie without any sound records silence of the right length, without mixing it.
        if (sound::MovieSound::hasSound(*m_movie) || (m_engine && namesScriptSound(*m_movie))) {
            m_sound = std::make_shared<sound::MovieSound>(m_movie);
            m_recorder = std::make_unique<sound::AudioRecorder>(
                m_sound, m_movie->header().effectiveFrameRate());
        }
        break;
    }
    if (m_engine && m_sound)
        m_engine->setSound(m_sound);

    StepResult r;
    if (m_engine)
        m_engine->frameShown();
    else
        runHandler();
    afterChange(r, m_player->currentFrame());
}

std::int64_t MovieRunner::clockMs() const {
    if (m_clockSource)
        return m_clockSource();
    const double fps = m_movie->header().effectiveFrameRate();
    return std::llround(double(m_pictures) * 1000.0 / fps) + m_timeMs;
}

bool MovieRunner::quitRequested() const {
    return m_engine && m_engine->quitRequested();
}

void MovieRunner::runHandler() {
    std::vector<PendingAction> pending = m_player->takePendingActions();
    if (m_actionHandler)
        m_actionHandler(*m_player, std::move(pending));
}

void MovieRunner::updateSound() {
    if (!m_sound || m_soundHeld)
        return;
    if (m_recorder)
        m_recorder->update(*m_player);
    else
        m_sound->update(*m_player);
}

// fscommand runs host code (full screen resizes the window, which runs onResize scripts): never
// inside the script that asked.
void MovieRunner::deliverRequests() {
    if (m_delivering)
        return;
    m_delivering = true;
    while (!m_fscommands.empty()) {
        const auto [command, args] = m_fscommands.front();
        m_fscommands.erase(m_fscommands.begin());
        if (m_hooks.fscommand)
            m_hooks.fscommand(command, args);
    }
    m_delivering = false;
}

void MovieRunner::afterChange(StepResult& r, std::size_t frameBefore) {
    deliverRequests();
    updateSound();
    updateHover();
    r.redraw = true;
    r.frameChanged = r.frameChanged || m_player->currentFrame() != frameBefore;
}

StepResult MovieRunner::step(int ticks) {
    StepResult r;
    if (!m_started)
        start();
    // A script restarted the main timeline while the user had paused: its sound goes on too.
    if (m_soundHeld && m_player->isPlaying())
        releaseSound(false);
    const std::size_t before = m_player->currentFrame();
    for (int i = 0; i < ticks && !quitRequested(); ++i) {
        if (m_engine) {
            m_engine->tick();
        } else {
            m_player->advance();
            runHandler();
        }
        deliverRequests();
        updateSound();
        r.redraw = true;
    }
    if (r.redraw)
        updateHover();
    r.frameChanged = m_player->currentFrame() != before;
    return r;
}

void MovieRunner::finishPicture() {
    if (!m_started)
        start();
    if (!m_pictureRecorded) {
        if (m_recorder)
            m_recorder->renderPicture();
        else if (m_options.sound == RunnerOptions::Sound::Record)
            ++m_silentPictures;
    }
    m_pictureRecorded = true;
}

StepResult MovieRunner::nextPicture() {
    finishPicture();
    m_pictureRecorded = false;
    ++m_pictures;
    return step(m_recorder ? m_recorder->ticksDue() : 1);
}

// The user moved the timeline: run what the new frame asks.
StepResult MovieRunner::shownAfterMove(std::size_t frameBefore) {
    StepResult r;
    if (m_engine)
        m_engine->frameShown();
    else
        runHandler();
    afterChange(r, frameBefore);
    return r;
}

StepResult MovieRunner::gotoFrame(std::int64_t frame) {
    const std::size_t before = m_player->currentFrame();
    m_player->gotoFrame(frame);
    // A jump while paused plays the new frame's own sound, as a step does.
    if (m_soundHeld)
        releaseSound(true);
    return shownAfterMove(before);
}

// A single step plays that frame's stream block (or nothing), not what was playing before.
StepResult MovieRunner::back() {
    const std::size_t before = m_player->currentFrame();
    m_player->stop();
    m_player->back();
    releaseSound(true);
    return shownAfterMove(before);
}

StepResult MovieRunner::forward() {
    const std::size_t before = m_player->currentFrame();
    m_player->stop();
    m_player->forward();
    releaseSound(true);
    return shownAfterMove(before);
}

void MovieRunner::play() {
    if (m_player->isPlaying())
        return;
    // At the end of a movie that does not loop, playing starts over.
    if (!m_player->isLooping() && m_player->currentFrame() + 1 >= m_player->frameCount())
        m_player->gotoFrame(0);
    m_player->play();
    // Held sound goes on from where Pause left it; a rewind from the end starts afresh.
    releaseSound(false);
}

// Halts the main timeline only: as in Flash, sprites on stage keep running. The sound is held.
void MovieRunner::stop() {
    m_player->stop();
    holdSound();
}

void MovieRunner::holdSound() {
    if (m_sound)
        m_soundHeld = true;
}

void MovieRunner::releaseSound(bool dropPlaying) {
    if (!m_sound)
        return;
    if (dropPlaying)
        m_sound->stopAll();
    m_soundHeld = false;
    updateSound();
}

void MovieRunner::stopSounds() {
    if (m_sound)
        m_sound->stopAll();
}

std::optional<std::int64_t> MovieRunner::stepsDue(std::uint64_t heardTime) const {
    if (!m_sound || m_soundHeld)
        return std::nullopt;
    return m_sound->stepsDue(heardTime);
}

// Buttons under the mouse. With scripts, button states and their actions are the engine's;
// here only which button is hovered (for the cursor).

namespace {
bool isLive(const Player& player, const ButtonInstance* b) {
    if (!b)
        return false;
    std::vector<const DisplayList*> lists{&player.root().displayList()};
    for (const auto& [n, level] : player.levels()) {
        if (level->clip())
            lists.push_back(&level->clip()->displayList());
    }
    while (!lists.empty()) {
        const DisplayList* list = lists.back();
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
} // namespace

void MovieRunner::updateHover() {
    ButtonInstance* b = m_mouse ? render::Renderer::buttonAt(*m_player, *m_mouse * 20.0) : nullptr;
    const ButtonState wanted = m_mouseDown ? ButtonState::Down : ButtonState::Over;
    if (b != m_hovered || (b && b->state() != wanted)) {
        const bool own = ownsButtonStates();
        if (own && m_hovered != b && isLive(*m_player, m_hovered))
            m_player->setButtonState(*m_hovered, ButtonState::Up);
        m_hovered = b;
        if (b && own)
            m_player->setButtonState(*b, wanted);
        if (own)
            runHandler();
    }
    // Button state changes (and what mouse handlers did) may start sounds.
    updateSound();
}

StepResult MovieRunner::mouseMove(std::optional<QPointF> stagePx) {
    StepResult r;
    const std::size_t before = m_player->currentFrame();
    m_mouse = stagePx;
    if (!stagePx)
        m_mouseDown = false;
    if (m_engine && stagePx)
        m_engine->mouseMove(*stagePx);
    afterChange(r, before);
    return r;
}

StepResult MovieRunner::mouseDown() {
    StepResult r;
    const std::size_t before = m_player->currentFrame();
    m_mouseDown = true;
    if (m_engine)
        m_engine->mouseDown();
    afterChange(r, before);
    return r;
}

StepResult MovieRunner::mouseUp() {
    StepResult r;
    const std::size_t before = m_player->currentFrame();
    m_mouseDown = false;
    if (m_engine)
        m_engine->mouseUp();
    afterChange(r, before);
    return r;
}

StepResult MovieRunner::mouseDoubleClick() {
    StepResult r;
    const std::size_t before = m_player->currentFrame();
    if (!m_mouseDown) {
        m_mouseDown = true;
        if (m_engine)
            m_engine->mouseDown();
    }
    if (m_engine)
        m_engine->mouseDoubleClick();
    afterChange(r, before);
    return r;
}

StepResult MovieRunner::mouseWheel(int delta) {
    StepResult r;
    const std::size_t before = m_player->currentFrame();
    if (m_engine && m_mouse && delta != 0)
        m_engine->mouseWheel(delta);
    afterChange(r, before);
    return r;
}

MouseCursor MovieRunner::cursor() const {
    if (m_engine)
        if (const std::optional<MouseCursor> c = m_engine->cursor())
            return *c;
    return m_hovered ? MouseCursor::Hand : MouseCursor::Arrow;
}

StepResult MovieRunner::keyDown(int code, int ascii) {
    StepResult r;
    const std::size_t before = m_player->currentFrame();
    if (m_engine)
        m_engine->keyDown(code, ascii);
    afterChange(r, before);
    return r;
}

StepResult MovieRunner::textInput(const QString& text) {
    StepResult r;
    const std::size_t before = m_player->currentFrame();
    if (m_engine && !text.isEmpty())
        m_engine->textInput(text);
    afterChange(r, before);
    return r;
}

StepResult MovieRunner::composeText(const QString& preedit) {
    StepResult r;
    const std::size_t before = m_player->currentFrame();
    if (m_engine)
        m_engine->composeText(preedit);
    afterChange(r, before);
    return r;
}

QString MovieRunner::selectedText(bool cut, StepResult* result) {
    StepResult r;
    const std::size_t before = m_player->currentFrame();
    const QString text = m_engine ? m_engine->selectedText(cut) : QString();
    afterChange(r, before);
    if (result)
        *result = r;
    return text;
}

StepResult MovieRunner::keyUp(int code, int ascii) {
    StepResult r;
    const std::size_t before = m_player->currentFrame();
    if (m_engine)
        m_engine->keyUp(code, ascii);
    afterChange(r, before);
    return r;
}

void MovieRunner::fullScreenChanged(bool on) {
    m_fullScreen = on;
    if (!m_engine)
        return;
    m_engine->fullScreenChanged(on);
    deliverRequests();
}

void MovieRunner::viewResized(QSizeF viewPx) {
    m_viewSize = viewPx;
    if (!m_engine)
        return;
    m_engine->viewResized(viewPx);
    deliverRequests();
    updateSound();
}

QColor MovieRunner::background() const {
    const auto bg = m_player->backgroundColor().value_or(Rgba{255, 255, 255, 255});
    return QColor(bg.r, bg.g, bg.b);
}

void MovieRunner::render(render::Canvas& canvas, const QTransform& view) {
    m_renderer.render(*m_player, canvas, view);
}

QSize MovieRunner::stageSize() const {
    const Rect& stage = m_movie->header().frameSize;
    return QSize(std::clamp(stage.width() / 20, 1, kMaxSide),
                 std::clamp(stage.height() / 20, 1, kMaxSide));
}

QImage MovieRunner::picture(QSize size, render::Quality quality) {
    if (size.isEmpty())
        size = stageSize();
    // Exporters draw a picture, write it and drop it: reusing its pixels spares a fresh
    // allocation and its page faults on every frame. A picture still held is never drawn over.
    if (m_picture.size() != size || !m_picture.isDetached())
        m_picture = QImage(size, QImage::Format_ARGB32_Premultiplied);
    m_picture.fill(background());
    {
        QPainter painter(&m_picture);
        render::PainterCanvas canvas(painter, quality);
        const QTransform view =
            render::stageTransform(m_movie->header().frameSize, QRectF(QPointF(0, 0), size), 0);
        render(canvas, view);
    }
    return m_picture;
}

sound::PcmBuffer MovieRunner::takeAudio() {
    if (m_recorder)
        return m_recorder->takeAudio();
    sound::PcmBuffer pcm;
    pcm.rate = sound::kOutputRate;
    pcm.channels = 2;
    if (m_options.sound == RunnerOptions::Sound::Record) {
        // Picture n ends at n / fps exactly, as AudioRecorder counts.
        const double fps = m_movie->header().effectiveFrameRate();
        const auto end =
            std::uint64_t(std::llround(double(m_silentPictures) * sound::kOutputRate / fps));
        pcm.samples.assign(std::size_t(end - m_silentFramesTaken) * 2, 0);
        m_silentFramesTaken = end;
    }
    return pcm;
}

} // namespace swf
