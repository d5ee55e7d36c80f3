// AMF3 and AMF0 for ByteArray.writeObject/readObject, flash.net.ObjectEncoding, and
// flash.net.registerClassAlias and getClassByAlias, which name the classes whose objects come
// back typed.
//
// Reading takes bytes a movie may have got from anywhere: every length and count is checked
// against the bytes left before anything is made, references against their tables, and
// nesting is bounded.

#include "swf/avm2/amf.h"
#include "swf/avm2/dictionary.h"

#include <algorithm>
#include <cstring>
#include <functional>

namespace swf::avm2 {

namespace {

constexpr int kMaxDepth = 256;

// One level of nesting for as long as it lives (the caller checked kMaxDepth first).
struct Deeper {
    explicit Deeper(int& d) : depth(d) { ++depth; }
    ~Deeper() { --depth; }
    Deeper(const Deeper&) = delete;
    Deeper& operator=(const Deeper&) = delete;
    int& depth;
};

enum Marker : std::uint8_t {
    Undefined = 0x00,
    Null = 0x01,
    False = 0x02,
    True = 0x03,
    Integer = 0x04,
    Double = 0x05,
    String = 0x06,
    XmlDoc = 0x07,
    Date = 0x08,
    ArrayM = 0x09,
    ObjectM = 0x0A,
    Xml = 0x0B,
    Bytes = 0x0C,
    VectorInt = 0x0D,
    VectorUint = 0x0E,
    VectorDouble = 0x0F,
    VectorObject = 0x10,
    DictionaryM = 0x11,
};

bool isClassNamed(const Class* c, const char* package, const char* name) {
    for (; c; c = c->base)
        if (c->name == QLatin1String(name) && c->package == QLatin1String(package))
            return true;
    return false;
}

Class* definedClass(VM& vm, const char* qualified) {
    Object* o = vm.lookupDefinition(QString::fromLatin1(qualified)).object();
    return o && o->kind == ObjectKind::Class ? static_cast<Class*>(o) : nullptr;
}

QString aliasOf(VM& vm, Class* c) {
    for (auto it = vm.classAliases.begin(); it != vm.classAliases.end(); ++it)
        if (it.value() == c)
            return it.key();
    return QString();
}

// The members AMF writes of a class's instance: public variables and public properties with
// both a getter and a setter, by name.
std::vector<QString> sealedMembers(VM& vm, Class* c) {
    std::vector<QString> out;
    for (auto it = c->instanceTraits.byName.begin(); it != c->instanceTraits.byName.end(); ++it)
        for (const Traits::Entry& e : *it) {
            if (e.ns != vm.publicNs())
                continue;
            const Binding& b = e.binding;
            if (b.kind == Binding::Kind::Slot ||
                (b.kind == Binding::Kind::Accessor && b.getter.valid() && b.setter.valid()))
                out.push_back(it.key());
        }
    std::sort(out.begin(), out.end());
    return out;
}

bool isExternalizable(const Class* c) {
    return c && std::any_of(c->interfaces.begin(), c->interfaces.end(), [](Class* i) {
               return i->name == QLatin1String("IExternalizable") &&
                      i->package == QLatin1String("flash.utils");
           });
}

// Big-endian bytes appended to `out`, as both encodings write them.
class ByteSink {
protected:
    explicit ByteSink(std::vector<std::uint8_t>& out) : out(out) {}
    std::vector<std::uint8_t>& out;

    void u8(std::uint8_t b) { out.push_back(b); }
    void u16be(std::uint16_t v) {
        u8(std::uint8_t(v >> 8));
        u8(std::uint8_t(v));
    }
    void u32be(std::uint32_t v) {
        for (int i = 3; i >= 0; --i)
            u8(std::uint8_t(v >> (8 * i)));
    }
    void f64(double d) {
        std::uint64_t bits;
        std::memcpy(&bits, &d, 8);
        for (int i = 7; i >= 0; --i)
            u8(std::uint8_t(bits >> (8 * i)));
    }
    void bytes(const QByteArray& b) { out.insert(out.end(), b.begin(), b.end()); }
};

// Big-endian bytes read from `data` at `pos`; running out is the EOFError, a value that cannot
// be the RangeError, both of which a script can catch.
class ByteSource {
protected:
    ByteSource(VM& vm, const std::vector<std::uint8_t>& data, std::size_t& pos)
        : vm(vm), data(data), pos(pos) {}
    VM& vm;
    const std::vector<std::uint8_t>& data;
    std::size_t& pos;

