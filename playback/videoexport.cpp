#include "playback/videoexport.h"

#include "playback/videoencoder.h"
#include "swf/runner/movierunner.h"
#include "swf/sound/audioexport.h"

#include <QElapsedTimer>
#include <QImage>

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
    const int frames = int(movie->frameCount());
    if (request.firstFrame < 1 || request.firstFrame > frames)
        return fail(error, QStringLiteral("%1 has %2 frame(s); frame %3 does not exist")
                               .arg(request.movie)
                               .arg(frames)
                               .arg(request.firstFrame));
    const int last = request.lastFrame > 0 ? request.lastFrame : frames;
    if (last < request.firstFrame)
        return fail(error, QStringLiteral("bad frame range"));
    const int total = std::min(last - request.firstFrame + 1, kMaxPictures);

    // The runner plays it as the window does, on the movie's own clock; stream sound may move
    // the timeline more or less than one frame per picture.
    swf::RunnerOptions options;
    options.sound = swf::RunnerOptions::Sound::Record;
    swf::MovieRunner runner(movie, swf::MovieRunner::urlForFile(request.movie), options);
    runner.hooks().trace = [](const QString&) {}; // the terminal shows the progress line
    runner.viewResized(QSizeF(runner.stageSize()));
    runner.start();

    QSize size = request.size.isEmpty() ? runner.stageSize() : request.size;
    size = VideoEncoder::frameSizeFor(*format, size);
    VideoEncoder encoder;
    VideoEncoder::Settings settings;
    settings.path = request.path;
    settings.size = size;
    settings.frameRate = movie->header().effectiveFrameRate();
    settings.withAudio = VideoEncoder::hasAudio(*format);
    if (!encoder.open(settings, error))
        return false;

    // As the PNG export does: played from the first frame, the pictures before the range
    // and their sound dropped.
    for (int f = 1; f < request.firstFrame && !runner.quitRequested(); ++f)
        runner.nextPicture();
    runner.takeAudio();
    if (runner.quitRequested())
        return fail(error,
                    QStringLiteral("the movie quit before frame %1").arg(request.firstFrame));

    // Within the timeline the video ends once its last frame is shown; a range past the end
    // counts pictures, for movies that go on by looping or by script.
    const std::size_t endFrame = last <= frames ? std::size_t(last) : 0;
    auto addSound = [&](const swf::sound::PcmBuffer& pcm) {
        if (!settings.withAudio || pcm.samples.empty())
            return true;
        if (pcm.rate != 44100 || pcm.channels != 2)
            return fail(error, QStringLiteral("unexpected sound layout from the mixer"));
        return encoder.addAudio(pcm.samples.data(), pcm.frames(), error);
    };
    VideoExportStats local;
    QElapsedTimer clock;
    int done = 0;
    bool passedEnd = false;
    while (done < total) {
        clock.start();
        const QImage image = runner.picture(size);
        local.drawSeconds += clock.nsecsElapsed() / 1e9;
        clock.start();
        if (!encoder.addFrame(image, error))
            return false;
        local.encodeSeconds += clock.nsecsElapsed() / 1e9;
        ++done;
        if (progress && !progress(done, total))
            return fail(error, QStringLiteral("cancelled"));
        const std::size_t shown = runner.currentFrame();
        if (done == total || (endFrame && shown + 1 >= endFrame))
            break;

        clock.start();
        runner.nextPicture();
        const swf::sound::PcmBuffer pcm = runner.takeAudio();
        local.drawSeconds += clock.nsecsElapsed() / 1e9;
        clock.start();
        if (!addSound(pcm))
            return false;
        local.encodeSeconds += clock.nsecsElapsed() / 1e9;
        if (runner.quitRequested()) {
            local.quit = true;
            break;
        }
        // Stream sound stepping several frames at once may carry the timeline past its end
        // and round to its start: that is the end too.
        const std::size_t now = runner.currentFrame();
        if (endFrame == std::size_t(frames) && now < shown &&
            endFrame - shown <= std::size_t(swf::sound::AudioRecorder::kMaxTicksPerPicture) &&
            now < std::size_t(swf::sound::AudioRecorder::kMaxTicksPerPicture)) {
            passedEnd = true;
            break;
        }
    }
    clock.start();
    if (!local.quit && !passedEnd) {
        runner.finishPicture();
        if (!addSound(runner.takeAudio()))
            return false;
    }
    if (!encoder.finish(error))
        return false;
    local.encodeSeconds += clock.nsecsElapsed() / 1e9;
    local.pictures = done;
    if (stats)
        *stats = local;
    return true;
}
