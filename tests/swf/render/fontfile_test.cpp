// DefineFont4: fonts carried as OpenType files, read with every length checked, drawn through
// Qt in edit texts that embed them, and left to the device font when Qt cannot read them.

#include "guiapp.h"
#include "swf/movie.h"
#include "swf/render/edittext.h"
#include "swf/render/fontfile.h"
#include "swf_writer.h"
#include "testenv.h"

#include <gtest/gtest.h>

namespace {

using swftest::Bytes;

Bytes font4(std::uint16_t id, std::uint8_t flags, const std::string& name, const Bytes& data) {
    swftest::Writer w;
    w.u16(id).u8(flags).str(name);
    for (std::uint8_t b : data)
        w.u8(b);
    return swftest::tag(91, w, true);
}

const swf::Font* firstFontFile(const swf::Movie& m) {
    for (const auto& [id, c] : m.dictionary.all())
        if (c->type == swf::CharacterType::Font &&
            !static_cast<const swf::Font*>(c.get())->fontData.isEmpty())
            return static_cast<const swf::Font*>(c.get());
    return nullptr;
}

// A field of the given font face drawing `text` with embedded outlines, 20 pixels (400 twips).
swf::render::EditTextLayout layoutIn(const swf::Movie& m, const QString& face,
                                     const QString& text) {
    swf::EditText e;
    e.bounds = swf::Rect{0, 8000, 0, 2000};
    e.fontHeight = 400;
    e.hasLayout = true;
    e.useOutlines = true;
    e.html = true;
    return swf::render::layoutEditText(
        e,
        QStringLiteral("<font face=\"%1\" size=\"20\">%2</font>").arg(face, text.toHtmlEscaped()),
        true, swf::render::fontsIn(m.dictionary));
}

TEST(FontFile, TagsAreReadWithTheirLengthsChecked) {
    const Bytes junk = {'n', 'o', 't', ' ', 'a', ' ', 'f', 'o', 'n', 't'};
    auto movie = swf::Movie::load(swftest::movie(swftest::concat(
        {font4(1, 0x05, "Cff", junk), font4(2, 0x02, "NoData", junk),
         // Cut short: an id and nothing else is no font.
         swftest::tag(91, Bytes{3, 0}, true), swftest::showFrame(), swftest::end()})));
    ASSERT_TRUE(movie);
    const auto* cff = (*movie)->dictionary.findAs<swf::Font>(1);
    ASSERT_NE(cff, nullptr);
    EXPECT_EQ(cff->name, "Cff");
    EXPECT_TRUE(cff->bold);
    EXPECT_FALSE(cff->italic);
    EXPECT_EQ(cff->fontData.size(), 10);
    EXPECT_TRUE(cff->glyphs.empty());
    // Without the HasFontData flag the bytes after the name are not a font.
    const auto* bare = (*movie)->dictionary.findAs<swf::Font>(2);
    ASSERT_NE(bare, nullptr);
    EXPECT_TRUE(bare->italic);
    EXPECT_TRUE(bare->fontData.isEmpty());
    EXPECT_EQ((*movie)->dictionary.findAs<swf::Font>(3), nullptr);

    // A file Qt cannot read: the text falls back to the device font and is still drawn.
    ensureGuiApplication();
    EXPECT_FALSE(swf::render::fontFileAt(*cff, 240));
    EXPECT_FALSE(swf::render::fontFileHasGlyphs(*cff, "A"));
    const auto l = layoutIn(**movie, "Cff", "Hello");
    ASSERT_EQ(l.lines.size(), 1u);
    ASSERT_FALSE(l.lines[0].runs.empty());
    EXPECT_FALSE(l.lines[0].runs[0].embedded);
    EXPECT_FALSE(l.lines[0].runs[0].path.isEmpty());
    EXPECT_GT(l.lines[0].width, 0);
}

TEST(FontFile, AnEmbeddedCffFontDrawsTheTextWithItsOwnOutlines) {
    REELWICK_NEED_CORPUS();
    ensureGuiApplication();
    auto movie = swf::Movie::loadFile(
        testenv::corpusPath("jpexs-testdata/as3_embed/bin/as3_embed_classes.air.swf"));
    ASSERT_TRUE(movie);
    const swf::Font* carried = firstFontFile(**movie);
    ASSERT_NE(carried, nullptr);
    EXPECT_FALSE(carried->name.isEmpty());
    // That movie also has a DefineFont3 of the same name, which text fields rightly prefer:
    // the file goes into a movie of its own, under a name no other font has.
    const Bytes file(carried->fontData.begin(), carried->fontData.end());
    auto own = swf::Movie::load(swftest::movie(
        swftest::concat({font4(1, 0x04, "CffOnly", file), swftest::showFrame(), swftest::end()})));
    ASSERT_TRUE(own);
    movie = std::move(own);
    const swf::Font* font = firstFontFile(**movie);
    ASSERT_NE(font, nullptr);
    EXPECT_EQ(font->name, "CffOnly");
    const auto raw = swf::render::fontFileAt(*font, 400);
    ASSERT_TRUE(raw);
    EXPECT_TRUE(raw->isValid());
    // Sized in twips: a 20-pixel font is about 400 twips from ascent to descent.
    EXPECT_GT(raw->ascent() + raw->descent(), 250);
    EXPECT_LT(raw->ascent() + raw->descent(), 700);

    // Movies embed a subset: draw the first few characters the file has.
    QString text;
    for (char32_t c = 0x21; c < 0x3000 && text.size() < 3; ++c)
        if (raw->supportsCharacter(c))
            text += QString::fromUcs4(&c, 1);
    ASSERT_FALSE(text.isEmpty());
    EXPECT_TRUE(swf::render::fontFileHasGlyphs(*font, text));
    const auto l = layoutIn(**movie, font->name, text);
    ASSERT_EQ(l.lines.size(), 1u);
    const auto& line = l.lines[0];
    ASSERT_EQ(line.runs.size(), 1u);
    EXPECT_TRUE(line.runs[0].embedded);
    // The glyphs are the file's own, at the pen positions the layout gives.
    QPainterPath expected;
    double pen = line.stops[0];
    const QList<quint32> glyphs = raw->glyphIndexesForString(text);
    const QList<QPointF> advances = raw->advancesForGlyphIndexes(glyphs);
    for (qsizetype i = 0; i < glyphs.size(); ++i) {
        expected.addPath(
            QTransform::fromTranslate(pen, line.baseline).map(raw->pathForGlyph(glyphs[i])));
        pen += advances[i].x();
    }
    EXPECT_FALSE(expected.isEmpty());
    EXPECT_EQ(line.runs[0].path.boundingRect().toAlignedRect(),
              expected.boundingRect().toAlignedRect());
    EXPECT_NEAR(line.stops.back(), pen, 1);
    // A character the file has no glyph for takes no room and draws nothing.
    char32_t missing = 0x21;
    while (missing < 0x3000 && raw->supportsCharacter(missing))
        ++missing;
    const auto more = layoutIn(**movie, font->name, text + QString::fromUcs4(&missing, 1));
    ASSERT_EQ(more.lines.size(), 1u);
    EXPECT_NEAR(more.lines[0].stops.back(), pen, 1);
    EXPECT_EQ(more.lines[0].runs[0].path.boundingRect(), line.runs[0].path.boundingRect());
}

} // namespace
