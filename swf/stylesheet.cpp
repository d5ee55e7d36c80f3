#include "swf/stylesheet.h"

#include <algorithm>
#include <cmath>

namespace swf {

namespace {

// Past these a sheet is cut: each field with the sheet reads it again whenever it is set.
constexpr qsizetype kMaxCssText = qsizetype(1) << 20;
constexpr std::size_t kMaxRules = 4096;

QString unquoted(QString v) {
    v = v.trimmed();
    if (v.size() >= 2 && (v.front() == u'"' || v.front() == u'\'') && v.back() == v.front())
        v = v.mid(1, v.size() - 2);
    return v;
}

std::optional<std::uint32_t> cssColor(QString v) {
    v = v.trimmed();
    if (!v.startsWith(u'#'))
        return std::nullopt;
    v = v.mid(1);
    if (v.size() == 3)
        v = QString(v[0]) + v[0] + v[1] + v[1] + v[2] + v[2];
    bool ok = false;
    const std::uint32_t c = v.toUInt(&ok, 16);
    if (!ok || v.size() != 6)
        return std::nullopt;
    return c;
}

// "12", "12px" or "12pt" as pixels; Flash takes points as pixels.
std::optional<double> cssNumber(QString v) {
    v = v.trimmed().toLower();
    if (v.endsWith(QLatin1String("px")) || v.endsWith(QLatin1String("pt")))
        v.chop(2);
    bool ok = false;
    const double d = v.trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(d))
        return std::nullopt;
    return d;
}

std::optional<bool> keyword(const QString& v, const char* on, const char* off) {
    const QString k = v.trimmed().toLower();
    if (k == QLatin1String(on))
        return true;
    if (k == QLatin1String(off))
        return false;
    return std::nullopt;
}

} // namespace

QString cssPropertyName(const QString& cssName) {
    QString out;
    bool upper = false;
    for (const QChar c : cssName.trimmed().toLower()) {
        if (c == u'-') {
            upper = !out.isEmpty();
            continue;
        }
        out += upper ? c.toUpper() : c;
        upper = false;
    }
    // Names already in their script spelling (fontSize) keep it.
    if (!cssName.contains(u'-')) {
        static const char* const kNames[] = {
            "fontFamily",  "fontSize",  "fontStyle",      "fontWeight", "marginLeft",
            "marginRight", "textAlign", "textDecoration", "textIndent", "letterSpacing"};
        for (const char* n : kNames)
            if (out.compare(QLatin1String(n), Qt::CaseInsensitive) == 0)
                return QString::fromLatin1(n);
    }
    return out;
}

std::vector<CssRule> parseCssRules(const QString& text, bool* ok) {
    if (ok)
        *ok = true;
    auto fail = [&] {
        if (ok)
            *ok = false;
    };
    // Comments out in one pass: removing them one by one costs the square of the length.
    const QString source = text.left(kMaxCssText);
    QString css;
    css.reserve(source.size());
    for (qsizetype at = 0; at < source.size();) {
        const qsizetype start = source.indexOf(QLatin1String("/*"), at);
        if (start < 0) {
            css += QStringView(source).mid(at);
            break;
        }
        css += QStringView(source).mid(at, start - at);
        const qsizetype end = source.indexOf(QLatin1String("*/"), start + 2);
        at = end < 0 ? source.size() : end + 2;
    }
    std::vector<CssRule> rules;
    qsizetype pos = 0;
    while (pos < css.size()) {
        const qsizetype open = css.indexOf(u'{', pos);
        if (open < 0) {
            if (!css.mid(pos).trimmed().isEmpty())
                fail();
            break;
        }
        const qsizetype close = css.indexOf(u'}', open + 1);
        const qsizetype nextOpen = css.indexOf(u'{', open + 1);
        if (close < 0 || (nextOpen >= 0 && nextOpen < close) ||
            css.mid(pos, open - pos).contains(u'}')) {
            fail();
            break;
        }
        CssStyle props;
        for (const QString& decl : css.mid(open + 1, close - open - 1).split(u';')) {
            const qsizetype colon = decl.indexOf(u':');
            if (colon < 0)
                continue;
            const QString name = cssPropertyName(decl.left(colon));
            if (!name.isEmpty())
                props[name] = unquoted(decl.mid(colon + 1));
        }
        const QStringList selectors = css.mid(pos, open - pos).split(u',');
        bool any = false;
        for (const QString& sel : selectors) {
            const QString s = sel.simplified().toLower();
            if (s.isEmpty())
                continue;
            any = true;
            if (rules.size() < kMaxRules)
                rules.push_back({s, props});
        }
        if (!any)
            fail();
        pos = close + 1;
    }
    return rules;
}

