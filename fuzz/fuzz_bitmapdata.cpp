// BitmapData calls from random bytes: three small bitmaps (sizes from the first bytes, some
// opaque) and a run of operations, each one byte to pick it and the bytes after it for its
// arguments: rectangles, points, colours, channels, filters, matrices. Coordinates reach well
// outside the bitmaps, so the clipping of every operation is exercised.

#include "swf/bitmapdata.h"
#include "swf/render/bitmapdrawer.h"

#include <QtGlobal>
#include <cstddef>
#include <cstdint>

namespace {

class Input {
public:
    Input(const std::uint8_t* data, std::size_t size) : m_data(data), m_size(size) {}
    bool more() const { return m_at < m_size; }
    std::uint8_t u8() { return m_at < m_size ? m_data[m_at++] : 0; }
    std::uint32_t u32() {
        std::uint32_t v = 0;
        for (int i = 0; i < 4; ++i)
            v = v << 8 | u8();
        return v;
    }
    // -64..191: around and beyond bitmaps of at most 64 pixels a side.
    int coord() { return int(u8()) - 64; }
    QRect rect() { return QRect(coord(), coord(), coord(), coord()); }
    QPoint point() { return QPoint(coord(), coord()); }

private:
    const std::uint8_t* m_data;
    std::size_t m_size, m_at = 0;
};

swf::Filter filter(Input& in) {
    swf::Filter f;
    f.type = swf::FilterType(in.u8() % 8);
    f.blurX = in.u8() % 40;
    f.blurY = in.u8() % 40;
    f.passes = in.u8() % 4;
    f.strength = in.u8() / 32.0;
    f.angle = in.u8() / 40.0;
    f.distance = int(in.u8()) - 128;
    f.inner = in.u8() & 1;
    f.knockout = in.u8() & 1;
    f.compositeSource = in.u8() & 1;
    f.colors = {swf::Rgba{in.u8(), in.u8(), in.u8(), in.u8()},
                swf::Rgba{in.u8(), in.u8(), in.u8(), in.u8()}};
    f.ratios = {0, 255};
    f.matrixX = in.u8() % 5;
    f.matrixY = in.u8() % 5;
    f.matrix.assign(f.type == swf::FilterType::ColorMatrix ? 20 : f.matrixX * f.matrixY,
                    float(int(in.u8()) - 128) / 32);
    f.divisor = float(in.u8() % 5);
    return f;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const bool quiet =
        (qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {}), true);
    (void)quiet;
    static swf::render::RendererBitmapDrawer drawer;
    Input in(data, size);
    auto budget = std::make_shared<swf::BitmapBudget>(std::size_t(64) << 10);
    std::shared_ptr<swf::BitmapData> b[3];
    for (auto& bitmap : b) {
        bitmap = swf::BitmapData::create(in.u8() % 64 + 1, in.u8() % 64 + 1, in.u8() & 1, in.u32(),
                                         budget);
        if (!bitmap)
            bitmap = swf::BitmapData::create(1, 1, true, 0, nullptr);
    }
    for (int step = 0; step < 64 && in.more(); ++step) {
        const std::uint8_t opcode = in.u8();
        swf::BitmapData& dst = *b[opcode % 3];
        swf::BitmapData& src = *b[(opcode / 3) % 3];
        switch ((opcode / 9) % 24) {
        case 0:
            dst.fillRect(in.rect(), in.u32());
            break;
        case 1:
            dst.setPixel32(in.coord(), in.coord(), in.u32());
            break;
        case 2:
            dst.setPixel(in.coord(), in.coord(), in.u32());
            break;
        case 3: {
            const QRect r = in.rect();
            const QPoint p = in.point();
            const bool useAlpha = in.u8() & 1;
            dst.copyPixels(src, r, p, useAlpha ? b[2].get() : nullptr, in.point(), in.u8() & 1);
            break;
        }
        case 4: {
            const QRect r = in.rect();
            const QPoint p = in.point();
            dst.copyChannel(src, r, p, in.u8() % 16, in.u8() % 16);
            break;
        }
        case 5: {
            const QRect r = in.rect();
            const QPoint p = in.point();
            dst.merge(src, r, p, in.u8() * 2u, in.u8() * 2u, in.u8() * 2u, in.u8() * 2u);
            break;
        }
        case 6: {
            std::vector<std::uint32_t> table(in.u8() * 2u);
            for (auto& v : table)
                v = in.u32();
            const QRect r = in.rect();
            dst.paletteMap(src, r, in.point(), {&table, nullptr, &table, nullptr});
            break;
        }
        case 7: {
            static const char* const ops[] = {"<", "<=", ">", ">=", "==", "!=", "?"};
            const QRect r = in.rect();
            const QPoint p = in.point();
            const QString op = QString::fromLatin1(ops[in.u8() % 7]);
            dst.threshold(src, r, p, op, in.u32(), in.u32(), in.u32(), in.u8() & 1);
            break;
        }
        case 8: {
            swf::ColorTransform ct;
            ct.redMult = int(in.u8()) * 4 - 512;
            ct.alphaMult = int(in.u8()) * 4 - 512;
            ct.greenAdd = int(in.u8()) - 128;
            dst.colorTransform(in.rect(), ct);
            break;
        }
        case 9:
            dst.scroll(in.coord(), in.coord());
            break;
        case 10:
            dst.floodFill(in.coord(), in.coord(), in.u32());
            break;
        case 11:
            dst.noise(std::int32_t(in.u32()), in.u8(), in.u8(), in.u8() % 16, in.u8() & 1);
            break;
        case 12: {
            const QPointF offsets[] = {{double(in.coord()), double(in.coord())}};
            dst.perlinNoise(in.u8() / 4.0, in.u8() / 4.0, in.u8() % 6, std::int32_t(in.u32()),
                            in.u8() & 1, in.u8() & 1, in.u8() % 16, in.u8() & 1, offsets);
            break;
        }
        case 13:
            (void)dst.hitTestPoint(in.point(), in.u8(), in.point());
            break;
        case 14:
            (void)dst.hitTestRect(in.point(), in.u8(), in.rect());
            break;
        case 15:
            (void)dst.hitTestBitmap(in.point(), in.u8(), src, in.point(), in.u8());
            break;
        case 16: {
            QTransform m(double(int(in.u8()) - 128) / 32, double(int(in.u8()) - 128) / 32,
                         double(int(in.u8()) - 128) / 32, double(int(in.u8()) - 128) / 32,
                         in.coord(), in.coord());
            swf::ColorTransform ct;
            ct.alphaMult = in.u8();
            const auto blend = swf::BlendMode(in.u8() % 14 + 1);
            const QRect clip = in.rect();
            dst.draw(drawer, src, m, ct, blend, QRectF(clip), in.u8() & 1);
            break;
        }
        case 17: {
            const QRect r = in.rect();
            const QPoint p = in.point();
            dst.applyFilter(drawer, src, r, p, filter(in));
            break;
        }
        case 18:
            (void)swf::BitmapData::filterRect(drawer, in.rect(), filter(in));
            break;
        case 19:
            (void)dst.getPixels(in.rect());
            break;
        case 20: {
            std::vector<std::uint8_t> bytes(in.u8());
            for (auto& v : bytes)
                v = in.u8();
            dst.setPixels(in.rect(), bytes);
            break;
        }
        case 21:
            (void)dst.colorBoundsRect(in.u32(), in.u32(), in.u8() & 1);
            break;
        case 22:
            if (auto copy = dst.clone())
                b[opcode % 3] = copy;
            break;
        default:
            if (in.u8() == 0xFF)
                dst.dispose();
            break;
        }
    }
    return 0;
}
