#pragma once

#include <QRect>
#include <QRectF>
#include <QSize>

// The main window's logical coordinates for its client area. Controls keep their place in
// pixels; this only converts. By default the unit is the twip (1440 per inch at the screen's
// logical dpi) with the origin at the client area's top-left corner.
//
// The four measures can be redefined (full-screen mode does so). A redefined width or height
// fixes the size of the logical unit along that axis against the client area of that moment;
// later size changes keep the unit's size and change the logical extent, as the plain twip
// scale does. So controls stay where they are when the window is resized, and the layout's
// constants keep one meaning between two redefinitions.
class ClientScale {
public:
    explicit ClientScale(double twipsPerPixel = 15.0)
        : m_tpp(twipsPerPixel), m_upx(twipsPerPixel), m_upy(twipsPerPixel) {}

    double twipsPerPixel() const { return m_tpp; }

    // The client area changed size (pixels).
    void setClientSize(QSize pixels) { m_client = pixels; }
    QSize clientSize() const { return m_client; }

    float left() const { return m_left; }
    float top() const { return m_top; }
    float width() const { return float(m_client.width() * m_upx); }
    float height() const { return float(m_client.height() * m_upy); }

    // Redefinition. The origin moves; the unit stays. An extent redefines the unit so that the
    // client area as it is now spans exactly that many units. A client area with no extent
    // along that axis (minimized) cannot carry a unit, so the unit is kept as it was.
    void setLeft(float left) { m_left = left; }
    void setTop(float top) { m_top = top; }
    void setWidth(float width);
    void setHeight(float height);

    // Logical units per pixel along each axis.
    double unitsPerPixelX() const { return m_upx; }
    double unitsPerPixelY() const { return m_upy; }

    float toLogicalX(double px) const { return float(m_left + px * m_upx); }
    float toLogicalY(double px) const { return float(m_top + px * m_upy); }
    float toLogicalWidth(double px) const { return float(px * m_upx); }
    float toLogicalHeight(double px) const { return float(px * m_upy); }
    int toPixelsX(float x) const;
    int toPixelsY(float y) const;
    int toPixelsWidth(float w) const;
    int toPixelsHeight(float h) const;

private:
    double m_tpp;
    double m_upx;
    double m_upy;
    QSize m_client;
    float m_left = 0;
    float m_top = 0;
};
