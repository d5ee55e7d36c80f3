// ActionScript 3 text: the engine functions both script engines' TextFields share (HTML to
// text, formats to HTML and back, restrict, typing), TextField and TextFormat as scripts use
// them, metrics from the renderer's layout, script-made text on the stage's pixels, embedded
// fonts, and input: typing, TextEvent and change, focus events and the tab order.

#include "swf/avm2/display.h"
#include "swf/avm2/runtime.h"
#include "swf/movie.h"
#include "swf/render/guiapp.h"
#include "swf/render/paintercanvas.h"
#include "swf/render/renderer.h"
#include "swf/swf_writer.h"
#include "swf/textfields.h"
#include "tests/swf/avm2/scriptcalls.h"

#include <QPainter>
#include <gtest/gtest.h>

namespace {

using namespace swf::avm2;

// ---- The shared engine functions -------------------------------------------------------------

TEST(TextFields, HtmlToPlainReadsHtmlAsTheLayoutDoes) {
    EXPECT_EQ(swf::htmlToPlain("<p>one</p><p><b>two</b> &gt;</p>"), "one\rtwo >");
    EXPECT_EQ(swf::htmlToPlain("a<br>b<br/>"), "a\rb");
    EXPECT_EQ(swf::htmlToPlain("&lt;&amp;&quot;&apos;&nbsp;&#65;&#x42;&bogus;"),
              QString("<&\"'") + QChar(0xA0) + "AB&bogus;");
    EXPECT_EQ(swf::htmlToPlain("<li>x</li><li>y</li>"), "x\ry");
    EXPECT_EQ(swf::htmlToPlain("<p></p>"), "");
    EXPECT_EQ(swf::htmlToPlain("cut <font"), "cut ");
}

TEST(TextFields, FormatsSurviveTheirHtml) {
    swf::TextFormatData base;
    base.font = "Times New Roman";
    base.size = 12;
    base.color = 0;
    base.bold = base.italic = base.underline = base.bullet = base.kerning = false;
    base.align = "left";
    base.url = base.target = "";
    base.leftMargin = base.rightMargin = base.indent = base.leading = base.blockIndent =
        base.letterSpacing = 0;
    swf::FieldFormats f;
    f.newFormat = base;
    swf::replaceText(f, 0, 0, "ab<c\rnext", base);
    swf::TextFormatData bold = base;
    bold.bold = true;
    bold.color = 0xFF0000;
    bold.size = 20;
    f.chars[1] = bold;
    f.chars[2] = bold;
    // The second paragraph centred (its first character carries the paragraph's format).
    for (std::size_t i = 5; i < f.chars.size(); ++i)
        f.chars[i].align = "center";
    const swf::FieldFormats back = swf::formatsFromHtml(swf::formatsToHtml(f), base);
    EXPECT_EQ(back.plain, f.plain);
    ASSERT_EQ(back.chars.size(), f.chars.size());
    EXPECT_EQ(back.chars[0].bold, false);
    EXPECT_EQ(back.chars[1].bold, true);
    EXPECT_EQ(back.chars[2].color, 0xFF0000u);
    EXPECT_EQ(back.chars[2].size, 20.0);
    EXPECT_EQ(back.chars[3].size, 12.0);
    EXPECT_EQ(back.chars[5].align, "center");
    EXPECT_EQ(back.chars[0].align, "left");
    // What a range shares; what differs is unset.
    const swf::TextFormatData common = swf::commonFormat(back.chars, 0, 3);
    EXPECT_FALSE(common.bold);
    EXPECT_EQ(common.font, "Times New Roman");
    // Replacing keeps the formats of what is left, and gives the new text the one asked for.
    swf::replaceText(f, 1, 2, "XYZ", base);
    EXPECT_EQ(f.plain, "aXYZ<c\rnext");
    ASSERT_EQ(f.chars.size(), 11u);
    EXPECT_EQ(f.chars[2].bold, false);
    EXPECT_EQ(f.chars[4].bold, true);
    EXPECT_EQ(f.chars[7].align, "center");
}

TEST(TextFields, RestrictAndTyping) {
    EXPECT_TRUE(swf::restrictAllows(std::nullopt, U'é'));
    EXPECT_FALSE(swf::restrictAllows(QString(""), U'a'));
    EXPECT_TRUE(swf::restrictAllows(QString("A-Z 0-9"), U'Q'));
    EXPECT_TRUE(swf::restrictAllows(QString("A-Z 0-9"), U' '));
    EXPECT_FALSE(swf::restrictAllows(QString("A-Z 0-9"), U'q'));
    EXPECT_FALSE(swf::restrictAllows(QString("^0-9"), U'5'));
    EXPECT_TRUE(swf::restrictAllows(QString("^0-9"), U'x'));
    // Lower case except vowels; an escaped '-' and '^' are characters.
    EXPECT_TRUE(swf::restrictAllows(QString("a-z^aeiou"), U'b'));
    EXPECT_FALSE(swf::restrictAllows(QString("a-z^aeiou"), U'e'));
    EXPECT_TRUE(swf::restrictAllows(QString("0-9\\-\\^"), U'-'));
    EXPECT_TRUE(swf::restrictAllows(QString("0-9\\-\\^"), U'^'));
    EXPECT_FALSE(swf::restrictAllows(QString("0-9\\-\\^"), U'a'));
    EXPECT_TRUE(swf::restrictAllows(QString("\u4e00-\u9fff"), U'中'));

    EXPECT_EQ(swf::typeableText("a\rb\n\tc", std::nullopt, false, 100), "abc");
    EXPECT_EQ(swf::typeableText("a\nb", std::nullopt, true, 100), "a\rb");
    EXPECT_EQ(swf::typeableText("12345", std::nullopt, false, 3), "123");
    EXPECT_EQ(swf::typeableText("a1b2", QString("0-9"), false, 100), "12");
    // A character outside the BMP is kept whole or not at all.
    EXPECT_EQ(
        swf::typeableText(QString("x") + QString::fromUcs4(U"\U0001F600"), std::nullopt, false, 2),
        "x");
}

// ---- TextField through the VM ----------------------------------------------------------------

// A movie that says it is ActionScript 3, with a DefineFont2 "Sans" (bold) whose 'A' and 'B'
// are squares filling the em.
swf::Result<std::shared_ptr<const swf::Movie>> textMovie() {
    using namespace swftest;
    constexpr std::int32_t K = Records::kKeep;
    Writer glyph;
    {
        Records r(glyph, 1, 0);
        r.style(K, 1, K, true, 0, -1024).hline(1024).vline(1024).hline(-1024).vline(-1024);
        r.end();
    }
    Writer f;
    f.u16(5).u8(0x80 | 0x08 | 0x04 | 0x01).u8(1).u8(4).bytes(Bytes{'S', 'a', 'n', 's'}).u16(2);
    const std::uint16_t first = 12; // two 32-bit glyph offsets and the code table's
    f.u32(first).u32(std::uint32_t(first + glyph.size()));
    f.u32(std::uint32_t(first + 2 * glyph.size()));
    f.bytes(glyph.data()).bytes(glyph.data());
    f.u16('A').u16('B');
    f.u16(1024).u16(0).u16(0); // ascent, descent, leading
    f.u16(1024).u16(1024);     // advances
    f.rect(0, 1024, -1024, 0).rect(0, 1024, -1024, 0);
    f.u16(0);
    const auto bytes =
        movie(concat({tag(69, Writer().u32(0x08)), tag(48, f), showFrame(), end()}), 1);
    return swf::Movie::load(bytes);
}

QStringList eventLog;
Value logEvent(VM& vm, const Value&, std::span<const Value> args) {
    const Value e = arg(args, 0);
    const Value current = vm.getProperty(e, vm.publicName("currentTarget"));
    QString line = vm.toString(vm.getProperty(e, vm.publicName("type"))) + ":" +
                   vm.toString(vm.getProperty(current, vm.publicName("name")));
    const Value text = vm.getProperty(e, vm.publicName("text"));
    if (text.isString())
        line += ":" + vm.toString(text);
    const Value related = vm.getProperty(e, vm.publicName("relatedObject"));
    if (related.isObject())
        line += ">" + vm.toString(vm.getProperty(related, vm.publicName("name")));
    eventLog << line;
    return Value();
}
Value refuseDigits(VM& vm, const Value&, std::span<const Value> args) {
    const Value e = arg(args, 0);
    if (vm.toString(vm.getProperty(e, vm.publicName("text"))).contains('7'))
        vm.callProperty(e, vm.publicName("preventDefault"), {});
    return Value();
}

struct Fixture : ScriptCalls<Fixture> {
    explicit Fixture(std::shared_ptr<const swf::Movie> movie)
        : runtime((ensureGuiApplication(), std::move(movie)), options()) {
        runtime.start();
        eventLog.clear();
    }
    RuntimeOptions options() {
        RuntimeOptions o;
        o.error = [this](const QString& l) { errors << l; };
        return o;
    }
    VM& vm() { return runtime.vm(); }
    Value root() { return Value(static_cast<Object*>(runtime.root())); }
    Value stage() { return get(root(), "stage"); }
    double num(const Value& o, const char* name) { return vm().toNumber(get(o, name)); }
    QString str(const Value& o, const char* name) { return vm().toString(get(o, name)); }
    Value field(const char* name, double x, double y) {
        const Value t = make("flash.text::TextField");
        set(t, "name", Value(name));
        set(t, "x", Value(x));
        set(t, "y", Value(y));
        call(root(), "addChild", {t});
        return t;
    }
    void listen(const Value& target, std::initializer_list<const char*> types) {
        listenWith(logEvent, target, types);
    }
    QImage picture() {
        QImage image(550, 400, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::white);
        QPainter painter(&image);
        swf::render::PainterCanvas canvas(painter);
        const auto& header = runtime.player().movie().header();
        renderer.render(runtime.player(), canvas,
                        swf::render::stageTransform(header.frameSize, QRectF(0, 0, 550, 400), 0));
        return image;
    }

