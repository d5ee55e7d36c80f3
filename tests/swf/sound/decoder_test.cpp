// Decoding every sound format: own PCM and ADPCM code against hand-computed values and against
// FFmpeg's decoder, the libavcodec formats against signals of known frequency, the corpus.

#include "ffmpeg_encode.h"
#include "signal.h"
#include "swf/movie.h"
#include "swf/sound/decoder.h"
#include "swf/swf_writer.h"
#include "testenv.h"

#include <QDirIterator>
#include <gtest/gtest.h>
#include <random>

using swf::SoundFormat;
using swf::sound::PcmBuffer;
using swftest::Bytes;
using swftest::Writer;

namespace {

SoundFormat format(std::uint8_t codec, std::uint32_t rate, bool is16, bool stereo) {
    SoundFormat f;
    f.codec = codec;
    f.rate = rate;
    f.is16Bit = is16;
    f.stereo = stereo;
    return f;
}

// A DefineSound over `data`, decoded.
std::shared_ptr<const PcmBuffer> decode(const SoundFormat& f, std::uint32_t count,
                                        const Bytes& data) {
    swf::Sound s;
    s.format = f;
    s.sampleCount = count;
    s.data = data;
    return swf::sound::decodeSound(s);
}

std::vector<std::int16_t> adpcm(const Bytes& data, bool stereo) {
    PcmBuffer out;
    swf::sound::decodeAdpcm(data, stereo, out);
    return out.samples;
}

} // namespace

TEST(Pcm, EightBitIsUnsignedAndSixteenBitLittleEndianInBothCodes) {
    for (std::uint8_t codec : {0, 3}) {
        PcmBuffer mono;
        swf::sound::decodePcm(format(codec, 5512, false, false), Bytes{0, 128, 255, 64}, mono);
        EXPECT_EQ(mono.samples, (std::vector<std::int16_t>{-32768, 0, 32512, -16384}));
        EXPECT_EQ(mono.rate, 5512u);
        EXPECT_EQ(mono.channels, 1);

        // A trailing half frame is dropped.
        PcmBuffer stereo;
        swf::sound::decodePcm(format(codec, 44100, true, true),
                              Bytes{0x34, 0x12, 0x00, 0x80, 0xFF, 0x7F, 0x01, 0x00, 0x99}, stereo);
        EXPECT_EQ(stereo.samples, (std::vector<std::int16_t>{0x1234, -32768, 32767, 1}));
        EXPECT_EQ(stereo.frames(), 2u);
        EXPECT_EQ(stereo.channels, 2);
    }
}

TEST(Pcm, DefineSoundKeepsEachRateAndTrustsTheData) {
    for (std::uint32_t rate : {5512u, 11025u, 22050u, 44100u}) {
        const Bytes data(300, 200);
        const auto pcm = decode(format(3, rate, false, true), 1000, data);
        EXPECT_EQ(pcm->rate, rate);
        EXPECT_EQ(pcm->frames(), 150u); // what the data holds, not the declared 1000
        EXPECT_EQ(pcm->samples.front(), (200 - 128) << 8);
    }
}

// Expected values worked out by hand from the step and index tables.
TEST(Adpcm, EachCodeSizeAgainstTheTables) {
    // 4 bits: 1000 at index 0; codes 7, F, 0, 8.
    Writer w4;
    w4.ub(2, 2).sb(1000, 16).ub(0, 6).ub(0x7, 4).ub(0xF, 4).ub(0x0, 4).ub(0x8, 4);
    EXPECT_EQ(adpcm(w4.data(), false), (std::vector<std::int16_t>{1000, 1011, 981, 985, 982}));

    // 2 bits: 0 at index 10; codes 1, 3, 2, 0.
    Writer w2;
    w2.ub(0, 2).sb(0, 16).ub(10, 6).ub(1, 2).ub(3, 2).ub(2, 2).ub(0, 2);
    EXPECT_EQ(adpcm(w2.data(), false), (std::vector<std::int16_t>{0, 28, -6, -20, -8}));

    // 3 bits: -500 at index 20; codes 3, 6, 1, then the byte's 7 padding bits are two more
    // codes 0 (nothing marks the end but the data's length).
    Writer w3;
    w3.ub(1, 2).sb(-500, 16).ub(20, 6).ub(3, 3).ub(6, 3).ub(1, 3);
    EXPECT_EQ(adpcm(w3.data(), false),
              (std::vector<std::int16_t>{-500, -413, -504, -438, -418, -400}));

    // 5 bits from index 63: the predictor clamps both ways and the index stops at 88.
    Writer w5;
    w5.ub(3, 2).sb(32000, 16).ub(63, 6).ub(0x0F, 5).ub(0x1F, 5).ub(0x1F, 5);
    EXPECT_EQ(adpcm(w5.data(), false), (std::vector<std::int16_t>{32000, 32767, 5840, -32768}));
}

