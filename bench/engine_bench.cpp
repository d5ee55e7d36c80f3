// Engine benchmarks over the shared corpus: parse throughput of the decompressed movies (the
// decompression itself is not timed) and one frame advance of the busiest movie.

#include "swf/runner/movierunner.h"

#include <QDirIterator>
#include <benchmark/benchmark.h>

namespace {

const std::vector<swf::MovieFile>& corpus() {
    static const std::vector<swf::MovieFile> files = [] {
        std::vector<swf::MovieFile> out;
        QDirIterator it(QStringLiteral(REELWICK_CORPUS_DIR), {QStringLiteral("*.swf")}, QDir::Files,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            auto f = swf::loadMovieFile(it.next());
            if (f)
                out.push_back(std::move(f).value());
        }
        return out;
    }();
    return files;
}

void parseCorpus(benchmark::State& state, bool buildPaths) {
    const auto& files = corpus();
    std::int64_t bytes = 0;
    for (auto _ : state) {
        for (const auto& f : files) {
            state.PauseTiming();
            swf::MovieFile copy = f;
            state.ResumeTiming();
            auto movie = swf::Movie::parse(std::move(copy));
            if (buildPaths) {
                for (const auto& [id, c] : (*movie)->dictionary.all()) {
                    if (c->type == swf::CharacterType::Shape)
                        static_cast<const swf::Shape&>(*c).geometry();
                }
            }
            benchmark::DoNotOptimize(movie);
            bytes += std::int64_t(f.body.size());
        }
    }
    state.SetBytesProcessed(bytes);
    state.counters["movies"] = double(files.size());
}

void BM_ParseCorpus(benchmark::State& state) {
    parseCorpus(state, false);
}
void BM_ParseCorpusAndBuildShapePaths(benchmark::State& state) {
    parseCorpus(state, true);
}

// The animated movie with the most display objects on stage over its first 60 frames.
std::shared_ptr<const swf::Movie> busiestMovie(QString* name) {
    std::shared_ptr<const swf::Movie> best;
    std::size_t most = 0;
    QDirIterator it(QStringLiteral(REELWICK_CORPUS_DIR), {QStringLiteral("*.swf")}, QDir::Files,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        auto movie = swf::Movie::loadFile(path);
        if (!movie)
            continue;
        if ((*movie)->frameCount() < 2)
            continue;
        swf::RunnerOptions options;
        options.scripts = false;
        swf::MovieRunner runner(*movie, QString(), options);
        runner.start();
        std::size_t peak = 0;
        for (int i = 0; i < 60; ++i) {
            runner.step();
            peak += runner.player().displayObjectCount();
        }
        if (peak > most) {
            most = peak;
            best = *movie;
            *name = path;
        }
    }
    return best;
}

void BM_FrameAdvanceBusiestMovie(benchmark::State& state) {
    static QString name;
    static const auto movie = busiestMovie(&name);
    if (!movie) {
        state.SkipWithError("no movie in the corpus");
        return;
    }
    // The timeline alone, through the runner as every host steps it.
    swf::RunnerOptions options;
    options.scripts = false;
    swf::MovieRunner runner(movie, QString(), options);
    runner.start();
    const swf::Player& player = runner.player();
    std::size_t objects = 0;
    for (auto _ : state) {
        runner.step();
        objects = std::max(objects, player.displayObjectCount());
    }
    state.SetLabel(name.section('/', -3).toStdString());
    state.counters["objects"] = double(objects);
    state.counters["frames"] = double(player.frameCount());
}

} // namespace

BENCHMARK(BM_ParseCorpus)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ParseCorpusAndBuildShapePaths)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FrameAdvanceBusiestMovie)->Unit(benchmark::kMicrosecond);
BENCHMARK_MAIN();
