// Scripts in hand-built movies: limits, version rules, timeline control, clips made by
// scripts, button and clip events, and refused requests.

#include "avm1_asm.h"

#include <QRegularExpression>
#include <gtest/gtest.h>

namespace {

namespace op = swf::avm1::op;

using avm1test::Asm;
using avm1test::MovieRun;
using avm1test::oneFrame;
using swftest::Bytes;
using swftest::concat;
using swftest::doAction;
using swftest::end;
using swftest::showFrame;

Bytes exportAssets(std::uint16_t id, const std::string& name) {
    swftest::Writer w;
    w.u16(1).u16(id).str(name);
    return swftest::tag(56, w);
}

TEST(Avm1Limits, RunawayScriptIsStoppedAndTheMovieGoesOn) {
    Asm spin;
    spin.str("before").trace().label("top").jump("top");
    Asm next;
    next.str("next frame").trace();
    const Bytes file = swftest::movie(
        concat({doAction(spin.bytes()), showFrame(), doAction(next.bytes()), showFrame(), end()}),
        2);
    swf::avm1::Limits limits;
    limits.timeout = std::chrono::milliseconds(200);
    // Were the script not stopped, the test would never end: the test timeout catches that.
    MovieRun run(file, limits);
    EXPECT_EQ(run.traces, QStringList{"before"});
    ASSERT_EQ(run.notices.size(), 1);
    EXPECT_TRUE(run.notices[0].contains("too long"));
    run.ticks(1);
    EXPECT_EQ(run.traces, (QStringList{"before", "next frame"}));
}

TEST(Avm1Limits, RecursionAndMemoryAreBounded) {
    // function f() { f(); } f(); — then the next block still runs.
    Asm body;
    body.call("f");
    Asm recurse;
    recurse.function("f", body).call("f").str("not reached").trace();
    // s = "x"; while (true) s = s + s;
    Asm strings;
    strings.str("s")
        .str("x")
        .op(op::SetVariable)
        .label("top")
        .str("s")
        .getVar("s")
        .getVar("s")
        .op(op::Add2)
        .op(op::SetVariable)
        .jump("top");
    // a = []; while (true) a.push({});
    Asm objects;
    objects.str("a")
        .num(0)
        .op(op::InitArray)
        .op(op::SetVariable)
        .label("top")
        .num(0)
        .op(op::InitObject)
        .num(1)
        .getVar("a")
        .str("push")
        .op(op::CallMethod)
        .op(op::Pop)
        .jump("top");
    Asm after;
    after.str("after").trace();
    const Bytes file = swftest::movie(
        concat({doAction(recurse.bytes()), doAction(strings.bytes()), doAction(objects.bytes()),
                doAction(after.bytes()), showFrame(), end()}));
    swf::avm1::Limits limits;
    limits.maxObjects = 20000;
    limits.maxStringLength = 1 << 16;
    MovieRun run(file, limits);
    EXPECT_EQ(run.traces, QStringList{"after"});
    ASSERT_EQ(run.notices.size(), 3);
    EXPECT_TRUE(run.notices[0].contains("recursion"));
    EXPECT_TRUE(run.notices[1].contains("string"));
    EXPECT_TRUE(run.notices[2].contains("memory"));
}

TEST(Avm1Semantics, RulesDifferBySwfVersion) {
    Asm a;
    a.undef().num(1).op(op::Add2).trace();        // undefined + 1
    a.setVar("Foo", 5).getVar("foo").trace();     // names and case
    a.str("abc").op(op::Not).op(op::Not).trace(); // !!"abc"
    a.str("").op(op::Not).op(op::Not).trace();    // !!""
    a.undef().str("").op(op::Add2).trace();       // undefined + ""
    MovieRun six(oneFrame(a, 6));
    EXPECT_EQ(six.traces, (QStringList{"1", "5", "false", "false", ""}));
    EXPECT_TRUE(six.warnings.isEmpty());
    MovieRun seven(oneFrame(a, 7));
    EXPECT_EQ(seven.traces, (QStringList{"NaN", "undefined", "true", "false", "undefined"}));
    EXPECT_EQ(seven.warnings,
              QStringList{"Reference to undeclared variable, 'foo'\n-- Probably a case mismatch."});
}

TEST(Avm1Semantics, ValuesAndObjects) {
    Asm a;
    a.num(0.1).num(0.2).op(op::Add2).trace();     // 0.3
    a.num(1e21).trace().num(-0.000001).trace();   // exponents
    a.num(7).num(2).op(op::Modulo).trace();       // 7 % 2
    a.num(-1).num(28).op(op::BitURShift).trace(); // -1 >>> 28
    a.str("10").num(9).op(op::Less2).trace();     // "10" < 9
    a.str("10").str("9").op(op::Less2).trace();   // "10" < "9"
    a.str("1").num(1).op(op::Equals2).trace().str("1").num(1).op(op::StrictEquals).trace();
    // o = {x: 1}; o.y = 2; for (k in o) count
    a.str("o").str("x").num(1).num(1).op(op::InitObject).op(op::SetVariable);
    a.getVar("o").str("y").num(2).op(op::SetMember);
    a.str("n").num(0).op(op::SetVariable);
    a.getVar("o")
        .op(op::Enumerate2)
        .label("loop")
        .rec(op::StoreRegister, {0})
        .undef()
        .op(op::Equals2)
        .ifTrue("done");
    a.str("n").getVar("n").op(op::Increment).op(op::SetVariable).jump("loop");
    a.label("done").getVar("n").trace();
    // [3, 1, 2].sort().join("-")
    a.str("-")
        .num(1)
        .num(2)
        .num(1)
        .num(3)
        .num(3)
        .op(op::InitArray)
        .rec(op::StoreRegister, {1})
        .op(op::Pop)
        .num(0);
    a.rec(op::Push, {4, 1}).str("sort").op(op::CallMethod).str("join").op(op::CallMethod).trace();
    MovieRun run(oneFrame(a));
    EXPECT_EQ(run.traces, (QStringList{"0.3", "1e+21", "-1e-6", "1", "15", "false", "true", "true",
                                       "false", "2", "1-2-3"}));
}

// A date prints its zone as "GMT", a sign and four digits, whatever the machine's zone: the sign
// once came out as its character code ("GMT430000").
TEST(Avm1Semantics, DateShowsItsZoneWithASign) {
    Asm a;
    // new Date(2000, 5, 15, 12): local time, so the day and hour print as given.
    a.num(12).num(15).num(5).num(2000).num(4).str("Date").op(op::NewObject).trace();
    MovieRun run(oneFrame(a));
    ASSERT_EQ(run.traces.size(), 1);
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^Thu Jun 15 12:00:00 GMT[+-][0-9]{4} 2000$"))
                    .match(run.traces[0])
                    .hasMatch())
        << run.traces[0].toStdString();
}

