// Bit and byte readers, the basic records and strings.

#include "swf/bytes.h"
#include "swf/types.h"
#include "swf_writer.h"

#include <gtest/gtest.h>

using swf::BitReader;
using swftest::Bytes;
using swftest::Writer;

TEST(BitReader, ReadsMostSignificantBitFirstAcrossBytes) {
    const Bytes data{0b1011'0011, 0b0100'0000, 0xFF};
    BitReader r(data);
    EXPECT_EQ(r.ub(3), 0b101u);
    EXPECT_EQ(r.ub(7), 0b1001101u); // crosses into the second byte
    EXPECT_EQ(r.ub(0), 0u);         // zero-width fields read nothing
    EXPECT_EQ(r.bytePos(), 2u);     // a partly read byte counts as used
    EXPECT_EQ(r.u8(), 0xFF);        // byte reads align first
    EXPECT_FALSE(r.failed());
}

TEST(BitReader, SignedFieldsAndFixedPoint) {
    Writer w;
    w.sb(-1, 1).sb(-5, 4).sb(5, 4).sb(-65536 * 3 / 2, 19).sb(INT32_MIN, 32);
    BitReader r(w.data());
    EXPECT_EQ(r.sb(1), -1);
    EXPECT_EQ(r.sb(4), -5);
    EXPECT_EQ(r.sb(4), 5);
    EXPECT_DOUBLE_EQ(r.fb(19), -1.5);
    EXPECT_EQ(r.sb(32), INT32_MIN);
    EXPECT_FALSE(r.failed());
}

TEST(BitReader, PastTheEndGivesZerosAndFailsOnce) {
    const Bytes data{0xFF};
    BitReader r(data);
    EXPECT_EQ(r.ub(6), 63u);
    EXPECT_EQ(r.ub(3), 0u); // only 2 bits left: nothing is consumed, zero is returned
    EXPECT_TRUE(r.failed());
    EXPECT_EQ(r.u32(), 0u);
    EXPECT_TRUE(r.bytes(1).empty());

    BitReader wide(data);
    EXPECT_EQ(wide.ub(33), 0u); // wider than any field the format has
    EXPECT_TRUE(wide.failed());

    const Bytes empty;
    BitReader e(empty);
    EXPECT_TRUE(e.cstring().empty());
    EXPECT_TRUE(e.failed());
}

TEST(BitReader, ByteAlignedTypes) {
    Writer w;
    w.u8(0x00)
        .u8(0x80)
        .u8(0x07)
        .u8(0x00) // FIXED 7.5
        .u8(0x80)
        .u8(0xFE) // FIXED8 -1.5
        .u8(0x00)
        .u8(0x3C) // FLOAT16 1.0
        .u8(0x00)
        .u8(0xC0) // FLOAT16 -2.0
        .u8(0x7F) // EncodedU32 127, one byte
        .u8(0xFF)
        .u8(0xFF)
        .u8(0xFF)
        .u8(0xFF)
        .u8(0x0F) // EncodedU32 0xFFFFFFFF, five bytes
        .u8(0x80)
        .u8(0x01);     // EncodedU32 128
    w.u32(0x3FC00000); // FLOAT 1.5
    BitReader r(w.data());
    EXPECT_DOUBLE_EQ(r.fixed(), 7.5);
    EXPECT_DOUBLE_EQ(r.fixed8(), -1.5);
    EXPECT_DOUBLE_EQ(r.float16(), 1.0);
    EXPECT_DOUBLE_EQ(r.float16(), -2.0);
    EXPECT_EQ(r.encodedU32(), 127u);
    EXPECT_EQ(r.encodedU32(), 0xFFFFFFFFu);
    EXPECT_EQ(r.encodedU32(), 128u);
    EXPECT_FLOAT_EQ(r.f32(), 1.5f);
    EXPECT_FALSE(r.failed());
}

