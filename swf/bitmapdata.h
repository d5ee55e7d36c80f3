#pragma once

// A script's bitmap (flash.display.BitmapData for ActionScript 2 and 3): an ARGB pixel store and
// its pixel operations. Both script engines bind to this one class; the renderer draws it.
//
// Pixels are kept premultiplied (QImage::Format_ARGB32_Premultiplied), or as RGB32 for an opaque
// bitmap, so the renderer draws them as they are. Reading a translucent pixel back therefore gives
// the premultiplied value divided out again, which loses precision at low alpha as Flash does.

#include "swf/timeline.h"
#include "swf/types.h"

#include <QImage>
#include <QRect>
#include <QTransform>
#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

namespace swf {

class Player;
class DisplayObject;
class MovieClip;

// The bytes of bitmap pixels a movie may hold at once, over all its BitmapData objects. A bitmap
// that would go past it is refused as one past the size limits is.
class BitmapBudget {
public:
    static constexpr std::size_t kDefaultCap = std::size_t(256) << 20; // 256 MiB per movie
    explicit BitmapBudget(std::size_t cap = kDefaultCap) : m_cap(cap) {}
    bool reserve(std::size_t bytes) {
        if (bytes > m_cap - m_used)
            return false;
        m_used += bytes;
        return true;
    }
    void release(std::size_t bytes) { m_used -= std::min(bytes, m_used); }
    std::size_t used() const { return m_used; }
    std::size_t cap() const { return m_cap; }

private:
    std::size_t m_cap, m_used = 0;
};

// Channel bits, as BitmapDataChannel names them.
enum Channel : std::uint32_t { Red = 1, Green = 2, Blue = 4, Alpha = 8 };

// What only the renderer can do for a bitmap; the movie runner gives the script engines one.
class BitmapDrawer {
public:
    virtual ~BitmapDrawer() = default;
    // Draws `object`'s content (not its own placement; without an object, `timeline`'s drawing and
    // children; without either, the stage as shown) mapped by `m` (object twips to target
    // pixels) onto `target`, colour-transformed by `ct` and blended, within `clip` (target
    // pixels; empty: no clip).
    // Draws `source` (pixel square (0,0)-(w,h)) mapped by `m` onto `target`, likewise.
    virtual void drawImage(QImage& target, const QImage& source, const QTransform& m,
                           const ColorTransform& ct, BlendMode blend, const QRectF& clip,
                           bool smooth) = 0;
    virtual void drawObject(const Player& player, const DisplayObject* object,
                            const MovieClip* timeline, QImage& target, const QTransform& m,
                            const ColorTransform& ct, BlendMode blend, const QRectF& clip,
                            bool smooth) = 0;
    // Applies one filter to a premultiplied ARGB32 picture in place, sizes in pixels.
    virtual void applyFilter(QImage& picture, const Filter& filter) = 0;
    // How far, in pixels, a filter reaches beyond what it is applied to.
    virtual int filterReach(const Filter& filter) = 0;
};

class BitmapData {
public:
    // Largest sides and pixel count: movies of version 10 and later; older ones may use 2880
    // pixels a side.
    static constexpr int kMaxSide = 8191;
    static constexpr std::int64_t kMaxPixels = 16777215;
    static constexpr int kMaxSideBefore10 = 2880;

    // Null when the size is not allowed (zero, too large for the movie's version) or the budget
    // is spent. `fill` is ARGB, unpremultiplied; an opaque bitmap ignores its alpha.
    static std::shared_ptr<BitmapData> create(int width, int height, bool transparent,
                                              std::uint32_t fill,
                                              std::shared_ptr<BitmapBudget> budget,
                                              int swfVersion = 10);
    // A copy of `image` (a library bitmap: premultiplied ARGB32 or RGB32), counted in `budget`.
    static std::shared_ptr<BitmapData> fromImage(const QImage& image,
                                                 std::shared_ptr<BitmapBudget> budget);
    ~BitmapData();
    BitmapData(const BitmapData&) = delete;
    BitmapData& operator=(const BitmapData&) = delete;

