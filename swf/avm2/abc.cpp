#include "swf/avm2/abc.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>

namespace swf::avm2 {

namespace {

std::atomic<std::uint32_t> nextPrivateId{1};

// Reads ABC's primitive encodings; the first failure is kept and later reads return zeros.
class AbcReader {
public:
    explicit AbcReader(std::span<const std::uint8_t> data) : m_data(data) {}

    bool failed() const { return !m_error.empty(); }
    const std::string& error() const { return m_error; }
    std::size_t remaining() const { return m_data.size() - m_pos; }

    void fail(std::string message) {
        if (m_error.empty())
            m_error = std::move(message) + " (at byte " + std::to_string(m_pos) + ")";
        m_pos = m_data.size();
    }

    std::uint8_t u8() {
        if (m_pos >= m_data.size()) {
            fail("unexpected end of data");
            return 0;
        }
        return m_data[m_pos++];
    }
    std::uint16_t u16() {
        const std::uint16_t lo = u8();
        return std::uint16_t(lo | (u8() << 8));
    }
    std::int32_t s24() {
        std::uint32_t v = u8();
        v |= std::uint32_t(u8()) << 8;
        v |= std::uint32_t(u8()) << 16;
        if (v & 0x800000)
            v |= 0xFF000000u;
        return std::int32_t(v);
    }
    std::uint32_t u32() {
        std::uint32_t v = 0;
        for (int i = 0; i < 5; ++i) {
            const std::uint8_t b = u8();
            v |= std::uint32_t(b & 0x7F) << (7 * i);
            if (!(b & 0x80))
                break;
        }
        return v;
    }
    std::int32_t s32() { return std::int32_t(u32()); }
    std::uint32_t u30() {
        const std::uint32_t v = u32();
        if (v >= (1u << 30))
            fail("value out of the 30-bit range");
        return failed() ? 0 : v;
    }
    double d64() {
        std::uint64_t bits = 0;
        for (int i = 0; i < 8; ++i)
            bits |= std::uint64_t(u8()) << (8 * i);
        return std::bit_cast<double>(bits);
    }
    std::span<const std::uint8_t> bytes(std::size_t n) {
        if (n > remaining()) {
            fail("length past the end of data");
            return {};
        }
        auto s = m_data.subspan(m_pos, n);
        m_pos += n;
        return s;
    }

    // A count from the file, refused when above `cap` or when the entries (each at least
    // `minBytes` long) could not fit in what is left.
    std::size_t count(std::size_t cap, std::size_t minBytes, const char* what) {
        const std::uint32_t n = u30();
        if (failed())
            return 0;
        if (n > cap || (minBytes && n > remaining() / minBytes)) {
            fail(std::string("too many ") + what + " (" + std::to_string(n) + ")");
            return 0;
        }
        return n;
    }

private:
    std::span<const std::uint8_t> m_data;
    std::size_t m_pos = 0;
    std::string m_error;
};

// Lenient UTF-8: an invalid byte becomes U+FFFD and decoding goes on.
QString decodeUtf8(std::span<const std::uint8_t> s) {
    QString out;
    out.reserve(qsizetype(s.size()));
    std::size_t i = 0;
    while (i < s.size()) {
        const std::uint8_t b = s[i];
        if (b < 0x80) {
            out.append(QChar(b));
            ++i;
            continue;
        }
        int len = 0;
        std::uint32_t cp = 0;
        if ((b & 0xE0) == 0xC0) {
            len = 2;
            cp = b & 0x1F;
        } else if ((b & 0xF0) == 0xE0) {
            len = 3;
            cp = b & 0x0F;
        } else if ((b & 0xF8) == 0xF0) {
            len = 4;
            cp = b & 0x07;
        }
        bool ok = len > 0 && i + std::size_t(len) <= s.size();
        for (int k = 1; ok && k < len; ++k) {
            if ((s[i + k] & 0xC0) != 0x80)
                ok = false;
            else
                cp = (cp << 6) | (s[i + k] & 0x3F);
        }
        static constexpr std::uint32_t minimum[] = {0, 0, 0x80, 0x800, 0x10000};
        if (ok && (cp < minimum[len] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)))
            ok = false;
        if (!ok) {
            out.append(QChar(0xFFFD));
            ++i;
            continue;
        }
        if (cp >= 0x10000) {
            out.append(QChar(QChar::highSurrogate(cp)));
            out.append(QChar(QChar::lowSurrogate(cp)));
        } else {
            out.append(QChar(char16_t(cp)));
        }
        i += std::size_t(len);
    }
    return out;
}

class AbcParser {
public:
    AbcParser(std::span<const std::uint8_t> data, const AbcLimits& limits) : r(data), lim(limits) {}

