// Hostile and damaged movies: budgets, lying counts, truncation, missing End, bad references.

#include "swf/player.h"
#include "swf_writer.h"

#include <gtest/gtest.h>

using swftest::Bytes;
using swftest::concat;
using swftest::placeObject2;
using swftest::rectShape;
using swftest::showFrame;
using swftest::Writer;

namespace {

std::shared_ptr<const swf::Movie> load(const Bytes& file, const swf::ParseLimits& limits = {}) {
    auto m = swf::Movie::load(file, limits);
    EXPECT_TRUE(m.ok());
    return m.ok() ? *m : nullptr;
}

} // namespace

TEST(Limits, BudgetsCapWhatAMovieMayGrowTo) {
    Bytes frames;
    for (int i = 0; i < 100; ++i)
        frames = concat({frames, placeObject2(1, 1), showFrame()});
    swf::ParseLimits limits;
    limits.maxTimelineEntries = 20;
    auto movie = load(swftest::movie(concat({rectShape(1), frames, swftest::end()})), limits);
    EXPECT_TRUE(movie->budgetExceeded);
    EXPECT_LE(movie->frameCount(), 11u);
    swf::Player p(movie);
    p.gotoFrame(1000);
    EXPECT_EQ(p.currentFrame(), movie->frameCount() - 1);

    limits = {};
    limits.maxShapeRecords = 12;
    movie = load(swftest::movie(concat({rectShape(1), rectShape(2), rectShape(3), showFrame()})),
                 limits);
    EXPECT_TRUE(movie->budgetExceeded);
    EXPECT_TRUE(movie->dictionary.find(2));
    EXPECT_FALSE(movie->dictionary.find(3));
}

TEST(Limits, LyingCountsAreBoundedByTheBytesPresent) {
    Writer fills;
    fills.u16(1).rect(0, 10, 0, 10).u8(0xFF).u16(0xFFFF).u8(0x00).rgb(1, 2, 3); // 65535 fills
    Writer font;
    font.u16(2).u8(0x08).u8(0).u8(0).u16(0xFFFF).u32(8).u32(8); // 65535 glyphs, wide offsets
    Writer scenes;
    scenes.u8(0xFF).u8(0xFF).u8(0xFF).u8(0xFF).u8(0x0F).u8(0).u8('a').u8(0);
    Writer morph;
    morph.u16(3).rect(0, 1, 0, 1).rect(0, 1, 0, 1).u32(0xFFFFFFF0).u8(0xFF).u16(0xFFFF);
    Writer filters;
    filters.u8(0x06).u8(0x01).u16(1).u16(1).matrix().u8(0xFF).u8(5).u8(255).u8(255);
    auto movie = load(swftest::movie(
        concat({swftest::tag(2, fills), swftest::tag(48, font), swftest::tag(86, scenes),
                swftest::tag(46, morph), swftest::tag(70, filters), showFrame(), swftest::end()})));
    const auto* shape = movie->dictionary.findAs<swf::Shape>(1);
    ASSERT_TRUE(shape);
    EXPECT_EQ(shape->styleTables[0].fills.size(), 1u);
    const auto* f = movie->dictionary.findAs<swf::Font>(2);
    ASSERT_TRUE(f);
    EXPECT_LE(f->glyphs.size(), 2u);
    EXPECT_LE(movie->scenes.size(), 1u);
}

TEST(Limits, TruncatedFilesPlayWhatTheyHave) {
    Bytes tags = concat({rectShape(1), placeObject2(1, 1), showFrame(),
                         placeObject2(1, 0, 50, 0, true), showFrame(), rectShape(2)});
    Bytes file = swftest::movie(tags, 10);
    file.resize(file.size() - 9); // inside the last DefineShape3
    auto movie = load(file);
    EXPECT_FALSE(movie->endSeen);
    EXPECT_EQ(movie->frameCount(), 2u); // the header's 10 is not trusted
    EXPECT_FALSE(movie->dictionary.find(2));
    swf::Player p(movie);
    p.advance();
    EXPECT_EQ(p.root().displayList().at(1)->matrix.dx(), 50);

    // Control tags after the last ShowFrame and no End: one more frame.
    movie = load(swftest::movie(concat({rectShape(1), showFrame(), placeObject2(1, 1)})));
    EXPECT_EQ(movie->frameCount(), 2u);
    // Nothing at all after the header: one empty frame to show.
    movie = load(swftest::movie({}));
    EXPECT_EQ(movie->frameCount(), 1u);
    swf::Player empty(movie);
    empty.advance();
    empty.gotoFrame(5);
    EXPECT_EQ(empty.currentFrame(), 0u);
}

