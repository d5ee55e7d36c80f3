#include "swf/bitmapdata.h"

#include <QPainter>
#include <algorithm>
#include <cmath>
#include <cstring>

namespace swf {

std::uint32_t premultiply(std::uint32_t argb) {
    const std::uint32_t a = argb >> 24;
    if (a == 255)
        return argb;
    if (a == 0)
        return 0;
    auto ch = [&](int shift) { return ((((argb >> shift) & 0xFF) * a + 127) / 255) << shift; };
    return (a << 24) | ch(16) | ch(8) | ch(0);
}

std::uint32_t unpremultiply(std::uint32_t p) {
    const std::uint32_t a = p >> 24;
    if (a == 255)
        return p;
    if (a == 0)
        return 0;
    auto ch = [&](int shift) {
        return std::min<std::uint32_t>(255, (((p >> shift) & 0xFF) * 255 + a / 2) / a) << shift;
    };
    return (a << 24) | ch(16) | ch(8) | ch(0);
}

namespace {

int shiftOf(std::uint32_t channel) {
    if (channel & Red)
        return 16;
    if (channel & Green)
        return 8;
    if (channel & Blue)
        return 0;
    if (channel & Alpha)
        return 24;
    return -1;
}

// Park and Miller's minimal standard generator: small, and the same on every machine.
class Random {
public:
    explicit Random(std::int32_t seed) {
        std::int64_t s = std::int64_t(seed) % 2147483647;
        if (s < 0)
            s += 2147483647;
        m_state = s == 0 ? 1 : s;
    }
    std::uint32_t next() {
        m_state = (m_state * 16807) % 2147483647;
        return std::uint32_t(m_state);
    }

private:
    std::int64_t m_state;
};

std::uint8_t channelOf(std::uint32_t argb, int shift) {
    return std::uint8_t(argb >> shift);
}

} // namespace

BitmapData::BitmapData(QImage image, bool transparent, std::shared_ptr<BitmapBudget> budget)
    : m_image(std::move(image)), m_transparent(transparent), m_budget(std::move(budget)),
      m_bytes(std::size_t(m_image.sizeInBytes())) {}

BitmapData::~BitmapData() {
    dispose();
}

std::shared_ptr<BitmapData> BitmapData::create(int width, int height, bool transparent,
                                               std::uint32_t fill,
                                               std::shared_ptr<BitmapBudget> budget,
                                               int swfVersion) {
    if (width <= 0 || height <= 0)
        return nullptr;
    if (swfVersion >= 10) {
        if (width > kMaxSide || height > kMaxSide || std::int64_t(width) * height > kMaxPixels)
            return nullptr;
    } else if (width > kMaxSideBefore10 || height > kMaxSideBefore10) {
        return nullptr;
    }
    const std::size_t bytes = std::size_t(width) * std::size_t(height) * 4;
    if (!budget)
        budget = std::make_shared<BitmapBudget>();
    if (!budget->reserve(bytes))
        return nullptr;
    QImage image(width, height,
                 transparent ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32);
    if (image.isNull()) {
        budget->release(bytes);
        return nullptr;
    }
    std::shared_ptr<BitmapData> b(new BitmapData(std::move(image), transparent, budget));
    b->m_bytes = bytes;
    b->m_image.fill(transparent ? premultiply(fill) : (fill | 0xFF000000u));
    return b;
}

std::shared_ptr<BitmapData> BitmapData::fromImage(const QImage& image,
                                                  std::shared_ptr<BitmapBudget> budget) {
    if (image.isNull())
        return nullptr;
    const bool transparent = image.hasAlphaChannel();
    auto b = create(image.width(), image.height(), transparent, 0, std::move(budget));
    if (!b)
        return nullptr;
    const QImage converted = image.convertToFormat(b->m_image.format());
    for (int y = 0; y < image.height(); ++y)
        std::memcpy(b->m_image.scanLine(y), converted.constScanLine(y),
                    std::size_t(image.width()) * 4);
    return b;
}

void BitmapData::dispose() {
    if (m_image.isNull())
        return;
    m_image = QImage();
    if (m_budget)
        m_budget->release(m_bytes);
    m_bytes = 0;
    touch();
}

std::shared_ptr<BitmapData> BitmapData::clone() const {
    if (disposed())
        return nullptr;
    auto b = create(width(), height(), m_transparent, 0, m_budget);
    if (b)
        b->m_image = m_image.copy();
    return b;
}

std::uint32_t BitmapData::pixelAt(int x, int y) const {
    const QRgb p = reinterpret_cast<const QRgb*>(m_image.constScanLine(y))[x];
    return m_transparent ? unpremultiply(p) : (p | 0xFF000000u);
}

void BitmapData::putPixel(int x, int y, std::uint32_t argb) {
    reinterpret_cast<QRgb*>(m_image.scanLine(y))[x] =
        m_transparent ? premultiply(argb) : (argb | 0xFF000000u);
}

std::uint32_t BitmapData::getPixel32(int x, int y) const {
    if (!rect().contains(x, y))
        return 0;
    return pixelAt(x, y);
}

void BitmapData::setPixel(int x, int y, std::uint32_t rgb) {
    if (!rect().contains(x, y))
        return;
    // The alpha stays; the colour of a fully transparent pixel is therefore lost, as the
    // premultiplied store cannot hold it.
    const std::uint32_t a = pixelAt(x, y) & 0xFF000000u;
    putPixel(x, y, a | (rgb & 0xFFFFFF));
    touch();
}

void BitmapData::setPixel32(int x, int y, std::uint32_t argb) {
    if (!rect().contains(x, y))
        return;
    putPixel(x, y, argb);
    touch();
}

std::vector<std::uint32_t> BitmapData::getVector(const QRect& r) const {
    const QRect c = r & rect();
    std::vector<std::uint32_t> out;
    if (c.isEmpty())
        return out;
    out.reserve(std::size_t(c.width()) * std::size_t(c.height()));
    for (int y = c.top(); y <= c.bottom(); ++y)
        for (int x = c.left(); x <= c.right(); ++x)
            out.push_back(pixelAt(x, y));
    return out;
}

std::size_t BitmapData::setVector(const QRect& r, std::span<const std::uint32_t> pixels) {
    const QRect c = r & rect();
    std::size_t i = 0;
    for (int y = c.top(); y <= c.bottom() && !c.isEmpty(); ++y)
        for (int x = c.left(); x <= c.right(); ++x) {
            if (i == pixels.size()) {
                touch();
                return i;
            }
            putPixel(x, y, pixels[i++]);
        }
    touch();
    return i;
}

std::vector<std::uint8_t> BitmapData::getPixels(const QRect& r) const {
    const std::vector<std::uint32_t> v = getVector(r);
    std::vector<std::uint8_t> out(v.size() * 4);
    for (std::size_t i = 0; i < v.size(); ++i) {
        out[i * 4] = std::uint8_t(v[i] >> 24);
        out[i * 4 + 1] = std::uint8_t(v[i] >> 16);
        out[i * 4 + 2] = std::uint8_t(v[i] >> 8);
        out[i * 4 + 3] = std::uint8_t(v[i]);
    }
    return out;
}

std::size_t BitmapData::setPixels(const QRect& r, std::span<const std::uint8_t> bytes) {
    std::vector<std::uint32_t> v(bytes.size() / 4);
    for (std::size_t i = 0; i < v.size(); ++i)
        v[i] = std::uint32_t(bytes[i * 4]) << 24 | std::uint32_t(bytes[i * 4 + 1]) << 16 |
               std::uint32_t(bytes[i * 4 + 2]) << 8 | bytes[i * 4 + 3];
    return setVector(r, v);
}

void BitmapData::fillRect(const QRect& r, std::uint32_t argb) {
    const QRect c = r & rect();
    if (c.isEmpty())
        return;
    const QRgb stored = m_transparent ? premultiply(argb) : (argb | 0xFF000000u);
    for (int y = c.top(); y <= c.bottom(); ++y) {
        QRgb* row = reinterpret_cast<QRgb*>(m_image.scanLine(y));
        std::fill(row + c.left(), row + c.right() + 1, stored);
    }
    touch();
}

bool BitmapData::clipCopy(const BitmapData& src, QRect& srcRect, QPoint& dest) const {
    if (disposed() || src.disposed())
        return false;
    const QRect s = srcRect;
    const QRect clipped = s & src.rect();
    if (clipped.isEmpty())
        return false;
    dest += clipped.topLeft() - s.topLeft();
    const QRect d(dest, clipped.size());
    const QRect dc = d & rect();
    if (dc.isEmpty())
        return false;
    srcRect = QRect(clipped.topLeft() + (dc.topLeft() - d.topLeft()), dc.size());
    dest = dc.topLeft();
    return true;
}

namespace {

// The source pixels of a rectangle inside `src`, premultiplied, copied out first so that an
// operation of a bitmap onto itself reads what was there before it began.
std::vector<QRgb> readPremultiplied(const QImage& src, const QRect& r) {
    std::vector<QRgb> out(std::size_t(r.width()) * std::size_t(r.height()));
    for (int y = 0; y < r.height(); ++y)
        std::memcpy(out.data() + std::size_t(y) * std::size_t(r.width()),
                    reinterpret_cast<const QRgb*>(src.constScanLine(r.top() + y)) + r.left(),
                    std::size_t(r.width()) * 4);
    return out;
}

std::uint32_t over(std::uint32_t s, std::uint32_t d) {
    const std::uint32_t inv = 255 - (s >> 24);
    if (inv == 0)
        return s;
    std::uint32_t out = 0;
    for (int shift = 0; shift < 32; shift += 8) {
        const std::uint32_t v = ((s >> shift) & 0xFF) + (((d >> shift) & 0xFF) * inv + 127) / 255;
        out |= std::min<std::uint32_t>(v, 255) << shift;
    }
    return out;
}

} // namespace

void BitmapData::copyPixels(const BitmapData& src, const QRect& srcRect, QPoint dest,
                            const BitmapData* alpha, QPoint alphaPoint, bool mergeAlpha) {
    const QRect asked = srcRect;
    QRect r = srcRect;
    if (!clipCopy(src, r, dest))
        return;
    if (alpha && alpha->disposed())
        alpha = nullptr;
    std::vector<QRgb> pixels = readPremultiplied(src.m_image, r);
    if (!src.m_transparent)
        for (QRgb& p : pixels)
            p |= 0xFF000000u;
    // The alpha bitmap's pixel for the source pixel at (x, y) of the source.
    const QPoint alphaOffset = alphaPoint - asked.topLeft();
    const bool plainCopy = !alpha && (!mergeAlpha || !src.m_transparent);
    for (int y = 0; y < r.height(); ++y) {
        QRgb* row = reinterpret_cast<QRgb*>(m_image.scanLine(dest.y() + y)) + dest.x();
        const QRgb* in = pixels.data() + std::size_t(y) * std::size_t(r.width());
        if (plainCopy && (m_transparent || !src.m_transparent)) {
            std::memcpy(row, in, std::size_t(r.width()) * 4);
            continue;
        }
        for (int x = 0; x < r.width(); ++x) {
            QRgb s = in[x];
            if (alpha) {
                const QPoint ap = QPoint(r.left() + x, r.top() + y) + alphaOffset;
                const std::uint32_t a =
                    alpha->rect().contains(ap) ? alpha->pixelAt(ap.x(), ap.y()) >> 24 : 0;
                s = premultiply((unpremultiply(s) & 0xFFFFFF) |
                                ((((s >> 24) * a + 127) / 255) << 24));
            }
            if (mergeAlpha || (alpha && !m_transparent))
                row[x] = over(s, row[x]);
            else
                row[x] = m_transparent ? s : (unpremultiply(s) | 0xFF000000u);
        }
    }
    touch();
}

void BitmapData::copyChannel(const BitmapData& src, const QRect& srcRect, QPoint dest,
                             std::uint32_t srcChannel, std::uint32_t destChannel) {
    QRect r = srcRect;
    const int from = shiftOf(srcChannel), to = shiftOf(destChannel);
    if (from < 0 || to < 0 || (to == 24 && !m_transparent) || !clipCopy(src, r, dest))
        return;
    const std::vector<QRgb> pixels = readPremultiplied(src.m_image, r);
    for (int y = 0; y < r.height(); ++y)
        for (int x = 0; x < r.width(); ++x) {
            QRgb s = pixels[std::size_t(y) * std::size_t(r.width()) + std::size_t(x)];
            s = src.m_transparent ? unpremultiply(s) : (s | 0xFF000000u);
            const std::uint32_t v = channelOf(s, from);
            const std::uint32_t d = pixelAt(dest.x() + x, dest.y() + y);
            putPixel(dest.x() + x, dest.y() + y, (d & ~(0xFFu << to)) | (v << to));
        }
    touch();
}

void BitmapData::merge(const BitmapData& src, const QRect& srcRect, QPoint dest,
                       std::uint32_t redMult, std::uint32_t greenMult, std::uint32_t blueMult,
                       std::uint32_t alphaMult) {
    QRect r = srcRect;
    if (!clipCopy(src, r, dest))
        return;
    const std::uint32_t mult[4] = {std::min(blueMult, 256u), std::min(greenMult, 256u),
                                   std::min(redMult, 256u), std::min(alphaMult, 256u)};
    const std::vector<QRgb> pixels = readPremultiplied(src.m_image, r);
    for (int y = 0; y < r.height(); ++y)
        for (int x = 0; x < r.width(); ++x) {
            QRgb s = pixels[std::size_t(y) * std::size_t(r.width()) + std::size_t(x)];
            s = src.m_transparent ? unpremultiply(s) : (s | 0xFF000000u);
            const std::uint32_t d = pixelAt(dest.x() + x, dest.y() + y);
            std::uint32_t out = 0;
            for (int c = 0; c < 4; ++c) {
                const std::uint32_t sv = channelOf(s, c * 8), dv = channelOf(d, c * 8);
                out |= ((sv * mult[c] + dv * (256 - mult[c])) / 256) << (c * 8);
            }
            putPixel(dest.x() + x, dest.y() + y, out);
        }
    touch();
}

void BitmapData::paletteMap(const BitmapData& src, const QRect& srcRect, QPoint dest,
                            const std::array<const std::vector<std::uint32_t>*, 4>& tables) {
    QRect r = srcRect;
    if (!clipCopy(src, r, dest))
        return;
    const int shifts[4] = {16, 8, 0, 24};
    const std::vector<QRgb> pixels = readPremultiplied(src.m_image, r);
    for (int y = 0; y < r.height(); ++y)
        for (int x = 0; x < r.width(); ++x) {
            QRgb s = pixels[std::size_t(y) * std::size_t(r.width()) + std::size_t(x)];
            s = src.m_transparent ? unpremultiply(s) : (s | 0xFF000000u);
            std::uint32_t out = 0;
            for (int c = 0; c < 4; ++c) {
                const std::uint32_t v = channelOf(s, shifts[c]);
                const std::vector<std::uint32_t>* t = tables[std::size_t(c)];
                out += t && v < t->size() ? (*t)[v] : (v << shifts[c]);
            }
            putPixel(dest.x() + x, dest.y() + y, out);
        }
    touch();
}

std::int32_t BitmapData::pixelDissolve(const BitmapData& src, const QRect& srcRect, QPoint dest,
                                       std::int32_t seed, std::int64_t count,
                                       std::uint32_t fillColor) {
    QRect r = srcRect;
    if (disposed() || src.disposed() || !clipCopy(src, r, dest))
        return seed;
    const std::uint64_t n = std::uint64_t(r.width()) * std::uint64_t(r.height());
    // A full-period generator over the next power of two at or above n (x -> 5x + 1 mod 2^k
    // visits every residue once a period); values past n are stepped over. The seed is the
    // generator's state, so a returned seed carries on the same order.
    std::uint64_t modulus = 1;
    while (modulus < n)
        modulus <<= 1;
    const std::uint64_t mask = modulus - 1;
    std::uint64_t state = std::uint64_t(std::uint32_t(seed)) & mask;
    const bool fill = &src == this;
    const std::vector<QRgb> pixels = fill ? std::vector<QRgb>{} : readPremultiplied(src.m_image, r);
    const std::uint64_t todo = std::uint64_t(std::clamp<std::int64_t>(count, 0, std::int64_t(n)));
    for (std::uint64_t done = 0; done < todo;) {
        state = (state * 5 + 1) & mask;
        if (state >= n)
            continue;
        const int x = int(state % std::uint64_t(r.width()));
        const int y = int(state / std::uint64_t(r.width()));
        if (fill) {
            putPixel(dest.x() + x, dest.y() + y, fillColor);
        } else {
            QRgb p = pixels[state];
            p = src.m_transparent ? unpremultiply(p) : (p | 0xFF000000u);
            putPixel(dest.x() + x, dest.y() + y, p);
        }
        ++done;
    }
    if (todo > 0)
        touch();
    return std::int32_t(std::uint32_t(state));
}

int BitmapData::compare(const BitmapData& other, std::shared_ptr<BitmapData>& difference) const {
    difference.reset();
    if (disposed() || other.disposed())
        return -2;
    if (width() != other.width())
        return -3;
    if (height() != other.height())
        return -4;
    bool same = true;
    for (int y = 0; y < height() && same; ++y)
        for (int x = 0; x < width(); ++x)
            if (pixelAt(x, y) != other.pixelAt(x, y)) {
                same = false;
                break;
            }
    if (same)
        return 0;
    difference = create(width(), height(), true, 0, m_budget);
    if (!difference)
        return 1;
    for (int y = 0; y < height(); ++y)
        for (int x = 0; x < width(); ++x) {
            const std::uint32_t a = pixelAt(x, y), b = other.pixelAt(x, y);
            if (a == b)
                continue;
            auto channel = [&](int shift) { return ((a >> shift) - (b >> shift)) & 0xFFu; };
            std::uint32_t d;
            if ((a & 0xFFFFFF) != (b & 0xFFFFFF))
                d = 0xFF000000u | channel(16) << 16 | channel(8) << 8 | channel(0);
            else
                d = channel(24) << 24 | 0xFFFFFF;
            difference->putPixel(x, y, d);
        }
    difference->touch();
    return 1;
}

std::uint32_t BitmapData::threshold(const BitmapData& src, const QRect& srcRect, QPoint dest,
                                    const QString& op, std::uint32_t thresholdValue,
                                    std::uint32_t color, std::uint32_t mask, bool copySource) {
    QRect r = srcRect;
    if (!clipCopy(src, r, dest))
        return 0;
    int kind;
    if (op == QLatin1String("<"))
        kind = 0;
    else if (op == QLatin1String("<="))
        kind = 1;
    else if (op == QLatin1String(">"))
        kind = 2;
    else if (op == QLatin1String(">="))
        kind = 3;
    else if (op == QLatin1String("=="))
        kind = 4;
    else if (op == QLatin1String("!="))
        kind = 5;
    else
        return 0;
    const std::uint32_t t = thresholdValue & mask;
    const std::vector<QRgb> pixels = readPremultiplied(src.m_image, r);
    std::uint32_t count = 0;
    for (int y = 0; y < r.height(); ++y)
        for (int x = 0; x < r.width(); ++x) {
            QRgb s = pixels[std::size_t(y) * std::size_t(r.width()) + std::size_t(x)];
            s = src.m_transparent ? unpremultiply(s) : (s | 0xFF000000u);
            const std::uint32_t v = s & mask;
            bool pass = false;
            switch (kind) {
            case 0:
                pass = v < t;
                break;
            case 1:
                pass = v <= t;
                break;
            case 2:
                pass = v > t;
                break;
            case 3:
                pass = v >= t;
                break;
            case 4:
                pass = v == t;
                break;
            default:
                pass = v != t;
                break;
            }
            if (pass) {
                ++count;
                putPixel(dest.x() + x, dest.y() + y, color);
            } else if (copySource) {
                putPixel(dest.x() + x, dest.y() + y, s);
            }
        }
    touch();
    return count;
}

void BitmapData::colorTransform(const QRect& r, const ColorTransform& ct) {
    const QRect c = r & rect();
    if (c.isEmpty())
        return;
    for (int y = c.top(); y <= c.bottom(); ++y)
        for (int x = c.left(); x <= c.right(); ++x) {
            const std::uint32_t p = pixelAt(x, y);
            const Rgba out = ct.apply(
                Rgba{channelOf(p, 16), channelOf(p, 8), channelOf(p, 0), channelOf(p, 24)});
            putPixel(x, y,
                     std::uint32_t(out.a) << 24 | std::uint32_t(out.r) << 16 |
                         std::uint32_t(out.g) << 8 | out.b);
        }
    touch();
}

void BitmapData::scroll(int dx, int dy) {
    if (disposed())
        return;
    // Where the picture moves, what lay there before is replaced; what it uncovers stays.
    const QRect target = rect().translated(dx, dy) & rect();
    if (target.isEmpty())
        return;
    const QRect from = target.translated(-dx, -dy);
    const std::vector<QRgb> pixels = readPremultiplied(m_image, from);
    for (int y = 0; y < target.height(); ++y)
        std::memcpy(reinterpret_cast<QRgb*>(m_image.scanLine(target.top() + y)) + target.left(),
                    pixels.data() + std::size_t(y) * std::size_t(target.width()),
                    std::size_t(target.width()) * 4);
    touch();
}

void BitmapData::floodFill(int x, int y, std::uint32_t argb) {
    if (!rect().contains(x, y))
        return;
    auto at = [&](int px, int py) -> QRgb& {
        return reinterpret_cast<QRgb*>(m_image.scanLine(py))[px];
    };
    const QRgb from = at(x, y);
    const QRgb to = m_transparent ? premultiply(argb) : (argb | 0xFF000000u);
    if (from == to)
        return;
    // Row spans: each popped seed fills its whole run, then seeds the rows above and below.
    std::vector<QPoint> stack{QPoint(x, y)};
    while (!stack.empty()) {
        const QPoint p = stack.back();
        stack.pop_back();
        if (at(p.x(), p.y()) != from)
            continue;
        int left = p.x(), right = p.x();
        while (left > 0 && at(left - 1, p.y()) == from)
            --left;
        while (right + 1 < width() && at(right + 1, p.y()) == from)
            ++right;
        for (int px = left; px <= right; ++px)
            at(px, p.y()) = to;
        for (int ny : {p.y() - 1, p.y() + 1}) {
            if (ny < 0 || ny >= height())
                continue;
            bool inRun = false;
            for (int px = left; px <= right; ++px) {
                const bool match = at(px, ny) == from;
                if (match && !inRun)
                    stack.push_back(QPoint(px, ny));
                inRun = match;
            }
        }
    }
    touch();
}

void BitmapData::noise(std::int32_t seed, std::uint32_t low, std::uint32_t high,
                       std::uint32_t channels, bool grayScale) {
    if (disposed())
        return;
    low = std::min(low, 255u);
    high = std::min(high, 255u);
    if (low > high)
        std::swap(low, high);
    const std::uint32_t span = high - low + 1;
    Random random(seed);
    const bool alpha = m_transparent && (channels & Alpha);
    for (int y = 0; y < height(); ++y)
        for (int x = 0; x < width(); ++x) {
            std::uint32_t p = 0;
            if (grayScale) {
                const std::uint32_t v = low + random.next() % span;
                p = v << 16 | v << 8 | v;
            } else {
                if (channels & Red)
                    p |= (low + random.next() % span) << 16;
                if (channels & Green)
                    p |= (low + random.next() % span) << 8;
                if (channels & Blue)
                    p |= low + random.next() % span;
            }
            p |= (alpha ? low + random.next() % span : 255u) << 24;
            putPixel(x, y, p);
        }
    touch();
}

namespace {

// Gradient noise on an integer lattice: a pseudo-random unit gradient at each lattice point,
// blended with a quintic fade. Lattice coordinates wrap at `periodX`/`periodY` when stitching.
class GradientNoise {
public:
    explicit GradientNoise(Random& random) {
        for (int i = 0; i < 256; ++i)
            m_perm[std::size_t(i)] = std::uint8_t(i);
        for (int i = 255; i > 0; --i)
            std::swap(m_perm[std::size_t(i)], m_perm[random.next() % std::uint32_t(i + 1)]);
    }
    // About -1..1.
    double at(double x, double y, int periodX, int periodY) const {
        const double fx = std::floor(x), fy = std::floor(y);
        const double tx = x - fx, ty = y - fy;
        auto wrap = [](double v, int period) {
            long long i = (long long)v;
            if (period > 0) {
                i %= period;
                if (i < 0)
                    i += period;
            }
            return int(i & 0xFF);
        };
        const int x0 = wrap(fx, periodX), x1 = wrap(fx + 1, periodX);
        const int y0 = wrap(fy, periodY), y1 = wrap(fy + 1, periodY);
        const double n00 = grad(x0, y0, tx, ty), n10 = grad(x1, y0, tx - 1, ty);
        const double n01 = grad(x0, y1, tx, ty - 1), n11 = grad(x1, y1, tx - 1, ty - 1);
        const double u = fade(tx), v = fade(ty);
        const double a = n00 + u * (n10 - n00), b = n01 + u * (n11 - n01);
        return (a + v * (b - a)) * M_SQRT2;
    }

private:
    static double fade(double t) { return t * t * t * (t * (t * 6 - 15) + 10); }
    double grad(int ix, int iy, double dx, double dy) const {
        static const double kDirs[8][2] = {
            {1, 0},  {M_SQRT1_2, M_SQRT1_2},   {0, 1},  {-M_SQRT1_2, M_SQRT1_2},
            {-1, 0}, {-M_SQRT1_2, -M_SQRT1_2}, {0, -1}, {M_SQRT1_2, -M_SQRT1_2}};
        const int h = m_perm[std::size_t((m_perm[std::size_t(ix)] + iy) & 0xFF)] & 7;
        return kDirs[h][0] * dx + kDirs[h][1] * dy;
    }
    std::array<std::uint8_t, 256> m_perm;
};

} // namespace

void BitmapData::perlinNoise(double baseX, double baseY, std::uint32_t octaves, std::int32_t seed,
                             bool stitch, bool fractal, std::uint32_t channels, bool grayScale,
                             std::span<const QPointF> offsets) {
    if (disposed())
        return;
    // Past 16 octaves a layer's strength is below 1/65536 of the first: nothing visible.
    octaves = std::min(octaves, 16u);
    Random random(seed);
    std::vector<GradientNoise> noises; // red, green, blue, alpha
    for (int c = 0; c < 4; ++c)
        noises.emplace_back(random);
    struct Octave {
        double fx, fy, ox, oy, amplitude;
        int px, py;
    };
    std::vector<Octave> layers;
    double total = 0;
    for (std::uint32_t o = 0; o < octaves; ++o) {
        const double scale = std::ldexp(1.0, int(o));
        Octave oc{};
        oc.fx = std::isfinite(baseX) && std::abs(baseX) > 1e-9 ? scale / std::abs(baseX) : 0;
        oc.fy = std::isfinite(baseY) && std::abs(baseY) > 1e-9 ? scale / std::abs(baseY) : 0;
        oc.amplitude = 1.0 / scale;
        if (o < offsets.size()) {
            oc.ox = std::isfinite(offsets[o].x()) ? offsets[o].x() : 0;
            oc.oy = std::isfinite(offsets[o].y()) ? offsets[o].y() : 0;
        }
        if (stitch) {
            // A whole number of cells across the bitmap, so the edges meet.
            oc.px = std::max(1, int(std::lround(width() * oc.fx)));
            oc.py = std::max(1, int(std::lround(height() * oc.fy)));
            oc.fx = oc.fx > 0 ? double(oc.px) / width() : 0;
            oc.fy = oc.fy > 0 ? double(oc.py) / height() : 0;
        }
        layers.push_back(oc);
        total += oc.amplitude;
    }
    auto value = [&](const GradientNoise& n, int x, int y) {
        double sum = 0;
        for (const Octave& oc : layers) {
            const double v = n.at((x + oc.ox) * oc.fx, (y + oc.oy) * oc.fy, oc.px, oc.py);
            sum += (fractal ? v : std::abs(v)) * oc.amplitude;
        }
        const double norm = total > 0 ? sum / total : 0;
        const double level = fractal ? (norm + 1) * 0.5 : norm;
        return std::uint32_t(std::clamp(std::lround(level * 255), 0L, 255L));
    };
    const bool alpha = m_transparent && (channels & Alpha);
    for (int y = 0; y < height(); ++y)
        for (int x = 0; x < width(); ++x) {
            std::uint32_t p = 0;
            if (grayScale) {
                const std::uint32_t v = value(noises[0], x, y);
                p = v << 16 | v << 8 | v;
            } else {
                if (channels & Red)
                    p |= value(noises[0], x, y) << 16;
                if (channels & Green)
                    p |= value(noises[1], x, y) << 8;
                if (channels & Blue)
                    p |= value(noises[2], x, y);
            }
            p |= (alpha ? value(noises[3], x, y) : 255u) << 24;
            putPixel(x, y, p);
        }
    touch();
}

bool BitmapData::hitTestPoint(QPoint firstPoint, std::uint32_t alphaThreshold, QPoint p) const {
    const QPoint local = p - firstPoint;
    if (disposed() || !rect().contains(local))
        return false;
    return (pixelAt(local.x(), local.y()) >> 24) >= alphaThreshold;
}

bool BitmapData::hitTestRect(QPoint firstPoint, std::uint32_t alphaThreshold,
                             const QRect& r) const {
    const QRect c = r.translated(-firstPoint) & rect();
    if (disposed() || c.isEmpty())
        return false;
    for (int y = c.top(); y <= c.bottom(); ++y)
        for (int x = c.left(); x <= c.right(); ++x)
            if ((pixelAt(x, y) >> 24) >= alphaThreshold)
                return true;
    return false;
}

bool BitmapData::hitTestBitmap(QPoint firstPoint, std::uint32_t alphaThreshold,
                               const BitmapData& other, QPoint secondPoint,
                               std::uint32_t secondAlphaThreshold) const {
    if (disposed() || other.disposed())
        return false;
    const QRect overlap = rect().translated(firstPoint) & other.rect().translated(secondPoint);
    for (int y = overlap.top(); y <= overlap.bottom() && !overlap.isEmpty(); ++y)
        for (int x = overlap.left(); x <= overlap.right(); ++x) {
            if ((pixelAt(x - firstPoint.x(), y - firstPoint.y()) >> 24) >= alphaThreshold &&
                (other.pixelAt(x - secondPoint.x(), y - secondPoint.y()) >> 24) >=
                    secondAlphaThreshold)
                return true;
        }
    return false;
}

QRect BitmapData::colorBoundsRect(std::uint32_t mask, std::uint32_t color, bool find) const {
    if (disposed())
        return {};
    int left = width(), top = height(), right = -1, bottom = -1;
    for (int y = 0; y < height(); ++y)
        for (int x = 0; x < width(); ++x) {
            if (((pixelAt(x, y) & mask) == (color & mask)) != find)
                continue;
            left = std::min(left, x);
            right = std::max(right, x);
            top = std::min(top, y);
            bottom = std::max(bottom, y);
        }
    if (right < 0)
        return QRect(0, 0, 0, 0);
    return QRect(QPoint(left, top), QPoint(right, bottom));
}

void BitmapData::draw(BitmapDrawer& drawer, const BitmapData& src, const QTransform& m,
                      const ColorTransform& ct, BlendMode blend, const QRectF& clip, bool smooth) {
    if (disposed() || src.disposed())
        return;
    // Drawing a bitmap into itself reads the picture as it was before.
    const QImage source = &src == this ? m_image.copy() : src.m_image;
    drawer.drawImage(m_image, source, m, ct, blend, clip, smooth);
    touch();
}

void BitmapData::draw(BitmapDrawer& drawer, const Player& player, const DisplayObject* object,
                      const MovieClip* timeline, const QTransform& m, const ColorTransform& ct,
                      BlendMode blend, const QRectF& clip, bool smooth) {
    if (disposed())
        return;
    drawer.drawObject(player, object, timeline, m_image, m, ct, blend, clip, smooth);
    touch();
}

QRect BitmapData::filterRect(BitmapDrawer& drawer, const QRect& srcRect, const Filter& filter) {
    const int reach = std::clamp(drawer.filterReach(filter), 0, 2048);
    QRect r = srcRect.adjusted(-reach, -reach, reach, reach);
    if (filter.type == FilterType::DropShadow || filter.type == FilterType::Bevel ||
        filter.type == FilterType::GradientBevel) {
        const double d =
            std::isfinite(filter.distance) ? std::clamp(filter.distance, -2048.0, 2048.0) : 0;
        const int dx = int(std::lround(std::cos(filter.angle) * d));
        const int dy = int(std::lround(std::sin(filter.angle) * d));
        r = r.united(r.translated(dx, dy));
    }
    return r;
}

void BitmapData::applyFilter(BitmapDrawer& drawer, const BitmapData& src, const QRect& srcRect,
                             QPoint dest, const Filter& filter) {
    QRect r = srcRect & src.rect();
    if (disposed() || src.disposed() || r.isEmpty())
        return;
    dest += r.topLeft() - srcRect.topLeft();
    // The source goes into a layer with room around it for what the filter spreads, then the
    // part of the result that lands inside this bitmap replaces what was there.
    const int reach = std::clamp(drawer.filterReach(filter), 0, 2048);
    const int w = r.width() + 2 * reach, h = r.height() + 2 * reach;
    if (std::int64_t(w) * h > kMaxPixels)
        return;
    QImage layer(w, h, QImage::Format_ARGB32_Premultiplied);
    if (layer.isNull())
        return;
    layer.fill(0);
    const std::vector<QRgb> pixels = readPremultiplied(src.m_image, r);
    for (int y = 0; y < r.height(); ++y) {
        QRgb* row = reinterpret_cast<QRgb*>(layer.scanLine(reach + y)) + reach;
        for (int x = 0; x < r.width(); ++x) {
            const QRgb p = pixels[std::size_t(y) * std::size_t(r.width()) + std::size_t(x)];
            row[x] = src.m_transparent ? p : (p | 0xFF000000u);
        }
    }
    drawer.applyFilter(layer, filter);
    const QRect inLayer = QRect(dest - QPoint(reach, reach), layer.size()) & rect();
    if (inLayer.isEmpty())
        return;
    for (int y = inLayer.top(); y <= inLayer.bottom(); ++y) {
        const QRgb* in = reinterpret_cast<const QRgb*>(layer.constScanLine(y - dest.y() + reach));
        for (int x = inLayer.left(); x <= inLayer.right(); ++x) {
            const QRgb p = in[x - dest.x() + reach];
            reinterpret_cast<QRgb*>(m_image.scanLine(y))[x] =
                m_transparent ? p : (unpremultiply(p) | 0xFF000000u);
        }
    }
    touch();
}

} // namespace swf
