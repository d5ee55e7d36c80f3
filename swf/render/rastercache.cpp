#include "swf/render/rastercache.h"

#include "swf/render/paintercanvas.h"

#include <QPainter>
#include <algorithm>
#include <cmath>

namespace swf::render {
namespace {

// A shape's own picture is at most this many pixels, and this long a side: larger shapes are
// drawn directly (a picture that size would cost more to blend than most shapes to draw).
constexpr double kMaxSide = 2048;
constexpr qint64 kMaxPixels = qint64(1) << 21;
// A stroke's path elements count kStrokeWeight times (stroking builds an outline first). Each
// element of cost may bring along kPixelsPerCost pixels: past that, blending the picture costs
// about what drawing the outlines would.
constexpr qint64 kStrokeWeight = 4;
constexpr qint64 kPixelsPerCost = 4096;
// Pictures unused for this many pictures are dropped: a view redraws at most two bands a frame.
constexpr std::uint64_t kKeepPictures = 4;

std::size_t bytesOf(const QImage& image) {
    return std::size_t(image.width()) * std::size_t(image.height()) * 4;
}

bool finite(const QTransform& t) {
    for (double v : {t.m11(), t.m12(), t.m21(), t.m22(), t.dx(), t.dy()})
        if (!std::isfinite(v))
            return false;
    return true;
}

} // namespace

qint64 RasterCache::costOf(const ShapeGeometry& g) {
    // A script's bitmap changes its pixels without changing the shape: such shapes are left out.
    // A movie's own bitmaps never change, and sampling one through a transform costs more per
    // pixel than blending a picture: a fill of one is worth a picture on its own.
    auto bitmapCost = [](const FillStyle& fill) -> qint64 {
        return fill.bitmapData ? -1 : kMaxPixels / kPixelsPerCost;
    };
    qint64 cost = 0;
    for (const ShapeLayer& layer : g.layers) {
        for (const FillPath& fill : layer.fills) {
            const qint64 c = fill.style.isBitmap() ? bitmapCost(fill.style) : 0;
            if (c < 0)
                return -1;
            cost += c + fill.path.elementCount();
        }
        for (const StrokePath& stroke : layer.strokes) {
            const bool bitmap = stroke.style.hasFill && stroke.style.fill.isBitmap();
            const qint64 c = bitmap ? bitmapCost(stroke.style.fill) : 0;
            if (c < 0)
                return -1;
            cost += c + kStrokeWeight * stroke.path.elementCount();
        }
    }
    return cost;
}

bool RasterCache::worthIt(qint64 cost, QSize pixels) {
    if (pixels.isEmpty() || pixels.width() > kMaxSide || pixels.height() > kMaxSide)
        return false;
    const qint64 area = qint64(pixels.width()) * pixels.height();
    return cost >= kMinCost && area <= kMaxPixels && area <= cost * kPixelsPerCost;
}

bool RasterCache::draw(Canvas& canvas, RasterKey id, qint64 cost, const QTransform& m,
                       const ColorTransform& ct, double viewScale, const Bounds& bounds,
                       const Draw& drawShape) {
    auto* painter = dynamic_cast<PainterCanvas*>(&canvas);
    if (cost < kMinCost || !painter)
        return false; // a recording keeps the outlines
    const QTransform device = m * painter->pixelTransform();
    // Numbers that do not compare (NaN) would match any key.
    if (device.type() == QTransform::TxProject || !finite(device) || !std::isfinite(viewScale) ||
        std::abs(device.dx()) > 1e8 || std::abs(device.dy()) > 1e8)
        return false;
    // The whole pixels of translation only place the picture: the rest is rasterised.
    const double wholeX = std::floor(device.dx()), wholeY = std::floor(device.dy());
    RasterKey key = id;
    key.m11 = device.m11();
    key.m12 = device.m12();
    key.m21 = device.m21();
    key.m22 = device.m22();
    key.dx = device.dx() - wholeX;
    key.dy = device.dy() - wholeY;
    key.color = {ct.redMult, ct.greenMult, ct.blueMult, ct.alphaMult,
                 ct.redAdd,  ct.greenAdd,  ct.blueAdd,  ct.alphaAdd};
    key.viewScale = viewScale;
    key.quality = int(painter->quality());
    // Everything below follows from the key alone, so a kept picture equals a new one.
    const QTransform local(key.m11, key.m12, key.m21, key.m22, key.dx, key.dy);
    const QRectF area = bounds(local);
    if (area.isEmpty() || !(std::abs(area.left()) < 1e6 && std::abs(area.top()) < 1e6 &&
                            area.width() < 1e6 && area.height() < 1e6))
        return false;
    const QPoint at{int(wholeX), int(wholeY)};
    QRect pixels = area.toAlignedRect().adjusted(-1, -1, 1, 1);
    // Only what lies within the layer area can show: a large shape mostly outside it (a
    // background under a zoomed view) is pictured there only.
    const QRect within = painter->pixelArea();
    if (!within.isEmpty()) {
        pixels &= within.translated(-at);
        if (pixels.isEmpty())
            return true;
    }
    if (!worthIt(cost, pixels.size()))
        return false;
    key.area = {pixels.left(), pixels.top(), pixels.width(), pixels.height()};

    if (m_keyFilter)
        m_keyFilter(key);
    if (auto it = m_entries.find(key); it != m_entries.end()) {
        it->second.lastUse = m_picture;
        ++m_hits;
        painter->drawPixels(it->second.image, at + it->second.offset);
        return true;
    }
    ++m_misses;
    QImage image(pixels.size(), QImage::Format_ARGB32_Premultiplied);
    if (image.isNull())
        return false;
    image.fill(Qt::transparent);
    {
        QPainter p(&image);
        PainterCanvas alone(p, painter->quality());
        drawShape(alone, local * QTransform::fromTranslate(-pixels.left(), -pixels.top()));
    }
    painter->drawPixels(image, at + pixels.topLeft());
    const std::size_t bytes = bytesOf(image);
    if (makeRoom(bytes)) {
        m_bytes += bytes;
        m_entries.emplace(key, Entry{std::move(image), pixels.topLeft(), m_picture});
    }
    return true;
}

bool RasterBudget::take(std::size_t bytes) {
    std::size_t used = m_used.load();
    do {
        if (bytes > m_limit || used > m_limit - bytes)
            return false;
    } while (!m_used.compare_exchange_weak(used, used + bytes));
    return true;
}

RasterCache::RasterCache() : m_budget(std::make_shared<RasterBudget>(kMaxBytes)) {}

RasterCache::~RasterCache() {
    clear();
}

void RasterCache::drop(std::size_t bytes) {
    m_bytes -= bytes;
    m_budget->give(bytes);
}

bool RasterCache::makeRoom(std::size_t bytes) {
    // The least recently used go first, never one this picture drew: a picture holding more
    // than fits keeps what it kept first rather than throwing out what it is about to draw.
    // Only this cache's own go: the other thread's are in use there.
    while (!m_budget->take(bytes)) {
        auto oldest = m_entries.end();
        for (auto it = m_entries.begin(); it != m_entries.end(); ++it) {
            if (it->second.lastUse < m_picture &&
                (oldest == m_entries.end() || it->second.lastUse < oldest->second.lastUse))
                oldest = it;
        }
        if (oldest == m_entries.end())
            return false;
        drop(bytesOf(oldest->second.image));
        m_entries.erase(oldest);
    }
    return true;
}

void RasterCache::nextPicture() {
    ++m_picture;
    std::erase_if(m_entries, [&](const auto& e) {
        if (e.second.lastUse + kKeepPictures >= m_picture)
            return false;
        drop(bytesOf(e.second.image));
        return true;
    });
}

void RasterCache::clear() {
    m_entries.clear();
    drop(m_bytes);
}

void RasterCache::shareBudget(std::shared_ptr<RasterBudget> budget) {
    if (!budget || budget == m_budget)
        return;
    clear();
    m_budget = std::move(budget);
}

} // namespace swf::render
