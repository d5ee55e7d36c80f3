// Timelines and display lists: placement rules, frame stepping, gotos and script order.

#include "swf/player.h"
#include "swf_writer.h"

#include <gtest/gtest.h>
#include <zlib.h>

using swftest::Bytes;
using swftest::concat;
using swftest::placeObject2;
using swftest::rectShape;
using swftest::removeObject2;
using swftest::showFrame;
using swftest::Writer;

namespace {

std::shared_ptr<const swf::Movie> load(const Bytes& tags, std::uint16_t frames = 1) {
    auto m = swf::Movie::load(swftest::movie(tags, frames));
    EXPECT_TRUE(m.ok());
    return m.ok() ? *m : nullptr;
}

double x(const swf::DisplayObject* o) {
    return o ? o->matrix.dx() : -1;
}

// A DoAction block whose single byte tells the blocks apart in tests.
Bytes marker(std::uint8_t id) {
    return swftest::doAction(Bytes{id, 0});
}

std::vector<int> actionMarkers(swf::Player& p) {
    std::vector<int> out;
    for (const auto& a : p.takePendingActions())
        out.push_back(a.actions.empty() ? -1 : a.actions[0]);
    return out;
}

} // namespace

TEST(Player, PlaceMoveReplaceAndRemove) {
    Writer po1;
    po1.u16(1).u16(2).translate(7, 8).cxform(false, {128, 128, 128}, {});
    auto movie = load(concat({
        rectShape(1),
        rectShape(2),
        placeObject2(1, 1, 10, 0, false, "box"),
        showFrame(), // 0: place
        placeObject2(1, 0, 20, 0, true),
        showFrame(), // 1: move
        swftest::tag(26, Writer().u8(0x03).u16(1).u16(2)),
        showFrame(), // 2: replace, no matrix
        removeObject2(1),
        swftest::tag(4, po1),
        showFrame(), // 3: remove; PlaceObject
        swftest::end(),
    }));
    swf::Player p(movie);
    const auto& list = p.root().displayList();
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list.at(1)->characterId, 1);
    EXPECT_EQ(x(list.at(1)), 10);
    EXPECT_EQ(list.at(1)->name, "box");
    EXPECT_EQ(list.byName("BOX"), list.at(1)); // names match case-insensitively

    p.advance();
    EXPECT_EQ(x(list.at(1)), 20);
    p.advance();
    ASSERT_TRUE(list.at(1));
    EXPECT_EQ(list.at(1)->characterId, 2);
    EXPECT_EQ(x(list.at(1)), 20); // a replace keeps what the tag leaves out
    EXPECT_EQ(list.at(1)->name, "box");
    p.advance();
    EXPECT_FALSE(list.at(1));
    ASSERT_TRUE(list.at(2));
    EXPECT_EQ(list.at(2)->colorTransform.redMult, 128);
    EXPECT_EQ(x(list.at(2)), 7);
}

TEST(Player, AttributesAndLayersOfPlaceObject3) {
    Writer w;
    // Flags: character, matrix, colour transform, ratio, name, clip depth; then filters,
    // blend mode, bitmap cache.
    w.u8(0x7E).u8(0x07).u16(3).u16(1).translate(1, 2).cxform(true, {256, 256, 256, 128}, {});
    w.u16(30000).str("mask").u16(9);
    w.u8(1).u8(1).u32(0x20000).u32(0x30000).u8(2 << 3); // one blur filter, 2 passes
    w.u8(3).u8(1);                                      // multiply, cache as bitmap
    auto movie = load(concat({rectShape(1), swftest::tag(70, w), showFrame(), swftest::end()}));
    swf::Player p(movie);
    const swf::DisplayObject* o = p.root().displayList().at(3);
    ASSERT_TRUE(o);
    EXPECT_EQ(o->ratio, 30000);
    EXPECT_EQ(o->name, "mask");
    EXPECT_TRUE(o->isClipLayer());
    EXPECT_EQ(o->clipDepth, 9);
    EXPECT_EQ(o->colorTransform.alphaMult, 128);
    EXPECT_EQ(o->blendMode, swf::BlendMode::Multiply);
    EXPECT_TRUE(o->cacheAsBitmap);
    ASSERT_TRUE(o->filters);
    ASSERT_EQ(o->filters->size(), 1u);
    EXPECT_EQ((*o->filters)[0].type, swf::FilterType::Blur);
    EXPECT_DOUBLE_EQ((*o->filters)[0].blurY, 3.0);
    EXPECT_EQ((*o->filters)[0].passes, 2);
}

