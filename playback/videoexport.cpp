#include "playback/videoexport.h"

#include "playback/videoencoder.h"
#include "swf/avm1/scripting.h"
#include "swf/player.h"
#include "swf/render/paintercanvas.h"
#include "swf/render/renderer.h"
#include "swf/sound/audioexport.h"

#include <QElapsedTimer>
#include <QImage>
#include <QPainter>

namespace {
bool fail(QString* error, const QString& why) {
    if (error)
        *error = why;
    return false;
}

// A movie told to play for days would otherwise fill the disk; an hour at 120 fps.
constexpr int kMaxPictures = 432000;
} // namespace

bool exportVideo(const VideoExportRequest& request, const VideoExportProgress& progress,
                 QString* error, VideoExportStats* stats) {
    const auto format = VideoEncoder::formatForPath(request.path);
    if (!format)
        return fail(
            error,
            QStringLiteral("%1: the name must end in .mp4, .mkv, .webm or .gif").arg(request.path));
    auto loaded = swf::Movie::loadFile(request.movie);
    if (!loaded)
        return fail(error, QStringLiteral("%1: %2").arg(
                               request.movie, QString::fromStdString(loaded.error().message)));
    const std::shared_ptr<const swf::Movie> movie = loaded.value();
    swf::Player player(movie);
    const int frames = int(player.frameCount());
    if (request.firstFrame < 1 || request.firstFrame > frames)
        return fail(error, QStringLiteral("%1 has %2 frame(s); frame %3 does not exist")
                               .arg(request.movie)
                               .arg(frames)
                               .arg(request.firstFrame));
    const int last = request.lastFrame > 0 ? request.lastFrame : frames;
    if (last < request.firstFrame)
        return fail(error, QStringLiteral("bad frame range"));
    const int total = std::min(last - request.firstFrame + 1, kMaxPictures);
    // Within the timeline the video ends once its last frame is shown: stream sound may move
    // the timeline faster or slower than one frame per picture. A range past the timeline's
    // end counts pictures instead, for movies that keep going by script or by looping.
    const std::size_t endFrame = last <= frames ? std::size_t(last) : 0;
    auto atEnd = [&] { return endFrame && player.currentFrame() + 1 >= endFrame; };

    const swf::Rect& stage = movie->header().frameSize;
    QSize size = request.size;
    if (size.isEmpty())
        size = QSize(std::max(1, stage.width() / 20), std::max(1, stage.height() / 20));
    size = VideoEncoder::frameSizeFor(*format, size);
    const double fps = movie->header().effectiveFrameRate();

    VideoEncoder encoder;
    VideoEncoder::Settings settings;
    settings.path = request.path;
    settings.size = size;
    settings.frameRate = fps;
    settings.withAudio = VideoEncoder::hasAudio(*format);
    if (!encoder.open(settings, error))
        return false;

    // The same order of a tick as the window: scripts of the frame shown, sound following
    // the timeline, and with stream sound the timeline following the sound.
    swf::sound::AudioRecorder recorder(movie);
    swf::avm1::Scripting scripting(player);
    scripting.hooks().trace = [](const QString&) {};
    scripting.hooks().notice = [](const QString&) {};
    scripting.setSound(
        std::shared_ptr<swf::sound::MovieSound>(std::shared_ptr<void>(), &recorder.sound()));
    scripting.viewResized(QSizeF(size));
    if (request.firstFrame > 1)
        player.gotoFrame(request.firstFrame - 1);
    scripting.afterAdvance();
    recorder.update(player);

    swf::render::Renderer renderer;
    QImage image(size, QImage::Format_RGB32);
    const QTransform view = swf::render::stageTransform(stage, QRectF(QPointF(0, 0), size), 0);
    VideoExportStats local;
    QElapsedTimer clock;
    int done = 0;
    while (done < total) {
        clock.start();
        const auto bg = player.backgroundColor().value_or(swf::Rgba{255, 255, 255, 255});
        image.fill(QColor(bg.r, bg.g, bg.b));
        {
            QPainter painter(&image);
            swf::render::PainterCanvas canvas(painter);
            renderer.render(player, canvas, view);
        }
        recorder.renderPicture();
        const swf::sound::PcmBuffer pcm = recorder.takeAudio();
        local.drawSeconds += clock.nsecsElapsed() / 1e9;

        clock.start();
        if (!encoder.addFrame(image, error))
            return false;
        if (settings.withAudio && !pcm.samples.empty()) {
            // The recorder mixes at 44.1 kHz stereo; anything else would be a fault there.
            if (pcm.rate != 44100 || pcm.channels != 2)
                return fail(error, QStringLiteral("unexpected sound layout from the mixer"));
            if (!encoder.addAudio(pcm.samples.data(), pcm.frames(), error))
                return false;
        }
        local.encodeSeconds += clock.nsecsElapsed() / 1e9;
        ++done;
        if (progress && !progress(done, total))
            return fail(error, QStringLiteral("cancelled"));
        if (done == total || atEnd())
            break;

        clock.start();
        for (int i = recorder.ticksDue(); i > 0 && !scripting.quitRequested() && !atEnd(); --i) {
            scripting.tick();
            recorder.update(player);
        }
        local.drawSeconds += clock.nsecsElapsed() / 1e9;
        if (scripting.quitRequested()) {
            local.quit = true;
            break;
        }
    }
    clock.start();
    if (!encoder.finish(error))
        return false;
    local.encodeSeconds += clock.nsecsElapsed() / 1e9;
    local.pictures = done;
    if (stats)
        *stats = local;
    return true;
}