    int width() const { return m_image.width(); }
    int height() const { return m_image.height(); }
    QRect rect() const { return m_image.rect(); }
    bool transparent() const { return m_transparent; }
    bool disposed() const { return m_image.isNull(); }
    // What the renderer draws. Changes with every edit: see generation().
    const QImage& image() const { return m_image; }
    // Changes with every edit of the pixels, so caches of them can key on it.
    std::uint64_t generation() const { return m_generation; }

    // Frees the pixels; every operation after does nothing and reads give 0.
    void dispose();
    std::shared_ptr<BitmapData> clone() const;
    // lock()/unlock(): objects showing the bitmap are not told of changes while it is locked.
    void lock() { ++m_locks; }
    void unlock() {
        if (m_locks > 0)
            --m_locks;
    }
    bool locked() const { return m_locks > 0; }

    // Single pixels; outside the bitmap reads give 0 and writes do nothing. Colours are ARGB,
    // unpremultiplied. setPixel keeps the pixel's alpha.
    std::uint32_t getPixel(int x, int y) const { return getPixel32(x, y) & 0xFFFFFF; }
    std::uint32_t getPixel32(int x, int y) const;
    void setPixel(int x, int y, std::uint32_t rgb);
    void setPixel32(int x, int y, std::uint32_t argb);

    // Rectangles are clipped to the bitmap. Pixels in row order, ARGB unpremultiplied.
    std::vector<std::uint32_t> getVector(const QRect& r) const;
    // Writes `pixels` row by row into `r`; returns how many were written (fewer when they ran
    // out before the rectangle was full).
    std::size_t setVector(const QRect& r, std::span<const std::uint32_t> pixels);
    // The same, as bytes A, R, G, B per pixel.
    std::vector<std::uint8_t> getPixels(const QRect& r) const;
    std::size_t setPixels(const QRect& r, std::span<const std::uint8_t> bytes);

    void fillRect(const QRect& r, std::uint32_t argb);
    // Source pixels of `srcRect` to `dest`. With `alpha`, each source alpha is multiplied by
    // that bitmap's alpha at `alphaPoint` plus the offset into srcRect. With `mergeAlpha` the
    // source is drawn over the destination; without, it replaces it.
    void copyPixels(const BitmapData& src, const QRect& srcRect, QPoint dest,
                    const BitmapData* alpha = nullptr, QPoint alphaPoint = {},
                    bool mergeAlpha = false);
    void copyChannel(const BitmapData& src, const QRect& srcRect, QPoint dest,
                     std::uint32_t srcChannel, std::uint32_t destChannel);
    // new = (src * mult + dest * (256 - mult)) / 256 per channel.
    void merge(const BitmapData& src, const QRect& srcRect, QPoint dest, std::uint32_t redMult,
               std::uint32_t greenMult, std::uint32_t blueMult, std::uint32_t alphaMult);
    // Each destination pixel is the sum of the four tables at the source's channels; a missing
    // table passes its channel through.
    void paletteMap(const BitmapData& src, const QRect& srcRect, QPoint dest,
                    const std::array<const std::vector<std::uint32_t>*, 4>& redGreenBlueAlpha);
    // `op` is one of "<", "<=", ">", ">=", "==", "!=". Pixels whose (src & mask) op (threshold &
    // mask) become `color`; others take the source pixel with `copySource`, else stay. Returns
    // the number that passed.
    std::uint32_t threshold(const BitmapData& src, const QRect& srcRect, QPoint dest,
                            const QString& op, std::uint32_t threshold, std::uint32_t color,
                            std::uint32_t mask, bool copySource);
    void colorTransform(const QRect& r, const ColorTransform& ct);
    void scroll(int dx, int dy);
    // Fills the 4-connected area of pixels equal to the one at (x, y).
    void floodFill(int x, int y, std::uint32_t argb);
    // Uniform random channel values in [low, high]; unselected colour channels are 0, and the
    // alpha is 255 unless selected (and the bitmap is transparent).
    void noise(std::int32_t seed, std::uint32_t low = 0, std::uint32_t high = 255,
               std::uint32_t channels = Red | Green | Blue, bool grayScale = false);
    // Gradient noise with `octaves` layers, the first `baseX` by `baseY` pixels a cell, each
    // next one half as large and half as strong; `offsets` moves each octave (pixels). Fractal
    // noise maps the signed sum onto 0..255; otherwise (turbulence) the sum of magnitudes.
    // `stitch` makes the pattern repeat across the bitmap's edges. Same seed, same picture.
    void perlinNoise(double baseX, double baseY, std::uint32_t octaves, std::int32_t seed,
                     bool stitch, bool fractal, std::uint32_t channels = Red | Green | Blue,
                     bool grayScale = false, std::span<const QPointF> offsets = {});

