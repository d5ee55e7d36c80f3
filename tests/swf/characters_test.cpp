// Bitmaps, fonts, texts, edit texts, button actions and sounds as the dictionary keeps them.

#include "swf/movie.h"
#include "swf_writer.h"

#include <QBuffer>
#include <QImage>
#include <gtest/gtest.h>
#include <zlib.h>

using swftest::Bytes;
using swftest::concat;
using swftest::Records;
using swftest::Writer;
constexpr std::int32_t K = Records::kKeep;

namespace {

std::shared_ptr<const swf::Movie> load(const Bytes& tags, std::uint8_t version = 10) {
    auto m = swf::Movie::load(
        swftest::movie(concat({tags, swftest::showFrame(), swftest::end()}), 1, version));
    EXPECT_TRUE(m.ok());
    return m.ok() ? *m : nullptr;
}

Bytes zlib(const Bytes& raw) {
    Bytes z(compressBound(raw.size()));
    uLongf n = z.size();
    compress(z.data(), &n, raw.data(), raw.size());
    z.resize(n);
    return z;
}

Bytes jpegOf(const QImage& image) {
    QByteArray out;
    QBuffer buffer(&out);
    buffer.open(QIODevice::WriteOnly);
    EXPECT_TRUE(image.save(&buffer, "JPEG", 95));
    return Bytes(out.begin(), out.end());
}

const swf::Bitmap* bitmap(const swf::Movie& m, std::uint16_t id) {
    return m.dictionary.findAs<swf::Bitmap>(id);
}

} // namespace

TEST(Bitmap, LosslessFormats) {
    // 3 x 2 palette image, rows padded to 4 bytes; index 5 is past the palette.
    Bytes palette{255, 0, 0, 0, 255, 0};
    Bytes pal = concat({palette, Bytes{0, 1, 0, 0, 1, 5, 1, 0}});
    // 2 x 1 15-bit image: pure red, pure blue (big-endian words), padded to 4 bytes.
    Bytes rgb15{0x7C, 0x00, 0x00, 0x1F};
    // 1 x 1 ARGB with premultiplied colour, for Lossless2.
    Bytes argb{128, 64, 0, 0};
    auto lossless = [](std::uint16_t code, std::uint16_t id, std::uint8_t format, std::uint16_t w,
                       std::uint16_t h, int paletteSize, const Bytes& px) {
        Writer t;
        t.u16(id).u8(format).u16(w).u16(h);
        if (paletteSize)
            t.u8(std::uint8_t(paletteSize - 1));
        return swftest::tag(code, t.bytes(zlib(px)), true);
    };
    Bytes palette2{255, 0, 0, 128};
    auto movie = load(concat({
        lossless(20, 1, 3, 3, 2, 2, pal), lossless(20, 2, 4, 2, 1, 0, rgb15),
        lossless(36, 3, 5, 1, 1, 0, argb),
        lossless(36, 4, 3, 1, 1, 1, concat({palette2, Bytes{0, 0, 0, 0}})),
        lossless(20, 5, 5, 4, 4, 0, Bytes{0, 1, 2, 3}), // data for one pixel of sixteen
    }));
    const QImage& a = bitmap(*movie, 1)->image();
    ASSERT_EQ(a.size(), QSize(3, 2));
    EXPECT_EQ(a.pixel(0, 0), 0xFFFF0000u);
    EXPECT_EQ(a.pixel(1, 0), 0xFF00FF00u);
    EXPECT_EQ(a.pixel(1, 1), 0xFF000000u); // bad index: black, not a crash
    const QImage& b = bitmap(*movie, 2)->image();
    EXPECT_EQ(b.pixel(0, 0), 0xFFFF0000u);
    EXPECT_EQ(b.pixel(1, 0), 0xFF0000FFu);
    const QImage& c = bitmap(*movie, 3)->image();
    EXPECT_EQ(c.format(), QImage::Format_ARGB32_Premultiplied);
    EXPECT_EQ(c.pixel(0, 0), 0x80400000u); // kept premultiplied
    const QImage& d = bitmap(*movie, 4)->image();
    EXPECT_EQ(qAlpha(d.pixel(0, 0)), 128);
    EXPECT_EQ(qRed(qUnpremultiply(d.pixel(0, 0))), 255); // straight alpha in the palette
    const QImage& e = bitmap(*movie, 5)->image();
    ASSERT_EQ(e.size(), QSize(4, 4));
    EXPECT_EQ(e.pixel(0, 0), 0xFF010203u);
    EXPECT_EQ(e.pixel(3, 3), 0xFF000000u); // missing data stays empty
}

