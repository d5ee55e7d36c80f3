#pragma once

// Edit texts: their text, plain or in the HTML subset Flash fields use, made into styled
// paragraphs and laid out in the field's box with its wrapping, margins, leading and alignment,
// in embedded glyphs or device fonts. The layout depends only on the field's definition, the
// text it shows now and whether that text is HTML, so fields whose text scripts change lay out
// the same way as their initial text.

#include "swf/characters.h"
#include "swf/dictionary.h"
#include "swf/stylesheet.h"

#include <QPainterPath>
#include <QRectF>
#include <QString>
#include <functional>
#include <vector>

namespace swf::render {

// Character formatting. Sizes and distances are in twips.
struct TextStyle {
    QString face; // empty: the field's font
    double size = 240;
    Rgba color{0, 0, 0, 255};
    bool bold = false, italic = false, underline = false;
    bool kerning = false;
    double letterSpacing = 0;
    QString url, target; // a link: drawn as text, never followed
};

// Paragraph formatting, in twips.
struct ParagraphStyle {
    TextAlign align = TextAlign::Left;
    double leftMargin = 0, rightMargin = 0, indent = 0, blockIndent = 0, leading = 0;
    std::vector<double> tabStops;
    bool bullet = false;
};

struct StyledText {
    QString text;
    TextStyle style;
};

struct TextParagraph {
    ParagraphStyle style;
    std::vector<StyledText> runs; // neighbouring runs differ in style
};

// The HTML subset: <p align>, <br>, <font face size color letterSpacing kerning>, <b>, <i>, <u>,
// <a href target>, <li>, <textformat leftmargin rightmargin indent blockindent leading
// tabstops>, <tab>, the entities &lt; &gt; &amp; &quot; &apos; &nbsp; and &#NN; / &#xHH;.
// Unknown tags are skipped; markup that does not close is taken as far as it goes. Line breaks
// in the source break paragraphs, as in the field's plain text.
// With a style sheet, every element takes the styles of its tag name and then of its class
// (`class="x"` takes ".x"), links those of a:link and, in the states `links` gives, a:hover and
// a:active; `display` makes an element a paragraph of its own (block, as p and li are unless
// styled inline), part of one (inline) or hidden with its content (none).
std::vector<TextParagraph> parseHtmlText(const QString& html, const TextStyle& base,
                                         const ParagraphStyle& paragraph,
                                         const StyleSheet* sheet = nullptr, LinkStates links = {});
// Plain text: one paragraph per line, all in the base style.
std::vector<TextParagraph> plainParagraphs(const QString& text, const TextStyle& base,
                                           const ParagraphStyle& paragraph);

// Finds a movie's embedded font by face name (case-insensitively), preferring the given style;
// null when the movie has none of that name.
using FontFinder = std::function<const Font*(const QString& face, bool bold, bool italic)>;
// The finder over a movie's dictionary; it refers to the dictionary, which must outlive it.
FontFinder fontsIn(const Dictionary& dictionary);

struct LaidOutRun {
    QString text;
    TextStyle style;
    double x = 0, width = 0; // twips, in the field's coordinates
    bool embedded = false;   // drawn with a movie font's glyphs
    bool bullet = false;     // a list item's bullet, not characters of the text
    QPainterPath path;       // the glyphs (and underline), in the field's coordinates
};

struct LaidOutLine {
    std::vector<LaidOutRun> runs;
    double baseline = 0, ascent = 0, descent = 0, leading = 0;
    double x = 0, width = 0; // the line's extent
    // Where a caret stands before each character of the line: stops[i] for the character at
    // firstChar + i of the text as scripts read it (paragraphs joined by one line end), and
    // one more after the last.
    qsizetype firstChar = 0;
    std::vector<double> stops;
};

struct EditTextLayout {
    QRectF box; // the field's bounds
    std::vector<LaidOutLine> lines;
};

// Lays the text out in the field's bounds. Lines entirely below the box are left out. Device
// fonts need a QGuiApplication; without one only embedded glyphs are laid out.
EditTextLayout layoutEditText(const EditText& field, const QString& text, bool html,
                              const FontFinder& fonts = {});

} // namespace swf::render
