// The ABC parser: encodings, pool edges, and refusal (never a crash) of damaged blocks.

#include "swf/avm2/abc.h"
#include "swf/avm2/abc_writer.h"
#include "swf/movie.h"
#include "testenv.h"

#include <QDirIterator>
#include <cmath>
#include <gtest/gtest.h>

using avm2test::AbcBytes;
using swf::avm2::Abc;
using swf::avm2::MnKind;
using swf::avm2::NsKind;

namespace {

std::vector<std::uint8_t> header() {
    return AbcBytes().u16(16).u16(46).b;
}

// A block with only the given pools section, then empty method/class/script tables and one
// script so that it is complete.
std::vector<std::uint8_t> withPools(const AbcBytes& pools) {
    AbcBytes a;
    a.raw(header()).raw(pools.b);
    a.u30(1).u30(0).u30(0).u30(0).u8(0); // one method
    a.u30(0).u30(0);                     // metadata, classes
    a.u30(1).u30(0).u30(0);              // script
    a.u30(0);                            // bodies
    return a.b;
}

TEST(AbcParser, VariableLengthIntegersAndPools) {
    AbcBytes p;
    // ints: 0, 127, 128, -1 (five bytes), 0x7FFFFFFF
    p.u30(6).u30(0).u30(127).u30(128).s32(-1).u30(0x7FFFFFFF);
    // uints: 0xFFFFFFFF, and a fifth byte with junk above bit 3 (only bits 28-31 count)
    p.u30(3).u30(0xFFFFFFFF).raw({0xFF, 0xFF, 0xFF, 0xFF, 0x7F});
    p.u30(2).d64(0.5);
    p.u30(3).str("a").str("\xE4\xB8\xAD\xF0\x9F\x98\x80\xFF"); // 中, an emoji, a bad byte
    p.u30(4).u8(0x05).u30(1).u8(0x05).u30(1).u8(0x16).u30(0);  // two privates "a", public ""
    p.u30(2).u30(2).u30(1).u30(3);                             // ns set {1, 3}
    p.u30(5);
    p.u8(0x07).u30(3).u30(1);        // QName(public, "a")
    p.u8(0x09).u30(1).u30(1);        // Multiname("a", {1,3})
    p.u8(0x1B).u30(1);               // MultinameL
    p.u8(0x1D).u30(1).u30(1).u30(0); // TypeName(mn1, [*])
    auto abc = Abc::parse(withPools(p));
    ASSERT_TRUE(abc) << abc.error().message;
    const Abc& a = **abc;
    EXPECT_EQ(a.ints, (std::vector<std::int32_t>{0, 0, 127, 128, -1, 0x7FFFFFFF}));
    EXPECT_EQ(a.uints, (std::vector<std::uint32_t>{0, 0xFFFFFFFF, 0xFFFFFFFF}));
    ASSERT_EQ(a.doubles.size(), 2u);
    EXPECT_TRUE(std::isnan(a.doubles[0]));
    EXPECT_EQ(a.doubles[1], 0.5);
    EXPECT_EQ(a.strings[2], QString::fromUtf8("\xE4\xB8\xAD\xF0\x9F\x98\x80") + QChar(0xFFFD));
    EXPECT_EQ(a.strings[2].size(), 4);
    EXPECT_NE(a.namespaces[1].privateId, a.namespaces[2].privateId);
    EXPECT_EQ(a.namespaces[3].kind, NsKind::Package);
    EXPECT_EQ(a.nsSets[1], (std::vector<std::uint32_t>{1, 3}));
    EXPECT_EQ(a.multinames[4].kind, MnKind::TypeName);
    EXPECT_EQ(a.multinames[4].typeParams, (std::vector<std::uint32_t>{0}));
}

TEST(AbcParser, EmptyPoolsAndIndexZero) {
    AbcBytes p;
    p.u30(0).u30(1).u30(0).u30(0).u30(1).u30(0).u30(0); // counts 0 and 1 both mean none
    auto abc = Abc::parse(withPools(p));
    ASSERT_TRUE(abc) << abc.error().message;
    EXPECT_EQ((*abc)->ints.size(), 1u);
    EXPECT_EQ((*abc)->strings.size(), 1u);
    EXPECT_EQ((*abc)->multinames.size(), 1u);
}

TEST(AbcParser, RefusesBadIndicesKindsAndVersions) {
    struct Case {
        const char* what;
        std::vector<std::uint8_t> bytes;
    };
    auto pools = [](auto fill) {
        AbcBytes p;
        fill(p);
        return withPools(p);
    };
    std::vector<Case> cases = {
        {"major version", AbcBytes().u16(16).u16(45).b},
        {"string index past pool",
         pools([](AbcBytes& p) { p.u30(0).u30(0).u30(0).u30(2).str("x").u30(2).u8(0x16).u30(5); })},
        {"namespace kind",
         pools([](AbcBytes& p) { p.u30(0).u30(0).u30(0).u30(0).u30(2).u8(0x42).u30(0); })},
        {"ns set holding 0",
         pools([](AbcBytes& p) { p.u30(0).u30(0).u30(0).u30(0).u30(0).u30(2).u30(1).u30(0); })},
        {"multiname kind",
         pools([](AbcBytes& p) { p.u30(0).u30(0).u30(0).u30(0).u30(0).u30(0).u30(2).u8(0x33); })},
        {"multiname naming ns set 0", pools([](AbcBytes& p) {
             p.u30(0).u30(0).u30(0).u30(0).u30(0).u30(0).u30(2).u8(0x09).u30(0).u30(0);
         })},
        {"type name on a type name", pools([](AbcBytes& p) {
             p.u30(0).u30(0).u30(0).u30(0).u30(0).u30(0).u30(2).u8(0x1D).u30(1).u30(1).u30(0);
         })},
        {"type parameter past pool", pools([](AbcBytes& p) {
             p.u30(0).u30(0).u30(0).u30(2).str("V").u30(2).u8(0x16).u30(0).u30(0).u30(3);
             p.u8(0x07).u30(1).u30(1).u8(0x1D).u30(1).u30(1).u30(9);
         })},
        {"huge count", pools([](AbcBytes& p) { p.u30(0x3FFFFFFF); })},
        {"u30 out of range", pools([](AbcBytes& p) { p.u30(0xFFFFFFFF); })},
    };
    for (const auto& c : cases) {
        auto abc = Abc::parse(c.bytes);
        ASSERT_FALSE(abc) << c.what;
        EXPECT_FALSE(abc.error().message.empty()) << c.what;
    }
    EXPECT_EQ(Abc::parse(cases[0].bytes).error().message,
              "Not an ABC file. major_version=45 minor_version=16.");
}

TEST(AbcParser, MethodsBodiesAndHandlers) {
    avm2test::SimpleAbc s;
    s.code = {0xD0, 0x30, 0x47}; // getlocal0 pushscope returnvoid
    s.handlers = {{0, 2, 2, 0, 0}};
    auto abc = Abc::parse(s.build());
    ASSERT_TRUE(abc) << abc.error().message;
    const Abc& a = **abc;
    ASSERT_EQ(a.bodies.size(), 1u);
    EXPECT_EQ(a.methods[0].body, 0);
    EXPECT_EQ(a.bodies[0].code.size(), 3u);
    EXPECT_EQ(a.bodies[0].exceptions.size(), 1u);

    s.handlers = {{0, 9, 2, 0, 0}}; // past the end of the code
    EXPECT_FALSE(Abc::parse(s.build()));
    s.handlers = {{2, 1, 2, 0, 0}}; // from after to
    EXPECT_FALSE(Abc::parse(s.build()));
    s.handlers = {{0, 2, 2, 7, 0}}; // type names a multiname that is not there
    EXPECT_FALSE(Abc::parse(s.build()));
    s.handlers = {};
    s.maxStack = 1 << 20; // absurd frame sizes are refused before anything is allocated
    EXPECT_FALSE(Abc::parse(s.build()));
}

// Every prefix of a valid block is refused cleanly; every single-byte change either parses
// or is refused, and nothing reads outside the data (checked under the sanitizers).
TEST(AbcParser, TruncatedAndMutatedBlocks) {
    avm2test::SimpleAbc s;
    s.extraStrings = {"hello", "world"};
    s.ints = {-5, 70000};
    s.doubles = {1.5};
    s.code = {0xD0, 0x30, 0x5D, 0x01, 0x2C, 0x03, 0x4F, 0x01, 0x01, 0x47};
    const auto full = s.build();
    ASSERT_TRUE(Abc::parse(full));
    for (std::size_t n = 0; n < full.size(); ++n) {
        std::vector<std::uint8_t> cut(full.begin(), full.begin() + std::ptrdiff_t(n));
        EXPECT_FALSE(Abc::parse(cut)) << "cut at " << n;
    }
    for (std::size_t i = 0; i < full.size(); ++i) {
        for (std::uint8_t v : {0x00, 0x7F, 0x80, 0xFF}) {
            auto m = full;
            m[i] = v;
            (void)Abc::parse(m);
        }
    }
}

// The ABC of every AS3 movie in the corpus parses.
TEST(AbcParser, CorpusBlocks) {
    REELWICK_NEED_CORPUS();
    QDirIterator it(testenv::corpusDir(), {QStringLiteral("*.swf")}, QDir::Files,
                    QDirIterator::Subdirectories);
    int blocks = 0;
    while (it.hasNext()) {
        const QString path = it.next();
        auto movie = swf::Movie::loadFile(path);
        if (!movie)
            continue;
        for (const auto& b : (*movie)->abcBlocks) {
            auto abc = Abc::parse(b.data);
            EXPECT_TRUE(abc) << path.toStdString() << ": " << abc.error().message;
            ++blocks;
        }
    }
    EXPECT_GE(blocks, 40);
}

} // namespace
