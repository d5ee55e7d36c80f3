#include "swf/render/edittext.h"

#include "swf/render/fontfile.h"

#include <QFont>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QHash>
#include <algorithm>
#include <cmath>
#include <map>
#include <memory>
#include <optional>

namespace swf::render {

namespace {

constexpr double kGutter = 40;      // 2 pixels inside the box on every side
constexpr double kDefaultTab = 720; // tab stops every 36 pixels unless the text sets them
constexpr double kMinSize = 20, kMaxSize = 2560 * 20; // font sizes, twips
constexpr std::size_t kMaxOpenTags = 256;
constexpr qsizetype kMaxTextLength = qsizetype(1) << 18;
constexpr std::size_t kMaxLines = 10000;

double px(const QString& v, bool* ok = nullptr) {
    return v.trimmed().toDouble(ok) * 20.0;
}

bool sameStyle(const TextStyle& a, const TextStyle& b) {
    return a.face == b.face && a.size == b.size && a.color.r == b.color.r &&
           a.color.g == b.color.g && a.color.b == b.color.b && a.color.a == b.color.a &&
           a.bold == b.bold && a.italic == b.italic && a.underline == b.underline &&
           a.kerning == b.kerning && a.letterSpacing == b.letterSpacing && a.url == b.url &&
           a.target == b.target;
}

std::optional<Rgba> parseColor(QString v, Rgba keepAlpha) {
    v = v.trimmed();
    if (v.startsWith(QLatin1Char('#')))
        v.remove(0, 1);
    else if (v.startsWith(QLatin1String("0x"), Qt::CaseInsensitive))
        v.remove(0, 2);
    bool ok = false;
    const uint rgb = v.toUInt(&ok, 16);
    if (!ok || v.size() != 6)
        return std::nullopt;
    return Rgba{std::uint8_t(rgb >> 16), std::uint8_t(rgb >> 8), std::uint8_t(rgb), keepAlpha.a};
}

// Decodes the entity at html[i] ('&'); returns the characters and moves i past it, or returns
// a lone '&' for anything else.
QString entityAt(const QString& html, qsizetype& i) {
    const qsizetype semi = html.indexOf(QLatin1Char(';'), i + 1);
    if (semi < 0 || semi - i > 10) {
        ++i;
        return QStringLiteral("&");
    }
    const QString name = html.mid(i + 1, semi - i - 1);
    QString out;
    if (name == QLatin1String("lt"))
        out = QStringLiteral("<");
    else if (name == QLatin1String("gt"))
        out = QStringLiteral(">");
    else if (name == QLatin1String("amp"))
        out = QStringLiteral("&");
    else if (name == QLatin1String("quot"))
        out = QStringLiteral("\"");
    else if (name == QLatin1String("apos"))
        out = QStringLiteral("'");
    else if (name == QLatin1String("nbsp"))
        out = QString(QChar(0xA0));
    else if (name.startsWith(QLatin1Char('#'))) {
        bool ok = false;
        const uint code = name.startsWith(QLatin1String("#x"), Qt::CaseInsensitive)
                              ? name.mid(2).toUInt(&ok, 16)
                              : name.mid(1).toUInt(&ok, 10);
        if (ok && code > 0 && code <= 0x10FFFF && (code < 0xD800 || code > 0xDFFF)) {
            const char32_t c = code;
            out = QString::fromUcs4(&c, 1);
        }
    }
    if (out.isEmpty()) {
        ++i;
        return QStringLiteral("&");
    }
    i = semi + 1;
    return out;
}

struct Tag {
    QString name; // lower case
    bool closing = false;
    QHash<QString, QString> attributes; // names in lower case, values with entities decoded
};

Tag parseTag(const QString& body) {
    Tag t;
    qsizetype i = 0;
    const qsizetype n = body.size();
    auto skipSpace = [&] {
        while (i < n && body[i].isSpace())
            ++i;
    };
    skipSpace();
    if (i < n && body[i] == QLatin1Char('/')) {
        t.closing = true;
        ++i;
    }
    const qsizetype nameStart = i;
    while (i < n && (body[i].isLetterOrNumber()))
        ++i;
    t.name = body.mid(nameStart, i - nameStart).toLower();
    while (i < n) {
        skipSpace();
        const qsizetype attrStart = i;
        while (i < n && !body[i].isSpace() && body[i] != QLatin1Char('=') &&
               body[i] != QLatin1Char('/'))
            ++i;
        const QString attr = body.mid(attrStart, i - attrStart).toLower();
        skipSpace();
        QString value;
        if (i < n && body[i] == QLatin1Char('=')) {
            ++i;
            skipSpace();
            if (i < n && (body[i] == QLatin1Char('"') || body[i] == QLatin1Char('\''))) {
                const QChar quote = body[i++];
                qsizetype end = body.indexOf(quote, i);
                if (end < 0)
                    end = n;
                value = body.mid(i, end - i);
                i = end + 1;
            } else {
                const qsizetype start = i;
                while (i < n && !body[i].isSpace())
                    ++i;
                value = body.mid(start, i - start);
            }
        }
        if (!attr.isEmpty()) {
            QString decoded;
            for (qsizetype k = 0; k < value.size();) {
                if (value[k] == QLatin1Char('&'))
                    decoded += entityAt(value, k);
                else
                    decoded += value[k++];
            }
            t.attributes.insert(attr, decoded);
        } else if (i < n) {
            ++i; // a stray '/' or '='
        }
    }
    return t;
}

TextAlign alignFrom(const QString& v, TextAlign fallback) {
    const QString a = v.trimmed().toLower();
    if (a == QLatin1String("left"))
        return TextAlign::Left;
    if (a == QLatin1String("right"))
        return TextAlign::Right;
    if (a == QLatin1String("center"))
        return TextAlign::Center;
    if (a == QLatin1String("justify"))
        return TextAlign::Justify;
    return fallback;
}

class ParagraphBuilder {
public:
    ParagraphBuilder(const ParagraphStyle& p) { m_current.style = p; }

