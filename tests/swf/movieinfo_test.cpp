// The movie's facts as the information dialog shows them, on real movies of every kind and
// on hand-built ones for what the corpus shows only by accident.

#include "swf/movieinfo.h"
#include "swf_writer.h"

#include "testenv.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace swftest;
using swf::Compression;
using swf::ScriptLanguage;

namespace {
const QString kCorpus = testenv::corpusDir() + QLatin1Char('/');

swf::MovieInfo describe(const QString& relative) {
    auto r = swf::describeMovieFile(kCorpus + relative);
    EXPECT_TRUE(r) << relative.toStdString();
    return r ? r.value() : swf::MovieInfo{};
}

swf::MovieInfo describeBytes(const Bytes& bytes) {
    auto m = swf::Movie::load(bytes);
    EXPECT_TRUE(m);
    return m ? swf::describeMovie(*m.value()) : swf::MovieInfo{};
}

using Sound = swf::MovieInfo::SoundKind;
} // namespace

TEST(MovieInfo, FfmpegMoviesVideoStreamSoundAndLyingHeaders) {
    REELWICK_NEED_CORPUS();
    const auto v = describe(QStringLiteral("ffmpeg-generated/testsrc_flv1_mp3.swf"));
    EXPECT_EQ(v.fileBytes, 51834);
    EXPECT_TRUE(v.path.endsWith(QStringLiteral("/testsrc_flv1_mp3.swf")));
    EXPECT_EQ(v.compression, Compression::None);
    EXPECT_EQ(v.version, 6);
    EXPECT_EQ(v.stageWidth, 320);
    EXPECT_EQ(v.stageHeight, 240);
    EXPECT_DOUBLE_EQ(v.frameRate, 10);
    EXPECT_EQ(v.frames, 20);
    EXPECT_DOUBLE_EQ(v.seconds, 2.0);
    EXPECT_EQ(v.script, ScriptLanguage::None);
    ASSERT_EQ(v.videos.size(), 1u);
    EXPECT_EQ(v.videos[0], (swf::MovieInfo::VideoKind{swf::VideoH263, 320, 240, 20}));
    EXPECT_EQ(swf::videoCodecName(v.videos[0].codec), "Sorenson H.263");
    ASSERT_EQ(v.sounds.size(), 1u);
    EXPECT_TRUE(v.sounds[0].stream);
    EXPECT_EQ(swf::soundCodecName(v.sounds[0].codec), "MP3");
    EXPECT_EQ(v.sounds[0].rate, 44100u);

    // The header claims 6000 frames; 78 are there, and the running time follows those.
    const auto sine = describe(QStringLiteral("ffmpeg-generated/sine_mp3.swf"));
    EXPECT_EQ(sine.declaredFrames, 6000);
    EXPECT_EQ(sine.frames, 78);
    EXPECT_DOUBLE_EQ(sine.seconds, 7.8);
    EXPECT_TRUE(sine.videos.empty());
}

TEST(MovieInfo, ScriptLanguagesCompressionSoundsAndFonts) {
    REELWICK_NEED_CORPUS();
    const auto as3 = describe(QStringLiteral("jpexs-testdata/amf3/AmfTest.swf"));
    EXPECT_EQ(as3.compression, Compression::Lzma);
    EXPECT_EQ(as3.script, ScriptLanguage::ActionScript3);

    const auto as2 = describe(QStringLiteral("jpexs-testdata/as2/as2.swf"));
    EXPECT_EQ(as2.compression, Compression::Zlib);
    EXPECT_EQ(as2.version, 12);
    EXPECT_EQ(as2.script, ScriptLanguage::ActionScript12);
    EXPECT_EQ(as2.fonts, QStringList({QStringLiteral("Arial"), QStringLiteral("Calibri"),
                                      QStringLiteral("Times New Roman"),
                                      QStringLiteral("Times New Roman_v")}));
    // Its sprites carry empty SoundStreamHeads: event MP3s only.
    ASSERT_EQ(as2.sounds.size(), 1u);
    EXPECT_EQ(as2.sounds[0], (Sound{false, 2, 11025, false, 4}));

    const auto sounds = describe(QStringLiteral("jpexs-testdata/sounds/sounds.swf"));
    int events = 0, streams = 0;
    for (const Sound& s : sounds.sounds)
        (s.stream ? streams : events) += s.count;
    EXPECT_EQ(events, 3);
    EXPECT_GE(streams, 1);
    EXPECT_TRUE(std::is_sorted(sounds.sounds.begin(), sounds.sounds.end(),
                               [](const Sound& a, const Sound& b) { return a.stream < b.stream; }));

    const auto vp6 = describe(QStringLiteral("jpexs-testdata/video/video.swf"));
    ASSERT_EQ(vp6.videos.size(), 1u);
    EXPECT_EQ(swf::videoCodecName(vp6.videos[0].codec), "On2 VP6");

    const auto fonts =
        describe(QStringLiteral("jpexs-testdata/gfx/gfx_test_fonts/test_fonts_multi.swf"));
    EXPECT_EQ(fonts.fonts,
              QStringList({QStringLiteral("Times new roman"), QStringLiteral("Verdana")}));
}

TEST(MovieInfo, HandBuiltMoviesNameTheirScriptsOnlyWhereCodeIs) {
    // Shapes only.
    EXPECT_EQ(
        describeBytes(movie(concat({rectShape(1), placeObject2(1, 1), showFrame(), end()}))).script,
        ScriptLanguage::None);
    // A DoAction inside a sprite is AVM1 code too.
    const Bytes inSprite = sprite(2, 1, concat({doAction({0x07, 0x00}), showFrame(), end()}));
    EXPECT_EQ(
        describeBytes(movie(concat({inSprite, placeObject2(1, 2), showFrame(), end()}))).script,
        ScriptLanguage::ActionScript12);
    // FileAttributes with the ActionScript 3 flag, no code yet.
    const Bytes as3 = tag(69, Writer().u32(0x08));
    EXPECT_EQ(describeBytes(movie(concat({as3, showFrame(), end()}), 1, 10)).script,
              ScriptLanguage::ActionScript3);

    EXPECT_FALSE(swf::describeMovieFile(kCorpus + QStringLiteral("README.md")));
    EXPECT_FALSE(swf::describeMovieFile(kCorpus + QStringLiteral("no-such-movie.swf")));
}
