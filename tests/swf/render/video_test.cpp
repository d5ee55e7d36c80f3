// Video streams: packets filed by the parser, key frames, seeking, damaged packets, and the
// pictures drawn compared with FFmpeg's own test pattern.

#include "swf/player.h"
#include "swf/render/paintercanvas.h"
#include "swf/render/recordingcanvas.h"
#include "swf/render/renderer.h"
#include "swf/render/video.h"
#include "swf/video.h"
#include "swf_writer.h"
#include "testenv.h"

#include <QFile>
#include <QImage>
#include <QPainter>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <random>

namespace {

using namespace swftest;

const QString kCorpus = testenv::corpusDir();

std::shared_ptr<const swf::Movie> load(const Bytes& bytes) {
    auto m = swf::Movie::load(bytes);
    EXPECT_TRUE(m.ok());
    return m.ok() ? m.value() : nullptr;
}

std::shared_ptr<const swf::Movie> loadCorpus(const char* name) {
    auto m = swf::Movie::loadFile(kCorpus + QLatin1Char('/') + QLatin1String(name));
    EXPECT_TRUE(m.ok()) << name;
    return m.ok() ? m.value() : nullptr;
}

const swf::VideoStream* firstStream(const swf::Movie& movie) {
    for (const auto& [id, c] : movie.dictionary.all()) {
        if (c->type == swf::CharacterType::Video)
            return static_cast<const swf::VideoStream*>(c.get());
    }
    return nullptr;
}

Bytes defineVideo(std::uint16_t id, std::uint16_t frames, std::uint16_t w, std::uint16_t h,
                  std::uint8_t codec, bool smoothing = false) {
    return tag(60, Writer().u16(id).u16(frames).u16(w).u16(h).u8(smoothing ? 1 : 0).u8(codec));
}
Bytes videoFrame(std::uint16_t id, std::uint16_t n, const Bytes& packet) {
    return tag(61, Writer().u16(id).u16(n).bytes(packet), true);
}
Bytes placeVideo(std::uint16_t depth, std::uint16_t id, std::uint16_t ratio, bool move) {
    Writer w;
    w.u8(std::uint8_t(0x10 | (move ? 0x01 : 0x06))).u16(depth);
    if (!move)
        w.u16(id).matrix(2, 2, 0, 0, 200, 400); // twice the size, at (10, 20) px
    w.u16(ratio);
    return tag(26, w);
}

QImage render(swf::Player& player, swf::render::Renderer& renderer, QSize size) {
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    QPainter painter(&image);
    swf::render::PainterCanvas canvas(painter);
    renderer.render(player, canvas,
                    swf::render::stageTransform(player.movie().header().frameSize,
                                                QRectF(QPointF(0, 0), size), 0));
    return image.convertToFormat(QImage::Format_RGB32);
}

int channelDifference(QRgb p, QRgb q) {
    return std::abs(qRed(p) - qRed(q)) + std::abs(qGreen(p) - qGreen(q)) +
           std::abs(qBlue(p) - qBlue(q));
}

// The mean difference per channel (0..255) of two pictures of one size; with `n` and `other`,
// only over the pixels where those two differ clearly: what tells neighbouring frames of the
// pattern apart when most of the picture stays.
double meanDifference(const QImage& a, const QImage& b, const QImage* n = nullptr,
                      const QImage* other = nullptr) {
    if (a.size() != b.size())
        return 255;
    double sum = 0;
    std::size_t count = 0;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            if (n && channelDifference(n->pixel(x, y), other->pixel(x, y)) < 24)
                continue;
            sum += channelDifference(a.pixel(x, y), b.pixel(x, y));
            ++count;
        }
    }
    return count ? sum / (3.0 * double(count)) : 0;
}

