#pragma once

#include "swf/result.h"

#include <QString>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace swf {

enum class Compression { None, Zlib, Lzma };

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

// Reads only as much as the header needs (a few dozen decompressed bytes).
Result<MovieHeader> readHeader(std::span<const std::uint8_t> file);

Result<MovieFile> loadMovie(std::span<const std::uint8_t> file, const LoadLimits& limits = {});
Result<MovieFile> loadMovieFile(const QString& path, const LoadLimits& limits = {});

// The colour of the first SetBackgroundColor tag before the first frame ends, if any.
std::optional<Rgb> findBackgroundColor(const MovieFile& movie);

} // namespace swf
