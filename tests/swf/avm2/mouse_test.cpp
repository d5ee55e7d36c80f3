// ActionScript 3 and the mouse beyond plain clicks: which object takes the mouse
// (mouseEnabled lets it through to what is below, mouseChildren makes a container take its
// children's hits, hitArea replaces a sprite's shape), double clicks, the wheel (and the text
// field it scrolls) and the pointer the runtime asks the host for.

#include "swf/avm2/display.h"
#include "swf/avm2/runtime.h"
#include "swf/movie.h"
#include "swf/render/guiapp.h"
#include "swf/swf_writer.h"
#include "tests/swf/avm2/scriptcalls.h"

#include <gtest/gtest.h>

namespace {

using namespace swf::avm2;
using Cursor = Runtime::Cursor;

QStringList eventLog;
Value logEvent(VM& vm, const Value&, std::span<const Value> args) {
    const Value e = arg(args, 0);
    const Value target = vm.getProperty(e, vm.publicName("target"));
    const Value current = vm.getProperty(e, vm.publicName("currentTarget"));
    QString line = vm.toString(vm.getProperty(e, vm.publicName("type"))) + ":" +
                   vm.toString(vm.getProperty(target, vm.publicName("name")));
    if (current.object() != target.object())
        line += "@" + vm.toString(vm.getProperty(current, vm.publicName("name")));
    const std::int32_t delta = vm.toInt32(vm.getProperty(e, vm.publicName("delta")));
    if (delta)
        line += "#" + QString::number(delta);
    eventLog << line;
    return Value();
}

struct Fixture : ScriptCalls<Fixture> {
    Fixture() : runtime((ensureGuiApplication(), load()), options()) {
        runtime.start();
        eventLog.clear();
    }
    static std::shared_ptr<const swf::Movie> load() {
        using namespace swftest;
        auto m = swf::Movie::load(movie(concat({tag(69, Writer().u32(0x08)), showFrame(), end()})));
        return m ? *m : nullptr;
    }
    RuntimeOptions options() {
        RuntimeOptions o;
        o.error = [this](const QString& l) { errors << l; };
        return o;
    }
    VM& vm() { return runtime.vm(); }
    Value root() { return Value(static_cast<Object*>(runtime.root())); }
    // A named Sprite (or Shape) with a filled square drawn at (x, y), added to `parent`.
    Value square(const char* name, double x, double y, double size, const Value& parent,
                 const char* cls = "flash.display::Sprite") {
        const Value s = make(cls);
        set(s, "name", Value(name));
        const Value g = get(s, "graphics");
        call(g, "beginFill", {Value::number(0xFF)});
        call(g, "drawRect", {Value(x), Value(y), Value(size), Value(size)});
        call(g, "endFill");
        if (parent.object())
            call(parent, "addChild", {s});
        return s;
    }
    Value container(const char* name) {
        const Value s = make("flash.display::Sprite");
        set(s, "name", Value(name));
        call(root(), "addChild", {s});
        return s;
    }
    void listen(const Value& target, std::initializer_list<const char*> types) {
        listenWith(logEvent, target, types);
    }
    void moveTo(double x, double y) { runtime.mouseMove(QPointF(x * 20, y * 20)); }
    void click(double x, double y) {
        moveTo(x, y);
        runtime.mouseDown();
        runtime.mouseUp();
    }
    std::string log() {
        const QString s = eventLog.join(' ');
        eventLog.clear();
        return s.toStdString();
    }

