#pragma once

#include "swf/bytes.h"

#include <cstddef>
#include <cstdint>
#include <span>

namespace swf {

// Tag codes this engine reads or knowingly skips.
enum TagCode : std::uint16_t {
    TagEnd = 0,
    TagShowFrame = 1,
    TagDefineShape = 2,
    TagFreeCharacter = 3,
    TagPlaceObject = 4,
    TagRemoveObject = 5,
    TagDefineBits = 6,
    TagDefineButton = 7,
    TagJpegTables = 8,
    TagSetBackgroundColor = 9,
    TagDefineFont = 10,
    TagDefineText = 11,
    TagDoAction = 12,
    TagDefineFontInfo = 13,
    TagDefineSound = 14,
    TagStartSound = 15,
    TagDefineButtonSound = 17,
    TagSoundStreamHead = 18,
    TagSoundStreamBlock = 19,
    TagDefineBitsLossless = 20,
    TagDefineBitsJpeg2 = 21,
    TagDefineShape2 = 22,
    TagDefineButtonCxform = 23,
    TagProtect = 24,
    TagPlaceObject2 = 26,
    TagRemoveObject2 = 28,
    TagDefineShape3 = 32,
    TagDefineText2 = 33,
    TagDefineButton2 = 34,
    TagDefineBitsJpeg3 = 35,
    TagDefineBitsLossless2 = 36,
    TagDefineEditText = 37,
    TagDefineSprite = 39,
    TagFrameLabel = 43,
    TagSoundStreamHead2 = 45,
    TagDefineMorphShape = 46,
    TagDefineFont2 = 48,
    TagExportAssets = 56,
    TagImportAssets = 57,
    TagDoInitAction = 59,
    TagDefineVideoStream = 60,
    TagVideoFrame = 61,
    TagDefineFontInfo2 = 62,
    TagScriptLimits = 65,
    TagFileAttributes = 69,
    TagPlaceObject3 = 70,
    TagImportAssets2 = 71,
    TagDoAbcPrerelease = 72,
    TagDefineFont3 = 75,
    TagSymbolClass = 76,
    TagDefineScalingGrid = 78,
    TagDoAbc = 82,
    TagDefineShape4 = 83,
    TagDefineMorphShape2 = 84,
    TagDefineSceneAndFrameLabelData = 86,
    TagDefineBinaryData = 87,
    TagStartSound2 = 89,
    TagDefineBitsJpeg4 = 90,
    TagDefineFont4 = 91,
    TagPlaceObject4 = 94,
};

// One tag: its code and the bytes its header claims, cut to what the data really holds.
struct Tag {
    std::uint16_t code = 0;
    std::span<const std::uint8_t> body;
    std::size_t offset = 0; // of the tag header, within the data given to the reader
    bool overruns = false;  // the declared length runs past the end of the data
};

// Walks a tag list (the movie's, or a sprite's). It stops after End, at the end of the data, at
// a header cut short, and after a tag whose length runs past the data (that tag is returned
// with overruns set, so a caller may salvage or ignore it).
class TagReader {
public:
    explicit TagReader(std::span<const std::uint8_t> data) : m_data(data) {}

    bool next(Tag& tag) {
        if (m_done || m_data.size() - m_pos < 2) {
            m_done = true;
            return false;
        }
        ByteReader r(m_data.subspan(m_pos));
        const std::uint16_t codeAndLength = r.u16();
        std::size_t length = codeAndLength & 0x3F;
        if (length == 0x3F) {
            length = r.u32();
            if (r.failed()) {
                m_done = true;
                return false;
            }
        }
        tag.code = codeAndLength >> 6;
        tag.offset = m_pos;
        tag.overruns = !r.has(length);
        tag.body = r.bytes(tag.overruns ? r.remaining() : length);
        m_pos += r.pos();
        m_endSeen = tag.code == TagEnd;
        m_done = tag.overruns || m_endSeen;
        return true;
    }
    // Whether the list was closed by an End tag.
    bool endSeen() const { return m_endSeen; }
    std::size_t pos() const { return m_pos; }

private:
    std::span<const std::uint8_t> m_data;
    std::size_t m_pos = 0;
    bool m_done = false;
    bool m_endSeen = false;
};

} // namespace swf
