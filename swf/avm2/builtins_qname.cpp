// Namespace and QName, as ECMA-357 (13.2 and 13.3) builds them: a namespace is a uri with a
// prefix that may be unknown, a QName a local name in a namespace or in any (`*::name`).

#include "swf/avm2/qname.h"

namespace swf::avm2 {

namespace {

Object* allocNamespace(VM& vm, Class* c) {
    return vm.make<NamespaceObject>(c);
}

Object* allocQName(VM& vm, Class* c) {
    return vm.make<QNameObject>(c);
}

// Namespace(), Namespace(uriValue), Namespace(prefixValue, uriValue) into `ns`.
void initNamespace(VM& vm, NamespaceObject* ns, std::span<const Value> args) {
    if (args.empty()) {
        ns->uri.clear();
        ns->prefix = Value(QString());
        return;
    }
    const Value uriValue = args.size() >= 2 ? args[1] : args[0];
    if (args.size() == 1) {
        if (NamespaceObject* other = asNamespace(uriValue)) {
            ns->uri = other->uri;
            ns->prefix = other->prefix;
            return;
        }
        ns->uri = namespaceUri(vm, uriValue);
        ns->prefix = ns->uri.isEmpty() ? Value(QString()) : Value();
        return;
    }
    const Value prefixValue = args[0];
    ns->uri = namespaceUri(vm, uriValue);
    if (ns->uri.isEmpty()) {
        if (prefixValue.isUndefined() || vm.toString(prefixValue).isEmpty())
            ns->prefix = Value(QString());
        else
            vm.throwTypeError(1098, QStringLiteral("Illegal prefix %1 for no namespace.")
                                        .arg(vm.toString(prefixValue)));
        return;
    }
    if (prefixValue.isUndefined()) {
        ns->prefix = Value();
        return;
    }
    const QString p = vm.toString(prefixValue);
    ns->prefix = p.isEmpty() || isXmlName(p) ? Value(p) : Value();
}

Value namespaceCtor(VM& vm, const Value& self, std::span<const Value> args) {
    if (NamespaceObject* ns = asNamespace(self))
        initNamespace(vm, ns, args);
    return Value();
}

Value namespaceCall(VM& vm, const Value&, std::span<const Value> args) {
    // Called as a function on a namespace, the namespace itself.
    if (args.size() == 1 && asNamespace(args[0]))
        return args[0];
    return vm.construct(Value(static_cast<Object*>(vm.namespaceClass)), args);
}

NamespaceObject* thisNamespace(VM& vm, const Value& self, const char* what) {
    NamespaceObject* ns = asNamespace(self);
    if (!ns)
        vm.throwTypeError(1004, QStringLiteral("Method Namespace.%1() was invoked on an "
                                               "incompatible object.")
                                    .arg(QLatin1String(what)));
    return ns;
}

Value namespaceUriGet(VM& vm, const Value& self, std::span<const Value>) {
    return Value(thisNamespace(vm, self, "uri")->uri);
}

Value namespacePrefixGet(VM& vm, const Value& self, std::span<const Value>) {
    return thisNamespace(vm, self, "prefix")->prefix;
}

Value namespaceToString(VM& vm, const Value& self, std::span<const Value>) {
    // Namespace.prototype itself is a namespace of no uri.
    if (self.object() && self.o == vm.namespaceClass->prototype)
        return Value(QString());
    return Value(thisNamespace(vm, self, "toString")->uri);
}

// QName(), QName(nameValue), QName(namespace, nameValue) into `q`.
void initQName(VM& vm, QNameObject* q, std::span<const Value> args) {
    const Value nameValue = args.size() >= 2 ? args[1] : arg(args, 0);
    QString local;
    if (QNameObject* other = asQName(nameValue)) {
        if (args.size() < 2) {
            q->uri = other->uri;
            q->local = other->local;
            q->anyNs = other->anyNs;
            q->prefix = other->prefix;
            return;
        }
        local = other->local;
    } else {
        local = nameValue.isUndefined() ? QString() : vm.toString(nameValue);
    }
    q->local = local;
    q->prefix = Value();
    if (args.size() < 2) {
        // One argument: `*` names any namespace, anything else the default one.
        if (local == QLatin1String("*")) {
            q->anyNs = true;
            q->uri.clear();
        } else {
            q->anyNs = false;
            q->uri = vm.defaultXmlNamespace;
            if (q->uri.isEmpty())
                q->prefix = Value(QString());
        }
        return;
    }
    const Value nsValue = args[0];
    if (nsValue.isNull()) {
        q->anyNs = true;
        q->uri.clear();
        return;
    }
    q->anyNs = false;
    if (nsValue.isUndefined()) {
        q->uri = vm.defaultXmlNamespace;
        return;
    }
    if (NamespaceObject* ns = asNamespace(nsValue)) {
        q->uri = ns->uri;
        q->prefix = ns->prefix;
        return;
    }
    q->uri = namespaceUri(vm, nsValue);
    if (q->uri.isEmpty())
        q->prefix = Value(QString());
}

Value qnameCtor(VM& vm, const Value& self, std::span<const Value> args) {
    if (QNameObject* q = asQName(self))
        initQName(vm, q, args);
    return Value();
}

Value qnameCall(VM& vm, const Value&, std::span<const Value> args) {
    if (args.size() == 1 && asQName(args[0]))
        return args[0];
    return vm.construct(Value(static_cast<Object*>(vm.qnameClass)), args);
}

QNameObject* thisQName(VM& vm, const Value& self, const char* what) {
    QNameObject* q = asQName(self);
    if (!q)
        vm.throwTypeError(1004,
                          QStringLiteral("Method QName.%1() was invoked on an incompatible object.")
                              .arg(QLatin1String(what)));
    return q;
}

Value qnameUriGet(VM& vm, const Value& self, std::span<const Value>) {
    QNameObject* q = thisQName(vm, self, "uri");
    return q->anyNs ? Value::null() : Value(q->uri);
}

Value qnameLocalNameGet(VM& vm, const Value& self, std::span<const Value>) {
    return Value(thisQName(vm, self, "localName")->local);
}

QString qnameText(const QNameObject* q) {
    if (q->anyNs)
        return QStringLiteral("*::") + q->local;
    return q->uri.isEmpty() ? q->local : q->uri + QStringLiteral("::") + q->local;
}

Value qnameToString(VM& vm, const Value& self, std::span<const Value>) {
    if (self.object() && self.o == vm.qnameClass->prototype)
        return Value(QString());
    return Value(qnameText(thisQName(vm, self, "toString")));
}

Value qnameValueOf(VM& vm, const Value& self, std::span<const Value>) {
    thisQName(vm, self, "valueOf");
    return self;
}

} // namespace

NamespaceObject* asNamespace(const Value& v) {
    Object* o = v.object();
    return o && o->kind == ObjectKind::Namespace ? static_cast<NamespaceObject*>(o) : nullptr;
}

QNameObject* asQName(const Value& v) {
    Object* o = v.object();
    return o && o->kind == ObjectKind::QName ? static_cast<QNameObject*>(o) : nullptr;
}

NamespaceObject* newNamespace(VM& vm, const Value& prefix, const QString& uri) {
    auto* ns = static_cast<NamespaceObject*>(vm.allocInstance(vm.namespaceClass));
    ns->uri = uri;
    ns->prefix = prefix;
    return ns;
}

QNameObject* newQName(VM& vm, const QString& uri, const QString& local, bool anyNs) {
    auto* q = static_cast<QNameObject*>(vm.allocInstance(vm.qnameClass));
    q->uri = anyNs ? QString() : uri;
    q->local = local;
    q->anyNs = anyNs;
    return q;
}

QNameObject* qnameOf(VM& vm, const Name& n) {
    const bool any = n.anyNs || n.nss.empty();
    QString uri;
    if (!any)
        uri = n.hasPublic ? (n.attribute ? QString() : vm.defaultXmlNamespace) : vm.nsUri(n.nss[0]);
    QNameObject* q = newQName(vm, uri, n.anyName ? QStringLiteral("*") : n.local, any);
    q->attribute = n.attribute;
    return q;
}

QString namespaceUri(VM& vm, const Value& v) {
    if (NamespaceObject* ns = asNamespace(v))
        return ns->uri;
    if (QNameObject* q = asQName(v))
        return q->anyNs ? QStringLiteral("*") : q->uri;
    return vm.toString(v);
}

bool isXmlName(const QString& s) {
    if (s.isEmpty())
        return false;
    for (qsizetype i = 0; i < s.size(); ++i) {
        const QChar c = s[i];
        const bool start = c.isLetter() || c == u'_';
        if (i == 0 ? !start : !(start || c.isDigit() || c == u'.' || c == u'-'))
            return false;
    }
    return true;
}

void installQName(VM& vm) {
    vm.namespaceClass = vm.defineNativeClass(QString(), QStringLiteral("Namespace"), vm.objectClass,
                                             allocNamespace, true);
    Class* n = vm.namespaceClass;
    n->nativeCall = namespaceCall;
    n->iinit.native = namespaceCtor;
    vm.addGetter(n, QStringLiteral("uri"), namespaceUriGet);
    vm.addGetter(n, QStringLiteral("prefix"), namespacePrefixGet);
    vm.addMethod(n, QStringLiteral("toString"), namespaceToString);
    vm.addMethod(n, QStringLiteral("valueOf"), namespaceToString);
    vm.addStaticValue(n, QStringLiteral("length"), Value(std::int32_t(2)));

    vm.qnameClass =
        vm.defineNativeClass(QString(), QStringLiteral("QName"), vm.objectClass, allocQName, true);
    Class* q = vm.qnameClass;
    q->nativeCall = qnameCall;
    q->iinit.native = qnameCtor;
    vm.addGetter(q, QStringLiteral("uri"), qnameUriGet);
    vm.addGetter(q, QStringLiteral("localName"), qnameLocalNameGet);
    vm.addMethod(q, QStringLiteral("toString"), qnameToString);
    vm.addMethod(q, QStringLiteral("valueOf"), qnameValueOf);
    vm.addStaticValue(q, QStringLiteral("length"), Value(std::int32_t(2)));
}

} // namespace swf::avm2