    [[noreturn]] void eof() {
        vm.throwError("EOFError", 2030, QStringLiteral("End of file was encountered."));
    }
    [[noreturn]] void damaged() {
        vm.throwRangeError(2006, QStringLiteral("The supplied index is out of bounds."));
    }
    void need(std::size_t n) {
        if (pos > data.size() || data.size() - pos < n)
            eof();
    }
    // A count of items each taking at least one byte cannot pass the bytes left.
    void count(std::uint32_t n) { need(n); }
    std::uint8_t u8() {
        need(1);
        return data[pos++];
    }
    std::uint16_t u16be() {
        need(2);
        const std::uint16_t v = std::uint16_t((data[pos] << 8) | data[pos + 1]);
        pos += 2;
        return v;
    }
    std::uint32_t u32be() {
        need(4);
        std::uint32_t v = 0;
        for (int i = 0; i < 4; ++i)
            v = (v << 8) | data[pos++];
        return v;
    }
    double f64() {
        need(8);
        std::uint64_t bits = 0;
        for (int i = 0; i < 8; ++i)
            bits = (bits << 8) | data[pos++];
        double d;
        std::memcpy(&d, &bits, 8);
        return d;
    }
    QString utf8(std::uint32_t n) {
        need(n);
        const QString s =
            QString::fromUtf8(reinterpret_cast<const char*>(data.data() + pos), qsizetype(n));
        pos += n;
        return s;
    }
    // A named value read into `r`. An array ignores a stored length (its length is its
    // items'), and keeps an index past all that the input could fill aside, as a sparse one
    // is, rather than make its items that long.
    void setRead(const Value& r, const QString& key, const Value& v) {
        if (Object* o = r.object(); o && o->kind == ObjectKind::Array) {
            auto* a = static_cast<Array*>(o);
            std::uint32_t i = 0;
            if (key == QLatin1String("length"))
                return;
            if (parseIndex(key, i) && i > a->items.size() + (data.size() - pos)) {
                a->setDynamic(key, v);
                return;
            }
        }
        vm.setProperty(r, vm.publicName(key), v);
    }
};

class Writer : ByteSink {
public:
    Writer(VM& vm, std::vector<std::uint8_t>& out) : ByteSink(out), vm(vm) {}

    void value(const Value& v) {
        switch (v.tag) {
        case Value::Tag::Undefined:
            return u8(Undefined);
        case Value::Tag::Null:
            return u8(Null);
        case Value::Tag::Bool:
            return u8(v.b ? True : False);
        case Value::Tag::Int:
            if (v.i >= -(1 << 28) && v.i < (1 << 28)) {
                u8(Integer);
                return u29(std::uint32_t(v.i) & 0x1FFFFFFF);
            }
            u8(Double);
            return f64(double(v.i));
        case Value::Tag::Number:
            u8(Double);
            return f64(v.d);
        case Value::Tag::String:
            u8(String);
            return str(v.s());
        case Value::Tag::Object:
            return object(v.o);
        }
    }

private:
    VM& vm;
    QHash<QString, int> strings;
    QHash<Object*, int> objects;
    QHash<Class*, int> traits; // null: the anonymous dynamic object's
    int depth = 0;

    void u29(std::uint32_t v) {
        if (v < 0x80) {
            u8(std::uint8_t(v));
        } else if (v < 0x4000) {
            u8(std::uint8_t(0x80 | (v >> 7)));
            u8(std::uint8_t(v & 0x7F));
        } else if (v < 0x200000) {
            u8(std::uint8_t(0x80 | (v >> 14)));
            u8(std::uint8_t(0x80 | ((v >> 7) & 0x7F)));
            u8(std::uint8_t(v & 0x7F));
        } else {
            u8(std::uint8_t(0x80 | (v >> 22)));
            u8(std::uint8_t(0x80 | ((v >> 15) & 0x7F)));
            u8(std::uint8_t(0x80 | ((v >> 8) & 0x7F)));
            u8(std::uint8_t(v & 0xFF));
        }
    }
    // A string by reference when written before (the empty string never is).
    void str(const QString& s) {
        if (s.isEmpty())
            return u8(0x01);
        if (auto it = strings.find(s); it != strings.end())
            return u29(std::uint32_t(*it) << 1);
        strings.insert(s, int(strings.size()));
        const QByteArray b = s.toUtf8();
        u29((std::uint32_t(b.size()) << 1) | 1);
        out.insert(out.end(), b.begin(), b.end());
    }
    // The object's reference when written before; else remembers it and returns false.
    bool reference(Object* o) {
        if (auto it = objects.find(o); it != objects.end()) {
            u29(std::uint32_t(*it) << 1);
            return true;
        }
        objects.insert(o, int(objects.size()));
        return false;
    }
    void text(std::uint8_t marker, Object* o, const QString& s) {
        u8(marker);
        if (reference(o))
            return;
        const QByteArray b = s.toUtf8();
        u29((std::uint32_t(b.size()) << 1) | 1);
        out.insert(out.end(), b.begin(), b.end());
    }

