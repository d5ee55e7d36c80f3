// The global objects scripts find: Object, Function, Array, String, Number, Boolean, Math,
// Date, Key, Mouse, Stage, System and the global functions.

#include "swf/avm1/vm.h"
#include "swf/player.h"

#include <QDateTime>
#include <QRandomGenerator>
#include <QTimeZone>
#include <algorithm>
#include <cmath>

namespace swf::avm1 {

namespace {

Value arg(std::span<const Value> a, std::size_t i) {
    return i < a.size() ? a[i] : Value();
}

// For generic loops over script-given sizes.
std::size_t clampCount(double n, std::size_t max) {
    if (!(n > 0))
        return 0;
    return n > double(max) ? max : std::size_t(n);
}

} // namespace

NativeFn listenerMethod(std::vector<Object*>& list, bool add) {
    return [&list, add](VM&, Value, std::span<const Value> a) {
        Object* o = arg(a, 0).asObject();
        if (!o)
            return Value(false);
        auto it = std::find(list.begin(), list.end(), o);
        if (add && it == list.end() && list.size() < 10000)
            list.push_back(o);
        if (!add && it != list.end())
            list.erase(it);
        return Value(true);
    };
}

struct Builtins {
    VM& vm;

    Object* ctor(const QString& name, Object* proto, NativeFn call, NativeFn construct = {}) {
        Object* f = vm.newFunction(std::move(call), proto);
        f->nativeConstruct = std::move(construct);
        vm.define(vm.global(), name, Value(f));
        return f;
    }
    void method(Object* o, const char* name, NativeFn fn) {
        vm.defineMethod(o, QString::fromLatin1(name), std::move(fn));
    }

    QString thisString(const Value& self) {
        if (Object* o = self.asObject(); o && o->kind == Object::Kind::String)
            return vm.toString(o->primitive);
        return vm.toString(self);
    }

