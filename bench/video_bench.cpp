// Video decoding: a stream played forward frame by frame (what playback costs per frame) and
// seeks to scattered frames (what a jump costs: decoding from the key frame before it).

#include "swf/movie.h"
#include "swf/video.h"

#include <benchmark/benchmark.h>
#include <random>

namespace {

const swf::VideoStream* streamOf(const char* name, std::shared_ptr<const swf::Movie>& keep) {
    auto movie =
        swf::Movie::loadFile(QStringLiteral(REELWICK_CORPUS_DIR "/") + QLatin1String(name));
    if (!movie)
        return nullptr;
    keep = *movie;
    for (const auto& [id, c] : keep->dictionary.all()) {
        if (c->type == swf::CharacterType::Video)
            return static_cast<const swf::VideoStream*>(c.get());
    }
    return nullptr;
}

const char* const kMovies[] = {
    "ffmpeg-generated/testsrc_flv1.swf",    // Sorenson H.263, 320 x 240
    "ffmpeg-generated/testsrc_flashsv.swf", // Screen Video, 320 x 240
    "jpexs-testdata/video/video.swf",       // VP6
    "jpexs-testdata/graphics/graphics.swf", // Sorenson H.263, 640 x 360, 702 frames
};

void BM_VideoPlayForward(benchmark::State& state) {
    std::shared_ptr<const swf::Movie> keep;
    const swf::VideoStream* s = streamOf(kMovies[state.range(0)], keep);
    if (!s || s->packets.empty()) {
        state.SkipWithError("no video");
        return;
    }
    swf::VideoPlayback playback(*s);
    std::size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(playback.picture(s->packets[i].frameNumber));
        i = (i + 1) % s->packets.size();
    }
    state.SetLabel(kMovies[state.range(0)]);
    state.counters["fps"] =
        benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_VideoSeek(benchmark::State& state) {
    std::shared_ptr<const swf::Movie> keep;
    const swf::VideoStream* s = streamOf(kMovies[state.range(0)], keep);
    if (!s || s->packets.empty()) {
        state.SkipWithError("no video");
        return;
    }
    swf::VideoPlayback playback(*s);
    std::mt19937 rng(1);
    for (auto _ : state) {
        const auto& p = s->packets[rng() % s->packets.size()];
        benchmark::DoNotOptimize(playback.picture(p.frameNumber));
    }
    state.SetLabel(kMovies[state.range(0)]);
    state.counters["packets/seek"] =
        double(playback.packetsDecoded()) / double(std::max<std::int64_t>(1, state.iterations()));
}

} // namespace

BENCHMARK(BM_VideoPlayForward)->DenseRange(0, 3)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_VideoSeek)->DenseRange(0, 3)->Unit(benchmark::kMicrosecond);
BENCHMARK_MAIN();
