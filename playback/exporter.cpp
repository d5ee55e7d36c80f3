#include "playback/exporter.h"

#include "playback/videoencoder.h"
#include "playback/videoexport.h"
#include "playlist/playlistfile.h"
#include "swf/runner/movierunner.h"
#include "swf/sound/audioexport.h"

#include <QDir>
#include <QElapsedTimer>
#include <QImage>
#include <QRegularExpression>
#include <csignal>
#include <cstdio>
#include <optional>
#include <unistd.h>

namespace {
// Large enough for any real screen; keeps a typo from asking for gigabytes.
constexpr int kMaxSide = 8192;
} // namespace

QString exportUsage() {
    return QStringLiteral(
        "Usage: reelwick --export MOVIE --frames A-B [--size WxH] --out DIR [--audio FILE.wav]\n"
        "                [--mouse X,Y]\n"
        "Plays MOVIE with its scripts and sound from the first frame, at its own frame rate,\n"
        "and writes frames A to B (counted from 1) as DIR/frame_NNNN.png, drawn at WxH pixels\n"
        "(default: the movie's stage size); with --audio, their sound as a WAV file.\n"
        "The mouse stays off the stage, or rests at stage pixel X,Y with --mouse.\n"
        "trace() output goes to standard error, one line per call.\n"
        "       reelwick --export MOVIE [--frames A-B] [--size WxH] --out FILE.mp4\n"
        "plays the movie into a video file (.mp4, .mkv, .webm or .gif; default: its whole\n"
        "timeline).\n");
}

std::optional<ExportRequest> parseExportArguments(const QStringList& args, QString* error) {
    ExportRequest r;
    bool haveFrames = false;
    auto fail = [&](const QString& why) {
        if (error)
            *error = why;
        return std::nullopt;
    };
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        const bool hasValue = i + 1 < args.size();
        if (a == QLatin1String("--frames")) {
            if (!hasValue)
                return fail(QStringLiteral("--frames needs a range such as 1-10"));
            static const QRegularExpression range(QStringLiteral("^(\\d{1,6})(?:-(\\d{1,6}))?$"));
            const auto m = range.match(args[++i]);
            if (!m.hasMatch())
                return fail(QStringLiteral("bad frame range \"%1\" (expected A-B)").arg(args[i]));
            r.firstFrame = m.captured(1).toInt();
            r.lastFrame = m.captured(2).isEmpty() ? r.firstFrame : m.captured(2).toInt();
            if (r.firstFrame < 1 || r.lastFrame < r.firstFrame)
                return fail(QStringLiteral("bad frame range \"%1\": frames count from 1 and A "
                                           "must not exceed B")
                                .arg(args[i]));
            haveFrames = true;
        } else if (a == QLatin1String("--size")) {
            if (!hasValue)
                return fail(QStringLiteral("--size needs WxH"));
            static const QRegularExpression size(QStringLiteral("^(\\d{1,5})[xX](\\d{1,5})$"));
            const auto m = size.match(args[++i]);
            const int w = m.captured(1).toInt(), h = m.captured(2).toInt();
            if (!m.hasMatch() || w < 1 || h < 1 || w > kMaxSide || h > kMaxSide)
                return fail(QStringLiteral("bad size \"%1\" (expected WxH, each 1 to %2)")
                                .arg(args[i])
                                .arg(kMaxSide));
            r.size = QSize(w, h);
        } else if (a == QLatin1String("--audio")) {
            if (!hasValue)
                return fail(QStringLiteral("--audio needs a file name"));
            r.audioPath = args[++i];
        } else if (a == QLatin1String("--mouse")) {
            if (!hasValue)
                return fail(QStringLiteral("--mouse needs X,Y"));
            static const QRegularExpression point(
                QStringLiteral("^(-?\\d{1,5}(?:\\.\\d+)?),(-?\\d{1,5}(?:\\.\\d+)?)$"));
            const auto m = point.match(args[++i]);
            if (!m.hasMatch())
                return fail(QStringLiteral("bad mouse position \"%1\" (expected X,Y in stage "
                                           "pixels)")
                                .arg(args[i]));
            r.mouse = QPointF(m.captured(1).toDouble(), m.captured(2).toDouble());
        } else if (a == QLatin1String("--out")) {
            if (!hasValue)
                return fail(QStringLiteral("--out needs a folder or a video file name"));
            r.outDir = args[++i];
        } else if (a.startsWith(QLatin1Char('-')) && a.size() > 1) {
            return fail(QStringLiteral("unknown export option %1").arg(a));
        } else if (r.movie.isEmpty()) {
            r.movie = a;
        } else {
            return fail(QStringLiteral("more than one movie given: %1").arg(a));
        }
    }
    if (r.movie.isEmpty())
        return fail(QStringLiteral("no movie given"));
    if (VideoEncoder::formatForPath(r.outDir)) {
        r.videoPath = std::exchange(r.outDir, QString());
        if (!r.audioPath.isEmpty())
            return fail(QStringLiteral("--audio is for pictures; a video carries its sound"));
        if (!haveFrames)
            r.lastFrame = 0;
        return r;
    }
    if (!haveFrames)
        return fail(QStringLiteral("no frames given (--frames A-B)"));
    if (r.outDir.isEmpty())
        return fail(QStringLiteral("no output folder given (--out DIR)"));
    return r;
}

