// The user typing into ActionScript 1 and 2 text fields: the focus by mouse, Tab and
// Selection, the caret and selection, editing keys, the clipboard, the field's limits, its
// bound variable and its handlers.

#include "avm1_asm.h"
#include "script_helpers.h"
#include "swf/render/guiapp.h"
#include "swf/render/paintercanvas.h"
#include "swf/render/renderer.h"

#include <QPainter>
#include <gtest/gtest.h>

namespace {

using avm1test::Asm;
using avm1test::MovieRun;
using swftest::Bytes;
using namespace avm1test::helpers;
namespace op = swf::avm1::op;

// DefineEditText: a 200 x 30 pixel input field in the device font, bound to `variable`.
Bytes inputText(std::uint16_t id, const std::string& variable) {
    swftest::Writer w;
    w.u16(id).rect(0, 4000, 0, 600).u8(0x80).u8(0x00).str(variable).str("");
    return swftest::tag(37, w);
}

// Runs a script on the root now, as a handler would.
void run(MovieRun& m, const Asm& a) {
    m.scripting->vm().runBlock(Bytes(a.bytes()), &m.player->root());
}

// trace(Selection.getFocus() + " " + Selection.getBeginIndex() + " " + ...)
Asm traceSelection() {
    Asm a;
    traceJoined(a, {[](Asm& x) { x.invoke("Selection", "getFocus", {}, true); },
                    [](Asm& x) { x.invoke("Selection", "getBeginIndex", {}, true); },
                    [](Asm& x) { x.invoke("Selection", "getEndIndex", {}, true); },
                    [](Asm& x) { x.invoke("Selection", "getCaretIndex", {}, true); }});
    return a;
}

struct Keys {
    swf::avm1::Scripting& s;
    void press(int code, int ascii = 0) {
        s.keyDown(code, ascii);
        s.keyUp(code, ascii);
    }
    void withShift(int code) {
        s.keyDown(16, 0);
        press(code);
        s.keyUp(16, 0);
    }
    void click(double x, double y) {
        s.mouseMove(QPointF(x, y));
        s.mouseDown();
        s.mouseUp();
    }
};

TEST(Avm1TextInput, ClickTypeEditAndLeaveAFieldWithItsVariableAndHandlers) {
    ensureGuiApplication();
    Asm a;
    Asm changed, set, kill;
    traceJoined(changed, {text("changed"), member("tf", "text"), var("name")});
    traceJoined(set, {text("setFocus"), var("old")});
    traceJoined(kill, {text("killFocus"), var("next")});
    setHandler(a, "field", "onChanged", {"tf"}, changed);
    setHandler(a, "field", "onSetFocus", {"old"}, set);
    setHandler(a, "field", "onKillFocus", {"next"}, kill);
    const Bytes file = swftest::movie(
        swftest::concat({inputText(1, "name"), swftest::placeObject2(1, 1, 0, 0, false, "field"),
                         swftest::doAction(a.bytes()), swftest::showFrame(), swftest::end()}),
        1, 8);
    MovieRun m(file);
    Keys k{*m.scripting};
    const swf::DisplayObject* field = m.player->root().displayList().byName("field");
    ASSERT_NE(field, nullptr);
    EXPECT_EQ(field->caret, -1);

    // Typing before any field has the focus goes nowhere.
    m.scripting->textInput("x");
    run(m, traceSelection());
    EXPECT_EQ(m.traces, (QStringList{"null -1 -1 -1"}));
    m.traces.clear();

    // A click focuses the field: onSetFocus, the caret drawn, the I-beam over it.
    m.scripting->mouseMove(QPointF(50, 10));
    EXPECT_TRUE(m.scripting->overText());
    k.click(50, 10);
    EXPECT_EQ(m.traces, (QStringList{"setFocus null"}));
    EXPECT_EQ(field->caret, 0);
    m.traces.clear();

    // Typed text: onChanged after the variable already follows it.
    k.s.keyDown(65, 'a');
    m.scripting->textInput("ab");
    k.s.keyUp(65, 'a');
    k.press(8, 8); // Backspace
    m.scripting->textInput(QString::fromUtf8("c中"));
    EXPECT_EQ(m.traces, (QStringList{"changed ab ab", "changed a a",
                                     QString::fromUtf8("changed ac中 ac中")}));
    EXPECT_EQ(field->text, QString::fromUtf8("ac中"));
    EXPECT_EQ(field->caret, 3);
    m.traces.clear();

    // Home, then Shift+End selects the line; the selection is drawn and copied.
    k.press(36);
    k.withShift(35);
    run(m, traceSelection());
    EXPECT_EQ(m.traces, (QStringList{"_level0.field 0 3 3"}));
    EXPECT_EQ(field->selectionFrom, 0);
    EXPECT_EQ(field->selectionTo, 3);
    EXPECT_EQ(m.scripting->selectedText(false), QString::fromUtf8("ac中"));
    m.traces.clear();
    // Cutting takes it out: one change.
    EXPECT_EQ(m.scripting->selectedText(true), QString::fromUtf8("ac中"));
    EXPECT_EQ(m.traces, (QStringList{"changed  "}));
    m.traces.clear();

    // A variable set by a script shows in the field, and editing goes on from there.
    run(m, Asm().str("name").str("hello world").op(op::SetVariable));
    m.ticks(1);
    EXPECT_EQ(field->text, "hello world");
    // A double click selects the word under it (past the text: the last word).
    k.s.mouseMove(QPointF(190, 10));
    k.s.mouseDown();
    k.s.mouseUp();
    k.s.mouseDown();
    k.s.mouseDoubleClick();
    k.s.mouseUp();
    run(m, traceSelection());
    EXPECT_EQ(m.traces, (QStringList{"_level0.field 6 11 11"}));
    m.traces.clear();
    // Dragging from the start of the text to past its end selects all of it.
    k.s.mouseMove(QPointF(1, 10));
    k.s.mouseDown();
    k.s.mouseMove(QPointF(190, 10));
    k.s.mouseUp();
    run(m, traceSelection());
    EXPECT_EQ(m.traces, (QStringList{"_level0.field 0 11 11"}));
    m.traces.clear();

    // A click away from any field takes the focus: onKillFocus, no caret.
    k.click(300, 300);
    EXPECT_EQ(m.traces, (QStringList{"killFocus null"}));
    EXPECT_EQ(field->caret, -1);
    EXPECT_EQ(field->selectionFrom, -1);
    EXPECT_FALSE(m.scripting->overText());
    EXPECT_TRUE(m.warnings.isEmpty()) << m.warnings.join('\n').toStdString();
}

TEST(Avm1TextInput, ScriptMadeFieldsKeepTheirLimitsAndSelectionDrivesTheFocus) {
    ensureGuiApplication();
    Asm a;
    a.invoke("this", "createTextField", {std::string("t"), 1.0, 0.0, 100.0, 200.0, 40.0});
    a.invoke("this", "createTextField", {std::string("u"), 2.0, 0.0, 200.0, 200.0, 40.0});
    a.invoke("this", "createTextField", {std::string("d"), 3.0, 0.0, 0.0, 200.0, 40.0});
    a.set("t", "type", std::string("input")).set("u", "type", std::string("input"));
    a.set("t", "maxChars", 5.0).set("t", "restrict", std::string("a-z"));
    traceJoined(a, {member("t", "type"), member("t", "maxChars"), member("t", "restrict"),
                    member("u", "maxChars"), member("u", "restrict"), member("d", "type")});
    // A Selection listener hears every move of the focus.
    newObject(a, "lis", "Object");
    Asm heard;
    traceJoined(heard, {text("focus"), member("old", "_name"), member("now", "_name")});
    setHandler(a, "lis", "onSetFocus", {"old", "now"}, heard);
    a.getVar("lis").num(1).getVar("Selection").str("addListener").op(op::CallMethod).op(op::Pop);
    a.invoke("Selection", "setFocus", {std::string("_level0.t")}, true).trace();
    const Bytes file = swftest::movie(
        swftest::concat({swftest::doAction(a.bytes()), swftest::showFrame(), swftest::end()}), 1,
        8);
    MovieRun m(file);
    Keys k{*m.scripting};
    EXPECT_EQ(m.traces,
              (QStringList{"input 5 a-z null null dynamic", "focus undefined t", "true"}));
    m.traces.clear();
    const swf::DisplayObject* t = m.player->root().displayList().byName("t");
    const swf::DisplayObject* u = m.player->root().displayList().byName("u");
    ASSERT_TRUE(t && u);

    // restrict, then maxChars: "Hello123world" leaves "ellow".
    m.scripting->textInput("Hello123world");
    EXPECT_EQ(t->text, "ellow");
    // setSelection from a script; typing replaces what it selected.
    run(m, Asm().num(3).num(1).num(2).getVar("Selection").str("setSelection").op(op::CallMethod));
    m.scripting->textInput("x");
    EXPECT_EQ(t->text, "exow");
    // Enter breaks lines only in a multiline field.
    m.scripting->textInput("\r");
    EXPECT_EQ(t->text, "exow");
    run(m, Asm().set("t", "multiline", 1.0).set("t", "restrict", std::string("a-z\r")));
    m.scripting->textInput("\r");
    EXPECT_EQ(t->text, "ex\row");
    // Ctrl+A selects everything; a password field gives none of it to the clipboard.
    k.s.keyDown(17, 0);
    k.press(65, 'a');
    k.s.keyUp(17, 0);
    EXPECT_EQ(m.scripting->selectedText(false), "ex\now");
    run(m, Asm().set("t", "password", 1.0));
    EXPECT_EQ(m.scripting->selectedText(false), "");
    EXPECT_EQ(m.scripting->selectedText(true), "");
    EXPECT_EQ(t->text, "ex\row");

    // Tab: the input fields top to bottom (the dynamic field is left out), each reached with
    // its whole text selected; Shift+Tab goes back.
    k.press(9, 9);
    run(m, traceSelection());
    k.withShift(9);
    run(m, traceSelection());
    EXPECT_EQ(m.traces,
              (QStringList{"focus t u", "_level0.u 0 0 0", "focus u t", "_level0.t 0 5 5"}));
    m.traces.clear();
    // Selection.setFocus(null) takes the focus away; a name that is no field changes nothing.
    run(m, Asm().invoke("Selection", "setFocus", {std::string("_level0.nothing")}, true).trace());
    run(m, traceSelection());
    Asm none;
    none.rec(op::Push, {2}).num(1).getVar("Selection").str("setFocus").op(op::CallMethod).trace();
    run(m, none);
    run(m, traceSelection());
    EXPECT_EQ(m.traces, (QStringList{"false", "_level0.t 0 5 5", "focus t undefined", "true",
                                     "null -1 -1 -1"}));
    // The only warnings: the listener reading _name of no field (null), as a debug player says.
    for (const QString& w : m.warnings)
        EXPECT_TRUE(w.endsWith("has no property '_name'")) << w.toStdString();
}

} // namespace

