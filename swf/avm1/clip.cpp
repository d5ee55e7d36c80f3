// MovieClip: the properties and methods scripts use on timelines.

#include "swf/avm1/vm.h"
#include "swf/bitmapdata.h"
#include "swf/player.h"

#include <QLineF>
#include <cmath>
#include <optional>

namespace swf::avm1 {

namespace {

constexpr const char* kPropertyNames[] = {
    "_x",           "_y",           "_xscale",       "_yscale",       "_currentframe",
    "_totalframes", "_alpha",       "_visible",      "_width",        "_height",
    "_rotation",    "_target",      "_framesloaded", "_name",         "_droptarget",
    "_url",         "_highquality", "_focusrect",    "_soundbuftime", "_quality",
    "_xmouse",      "_ymouse"};
constexpr int kLockRoot = 100;
// Script depth 0 is list depth 16384; timeline depths are the lower ones.
constexpr std::int32_t kDepthOffset = 16384;

Value arg(std::span<const Value> a, std::size_t i) {
    return i < a.size() ? a[i] : Value();
}

double degrees(double rad) {
    return rad * 180.0 / M_PI;
}

// Bounds of a character in its own space, twips.
QRectF characterBounds(const Character* c, std::uint16_t ratio) {
    if (!c)
        return {};
    auto rect = [](const Rect& r) { return QRectF(r.xMin, r.yMin, r.width(), r.height()); };
    switch (c->type) {
    case CharacterType::Shape:
        return rect(static_cast<const Shape*>(c)->bounds);
    case CharacterType::MorphShape:
        return rect(static_cast<const MorphShape*>(c)->boundsAt(ratio));
    case CharacterType::Text:
        return rect(static_cast<const StaticText*>(c)->bounds);
    case CharacterType::EditText:
        return rect(static_cast<const EditText*>(c)->bounds);
    case CharacterType::Bitmap: {
        // A picture placed by itself (a loaded JPEG, PNG or GIF): one pixel per 20 twips.
        const QImage& img = static_cast<const Bitmap*>(c)->image();
        return QRectF(0, 0, img.width() * 20.0, img.height() * 20.0);
    }
    default:
        return {};
    }
}

QRectF listBounds(const DisplayList& list, int depth);

QRectF unite(const QRectF& a, const QRectF& b) {
    if (b.isNull() && b.topLeft().isNull())
        return a;
    return a.isNull() && a.topLeft().isNull() ? b : a.united(b);
}

// A clip's children and what scripts drew into it.
QRectF clipBounds(const MovieClip& clip, int depth) {
    QRectF r = listBounds(clip.displayList(), depth);
    if (const DrawingShape* d = clip.drawing(); d && !d->empty())
        r = unite(r, d->bounds());
    return r;
}

QRectF objectBounds(const DisplayObject& o, int depth) {
    if (depth > 64)
        return {};
    if (o.clip())
        return clipBounds(*o.clip(), depth + 1);
    if (o.button())
        return listBounds(o.button()->displayList(), depth + 1);
    if (o.bitmapData) // attachBitmap: one pixel per 20 twips
        return QRectF(0, 0, o.bitmapData->width() * 20.0, o.bitmapData->height() * 20.0);
    return characterBounds(o.character, o.ratio);
}

QRectF listBounds(const DisplayList& list, int depth) {
    QRectF r;
    for (const auto& o : list.objects()) {
        const QRectF b = o->matrix.mapRect(objectBounds(*o, depth));
        if (b.isNull() && b.topLeft().isNull())
            continue;
        r = r.isNull() ? b : r.united(b);
    }
    return r;
}

// Matrix of a clip relative to the stage.
QTransform stageTransform(VM& vm, MovieClip* clip) {
    QTransform t;
    for (MovieClip* c = clip; c && c->parent(); c = c->parent()) {
        if (DisplayObject* d = vm.displayObjectOf(c))
            t = t * d->matrix;
    }
    return t;
}

// Builds the matrix from scale, rotation and position as scripts see them.
void setMatrix(QTransform& m, double xs, double ys, double rotDeg, double skew = 0) {
    const double r = rotDeg * M_PI / 180.0;
    (void)skew;
    const double dx = m.dx(), dy = m.dy();
    m = QTransform(xs * std::cos(r), xs * std::sin(r), -ys * std::sin(r), ys * std::cos(r), dx, dy);
}

double xScale(const QTransform& m) {
    return std::hypot(m.m11(), m.m12());
}
double yScale(const QTransform& m) {
    return std::hypot(m.m21(), m.m22());
}
double rotation(const QTransform& m) {
    return degrees(std::atan2(m.m12(), m.m11()));
}

} // namespace

// An object's bounds in its own space (twips), for the focus rectangle (scripting.cpp).
QRectF localBoundsOf(const DisplayObject& o) {
    return objectBounds(o, 0);
}

int clipPropertyIndex(const QString& name) {
    if (name.isEmpty() || name[0] != u'_')
        return -1;
    for (int i = 0; i < int(std::size(kPropertyNames)); ++i) {
        if (name.compare(QLatin1String(kPropertyNames[i]), Qt::CaseInsensitive) == 0)
            return i;
    }
    if (name.compare(QLatin1String("_lockroot"), Qt::CaseInsensitive) == 0)
        return kLockRoot;
    return -1;
}

// Properties clips and text fields share. `clip` is null for a text field, `parent` the
// timeline holding the object.
Value getDisplayProperty(VM& vm, DisplayObject* d, MovieClip* clip, MovieClip* parent, int index) {
    const QTransform m = d ? d->matrix : QTransform();
    switch (index) {
    case 0:
        return Value(m.dx() / 20.0);
    case 1:
        return Value(m.dy() / 20.0);
    case 2:
        return Value(xScale(m) * 100);
    case 3:
        return Value(yScale(m) * 100);
    case 4:
        return clip ? Value(double(clip->currentFrame() + 1)) : Value();
    case 5:
    case 12:
        return clip ? Value(double(clip->frameCount())) : Value();
    case 6:
        return Value(d ? d->colorTransform.alphaMult * 100.0 / 256.0 : 100.0);
    case 7:
        return Value(d ? d->visible : true);
    case 8:
    case 9: {
        const QRectF local = clip ? clipBounds(*clip, 0) : d ? objectBounds(*d, 0) : QRectF();
        const QRectF b = m.mapRect(local);
        return Value(std::round((index == 8 ? b.width() : b.height())) / 20.0);
    }
    case 10:
        return Value(rotation(m));
    case 11: {
        QString path = clip ? QString() : u'/' + (d ? d->name : QString());
        for (MovieClip* c = clip ? clip : parent; c && c->parent(); c = c->parent()) {
            DisplayObject* o = vm.displayObjectOf(c);
            path.prepend(u'/' + (o ? o->name : QString()));
        }
        return Value(path.isEmpty() ? QStringLiteral("/") : path);
    }
    case 13:
        return Value(d ? d->name : QString());
    case 14:
        return Value(QString());
    case 15: {
        // Level 0's movie has the host's address; loaded ones the file they came from.
        const MovieClip* owner = clip ? clip : parent;
        if (owner && !owner->origin().url().isEmpty())
            return Value(owner->origin().url());
        return Value(vm.movieUrl);
    }
    case kLockRoot:
        return Value(clip && vm.lockRoots.contains(clip));
    case 16:
        return Value(1);
    case 17:
        // A button's or clip's own, else null; level 0 answers with the movie's.
        if (clip && !clip->parent())
            return Value(vm.movieFocusRect);
        if (clip && vm.focusRects.contains(clip))
            return Value(vm.focusRects.value(clip));
        return clip ? Value::null() : Value(vm.movieFocusRect);
    case 18:
        return Value(5);
    case 19:
        return Value("HIGH");
    case 20:
    case 21: {
        bool ok = false;
        const QTransform t = clip ? stageTransform(vm, clip) : m * stageTransform(vm, parent);
        const QPointF p = t.inverted(&ok).map(vm.mouse * 20.0) / 20.0;
        return Value(index == 20 ? p.x() : p.y());
    }
    default:
        return {};
    }
}

void setDisplayProperty(VM& vm, DisplayObject* d, MovieClip* clip, int index, const Value& v) {
    if (index == kLockRoot) {
        if (clip && vm.toBoolean(v))
            vm.lockRoots.insert(clip);
        else if (clip)
            vm.lockRoots.remove(clip);
        return;
    }
    if (index == 17) { // _focusrect: level 0's is the movie's
        if (clip && !clip->parent())
            vm.movieFocusRect = vm.toBoolean(v);
        else if (clip && v.isNullish())
            vm.focusRects.remove(clip);
        else if (clip)
            vm.focusRects.insert(clip, vm.toBoolean(v));
        return;
    }
    if (!d)
        return;
    const double n = vm.toNumber(v);
    QTransform& m = d->matrix;
    switch (index) {
    case 0:
        if (std::isfinite(n))
            m = QTransform(m.m11(), m.m12(), m.m21(), m.m22(), n * 20, m.dy());
        break;
    case 1:
        if (std::isfinite(n))
            m = QTransform(m.m11(), m.m12(), m.m21(), m.m22(), m.dx(), n * 20);
        break;
    case 2:
        if (std::isfinite(n))
            setMatrix(m, n / 100, yScale(m), rotation(m));
        break;
    case 3:
        if (std::isfinite(n))
            setMatrix(m, xScale(m), n / 100, rotation(m));
        break;
    case 6:
        if (std::isfinite(n))
            d->colorTransform.alphaMult =
                std::int32_t(std::clamp(n, -32768.0, 32767.0) * 256 / 100);
        break;
    case 7:
        d->visible = vm.toBoolean(v);
        break;
    case 8:
    case 9: {
        if (!std::isfinite(n) || n < 0)
            break;
        const QRectF local = clip ? clipBounds(*clip, 0) : objectBounds(*d, 0);
        const double size = index == 8 ? local.width() : local.height();
        if (size <= 0)
            break;
        double xs = xScale(m), ys = yScale(m);
        if (index == 8)
            xs = n * 20 / size;
        else
            ys = n * 20 / size;
        setMatrix(m, xs, ys, rotation(m));
        break;
    }
    case 10:
        if (std::isfinite(n))
            setMatrix(m, xScale(m), yScale(m), std::fmod(n, 360.0));
        break;
    case 13:
        d->name = vm.toString(v);
        break;
    default:
        break;
    }
}

Value getClipProperty(VM& vm, MovieClip* clip, int index) {
    return getDisplayProperty(vm, vm.displayObjectOf(clip), clip, clip->parent(), index);
}

void setClipProperty(VM& vm, MovieClip* clip, int index, const Value& v) {
    setDisplayProperty(vm, vm.displayObjectOf(clip), clip, index, v);
}

struct ClipApi {
    VM& vm;

