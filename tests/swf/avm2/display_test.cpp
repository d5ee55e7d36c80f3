// The ActionScript 3 display tree on the player's: timeline objects become objects of their
// classes and keep their identity across gotos, script-made objects are drawn by the renderer
// in their list order, depths follow the documented rule, and objects that leave are freed.
// The Flash API is driven from C++ through the VM, as compiled code would call it.

#include "swf/avm2/display.h"
#include "swf/avm2/runtime.h"
#include "swf/movie.h"
#include "swf/player.h"
#include "swf/render/paintercanvas.h"
#include "swf/render/renderer.h"
#include "swf/swf_writer.h"
#include "tests/swf/avm2/scriptcalls.h"

#include <QPainter>
#include <gtest/gtest.h>

namespace {

using namespace swf::avm2;

// A movie that says it is ActionScript 3: a red rectangle shape (1) and a two-frame sprite (2)
// holding it. The root places the sprite as "kid" at depth 1 and the shape at depth 2 in frame 1;
// frame 3 removes the shape and frame 4 places it again.
swf::Result<std::shared_ptr<const swf::Movie>> timelineMovie() {
    using namespace swftest;
    const auto bytes =
        movie(concat({tag(69, Writer().u32(0x08)), rectShape(1, 2000, 2000),
                      sprite(2, 2, concat({placeObject2(1, 1), showFrame(), showFrame(), end()})),
                      placeObject2(1, 2, 0, 0, false, "kid"), placeObject2(2, 1, 4000, 0),
                      showFrame(), showFrame(), removeObject2(2), showFrame(),
                      placeObject2(2, 1, 4000, 0), showFrame(), end()}),
              4);
    return swf::Movie::load(bytes);
}

struct Fixture : ScriptCalls<Fixture> {
    explicit Fixture(std::shared_ptr<const swf::Movie> movie)
        : runtime(std::move(movie), options()) {
        runtime.start();
    }
    RuntimeOptions options() {
        RuntimeOptions o;
        o.error = [this](const QString& l) { errors << l; };
        return o;
    }
    VM& vm() { return runtime.vm(); }
    DisplayTree& tree() { return runtime.displayTree(); }
    Value root() { return Value(static_cast<Object*>(runtime.root())); }
    // A square of `colour` at (x, y), `size` pixels wide, in a new Sprite.
    Value square(std::uint32_t colour, double x, double y, double size) {
        const Value s = make("flash.display::Sprite");
        const Value g = get(s, "graphics");
        call(g, "beginFill", {Value::number(colour)});
        call(g, "drawRect", {Value(x), Value(y), Value(size), Value(size)});
        call(g, "endFill");
        return s;
    }
    QImage picture() { return stagePicture(renderer, runtime.player()); }
    QString className(const Value& v) { return vm().classOf(v)->name; }

