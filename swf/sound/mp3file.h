#pragma once

// MP3 files that scripts load (Sound.loadSound): the ID3 tags and the audio between them,
// and the whole file decoded.

#include "swf/sound/pcm.h"

#include <QString>
#include <cstdint>
#include <memory>
#include <span>
#include <utility>
#include <vector>

namespace swf::sound {

struct Mp3File {
    // The MP3 frames, without the ID3v2 tag in front and the ID3v1 tag behind.
    std::span<const std::uint8_t> audio;
    // Tag fields by the names scripts read from Sound.id3: songname, artist, album, year,
    // comment, track, genre, and for ID3v2 also each text frame by its id (TIT2, TPE1...).
    // ID3v2 wins over ID3v1. Text is UTF-8, UTF-16 or, for bytes that are not UTF-8 in a
    // frame marked Latin-1 or in ID3v1 (as Chinese taggers write them), GB18030.
    std::vector<std::pair<QString, QString>> id3;
};

Mp3File splitMp3(std::span<const std::uint8_t> bytes);

// The frames decoded; empty when nothing decodes. Capped like every decoded sound.
std::shared_ptr<const PcmBuffer> decodeMp3(std::span<const std::uint8_t> audio);

} // namespace swf::sound
