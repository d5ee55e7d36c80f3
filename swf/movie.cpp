#include "swf/movie.h"

#include "swf/bytes.h"

#include <QFile>
#include <algorithm>
#include <cstring>
#include <lzma.h>
#include <zlib.h>

namespace swf {
namespace {

constexpr std::size_t kPrefixSize = 8;
constexpr std::size_t kZwsPrefixSize = 17; // prefix, compressed length, 5 LZMA property bytes
constexpr double kMaxFrameRate = 120.0;
constexpr double kFallbackFrameRate = 12.0;

// What a decompressor produced, and whether the stream ended early or was cut off.
struct Inflated {
    std::vector<std::uint8_t> bytes;
    bool truncated = false;
};

Result<Inflated> inflateZlib(std::span<const std::uint8_t> in, std::size_t want) {
    z_stream zs{};
    if (inflateInit(&zs) != Z_OK)
        return Error{"Invalid movie: zlib could not start"};
    Inflated out;
    out.bytes.resize(std::min<std::size_t>(want, 1 << 16));
    zs.next_in = const_cast<Bytef*>(in.data());
    zs.avail_in = static_cast<uInt>(std::min<std::size_t>(in.size(), UINT32_MAX));
    std::size_t produced = 0;
    int rc = Z_OK;
    while (produced < want) {
        if (produced == out.bytes.size())
            out.bytes.resize(std::min(want, out.bytes.size() * 2));
        zs.next_out = out.bytes.data() + produced;
        zs.avail_out = static_cast<uInt>(out.bytes.size() - produced);
        rc = inflate(&zs, Z_NO_FLUSH);
        produced = out.bytes.size() - zs.avail_out;
        if (rc == Z_STREAM_END)
            break;
        if (rc != Z_OK) {
            // A damaged stream still gives what came before the damage.
            out.truncated = true;
            break;
        }
        if (zs.avail_in == 0 && zs.avail_out != 0) {
            out.truncated = true;
            break;
        }
    }
    inflateEnd(&zs);
    out.bytes.resize(produced);
    if (produced == 0)
        return Error{"Invalid movie: the compressed body could not be read"};
    return out;
}

Result<Inflated> inflateLzma(std::span<const std::uint8_t> props, std::span<const std::uint8_t> in,
                             std::size_t want) {
    lzma_filter filters[2];
    filters[0].id = LZMA_FILTER_LZMA1;
    filters[0].options = nullptr;
    filters[1].id = LZMA_VLI_UNKNOWN;
    filters[1].options = nullptr;
    if (lzma_properties_decode(&filters[0], nullptr, props.data(), props.size()) != LZMA_OK)
        return Error{"Invalid movie: bad LZMA properties"};
    // The decoder never reaches back further than what it has produced, and it produces at most
    // `want` bytes: a larger dictionary is only memory the file asked for (up to 4 GiB).
    auto* options = static_cast<lzma_options_lzma*>(filters[0].options);
    const std::size_t enough = std::max<std::size_t>(want, LZMA_DICT_SIZE_MIN);
    if (options->dict_size > enough)
        options->dict_size = std::uint32_t(enough);
    lzma_stream strm = LZMA_STREAM_INIT;
    if (lzma_raw_decoder(&strm, filters) != LZMA_OK) {
        free(filters[0].options);
        return Error{"Invalid movie: LZMA could not start"};
    }
    free(filters[0].options);
    Inflated out;
    out.bytes.resize(std::min<std::size_t>(want, 1 << 16));
    strm.next_in = in.data();
    strm.avail_in = in.size();
    std::size_t produced = 0;
    while (produced < want) {
        if (produced == out.bytes.size())
            out.bytes.resize(std::min(want, out.bytes.size() * 2));
        strm.next_out = out.bytes.data() + produced;
        strm.avail_out = out.bytes.size() - produced;
        lzma_ret rc = lzma_code(&strm, strm.avail_in ? LZMA_RUN : LZMA_FINISH);
        produced = out.bytes.size() - strm.avail_out;
        if (rc == LZMA_STREAM_END)
            break;
        if (rc != LZMA_OK) {
            // Encoders differ on the end marker: an error after the last byte is no error.
            out.truncated = produced < want;
            break;
        }
        if (strm.avail_in == 0 && strm.avail_out != 0) {
            out.truncated = true;
            break;
        }
    }
    lzma_end(&strm);
    out.bytes.resize(produced);
    if (produced == 0)
        return Error{"Invalid movie: the compressed body could not be read"};
    return out;
}

struct Prefix {
    Compression compression;
    std::uint8_t version;
    std::uint32_t declaredLength;
};

Result<Prefix> readPrefix(std::span<const std::uint8_t> file) {
    if (file.size() < kPrefixSize)
        return Error{"Invalid movie: the file is too short"};
    Prefix p{};
    if (file[1] != 'W' || file[2] != 'S')
        return Error{"Invalid movie: not a Flash movie"};
    switch (file[0]) {
    case 'F':
        p.compression = Compression::None;
        break;
    case 'C':
        p.compression = Compression::Zlib;
        break;
    case 'Z':
        p.compression = Compression::Lzma;
        break;
    default:
        return Error{"Invalid movie: not a Flash movie"};
    }
    p.version = file[3];
    ByteReader r(file.subspan(4, 4));
    p.declaredLength = r.u32();
    return p;
}

// Decompresses at most `want` bytes of the body.
Result<Inflated> readBody(std::span<const std::uint8_t> file, const Prefix& p, std::size_t want) {
    switch (p.compression) {
    case Compression::None: {
        Inflated out;
        auto body = file.subspan(kPrefixSize);
        out.bytes.assign(body.begin(), body.begin() + std::min(want, body.size()));
        return out;
    }
    case Compression::Zlib:
        return inflateZlib(file.subspan(kPrefixSize), want);
    case Compression::Lzma:
        if (file.size() < kZwsPrefixSize)
            return Error{"Invalid movie: the file is too short"};
        return inflateLzma(file.subspan(12, 5), file.subspan(kZwsPrefixSize), want);
    }
    return Error{"Invalid movie: unknown compression"};
}

struct HeaderFields {
    Rect frameSize;
    double frameRate;
    std::uint16_t frameCount;
    std::size_t end;
};

Result<HeaderFields> readHeaderFields(std::span<const std::uint8_t> body) {
    BitReader bits(body);
    HeaderFields h{};
    const unsigned n = bits.ub(5);
    h.frameSize.xMin = bits.sb(n);
    h.frameSize.xMax = bits.sb(n);
    h.frameSize.yMin = bits.sb(n);
    h.frameSize.yMax = bits.sb(n);
    bits.align();
    if (bits.failed())
        return Error{"Invalid movie: the header is cut short"};
    ByteReader r(body);
    r.seek(bits.bytePos());
    const std::uint16_t rate = r.u16();
    h.frameRate = rate / 256.0;
    h.frameCount = r.u16();
    if (r.failed())
        return Error{"Invalid movie: the header is cut short"};
    h.end = r.pos();
    return h;
}

MovieHeader makeHeader(const Prefix& p, const HeaderFields& f) {
    MovieHeader h;
    h.compression = p.compression;
    h.version = p.version;
    h.declaredLength = p.declaredLength;
    h.frameSize = f.frameSize;
    h.frameRate = f.frameRate;
    h.frameCount = f.frameCount;
    return h;
}

} // namespace

double MovieHeader::effectiveFrameRate() const {
    if (!(frameRate > 0))
        return kFallbackFrameRate;
    return std::min(frameRate, kMaxFrameRate);
}

Result<MovieHeader> readHeader(std::span<const std::uint8_t> file) {
    auto prefix = readPrefix(file);
    if (!prefix)
        return prefix.error();
    // RECT takes at most 17 bytes, rate and count 4 more.
    auto body = readBody(file, *prefix, 32);
    if (!body)
        return body.error();
    auto fields = readHeaderFields(body->bytes);
    if (!fields)
        return fields.error();
    return makeHeader(*prefix, *fields);
}

Result<MovieFile> loadMovie(std::span<const std::uint8_t> file, const LoadLimits& limits) {
    auto prefix = readPrefix(file);
    if (!prefix)
        return prefix.error();
    // The declared length is a hint, never trusted: stop at the end of the stream or the cap.
    const std::size_t want = limits.maxBodyBytes;
    auto body = readBody(file, *prefix, want);
    if (!body)
        return body.error();
    auto fields = readHeaderFields(body->bytes);
    if (!fields)
        return fields.error();
    MovieFile m;
    m.header = makeHeader(*prefix, *fields);
    m.body = std::move(body->bytes);
    m.tagsOffset = fields->end;
    // Some encoders end LZMA data without a marker, so a short stream only counts as cut
    // off when it is shorter than the movie says it is.
    m.truncated = body->truncated && prefix->declaredLength > kPrefixSize &&
                  m.body.size() < prefix->declaredLength - kPrefixSize;
    return m;
}

Result<MovieFile> loadMovieFile(const QString& path, const LoadLimits& limits) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return Error{"Cannot open " + path.toStdString() + ": " + f.errorString().toStdString()};
    // A compressed body is never larger than the cap; a raw file larger than it is refused.
    if (f.size() > qint64(limits.maxBodyBytes) + qint64(kPrefixSize))
        return Error{"Invalid movie: the file is too large"};
    const QByteArray data = f.readAll();
    return loadMovie(std::span(reinterpret_cast<const std::uint8_t*>(data.constData()),
                               std::size_t(data.size())),
                     limits);
}

std::optional<Rgb> findBackgroundColor(const MovieFile& movie) {
    ByteReader r(movie.body);
    r.seek(movie.tagsOffset);
    while (!r.atEnd()) {
        const std::uint16_t codeAndLength = r.u16();
        std::uint32_t length = codeAndLength & 0x3F;
        const std::uint16_t code = codeAndLength >> 6;
        if (length == 0x3F)
            length = r.u32();
        if (r.failed() || code == 0 || code == 1 || !r.has(length))
            return std::nullopt;
        if (code == 9 && length >= 3) {
            auto rgb = r.bytes(3);
            return Rgb{rgb[0], rgb[1], rgb[2]};
        }
        r.skip(length);
    }
    return std::nullopt;
}

} // namespace swf
