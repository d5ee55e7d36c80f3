#pragma once

// Which part of the stage may look different from one frame to the next, so a view can redraw
// only that part and nothing at all for a frame that changed nothing.
//
// The tracker does not ask the code that changes the scene to report: after each frame it reads
// the scene as the renderer would draw it (every visible object's character, matrix, colour
// transform, ratio, text, drawing, blend mode, filters and the masks over it, in drawing order)
// and compares that with what it read after the frame before. Whatever changes the display
// lists, the timeline, scripts or anything added later, is caught as long as what it changes
// lives there (see swf/README.md).

#include "swf/player.h"

#include <QRectF>
#include <QRegion>
#include <QTransform>
#include <cstdint>
#include <optional>
#include <unordered_map>
#include <vector>

namespace swf::render {

// A rectangle of the stage (twips) whose pixels may differ, grown by `pad` device pixels once
// mapped to a view: anti-aliasing, hairlines and filter margins that do not scale with the view.
struct ChangedArea {
    QRectF stage;
    double pad = 0;
};

struct StageChanges {
    bool everything = false;
    std::vector<ChangedArea> areas;

    bool empty() const { return !everything && areas.empty(); }
    void add(const StageChanges& other);
    // The device pixels the changes cover under `view` (stage twips to device), within `bounds`.
    QRegion deviceRegion(const QTransform& view, const QRect& bounds) const;
};

class ChangeTracker {
public:
    ChangeTracker();
    ~ChangeTracker();
    ChangeTracker(const ChangeTracker&) = delete;
    ChangeTracker& operator=(const ChangeTracker&) = delete;

    // What may look different now from the scene read at the last call. The first call, and the
    // first after reset(), reports everything.
    StageChanges update(const Player& player);
    void reset();

    // Objects read at the last update, for tests and benchmarks.
    std::size_t itemCount() const { return m_items.size(); }

    // One piece of the scene as drawn: `key` sums up everything that decides its pixels, and
    // `bounds` (stage twips, grown by `pad` device pixels) holds them all.
    struct Item {
        std::uint64_t key = 0;
        QRectF bounds;
        double pad = 0;
    };

private:
    friend struct SceneReader;
    struct LocalBounds {
        QRectF rect;          // the character's own twips, strokes included
        double stagePad = 0;  // twips of the stage (strokes that do not scale)
        double devicePad = 0; // device pixels (hairlines, miter tips of thin lines)
    };
    const LocalBounds& shapeBounds(const Character& c);
    const LocalBounds& textBounds(const Character& c);
    // A morph's outlines at its start and at its end; every point in between lies on the line
    // from one to the other, so the box at a ratio lies between these two boxes.
    const std::pair<QRectF, QRectF>& morphBounds(const MorphShape& c);

    std::vector<Item> m_items;
    bool m_valid = false;
    std::optional<Rgba> m_background;
    std::uint64_t m_dictionary = 0;
    std::unordered_map<std::uint64_t, LocalBounds> m_bounds; // by character serial
    std::unordered_map<std::uint64_t, std::pair<QRectF, QRectF>> m_morphs;
};

// The changed items between two readings of a scene: those new, gone, changed or moved in the
// drawing order, with their bounds then and now. Exposed for tests.
std::vector<ChangedArea> compareScenes(const std::vector<ChangeTracker::Item>& before,
                                       const std::vector<ChangeTracker::Item>& after);

} // namespace swf::render