    static MovieClip* self(const Value& v) {
        Object* o = v.asObject();
        return o && o->kind == Object::Kind::Clip ? o->clip : nullptr;
    }
    void method(const char* name, NativeFn fn) {
        vm.defineMethod(vm.clipProto(), QString::fromLatin1(name), std::move(fn));
    }

    bool frameOf(MovieClip* clip, const Value& v, std::int64_t& frame) {
        if (v.isString()) {
            const double n = stringToNumber(v.string, vm.version());
            if (std::isfinite(n)) {
                frame = std::int64_t(std::clamp(n, -1e15, 1e15)) - 1;
                return true;
            }
            const auto label = clip->timeline().frameForLabel(v.string);
            if (!label)
                return false;
            frame = std::int64_t(*label);
            return true;
        }
        const double n = vm.toNumber(v);
        if (!std::isfinite(n))
            return false;
        frame = std::int64_t(std::clamp(n, -1e15, 1e15)) - 1;
        return true;
    }

    // A clip made by a script: its init object's properties, then its class's constructor.
    static Value finish(VM& vm, MovieClip* made, const Value& init) {
        if (!made)
            return {};
        if (vm.takePending)
            vm.takePending();
        Object* o = vm.clipObject(made);
        if (Object* src = init.asObject()) {
            for (const auto& p : std::vector<Object::Slot>(src->properties()))
                vm.setMember(Value(o), p.name, p.value);
        }
        if (o->proto && o->proto != vm.clipProto()) {
            const Value ctor = vm.getMember(Value(o->proto), QStringLiteral("constructor"));
            vm.call(ctor, Value(o), {});
        }
        return Value(o);
    }