    Result<std::shared_ptr<const Abc>> run() {
        auto abc = std::make_shared<Abc>();
        a = abc.get();
        a->minorVersion = r.u16();
        a->majorVersion = r.u16();
        if (!r.failed() && a->majorVersion != 46 && a->majorVersion != 47)
            return Error{"Not an ABC file. major_version=" + std::to_string(a->majorVersion) +
                         " minor_version=" + std::to_string(a->minorVersion) + "."};
        readPools();
        readMethods();
        readMetadata();
        readClasses();
        readScripts();
        readBodies();
        if (!r.failed() && a->scripts.empty())
            r.fail("no script");
        if (r.failed())
            return Error{r.error()};
        return std::shared_ptr<const Abc>(std::move(abc));
    }

private:
    // Pool counts are one more than the entries stored; 0 means none.
    std::size_t poolCount(std::size_t minBytes, const char* what) {
        const std::size_t n = r.count(lim.maxPoolEntries, minBytes, what);
        return n == 0 ? 0 : n - 1;
    }

    bool checkIndex(std::uint32_t i, std::size_t size, const char* what, bool allowZero = true) {
        if ((i == 0 && !allowZero) || i >= size) {
            r.fail(std::string(what) + " index " + std::to_string(i) + " out of range");
            return false;
        }
        return true;
    }
    std::uint32_t stringIndex() {
        const std::uint32_t i = r.u30();
        return checkIndex(i, a->strings.size(), "string") ? i : 0;
    }
    std::uint32_t nsIndex() {
        const std::uint32_t i = r.u30();
        return checkIndex(i, a->namespaces.size(), "namespace") ? i : 0;
    }
    std::uint32_t multinameIndex(bool allowZero = true) {
        const std::uint32_t i = r.u30();
        return checkIndex(i, a->multinames.size(), "multiname", allowZero) ? i : 0;
    }
    // Trait and class names must be QNames.
    std::uint32_t qnameIndex() {
        const std::uint32_t i = multinameIndex(false);
        if (!r.failed() && a->multinames[i].kind != MnKind::QName)
            r.fail("name " + std::to_string(i) + " is not a QName");
        return i;
    }