    void object(Object* o) {
        if (depth >= kMaxDepth)
            vm.throwError("Error", 1023, QStringLiteral("Stack overflow occurred."));
        const Deeper deeper(depth);
        const Value self(o);
        switch (o->kind) {
        case ObjectKind::Function:
        case ObjectKind::Class:
        case ObjectKind::Namespace:
        case ObjectKind::QName:
            return u8(Undefined);
        case ObjectKind::Array:
            return array(static_cast<Array*>(o));
        case ObjectKind::Date: {
            u8(Date);
            if (reference(o))
                return;
            u29(1);
            return f64(vm.toNumber(vm.callProperty(self, vm.publicName("getTime"), {})));
        }
        case ObjectKind::ByteArray: {
            u8(Bytes);
            if (reference(o))
                return;
            const ByteArrayAccess b = byteArrayAccess(o);
            u29((std::uint32_t(b.data->size()) << 1) | 1);
            out.insert(out.end(), b.data->begin(), b.data->end());
            return;
        }
        case ObjectKind::Xml:
        case ObjectKind::XmlList:
            return text(Xml, o,
                        vm.toString(vm.callProperty(self, vm.publicName("toXMLString"), {})));
        case ObjectKind::Vector:
            return vector(o);
        case ObjectKind::Dictionary:
            return dictionary(static_cast<Dictionary*>(o));
        default:
            break;
        }
        if (o->cls && isClassNamed(o->cls, "flash.xml", "XMLDocument"))
            return text(XmlDoc, o, vm.toString(self));
        u8(ObjectM);
        if (reference(o))
            return;
        Class* c = o->cls && o->cls != vm.objectClass ? o->cls : nullptr;
        const bool externalizable = isExternalizable(c);
        const bool dynamic = !c || !c->isSealed;
        const std::vector<QString> members =
            c && !externalizable ? sealedMembers(vm, c) : std::vector<QString>{};
        if (auto it = traits.find(c); it != traits.end()) {
            u29((std::uint32_t(*it) << 2) | 1);
        } else {
            traits.insert(c, int(traits.size()));
            u29((std::uint32_t(members.size()) << 4) | (dynamic && !externalizable ? 8 : 0) |
                (externalizable ? 4 : 0) | 3);
            str(c ? aliasOf(vm, c) : QString());
            for (const QString& m : members)
                str(m);
        }
        if (externalizable) {
            // Its own part goes straight into the array, after what is written so far.
            if (flush)
                flush();
            vm.callProperty(self, vm.publicName("writeExternal"),
                            std::span<const Value>(&currentBytes, 1));
            return;
        }
        for (const QString& m : members)
            value(vm.getProperty(self, vm.publicName(m)));
        if (dynamic) {
            dynamicProperties(o);
            u8(0x01);
        }
    }

    void dynamicProperties(Object* o) {
        // Copied first: a getter run while writing may add properties.
        std::vector<std::pair<QString, Value>> props;
        for (const Object::DynProp& p : o->dyn)
            if (p.live && p.enumerable)
                props.push_back({p.name, p.value});
        for (const auto& [name, v] : props) {
            if (name.isEmpty())
                continue;
            if (const Object* f = v.object(); f && f->kind == ObjectKind::Function)
                continue;
            str(name);
            value(v);
        }
    }

    void array(Array* a) {
        u8(ArrayM);
        if (reference(a))
            return;
        const std::vector<Value> items = a->items;
        u29((std::uint32_t(items.size()) << 1) | 1);
        dynamicProperties(a);
        u8(0x01);
        for (const Value& v : items)
            value(v);
    }

    void vector(Object* o) {
        const Value self(o);
        Class* element = o->cls ? o->cls->vectorOf : nullptr;
        const std::uint8_t marker = element == vm.intClass      ? VectorInt
                                    : element == vm.uintClass   ? VectorUint
                                    : element == vm.numberClass ? VectorDouble
                                                                : VectorObject;
        u8(marker);
        if (reference(o))
            return;
        const std::uint32_t n =
            std::uint32_t(vm.toNumber(vm.getProperty(self, vm.publicName("length"))));
        u29((n << 1) | 1);
        u8(vm.toBoolean(vm.getProperty(self, vm.publicName("fixed"))) ? 1 : 0);
        if (marker == VectorObject)
            str(element ? element->qualifiedName() : QString());
        for (std::uint32_t i = 0; i < n; ++i) {
            const Value v = vm.getProperty(self, vm.publicName(QString::number(i)));
            if (marker == VectorInt || marker == VectorUint)
                u32be(std::uint32_t(vm.toInt32(v)));
            else if (marker == VectorDouble)
                f64(vm.toNumber(v));
            else
                value(v);
        }
    }