    void add(const QString& text, const TextStyle& style, const ParagraphStyle& paragraph) {
        if (text.isEmpty())
            return;
        if (m_current.runs.empty())
            m_current.style = paragraph;
        if (!m_current.runs.empty() && sameStyle(m_current.runs.back().style, style))
            m_current.runs.back().text += text;
        else
            m_current.runs.push_back({text, style});
    }
    bool empty() const { return m_current.runs.empty(); }
    void setStyleIfEmpty(const ParagraphStyle& p) {
        if (m_current.runs.empty())
            m_current.style = p;
    }
    void breakParagraph(const ParagraphStyle& next) {
        m_done.push_back(std::move(m_current));
        m_current = TextParagraph{};
        m_current.style = next;
    }
    std::vector<TextParagraph> finish() {
        if (!m_current.runs.empty() || m_done.empty())
            m_done.push_back(std::move(m_current));
        return std::move(m_done);
    }

private:
    std::vector<TextParagraph> m_done;
    TextParagraph m_current;
};

} // namespace

std::vector<TextParagraph> plainParagraphs(const QString& text, const TextStyle& base,
                                           const ParagraphStyle& paragraph) {
    ParagraphBuilder b(paragraph);
    QString line;
    const QString t = text.left(kMaxTextLength);
    for (qsizetype i = 0; i < t.size(); ++i) {
        const QChar c = t[i];
        if (c == QLatin1Char('\r') || c == QLatin1Char('\n')) {
            if (c == QLatin1Char('\r') && i + 1 < t.size() && t[i + 1] == QLatin1Char('\n'))
                ++i;
            b.add(line, base, paragraph);
            line.clear();
            b.breakParagraph(paragraph);
        } else {
            line += c;
        }
    }
    b.add(line, base, paragraph);
    return b.finish();
}

std::vector<TextParagraph> parseHtmlText(const QString& source, const TextStyle& base,
                                         const ParagraphStyle& paragraph, const StyleSheet* sheet,
                                         LinkStates links) {
    const QString html = source.left(kMaxTextLength);
    struct Open {
        QString name;
        TextStyle style;     // in effect before the tag
        ParagraphStyle para; // likewise
        bool block = false;  // styled as a paragraph of its own
    };
    constexpr std::size_t kNone = std::size_t(-1);
    std::vector<Open> open;
    std::size_t hideAt = kNone; // the open element (display: none) whose content is hidden
    TextStyle style = base;
    ParagraphStyle para = paragraph;
    ParagraphBuilder b(paragraph);
    QString text;
    int linkIndex = 0;
    const auto hidden = [&] { return hideAt < open.size(); };
    auto flush = [&] {
        if (!hidden())
            b.add(text, style, para);
        text.clear();
    };
    auto breakParagraph = [&] {
        if (!hidden())
            b.breakParagraph(para);
    };
    // Closes the innermost open element of that name (and any left open inside it).
    auto closeTo = [&](const QString& name) {
        for (std::size_t k = open.size(); k-- > 0;) {
            if (open[k].name == name) {
                style = open[k].style;
                para = open[k].para;
                open.resize(k);
                if (hideAt >= open.size())
                    hideAt = kNone;
                return;
            }
        }
    };
    auto push = [&](const QString& name) {
        if (open.size() >= kMaxOpenTags)
            return false;
        open.push_back({name, style, para});
        return true;
    };
    // What a style sets of the characters and paragraph from here on.
    auto applyStyle = [&](const CssStyle& css) {
        const TextFormatData f = formatOfStyle(css);
        if (f.font)
            style.face = *f.font;
        if (f.size)
            style.size = std::clamp(*f.size * 20, kMinSize, kMaxSize);
        if (f.color)
            style.color = Rgba{std::uint8_t(*f.color >> 16), std::uint8_t(*f.color >> 8),
                               std::uint8_t(*f.color), style.color.a};
        if (f.bold)
            style.bold = *f.bold;
        if (f.italic)
            style.italic = *f.italic;
        if (f.underline)
            style.underline = *f.underline;
        if (f.kerning)
            style.kerning = *f.kerning;
        if (f.letterSpacing)
            style.letterSpacing = *f.letterSpacing * 20;
        if (f.align)
            para.align = alignFrom(*f.align, para.align);
        if (f.leftMargin)
            para.leftMargin = *f.leftMargin * 20;
        if (f.rightMargin)
            para.rightMargin = *f.rightMargin * 20;
        if (f.indent)
            para.indent = *f.indent * 20;
        if (f.leading)
            para.leading = *f.leading * 20;
    };

    const qsizetype n = html.size();
    for (qsizetype i = 0; i < n;) {
        const QChar c = html[i];
        if (c == QLatin1Char('&')) {
            text += entityAt(html, i);
            continue;
        }
        if (c == QLatin1Char('\r') || c == QLatin1Char('\n')) {
            if (c == QLatin1Char('\r') && i + 1 < n && html[i + 1] == QLatin1Char('\n'))
                ++i;
            ++i;
            flush();
            breakParagraph();
            continue;
        }
        if (c != QLatin1Char('<')) {
            text += c;
            ++i;
            continue;
        }
        const qsizetype close = html.indexOf(QLatin1Char('>'), i + 1);
        if (close < 0) { // a tag that never ends: the rest is not text
            break;
        }
        const Tag tag = parseTag(html.mid(i + 1, close - i - 1));
        i = close + 1;
        flush();
        const auto attr = [&](const char* name) {
            return tag.attributes.value(QLatin1String(name));
        };
        const auto has = [&](const char* name) {
            return tag.attributes.contains(QLatin1String(name));
        };
        const QString& name = tag.name;
        const bool paragraphTag = name == QLatin1String("p") || name == QLatin1String("li");
        const bool formatTag = name == QLatin1String("font") || name == QLatin1String("b") ||
                               name == QLatin1String("i") || name == QLatin1String("u") ||
                               name == QLatin1String("a") || name == QLatin1String("textformat");
        if (name == QLatin1String("br")) {
            breakParagraph();
            continue;
        }
        if (name == QLatin1String("tab")) {
            if (!tag.closing)
                text += QLatin1Char('\t');
            continue;
        }
        // The styles of an element, weakest first, and the display they give it.
        std::vector<const CssStyle*> styles;
        bool block = paragraphTag, hide = false;
        if (sheet && !tag.closing && !name.isEmpty() && name != QLatin1String("img")) {
            auto take = [&](const QString& selector) {
                if (const CssStyle* s = sheet->style(selector))
                    styles.push_back(s);
            };
            take(name);
            for (const QString& cls : attr("class").split(u' ', Qt::SkipEmptyParts))
                take(QLatin1Char('.') + cls);
            if (name == QLatin1String("a")) {
                take(QStringLiteral("a:link"));
                if (linkIndex == links.hovered) {
                    take(QStringLiteral("a:hover"));
                    if (links.pressed)
                        take(QStringLiteral("a:active"));
                }
                ++linkIndex;
            }
            for (const CssStyle* s : styles) {
                const CssDisplay d = displayOf(*s);
                if (d != CssDisplay::Unset) {
                    block = d == CssDisplay::Block;
                    hide = d == CssDisplay::None;
                }
            }
        }
        if (tag.closing) {
            if (paragraphTag && !sheet) {
                b.breakParagraph(para);
                closeTo(name);
                b.setStyleIfEmpty(para);
            } else if (sheet) {
                // Whether the element was a block is known only from where it opened.
                bool wasBlock = false;
                for (std::size_t k = open.size(); k-- > 0;)
                    if (open[k].name == name) {
                        wasBlock = open[k].block;
                        break;
                    }
                if (wasBlock)
                    breakParagraph();
                closeTo(name);
                b.setStyleIfEmpty(para);
            } else if (formatTag) {
                closeTo(name);
            }
            continue;
        }
        // Without a sheet, other tags (img, span, unknown ones) are skipped; their text shows.
        if (!paragraphTag && !formatTag &&
            (!sheet || name.isEmpty() || name == QLatin1String("img")))
            continue;
        if (block && !b.empty())
            breakParagraph();
        if (!push(name))
            continue;
        open.back().block = block;
        if (hide && !hidden())
            hideAt = open.size() - 1;
        if (name == QLatin1String("li")) {
            para.bullet = true;
        } else if (name == QLatin1String("p")) {
            if (has("align"))
                para.align = alignFrom(attr("align"), para.align);
        } else if (name == QLatin1String("b")) {
            style.bold = true;
        } else if (name == QLatin1String("i")) {
            style.italic = true;
        } else if (name == QLatin1String("u")) {
            style.underline = true;
        } else if (name == QLatin1String("a")) {
            style.url = attr("href");
            style.target = attr("target");
        } else if (name == QLatin1String("font")) {
            if (has("face"))
                style.face = attr("face").section(QLatin1Char(','), 0, 0).trimmed();
            if (has("size")) {
                const QString v = attr("size").trimmed();
                bool ok = false;
                const double d = px(v, &ok);
                if (ok) {
                    const bool relative =
                        v.startsWith(QLatin1Char('+')) || v.startsWith(QLatin1Char('-'));
                    style.size = std::clamp(relative ? style.size + d : d, kMinSize, kMaxSize);
                }
            }
            if (has("color")) {
                if (auto col = parseColor(attr("color"), style.color))
                    style.color = *col;
            }
            if (has("letterspacing")) {
                bool ok = false;
                const double d = px(attr("letterspacing"), &ok);
                if (ok)
                    style.letterSpacing = std::clamp(d, -kMaxSize, kMaxSize);
            }
            if (has("kerning"))
                style.kerning = attr("kerning").trimmed() == QLatin1String("1") ||
                                attr("kerning").trimmed().toLower() == QLatin1String("true");
        } else if (name == QLatin1String("textformat")) {
            auto distance = [&](const char* key, double& out, bool allowNegative) {
                if (!has(key))
                    return;
                bool ok = false;
                const double d = px(attr(key), &ok);
                if (ok)
                    out = std::clamp(d, allowNegative ? -kMaxSize : 0.0, 100000.0);
            };
            distance("leftmargin", para.leftMargin, false);
            distance("rightmargin", para.rightMargin, false);
            distance("indent", para.indent, true);
            distance("blockindent", para.blockIndent, false);
            distance("leading", para.leading, true);
            if (has("tabstops")) {
                para.tabStops.clear();
                for (const QString& s : attr("tabstops").split(QLatin1Char(','))) {
                    bool ok = false;
                    const double d = px(s, &ok);
                    if (ok && d >= 0 && para.tabStops.size() < 64)
                        para.tabStops.push_back(d);
                }
                std::sort(para.tabStops.begin(), para.tabStops.end());
            }
        }
        for (const CssStyle* s : styles)
            applyStyle(*s);
        if (paragraphTag || name == QLatin1String("textformat") || block)
            b.setStyleIfEmpty(para);
    }
    flush();
    return b.finish();
}

namespace {

QString deviceFamily(const QString& name) {
    if (name.isEmpty() || name == QLatin1String("_sans"))
        return QStringLiteral("sans-serif");
    if (name == QLatin1String("_serif"))
        return QStringLiteral("serif");
    if (name == QLatin1String("_typewriter"))
        return QStringLiteral("monospace");
    // The Japanese names of the same three device fonts.
    if (name == QStringLiteral("_ゴシック"))
        return QStringLiteral("sans-serif");
    if (name == QStringLiteral("_明朝"))
        return QStringLiteral("serif");
    if (name == QStringLiteral("_等幅"))
        return QStringLiteral("monospace");
    return name;
}

bool isCjk(uint c) {
    return (c >= 0x2E80 && c <= 0x9FFF) || (c >= 0xAC00 && c <= 0xD7AF) ||
           (c >= 0xF900 && c <= 0xFAFF) || (c >= 0xFF00 && c <= 0xFFEF) ||
           (c >= 0x20000 && c <= 0x3FFFF);
}

// How one style's characters are measured and drawn.
struct Face {
    const Font* embedded = nullptr;
    double emScale = 1;
    std::optional<QRawFont> file; // a movie's font file (DefineFont4), sized in twips
    std::unique_ptr<QFont> font;  // device
    std::unique_ptr<QFontMetricsF> metrics;
    double ascent = 0, descent = 0;
    QHash<uint, int> glyphs;        // embedded: code to glyph index
    QHash<quint32, double> kerning; // embedded: (left << 16 | right) to twips
    bool usable() const { return embedded || file || font; }

