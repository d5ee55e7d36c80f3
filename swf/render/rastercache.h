#pragma once

// Shapes that cost much to rasterise, drawn alone onto pixels of their own and kept between
// pictures. Qt's anti-aliasing rasteriser spends most of a detailed frame flattening curves,
// stroking lines and walking edges; a shape that stands still (or moves by whole pixels, or
// stands in a band that is redrawn around it) then costs one blend of its pixels.
//
// Whether a shape goes this way depends only on its outlines and its transform, never on what
// is kept or on the clip: a shape is always drawn through its own picture or never. So a kept
// picture gives the same pixels as a fresh one, partial redraws equal whole ones and both
// drawing threads agree, whatever each renderer happens to hold.

#include "swf/shape.h"
#include "swf/types.h"

#include <QImage>
#include <QRect>
#include <QTransform>
#include <array>
#include <atomic>
#include <compare>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>

namespace swf::render {

class Canvas;

// Everything a shape's own picture depends on. The transform is the device one (the shape's
// coordinates to the pixels drawn on) less its whole pixels of translation, which only say
// where the picture goes.
struct RasterKey {
    std::uint64_t serial = 0; // the character, by serial and generation
    std::uint32_t generation = 0;
    std::uint32_t ratio = 0;     // a morph's step; 0 for a shape
    std::uint64_t layout = 0;    // an edit text's layout (its text, format and size); else 0
    std::uint64_t textColor = 0; // the colour a script gave an edit text (1 << 32 | RGBA); else 0
    std::uint64_t bitmap = 0;    // the bitmap a shape's fills show, by serial and generation
    std::uint32_t bitmapGeneration = 0;
    double m11 = 1, m12 = 0, m21 = 0, m22 = 1;
    double dx = 0, dy = 0; // the fraction of a pixel, in [0, 1)
    std::array<std::int32_t, 8> color{256, 256, 256, 256, 0, 0, 0, 0};
    double viewScale = 1; // strokes that keep their width on any scale
    int quality = 0;
    // The picture's rectangle from the whole-pixel translation: a shape reaching past the
    // canvas's layer area is pictured only within it, so this says which part is held.
    std::array<int, 4> area{};

    auto operator<=>(const RasterKey&) const = default;
};

// The memory pictures may hold, shared by the caches that draw one view (one per drawing
// thread), so that the view keeps at most that much whichever thread drew what.
class RasterBudget {
public:
    explicit RasterBudget(std::size_t limit) : m_limit(limit) {}
    // Takes `bytes` if they fit, all or nothing; safe from any thread.
    bool take(std::size_t bytes);
    void give(std::size_t bytes) { m_used.fetch_sub(bytes); }
    std::size_t used() const { return m_used.load(); }
    std::size_t limit() const { return m_limit; }

private:
    const std::size_t m_limit;
    std::atomic<std::size_t> m_used{0};
};

class RasterCache {
public:
    RasterCache();
    ~RasterCache();
    RasterCache(const RasterCache&) = delete;
    RasterCache& operator=(const RasterCache&) = delete;

    // Draws the shape's outlines mapped by `m` (canvas coordinates, as `draw` takes them).
    using Draw = std::function<void(Canvas&, const QTransform& m)>;
    // Device bounds of the shape's pixels drawn mapped by `m`, strokes and anti-aliasing
    // included: what the picture must cover.
    using Bounds = std::function<QRectF(const QTransform& m)>;

    // The shape `id` (serial, generation, ratio: the other fields are filled here), whose
    // outlines cost `cost` (see costOf), mapped by `m` with colour transform `ct` onto `canvas`,
    // through its own picture: true when drawn so, false (drawing nothing) when it must be
    // drawn directly. Only the part within the canvas's layer area is pictured.
    bool draw(Canvas& canvas, RasterKey id, qint64 cost, const QTransform& m,
              const ColorTransform& ct, double viewScale, const Bounds& bounds, const Draw& draw);

    // What rasterising a shape's outlines costs, in path elements (a line's counting more than a
    // fill's, a fill of the movie's own bitmap as much as the largest picture allows); negative
    // for outlines that must not be pictured (fills of a script's bitmap).
    static qint64 costOf(const ShapeGeometry& g);
    // Whether outlines of `cost` covering `pixels` device pixels are worth a picture.
    static bool worthIt(qint64 cost, QSize pixels);

    // A new picture begins: pictures unused by the last few are dropped.
    void nextPicture();
    void clear();
    // Draws from `budget` from now on (what is kept is dropped): a view's second drawing thread
    // shares the first's.
    void shareBudget(std::shared_ptr<RasterBudget> budget);
    const std::shared_ptr<RasterBudget>& budget() const { return m_budget; }

    std::size_t entries() const { return m_entries.size(); }
    std::size_t bytes() const { return m_bytes; }
    std::size_t hits() const { return m_hits; }
    std::size_t misses() const { return m_misses; }

    // Below this cost outlines are always drawn directly.
    static constexpr qint64 kMinCost = 64;
    // The most kept, in bytes, by a cache or the caches sharing its budget; a picture that does
    // not fit is drawn and not kept.
    static constexpr std::size_t kMaxBytes = std::size_t(64) << 20;

    // Tests only: changes each key before it is looked up, to show that a key missing a field
    // gives wrong pixels.
    void setKeyFilter(std::function<void(RasterKey&)> filter) { m_keyFilter = std::move(filter); }

private:
    struct Entry {
        QImage image;
        QPoint offset; // of the picture's top left pixel from the whole-pixel translation
        std::uint64_t lastUse = 0;
    };
    // Takes `bytes` from the budget, dropping this cache's least recently used pictures as
    // needed; false when they do not fit even so.
    bool makeRoom(std::size_t bytes);
    void drop(std::size_t bytes);

    std::map<RasterKey, Entry> m_entries;
    std::size_t m_bytes = 0;
    std::shared_ptr<RasterBudget> m_budget;
    std::uint64_t m_picture = 0;
    std::size_t m_hits = 0, m_misses = 0;
    std::function<void(RasterKey&)> m_keyFilter;
};

} // namespace swf::render