    void dictionary(Dictionary* d) {
        u8(DictionaryM);
        if (reference(d))
            return;
        const std::vector<Dictionary::Entry> entries = d->entries;
        std::uint32_t live = 0;
        for (const auto& e : entries)
            live += e.live ? 1 : 0;
        u29((live << 1) | 1);
        u8(d->weakKeys ? 1 : 0);
        for (const auto& e : entries)
            if (e.live) {
                value(e.key);
                value(e.value);
            }
    }

public:
    Value currentBytes;          // the ByteArray being written, for writeExternal
    std::function<void()> flush; // moves what is written so far into it
};

class Reader : ByteSource {
public:
    Reader(VM& vm, const std::vector<std::uint8_t>& data, std::size_t& pos)
        : ByteSource(vm, data, pos) {}
    Value currentBytes;

    Value value() {
        if (depth >= kMaxDepth)
            damaged();
        const Deeper deeper(depth);
        switch (u8()) {
        case Undefined:
            return Value();
        case Null:
            return Value::null();
        case False:
            return Value(false);
        case True:
            return Value(true);
        case Integer: {
            std::uint32_t v = u29();
            if (v & 0x10000000)
                v |= 0xE0000000u;
            return Value(std::int32_t(v));
        }
        case Double:
            return Value::number(f64());
        case String:
            return Value(str());
        case XmlDoc:
        case Xml: {
            const bool doc = data[pos - 1] == XmlDoc;
            const std::uint32_t h = u29();
            if (!(h & 1))
                return ref(h >> 1);
            const QString s = utf8(h >> 1);
            Class* c = doc ? definedClass(vm, "flash.xml.XMLDocument") : nullptr;
            const Value arg[] = {Value(s)};
            const Value r = vm.construct(Value(static_cast<Object*>(c ? c : vm.xmlClass)), arg);
            objects.push_back(r);
            return r;
        }
        case Date: {
            const std::uint32_t h = u29();
            if (!(h & 1))
                return ref(h >> 1);
            const Value arg[] = {Value::number(f64())};
            const Value r = vm.construct(Value(static_cast<Object*>(vm.dateClass)), arg);
            objects.push_back(r);
            return r;
        }
        case ArrayM:
            return array();
        case ObjectM:
            return object();
        case Bytes: {
            const std::uint32_t h = u29();
            if (!(h & 1))
                return ref(h >> 1);
            const std::uint32_t n = h >> 1;
            need(n);
            const Value r = vm.construct(Value(static_cast<Object*>(vm.byteArrayClass)), {});
            const ByteArrayAccess b = byteArrayAccess(r.object());
            b.data->assign(data.begin() + std::ptrdiff_t(pos),
                           data.begin() + std::ptrdiff_t(pos + n));
            pos += n;
            objects.push_back(r);
            return r;
        }
        case VectorInt:
        case VectorUint:
        case VectorDouble:
        case VectorObject:
            return vector(data[pos - 1]);
        case DictionaryM:
            return dictionary();
        default:
            damaged();
        }
    }

private:
    std::vector<QString> strings;
    std::vector<Value> objects;
    struct TraitsInfo {
        QString className;
        bool dynamic = false, externalizable = false;
        std::vector<QString> members;
    };
    std::vector<TraitsInfo> traits;
    int depth = 0;

    std::uint32_t u29() {
        std::uint32_t v = 0;
        for (int i = 0; i < 3; ++i) {
            const std::uint8_t b = u8();
            v = (v << 7) | (b & 0x7F);
            if (!(b & 0x80))
                return v;
        }
        return (v << 8) | u8();
    }
    QString str() {
        const std::uint32_t h = u29();
        if (!(h & 1)) {
            if ((h >> 1) >= strings.size())
                damaged();
            return strings[h >> 1];
        }
        const QString s = utf8(h >> 1);
        if (!s.isEmpty())
            strings.push_back(s);
        return s;
    }
    Value ref(std::uint32_t i) {
        if (i >= objects.size())
            damaged();
        return objects[i];
    }

