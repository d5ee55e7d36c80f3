// Edit texts: the HTML subset made into styled paragraphs, and their layout in the field's box
// with embedded and device fonts.

#include "guiapp.h"
#include "swf/player.h"
#include "swf/render/edittext.h"
#include "swf/render/recordingcanvas.h"
#include "swf/render/renderer.h"
#include "swf/textfields.h"
#include "swf_writer.h"
#include "testenv.h"

#include <gtest/gtest.h>
#include <memory>

namespace {

using swf::render::layoutEditText;
using swf::render::ParagraphStyle;
using swf::render::parseHtmlText;
using swf::render::TextStyle;

const QString kCorpus = testenv::corpusDir();

std::vector<QString> texts(const swf::render::TextParagraph& p) {
    std::vector<QString> out;
    for (const auto& r : p.runs)
        out.push_back(r.text);
    return out;
}

std::vector<QString> lineTexts(const swf::render::EditTextLayout& l) {
    std::vector<QString> out;
    for (const auto& line : l.lines) {
        QString s;
        for (const auto& r : line.runs)
            s += r.text;
        out.push_back(s);
    }
    return out;
}

// An embedded font whose glyphs are all half an em wide: 200 twips at 400 twips high, ascent
// 300 and descent 100 at that size; 'a' then 'b' kerned by a quarter em.
std::unique_ptr<swf::Font> halfEmFont() {
    auto font = std::make_unique<swf::Font>();
    swf::Font& f = *font;
    f.name = QStringLiteral("Half");
    f.emSize = 1024;
    f.hasLayout = true;
    f.ascent = 768;
    f.descent = 256;
    for (char16_t c : u"abcdefghijklmnopqrstuvwxyz ABC-") {
        swf::Glyph g;
        g.code = c;
        g.advance = 512;
        f.glyphs.push_back(g);
    }
    f.kerning.push_back({'a', 'b', -256});
    return font;
}

// A field on it: 2000 twips of room for text between the 40-twip gutters.
std::unique_ptr<swf::EditText> field(const swf::Font* font) {
    auto field = std::make_unique<swf::EditText>();
    swf::EditText& e = *field;
    e.bounds = {0, 2080, 0, 4000};
    e.font = font;
    e.useOutlines = font != nullptr;
    e.fontHeight = 400;
    e.multiline = e.wordWrap = true;
    return field;
}

} // namespace

TEST(EditTextHtml, TagsEntitiesAndStylesBecomeParagraphsOfRuns) {
    TextStyle base;
    base.size = 240;
    const ParagraphStyle para;
    const auto ps = parseHtmlText(
        QStringLiteral(
            "<p align=\"center\"><font face=\"Arial\" size=\"20\" color=\"#FF0000\">Red "
            "<b>bold</b></font></p><p>x &lt;y&gt; &amp; &#65;&#x42; &quot;q&apos;</p>"
            "<FONT SIZE='+5'><i>big</i><u>under</u></FONT><unknown attr=1>k</unknown><br>next"
            "<li>item</li><textformat leftmargin=\"10\" indent=\"-5\" leading=\"4\" "
            "tabstops=\"100,50\"><p>t<tab/>f</p></textformat>"
            "<a href=\"http://x\" target=\"_blank\">link</a><font color=#00ff00 size=abc>rest"),
        base, para);
    ASSERT_EQ(ps.size(), 7u);

    EXPECT_EQ(ps[0].style.align, swf::TextAlign::Center);
    ASSERT_EQ(texts(ps[0]), (std::vector<QString>{"Red ", "bold"}));
    EXPECT_EQ(ps[0].runs[0].style.face, "Arial");
    EXPECT_EQ(ps[0].runs[0].style.size, 400);
    EXPECT_EQ(ps[0].runs[0].style.color, (swf::Rgba{255, 0, 0, 255}));
    EXPECT_FALSE(ps[0].runs[0].style.bold);
    EXPECT_TRUE(ps[0].runs[1].style.bold);
    EXPECT_EQ(ps[0].runs[1].style.color, (swf::Rgba{255, 0, 0, 255}));

    EXPECT_EQ(ps[1].style.align, swf::TextAlign::Left);
    EXPECT_EQ(texts(ps[1]), (std::vector<QString>{"x <y> & AB \"q'"}));
    EXPECT_EQ(ps[1].runs[0].style.size, 240);

    ASSERT_EQ(texts(ps[2]), (std::vector<QString>{"big", "under", "k"}));
    EXPECT_EQ(ps[2].runs[0].style.size, 340);
    EXPECT_TRUE(ps[2].runs[0].style.italic);
    EXPECT_TRUE(ps[2].runs[1].style.underline);
    EXPECT_FALSE(ps[2].runs[1].style.italic);
    EXPECT_EQ(ps[2].runs[2].style.size, 240);

    EXPECT_EQ(texts(ps[3]), (std::vector<QString>{"next"}));
    EXPECT_FALSE(ps[3].style.bullet);
    EXPECT_EQ(texts(ps[4]), (std::vector<QString>{"item"}));
    EXPECT_TRUE(ps[4].style.bullet);

    EXPECT_EQ(texts(ps[5]), (std::vector<QString>{"t\tf"}));
    EXPECT_EQ(ps[5].style.leftMargin, 200);
    EXPECT_EQ(ps[5].style.indent, -100);
    EXPECT_EQ(ps[5].style.leading, 80);
    EXPECT_EQ(ps[5].style.tabStops, (std::vector<double>{1000, 2000}));
    EXPECT_FALSE(ps[5].style.bullet);

    ASSERT_EQ(texts(ps[6]), (std::vector<QString>{"link", "rest"}));
    EXPECT_EQ(ps[6].runs[0].style.url, "http://x");
    EXPECT_EQ(ps[6].runs[0].style.target, "_blank");
    EXPECT_EQ(ps[6].runs[1].style.color, (swf::Rgba{0, 255, 0, 255}));
    EXPECT_EQ(ps[6].runs[1].style.size, 240); // a size that is no number changes nothing
    EXPECT_EQ(ps[6].style.leftMargin, 0);     // the text format ended
}

