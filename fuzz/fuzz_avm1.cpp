// Runs random action bytes as the frame script of a small movie that also holds a named
// sprite running the same bytes on enterFrame, then feeds it mouse and key input. The movie
// exports a short sound as "s" and plays through a sound engine, for the Sound object. Its
// folder holds the same random bytes as vars.txt, data.xml and part2.swf, which a fixed first
// script loads (LoadVars, XML, loadVariables, Sound.loadSound, loadMovie into a level and a
// clip) and keeps in a SharedObject.

#include "swf/avm1/opcodes.h"
#include "swf/runner/movierunner.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QUrl>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace {

void tag(std::vector<std::uint8_t>& out, int code, const std::vector<std::uint8_t>& body) {
    auto u16 = [&](unsigned v) {
        out.push_back(std::uint8_t(v));
        out.push_back(std::uint8_t(v >> 8));
    };
    if (body.size() < 63) {
        u16(unsigned(code << 6) | unsigned(body.size()));
    } else {
        u16(unsigned(code << 6) | 0x3F);
        const auto n = std::uint32_t(body.size());
        for (int i = 0; i < 4; ++i)
            out.push_back(std::uint8_t(n >> (8 * i)));
    }
    out.insert(out.end(), body.begin(), body.end());
}

std::vector<std::uint8_t> doAction(const std::uint8_t* data, std::size_t size) {
    std::vector<std::uint8_t> b(data, data + size);
    b.push_back(swf::avm1::op::End);
    return b;
}

// The loads of the neighbours, assembled by hand.
std::vector<std::uint8_t> loaderScript() {
    std::vector<std::uint8_t> b;
    auto str = [&](const char* s) {
        const std::size_t n = std::strlen(s) + 2;
        b.insert(b.end(), {0x96, std::uint8_t(n), std::uint8_t(n >> 8), 0});
        b.insert(b.end(), s, s + n - 1);
    };
    auto num = [&](std::uint8_t v) { b.insert(b.end(), {0x96, 5, 0, 7, v, 0, 0, 0}); };
    auto op = [&](std::uint8_t o) { b.push_back(o); };
    str("lv"), num(0), str("LoadVars"), op(0x40), op(0x1D);
    str("vars.txt"), num(1), str("lv"), op(0x1C), str("load"), op(0x52), op(0x17);
    str("x"), num(0), str("XML"), op(0x40), op(0x1D);
    str("x"), op(0x1C), str("ignoreWhite");
    b.insert(b.end(), {0x96, 2, 0, 5, 1});
    op(0x4F);
    str("data.xml"), num(1), str("x"), op(0x1C), str("load"), op(0x52), op(0x17);
    str("vars.txt"), str("_root");
    b.insert(b.end(), {0x9A, 1, 0, 0x80});
    str("so"), str("fuzz"), num(1), str("SharedObject"), op(0x1C), str("getLocal"), op(0x52),
        op(0x1D);
    str("so"), op(0x1C), str("data"), op(0x4E), str("v"), str("lv"), op(0x1C), op(0x4F);
    // new Sound().loadSound("data.xml", true): the same bytes as an MP3 file with tags.
    str("snd"), num(0), str("Sound"), op(0x40), op(0x1D);
    b.insert(b.end(), {0x96, 2, 0, 5, 1});
    str("data.xml"), num(2), str("snd"), op(0x1C), str("loadSound"), op(0x52), op(0x17);
    // loadMovieNum("part2.swf", 1) and loadMovie("part2.swf", "h") into a new empty clip, and
    // the same bytes again as a picture.
    str("part2.swf"), str("_level1");
    b.insert(b.end(), {0x9A, 1, 0, 0x00});
    num(1), str("h"), num(2), str("_root"), op(0x1C), str("createEmptyMovieClip"), op(0x52),
        op(0x17);
    str("part2.swf"), str("h");
    b.insert(b.end(), {0x9A, 1, 0, 0x40});
    str("data.xml"), str("_level2");
    b.insert(b.end(), {0x9A, 1, 0, 0x00});
    op(0);
    return b;
}

