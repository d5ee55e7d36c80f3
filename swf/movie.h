#pragma once

#include "swf/dictionary.h"
#include "swf/result.h"
#include "swf/timeline.h"
#include "swf/types.h"

#include <QString>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <unordered_map>
#include <vector>

namespace swf {

enum class Compression { None, Zlib, Lzma };

struct MovieHeader {
    Compression compression = Compression::None;
    std::uint8_t version = 0;
    std::uint32_t declaredLength = 0; // as stored; real files often get it wrong
    Rect frameSize;
    double frameRate = 0; // as stored (8.8 fixed); 0 is possible, see effectiveFrameRate()
    std::uint16_t frameCount = 0;

    // The rate a player runs at: a stored 0 (undefined) or an absurd rate is replaced.
    double effectiveFrameRate() const;
};

// The decompressed movie: header plus the body, with the tags starting at tagsOffset.
struct MovieFile {
    MovieHeader header;
    std::vector<std::uint8_t> body; // everything after the 8-byte prefix, decompressed
    std::size_t tagsOffset = 0;
    bool truncated = false; // the compressed stream ended before the declared length
};

struct LoadLimits {
    // A decompression bomb or a lying FileLength must not take the machine's memory.
    std::size_t maxBodyBytes = std::size_t(256) << 20;
};

// Bounds for hostile files. Every count read from a file is also capped by the bytes present;
// these budgets bound what the parsed model may grow to in memory.
struct ParseLimits {
    LoadLimits load;
    std::size_t maxShapeRecords = std::size_t(8) << 20;    // over all shapes, glyphs and morphs
    std::size_t maxTimelineEntries = std::size_t(1) << 20; // frames, display tags, sounds...
    std::size_t maxSpriteNesting = 8;                      // DefineSprite inside DefineSprite
    std::size_t maxBitmapPixels = std::size_t(8192) * 8192;
};

struct FileAttributes {
    bool actionScript3 = false, useNetwork = false, hasMetadata = false;
    bool useGpu = false, useDirectBlit = false;
};

// The bytecode of a DoABC tag (ActionScript 3), in tag order.
struct AbcBlock {
    std::uint32_t flags = 0; // bit 0: lazy, run its entry script only when first needed
    QString name;
    std::span<const std::uint8_t> data;
    std::size_t frame = 0; // the root frame whose tags held it
};

struct Scene {
    std::uint32_t frameOffset = 0;
    QString name;
};

struct ExportedAsset {
    std::uint16_t characterId = 0;
    QString name;
};

// A parsed movie: header, dictionary and the root timeline. Immutable once loaded and shared
// by the players that run it; the spans in its characters and frames point into `file.body`.
class Movie {
public:
    // Parses a decompressed movie. Fails only when there is no movie at all; damage after the
    // header leaves the tags read so far.
    static Result<std::shared_ptr<const Movie>> parse(MovieFile file,
                                                      const ParseLimits& limits = {});
    static Result<std::shared_ptr<const Movie>> load(std::span<const std::uint8_t> bytes,
                                                     const ParseLimits& limits = {});
    static Result<std::shared_ptr<const Movie>> loadFile(const QString& path,
                                                         const ParseLimits& limits = {});

    Movie(const Movie&) = delete;
    Movie& operator=(const Movie&) = delete;

    const MovieHeader& header() const { return file.header; }
    std::uint8_t version() const { return file.header.version; }
    // Frames of the root timeline as really present (the header's count may differ).
    std::size_t frameCount() const { return timeline.frameCount(); }
    const Character* character(std::uint16_t id) const { return dictionary.find(id); }

    MovieFile file;
    Dictionary dictionary;
    Timeline timeline;
    std::optional<FileAttributes> attributes;
    bool usesAvm2 = false;       // AVM2 code was seen: AVM1 actions are not kept
    bool endSeen = false;        // the root tag list was closed by End
    bool budgetExceeded = false; // a ParseLimits budget cut the movie short
    std::optional<Rgba> backgroundColor;
    std::vector<ExportedAsset> exports;
    // SymbolClass: class names of characters (id 0 is the main timeline's class).
    std::vector<ExportedAsset> symbolClasses;
    std::vector<AbcBlock> abcBlocks;
    // DefineBinaryData: bytes a SymbolClass may link to a ByteArray subclass (the first
    // definition of an id wins).
    std::unordered_map<std::uint16_t, std::span<const std::uint8_t>> binaryData;
    // DefineScalingGrid: the centre region of a sprite or button scaled in nine slices.
    std::unordered_map<std::uint16_t, Rect> scalingGrids;
    std::vector<Scene> scenes;
    std::optional<std::uint16_t> maxRecursionDepth, scriptTimeoutSeconds;

private:
    friend class MovieParser;
    Movie() = default;
    std::vector<std::unique_ptr<Character>> m_redefinitions; // see Frame::redefined
};

// Reads only as much as the header needs (a few dozen decompressed bytes).
Result<MovieHeader> readHeader(std::span<const std::uint8_t> file);

Result<MovieFile> loadMovie(std::span<const std::uint8_t> file, const LoadLimits& limits = {});
Result<MovieFile> loadMovieFile(const QString& path, const LoadLimits& limits = {});

// The colour of the first SetBackgroundColor tag before the first frame ends, if any.
std::optional<Rgb> findBackgroundColor(const MovieFile& movie);

} // namespace swf
