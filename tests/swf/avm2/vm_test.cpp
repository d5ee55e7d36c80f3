// The AS3 virtual machine on hand-built bytecode: arithmetic as the standard wants it,
// handlers, number printing, and scripts that break limits or the bytecode rules stop with
// one reported line while the movie goes on.

#include "swf/avm2/abc_writer.h"
#include "swf/avm2/amf.h"
#include "swf/avm2/dictionary.h"
#include "swf/avm2/qname.h"
#include "swf/avm2/runtime.h"
#include "swf/movie.h"
#include "swf/swf_writer.h"

#include <QRegularExpression>
#include <QStringList>
#include <cmath>
#include <gtest/gtest.h>

namespace {

using avm2test::SimpleAbc;

struct Outcome {
    QStringList traces, errors;
};

Outcome runAbc(const std::vector<std::uint8_t>& abc, swf::avm2::Limits limits = {}, int frames = 1,
               const std::function<void(swf::avm2::VM&)>& prepare = {}) {
    swftest::Writer doAbc;
    doAbc.u32(0).u8(0); // not lazy, empty name
    doAbc.bytes(abc);
    const auto bytes = swftest::movie(
        swftest::concat({swftest::tag(69, swftest::Writer().u32(0x08)),
                         swftest::tag(82, doAbc, true), swftest::showFrame(), swftest::end()}));
    auto movie = swf::Movie::load(bytes);
    Outcome out;
    if (!movie)
        return out;
    swf::avm2::RuntimeOptions options;
    options.limits = limits;
    options.trace = [&](const QString& l) { out.traces << l; };
    options.error = [&](const QString& l) { out.errors << l; };
    swf::avm2::Runtime runtime(*movie, options);
    if (prepare)
        prepare(runtime.vm());
    runtime.start();
    for (int i = 1; i < frames; ++i)
        runtime.advanceFrame();
    return out;
}

// getlocal0 pushscope findpropstrict trace
const std::vector<std::uint8_t> kPrologue = {0xD0, 0x30, 0x5D, 0x01};
// callpropvoid trace 1, returnvoid
const std::vector<std::uint8_t> kTraceEnd = {0x4F, 0x01, 0x01, 0x47};

std::vector<std::uint8_t> traceOf(std::vector<std::uint8_t> push) {
    std::vector<std::uint8_t> code = kPrologue;
    code.insert(code.end(), push.begin(), push.end());
    code.insert(code.end(), kTraceEnd.begin(), kTraceEnd.end());
    return code;
}

TEST(Avm2Vm, IntegerAndNumberArithmetic) {
    struct Case {
        std::vector<std::uint8_t> push;
        const char* expected;
    };
    // int pool: 1 = 2147483647, 2 = -1, 3 = 123456789, 4 = 987654321
    const std::vector<Case> cases = {
        {{0x2D, 0x01, 0x24, 0x01, 0xC5}, "-2147483648"},         // add_i wraps
        {{0x2D, 0x01, 0x24, 0x01, 0xA0}, "2147483648"},          // add does not
        {{0x2D, 0x02, 0x24, 0x00, 0xA7}, "4294967295"},          // -1 >>> 0 is a uint
        {{0x2D, 0x03, 0x2D, 0x04, 0xC7}, "-67153019"},           // multiply_i keeps the low bits
        {{0x24, 0xF9, 0x24, 0x01, 0xA6}, "-4"},                  // -7 >> 1
        {{0x24, 0x05, 0x24, 0xFD, 0xA4}, "2"},                   // 5 % -3
        {{0x24, 0x01, 0x24, 0x00, 0xA3}, "Infinity"},            // 1 / 0
        {{0x24, 0x00, 0x24, 0x00, 0xA3, 0x73}, "0"},             // int(NaN)
        {{0x2F, 0x01, 0x2F, 0x02, 0xA0}, "0.30000000000000004"}, // 0.1 + 0.2
        {{0x24, 0x80, 0x51}, "-128"},                            // pushbyte sign-extends
        {{0x25, 0xFF, 0xFF, 0x03}, "-1"},                        // pushshort 0xFFFF
        {{0x24, 0x03, 0x50}, "-1"},                              // sxi1
        {{0x28, 0x28, 0xAB, 0x26, 0xAC}, "false"},               // (NaN == NaN) === true is false
        {{0x24, 0x01, 0x24, 0x00, 0x24, 0xFF, 0xA2, 0xA3}, "-Infinity"},   // 1 / (0 * -1): -0
        {{0x2D, 0x01, 0x24, 0x02, 0xA2}, "4294967294"},                    // past int's range
        {{0x2D, 0x02, 0x2D, 0x01, 0xA1, 0x24, 0x01, 0xA1}, "-2147483649"}, // -1 - max - 1
        // An operation steps over a convert that follows it only when the result has the type.
        {{0x2D, 0x02, 0x24, 0x00, 0xA7, 0x73}, "-1"},                           // int(-1 >>> 0)
        {{0x2D, 0x02, 0x2D, 0x01, 0xA1, 0x24, 0x01, 0xA1, 0x73}, "2147483647"}, // int(-1-max-1)
        {{0x2F, 0x01, 0x2F, 0x02, 0xA0, 0x73}, "0"},                            // int(0.1 + 0.2)
        {{0x2D, 0x01, 0x24, 0x02, 0xA2, 0x73}, "-2"},                           // int(max * 2)
        {{0x2D, 0x01, 0x24, 0x01, 0xC5, 0x73}, "-2147483648"},                  // int(add_i)
        {{0x24, 0x05, 0x24, 0x03, 0xA2, 0x75}, "15"},                           // Number(5 * 3)
        {{0x24, 0x07, 0x24, 0x02, 0xA3, 0x73, 0x24, 0x01, 0xA0}, "4"},          // int(7 / 2) + 1
        {{0x2C, 0x03, 0x24, 0x01, 0xA0, 0x73}, "0"},                            // int("x" + 1)
    };
    for (const Case& c : cases) {
        SimpleAbc abc;
        abc.ints = {2147483647, -1, 123456789, 987654321};
        abc.doubles = {0.1, 0.2};
        abc.extraStrings = {"x"};
        abc.code = traceOf(c.push);
        const Outcome r = runAbc(abc.build());
        EXPECT_EQ(r.traces, QStringList{QString::fromLatin1(c.expected)})
            << c.expected << " " << r.errors.join(u'|').toStdString();
    }
}

// A number that is a whole int32 is an int however it was made (`is int`), and no other is.
TEST(Avm2Vm, WholeNumbersAreIntsWhateverMadeThem) {
    struct Case {
        std::vector<std::uint8_t> push;
        const char* expected;
    };
    // double pool: 1 = 0.5, 2 = 0.25, 3 = 2^22, 4 = 0.1, 5 = 0.2, 6 = -2^31, 7 = 2^31, 8 = 1.5
    const std::vector<Case> cases = {
        {{0x2F, 0x01, 0x24, 0x04, 0xA2}, "true"},                   // 0.5 * 4 (constant fused)
        {{0x2F, 0x02, 0x24, 0x02, 0xA2}, "false"},                  // 0.25 * 2
        {{0x2F, 0x03, 0x2F, 0x02, 0xA2}, "true"},                   // 2^22 * 0.25
        {{0x2F, 0x08, 0x2F, 0x02, 0xA2}, "false"},                  // 1.5 * 0.25
        {{0x2F, 0x04, 0x2F, 0x05, 0xA0}, "false"},                  // 0.1 + 0.2
        {{0x2F, 0x06, 0x24, 0x01, 0xA2}, "true"},                   // -2^31 * 1
        {{0x2F, 0x07, 0x24, 0x01, 0xA2}, "false"},                  // 2^31 * 1
        {{0x2F, 0x07, 0x2F, 0x01, 0xA1}, "false"},                  // 2^31 - 0.5
        {{0x24, 0x00, 0x24, 0x00, 0xA3}, "false"},                  // 0 / 0
        {{0x24, 0x00, 0x24, 0xFF, 0xA2}, "false"},                  // 0 * -1 is -0
        {{0x2F, 0x08, 0xD5, 0x2F, 0x08, 0x62, 0x01, 0xA0}, "true"}, // 1.5 + r1 (local fused)
    };
    for (const Case& c : cases) {
        SimpleAbc abc;
        abc.doubles = {0.5, 0.25, 4194304.0, 0.1, 0.2, -2147483648.0, 2147483648.0, 1.5};
        abc.extraStrings = {"int"};
        std::vector<std::uint8_t> push = c.push;
        push.insert(push.end(), {0xB2, 0x02}); // istype int
        abc.code = traceOf(push);
        const Outcome r = runAbc(abc.build());
        EXPECT_EQ(r.traces, QStringList{QString::fromLatin1(c.expected)})
            << r.errors.join(u'|').toStdString();
    }
    using swf::avm2::Value;
    for (double d : {0.0, 1.0, -7.0, 4194304.0, 2147483647.0, -2147483648.0})
        EXPECT_EQ(Value(d).tag, Value::Tag::Int) << d;
    for (double d : {-0.0, 0.5, 0.25, 1e-300, 2147483648.0, 1e300, std::nan(""), HUGE_VAL})
        EXPECT_EQ(Value::number(d).tag, Value::Tag::Number) << d;
}

// A getlocal or an integer constant followed by an operator runs as one instruction. Operands
// that are not both numbers take the plain path, and a branch to the operator still finds it.
TEST(Avm2Vm, OperandsFusedIntoOperatorsKeepTheirMeaning) {
    struct Case {
        std::vector<std::uint8_t> push;
        const char* expected;
    };
    const std::vector<Case> cases = {
        {{0x24, 0x06, 0xD5, 0x24, 0x07, 0x62, 0x01, 0xA2}, "42"},  // 7 * r1
        {{0x2C, 0x03, 0xD6, 0x24, 0x01, 0x62, 0x02, 0xA0}, "1x"},  // 1 + "x"
        {{0x24, 0x01, 0x62, 0x05, 0xA0}, "NaN"},                   // 1 + undefined
        {{0x2F, 0x01, 0xD7, 0x24, 0x01, 0x62, 0x03, 0xA1}, "0.9"}, // 1 - 0.1
        {{0x2D, 0x01, 0xD5, 0x2D, 0x01, 0x62, 0x01, 0xC5}, "-2"},  // add_i wraps
        {{0x2D, 0x02, 0x24, 0x1C, 0xA7}, "15"},                    // -1 >>> 28
        {{0x2D, 0x02, 0x2D, 0x01, 0xA8}, "2147483647"},            // -1 & max
        {{0x2C, 0x03, 0x24, 0x02, 0xA5}, "0"},                     // "x" << 2
        {{0x24, 0x0A, 0x24, 0x03, 0x26, 0x11, 0x02, 0x00, 0x00,    // 10 - 3, jumping over
          0x24, 0x02, 0xA1},                                       // pushbyte 2 to subtract
         "7"},
        {{0x24, 0x0A, 0xD5, 0x24, 0x14, 0x24, 0x03, 0x26, 0x11, // 20 - 3, jumping over
          0x02, 0x00, 0x00, 0x62, 0x01, 0xA1},                  // getlocal 1 to subtract
         "17"},
    };
    for (const Case& c : cases) {
        SimpleAbc abc;
        abc.ints = {2147483647, -1};
        abc.doubles = {0.1};
        abc.extraStrings = {"x"};
        abc.code = traceOf(c.push);
        const Outcome r = runAbc(abc.build());
        EXPECT_EQ(r.traces, QStringList{QString::fromLatin1(c.expected)})
            << c.expected << " " << r.errors.join(u'|').toStdString();
    }
    // A register past the frame is still refused.
    SimpleAbc abc;
    abc.code = traceOf({0x24, 0x01, 0x62, 0xC8, 0x01, 0xA0});
    const Outcome r = runAbc(abc.build());
    EXPECT_TRUE(r.traces.isEmpty());
    ASSERT_EQ(r.errors.size(), 1);
    EXPECT_TRUE(r.errors[0].contains(QLatin1String("#1025"))) << r.errors[0].toStdString();
}

TEST(Avm2Vm, NumberToStringIsShortestRoundTrip) {
    const std::pair<double, const char*> cases[] = {
        {0.1 + 0.2, "0.30000000000000004"},
        {1.0 / 3, "0.3333333333333333"},
        {100, "100"},
        {-0.0, "0"},
        {1e-7, "1e-7"},
        {1.5e-7, "1.5e-7"},
        {0.000001, "0.000001"},
        {1e21, "1e+21"},
        {123456789012345680000.0, "123456789012345680000"},
        {1.7976931348623157e308, "1.7976931348623157e+308"},
        {5e-324, "5e-324"},
        {-2.5, "-2.5"},
        {std::numeric_limits<double>::infinity(), "Infinity"},
        {std::nan(""), "NaN"},
        {4294967296.0, "4294967296"},
    };
    for (auto [v, s] : cases)
        EXPECT_EQ(swf::avm2::VM::numberToString(v), QString::fromLatin1(s));
}

// A script's global object (its `this`, and what getglobalscope gives) is of Flash Player's
// class "global", which still inherits Object's methods.
TEST(Avm2Vm, GlobalObjectPrintsAsGlobal) {
    SimpleAbc abc;
    abc.code = traceOf({0xD0});
    EXPECT_EQ(runAbc(abc.build()).traces, QStringList({"[object global]"}));
    abc.code = traceOf({0x64});
    EXPECT_EQ(runAbc(abc.build()).traces, QStringList({"[object global]"}));
    abc.extraStrings = {"hasOwnProperty"}; // string 3, multiname 2
    // this.hasOwnProperty("trace"): Object.prototype's method on the global.
    abc.code = traceOf({0xD0, 0x2C, 0x02, 0x46, 0x02, 0x01});
    EXPECT_EQ(runAbc(abc.build()).traces, QStringList({"false"}));
}

// A date prints its zone as "GMT", a sign and four digits, whatever the machine's zone: the sign
// once came out as its character code ("GMT430000").
TEST(Avm2Vm, DateShowsItsZoneWithASign) {
    SimpleAbc abc;
    abc.extraStrings = {"Date"}; // string 3, multiname 2
    // new Date(2000, 5, 15, 12): local time, so the day and hour print as given.
    abc.code = traceOf(
        {0x5D, 0x02, 0x25, 0xD0, 0x0F, 0x24, 0x05, 0x24, 0x0F, 0x24, 0x0C, 0x4A, 0x02, 0x04});
    const Outcome r = runAbc(abc.build());
    ASSERT_EQ(r.traces.size(), 1) << r.errors.join(u'|').toStdString();
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^Thu Jun 15 12:00:00 GMT[+-][0-9]{4} 2000$"))
                    .match(r.traces[0])
                    .hasMatch())
        << r.traces[0].toStdString();
}

