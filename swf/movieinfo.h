#pragma once

// What a movie is made of, for people: the facts the "movie information" dialog shows,
// computed from the parsed movie (never by running it).

#include "swf/movie.h"
#include "swf/result.h"

#include <QString>
#include <QStringList>
#include <cstdint>
#include <vector>

namespace swf {

enum class ScriptLanguage { None, ActionScript12, ActionScript3 };

struct MovieInfo {
    QString path;
    std::int64_t fileBytes = 0; // on disk (compressed when the movie is)
    Compression compression = Compression::None;
    std::uint32_t declaredLength = 0; // the uncompressed length the header states
    int version = 0;
    int stageWidth = 0, stageHeight = 0; // pixels
    double frameRate = 0;                // as stored
    double playRate = 0;                 // what a player runs at (see effectiveFrameRate)
    int declaredFrames = 0;              // as the header states
    int frames = 0;                      // really present
    double seconds = 0;                  // frames at the play rate
    ScriptLanguage script = ScriptLanguage::None;

    struct SoundKind {
        bool stream = false; // stream sound (SoundStreamHead) or an event sound (DefineSound)
        std::uint8_t codec = 0;
        std::uint32_t rate = 0;
        bool stereo = false;
        int count = 0; // sounds, or timelines with this stream format
        bool operator==(const SoundKind&) const = default;
    };
    std::vector<SoundKind> sounds; // sorted: event before stream, then by codec and rate

    struct VideoKind {
        std::uint8_t codec = 0;
        int width = 0, height = 0;
        int frames = 0;
        bool operator==(const VideoKind&) const = default;
    };
    std::vector<VideoKind> videos; // one per DefineVideoStream, in id order

    QStringList fonts;    // names as stored, sorted, each once ("Arial", "Arial Bold")
    int unnamedFonts = 0; // fonts with no name (DefineFont without DefineFontInfo)
};

// Facts of a parsed movie; `path` and `fileBytes` are left for the caller.
MovieInfo describeMovie(const Movie& movie);
// Reads and parses the file, then describes it.
Result<MovieInfo> describeMovieFile(const QString& path);

// Plain English names, the same in every language: "MP3", "Sorenson H.263", "zlib".
QString soundCodecName(std::uint8_t codec);
QString videoCodecName(std::uint8_t codec);

} // namespace swf