TEST(EditTextHtml, MalformedMarkupIsTolerated) {
    const TextStyle base;
    const ParagraphStyle para;
    // A stray closing tag, a bad colour, a tag cut off by the end of the text.
    auto ps = parseHtmlText(
        QStringLiteral("a<b>b</i>c</b>d<font color=\"#12345\">e</font>&bogus; &#xZZ;<font"), base,
        para);
    ASSERT_EQ(ps.size(), 1u);
    ASSERT_EQ(texts(ps[0]), (std::vector<QString>{"a", "bc", "de&bogus; &#xZZ;"}));
    EXPECT_TRUE(ps[0].runs[1].style.bold);
    EXPECT_EQ(ps[0].runs[2].style.color, base.color);
    // Unclosed tags, quotes left open, nesting far deeper than anything real.
    QString deep;
    for (int i = 0; i < 5000; ++i)
        deep += QStringLiteral("<font size=\"+1\"><b>");
    ps = parseHtmlText(deep + QStringLiteral("x<p align='right>y"), base, para);
    ASSERT_FALSE(ps.empty());
    EXPECT_EQ(texts(ps[0]), (std::vector<QString>{"x"}));
    EXPECT_LE(ps[0].runs[0].style.size, 2560 * 20);
    EXPECT_TRUE(parseHtmlText(QString(), base, para).size() == 1u);
}