// FFmpeg's testsrc pattern at 10 fps, made by FFmpeg itself; empty where FFmpeg is missing.
struct Pattern {
    QTemporaryDir dir;
    bool ok = false;
    explicit Pattern(const QString& size, const QStringList& output = {}) {
        const QString ffmpeg = QStandardPaths::findExecutable(QStringLiteral("ffmpeg"));
        if (ffmpeg.isEmpty())
            return;
        QStringList args{QStringLiteral("-loglevel"),
                         QStringLiteral("error"),
                         QStringLiteral("-f"),
                         QStringLiteral("lavfi"),
                         QStringLiteral("-i"),
                         QStringLiteral("testsrc=size=%1:rate=10:duration=2").arg(size)};
        args += output.isEmpty() ? QStringList{QStringLiteral("-f"), QStringLiteral("image2"),
                                               dir.filePath(QStringLiteral("ref_%03d.png"))}
                                 : output;
        QProcess p;
        p.start(ffmpeg, args);
        ok = p.waitForFinished(60000) && p.exitCode() == 0;
    }
    QImage frame(int n) const { // counted from 1
        return QImage(dir.filePath(QStringLiteral("ref_%1.png").arg(n, 3, 10, QChar('0'))))
            .convertToFormat(QImage::Format_RGB32);
    }
};

} // namespace

TEST(VideoParse, PacketsFiledByStreamAndFrameNumberFromRootAndSprites) {
    const Bytes tags = concat({
        defineVideo(1, 4, 32, 16, swf::VideoScreen, true),
        defineVideo(2, 1, 8, 8, swf::VideoH263),
        tag(2, Bytes{}), // not a stream: frames naming it are dropped
        videoFrame(1, 2, {0xC2}),
        videoFrame(1, 0, {0xC0}),
        videoFrame(1, 2, {0xEE}), // repeated frame number: the first stays
        videoFrame(1, 3, {}),     // empty: nothing to decode
        videoFrame(7, 0, {0x77}), // no such character
        sprite(5, 1, concat({videoFrame(1, 1, {0xC1, 0x01}), videoFrame(2, 0, {0xD0}), end()})),
        showFrame(),
        end(),
    });
    auto movie = load(swftest::movie(tags));
    ASSERT_TRUE(movie);
    const auto* s = movie->dictionary.findAs<swf::VideoStream>(1);
    ASSERT_TRUE(s);
    EXPECT_EQ(s->width, 32);
    EXPECT_EQ(s->height, 16);
    EXPECT_TRUE(s->smoothing);
    EXPECT_EQ(s->codec, swf::VideoScreen);
    ASSERT_EQ(s->packets.size(), 3u);
    for (std::uint16_t i = 0; i < 3; ++i) {
        EXPECT_EQ(s->packets[i].frameNumber, i);
        EXPECT_EQ(s->packets[i].data[0], 0xC0 + i);
    }
    EXPECT_EQ(s->packets[1].data.size(), 2u);
    EXPECT_EQ(s->packet(3), nullptr);
    EXPECT_EQ(s->indexAtOrBefore(60000), 2);
    ASSERT_TRUE(movie->dictionary.findAs<swf::VideoStream>(2));
    EXPECT_EQ(movie->dictionary.findAs<swf::VideoStream>(2)->packets.size(), 1u);
}

