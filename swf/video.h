#pragma once

// Video streams' pictures through FFmpeg's libavcodec: one decoder per shown instance, fed in
// stream order from the key frame before the wanted frame. The rest of the engine never sees
// FFmpeg's headers.

#include "swf/characters.h"

#include <QImage>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace swf {

// The part of a VideoFrame packet the codec reads.
std::span<const std::uint8_t> videoPayload(const VideoStream& stream,
                                           std::span<const std::uint8_t> packet);

// Whether a packet's picture stands alone (needs no earlier picture). False when unsure, so a
// seek then starts further back rather than showing a picture built on the wrong one.
bool isVideoKeyFrame(std::uint8_t codec, std::span<const std::uint8_t> packet);

// One stream's decoder. Pictures are RGB32, or premultiplied ARGB32 for VP6 with alpha.
class VideoDecoder {
public:
    // Larger pictures are refused before the decoder allocates them: up to 4096 on a side and
    // no more pixels than 4K video has.
    static constexpr int kMaxSide = 4096;
    static constexpr std::int64_t kMaxPixels = std::int64_t(3840) * 2160;

    explicit VideoDecoder(std::uint8_t codec);
    ~VideoDecoder();
    VideoDecoder(const VideoDecoder&) = delete;
    VideoDecoder& operator=(const VideoDecoder&) = delete;

    // False for codecs this build cannot decode.
    bool valid() const;
    // Decodes the next packet in stream order; `key` says it stands alone. With `wantPicture`
    // the picture is returned (null when the packet does not decode); without it only the
    // decoder's state moves on, and the result is a 1x1 image on success, so callers can still
    // tell a broken packet.
    QImage decode(std::span<const std::uint8_t> packet, bool key, bool wantPicture = true);
    // Forgets earlier pictures, before decoding from another key frame.
    void reset();

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

// Any frame of one stream on demand, as a placed video shows it: the picture of the last packet
// at or before the frame number. Moving forward decodes only the packets in between; other
// seeks start again at the nearest key frame. Holds one decoder and one picture.
class VideoPlayback {
public:
    explicit VideoPlayback(const VideoStream& stream);
    ~VideoPlayback();
    VideoPlayback(const VideoPlayback&) = delete;
    VideoPlayback& operator=(const VideoPlayback&) = delete;

    const VideoStream& stream() const { return m_stream; }
    // The picture for a frame number; null when nothing up to it decodes. A packet that does not
    // decode leaves the last good picture.
    const QImage& picture(std::uint16_t frameNumber);
    // Packets decoded so far (for tests and benchmarks: the cost of the seeks made).
    std::size_t packetsDecoded() const { return m_packetsDecoded; }

private:
    bool isKey(std::size_t index);

    const VideoStream& m_stream;
    std::unique_ptr<VideoDecoder> m_decoder;
    std::vector<std::int8_t> m_keys;  // per packet: -1 not looked at yet, 0 no, 1 yes
    std::ptrdiff_t m_fed = -1;        // the last packet given to the decoder
    std::ptrdiff_t m_shownIndex = -1; // the packet m_picture is for
    QImage m_picture;
    std::size_t m_packetsDecoded = 0;
};

} // namespace swf
