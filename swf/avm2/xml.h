#pragma once

// E4X: XML and XMLList objects. Property access on them reaches child elements and
// attributes, never methods; methods are found on the prototype (calls go there first).

#include "swf/avm2/vm.h"

namespace swf::avm2 {

class Xml : public Object {
public:
    enum class Node : std::uint8_t { Element, Text, Attribute, Comment, Instruction };
    explicit Xml(Class* c) : Object(c, ObjectKind::Xml) {}
    void traceChildren(std::vector<Object*>& out) override;
    std::uint32_t ownEnumCount() override { return 1; }
    Value ownEnumValue(VM&, std::uint32_t) override { return Value(static_cast<Object*>(this)); }

    Node node = Node::Element;
    QString uri, prefix, local; // the name of an element, attribute or instruction
    QString value;              // text, comment, attribute value, instruction data
    std::vector<Xml*> attributes, children;
    std::vector<std::pair<QString, QString>> nsDecls; // prefix, uri declared here
    Xml* parent = nullptr;
};

class XmlList : public Object {
public:
    explicit XmlList(Class* c) : Object(c, ObjectKind::XmlList) {}
    void traceChildren(std::vector<Object*>& out) override;
    bool getOwn(VM&, const QString& name, Value& out) override;
    bool setOwn(VM& vm, const QString& name, const Value& v) override;
    bool hasOwn(VM&, const QString& name) override;
    std::uint32_t ownEnumCount() override { return std::uint32_t(items.size()); }
    Value ownEnumValue(VM&, std::uint32_t i) override {
        return i < items.size() ? Value(static_cast<Object*>(items[i])) : Value();
    }

    std::vector<Xml*> items;
};

Xml* asXml(const Value& v);
XmlList* asXmlList(const Value& v);
bool isXmlValue(const Value& v); // XML or XMLList
// `a + b` of two XML values: a new XMLList of both, in order.
Value xmlConcat(VM& vm, const Value& a, const Value& b);

// Property access on XML values (the VM's get/set/has/delete route here for them).
Value xmlGet(VM& vm, Object* o, const Name& name);
void xmlSet(VM& vm, Object* o, const Name& name, const Value& v);
bool xmlHas(VM& vm, Object* o, const Name& name);
bool xmlDelete(VM& vm, Object* o, const Name& name);
Value xmlDescendants(VM& vm, const Value& v, const Name& name); // the .. operator
QString xmlToString(VM& vm, Object* o);
QString xmlToXmlString(VM& vm, Object* o);

// describeType's description of a value, as XML.
Value describeType(VM& vm, const Value& v);

void installXml(VM& vm);

} // namespace swf::avm2
