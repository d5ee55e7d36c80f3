// Style sheets without a script engine: CSS read from odd text, and HTML text read with a sheet
// as both engines' fields show it.

#include "swf/render/edittext.h"
#include "swf/stylesheet.h"
#include "swf/textfields.h"

#include <gtest/gtest.h>

namespace {

using swf::CssStyle;
using swf::StyleSheet;
using swf::render::parseHtmlText;
using swf::render::TextParagraph;
using swf::render::TextStyle;

QString q(const char* s) {
    return QString::fromUtf8(s);
}

StyleSheet sheetOf(const char* css) {
    StyleSheet s;
    EXPECT_TRUE(s.parseCss(q(css))) << css;
    return s;
}

std::vector<TextParagraph> styled(const char* html, const StyleSheet& sheet,
                                  swf::LinkStates links = {}) {
    TextStyle base;
    base.size = 240;
    return parseHtmlText(q(html), base, {}, &sheet, links);
}

QString paragraphText(const TextParagraph& p) {
    QString s;
    for (const auto& r : p.runs)
        s += r.text;
    return s;
}

std::uint32_t rgb(const TextStyle& s) {
    return (std::uint32_t(s.color.r) << 16) | (std::uint32_t(s.color.g) << 8) | s.color.b;
}

TEST(CssParser, CommentsCaseQuotesAndSelectorLists) {
    StyleSheet s;
    EXPECT_TRUE(s.parseCss(q("/* heading */ H1, .Title { FONT-SIZE: 20px; Color:#F00 }\n"
                             "p{font-family:'Courier New', monospace;/* x: y; */margin-left:4}"
                             "a:HOVER { text-decoration : underline ; }")));
    ASSERT_NE(s.style(q("h1")), nullptr);
    ASSERT_NE(s.style(q(".TITLE")), nullptr); // looked up without regard to case
    EXPECT_EQ(s.style(q(".title"))->at(q("fontSize")), q("20px"));
    EXPECT_EQ(s.style(q("h1"))->at(q("color")), q("#F00"));
    EXPECT_EQ(s.style(q("p"))->at(q("fontFamily")), q("'Courier New', monospace"));
    EXPECT_EQ(s.style(q("p"))->at(q("marginLeft")), q("4"));
    EXPECT_EQ(s.style(q("p"))->count(q("x")), 0u); // inside a comment
    EXPECT_EQ(s.style(q("a:hover"))->at(q("textDecoration")), q("underline"));
    EXPECT_EQ(s.names(), (QStringList{q(".title"), q("a:hover"), q("h1"), q("p")}));
}

TEST(CssParser, MalformedTextKeepsTheRulesBeforeIt) {
    StyleSheet s;
    // A declaration without a colon is dropped; unknown properties are kept for getStyle.
    EXPECT_TRUE(s.parseCss(q("p { color #00f; colour: red; zoom: 2; ; : x }")));
    EXPECT_EQ(*s.style(q("p")), (CssStyle{{q("colour"), q("red")}, {q("zoom"), q("2")}}));

    EXPECT_FALSE(s.parseCss(q("b { color: #0f0 } i { color: #00f")));
    EXPECT_NE(s.style(q("b")), nullptr);
    EXPECT_EQ(s.style(q("i")), nullptr);

    EXPECT_FALSE(s.parseCss(q("u { color: #111 } stray text")));
    EXPECT_NE(s.style(q("u")), nullptr);
    EXPECT_FALSE(s.parseCss(q("x { y { color: #111 } }")));
    EXPECT_EQ(s.style(q("x")), nullptr);
    EXPECT_FALSE(s.parseCss(q("{ color: #222 }")));
    // An unclosed comment hides the rest.
    EXPECT_TRUE(s.parseCss(q("em { color: #333 } /* never closed em { color: #444 }")));
    EXPECT_EQ(s.style(q("em"))->at(q("color")), q("#333"));
}

TEST(CssParser, LongHostileTextIsReadInLinearTime) {
    // Half a megabyte of comments, then of braces that never close: both end quickly.
    StyleSheet s;
    EXPECT_TRUE(s.parseCss(QStringLiteral("/**/").repeated(1 << 17) + q("p{color:#111}")));
    EXPECT_NE(s.style(q("p")), nullptr);
    EXPECT_FALSE(s.parseCss(QStringLiteral("a{").repeated(1 << 18)));
    EXPECT_TRUE(s.parseCss(QStringLiteral("b{x:1}").repeated(1 << 17)));
    EXPECT_EQ(s.style(q("b"))->at(q("x")), q("1"));
}

TEST(CssParser, RulesAddToStylesAndSetStyleReplaces) {
    StyleSheet s = sheetOf("p { color: #111111; font-size: 9 }");
    s.parseCss(q("P { color: #222222 }"));
    EXPECT_EQ(*s.style(q("p")), (CssStyle{{q("color"), q("#222222")}, {q("fontSize"), q("9")}}));
    s.setStyle(q("P"), {{q("leading"), q("3")}});
    EXPECT_EQ(*s.style(q("p")), (CssStyle{{q("leading"), q("3")}}));
    s.removeStyle(q("p"));
    EXPECT_TRUE(s.empty());
}

TEST(CssFormat, StyleBecomesTextFormat) {
    const swf::TextFormatData f = swf::formatOfStyle({{q("color"), q("#0a0")},
                                                      {q("fontFamily"), q("\"Arial\", sans")},
                                                      {q("fontSize"), q("14pt")},
                                                      {q("fontWeight"), q("BOLD")},
                                                      {q("fontStyle"), q("normal")},
                                                      {q("textDecoration"), q("underline")},
                                                      {q("textAlign"), q("Center")},
                                                      {q("marginLeft"), q("5px")},
                                                      {q("textIndent"), q("-3")},
                                                      {q("letterSpacing"), q("1.5")},
                                                      {q("kerning"), q("true")},
                                                      {q("leading"), q("2")}});
    EXPECT_EQ(f.color, 0x00AA00u);
    EXPECT_EQ(f.font, q("Arial"));
    EXPECT_EQ(f.size, 14.0);
    EXPECT_EQ(f.bold, true);
    EXPECT_EQ(f.italic, false);
    EXPECT_EQ(f.underline, true);
    EXPECT_EQ(f.align, q("center"));
    EXPECT_EQ(f.leftMargin, 5.0);
    EXPECT_EQ(f.indent, -3.0);
    EXPECT_EQ(f.letterSpacing, 1.5);
    EXPECT_EQ(f.kerning, true);
    EXPECT_EQ(f.leading, 2.0);
    EXPECT_FALSE(f.rightMargin);

    // Values that make no sense set nothing.
    const swf::TextFormatData bad = swf::formatOfStyle({{q("color"), q("red")},
                                                        {q("fontSize"), q("big")},
                                                        {q("fontWeight"), q("heavy")},
                                                        {q("textAlign"), q("middle")},
                                                        {q("marginLeft"), q("1e999")}});
    EXPECT_FALSE(bad.color);
    EXPECT_FALSE(bad.size);
    EXPECT_FALSE(bad.bold);
    EXPECT_FALSE(bad.align);
    EXPECT_FALSE(bad.leftMargin);
}

TEST(StyledHtml, TagAndClassSelectorsColourAndSize) {
    const StyleSheet sheet = sheetOf("p { color: #ff0000; font-size: 20 }"
                                     ".note { color: #0000ff; font-style: italic }"
                                     "b { font-weight: normal; color: #00ff00 }");
    const auto ps = styled("<p>red <span class='NOTE'>blue</span> <b>green</b></p>"
                           "<p class=\"note\">p blue</p>plain",
                           sheet);
    ASSERT_EQ(ps.size(), 3u);
    ASSERT_EQ(ps[0].runs.size(), 4u);
    EXPECT_EQ(rgb(ps[0].runs[0].style), 0xFF0000u);
    EXPECT_EQ(ps[0].runs[0].style.size, 400); // 20 pixels
    EXPECT_EQ(ps[0].runs[1].text, q("blue"));
    EXPECT_EQ(rgb(ps[0].runs[1].style), 0x0000FFu);
    EXPECT_TRUE(ps[0].runs[1].style.italic);
    EXPECT_EQ(ps[0].runs[1].style.size, 400); // inherited from the paragraph
    EXPECT_EQ(ps[0].runs[3].text, q("green"));
    EXPECT_FALSE(ps[0].runs[3].style.bold); // the sheet outweighs the tag's own meaning
    EXPECT_EQ(rgb(ps[0].runs[3].style), 0x00FF00u);
    // The class outweighs the tag name.
    EXPECT_EQ(rgb(ps[1].runs[0].style), 0x0000FFu);
    EXPECT_EQ(ps[1].runs[0].style.size, 400);
    // Outside any element: the field's own style.
    EXPECT_EQ(rgb(ps[2].runs[0].style), 0u);
    EXPECT_EQ(ps[2].runs[0].style.size, 240);
}

TEST(StyledHtml, DisplayNoneBlockAndInline) {
    const StyleSheet sheet = sheetOf(".secret { display: none }"
                                     "p { display: inline }"
                                     "heading { display: block; font-weight: bold }"
                                     ".gone { display: none }");
    const auto ps = styled("<p>one</p> <p>two</p><heading>Head</heading>after"
                           "<span class='secret'>hidden <b>nested</b><br>x</span>shown"
                           "<li class='gone'>no item</li>",
                           sheet);
    ASSERT_EQ(ps.size(), 3u);
    EXPECT_EQ(paragraphText(ps[0]), q("one two"));
    EXPECT_EQ(paragraphText(ps[1]), q("Head"));
    EXPECT_TRUE(ps[1].runs[0].style.bold);
    EXPECT_EQ(paragraphText(ps[2]), q("aftershown"));

    const swf::FieldFormats f =
        swf::formatsFromHtml(q("a<span class='secret'>b</span>c"), swf::TextFormatData{}, &sheet);
    EXPECT_EQ(f.plain, q("ac"));
    EXPECT_EQ(f.chars.size(), 2u);
}

TEST(StyledHtml, LinksTakeTheirStates) {
    const StyleSheet sheet = sheetOf("a:link { color: #0000FF; text-decoration: underline }"
                                     "a:hover { color: #FF0000 }"
                                     "a:active { color: #00FF00 }");
    const char* html = "<a href='x'>first</a> <a href='y'>second</a>";
    const auto rest = styled(html, sheet);
    EXPECT_EQ(rgb(rest[0].runs[0].style), 0x0000FFu);
    EXPECT_TRUE(rest[0].runs[0].style.underline);
    EXPECT_EQ(rest[0].runs[0].style.url, q("x"));
    EXPECT_EQ(rgb(rest[0].runs[2].style), 0x0000FFu);
    EXPECT_FALSE(rest[0].runs[1].style.underline); // the space between them

    const auto over = styled(html, sheet, {1, false});
    EXPECT_EQ(rgb(over[0].runs[0].style), 0x0000FFu);
    EXPECT_EQ(rgb(over[0].runs[2].style), 0xFF0000u);
    EXPECT_TRUE(over[0].runs[2].style.underline); // a:link's still apply

    const auto down = styled(html, sheet, {0, true});
    EXPECT_EQ(rgb(down[0].runs[0].style), 0x00FF00u);
}

TEST(StyledHtml, ParagraphPropertiesAndNoSheet) {
    const StyleSheet sheet = sheetOf("p { text-align: right; margin-left: 10; text-indent: 4;"
                                     " leading: 6; letter-spacing: 2 }");
    const auto ps = styled("<p>x</p>", sheet);
    ASSERT_EQ(ps.size(), 1u);
    EXPECT_EQ(ps[0].style.align, swf::TextAlign::Right);
    EXPECT_EQ(ps[0].style.leftMargin, 200);
    EXPECT_EQ(ps[0].style.indent, 80);
    EXPECT_EQ(ps[0].style.leading, 120);
    EXPECT_EQ(ps[0].runs[0].style.letterSpacing, 40);

    // Without a sheet, unknown tags are skipped and p is a paragraph as always; an empty sheet
    // reads the same text the same way.
    const char* html = "<span class='a'>s</span><p>p</p>t";
    const auto bare = parseHtmlText(q(html), {}, {});
    const auto empty = styled(html, StyleSheet{});
    ASSERT_EQ(bare.size(), 3u);
    ASSERT_EQ(empty.size(), 3u);
    for (std::size_t i = 0; i < 3; ++i)
        EXPECT_EQ(paragraphText(bare[i]), paragraphText(empty[i]));
}

TEST(StyledHtml, DeepAndUnclosedMarkupStaysBounded) {
    const StyleSheet sheet = sheetOf("span { display: none } p { display: block }");
    QString html;
    for (int i = 0; i < 2000; ++i)
        html += QStringLiteral("<p><span>");
    html += QStringLiteral("x");
    const auto ps = parseHtmlText(html, {}, {}, &sheet);
    for (const auto& p : ps)
        EXPECT_TRUE(paragraphText(p).isEmpty());
}

} // namespace
