// The editor both script engines' text fields share: keys, words, lines and typing limits, on
// hand-made layouts (so the line breaks are known) and on a real one.

#include "swf/render/guiapp.h"
#include "swf/textedit.h"

#include <gtest/gtest.h>

namespace {

using swf::EditableText;
using swf::TextSelection;
namespace keys = swf::keys;

// Lines starting at the given characters, each with a caret stop 100 twips apart.
swf::render::EditTextLayout lines(const QString& text, std::initializer_list<qsizetype> starts) {
    swf::render::EditTextLayout l;
    std::vector<qsizetype> s(starts);
    for (std::size_t i = 0; i < s.size(); ++i) {
        swf::render::LaidOutLine line;
        line.firstChar = s[i];
        line.baseline = 200 + 300 * double(i);
        line.ascent = 200;
        line.descent = 50;
        const qsizetype end = i + 1 < s.size() ? s[i + 1] : text.size();
        for (qsizetype c = s[i]; c <= end; ++c)
            line.stops.push_back(40 + 100 * double(c - s[i]));
        l.lines.push_back(line);
    }
    return l;
}

EditableText field(const QString& text, TextSelection selection, bool input = true,
                   std::initializer_list<qsizetype> starts = {0}) {
    EditableText f;
    f.text = text;
    f.selection = selection;
    f.input = input;
    f.multiline = true;
    const swf::render::EditTextLayout l = lines(text, starts);
    f.layout = [l] { return l; };
    return f;
}

TEST(TextEdit, HomeAndEndGoToTheLineAndWithCtrlToTheText) {
    // "one two " wrapped after the space, then a paragraph "three" after a line end.
    const QString text = "one two four\rthree";
    const auto at = [&](qsizetype caret) {
        return field(text, TextSelection::at(caret), true, {0, 8, 13});
    };
    // In the middle of the second line ("four"): Home to its start, End before the break.
    EXPECT_EQ(swf::editKey(at(10), keys::kHome, false, false).selection, TextSelection::at(8));
    EXPECT_EQ(swf::editKey(at(10), keys::kEnd, false, false).selection, TextSelection::at(12));
    // On the wrapped first line End stops before the space the line broke at.
    EXPECT_EQ(swf::editKey(at(2), keys::kEnd, false, false).selection, TextSelection::at(7));
    // The last line ends at the text's end.
    EXPECT_EQ(swf::editKey(at(14), keys::kEnd, false, false).selection, TextSelection::at(18));
    EXPECT_EQ(swf::editKey(at(14), keys::kHome, false, false).selection, TextSelection::at(13));
    // Ctrl: the ends of the whole text.
    EXPECT_EQ(swf::editKey(at(10), keys::kHome, false, true).selection, TextSelection::at(0));
    EXPECT_EQ(swf::editKey(at(10), keys::kEnd, false, true).selection, TextSelection::at(18));
    // Shift keeps the anchor and moves the caret.
    EXPECT_EQ(swf::editKey(at(10), keys::kHome, true, false).selection, (TextSelection{10, 8}));
    EXPECT_EQ(swf::editKey(at(10), keys::kEnd, true, true).selection, (TextSelection{10, 18}));
    // Without a layout (no fonts), paragraphs stand for lines.
    EditableText bare = at(15);
    bare.layout = nullptr;
    EXPECT_EQ(swf::editKey(bare, keys::kHome, false, false).selection, TextSelection::at(13));
    bare.selection = TextSelection::at(3);
    EXPECT_EQ(swf::editKey(bare, keys::kEnd, false, false).selection, TextSelection::at(12));
}

TEST(TextEdit, ArrowsWordsAndDeletion) {
    const QString text = "ab cd_e, f";
    auto key = [&](TextSelection s, int code, bool shift = false, bool ctrl = false) {
        return swf::editKey(field(text, s), code, shift, ctrl);
    };
    // Left and Right without Shift collapse a selection to its side.
    EXPECT_EQ(key({2, 5}, keys::kLeft).selection, TextSelection::at(2));
    EXPECT_EQ(key({5, 2}, keys::kRight).selection, TextSelection::at(5));
    EXPECT_EQ(key(TextSelection::at(0), keys::kLeft).selection, TextSelection::at(0));
    // Ctrl moves by words ('_' belongs to a word).
    EXPECT_EQ(key(TextSelection::at(0), keys::kRight, false, true).selection, TextSelection::at(2));
    EXPECT_EQ(key(TextSelection::at(2), keys::kRight, false, true).selection, TextSelection::at(7));
    EXPECT_EQ(key(TextSelection::at(10), keys::kLeft, false, true).selection, TextSelection::at(9));
    // Backspace and Delete take the character beside the caret, or the selection.
    auto change = [](const swf::EditOutcome& o) {
        return o.change ? QString("%1-%2").arg(o.change->from).arg(o.change->to) : QString("none");
    };
    EXPECT_EQ(change(key(TextSelection::at(3), keys::kBackspace)), "2-3");
    EXPECT_EQ(change(key(TextSelection::at(3), keys::kDelete)), "3-4");
    EXPECT_EQ(change(key({6, 3}, keys::kDelete)), "3-6");
    EXPECT_EQ(change(key(TextSelection::at(0), keys::kBackspace)), "none");
    EXPECT_EQ(change(key(TextSelection::at(10), keys::kDelete)), "none");
    EXPECT_EQ(change(key(TextSelection::at(7), keys::kBackspace, false, true)), "3-7");
    // A pair of surrogates is one character.
    const QString emoji = QString::fromUtf8("a\xF0\x9F\x98\x80");
    const auto o = swf::editKey(field(emoji, TextSelection::at(3)), keys::kBackspace, false, false);
    ASSERT_TRUE(o.change);
    EXPECT_EQ(o.change->from, 1);
    // A read-only field selects but does not delete; Ctrl+A selects all.
    EXPECT_FALSE(
        swf::editKey(field(text, TextSelection::at(3), false), keys::kBackspace, false, false)
            .change);
    EXPECT_EQ(key(TextSelection::at(3), keys::kA, false, true).selection, (TextSelection{0, 10}));
    EXPECT_FALSE(key(TextSelection::at(3), keys::kA).handled);
}

// "\r\n" in a field's text is one character to the caret: arrows step over it, keys delete it
// whole, and no step leaves the caret between its two halves.
TEST(TextEdit, ALineEndOfTwoCharactersIsOneForTheCaret) {
    const QString text = "ab\r\ncdefg";
    auto key = [&](qsizetype caret, int code, bool shift = false) {
        EditableText f = field(text, TextSelection::at(caret), true, {0, 4});
        return swf::editKey(f, code, shift, false);
    };
    EXPECT_EQ(key(2, keys::kRight).selection, TextSelection::at(4));
    EXPECT_EQ(key(4, keys::kLeft).selection, TextSelection::at(2));
    EXPECT_EQ(key(4, keys::kLeft, true).selection, (TextSelection{4, 2}));
    auto change = [](const swf::EditOutcome& o) {
        return o.change ? QString("%1-%2").arg(o.change->from).arg(o.change->to) : QString("none");
    };
    EXPECT_EQ(change(key(4, keys::kBackspace)), "2-4");
    EXPECT_EQ(change(key(2, keys::kDelete)), "2-4");
    // A caret a script left inside the pair counts as before it.
    EXPECT_EQ(key(3, keys::kRight).selection, TextSelection::at(4));
    // End of the first line stops before the line end; Up from far along the second line
    // comes to the same place.
    EXPECT_EQ(key(1, keys::kEnd).selection, TextSelection::at(2));
    EXPECT_EQ(key(8, keys::kUp).selection, TextSelection::at(2));
    // Without a layout the line still starts after the pair.
    EditableText bare = field(text, TextSelection::at(6));
    bare.layout = nullptr;
    EXPECT_EQ(swf::editKey(bare, keys::kHome, false, false).selection, TextSelection::at(4));
}

TEST(TextEdit, WordsUnderADoubleClick) {
    const QString text = "Hello, wide  world\rnext";
    EXPECT_EQ(swf::wordAt(text, 2), (TextSelection{0, 5}));
    EXPECT_EQ(swf::wordAt(text, 5), (TextSelection{5, 6}));    // the comma alone
    EXPECT_EQ(swf::wordAt(text, 11), (TextSelection{11, 13})); // the run of spaces
    EXPECT_EQ(swf::wordAt(text, 18), (TextSelection{13, 18})); // at the line end: the word before
    EXPECT_EQ(swf::wordAt(text, 23), (TextSelection{19, 23})); // past the end
    EXPECT_EQ(swf::wordAt(QString(), 4), (TextSelection{0, 0}));
    EXPECT_EQ(swf::wordAt(QString::fromUtf8("中文 ok"), 1), (TextSelection{0, 2}));
}

TEST(TextEdit, TypingKeepsToTheFieldsLimits) {
    EditableText f = field("abc", {1, 2});
    f.multiline = false;
    // Typed text replaces the selection; a line end is dropped from a single-line field.
    auto o = swf::typeInto(f, "X\rY", std::nullopt, 0, 1000);
    ASSERT_TRUE(o.change);
    EXPECT_EQ(o.change->with, "XY");
    EXPECT_EQ(o.change->from, 1);
    EXPECT_EQ(o.change->to, 2);
    EXPECT_EQ(o.selection, TextSelection::at(3));
    // maxChars counts what stays: "abc" less the selected "b" leaves room for two.
    o = swf::typeInto(f, "12345", std::nullopt, 4, 1000);
    EXPECT_EQ(o.change->with, "12");
    // restrict drops what it refuses; nothing left is no change.
    o = swf::typeInto(f, "a1b2", QString("0-9"), 0, 1000);
    EXPECT_EQ(o.change->with, "12");
    EXPECT_FALSE(swf::typeInto(f, "ab", QString("0-9"), 0, 1000).change);
    // A pasted Windows line end is one break in a multiline field.
    f.multiline = true;
    o = swf::typeInto(f, "1\r\n2", std::nullopt, 0, 1000);
    EXPECT_EQ(o.change->with, "1\r2");
    // Read-only fields take nothing; cutting from them changes nothing either.
    f.input = false;
    EXPECT_FALSE(swf::typeInto(f, "x", std::nullopt, 0, 1000).change);
    EXPECT_FALSE(swf::cutSelection(f).change);
    f.input = true;
    const auto cut = swf::cutSelection(f);
    ASSERT_TRUE(cut.change);
    EXPECT_EQ(cut.change->from, 1);
    EXPECT_EQ(cut.change->to, 2);
    // A selection that outlived a shorter text is clamped before use.
    f.selection = {50, 60};
    o = swf::typeInto(f, "!", std::nullopt, 0, 1000);
    EXPECT_EQ(o.change->from, 3);
}

TEST(TextEdit, PointsOnARealLayoutFindTheirCharacters) {
    ensureGuiApplication();
    swf::EditText e;
    e.bounds = swf::Rect{0, 4000, 0, 4000};
    e.fontHeight = 240;
    e.hasLayout = true;
    e.multiline = true;
    const QString text = "MMMM\rii";
    const auto l = swf::render::layoutEditText(e, text, false);
    ASSERT_EQ(l.lines.size(), 2u);
    const auto& first = l.lines[0];
    // Left of the text: the first character; right of a line: its end; below: the last line.
    EXPECT_EQ(swf::indexAtPoint(l, {0, first.baseline - 50}, 0, text.size()), 0);
    EXPECT_EQ(swf::indexAtPoint(l, {3900, first.baseline - 50}, 0, text.size()), 4);
    EXPECT_EQ(swf::indexAtPoint(l, {3900, 3900}, 0, text.size()), 7);
    // Between the second and third M.
    const double x = first.stops[2];
    EXPECT_EQ(swf::indexAtPoint(l, {x + 1, first.baseline - 50}, 0, text.size()), 2);
    // Scrolled by one line, the top of the box is the second line.
    EXPECT_EQ(swf::indexAtPoint(l, {0, first.baseline - 50}, 1, text.size()), 5);
    // Home and End on that layout: the line, not the text.
    EditableText f;
    f.text = text;
    f.selection = TextSelection::at(6);
    f.input = true;
    f.multiline = true;
    f.layout = [l] { return l; };
    EXPECT_EQ(swf::editKey(f, keys::kHome, false, false).selection, TextSelection::at(5));
    f.selection = TextSelection::at(2);
    EXPECT_EQ(swf::editKey(f, keys::kEnd, false, false).selection, TextSelection::at(4));
}

} // namespace
