#pragma once

// AVM1 values and objects. Objects live in a Heap owned by one VM and are collected by
// mark and sweep between scripts, never while one runs, so raw pointers on the C++ stack
// stay valid for a whole script.

#include <QHash>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <vector>

namespace swf {
class MovieClip;
class DisplayObject;
class BitmapData;
} // namespace swf

namespace swf::avm1 {

class Object;
class VM;

struct Value {
    enum class Type : std::uint8_t { Undefined, Null, Boolean, Number, String, Object };

    Value() = default;
    static Value null() {
        Value v;
        v.type = Type::Null;
        return v;
    }
    Value(bool b) : type(Type::Boolean), boolean(b) {}
    Value(double n) : type(Type::Number), number(n) {}
    Value(int n) : type(Type::Number), number(n) {}
    Value(QString s) : type(Type::String), string(std::move(s)) {}
    Value(const char* s) : type(Type::String), string(QString::fromUtf8(s)) {}
    Value(Object* o) : type(o ? Type::Object : Type::Null), object(o) {}

    bool isUndefined() const { return type == Type::Undefined; }
    bool isNull() const { return type == Type::Null; }
    bool isNullish() const { return type == Type::Undefined || type == Type::Null; }
    bool isNumber() const { return type == Type::Number; }
    bool isString() const { return type == Type::String; }
    bool isObject() const { return type == Type::Object; }
    Object* asObject() const { return type == Type::Object ? object : nullptr; }

    Type type = Type::Undefined;
    bool boolean = false;
    double number = 0;
    Object* object = nullptr;
    QString string;
};

enum PropertyFlag : std::uint8_t { DontEnum = 1, DontDelete = 2, ReadOnly = 4 };

using NativeFn = std::function<Value(VM&, Value self, std::span<const Value> args)>;

// A function written in ActionScript: its code and what it closed over.
struct ScriptFunction {
    std::span<const std::uint8_t> code;
    std::uint8_t version = 0;
    QString name;
    std::vector<QString> params;
    std::vector<std::uint8_t> paramRegisters; // DefineFunction2: 0 = ordinary local
    bool isFunction2 = false;
    std::uint8_t registerCount = 0;
    std::uint16_t flags = 0; // DefineFunction2 flags, byte 1 low, byte 2 high
    std::vector<Object*> scope;
    std::shared_ptr<const std::vector<QString>> pool;
    Object* target = nullptr; // the timeline the function was defined in
};

class Object {
public:
    enum class Kind : std::uint8_t {
        Plain,
        Function,
        Array,
        Clip,
        Boolean,
        Number,
        String,
        Date,
        Super,
        Activation,
        TextField,
    };

    struct Slot {
        QString name;
        QString key;
        Value value;
        std::uint8_t flags = 0;
        Object* getter = nullptr; // addProperty
        Object* setter = nullptr;
    };

    explicit Object(Kind k = Kind::Plain) : kind(k) {}
    virtual ~Object() = default;

    Kind kind;
    Object* proto = nullptr; // __proto__
    bool marked = false;

    // Own properties, in the order they were added.
    const std::vector<Slot>& properties() const { return m_slots; }
    Slot* find(const QString& key);
    const Slot* find(const QString& key) const;
    Slot& put(const QString& name, const QString& key, Value v, std::uint8_t flags = 0);
    bool remove(const QString& key);

    // Function data (Kind::Function).
    NativeFn native;
    NativeFn nativeConstruct; // when `new` must differ from a plain call
    std::unique_ptr<ScriptFunction> script;
    // Array elements (Kind::Array).
    std::vector<Value> elements;
    // Boxed primitive (Boolean, Number, String, Date).
    Value primitive;
    // Kind::Clip: the timeline shown; null once removed from the stage.
    MovieClip* clip = nullptr;
    // Kind::TextField: the edit text shown and the timeline holding it; null once removed.
    DisplayObject* field = nullptr;
    MovieClip* fieldParent = nullptr;
    // Kind::Super: where the lookup continues and the object methods run on.
    Object* superProto = nullptr;
    Object* superThis = nullptr;
    // Anything else the object keeps alive (e.g. interval callbacks hold their arguments).
    std::vector<Value> extra;
    std::vector<Object*> interfaces; // implementsOp
    // flash.display.BitmapData: its pixels (null once disposed or when never valid).
    std::shared_ptr<BitmapData> bitmapData;

private:
    std::vector<Slot> m_slots;
    QHash<QString, int> m_index; // built once an object has many properties
    void reindex();
};

// Owns every object of one VM.
class Heap {
public:
    template <typename T = Object, typename... A> T* make(A&&... a) {
        auto p = std::make_unique<T>(std::forward<A>(a)...);
        T* raw = p.get();
        m_objects.push_back(std::move(p));
        return raw;
    }
    std::size_t size() const { return m_objects.size(); }
    // Frees every object not reachable from `roots`.
    void collect(const std::vector<Object*>& roots, const std::vector<const Value*>& valueRoots);

private:
    std::vector<std::unique_ptr<Object>> m_objects;
};

// Number to text as the player prints it: up to 15 significant digits, exponent outside
// 1e-5 .. 1e15.
QString numberToString(double d);
// Text to number: decimal, hex with 0x, surrounding white space; anything else is NaN.
double stringToNumber(const QString& s, std::uint8_t version);
std::int32_t toInt32(double d);

} // namespace swf::avm1
