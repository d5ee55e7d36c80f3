#include "swf/video.h"

#include "swf/ffmpeg.h"

#include <algorithm>
#include <cstring>

namespace swf {

namespace {

// Most significant bit first, as the H.263 picture header is written; reads past the end give
// zeros and set `failed`.
struct Bits {
    std::span<const std::uint8_t> data;
    std::size_t pos = 0;
    bool failed = false;
    std::uint32_t read(unsigned n) {
        std::uint32_t v = 0;
        for (unsigned i = 0; i < n; ++i, ++pos) {
            if (pos / 8 >= data.size()) {
                failed = true;
                return 0;
            }
            v = v << 1 | ((data[pos / 8] >> (7 - pos % 8)) & 1u);
        }
        return v;
    }
};

bool h263KeyFrame(std::span<const std::uint8_t> p) {
    Bits b{p};
    if (b.read(17) != 1)
        return false;
    b.read(5); // version
    b.read(8); // temporal reference
    switch (b.read(3)) {
    case 0:
        b.read(16); // 8-bit width and height
        break;
    case 1:
        b.read(32); // 16-bit width and height
        break;
    default:
        break;
    }
    return b.read(2) == 0 && !b.failed; // 0 intra, 1 inter, 2 disposable inter
}

// Screen Video (1 and 2): a grid of blocks, each with a big-endian size; size 0 keeps the
// block of the previous picture. Version 2 adds a flags byte after the picture size and one at
// the start of each block, whose bits say whether the block builds on earlier pictures (diff
// rows, or a dictionary primed with the previous key frame). Returns the bytes the header and
// blocks take (0 when they do not fit) and whether the picture stands alone.
std::size_t walkScreenBlocks(std::span<const std::uint8_t> p, int version, bool* standsAlone) {
    const std::size_t header = version == 2 ? 5 : 4;
    if (p.size() < header)
        return 0;
    const int blockW = ((p[0] >> 4) + 1) * 16, width = (p[0] & 0x0F) << 8 | p[1];
    const int blockH = ((p[2] >> 4) + 1) * 16, height = (p[2] & 0x0F) << 8 | p[3];
    if (width == 0 || height == 0)
        return 0;
    bool alone = version == 1 || (p[4] & 0x03) == 0; // no image or palette from elsewhere
    const std::size_t blocks =
        std::size_t((width + blockW - 1) / blockW) * std::size_t((height + blockH - 1) / blockH);
    std::size_t pos = header;
    for (std::size_t i = 0; i < blocks; ++i) {
        if (pos + 2 > p.size())
            return 0;
        const std::size_t size = std::size_t(p[pos]) << 8 | p[pos + 1];
        alone = alone && size > 0;
        if (version == 2 && size > 0 && pos + 2 < p.size())
            alone = alone && (p[pos + 2] & 0x05) == 0;
        pos += 2 + size;
    }
    if (standsAlone)
        *standsAlone = alone;
    return pos <= p.size() ? pos : 0;
}

bool screenKeyFrame(std::span<const std::uint8_t> p, int version) {
    bool alone = false;
    return walkScreenBlocks(p, version, &alone) > 0 && alone;
}

AVCodecID codecId(std::uint8_t codec) {
    switch (codec) {
    case VideoH263:
        return AV_CODEC_ID_FLV1;
    case VideoScreen:
        return AV_CODEC_ID_FLASHSV;
    case VideoVp6:
        return AV_CODEC_ID_VP6F;
    case VideoVp6Alpha:
        return AV_CODEC_ID_VP6A;
    case VideoScreen2:
        return AV_CODEC_ID_FLASHSV2;
    default:
        return AV_CODEC_ID_NONE;
    }
}

std::uint8_t clamp8(int v) {
    return std::uint8_t(std::clamp(v, 0, 255));
}

// 8-bit planar YUV (any chroma subsampling, alpha plane optional) in BT.601, the colours these
// codecs were made with.
QImage fromYuv(const AVFrame* f, const AVPixFmtDescriptor* desc) {
    const bool alpha = desc->flags & AV_PIX_FMT_FLAG_ALPHA;
    const bool full = f->color_range == AVCOL_RANGE_JPEG || f->format == AV_PIX_FMT_YUVJ420P ||
                      f->format == AV_PIX_FMT_YUVJ422P || f->format == AV_PIX_FMT_YUVJ444P;
    QImage img(f->width, f->height,
               alpha ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32);
    if (img.isNull())
        return {};
    const int cw = desc->log2_chroma_w, ch = desc->log2_chroma_h;
    for (int y = 0; y < f->height; ++y) {
        const std::uint8_t* py = f->data[0] + std::ptrdiff_t(y) * f->linesize[0];
        const std::uint8_t* pu = f->data[1] + std::ptrdiff_t(y >> ch) * f->linesize[1];
        const std::uint8_t* pv = f->data[2] + std::ptrdiff_t(y >> ch) * f->linesize[2];
        const std::uint8_t* pa = alpha ? f->data[3] + std::ptrdiff_t(y) * f->linesize[3] : nullptr;
        auto* out = reinterpret_cast<QRgb*>(img.scanLine(y));
        for (int x = 0; x < f->width; ++x) {
            const int u = pu[x >> cw] - 128, v = pv[x >> cw] - 128;
            int r, g, b;
            if (full) {
                const int yy = py[x] << 16;
                r = (yy + 91881 * v + 32768) >> 16;
                g = (yy - 22554 * u - 46802 * v + 32768) >> 16;
                b = (yy + 116130 * u + 32768) >> 16;
            } else {
                const int yy = (py[x] - 16) * 76309;
                r = (yy + 104597 * v + 32768) >> 16;
                g = (yy - 25675 * u - 53279 * v + 32768) >> 16;
                b = (yy + 132201 * u + 32768) >> 16;
            }
            if (pa) {
                const int a = pa[x];
                out[x] = qRgba((clamp8(r) * a + 127) / 255, (clamp8(g) * a + 127) / 255,
                               (clamp8(b) * a + 127) / 255, a);
            } else {
                out[x] = qRgb(clamp8(r), clamp8(g), clamp8(b));
            }
        }
    }
    return img;
}

QImage toImage(const ffmpeg::Api& av, const AVFrame* f) {
    if (f->width <= 0 || f->height <= 0 || f->width > VideoDecoder::kMaxSide ||
        f->height > VideoDecoder::kMaxSide ||
        std::int64_t(f->width) * f->height > VideoDecoder::kMaxPixels)
        return {};
    const auto fmt = AVPixelFormat(f->format);
    if (fmt == AV_PIX_FMT_BGR24 || fmt == AV_PIX_FMT_RGB24) {
        if (f->linesize[0] < f->width * 3)
            return {};
        const bool bgr = fmt == AV_PIX_FMT_BGR24;
        QImage img(f->width, f->height, QImage::Format_RGB32);
        if (img.isNull())
            return {};
        for (int y = 0; y < f->height; ++y) {
            const std::uint8_t* p = f->data[0] + std::ptrdiff_t(y) * f->linesize[0];
            auto* out = reinterpret_cast<QRgb*>(img.scanLine(y));
            for (int x = 0; x < f->width; ++x, p += 3)
                out[x] = bgr ? qRgb(p[2], p[1], p[0]) : qRgb(p[0], p[1], p[2]);
        }
        return img;
    }
    const AVPixFmtDescriptor* desc = av.av_pix_fmt_desc_get(fmt);
    if (!desc || (desc->flags & (AV_PIX_FMT_FLAG_RGB | AV_PIX_FMT_FLAG_PAL)) ||
        !(desc->flags & AV_PIX_FMT_FLAG_PLANAR) || desc->nb_components < 3 ||
        desc->comp[0].depth != 8 || desc->log2_chroma_w > 1 || desc->log2_chroma_h > 1)
        return {};
    for (int i = 0; i < desc->nb_components; ++i) {
        if (!f->data[i] || f->linesize[i] <= 0)
            return {};
    }
    return fromYuv(f, desc);
}

int screenWidth(std::span<const std::uint8_t> p) {
    return p.size() >= 4 ? (p[0] & 0x0F) << 8 | p[1] : -1;
}
int screenHeight(std::span<const std::uint8_t> p) {
    return p.size() >= 4 ? (p[2] & 0x0F) << 8 | p[3] : -1;
}

} // namespace

std::span<const std::uint8_t> videoPayload(const VideoStream& stream,
                                           std::span<const std::uint8_t> packet) {
    if ((stream.codec != VideoScreen && stream.codec != VideoScreen2) || packet.size() < 5)
        return packet;
    // Some writers (FFmpeg's among them) keep FLV's frame-type-and-codec byte in front of
    // Screen Video packets. The blocks of a packet read from the right place end with it.
    const int type = packet[0] >> 4;
    if ((packet[0] & 0x0F) != stream.codec || (type != 1 && type != 2))
        return packet;
    const auto rest = packet.subspan(1);
    const int version = stream.codec == VideoScreen ? 1 : 2;
    if (walkScreenBlocks(packet, version, nullptr) == packet.size())
        return packet;
    if (walkScreenBlocks(rest, version, nullptr) == rest.size())
        return rest;
    // Otherwise the picture size right after it tells.
    const bool fitsAfter = screenWidth(rest) == stream.width && screenHeight(rest) == stream.height;
    const bool fitsHere =
        screenWidth(packet) == stream.width && screenHeight(packet) == stream.height;
    return fitsAfter && !fitsHere ? rest : packet;
}

bool isVideoKeyFrame(std::uint8_t codec, std::span<const std::uint8_t> packet) {
    switch (codec) {
    case VideoH263:
        return h263KeyFrame(packet);
    case VideoScreen:
        return screenKeyFrame(packet, 1);
    case VideoScreen2:
        return screenKeyFrame(packet, 2);
    case VideoVp6:
        // The first header bit is the frame mode: 0 for an intra frame.
        return !packet.empty() && !(packet[0] & 0x80);
    case VideoVp6Alpha:
        // A 24-bit offset to the alpha data, then the colour frame's header.
        return packet.size() > 3 && !(packet[3] & 0x80);
    default:
        return false;
    }
}

struct VideoDecoder::Impl {
    const ffmpeg::Api* av = nullptr; // null: FFmpeg could not be loaded, nothing else is set
    AVCodecContext* ctx = nullptr;
    AVPacket* packet = nullptr;
    AVFrame* frame = nullptr;
    std::vector<std::uint8_t> buffer; // the packet with the zero padding FFmpeg reads into

