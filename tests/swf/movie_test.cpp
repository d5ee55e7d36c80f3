#include "swf/movie.h"

#include <algorithm>
#include <cstdint>
#include <gtest/gtest.h>
#include <lzma.h>
#include <vector>
#include <zlib.h>

using swf::Compression;
using Bytes = std::vector<std::uint8_t>;

namespace {

// Body of a 550 x 400 px stage (RECT with 15-bit fields), 24 fps, 7 frames, then
// SetBackgroundColor(#336699), ShowFrame, End.
Bytes stageBody() {
    return {
        0x78, 0x00, 0x05, 0x5F, 0x00, 0x00, 0x0F, 0xA0, 0x00, // RECT 0..11000, 0..8000 twips
        0x00, 0x18,                                           // 24.0 fps
        0x07, 0x00,                                           // 7 frames
        0x43, 0x02, 0x33, 0x66, 0x99,                         // tag 9, length 3
        0x40, 0x00,                                           // ShowFrame
        0x00, 0x00,                                           // End
    };
}

Bytes withPrefix(char sig, std::uint8_t version, std::uint32_t length, const Bytes& rest) {
    Bytes out(8 + rest.size());
    const std::uint8_t prefix[8] = {std::uint8_t(sig),
                                    'W',
                                    'S',
                                    version,
                                    std::uint8_t(length),
                                    std::uint8_t(length >> 8),
                                    std::uint8_t(length >> 16),
                                    std::uint8_t(length >> 24)};
    std::copy(prefix, prefix + 8, out.begin());
    std::copy(rest.begin(), rest.end(), out.begin() + 8);
    return out;
}

Bytes fws(const Bytes& body) {
    return withPrefix('F', 6, std::uint32_t(body.size() + 8), body);
}

Bytes cws(const Bytes& body) {
    uLongf n = compressBound(body.size());
    Bytes z(n);
    compress(z.data(), &n, body.data(), body.size());
    z.resize(n);
    return withPrefix('C', 6, std::uint32_t(body.size() + 8), z);
}

// LZMA1 raw data with the five property bytes in front, as ZWS stores them.
Bytes zws(const Bytes& body) {
    lzma_options_lzma opt;
    lzma_lzma_preset(&opt, 6);
    lzma_filter filters[2] = {{LZMA_FILTER_LZMA1, &opt}, {LZMA_VLI_UNKNOWN, nullptr}};
    Bytes raw(body.size() + 1024);
    size_t outPos = 0;
    EXPECT_EQ(lzma_raw_buffer_encode(filters, nullptr, body.data(), body.size(), raw.data(),
                                     &outPos, raw.size()),
              LZMA_OK);
    raw.resize(outPos);
    std::uint32_t dict = opt.dict_size;
    Bytes rest{std::uint8_t(outPos),
               std::uint8_t(outPos >> 8),
               std::uint8_t(outPos >> 16),
               std::uint8_t(outPos >> 24),
               std::uint8_t((opt.pb * 5 + opt.lp) * 9 + opt.lc),
               std::uint8_t(dict),
               std::uint8_t(dict >> 8),
               std::uint8_t(dict >> 16),
               std::uint8_t(dict >> 24)};
    rest.insert(rest.end(), raw.begin(), raw.end());
    return withPrefix('Z', 13, std::uint32_t(body.size() + 8), rest);
}

} // namespace

TEST(MovieHeader, EveryCompressionGivesTheSameHeaderAndBody) {
    const Bytes body = stageBody();
    for (const auto& [file, kind] :
         {std::pair{fws(body), Compression::None}, std::pair{cws(body), Compression::Zlib},
          std::pair{zws(body), Compression::Lzma}}) {
        SCOPED_TRACE(int(kind));
        auto header = swf::readHeader(file);
        ASSERT_TRUE(header.ok()) << header.error().message;
        EXPECT_EQ(header->compression, kind);
        EXPECT_EQ(header->frameSize, (swf::Rect{0, 11000, 0, 8000}));
        EXPECT_DOUBLE_EQ(header->frameRate, 24.0);
        EXPECT_EQ(header->frameCount, 7);

        auto movie = swf::loadMovie(file);
        ASSERT_TRUE(movie.ok()) << movie.error().message;
        EXPECT_EQ(movie->body, body);
        EXPECT_EQ(movie->tagsOffset, 13u);
        EXPECT_FALSE(movie->truncated);
        EXPECT_EQ(swf::findBackgroundColor(*movie), (swf::Rgb{0x33, 0x66, 0x99}));
    }
}

TEST(MovieHeader, RefusesWhatIsNotAMovie) {
    EXPECT_FALSE(swf::readHeader(Bytes{}).ok());
    EXPECT_FALSE(swf::readHeader(Bytes{'F', 'W', 'S'}).ok());
    EXPECT_FALSE(swf::readHeader(withPrefix('c', 6, 30, stageBody())).ok());  // the encrypted 'cWS'
    EXPECT_FALSE(swf::readHeader(withPrefix('F', 6, 30, {0x78, 0x00})).ok()); // RECT cut short
    Bytes garbage = withPrefix('C', 6, 30, Bytes(40, 0xAB));
    EXPECT_FALSE(swf::loadMovie(garbage).ok());
}

TEST(MovieHeader, LyingLengthsAreNotTrusted) {
    // A declared length of 100 MiB on a tiny file, as real encoders write.
    Bytes body = stageBody();
    auto big = withPrefix('F', 6, 100u << 20, body);
    auto movie = swf::loadMovie(big);
    ASSERT_TRUE(movie.ok());
    EXPECT_EQ(movie->body.size(), body.size());

    auto z = cws(body);
    z[4] = 0xFF, z[5] = 0xFF, z[6] = 0xFF, z[7] = 0x7F;
    movie = swf::loadMovie(z);
    ASSERT_TRUE(movie.ok());
    EXPECT_EQ(movie->body, body);

    // A ZWS header may name a 4 GiB dictionary; the body decodes all the same.
    z = zws(body);
    for (int i = 13; i < 17; ++i)
        z[std::size_t(i)] = 0xFF;
    movie = swf::loadMovie(z);
    ASSERT_TRUE(movie.ok()) << movie.error().message;
    EXPECT_EQ(movie->body, body);

    // The cap holds even when the stream really is that large.
    swf::LoadLimits small;
    small.maxBodyBytes = 16;
    movie = swf::loadMovie(cws(body), small);
    ASSERT_TRUE(movie.ok());
    EXPECT_EQ(movie->body.size(), 16u);
}

TEST(MovieHeader, TruncatedCompressedBodyKeepsWhatItHas) {
    Bytes body = stageBody();
    body.resize(body.size() + 4000, 0x00);
    auto z = cws(body);
    z.resize(z.size() - 6);
    auto movie = swf::loadMovie(z);
    ASSERT_TRUE(movie.ok());
    EXPECT_TRUE(movie->truncated);
    EXPECT_EQ(movie->header.frameCount, 7);
}

TEST(MovieHeader, FrameRateFallback) {
    swf::MovieHeader h;
    h.frameRate = 0;
    EXPECT_GT(h.effectiveFrameRate(), 0);
    h.frameRate = 255.99;
    EXPECT_LE(h.effectiveFrameRate(), 120);
    h.frameRate = 0.5;
    EXPECT_DOUBLE_EQ(h.effectiveFrameRate(), 0.5);
}