// FFmpeg's swf muxer wrote both movies from the same pattern FFmpeg makes here: Screen Video is
// lossless and must match exactly; Sorenson H.263 within its loss (a mean difference under 2.5
// of 255; 1.6 measured), where the picture shifted by 2 pixels or with swapped colour channels
// is three times further off, and where the neighbouring frames differ (the moving colour bar,
// the counter) they are twice further off (measured: 2.5 to 4.8 times).
TEST(VideoPictures, FfmpegTestPatternFrameByFrame) {
    REELWICK_NEED_CORPUS();
    Pattern ref(QStringLiteral("320x240"));
    REELWICK_NEED(ref.ok, "REELWICK_REQUIRE_TOOLS", "ffmpeg is not available");
    for (const char* name : {"testsrc_flashsv", "testsrc_flv1"}) {
        SCOPED_TRACE(name);
        auto movie =
            loadCorpus(QStringLiteral("ffmpeg-generated/%1.swf").arg(name).toUtf8().constData());
        ASSERT_TRUE(movie);
        swf::Player player(movie);
        swf::render::Renderer renderer;
        ASSERT_EQ(player.frameCount(), 20u);
        const bool lossless = QLatin1String(name) == QLatin1String("testsrc_flashsv");
        for (int frame = 1; frame <= 20; ++frame) {
            SCOPED_TRACE(frame);
            const QImage ours = render(player, renderer, QSize(320, 240));
            const QImage expected = ref.frame(frame);
            if (lossless) {
                EXPECT_EQ(ours, expected);
            } else {
                const double same = meanDifference(ours, expected);
                EXPECT_LT(same, 2.5);
                for (int other : {frame - 1, frame + 1}) {
                    if (other < 1 || other > 20)
                        continue;
                    const QImage o = ref.frame(other);
                    const double here = meanDifference(ours, expected, &expected, &o);
                    const double there = meanDifference(ours, o, &expected, &o);
                    EXPECT_GT(there, 2 * here) << "against frame " << other;
                }
                QImage shifted(ours.size(), QImage::Format_RGB32);
                shifted.fill(Qt::white);
                QPainter(&shifted).drawImage(2, 0, ours);
                EXPECT_GT(meanDifference(shifted, expected), 3 * same);
                EXPECT_GT(meanDifference(ours.rgbSwapped().convertToFormat(QImage::Format_RGB32),
                                         expected),
                          3 * same);
            }
            player.advance();
        }
    }
}

// Seeks in any order give the picture of the frame sought, decoding no further back than the
// key frame before it, and forward steps decode one packet each.
TEST(VideoPictures, SeeksDecodeFromTheKeyFrameBefore) {
    REELWICK_NEED_CORPUS();
    for (const char* name :
         {"ffmpeg-generated/testsrc_flv1.swf", "ffmpeg-generated/testsrc_flashsv.swf"}) {
        SCOPED_TRACE(name);
        auto movie = loadCorpus(name);
        ASSERT_TRUE(movie);
        const swf::VideoStream* stream = firstStream(*movie);
        ASSERT_TRUE(stream);
        ASSERT_EQ(stream->packets.size(), 20u);
        std::vector<QImage> inOrder;
        std::vector<std::size_t> keys;
        {
            swf::VideoPlayback p(*stream);
            for (std::uint16_t i = 0; i < 20; ++i) {
                inOrder.push_back(p.picture(i));
                ASSERT_FALSE(inOrder.back().isNull());
                if (swf::isVideoKeyFrame(stream->codec,
                                         swf::videoPayload(*stream, stream->packets[i].data)))
                    keys.push_back(i);
            }
            EXPECT_EQ(p.packetsDecoded(), 20u);
        }
        ASSERT_FALSE(keys.empty());
        EXPECT_EQ(keys.front(), 0u);
        // A key frame decodes alone into the picture the whole sequence gave.
        for (std::size_t k : keys) {
            swf::VideoDecoder d(stream->codec);
            EXPECT_EQ(d.decode(swf::videoPayload(*stream, stream->packets[k].data), true),
                      inOrder[k])
                << "key frame " << k;
        }
        swf::VideoPlayback p(*stream);
        for (std::uint16_t target : {17, 3, 19, 0, 12, 11}) {
            const std::size_t before = p.packetsDecoded();
            EXPECT_EQ(p.picture(target), inOrder[target]) << "frame " << target;
            const std::size_t key = *std::prev(std::upper_bound(keys.begin(), keys.end(), target));
            EXPECT_LE(p.packetsDecoded() - before, target - key + 1) << "frame " << target;
        }
        const std::size_t before = p.packetsDecoded(); // the last picture was frame 11
        EXPECT_EQ(p.picture(12), inOrder[12]);
        EXPECT_EQ(p.picture(13), inOrder[13]);
        EXPECT_EQ(p.picture(13), inOrder[13]);
        EXPECT_EQ(p.packetsDecoded() - before, 2u);
    }
}

