// Video export: 1000 pictures at 1280 x 720 into MP4 (H.264 + AAC), with how the time splits
// between playing and drawing the movie and converting and encoding the pictures and sound.
// Run pinned to one core (taskset -c 0) for the one-core figure; the encoder's threads then
// share that core.

#include "playback/videoexport.h"

#include <QGuiApplication>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

namespace {

const char* const kMovies[] = {
    "open-flash-db-movies/homestuck-beta-2/main.swf", // vector and bitmap animation, sound
    "open-flash-db-movies/zombo-inrozxa/main.swf",    // 1360 frames of shapes and text
    "jpexs-testdata/graphics/graphics.swf",           // shapes, morphs, a video stream
};

void BM_ExportMp4(benchmark::State& state) {
    QTemporaryDir dir;
    VideoExportRequest r;
    r.movie = QStringLiteral(REELWICK_CORPUS_DIR "/") + QLatin1String(kMovies[state.range(0)]);
    r.path = dir.filePath(QStringLiteral("bench.mp4"));
    r.size = QSize(1280, 720);
    r.lastFrame = 1000; // past a shorter timeline the movie loops on
    VideoExportStats stats;
    for (auto _ : state) {
        QString error;
        if (!exportVideo(r, {}, &error, &stats)) {
            state.SkipWithError(qPrintable(error));
            return;
        }
    }
    const double total = stats.drawSeconds + stats.encodeSeconds;
    state.counters["pictures"] = stats.pictures;
    state.counters["fps"] = benchmark::Counter(stats.pictures * double(state.iterations()),
                                               benchmark::Counter::kIsRate);
    state.counters["draw_share"] = total > 0 ? stats.drawSeconds / total : 0;
    state.counters["encode_share"] = total > 0 ? stats.encodeSeconds / total : 0;
    state.SetLabel(kMovies[state.range(0)]);
}
BENCHMARK(BM_ExportMp4)
    ->DenseRange(0, 2)
    ->Iterations(1)
    ->Unit(benchmark::kSecond)
    ->UseRealTime()
    ->MeasureProcessCPUTime();

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv); // fonts for texts
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