// Natives that call back into the VM recurse without a script frame: an array holding itself,
// turned into a string, ends in error #1023 as deep script recursion does, instead of
// overflowing the native stack. A sanitizer build, with frames many times larger, checks this
// too.
TEST(Avm2Vm, ArrayHoldingItselfEndsInStackOverflowError) {
    SimpleAbc abc;
    abc.extraStrings = {"push", "errorID"};         // multinames 2 and 3
    abc.code = {0xD0, 0x30, 0x56, 0x00, 0xD5,       // 0: a = []
                0xD1, 0xD1, 0x4F, 0x02, 0x01,       // 5: a.push(a)
                0x5D, 0x01, 0xD1, 0x4F, 0x01, 0x01, // 10: trace(a)
                0x47,                               // 16: returnvoid
                0xD6, 0xD0, 0x30, 0x5D, 0x01, 0xD2, // 17: catch (e) { trace(e.errorID) }
                0x66, 0x03, 0x4F, 0x01, 0x01, 0x47};
    abc.handlers = {{10, 16, 17, 0, 0}};
    const Outcome r = runAbc(abc.build());
    EXPECT_EQ(r.traces, QStringList{"1023"}) << r.errors.join(u'|').toStdString();
}

// AMF read back as it was written: a Dictionary keeps its weak keys through AMF3 (and inside
// AMF0, after the switch marker); an array's named part (AMF0 ECMA, AMF3) cannot make its
// items longer than the input could fill, nor take a stored length.
TEST(Avm2Vm, AmfKeepsWeakKeysAndBoundsSparseArrays) {
    using namespace swf::avm2;
    SimpleAbc abc;
    abc.code = {0xD0, 0x30, 0x47};
    bool ran = false;
    runAbc(abc.build(), {}, 1, [&](VM& vm) {
        ran = true;
        for (const bool weak : {true, false}) {
            const Value arg[] = {Value(weak)};
            const Value d = vm.construct(Value(static_cast<Object*>(vm.dictionaryClass)), arg);
            std::vector<std::uint8_t> amf3, amf0;
            writeAmf3(vm, d, amf3);
            EXPECT_EQ(amf3, (std::vector<std::uint8_t>{0x11, 0x01, std::uint8_t(weak)}));
            writeAmf0(vm, d, amf0);
            EXPECT_EQ(amf0, (std::vector<std::uint8_t>{0x11, 0x11, 0x01, std::uint8_t(weak)}));
            std::size_t pos = 0;
            const Value back3 = readAmf3(vm, amf3, pos);
            pos = 0;
            const Value back0 = readAmf0(vm, amf0, pos);
            for (const Value& back : {back3, back0}) {
                ASSERT_TRUE(back.object() && back.object()->kind == ObjectKind::Dictionary);
                EXPECT_EQ(static_cast<Dictionary*>(back.object())->weakKeys, weak);
            }
        }
        // An ECMA array of 200 far indices (a million apart) and a stored length of 2^26.
        std::vector<std::uint8_t> ecma = {0x08, 0, 0, 0, 0};
        auto key = [&](const QByteArray& k) {
            ecma.push_back(0);
            ecma.push_back(std::uint8_t(k.size()));
            ecma.insert(ecma.end(), k.begin(), k.end());
        };
        for (int i = 1; i <= 200; ++i) {
            key(QByteArray::number(i * 1000000));
            ecma.push_back(0x05); // null
        }
        key("length");
        ecma.insert(ecma.end(), {0x00, 0x41, 0x90, 0, 0, 0, 0, 0, 0}); // 67108864
        key("0");
        ecma.push_back(0x01);
        ecma.push_back(0x01); // true
        ecma.insert(ecma.end(), {0, 0, 0x09});
        std::size_t pos = 0;
        const Value a = readAmf0(vm, ecma, pos);
        EXPECT_EQ(pos, ecma.size());
        ASSERT_TRUE(a.object() && a.object()->kind == ObjectKind::Array);
        const auto& items = static_cast<Array*>(a.object())->items;
        ASSERT_EQ(items.size(), 1u);
        EXPECT_TRUE(items[0].tag == Value::Tag::Bool && items[0].b);
        EXPECT_TRUE(a.object()->getDynamic(QStringLiteral("200000000")));
        // The same in an AMF3 array's named part.
        std::vector<std::uint8_t> assoc = {0x09, 0x01};
        for (int i = 1; i <= 200; ++i) {
            const QByteArray k = QByteArray::number(i * 1000000);
            assoc.push_back(std::uint8_t(k.size() << 1 | 1));
            assoc.insert(assoc.end(), k.begin(), k.end());
            assoc.push_back(0x01); // null
        }
        assoc.push_back(0x01); // the empty name ends the named part; no dense items
        pos = 0;
        const Value b = readAmf3(vm, assoc, pos);
        EXPECT_EQ(pos, assoc.size());
        ASSERT_TRUE(b.object() && b.object()->kind == ObjectKind::Array);
        EXPECT_EQ(static_cast<Array*>(b.object())->items.size(), 0u);
    });
    EXPECT_TRUE(ran);
}

