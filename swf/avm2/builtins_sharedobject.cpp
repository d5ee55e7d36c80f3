// flash.net.SharedObject: what ActionScript 3 movies keep between runs, in the same per-movie
// stores as ActionScript 1 and 2 (swf/sharedobject.h). `data` is turned into the store's own
// values (no AMF): primitives, dates, arrays and plain objects' dynamic properties; functions and
// display objects belong to one run only and are left out, as are loops.

#include "swf/avm2/vm.h"
#include "swf/files.h"
#include "swf/sharedobject.h"

#include <QSet>
#include <cstdio>

namespace swf::avm2 {

struct SharedObjects {
    std::unique_ptr<sharedobject::Store> store;
    QHash<QString, Object*> open;   // by file: getLocal gives the same object for the same store
    QHash<QString, Object*> remote; // by name and address, as getRemote gives them
};

namespace {

using sharedobject::StoredValue;

// One SharedObject: its store file and its data.
class SharedObjectNative : public Object {
public:
    explicit SharedObjectNative(Class* c) : Object(c) {}
    void traceChildren(std::vector<Object*>& out) override {
        Object::traceChildren(out);
        if (Object* o = data.object())
            out.push_back(o);
        if (Object* o = client.object())
            out.push_back(o);
    }
    QString file, name; // no file: a remote object, kept for this run only
    Value data;
    Value client; // undefined: the object itself
    std::uint32_t objectEncoding = 3;
};

const QString kDefaultEncoding = QStringLiteral("defaultObjectEncoding");

void notice(VM& vm, const QString& line) {
    if (vm.noticeHook)
        vm.noticeHook(line);
    else
        std::fprintf(stderr, "%s\n", line.toUtf8().constData());
}

SharedObjects& state(VM& vm) {
    if (!vm.sharedObjects) {
        vm.sharedObjects = std::make_shared<SharedObjects>();
        if (!vm.moviePath.isEmpty() && !vm.sharedObjectFolder.isEmpty())
            vm.sharedObjects->store =
                std::make_unique<sharedobject::Store>(vm.sharedObjectFolder, vm.moviePath);
    }
    return *vm.sharedObjects;
}

SharedObjectNative* self(const Value& v) {
    return dynamic_cast<SharedObjectNative*>(v.object());
}

StoredValue toStored(VM& vm, const Value& v, int depth, QSet<Object*>& path) {
    using T = StoredValue::Type;
    StoredValue s;
    switch (v.tag) {
    case Value::Tag::Undefined:
        return s;
    case Value::Tag::Null:
        s.type = T::Null;
        return s;
    case Value::Tag::Bool:
        s.type = T::Boolean;
        s.boolean = v.b;
        return s;
    case Value::Tag::Int:
    case Value::Tag::Number:
        s.type = T::Number;
        s.number = v.toDoubleFast();
        return s;
    case Value::Tag::String:
        s.type = T::String;
        s.string = v.s();
        return s;
    case Value::Tag::Object:
        break;
    }
    Object* o = v.o;
    if (depth >= sharedobject::kMaxDepth || path.contains(o))
        return s;
    switch (o->kind) {
    case ObjectKind::Date:
        s.type = T::Date;
        s.number = vm.toNumber(vm.callProperty(v, vm.publicName(QStringLiteral("getTime")), {}));
        return s;
    case ObjectKind::Boxed:
        return toStored(vm, vm.toPrimitive(v, false), depth + 1, path);
    case ObjectKind::Array:
    case ObjectKind::Plain:
        break;
    default:
        return s; // functions, classes, display objects, byte arrays...: not kept
    }
    path.insert(o);
    if (o->kind == ObjectKind::Array) {
        const auto* a = static_cast<const Array*>(o);
        s.type = T::Array;
        s.length = std::uint32_t(a->items.size());
        for (std::size_t i = 0; i < a->items.size(); ++i) {
            if (!a->items[i].isUndefined())
                s.members.emplace_back(QString::number(i),
                                       toStored(vm, a->items[i], depth + 1, path));
        }
    } else {
        s.type = T::Object;
    }
    for (const Object::DynProp& p : o->dyn) {
        if (!p.live || !p.enumerable)
            continue;
        if (Object* f = p.value.object(); f && f->kind == ObjectKind::Function)
            continue;
        s.members.emplace_back(p.name, toStored(vm, p.value, depth + 1, path));
    }
    path.remove(o);
    return s;
}

Value fromStored(VM& vm, const StoredValue& s) {
    using T = StoredValue::Type;
    switch (s.type) {
    case T::Undefined:
        return Value();
    case T::Null:
        return Value::null();
    case T::Boolean:
        return Value(s.boolean);
    case T::Number:
        return Value(s.number);
    case T::String:
        return Value(s.string);
    case T::Date: {
        const Value ms(s.number);
        return vm.construct(Value(vm.dateClass), std::span<const Value>(&ms, 1));
    }
    case T::Array: {
        // The length is the stored one, but never more than the members that came with it
        // need: a damaged length must not allocate without bound.
        Array* a = vm.newArray();
        std::uint32_t index = 0;
        for (const auto& [name, value] : s.members) {
            if (parseIndex(name, index) && index < s.length && index < (1u << 24)) {
                if (a->items.size() <= index)
                    a->items.resize(std::size_t(index) + 1);
                a->items[index] = fromStored(vm, value);
            } else {
                a->setDynamic(name, fromStored(vm, value));
            }
        }
        return Value(a);
    }
    case T::Object: {
        Object* o = vm.newObject();
        for (const auto& [name, value] : s.members)
            o->setDynamic(name, fromStored(vm, value));
        return Value(o);
    }
    }
    return Value();
}

// Writes one SharedObject; false with a line on standard error when it cannot be kept.
bool flushOne(VM& vm, SharedObjectNative* so) {
    SharedObjects& st = state(vm);
    if (!st.store || so->file.isEmpty())
        return false;
    QSet<Object*> path;
    const StoredValue root = toStored(vm, so->data, 0, path);
    // Nothing to keep (a cleared store) leaves no file behind.
    if (root.members.empty())
        return st.store->remove(so->file);
    QString why;
    if (st.store->save(so->file, sharedobject::encode(root.members), &why))
        return true;
    notice(vm, QStringLiteral("SharedObject %1 was not saved: %2").arg(so->name, why));
    return false;
}

Object* allocSharedObject(VM& vm, Class* c) {
    return vm.make<SharedObjectNative>(c);
}

// A SharedObject named `name`, kept alive for the movie; the caller gives it its data.
SharedObjectNative* newSharedObject(VM& vm, const QString& name) {
    const Value cls = vm.lookupDefinition(QStringLiteral("flash.net.SharedObject"));
    auto* c = static_cast<Class*>(cls.object());
    auto* so = dynamic_cast<SharedObjectNative*>(c ? vm.allocInstance(c) : nullptr);
    if (!so)
        return nullptr;
    so->name = name;
    if (const Value d = vm.staticVariable(c, kDefaultEncoding); !d.isUndefined())
        so->objectEncoding = vm.toUint32(d) == 0 ? 0 : 3;
    vm.hostRoots.push_back(so);
    return so;
}

Value getLocal(VM& vm, const Value&, std::span<const Value> a) {
    const QString name = vm.toString(arg(a, 0));
    const QString localPath = arg(a, 1).isNullish() ? QString() : vm.toString(arg(a, 1));
    SharedObjects& st = state(vm);
    if (!st.store) {
        notice(vm, QStringLiteral("Refused: SharedObject %1: this movie has no place to keep data")
                       .arg(name));
        vm.throwError("Error", 2134, QStringLiteral("Cannot create SharedObject."));
    }
    auto file = st.store->fileFor(name, localPath);
    if (!file) {
        notice(vm, files::refusalLine(QStringLiteral("SharedObject"), name, file.error().message));
        vm.throwError("Error", 2134, QStringLiteral("Cannot create SharedObject."));
    }
    if (Object* known = st.open.value(*file))
        return Value(known);
    auto loaded = st.store->load(*file);
    if (!loaded.problem.isEmpty())
        notice(vm, loaded.problem);
    SharedObjectNative* so = newSharedObject(vm, name);
    if (!so)
        return Value::null();
    so->file = *file;
    StoredValue root;
    root.type = StoredValue::Type::Object;
    root.members = std::move(loaded.data);
    so->data = fromStored(vm, root);
    st.open.insert(*file, so);
    return Value(so);
}

// A server's shared object: no server is ever reached, so the movie gets one that lives for this
// run and cannot be flushed, and its script goes on as it would offline.
Value getRemote(VM& vm, const Value&, std::span<const Value> a) {
    const QString name = vm.toString(arg(a, 0)), uri = vm.toString(arg(a, 1));
    QHash<QString, Object*>& remote = state(vm).remote;
    const QString key = name + QChar(0) + uri;
    if (Object* known = remote.value(key))
        return Value(known);
    notice(vm, files::refusalLine(QStringLiteral("SharedObject.getRemote of"), uri,
                                  "movies have no network access"));
    SharedObjectNative* so = newSharedObject(vm, name);
    if (!so)
        return Value::null();
    so->data = Value(vm.newObject());
    remote.insert(key, so);
    return Value(so);
}

Value getData(VM&, const Value& self_, std::span<const Value>) {
    SharedObjectNative* so = self(self_);
    return so ? so->data : Value();
}

Value flush(VM& vm, const Value& self_, std::span<const Value>) {
    SharedObjectNative* so = self(self_);
    if (!so)
        return Value();
    // Past the cap the store is never "pending": the write fails as a refused one does.
    if (!flushOne(vm, so))
        vm.throwError("Error", 2130, QStringLiteral("Unable to flush SharedObject."));
    return Value(QStringLiteral("flushed"));
}

Value clear(VM& vm, const Value& self_, std::span<const Value>) {
    SharedObjectNative* so = self(self_);
    if (!so)
        return Value();
    if (SharedObjects& st = state(vm); st.store && !so->file.isEmpty())
        st.store->remove(so->file);
    so->data = Value(vm.newObject());
    return Value();
}

Value getSize(VM& vm, const Value& self_, std::span<const Value>) {
    SharedObjectNative* so = self(self_);
    if (!so)
        return Value(0);
    QSet<Object*> path;
    const StoredValue root = toStored(vm, so->data, 0, path);
    return root.members.empty() ? Value(0)
                                : Value(double(sharedobject::encode(root.members).size()));
}

Value nothing(VM&, const Value&, std::span<const Value>) {
    return Value();
}

Value getObjectEncoding(VM&, const Value& self_, std::span<const Value>) {
    SharedObjectNative* so = self(self_);
    return Value::fromUint(so ? so->objectEncoding : 3);
}

// The store keeps values in its own form whatever the encoding, so this only has to answer.
Value setObjectEncoding(VM& vm, const Value& self_, std::span<const Value> a) {
    const std::uint32_t e = vm.toUint32(arg(a, 0));
    if (e != 0 && e != 3)
        vm.throwError("ArgumentError", 2008,
                      QStringLiteral("Parameter objectEncoding must be one of the accepted "
                                     "values."));
    if (SharedObjectNative* so = self(self_))
        so->objectEncoding = e;
    return Value();
}

Value getClient(VM&, const Value& self_, std::span<const Value>) {
    SharedObjectNative* so = self(self_);
    return so && !so->client.isUndefined() ? so->client : self_;
}

Value setClient(VM& vm, const Value& self_, std::span<const Value> a) {
    if (!arg(a, 0).object())
        vm.throwError("TypeError", 2004, QStringLiteral("One of the parameters is invalid."));
    if (SharedObjectNative* so = self(self_))
        so->client = arg(a, 0);
    return Value();
}

// setProperty(name, value): the same as assigning data[name]; null deletes the property.
Value setProperty(VM& vm, const Value& self_, std::span<const Value> a) {
    SharedObjectNative* so = self(self_);
    Object* data = so ? so->data.object() : nullptr;
    if (!data)
        return Value();
    const Name n = vm.publicName(vm.toString(arg(a, 0)));
    if (arg(a, 1).isNullish())
        vm.deleteProperty(so->data, n);
    else
        vm.setProperty(so->data, n, arg(a, 1));
    return Value();
}

} // namespace

void closeSharedObjects(VM& vm) {
    if (!vm.sharedObjects)
        return;
    // Written when the movie closes, as the player does; a store that cannot be read back
    // (a script error inside a Date) is skipped.
    for (Object* o : vm.sharedObjects->open) {
        try {
            flushOne(vm, static_cast<SharedObjectNative*>(o));
        } catch (const ScriptThrow&) {
        } catch (const ScriptAbort&) {
        }
    }
    vm.sharedObjects->open.clear();
}

void installSharedObject(VM& vm) {
    const QString net = QStringLiteral("flash.net");
    Class* c =
        vm.defineNativeClass(net, QStringLiteral("SharedObject"),
                             vm.eventDispatcherClass ? vm.eventDispatcherClass : vm.objectClass,
                             allocSharedObject, true);
    vm.addStatic(c, QStringLiteral("getLocal"), getLocal, 1);
    vm.addStatic(c, QStringLiteral("getRemote"), getRemote, 1);
    vm.addStaticVariable(c, kDefaultEncoding, vm.uintClass, Value::fromUint(3));
    vm.addGetter(c, QStringLiteral("data"), getData);
    vm.addGetter(c, QStringLiteral("size"), getSize);
    vm.addGetter(c, QStringLiteral("objectEncoding"), getObjectEncoding, setObjectEncoding);
    vm.addGetter(c, QStringLiteral("client"), getClient, setClient);
    vm.addGetter(c, QStringLiteral("fps"), nullptr, nothing); // no server to send updates to
    // A local object is written whole, so marking a property changed, and connecting (which
    // only a remote object does, through a NetConnection that refused to connect), do nothing.
    for (auto [n, f] : {std::pair<const char*, NativeFn>{"flush", flush},
                        {"clear", clear},
                        {"close", nothing},
                        {"setProperty", setProperty},
                        {"setDirty", nothing},
                        {"connect", nothing}}) {
        vm.addMethod(c, QString::fromLatin1(n), f);
        // Public names too: typed calls look there.
        Binding* b = c->instanceTraits.find(QString::fromLatin1(n), vm.as3Ns());
        c->instanceTraits.add(QString::fromLatin1(n), vm.publicNs(), *b);
    }
    Class* status = vm.defineNativeClass(net, QStringLiteral("SharedObjectFlushStatus"),
                                         vm.objectClass, nullptr, true);
    vm.addStaticValue(status, QStringLiteral("FLUSHED"), Value(QStringLiteral("flushed")));
    vm.addStaticValue(status, QStringLiteral("PENDING"), Value(QStringLiteral("pending")));
}

} // namespace swf::avm2
