#pragma once

// Style sheets of text fields, for both script engines: CSS text read into named styles, and
// what a style does to the characters and paragraphs of HTML text. The HTML parser of edit
// texts (render/edittext.h) applies a sheet as it reads the text, so a field with a sheet is
// laid out, measured and read back through the one path.

#include "swf/textfields.h"

#include <QString>
#include <QStringList>
#include <map>
#include <vector>

namespace swf {

// A style's properties by their script names (fontSize for font-size), values as written.
using CssStyle = std::map<QString, QString>;

struct CssRule {
    QString selector; // lower case: "p", ".title", "a:hover"
    CssStyle properties;
};

// font-size -> fontSize (names taken without regard to case).
QString cssPropertyName(const QString& cssName);

// Reads `sel1, sel2 { name: value; ... }` rules. Comments are skipped, a declaration without a
// colon or a name is dropped, quotes around a value are removed. Text that is not a rule (a
// selector without braces, a rule that never closes) ends the reading: the rules before it are
// returned and `ok`, when given, is set false.
std::vector<CssRule> parseCssRules(const QString& text, bool* ok = nullptr);

class StyleSheet {
public:
    // Rules add to the styles held: a style named again keeps its other properties. False when
    // the text was not all rules (those before the fault are kept).
    bool parseCss(const QString& text);
    void setStyle(const QString& name, const CssStyle& style); // replaces the whole style
    void removeStyle(const QString& name);
    void clear() { m_styles.clear(); }
    // By name without regard to case; null when there is none.
    const CssStyle* style(const QString& name) const;
    QStringList names() const;
    bool empty() const { return m_styles.empty(); }
    bool operator==(const StyleSheet&) const = default;

private:
    std::map<QString, CssStyle> m_styles; // by lower-case name
};

// What a style sets of a TextFormat (StyleSheet.transform): values it does not name, or names
// with a value that makes no sense, stay unset. Sizes and distances in pixels.
TextFormatData formatOfStyle(const CssStyle& style);

enum class CssDisplay { Unset, Inline, Block, None };
CssDisplay displayOf(const CssStyle& style);

} // namespace swf
