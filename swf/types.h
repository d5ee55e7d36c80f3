#pragma once

#include "swf/bytes.h"

#include <QColor>
#include <QString>
#include <QTransform>
#include <cstdint>
#include <span>

namespace swf {

// Twips; note that the file stores xMin, xMax, yMin, yMax in that order.
struct Rect {
    std::int32_t xMin = 0, xMax = 0, yMin = 0, yMax = 0;
    std::int32_t width() const { return xMax - xMin; }
    std::int32_t height() const { return yMax - yMin; }
    bool operator==(const Rect&) const = default;
};

struct Rgb {
    std::uint8_t r = 0, g = 0, b = 0;
    bool operator==(const Rgb&) const = default;
};

// A colour with straight (not premultiplied) alpha; 255 is opaque.
struct Rgba {
    std::uint8_t r = 0, g = 0, b = 0, a = 255;
    bool operator==(const Rgba&) const = default;
    QColor toQColor() const { return QColor(r, g, b, a); }
};

// Per channel c' = clamp(c * mult / 256 + add). Multipliers are 8.8 fixed (256 = 1.0).
struct ColorTransform {
    std::int32_t redMult = 256, greenMult = 256, blueMult = 256, alphaMult = 256;
    std::int32_t redAdd = 0, greenAdd = 0, blueAdd = 0, alphaAdd = 0;

    bool isIdentity() const { return *this == ColorTransform{}; }
    Rgba apply(Rgba c) const;
    // This transform applied first, then `outer` (a child inside its parent). Terms are kept
    // unclamped so that only the final colour is clamped.
    ColorTransform then(const ColorTransform& outer) const;
    bool operator==(const ColorTransform&) const = default;
};

Rect readRect(BitReader& r);
// MATRIX as a Qt transform: m11 ScaleX, m12 RotateSkew0, m21 RotateSkew1, m22 ScaleY, twips.
QTransform readMatrix(BitReader& r);
ColorTransform readColorTransform(BitReader& r, bool withAlpha);
Rgba readRgb(BitReader& r);
Rgba readRgba(BitReader& r);
Rgba readArgb(BitReader& r);

// Text stored in a movie. Version 6 and later is UTF-8; earlier movies are in the author's code
// page, read as GB18030 when not plain ASCII. A trailing 0 byte is dropped.
QString decodeString(std::span<const std::uint8_t> bytes, std::uint8_t version);

} // namespace swf
