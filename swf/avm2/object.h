#pragma once

// Objects of the AS3 heap: plain objects, classes, functions, arrays and the rest of the
// native kinds. Every object belongs to one VM heap and is freed by its mark and sweep.

#include "swf/avm2/abc.h"
#include "swf/avm2/value.h"

#include <QHash>
#include <atomic>
#include <memory>
#include <span>
#include <vector>

namespace swf::avm2 {

class VM;
class Class;
class Object;
struct AbcEnv;

using NativeFn = Value (*)(VM& vm, const Value& self, std::span<const Value> args);

// The scopes a function or class captured when it was created.
struct ScopeEntry {
    Value object;
    bool with = false;
};
using ScopeChain = std::shared_ptr<const std::vector<ScopeEntry>>;

// A method of an ABC block, or a native function.
struct MethodRef {
    AbcEnv* env = nullptr;
    std::uint32_t index = 0;
    NativeFn native = nullptr;
    bool valid() const { return env || native; }
    bool operator==(const MethodRef& o) const {
        return env == o.env && index == o.index && native == o.native;
    }
};

// What a name of an object's traits stands for.
struct Binding {
    enum class Kind : std::uint8_t { Slot, Const, Method, Accessor } kind = Kind::Slot;
    std::uint32_t slot = 0;   // Slot, Const: index into Object::slotv
    MethodRef method;         // Method
    std::uint32_t dispId = 0; // Method: the dispatch id callmethod names it by (0: none)
    MethodRef getter, setter;
    Class* declaringClass = nullptr; // for super lookups from the method
    ScopeChain scope;                // the chain its methods run in
};

// Traits of one kind of object: names to bindings, plus the slots' types and initial values.
// Each Traits has a serial no other Traits shares, renewed whenever a name is added, so a
// lookup cache keyed by it can never answer for a changed or freed table.
struct Traits {
    Traits() : serial(nextSerial()) {}
    Traits(const Traits& o) : byName(o.byName), slotv(o.slotv), serial(nextSerial()) {}
    Traits(Traits&& o) noexcept
        : byName(std::move(o.byName)), slotv(std::move(o.slotv)), serial(nextSerial()) {
        o.serial = nextSerial();
    }
    Traits& operator=(const Traits& o) {
        byName = o.byName;
        slotv = o.slotv;
        serial = nextSerial();
        return *this;
    }
    Traits& operator=(Traits&& o) noexcept {
        byName = std::move(o.byName);
        slotv = std::move(o.slotv);
        serial = nextSerial();
        o.serial = nextSerial();
        return *this;
    }
    static std::uint64_t nextSerial() {
        static std::atomic<std::uint64_t> counter{0};
        return ++counter;
    }

    struct Entry {
        int ns;
        Binding binding;
    };
    QHash<QString, std::vector<Entry>> byName;
    struct SlotInfo {
        QString name;
        Class* type = nullptr; // null for *
        bool typeResolved = false;
        std::uint32_t typeName = 0; // multiname in `env`, resolved on first store
        AbcEnv* env = nullptr;
        Value initial;
    };
    std::vector<SlotInfo> slotv;
    std::uint64_t serial;

    Binding* find(const QString& name, int ns) {
        auto it = byName.find(name);
        if (it == byName.end())
            return nullptr;
        for (auto& e : *it)
            if (e.ns == ns)
                return &e.binding;
        return nullptr;
    }
    void add(const QString& name, int ns, Binding b) {
        serial = nextSerial();
        auto& list = byName[name];
        for (auto& e : list) {
            if (e.ns == ns) {
                // A getter and a setter of one name form one accessor.
                if (e.binding.kind == Binding::Kind::Accessor &&
                    b.kind == Binding::Kind::Accessor) {
                    if (b.getter.valid())
                        e.binding.getter = b.getter;
                    if (b.setter.valid())
                        e.binding.setter = b.setter;
                    e.binding.declaringClass = b.declaringClass;
                    e.binding.scope = b.scope;
                    return;
                }
                e.binding = std::move(b);
                return;
            }
        }
        list.push_back({ns, std::move(b)});
    }
};

enum class ObjectKind : std::uint8_t {
    Plain,
    Class,
    Function,
    Array,
    Namespace,
    QName,
    Error,
    Date,
    RegExp,
    ByteArray,
    Dictionary,
    Vector,
    Boxed,
    DisplayObject,
    Xml,
    XmlList
};

class Object {
public:
    explicit Object(Class* cls, ObjectKind kind = ObjectKind::Plain) : cls(cls), kind(kind) {}
    virtual ~Object() = default;
    Object(const Object&) = delete;
    Object& operator=(const Object&) = delete;

