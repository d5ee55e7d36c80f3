#include "swf/sound/mp3file.h"

#include "swf/sound/decoder.h"
#include "swf/sound/mixer.h"
#include "swf/timeline.h"

#include <QStringDecoder>
#include <algorithm>

namespace swf::sound {

namespace {

// Latin-1 by the tag's own rule, but in practice UTF-8 or the writer's code page.
QString legacyText(std::span<const std::uint8_t> b) {
    const QByteArray bytes(reinterpret_cast<const char*>(b.data()), qsizetype(b.size()));
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = utf8.decode(bytes);
    if (!utf8.hasError())
        return text;
    QStringDecoder gb("GB18030");
    return gb.isValid() ? QString(gb.decode(bytes)) : QString::fromLatin1(bytes);
}

QString cleaned(QString s) {
    const qsizetype nul = s.indexOf(QChar(0));
    if (nul >= 0)
        s.truncate(nul);
    return s.trimmed();
}

QString frameText(std::uint8_t encoding, std::span<const std::uint8_t> b) {
    const QByteArray bytes(reinterpret_cast<const char*>(b.data()), qsizetype(b.size()));
    switch (encoding) {
    case 1: { // UTF-16 with a byte order mark
        const bool be = b.size() >= 2 && b[0] == 0xFE && b[1] == 0xFF;
        const bool bom = b.size() >= 2 && ((b[0] == 0xFF && b[1] == 0xFE) || be);
        QStringDecoder d(be ? QStringDecoder::Utf16BE : QStringDecoder::Utf16LE);
        return cleaned(d.decode(bom ? bytes.mid(2) : bytes));
    }
    case 2: {
        QStringDecoder d(QStringDecoder::Utf16BE);
        return cleaned(d.decode(bytes));
    }
    case 3:
        return cleaned(QString::fromUtf8(bytes));
    default:
        return cleaned(legacyText(b));
    }
}

// Skips a NUL-terminated string in `encoding` (two zero bytes, aligned, for UTF-16).
std::size_t skipTerminated(std::uint8_t encoding, std::span<const std::uint8_t> b) {
    if (encoding == 1 || encoding == 2) {
        for (std::size_t i = 0; i + 1 < b.size(); i += 2) {
            if (b[i] == 0 && b[i + 1] == 0)
                return i + 2;
        }
        return b.size();
    }
    const auto it = std::find(b.begin(), b.end(), std::uint8_t(0));
    return it == b.end() ? b.size() : std::size_t(it - b.begin()) + 1;
}

void put(std::vector<std::pair<QString, QString>>& out, const QString& name, const QString& v) {
    if (v.isEmpty())
        return;
    for (auto& [n, value] : out) {
        if (n == name)
            return; // the first (ID3v2) wins
    }
    out.emplace_back(name, v);
}

QString commonName(const QString& id) {
    static const std::pair<const char*, const char*> names[] = {
        {"TIT2", "songname"}, {"TT2", "songname"}, {"TPE1", "artist"}, {"TP1", "artist"},
        {"TALB", "album"},    {"TAL", "album"},    {"TYER", "year"},   {"TYE", "year"},
        {"TDRC", "year"},     {"TRCK", "track"},   {"TRK", "track"},   {"TCON", "genre"},
        {"TCO", "genre"},     {"COMM", "comment"}, {"COM", "comment"}};
    for (const auto& [frame, name] : names) {
        if (id == QLatin1String(frame))
            return QString::fromLatin1(name);
    }
    return {};
}

std::uint32_t syncsafe(const std::uint8_t* p) {
    return (std::uint32_t(p[0] & 0x7F) << 21) | (std::uint32_t(p[1] & 0x7F) << 14) |
           (std::uint32_t(p[2] & 0x7F) << 7) | std::uint32_t(p[3] & 0x7F);
}

// The frames of an ID3v2 tag body (after its 10-byte header).
void readId3v2(std::uint8_t major, std::uint8_t flags, std::vector<std::uint8_t> body,
               std::vector<std::pair<QString, QString>>& out) {
    // A tag-wide unsynchronisation (before version 4) hides 0xFF 0x00 pairs' zero bytes.
    if ((flags & 0x80) && major < 4) {
        std::vector<std::uint8_t> plain;
        plain.reserve(body.size());
        for (std::size_t i = 0; i < body.size(); ++i) {
            plain.push_back(body[i]);
            if (body[i] == 0xFF && i + 1 < body.size() && body[i + 1] == 0)
                ++i;
        }
        body = std::move(plain);
    }
    std::size_t pos = 0;
    if ((flags & 0x40) && major >= 3 && body.size() >= 4) {
        const std::uint32_t ext =
            major == 4 ? syncsafe(body.data())
                       : (std::uint32_t(body[0]) << 24 | std::uint32_t(body[1]) << 16 |
                          std::uint32_t(body[2]) << 8 | body[3]) +
                             4;
        pos = std::min<std::size_t>(ext, body.size());
    }
    const std::size_t idLen = major == 2 ? 3 : 4;
    const std::size_t headLen = major == 2 ? 6 : 10;
    while (pos + headLen <= body.size()) {
        const std::uint8_t* h = body.data() + pos;
        if (h[0] == 0)
            break; // padding
        const QString id = QString::fromLatin1(reinterpret_cast<const char*>(h), qsizetype(idLen));
        std::size_t size = 0;
        if (major == 2)
            size = std::size_t(h[3]) << 16 | std::size_t(h[4]) << 8 | h[5];
        else if (major == 4)
            size = syncsafe(h + 4);
        else
            size =
                std::size_t(h[4]) << 24 | std::size_t(h[5]) << 16 | std::size_t(h[6]) << 8 | h[7];
        pos += headLen;
        if (size > body.size() - pos)
            break;
        const std::span<const std::uint8_t> data(body.data() + pos, size);
        pos += size;
        // Compressed or encrypted frames are left alone.
        if (major >= 3 && (h[9] & (major == 4 ? 0x0C : 0xC0)))
            continue;
        if (data.empty())
            continue;
        const std::uint8_t enc = data[0];
        QString value;
        if (id.startsWith(u'T') && id != QLatin1String("TXXX") && id != QLatin1String("TXX")) {
            value = frameText(enc, data.subspan(1));
        } else if (id == QLatin1String("COMM") || id == QLatin1String("COM")) {
            if (data.size() < 4)
                continue;
            const auto rest = data.subspan(4); // language, then a description
            const std::size_t skip = skipTerminated(enc, rest);
            value = frameText(enc, rest.subspan(std::min(skip, rest.size())));
        } else {
            continue;
        }
        put(out, id, value);
        if (const QString name = commonName(id); !name.isEmpty())
            put(out, name, value);
    }
}

} // namespace

Mp3File splitMp3(std::span<const std::uint8_t> bytes) {
    Mp3File f;
    std::size_t begin = 0, end = bytes.size();
    if (bytes.size() >= 10 && bytes[0] == 'I' && bytes[1] == 'D' && bytes[2] == '3' &&
        bytes[3] >= 2 && bytes[3] <= 4) {
        const std::size_t size = syncsafe(bytes.data() + 6);
        const std::size_t footer = (bytes[3] == 4 && (bytes[5] & 0x10)) ? 10 : 0;
        const std::size_t tagEnd = std::min(bytes.size(), 10 + size + footer);
        const std::size_t bodyEnd = std::min(bytes.size(), 10 + size);
        readId3v2(bytes[3], bytes[5],
                  std::vector<std::uint8_t>(bytes.begin() + 10, bytes.begin() + bodyEnd), f.id3);
        begin = tagEnd;
    }
    if (end - begin >= 128 && bytes[end - 128] == 'T' && bytes[end - 127] == 'A' &&
        bytes[end - 126] == 'G') {
        const std::uint8_t* t = bytes.data() + end - 128;
        auto field = [&](std::size_t at, std::size_t len) {
            return cleaned(legacyText(std::span<const std::uint8_t>(t + at, len)));
        };
        put(f.id3, QStringLiteral("songname"), field(3, 30));
        put(f.id3, QStringLiteral("artist"), field(33, 30));
        put(f.id3, QStringLiteral("album"), field(63, 30));
        put(f.id3, QStringLiteral("year"), field(93, 4));
        // ID3v1.1: a zero before the comment's last byte makes that byte the track number.
        const bool v11 = t[125] == 0 && t[126] != 0;
        put(f.id3, QStringLiteral("comment"), field(97, v11 ? 28 : 30));
        if (v11)
            put(f.id3, QStringLiteral("track"), QString::number(t[126]));
        if (t[127] != 255)
            put(f.id3, QStringLiteral("genre"), QString::number(t[127]));
        end -= 128;
    }
    f.audio = bytes.subspan(begin, end - begin);
    return f;
}

std::shared_ptr<const PcmBuffer> decodeMp3(std::span<const std::uint8_t> audio) {
    SoundFormat format;
    format.codec = 2;
    format.rate = 44100;
    format.is16Bit = true;
    format.stereo = true;
    auto pcm = std::make_shared<PcmBuffer>();
    auto decoder = StreamDecoder::create(format);
    if (!decoder)
        return pcm;
    // In pieces, so that the cap on output applies as it grows.
    constexpr std::size_t kPiece = 64 * 1024;
    for (std::size_t at = 0; at < audio.size(); at += kPiece) {
        const std::size_t left =
            kMaxDecodedFrames > pcm->frames() ? kMaxDecodedFrames - pcm->frames() : 0;
        if (!left)
            break;
        decoder->decode(audio.subspan(at, std::min(kPiece, audio.size() - at)), *pcm, left);
    }
    decoder->flush(*pcm);
    return pcm;
}

namespace {

SoundFormat mp3Format() {
    SoundFormat format;
    format.codec = 2;
    format.rate = 44100;
    format.is16Bit = true;
    format.stereo = true;
    return format;
}

} // namespace

Mp3Stream::Mp3Stream(QByteArray audio)
    : m_audio(std::move(audio)), m_decoder(StreamDecoder::create(mp3Format())),
      m_feed(std::make_shared<SoundFeed>()) {
    if (!m_decoder) {
        m_finished = true;
        m_feed->finish();
    }
}

Mp3Stream::~Mp3Stream() = default;

void Mp3Stream::decodeMore(double seconds) {
    if (m_finished)
        return;
    // Small pieces, so that a step decodes about what it asked for.
    constexpr std::size_t kPiece = 4 * 1024;
    const auto bytes = std::span(reinterpret_cast<const std::uint8_t*>(m_audio.constData()),
                                 std::size_t(m_audio.size()));
    double got = 0;
    while (got < seconds && m_at < bytes.size() && m_frames < kMaxDecodedFrames) {
        auto pcm = std::make_shared<PcmBuffer>();
        const std::size_t n = std::min(kPiece, bytes.size() - m_at);
        m_decoder->decode(bytes.subspan(m_at, n), *pcm, kMaxDecodedFrames - m_frames);
        m_at += n;
        if (m_at >= bytes.size())
            m_decoder->flush(*pcm);
        m_frames += pcm->frames();
        got += pcm->seconds();
        m_feed->append(std::move(pcm));
    }
    if (m_at >= bytes.size() || m_frames >= kMaxDecodedFrames) {
        m_finished = true;
        m_feed->finish();
    }
}

} // namespace swf::sound
