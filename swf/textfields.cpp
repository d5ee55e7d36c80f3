#include "swf/textfields.h"

#include "swf/render/edittext.h"
#include "swf/stylesheet.h"

#include <algorithm>

namespace swf {

namespace {

// Calls f(a.member, b.member) for every member of two formats.
template <typename A, typename B, typename F> void eachPair(A& a, B& b, F&& f) {
    f(a.font, b.font);
    f(a.size, b.size);
    f(a.color, b.color);
    f(a.bold, b.bold);
    f(a.italic, b.italic);
    f(a.underline, b.underline);
    f(a.url, b.url);
    f(a.target, b.target);
    f(a.align, b.align);
    f(a.leftMargin, b.leftMargin);
    f(a.rightMargin, b.rightMargin);
    f(a.indent, b.indent);
    f(a.leading, b.leading);
    f(a.blockIndent, b.blockIndent);
    f(a.bullet, b.bullet);
    f(a.kerning, b.kerning);
    f(a.letterSpacing, b.letterSpacing);
}

QString alignName(TextAlign a) {
    switch (a) {
    case TextAlign::Right:
        return QStringLiteral("right");
    case TextAlign::Center:
        return QStringLiteral("center");
    case TextAlign::Justify:
        return QStringLiteral("justify");
    case TextAlign::Left:
        break;
    }
    return QStringLiteral("left");
}

TextAlign alignOf(const QString& name) {
    if (name == QLatin1String("right"))
        return TextAlign::Right;
    if (name == QLatin1String("center"))
        return TextAlign::Center;
    if (name == QLatin1String("justify"))
        return TextAlign::Justify;
    return TextAlign::Left;
}

std::uint32_t rgbOf(Rgba c) {
    return (std::uint32_t(c.r) << 16) | (std::uint32_t(c.g) << 8) | c.b;
}

} // namespace

void applyFormat(TextFormatData& to, const TextFormatData& from) {
    eachPair(to, from, [](auto& t, const auto& f) {
        if (f)
            t = f;
    });
}

TextFormatData commonFormat(const std::vector<TextFormatData>& chars, std::size_t from,
                            std::size_t to) {
    TextFormatData out = chars[from];
    for (std::size_t i = from + 1; i < to; ++i) {
        eachPair(out, chars[i], [](auto& o, const auto& c) {
            if (o != c)
                o.reset();
        });
    }
    return out;
}

TextFormatData definitionFormat(const EditText& e, std::optional<Rgba> color) {
    TextFormatData f;
    f.font = e.font && !e.font->name.isEmpty() ? e.font->name
             : e.fontClass.isEmpty()           ? QStringLiteral("Times New Roman")
                                               : e.fontClass;
    f.size = e.fontHeight ? e.fontHeight / 20.0 : 12.0;
    f.color = rgbOf(color.value_or(e.hasTextColor ? e.textColor : Rgba{0, 0, 0, 255}));
    f.bold = e.font && e.font->bold;
    f.italic = e.font && e.font->italic;
    f.underline = false;
    f.url = QString();
    f.target = QString();
    f.align = alignName(e.align);
    f.leftMargin = e.leftMargin / 20.0;
    f.rightMargin = e.rightMargin / 20.0;
    f.indent = e.indent / 20.0;
    f.leading = e.leading / 20.0;
    f.blockIndent = 0.0;
    f.bullet = false;
    f.kerning = false;
    f.letterSpacing = 0.0;
    return f;
}

QString htmlToPlain(const QString& html) {
    QString out;
    bool first = true;
    for (const render::TextParagraph& p : render::parseHtmlText(html, {}, {})) {
        if (!first)
            out += u'\r';
        first = false;
        for (const render::StyledText& run : p.runs)
            out += run.text;
    }
    return out;
}

FieldFormats formatsFromHtml(const QString& html, const TextFormatData& base,
                             const StyleSheet* sheet, LinkStates links) {
    render::TextStyle style;
    style.face = base.font.value_or(QString());
    style.size = base.size.value_or(12) * 20;
    const std::uint32_t rgb = base.color.value_or(0);
    style.color = Rgba{std::uint8_t(rgb >> 16), std::uint8_t(rgb >> 8), std::uint8_t(rgb), 255};
    style.bold = base.bold.value_or(false);
    style.italic = base.italic.value_or(false);
    style.underline = base.underline.value_or(false);
    style.kerning = base.kerning.value_or(false);
    style.letterSpacing = base.letterSpacing.value_or(0) * 20;
    style.url = base.url.value_or(QString());
    style.target = base.target.value_or(QString());
    render::ParagraphStyle para;
    para.align = alignOf(base.align.value_or(QString()));
    para.leftMargin = base.leftMargin.value_or(0) * 20;
    para.rightMargin = base.rightMargin.value_or(0) * 20;
    para.indent = base.indent.value_or(0) * 20;
    para.blockIndent = base.blockIndent.value_or(0) * 20;
    para.leading = base.leading.value_or(0) * 20;
    para.bullet = base.bullet.value_or(false);

    FieldFormats out;
    out.newFormat = base;
    const auto paragraphs = render::parseHtmlText(html, style, para, sheet, links);
    for (std::size_t k = 0; k < paragraphs.size(); ++k) {
        const render::TextParagraph& p = paragraphs[k];
        TextFormatData pf = base;
        pf.align = alignName(p.style.align);
        pf.leftMargin = p.style.leftMargin / 20;
        pf.rightMargin = p.style.rightMargin / 20;
        pf.indent = p.style.indent / 20;
        pf.blockIndent = p.style.blockIndent / 20;
        pf.leading = p.style.leading / 20;
        pf.bullet = p.style.bullet;
        TextFormatData last = pf;
        for (const render::StyledText& run : p.runs) {
            TextFormatData c = pf;
            const render::TextStyle& s = run.style;
            c.font = s.face.isEmpty() ? base.font : std::optional<QString>(s.face);
            c.size = s.size / 20;
            c.color = rgbOf(s.color);
            c.bold = s.bold;
            c.italic = s.italic;
            c.underline = s.underline;
            c.kerning = s.kerning;
            c.letterSpacing = s.letterSpacing / 20;
            c.url = s.url;
            c.target = s.target;
            out.plain += run.text;
            out.chars.insert(out.chars.end(), std::size_t(run.text.size()), c);
            last = c;
        }
        if (k + 1 < paragraphs.size()) {
            out.plain += u'\r';
            out.chars.push_back(last);
        }
    }
    return out;
}

QString formatsToHtml(const FieldFormats& f) {
    auto escaped = [](const QString& s) { return s.toHtmlEscaped(); };
    QString html;
    const qsizetype n = f.plain.size();
    qsizetype start = 0;
    while (start <= n) {
        qsizetype end = start;
        while (end < n && f.plain[end] != u'\r' && f.plain[end] != u'\n')
            ++end;
        const TextFormatData& first =
            start < qsizetype(f.chars.size()) ? f.chars[std::size_t(start)] : f.newFormat;
        html += QStringLiteral("<textformat leftmargin=\"%1\" rightmargin=\"%2\" indent=\"%3\" "
                               "blockindent=\"%4\" leading=\"%5\">%6")
                    .arg(first.leftMargin.value_or(0))
                    .arg(first.rightMargin.value_or(0))
                    .arg(first.indent.value_or(0))
                    .arg(first.blockIndent.value_or(0))
                    .arg(first.leading.value_or(0))
                    .arg(first.bullet.value_or(false)
                             ? QStringLiteral("<li>")
                             : QStringLiteral("<p align=\"%1\">")
                                   .arg(first.align.value_or(QStringLiteral("left"))));
        qsizetype i = start;
        while (i < end) {
            const TextFormatData& c = f.chars[std::size_t(i)];
            qsizetype j = i + 1;
            auto same = [&](const TextFormatData& o) {
                return o.font == c.font && o.size == c.size && o.color == c.color &&
                       o.bold == c.bold && o.italic == c.italic && o.underline == c.underline &&
                       o.letterSpacing == c.letterSpacing && o.kerning == c.kerning &&
                       o.url == c.url;
            };
            while (j < end && same(f.chars[std::size_t(j)]))
                ++j;
            QString run = escaped(f.plain.mid(i, j - i));
            if (c.underline.value_or(false))
                run = QStringLiteral("<u>") + run + QStringLiteral("</u>");
            if (c.italic.value_or(false))
                run = QStringLiteral("<i>") + run + QStringLiteral("</i>");
            if (c.bold.value_or(false))
                run = QStringLiteral("<b>") + run + QStringLiteral("</b>");
            if (!c.url.value_or(QString()).isEmpty())
                run = QStringLiteral("<a href=\"%1\" target=\"%2\">")
                          .arg(escaped(*c.url), escaped(c.target.value_or(QString()))) +
                      run + QStringLiteral("</a>");
            html += QStringLiteral("<font face=\"%1\" size=\"%2\" color=\"#%3\" "
                                   "letterSpacing=\"%4\" kerning=\"%5\">")
                        .arg(escaped(c.font.value_or(QString())))
                        .arg(c.size.value_or(12))
                        .arg(c.color.value_or(0), 6, 16, QLatin1Char('0'))
                        .arg(c.letterSpacing.value_or(0))
                        .arg(c.kerning.value_or(false) ? 1 : 0) +
                    run + QStringLiteral("</font>");
            i = j;
        }
        html += first.bullet.value_or(false) ? QStringLiteral("</li></textformat>")
                                             : QStringLiteral("</p></textformat>");
        start = end + 1;
    }
    return html;
}

void replaceText(FieldFormats& f, qsizetype begin, qsizetype end, const QString& text,
                 const TextFormatData& format) {
    const qsizetype n = f.plain.size();
    begin = std::clamp<qsizetype>(begin, 0, n);
    end = std::clamp<qsizetype>(end, begin, n);
    f.plain.replace(begin, end - begin, text);
    f.chars.erase(f.chars.begin() + begin, f.chars.begin() + end);
    f.chars.insert(f.chars.begin() + begin, std::size_t(text.size()), format);
}

bool restrictAllows(const std::optional<QString>& restrict, char32_t c) {
    if (!restrict)
        return true;
    const QString& r = * restrict;
    // Characters are allowed when the last list naming them includes them; a restrict that
    // starts with '^' allows everything it does not exclude.
    bool allowed = r.startsWith(u'^');
    bool excluding = false;
    const QList<uint> codes = r.toUcs4();
    for (qsizetype i = 0; i < codes.size(); ++i) {
        char32_t from = codes[i];
        if (from == '^') {
            excluding = !excluding;
            continue;
        }
        if (from == '\\' && i + 1 < codes.size())
            from = codes[++i];
        char32_t to = from;
        if (i + 2 < codes.size() && codes[i + 1] == '-') {
            to = codes[i + 2];
            if (to == '\\' && i + 3 < codes.size())
                to = codes[++i + 2];
            i += 2;
        }
        if (c >= from && c <= to)
            allowed = !excluding;
    }
    return allowed;
}

QString typeableText(const QString& typed, const std::optional<QString>& restrict, bool multiline,
                     qsizetype room) {
    QString out;
    const QList<uint> codes = typed.toUcs4();
    for (uint c : codes) {
        if (c == '\n' || c == '\r') {
            if (!multiline)
                continue;
            c = '\r';
        } else if (c < 0x20 || c == 0x7F) {
            continue; // control keys edit, they do not type
        } else if (!restrictAllows(restrict, c)) {
            continue;
        }
        const char32_t one = c;
        const QString s = QString::fromUcs4(&one, 1);
        if (out.size() + s.size() > room)
            break;
        out += s;
    }
    return out;
}

} // namespace swf