    QStringList errors;
    Runtime runtime;
    swf::render::Renderer renderer;
};

// Pixels within `area` whose colour is near `rgb`.
int countNear(const QImage& image, QRect area, QRgb rgb) {
    int n = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x) {
            const QRgb p = image.pixel(x, y);
            n += std::abs(qRed(p) - qRed(rgb)) < 60 && std::abs(qGreen(p) - qGreen(rgb)) < 60 &&
                 std::abs(qBlue(p) - qBlue(rgb)) < 60;
        }
    return n;
}

TEST(Avm2Text, NewTextFieldDefaultsAndFormatsByRange) {
    auto movie = textMovie();
    ASSERT_TRUE(movie);
    Fixture f(*movie);
    VM& vm = f.vm();
    const Value t = f.make("flash.text::TextField");
    // A new field: 100 by 100, dynamic, empty, one line, in 12-point Times New Roman.
    EXPECT_EQ(f.num(t, "width"), 100);
    EXPECT_EQ(f.num(t, "height"), 100);
    EXPECT_EQ(f.str(t, "type"), "dynamic");
    EXPECT_EQ(f.str(t, "text"), "");
    EXPECT_EQ(f.str(t, "autoSize"), "none");
    EXPECT_EQ(f.num(t, "numLines"), 1);
    EXPECT_EQ(f.num(t, "scrollV"), 1);
    EXPECT_EQ(f.num(t, "maxScrollV"), 1);
    const Value def = f.get(t, "defaultTextFormat");
    EXPECT_EQ(f.str(def, "font"), "Times New Roman");
    EXPECT_EQ(f.num(def, "size"), 12);
    EXPECT_EQ(f.num(def, "color"), 0);
    EXPECT_EQ(f.get(def, "bold").tag, Value(false).tag);

    f.set(t, "text", Value("hello\nworld"));
    EXPECT_EQ(f.str(t, "text"), "hello\rworld"); // line ends read back as carriage returns
    EXPECT_EQ(f.num(t, "length"), 11);
    // new TextFormat(font, size, color, bold): what is not given is null.
    const Value red =
        f.make("flash.text::TextFormat", {Value::null(), Value(20), Value(0xFF0000), Value(true)});
    EXPECT_TRUE(f.get(red, "font").isNull());
    EXPECT_TRUE(f.get(red, "italic").isNull());
    f.call(t, "setTextFormat", {red, Value(1), Value(3)});
    EXPECT_EQ(f.num(f.call(t, "getTextFormat", {Value(1), Value(3)}), "size"), 20);
    EXPECT_TRUE(vm.toBoolean(f.get(f.call(t, "getTextFormat", {Value(2)}), "bold")));
    // Over a range with mixed values, those read null; shared ones keep theirs.
    const Value mixed = f.call(t, "getTextFormat", {Value(0), Value(3)});
    EXPECT_TRUE(f.get(mixed, "size").isNull());
    EXPECT_TRUE(f.get(mixed, "color").isNull());
    EXPECT_EQ(f.str(mixed, "font"), "Times New Roman");
    EXPECT_TRUE(f.get(f.call(t, "getTextFormat"), "bold").isNull());
    // One index: that character; out of range: RangeError.
    f.call(t, "setTextFormat", {f.make("flash.text::TextFormat", {Value("Arial")}), Value(0)});
    EXPECT_EQ(f.str(f.call(t, "getTextFormat", {Value(0), Value(1)}), "font"), "Arial");
    EXPECT_EQ(f.str(f.call(t, "getTextFormat", {Value(1), Value(2)}), "font"), "Times New Roman");
    EXPECT_THROW(f.call(t, "setTextFormat", {red, Value(5), Value(40)}), ScriptThrow);
    EXPECT_THROW(f.call(t, "getTextFormat", {Value(-2)}), ScriptThrow);
    // htmlText carries the formats: read back into another field, they are the same.
    const Value copy = f.make("flash.text::TextField");
    f.set(copy, "htmlText", f.get(t, "htmlText"));
    EXPECT_EQ(f.str(copy, "text"), "hello\rworld");
    EXPECT_EQ(f.num(f.call(copy, "getTextFormat", {Value(2)}), "color"), 0xFF0000);
    EXPECT_EQ(f.str(f.call(copy, "getTextFormat", {Value(0)}), "font"), "Arial");
    // New text takes defaultTextFormat, and appended text too.
    const Value big = f.make("flash.text::TextFormat", {Value::null(), Value(30)});
    f.set(t, "defaultTextFormat", big);
    EXPECT_EQ(f.num(f.get(t, "defaultTextFormat"), "size"), 30);
    EXPECT_EQ(f.str(f.get(t, "defaultTextFormat"), "font"), "Times New Roman");
    f.set(t, "text", Value("ab"));
    f.call(t, "appendText", {Value("c")});
    EXPECT_EQ(f.str(t, "text"), "abc");
    EXPECT_EQ(f.num(f.call(t, "getTextFormat"), "size"), 30);
    EXPECT_EQ(f.num(f.call(t, "getTextFormat"), "color"), 0);
    // textColor colours all of it.
    f.set(t, "textColor", Value(0x00FF00));
    EXPECT_EQ(f.num(f.call(t, "getTextFormat"), "color"), 0x00FF00);
    EXPECT_EQ(f.num(t, "textColor"), 0x00FF00);
    // Enumerations refuse what they do not know.
    EXPECT_THROW(f.set(t, "type", Value("bogus")), ScriptThrow);
    EXPECT_THROW(f.set(t, "autoSize", Value("bogus")), ScriptThrow);
    EXPECT_THROW(f.set(t, "text", Value::null()), ScriptThrow);
    EXPECT_TRUE(f.errors.isEmpty()) << f.errors.join('\n').toStdString();
}