TEST(EditTextLayout, WrapsAtSpacesWithMarginsIndentLeadingAndAlignment) {
    const auto font = halfEmFont();
    auto e = field(font.get());
    const QString text = QStringLiteral("aaaa bbbb cccc");

    auto l = layoutEditText(*e, text, false);
    ASSERT_EQ(lineTexts(l), (std::vector<QString>{"aaaa bbbb ", "cccc"}));
    EXPECT_EQ(l.lines[0].baseline, 340);
    EXPECT_EQ(l.lines[1].baseline, 740);
    EXPECT_EQ(l.lines[0].width, 1800); // the trailing space hangs
    EXPECT_EQ(l.lines[0].runs[0].x, 40);
    EXPECT_TRUE(l.lines[0].runs[0].embedded);

    e->align = swf::TextAlign::Right;
    l = layoutEditText(*e, text, false);
    EXPECT_EQ(l.lines[0].runs[0].x, 240);
    EXPECT_EQ(l.lines[1].runs[0].x, 1240);
    e->align = swf::TextAlign::Center;
    l = layoutEditText(*e, text, false);
    EXPECT_EQ(l.lines[0].runs[0].x, 140);
    e->align = swf::TextAlign::Justify; // all lines but a paragraph's last fill the width
    l = layoutEditText(*e, text, false);
    EXPECT_EQ(l.lines[0].runs[0].x, 40);
    EXPECT_EQ(l.lines[0].runs[0].width, 2000);
    EXPECT_EQ(l.lines[1].runs[0].width, 800);

    e->align = swf::TextAlign::Left;
    e->leftMargin = e->rightMargin = 100;
    e->indent = 200;
    e->leading = 40;
    l = layoutEditText(*e, text, false);
    ASSERT_EQ(lineTexts(l), (std::vector<QString>{"aaaa ", "bbbb cccc"}));
    EXPECT_EQ(l.lines[0].runs[0].x, 340);
    EXPECT_EQ(l.lines[1].runs[0].x, 140);
    EXPECT_EQ(l.lines[1].baseline, 780);

    // A word longer than the line is cut; explicit line breaks start paragraphs.
    e = field(font.get());
    l = layoutEditText(*e, QStringLiteral("abcdefghijklmn\rab\r\n\nc"), false);
    EXPECT_EQ(lineTexts(l), (std::vector<QString>{"abcdefghij", "klmn", "ab", "", "c"}));
    // No wrapping: one line per paragraph; a single-line field runs them together.
    e->wordWrap = false;
    EXPECT_EQ(lineTexts(layoutEditText(*e, text, false)), (std::vector<QString>{text}));
    e->multiline = false;
    EXPECT_EQ(lineTexts(layoutEditText(*e, QStringLiteral("ab\ncd"), false)),
              (std::vector<QString>{"abcd"}));
    // Lines wholly below the box are left out; password fields show stars.
    e = field(font.get());
    e->bounds.yMax = 500;
    e->password = true;
    l = layoutEditText(*e, QStringLiteral("ab\ncd\nef"), false);
    EXPECT_EQ(lineTexts(l), (std::vector<QString>{"**", "**"}));
}

// Lines start at the index scripts give their first character: "\r\n" is two characters of
// plain text (so a caret after it stands where the script's index says), one line end.
TEST(EditTextLayout, LineStartsCountTheLineEndsOfPlainText) {
    const auto font = halfEmFont();
    auto e = field(font.get());
    e->multiline = true;
    const auto l = layoutEditText(*e, QStringLiteral("ab\r\ncd\ref\ngh"), false);
    ASSERT_EQ(lineTexts(l), (std::vector<QString>{"ab", "cd", "ef", "gh"}));
    EXPECT_EQ(l.lines[1].firstChar, 4);
    EXPECT_EQ(l.lines[2].firstChar, 7);
    EXPECT_EQ(l.lines[3].firstChar, 10);
    // HTML source line ends are one paragraph break, as the field's text has them.
    const auto h = layoutEditText(*e, QStringLiteral("ab\r\ncd"), true);
    ASSERT_EQ(h.lines.size(), 2u);
    EXPECT_EQ(h.lines[1].firstChar, 3);
}

// A single-line field runs its lines together, but keeps each line end as a character of no
// width: every index of the text (as scripts read it) still has its caret stop, and the stops
// before, inside and after a "\r\n" stand at one place.
TEST(EditTextLayout, SingleLineFieldsKeepTheirLineEndsAsStops) {
    const auto font = halfEmFont();
    auto e = field(font.get());
    e->multiline = false;
    auto l = layoutEditText(*e, QStringLiteral("cd\r\nef\ngh"), false);
    ASSERT_EQ(lineTexts(l), (std::vector<QString>{"cdefgh"}));
    const std::vector<double>& s = l.lines[0].stops;
    ASSERT_EQ(s.size(), 10u); // nine characters and the end
    EXPECT_EQ(s[1] - s[0], 200);
    EXPECT_EQ(s[2], s[3]);
    EXPECT_EQ(s[3], s[4]);
    EXPECT_EQ(s[5] - s[4], 200); // 'e' is where 'c' and 'd' put it
    EXPECT_EQ(s[6], s[7]);
    EXPECT_EQ(s[9] - s[0], 1200);
    // HTML: each break is one character of the field's text; passwords keep theirs too.
    const QString html = QStringLiteral("cd<br>ef<br>g");
    l = layoutEditText(*e, html, true);
    ASSERT_EQ(l.lines.size(), 1u);
    EXPECT_EQ(l.lines[0].stops.size(), std::size_t(swf::htmlToPlain(html).size() + 1));
    e->password = true;
    l = layoutEditText(*e, QStringLiteral("cd\r\nef"), false);
    ASSERT_EQ(lineTexts(l), (std::vector<QString>{"****"}));
    EXPECT_EQ(l.lines[0].stops.size(), 7u);
}