    Value array() {
        const std::uint32_t h = u29();
        if (!(h & 1))
            return ref(h >> 1);
        const std::uint32_t n = h >> 1;
        count(n);
        Array* a = vm.newArray();
        const Value r(static_cast<Object*>(a));
        objects.push_back(r);
        for (QString key = str(); !key.isEmpty(); key = str()) {
            const Value v = value();
            setRead(r, key, v);
        }
        std::vector<Value> items;
        items.reserve(n);
        for (std::uint32_t i = 0; i < n; ++i)
            items.push_back(value());
        for (std::uint32_t i = 0; i < n; ++i)
            vm.setProperty(r, vm.publicName(QString::number(i)), items[i]);
        return r;
    }

    Value object() {
        const std::uint32_t h = u29();
        if (!(h & 1))
            return ref(h >> 1);
        TraitsInfo t;
        if ((h & 3) == 1) {
            if ((h >> 2) >= traits.size())
                damaged();
            t = traits[h >> 2];
        } else {
            t.externalizable = h & 4;
            t.dynamic = h & 8;
            const std::uint32_t n = h >> 4;
            count(n);
            t.className = str();
            for (std::uint32_t i = 0; i < n; ++i)
                t.members.push_back(str());
            traits.push_back(t);
        }
        Class* c = t.className.isEmpty() ? nullptr : vm.classAliases.value(t.className);
        Value r;
        if (c)
            r = vm.construct(Value(static_cast<Object*>(c)), {});
        else if (t.externalizable)
            vm.throwError("ArgumentError", 2173,
                          QStringLiteral("Unable to read object in stream. The class %1 does "
                                         "not implement flash.utils.IExternalizable but is "
                                         "aliased to an externalizable class.")
                              .arg(t.className));
        else
            r = Value(vm.newObject());
        objects.push_back(r);
        if (t.externalizable) {
            vm.callProperty(r, vm.publicName("readExternal"),
                            std::span<const Value>(&currentBytes, 1));
            return r;
        }
        for (const QString& m : t.members) {
            const Value v = value();
            vm.setProperty(r, vm.publicName(m), v);
        }
        if (t.dynamic)
            for (QString key = str(); !key.isEmpty(); key = str())
                vm.setProperty(r, vm.publicName(key), value());
        return r;
    }

    Value vector(std::uint8_t marker) {
        const std::uint32_t h = u29();
        if (!(h & 1))
            return ref(h >> 1);
        const std::uint32_t n = h >> 1;
        count(n);
        const bool fixed = u8() != 0;
        Class* element = marker == VectorInt      ? vm.intClass
                         : marker == VectorUint   ? vm.uintClass
                         : marker == VectorDouble ? vm.numberClass
                                                  : nullptr;
        if (marker == VectorObject) {
            const QString type = str();
            if (!type.isEmpty() && type != QLatin1String("*")) {
                Object* o = vm.lookupDefinition(type).object();
                if (o && o->kind == ObjectKind::Class)
                    element = static_cast<Class*>(o);
            }
        }
        Class* vc = vm.vectorClass(element);
        const Value r = vm.construct(Value(static_cast<Object*>(vc)), {});
        objects.push_back(r);
        for (std::uint32_t i = 0; i < n; ++i) {
            Value v;
            if (marker == VectorInt)
                v = Value(std::int32_t(u32be()));
            else if (marker == VectorUint)
                v = Value::fromUint(u32be());
            else if (marker == VectorDouble)
                v = Value::number(f64());
            else
                v = value();
            vm.setProperty(r, vm.publicName(QString::number(i)), v);
        }
        if (fixed)
            vm.setProperty(r, vm.publicName("fixed"), Value(true));
        return r;
    }

    Value dictionary() {
        const std::uint32_t h = u29();
        if (!(h & 1))
            return ref(h >> 1);
        const std::uint32_t n = h >> 1;
        count(n);
        const Value weak[] = {Value(u8() != 0)};
        const Value r = vm.construct(Value(static_cast<Object*>(vm.dictionaryClass)), weak);
        objects.push_back(r);
        auto* d = static_cast<Dictionary*>(r.object());
        for (std::uint32_t i = 0; i < n; ++i) {
            const Value k = value();
            const Value v = value();
            d->set(vm, k, v);
        }
        return r;
    }
};

// --- AMF0 ---

enum Marker0 : std::uint8_t {
    Number0 = 0x00,
    Boolean0 = 0x01,
    String0 = 0x02,
    Object0 = 0x03,
    MovieClip0 = 0x04,
    Null0 = 0x05,
    Undefined0 = 0x06,
    Reference0 = 0x07,
    EcmaArray0 = 0x08,
    ObjectEnd0 = 0x09,
    StrictArray0 = 0x0A,
    Date0 = 0x0B,
    LongString0 = 0x0C,
    Unsupported0 = 0x0D,
    RecordSet0 = 0x0E,
    XmlDoc0 = 0x0F,
    TypedObject0 = 0x10,
    Amf3Switch0 = 0x11,
};

class Amf0Writer : ByteSink {
public:
    Amf0Writer(VM& vm, std::vector<std::uint8_t>& out) : ByteSink(out), vm(vm) {}
    // As Writer's: for an externalizable object's AMF3 part.
    Value currentBytes;
    std::function<void()> flush;