namespace {

// DefineButton2 `id` showing shape `shape` in every state; its release runs `release`.
Bytes buttonWithRelease(std::uint16_t id, std::uint16_t shape, const Asm& release) {
    swftest::Writer b;
    b.u16(id).u8(0);
    const std::size_t offsetField = b.size();
    b.u16(0); // the distance to the actions, set below
    b.u8(0x0F).u16(shape).u16(1).matrix().cxform(true, {}, {}).u8(0);
    const std::size_t actionsAt = b.size();
    b.u16(0).u8(0x08).u8(0x00); // the last record: OverDownToOverUp
    for (std::uint8_t c : release.bytes())
        b.u8(c);
    Bytes body = b.data();
    body[offsetField] = std::uint8_t(actionsAt - offsetField);
    return swftest::tag(34, body);
}

QImage stage(const swf::Player& player) {
    QImage image(550, 400, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    QPainter painter(&image);
    swf::render::PainterCanvas canvas(painter);
    swf::render::Renderer().render(
        player, canvas,
        swf::render::stageTransform(player.movie().header().frameSize, QRectF(0, 0, 550, 400), 0));
    return image;
}

bool yellow(QRgb p) {
    return qRed(p) > 200 && qGreen(p) > 200 && qBlue(p) < 100;
}

} // namespace

// A button takes its place in the Tab order after the field above it, shows the yellow focus
// rectangle, and Enter or Space press it; the mouse, _focusrect, tabEnabled and tabIndex
// change that as in Flash Player.
TEST(Avm1TextInput, ButtonsTakeTheFocusByTabAndArePressedByEnterAndSpace) {
    ensureGuiApplication();
    Asm release, onPress, onRelease, set, kill;
    release.str("release").trace();
    onPress.str("onPress").trace();
    onRelease.str("onRelease").trace();
    traceJoined(set, {text("set"), member("old", "_name")});
    traceJoined(kill, {text("kill"), member("next", "_name")});
    Asm a;
    setHandler(a, "btn", "onPress", {}, onPress);
    setHandler(a, "btn", "onRelease", {}, onRelease);
    setHandler(a, "btn", "onSetFocus", {"old"}, set);
    setHandler(a, "btn", "onKillFocus", {"next"}, kill);
    const Bytes file = swftest::movie(
        swftest::concat({inputText(1, "name"), swftest::rectShape(3, 2000, 1000),
                         buttonWithRelease(4, 3, release),
                         swftest::placeObject2(1, 1, 0, 0, false, "field"),
                         swftest::placeObject2(2, 4, 0, 2000, false, "btn"),
                         swftest::doAction(a.bytes()), swftest::showFrame(), swftest::end()}),
        1, 8);
    MovieRun m(file);
    Keys k{*m.scripting};
    swf::avm1::VM& vm = m.scripting->vm();
    EXPECT_FALSE(m.player->focusRect());

    // The field lies above the button: it comes first.
    k.press(9);
    EXPECT_NE(vm.textFocus.field, nullptr);
    EXPECT_FALSE(m.player->focusRect());
    k.press(9);
    EXPECT_EQ(vm.textFocus.field, nullptr);
    ASSERT_NE(vm.buttonFocus, nullptr);
    EXPECT_EQ(m.traces, (QStringList{"set field"}));
    run(m, traceSelection());
    EXPECT_EQ(m.traces.last(), "_level0.btn -1 -1 -1");
    m.traces.clear();
    ASSERT_TRUE(m.player->focusRect());
    EXPECT_EQ(*m.player->focusRect(), QRectF(0, 2000, 2000, 1000));
    QImage img = stage(*m.player);
    EXPECT_TRUE(yellow(img.pixel(50, 99))) << std::hex << img.pixel(50, 99);
    EXPECT_TRUE(yellow(img.pixel(100, 125))) << std::hex << img.pixel(100, 125);
    EXPECT_EQ(img.pixel(50, 125), 0xFFFF0000u); // the button itself

    // Enter and Space: pressed and released, as a click would.
    k.press(13, 13);
    k.press(32, 32);
    EXPECT_EQ(m.traces,
              (QStringList{"onPress", "release", "onRelease", "onPress", "release", "onRelease"}));
    m.traces.clear();

    // _focusrect false: the focus stays, its rectangle goes; the movie's own setting counts
    // where the button has none.
    run(m, Asm().getVar("btn").str("_focusrect").boolean(false).op(op::SetMember));
    m.ticks(1);
    EXPECT_FALSE(m.player->focusRect());
    EXPECT_FALSE(yellow(stage(*m.player).pixel(50, 99)));
    run(m, Asm().getVar("btn").str("_focusrect").undef().op(op::SetMember));
    m.ticks(1);
    EXPECT_TRUE(m.player->focusRect());
    run(m, Asm().str("_focusrect").boolean(false).op(op::SetVariable));
    m.ticks(1);
    EXPECT_FALSE(m.player->focusRect());
    run(m, Asm().str("_focusrect").boolean(true).op(op::SetVariable));
    m.ticks(1);
    EXPECT_TRUE(m.player->focusRect());

    // A click elsewhere takes the focus and the rectangle away.
    k.click(400, 300);
    EXPECT_EQ(vm.buttonFocus, nullptr);
    EXPECT_FALSE(m.player->focusRect());
    EXPECT_EQ(m.traces, (QStringList{"kill undefined"}));
    m.traces.clear();

    // Selection.setFocus gives a button the focus too.
    Asm focus;
    focus.getVar("btn").num(1).str("Selection").op(op::GetVariable).str("setFocus");
    focus.op(op::CallMethod).trace();
    run(m, focus);
    m.ticks(1);
    EXPECT_EQ(m.traces, (QStringList{"set undefined", "true"}));
    EXPECT_TRUE(m.player->focusRect());
    m.traces.clear();

    // tabEnabled false: Tab passes it by, to the field and round to the field again.
    run(m, Asm().getVar("btn").str("tabEnabled").boolean(false).op(op::SetMember));
    k.press(9);
    EXPECT_NE(vm.textFocus.field, nullptr);
    EXPECT_EQ(m.traces, (QStringList{"kill field"}));
    k.press(9);
    EXPECT_NE(vm.textFocus.field, nullptr);
    EXPECT_EQ(vm.buttonFocus, nullptr);

    // By tabIndex, only those that have one, lowest first: the button before the field.
    run(m, Asm().getVar("btn").str("tabEnabled").boolean(true).op(op::SetMember));
    run(m, Asm().set("btn", "tabIndex", 1.0).set("field", "tabIndex", 2.0));
    run(m, Asm()
               .num(0)
               .str("Selection")
               .op(op::GetVariable)
               .str("setFocus")
               .op(op::CallMethod)
               .op(op::Pop));
    k.press(9);
    EXPECT_NE(vm.buttonFocus, nullptr);
    k.press(9);
    EXPECT_NE(vm.textFocus.field, nullptr);
    // Shift+Tab goes back.
    k.s.keyDown(16, 0);
    k.press(9);
    k.s.keyUp(16, 0);
    EXPECT_NE(vm.buttonFocus, nullptr);
}
