// What sound costs the movie control: process CPU time (all threads: GUI, audio, preload) per
// second of playing ffmpeg-generated/sine_mp3.swf (MP3 stream sound, which paces its timeline),
// against the same movie with its sound tags taken out. The output is the silent real-time
// fallback unless REELWICK_BENCH_DEVICE is set, so that runs compare without a sound server.
// Counter "cpu%": process CPU time over the time played.

#include "playback/flashcontrol.h"

#include <QApplication>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <benchmark/benchmark.h>
#include <ctime>

namespace {

constexpr qint64 kPlayMs = 3000;

QByteArray readCorpus(const char* path) {
    QFile f(QStringLiteral(REELWICK_CORPUS_DIR "/") + QLatin1String(path));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// An uncompressed movie without its SoundStreamHead/SoundStreamBlock/DefineSound/StartSound tags.
QByteArray withoutSound(const QByteArray& swf) {
    if (swf.size() < 21 || !swf.startsWith("FWS"))
        return {};
    const int nbits = std::uint8_t(swf[8]) >> 3;
    int pos = 8 + (5 + 4 * nbits + 7) / 8 + 4;
    QByteArray out = swf.left(pos);
    while (pos + 2 <= swf.size()) {
        const int start = pos;
        const auto header =
            std::uint16_t(std::uint8_t(swf[pos]) | (std::uint8_t(swf[pos + 1]) << 8));
        pos += 2;
        qint64 length = header & 0x3F;
        if (length == 0x3F) {
            if (pos + 4 > swf.size())
                break;
            length = std::uint32_t(std::uint8_t(swf[pos]) | (std::uint8_t(swf[pos + 1]) << 8) |
                                   (std::uint8_t(swf[pos + 2]) << 16) |
                                   (std::uint32_t(std::uint8_t(swf[pos + 3])) << 24));
            pos += 4;
        }
        if (pos + length > swf.size())
            break;
        pos += int(length);
        const int code = header >> 6;
        if (code != 14 && code != 15 && code != 18 && code != 19 && code != 45)
            out += swf.mid(start, pos - start);
        if (code == 0)
            break;
    }
    const auto size = std::uint32_t(out.size());
    for (int i = 0; i < 4; ++i)
        out[4 + i] = char(size >> (8 * i));
    return out;
}

void play(benchmark::State& state, const QByteArray& movie) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("movie.swf"));
    QFile f(path);
    if (movie.isEmpty() || !f.open(QIODevice::WriteOnly) || f.write(movie) != movie.size()) {
        state.SkipWithError("corpus missing");
        return;
    }
    f.close();
    FlashControl c;
    c.resize(320, 200);
    c.show();
    if (!qEnvironmentVariableIsSet("REELWICK_BENCH_DEVICE"))
        c.setAudioMode(AudioOutput::Mode::Silent);
    int frames = 0;
    QObject::connect(&c, &FlashControl::frameChanged, [&] { ++frames; });
    const std::clock_t cpuStart = std::clock();
    for (auto _ : state) {
        c.Movie(path);
        QEventLoop loop;
        QTimer::singleShot(kPlayMs, &loop, &QEventLoop::quit);
        loop.exec();
        c.Movie(QStringLiteral("http://"));
    }
    const double cpu = double(std::clock() - cpuStart) / CLOCKS_PER_SEC;
    state.counters["cpu%"] = 100 * cpu / (double(kPlayMs) / 1000 * double(state.iterations()));
    state.counters["frames/s"] =
        benchmark::Counter(double(frames) / (double(kPlayMs) / 1000 * double(state.iterations())));
    state.counters["sound"] = c.audioOutput() ? 1 : 0;
}

void SoundMovie(benchmark::State& state) {
    play(state, readCorpus("ffmpeg-generated/sine_mp3.swf"));
}
BENCHMARK(SoundMovie)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3)
    ->MeasureProcessCPUTime()
    ->UseRealTime();

void SameMovieWithoutSound(benchmark::State& state) {
    play(state, withoutSound(readCorpus("ffmpeg-generated/sine_mp3.swf")));
}
BENCHMARK(SameMovieWithoutSound)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3)
    ->MeasureProcessCPUTime()
    ->UseRealTime();

} // namespace

int main(int argc, char** argv) {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