    void installObject();
    void installFunction();
    void installArray();
    void installString();
    void installNumberBoolean();
    void installMath();
    void installDate();
    void installGlobals();
    void installInput();
};

void Builtins::installObject() {
    Object* proto = vm.m_objectProto;
    Object* objectCtor = ctor(
        QStringLiteral("Object"), proto,
        [](VM& vm, Value, std::span<const Value> a) {
            const Value v = arg(a, 0);
            if (v.isObject())
                return v;
            return Value(vm.newObject());
        },
        [](VM& vm, Value, std::span<const Value> a) {
            const Value v = arg(a, 0);
            if (v.isObject())
                return v;
            return Value(vm.newObject());
        });
    method(proto, "toString", [](VM& vm, Value self, std::span<const Value>) {
        Object* o = self.asObject();
        if (o && o->kind == Object::Kind::Function)
            return Value("[type Function]");
        (void)vm;
        return Value("[object Object]");
    });
    method(proto, "valueOf", [](VM&, Value self, std::span<const Value>) { return self; });
    method(proto, "hasOwnProperty", [](VM& vm, Value self, std::span<const Value> a) {
        Object* o = self.asObject();
        if (!o)
            return Value(false);
        const QString name = vm.toString(arg(a, 0));
        if (o->kind == Object::Kind::Array) {
            bool ok = false;
            const qulonglong i = name.toULongLong(&ok);
            if (ok && i < o->elements.size())
                return Value(true);
        }
        return Value(o->find(vm.key(name)) != nullptr);
    });
    method(proto, "isPrototypeOf", [](VM&, Value self, std::span<const Value> a) {
        Object* p = self.asObject();
        Object* o = arg(a, 0).asObject();
        int guard = 0;
        for (Object* c = o ? o->proto : nullptr; c && guard < 256; c = c->proto, ++guard) {
            if (c == p)
                return Value(true);
        }
        return Value(false);
    });
    method(proto, "isPropertyEnumerable", [](VM& vm, Value self, std::span<const Value> a) {
        Object* o = self.asObject();
        const Object::Slot* s = o ? o->find(vm.key(vm.toString(arg(a, 0)))) : nullptr;
        return Value(s && !(s->flags & DontEnum));
    });
    method(proto, "addProperty", [](VM& vm, Value self, std::span<const Value> a) {
        Object* o = self.asObject();
        const QString name = vm.toString(arg(a, 0));
        Object* getter = arg(a, 1).asObject();
        Object* setter = arg(a, 2).asObject();
        if (!o || name.isEmpty() || !getter || getter->kind != Object::Kind::Function)
            return Value(false);
        Object::Slot& s = o->put(name, vm.key(name), Value());
        s.getter = getter;
        s.setter = setter && setter->kind == Object::Kind::Function ? setter : nullptr;
        return Value(true);
    });
    method(proto, "watch", [](VM&, Value, std::span<const Value>) { return Value(false); });
    method(proto, "unwatch", [](VM&, Value, std::span<const Value>) { return Value(false); });
    vm.defineMethod(objectCtor, QStringLiteral("registerClass"),
                    [](VM& vm, Value, std::span<const Value> a) {
                        const QString name = vm.toString(arg(a, 0));
                        Object* cls = arg(a, 1).asObject();
                        if (name.isEmpty())
                            return Value(false);
                        if (cls)
                            vm.registeredClasses.insert(vm.key(name), cls);
                        else
                            vm.registeredClasses.remove(vm.key(name));
                        return Value(true);
                    });
}

void Builtins::installFunction() {
    Object* proto = vm.m_functionProto;
    ctor(QStringLiteral("Function"), proto,
         [](VM& vm, Value, std::span<const Value>) { return Value(vm.newObject()); });
    method(proto, "call", [](VM& vm, Value self, std::span<const Value> a) {
        const Value thisArg = arg(a, 0);
        return vm.call(self, thisArg, a.size() > 1 ? a.subspan(1) : std::span<const Value>{});
    });
    method(proto, "apply", [](VM& vm, Value self, std::span<const Value> a) {
        std::vector<Value> args;
        if (Object* list = arg(a, 1).asObject()) {
            if (list->kind == Object::Kind::Array) {
                args = list->elements;
            } else {
                const std::size_t n = clampCount(
                    vm.toNumber(vm.getMember(Value(list), QStringLiteral("length"))), 1 << 16);
                for (std::size_t i = 0; i < n; ++i)
                    args.push_back(vm.getMember(Value(list), QString::number(i)));
            }
        }
        return vm.call(self, arg(a, 0), args);
    });
}

void Builtins::installArray() {
    Object* proto = vm.m_arrayProto;
    auto make = [](VM& vm, Value, std::span<const Value> a) {
        if (a.size() == 1 && a[0].isNumber()) {
            const double n = a[0].number;
            Object* arr = vm.newArray();
            if (n >= 0 && n == std::trunc(n))
                arr->elements.resize(std::size_t(std::min(n, double(vm.limits().maxArrayLength))));
            return Value(arr);
        }
        return Value(vm.newArray(std::vector<Value>(a.begin(), a.end())));
    };
    Object* arrayCtor = ctor(QStringLiteral("Array"), proto, make, make);
    vm.define(arrayCtor, QStringLiteral("CASEINSENSITIVE"), Value(1));
    vm.define(arrayCtor, QStringLiteral("DESCENDING"), Value(2));
    vm.define(arrayCtor, QStringLiteral("UNIQUESORT"), Value(4));
    vm.define(arrayCtor, QStringLiteral("RETURNINDEXEDARRAY"), Value(8));
    vm.define(arrayCtor, QStringLiteral("NUMERIC"), Value(16));

    auto elems = [](Value self) -> std::vector<Value>* {
        Object* o = self.asObject();
        return o && o->kind == Object::Kind::Array ? &o->elements : nullptr;
    };
    auto join = [](VM& vm, const std::vector<Value>& e, const QString& sep) {
        QString out;
        for (std::size_t i = 0; i < e.size(); ++i) {
            if (i)
                out += sep;
            if (!e[i].isNullish())
                out += vm.toString(e[i]);
            else if (e[i].isNull())
                out += QStringLiteral("null");
            else if (vm.version() >= 7)
                out += QStringLiteral("undefined");
            vm.checkedLength(out.size());
        }
        return out;
    };
    method(proto, "push", [elems](VM& vm, Value self, std::span<const Value> a) {
        auto* e = elems(self);
        if (!e)
            return Value();
        for (const Value& v : a) {
            if (e->size() < vm.limits().maxArrayLength)
                e->push_back(v);
        }
        return Value(double(e->size()));
    });
    method(proto, "pop", [elems](VM&, Value self, std::span<const Value>) {
        auto* e = elems(self);
        if (!e || e->empty())
            return Value();
        Value v = e->back();
        e->pop_back();
        return v;
    });
    method(proto, "shift", [elems](VM&, Value self, std::span<const Value>) {
        auto* e = elems(self);
        if (!e || e->empty())
            return Value();
        Value v = e->front();
        e->erase(e->begin());
        return v;
    });
    method(proto, "unshift", [elems](VM& vm, Value self, std::span<const Value> a) {
        auto* e = elems(self);
        if (!e)
            return Value();
        if (e->size() + a.size() <= vm.limits().maxArrayLength)
            e->insert(e->begin(), a.begin(), a.end());
        return Value(double(e->size()));
    });
    method(proto, "join", [elems, join](VM& vm, Value self, std::span<const Value> a) {
        auto* e = elems(self);
        if (!e)
            return Value();
        const QString sep =
            a.empty() || a[0].isUndefined() ? QStringLiteral(",") : vm.toString(a[0]);
        return Value(join(vm, *e, sep));
    });
    method(proto, "toString", [elems, join](VM& vm, Value self, std::span<const Value>) {
        auto* e = elems(self);
        if (!e)
            return Value("[object Object]");
        return Value(join(vm, *e, QStringLiteral(",")));
    });
    method(proto, "reverse", [elems](VM&, Value self, std::span<const Value>) {
        if (auto* e = elems(self))
            std::reverse(e->begin(), e->end());
        return self;
    });
    method(proto, "concat", [elems](VM& vm, Value self, std::span<const Value> a) {
        std::vector<Value> out;
        if (auto* e = elems(self))
            out = *e;
        for (const Value& v : a) {
            if (auto* e = elems(v))
                out.insert(out.end(), e->begin(), e->end());
            else
                out.push_back(v);
            if (out.size() > vm.limits().maxArrayLength)
                throw ScriptAbort{
                    QStringLiteral("A script built too large an array; it was stopped")};
        }
        return Value(vm.newArray(std::move(out)));
    });
    auto relIndex = [](VM& vm, const Value& v, std::size_t size, double dflt) {
        double d = v.isUndefined() ? dflt : vm.toNumber(v);
        if (std::isnan(d))
            d = 0;
        d = std::trunc(d);
        if (d < 0)
            d = std::max(0.0, double(size) + d);
        return std::size_t(std::min(d, double(size)));
    };
    method(proto, "slice", [elems, relIndex](VM& vm, Value self, std::span<const Value> a) {
        auto* e = elems(self);
        if (!e)
            return Value();
        const std::size_t from = relIndex(vm, arg(a, 0), e->size(), 0);
        const std::size_t to = relIndex(vm, arg(a, 1), e->size(), double(e->size()));
        std::vector<Value> out;
        if (from < to)
            out.assign(e->begin() + std::ptrdiff_t(from), e->begin() + std::ptrdiff_t(to));
        return Value(vm.newArray(std::move(out)));
    });
    method(proto, "splice", [elems, relIndex](VM& vm, Value self, std::span<const Value> a) {
        auto* e = elems(self);
        if (!e || a.empty())
            return Value();
        const std::size_t from = relIndex(vm, a[0], e->size(), 0);
        std::size_t count = e->size() - from;
        if (a.size() > 1)
            count = std::min(count, clampCount(vm.toNumber(a[1]), e->size()));
        std::vector<Value> removed(e->begin() + std::ptrdiff_t(from),
                                   e->begin() + std::ptrdiff_t(from + count));
        e->erase(e->begin() + std::ptrdiff_t(from), e->begin() + std::ptrdiff_t(from + count));
        if (a.size() > 2 && e->size() + a.size() < vm.limits().maxArrayLength)
            e->insert(e->begin() + std::ptrdiff_t(from), a.begin() + 2, a.end());
        return Value(vm.newArray(std::move(removed)));
    });
    auto sorter = [elems](VM& vm, Value self, std::span<const Value> a, bool byField) {
        auto* e = elems(self);
        if (!e)
            return Value();
        QString field;
        std::size_t ai = 0;
        if (byField)
            field = vm.toString(arg(a, ai++));
        Value cmp;
        int opts = 0;
        if (arg(a, ai).isObject() && arg(a, ai).object->kind == Object::Kind::Function)
            cmp = a[ai++];
        if (ai < a.size())
            opts = vm.toInt(a[ai]);
        const bool desc = opts & 2, numeric = opts & 16, caseless = opts & 1;
        std::vector<std::pair<Value, std::size_t>> items;
        for (std::size_t i = 0; i < e->size(); ++i)
            items.push_back({(*e)[i], i});
        auto keyOf = [&](const Value& v) { return byField ? vm.getMember(v, field) : v; };
        auto less = [&](const std::pair<Value, std::size_t>& x,
                        const std::pair<Value, std::size_t>& y) {
            const Value kx = keyOf(x.first), ky = keyOf(y.first);
            int c;
            if (cmp.isObject()) {
                const Value args[] = {kx, ky};
                const double r = vm.toNumber(vm.call(cmp, Value(), args));
                c = r < 0 ? -1 : (r > 0 ? 1 : 0);
            } else if (numeric) {
                const double nx = vm.toNumber(kx), ny = vm.toNumber(ky);
                c = nx < ny ? -1 : (nx > ny ? 1 : 0);
            } else {
                c = vm.toString(kx).compare(vm.toString(ky),
                                            caseless ? Qt::CaseInsensitive : Qt::CaseSensitive);
            }
            return desc ? c > 0 : c < 0;
        };
        // A comparator that is not a strict weak order must not break the sort.
        for (std::size_t i = 1; i < items.size(); ++i) {
            auto cur = items[i];
            std::size_t j = i;
            if (items.size() > 64) {
                break;
            }
            while (j > 0 && less(cur, items[j - 1])) {
                items[j] = items[j - 1];
                --j;
            }
            items[j] = cur;
        }
        if (items.size() > 64)
            std::stable_sort(items.begin(), items.end(), [&](const auto& x, const auto& y) {
                vm.checkBudget();
                return less(x, y);
            });
        if (opts & 8) {
            std::vector<Value> idx;
            for (const auto& it : items)
                idx.push_back(Value(double(it.second)));
            return Value(vm.newArray(std::move(idx)));
        }
        for (std::size_t i = 0; i < items.size(); ++i)
            (*e)[i] = items[i].first;
        return self;
    };
    method(proto, "sort", [sorter](VM& vm, Value self, std::span<const Value> a) {
        return sorter(vm, self, a, false);
    });
    method(proto, "sortOn", [sorter](VM& vm, Value self, std::span<const Value> a) {
        return sorter(vm, self, a, true);
    });
}

void Builtins::installString() {
    Object* proto = vm.m_stringProto;
    auto box = [](VM& vm, Value, std::span<const Value> a) {
        Object* o = vm.newObject();
        o->kind = Object::Kind::String;
        o->proto = vm.stringProto();
        o->primitive = Value(a.empty() ? QString() : vm.toString(a[0]));
        vm.define(o, QStringLiteral("length"), Value(double(o->primitive.string.size())));
        return Value(o);
    };
    Object* stringCtor = ctor(
        QStringLiteral("String"), proto,
        [](VM& vm, Value, std::span<const Value> a) {
            return Value(a.empty() ? QString() : vm.toString(a[0]));
        },
        box);
    vm.defineMethod(stringCtor, QStringLiteral("fromCharCode"),
                    [](VM& vm, Value, std::span<const Value> a) {
                        QString s;
                        for (const Value& v : a)
                            s += QChar(char16_t(vm.toInt(v) & 0xFFFF));
                        return Value(s);
                    });
    // The methods outlive this installer; they keep the VM, not `this`.
    auto self = [vmp = &vm](const Value& v) {
        if (Object* o = v.asObject(); o && o->kind == Object::Kind::String)
            return vmp->toString(o->primitive);
        return vmp->toString(v);
    };
    method(proto, "toString",
           [self](VM&, Value t, std::span<const Value>) { return Value(self(t)); });
    method(proto, "valueOf",
           [self](VM&, Value t, std::span<const Value>) { return Value(self(t)); });
    method(proto, "charAt", [self](VM& vm, Value t, std::span<const Value> a) {
        const QString s = self(t);
        const double i = vm.toNumber(arg(a, 0));
        if (!(i >= 0) || i >= s.size())
            return Value(QString());
        return Value(QString(s[qsizetype(i)]));
    });
    method(proto, "charCodeAt", [self](VM& vm, Value t, std::span<const Value> a) {
        const QString s = self(t);
        const double i = vm.toNumber(arg(a, 0));
        if (!(i >= 0) || i >= s.size())
            return Value(std::nan(""));
        return Value(double(s[qsizetype(i)].unicode()));
    });
    method(proto, "indexOf", [self](VM& vm, Value t, std::span<const Value> a) {
        const QString s = self(t);
        const double from = a.size() > 1 ? vm.toNumber(a[1]) : 0;
        return Value(double(
            s.indexOf(vm.toString(arg(a, 0)),
                      qsizetype(std::clamp(std::isnan(from) ? 0 : from, 0.0, double(s.size()))))));
    });
    method(proto, "lastIndexOf", [self](VM& vm, Value t, std::span<const Value> a) {
        const QString s = self(t);
        const double from = a.size() > 1 ? vm.toNumber(a[1]) : double(s.size());
        return Value(double(s.lastIndexOf(
            vm.toString(arg(a, 0)), qsizetype(std::clamp(std::isnan(from) ? double(s.size()) : from,
                                                         0.0, double(s.size()))))));
    });
    method(proto, "substr", [self](VM& vm, Value t, std::span<const Value> a) {
        const QString s = self(t);
        double from = vm.toNumber(arg(a, 0));
        if (std::isnan(from))
            from = 0;
        if (from < 0)
            from = std::max(0.0, s.size() + from);
        double len = a.size() > 1 && !a[1].isUndefined() ? vm.toNumber(a[1]) : double(s.size());
        if (std::isnan(len) || len < 0)
            len = 0;
        from = std::min(from, double(s.size()));
        return Value(s.mid(qsizetype(from), qsizetype(std::min(len, double(s.size())))));
    });
    method(proto, "substring", [self](VM& vm, Value t, std::span<const Value> a) {
        const QString s = self(t);
        auto clampIdx = [&](const Value& v, double d) {
            double x = v.isUndefined() ? d : vm.toNumber(v);
            if (std::isnan(x))
                x = 0;
            return qsizetype(std::clamp(x, 0.0, double(s.size())));
        };
        qsizetype from = clampIdx(arg(a, 0), 0), to = clampIdx(arg(a, 1), double(s.size()));
        if (from > to)
            std::swap(from, to);
        return Value(s.mid(from, to - from));
    });
    method(proto, "slice", [self](VM& vm, Value t, std::span<const Value> a) {
        const QString s = self(t);
        auto idx = [&](const Value& v, double d) {
            double x = v.isUndefined() ? d : vm.toNumber(v);
            if (std::isnan(x))
                x = 0;
            if (x < 0)
                x += s.size();
            return qsizetype(std::clamp(x, 0.0, double(s.size())));
        };
        const qsizetype from = idx(arg(a, 0), 0), to = idx(arg(a, 1), double(s.size()));
        return Value(from < to ? s.mid(from, to - from) : QString());
    });
    method(proto, "split", [self](VM& vm, Value t, std::span<const Value> a) {
        const QString s = self(t);
        std::vector<Value> out;
        if (arg(a, 0).isUndefined()) {
            out.push_back(Value(s));
        } else {
            const QString sep = vm.toString(a[0]);
            const std::size_t limit =
                a.size() > 1 && !a[1].isUndefined()
                    ? clampCount(vm.toNumber(a[1]), vm.limits().maxArrayLength)
                    : vm.limits().maxArrayLength;
            if (sep.isEmpty()) {
                for (QChar c : s) {
                    if (out.size() >= limit)
                        break;
                    out.push_back(Value(QString(c)));
                }
            } else {
                for (const QString& part : s.split(sep)) {
                    if (out.size() >= limit)
                        break;
                    out.push_back(Value(part));
                }
            }
        }
        return Value(vm.newArray(std::move(out)));
    });
    method(proto, "toUpperCase",
           [self](VM&, Value t, std::span<const Value>) { return Value(self(t).toUpper()); });
    method(proto, "toLowerCase",
           [self](VM&, Value t, std::span<const Value>) { return Value(self(t).toLower()); });
    method(proto, "concat", [self](VM& vm, Value t, std::span<const Value> a) {
        QString s = self(t);
        for (const Value& v : a) {
            s += vm.toString(v);
            vm.checkedLength(s.size());
        }
        return Value(s);
    });
}

void Builtins::installNumberBoolean() {
    Object* nproto = vm.m_numberProto;
    Object* numberCtor = ctor(
        QStringLiteral("Number"), nproto,
        [](VM& vm, Value, std::span<const Value> a) {
            return Value(a.empty() ? 0.0 : vm.toNumber(a[0]));
        },
        [](VM& vm, Value, std::span<const Value> a) {
            Object* o = vm.newObject();
            o->kind = Object::Kind::Number;
            o->proto = vm.numberProto();
            o->primitive = Value(a.empty() ? 0.0 : vm.toNumber(a[0]));
            return Value(o);
        });
    vm.define(numberCtor, QStringLiteral("MAX_VALUE"), Value(1.7976931348623157e308));
    vm.define(numberCtor, QStringLiteral("MIN_VALUE"), Value(4.9406564584124654e-324));
    vm.define(numberCtor, QStringLiteral("NaN"), Value(std::nan("")));
    vm.define(numberCtor, QStringLiteral("POSITIVE_INFINITY"), Value(HUGE_VAL));
    vm.define(numberCtor, QStringLiteral("NEGATIVE_INFINITY"), Value(-HUGE_VAL));
    auto numOf = [](VM& vm, const Value& self) {
        if (Object* o = self.asObject(); o && o->kind == Object::Kind::Number)
            return o->primitive.number;
        return self.isNumber() ? self.number : vm.toNumber(self);
    };
    method(nproto, "valueOf",
           [numOf](VM& vm, Value self, std::span<const Value>) { return Value(numOf(vm, self)); });
    method(nproto, "toString", [numOf](VM& vm, Value self, std::span<const Value> a) {
        const double d = numOf(vm, self);
        const int radix = a.empty() || a[0].isUndefined() ? 10 : vm.toInt(a[0]);
        if (radix == 10 || radix < 2 || radix > 36 || !std::isfinite(d))
            return Value(numberToString(d));
        const std::int32_t i = toInt32(d);
        return Value(i < 0 ? u'-' + QString::number(-qint64(i), radix) : QString::number(i, radix));
    });
    Object* bproto = vm.m_booleanProto;
    ctor(
        QStringLiteral("Boolean"), bproto,
        [](VM& vm, Value, std::span<const Value> a) {
            return Value(!a.empty() && vm.toBoolean(a[0]));
        },
        [](VM& vm, Value, std::span<const Value> a) {
            Object* o = vm.newObject();
            o->kind = Object::Kind::Boolean;
            o->proto = vm.booleanProto();
            o->primitive = Value(!a.empty() && vm.toBoolean(a[0]));
            return Value(o);
        });
    auto boolOf = [](VM& vm, const Value& self) {
        if (Object* o = self.asObject(); o && o->kind == Object::Kind::Boolean)
            return o->primitive.boolean;
        return vm.toBoolean(self);
    };
    method(bproto, "valueOf", [boolOf](VM& vm, Value self, std::span<const Value>) {
        return Value(boolOf(vm, self));
    });
    method(bproto, "toString", [boolOf](VM& vm, Value self, std::span<const Value>) {
        return Value(boolOf(vm, self) ? "true" : "false");
    });
}

void Builtins::installMath() {
    Object* m = vm.newObject();
    vm.define(vm.global(), QStringLiteral("Math"), Value(m));
    vm.define(m, QStringLiteral("PI"), Value(M_PI));
    vm.define(m, QStringLiteral("E"), Value(M_E));
    vm.define(m, QStringLiteral("LN2"), Value(M_LN2));
    vm.define(m, QStringLiteral("LN10"), Value(M_LN10));
    vm.define(m, QStringLiteral("LOG2E"), Value(M_LOG2E));
    vm.define(m, QStringLiteral("LOG10E"), Value(M_LOG10E));
    vm.define(m, QStringLiteral("SQRT2"), Value(M_SQRT2));
    vm.define(m, QStringLiteral("SQRT1_2"), Value(M_SQRT1_2));
    auto one = [this, m](const char* name, double (*fn)(double)) {
        method(m, name, [fn](VM& vm, Value, std::span<const Value> a) {
            return Value(fn(vm.toNumber(arg(a, 0))));
        });
    };
    one("abs", [](double x) { return std::fabs(x); });
    one("acos", [](double x) { return std::acos(x); });
    one("asin", [](double x) { return std::asin(x); });
    one("atan", [](double x) { return std::atan(x); });
    one("ceil", [](double x) { return std::ceil(x); });
    one("cos", [](double x) { return std::cos(x); });
    one("exp", [](double x) { return std::exp(x); });
    one("floor", [](double x) { return std::floor(x); });
    one("log", [](double x) { return std::log(x); });
    one("round", [](double x) { return std::floor(x + 0.5); });
    one("sin", [](double x) { return std::sin(x); });
    one("sqrt", [](double x) { return std::sqrt(x); });
    one("tan", [](double x) { return std::tan(x); });
    method(m, "atan2", [](VM& vm, Value, std::span<const Value> a) {
        return Value(std::atan2(vm.toNumber(arg(a, 0)), vm.toNumber(arg(a, 1))));
    });
    method(m, "pow", [](VM& vm, Value, std::span<const Value> a) {
        return Value(std::pow(vm.toNumber(arg(a, 0)), vm.toNumber(arg(a, 1))));
    });
    method(m, "min", [](VM& vm, Value, std::span<const Value> a) {
        double r = HUGE_VAL;
        for (const Value& v : a) {
            const double d = vm.toNumber(v);
            if (std::isnan(d))
                return Value(d);
            r = std::min(r, d);
        }
        return Value(r);
    });
    method(m, "max", [](VM& vm, Value, std::span<const Value> a) {
        double r = -HUGE_VAL;
        for (const Value& v : a) {
            const double d = vm.toNumber(v);
            if (std::isnan(d))
                return Value(d);
            r = std::max(r, d);
        }
        return Value(r);
    });
    method(m, "random", [](VM&, Value, std::span<const Value>) {
        return Value(QRandomGenerator::global()->generateDouble());
    });
}

void Builtins::installDate() {
    Object* proto = vm.m_dateProto;
    auto make = [](VM& vm, Value, std::span<const Value> a) {
        Object* o = vm.newObject();
        o->kind = Object::Kind::Date;
        o->proto = vm.global()->find(vm.key(QStringLiteral("Date")))
                       ? vm.getMember(vm.getMember(Value(vm.global()), QStringLiteral("Date")),
                                      QStringLiteral("prototype"))
                             .asObject()
                       : nullptr;
        double ms;
        if (a.empty()) {
            ms = double(QDateTime::currentMSecsSinceEpoch());
        } else if (a.size() == 1) {
            ms = vm.toNumber(a[0]);
        } else {
            auto part = [&](std::size_t i, double d) {
                return i < a.size() ? vm.toNumber(a[i]) : d;
            };
            const double y = part(0, 1970), mo = part(1, 0), d = part(2, 1), h = part(3, 0),
                         mi = part(4, 0), s = part(5, 0), msec = part(6, 0);
            if (!std::isfinite(y + mo + d + h + mi + s + msec)) {
                ms = std::nan("");
            } else {
                const int year =
                    int(std::clamp(y < 100 && y >= 0 ? y + 1900 : y, -100000.0, 100000.0));
                const QDate base(year, 1, 1);
                const QDateTime dt(base.addMonths(qint64(std::clamp(mo, -1e6, 1e6)))
                                       .addDays(qint64(std::clamp(d, -1e8, 1e8)) - 1),
                                   QTime(0, 0));
                ms = double(dt.toMSecsSinceEpoch()) + ((h * 60 + mi) * 60 + s) * 1000 + msec;
            }
        }
        o->primitive = Value(ms);
        return Value(o);
    };
    ctor(
        QStringLiteral("Date"), proto,
        [make](VM& vm, Value self, std::span<const Value>) {
            return Value(vm.toString(make(vm, self, {})));
        },
        make);
    auto msOf = [](const Value& self) {
        Object* o = self.asObject();
        return o && o->kind == Object::Kind::Date ? o->primitive.number : std::nan("");
    };
    auto field = [this, proto, msOf](const char* name, bool utc, int which) {
        method(proto, name, [msOf, utc, which](VM&, Value self, std::span<const Value>) {
            const double ms = msOf(self);
            if (!std::isfinite(ms))
                return Value(std::nan(""));
            QDateTime dt =
                QDateTime::fromMSecsSinceEpoch(qint64(std::clamp(ms, -8.64e15, 8.64e15)));
            if (utc)
                dt = dt.toUTC();
            switch (which) {
            case 0:
                return Value(double(dt.date().year()));
            case 1:
                return Value(double(dt.date().month() - 1));
            case 2:
                return Value(double(dt.date().day()));
            case 3:
                return Value(double(dt.date().dayOfWeek() % 7));
            case 4:
                return Value(double(dt.time().hour()));
            case 5:
                return Value(double(dt.time().minute()));
            case 6:
                return Value(double(dt.time().second()));
            default:
                return Value(double(dt.time().msec()));
            }
        });
    };
    const char* names[] = {"FullYear", "Month",   "Date",    "Day",
                           "Hours",    "Minutes", "Seconds", "Milliseconds"};
    for (int i = 0; i < 8; ++i) {
        field(qPrintable(QStringLiteral("get") + QLatin1String(names[i])), false, i);
        field(qPrintable(QStringLiteral("getUTC") + QLatin1String(names[i])), true, i);
    }
    method(proto, "getYear", [msOf](VM&, Value self, std::span<const Value>) {
        const double ms = msOf(self);
        if (!std::isfinite(ms))
            return Value(ms);
        return Value(
            double(QDateTime::fromMSecsSinceEpoch(qint64(std::clamp(ms, -8.64e15, 8.64e15)))
                       .date()
                       .year() -
                   1900));
    });
    method(proto, "getTime",
           [msOf](VM&, Value self, std::span<const Value>) { return Value(msOf(self)); });
    method(proto, "valueOf",
           [msOf](VM&, Value self, std::span<const Value>) { return Value(msOf(self)); });
    method(proto, "setTime", [](VM& vm, Value self, std::span<const Value> a) {
        Object* o = self.asObject();
        if (!o || o->kind != Object::Kind::Date)
            return Value();
        o->primitive = Value(vm.toNumber(arg(a, 0)));
        return o->primitive;
    });
    method(proto, "getTimezoneOffset", [msOf](VM&, Value self, std::span<const Value>) {
        const double ms = msOf(self);
        if (!std::isfinite(ms))
            return Value(ms);
        const QDateTime dt =
            QDateTime::fromMSecsSinceEpoch(qint64(std::clamp(ms, -8.64e15, 8.64e15)));
        return Value(-double(dt.offsetFromUtc()) / 60);
    });
    method(proto, "toString", [msOf](VM&, Value self, std::span<const Value>) {
        const double ms = msOf(self);
        if (!std::isfinite(ms))
            return Value("Invalid Date");
        const QDateTime dt =
            QDateTime::fromMSecsSinceEpoch(qint64(std::clamp(ms, -8.64e15, 8.64e15)));
        const int off = dt.offsetFromUtc() / 60;
        const QString tz = QStringLiteral("GMT%1%2%3")
                               .arg(QChar(off < 0 ? u'-' : u'+'))
                               .arg(std::abs(off) / 60, 2, 10, QChar(u'0'))
                               .arg(std::abs(off) % 60, 2, 10, QChar(u'0'));
        return Value(QLocale::c().toString(dt, QStringLiteral("ddd MMM d HH:mm:ss ")) + tz +
                     QLatin1Char(' ') + QString::number(dt.date().year()));
    });
}

void Builtins::installGlobals() {
    Object* g = vm.global();
    vm.define(g, QStringLiteral("NaN"), Value(std::nan("")));
    vm.define(g, QStringLiteral("Infinity"), Value(HUGE_VAL));
    method(g, "isNaN", [](VM& vm, Value, std::span<const Value> a) {
        return Value(std::isnan(vm.toNumber(arg(a, 0))));
    });
    method(g, "isFinite", [](VM& vm, Value, std::span<const Value> a) {
        return Value(std::isfinite(vm.toNumber(arg(a, 0))));
    });
    method(g, "parseFloat", [](VM& vm, Value, std::span<const Value> a) {
        const QString s = vm.toString(arg(a, 0)).trimmed();
        qsizetype end = 0;
        bool digits = false, dot = false, exp = false;
        if (end < s.size() && (s[end] == u'-' || s[end] == u'+'))
            ++end;
        while (end < s.size()) {
            const QChar c = s[end];
            if (c.isDigit()) {
                digits = true;
            } else if (c == u'.' && !dot && !exp) {
                dot = true;
            } else if ((c == u'e' || c == u'E') && digits && !exp && end + 1 < s.size() &&
                       (s[end + 1].isDigit() || ((s[end + 1] == u'-' || s[end + 1] == u'+') &&
                                                 end + 2 < s.size() && s[end + 2].isDigit()))) {
                exp = true;
                ++end;
            } else {
                break;
            }
            ++end;
        }
        if (!digits)
            return Value(std::nan(""));
        return Value(s.left(end).toDouble());
    });
    method(g, "parseInt", [](VM& vm, Value, std::span<const Value> a) {
        QString s = vm.toString(arg(a, 0)).trimmed();
        int radix = a.size() > 1 ? vm.toInt(a[1]) : 0;
        bool neg = false;
        if (!s.isEmpty() && (s[0] == u'-' || s[0] == u'+')) {
            neg = s[0] == u'-';
            s = s.mid(1);
        }
        if ((radix == 0 || radix == 16) && s.size() > 1 && s[0] == u'0' &&
            (s[1] == u'x' || s[1] == u'X')) {
            s = s.mid(2);
            radix = 16;
        } else if (radix == 0 && s.size() > 1 && s[0] == u'0') {
            radix = 8;
        }
        if (radix == 0)
            radix = 10;
        if (radix < 2 || radix > 36)
            return Value(std::nan(""));
        double r = 0;
        bool any = false;
        for (QChar c : s) {
            int d = c.isDigit()    ? c.unicode() - u'0'
                    : c.isLetter() ? c.toLower().unicode() - u'a' + 10
                                   : 99;
            if (d >= radix)
                break;
            r = r * radix + d;
            any = true;
        }
        if (!any)
            return Value(std::nan(""));
        return Value(neg ? -r : r);
    });
    method(g, "escape", [](VM& vm, Value, std::span<const Value> a) {
        const QByteArray bytes = vm.toString(arg(a, 0)).toUtf8();
        QString out;
        for (char ch : bytes) {
            const auto c = static_cast<unsigned char>(ch);
            if (std::isalnum(c))
                out += QChar(c);
            else
                out += QStringLiteral("%%1").arg(int(c), 2, 16, QChar(u'0')).toUpper();
        }
        return Value(out);
    });
    method(g, "unescape", [](VM& vm, Value, std::span<const Value> a) {
        const QString s = vm.toString(arg(a, 0));
        return Value(QString::fromUtf8(QByteArray::fromPercentEncoding(s.toUtf8())));
    });
    method(g, "getTimer",
           [](VM& vm, Value, std::span<const Value>) { return Value(double(vm.elapsedMs())); });
    method(g, "trace", [](VM& vm, Value, std::span<const Value> a) {
        if (vm.hooks.trace)
            vm.hooks.trace(arg(a, 0).isUndefined() ? QStringLiteral("undefined")
                                                   : vm.toString(a[0]));
        return Value();
    });
    method(g, "ASSetPropFlags", [](VM& vm, Value, std::span<const Value> a) {
        Object* o = arg(a, 0).asObject();
        if (!o)
            return Value();
        const std::int32_t set = vm.toInt(arg(a, 2));
        const std::int32_t clear = vm.toInt(arg(a, 3));
        QStringList names;
        const bool all = arg(a, 1).isNull();
        if (Object* list = arg(a, 1).asObject(); list && list->kind == Object::Kind::Array) {
            for (const Value& v : list->elements)
                names << vm.key(vm.toString(v));
        } else if (!all) {
            for (const QString& n : vm.toString(arg(a, 1)).split(u','))
                names << vm.key(n);
        }
        for (const auto& s : o->properties()) {
            if (all || names.contains(s.key)) {
                auto* slot = o->find(s.key);
                slot->flags = std::uint8_t((slot->flags & ~clear) | set) & 7;
            }
        }
        return Value();
    });
    auto addInterval = [](VM& vm, std::span<const Value> a, bool once) {
        VM::Interval iv;
        std::size_t i = 0;
        if (Object* o = arg(a, 0).asObject(); o && o->kind != Object::Kind::Function) {
            iv.self = a[0];
            iv.method = vm.toString(arg(a, 1));
            i = 2;
        } else {
            iv.fn = arg(a, 0);
            i = 1;
        }
        const double period = vm.toNumber(arg(a, i));
        iv.periodMs = std::isfinite(period) ? std::int64_t(std::clamp(period, 1.0, 1e12)) : 1;
        for (std::size_t k = i + 1; k < a.size() && k < i + 64; ++k)
            iv.args.push_back(a[k]);
        iv.nextMs = vm.elapsedMs() + iv.periodMs;
        iv.once = once;
        if (vm.intervals().size() >= 10000)
            return Value();
        iv.id = vm.nextIntervalId++;
        vm.intervals().push_back(std::move(iv));
        return Value(double(vm.intervals().back().id));
    };
    method(g, "setInterval", [addInterval](VM& vm, Value, std::span<const Value> a) {
        return addInterval(vm, a, false);
    });
    method(g, "setTimeout", [addInterval](VM& vm, Value, std::span<const Value> a) {
        return addInterval(vm, a, true);
    });
    auto clear = [](VM& vm, Value, std::span<const Value> a) {
        const int id = vm.toInt(arg(a, 0));
        std::erase_if(vm.intervals(), [id](const VM::Interval& i) { return i.id == id; });
        return Value();
    };
    method(g, "clearInterval", clear);
    method(g, "clearTimeout", clear);
    method(g, "fscommand", [](VM& vm, Value, std::span<const Value> a) {
        const QString cmd = vm.toString(arg(a, 0));
        if (cmd.compare(QLatin1String("quit"), Qt::CaseInsensitive) == 0)
            vm.quitRequested = true;
        if (vm.hooks.fscommand)
            vm.hooks.fscommand(cmd, vm.toString(arg(a, 1)));
        return Value();
    });

    // Error
    Object* errProto = vm.m_errorProto;
    Object* errorCtor =
        ctor(QStringLiteral("Error"), errProto, [](VM& vm, Value self, std::span<const Value> a) {
            if (Object* o = self.asObject(); o && !a.empty() && !a[0].isUndefined())
                vm.setMember(self, QStringLiteral("message"), a[0]);
            return Value();
        });
    (void)errorCtor;
    vm.define(errProto, QStringLiteral("message"), Value("Error"));
    vm.define(errProto, QStringLiteral("name"), Value("Error"));
    method(errProto, "toString", [](VM& vm, Value self, std::span<const Value>) {
        return Value(vm.toString(vm.getMember(self, QStringLiteral("message"))));
    });

    // Requests for files and the network are refused; the objects exist so scripts run on.
    auto refuse = [](const char* what) {
        return [what](VM& vm, Value, std::span<const Value> a) {
            const QString text = QStringLiteral("Refused: %1 of %2 (movies may not read files or "
                                                "the network)")
                                     .arg(QLatin1String(what), vm.toString(arg(a, 0)));
            if (vm.hooks.notice)
                vm.hooks.notice(text);
            else
                std::fprintf(stderr, "%s\n", qPrintable(text));
            return Value(false);
        };
    };
    // XML, LoadVars and the loads of files beside the movie are in loading.cpp.
    for (const char* cls : {"XMLSocket", "NetConnection"}) {
        Object* p = vm.newObject();
        ctor(QString::fromLatin1(cls), p,
             [](VM&, Value, std::span<const Value>) { return Value(); });
        method(p, "load", refuse("a load"));
        method(p, "sendAndLoad", refuse("a request"));
        method(p, "send", refuse("a request"));
        method(p, "connect", refuse("a connection"));
    }

    Object* system = vm.newObject();
    vm.define(g, QStringLiteral("System"), Value(system));
    Object* caps = vm.newObject();
    vm.define(system, QStringLiteral("capabilities"), Value(caps));
    vm.define(caps, QStringLiteral("version"), Value("LNX 8,0,0,0"));
    vm.define(caps, QStringLiteral("os"), Value("Linux"));
    Object* security = vm.newObject();
    vm.define(system, QStringLiteral("security"), Value(security));
    method(security, "allowDomain", [](VM&, Value, std::span<const Value>) { return Value(); });
    vm.define(system, QStringLiteral("useCodepage"), Value(false), 0);
    method(g, "getVersion",
           [](VM&, Value, std::span<const Value>) { return Value("LNX 8,0,0,0"); });
}

void Builtins::installInput() {
    Object* g = vm.global();
    Object* key = vm.newObject();
    vm.define(g, QStringLiteral("Key"), Value(key));
    const std::pair<const char*, int> codes[] = {
        {"BACKSPACE", 8}, {"CAPSLOCK", 20}, {"CONTROL", 17}, {"DELETEKEY", 46}, {"DOWN", 40},
        {"END", 35},      {"ENTER", 13},    {"ESCAPE", 27},  {"HOME", 36},      {"INSERT", 45},
        {"LEFT", 37},     {"PGDN", 34},     {"PGUP", 33},    {"RIGHT", 39},     {"SHIFT", 16},
        {"SPACE", 32},    {"TAB", 9},       {"UP", 38}};
    for (const auto& [n, c] : codes)
        vm.define(key, QString::fromLatin1(n), Value(c));
    method(key, "isDown", [](VM& vm, Value, std::span<const Value> a) {
        return Value(vm.keysDown.value(vm.toInt(arg(a, 0)), false));
    });
    method(key, "getCode", [](VM& vm, Value, std::span<const Value>) { return Value(vm.lastKey); });
    method(key, "getAscii",
           [](VM& vm, Value, std::span<const Value>) { return Value(vm.lastAscii); });
    method(key, "isToggled", [](VM&, Value, std::span<const Value>) { return Value(false); });
    auto listeners = listenerMethod;
    method(key, "addListener", listeners(vm.keyListeners, true));
    method(key, "removeListener", listeners(vm.keyListeners, false));
    Object* mouse = vm.newObject();
    vm.define(g, QStringLiteral("Mouse"), Value(mouse));
    method(mouse, "addListener", listeners(vm.mouseListeners, true));
    method(mouse, "removeListener", listeners(vm.mouseListeners, false));
    method(mouse, "show", [](VM&, Value, std::span<const Value>) { return Value(1); });
    method(mouse, "hide", [](VM&, Value, std::span<const Value>) { return Value(0); });

    Object* stage = vm.newObject();
    vm.define(g, QStringLiteral("Stage"), Value(stage));
    auto getter = [this, stage](const char* name, NativeFn fn) {
        Object::Slot& s = stage->put(QString::fromLatin1(name), vm.key(QString::fromLatin1(name)),
                                     Value(), DontEnum);
        s.getter = vm.newFunction(std::move(fn));
    };
    // In noScale mode the stage is the host's view; otherwise the movie's own size.
    auto stageSize = [](VM& vm, bool width) {
        if (vm.scaleMode.compare(QLatin1String("noScale"), Qt::CaseInsensitive) == 0 && vm.viewSize)
            return Value(std::round(width ? vm.viewSize->width() : vm.viewSize->height()));
        const Rect r = vm.player() ? vm.player()->movie().header().frameSize : Rect{};
        return Value((width ? r.width() : r.height()) / 20.0);
    };
    getter("width",
           [stageSize](VM& vm, Value, std::span<const Value>) { return stageSize(vm, true); });
    getter("height",
           [stageSize](VM& vm, Value, std::span<const Value>) { return stageSize(vm, false); });
    auto setter = [this, stage](const char* name, NativeFn fn) {
        if (Object::Slot* s = stage->find(vm.key(QString::fromLatin1(name))))
            s->setter = vm.newFunction(std::move(fn));
    };
    getter("scaleMode", [](VM& vm, Value, std::span<const Value>) { return Value(vm.scaleMode); });
    setter("scaleMode", [](VM& vm, Value, std::span<const Value> a) {
        const QString mode = vm.toString(arg(a, 0));
        for (const char* known : {"showAll", "noBorder", "exactFit", "noScale"}) {
            if (mode.compare(QLatin1String(known), Qt::CaseInsensitive) == 0) {
                vm.scaleMode = QString::fromLatin1(known);
                if (vm.hooks.scaleModeChanged)
                    vm.hooks.scaleModeChanged(vm.scaleMode);
                break;
            }
        }
        return Value();
    });
    getter("align", [](VM& vm, Value, std::span<const Value>) { return Value(vm.stageAlign); });
    setter("align", [](VM& vm, Value, std::span<const Value> a) {
        // Any of T, B, L, R in any order, as the player reports it back.
        const QString in = vm.toString(arg(a, 0)).toUpper();
        QString out;
        for (QChar c : {u'L', u'T', u'R', u'B'}) {
            if (in.contains(c))
                out += c;
        }
        vm.stageAlign = out;
        return Value();
    });
    vm.define(stage, QStringLiteral("showMenu"), Value(true), 0);
    method(stage, "addListener", listeners(vm.stageListeners, true));
    method(stage, "removeListener", listeners(vm.stageListeners, false));
}

void VM::installBuiltins() {
    m_objectProto = m_heap.make();
    m_functionProto = m_heap.make();
    m_functionProto->proto = m_objectProto;
    m_global = m_heap.make();
    m_global->proto = m_objectProto;
    auto protoObj = [&] {
        Object* o = m_heap.make();
        o->proto = m_objectProto;
        return o;
    };
    m_arrayProto = protoObj();
    m_stringProto = protoObj();
    m_numberProto = protoObj();
    m_booleanProto = protoObj();
    m_dateProto = protoObj();
    m_errorProto = protoObj();
    m_clipProto = protoObj();
    Builtins b{*this};
    b.installObject();
    b.installFunction();
    b.installArray();
    b.installString();
    b.installNumberBoolean();
    b.installMath();
    b.installDate();
    b.installGlobals();
    b.installInput();
    define(m_global, QStringLiteral("_global"), Value(m_global));
}

} // namespace swf::avm1