TEST(Avm2Text, MetricsAutoSizeAndScrolling) {
    auto movie = textMovie();
    ASSERT_TRUE(movie);
    Fixture f(*movie);
    const Value t = f.field("t", 0, 0);
    f.set(t, "text", Value("x"));
    const double lineHeight = f.num(t, "textHeight");
    // 12-point type: a line a little taller than 12 pixels (the device font's ascent plus
    // descent), never less than the size and well under twice it.
    EXPECT_GE(lineHeight, 12);
    EXPECT_LT(lineHeight, 20);
    const Value m = f.call(t, "getLineMetrics", {Value(0)});
    EXPECT_DOUBLE_EQ(f.num(m, "height"),
                     f.num(m, "ascent") + f.num(m, "descent") + f.num(m, "leading"));
    EXPECT_EQ(f.num(m, "x"), 2); // the 2-pixel gutter
    EXPECT_DOUBLE_EQ(f.num(m, "width"), f.num(t, "textWidth"));
    EXPECT_THROW(f.call(t, "getLineMetrics", {Value(1)}), ScriptThrow);

    // Wrapped in a 100-pixel box, a long text takes several lines; each is no wider than the
    // box less its gutters, and the lines' text is the whole text again.
    QString words;
    for (int i = 0; i < 30; ++i)
        words += "word ";
    f.set(t, "wordWrap", Value(true));
    f.set(t, "text", Value(words.trimmed()));
    const int lines = f.vm().toInt32(f.get(t, "numLines"));
    EXPECT_GT(lines, 5);
    EXPECT_LE(f.num(t, "textWidth"), 96);
    EXPECT_NEAR(f.num(t, "textHeight"), lines * lineHeight, lines * 1.0);
    QString joined;
    for (int i = 0; i < lines; ++i)
        joined += f.vm().toString(f.call(t, "getLineText", {Value(i)}));
    EXPECT_EQ(joined.simplified(), words.simplified());
    // 100 pixels hold (100 - 4) / lineHeight whole lines; scrollV moves by lines, up to
    // maxScrollV, where the last line shows.
    const int shown = int((100 - 4) / lineHeight);
    EXPECT_EQ(f.vm().toInt32(f.get(t, "maxScrollV")), lines - shown + 1);
    f.set(t, "scrollV", Value(1000));
    EXPECT_EQ(f.vm().toInt32(f.get(t, "scrollV")), lines - shown + 1);
    EXPECT_EQ(f.vm().toInt32(f.get(t, "bottomScrollV")), lines);
    f.set(t, "scrollV", Value(0));
    EXPECT_EQ(f.vm().toInt32(f.get(t, "scrollV")), 1);

    // Width on a text field sizes its box; it does not scale the text.
    f.set(t, "width", Value(300));
    EXPECT_EQ(f.num(t, "width"), 300);
    EXPECT_EQ(f.num(t, "scaleX"), 1);
    EXPECT_LT(f.vm().toInt32(f.get(t, "numLines")), lines);

    // autoSize LEFT: the box fits the text (textWidth + 4) with its left edge kept; RIGHT keeps
    // the right edge, so x moves; with wordWrap only the height follows.
    const Value a = f.field("a", 100, 10);
    f.set(a, "text", Value("some text"));
    f.set(a, "autoSize", Value("left"));
    EXPECT_NEAR(f.num(a, "width"), f.num(a, "textWidth") + 4, 0.05);
    EXPECT_NEAR(f.num(a, "height"), f.num(a, "textHeight") + 4, 0.05);
    EXPECT_EQ(f.num(a, "x"), 100);
    const Value r = f.field("r", 100, 10);
    f.set(r, "text", Value("some text"));
    f.set(r, "autoSize", Value("right"));
    EXPECT_NEAR(f.num(r, "x") + f.num(r, "width"), 200, 0.05);
    f.set(r, "text", Value("some longer text"));
    EXPECT_NEAR(f.num(r, "x") + f.num(r, "width"), 200, 0.05);
    EXPECT_TRUE(f.errors.isEmpty()) << f.errors.join('\n').toStdString();
}

