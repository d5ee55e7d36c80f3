// Text fields scripts make and format (createTextField, TextFormat, a settable variable), and
// drawings used as masks or drawn under them.

#include "avm1_asm.h"
#include "script_helpers.h"
#include "swf/render/paintercanvas.h"
#include "swf/render/renderer.h"

#include <QImage>
#include <QPainter>
#include <gtest/gtest.h>

namespace {

using avm1test::Asm;
using avm1test::MovieRun;
using avm1test::oneFrame;
using swftest::Bytes;
using namespace avm1test::helpers;

// trace(a.b + " " + a.c + ...) of the members of a variable.
Asm& traceMembers(Asm& a, const std::string& object, std::initializer_list<std::string> names) {
    std::vector<std::function<void(Asm&)>> parts;
    bool first = true;
    for (const std::string& n : names) {
        a.getVar(object).str(n).op(0x4E);
        if (!first)
            a.op(0x47);
        if (&n != std::prev(names.end()))
            a.str(" ").op(0x47);
        first = false;
    }
    return a.trace();
}

TEST(Avm1TextField, CreatedFieldsTakeFormatsByRangeAndFollowANewVariable) {
    Asm a;
    a.invoke("this", "createTextField", {std::string("t"), 5.0, 10.0, 20.0, 100.0, 30.0}, true)
        .str("_name")
        .op(0x4E)
        .trace();
    traceMembers(a, "t", {"_x", "_y", "_width", "_height", "_name", "text", "variable"});
    a.set("t", "text", std::string("Hello world"));
    // new TextFormat("Arial", 20, 0xFF0000, true): the rest stays null.
    a.boolean(true).num(0xFF0000).num(20).str("Arial").num(4).str("TextFormat").op(0x40);
    a.str("fmt").op(0x4D).op(0x1D); // fmt = (swap) value
    traceMembers(a, "fmt", {"font", "size", "color", "bold", "italic", "align"});
    a.getVar("fmt").num(5).num(0).num(3).getVar("t").str("setTextFormat").op(0x52).op(0x17);
    a.str("whole").num(0).getVar("t").str("getTextFormat").op(0x52).op(0x1D);
    traceMembers(a, "whole", {"font", "size", "bold", "color", "align"});
    a.str("head").num(5).num(0).num(2).getVar("t").str("getTextFormat").op(0x52).op(0x1D);
    traceMembers(a, "head", {"font", "size", "bold", "color"});
    a.str("tail").num(6).num(1).getVar("t").str("getTextFormat").op(0x52).op(0x1D);
    traceMembers(a, "tail", {"font", "size", "bold", "italic"});
    traceMembers(a, "t", {"text", "length"});
    Asm two;
    two.set("t", "variable", std::string("score"));
    two.setVar("score", 42);
    two.op(0x07);
    const Bytes file = swftest::movie(
        swftest::concat({swftest::doAction(a.bytes()), swftest::showFrame(),
                         swftest::doAction(two.bytes()), swftest::showFrame(), swftest::end()}),
        2, 8);
    MovieRun run(file);
    EXPECT_EQ(run.traces,
              (QStringList{"t", "10 20 100 30 t  null", "Arial 20 16711680 true null null",
                           "null null null null left", "Arial 20 true 16711680",
                           "Times New Roman 12 false false", "Hello world 11"}));
    // The field shows its formats: the first word bold in Arial, the rest as it was.
    const swf::DisplayObject* t = run.player->root().displayList().byName("t");
    ASSERT_NE(t, nullptr);
    EXPECT_TRUE(t->text.contains(R"(<font face="Arial" size="20" color="#ff0000")"))
        << t->text.toStdString();
    EXPECT_TRUE(t->text.contains("<b>Hello</b>")) << t->text.toStdString();
    run.traces.clear();
    run.ticks(1);
    // The variable set after the field was told to follow it shows, formatted as new text.
    EXPECT_EQ(t->text.count("42"), 1) << t->text.toStdString();
    Asm check;
    traceMembers(check, "t", {"text", "variable"});
    run.scripting->vm().runBlock(check.bytes(), &run.player->root());
    EXPECT_EQ(run.traces, (QStringList{"42 score"}));
}

// A field on stage prints as its path, as a clip does: in trace and joined to a string.
TEST(Avm1TextField, FieldsPrintAsTheirPaths) {
    Asm a;
    a.invoke("this", "createTextField", {std::string("t"), 1.0, 0.0, 0.0, 100.0, 20.0});
    a.getVar("t").trace();
    a.invoke("this", "createEmptyMovieClip", {std::string("c"), 2.0});
    a.invoke("c", "createTextField", {std::string("u"), 1.0, 0.0, 0.0, 100.0, 20.0});
    a.str("in ").getVar("c").str("u").op(0x4E).op(0x47).trace(); // "in " + c.u
    MovieRun run(oneFrame(a));
    EXPECT_EQ(run.traces, (QStringList{"_level0.t", "in _level0.c.u"}));
}

QImage paint(const swf::Player& player) {
    QImage image(QSize(550, 400), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::black);
    QPainter painter(&image);
    swf::render::PainterCanvas canvas(painter);
    swf::render::Renderer renderer;
    renderer.render(player, canvas, QTransform::fromScale(0.05, 0.05));
    return image;
}

// clip.beginFill(color); a w x h rectangle at (x, y); clip.endFill()
void drawRect(Asm& a, const std::string& clip, double color, double x, double y, double w,
              double h) {
    a.invoke(clip, "beginFill", {color});
    a.invoke(clip, "moveTo", {x, y});
    a.invoke(clip, "lineTo", {x + w, y});
    a.invoke(clip, "lineTo", {x + w, y + h});
    a.invoke(clip, "lineTo", {x, y + h});
    a.invoke(clip, "lineTo", {x, y});
    a.invoke(clip, "endFill");
}

TEST(Avm1Drawing, DrawnMaskCutsDrawnContent) {
    // An empty sprite placed as a mask over depth 2 ("m"), another beneath it ("c"): the script
    // draws the mask's square and a large red rectangle in the masked clip.
    swftest::Writer mask;
    mask.u8(0x62).u16(1).u16(1).str("m").u16(2); // PlaceObject2: character, name, clip depth
    Asm a;
    drawRect(a, "m", 0, 0, 0, 50, 50);
    drawRect(a, "c", 0xFF0000, 0, 0, 200, 200);
    a.op(0x07);
    const Bytes file = swftest::movie(
        swftest::concat(
            {swftest::sprite(1, 1, swftest::concat({swftest::showFrame(), swftest::end()})),
             swftest::tag(26, mask), swftest::placeObject2(2, 1, 0, 0, false, "c"),
             swftest::doAction(a.bytes()), swftest::showFrame(), swftest::end()}),
        1, 8);
    MovieRun run(file);
    EXPECT_TRUE(run.warnings.isEmpty()) << run.warnings.join('\n').toStdString();
    const QImage image = paint(*run.player);
    EXPECT_EQ(image.pixel(25, 25), qRgb(255, 0, 0));       // inside the drawn mask
    EXPECT_EQ(image.pixel(100, 100), qRgb(255, 255, 255)); // drawn, but outside the mask
}

} // namespace
