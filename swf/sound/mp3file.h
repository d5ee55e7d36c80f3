#pragma once

// MP3 files that scripts load (Sound.loadSound): the ID3 tags and the audio between them,
// and the whole file decoded.

#include "swf/sound/pcm.h"

#include <QByteArray>
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

class SoundFeed;
class StreamDecoder;

// An MP3 file decoded a piece at a time into a feed that plays while it grows (a streaming
// Sound.loadSound). The caller decides when each piece is decoded, so the same calls give the
// same sound whatever the clock.
class Mp3Stream {
public:
    explicit Mp3Stream(QByteArray audio);
    ~Mp3Stream();
    Mp3Stream(const Mp3Stream&) = delete;
    Mp3Stream& operator=(const Mp3Stream&) = delete;

    // Decodes until at least `seconds` more of sound came out or the data ran out (then the
    // feed is finished). Capped like decodeMp3.
    void decodeMore(double seconds);
    bool finished() const { return m_finished; }
    // Bytes of the audio decoded so far.
    std::size_t bytesDone() const { return m_at; }
    std::size_t bytesTotal() const { return std::size_t(m_audio.size()); }
    const std::shared_ptr<SoundFeed>& feed() const { return m_feed; }

private:
    QByteArray m_audio;
    std::unique_ptr<StreamDecoder> m_decoder;
    std::shared_ptr<SoundFeed> m_feed;
    std::size_t m_at = 0;
    std::size_t m_frames = 0;
    bool m_finished = false;
};

} // namespace swf::sound
