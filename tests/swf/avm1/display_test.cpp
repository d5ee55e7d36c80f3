// What scripts change on stage: drawn shapes, text fields and their variables, unload events,
// and the Stage object.

#include "avm1_asm.h"

#include <gtest/gtest.h>

namespace {

namespace op = swf::avm1::op;

using avm1test::Asm;
using avm1test::MovieRun;
using avm1test::oneFrame;
using swftest::Bytes;
using swftest::concat;
using swftest::doAction;
using swftest::end;
using swftest::showFrame;

const swf::DrawingShape* drawingOf(MovieRun& run, const QString& name) {
    const swf::DisplayObject* o = run.player->root().displayList().byName(name);
    return o && o->clip() ? o->clip()->drawing() : nullptr;
}

TEST(Avm1Drawing, FillsAndStrokesAreDrawnIntoTheClip) {
    Asm a;
    a.invoke("this", "createEmptyMovieClip", {"c", 1.0});
    a.invoke("c", "beginFill", {double(0xFF0000), 50.0});
    a.invoke("c", "lineStyle", {2.0, double(0x0000FF)});
    a.invoke("c", "moveTo", {10.0, 10.0});
    a.invoke("c", "lineTo", {50.0, 10.0});
    a.invoke("c", "curveTo", {60.0, 20.0, 50.0, 30.0});
    // endFill closes the outline back to (10, 10), stroked like the rest.
    a.invoke("c", "endFill");
    a.traceMember("c", "_width").traceMember("c", "_height");
    // Drawn shapes count for hit tests on the bounding box too.
    a.num(0).num(20).num(20).num(3).getVar("c").str("hitTest").op(op::CallMethod).trace();
    MovieRun run(oneFrame(a));
    // 10..55 wide (the curve peaks at x = 55) and 10..30 high, plus half the 2 px stroke.
    EXPECT_EQ(run.traces, (QStringList{"47", "22", "true"}));
    const swf::DrawingShape* d = drawingOf(run, "c");
    ASSERT_NE(d, nullptr);
    const auto& layers = d->geometry().layers;
    ASSERT_EQ(layers.size(), 1u);
    ASSERT_EQ(layers[0].fills.size(), 1u);
    ASSERT_EQ(layers[0].strokes.size(), 1u);
    const swf::FillPath& fill = layers[0].fills[0];
    EXPECT_EQ(fill.style.color, (swf::Rgba{255, 0, 0, 128}));
    EXPECT_TRUE(fill.path.contains(QPointF(30 * 20, 20 * 20)));
    EXPECT_FALSE(fill.path.contains(QPointF(5 * 20, 20 * 20)));
    const swf::StrokePath& stroke = layers[0].strokes[0];
    EXPECT_EQ(stroke.style.width, 40);
    EXPECT_EQ(stroke.style.color, (swf::Rgba{0, 0, 255, 255}));
    // The closing edge is stroked: the stroke ends where it began.
    EXPECT_EQ(stroke.path.currentPosition(), QPointF(200, 200));
}

TEST(Avm1Drawing, GradientsClearAndTheEdgeLimit) {
    Asm a;
    a.invoke("this", "createEmptyMovieClip", {"g", 1.0});
    // g.beginGradientFill("linear", [0xFF0000, 0x0000FF], [100, 0], [0, 255],
    //                     {matrixType: "box", x: 0, y: 0, w: 100, h: 50, r: 0});
    a.str("matrixType").str("box").str("x").num(0).str("y").num(0).str("w").num(100);
    a.str("h").num(50).str("r").num(0).num(6).op(op::InitObject);
    a.num(255).num(0).num(2).op(op::InitArray);
    a.num(0).num(100).num(2).op(op::InitArray);
    a.num(0x0000FF).num(0xFF0000).num(2).op(op::InitArray);
    a.str("linear").num(5).getVar("g").str("beginGradientFill").op(op::CallMethod).op(op::Pop);
    a.invoke("g", "lineTo", {100.0, 0.0}).invoke("g", "lineTo", {100.0, 50.0});
    a.invoke("g", "lineTo", {0.0, 50.0}).invoke("g", "endFill");
    // A runaway loop: for (i = 0; i < 150000; i++) d.lineTo(i % 100, 0);
    a.invoke("this", "createEmptyMovieClip", {"d", 2.0});
    a.setVar("i", 0).label("top");
    a.getVar("i").num(150000).op(op::Less2).op(op::Not).ifTrue("done");
    a.num(0)
        .getVar("i")
        .num(100)
        .op(op::Modulo)
        .num(2)
        .getVar("d")
        .str("lineTo")
        .op(op::CallMethod)
        .op(op::Pop);
    a.str("i").getVar("i").op(op::Increment).op(op::SetVariable).jump("top").label("done");
    // An unstroked outline measures by its corners.
    a.traceMember("g", "_width").traceMember("g", "_height");
    MovieRun run(oneFrame(a));
    EXPECT_EQ(run.traces, (QStringList{"100", "50"}));
    const swf::DrawingShape* g = drawingOf(run, "g");
    ASSERT_NE(g, nullptr);
    ASSERT_EQ(g->geometry().layers.size(), 1u);
    const swf::FillStyle& fill = g->geometry().layers[0].fills.at(0).style;
    EXPECT_EQ(fill.type, swf::FillType::LinearGradient);
    ASSERT_EQ(fill.gradient.stops.size(), 2u);
    EXPECT_EQ(fill.gradient.stops[1].ratio, 255);
    EXPECT_EQ(fill.gradient.stops[1].color, (swf::Rgba{0, 0, 255, 0}));
    // The gradient square spans the 100 x 50 px box, centred on it.
    EXPECT_EQ(fill.matrix.map(QPointF(-16384, -16384)), QPointF(0, 0));
    EXPECT_EQ(fill.matrix.map(QPointF(16384, 16384)), QPointF(2000, 1000));

    const swf::DrawingShape* d = drawingOf(run, "d");
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->edgeCount(), swf::DrawingShape::kMaxEdges);

