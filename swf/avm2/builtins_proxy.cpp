// flash.utils.Proxy: a subclass answers for the names its traits do not declare through its
// overrides in the flash_proxy namespace (getProperty, setProperty, callProperty, hasProperty,
// deleteProperty, and nextNameIndex/nextName/nextValue for enumeration).

#include "swf/avm2/proxy.h"
#include "swf/avm2/qname.h"

namespace swf::avm2 {

namespace {

constexpr const char* kProxyUri = "http://www.adobe.com/2006/actionscript/flash/proxy";

class ProxyObject : public Object {
public:
    explicit ProxyObject(Class* c) : Object(c, ObjectKind::Plain) {}

    // Runs the subclass's override of flash_proxy::`method`; Proxy's own versions only throw.
    Value trap(VM& vm, const char* method, std::span<const Value> args) {
        Name n;
        n.local = QString::fromLatin1(method);
        n.nss = {vm.internNs(NsKind::Namespace, QString::fromLatin1(kProxyUri))};
        Binding* b = vm.findBindingIn(traits, n);
        if (!b || b->kind != Binding::Kind::Method)
            vm.throwError("IllegalOperationError", 2088,
                          QStringLiteral("The Proxy class does not implement %1. It must be "
                                         "overridden by a subclass.")
                              .arg(n.local));
        return vm.runMethod(b->method, Value(static_cast<Object*>(this)), args, b->scope,
                            b->declaringClass);
    }

    bool getOwn(VM& vm, const QString& name, Value& out) override {
        const Value a[] = {Value(name)};
        out = trap(vm, "getProperty", a);
        return true;
    }
    bool setOwn(VM& vm, const QString& name, const Value& v) override {
        const Value a[] = {Value(name), v};
        trap(vm, "setProperty", a);
        return true;
    }
};

ProxyObject* asProxy(Object* o) {
    return o && o->kind == ObjectKind::Plain ? dynamic_cast<ProxyObject*>(o) : nullptr;
}

Object* allocProxy(VM& vm, Class* c) {
    return vm.make<ProxyObject>(c);
}

bool isPublicName(const Name& n) {
    return n.hasPublic || n.anyNs;
}

// What a trap is handed for a name: its text if public, else a QName of its namespace.
Value trapName(VM& vm, const Name& n) {
    if (isPublicName(n))
        return Value(n.local);
    return Value(static_cast<Object*>(newQName(vm, vm.nsUri(n.nss[0]), n.local, false)));
}

} // namespace

bool proxyGetQualified(VM& vm, Object* o, const Name& name, Value& out) {
    ProxyObject* p = asProxy(o);
    if (!p || isPublicName(name) || name.nss.empty())
        return false;
    const Value a[] = {trapName(vm, name)};
    out = p->trap(vm, "getProperty", a);
    return true;
}

bool proxySetQualified(VM& vm, Object* o, const Name& name, const Value& v) {
    ProxyObject* p = asProxy(o);
    if (!p || isPublicName(name) || name.nss.empty())
        return false;
    const Value a[] = {trapName(vm, name), v};
    p->trap(vm, "setProperty", a);
    return true;
}

bool proxyCallProperty(VM& vm, Object* o, const Name& name, std::span<const Value> args,
                       Value& out) {
    ProxyObject* p = asProxy(o);
    if (!p || (!isPublicName(name) && name.nss.empty()))
        return false;
    std::vector<Value> all;
    all.reserve(args.size() + 1);
    all.push_back(trapName(vm, name));
    all.insert(all.end(), args.begin(), args.end());
    out = p->trap(vm, "callProperty", all);
    return true;
}

bool proxyHasOrDelete(VM& vm, Object* o, const Name& name, bool remove, bool& result) {
    ProxyObject* p = asProxy(o);
    if (!p || (!isPublicName(name) && name.nss.empty()))
        return false;
    const Value a[] = {trapName(vm, name)};
    result = VM::toBoolean(p->trap(vm, remove ? "deleteProperty" : "hasProperty", a));
    return true;
}

bool proxyDescendants(VM& vm, Object* o, const Name& name, Value& out) {
    ProxyObject* p = asProxy(o);
    if (!p)
        return false;
    const Value a[] = {Value(static_cast<Object*>(qnameOf(vm, name)))};
    out = p->trap(vm, "getDescendants", a);
    return true;
}

bool proxyEnumerate(VM& vm, Object* o, ProxyStep step, std::uint32_t cursor, Value& out) {
    ProxyObject* p = asProxy(o);
    if (!p)
        return false;
    const Value a[] = {Value::fromUint(cursor)};
    switch (step) {
    case ProxyStep::NextIndex: {
        // An index past int's range or below 1 ends the enumeration.
        const std::int32_t next = vm.toInt32(p->trap(vm, "nextNameIndex", a));
        out = Value(next > 0 ? next : 0);
        break;
    }
    case ProxyStep::Name:
        out = p->trap(vm, "nextName", a);
        break;
    case ProxyStep::Value:
        out = p->trap(vm, "nextValue", a);
        break;
    }
    return true;
}

void installProxy(VM& vm) {
    Class* c = vm.defineNativeClass(QStringLiteral("flash.utils"), QStringLiteral("Proxy"),
                                    vm.objectClass, allocProxy);
    // isAttribute(name): whether a name handed to a trap came from an attribute (`..@name`).
    Binding b;
    b.kind = Binding::Kind::Method;
    b.method.native = [](VM&, const Value&, std::span<const Value> args) {
        const QNameObject* q = asQName(arg(args, 0));
        return Value(q && q->attribute);
    };
    b.declaringClass = c;
    c->instanceTraits.add(QStringLiteral("isAttribute"),
                          vm.internNs(NsKind::Namespace, QString::fromLatin1(kProxyUri)), b);
}

} // namespace swf::avm2