std::vector<std::uint8_t> buildMovie(std::uint8_t version, const std::uint8_t* a, std::size_t na,
                                     const std::uint8_t* b, std::size_t nb) {
    std::vector<std::uint8_t> tags;
    // Sound 2: 100 frames of 5.5 kHz 8-bit mono PCM, exported as "s".
    std::vector<std::uint8_t> sound = {2, 0, 0x00, 100, 0, 0, 0};
    sound.resize(sound.size() + 100, 0x90);
    tag(tags, 14, sound);
    tag(tags, 56, {1, 0, 2, 0, 's', 0});
    // Sprite 1: two frames, the second bytes as its first frame's script.
    std::vector<std::uint8_t> sprite = {1, 0, 2, 0};
    tag(sprite, 12, doAction(b, nb));
    tag(sprite, 1, {});
    tag(sprite, 1, {});
    tag(sprite, 0, {});
    tag(tags, 39, sprite);
    // Placed as "mc" with an enterFrame and a press handler running the first bytes.
    std::vector<std::uint8_t> place = {0xA2, 1, 0, 1, 0, 'm', 'c', 0, 0, 0, 0x03, 0x04, 0, 0};
    const std::vector<std::uint8_t> handler = doAction(a, na);
    place.insert(place.end(), {0x02, 0x04, 0, 0});
    const auto n = std::uint32_t(handler.size());
    for (int i = 0; i < 4; ++i)
        place.push_back(std::uint8_t(n >> (8 * i)));
    place.insert(place.end(), handler.begin(), handler.end());
    place.insert(place.end(), {0, 0, 0, 0});
    tag(tags, 26, place);
    tag(tags, 12, loaderScript());
    tag(tags, 12, doAction(a, na));
    tag(tags, 1, {});
    tag(tags, 12, doAction(b, nb));
    tag(tags, 1, {});
    tag(tags, 0, {});

    std::vector<std::uint8_t> out = {'F', 'W', 'S', version, 0, 0, 0, 0};
    // Stage 0..8000 twips both ways: nbits 14.
    out.insert(out.end(), {0x70, 0x00, 0x0F, 0xA0, 0x00, 0x00, 0xFA, 0x00});
    out.insert(out.end(), {0x00, 0x0C, 2, 0});
    out.insert(out.end(), tags.begin(), tags.end());
    const auto len = std::uint32_t(out.size());
    for (int i = 0; i < 4; ++i)
        out[4 + std::size_t(i)] = std::uint8_t(len >> (8 * i));
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1 || size > 65000)
        return 0;
    const std::uint8_t version = std::uint8_t(6 + data[0] % 5);
    const std::size_t half = (size - 1) / 2;
    const std::vector<std::uint8_t> file =
        buildMovie(version, data + 1, size - 1, data + 1 + half, size - 1 - half);
    auto movie = swf::Movie::load(file);
    if (!movie)
        return 0;
    // Through the movie runner, as the window and the exporter run movies, recording sound.
    swf::RunnerOptions options;
    options.sound = swf::RunnerOptions::Sound::Record;
    options.playerLimits.maxDisplayObjects = 2000;
    swf::avm1::Limits& limits = options.avm1Limits;
    limits.timeout = std::chrono::milliseconds(40);
    limits.maxObjects = 200000;
    limits.maxStack = 100000;
    limits.maxStringLength = 1 << 20;
    limits.maxArrayLength = 1 << 16;
    static QTemporaryDir folder;
    for (const char* name : {"vars.txt", "data.xml", "part2.swf"}) {
        QFile f(folder.filePath(QString::fromLatin1(name)));
        if (f.open(QIODevice::WriteOnly))
            f.write(reinterpret_cast<const char*>(data), qint64(size));
    }
    options.sharedObjectFolder = folder.filePath(QStringLiteral("shared-objects"));
    swf::MovieRunner runner(
        *movie, QUrl::fromLocalFile(folder.filePath(QStringLiteral("main.swf"))).toString(),
        options);
    runner.hooks().trace = [](const QString&) {};
    runner.hooks().warning = [](const QString&) {};
    runner.hooks().notice = [](const QString&) {};
    runner.hooks().fscommand = [&runner](const QString&, const QString&) {
        runner.viewResized(QSizeF(640, 480)); // as full screen would
    };
    runner.start();
    for (int i = 0; i < 4 && !runner.quitRequested(); ++i) {
        runner.mouseMove(QPointF(10 * i, 10 * i));
        runner.mouseDown();
        runner.mouseUp();
        runner.keyDown(37 + i, 0);
        runner.keyUp(37 + i, 0);
        runner.nextPicture();
    }
    runner.takeAudio();
    return 0;
}
