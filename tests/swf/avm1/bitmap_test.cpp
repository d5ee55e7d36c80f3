// ActionScript 2's picture API in hand-assembled movies: BitmapData and flash.geom as scripts
// see them, and what attachBitmap, beginBitmapFill, lineGradientStyle and draw put on stage.

#include "avm1_asm.h"
#include "swf/render/bitmapdrawer.h"
#include "swf/render/paintercanvas.h"
#include "swf/render/renderer.h"

#include <gtest/gtest.h>
#include <zlib.h>

namespace {

namespace op = swf::avm1::op;

using avm1test::Asm;
using avm1test::MovieRun;
using avm1test::oneFrame;
using swftest::Bytes;

using Arg = Asm::Arg;

// Pushes `new flash.<pkg>.<cls>(args...)`.
Asm& newObject(Asm& a, const std::string& pkg, const std::string& cls,
               std::initializer_list<Arg> args) {
    for (auto it = std::rbegin(args); it != std::rend(args); ++it)
        a.arg(*it);
    a.num(double(args.size())).getVar("flash").str(pkg).op(op::GetMember).str(cls);
    return a.op(op::NewMethod);
}

// name = new flash.<pkg>.<cls>(args...)
Asm& assignNew(Asm& a, const std::string& name, const std::string& pkg, const std::string& cls,
               std::initializer_list<Arg> args) {
    a.str(name);
    return newObject(a, pkg, cls, args).op(op::SetVariable);
}

// trace(object.method(args...))
Asm& traceCall(Asm& a, const std::string& object, const std::string& method,
               std::initializer_list<Arg> args = {}) {
    return a.invoke(object, method, args, true).trace();
}

void withDrawer(swf::avm1::Scripting& s) {
    s.vm().bitmapDrawer = std::make_shared<swf::render::RendererBitmapDrawer>();
}

// The stage drawn at one pixel per stage pixel.
QImage picture(MovieRun& run) {
    QImage img(550, 400, QImage::Format_ARGB32_Premultiplied);
    img.fill(0);
    QPainter p(&img);
    swf::render::PainterCanvas canvas(p, swf::render::Quality::High);
    swf::render::Renderer renderer;
    renderer.render(*run.player, canvas, QTransform::fromScale(1.0 / 20, 1.0 / 20));
    return img;
}

TEST(Avm1Bitmap, BitmapDataAndGeometryAsScriptsSeeThem) {
    Asm a;
    assignNew(a, "b", "display", "BitmapData", {4.0, 3.0, 1.0, double(0x80FF0000)});
    // A transparent bitmap's fill keeps its alpha.
    a.traceMember("b", "width").traceMember("b", "height").traceMember("b", "transparent");
    // getPixel32 answers a signed 32-bit number; getPixel the colour alone.
    traceCall(a, "b", "getPixel32", {0.0, 0.0});
    traceCall(a, "b", "getPixel", {0.0, 0.0});
    a.num(double(0xFF00FF00));
    newObject(a, "geom", "Rectangle", {1.0, 1.0, 10.0, 10.0});
    a.num(2).getVar("b").str("fillRect").op(op::CallMethod).op(op::Pop);
    traceCall(a, "b", "getPixel32", {3.0, 2.0});
    traceCall(a, "b", "getPixel32", {0.0, 0.0});
    // A size the player refuses gives an object whose width and height read -1, as does a
    // disposed one.
    assignNew(a, "bad", "display", "BitmapData", {0.0, 5.0});
    a.traceMember("bad", "width");
    a.str("c").num(0).getVar("b").str("clone").op(op::CallMethod).op(op::SetVariable);
    a.invoke("c", "dispose");
    a.traceMember("c", "width").traceMember("b", "width");
    // flash.geom: toString forms and arithmetic.
    assignNew(a, "r", "geom", "Rectangle", {10.0, 20.0, 30.0, 40.0});
    newObject(a, "geom", "Rectangle", {30.0, 50.0, 20.0, 20.0});
    a.num(1).getVar("r").str("union").op(op::CallMethod).trace();
    assignNew(a, "p", "geom", "Point", {3.0, 4.0});
    a.traceMember("p", "length");
    assignNew(a, "m", "geom", "Matrix", {2.0, 0.0, 0.0, 3.0, 20.0, 60.0});
    newObject(a, "geom", "Point", {1.0, 1.0});
    a.num(1).getVar("m").str("transformPoint").op(op::CallMethod).trace();
    assignNew(a, "ct", "geom", "ColorTransform", {});
    a.set("ct", "rgb", double(0x336699));
    a.traceMember("ct", "redOffset").traceMember("ct", "redMultiplier");
    MovieRun run(oneFrame(a));
    EXPECT_EQ(run.traces, (QStringList{"4", "3", "true", "-2130771968", "16711680", "-16711936",
                                       "-2130771968", "-1", "-1", "4", "(x=10, y=20, w=40, h=50)",
                                       "5", "(x=22, y=63)", "51", "0"}));
}

TEST(Avm1Bitmap, AttachedBitmapsAndBitmapFillsShowTheBitmapAsItIsNow) {
    Asm a;
    // A 10 x 10 red bitmap attached at (0, 0); a clip filled with a blue bitmap at x 20..30.
    assignNew(a, "red", "display", "BitmapData", {10.0, 10.0, 0.0, double(0xFF0000)});
    a.num(5).getVar("red").num(2).getVar("_root").str("attachBitmap").op(op::CallMethod);
    a.op(op::Pop);
    assignNew(a, "blue", "display", "BitmapData", {4.0, 4.0, 0.0, double(0x0000FF)});
    a.invoke("this", "createEmptyMovieClip", {"f", 6.0});
    a.getVar("blue").num(1).getVar("f").str("beginBitmapFill").op(op::CallMethod).op(op::Pop);
    a.invoke("f", "moveTo", {20.0, 0.0}).invoke("f", "lineTo", {30.0, 0.0});
    a.invoke("f", "lineTo", {30.0, 10.0}).invoke("f", "lineTo", {20.0, 10.0});
    a.invoke("f", "endFill");
    // An attached bitmap gives its clip its size.
    a.invoke("this", "createEmptyMovieClip", {"h", 7.0});
    a.num(1).getVar("red").num(2).getVar("h").str("attachBitmap").op(op::CallMethod).op(op::Pop);
    a.traceMember("h", "_width");
    a.set("h", "_x", 100.0);
    MovieRun run(oneFrame(a));
    EXPECT_EQ(run.traces, QStringList{"10"});
    QImage img = picture(run);
    EXPECT_EQ(img.pixel(105, 5), 0xFFFF0000u);
    EXPECT_EQ(img.pixel(5, 5), 0xFFFF0000u);
    EXPECT_EQ(img.pixel(25, 5), 0xFF0000FFu);
    EXPECT_EQ(img.pixel(40, 5), 0xFFFFFFFFu) << "the white stage beside them";

    // Changing the bitmaps afterwards changes what shows, without attaching again.
    Asm later;
    later.num(double(0x00FF00)).num(5).num(5).num(3).getVar("red").str("setPixel");
    later.op(op::CallMethod).op(op::Pop);
    later.num(double(0xFFFF00));
    newObject(later, "geom", "Rectangle", {0.0, 0.0, 4.0, 4.0});
    later.num(2).getVar("blue").str("fillRect").op(op::CallMethod).op(op::Pop);
    const Bytes code = later.bytes();
    run.scripting->vm().runBlock(code, &run.player->root());
    img = picture(run);
    EXPECT_EQ(img.pixel(5, 5), 0xFF00FF00u);
    EXPECT_EQ(img.pixel(4, 4), 0xFFFF0000u);
    EXPECT_EQ(img.pixel(25, 5), 0xFFFFFF00u);
}

TEST(Avm1Bitmap, DrawApplyFilterAndLineGradientStyle) {
    Asm a;
    // A clip with a red square at (0, 0)-(10, 10), drawn into a bitmap shifted by (5, 0).
    a.invoke("this", "createEmptyMovieClip", {"c", 1.0});
    a.invoke("c", "beginFill", {double(0xFF0000)});
    a.invoke("c", "moveTo", {0.0, 0.0}).invoke("c", "lineTo", {10.0, 0.0});
    a.invoke("c", "lineTo", {10.0, 10.0}).invoke("c", "lineTo", {0.0, 10.0});
    a.invoke("c", "endFill");
    assignNew(a, "b", "display", "BitmapData", {20.0, 20.0, 1.0, 0.0});
    newObject(a, "geom", "Matrix", {1.0, 0.0, 0.0, 1.0, 5.0, 0.0});
    a.getVar("c").num(2).getVar("b").str("draw").op(op::CallMethod).op(op::Pop);
    traceCall(a, "b", "getPixel", {7.0, 5.0});
    traceCall(a, "b", "getPixel32", {2.0, 5.0});
    // A blur of one opaque pixel spreads some of it to its neighbour; applyFilter answers 0.
    assignNew(a, "d", "display", "BitmapData", {9.0, 9.0, 1.0, 0.0});
    a.invoke("d", "setPixel32", {4.0, 4.0, double(0xFFFFFFFF)});
    newObject(a, "filters", "BlurFilter", {3.0, 3.0, 1.0});
    newObject(a, "geom", "Point", {0.0, 0.0});
    a.getVar("d").str("rectangle").op(op::GetMember).getVar("d").num(4).getVar("d");
    a.str("applyFilter").op(op::CallMethod).trace();
    a.str("px").num(3).num(4).num(2).getVar("d").str("getPixel32").op(op::CallMethod);
    a.op(op::SetVariable);
    a.getVar("px").num(0).op(op::Equals2).trace();
    // lineGradientStyle colours the current line with a gradient.
    a.invoke("this", "createEmptyMovieClip", {"g", 2.0});
    a.invoke("g", "lineStyle", {4.0});
    a.num(255).num(0).num(2).op(op::InitArray);
    a.num(100).num(100).num(2).op(op::InitArray);
    a.num(0x0000FF).num(0xFF0000).num(2).op(op::InitArray);
    a.str("linear").num(4).getVar("g").str("lineGradientStyle").op(op::CallMethod).op(op::Pop);
    a.invoke("g", "lineTo", {100.0, 0.0});
    MovieRun run(oneFrame(a), {}, withDrawer);
    EXPECT_EQ(run.traces, (QStringList{"16711680", "0", "0", "false"}));
    const swf::DisplayObject* g = run.player->root().displayList().byName("g");
    ASSERT_TRUE(g && g->clip() && g->clip()->drawing());
    const auto& layers = g->clip()->drawing()->geometry().layers;
    ASSERT_FALSE(layers.empty());
    ASSERT_FALSE(layers[0].strokes.empty());
    const swf::LineStyle& line = layers[0].strokes[0].style;
    EXPECT_TRUE(line.hasFill);
    EXPECT_EQ(line.fill.type, swf::FillType::LinearGradient);
    EXPECT_EQ(line.fill.gradient.stops.size(), 2u);
    EXPECT_EQ(line.width, 80);
}

// DefineBitsLossless (format 5: x, R, G, B per pixel) of `pixels`, exported as `name`.
Bytes exportedBitmap(std::uint16_t id, int w, int h, const std::vector<std::uint32_t>& pixels,
                     const std::string& name) {
    Bytes raw;
    for (std::uint32_t p : pixels)
        for (int shift : {24, 16, 8, 0})
            raw.push_back(std::uint8_t(p >> shift));
    uLongf size = compressBound(uLong(raw.size()));
    Bytes packed(size);
    compress(packed.data(), &size, raw.data(), uLong(raw.size()));
    packed.resize(size);
    swftest::Writer body;
    body.u16(id).u8(5).u16(std::uint16_t(w)).u16(std::uint16_t(h)).bytes(packed);
    swftest::Writer exports;
    exports.u16(1).u16(id);
    exports.bytes(Bytes(name.begin(), name.end())).u8(0);
    return swftest::concat({swftest::tag(20, body, true), swftest::tag(56, exports)});
}

TEST(Avm1Bitmap, LoadBitmapMakesABitmapOfALibraryImage) {
    Asm a;
    a.str("pic").str("pic").num(1).getVar("flash").str("display").op(op::GetMember);
    a.str("BitmapData").op(op::GetMember).str("loadBitmap").op(op::CallMethod);
    a.op(op::SetVariable);
    a.traceMember("pic", "width").traceMember("pic", "height");
    traceCall(a, "pic", "getPixel", {1.0, 0.0});
    a.str("none").str("missing").num(1).getVar("flash").str("display").op(op::GetMember);
    a.str("BitmapData").op(op::GetMember).str("loadBitmap").op(op::CallMethod);
    a.op(op::SetVariable);
    a.getVar("none").trace();
    const Bytes file = swftest::movie(
        swftest::concat({exportedBitmap(1, 2, 1, {0xFF102030, 0xFF405060}, "pic"),
                         swftest::doAction(a.bytes()), swftest::showFrame(), swftest::end()}));
    MovieRun run(file);
    EXPECT_EQ(run.traces, (QStringList{"2", "1", QString::number(0x405060), "undefined"}));
}

// object.method(args...) with arguments pushed by the given steps; the result is left on the
// stack.
Asm& callWith(Asm& a, const std::string& object, const std::string& method,
              std::vector<std::function<void(Asm&)>> args) {
    for (auto it = args.rbegin(); it != args.rend(); ++it)
        (*it)(a);
    return a.num(double(args.size())).getVar(object).str(method).op(op::CallMethod);
}

auto v(const std::string& name) {
    return [name](Asm& a) { a.getVar(name); };
}
auto n(double x) {
    return [x](Asm& a) { a.num(x); };
}
auto origin() {
    return [](Asm& a) { newObject(a, "geom", "Point", {0.0, 0.0}); };
}
auto rectOf(const std::string& bitmap) {
    return [bitmap](Asm& a) { a.getVar(bitmap).str("rectangle").op(op::GetMember); };
}

TEST(Avm1Bitmap, CompareAnswersItsCodesOrTheDifference) {
    Asm a;
    assignNew(a, "b", "display", "BitmapData", {3.0, 2.0, 1.0, double(0xFFFF8800)});
    assignNew(a, "other", "display", "BitmapData", {3.0, 2.0, 1.0, double(0xFFCC6600)});
    a.str("same").num(0).getVar("b").str("clone").op(op::CallMethod).op(op::SetVariable);
    callWith(a, "b", "compare", {v("same")}).trace();
    // Colours differ: this minus the other, per channel.
    a.str("d");
    callWith(a, "b", "compare", {v("other")}).op(op::SetVariable);
    traceCall(a, "d", "getPixel32", {2.0, 1.0});
    a.traceMember("d", "width");
    // One pixel differs: the others read 0; channels wrap below zero.
    a.invoke("same", "setPixel32", {1.0, 1.0, double(0xFF000000)});
    a.str("d");
    callWith(a, "b", "compare", {v("same")}).op(op::SetVariable);
    traceCall(a, "d", "getPixel32", {0.0, 0.0});
    traceCall(a, "d", "getPixel32", {1.0, 1.0});
    a.str("d");
    callWith(a, "same", "compare", {v("b")}).op(op::SetVariable);
    traceCall(a, "d", "getPixel32", {1.0, 1.0});
    // Only the alpha differs: 0xZZFFFFFF.
    assignNew(a, "white", "display", "BitmapData", {3.0, 2.0, 1.0, double(0xFFFFFFFF)});
    assignNew(a, "faint", "display", "BitmapData", {3.0, 2.0, 1.0, double(0x80FFFFFF)});
    a.str("d");
    callWith(a, "white", "compare", {v("faint")}).op(op::SetVariable);
    traceCall(a, "d", "getPixel32", {0.0, 0.0});
    // The codes: not a bitmap, disposed (either side), widths, then heights.
    callWith(a, "b", "compare", {n(5)}).trace();
    callWith(a, "b", "compare", {}).trace();
    a.str("gone").num(0).getVar("b").str("clone").op(op::CallMethod).op(op::SetVariable);
    a.invoke("gone", "dispose");
    callWith(a, "b", "compare", {v("gone")}).trace();
    callWith(a, "gone", "compare", {v("b")}).trace();
    assignNew(a, "wide", "display", "BitmapData", {4.0, 5.0});
    assignNew(a, "tall", "display", "BitmapData", {3.0, 5.0});
    callWith(a, "b", "compare", {v("wide")}).trace();
    callWith(a, "b", "compare", {v("tall")}).trace();
    MovieRun run(oneFrame(a, 8));
    EXPECT_EQ(run.traces, (QStringList{"0", QString::number(std::int32_t(0xFF332200)), "3", "0",
                                       QString::number(std::int32_t(0xFFFF8800)),
                                       QString::number(std::int32_t(0xFF017800)), "2147483647",
                                       "-1", "-1", "-2", "-2", "-3", "-4"}));
}

// How many pixels of `bitmap` are `argb`: threshold() counts them, writing the same colour.
Asm& traceCount(Asm& a, const std::string& bitmap, double argb) {
    callWith(a, bitmap, "threshold",
             {v(bitmap), rectOf(bitmap), origin(), [](Asm& x) { x.str("=="); }, n(argb), n(argb),
              n(double(0xFFFFFFFF)), [](Asm& x) { x.boolean(false); }});
    return a.trace();
}

TEST(Avm1Bitmap, PixelDissolveIsFixedBySeedAndChainsWithoutRepeating) {
    Asm a;
    const double red = double(0xFFFF0000), blue = double(0xFF0000FF);
    assignNew(a, "src", "display", "BitmapData", {10.0, 10.0, 0.0, double(0x0000FF)});
    assignNew(a, "dst", "display", "BitmapData", {10.0, 10.0, 0.0, double(0xFF0000)});
    a.str("s1");
    callWith(a, "dst", "pixelDissolve", {v("src"), rectOf("dst"), origin(), n(7), n(30)});
    a.op(op::SetVariable);
    traceCount(a, "dst", blue);
    a.str("s2");
    callWith(a, "dst", "pixelDissolve", {v("src"), rectOf("dst"), origin(), v("s1"), n(30)});
    a.op(op::SetVariable);
    traceCount(a, "dst", blue);
    callWith(a, "dst", "pixelDissolve", {v("src"), rectOf("dst"), origin(), v("s2"), n(40)});
    a.op(op::Pop);
    traceCount(a, "dst", blue);
    // The same seed dissolves the same pixels; another seed others.
    for (const auto& [name, seed] : {std::pair{"p", 7.0}, {"q", 7.0}, {"r", 8.0}}) {
        assignNew(a, name, "display", "BitmapData", {10.0, 10.0, 0.0, double(0xFF0000)});
        callWith(a, name, "pixelDissolve", {v("src"), rectOf(name), origin(), n(seed), n(30)});
        a.op(op::Pop);
    }
    callWith(a, "p", "compare", {v("q")}).trace();
    callWith(a, "p", "compare", {v("r")}).op(op::TypeOf).trace();
    // By default a thirtieth of the rectangle; a bitmap dissolving into itself takes the fill.
    assignNew(a, "few", "display", "BitmapData", {10.0, 10.0, 0.0, double(0xFF0000)});
    callWith(a, "few", "pixelDissolve", {v("src"), rectOf("few"), origin(), n(1)});
    a.op(op::Pop);
    traceCount(a, "few", red);
    assignNew(a, "self", "display", "BitmapData", {4.0, 4.0, 0.0, double(0xFF0000)});
    callWith(a, "self", "pixelDissolve",
             {v("self"), rectOf("self"), origin(), n(3), n(16), n(double(0xFF00FF00))});
    a.op(op::Pop);
    traceCount(a, "self", double(0xFF00FF00));
    MovieRun run(oneFrame(a, 8));
    EXPECT_EQ(run.traces, (QStringList{"30", "60", "100", "0", "object", "97", "16"}));
}

} // namespace
