// Parses a movie, builds everything that is built lazily, and plays it through the movie
// runner as the window does: its scripts (AVM1 or AVM2, under tight limits), its sound
// recorded, pictures drawn at a small size, and mouse and key input chosen from the input's
// own bytes, so a finding replays the same way. The same bytes are also its neighbour
// part2.swf, loaded into level 1 and into a clip of its own, as loadMovie would: two
// dictionaries in one player, drawn together.

#include "swf/runner/movierunner.h"
#include "swf/video.h"

#include <QGuiApplication>
#include <QImage>
#include <QtGlobal>
#include <cstddef>
#include <cstdint>

namespace {

void touch(const swf::DisplayList& list, int level) {
    for (const auto& o : list.objects()) {
        if (o->clip() && level < 8)
            touch(o->clip()->displayList(), level + 1);
        if (o->button() && level < 8)
            touch(o->button()->displayList(), level + 1);
    }
}

void buildLazyParts(const swf::Movie& movie) {
    for (const auto& [id, c] : movie.dictionary.all()) {
        switch (c->type) {
        case swf::CharacterType::Shape:
            static_cast<const swf::Shape&>(*c).geometry();
            break;
        case swf::CharacterType::MorphShape: {
            const auto& m = static_cast<const swf::MorphShape&>(*c);
            m.geometryAt(0);
            m.geometryAt(40000);
            break;
        }
        case swf::CharacterType::Font: {
            const auto& f = static_cast<const swf::Font&>(*c);
            for (std::size_t i = 0; i < f.glyphs.size() && i < 64; ++i)
                f.glyphPath(i);
            break;
        }
        case swf::CharacterType::Bitmap:
            static_cast<const swf::Bitmap&>(*c).image();
            break;
        case swf::CharacterType::Video: {
            // The first packets in order, then a seek back: the decoders see hostile data.
            const auto& v = static_cast<const swf::VideoStream&>(*c);
            swf::VideoPlayback playback(v);
            for (std::size_t i = 0; i < v.packets.size() && i < 8; ++i)
                playback.picture(v.packets[i].frameNumber);
            if (!v.packets.empty())
                playback.picture(v.packets.front().frameNumber);
            break;
        }
        default:
            break;
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // Image decoders complain about every damaged picture; that is expected here.
    static const bool quiet =
        (qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {}), true);
    (void)quiet;
    // Edit texts are laid out with Qt's fonts, which need an application; none is shown.
    static int argc = 1;
    static char name[] = "fuzz_movie";
    static char* argv[] = {name, nullptr};
    static const QGuiApplication* app = [] {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        return new QGuiApplication(argc, argv);
    }();
    (void)app;
    swf::ParseLimits limits;
    limits.load.maxBodyBytes = std::size_t(16) << 20;
    limits.maxShapeRecords = std::size_t(1) << 20;
    limits.maxTimelineEntries = std::size_t(1) << 16;
    limits.maxBitmapPixels = std::size_t(2048) * 2048;
    auto movie = swf::Movie::load(std::span(data, size), limits);
    if (!movie)
        return 0;
    buildLazyParts(**movie);

    swf::RunnerOptions options;
    // Recorded sound is as long as the pictures last: at 1/256 fps, four minutes of it per
    // picture, all zeros, which says nothing and times the run out.
    options.sound = (*movie)->header().effectiveFrameRate() >= 1 ? swf::RunnerOptions::Sound::Record
                                                                 : swf::RunnerOptions::Sound::None;
    options.playerLimits.maxDisplayObjects = 5000;
    options.avm1Limits.timeout = std::chrono::milliseconds(40);
    options.avm1Limits.maxObjects = 200000;
    options.avm1Limits.maxStringLength = 1 << 20;
    options.avm1Limits.maxArrayLength = 1 << 16;
    options.avm2Limits.timeBudget = std::chrono::milliseconds(40);
    options.avm2Limits.maxObjects = 200000;
    swf::MovieRunner runner(*movie, QStringLiteral("file:///fuzz/movie.swf"), options);
    runner.hooks().trace = [](const QString&) {};
    runner.hooks().warning = [](const QString&) {};
    runner.hooks().notice = [](const QString&) {};
    runner.hooks().fscommand = [&runner](const QString&, const QString&) {
        runner.viewResized(QSizeF(64, 48)); // as full screen would
    };
    runner.viewResized(QSizeF(80, 60));
    runner.start();

    // The user's input from the input's bytes (FNV-1a, then xorshift): deterministic.
    std::uint64_t seed = 1469598103934665603ull;
    for (std::size_t i = 0; i < size; i += 1 + size / 4096)
        seed = (seed ^ data[i]) * 1099511628211ull;
    auto next = [&seed] {
        seed ^= seed << 13;
        seed ^= seed >> 7;
        seed ^= seed << 17;
        return seed;
    };
    const QSize stage = runner.stageSize();
    swf::Player& player = runner.player();
    swf::PlayerScripting loads(player);
    const QString neighbour = QStringLiteral("file:///fuzz/part2.swf");
    loads.loadIntoLevel(1, *movie, neighbour);
    if (swf::MovieClip* holder = loads.placeClip(player.root(), 0, 30000, QStringLiteral("h")))
        loads.loadIntoClip(*holder, *movie, neighbour);
    // What changed each frame, mapped into a small view as the movie control maps it.
    const QTransform view =
        swf::render::stageTransform((*movie)->header().frameSize, QRectF(0, 0, 64, 48), 0);
    for (int i = 0; i < 24 && !runner.quitRequested(); ++i) {
        switch (next() % 6) {
        case 0:
            runner.mouseMove(QPointF(double(next() % std::uint64_t(stage.width() + 20)) - 10,
                                     double(next() % std::uint64_t(stage.height() + 20)) - 10));
            break;
        case 1:
            runner.mouseDown();
            break;
        case 2:
            runner.mouseUp();
            break;
        case 3: {
            const int code = int(next() % 256);
            runner.keyDown(code, code < 128 ? code : 0);
            runner.keyUp(code, code < 128 ? code : 0);
            break;
        }
        case 4:
            runner.mouseMove(std::nullopt);
            break;
        default:
            break;
        }
        runner.nextPicture();
        runner.takeAudio(); // taken as it comes, as a streaming writer would
        (void)runner.takeChanges().deviceRegion(view, QRect(0, 0, 64, 48));
        touch(player.root().displayList(), 0);
        if (i % 6 == 0) // drawn small: every path of the renderer, little time in pixels
            (void)runner.picture(QSize(48, 36), i % 12 == 0 ? swf::render::Quality::Low
                                                            : swf::render::Quality::High);
    }
    runner.finishPicture();
    runner.takeAudio();
    runner.gotoFrame(std::int64_t(runner.frameCount()) / 2);
    runner.back();
    runner.forward();
    runner.gotoFrame(-7);
    runner.gotoFrame(INT64_MAX);
    runner.gotoFrame(0);
    runner.stop();
    runner.play();
    runner.step(2);
    touch(player.root().displayList(), 0);
    (void)runner.picture(QSize(32, 24));
    loads.unloadLevel(1);
    (void)runner.takeChanges();
    return 0;
}
