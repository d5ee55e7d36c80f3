// Array: construction, the mutators, iteration with callbacks, sort and sortOn.

#include "swf/avm2/vm.h"

#include <algorithm>
#include <cmath>

namespace swf::avm2 {

namespace {

enum SortFlag {
    CaseInsensitive = 1,
    Descending = 2,
    UniqueSort = 4,
    ReturnIndexedArray = 8,
    Numeric = 16
};

Array* thisArray(VM& vm, const Value& self) {
    Object* o = self.object();
    if (!o || (o->kind != ObjectKind::Array && o->kind != ObjectKind::Vector))
        vm.throwTypeError(1004,
                          QStringLiteral("Method Array was invoked on an incompatible object."));
    return static_cast<Array*>(o);
}

constexpr std::size_t kMaxLength = std::size_t(1) << 26;

// A result like `a`: an Array for arrays, a Vector of the same type for vectors.
Value likeThis(VM& vm, Array* a, std::vector<Value> items) {
    if (!a->isVector)
        return Value(static_cast<Object*>(vm.newArray(std::move(items))));
    auto* v = static_cast<Array*>(vm.allocInstance(a->cls));
    v->items = std::move(items);
    return Value(static_cast<Object*>(v));
}

void checkGrow(VM& vm, Array* a) {
    if (a->isVector && a->fixed)
        vm.throwRangeError(1126, QStringLiteral("Cannot change the length of a fixed Vector."));
}

void checkLength(VM& vm, double n) {
    if (n > double(kMaxLength))
        vm.throwRangeError(1005, QStringLiteral("Array index is not a positive integer (%1).")
                                     .arg(VM::numberToString(n)));
}

Object* allocArray(VM& vm, Class* c) {
    auto* a = vm.make<Array>(c);
    return a;
}

Value arrayCtor(VM& vm, const Value& self, std::span<const Value> args) {
    Array* a = thisArray(vm, self);
    if (args.size() == 1 && args[0].isNumeric()) {
        const double n = args[0].toDoubleFast();
        if (n < 0 || n != std::trunc(n) || n > 4294967295.0)
            vm.throwRangeError(1005, QStringLiteral("Array index is not a positive integer (%1).")
                                         .arg(VM::numberToString(n)));
        checkLength(vm, n);
        a->items.assign(std::size_t(n), Value());
    } else {
        a->items.assign(args.begin(), args.end());
    }
    return Value();
}

Value callArray(VM& vm, const Value& self, std::span<const Value> args) {
    return vm.construct(self, args);
}

Value arrayPush(VM& vm, const Value& self, std::span<const Value> args) {
    Array* a = thisArray(vm, self);
    checkGrow(vm, a);
    checkLength(vm, double(a->items.size() + args.size()));
    for (const Value& v : args)
        a->items.push_back(a->isVector && a->elementType ? vm.coerce(v, a->elementType) : v);
    return Value::fromUint(std::uint32_t(a->items.size()));
}

Value arrayPop(VM& vm, const Value& self, std::span<const Value>) {
    Array* a = thisArray(vm, self);
    checkGrow(vm, a);
    if (a->items.empty())
        return Value();
    Value v = std::move(a->items.back());
    a->items.pop_back();
    return v;
}

Value arrayShift(VM& vm, const Value& self, std::span<const Value>) {
    Array* a = thisArray(vm, self);
    checkGrow(vm, a);
    if (a->items.empty())
        return Value();
    Value v = std::move(a->items.front());
    a->items.erase(a->items.begin());
    return v;
}

Value arrayUnshift(VM& vm, const Value& self, std::span<const Value> args) {
    Array* a = thisArray(vm, self);
    checkGrow(vm, a);
    checkLength(vm, double(a->items.size() + args.size()));
    a->items.insert(a->items.begin(), args.begin(), args.end());
    return Value::fromUint(std::uint32_t(a->items.size()));
}

Value arrayJoin(VM& vm, const Value& self, std::span<const Value> args) {
    Array* a = thisArray(vm, self);
    const QString sep =
        args.empty() || args[0].isUndefined() ? QStringLiteral(",") : vm.toString(args[0]);
    QString out;
    const std::vector<Value> items = a->items; // callbacks in toString may change the array
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (i)
            out += sep;
        if (!items[i].isNullish())
            out += vm.toString(items[i]);
    }
    return Value(out);
}

Value arrayToString(VM& vm, const Value& self, std::span<const Value>) {
    return arrayJoin(vm, self, {});
}

std::size_t relIndex(VM& vm, const Value& v, std::size_t len, double dflt) {
    double d = v.isUndefined() ? dflt : vm.toNumber(v);
    if (std::isnan(d))
        d = 0;
    d = std::trunc(d);
    if (d < 0)
        d = std::max(0.0, double(len) + d);
    return std::size_t(std::min(d, double(len)));
}

Value arraySlice(VM& vm, const Value& self, std::span<const Value> args) {
    Array* a = thisArray(vm, self);
    const std::size_t len = a->items.size();
    const std::size_t s = relIndex(vm, arg(args, 0), len, 0);
    const std::size_t e = relIndex(vm, arg(args, 1), len, double(len));
    std::vector<Value> out;
    if (e > s)
        out.assign(a->items.begin() + std::ptrdiff_t(s), a->items.begin() + std::ptrdiff_t(e));
    return likeThis(vm, a, std::move(out));
}

Value arraySplice(VM& vm, const Value& self, std::span<const Value> args) {
    Array* a = thisArray(vm, self);
    checkGrow(vm, a);
    if (args.empty())
        return Value::null();
    const std::size_t len = a->items.size();
    const std::size_t s = relIndex(vm, args[0], len, 0);
    double dc = args.size() > 1 ? vm.toNumber(args[1]) : double(len - s);
    if (std::isnan(dc) || dc < 0)
        dc = 0;
    const std::size_t count = std::size_t(std::min(std::trunc(dc), double(len - s)));
    std::vector<Value> removed(a->items.begin() + std::ptrdiff_t(s),
                               a->items.begin() + std::ptrdiff_t(s + count));
    a->items.erase(a->items.begin() + std::ptrdiff_t(s),
                   a->items.begin() + std::ptrdiff_t(s + count));
    if (args.size() > 2) {
        checkLength(vm, double(a->items.size() + args.size() - 2));
        a->items.insert(a->items.begin() + std::ptrdiff_t(s), args.begin() + 2, args.end());
    }
    return Value(static_cast<Object*>(vm.newArray(std::move(removed))));
}

Value arrayConcat(VM& vm, const Value& self, std::span<const Value> args) {
    Array* a = thisArray(vm, self);
    std::vector<Value> out = a->items;
    for (const Value& v : args) {
        if (Object* o = v.object(); o && o->kind == ObjectKind::Array) {
            const auto& it = static_cast<Array*>(o)->items;
            checkLength(vm, double(out.size() + it.size()));
            out.insert(out.end(), it.begin(), it.end());
        } else {
            out.push_back(v);
        }
    }
    return Value(static_cast<Object*>(vm.newArray(std::move(out))));
}

Value arrayReverse(VM& vm, const Value& self, std::span<const Value>) {
    Array* a = thisArray(vm, self);
    std::reverse(a->items.begin(), a->items.end());
    return self;
}

Value arrayIndexOf(VM& vm, const Value& self, std::span<const Value> args) {
    Array* a = thisArray(vm, self);
    const std::size_t len = a->items.size();
    std::size_t from = relIndex(vm, arg(args, 1), len, 0);
    for (std::size_t i = from; i < a->items.size(); ++i)
        if (vm.strictEquals(a->items[i], arg(args, 0)))
            return Value(std::int32_t(i));
    return Value(std::int32_t(-1));
}

Value arrayLastIndexOf(VM& vm, const Value& self, std::span<const Value> args) {
    Array* a = thisArray(vm, self);
    const std::size_t len = a->items.size();
    if (len == 0)
        return Value(std::int32_t(-1));
    double f = args.size() > 1 ? vm.toNumber(args[1]) : double(len - 1);
    if (std::isnan(f))
        f = 0;
    if (f < 0)
        f += double(len);
    if (f < 0)
        return Value(std::int32_t(-1));
    std::size_t i = std::size_t(std::min(std::trunc(f), double(len - 1)));
    for (;; --i) {
        if (i < a->items.size() && vm.strictEquals(a->items[i], arg(args, 0)))
            return Value(std::int32_t(i));
        if (i == 0)
            break;
    }
    return Value(std::int32_t(-1));
}

enum class Iter { ForEach, Map, Filter, Some, Every };

Value iterate(VM& vm, const Value& self, std::span<const Value> args, Iter kind) {
    Array* a = thisArray(vm, self);
    const Value fn = arg(args, 0);
    const Value thisArg = args.size() > 1 ? args[1] : Value::null();
    std::vector<Value> out;
    for (std::size_t i = 0; i < a->items.size(); ++i) {
        const Value item = a->items[i];
        const Value cb[] = {item, Value(std::int32_t(i)), self};
        const Value r = vm.call(fn, thisArg, cb);
        switch (kind) {
        case Iter::ForEach:
            break;
        case Iter::Map:
            out.push_back(r);
            break;
        case Iter::Filter:
            if (VM::toBoolean(r))
                out.push_back(item);
            break;
        case Iter::Some:
            if (VM::toBoolean(r))
                return Value(true);
            break;
        case Iter::Every:
            if (!VM::toBoolean(r))
                return Value(false);
            break;
        }
    }
    switch (kind) {
    case Iter::Map:
    case Iter::Filter:
        return likeThis(vm, a, std::move(out));
    case Iter::Some:
        return Value(false);
    case Iter::Every:
        return Value(true);
    default:
        return Value();
    }
}

Value arrayForEach(VM& vm, const Value& s, std::span<const Value> a) {
    return iterate(vm, s, a, Iter::ForEach);
}
Value arrayMap(VM& vm, const Value& s, std::span<const Value> a) {
    return iterate(vm, s, a, Iter::Map);
}
Value arrayFilter(VM& vm, const Value& s, std::span<const Value> a) {
    return iterate(vm, s, a, Iter::Filter);
}
Value arraySome(VM& vm, const Value& s, std::span<const Value> a) {
    return iterate(vm, s, a, Iter::Some);
}
Value arrayEvery(VM& vm, const Value& s, std::span<const Value> a) {
    return iterate(vm, s, a, Iter::Every);
}

// Compares two elements under the sort flags; undefined sorts last.
int compareValues(VM& vm, const Value& x, const Value& y, int flags) {
    if (x.isUndefined() || y.isUndefined())
        return x.isUndefined() == y.isUndefined() ? 0 : (x.isUndefined() ? 1 : -1);
    int c;
    if (flags & Numeric) {
        const double a = vm.toNumber(x), b = vm.toNumber(y);
        c = a < b ? -1 : (a > b ? 1 : 0);
    } else {
        QString a = vm.toString(x), b = vm.toString(y);
        if (flags & CaseInsensitive) {
            a = a.toLower();
            b = b.toLower();
        }
        c = a < b ? -1 : (a > b ? 1 : 0);
    }
    return (flags & Descending) ? -c : c;
}

// Sorts indices with a comparison that may call script code; a merge sort keeps it stable and
// never misbehaves when the comparison is inconsistent.
template <typename Cmp> void sortIndices(std::vector<std::size_t>& idx, Cmp cmp) {
    std::vector<std::size_t> tmp(idx.size());
    for (std::size_t width = 1; width < idx.size(); width *= 2) {
        for (std::size_t lo = 0; lo < idx.size(); lo += 2 * width) {
            const std::size_t mid = std::min(lo + width, idx.size());
            const std::size_t hi = std::min(lo + 2 * width, idx.size());
            std::size_t i = lo, j = mid, k = lo;
            while (i < mid && j < hi)
                tmp[k++] = cmp(idx[j], idx[i]) < 0 ? idx[j++] : idx[i++];
            while (i < mid)
                tmp[k++] = idx[i++];
            while (j < hi)
                tmp[k++] = idx[j++];
        }
        idx.swap(tmp);
    }
}

Value finishSort(VM& vm, Array* a, const Value& self, std::vector<std::size_t>& idx, int flags,
                 const std::function<int(std::size_t, std::size_t)>& cmp) {
    if (flags & UniqueSort) {
        for (std::size_t i = 1; i < idx.size(); ++i)
            if (cmp(idx[i - 1], idx[i]) == 0)
                return Value(std::int32_t(0));
    }
    if (flags & ReturnIndexedArray) {
        std::vector<Value> out;
        for (std::size_t i : idx)
            out.push_back(Value(std::int32_t(i)));
        return Value(static_cast<Object*>(vm.newArray(std::move(out))));
    }
    std::vector<Value> sorted;
    sorted.reserve(idx.size());
    for (std::size_t i : idx)
        sorted.push_back(i < a->items.size() ? a->items[i] : Value());
    a->items = std::move(sorted);
    return self;
}

Value arraySort(VM& vm, const Value& self, std::span<const Value> args) {
    Array* a = thisArray(vm, self);
    Value fn;
    int flags = 0;
    if (!args.empty() && args[0].object() && args[0].o->kind == ObjectKind::Function) {
        fn = args[0];
        if (args.size() > 1)
            flags = vm.toInt32(args[1]);
    } else if (!args.empty()) {
        flags = vm.toInt32(args[0]);
    }
    const std::vector<Value> items = a->items;
    std::vector<std::size_t> idx(items.size());
    for (std::size_t i = 0; i < idx.size(); ++i)
        idx[i] = i;
    std::function<int(std::size_t, std::size_t)> cmp;
    if (fn.isObject()) {
        cmp = [&](std::size_t x, std::size_t y) {
            const Value ab[] = {items[x], items[y]};
            const double d = vm.toNumber(vm.call(fn, Value::null(), ab));
            const int c = d < 0 ? -1 : (d > 0 ? 1 : 0);
            return (flags & Descending) ? -c : c;
        };
    } else {
        cmp = [&](std::size_t x, std::size_t y) {
            return compareValues(vm, items[x], items[y], flags);
        };
    }
    sortIndices(idx, cmp);
    return finishSort(vm, a, self, idx, flags, cmp);
}

Value arraySortOn(VM& vm, const Value& self, std::span<const Value> args) {
    Array* a = thisArray(vm, self);
    std::vector<QString> names;
    std::vector<int> flagsPer;
    const Value n = arg(args, 0);
    if (Object* o = n.object(); o && o->kind == ObjectKind::Array) {
        for (const Value& v : static_cast<Array*>(o)->items)
            names.push_back(vm.toString(v));
    } else {
        names.push_back(vm.toString(n));
    }
    const Value f = arg(args, 1);
    int common = 0;
    if (Object* o = f.object(); o && o->kind == ObjectKind::Array) {
        for (const Value& v : static_cast<Array*>(o)->items)
            flagsPer.push_back(vm.toInt32(v));
        if (!flagsPer.empty())
            common = flagsPer[0];
    } else if (!f.isNullish()) {
        common = vm.toInt32(f);
    }
    flagsPer.resize(names.size(), common);
    const std::vector<Value> items = a->items;
    std::vector<std::vector<Value>> keys(items.size());
    for (std::size_t i = 0; i < items.size(); ++i)
        for (const QString& name : names)
            keys[i].push_back(items[i].isNullish() ? Value()
                                                   : vm.getProperty(items[i], vm.publicName(name)));
    std::vector<std::size_t> idx(items.size());
    for (std::size_t i = 0; i < idx.size(); ++i)
        idx[i] = i;
    std::function<int(std::size_t, std::size_t)> cmp = [&](std::size_t x, std::size_t y) {
        for (std::size_t k = 0; k < names.size(); ++k) {
            const int c = compareValues(vm, keys[x][k], keys[y][k], flagsPer[k]);
            if (c)
                return c;
        }
        return 0;
    };
    sortIndices(idx, cmp);
    return finishSort(vm, a, self, idx, common, cmp);
}

Value arrayInsertAt(VM& vm, const Value& self, std::span<const Value> args) {
    Array* a = thisArray(vm, self);
    checkGrow(vm, a);
    const std::size_t i = relIndex(vm, arg(args, 0), a->items.size(), 0);
    checkLength(vm, double(a->items.size() + 1));
    a->items.insert(a->items.begin() + std::ptrdiff_t(i), arg(args, 1));
    return Value();
}

Value arrayRemoveAt(VM& vm, const Value& self, std::span<const Value> args) {
    Array* a = thisArray(vm, self);
    checkGrow(vm, a);
    const std::size_t i = relIndex(vm, arg(args, 0), a->items.size(), 0);
    if (i >= a->items.size())
        return Value();
    Value v = a->items[i];
    a->items.erase(a->items.begin() + std::ptrdiff_t(i));
    return v;
}

Object* allocVector(VM& vm, Class* c) {
    auto* a = vm.make<Array>(c);
    a->kind = ObjectKind::Vector;
    a->isVector = true;
    a->elementType = c->vectorOf;
    return a;
}

Value vectorCtor(VM& vm, const Value& self, std::span<const Value> args) {
    Array* a = thisArray(vm, self);
    const double n = args.empty() ? 0 : vm.toNumber(args[0]);
    if (!(n >= 0 && n <= double(kMaxLength)))
        vm.throwRangeError(1005, QStringLiteral("Array index is not a positive integer (%1).")
                                     .arg(VM::numberToString(n)));
    Value fill = Value::null();
    Class* t = a->elementType;
    if (t == vm.intClass || t == vm.uintClass || t == vm.numberClass)
        fill = Value(std::int32_t(0));
    else if (t == vm.booleanClass)
        fill = Value(false);
    else if (!t)
        fill = Value();
    a->items.assign(std::size_t(n), fill);
    a->fixed = args.size() > 1 && VM::toBoolean(args[1]);
    return Value();
}

// Vector.<T>(source): a new vector with each element coerced.
Value callVector(VM& vm, const Value& self, std::span<const Value> args) {
    auto* c = static_cast<Class*>(self.object());
    auto* v = static_cast<Array*>(vm.allocInstance(c));
    Object* src = arg(args, 0).object();
    if (!src || (src->kind != ObjectKind::Array && src->kind != ObjectKind::Vector))
        vm.throwTypeError(1034, QStringLiteral("Type Coercion failed: cannot convert %1 to %2.")
                                    .arg(vm.describe(arg(args, 0)), c->qualifiedName()));
    for (const Value& x : static_cast<Array*>(src)->items)
        v->items.push_back(v->elementType ? vm.coerce(x, v->elementType) : x);
    return Value(static_cast<Object*>(v));
}

Value vectorFixedGet(VM& vm, const Value& self, std::span<const Value>) {
    return Value(thisArray(vm, self)->fixed);
}
Value vectorFixedSet(VM& vm, const Value& self, std::span<const Value> args) {
    thisArray(vm, self)->fixed = VM::toBoolean(arg(args, 0));
    return Value();
}

} // namespace