TEST(Avm1Timeline, ScriptsDriveThePlayer) {
    // Frame 1 stops; frame 3 is labelled "end". A later goto runs the target's script after
    // the current block.
    Asm first;
    first.op(op::Stop).str("end").rec(op::GotoFrame2, {0}).str("after goto").trace();
    Asm third;
    third.str("at end").trace();
    const Bytes file = swftest::movie(
        concat({doAction(first.bytes()), showFrame(), showFrame(), swftest::frameLabel("end"),
                doAction(third.bytes()), showFrame(), end()}),
        3);
    MovieRun run(file);
    EXPECT_EQ(run.player->currentFrame(), 2u);
    EXPECT_FALSE(run.player->isPlaying());
    run.ticks(4);
    EXPECT_EQ(run.player->currentFrame(), 2u);
    EXPECT_EQ(run.traces, (QStringList{"after goto", "at end"}));
}

TEST(Avm1Timeline, ClipsRunAfterTheirParentOnTheirFirstFrame) {
    Asm inner1, inner2;
    inner1.str("child 1").trace();
    inner2.str("child 2").trace();
    const Bytes sprite =
        swftest::sprite(1, 3,
                        concat({doAction(inner1.bytes()), showFrame(), doAction(inner2.bytes()),
                                showFrame(), showFrame(), end()}));
    Asm root;
    root.str("root")
        .trace()
        .num(3)
        .num(1)
        .getVar("mc")
        .str("gotoAndStop")
        .op(op::CallMethod)
        .op(op::Pop);
    Asm root2;
    root2.str("root 2").trace();
    const Bytes file = swftest::movie(
        concat({sprite, swftest::placeObject2(1, 1, 0, 0, false, "mc"), doAction(root.bytes()),
                showFrame(), doAction(root2.bytes()), showFrame(), end()}),
        2);
    MovieRun run(file);
    // The child's first frame runs after the root's script, whose goto skipped frame 2.
    EXPECT_EQ(run.traces, (QStringList{"root", "child 1"}));
    swf::MovieClip* mc = run.player->root().displayList().byName("mc")->clip();
    ASSERT_NE(mc, nullptr);
    EXPECT_EQ(mc->currentFrame(), 2u);
    EXPECT_FALSE(mc->isPlaying());
    run.ticks(1);
    EXPECT_EQ(mc->currentFrame(), 2u);
    EXPECT_EQ(run.traces.last(), "root 2");
}

