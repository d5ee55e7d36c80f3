#pragma once

#include <QString>
#include <Qt>
#include <QtGlobal>

// The main window's frame as a word of style bits, with the values the title-bar switch works
// on. The bits are the model; Qt's window flags are what this platform is told.
namespace style {
constexpr quint32 WS_CAPTION = 0x00C00000;
constexpr quint32 WS_SYSMENU = 0x00080000;
constexpr quint32 WS_THICKFRAME = 0x00040000;
constexpr quint32 WS_MINIMIZEBOX = 0x00020000;
constexpr quint32 WS_MAXIMIZEBOX = 0x00010000;
constexpr quint32 WS_CLIPCHILDREN = 0x02000000;
constexpr quint32 WS_CLIPSIBLINGS = 0x04000000;
// Clears the caption, the system menu and both boxes; leaves every other bit.
constexpr quint32 kHideTitleBarMask = 0xFF34FFFF;
} // namespace style

// Which boxes the window was designed with; they decide what comes back with the title bar.
struct FrameDesign {
    bool controlBox = true;
    bool maxButton = true;
    bool minButton = true;
};

struct WindowStyle {
    quint32 bits = 0;

    // An ordinary resizable top-level window with every box.
    static WindowStyle overlapped() {
        using namespace style;
        return {WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX |
                WS_CLIPCHILDREN | WS_CLIPSIBLINGS};
    }

    bool has(quint32 b) const { return (bits & b) == b; }

    // The title bar switched on or off. Showing only adds bits; the caption bits come back only
    // for a caption that is not empty.
    WindowStyle withTitleBar(bool show, const FrameDesign& design, const QString& caption) const;

    // The flags that give a top-level window this frame on this platform.
    Qt::WindowFlags toQtFlags() const;

    friend bool operator==(WindowStyle, WindowStyle) = default;
};
