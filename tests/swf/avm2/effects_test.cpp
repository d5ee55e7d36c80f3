// Masks and filters that ActionScript 3 sets: drawn by the one renderer, reported by the change
// tracker when set and cleared, and respected by the mouse.

#include "swf/avm2/display.h"
#include "swf/avm2/runtime.h"
#include "swf/movie.h"
#include "swf/player.h"
#include "swf/render/bitmapdrawer.h"
#include "swf/render/changes.h"
#include "swf/render/paintercanvas.h"
#include "swf/render/renderer.h"
#include "swf/swf_writer.h"
#include "tests/swf/avm2/scriptcalls.h"

#include <QPainter>
#include <gtest/gtest.h>

namespace {

using namespace swf::avm2;

struct Fixture : ScriptCalls<Fixture> {
    Fixture() : movie(emptyAs3Movie()), runtime(movie, drawingOptions(errors)) { runtime.start(); }
    VM& vm() { return runtime.vm(); }
    Value root() { return Value(static_cast<Object*>(runtime.root())); }
    // A sprite on the root with a filled rectangle, pixels.
    Value box(double x, double y, double w, double h, std::uint32_t color) {
        const Value s = make("flash.display::Sprite");
        const Value g = get(s, "graphics");
        call(g, "beginFill", {Value::number(color)});
        call(g, "drawRect",
             {Value::number(x), Value::number(y), Value::number(w), Value::number(h)});
        call(g, "endFill");
        call(root(), "addChild", {s});
        return s;
    }
    QImage picture() { return stagePicture(renderer, runtime.player()); }
    DisplayNode* under(double x, double y) {
        return runtime.displayTree().mouseTarget(QPointF(x * 20, y * 20));
    }

