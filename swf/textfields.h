#pragma once

// What the TextField classes of both script engines share, so that a field behaves the same
// whichever language drives it: the formats of its characters and the HTML they show as, the
// text an HTML field holds, and typing into input text (restrict, maxChars). Layout and drawing
// stay in render/edittext.h.

#include "swf/characters.h"

#include <QString>
#include <cstdint>
#include <optional>
#include <vector>

namespace swf {

// A TextFormat's values; unset ones read as null in scripts. Sizes and distances in pixels.
struct TextFormatData {
    std::optional<QString> font, url, target, align;
    std::optional<double> size, leftMargin, rightMargin, indent, leading, blockIndent,
        letterSpacing;
    std::optional<std::uint32_t> color;
    std::optional<bool> bold, italic, underline, bullet, kerning;
};

// A field whose formats scripts set: its plain text, each character's format (every value
// set) and the format new text takes. The field shows them as HTML.
struct FieldFormats {
    QString plain;
    std::vector<TextFormatData> chars;
    TextFormatData newFormat;
};

// Which link of a text the mouse is over (a:hover) and whether it is pressed on it (a:active):
// the index of its <a> element among the text's <a> elements, -1 for none.
struct LinkStates {
    int hovered = -1;
    bool pressed = false;
    bool operator==(const LinkStates&) const = default;
};

class StyleSheet;

// Every member of TextFormat with its name, for reading and writing them alike.
template <typename T, typename F> void eachTextFormatMember(T& t, F&& f) {
    f("font", t.font);
    f("size", t.size);
    f("color", t.color);
    f("bold", t.bold);
    f("italic", t.italic);
    f("underline", t.underline);
    f("url", t.url);
    f("target", t.target);
    f("align", t.align);
    f("leftMargin", t.leftMargin);
    f("rightMargin", t.rightMargin);
    f("indent", t.indent);
    f("leading", t.leading);
    f("blockIndent", t.blockIndent);
    f("bullet", t.bullet);
    f("kerning", t.kerning);
    f("letterSpacing", t.letterSpacing);
}

// Values set in `from` replace those of `to`.
void applyFormat(TextFormatData& to, const TextFormatData& from);
// Values every format of chars[from, to) shares; the others unset. `from < to` required.
TextFormatData commonFormat(const std::vector<TextFormatData>& chars, std::size_t from,
                            std::size_t to);

// What a field's own definition says, as a format with every value set (`color`: a colour
// scripts gave the field instead of the definition's).
TextFormatData definitionFormat(const EditText& e, std::optional<Rgba> color = {});

// The characters an HTML text shows: tags dropped, paragraphs and breaks as carriage returns,
// entities decoded, exactly as the layout reads the same HTML.
QString htmlToPlain(const QString& html);
// The formats HTML text gives its characters, on top of `base` (a format with every value set).
// With a style sheet, as the field shows the text with it (see render::parseHtmlText).
FieldFormats formatsFromHtml(const QString& html, const TextFormatData& base,
                             const StyleSheet* sheet = nullptr, LinkStates links = {});
// The field's text and formats in the HTML subset edit texts show.
QString formatsToHtml(const FieldFormats& f);

// Replaces chars [begin, end) of the text with `text` in `format`.
void replaceText(FieldFormats& f, qsizetype begin, qsizetype end, const QString& text,
                 const TextFormatData& format);

// TextField.restrict: ranges ("A-Z0-9"), a leading or later '^' for characters excluded,
// backslash escapes; null (empty optional) allows everything, "" nothing.
bool restrictAllows(const std::optional<QString>& restrict, char32_t c);
// What typing `typed` into a field adds: characters the field refuses are dropped, line ends
// only in multiline fields (as carriage returns), and no more than `room` code units.
QString typeableText(const QString& typed, const std::optional<QString>& restrict, bool multiline,
                     qsizetype room);

} // namespace swf
