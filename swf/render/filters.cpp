#include "swf/render/filters.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>

namespace swf::render {
namespace {

using Plane = std::vector<std::uint8_t>; // one byte a pixel, row after row

int passesOf(const Filter& f) {
    return std::clamp<int>(f.passes, 1, kMaxFilterPasses);
}

// A box width in device pixels; 1 leaves the pixels alone.
int boxWidth(double blur, double scale, int limit) {
    const double w = std::abs(blur) * scale;
    if (!std::isfinite(w) || w < 1.5)
        return 1;
    return int(std::min<double>(std::lround(w), std::max(1, limit)));
}

// Box blurs `channels` interleaved byte channels in place, `passes` times; pixels beyond the
// edges count as transparent. A running sum keeps it linear in the pixels, whatever the width.
void boxBlur(std::uint8_t* data, int width, int height, std::ptrdiff_t stride, int channels, int bx,
             int by, int passes) {
    std::vector<std::uint32_t> line(std::size_t(std::max(width, height)) * channels);
    auto blurLine = [&](std::uint8_t* first, int n, std::ptrdiff_t step, int box) {
        const int before = (box - 1) / 2, after = box - 1 - before;
        for (int i = 0; i < n; ++i) {
            for (int c = 0; c < channels; ++c)
                line[std::size_t(i) * channels + c] = first[i * step + c];
        }
        std::array<std::uint32_t, 4> sum{};
        for (int i = 0; i < std::min(after, n); ++i) {
            for (int c = 0; c < channels; ++c)
                sum[c] += line[std::size_t(i) * channels + c];
        }
        for (int i = 0; i < n; ++i) {
            const int in = i + after, out = i - before - 1;
            for (int c = 0; c < channels; ++c) {
                if (in < n)
                    sum[c] += line[std::size_t(in) * channels + c];
                if (out >= 0)
                    sum[c] -= line[std::size_t(out) * channels + c];
                first[i * step + c] = std::uint8_t((sum[c] + std::uint32_t(box) / 2) / box);
            }
        }
    };
    for (int p = 0; p < passes; ++p) {
        if (bx > 1) {
            for (int y = 0; y < height; ++y)
                blurLine(data + y * stride, width, channels, bx);
        }
        if (by > 1) {
            for (int x = 0; x < width; ++x)
                blurLine(data + std::ptrdiff_t(x) * channels, height, stride, by);
        }
    }
}

Plane alphaOf(const QImage& img, bool inverted) {
    Plane a(std::size_t(img.width()) * img.height());
    for (int y = 0; y < img.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(img.constScanLine(y));
        for (int x = 0; x < img.width(); ++x) {
            const int v = qAlpha(line[x]);
            a[std::size_t(y) * img.width() + x] = std::uint8_t(inverted ? 255 - v : v);
        }
    }
    return a;
}

void blurPlane(Plane& p, int w, int h, const Filter& f, double sx, double sy) {
    boxBlur(p.data(), w, h, w, 1, boxWidth(f.blurX, sx, w), boxWidth(f.blurY, sy, h), passesOf(f));
}

// The plane moved by (dx, dy) pixels; what comes in from outside is 0.
Plane shifted(const Plane& p, int w, int h, int dx, int dy) {
    if (dx == 0 && dy == 0)
        return p;
    Plane out(p.size(), 0);
    for (int y = 0; y < h; ++y) {
        const int sy = y - dy;
        if (sy < 0 || sy >= h)
            continue;
        for (int x = 0; x < w; ++x) {
            const int sx = x - dx;
            if (sx >= 0 && sx < w)
                out[std::size_t(y) * w + x] = p[std::size_t(sy) * w + sx];
        }
    }
    return out;
}

std::uint8_t strengthened(int v, double strength) {
    return std::uint8_t(std::clamp(std::lround(v * strength), 0L, 255L));
}

QRgb premultiplied(Rgba c, int coverage) {
    const int a = c.a * coverage / 255;
    return qRgba(c.r * a / 255, c.g * a / 255, c.b * a / 255, a);
}

QRgb over(QRgb top, QRgb under) {
    const int k = 255 - qAlpha(top);
    return qRgba(qRed(top) + qRed(under) * k / 255, qGreen(top) + qGreen(under) * k / 255,
                 qBlue(top) + qBlue(under) * k / 255, qAlpha(top) + qAlpha(under) * k / 255);
}

QRgb scaled(QRgb c, int k) {
    return qRgba(qRed(c) * k / 255, qGreen(c) * k / 255, qBlue(c) * k / 255, qAlpha(c) * k / 255);
}

// Puts an effect (premultiplied, one pixel per layer pixel) together with the object as the
// flags ask: inner effects lie on the object, outer ones under it; knockout keeps the effect
// alone where it does not cover the object (outer) or only on it (inner); without
// CompositeSource the object itself is hidden.
void combine(QImage& layer, const std::vector<QRgb>& effect, const Plane& objectAlpha, bool inner,
             const Filter& f) {
    const int w = layer.width();
    for (int y = 0; y < layer.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(layer.scanLine(y));
        for (int x = 0; x < w; ++x) {
            const std::size_t i = std::size_t(y) * w + x;
            const QRgb e = effect[i];
            const QRgb src = line[x];
            if (f.knockout) {
                line[x] = inner ? e : scaled(e, 255 - objectAlpha[i]);
            } else if (!f.compositeSource) {
                line[x] = e;
            } else {
                line[x] = inner ? over(e, src) : over(src, e);
            }
        }
    }
}

void shadowOrGlow(QImage& layer, const Filter& f, double sx, double sy, bool distance) {
    const int w = layer.width(), h = layer.height();
    const Plane object = alphaOf(layer, false);
    Plane p = alphaOf(layer, f.inner);
    blurPlane(p, w, h, f, sx, sy);
    if (distance) {
        const int dx = int(std::lround(std::cos(f.angle) * f.distance * sx));
        const int dy = int(std::lround(std::sin(f.angle) * f.distance * sy));
        p = shifted(p, w, h, std::clamp(dx, -w, w), std::clamp(dy, -h, h));
    }
    const Rgba color = f.colors.empty() ? Rgba{0, 0, 0, 255} : f.colors.front();
    std::vector<QRgb> effect(p.size());
    for (std::size_t i = 0; i < p.size(); ++i) {
        int v = strengthened(p[i], f.strength);
        if (f.inner)
            v = v * object[i] / 255;
        effect[i] = premultiplied(color, v);
    }
    combine(layer, effect, object, f.inner, f);
}

// 256 colours along a gradient filter's stops (straight alpha).
std::array<Rgba, 256> gradientTable(const Filter& f) {
    std::array<Rgba, 256> t{};
    const std::size_t n = std::min(f.colors.size(), f.ratios.size());
    if (n == 0)
        return t;
    for (int i = 0; i < 256; ++i) {
        std::size_t k = 0;
        while (k + 1 < n && f.ratios[k + 1] <= i)
            ++k;
        if (i <= f.ratios[0] || k + 1 >= n) {
            t[i] = f.colors[i <= f.ratios[0] ? 0 : n - 1];
            continue;
        }
        const double span = std::max(1, f.ratios[k + 1] - f.ratios[k]);
        const double u = std::clamp((i - f.ratios[k]) / span, 0.0, 1.0);
        auto mix = [u](int a, int b) { return std::uint8_t(std::lround(a + (b - a) * u)); };
        const Rgba a = f.colors[k], b = f.colors[k + 1];
        t[i] = Rgba{mix(a.r, b.r), mix(a.g, b.g), mix(a.b, b.b), mix(a.a, b.a)};
    }
    return t;
}

void gradientGlow(QImage& layer, const Filter& f, double sx, double sy) {
    const int w = layer.width(), h = layer.height();
    const Plane object = alphaOf(layer, false);
    Plane p = alphaOf(layer, f.inner);
    blurPlane(p, w, h, f, sx, sy);
    const int dx = int(std::lround(std::cos(f.angle) * f.distance * sx));
    const int dy = int(std::lround(std::sin(f.angle) * f.distance * sy));
    p = shifted(p, w, h, std::clamp(dx, -w, w), std::clamp(dy, -h, h));
    const auto table = gradientTable(f);
    std::vector<QRgb> effect(p.size());
    for (std::size_t i = 0; i < p.size(); ++i) {
        QRgb c = premultiplied(table[strengthened(p[i], f.strength)], 255);
        if (f.inner)
            c = scaled(c, object[i]);
        effect[i] = c;
    }
    combine(layer, effect, object, f.inner, f);
}

// Bevels light the object from the filter's angle: the blurred outline moved towards the light
// and away from it; where they differ, highlight on the lit side, shadow on the other. Inner
// bevels stay on the object, outer ones around it, full (OnTop) ones both.
void bevel(QImage& layer, const Filter& f, double sx, double sy, bool gradient) {
    const int w = layer.width(), h = layer.height();
    const Plane object = alphaOf(layer, false);
    Plane p = object;
    blurPlane(p, w, h, f, sx, sy);
    const int dx = std::clamp(int(std::lround(std::cos(f.angle) * f.distance * sx)), -w, w);
    const int dy = std::clamp(int(std::lround(std::sin(f.angle) * f.distance * sy)), -h, h);
    const Plane toward = shifted(p, w, h, dx, dy), away = shifted(p, w, h, -dx, -dy);
    const Rgba shadow = f.colors.size() > 0 ? f.colors[0] : Rgba{0, 0, 0, 255};
    const Rgba light = f.colors.size() > 1 ? f.colors[1] : Rgba{255, 255, 255, 255};
    const auto table = gradient ? gradientTable(f) : std::array<Rgba, 256>{};
    std::vector<QRgb> effect(p.size());
    for (std::size_t i = 0; i < p.size(); ++i) {
        const double d = (int(toward[i]) - int(away[i])) * f.strength; // > 0: shadow side
        QRgb c;
        if (gradient) {
            c = premultiplied(table[std::size_t(std::clamp(128 - d / 2, 0.0, 255.0))], 255);
        } else {
            const int v = int(std::clamp(std::abs(d), 0.0, 255.0));
            c = premultiplied(d > 0 ? shadow : light, v);
        }
        if (f.onTop) {
            // full: everywhere
        } else if (f.inner) {
            c = scaled(c, object[i]);
        } else {
            c = scaled(c, 255 - object[i]);
        }
        effect[i] = c;
    }
    combine(layer, effect, object, f.inner || f.onTop, f);
}

void blur(QImage& layer, const Filter& f, double sx, double sy) {
    boxBlur(layer.bits(), layer.width(), layer.height(), layer.bytesPerLine(), 4,
            boxWidth(f.blurX, sx, layer.width()), boxWidth(f.blurY, sy, layer.height()),
            passesOf(f));
}

void colorMatrix(QImage& layer, const Filter& f) {
    if (f.matrix.size() != 20)
        return;
    const float* m = f.matrix.data();
    for (int y = 0; y < layer.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(layer.scanLine(y));
        for (int x = 0; x < layer.width(); ++x) {
            const QRgb p = qUnpremultiply(line[x]);
            const double in[4] = {double(qRed(p)), double(qGreen(p)), double(qBlue(p)),
                                  double(qAlpha(p))};
            int out[4];
            for (int r = 0; r < 4; ++r) {
                const float* row = m + 5 * r;
                const double v =
                    row[0] * in[0] + row[1] * in[1] + row[2] * in[2] + row[3] * in[3] + row[4];
                out[r] = std::isfinite(v) ? int(std::clamp(v, 0.0, 255.0)) : 0;
            }
            line[x] = qPremultiply(qRgba(out[0], out[1], out[2], out[3]));
        }
    }
}

void convolution(QImage& layer, const Filter& f) {
    const int kw = f.matrixX, kh = f.matrixY;
    // Larger kernels are not applied: their cost per pixel would be unbounded.
    if (kw == 0 || kh == 0 || kw > kMaxKernelSide || kh > kMaxKernelSide ||
        f.matrix.size() != std::size_t(kw) * kh)
        return;
    const double divisor = f.divisor != 0 && std::isfinite(f.divisor) ? f.divisor : 1;
    const QImage src = layer.convertToFormat(QImage::Format_ARGB32);
    const int w = src.width(), h = src.height();
    const QRgb outside =
        qRgba(f.defaultColor.r, f.defaultColor.g, f.defaultColor.b, f.defaultColor.a);
    for (int y = 0; y < h; ++y) {
        auto* line = reinterpret_cast<QRgb*>(layer.scanLine(y));
        for (int x = 0; x < w; ++x) {
            double sum[4] = {0, 0, 0, 0};
            for (int j = 0; j < kh; ++j) {
                for (int i = 0; i < kw; ++i) {
                    int px = x + i - kw / 2, py = y + j - kh / 2;
                    QRgb s;
                    if (px < 0 || py < 0 || px >= w || py >= h) {
                        if (!f.clamp) {
                            s = outside;
                        } else {
                            px = std::clamp(px, 0, w - 1);
                            py = std::clamp(py, 0, h - 1);
                            s = src.pixel(px, py);
                        }
                    } else {
                        s = reinterpret_cast<const QRgb*>(src.constScanLine(py))[px];
                    }
                    const double k = f.matrix[std::size_t(j) * kw + i];
                    sum[0] += k * qRed(s);
                    sum[1] += k * qGreen(s);
                    sum[2] += k * qBlue(s);
                    sum[3] += k * qAlpha(s);
                }
            }
            int out[4];
            for (int c = 0; c < 4; ++c) {
                const double v = sum[c] / divisor + f.bias;
                out[c] = std::isfinite(v) ? int(std::clamp(v, 0.0, 255.0)) : 0;
            }
            if (f.preserveAlpha)
                out[3] = qAlpha(reinterpret_cast<const QRgb*>(src.constScanLine(y))[x]);
            line[x] = qPremultiply(qRgba(out[0], out[1], out[2], out[3]));
        }
    }
}

} // namespace

double filterReach(const std::vector<Filter>& filters, double scaleX, double scaleY) {
    double reach = 0;
    for (const Filter& f : filters) {
        const double passes = passesOf(f);
        const double spread = std::max(std::abs(f.blurX) * scaleX, std::abs(f.blurY) * scaleY);
        double r = (std::isfinite(spread) ? spread : 0) * passes / 2 + 2;
        if (f.type != FilterType::Blur && f.type != FilterType::Glow &&
            f.type != FilterType::ColorMatrix && f.type != FilterType::Convolution) {
            const double d = std::abs(f.distance) * std::max(scaleX, scaleY);
            r += std::isfinite(d) ? d : 0;
        }
        if (f.type == FilterType::Convolution)
            r = kMaxKernelSide;
        if (f.type == FilterType::ColorMatrix)
            r = 0;
        reach += r;
    }
    return std::min(reach, 2048.0);
}

void applyFilters(QImage& layer, const std::vector<Filter>& filters, double scaleX, double scaleY) {
    if (layer.isNull())
        return;
    if (layer.format() != QImage::Format_ARGB32_Premultiplied)
        layer = layer.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    for (const Filter& f : filters) {
        switch (f.type) {
        case FilterType::DropShadow:
            shadowOrGlow(layer, f, scaleX, scaleY, true);
            break;
        case FilterType::Glow:
            shadowOrGlow(layer, f, scaleX, scaleY, false);
            break;
        case FilterType::Blur:
            blur(layer, f, scaleX, scaleY);
            break;
        case FilterType::Bevel:
            bevel(layer, f, scaleX, scaleY, false);
            break;
        case FilterType::GradientBevel:
            bevel(layer, f, scaleX, scaleY, true);
            break;
        case FilterType::GradientGlow:
            gradientGlow(layer, f, scaleX, scaleY);
            break;
        case FilterType::Convolution:
            convolution(layer, f);
            break;
        case FilterType::ColorMatrix:
            colorMatrix(layer, f);
            break;
        }
    }
}

} // namespace swf::render
