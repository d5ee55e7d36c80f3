// What running a movie as the window does costs an export: the movie runner (scripts, sound
// recorded, buttons) against the bare-player loop the exporter used before it, drawing the
// same frames of a scripted corpus movie at the stage size. PNG writing is left out of both.
//
//     bench/export_bench [--benchmark_repetitions=5]

#include "swf/player.h"
#include "swf/render/paintercanvas.h"
#include "swf/render/renderer.h"
#include "swf/runner/movierunner.h"

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <benchmark/benchmark.h>

namespace {

constexpr int kFrames = 60;

std::shared_ptr<const swf::Movie> movie(const char* relative) {
    static std::map<std::string, std::shared_ptr<const swf::Movie>> cache;
    auto& m = cache[relative];
    if (!m) {
        auto loaded = swf::Movie::loadFile(QStringLiteral(REELWICK_CORPUS_DIR "/") +
                                           QString::fromUtf8(relative));
        if (loaded)
            m = *loaded;
    }
    return m;
}

// The exporter's loop before the runner: the timeline alone, no scripts, no sound.
void BM_BarePlayerExport(benchmark::State& state, const char* relative) {
    const auto m = movie(relative);
    if (!m) {
        state.SkipWithError("movie missing from the corpus");
        return;
    }
    const swf::Rect& stage = m->header().frameSize;
    const QSize size(std::max(1, stage.width() / 20), std::max(1, stage.height() / 20));
    for (auto _ : state) {
        swf::Player player(m);
        swf::render::Renderer renderer;
        QImage image(size, QImage::Format_ARGB32_Premultiplied);
        const QTransform view = swf::render::stageTransform(stage, QRectF(QPointF(0, 0), size), 0);
        for (int frame = 1; frame <= kFrames; ++frame) {
            if (frame > 1)
                player.advance();
            const auto bg = player.backgroundColor().value_or(swf::Rgba{255, 255, 255, 255});
            image.fill(QColor(bg.r, bg.g, bg.b));
            QPainter painter(&image);
            swf::render::PainterCanvas canvas(painter);
            renderer.render(player, canvas, view);
        }
        benchmark::DoNotOptimize(image.constBits());
    }
}

// The exporter now: the movie runner with scripts and recorded sound. With `scripts` false,
// the runner's own cost over the bare loop, scripts aside.
void runnerExport(benchmark::State& state, const char* relative, bool scripts) {
    const auto m = movie(relative);
    if (!m) {
        state.SkipWithError("movie missing from the corpus");
        return;
    }
    for (auto _ : state) {
        swf::RunnerOptions options;
        options.sound = swf::RunnerOptions::Sound::Record;
        options.scripts = scripts;
        swf::MovieRunner runner(m, QStringLiteral("file:///bench/movie.swf"), options);
        runner.hooks().trace = [](const QString&) {};
        runner.hooks().warning = [](const QString&) {};
        runner.start();
        for (int frame = 1; frame <= kFrames && !runner.quitRequested(); ++frame) {
            if (frame > 1)
                runner.nextPicture();
            // As the exporter does: each picture is written, then dropped.
            const QImage image = runner.picture(runner.stageSize());
            benchmark::DoNotOptimize(image.constBits());
        }
        // Sound is recorded (scripts may ask where it is) but, as in a PNG export without
        // --audio, never taken: the bare loop made none to compare with.
        runner.finishPicture();
    }
}

void BM_RunnerExport(benchmark::State& state, const char* relative) {
    runnerExport(state, relative, true);
}

void BM_RunnerExportWithoutScripts(benchmark::State& state, const char* relative) {
    runnerExport(state, relative, false);
}

// What an export pays once, before its first frame: the runner, its scripting engine with
// every built-in class, and the first frame's scripts.
void BM_RunnerStart(benchmark::State& state, const char* relative) {
    const auto m = movie(relative);
    if (!m) {
        state.SkipWithError("movie missing from the corpus");
        return;
    }
    for (auto _ : state) {
        swf::RunnerOptions options;
        options.sound = swf::RunnerOptions::Sound::Record;
        swf::MovieRunner runner(m, QStringLiteral("file:///bench/movie.swf"), options);
        runner.hooks().trace = [](const QString&) {};
        runner.start();
        benchmark::DoNotOptimize(runner.currentFrame());
    }
}

} // namespace

// Scripted movies of the corpus: ActionScript 2 with buttons, sounds and clip events; a
// timeline of sprites and labels.
BENCHMARK_CAPTURE(BM_BarePlayerExport, as2, "jpexs-testdata/as2/as2.swf")
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_RunnerExport, as2, "jpexs-testdata/as2/as2.swf")
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_BarePlayerExport, timeline, "jpexs-testdata/timeline/timeline.swf")
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_RunnerExport, timeline, "jpexs-testdata/timeline/timeline.swf")
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_RunnerExportWithoutScripts, as2, "jpexs-testdata/as2/as2.swf")
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_RunnerStart, timeline, "jpexs-testdata/timeline/timeline.swf")
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_RunnerExportWithoutScripts, timeline, "jpexs-testdata/timeline/timeline.swf")
    ->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen"); // fonts for edit texts, no display needed
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