void installVector(VM& vm) {
    Class* g = vm.defineNativeClass(QStringLiteral("__AS3__.vec"), QStringLiteral("Vector"),
                                    vm.objectClass, nullptr, true);
    vm.vectorClassGeneric = g;
    Class* any = vm.defineNativeClass(QStringLiteral("__AS3__.vec"), QStringLiteral("Vector.<*>"),
                                      vm.objectClass, allocVector, true);
    any->iinit.native = vectorCtor;
    any->nativeCall = callVector;
    any->isVector = true;
    any->instanceTraits = vm.arrayClass->instanceTraits;
    any->prototype->proto = vm.arrayClass->prototype;
    vm.addGetter(any, QStringLiteral("fixed"), vectorFixedGet, vectorFixedSet);
    g->vectorAny = any;
}

void installArray(VM& vm) {
    Class* c = vm.defineNativeClass(QString(), QStringLiteral("Array"), vm.objectClass, allocArray);
    vm.arrayClass = c;
    c->iinit.native = arrayCtor;
    c->nativeCall = callArray;
    const std::pair<const char*, NativeFn> methods[] = {
        {"push", arrayPush},
        {"pop", arrayPop},
        {"shift", arrayShift},
        {"unshift", arrayUnshift},
        {"join", arrayJoin},
        {"toString", arrayToString},
        {"toLocaleString", arrayToString},
        {"slice", arraySlice},
        {"splice", arraySplice},
        {"concat", arrayConcat},
        {"reverse", arrayReverse},
        {"indexOf", arrayIndexOf},
        {"lastIndexOf", arrayLastIndexOf},
        {"forEach", arrayForEach},
        {"map", arrayMap},
        {"filter", arrayFilter},
        {"some", arraySome},
        {"every", arrayEvery},
        {"sort", arraySort},
        {"sortOn", arraySortOn},
        {"insertAt", arrayInsertAt},
        {"removeAt", arrayRemoveAt},
    };
    for (auto [name, fn] : methods)
        vm.addMethod(c, QString::fromLatin1(name), fn);
    vm.addStaticValue(c, QStringLiteral("CASEINSENSITIVE"), Value(std::int32_t(CaseInsensitive)));
    vm.addStaticValue(c, QStringLiteral("DESCENDING"), Value(std::int32_t(Descending)));
    vm.addStaticValue(c, QStringLiteral("UNIQUESORT"), Value(std::int32_t(UniqueSort)));
    vm.addStaticValue(c, QStringLiteral("RETURNINDEXEDARRAY"),
                      Value(std::int32_t(ReturnIndexedArray)));
    vm.addStaticValue(c, QStringLiteral("NUMERIC"), Value(std::int32_t(Numeric)));
}

} // namespace swf::avm2