    void readPools() {
        std::size_t n = poolCount(1, "integers");
        a->ints.assign(1, 0);
        for (std::size_t i = 0; i < n && !r.failed(); ++i)
            a->ints.push_back(r.s32());
        n = poolCount(1, "unsigned integers");
        a->uints.assign(1, 0);
        for (std::size_t i = 0; i < n && !r.failed(); ++i)
            a->uints.push_back(r.u32());
        n = poolCount(8, "doubles");
        a->doubles.assign(1, std::numeric_limits<double>::quiet_NaN());
        for (std::size_t i = 0; i < n && !r.failed(); ++i)
            a->doubles.push_back(r.d64());
        if (a->majorVersion == 47) {
            // Version 47 adds a pool of 32-bit floats; kept as doubles.
            n = poolCount(4, "floats");
            a->floats.assign(1, std::numeric_limits<float>::quiet_NaN());
            for (std::size_t i = 0; i < n && !r.failed(); ++i) {
                std::uint32_t bits = 0;
                for (int k = 0; k < 4; ++k)
                    bits |= std::uint32_t(r.u8()) << (8 * k);
                a->floats.push_back(std::bit_cast<float>(bits));
            }
        }
        n = poolCount(1, "strings");
        a->strings.assign(1, QString());
        for (std::size_t i = 0; i < n && !r.failed(); ++i) {
            const std::uint32_t len = r.u30();
            a->strings.push_back(decodeUtf8(r.bytes(len)));
        }
        n = poolCount(2, "namespaces");
        a->namespaces.assign(1, NamespaceInfo{NsKind::Namespace, QString(), 0});
        a->namespaces[0].privateId = 0;
        for (std::size_t i = 0; i < n && !r.failed(); ++i) {
            NamespaceInfo ns;
            const std::uint8_t k = r.u8();
            switch (k) {
            case 0x08:
            case 0x16:
            case 0x17:
            case 0x18:
            case 0x19:
            case 0x1A:
            case 0x05:
                ns.kind = NsKind(k);
                break;
            default:
                r.fail("unknown namespace kind " + std::to_string(k));
            }
            ns.uri = a->strings[stringIndex()];
            if (ns.kind == NsKind::Private)
                ns.privateId = nextPrivateId++;
            a->namespaces.push_back(std::move(ns));
        }
        n = poolCount(1, "namespace sets");
        a->nsSets.assign(1, {});
        for (std::size_t i = 0; i < n && !r.failed(); ++i) {
            const std::size_t c = r.count(lim.maxPoolEntries, 1, "namespaces in a set");
            std::vector<std::uint32_t> set;
            set.reserve(c);
            for (std::size_t j = 0; j < c && !r.failed(); ++j) {
                const std::uint32_t ns = r.u30();
                checkIndex(ns, a->namespaces.size(), "namespace", false);
                set.push_back(ns);
            }
            a->nsSets.push_back(std::move(set));
        }
        n = poolCount(1, "multinames");
        a->multinames.assign(1, MultinameInfo{});
        a->multinames.reserve(n + 1);
        for (std::size_t i = 0; i < n && !r.failed(); ++i) {
            MultinameInfo m;
            const std::uint8_t k = r.u8();
            m.kind = MnKind(k);
            switch (m.kind) {
            case MnKind::QName:
            case MnKind::QNameA:
                m.ns = nsIndex();
                m.name = stringIndex();
                break;
            case MnKind::RTQName:
            case MnKind::RTQNameA:
                m.name = stringIndex();
                break;
            case MnKind::RTQNameL:
            case MnKind::RTQNameLA:
                break;
            case MnKind::Multiname:
            case MnKind::MultinameA:
                m.name = stringIndex();
                m.nsSet = r.u30();
                checkIndex(m.nsSet, a->nsSets.size(), "namespace set", false);
                break;
            case MnKind::MultinameL:
            case MnKind::MultinameLA:
                m.nsSet = r.u30();
                checkIndex(m.nsSet, a->nsSets.size(), "namespace set", false);
                break;
            case MnKind::TypeName: {
                // Checked once the pool is complete: parameters may name later entries.
                m.typeBase = r.u30();
                const std::size_t c = r.count(lim.maxParams, 1, "type parameters");
                for (std::size_t j = 0; j < c && !r.failed(); ++j)
                    m.typeParams.push_back(r.u30());
                break;
            }
            default:
                r.fail("unknown multiname kind " + std::to_string(k));
            }
            a->multinames.push_back(std::move(m));
        }
        // A generic is named by a QName, so type names cannot nest through their base;
        // nesting through parameters is bounded when the names are resolved.
        for (const MultinameInfo& m : a->multinames) {
            if (r.failed() || m.kind != MnKind::TypeName)
                continue;
            if (checkIndex(m.typeBase, a->multinames.size(), "multiname", false) &&
                a->multinames[m.typeBase].kind != MnKind::QName)
                r.fail("type name on a name that is not a QName");
            for (std::uint32_t p : m.typeParams)
                checkIndex(p, a->multinames.size(), "multiname");
        }
    }