TEST(Avm2Text, ScriptMadeTextIsDrawnWithBackgroundBorderAndEmbeddedFont) {
    auto movie = textMovie();
    ASSERT_TRUE(movie);
    Fixture f(*movie);
    const QImage empty = f.picture();
    const Value t = f.field("t", 50, 50);
    f.set(t, "defaultTextFormat",
          f.make("flash.text::TextFormat", {Value::null(), Value(30), Value(0xFF0000)}));
    f.set(t, "text", Value("MMMM"));
    f.set(t, "autoSize", Value("left"));
    const QImage drawn = f.picture();
    const QRect box(50, 50, int(f.num(t, "width")), int(f.num(t, "height")));
    EXPECT_GT(countNear(drawn, box, qRgb(255, 0, 0)), 100); // red text in the box
    EXPECT_EQ(countNear(drawn, QRect(0, 0, 45, 400), qRgb(255, 0, 0)), 0);
    EXPECT_EQ(countNear(empty, box, qRgb(255, 0, 0)), 0);

    // Background and border, each in its own colour.
    const Value b = f.field("b", 300, 50);
    f.set(b, "width", Value(100));
    f.set(b, "height", Value(40));
    f.set(b, "background", Value(true));
    f.set(b, "backgroundColor", Value(0x0000FF));
    f.set(b, "border", Value(true));
    f.set(b, "borderColor", Value(0x00FF00));
    const QImage boxed = f.picture();
    EXPECT_GT(countNear(boxed, QRect(310, 60, 80, 20), qRgb(0, 0, 255)), 1500);
    // A one-pixel line on the box's edge, so half-covered pixels: green over the others.
    int green = 0;
    for (int x = 300; x <= 400; ++x)
        for (int y = 49; y <= 51; ++y) {
            const QRgb p = boxed.pixel(x, y);
            green += qGreen(p) - std::max(qRed(p), qBlue(p)) > 60;
        }
    EXPECT_GT(green, 80);

    // The movie's font by name: listed by enumerateFonts, and drawn with its square glyphs
    // when embedFonts is set (two 40-pixel squares, all filled).
    const Value fonts = f.call(f.vm().lookupDefinition("flash.text::Font"), "enumerateFonts");
    ASSERT_EQ(f.num(fonts, "length"), 1);
    const Value font = f.call(fonts, "pop");
    EXPECT_EQ(f.str(font, "fontName"), "Sans");
    EXPECT_EQ(f.str(font, "fontStyle"), "bold");
    EXPECT_EQ(f.str(font, "fontType"), "embedded");
    EXPECT_TRUE(f.vm().toBoolean(f.call(font, "hasGlyphs", {Value("ABBA")})));
    EXPECT_FALSE(f.vm().toBoolean(f.call(font, "hasGlyphs", {Value("ABC")})));
    const Value e = f.field("e", 50, 200);
    f.set(e, "embedFonts", Value(true));
    f.set(
        e, "defaultTextFormat",
        f.make("flash.text::TextFormat", {Value("Sans"), Value(40), Value(0x0000FF), Value(true)}));
    f.set(e, "text", Value("AB"));
    EXPECT_NEAR(f.num(e, "textWidth"), 80, 0.5);
    EXPECT_NEAR(f.num(e, "textHeight"), 40, 0.5);
    const QImage glyphs = f.picture();
    EXPECT_GT(countNear(glyphs, QRect(52 + 2, 202 + 2, 76, 36), qRgb(0, 0, 255)), 76 * 36 - 40);
    EXPECT_TRUE(f.errors.isEmpty()) << f.errors.join('\n').toStdString();
}

