// Scroll rectangles and masks of ActionScript 3 objects: drawn through the renderer's clip path,
// measured, hit by the mouse only where they show, and tracked so that redrawing only the
// changed rows gives the same picture as redrawing everything.

#include "swf/avm2/display.h"
#include "swf/avm2/media.h"
#include "swf/avm2/runtime.h"
#include "swf/movie.h"
#include "swf/player.h"
#include "swf/render/bitmapdrawer.h"
#include "swf/render/changes.h"
#include "swf/render/paintercanvas.h"
#include "swf/render/renderer.h"
#include "swf/swf_writer.h"
#include "tests/swf/avm2/abc_writer.h"
#include "tests/swf/avm2/scriptcalls.h"

#include <QPainter>
#include <gtest/gtest.h>

namespace {

using namespace swf::avm2;

struct Fixture : ScriptCalls<Fixture> {
    explicit Fixture(std::shared_ptr<const swf::Movie> m = emptyAs3Movie())
        : movie(std::move(m)), runtime(movie, drawingOptions(errors)) {
        runtime.start();
        kept = picture();
        tracker.update(runtime.player());
    }
    VM& vm() { return runtime.vm(); }
    Value root() { return Value(static_cast<Object*>(runtime.root())); }
    Value number(double v) { return Value::number(v); }
    void fill(const Value& s, double x, double y, double w, double h, std::uint32_t color) {
        const Value g = get(s, "graphics");
        call(g, "beginFill", {number(color)});
        call(g, "drawRect", {number(x), number(y), number(w), number(h)});
        call(g, "endFill");
    }
    Value sprite(const Value& parent, double x, double y) {
        const Value s = make("flash.display::Sprite");
        set(s, "x", number(x));
        set(s, "y", number(y));
        call(parent, "addChild", {s});
        return s;
    }
    Value rect(double x, double y, double w, double h) {
        return make("flash.geom::Rectangle", {number(x), number(y), number(w), number(h)});
    }
    double num(const Value& o, const char* name) { return vm().toNumber(get(o, name)); }
    Value point(double x, double y) { return make("flash.geom::Point", {number(x), number(y)}); }
    bool hits(const Value& o, double x, double y, bool shape) {
        return vm().toBoolean(call(o, "hitTestPoint", {number(x), number(y), Value(shape)}));
    }
    QImage picture() { return stagePicture(renderer, runtime.player()); }
    DisplayNode* under(double x, double y) {
        return runtime.displayTree().mouseTarget(QPointF(x * 20, y * 20));
    }

    // Redraws only the rows the tracker reports into the picture kept from before, as a view
    // does, and checks that it equals a whole new picture. Returns whether anything changed.
    bool partialMatchesFull() {
        const swf::render::StageChanges changes = tracker.update(runtime.player());
        const auto& header = runtime.player().movie().header();
        const QTransform view =
            swf::render::stageTransform(header.frameSize, QRectF(0, 0, 550, 400), 0);
        const QRect bounds(0, 0, 550, 400);
        const QRegion region = changes.deviceRegion(view, bounds);
        {
            QPainter p(&kept);
            // Whole rows, as views redraw them.
            for (const QRect& r : region) {
                const QRect band(0, r.top(), bounds.width(), r.height());
                p.save();
                p.fillRect(band, Qt::white);
                p.setClipRect(band);
                swf::render::PainterCanvas canvas(p);
                canvas.setLayerArea(QRectF(bounds));
                renderer.render(runtime.player(), canvas, view);
                p.restore();
            }
        }
        const QImage full = picture();
        EXPECT_EQ(kept, full) << "a partial repaint differs from the whole picture";
        kept = full;
        return !changes.empty();
    }

