// ActionScript 2's TextField.StyleSheet and TextField.styleSheet (CSS read by the engine's one
// parser, applied to htmlText, loaded from the movie's folder only), and MovieClip's
// opaqueBackground drawn and tracked.

#include "avm1_asm.h"
#include "script_helpers.h"
#include "swf/render/changes.h"
#include "swf/render/paintercanvas.h"
#include "swf/render/renderer.h"

#include <QImage>
#include <QPainter>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

using avm1test::Asm;
using avm1test::MovieRun;
using avm1test::oneFrame;
using swftest::Bytes;
using namespace avm1test::helpers;

// name = obj.method(one string argument)
Asm& assignCall(Asm& a, const std::string& name, const std::string& object,
                const std::string& method, const std::string& argument) {
    a.str(name).str(argument).num(1).getVar(object).str(method).op(0x52);
    return a.op(0x1D);
}

Asm& newStyleSheet(Asm& a, const std::string& name) {
    return a.str(name).num(0).getVar("TextField").str("StyleSheet").op(0x53).op(0x1D);
}

// object.member = the variable `value` (or null for an empty name).
Asm& setTo(Asm& a, const std::string& object, const std::string& member, const std::string& value) {
    a.getVar(object).str(member);
    if (value.empty())
        a.rec(0x96, {2});
    else
        a.getVar(value);
    return a.op(0x4F);
}

TEST(Avm1StyleSheet, ShapesHtmlTextAndReadsBackAsSet) {
    const std::string html = "<p class='Big'>MM</p><p>MM<span class=\"secret\">x</span></p>";
    Asm a;
    a.invoke("this", "createTextField", {std::string("t"), 1.0, 0.0, 0.0, 400.0, 200.0});
    a.getVar("t").str("html").boolean(true).op(0x4F);
    a.getVar("t").str("multiline").boolean(true).op(0x4F);
    a.set("t", "htmlText", html);
    newStyleSheet(a, "ss");
    a.invoke("ss", "parseCSS",
             {std::string("/* site */ .BIG { color: #FF0000; font-size: 30px }\n"
                          "p { color: #0000ff } .secret { display: none }")},
             true)
        .trace();
    a.invoke("ss", "parseCSS", {std::string("i { color: #00f")}, true).trace();
    a.invoke("ss", "getStyleNames", {}, true).trace();
    setTo(a, "t", "styleSheet", "ss");
    traceJoined(a, {member("t", "text"), member("t", "length")});
    a.traceMember("t", "htmlText");
    a.str("fmt").num(0).num(1).getVar("t").str("getTextFormat").op(0x52).op(0x1D);
    traceJoined(a, {member("fmt", "color"), member("fmt", "size")});

    // A style copied out, changed and set: the field follows once the sheet is set again.
    assignCall(a, "o", "ss", "getStyle", ".big");
    a.set("o", "color", std::string("#00FF00"));
    a.getVar("o").str(".big").num(2).getVar("ss").str("setStyle").op(0x52).op(0x17);
    a.str("fmt").num(0).num(1).getVar("t").str("getTextFormat").op(0x52).op(0x1D);
    a.traceMember("fmt", "color");
    setTo(a, "t", "styleSheet", "ss");
    a.str("fmt").num(0).num(1).getVar("t").str("getTextFormat").op(0x52).op(0x1D);
    a.traceMember("fmt", "color");

    // transform: the style as a TextFormat.
    a.str("tf").str(".big").num(1).getVar("ss").str("getStyle").op(0x52);
    a.num(1).getVar("ss").str("transform").op(0x52).op(0x1D);
    traceJoined(a, {member("tf", "color"), member("tf", "size"), member("tf", "bold")});

    // Removed: the HTML as it is, hidden parts shown.
    setTo(a, "t", "styleSheet", "");
    a.traceMember("t", "text");
    a.invoke("ss", "clear");
    a.invoke("ss", "getStyleNames", {}, true).str("length").op(0x4E).trace();

    MovieRun run(oneFrame(a));
    EXPECT_EQ(run.traces, QStringList({"true", "false", ".big,p,.secret", "MM\rMM 5",
                                       QString::fromStdString(html), "16711680 30", "16711680",
                                       "65280", "65280 30 null", "MM\rMMx", "0"}));
}

TEST(Avm1StyleSheet, FieldWithASheetTakesNoTyping) {
    Asm a;
    a.invoke("this", "createTextField", {std::string("t"), 1.0, 0.0, 0.0, 200.0, 40.0});
    a.set("t", "type", std::string("input"));
    a.getVar("t").str("html").boolean(true).op(0x4F);
    a.set("t", "htmlText", std::string("ab"));
    newStyleSheet(a, "ss");
    setTo(a, "t", "styleSheet", "ss");
    a.str("t").num(1).getVar("Selection").str("setFocus").op(0x52).op(0x17);
    MovieRun run(oneFrame(a));
    run.scripting->textInput("z");
    Asm check;
    check.traceMember("t", "text").traceMember("t", "type");
    setTo(check, "t", "styleSheet", "");
    const Bytes bytes = check.bytes();
    run.scripting->vm().runBlock(bytes, &run.player->root());
    run.scripting->textInput("z");
    Asm after;
    after.traceMember("t", "text");
    const Bytes more = after.bytes();
    run.scripting->vm().runBlock(more, &run.player->root());
    // Focused by setFocus, the whole text is selected: typing replaces it once it may.
    EXPECT_EQ(run.traces, QStringList({"ab", "input", "z"}));
}

