// flash.display.BitmapData on the engine's swf::BitmapData (the one ActionScript 2 uses too),
// and BitmapDataChannel. Library bitmap classes (SymbolClass names of bitmap characters) start
// with their character's pixels.

#include "swf/avm2/bitmaps.h"
#include "swf/avm2/display.h"
#include "swf/avm2/filters.h"
#include "swf/avm2/geom.h"
#include "swf/avm2/media.h"
#include "swf/characters.h"
#include "swf/movie.h"

#include <cmath>

namespace swf::avm2 {

namespace {

class BitmapDataObject : public Object {
public:
    explicit BitmapDataObject(Class* c) : Object(c) {}
    std::shared_ptr<BitmapData> data;
};

Object* allocBitmapData(VM& vm, Class* c) {
    return vm.make<BitmapDataObject>(c);
}

BitmapHost& host(VM& vm) {
    if (!vm.bitmaps)
        vm.bitmaps = std::make_shared<BitmapHost>();
    return *vm.bitmaps;
}

[[noreturn]] void invalid(VM& vm) {
    vm.throwError("ArgumentError", 2015, QStringLiteral("Invalid BitmapData."));
}

BitmapDataObject* object(VM& vm, const Value& v) {
    auto* o = dynamic_cast<BitmapDataObject*>(v.object());
    if (!o)
        vm.throwTypeError(1034, QStringLiteral("Type Coercion failed: cannot convert %1 to "
                                               "flash.display.BitmapData.")
                                    .arg(vm.describe(v)));
    return o;
}

// The receiver's pixels; a disposed bitmap throws, as every documented call on one does.
BitmapData& self(VM& vm, const Value& s) {
    BitmapDataObject* o = object(vm, s);
    if (!o->data || o->data->disposed())
        invalid(vm);
    return *o->data;
}

BitmapData& bitmapArg(VM& vm, std::span<const Value> a, std::size_t i) {
    const Value v = arg(a, i);
    if (v.isNullish())
        vm.throwTypeError(2007, QStringLiteral("Parameter sourceBitmapData must be non-null."));
    return self(vm, v);
}

// Rectangle arguments in whole pixels: AS3 converts coordinates to int, which truncates.
QRect rectArg(VM& vm, std::span<const Value> a, std::size_t i) {
    const auto r = toRectangle(vm, arg(a, i));
    if (!r)
        vm.throwTypeError(2007, QStringLiteral("Parameter rect must be non-null."));
    auto trunc = [](double v) { return std::isfinite(v) ? int(std::clamp(v, -1e9, 1e9)) : 0; };
    return QRect(trunc(r->x()), trunc(r->y()), trunc(r->width()), trunc(r->height()));
}

QPoint pointArg(VM& vm, std::span<const Value> a, std::size_t i, bool required = true) {
    const auto p = toPoint(vm, arg(a, i));
    if (!p) {
        if (required)
            vm.throwTypeError(2007, QStringLiteral("Parameter point must be non-null."));
        return {};
    }
    auto trunc = [](double v) { return std::isfinite(v) ? int(std::clamp(v, -1e9, 1e9)) : 0; };
    return QPoint(trunc(p->x()), trunc(p->y()));
}

Value undefined() {
    return Value();
}

// A library bitmap behind `c` or one of its bases, from the movie whose class it is.
const Bitmap* libraryBitmap(VM& vm, Class* c) {
    const Character* ch = linkedCharacter(vm, c);
    return ch && ch->type == CharacterType::Bitmap ? static_cast<const Bitmap*>(ch) : nullptr;
}

Value ctor(VM& vm, const Value& s, std::span<const Value> a) {
    BitmapDataObject* o = object(vm, s);
    BitmapHost& h = host(vm);
    if (const Bitmap* lib = libraryBitmap(vm, o->cls)) {
        // A library bitmap's class: its pixels, whatever size the constructor was given.
        o->data = BitmapData::fromImage(lib->image(), h.budget);
        if (o->data)
            return undefined();
    }
    const int w = vm.toInt32(arg(a, 0)), ht = vm.toInt32(arg(a, 1));
    const bool transparent = a.size() < 3 || VM::toBoolean(a[2]);
    const std::uint32_t fill = a.size() < 4 ? 0xFFFFFFFFu : vm.toUint32(a[3]);
    o->data = BitmapData::create(w, ht, transparent, fill, h.budget, h.swfVersion);
    if (!o->data)
        invalid(vm);
    return undefined();
}

Value width(VM& vm, const Value& s, std::span<const Value>) {
    return Value(std::int32_t(self(vm, s).width()));
}
Value height(VM& vm, const Value& s, std::span<const Value>) {
    return Value(std::int32_t(self(vm, s).height()));
}
Value transparent(VM& vm, const Value& s, std::span<const Value>) {
    return Value(self(vm, s).transparent());
}
Value rect(VM& vm, const Value& s, std::span<const Value>) {
    return newRectangle(vm, QRectF(self(vm, s).rect()));
}

Value getPixel(VM& vm, const Value& s, std::span<const Value> a) {
    return Value::fromUint(self(vm, s).getPixel(vm.toInt32(arg(a, 0)), vm.toInt32(arg(a, 1))));
}
Value getPixel32(VM& vm, const Value& s, std::span<const Value> a) {
    return Value::fromUint(self(vm, s).getPixel32(vm.toInt32(arg(a, 0)), vm.toInt32(arg(a, 1))));
}
Value setPixel(VM& vm, const Value& s, std::span<const Value> a) {
    self(vm, s).setPixel(vm.toInt32(arg(a, 0)), vm.toInt32(arg(a, 1)), vm.toUint32(arg(a, 2)));
    return undefined();
}
Value setPixel32(VM& vm, const Value& s, std::span<const Value> a) {
    self(vm, s).setPixel32(vm.toInt32(arg(a, 0)), vm.toInt32(arg(a, 1)), vm.toUint32(arg(a, 2)));
    return undefined();
}

Value fillRect(VM& vm, const Value& s, std::span<const Value> a) {
    BitmapData& b = self(vm, s);
    b.fillRect(rectArg(vm, a, 0), vm.toUint32(arg(a, 1)));
    return undefined();
}

Value copyPixels(VM& vm, const Value& s, std::span<const Value> a) {
    BitmapData& b = self(vm, s);
    BitmapData& src = bitmapArg(vm, a, 0);
    const QRect r = rectArg(vm, a, 1);
    const QPoint dest = pointArg(vm, a, 2);
    std::shared_ptr<BitmapData> alpha;
    if (!arg(a, 3).isNullish())
        alpha = bitmapDataOf(arg(a, 3));
    const QPoint alphaPoint = pointArg(vm, a, 4, false);
    b.copyPixels(src, r, dest, alpha.get(), alphaPoint, VM::toBoolean(arg(a, 5)));
    return undefined();
}

Value copyChannel(VM& vm, const Value& s, std::span<const Value> a) {
    BitmapData& b = self(vm, s);
    BitmapData& src = bitmapArg(vm, a, 0);
    b.copyChannel(src, rectArg(vm, a, 1), pointArg(vm, a, 2), vm.toUint32(arg(a, 3)),
                  vm.toUint32(arg(a, 4)));
    return undefined();
}

Value merge(VM& vm, const Value& s, std::span<const Value> a) {
    BitmapData& b = self(vm, s);
    BitmapData& src = bitmapArg(vm, a, 0);
    b.merge(src, rectArg(vm, a, 1), pointArg(vm, a, 2), vm.toUint32(arg(a, 3)),
            vm.toUint32(arg(a, 4)), vm.toUint32(arg(a, 5)), vm.toUint32(arg(a, 6)));
    return undefined();
}

// An Array of 256 numbers, or nothing.
std::optional<std::vector<std::uint32_t>> table(VM& vm, const Value& v) {
    auto* arr = dynamic_cast<Array*>(v.object());
    if (!arr)
        return std::nullopt;
    std::vector<std::uint32_t> out(256);
    for (std::size_t i = 0; i < 256; ++i)
        out[i] = i < arr->items.size() ? vm.toUint32(arr->items[i]) : 0;
    return out;
}

Value paletteMap(VM& vm, const Value& s, std::span<const Value> a) {
    BitmapData& b = self(vm, s);
    BitmapData& src = bitmapArg(vm, a, 0);
    const QRect r = rectArg(vm, a, 1);
    const QPoint dest = pointArg(vm, a, 2);
    std::optional<std::vector<std::uint32_t>> t[4];
    for (std::size_t i = 0; i < 4; ++i)
        t[i] = table(vm, arg(a, 3 + i));
    b.paletteMap(src, r, dest,
                 {t[0] ? &*t[0] : nullptr, t[1] ? &*t[1] : nullptr, t[2] ? &*t[2] : nullptr,
                  t[3] ? &*t[3] : nullptr});
    return undefined();
}

Value threshold(VM& vm, const Value& s, std::span<const Value> a) {
    BitmapData& b = self(vm, s);
    BitmapData& src = bitmapArg(vm, a, 0);
    const QRect r = rectArg(vm, a, 1);
    const QPoint dest = pointArg(vm, a, 2);
    const QString op = vm.toString(arg(a, 3));
    static const QStringList ops = {QStringLiteral("<"),  QStringLiteral("<="),
                                    QStringLiteral(">"),  QStringLiteral(">="),
                                    QStringLiteral("=="), QStringLiteral("!=")};
    if (!ops.contains(op))
        vm.throwError("ArgumentError", 2005,
                      QStringLiteral("Parameter 3 is of the incorrect type. Should be type "
                                     "Operation."));
    const std::uint32_t color = a.size() > 5 ? vm.toUint32(a[5]) : 0;
    const std::uint32_t mask = a.size() > 6 ? vm.toUint32(a[6]) : 0xFFFFFFFFu;
    return Value::fromUint(b.threshold(src, r, dest, op, vm.toUint32(arg(a, 4)), color, mask,
                                       VM::toBoolean(arg(a, 7))));
}

// pixelDissolve(source, sourceRect, destPoint, randomSeed = 0, numPixels = 0, fillColor = 0):
// the seed to pass to the next call. No count (or 0) dissolves a thirtieth of the rectangle; a
// negative count nothing.
Value pixelDissolve(VM& vm, const Value& s, std::span<const Value> a) {
    BitmapData& b = self(vm, s);
    BitmapData& src = bitmapArg(vm, a, 0);
    const QRect r = rectArg(vm, a, 1);
    const QPoint dest = pointArg(vm, a, 2);
    const std::int32_t seed = vm.toInt32(arg(a, 3));
    const std::int32_t asked = vm.toInt32(arg(a, 4));
    std::int64_t count = std::max<std::int32_t>(0, asked);
    if (asked == 0)
        count = std::int64_t(std::max(0, r.width())) * std::max(0, r.height()) / 30;
    return Value(b.pixelDissolve(src, r, dest, seed, count, vm.toUint32(arg(a, 5))));
}

// compare(other): 0 when alike, -3 when the widths differ, -4 when only the heights do, else
// a new BitmapData of the differences.
Value compare(VM& vm, const Value& s, std::span<const Value> a) {
    BitmapData& b = self(vm, s);
    if (arg(a, 0).isNullish())
        vm.throwTypeError(2007, QStringLiteral("Parameter otherBitmapData must be non-null."));
    BitmapData& other = self(vm, arg(a, 0));
    std::shared_ptr<BitmapData> difference;
    const int code = b.compare(other, difference);
    if (code <= 0)
        return Value(std::int32_t(code));
    if (!difference)
        vm.throwError("MemoryError", 1000, QStringLiteral("The system is out of memory."));
    return newBitmapData(vm, std::move(difference));
}

Value colorTransform(VM& vm, const Value& s, std::span<const Value> a) {
    BitmapData& b = self(vm, s);
    const QRect r = rectArg(vm, a, 0);
    const auto ct = toColorTransform(vm, arg(a, 1));
    if (!ct)
        vm.throwTypeError(2007, QStringLiteral("Parameter colorTransform must be non-null."));
    b.colorTransform(r, *ct);
    return undefined();
}

Value scroll(VM& vm, const Value& s, std::span<const Value> a) {
    self(vm, s).scroll(vm.toInt32(arg(a, 0)), vm.toInt32(arg(a, 1)));
    return undefined();
}

Value floodFill(VM& vm, const Value& s, std::span<const Value> a) {
    self(vm, s).floodFill(vm.toInt32(arg(a, 0)), vm.toInt32(arg(a, 1)), vm.toUint32(arg(a, 2)));
    return undefined();
}

Value noise(VM& vm, const Value& s, std::span<const Value> a) {
    BitmapData& b = self(vm, s);
    const std::uint32_t low = a.size() > 1 ? vm.toUint32(a[1]) : 0;
    const std::uint32_t high = a.size() > 2 ? vm.toUint32(a[2]) : 255;
    const std::uint32_t channels = a.size() > 3 ? vm.toUint32(a[3]) : 7;
    b.noise(vm.toInt32(arg(a, 0)), low, high, channels, VM::toBoolean(arg(a, 4)));
    return undefined();
}

Value perlinNoise(VM& vm, const Value& s, std::span<const Value> a) {
    BitmapData& b = self(vm, s);
    const std::uint32_t channels = a.size() > 6 ? vm.toUint32(a[6]) : 7;
    std::vector<QPointF> offsets;
    if (auto* arr = dynamic_cast<Array*>(arg(a, 8).object())) {
        for (std::size_t i = 0; i < arr->items.size() && i < 16; ++i)
            offsets.push_back(toPoint(vm, arr->items[i]).value_or(QPointF()));
    }
    b.perlinNoise(vm.toNumber(arg(a, 0)), vm.toNumber(arg(a, 1)), vm.toUint32(arg(a, 2)),
                  vm.toInt32(arg(a, 3)), VM::toBoolean(arg(a, 4)), VM::toBoolean(arg(a, 5)),
                  channels, VM::toBoolean(arg(a, 7)), offsets);
    return undefined();
}

Value getPixels(VM& vm, const Value& s, std::span<const Value> a) {
    BitmapData& b = self(vm, s);
    const std::vector<std::uint8_t> bytes = b.getPixels(rectArg(vm, a, 0));
    const Value ba = vm.construct(Value(static_cast<Object*>(vm.byteArrayClass)), {});
    if (std::vector<std::uint8_t>* data = vm.domainMemoryBytes(ba.object()))
        *data = bytes;
    return ba;
}

Value copyPixelsToByteArray(VM& vm, const Value& s, std::span<const Value> a) {
    BitmapData& b = self(vm, s);
    const std::vector<std::uint8_t> bytes = b.getPixels(rectArg(vm, a, 0));
    std::vector<std::uint8_t>* data = vm.domainMemoryBytes(arg(a, 1).object());
    if (!data)
        vm.throwTypeError(2007, QStringLiteral("Parameter data must be non-null."));
    // Written at the array's position, which moves past them.
    const Name position = vm.publicName(QStringLiteral("position"));
    const std::size_t at = vm.toUint32(vm.getProperty(arg(a, 1), position));
    // ByteArray's own cap on writes: a script's position alone cannot ask for gigabytes.
    if (at + bytes.size() > (std::size_t(512) << 20))
        vm.throwError("MemoryError", 1000, QStringLiteral("The system is out of memory."));
    if (at + bytes.size() > data->size())
        data->resize(at + bytes.size());
    std::copy(bytes.begin(), bytes.end(), data->begin() + std::ptrdiff_t(at));
    vm.setProperty(arg(a, 1), position, Value::fromUint(std::uint32_t(at + bytes.size())));
    return undefined();
}

Value setPixels(VM& vm, const Value& s, std::span<const Value> a) {
    BitmapData& b = self(vm, s);
    const QRect r = rectArg(vm, a, 0);
    std::vector<std::uint8_t>* data = vm.domainMemoryBytes(arg(a, 1).object());
    if (!data)
        vm.throwTypeError(2007, QStringLiteral("Parameter inputByteArray must be non-null."));
    // Read from the array's position, which moves past what was read; running out before the
    // rectangle is full is an error once the pixels read so far are set.
    const Name position = vm.publicName(QStringLiteral("position"));
    const std::size_t at =
        std::min<std::size_t>(vm.toUint32(vm.getProperty(arg(a, 1), position)), data->size());
    const std::size_t written = b.setPixels(r, std::span<const std::uint8_t>(*data).subspan(at));
    vm.setProperty(arg(a, 1), position, Value::fromUint(std::uint32_t(at + written * 4)));
    const QRect inside = r & b.rect();
    if (written < std::size_t(inside.width()) * std::size_t(std::max(0, inside.height())))
        vm.throwError("EOFError", 2030, QStringLiteral("End of file was encountered."));
    return undefined();
}

Value getVector(VM& vm, const Value& s, std::span<const Value> a) {
    BitmapData& b = self(vm, s);
    const std::vector<std::uint32_t> pixels = b.getVector(rectArg(vm, a, 0));
    const Value v = vm.construct(Value(static_cast<Object*>(vm.vectorClass(vm.uintClass))), {});
    auto* arr = static_cast<Array*>(v.object());
    arr->items.reserve(pixels.size());
    for (std::uint32_t p : pixels)
        arr->items.push_back(Value::fromUint(p));
    return v;
}

Value setVector(VM& vm, const Value& s, std::span<const Value> a) {
    BitmapData& b = self(vm, s);
    const QRect r = rectArg(vm, a, 0);
    auto* arr = dynamic_cast<Array*>(arg(a, 1).object());
    if (!arr)
        vm.throwTypeError(2007, QStringLiteral("Parameter inputVector must be non-null."));
    std::vector<std::uint32_t> pixels;
    const QRect inside = r & b.rect();
    const std::size_t want =
        std::size_t(std::max(0, inside.width())) * std::size_t(std::max(0, inside.height()));
    pixels.reserve(std::min(want, arr->items.size()));
    for (std::size_t i = 0; i < arr->items.size() && i < want; ++i)
        pixels.push_back(vm.toUint32(arr->items[i]));
    b.setVector(r, pixels);
    if (pixels.size() < want)
        vm.throwRangeError(1125,
                           QStringLiteral("The index %1 is out of range %1.").arg(pixels.size()));
    return undefined();
}

Value hitTest(VM& vm, const Value& s, std::span<const Value> a) {
    BitmapData& b = self(vm, s);
    const QPoint first = pointArg(vm, a, 0);
    const std::uint32_t threshold = vm.toUint32(arg(a, 1));
    const Value second = arg(a, 2);
    if (const auto p = toPoint(vm, second))
        return Value(b.hitTestPoint(first, threshold, QPoint(int(p->x()), int(p->y()))));
    if (const auto r = toRectangle(vm, second))
        return Value(b.hitTestRect(
            first, threshold, QRect(int(r->x()), int(r->y()), int(r->width()), int(r->height()))));
    if (dynamic_cast<BitmapDataObject*>(second.object())) {
        BitmapData& other = self(vm, second);
        const std::uint32_t t2 = a.size() > 4 ? vm.toUint32(a[4]) : 1;
        return Value(b.hitTestBitmap(first, threshold, other, pointArg(vm, a, 3, false), t2));
    }
    vm.throwError("ArgumentError", 2005,
                  QStringLiteral("Parameter 0 is of the incorrect type. Should be type "
                                 "BitmapData."));
}

Value getColorBoundsRect(VM& vm, const Value& s, std::span<const Value> a) {
    BitmapData& b = self(vm, s);
    const bool find = a.size() < 3 || VM::toBoolean(a[2]);
    return newRectangle(
        vm, QRectF(b.colorBoundsRect(vm.toUint32(arg(a, 0)), vm.toUint32(arg(a, 1)), find)));
}

BlendMode blendModeOf(VM& vm, const Value& v) {
    if (v.isNullish())
        return BlendMode::Normal;
    static const std::pair<const char*, BlendMode> modes[] = {
        {"normal", BlendMode::Normal},         {"layer", BlendMode::Layer},
        {"multiply", BlendMode::Multiply},     {"screen", BlendMode::Screen},
        {"lighten", BlendMode::Lighten},       {"darken", BlendMode::Darken},
        {"difference", BlendMode::Difference}, {"add", BlendMode::Add},
        {"subtract", BlendMode::Subtract},     {"invert", BlendMode::Invert},
        {"alpha", BlendMode::Alpha},           {"erase", BlendMode::Erase},
        {"overlay", BlendMode::Overlay},       {"hardlight", BlendMode::HardLight}};
    const QString name = vm.toString(v);
    for (auto [n, m] : modes)
        if (name == QLatin1String(n))
            return m;
    return BlendMode::Normal;
}

Value draw(VM& vm, const Value& s, std::span<const Value> a) {
    BitmapData& b = self(vm, s);
    const Value source = arg(a, 0);
    const QTransform m = toMatrix(vm, arg(a, 1)).value_or(QTransform());
    const ColorTransform ct = toColorTransform(vm, arg(a, 2)).value_or(ColorTransform{});
    const BlendMode blend = blendModeOf(vm, arg(a, 3));
    QRectF clip;
    if (const auto r = toRectangle(vm, arg(a, 4)))
        clip = r->isEmpty() ? QRectF(0, 0, 0, 0).adjusted(0, 0, 1e-9, 1e-9) : *r;
    const bool smooth = VM::toBoolean(arg(a, 5));
    BitmapHost& h = host(vm);
    if (dynamic_cast<BitmapDataObject*>(source.object())) {
        BitmapData& src = self(vm, source);
        if (h.drawer)
            b.draw(*h.drawer, src, m, ct, blend, clip, smooth);
        return undefined();
    }
    if (source.isNullish())
        vm.throwTypeError(2007, QStringLiteral("Parameter source must be non-null."));
    Object* so = source.object();
    if (!so || so->kind != ObjectKind::DisplayObject || !static_cast<DisplayNode*>(so)->isDisplay)
        vm.throwTypeError(1034, QStringLiteral("Type Coercion failed: cannot convert %1 to "
                                               "flash.display.IBitmapDrawable.")
                                    .arg(vm.describe(source)));
    auto* n = static_cast<DisplayNode*>(so);
    const QTransform pixels = QTransform::fromScale(1 / 20.0, 1 / 20.0) * m;
    // The stage: what the window shows, the document through its scroll window and what sits
    // beside it.
    if (n->isStage) {
        if (h.drawer && vm.displayTree)
            b.draw(*h.drawer, vm.displayTree->player, nullptr, nullptr, pixels, ct, blend, clip,
                   smooth);
        return undefined();
    }
    // The object's content without its own placement; the matrix maps its pixels to ours.
    if (h.drawer && vm.displayTree && (n->obj || n->clip))
        b.draw(*h.drawer, vm.displayTree->player, n->obj, n->clip, pixels, ct, blend, clip, smooth);
    return undefined();
}

Value clone(VM& vm, const Value& s, std::span<const Value>) {
    BitmapData& b = self(vm, s);
    auto copy = b.clone();
    if (!copy)
        invalid(vm);
    Object* cls = vm.lookupDefinition(QStringLiteral("flash.display.BitmapData")).object();
    if (!cls || cls->kind != ObjectKind::Class)
        invalid(vm);
    auto* o = static_cast<BitmapDataObject*>(vm.allocInstance(static_cast<Class*>(cls)));
    o->data = std::move(copy);
    return Value(static_cast<Object*>(o));
}

Value dispose(VM& vm, const Value& s, std::span<const Value>) {
    BitmapDataObject* o = object(vm, s);
    if (o->data)
        o->data->dispose();
    return undefined();
}

Value lock(VM& vm, const Value& s, std::span<const Value>) {
    self(vm, s).lock();
    return undefined();
}
Value unlock(VM& vm, const Value& s, std::span<const Value>) {
    self(vm, s).unlock();
    return undefined();
}

Value applyFilter(VM& vm, const Value& s, std::span<const Value> a) {
    BitmapData& b = self(vm, s);
    BitmapData& src = bitmapArg(vm, a, 0);
    const QRect r = rectArg(vm, a, 1);
    const QPoint dest = pointArg(vm, a, 2);
    const auto filter = toFilter(vm, arg(a, 3));
    if (!filter)
        vm.throwTypeError(2007, QStringLiteral("Parameter filter must be non-null."));
    if (BitmapHost& h = host(vm); h.drawer)
        b.applyFilter(*h.drawer, src, r, dest, *filter);
    return undefined();
}

Value generateFilterRect(VM& vm, const Value& s, std::span<const Value> a) {
    self(vm, s);
    const QRect r = rectArg(vm, a, 0);
    const auto filter = toFilter(vm, arg(a, 1));
    BitmapHost& h = host(vm);
    if (!filter || !h.drawer)
        return newRectangle(vm, QRectF(r));
    return newRectangle(vm, QRectF(BitmapData::filterRect(*h.drawer, r, *filter)));
}

} // namespace

std::shared_ptr<BitmapData> bitmapDataOf(const Value& v) {
    auto* o = dynamic_cast<BitmapDataObject*>(v.object());
    if (!o || !o->data || o->data->disposed())
        return nullptr;
    return o->data;
}

Value newBitmapData(VM& vm, std::shared_ptr<BitmapData> pixels) {
    Object* cls = vm.lookupDefinition(QStringLiteral("flash.display.BitmapData")).object();
    if (!cls || cls->kind != ObjectKind::Class)
        invalid(vm);
    auto* o = static_cast<BitmapDataObject*>(vm.allocInstance(static_cast<Class*>(cls)));
    o->data = std::move(pixels);
    return Value(static_cast<Object*>(o));
}

void installBitmapData(VM& vm) {
    Class* c = vm.defineNativeClass(QStringLiteral("flash.display"), QStringLiteral("BitmapData"),
                                    vm.objectClass, allocBitmapData, true);
    c->iinit.native = ctor;
    vm.addGetter(c, QStringLiteral("width"), width);
    vm.addGetter(c, QStringLiteral("height"), height);
    vm.addGetter(c, QStringLiteral("transparent"), transparent);
    vm.addGetter(c, QStringLiteral("rect"), rect);
    const std::pair<const char*, NativeFn> methods[] = {
        {"getPixel", getPixel},
        {"getPixel32", getPixel32},
        {"setPixel", setPixel},
        {"setPixel32", setPixel32},
        {"fillRect", fillRect},
        {"copyPixels", copyPixels},
        {"copyChannel", copyChannel},
        {"merge", merge},
        {"paletteMap", paletteMap},
        {"threshold", threshold},
        {"pixelDissolve", pixelDissolve},
        {"compare", compare},
        {"colorTransform", colorTransform},
        {"scroll", scroll},
        {"floodFill", floodFill},
        {"noise", noise},
        {"perlinNoise", perlinNoise},
        {"getPixels", getPixels},
        {"setPixels", setPixels},
        {"copyPixelsToByteArray", copyPixelsToByteArray},
        {"getVector", getVector},
        {"setVector", setVector},
        {"hitTest", hitTest},
        {"getColorBoundsRect", getColorBoundsRect},
        {"draw", draw},
        {"drawWithQuality", draw},
        {"clone", clone},
        {"dispose", dispose},
        {"lock", lock},
        {"unlock", unlock},
        {"applyFilter", applyFilter},
        {"generateFilterRect", generateFilterRect},
    };
    for (auto [n, f] : methods) {
        const QString name = QString::fromLatin1(n);
        vm.addMethod(c, name, f);
        Binding* b = c->instanceTraits.find(name, vm.as3Ns());
        c->instanceTraits.add(name, vm.publicNs(), *b);
    }

    Class* ch =
        vm.defineNativeClass(QStringLiteral("flash.display"), QStringLiteral("BitmapDataChannel"),
                             vm.objectClass, nullptr, true);
    vm.addStaticValue(ch, QStringLiteral("RED"), Value(std::int32_t(Red)));
    vm.addStaticValue(ch, QStringLiteral("GREEN"), Value(std::int32_t(Green)));
    vm.addStaticValue(ch, QStringLiteral("BLUE"), Value(std::int32_t(Blue)));
    vm.addStaticValue(ch, QStringLiteral("ALPHA"), Value(std::int32_t(Alpha)));
    installFilters(vm);
}

} // namespace swf::avm2
