#pragma once

// The definitions a movie's dictionary holds, by character id. They are immutable once the
// movie is loaded; the few things computed on first use (shape paths, decoded bitmaps, glyph
// outlines) are computed once, thread-safely.

#include "swf/shape.h"
#include "swf/timeline.h"
#include "swf/types.h"

#include <QByteArray>
#include <QImage>
#include <QPainterPath>
#include <QString>
#include <array>
#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <vector>

namespace swf {

enum class CharacterType : std::uint8_t {
    Shape,
    MorphShape,
    Bitmap,
    Font,
    Text,
    EditText,
    Button,
    Sprite,
    Sound,
    Video,
};

struct Character {
    explicit Character(CharacterType t) : type(t), serial(nextSerial()) {}
    virtual ~Character() = default;
    Character(const Character&) = delete;
    Character& operator=(const Character&) = delete;

    const CharacterType type;
    std::uint16_t id = 0;
    std::uint16_t tagCode = 0; // the tag that defined it
    // Unique among all characters ever made in the process, so caches keyed by it cannot mistake
    // a new definition for a freed one that had the same address or id.
    const std::uint64_t serial;
    // Whoever changes a definition after loading (shapes drawn by scripts) bumps this, so what
    // was cached for the old content is not reused.
    std::uint32_t generation = 0;

private:
    static std::uint64_t nextSerial();
};

// DefineShape 1 to 4. Records are parsed with the movie; the paths are built on first use.
struct Shape : Character {
    static constexpr CharacterType kType = CharacterType::Shape;
    Shape() : Character(kType) {}

    int level = 1;   // 1..4 for DefineShape..DefineShape4
    Rect bounds;     // with strokes
    Rect edgeBounds; // without strokes (DefineShape4; otherwise equal to bounds)
    bool windingRule = false;
    bool nonScalingStrokes = false;
    bool scalingStrokes = false;
    std::vector<StyleTable> styleTables; // [0] initial, then one per StateNewStyles
    std::vector<ShapeRecord> records;

    // Fill paths per style and stroke paths, per layer in drawing order.
    const ShapeGeometry& geometry() const;

private:
    mutable std::once_flag m_once;
    mutable ShapeGeometry m_geometry;
};

struct MorphGradientStop {
    std::uint8_t startRatio = 0, endRatio = 0;
    Rgba startColor, endColor;
};

struct MorphFillStyle {
    FillType type = FillType::Solid;
    Rgba startColor, endColor;
    QTransform startMatrix, endMatrix;
    SpreadMode spread = SpreadMode::Pad;
    InterpolationMode interpolation = InterpolationMode::Rgb;
    std::vector<MorphGradientStop> stops;
    double startFocalPoint = 0, endFocalPoint = 0;
    std::uint16_t bitmapId = 0;

    FillStyle at(double t) const;
};

struct MorphLineStyle {
    std::uint16_t startWidth = 0, endWidth = 0;
    Rgba startColor, endColor;
    CapStyle startCap = CapStyle::Round, endCap = CapStyle::Round;
    JoinStyle join = JoinStyle::Round;
    double miterLimit = 3;
    bool hasFill = false;
    MorphFillStyle fill;
    bool noHScale = false, noVScale = false, pixelHinting = false, noClose = false;

    LineStyle at(double t) const;
};

// DefineMorphShape 1 and 2: a start and an end shape with matching records, drawn at a ratio.
struct MorphShape : Character {
    static constexpr CharacterType kType = CharacterType::MorphShape;
    MorphShape() : Character(kType) {}

    int level = 1; // 1 or 2
    Rect startBounds, endBounds;
    Rect startEdgeBounds, endEdgeBounds;
    bool nonScalingStrokes = false, scalingStrokes = false;
    std::vector<MorphFillStyle> fills;
    std::vector<MorphLineStyle> lines;
    std::vector<ShapeRecord> startRecords; // all style changes are here
    std::vector<ShapeRecord> endRecords;   // edges and moves only

    // The shape at ratio 0..65535 (PlaceObject's Ratio). Not cached: callers cache per ratio.
    ShapeGeometry geometryAt(std::uint16_t ratio) const;
    Rect boundsAt(std::uint16_t ratio) const;
};

// Every bitmap tag. The pixels are decoded on first use.
struct Bitmap : Character {
    static constexpr CharacterType kType = CharacterType::Bitmap;
    Bitmap() : Character(kType) {}