    // The clip's object while it is on its parent's list (not while its unload handlers run).
    static DisplayObject* onStage(VM& vm, MovieClip* c) {
        DisplayObject* d = vm.displayObjectOf(c);
        return d && c->parent() && c->parent()->displayList().at(d->depth) == d ? d : nullptr;
    }

    static bool asDepth(VM& vm, const Value& v, std::int32_t& depth) {
        const double d = vm.toNumber(v);
        if (!std::isfinite(d) || d < -16384 || d > 2130690045)
            return false;
        depth = std::int32_t(d) + kDepthOffset;
        return true;
    }

    void installCreation() {
        method("attachMovie", [](VM& vm, Value s, std::span<const Value> a) {
            MovieClip* c = self(s);
            std::int32_t depth = 0;
            vm.checkBudget(64);
            if (!c || !vm.player() || !asDepth(vm, arg(a, 2), depth))
                return Value();
            const QString id = vm.toString(arg(a, 0));
            for (const ExportedAsset& e : c->origin().movie().exports) {
                if (e.name.compare(id, Qt::CaseInsensitive) == 0) {
                    MovieClip* made =
                        PlayerScripting(*vm.player())
                            .placeClip(*c, e.characterId, depth, vm.toString(arg(a, 1)));
                    return finish(vm, made, arg(a, 3));
                }
            }
            return Value();
        });
        method("createEmptyMovieClip", [](VM& vm, Value s, std::span<const Value> a) {
            MovieClip* c = self(s);
            std::int32_t depth = 0;
            vm.checkBudget(64);
            if (!c || !vm.player() || !asDepth(vm, arg(a, 1), depth))
                return Value();
            return finish(
                vm, PlayerScripting(*vm.player()).placeClip(*c, 0, depth, vm.toString(arg(a, 0))),
                Value());
        });
        method("duplicateMovieClip", [](VM& vm, Value s, std::span<const Value> a) {
            MovieClip* c = self(s);
            DisplayObject* d = vm.displayObjectOf(c);
            std::int32_t depth = 0;
            if (!c || !d || !c->parent() || !vm.player() || !asDepth(vm, arg(a, 1), depth))
                return Value();
            const std::uint16_t id = c->sprite() ? d->characterId : 0;
            MovieClip* made = PlayerScripting(*vm.player())
                                  .placeClip(*c->parent(), id, depth, vm.toString(arg(a, 0)), d);
            return finish(vm, made, arg(a, 2));
        });
        method("removeMovieClip", [](VM& vm, Value s, std::span<const Value>) {
            MovieClip* c = self(s);
            DisplayObject* d = onStage(vm, c);
            if (d && d->depth >= kDepthOffset && vm.player())
                PlayerScripting(*vm.player()).removeAt(*c->parent(), d->depth);
            return Value();
        });
        method("swapDepths", [](VM& vm, Value s, std::span<const Value> a) {
            MovieClip* c = self(s);
            DisplayObject* d = onStage(vm, c);
            if (!d || !vm.player())
                return Value();
            std::int32_t target = 0;
            if (MovieClip* other = self(arg(a, 0))) {
                DisplayObject* od = onStage(vm, other);
                if (!od || other->parent() != c->parent())
                    return Value();
                target = od->depth;
            } else if (!asDepth(vm, arg(a, 0), target)) {
                return Value();
            }
            PlayerScripting(*vm.player()).swapDepths(*c->parent(), d->depth, target);
            return Value();
        });
        // setMask(clip or its path): the mask clips this one where it stands on the stage and
        // is no longer drawn; setMask(null) shows this clip whole again.
        method("setMask", [](VM& vm, Value s, std::span<const Value> a) {
            MovieClip* c = self(s);
            DisplayObject* d = vm.displayObjectOf(c);
            if (!d)
                return Value();
            MovieClip* maskClip = self(arg(a, 0));
            if (!maskClip && arg(a, 0).isString())
                maskClip = vm.resolveTarget(arg(a, 0).string, c);
            PlayerScripting::setMask(*d, maskClip ? vm.displayObjectOf(maskClip) : nullptr);
            return Value();
        });
        method("getNextHighestDepth", [](VM&, Value s, std::span<const Value>) {
            MovieClip* c = self(s);
            if (!c)
                return Value();
            const auto& objs = c->displayList().objects();
            const std::int32_t top = objs.empty() ? 0 : objs.back()->depth + 1;
            return Value(double(std::max(top, kDepthOffset) - kDepthOffset));
        });
        method("getInstanceAtDepth", [](VM& vm, Value s, std::span<const Value> a) {
            MovieClip* c = self(s);
            std::int32_t depth = 0;
            if (!c || !asDepth(vm, arg(a, 0), depth))
                return Value();
            DisplayObject* d = c->displayList().at(depth);
            if (d && d->clip())
                return Value(vm.clipObject(d->clip()));
            return Value();
        });
    }