TEST(EditTextLayout, HtmlRunsKeepTheirSizesSpacingKerningAndParagraphFormats) {
    const auto font = halfEmFont();
    const auto e = field(font.get());
    // 40 px: 800 twips, an ascent of 600, glyphs 400 wide; the line takes the tallest run.
    auto l =
        layoutEditText(*e, QStringLiteral("<font size=\"40\" color=\"#0000ff\">ab</font>c"), true);
    ASSERT_EQ(l.lines.size(), 1u);
    ASSERT_EQ(l.lines[0].runs.size(), 2u);
    EXPECT_EQ(l.lines[0].baseline, 640);
    EXPECT_EQ(l.lines[0].runs[0].width, 800);
    EXPECT_EQ(l.lines[0].runs[0].style.color, (swf::Rgba{0, 0, 255, 255}));
    EXPECT_EQ(l.lines[0].runs[1].x, 840);
    EXPECT_EQ(l.lines[0].runs[1].style.size, 400);

    l = layoutEditText(
        *e,
        QStringLiteral("<font letterSpacing=\"2\">ab</font><br>"
                       "<font kerning=\"1\">ab</font><br><font kerning=\"0\">ab</font>"),
        true);
    ASSERT_EQ(l.lines.size(), 3u);
    EXPECT_EQ(l.lines[0].width, 480);
    EXPECT_EQ(l.lines[1].width, 300);
    EXPECT_EQ(l.lines[2].width, 400);

    // Paragraph formats: alignment, text format margins and indent, bullets, tab stops.
    l = layoutEditText(
        *e,
        QStringLiteral("<p align=\"right\">ab</p><textformat leftmargin=\"5\" indent=\"10\">"
                       "<p>cd</p></textformat><li>ef</li><textformat tabstops=\"30\">a\tb"
                       "</textformat>"),
        true);
    ASSERT_EQ(lineTexts(l), (std::vector<QString>{"ab", "cd", "\u2022ef", "a\tb"}));
    EXPECT_EQ(l.lines[0].runs[0].x, 2040 - 400);
    EXPECT_EQ(l.lines[1].runs[0].x, 40 + 100 + 200);
    EXPECT_GT(l.lines[2].runs[1].x, 40); // the bullet's room
    EXPECT_LT(l.lines[2].runs[0].x, l.lines[2].runs[1].x);
    EXPECT_EQ(l.lines[3].width, 600 + 200); // 'b' at the 30-pixel stop
}

TEST(EditTextLayout, DeviceFontsWrapChineseBetweenCharacters) {
    ensureGuiApplication();
    auto e = field(nullptr);
    e->fontHeight = 240;
    e->hasTextColor = true;
    e->textColor = {0, 0, 0, 100}; // device text shows opaque
    const QString chinese = QStringLiteral("中文字体测试中文字体测试中文字体测试");
    const auto l = layoutEditText(
        *e, QStringLiteral("<font color=\"#ff0000\">%1</font> <b>end</b>").arg(chinese), true);
    ASSERT_GE(l.lines.size(), 3u);
    QString all;
    for (const auto& line : l.lines) {
        EXPECT_LE(line.width, 2000.5);
        for (const auto& run : line.runs) {
            all += run.text;
            EXPECT_FALSE(run.embedded);
            if (run.text.startsWith(QChar(0x4E2D)) || run.text.contains(QChar(0x8BD5))) {
                EXPECT_EQ(run.style.color, (swf::Rgba{255, 0, 0, 255}));
                EXPECT_FALSE(run.path.isEmpty());
            }
        }
    }
    EXPECT_EQ(all, chinese + QStringLiteral(" end"));
    EXPECT_TRUE(l.lines.back().runs.back().style.bold);
    EXPECT_EQ(l.lines.back().runs.back().style.color, (swf::Rgba{0, 0, 0, 255}));
}

