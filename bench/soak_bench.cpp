// Soak: plays every scripted movie of the corpus (ActionScript 1, 2 and 3) headless through the
// movie runner for many frames (scripts, sound recorded a picture at a time, a small picture
// drawn now and then) and reports the process's
// resident memory after the movie's first loop (or the first tenth of the run) and at the end, and
// the heap memory in use at the same two points. Memory that keeps growing while a movie loops is a
// leak or an unbounded cache. Resident memory alone can hide a small leak: the renderer has malloc
// keep freed memory between frames, and a leak first fills what an earlier peak left free.
//
//   soak_bench [--frames N] [--draw-every K] [--filter TEXT] [CORPUS]
//
// Defaults: 100000 frames, a picture every 100 frames, the configured corpus.

#include "swf/runner/movierunner.h"
#include "swf/tags.h"

#include <QDirIterator>
#include <QFile>
#include <QGuiApplication>
#include <algorithm>
#include <cstdio>
#include <malloc.h>
#include <unistd.h>

namespace {

long residentKiB() {
    QFile f(QStringLiteral("/proc/self/statm"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    const QList<QByteArray> fields = f.readAll().split(' ');
    return fields.size() > 1 ? fields[1].toLong() * (sysconf(_SC_PAGESIZE) / 1024) : -1;
}

// Bytes handed out by malloc and not freed, whether from the heap or mapped on their own.
long liveKiB() {
    const struct mallinfo2 m = mallinfo2();
    return long((m.uordblks + m.hblkhd) / 1024);
}

double growthOf(long before, long after) {
    return before > 0 ? 100.0 * double(after - before) / double(before) : 0;
}

bool hasTag(std::span<const std::uint8_t> tags, std::initializer_list<std::uint16_t> codes,
            int depth = 0) {
    swf::TagReader reader(tags);
    swf::Tag tag;
    while (reader.next(tag)) {
        for (std::uint16_t c : codes)
            if (tag.code == c)
                return true;
        if (tag.code == swf::TagDefineSprite && !tag.overruns && tag.body.size() >= 4 &&
            depth < 4 && hasTag(tag.body.subspan(4), codes, depth + 1))
            return true;
    }
    return false;
}

// DoAction, DoInitAction, buttons (whose records may hold actions), DoABC with and without flags.
bool scripted(const swf::Movie& movie) {
    const auto& file = movie.file;
    return hasTag(std::span(file.body).subspan(file.tagsOffset), {12, 59, 7, 34, 72, 82});
}

} // namespace

int main(int argc, char** argv) {
    // Edit texts lay out with Qt's fonts, which need a GUI application; no display is used.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    long frames = 100000;
    long drawEvery = 100;
    QString filter;
    QString corpus = QStringLiteral(REELWICK_CORPUS_DIR);
    const QStringList args = app.arguments();
    for (qsizetype i = 1; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--frames") && i + 1 < args.size())
            frames = args[++i].toLong();
        else if (args[i] == QLatin1String("--draw-every") && i + 1 < args.size())
            drawEvery = std::max(1L, args[++i].toLong());
        else if (args[i] == QLatin1String("--filter") && i + 1 < args.size())
            filter = args[++i];
        else
            corpus = args[i];
    }

    QStringList paths;
    QDirIterator it(corpus, {QStringLiteral("*.swf")}, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString p = it.next();
        if (filter.isEmpty() || p.contains(filter))
            paths << p;
    }
    paths.sort();

    std::printf("%-70s %8s %10s %10s %7s %10s %10s %7s\n", "movie", "frames", "loop KiB", "end KiB",
                "growth", "live loop", "live end", "growth");
    int played = 0, grew = 0;
    double worst = 0;
    for (const QString& path : paths) {
        auto loaded = swf::Movie::loadFile(path);
        if (!loaded || !scripted(**loaded))
            continue;
        // Played as an export plays it: the runner the window uses, scripts of either language,
        // every picture's sound recorded and handed over, a small picture now and then.
        swf::RunnerOptions options;
        options.sound = swf::RunnerOptions::Sound::Record;
        swf::MovieRunner runner(*loaded, swf::MovieRunner::urlForFile(path), options);
        runner.hooks().trace = [](const QString&) {};
        runner.hooks().warning = [](const QString&) {};
        runner.hooks().notice = [](const QString&) {};
        runner.start();

        // The first loop, or the first tenth of the run if that is longer: a movie may load or
        // build what it shows seconds after it starts (as3_loader.swf: 1.6 MB after frame 100).
        const long loop = std::max<long>(frames / 10, long(runner.frameCount()));
        long afterLoop = -1, liveAfterLoop = -1;
        long done = 0;
        for (; done < frames && !runner.quitRequested(); ++done) {
            if (done % drawEvery == 0)
                runner.picture(QSize(64, 48), swf::render::Quality::Low);
            runner.nextPicture();
            runner.takeAudio();
            if (done + 1 == loop) {
                afterLoop = residentKiB();
                liveAfterLoop = liveKiB();
            }
        }
        const long end = residentKiB(), liveEnd = liveKiB();
        if (afterLoop < 0) {
            afterLoop = end;
            liveAfterLoop = liveEnd;
        }
        const double growth = growthOf(afterLoop, end);
        const double liveGrowth = growthOf(liveAfterLoop, liveEnd);
        worst = std::max({worst, growth, liveGrowth});
        grew += std::max(growth, liveGrowth) > 10;
        ++played;
        std::printf("%-70s %8ld %10ld %10ld %6.1f%% %10ld %10ld %6.1f%%\n",
                    qPrintable(path.mid(corpus.size() + 1).left(70)), done, afterLoop, end, growth,
                    liveAfterLoop, liveEnd, liveGrowth);
        std::fflush(stdout);
    }
    std::printf(
        "%d scripted movies; %d grew by more than 10%% after their first loop (resident or in "
        "use); worst %.1f%%\n",
        played, grew, worst);
    return 0;
}