    std::shared_ptr<const swf::Movie> movie;
    QStringList errors;
    Runtime runtime;
    swf::render::Renderer renderer;
};

TEST(Avm2Effects, ScriptMaskClipsDrawingAndClicksAndIsTracked) {
    Fixture f;
    const Value red = f.box(0, 0, 100, 100, 0xFF0000);
    const Value mask = f.box(40, 40, 20, 20, 0x0000FF);
    swf::render::ChangeTracker tracker;
    tracker.update(f.runtime.player());
    EXPECT_EQ(f.under(10, 10), red.object());

    f.set(red, "mask", mask);
    EXPECT_EQ(f.get(red, "mask").object(), mask.object());
    const swf::render::StageChanges changes = tracker.update(f.runtime.player());
    ASSERT_FALSE(changes.empty());
    QImage img = f.picture();
    EXPECT_EQ(img.pixel(50, 50), qRgb(255, 0, 0)); // red inside the mask, the mask not drawn
    EXPECT_EQ(img.pixel(10, 10), qRgb(255, 255, 255));
    // Outside the mask nothing takes the click; inside, the masked sprite does (the mask is
    // above it but is not drawn).
    EXPECT_EQ(f.under(10, 10), f.runtime.stage());
    EXPECT_EQ(f.under(50, 50), red.object());
    EXPECT_FALSE(f.vm().toBoolean(
        f.call(red, "hitTestPoint", {Value::number(10), Value::number(10), Value(true)})));
    EXPECT_TRUE(f.vm().toBoolean(
        f.call(red, "hitTestPoint", {Value::number(50), Value::number(50), Value(true)})));
    EXPECT_TRUE(tracker.update(f.runtime.player()).empty());

    // Cleared: the whole sprite again, the former mask drawn on top, and the change seen.
    f.set(red, "mask", Value::null());
    EXPECT_TRUE(f.get(red, "mask").isNull());
    EXPECT_FALSE(tracker.update(f.runtime.player()).empty());
    img = f.picture();
    EXPECT_EQ(img.pixel(10, 10), qRgb(255, 0, 0));
    EXPECT_EQ(img.pixel(50, 50), qRgb(0, 0, 255));
    EXPECT_EQ(f.under(10, 10), red.object());
    EXPECT_TRUE(f.errors.isEmpty()) << f.errors.join('\n').toStdString();
}

TEST(Avm2Effects, ScriptFiltersAreDrawnAndTracked) {
    Fixture f;
    const Value red = f.box(0, 0, 100, 100, 0xFF0000);
    swf::render::ChangeTracker tracker;
    tracker.update(f.runtime.player());
    EXPECT_EQ(f.picture().pixel(102, 50), qRgb(255, 255, 255));

    const Value blur = f.make("flash.filters::BlurFilter", {Value(8), Value(8), Value(1)});
    f.set(red, "filters", Value(static_cast<Object*>(f.vm().newArray({blur}))));
    const swf::render::StageChanges changes = tracker.update(f.runtime.player());
    ASSERT_FALSE(changes.empty());
    ASSERT_FALSE(changes.areas.empty());
    // The changed area reaches past the square by the blur.
    EXPECT_TRUE(changes.areas[0].stage.contains(QPointF(102 * 20, 50 * 20)));
    QImage img = f.picture();
    EXPECT_NE(img.pixel(102, 50), qRgb(255, 255, 255));
    EXPECT_EQ(img.pixel(50, 50), qRgb(255, 0, 0));
    EXPECT_EQ(f.vm().toInt32(f.get(f.get(red, "filters"), "length")), 1);

    f.set(red, "filters", Value(static_cast<Object*>(f.vm().newArray({}))));
    EXPECT_FALSE(tracker.update(f.runtime.player()).empty());
    EXPECT_EQ(f.picture().pixel(102, 50), qRgb(255, 255, 255));
    EXPECT_TRUE(f.errors.isEmpty()) << f.errors.join('\n').toStdString();
}

// opaqueBackground fills the object's bounds behind what it draws, follows its transform, is
// reported to the change tracker when set, moved and removed, and shows in partial redraws.
TEST(Avm2Effects, OpaqueBackgroundFillsTheBoundsBehindTheObject) {
    Fixture f;
    // Two red squares in one sprite: its bounds span (100, 100)-(200, 200).
    const Value s = f.make("flash.display::Sprite");
    const Value g = f.get(s, "graphics");
    f.call(g, "beginFill", {Value::number(0xFF0000)});
    f.call(g, "drawRect",
           {Value::number(100), Value::number(100), Value::number(20), Value::number(20)});
    f.call(g, "drawRect",
           {Value::number(180), Value::number(180), Value::number(20), Value::number(20)});
    f.call(g, "endFill");
    f.call(f.root(), "addChild", {s});
    swf::render::ChangeTracker tracker;
    tracker.update(f.runtime.player());
    EXPECT_EQ(f.picture().pixel(150, 150), qRgb(255, 255, 255));

    f.set(s, "opaqueBackground", Value::number(0x0000FF));
    swf::render::StageChanges changes = tracker.update(f.runtime.player());
    ASSERT_FALSE(changes.areas.empty());
    EXPECT_TRUE(changes.areas[0].stage.contains(QPointF(150 * 20, 150 * 20)));
    QImage img = f.picture();
    EXPECT_EQ(img.pixel(150, 150), qRgb(0, 0, 255));
    EXPECT_EQ(img.pixel(110, 110), qRgb(255, 0, 0)); // the drawing over it
    EXPECT_EQ(img.pixel(195, 105), qRgb(0, 0, 255));
    EXPECT_EQ(img.pixel(95, 150), qRgb(255, 255, 255));
    EXPECT_EQ(img.pixel(150, 205), qRgb(255, 255, 255));
    EXPECT_TRUE(tracker.update(f.runtime.player()).empty());

    // Under the object's transform: half as wide again, the rectangle spans x 150..300.
    f.set(s, "scaleX", Value::number(1.5));
    EXPECT_FALSE(tracker.update(f.runtime.player()).empty());
    img = f.picture();
    EXPECT_EQ(img.pixel(290, 150), qRgb(0, 0, 255));
    EXPECT_EQ(img.pixel(140, 150), qRgb(255, 255, 255));

    f.set(s, "opaqueBackground", Value::null());
    changes = tracker.update(f.runtime.player());
    ASSERT_FALSE(changes.areas.empty());
    EXPECT_TRUE(changes.areas[0].stage.contains(QPointF(250 * 20, 150 * 20)));
    EXPECT_EQ(f.picture().pixel(250, 150), qRgb(255, 255, 255));
    EXPECT_TRUE(f.errors.isEmpty()) << f.errors.join('\n').toStdString();
}

} // namespace