    QStringList errors;
    Runtime runtime;
    swf::render::Renderer renderer;
};

TEST(Avm2Display, TimelineObjectsAreObjectsOfTheirClassesAndKeepTheirIdentity) {
    auto movie = timelineMovie();
    ASSERT_TRUE(movie);
    Fixture f(*movie);
    const Value root = f.root();
    ASSERT_EQ(f.vm().toInt32(f.get(root, "numChildren")), 2);
    const Value kid = f.call(root, "getChildAt", {Value(0)});
    const Value shape = f.call(root, "getChildAt", {Value(1)});
    EXPECT_EQ(f.className(kid), "MovieClip");
    EXPECT_EQ(f.className(shape), "Shape");
    EXPECT_EQ(f.vm().toString(f.get(kid, "name")), "kid");
    // A named child is its parent's property of that name.
    EXPECT_TRUE(f.vm().strictEquals(f.get(root, "kid"), kid));
    EXPECT_TRUE(f.vm().strictEquals(f.get(kid, "parent"), root));
    EXPECT_EQ(f.vm().toInt32(f.get(kid, "numChildren")), 1);
    EXPECT_EQ(f.vm().toNumber(f.get(shape, "x")), 200);
    EXPECT_EQ(f.vm().toNumber(f.get(shape, "width")), 100);

    // Frame 3 has removed the shape; the sprite stays the same object.
    f.call(root, "gotoAndStop", {Value(3)});
    EXPECT_EQ(f.vm().toInt32(f.get(root, "currentFrame")), 3);
    EXPECT_EQ(f.vm().toInt32(f.get(root, "numChildren")), 1);
    EXPECT_TRUE(f.vm().strictEquals(f.call(root, "getChildAt", {Value(0)}), kid));
    EXPECT_TRUE(f.get(shape, "parent").isNull());
    // Frame 4 places it anew: a new object. Back to frame 1 (rebuilt from the start): the
    // sprite is still the one placed by the same tag.
    f.call(root, "gotoAndStop", {Value(4)});
    const Value again = f.call(root, "getChildAt", {Value(1)});
    EXPECT_FALSE(f.vm().strictEquals(again, shape));
    f.call(root, "gotoAndStop", {Value(1)});
    EXPECT_TRUE(f.vm().strictEquals(f.call(root, "getChildAt", {Value(0)}), kid));
    // A sprite's own timeline through MovieClip's API.
    f.call(kid, "gotoAndStop", {Value(2)});
    EXPECT_EQ(f.vm().toInt32(f.get(kid, "currentFrame")), 2);
    EXPECT_EQ(f.vm().toInt32(f.get(kid, "totalFrames")), 2);
    EXPECT_TRUE(f.errors.isEmpty()) << f.errors.join('\n').toStdString();
}

TEST(Avm2Display, ScriptChildrenAreDrawnInListOrder) {
    auto movie = timelineMovie();
    ASSERT_TRUE(movie);
    Fixture f(*movie);
    const Value root = f.root();
    f.call(root, "gotoAndStop", {Value(3)}); // only the sprite (red square at 0,0)
    const Value blue = f.square(0x0000FF, 50, 50, 100);
    const Value green = f.square(0x00FF00, 100, 100, 100);
    // Off the list nothing is drawn.
    EXPECT_EQ(f.picture().pixel(120, 120), qRgb(255, 255, 255));
    f.call(root, "addChild", {blue});
    f.call(root, "addChild", {green});
    QImage p = f.picture();
    EXPECT_EQ(p.pixel(75, 75), qRgb(0, 0, 255));   // blue over the timeline's red
    EXPECT_EQ(p.pixel(120, 120), qRgb(0, 255, 0)); // green over blue
    EXPECT_EQ(p.pixel(20, 20), qRgb(255, 0, 0));   // the timeline's sprite
    // Order changes change the picture.
    f.call(root, "setChildIndex", {green, Value(0)});
    p = f.picture();
    EXPECT_EQ(p.pixel(120, 120), qRgb(0, 0, 255));
    EXPECT_EQ(p.pixel(75, 75), qRgb(0, 0, 255));
    // Green went under the timeline's red square.
    EXPECT_EQ(p.pixel(160, 160), qRgb(0, 255, 0));
    f.call(root, "swapChildren", {green, blue});
    EXPECT_EQ(f.picture().pixel(120, 120), qRgb(0, 255, 0));
    f.call(root, "swapChildrenAt", {Value(0), Value(2)});
    EXPECT_EQ(f.picture().pixel(120, 120), qRgb(0, 0, 255));
    EXPECT_EQ(f.vm().toInt32(f.call(root, "getChildIndex", {green})), 0);
    // A moved, rotated and half transparent child is drawn so.
    f.call(root, "removeChild", {blue});
    f.vm().setProperty(green, f.vm().publicName("x"), Value(300));
    f.vm().setProperty(green, f.vm().publicName("alpha"), Value(0.5));
    p = f.picture();
    EXPECT_EQ(p.pixel(75, 75), qRgb(255, 0, 0));
    const QRgb half = p.pixel(450, 150);
    EXPECT_NEAR(qRed(half), 127, 3);
    EXPECT_EQ(qGreen(half), 255);
    // The document (a MovieClip) draws beneath its children too.
    const Value rg = f.get(root, "graphics");
    f.call(rg, "beginFill", {Value::number(0x00FFFF)});
    f.call(rg, "drawRect", {Value(500), Value(350), Value(40), Value(40)});
    EXPECT_EQ(f.picture().pixel(520, 370), qRgb(0, 255, 255));
    // Children of children are drawn in their parent's space.
    const Value holder = f.make("flash.display::Sprite");
    f.call(holder, "addChild", {blue});
    f.vm().setProperty(holder, f.vm().publicName("y"), Value(200));
    f.call(root, "addChild", {holder});
    EXPECT_EQ(f.picture().pixel(75, 275), qRgb(0, 0, 255));
    EXPECT_TRUE(f.errors.isEmpty()) << f.errors.join('\n').toStdString();
}

TEST(Avm2Display, ScriptChildrenTakeDepthsAroundTimelineOnes) {
    auto movie = timelineMovie();
    ASSERT_TRUE(movie);
    Fixture f(*movie);
    const Value root = f.root();
    swf::MovieClip& list = f.runtime.player().root();
    auto depths = [&] {
        std::vector<std::int32_t> d;
        for (const auto& o : list.displayList().objects())
            d.push_back(o->depth);
        return d;
    };
    const Value a = f.square(0xFF00FF, 0, 0, 10), b = f.square(0xFF00FF, 0, 0, 10);
    // After the highest child.
    f.call(root, "addChild", {a});
    EXPECT_EQ(depths(), (std::vector<std::int32_t>{1, 2, 3}));
    // Below every timeline child: under the lowest one, the timeline's depths unchanged.
    f.call(root, "addChildAt", {b, Value(0)});
    EXPECT_EQ(depths(), (std::vector<std::int32_t>{0, 1, 2, 3}));
    // Between two timeline children at neighbouring depths there is no free depth: the
    // timeline object above moves up and is the script's from then on.
    f.call(root, "setChildIndex", {a, Value(2)});
    const auto d = depths();
    ASSERT_EQ(d.size(), 4u);
    EXPECT_TRUE(std::is_sorted(d.begin(), d.end()) &&
                std::adjacent_find(d.begin(), d.end()) == d.end());
    EXPECT_EQ(f.vm().toInt32(f.call(root, "getChildIndex", {a})), 2);
    // The stage's own children are above all of the root's.
    const Value stage = f.get(root, "stage");
    const Value top = f.square(0, 0, 0, 1);
    f.call(stage, "addChild", {top});
    EXPECT_EQ(list.displayList().objects().back()->depth, DisplayTree::kStageDepth);
    EXPECT_EQ(f.vm().toInt32(f.get(stage, "numChildren")), 2);
    EXPECT_EQ(f.vm().toInt32(f.get(root, "numChildren")), 4);
    EXPECT_TRUE(f.vm().strictEquals(f.get(top, "parent"), stage));
    // The stage keeps its children alive like any container.
    const std::size_t count = f.runtime.player().displayObjectCount();
    f.vm().collectGarbage();
    EXPECT_EQ(f.runtime.player().displayObjectCount(), count);
    EXPECT_TRUE(f.vm().strictEquals(f.call(stage, "getChildAt", {Value(1)}), top));
}

// Stage.color is the background: white when the movie sets none (Haxe's trace picks its text
// and glow colours from it), and a new colour is what the stage is drawn on.
TEST(Avm2Display, StageColourIsTheBackground) {
    Fixture f(emptyAs3Movie());
    const Value stage = f.get(f.root(), "stage");
    EXPECT_EQ(f.vm().toInt32(f.get(stage, "color")), 0xFFFFFF);
    f.vm().setProperty(stage, f.vm().publicName("color"), Value::number(0xFF123456u));
    EXPECT_EQ(f.vm().toInt32(f.get(stage, "color")), 0x123456);
    EXPECT_EQ(f.picture().pixel(300, 200), qRgb(0x12, 0x34, 0x56));
    EXPECT_TRUE(f.errors.isEmpty()) << f.errors.join('\n').toStdString();
}

TEST(Avm2Display, ObjectsOffTheListKeepTheirStateAndAreFreedWhenUnreachable) {
    auto movie = timelineMovie();
    ASSERT_TRUE(movie);
    Fixture f(*movie);
    const Value root = f.root();
    const std::size_t before = f.runtime.player().displayObjectCount();
    {
        const Value holder = f.make("flash.display::Sprite");
        f.call(holder, "addChild", {f.square(0xFF, 0, 0, 10)});
        f.call(root, "addChild", {holder});
        f.call(root, "removeChild", {holder});
        // Taken off whole: its child and drawing come back with it.
        EXPECT_EQ(f.vm().toInt32(f.get(holder, "numChildren")), 1);
        f.call(root, "addChild", {holder});
        EXPECT_EQ(f.picture().pixel(5, 5), qRgb(0, 0, 255));
        f.call(root, "removeChild", {holder});
    }
    EXPECT_EQ(f.runtime.player().displayObjectCount(), before + 2);
    f.vm().collectGarbage();
    EXPECT_EQ(f.runtime.player().displayObjectCount(), before);
    // Objects on the list stay.
    f.call(root, "addChild", {f.square(0xFF, 0, 0, 10)});
    f.vm().collectGarbage();
    EXPECT_EQ(f.runtime.player().displayObjectCount(), before + 1);
    EXPECT_EQ(f.picture().pixel(5, 5), qRgb(0, 0, 255));
}

TEST(Avm2Display, PropertiesBoundsAndHitTests) {
    auto movie = timelineMovie();
    ASSERT_TRUE(movie);
    Fixture f(*movie);
    VM& vm = f.vm();
    const Value s = f.square(0xFF, 0, 0, 100);
    f.call(f.root(), "addChild", {s});
    vm.setProperty(s, vm.publicName("x"), Value(200));
    vm.setProperty(s, vm.publicName("scaleX"), Value(2));
    vm.setProperty(s, vm.publicName("rotation"), Value(90));
    EXPECT_NEAR(vm.toNumber(f.get(s, "rotation")), 90, 1e-9);
    EXPECT_NEAR(vm.toNumber(f.get(s, "scaleX")), 2, 1e-9);
    // Rotated a quarter: 200 wide becomes 200 tall; the bounds move left of x.
    EXPECT_NEAR(vm.toNumber(f.get(s, "width")), 100, 1e-6);
    EXPECT_NEAR(vm.toNumber(f.get(s, "height")), 200, 1e-6);
    vm.setProperty(s, vm.publicName("rotation"), Value(-270)); // the same as 90
    EXPECT_NEAR(vm.toNumber(f.get(s, "rotation")), 90, 1e-9);
    vm.setProperty(s, vm.publicName("rotation"), Value(0));
    vm.setProperty(s, vm.publicName("width"), Value(50));
    EXPECT_NEAR(vm.toNumber(f.get(s, "width")), 50, 1e-6);
    EXPECT_NEAR(vm.toNumber(f.get(s, "scaleX")), 0.5, 1e-9);
    vm.setProperty(s, vm.publicName("scaleX"), Value(1));
    vm.setProperty(s, vm.publicName("scaleY"), Value(1));
    // hitTestPoint: by bounds, or by the shape drawn (a ring has a hole).
    const Value ring = f.make("flash.display::Sprite");
    const Value g = f.get(ring, "graphics");
    f.call(g, "beginFill", {Value(0)});
    f.call(g, "drawCircle", {Value(50), Value(50), Value(50)});
    f.call(g, "drawCircle", {Value(50), Value(50), Value(20)});
    f.call(g, "endFill");
    f.call(f.root(), "addChild", {ring});
    EXPECT_TRUE(VM::toBoolean(f.call(ring, "hitTestPoint", {Value(50), Value(50)})));
    EXPECT_FALSE(VM::toBoolean(f.call(ring, "hitTestPoint", {Value(50), Value(50), Value(true)})));
    EXPECT_TRUE(VM::toBoolean(f.call(ring, "hitTestPoint", {Value(50), Value(5), Value(true)})));
    EXPECT_FALSE(VM::toBoolean(f.call(ring, "hitTestPoint", {Value(3), Value(3), Value(true)})));
    EXPECT_TRUE(
        VM::toBoolean(f.call(ring, "hitTestObject", {f.call(f.root(), "getChildAt", {Value(0)})})));
    EXPECT_FALSE(VM::toBoolean(f.call(ring, "hitTestObject", {s})));
    EXPECT_TRUE(f.errors.isEmpty()) << f.errors.join('\n').toStdString();
}

// flash.geom's Matrix and ColorTransform come from another part of the engine; where they are
// not there yet, plain stand-ins with the documented constructor arguments as fields serve.
Value standInCtor(VM& vm, const Value& self, std::span<const Value> args) {
    const bool matrix = vm.classOf(self)->name == QLatin1String("Matrix");
    const char* const mNames[] = {"a", "b", "c", "d", "tx", "ty"};
    const char* const cNames[] = {"redMultiplier",   "greenMultiplier", "blueMultiplier",
                                  "alphaMultiplier", "redOffset",       "greenOffset",
                                  "blueOffset",      "alphaOffset"};
    const double mDefaults[] = {1, 0, 0, 1, 0, 0}, cDefaults[] = {1, 1, 1, 1, 0, 0, 0, 0};
    const std::size_t count = matrix ? 6 : 8;
    for (std::size_t i = 0; i < count; ++i)
        self.object()->setDynamic(QString::fromLatin1(matrix ? mNames[i] : cNames[i]),
                                  Value::number(i < args.size()
                                                    ? vm.toNumber(args[i])
                                                    : (matrix ? mDefaults[i] : cDefaults[i])));
    return Value();
}
void ensureGeometry(VM& vm) {
    for (const char* name : {"Matrix", "ColorTransform"}) {
        Value c;
        try {
            c = vm.lookupDefinition(QStringLiteral("flash.geom::") + QString::fromLatin1(name));
        } catch (const ScriptThrow&) {
        }
        if (c.object())
            continue;
        Class* k = vm.defineNativeClass(QStringLiteral("flash.geom"), QString::fromLatin1(name),
                                        vm.objectClass);
        k->isSealed = false;
        k->iinit.native = standInCtor;
    }
}

TEST(Avm2Display, TransformReadsAndWritesTheMatrixAndColourTransform) {
    auto movie = timelineMovie();
    ASSERT_TRUE(movie);
    Fixture f(*movie);
    VM& vm = f.vm();
    ensureGeometry(vm);
    const Value s = f.square(0x0000FF, 0, 0, 100);
    f.call(f.root(), "addChild", {s});
    vm.setProperty(s, vm.publicName("x"), Value(300));
    vm.setProperty(s, vm.publicName("scaleY"), Value(0.5));
    const Value t = f.get(s, "transform");
    const Value m = f.get(t, "matrix");
    EXPECT_EQ(vm.toNumber(f.get(m, "tx")), 300);
    EXPECT_EQ(vm.toNumber(f.get(m, "d")), 0.5);
    // A matrix set through transform moves the object: a 2x scale, 10 px down.
    const Value scaled = vm.construct(
        vm.lookupDefinition("flash.geom::Matrix"),
        std::vector<Value>{Value(2), Value(0), Value(0), Value(2), Value(10), Value(10)});
    vm.setProperty(t, vm.publicName("matrix"), scaled);
    EXPECT_EQ(vm.toNumber(f.get(s, "scaleX")), 2);
    EXPECT_EQ(vm.toNumber(f.get(s, "y")), 10);
    EXPECT_EQ(f.picture().pixel(150, 150), qRgb(0, 0, 255));
    // A colour transform that turns blue into red.
    const Value red = vm.construct(vm.lookupDefinition("flash.geom::ColorTransform"),
                                   std::vector<Value>{Value(1), Value(1), Value(0), Value(1),
                                                      Value(255), Value(0), Value(0), Value(0)});
    vm.setProperty(t, vm.publicName("colorTransform"), red);
    EXPECT_EQ(f.picture().pixel(150, 150), qRgb(255, 0, 0));
    const Value back = f.get(t, "colorTransform");
    EXPECT_EQ(vm.toNumber(f.get(back, "blueMultiplier")), 0);
    EXPECT_EQ(vm.toNumber(f.get(back, "redOffset")), 255);
    // Blend modes by name; an unknown name is refused.
    vm.setProperty(s, vm.publicName("blendMode"), Value("multiply"));
    EXPECT_EQ(vm.toString(f.get(s, "blendMode")), "multiply");
    EXPECT_THROW(vm.setProperty(s, vm.publicName("blendMode"), Value("sideways")), ScriptThrow);
    EXPECT_TRUE(f.errors.isEmpty()) << f.errors.join('\n').toStdString();
}

TEST(Avm2Display, TextFieldTextAndHtmlText) {
    auto movie = timelineMovie();
    ASSERT_TRUE(movie);
    Fixture f(*movie);
    VM& vm = f.vm();
    const Value t = f.make("flash.text::TextField");
    vm.setProperty(t, vm.publicName("text"), Value("a < b"));
    f.call(t, "appendText", {Value(" & c")});
    EXPECT_EQ(vm.toString(f.get(t, "text")), "a < b & c");
    EXPECT_EQ(vm.toInt32(f.get(t, "length")), 9);
    EXPECT_TRUE(vm.toString(f.get(t, "htmlText")).contains("a &lt; b &amp; c"));
    // HTML given: the characters it shows, paragraphs as carriage returns.
    vm.setProperty(t, vm.publicName("htmlText"), Value("<p>one</p><p><b>two</b> &gt;</p>"));
    EXPECT_EQ(vm.toString(f.get(t, "text")), "one\rtwo >");
    EXPECT_THROW(vm.setProperty(t, vm.publicName("text"), Value::null()), ScriptThrow);
}

QStringList mouseLog;
Value logEvent(VM& vm, const Value&, std::span<const Value> args) {
    const Value e = arg(args, 0);
    const Value current = vm.getProperty(e, vm.publicName("currentTarget"));
    mouseLog << vm.toString(vm.getProperty(e, vm.publicName("type"))) + ":" +
                    vm.toString(vm.getProperty(current, vm.publicName("name"))) + ":" +
                    vm.toString(vm.getProperty(e, vm.publicName("eventPhase")));
    return Value();
}

TEST(Avm2Display, MouseEventsGoToTheObjectUnderTheMouse) {
    auto movie = timelineMovie();
    ASSERT_TRUE(movie);
    Fixture f(*movie);
    VM& vm = f.vm();
    f.call(f.root(), "gotoAndStop", {Value(3)});
    const Value p = f.make("flash.display::Sprite");
    vm.setProperty(p, vm.publicName("name"), Value("p"));
    const Value a = f.square(0xFF, 300, 0, 50);
    vm.setProperty(a, vm.publicName("name"), Value("a"));
    const Value b = f.square(0xFF, 400, 0, 50);
    vm.setProperty(b, vm.publicName("name"), Value("b"));
    f.call(p, "addChild", {a});
    f.call(f.root(), "addChild", {p});
    f.call(f.root(), "addChild", {b});
    const Value logger = Value(static_cast<Object*>(vm.makeNative("log", logEvent)));
    for (const Value& target : {p, a, b})
        for (const char* type :
             {"mouseOver", "mouseOut", "rollOver", "rollOut", "mouseDown", "mouseUp", "click"})
            f.call(target, "addEventListener", {Value(type), logger});
    auto px = [](double x, double y) { return QPointF(x * 20, y * 20); };
    f.runtime.mouseMove(px(200, 200)); // on nothing: the stage
    EXPECT_TRUE(mouseLog.isEmpty()) << mouseLog.join(' ').toStdString();
    // Onto a inside p: over bubbles from a; rollOver to each object entered, outside in.
    f.runtime.mouseMove(px(310, 10));
    EXPECT_EQ(mouseLog.join(' '), "mouseOver:a:2 mouseOver:p:3 rollOver:p:2 rollOver:a:2");
    mouseLog.clear();
    f.runtime.mouseDown();
    f.runtime.mouseUp();
    EXPECT_EQ(mouseLog.join(' '),
              "mouseDown:a:2 mouseDown:p:3 mouseUp:a:2 mouseUp:p:3 click:a:2 click:p:3");
    mouseLog.clear();
    // Across to b: out of a (bubbling), rollOut of a then p, then over and rollOver of b.
    f.runtime.mouseMove(px(410, 10));
    EXPECT_EQ(mouseLog.join(' '),
              "mouseOut:a:2 mouseOut:p:3 rollOut:a:2 rollOut:p:2 mouseOver:b:2 rollOver:b:2");
    mouseLog.clear();
    // Released elsewhere than pressed: no click.
    f.runtime.mouseDown();
    f.runtime.mouseMove(px(200, 200));
    f.runtime.mouseUp();
    EXPECT_FALSE(mouseLog.join(' ').contains("click")) << mouseLog.join(' ').toStdString();
    mouseLog.clear();
    // A container that keeps its children from the mouse is the target itself; an object
    // that is not mouse-enabled lets the mouse through to what lies below it (here nothing
    // but the stage), not to its parent.
    vm.setProperty(p, vm.publicName("mouseChildren"), Value(false));
    f.runtime.mouseMove(px(310, 10));
    EXPECT_EQ(mouseLog.join(' '), "mouseOver:p:2 rollOver:p:2");
    mouseLog.clear();
    vm.setProperty(p, vm.publicName("mouseChildren"), Value(true));
    vm.setProperty(a, vm.publicName("mouseEnabled"), Value(false));
    f.runtime.mouseDown();
    EXPECT_EQ(mouseLog.join(' '), "");
    f.runtime.mouseUp();
    mouseLog.clear();
    // Keys go to the focus, else the stage, and bubble up to it.
    vm.setProperty(f.get(f.root(), "stage"), vm.publicName("focus"), b);
    f.call(f.get(f.root(), "stage"), "addEventListener", {Value("keyDown"), logger});
    f.call(b, "addEventListener", {Value("keyDown"), logger});
    f.runtime.keyDown(65, 97);
    EXPECT_EQ(mouseLog.join(' '), "keyDown:b:2 keyDown:null:3");
    EXPECT_TRUE(f.errors.isEmpty()) << f.errors.join('\n').toStdString();
}

} // namespace
