#include "app/windowstyle.h"

using namespace style;

WindowStyle WindowStyle::withTitleBar(bool show, const FrameDesign& design,
                                      const QString& caption) const {
    quint32 s = bits;
    if (!show)
        return {s & kHideTitleBarMask};
    if (design.controlBox)
        s |= WS_SYSMENU;
    if (design.maxButton)
        s |= WS_MAXIMIZEBOX;
    if (design.minButton)
        s |= WS_MINIMIZEBOX;
    if (!caption.isEmpty())
        s |= WS_CAPTION;
    return {s};
}

Qt::WindowFlags WindowStyle::toQtFlags() const {
    // Customized: the window manager draws only what is asked for, a bare border when nothing
    // is. The close box belongs to the system menu, as the boxes belong to the title bar.
    Qt::WindowFlags f = Qt::Window | Qt::CustomizeWindowHint;
    const bool title = has(WS_CAPTION);
    if (title)
        f |= Qt::WindowTitleHint;
    if (title && has(WS_SYSMENU))
        f |= Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
    if (title && has(WS_MINIMIZEBOX))
        f |= Qt::WindowMinimizeButtonHint;
    if (title && has(WS_MAXIMIZEBOX))
        f |= Qt::WindowMaximizeButtonHint;
    if (!title && !has(WS_THICKFRAME))
        f |= Qt::FramelessWindowHint;
    return f;
}
