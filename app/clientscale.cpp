#include "app/clientscale.h"

#include <cmath>

void ClientScale::setClientSize(QSize pixels) {
    m_client = pixels;
}

float ClientScale::width() const {
    return float(m_client.width() * m_tpp);
}
float ClientScale::height() const {
    return float(m_client.height() * m_tpp);
}

double ClientScale::unitsPerPixelX() const {
    return m_tpp;
}
double ClientScale::unitsPerPixelY() const {
    return m_tpp;
}

int ClientScale::toPixelsX(float x) const {
    return int(std::lround((double(x) - m_left) / unitsPerPixelX()));
}
int ClientScale::toPixelsY(float y) const {
    return int(std::lround((double(y) - m_top) / unitsPerPixelY()));
}
int ClientScale::toPixelsWidth(float w) const {
    return int(std::lround(w / unitsPerPixelX()));
}
int ClientScale::toPixelsHeight(float h) const {
    return int(std::lround(h / unitsPerPixelY()));
}