TEST(Player, LoopsStopsAndClampsGotos) {
    auto movie = load(
        concat({rectShape(1), placeObject2(1, 1, 0), showFrame(), placeObject2(1, 0, 10, 0, true),
                showFrame(), placeObject2(1, 0, 20, 0, true), showFrame(), swftest::end()}),
        3);
    swf::Player p(movie);
    EXPECT_EQ(p.frameCount(), 3u);
    EXPECT_TRUE(p.isPlaying());
    p.advance();
    p.advance();
    EXPECT_EQ(p.currentFrame(), 2u);
    p.advance(); // loops
    EXPECT_EQ(p.currentFrame(), 0u);
    EXPECT_EQ(x(p.root().displayList().at(1)), 0);

    p.gotoFrame(-7);
    EXPECT_EQ(p.currentFrame(), 0u);
    p.gotoFrame(1000);
    EXPECT_EQ(p.currentFrame(), 2u);
    EXPECT_EQ(x(p.root().displayList().at(1)), 20);
    p.gotoFrame(1); // backward: rebuilt from the first frame
    EXPECT_EQ(x(p.root().displayList().at(1)), 10);

    p.stop();
    p.advance();
    EXPECT_EQ(p.currentFrame(), 1u);
    p.back();
    EXPECT_EQ(p.currentFrame(), 0u);
    p.back(); // nothing before the first frame
    EXPECT_EQ(p.currentFrame(), 0u);
    p.play();
    p.forward(); // steps and stops
    EXPECT_EQ(p.currentFrame(), 1u);
    EXPECT_FALSE(p.isPlaying());

    p.play();
    p.setLooping(false);
    p.advance();
    p.advance();
    EXPECT_EQ(p.currentFrame(), 2u);
    EXPECT_FALSE(p.isPlaying());
    p.rewind();
    EXPECT_EQ(p.currentFrame(), 0u);
}

TEST(Player, SpritesRunTheirOwnTimelinesAndSurviveSeeks) {
    const Bytes spriteTags =
        concat({placeObject2(1, 1, 0), showFrame(), placeObject2(1, 0, 5, 0, true), showFrame(),
                showFrame(), showFrame(), swftest::end()});
    auto movie = load(concat({
        rectShape(1),
        swftest::sprite(10, 4, spriteTags),
        placeObject2(1, 10, 0, 0, false, "clip"),
        showFrame(), // root 0
        placeObject2(2, 10),
        showFrame(), // root 1
        showFrame(),
        swftest::end(),
    }));
    swf::Player p(movie);
    swf::DisplayObject* first = p.root().displayList().at(1);
    ASSERT_TRUE(first && first->clip());
    swf::MovieClip* clip = first->clip();
    EXPECT_EQ(clip->frameCount(), 4u);
    EXPECT_EQ(clip->currentFrame(), 0u);
    EXPECT_EQ(clip->parent(), &p.root());
    p.advance();
    p.advance();
    EXPECT_EQ(clip->currentFrame(), 2u);
    EXPECT_EQ(x(clip->displayList().at(1)), 5);
    swf::DisplayObject* second = p.root().displayList().at(2);
    ASSERT_TRUE(second && second->clip());
    EXPECT_EQ(second->clip()->currentFrame(), 1u); // placed a frame later

    // Back to frame 0: the clip placed there by the same tag is kept with its state; the one
    // placed in frame 1 is gone and comes back new.
    p.gotoFrame(0);
    EXPECT_EQ(p.root().displayList().at(1), first);
    EXPECT_EQ(clip->currentFrame(), 2u);
    EXPECT_FALSE(p.root().displayList().at(2));
    p.gotoFrame(1);
    ASSERT_TRUE(p.root().displayList().at(2));
    EXPECT_EQ(p.root().displayList().at(2)->clip()->currentFrame(), 0u);

    // A stopped root still lets its sprites play.
    p.stop();
    p.advance();
    EXPECT_EQ(clip->currentFrame(), 3u);
    p.advance();
    EXPECT_EQ(clip->currentFrame(), 0u); // sprites loop
    EXPECT_EQ(p.root().displayList().byName("clip"), first);
}

TEST(Player, ScriptsRunInTimelineOrder) {
    const Bytes spriteTags =
        concat({marker(20), showFrame(), marker(21), showFrame(), swftest::end()});
    Writer init;
    init.u16(10).u8(30).u8(0);
    auto movie = load(concat({
        rectShape(1),
        swftest::sprite(10, 2, spriteTags),
        placeObject2(1, 10),
        swftest::tag(59, init),
        marker(1),
        showFrame(),
        marker(2),
        showFrame(),
        swftest::end(),
    }));
    swf::Player p(movie);
    // Init block first, then the root's frame, then the new sprite's first frame.
    EXPECT_EQ(actionMarkers(p), (std::vector<int>{30, 1, 20}));
    p.advance();
    // A sprite already on stage runs before its parent.
    EXPECT_EQ(actionMarkers(p), (std::vector<int>{21, 2}));
    p.advance();
    p.takePendingActions();
    p.advance(); // root frame 1 again: the init block does not run twice
    EXPECT_EQ(actionMarkers(p), (std::vector<int>{21, 2}));
    p.gotoFrame(0);
    EXPECT_EQ(actionMarkers(p), (std::vector<int>{1}));
}