    enum class Encoding : std::uint8_t {
        Jpeg,     // DefineBits (with the movie's JPEGTables), DefineBitsJPEG2/3/4
        Lossless, // DefineBitsLossless
        Lossless2 // DefineBitsLossless2 (with alpha)
    };
    Encoding encoding = Encoding::Jpeg;
    std::span<const std::uint8_t> imageData;  // JPEG/PNG/GIF bytes, or zlib pixel data
    std::span<const std::uint8_t> jpegTables; // DefineBits only
    std::span<const std::uint8_t> alphaData;  // DefineBitsJPEG3/4: zlib, width x height bytes
    double deblocking = 0;                    // DefineBitsJPEG4
    std::uint8_t losslessFormat = 0;          // 3 palette, 4 15-bit, 5 32-bit
    std::uint16_t width = 0, height = 0;      // lossless: as declared
    std::uint16_t colorTableSize = 0;         // palette entries (format 3)
    std::size_t maxPixels = std::size_t(8192) * 8192;

    // Premultiplied ARGB32 (or RGB32 without alpha); a null image when it cannot be decoded.
    const QImage& image() const;

private:
    mutable std::once_flag m_once;
    mutable QImage m_image;
};

struct Glyph {
    std::vector<ShapeRecord> records; // in EM units, y down, origin on the baseline
    std::uint16_t code = 0;           // from the code table (UCS-2 in version 6+)
    std::int16_t advance = 0;         // from the layout, if any
    Rect bounds;                      // from the layout, if any
};

struct KerningPair {
    std::uint16_t left = 0, right = 0;
    std::int16_t adjustment = 0;
};

// DefineFont 1 to 3, with what DefineFontInfo 1 and 2 add.
struct Font : Character {
    static constexpr CharacterType kType = CharacterType::Font;
    Font() : Character(kType) {}

    int level = 1;
    QString name;
    bool bold = false, italic = false, smallText = false, shiftJis = false, ansi = false;
    bool wideCodes = false;
    std::uint8_t language = 0;
    double emSize = 1024; // 20480 for DefineFont3
    std::vector<Glyph> glyphs;
    bool hasLayout = false;
    int ascent = 0, descent = 0, leading = 0;
    std::vector<KerningPair> kerning;
    // DefineFont4: the font's own OpenType (CFF) file, drawn through Qt; it has no glyphs
    // here. Empty for every other font tag.
    QByteArray fontData;

    // The glyph index for a character code, or -1.
    int glyphForCode(std::uint16_t code) const;
    // The glyph's outline in EM units; an empty path for a bad index.
    const QPainterPath& glyphPath(std::size_t index) const;

private:
    mutable std::once_flag m_once;
    mutable std::vector<QPainterPath> m_paths;
};

struct GlyphEntry {
    std::uint32_t index = 0; // into the font's glyphs; may be past them (then skipped)
    std::int32_t advance = 0;
};

// One run of a static text, with the state carried over from earlier records resolved.
struct TextRun {
    std::uint16_t fontId = 0;
    const Font* font = nullptr; // null when the font is not defined
    Rgba color;
    std::int32_t x = 0, y = 0; // pen position of the first glyph; y is the baseline
    std::uint16_t height = 0;  // twips
    std::vector<GlyphEntry> glyphs;
};

// DefineText and DefineText2.
struct StaticText : Character {
    static constexpr CharacterType kType = CharacterType::Text;
    StaticText() : Character(kType) {}

    Rect bounds;
    QTransform matrix;
    std::vector<TextRun> runs;
};

enum class TextAlign : std::uint8_t { Left, Right, Center, Justify };

// DefineEditText: a dynamic or input text field with its initial text and formatting.
struct EditText : Character {
    static constexpr CharacterType kType = CharacterType::EditText;
    EditText() : Character(kType) {}