    ConstantRef constant(std::uint32_t index, std::uint8_t kind) {
        ConstantRef c{kind, index};
        switch (kind) {
        case 0x00:
        case 0x0A:
        case 0x0B:
        case 0x0C:
            c.index = 0; // compilers write the kind byte here; ignore it
            break;
        case 0x01:
            checkIndex(index, a->strings.size(), "string");
            break;
        case 0x03:
            checkIndex(index, a->ints.size(), "integer");
            break;
        case 0x04:
            checkIndex(index, a->uints.size(), "unsigned integer");
            break;
        case 0x06:
            checkIndex(index, a->doubles.size(), "double");
            break;
        case 0x08:
        case 0x16:
        case 0x17:
        case 0x18:
        case 0x19:
        case 0x1A:
        case 0x05:
            checkIndex(index, a->namespaces.size(), "namespace");
            break;
        default:
            r.fail("unknown constant kind " + std::to_string(kind));
        }
        return c;
    }

    void readMethods() {
        const std::size_t n = r.count(lim.maxMethods, 4, "methods");
        a->methods.reserve(n);
        for (std::size_t i = 0; i < n && !r.failed(); ++i) {
            MethodInfo m;
            const std::size_t params = r.count(lim.maxParams, 1, "parameters");
            m.returnType = multinameIndex();
            m.paramTypes.reserve(params);
            for (std::size_t p = 0; p < params && !r.failed(); ++p)
                m.paramTypes.push_back(multinameIndex());
            m.name = stringIndex();
            m.flags = r.u8();
            if (m.flags & HasOptional) {
                const std::size_t c = r.count(params, 2, "optional parameters");
                for (std::size_t j = 0; j < c && !r.failed(); ++j) {
                    const std::uint32_t v = r.u30();
                    const std::uint8_t k = r.u8();
                    m.optional.push_back(constant(v, k));
                }
            }
            if (m.flags & HasParamNames) {
                for (std::size_t p = 0; p < params && !r.failed(); ++p)
                    stringIndex();
            }
            a->methods.push_back(std::move(m));
        }
    }

    void readMetadata() {
        const std::size_t n = r.count(lim.maxPoolEntries, 2, "metadata");
        for (std::size_t i = 0; i < n && !r.failed(); ++i) {
            MetadataInfo m;
            m.name = stringIndex();
            const std::size_t c = r.count(lim.maxPoolEntries, 2, "metadata items");
            std::vector<std::uint32_t> keys;
            for (std::size_t j = 0; j < c && !r.failed(); ++j)
                keys.push_back(stringIndex());
            for (std::size_t j = 0; j < c && !r.failed(); ++j)
                m.items.emplace_back(keys[j], stringIndex());
            a->metadata.push_back(std::move(m));
        }
    }

    std::uint32_t methodIndex() {
        const std::uint32_t i = r.u30();
        return checkIndex(i, a->methods.size(), "method") ? i : 0;
    }

    std::vector<TraitInfo> readTraits(std::size_t classLimit) {
        std::vector<TraitInfo> traits;
        const std::size_t n = r.count(lim.maxTraits, 3, "traits");
        traits.reserve(n);
        for (std::size_t i = 0; i < n && !r.failed(); ++i) {
            TraitInfo t;
            t.name = qnameIndex();
            const std::uint8_t kind = r.u8();
            t.attrs = kind >> 4;
            switch (kind & 0x0F) {
            case 0:
            case 6: {
                t.kind = TraitKind(kind & 0x0F);
                t.slotId = r.u30();
                t.typeName = multinameIndex();
                const std::uint32_t v = r.u30();
                if (v != 0) {
                    const std::uint8_t vk = r.u8();
                    t.value = constant(v, vk);
                }
                break;
            }
            case 1:
            case 2:
            case 3:
                t.kind = TraitKind(kind & 0x0F);
                t.dispId = r.u30();
                t.index = methodIndex();
                break;
            case 4:
                t.kind = TraitKind::Class;
                t.slotId = r.u30();
                t.index = r.u30();
                checkIndex(t.index, classLimit, "class");
                break;
            case 5:
                t.kind = TraitKind::Function;
                t.slotId = r.u30();
                t.index = methodIndex();
                break;
            default:
                r.fail("unknown trait kind " + std::to_string(kind & 0x0F));
            }
            if (t.slotId > lim.maxTraits)
                r.fail("slot id " + std::to_string(t.slotId) + " too large");
            if (t.attrs & AttrMetadata) {
                const std::size_t c = r.count(lim.maxPoolEntries, 1, "trait metadata");
                for (std::size_t j = 0; j < c && !r.failed(); ++j) {
                    const std::uint32_t m = r.u30();
                    checkIndex(m, a->metadata.size(), "metadata");
                    t.metadata.push_back(m);
                }
            }
            traits.push_back(std::move(t));
        }
        return traits;
    }