// A score shown every frame: each new text is a new generation of the field's definition, and
// the renderer keeps only the layout it draws (it once kept every one, 10 KB a picture).
TEST(Avm2Text, TextChangedEveryFrameKeepsOneLayout) {
    auto movie = textMovie();
    ASSERT_TRUE(movie);
    Fixture f(*movie);
    const Value t = f.field("score", 10, 10);
    for (int i = 0; i < 50; ++i) {
        f.set(t, "text", Value(QString::number(i * 7919)));
        (void)f.picture();
    }
    EXPECT_EQ(f.renderer.cachedTextLayouts(), 1u);
}

TEST(Avm2Text, TypingFocusAndTabOrder) {
    auto movie = textMovie();
    ASSERT_TRUE(movie);
    Fixture f(*movie);
    const Value a = f.field("a", 10, 10);
    const Value b = f.field("b", 10, 200);
    const Value d = f.field("d", 200, 10); // dynamic: takes no typing and no tab
    for (const Value& t : {a, b})
        f.set(t, "type", Value("input"));
    f.listen(f.stage(), {"focusIn", "focusOut", "textInput", "change", "keyDown"});

    // Typing without focus goes nowhere.
    f.runtime.textInput("x");
    EXPECT_EQ(f.str(a, "text"), "");
    // stage.focus: focusOut of the old focus, then focusIn of the new, each naming the other.
    const QImage unfocused = f.picture();
    f.set(f.stage(), "focus", a);
    EXPECT_EQ(eventLog.join(' '), "focusIn:null");
    eventLog.clear();
    // The focused input field shows its caret: a dark bar at the gutter, the line's height
    // (one pixel wide on a pixel edge, so grey).
    auto dark = [](const QImage& image) {
        int n = 0;
        for (int x = 11; x <= 13; ++x)
            for (int y = 12; y <= 22; ++y)
                n += qGray(image.pixel(x, y)) < 200;
        return n;
    };
    EXPECT_GE(dark(f.picture()), 8);
    EXPECT_EQ(dark(unfocused), 0);
    f.set(f.stage(), "focus", b);
    EXPECT_EQ(eventLog.join(' '), "focusOut:null>b focusIn:null>a");
    eventLog.clear();
    // Typed text: textInput (with the text) then change, both bubbling to the stage.
    f.runtime.keyDown(65, 'a');
    f.runtime.textInput("ab");
    EXPECT_EQ(f.str(b, "text"), "ab");
    EXPECT_EQ(eventLog.join(' '), "keyDown:null textInput:null:ab change:null");
    auto caretOf = [](const Value& v) { return static_cast<DisplayNode*>(v.object())->obj->caret; };
    EXPECT_EQ(caretOf(b), 2);
    EXPECT_EQ(caretOf(a), -1); // no longer focused
    eventLog.clear();
    // Chinese from an input method arrives committed, whole.
    f.runtime.textInput(QString::fromUtf8("中文"));
    EXPECT_EQ(f.str(b, "text"), QString::fromUtf8("ab中文"));
    EXPECT_EQ(f.num(b, "caretIndex"), 4);
    // Editing keys: Left, Backspace removes the character before the caret; Delete the one
    // after; each a change.
    f.runtime.keyDown(37, 0);
    f.runtime.keyDown(8, 8);
    EXPECT_EQ(f.str(b, "text"), QString::fromUtf8("ab文"));
    f.runtime.keyDown(46, 127);
    EXPECT_EQ(f.str(b, "text"), "ab");
    f.runtime.keyDown(36, 0); // Home
    f.runtime.textInput("<");
    EXPECT_EQ(f.str(b, "text"), "<ab");
    // restrict and maxChars hold back what they refuse.
    f.set(b, "restrict", Value("0-9"));
    f.set(b, "maxChars", Value(5));
    f.runtime.keyDown(35, 0); // End
    f.runtime.textInput("1x2345");
    EXPECT_EQ(f.str(b, "text"), "<ab12");
    // A listener that prevents textInput keeps the text out; no change follows.
    f.set(b, "maxChars", Value(0));
    const Value refuse = Value(static_cast<Object*>(f.vm().makeNative("refuse", refuseDigits)));
    f.call(b, "addEventListener", {Value("textInput"), refuse});
    eventLog.clear();
    f.runtime.textInput("7");
    EXPECT_EQ(f.str(b, "text"), "<ab12");
    EXPECT_EQ(eventLog.join(' '), "textInput:null:7");
    // A single-line field takes no line ends; a multiline one keeps them.
    f.set(b, "restrict", Value::null());
    f.runtime.textInput("\r");
    EXPECT_EQ(f.str(b, "text"), "<ab12");
    f.set(b, "multiline", Value(true));
    f.runtime.textInput("\r");
    EXPECT_EQ(f.str(b, "text"), "<ab12\r");

    // Tab: the fields by position (a above b); the dynamic field is left out. With tabIndex
    // set, only the objects that have one, by index.
    eventLog.clear();
    f.set(f.stage(), "focus", Value::null());
    f.runtime.keyDown(9, 9);
    EXPECT_TRUE(f.vm().strictEquals(f.get(f.stage(), "focus"), a));
    f.runtime.keyDown(9, 9);
    EXPECT_TRUE(f.vm().strictEquals(f.get(f.stage(), "focus"), b));
    // Reached by Tab, a field's text is all selected: typing replaces it.
    EXPECT_EQ(f.num(b, "selectionBeginIndex"), 0);
    EXPECT_EQ(f.num(b, "selectionEndIndex"), 6);
    f.runtime.keyDown(9, 9);
    EXPECT_TRUE(f.vm().strictEquals(f.get(f.stage(), "focus"), a));
    f.set(b, "tabIndex", Value(1));
    f.set(d, "tabIndex", Value(2));
    f.set(d, "tabEnabled", Value(true));
    f.set(a, "tabIndex", Value(3));
    std::vector<QString> visits;
    for (int i = 0; i < 3; ++i) {
        f.runtime.keyDown(9, 9);
        visits.push_back(f.str(f.get(f.stage(), "focus"), "name"));
    }
    EXPECT_EQ(visits, (std::vector<QString>{"b", "d", "a"}));
    // A click on a field focuses it; on nothing, the field loses the focus.
    f.runtime.mouseMove(QPointF(20 * 20, 220 * 20));
    f.runtime.mouseDown();
    f.runtime.mouseUp();
    EXPECT_TRUE(f.vm().strictEquals(f.get(f.stage(), "focus"), b));
    // The caret goes where the click was: before the first character, or past the last.
    f.runtime.mouseMove(QPointF(12 * 20, 208 * 20));
    f.runtime.mouseDown();
    f.runtime.mouseUp();
    EXPECT_EQ(f.num(b, "caretIndex"), 0);
    f.runtime.mouseMove(QPointF(100 * 20, 208 * 20));
    f.runtime.mouseDown();
    f.runtime.mouseUp();
    EXPECT_EQ(f.num(b, "caretIndex"), 5);
    f.runtime.mouseMove(QPointF(500 * 20, 380 * 20));
    f.runtime.mouseDown();
    f.runtime.mouseUp();
    EXPECT_TRUE(f.get(f.stage(), "focus").isNull());
    EXPECT_TRUE(f.errors.isEmpty()) << f.errors.join('\n').toStdString();
}