TEST(Player, FrameLabelsNameFramesCaseInsensitively) {
    auto movie = load(concat({showFrame(), swftest::frameLabel("Intro"), showFrame(),
                              swftest::frameLabel("loop"), showFrame(), swftest::end()}));
    const auto& timeline = movie->timeline;
    EXPECT_EQ(timeline.frameForLabel("intro"), 1u);
    EXPECT_EQ(timeline.frameForLabel("LOOP"), 2u);
    EXPECT_FALSE(timeline.frameForLabel("outro"));
}

TEST(Player, ScriptsOfRemovedClipsDoNotRun) {
    const Bytes spriteTags = concat({showFrame(), marker(21), showFrame(), swftest::end()});
    auto movie = load(concat({swftest::sprite(10, 2, spriteTags), placeObject2(1, 10), showFrame(),
                              removeObject2(1), marker(2), showFrame(), swftest::end()}));
    swf::Player p(movie);
    p.takePendingActions();
    p.advance(); // the sprite reaches its frame 1, then the root removes it
    EXPECT_EQ(actionMarkers(p), (std::vector<int>{2}));
}

TEST(Player, SpritesThatContainThemselvesStop) {
    // Sprite 10 places itself; sprites 11 and 12 place each other.
    auto movie = load(concat({
        swftest::sprite(10, 1, concat({placeObject2(1, 10), showFrame(), swftest::end()})),
        swftest::sprite(11, 1, concat({placeObject2(1, 12), showFrame(), swftest::end()})),
        swftest::sprite(12, 1, concat({placeObject2(1, 11), showFrame(), swftest::end()})),
        placeObject2(1, 10),
        placeObject2(2, 11),
        showFrame(),
        swftest::end(),
    }));
    swf::Player p(movie);
    const auto* self = p.root().displayList().at(1);
    ASSERT_TRUE(self && self->clip());
    const auto* inner = self->clip()->displayList().at(1);
    ASSERT_TRUE(inner);
    EXPECT_FALSE(inner->clip()); // placed, but not run inside itself
    const auto* a = p.root().displayList().at(2);
    ASSERT_TRUE(a && a->clip());
    const auto* b = a->clip()->displayList().at(1);
    ASSERT_TRUE(b && b->clip());
    EXPECT_FALSE(b->clip()->displayList().at(1)->clip());
    for (int i = 0; i < 5; ++i)
        p.advance();
    EXPECT_EQ(p.displayObjectCount(), 5u);
}

TEST(Player, NestingAndObjectLimits) {
    // A chain of 20 sprites, each placing the next and three shapes.
    Bytes tags = rectShape(1);
    for (std::uint16_t id = 120; id >= 100; --id) {
        Bytes inner = id == 120 ? Bytes{} : placeObject2(1, id + 1);
        tags = concat(
            {tags, swftest::sprite(id, 1,
                                   concat({inner, placeObject2(2, 1), placeObject2(3, 1),
                                           placeObject2(4, 1), showFrame(), swftest::end()}))});
    }
    tags = concat({tags, placeObject2(1, 100), showFrame(), swftest::end()});
    auto movie = load(tags);
    swf::PlayerLimits deep;
    deep.maxNesting = 5;
    swf::Player shallow(movie, deep);
    std::size_t levels = 0;
    for (const swf::MovieClip* c = shallow.root().displayList().at(1)->clip(); c;
         c = c->displayList().at(1) ? c->displayList().at(1)->clip() : nullptr)
        levels = c->level();
    EXPECT_EQ(levels, 4u);

    swf::PlayerLimits few;
    few.maxDisplayObjects = 30;
    swf::Player capped(movie, few);
    EXPECT_EQ(capped.displayObjectCount(), 30u);
    capped.gotoFrame(0);
    capped.advance();
    EXPECT_LE(capped.displayObjectCount(), 30u);
}

TEST(Player, ButtonsShowTheRecordsOfTheirState) {
    Writer b;
    b.u16(20).u8(0).u16(0); // DefineButton2: no menu tracking, no actions
    b.u8(0x01 | 0x08).u16(1).u16(1).translate(3, 0).cxform(true, {}, {});
    b.u8(0x02 | 0x04).u16(2).u16(1).translate(4, 0).cxform(true, {}, {});
    b.u8(0);
    auto movie = load(concat({rectShape(1), rectShape(2), swftest::tag(34, b), placeObject2(1, 20),
                              showFrame(), swftest::end()}));
    swf::Player p(movie);
    auto* button = p.root().displayList().at(1)->button();
    ASSERT_TRUE(button);
    EXPECT_EQ(button->state(), swf::ButtonState::Up);
    ASSERT_EQ(button->displayList().size(), 1u);
    EXPECT_EQ(button->displayList().at(1)->characterId, 1);
    p.setButtonState(*button, swf::ButtonState::Over);
    EXPECT_EQ(button->displayList().at(1)->characterId, 2);
    EXPECT_EQ(x(button->displayList().at(1)), 4);
    EXPECT_EQ(p.displayObjectCount(), 2u);
}