TEST(Avm1Clips, ScriptsMakeRemoveAndReorderClips) {
    const Bytes sprite = swftest::sprite(1, 1, concat({showFrame(), end()}));
    Asm a;
    // attachMovie("thing", "a", 1); a.duplicateMovieClip("b", 2); b.swapDepths(7);
    a.num(1)
        .str("a")
        .str("thing")
        .num(3)
        .getVar("this")
        .str("attachMovie")
        .op(op::CallMethod)
        .op(op::Pop);
    a.num(2).str("b").num(2).getVar("a").str("duplicateMovieClip").op(op::CallMethod).op(op::Pop);
    a.num(7).num(1).getVar("b").str("swapDepths").op(op::CallMethod).op(op::Pop);
    a.getVar("b").op(op::TypeOf).trace();
    // new Color(b).setRGB(0x336699), read back from the clip's colour transform
    a.getVar("b").num(1).str("Color").op(op::NewObject).rec(op::StoreRegister, {0}).op(op::Pop);
    a.num(0x336699).num(1).rec(op::Push, {4, 0}).str("setRGB").op(op::CallMethod).op(op::Pop);
    a.num(0).rec(op::Push, {4, 0}).str("getRGB").op(op::CallMethod).trace();
    a.num(0).getVar("b").str("getDepth").op(op::CallMethod).trace();
    a.num(0).getVar("a").str("removeMovieClip").op(op::CallMethod).op(op::Pop);
    a.getVar("a").op(op::TypeOf).trace();
    // createEmptyMovieClip("e", 3)._name
    a.num(3)
        .str("e")
        .num(2)
        .getVar("this")
        .str("createEmptyMovieClip")
        .op(op::CallMethod)
        .str("_name")
        .op(op::GetMember)
        .trace();
    const Bytes file = swftest::movie(
        concat({sprite, exportAssets(1, "thing"), doAction(a.bytes()), showFrame(), end()}));
    MovieRun run(file);
    EXPECT_EQ(run.traces,
              (QStringList{"movieclip", QString::number(0x336699), "7", "undefined", "e"}));
    const auto& list = run.player->root().displayList();
    EXPECT_EQ(list.byName("a"), nullptr);
    ASSERT_NE(list.byName("b"), nullptr);
    EXPECT_EQ(list.byName("b")->depth, 16384 + 7);
    EXPECT_EQ(list.byName("b")->colorTransform.greenAdd, 0x66);
    EXPECT_EQ(list.byName("b")->colorTransform.greenMult, 0);
    ASSERT_NE(list.byName("e"), nullptr);
    // Script-made clips stay when the timeline loops.
    run.ticks(3);
    EXPECT_NE(run.player->root().displayList().byName("b"), nullptr);
}