TEST(Avm2Text, SelectionClipboardLinesAndComposition) {
    auto movie = textMovie();
    ASSERT_TRUE(movie);
    Fixture f(*movie);
    const Value a = f.field("a", 10, 10);
    const Value b = f.field("b", 10, 200);
    f.set(a, "type", Value("input"));
    f.set(b, "type", Value("input"));
    f.set(a, "text", Value("hello world"));
    f.set(f.stage(), "focus", a);
    auto selection = [&](const Value& t) {
        return QString("%1-%2:%3")
            .arg(f.num(t, "selectionBeginIndex"))
            .arg(f.num(t, "selectionEndIndex"))
            .arg(f.str(t, "selectedText"))
            .toStdString();
    };
    // Shift with Left, Right, Home, End moves the caret; the other end stays.
    f.runtime.keyDown(36, 0); // Home
    f.runtime.keyDown(16, 0); // Shift down
    f.runtime.keyDown(39, 0);
    f.runtime.keyDown(39, 0);
    EXPECT_EQ(selection(a), "0-2:he");
    f.runtime.keyDown(35, 0); // Shift+End
    EXPECT_EQ(selection(a), "0-11:hello world");
    f.runtime.keyDown(37, 0);
    EXPECT_EQ(selection(a), "0-10:hello worl");
    f.runtime.keyUp(16, 0);
    // Typing replaces the selection.
    f.runtime.textInput("J");
    EXPECT_EQ(f.str(a, "text"), "Jd");
    // Ctrl+A selects everything; copying gives it, cutting takes it out (one change).
    f.set(a, "text", Value("one\rtwo"));
    f.runtime.keyDown(17, 0);
    f.runtime.keyDown(65, 'a');
    f.runtime.keyUp(17, 0);
    EXPECT_EQ(selection(a), "0-7:one\rtwo");
    EXPECT_EQ(f.runtime.selectedText(false), "one\ntwo"); // the system's line end
    f.listen(a, {"change"});
    eventLog.clear();
    EXPECT_EQ(f.runtime.selectedText(true), "one\ntwo");
    EXPECT_EQ(f.str(a, "text"), "");
    EXPECT_EQ(eventLog.join(' '), "change:a");
    // Password fields give nothing to the clipboard.
    f.set(a, "text", Value("secret"));
    f.set(a, "displayAsPassword", Value(true));
    f.call(a, "setSelection", {Value(0), Value(6)});
    EXPECT_EQ(f.runtime.selectedText(false), "");
    f.set(a, "displayAsPassword", Value(false));

    // Up and Down move between the lines of a multiline field, keeping across.
    f.set(a, "multiline", Value(true));
    f.set(a, "text", Value("abcdef\rabcdef\rabcdef"));
    f.call(a, "setSelection", {Value(9), Value(9)}); // line 2, after "ab"
    f.runtime.keyDown(38, 0);
    EXPECT_EQ(f.num(a, "caretIndex"), 2);
    f.runtime.keyDown(38, 0); // the first line: stays
    EXPECT_EQ(f.num(a, "caretIndex"), 2);
    f.runtime.keyDown(40, 0);
    f.runtime.keyDown(40, 0);
    EXPECT_EQ(f.num(a, "caretIndex"), 16);
    f.runtime.keyDown(16, 0);
    f.runtime.keyDown(38, 0); // Shift+Up selects the line's width
    f.runtime.keyUp(16, 0);
    EXPECT_EQ(selection(a), "9-16:cdef\rab");

    // The selection is drawn: a highlight behind the selected characters (pale blue, where
    // the text and its anti-aliasing are grey).
    auto highlighted = [](const QImage& image) {
        int n = 0;
        for (int y = 12; y < 22; ++y)
            for (int x = 12; x < 32; ++x) {
                const QRgb p = image.pixel(x, y);
                n += qBlue(p) > 200 && qBlue(p) - qRed(p) > 40;
            }
        return n;
    };
    f.set(a, "text", Value("MMMM"));
    f.call(a, "setSelection", {Value(0), Value(0)});
    EXPECT_EQ(highlighted(f.picture()), 0);
    f.call(a, "setSelection", {Value(0), Value(4)});
    EXPECT_GT(highlighted(f.picture()), 20);
    // Not focused: not shown, unless alwaysShowSelection.
    f.set(f.stage(), "focus", Value::null());
    EXPECT_EQ(highlighted(f.picture()), 0);
    f.set(a, "alwaysShowSelection", Value(true));
    EXPECT_GT(highlighted(f.picture()), 20);
    f.set(f.stage(), "focus", a);

    // Dragging the mouse across the text selects from the press to where it is.
    f.set(a, "text", Value("abcdefgh"));
    f.runtime.mouseMove(QPointF(12 * 20, 15 * 20));
    f.runtime.mouseDown();
    f.runtime.mouseMove(QPointF(300 * 20, 15 * 20));
    f.runtime.mouseUp();
    EXPECT_EQ(selection(a), "0-8:abcdefgh");

    // An input method's text shows at the caret before it is committed, not as the field's.
    f.call(a, "setSelection", {Value(8), Value(8)});
    const QImage before = f.picture();
    f.runtime.composeText(QString::fromUtf8("zhong"));
    EXPECT_EQ(f.str(a, "text"), "abcdefgh");
    EXPECT_NE(f.picture(), before);
    EXPECT_EQ(static_cast<DisplayNode*>(a.object())->obj->caret, 13);
    f.runtime.textInput(QString::fromUtf8("中"));
    EXPECT_EQ(f.str(a, "text"), QString::fromUtf8("abcdefgh中"));
    EXPECT_EQ(static_cast<DisplayNode*>(a.object())->obj->caret, 9);

    // Shift+Tab goes back through the tab order.
    f.runtime.keyDown(9, 9);
    EXPECT_TRUE(f.vm().strictEquals(f.get(f.stage(), "focus"), b));
    f.runtime.keyDown(16, 0);
    f.runtime.keyDown(9, 9);
    f.runtime.keyUp(16, 0);
    EXPECT_TRUE(f.vm().strictEquals(f.get(f.stage(), "focus"), a));
    EXPECT_TRUE(f.errors.isEmpty()) << f.errors.join('\n').toStdString();
}