    int glyph(uint code) const { return glyphs.value(code, -1); }
    double advance(const QString& s, uint code) const {
        if (file) {
            // Characters the file has no glyph for take no room, as with embedded glyphs.
            const QList<quint32> g = file->glyphIndexesForString(s);
            const QList<QPointF> a = file->advancesForGlyphIndexes(g);
            double x = 0;
            for (qsizetype i = 0; i < g.size() && i < a.size(); ++i)
                x += g[i] ? a[i].x() : 0;
            return x;
        }
        if (embedded) {
            const int gi = glyph(code);
            if (gi < 0)
                return 0;
            const Glyph& g = embedded->glyphs[std::size_t(gi)];
            return (embedded->hasLayout ? g.advance : g.bounds.xMax) * emScale;
        }
        return metrics ? metrics->horizontalAdvance(s) : 0;
    }
    double kern(uint left, uint right) const {
        if (!embedded || kerning.isEmpty() || left > 0xFFFF || right > 0xFFFF)
            return 0;
        return kerning.value(quint32(left) << 16 | right, 0);
    }
};

class Faces {
public:
    Faces(const EditText& field, const FontFinder& finder) : m_field(field), m_finder(finder) {
        m_gui = qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr;
    }

    const Face& get(const TextStyle& s) {
        const auto key = std::make_tuple(s.face, s.size, s.bold, s.italic);
        auto it = m_faces.find(key);
        if (it != m_faces.end())
            return *it->second;
        auto face = std::make_unique<Face>();
        const Font* font = nullptr;
        if (m_field.useOutlines) {
            if (!s.face.isEmpty() && m_finder)
                font = m_finder(s.face, s.bold, s.italic);
            if (!font || (font->glyphs.empty() && font->fontData.isEmpty()))
                font = m_field.font; // the field's own glyphs rather than nothing
            if (font && !font->fontData.isEmpty()) {
                // A font file: drawn through Qt, or by the device font of its name when Qt
                // cannot read it.
                face->file = fontFileAt(*font, s.size);
                if (face->file) {
                    face->ascent = face->file->ascent();
                    face->descent = face->file->descent();
                    return *m_faces.emplace(key, std::move(face)).first->second;
                }
            }
            if (font && font->glyphs.empty())
                font = nullptr;
        }
        if (font) {
            face->embedded = font;
            face->emScale = s.size / std::max(1.0, font->emSize);
            for (std::size_t i = 0; i < font->glyphs.size(); ++i)
                face->glyphs.insert(font->glyphs[i].code, int(i));
            for (const KerningPair& k : font->kerning)
                face->kerning.insert(quint32(k.left) << 16 | k.right, k.adjustment * face->emScale);
            if (font->hasLayout && font->ascent + font->descent > 0) {
                face->ascent = font->ascent * face->emScale;
                face->descent = font->descent * face->emScale;
            } else {
                face->ascent = s.size * 0.8;
                face->descent = s.size * 0.2;
            }
        } else if (m_gui) {
            QString family = s.face;
            if (family.isEmpty() && m_field.font)
                family = m_field.font->name;
            face->font = std::make_unique<QFont>(deviceFamily(family));
            face->font->setPixelSize(std::max(1, int(std::lround(s.size))));
            face->font->setBold(s.bold);
            face->font->setItalic(s.italic);
            face->font->setKerning(s.kerning);
            face->metrics = std::make_unique<QFontMetricsF>(*face->font);
            face->ascent = face->metrics->ascent();
            face->descent = face->metrics->descent();
        }
        return *m_faces.emplace(key, std::move(face)).first->second;
    }

private:
    const EditText& m_field;
    const FontFinder& m_finder;
    bool m_gui = false;
    std::map<std::tuple<QString, double, bool, bool>, std::unique_ptr<Face>> m_faces;
};

// One character (a code point) of a paragraph with its run.
struct Item {
    QString text;
    uint code = 0;
    std::size_t run = 0;
    qsizetype unit = 0; // where it starts in the text as scripts read it
    double advance = 0; // without tabs' stretch, with letter spacing and kerning
    bool space = false, tab = false, breakAfter = false;
    bool lineEnd = false; // one kept in a single-line field: no width, nothing drawn
};

} // namespace

EditTextLayout layoutEditText(const EditText& field, const QString& text, bool html,
                              const FontFinder& fonts) {
    EditTextLayout out;
    out.box =
        QRectF(field.bounds.xMin, field.bounds.yMin, field.bounds.width(), field.bounds.height());
    TextStyle base;
    base.face = field.font ? field.font->name : QString();
    base.size = std::clamp<double>(field.fontHeight, kMinSize, kMaxSize);
    base.color = field.hasTextColor ? field.textColor : Rgba{0, 0, 0, 255};
    if (field.font) {
        base.bold = field.font->bold;
        base.italic = field.font->italic;
    }
    ParagraphStyle basePara;
    basePara.align = field.align;
    basePara.leftMargin = field.leftMargin;
    basePara.rightMargin = field.rightMargin;
    basePara.indent = field.indent;
    basePara.leading = field.leading;

    std::vector<TextParagraph> paragraphs =
        html ? parseHtmlText(text, base, basePara) : plainParagraphs(text, base, basePara);
    if (!field.multiline && paragraphs.size() > 1) {
        // A single-line field shows its lines run together. Each line end stays in the line as
        // a character of no width ("\r\n" of plain text as one of two units), so that indices
        // into the text still find their characters and the caret its place.
        TextParagraph one;
        one.style = paragraphs.front().style;
        qsizetype scan = 0; // plain text: where the next line end is looked for
        for (std::size_t p = 0; p < paragraphs.size(); ++p) {
            if (p > 0) {
                StyledText end{QStringLiteral("\r"),
                               one.runs.empty() ? base : one.runs.back().style};
                qsizetype at = html ? text.size() : scan;
                while (at < text.size() && text[at] != QLatin1Char('\r') &&
                       text[at] != QLatin1Char('\n'))
                    ++at;
                if (text.mid(at, 2) == QLatin1String("\r\n"))
                    end.text = QStringLiteral("\r\n");
                scan = std::min(text.size(), at + end.text.size());
                one.runs.push_back(std::move(end));
            }
            for (auto& r : paragraphs[p].runs)
                one.runs.push_back(std::move(r));
        }
        paragraphs = {std::move(one)};
    }
    if (field.password) {
        for (auto& p : paragraphs) {
            for (auto& r : p.runs)
                for (QChar& c : r.text)
                    if (c != QLatin1Char('\r') && c != QLatin1Char('\n'))
                        c = QLatin1Char('*');
        }
    }

    Faces faces(field, fonts);
    qsizetype paragraphStart = 0;
    double top = out.box.top() + kGutter;
    std::uint32_t scrolledOff = 0;
    const double bottom = out.box.bottom();
    for (const TextParagraph& para : paragraphs) {
        if (top > bottom || out.lines.size() >= kMaxLines)
            break;
        const ParagraphStyle& ps = para.style;
        const Face& baseFace = faces.get(para.runs.empty() ? base : para.runs.front().style);
        const double bulletIndent =
            ps.bullet ? std::max(baseFace.ascent + baseFace.descent, 1.0) : 0;
        const double left =
            out.box.left() + kGutter + ps.leftMargin + ps.blockIndent + bulletIndent;
        const double avail = std::max(1.0, out.box.width() - 2 * kGutter - ps.leftMargin -
                                               ps.rightMargin - ps.blockIndent - bulletIndent);
        // The paragraph's characters, measured.
        std::vector<Item> items;
        qsizetype unit = paragraphStart;
        for (std::size_t r = 0; r < para.runs.size(); ++r) {
            const QString& s = para.runs[r].text;
            const TextStyle& st = para.runs[r].style;
            const Face& face = faces.get(st);
            for (qsizetype i = 0; i < s.size(); ++i) {
                Item it;
                it.run = r;
                if (s[i].isHighSurrogate() && i + 1 < s.size() && s[i + 1].isLowSurrogate()) {
                    it.text = s.mid(i, 2);
                    it.code = QChar::surrogateToUcs4(s[i], s[i + 1]);
                    ++i;
                } else {
                    it.text = QString(s[i]);
                    it.code = s[i].unicode();
                }
                it.unit = unit;
                unit += it.text.size();
                it.tab = it.code == '\t';
                it.space = it.code == ' ' || it.tab;
                it.lineEnd = it.code == '\r' || it.code == '\n';
                it.advance =
                    it.tab || it.lineEnd ? 0 : face.advance(it.text, it.code) + st.letterSpacing;
                if (!items.empty() && st.kerning && items.back().run == r)
                    items.back().advance += face.kern(items.back().code, it.code);
                items.push_back(std::move(it));
            }
        }
        for (std::size_t i = 0; i < items.size(); ++i) {
            const bool nextCjk = i + 1 < items.size() && isCjk(items[i + 1].code);
            items[i].breakAfter =
                items[i].space || items[i].code == '-' || isCjk(items[i].code) || nextCjk;
        }
        auto tabStop = [&](double x) {
            for (double stop : ps.tabStops) {
                if (stop > x + 0.5)
                    return stop;
            }
            const double last = ps.tabStops.empty() ? 0 : ps.tabStops.back();
            return last + (std::floor((x - last) / kDefaultTab) + 1) * kDefaultTab;
        };

        std::size_t start = 0;
        bool first = true;
        while (first || start < items.size()) {
            if (top > bottom || out.lines.size() >= kMaxLines)
                break;
            const double indent = first ? ps.indent : 0;
            double x = indent;
            std::vector<double> advances;
            std::size_t i = start, lastBreak = 0;
            for (; i < items.size(); ++i) {
                const double a = items[i].tab ? tabStop(x) - x : items[i].advance;
                if (field.wordWrap && i > start && x + a > avail && !items[i].space)
                    break;
                x += a;
                advances.push_back(a);
                if (items[i].breakAfter)
                    lastBreak = i + 1;
            }
            std::size_t end = i;
            if (i < items.size() && lastBreak > start)
                end = lastBreak;
            advances.resize(end - start);
            const bool lastLine = end >= items.size();
            // Trailing spaces hang outside the line's width.
            std::size_t visibleEnd = end;
            while (visibleEnd > start && items[visibleEnd - 1].space && !items[visibleEnd - 1].tab)
                --visibleEnd;
            double width = indent;
            for (std::size_t k = start; k < visibleEnd; ++k)
                width += advances[k - start];

            LaidOutLine line;
            double x0 = left;
            double spaceExtra = 0;
            switch (ps.align) {
            case TextAlign::Right:
                x0 = left + avail - width;
                break;
            case TextAlign::Center:
                x0 = left + (avail - width) / 2;
                break;
            case TextAlign::Justify:
                if (!lastLine && field.wordWrap) {
                    std::size_t spaces = 0;
                    for (std::size_t k = start; k < visibleEnd; ++k)
                        spaces += items[k].code == ' ';
                    if (spaces && avail > width)
                        spaceExtra = (avail - width) / double(spaces);
                }
                break;
            case TextAlign::Left:
                break;
            }
            line.x = x0;
            line.width = width;
            // Vertical metrics: the tallest run on the line; an empty line has the base style's.
            for (std::size_t k = start; k < end; ++k) {
                const Face& f = faces.get(para.runs[items[k].run].style);
                line.ascent = std::max(line.ascent, f.ascent);
                line.descent = std::max(line.descent, f.descent);
            }
            if (start == end) {
                line.ascent = baseFace.ascent;
                line.descent = baseFace.descent;
            }
            line.baseline = top + line.ascent;
            line.leading = ps.leading;
            line.firstChar = start < items.size() ? items[start].unit : unit;
            // Runs and their glyphs.
            double pen = x0 + indent;
            for (std::size_t k = start; k < end; ++k) {
                const Item& it = items[k];
                const TextStyle& st = para.runs[it.run].style;
                if (line.runs.empty() || !sameStyle(line.runs.back().style, st)) {
                    LaidOutRun run;
                    run.style = st;
                    run.x = pen;
                    const Face& f = faces.get(st);
                    run.embedded = f.embedded != nullptr || f.file.has_value();
                    run.path.setFillRule(Qt::WindingFill);
                    line.runs.push_back(std::move(run));
                }
                LaidOutRun& run = line.runs.back();
                const Face& f = faces.get(st);
                double a = advances[k - start];
                if (it.code == ' ')
                    a += spaceExtra;
                // Glyphs outside the box are clipped away: not worth outlining.
                const bool inside = pen < out.box.right() && pen + a > out.box.left() - st.size;
                if (!it.space && !it.lineEnd && inside && f.usable()) {
                    if (f.file) {
                        const QList<quint32> g = f.file->glyphIndexesForString(it.text);
                        double x = pen;
                        const QList<QPointF> adv = f.file->advancesForGlyphIndexes(g);
                        for (qsizetype gi = 0; gi < g.size(); ++gi) {
                            if (g[gi] == 0)
                                continue; // no glyph: nothing drawn, no room taken
                            run.path.addPath(QTransform::fromTranslate(x, line.baseline)
                                                 .map(f.file->pathForGlyph(g[gi])));
                            x += gi < adv.size() ? adv[gi].x() : 0;
                        }
                    } else if (f.embedded) {
                        const int gi = f.glyph(it.code);
                        if (gi >= 0) {
                            run.path.addPath(
                                QTransform(f.emScale, 0, 0, f.emScale, pen, line.baseline)
                                    .map(f.embedded->glyphPath(std::size_t(gi))));
                        }
                    } else {
                        run.path.addText(QPointF(pen, line.baseline), *f.font, it.text);
                    }
                }
                if (!it.lineEnd)
                    run.text += it.text;
                line.stops.insert(line.stops.end(), std::size_t(it.text.size()), pen);
                pen += a;
                if (k < visibleEnd)
                    run.width = pen - run.x;
            }
            line.stops.push_back(pen);
            for (LaidOutRun& run : line.runs) {
                if (!run.embedded)
                    run.style.color.a = 255; // device text is never transparent
                if (run.style.underline && run.width > 0) {
                    const double thickness = std::max(20.0, run.style.size / 20);
                    run.path.addRect(
                        QRectF(run.x, line.baseline + thickness, run.width, thickness));
                }
            }
            if (ps.bullet && first) {
                LaidOutRun bullet;
                bullet.style = para.runs.empty() ? base : para.runs.front().style;
                bullet.style.underline = false;
                bullet.text = QString(QChar(0x2022));
                bullet.bullet = true;
                const double d = std::max(1.0, (line.ascent + line.descent) / 6);
                bullet.x = left - bulletIndent;
                bullet.width = 2 * d;
                bullet.path.addEllipse(QPointF(bullet.x + bulletIndent / 2,
                                               line.baseline - (line.ascent - line.descent) / 2),
                                       d, d);
                line.runs.insert(line.runs.begin(), std::move(bullet));
            }
            if (scrolledOff < field.scroll) {
                // Scrolled off the top: the next line takes its place.
                ++scrolledOff;
            } else {
                top = line.baseline + line.descent + ps.leading;
                out.lines.push_back(std::move(line));
            }
            start = end;
            first = false;
        }
        // The line end between paragraphs: "\r\n" in plain text is two characters to scripts.
        const bool crlf = !html && unit + 1 < text.size() && text[unit] == QLatin1Char('\r') &&
                          text[unit + 1] == QLatin1Char('\n');
        paragraphStart = unit + (crlf ? 2 : 1);
    }
    return out;
}

FontFinder fontsIn(const Dictionary& dictionary) {
    return [&dictionary](const QString& face, bool bold, bool italic) -> const Font* {
        const Font* best = nullptr;
        int bestScore = -1;
        for (const auto& [id, c] : dictionary.all()) {
            if (c->type != CharacterType::Font)
                continue;
            const auto* f = static_cast<const Font*>(c.get());
            if ((f->glyphs.empty() && f->fontData.isEmpty()) ||
                f->name.compare(face, Qt::CaseInsensitive) != 0)
                continue;
            // The style asked for first, then the lowest id, so the choice does not depend on
            // the dictionary's order.
            const int score = (f->bold == bold) + (f->italic == italic);
            if (score > bestScore || (score == bestScore && f->id < best->id)) {
                best = f;
                bestScore = score;
            }
        }
        return best;
    };
}

} // namespace swf::render
