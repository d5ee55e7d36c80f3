#pragma once

// Namespace and QName objects (builtins_qname.cpp): E4X names, and what `ns::name` and
// `default xml namespace` hand to XML.

#include "swf/avm2/vm.h"

namespace swf::avm2 {

class NamespaceObject : public Object {
public:
    explicit NamespaceObject(Class* c) : Object(c, ObjectKind::Namespace) {}
    QString uri;
    Value prefix; // a String, or undefined when not known
};

class QNameObject : public Object {
public:
    explicit QNameObject(Class* c) : Object(c, ObjectKind::QName) {}
    QString uri, local;
    bool anyNs = false;     // the uri is null: `*::name`
    bool attribute = false; // handed to a Proxy for an attribute name
    Value prefix;           // a String, or undefined when not known
};

NamespaceObject* asNamespace(const Value& v);
QNameObject* asQName(const Value& v);
NamespaceObject* newNamespace(VM& vm, const Value& prefix, const QString& uri);
QNameObject* newQName(VM& vm, const QString& uri, const QString& local, bool anyNs = false);
// A Name as a QName: its first namespace's uri (the default namespace for a public name).
QNameObject* qnameOf(VM& vm, const Name& n);
// A namespace value as a uri: a Namespace's or QName's uri, anything else converted.
QString namespaceUri(VM& vm, const Value& v);
// XML's name rules for prefixes (a letter or `_`, then letters, digits, `.`, `-`, `_`).
bool isXmlName(const QString& s);

void installQName(VM& vm);

} // namespace swf::avm2
