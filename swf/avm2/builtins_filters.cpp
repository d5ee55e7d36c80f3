// flash.filters: BitmapFilter and the filter classes the renderer draws. Their properties are
// plain public values set by the constructor with the documented defaults; the renderer reads
// them through swf/scriptfilters.h when a filter is used.

#include "swf/avm2/filters.h"
#include "swf/scriptfilters.h"

namespace swf::avm2 {

namespace {

const QString kPackage = QStringLiteral("flash.filters");

// The filter class a class is or derives from.
QString filterClassOf(Class* c) {
    for (; c; c = c->base)
        if (c->package == kPackage && c->name != QLatin1String("BitmapFilter")) {
            std::size_t n;
            if (scriptFilterParams(c->name, &n))
                return c->name;
        }
    return {};
}

Value filterCtor(VM&, const Value& s, std::span<const Value> a) {
    Object* o = s.object();
    if (!o)
        return Value();
    std::size_t n = 0;
    const ScriptFilterParam* params = scriptFilterParams(filterClassOf(o->cls), &n);
    for (std::size_t i = 0; i < n; ++i) {
        const ScriptFilterParam& p = params[i];
        Value v = i < a.size() && !a[i].isUndefined() ? a[i] : Value();
        if (v.isUndefined()) {
            switch (p.type) {
            case ScriptFilterParam::Type::Number:
                v = Value::number(p.number);
                break;
            case ScriptFilterParam::Type::Bool:
                v = Value(p.number != 0);
                break;
            case ScriptFilterParam::Type::String:
                v = Value(QString::fromLatin1(p.string));
                break;
            case ScriptFilterParam::Type::Array:
                v = Value::null();
                break;
            }
        }
        o->setDynamic(QString::fromLatin1(p.name), v);
    }
    return Value();
}

Value filterClone(VM& vm, const Value& s, std::span<const Value>) {
    Object* o = s.object();
    if (!o)
        return Value();
    Object* copy = vm.allocInstance(o->cls);
    for (const auto& d : o->dyn)
        if (d.live) {
            Value v = d.value;
            if (auto* arr = dynamic_cast<Array*>(v.object()))
                v = Value(static_cast<Object*>(vm.newArray(arr->items)));
            copy->setDynamic(d.name, v);
        }
    return Value(copy);
}

} // namespace

std::optional<Filter> toFilter(VM& vm, const Value& v) {
    Object* o = v.object();
    if (!o)
        return std::nullopt;
    const QString cls = filterClassOf(o->cls);
    if (cls.isEmpty())
        return std::nullopt;
    auto get = [&](const char* name) {
        return vm.getProperty(v, vm.publicName(QString::fromLatin1(name)));
    };
    ScriptFilterProps props;
    props.number = [&](const char* name, double fallback) {
        const Value x = get(name);
        return x.isUndefined() ? fallback : vm.toNumber(x);
    };
    props.boolean = [&](const char* name, bool fallback) {
        const Value x = get(name);
        return x.isUndefined() ? fallback : VM::toBoolean(x);
    };
    props.string = [&](const char* name, const QString& fallback) {
        const Value x = get(name);
        return x.isNullish() ? fallback : vm.toString(x);
    };
    props.numbers = [&](const char* name) -> std::optional<std::vector<double>> {
        auto* arr = dynamic_cast<Array*>(get(name).object());
        if (!arr)
            return std::nullopt;
        std::vector<double> out;
        for (std::size_t i = 0; i < arr->items.size() && i < 400; ++i)
            out.push_back(vm.toNumber(arr->items[i]));
        return out;
    };
    return filterFromScript(cls, props);
}

void installFilters(VM& vm) {
    Class* base = vm.defineNativeClass(kPackage, QStringLiteral("BitmapFilter"), vm.objectClass);
    vm.addMethod(base, QStringLiteral("clone"), filterClone);
    Binding* b = base->instanceTraits.find(QStringLiteral("clone"), vm.as3Ns());
    base->instanceTraits.add(QStringLiteral("clone"), vm.publicNs(), *b);
    for (const QString& name : scriptFilterClasses()) {
        Class* c = vm.defineNativeClass(kPackage, name, base);
        c->iinit.native = filterCtor;
    }
    Class* quality = vm.defineNativeClass(kPackage, QStringLiteral("BitmapFilterQuality"),
                                          vm.objectClass, nullptr, true);
    vm.addStaticValue(quality, QStringLiteral("LOW"), Value(std::int32_t(1)));
    vm.addStaticValue(quality, QStringLiteral("MEDIUM"), Value(std::int32_t(2)));
    vm.addStaticValue(quality, QStringLiteral("HIGH"), Value(std::int32_t(3)));
    Class* type = vm.defineNativeClass(kPackage, QStringLiteral("BitmapFilterType"), vm.objectClass,
                                       nullptr, true);
    vm.addStaticValue(type, QStringLiteral("INNER"), Value(QStringLiteral("inner")));
    vm.addStaticValue(type, QStringLiteral("OUTER"), Value(QStringLiteral("outer")));
    vm.addStaticValue(type, QStringLiteral("FULL"), Value(QStringLiteral("full")));
}

} // namespace swf::avm2