// DefineButton2 over a 10 x 5 px rectangle whose release action traces.
Bytes button(const Asm& onRelease) {
    swftest::Writer w;
    w.u16(2).u8(0);
    const Bytes code = onRelease.bytes();
    swftest::Writer records;
    records.u8(0x0F).u16(1).u16(1).translate(0, 0).u8(0).u8(0);
    w.u16(std::uint16_t(2 + records.size()));
    w.append(records);
    w.u16(0).u8(std::uint8_t(swf::CondOverDownToOverUp >> 8)).u8(0).bytes(code);
    return swftest::tag(34, w);
}

TEST(Avm1Events, ButtonsAndClipHandlersReactToTheMouse) {
    Asm release;
    release.str("released").trace();
    Asm setup;
    // this.onEnterFrame = function () { trace("tick"); }
    Asm tick;
    tick.str("tick").trace();
    setup.getVar("this").str("onEnterFrame");
    {
        Bytes p = {0, 0, 0};
        const Bytes body = [&] {
            Bytes b = tick.bytes();
            b.pop_back();
            return b;
        }();
        p.push_back(std::uint8_t(body.size()));
        p.push_back(0);
        setup.rec(op::DefineFunction, p);
        // The body follows the record.
        for (std::uint8_t c : body)
            setup.op(c);
    }
    setup.op(op::SetMember);
    const Bytes file = swftest::movie(
        concat({swftest::rectShape(1), button(release), swftest::placeObject2(1, 2, 0, 0),
                doAction(setup.bytes()), showFrame(), end()}));
    MovieRun run(file);
    run.ticks(2);
    EXPECT_EQ(run.traces, (QStringList{"tick", "tick"}));
    run.traces.clear();
    // Press outside, release inside: nothing. Press and release inside: the action.
    run.scripting->mouseMove(QPointF(50, 50));
    run.scripting->mouseDown();
    run.scripting->mouseMove(QPointF(5, 2));
    run.scripting->mouseUp();
    EXPECT_TRUE(run.traces.isEmpty());
    run.scripting->mouseDown();
    EXPECT_EQ(run.player->root().displayList().at(1)->button()->state(), swf::ButtonState::Down);
    run.scripting->mouseUp();
    EXPECT_EQ(run.traces, QStringList{"released"});
    EXPECT_EQ(run.player->root().displayList().at(1)->button()->state(), swf::ButtonState::Over);
    run.scripting->mouseMove(QPointF(100, 100));
    EXPECT_EQ(run.player->root().displayList().at(1)->button()->state(), swf::ButtonState::Up);
    // The pointer: a hand over the button (useHandCursor is true by default), no say elsewhere.
    EXPECT_FALSE(run.scripting->handCursor().has_value());
    run.scripting->mouseMove(QPointF(5, 2));
    EXPECT_EQ(run.scripting->handCursor(), std::optional<bool>(true));
}

TEST(Avm1Security, NetworkAndFilesAreRefused) {
    Asm a;
    a.rec(op::GetURL, [] {
        Bytes p;
        for (char c : std::string("http://example.com/"))
            p.push_back(std::uint8_t(c));
        p.push_back(0);
        for (char c : std::string("_blank"))
            p.push_back(std::uint8_t(c));
        p.push_back(0);
        return p;
    }());
    a.str("movie.swf").str("_level1").rec(op::GetURL2, {0x40});   // loadMovieNum
    a.str("file:///etc/passwd").str("").rec(op::GetURL2, {0x80}); // loadVariables
    a.str("data.txt")
        .num(0)
        .str("LoadVars")
        .op(op::NewObject)
        .rec(op::StoreRegister, {0})
        .op(op::Pop)
        .num(1)
        .rec(op::Push, {4, 0})
        .str("load")
        .op(op::CallMethod)
        .op(op::Pop);
    a.str("FSCommand:quit").str("").rec(op::GetURL2, {0});
    QStringList asked;
    {
        MovieRun run(oneFrame(a));
        EXPECT_EQ(run.notices.size(), 4);
        for (const QString& n : run.notices)
            EXPECT_TRUE(n.startsWith("Refused")) << n.toStdString();
        EXPECT_TRUE(run.scripting->quitRequested());
    }
    // With the user's consent the browser may open an http address in a new window.
    auto movie = swf::Movie::load(oneFrame(a));
    swf::Player player(*movie);
    swf::avm1::Scripting scripting(player);
    QStringList opened;
    scripting.hooks().notice = [](const QString&) {};
    scripting.hooks().confirmOpenUrl = [&](const QString& url) {
        asked << url;
        return true;
    };
    scripting.hooks().openUrl = [&](const QString& url) { opened << url; };
    scripting.afterAdvance();
    EXPECT_EQ(asked, QStringList{"http://example.com/"});
    EXPECT_EQ(opened, QStringList{"http://example.com/"});
}