    void value(const Value& v) {
        switch (v.tag) {
        case Value::Tag::Undefined:
            return u8(Undefined0);
        case Value::Tag::Null:
            return u8(Null0);
        case Value::Tag::Bool:
            u8(Boolean0);
            return u8(v.b ? 1 : 0);
        case Value::Tag::Int:
            u8(Number0);
            return f64(double(v.i));
        case Value::Tag::Number:
            u8(Number0);
            return f64(v.d);
        case Value::Tag::String:
            return string(v.s());
        case Value::Tag::Object:
            return object(v.o);
        }
    }

private:
    VM& vm;
    QHash<Object*, int> objects; // every object, array and typed object, in order
    int depth = 0;

    // A string of up to 65,535 bytes, else a long string.
    void string(const QString& s) {
        const QByteArray b = s.toUtf8();
        if (b.size() <= 0xFFFF) {
            u8(String0);
            u16be(std::uint16_t(b.size()));
        } else {
            u8(LongString0);
            u32be(std::uint32_t(b.size()));
        }
        bytes(b);
    }
    // A property name; one too long for its 16-bit length is left out.
    bool name(const QString& s) {
        const QByteArray b = s.toUtf8();
        if (b.isEmpty() || b.size() > 0xFFFF)
            return false;
        u16be(std::uint16_t(b.size()));
        bytes(b);
        return true;
    }
    // The object's reference when written before; else remembers it and returns false. Past
    // the 16-bit index an object is written again, but still counts, as readers count it.
    bool reference(Object* o) {
        if (auto it = objects.find(o); it != objects.end() && *it <= 0xFFFF) {
            u8(Reference0);
            u16be(std::uint16_t(*it));
            return true;
        }
        objects.insert(o, int(objects.size()));
        return false;
    }
    void amf3(const Value& v) {
        u8(Amf3Switch0);
        Writer w(vm, out);
        w.currentBytes = currentBytes;
        w.flush = flush;
        w.value(v);
    }
    void end() {
        u16be(0);
        u8(ObjectEnd0);
    }
    void property(const QString& key, const Value& v) {
        if (const Object* f = v.object(); f && f->kind == ObjectKind::Function)
            return;
        if (name(key))
            value(v);
    }
    void dynamicProperties(Object* o) {
        // Copied first: a getter run while writing may add properties.
        std::vector<std::pair<QString, Value>> props;
        for (const Object::DynProp& p : o->dyn)
            if (p.live && p.enumerable)
                props.push_back({p.name, p.value});
        for (const auto& [key, v] : props)
            property(key, v);
    }

    void object(Object* o) {
        if (depth >= kMaxDepth)
            vm.throwError("Error", 1023, QStringLiteral("Stack overflow occurred."));
        const Deeper deeper(depth);
        const Value self(o);
        switch (o->kind) {
        case ObjectKind::Function:
        case ObjectKind::Class:
        case ObjectKind::Namespace:
        case ObjectKind::QName:
            return u8(Undefined0);
        case ObjectKind::Array:
            return array(static_cast<Array*>(o));
        case ObjectKind::Date:
            u8(Date0);
            f64(vm.toNumber(vm.callProperty(self, vm.publicName("getTime"), {})));
            return u16be(0); // time zone: unused, written as 0
        case ObjectKind::ByteArray:
        case ObjectKind::Xml:
        case ObjectKind::XmlList:
        case ObjectKind::Vector:
        case ObjectKind::Dictionary:
            return amf3(self);
        default:
            break;
        }
        if (o->cls && isClassNamed(o->cls, "flash.xml", "XMLDocument")) {
            const QByteArray b = vm.toString(self).toUtf8();
            u8(XmlDoc0);
            u32be(std::uint32_t(b.size()));
            return bytes(b);
        }
        Class* c = o->cls && o->cls != vm.objectClass ? o->cls : nullptr;
        if (isExternalizable(c))
            return amf3(self);
        if (reference(o))
            return;
        const QByteArray alias = c ? aliasOf(vm, c).toUtf8() : QByteArray();
        if (!alias.isEmpty() && alias.size() <= 0xFFFF) {
            u8(TypedObject0);
            u16be(std::uint16_t(alias.size()));
            bytes(alias);
        } else {
            u8(Object0);
        }
        if (c)
            for (const QString& m : sealedMembers(vm, c))
                property(m, vm.getProperty(self, vm.publicName(m)));
        dynamicProperties(o);
        end();
    }

