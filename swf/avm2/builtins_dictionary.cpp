// flash.utils.Dictionary: object keys by identity, other keys by their string form.

#include "swf/avm2/dictionary.h"

namespace swf::avm2 {

QString Dictionary::primitiveKey(VM& vm, const Value& key) {
    return vm.toString(key);
}

int Dictionary::find(VM& vm, const Value& key) {
    if (Object* o = key.object()) {
        auto it = byObject.find(o);
        return it == byObject.end() ? -1 : *it;
    }
    auto it = byString.find(primitiveKey(vm, key));
    return it == byString.end() ? -1 : *it;
}

bool Dictionary::get(VM& vm, const Value& key, Value& out) {
    const int i = find(vm, key);
    if (i < 0)
        return false;
    out = entries[std::size_t(i)].value;
    return true;
}

void Dictionary::set(VM& vm, const Value& key, const Value& v) {
    const int i = find(vm, key);
    if (i >= 0) {
        entries[std::size_t(i)].value = v;
        return;
    }
    const int idx = int(entries.size());
    // Numbers and strings with the same text are one key; keep the first form given.
    entries.push_back(
        {key.isObject() ? key
                        : (key.isNumeric() || key.isString() ? key : Value(primitiveKey(vm, key))),
         v, true});
    if (Object* o = key.object())
        byObject.insert(o, idx);
    else
        byString.insert(primitiveKey(vm, key), idx);
    ++live;
}

bool Dictionary::remove(VM& vm, const Value& key) {
    const int i = find(vm, key);
    if (i < 0)
        return false;
    auto& e = entries[std::size_t(i)];
    if (Object* o = e.key.object())
        byObject.remove(o);
    else
        byString.remove(primitiveKey(vm, e.key));
    e.live = false;
    e.key = Value();
    e.value = Value();
    --live;
    return true;
}

void Dictionary::dropDeadKeys() {
    for (Entry& e : entries) {
        if (!e.live || e.key.tag != Value::Tag::Object || e.key.o->marked)
            continue;
        byObject.remove(e.key.o);
        e.live = false;
        e.key = Value();
        e.value = Value();
        --live;
    }
}

void Dictionary::compact(VM& vm) {
    // Only when holes outnumber entries, so a table that churns is rebuilt a bounded number of
    // times per insertion.
    const std::size_t holes = entries.size() - live;
    if (holes < 16 || holes <= live)
        return;
    std::vector<Entry> kept;
    kept.reserve(live);
    byObject.clear();
    byString.clear();
    for (Entry& e : entries) {
        if (!e.live)
            continue;
        const int idx = int(kept.size());
        if (Object* o = e.key.object())
            byObject.insert(o, idx);
        else
            byString.insert(primitiveKey(vm, e.key), idx);
        kept.push_back(std::move(e));
    }
    entries = std::move(kept);
}

void Dictionary::traceChildren(std::vector<Object*>& out) {
    Object::traceChildren(out);
    for (const Entry& e : entries) {
        if (!e.live)
            continue;
        if (e.key.tag == Value::Tag::Object && !weakKeys)
            out.push_back(e.key.o);
        if (e.value.tag == Value::Tag::Object)
            out.push_back(e.value.o);
    }
}

namespace {
Object* allocDictionary(VM& vm, Class* c) {
    return vm.make<Dictionary>(c);
}
Value dictionaryCtor(VM&, const Value& self, std::span<const Value> args) {
    if (Object* o = self.object(); o && o->kind == ObjectKind::Dictionary)
        static_cast<Dictionary*>(o)->weakKeys = VM::toBoolean(arg(args, 0));
    return Value();
}
} // namespace

void installDictionary(VM& vm) {
    Class* c = vm.defineNativeClass(QStringLiteral("flash.utils"), QStringLiteral("Dictionary"),
                                    vm.objectClass, allocDictionary);
    c->iinit.native = dictionaryCtor;
    vm.dictionaryClass = c;
}

} // namespace swf::avm2