TEST(Adpcm, StereoPairsAndPacketBoundaries) {
    Writer st;
    st.ub(2, 2).sb(100, 16).ub(0, 6).sb(-100, 16).ub(0, 6).ub(0x7, 4).ub(0xF, 4);
    EXPECT_EQ(adpcm(st.data(), true), (std::vector<std::int16_t>{100, -100, 111, -111}));

    // A full packet is 4096 samples; then a new header resets the state.
    Writer two;
    two.ub(2, 2).sb(-7, 16).ub(0, 6);
    for (int i = 0; i < 4095; ++i)
        two.ub(0, 4);
    two.sb(1234, 16).ub(0, 6).ub(0x7, 4);
    const auto s = adpcm(two.data(), false);
    ASSERT_EQ(s.size(), 4098u);
    EXPECT_EQ(s[4095], -7); // code 0 at index 0 adds 7 >> 3 = 0
    EXPECT_EQ(s[4096], 1234);
    EXPECT_EQ(s[4097], 1245);

    // Bits left over that cannot hold a code (or a header) are ignored: 2 bits after two
    // 3-bit codes here.
    Writer shortTail;
    shortTail.ub(1, 2).sb(5, 16).ub(0, 6).ub(0, 3).ub(0, 3);
    EXPECT_EQ(adpcm(shortTail.data(), false), (std::vector<std::int16_t>{5, 6, 7}));
    EXPECT_TRUE(adpcm(Bytes{0x80, 0x00}, false).empty());
    EXPECT_TRUE(adpcm(Bytes{}, true).empty());
}

TEST(Adpcm, MatchesFfmpegOnRandomData) {
    std::mt19937 rng(7);
    for (int bits = 2; bits <= 5; ++bits)
        for (int channels = 1; channels <= 2; ++channels) {
            Bytes data(3000 + std::size_t(rng() % 2000));
            for (auto& b : data)
                b = std::uint8_t(rng());
            data[0] = std::uint8_t((data[0] & 0x3F) | ((bits - 2) << 6));
            const auto ours = adpcm(data, channels == 2);
            const auto theirs = soundtest::ffmpegDecodeAdpcm(data, channels);
            ASSERT_FALSE(ours.empty());
            EXPECT_EQ(ours, theirs) << bits << " bits, " << channels << " channels";
        }
}

TEST(Adpcm, OutputIsCappedAndEncodedSineSurvives) {
    // FFmpeg's encoder writes one packet per 4096 samples, each with its own code size.
    const auto src = soundtest::sine(440, 22050, 4096, 1);
    const auto data = soundtest::ffmpegEncode("adpcm_swf", 22050, 1, src);
    ASSERT_FALSE(data.empty());
    PcmBuffer capped;
    swf::sound::decodeAdpcm(data, false, capped, 1000);
    EXPECT_EQ(capped.frames(), 1000u);

    const auto pcm = decode(format(1, 22050, true, false), 4096, data);
    EXPECT_EQ(pcm->rate, 22050u);
    EXPECT_EQ(pcm->frames(), 4096u);
    const auto x = soundtest::channel(*pcm, 0);
    EXPECT_NEAR(soundtest::dominantFrequency(x, 22050, 100, 2000), 440, 1);
    EXPECT_NEAR(soundtest::rms(x), 0.5 / std::sqrt(2.0), 0.03);
}