namespace {

struct FlvPacket {
    bool key = false; // the FLV frame type
    Bytes data;       // without the FLV byte of frame type and codec
};

std::vector<FlvPacket> flvVideoPackets(const QByteArray& flv) {
    std::vector<FlvPacket> out;
    auto u24 = [&](qsizetype i) {
        return std::size_t(std::uint8_t(flv[i])) << 16 |
               std::size_t(std::uint8_t(flv[i + 1])) << 8 | std::uint8_t(flv[i + 2]);
    };
    qsizetype pos = 13; // header and the first previous-tag size
    while (pos + 11 <= flv.size()) {
        const std::size_t size = u24(pos + 1);
        if (pos + 11 + qsizetype(size) > flv.size())
            break;
        if (flv[pos] == 9 && size > 1) {
            out.push_back(
                {(std::uint8_t(flv[pos + 11]) >> 4) == 1,
                 Bytes(flv.begin() + pos + 12, flv.begin() + pos + 11 + qsizetype(size))});
        }
        pos += 11 + qsizetype(size) + 4;
    }
    return out;
}

} // namespace

// Screen Video 2, which FFmpeg's swf muxer does not write: FFmpeg encodes the pattern into FLV,
// its packets go into a movie, and every frame, sought in any order, must equal FFmpeg's own
// decoding of that FLV. Key frames are recognised from the packets alone.
TEST(VideoPictures, ScreenVideo2MatchesFfmpegsDecoding) {
    QTemporaryDir dir;
    const QString flv = dir.filePath(QStringLiteral("v2.flv"));
    Pattern encoded(QStringLiteral("64x48"), {QStringLiteral("-c:v"), QStringLiteral("flashsv2"),
                                              QStringLiteral("-g"), QStringLiteral("6"), flv});
    REELWICK_NEED(encoded.ok, "REELWICK_REQUIRE_TOOLS", "ffmpeg cannot make Screen Video 2 here");
    QProcess p;
    p.start(QStandardPaths::findExecutable(QStringLiteral("ffmpeg")),
            {QStringLiteral("-loglevel"), QStringLiteral("error"), QStringLiteral("-i"), flv,
             QStringLiteral("-f"), QStringLiteral("image2"),
             dir.filePath(QStringLiteral("dec_%03d.png"))});
    ASSERT_TRUE(p.waitForFinished(60000) && p.exitCode() == 0);
    QFile f(flv);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const auto packets = flvVideoPackets(f.readAll());
    ASSERT_EQ(packets.size(), 20u);
    Bytes tags = defineVideo(1, 20, 64, 48, swf::VideoScreen2);
    for (std::uint16_t i = 0; i < 20; ++i) {
        EXPECT_EQ(swf::isVideoKeyFrame(swf::VideoScreen2, packets[i].data), packets[i].key) << i;
        tags = concat(
            {tags, placeVideo(1, 1, i, i > 0), videoFrame(1, i, packets[i].data), showFrame()});
    }
    auto movie = load(swftest::movie(concat({tags, end()}), 20));
    ASSERT_TRUE(movie);
    swf::Player player(movie);
    swf::render::Renderer renderer;
    // The stage is 550 x 400 px; the video sits at (10, 20) twice its size.
    for (int frame : {1, 2, 9, 20, 4, 8}) {
        SCOPED_TRACE(frame);
        player.gotoFrame(frame - 1);
        const QImage stage = render(player, renderer, QSize(550, 400));
        const QImage expected =
            QImage(dir.filePath(QStringLiteral("dec_%1.png").arg(frame, 3, 10, QChar('0'))))
                .convertToFormat(QImage::Format_RGB32)
                .scaled(128, 96);
        ASSERT_FALSE(expected.isNull());
        EXPECT_EQ(stage.copy(10, 20, 128, 96), expected);
        EXPECT_EQ(stage.pixel(9, 19), qRgb(255, 255, 255));
        EXPECT_EQ(stage.pixel(138, 116), qRgb(255, 255, 255));
    }
}

