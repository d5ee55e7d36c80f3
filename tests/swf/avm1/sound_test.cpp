// Scripts' Sound objects on hand-built movies: through the sound engine (what the mixer plays)
// and without one (what scripts read back), targets that come and go, hostile arguments.

#include "avm1_asm.h"
#include "swf/sound/moviesound.h"

#include <cmath>
#include <gtest/gtest.h>
#include <variant>

namespace {

namespace op = swf::avm1::op;

using avm1test::Asm;
using swftest::Bytes;
using swftest::concat;
using swftest::doAction;
using swftest::end;
using swftest::showFrame;

// DefineSound: 44.1 kHz 16-bit mono PCM holding `frames` copies of `value`.
Bytes pcmSound(std::uint16_t id, std::int16_t value, std::uint32_t frames) {
    swftest::Writer w;
    w.u16(id).ub(3, 4).ub(3, 2).ub(1, 1).ub(0, 1).u32(frames);
    for (std::uint32_t i = 0; i < frames; ++i)
        w.u16(std::uint16_t(value));
    return swftest::tag(14, w, true);
}

Bytes exportAssets(std::uint16_t id, const std::string& name) {
    swftest::Writer w;
    w.u16(1).u16(id).str(name);
    return swftest::tag(56, w);
}

Bytes startSound(std::uint16_t id) {
    return swftest::tag(15, swftest::Writer().u16(id).u8(0));
}

using Arg = std::variant<double, std::string>;

// object.method(args...), its result left on the stack when `keep`.
Asm& call(Asm& a, const std::string& object, const std::string& method, std::vector<Arg> args = {},
          bool keep = false) {
    for (auto it = args.rbegin(); it != args.rend(); ++it) {
        if (const auto* d = std::get_if<double>(&*it))
            a.num(*d);
        else
            a.str(std::get<std::string>(*it));
    }
    a.callMethod(object, method, int(args.size()));
    return keep ? a : a.op(op::Pop);
}

// name = new Sound(target), target a variable naming a clip (or none).
Asm& newSound(Asm& a, const std::string& name, const std::string& target = {}) {
    a.str(name);
    if (!target.empty())
        a.getVar(target);
    return a.num(target.empty() ? 0 : 1).str("Sound").op(op::NewObject).op(op::SetVariable);
}

Asm& traceMember(Asm& a, const std::string& object, const std::string& member) {
    return a.getVar(object).str(member).op(op::GetMember).trace();
}

// A movie with scripts and, optionally, the sound engine attached as the movie control does.
struct SoundRun {
    SoundRun(const Bytes& file, bool engine) {
        auto m = swf::Movie::load(file);
        if (!m)
            throw std::runtime_error("movie did not load");
        movie = *m;
        player = std::make_unique<swf::Player>(movie);
        scripting = std::make_unique<swf::avm1::Scripting>(*player);
        scripting->hooks().trace = [this](const QString& s) { traces << s; };
        scripting->hooks().notice = [this](const QString& s) { notices << s; };
        if (engine) {
            sound = std::make_shared<swf::sound::MovieSound>(movie);
            scripting->setSound(sound);
        }
        scripting->afterAdvance();
        if (sound)
            sound->update(*player);
    }
    void tick() {
        scripting->tick();
        if (sound)
            sound->update(*player);
    }
    // Renders `frames` and returns the last left and right samples.
    std::pair<int, int> level(std::size_t frames = 441) {
        std::vector<std::int16_t> out(frames * 2);
        sound->render(out.data(), frames);
        return {out[out.size() - 2], out.back()};
    }
    std::shared_ptr<const swf::Movie> movie;
    std::unique_ptr<swf::Player> player;
    std::shared_ptr<swf::sound::MovieSound> sound;
    std::unique_ptr<swf::avm1::Scripting> scripting;
    QStringList traces, notices;
};

Bytes frames(std::initializer_list<Bytes> definitions, const std::vector<Bytes>& perFrame) {
    Bytes tags = concat(definitions);
    for (const Bytes& f : perFrame)
        tags = concat({tags, f, showFrame()});
    return swftest::movie(concat({tags, end()}), std::uint16_t(perFrame.size()));
}

} // namespace

