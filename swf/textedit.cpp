#include "swf/textedit.h"

#include "swf/textfields.h"

#include <cmath>

namespace swf {

namespace {

// A character is a code point, or the line end "\r\n" of plain text: the caret never stands
// inside either, and one key deletes the whole.
bool pairAt(const QString& s, qsizetype i) {
    return i >= 0 && i + 1 < s.size() &&
           ((s[i].isHighSurrogate() && s[i + 1].isLowSurrogate()) ||
            (s[i] == u'\r' && s[i + 1] == u'\n'));
}
qsizetype previousChar(const QString& s, qsizetype i) {
    if (i >= 2 && i <= s.size() && pairAt(s, i - 2))
        return i - 2;
    return std::max<qsizetype>(0, i - 1);
}
qsizetype nextChar(const QString& s, qsizetype i) {
    if (pairAt(s, i))
        return i + 2;
    return std::min(s.size(), i + 1);
}
// An index inside "\r\n" moved to before it.
qsizetype outsidePair(const QString& s, qsizetype i) {
    return i > 0 && i < s.size() && s[i] == u'\n' && s[i - 1] == u'\r' ? i - 1 : i;
}

bool isWordChar(QChar c) {
    return c.isLetterOrNumber() || c == u'_' || c.isMark() || c.isSurrogate();
}

// Ctrl+Left and Ctrl+Right: to the start of the word before, or past the end of the next.
qsizetype previousWord(const QString& s, qsizetype i) {
    while (i > 0 && !isWordChar(s[i - 1]))
        --i;
    while (i > 0 && isWordChar(s[i - 1]))
        --i;
    return i;
}
qsizetype nextWord(const QString& s, qsizetype i) {
    while (i < s.size() && !isWordChar(s[i]))
        ++i;
    while (i < s.size() && isWordChar(s[i]))
        ++i;
    return i;
}

// The first and past-the-last caret index of the line holding `index`. Lines come from the
// layout; without one (no fonts to lay out with) the paragraphs stand for lines.
std::pair<qsizetype, qsizetype> lineExtent(const EditableText& f, qsizetype index) {
    const QString& t = f.text;
    const render::EditTextLayout l = f.layout ? f.layout() : render::EditTextLayout{};
    if (l.lines.empty()) {
        qsizetype from = index > 0 ? t.lastIndexOf(u'\r', index - 1) + 1 : 0;
        if (from < t.size() && from > 0 && t[from] == u'\n')
            ++from; // after a "\r\n"
        const qsizetype to = t.indexOf(u'\r', index);
        return {from, to < 0 ? t.size() : to};
    }
    const std::size_t i = lineOfIndex(l, index);
    const qsizetype from = std::clamp<qsizetype>(l.lines[i].firstChar, 0, t.size());
    if (i + 1 >= l.lines.size())
        return {from, t.size()};
    qsizetype to = std::clamp<qsizetype>(l.lines[i + 1].firstChar, from, t.size());
    // A paragraph's end, or the space a line wrapped at, is the last thing on the line: the
    // caret stops before it, so that it stays on this line.
    if (to > from && (t[to - 1] == u'\r' || t[to - 1].isSpace()))
        to = outsidePair(t, to - 1);
    return {from, to};
}

// The caret stop on the line above (-1) or below (+1) the caret nearest to it across; the
// caret itself on the first or last line.
qsizetype lineStep(const EditableText& f, qsizetype caret, int direction) {
    if (!f.layout)
        return caret;
    const render::EditTextLayout l = f.layout();
    if (l.lines.empty())
        return caret;
    const std::size_t at = lineOfIndex(l, caret);
    if ((direction < 0 && at == 0) || (direction > 0 && at + 1 >= l.lines.size()))
        return caret;
    const render::LaidOutLine& from = l.lines[at];
    const std::vector<double>& stops = from.stops;
    const double x =
        stops.empty()
            ? 0
            : stops[std::min<std::size_t>(
                  std::size_t(std::max<qsizetype>(0, caret - from.firstChar)), stops.size() - 1)];
    const render::LaidOutLine& to = l.lines[direction < 0 ? at - 1 : at + 1];
    std::size_t best = 0;
    for (std::size_t i = 1; i < to.stops.size(); ++i)
        if (std::abs(to.stops[i] - x) < std::abs(to.stops[best] - x))
            best = i;
    // A stop past the line's last character is the next line's first: stay before it.
    qsizetype index = to.firstChar + qsizetype(best);
    if (direction < 0 && index >= from.firstChar)
        index = std::max<qsizetype>(to.firstChar, from.firstChar - 1);
    return outsidePair(f.text, std::clamp<qsizetype>(index, 0, f.text.size()));
}

} // namespace

std::size_t lineOfIndex(const render::EditTextLayout& layout, qsizetype index) {
    std::size_t at = 0;
    for (std::size_t i = 0; i < layout.lines.size(); ++i)
        if (layout.lines[i].firstChar <= index)
            at = i;
    return at;
}

EditOutcome editKey(const EditableText& f, int keyCode, bool shift, bool ctrl) {
    using namespace keys;
    const QString& text = f.text;
    const qsizetype len = text.size();
    TextSelection s{outsidePair(text, std::clamp<qsizetype>(f.selection.anchor, 0, len)),
                    outsidePair(text, std::clamp<qsizetype>(f.selection.caret, 0, len))};
    EditOutcome out;
    out.selection = s;
    out.handled = true;
    // With Shift the caret moves and the anchor stays; without, a selection collapses.
    auto moveTo = [&](qsizetype to) {
        out.selection.caret = to;
        if (!shift)
            out.selection.anchor = to;
    };
    switch (keyCode) {
    case kLeft:
        if (ctrl)
            moveTo(previousWord(text, s.caret));
        else if (!shift && !s.empty())
            moveTo(s.begin());
        else
            moveTo(previousChar(text, s.caret));
        break;
    case kRight:
        if (ctrl)
            moveTo(nextWord(text, s.caret));
        else if (!shift && !s.empty())
            moveTo(s.end());
        else
            moveTo(nextChar(text, s.caret));
        break;
    case kHome:
        moveTo(ctrl ? 0 : lineExtent(f, s.caret).first);
        break;
    case kEnd:
        moveTo(ctrl ? len : lineExtent(f, s.caret).second);
        break;
    case kUp:
    case kDown:
        if (!f.multiline) {
            out.handled = false;
            break;
        }
        moveTo(lineStep(f, s.caret, keyCode == kUp ? -1 : 1));
        break;
    case kA:
        if (!ctrl) {
            out.handled = false;
            break;
        }
        out.selection = {0, len};
        break;
    case kBackspace:
    case kDelete: {
        if (!f.input) {
            out.handled = false;
            break;
        }
        qsizetype from = s.begin(), to = s.end();
        if (from == to) {
            if (keyCode == kBackspace)
                from = ctrl ? previousWord(text, from) : previousChar(text, from);
            else
                to = ctrl ? nextWord(text, to) : nextChar(text, to);
        }
        if (from != to)
            out.change = TextChange{from, to, QString()};
        out.selection = TextSelection::at(from);
        break;
    }
    default:
        out.handled = false;
        break;
    }
    return out;
}

EditOutcome typeInto(const EditableText& f, const QString& typed,
                     const std::optional<QString>& restrict, qsizetype maxChars,
                     qsizetype maxText) {
    EditOutcome out;
    const qsizetype len = f.text.size();
    const TextSelection s{std::clamp<qsizetype>(f.selection.anchor, 0, len),
                          std::clamp<qsizetype>(f.selection.caret, 0, len)};
    out.selection = s;
    if (!f.input)
        return out;
    out.handled = true;
    const qsizetype kept = len - (s.end() - s.begin());
    const qsizetype limit = maxChars > 0 ? std::min(maxChars, maxText) : maxText;
    const qsizetype room = std::max<qsizetype>(0, limit - kept);
    QString source = typed;
    source.replace(QLatin1String("\r\n"), QLatin1String("\r")); // one break, not two
    const QString add = typeableText(source, restrict, f.multiline, room);
    if (add.isEmpty())
        return out;
    out.change = TextChange{s.begin(), s.end(), add};
    out.selection = TextSelection::at(s.begin() + add.size());
    return out;
}

EditOutcome cutSelection(const EditableText& f) {
    EditOutcome out;
    const qsizetype len = f.text.size();
    const TextSelection s{std::clamp<qsizetype>(f.selection.anchor, 0, len),
                          std::clamp<qsizetype>(f.selection.caret, 0, len)};
    out.selection = s;
    if (!f.input || s.empty())
        return out;
    out.handled = true;
    out.change = TextChange{s.begin(), s.end(), QString()};
    out.selection = TextSelection::at(s.begin());
    return out;
}

TextSelection wordAt(const QString& text, qsizetype index) {
    const qsizetype len = text.size();
    if (len == 0)
        return {};
    qsizetype i = std::clamp<qsizetype>(index, 0, len);
    // Past the end, or at a line end, the word is the one before.
    if (i == len || (text[i] == u'\r' && i > 0))
        i = previousChar(text, i);
    const QChar c = text[i];
    if (c == u'\r')
        return TextSelection{i, i};
    qsizetype from = i, to = nextChar(text, i);
    if (isWordChar(c)) {
        while (from > 0 && isWordChar(text[from - 1]))
            --from;
        while (to < len && isWordChar(text[to]))
            ++to;
    } else if (c.isSpace()) {
        while (from > 0 && text[from - 1].isSpace() && text[from - 1] != u'\r')
            --from;
        while (to < len && text[to].isSpace() && text[to] != u'\r')
            ++to;
    }
    return TextSelection{from, to};
}

qsizetype indexAtPoint(const render::EditTextLayout& l, QPointF p, std::size_t firstLineShown,
                       qsizetype textLength) {
    if (l.lines.empty())
        return textLength;
    const std::size_t first = std::min(firstLineShown, l.lines.size() - 1);
    auto top = [](const render::LaidOutLine& line) { return line.baseline - line.ascent; };
    const double y = p.y() + top(l.lines[first]) - top(l.lines[0]);
    const render::LaidOutLine* line = &l.lines.back();
    for (const render::LaidOutLine& candidate : l.lines)
        if (y < candidate.baseline + candidate.descent) {
            line = &candidate;
            break;
        }
    std::size_t best = 0;
    for (std::size_t i = 1; i < line->stops.size(); ++i)
        if (std::abs(line->stops[i] - p.x()) < std::abs(line->stops[best] - p.x()))
            best = i;
    return std::clamp<qsizetype>(line->firstChar + qsizetype(best), 0, textLength);
}

} // namespace swf
