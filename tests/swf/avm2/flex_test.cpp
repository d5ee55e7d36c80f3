// What Flex applications ask of the Flash API while they build their components: embedded
// images as Bitmap subclasses linked to library bitmaps, TextFormat subclasses that set the
// format's members, style sheets, opaque backgrounds and the stage's full-screen state.

#include "swf/avm2/abc.h"
#include "swf/avm2/display.h"
#include "swf/avm2/runtime.h"
#include "swf/movie.h"
#include "swf/swf_writer.h"
#include "tests/swf/avm2/abc_writer.h"
#include "tests/swf/avm2/scriptcalls.h"

#include <QByteArray>
#include <gtest/gtest.h>

namespace {

using namespace swf::avm2;

RuntimeOptions optionsWith(QStringList& errors, const std::function<void(bool)>& fullScreen) {
    RuntimeOptions o = drawingOptions(errors);
    o.fullScreenRequested = fullScreen;
    return o;
}

struct Fixture : ScriptCalls<Fixture> {
    explicit Fixture(std::shared_ptr<const swf::Movie> m = emptyAs3Movie(),
                     const std::function<void(bool)>& fullScreen = {})
        : movie(std::move(m)), runtime(movie, optionsWith(errors, fullScreen)) {
        runtime.start();
    }
    VM& vm() { return runtime.vm(); }
    Value number(double v) { return Value::number(v); }
    QString text(const Value& v) { return vm().toString(v); }