TEST(Avm1Sound, AttachedSoundsPlayAtTheirVolumeAndStop) {
    Asm f1, f2, f3, f4, f5;
    newSound(f1, "s");
    call(f1, "s", "attachSound", {"BEEP"}); // linkage names match regardless of case
    call(f1, "s", "start");
    traceMember(f1, "s", "duration");
    call(f2, "s", "setVolume", {50.0});
    call(f2, "s", "getVolume", {}, true).trace();
    call(f3, "s", "stop", {"beep"});
    call(f4, "s", "start", {0.5, 2.0});
    traceMember(f4, "s", "position");
    f5.op(op::StopSounds); // stopAllSounds
    const Bytes file =
        frames({pcmSound(1, 1000, 44100), exportAssets(1, "beep"), pcmSound(2, 300, 44100)},
               {doAction(f1.bytes()), doAction(f2.bytes()), doAction(f3.bytes()),
                concat({startSound(2), doAction(f4.bytes())}), doAction(f5.bytes())});
    SoundRun run(file, true);
    EXPECT_EQ(run.sound->voiceCount(), 1u);
    EXPECT_EQ(run.level().first, 1000);
    run.tick();
    EXPECT_EQ(run.level(), std::make_pair(500, 500));
    run.tick();
    EXPECT_EQ(run.sound->voiceCount(), 0u);
    EXPECT_EQ(run.level().first, 0);
    // Started half a second in, alongside the timeline's own sound.
    run.tick();
    EXPECT_EQ(run.sound->voiceCount(), 2u);
    EXPECT_EQ(run.level().first, 500 + 150);
    run.tick();
    EXPECT_EQ(run.sound->voiceCount(), 0u);
    ASSERT_EQ(run.traces.size(), 3);
    EXPECT_EQ(run.traces[0], "1000");
    EXPECT_EQ(run.traces[1], "50");
    EXPECT_NEAR(run.traces[2].toDouble(), 500, 1);
}

TEST(Avm1Sound, TargetsScopeTheirSoundsAndGoWithTheirClip) {
    Asm f1, f2;
    newSound(f1, "g");
    newSound(f1, "m", "mc");
    call(f1, "m", "attachSound", {"beep"});
    call(f1, "m", "start");
    call(f1, "m", "setVolume", {50.0});
    call(f1, "g", "setVolume", {50.0});
    call(f1, "m", "setPan", {-100.0});
    newSound(f1, "again", "mc"); // another Sound on the same clip shares its settings
    call(f1, "again", "getPan", {}, true).trace();
    newSound(f1, "top", "_root"); // the main timeline speaks for the whole movie
    call(f1, "top", "getVolume", {}, true).trace();
    call(f2, "m", "getVolume", {}, true).trace();
    call(f2, "m", "start");
    newSound(f2, "late", "mc");
    call(f2, "late", "getVolume", {}, true).trace();
    const Bytes clip = swftest::sprite(5, 1, concat({showFrame(), end()}));
    const Bytes file =
        frames({pcmSound(1, 1000, 44100), exportAssets(1, "beep"), clip},
               {concat({swftest::placeObject2(1, 5, 0, 0, false, "mc"), doAction(f1.bytes())}),
                concat({swftest::removeObject2(1), doAction(f2.bytes())})});
    SoundRun run(file, true);
    EXPECT_EQ(run.level(), std::make_pair(250, 0));
    run.tick();
    // The clip is gone: its sound stopped, its Sound objects control nothing.
    EXPECT_EQ(run.sound->voiceCount(), 0u);
    // mc names nothing now: a Sound on no target is the whole movie's.
    EXPECT_EQ(run.traces, (QStringList{"-100", "50", "undefined", "50"}));
    EXPECT_EQ(run.sound->transform(nullptr).volume, 50);
}