// Home and End keep to the caret's line (Ctrl: the whole text), and a double click selects
// the word under the mouse; the editor is the one ActionScript 1 and 2 fields use.
TEST(Avm2Text, LineEndsAndWordsByDoubleClick) {
    auto movie = textMovie();
    ASSERT_TRUE(movie);
    Fixture f(*movie);
    const Value a = f.field("a", 10, 10);
    f.set(a, "type", Value("input"));
    f.set(a, "multiline", Value(true));
    f.set(a, "text", Value("one two\rthree four"));
    f.set(f.stage(), "focus", a);
    auto selection = [&] {
        return QString("%1-%2")
            .arg(f.num(a, "selectionBeginIndex"))
            .arg(f.num(a, "selectionEndIndex"))
            .toStdString();
    };
    f.call(a, "setSelection", {Value(10), Value(10)}); // in "three"
    f.runtime.keyDown(36, 0);
    EXPECT_EQ(f.num(a, "caretIndex"), 8);
    f.runtime.keyDown(35, 0);
    EXPECT_EQ(f.num(a, "caretIndex"), 18);
    f.call(a, "setSelection", {Value(2), Value(2)});
    f.runtime.keyDown(35, 0); // the first line ends before its line end
    EXPECT_EQ(f.num(a, "caretIndex"), 7);
    f.runtime.keyDown(16, 0);
    f.runtime.keyDown(36, 0); // Shift+Home selects back to the line's start
    EXPECT_EQ(selection(), "0-7");
    f.runtime.keyDown(17, 0);
    f.runtime.keyDown(35, 0); // Ctrl+Shift+End: to the end of the text
    f.runtime.keyUp(17, 0);
    f.runtime.keyUp(16, 0);
    EXPECT_EQ(selection(), "7-18");
    f.runtime.keyDown(17, 0);
    f.runtime.keyDown(36, 0);
    f.runtime.keyUp(17, 0);
    EXPECT_EQ(f.num(a, "caretIndex"), 0);

    // A double click past the end of the first line selects its last word.
    f.runtime.mouseMove(QPointF(100 * 20, 15 * 20));
    f.runtime.mouseDown();
    f.runtime.mouseUp();
    f.runtime.mouseDown();
    f.runtime.mouseDoubleClick();
    f.runtime.mouseUp();
    EXPECT_EQ(f.str(a, "selectedText"), "two");
    EXPECT_TRUE(f.errors.isEmpty()) << f.errors.join('\n').toStdString();
}