TEST(BitReader, StringsEndAtZeroOrAtTheData) {
    const Bytes data{'a', 'b', 0, 'c', 'd'};
    BitReader r(data);
    auto first = r.cstring();
    EXPECT_EQ(std::string(first.begin(), first.end()), "ab");
    auto second = r.cstring(); // no terminator: the rest, without failing
    EXPECT_EQ(std::string(second.begin(), second.end()), "cd");
    EXPECT_FALSE(r.failed());
}

TEST(Records, RectMatrixAndColourTransforms) {
    Writer w;
    w.rect(-20, 11000, 5, 8000);
    w.matrix(2.0, 0.5, 0.25, -0.25, 100, -200);
    w.matrix(); // identity: no scale, no rotation, zero translation
    w.cxform(false, {128, 256, 512}, {10, -20, 30});
    w.cxform(true, {}, {1, 2, 3, -4});
    BitReader r(w.data());
    EXPECT_EQ(swf::readRect(r), (swf::Rect{-20, 11000, 5, 8000}));
    const QTransform m = swf::readMatrix(r);
    EXPECT_DOUBLE_EQ(m.m11(), 2.0);
    EXPECT_DOUBLE_EQ(m.m22(), 0.5);
    EXPECT_DOUBLE_EQ(m.m12(), 0.25);  // RotateSkew0
    EXPECT_DOUBLE_EQ(m.m21(), -0.25); // RotateSkew1
    EXPECT_DOUBLE_EQ(m.dx(), 100);
    EXPECT_DOUBLE_EQ(m.dy(), -200);
    EXPECT_TRUE(swf::readMatrix(r).isIdentity());
    const auto c = swf::readColorTransform(r, false);
    EXPECT_EQ(c.redMult, 128);
    EXPECT_EQ(c.blueMult, 512);
    EXPECT_EQ(c.alphaMult, 256); // absent in CXFORM
    EXPECT_EQ(c.greenAdd, -20);
    const auto ca = swf::readColorTransform(r, true);
    EXPECT_EQ(ca.redMult, 256);
    EXPECT_EQ(ca.alphaAdd, -4);
    EXPECT_FALSE(r.failed());
}

TEST(Records, ColourTransformAppliesAndComposes) {
    swf::ColorTransform half;
    half.redMult = half.greenMult = half.blueMult = half.alphaMult = 128;
    swf::ColorTransform brighten;
    brighten.redAdd = 200;
    brighten.alphaAdd = -10;
    EXPECT_EQ(half.apply({200, 100, 50, 255}), (swf::Rgba{100, 50, 25, 127}));
    EXPECT_EQ(brighten.apply({100, 0, 0, 5}), (swf::Rgba{255, 0, 0, 0})); // clamped both ways
    // Child first, then parent; composing must equal applying one after the other.
    const swf::Rgba c{20, 120, 180, 200};
    const auto composed = brighten.then(half);
    EXPECT_EQ(composed.apply(c), half.apply(brighten.apply(c)));
    EXPECT_EQ(composed.apply(c), (swf::Rgba{110, 60, 90, 95}));
    EXPECT_TRUE(swf::ColorTransform{}.isIdentity());
}

TEST(Strings, CodePageDependsOnVersion) {
    const Bytes gb{0xC4, 0xE3, 0xBA, 0xC3}; // "你好" in GB2312
    EXPECT_EQ(swf::decodeString(gb, 5), QString::fromUtf8("你好"));
    const Bytes utf8{0xE4, 0xBD, 0xA0, 0xE5, 0xA5, 0xBD, 0x00};
    EXPECT_EQ(swf::decodeString(utf8, 6), QString::fromUtf8("你好"));
    // Not UTF-8 in a version 6 movie: read bytewise rather than lose the text.
    const Bytes latin{'c', 'a', 'f', 0xE9};
    EXPECT_EQ(swf::decodeString(latin, 8), QString::fromUtf8("café"));
    const Bytes ascii{'h', 'i', 0};
    EXPECT_EQ(swf::decodeString(ascii, 4), QStringLiteral("hi"));
}