TEST(Bitmap, JpegFamilyWithTablesAndAlpha) {
    QImage source(8, 8, QImage::Format_RGB32);
    source.fill(QColor(0, 0, 255));
    const Bytes jpeg = jpegOf(source);
    // DefineBits: JPEGTables as its own SOI..EOI stream and the image data behind it, the way
    // old writers split them; the EOI+SOI seam must go.
    const Bytes tables{0xFF, 0xD8, 0xFF, 0xD9};
    Bytes alpha(64, 0x40);
    Writer j3;
    j3.u16(3).u32(std::uint32_t(jpeg.size())).bytes(jpeg).bytes(zlib(alpha));
    Writer j2;
    j2.u16(2).bytes(concat({Bytes{0xFF, 0xD9, 0xFF, 0xD8}, jpeg})); // bogus leading EOI+SOI
    auto movie = load(concat({
        swftest::tag(8, tables), swftest::tag(6, Writer().u16(1).bytes(jpeg)), swftest::tag(21, j2),
        swftest::tag(35, j3),
        swftest::tag(21, Writer().u16(4).bytes(Bytes{1, 2, 3, 4})), // not an image
    }));
    for (std::uint16_t id : {1, 2, 3}) {
        SCOPED_TRACE(id);
        const QImage& img = bitmap(*movie, id)->image();
        ASSERT_EQ(img.size(), QSize(8, 8));
        EXPECT_GT(qBlue(qUnpremultiply(img.pixel(4, 4))), 200);
    }
    EXPECT_EQ(qAlpha(bitmap(*movie, 3)->image().pixel(2, 2)), 0x40);
    EXPECT_TRUE(bitmap(*movie, 4)->image().isNull());
}

TEST(Bitmap, OversizedImagesAreRefused) {
    Writer t;
    t.u16(1).u8(5).u16(20000).u16(20000).bytes(zlib(Bytes(16, 0)));
    auto movie = load(swftest::tag(20, t, true));
    EXPECT_TRUE(bitmap(*movie, 1)->image().isNull());
}

TEST(Font, DefineFont2WithCodesLayoutAndKerning) {
    Writer glyph;
    {
        Records r(glyph, 1, 0);
        r.style(K, 1, K, true, 0, -500).hline(400).vline(500).hline(-400).vline(-500);
        r.end();
    }
    Writer f;
    f.u16(5).u8(0x80 | 0x04 | 0x01).u8(1).u8(4).bytes(Bytes{'S', 'a', 'n', 's'}).u16(2);
    // Offsets count from the start of the offset table: two UI16 offsets, then the code table
    // offset, then the glyphs.
    const std::uint16_t first = 6;
    f.u16(first).u16(std::uint16_t(first + glyph.size()));
    f.u16(std::uint16_t(first + 2 * glyph.size()));
    f.bytes(glyph.data()).bytes(glyph.data());
    f.u16('A').u16(0x4E2D);      // codes, wide
    f.u16(900).u16(200).u16(50); // ascent, descent, leading
    f.u16(512).u16(600);         // advances
    f.rect(0, 400, -500, 0).rect(0, 400, -500, 0);
    f.u16(1).u16('A').u16(0x4E2D).u16(std::uint16_t(-30)); // one kerning pair
    auto movie = load(swftest::tag(48, f));
    const auto* font = movie->dictionary.findAs<swf::Font>(5);
    ASSERT_TRUE(font);
    EXPECT_EQ(font->name, "Sans");
    EXPECT_TRUE(font->bold);
    ASSERT_EQ(font->glyphs.size(), 2u);
    EXPECT_EQ(font->glyphForCode(0x4E2D), 1);
    EXPECT_EQ(font->glyphForCode('B'), -1);
    EXPECT_EQ(font->glyphs[1].advance, 600);
    EXPECT_EQ(font->ascent, 900);
    ASSERT_EQ(font->kerning.size(), 1u);
    EXPECT_EQ(font->kerning[0].adjustment, -30);
    EXPECT_TRUE(font->glyphPath(0).contains(QPointF(200, -250)));
    EXPECT_TRUE(font->glyphPath(7).isEmpty());
    EXPECT_DOUBLE_EQ(font->emSize, 1024);
}

