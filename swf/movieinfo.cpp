#include "swf/movieinfo.h"

#include "swf/characters.h"

#include <QFileInfo>
#include <algorithm>
#include <set>
#include <unordered_set>

namespace swf {

namespace {

// Every timeline of the movie once: the root, sprites, and sprites defined again after a
// FreeCharacter (which the dictionary does not hold).
void collectTimelines(const Movie& movie, std::vector<const Timeline*>& out) {
    std::unordered_set<const Character*> seen;
    out.push_back(&movie.timeline);
    auto addCharacter = [&](const Character* c) {
        if (c && c->type == CharacterType::Sprite && seen.insert(c).second)
            out.push_back(&static_cast<const Sprite*>(c)->timeline);
    };
    for (const auto& [id, c] : movie.dictionary.all())
        addCharacter(c.get());
    // Sprites nest only through the dictionary, but redefinitions are listed per frame;
    // `out` grows while it is walked.
    for (std::size_t i = 0; i < out.size(); ++i) {
        for (const Frame& f : out[i]->frames) {
            for (const auto& [id, c] : f.redefined)
                addCharacter(c);
        }
    }
}

std::vector<const Character*> allCharacters(const Movie& movie,
                                            const std::vector<const Timeline*>& timelines) {
    std::vector<const Character*> out;
    std::unordered_set<const Character*> seen;
    for (const auto& [id, c] : movie.dictionary.all()) {
        if (seen.insert(c.get()).second)
            out.push_back(c.get());
    }
    for (const Timeline* t : timelines) {
        for (const Frame& f : t->frames) {
            for (const auto& [id, c] : f.redefined) {
                if (c && seen.insert(c).second)
                    out.push_back(c);
            }
        }
    }
    std::sort(out.begin(), out.end(), [](const Character* a, const Character* b) {
        return a->id != b->id ? a->id < b->id : a->serial < b->serial;
    });
    return out;
}

bool hasAvm1Code(const std::vector<const Timeline*>& timelines,
                 const std::vector<const Character*>& characters) {
    for (const Timeline* t : timelines) {
        for (const Frame& f : t->frames) {
            if (!f.actions.empty() || !f.initActions.empty())
                return true;
            for (const DisplayTag& d : f.display) {
                if (!d.clipActions.empty())
                    return true;
            }
        }
    }
    for (const Character* c : characters) {
        if (c->type == CharacterType::Button) {
            for (const ButtonAction& a : static_cast<const Button*>(c)->actions) {
                if (!a.actions.empty())
                    return true;
            }
        }
    }
    return false;
}

void addSound(std::vector<MovieInfo::SoundKind>& kinds, bool stream, const SoundFormat& f) {
    MovieInfo::SoundKind k{stream, f.codec, f.rate, f.stereo, 0};
    auto it = std::find_if(kinds.begin(), kinds.end(), [&](const MovieInfo::SoundKind& e) {
        return e.stream == k.stream && e.codec == k.codec && e.rate == k.rate &&
               e.stereo == k.stereo;
    });
    if (it == kinds.end())
        it = kinds.insert(kinds.end(), k);
    ++it->count;
}

} // namespace

MovieInfo describeMovie(const Movie& movie) {
    MovieInfo info;
    const MovieHeader& h = movie.header();
    info.compression = h.compression;
    info.declaredLength = h.declaredLength;
    info.version = h.version;
    info.stageWidth = h.frameSize.width() / 20;
    info.stageHeight = h.frameSize.height() / 20;
    info.frameRate = h.frameRate;
    info.playRate = h.effectiveFrameRate();
    info.declaredFrames = h.frameCount;
    info.frames = int(movie.frameCount());
    info.seconds = info.playRate > 0 ? info.frames / info.playRate : 0;

    std::vector<const Timeline*> timelines;
    collectTimelines(movie, timelines);
    const std::vector<const Character*> characters = allCharacters(movie, timelines);

    // The file's own flag decides between the two machines, as a player would: an AS3 movie
    // runs only its AVM2 code. Code without the flag (version 8 and older) is AVM1's.
    if (movie.usesAvm2 || (movie.attributes && movie.attributes->actionScript3))
        info.script = ScriptLanguage::ActionScript3;
    else if (hasAvm1Code(timelines, characters))
        info.script = ScriptLanguage::ActionScript12;

    std::set<QString> fonts;
    for (const Character* c : characters) {
        switch (c->type) {
        case CharacterType::Sound:
            addSound(info.sounds, false, static_cast<const Sound*>(c)->format);
            break;
        case CharacterType::Video: {
            const auto* v = static_cast<const VideoStream*>(c);
            info.videos.push_back({v->codec, v->width, v->height, int(v->packets.size())});
            break;
        }
        case CharacterType::Font: {
            const auto* f = static_cast<const Font*>(c);
            QString name = f->name.trimmed();
            if (name.isEmpty()) {
                ++info.unnamedFonts;
                break;
            }
            if (f->bold)
                name += QStringLiteral(" Bold");
            if (f->italic)
                name += QStringLiteral(" Italic");
            fonts.insert(name);
            break;
        }
        default:
            break;
        }
    }
    // Authoring tools write a SoundStreamHead into timelines that carry no stream at all;
    // only a timeline with blocks has stream sound.
    for (const Timeline* t : timelines) {
        const bool hasBlocks = std::any_of(t->frames.begin(), t->frames.end(), [](const Frame& f) {
            return f.streamBlock.has_value();
        });
        for (const Frame& f : t->frames) {
            if (f.streamHead && hasBlocks)
                addSound(info.sounds, true, f.streamHead->stream);
        }
    }
    std::sort(info.sounds.begin(), info.sounds.end(), [](const auto& a, const auto& b) {
        return std::tie(a.stream, a.codec, a.rate, a.stereo) <
               std::tie(b.stream, b.codec, b.rate, b.stereo);
    });
    for (const QString& f : fonts)
        info.fonts << f;
    return info;
}

Result<MovieInfo> describeMovieFile(const QString& path) {
    auto movie = Movie::loadFile(path);
    if (!movie)
        return movie.error();
    MovieInfo info = describeMovie(*movie.value());
    info.path = QFileInfo(path).absoluteFilePath();
    info.fileBytes = QFileInfo(path).size();
    return info;
}

QString soundCodecName(std::uint8_t codec) {
    switch (codec) {
    case 0:
        return QStringLiteral("PCM");
    case 1:
        return QStringLiteral("ADPCM");
    case 2:
        return QStringLiteral("MP3");
    case 3:
        return QStringLiteral("PCM");
    case 4:
    case 5:
    case 6:
        return QStringLiteral("Nellymoser");
    case 11:
        return QStringLiteral("Speex");
    default:
        return QStringLiteral("codec %1").arg(codec);
    }
}

QString videoCodecName(std::uint8_t codec) {
    switch (codec) {
    case VideoH263:
        return QStringLiteral("Sorenson H.263");
    case VideoScreen:
        return QStringLiteral("Screen Video");
    case VideoVp6:
        return QStringLiteral("On2 VP6");
    case VideoVp6Alpha:
        return QStringLiteral("On2 VP6 (alpha)");
    case VideoScreen2:
        return QStringLiteral("Screen Video 2");
    case 7:
        return QStringLiteral("H.264");
    default:
        return QStringLiteral("codec %1").arg(codec);
    }
}

} // namespace swf
