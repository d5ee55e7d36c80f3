#pragma once

#include "app/fullscreen.h"

#include <optional>

class Form1;

// Form1 as the layout and full-screen mode see it: control measures through the client scale,
// the style model applied as Qt window flags, and the platform's window states. Requests to
// the window system are waited for (input stays queued), so that the layout they cause runs
// nested inside the step that made them, as on a system where they are synchronous.
class Form1Surface : public FullScreenWindow {
public:
    explicit Form1Surface(Form1& form) : m_form(form) {}

    float scaleWidth() const override;
    float scaleHeight() const override;
    float scaleTop() const override;
    float panelWidth() const override;
    float panelHeight() const override;
    void setPanelHeight(float height) override;
    void setListHeight(float height) override;
    void setMovieTop(float top) override;
    void setMovieLeft(float left) override;
    void setMovieWidth(float width) override;
    void setMovieHeight(float height) override;

    bool fullScreenChecked() const override;
    void setFullScreenChecked(bool checked) override;
    QString title() const override;
    void setTitle(const QString& title) override;
    FrameDesign frameDesign() const override { return {}; }
    WindowStyle windowStyle() const override { return m_style; }
    void setWindowStyle(WindowStyle style) override;
    QRect outerRect() const override;
    void frameChanged(const QRect& outer) override;
    void maximize() override;
    void restoreNormal() override;
    ClientScale& clientScale() override;
    QSizeF screenSizeTwips() const override;
    StartupGeometry startupGeometry() const override;

private:
    Form1& m_form;
    WindowStyle m_style = WindowStyle::overlapped();
    // Places the window by its frame's top-left corner and its own size, the way window
    // managers take a position, and waits for it to get there.
    void place(QPoint framePos, QSize size);

    // The framed window in its normal state when its title bar was last hidden: what switching
    // the bar back on and restoring returns to. Position of the frame, size of the window.
    std::optional<QRect> m_framed;
};