TEST(Font, DefineFontWithInfoAndStaticText) {
    Writer glyph;
    {
        Records r(glyph, 1, 0);
        r.style(K, 1, K, true, 0, 0).hline(100).vline(-100).hline(-100).vline(100);
        r.end();
    }
    Writer font;
    font.u16(2).u16(2).bytes(glyph.data()); // one glyph, found by its offset
    Writer info;
    info.u16(2).u8(4).bytes(Bytes{0xCB, 0xCE, 0xCC, 0xE5}).u8(0x04).u8('x'); // GB name, italic
    Writer text;
    text.u16(3).rect(0, 1000, 0, 1000).matrix().u8(1).u8(8);
    // Record 1: font, colour, x and y, height, two glyphs.
    text.u8(0x80 | 0x08 | 0x04 | 0x02 | 0x01).u16(2).rgb(1, 2, 3).u16(100).u16(200).u16(240);
    text.u8(2).ub(0, 1).sb(50, 8).ub(0, 1).sb(60, 8).align();
    // Record 2: only a new y; x continues after the advances.
    text.u8(0x80 | 0x02).u16(500).u8(1).ub(0, 1).sb(10, 8).align();
    text.u8(0);
    auto movie =
        load(concat({swftest::tag(10, font), swftest::tag(13, info), swftest::tag(11, text)}), 5);
    const auto* f = movie->dictionary.findAs<swf::Font>(2);
    ASSERT_TRUE(f);
    EXPECT_EQ(f->name, QString::fromUtf8("宋体"));
    EXPECT_TRUE(f->italic);
    ASSERT_EQ(f->glyphs.size(), 1u);
    EXPECT_EQ(f->glyphs[0].code, 'x');
    EXPECT_FALSE(f->glyphPath(0).isEmpty());
    const auto* t = movie->dictionary.findAs<swf::StaticText>(3);
    ASSERT_TRUE(t);
    ASSERT_EQ(t->runs.size(), 2u);
    EXPECT_EQ(t->runs[0].font, f);
    EXPECT_EQ(t->runs[0].height, 240);
    EXPECT_EQ(t->runs[0].glyphs[1].advance, 60);
    EXPECT_EQ(t->runs[1].x, 210);
    EXPECT_EQ(t->runs[1].y, 500);
    EXPECT_EQ(t->runs[1].color, (swf::Rgba{1, 2, 3, 255}));
    EXPECT_EQ(t->runs[1].height, 240);
}

// Advances may be any 32-bit numbers; their sum holds the pen at the end of its range rather
// than overflowing (which UBSan reported, on an input found by fuzzing).
TEST(Font, HugeAdvancesHoldThePenInRange) {
    Writer text;
    text.u16(3).rect(0, 1000, 0, 1000).matrix().u8(1).u8(32);
    text.u8(0x80 | 0x01).u16(std::uint16_t(30000)).u8(3);
    for (int i = 0; i < 3; ++i)
        text.ub(0, 1).sb(INT32_MAX, 32);
    text.align();
    text.u8(0x80 | 0x02).u16(10).u8(2).ub(0, 1).sb(INT32_MIN, 32).ub(0, 1).sb(INT32_MIN, 32);
    text.align();
    text.u8(0x80 | 0x02).u16(20).u8(0);
    text.u8(0);
    auto movie = load(swftest::tag(11, text));
    const auto* t = movie->dictionary.findAs<swf::StaticText>(3);
    ASSERT_TRUE(t);
    ASSERT_EQ(t->runs.size(), 3u);
    EXPECT_EQ(t->runs[1].x, INT32_MAX);
    EXPECT_EQ(t->runs[2].x, INT32_MIN);
}

