// Runs random action bytes as the frame script of a small movie that also holds a named
// sprite running the same bytes on enterFrame, then feeds it mouse and key input. The movie
// exports a short sound as "s" and plays through a sound engine, for the Sound object.

#include "swf/avm1/opcodes.h"
#include "swf/runner/movierunner.h"

#include <cstddef>
#include <cstdint>
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
    swf::MovieRunner runner(*movie, QStringLiteral("file:///fuzz/movie.swf"), options);
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