    // A dense array without named properties is a strict array; any other an ECMA array,
    // its indices and names as keys.
    void array(Array* a) {
        if (reference(a))
            return;
        const std::vector<Value> items = a->items;
        bool named = false;
        for (const Object::DynProp& p : a->dyn)
            named = named || (p.live && p.enumerable);
        if (!named) {
            u8(StrictArray0);
            u32be(std::uint32_t(items.size()));
            for (const Value& v : items)
                value(v);
            return;
        }
        u8(EcmaArray0);
        u32be(std::uint32_t(items.size()));
        for (std::size_t i = 0; i < items.size(); ++i)
            property(QString::number(i), items[i]);
        dynamicProperties(a);
        end();
    }
};

class Amf0Reader : ByteSource {
public:
    Amf0Reader(VM& vm, const std::vector<std::uint8_t>& data, std::size_t& pos)
        : ByteSource(vm, data, pos) {}
    Value currentBytes;

    Value value() {
        if (depth >= kMaxDepth)
            damaged();
        const Deeper deeper(depth);
        switch (u8()) {
        case Number0:
            return Value::number(f64());
        case Boolean0:
            return Value(u8() != 0);
        case String0:
            return Value(utf8(u16be()));
        case LongString0:
            return Value(utf8(u32be()));
        case Object0:
            return properties(Value(vm.newObject()));
        case TypedObject0: {
            const QString alias = utf8(u16be());
            Class* c = vm.classAliases.value(alias);
            // Without its alias here, it comes back as a plain object.
            return properties(c && !isExternalizable(c)
                                  ? vm.construct(Value(static_cast<Object*>(c)), {})
                                  : Value(vm.newObject()));
        }
        case Null0:
            return Value::null();
        case Undefined0:
        case Unsupported0:
            return Value();
        case Reference0: {
            const std::uint16_t i = u16be();
            if (i >= objects.size())
                damaged();
            return objects[i];
        }
        case EcmaArray0:
            u32be(); // the count is a hint; the end marker ends it
            return properties(Value(static_cast<Object*>(vm.newArray())));
        case StrictArray0: {
            const std::uint32_t n = u32be();
            count(n);
            const Value r(static_cast<Object*>(vm.newArray()));
            objects.push_back(r);
            std::vector<Value> items;
            items.reserve(n);
            for (std::uint32_t i = 0; i < n; ++i)
                items.push_back(value());
            for (std::uint32_t i = 0; i < n; ++i)
                vm.setProperty(r, vm.publicName(QString::number(i)), items[i]);
            return r;
        }
        case Date0: {
            const Value arg[] = {Value::number(f64())};
            u16be(); // time zone, which readers ignore
            return vm.construct(Value(static_cast<Object*>(vm.dateClass)), arg);
        }
        case XmlDoc0: {
            const QString s = utf8(u32be());
            Class* c = definedClass(vm, "flash.xml.XMLDocument");
            const Value arg[] = {Value(s)};
            return vm.construct(Value(static_cast<Object*>(c ? c : vm.xmlClass)), arg);
        }
        case Amf3Switch0: {
            Reader r(vm, data, pos);
            r.currentBytes = currentBytes;
            return r.value();
        }
        default: // MovieClip0, RecordSet0, ObjectEnd0 out of place, and unknown markers
            damaged();
        }
    }

private:
    std::vector<Value> objects;
    int depth = 0;