TEST(EditText, InitialTextAndFormatting) {
    Writer e;
    e.u16(9).rect(0, 2000, 0, 400);
    e.u8(0x80 | 0x20 | 0x04 | 0x02 | 0x01).u8(0x20 | 0x02 | 0x01);
    e.u16(77).u16(240).rgba(10, 20, 30, 255).u16(12);
    e.u8(2).u16(40).u16(50).u16(60).u16(std::uint16_t(-5));
    e.str("_root.score").str("<p align=\"center\">Hi</p>");
    auto movie = load(swftest::tag(37, e));
    const auto* t = movie->dictionary.findAs<swf::EditText>(9);
    ASSERT_TRUE(t);
    EXPECT_TRUE(t->multiline);
    EXPECT_TRUE(t->html);
    EXPECT_TRUE(t->useOutlines);
    EXPECT_EQ(t->fontId, 77);
    EXPECT_FALSE(t->font); // not defined
    EXPECT_EQ(t->fontHeight, 240);
    EXPECT_EQ(t->textColor, (swf::Rgba{10, 20, 30, 255}));
    EXPECT_EQ(t->maxLength, 12);
    EXPECT_EQ(t->align, swf::TextAlign::Center);
    EXPECT_EQ(t->leading, -5);
    EXPECT_EQ(t->variableName, "_root.score");
    EXPECT_EQ(t->initialText, "<p align=\"center\">Hi</p>");
}

TEST(Button, ActionsColourTransformAndSounds) {
    Writer b1;
    b1.u16(1).u8(0x0F).u16(5).u16(1).matrix().u8(0).u8(0x07).u8(0); // record, end, Stop action
    Writer b2;
    b2.u16(2).u8(1);
    const std::size_t offsetField = b2.size();
    b2.u16(0); // patched below
    b2.u8(0x01).u16(5).u16(1).matrix().cxform(true, {}, {}).u8(0);
    const std::size_t actionsAt = b2.size();
    b2.u16(6).u8(0x04).u8(0x00).u8(0x06).u8(0x00);          // press: Play
    b2.u16(0).u8(0x00).u8((13 << 1) | 1).u8(0x07).u8(0x00); // enter key or drag out: Stop
    Bytes body = b2.data();
    const std::size_t offset = actionsAt - offsetField;
    body[offsetField] = std::uint8_t(offset);
    Writer cx;
    cx.u16(1).cxform(false, {}, {50, 0, 0});
    Writer snd;
    snd.u16(1).u16(0).u16(9).u8(0x04).u16(3).u16(0).u16(0);
    auto movie = load(concat({swftest::tag(7, b1), swftest::tag(34, body), swftest::tag(23, cx),
                              swftest::tag(17, snd)}));
    const auto* one = movie->dictionary.findAs<swf::Button>(1);
    ASSERT_TRUE(one);
    ASSERT_EQ(one->records.size(), 1u);
    EXPECT_EQ(one->records[0].states, 0x0F);
    EXPECT_EQ(one->records[0].colorTransform.redAdd, 50);
    ASSERT_EQ(one->actions.size(), 1u);
    EXPECT_EQ(one->actions[0].conditions, swf::CondOverDownToOverUp);
    EXPECT_EQ(one->actions[0].actions[0], 0x07);
    EXPECT_EQ(one->sounds[1].soundId, 9);
    EXPECT_EQ(one->sounds[1].info.loopCount, 3);
    const auto* two = movie->dictionary.findAs<swf::Button>(2);
    ASSERT_TRUE(two);
    EXPECT_TRUE(two->trackAsMenu);
    ASSERT_EQ(two->actions.size(), 2u);
    EXPECT_EQ(two->actions[0].conditions, swf::CondOverUpToOverDown);
    EXPECT_EQ(two->actions[0].actions[0], 0x06);
    EXPECT_EQ(two->actions[1].keyCode, 13);
    EXPECT_EQ(two->actions[1].conditions, swf::CondOverDownToIdle);
    EXPECT_EQ(two->actions[1].actions[0], 0x07);
}

