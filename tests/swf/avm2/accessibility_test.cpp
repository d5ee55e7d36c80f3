// flash.accessibility: AccessibilityProperties keeps what a script gives it with the documented
// types and defaults, display objects keep their properties object (through collections too),
// and Accessibility reports no screen reader and its calls do nothing.

#include "swf/avm2/display.h"
#include "swf/avm2/runtime.h"
#include "swf/movie.h"
#include "swf/render/guiapp.h"
#include "tests/swf/avm2/scriptcalls.h"

#include <gtest/gtest.h>

namespace {

using namespace swf::avm2;

struct Fixture : ScriptCalls<Fixture> {
    Fixture() : runtime((ensureGuiApplication(), emptyAs3Movie()), options()) { runtime.start(); }
    RuntimeOptions options() {
        RuntimeOptions o;
        o.error = [this](const QString& l) { errors << l; };
        return o;
    }
    VM& vm() { return runtime.vm(); }
    Value root() { return Value(static_cast<Object*>(runtime.root())); }
    // The error a call throws, as "Class #id", or "" when it throws nothing.
    template <class F> QString thrown(F&& f) {
        try {
            f();
        } catch (const ScriptThrow& t) {
            return vm().toString(get(t.value, "name")) + " #" +
                   vm().toString(get(t.value, "errorID"));
        }
        return QString();
    }
    QStringList errors;
    Runtime runtime;
};

TEST(Avm2Accessibility, PropertiesKeepTheirTypesAndDefaults) {
    Fixture f;
    const Value p = f.make("flash.accessibility::AccessibilityProperties");
    ASSERT_TRUE(p.isObject());
    for (const char* text : {"name", "description", "shortcut"})
        EXPECT_EQ(f.vm().toString(f.get(p, text)), QString()) << text;
    for (const char* flag : {"silent", "forceSimple", "noAutoLabeling"})
        EXPECT_TRUE(f.get(p, flag).tag == Value::Tag::Bool && !f.get(p, flag).b) << flag;

    f.set(p, "name", Value("Play"));
    f.set(p, "description", Value(std::int32_t(42)));
    f.set(p, "shortcut", Value::null());
    f.set(p, "silent", Value("yes"));
    f.set(p, "forceSimple", Value(std::int32_t(1)));
    f.set(p, "noAutoLabeling", Value(true));
    EXPECT_EQ(f.vm().toString(f.get(p, "name")), QStringLiteral("Play"));
    EXPECT_TRUE(f.get(p, "description").isString());
    EXPECT_EQ(f.vm().toString(f.get(p, "description")), QStringLiteral("42"));
    EXPECT_TRUE(f.get(p, "shortcut").isNull());
    for (const char* flag : {"silent", "forceSimple", "noAutoLabeling"})
        EXPECT_TRUE(f.vm().toBoolean(f.get(p, flag))) << flag;
    f.set(p, "silent", Value(std::int32_t(0)));
    EXPECT_FALSE(f.vm().toBoolean(f.get(p, "silent")));
    // A sealed class: no property beyond the documented ones.
    EXPECT_NE(f.thrown([&] { f.set(p, "label", Value("x")); }), QString());
}

TEST(Avm2Accessibility, NoScreenReaderAndCallsDoNothing) {
    Fixture f;
    const Value a = f.vm().lookupDefinition(QStringLiteral("flash.accessibility::Accessibility"));
    ASSERT_TRUE(a.isObject());
    EXPECT_EQ(f.get(a, "active").tag, Value::Tag::Bool);
    EXPECT_FALSE(f.vm().toBoolean(f.get(a, "active")));
    EXPECT_EQ(f.thrown([&] { EXPECT_TRUE(f.call(a, "updateProperties").isUndefined()); }),
              QString());
    EXPECT_EQ(f.thrown([&] {
        f.call(a, "sendEvent", {f.root(), Value(std::int32_t(0)), Value(std::int32_t(0x800C))});
    }),
              QString());
}

// Every kind of display object holds its properties object; only that object or null is taken;
// the object lives as long as the display object that holds it.
TEST(Avm2Accessibility, DisplayObjectsHoldTheirProperties) {
    Fixture f;
    for (const char* cls :
         {"flash.display::Sprite", "flash.display::MovieClip", "flash.display::Shape",
          "flash.text::TextField", "flash.display::SimpleButton", "flash.display::Bitmap"}) {
        const Value d = f.make(cls);
        ASSERT_TRUE(d.isObject()) << cls;
        EXPECT_TRUE(f.get(d, "accessibilityProperties").isNull()) << cls;
        const Value p = f.make("flash.accessibility::AccessibilityProperties");
        f.set(d, "accessibilityProperties", p);
        EXPECT_EQ(f.get(d, "accessibilityProperties").object(), p.object()) << cls;
        f.set(d, "accessibilityProperties", Value::null());
        EXPECT_TRUE(f.get(d, "accessibilityProperties").isNull()) << cls;
    }
    EXPECT_TRUE(f.get(f.root(), "accessibilityProperties").isNull());
    EXPECT_TRUE(f.get(f.root(), "accessibilityImplementation").isNull());

    const Value s = f.make("flash.display::Sprite");
    EXPECT_EQ(f.thrown([&] { f.set(s, "accessibilityProperties", Value(f.vm().newObject())); }),
              QStringLiteral("TypeError #1034"));
    f.call(f.root(), "addChild", {s});
    {
        const Value p = f.make("flash.accessibility::AccessibilityProperties");
        f.set(p, "name", Value("kept"));
        f.set(s, "accessibilityProperties", p);
    }
    f.vm().collectGarbage();
    f.vm().collectGarbage();
    const Value kept = f.get(s, "accessibilityProperties");
    ASSERT_TRUE(kept.isObject());
    EXPECT_EQ(f.vm().toString(f.get(kept, "name")), QStringLiteral("kept"));
    // Dropping the display object lets its properties go too.
    const std::size_t before = f.vm().objectCount();
    f.call(f.root(), "removeChild", {s});
    f.vm().collectGarbage();
    EXPECT_LT(f.vm().objectCount(), before);
}

} // namespace