TEST(Avm1StyleSheet, LoadsOnlyFromTheMoviesFolder) {
    QTemporaryDir tmp;
    const QString folder = tmp.path() + "/site";
    writeFile(folder + "/css/site.css", ".big { color: #123456 }");
    writeFile(tmp.path() + "/secret.css", ".big { color: #654321 }");
    Asm onLoad;
    traceJoined(onLoad, {text("loaded"), var("ok"), [](Asm& b) {
                             b.str(".big").num(1).getVar("this").str("getStyle").op(0x52);
                             b.str("color").op(0x4E);
                         }});
    Asm a;
    newStyleSheet(a, "good");
    setHandler(a, "good", "onLoad", {"ok"}, onLoad);
    newStyleSheet(a, "bad");
    setHandler(a, "bad", "onLoad", {"ok"}, onLoad);
    a.invoke("good", "load", {std::string("css/site.css")}, true).trace();
    a.invoke("bad", "load", {std::string("../secret.css")}, true).trace();
    const Bytes file = oneFrame(a);
    const QString movie = folder + "/main.swf";
    writeFile(movie,
              QByteArray(reinterpret_cast<const char*>(file.data()), qsizetype(file.size())));
    MovieRun run(file, swf::avm1::Limits{},
                 [&](swf::avm1::Scripting& s) { s.setFiles(movie, tmp.path() + "/store"); });
    EXPECT_EQ(run.traces, QStringList({"true", "false"}));
    run.ticks(1);
    EXPECT_EQ(run.traces,
              QStringList({"true", "false", "loaded true #123456", "loaded false undefined"}));
    ASSERT_EQ(run.notices.size(), 1);
    EXPECT_TRUE(run.notices[0].contains("secret.css")) << run.notices[0].toStdString();
}

// clip.beginFill(rgb); a rectangle from (x0, y0) to (x1, y1); endFill().
Asm& filledRect(Asm& a, const std::string& clip, double x0, double y0, double x1, double y1,
                double rgb) {
    a.invoke(clip, "beginFill", {rgb}).invoke(clip, "moveTo", {x0, y0});
    a.invoke(clip, "lineTo", {x1, y0}).invoke(clip, "lineTo", {x1, y1});
    a.invoke(clip, "lineTo", {x0, y1}).invoke(clip, "lineTo", {x0, y0});
    return a.invoke(clip, "endFill");
}

QImage picture(MovieRun& run) {
    QImage img(550, 400, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::white);
    QPainter p(&img);
    swf::render::PainterCanvas canvas(p, swf::render::Quality::High);
    swf::render::Renderer renderer;
    renderer.render(*run.player, canvas, QTransform::fromScale(1.0 / 20, 1.0 / 20));
    return img;
}

TEST(Avm1OpaqueBackground, FillsTheClipsBoundsBehindItAndIsTracked) {
    Asm a;
    a.invoke("this", "createEmptyMovieClip", {std::string("c"), 1.0});
    filledRect(a, "c", 100, 100, 120, 120, double(0xFF0000));
    filledRect(a, "c", 180, 180, 200, 200, double(0xFF0000));
    a.traceMember("c", "opaqueBackground");
    MovieRun run(oneFrame(a));
    swf::render::ChangeTracker tracker;
    tracker.update(*run.player);
    EXPECT_EQ(picture(run).pixel(150, 150), qRgb(255, 255, 255));

    Asm set;
    set.set("c", "opaqueBackground", double(0x00FF00)).traceMember("c", "opaqueBackground");
    const Bytes setBytes = set.bytes();
    run.scripting->vm().runBlock(setBytes, &run.player->root());
    swf::render::StageChanges changes = tracker.update(*run.player);
    ASSERT_FALSE(changes.areas.empty());
    EXPECT_TRUE(changes.areas[0].stage.contains(QPointF(150 * 20, 150 * 20)));
    QImage img = picture(run);
    EXPECT_EQ(img.pixel(150, 150), qRgb(0, 255, 0));
    EXPECT_EQ(img.pixel(110, 110), qRgb(255, 0, 0));
    EXPECT_EQ(img.pixel(95, 150), qRgb(255, 255, 255));

    Asm clear;
    clear.getVar("c").str("opaqueBackground").undef().op(0x4F);
    clear.traceMember("c", "opaqueBackground");
    const Bytes clearBytes = clear.bytes();
    run.scripting->vm().runBlock(clearBytes, &run.player->root());
    EXPECT_FALSE(tracker.update(*run.player).empty());
    EXPECT_EQ(picture(run).pixel(150, 150), qRgb(255, 255, 255));
    EXPECT_EQ(run.traces, QStringList({"undefined", "65280", "undefined"}));
}

} // namespace