    // Name and value pairs up to an empty name and the end marker, set on `r`, which is
    // remembered first so that the values may refer to it.
    Value properties(const Value& r) {
        objects.push_back(r);
        for (;;) {
            const QString key = utf8(u16be());
            if (key.isEmpty()) {
                if (u8() != ObjectEnd0)
                    damaged();
                return r;
            }
            const Value v = value();
            setRead(r, key, v);
        }
    }
};

Value writeObject(VM& vm, const Value& self, std::span<const Value> a) {
    const ByteArrayAccess b = byteArrayAccess(self.object());
    if (!b.data)
        vm.throwTypeError(1034, QStringLiteral("Type Coercion failed."));
    std::vector<std::uint8_t> encoded;
    Writer w(vm, encoded);
    w.currentBytes = self;
    // Written at the position, over what is there and past the end as needed.
    w.flush = [&] {
        std::vector<std::uint8_t>& d = *b.data;
        std::size_t& p = *b.position;
        if (p > d.size())
            d.resize(p);
        const std::size_t over = std::min(encoded.size(), d.size() - p);
        std::copy(encoded.begin(), encoded.begin() + std::ptrdiff_t(over),
                  d.begin() + std::ptrdiff_t(p));
        d.insert(d.end(), encoded.begin() + std::ptrdiff_t(over), encoded.end());
        p += encoded.size();
        encoded.clear();
    };
    if (b.objectEncoding && *b.objectEncoding == 0) {
        Amf0Writer w0(vm, encoded);
        w0.currentBytes = self;
        w0.flush = w.flush;
        w0.value(a.empty() ? Value() : a[0]);
    } else {
        w.value(a.empty() ? Value() : a[0]);
    }
    w.flush();
    return Value();
}

Value readObject(VM& vm, const Value& self, std::span<const Value>) {
    const ByteArrayAccess b = byteArrayAccess(self.object());
    if (!b.data)
        vm.throwTypeError(1034, QStringLiteral("Type Coercion failed."));
    if (b.objectEncoding && *b.objectEncoding == 0) {
        Amf0Reader r(vm, *b.data, *b.position);
        r.currentBytes = self;
        return r.value();
    }
    Reader r(vm, *b.data, *b.position);
    r.currentBytes = self;
    return r.value();
}

Value registerClassAlias(VM& vm, const Value&, std::span<const Value> a) {
    if (a.size() < 2 || a[0].tag != Value::Tag::String || a[0].s().isEmpty())
        vm.throwTypeError(2007, QStringLiteral("Parameter aliasName must be non-null."));
    Object* o = a[1].object();
    if (!o || o->kind != ObjectKind::Class)
        vm.throwTypeError(2007, QStringLiteral("Parameter classObject must be non-null."));
    vm.classAliases.insert(a[0].s(), static_cast<Class*>(o));
    return Value();
}

Value getClassByAlias(VM& vm, const Value&, std::span<const Value> a) {
    const QString alias = a.empty() ? QString() : vm.toString(a[0]);
    Class* c = vm.classAliases.value(alias);
    if (!c)
        vm.throwError("ReferenceError", 1014,
                      QStringLiteral("Class %1 could not be found.").arg(alias));
    return Value(static_cast<Object*>(c));
}

} // namespace

void writeAmf3(VM& vm, const Value& v, std::vector<std::uint8_t>& out) {
    Writer(vm, out).value(v);
}

Value readAmf3(VM& vm, const std::vector<std::uint8_t>& data, std::size_t& pos) {
    return Reader(vm, data, pos).value();
}

void writeAmf0(VM& vm, const Value& v, std::vector<std::uint8_t>& out) {
    Amf0Writer(vm, out).value(v);
}

Value readAmf0(VM& vm, const std::vector<std::uint8_t>& data, std::size_t& pos) {
    return Amf0Reader(vm, data, pos).value();
}

void installAmf(VM& vm) {
    for (auto [name, fn] :
         {std::pair<const char*, NativeFn>{"registerClassAlias", registerClassAlias},
          {"getClassByAlias", getClassByAlias}})
        vm.defineGlobal(QStringLiteral("flash.net"), QString::fromLatin1(name),
                        Value(static_cast<Object*>(vm.makeNative(QString::fromLatin1(name), fn))));
    Class* c = vm.byteArrayClass;
    for (auto [name, fn] : {std::pair<const char*, NativeFn>{"writeObject", writeObject},
                            {"readObject", readObject}}) {
        vm.addMethod(c, QString::fromLatin1(name), fn);
        Binding* b = c->instanceTraits.find(QString::fromLatin1(name), vm.as3Ns());
        c->instanceTraits.add(QString::fromLatin1(name), vm.publicNs(), *b);
    }
    Class* enc = vm.defineNativeClass(QStringLiteral("flash.net"), QStringLiteral("ObjectEncoding"),
                                      vm.objectClass, nullptr, true);
    for (auto [name, v] :
         {std::pair<const char*, std::uint32_t>{"AMF0", 0}, {"AMF3", 3}, {"DEFAULT", 3}})
        vm.addStaticValue(enc, QString::fromLatin1(name), Value::fromUint(v));
}

} // namespace swf::avm2
