#pragma once

// AS3 values. Numbers that are integral and fit an int32 are kept as Int, others as Number;
// the language cannot tell the two apart except through `is int` and class names, which
// look at the value. Strings are Qt's UTF-16 strings (AS3 strings are 16-bit code units).

#include <QString>
#include <cmath>
#include <cstdint>

namespace swf::avm2 {

class Object;

struct Value {
    enum class Tag : std::uint8_t { Undefined, Null, Bool, Int, Number, String, Object };

    Value() : i(0) {}
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
    Value(bool b) : tag(Tag::Bool), b(b) {}
    Value(std::int32_t n) : tag(Tag::Int), i(n) {}
    Value(double n) { *this = number(n); }
    Value(QString str) : tag(Tag::String), i(0), s(std::move(str)) {}
    Value(const char* str) : tag(Tag::String), i(0), s(QString::fromUtf8(str)) {}
    Value(Object* obj) : tag(obj ? Tag::Object : Tag::Null), o(obj) {}

    bool isUndefined() const { return tag == Tag::Undefined; }
    bool isNull() const { return tag == Tag::Null; }
    bool isNullish() const { return tag <= Tag::Null; }
    bool isNumeric() const { return tag == Tag::Int || tag == Tag::Number; }
    bool isString() const { return tag == Tag::String; }
    bool isObject() const { return tag == Tag::Object; }
    Object* object() const { return tag == Tag::Object ? o : nullptr; }
    double toDoubleFast() const { return tag == Tag::Int ? double(i) : d; } // numeric only

    Tag tag = Tag::Undefined;
    union {
        bool b;
        std::int32_t i;
        double d;
        Object* o;
    };
    QString s;
};

} // namespace swf::avm2