    void readClasses() {
        const std::size_t n = r.count(lim.maxPoolEntries, 5, "classes");
        a->instances.reserve(n);
        for (std::size_t i = 0; i < n && !r.failed(); ++i) {
            InstanceInfo ii;
            ii.name = qnameIndex();
            ii.superName = multinameIndex();
            ii.flags = r.u8();
            if (ii.flags & ClassProtectedNs)
                ii.protectedNs = nsIndex();
            const std::size_t c = r.count(lim.maxTraits, 1, "interfaces");
            for (std::size_t j = 0; j < c && !r.failed(); ++j)
                ii.interfaces.push_back(multinameIndex(false));
            ii.iinit = methodIndex();
            // Classes may only be named by Class traits of scripts, never of other classes.
            ii.traits = readTraits(0);
            a->instances.push_back(std::move(ii));
        }
        a->classes.reserve(n);
        for (std::size_t i = 0; i < n && !r.failed(); ++i) {
            ClassInfo ci;
            ci.cinit = methodIndex();
            ci.traits = readTraits(0);
            a->classes.push_back(std::move(ci));
        }
    }

    void readScripts() {
        const std::size_t n = r.count(lim.maxPoolEntries, 2, "scripts");
        for (std::size_t i = 0; i < n && !r.failed(); ++i) {
            ScriptInfo s;
            s.init = methodIndex();
            s.traits = readTraits(a->classes.size());
            a->scripts.push_back(std::move(s));
        }
    }

    void readBodies() {
        const std::size_t n = r.count(lim.maxMethods, 7, "method bodies");
        a->bodies.reserve(n);
        for (std::size_t i = 0; i < n && !r.failed(); ++i) {
            MethodBody b;
            b.method = methodIndex();
            b.maxStack = r.u30();
            b.localCount = r.u30();
            b.initScopeDepth = r.u30();
            b.maxScopeDepth = r.u30();
            if (r.failed())
                break;
            if (b.maxStack > lim.maxStack || b.localCount > lim.maxStack ||
                b.maxScopeDepth > lim.maxStack || b.initScopeDepth > b.maxScopeDepth) {
                r.fail("method body sizes out of range");
                break;
            }
            const MethodInfo& m = a->methods[b.method];
            if (m.body >= 0) {
                r.fail("second body for method " + std::to_string(b.method));
                break;
            }
            // Room for `this`, the parameters and the rest array whatever the file says.
            const std::size_t extra = (m.flags & (NeedRest | NeedArguments)) ? 1 : 0;
            b.localCount = std::max<std::uint32_t>(b.localCount,
                                                   std::uint32_t(m.paramTypes.size() + 1 + extra));
            const std::uint32_t len = r.u30();
            const auto code = r.bytes(len);
            b.code.assign(code.begin(), code.end());
            const std::size_t ec = r.count(lim.maxPoolEntries, 5, "exception handlers");
            for (std::size_t j = 0; j < ec && !r.failed(); ++j) {
                ExceptionInfo e;
                e.from = r.u30();
                e.to = r.u30();
                e.target = r.u30();
                e.type = multinameIndex();
                e.varName = multinameIndex();
                if (e.from > e.to || e.to > len || e.target >= len)
                    r.fail("exception handler outside the code");
                b.exceptions.push_back(e);
            }
            b.traits = readTraits(0);
            if (r.failed())
                break;
            a->methods[b.method].body = int(a->bodies.size());
            a->bodies.push_back(std::move(b));
        }
    }

    AbcReader r;
    const AbcLimits& lim;
    Abc* a = nullptr;
};

} // namespace

Result<std::shared_ptr<const Abc>> Abc::parse(std::span<const std::uint8_t> data,
                                              const AbcLimits& limits) {
    return AbcParser(data, limits).run();
}

} // namespace swf::avm2
