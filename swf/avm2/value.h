#pragma once

// AS3 values. Numbers that are integral and fit an int32 are kept as Int, others as Number;
// the language cannot tell the two apart except through `is int` and class names, which
// look at the value. Strings are Qt's UTF-16 strings (AS3 strings are 16-bit code units).

#include <QString>
#include <cmath>
#include <cstdint>
#include <new>
#include <utility>

namespace swf::avm2 {

class Object;

struct Value {
    enum class Tag : std::uint8_t { Undefined, Null, Bool, Int, Number, String, Object };

    Value() : bits(0) { new (&s) QString(); }
    static Value null() {
        Value v;
        v.tag = Tag::Null;
        return v;
    }
    static Value number(double d) {
        Value v;
        const auto n = std::int32_t(d > -2147483649.0 && d < 2147483648.0 ? d : 0);
        if (double(n) == d && !(n == 0 && std::signbit(d))) {
            v.tag = Tag::Int;
            v.i = n;
        } else {
            v.tag = Tag::Number;
            v.d = d;
        }
        return v;
    }
    static Value fromUint(std::uint32_t u) {
        return u <= 0x7FFFFFFFu ? Value(std::int32_t(u)) : number(double(u));
    }
    Value(bool b) : tag(Tag::Bool), bits(0) {
        this->b = b;
        new (&s) QString();
    }
    Value(std::int32_t n) : tag(Tag::Int), bits(0) {
        i = n;
        new (&s) QString();
    }
    Value(double n) : bits(0) {
        new (&s) QString();
        *this = number(n);
    }
    Value(QString str) : tag(Tag::String), bits(0) { new (&s) QString(std::move(str)); }
    Value(const char* str) : tag(Tag::String), bits(0) { new (&s) QString(QString::fromUtf8(str)); }
    Value(Object* obj) : tag(obj ? Tag::Object : Tag::Null), o(obj) { new (&s) QString(); }

    bool isUndefined() const { return tag == Tag::Undefined; }
    bool isNull() const { return tag == Tag::Null; }
    bool isNullish() const { return tag <= Tag::Null; }
    bool isNumeric() const { return tag == Tag::Int || tag == Tag::Number; }
    bool isString() const { return tag == Tag::String; }
    bool isObject() const { return tag == Tag::Object; }
    Object* object() const { return tag == Tag::Object ? o : nullptr; }
    double toDoubleFast() const { return tag == Tag::Int ? double(i) : d; } // numeric only

    // Values are copied and moved on every instruction; most hold no string, so the string's
    // own (out of line) copy, move and destruction run only when one side has one.
    Value(const Value& v) : tag(v.tag), bits(v.bits) {
        if (!v.s.isNull())
            new (&s) QString(v.s);
        else
            new (&s) QString();
    }
    Value(Value&& v) noexcept : tag(v.tag), bits(v.bits) {
        if (!v.s.isNull())
            new (&s) QString(std::move(v.s));
        else
            new (&s) QString();
    }
    Value& operator=(const Value& v) {
        tag = v.tag;
        bits = v.bits;
        if (!s.isNull() || !v.s.isNull())
            s = v.s;
        return *this;
    }
    Value& operator=(Value&& v) noexcept {
        tag = v.tag;
        bits = v.bits;
        if (!s.isNull() || !v.s.isNull())
            s = std::move(v.s);
        return *this;
    }
    ~Value() {
        if (!s.isNull())
            s.~QString();
    }

    Tag tag = Tag::Undefined;
    union {
        bool b;
        std::int32_t i;
        double d;
        Object* o;
        std::uint64_t bits; // the whole payload, for copying
    };
    // Always alive (null unless set); kept in a union so that its destruction can be skipped.
    union {
        QString s;
    };
};

} // namespace swf::avm2
