#pragma once

#include "swf/avm2/vm.h"

namespace swf::avm2 {

class Dictionary : public Object {
public:
    explicit Dictionary(Class* c) : Object(c, ObjectKind::Dictionary) {}

    bool get(VM& vm, const Value& key, Value& out);
    void set(VM& vm, const Value& key, const Value& v);
    bool remove(VM& vm, const Value& key);
    bool has(VM& vm, const Value& key) { return find(vm, key) >= 0; }

    bool getOwn(VM& vm, const QString& name, Value& out) override {
        return get(vm, Value(name), out);
    }
    bool setOwn(VM& vm, const QString& name, const Value& v) override {
        set(vm, Value(name), v);
        return true;
    }
    bool hasOwn(VM& vm, const QString& name) override { return has(vm, Value(name)); }
    bool deleteOwn(VM& vm, const QString& name) override { return remove(vm, Value(name)); }
    // Enumeration walks the entry table; holes are skipped by ownEnumLive.
    std::uint32_t ownEnumCount() override { return std::uint32_t(entries.size()); }
    Value ownEnumName(std::uint32_t i) override {
        return i < entries.size() ? entries[i].key : Value();
    }
    Value ownEnumValue(VM&, std::uint32_t i) override {
        return i < entries.size() ? entries[i].value : Value();
    }
    bool ownEnumLive(std::uint32_t i) override { return i < entries.size() && entries[i].live; }
    void traceChildren(std::vector<Object*>& out) override;

    struct Entry {
        Value key, value;
        bool live = true;
    };
    std::vector<Entry> entries;
    QHash<Object*, int> byObject;
    QHash<QString, int> byString;
    std::size_t live = 0;
    // new Dictionary(true): keys do not keep their objects alive. The collector calls
    // dropDeadKeys after marking, so an entry goes with its key; values are still traced.
    bool weakKeys = false;
    void dropDeadKeys();
    // Removing an entry leaves a hole so that a running for-in keeps its place; the collector
    // calls this between scripts, when no enumeration can be under way, to give holes back.
    void compact(VM& vm);

private:
    int find(VM& vm, const Value& key);
    static QString primitiveKey(VM& vm, const Value& key);
};

} // namespace swf::avm2
