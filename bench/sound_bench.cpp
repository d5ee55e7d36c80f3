// Sound decoding throughput, reported as times real time (the "realtime" counter): seconds of
// sound decoded per second of one core.

#include "swf/movie.h"
#include "swf/sound/decoder.h"
#include "swf/sound/mixer.h"

#include <benchmark/benchmark.h>
#include <random>

namespace {

std::shared_ptr<const swf::Movie> corpus(const char* path) {
    auto m = swf::Movie::loadFile(QStringLiteral(REELWICK_CORPUS_DIR "/") + path);
    return m.ok() ? *m : nullptr;
}

void report(benchmark::State& state, double secondsPerIteration) {
    state.counters["realtime"] = benchmark::Counter(
        secondsPerIteration * double(state.iterations()), benchmark::Counter::kIsRate);
}

// The 2.2 MB 44.1 kHz stereo MP3 event sound of sounds.swf (2 min 20 s).
void Mp3EventSound(benchmark::State& state) {
    auto movie = corpus("jpexs-testdata/sounds/sounds.swf");
    const swf::Sound* sound = movie ? movie->dictionary.findAs<swf::Sound>(9) : nullptr;
    if (!sound) {
        state.SkipWithError("corpus missing");
        return;
    }
    double seconds = 0;
    for (auto _ : state) {
        auto pcm = swf::sound::decodeSound(*sound);
        seconds = pcm->seconds();
        benchmark::DoNotOptimize(pcm->samples.data());
    }
    report(state, seconds);
}
BENCHMARK(Mp3EventSound)->Unit(benchmark::kMillisecond);

// The MP3 stream of a 463-frame sprite, block by block as playback decodes it.
void Mp3StreamBlocks(benchmark::State& state) {
    auto movie = corpus("jpexs-testdata/sounds/sounds.swf");
    const swf::Sprite* sprite = movie ? movie->dictionary.findAs<swf::Sprite>(14) : nullptr;
    if (!sprite) {
        state.SkipWithError("corpus missing");
        return;
    }
    const swf::SoundStreamHead* head = nullptr;
    for (const auto& f : sprite->timeline.frames)
        if (f.streamHead && !head)
            head = &*f.streamHead;
    double seconds = 0;
    for (auto _ : state) {
        auto dec = swf::sound::StreamDecoder::create(head->stream);
        swf::sound::PcmBuffer pcm;
        for (const auto& f : sprite->timeline.frames)
            if (f.streamBlock && f.streamBlock->size() > 4)
                dec->decode(f.streamBlock->subspan(4), pcm);
        seconds = pcm.seconds();
        benchmark::DoNotOptimize(pcm.samples.data());
    }
    report(state, seconds);
}
BENCHMARK(Mp3StreamBlocks)->Unit(benchmark::kMillisecond);

// 60 s of 4-bit stereo ADPCM at 44.1 kHz (random codes: the decoder's cost does not depend on
// what they say).
void AdpcmDecode(benchmark::State& state) {
    const int bits = int(state.range(0));
    const std::size_t frames = 44100 * 60;
    std::vector<std::uint8_t> data(frames * 2 * std::size_t(bits) / 8 + 64);
    std::mt19937 rng(1);
    for (auto& b : data)
        b = std::uint8_t(rng());
    data[0] = std::uint8_t((data[0] & 0x3F) | ((bits - 2) << 6));
    double seconds = 0;
    for (auto _ : state) {
        swf::sound::PcmBuffer pcm;
        pcm.rate = 44100;
        swf::sound::decodeAdpcm(data, true, pcm);
        seconds = double(pcm.frames()) / 44100;
        benchmark::DoNotOptimize(pcm.samples.data());
    }
    report(state, seconds);
}
BENCHMARK(AdpcmDecode)->Arg(2)->Arg(4)->Arg(5)->Unit(benchmark::kMillisecond);

// Mixing eight 22 kHz voices to 44.1 kHz stereo.
void MixEightVoices(benchmark::State& state) {
    auto pcm = std::make_shared<swf::sound::PcmBuffer>();
    pcm->rate = 22050;
    pcm->channels = 2;
    pcm->samples.assign(22050 * 2 * 10, 1000);
    std::vector<std::int16_t> out(4410 * 2);
    double seconds = 0;
    for (auto _ : state) {
        swf::sound::Mixer mixer;
        for (int i = 0; i < 8; ++i)
            mixer.play(pcm, {});
        for (int i = 0; i < 100; ++i)
            mixer.render(out.data(), 4410);
        seconds = 10;
        benchmark::DoNotOptimize(out.data());
    }
    report(state, seconds);
}
BENCHMARK(MixEightVoices)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
