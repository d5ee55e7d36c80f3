// flash.display.Graphics: the drawing API of Sprite and Shape, drawn into the player object's
// DrawingShape (swf/drawing.h), which the renderer draws beneath the object's children.
// Coordinates are pixels here and twips there.

#include "swf/avm2/bitmaps.h"
#include "swf/avm2/display.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace swf::avm2 {

namespace {

class GraphicsObject : public Object {
public:
    explicit GraphicsObject(Class* c) : Object(c) {}
    void traceChildren(std::vector<Object*>& out) override {
        Object::traceChildren(out);
        if (owner)
            out.push_back(owner);
    }
    DisplayNode* owner = nullptr;
};

Class* graphicsClass(VM& vm) {
    Object* c = vm.lookupDefinition(QStringLiteral("flash.display::Graphics")).object();
    return c && c->kind == ObjectKind::Class ? static_cast<Class*>(c) : vm.objectClass;
}

Value getGraphics(VM& vm, const Value& self, std::span<const Value>) {
    Object* o = self.object();
    if (!o || o->kind != ObjectKind::DisplayObject)
        vm.throwTypeError(1004, QStringLiteral("Method was invoked on an incompatible object."));
    auto* n = static_cast<DisplayNode*>(o);
    if (!n->graphics) {
        auto* g = vm.make<GraphicsObject>(graphicsClass(vm));
        g->traits = &g->cls->instanceTraits;
        g->proto = g->cls->prototype;
        g->owner = n;
        n->graphics = g;
    }
    return Value(n->graphics);
}

// The drawing of the object behind `self`, or null when it has nothing to draw into (a
// timeline shape, or an object whose player object went).
DrawingShape* drawingOf(VM& vm, const Value& self) {
    auto* g = dynamic_cast<GraphicsObject*>(self.object());
    if (!g)
        vm.throwTypeError(1004, QStringLiteral("Method was invoked on an incompatible object."));
    DisplayNode* n = g->owner;
    if (!n || !n->clip)
        return nullptr;
    return &n->clip->editDrawing();
}

double num(VM& vm, const Value& v, double fallback = 0) {
    if (v.isUndefined())
        return fallback;
    const double d = vm.toNumber(v);
    return std::isfinite(d) ? std::clamp(d, -1e7, 1e7) : fallback;
}
QPointF pt(VM& vm, std::span<const Value> a, std::size_t i) {
    return QPointF(num(vm, arg(a, i)) * 20, num(vm, arg(a, i + 1)) * 20);
}

Rgba colour(VM& vm, const Value& rgb, const Value& alpha) {
    const std::uint32_t c = vm.toUint32(rgb);
    const double a = alpha.isUndefined() ? 1.0 : num(vm, alpha, 1.0);
    return Rgba{std::uint8_t(c >> 16), std::uint8_t(c >> 8), std::uint8_t(c),
                std::uint8_t(std::lround(std::clamp(a, 0.0, 1.0) * 255))};
}

std::vector<Value> items(VM& vm, const Value& v) {
    Object* o = v.object();
    if (!o || o->kind != ObjectKind::Array)
        return {};
    (void)vm;
    const auto& list = static_cast<Array*>(o)->items;
    return std::vector<Value>(
        list.begin(), list.begin() + std::ptrdiff_t(std::min<std::size_t>(list.size(), 1u << 20)));
}

// A flash.geom.Matrix (pixels) as the gradient square's (twips) mapping onto the shape.
QTransform matrixArg(VM& vm, const Value& mv, bool gradient) {
    if (!mv.object())
        return gradient ? QTransform(100 * 20 / 32768.0, 0, 0, 100 * 20 / 32768.0, 50 * 20, 50 * 20)
                        : QTransform::fromScale(20, 20); // one bitmap pixel per pixel
    auto field = [&](const char* name, double fallback) {
        return num(vm, vm.getProperty(mv, vm.publicName(QString::fromLatin1(name))), fallback);
    };
    const double a = field("a", 1), b = field("b", 0), c = field("c", 0), d = field("d", 1);
    const double tx = field("tx", 0) * 20, ty = field("ty", 0) * 20;
    // The gradient square spans ±819.2 px, i.e. ±16384 twips: its matrix maps twips through
    // the same linear part; bitmap matrices map pixels to pixels.
    if (gradient)
        return QTransform(a, b, c, d, tx, ty);
    return QTransform(a * 20, b * 20, c * 20, d * 20, tx, ty);
}

std::optional<FillStyle> gradientArg(VM& vm, std::span<const Value> a) {
    FillStyle fill;
    const QString type = vm.toString(arg(a, 0));
    const double focal = num(vm, arg(a, 7), 0);
    if (type == QLatin1String("linear"))
        fill.type = FillType::LinearGradient;
    else if (type == QLatin1String("radial"))
        fill.type = focal != 0 ? FillType::FocalGradient : FillType::RadialGradient;
    else
        vm.throwError("ArgumentError", 2008,
                      QStringLiteral("Parameter type must be one of the accepted values."));
    const std::vector<Value> colors = items(vm, arg(a, 1)), alphas = items(vm, arg(a, 2)),
                             ratios = items(vm, arg(a, 3));
    const std::size_t n = std::min({colors.size(), alphas.size(), ratios.size(), std::size_t(15)});
    if (n == 0)
        return std::nullopt;
    for (std::size_t i = 0; i < n; ++i)
        fill.gradient.stops.push_back({std::uint8_t(std::clamp(num(vm, ratios[i]), 0.0, 255.0)),
                                       colour(vm, colors[i], alphas[i])});
    fill.matrix = matrixArg(vm, arg(a, 4), true);
    const QString spread = vm.toString(arg(a, 5));
    fill.gradient.spread = spread == QLatin1String("reflect")  ? SpreadMode::Reflect
                           : spread == QLatin1String("repeat") ? SpreadMode::Repeat
                                                               : SpreadMode::Pad;
    fill.gradient.interpolation = vm.toString(arg(a, 6)) == QLatin1String("linearRGB")
                                      ? InterpolationMode::LinearRgb
                                      : InterpolationMode::Rgb;
    fill.gradient.focalPoint = std::clamp(focal, -1.0, 1.0);
    return fill;
}

CapStyle capArg(VM& vm, const Value& v) {
    if (v.isNullish())
        return CapStyle::Round;
    const QString s = vm.toString(v);
    return s == QLatin1String("none")     ? CapStyle::None
           : s == QLatin1String("square") ? CapStyle::Square
                                          : CapStyle::Round;
}

Value beginFill(VM& vm, const Value& self, std::span<const Value> a) {
    if (DrawingShape* d = drawingOf(vm, self)) {
        FillStyle fill;
        fill.color = colour(vm, arg(a, 0), arg(a, 1));
        d->beginFill(fill);
    }
    return Value();
}
Value beginGradientFill(VM& vm, const Value& self, std::span<const Value> a) {
    if (DrawingShape* d = drawingOf(vm, self)) {
        if (auto fill = gradientArg(vm, a))
            d->beginFill(*fill);
        else
            d->endFill();
    }
    return Value();
}
// A fill of a script's bitmap: matrix in pixels, repeated unless told not to, smoothed when
// asked. Null when the argument is no usable BitmapData.
std::optional<FillStyle> bitmapFillArg(VM& vm, std::span<const Value> a) {
    auto pixels = bitmapDataOf(arg(a, 0));
    if (!pixels) {
        if (arg(a, 0).isNullish())
            vm.throwTypeError(2007, QStringLiteral("Parameter bitmap must be non-null."));
        return std::nullopt;
    }
    FillStyle fill;
    const bool repeat = a.size() < 3 || VM::toBoolean(a[2]);
    const bool smooth = VM::toBoolean(arg(a, 3));
    fill.type = repeat ? (smooth ? FillType::RepeatingBitmap : FillType::RepeatingBitmapHard)
                       : (smooth ? FillType::ClippedBitmap : FillType::ClippedBitmapHard);
    fill.matrix = matrixArg(vm, arg(a, 1), false);
    fill.bitmapData = std::move(pixels);
    return fill;
}

Value beginBitmapFill(VM& vm, const Value& self, std::span<const Value> a) {
    if (DrawingShape* d = drawingOf(vm, self)) {
        if (auto fill = bitmapFillArg(vm, a))
            d->beginFill(*fill);
        else
            d->endFill();
    }
    return Value();
}

Value endFill(VM& vm, const Value& self, std::span<const Value>) {
    if (DrawingShape* d = drawingOf(vm, self))
        d->endFill();
    return Value();
}
Value lineStyle(VM& vm, const Value& self, std::span<const Value> a) {
    DrawingShape* d = drawingOf(vm, self);
    if (!d)
        return Value();
    const double w = arg(a, 0).isNullish() ? NAN : vm.toNumber(arg(a, 0));
    if (std::isnan(w)) {
        d->lineStyle(std::nullopt);
        return Value();
    }
    LineStyle line;
    line.width = std::uint16_t(std::lround(std::clamp(w, 0.0, 255.0) * 20));
    line.color = colour(vm, arg(a, 1), arg(a, 2));
    line.pixelHinting = VM::toBoolean(arg(a, 3));
    const QString scale = arg(a, 4).isNullish() ? QString() : vm.toString(arg(a, 4));
    line.noHScale = scale == QLatin1String("none") || scale == QLatin1String("vertical");
    line.noVScale = scale == QLatin1String("none") || scale == QLatin1String("horizontal");
    line.startCap = line.endCap = capArg(vm, arg(a, 5));
    const QString join = arg(a, 6).isNullish() ? QString() : vm.toString(arg(a, 6));
    line.join = join == QLatin1String("miter")   ? JoinStyle::Miter
                : join == QLatin1String("bevel") ? JoinStyle::Bevel
                                                 : JoinStyle::Round;
    line.miterLimit = std::clamp(num(vm, arg(a, 7), 3), 1.0, 255.0);
    d->lineStyle(line);
    return Value();
}
Value lineGradientStyle(VM& vm, const Value& self, std::span<const Value> a) {
    DrawingShape* d = drawingOf(vm, self);
    if (!d)
        return Value();
    // Applies to the line style in effect: without one there is nothing to paint.
    const std::optional<LineStyle>& current = d->currentLine();
    if (!current)
        return Value();
    if (auto fill = gradientArg(vm, a)) {
        LineStyle line = *current;
        line.hasFill = true;
        line.fill = *fill;
        d->lineStyle(line);
    }
    return Value();
}
Value lineBitmapStyle(VM& vm, const Value& self, std::span<const Value> a) {
    DrawingShape* d = drawingOf(vm, self);
    if (!d || !d->currentLine())
        return Value();
    if (auto fill = bitmapFillArg(vm, a)) {
        LineStyle line = *d->currentLine();
        line.hasFill = true;
        line.fill = *fill;
        d->lineStyle(line);
    }
    return Value();
}

// copyFrom(source): this drawing becomes a copy of the source's (a timeline shape's has
// nothing a script drew, so it copies as empty).
Value copyFrom(VM& vm, const Value& self, std::span<const Value> a) {
    DrawingShape* d = drawingOf(vm, self);
    auto* src = dynamic_cast<GraphicsObject*>(arg(a, 0).object());
    if (!src)
        vm.throwTypeError(2007, QStringLiteral("Parameter sourceGraphics must be non-null."));
    if (!d)
        return Value();
    const DisplayNode* from = src->owner;
    const DrawingShape* sd = from && from->clip ? from->clip->drawing() : nullptr;
    if (!sd)
        d->clear();
    else if (sd != d)
        d->copyFrom(*sd);
    return Value();
}

Value moveTo(VM& vm, const Value& self, std::span<const Value> a) {
    if (DrawingShape* d = drawingOf(vm, self))
        d->moveTo(pt(vm, a, 0));
    return Value();
}
Value lineTo(VM& vm, const Value& self, std::span<const Value> a) {
    if (DrawingShape* d = drawingOf(vm, self))
        d->lineTo(pt(vm, a, 0));
    return Value();
}
Value curveTo(VM& vm, const Value& self, std::span<const Value> a) {
    if (DrawingShape* d = drawingOf(vm, self))
        d->curveTo(pt(vm, a, 0), pt(vm, a, 2));
    return Value();
}

// A cubic as quadratics: split in halves until each piece is close to the quadratic through
// its ends and the meeting point of its end tangents (at most 16 pieces).
void cubic(DrawingShape& d, QPointF p0, QPointF c1, QPointF c2, QPointF p3, int level = 0) {
    const QPointF q = (3.0 * (c1 + c2) - p0 - p3) / 4.0;
    const QPointF err = p3 - 3.0 * c2 + 3.0 * c1 - p0;
    if (level >= 4 || std::hypot(err.x(), err.y()) < 8) {
        d.curveTo(q, p3);
        return;
    }
    const QPointF a = (p0 + c1) / 2, b = (c1 + c2) / 2, c = (c2 + p3) / 2;
    const QPointF ab = (a + b) / 2, bc = (b + c) / 2, m = (ab + bc) / 2;
    cubic(d, p0, a, ab, m, level + 1);
    cubic(d, m, bc, c, p3, level + 1);
}
Value cubicCurveTo(VM& vm, const Value& self, std::span<const Value> a) {
    if (DrawingShape* d = drawingOf(vm, self))
        cubic(*d, d->pen(), pt(vm, a, 0), pt(vm, a, 2), pt(vm, a, 4));
    return Value();
}

Value drawRect(VM& vm, const Value& self, std::span<const Value> a) {
    DrawingShape* d = drawingOf(vm, self);
    if (!d)
        return Value();
    const QPointF p = pt(vm, a, 0), s = pt(vm, a, 2);
    d->moveTo(p);
    d->lineTo(QPointF(p.x() + s.x(), p.y()));
    d->lineTo(QPointF(p.x() + s.x(), p.y() + s.y()));
    d->lineTo(QPointF(p.x(), p.y() + s.y()));
    d->lineTo(p);
    return Value();
}

// An ellipse arc of a quarter as two quadratics, control points on the tangents.
void ellipse(DrawingShape& d, QPointF c, double rx, double ry) {
    constexpr int kSegments = 8;
    const double step = 2 * std::numbers::pi / kSegments;
    const double k = 1 / std::cos(step / 2);
    d.moveTo(QPointF(c.x() + rx, c.y()));
    for (int i = 1; i <= kSegments; ++i) {
        const double t = i * step, m = t - step / 2;
        d.curveTo(QPointF(c.x() + rx * k * std::cos(m), c.y() + ry * k * std::sin(m)),
                  QPointF(c.x() + rx * std::cos(t), c.y() + ry * std::sin(t)));
    }
}
Value drawCircle(VM& vm, const Value& self, std::span<const Value> a) {
    if (DrawingShape* d = drawingOf(vm, self)) {
        const double r = num(vm, arg(a, 2)) * 20;
        ellipse(*d, pt(vm, a, 0), r, r);
    }
    return Value();
}
Value drawEllipse(VM& vm, const Value& self, std::span<const Value> a) {
    if (DrawingShape* d = drawingOf(vm, self)) {
        const QPointF p = pt(vm, a, 0), s = pt(vm, a, 2);
        ellipse(*d, p + s / 2, s.x() / 2, s.y() / 2);
    }
    return Value();
}
Value drawRoundRect(VM& vm, const Value& self, std::span<const Value> a) {
    DrawingShape* d = drawingOf(vm, self);
    if (!d)
        return Value();
    const QPointF p = pt(vm, a, 0), s = pt(vm, a, 2);
    const double ew = num(vm, arg(a, 4)) * 20;
    const double eh = arg(a, 5).isNullish() ? ew : num(vm, arg(a, 5)) * 20;
    const double rx = std::clamp(ew / 2, 0.0, std::abs(s.x()) / 2);
    const double ry = std::clamp(eh / 2, 0.0, std::abs(s.y()) / 2);
    const double l = p.x(), t = p.y(), r = p.x() + s.x(), b = p.y() + s.y();
    if (rx <= 0 || ry <= 0) {
        const Value args[] = {arg(a, 0), arg(a, 1), arg(a, 2), arg(a, 3)};
        return drawRect(vm, self, args);
    }
    // Each corner is a quarter ellipse, drawn as two quadratics.
    const double k = std::sqrt(2.0) - 1; // tan(22.5°): control distance for an eighth
    const double c45 = std::sqrt(0.5);
    auto corner = [&](double cx, double cy, double sx, double sy, bool fromHorizontal) {
        // From the point on one axis to the other, around the centre (cx, cy).
        QPointF start = fromHorizontal ? QPointF(cx, cy + sy * ry) : QPointF(cx + sx * rx, cy);
        QPointF end = fromHorizontal ? QPointF(cx + sx * rx, cy) : QPointF(cx, cy + sy * ry);
        const QPointF mid(cx + sx * rx * c45, cy + sy * ry * c45);
        const QPointF c1 = fromHorizontal ? QPointF(start.x() + sx * rx * k, start.y())
                                          : QPointF(start.x(), start.y() + sy * ry * k);
        const QPointF c2 = fromHorizontal ? QPointF(end.x(), end.y() + sy * ry * k)
                                          : QPointF(end.x() + sx * rx * k, end.y());
        d->lineTo(start);
        d->curveTo(c1, mid);
        d->curveTo(c2, end);
    };
    d->moveTo(QPointF(l + rx, t));
    corner(r - rx, t + ry, 1, -1, true);
    corner(r - rx, b - ry, 1, 1, false);
    corner(l + rx, b - ry, -1, 1, true);
    corner(l + rx, t + ry, -1, -1, false);
    d->lineTo(QPointF(l + rx, t));
    return Value();
}

Value clear(VM& vm, const Value& self, std::span<const Value>) {
    auto* g = dynamic_cast<GraphicsObject*>(self.object());
    if (!g)
        vm.throwTypeError(1004, QStringLiteral("Method was invoked on an incompatible object."));
    if (g->owner && g->owner->clip && g->owner->clip->drawing())
        g->owner->clip->editDrawing().clear();
    return Value();
}

// drawPath(commands, data, winding): 1 moveTo, 2 lineTo, 3 curveTo, 4 wideMoveTo,
// 5 wideLineTo, 6 cubicCurveTo; the wide forms skip one unused pair.
Value drawPath(VM& vm, const Value& self, std::span<const Value> a) {
    DrawingShape* d = drawingOf(vm, self);
    if (!d)
        return Value();
    const std::vector<Value> commands = items(vm, arg(a, 0)), data = items(vm, arg(a, 1));
    std::size_t i = 0;
    auto next = [&](QPointF& p) {
        if (i + 1 >= data.size())
            return false;
        p = QPointF(num(vm, data[i]) * 20, num(vm, data[i + 1]) * 20);
        i += 2;
        return true;
    };
    for (const Value& cv : commands) {
        QPointF p, c, c2;
        switch (vm.toInt32(cv)) {
        case 1:
            if (!next(p))
                return Value();
            d->moveTo(p);
            break;
        case 2:
            if (!next(p))
                return Value();
            d->lineTo(p);
            break;
        case 3:
            if (!next(c) || !next(p))
                return Value();
            d->curveTo(c, p);
            break;
        case 4:
            if (!next(c) || !next(p))
                return Value();
            d->moveTo(p);
            break;
        case 5:
            if (!next(c) || !next(p))
                return Value();
            d->lineTo(p);
            break;
        case 6:
            if (!next(c) || !next(c2) || !next(p))
                return Value();
            cubic(*d, d->pen(), c, c2, p);
            break;
        default:
            break;
        }
    }
    return Value();
}

// drawTriangles(vertices, indices, uvtData, culling), flat: each triangle is a closed
// outline in the current fill.
Value drawTriangles(VM& vm, const Value& self, std::span<const Value> a) {
    DrawingShape* d = drawingOf(vm, self);
    if (!d)
        return Value();
    const std::vector<Value> v = items(vm, arg(a, 0));
    std::vector<std::uint32_t> idx;
    const std::vector<Value> given = items(vm, arg(a, 1));
    const std::size_t points = v.size() / 2;
    if (given.empty())
        for (std::uint32_t i = 0; i + 2 < points + 0 && i < (1u << 20); i += 3)
            idx.insert(idx.end(), {i, i + 1, i + 2});
    else
        for (const Value& x : given)
            idx.push_back(vm.toUint32(x));
    const QString culling = arg(a, 3).isNullish() ? QString() : vm.toString(arg(a, 3));
    auto at = [&](std::uint32_t k) {
        return QPointF(num(vm, v[2 * k]) * 20, num(vm, v[2 * k + 1]) * 20);
    };
    for (std::size_t t = 0; t + 2 < idx.size(); t += 3) {
        if (idx[t] >= points || idx[t + 1] >= points || idx[t + 2] >= points)
            vm.throwRangeError(2004, QStringLiteral("One of the parameters is invalid."));
        const QPointF p0 = at(idx[t]), p1 = at(idx[t + 1]), p2 = at(idx[t + 2]);
        const double cross =
            (p1.x() - p0.x()) * (p2.y() - p0.y()) - (p1.y() - p0.y()) * (p2.x() - p0.x());
        if ((culling == QLatin1String("positive") && cross > 0) ||
            (culling == QLatin1String("negative") && cross < 0))
            continue;
        d->moveTo(p0);
        d->lineTo(p1);
        d->lineTo(p2);
        d->lineTo(p0);
    }
    return Value();
}

Value ctorRefused(VM& vm, const Value&, std::span<const Value>) {
    vm.throwError("ArgumentError", 2012, QStringLiteral("Graphics class cannot be instantiated."));
}

} // namespace