// Nellymoser, Speex and MP3 made by FFmpeg's encoders from a 440 Hz sine.
TEST(Codecs, LibavcodecFormatsDecodeToTheTone) {
    struct Case {
        const char* encoder;
        std::uint8_t codec;
        std::uint32_t rate; // SoundRate as stored
        int encodeRate;
        int channels;
    };
    for (const Case& c :
         {Case{"nellymoser", 4, 5512, 16000, 1}, Case{"nellymoser", 5, 5512, 8000, 1},
          Case{"nellymoser", 6, 22050, 22050, 1}, Case{"libspeex", 11, 5512, 16000, 1},
          Case{"libmp3lame", 2, 22050, 22050, 2}, Case{"libmp3lame", 2, 11025, 11025, 1}}) {
        SCOPED_TRACE(std::string(c.encoder) + " format " + std::to_string(c.codec));
        const std::size_t frames = std::size_t(c.encodeRate); // one second
        const auto data = soundtest::ffmpegEncode(
            c.encoder, c.encodeRate, c.channels,
            soundtest::sine(440, c.encodeRate, frames, unsigned(c.channels)));
        ASSERT_FALSE(data.empty());
        Bytes body = data;
        if (c.codec == 2)
            body.insert(body.begin(), {0, 0}); // SeekSamples
        const auto pcm =
            decode(format(c.codec, c.rate, true, c.channels == 2), std::uint32_t(frames), body);
        EXPECT_EQ(pcm->rate, std::uint32_t(c.encodeRate));
        EXPECT_EQ(pcm->channels, c.channels);
        EXPECT_NEAR(double(pcm->frames()), double(frames), c.encodeRate * 0.1);
        const auto x = soundtest::channel(*pcm, 0, frames / 4, frames / 2);
        EXPECT_NEAR(soundtest::dominantFrequency(x, c.encodeRate, 100, 2000), 440, 2);
        EXPECT_GT(soundtest::rms(x), 0.15);
    }
}

TEST(Codecs, Mp3SeekSamplesAreDroppedAndTheDeclaredCountCutsThePadding) {
    const auto data =
        soundtest::ffmpegEncode("libmp3lame", 44100, 1, soundtest::sine(440, 44100, 44100, 1));
    ASSERT_FALSE(data.empty());
    Bytes noSeek = data, seek = data;
    noSeek.insert(noSeek.begin(), {0, 0});
    seek.insert(seek.begin(), {0x40, 0x06}); // 1600
    const auto full = decode(format(2, 44100, true, false), 1000000, noSeek);
    const auto skipped = decode(format(2, 44100, true, false), 1000000, seek);
    ASSERT_GT(full->frames(), 44100u);
    EXPECT_EQ(full->frames() - skipped->frames(), 1600u);
    EXPECT_TRUE(
        std::equal(skipped->samples.begin(), skipped->samples.end(), full->samples.begin() + 1600));
    const auto cut = decode(format(2, 44100, true, false), 44100, seek);
    EXPECT_EQ(cut->frames(), 44100u);
}

TEST(Codecs, DamagedDataDecodesToWhatItHolds) {
    std::mt19937 rng(3);
    for (std::uint8_t codec : {0, 1, 2, 3, 4, 5, 6, 11, 7, 15}) {
        for (std::size_t size : {0u, 1u, 2u, 5u, 64u, 1000u}) {
            Bytes junk(size);
            for (auto& b : junk)
                b = std::uint8_t(rng());
            const auto pcm = decode(format(codec, 44100, true, true), 0xFFFFFFFF, junk);
            EXPECT_LE(pcm->frames(), size * 8 + 4608) << int(codec);
        }
    }
    // An MP3 cut in the middle of a frame keeps the whole frames before the cut.
    auto data =
        soundtest::ffmpegEncode("libmp3lame", 22050, 1, soundtest::sine(440, 22050, 22050, 1));
    data.insert(data.begin(), {0, 0});
    data.resize(data.size() / 2 + 7);
    const auto half = decode(format(2, 22050, true, false), 22050, data);
    EXPECT_GT(half->frames(), 5000u);
    EXPECT_LT(half->frames(), 16000u);
}

TEST(StreamDecoder, Mp3FramesSplitAcrossBlocksDecodeAsOneStream) {
    const auto data =
        soundtest::ffmpegEncode("libmp3lame", 22050, 1, soundtest::sine(440, 22050, 22050, 1));
    PcmBuffer whole, pieces;
    auto a = swf::sound::StreamDecoder::create(format(2, 22050, true, false));
    a->decode(data, whole);
    a->flush(whole);
    auto b = swf::sound::StreamDecoder::create(format(2, 22050, true, false));
    for (std::size_t pos = 0; pos < data.size(); pos += 97)
        b->decode(std::span(data).subspan(pos, std::min<std::size_t>(97, data.size() - pos)),
                  pieces);
    b->flush(pieces);
    EXPECT_EQ(whole.samples, pieces.samples);
    EXPECT_GE(whole.frames(), 22050u);
}

