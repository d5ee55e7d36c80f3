// ActionScript 3 objects the timeline takes away hear removed and removedFromStage as those a
// script removes do; movie clips held off the display list by scripts play their timelines
// and frame scripts, until they are collected.

#include "swf/avm2/display.h"
#include "swf/avm2/runtime.h"
#include "swf/movie.h"
#include "swf/render/guiapp.h"
#include "swf/swf_writer.h"
#include "tests/swf/avm2/scriptcalls.h"

#include <QHash>
#include <gtest/gtest.h>

namespace {

using namespace swf::avm2;

// An ActionScript 3 movie of 3 frames: a three-frame sprite (2) holding a shape (1) is placed
// as "kid" at depth 1 in frame 1 and taken off by frame 3.
std::shared_ptr<const swf::Movie> kidMovie() {
    using namespace swftest;
    const auto bytes = movie(
        concat({tag(69, Writer().u32(0x08)), rectShape(1, 2000, 2000),
                sprite(2, 3,
                       concat({placeObject2(1, 1), showFrame(), showFrame(), showFrame(), end()})),
                placeObject2(1, 2, 0, 0, false, "kid"), showFrame(), showFrame(), removeObject2(1),
                showFrame(), end()}),
        3);
    auto m = swf::Movie::load(bytes);
    return m ? *m : nullptr;
}

QStringList heard;
QHash<const Object*, QString> labels;
QString label(VM& vm, const Value& v) {
    if (!v.object())
        return QStringLiteral("null");
    return labels.value(v.object(), vm.toString(vm.getProperty(v, vm.publicName("name"))));
}
// "type:target@currentTarget", with "+stage" when the current target still sees the stage.
Value logEvent(VM& vm, const Value&, std::span<const Value> args) {
    const Value e = arg(args, 0);
    const Value current = vm.getProperty(e, vm.publicName("currentTarget"));
    QString line = vm.toString(vm.getProperty(e, vm.publicName("type"))) + ":" +
                   label(vm, vm.getProperty(e, vm.publicName("target"))) + "@" + label(vm, current);
    if (vm.getProperty(current, vm.publicName("stage")).object())
        line += "+stage";
    heard << line;
    return Value();
}

struct Fixture : ScriptCalls<Fixture> {
    Fixture() : runtime((ensureGuiApplication(), kidMovie()), options()) {
        runtime.start();
        heard.clear();
        labels.clear();
        labels.insert(runtime.root(), QStringLiteral("root"));
    }
    RuntimeOptions options() {
        RuntimeOptions o;
        o.error = [this](const QString& l) { errors << l; };
        return o;
    }
    VM& vm() { return runtime.vm(); }
    Value root() { return Value(static_cast<Object*>(runtime.root())); }
    void listen(const Value& target, std::initializer_list<const char*> types) {
        listenWith(logEvent, target, types);
    }
    // The kid and the shape inside it, labelled, each listening to both events.
    std::pair<Value, Value> kidAndShape() {
        const Value kid = get(root(), "kid");
        const Value shape = call(kid, "getChildAt", {Value(0)});
        labels.insert(kid.object(), QStringLiteral("kid"));
        labels.insert(shape.object(), QStringLiteral("shape"));
        listen(kid, {"removed", "removedFromStage"});
        listen(shape, {"removed", "removedFromStage"});
        return {kid, shape};
    }
    std::string log() {
        const QString s = heard.join(' ');
        heard.clear();
        return s.toStdString();
    }

