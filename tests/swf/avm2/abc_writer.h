#pragma once

// Writes ABC blocks for tests: the encodings of the bytecode format and a builder of small
// but complete blocks (pools, one method with a body, one script).

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace avm2test {

struct AbcBytes {
    std::vector<std::uint8_t> b;

    AbcBytes& u8(std::uint8_t v) {
        b.push_back(v);
        return *this;
    }
    AbcBytes& u16(std::uint16_t v) { return u8(v & 0xFF).u8(v >> 8); }
    AbcBytes& u30(std::uint32_t v) {
        do {
            std::uint8_t byte = v & 0x7F;
            v >>= 7;
            if (v)
                byte |= 0x80;
            b.push_back(byte);
        } while (v);
        return *this;
    }
    AbcBytes& s32(std::int32_t v) { return u30(std::uint32_t(v)); }
    AbcBytes& s24(std::int32_t v) {
        const auto u = std::uint32_t(v);
        return u8(u & 0xFF).u8((u >> 8) & 0xFF).u8((u >> 16) & 0xFF);
    }
    AbcBytes& d64(double d) {
        std::uint64_t bits;
        std::memcpy(&bits, &d, 8);
        for (int i = 0; i < 8; ++i)
            u8(std::uint8_t(bits >> (8 * i)));
        return *this;
    }
    AbcBytes& str(const std::string& s) {
        u30(std::uint32_t(s.size()));
        b.insert(b.end(), s.begin(), s.end());
        return *this;
    }
    AbcBytes& raw(const std::vector<std::uint8_t>& v) {
        b.insert(b.end(), v.begin(), v.end());
        return *this;
    }
};

// A block whose entry script runs `code` (a body with the given sizes). The pools hold:
// strings 1 "" 2 "trace" 3..: `extraStrings`; namespace 1 public ""; multiname 1 QName(public,
// "trace"), then QName(public, s) for each extra string in order (multiname 2, 3, ...), an
// attribute name QNameA(public, s) for "@s" (whose pool string is then s);
// ints and doubles as given.
struct SimpleAbc {
    std::vector<std::string> extraStrings;
    std::vector<std::int32_t> ints;
    std::vector<double> doubles;
    std::vector<std::uint8_t> code;
    std::uint32_t maxStack = 16, localCount = 8, maxScope = 8;
    struct Handler {
        std::uint32_t from, to, target, type, var;
    };
    std::vector<Handler> handlers;
    // Multinames after the strings' own (2 + extraStrings.size() on), as raw kind and data.
    std::vector<std::vector<std::uint8_t>> extraMultinames;
    // More methods (1, 2, ...), each with a body taking `params` untyped arguments; those with
    // a trait name (a multiname index) are methods of the script's global object. `flags` are
    // the method_info flags (0x40: sets dxns).
    struct Method {
        std::vector<std::uint8_t> code;
        std::uint32_t params = 0, traitName = 0, dispId = 0;
        std::uint8_t flags = 0;
    };
    std::vector<Method> methods;

    std::vector<std::uint8_t> build() const {
        AbcBytes a;
        a.u16(16).u16(46);
        a.u30(ints.empty() ? 0 : std::uint32_t(ints.size() + 1));
        for (auto i : ints)
            a.s32(i);
        a.u30(0); // uints
        a.u30(doubles.empty() ? 0 : std::uint32_t(doubles.size() + 1));
        for (auto d : doubles)
            a.d64(d);
        a.u30(std::uint32_t(3 + extraStrings.size()));
        a.str("").str("trace");
        for (const auto& s : extraStrings)
            a.str(s.size() > 1 && s[0] == '@' ? s.substr(1) : s);
        a.u30(2).u8(0x16).u30(1); // namespace 1: public
        a.u30(0);                 // ns sets
        a.u30(std::uint32_t(2 + extraStrings.size() + extraMultinames.size()));
        a.u8(0x07).u30(1).u30(2);
        for (std::size_t i = 0; i < extraStrings.size(); ++i) {
            const bool attribute = extraStrings[i].size() > 1 && extraStrings[i][0] == '@';
            a.u8(attribute ? 0x0D : 0x07).u30(1).u30(std::uint32_t(3 + i));
        }
        for (const auto& m : extraMultinames)
            a.raw(m);
        a.u30(std::uint32_t(1 + methods.size()));
        a.u30(0).u30(0).u30(0).u8(0); // the entry: no params
        for (const auto& m : methods) {
            a.u30(m.params).u30(0);
            for (std::uint32_t i = 0; i < m.params; ++i)
                a.u30(0);
            a.u30(0).u8(m.flags);
        }
        a.u30(0); // metadata
        a.u30(0); // classes
        std::uint32_t traits = 0;
        for (const auto& m : methods)
            traits += m.traitName ? 1 : 0;
        a.u30(1).u30(0).u30(traits); // one script, init = method 0
        for (std::size_t i = 0; i < methods.size(); ++i)
            if (methods[i].traitName)
                a.u30(methods[i].traitName)
                    .u8(0x01)
                    .u30(methods[i].dispId)
                    .u30(std::uint32_t(i + 1));
        a.u30(std::uint32_t(1 + methods.size()));
        a.u30(0).u30(maxStack).u30(localCount).u30(0).u30(maxScope);
        a.u30(std::uint32_t(code.size())).raw(code);
        a.u30(std::uint32_t(handlers.size()));
        for (const auto& h : handlers)
            a.u30(h.from).u30(h.to).u30(h.target).u30(h.type).u30(h.var);
        a.u30(0);
        for (std::size_t i = 0; i < methods.size(); ++i) {
            a.u30(std::uint32_t(i + 1)).u30(maxStack).u30(localCount).u30(0).u30(maxScope);
            a.u30(std::uint32_t(methods[i].code.size())).raw(methods[i].code);
            a.u30(0).u30(0);
        }
        return a.b;
    }
};

// ABC defining `class NAME extends PACKAGE.BASE` with an empty constructor.
inline std::vector<std::uint8_t> classAbc(const std::string& name, const std::string& package,
                                          const std::string& base) {
    AbcBytes a;
    a.u16(16).u16(46);
    a.u30(0).u30(0).u30(0); // ints, uints, doubles
    a.u30(5).str("").str(name).str(package).str(base);
    a.u30(3).u8(0x16).u30(1).u8(0x16).u30(3);               // the public package, the base's
    a.u30(0);                                               // namespace sets
    a.u30(3).u8(0x07).u30(1).u30(2).u8(0x07).u30(2).u30(4); // name, base
    a.u30(3); // methods: script init, constructor, class init
    for (int i = 0; i < 3; ++i)
        a.u30(0).u30(0).u30(0).u8(0);
    a.u30(0);                                             // metadata
    a.u30(1).u30(1).u30(2).u8(0x01).u30(0).u30(1).u30(0); // instance: name : base
    a.u30(2).u30(0);                                      // class: cinit, no traits
    a.u30(1).u30(0).u30(1).u30(1).u8(0x04).u30(0).u30(0); // script: trait class
    a.u30(3);
    // getlocal0 pushscope getscopeobject 0 getlex base newclass 0 initproperty name returnvoid
    const std::vector<std::uint8_t> init = {0xD0, 0x30, 0x65, 0x00, 0x60, 0x02,
                                            0x58, 0x00, 0x68, 0x01, 0x47};
    // getlocal0 pushscope getlocal0 constructsuper 0 returnvoid
    const std::vector<std::uint8_t> ctor = {0xD0, 0x30, 0xD0, 0x49, 0x00, 0x47};
    const std::vector<std::uint8_t> cinit = {0x47};
    std::uint32_t method = 0;
    for (const auto* code : {&init, &ctor, &cinit}) {
        a.u30(method++).u30(4).u30(1).u30(0).u30(4);
        a.u30(std::uint32_t(code->size())).raw(*code).u30(0).u30(0);
    }
    return a.b;
}

} // namespace avm2test
