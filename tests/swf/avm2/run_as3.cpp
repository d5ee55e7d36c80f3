// Runs an AS3 movie without a window: the first frame plus N more, trace lines on standard
// output. For trying movies by hand and for the Haxe program comparisons. REELWICK_VIEW=WxH
// gives it a view of that size.

#include "swf/avm2/runtime.h"
#include "swf/movie.h"
#include "swf/render/bitmapdrawer.h"

#include <QCoreApplication>
#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: run_as3 MOVIE.swf [FRAMES]\n");
        return 2;
    }
    auto movie = swf::Movie::loadFile(QString::fromLocal8Bit(argv[1]));
    if (!movie) {
        std::fprintf(stderr, "%s\n", movie.error().message.c_str());
        return 1;
    }
    const int frames = argc > 2 ? std::atoi(argv[2]) : 1;
    double now = 0;
    swf::avm2::RuntimeOptions options;
    options.trace = [](const QString& line) {
        std::printf("%s\n", line.toUtf8().constData());
        std::fflush(stdout);
    };
    options.clock = [&now] { return now; };
    // BitmapData.draw and applyFilter through the renderer, as the player does.
    options.bitmapDrawer = std::make_shared<swf::render::RendererBitmapDrawer>();
    swf::avm2::Runtime runtime(*movie, options);
    // REELWICK_VIEW=WxH: the size of a view showing the stage (noScale movies lay out to it).
    if (const char* view = std::getenv("REELWICK_VIEW")) {
        int w = 0, h = 0;
        if (std::sscanf(view, "%dx%d", &w, &h) == 2 && w > 0 && h > 0)
            runtime.viewResized(QSizeF(w, h));
    }
    runtime.start();
    const double step = 1000.0 / (*movie)->header().effectiveFrameRate();
    for (int i = 1; i < frames; ++i) {
        now += step;
        runtime.advanceFrame();
    }
    return 0;
}
