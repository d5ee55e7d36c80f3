// flash.geom: Point, Rectangle, Matrix and ColorTransform, as the Language Reference documents
// them. Each is a native object holding its numbers; the classes may be subclassed.

#include "swf/avm2/geom.h"

#include <cmath>

namespace swf::avm2 {

namespace {

enum class Kind : std::uint8_t { Point, Rectangle, Matrix, ColorTransform };

// Fields: Point x y; Rectangle x y width height; Matrix a b c d tx ty; ColorTransform the four
// multipliers then the four offsets.
class Geom : public Object {
public:
    Geom(Class* c, Kind k) : Object(c), kind(k) {}
    Kind kind;
    double v[8] = {};
};

const char* className(Kind k) {
    switch (k) {
    case Kind::Point:
        return "Point";
    case Kind::Rectangle:
        return "Rectangle";
    case Kind::Matrix:
        return "Matrix";
    case Kind::ColorTransform:
        return "ColorTransform";
    }
    return "";
}

Geom* asGeom(const Value& v, Kind k) {
    auto* g = dynamic_cast<Geom*>(v.object());
    return g && g->kind == k ? g : nullptr;
}

template <Kind K> Geom* self(VM& vm, const Value& s) {
    Geom* g = asGeom(s, K);
    if (!g)
        vm.throwTypeError(1034, QStringLiteral("Type Coercion failed: cannot convert %1 to "
                                               "flash.geom.%2.")
                                    .arg(vm.describe(s), QLatin1String(className(K))));
    return g;
}

template <Kind K> Object* alloc(VM& vm, Class* c) {
    auto* g = vm.make<Geom>(c, K);
    if (K == Kind::Matrix)
        g->v[0] = g->v[3] = 1;
    if (K == Kind::ColorTransform)
        g->v[0] = g->v[1] = g->v[2] = g->v[3] = 1;
    return g;
}

Geom* make(VM& vm, Kind k) {
    static const QString names[] = {
        QStringLiteral("flash.geom.Point"), QStringLiteral("flash.geom.Rectangle"),
        QStringLiteral("flash.geom.Matrix"), QStringLiteral("flash.geom.ColorTransform")};
    const Value cls = vm.lookupDefinition(names[int(k)]);
    return asGeom(vm.construct(cls, {}), k);
}

Value num(double d) {
    return Value::number(d);
}

// A number argument with its documented default.
double numArg(VM& vm, std::span<const Value> a, std::size_t i, double fallback) {
    return i < a.size() && !a[i].isUndefined() ? vm.toNumber(a[i]) : fallback;
}

template <Kind K, int I> Value getField(VM& vm, const Value& s, std::span<const Value>) {
    return num(self<K>(vm, s)->v[I]);
}
template <Kind K, int I> Value setField(VM& vm, const Value& s, std::span<const Value> a) {
    self<K>(vm, s)->v[I] = vm.toNumber(arg(a, 0));
    return Value();
}

template <Kind K, int N> Value ctor(VM& vm, const Value& s, std::span<const Value> a) {
    Geom* g = self<K>(vm, s);
    for (int i = 0; i < N; ++i)
        g->v[i] = numArg(vm, a, std::size_t(i), g->v[i]);
    return Value();
}

template <Kind K, int N> Value setTo(VM& vm, const Value& s, std::span<const Value> a) {
    Geom* g = self<K>(vm, s);
    for (int i = 0; i < N; ++i)
        g->v[i] = vm.toNumber(arg(a, std::size_t(i)));
    return Value();
}

template <Kind K> Value clone(VM& vm, const Value& s, std::span<const Value>) {
    Geom* g = self<K>(vm, s);
    Geom* c = make(vm, K);
    std::copy(std::begin(g->v), std::end(g->v), c->v);
    return Value(static_cast<Object*>(c));
}

template <Kind K> Value copyFrom(VM& vm, const Value& s, std::span<const Value> a) {
    Geom* g = self<K>(vm, s);
    Geom* from = self<K>(vm, arg(a, 0));
    std::copy(std::begin(from->v), std::end(from->v), g->v);
    return Value();
}

template <Kind K, int N> Value equals(VM& vm, const Value& s, std::span<const Value> a) {
    Geom* g = self<K>(vm, s);
    Geom* o = asGeom(arg(a, 0), K);
    if (!o)
        return Value(false);
    for (int i = 0; i < N; ++i)
        if (!(g->v[i] == o->v[i]))
            return Value(false);
    return Value(true);
}

template <Kind K> Value toStringOf(VM& vm, const Value& s, std::span<const Value>) {
    static const char* const fields[4][8] = {{"x", "y"},
                                             {"x", "y", "w", "h"},
                                             {"a", "b", "c", "d", "tx", "ty"},
                                             {"redMultiplier", "greenMultiplier", "blueMultiplier",
                                              "alphaMultiplier", "redOffset", "greenOffset",
                                              "blueOffset", "alphaOffset"}};
    Geom* g = self<K>(vm, s);
    QString out = QStringLiteral("(");
    for (int i = 0; i < 8 && fields[int(K)][i]; ++i) {
        if (i)
            out += QStringLiteral(", ");
        out += QLatin1String(fields[int(K)][i]) + u'=' + VM::numberToString(g->v[i]);
    }
    return Value(out + u')');
}

// Point ------------------------------------------------------------------------------------

Value pointOf(VM& vm, double x, double y) {
    return newPoint(vm, QPointF(x, y));
}
Geom* pointArg(VM& vm, std::span<const Value> a, std::size_t i) {
    return self<Kind::Point>(vm, arg(a, i));
}

Value pointLength(VM& vm, const Value& s, std::span<const Value>) {
    Geom* p = self<Kind::Point>(vm, s);
    return num(std::hypot(p->v[0], p->v[1]));
}
Value pointAdd(VM& vm, const Value& s, std::span<const Value> a) {
    Geom* p = self<Kind::Point>(vm, s);
    Geom* q = pointArg(vm, a, 0);
    return pointOf(vm, p->v[0] + q->v[0], p->v[1] + q->v[1]);
}
Value pointSubtract(VM& vm, const Value& s, std::span<const Value> a) {
    Geom* p = self<Kind::Point>(vm, s);
    Geom* q = pointArg(vm, a, 0);
    return pointOf(vm, p->v[0] - q->v[0], p->v[1] - q->v[1]);
}
Value pointNormalize(VM& vm, const Value& s, std::span<const Value> a) {
    Geom* p = self<Kind::Point>(vm, s);
    const double len = std::hypot(p->v[0], p->v[1]);
    if (len > 0) {
        const double k = vm.toNumber(arg(a, 0)) / len;
        p->v[0] *= k;
        p->v[1] *= k;
    }
    return Value();
}
Value pointOffset(VM& vm, const Value& s, std::span<const Value> a) {
    Geom* p = self<Kind::Point>(vm, s);
    p->v[0] += vm.toNumber(arg(a, 0));
    p->v[1] += vm.toNumber(arg(a, 1));
    return Value();
}
Value pointDistance(VM& vm, const Value&, std::span<const Value> a) {
    Geom* p = pointArg(vm, a, 0);
    Geom* q = pointArg(vm, a, 1);
    return num(std::hypot(p->v[0] - q->v[0], p->v[1] - q->v[1]));
}
Value pointInterpolate(VM& vm, const Value&, std::span<const Value> a) {
    Geom* p = pointArg(vm, a, 0);
    Geom* q = pointArg(vm, a, 1);
    const double f = vm.toNumber(arg(a, 2));
    return pointOf(vm, q->v[0] + (p->v[0] - q->v[0]) * f, q->v[1] + (p->v[1] - q->v[1]) * f);
}
Value pointPolar(VM& vm, const Value&, std::span<const Value> a) {
    const double len = vm.toNumber(arg(a, 0)), angle = vm.toNumber(arg(a, 1));
    return pointOf(vm, len * std::cos(angle), len * std::sin(angle));
}

// Rectangle ------------------------------------------------------------------------------

using R = Geom;
double left(R* r) {
    return r->v[0];
}
double top(R* r) {
    return r->v[1];
}
double right(R* r) {
    return r->v[0] + r->v[2];
}
double bottom(R* r) {
    return r->v[1] + r->v[3];
}
bool empty(R* r) {
    return !(r->v[2] > 0) || !(r->v[3] > 0);
}

Value rectOf(VM& vm, double x, double y, double w, double h) {
    return newRectangle(vm, QRectF(x, y, w, h));
}
R* rectSelf(VM& vm, const Value& s) {
    return self<Kind::Rectangle>(vm, s);
}

Value rectRight(VM& vm, const Value& s, std::span<const Value>) {
    return num(right(rectSelf(vm, s)));
}
Value rectBottom(VM& vm, const Value& s, std::span<const Value>) {
    return num(bottom(rectSelf(vm, s)));
}
Value setLeft(VM& vm, const Value& s, std::span<const Value> a) {
    R* r = rectSelf(vm, s);
    const double v = vm.toNumber(arg(a, 0));
    r->v[2] += r->v[0] - v;
    r->v[0] = v;
    return Value();
}
Value setTop(VM& vm, const Value& s, std::span<const Value> a) {
    R* r = rectSelf(vm, s);
    const double v = vm.toNumber(arg(a, 0));
    r->v[3] += r->v[1] - v;
    r->v[1] = v;
    return Value();
}
Value setRight(VM& vm, const Value& s, std::span<const Value> a) {
    R* r = rectSelf(vm, s);
    r->v[2] = vm.toNumber(arg(a, 0)) - r->v[0];
    return Value();
}
Value setBottom(VM& vm, const Value& s, std::span<const Value> a) {
    R* r = rectSelf(vm, s);
    r->v[3] = vm.toNumber(arg(a, 0)) - r->v[1];
    return Value();
}
Value topLeft(VM& vm, const Value& s, std::span<const Value>) {
    R* r = rectSelf(vm, s);
    return pointOf(vm, r->v[0], r->v[1]);
}
Value setTopLeft(VM& vm, const Value& s, std::span<const Value> a) {
    Geom* p = pointArg(vm, a, 0);
    const Value x[] = {num(p->v[0])}, y[] = {num(p->v[1])};
    setLeft(vm, s, x);
    setTop(vm, s, y);
    return Value();
}
Value bottomRight(VM& vm, const Value& s, std::span<const Value>) {
    R* r = rectSelf(vm, s);
    return pointOf(vm, right(r), bottom(r));
}
Value setBottomRight(VM& vm, const Value& s, std::span<const Value> a) {
    Geom* p = pointArg(vm, a, 0);
    R* r = rectSelf(vm, s);
    r->v[2] = p->v[0] - r->v[0];
    r->v[3] = p->v[1] - r->v[1];
    return Value();
}
Value size(VM& vm, const Value& s, std::span<const Value>) {
    R* r = rectSelf(vm, s);
    return pointOf(vm, r->v[2], r->v[3]);
}
Value setSize(VM& vm, const Value& s, std::span<const Value> a) {
    Geom* p = pointArg(vm, a, 0);
    R* r = rectSelf(vm, s);
    r->v[2] = p->v[0];
    r->v[3] = p->v[1];
    return Value();
}
bool containsXY(R* r, double x, double y) {
    return x >= left(r) && x < right(r) && y >= top(r) && y < bottom(r);
}
Value rectContains(VM& vm, const Value& s, std::span<const Value> a) {
    return Value(containsXY(rectSelf(vm, s), vm.toNumber(arg(a, 0)), vm.toNumber(arg(a, 1))));
}
Value rectContainsPoint(VM& vm, const Value& s, std::span<const Value> a) {
    Geom* p = pointArg(vm, a, 0);
    return Value(containsXY(rectSelf(vm, s), p->v[0], p->v[1]));
}
Value rectContainsRect(VM& vm, const Value& s, std::span<const Value> a) {
    R* r = rectSelf(vm, s);
    R* o = rectSelf(vm, arg(a, 0));
    if (empty(o))
        return Value(false);
    return Value(left(o) >= left(r) && top(o) >= top(r) && right(o) <= right(r) &&
                 bottom(o) <= bottom(r));
}
Value rectInflate(VM& vm, const Value& s, std::span<const Value> a) {
    R* r = rectSelf(vm, s);
    const double dx = vm.toNumber(arg(a, 0)), dy = vm.toNumber(arg(a, 1));
    r->v[0] -= dx;
    r->v[1] -= dy;
    r->v[2] += 2 * dx;
    r->v[3] += 2 * dy;
    return Value();
}
Value rectInflatePoint(VM& vm, const Value& s, std::span<const Value> a) {
    Geom* p = pointArg(vm, a, 0);
    const Value args[] = {num(p->v[0]), num(p->v[1])};
    return rectInflate(vm, s, args);
}
Value rectOffset(VM& vm, const Value& s, std::span<const Value> a) {
    R* r = rectSelf(vm, s);
    r->v[0] += vm.toNumber(arg(a, 0));
    r->v[1] += vm.toNumber(arg(a, 1));
    return Value();
}
Value rectOffsetPoint(VM& vm, const Value& s, std::span<const Value> a) {
    Geom* p = pointArg(vm, a, 0);
    R* r = rectSelf(vm, s);
    r->v[0] += p->v[0];
    r->v[1] += p->v[1];
    return Value();
}
Value rectIntersection(VM& vm, const Value& s, std::span<const Value> a) {
    R* r = rectSelf(vm, s);
    R* o = rectSelf(vm, arg(a, 0));
    const double l = std::max(left(r), left(o)), t = std::max(top(r), top(o));
    const double rr = std::min(right(r), right(o)), b = std::min(bottom(r), bottom(o));
    if (empty(r) || empty(o) || !(rr > l) || !(b > t))
        return rectOf(vm, 0, 0, 0, 0);
    return rectOf(vm, l, t, rr - l, b - t);
}
Value rectIntersects(VM& vm, const Value& s, std::span<const Value> a) {
    const Value i = rectIntersection(vm, s, a);
    return Value(!empty(asGeom(i, Kind::Rectangle)));
}
Value rectUnion(VM& vm, const Value& s, std::span<const Value> a) {
    R* r = rectSelf(vm, s);
    R* o = rectSelf(vm, arg(a, 0));
    if (empty(r))
        return rectOf(vm, o->v[0], o->v[1], o->v[2], o->v[3]);
    if (empty(o))
        return rectOf(vm, r->v[0], r->v[1], r->v[2], r->v[3]);
    const double l = std::min(left(r), left(o)), t = std::min(top(r), top(o));
    return rectOf(vm, l, t, std::max(right(r), right(o)) - l, std::max(bottom(r), bottom(o)) - t);
}
Value rectIsEmpty(VM& vm, const Value& s, std::span<const Value>) {
    return Value(empty(rectSelf(vm, s)));
}
Value rectSetEmpty(VM& vm, const Value& s, std::span<const Value>) {
    R* r = rectSelf(vm, s);
    r->v[0] = r->v[1] = r->v[2] = r->v[3] = 0;
    return Value();
}

// Matrix ----------------------------------------------------------------------------------

using M = Geom;
M* matSelf(VM& vm, const Value& s) {
    return self<Kind::Matrix>(vm, s);
}
// This matrix followed by (a b c d tx ty).
void concatWith(M* m, const double* o) {
    const double* v = m->v;
    const double r[6] = {v[0] * o[0] + v[1] * o[2],        v[0] * o[1] + v[1] * o[3],
                         v[2] * o[0] + v[3] * o[2],        v[2] * o[1] + v[3] * o[3],
                         v[4] * o[0] + v[5] * o[2] + o[4], v[4] * o[1] + v[5] * o[3] + o[5]};
    std::copy(r, r + 6, m->v);
}
Value matConcat(VM& vm, const Value& s, std::span<const Value> a) {
    M* m = matSelf(vm, s);
    M* o = matSelf(vm, arg(a, 0));
    concatWith(m, o->v);
    return Value();
}
Value matIdentity(VM& vm, const Value& s, std::span<const Value>) {
    M* m = matSelf(vm, s);
    const double id[6] = {1, 0, 0, 1, 0, 0};
    std::copy(id, id + 6, m->v);
    return Value();
}
Value matInvert(VM& vm, const Value& s, std::span<const Value>) {
    M* m = matSelf(vm, s);
    const double* v = m->v;
    const double det = v[0] * v[3] - v[1] * v[2];
    if (det == 0 || !std::isfinite(det))
        return Value(); // no inverse: left as it was
    const double a = v[3] / det, b = -v[1] / det, c = -v[2] / det, d = v[0] / det;
    const double r[6] = {a, b, c, d, -(a * v[4] + c * v[5]), -(b * v[4] + d * v[5])};
    std::copy(r, r + 6, m->v);
    return Value();
}
Value matRotate(VM& vm, const Value& s, std::span<const Value> a) {
    M* m = matSelf(vm, s);
    const double q = vm.toNumber(arg(a, 0));
    const double r[6] = {std::cos(q), std::sin(q), -std::sin(q), std::cos(q), 0, 0};
    concatWith(m, r);
    return Value();
}
Value matScale(VM& vm, const Value& s, std::span<const Value> a) {
    M* m = matSelf(vm, s);
    const double sx = vm.toNumber(arg(a, 0)), sy = vm.toNumber(arg(a, 1));
    const double r[6] = {sx, 0, 0, sy, 0, 0};
    concatWith(m, r);
    return Value();
}
Value matTranslate(VM& vm, const Value& s, std::span<const Value> a) {
    M* m = matSelf(vm, s);
    m->v[4] += vm.toNumber(arg(a, 0));
    m->v[5] += vm.toNumber(arg(a, 1));
    return Value();
}
// Identity, rotate, scale, translate, as documented.
void createBox(M* m, double sx, double sy, double q, double tx, double ty) {
    const double c = std::cos(q), s = std::sin(q);
    const double r[6] = {sx * c, sy * s, -sx * s, sy * c, tx, ty};
    std::copy(r, r + 6, m->v);
}
Value matCreateBox(VM& vm, const Value& s, std::span<const Value> a) {
    createBox(matSelf(vm, s), vm.toNumber(arg(a, 0)), vm.toNumber(arg(a, 1)), numArg(vm, a, 2, 0),
              numArg(vm, a, 3, 0), numArg(vm, a, 4, 0));
    return Value();
}
// A gradient's square is 1638.4 pixels a side (32768 twips), centred on the origin.
Value matCreateGradientBox(VM& vm, const Value& s, std::span<const Value> a) {
    const double w = vm.toNumber(arg(a, 0)), h = vm.toNumber(arg(a, 1));
    createBox(matSelf(vm, s), w / 1638.4, h / 1638.4, numArg(vm, a, 2, 0),
              numArg(vm, a, 3, 0) + w / 2, numArg(vm, a, 4, 0) + h / 2);
    return Value();
}
Value matTransformPoint(VM& vm, const Value& s, std::span<const Value> a) {
    M* m = matSelf(vm, s);
    Geom* p = pointArg(vm, a, 0);
    const double* v = m->v;
    return pointOf(vm, v[0] * p->v[0] + v[2] * p->v[1] + v[4],
                   v[1] * p->v[0] + v[3] * p->v[1] + v[5]);
}
Value matDeltaTransformPoint(VM& vm, const Value& s, std::span<const Value> a) {
    M* m = matSelf(vm, s);
    Geom* p = pointArg(vm, a, 0);
    const double* v = m->v;
    return pointOf(vm, v[0] * p->v[0] + v[2] * p->v[1], v[1] * p->v[0] + v[3] * p->v[1]);
}

// ColorTransform ------------------------------------------------------------------------------

Value ctColor(VM& vm, const Value& s, std::span<const Value>) {
    Geom* c = self<Kind::ColorTransform>(vm, s);
    auto channel = [](double v) { return std::uint32_t(std::int32_t(v)) & 0xFF; };
    return Value::fromUint(channel(c->v[4]) << 16 | channel(c->v[5]) << 8 | channel(c->v[6]));
}
Value setCtColor(VM& vm, const Value& s, std::span<const Value> a) {
    Geom* c = self<Kind::ColorTransform>(vm, s);
    const std::uint32_t rgb = vm.toUint32(arg(a, 0));
    c->v[0] = c->v[1] = c->v[2] = 0;
    c->v[4] = double((rgb >> 16) & 0xFF);
    c->v[5] = double((rgb >> 8) & 0xFF);
    c->v[6] = double(rgb & 0xFF);
    return Value();
}
// The result applies this transform, then `second`.
Value ctConcat(VM& vm, const Value& s, std::span<const Value> a) {
    Geom* c = self<Kind::ColorTransform>(vm, s);
    Geom* o = self<Kind::ColorTransform>(vm, arg(a, 0));
    for (int i = 0; i < 4; ++i) {
        c->v[4 + i] = c->v[4 + i] * o->v[i] + o->v[4 + i];
        c->v[i] *= o->v[i];
    }
    return Value();
}

Class* defineClass(VM& vm, const char* name, Kind k, Object* (*allocFn)(VM&, Class*), NativeFn ct) {
    Class* c = vm.defineNativeClass(QStringLiteral("flash.geom"), QString::fromLatin1(name),
                                    vm.objectClass, allocFn, true);
    c->iinit.native = ct;
    (void)k;
    return c;
}

// Methods are public (and AS3) names.
void method(VM& vm, Class* c, const char* name, NativeFn fn) {
    const QString n = QString::fromLatin1(name);
    vm.addMethod(c, n, fn);
    Binding* b = c->instanceTraits.find(n, vm.as3Ns());
    c->instanceTraits.add(n, vm.publicNs(), *b);
}

} // namespace

std::optional<QPointF> toPoint(VM&, const Value& v) {
    if (Geom* g = asGeom(v, Kind::Point))
        return QPointF(g->v[0], g->v[1]);
    return std::nullopt;
}

std::optional<QRectF> toRectangle(VM&, const Value& v) {
    if (Geom* g = asGeom(v, Kind::Rectangle))
        return QRectF(g->v[0], g->v[1], g->v[2], g->v[3]);
    return std::nullopt;
}

std::optional<QTransform> toMatrix(VM&, const Value& v) {
    if (Geom* g = asGeom(v, Kind::Matrix))
        return QTransform(g->v[0], g->v[1], g->v[2], g->v[3], g->v[4], g->v[5]);
    return std::nullopt;
}

std::optional<ColorTransform> toColorTransform(VM&, const Value& v) {
    Geom* g = asGeom(v, Kind::ColorTransform);
    if (!g)
        return std::nullopt;
    // Multipliers in 8.8 fixed point, as the renderer keeps them; offsets clamped to ±255*4.
    auto mult = [](double m) {
        return std::int32_t(std::clamp(std::isfinite(m) ? m * 256 : 0.0, -65536.0, 65536.0));
    };
    auto add = [](double o) {
        return std::int32_t(std::clamp(std::isfinite(o) ? o : 0.0, -1024.0, 1024.0));
    };
    ColorTransform ct;
    ct.redMult = mult(g->v[0]);
    ct.greenMult = mult(g->v[1]);
    ct.blueMult = mult(g->v[2]);
    ct.alphaMult = mult(g->v[3]);
    ct.redAdd = add(g->v[4]);
    ct.greenAdd = add(g->v[5]);
    ct.blueAdd = add(g->v[6]);
    ct.alphaAdd = add(g->v[7]);
    return ct;
}

Value newPoint(VM& vm, QPointF p) {
    Geom* g = make(vm, Kind::Point);
    g->v[0] = p.x();
    g->v[1] = p.y();
    return Value(static_cast<Object*>(g));
}

Value newRectangle(VM& vm, const QRectF& r) {
    Geom* g = make(vm, Kind::Rectangle);
    g->v[0] = r.x();
    g->v[1] = r.y();
    g->v[2] = r.width();
    g->v[3] = r.height();
    return Value(static_cast<Object*>(g));
}

void installGeom(VM& vm) {
    using K = Kind;
    Class* point = defineClass(vm, "Point", K::Point, alloc<K::Point>, ctor<K::Point, 2>);
    vm.addGetter(point, QStringLiteral("x"), getField<K::Point, 0>, setField<K::Point, 0>);
    vm.addGetter(point, QStringLiteral("y"), getField<K::Point, 1>, setField<K::Point, 1>);
    vm.addGetter(point, QStringLiteral("length"), pointLength);
    method(vm, point, "add", pointAdd);
    method(vm, point, "subtract", pointSubtract);
    method(vm, point, "clone", clone<K::Point>);
    method(vm, point, "copyFrom", copyFrom<K::Point>);
    method(vm, point, "equals", equals<K::Point, 2>);
    method(vm, point, "normalize", pointNormalize);
    method(vm, point, "offset", pointOffset);
    method(vm, point, "setTo", setTo<K::Point, 2>);
    method(vm, point, "toString", toStringOf<K::Point>);
    vm.addStatic(point, QStringLiteral("distance"), pointDistance);
    vm.addStatic(point, QStringLiteral("interpolate"), pointInterpolate);
    vm.addStatic(point, QStringLiteral("polar"), pointPolar);

    Class* rect =
        defineClass(vm, "Rectangle", K::Rectangle, alloc<K::Rectangle>, ctor<K::Rectangle, 4>);
    vm.addGetter(rect, QStringLiteral("x"), getField<K::Rectangle, 0>, setField<K::Rectangle, 0>);
    vm.addGetter(rect, QStringLiteral("y"), getField<K::Rectangle, 1>, setField<K::Rectangle, 1>);
    vm.addGetter(rect, QStringLiteral("width"), getField<K::Rectangle, 2>,
                 setField<K::Rectangle, 2>);
    vm.addGetter(rect, QStringLiteral("height"), getField<K::Rectangle, 3>,
                 setField<K::Rectangle, 3>);
    vm.addGetter(rect, QStringLiteral("left"), getField<K::Rectangle, 0>, setLeft);
    vm.addGetter(rect, QStringLiteral("top"), getField<K::Rectangle, 1>, setTop);
    vm.addGetter(rect, QStringLiteral("right"), rectRight, setRight);
    vm.addGetter(rect, QStringLiteral("bottom"), rectBottom, setBottom);
    vm.addGetter(rect, QStringLiteral("topLeft"), topLeft, setTopLeft);
    vm.addGetter(rect, QStringLiteral("bottomRight"), bottomRight, setBottomRight);
    vm.addGetter(rect, QStringLiteral("size"), size, setSize);
    method(vm, rect, "clone", clone<K::Rectangle>);
    method(vm, rect, "contains", rectContains);
    method(vm, rect, "containsPoint", rectContainsPoint);
    method(vm, rect, "containsRect", rectContainsRect);
    method(vm, rect, "copyFrom", copyFrom<K::Rectangle>);
    method(vm, rect, "equals", equals<K::Rectangle, 4>);
    method(vm, rect, "inflate", rectInflate);
    method(vm, rect, "inflatePoint", rectInflatePoint);
    method(vm, rect, "intersection", rectIntersection);
    method(vm, rect, "intersects", rectIntersects);
    method(vm, rect, "isEmpty", rectIsEmpty);
    method(vm, rect, "offset", rectOffset);
    method(vm, rect, "offsetPoint", rectOffsetPoint);
    method(vm, rect, "setEmpty", rectSetEmpty);
    method(vm, rect, "setTo", setTo<K::Rectangle, 4>);
    method(vm, rect, "toString", toStringOf<K::Rectangle>);
    method(vm, rect, "union", rectUnion);

    Class* mat = defineClass(vm, "Matrix", K::Matrix, alloc<K::Matrix>, ctor<K::Matrix, 6>);
    vm.addGetter(mat, QStringLiteral("a"), getField<K::Matrix, 0>, setField<K::Matrix, 0>);
    vm.addGetter(mat, QStringLiteral("b"), getField<K::Matrix, 1>, setField<K::Matrix, 1>);
    vm.addGetter(mat, QStringLiteral("c"), getField<K::Matrix, 2>, setField<K::Matrix, 2>);
    vm.addGetter(mat, QStringLiteral("d"), getField<K::Matrix, 3>, setField<K::Matrix, 3>);
    vm.addGetter(mat, QStringLiteral("tx"), getField<K::Matrix, 4>, setField<K::Matrix, 4>);
    vm.addGetter(mat, QStringLiteral("ty"), getField<K::Matrix, 5>, setField<K::Matrix, 5>);
    method(vm, mat, "clone", clone<K::Matrix>);
    method(vm, mat, "concat", matConcat);
    method(vm, mat, "copyFrom", copyFrom<K::Matrix>);
    method(vm, mat, "createBox", matCreateBox);
    method(vm, mat, "createGradientBox", matCreateGradientBox);
    method(vm, mat, "deltaTransformPoint", matDeltaTransformPoint);
    method(vm, mat, "identity", matIdentity);
    method(vm, mat, "invert", matInvert);
    method(vm, mat, "rotate", matRotate);
    method(vm, mat, "scale", matScale);
    method(vm, mat, "setTo", setTo<K::Matrix, 6>);
    method(vm, mat, "toString", toStringOf<K::Matrix>);
    method(vm, mat, "transformPoint", matTransformPoint);
    method(vm, mat, "translate", matTranslate);

    Class* ct = defineClass(vm, "ColorTransform", K::ColorTransform, alloc<K::ColorTransform>,
                            ctor<K::ColorTransform, 8>);
    using C = Kind;
    vm.addGetter(ct, QStringLiteral("redMultiplier"), getField<C::ColorTransform, 0>,
                 setField<C::ColorTransform, 0>);
    vm.addGetter(ct, QStringLiteral("greenMultiplier"), getField<C::ColorTransform, 1>,
                 setField<C::ColorTransform, 1>);
    vm.addGetter(ct, QStringLiteral("blueMultiplier"), getField<C::ColorTransform, 2>,
                 setField<C::ColorTransform, 2>);
    vm.addGetter(ct, QStringLiteral("alphaMultiplier"), getField<C::ColorTransform, 3>,
                 setField<C::ColorTransform, 3>);
    vm.addGetter(ct, QStringLiteral("redOffset"), getField<C::ColorTransform, 4>,
                 setField<C::ColorTransform, 4>);
    vm.addGetter(ct, QStringLiteral("greenOffset"), getField<C::ColorTransform, 5>,
                 setField<C::ColorTransform, 5>);
    vm.addGetter(ct, QStringLiteral("blueOffset"), getField<C::ColorTransform, 6>,
                 setField<C::ColorTransform, 6>);
    vm.addGetter(ct, QStringLiteral("alphaOffset"), getField<C::ColorTransform, 7>,
                 setField<C::ColorTransform, 7>);
    vm.addGetter(ct, QStringLiteral("color"), ctColor, setCtColor);
    method(vm, ct, "concat", ctConcat);
    method(vm, ct, "toString", toStringOf<C::ColorTransform>);
}

} // namespace swf::avm2