    // clear() empties the drawing and moves the generation on, for caches.
    const std::uint64_t before = g->generation();
    run.player->root().displayList().byName("g")->clip()->editDrawing().clear();
    EXPECT_TRUE(g->empty());
    EXPECT_GT(g->generation(), before);
}

TEST(Avm1Drawing, AllDrawingsOfAPlayerShareOneEdgeBudget) {
    using swf::DrawingShape;
    std::size_t total = 0;
    auto fillUp = [](DrawingShape& d) {
        for (std::size_t i = 0; i <= DrawingShape::kMaxEdges; ++i)
            d.lineTo(QPointF(double(i % 7), 0));
    };
    std::vector<std::unique_ptr<DrawingShape>> shapes;
    for (std::size_t i = 0; i < DrawingShape::kMaxTotalEdges / DrawingShape::kMaxEdges; ++i) {
        shapes.push_back(std::make_unique<DrawingShape>(&total));
        fillUp(*shapes.back());
    }
    EXPECT_EQ(total, DrawingShape::kMaxTotalEdges);
    DrawingShape late(&total);
    late.lineTo({1, 1});
    EXPECT_EQ(late.edgeCount(), 0u);
    // Edges of a cleared or destroyed drawing are given back.
    shapes[0]->clear();
    shapes.pop_back();
    late.lineTo({1, 1});
    EXPECT_EQ(late.edgeCount(), 1u);
    EXPECT_EQ(total, DrawingShape::kMaxTotalEdges - 2 * DrawingShape::kMaxEdges + 1);
}

// DefineEditText 2 with a variable and an initial text, no font (a device font).
Bytes editText(std::uint16_t id, const std::string& variable, const std::string& initial,
               bool html = false) {
    swftest::Writer w;
    w.u16(id).rect(0, 4000, 0, 600).u8(0x80).u8(html ? 0x02 : 0x00).str(variable).str(initial);
    return swftest::tag(37, w);
}

TEST(Avm1TextField, FieldsShowTheirVariableAndScriptsChangeTheText) {
    Asm first;
    first.traceMember("field", "text").getVar("score").trace();
    Asm second;
    // The field gave its text to the unset variable after frame 1.
    second.getVar("score").trace();
    second.setVar("score", 42);
    Asm third;
    third.traceMember("field", "text");
    third.set("field", "text", "typed").getVar("score").trace();
    third.set("field", "_x", 15.0).set("field", "textColor", double(0x00FF00));
    third.traceMember("field", "_x").traceMember("field", "variable");
    third.traceMember("plain", "htmlText");
    third.set("plain", "htmlText", "<p>a &amp; b</p>").traceMember("plain", "text");
    const Bytes file = swftest::movie(
        concat({editText(1, "score", "7"), editText(2, "", "x", true),
                swftest::placeObject2(1, 1, 0, 0, false, "field"),
                swftest::placeObject2(2, 2, 0, 1000, false, "plain"), doAction(first.bytes()),
                showFrame(), doAction(second.bytes()), showFrame(), doAction(third.bytes()),
                showFrame(), swftest::tag(7, Bytes{}), showFrame(), end()}),
        4, 6);
    MovieRun run(file);
    run.ticks(2);
    EXPECT_EQ(run.traces,
              (QStringList{"7", "undefined", "7", "42", "typed", "15", "score", "x", "a & b"}));
    const swf::DisplayObject* field = run.player->root().displayList().byName("field");
    ASSERT_NE(field, nullptr);
    EXPECT_EQ(field->text, "typed");
    EXPECT_EQ(field->matrix.dx(), 300);
    EXPECT_EQ(field->textColor, (swf::Rgba{0, 255, 0, 255}));
    // Assigning the variable shows in the field by the next frame.
    Asm later;
    later.setVar("score", 99);
    run.scripting->vm().runBlock(Bytes(later.bytes()), &run.player->root());
    run.ticks(1);
    EXPECT_EQ(run.player->root().displayList().byName("field")->text, "99");
}

