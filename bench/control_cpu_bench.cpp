// What playing a movie costs in the real window: the movie control alone on screen, full screen,
// playing each movie for a while; process CPU time (every thread) as a share of one core, with
// the control redrawing only what changed and, side by side in the same run, redrawing every
// frame whole (the control's full-repaint mode). Sound goes to the silent real-time output, so
// runs compare without a sound server.
//
// Usage, at 1920 x 1080 in a private X server:
//     xvfb-run -a -s "-screen 0 1920x1080x24" build/bench/control_cpu_bench [SECONDS] [ROUNDS]
// (default 10 s of play per movie and mode, after 1 s to settle; ROUNDS repeats the pairs.)

#include "playback/flashcontrol.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QScreen>
#include <QTimer>
#include <cstdio>
#include <sys/resource.h>

namespace {

const char* const kMovies[] = {
    "freehep-generated/TestShapes.swf",
    "open-flash-db-movies/homestuck-beta-1/main.swf",
    "jpexs-testdata/as2/as2.swf",
    "open-flash-db-movies/homestuck-02791/main.swf",
    "open-flash-db-movies/zombo-inrozxa/main.swf",
};

double processCpuMs() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    auto ms = [](const timeval& t) { return double(t.tv_sec) * 1e3 + double(t.tv_usec) / 1e3; };
    return ms(u.ru_utime) + ms(u.ru_stime);
}

void play(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

struct Share {
    double cpu = 0; // share of one core
    int frames = 0;
};

Share measure(const QString& path, bool full, int seconds) {
    FlashControl control;
    control.setAudioMode(AudioOutput::Mode::Silent);
    control.setFullRepaint(full);
    control.showFullScreen();
    control.Movie(path);
    int frames = 0;
    QObject::connect(&control, &FlashControl::frameChanged, [&frames](int) { ++frames; });
    play(1000); // settle: first pictures, decoded bitmaps, outlines
    frames = 0;
    const double cpu0 = processCpuMs();
    QElapsedTimer wall;
    wall.start();
    play(seconds * 1000);
    const double cpu = processCpuMs() - cpu0;
    return {cpu / double(wall.elapsed()), frames};
}

} // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    const int seconds = argc > 1 ? std::max(1, atoi(argv[1])) : 10;
    const int rounds = argc > 2 ? std::max(1, atoi(argv[2])) : 1;
    const QSize screen = app.primaryScreen()->size();
    std::printf("screen %dx%d, %d s per movie and mode\n", screen.width(), screen.height(),
                seconds);
    std::printf("%-50s %12s %12s %8s\n", "movie", "changed only", "full", "ratio");
    for (int round = 0; round < rounds; ++round) {
        for (const char* movie : kMovies) {
            const QString path = QStringLiteral(REELWICK_CORPUS_DIR "/") + QLatin1String(movie);
            if (!QFile::exists(path)) {
                std::fprintf(stderr, "control_cpu_bench: %s not found\n", qPrintable(path));
                return 1;
            }
            const Share partial = measure(path, false, seconds);
            const Share full = measure(path, true, seconds);
            std::printf("%-50s %10.1f %% %10.1f %% %8.2f   (%d and %d frames)\n", movie,
                        partial.cpu * 100, full.cpu * 100,
                        full.cpu > 0 ? partial.cpu / full.cpu : 0.0, partial.frames, full.frames);
            std::fflush(stdout);
        }
    }
    return 0;
}