// A style sheet shapes htmlText: tag and class selectors give colour and size, display:none
// hides; the sheet applies when set after the text, again when set after its styles changed,
// and not at all once removed. The field takes no typing while it has one, and reads back its
// htmlText as set.
TEST(Avm2Text, StyleSheetShapesHtmlText) {
    auto movie = textMovie();
    ASSERT_TRUE(movie);
    Fixture f(*movie);
    const Value t = f.field("t", 20, 20);
    f.set(t, "width", Value(500));
    f.set(t, "height", Value(300));
    f.set(t, "multiline", Value(true));
    f.set(t, "type", Value("input"));
    f.set(t, "text", Value("replaced")); // earlier text gives way to htmlText
    const QString html = "<p class='Big'>MMMM</p><p>MMMM<span class=\"secret\">hidden</span></p>";
    f.set(t, "htmlText", Value(html));
    const QRect firstLine(20, 20, 300, 45), secondLine(20, 70, 300, 40);
    QImage img = f.picture();
    EXPECT_EQ(countNear(img, QRect(0, 0, 550, 400), qRgb(255, 0, 0)), 0);

    const Value sheet = f.make("flash.text::StyleSheet");
    f.call(sheet, "parseCSS",
           {Value(".big { font-size: 36; color: #FF0000 } P { color: #0000ff }"
                  " .secret { display: none }")});
    f.set(t, "styleSheet", sheet);
    EXPECT_EQ(f.str(t, "text"), "MMMM\rMMMM");
    EXPECT_EQ(f.str(t, "htmlText"), html);
    const Value big = f.call(t, "getTextFormat", {Value(0), Value(1)});
    EXPECT_EQ(f.num(big, "size"), 36);
    EXPECT_EQ(f.num(big, "color"), 0xFF0000);
    EXPECT_EQ(f.num(f.call(t, "getTextFormat", {Value(6), Value(7)}), "color"), 0x0000FF);
    img = f.picture();
    EXPECT_GT(countNear(img, firstLine, qRgb(255, 0, 0)), 200);
    EXPECT_GT(countNear(img, QRect(20, 60, 300, 60), qRgb(0, 0, 255)), 50);

    // Not editable while it has a sheet, though its type stays input.
    f.set(f.stage(), "focus", t);
    f.runtime.textInput("x");
    EXPECT_EQ(f.str(t, "text"), "MMMM\rMMMM");
    EXPECT_EQ(f.str(t, "type"), "input");

    // Styles changed afterwards take effect when the sheet is set again.
    const Value green = f.vm().newObject();
    f.set(green, "color", Value("#00FF00"));
    f.set(green, "fontSize", Value(36));
    f.call(sheet, "setStyle", {Value(".BIG"), green});
    EXPECT_EQ(f.num(f.call(t, "getTextFormat", {Value(0), Value(1)}), "color"), 0xFF0000);
    f.set(t, "styleSheet", sheet);
    EXPECT_EQ(f.num(f.call(t, "getTextFormat", {Value(0), Value(1)}), "color"), 0x00FF00);
    img = f.picture();
    EXPECT_EQ(countNear(img, firstLine, qRgb(255, 0, 0)), 0);
    EXPECT_GT(countNear(img, firstLine, qRgb(0, 255, 0)), 200);

    // A new htmlText goes through the sheet too.
    f.set(t, "htmlText", Value("<span class='big'>MM</span><span class='secret'>x</span>"));
    EXPECT_EQ(f.str(t, "text"), "MM");
    EXPECT_EQ(f.str(t, "htmlText"), "<span class='big'>MM</span><span class='secret'>x</span>");

    // Removed: the text as the HTML says, hidden parts shown, typing again.
    f.set(t, "styleSheet", Value::null());
    EXPECT_EQ(f.str(t, "text"), "MMx");
    EXPECT_EQ(f.num(f.call(t, "getTextFormat", {Value(0), Value(1)}), "color"), 0);
    f.set(f.stage(), "focus", t);
    f.runtime.textInput("y");
    EXPECT_EQ(f.str(t, "text"), "MMxy");
    EXPECT_EQ(countNear(f.picture(), secondLine, qRgb(0, 0, 255)), 0);
    EXPECT_TRUE(f.errors.isEmpty()) << f.errors.join('\n').toStdString();
}

} // namespace