TEST(Avm1Sound, BehavesTheSameWithoutAnEngineAndSurvivesHostileArguments) {
    const double nan = std::nan("");
    const double inf = HUGE_VAL;
    Asm a;
    newSound(a, "s");
    call(a, "s", "getVolume", {}, true).trace();
    traceMember(a, "s", "duration");
    call(a, "s", "attachSound", {"missing"});
    traceMember(a, "s", "duration");
    call(a, "s", "start");
    call(a, "s", "attachSound", {"beep"});
    traceMember(a, "s", "duration");
    traceMember(a, "s", "position");
    call(a, "s", "setVolume", {30.0});
    call(a, "s", "setPan", {-40.0});
    call(a, "s", "getVolume", {}, true).trace();
    call(a, "s", "getPan", {}, true).trace();
    // t = {ll: 10, rr: 40}; s.setTransform(t); trace(s.getTransform().rr); trace(s.getPan())
    a.str("t").str("ll").num(10).str("rr").num(40).num(2).op(op::InitObject).op(op::SetVariable);
    a.getVar("t").num(1).getVar("s").str("setTransform").op(op::CallMethod).op(op::Pop);
    call(a, "s", "getTransform", {}, true).str("rr").op(op::GetMember).trace();
    call(a, "s", "getPan", {}, true).trace();
    call(a, "s", "setVolume", {nan});
    call(a, "s", "getVolume", {}, true).trace();
    call(a, "s", "start", {-5.0, nan});
    call(a, "s", "start", {inf, 1.0});
    call(a, "s", "start", {1e12, -7.0});
    call(a, "s", "stop", {"nope"});
    call(a, "s", "setPan", {inf});
    call(a, "s", "getPan", {}, true).trace();
    call(a, "s", "loadSound", {"http://example.invalid/a.mp3", 1.0});
    // A Sound method moved onto a plain object acts on nothing.
    a.str("o").num(0).op(op::InitObject).op(op::SetVariable);
    a.getVar("o").str("v").getVar("s").str("getVolume").op(op::GetMember).op(op::SetMember);
    call(a, "o", "v", {}, true).trace();
    // A target path that names nothing.
    a.str("n").str("nothing.here").num(1).str("Sound").op(op::NewObject).op(op::SetVariable);
    call(a, "n", "getVolume", {}, true).trace();
    call(a, "n", "start");
    const Bytes file =
        frames({pcmSound(1, 1000, 22050), exportAssets(1, "beep")}, {doAction(a.bytes())});

    const QStringList expected = {"100", "undefined", "undefined", "500", "0",
                                  "30",  "-40",       "40",        "30",  "0",
                                  "0",   "undefined", "undefined"};
    SoundRun silent(file, false);
    EXPECT_EQ(silent.traces, expected);
    SoundRun playing(file, true);
    EXPECT_EQ(playing.traces, expected);
    ASSERT_EQ(playing.notices.size(), 1);
    EXPECT_TRUE(playing.notices[0].contains("loadSound"));
    // start(-5, NaN) played once from the start; the offsets past the end play nothing.
    EXPECT_EQ(playing.sound->voiceCount(), 1u);
}

TEST(Avm1Sound, OnSoundCompleteRunsOnceWhenTheSoundEnds) {
    Asm body;
    body.str("done ").getVar("this").str("position").op(op::GetMember).op(op::Add2).trace();
    Asm a;
    newSound(a, "s");
    call(a, "s", "attachSound", {"blip"});
    a.getVar("s").str("onSoundComplete").function("", body).op(op::SetMember);
    call(a, "s", "start", {0.0, 2.0});
    const Bytes file = frames({pcmSound(1, 1000, 441), exportAssets(1, "blip")},
                              {doAction(a.bytes()), doAction(Asm().op(op::Stop).bytes())});
    SoundRun run(file, true);
    run.level(441);
    run.tick();
    EXPECT_TRUE(run.traces.isEmpty()); // the second loop is still to play
    run.level(1000);
    run.tick();
    run.tick();
    EXPECT_EQ(run.traces, QStringList{"done 10"});
}

// A library MP3 with an ID3v2.3 title: the tags are read at attachSound, and onID3 runs on the
// next step, so a handler set after attachSound hears it.
TEST(Avm1Sound, AttachedMp3CallsOnId3WithItsTags) {
    const QByteArray title = QByteArray("\0Tune", 5); // encoding 0, then the text
    QByteArray frame("TIT2");
    frame += QByteArray::fromHex("00000005 0000");
    frame += title;
    QByteArray tag = QByteArray("ID3\x03\x00\x00", 6) + QByteArray::fromHex("00000000") + frame;
    tag[9] = char(frame.size()); // a syncsafe size below 128
    swftest::Writer w;
    w.u16(1).ub(2, 4).ub(3, 2).ub(1, 1).ub(0, 1).u32(1152).u16(0); // MP3, then SeekSamples
    for (char c : tag)
        w.u8(std::uint8_t(c));
    const Bytes mp3 = swftest::tag(14, w, true);

    Asm onId3;
    onId3.str("id3 ").getVar("this").str("id3").op(op::GetMember).str("songname");
    onId3.op(op::GetMember).op(op::Add2).trace();
    Asm a;
    newSound(a, "s");
    call(a, "s", "attachSound", {"tune"});
    a.getVar("s").str("onID3").function("", onId3).op(op::SetMember);
    a.str("attached ").getVar("s").str("id3").op(op::GetMember).str("songname");
    a.op(op::GetMember).op(op::Add2).trace();
    // Another sound attached before the step: its tags were not the ones asked for.
    newSound(a, "t");
    call(a, "t", "attachSound", {"tune"});
    a.getVar("t").str("onID3").function("", onId3).op(op::SetMember);
    call(a, "t", "attachSound", {"beep"});
    const Bytes file =
        frames({mp3, exportAssets(1, "tune"), pcmSound(2, 1000, 441), exportAssets(2, "beep")},
               {doAction(a.bytes()), doAction(Asm().op(op::Stop).bytes())});
    SoundRun run(file, false);
    EXPECT_EQ(run.traces, QStringList{"attached Tune"});
    run.tick();
    run.tick();
    EXPECT_EQ(run.traces, (QStringList{"attached Tune", "id3 Tune"}));
}
