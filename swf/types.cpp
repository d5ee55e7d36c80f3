#include "swf/types.h"

#include <QStringDecoder>
#include <algorithm>

namespace swf {
namespace {

std::uint8_t clampChannel(std::int64_t v) {
    return static_cast<std::uint8_t>(std::clamp<std::int64_t>(v, 0, 255));
}

std::int32_t clampTerm(std::int64_t v) {
    // Nesting can multiply terms without bound; past this range they are saturated anyway.
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(v, -(1 << 24), 1 << 24));
}

bool isAscii(std::span<const std::uint8_t> bytes) {
    return std::all_of(bytes.begin(), bytes.end(), [](std::uint8_t b) { return b < 0x80; });
}

} // namespace

Rgba ColorTransform::apply(Rgba c) const {
    return Rgba{clampChannel(std::int64_t(c.r) * redMult / 256 + redAdd),
                clampChannel(std::int64_t(c.g) * greenMult / 256 + greenAdd),
                clampChannel(std::int64_t(c.b) * blueMult / 256 + blueAdd),
                clampChannel(std::int64_t(c.a) * alphaMult / 256 + alphaAdd)};
}

ColorTransform ColorTransform::then(const ColorTransform& o) const {
    // o(c * m1 / 256 + a1) = c * m1 * m2 / 65536 + a1 * m2 / 256 + a2
    ColorTransform t;
    t.redMult = clampTerm(std::int64_t(redMult) * o.redMult / 256);
    t.greenMult = clampTerm(std::int64_t(greenMult) * o.greenMult / 256);
    t.blueMult = clampTerm(std::int64_t(blueMult) * o.blueMult / 256);
    t.alphaMult = clampTerm(std::int64_t(alphaMult) * o.alphaMult / 256);
    t.redAdd = clampTerm(std::int64_t(redAdd) * o.redMult / 256 + o.redAdd);
    t.greenAdd = clampTerm(std::int64_t(greenAdd) * o.greenMult / 256 + o.greenAdd);
    t.blueAdd = clampTerm(std::int64_t(blueAdd) * o.blueMult / 256 + o.blueAdd);
    t.alphaAdd = clampTerm(std::int64_t(alphaAdd) * o.alphaMult / 256 + o.alphaAdd);
    return t;
}

Rect readRect(BitReader& r) {
    r.align();
    Rect rect;
    const unsigned n = r.ub(5);
    rect.xMin = r.sb(n);
    rect.xMax = r.sb(n);
    rect.yMin = r.sb(n);
    rect.yMax = r.sb(n);
    r.align();
    return rect;
}

QTransform readMatrix(BitReader& r) {
    r.align();
    double sx = 1, sy = 1, r0 = 0, r1 = 0;
    if (r.flag()) {
        const unsigned n = r.ub(5);
        sx = r.fb(n);
        sy = r.fb(n);
    }
    if (r.flag()) {
        const unsigned n = r.ub(5);
        r0 = r.fb(n);
        r1 = r.fb(n);
    }
    const unsigned n = r.ub(5);
    const double tx = r.sb(n);
    const double ty = r.sb(n);
    r.align();
    return QTransform(sx, r0, r1, sy, tx, ty);
}

ColorTransform readColorTransform(BitReader& r, bool withAlpha) {
    r.align();
    ColorTransform c;
    const bool hasAdd = r.flag();
    const bool hasMult = r.flag();
    const unsigned n = r.ub(4);
    if (hasMult) {
        c.redMult = r.sb(n);
        c.greenMult = r.sb(n);
        c.blueMult = r.sb(n);
        if (withAlpha)
            c.alphaMult = r.sb(n);
    }
    if (hasAdd) {
        c.redAdd = r.sb(n);
        c.greenAdd = r.sb(n);
        c.blueAdd = r.sb(n);
        if (withAlpha)
            c.alphaAdd = r.sb(n);
    }
    r.align();
    return c;
}

Rgba readRgb(BitReader& r) {
    auto b = r.bytes(3);
    return b.empty() ? Rgba{} : Rgba{b[0], b[1], b[2], 255};
}

Rgba readRgba(BitReader& r) {
    auto b = r.bytes(4);
    return b.empty() ? Rgba{} : Rgba{b[0], b[1], b[2], b[3]};
}

Rgba readArgb(BitReader& r) {
    auto b = r.bytes(4);
    return b.empty() ? Rgba{} : Rgba{b[1], b[2], b[3], b[0]};
}

QString decodeString(std::span<const std::uint8_t> bytes, std::uint8_t version) {
    while (!bytes.empty() && bytes.back() == 0)
        bytes = bytes.first(bytes.size() - 1);
    const auto* data = reinterpret_cast<const char*>(bytes.data());
    const auto size = qsizetype(bytes.size());
    if (isAscii(bytes))
        return QString::fromLatin1(data, size);
    if (version >= 6) {
        QStringDecoder utf8(QStringDecoder::Utf8, QStringConverter::Flag::Stateless);
        QString s = utf8(QByteArrayView(data, size));
        if (!utf8.hasError())
            return s;
        // Tools that wrote their own code page into a newer movie: read it bytewise.
        QStringDecoder latin("windows-1252");
        return latin.isValid() ? QString(latin(QByteArrayView(data, size)))
                               : QString::fromLatin1(data, size);
    }
    QStringDecoder gb("GB18030");
    if (!gb.isValid())
        return QString::fromLatin1(data, size);
    return gb(QByteArrayView(data, size));
}

} // namespace swf