TEST(Avm2Vm, HandlerCatchesAThrowAndTheCodeGoesOn) {
    SimpleAbc abc;
    abc.extraStrings = {"boom"};
    // 0: getlocal0 pushscope; 2: pushstring "boom"; 4: throw
    // 5 (handler, stack = [value]): getlocal0 pushscope findpropstrict trace swap callpropvoid
    abc.code = {0xD0, 0x30, 0x2C, 0x03, 0x03, 0xD0, 0x30, 0x5D, 0x01, 0x2B, 0x4F, 0x01, 0x01, 0x47};
    abc.handlers = {{0, 5, 5, 0, 0}};
    const Outcome r = runAbc(abc.build());
    EXPECT_EQ(r.traces, QStringList{QStringLiteral("boom")});
    EXPECT_TRUE(r.errors.isEmpty()) << r.errors.join(u'|').toStdString();
}

TEST(Avm2Vm, LookupSwitchBranchesFromItsOwnAddress) {
    SimpleAbc abc;
    abc.extraStrings = {"zero", "one", "other"};
    // 0: D0 30 5D 01 ; 4: pushbyte 1 ; 6: lookupswitch default=+24 count=1 [+15, +20]
    // 21: pushstring zero; 23: jump +? ... laid out so each case pushes its word then ends.
    std::vector<std::uint8_t> code = {0xD0, 0x30, 0x5D, 0x01, 0x24, 0x01};
    const std::size_t sw = code.size();                               // 6
    code.insert(code.end(), {0x1B, 0, 0, 0, 0x01, 0, 0, 0, 0, 0, 0}); // offsets patched below
    const std::size_t c0 = code.size();
    code.insert(code.end(), {0x2C, 0x03, 0x4F, 0x01, 0x01, 0x47});
    const std::size_t c1 = code.size();
    code.insert(code.end(), {0x2C, 0x04, 0x4F, 0x01, 0x01, 0x47});
    const std::size_t cd = code.size();
    code.insert(code.end(), {0x2C, 0x05, 0x4F, 0x01, 0x01, 0x47});
    auto put = [&](std::size_t at, std::size_t target) {
        const std::int32_t off = std::int32_t(target) - std::int32_t(sw);
        code[at] = std::uint8_t(off);
        code[at + 1] = std::uint8_t(off >> 8);
        code[at + 2] = std::uint8_t(off >> 16);
    };
    put(sw + 1, cd);
    put(sw + 5, c0);
    put(sw + 8, c1);
    abc.code = code;
    EXPECT_EQ(runAbc(abc.build()).traces, QStringList{QStringLiteral("one")});
    abc.code[sw - 1] = 0x07; // index past the cases: default
    EXPECT_EQ(runAbc(abc.build()).traces, QStringList{QStringLiteral("other")});
    abc.code[sw - 1] = 0xFF; // -1: default
    EXPECT_EQ(runAbc(abc.build()).traces, QStringList{QStringLiteral("other")});
}

// Each script below breaks a rule; the run reports one line and returns.
TEST(Avm2Vm, BrokenScriptsStopWithOneLine) {
    struct Case {
        const char* what;
        std::vector<std::uint8_t> code;
        const char* expect;
    };
    const std::vector<Case> cases = {
        {"branch outside the code", {0xD0, 0x30, 0x10, 0x00, 0x10, 0x00, 0x47}, "#1021"},
        {"stack underflow", {0xD0, 0x30, 0x29, 0x29, 0x47}, "#1024"},
        {"register past local_count", {0xD0, 0x30, 0x62, 0x40, 0x47}, "#1025"},
        {"scope underflow", {0x1D, 0x1D, 0x47}, "#1018"},
        {"illegal opcode", {0xD0, 0x30, 0xFF}, "#1011"},
        {"running off the end", {0xD0, 0x30}, "#1012"},
        {"string index out of range", {0xD0, 0x30, 0x2C, 0x7F, 0x47}, "#1032"},
        {"unbounded recursion", {0xD0, 0x30, 0xD0, 0x44, 0x00, 0x00, 0x47}, "#1023"},
        {"null receiver", {0xD0, 0x30, 0x20, 0x46, 0x01, 0x00, 0x47}, "#1009"},
        {"undefined variable", {0xD0, 0x30, 0x5D, 0x02, 0x47}, "#1065"},
        // The decoder's checks, made once before the first instruction runs.
        {"branch into an instruction's operand",
         {0xD0, 0x30, 0x10, 0x01, 0x00, 0x00, 0x24, 0x05, 0x47},
         "#1021"},
        {"instruction cut short by the end", {0xD0, 0x30, 0x2C}, "#1012"},
        {"lookupswitch count past the body",
         {0xD0, 0x30, 0x24, 0x00, 0x1B, 0x00, 0x00, 0x00, 0x7F},
         "#1021"},
        {"outer scope index past the chain",
         {0xD0, 0x30, 0x67, 0xFF, 0xFF, 0xFF, 0xFF, 0x0F, 0x47},
         "#1019"},
    };
    for (const Case& c : cases) {
        SimpleAbc abc;
        abc.extraStrings = {"nowhere"};
        abc.code = c.code;
        const Outcome r = runAbc(abc.build());
        ASSERT_EQ(r.errors.size(), 1) << c.what << ": " << r.errors.join(u'|').toStdString();
        EXPECT_TRUE(r.errors[0].contains(QLatin1String(c.expect)))
            << c.what << ": " << r.errors[0].toStdString();
    }
}