// Damaged packets of every codec: no crash, and either nothing or the last good picture.
TEST(VideoPictures, DamagedPacketsKeepTheLastGoodPictureOrNothing) {
    REELWICK_NEED_CORPUS();
    auto movie = loadCorpus("ffmpeg-generated/testsrc_flv1.swf");
    ASSERT_TRUE(movie);
    const swf::VideoStream* real = firstStream(*movie);
    ASSERT_TRUE(real);
    std::mt19937 rng(7);
    for (std::uint8_t codec : std::initializer_list<std::uint8_t>{
             swf::VideoH263, swf::VideoScreen, swf::VideoVp6, swf::VideoVp6Alpha, swf::VideoScreen2,
             std::uint8_t(9)}) {
        SCOPED_TRACE(int(codec));
        std::vector<Bytes> store;
        for (std::size_t i = 0; i < 8; ++i) {
            Bytes b(real->packets[i].data.begin(), real->packets[i].data.end());
            switch (i % 4) {
            case 1: // truncated
                b.resize(b.size() / 3);
                break;
            case 2: // bits flipped
                for (int k = 0; k < 40; ++k)
                    b[rng() % b.size()] ^= std::uint8_t(1u << (rng() % 8));
                break;
            case 3: // noise
                for (auto& x : b)
                    x = std::uint8_t(rng());
                break;
            default:
                break;
            }
            store.push_back(std::move(b));
        }
        swf::VideoStream s;
        s.codec = codec;
        for (std::size_t i = 0; i < store.size(); ++i)
            s.packets.push_back({std::uint16_t(i), store[i]});
        swf::VideoPlayback p(s);
        // Played in order, a picture once shown is never lost: a packet that does not decode
        // leaves the last good one. Frame 3 is noise, which H.263 refuses outright.
        QImage last;
        for (std::uint16_t n = 0; n < 8; ++n) {
            const QImage img = p.picture(n);
            if (!last.isNull()) {
                EXPECT_FALSE(img.isNull()) << "frame " << n << " lost the last good picture";
            }
            if (codec == swf::VideoH263 && n == 3) {
                EXPECT_EQ(img, last) << "the noise packet replaced the last good picture";
            }
            if (!img.isNull()) {
                EXPECT_LE(img.width(), swf::VideoDecoder::kMaxSide);
                last = img;
            }
        }
        // Seeks back and forth over the damage: no crash, and the size limit holds.
        for (std::uint16_t n : {2, 0, 7}) {
            const QImage& img = p.picture(n);
            EXPECT_LE(img.width(), swf::VideoDecoder::kMaxSide);
        }
        if (codec == swf::VideoH263) {
            EXPECT_FALSE(p.picture(0).isNull()); // the undamaged key frame
        }
    }
}

// Picture sizes beyond what the decoders accept are refused, not allocated.
TEST(VideoPictures, HugeDeclaredPictureIsRefused) {
    // Sorenson H.263 header: start code, version 0, temporal reference, size code 1 (16-bit
    // width and height) of 65535 x 65535, intra.
    Writer w;
    w.ub(1, 17).ub(0, 5).ub(0, 8).ub(1, 3).ub(65535, 16).ub(65535, 16).ub(0, 2).ub(0, 7);
    Bytes packet = w.data();
    packet.resize(packet.size() + 64, 0);
    EXPECT_TRUE(swf::isVideoKeyFrame(swf::VideoH263, packet));
    swf::VideoDecoder d(swf::VideoH263);
    ASSERT_TRUE(d.valid());
    EXPECT_TRUE(d.decode(packet, true).isNull());
}

