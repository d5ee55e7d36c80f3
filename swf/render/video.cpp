#include "swf/render/video.h"

#include "swf/render/renderer.h"

namespace swf::render {

const QImage* VideoPictures::picture(const DisplayObject& o, const VideoStream& stream) {
    auto it = m_instances.find(&o);
    // An address can come back for a new object, even of another movie; the stream and its
    // packets tell whether the decoder still fits.
    if (it != m_instances.end() &&
        (it->second.stream != &stream || it->second.packets != stream.packets.data() ||
         it->second.packetCount != stream.packets.size())) {
        m_instances.erase(it);
        it = m_instances.end();
    }
    if (it == m_instances.end()) {
        if (m_instances.size() >= kMaxInstances)
            m_instances.clear();
        Instance fresh;
        fresh.playback = std::make_unique<VideoPlayback>(stream);
        fresh.stream = &stream;
        fresh.packets = stream.packets.data();
        fresh.packetCount = stream.packets.size();
        it = m_instances.emplace(&o, std::move(fresh)).first;
    }
    it->second.used = true;
    const QImage& img = it->second.playback->picture(o.ratio);
    return img.isNull() ? nullptr : &img;
}

void VideoPictures::sweep() {
    for (auto it = m_instances.begin(); it != m_instances.end();) {
        if (!it->second.used) {
            it = m_instances.erase(it);
        } else {
            it->second.used = false;
            ++it;
        }
    }
}

QRectF videoBox(const VideoStream& stream, const QImage* picture) {
    double w = stream.width, h = stream.height;
    if ((w <= 0 || h <= 0) && picture) {
        w = picture->width();
        h = picture->height();
    }
    return QRectF(0, 0, w * 20.0, h * 20.0);
}

void drawVideo(Canvas& canvas, const VideoStream& stream, const QImage& picture,
               const QTransform& m, const ColorTransform& ct) {
    const QRectF box = videoBox(stream, &picture);
    if (picture.isNull() || box.isEmpty())
        return;
    const QTransform scale =
        QTransform::fromScale(box.width() / picture.width(), box.height() / picture.height());
    canvas.drawImage(ct.isIdentity() ? picture : transformImage(picture, ct), scale * m,
                     stream.smoothing);
}

} // namespace swf::render
