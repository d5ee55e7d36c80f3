// Runs random bytes as the ABC of a movie's DoABC tag. The first byte chooses: 0xA0 or 0xA1
// (AMF), the rest of the input is data that a fixed program reads with ByteArray.readObject in
// AMF3 (0xA0) or AMF0 (0xA1), writes each value back and reads that again. Otherwise, bit 0, a
// block used as it is or the ABC of a small valid program with bytes overwritten by the input (so
// that execution, not only parsing, is reached); bit 1, whether the block is preceded by a
// class name ending in a zero byte, which the movie's SymbolClass makes its document class, so
// that mutated programs built on the display classes (seeds: the Haxe flash programs) construct
// a stage, draw and take input. The movie plays through the movie runner, as the window plays
// it, for a few frames under a short time budget and a small object cap.
#include "swf/runner/movierunner.h"

#include <QGuiApplication>
#include <QtGlobal>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
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

void u30(std::vector<std::uint8_t>& out, std::uint32_t v) {
    do {
        out.push_back(std::uint8_t((v & 0x7F) | (v > 0x7F ? 0x80 : 0)));
        v >>= 7;
    } while (v);
}

// The ABC of a program that puts `data` into a ByteArray (a string of characters U+0000 to
// U+00FF, written a byte each), then reads values from it until it is used up or a read throws:
// each value is traced, written to a second ByteArray and read back from there.
std::vector<std::uint8_t> amfProgram(bool amf0, const std::uint8_t* data, std::size_t size) {
    std::vector<std::uint8_t> abc = {0x10, 0x00, 0x2E, 0x00, 0x00, 0x00, 0x00}; // no numbers
    const char* names[] = {"trace",      "",           "flash.utils", "ByteArray", "objectEncoding",
                           "writeByte",  "charCodeAt", "length",      "position",  "bytesAvailable",
                           "readObject", "writeObject"};
    u30(abc, 14); // strings 1..13, the data last
    for (const char* n : names) {
        u30(abc, std::uint32_t(std::strlen(n)));
        abc.insert(abc.end(), n, n + std::strlen(n));
    }
    std::vector<std::uint8_t> text;
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] < 0x80) {
            text.push_back(data[i]);
        } else {
            text.push_back(std::uint8_t(0xC0 | data[i] >> 6));
            text.push_back(std::uint8_t(0x80 | (data[i] & 0x3F)));
        }
    }
    u30(abc, std::uint32_t(text.size()));
    abc.insert(abc.end(), text.begin(), text.end());
    abc.insert(abc.end(), {0x03, 0x16, 0x02, 0x16, 0x03, // namespaces: "", flash.utils
                           0x00,                         // ns sets
                           0x0B,                         // multinames 1..10, QNames:
                           0x07, 0x01, 0x01,             // 1 trace
                           0x07, 0x02, 0x04,             // 2 flash.utils::ByteArray
                           0x07, 0x01, 0x05, 0x07, 0x01, 0x06, 0x07, 0x01, 0x07, 0x07,
                           0x01, 0x08, 0x07, 0x01, 0x09, 0x07, 0x01, 0x0A, 0x07, 0x01,
                           0x0B, 0x07, 0x01, 0x0C, 0x01, 0x00, 0x00, 0x00, 0x00, // one method
                           0x00, 0x00,                           // metadata, classes
                           0x01, 0x00, 0x00,                     // one script
                           0x01, 0x00, 0x05, 0x06, 0x00, 0x01}); // body: stack 5, locals 6
    const std::uint8_t enc = amf0 ? 0 : 3;
    const std::vector<std::uint8_t> code = {
        0xD0, 0x30,                                           // 0: getlocal0 pushscope
        0x5D, 0x02, 0x4A, 0x02, 0x00,                         // 2: new ByteArray
        0xD5, 0xD1, 0x24, enc,  0x61, 0x03,                   // 7: b = it; b.objectEncoding = enc
        0x2C, 0x0D, 0xD6, 0x24, 0x00, 0xD7,                   // 13: s = data; i = 0
        0xD3, 0xD2, 0x66, 0x06,                               // 19: while (i < s.length)
        0x18, 0x0F, 0x00, 0x00,                               // 23: ifge 42
        0xD1, 0xD2, 0xD3, 0x46, 0x05, 0x01, 0x4F, 0x04, 0x01, // 27: b.writeByte(s.charCodeAt(i))
        0xC2, 0x03, 0x10, 0xE9, 0xFF, 0xFF,                   // 36: i++; jump 19
        0xD1, 0x24, 0x00, 0x61, 0x07,                         // 42: b.position = 0
        0xD1, 0x66, 0x08, 0x24, 0x00,                         // 47: while (b.bytesAvailable > 0)
        0x0E, 0x2F, 0x00, 0x00,                               // 52: ifngt 103
        0xD1, 0x46, 0x09, 0x00, 0x63, 0x04,                   // 56: v = b.readObject()
        0x5D, 0x02, 0x4A, 0x02, 0x00, 0x63, 0x05,             // 62: c = new ByteArray
        0x62, 0x05, 0x24, enc,  0x61, 0x03,                   // 69: c.objectEncoding = enc
        0x62, 0x05, 0x62, 0x04, 0x4F, 0x0A, 0x01,             // 75: c.writeObject(v)
        0x62, 0x05, 0x24, 0x00, 0x61, 0x07,                   // 82: c.position = 0
        0x5D, 0x01, 0x62, 0x05, 0x46, 0x09, 0x00, 0x4F, 0x01, 0x01, // 88: trace(c.readObject())
        0x10, 0xC9, 0xFF, 0xFF,                                     // 98: jump 47
        0x29,                                                       // 102: (caught) pop
        0x47};                                                      // 103: returnvoid
    u30(abc, std::uint32_t(code.size()));
    abc.insert(abc.end(), code.begin(), code.end());
    abc.insert(abc.end(), {0x01, 56, 98, 102, 0x00, 0x00, // from 56 to 98, to 102, any type
                           0x00});                        // no traits
    return abc;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1)
        return 0;
    // FUZZ_AVM2_VERBOSE shows what an input does when replaying it by hand.
    static const bool verbose = std::getenv("FUZZ_AVM2_VERBOSE");
    static const bool quiet =
        verbose ||
        (qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {}), true);
    (void)quiet;
    // Text fields lay out with Qt's fonts, which need an application; none is shown.
    static int argc = 1;
    static char name[] = "fuzz_avm2";
    static char* argv[] = {name, nullptr};
    static const QGuiApplication* app = [] {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        return new QGuiApplication(argc, argv);
    }();
    (void)app;

    const std::uint8_t mode = data[0];
    const std::uint8_t* rest = data + 1;
    std::size_t restSize = size - 1;
    std::vector<std::uint8_t> className;
    if ((mode & 2) && mode != 0xA0 && mode != 0xA1) {
        const void* zero = std::memchr(rest, 0, std::min<std::size_t>(restSize, 256));
        if (!zero)
            return 0;
        const auto n = std::size_t(static_cast<const std::uint8_t*>(zero) - rest);
        className.assign(rest, rest + n);
        rest += n + 1;
        restSize -= n + 1;
    }
    std::vector<std::uint8_t> abc;
    if (mode == 0xA0 || mode == 0xA1) {
        abc = amfProgram(mode == 0xA1, data + 1, size - 1);
    } else if (mode & 1) {
        abc.assign(rest, rest + restSize);
    } else {
        // Pairs of (offset, byte) overwrite the seed.
        abc = kSeed;
        for (std::size_t i = 0; i + 1 < restSize; i += 2)
            abc[rest[i] % abc.size()] = rest[i + 1];
    }
    std::vector<std::uint8_t> tags;
    tag(tags, 69, {0x08, 0, 0, 0});
    std::vector<std::uint8_t> doAbc = {0, 0, 0, 0, 0};
    doAbc.insert(doAbc.end(), abc.begin(), abc.end());
    tag(tags, 82, doAbc);
    if (!className.empty()) {
        std::vector<std::uint8_t> symbols = {1, 0, 0, 0};
        symbols.insert(symbols.end(), className.begin(), className.end());
        symbols.push_back(0);
        tag(tags, 76, symbols);
    }
    tag(tags, 1, {});
    tag(tags, 1, {});
    tag(tags, 0, {});
    // Header: a 400 x 300 stage (15-bit fields: 0, 8000, 0, 6000 twips), 12 frames a second,
    // two frames.
    std::vector<std::uint8_t> file = {'F', 'W', 'S', 10, 0, 0, 0, 0};
    {
        std::vector<bool> bits;
        auto put = [&bits](unsigned v, int width) {
            for (int i = width - 1; i >= 0; --i)
                bits.push_back((v >> i) & 1);
        };
        put(15, 5);
        for (unsigned v : {0u, 8000u, 0u, 6000u})
            put(v, 15);
        std::vector<std::uint8_t> rect((bits.size() + 7) / 8, 0);
        for (std::size_t i = 0; i < bits.size(); ++i)
            rect[i / 8] |= std::uint8_t(bits[i] << (7 - i % 8));
        file.insert(file.end(), rect.begin(), rect.end());
    }
    file.insert(file.end(), {0x00, 0x0C, 0x02, 0x00});
    file.insert(file.end(), tags.begin(), tags.end());
    const auto n = std::uint32_t(file.size());
    for (int i = 0; i < 4; ++i)
        file[4 + std::size_t(i)] = std::uint8_t(n >> (8 * i));
    auto movie = swf::Movie::load(file);
    if (!movie)
        return 0;

    swf::RunnerOptions options;
    options.avm2Limits.timeBudget = std::chrono::milliseconds(100);
    options.avm2Limits.maxObjects = 100000;
    options.playerLimits.maxDisplayObjects = 5000;
    swf::MovieRunner runner(*movie, QStringLiteral("file:///fuzz/movie.swf"), options);
    auto say = [](const char* what) {
        return [what](const QString& l) {
            if (verbose)
                std::fprintf(stderr, "%s: %s\n", what, l.toUtf8().constData());
        };
    };
    runner.hooks().trace = say("trace");
    runner.hooks().warning = say("warning");
    runner.hooks().notice = say("notice");
    runner.hooks().fscommand = [&runner](const QString&, const QString&) {
        runner.viewResized(QSizeF(64, 48)); // as full screen would
    };
    runner.viewResized(QSizeF(400, 300));
    runner.start();
    // A click and a key on the stage: the bytes' last values place them, so they replay.
    const double x = double(data[size - 1]) * 400 / 256, y = double(data[size / 2]) * 300 / 256;
    for (int i = 0; i < 4 && !runner.quitRequested(); ++i) {
        if (i == 1) {
            runner.mouseMove(QPointF(x, y));
            runner.mouseDown();
            runner.mouseUp();
            runner.keyDown(65, 'a');
            runner.keyUp(65, 'a');
        }
        runner.nextPicture();
        if (i % 2 == 0)
            (void)runner.picture(QSize(40, 30));
    }
    (void)runner.takeChanges();
    return 0;
}