namespace {

struct CorpusSound {
    QString file;
    std::uint16_t id;
    const swf::Sound* sound;
};

} // namespace

// Every event sound of the corpus: the declared rate and length, sound, and no clipping bursts.
TEST(Corpus, EventSoundsArePlausible) {
    REELWICK_NEED_CORPUS();
    const QString dir = testenv::corpusDir();
    std::size_t checked = 0;
    for (const char* path :
         {"jpexs-testdata/gfx/test_sounds.swf", "jpexs-testdata/sounds/sounds.swf",
          "jpexs-testdata/as2/as2.swf", "open-flash-db-movies/homestuck-02791/main.swf",
          "open-flash-db-movies/homestuck-beta-2/main.swf",
          "open-flash-swf-parser/mt-hf-game/main.swf"}) {
        auto movie = swf::Movie::loadFile(dir + "/" + path);
        ASSERT_TRUE(movie.ok()) << path << ": " << movie.error().message;
        for (const auto& [id, c] : (*movie)->dictionary.all()) {
            if (c->type != swf::CharacterType::Sound)
                continue;
            const auto& s = static_cast<const swf::Sound&>(*c);
            SCOPED_TRACE(std::string(path) + " sound " + std::to_string(id));
            const auto pcm = swf::sound::decodeSound(s);
            EXPECT_EQ(pcm->rate, s.format.rate);
            EXPECT_EQ(pcm->channels, s.format.stereo ? 2 : 1);
            // MP3 may end up to one frame short of what the author declared.
            EXPECT_LE(pcm->frames(), s.sampleCount);
            EXPECT_GE(pcm->frames() + 1152, s.sampleCount);
            for (unsigned ch = 0; ch < pcm->channels; ++ch) {
                const auto x = soundtest::channel(*pcm, ch);
                EXPECT_GT(soundtest::rms(x), 0.01);
                EXPECT_LT(soundtest::longestClip(x), 64u);
            }
            ++checked;
        }
    }
    EXPECT_GE(checked, 30u);
}

// Stream sound of the corpus: blocks decoded in order give about a frame's worth each.
TEST(Corpus, StreamSoundsHoldAboutAFramesWorthPerBlock) {
    REELWICK_NEED_CORPUS();
    const QString dir = testenv::corpusDir();
    for (const char* path :
         {"ffmpeg-generated/testsrc_flv1_mp3.swf", "jpexs-testdata/gfx/test_sounds.swf",
          "jpexs-testdata/sounds/sounds.swf"}) {
        auto movie = swf::Movie::loadFile(dir + "/" + path);
        ASSERT_TRUE(movie.ok()) << path << ": " << movie.error().message;
        std::vector<const swf::Timeline*> timelines{&(*movie)->timeline};
        for (const auto& [id, c] : (*movie)->dictionary.all())
            if (c->type == swf::CharacterType::Sprite)
                timelines.push_back(&static_cast<const swf::Sprite&>(*c).timeline);
        for (const swf::Timeline* t : timelines) {
            const swf::SoundStreamHead* head = nullptr;
            PcmBuffer pcm;
            std::unique_ptr<swf::sound::StreamDecoder> dec;
            std::size_t blocks = 0;
            for (const auto& f : t->frames) {
                if (f.streamHead) {
                    head = &*f.streamHead;
                    dec = swf::sound::StreamDecoder::create(head->stream);
                }
                if (f.streamBlock && dec) {
                    auto data = *f.streamBlock;
                    dec->decode(head->stream.codec == 2 ? data.subspan(4) : data, pcm);
                    ++blocks;
                }
            }
            if (blocks < 10)
                continue;
            SCOPED_TRACE(std::string(path) + ", " + std::to_string(blocks) + " blocks");
            dec->flush(pcm);
            const double perFrame = head->stream.rate / (*movie)->header().effectiveFrameRate();
            EXPECT_NEAR(double(pcm.frames()) / double(blocks), perFrame, perFrame * 0.1);
            EXPECT_GT(soundtest::rms(soundtest::channel(pcm, 0)), 0.01);
        }
    }
}