    Rect bounds;
    bool wordWrap = false, multiline = false, password = false, readOnly = false;
    bool autoSize = false, noSelect = false, border = false, wasStatic = false;
    bool html = false, useOutlines = false;
    // The tag's border flag draws both; ActionScript 3 sets them apart, with their colours.
    bool background = false;
    Rgba backgroundColor{255, 255, 255, 255}, borderColor{0, 0, 0, 255};
    std::uint32_t scroll = 0; // lines scrolled off the top (scrollV - 1)
    std::uint16_t fontId = 0;
    const Font* font = nullptr;
    QString fontClass;
    std::uint16_t fontHeight = 0; // twips
    bool hasTextColor = false;
    Rgba textColor;
    std::uint16_t maxLength = 0; // 0 = none
    bool hasLayout = false;
    TextAlign align = TextAlign::Left;
    std::uint16_t leftMargin = 0, rightMargin = 0, indent = 0;
    std::int16_t leading = 0;
    QString variableName;
    QString initialText;
};

enum ButtonStateFlag : std::uint8_t {
    ButtonUp = 0x01,
    ButtonOver = 0x02,
    ButtonDown = 0x04,
    ButtonHitTest = 0x08,
};

struct ButtonRecord {
    std::uint8_t states = 0; // ButtonStateFlag bits
    std::uint16_t characterId = 0;
    std::uint16_t depth = 0;
    QTransform matrix;
    ColorTransform colorTransform;
    std::vector<Filter> filters;
    BlendMode blendMode = BlendMode::Normal;
};

// Condition bits of a button action: the first condition byte in the high byte, then the
// second one's OverDownToIdle bit. keyCode is the CondKeyPress (0 = none).
enum ButtonCondition : std::uint16_t {
    CondIdleToOverDown = 0x8000,
    CondOutDownToIdle = 0x4000,
    CondOutDownToOverDown = 0x2000,
    CondOverDownToOutDown = 0x1000,
    CondOverDownToOverUp = 0x0800,
    CondOverUpToOverDown = 0x0400,
    CondOverUpToIdle = 0x0200,
    CondIdleToOverUp = 0x0100,
    CondOverDownToIdle = 0x0001,
};

struct ButtonAction {
    std::uint16_t conditions = 0;
    std::uint8_t keyCode = 0;
    std::span<const std::uint8_t> actions; // AVM1 bytes
};

struct ButtonSound {
    std::uint16_t soundId = 0; // 0 = none
    SoundInfo info;
};

// DefineButton and DefineButton2, with DefineButtonCxform and DefineButtonSound applied.
struct Button : Character {
    static constexpr CharacterType kType = CharacterType::Button;
    Button() : Character(kType) {}

    int level = 1;
    bool trackAsMenu = false;
    std::vector<ButtonRecord> records;
    std::vector<ButtonAction> actions;
    // OverUpToIdle, IdleToOverUp, OverUpToOverDown, OverDownToOverUp.
    std::array<ButtonSound, 4> sounds;
};

// DefineSprite: a movie clip with its own timeline.
struct Sprite : Character {
    static constexpr CharacterType kType = CharacterType::Sprite;
    Sprite() : Character(kType) {}

    std::uint16_t declaredFrameCount = 0;
    Timeline timeline;
};

// DefineSound: an event sound, kept encoded for the sound code.
struct Sound : Character {
    static constexpr CharacterType kType = CharacterType::Sound;
    Sound() : Character(kType) {}

    SoundFormat format;
    std::uint32_t sampleCount = 0;
    std::span<const std::uint8_t> data; // for MP3 this starts with SeekSamples (SI16)
};

// One VideoFrame tag's packet, as the codec reads it.
struct VideoPacket {
    std::uint16_t frameNumber = 0;
    std::span<const std::uint8_t> data;
};

enum VideoCodec : std::uint8_t {
    VideoH263 = 2,     // Sorenson H.263
    VideoScreen = 3,   // Screen Video
    VideoVp6 = 4,      // On2 VP6
    VideoVp6Alpha = 5, // On2 VP6 with an alpha plane
    VideoScreen2 = 6,  // Screen Video 2
};

// DefineVideoStream, with the packets of every VideoFrame tag naming it (from the main timeline
// and from sprites alike), by frame number.
struct VideoStream : Character {
    static constexpr CharacterType kType = CharacterType::Video;
    VideoStream() : Character(kType) {}

    std::uint16_t frameCount = 0, width = 0, height = 0;
    std::uint8_t deblocking = 0;
    bool smoothing = false;
    std::uint8_t codec = 0;
    std::vector<VideoPacket> packets; // ascending frame numbers, no repeats

    // The packet for a frame number, or null when the movie has none.
    const VideoPacket* packet(std::uint16_t frameNumber) const;
    // The index into `packets` of the last packet at or before a frame number, or -1.
    std::ptrdiff_t indexAtOrBefore(std::uint16_t frameNumber) const;
};

} // namespace swf