// PlaceObject2 of a named sprite with one clip action block.
Bytes placeWithEvent(std::uint16_t depth, std::uint16_t id, const std::string& name,
                     std::uint32_t events, const Asm& code) {
    swftest::Writer w;
    w.u8(0x80 | 0x20 | 0x02).u16(depth).u16(id).str(name);
    const Bytes actions = code.bytes();
    w.u16(0).u32(events).u32(events).u32(std::uint32_t(actions.size())).bytes(actions).u32(0);
    return swftest::tag(26, w);
}

TEST(Avm1Unload, HandlersRunWhenClipsLeaveTheStage) {
    const Bytes sprite = swftest::sprite(1, 1, concat({showFrame(), end()}));
    Asm unload;
    unload.str("unload ").getVar("_name").op(op::Add2).trace();
    Asm setup;
    // e = createEmptyMovieClip("e", 5); e.onUnload = function () { trace("onUnload " +
    // this._name); }; e.removeMovieClip(); trace("after");
    setup.invoke("this", "createEmptyMovieClip", {"e", 5.0});
    Asm body;
    body.str("onUnload ").getVar("this").str("_name").op(op::GetMember).op(op::Add2).trace();
    setup.getVar("e").str("onUnload").function("", body).op(op::SetMember);
    setup.invoke("e", "removeMovieClip");
    setup.str("after").trace();
    Asm frame2;
    frame2.str("frame 2").trace();
    const Bytes file =
        swftest::movie(concat({sprite, placeWithEvent(1, 1, "timelineClip", 0x04, unload),
                               doAction(setup.bytes()), showFrame(), swftest::removeObject2(1),
                               doAction(frame2.bytes()), showFrame(), end()}),
                       2, 6);
    MovieRun run(file);
    EXPECT_EQ(run.traces, (QStringList{"after", "onUnload e"}));
    run.traces.clear();
    run.ticks(1);
    EXPECT_EQ(run.traces, (QStringList{"unload timelineClip", "frame 2"}));
    EXPECT_TRUE(swf::PlayerScripting(*run.player).unloaded().empty());
    EXPECT_EQ(run.player->root().displayList().byName("timelineClip"), nullptr);
}

TEST(Avm1Unload, AClipWaitingForItsHandlerOutlivesItsParent) {
    // p = createEmptyMovieClip("p", 1); c = p.createEmptyMovieClip("c", 1);
    // c.onUnload = function () { trace(this._name + " " + typeof this._parent); };
    // c.removeMovieClip(); p.removeMovieClip();
    Asm a;
    a.str("p").num(1).str("p").num(2).getVar("this").str("createEmptyMovieClip").op(op::CallMethod);
    a.op(op::SetVariable);
    a.str("c").num(1).str("c").num(2).getVar("p").str("createEmptyMovieClip").op(op::CallMethod);
    a.op(op::SetVariable);
    Asm body;
    body.getVar("this").str("_name").op(op::GetMember).str(" ").op(op::Add2);
    body.getVar("this").str("_parent").op(op::GetMember).op(op::TypeOf).op(op::Add2).trace();
    a.getVar("c").str("onUnload").function("", body).op(op::SetMember);
    a.invoke("c", "removeMovieClip").invoke("p", "removeMovieClip");
    MovieRun run(oneFrame(a));
    EXPECT_EQ(run.traces, QStringList{"c undefined"});
    EXPECT_TRUE(swf::PlayerScripting(*run.player).unloaded().empty());
    EXPECT_TRUE(run.player->root().displayList().empty());
}

TEST(Avm1Stage, ScaleModeAlignAndResizeListeners) {
    Asm a;
    a.set("Stage", "scaleMode", "bogus").traceMember("Stage", "scaleMode");
    a.traceMember("Stage", "width");
    a.set("Stage", "scaleMode", "NOSCALE").traceMember("Stage", "scaleMode");
    a.set("Stage", "align", "tl").traceMember("Stage", "align");
    // listener = {}; listener.onResize = function () { trace(Stage.width + "x" + Stage.height); }
    a.str("listener").num(0).op(op::InitObject).op(op::DefineLocal);
    Asm body;
    body.getVar("Stage").str("width").op(op::GetMember).str("x").op(op::Add2);
    body.getVar("Stage").str("height").op(op::GetMember).op(op::Add2).trace();
    a.getVar("listener").str("onResize").function("", body).op(op::SetMember);
    a.str("listener").op(op::GetVariable);
    a.num(1).getVar("Stage").str("addListener").op(op::CallMethod).op(op::Pop);
    const Bytes file = oneFrame(a);
    auto movie = swf::Movie::load(file);
    ASSERT_TRUE(movie);
    swf::Player player(*movie);
    swf::avm1::Scripting scripting(player);
    QStringList traces, modes;
    scripting.hooks().trace = [&](const QString& s) { traces << s; };
    scripting.hooks().scaleModeChanged = [&](const QString& m) { modes << m; };
    scripting.afterAdvance();
    EXPECT_EQ(traces, (QStringList{"showAll", "550", "noScale", "LT"}));
    EXPECT_EQ(modes, QStringList{"noScale"});
    traces.clear();
    scripting.viewResized(QSizeF(640, 480));
    scripting.viewResized(QSizeF(640, 480)); // no change, no event
    EXPECT_EQ(traces, QStringList{"640x480"});
}

} // namespace