    // Pixels to twips, kept in a range paths handle; NaN and infinities make no edge.
    static bool point(VM& vm, const Value& x, const Value& y, QPointF& out) {
        const double px = vm.toNumber(x), py = vm.toNumber(y);
        if (!std::isfinite(px) || !std::isfinite(py))
            return false;
        constexpr double kMax = 1e7;
        out = QPointF(std::clamp(px * 20, -kMax, kMax), std::clamp(py * 20, -kMax, kMax));
        return true;
    }
    static Rgba color(VM& vm, const Value& rgb, const Value& alpha) {
        const auto c = std::uint32_t(vm.toInt(rgb));
        double a = alpha.isUndefined() ? 100 : vm.toNumber(alpha);
        if (!std::isfinite(a))
            a = 100;
        return Rgba{std::uint8_t(c >> 16), std::uint8_t(c >> 8), std::uint8_t(c),
                    std::uint8_t(std::lround(std::clamp(a, 0.0, 100.0) * 255 / 100))};
    }

    // beginGradientFill(type, colors, alphas, ratios, matrix, spread, interpolation, focal).
    static std::optional<FillStyle> gradientFill(VM& vm, std::span<const Value> a) {
        FillStyle fill;
        const QString type = vm.toString(arg(a, 0));
        if (type == QLatin1String("linear"))
            fill.type = FillType::LinearGradient;
        else if (type == QLatin1String("radial"))
            fill.type =
                arg(a, 7).isUndefined() ? FillType::RadialGradient : FillType::FocalGradient;
        else
            return std::nullopt;
        Object* colors = arg(a, 1).asObject();
        Object* alphas = arg(a, 2).asObject();
        Object* ratios = arg(a, 3).asObject();
        if (!colors || !alphas || !ratios || colors->kind != Object::Kind::Array ||
            alphas->kind != Object::Kind::Array || ratios->kind != Object::Kind::Array)
            return std::nullopt;
        const std::size_t n = std::min({colors->elements.size(), alphas->elements.size(),
                                        ratios->elements.size(), std::size_t(15)});
        if (n == 0)
            return std::nullopt;
        for (std::size_t i = 0; i < n; ++i) {
            const double r = vm.toNumber(ratios->elements[i]);
            fill.gradient.stops.push_back(
                {std::uint8_t(std::isfinite(r) ? std::clamp(r, 0.0, 255.0) : 0.0),
                 color(vm, colors->elements[i], alphas->elements[i])});
        }
        const Value mv = arg(a, 4);
        auto num = [&](const char* name, double fallback) {
            Value v;
            if (!vm.findMember(mv, QString::fromLatin1(name), v))
                return fallback;
            const double d = vm.toNumber(v);
            return std::isfinite(d) ? std::clamp(d, -1e7, 1e7) : fallback;
        };
        // The gradient square is 32768 twips wide; "box" matrices and flash.geom.Matrix-like
        // objects (pixels) both map it onto the shape.
        constexpr double kSquare = 32768.0;
        if (vm.toString(vm.getMember(mv, QStringLiteral("matrixType"))) == QLatin1String("box")) {
            const double w = num("w", 100) * 20, h = num("h", 100) * 20, r = num("r", 0);
            QTransform t;
            t.translate((num("x", 0) * 20) + w / 2, (num("y", 0) * 20) + h / 2);
            t.rotateRadians(r);
            t.scale(w / kSquare, h / kSquare);
            fill.matrix = t;
        } else if (mv.isObject()) {
            fill.matrix = QTransform(num("a", 1), num("b", 0), num("c", 0), num("d", 1),
                                     num("tx", 0) * 20, num("ty", 0) * 20);
        }
        const QString spread = vm.toString(arg(a, 5));
        fill.gradient.spread = spread == QLatin1String("reflect")  ? SpreadMode::Reflect
                               : spread == QLatin1String("repeat") ? SpreadMode::Repeat
                                                                   : SpreadMode::Pad;
        if (vm.toString(arg(a, 6)) == QLatin1String("linearRGB"))
            fill.gradient.interpolation = InterpolationMode::LinearRgb;
        const double focal = vm.toNumber(arg(a, 7));
        fill.gradient.focalPoint = std::isfinite(focal) ? std::clamp(focal, -1.0, 1.0) : 0.0;
        return fill;
    }

