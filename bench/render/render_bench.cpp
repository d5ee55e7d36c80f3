// Time to draw a whole frame of each corpus movie, at 1920 x 1080 and at the movie's stage size,
// as the movie control draws it (the view picture's full redraw on one thread), as a share of the
// movie's frame interval. Only drawing is timed: the timeline steps between frames
// are not. Movies that draw nothing but their background in the frames sampled are left out.
// Times are the drawing thread's CPU time, which a busy shared machine distorts far less than
// wall-clock time. Shapes' outlines are built on first use and
// counted where that happens (except in the first two frames, drawn once beforehand).
//
// Usage: render_bench [FRAMES] [FILTER...]   (default 40 frames from the first; a movie is
// measured when its path contains any FILTER, or always without one)
//
// Movies run through the movie runner, scripts and all, as the window shows them.
//
// Two more columns at 1920 x 1080, through the view picture the movie control keeps: "changed",
// the process CPU time (both drawing threads) per frame when only what changed is redrawn, as
// the control does; "2 cores", a whole frame redrawn on two threads, top and bottom half: the CPU
// time of the longer half (the main thread's, or the rest of the process's), which is the
// wall-clock time on two idle cores without what a busy shared machine adds to wall clocks.

#include "swf/render/paintercanvas.h"
#include "swf/render/recordingcanvas.h"
#include "swf/runner/movierunner.h"
#include "swf/runner/viewpicture.h"

#include <QDirIterator>
#include <QGuiApplication>
#include <algorithm>
#include <cstdio>
#include <ctime>
#include <vector>

namespace {

double processMs() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

double threadMs() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

struct Row {
    QString name;
    double interval = 0;    // ms
    double hd = 0, own = 0; // mean ms per frame
    double changed = 0, twoCores = 0;
};

// REELWICK_BENCH_QUALITY=low|medium compares with the control's lower qualities.
swf::render::Quality quality() {
    const QByteArray q = qgetenv("REELWICK_BENCH_QUALITY");
    return q == "low"      ? swf::render::Quality::Low
           : q == "medium" ? swf::render::Quality::Medium
                           : swf::render::Quality::High;
}

// The movie as the window runs it, without its script output.
std::unique_ptr<swf::MovieRunner> run(const std::shared_ptr<const swf::Movie>& movie) {
    auto runner = std::make_unique<swf::MovieRunner>(movie, QString());
    runner->hooks().trace = [](const QString&) {};
    runner->hooks().warning = [](const QString&) {};
    runner->hooks().notice = [](const QString&) {};
    // REELWICK_BENCH_FILTER_CACHE=off filters every layer again each frame, for a side-by-side
    // comparison with the kept filtered layers (the second thread's renderer keeps its cache).
    if (qgetenv("REELWICK_BENCH_FILTER_CACHE") == "off")
        runner->renderer().setFilterCaching(false);
    // REELWICK_BENCH_RASTER_CACHE=off draws every shape directly, as before shapes had pictures
    // of their own (the second thread's renderer keeps them).
    if (qgetenv("REELWICK_BENCH_RASTER_CACHE") == "off")
        runner->renderer().setRasterCaching(false);
    runner->start();
    return runner;
}

// Mean milliseconds to draw `frames` whole frames at `size`, as the movie control draws a whole
// frame (its view picture, on one thread: background outside the stage, then the stage).
double timeDrawing(const std::shared_ptr<const swf::Movie>& movie, QSize size, int frames) {
    const auto runner = run(movie);
    swf::ViewPicture picture;
    picture.setFullRepaint(true);
    picture.setThreads(1);
    const QTransform view =
        swf::render::stageTransform(movie->header().frameSize, QRectF(QPointF(0, 0), size), 0);
    // The control paints into a surface it keeps; touching a fresh image's pages is not drawing.
    picture.update(*runner, swf::render::StageChanges{}, size, view, quality());
    double total = 0;
    int drawn = 0;
    // Short movies go round (or stay on their last frame): a one-frame movie is still drawn
    // `frames` times, for a mean that a single cold-cache draw would not give.
    for (int f = 0; f < frames; ++f) {
        const double start = threadMs();
        picture.update(*runner, swf::render::StageChanges{}, size, view, quality());
        total += threadMs() - start;
        ++drawn;
        runner->nextPicture();
    }
    return drawn ? total / drawn : 0;
}

// Mean milliseconds per frame through a kept view picture: only what changed (process CPU time),
// or everything on two threads (the longer half's CPU time).
double timeViewPicture(const std::shared_ptr<const swf::Movie>& movie, QSize size, int frames,
                       bool whole) {
    const auto runner = run(movie);
    swf::ViewPicture picture;
    picture.setFullRepaint(whole);
    picture.setThreads(whole ? 2 : 1);
    const QTransform view =
        swf::render::stageTransform(movie->header().frameSize, QRectF(QPointF(0, 0), size), 0);
    picture.update(*runner, size, view, quality());
    runner->nextPicture();
    double total = 0;
    for (int f = 0; f < frames; ++f) {
        const double process = processMs(), thread = threadMs();
        picture.update(*runner, size, view, quality());
        const double all = processMs() - process, mine = threadMs() - thread;
        total += whole ? std::max(mine, all - mine) : all;
        runner->nextPicture();
    }
    return frames ? total / frames : 0;
}

bool drawsSomething(const std::shared_ptr<const swf::Movie>& movie, int frames) {
    const auto runner = run(movie);
    for (int f = 0; f < frames && f < int(runner->frameCount()); ++f) {
        swf::render::RecordingCanvas canvas;
        runner->render(canvas, QTransform());
        if (canvas.calls().size() > 1)
            return true;
        runner->nextPicture();
    }
    return false;
}

} // namespace

