// Parses a movie, builds everything that is built lazily, and runs its timeline through the
// movie runner, as the window would (without scripts: fuzz_avm1 covers those). The same bytes
// are also its neighbour part2.swf, loaded into level 1 and into a clip of its own, as
// loadMovie would: two dictionaries in one player, drawn together.

#include "swf/runner/movierunner.h"
#include "swf/video.h"

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
    options.scripts = false;
    options.playerLimits.maxDisplayObjects = 5000;
    swf::MovieRunner runner(*movie, QString(), options);
    runner.start();
    swf::Player& player = runner.player();
    swf::PlayerScripting loads(player);
    const QString neighbour = QStringLiteral("file:///fuzz/part2.swf");
    loads.loadIntoLevel(1, *movie, neighbour);
    if (swf::MovieClip* holder = loads.placeClip(player.root(), 0, 30000, QStringLiteral("h")))
        loads.loadIntoClip(*holder, *movie, neighbour);
    for (int i = 0; i < 24; ++i) {
        runner.step();
        touch(player.root().displayList(), 0);
        for (const auto& o : player.root().displayList().objects()) {
            if (o->button())
                player.setButtonState(*o->button(), swf::ButtonState(i % 3));
        }
        if (i % 8 == 0) // the mouse over the stage, where buttons are
            runner.mouseMove(QPointF(10 * i, 5 * i));
    }
    runner.gotoFrame(std::int64_t(runner.frameCount()) / 2);
    runner.back();
    runner.forward();
    runner.gotoFrame(-7);
    runner.gotoFrame(INT64_MAX);
    runner.gotoFrame(0);
    touch(player.root().displayList(), 0);
    runner.picture(QSize(64, 48));
    loads.unloadLevel(1);
    return 0;
}
