// Decoding of bitmap characters, on first use.

#include "swf/characters.h"

#include <QBuffer>
#include <QByteArray>
#include <QImageReader>
#include <algorithm>
#include <zlib.h>

namespace swf {
namespace {

using Bytes = std::span<const std::uint8_t>;

// Inflates at most maxOut bytes; a damaged or short stream gives what came before the damage.
std::vector<std::uint8_t> inflateBounded(Bytes in, std::size_t maxOut) {
    std::vector<std::uint8_t> out;
    if (in.empty() || maxOut == 0)
        return out;
    z_stream zs{};
    if (inflateInit(&zs) != Z_OK)
        return out;
    out.resize(maxOut);
    zs.next_in = const_cast<Bytef*>(in.data());
    zs.avail_in = static_cast<uInt>(std::min<std::size_t>(in.size(), UINT32_MAX));
    zs.next_out = out.data();
    zs.avail_out = static_cast<uInt>(std::min<std::size_t>(maxOut, UINT32_MAX));
    while (zs.avail_out > 0) {
        const int rc = inflate(&zs, Z_NO_FLUSH);
        if (rc != Z_OK)
            break;
        if (zs.avail_in == 0)
            break;
    }
    out.resize(maxOut - zs.avail_out);
    inflateEnd(&zs);
    return out;
}

bool startsWith(Bytes b, std::initializer_list<std::uint8_t> prefix) {
    return b.size() >= prefix.size() && std::equal(prefix.begin(), prefix.end(), b.begin());
}

// Older writers stored tables and image as two SOI..EOI streams, sometimes behind a bogus
// EOI+SOI; a standard decoder wants one stream, so every EOI+SOI pair is dropped.
QByteArray cleanJpeg(Bytes tables, Bytes data) {
    QByteArray joined;
    joined.reserve(qsizetype(tables.size() + data.size()));
    joined.append(reinterpret_cast<const char*>(tables.data()), qsizetype(tables.size()));
    joined.append(reinterpret_cast<const char*>(data.data()), qsizetype(data.size()));
    QByteArray out;
    out.reserve(joined.size());
    const char* p = joined.constData();
    const qsizetype n = joined.size();
    qsizetype i = 0;
    if (n >= 4 && quint8(p[0]) == 0xFF && quint8(p[1]) == 0xD9 && quint8(p[2]) == 0xFF &&
        quint8(p[3]) == 0xD8)
        i = 4; // the bogus header
    for (; i < n; ++i) {
        if (i + 3 < n && quint8(p[i]) == 0xFF && quint8(p[i + 1]) == 0xD9 &&
            quint8(p[i + 2]) == 0xFF && quint8(p[i + 3]) == 0xD8 && !out.isEmpty()) {
            i += 3;
            continue;
        }
        out.append(p[i]);
    }
    return out;
}

QImage decodeCompressedImage(const QByteArray& bytes, std::size_t maxPixels) {
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    const QSize size = reader.size();
    if (!size.isValid() || size.isEmpty() ||
        std::size_t(size.width()) * std::size_t(size.height()) > maxPixels)
        return {};
    QImage image;
    if (!reader.read(&image))
        return {};
    return image;
}

std::size_t stride(std::size_t rowBytes) {
    return (rowBytes + 3) & ~std::size_t(3);
}

std::uint32_t premultiply(std::uint8_t r, std::uint8_t g, std::uint8_t b, std::uint8_t a) {
    auto pm = [a](std::uint8_t c) { return std::uint32_t((c * a + 127) / 255); };
    return (std::uint32_t(a) << 24) | (pm(r) << 16) | (pm(g) << 8) | pm(b);
}

} // namespace

const QImage& Bitmap::image() const {
    std::call_once(m_once, [this] {
        if (encoding != Encoding::Jpeg) {
            const std::size_t w = width, h = height;
            if (w == 0 || h == 0 || w * h > maxPixels)
                return;
            const bool alpha = encoding == Encoding::Lossless2;
            QImage img(int(w), int(h),
                       alpha ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32);
            if (img.isNull())
                return;
            img.fill(0);
            std::size_t need = 0;
            std::size_t paletteBytes = 0;
            switch (losslessFormat) {
            case 3:
                paletteBytes = std::size_t(colorTableSize) * (alpha ? 4 : 3);
                need = paletteBytes + stride(w) * h;
                break;
            case 4:
                need = stride(w * 2) * h;
                break;
            case 5:
                need = w * h * 4;
                break;
            default:
                return;
            }
            // Missing pixel data stays transparent (zero).
            std::vector<std::uint8_t> px = inflateBounded(imageData, need);
            px.resize(need, 0);
            for (std::size_t y = 0; y < h; ++y) {
                auto* line = reinterpret_cast<std::uint32_t*>(img.scanLine(int(y)));
                for (std::size_t x = 0; x < w; ++x) {
                    std::uint32_t argb = 0;
                    if (losslessFormat == 3) {
                        const std::size_t index = px[paletteBytes + y * stride(w) + x];
                        if (index < colorTableSize) {
                            const std::uint8_t* e = &px[index * (alpha ? 4 : 3)];
                            argb = alpha ? premultiply(e[0], e[1], e[2], e[3])
                                         : premultiply(e[0], e[1], e[2], 255);
                        }
                    } else if (losslessFormat == 4) {
                        const std::uint8_t* p = &px[y * stride(w * 2) + x * 2];
                        const unsigned v = (unsigned(p[0]) << 8) | p[1];
                        auto expand = [](unsigned c) { return std::uint8_t((c << 3) | (c >> 2)); };
                        argb = premultiply(expand((v >> 10) & 31), expand((v >> 5) & 31),
                                           expand(v & 31), 255);
                    } else {
                        const std::uint8_t* p = &px[(y * w + x) * 4];
                        if (alpha) {
                            // Stored premultiplied; colour above alpha would be invalid.
                            const std::uint8_t a = p[0];
                            argb = (std::uint32_t(a) << 24) |
                                   (std::uint32_t(std::min(p[1], a)) << 16) |
                                   (std::uint32_t(std::min(p[2], a)) << 8) | std::min(p[3], a);
                        } else {
                            argb = 0xFF000000u | (std::uint32_t(p[1]) << 16) |
                                   (std::uint32_t(p[2]) << 8) | p[3];
                        }
                    }
                    line[x] = argb;
                }
            }
            m_image = std::move(img);
            return;
        }

        const bool png = startsWith(imageData, {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A});
        const bool gif = startsWith(imageData, {'G', 'I', 'F', '8'});
        QByteArray bytes = png || gif ? QByteArray(reinterpret_cast<const char*>(imageData.data()),
                                                   qsizetype(imageData.size()))
                                      : cleanJpeg(jpegTables, imageData);
        QImage img = decodeCompressedImage(bytes, maxPixels);
        if (img.isNull() && !jpegTables.empty())
            img = decodeCompressedImage(cleanJpeg({}, imageData), maxPixels);
        if (img.isNull())
            return;
        if (png || gif || alphaData.empty()) {
            m_image = img.convertToFormat(
                img.hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32);
            return;
        }
        img = img.convertToFormat(QImage::Format_ARGB32);
        const std::size_t w = std::size_t(img.width()), h = std::size_t(img.height());
        const std::vector<std::uint8_t> alpha = inflateBounded(alphaData, w * h);
        for (std::size_t y = 0; y < h; ++y) {
            auto* line = reinterpret_cast<std::uint32_t*>(img.scanLine(int(y)));
            for (std::size_t x = 0; x < w; ++x) {
                const std::size_t i = y * w + x;
                const std::uint8_t a = i < alpha.size() ? alpha[i] : 255; // short data: opaque
                line[x] = (line[x] & 0x00FFFFFFu) | (std::uint32_t(a) << 24);
            }
        }
        m_image = img.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    });
    return m_image;
}

} // namespace swf
