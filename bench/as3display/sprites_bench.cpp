// One AS3 movie (Sprites2000.hx: 2,000 sprites redrawn with Graphics every frame, 1280 x 720 at
// 30 fps) played through the movie runner as the window plays it: per frame, the scripts' time
// (the runner's step: timeline, enterFrame, constructors, frame scripts, collection) and the
// drawing's time (the whole stage into a 1280 x 720 picture), each and together as a share of
// the frame interval, measured side by side in one run.
//
// Usage: as3_sprites_bench MOVIE.swf [FRAMES]   (run-sprites-bench.sh builds the movie)

#include "swf/runner/movierunner.h"

#include <QGuiApplication>
#include <QImage>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: as3_sprites_bench MOVIE.swf [FRAMES]\n");
        return 2;
    }
    const int frames = argc > 2 ? std::max(10, std::atoi(argv[2])) : 150;
    auto movie = swf::Movie::loadFile(QString::fromLocal8Bit(argv[1]));
    if (!movie) {
        std::fprintf(stderr, "as3_sprites_bench: %s\n", movie.error().message.c_str());
        return 1;
    }
    swf::MovieRunner runner(*movie, swf::MovieRunner::urlForFile(QString::fromLocal8Bit(argv[1])));
    runner.hooks().trace = [](const QString&) {};
    runner.start();
    const double rate = (*movie)->header().effectiveFrameRate();
    const QSize size(1280, 720);
    using clock = std::chrono::steady_clock;
    std::vector<double> scripts, drawing;
    // The first frames build the sprites; they are not the steady state measured.
    for (int i = 0; i < 5; ++i) {
        runner.step();
        runner.picture(size);
    }
    for (int i = 0; i < frames; ++i) {
        const auto t0 = clock::now();
        runner.step();
        const auto t1 = clock::now();
        const QImage picture = runner.picture(size);
        const auto t2 = clock::now();
        scripts.push_back(std::chrono::duration<double, std::milli>(t1 - t0).count());
        drawing.push_back(std::chrono::duration<double, std::milli>(t2 - t1).count());
        if (picture.isNull())
            return 1;
    }
    auto median = [](std::vector<double> v) {
        std::sort(v.begin(), v.end());
        return v[v.size() / 2];
    };
    const double interval = 1000.0 / rate;
    const double s = median(scripts), d = median(drawing);
    std::printf("objects on stage      %zu\n", runner.player().displayObjectCount());
    std::printf("frame interval        %.2f ms (%.0f fps)\n", interval, rate);
    std::printf("scripts per frame     %.2f ms  %.3f of the interval\n", s, s / interval);
    std::printf("drawing per frame     %.2f ms  %.3f of the interval\n", d, d / interval);
    std::printf("together              %.2f ms  %.3f of the interval (aim < 0.5)\n", s + d,
                (s + d) / interval);
    return 0;
}
