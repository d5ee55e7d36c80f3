#pragma once

#include <QRect>
#include <QRectF>
#include <QSize>

// The main window's logical coordinates for its client area. Controls keep their place in
// pixels; this only converts. By default the unit is the twip (1440 per inch at the screen's
// logical dpi) with the origin at the client area's top-left corner.
class ClientScale {
public:
    explicit ClientScale(double twipsPerPixel = 15.0) : m_tpp(twipsPerPixel) {}

    double twipsPerPixel() const { return m_tpp; }

    // The client area changed size (pixels).
    void setClientSize(QSize pixels);
    QSize clientSize() const { return m_client; }

    float left() const { return m_left; }
    float top() const { return m_top; }
    float width() const;
    float height() const;

    // Logical units per pixel along each axis.
    double unitsPerPixelX() const;
    double unitsPerPixelY() const;

    float toLogicalX(double px) const { return float(m_left + px * unitsPerPixelX()); }
    float toLogicalY(double px) const { return float(m_top + px * unitsPerPixelY()); }
    float toLogicalWidth(double px) const { return float(px * unitsPerPixelX()); }
    float toLogicalHeight(double px) const { return float(px * unitsPerPixelY()); }
    int toPixelsX(float x) const;
    int toPixelsY(float y) const;
    int toPixelsWidth(float w) const;
    int toPixelsHeight(float h) const;

private:
    double m_tpp;
    QSize m_client;
    float m_left = 0;
    float m_top = 0;
};
