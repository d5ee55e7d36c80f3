// What the change tracker reports between two frames: nothing for a still scene, where a moved
// object was and is, whatever changed the scene (timeline, or scripts through the player), and
// objects whose order changed.

#include "swf/bitmapdata.h"
#include "swf/render/changes.h"
#include "swf/swf_writer.h"

#include <functional>
#include <gtest/gtest.h>
#include <set>

namespace {

using swf::render::ChangedArea;
using swf::render::ChangeTracker;
using swf::render::StageChanges;

std::shared_ptr<const swf::Movie> load(const swftest::Bytes& file) {
    auto m = swf::Movie::load(file);
    if (!m)
        throw std::runtime_error("movie did not load");
    return *m;
}

// A 50 x 50 px square (1) at depth 1 and a 150 x 150 px one (2) at depth 2, far apart; in frame 2
// the small one moves 100 px right.
std::shared_ptr<const swf::Movie> twoSquares() {
    using namespace swftest;
    return load(movie(concat({rectShape(1, 1000, 1000), rectShape(2, 3000, 3000),
                              placeObject2(1, 1, 0, 0), placeObject2(2, 2, 6000, 4000), showFrame(),
                              placeObject2(1, 0, 2000, 0, true), showFrame(), showFrame(), end()}),
                      3));
}

QRectF united(const StageChanges& c) {
    QRectF r;
    for (const ChangedArea& a : c.areas)
        r |= a.stage;
    return r;
}

bool covers(const StageChanges& c, const QRectF& twips) {
    QRegion covered;
    for (const ChangedArea& a : c.areas)
        covered += a.stage.toAlignedRect();
    return (QRegion(twips.toAlignedRect()) - covered).isEmpty();
}

swf::DisplayObject& at(swf::Player& p, int depth) {
    swf::DisplayObject* o = p.root().displayList().at(depth);
    if (!o)
        throw std::runtime_error("nothing at that depth");
    return *o;
}

TEST(ChangeTracker, AMovedObjectChangesWhereItWasAndWhereItIsAndNothingElse) {
    swf::Player player(twoSquares());
    ChangeTracker tracker;
    EXPECT_TRUE(tracker.update(player).everything); // the first look
    EXPECT_TRUE(tracker.update(player).empty());    // nothing happened since
    player.advance();
    const StageChanges moved = tracker.update(player);
    ASSERT_FALSE(moved.empty());
    EXPECT_FALSE(moved.everything);
    EXPECT_TRUE(covers(moved, QRectF(0, 0, 1000, 1000)));                   // where it was
    EXPECT_TRUE(covers(moved, QRectF(2000, 0, 1000, 1000)));                // where it is
    EXPECT_FALSE(united(moved).intersects(QRectF(6000, 4000, 3000, 3000))); // the still square
    for (const ChangedArea& a : moved.areas)
        EXPECT_GT(a.pad, 0); // anti-aliased edges reach a little beyond
    player.advance();        // a frame with no display tags
    EXPECT_TRUE(tracker.update(player).empty());
    tracker.reset();
    EXPECT_TRUE(tracker.update(player).everything);
}

// Scripts change the scene through the player's objects; the tracker sees every such change.
TEST(ChangeTracker, SeesWhatScriptsChangeInThePlayersObjects) {
    swf::Player player(twoSquares());
    ChangeTracker tracker;
    tracker.update(player);
    const QRectF small(0, 0, 1000, 1000), big(6000, 4000, 3000, 3000);
    struct Case {
        const char* what;
        std::function<void()> change;
        QRectF expected;
    };
    swf::PlayerScripting scripting(player);
    swf::MovieClip* made = nullptr;
    auto budget = std::make_shared<swf::BitmapBudget>();
    const auto pixels = swf::BitmapData::create(10, 10, true, 0xFF0000FF, budget);
    const auto fillPixels = swf::BitmapData::create(4, 4, false, 0xFFFFFFFF, budget);
    ASSERT_TRUE(pixels && fillPixels);
    const std::vector<Case> cases = {
        {"colour", [&] { at(player, 1).colorTransform.redMult = 128; }, small},
        {"hidden", [&] { at(player, 2).visible = false; }, big},
        {"shown", [&] { at(player, 2).visible = true; }, big},
        {"scaled", [&] { at(player, 2).matrix.scale(2, 2); }, QRectF(6000, 4000, 6000, 6000)},
        {"blend mode", [&] { at(player, 1).blendMode = swf::BlendMode::Multiply; }, small},
        {"attached",
         [&] {
             made = scripting.placeClip(player.root(), 0, 10, "drawn");
             ASSERT_TRUE(made);
         },
         QRectF()},
        {"drawn into",
         [&] {
             auto& d = made->editDrawing();
             swf::FillStyle fill;
             fill.color = {0, 0, 255, 255};
             d.beginFill(fill);
             d.moveTo({200, 3000});
             d.lineTo({900, 3000});
             d.lineTo({900, 3700});
             d.endFill();
         },
         QRectF(200, 3000, 700, 700)},
        {"removed", [&] { scripting.removeAt(player.root(), 2); }, QRectF(6000, 4000, 6000, 6000)},
        // A script's bitmap: its pixels change without any object or edge changing.
        {"bitmap attached", [&] { ASSERT_TRUE(scripting.placeBitmap(player.root(), 20, pixels)); },
         QRectF(0, 0, 200, 200)},
        {"bitmap pixels edited", [&] { pixels->setPixel32(3, 3, 0xFFFF0000); },
         QRectF(0, 0, 200, 200)},
        {"bitmap fill edited",
         [&] {
             auto& d = made->editDrawing();
             swf::FillStyle fill;
             fill.type = swf::FillType::RepeatingBitmap;
             fill.bitmapData = fillPixels;
             d.beginFill(fill);
             d.moveTo({4000, 0});
             d.lineTo({4400, 0});
             d.lineTo({4400, 400});
             d.endFill();
             ASSERT_FALSE(tracker.update(player).empty()); // the new drawing
             fillPixels->setPixel32(0, 0, 0xFF00FF00);     // then only its pixels
         },
         QRectF(4000, 0, 400, 400)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        c.change();
        const StageChanges changes = tracker.update(player);
        if (c.expected.isNull()) {
            EXPECT_TRUE(changes.empty()); // an empty clip draws nothing
            continue;
        }
        EXPECT_FALSE(changes.everything);
        EXPECT_TRUE(covers(changes, c.expected));
        EXPECT_TRUE(tracker.update(player).empty());
    }
}

TEST(ChangeTracker, TextAndBackgroundChanges) {
    using namespace swftest;
    // An edit text (id 3) at depth 1, then a SetBackgroundColor in frame 2.
    Writer text;
    text.u16(3).rect(0, 4000, 0, 1000).u8(0x00).u8(0x00); // no flags
    text.str("t");
    const auto movie =
        load(swftest::movie(concat({tag(37, text), placeObject2(1, 3, 1000, 1000), showFrame(),
                                    tag(9, Writer().u8(10).u8(20).u8(30)), showFrame(), end()}),
                            2));
    swf::Player player(movie);
    ChangeTracker tracker;
    tracker.update(player);
    at(player, 1).text = QStringLiteral("new words");
    const StageChanges texted = tracker.update(player);
    EXPECT_TRUE(covers(texted, QRectF(1000, 1000, 4000, 1000)));
    at(player, 1).textColor = swf::Rgba{255, 0, 0, 255};
    EXPECT_FALSE(tracker.update(player).empty());
    player.advance();
    EXPECT_TRUE(tracker.update(player).everything);
}

TEST(ChangeTracker, ObjectsThatChangedPlaceInTheDrawingOrderChange) {
    auto item = [](std::uint64_t key, double x) {
        return ChangeTracker::Item{key, QRectF(x, 0, 10, 10), 1};
    };
    // Inserted between two that stay: only the new one.
    auto inserted = swf::render::compareScenes({item(1, 0), item(2, 100)},
                                               {item(1, 0), item(3, 50), item(2, 100)});
    ASSERT_EQ(inserted.size(), 1u);
    EXPECT_EQ(inserted[0].stage.x(), 50);
    // P X Q Y becoming Q Y P X: X and Y keep their neighbours on one side each, yet they now
    // lie the other way round; one of them must be redrawn, with P or Q.
    const auto p = item(1, 0), x = item(2, 10), q = item(3, 20), y = item(4, 30);
    const auto swapped = swf::render::compareScenes({p, x, q, y}, {q, y, p, x});
    std::set<double> where;
    for (const auto& a : swapped)
        where.insert(a.stage.x());
    EXPECT_TRUE(where.count(10) || where.count(30));
    EXPECT_GE(where.size(), 2u);
    // Two equal objects: one going leaves its place changed, the other stays.
    const auto twins = swf::render::compareScenes({item(5, 0), item(5, 0)}, {item(5, 0)});
    ASSERT_EQ(twins.size(), 1u);
    EXPECT_TRUE(
        swf::render::compareScenes({item(1, 0), item(2, 1)}, {item(1, 0), item(2, 1)}).empty());
}

TEST(ChangeTracker, DeviceRegionGrowsByPadsAndGathersManyAreas) {
    StageChanges c;
    c.areas.push_back({QRectF(200, 200, 200, 200), 2});
    const QTransform view = QTransform::fromScale(0.1, 0.1); // 2 px per stage px
    const QRect bounds(0, 0, 400, 300);
    EXPECT_EQ(c.deviceRegion(view, bounds).boundingRect(), QRect(18, 18, 24, 24));
    c.areas.push_back({QRectF(-1e12, -1e12, 2e12, 2e12), 0}); // anywhere: the whole view
    EXPECT_EQ(c.deviceRegion(view, bounds), QRegion(bounds));
    StageChanges many;
    for (int i = 0; i < 200; ++i)
        many.areas.push_back({QRectF(i * 13 % 3800, i * 29 % 2800, 40, 40), 1});
    const QRegion r = many.deviceRegion(view, bounds);
    for (const auto& a : many.areas)
        EXPECT_TRUE(r.contains(view.mapRect(a.stage).toAlignedRect()));
    EXPECT_LT(r.rectCount(), 60);
    StageChanges all;
    all.everything = true;
    EXPECT_EQ(all.deviceRegion(view, bounds), QRegion(bounds));
}

} // namespace

// A movie loaded into a level is drawn above level 0: its arrival, its changes and its
// removal are all changes.
TEST(ChangeTracker, LevelsLoadedByScriptsAreRead) {
    swf::Player player(twoSquares());
    ChangeTracker tracker;
    tracker.update(player);
    swf::PlayerScripting scripting(player);
    ASSERT_TRUE(scripting.loadIntoLevel(1, twoSquares(), QStringLiteral("file:///t/part2.swf")));
    const QRectF square(6000, 4000, 3000, 3000);
    EXPECT_TRUE(covers(tracker.update(player), square));
    EXPECT_TRUE(tracker.update(player).empty());
    player.levels().at(1)->colorTransform.redMult = 64;
    EXPECT_TRUE(covers(tracker.update(player), square));
    scripting.unloadLevel(1);
    EXPECT_TRUE(covers(tracker.update(player), square));
}
