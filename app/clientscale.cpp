#include "app/clientscale.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

// Pixels are ints; a logical value far outside the client area (a huge or non-finite scale
// measure) is clamped rather than converted with undefined behaviour.
int toPixels(double v) {
    if (std::isnan(v))
        return 0;
    constexpr double lo = std::numeric_limits<int>::min() / 2;
    constexpr double hi = std::numeric_limits<int>::max() / 2;
    return int(std::lround(std::clamp(v, lo, hi)));
}

} // namespace

void ClientScale::setWidth(float width) {
    if (m_client.width() > 0)
        m_upx = double(width) / m_client.width();
}

void ClientScale::setHeight(float height) {
    if (m_client.height() > 0)
        m_upy = double(height) / m_client.height();
}

int ClientScale::toPixelsX(float x) const {
    return toPixels((double(x) - m_left) / m_upx);
}
int ClientScale::toPixelsY(float y) const {
    return toPixels((double(y) - m_top) / m_upy);
}
int ClientScale::toPixelsWidth(float w) const {
    return toPixels(w / m_upx);
}
int ClientScale::toPixelsHeight(float h) const {
    return toPixels(h / m_upy);
}