// Every way of running forever ends at the budget: a backward jump, a backward conditional
// branch, and a handler that catches its own throw.
TEST(Avm2Vm, RunawayLoopEndsAtTheTimeBudget) {
    SimpleAbc jump, branch, rethrow;
    jump.code = {0xD0, 0x30, 0x09, 0x10, 0xFB, 0xFF, 0xFF};   // label; jump back to the label
    branch.code = {0xD0, 0x30, 0x26, 0x11, 0xFB, 0xFF, 0xFF}; // pushtrue; iftrue back
    rethrow.code = {0xD0, 0x30, 0x24, 0x01, 0x03, 0x47};      // pushbyte 1; throw
    rethrow.handlers = {{2, 5, 2, 0, 0}};                     // ...caught back at the push
    for (const SimpleAbc* abc : {&jump, &branch, &rethrow}) {
        swf::avm2::Limits limits;
        limits.timeBudget = std::chrono::milliseconds(200);
        const Outcome r = runAbc(abc->build(), limits, 3);
        ASSERT_EQ(r.errors.size(), 1);
        EXPECT_TRUE(r.errors[0].contains(QLatin1String("longer than")))
            << r.errors[0].toStdString();
    }
}

TEST(Avm2Vm, DamagedBlockIsRefusedAndTheMovieGoesOn) {
    SimpleAbc abc;
    abc.code = traceOf({0x24, 0x07});
    auto bytes = abc.build();
    bytes.resize(bytes.size() - 3);
    const Outcome r = runAbc(bytes);
    ASSERT_EQ(r.errors.size(), 1);
    EXPECT_TRUE(r.errors[0].contains(QLatin1String("refused")));
    EXPECT_TRUE(r.traces.isEmpty());
}

} // namespace

