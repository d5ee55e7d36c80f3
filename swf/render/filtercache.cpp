#include "swf/render/filtercache.h"

#include "swf/render/filters.h"

#include <algorithm>
#include <cstring>

namespace swf::render {

namespace {

// Both kept images of a layer must fit; a larger layer is filtered every time.
constexpr std::size_t kMaxLayerBytes = std::size_t(8) << 20;
constexpr std::size_t kMaxBytes = std::size_t(64) << 20;
constexpr std::size_t kMaxEntries = 64;

bool sameColor(const Rgba& a, const Rgba& b) {
    return a.r == b.r && a.g == b.g && a.b == b.b && a.a == b.a;
}

// Every field a filter reads. Numbers compare exactly: a NaN never matches, which only costs a
// filtering.
bool sameFilter(const Filter& a, const Filter& b) {
    return a.type == b.type && a.blurX == b.blurX && a.blurY == b.blurY && a.angle == b.angle &&
           a.distance == b.distance && a.strength == b.strength && a.passes == b.passes &&
           a.inner == b.inner && a.knockout == b.knockout &&
           a.compositeSource == b.compositeSource && a.onTop == b.onTop && a.matrixX == b.matrixX &&
           a.matrixY == b.matrixY && a.divisor == b.divisor && a.bias == b.bias &&
           a.matrix == b.matrix && sameColor(a.defaultColor, b.defaultColor) &&
           a.clamp == b.clamp && a.preserveAlpha == b.preserveAlpha && a.ratios == b.ratios &&
           std::equal(a.colors.begin(), a.colors.end(), b.colors.begin(), b.colors.end(),
                      sameColor);
}

bool sameFilters(const std::vector<Filter>& a, const std::vector<Filter>& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), sameFilter);
}

bool samePixels(const QImage& a, const QImage& b) {
    if (a.size() != b.size() || a.format() != b.format())
        return false;
    const std::size_t row = std::size_t(a.width()) * 4;
    for (int y = 0; y < a.height(); ++y)
        if (std::memcmp(a.constScanLine(y), b.constScanLine(y), row) != 0)
            return false;
    return true;
}

void copyPixels(const QImage& from, QImage& to) {
    const std::size_t row = std::size_t(from.width()) * 4;
    for (int y = 0; y < from.height(); ++y)
        std::memcpy(to.scanLine(y), from.constScanLine(y), row);
}

std::size_t bytesOf(const QImage& image) {
    return std::size_t(image.width()) * std::size_t(image.height()) * 4;
}

} // namespace

void FilterCache::apply(QImage& layer, const std::vector<Filter>& filters, double scaleX,
                        double scaleY) {
    if (layer.isNull() || filters.empty())
        return;
    if (layer.format() != QImage::Format_ARGB32_Premultiplied)
        layer = layer.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const std::size_t bytes = bytesOf(layer);
    if (bytes * 2 > kMaxLayerBytes) {
        applyFilters(layer, filters, scaleX, scaleY);
        return;
    }
    for (Entry& e : m_entries) {
        if (e.scaleX == scaleX && e.scaleY == scaleY && sameFilters(e.filters, filters) &&
            samePixels(e.raw, layer)) {
            copyPixels(e.filtered, layer);
            e.lastUse = m_picture;
            ++m_hits;
            return;
        }
    }
    Entry e;
    e.raw = layer.copy();
    applyFilters(layer, filters, scaleX, scaleY);
    e.filtered = layer.copy();
    e.filters = filters;
    e.scaleX = scaleX;
    e.scaleY = scaleY;
    e.lastUse = m_picture;
    // Room for it: the least recently used go first.
    while (!m_entries.empty() &&
           (m_entries.size() >= kMaxEntries || m_bytes + 2 * bytes > kMaxBytes)) {
        auto oldest =
            std::min_element(m_entries.begin(), m_entries.end(),
                             [](const Entry& a, const Entry& b) { return a.lastUse < b.lastUse; });
        m_bytes -= 2 * bytesOf(oldest->raw);
        m_entries.erase(oldest);
    }
    m_bytes += 2 * bytes;
    m_entries.push_back(std::move(e));
}

void FilterCache::nextPicture() {
    ++m_picture;
    std::erase_if(m_entries, [&](const Entry& e) {
        if (e.lastUse + 2 >= m_picture)
            return false;
        m_bytes -= 2 * bytesOf(e.raw);
        return true;
    });
}

void FilterCache::clear() {
    m_entries.clear();
    m_bytes = 0;
}

} // namespace swf::render
