// The Flash API's own interfaces (IEventDispatcher, IDataInput, IDataOutput, IExternalizable,
// IBitmapDrawable and the graphics-data markers) and the native classes that implement them.
//
// Compilers call a method through an interface-typed variable by the interface's namespace
// (`flash.events:IEventDispatcher::addEventListener`), so a class implementing the interface
// must answer to that name as well as to its public one. Classes from ABC get those names when
// they are built (VM::newClass, from the interfaces' traits); the native classes get them here,
// after every native class exists, since a native class copies its base's traits when it is
// defined.

#include "swf/avm2/display.h"

#include <algorithm>

namespace swf::avm2 {

namespace {

struct InterfaceDef {
    const char* package;
    const char* name;
    std::initializer_list<const char*> members; // methods and accessors
    std::initializer_list<const char*> extends; // other interfaces of this list, by name
    // The native classes implementing it (package, name), their subclasses included.
    std::initializer_list<std::pair<const char*, const char*>> implementors;
};

const InterfaceDef kInterfaces[] = {
    {"flash.events",
     "IEventDispatcher",
     {"addEventListener", "removeEventListener", "dispatchEvent", "hasEventListener",
      "willTrigger"},
     {},
     {{"flash.events", "EventDispatcher"}}},
    {"flash.utils",
     "IDataInput",
     {"readBytes", "readBoolean", "readByte", "readUnsignedByte", "readShort", "readUnsignedShort",
      "readInt", "readUnsignedInt", "readFloat", "readDouble", "readMultiByte", "readUTF",
      "readUTFBytes", "readObject", "bytesAvailable", "endian", "objectEncoding"},
     {},
     {{"flash.utils", "ByteArray"}, {"flash.net", "URLStream"}, {"flash.net", "Socket"}}},
    {"flash.utils",
     "IDataOutput",
     {"writeBytes", "writeBoolean", "writeByte", "writeShort", "writeInt", "writeUnsignedInt",
      "writeFloat", "writeDouble", "writeMultiByte", "writeUTF", "writeUTFBytes", "writeObject",
      "endian", "objectEncoding"},
     {},
     {{"flash.utils", "ByteArray"}, {"flash.net", "Socket"}}},
    {"flash.utils", "IExternalizable", {"writeExternal", "readExternal"}, {}, {}},
    {"flash.display",
     "IBitmapDrawable",
     {},
     {},
     {{"flash.display", "DisplayObject"}, {"flash.display", "BitmapData"}}},
    {"flash.display", "IGraphicsData", {}, {}, {}},
    {"flash.display",
     "IGraphicsFill",
     {},
     {},
     {{"flash.display", "GraphicsSolidFill"},
      {"flash.display", "GraphicsGradientFill"},
      {"flash.display", "GraphicsBitmapFill"},
      {"flash.display", "GraphicsEndFill"},
      {"flash.display", "GraphicsShaderFill"}}},
    {"flash.display", "IGraphicsPath", {}, {}, {{"flash.display", "GraphicsPath"}}},
    {"flash.display", "IGraphicsStroke", {}, {}, {{"flash.display", "GraphicsStroke"}}},
};

// IGraphicsData is implemented by every graphics-data class.
const std::pair<const char*, const char*> kGraphicsData[] = {
    {"flash.display", "GraphicsSolidFill"},  {"flash.display", "GraphicsGradientFill"},
    {"flash.display", "GraphicsBitmapFill"}, {"flash.display", "GraphicsEndFill"},
    {"flash.display", "GraphicsShaderFill"}, {"flash.display", "GraphicsPath"},
    {"flash.display", "GraphicsStroke"},     {"flash.display", "GraphicsTrianglePath"},
};

[[noreturn]] Value interfaceMethod(VM& vm, const Value&, std::span<const Value>) {
    vm.throwTypeError(1006, QStringLiteral("value is not a function."));
}

Class* builtinClass(VM& vm, const char* package, const char* name) {
    const int ns = vm.internNs(NsKind::Package, QString::fromLatin1(package));
    const auto it = vm.builtinTraits.byName.find(QString::fromLatin1(name));
    if (it == vm.builtinTraits.byName.end())
        return nullptr;
    for (const Traits::Entry& e : *it)
        if (e.ns == ns && e.binding.slot < vm.builtins->slotv.size()) {
            Object* o = vm.builtins->slotv[e.binding.slot].object();
            return o && o->kind == ObjectKind::Class ? static_cast<Class*>(o) : nullptr;
        }
    return nullptr;
}

bool derivesFrom(const Class* c, const Class* root) {
    for (; c; c = c->base)
        if (c == root)
            return true;
    return false;
}

// Makes `c` implement `iface`: listed among its interfaces, and each member answering to the
// interface's name as it does to its public one (or, for a native method kept only in the AS3
// namespace, to that).
void implement(VM& vm, Class* c, Class* iface) {
    if (std::find(c->interfaces.begin(), c->interfaces.end(), iface) == c->interfaces.end())
        c->interfaces.push_back(iface);
    for (Class* x : iface->interfaces)
        if (std::find(c->interfaces.begin(), c->interfaces.end(), x) == c->interfaces.end())
            c->interfaces.push_back(x);
    for (auto it = iface->instanceTraits.byName.begin(); it != iface->instanceTraits.byName.end();
         ++it) {
        for (const Traits::Entry& e : *it) {
            if (c->instanceTraits.find(it.key(), e.ns))
                continue;
            Binding* own = c->instanceTraits.find(it.key(), vm.publicNs());
            if (!own)
                own = c->instanceTraits.find(it.key(), vm.as3Ns());
            if (own) {
                const Binding copy = *own;
                c->instanceTraits.add(it.key(), e.ns, copy);
            }
        }
    }
}

} // namespace

void installInterfaces(VM& vm) {
    // Every native class, to find the implementors' subclasses.
    std::vector<Class*> natives;
    for (const Value& v : vm.builtins->slotv)
        if (Object* o = v.object(); o && o->kind == ObjectKind::Class)
            natives.push_back(static_cast<Class*>(o));

    for (const InterfaceDef& d : kInterfaces) {
        const QString package = QString::fromLatin1(d.package);
        const QString name = QString::fromLatin1(d.name);
        Class* iface = vm.defineNativeClass(package, name, nullptr);
        iface->isInterface = true;
        const int ns = vm.internNs(NsKind::Namespace, package + u':' + name);
        for (const char* m : d.members) {
            Binding b;
            b.kind = Binding::Kind::Method;
            b.method.native = interfaceMethod;
            b.declaringClass = iface;
            iface->instanceTraits.add(QString::fromLatin1(m), ns, b);
        }
        for (const char* other : d.extends)
            if (Class* x = builtinClass(vm, d.package, other))
                iface->interfaces.push_back(x);
        for (auto [pkg, cls] : d.implementors) {
            Class* root = builtinClass(vm, pkg, cls);
            if (!root)
                continue;
            for (Class* c : natives)
                if (derivesFrom(c, root))
                    implement(vm, c, iface);
        }
        if (name == QLatin1String("IGraphicsData")) {
            for (auto [pkg, cls] : kGraphicsData)
                if (Class* c = builtinClass(vm, pkg, cls))
                    implement(vm, c, iface);
        }
    }
}

} // namespace swf::avm2