namespace {

// Cycles (parent and child, a closure over its owner) are freed once unreachable, and what the
// host holds survives with everything it reaches.
TEST(Avm2Vm, CollectorFreesCyclesAndKeepsRoots) {
    swf::avm2::VM vm;
    vm.collectGarbage();
    const std::size_t baseline = vm.objectCount();
    swf::avm2::Object* kept = vm.newObject();
    vm.hostRoots.push_back(kept);
    for (int i = 0; i < 1000; ++i) {
        swf::avm2::Object* parent = vm.newObject();
        swf::avm2::Array* children = vm.newArray();
        swf::avm2::Object* child = vm.newObject();
        child->setDynamic(QStringLiteral("parent"), swf::avm2::Value(parent));
        children->items.push_back(swf::avm2::Value(child));
        parent->setDynamic(QStringLiteral("children"),
                           swf::avm2::Value(static_cast<swf::avm2::Object*>(children)));
        if (i == 999)
            kept->setDynamic(QStringLiteral("last"), swf::avm2::Value(parent));
    }
    vm.collectGarbage();
    EXPECT_EQ(vm.objectCount(), baseline + 1 + 3);
    const swf::avm2::Value* last = kept->getDynamic(QStringLiteral("last"));
    ASSERT_TRUE(last && last->object());
    EXPECT_TRUE(last->o->getDynamic(QStringLiteral("children")));
    vm.hostRoots.clear();
    vm.collectGarbage();
    EXPECT_EQ(vm.objectCount(), baseline);
    // The core classes the VM holds survive every collection, `void` (named by no definition)
    // included: type lookups hand it out long after the VM made it.
    EXPECT_EQ(vm.voidClass->name, QStringLiteral("void"));
    EXPECT_EQ(vm.objectClass->cls, vm.classClass);
}

// A Dictionary made with weak keys lets its key objects go (and their entries with them);
// an ordinary one keeps them, and a weak one's values and primitive keys stay.
TEST(Avm2Vm, WeakDictionaryKeysDoNotKeepObjects) {
    using swf::avm2::Value;
    swf::avm2::VM vm;
    const Value weakArg[] = {Value(true)};
    const Value weak = vm.construct(Value(vm.dictionaryClass), weakArg);
    const Value strong = vm.construct(Value(vm.dictionaryClass), {});
    ASSERT_EQ(weak.o->kind, swf::avm2::ObjectKind::Dictionary);
    vm.hostRoots = {weak.o, strong.o};
    auto* w = static_cast<swf::avm2::Dictionary*>(weak.o);
    auto* st = static_cast<swf::avm2::Dictionary*>(strong.o);
    swf::avm2::Object* held = vm.newObject();
    vm.hostRoots.push_back(held);
    swf::avm2::Object* value = vm.newObject();
    w->set(vm, Value(held), Value(value));
    w->set(vm, Value(QStringLiteral("name")), Value(std::int32_t(1)));
    for (int i = 0; i < 100; ++i) {
        w->set(vm, Value(vm.newObject()), Value(vm.newObject()));
        st->set(vm, Value(vm.newObject()), Value(std::int32_t(i)));
    }
    vm.collectGarbage();
    EXPECT_EQ(w->live, 2u);
    EXPECT_EQ(st->live, 100u);
    Value out;
    EXPECT_TRUE(w->get(vm, Value(held), out));
    EXPECT_EQ(out.object(), value);
    EXPECT_TRUE(w->has(vm, Value(QStringLiteral("name"))));
    // The dead keys' values were still traced by the collection that dropped their entries;
    // the next one frees them.
    const std::size_t before = vm.objectCount();
    vm.collectGarbage();
    EXPECT_EQ(vm.objectCount(), before - 100);
    vm.collectGarbage();
    EXPECT_EQ(vm.objectCount(), before - 100);
}

// A Dictionary whose keys come and go (deleted, or weak keys collected) gives the holes back
// at collection: its table stays the same size however long the churn runs, and every key
// left is still found by identity or by its string form.
TEST(Avm2Vm, DictionaryChurnDoesNotGrowItsTable) {
    using swf::avm2::Value;
    swf::avm2::VM vm;
    const Value weakArg[] = {Value(true)};
    auto* w =
        static_cast<swf::avm2::Dictionary*>(vm.construct(Value(vm.dictionaryClass), weakArg).o);
    auto* st = static_cast<swf::avm2::Dictionary*>(vm.construct(Value(vm.dictionaryClass), {}).o);
    vm.hostRoots = {w, st};
    swf::avm2::Object* held = vm.newObject();
    vm.hostRoots.push_back(held);
    st->set(vm, Value(held), Value(std::int32_t(7)));
    st->set(vm, Value(std::int32_t(1)), Value(QStringLiteral("one")));
    w->set(vm, Value(QStringLiteral("name")), Value(std::int32_t(2)));
    const auto churn = [&](int loops) {
        for (int i = 0; i < loops; ++i) {
            for (int k = 0; k < 3; ++k) {
                w->set(vm, Value(vm.newObject()), Value(std::int32_t(k)));
                const Value key(vm.newObject());
                st->set(vm, key, Value(std::int32_t(k)));
                st->remove(vm, key);
                st->set(vm, Value(QStringLiteral("t%1").arg(k)), Value(std::int32_t(k)));
                st->remove(vm, Value(QStringLiteral("t%1").arg(k)));
            }
            vm.collectGarbage();
        }
    };
    // Holes are given back once they outnumber the entries and there are at least 16.
    const auto bounded = [](const swf::avm2::Dictionary* d) {
        return d->entries.size() <= 2 * d->live + 16;
    };
    churn(200);
    EXPECT_TRUE(bounded(w)) << w->entries.size();
    EXPECT_TRUE(bounded(st)) << st->entries.size();
    churn(400);
    EXPECT_TRUE(bounded(w)) << w->entries.size();
    EXPECT_TRUE(bounded(st)) << st->entries.size();
    EXPECT_EQ(w->live, 1u);
    EXPECT_EQ(st->live, 2u);
    Value out;
    ASSERT_TRUE(st->get(vm, Value(held), out));
    EXPECT_EQ(out.i, 7);
    ASSERT_TRUE(st->get(vm, Value(QStringLiteral("1")), out));
    EXPECT_EQ(vm.toString(out), QStringLiteral("one"));
    ASSERT_TRUE(w->get(vm, Value(QStringLiteral("name")), out));
    EXPECT_EQ(out.i, 2);
    EXPECT_TRUE(st->remove(vm, Value(held)));
    EXPECT_FALSE(st->has(vm, Value(held)));
}

// An object used as a map, its keys set and deleted again and again, keeps a bounded table of
// dynamic properties, and what is left is found and enumerated in order.
TEST(Avm2Vm, DeletedDynamicPropertiesAreGivenBack) {
    using swf::avm2::Value;
    swf::avm2::VM vm;
    swf::avm2::Object* map = vm.newObject();
    vm.hostRoots = {map};
    map->setDynamic(QStringLiteral("first"), Value(std::int32_t(1)));
    for (int i = 0; i < 600; ++i) {
        const QString key = QStringLiteral("k%1").arg(i);
        map->setDynamic(key, Value(std::int32_t(i)));
        map->deleteDynamic(key);
        if (i % 3 == 0)
            vm.collectGarbage();
    }
    map->setDynamic(QStringLiteral("last"), Value(std::int32_t(2)));
    vm.collectGarbage();
    EXPECT_LE(map->dyn.size(), 2u + 16u);
    ASSERT_NE(map->getDynamic(QStringLiteral("first")), nullptr);
    EXPECT_EQ(map->getDynamic(QStringLiteral("first"))->i, 1);
    ASSERT_NE(map->getDynamic(QStringLiteral("last")), nullptr);
    EXPECT_EQ(map->getDynamic(QStringLiteral("last"))->i, 2);
    QStringList order;
    for (const auto& p : map->dyn)
        if (p.live)
            order << p.name;
    EXPECT_EQ(order, QStringList({QStringLiteral("first"), QStringLiteral("last")}));
}

// E4X through its instructions: XML from text, attribute and child access, the descendant
// operator, pretty printing, attribute escaping and attribute assignment.
TEST(Avm2Vm, XmlAccessAndPrinting) {
    SimpleAbc abc;
    abc.extraStrings = {
        "XML",  "<a id='7'><b>one</b><c><b>two</b></c></a>", "b", "@id", "toXMLString", "length",
        "a<\"&"};
    // Multinames: 2 XML, 3 (text), 4 b, 5 @id, 6 toXMLString, 7 length; strings are one more.
    abc.code = {0xD0, 0x30,                                     // scope
                0x60, 0x02, 0x2C, 0x04, 0x42, 0x01, 0xD5,       // x = new XML(text)
                0x5D, 0x01, 0xD1, 0x66, 0x05, 0x4F, 0x01, 0x01, // trace(x.@id)
                0x5D, 0x01, 0xD1, 0x59, 0x04, 0x46, 0x07, 0x00, 0x4F, 0x01, 0x01, // x..b.length()
                0x5D, 0x01, 0xD1, 0x66, 0x04, 0x4F, 0x01, 0x01,                   // trace(x.b)
                0x5D, 0x01, 0xD1, 0x46, 0x06, 0x00, 0x4F, 0x01, 0x01, // trace(x.toXMLString())
                0x5D, 0x01, 0x2C, 0x09, 0x72, 0x4F, 0x01, 0x01,       // trace(esc_xattr("a<\"&"))
                0xD1, 0x24, 0x09, 0x61, 0x05,                         // x.@id = 9
                0x5D, 0x01, 0xD1, 0x66, 0x05, 0x4F, 0x01, 0x01,       // trace(x.@id)
                0x5D, 0x01, 0xD1, 0x59, 0x05, 0x4F, 0x01, 0x01,       // trace(x..@id)
                0x47};
    const Outcome r = runAbc(abc.build());
    EXPECT_TRUE(r.errors.isEmpty()) << r.errors.join(u'|').toStdString();
    const QStringList expected = {
        QStringLiteral("7"),
        QStringLiteral("2"),
        QStringLiteral("one"),
        QStringLiteral("<a id=\"7\">\n  <b>one</b>\n  <c>\n    <b>two</b>\n  </c>\n</a>"),
        QStringLiteral("a&lt;&quot;&amp;"),
        QStringLiteral("9"),
        QString(), // x..@id: descendants exclude x's own attributes
    };
    EXPECT_EQ(r.traces, expected) << r.traces.join(u'|').toStdString();
}

// A script that allocates without end is stopped by the object cap, and the runtime goes on.
TEST(Avm2Vm, AllocationPastTheCapStopsTheScript) {
    SimpleAbc abc;
    // label; newobject 0; pop; jump back
    abc.code = {0xD0, 0x30, 0x09, 0x55, 0x00, 0x29, 0x10, 0xF9, 0xFF, 0xFF};
    swf::avm2::Limits limits;
    limits.maxObjects = 20000;
    const Outcome r = runAbc(abc.build(), limits, 2);
    ASSERT_EQ(r.errors.size(), 1) << r.errors.join(u'|').toStdString();
    EXPECT_TRUE(r.errors[0].contains(QLatin1String("memory"))) << r.errors[0].toStdString();
}

// callmethod picks the receiver's method by dispatch id, whatever its name; an id the receiver
// has not is refused as the player's verifier refuses it.
TEST(Avm2Vm, CallMethodDispatchesById) {
    SimpleAbc abc;
    abc.extraStrings = {"twice", "thrice"};
    abc.methods = {{{0xD1, 0xD1, 0xA0, 0x48}, 1, 2, 7},         // twice(x) = x + x, id 7
                   {{0xD1, 0x24, 0x03, 0xA2, 0x48}, 1, 3, 9}};  // thrice(x) = x * 3, id 9
    abc.code = {0xD0, 0x30,                                     // getlocal0 pushscope
                0x5D, 0x01, 0xD0, 0x24, 0x05, 0x43, 0x09, 0x01, // trace(callmethod 9 (5))
                0x4F, 0x01, 0x01,                               //
                0x5D, 0x01, 0xD0, 0x24, 0x05, 0x43, 0x07, 0x01, // trace(callmethod 7 (5))
                0x4F, 0x01, 0x01,                               //
                0xD0, 0x24, 0x05, 0x43, 0x04, 0x01,             // callmethod 4: no such id
                0x29, 0x47};
    const Outcome r = runAbc(abc.build());
    EXPECT_EQ(r.traces, QStringList({"15", "10"}));
    ASSERT_EQ(r.errors.size(), 1) << r.errors.join(u'|').toStdString();
    EXPECT_TRUE(r.errors[0].contains(QLatin1String("#1051"))) << r.errors[0].toStdString();
}

// callmethod remembers which method of a table has an id (or that none has). When the table's
// method of an id is replaced, or one of a new id is added, the next call finds it.
TEST(Avm2Vm, CallMethodFindsReplacedAndAddedMethods) {
    using namespace swf::avm2;
    SimpleAbc abc;
    abc.extraStrings = {"twice", "swap"};                       // multinames 2, 3
    abc.methods = {{{0xD1, 0xD1, 0xA0, 0x48}, 1, 2, 7}};        // twice(x) = x + x, id 7
    abc.code = {0xD0, 0x30,                                     // getlocal0 pushscope
                0x5D, 0x01, 0xD0, 0x24, 0x05, 0x43, 0x07, 0x01, // trace(callmethod 7 (5))
                0x4F, 0x01, 0x01,                               //
                0xD0, 0x24, 0x05, 0x43, 0x09, 0x01,             // 13: callmethod 9: none yet
                0x29, 0x10, 0x01, 0x00, 0x00,                   // pop, jump over the handler
                0x29,                                           // 24: the handler drops it
                0x5D, 0x03, 0xD0, 0x4F, 0x03, 0x01,             // swap(this)
                0x5D, 0x01, 0xD0, 0x24, 0x05, 0x43, 0x07, 0x01, // trace(callmethod 7 (5))
                0x4F, 0x01, 0x01,                               //
                0x5D, 0x01, 0xD0, 0x24, 0x05, 0x43, 0x09, 0x01, // trace(callmethod 9 (5))
                0x4F, 0x01, 0x01, 0x47};
    abc.handlers = {{13, 19, 24, 0, 0}};
    // swap(o) replaces o's method of id 7 and adds one of id 9, both natives.
    auto swap = [](VM& vm, const Value&, std::span<const Value> args) -> Value {
        Object* o = arg(args, 0).object();
        if (!o || !o->traits)
            return Value();
        Binding b;
        b.kind = Binding::Kind::Method;
        b.method.native = [](VM&, const Value&, std::span<const Value>) -> Value {
            return Value(QStringLiteral("replaced"));
        };
        b.dispId = 7;
        o->traits->add(QStringLiteral("twice"), vm.publicNs(), b);
        b.method.native = [](VM&, const Value&, std::span<const Value>) -> Value {
            return Value(QStringLiteral("added"));
        };
        b.dispId = 9;
        o->traits->add(QStringLiteral("thrice"), vm.publicNs(), b);
        return Value();
    };
    const Outcome r = runAbc(abc.build(), {}, 1, [&](VM& vm) {
        vm.defineGlobal(QString(), QStringLiteral("swap"),
                        Value(static_cast<Object*>(vm.makeNative(QStringLiteral("swap"), swap))));
    });
    EXPECT_EQ(r.traces, QStringList({"10", "replaced", "added"}))
        << r.errors.join(u'|').toStdString();
    EXPECT_TRUE(r.errors.isEmpty()) << r.errors.join(u'|').toStdString();
}

// Calls nest in frames taken from one arena: deep recursion passes its arguments and results
// through every level, a missing argument is refused, and the frames of calls that threw are
// given back (the later calls still run). 50 levels: a sanitizer build's interpreter frames are
// so large that 100 already reach the native stack's limit (error #1023).
TEST(Avm2Vm, RecursiveCallsPassArgumentsAndResults) {
    SimpleAbc abc;
    abc.extraStrings = {"sum", "boom"};
    // sum(n, acc) = n == 0 ? acc : this.sum(n - 1, acc + n)
    const std::vector<std::uint8_t> sum = {0xD1, 0x24, 0x00, 0x14, 0x02, 0x00, 0x00,
                                           0xD2, 0x48, 0xD0, 0xD1, 0xC1, 0xD2, 0xD1,
                                           0xA0, 0x46, 0x02, 0x02, 0x48};
    // boom(x) throws x
    abc.methods = {{sum, 2, 2, 0}, {{0xD1, 0x03}, 1, 3, 0}};
    abc.code = {0xD0, 0x30,                   // getlocal0 pushscope
                0x5D, 0x01, 0xD0, 0x24, 0x32, // trace(sum(50, 0))
                0x24, 0x00, 0x46, 0x02, 0x02, 0x4F, 0x01, 0x01, 0xD0, 0x24,
                0x07, 0x46, 0x03, 0x01, // 15: boom(7), caught below
                0x29, 0x47,             // 21
                0x29,                   // 23: the handler drops the value
                0x5D, 0x01, 0xD0, 0x24, 0x03, 0x24, 0x04, 0x46, 0x02, 0x02,
                0x4F, 0x01, 0x01, 0xD0, 0x24, 0x01, 0x46, 0x02, 0x01, // sum(1): one argument short
                0x4F, 0x01, 0x01, 0x47};
    abc.handlers = {{15, 21, 23, 0, 0}};
    const Outcome r = runAbc(abc.build());
    EXPECT_EQ(r.traces, QStringList({"1275", "10"}));
    ASSERT_EQ(r.errors.size(), 1) << r.errors.join(u'|').toStdString();
    EXPECT_TRUE(r.errors[0].contains(QLatin1String("#1063"))) << r.errors[0].toStdString();
}

// `default xml namespace` (dxns) and runtime-qualified names: unprefixed XML takes the default
// namespace, an unqualified name reads in it, QName("a") is in it, and `x.ns::b` reads an
// element of another namespace that the unqualified name does not reach.
TEST(Avm2Vm, DefaultXmlNamespaceAndQualifiedNames) {
    SimpleAbc abc;
    abc.extraStrings = {"XML",
                        "<r><a>1</a><b xmlns='urn:e'>2</b></r>",
                        "a",
                        "urn:d",
                        "toXMLString",
                        "QName",
                        "Namespace",
                        "urn:e",
                        "b"};
    // Multinames 2..10 are the strings above (string index one more); 11 is RTQNameL.
    abc.extraMultinames = {{0x11}};
    abc.code = {0xD0, 0x30,                                     // scope
                0x06, 0x06,                                     // dxns "urn:d"
                0x60, 0x02, 0x2C, 0x04, 0x42, 0x01, 0xD5,       // x = new XML(text)
                0x5D, 0x01, 0xD1, 0x66, 0x04, 0x4F, 0x01, 0x01, // trace(x.a)
                0x5D, 0x01, 0x60, 0x07, 0x2C, 0x05, 0x42, 0x01, 0x4F,
                0x01, 0x01,                                           // trace(QName("a"))
                0x5D, 0x01, 0xD1, 0x46, 0x06, 0x00, 0x4F, 0x01, 0x01, // trace(x.toXMLString())
                0x5D, 0x01, 0xD1, 0x60, 0x08, 0x2C, 0x0A, 0x42, 0x01, // ns = new Namespace(urn:e)
                0x2C, 0x0B, 0x66, 0x0B, 0x4F, 0x01, 0x01,             // trace(x.ns::["b"])
                0x5D, 0x01, 0xD1, 0x66, 0x0A, 0x4F, 0x01, 0x01,       // trace(x.b)
                0x47};
    const Outcome r = runAbc(abc.build());
    EXPECT_TRUE(r.errors.isEmpty()) << r.errors.join(u'|').toStdString();
    const QStringList expected = {
        QStringLiteral("1"),
        QStringLiteral("urn:d::a"),
        QStringLiteral("<r xmlns=\"urn:d\">\n  <a>1</a>\n  <b xmlns=\"urn:e\">2</b>\n</r>"),
        QStringLiteral("2"),
        QString(),
    };
    EXPECT_EQ(r.traces, expected) << r.traces.join(u'|').toStdString();
}

// The default XML namespace is lexical: a method that sets it and the closures made in it see
// it (a closure even after the method returned), while methods it calls, its caller and later
// calls do not.
TEST(Avm2Vm, DefaultXmlNamespaceIsLexical) {
    SimpleAbc abc;
    // Strings 3..11 and multinames 2..10, in this order.
    abc.extraStrings = {"QName", "a", "b", "c", "d", "urn:o", "urn:e", "outer", "inner"};
    // trace(new QName(string s))
    auto traceQName = [](std::uint8_t s) {
        return std::vector<std::uint8_t>{0x5D, 0x01, 0x60, 0x02, 0x2C, s,
                                         0x42, 0x01, 0x4F, 0x01, 0x01};
    };
    auto join = [](std::initializer_list<std::vector<std::uint8_t>> parts) {
        std::vector<std::uint8_t> out;
        for (const auto& p : parts)
            out.insert(out.end(), p.begin(), p.end());
        return out;
    };
    // outer(), which sets dxns: traces a, calls a closure that traces b, calls inner (c),
    // returns the closure.
    const auto outer = join({{0xD0, 0x30, 0x06, 0x08}, // dxns "urn:o"
                             traceQName(0x04),
                             {0x40, 0x02, 0x2A, 0x20, 0x41, 0x00, 0x29}, // f = closure; f()
                             {0x5D, 0x0A, 0x4F, 0x0A, 0x00},             // inner()
                             {0x48}});
    const auto closure = join({{0xD0, 0x30}, traceQName(0x05), {0x47}});
    const auto inner = join({{0xD0, 0x30}, traceQName(0x06), {0x47}});
    abc.methods = {{outer, 0, 9, 0, 0x40}, {closure, 0, 0, 0, 0}, {inner, 0, 10, 0, 0}};
    abc.code = join({{0xD0, 0x30, 0x5D, 0x09, 0x46, 0x09, 0x00, 0xD5}, // g = outer()
                     traceQName(0x07),
                     {0x06, 0x09},                           // dxns "urn:e"
                     {0x5D, 0x0A, 0x4F, 0x0A, 0x00},         // inner()
                     traceQName(0x07),                       //
                     {0xD1, 0x20, 0x41, 0x00, 0x29, 0x47}}); // g()
    const Outcome r = runAbc(abc.build());
    EXPECT_TRUE(r.errors.isEmpty()) << r.errors.join(u'|').toStdString();
    const QStringList expected = {"urn:o::a", "urn:o::b", "c", "d", "c", "urn:e::d", "urn:o::b"};
    EXPECT_EQ(r.traces, expected) << r.traces.join(u'|').toStdString();
}

// `+` of two XML values is an XMLList of both (E4X), not their texts joined.
TEST(Avm2Vm, AddingXmlValuesMakesAList) {
    SimpleAbc abc;
    abc.extraStrings = {"XML", "<a/>", "<b/>", "length", "toXMLString"}; // multinames 2..6
    abc.code = {0xD0, 0x30, 0x60, 0x02, 0x2C, 0x04, 0x42, 0x01,          // new XML("<a/>")
                0x60, 0x02, 0x2C, 0x05, 0x42, 0x01, 0xA0, 0xD5,          // + new XML("<b/>")
                0x5D, 0x01, 0xD1, 0x46, 0x05, 0x00, 0x4F, 0x01, 0x01,    // trace(list.length())
                0x5D, 0x01, 0xD1, 0x46, 0x06, 0x00, 0x4F, 0x01, 0x01, // trace(list.toXMLString())
                0x47};
    const Outcome r = runAbc(abc.build());
    EXPECT_TRUE(r.errors.isEmpty()) << r.errors.join(u'|').toStdString();
    EXPECT_EQ(r.traces, QStringList({"2", "<a/>\n<b/>"})) << r.traces.join(u'|').toStdString();
}

// `delete o.b` with a name from the pool (no runtime parts) removes that property: Flex deletes
// `childDescriptors` from a descriptor's properties this way before copying the rest onto a
// container, whose own `childDescriptors` is read-only.
TEST(Avm2Vm, DeleteWithAPoolNameRemovesThatProperty) {
    SimpleAbc abc;
    abc.extraStrings = {"a", "b", "c"}; // strings 3..5, multinames 2..4
    abc.code = {0xD0, 0x30, 0x2C, 0x03, 0x24, 0x01, 0x2C, 0x04, 0x24, 0x02, // o = {a: 1, b: 2,
                0x2C, 0x05, 0x24, 0x03, 0x55, 0x03, 0xD5,                   //      c: 3}
                0x5D, 0x01, 0xD1, 0x6A, 0x03, 0x4F, 0x01, 0x01,             // trace(delete o.b)
                0x5D, 0x01, 0x2C, 0x04, 0xD1, 0xB4, 0x4F, 0x01, 0x01,       // trace("b" in o)
                0x5D, 0x01, 0xD1, 0x66, 0x03, 0x4F, 0x01, 0x01,             // trace(o.b)
                0x5D, 0x01, 0xD1, 0x66, 0x04, 0x4F, 0x01, 0x01,             // trace(o.c)
                0xD1, 0xD7, 0x24, 0x00, 0xD6, 0x10, 0x08, 0x00, 0x00,       // for (k in o)
                0x5D, 0x01, 0xD3, 0xD2, 0x1E, 0x4F, 0x01, 0x01,             //     trace(k)
                0x32, 0x03, 0x02, 0x11, 0xF1, 0xFF, 0xFF,                   // (hasnext2 loop)
                0x47};
    const Outcome r = runAbc(abc.build());
    EXPECT_TRUE(r.errors.isEmpty()) << r.errors.join(u'|').toStdString();
    EXPECT_EQ(r.traces, QStringList({"true", "false", "undefined", "3", "a", "c"}))
        << r.traces.join(u'|').toStdString();
}

// getouterscope reads the chain a closure was made with, outermost first (the global object),
// and not the closure's own scope stack; an index past that chain is a VerifyError.
TEST(Avm2Vm, GetOuterScopeReadsTheSavedChain) {
    SimpleAbc abc;
    abc.extraStrings = {"name", "inner"}; // strings 3, 4; multinames 2, 3
    // The entry's scope: the global, then {name: "inner"}; it calls two closures made there.
    abc.code = {0xD0, 0x30, 0x2C, 0x03, 0x2C, 0x04, 0x55, 0x01, 0x30, // scope: global, {name}
                0x40, 0x01, 0x20, 0x41, 0x00, 0x29,                   // (function 1)()
                0x40, 0x02, 0x20, 0x41, 0x00, 0x29,                   // (function 2)()
                0x47};
    const std::vector<std::uint8_t> closure = {
        0x5D, 0x01, 0x67, 0x01, 0x66, 0x02, 0x4F, 0x01, 0x01, // trace(outer[1].name)
        0x2C, 0x03, 0x2C, 0x03, 0x55, 0x01, 0x30,             // own scope {name: "name"}
        0x5D, 0x01, 0x67, 0x00, 0x64, 0xAC, 0x4F, 0x01, 0x01, // trace(outer[0] === global)
        0x5D, 0x01, 0x67, 0x01, 0x66, 0x02, 0x4F, 0x01, 0x01, // still outer[1].name
        0x47};
    const std::vector<std::uint8_t> pastEnd = {0x67, 0x02, 0x29, 0x47};
    abc.methods = {{closure, 0, 0, 0, 0}, {pastEnd, 0, 0, 0, 0}};
    const Outcome r = runAbc(abc.build());
    EXPECT_EQ(r.traces, QStringList({"inner", "true", "inner"}))
        << r.traces.join(u'|').toStdString();
    ASSERT_EQ(r.errors.size(), 1) << r.errors.join(u'|').toStdString();
    EXPECT_TRUE(r.errors[0].contains(QLatin1String("#1019"))) << r.errors[0].toStdString();
}

// A Proxy's traps get a public name as a String and a name in another namespace as a QName of
// it; getDescendants gets a QName, and isAttribute tells `..@x` from `..x`.
TEST(Avm2Vm, ProxyTrapsGetQualifiedNamesAsQNames) {
    using namespace swf::avm2;
    static QStringList events;
    events.clear();
    static const QString kProxyUri =
        QStringLiteral("http://www.adobe.com/2006/actionscript/flash/proxy");
    // "QName urn::local" (and " attribute" when isAttribute says so) or "String text".
    static auto describeName = [](VM& vm, const Value& self, const Value& n) {
        if (const QNameObject* q = asQName(n)) {
            Name isAttr;
            isAttr.local = QStringLiteral("isAttribute");
            isAttr.nss = {vm.internNs(NsKind::Namespace, kProxyUri)};
            const Value args[] = {n};
            const bool attr = VM::toBoolean(vm.callProperty(self, isAttr, args));
            return QStringLiteral("QName %1::%2%3")
                .arg(q->uri, q->local, attr ? QStringLiteral(" attribute") : QString());
        }
        return QStringLiteral("String ") + vm.toString(n);
    };
    auto prepare = [](VM& vm) {
        Object* proxy = vm.lookupDefinition(QStringLiteral("flash.utils.Proxy")).object();
        ASSERT_TRUE(proxy);
        Class* probe =
            vm.defineNativeClass(QString(), QStringLiteral("Probe"), static_cast<Class*>(proxy));
        auto trap = [&](const char* name, NativeFn fn) {
            Binding b;
            b.kind = Binding::Kind::Method;
            b.method.native = fn;
            b.declaringClass = probe;
            probe->instanceTraits.add(QString::fromLatin1(name),
                                      vm.internNs(NsKind::Namespace, kProxyUri), b);
        };
        trap("getProperty", [](VM& vm, const Value& self, std::span<const Value> a) {
            events << "get " + describeName(vm, self, arg(a, 0));
            return Value(QStringLiteral("got"));
        });
        trap("setProperty", [](VM& vm, const Value& self, std::span<const Value> a) {
            events << "set " + describeName(vm, self, arg(a, 0)) + " = " + vm.toString(arg(a, 1));
            return Value();
        });
        trap("callProperty", [](VM& vm, const Value& self, std::span<const Value> a) {
            events << "call " + describeName(vm, self, arg(a, 0)) +
                          QStringLiteral(" with %1 more").arg(a.size() - 1);
            return Value(QStringLiteral("called"));
        });
        trap("deleteProperty", [](VM& vm, const Value& self, std::span<const Value> a) {
            events << "delete " + describeName(vm, self, arg(a, 0));
            return Value(true);
        });
        trap("getDescendants", [](VM& vm, const Value& self, std::span<const Value> a) {
            events << "descendants " + describeName(vm, self, arg(a, 0));
            return Value(QStringLiteral("found"));
        });
        trap("hasProperty", [](VM& vm, const Value& self, std::span<const Value> a) {
            events << "has " + describeName(vm, self, arg(a, 0));
            return Value(true);
        });
    };
    SimpleAbc abc;
    // Strings 3..10; multinames 2 Probe, 3 Namespace, 4 urn:n, 5 x, 6 @x, 7 f, 8 y, 9 QName,
    // then 10 RTQName "x" and 11 RTQName "f".
    abc.extraStrings = {"Probe", "Namespace", "urn:n", "x", "@x", "f", "y", "QName"};
    abc.extraMultinames = {{0x0F, 0x06}, {0x0F, 0x08}};
    abc.code = {0xD0, 0x30,                                           // scope
                0x60, 0x02, 0x42, 0x00, 0xD5,                         // p = new Probe()
                0x60, 0x03, 0x2C, 0x05, 0x42, 0x01, 0xD6,             // ns = new Namespace("urn:n")
                0x5D, 0x01, 0xD1, 0x59, 0x05, 0x4F, 0x01, 0x01,       // trace(p..x)
                0x5D, 0x01, 0xD1, 0x59, 0x06, 0x4F, 0x01, 0x01,       // trace(p..@x)
                0x5D, 0x01, 0xD1, 0xD2, 0x66, 0x0A, 0x4F, 0x01, 0x01, // trace(p.ns::x)
                0xD1, 0xD2, 0x2C, 0x09, 0x61, 0x0A,                   // p.ns::x = "y"
                0x5D, 0x01, 0xD1, 0xD2, 0x24, 0x01, 0x46, 0x0B, 0x01, // trace(p.ns::f(1))
                0x4F, 0x01, 0x01,                                     //
                0x5D, 0x01, 0xD1, 0xD2, 0x6A, 0x0A, 0x4F, 0x01, 0x01, // trace(delete p.ns::x)
                0x5D, 0x01, 0xD1, 0x66, 0x05, 0x4F, 0x01, 0x01,       // trace(p.x)
                0x5D, 0x01, 0xD1, 0x46, 0x07, 0x00, 0x4F, 0x01, 0x01, // trace(p.f())
                0x5D, 0x01, 0x60, 0x09, 0xD2, 0x2C, 0x06, 0x42, 0x02, // trace(QName(ns, "x") in p)
                0xD1, 0xB4, 0x4F, 0x01, 0x01,                         //
                0x5D, 0x01, 0x2C, 0x06, 0xD1, 0xB4, 0x4F, 0x01, 0x01, // trace("x" in p)
                0x47};
    const Outcome r = runAbc(abc.build(), {}, 1, prepare);
    EXPECT_TRUE(r.errors.isEmpty()) << r.errors.join(u'|').toStdString();
    EXPECT_EQ(r.traces, QStringList({"found", "found", "got", "called", "true", "got", "called",
                                     "true", "true"}));
    const QStringList expected = {
        "descendants QName ::x",  "descendants QName ::x attribute", "get QName urn:n::x",
        "set QName urn:n::x = y", "call QName urn:n::f with 1 more", "delete QName urn:n::x",
        "get String x",           "call String f with 0 more",       "has QName urn:n::x",
        "has String x",
    };
    EXPECT_EQ(events, expected) << events.join(u'|').toStdString();
}

// Where a global name is defined is cached per name, but a parent domain's definition wins
// over a child's: after a later load into the parent, code in the child that already found the
// child's definition finds the parent's.
TEST(Avm2Vm, LoadIntoParentDomainChangesWhatCachedNamesFind) {
    using namespace swf::avm2;
    VM vm;
    QStringList traces;
    vm.traceHook = [&](const QString& l) { traces << l; };
    Domain* child = vm.newDomain(vm.mainDomain());
    auto load = [&](const SimpleAbc& s, Domain* d) {
        const auto bytes = s.build();
        auto abc = Abc::parse(bytes);
        ASSERT_TRUE(abc) << abc.error().message;
        ASSERT_TRUE(vm.loadAbc(*abc, true, d));
    };
    // who() returning `answer` (string 4), as a global function.
    auto who = [](const char* answer) {
        SimpleAbc s;
        s.extraStrings = {"who", answer};
        s.methods = {{{0xD0, 0x30, 0x2C, 0x04, 0x48}, 0, 2, 0, 0}};
        s.code = {0xD0, 0x30, 0x47};
        return s;
    };
    SimpleAbc ask; // ask() returns who(); the script traces ask()
    ask.extraStrings = {"who", "ask"};
    ask.methods = {{{0xD0, 0x30, 0x5D, 0x02, 0x46, 0x02, 0x00, 0x48}, 0, 3, 0, 0}};
    ask.code = {0xD0, 0x30, 0x5D, 0x01, 0x5D, 0x03, 0x46, 0x03, 0x00, 0x4F, 0x01, 0x01, 0x47};
    SimpleAbc askAgain; // traces ask()
    askAgain.extraStrings = {"ask"};
    askAgain.code = {0xD0, 0x30, 0x5D, 0x01, 0x5D, 0x02, 0x46, 0x02, 0x00, 0x4F, 0x01, 0x01, 0x47};

    load(who("child"), child);
    load(ask, child);
    load(who("parent"), vm.mainDomain());
    load(askAgain, child);
    EXPECT_EQ(traces, QStringList({"child", "parent"}));
}

// A method runs in the scope chain of its trait's binding. When the call adds a trait of the
// same name to that table (here a native, as an install might), the binding moves; the method
// must still find its chain (getouterscope 0 is the global, trace is found through it).
TEST(Avm2Vm, MethodKeepsItsChainWhenItsTraitMoves) {
    using namespace swf::avm2;
    SimpleAbc abc;
    abc.extraStrings = {"m", "grow"}; // multinames 2, 3
    // m(): grow(this); trace(outer[0] === this)
    abc.methods = {{{0x5D, 0x03, 0xD0, 0x4F, 0x03, 0x01, 0x5D, 0x01, 0x67, 0x00, 0xD0, 0xAC, 0x4F,
                     0x01, 0x01, 0x47},
                    0,
                    2,
                    0,
                    0}};
    abc.code = {0xD0, 0x30, 0x5D, 0x02, 0x4F, 0x02, 0x00, 0x47}; // m()
    // grow(o) gives o's traits more names "m" in other namespaces.
    auto grow = [](VM& vm, const Value&, std::span<const Value> args) -> Value {
        Object* o = arg(args, 0).object();
        if (o && o->traits)
            for (int i = 0; i < 8; ++i)
                o->traits->add(QStringLiteral("m"),
                               vm.internNs(NsKind::Namespace, QStringLiteral("urn:%1").arg(i)),
                               Binding{});
        return Value();
    };
    const Outcome r = runAbc(abc.build(), {}, 1, [&](VM& vm) {
        vm.defineGlobal(QString(), QStringLiteral("grow"),
                        Value(static_cast<Object*>(vm.makeNative(QStringLiteral("grow"), grow))));
    });
    EXPECT_EQ(r.traces, QStringList({"true"})) << r.traces.join(u'|').toStdString();
    EXPECT_TRUE(r.errors.isEmpty()) << r.errors.join(u'|').toStdString();
}

} // namespace
