#pragma once

// AS3 values. Numbers that are integral and fit an int32 are kept as Int, others as Number;
// the language cannot tell the two apart except through `is int` and class names, which
// look at the value. Strings are Qt's UTF-16 strings (AS3 strings are 16-bit code units).

#include <QString>
#include <bit>
#include <cmath>
#include <cstdint>
#include <new>
#include <utility>

namespace swf::avm2 {

class Object;

// A string value's text, shared by every copy of the value (the VM runs on one thread).
struct StringBox {
    QString str;
    std::uint32_t refs;
};
// What `s()` reads on a value holding no string. A null QString needs no dynamic initialisation.
inline constinit const QString kNoString{};

// 16 bytes: a tag and an 8-byte payload. Values are copied on every instruction, so copies
// touch the text only when there is one, and then only to count it.
struct Value {
    enum class Tag : std::uint8_t { Undefined, Null, Bool, Int, Number, String, Object };

    Value() noexcept : bits(0) {}
    static Value null() {
        Value v;
        v.tag = Tag::Null;
        return v;
    }
    static Value number(double d) {
        Value v;
        if (!maybeInt(d)) {
            v.tag = Tag::Number;
            v.d = d;
            return v;
        }
        const auto n = std::int32_t(d > -2147483649.0 && d < 2147483648.0 ? d : 0);
        if (double(n) == d && !(n == 0 && std::signbit(d))) {
            v.tag = Tag::Int;
            v.bits = intBits(n);
        } else {
            v.tag = Tag::Number;
            v.d = d;
        }
        return v;
    }
    static Value fromUint(std::uint32_t u) {
        return u <= 0x7FFFFFFFu ? Value(std::int32_t(u)) : number(double(u));
    }
    Value(bool b) noexcept : tag(Tag::Bool), bits(boolBits(b)) {}
    Value(std::int32_t n) noexcept : tag(Tag::Int), bits(intBits(n)) {}
    Value(double n) noexcept : bits(std::bit_cast<std::uint64_t>(n)) {
        if (!maybeInt(n)) {
            tag = Tag::Number;
            return;
        }
        const auto k = std::int32_t(n > -2147483649.0 && n < 2147483648.0 ? n : 0);
        if (double(k) == n && !(k == 0 && std::signbit(n))) {
            tag = Tag::Int;
            bits = intBits(k);
        } else {
            tag = Tag::Number;
        }
    }
    Value(QString str) : tag(Tag::String), box(new StringBox{std::move(str), 1}) {}
    Value(const char* str) : Value(QString::fromUtf8(str)) {}
    static_assert(sizeof(Object*) == 8 || std::endian::native == std::endian::little,
                  "an object payload is written as the whole word");
    Value(Object* obj) noexcept
        : tag(obj ? Tag::Object : Tag::Null), bits(std::uint64_t(std::uintptr_t(obj))) {}

    bool isUndefined() const { return tag == Tag::Undefined; }
    bool isNull() const { return tag == Tag::Null; }
    bool isNullish() const { return tag <= Tag::Null; }
    bool isNumeric() const { return tag == Tag::Int || tag == Tag::Number; }
    bool isString() const { return tag == Tag::String; }
    bool isObject() const { return tag == Tag::Object; }
    Object* object() const { return tag == Tag::Object ? o : nullptr; }
    double toDoubleFast() const { return tag == Tag::Int ? double(i) : d; } // numeric only

    // A move is a copy: copying a string value costs one count, and the value moved from
    // stays whole.
    // Inlined even in the interpreter's large loop, where GCC would otherwise call them.
    [[gnu::always_inline]] Value(const Value& v) noexcept : tag(v.tag), bits(v.bits) {
        if (tag == Tag::String)
            ++box->refs;
    }
    [[gnu::always_inline]] Value(Value&& v) noexcept : Value(static_cast<const Value&>(v)) {}
    [[gnu::always_inline]] Value& operator=(const Value& v) noexcept {
        // Without text on either side there is no count to keep.
        if (tag != Tag::String && v.tag != Tag::String) {
            tag = v.tag;
            bits = v.bits;
            return *this;
        }
        return assignText(v);
    }
    [[gnu::always_inline]] Value& operator=(Value&& v) noexcept {
        return *this = static_cast<const Value&>(v);
    }
    [[gnu::always_inline]] ~Value() { release(); }

    Tag tag = Tag::Undefined;
    union {
        bool b;
        std::int32_t i;
        double d;
        Object* o;
        StringBox* box;     // String: the shared text
        std::uint64_t bits; // the whole payload, for copying
    };
    // The text of a String value; an empty (null) string for every other kind.
    const QString& s() const { return tag == Tag::String ? box->str : kNoString; }

    // The whole payload of an int or a boolean, written in one store: filling the payload with
    // zero and then writing its low half makes the next copy of the value, which reads the
    // payload whole, wait until both stores have landed.
    // Whether a double may hold an int32: one that does has its lowest 22 bits zero (its value
    // needs at most 31 of the 52 fraction bits). Most results of Number arithmetic do not, and
    // are known for what they are without waiting for two conversions.
    static bool maybeInt(double d) { return (std::bit_cast<std::uint64_t>(d) & 0x3FFFFF) == 0; }
    static constexpr std::uint64_t intBits(std::int32_t n) {
        if constexpr (std::endian::native == std::endian::little)
            return std::uint32_t(n);
        else
            return std::uint64_t(std::uint32_t(n)) << 32;
    }
    static constexpr std::uint64_t boolBits(bool b) {
        if constexpr (std::endian::native == std::endian::little)
            return b ? 1 : 0;
        else
            return b ? std::uint64_t(1) << 56 : 0;
    }

private:
    [[gnu::noinline]] Value& assignText(const Value& v) noexcept {
        if (this == &v)
            return *this;
        if (v.tag == Tag::String)
            ++v.box->refs; // first, in case v's text is held only by this value
        release();
        tag = v.tag;
        bits = v.bits;
        return *this;
    }
    [[gnu::always_inline]] void release() noexcept {
        if (tag == Tag::String)
            dropText(box);
    }
    // Out of line: strings are the rare case, and GCC cannot see that a count it watched go up
    // and down was above zero, so it warns of a use after free where none can happen.
    [[gnu::noinline]] static void dropText(StringBox* b) noexcept {
        if (--b->refs == 0)
            delete b;
    }
};

} // namespace swf::avm2
