#pragma once

// The bitmap filters of PlaceObject3 and button records, applied to an object's layer.

#include "swf/timeline.h"

#include <QImage>
#include <vector>

namespace swf::render {

// Filter sizes (blur, distance) are in stage pixels; `scaleX`/`scaleY` are device pixels per
// stage pixel. The largest number of passes any filter gets, and the largest kernel side.
constexpr int kMaxFilterPasses = 15;
constexpr int kMaxKernelSide = 15;

// How far, in device pixels, the filters can reach beyond what the layer holds (at most 2048).
double filterReach(const std::vector<Filter>& filters, double scaleX, double scaleY);

// Applies `filters` in order to a premultiplied ARGB32 layer. The layer keeps its size: it must
// already have room for filterReach() around what it shows.
void applyFilters(QImage& layer, const std::vector<Filter>& filters, double scaleX, double scaleY);

} // namespace swf::render
