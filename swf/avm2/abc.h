#pragma once

// A parsed ABC block (the bytecode of a DoABC tag): constant pools, methods, classes, scripts
// and method bodies. Every index has been checked against its pool when parsing succeeds, so
// the interpreter can use them without further checks (branch targets excepted: they are
// checked when executed).

#include "swf/result.h"

#include <QString>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace swf::avm2 {

enum class NsKind : std::uint8_t {
    Namespace = 0x08,
    Package = 0x16,
    PackageInternal = 0x17,
    Protected = 0x18,
    Explicit = 0x19,
    StaticProtected = 0x1A,
    Private = 0x05,
};

struct NamespaceInfo {
    NsKind kind = NsKind::Package;
    QString uri;
    // Private namespaces are distinct per pool entry; this id makes them so across blocks.
    std::uint32_t privateId = 0;
};

enum class MnKind : std::uint8_t {
    QName = 0x07,
    QNameA = 0x0D,
    RTQName = 0x0F,
    RTQNameA = 0x10,
    RTQNameL = 0x11,
    RTQNameLA = 0x12,
    Multiname = 0x09,
    MultinameA = 0x0E,
    MultinameL = 0x1B,
    MultinameLA = 0x1C,
    TypeName = 0x1D,
};

struct MultinameInfo {
    MnKind kind = MnKind::QName;
    std::uint32_t ns = 0;                  // namespace index (QName kinds; 0 = any)
    std::uint32_t name = 0;                // string index (0 = any)
    std::uint32_t nsSet = 0;               // namespace-set index (Multiname kinds)
    std::uint32_t typeBase = 0;            // TypeName: the generic's multiname
    std::vector<std::uint32_t> typeParams; // TypeName: parameter multinames (0 = *)

    bool isAttribute() const {
        return kind == MnKind::QNameA || kind == MnKind::RTQNameA || kind == MnKind::RTQNameLA ||
               kind == MnKind::MultinameA || kind == MnKind::MultinameLA;
    }
    bool needsRuntimeNs() const {
        return kind == MnKind::RTQName || kind == MnKind::RTQNameA || kind == MnKind::RTQNameL ||
               kind == MnKind::RTQNameLA;
    }
    bool needsRuntimeName() const {
        return kind == MnKind::RTQNameL || kind == MnKind::RTQNameLA ||
               kind == MnKind::MultinameL || kind == MnKind::MultinameLA;
    }
};

enum MethodFlag : std::uint8_t {
    NeedArguments = 0x01,
    NeedActivation = 0x02,
    NeedRest = 0x04,
    HasOptional = 0x08,
    IgnoreRest = 0x10,
    Native = 0x20,
    SetDxns = 0x40,
    HasParamNames = 0x80,
};

// A constant named by (kind, index): default parameter values and slot initialisers.
struct ConstantRef {
    std::uint8_t kind = 0; // 0 = undefined
    std::uint32_t index = 0;
};

struct MethodBody;

struct MethodInfo {
    std::uint32_t returnType = 0;
    std::vector<std::uint32_t> paramTypes;
    std::uint32_t name = 0;
    std::uint8_t flags = 0;
    std::vector<ConstantRef> optional;
    int body = -1; // index into Abc::bodies, -1 for none
};

struct MetadataInfo {
    std::uint32_t name = 0;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> items; // key (0 = none), value
};

enum class TraitKind : std::uint8_t {
    Slot = 0,
    Method = 1,
    Getter = 2,
    Setter = 3,
    Class = 4,
    Function = 5,
    Const = 6
};
enum TraitAttr : std::uint8_t { AttrFinal = 0x1, AttrOverride = 0x2, AttrMetadata = 0x4 };

struct TraitInfo {
    std::uint32_t name = 0; // multiname index of a QName
    TraitKind kind = TraitKind::Slot;
    std::uint8_t attrs = 0;
    std::uint32_t slotId = 0;   // Slot, Const, Class, Function
    std::uint32_t typeName = 0; // Slot, Const
    ConstantRef value;          // Slot, Const
    std::uint32_t index = 0;    // method (Method, Getter, Setter, Function) or class index
    std::uint32_t dispId = 0;   // Method, Getter, Setter: the dispatch id (0: none)
    std::vector<std::uint32_t> metadata;
};

enum InstanceFlag : std::uint8_t {
    ClassSealed = 0x01,
    ClassFinal = 0x02,
    ClassInterface = 0x04,
    ClassProtectedNs = 0x08
};

struct InstanceInfo {
    std::uint32_t name = 0;
    std::uint32_t superName = 0;
    std::uint8_t flags = 0;
    std::uint32_t protectedNs = 0;
    std::vector<std::uint32_t> interfaces;
    std::uint32_t iinit = 0;
    std::vector<TraitInfo> traits;
};

struct ClassInfo {
    std::uint32_t cinit = 0;
    std::vector<TraitInfo> traits;
};

struct ScriptInfo {
    std::uint32_t init = 0;
    std::vector<TraitInfo> traits;
};

struct ExceptionInfo {
    std::uint32_t from = 0, to = 0, target = 0;
    std::uint32_t type = 0;    // multiname, 0 = any
    std::uint32_t varName = 0; // multiname, 0 = none
};

struct MethodBody {
    std::uint32_t method = 0;
    std::uint32_t maxStack = 0;
    std::uint32_t localCount = 0;
    std::uint32_t initScopeDepth = 0;
    std::uint32_t maxScopeDepth = 0;
    std::vector<std::uint8_t> code;
    std::vector<ExceptionInfo> exceptions;
    std::vector<TraitInfo> traits;
};

// Caps on what one block may declare, so a hostile file cannot make us allocate without
// bound before the data runs out.
struct AbcLimits {
    std::size_t maxPoolEntries = std::size_t(1) << 20;
    std::size_t maxMethods = std::size_t(1) << 20;
    std::size_t maxTraits = std::size_t(1) << 16; // per trait list
    std::size_t maxParams = 1024;                 // per method
    std::size_t maxStack = 1 << 16;               // max_stack, local_count, scope depth
};

struct Abc {
    std::uint16_t minorVersion = 0, majorVersion = 0;
    std::vector<std::int32_t> ints;                 // index 0 is 0
    std::vector<std::uint32_t> uints;               // index 0 is 0
    std::vector<double> doubles;                    // index 0 is NaN
    std::vector<float> floats;                      // version 47 only, index 0 is NaN
    std::vector<QString> strings;                   // index 0 is ""
    std::vector<NamespaceInfo> namespaces;          // index 0 is the any namespace
    std::vector<std::vector<std::uint32_t>> nsSets; // index 0 unused
    std::vector<MultinameInfo> multinames;          // index 0 unused (any type)
    std::vector<MethodInfo> methods;
    std::vector<MetadataInfo> metadata;
    std::vector<InstanceInfo> instances;
    std::vector<ClassInfo> classes;
    std::vector<ScriptInfo> scripts;
    std::vector<MethodBody> bodies;

    // Parses a block; the message of a refusal names the first problem found.
    static Result<std::shared_ptr<const Abc>> parse(std::span<const std::uint8_t> data,
                                                    const AbcLimits& limits = {});
};

} // namespace swf::avm2
