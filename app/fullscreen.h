#pragma once

#include "app/clientscale.h"
#include "app/layout.h"
#include "app/windowstyle.h"

#include <QRect>
#include <QSizeF>
#include <QString>
#include <optional>

// Four measures recorded at the end of start-up, read when full-screen mode ends: the client
// scale's left and top, and the window's outer width and height in twips.
struct StartupGeometry {
    float left = 0, top = 0, width = 0, height = 0;
};

// The main window as full-screen mode drives it. Besides what the layout touches: the check
// mark, the window's title, its frame and state. A change of frame or state that changes the
// client area's size runs the layout on resize before the call returns.
class FullScreenWindow : public LayoutSurface {
public:
    virtual bool fullScreenChecked() const = 0;
    virtual void setFullScreenChecked(bool checked) = 0;

    // The title as it stands, written here without the caption rule's bookkeeping.
    virtual QString title() const = 0;
    virtual void setTitle(const QString& title) = 0;

    virtual FrameDesign frameDesign() const = 0;
    virtual WindowStyle windowStyle() const = 0;
    virtual void setWindowStyle(WindowStyle style) = 0;
    // The window's outer rectangle, frame included, in screen pixels.
    virtual QRect outerRect() const = 0;
    // The frame is recomputed for the current style; the outer rectangle becomes `outer`.
    virtual void frameChanged(const QRect& outer) = 0;

    virtual void maximize() = 0;
    virtual void restoreNormal() = 0;

    virtual ClientScale& clientScale() = 0;
    virtual QSizeF screenSizeTwips() const = 0;
    virtual StartupGeometry startupGeometry() const = 0;
};

// Full-screen play: the title bar hidden, the window over the whole screen, the movie over the
// whole client area; and back. The mode itself is the check mark; this keeps the tag text and
// the caption the caption rule sets while the mode is on.
class FullScreenMode {
public:
    // The full-screen command.
    void toggle(FullScreenWindow& window);
    void SetTitleBarVisible(FullScreenWindow& window, bool show);

    // The caption rule has set `caption` as the window's title.
    void captionSet(const QString& caption);

    // Holds the caption while the title bar is hidden; never cleared.
    QString tagText() const { return m_tag; }

private:
    void switchOn(FullScreenWindow& w);
    void switchOff(FullScreenWindow& w);

    QString m_tag;
    bool m_titleHidden = false;
    // Without it, a movie chosen while the title bar is hidden would leave the title naming
    // the one shown before once the bar is back.
    std::optional<QString> m_captionWhileHidden;
};
