// Runs random bytes as the ABC of a movie's DoABC tag: the first byte chooses between a block
// used as it is and the ABC of a small valid program with bytes overwritten by the input (so
// that execution, not only parsing, is reached). The movie plays three frames under a short time
// budget and a small object cap.

#include "swf/avm2/runtime.h"
#include "swf/movie.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

void tag(std::vector<std::uint8_t>& out, int code, const std::vector<std::uint8_t>& body) {
    auto u16 = [&](unsigned v) {
        out.push_back(std::uint8_t(v));
        out.push_back(std::uint8_t(v >> 8));
    };
    u16(unsigned(code << 6) | 0x3F);
    const auto n = std::uint32_t(body.size());
    for (int i = 0; i < 4; ++i)
        out.push_back(std::uint8_t(n >> (8 * i)));
    out.insert(out.end(), body.begin(), body.end());
}

// A block whose entry script traces, loops a little, throws and catches, builds an array and
// a class-free object: a base that mutations turn into many different programs.
const std::vector<std::uint8_t> kSeed = {
    0x10, 0x00, 0x2E, 0x00,                               // version 46.16
    0x03, 0x05, 0xF9, 0xFF, 0xFF, 0xFF, 0x0F,             // ints: 5, -7
    0x00,                                                 // uints
    0x02, 0x9A, 0x99, 0x99, 0x99, 0x99, 0x99, 0xB9, 0x3F, // doubles: 0.1
    0x05, 0x00, 0x05, 't',  'r',  'a',  'c',  'e',  0x01, 'x',  0x04, 'p', 'u', 's', 'h', // strings
    0x02, 0x16, 0x01,                                           // namespaces: public ""
    0x00,                                                       // ns sets
    0x04, 0x07, 0x01, 0x02, 0x07, 0x01, 0x03, 0x07, 0x01, 0x04, // multinames
    0x01, 0x00, 0x00, 0x00, 0x00,                               // one method
    0x00, 0x00,                                                 // metadata, classes
    0x01, 0x00, 0x00,                                           // one script
    0x01, 0x00, 0x10, 0x04, 0x00, 0x04,                         // body sizes
    0x1A,                                                       // code length 26
    0xD0, 0x30,                                                 // getlocal0 pushscope
    0x5D, 0x01, 0x2D, 0x01, 0x2D, 0x02, 0xA2, 0x4F, 0x01, 0x01, // trace(5 * -7)
    0x2C, 0x03, 0x03,                                           // throw "x"
    0xD0, 0x30, 0x56, 0x00, 0x2F, 0x01, 0x4F, 0x03, 0x01,       // [].push(0.1)
    0x09, 0x47,                                                 // label returnvoid
    0x01, 0x0C, 0x0F, 0x0F, 0x00, 0x00,                         // handler 12..15 -> 15
    0x00,                                                       // traits
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1)
        return 0;
    std::vector<std::uint8_t> abc;
    if (data[0] & 1) {
        abc.assign(data + 1, data + size);
    } else {
        // Pairs of (offset, byte) overwrite the seed.
        abc = kSeed;
        for (std::size_t i = 1; i + 1 < size; i += 2)
            abc[data[i] % abc.size()] = data[i + 1];
    }
    std::vector<std::uint8_t> tags;
    tag(tags, 69, {0x08, 0, 0, 0});
    std::vector<std::uint8_t> doAbc = {0, 0, 0, 0, 0};
    doAbc.insert(doAbc.end(), abc.begin(), abc.end());
    tag(tags, 82, doAbc);
    tag(tags, 1, {});
    tag(tags, 1, {});
    tag(tags, 0, {});
    // Header: an empty stage rectangle (5 bits), 12 frames a second, two frames.
    std::vector<std::uint8_t> file = {'F', 'W', 'S', 10, 0, 0, 0, 0, 0x00, 0x00, 0x0C, 0x02, 0x00};
    file.insert(file.end(), tags.begin(), tags.end());
    const auto n = std::uint32_t(file.size());
    for (int i = 0; i < 4; ++i)
        file[4 + std::size_t(i)] = std::uint8_t(n >> (8 * i));
    auto movie = swf::Movie::load(file);
    if (!movie)
        return 0;
    swf::avm2::RuntimeOptions options;
    options.limits.timeBudget = std::chrono::milliseconds(100);
    options.limits.maxObjects = 100000;
    // FUZZ_AVM2_VERBOSE shows what an input does when replaying it by hand.
    static const bool verbose = std::getenv("FUZZ_AVM2_VERBOSE");
    options.trace = [](const QString& l) {
        if (verbose)
            std::fprintf(stderr, "trace: %s\n", l.toUtf8().constData());
    };
    options.error = [](const QString& l) {
        if (verbose)
            std::fprintf(stderr, "error: %s\n", l.toUtf8().constData());
    };
    double now = 0;
    options.clock = [&now] { return now; };
    swf::avm2::Runtime runtime(*movie, options);
    runtime.start();
    for (int i = 0; i < 2; ++i) {
        now += 100;
        runtime.advanceFrame();
    }
    return 0;
}