    std::shared_ptr<const swf::Movie> movie;
    QStringList errors;
    Runtime runtime;
    swf::render::Renderer renderer;
    swf::render::ChangeTracker tracker;
    QImage kept;
};

constexpr QRgb kWhite = 0xFFFFFFFF, kRed = 0xFFFF0000, kBlue = 0xFF0000FF, kGreen = 0xFF00FF00;

TEST(Avm2ScrollRect, ShowsTheWindowAtTheOriginAndMeasuresAsIt) {
    Fixture f;
    const Value s = f.sprite(f.root(), 100, 100);
    f.fill(s, 0, 0, 200, 200, 0xFF0000);
    f.fill(s, 50, 50, 20, 20, 0x0000FF);
    EXPECT_TRUE(f.get(s, "scrollRect").isNull());
    EXPECT_EQ(f.num(s, "width"), 200);

    f.set(s, "scrollRect", f.rect(40, 40, 50, 50));
    EXPECT_TRUE(f.partialMatchesFull());
    QImage img = f.picture();
    // Content at (40, 40) shows at the sprite's origin: the blue square at (50, 50) moves to
    // stage (110, 110), and nothing beyond the 50-pixel window is drawn.
    EXPECT_EQ(img.pixel(105, 105), kRed);
    EXPECT_EQ(img.pixel(115, 115), kBlue);
    EXPECT_EQ(img.pixel(145, 145), kRed);
    EXPECT_EQ(img.pixel(155, 155), kWhite);
    EXPECT_EQ(img.pixel(95, 95), kWhite);

    // Size and bounds follow the window, for the object and for its parent.
    EXPECT_EQ(f.num(s, "width"), 50);
    EXPECT_EQ(f.num(s, "height"), 50);
    const Value own = f.call(s, "getBounds", {s});
    EXPECT_EQ(f.num(own, "x"), 40);
    EXPECT_EQ(f.num(own, "y"), 40);
    EXPECT_EQ(f.num(own, "width"), 50);
    const Value onStage = f.call(s, "getRect", {f.root()});
    EXPECT_EQ(f.num(onStage, "x"), 100);
    EXPECT_EQ(f.num(onStage, "width"), 50);
    EXPECT_EQ(f.num(f.root(), "width"), 50);
    // The window's corner in the sprite's own coordinates is its origin on the stage.
    const Value corner = f.call(s, "localToGlobal", {f.point(40, 40)});
    EXPECT_EQ(f.num(corner, "x"), 100);
    EXPECT_EQ(f.num(corner, "y"), 100);

    // The mouse hits only what shows.
    EXPECT_EQ(f.under(105, 105), s.object());
    EXPECT_EQ(f.under(160, 160), f.runtime.stage());
    EXPECT_FALSE(f.hits(s, 160, 160, true));
    EXPECT_TRUE(f.hits(s, 120, 120, true));

    // Reading gives a copy: changing it changes nothing until it is set again.
    const Value copy = f.get(s, "scrollRect");
    EXPECT_EQ(f.num(copy, "x"), 40);
    EXPECT_EQ(f.num(copy, "width"), 50);
    f.set(copy, "x", f.number(0));
    EXPECT_EQ(f.num(f.get(s, "scrollRect"), "x"), 40);
    EXPECT_FALSE(f.partialMatchesFull());

    // Scrolling: the view of the content moves, the window stays.
    f.set(s, "scrollRect", f.rect(0, 0, 50, 50));
    EXPECT_TRUE(f.partialMatchesFull());
    img = f.picture();
    EXPECT_EQ(img.pixel(115, 115), kRed);
    EXPECT_EQ(img.pixel(145, 145), kRed);
    EXPECT_EQ(img.pixel(155, 155), kWhite);

    // Null removes it: the whole sprite again.
    f.set(s, "scrollRect", Value::null());
    EXPECT_TRUE(f.get(s, "scrollRect").isNull());
    EXPECT_TRUE(f.partialMatchesFull());
    img = f.picture();
    EXPECT_EQ(img.pixel(155, 155), kBlue);
    EXPECT_EQ(img.pixel(250, 250), kRed);
    EXPECT_EQ(f.num(s, "width"), 200);
    EXPECT_TRUE(f.errors.isEmpty()) << f.errors.join('\n').toStdString();
}

TEST(Avm2ScrollRect, ChildrenScrollWithTheWindowAndRepaintsStayExact) {
    Fixture f;
    const Value view = f.sprite(f.root(), 20, 20);
    f.set(view, "scaleX", f.number(2));
    f.set(view, "scaleY", f.number(2));
    f.set(view, "scrollRect", f.rect(0, 0, 100, 80));
    EXPECT_TRUE(f.partialMatchesFull());
    const Value a = f.sprite(view, 10, 10);
    f.fill(a, 0, 0, 30, 30, 0x00FF00);
    const Value b = f.sprite(view, 150, 10);
    f.fill(b, 0, 0, 30, 30, 0x0000FF);
    EXPECT_TRUE(f.partialMatchesFull());
    QImage img = f.picture();
    // Scaled by two: the window covers stage (20, 20) to (220, 180).
    EXPECT_EQ(img.pixel(60, 60), kGreen);
    EXPECT_EQ(img.pixel(330, 60), kWhite); // b lies beyond the window
    // A child under the mouse inside the window is the target; outside, nothing is.
    EXPECT_EQ(f.under(60, 60), a.object());
    EXPECT_EQ(f.under(330, 60), f.runtime.stage());

    // Scroll right by 140 content pixels, then move a child and the window itself: each step
    // redraws only what changed, with the same pixels as a whole picture.
    f.set(view, "scrollRect", f.rect(140, 0, 100, 80));
    EXPECT_TRUE(f.partialMatchesFull());
    img = f.picture();
    EXPECT_EQ(img.pixel(60, 60), kBlue);
    EXPECT_EQ(f.under(60, 60), b.object());
    f.set(b, "y", f.number(40));
    EXPECT_TRUE(f.partialMatchesFull());
    f.set(view, "x", f.number(200));
    EXPECT_TRUE(f.partialMatchesFull());
    f.set(view, "scrollRect", f.rect(140, 0, 30, 30));
    EXPECT_TRUE(f.partialMatchesFull());
    EXPECT_EQ(f.num(view, "width"), 60);
    // Hidden and shown again.
    f.set(view, "visible", Value(false));
    EXPECT_TRUE(f.partialMatchesFull());
    f.set(view, "visible", Value(true));
    EXPECT_TRUE(f.partialMatchesFull());
    EXPECT_TRUE(f.errors.isEmpty()) << f.errors.join('\n').toStdString();
}

TEST(Avm2ScrollRect, BadValuesAreRefusedOrShowNothing) {
    Fixture f;
    const Value s = f.sprite(f.root(), 0, 0);
    f.fill(s, 0, 0, 100, 100, 0xFF0000);
    EXPECT_THROW(f.set(s, "scrollRect", Value(3)), ScriptThrow);
    // A negative or not-a-number size is an empty window: nothing shows or takes the mouse.
    f.set(s, "scrollRect", f.rect(std::nan(""), 0, -10, 1e300));
    EXPECT_TRUE(f.partialMatchesFull());
    EXPECT_EQ(f.picture().pixel(5, 5), kWhite);
    EXPECT_EQ(f.under(5, 5), f.runtime.stage());
    EXPECT_EQ(f.num(f.get(s, "scrollRect"), "width"), 0);
    EXPECT_TRUE(f.errors.isEmpty()) << f.errors.join('\n').toStdString();
}

// The document class has no player object of its own: its window is drawn for the root, and
// what the stage holds beside the document stays where it is.
TEST(Avm2ScrollRect, OnTheDocumentClipsAndMovesWhatItHolds) {
    Fixture f;
    const Value stage(static_cast<Object*>(f.runtime.stage()));
    const Value s = f.sprite(f.root(), 100, 100);
    f.fill(s, 0, 0, 200, 200, 0xFF0000);
    const Value beside = f.sprite(stage, 300, 300);
    f.fill(beside, 0, 0, 20, 20, 0x0000FF);
    EXPECT_TRUE(f.partialMatchesFull());

    // Root content at (100, 100) shows at the stage's origin, 50 pixels of it.
    f.set(f.root(), "scrollRect", f.rect(100, 100, 50, 50));
    EXPECT_TRUE(f.partialMatchesFull());
    QImage img = f.picture();
    EXPECT_EQ(img.pixel(10, 10), kRed);
    EXPECT_EQ(img.pixel(45, 45), kRed);
    EXPECT_EQ(img.pixel(60, 60), kWhite);
    EXPECT_EQ(img.pixel(150, 150), kWhite);
    EXPECT_EQ(img.pixel(305, 305), kBlue); // the stage's own child is not scrolled
    EXPECT_EQ(f.num(f.root(), "width"), 50);
    const Value own = f.call(f.root(), "getBounds", {f.root()});
    EXPECT_EQ(f.num(own, "x"), 100);
    EXPECT_EQ(f.num(own, "width"), 50);
    const Value onStage = f.call(s, "getBounds", {stage});
    EXPECT_EQ(f.num(onStage, "x"), 0);
    EXPECT_EQ(f.num(f.call(s, "localToGlobal", {f.point(0, 0)}), "x"), 0);
    const Value back = f.call(s, "globalToLocal", {f.point(10, 20)});
    EXPECT_EQ(f.num(back, "x"), 10);
    EXPECT_EQ(f.num(back, "y"), 20);

    // The mouse and hit tests: only what shows through the window.
    EXPECT_EQ(f.under(10, 10), s.object());
    EXPECT_EQ(f.under(60, 60), f.runtime.stage());
    EXPECT_EQ(f.under(305, 305), beside.object());
    f.runtime.mouseMove(QPointF(30 * 20, 40 * 20));
    EXPECT_EQ(f.num(s, "mouseX"), 30);
    EXPECT_EQ(f.num(f.root(), "mouseY"), 140);
    EXPECT_TRUE(f.hits(s, 10, 10, true));
    EXPECT_FALSE(f.hits(s, 60, 60, true));
    EXPECT_FALSE(f.hits(s, 60, 60, false));

    // Scrolling the document, then taking the window away.
    f.set(f.root(), "scrollRect", f.rect(250, 250, 100, 100));
    EXPECT_TRUE(f.partialMatchesFull());
    img = f.picture();
    EXPECT_EQ(img.pixel(10, 10), kRed);   // content (260, 260)
    EXPECT_EQ(img.pixel(60, 60), kWhite); // content (310, 310): past the square
    f.set(f.root(), "scrollRect", Value::null());
    EXPECT_TRUE(f.get(f.root(), "scrollRect").isNull());
    EXPECT_TRUE(f.partialMatchesFull());
    img = f.picture();
    EXPECT_EQ(img.pixel(10, 10), kWhite);
    EXPECT_EQ(img.pixel(150, 150), kRed);
    EXPECT_EQ(f.under(150, 150), s.object());
    EXPECT_TRUE(f.errors.isEmpty()) << f.errors.join('\n').toStdString();
}

// hitTestPoint, with and without the shape, misses where a scroll window of an ancestor hides
// the object, as the mouse does.
TEST(Avm2ScrollRect, HitTestPointHonoursTheWindowsOfAncestors) {
    Fixture f;
    const Value outer = f.sprite(f.root(), 0, 0);
    const Value inner = f.sprite(outer, 10, 0);
    const Value c = f.sprite(inner, 0, 0);
    f.fill(c, 0, 0, 100, 100, 0x00FF00);
    auto hits = [&](double x, double y, bool shape) { return f.hits(c, x, y, shape); };
    EXPECT_TRUE(hits(80, 80, true));
    EXPECT_TRUE(hits(80, 80, false));
    f.set(outer, "scrollRect", f.rect(0, 0, 60, 200));
    f.set(inner, "scrollRect", f.rect(0, 0, 200, 40));
    for (bool shape : {true, false}) {
        EXPECT_TRUE(hits(30, 30, shape)) << shape;
        EXPECT_FALSE(hits(80, 30, shape)) << shape; // outside the outer window
        EXPECT_FALSE(hits(30, 50, shape)) << shape; // outside the inner window
    }
    // The outer window scrolled: its content moves left by 20, and so does what hits.
    f.set(outer, "scrollRect", f.rect(20, 0, 60, 200));
    EXPECT_TRUE(hits(5, 30, true));
    EXPECT_FALSE(hits(65, 30, true));
    EXPECT_EQ(f.under(5, 30), c.object());
    EXPECT_EQ(f.under(65, 30), f.runtime.stage());
    EXPECT_TRUE(f.errors.isEmpty()) << f.errors.join('\n').toStdString();
}

// A movie whose first frame places a 100 x 100 pixel red DefineShape at (40, 40): a timeline
// shape, not a clip.
std::shared_ptr<const swf::Movie> shapeMovie() {
    using namespace swftest;
    auto m = swf::Movie::load(
        swftest::movie(concat({tag(69, Writer().u32(0x08)), rectShape(1, 2000, 2000),
                               placeObject2(1, 1, 800, 800), showFrame(), end()}),
                       1));
    return m ? *m : nullptr;
}

TEST(Avm2ScriptMask, ATimelineShapeMasksWhereItStands) {
    Fixture f(shapeMovie());
    const Value shape = f.call(f.root(), "getChildAt", {Value(0)});
    ASSERT_TRUE(
        f.vm().toBoolean(f.call(shape, "hitTestPoint", {f.number(50), f.number(50), Value(true)})));
    const Value holder = f.sprite(f.root(), 0, 0);
    const Value blue = f.sprite(holder, 0, 0);
    f.fill(blue, 0, 0, 300, 300, 0x0000FF);
    EXPECT_TRUE(f.partialMatchesFull());
    EXPECT_EQ(f.picture().pixel(20, 20), kBlue);

    f.set(blue, "mask", shape);
    EXPECT_TRUE(f.partialMatchesFull());
    QImage img = f.picture();
    EXPECT_EQ(img.pixel(20, 20), kWhite); // outside the shape
    EXPECT_EQ(img.pixel(50, 50), kBlue);  // inside it: blue, the mask itself not drawn
    EXPECT_EQ(img.pixel(200, 200), kWhite);
    EXPECT_EQ(f.under(20, 20), f.runtime.stage());
    EXPECT_EQ(f.under(50, 50), blue.object());

    // The mask stands where it is on the stage, wherever the masked object moves.
    f.set(holder, "x", f.number(30));
    EXPECT_TRUE(f.partialMatchesFull());
    f.set(shape, "x", f.number(100));
    EXPECT_TRUE(f.partialMatchesFull());
    img = f.picture();
    EXPECT_EQ(img.pixel(50, 50), kWhite);
    EXPECT_EQ(img.pixel(150, 80), kBlue);

    // Unmasked: the whole of blue again (from x 30 on now), over the shape, which is drawn
    // again beneath it.
    f.set(blue, "mask", Value::null());
    EXPECT_TRUE(f.partialMatchesFull());
    img = f.picture();
    EXPECT_EQ(img.pixel(40, 20), kBlue);
    EXPECT_EQ(img.pixel(20, 20), kWhite);
    f.set(holder, "visible", Value(false));
    EXPECT_TRUE(f.partialMatchesFull());
    EXPECT_EQ(f.picture().pixel(150, 80), kRed);
    EXPECT_TRUE(f.errors.isEmpty()) << f.errors.join('\n').toStdString();
}

TEST(Avm2ScriptMask, ATimelineShapeIsMaskedByASprite) {
    Fixture f(shapeMovie());
    const Value shape = f.call(f.root(), "getChildAt", {Value(0)});
    const Value window = f.sprite(f.root(), 0, 0);
    f.fill(window, 0, 0, 60, 60, 0x00FF00);
    f.set(shape, "mask", window);
    EXPECT_TRUE(f.partialMatchesFull());
    const QImage img = f.picture();
    EXPECT_EQ(img.pixel(50, 50), kRed);     // the shape, inside the mask
    EXPECT_EQ(img.pixel(100, 100), kWhite); // the shape, outside it
    EXPECT_EQ(img.pixel(20, 20), kWhite);   // the mask, not drawn
    EXPECT_TRUE(f.errors.isEmpty()) << f.errors.join('\n').toStdString();
}

swftest::Bytes doAbc(const std::vector<std::uint8_t>& abc) {
    swftest::Writer w;
    w.u32(0).str("lib");
    for (std::uint8_t b : abc)
        w.u8(b);
    return swftest::tag(82, w);
}

// A movie with code of its own whose library holds sprite 2 (a 50 x 50 pixel red square) and
// sound 3 (441 samples of 16-bit mono PCM at 44 kHz, 10 ms), linked by its SymbolClass to its
// classes Box (a MovieClip) and Beep (a Sound).
swftest::Bytes libraryMovie() {
    using namespace swftest;
    Writer sound;
    sound.u16(3).u8(0x3E).u32(441);
    for (int i = 0; i < 441; ++i)
        sound.u16(std::uint16_t(i * 50));
    return movie(
        concat({tag(69, Writer().u32(0x08)), rectShape(1, 1000, 1000),
                sprite(2, 1, concat({placeObject2(1, 1), showFrame(), end()})), tag(14, sound),
                doAbc(avm2test::classAbc("Box", "flash.display", "MovieClip")),
                doAbc(avm2test::classAbc("Beep", "flash.media", "Sound")),
                tag(76, Writer().u16(2).u16(2).str("Box").u16(3).str("Beep")), showFrame(), end()}),
        1);
}

TEST(Avm2LoadedLibrary, NewOfALoadedMoviesLinkedClassBuildsItsSymbol) {
    Fixture f;
    const swftest::Bytes child = libraryMovie();
    const Value bytes = f.make("flash.utils::ByteArray");
    f.vm().domainMemoryBytes(bytes.object())->assign(child.begin(), child.end());
    const Value loader = f.make("flash.display::Loader");
    f.call(f.root(), "addChild", {loader});
    f.call(loader, "loadBytes", {bytes});
    pumpMedia(f.vm());
    ASSERT_TRUE(f.get(loader, "content").object());
    const Value domain = f.get(f.get(loader, "contentLoaderInfo"), "applicationDomain");
    const Value box = f.call(domain, "getDefinition", {Value("Box")});
    ASSERT_TRUE(box.object());
    // The main movie has no Box: only the loaded movie's domain defines it.
    EXPECT_FALSE(f.vm().toBoolean(f.call(f.get(f.get(f.root(), "loaderInfo"), "applicationDomain"),
                                         "hasDefinition", {Value("Box")})));

    const Value made = f.vm().construct(box, {});
    // Its timeline's first frame is there: the square, as a child.
    EXPECT_EQ(f.vm().toInt32(f.get(made, "numChildren")), 1);
    EXPECT_EQ(f.num(made, "width"), 50);
    EXPECT_EQ(f.vm().toInt32(f.get(made, "totalFrames")), 1);
    f.set(made, "x", f.number(200));
    f.set(made, "y", f.number(100));
    f.call(f.root(), "addChild", {made});
    EXPECT_TRUE(f.partialMatchesFull());
    const QImage img = f.picture();
    EXPECT_EQ(img.pixel(225, 125), kRed);
    EXPECT_EQ(img.pixel(255, 125), kWhite);
    EXPECT_EQ(f.under(225, 125), made.object());
    // Two of them are two symbols.
    const Value other = f.vm().construct(box, {});
    EXPECT_NE(other.object(), made.object());
    EXPECT_EQ(f.vm().toInt32(f.get(other, "numChildren")), 1);

    // Its linked sound has the library sound's samples.
    const Value beep = f.vm().construct(f.call(domain, "getDefinition", {Value("Beep")}), {});
    EXPECT_NEAR(f.num(beep, "length"), 10, 0.5);
    EXPECT_TRUE(f.errors.isEmpty()) << f.errors.join('\n').toStdString();
}

} // namespace
