// Feeds random packets to every video decoder, as one stream of a movie: the first byte picks
// the codec, then come packets, each with a 16-bit length in front. The packets are shown in
// order, then sought back and forth, as a placed video plays them.

#include "swf/video.h"

#include <QtGlobal>
#include <algorithm>
#include <cstddef>
#include <cstdint>

namespace {

constexpr std::uint8_t kCodecs[] = {swf::VideoH263, swf::VideoScreen, swf::VideoVp6,
                                    swf::VideoVp6Alpha, swf::VideoScreen2};
constexpr std::size_t kMaxPackets = 64;

void check(const QImage& picture) {
    if (picture.width() > swf::VideoDecoder::kMaxSide ||
        picture.height() > swf::VideoDecoder::kMaxSide)
        __builtin_trap();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const bool quiet =
        (qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {}), true);
    (void)quiet;
    if (size < 1)
        return 0;
    swf::VideoStream stream;
    stream.codec = kCodecs[data[0] % std::size(kCodecs)];
    std::size_t at = 1;
    while (at + 2 <= size && stream.packets.size() < kMaxPackets) {
        const std::size_t length = std::size_t(data[at]) | std::size_t(data[at + 1]) << 8;
        at += 2;
        const std::size_t n = std::min(length, size - at);
        stream.packets.push_back(
            {std::uint16_t(stream.packets.size()), std::span<const std::uint8_t>(data + at, n)});
        at += n;
    }
    stream.frameCount = std::uint16_t(stream.packets.size());
    if (stream.packets.empty())
        return 0;

    swf::VideoPlayback playback(stream);
    const auto count = std::uint16_t(stream.packets.size());
    for (std::uint16_t n = 0; n < count; ++n)
        check(playback.picture(n));
    check(playback.picture(std::uint16_t(count / 2)));
    check(playback.picture(0));
    check(playback.picture(std::uint16_t(count - 1)));

    // The decoder alone, every packet taken for a key frame, without pictures and with.
    swf::VideoDecoder decoder(stream.codec);
    if (!decoder.valid())
        return 0;
    for (const swf::VideoPacket& p : stream.packets)
        check(decoder.decode(swf::videoPayload(stream, p.data), true, false));
    decoder.reset();
    for (const swf::VideoPacket& p : stream.packets)
        check(decoder.decode(swf::videoPayload(stream, p.data), false, true));
    return 0;
}
