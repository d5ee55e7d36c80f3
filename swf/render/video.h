#pragma once

// Placed videos: a decoder per video object on stage, kept while the object is drawn, and the
// drawing of its picture into the stream's box.

#include "swf/player.h"
#include "swf/render/canvas.h"
#include "swf/video.h"

#include <memory>
#include <unordered_map>

namespace swf::render {

class VideoPictures {
public:
    // More video objects on stage at once than this start their decoders afresh each frame;
    // with the decoders' picture limit this bounds the memory video takes.
    static constexpr std::size_t kMaxInstances = 16;

    // The picture `o` shows now: its stream's frame at the placement's ratio; null for none.
    const QImage* picture(const DisplayObject& o, const VideoStream& stream);
    // Ends a frame: decoders of objects not drawn since the last sweep are dropped.
    void sweep();
    void clear() { m_instances.clear(); }
    std::size_t instanceCount() const { return m_instances.size(); }

private:
    struct Instance {
        std::unique_ptr<VideoPlayback> playback;
        const VideoStream* stream = nullptr;
        const VideoPacket* packets = nullptr;
        std::size_t packetCount = 0;
        bool used = false;
    };
    std::unordered_map<const DisplayObject*, Instance> m_instances;
};

// The picture scaled into the stream's width x height pixel box (one pixel being 20 twips)
// under `m`, in the colour transform, smoothed as the stream asks.
void drawVideo(Canvas& canvas, const VideoStream& stream, const QImage& picture,
               const QTransform& m, const ColorTransform& ct);

// The stream's box in twips, for masks and hit tests.
QRectF videoBox(const VideoStream& stream, const QImage* picture);

} // namespace swf::render