TEST(Player, ReusedIdsAfterFreeCharacterFollowTheFrame) {
    auto lossless = [](std::uint8_t red) {
        Writer w;
        w.u16(1).u8(5).u16(1).u16(1);
        const Bytes px{0, red, 0, 0};
        Bytes z(64);
        uLongf n = z.size();
        compress(z.data(), &n, px.data(), px.size());
        z.resize(n);
        return swftest::tag(20, w.bytes(z));
    };
    auto movie = load(concat({lossless(10), showFrame(), swftest::tag(3, Writer().u16(1)),
                              lossless(200), showFrame(), swftest::end()}));
    swf::Player p(movie);
    auto red = [&] {
        const auto* b = dynamic_cast<const swf::Bitmap*>(p.character(1));
        return b ? qRed(b->image().pixel(0, 0)) : -1;
    };
    EXPECT_EQ(red(), 10);
    p.advance();
    EXPECT_EQ(red(), 200);
    p.gotoFrame(0);
    EXPECT_EQ(red(), 10);
}

namespace {

// Objects scripts keep off the list (ActionScript 3): made unattached, moved onto a list whole
// and off again, moved within it, and discarded, with the object count kept right.
TEST(PlayerScriptObjects, AttachDetachAndDepthsKeepObjectsWhole) {
    const Bytes bytes = swftest::movie(
        concat({rectShape(1), placeObject2(1, 1), showFrame(), showFrame(), swftest::end()}), 2);
    auto movie = swf::Movie::load(bytes);
    ASSERT_TRUE(movie);
    swf::PlayerLimits limits;
    limits.maxNesting = 4; // levels 0 (the root) to 3
    swf::Player player(*movie, limits);
    swf::PlayerScripting scripting(player);
    const std::size_t base = player.displayObjectCount();

    auto made = scripting.makeObject(0);
    ASSERT_TRUE(made && made->clip());
    swf::DisplayObject* raw = made.get();
    made->clip()->editDrawing().moveTo({0, 0});
    made->clip()->editDrawing().lineTo({100, 0});
    EXPECT_EQ(player.displayObjectCount(), base + 1);
    ASSERT_TRUE(scripting.attach(player.root(), made, 5));
    EXPECT_FALSE(made);
    EXPECT_EQ(player.root().displayList().at(5), raw);
    EXPECT_EQ(raw->clip()->parent(), &player.root());
    // Off the list whole: its drawing stays; the list no longer holds it.
    auto back = scripting.detach(player.root(), *raw);
    ASSERT_EQ(back.get(), raw);
    EXPECT_EQ(raw->clip()->drawing()->edgeCount(), 1u);
    EXPECT_EQ(player.root().displayList().at(5), nullptr);
    EXPECT_EQ(raw->clip()->parent(), nullptr);

    // A timeline object moved to another depth is the script's: seeks leave it there.
    swf::DisplayObject* placed = player.root().displayList().at(1);
    ASSERT_TRUE(placed);
    scripting.setDepth(player.root(), *placed, 7);
    player.gotoFrame(1);
    player.gotoFrame(0); // rebuilt from the first frame
    EXPECT_EQ(player.root().displayList().at(7), placed);
    EXPECT_NE(player.root().displayList().at(1), nullptr); // the timeline places anew

    // Nesting past the limit is refused and the object stays with the caller.
    auto outer = scripting.makeObject(0);
    auto inner = scripting.makeObject(0);
    auto innermost = scripting.makeObject(0);
    swf::MovieClip* deep = innermost->clip();
    ASSERT_TRUE(scripting.attach(*inner->clip(), innermost, 1));
    ASSERT_TRUE(scripting.attach(*outer->clip(), inner, 1));
    // Under a clip at level 1 the three levels would reach level 4: refused, kept by the caller.
    EXPECT_FALSE(scripting.attach(*back->clip(), outer, 1));
    ASSERT_TRUE(outer);
    ASSERT_TRUE(scripting.attach(player.root(), outer, 9)); // levels 1 to 3
    auto lone = scripting.makeObject(0);
    EXPECT_FALSE(scripting.attach(*deep, lone, 1));
    ASSERT_TRUE(lone);
    scripting.discard(lone);
    // Discarding the detached tree frees every object in it.
    scripting.discard(back);
    EXPECT_EQ(player.displayObjectCount(), base + 1 + 3); // the timeline's new one, outer's three
}

} // namespace