bool StyleSheet::parseCss(const QString& text) {
    bool ok = true;
    for (CssRule& r : parseCssRules(text, &ok)) {
        CssStyle& into = m_styles[r.selector];
        for (auto& [name, value] : r.properties)
            into[name] = std::move(value);
    }
    return ok;
}

void StyleSheet::setStyle(const QString& name, const CssStyle& style) {
    m_styles[name.toLower()] = style;
}

void StyleSheet::removeStyle(const QString& name) {
    m_styles.erase(name.toLower());
}

const CssStyle* StyleSheet::style(const QString& name) const {
    const auto it = m_styles.find(name.toLower());
    return it == m_styles.end() ? nullptr : &it->second;
}

QStringList StyleSheet::names() const {
    QStringList out;
    for (const auto& s : m_styles)
        out << s.first;
    return out;
}

TextFormatData formatOfStyle(const CssStyle& style) {
    TextFormatData f;
    auto value = [&](const char* name) -> const QString* {
        const auto it = style.find(QString::fromLatin1(name));
        return it == style.end() || it->second.trimmed().isEmpty() ? nullptr : &it->second;
    };
    if (const QString* v = value("color"))
        f.color = cssColor(*v);
    if (const QString* v = value("fontFamily")) {
        const QString first = unquoted(v->section(u',', 0, 0));
        if (!first.isEmpty())
            f.font = first;
    }
    if (const QString* v = value("fontSize"))
        if (const auto d = cssNumber(*v); d && *d > 0)
            f.size = std::clamp(*d, 1.0, 2560.0);
    if (const QString* v = value("fontWeight"))
        f.bold = keyword(*v, "bold", "normal");
    if (const QString* v = value("fontStyle"))
        f.italic = keyword(*v, "italic", "normal");
    if (const QString* v = value("textDecoration"))
        f.underline = keyword(*v, "underline", "none");
    if (const QString* v = value("kerning"))
        f.kerning = keyword(*v, "true", "false");
    if (const QString* v = value("textAlign")) {
        const QString a = v->trimmed().toLower();
        if (a == QLatin1String("left") || a == QLatin1String("right") ||
            a == QLatin1String("center") || a == QLatin1String("justify"))
            f.align = a;
    }
    auto distance = [&](const char* name, std::optional<double>& out, double lo, double hi) {
        if (const QString* v = value(name))
            if (const auto d = cssNumber(*v))
                out = std::clamp(*d, lo, hi);
    };
    distance("marginLeft", f.leftMargin, 0, 720);
    distance("marginRight", f.rightMargin, 0, 720);
    distance("textIndent", f.indent, -720, 720);
    distance("leading", f.leading, -360, 720);
    distance("letterSpacing", f.letterSpacing, -100, 1000);
    return f;
}

CssDisplay displayOf(const CssStyle& style) {
    const auto it = style.find(QStringLiteral("display"));
    if (it == style.end())
        return CssDisplay::Unset;
    const QString d = it->second.trimmed().toLower();
    if (d == QLatin1String("none"))
        return CssDisplay::None;
    if (d == QLatin1String("block"))
        return CssDisplay::Block;
    if (d == QLatin1String("inline"))
        return CssDisplay::Inline;
    return CssDisplay::Unset;
}

} // namespace swf
