// The bytecode interpreter: method entry (arguments, defaults, rest) and the instruction loop.

#include "swf/avm2/dictionary.h"
#include "swf/avm2/proxy.h"
#include "swf/avm2/qname.h"
#include "swf/avm2/strings.h"
#include "swf/avm2/vm.h"
#include "swf/avm2/xml.h"

#include <array>
#include <cmath>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#include <cstring>
#include <memory>

// Threaded dispatch (labels as values, which GCC and clang have); REELWICK_AVM2_SWITCH, or
// another compiler, gives the portable switch.
#if defined(__GNUC__) && !defined(REELWICK_AVM2_SWITCH)
#define AVM2_THREADED 1
#define AVM2_LABEL(l)                                                                              \
    l:
#else
#define AVM2_THREADED 0
#define AVM2_LABEL(l)
#endif
// A handler ends with AVM2_NEXT, which in threaded form jumps to its own copy of the dispatch
// (AVM2_TAIL, after the handler's block so that its locals have ended).
#if AVM2_THREADED
#define AVM2_NEXT(n) goto tail_##n
#define AVM2_TAIL(n) tail_##n : AVM2_DISPATCH();
#else
#define AVM2_NEXT(n) break
#define AVM2_TAIL(n)
#endif
#define AVM2_OP(x)                                                                                 \
    case x:                                                                                        \
        AVM2_LABEL(op_##x)

// Every opcode the instruction loop has a case for.
// clang-format off
#define AVM2_HANDLED_OPS(X) \
    X(0x01) X(0x02) X(0x09) X(0xF3) X(0x03) X(0x04) X(0x05) X(0x06) X(0x07) X(0x08) X(0x0C) X(0x0D) \
    X(0x0E) X(0x0F) X(0x15) X(0x16) X(0x17) X(0x18) X(0x10) X(0x11) X(0x12) X(0x13) X(0x14) X(0x19) \
    X(0x1A) X(0x1B) X(0x1C) X(0x30) X(0x1D) X(0x1E) X(0x23) X(0x1F) X(0x20) X(0x21) X(0x24) X(0x25) \
    X(0x26) X(0x27) X(0x28) X(0x29) X(0x2A) X(0x2B) X(0x2C) X(0x2D) X(0x2E) X(0x2F) X(0x31) X(0x32) \
    X(0x35) X(0x36) X(0x37) X(0x38) X(0x39) X(0x3A) X(0x3B) X(0x3C) X(0x3D) X(0x3E) X(0x40) X(0x41) \
    X(0x42) X(0x43) X(0x44) X(0x45) X(0x4E) X(0x46) X(0x4C) X(0x4F) X(0x47) X(0x48) X(0x49) X(0x4A) \
    X(0x50) X(0x51) X(0x52) X(0x53) X(0x55) X(0x56) X(0x57) X(0x58) X(0x59) X(0x5A) X(0x5D) X(0x5E) \
    X(0x5F) X(0x60) X(0x61) X(0x68) X(0x62) X(0x63) X(0x64) X(0x65) X(0x67) X(0x66) X(0x6A) X(0x6C) \
    X(0x6D) X(0x6E) X(0x6F) X(0x70) X(0x71) X(0x72) X(0x73) X(0x83) X(0x74) X(0x88) X(0x75) X(0x84) \
    X(0x76) X(0x81) X(0x77) X(0x78) X(0x80) X(0x82) X(0x85) X(0x86) X(0x87) X(0xB3) X(0x89) X(0x90) \
    X(0x91) X(0x93) X(0x92) X(0x94) X(0x95) X(0x96) X(0x97) X(0xA0) X(0xA1) X(0xA2) X(0xA3) X(0xA4) \
    X(0xA5) X(0xA6) X(0xA7) X(0xA8) X(0xA9) X(0xAA) X(0xC5) X(0xC6) X(0xC7) X(0xAB) X(0xAC) X(0xAD) \
    X(0xAE) X(0xAF) X(0xB0) X(0xB1) X(0xB2) X(0xB4) X(0xC0) X(0xC1) X(0xC2) X(0xC3) X(0xC4) X(0xD0) \
    X(0xD1) X(0xD2) X(0xD3) X(0xD4) X(0xD5) X(0xD6) X(0xD7) X(0xEF) X(0xF0) X(0xF1) X(0xF2) \
    AVM2_FUSED_OPS(X)
// The binary operators a getlocal or an integer constant before them is fused with (see
// fuseOperands): index k of this list is fused opcode 0x110 + k (local) and 0x130 + k (constant).
#define AVM2_FUSABLE(X) \
    X(0, 0xA0) X(1, 0xA1) X(2, 0xA2) X(3, 0xA3) X(4, 0xA5) X(5, 0xA6) X(6, 0xA7) X(7, 0xA8) \
    X(8, 0xA9) X(9, 0xAA) X(10, 0xC5) X(11, 0xC6) X(12, 0xC7)
#define AVM2_FUSED_OPS(X) \
    X(0x110) X(0x111) X(0x112) X(0x113) X(0x114) X(0x115) X(0x116) X(0x117) X(0x118) X(0x119) \
    X(0x11A) X(0x11B) X(0x11C) \
    X(0x130) X(0x131) X(0x132) X(0x133) X(0x134) X(0x135) X(0x136) X(0x137) X(0x138) X(0x139) \
    X(0x13A) X(0x13B) X(0x13C)
// clang-format on

namespace swf::avm2 {

namespace {

// The sum or difference of two ints: an Int while it fits, else the Number it is.
[[gnu::always_inline]] inline Value intResult(std::int64_t v) {
    if (v >= INT32_MIN && v <= INT32_MAX)
        return Value(std::int32_t(v));
    return Value(double(v));
}

// Value::number for arithmetic results, with one conversion instead of a range check and a
// conversion where one is needed: cvttsd2si gives INT32_MIN for NaN and anything out of range,
// which then fails the comparison unless the result was exactly INT32_MIN.
[[gnu::always_inline]] inline Value numberResult(double d) {
    if (!Value::maybeInt(d)) [[likely]] {
        Value v;
        v.tag = Value::Tag::Number;
        v.d = d;
        return v;
    }
#if defined(__SSE2__)
    const std::int32_t k = _mm_cvttsd_si32(_mm_set_sd(d));
    if (double(k) == d && (k != 0 || !std::signbit(d)))
        return Value(k);
    Value v;
    v.tag = Value::Tag::Number;
    v.d = d;
    return v;
#else
    return Value::number(d);
#endif
}

// Operand forms, for decoding.
enum Form : std::uint8_t { None, U30, U30x2, U8, Branch, Switch, Debug, Illegal };

constexpr std::array<Form, 256> makeForms() {
    std::array<Form, 256> f{};
    for (auto& x : f)
        x = Illegal;
    for (int op :
         {0x01, 0x02, 0x03, 0x07, 0x09, 0x1C, 0x1D, 0x1E, 0x1F, 0x20, 0x21, 0x23, 0x26, 0x27,
          0x28, 0x29, 0x2A, 0x2B, 0x30, 0x35, 0x36, 0x37, 0x38, 0x39, 0x3A, 0x3B, 0x3C, 0x3D,
          0x3E, 0x47, 0x48, 0x50, 0x51, 0x52, 0x57, 0x64, 0x70, 0x71, 0x72, 0x73, 0x74, 0x75,
          0x76, 0x77, 0x78, 0x81, 0x82, 0x83, 0x84, 0x85, 0x87, 0x88, 0x89, 0x90, 0x91, 0x93,
          0x95, 0x96, 0x97, 0xA0, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5, 0xA6, 0xA7, 0xA8, 0xA9, 0xAA,
          0xAB, 0xAC, 0xAD, 0xAE, 0xAF, 0xB0, 0xB1, 0xB3, 0xB4, 0xC0, 0xC1, 0xC4, 0xC5, 0xC6,
          0xC7, 0xD0, 0xD1, 0xD2, 0xD3, 0xD4, 0xD5, 0xD6, 0xD7, 0xF3})
        f[std::size_t(op)] = None;
    for (int op :
         {0x04, 0x05, 0x06, 0x08, 0x25, 0x2C, 0x2D, 0x2E, 0x2F, 0x31, 0x40, 0x41, 0x42, 0x49, 0x53,
          0x55, 0x56, 0x58, 0x59, 0x5A, 0x5D, 0x5E, 0x5F, 0x60, 0x61, 0x62, 0x63, 0x66, 0x67, 0x68,
          0x6A, 0x6C, 0x6D, 0x6E, 0x6F, 0x80, 0x86, 0x92, 0x94, 0xB2, 0xC2, 0xC3, 0xF0, 0xF1, 0xF2})
        f[std::size_t(op)] = U30;
    for (int op : {0x32, 0x43, 0x44, 0x45, 0x46, 0x4A, 0x4C, 0x4E, 0x4F})
        f[std::size_t(op)] = U30x2;
    for (int op : {0x24, 0x65})
        f[std::size_t(op)] = U8;
    for (int op = 0x0C; op <= 0x1A; ++op)
        f[std::size_t(op)] = Branch;
    f[0x1B] = Switch;
    f[0xEF] = Debug;
    return f;
}
constexpr std::array<Form, 256> kForms = makeForms();

// Opcodes of the decoded form that no byte has (the low 9 bits of an instruction word).
constexpr std::uint32_t kOpEnd = 0x100;         // running off the end of the body
constexpr std::uint32_t kOpTruncated = 0x101;   // an instruction cut short by the end
constexpr std::uint32_t kOpBadSwitch = 0x102;   // a lookupswitch whose count passes the body
constexpr std::uint32_t kOpBadRegister = 0x103; // a getlocal or setlocal past the registers
constexpr std::uint32_t kMaxLength = (1u << 23) - 1;

// The opcode of the fused form of `getlocal n` (local) or `pushbyte`/`pushint` (constant)
// followed by the binary operator `binop`; 0 when that operator is not fused.
constexpr std::uint32_t fusedOp(std::uint32_t binop, bool local) {
    const std::uint32_t base = local ? 0x110 : 0x130;
    switch (binop) {
#define AVM2_FUSED_CASE(k, b)                                                                      \
    case b:                                                                                        \
        return base + k;
        AVM2_FUSABLE(AVM2_FUSED_CASE)
#undef AVM2_FUSED_CASE
    }
    return 0;
}

// The slot a getproperty or setproperty of a fixed name found last, kept in the instruction's own
// words after the name's index: the serial of the traits table it was found in (no other table
// ever has it, and the table's changes renew it) and the slot. Serial 0 is no table's.
// A hit reads or writes the object's slot without looking the name up.
struct SiteCache {
    static constexpr std::uint32_t kWords = 3;
    // `w` points at the instruction's first word.
    static bool matches(const std::uint32_t* w, const Traits* t) {
        return t && (std::uint64_t(w[2]) | std::uint64_t(w[3]) << 32) == t->serial;
    }
    static std::uint32_t slot(const std::uint32_t* w) { return w[4]; }
    static void fill(std::uint32_t* w, const Traits* t, std::uint32_t slot) {
        w[2] = std::uint32_t(t->serial);
        w[3] = std::uint32_t(t->serial >> 32);
        w[4] = slot;
    }
    static bool has(std::uint32_t first) { return (first >> 9) == 2 + kWords; }
};

// Operands fused into the operator that follows them: `getlocal n; multiply` becomes one
// instruction reading the register in place of the pushed copy, `pushbyte 3; lshift` one
// taking its constant from the operand word. Only the first instruction changes (its opcode,
// and for a constant its operand becomes the value itself), so a branch to the operator still
// finds the operator; the fused handler does the plain first instruction whenever its operands
// are not both numbers.
// A getlocal or setlocal of a register the method does not have fails when it runs (a
// VerifyError, as every other bad operand); the decoder marks it, so that the handlers of the
// good ones, which are a third of all instructions run, need not check.
void checkRegisters(DecodedBody& d, std::uint32_t localCount) {
    std::vector<std::uint32_t>& w = d.words;
    for (std::size_t i = 0; i < w.size();) {
        const std::uint32_t op = w[i] & 0x1FF, len = w[i] >> 9;
        if (len == 0)
            break;
        const bool bad = ((op == 0x62 || op == 0x63) && len == 2 && w[i + 1] >= localCount) ||
                         (op >= 0xD0 && op <= 0xD3 && op - 0xD0 >= localCount) ||
                         (op >= 0xD4 && op <= 0xD7 && op - 0xD4 >= localCount);
        if (bad)
            w[i] = kOpBadRegister | (len << 9);
        i += len;
    }
}

void fuseOperands(DecodedBody& d, const std::vector<std::int32_t>& ints) {
    std::vector<std::uint32_t>& w = d.words;
    for (std::size_t i = 0; i < w.size();) {
        const std::uint32_t op = w[i] & 0x1FF, len = w[i] >> 9;
        const std::size_t next = i + len;
        if (len == 0 || next >= w.size())
            break;
        const std::uint32_t nextOp = w[next] & 0x1FF;
        if (len == 2 && (w[next] >> 9) == 1) {
            if (op == 0x62 && fusedOp(nextOp, true)) {
                w[i] = fusedOp(nextOp, true) | (len << 9);
            } else if (op == 0x24 && fusedOp(nextOp, false)) {
                w[i] = fusedOp(nextOp, false) | (len << 9);
                w[i + 1] = std::uint32_t(std::int32_t(std::int8_t(w[i + 1])));
            } else if (op == 0x2D && w[i + 1] < ints.size() && fusedOp(nextOp, false)) {
                w[i] = fusedOp(nextOp, false) | (len << 9);
                w[i + 1] = std::uint32_t(ints[w[i + 1]]);
            }
        }
        i = next;
    }
}

std::unique_ptr<DecodedBody> decode(const std::vector<std::uint8_t>& code,
                                    const std::vector<std::int32_t>& ints,
                                    const std::vector<MultinameInfo>& multinames,
                                    std::uint32_t localCount) {
    auto d = std::make_unique<DecodedBody>();
    const std::size_t size = code.size();
    d->words.reserve(size + 1);
    d->wordAt.assign(size + 1, DecodedBody::kNoWord);
    std::vector<std::size_t> branchWords; // operands holding a byte target until the second pass
    std::size_t pc = 0;
    bool cut = false;
    auto u8 = [&]() -> std::uint32_t {
        if (pc >= size) {
            cut = true;
            return 0;
        }
        return code[pc++];
    };
    auto u30 = [&]() -> std::uint32_t {
        std::uint32_t v = 0;
        for (int i = 0; i < 5 && !cut; ++i) {
            const std::uint32_t b = u8();
            v |= (b & 0x7F) << (7 * i);
            if (!(b & 0x80))
                break;
        }
        return v;
    };
    auto s24 = [&]() -> std::int64_t {
        std::uint32_t v = u8();
        v |= u8() << 8;
        v |= u8() << 16;
        if (v & 0x800000)
            v |= 0xFF000000u;
        return std::int32_t(v);
    };
    // A byte target as the raw reader checks it (inside the body, its end included); mapped to a
    // word index once every instruction's start is known.
    auto target = [&](std::int64_t t) -> std::uint32_t {
        return t < 0 || t > std::int64_t(size) ? DecodedBody::kNoWord : std::uint32_t(t);
    };
    std::vector<std::uint32_t> ops;
    while (pc < size) {
        const std::size_t start = pc;
        const std::size_t first = d->words.size();
        const std::uint8_t op = code[pc++];
        ops.clear();
        std::vector<std::size_t> branches; // indices into ops
        switch (kForms[op]) {
        case None:
        case Illegal:
            break;
        case U30:
            ops.push_back(u30());
            break;
        case U30x2:
            ops.push_back(u30());
            ops.push_back(u30());
            break;
        case U8:
            ops.push_back(u8());
            break;
        case Branch: {
            const std::int64_t off = s24();
            branches.push_back(ops.size());
            ops.push_back(target(std::int64_t(pc) + off));
            break;
        }
        case Switch: {
            // Targets are relative to the instruction's own start.
            const std::int64_t def = s24();
            const std::uint32_t count = u30();
            if (!cut && (count > size || count + 4u > kMaxLength)) {
                d->wordAt[start] = std::uint32_t(first);
                d->offsetOf.resize(first + 1, 0);
                d->offsetOf[first] = std::uint32_t(start);
                d->words.push_back(kOpBadSwitch | (1u << 9));
                pc = size; // what follows cannot be decoded
                continue;
            }
            branches.push_back(ops.size());
            ops.push_back(target(std::int64_t(start) + def));
            ops.push_back(count);
            for (std::uint32_t i = 0; i <= count && !cut; ++i) {
                const std::int64_t off = s24();
                branches.push_back(ops.size());
                ops.push_back(target(std::int64_t(start) + off));
            }
            break;
        }
        case Debug:
            ops.push_back(u8());
            ops.push_back(u30());
            ops.push_back(u8());
            ops.push_back(u30());
            break;
        }
        d->wordAt[start] = std::uint32_t(first);
        d->offsetOf.resize(first + 1 + (cut ? 0 : ops.size()), 0);
        d->offsetOf[first] = std::uint32_t(start);
        if (cut) {
            d->words.push_back(kOpTruncated | (1u << 9));
            break;
        }
        // A property read or write of a name without runtime parts gets room for the slot it
        // found last (see SiteCache); the handlers read only the name's index.
        if ((op == 0x66 || op == 0x61 || op == 0x68) && ops[0] != 0 && ops[0] < multinames.size() &&
            !multinames[ops[0]].needsRuntimeName() && !multinames[ops[0]].needsRuntimeNs())
            ops.insert(ops.end(), SiteCache::kWords, 0);
        d->words.push_back(std::uint32_t(op) | (std::uint32_t(1 + ops.size()) << 9));
        for (std::size_t b : branches)
            branchWords.push_back(first + 1 + b);
        d->words.insert(d->words.end(), ops.begin(), ops.end());
    }
    const std::size_t end = d->words.size();
    d->wordAt[size] = std::uint32_t(end);
    d->offsetOf.resize(end + 1, 0);
    d->offsetOf[end] = std::uint32_t(size);
    d->words.push_back(kOpEnd | (1u << 9));
    for (std::size_t w : branchWords) {
        std::uint32_t& t = d->words[w];
        if (t == DecodedBody::kNoWord)
            continue;
        t = d->wordAt[t];
        // Loops branch back to a `label`, which does nothing: land after it. The body ends in
        // kOpEnd, so this stops inside it.
        while (t != DecodedBody::kNoWord &&
               ((d->words[t] & 0x1FF) == 0x09 || (d->words[t] & 0x1FF) == 0x02))
            t += d->words[t] >> 9;
    }
    checkRegisters(*d, localCount);
    fuseOperands(*d, ints);
    return d;
}

// Reads the operands of one decoded instruction; the decoder wrote exactly the operands each
// instruction reads, and the bound keeps a mistake there from reading past the body.
struct CodeReader {
    const std::uint32_t* words;
    std::size_t size;
    std::size_t pc;
    VM& vm;

    // Static, so that the reader's address never leaves the loop and its fields stay in
    // registers.
    [[noreturn, gnu::noinline, gnu::cold]] static void overrun(VM& vm) {
        vm.throwError("VerifyError", 1012,
                      QStringLiteral("The last instruction exceeded code size."));
    }
    std::uint32_t next() {
        if (pc >= size)
            overrun(vm);
        return words[pc++];
    }
    std::uint32_t u8() { return next(); }
    std::uint32_t u30() { return next(); }
    std::uint32_t target() { return next(); }
};

// How a method's frame block is laid out: registers, then the operand stack, then the scope
// stack, all taken from the arena at once.
struct FrameLayout {
    std::size_t regs, stack, scopes, bytes;
};
[[gnu::always_inline]] inline FrameLayout frameLayout(const MethodBody& body, std::size_t regs) {
    FrameLayout l;
    l.regs = regs;
    l.stack = std::max<std::size_t>(body.maxStack, 1) + 8;
    l.scopes = (body.maxScopeDepth >= body.initScopeDepth
                    ? std::max<std::size_t>(body.maxScopeDepth - body.initScopeDepth, 1)
                    : 1) +
               8;
    static_assert(sizeof(Value) % alignof(ScopeEntry) == 0);
    l.bytes = (l.regs + l.stack) * sizeof(Value) + l.scopes * sizeof(ScopeEntry);
    return l;
}

// The method of a traits table with a dispatch id (callmethod), remembered by the table's serial
// and the id: a serial is renewed whenever the table gains a name and never given to another
// table, so a remembered answer is that of the table as it is now. Per thread: VMs do not
// share one.
const Binding* methodByDispId(Traits& t, std::uint32_t id) {
    struct Entry {
        std::uint64_t serial = 0;
        std::uint32_t id = 0;
        const Binding* binding = nullptr;
    };
    static thread_local std::array<Entry, 256> cache;
    Entry& e = cache[(t.serial * 31 + id) & 255];
    if (e.serial == t.serial && e.id == id)
        return e.binding;
    const Binding* found = nullptr;
    for (const auto& list : t.byName)
        for (const auto& entry : list)
            if (!found && entry.binding.kind == Binding::Kind::Method && entry.binding.dispId == id)
                found = &entry.binding;
    e = {t.serial, id, found};
    return found;
}

// Kept out of line so that the checks in the instruction loop stay small enough to inline.
[[noreturn, gnu::noinline, gnu::cold]] void verifyFail(VM& vm, int id, const char* text) {
    vm.throwError("VerifyError", id, QString::fromLatin1(text));
}

// The operand stack is a pointer to its first free place, passed by reference only to these
// (always inlined), so that it stays in a register through the instruction loop.
[[gnu::always_inline]] inline void stackPush(Value*& sp, Value* limit, VM& vm, const Value& v) {
    if (sp == limit) [[unlikely]]
        verifyFail(vm, 1023, "Stack overflow occurred.");
    new (sp) Value(v);
    ++sp;
}
[[gnu::always_inline]] inline Value stackPop(Value*& sp, Value* base, VM& vm) {
    if (sp == base) [[unlikely]]
        verifyFail(vm, 1024, "Stack underflow occurred.");
    --sp;
    Value v = *sp;
    sp->~Value();
    return v;
}
[[gnu::always_inline]] inline Value& stackTop(Value* sp, Value* base, VM& vm) {
    if (sp == base) [[unlikely]]
        verifyFail(vm, 1024, "Stack underflow occurred.");
    return sp[-1];
}
// Ends the top n values (the caller checked there are n).
[[gnu::always_inline]] inline void stackDrop(Value*& sp, std::size_t n) {
    for (; n; --n)
        (--sp)->~Value();
}
// The top n values, copied into a vector and dropped.
[[gnu::always_inline]] inline std::vector<Value> stackArgs(Value*& sp, Value* base, VM& vm,
                                                           std::uint32_t n) {
    if (n > std::size_t(sp - base))
        verifyFail(vm, 1024, "Stack underflow occurred.");
    std::vector<Value> out(sp - n, sp);
    stackDrop(sp, n);
    return out;
}

} // namespace

Value VM::runMethod(const MethodRef& m, const Value& thisv, std::span<const Value> args,
                    const ScopeChain& scope, Class* declaringClass, Function* callee) {
    if (m.native)
        return runNative(m.native, thisv, args);
    if (!m.env)
        return Value();
    AbcEnv* env = m.env;
    const Abc& a = *env->abc;
    const MethodInfo& mi = a.methods[m.index];
    if (mi.body < 0)
        throwError("VerifyError", 1001,
                   QStringLiteral("The method %1() contains no body.").arg(a.strings[mi.name]));
    const MethodBody& body = a.bodies[std::size_t(mi.body)];
    const std::size_t p = mi.paramTypes.size();
    const std::size_t required = p - mi.optional.size();
    if (args.size() < required ||
        (args.size() > p && !(mi.flags & (NeedRest | NeedArguments | IgnoreRest))))
        throwError("ArgumentError", 1063,
                   QStringLiteral("Argument count mismatch on %1. Expected %2, got %3.")
                       .arg(a.strings[mi.name].isEmpty()
                                ? QStringLiteral("Function/<anonymous>()")
                                : a.strings[mi.name] + QStringLiteral("()"))
                       .arg(required)
                       .arg(args.size()));
    // The depth limit alone does not bound the native stack: an interpreter frame's size
    // depends on the build (a sanitizer build's is 30 times a release build's).
    const char here = 0;
    if (nativeStackExhausted(&here) || callDepth >= limits.maxCallDepth)
        throwError("Error", 1023, QStringLiteral("Stack overflow occurred."));
    // Calls that fan out (each calling itself twice) run long without any loop.
    checkBudget();
    struct DepthGuard {
        int& d;
        Domain*& running;
        Domain* saved;
        DepthGuard(int& d, Domain*& running, Domain* now) : d(d), running(running), saved(running) {
            ++d;
            running = now;
        }
        ~DepthGuard() {
            --d;
            running = saved;
        }
    } guard(callDepth, runningDomain, env->domain);

    // One block for the frame. The registers are made first, so that the guard can end them
    // whatever throws after (a coercion of an argument may run script code).
    const FrameLayout layout = frameLayout(body, std::max<std::size_t>(body.localCount, p + 2));
    auto* block = static_cast<std::byte*>(frames.take(layout.bytes));
    if (!block)
        throwError("Error", 1023, QStringLiteral("Stack overflow occurred."));
    Value* regs = reinterpret_cast<Value*>(block);
    struct FrameGuard {
        FrameArena& arena;
        Value* regs;
        std::size_t count, bytes;
        ~FrameGuard() {
            for (std::size_t i = 0; i < count; ++i)
                regs[i].~Value();
            arena.give(bytes);
        }
    } frame{frames, regs, layout.regs, layout.bytes};
    const std::size_t given = std::min(args.size(), p);
    new (regs) Value(thisv);
    for (std::size_t i = 0; i < given; ++i)
        new (regs + 1 + i) Value(args[i]);
    for (std::size_t i = given + 1; i < layout.regs; ++i)
        new (regs + i) Value();
    for (std::size_t i = 0; i < p; ++i) {
        Value& v = regs[i + 1];
        if (i >= given)
            v = constantValue(env, mi.optional[i - required]);
        if (const std::uint32_t t = mi.paramTypes[i]) {
            Class* c = resolveType(env, t);
            if (c && !hasTypeAlready(v, c))
                v = coerce(v, c);
        }
    }
    if (mi.flags & NeedRest) {
        std::vector<Value> rest;
        for (std::size_t i = p; i < args.size(); ++i)
            rest.push_back(args[i]);
        regs[p + 1] = Value(static_cast<Object*>(newArray(std::move(rest))));
    } else if (mi.flags & NeedArguments) {
        Array* arr = newArray(std::vector<Value>(args.begin(), args.end()));
        if (callee) {
            arr->setDynamic(QStringLiteral("callee"), Value(static_cast<Object*>(callee)));
            arr->dyn.back().enumerable = false;
        }
        regs[p + 1] = Value(static_cast<Object*>(arr));
    }
    Value* stackRoom = regs + layout.regs;
    // The method runs in its own reference to the chain: callers pass the one in a trait's
    // binding, which moves if the method adds a trait of the same name to that table.
    const ScopeChain chain = scope;
    Value r = execute(env, mi, body, regs, stackRoom,
                      reinterpret_cast<ScopeEntry*>(stackRoom + layout.stack), chain,
                      declaringClass, callee ? callee->dxns : nullptr);
    if (mi.returnType) {
        if (Class* c = resolveType(env, mi.returnType); c && !hasTypeAlready(r, c))
            r = coerce(r, c);
    }
    return r;
}

Value VM::execute(AbcEnv* env, const MethodInfo& mi, const MethodBody& body, Value* regs,
                  Value* stackRoom, ScopeEntry* scopeRoom, const ScopeChain& saved,
                  Class* declaringClass, const std::shared_ptr<QString>& lexicalDxns) {
    const Abc& a = *env->abc;
    std::unique_ptr<DecodedBody>& slot = env->decoded[std::size_t(mi.body)];
    if (!slot)
        slot = decode(body.code, a.ints, a.multinames, body.localCount);
    DecodedBody& dec = *slot;
    std::uint32_t* words = dec.words.data(); // the site caches change as the code runs
    const std::size_t codeSize = body.code.size();
    const FrameLayout layout = frameLayout(body, 0);
    Value* const stackBase = stackRoom;
    Value* const stackLimit = stackRoom + layout.stack;
    Value* sp = stackBase;
    FrameStack<ScopeEntry> scopes(scopeRoom, layout.scopes);
    Object* activation = nullptr;
    (void)activation;
    CodeReader r{words, dec.words.size(), 0, *this};
    const std::size_t localCount = body.localCount;

    auto verify = [&](int id, const char* text) { verifyFail(*this, id, text); };
#define push(v) stackPush(sp, stackLimit, *this, v)
#define pop() stackPop(sp, stackBase, *this)
#define top() stackTop(sp, stackBase, *this)
#define args(n) stackArgs(sp, stackBase, *this, n)
#define argSpan(n, below) spanArgs(sp, n, below)
#define runtimeName(idx, out) runtimeNameOf(idx, out, sp)
#define stackSize() std::size_t(sp - stackBase)
    auto reg = [&](std::uint32_t i) __attribute__((always_inline))->Value& {
        if (i >= localCount)
            verify(1025, "An internal error occurred.");
        return regs[i];
    };
    // a < b as lessThan answers it, with numbers compared here.
    auto less = [&](const Value& x, const Value& y) __attribute__((always_inline))->int {
        if (x.tag == Value::Tag::Int && y.tag == Value::Tag::Int)
            return x.i < y.i;
        if (x.isNumeric() && y.isNumeric()) {
            const double p = x.toDoubleFast(), q = y.toDoubleFast();
            return std::isnan(p) || std::isnan(q) ? -1 : int(p < q);
        }
        return lessThan(x, y);
    };
    // ToInt32 with the usual case (already an int) here.
    auto i32 = [&](const Value& v) __attribute__((always_inline))->std::int32_t {
        return v.tag == Value::Tag::Int ? v.i : toInt32(v);
    };
    auto number = [&](const Value& v) __attribute__((always_inline))->double {
        return v.isNumeric() ? v.toDoubleFast() : toNumber(v);
    };
    auto truth = [&](const Value& v) __attribute__((always_inline))->bool {
        return v.tag == Value::Tag::Bool ? v.b : toBoolean(v);
    };
    // The default XML namespace is lexical: this method starts with the one of the code it is a
    // closure of (or none), `dxns` here changes it for this method and the closures made in it,
    // and the caller's comes back when it returns. Nothing is saved while no code sets one.
    struct DxnsScope {
        VM& vm;
        bool active = false, own = false;
        QString savedNs;
        std::shared_ptr<QString> savedCell;
        DxnsScope(VM& vm, const std::shared_ptr<QString>& lexical, bool setsDxns) : vm(vm) {
            if (!lexical && !setsDxns && !vm.dxnsCell && vm.defaultXmlNamespace.isEmpty())
                return;
            activate();
            vm.dxnsCell =
                setsDxns ? std::make_shared<QString>(lexical ? *lexical : QString()) : lexical;
            own = setsDxns;
            vm.defaultXmlNamespace = vm.dxnsCell ? *vm.dxnsCell : QString();
        }
        void activate() {
            if (active)
                return;
            active = true;
            savedNs = vm.defaultXmlNamespace;
            savedCell = vm.dxnsCell;
        }
        void set(const QString& uri) {
            activate();
            if (own) {
                *vm.dxnsCell = uri;
            } else {
                vm.dxnsCell = std::make_shared<QString>(uri);
                own = true;
            }
            vm.defaultXmlNamespace = uri;
        }
        ~DxnsScope() {
            if (!active)
                return;
            vm.defaultXmlNamespace = std::move(savedNs);
            vm.dxnsCell = std::move(savedCell);
        }
    } dxns(*this, lexicalDxns, (mi.flags & SetDxns) != 0);
    std::size_t pc = 0, instrStart = 0; // word indices
    auto jumpTo = [&](std::uint32_t t) __attribute__((always_inline)) {
        if (t == DecodedBody::kNoWord)
            verify(1021,
                   "At least one branch target was not on a valid instruction in the method.");
        // Every loop runs a backward branch, conditional or not: the time budget sees them all.
        if (t <= instrStart)
            checkBudget();
        pc = t;
    };
    auto multiname = [&](std::uint32_t idx) __attribute__((always_inline))->const Name& {
        if (idx == 0 || idx >= env->names.size())
            verify(1032, "Cpool index is out of range.");
        return env->names[idx];
    };
    // Completes a runtime multiname from the stack (name on top, then namespace).
    // A name with no runtime parts is the pool's own; others are completed in `out`.
    auto runtimeNameOf = [&](std::uint32_t idx, Name & out, Value * &sp)
                             __attribute__((always_inline))
                                 ->const Name& {
        const Name& base = multiname(idx);
        const MultinameInfo& mi2 = a.multinames[idx];
        if (!mi2.needsRuntimeName() && !mi2.needsRuntimeNs())
            return base;
        out = base;
        if (mi2.needsRuntimeName()) {
            Value n = pop();
            if (QNameObject* q = asQName(n)) {
                // A QName brings its namespace unless the instruction names one.
                out.local = q->local;
                out.anyName = q->local == QLatin1String("*");
                out.attribute = out.attribute || q->attribute;
                if (!mi2.needsRuntimeNs()) {
                    out.anyNs = q->anyNs;
                    out.nss.clear();
                    if (!q->anyNs)
                        out.nss = {internNs(NsKind::Namespace, q->uri)};
                    out.hasPublic = !q->anyNs && q->uri.isEmpty();
                }
                return out;
            } else {
                out.local = toString(n);
            }
            out.anyName = false;
        }
        if (mi2.needsRuntimeNs()) {
            Value ns = pop();
            const QString uri = namespaceUri(*this, ns);
            out.nss = {internNs(NsKind::Namespace, uri)};
            out.anyNs = false;
            out.hasPublic = uri.isEmpty();
        }
        return out;
    };
    // Whether a pool name has no runtime parts (so its lookups can be cached by its index).
    auto isStatic = [&](std::uint32_t idx) __attribute__((always_inline)) {
        if (idx == 0 || idx >= a.multinames.size())
            return false;
        const MultinameInfo& m = a.multinames[idx];
        return !m.needsRuntimeName() && !m.needsRuntimeNs();
    };
    // The binding of a static name in the traits of a value (its class's for primitives).
    auto cachedBinding = [&](const Value& v, const Name& n, std::uint32_t idx)
                             __attribute__((always_inline))
                                 ->Binding* {
        NameCache& c = env->nameCache[idx];
        if (Object* o = v.object())
            return findBindingCached(o->traits, n, c);
        if (v.isNullish())
            return nullptr;
        Class* cl = classOf(v);
        return cl ? findBindingCached(&cl->instanceTraits, n, c) : nullptr;
    };
    // The scope object a name resolves in; `cache` (static names) speeds up trait lookups.
    auto findProp = [&](const Name& n, bool strict, NameCache* cache) -> Value {
        auto has = [&](Object* o) {
            return cache ? findBindingCached(o->traits, n, *cache) != nullptr
                         : findBinding(o, n) != nullptr;
        };
        for (std::size_t i = scopes.size(); i-- > 0;) {
            Object* o = scopes[i].object.object();
            if (!o)
                continue;
            if (has(o))
                return scopes[i].object;
            if (scopes[i].with && (o->kind == ObjectKind::Xml || o->kind == ObjectKind::XmlList)) {
                if (xmlHas(*this, o, n))
                    return scopes[i].object;
                continue;
            }
            if (scopes[i].with && (n.hasPublic || n.anyNs) &&
                (o->hasOwn(*this, n.local) || o->getDynamic(n.local)))
                return scopes[i].object;
        }
        if (saved) {
            for (std::size_t i = saved->size(); i-- > 0;) {
                Object* o = (*saved)[i].object.object();
                if (!o)
                    continue;
                if (has(o))
                    return (*saved)[i].object;
                if (((*saved)[i].with || i == 0) && (n.hasPublic || n.anyNs) &&
                    (o->hasOwn(*this, n.local) || o->getDynamic(n.local)))
                    return (*saved)[i].object;
            }
        }
        if (cache ? findBindingCached(&builtinTraits, n, *cache) : findBindingIn(&builtinTraits, n))
            return Value(builtins);
        // A found script stays the answer until some domain gains definitions.
        ScriptEnv* s =
            cache && cache->scriptGeneration == definitionsGeneration ? cache->script : nullptr;
        if (!s) {
            s = findDefiningScript(n, nullptr, env->domain);
            if (cache) {
                cache->script = s;
                cache->scriptGeneration = definitionsGeneration;
            }
        }
        if (s) {
            ensureScript(s);
            return Value(s->global);
        }
        if (strict)
            throwReferenceError(1065, QStringLiteral("Variable %1 is not defined.").arg(n.local));
        if (saved && !saved->empty())
            return saved->front().object;
        if (!scopes.empty())
            return scopes.front().object;
        return Value(builtins);
    };
    // The top n values as call arguments, left on the stack (the callee only reads them);
    // the caller drops them after the call. `below` more values must lie under.
    auto spanArgs = [&](Value * sp, std::uint32_t n, std::size_t below)
                        __attribute__((always_inline))
                            ->std::span<const Value> {
        if (std::size_t(n) + below > std::size_t(sp - stackBase))
            verify(1024, "Stack underflow occurred.");
        return std::span<const Value>(sp - n, n);
    };
    auto currentChain = [&]() -> ScopeChain {
        if (scopes.empty())
            return saved;
        auto c =
            std::make_shared<std::vector<ScopeEntry>>(saved ? *saved : std::vector<ScopeEntry>{});
        c->insert(c->end(), scopes.begin(), scopes.end());
        return c;
    };
    // The base class's binding of a name, through the name's cache when it has no runtime parts.
    auto superBinding = [&](Class* sc, const Name& n, std::uint32_t idx) -> Binding* {
        return isStatic(idx) ? findBindingCached(&sc->instanceTraits, n, env->nameCache[idx])
                             : findBindingIn(&sc->instanceTraits, n);
    };
    auto superClass = [&]() -> Class* {
        if (!declaringClass || !declaringClass->base)
            throwReferenceError(1070, QStringLiteral("Method not found on super."));
        return declaringClass->base;
    };
    auto domainMem = [&](std::int32_t addr, int size) -> std::uint8_t* {
        std::vector<std::uint8_t>* mem =
            domainMemoryBytes ? domainMemoryBytes(domainMemory) : nullptr;
        if (!mem || addr < 0 || std::size_t(addr) + std::size_t(size) > mem->size())
            throwRangeError(1506, QStringLiteral("The specified range is invalid."));
        return mem->data() + addr;
    };

    // Haxe follows each int operation with convert_i, and Number ones with convert_d. When the
    // result already has that type the conversion changes nothing, so the operation steps over
    // it here instead of dispatching it (a branch to it still runs it).
    auto skipNoopConvert = [&](const Value& v) __attribute__((always_inline)) {
        const std::uint32_t next = words[pc]; // an instruction: kOpEnd ends the body
        if ((next == (0x73u | 1u << 9) && v.tag == Value::Tag::Int) ||
            (next == (0x75u | 1u << 9) && v.isNumeric()))
            ++pc;
    };

    // getlocal: when a getproperty of a declared variable follows (`b.x`), the variable is
    // pushed in its place, which saves pushing the object to pop it again. The getproperty is
    // still an instruction of its own for any branch landing on it.
    auto pushLocal = [&](const Value& lv) __attribute__((always_inline)) {
        if (lv.tag == Value::Tag::Object) {
            const std::uint32_t next = words[pc]; // an instruction: kOpEnd ends the body
            if ((next & 0x1FF) == 0x66 && SiteCache::has(next)) {
                Object* o = lv.o;
                std::uint32_t* site = words + pc;
                if (SiteCache::matches(site, o->traits) && SiteCache::slot(site) < o->slotv.size())
                    [[likely]] {
                    push(o->slotv[SiteCache::slot(site)]);
                    pc += next >> 9;
                    return;
                }
                const std::uint32_t idx = site[1];
                const Binding* b =
                    findBindingCached(o->traits, env->names[idx], env->nameCache[idx]);
                if (b && (b->kind == Binding::Kind::Slot || b->kind == Binding::Kind::Const) &&
                    b->slot < o->slotv.size()) {
                    SiteCache::fill(site, o->traits, b->slot);
                    push(o->slotv[b->slot]);
                    pc += next >> 9;
                    return;
                }
            }
        }
        push(lv);
        skipNoopConvert(lv);
    };

#if AVM2_THREADED
    // Each handler ends in a jump of its own through this table (the compiler copies the
    // dispatch into every handler), so the processor predicts each instruction's successor
    // from the instruction it follows.
    static void* table[512];
    if (!table[0]) [[unlikely]] {
        // An opcode without a label of its own (a plain case) goes through the switch.
        for (void*& t : table)
            t = &&op_switch;
        table[kOpEnd] = table[kOpTruncated] = &&op_end;
        table[kOpBadSwitch] = &&op_badswitch;
        table[kOpBadRegister] = &&op_badregister;
#define AVM2_SET(x) table[x] = &&op_##x;
        AVM2_HANDLED_OPS(AVM2_SET)
#undef AVM2_SET
    }
#define AVM2_DISPATCH()                                                                            \
    do {                                                                                           \
        instrStart = pc;                                                                           \
        const std::uint32_t w_ = words[pc];                                                        \
        op = w_ & 0x1FF;                                                                           \
        r.pc = pc + 1;                                                                             \
        pc += w_ >> 9;                                                                             \
        goto* table[op];                                                                           \
    } while (false)
#else
#define AVM2_DISPATCH()                                                                            \
    do {                                                                                           \
        instrStart = pc;                                                                           \
        const std::uint32_t w_ = words[pc];                                                        \
        op = w_ & 0x1FF;                                                                           \
        r.pc = pc + 1;                                                                             \
        pc += w_ >> 9;                                                                             \
    } while (false)
#endif
    std::uint32_t op = 0;
    for (;;) {
        try {
            for (;;) {
                // Every jump lands on an instruction and the last is kOpEnd, so pc stays inside.
                AVM2_DISPATCH();
                AVM2_LABEL(op_switch)
                switch (op) {
                case kOpEnd:
                case kOpTruncated:
                    AVM2_LABEL(op_end)
                    verifyFail(*this, 1012, "The last instruction exceeded code size.");
                case kOpBadSwitch:
                    AVM2_LABEL(op_badswitch)
                    verifyFail(*this, 1021,
                               "At least one branch target was not on a valid instruction in the "
                               "method.");
                case kOpBadRegister:
                    AVM2_LABEL(op_badregister)
                    verifyFail(*this, 1025, "An internal error occurred.");
                    AVM2_OP(0x01) // bkpt
                    AVM2_OP(0x02) // nop
                    AVM2_OP(0x09) // label
                    AVM2_OP(0xF3) // timestamp
                    AVM2_NEXT(0);
                    AVM2_TAIL(0)
                    AVM2_OP(0x03) // throw
                    throw ScriptThrow{pop()};
                    AVM2_OP(0x04) { // getsuper
                        Name nBuf;
                        const std::uint32_t idx = r.u30();
                        const Name& n = runtimeName(idx, nBuf);
                        const Value o = pop();
                        Class* sc = superClass();
                        Binding* b = superBinding(sc, n, idx);
                        if (!b)
                            throwReferenceError(
                                1069,
                                QStringLiteral(
                                    "Property %1 not found on %2 and there is no default value.")
                                    .arg(n.local, sc->qualifiedName()));
                        push(readBinding(o, o.object(), b, n));
                        AVM2_NEXT(1);
                    }
                    AVM2_TAIL(1)
                    AVM2_OP(0x05) { // setsuper
                        const Value v = pop();
                        Name nBuf;
                        const std::uint32_t idx = r.u30();
                        const Name& n = runtimeName(idx, nBuf);
                        const Value o = pop();
                        Class* sc = superClass();
                        Binding* b = superBinding(sc, n, idx);
                        if (!b)
                            throwReferenceError(1056,
                                                QStringLiteral("Cannot create property %1 on %2.")
                                                    .arg(n.local, sc->qualifiedName()));
                        writeBinding(o, o.object(), b, n, v, false);
                        AVM2_NEXT(2);
                    }
                    AVM2_TAIL(2)
                    AVM2_OP(0x06) { // dxns
                        const std::uint32_t i = r.u30();
                        if (i >= a.strings.size())
                            verify(1032, "Cpool index is out of range.");
                        dxns.set(a.strings[i]);
                        AVM2_NEXT(3);
                    }
                    AVM2_TAIL(3)
                    AVM2_OP(0x07) { // dxnslate
                        const Value v = pop();
                        dxns.set(namespaceUri(*this, v));
                        AVM2_NEXT(4);
                    }
                    AVM2_TAIL(4)
                    AVM2_OP(0x08) // kill
                    reg(r.u30()) = Value();
                    AVM2_NEXT(5);
                    AVM2_TAIL(5)
// A conditional branch on two operands: one handler per opcode, so that no handler decides
// again which comparison it is.
#define AVM2_IF2(opcode, tail, cond)                                                               \
    AVM2_OP(opcode) {                                                                              \
        const std::uint32_t off = r.target();                                                      \
        const Value b = pop(), av = pop();                                                         \
        if (cond)                                                                                  \
            jumpTo(off);                                                                           \
        AVM2_NEXT(tail);                                                                           \
    }                                                                                              \
    AVM2_TAIL(tail)
                    AVM2_IF2(0x0C, 6, less(av, b) != 1)       // ifnlt
                    AVM2_IF2(0x0D, 500, less(b, av) != 0)     // ifnle
                    AVM2_IF2(0x0E, 501, less(b, av) != 1)     // ifngt
                    AVM2_IF2(0x0F, 502, less(av, b) != 0)     // ifnge
                    AVM2_IF2(0x15, 503, less(av, b) == 1)     // iflt
                    AVM2_IF2(0x16, 504, less(b, av) == 0)     // ifle
                    AVM2_IF2(0x17, 505, less(b, av) == 1)     // ifgt
                    AVM2_IF2(0x18, 506, less(av, b) == 0)     // ifge
                    AVM2_IF2(0x13, 9, looseEquals(av, b))     // ifeq
                    AVM2_IF2(0x14, 507, !looseEquals(av, b))  // ifne
                    AVM2_IF2(0x19, 10, strictEquals(av, b))   // ifstricteq
                    AVM2_IF2(0x1A, 508, !strictEquals(av, b)) // ifstrictne
#undef AVM2_IF2
                    AVM2_OP(0x10) { // jump
                        const std::uint32_t off = r.target();
                        jumpTo(off);
                        checkBudget();
                        AVM2_NEXT(7);
                    }
                    AVM2_TAIL(7)
                    AVM2_OP(0x11) { // iftrue
                        const std::uint32_t off = r.target();
                        if (truth(pop()))
                            jumpTo(off);
                        AVM2_NEXT(8);
                    }
                    AVM2_TAIL(8)
                    AVM2_OP(0x12) { // iffalse
                        const std::uint32_t off = r.target();
                        if (!truth(pop()))
                            jumpTo(off);
                        AVM2_NEXT(509);
                    }
                    AVM2_TAIL(509)
                    AVM2_OP(0x1B) { // lookupswitch
                        // The decoder left count + 1 targets after the count.
                        const std::uint32_t def = r.target();
                        const std::uint32_t count = r.u30();
                        const Value iv = pop();
                        const double d = toNumber(iv);
                        std::uint32_t target = def;
                        if (d >= 0 && d <= count && std::trunc(d) == d)
                            target = words[r.pc + std::size_t(d)];
                        jumpTo(target);
                        checkBudget();
                        AVM2_NEXT(11);
                    }
                    AVM2_TAIL(11)
                    AVM2_OP(0x1C)
                    AVM2_OP(0x30) { // pushwith, pushscope
                        Value o = pop();
                        if (o.isNullish())
                            throwTypeError(
                                o.isNull() ? 1009 : 1010,
                                o.isNull()
                                    ? QStringLiteral("Cannot access a property or method of a null "
                                                     "object reference.")
                                    : QStringLiteral("A term is undefined and has no properties."));
                        if (scopes.size() >= scopes.capacity())
                            verify(1017, "Scope stack overflow occurred.");
                        scopes.push_back({std::move(o), op == 0x1C});
                        AVM2_NEXT(12);
                    }
                    AVM2_TAIL(12)
                    AVM2_OP(0x1D) // popscope
                    if (scopes.empty())
                        verify(1018, "Scope stack underflow occurred.");
                    scopes.pop_back();
                    AVM2_NEXT(13);
                    AVM2_TAIL(13)
                    AVM2_OP(0x1E)
                    AVM2_OP(0x23) { // nextname, nextvalue
                        const Value iv = pop();
                        const Value o = pop();
                        push(op == 0x1E ? enumName(o, toUint32(iv)) : enumValue(o, toUint32(iv)));
                        AVM2_NEXT(14);
                    }
                    AVM2_TAIL(14)
                    AVM2_OP(0x1F) { // hasnext
                        const Value iv = pop();
                        const Value o = pop();
                        push(Value::fromUint(enumNext(o, toUint32(iv))));
                        AVM2_NEXT(15);
                    }
                    AVM2_TAIL(15)
                    AVM2_OP(0x20)
                    push(Value::null());
                    AVM2_NEXT(16);
                    AVM2_TAIL(16)
                    AVM2_OP(0x21)
                    push(Value());
                    AVM2_NEXT(17);
                    AVM2_TAIL(17)
                    AVM2_OP(0x24)
                    push(Value(std::int32_t(std::int8_t(r.u8()))));
                    AVM2_NEXT(18);
                    AVM2_TAIL(18)
                    AVM2_OP(0x25)
                    push(Value(std::int32_t(std::int16_t(std::uint16_t(r.u30())))));
                    AVM2_NEXT(19);
                    AVM2_TAIL(19)
                    AVM2_OP(0x26)
                    push(Value(true));
                    AVM2_NEXT(20);
                    AVM2_TAIL(20)
                    AVM2_OP(0x27)
                    push(Value(false));
                    AVM2_NEXT(21);
                    AVM2_TAIL(21)
                    AVM2_OP(0x28)
                    push(Value::number(NAN));
                    AVM2_NEXT(22);
                    AVM2_TAIL(22)
                    AVM2_OP(0x29)
                    pop();
                    AVM2_NEXT(23);
                    AVM2_TAIL(23)
                    AVM2_OP(0x2A) {
                        Value v = top();
                        push(std::move(v));
                        AVM2_NEXT(24);
                    }
                    AVM2_TAIL(24)
                    AVM2_OP(0x2B) {
                        if (stackSize() < 2)
                            verify(1024, "Stack underflow occurred.");
                        std::swap(sp[-1], sp[-2]);
                        AVM2_NEXT(25);
                    }
                    AVM2_TAIL(25)
                    AVM2_OP(0x2C) {
                        const std::uint32_t i = r.u30();
                        if (i >= a.strings.size())
                            verify(1032, "Cpool index is out of range.");
                        push(Value(a.strings[i]));
                        AVM2_NEXT(26);
                    }
                    AVM2_TAIL(26)
                    AVM2_OP(0x2D) {
                        const std::uint32_t i = r.u30();
                        if (i >= a.ints.size())
                            verify(1032, "Cpool index is out of range.");
                        push(Value(a.ints[i]));
                        AVM2_NEXT(27);
                    }
                    AVM2_TAIL(27)
                    AVM2_OP(0x2E) {
                        const std::uint32_t i = r.u30();
                        if (i >= a.uints.size())
                            verify(1032, "Cpool index is out of range.");
                        push(Value::fromUint(a.uints[i]));
                        AVM2_NEXT(28);
                    }
                    AVM2_TAIL(28)
                    AVM2_OP(0x2F) {
                        const std::uint32_t i = r.u30();
                        if (i >= a.doubles.size())
                            verify(1032, "Cpool index is out of range.");
                        push(Value::number(a.doubles[i]));
                        AVM2_NEXT(29);
                    }
                    AVM2_TAIL(29)
                    AVM2_OP(0x31) { // pushnamespace
                        const std::uint32_t i = r.u30();
                        if (i >= a.namespaces.size())
                            verify(1032, "Cpool index is out of range.");
                        push(constantValue(env, ConstantRef{0x08, i}));
                        AVM2_NEXT(30);
                    }
                    AVM2_TAIL(30)
                    AVM2_OP(0x32) { // hasnext2
                        const std::uint32_t objReg = r.u30(), idxReg = r.u30();
                        Value& o = reg(objReg);
                        Value& idx = reg(idxReg);
                        std::uint32_t i = toUint32(idx);
                        bool found = false;
                        while (!o.isNullish()) {
                            i = enumNext(o, i);
                            if (i) {
                                found = true;
                                break;
                            }
                            Object* p = protoOf(o);
                            o = p ? Value(p) : Value::null();
                        }
                        idx = Value::fromUint(found ? i : 0);
                        push(Value(found));
                        AVM2_NEXT(31);
                    }
                    AVM2_TAIL(31)
                    AVM2_OP(0x35)
                    push(Value(std::int32_t(*domainMem(toInt32(pop()), 1))));
                    AVM2_NEXT(32);
                    AVM2_TAIL(32)
                    AVM2_OP(0x36) {
                        const std::uint8_t* m = domainMem(toInt32(pop()), 2);
                        push(Value(std::int32_t(m[0] | (m[1] << 8))));
                        AVM2_NEXT(33);
                    }
                    AVM2_TAIL(33)
                    AVM2_OP(0x37) {
                        const std::uint8_t* m = domainMem(toInt32(pop()), 4);
                        std::uint32_t v;
                        std::memcpy(&v, m, 4);
                        push(Value(std::int32_t(v)));
                        AVM2_NEXT(34);
                    }
                    AVM2_TAIL(34)
                    AVM2_OP(0x38) {
                        const std::uint8_t* m = domainMem(toInt32(pop()), 4);
                        float f;
                        std::memcpy(&f, m, 4);
                        push(Value::number(f));
                        AVM2_NEXT(35);
                    }
                    AVM2_TAIL(35)
                    AVM2_OP(0x39) {
                        const std::uint8_t* m = domainMem(toInt32(pop()), 8);
                        double d;
                        std::memcpy(&d, m, 8);
                        push(Value::number(d));
                        AVM2_NEXT(36);
                    }
                    AVM2_TAIL(36)
                    AVM2_OP(0x3A)
                    AVM2_OP(0x3B)
                    AVM2_OP(0x3C)
                    AVM2_OP(0x3D)
                    AVM2_OP(0x3E) {
                        const std::int32_t addr = toInt32(pop());
                        const Value v = pop();
                        if (op == 0x3A) {
                            *domainMem(addr, 1) = std::uint8_t(toInt32(v));
                        } else if (op == 0x3B) {
                            const std::uint32_t x = std::uint32_t(toInt32(v));
                            std::uint8_t* m = domainMem(addr, 2);
                            m[0] = std::uint8_t(x);
                            m[1] = std::uint8_t(x >> 8);
                        } else if (op == 0x3C) {
                            const std::uint32_t x = std::uint32_t(toInt32(v));
                            std::memcpy(domainMem(addr, 4), &x, 4);
                        } else if (op == 0x3D) {
                            const float f = float(toNumber(v));
                            std::memcpy(domainMem(addr, 4), &f, 4);
                        } else {
                            const double d = toNumber(v);
                            std::memcpy(domainMem(addr, 8), &d, 8);
                        }
                        AVM2_NEXT(37);
                    }
                    AVM2_TAIL(37)
                    AVM2_OP(0x40) { // newfunction
                        const std::uint32_t m = r.u30();
                        if (m >= a.methods.size())
                            verify(1032, "Cpool index is out of range.");
                        auto* f = make<Function>(functionClass);
                        f->proto = functionClass->prototype;
                        f->method = MethodRef{env, m, nullptr};
                        f->scope = currentChain();
                        f->dxns = dxnsCell;
                        Object* p = newObject();
                        p->setDynamic(QStringLiteral("constructor"),
                                      Value(static_cast<Object*>(f)));
                        p->dyn.back().enumerable = false;
                        f->setDynamic(QStringLiteral("prototype"), Value(p));
                        f->dyn.back().enumerable = false;
                        push(Value(static_cast<Object*>(f)));
                        AVM2_NEXT(38);
                    }
                    AVM2_TAIL(38)
                    AVM2_OP(0x41) { // call
                        const std::uint32_t n = r.u30();
                        const auto av = argSpan(n, 2);
                        const Value recv = sp[-std::ptrdiff_t(n) - 1];
                        const Value f = sp[-std::ptrdiff_t(n) - 2];
                        Value res = call(f, recv, av);
                        stackDrop(sp, std::size_t(n) + 2);
                        push(std::move(res));
                        AVM2_NEXT(39);
                    }
                    AVM2_TAIL(39)
                    AVM2_OP(0x42) { // construct
                        const std::uint32_t n = r.u30();
                        auto av = args(n);
                        const Value c = pop();
                        push(construct(c, av));
                        AVM2_NEXT(40);
                    }
                    AVM2_TAIL(40)
                    AVM2_OP(0x43) { // callmethod: the receiver's method of this dispatch id
                        const std::uint32_t id = r.u30();
                        const std::uint32_t n = r.u30();
                        auto av = args(n);
                        const Value recv = pop();
                        Object* o = recv.object();
                        if (!o)
                            throwTypeError(
                                recv.isNull() ? 1009 : 1010,
                                recv.isNull()
                                    ? QStringLiteral("Cannot access a property or method of a null "
                                                     "object reference.")
                                    : QStringLiteral("A term is undefined and has no properties."));
                        // Overrides keep their dispatch id, so the receiver's own table answers.
                        const Binding* found =
                            o->traits && id != 0 ? methodByDispId(*o->traits, id) : nullptr;
                        if (!found)
                            throwError("VerifyError", 1051,
                                       QStringLiteral("Illegal early binding access to %1.")
                                           .arg(describe(recv)));
                        const Binding b = *found; // the call may add traits
                        Value res = runMethod(b.method, recv, av, b.scope, b.declaringClass);
                        push(std::move(res));
                        AVM2_NEXT(41);
                    }
                    AVM2_TAIL(41)
                    AVM2_OP(0x44) { // callstatic
                        const std::uint32_t m = r.u30();
                        const std::uint32_t n = r.u30();
                        if (m >= a.methods.size())
                            verify(1032, "Cpool index is out of range.");
                        auto av = args(n);
                        const Value recv = pop();
                        push(
                            runMethod(MethodRef{env, m, nullptr}, recv, av, saved, declaringClass));
                        AVM2_NEXT(42);
                    }
                    AVM2_TAIL(42)
                    AVM2_OP(0x45)
                    AVM2_OP(0x4E) { // callsuper, callsupervoid
                        const std::uint32_t idx = r.u30();
                        const std::uint32_t n = r.u30();
                        auto av = args(n);
                        Name nmBuf;
                        const Name& nm = runtimeName(idx, nmBuf);
                        const Value recv = pop();
                        Class* sc = superClass();
                        Binding* b = superBinding(sc, nm, idx);
                        if (!b)
                            throwReferenceError(1070, QStringLiteral("Method %1 not found on %2")
                                                          .arg(nm.local, sc->qualifiedName()));
                        Value res;
                        if (b->kind == Binding::Kind::Method)
                            res = runMethod(b->method, recv, av, b->scope, b->declaringClass);
                        else
                            res = call(readBinding(recv, recv.object(), b, nm), recv, av);
                        if (op == 0x45)
                            push(std::move(res));
                        AVM2_NEXT(43);
                    }
                    AVM2_TAIL(43)
                    AVM2_OP(0x46)
                    AVM2_OP(0x4C)
                    AVM2_OP(0x4F) { // callproperty, callproplex, callpropvoid
                        const std::uint32_t idx = r.u30();
                        const std::uint32_t n = r.u30();
                        if (isStatic(idx)) {
                            const Name& nm = env->names[idx];
                            const auto av = argSpan(n, 1);
                            const Value recv = sp[-std::ptrdiff_t(n) - 1];
                            if (recv.isNullish())
                                throwTypeError(
                                    recv.isNull() ? 1009 : 1010,
                                    recv.isNull()
                                        ? QStringLiteral("Cannot access a property or "
                                                         "method of a null object reference.")
                                        : QStringLiteral(
                                              "A term is undefined and has no properties."));
                            Binding* b = cachedBinding(recv, nm, idx);
                            // A declared method of an object (the usual call) goes straight in.
                            Value res =
                                b && b->kind == Binding::Kind::Method && recv.isObject()
                                    ? runMethod(b->method, recv, av, b->scope, b->declaringClass)
                                    : callPropertyWith(recv, b, nm, av, op == 0x4C);
                            stackDrop(sp, std::size_t(n) + 1);
                            if (op != 0x4F) {
                                skipNoopConvert(res);
                                push(std::move(res));
                            }
                            AVM2_NEXT(44);
                        }
                        auto av = args(n);
                        Name nmBuf;
                        const Name& nm = runtimeName(idx, nmBuf);
                        const Value recv = pop();
                        if (recv.isNullish())
                            throwTypeError(
                                recv.isNull() ? 1009 : 1010,
                                recv.isNull()
                                    ? QStringLiteral("Cannot access a property or method of a null "
                                                     "object reference.")
                                    : QStringLiteral("A term is undefined and has no properties."));
                        Value res = callProperty(recv, nm, av, op == 0x4C);
                        if (op != 0x4F)
                            push(std::move(res));
                        AVM2_NEXT(44);
                    }
                    AVM2_TAIL(44)
                    AVM2_OP(0x47) // returnvoid
                    stackDrop(sp, stackSize());
                    return Value();
                    AVM2_OP(0x48) // returnvalue
                    {
                        Value res = pop();
                        stackDrop(sp, stackSize());
                        return res;
                    }
                    AVM2_OP(0x49) { // constructsuper
                        const std::uint32_t n = r.u30();
                        auto av = args(n);
                        const Value recv = pop();
                        if (declaringClass && declaringClass->base && recv.object())
                            constructInstance(declaringClass->base, recv.o, av);
                        AVM2_NEXT(45);
                    }
                    AVM2_TAIL(45)
                    AVM2_OP(0x4A) { // constructprop
                        const std::uint32_t idx = r.u30();
                        const std::uint32_t n = r.u30();
                        auto av = args(n);
                        Name nmBuf;
                        const Name& nm = runtimeName(idx, nmBuf);
                        const Value recv = pop();
                        push(constructProperty(recv, nm, av));
                        AVM2_NEXT(46);
                    }
                    AVM2_TAIL(46)
                    AVM2_OP(0x50)
                    push(Value(std::int32_t(-(toInt32(pop()) & 1))));
                    AVM2_NEXT(47);
                    AVM2_TAIL(47)
                    AVM2_OP(0x51)
                    push(Value(std::int32_t(std::int8_t(toInt32(pop())))));
                    AVM2_NEXT(48);
                    AVM2_TAIL(48)
                    AVM2_OP(0x52)
                    push(Value(std::int32_t(std::int16_t(toInt32(pop())))));
                    AVM2_NEXT(49);
                    AVM2_TAIL(49)
                    AVM2_OP(0x53) { // applytype
                        const std::uint32_t n = r.u30();
                        auto av = args(n);
                        const Value g = pop();
                        if (g.object() != vectorClassGeneric || !vectorClassGeneric)
                            throwTypeError(
                                1127,
                                QStringLiteral(
                                    "Type application attempted on a non-parameterized type."));
                        if (n != 1)
                            throwTypeError(1128,
                                           QStringLiteral("Incorrect number of type parameters "
                                                          "for Vector. Expected 1, got %1.")
                                               .arg(n));
                        Object* t = av[0].object();
                        Class* tc =
                            t && t->kind == ObjectKind::Class ? static_cast<Class*>(t) : nullptr;
                        push(Value(static_cast<Object*>(vectorClass(tc))));
                        AVM2_NEXT(50);
                    }
                    AVM2_TAIL(50)
                    AVM2_OP(0x55) { // newobject
                        const std::uint32_t n = r.u30();
                        if (std::size_t(n) * 2 > stackSize())
                            verify(1024, "Stack underflow occurred.");
                        auto av = args(n * 2);
                        Object* o = newObject();
                        for (std::uint32_t i = 0; i < n; ++i)
                            o->setDynamic(toString(av[2 * i]), av[2 * i + 1]);
                        push(Value(o));
                        AVM2_NEXT(51);
                    }
                    AVM2_TAIL(51)
                    AVM2_OP(0x56) { // newarray
                        const std::uint32_t n = r.u30();
                        push(Value(static_cast<Object*>(newArray(args(n)))));
                        AVM2_NEXT(52);
                    }
                    AVM2_TAIL(52)
                    AVM2_OP(0x57) { // newactivation
                        if (!(mi.flags & NeedActivation))
                            verify(1113,
                                   "OP_newactivation used in method without NEED_ACTIVATION flag.");
                        const std::size_t bi = std::size_t(mi.body);
                        if (!env->activationBuilt[bi]) {
                            env->activationTraits[bi] =
                                buildTraits(env, body.traits, nullptr, nullptr, 0, nullptr);
                            env->activationBuilt[bi] = true;
                        }
                        auto* o = make<Object>(objectClass);
                        o->traits = &env->activationTraits[bi];
                        initSlots(o, *o->traits);
                        push(Value(o));
                        AVM2_NEXT(53);
                    }
                    AVM2_TAIL(53)
                    AVM2_OP(0x58) { // newclass
                        const std::uint32_t ci = r.u30();
                        if (ci >= a.classes.size())
                            verify(1032, "Cpool index is out of range.");
                        const Value base = pop();
                        Object* bo = base.object();
                        Class* bc =
                            bo && bo->kind == ObjectKind::Class ? static_cast<Class*>(bo) : nullptr;
                        if (!bc && a.instances[ci].superName != 0)
                            throwError("VerifyError", 1014,
                                       QStringLiteral("Class %1 could not be found.")
                                           .arg(env->names[a.instances[ci].superName].local));
                        if (bc && (bc->isFinal || bc->isInterface))
                            throwError("VerifyError", 1103,
                                       QStringLiteral("Class %1 cannot extend final base class.")
                                           .arg(bc->qualifiedName()));
                        push(Value(static_cast<Object*>(newClass(env, ci, bc, currentChain()))));
                        AVM2_NEXT(54);
                    }
                    AVM2_TAIL(54)
                    AVM2_OP(0x59) { // getdescendants
                        Name nBuf;
                        const Name& n = runtimeName(r.u30(), nBuf);
                        const Value o = pop();
                        Value found;
                        if (proxyDescendants(*this, o.object(), n, found))
                            push(std::move(found));
                        else
                            push(xmlDescendants(*this, o, n));
                        AVM2_NEXT(55);
                    }
                    AVM2_TAIL(55)
                    AVM2_OP(0x5A) { // newcatch
                        const std::uint32_t ei = r.u30();
                        if (ei >= body.exceptions.size())
                            verify(1032, "Cpool index is out of range.");
                        auto* o = make<Object>(objectClass);
                        const ExceptionInfo& ex = body.exceptions[ei];
                        auto* t = new Traits();
                        catchTraits.emplace_back(t);
                        if (ex.varName) {
                            Binding b;
                            b.kind = Binding::Kind::Slot;
                            b.slot = 0;
                            const Name& vn = env->names[ex.varName];
                            t->add(vn.local, vn.nss.empty() ? publicNs() : vn.nss[0], b);
                        }
                        t->slotv.push_back({});
                        o->traits = t;
                        o->slotv.resize(1);
                        push(Value(o));
                        AVM2_NEXT(56);
                    }
                    AVM2_TAIL(56)
                    AVM2_OP(0x5D)
                    AVM2_OP(0x5E) { // findpropstrict, findproperty
                        const std::uint32_t idx = r.u30();
                        // The innermost scope first, here (a method's own `this`, for calls of
                        // its class's methods): the first step of findProp's walk.
                        if (isStatic(idx) && !scopes.empty()) {
                            const Value& inner = scopes[scopes.size() - 1].object;
                            if (inner.tag == Value::Tag::Object &&
                                findBindingCached(inner.o->traits, env->names[idx],
                                                  env->nameCache[idx])) {
                                push(inner);
                                AVM2_NEXT(57);
                            }
                        }
                        Name nBuf;
                        const Name& n = runtimeName(idx, nBuf);
                        push(findProp(n, op == 0x5D,
                                      isStatic(idx) ? &env->nameCache[idx] : nullptr));
                        AVM2_NEXT(57);
                    }
                    AVM2_TAIL(57)
                    AVM2_OP(0x5F) { // finddef
                        const Name& n = multiname(r.u30());
                        if (ScriptEnv* s = findDefiningScript(n, nullptr, env->domain)) {
                            ensureScript(s);
                            push(Value(s->global));
                        } else {
                            push(Value(builtins));
                        }
                        AVM2_NEXT(58);
                    }
                    AVM2_TAIL(58)
                    AVM2_OP(0x60) { // getlex
                        const std::uint32_t idx = r.u30();
                        const Name& n = multiname(idx);
                        const Value o = findProp(n, true, &env->nameCache[idx]);
                        push(getPropertyWith(o, cachedBinding(o, n, idx), n));
                        AVM2_NEXT(59);
                    }
                    AVM2_TAIL(59)
                    AVM2_OP(0x61)
                    AVM2_OP(0x68) { // setproperty, initproperty
                        const std::uint32_t idx = r.u30();
                        Value v = pop();
                        // A name without runtime parts (the usual field) first: none of the
                        // cases after it apply to one.
                        if (isStatic(idx)) {
                            const Name& n = env->names[idx];
                            const Value o = pop();
                            Object* ob = o.object();
                            std::uint32_t* site = words + instrStart;
                            std::uint32_t slotIndex = 0;
                            Binding* b = nullptr;
                            bool isSlot = false;
                            if (ob && SiteCache::matches(site, ob->traits)) [[likely]] {
                                slotIndex = SiteCache::slot(site);
                                isSlot = true;
                            } else if (ob) {
                                b = findBindingCached(ob->traits, n, env->nameCache[idx]);
                                if (b && b->kind == Binding::Kind::Slot) {
                                    slotIndex = b->slot;
                                    isSlot = true;
                                    if (SiteCache::has(words[instrStart]))
                                        SiteCache::fill(site, ob->traits, b->slot);
                                }
                            }
                            // A declared variable whose type the value already has: store it here.
                            if (isSlot && slotIndex < ob->slotv.size() &&
                                slotIndex < ob->traits->slotv.size()) {
                                const Traits::SlotInfo& info = ob->traits->slotv[slotIndex];
                                if (info.typeResolved &&
                                    (!info.type || (info.type == numberClass && v.isNumeric()) ||
                                     (info.type == intClass && v.tag == Value::Tag::Int) ||
                                     (info.type == booleanClass && v.tag == Value::Tag::Bool))) {
                                    ob->slotv[slotIndex] = std::move(v);
                                    AVM2_NEXT(60);
                                }
                            }
                            if (ob && !b)
                                b = findBindingCached(ob->traits, n, env->nameCache[idx]);
                            if (b)
                                writeBinding(o, ob, b, n, v, op == 0x68);
                            else
                                setProperty(o, n, v, op == 0x68);
                            AVM2_NEXT(60);
                        }
                        // Fast path: array[int] = v inside the array, or vector[int] with its type.
                        if (idx < a.multinames.size() &&
                            a.multinames[idx].kind == MnKind::MultinameL && stackSize() >= 2 &&
                            sp[-1].tag == Value::Tag::Int && sp[-1].i >= 0 && sp[-2].object() &&
                            (sp[-2].o->kind == ObjectKind::Array ||
                             sp[-2].o->kind == ObjectKind::Vector)) {
                            auto* arr = static_cast<Array*>(sp[-2].o);
                            const auto i = std::size_t(sp[-1].i);
                            if (i < arr->items.size()) {
                                Class* et = arr->isVector ? arr->elementType : nullptr;
                                // A conversion may run script code that shrinks the vector.
                                if (et && !((et == booleanClass && v.tag == Value::Tag::Bool) ||
                                            (et == intClass && v.tag == Value::Tag::Int) ||
                                            (et == numberClass && v.isNumeric())))
                                    v = coerce(v, et);
                                if (i < arr->items.size()) {
                                    arr->items[i] = std::move(v);
                                    (--sp)->~Value();
                                    (--sp)->~Value();
                                    AVM2_NEXT(60);
                                }
                            }
                        }
                        // bytes[int] = v inside a ByteArray.
                        if (idx < a.multinames.size() &&
                            a.multinames[idx].kind == MnKind::MultinameL && stackSize() >= 2 &&
                            sp[-1].tag == Value::Tag::Int && sp[-1].i >= 0 && sp[-2].object() &&
                            sp[-2].o->kind == ObjectKind::ByteArray && domainMemoryBytes) {
                            std::vector<std::uint8_t>* data = domainMemoryBytes(sp[-2].o);
                            const auto i = std::size_t(sp[-1].i);
                            if (data && i < data->size() && v.tag == Value::Tag::Int) {
                                (*data)[i] = std::uint8_t(v.i);
                                (--sp)->~Value();
                                (--sp)->~Value();
                                AVM2_NEXT(60);
                            }
                        }
                        // Dictionary keys keep their identity: no conversion to a name.
                        if (idx < a.multinames.size() && a.multinames[idx].needsRuntimeName() &&
                            !a.multinames[idx].needsRuntimeNs() && stackSize() >= 2 &&
                            sp[-2].object() && sp[-2].o->kind == ObjectKind::Dictionary) {
                            const Value key = pop();
                            auto* d = static_cast<Dictionary*>(pop().o);
                            d->set(*this, key, v);
                            AVM2_NEXT(60);
                        }
                        Name nBuf;
                        const Name& n = runtimeName(idx, nBuf);
                        const Value o = pop();
                        setProperty(o, n, v, op == 0x68);
                        AVM2_NEXT(60);
                    }
                    AVM2_TAIL(60)
                    // getlocal and setlocal: the decoder checked the register (see
                    // checkRegisters).
                    AVM2_OP(0x62)
                    pushLocal(regs[words[r.pc]]);
                    AVM2_NEXT(61);
                    AVM2_TAIL(61)
                    AVM2_OP(0x63) { // the value is assigned from its place on the stack, not
                                    // through a copy
                        Value& v = top();
                        regs[words[r.pc]] = v;
                        (--sp)->~Value();
                    }
                    AVM2_NEXT(62);
                    AVM2_TAIL(62)
                    AVM2_OP(0x64) // getglobalscope
                    if (saved && !saved->empty())
                        push(saved->front().object);
                    else if (!scopes.empty())
                        push(scopes.front().object);
                    else
                        push(Value::null());
                    AVM2_NEXT(63);
                    AVM2_TAIL(63)
                    AVM2_OP(0x65) { // getscopeobject
                        const std::uint8_t i = r.u8();
                        if (i >= scopes.size())
                            verify(1019, "Getscopeobject  is out of bounds.");
                        push(scopes[i].object);
                        AVM2_NEXT(64);
                    }
                    AVM2_TAIL(64)
                    AVM2_OP(0x67) { // getouterscope: the scopes saved when the function was made
                        const std::uint32_t i = r.u30();
                        if (!saved || i >= saved->size())
                            verify(1019, "Getscopeobject  is out of bounds.");
                        push((*saved)[i].object);
                        AVM2_NEXT(400);
                    }
                    AVM2_TAIL(400)
                    AVM2_OP(0x66) { // getproperty
                        const std::uint32_t idx = r.u30();
                        if (isStatic(idx)) {
                            const Name& n = env->names[idx];
                            Value& o = top();
                            std::uint32_t* site = words + instrStart;
                            if (o.tag == Value::Tag::Object &&
                                SiteCache::matches(site, o.o->traits) &&
                                SiteCache::slot(site) < o.o->slotv.size()) [[likely]] {
                                o = o.o->slotv[SiteCache::slot(site)];
                                skipNoopConvert(o);
                                AVM2_NEXT(65);
                            }
                            Binding* b = cachedBinding(o, n, idx);
                            // A declared variable: read its slot here.
                            if (b && o.tag == Value::Tag::Object &&
                                (b->kind == Binding::Kind::Slot ||
                                 b->kind == Binding::Kind::Const) &&
                                b->slot < o.o->slotv.size()) {
                                if (SiteCache::has(words[instrStart]))
                                    SiteCache::fill(site, o.o->traits, b->slot);
                                o = o.o->slotv[b->slot];
                                skipNoopConvert(o);
                                AVM2_NEXT(65);
                            }
                            Value res = getPropertyWith(o, b, n);
                            sp[-1] = std::move(res);
                            AVM2_NEXT(65);
                        }
                        Name n;
                        const MultinameInfo& mi2 =
                            a.multinames[idx < a.multinames.size() ? idx : 0];
                        // Fast path: array[int].
                        if (mi2.kind == MnKind::MultinameL && stackSize() >= 2) {
                            const Value& key = sp[-1];
                            const Value& obj = sp[-2];
                            if (key.tag == Value::Tag::Int && key.i >= 0 && obj.object() &&
                                (obj.o->kind == ObjectKind::Array ||
                                 (obj.o->kind == ObjectKind::Vector &&
                                  std::size_t(key.i) < static_cast<Array*>(obj.o)->items.size()))) {
                                auto* arr = static_cast<Array*>(obj.o);
                                Value v = std::size_t(key.i) < arr->items.size()
                                              ? arr->items[std::size_t(key.i)]
                                              : Value();
                                (--sp)->~Value();
                                sp[-1] = std::move(v);
                                AVM2_NEXT(65);
                            }
                            // bytes[int] inside a ByteArray.
                            if (key.tag == Value::Tag::Int && key.i >= 0 && obj.object() &&
                                obj.o->kind == ObjectKind::ByteArray && domainMemoryBytes) {
                                std::vector<std::uint8_t>* data = domainMemoryBytes(obj.o);
                                if (data && std::size_t(key.i) < data->size()) {
                                    const std::int32_t byte = (*data)[std::size_t(key.i)];
                                    (--sp)->~Value();
                                    sp[-1] = Value(byte);
                                    AVM2_NEXT(65);
                                }
                            }
                        }
                        if (mi2.needsRuntimeName() && !mi2.needsRuntimeNs() && stackSize() >= 2 &&
                            sp[-2].object() && sp[-2].o->kind == ObjectKind::Dictionary) {
                            const Value key = pop();
                            auto* d = static_cast<Dictionary*>(pop().o);
                            Value v;
                            d->get(*this, key, v);
                            push(std::move(v));
                            AVM2_NEXT(65);
                        }
                        runtimeName(idx, n);
                        const Value o = pop();
                        push(getProperty(o, n));
                        AVM2_NEXT(65);
                    }
                    AVM2_TAIL(65)
                    AVM2_OP(0x6A) { // deleteproperty
                        Name n;
                        const std::uint32_t didx = r.u30();
                        if (didx < a.multinames.size() && a.multinames[didx].needsRuntimeName() &&
                            !a.multinames[didx].needsRuntimeNs() && stackSize() >= 2 &&
                            sp[-2].object() && sp[-2].o->kind == ObjectKind::Dictionary) {
                            const Value key = pop();
                            auto* d = static_cast<Dictionary*>(pop().o);
                            push(Value(d->remove(*this, key)));
                            AVM2_NEXT(66);
                        }
                        r.pc = instrStart + 1;
                        // A pool name without runtime parts comes back as the pool's own Name.
                        const Name& dn = runtimeName(r.u30(), n);
                        const Value o = pop();
                        push(Value(deleteProperty(o, dn)));
                        AVM2_NEXT(66);
                    }
                    AVM2_TAIL(66)
                    AVM2_OP(0x6C) { // getslot
                        const std::uint32_t s = r.u30();
                        const Value o = pop();
                        push(getSlot(o, s));
                        AVM2_NEXT(67);
                    }
                    AVM2_TAIL(67)
                    AVM2_OP(0x6D) { // setslot
                        const std::uint32_t s = r.u30();
                        const Value v = pop();
                        const Value o = pop();
                        setSlot(o, s, v);
                        AVM2_NEXT(68);
                    }
                    AVM2_TAIL(68)
                    AVM2_OP(0x6E) { // getglobalslot
                        const std::uint32_t s = r.u30();
                        const Value g =
                            saved && !saved->empty()
                                ? saved->front().object
                                : (scopes.empty() ? Value::null() : scopes.front().object);
                        push(getSlot(g, s));
                        AVM2_NEXT(69);
                    }
                    AVM2_TAIL(69)
                    AVM2_OP(0x6F) { // setglobalslot
                        const std::uint32_t s = r.u30();
                        const Value v = pop();
                        const Value g =
                            saved && !saved->empty()
                                ? saved->front().object
                                : (scopes.empty() ? Value::null() : scopes.front().object);
                        setSlot(g, s, v);
                        AVM2_NEXT(70);
                    }
                    AVM2_TAIL(70)
                    AVM2_OP(0x70) {
                        Value& v = top();
                        if (!v.isString())
                            v = Value(toString(v));
                        AVM2_NEXT(71);
                    }
                    AVM2_TAIL(71)
                    AVM2_OP(0x71)
                    AVM2_OP(0x72) { // esc_xelem, esc_xattr
                        const Value ev = pop();
                        if (op == 0x71 && isXmlValue(ev)) {
                            push(Value(xmlToXmlString(*this, ev.o)));
                            AVM2_NEXT(72);
                        }
                        QString s = toString(ev);
                        s.replace(u'&', QStringLiteral("&amp;"))
                            .replace(u'<', QStringLiteral("&lt;"));
                        if (op == 0x71)
                            s.replace(u'>', QStringLiteral("&gt;"));
                        else
                            s.replace(u'"', QStringLiteral("&quot;"))
                                .replace(u'\n', QStringLiteral("&#xA;"))
                                .replace(u'\r', QStringLiteral("&#xD;"))
                                .replace(u'\t', QStringLiteral("&#x9;"));
                        push(Value(s));
                        AVM2_NEXT(72);
                    }
                    AVM2_TAIL(72)
                    AVM2_OP(0x73)
                    AVM2_OP(0x83) {
                        Value& v = top();
                        if (v.tag != Value::Tag::Int)
                            v = Value(toInt32(v));
                        AVM2_NEXT(73);
                    }
                    AVM2_TAIL(73)
                    AVM2_OP(0x74)
                    AVM2_OP(0x88) {
                        Value& v = top();
                        v = Value::fromUint(toUint32(v));
                        AVM2_NEXT(74);
                    }
                    AVM2_TAIL(74)
                    AVM2_OP(0x75)
                    AVM2_OP(0x84) {
                        Value& v = top();
                        if (!v.isNumeric())
                            v = Value::number(toNumber(v));
                        AVM2_NEXT(75);
                    }
                    AVM2_TAIL(75)
                    AVM2_OP(0x76)
                    AVM2_OP(0x81) {
                        Value& v = top();
                        v = Value(toBoolean(v));
                        AVM2_NEXT(76);
                    }
                    AVM2_TAIL(76)
                    AVM2_OP(0x77) { // convert_o
                        const Value& v = top();
                        if (v.isNullish())
                            throwTypeError(
                                v.isNull() ? 1009 : 1010,
                                v.isNull()
                                    ? QStringLiteral("Cannot access a property or method of a null "
                                                     "object reference.")
                                    : QStringLiteral("A term is undefined and has no properties."));
                        AVM2_NEXT(77);
                    }
                    AVM2_TAIL(77)
                    AVM2_OP(0x78) { // checkfilter
                        const Value& v = top();
                        Class* c = classOf(v);
                        if (!c || (c != xmlClass && c != xmlListClass))
                            throwTypeError(
                                1123, QStringLiteral("Filter operator not supported on type %1.")
                                          .arg(c ? c->qualifiedName() : toString(v)));
                        AVM2_NEXT(78);
                    }
                    AVM2_TAIL(78)
                    AVM2_OP(0x80) { // coerce
                        const std::uint32_t idx = r.u30();
                        multiname(idx);
                        Class* c = resolveType(env, idx);
                        Value& v = top();
                        // Values of the type already (the usual case) stay as they are.
                        if (!c || hasTypeAlready(v, c))
                            AVM2_NEXT(79);
                        v = coerce(v, c);
                        AVM2_NEXT(79);
                    }
                    AVM2_TAIL(79)
                    AVM2_OP(0x82)
                    AVM2_NEXT(80); // coerce_a
                    AVM2_TAIL(80)
                    AVM2_OP(0x85) { // coerce_s
                        Value& v = top();
                        if (v.isNullish())
                            v = Value::null();
                        else if (!v.isString())
                            v = Value(toString(v));
                        AVM2_NEXT(81);
                    }
                    AVM2_TAIL(81)
                    AVM2_OP(0x86) { // astype
                        const std::uint32_t idx = r.u30();
                        multiname(idx);
                        Class* c = resolveType(env, idx);
                        Value& v = top();
                        if (!isType(v, c))
                            v = Value::null();
                        AVM2_NEXT(82);
                    }
                    AVM2_TAIL(82)
                    AVM2_OP(0x87)
                    AVM2_OP(0xB3) { // astypelate, istypelate
                        const Value t = pop();
                        Value& v = top();
                        Object* to = t.object();
                        if (!to || to->kind != ObjectKind::Class)
                            throwTypeError(
                                1041,
                                QStringLiteral("The right-hand side of operator must be a class."));
                        const bool is = isType(v, static_cast<Class*>(to));
                        if (op == 0xB3)
                            v = Value(is);
                        else if (!is)
                            v = Value::null();
                        AVM2_NEXT(83);
                    }
                    AVM2_TAIL(83)
                    AVM2_OP(0x89) {
                        Value& v = top();
                        if (v.isUndefined())
                            v = Value::null();
                        AVM2_NEXT(84);
                    }
                    AVM2_TAIL(84)
                    AVM2_OP(0x90) {
                        Value& v = top();
                        v = numberResult(-number(v));
                        AVM2_NEXT(85);
                    }
                    AVM2_TAIL(85)
                    AVM2_OP(0x91) {
                        Value& v = top();
                        v = numberResult(number(v) + 1);
                        AVM2_NEXT(86);
                    }
                    AVM2_TAIL(86)
                    AVM2_OP(0x93) {
                        Value& v = top();
                        v = numberResult(number(v) - 1);
                        AVM2_NEXT(87);
                    }
                    AVM2_TAIL(87)
                    AVM2_OP(0x92) {
                        Value& v = reg(r.u30());
                        v = numberResult(number(v) + 1);
                        AVM2_NEXT(88);
                    }
                    AVM2_TAIL(88)
                    AVM2_OP(0x94) {
                        Value& v = reg(r.u30());
                        v = numberResult(number(v) - 1);
                        AVM2_NEXT(89);
                    }
                    AVM2_TAIL(89)
                    AVM2_OP(0x95) {
                        Value& v = top();
                        v = Value(typeOf(v));
                        AVM2_NEXT(90);
                    }
                    AVM2_TAIL(90)
                    AVM2_OP(0x96) {
                        Value& v = top();
                        v = Value(!truth(v));
                        AVM2_NEXT(91);
                    }
                    AVM2_TAIL(91)
                    AVM2_OP(0x97) {
                        Value& v = top();
                        v = Value(~i32(v));
                        AVM2_NEXT(92);
                    }
                    AVM2_TAIL(92)
                    AVM2_OP(0xA0) { // add
                        const Value b = pop();
                        Value& av = top();
                        if (av.tag == Value::Tag::Int && b.tag == Value::Tag::Int) {
                            av = intResult(std::int64_t(av.i) + b.i);
                        } else if (av.isNumeric() && b.isNumeric()) {
                            av = numberResult(av.toDoubleFast() + b.toDoubleFast());
                        } else if (av.isString() && b.isString()) {
                            av = Value(concatStrings(av.s(), b.s()));
                        } else if (isXmlValue(av) && isXmlValue(b)) {
                            av = xmlConcat(*this, av, b);
                        } else {
                            const Value pa = toPrimitive(av, false), pb = toPrimitive(b, false);
                            if (pa.isString() || pb.isString() ||
                                (av.object() && av.o->kind == ObjectKind::Date) ||
                                (b.object() && b.o->kind == ObjectKind::Date))
                                av = Value(concatStrings(toString(pa), toString(pb)));
                            else
                                av = Value::number(toNumber(pa) + toNumber(pb));
                        }
                        skipNoopConvert(av);
                        AVM2_NEXT(93);
                    }
                    AVM2_TAIL(93)
#define AVM2_COMPARE(opcode, tail, expr)                                                           \
    AVM2_OP(opcode) {                                                                              \
        const Value b = pop();                                                                     \
        Value& av = top();                                                                         \
        av = Value(expr);                                                                          \
        AVM2_NEXT(tail);                                                                           \
    }                                                                                              \
    AVM2_TAIL(tail)
#define AVM2_NUMBER_BINOP(opcode, tail, expr)                                                      \
    AVM2_OP(opcode) {                                                                              \
        const Value b = pop();                                                                     \
        Value& av = top();                                                                         \
        const double x = number(av);                                                               \
        const double y = number(b);                                                                \
        av = numberResult(expr);                                                                   \
        skipNoopConvert(av);                                                                       \
        AVM2_NEXT(tail);                                                                           \
    }                                                                                              \
    AVM2_TAIL(tail)
#define AVM2_INT_BINOP(opcode, tail, expr)                                                         \
    AVM2_OP(opcode) {                                                                              \
        const Value b = pop();                                                                     \
        Value& av = top();                                                                         \
        const std::int32_t x = i32(av);                                                            \
        const std::int32_t y = i32(b);                                                             \
        const std::uint32_t ux = std::uint32_t(x), uy = std::uint32_t(y);                          \
        (void)ux;                                                                                  \
        (void)uy;                                                                                  \
        av = expr;                                                                                 \
        skipNoopConvert(av);                                                                       \
        AVM2_NEXT(tail);                                                                           \
    }                                                                                              \
    AVM2_TAIL(tail)
                    AVM2_OP(0xA1) { // subtract
                        const Value b = pop();
                        Value& av = top();
                        if (av.tag == Value::Tag::Int && b.tag == Value::Tag::Int) {
                            av = intResult(std::int64_t(av.i) - b.i);
                        } else {
                            const double x = number(av);
                            const double y = number(b);
                            av = numberResult(x - y);
                        }
                        skipNoopConvert(av);
                        AVM2_NEXT(94);
                    }
                    AVM2_TAIL(94)
                    AVM2_NUMBER_BINOP(0xA2, 200, x * y)
                    AVM2_NUMBER_BINOP(0xA3, 201, x / y)
                    AVM2_NUMBER_BINOP(0xA4, 202, std::fmod(x, y))
                    AVM2_INT_BINOP(0xA5, 95, Value(std::int32_t(ux << (uy & 31))))
                    AVM2_INT_BINOP(0xA6, 203, Value(std::int32_t(x >> (uy & 31))))
                    AVM2_INT_BINOP(0xA7, 204, Value::fromUint(ux >> (uy & 31)))
                    AVM2_INT_BINOP(0xA8, 205, Value(std::int32_t(x & y)))
                    AVM2_INT_BINOP(0xA9, 206, Value(std::int32_t(x | y)))
                    AVM2_INT_BINOP(0xAA, 207, Value(std::int32_t(x ^ y)))
                    AVM2_INT_BINOP(0xC5, 208, Value(std::int32_t(ux + uy)))
                    AVM2_INT_BINOP(0xC6, 209, Value(std::int32_t(ux - uy)))
                    AVM2_INT_BINOP(0xC7, 210, Value(std::int32_t(ux * uy)))
#undef AVM2_NUMBER_BINOP
#undef AVM2_INT_BINOP
                    AVM2_COMPARE(0xAB, 96, looseEquals(av, b))  // equals
                    AVM2_COMPARE(0xAC, 97, strictEquals(av, b)) // strictequals
                    AVM2_COMPARE(0xAD, 98, less(av, b) == 1)    // lessthan
                    AVM2_COMPARE(0xAE, 99, less(b, av) == 0)    // lessequals
                    AVM2_COMPARE(0xAF, 100, less(b, av) == 1)   // greaterthan
                    AVM2_COMPARE(0xB0, 101, less(av, b) == 0)   // greaterequals
#undef AVM2_COMPARE
                    AVM2_OP(0xB1) { // instanceof
                        const Value t = pop();
                        Value& v = top();
                        Object* to = t.object();
                        if (!to ||
                            (to->kind != ObjectKind::Class && to->kind != ObjectKind::Function))
                            throwTypeError(1040, QStringLiteral("The right-hand side of instanceof "
                                                                "must be a class or function."));
                        Object* target =
                            to->kind == ObjectKind::Class
                                ? static_cast<Class*>(to)->prototype
                                : getProperty(t, publicName(QStringLiteral("prototype"))).object();
                        bool found = false;
                        for (Object* p = v.object() ? v.o->proto : protoOf(v); p && target;
                             p = p->proto)
                            if (p == target) {
                                found = true;
                                break;
                            }
                        v = Value(found);
                        AVM2_NEXT(102);
                    }
                    AVM2_TAIL(102)
                    AVM2_OP(0xB2) { // istype
                        const std::uint32_t idx = r.u30();
                        multiname(idx);
                        Class* c = resolveType(env, idx);
                        Value& v = top();
                        v = Value(isType(v, c));
                        AVM2_NEXT(103);
                    }
                    AVM2_TAIL(103)
                    AVM2_OP(0xB4) { // in
                        const Value o = pop();
                        Value& nv = top();
                        if (o.object() && o.o->kind == ObjectKind::Dictionary) {
                            nv = Value(static_cast<Dictionary*>(o.o)->has(*this, nv));
                            AVM2_NEXT(104);
                        }
                        // A QName in a namespace keeps it (a Proxy's hasProperty gets the QName);
                        // any other value names a public property.
                        const QNameObject* q = asQName(nv);
                        if (q && !q->anyNs && !q->uri.isEmpty()) {
                            Name n;
                            n.local = q->local;
                            n.nss = {internNs(NsKind::Namespace, q->uri)};
                            nv = Value(hasProperty(o, n));
                        } else {
                            nv = Value(hasProperty(o, publicName(toString(nv))));
                        }
                        AVM2_NEXT(104);
                    }
                    AVM2_TAIL(104)
                    AVM2_OP(0xC0) {
                        Value& v = top();
                        v = Value(std::int32_t(std::uint32_t(i32(v)) + 1u));
                        AVM2_NEXT(105);
                    }
                    AVM2_TAIL(105)
                    AVM2_OP(0xC1) {
                        Value& v = top();
                        v = Value(std::int32_t(std::uint32_t(i32(v)) - 1u));
                        AVM2_NEXT(106);
                    }
                    AVM2_TAIL(106)
                    AVM2_OP(0xC2) {
                        Value& v = reg(r.u30());
                        v = Value(std::int32_t(std::uint32_t(i32(v)) + 1u));
                        // Haxe's `j = i++` converts the int it kept on the stack.
                        if (sp != stackBase)
                            skipNoopConvert(sp[-1]);
                        AVM2_NEXT(107);
                    }
                    AVM2_TAIL(107)
                    AVM2_OP(0xC3) {
                        Value& v = reg(r.u30());
                        v = Value(std::int32_t(std::uint32_t(i32(v)) - 1u));
                        AVM2_NEXT(108);
                    }
                    AVM2_TAIL(108)
                    AVM2_OP(0xC4) {
                        Value& v = top();
                        v = Value(std::int32_t(0u - std::uint32_t(i32(v))));
                        AVM2_NEXT(109);
                    }
                    AVM2_TAIL(109)
// A binary operator with one operand from a register or a constant (see fuseOperands). `b` is
// that operand, `av` the stack's top; when both are numbers (and there is room for the value
// the plain instruction would have pushed) the operator runs here and is stepped over.
// Otherwise the first instruction runs as it is: FALLBACK, then the operator by itself.
#define AVM2_FUSED_BINOP(opcode, tail, FETCH, FALLBACK, ...)                                       \
    AVM2_OP(opcode) {                                                                              \
        const std::uint32_t operand = r.u30();                                                     \
        FETCH;                                                                                     \
        if (fetched && sp != stackBase && sp != stackLimit && sp[-1].isNumeric() &&                \
            b.isNumeric()) {                                                                       \
            Value& av = sp[-1];                                                                    \
            __VA_ARGS__;                                                                           \
            ++pc;                                                                                  \
            skipNoopConvert(av);                                                                   \
            AVM2_NEXT(tail);                                                                       \
        }                                                                                          \
        FALLBACK;                                                                                  \
        AVM2_NEXT(tail);                                                                           \
    }                                                                                              \
    AVM2_TAIL(tail)
#define AVM2_FETCH_LOCAL                                                                           \
    const bool fetched = true; /* the decoder checked the register */                              \
    const Value& b = regs[operand]
#define AVM2_FETCH_CONST                                                                           \
    const bool fetched = true;                                                                     \
    const Value b{std::int32_t(operand)}
#define AVM2_FALLBACK_LOCAL pushLocal(regs[operand])
#define AVM2_FALLBACK_CONST push(b)
#define AVM2_ADD_NUM                                                                               \
    if (av.tag == Value::Tag::Int && b.tag == Value::Tag::Int)                                     \
        av = intResult(std::int64_t(av.i) + b.i);                                                  \
    else                                                                                           \
        av = numberResult(av.toDoubleFast() + b.toDoubleFast())
#define AVM2_SUB_NUM                                                                               \
    if (av.tag == Value::Tag::Int && b.tag == Value::Tag::Int)                                     \
        av = intResult(std::int64_t(av.i) - b.i);                                                  \
    else                                                                                           \
        av = numberResult(av.toDoubleFast() - b.toDoubleFast())
#define AVM2_NUM(expr)                                                                             \
    const double x = av.toDoubleFast(), y = b.toDoubleFast();                                      \
    av = numberResult(expr)
#define AVM2_INT(expr)                                                                             \
    const std::int32_t x = i32(av), y = i32(b);                                                    \
    const std::uint32_t ux = std::uint32_t(x), uy = std::uint32_t(y);                              \
    (void)ux;                                                                                      \
    (void)uy;                                                                                      \
    av = expr
#define AVM2_FUSED_PAIR(k, localOp, constOp, tailL, tailC, ...)                                    \
    AVM2_FUSED_BINOP(localOp, tailL, AVM2_FETCH_LOCAL, AVM2_FALLBACK_LOCAL, __VA_ARGS__)           \
    AVM2_FUSED_BINOP(constOp, tailC, AVM2_FETCH_CONST, AVM2_FALLBACK_CONST, __VA_ARGS__)
                    AVM2_FUSED_PAIR(0, 0x110, 0x130, 300, 320, AVM2_ADD_NUM)
                    AVM2_FUSED_PAIR(1, 0x111, 0x131, 301, 321, AVM2_SUB_NUM)
                    AVM2_FUSED_PAIR(2, 0x112, 0x132, 302, 322, AVM2_NUM(x * y))
                    AVM2_FUSED_PAIR(3, 0x113, 0x133, 303, 323, AVM2_NUM(x / y))
                    AVM2_FUSED_PAIR(4, 0x114, 0x134, 304, 324,
                                    AVM2_INT(Value(std::int32_t(ux << (uy & 31)))))
                    AVM2_FUSED_PAIR(5, 0x115, 0x135, 305, 325,
                                    AVM2_INT(Value(std::int32_t(x >> (uy & 31)))))
                    AVM2_FUSED_PAIR(6, 0x116, 0x136, 306, 326,
                                    AVM2_INT(Value::fromUint(ux >> (uy & 31))))
                    AVM2_FUSED_PAIR(7, 0x117, 0x137, 307, 327, AVM2_INT(Value(std::int32_t(x & y))))
                    AVM2_FUSED_PAIR(8, 0x118, 0x138, 308, 328, AVM2_INT(Value(std::int32_t(x | y))))
                    AVM2_FUSED_PAIR(9, 0x119, 0x139, 309, 329, AVM2_INT(Value(std::int32_t(x ^ y))))
                    AVM2_FUSED_PAIR(10, 0x11A, 0x13A, 310, 330,
                                    AVM2_INT(Value(std::int32_t(ux + uy))))
                    AVM2_FUSED_PAIR(11, 0x11B, 0x13B, 311, 331,
                                    AVM2_INT(Value(std::int32_t(ux - uy))))
                    AVM2_FUSED_PAIR(12, 0x11C, 0x13C, 312, 332,
                                    AVM2_INT(Value(std::int32_t(ux * uy))))
#undef AVM2_FUSED_PAIR
#undef AVM2_INT
#undef AVM2_NUM
#undef AVM2_SUB_NUM
#undef AVM2_ADD_NUM
#undef AVM2_FALLBACK_CONST
#undef AVM2_FALLBACK_LOCAL
#undef AVM2_FETCH_CONST
#undef AVM2_FETCH_LOCAL
#undef AVM2_FUSED_BINOP
// getlocal_n and setlocal_n, one handler each; the decoder checked the register.
#define AVM2_GETLOCAL_N(opcode, tail)                                                              \
    AVM2_OP(opcode)                                                                                \
    pushLocal(regs[opcode - 0xD0]);                                                                \
    AVM2_NEXT(tail);                                                                               \
    AVM2_TAIL(tail)
#define AVM2_SETLOCAL_N(opcode, tail)                                                              \
    AVM2_OP(opcode) {                                                                              \
        Value& v = top();                                                                          \
        regs[opcode - 0xD4] = v;                                                                   \
        (--sp)->~Value();                                                                          \
    }                                                                                              \
    AVM2_NEXT(tail);                                                                               \
    AVM2_TAIL(tail)
                    AVM2_GETLOCAL_N(0xD0, 110)
                    AVM2_GETLOCAL_N(0xD1, 510)
                    AVM2_GETLOCAL_N(0xD2, 511)
                    AVM2_GETLOCAL_N(0xD3, 512)
                    AVM2_SETLOCAL_N(0xD4, 111)
                    AVM2_SETLOCAL_N(0xD5, 513)
                    AVM2_SETLOCAL_N(0xD6, 514)
                    AVM2_SETLOCAL_N(0xD7, 515)
#undef AVM2_GETLOCAL_N
#undef AVM2_SETLOCAL_N
                    AVM2_OP(0xEF)
                    r.u8();
                    r.u30();
                    r.u8();
                    r.u30();
                    AVM2_NEXT(112); // debug
                    AVM2_TAIL(112)
                    AVM2_OP(0xF0)
                    AVM2_OP(0xF1)
                    AVM2_OP(0xF2)
                    r.u30();
                    AVM2_NEXT(113); // debugline, debugfile, bkptline
                    AVM2_TAIL(113)
                default:
                    throwError("VerifyError", 1011,
                               QStringLiteral("Method contained illegal opcode %1 at offset %2.")
                                   .arg(op)
                                   .arg(dec.offsetOf[instrStart]));
                }
            }
        } catch (ScriptThrow& t) {
            // Whether or not a handler takes it, the stack is emptied.
            stackDrop(sp, stackSize());
            // The first handler covering the throwing instruction whose type matches.
            const ExceptionInfo* handler = nullptr;
            const std::uint32_t at = dec.offsetOf[instrStart];
            for (const ExceptionInfo& ex : body.exceptions) {
                if (at < ex.from || at >= ex.to)
                    continue;
                if (ex.type) {
                    Class* c = resolveType(env, ex.type);
                    if (c && !isType(t.value, c))
                        continue;
                }
                handler = &ex;
                break;
            }
            if (!handler) {
                if (unwindTrace.size() < 64) {
                    // The instruction and, for name operands, the name: enough to find the spot.
                    // A body that runs off its end throws with instrStart at its size.
                    const std::uint32_t w = words[instrStart];
                    QString detail =
                        at < codeSize
                            ? QStringLiteral("op 0x%1").arg(body.code[at], 2, 16, QLatin1Char('0'))
                            : QStringLiteral("the end of the body");
                    if ((w & 0x1FF) < 0x100 && (w >> 9) > 1) {
                        const std::uint32_t operand = words[instrStart + 1];
                        if (operand < env->names.size())
                            detail += QStringLiteral(" name %1").arg(env->names[operand].local);
                    }
                    unwindTrace.push_back(QStringLiteral("\tat %1 (offset %2, %3)")
                                              .arg(a.strings[mi.name].isEmpty()
                                                       ? QStringLiteral("<anonymous>")
                                                       : a.strings[mi.name])
                                              .arg(at)
                                              .arg(detail));
                }
                throw;
            }
            const std::uint32_t handlerAt =
                handler->target <= codeSize ? dec.wordAt[handler->target] : DecodedBody::kNoWord;
            if (handlerAt == DecodedBody::kNoWord)
                verify(1021,
                       "At least one branch target was not on a valid instruction in the method.");
            // A handler can rethrow into itself forever without a branch.
            checkBudget();
            unwindTrace.clear();
            scopes.clear();
            new (sp++) Value(std::move(t.value));
            pc = handlerAt;
        } catch (...) {
            stackDrop(sp, stackSize());
            throw;
        }
    }
#undef push
#undef pop
#undef top
#undef args
#undef argSpan
#undef runtimeName
#undef stackSize
}

} // namespace swf::avm2