int main(int argc, char* argv[]) {
    qputenv("QT_QPA_PLATFORM", "offscreen"); // fonts for edit texts, no display needed
    QGuiApplication app(argc, argv);
    const int frames = argc > 1 ? std::max(1, atoi(argv[1])) : 40;
    QStringList filters;
    for (int i = 2; i < argc; ++i)
        filters << QString::fromLocal8Bit(argv[i]);
    const QString root = QStringLiteral(REELWICK_CORPUS_DIR);
    QStringList paths;
    QDirIterator it(root, {QStringLiteral("*.swf")}, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext())
        paths << it.next();
    paths.sort();

    std::vector<Row> rows;
    for (const QString& path : paths) {
        if (!filters.isEmpty() && std::none_of(filters.begin(), filters.end(),
                                               [&](const QString& f) { return path.contains(f); }))
            continue;
        auto movie = swf::Movie::loadFile(path);
        if (!movie || !drawsSomething(movie.value(), frames))
            continue;
        const auto& h = movie.value()->header();
        const QSize stage(std::clamp(h.frameSize.width() / 20, 1, 4096),
                          std::clamp(h.frameSize.height() / 20, 1, 4096));
        Row r;
        r.name = path.mid(root.size() + 1);
        r.interval = 1000.0 / h.effectiveFrameRate();
        // Warm the decoded bitmaps and glyphs, and the layer and filter buffers of each size
        // (kept between frames as in playback, where a still movie keeps redrawing).
        timeDrawing(movie.value(), QSize(1920, 1080), 2);
        r.hd = timeDrawing(movie.value(), QSize(1920, 1080), frames);
        timeDrawing(movie.value(), stage, 2);
        r.own = timeDrawing(movie.value(), stage, frames);
        r.changed = timeViewPicture(movie.value(), QSize(1920, 1080), frames, false);
        r.twoCores = timeViewPicture(movie.value(), QSize(1920, 1080), frames, true);
        rows.push_back(r);
        std::printf("%-70s %6.1f ms interval  1920x1080 %7.2f ms = %5.3f  stage %7.2f ms = %5.3f"
                    "  changed %7.2f ms = %5.3f  2 cores %7.2f ms = %5.3f\n",
                    qUtf8Printable(r.name), r.interval, r.hd, r.hd / r.interval, r.own,
                    r.own / r.interval, r.changed, r.changed / r.interval, r.twoCores,
                    r.twoCores / r.interval);
        std::fflush(stdout);
    }
    int underQuarter = 0, underTenth = 0, changedUnderTenth = 0, twoUnderTenth = 0;
    double worst = 0, worstChanged = 0, worstTwo = 0;
    std::vector<double> hdShares;
    for (const Row& r : rows) {
        const double share = std::max(r.hd, r.own) / r.interval;
        underQuarter += share < 0.25;
        underTenth += share < 0.10;
        worst = std::max(worst, share);
        hdShares.push_back(r.hd / r.interval);
        changedUnderTenth += r.changed / r.interval < 0.10;
        twoUnderTenth += r.twoCores / r.interval < 0.10;
        worstChanged = std::max(worstChanged, r.changed / r.interval);
        worstTwo = std::max(worstTwo, r.twoCores / r.interval);
    }
    std::sort(hdShares.begin(), hdShares.end());
    const double median =
        hdShares.empty() ? 0
        : hdShares.size() % 2
            ? hdShares[hdShares.size() / 2]
            : (hdShares[hdShares.size() / 2 - 1] + hdShares[hdShares.size() / 2]) / 2;
    std::printf("\n%zu movies with visible content; under 1/4 of the interval: %d, under 1/10: %d; "
                "worst share %.3f; median share at 1920x1080 %.4f\n",
                rows.size(), underQuarter, underTenth, worst, median);
    std::printf("redrawing what changed: under 1/10: %d, worst share %.3f; whole frames on two "
                "cores (longer half): under 1/10: %d, worst share %.3f\n",
                changedUnderTenth, worstChanged, twoUnderTenth, worstTwo);
    return 0;
}