    static CapStyle capStyle(const QString& s) {
        return s == QLatin1String("none")     ? CapStyle::None
               : s == QLatin1String("square") ? CapStyle::Square
                                              : CapStyle::Round;
    }

    // The drawing API: paths drawn into the clip's own shape, beneath its children.
    void installDrawing() {
        auto drawing = [](const Value& s) -> DrawingShape* {
            MovieClip* c = self(s);
            return c ? &c->editDrawing() : nullptr;
        };
        method("beginFill", [drawing](VM& vm, Value s, std::span<const Value> a) {
            if (DrawingShape* d = drawing(s)) {
                if (a.empty() || arg(a, 0).isNullish()) {
                    d->endFill();
                } else {
                    FillStyle fill;
                    fill.color = color(vm, arg(a, 0), arg(a, 1));
                    d->beginFill(fill);
                }
            }
            return Value();
        });
        method("beginGradientFill", [drawing](VM& vm, Value s, std::span<const Value> a) {
            if (DrawingShape* d = drawing(s)) {
                if (auto fill = gradientFill(vm, a))
                    d->beginFill(*fill);
                else
                    d->endFill();
            }
            return Value();
        });
        method("lineStyle", [drawing](VM& vm, Value s, std::span<const Value> a) {
            DrawingShape* d = drawing(s);
            if (!d)
                return Value();
            const double w = vm.toNumber(arg(a, 0));
            if (arg(a, 0).isNullish() || std::isnan(w)) {
                d->lineStyle(std::nullopt);
                return Value();
            }
            LineStyle line;
            line.width = std::uint16_t(std::lround(std::clamp(w, 0.0, 255.0) * 20));
            line.color = color(vm, arg(a, 1), arg(a, 2));
            line.pixelHinting = vm.toBoolean(arg(a, 3));
            const QString noScale = vm.toString(arg(a, 4));
            line.noHScale =
                noScale == QLatin1String("none") || noScale == QLatin1String("horizontal");
            line.noVScale =
                noScale == QLatin1String("none") || noScale == QLatin1String("vertical");
            line.startCap = line.endCap = capStyle(vm.toString(arg(a, 5)));
            const QString join = vm.toString(arg(a, 6));
            line.join = join == QLatin1String("miter")   ? JoinStyle::Miter
                        : join == QLatin1String("bevel") ? JoinStyle::Bevel
                                                         : JoinStyle::Round;
            const double miter = vm.toNumber(arg(a, 7));
            line.miterLimit = std::isfinite(miter) ? std::clamp(miter, 1.0, 255.0) : 3.0;
            d->lineStyle(line);
            return Value();
        });
        // lineGradientStyle takes beginGradientFill's arguments and paints the current line
        // style's following edges with that gradient.
        method("lineGradientStyle", [drawing](VM& vm, Value s, std::span<const Value> a) {
            if (DrawingShape* d = drawing(s)) {
                if (auto fill = gradientFill(vm, a))
                    d->lineFill(*fill);
            }
            return Value();
        });
        method("moveTo", [drawing](VM& vm, Value s, std::span<const Value> a) {
            QPointF p;
            if (DrawingShape* d = drawing(s); d && point(vm, arg(a, 0), arg(a, 1), p))
                d->moveTo(p);
            return Value();
        });
        method("lineTo", [drawing](VM& vm, Value s, std::span<const Value> a) {
            QPointF p;
            if (DrawingShape* d = drawing(s); d && point(vm, arg(a, 0), arg(a, 1), p))
                d->lineTo(p);
            return Value();
        });
        method("curveTo", [drawing](VM& vm, Value s, std::span<const Value> a) {
            QPointF c, p;
            if (DrawingShape* d = drawing(s);
                d && point(vm, arg(a, 0), arg(a, 1), c) && point(vm, arg(a, 2), arg(a, 3), p))
                d->curveTo(c, p);
            return Value();
        });
        method("endFill", [drawing](VM&, Value s, std::span<const Value>) {
            if (DrawingShape* d = drawing(s))
                d->endFill();
            return Value();
        });
        method("clear", [](VM&, Value s, std::span<const Value>) {
            if (MovieClip* c = self(s); c && c->drawing())
                c->editDrawing().clear();
            return Value();
        });
    }