    ~Impl() {
        if (!av)
            return;
        av->avcodec_free_context(&ctx);
        av->av_packet_free(&packet);
        av->av_frame_free(&frame);
    }
};

VideoDecoder::VideoDecoder(std::uint8_t codec) : d(new Impl) {
    d->av = ffmpeg::decoding();
    if (!d->av)
        return;
    const ffmpeg::Api& av = *d->av;
    // Damaged data is expected; the decoders' complaints would only flood the terminal.
    static const bool quiet = (av.av_log_set_level(AV_LOG_QUIET), true);
    (void)quiet;
    const AVCodec* c = av.avcodec_find_decoder(codecId(codec));
    if (!c)
        return;
    d->ctx = av.avcodec_alloc_context3(c);
    d->packet = av.av_packet_alloc();
    d->frame = av.av_frame_alloc();
    if (!d->ctx || !d->packet || !d->frame) {
        av.avcodec_free_context(&d->ctx);
        return;
    }
    d->ctx->max_pixels = kMaxPixels;
    d->ctx->thread_count = 1; // a picture out for every packet in, no frame delay
    if (av.avcodec_open2(d->ctx, c, nullptr) < 0)
        av.avcodec_free_context(&d->ctx);
}

VideoDecoder::~VideoDecoder() = default;

bool VideoDecoder::valid() const {
    return d->ctx != nullptr;
}

void VideoDecoder::reset() {
    if (d->ctx)
        d->av->avcodec_flush_buffers(d->ctx);
}

QImage VideoDecoder::decode(std::span<const std::uint8_t> data, bool key, bool wantPicture) {
    if (!d->ctx || data.empty() || data.size() > (std::size_t(1) << 28))
        return {};
    d->buffer.assign(data.begin(), data.end());
    d->buffer.resize(data.size() + AV_INPUT_BUFFER_PADDING_SIZE, 0);
    d->packet->data = d->buffer.data();
    d->packet->size = int(data.size());
    // Screen Video 2 keeps key frames' blocks for later frames to build on.
    d->packet->flags = key ? AV_PKT_FLAG_KEY : 0;
    if (d->av->avcodec_send_packet(d->ctx, d->packet) < 0)
        return {};
    QImage out;
    while (d->av->avcodec_receive_frame(d->ctx, d->frame) == 0) {
        if (wantPicture) {
            out = toImage(*d->av, d->frame);
        } else if (d->frame->width > 0 && d->frame->height > 0) {
            out = QImage(1, 1, QImage::Format_RGB32);
        }
        d->av->av_frame_unref(d->frame);
    }
    return out;
}

VideoPlayback::VideoPlayback(const VideoStream& stream)
    : m_stream(stream), m_decoder(std::make_unique<VideoDecoder>(stream.codec)),
      m_keys(stream.packets.size(), -1) {}

VideoPlayback::~VideoPlayback() = default;

bool VideoPlayback::isKey(std::size_t index) {
    if (m_keys[index] < 0)
        m_keys[index] =
            isVideoKeyFrame(m_stream.codec, videoPayload(m_stream, m_stream.packets[index].data))
                ? 1
                : 0;
    return m_keys[index] == 1;
}

const QImage& VideoPlayback::picture(std::uint16_t frameNumber) {
    static const QImage kNone;
    const std::ptrdiff_t target = m_stream.indexAtOrBefore(frameNumber);
    if (target < 0 || !m_decoder->valid())
        return kNone;
    if (target == m_shownIndex)
        return m_picture;
    // Start at the key frame at or before the target, or go on from where the decoder is when
    // that is no further back.
    std::ptrdiff_t start = target;
    while (start > 0 && !isKey(std::size_t(start)))
        --start;
    if (m_fed >= start && m_fed < target) {
        start = m_fed + 1;
    } else {
        m_decoder->reset();
        m_picture = QImage();
    }
    for (std::ptrdiff_t i = start; i <= target; ++i) {
        const bool last = i == target;
        QImage img =
            m_decoder->decode(videoPayload(m_stream, m_stream.packets[std::size_t(i)].data),
                              isKey(std::size_t(i)), last);
        ++m_packetsDecoded;
        m_fed = i;
        if (last && !img.isNull())
            m_picture = std::move(img);
    }
    m_shownIndex = target;
    return m_picture;
}

} // namespace swf
