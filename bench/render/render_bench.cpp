// Time to draw a frame of each corpus movie, at 1920 x 1080 and at the movie's stage size, as a
// share of the movie's frame interval. Only drawing is timed: the timeline steps between frames
// are not. Movies that draw nothing but their background in the frames sampled are left out.
// Times are the drawing thread's CPU time, which a busy shared machine distorts far less than
// wall-clock time. Shapes' outlines are built on first use and
// counted where that happens (except in the first two frames, drawn once beforehand).
//
// Usage: render_bench [FRAMES] [FILTER...]   (default 40 frames from the first; a movie is
// measured when its path contains any FILTER, or always without one)
//
// Movies run through the movie runner, scripts and all, as the window shows them.

#include "swf/render/paintercanvas.h"
#include "swf/render/recordingcanvas.h"
#include "swf/runner/movierunner.h"

#include <QDirIterator>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <algorithm>
#include <cstdio>
#include <ctime>
#include <vector>

namespace {

double threadMs() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

struct Row {
    QString name;
    double interval = 0;    // ms
    double hd = 0, own = 0; // mean ms per frame
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
    runner->start();
    return runner;
}

// Mean milliseconds to draw `frames` frames at `size`, as the movie control draws them.
double timeDrawing(const std::shared_ptr<const swf::Movie>& movie, QSize size, int frames) {
    const auto runner = run(movie);
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    // The control paints into a surface it keeps; touching a fresh image's pages is not drawing.
    image.fill(Qt::black);
    const QTransform view =
        swf::render::stageTransform(movie->header().frameSize, QRectF(QPointF(0, 0), size), 0);
    double total = 0;
    int drawn = 0;
    // Short movies go round (or stay on their last frame): a one-frame movie is still drawn
    // `frames` times, for a mean that a single cold-cache draw would not give.
    for (int f = 0; f < frames; ++f) {
        const double start = threadMs();
        image.fill(Qt::black);
        {
            QPainter painter(&image);
            swf::render::PainterCanvas canvas(painter, quality());
            runner->render(canvas, view);
        }
        total += threadMs() - start;
        ++drawn;
        runner->nextPicture();
    }
    return drawn ? total / drawn : 0;
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
        rows.push_back(r);
        std::printf("%-70s %6.1f ms interval  1920x1080 %7.2f ms = %5.3f  stage %7.2f ms = %5.3f\n",
                    qUtf8Printable(r.name), r.interval, r.hd, r.hd / r.interval, r.own,
                    r.own / r.interval);
        std::fflush(stdout);
    }
    int underQuarter = 0, underTenth = 0;
    double worst = 0;
    std::vector<double> hdShares;
    for (const Row& r : rows) {
        const double share = std::max(r.hd, r.own) / r.interval;
        underQuarter += share < 0.25;
        underTenth += share < 0.10;
        worst = std::max(worst, share);
        hdShares.push_back(r.hd / r.interval);
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
    return 0;
}
