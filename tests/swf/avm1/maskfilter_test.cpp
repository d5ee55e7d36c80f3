// Masks and filters scripts set on clips (setMask, MovieClip.filters): the pixels they leave,
// how a script mask meets a timeline mask, and the change tracker seeing both.

#include "avm1_asm.h"
#include "swf/render/changes.h"
#include "swf/render/paintercanvas.h"
#include "swf/render/renderer.h"
#include "swf/scriptfilters.h"

#include <QPainter>
#include <gtest/gtest.h>

namespace {

namespace op = swf::avm1::op;

using avm1test::Asm;
using avm1test::MovieRun;
using avm1test::oneFrame;
using swftest::Bytes;

constexpr QRgb kWhite = 0xFFFFFFFFu;
constexpr QRgb kRed = 0xFFFF0000u;
constexpr QRgb kGreen = 0xFF00FF00u;
constexpr QRgb kBlue = 0xFF0000FFu;

const QTransform kView = QTransform::fromScale(1.0 / 20, 1.0 / 20);

QImage picture(MovieRun& run) {
    QImage img(550, 400, QImage::Format_ARGB32_Premultiplied);
    img.fill(0);
    QPainter p(&img);
    swf::render::PainterCanvas canvas(p, swf::render::Quality::High);
    swf::render::Renderer renderer;
    renderer.render(*run.player, canvas, kView);
    return img;
}

// clip.beginFill(rgb); a rectangle from (x0, y0) to (x1, y1); endFill().
Asm& filledRect(Asm& a, const std::string& clip, double x0, double y0, double x1, double y1,
                double rgb) {
    a.invoke(clip, "beginFill", {rgb}).invoke(clip, "moveTo", {x0, y0});
    a.invoke(clip, "lineTo", {x1, y0}).invoke(clip, "lineTo", {x1, y1});
    a.invoke(clip, "lineTo", {x0, y1}).invoke(clip, "lineTo", {x0, y0});
    return a.invoke(clip, "endFill");
}

// name = parent[child]
Asm& assignMember(Asm& a, const std::string& name, const std::string& parent,
                  const std::string& child) {
    return a.str(name).getVar(parent).str(child).op(op::GetMember).op(op::SetVariable);
}

// target.setMask(mask), mask a variable or, with an empty name, null.
Asm& setMask(Asm& a, const std::string& target, const std::string& mask) {
    if (mask.empty())
        a.rec(op::Push, {2}); // null
    else
        a.getVar(mask);
    return a.num(1).getVar(target).str("setMask").op(op::CallMethod).op(op::Pop);
}

void run(MovieRun& r, const Asm& code) {
    const Bytes bytes = code.bytes();
    r.scripting->vm().runBlock(bytes, &r.player->root());
}

// A red 100 x 100 clip "content", and above it "holder" (moved right 30 px and scaled twice
// as wide) holding "mk", a green square drawn at (20, 20)-(40, 40) of its own space: on the
// stage the square spans x 70..110, y 20..40.
Asm maskedScene() {
    Asm a;
    a.invoke("this", "createEmptyMovieClip", {std::string("content"), 1.0});
    filledRect(a, "content", 0, 0, 100, 100, double(0xFF0000));
    a.invoke("this", "createEmptyMovieClip", {std::string("holder"), 2.0});
    a.invoke("holder", "createEmptyMovieClip", {std::string("mk"), 1.0});
    assignMember(a, "mk", "holder", "mk");
    filledRect(a, "mk", 20, 20, 40, 40, double(0x00FF00));
    a.set("holder", "_x", 30.0).set("holder", "_xscale", 200.0);
    return a;
}

TEST(Avm1ScriptMask, ClipsWhereTheMaskStandsAndHidesTheMask) {
    Asm a = maskedScene();
    setMask(a, "content", "mk");
    MovieRun r(oneFrame(a, 8));
    QImage img = picture(r);
    EXPECT_EQ(img.pixel(85, 30), kRed) << "inside both";
    EXPECT_EQ(img.pixel(50, 30), kWhite) << "the content outside the mask";
    EXPECT_EQ(img.pixel(85, 60), kWhite);
    EXPECT_EQ(img.pixel(105, 30), kWhite) << "the mask itself is not drawn";

    // setMask(null): the content whole again, and the clip that masked it drawn again.
    Asm unmask;
    setMask(unmask, "content", "");
    run(r, unmask);
    img = picture(r);
    EXPECT_EQ(img.pixel(50, 30), kRed);
    EXPECT_EQ(img.pixel(85, 30), kGreen);
    EXPECT_EQ(img.pixel(105, 30), kGreen);

    // A mask serves one clip: giving it to another frees the first.
    Asm other;
    other.invoke("this", "createEmptyMovieClip", {std::string("second"), 3.0});
    filledRect(other, "second", 200, 0, 300, 100, double(0x0000FF));
    setMask(other, "content", "mk");
    setMask(other, "second", "mk");
    run(r, other);
    img = picture(r);
    EXPECT_EQ(img.pixel(50, 30), kRed) << "content no longer masked";
    EXPECT_EQ(img.pixel(250, 30), kWhite) << "second clipped to x 70..110";
    EXPECT_EQ(img.pixel(85, 30), kRed) << "the mask still hidden";

    // The mask leaves the stage: what it masked shows whole, and nothing points at it.
    Asm gone;
    gone.invoke("holder", "removeMovieClip");
    run(r, gone);
    img = picture(r);
    EXPECT_EQ(img.pixel(250, 30), kBlue);
    EXPECT_EQ(img.pixel(50, 30), kRed);
}

TEST(Avm1ScriptMask, ShapeHitTestsMissWhereAMaskHides) {
    Asm a = maskedScene();
    setMask(a, "content", "mk");
    // "outer" holds "inner", a blue square at (200, 0)-(300, 100); "mk2" masks outer to
    // (200, 0)-(220, 20).
    a.invoke("this", "createEmptyMovieClip", {std::string("outer"), 3.0});
    a.invoke("outer", "createEmptyMovieClip", {std::string("inner"), 1.0});
    assignMember(a, "inner", "outer", "inner");
    filledRect(a, "inner", 200, 0, 300, 100, double(0x0000FF));
    a.invoke("this", "createEmptyMovieClip", {std::string("mk2"), 4.0});
    filledRect(a, "mk2", 200, 0, 220, 20, double(0x00FF00));
    setMask(a, "outer", "mk2");
    MovieRun r(oneFrame(a, 8));
    // The movie runner's hit test, which clips' mouse events use too.
    r.scripting->hitTest = [&r](const swf::DisplayObject& o, QTransform stage, QPointF px) {
        return swf::render::Renderer::shapeContains(*r.player, o, stage, px * 20);
    };
    // clip.hitTest(x, y, true)
    auto hit = [](Asm& probe, const std::string& clip, double x, double y) {
        probe.num(1).num(y).num(x).num(3).getVar(clip).str("hitTest").op(op::CallMethod).trace();
    };
    Asm probe;
    hit(probe, "content", 85, 30); // inside the mask
    hit(probe, "content", 50, 30); // on the content, outside the mask
    hit(probe, "content", 85, 60);
    hit(probe, "inner", 210, 10); // inside the mask of the clip holding it
    hit(probe, "inner", 250, 50); // outside it
    hit(probe, "mk", 105, 30);    // a mask is still a shape of its own for hitTest
    run(r, probe);
    EXPECT_EQ(r.traces, (QStringList{"true", "false", "false", "true", "false", "true"}));

    // Unmasked, the content is hit everywhere again.
    Asm unmask;
    setMask(unmask, "content", "");
    hit(unmask, "content", 50, 30);
    r.traces.clear();
    run(r, unmask);
    EXPECT_EQ(r.traces, QStringList{"true"});
}

TEST(Avm1ScriptMask, AMaskedClipLeavingFreesItsMask) {
    Asm a = maskedScene();
    setMask(a, "content", "mk");
    a.invoke("content", "removeMovieClip");
    MovieRun r(oneFrame(a, 8));
    const QImage img = picture(r);
    EXPECT_EQ(img.pixel(85, 30), kGreen) << "the mask is drawn as a clip again";
    EXPECT_EQ(img.pixel(50, 30), kWhite);
}

// DefineShape3 id 1: 100 x 100 px; sprite 2: empty. The shape masks depths 2..5 from depth 1;
// the sprite, "content" at depth 2, lies under it. The script draws a blue 200 x 200 square
// into content and masks it with a clip drawn at (50, 50)-(150, 150).
TEST(Avm1ScriptMask, MeetsATimelineMaskWhereBothAllow) {
    swftest::Writer place;
    place.u8(0x02 | 0x04 | 0x40).u16(1).u16(1).translate(0, 0).u16(5); // clip depth 5
    Asm a;
    filledRect(a, "content", 0, 0, 200, 200, double(0x0000FF));
    a.invoke("this", "createEmptyMovieClip", {std::string("mk"), 10.0});
    filledRect(a, "mk", 50, 50, 150, 150, double(0x00FF00));
    setMask(a, "content", "mk");
    const Bytes file = swftest::movie(
        swftest::concat({swftest::rectShape(1, 2000, 2000),
                         swftest::sprite(2, 1, swftest::showFrame()), swftest::tag(26, place),
                         swftest::placeObject2(2, 2, 0, 0, false, "content"),
                         swftest::doAction(a.bytes()), swftest::showFrame(), swftest::end()}),
        1, 8);
    MovieRun r(file);
    const QImage img = picture(r);
    EXPECT_EQ(img.pixel(75, 75), kBlue) << "inside both masks";
    EXPECT_EQ(img.pixel(25, 25), kWhite) << "the timeline mask alone";
    EXPECT_EQ(img.pixel(125, 125), kWhite) << "the script mask alone, itself not drawn";
    EXPECT_EQ(img.pixel(125, 25), kWhite);
}

// Shape hit tests (hitTest(x, y, true), and so the mouse) miss where a timeline mask hides
// the object: a mask over it, over a clip holding it, or inside the clip tested.
TEST(Avm1ScriptMask, ShapeHitTestsMissWhereATimelineMaskHides) {
    // Shape 1: 100 x 100 px, masking depths 2..5 of the root from depth 1; sprite 3 holds the
    // same mask over shape 4 (300 x 100 px) and stands at x 200.
    auto maskAt = [](std::int32_t depth, std::uint16_t clipDepth) {
        swftest::Writer w;
        w.u8(0x02 | 0x04 | 0x40).u16(std::uint16_t(depth)).u16(1).translate(0, 0).u16(clipDepth);
        return swftest::tag(26, w);
    };
    const Bytes inside =
        swftest::concat({maskAt(1, 5), swftest::placeObject2(2, 4), swftest::showFrame()});
    Asm a;
    filledRect(a, "content", 0, 0, 200, 200, double(0x0000FF));
    a.invoke("content", "createEmptyMovieClip", {std::string("inner"), 1.0});
    assignMember(a, "inner", "content", "inner");
    filledRect(a, "inner", 40, 40, 180, 60, double(0x00FF00));
    const Bytes file = swftest::movie(
        swftest::concat({swftest::rectShape(1, 2000, 2000), swftest::rectShape(4, 6000, 2000),
                         swftest::sprite(2, 1, swftest::showFrame()), swftest::sprite(3, 1, inside),
                         maskAt(1, 5), swftest::placeObject2(2, 2, 0, 0, false, "content"),
                         swftest::placeObject2(10, 3, 4000, 0, false, "wrap"),
                         swftest::doAction(a.bytes()), swftest::showFrame(), swftest::end()}),
        1, 8);
    MovieRun r(file);
    r.scripting->hitTest = [&r](const swf::DisplayObject& o, QTransform stage, QPointF px) {
        return swf::render::Renderer::shapeContains(*r.player, o, stage, px * 20);
    };
    Asm probe;
    auto hit = [&probe](const std::string& clip, double x, double y) {
        probe.num(1).num(y).num(x).num(3).getVar(clip).str("hitTest").op(op::CallMethod).trace();
    };
    hit("content", 50, 50);  // under the mask
    hit("content", 150, 50); // outside it: drawn there, but hidden
    hit("inner", 50, 50);    // inside a clip the mask covers
    hit("inner", 150, 50);
    hit("wrap", 250, 50); // the mask inside the clip tested
    hit("wrap", 350, 50);
    run(r, probe);
    EXPECT_EQ(r.traces, (QStringList{"true", "false", "true", "false", "true", "false"}));
    // What is drawn agrees.
    const QImage img = picture(r);
    EXPECT_EQ(img.pixel(150, 50), kWhite);
    EXPECT_EQ(img.pixel(350, 50), kWhite);
    EXPECT_EQ(img.pixel(250, 50), kRed);
}

// Every pixel that differs between two pictures lies in the region the tracker reported.
void expectCovered(const QImage& before, const QImage& after,
                   const swf::render::StageChanges& changes) {
    ASSERT_FALSE(changes.everything);
    const QRegion region = changes.deviceRegion(kView, before.rect());
    int differing = 0;
    for (int y = 0; y < before.height(); ++y)
        for (int x = 0; x < before.width(); ++x)
            if (before.pixel(x, y) != after.pixel(x, y)) {
                ++differing;
                ASSERT_TRUE(region.contains(QPoint(x, y))) << "pixel " << x << "," << y;
            }
    EXPECT_GT(differing, 0) << "the change shows";
}

TEST(Avm1ScriptMask, TheChangeTrackerSeesMasksMoveComeAndGo) {
    Asm a = maskedScene();
    setMask(a, "content", "mk");
    MovieRun r(oneFrame(a, 8));
    swf::render::ChangeTracker tracker;
    EXPECT_TRUE(tracker.update(*r.player).everything);
    EXPECT_TRUE(tracker.update(*r.player).empty()) << "nothing changed";

    const std::vector<std::pair<const char*, Asm>> steps = [] {
        std::vector<std::pair<const char*, Asm>> s;
        Asm move; // the mask's parent moves: it uncovers content to the left
        move.set("holder", "_x", -20.0);
        s.emplace_back("mask moved", move);
        Asm redraw; // the mask's drawing grows downwards
        filledRect(redraw, "mk", 20, 40, 40, 90, double(0x00FF00));
        s.emplace_back("mask redrawn", redraw);
        Asm off;
        setMask(off, "content", "");
        s.emplace_back("mask off", off);
        Asm on;
        setMask(on, "content", "mk");
        s.emplace_back("mask on", on);
        return s;
    }();
    for (const auto& [what, code] : steps) {
        SCOPED_TRACE(what);
        const QImage before = picture(r);
        run(r, code);
        const QImage after = picture(r);
        expectCovered(before, after, tracker.update(*r.player));
    }
}

TEST(Avm1ClipFilters, SetFromFilterObjectsDrawnAndReadBackAsCopies) {
    Asm a;
    a.invoke("this", "createEmptyMovieClip", {std::string("c"), 1.0});
    filledRect(a, "c", 100, 100, 200, 200, double(0xFF0000));
    // c.filters = [new flash.filters.GlowFilter(0x0000FF, 1, 16, 16, 4, 1, false, false),
    //              new flash.filters.DropShadowFilter(6, 90, 0x00FF00, 0.5, 2, 2, 1, 1)];
    a.getVar("c").str("filters");
    for (double v : {1.0, 1.0, 2.0, 2.0, 0.5, double(0x00FF00), 90.0, 6.0})
        a.num(v);
    a.num(8).getVar("flash").str("filters").op(op::GetMember).str("DropShadowFilter");
    a.op(op::NewMethod);
    a.boolean(false).boolean(false);
    for (double v : {1.0, 4.0, 16.0, 16.0, 1.0, double(0x0000FF)})
        a.num(v);
    a.num(8).getVar("flash").str("filters").op(op::GetMember).str("GlowFilter");
    a.op(op::NewMethod);
    a.num(2).op(op::InitArray).op(op::SetMember);
    // Read back: copies of the documented properties.
    assignMember(a, "f", "c", "filters");
    a.traceMember("f", "length");
    a.str("g").getVar("f").num(0).op(op::GetMember).op(op::SetVariable);
    a.str("d").getVar("f").num(1).op(op::GetMember).op(op::SetVariable);
    a.traceMember("g", "color").traceMember("g", "blurX").traceMember("g", "strength");
    a.traceMember("d", "angle").traceMember("d", "distance").traceMember("d", "alpha");
    a.getVar("g").getVar("flash").str("filters").op(op::GetMember).str("GlowFilter");
    a.op(op::GetMember).op(op::InstanceOf).trace();
    // Changing a copy changes nothing until it is assigned.
    a.set("g", "blurX", 40.0).set("g", "blurY", 40.0);
    a.str("again").getVar("c").str("filters").op(op::GetMember).op(op::SetVariable);
    a.getVar("again").num(0).op(op::GetMember).str("blurX").op(op::GetMember).trace();
    MovieRun r(oneFrame(a, 8));
    EXPECT_EQ(r.traces, (QStringList{"2", "255", "16", "4", "90", "6", "0.5", "true", "16"}));
    const QImage img = picture(r);
    EXPECT_EQ(img.pixel(150, 150), kRed) << "the glow lies outside";
    EXPECT_LT(qRed(img.pixel(150, 97)), 100) << "blue glow over the white just above";
    EXPECT_EQ(img.pixel(150, 88), kWhite) << "beyond the glow's reach";

    // Assigning a changed array, then an empty one; the tracker sees each.
    swf::render::ChangeTracker tracker;
    tracker.update(*r.player);
    Asm wider;
    wider.getVar("c").str("filters").getVar("f").op(op::SetMember);
    QImage before = picture(r);
    run(r, wider);
    QImage after = picture(r);
    expectCovered(before, after, tracker.update(*r.player));
    EXPECT_LT(qRed(after.pixel(150, 88)), 255) << "the wider glow reaches further";

    Asm none;
    none.getVar("c").str("filters").num(0).op(op::InitArray).op(op::SetMember);
    none.getVar("c").str("filters").op(op::GetMember).str("length").op(op::GetMember).trace();
    before = after;
    run(r, none);
    after = picture(r);
    expectCovered(before, after, tracker.update(*r.player));
    EXPECT_EQ(after.pixel(150, 97), kWhite);
    EXPECT_EQ(r.traces.last(), "0");
}

// Properties read from a script filter object's values (defaults where missing).
swf::ScriptFilterProps propsOf(const swf::ScriptFilterObject& o) {
    auto find = [&o](const char* name) -> const swf::ScriptFilterObject::Value* {
        for (const auto& [n, v] : o.properties)
            if (std::string_view(n) == name)
                return &v;
        return nullptr;
    };
    swf::ScriptFilterProps p;
    p.number = [find](const char* n, double fallback) {
        const auto* v = find(n);
        return v && std::holds_alternative<double>(*v) ? std::get<double>(*v) : fallback;
    };
    p.boolean = [find](const char* n, bool fallback) {
        const auto* v = find(n);
        return v && std::holds_alternative<bool>(*v) ? std::get<bool>(*v) : fallback;
    };
    p.string = [find](const char* n, const QString& fallback) {
        const auto* v = find(n);
        return v && std::holds_alternative<QString>(*v) ? std::get<QString>(*v) : fallback;
    };
    p.numbers = [find](const char* n) -> std::optional<std::vector<double>> {
        const auto* v = find(n);
        if (v && std::holds_alternative<std::vector<double>>(*v))
            return std::get<std::vector<double>>(*v);
        return std::nullopt;
    };
    return p;
}

// A timeline's filters, as the getter turns them into objects, make the same filters again.
TEST(ScriptFilters, AFilterReadAsAnObjectMakesTheSameFilter) {
    using swf::Filter;
    using swf::FilterType;
    std::vector<Filter> filters;
    Filter shadow;
    shadow.type = FilterType::DropShadow;
    shadow.colors = {{10, 20, 30, 51}};
    shadow.blurX = 3;
    shadow.blurY = 5;
    shadow.angle = 1.0;
    shadow.distance = 7;
    shadow.strength = 2;
    shadow.passes = 2;
    shadow.inner = true;
    shadow.compositeSource = true;
    filters.push_back(shadow);
    Filter bevel = shadow;
    bevel.type = FilterType::Bevel;
    bevel.colors = {{0, 0, 0, 255}, {255, 255, 255, 128}};
    bevel.inner = false;
    bevel.onTop = true;
    bevel.knockout = true;
    filters.push_back(bevel);
    Filter gradient = bevel;
    gradient.type = FilterType::GradientGlow;
    gradient.colors = {{255, 0, 0, 255}, {0, 0, 255, 0}};
    gradient.ratios = {0, 200};
    gradient.onTop = false;
    gradient.inner = true;
    filters.push_back(gradient);
    Filter matrix;
    matrix.type = FilterType::ColorMatrix;
    matrix.matrix = {0.5f, 0, 0, 0, 10, 0, 1, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 1, -20};
    filters.push_back(matrix);
    Filter kernel;
    kernel.type = FilterType::Convolution;
    kernel.matrixX = 3;
    kernel.matrixY = 1;
    kernel.matrix = {1, 2, 1};
    kernel.divisor = 4;
    kernel.bias = 1;
    kernel.clamp = false;
    kernel.preserveAlpha = true;
    kernel.defaultColor = {1, 2, 3, 255};
    filters.push_back(kernel);
    for (const Filter& f : filters) {
        const swf::ScriptFilterObject o = swf::scriptFilterObject(f);
        SCOPED_TRACE(o.className.toStdString());
        const auto back = swf::filterFromScript(o.className, propsOf(o));
        ASSERT_TRUE(back);
        EXPECT_EQ(back->type, f.type);
        EXPECT_EQ(back->colors, f.colors);
        EXPECT_EQ(back->ratios, f.ratios);
        EXPECT_DOUBLE_EQ(back->blurX, f.blurX);
        EXPECT_DOUBLE_EQ(back->blurY, f.blurY);
        EXPECT_NEAR(back->angle, f.angle, 1e-9);
        EXPECT_DOUBLE_EQ(back->distance, f.distance);
        EXPECT_DOUBLE_EQ(back->strength, f.strength);
        EXPECT_EQ(back->passes, f.passes);
        EXPECT_EQ(back->inner, f.inner);
        EXPECT_EQ(back->onTop, f.onTop);
        EXPECT_EQ(back->knockout, f.knockout);
        EXPECT_EQ(back->matrix, f.matrix);
        if (f.type == FilterType::Convolution) {
            EXPECT_EQ(back->defaultColor, f.defaultColor);
            EXPECT_EQ(back->divisor, f.divisor);
            EXPECT_EQ(back->bias, f.bias);
            EXPECT_EQ(back->clamp, f.clamp);
            EXPECT_EQ(back->preserveAlpha, f.preserveAlpha);
        } else if (f.type != FilterType::ColorMatrix) {
            EXPECT_EQ(back->compositeSource, f.compositeSource);
        }
    }
}

} // namespace