TEST(Avm1Events, KeyListenersAndIntervals) {
    Asm onKey;
    onKey.num(0).getVar("Key").str("getCode").op(op::CallMethod).trace();
    Asm a;
    // o = {}; o.onKeyDown = function () { trace(Key.getCode()); }; Key.addListener(o);
    a.str("o").num(0).op(op::InitObject).op(op::SetVariable);
    a.getVar("o").str("onKeyDown").function("", onKey).op(op::SetMember);
    a.getVar("o").num(1).getVar("Key").str("addListener").op(op::CallMethod).op(op::Pop);
    // id = setInterval(function () { trace("iv"); clearInterval(id); }, 1);
    Asm tick;
    tick.str("iv")
        .trace()
        .getVar("id")
        .num(1)
        .str("clearInterval")
        .op(op::CallFunction)
        .op(op::Pop);
    a.str("id")
        .num(1)
        .function("", tick)
        .num(2)
        .str("setInterval")
        .op(op::CallFunction)
        .op(op::SetVariable);
    // The movie's clock stands still until the loop below moves it, however slow the build.
    std::int64_t now = 0;
    MovieRun run(oneFrame(a), {},
                 [&now](swf::avm1::Scripting& s) { s.vm().clock = [&now] { return now; }; });
    run.scripting->keyDown(swf::avm1::Scripting::keyCodeFromQt(Qt::Key_Left), 0);
    EXPECT_EQ(run.traces, QStringList{"37"});
    EXPECT_TRUE(run.scripting->vm().keysDown.value(37));
    run.scripting->keyUp(37, 0);
    EXPECT_FALSE(run.scripting->vm().keysDown.value(37));
    for (int i = 0; i < 5; ++i) {
        now += 3;
        run.ticks(1);
    }
    EXPECT_EQ(run.traces, (QStringList{"37", "iv"}));
}

TEST(Avm1Semantics, Function2RegistersAndPreloads) {
    // function f(a, b) with a in r2, b in r3, this preloaded to r1: returns this.k + a * b
    Asm body;
    body.rec(op::Push, {4, 1})
        .str("k")
        .op(op::GetMember)
        .rec(op::Push, {4, 2})
        .rec(op::Push, {4, 3})
        .op(op::Multiply)
        .op(op::Add2)
        .op(op::Return);
    Bytes p = {'f', 0, 2, 0, 4, 0x01 | 0x02 | 0x08 | 0x20, 0, 2, 'a', 0, 3, 'b', 0};
    Bytes code = body.bytes();
    code.pop_back();
    p.push_back(std::uint8_t(code.size()));
    p.push_back(0);
    Asm a;
    a.rec(op::DefineFunction2, p);
    for (std::uint8_t c : code)
        a.op(c);
    // o = {k: 1}; o.f = f; trace(o.f(6, 7)); trace(typeof a)
    a.str("o").str("k").num(1).num(1).op(op::InitObject).op(op::SetVariable);
    a.getVar("o").str("f").getVar("f").op(op::SetMember);
    a.num(7).num(6).num(2).getVar("o").str("f").op(op::CallMethod).trace();
    a.str("a").op(op::GetVariable).op(op::TypeOf).trace();
    MovieRun run(oneFrame(a));
    EXPECT_EQ(run.traces, (QStringList{"43", "undefined"}));
}

} // namespace
