#pragma once

// flash.geom values as other native classes read and make them (BitmapData takes rectangles,
// points, matrices and colour transforms).

#include "swf/avm2/vm.h"
#include "swf/types.h"

#include <QPointF>
#include <QRectF>
#include <QTransform>
#include <optional>

namespace swf::avm2 {

// Null values (and objects of other classes) give nothing; the caller decides what that means.
std::optional<QPointF> toPoint(VM& vm, const Value& v);
std::optional<QRectF> toRectangle(VM& vm, const Value& v);
std::optional<QTransform> toMatrix(VM& vm, const Value& v); // m11 = a, m12 = b, m21 = c ...
std::optional<ColorTransform> toColorTransform(VM& vm, const Value& v);

Value newPoint(VM& vm, QPointF p);
Value newRectangle(VM& vm, const QRectF& r);

} // namespace swf::avm2
