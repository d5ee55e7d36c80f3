#pragma once

#include "swf/types.h"

#include <QPainterPath>
#include <QTransform>
#include <cstdint>
#include <memory>
#include <vector>

namespace swf {

class BitmapData;

enum class FillType : std::uint8_t {
    Solid = 0x00,
    LinearGradient = 0x10,
    RadialGradient = 0x12,
    FocalGradient = 0x13,
    RepeatingBitmap = 0x40,
    ClippedBitmap = 0x41,
    RepeatingBitmapHard = 0x42, // not smoothed
    ClippedBitmapHard = 0x43,   // not smoothed
};

enum class SpreadMode : std::uint8_t { Pad, Reflect, Repeat };
enum class InterpolationMode : std::uint8_t { Rgb, LinearRgb };

struct GradientStop {
    std::uint8_t ratio = 0; // 0..255 along the gradient
    Rgba color;
    bool operator==(const GradientStop&) const = default;
};

// Defined in the square (-16384,-16384)-(16384,16384), mapped to the shape by FillStyle::matrix.
struct Gradient {
    SpreadMode spread = SpreadMode::Pad;
    InterpolationMode interpolation = InterpolationMode::Rgb;
    std::vector<GradientStop> stops;
    double focalPoint = 0; // -1..1, focal gradients only
};

struct FillStyle {
    FillType type = FillType::Solid;
    Rgba color;                 // solid fills
    QTransform matrix;          // gradient square or bitmap pixels to shape twips
    Gradient gradient;          // gradient fills
    std::uint16_t bitmapId = 0; // bitmap fills; an id naming no bitmap paints nothing
    // Bitmap fills of the drawing API: a script's bitmap, drawn as it is when the frame is.
    std::shared_ptr<const BitmapData> bitmapData;

    bool isGradient() const {
        return type == FillType::LinearGradient || type == FillType::RadialGradient ||
               type == FillType::FocalGradient;
    }
    bool isBitmap() const { return std::uint8_t(type) >= 0x40 && std::uint8_t(type) <= 0x43; }
    bool isRepeating() const {
        return type == FillType::RepeatingBitmap || type == FillType::RepeatingBitmapHard;
    }
    bool isSmoothed() const {
        return type == FillType::RepeatingBitmap || type == FillType::ClippedBitmap;
    }
};

enum class CapStyle : std::uint8_t { Round, None, Square };
enum class JoinStyle : std::uint8_t { Round, Bevel, Miter };

struct LineStyle {
    std::uint16_t width = 0; // twips; 0 is a hairline
    Rgba color;
    CapStyle startCap = CapStyle::Round;
    CapStyle endCap = CapStyle::Round;
    JoinStyle join = JoinStyle::Round;
    double miterLimit = 3; // as a factor of the width
    bool hasFill = false;  // stroke painted with `fill` instead of `color`
    FillStyle fill;
    bool noHScale = false, noVScale = false, pixelHinting = false, noClose = false;
};

// The fill and line arrays in effect between two StateNewStyles records.
struct StyleTable {
    std::vector<FillStyle> fills;
    std::vector<LineStyle> lines;
};

// One shape record. Style indices are 1-based (0 = none) and already checked against the table
// in effect: an index past it reads as 0.
struct ShapeRecord {
    enum class Kind : std::uint8_t { StyleChange, Straight, Curve };
    Kind kind = Kind::StyleChange;
    // StyleChange: which fields the record sets.
    bool moveTo : 1 = false;
    bool setFill0 : 1 = false;
    bool setFill1 : 1 = false;
    bool setLine : 1 = false;
    bool newStyles : 1 = false;
    std::uint16_t fill0 = 0, fill1 = 0, line = 0;
    std::int32_t moveX = 0, moveY = 0; // absolute, from the shape origin
    // Edges: control point relative to the pen, anchor relative to the control point (for
    // straight edges, the anchor relative to the pen).
    std::int32_t controlX = 0, controlY = 0, anchorX = 0, anchorY = 0;
};

struct FillPath {
    FillStyle style;
    QPainterPath path; // closed contours, twips
};

struct StrokePath {
    LineStyle style;
    QPainterPath path; // twips
};

// What StateNewStyles separates: the fills of one style table, then its strokes.
struct ShapeLayer {
    std::vector<FillPath> fills;     // by style index
    std::vector<StrokePath> strokes; // by style index
};

// A shape ready to draw: layers in file order. Fill paths carry Qt::OddEvenFill unless the shape
// asked for the non-zero winding rule.
struct ShapeGeometry {
    std::vector<ShapeLayer> layers;
    Qt::FillRule fillRule = Qt::OddEvenFill;
};

// Rebuilds fill outlines from the FillStyle0/FillStyle1 edges and strokes from the line edges.
// styleTables[0] holds the initial styles, one more for each StateNewStyles record.
ShapeGeometry buildShapeGeometry(const std::vector<StyleTable>& styleTables,
                                 const std::vector<ShapeRecord>& records, bool windingRule);

// The filled area of records that use any fill index (font glyphs).
QPainterPath buildOutline(const std::vector<ShapeRecord>& records);

// Parsing, for the definition tags. `level` is 1..4 for DefineShape..DefineShape4.
namespace detail {
FillStyle readFillStyle(BitReader& r, int level);
LineStyle readLineStyle(BitReader& r, int level);
StyleTable readStyleTable(BitReader& r, int level);
// Reads records up to and including the end record. NumFillBits/NumLineBits are read first.
// `tables` grows by one for each StateNewStyles; pass null where new styles are not allowed.
std::vector<ShapeRecord> readShapeRecords(BitReader& r, int level, std::vector<StyleTable>* tables,
                                          std::size_t fillCount, std::size_t lineCount);
} // namespace detail

} // namespace swf
