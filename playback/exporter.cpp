#include "playback/exporter.h"

#include "swf/runner/movierunner.h"
#include "swf/sound/audioexport.h"

#include <QDir>
#include <QImage>
#include <QRegularExpression>

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
        "trace() output goes to standard error, one line per call.\n");
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
                return fail(QStringLiteral("--out needs a folder"));
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
    if (!haveFrames)
        return fail(QStringLiteral("no frames given (--frames A-B)"));
    if (r.outDir.isEmpty())
        return fail(QStringLiteral("no output folder given (--out DIR)"));
    return r;
}

bool exportFrames(const ExportRequest& request, QString* error, ExportOutcome* outcome) {
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
    swf::MovieRunner runner(loaded.value(), swf::MovieRunner::urlForFile(request.movie), options);
    // The window's view of the stage at its own size (Stage.width and height in noScale), and
    // a mouse that never came in unless asked.
    runner.viewResized(QSizeF(runner.stageSize()));
    runner.start();
    const QSize size = request.size.isEmpty() ? runner.stageSize() : request.size;
    if (request.mouse)
        runner.mouseMove(*request.mouse);

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
        const QString path =
            QDir(request.outDir)
                .filePath(QStringLiteral("frame_%1.png").arg(frame, 4, 10, QChar('0')));
        if (!runner.picture(size).save(path, "PNG"))
            return fail(QStringLiteral("cannot write %1").arg(path));
        ++done.framesWritten;
    }
    if (!done.quit)
        runner.finishPicture();
    if (!request.audioPath.isEmpty()) {
        const auto pcm = done.framesWritten > 0 ? runner.takeAudio() : swf::sound::PcmBuffer{};
        if (!swf::sound::writeWav(request.audioPath, pcm))
            return fail(QStringLiteral("cannot write %1").arg(request.audioPath));
    }
    if (outcome)
        *outcome = done;
    return true;
}
