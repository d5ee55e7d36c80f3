#pragma once

// Timelines: the root's and every sprite's frames, each holding the control tags that act in it.

#include "swf/types.h"

#include <QString>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace swf {

struct Character;

enum class BlendMode : std::uint8_t {
    Normal = 1,
    Layer,
    Multiply,
    Screen,
    Lighten,
    Darken,
    Difference,
    Add,
    Subtract,
    Invert,
    Alpha,
    Erase,
    Overlay,
    HardLight,
};

enum class FilterType : std::uint8_t {
    DropShadow = 0,
    Blur = 1,
    Glow = 2,
    Bevel = 3,
    GradientGlow = 4,
    Convolution = 5,
    ColorMatrix = 6,
    GradientBevel = 7,
};

// A PlaceObject3 / button filter, kept as data for the renderer. Fields a filter does not have
// stay at their defaults.
struct Filter {
    FilterType type = FilterType::Blur;
    std::vector<Rgba> colors; // shadow/glow colour; bevel shadow then highlight; gradient colours
    std::vector<std::uint8_t> ratios; // gradient filters
    double blurX = 0, blurY = 0, angle = 0, distance = 0, strength = 0;
    std::uint8_t passes = 0;
    bool inner = false, knockout = false, compositeSource = false, onTop = false;
    // Convolution (matrixX x matrixY values) and colour matrix (20 values, 4x5 row-major).
    std::uint8_t matrixX = 0, matrixY = 0;
    float divisor = 0, bias = 0;
    std::vector<float> matrix;
    Rgba defaultColor;
    bool clamp = false, preserveAlpha = false;
};

// A clip event handler of PlaceObject2/3 (AVM1 bytes for the scripting code).
struct ClipAction {
    std::uint32_t events = 0; // CLIPEVENTFLAGS, byte 0 in the low byte
    std::uint8_t keyCode = 0;
    std::span<const std::uint8_t> actions;
};

// One PlaceObject, PlaceObject2/3 or RemoveObject/RemoveObject2 tag. Absent fields leave the
// object's attribute as it was (on a move) or at its default (on a new placement).
struct DisplayTag {
    enum class Kind : std::uint8_t { Place, Remove };
    Kind kind = Kind::Place;
    std::uint8_t version = 1; // 1, 2 or 3 (PlaceObject3 and 4)
    std::uint16_t depth = 0;
    bool move = false;
    std::optional<std::uint16_t> characterId;
    std::optional<QTransform> matrix;
    std::optional<ColorTransform> colorTransform;
    std::optional<std::uint16_t> ratio;
    std::optional<QString> name;
    std::optional<std::uint16_t> clipDepth;
    std::optional<std::vector<Filter>> filters;
    std::optional<BlendMode> blendMode;
    std::optional<bool> cacheAsBitmap;
    std::optional<bool> visible;
    std::optional<Rgba> backgroundColor;
    QString className; // AVM2 only
    std::vector<ClipAction> clipActions;
};

struct SoundFormat {
    std::uint8_t codec = 0; // 0/3 PCM, 1 ADPCM, 2 MP3, 4-6 Nellymoser, 11 Speex
    std::uint32_t rate = 5512;
    bool is16Bit = false;
    bool stereo = false;
};

struct SoundEnvelopePoint {
    std::uint32_t pos44 = 0;
    std::uint16_t left = 0, right = 0;
};

struct SoundInfo {
    bool syncStop = false, syncNoMultiple = false;
    std::optional<std::uint32_t> inPoint, outPoint;
    std::uint16_t loopCount = 1;
    std::vector<SoundEnvelopePoint> envelope;
};

struct StartSound {
    std::uint16_t soundId = 0;
    QString className; // StartSound2: the sound named by its SymbolClass or export name
    SoundInfo info;
};

struct SoundStreamHead {
    SoundFormat playback; // advisory
    SoundFormat stream;
    std::uint16_t sampleCount = 0; // average samples per block
    std::int16_t latencySeek = 0;  // MP3 only
};

struct VideoFrame {
    std::uint16_t streamId = 0;
    std::uint16_t frameNumber = 0;
    std::span<const std::uint8_t> data;
};

struct InitAction {
    std::uint16_t spriteId = 0;
    std::span<const std::uint8_t> actions;
};

// Everything that happens in one frame, in tag order within each list.
struct Frame {
    std::vector<DisplayTag> display;
    std::vector<std::span<const std::uint8_t>> actions; // DoAction blocks
    std::vector<InitAction> initActions;                // DoInitAction (root timeline)
    std::vector<QString> labels;
    std::vector<StartSound> sounds;
    std::optional<SoundStreamHead> streamHead;
    std::optional<std::span<const std::uint8_t>> streamBlock;
    std::vector<VideoFrame> videoFrames;
    std::optional<Rgba> backgroundColor;
    // Characters freed by FreeCharacter (tag 3) and definitions that reuse their ids; the
    // player's view of the dictionary changes when it reaches this frame.
    std::vector<std::uint16_t> freed;
    std::vector<std::pair<std::uint16_t, const Character*>> redefined;
};

struct Timeline {
    std::vector<Frame> frames; // at least one once loaded

    std::size_t frameCount() const { return frames.size(); }
    // The frame a label names (case-insensitive), if any.
    std::optional<std::size_t> frameForLabel(const QString& label) const;
};

} // namespace swf