TEST(Limits, UnknownLongAndOverrunningTagsAreSkipped) {
    Bytes overrun = swftest::tag(26, Writer().u8(0x06).u16(2).u16(1).translate(1, 1));
    overrun[1] = std::uint8_t(26 >> 2);
    overrun[0] = std::uint8_t((26 << 6) | 0x3E); // claims 62 bytes
    auto movie = load(swftest::movie(concat(
        {swftest::tag(777, Bytes{1, 2, 3}), rectShape(1),
         swftest::tag(78, Writer().u16(1).rect(10, 90, 10, 40)),
         swftest::tag(26, Writer().u8(0x06).u16(1).u16(1).translate(0, 0), true), // long header
         showFrame(), overrun})));
    EXPECT_EQ(movie->frameCount(), 1u);
    EXPECT_EQ(movie->scalingGrids.at(1), (swf::Rect{10, 90, 10, 40}));
    swf::Player p(movie);
    EXPECT_TRUE(p.root().displayList().at(1));
    EXPECT_FALSE(p.root().displayList().at(2));
}

TEST(Limits, ActionScript3MoviesKeepTheirTimeline) {
    auto movie = load(swftest::movie(
        concat({swftest::tag(69, Bytes{0x08, 0, 0, 0}),
                swftest::tag(82, Bytes{1, 0, 0, 0, 0, 0x10}), rectShape(1), placeObject2(1, 1),
                swftest::doAction(Bytes{0x07, 0}), showFrame(), showFrame(), swftest::end()})));
    EXPECT_TRUE(movie->usesAvm2);
    EXPECT_TRUE(movie->timeline.frames[0].actions.empty());
    swf::Player p(movie);
    EXPECT_TRUE(p.takePendingActions().empty());
    p.advance();
    EXPECT_EQ(p.currentFrame(), 1u);
    EXPECT_TRUE(p.root().displayList().at(1));
}

TEST(Limits, BadReferencesAndDeepSprites) {
    // A placement of an undefined character, a text with an undefined font, a button record
    // naming nothing, and sprites defined inside sprites deeper than allowed.
    Writer text;
    text.u16(3).rect(0, 10, 0, 10).matrix().u8(1).u8(1);
    text.u8(0x88).u16(99).u16(200).u8(1).ub(0, 1).ub(0, 1).align().u8(0);
    Writer button;
    button.u16(4).u8(0).u16(0).u8(0x01).u16(98).u16(1).matrix().cxform(true, {}, {}).u8(0);
    Bytes nested = swftest::sprite(50, 1, concat({showFrame(), swftest::end()}));
    for (std::uint16_t id = 49; id > 40; --id)
        nested = swftest::sprite(id, 1, concat({nested, showFrame(), swftest::end()}));
    swf::ParseLimits limits;
    limits.maxSpriteNesting = 4;
    auto movie = load(swftest::movie(concat({swftest::tag(11, text), swftest::tag(34, button),
                                             nested, placeObject2(1, 97), placeObject2(2, 4),
                                             showFrame(), swftest::end()})),
                      limits);
    const auto* t = movie->dictionary.findAs<swf::StaticText>(3);
    ASSERT_TRUE(t);
    EXPECT_FALSE(t->runs.at(0).font);
    EXPECT_TRUE(movie->dictionary.find(41));
    EXPECT_FALSE(movie->dictionary.find(46));
    swf::Player p(movie);
    EXPECT_FALSE(p.root().displayList().at(1));
    ASSERT_TRUE(p.root().displayList().at(2));
    EXPECT_TRUE(p.root().displayList().at(2)->button()->displayList().empty());
}
