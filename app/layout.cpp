#include "app/layout.h"

namespace {

// A derived width or height is only applied when it is more than this (strictly).
constexpr float kMinimumExtent = 10;
// From the client area's bottom to the list's bottom, plus the list's top.
constexpr float kListAllowance = 450;

} // namespace

void layOutOnResize(LayoutSurface& s) {
    // float throughout: the measures are single precision and so is the arithmetic on them.
    s.setMovieTop(s.scaleTop());
    s.setMovieLeft(s.panelWidth());
    const float spare = s.scaleWidth() - s.panelWidth();
    if (spare > kMinimumExtent)
        s.setMovieWidth(s.scaleWidth() - s.panelWidth());
    s.setMovieHeight(s.scaleHeight());
    s.setPanelHeight(s.scaleHeight());
    // Read back: the panel may have been given a little more or less than asked for.
    const float panel = s.panelHeight();
    if (panel - kListAllowance > kMinimumExtent)
        s.setListHeight(panel - kListAllowance);
}