    // pixelDissolve: `count` pixels of srcRect (clipped as copyPixels clips), chosen in an order
    // that `seed` fixes, take the source's pixel at `dest` - or `fillColor` when the source is
    // this bitmap. The order visits every pixel of the rectangle once before any again, and the
    // returned seed goes on where this call stopped, so calls chained through it dissolve the
    // whole rectangle without repeating a pixel.
    std::int32_t pixelDissolve(const BitmapData& src, const QRect& srcRect, QPoint dest,
                               std::int32_t seed, std::int64_t count, std::uint32_t fillColor);

    // compare: 0 when both are alike pixel for pixel, -2 when either is disposed, -3 when the
    // widths differ, -4 when only the heights do; else 1 and `difference` receives a new
    // bitmap (null when the budget refuses it) holding, per pixel, 0 where both agree,
    // 0xFFRRGGBB with this minus the other's colour channels (each wrapping to a byte) where the
    // colours differ, and 0xZZFFFFFF with the alpha difference where only the alpha does.
    int compare(const BitmapData& other, std::shared_ptr<BitmapData>& difference) const;

    // Whether an opaque-enough pixel (alpha >= threshold) of this bitmap, placed at
    // `firstPoint`, meets the point / rectangle / bitmap given (in the same space).
    bool hitTestPoint(QPoint firstPoint, std::uint32_t alphaThreshold, QPoint p) const;
    bool hitTestRect(QPoint firstPoint, std::uint32_t alphaThreshold, const QRect& r) const;
    bool hitTestBitmap(QPoint firstPoint, std::uint32_t alphaThreshold, const BitmapData& other,
                       QPoint secondPoint, std::uint32_t secondAlphaThreshold) const;
    // The smallest rectangle holding every pixel whose (ARGB & mask) equals colour (or differs
    // from it when `find` is false).
    QRect colorBoundsRect(std::uint32_t mask, std::uint32_t color, bool find = true) const;

    // draw(): another bitmap, mapped by `m` (source pixels to ours), colour-transformed, blended
    // and clipped (`clip` in our pixels; empty: none).
    void draw(BitmapDrawer& drawer, const BitmapData& src, const QTransform& m,
              const ColorTransform& ct, BlendMode blend, const QRectF& clip, bool smooth);
    // ... or a display object, through the renderer; `m` maps its twips to our pixels.
    void draw(BitmapDrawer& drawer, const Player& player, const DisplayObject* object,
              const MovieClip* timeline, const QTransform& m, const ColorTransform& ct,
              BlendMode blend, const QRectF& clip, bool smooth);
    // The filter applied to srcRect of `src`, written at `dest` (replacing what was there).
    void applyFilter(BitmapDrawer& drawer, const BitmapData& src, const QRect& srcRect, QPoint dest,
                     const Filter& filter);
    // The area applyFilter would change for srcRect.
    static QRect filterRect(BitmapDrawer& drawer, const QRect& srcRect, const Filter& filter);

private:
    BitmapData(QImage image, bool transparent, std::shared_ptr<BitmapBudget> budget);
    // Clips a source rectangle and its destination to both bitmaps: the source rectangle that
    // lands inside, and where its top-left goes.
    bool clipCopy(const BitmapData& src, QRect& srcRect, QPoint& dest) const;
    std::uint32_t pixelAt(int x, int y) const; // unpremultiplied, coordinates inside
    void putPixel(int x, int y, std::uint32_t argb);
    void touch() { ++m_generation; }

    QImage m_image;
    bool m_transparent;
    std::shared_ptr<BitmapBudget> m_budget;
    std::size_t m_bytes = 0;
    std::uint64_t m_generation = 0;
    int m_locks = 0;
};

// ARGB helpers: (un)premultiplying one pixel.
std::uint32_t premultiply(std::uint32_t argb);
std::uint32_t unpremultiply(std::uint32_t premultiplied);

} // namespace swf
