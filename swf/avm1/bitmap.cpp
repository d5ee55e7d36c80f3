// The SWF 8 picture API of ActionScript 2: flash.geom (Point, Rectangle, Matrix,
// ColorTransform, Transform), flash.filters, flash.display.BitmapData on the engine's
// swf::BitmapData (the one ActionScript 3 uses too), and the clip methods that show bitmaps:
// attachBitmap and beginBitmapFill (lineGradientStyle is with the other drawing methods).
//
// The geometry classes are ordinary objects with plain properties, as in Flash: methods read
// the properties of whatever object they are called on, so scripts may pass look-alikes.

#include "swf/avm1/bitmap.h"

#include "swf/avm1/vm.h"
#include "swf/bitmapdata.h"
#include "swf/characters.h"
#include "swf/player.h"
#include "swf/scriptfilters.h"

#include <QTransform>
#include <cmath>
#include <numbers>

namespace swf::avm1 {

namespace {

constexpr std::int32_t kDepthOffset = 16384; // script depths start here on a display list

Value arg(std::span<const Value> a, std::size_t i) {
    return i < a.size() ? a[i] : Value();
}

QString str(const char* s) {
    return QString::fromLatin1(s);
}

double num(VM& vm, const Value& o, const char* name) {
    return vm.toNumber(vm.getMember(o, str(name)));
}

void put(VM& vm, const Value& o, const char* name, double v) {
    vm.setMember(o, str(name), Value(v));
}

// A number argument with its default when missing.
double numArg(VM& vm, std::span<const Value> a, std::size_t i, double fallback) {
    return i < a.size() && !a[i].isUndefined() ? vm.toNumber(a[i]) : fallback;
}

Value package(VM& vm, const char* name) {
    Value flash = vm.getMember(Value(vm.global()), QStringLiteral("flash"));
    if (!flash.isObject()) {
        flash = Value(vm.newObject());
        vm.define(vm.global(), QStringLiteral("flash"), flash);
    }
    Value p = vm.getMember(flash, str(name));
    if (!p.isObject()) {
        p = Value(vm.newObject());
        vm.define(flash.asObject(), str(name), p);
    }
    return p;
}

Value classOf(VM& vm, const char* pkg, const char* name) {
    return vm.getMember(package(vm, pkg), str(name));
}

Value make(VM& vm, const char* name, std::vector<Value> args) {
    return vm.construct(classOf(vm, "geom", name), args);
}

Value point(VM& vm, double x, double y) {
    return make(vm, "Point", {Value(x), Value(y)});
}

Value rectangle(VM& vm, double x, double y, double w, double h) {
    return make(vm, "Rectangle", {Value(x), Value(y), Value(w), Value(h)});
}

// A class: its constructor sets the named properties from the arguments (with defaults).
struct ClassDef {
    Object* proto;
    Object* ctor;
};

ClassDef defineClass(VM& vm, const char* pkg, const char* name,
                     std::vector<std::pair<const char*, double>> fields) {
    Object* proto = vm.newObject();
    Object* ctor = vm.newFunction(
        [fields](VM& vm, Value self, std::span<const Value> a) {
            if (!self.isObject())
                return Value();
            for (std::size_t i = 0; i < fields.size(); ++i)
                put(vm, self, fields[i].first, numArg(vm, a, i, fields[i].second));
            return Value();
        },
        proto);
    vm.define(package(vm, pkg).asObject(), str(name), Value(ctor));
    return {proto, ctor};
}

void property(VM& vm, Object* proto, const char* name, NativeFn getter, NativeFn setter = {}) {
    Object::Slot& s = proto->put(str(name), vm.key(str(name)), Value(), DontEnum);
    s.getter = vm.newFunction(std::move(getter));
    if (setter)
        s.setter = vm.newFunction(std::move(setter));
}

QString fieldsText(VM& vm, const Value& o,
                   std::initializer_list<std::pair<const char*, const char*>> f) {
    QString out = QStringLiteral("(");
    bool first = true;
    for (auto [label, name] : f) {
        if (!first)
            out += QStringLiteral(", ");
        first = false;
        out += str(label) + u'=' + vm.toString(vm.getMember(o, str(name)));
    }
    return out + u')';
}

// Point --------------------------------------------------------------------------------------

void installPoint(VM& vm) {
    ClassDef c = defineClass(vm, "geom", "Point", {{"x", 0}, {"y", 0}});
    Object* p = c.proto;
    property(vm, p, "length", [](VM& vm, Value s, std::span<const Value>) {
        return Value(std::hypot(num(vm, s, "x"), num(vm, s, "y")));
    });
    vm.defineMethod(p, QStringLiteral("add"), [](VM& vm, Value s, std::span<const Value> a) {
        return point(vm, num(vm, s, "x") + num(vm, arg(a, 0), "x"),
                     num(vm, s, "y") + num(vm, arg(a, 0), "y"));
    });
    vm.defineMethod(p, QStringLiteral("subtract"), [](VM& vm, Value s, std::span<const Value> a) {
        return point(vm, num(vm, s, "x") - num(vm, arg(a, 0), "x"),
                     num(vm, s, "y") - num(vm, arg(a, 0), "y"));
    });
    vm.defineMethod(p, QStringLiteral("clone"), [](VM& vm, Value s, std::span<const Value>) {
        return point(vm, num(vm, s, "x"), num(vm, s, "y"));
    });
    vm.defineMethod(p, QStringLiteral("equals"), [](VM& vm, Value s, std::span<const Value> a) {
        if (!arg(a, 0).isObject())
            return Value(false);
        return Value(num(vm, s, "x") == num(vm, arg(a, 0), "x") &&
                     num(vm, s, "y") == num(vm, arg(a, 0), "y"));
    });
    vm.defineMethod(p, QStringLiteral("normalize"), [](VM& vm, Value s, std::span<const Value> a) {
        const double x = num(vm, s, "x"), y = num(vm, s, "y"), len = std::hypot(x, y);
        if (len > 0) {
            const double k = vm.toNumber(arg(a, 0)) / len;
            put(vm, s, "x", x * k);
            put(vm, s, "y", y * k);
        }
        return Value();
    });
    vm.defineMethod(p, QStringLiteral("offset"), [](VM& vm, Value s, std::span<const Value> a) {
        put(vm, s, "x", num(vm, s, "x") + vm.toNumber(arg(a, 0)));
        put(vm, s, "y", num(vm, s, "y") + vm.toNumber(arg(a, 1)));
        return Value();
    });
    vm.defineMethod(p, QStringLiteral("toString"), [](VM& vm, Value s, std::span<const Value>) {
        return Value(fieldsText(vm, s, {{"x", "x"}, {"y", "y"}}));
    });
    vm.defineMethod(c.ctor, QStringLiteral("distance"),
                    [](VM& vm, Value, std::span<const Value> a) {
                        return Value(std::hypot(num(vm, arg(a, 0), "x") - num(vm, arg(a, 1), "x"),
                                                num(vm, arg(a, 0), "y") - num(vm, arg(a, 1), "y")));
                    });
    vm.defineMethod(c.ctor, QStringLiteral("interpolate"),
                    [](VM& vm, Value, std::span<const Value> a) {
                        const double f = vm.toNumber(arg(a, 2));
                        const double x1 = num(vm, arg(a, 0), "x"), y1 = num(vm, arg(a, 0), "y");
                        const double x2 = num(vm, arg(a, 1), "x"), y2 = num(vm, arg(a, 1), "y");
                        return point(vm, x2 + (x1 - x2) * f, y2 + (y1 - y2) * f);
                    });
    vm.defineMethod(c.ctor, QStringLiteral("polar"), [](VM& vm, Value, std::span<const Value> a) {
        const double len = vm.toNumber(arg(a, 0)), q = vm.toNumber(arg(a, 1));
        return point(vm, len * std::cos(q), len * std::sin(q));
    });
}

// Rectangle ----------------------------------------------------------------------------------

struct R {
    double x, y, w, h;
    double right() const { return x + w; }
    double bottom() const { return y + h; }
    bool empty() const { return !(w > 0) || !(h > 0); }
};

R rectOf(VM& vm, const Value& v) {
    return {num(vm, v, "x"), num(vm, v, "y"), num(vm, v, "width"), num(vm, v, "height")};
}

void installRectangle(VM& vm) {
    ClassDef c =
        defineClass(vm, "geom", "Rectangle", {{"x", 0}, {"y", 0}, {"width", 0}, {"height", 0}});
    Object* p = c.proto;
    property(
        vm, p, "left",
        [](VM& vm, Value s, std::span<const Value>) { return Value(num(vm, s, "x")); },
        [](VM& vm, Value s, std::span<const Value> a) {
            const double v = vm.toNumber(arg(a, 0));
            put(vm, s, "width", num(vm, s, "width") + num(vm, s, "x") - v);
            put(vm, s, "x", v);
            return Value();
        });
    property(
        vm, p, "top",
        [](VM& vm, Value s, std::span<const Value>) { return Value(num(vm, s, "y")); },
        [](VM& vm, Value s, std::span<const Value> a) {
            const double v = vm.toNumber(arg(a, 0));
            put(vm, s, "height", num(vm, s, "height") + num(vm, s, "y") - v);
            put(vm, s, "y", v);
            return Value();
        });
    property(
        vm, p, "right",
        [](VM& vm, Value s, std::span<const Value>) { return Value(rectOf(vm, s).right()); },
        [](VM& vm, Value s, std::span<const Value> a) {
            put(vm, s, "width", vm.toNumber(arg(a, 0)) - num(vm, s, "x"));
            return Value();
        });
    property(
        vm, p, "bottom",
        [](VM& vm, Value s, std::span<const Value>) { return Value(rectOf(vm, s).bottom()); },
        [](VM& vm, Value s, std::span<const Value> a) {
            put(vm, s, "height", vm.toNumber(arg(a, 0)) - num(vm, s, "y"));
            return Value();
        });
    property(vm, p, "size", [](VM& vm, Value s, std::span<const Value>) {
        return point(vm, num(vm, s, "width"), num(vm, s, "height"));
    });
    property(vm, p, "topLeft", [](VM& vm, Value s, std::span<const Value>) {
        return point(vm, num(vm, s, "x"), num(vm, s, "y"));
    });
    property(vm, p, "bottomRight", [](VM& vm, Value s, std::span<const Value>) {
        const R r = rectOf(vm, s);
        return point(vm, r.right(), r.bottom());
    });
    vm.defineMethod(p, QStringLiteral("clone"), [](VM& vm, Value s, std::span<const Value>) {
        const R r = rectOf(vm, s);
        return rectangle(vm, r.x, r.y, r.w, r.h);
    });
    auto contains = [](const R& r, double x, double y) {
        return x >= r.x && x < r.right() && y >= r.y && y < r.bottom();
    };
    vm.defineMethod(
        p, QStringLiteral("contains"), [contains](VM& vm, Value s, std::span<const Value> a) {
            return Value(contains(rectOf(vm, s), vm.toNumber(arg(a, 0)), vm.toNumber(arg(a, 1))));
        });
    vm.defineMethod(
        p, QStringLiteral("containsPoint"), [contains](VM& vm, Value s, std::span<const Value> a) {
            return Value(contains(rectOf(vm, s), num(vm, arg(a, 0), "x"), num(vm, arg(a, 0), "y")));
        });
    vm.defineMethod(p, QStringLiteral("containsRectangle"),
                    [](VM& vm, Value s, std::span<const Value> a) {
                        const R r = rectOf(vm, s), o = rectOf(vm, arg(a, 0));
                        return Value(!o.empty() && o.x >= r.x && o.y >= r.y &&
                                     o.right() <= r.right() && o.bottom() <= r.bottom());
                    });
    vm.defineMethod(p, QStringLiteral("equals"), [](VM& vm, Value s, std::span<const Value> a) {
        if (!arg(a, 0).isObject())
            return Value(false);
        const R r = rectOf(vm, s), o = rectOf(vm, arg(a, 0));
        return Value(r.x == o.x && r.y == o.y && r.w == o.w && r.h == o.h);
    });
    auto inflate = [](VM& vm, const Value& s, double dx, double dy) {
        const R r = rectOf(vm, s);
        put(vm, s, "x", r.x - dx);
        put(vm, s, "y", r.y - dy);
        put(vm, s, "width", r.w + 2 * dx);
        put(vm, s, "height", r.h + 2 * dy);
    };
    vm.defineMethod(p, QStringLiteral("inflate"),
                    [inflate](VM& vm, Value s, std::span<const Value> a) {
                        inflate(vm, s, vm.toNumber(arg(a, 0)), vm.toNumber(arg(a, 1)));
                        return Value();
                    });
    vm.defineMethod(p, QStringLiteral("inflatePoint"),
                    [inflate](VM& vm, Value s, std::span<const Value> a) {
                        inflate(vm, s, num(vm, arg(a, 0), "x"), num(vm, arg(a, 0), "y"));
                        return Value();
                    });
    auto intersection = [](VM& vm, const Value& s, const Value& other) {
        const R r = rectOf(vm, s), o = rectOf(vm, other);
        const double l = std::max(r.x, o.x), t = std::max(r.y, o.y);
        const double rr = std::min(r.right(), o.right()), b = std::min(r.bottom(), o.bottom());
        if (r.empty() || o.empty() || !(rr > l) || !(b > t))
            return R{0, 0, 0, 0};
        return R{l, t, rr - l, b - t};
    };
    vm.defineMethod(p, QStringLiteral("intersection"),
                    [intersection](VM& vm, Value s, std::span<const Value> a) {
                        const R r = intersection(vm, s, arg(a, 0));
                        return rectangle(vm, r.x, r.y, r.w, r.h);
                    });
    vm.defineMethod(p, QStringLiteral("intersects"),
                    [intersection](VM& vm, Value s, std::span<const Value> a) {
                        return Value(!intersection(vm, s, arg(a, 0)).empty());
                    });
    vm.defineMethod(p, QStringLiteral("isEmpty"), [](VM& vm, Value s, std::span<const Value>) {
        return Value(rectOf(vm, s).empty());
    });
    vm.defineMethod(p, QStringLiteral("offset"), [](VM& vm, Value s, std::span<const Value> a) {
        put(vm, s, "x", num(vm, s, "x") + vm.toNumber(arg(a, 0)));
        put(vm, s, "y", num(vm, s, "y") + vm.toNumber(arg(a, 1)));
        return Value();
    });
    vm.defineMethod(p, QStringLiteral("offsetPoint"),
                    [](VM& vm, Value s, std::span<const Value> a) {
                        put(vm, s, "x", num(vm, s, "x") + num(vm, arg(a, 0), "x"));
                        put(vm, s, "y", num(vm, s, "y") + num(vm, arg(a, 0), "y"));
                        return Value();
                    });
    vm.defineMethod(p, QStringLiteral("setEmpty"), [](VM& vm, Value s, std::span<const Value>) {
        for (const char* n : {"x", "y", "width", "height"})
            put(vm, s, n, 0);
        return Value();
    });
    vm.defineMethod(p, QStringLiteral("union"), [](VM& vm, Value s, std::span<const Value> a) {
        const R r = rectOf(vm, s), o = rectOf(vm, arg(a, 0));
        if (r.empty())
            return rectangle(vm, o.x, o.y, o.w, o.h);
        if (o.empty())
            return rectangle(vm, r.x, r.y, r.w, r.h);
        const double l = std::min(r.x, o.x), t = std::min(r.y, o.y);
        return rectangle(vm, l, t, std::max(r.right(), o.right()) - l,
                         std::max(r.bottom(), o.bottom()) - t);
    });
    vm.defineMethod(p, QStringLiteral("toString"), [](VM& vm, Value s, std::span<const Value>) {
        return Value(fieldsText(vm, s, {{"x", "x"}, {"y", "y"}, {"w", "width"}, {"h", "height"}}));
    });
}

// Matrix -------------------------------------------------------------------------------------

// Matrix properties as a transform of pixels: m11 a, m12 b, m21 c, m22 d, dx tx, dy ty.
QTransform matrixOf(VM& vm, const Value& v) {
    return QTransform(num(vm, v, "a"), num(vm, v, "b"), num(vm, v, "c"), num(vm, v, "d"),
                      num(vm, v, "tx"), num(vm, v, "ty"));
}

void setMatrix(VM& vm, const Value& v, const QTransform& t) {
    put(vm, v, "a", t.m11());
    put(vm, v, "b", t.m12());
    put(vm, v, "c", t.m21());
    put(vm, v, "d", t.m22());
    put(vm, v, "tx", t.dx());
    put(vm, v, "ty", t.dy());
}

Value newMatrix(VM& vm, const QTransform& t) {
    return make(vm, "Matrix",
                {Value(t.m11()), Value(t.m12()), Value(t.m21()), Value(t.m22()), Value(t.dx()),
                 Value(t.dy())});
}

// Identity, rotated, scaled, translated, as documented for createBox.
QTransform box(double sx, double sy, double q, double tx, double ty) {
    const double c = std::cos(q), s = std::sin(q);
    return QTransform(sx * c, sy * s, -sx * s, sy * c, tx, ty);
}

void installMatrix(VM& vm) {
    ClassDef c = defineClass(vm, "geom", "Matrix",
                             {{"a", 1}, {"b", 0}, {"c", 0}, {"d", 1}, {"tx", 0}, {"ty", 0}});
    Object* p = c.proto;
    // QTransform composes left to right as the Matrix methods do: this, then the argument.
    auto then = [](VM& vm, const Value& s, const QTransform& after) {
        setMatrix(vm, s, matrixOf(vm, s) * after);
    };
    vm.defineMethod(p, QStringLiteral("clone"), [](VM& vm, Value s, std::span<const Value>) {
        return newMatrix(vm, matrixOf(vm, s));
    });
    vm.defineMethod(p, QStringLiteral("concat"), [then](VM& vm, Value s, std::span<const Value> a) {
        then(vm, s, matrixOf(vm, arg(a, 0)));
        return Value();
    });
    vm.defineMethod(p, QStringLiteral("createBox"), [](VM& vm, Value s, std::span<const Value> a) {
        setMatrix(vm, s,
                  box(vm.toNumber(arg(a, 0)), vm.toNumber(arg(a, 1)), numArg(vm, a, 2, 0),
                      numArg(vm, a, 3, 0), numArg(vm, a, 4, 0)));
        return Value();
    });
    vm.defineMethod(p, QStringLiteral("createGradientBox"),
                    [](VM& vm, Value s, std::span<const Value> a) {
                        const double w = vm.toNumber(arg(a, 0)), h = vm.toNumber(arg(a, 1));
                        setMatrix(vm, s,
                                  box(w / 1638.4, h / 1638.4, numArg(vm, a, 2, 0),
                                      numArg(vm, a, 3, 0) + w / 2, numArg(vm, a, 4, 0) + h / 2));
                        return Value();
                    });
    vm.defineMethod(
        p, QStringLiteral("transformPoint"), [](VM& vm, Value s, std::span<const Value> a) {
            const QPointF q =
                matrixOf(vm, s).map(QPointF(num(vm, arg(a, 0), "x"), num(vm, arg(a, 0), "y")));
            return point(vm, q.x(), q.y());
        });
    vm.defineMethod(p, QStringLiteral("deltaTransformPoint"),
                    [](VM& vm, Value s, std::span<const Value> a) {
                        const QTransform m = matrixOf(vm, s);
                        const double x = num(vm, arg(a, 0), "x"), y = num(vm, arg(a, 0), "y");
                        return point(vm, m.m11() * x + m.m21() * y, m.m12() * x + m.m22() * y);
                    });
    vm.defineMethod(p, QStringLiteral("identity"), [](VM& vm, Value s, std::span<const Value>) {
        setMatrix(vm, s, QTransform());
        return Value();
    });
    vm.defineMethod(p, QStringLiteral("invert"), [](VM& vm, Value s, std::span<const Value>) {
        bool ok = false;
        const QTransform inv = matrixOf(vm, s).inverted(&ok);
        if (ok)
            setMatrix(vm, s, inv);
        return Value();
    });
    vm.defineMethod(p, QStringLiteral("rotate"), [then](VM& vm, Value s, std::span<const Value> a) {
        const double q = vm.toNumber(arg(a, 0));
        then(vm, s, QTransform(std::cos(q), std::sin(q), -std::sin(q), std::cos(q), 0, 0));
        return Value();
    });
    vm.defineMethod(p, QStringLiteral("scale"), [then](VM& vm, Value s, std::span<const Value> a) {
        then(vm, s, QTransform::fromScale(vm.toNumber(arg(a, 0)), vm.toNumber(arg(a, 1))));
        return Value();
    });
    vm.defineMethod(p, QStringLiteral("translate"), [](VM& vm, Value s, std::span<const Value> a) {
        put(vm, s, "tx", num(vm, s, "tx") + vm.toNumber(arg(a, 0)));
        put(vm, s, "ty", num(vm, s, "ty") + vm.toNumber(arg(a, 1)));
        return Value();
    });
    vm.defineMethod(p, QStringLiteral("toString"), [](VM& vm, Value s, std::span<const Value>) {
        return Value(fieldsText(
            vm, s, {{"a", "a"}, {"b", "b"}, {"c", "c"}, {"d", "d"}, {"tx", "tx"}, {"ty", "ty"}}));
    });
}

// ColorTransform ------------------------------------------------------------------------------

const char* const kColorFields[] = {"redMultiplier",   "greenMultiplier", "blueMultiplier",
                                    "alphaMultiplier", "redOffset",       "greenOffset",
                                    "blueOffset",      "alphaOffset"};

ColorTransform colorTransformOf(VM& vm, const Value& v) {
    auto mult = [&](const char* n) {
        const double m = num(vm, v, n);
        return std::int32_t(std::clamp(std::isfinite(m) ? m * 256 : 256.0, -65536.0, 65536.0));
    };
    auto add = [&](const char* n) {
        const double o = num(vm, v, n);
        return std::int32_t(std::clamp(std::isfinite(o) ? o : 0.0, -1024.0, 1024.0));
    };
    ColorTransform ct;
    ct.redMult = mult("redMultiplier");
    ct.greenMult = mult("greenMultiplier");
    ct.blueMult = mult("blueMultiplier");
    ct.alphaMult = mult("alphaMultiplier");
    ct.redAdd = add("redOffset");
    ct.greenAdd = add("greenOffset");
    ct.blueAdd = add("blueOffset");
    ct.alphaAdd = add("alphaOffset");
    return ct;
}

Value newColorTransform(VM& vm, const ColorTransform& ct) {
    return make(vm, "ColorTransform",
                {Value(ct.redMult / 256.0), Value(ct.greenMult / 256.0), Value(ct.blueMult / 256.0),
                 Value(ct.alphaMult / 256.0), Value(ct.redAdd), Value(ct.greenAdd),
                 Value(ct.blueAdd), Value(ct.alphaAdd)});
}

void installColorTransform(VM& vm) {
    ClassDef c = defineClass(vm, "geom", "ColorTransform",
                             {{kColorFields[0], 1},
                              {kColorFields[1], 1},
                              {kColorFields[2], 1},
                              {kColorFields[3], 1},
                              {kColorFields[4], 0},
                              {kColorFields[5], 0},
                              {kColorFields[6], 0},
                              {kColorFields[7], 0}});
    Object* p = c.proto;
    property(
        vm, p, "rgb",
        [](VM& vm, Value s, std::span<const Value>) {
            auto ch = [&](const char* n) { return std::uint32_t(toInt32(num(vm, s, n))) & 0xFF; };
            return Value(double(ch("redOffset") << 16 | ch("greenOffset") << 8 | ch("blueOffset")));
        },
        [](VM& vm, Value s, std::span<const Value> a) {
            const auto rgb = std::uint32_t(vm.toInt(arg(a, 0)));
            put(vm, s, "redMultiplier", 0);
            put(vm, s, "greenMultiplier", 0);
            put(vm, s, "blueMultiplier", 0);
            put(vm, s, "redOffset", (rgb >> 16) & 0xFF);
            put(vm, s, "greenOffset", (rgb >> 8) & 0xFF);
            put(vm, s, "blueOffset", rgb & 0xFF);
            return Value();
        });
    // The result applies this transform, then the argument.
    vm.defineMethod(p, QStringLiteral("concat"), [](VM& vm, Value s, std::span<const Value> a) {
        for (int i = 0; i < 4; ++i) {
            const double m2 = num(vm, arg(a, 0), kColorFields[i]);
            put(vm, s, kColorFields[4 + i],
                num(vm, s, kColorFields[4 + i]) * m2 + num(vm, arg(a, 0), kColorFields[4 + i]));
            put(vm, s, kColorFields[i], num(vm, s, kColorFields[i]) * m2);
        }
        return Value();
    });
    vm.defineMethod(p, QStringLiteral("toString"), [](VM& vm, Value s, std::span<const Value>) {
        QString out = QStringLiteral("(");
        for (int i = 0; i < 8; ++i) {
            if (i)
                out += QStringLiteral(", ");
            out += str(kColorFields[i]) + u'=' + vm.toString(vm.getMember(s, str(kColorFields[i])));
        }
        return Value(out + u')');
    });
}

// Transform: a clip's matrix and colour transform, read and written through the clip.

MovieClip* clipOf(const Value& v) {
    Object* o = v.asObject();
    return o && o->kind == Object::Kind::Clip ? o->clip : nullptr;
}

void installTransform(VM& vm) {
    Object* proto = vm.newObject();
    Object* ctor = vm.newFunction(
        [](VM&, Value self, std::span<const Value> a) {
            if (Object* o = self.asObject())
                o->extra = {arg(a, 0)};
            return Value();
        },
        proto);
    vm.define(package(vm, "geom").asObject(), QStringLiteral("Transform"), Value(ctor));
    auto target = [](VM& vm, const Value& s) -> DisplayObject* {
        Object* o = s.asObject();
        return o && !o->extra.empty() ? vm.displayObjectOf(clipOf(o->extra[0])) : nullptr;
    };
    // Twips on the display list, pixels in scripts.
    auto toPixels = [](const QTransform& t) {
        return QTransform(t.m11(), t.m12(), t.m21(), t.m22(), t.dx() / 20, t.dy() / 20);
    };
    property(
        vm, proto, "matrix",
        [target, toPixels](VM& vm, Value s, std::span<const Value>) {
            DisplayObject* d = target(vm, s);
            return d ? newMatrix(vm, toPixels(d->matrix)) : Value();
        },
        [target](VM& vm, Value s, std::span<const Value> a) {
            if (DisplayObject* d = target(vm, s); d && arg(a, 0).isObject()) {
                const QTransform t = matrixOf(vm, arg(a, 0));
                auto ok = [](double v) { return std::isfinite(v) ? v : 0.0; };
                d->matrix = QTransform(ok(t.m11()), ok(t.m12()), ok(t.m21()), ok(t.m22()),
                                       ok(t.dx()) * 20, ok(t.dy()) * 20);
            }
            return Value();
        });
    property(vm, proto, "concatenatedMatrix", [toPixels](VM& vm, Value s, std::span<const Value>) {
        Object* o = s.asObject();
        QTransform t;
        for (MovieClip* c = o && !o->extra.empty() ? clipOf(o->extra[0]) : nullptr;
             c && c->parent(); c = c->parent())
            if (DisplayObject* d = vm.displayObjectOf(c))
                t = t * d->matrix;
        return newMatrix(vm, toPixels(t));
    });
    property(
        vm, proto, "colorTransform",
        [target](VM& vm, Value s, std::span<const Value>) {
            DisplayObject* d = target(vm, s);
            return d ? newColorTransform(vm, d->colorTransform) : Value();
        },
        [target](VM& vm, Value s, std::span<const Value> a) {
            if (DisplayObject* d = target(vm, s); d && arg(a, 0).isObject())
                d->colorTransform = colorTransformOf(vm, arg(a, 0));
            return Value();
        });
    property(
        vm, vm.clipProto(), "transform",
        [ctor](VM& vm, Value s, std::span<const Value>) {
            return vm.construct(Value(ctor), std::vector<Value>{s});
        },
        [target](VM& vm, Value s, std::span<const Value> a) {
            // Assigning a Transform copies its matrix and colour transform to this clip.
            DisplayObject* d = vm.displayObjectOf(clipOf(s));
            if (DisplayObject* from = target(vm, arg(a, 0)); d && from) {
                d->matrix = from->matrix;
                d->colorTransform = from->colorTransform;
            }
            return Value();
        });
}

// flash.filters ------------------------------------------------------------------------------

void installFilters(VM& vm) {
    Object* baseProto = vm.newObject();
    Object* base =
        vm.newFunction([](VM&, Value, std::span<const Value>) { return Value(); }, baseProto);
    vm.define(package(vm, "filters").asObject(), QStringLiteral("BitmapFilter"), Value(base));
    for (const QString& name : scriptFilterClasses()) {
        Object* proto = vm.newObject();
        proto->proto = baseProto;
        Object* ctor = vm.newFunction(
            [name](VM& vm, Value self, std::span<const Value> a) {
                std::size_t n = 0;
                const ScriptFilterParam* params = scriptFilterParams(name, &n);
                if (!self.isObject())
                    return Value();
                // The class name is kept so that the filter is known whatever the prototype.
                vm.define(self.asObject(), QStringLiteral("\x01filter"), Value(name));
                for (std::size_t i = 0; i < n; ++i) {
                    const ScriptFilterParam& p = params[i];
                    Value v = arg(a, i);
                    if (v.isUndefined()) {
                        switch (p.type) {
                        case ScriptFilterParam::Type::Number:
                            v = Value(p.number);
                            break;
                        case ScriptFilterParam::Type::Bool:
                            v = Value(p.number != 0);
                            break;
                        case ScriptFilterParam::Type::String:
                            v = Value(str(p.string));
                            break;
                        case ScriptFilterParam::Type::Array:
                            v = Value::null();
                            break;
                        }
                    }
                    vm.setMember(self, str(p.name), v);
                }
                return Value();
            },
            proto);
        vm.defineMethod(proto, QStringLiteral("clone"),
                        [ctor](VM& vm, Value s, std::span<const Value>) {
                            Value copy = vm.construct(Value(ctor), {});
                            if (Object* o = s.asObject())
                                for (const auto& slot : o->properties())
                                    if (!(slot.flags & DontEnum))
                                        vm.setMember(copy, slot.name, slot.value);
                            return copy;
                        });
        vm.define(package(vm, "filters").asObject(), name, Value(ctor));
    }
}

std::optional<Filter> filterOf(VM& vm, const Value& v);

// MovieClip.filters: the getter hands out new objects each time, so changing one changes
// nothing until the array is assigned again; assigning copies what the objects hold then.
Value filterObject(VM& vm, const ScriptFilterObject& made) {
    const Value ctor = vm.getMember(package(vm, "filters"), made.className);
    Value item = vm.construct(ctor, {});
    for (const auto& [name, value] : made.properties) {
        Value v;
        if (const double* n = std::get_if<double>(&value))
            v = Value(*n);
        else if (const bool* b = std::get_if<bool>(&value))
            v = Value(*b);
        else if (const QString* t = std::get_if<QString>(&value))
            v = Value(*t);
        else {
            std::vector<Value> list;
            for (double x : std::get<std::vector<double>>(value))
                list.emplace_back(x);
            v = Value(vm.newArray(std::move(list)));
        }
        vm.setMember(item, str(name), v);
    }
    return item;
}

// A filter object's documented properties as they are now.
ScriptFilterObject readFilterObject(VM& vm, const Value& v, const QString& cls) {
    ScriptFilterObject out;
    out.className = cls;
    std::size_t n = 0;
    const ScriptFilterParam* params = scriptFilterParams(cls, &n);
    for (std::size_t i = 0; i < n; ++i) {
        const ScriptFilterParam& p = params[i];
        const Value x = vm.getMember(v, str(p.name));
        switch (p.type) {
        case ScriptFilterParam::Type::Number:
            out.properties.emplace_back(p.name, vm.toNumber(x));
            break;
        case ScriptFilterParam::Type::Bool:
            out.properties.emplace_back(p.name, vm.toBoolean(x));
            break;
        case ScriptFilterParam::Type::String:
            out.properties.emplace_back(p.name, vm.toString(x));
            break;
        case ScriptFilterParam::Type::Array: {
            std::vector<double> items;
            if (Object* arr = x.asObject(); arr && arr->kind == Object::Kind::Array)
                for (std::size_t k = 0; k < arr->elements.size() && k < 400; ++k)
                    items.push_back(vm.toNumber(arr->elements[k]));
            out.properties.emplace_back(p.name, std::move(items));
            break;
        }
        }
    }
    return out;
}

void installClipFilters(VM& vm) {
    // opaqueBackground: a colour the renderer fills the clip's bounds with, behind it;
    // undefined or null for none.
    property(
        vm, vm.clipProto(), "opaqueBackground",
        [](VM& vm, Value s, std::span<const Value>) {
            const DisplayObject* d = vm.displayObjectOf(clipOf(s));
            if (!d || !d->backgroundColor)
                return Value();
            const Rgba c = *d->backgroundColor;
            return Value(double((std::uint32_t(c.r) << 16) | (std::uint32_t(c.g) << 8) | c.b));
        },
        [](VM& vm, Value s, std::span<const Value> a) {
            if (DisplayObject* d = vm.displayObjectOf(clipOf(s))) {
                if (arg(a, 0).isNullish()) {
                    d->backgroundColor.reset();
                } else {
                    const auto rgb = std::uint32_t(vm.toInt(arg(a, 0)));
                    d->backgroundColor = Rgba{std::uint8_t(rgb >> 16), std::uint8_t(rgb >> 8),
                                              std::uint8_t(rgb), 255};
                }
            }
            return Value();
        });
    property(
        vm, vm.clipProto(), "filters",
        [](VM& vm, Value s, std::span<const Value>) {
            DisplayObject* d = vm.displayObjectOf(clipOf(s));
            std::vector<Value> items;
            if (d && d->scriptFilters && d->filters == &d->scriptFilters->filters) {
                for (const ScriptFilterObject& made : d->scriptFilters->objects)
                    items.push_back(filterObject(vm, made));
            } else if (d && d->filters) {
                for (const Filter& f : *d->filters) // the timeline's own
                    items.push_back(filterObject(vm, scriptFilterObject(f)));
            }
            return Value(vm.newArray(std::move(items)));
        },
        [](VM& vm, Value s, std::span<const Value> a) {
            DisplayObject* d = vm.displayObjectOf(clipOf(s));
            if (!d)
                return Value();
            auto list = std::make_shared<ScriptFilterList>();
            if (Object* arr = arg(a, 0).asObject(); arr && arr->kind == Object::Kind::Array) {
                // As many as a PlaceObject tag may hold; objects of other classes are skipped.
                for (std::size_t i = 0; i < arr->elements.size() && list->filters.size() < 255;
                     ++i) {
                    const Value& item = arr->elements[i];
                    if (auto f = filterOf(vm, item)) {
                        list->filters.push_back(std::move(*f));
                        const Value cls = vm.getMember(item, QStringLiteral("\x01filter"));
                        list->objects.push_back(readFilterObject(vm, item, cls.string));
                    }
                }
            }
            if (list->filters.empty()) {
                d->filters = nullptr;
                d->scriptFilters.reset();
            } else {
                d->filters = &list->filters;
                d->scriptFilters = std::move(list);
            }
            return Value();
        });
}

std::optional<Filter> filterOf(VM& vm, const Value& v) {
    if (!v.isObject())
        return std::nullopt;
    const Value cls = vm.getMember(v, QStringLiteral("\x01filter"));
    if (!cls.isString())
        return std::nullopt;
    ScriptFilterProps props;
    props.number = [&](const char* n, double fallback) {
        const Value x = vm.getMember(v, str(n));
        return x.isUndefined() ? fallback : vm.toNumber(x);
    };
    props.boolean = [&](const char* n, bool fallback) {
        const Value x = vm.getMember(v, str(n));
        return x.isUndefined() ? fallback : vm.toBoolean(x);
    };
    props.string = [&](const char* n, const QString& fallback) {
        const Value x = vm.getMember(v, str(n));
        return x.isNullish() ? fallback : vm.toString(x);
    };
    props.numbers = [&](const char* n) -> std::optional<std::vector<double>> {
        Object* arr = vm.getMember(v, str(n)).asObject();
        if (!arr || arr->kind != Object::Kind::Array)
            return std::nullopt;
        std::vector<double> out;
        for (std::size_t i = 0; i < arr->elements.size() && i < 400; ++i)
            out.push_back(vm.toNumber(arr->elements[i]));
        return out;
    };
    return filterFromScript(cls.string, props);
}

// BitmapData ---------------------------------------------------------------------------------

std::shared_ptr<BitmapBudget> budget(VM& vm) {
    if (!vm.bitmapBudget)
        vm.bitmapBudget = std::make_shared<BitmapBudget>();
    return vm.bitmapBudget;
}

BitmapData* bitmapOf(const Value& v) {
    Object* o = v.asObject();
    return o && o->bitmapData && !o->bitmapData->disposed() ? o->bitmapData.get() : nullptr;
}

// Whole pixels, as the player truncates them.
int px(double v) {
    return std::isfinite(v) ? int(std::clamp(v, -1e9, 1e9)) : 0;
}

QRect pixelRect(VM& vm, const Value& v) {
    const R r = rectOf(vm, v);
    return QRect(px(r.x), px(r.y), px(r.w), px(r.h));
}

QPoint pixelPoint(VM& vm, const Value& v) {
    if (!v.isObject())
        return {};
    return QPoint(px(num(vm, v, "x")), px(num(vm, v, "y")));
}

BlendMode blendModeOf(VM& vm, const Value& v) {
    static const char* const names[] = {"normal", "layer",      "multiply", "screen",   "lighten",
                                        "darken", "difference", "add",      "subtract", "invert",
                                        "alpha",  "erase",      "overlay",  "hardlight"};
    if (v.isNumber()) {
        const int i = vm.toInt(v);
        return i >= 1 && i <= 14 ? BlendMode(i) : BlendMode::Normal;
    }
    const QString name = vm.toString(v);
    for (int i = 0; i < 14; ++i)
        if (name == QLatin1String(names[i]))
            return BlendMode(i + 1);
    return BlendMode::Normal;
}

// Methods on a valid bitmap; an invalid or disposed one answers -1 where a number is asked.
using BitmapFn = std::function<Value(VM&, BitmapData&, std::span<const Value>)>;

void installBitmapData(VM& vm) {
    Object* proto = vm.newObject();
    // `new BitmapData(...)` makes the object; a subclass's super(...) call fills in its own.
    auto construct = [proto](VM& vm, Value self, std::span<const Value> a) {
        Object* o = self.asObject();
        if (!o) {
            o = vm.newObject();
            o->proto = proto;
        }
        const int w = vm.toInt(arg(a, 0)), h = vm.toInt(arg(a, 1));
        const bool transparent = a.size() < 3 || vm.toBoolean(a[2]);
        const auto fill = a.size() < 4 ? 0xFFFFFFFFu : std::uint32_t(vm.toInt(a[3]));
        o->bitmapData = BitmapData::create(w, h, transparent, fill, budget(vm), vm.version());
        return Value(o);
    };
    Object* ctor = vm.newFunction(construct, proto);
    ctor->nativeConstruct = construct;
    vm.define(package(vm, "display").asObject(), QStringLiteral("BitmapData"), Value(ctor));

    auto method = [&vm, proto](const char* name, BitmapFn fn, Value invalid = Value()) {
        vm.defineMethod(proto, str(name), [fn, invalid](VM& vm, Value s, std::span<const Value> a) {
            BitmapData* b = bitmapOf(s);
            return b ? fn(vm, *b, a) : invalid;
        });
    };
    auto getter = [&vm, proto](const char* name, std::function<Value(BitmapData&)> fn) {
        property(vm, proto, name, [fn](VM&, Value s, std::span<const Value>) {
            BitmapData* b = bitmapOf(s);
            return b ? fn(*b) : Value(-1);
        });
    };
    getter("width", [](BitmapData& b) { return Value(b.width()); });
    getter("height", [](BitmapData& b) { return Value(b.height()); });
    getter("transparent", [](BitmapData& b) { return Value(b.transparent()); });
    property(vm, proto, "rectangle", [](VM& vm, Value s, std::span<const Value>) {
        BitmapData* b = bitmapOf(s);
        return b ? rectangle(vm, 0, 0, b->width(), b->height()) : rectangle(vm, 0, 0, -1, -1);
    });

    const Value minusOne(-1);
    method(
        "getPixel",
        [](VM& vm, BitmapData& b, std::span<const Value> a) {
            return Value(double(b.getPixel(vm.toInt(arg(a, 0)), vm.toInt(arg(a, 1)))));
        },
        minusOne);
    // getPixel32 answers a signed 32-bit number, as the player's integers are.
    method(
        "getPixel32",
        [](VM& vm, BitmapData& b, std::span<const Value> a) {
            return Value(
                double(std::int32_t(b.getPixel32(vm.toInt(arg(a, 0)), vm.toInt(arg(a, 1))))));
        },
        minusOne);
    method("setPixel", [](VM& vm, BitmapData& b, std::span<const Value> a) {
        b.setPixel(vm.toInt(arg(a, 0)), vm.toInt(arg(a, 1)), std::uint32_t(vm.toInt(arg(a, 2))));
        return Value();
    });
    method("setPixel32", [](VM& vm, BitmapData& b, std::span<const Value> a) {
        b.setPixel32(vm.toInt(arg(a, 0)), vm.toInt(arg(a, 1)), std::uint32_t(vm.toInt(arg(a, 2))));
        return Value();
    });
    method("fillRect", [](VM& vm, BitmapData& b, std::span<const Value> a) {
        b.fillRect(pixelRect(vm, arg(a, 0)), std::uint32_t(vm.toInt(arg(a, 1))));
        return Value();
    });
    method("copyPixels", [](VM& vm, BitmapData& b, std::span<const Value> a) {
        if (BitmapData* src = bitmapOf(arg(a, 0)))
            b.copyPixels(*src, pixelRect(vm, arg(a, 1)), pixelPoint(vm, arg(a, 2)),
                         bitmapOf(arg(a, 3)), pixelPoint(vm, arg(a, 4)), vm.toBoolean(arg(a, 5)));
        return Value();
    });
    method("copyChannel", [](VM& vm, BitmapData& b, std::span<const Value> a) {
        if (BitmapData* src = bitmapOf(arg(a, 0)))
            b.copyChannel(*src, pixelRect(vm, arg(a, 1)), pixelPoint(vm, arg(a, 2)),
                          std::uint32_t(vm.toInt(arg(a, 3))), std::uint32_t(vm.toInt(arg(a, 4))));
        return Value();
    });
    method("merge", [](VM& vm, BitmapData& b, std::span<const Value> a) {
        if (BitmapData* src = bitmapOf(arg(a, 0)))
            b.merge(*src, pixelRect(vm, arg(a, 1)), pixelPoint(vm, arg(a, 2)),
                    std::uint32_t(std::max(0, vm.toInt(arg(a, 3)))),
                    std::uint32_t(std::max(0, vm.toInt(arg(a, 4)))),
                    std::uint32_t(std::max(0, vm.toInt(arg(a, 5)))),
                    std::uint32_t(std::max(0, vm.toInt(arg(a, 6)))));
        return Value();
    });
    method("paletteMap", [](VM& vm, BitmapData& b, std::span<const Value> a) {
        BitmapData* src = bitmapOf(arg(a, 0));
        if (!src)
            return Value();
        std::optional<std::vector<std::uint32_t>> t[4];
        for (std::size_t i = 0; i < 4; ++i) {
            Object* arr = arg(a, 3 + i).asObject();
            if (!arr || arr->kind != Object::Kind::Array)
                continue;
            t[i].emplace(256);
            for (std::size_t k = 0; k < 256 && k < arr->elements.size(); ++k)
                (*t[i])[k] = std::uint32_t(vm.toInt(arr->elements[k]));
        }
        b.paletteMap(*src, pixelRect(vm, arg(a, 1)), pixelPoint(vm, arg(a, 2)),
                     {t[0] ? &*t[0] : nullptr, t[1] ? &*t[1] : nullptr, t[2] ? &*t[2] : nullptr,
                      t[3] ? &*t[3] : nullptr});
        return Value();
    });
    method("threshold", [](VM& vm, BitmapData& b, std::span<const Value> a) {
        BitmapData* src = bitmapOf(arg(a, 0));
        if (!src)
            return Value(0);
        const auto color = a.size() > 5 ? std::uint32_t(vm.toInt(a[5])) : 0u;
        const auto mask = a.size() > 6 ? std::uint32_t(vm.toInt(a[6])) : 0xFFFFFFFFu;
        return Value(double(b.threshold(*src, pixelRect(vm, arg(a, 1)), pixelPoint(vm, arg(a, 2)),
                                        vm.toString(arg(a, 3)), std::uint32_t(vm.toInt(arg(a, 4))),
                                        color, mask, vm.toBoolean(arg(a, 7)))));
    });
    method("pixelDissolve", [](VM& vm, BitmapData& b, std::span<const Value> a) {
        BitmapData* src = bitmapOf(arg(a, 0));
        const std::int32_t seed = vm.toInt(arg(a, 3));
        if (!src)
            return Value(double(seed));
        const QRect r = pixelRect(vm, arg(a, 1));
        // By default a thirtieth of the rectangle.
        const double fallback = std::max(0.0, double(r.width()) * std::max(0, r.height()) / 30);
        const double count = numArg(vm, a, 4, fallback);
        return Value(double(
            b.pixelDissolve(*src, r, pixelPoint(vm, arg(a, 2)), seed,
                            std::isfinite(count) ? std::int64_t(std::clamp(count, 0.0, 1e12)) : 0,
                            std::uint32_t(vm.toInt(arg(a, 5))))));
    });
    // compare answers a number for each reason it has no picture to give (a disposed bitmap,
    // even this one, included).
    vm.defineMethod(
        proto, QStringLiteral("compare"), [proto](VM& vm, Value s, std::span<const Value> a) {
            Object* self = s.asObject();
            Object* otherObject = arg(a, 0).asObject();
            if (!self || !self->bitmapData || !otherObject || !otherObject->bitmapData)
                return Value(-1);
            std::shared_ptr<BitmapData> difference;
            const int code = self->bitmapData->compare(*otherObject->bitmapData, difference);
            if (code <= 0)
                return Value(code);
            if (!difference)
                return Value();
            Object* o = vm.newObject();
            o->proto = proto;
            o->bitmapData = std::move(difference);
            return Value(o);
        });
    method("colorTransform", [](VM& vm, BitmapData& b, std::span<const Value> a) {
        if (arg(a, 1).isObject())
            b.colorTransform(pixelRect(vm, arg(a, 0)), colorTransformOf(vm, arg(a, 1)));
        return Value();
    });
    method("scroll", [](VM& vm, BitmapData& b, std::span<const Value> a) {
        b.scroll(vm.toInt(arg(a, 0)), vm.toInt(arg(a, 1)));
        return Value();
    });
    method("floodFill", [](VM& vm, BitmapData& b, std::span<const Value> a) {
        b.floodFill(vm.toInt(arg(a, 0)), vm.toInt(arg(a, 1)), std::uint32_t(vm.toInt(arg(a, 2))));
        return Value();
    });
    method("noise", [](VM& vm, BitmapData& b, std::span<const Value> a) {
        b.noise(vm.toInt(arg(a, 0)), std::uint32_t(std::max(0.0, numArg(vm, a, 1, 0))),
                std::uint32_t(std::max(0.0, numArg(vm, a, 2, 255))),
                std::uint32_t(numArg(vm, a, 3, 7)), vm.toBoolean(arg(a, 4)));
        return Value();
    });
    method("perlinNoise", [](VM& vm, BitmapData& b, std::span<const Value> a) {
        std::vector<QPointF> offsets;
        if (Object* arr = arg(a, 8).asObject(); arr && arr->kind == Object::Kind::Array)
            for (std::size_t i = 0; i < arr->elements.size() && i < 16; ++i)
                offsets.emplace_back(num(vm, arr->elements[i], "x"),
                                     num(vm, arr->elements[i], "y"));
        b.perlinNoise(vm.toNumber(arg(a, 0)), vm.toNumber(arg(a, 1)),
                      std::uint32_t(std::max(0, vm.toInt(arg(a, 2)))), vm.toInt(arg(a, 3)),
                      vm.toBoolean(arg(a, 4)), vm.toBoolean(arg(a, 5)),
                      std::uint32_t(numArg(vm, a, 6, 7)), vm.toBoolean(arg(a, 7)), offsets);
        return Value();
    });
    method("hitTest", [](VM& vm, BitmapData& b, std::span<const Value> a) {
        const QPoint first = pixelPoint(vm, arg(a, 0));
        const auto threshold = std::uint32_t(std::max(0, vm.toInt(arg(a, 1))));
        const Value second = arg(a, 2);
        if (BitmapData* other = bitmapOf(second))
            return Value(b.hitTestBitmap(first, threshold, *other, pixelPoint(vm, arg(a, 3)),
                                         std::uint32_t(std::max(0.0, numArg(vm, a, 4, 1)))));
        Value w;
        if (vm.findMember(second, QStringLiteral("width"), w))
            return Value(b.hitTestRect(first, threshold, pixelRect(vm, second)));
        return Value(b.hitTestPoint(first, threshold, pixelPoint(vm, second)));
    });
    method("getColorBoundsRect", [](VM& vm, BitmapData& b, std::span<const Value> a) {
        const QRect r = b.colorBoundsRect(std::uint32_t(vm.toInt(arg(a, 0))),
                                          std::uint32_t(vm.toInt(arg(a, 1))),
                                          a.size() < 3 || vm.toBoolean(a[2]));
        return rectangle(vm, r.x(), r.y(), r.width(), r.height());
    });
    method("clone", [proto](VM& vm, BitmapData& b, std::span<const Value>) {
        Object* o = vm.newObject();
        o->proto = proto;
        o->bitmapData = b.clone();
        return Value(o);
    });
    vm.defineMethod(proto, QStringLiteral("dispose"), [](VM&, Value s, std::span<const Value>) {
        if (Object* o = s.asObject(); o && o->bitmapData)
            o->bitmapData->dispose();
        return Value();
    });
    method("draw", [](VM& vm, BitmapData& b, std::span<const Value> a) {
        if (!vm.bitmapDrawer)
            return Value();
        const QTransform m = arg(a, 1).isObject() ? matrixOf(vm, arg(a, 1)) : QTransform();
        const ColorTransform ct =
            arg(a, 2).isObject() ? colorTransformOf(vm, arg(a, 2)) : ColorTransform{};
        const BlendMode blend = blendModeOf(vm, arg(a, 3));
        QRectF clip;
        if (arg(a, 4).isObject()) {
            const R r = rectOf(vm, arg(a, 4));
            clip = r.empty() ? QRectF(0, 0, 1e-9, 1e-9) : QRectF(r.x, r.y, r.w, r.h);
        }
        const bool smooth = vm.toBoolean(arg(a, 5));
        const Value source = arg(a, 0);
        if (BitmapData* src = bitmapOf(source)) {
            b.draw(*vm.bitmapDrawer, *src, m, ct, blend, clip, smooth);
            return Value();
        }
        Object* o = source.asObject();
        if (!o || !vm.player())
            return Value();
        // A clip or text field draws its content in its own coordinates (twips to pixels).
        const QTransform fromTwips = QTransform::fromScale(1.0 / 20, 1.0 / 20) * m;
        if (o->kind == Object::Kind::Clip && o->clip) {
            DisplayObject* d = vm.displayObjectOf(o->clip);
            b.draw(*vm.bitmapDrawer, *vm.player(), d, d ? nullptr : o->clip, fromTwips, ct, blend,
                   clip, smooth);
        } else if (o->kind == Object::Kind::TextField && o->field) {
            b.draw(*vm.bitmapDrawer, *vm.player(), o->field, nullptr, fromTwips, ct, blend, clip,
                   smooth);
        }
        return Value();
    });
    method("applyFilter", [](VM& vm, BitmapData& b, std::span<const Value> a) {
        BitmapData* src = bitmapOf(arg(a, 0));
        const auto filter = filterOf(vm, arg(a, 3));
        if (!src || !filter || !vm.bitmapDrawer)
            return Value(-1);
        b.applyFilter(*vm.bitmapDrawer, *src, pixelRect(vm, arg(a, 1)), pixelPoint(vm, arg(a, 2)),
                      *filter);
        return Value(0);
    });
    method("generateFilterRect", [](VM& vm, BitmapData&, std::span<const Value> a) {
        const QRect r = pixelRect(vm, arg(a, 0));
        const auto filter = filterOf(vm, arg(a, 1));
        const QRect out =
            filter && vm.bitmapDrawer ? BitmapData::filterRect(*vm.bitmapDrawer, r, *filter) : r;
        return rectangle(vm, out.x(), out.y(), out.width(), out.height());
    });
    // BitmapData.loadBitmap(linkage name): a library bitmap exported under that name.
    vm.defineMethod(
        ctor, QStringLiteral("loadBitmap"), [proto](VM& vm, Value, std::span<const Value> a) {
            if (!vm.player())
                return Value();
            const QString id = vm.toString(arg(a, 0));
            for (const ExportedAsset& e : vm.player()->movie().exports) {
                if (e.name.compare(id, Qt::CaseInsensitive) != 0)
                    continue;
                const Character* c = vm.player()->character(e.characterId);
                if (!c || c->type != CharacterType::Bitmap)
                    return Value();
                Object* o = vm.newObject();
                o->proto = proto;
                o->bitmapData =
                    BitmapData::fromImage(static_cast<const Bitmap&>(*c).image(), budget(vm));
                return o->bitmapData ? Value(o) : Value();
            }
            return Value();
        });
}

// Clip methods ------------------------------------------------------------------------------

// beginBitmapFill(bitmap, matrix, repeat = true, smoothing = false) and the bitmap part of
// lineGradientStyle's fills: a fill of a script's bitmap, its matrix in pixels.
std::optional<FillStyle> bitmapFill(VM& vm, std::span<const Value> a) {
    Object* o = arg(a, 0).asObject();
    if (!o || !o->bitmapData || o->bitmapData->disposed())
        return std::nullopt;
    FillStyle fill;
    const bool repeat = a.size() < 3 || vm.toBoolean(a[2]);
    const bool smooth = vm.toBoolean(arg(a, 3));
    fill.type = repeat ? (smooth ? FillType::RepeatingBitmap : FillType::RepeatingBitmapHard)
                       : (smooth ? FillType::ClippedBitmap : FillType::ClippedBitmapHard);
    const QTransform m = arg(a, 1).isObject() ? matrixOf(vm, arg(a, 1)) : QTransform();
    auto ok = [](double v) { return std::isfinite(v) ? std::clamp(v, -1e7, 1e7) : 0.0; };
    // Pixels of the bitmap to twips of the clip.
    fill.matrix = QTransform(ok(m.m11()) * 20, ok(m.m12()) * 20, ok(m.m21()) * 20, ok(m.m22()) * 20,
                             ok(m.dx()) * 20, ok(m.dy()) * 20);
    fill.bitmapData = o->bitmapData;
    return fill;
}

void installClipMethods(VM& vm) {
    Object* proto = vm.clipProto();
    // attachBitmap(bitmap, depth, pixelSnapping = "auto", smoothing = false)
    vm.defineMethod(proto, QStringLiteral("attachBitmap"),
                    [](VM& vm, Value s, std::span<const Value> a) {
                        MovieClip* c = clipOf(s);
                        Object* b = arg(a, 0).asObject();
                        const double depth = vm.toNumber(arg(a, 1));
                        if (!c || !b || !b->bitmapData || !vm.player() || !std::isfinite(depth) ||
                            depth < -16384 || depth > 2130690045)
                            return Value();
                        DisplayObject* d =
                            PlayerScripting(*vm.player())
                                .placeBitmap(*c, std::int32_t(depth) + kDepthOffset, b->bitmapData);
                        if (d) {
                            const QString snap = vm.toString(arg(a, 2));
                            d->pixelSnapping = snap == QLatin1String("always")
                                                   ? DisplayObject::PixelSnapping::Always
                                               : snap == QLatin1String("never")
                                                   ? DisplayObject::PixelSnapping::Never
                                                   : DisplayObject::PixelSnapping::Auto;
                            d->bitmapSmoothing = vm.toBoolean(arg(a, 3));
                        }
                        return Value();
                    });
    vm.defineMethod(proto, QStringLiteral("beginBitmapFill"),
                    [](VM& vm, Value s, std::span<const Value> a) {
                        MovieClip* c = clipOf(s);
                        if (!c)
                            return Value();
                        if (auto fill = bitmapFill(vm, a))
                            c->editDrawing().beginFill(*fill);
                        else
                            c->editDrawing().endFill();
                        return Value();
                    });
}

} // namespace

void installBitmapApi(VM& vm) {
    installPoint(vm);
    installRectangle(vm);
    installMatrix(vm);
    installColorTransform(vm);
    installTransform(vm);
    installFilters(vm);
    installClipFilters(vm);
    installBitmapData(vm);
    installClipMethods(vm);
}

} // namespace swf::avm1