    QStringList errors;
    Runtime runtime;
};

const char* const kTakenOff = "removed:kid@kid+stage removed:kid@root+stage "
                              "removedFromStage:kid@kid+stage removedFromStage:shape@shape+stage";

TEST(Avm2Lifecycle, TimelineRemovalDispatchesRemovedAndRemovedFromStage) {
    Fixture f;
    auto [kid, shape] = f.kidAndShape();
    f.listen(f.root(), {"removed"});
    f.runtime.advanceFrame(); // frame 2: still there
    EXPECT_EQ(f.log(), "");
    f.runtime.advanceFrame(); // frame 3 has no kid
    // removed bubbles from the kid through the root; removedFromStage to it and its child;
    // each still sees the stage while it hears them.
    EXPECT_EQ(f.log(), kTakenOff);
    EXPECT_FALSE(f.get(kid, "parent").object());
    EXPECT_FALSE(f.get(kid, "stage").object());
    EXPECT_TRUE(f.errors.isEmpty()) << f.errors.join('\n').toStdString();
}

TEST(Avm2Lifecycle, GotoThatDropsAnObjectDispatchesBeforeItReturns) {
    Fixture f;
    auto [kid, shape] = f.kidAndShape();
    f.listen(f.root(), {"removed"});
    f.call(f.root(), "gotoAndStop", {Value(3)});
    EXPECT_EQ(f.log(), kTakenOff);
    // Back to frame 1: a new kid, which leaves by a goto again.
    f.call(f.root(), "gotoAndStop", {Value(1)});
    EXPECT_EQ(f.log(), "");
    auto [kid2, shape2] = f.kidAndShape();
    EXPECT_NE(kid2.object(), kid.object());
    f.call(f.root(), "gotoAndStop", {Value(3)});
    EXPECT_EQ(f.log(), kTakenOff);
    EXPECT_TRUE(f.errors.isEmpty()) << f.errors.join('\n').toStdString();
}

TEST(Avm2Lifecycle, ScriptRemovalIsHeardOnceAndNotAgainWhenCollected) {
    Fixture f;
    auto [kid, shape] = f.kidAndShape();
    f.call(f.root(), "removeChild", {kid});
    EXPECT_EQ(f.log(), "removed:kid@kid+stage removedFromStage:kid@kid+stage "
                       "removedFromStage:shape@shape+stage");
    f.vm().collectGarbage();
    f.runtime.advanceFrame();
    EXPECT_EQ(f.log(), "");
}

Value logFrame(VM& vm, const Value& self, std::span<const Value>) {
    heard << "script:" + vm.toString(vm.getProperty(self, vm.publicName("currentFrame")));
    return Value();
}

TEST(Avm2Lifecycle, ClipsHeldOffTheListPlayAndRunFrameScriptsUntilCollected) {
    Fixture f;
    const Value kid = f.get(f.root(), "kid");
    f.vm().setProperty(f.root(), f.vm().publicName("held"), kid); // kept by the script
    f.call(kid, "addFrameScript",
           {Value(2), Value(static_cast<Object*>(f.vm().makeNative("frame3", logFrame)))});
    f.call(f.root(), "removeChild", {kid});
    EXPECT_EQ(f.vm().toInt32(f.get(kid, "currentFrame")), 1);
    f.runtime.advanceFrame();
    EXPECT_EQ(f.vm().toInt32(f.get(kid, "currentFrame")), 2);
    EXPECT_EQ(f.log(), "");
    f.runtime.advanceFrame();
    EXPECT_EQ(f.vm().toInt32(f.get(kid, "currentFrame")), 3);
    EXPECT_EQ(f.log(), "script:3");
    f.runtime.advanceFrame();
    EXPECT_EQ(f.vm().toInt32(f.get(kid, "currentFrame")), 1); // it loops
    // stop() holds it, as on the list.
    f.call(kid, "stop");
    f.runtime.advanceFrame();
    EXPECT_EQ(f.vm().toInt32(f.get(kid, "currentFrame")), 1);
    f.call(kid, "play");
    EXPECT_EQ(f.runtime.displayTree().playingOffList().size(), 1u);
    // Let go of: collected at the end of the next frame, and stepped no more.
    f.vm().setProperty(f.root(), f.vm().publicName("held"), Value::null());
    f.runtime.advanceFrame();
    EXPECT_TRUE(f.runtime.displayTree().playingOffList().empty());
    EXPECT_TRUE(f.errors.isEmpty()) << f.errors.join('\n').toStdString();
}

} // namespace
