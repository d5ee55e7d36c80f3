#pragma once

// Filtered layers kept from one frame to the next. Blurs, shadows and glows cost far more than
// drawing what they filter, and most filtered objects look the same frame after frame, or only
// move. A layer whose pixels and filters are exactly those of a layer filtered lately gets the
// same result again, without filtering: the answer is the one filtering would give, bit for
// bit, because the key is everything the filters read.

#include "swf/timeline.h"

#include <QImage>
#include <cstdint>
#include <vector>

namespace swf::render {

class FilterCache {
public:
    // Applies `filters` to `layer` as applyFilters() does, from a kept result when one matches.
    void apply(QImage& layer, const std::vector<Filter>& filters, double scaleX, double scaleY);
    // A new picture begins: results unused by the last two pictures are dropped.
    void nextPicture();
    void clear();

    std::size_t entries() const { return m_entries.size(); }
    std::size_t hits() const { return m_hits; }

private:
    struct Entry {
        QImage raw, filtered; // own copies, not the canvas's working memory
        std::vector<Filter> filters;
        double scaleX = 1, scaleY = 1;
        std::uint64_t lastUse = 0;
    };
    std::vector<Entry> m_entries;
    std::size_t m_bytes = 0;
    std::uint64_t m_picture = 0;
    std::size_t m_hits = 0;
};

} // namespace swf::render