namespace {
volatile std::sig_atomic_t g_interrupted = 0;
extern "C" void onInterrupt(int) {
    g_interrupted = 1;
}

// Ctrl+C (or a hang-up or kill) during an export stops it after the current picture, so the
// encoder can remove its partial file; the signal's default action is restored afterwards.
class InterruptGuard {
public:
    InterruptGuard() {
        g_interrupted = 0;
        struct sigaction sa {};
        sa.sa_handler = onInterrupt;
        sigemptyset(&sa.sa_mask);
        for (int i = 0; i < 3; ++i)
            sigaction(kSignals[i], &sa, &m_old[i]);
    }
    ~InterruptGuard() {
        for (int i = 0; i < 3; ++i)
            sigaction(kSignals[i], &m_old[i], nullptr);
    }
    bool interrupted() const { return g_interrupted != 0; }

private:
    static constexpr int kSignals[3] = {SIGINT, SIGTERM, SIGHUP};
    struct sigaction m_old[3];
};

QString clockText(double seconds) {
    const int s = int(seconds + 0.5);
    return QStringLiteral("%1:%2").arg(s / 60).arg(s % 60, 2, 10, QLatin1Char('0'));
}

bool exportVideoFile(const ExportRequest& request, QString* error) {
    VideoExportRequest v;
    v.movie = request.movie;
    v.path = request.videoPath;
    v.size = request.size;
    v.firstFrame = request.firstFrame;
    v.lastFrame = request.lastFrame;
    const bool terminal = isatty(fileno(stderr));
    QElapsedTimer elapsed;
    elapsed.start();
    // One line rewritten in place, at most a few times a second.
    qint64 shownAt = -1000;
    InterruptGuard interrupt;
    auto progress = [&](int done, int total) {
        if (interrupt.interrupted())
            return false;
        const qint64 now = elapsed.elapsed();
        if (!terminal || (done < total && now - shownAt < 200))
            return true;
        shownAt = now;
        const double secs = now / 1000.0;
        const double left = done > 0 ? secs * (total - done) / done : 0;
        std::fprintf(stderr, "\rframe %d of %d, %s elapsed, %s left   ", done, total,
                     qUtf8Printable(clockText(secs)), qUtf8Printable(clockText(left)));
        std::fflush(stderr);
        return true;
    };
    bool ok = exportVideo(v, progress, error);
    if (terminal)
        std::fputs("\n", stderr);
    if (!ok && interrupt.interrupted() && error)
        *error = QStringLiteral("interrupted; %1 was not written").arg(request.videoPath);
    return ok;
}
} // namespace

bool exportFrames(const ExportRequest& request, QString* error, ExportOutcome* outcome) {
    if (!request.videoPath.isEmpty())
        return exportVideoFile(request, error);
    auto fail = [&](const QString& why) {
        if (error)
            *error = why;
        return false;
    };
    ExportOutcome done;
    auto loaded = swf::Movie::loadFile(request.movie);
    if (!loaded)
        return fail(QStringLiteral("%1: %2").arg(request.movie,
                                                 QString::fromStdString(loaded.error().message)));
    if (!QDir().mkpath(request.outDir))
        return fail(QStringLiteral("cannot create the folder %1").arg(request.outDir));

    swf::RunnerOptions options;
    options.sound = swf::RunnerOptions::Sound::Record;
    // An export is a run of the movie: it reads files beside it and keeps its SharedObjects.
    options.sharedObjectFolder = playlistfile::dataFolder() + QLatin1String("/shared-objects");
    swf::MovieRunner runner(loaded.value(), swf::MovieRunner::urlForFile(request.movie), options);
    // The window's view of the stage at its own size (Stage.width and height in noScale), and
    // a mouse that never came in unless asked.
    runner.viewResized(QSizeF(runner.stageSize()));
    runner.start();
    const QSize size = request.size.isEmpty() ? runner.stageSize() : request.size;
    if (request.mouse)
        runner.mouseMove(*request.mouse);

    // The sound goes to its file picture by picture, never held whole.
    std::optional<swf::sound::WavWriter> wav;
    if (!request.audioPath.isEmpty())
        wav.emplace(request.audioPath);
    const auto cannotWriteAudio = [&] {
        return fail(QStringLiteral("cannot write %1").arg(request.audioPath));
    };
    for (int frame = 1; frame <= request.lastFrame; ++frame) {
        if (frame > 1)
            runner.nextPicture();
        if (runner.quitRequested()) {
            done.quit = true;
            break;
        }
        if (frame == request.firstFrame)
            runner.takeAudio(); // the sound before the first frame wanted
        if (frame < request.firstFrame)
            continue;
        if (wav && frame > request.firstFrame && !wav->append(runner.takeAudio()))
            return cannotWriteAudio();
        const QString path =
            QDir(request.outDir)
                .filePath(QStringLiteral("frame_%1.png").arg(frame, 4, 10, QChar('0')));
        if (!runner.picture(size).save(path, "PNG"))
            return fail(QStringLiteral("cannot write %1").arg(path));
        ++done.framesWritten;
    }
    if (!done.quit)
        runner.finishPicture();
    if (wav) {
        if (done.framesWritten > 0 && !wav->append(runner.takeAudio()))
            return cannotWriteAudio();
        if (!wav->commit())
            return cannotWriteAudio();
    }
    if (outcome)
        *outcome = done;
    return true;
}