    QStringList errors;
    Runtime runtime;
};

TEST(Avm2Mouse, MouseEnabledLetsTheMouseThroughAndMouseChildrenTakesChildrensHits) {
    Fixture f;
    const Value below = f.square("below", 0, 0, 100, f.root());
    // A sprite that is not mouse-enabled, over `below`: the press goes through it.
    const Value cover = f.square("cover", 0, 0, 50, f.root());
    f.set(cover, "mouseEnabled", Value(false));
    for (const Value& v : {below, cover})
        f.listen(v, {"mouseDown"});
    f.moveTo(10, 10);
    f.runtime.mouseDown();
    f.runtime.mouseUp();
    EXPECT_EQ(f.log(), "mouseDown:below");

    // A container that is not mouse-enabled: its sprites still take the mouse (and the event
    // bubbles through it), but a shape of its own passes it on.
    const Value box = f.container("box");
    f.set(box, "mouseEnabled", Value(false));
    const Value kid = f.square("kid", 200, 0, 20, box);
    f.square("plain", 200, 50, 20, box, "flash.display::Shape");
    const Value behind = f.square("under", 200, 50, 20, Value());
    f.call(f.root(), "addChildAt", {behind, Value(0)});
    for (const Value& v : {box, kid, behind})
        f.listen(v, {"mouseDown"});
    f.click(205, 5);
    EXPECT_EQ(f.log(), "mouseDown:kid mouseDown:kid@box");
    f.click(205, 55);
    EXPECT_EQ(f.log(), "mouseDown:under");

    // mouseChildren false: the container takes its children's hits, itself the target.
    f.set(box, "mouseEnabled", Value(true));
    f.set(box, "mouseChildren", Value(false));
    f.click(205, 5);
    EXPECT_EQ(f.log(), "mouseDown:box");
    f.click(205, 55); // its Shape child is its own content too
    EXPECT_EQ(f.log(), "mouseDown:box");
    // ... unless it is not mouse-enabled either: then nothing of it takes the mouse.
    f.set(box, "mouseEnabled", Value(false));
    f.click(205, 5);
    EXPECT_EQ(f.log(), "");
    EXPECT_TRUE(f.errors.isEmpty()) << f.errors.join('\n').toStdString();
}

TEST(Avm2Mouse, HitAreaReplacesTheSpritesShapeAndTakesEventsOnlyWhenShownAndEnabled) {
    Fixture f;
    const Value button = f.square("button", 0, 0, 10, f.root());
    // The hit area: a sprite elsewhere on the list, hidden (its shape counts all the same).
    const Value zone = f.square("zone", 100, 100, 50, f.root());
    f.set(zone, "visible", Value(false));
    f.listen(button, {"mouseDown", "rollOver"});
    f.listen(zone, {"mouseDown", "rollOver"});
    f.set(button, "hitArea", zone);
    EXPECT_EQ(f.get(button, "hitArea").object(), zone.object());
    f.click(120, 120);
    EXPECT_EQ(f.log(), "rollOver:button mouseDown:button");
    f.click(5, 5); // its own square no longer counts
    EXPECT_EQ(f.log(), "");
    // Shown and mouse-enabled, the hit area is an object like any other, above the button
    // here: it takes the mouse, as the Reference warns (hence its advice to set the hit
    // area's mouseEnabled to false).
    f.set(zone, "visible", Value(true));
    f.click(120, 120);
    EXPECT_EQ(f.log(), "rollOver:zone mouseDown:zone");
    f.set(zone, "mouseEnabled", Value(false));
    f.click(120, 120);
    EXPECT_EQ(f.log(), "rollOver:button mouseDown:button");
    f.set(zone, "mouseEnabled", Value(true));
    // Null gives the sprite its own shape back, and the old area is an object like any other.
    f.set(button, "hitArea", Value::null());
    f.click(5, 5);
    EXPECT_EQ(f.log(), "mouseDown:button"); // the mouse never left it
    f.click(120, 120);
    EXPECT_EQ(f.log(), "rollOver:zone mouseDown:zone");
    // A hit area off the list is kept alive by the sprite that uses it.
    const Value off = f.square("off", 300, 300, 20, Value());
    f.set(button, "hitArea", off);
    f.runtime.advanceFrame();
    f.runtime.advanceFrame();
    f.click(310, 310);
    EXPECT_EQ(f.log(), "rollOver:button mouseDown:button");
    EXPECT_THROW(f.set(button, "hitArea", f.make("flash.display::Shape")), ScriptThrow);
    EXPECT_TRUE(f.errors.isEmpty()) << f.errors.join('\n').toStdString();
}

TEST(Avm2Mouse, DoubleClickOnlyWhereEnabledAndOnTheSameObject) {
    Fixture f;
    const Value a = f.square("a", 0, 0, 50, f.root());
    const Value b = f.square("b", 100, 0, 50, f.root());
    for (const Value& v : {a, b})
        f.listen(v, {"mouseDown", "mouseUp", "click", "doubleClick"});
    auto doubleClick = [&](double x, double y) {
        f.click(x, y);
        f.runtime.mouseDown(); // the host's second press of a double click
        f.runtime.mouseDoubleClick();
        f.runtime.mouseUp();
    };
    // Not enabled: two clicks.
    doubleClick(10, 10);
    EXPECT_EQ(f.log(), "mouseDown:a mouseUp:a click:a mouseDown:a mouseUp:a click:a");
    // Enabled: down, up, click, down, up, doubleClick.
    f.set(a, "doubleClickEnabled", Value(true));
    EXPECT_TRUE(VM::toBoolean(f.get(a, "doubleClickEnabled")));
    doubleClick(10, 10);
    EXPECT_EQ(f.log(), "mouseDown:a mouseUp:a click:a mouseDown:a mouseUp:a doubleClick:a");
    // The host's double click after a click on another object is a click.
    f.set(b, "doubleClickEnabled", Value(true));
    f.click(10, 10);
    f.moveTo(110, 10);
    f.runtime.mouseDown();
    f.runtime.mouseDoubleClick();
    f.runtime.mouseUp();
    EXPECT_EQ(f.log(), "mouseDown:a mouseUp:a click:a mouseDown:b mouseUp:b click:b");
    // A third press starts over: click, not another doubleClick.
    doubleClick(110, 10);
    EXPECT_EQ(f.log(), "mouseDown:b mouseUp:b click:b mouseDown:b mouseUp:b doubleClick:b");
    EXPECT_TRUE(f.errors.isEmpty()) << f.errors.join('\n').toStdString();
}

TEST(Avm2Mouse, WheelReachesTheObjectUnderTheMouseAndScrollsTextFields) {
    Fixture f;
    const Value s = f.square("s", 0, 0, 50, f.root());
    f.listen(s, {"mouseWheel"});
    f.listen(f.root(), {"mouseWheel"});
    f.moveTo(10, 10);
    f.runtime.mouseWheel(-3);
    EXPECT_EQ(f.log(), "mouseWheel:s#-3 mouseWheel:s@#-3");

    // A field of 20 lines showing a few: the wheel scrolls it (towards the user: down).
    const Value t = f.make("flash.text::TextField");
    f.set(t, "name", Value("t"));
    f.set(t, "x", Value(200));
    f.set(t, "multiline", Value(true));
    f.set(t, "height", Value(60));
    QString text;
    for (int i = 1; i <= 20; ++i)
        text += QString::number(i) + "\r";
    f.set(t, "text", Value(text));
    f.call(f.root(), "addChild", {t});
    f.listen(t, {"scroll"});
    ASSERT_GT(f.vm().toInt32(f.get(t, "maxScrollV")), 4);
    f.moveTo(210, 10);
    f.runtime.mouseWheel(-3);
    EXPECT_EQ(f.vm().toInt32(f.get(t, "scrollV")), 4);
    EXPECT_EQ(f.log(), "mouseWheel:t@#-3 scroll:t");
    f.runtime.mouseWheel(10); // back past the top: stops at the first line
    EXPECT_EQ(f.vm().toInt32(f.get(t, "scrollV")), 1);
    f.log();
    f.set(t, "mouseWheelEnabled", Value(false));
    f.runtime.mouseWheel(-3);
    EXPECT_EQ(f.vm().toInt32(f.get(t, "scrollV")), 1);
    EXPECT_EQ(f.log(), "mouseWheel:t@#-3");
    EXPECT_TRUE(f.errors.isEmpty()) << f.errors.join('\n').toStdString();
}

TEST(Avm2Mouse, PointerFollowsButtonModeUseHandCursorAndTextFields) {
    Fixture f;
    const Value s = f.square("s", 0, 0, 50, f.root());
    const Value kid = f.square("kid", 0, 0, 10, s);
    f.moveTo(20, 20);
    EXPECT_EQ(f.runtime.cursor(), Cursor::Arrow);
    EXPECT_TRUE(VM::toBoolean(f.get(s, "useHandCursor")));
    f.set(s, "buttonMode", Value(true));
    EXPECT_EQ(f.runtime.cursor(), Cursor::Hand);
    f.moveTo(5, 5); // a sprite inside the button
    EXPECT_EQ(f.runtime.cursor(), Cursor::Hand);
    f.set(s, "useHandCursor", Value(false));
    EXPECT_EQ(f.runtime.cursor(), Cursor::Arrow);
    f.moveTo(300, 300); // nothing there
    EXPECT_EQ(f.runtime.cursor(), Cursor::Arrow);

    const Value t = f.make("flash.text::TextField");
    f.set(t, "x", Value(200));
    f.call(f.root(), "addChild", {t});
    f.moveTo(210, 10);
    EXPECT_EQ(f.runtime.cursor(), Cursor::IBeam); // selectable
    f.set(t, "selectable", Value(false));
    f.moveTo(211, 10);
    EXPECT_EQ(f.runtime.cursor(), Cursor::Arrow);
    f.set(t, "type", Value("input"));
    f.moveTo(212, 10);
    EXPECT_EQ(f.runtime.cursor(), Cursor::IBeam);
    // Mouse.cursor names the pointer whatever is under it, until set back to "auto".
    const Value mouse = f.vm().lookupDefinition("flash.ui::Mouse");
    f.set(mouse, "cursor", Value("button"));
    EXPECT_EQ(f.runtime.cursor(), Cursor::Hand);
    f.set(mouse, "cursor", Value("arrow"));
    EXPECT_EQ(f.runtime.cursor(), Cursor::Arrow);
    f.set(mouse, "cursor", Value("auto"));
    EXPECT_EQ(f.runtime.cursor(), Cursor::IBeam);
    (void)kid;
}

} // namespace