// A hand-built movie with an HTML field: the renderer fills each colour's glyphs in turn,
// clipped to the field.
TEST(EditTextLayout, RendererDrawsHtmlRunsInTheirColours) {
    ensureGuiApplication();
    using namespace swftest;
    Writer e;
    e.u16(9).rect(0, 6000, 0, 2000);
    e.u8(0x80 | 0x40 | 0x20 | 0x04 | 0x01).u8(0x02); // text, wrap, multiline, colour, font; HTML
    e.u16(99).u16(240).rgba(0, 0, 0, 255);           // a font the movie does not define
    e.str("v").str("<p><font color=\"#ff0000\">red</font> <font color=\"#0000ff\" "
                   "size=\"30\">blue</font></p><p>black</p>");
    Writer place;
    place.u8(0x06).u16(1).u16(9).matrix();
    auto movie =
        swf::Movie::load(swftest::movie(concat({tag(37, e), tag(26, place), showFrame(), end()})));
    ASSERT_TRUE(movie.ok());
    swf::Player player(movie.value());
    swf::render::Renderer renderer;
    swf::render::RecordingCanvas canvas;
    renderer.render(player, canvas, QTransform());
    using Op = swf::render::RecordingCanvas::Op;
    const auto fills = canvas.calls(Op::Fill);
    ASSERT_EQ(fills.size(), 4u); // the stage, then red, blue and black glyphs
    EXPECT_EQ(fills[1].brush.color(), QColor(255, 0, 0));
    EXPECT_EQ(fills[2].brush.color(), QColor(0, 0, 255));
    EXPECT_EQ(fills[3].brush.color(), QColor(0, 0, 0));
    const QRectF red = fills[1].path.boundingRect(), blue = fills[2].path.boundingRect();
    const QRectF black = fills[3].path.boundingRect();
    EXPECT_LT(red.right(), blue.left());
    EXPECT_GT(blue.height(), red.height() * 1.1); // 30 px against the field's 12
    EXPECT_GT(black.top(), red.bottom());         // the second paragraph
    EXPECT_EQ(canvas.calls(Op::Clip).size(), 1u);
}

// Movies from Flash with HTML fields in embedded and device fonts.
TEST(EditTextLayout, CorpusHtmlFields) {
    REELWICK_NEED_CORPUS();
    ensureGuiApplication();
    auto graphics = swf::Movie::loadFile(kCorpus + "/jpexs-testdata/graphics/graphics.swf");
    ASSERT_TRUE(graphics.ok());
    const swf::Movie& m = *graphics.value();
    const auto fonts = swf::render::fontsIn(m.dictionary);
    auto fieldLayout = [&](std::uint16_t id) {
        const auto* e = m.dictionary.findAs<swf::EditText>(id);
        EXPECT_TRUE(e && e->html) << id;
        return e ? layoutEditText(*e, e->initialText, e->html, fonts)
                 : swf::render::EditTextLayout{};
    };
    // "ABC1" with 10 px letter spacing, "ABC2" with -10 px, both red 40 px embedded glyphs.
    const auto wide = fieldLayout(181), narrow = fieldLayout(183);
    ASSERT_EQ(lineTexts(wide), (std::vector<QString>{"ABC1"}));
    ASSERT_EQ(lineTexts(narrow), (std::vector<QString>{"ABC2"}));
    const auto& run = wide.lines[0].runs[0];
    EXPECT_TRUE(run.embedded);
    EXPECT_EQ(run.style.color, (swf::Rgba{255, 0, 0, 255}));
    EXPECT_EQ(run.style.size, 800);
    EXPECT_FALSE(run.path.isEmpty());
    EXPECT_NEAR(wide.lines[0].width - narrow.lines[0].width, 4 * 400, 40);
    // Several paragraphs, the first one bold.
    const auto multi = fieldLayout(167);
    ASSERT_GE(multi.lines.size(), 2u);
    EXPECT_EQ(lineTexts(multi)[0], "First");
    EXPECT_TRUE(multi.lines[0].runs[0].style.bold);

    // A centred device-font field in bold violet.
    auto homestuck =
        swf::Movie::loadFile(kCorpus + "/open-flash-db-movies/homestuck-02791/main.swf");
    ASSERT_TRUE(homestuck.ok());
    const auto* e = homestuck.value()->dictionary.findAs<swf::EditText>(9);
    ASSERT_TRUE(e);
    const auto l = layoutEditText(*e, e->initialText, e->html);
    ASSERT_EQ(lineTexts(l), (std::vector<QString>{"100%"}));
    const auto& r = l.lines[0].runs[0];
    EXPECT_FALSE(r.embedded);
    EXPECT_TRUE(r.style.bold);
    EXPECT_EQ(r.style.color, (swf::Rgba{0x99, 0x66, 0xff, 255}));
    const double leftRoom = r.x - (e->bounds.xMin + 40);
    const double rightRoom = (e->bounds.xMax - 40) - (r.x + r.width);
    EXPECT_NEAR(leftRoom, rightRoom, 2);
}