void installGraphics(VM& vm) {
    Class* g = vm.defineNativeClass(QStringLiteral("flash.display"), QStringLiteral("Graphics"),
                                    vm.objectClass, nullptr, true);
    g->isFinal = true;
    g->iinit.native = ctorRefused;
    for (auto [n, f] : {std::pair<const char*, NativeFn>{"beginFill", beginFill},
                        {"beginGradientFill", beginGradientFill},
                        {"endFill", endFill},
                        {"lineStyle", lineStyle},
                        {"lineGradientStyle", lineGradientStyle},
                        {"beginBitmapFill", beginBitmapFill},
                        {"lineBitmapStyle", lineBitmapStyle},
                        {"copyFrom", copyFrom},
                        {"moveTo", moveTo},
                        {"lineTo", lineTo},
                        {"curveTo", curveTo},
                        {"cubicCurveTo", cubicCurveTo},
                        {"drawRect", drawRect},
                        {"drawRoundRect", drawRoundRect},
                        {"drawCircle", drawCircle},
                        {"drawEllipse", drawEllipse},
                        {"drawPath", drawPath},
                        {"drawTriangles", drawTriangles},
                        {"clear", clear}}) {
        vm.addMethod(g, QString::fromLatin1(n), f);
        Binding* b = g->instanceTraits.find(QString::fromLatin1(n), vm.as3Ns());
        g->instanceTraits.add(QString::fromLatin1(n), vm.publicNs(), *b);
    }
}

void addGraphicsProperty(VM& vm, Class* c) {
    vm.addGetter(c, QStringLiteral("graphics"), getGraphics);
}

} // namespace swf::avm2