// The placement's matrix, colour transform and the stream's smoothing flag reach the canvas.
TEST(VideoPictures, DrawnIntoTheStreamBoxWithMatrixColourAndSmoothing) {
    REELWICK_NEED_CORPUS();
    auto real = loadCorpus("ffmpeg-generated/testsrc_flashsv.swf");
    ASSERT_TRUE(real);
    const swf::VideoStream* src = firstStream(*real);
    ASSERT_TRUE(src);
    Bytes packet(src->packets[0].data.begin(), src->packets[0].data.end());
    // Declared as 160 x 120: the 320 x 240 picture is drawn at half size.
    Writer place;
    place.u8(0x0E | 0x10 | 0x08).u16(1).u16(1).matrix(1, 1, 0, 0, 100, 60);
    place.cxform(true, {256, 256, 256, 128}, {}).u16(0);
    const Bytes tags = concat({defineVideo(1, 1, 160, 120, swf::VideoScreen, true), tag(26, place),
                               videoFrame(1, 0, packet), showFrame(), end()});
    auto movie = load(swftest::movie(tags));
    ASSERT_TRUE(movie);
    swf::Player player(movie);
    swf::render::Renderer renderer;
    swf::render::RecordingCanvas rec;
    renderer.render(player, rec, QTransform());
    const auto images = rec.calls(swf::render::RecordingCanvas::Op::Image);
    ASSERT_EQ(images.size(), 1u);
    const auto& call = images.front();
    EXPECT_EQ(call.image.size(), QSize(320, 240));
    EXPECT_TRUE(call.smooth);
    const QRectF box = call.matrix.mapRect(QRectF(0, 0, 320, 240));
    EXPECT_EQ(box, QRectF(100, 60, 160 * 20, 120 * 20));
    EXPECT_NEAR(qAlpha(call.image.pixel(5, 5)), 128, 1);
}

// Movies with video from other tools: decoded pictures appear, and export shows them.
TEST(VideoPictures, CorpusMoviesWithVideoShowPictures) {
    REELWICK_NEED_CORPUS();
    for (const char* name :
         {"jpexs-testdata/video/video.swf", "jpexs-testdata/graphics/graphics.swf",
          "ffmpeg-generated/testsrc_flv1_mp3.swf"}) {
        SCOPED_TRACE(name);
        auto movie = loadCorpus(name);
        ASSERT_TRUE(movie);
        swf::Player player(movie);
        swf::render::Renderer renderer;
        const swf::Rect& stage = movie->header().frameSize;
        const QSize size(stage.width() / 20, stage.height() / 20);
        bool sawVideo = false;
        for (int i = 0; i < 80 && !sawVideo; ++i) {
            swf::render::RecordingCanvas rec;
            renderer.render(player, rec,
                            swf::render::stageTransform(stage, QRectF(QPointF(), size), 0));
            for (const auto& call : rec.calls(swf::render::RecordingCanvas::Op::Image)) {
                if (call.image.width() > 16) {
                    const QImage small =
                        call.image.scaled(8, 8).convertToFormat(QImage::Format_RGB32);
                    // Not one flat colour: a picture, not an empty decoder buffer.
                    for (int p = 1; p < 64 && !sawVideo; ++p)
                        sawVideo = small.pixel(p % 8, p / 8) != small.pixel(0, 0);
                }
            }
            player.advance();
        }
        EXPECT_TRUE(sawVideo);
    }
}

// Decoders live as long as their objects are drawn, and no more of them than the limit.
TEST(VideoPictures, DecodersFollowTheObjectsDrawn) {
    REELWICK_NEED_CORPUS();
    auto movie = loadCorpus("ffmpeg-generated/testsrc_flashsv.swf");
    ASSERT_TRUE(movie);
    const swf::VideoStream* stream = firstStream(*movie);
    ASSERT_TRUE(stream);
    swf::render::VideoPictures pictures;
    std::vector<std::unique_ptr<swf::DisplayObject>> objects(20);
    for (auto& o : objects)
        o = std::make_unique<swf::DisplayObject>();
    objects[0]->ratio = 3;
    const QImage* a = pictures.picture(*objects[0], *stream);
    ASSERT_TRUE(a);
    EXPECT_EQ(a->size(), QSize(320, 240));
    EXPECT_EQ(pictures.picture(*objects[1], *stream)->size(), QSize(320, 240));
    pictures.sweep();
    EXPECT_EQ(pictures.instanceCount(), 2u);
    pictures.picture(*objects[1], *stream);
    pictures.sweep(); // object 0 was not drawn this time
    EXPECT_EQ(pictures.instanceCount(), 1u);
    for (auto& o : objects)
        EXPECT_TRUE(pictures.picture(*o, *stream));
    EXPECT_LE(pictures.instanceCount(), swf::render::VideoPictures::kMaxInstances);
}