TEST(Sound, EventSoundsAndStreams) {
    Writer s;
    s.u16(4).ub(2, 4).ub(3, 2).ub(1, 1).ub(1, 1).u32(88200).u16(0).bytes(Bytes{0xFF, 0xFB});
    Writer head;
    head.u8(0x0F).ub(2, 4).ub(2, 2).ub(1, 1).ub(0, 1).u16(1152).u16(576);
    Writer start;
    start.u16(4).u8(0x08 | 0x04 | 0x01).u32(10).u16(2).u8(1).u32(0).u16(32768).u16(0);
    auto m = swf::Movie::load(swftest::movie(
        concat({swftest::tag(14, s), swftest::tag(45, head), swftest::tag(15, start),
                swftest::tag(19, Bytes{1, 2, 3}), swftest::showFrame(), swftest::end()})));
    ASSERT_TRUE(m.ok());
    const auto& movie = **m;
    const auto* sound = movie.dictionary.findAs<swf::Sound>(4);
    ASSERT_TRUE(sound);
    EXPECT_EQ(sound->format.codec, 2);
    EXPECT_EQ(sound->format.rate, 44100u);
    EXPECT_TRUE(sound->format.stereo);
    EXPECT_EQ(sound->sampleCount, 88200u);
    EXPECT_EQ(sound->data.size(), 4u);
    const swf::Frame& f = movie.timeline.frames.at(0);
    ASSERT_TRUE(f.streamHead);
    EXPECT_EQ(f.streamHead->stream.rate, 22050u);
    EXPECT_EQ(f.streamHead->sampleCount, 1152);
    EXPECT_EQ(f.streamHead->latencySeek, 576);
    ASSERT_EQ(f.sounds.size(), 1u);
    EXPECT_EQ(f.sounds[0].info.inPoint, 10u);
    EXPECT_EQ(f.sounds[0].info.loopCount, 2);
    ASSERT_EQ(f.sounds[0].info.envelope.size(), 1u);
    EXPECT_EQ(f.sounds[0].info.envelope[0].left, 32768);
    ASSERT_TRUE(f.streamBlock);
    EXPECT_EQ(f.streamBlock->size(), 3u);
}

// DefineBinaryData: the id, four reserved bytes, then the data; a tag too short for its header
// defines nothing, and a second definition of an id does not replace the first.
TEST(BinaryData, KeepsTheBytesAfterItsHeader) {
    const Bytes payload = {0x00, 0x01, 0xFF, 'R', 'w'};
    auto m = load(concat({swftest::tag(87, Writer().u16(5).u32(0).bytes(payload)),
                          swftest::tag(87, Writer().u16(6).u8(0).u8(0).u8(0)),
                          swftest::tag(87, Writer().u16(7).u32(0)),
                          swftest::tag(87, Writer().u16(5).u32(0).bytes({9, 9}))}));
    ASSERT_TRUE(m);
    ASSERT_EQ(m->binaryData.count(5), 1u);
    const auto& bytes = m->binaryData.at(5);
    EXPECT_EQ(Bytes(bytes.begin(), bytes.end()), payload);
    EXPECT_EQ(m->binaryData.count(6), 0u);
    ASSERT_EQ(m->binaryData.count(7), 1u); // empty data is still data
    EXPECT_TRUE(m->binaryData.at(7).empty());
}