    void install() {
        installDrawing();
        method("play", [](VM&, Value s, std::span<const Value>) {
            if (MovieClip* c = self(s))
                c->play();
            return Value();
        });
        method("stop", [](VM&, Value s, std::span<const Value>) {
            if (MovieClip* c = self(s))
                c->stop();
            return Value();
        });
        auto go = [this](bool play) {
            // A copy: the methods outlive this installer.
            return [api = *this, play](VM& vm, Value s, std::span<const Value> a) mutable {
                MovieClip* c = self(s);
                std::int64_t frame = 0;
                if (!c || !api.frameOf(c, arg(a, a.size() > 1 ? 1 : 0), frame))
                    return Value();
                vm.gotoFrame(c, frame);
                if (play)
                    c->play();
                else
                    c->stop();
                return Value();
            };
        };
        method("gotoAndPlay", go(true));
        method("gotoAndStop", go(false));
        method("nextFrame", [](VM& vm, Value s, std::span<const Value>) {
            if (MovieClip* c = self(s)) {
                c->stop();
                vm.gotoFrame(c, std::int64_t(c->currentFrame()) + 1);
            }
            return Value();
        });
        method("prevFrame", [](VM& vm, Value s, std::span<const Value>) {
            if (MovieClip* c = self(s)) {
                c->stop();
                if (c->currentFrame() > 0)
                    vm.gotoFrame(c, std::int64_t(c->currentFrame()) - 1);
            }
            return Value();
        });
        method("getDepth", [](VM& vm, Value s, std::span<const Value>) {
            DisplayObject* d = vm.displayObjectOf(self(s));
            return d ? Value(double(d->depth) - kDepthOffset) : Value();
        });
        // Everything is read before a movie shows: loaded and total are its size.
        auto size = [](VM&, Value s, std::span<const Value>) {
            const MovieClip* c = self(s);
            return c ? Value(double(c->origin().movie().file.body.size() + 8)) : Value();
        };
        method("getBytesLoaded", size);
        method("getBytesTotal", size);
        method("getBounds", [](VM& vm, Value s, std::span<const Value> a) {
            MovieClip* c = self(s);
            if (!c)
                return Value();
            QRectF b = clipBounds(*c, 0);
            if (MovieClip* space = self(arg(a, 0)); space && space != c) {
                bool ok = false;
                const QTransform t =
                    stageTransform(vm, c) * stageTransform(vm, space).inverted(&ok);
                b = t.mapRect(b);
            }
            Object* o = vm.newObject();
            vm.setMember(Value(o), QStringLiteral("xMin"), Value(b.left() / 20));
            vm.setMember(Value(o), QStringLiteral("xMax"), Value(b.right() / 20));
            vm.setMember(Value(o), QStringLiteral("yMin"), Value(b.top() / 20));
            vm.setMember(Value(o), QStringLiteral("yMax"), Value(b.bottom() / 20));
            return Value(o);
        });
        auto convert = [](bool toGlobal) {
            return [toGlobal](VM& vm, Value s, std::span<const Value> a) {
                MovieClip* c = self(s);
                const Value pt = arg(a, 0);
                if (!c || !pt.isObject())
                    return Value();
                const double x = vm.toNumber(vm.getMember(pt, QStringLiteral("x")));
                const double y = vm.toNumber(vm.getMember(pt, QStringLiteral("y")));
                bool ok = false;
                QTransform t = stageTransform(vm, c);
                if (!toGlobal)
                    t = t.inverted(&ok);
                const QPointF r = t.map(QPointF(x, y) * 20) / 20;
                vm.setMember(pt, QStringLiteral("x"), Value(r.x()));
                vm.setMember(pt, QStringLiteral("y"), Value(r.y()));
                return Value();
            };
        };
        method("localToGlobal", convert(true));
        method("globalToLocal", convert(false));
        method("hitTest", [](VM& vm, Value s, std::span<const Value> a) {
            MovieClip* c = self(s);
            if (!c)
                return Value(false);
            const QRectF mine = stageTransform(vm, c).mapRect(clipBounds(*c, 0));
            if (MovieClip* other = self(arg(a, 0))) {
                const QRectF theirs = stageTransform(vm, other).mapRect(clipBounds(*other, 0));
                return Value(mine.intersects(theirs));
            }
            const double x = vm.toNumber(arg(a, 0)), y = vm.toNumber(arg(a, 1));
            // The shape flag asks for the drawn outlines rather than the bounding box.
            if (vm.toBoolean(arg(a, 2)) && vm.shapeHit) {
                if (!std::isfinite(x) || !std::isfinite(y))
                    return Value(false);
                if (const auto hit = vm.shapeHit(*c, QPointF(x, y)))
                    return Value(*hit);
            }
            return Value(mine.contains(QPointF(x * 20, y * 20)));
        });
        method("startDrag", [](VM& vm, Value s, std::span<const Value> a) {
            MovieClip* c = self(s);
            if (!c)
                return Value();
            vm.dragClip = c;
            vm.dragLockCenter = vm.toBoolean(arg(a, 0));
            vm.dragBounds.reset();
            if (a.size() >= 5) {
                vm.dragBounds = QRectF(QPointF(vm.toNumber(a[1]), vm.toNumber(a[2])),
                                       QPointF(vm.toNumber(a[3]), vm.toNumber(a[4])))
                                    .normalized();
            }
            vm.dragOffset = {};
            if (!vm.dragLockCenter) {
                const double x = vm.toNumber(getClipProperty(vm, c, 0));
                const double y = vm.toNumber(getClipProperty(vm, c, 1));
                vm.dragOffset = QPointF(x, y) - vm.mouse;
            }
            return Value();
        });
        method("stopDrag", [](VM& vm, Value, std::span<const Value>) {
            vm.dragClip = nullptr;
            return Value();
        });
        installCreation();
        Object* proto = vm.clipProto();
        vm.define(proto, QStringLiteral("enabled"), Value(true), 0);
        vm.define(proto, QStringLiteral("useHandCursor"), Value(true), 0);
        vm.define(proto, QStringLiteral("blendMode"), Value("normal"), 0);
        vm.define(proto, QStringLiteral("cacheAsBitmap"), Value(false), 0);
        vm.define(vm.global(), QStringLiteral("MovieClip"),
                  Value(vm.newFunction([](VM&, Value, std::span<const Value>) { return Value(); },
                                       proto)));
    }
};

// Color: a clip's colour transform, in percent multipliers and -255..255 offsets.
void installColor(VM& vm) {
    Object* proto = vm.newObject();
    Object* ctor = vm.newFunction(
        [](VM& vm, Value self, std::span<const Value> a) {
            if (Object* o = self.asObject())
                o->extra = {arg(a, 0)};
            (void)vm;
            return Value();
        },
        proto);
    vm.define(vm.global(), QStringLiteral("Color"), Value(ctor));
    auto target = [](VM& vm, const Value& self) -> DisplayObject* {
        Object* o = self.asObject();
        if (!o || o->extra.empty())
            return nullptr;
        Object* t = o->extra[0].asObject();
        MovieClip* clip = t && t->kind == Object::Kind::Clip ? t->clip : nullptr;
        if (!clip && o->extra[0].isString())
            clip = vm.resolveTarget(o->extra[0].string, vm.rootClip());
        return vm.displayObjectOf(clip);
    };
    auto clampAdd = [](VM& vm, const Value& v) {
        const double d = vm.toNumber(v);
        return std::isfinite(d) ? std::int32_t(std::clamp(d, -32768.0, 32767.0)) : 0;
    };
    vm.defineMethod(proto, QStringLiteral("setRGB"),
                    [target](VM& vm, Value s, std::span<const Value> a) {
                        if (DisplayObject* d = target(vm, s)) {
                            const std::uint32_t rgb = std::uint32_t(vm.toInt(arg(a, 0)));
                            d->colorTransform.redMult = d->colorTransform.greenMult =
                                d->colorTransform.blueMult = 0;
                            d->colorTransform.redAdd = std::int32_t((rgb >> 16) & 0xFF);
                            d->colorTransform.greenAdd = std::int32_t((rgb >> 8) & 0xFF);
                            d->colorTransform.blueAdd = std::int32_t(rgb & 0xFF);
                        }
                        return Value();
                    });
    vm.defineMethod(proto, QStringLiteral("getRGB"),
                    [target](VM& vm, Value s, std::span<const Value>) {
                        DisplayObject* d = target(vm, s);
                        if (!d)
                            return Value();
                        const ColorTransform& c = d->colorTransform;
                        return Value(double(((c.redAdd & 0xFF) << 16) | ((c.greenAdd & 0xFF) << 8) |
                                            (c.blueAdd & 0xFF)));
                    });
    vm.defineMethod(proto, QStringLiteral("setTransform"),
                    [target, clampAdd](VM& vm, Value s, std::span<const Value> a) {
                        DisplayObject* d = target(vm, s);
                        const Value t = arg(a, 0);
                        if (!d || !t.isObject())
                            return Value();
                        ColorTransform& c = d->colorTransform;
                        auto field = [&](const char* name, std::int32_t& out, bool mult) {
                            Value v;
                            if (!vm.findMember(t, QString::fromLatin1(name), v))
                                return;
                            out = mult ? clampAdd(vm, Value(vm.toNumber(v) * 256 / 100))
                                       : clampAdd(vm, v);
                        };
                        field("ra", c.redMult, true);
                        field("ga", c.greenMult, true);
                        field("ba", c.blueMult, true);
                        field("aa", c.alphaMult, true);
                        field("rb", c.redAdd, false);
                        field("gb", c.greenAdd, false);
                        field("bb", c.blueAdd, false);
                        field("ab", c.alphaAdd, false);
                        return Value();
                    });
    vm.defineMethod(proto, QStringLiteral("getTransform"),
                    [target](VM& vm, Value s, std::span<const Value>) {
                        DisplayObject* d = target(vm, s);
                        if (!d)
                            return Value();
                        const ColorTransform& c = d->colorTransform;
                        Object* o = vm.newObject();
                        auto put = [&](const char* n, double v) {
                            vm.setMember(Value(o), QString::fromLatin1(n), Value(v));
                        };
                        put("ra", c.redMult * 100.0 / 256);
                        put("ga", c.greenMult * 100.0 / 256);
                        put("ba", c.blueMult * 100.0 / 256);
                        put("aa", c.alphaMult * 100.0 / 256);
                        put("rb", c.redAdd);
                        put("gb", c.greenAdd);
                        put("bb", c.blueAdd);
                        put("ab", c.alphaAdd);
                        return Value(o);
                    });
}

void VM::installClipApi() {
    ClipApi api{*this};
    api.install();
    installColor(*this);
}

} // namespace swf::avm1
