#include "swf/render/filters.h"

#include "swf/render/scratch.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>

namespace swf::render {
namespace {

using Plane = Scratch<std::uint8_t>; // one byte a pixel, row after row
using Pixels = Scratch<QRgb>;

int passesOf(const Filter& f) {
    return std::clamp<int>(f.passes, 1, kMaxFilterPasses);
}

// The widest box, as wide as the widest layer the canvas makes; it keeps the means exact.
constexpr int kMaxBox = 4096;

// A box width in device pixels; 1 leaves the pixels alone.
int boxWidth(double blur, double scale, int limit) {
    const double w = std::abs(blur) * scale;
    if (!std::isfinite(w) || w < 1.5)
        return 1;
    return int(std::min<double>(std::lround(w), std::clamp(limit, 1, kMaxBox)));
}

// A box's mean, as the rounded-down (sum + box / 2) / box, is computed in float: sums stay
// below 2^20 and boxes at most kMaxBox wide, so (sum + box / 2 + 0.5) / box never lands within
// float's error of an integer and truncating it gives the exact quotient. Float keeps the loops
// free of 64-bit multiplies, which vectorise badly.
struct Mean {
    float bias, scale;
    explicit Mean(int box) : bias(float(box / 2) + 0.5f), scale(1.0f / float(box)) {}
    std::uint8_t operator()(float sum) const { return std::uint8_t(int((sum + bias) * scale)); }
};

// The sanitizers' run-time is not ready when the loader picks a clone, so their builds have one.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__SANITIZE_ADDRESS__) &&                  \
    !defined(__SANITIZE_THREAD__)
#define AVX2_CLONES [[gnu::target_clones("avx2", "default")]]
#else
#define AVX2_CLONES
#endif

// One row of the vertical pass: the sums take in one row and drop another, and give the means.
// Fixed-size blocks let the compiler use vector instructions on them; on x86-64 a second build
// for AVX2 processors, chosen at load time, doubles their width.
AVX2_CLONES
void columnStep(float* __restrict sums, const std::uint8_t* __restrict in,
                const std::uint8_t* __restrict out, std::uint8_t* __restrict dst, std::size_t n,
                Mean mean) {
    constexpr std::size_t kBlock = 16;
    std::size_t i = 0;
    for (; i + kBlock <= n; i += kBlock) {
        for (std::size_t k = 0; k < kBlock; ++k) {
            const float s = sums[i + k] + float(int(in[i + k]) - int(out[i + k]));
            sums[i + k] = s;
            dst[i + k] = std::uint8_t(int((s + mean.bias) * mean.scale));
        }
    }
    for (; i < n; ++i) {
        sums[i] += float(int(in[i]) - int(out[i]));
        dst[i] = mean(sums[i]);
    }
}

// The means of `n` box sums.
AVX2_CLONES
void meansOf(const std::int32_t* __restrict sums, std::uint8_t* __restrict dst, std::size_t n,
             Mean mean) {
    constexpr std::size_t kBlock = 16;
    std::size_t i = 0;
    for (; i + kBlock <= n; i += kBlock) {
        for (std::size_t k = 0; k < kBlock; ++k)
            dst[i + k] = std::uint8_t(int((float(sums[i + k]) + mean.bias) * mean.scale));
    }
    for (; i < n; ++i)
        dst[i] = mean(float(sums[i]));
}

// Box blurs `channels` interleaved byte channels in place, `passes` times; pixels beyond the
// edges count as transparent. Running sums keep it linear in the pixels, whatever the width;
// the vertical pass runs along rows (a sum per column) to stay in the cache.
template <int channels>
void boxBlur(std::uint8_t* data, int width, int height, std::ptrdiff_t stride, int bx, int by,
             int passes) {
    const std::size_t rowBytes = std::size_t(width) * channels;
    // Rows and sums are small: plain vectors, leaving Scratch to the planes.
    // A row with transparent pixels before and after it, so the running sum needs no tests at
    // the edges: pixel i's box is padded [i + 1, i + box].
    std::vector<std::uint8_t> padded((std::size_t(width) + bx) * channels);
    // The running sums of a row; their means are taken afterwards, many at a time.
    std::vector<std::int32_t> rowSums(rowBytes);
    auto blurRow = [&](std::uint8_t* row) {
        const int before = (bx - 1) / 2;
        std::uint8_t* pad = padded.data();
        std::copy_n(row, rowBytes, pad + std::size_t(before + 1) * channels);
        const Mean mean(bx);
        std::array<std::uint32_t, channels> sum{};
        for (int j = 1; j < bx; ++j) {
            for (int c = 0; c < channels; ++c)
                sum[c] += pad[std::size_t(j) * channels + c];
        }
        const std::uint8_t* drop = pad;
        const std::uint8_t* take = pad + std::size_t(bx) * channels;
        for (std::size_t i = 0; i < rowBytes; i += channels) {
            for (int c = 0; c < channels; ++c) {
                sum[c] += std::uint32_t(take[i + c]) - std::uint32_t(drop[i + c]);
                rowSums[i + c] = std::int32_t(sum[c]);
            }
        }
        meansOf(rowSums.data(), row, rowBytes, mean);
    };
    auto blurColumns = [&]() {
        const int before = (by - 1) / 2, after = by - 1 - before;
        Scratch<std::uint8_t> copy(rowBytes * height);
        for (int y = 0; y < height; ++y)
            std::copy_n(data + y * stride, rowBytes, copy.data() + rowBytes * y);
        const std::vector<std::uint8_t> zeros(rowBytes, 0);
        auto rowOf = [&](int y) {
            return y >= 0 && y < height ? copy.data() + rowBytes * y : zeros.data();
        };
        std::vector<float> sums(rowBytes, 0.0f);
        for (int y = 0; y < std::min(after, height); ++y) {
            const std::uint8_t* src = rowOf(y);
            for (std::size_t i = 0; i < rowBytes; ++i)
                sums[i] += src[i];
        }
        const Mean mean(by);
        for (int y = 0; y < height; ++y)
            columnStep(sums.data(), rowOf(y + after), rowOf(y - before - 1), data + y * stride,
                       rowBytes, mean);
    };
    for (int p = 0; p < passes; ++p) {
        if (bx > 1) {
            for (int y = 0; y < height; ++y)
                blurRow(data + y * stride);
        }
        if (by > 1)
            blurColumns();
    }
}

// The alpha of the pixels in `r` (inside the image), row after row.
Plane alphaOf(const QImage& img, const QRect& r, bool inverted) {
    const int w = r.width(), h = r.height();
    Plane a(std::size_t(w) * h);
    const std::uint8_t flip = inverted ? 255 : 0;
    for (int y = 0; y < h; ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(img.constScanLine(r.y() + y)) + r.x();
        std::uint8_t* out = a.data() + std::size_t(y) * w;
        for (int x = 0; x < w; ++x)
            out[x] = std::uint8_t(qAlpha(line[x]) ^ flip);
    }
    return a;
}

Plane alphaOf(const QImage& img, bool inverted) {
    return alphaOf(img, img.rect(), inverted);
}

// Box widths are bounded by the whole layer, even when only part of it is blurred, so that the
// part comes out as it would within the whole.
struct Boxes {
    int x, y, passes;
};

Boxes boxesOf(const Filter& f, const QImage& layer, double sx, double sy) {
    return {boxWidth(f.blurX, sx, layer.width()), boxWidth(f.blurY, sy, layer.height()),
            passesOf(f)};
}

// How far a blur with these boxes carries a pixel, each way (a little more, never less).
QPoint spreadOf(const Boxes& b) {
    return {b.x > 1 ? b.passes * (b.x / 2 + 1) : 0, b.y > 1 ? b.passes * (b.y / 2 + 1) : 0};
}

void blurPlane(Plane& p, int w, int h, const Boxes& b) {
    boxBlur<1>(p.data(), w, h, w, b.x, b.y, b.passes);
}

void blurPlane(Plane& p, int w, int h, const Filter& f, const QImage& layer, double sx, double sy) {
    blurPlane(p, w, h, boxesOf(f, layer, sx, sy));
}

// The smallest rectangle holding every pixel that is not fully transparent (empty if none).
// Filters that leave transparent pixels far from the object transparent work only around it.
QRect drawnBounds(const QImage& img) {
    const int w = img.width();
    int top = -1, bottom = -1, left = w, right = -1;
    for (int y = 0; y < img.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(img.constScanLine(y));
        int first = 0;
        while (first < w && qAlpha(line[first]) == 0)
            ++first;
        if (first == w)
            continue;
        int last = w - 1;
        while (qAlpha(line[last]) == 0)
            --last;
        if (top < 0)
            top = y;
        bottom = y;
        left = std::min(left, first);
        right = std::max(right, last);
    }
    return top < 0 ? QRect() : QRect(QPoint(left, top), QPoint(right, bottom));
}

// The plane moved by (dx, dy) pixels; what comes in from outside is 0.
Plane shifted(Plane&& p, int w, int h, int dx, int dy) {
    if (dx == 0 && dy == 0)
        return std::move(p);
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
    const double s = v * strength;
    return std::uint8_t(s >= 255 ? 255 : s <= 0 ? 0 : int(s + 0.5));
}

// x / 255, rounded, for x up to 255 * 255.
inline int div255(int x) {
    x += 128;
    return (x + (x >> 8)) >> 8;
}

QRgb premultiplied(Rgba c, int coverage) {
    const int a = div255(c.a * coverage);
    return qRgba(div255(c.r * a), div255(c.g * a), div255(c.b * a), a);
}

QRgb over(QRgb top, QRgb under) {
    const int k = 255 - qAlpha(top);
    if (k == 255)
        return under;
    if (k == 0)
        return top;
    return qRgba(qRed(top) + div255(qRed(under) * k), qGreen(top) + div255(qGreen(under) * k),
                 qBlue(top) + div255(qBlue(under) * k), qAlpha(top) + div255(qAlpha(under) * k));
}

QRgb scaled(QRgb c, int k) {
    return qRgba(div255(qRed(c) * k), div255(qGreen(c) * k), div255(qBlue(c) * k),
                 div255(qAlpha(c) * k));
}

// Puts an effect (premultiplied, one pixel per layer pixel) together with the object as the
// flags ask: inner effects lie on the object, outer ones under it; knockout keeps the effect
// alone where it does not cover the object (outer) or only on it (inner); without
// CompositeSource the object itself is hidden.
// `effect` and `objectAlpha` cover `area` of the layer, row after row; the rest of the layer is
// left alone.
// Each way of combining gets its own loop, so the per-pixel work has no tests of the flags.
template <typename Effect>
void combine(QImage& layer, const QRect& area, const Effect& effect, const Plane& objectAlpha,
             bool inner, const Filter& f) {
    const int w = area.width();
    auto each = [&](auto mix) {
        for (int y = 0; y < area.height(); ++y) {
            auto* line = reinterpret_cast<QRgb*>(layer.scanLine(area.y() + y)) + area.x();
            const std::size_t row = std::size_t(y) * w;
            for (int x = 0; x < w; ++x)
                line[x] = mix(row + x, line[x]);
        }
    };
    if (f.knockout && inner) {
        each([&](std::size_t i, QRgb) { return effect(i); });
    } else if (f.knockout) {
        each([&](std::size_t i, QRgb) { return scaled(effect(i), 255 - objectAlpha[i]); });
    } else if (!f.compositeSource) {
        each([&](std::size_t i, QRgb) { return effect(i); });
    } else if (inner) {
        each([&](std::size_t i, QRgb src) { return over(effect(i), src); });
    } else {
        // An opaque object hides what lies under it.
        each([&](std::size_t i, QRgb src) {
            return qAlpha(src) == 255 ? src : over(src, effect(i));
        });
    }
}

// Shadows and glows only colour what their blurred (and moved) outline reaches: on and around
// the drawn pixels, within the blur's spread and the distance. Everything else stays
// transparent, so only that part of the layer is worked on. Inner ones see transparent pixels
// as solid; the part reaches far enough that only the layer's own edges (outside which nothing
// counts) cut the blur, as they do for the whole layer.
void shadowOrGlow(QImage& layer, const Filter& f, double sx, double sy, bool distance) {
    const QRect drawn = drawnBounds(layer);
    if (drawn.isEmpty())
        return;
    const Boxes boxes = boxesOf(f, layer, sx, sy);
    int dx = 0, dy = 0;
    if (distance) {
        dx = std::clamp<long>(std::lround(std::cos(f.angle) * f.distance * sx), -layer.width(),
                              layer.width());
        dy = std::clamp<long>(std::lround(std::sin(f.angle) * f.distance * sy), -layer.height(),
                              layer.height());
    }
    const QPoint spread = spreadOf(boxes);
    const QRect area = drawn.adjusted(-spread.x() - std::abs(dx), -spread.y() - std::abs(dy),
                                      spread.x() + std::abs(dx), spread.y() + std::abs(dy)) &
                       layer.rect();
    const int w = area.width(), h = area.height();
    const Plane object = alphaOf(layer, area, false);
    Plane p = f.inner ? alphaOf(layer, area, true) : object;
    blurPlane(p, w, h, boxes);
    p = shifted(std::move(p), w, h, std::clamp(dx, -w, w), std::clamp(dy, -h, h));
    const Rgba color = f.colors.empty() ? Rgba{0, 0, 0, 255} : f.colors.front();
    std::array<std::uint8_t, 256> strength;
    std::array<QRgb, 256> tint;
    for (int v = 0; v < 256; ++v) {
        strength[v] = strengthened(v, f.strength);
        tint[v] = premultiplied(color, v);
    }
    if (f.inner) {
        combine(
            layer, area, [&](std::size_t i) { return tint[strength[p[i]] * object[i] / 255]; },
            object, true, f);
    } else {
        combine(
            layer, area, [&](std::size_t i) { return tint[strength[p[i]]]; }, object, false, f);
    }
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
    blurPlane(p, w, h, f, layer, sx, sy);
    const int dx = int(std::lround(std::cos(f.angle) * f.distance * sx));
    const int dy = int(std::lround(std::sin(f.angle) * f.distance * sy));
    p = shifted(std::move(p), w, h, std::clamp(dx, -w, w), std::clamp(dy, -h, h));
    const auto table = gradientTable(f);
    Pixels effect(p.size());
    for (std::size_t i = 0; i < p.size(); ++i) {
        QRgb c = premultiplied(table[strengthened(p[i], f.strength)], 255);
        if (f.inner)
            c = scaled(c, object[i]);
        effect[i] = c;
    }
    combine(
        layer, layer.rect(), [&](std::size_t i) { return effect[i]; }, object, f.inner, f);
}

// Bevels light the object from the filter's angle: the blurred outline moved towards the light
// and away from it; where they differ, highlight on the lit side, shadow on the other. Inner
// bevels stay on the object, outer ones around it, full (OnTop) ones both.
void bevel(QImage& layer, const Filter& f, double sx, double sy, bool gradient) {
    const int w = layer.width(), h = layer.height();
    const Plane object = alphaOf(layer, false);
    Plane p = object;
    blurPlane(p, w, h, f, layer, sx, sy);
    const int dx = std::clamp(int(std::lround(std::cos(f.angle) * f.distance * sx)), -w, w);
    const int dy = std::clamp(int(std::lround(std::sin(f.angle) * f.distance * sy)), -h, h);
    const Plane toward = shifted(Plane(p), w, h, dx, dy);
    const Plane away = shifted(std::move(p), w, h, -dx, -dy);
    const Rgba shadow = f.colors.size() > 0 ? f.colors[0] : Rgba{0, 0, 0, 255};
    const Rgba light = f.colors.size() > 1 ? f.colors[1] : Rgba{255, 255, 255, 255};
    const auto table = gradient ? gradientTable(f) : std::array<Rgba, 256>{};
    Pixels effect(object.size());
    for (std::size_t i = 0; i < object.size(); ++i) {
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
    combine(
        layer, layer.rect(), [&](std::size_t i) { return effect[i]; }, object, f.inner || f.onTop,
        f);
}

// A blur spreads the drawn pixels by its reach and no further.
void blur(QImage& layer, const Filter& f, double sx, double sy) {
    const Boxes boxes = boxesOf(f, layer, sx, sy);
    const QRect drawn = drawnBounds(layer);
    if (drawn.isEmpty())
        return;
    const QPoint spread = spreadOf(boxes);
    const QRect area =
        drawn.adjusted(-spread.x(), -spread.y(), spread.x(), spread.y()) & layer.rect();
    boxBlur<4>(layer.bits() + std::ptrdiff_t(area.y()) * layer.bytesPerLine() + area.x() * 4,
               area.width(), area.height(), layer.bytesPerLine(), boxes.x, boxes.y, boxes.passes);
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