    // Dynamic (public) properties, in insertion order; erased entries leave a hole.
    struct DynProp {
        QString name;
        Value value;
        bool enumerable = true;
        bool live = true;
    };
    const Value* getDynamic(const QString& name) const {
        auto it = dynIndex.find(name);
        return it == dynIndex.end() ? nullptr : &dyn[*it].value;
    }
    void setDynamic(const QString& name, Value v) {
        auto it = dynIndex.find(name);
        if (it != dynIndex.end()) {
            dyn[*it].value = std::move(v);
            return;
        }
        dynIndex.insert(name, int(dyn.size()));
        dyn.push_back({name, std::move(v), true, true});
    }
    bool deleteDynamic(const QString& name) {
        auto it = dynIndex.find(name);
        if (it == dynIndex.end())
            return false;
        dyn[*it].live = false;
        dyn[*it].value = Value();
        dynIndex.erase(it);
        return true;
    }

    // Native kinds answer for their own indexed or computed properties first.
    virtual bool getOwn(VM&, const QString&, Value&) { return false; }
    virtual bool setOwn(VM&, const QString&, const Value&) { return false; }
    virtual bool hasOwn(VM&, const QString&) { return false; }
    virtual bool deleteOwn(VM&, const QString&) { return false; }
    // Enumeration of native entries before dynamic ones: names for i in [0, count).
    virtual std::uint32_t ownEnumCount() { return 0; }
    virtual Value ownEnumName(std::uint32_t i) { return Value(std::int32_t(i)); }
    virtual Value ownEnumValue(VM&, std::uint32_t) { return Value(); }
    virtual bool ownEnumLive(std::uint32_t) { return true; }
    virtual void traceChildren(std::vector<Object*>& out);

    Class* cls;
    Traits* traits = nullptr; // declared traits (the class's instance traits, a script's...)
    Object* proto = nullptr;
    std::vector<Value> slotv;
    std::vector<DynProp> dyn;
    QHash<QString, int> dynIndex;
    ObjectKind kind;
    bool dynamicAllowed = true;
    bool marked = false;
};

class Class : public Object {
public:
    explicit Class(Class* classClass) : Object(classClass, ObjectKind::Class) {}
    void traceChildren(std::vector<Object*>& out) override;
    bool getOwn(VM&, const QString& name, Value& out) override {
        if (name == QLatin1String("prototype")) {
            out = Value(prototype);
            return true;
        }
        return false;
    }
    bool hasOwn(VM&, const QString& name) override { return name == QLatin1String("prototype"); }

    QString name;    // local name
    QString package; // namespace URI of its name
    int nameNs = 0;
    Class* base = nullptr;
    std::vector<Class*> interfaces; // every interface, transitively
    bool isInterface = false, isSealed = true, isFinal = false;
    Traits instanceTraits;
    Traits staticTraits;
    Object* prototype = nullptr;
    MethodRef iinit;
    ScopeChain instanceScope;
    int protectedNs = -1;
    ObjectKind instanceKind = ObjectKind::Plain;
    // Native classes make their instances (Array, Error...) and convert when called.
    Object* (*nativeAlloc)(VM&, Class*) = nullptr;
    NativeFn nativeCall = nullptr;
    Class* vectorOf = nullptr; // Vector.<T>: the element type (null for *)
    bool isVector = false;
    QHash<Class*, Class*> vectorCache; // the generic Vector: its specialisations
    Class* vectorAny = nullptr;

    bool isSubclassOf(const Class* other) const {
        for (const Class* c = this; c; c = c->base) {
            if (c == other)
                return true;
        }
        for (const Class* i : interfaces)
            if (i == other)
                return true;
        return false;
    }
    QString qualifiedName() const {
        return package.isEmpty() ? name : package + QStringLiteral("::") + name;
    }
};

class Function : public Object {
public:
    explicit Function(Class* functionClass) : Object(functionClass, ObjectKind::Function) {}
    void traceChildren(std::vector<Object*>& out) override;

    MethodRef method;
    ScopeChain scope;
    Value boundThis; // method closures: the receiver
    bool bound = false;
    Class* declaringClass = nullptr;
    QString name;
    std::shared_ptr<QString> dxns; // the default XML namespace cell of the code it was made in
};

class Array : public Object {
public:
    explicit Array(Class* arrayClass) : Object(arrayClass, ObjectKind::Array) {}

    bool getOwn(VM&, const QString& name, Value& out) override;
    bool setOwn(VM&, const QString& name, const Value& v) override;
    bool hasOwn(VM&, const QString& name) override;
    bool deleteOwn(VM&, const QString& name) override;
    std::uint32_t ownEnumCount() override { return std::uint32_t(items.size()); }
    Value ownEnumValue(VM&, std::uint32_t i) override {
        return i < items.size() ? items[i] : Value();
    }
    void traceChildren(std::vector<Object*>& out) override;

    // Holes read as undefined; arrays are dense (a huge index is kept as a dynamic name).
    std::vector<Value> items;
    // Vector.<T> instances are arrays with a type, bounds and possibly a fixed length.
    bool isVector = false, fixed = false;
    Class* elementType = nullptr;
};

// Index parsing shared by arrays and vectors: a canonical decimal array index.
bool parseIndex(const QString& s, std::uint32_t& out);

} // namespace swf::avm2