    std::shared_ptr<const swf::Movie> movie;
    QStringList errors;
    Runtime runtime;
};

swftest::Bytes doAbc(const std::vector<std::uint8_t>& abc) {
    swftest::Writer w;
    w.u32(0).str("lib");
    for (std::uint8_t b : abc)
        w.u8(b);
    return swftest::tag(82, w);
}

// Bitmap 2: 3 x 2 opaque red pixels (DefineBitsLossless2, ARGB), linked to `Pic`, a class
// extending flash.display.Bitmap whose constructor passes no pixels to Bitmap's, as Flex's
// BitmapAsset does.
std::shared_ptr<const swf::Movie> linkedBitmapMovie() {
    using namespace swftest;
    QByteArray argb;
    for (int i = 0; i < 6; ++i)
        argb.append("\xFF\xFF\x00\x00", 4);
    const QByteArray z = qCompress(argb).mid(4); // a zlib stream, without Qt's length
    Writer bits;
    bits.u16(2).u8(5).u16(3).u16(2);
    for (char c : z)
        bits.u8(std::uint8_t(c));
    auto m = swf::Movie::load(
        movie(concat({tag(69, Writer().u32(0x08)), tag(36, bits, true),
                      doAbc(avm2test::classAbc("Pic", "flash.display", "Bitmap")),
                      tag(76, Writer().u16(1).u16(2).str("Pic")), showFrame(), end()}),
              1));
    return m ? *m : nullptr;
}

TEST(Avm2Flex, BitmapClassLinkedToALibraryBitmapShowsItsPixels) {
    Fixture f(linkedBitmapMovie());
    ASSERT_TRUE(f.movie);
    const Value pic = f.make("Pic");
    const Value data = f.get(pic, "bitmapData");
    ASSERT_TRUE(data.object());
    EXPECT_EQ(f.vm().toInt32(f.get(data, "width")), 3);
    EXPECT_EQ(f.vm().toInt32(f.get(data, "height")), 2);
    EXPECT_EQ(f.vm().toUint32(f.call(data, "getPixel32", {f.number(2), f.number(1)})), 0xFFFF0000u);
    EXPECT_EQ(f.vm().toNumber(f.get(pic, "width")), 3);
    // A Bitmap of no linked class has none.
    EXPECT_TRUE(f.get(f.make("flash.display::Bitmap"), "bitmapData").isNull());
    EXPECT_TRUE(f.errors.isEmpty()) << f.errors.join('\n').toStdString();
}

// A sealed subclass of TextFormat (Flex's UITextFormat) sets the members TextFormat declares;
// members are not dynamic properties, so for-in finds none, and an undeclared name is refused.
TEST(Avm2Flex, TextFormatMembersAreDeclared) {
    Fixture f;
    const std::vector<std::uint8_t> abc =
        avm2test::classAbc("UIFormat", "flash.text", "TextFormat");
    auto parsed = Abc::parse(abc);
    ASSERT_TRUE(parsed);
    ASSERT_TRUE(f.vm().loadAbc(*parsed, true));
    const Value format = f.make("UIFormat");
    EXPECT_TRUE(f.get(format, "align").isNull());
    EXPECT_EQ(f.text(f.get(format, "display")), "block");
    f.set(format, "align", Value("center"));
    f.set(format, "size", f.number(14));
    EXPECT_EQ(f.text(f.get(format, "align")), "center");
    EXPECT_EQ(f.vm().toNumber(f.get(format, "size")), 14);

    const Value plain = f.make("flash.text::TextFormat", {Value("Arial"), f.number(12)});
    EXPECT_EQ(f.text(f.get(plain, "font")), "Arial");
    EXPECT_EQ(f.vm().toNumber(f.get(plain, "size")), 12);
    EXPECT_TRUE(f.get(plain, "bold").isNull());
    EXPECT_TRUE(plain.object()->dyn.empty());
    EXPECT_THROW(f.set(plain, "shadow", Value(true)), ScriptThrow);

    // A field takes the subclass's format.
    const Value field = f.make("flash.text::TextField");
    f.call(field, "setTextFormat", {format});
    f.set(field, "defaultTextFormat", format);
    EXPECT_EQ(f.text(f.get(f.get(field, "defaultTextFormat"), "align")), "center");
}

// StyleSheet: CSS rules by selector (lower case), properties in their ActionScript spelling,
// styles copied in and out, and `transform` to a TextFormat.
TEST(Avm2Flex, StyleSheetParsesAndTransformsStyles) {
    Fixture f;
    const Value sheet = f.make("flash.text::StyleSheet");
    f.call(sheet, "parseCSS",
           {Value("/* heading */ H1, .Note { font-size: 18px; color: #f00; font-weight: bold }\n"
                  "p { font-family: 'Times New Roman'; text-align: center; margin-left: 4 }\n"
                  "p { text-decoration: underline } broken { color: #00f")});
    const Value names = f.get(sheet, "styleNames");
    EXPECT_EQ(f.text(f.call(names, "join", {Value(",")})), "h1,.note,p");

    const Value h1 = f.call(sheet, "getStyle", {Value("H1")});
    EXPECT_EQ(f.text(f.get(h1, "fontSize")), "18px");
    EXPECT_EQ(f.text(f.get(h1, "color")), "#f00");
    // A copy: changing it leaves the sheet's style alone.
    f.set(h1, "color", Value("#000"));
    EXPECT_EQ(f.text(f.get(f.call(sheet, "getStyle", {Value("h1")}), "color")), "#f00");
    // A rule for a style already there adds to it.
    const Value p = f.call(sheet, "getStyle", {Value("p")});
    EXPECT_EQ(f.text(f.get(p, "fontFamily")), "Times New Roman");
    EXPECT_EQ(f.text(f.get(p, "textDecoration")), "underline");
    EXPECT_TRUE(f.call(sheet, "getStyle", {Value("broken")}).isNull());

    const Value heading = f.call(sheet, "transform", {f.call(sheet, "getStyle", {Value("h1")})});
    EXPECT_EQ(f.vm().toNumber(f.get(heading, "size")), 18);
    EXPECT_EQ(f.vm().toUint32(f.get(heading, "color")), 0xFF0000u);
    EXPECT_TRUE(f.vm().toBoolean(f.get(heading, "bold")));
    EXPECT_TRUE(f.get(heading, "italic").isNull());
    const Value para = f.call(sheet, "transform", {p});
    EXPECT_EQ(f.text(f.get(para, "font")), "Times New Roman");
    EXPECT_EQ(f.text(f.get(para, "align")), "center");
    EXPECT_EQ(f.vm().toNumber(f.get(para, "leftMargin")), 4);
    EXPECT_TRUE(f.vm().toBoolean(f.get(para, "underline")));

    // setStyle copies; null removes; clear empties.
    const Value style = f.vm().newObject();
    f.set(style, "color", Value("#0f0"));
    f.call(sheet, "setStyle", {Value("Em"), style});
    f.set(style, "color", Value("#fff"));
    EXPECT_EQ(f.text(f.get(f.call(sheet, "getStyle", {Value("em")}), "color")), "#0f0");
    f.call(sheet, "setStyle", {Value("em"), Value::null()});
    EXPECT_TRUE(f.call(sheet, "getStyle", {Value("em")}).isNull());
    f.call(sheet, "clear");
    EXPECT_EQ(f.vm().toInt32(f.get(f.get(sheet, "styleNames"), "length")), 0);

    // A field keeps the sheet it is given; anything else is refused.
    const Value field = f.make("flash.text::TextField");
    EXPECT_TRUE(f.get(field, "styleSheet").isNull());
    f.set(field, "styleSheet", sheet);
    EXPECT_EQ(f.get(field, "styleSheet").object(), sheet.object());
    EXPECT_THROW(f.set(field, "styleSheet", f.vm().newObject()), ScriptThrow);
    f.set(field, "styleSheet", Value::null());
    EXPECT_TRUE(f.get(field, "styleSheet").isNull());
}

TEST(Avm2Flex, OpaqueBackgroundAndEventArguments) {
    Fixture f;
    const Value s = f.make("flash.display::Sprite");
    EXPECT_TRUE(f.get(s, "opaqueBackground").isNull());
    f.set(s, "opaqueBackground", f.number(0x336699));
    EXPECT_EQ(f.vm().toUint32(f.get(s, "opaqueBackground")), 0x336699u);
    f.set(s, "opaqueBackground", Value::null());
    EXPECT_TRUE(f.get(s, "opaqueBackground").isNull());

    // The events' own argument after (type, bubbles, cancelable).
    const Value ev = f.make("flash.events::FullScreenEvent",
                            {Value("fullScreen"), Value(false), Value(false), Value(true)});
    EXPECT_TRUE(f.vm().toBoolean(f.get(ev, "fullScreen")));
    EXPECT_EQ(f.text(f.get(ev, "type")), "fullScreen");
    const Value http = f.make("flash.events::HTTPStatusEvent",
                              {Value("httpStatus"), Value(false), Value(false), f.number(404)});
    EXPECT_EQ(f.vm().toInt32(f.get(http, "status")), 404);
}

QStringList heard;
Value hear(VM& vm, const Value&, std::span<const Value> args) {
    const Value e = args.empty() ? Value() : args[0];
    heard << vm.toString(vm.getProperty(e, vm.publicName(QStringLiteral("type")))) + u' ' +
                 vm.toString(vm.getProperty(e, vm.publicName(QStringLiteral("fullScreen"))));
    return Value();
}

// stage.displayState drives the host's full-screen command (the window's, as fscommand's) and
// tells the stage's listeners with FullScreenEvent; a state not in StageDisplayState is refused.
TEST(Avm2Flex, DisplayStateAsksTheHostForFullScreen) {
    std::vector<bool> asked;
    Fixture f(emptyAs3Movie(), [&](bool on) { asked.push_back(on); });
    heard.clear();
    const Value stage = f.get(Value(static_cast<Object*>(f.runtime.root())), "stage");
    f.listenWith(hear, stage, {"fullScreen"});
    EXPECT_EQ(f.text(f.get(stage, "displayState")), "normal");
    f.set(stage, "displayState", Value("fullScreen"));
    EXPECT_EQ(f.text(f.get(stage, "displayState")), "fullScreen");
    f.set(stage, "displayState", Value("fullScreenInteractive")); // full screen already
    f.set(stage, "displayState", Value("normal"));
    f.set(stage, "displayState", Value("normal"));
    EXPECT_EQ(asked, std::vector<bool>({true, false}));
    EXPECT_EQ(heard, QStringList({"fullScreen true", "fullScreen false"}));
    EXPECT_THROW(f.set(stage, "displayState", Value("huge")), ScriptThrow);
    EXPECT_EQ(f.text(f.get(stage, "displayState")), "normal");

    // The window obeys the movie, then the user leaves full screen with the window's command:
    // the state follows and the movie hears of it once.
    heard.clear();
    f.set(stage, "displayState", Value("fullScreen"));
    f.runtime.fullScreenChanged(true);
    EXPECT_EQ(heard, QStringList({"fullScreen true"}));
    f.runtime.fullScreenChanged(false);
    EXPECT_EQ(f.text(f.get(stage, "displayState")), "normal");
    f.runtime.fullScreenChanged(false);
    EXPECT_EQ(heard, QStringList({"fullScreen true", "fullScreen false"}));

    // fscommand("fullscreen") asks the host as a projector obeys it; the state waits for it.
    const Value fscommand = f.vm().lookupDefinition(QStringLiteral("flash.system::fscommand"));
    const Value fsArgs[] = {Value("FullScreen"), Value(" TRUE")};
    f.vm().call(fscommand, Value(), fsArgs);
    EXPECT_EQ(asked, std::vector<bool>({true, false, true, true}));
    EXPECT_EQ(f.text(f.get(stage, "displayState")), "normal");
}

} // namespace
