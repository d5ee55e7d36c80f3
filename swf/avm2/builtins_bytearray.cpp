// flash.utils.ByteArray (both byte orders, every read and write, zlib and deflate) and
// ApplicationDomain.domainMemory, which the fast memory instructions address.

#include "swf/avm2/amf.h"
#include "swf/avm2/media.h"
#include "swf/avm2/vm.h"
#include "swf/movie.h"

#include <QStringDecoder>
#include <cstring>
#include <zlib.h>

namespace swf::avm2 {

namespace {

constexpr std::size_t kMaxBytes = std::size_t(512) << 20;

class ByteArray : public Object {
public:
    explicit ByteArray(Class* c) : Object(c, ObjectKind::ByteArray) {}
    std::vector<std::uint8_t> data;
    std::size_t position = 0;
    bool littleEndian = false;
    std::uint32_t objectEncoding = 3; // ObjectEncoding.AMF3

    bool getOwn(VM&, const QString& name, Value& out) override {
        std::uint32_t i;
        if (!parseIndex(name, i))
            return false;
        out = i < data.size() ? Value(std::int32_t(data[i])) : Value();
        return true;
    }
    bool setOwn(VM& vm, const QString& name, const Value& v) override {
        std::uint32_t i;
        if (!parseIndex(name, i))
            return false;
        if (i >= kMaxBytes)
            vm.throwError("MemoryError", 1000, QStringLiteral("The system is out of memory."));
        if (i >= data.size())
            data.resize(std::size_t(i) + 1);
        data[i] = std::uint8_t(vm.toInt32(v));
        return true;
    }
    bool hasOwn(VM&, const QString& name) override {
        std::uint32_t i;
        return parseIndex(name, i) && i < data.size();
    }
};

ByteArray* bytes(VM& vm, const Value& self) {
    Object* o = self.object();
    if (!o || o->kind != ObjectKind::ByteArray)
        vm.throwTypeError(
            1004, QStringLiteral("Method ByteArray was invoked on an incompatible object."));
    return static_cast<ByteArray*>(o);
}

// ByteArray.defaultObjectEncoding: a static uint variable that new arrays start from.
const QString kDefaultEncoding = QStringLiteral("defaultObjectEncoding");

Object* allocByteArray(VM& vm, Class* c) {
    auto* b = vm.make<ByteArray>(c);
    if (const Value d = vm.staticVariable(vm.byteArrayClass, kDefaultEncoding); !d.isUndefined())
        b->objectEncoding = vm.toUint32(d) == 0 ? 0 : 3;
    // A subclass SymbolClass links to DefineBinaryData starts with its bytes.
    if (c != vm.byteArrayClass) {
        const auto [movie, id] = linkedSymbol(vm, c);
        if (movie)
            if (auto it = movie->binaryData.find(id); it != movie->binaryData.end())
                b->data.assign(it->second.begin(), it->second.end());
    }
    return b;
}

void need(VM& vm, ByteArray* b, std::size_t n) {
    if (b->position > b->data.size() || b->data.size() - b->position < n)
        vm.throwError("EOFError", 2030, QStringLiteral("End of file was encountered."));
}

void reserveWrite(VM& vm, ByteArray* b, std::size_t n) {
    if (b->position + n > kMaxBytes)
        vm.throwError("MemoryError", 1000, QStringLiteral("The system is out of memory."));
    if (b->position + n > b->data.size())
        b->data.resize(b->position + n);
}

std::uint64_t readUnsigned(VM& vm, ByteArray* b, int n) {
    need(vm, b, std::size_t(n));
    std::uint64_t v = 0;
    for (int i = 0; i < n; ++i) {
        const std::uint64_t byte = b->data[b->position + std::size_t(i)];
        v |= b->littleEndian ? byte << (8 * i) : byte << (8 * (n - 1 - i));
    }
    b->position += std::size_t(n);
    return v;
}

void writeUnsigned(VM& vm, ByteArray* b, std::uint64_t v, int n) {
    reserveWrite(vm, b, std::size_t(n));
    for (int i = 0; i < n; ++i)
        b->data[b->position + std::size_t(i)] =
            std::uint8_t(b->littleEndian ? v >> (8 * i) : v >> (8 * (n - 1 - i)));
    b->position += std::size_t(n);
}

void writeRaw(VM& vm, ByteArray* b, const QByteArray& raw) {
    if (raw.isEmpty())
        return; // an empty array may have no storage at all, and memcpy wants some
    reserveWrite(vm, b, std::size_t(raw.size()));
    std::memcpy(b->data.data() + b->position, raw.constData(), std::size_t(raw.size()));
    b->position += std::size_t(raw.size());
}

Value readBoolean(VM& vm, const Value& s, std::span<const Value>) {
    return Value(readUnsigned(vm, bytes(vm, s), 1) != 0);
}
Value readByte(VM& vm, const Value& s, std::span<const Value>) {
    return Value(std::int32_t(std::int8_t(readUnsigned(vm, bytes(vm, s), 1))));
}
Value readUnsignedByte(VM& vm, const Value& s, std::span<const Value>) {
    return Value(std::int32_t(readUnsigned(vm, bytes(vm, s), 1)));
}
Value readShort(VM& vm, const Value& s, std::span<const Value>) {
    return Value(std::int32_t(std::int16_t(readUnsigned(vm, bytes(vm, s), 2))));
}
Value readUnsignedShort(VM& vm, const Value& s, std::span<const Value>) {
    return Value(std::int32_t(readUnsigned(vm, bytes(vm, s), 2)));
}
Value readInt(VM& vm, const Value& s, std::span<const Value>) {
    return Value(std::int32_t(std::uint32_t(readUnsigned(vm, bytes(vm, s), 4))));
}
Value readUnsignedInt(VM& vm, const Value& s, std::span<const Value>) {
    return Value::fromUint(std::uint32_t(readUnsigned(vm, bytes(vm, s), 4)));
}
Value readFloat(VM& vm, const Value& s, std::span<const Value>) {
    const auto bits = std::uint32_t(readUnsigned(vm, bytes(vm, s), 4));
    float f;
    std::memcpy(&f, &bits, 4);
    return Value::number(f);
}
Value readDouble(VM& vm, const Value& s, std::span<const Value>) {
    const std::uint64_t bits = readUnsigned(vm, bytes(vm, s), 8);
    double d;
    std::memcpy(&d, &bits, 8);
    return Value::number(d);
}
Value readUTFBytesN(VM& vm, ByteArray* b, std::size_t n) {
    need(vm, b, n);
    const char* p = reinterpret_cast<const char*>(b->data.data() + b->position);
    std::size_t len = n;
    // Text stops at a NUL byte, as in Flash; a UTF-8 byte-order mark is skipped.
    if (const void* z = std::memchr(p, 0, n))
        len = std::size_t(static_cast<const char*>(z) - p);
    std::size_t skip = len >= 3 && std::memcmp(p, "\xEF\xBB\xBF", 3) == 0 ? 3 : 0;
    b->position += n;
    return Value(QString::fromUtf8(p + skip, qsizetype(len - skip)));
}
Value readUTF(VM& vm, const Value& s, std::span<const Value>) {
    ByteArray* b = bytes(vm, s);
    const auto n = std::size_t(readUnsigned(vm, b, 2));
    return readUTFBytesN(vm, b, n);
}
Value readUTFBytes(VM& vm, const Value& s, std::span<const Value> a) {
    return readUTFBytesN(vm, bytes(vm, s), vm.toUint32(arg(a, 0)));
}
Value readMultiByte(VM& vm, const Value& s, std::span<const Value> a) {
    ByteArray* b = bytes(vm, s);
    const std::size_t n = vm.toUint32(arg(a, 0));
    need(vm, b, n);
    const QByteArray raw(reinterpret_cast<const char*>(b->data.data() + b->position), qsizetype(n));
    b->position += n;
    auto decoder = QStringDecoder(vm.toString(arg(a, 1)).toLatin1().constData());
    if (!decoder.isValid())
        return Value(QString::fromUtf8(raw));
    return Value(QString(decoder(raw)));
}
Value readBytes(VM& vm, const Value& s, std::span<const Value> a) {
    ByteArray* b = bytes(vm, s);
    ByteArray* dst = bytes(vm, arg(a, 0));
    const std::size_t offset = vm.toUint32(arg(a, 1));
    std::size_t len = vm.toUint32(arg(a, 2));
    if (len == 0)
        len = b->position < b->data.size() ? b->data.size() - b->position : 0;
    need(vm, b, len);
    if (offset + len > kMaxBytes)
        vm.throwError("MemoryError", 1000, QStringLiteral("The system is out of memory."));
    if (dst->data.size() < offset + len)
        dst->data.resize(offset + len);
    std::memmove(dst->data.data() + offset, b->data.data() + b->position, len);
    b->position += len;
    return Value();
}

Value writeBoolean(VM& vm, const Value& s, std::span<const Value> a) {
    writeUnsigned(vm, bytes(vm, s), VM::toBoolean(arg(a, 0)) ? 1 : 0, 1);
    return Value();
}
Value writeByte(VM& vm, const Value& s, std::span<const Value> a) {
    writeUnsigned(vm, bytes(vm, s), std::uint32_t(vm.toInt32(arg(a, 0))), 1);
    return Value();
}
Value writeShort(VM& vm, const Value& s, std::span<const Value> a) {
    writeUnsigned(vm, bytes(vm, s), std::uint32_t(vm.toInt32(arg(a, 0))), 2);
    return Value();
}
Value writeInt(VM& vm, const Value& s, std::span<const Value> a) {
    writeUnsigned(vm, bytes(vm, s), std::uint32_t(vm.toInt32(arg(a, 0))), 4);
    return Value();
}
Value writeUnsignedInt(VM& vm, const Value& s, std::span<const Value> a) {
    writeUnsigned(vm, bytes(vm, s), vm.toUint32(arg(a, 0)), 4);
    return Value();
}
Value writeFloat(VM& vm, const Value& s, std::span<const Value> a) {
    const float f = float(vm.toNumber(arg(a, 0)));
    std::uint32_t bits;
    std::memcpy(&bits, &f, 4);
    writeUnsigned(vm, bytes(vm, s), bits, 4);
    return Value();
}
Value writeDouble(VM& vm, const Value& s, std::span<const Value> a) {
    const double d = vm.toNumber(arg(a, 0));
    std::uint64_t bits;
    std::memcpy(&bits, &d, 8);
    writeUnsigned(vm, bytes(vm, s), bits, 8);
    return Value();
}
Value writeUTF(VM& vm, const Value& s, std::span<const Value> a) {
    ByteArray* b = bytes(vm, s);
    const QByteArray raw = vm.toString(arg(a, 0)).toUtf8();
    if (raw.size() > 65535)
        vm.throwRangeError(2006, QStringLiteral("The supplied index is out of bounds."));
    writeUnsigned(vm, b, std::uint64_t(raw.size()), 2);
    writeRaw(vm, b, raw);
    return Value();
}
Value writeUTFBytes(VM& vm, const Value& s, std::span<const Value> a) {
    writeRaw(vm, bytes(vm, s), vm.toString(arg(a, 0)).toUtf8());
    return Value();
}
Value writeMultiByte(VM& vm, const Value& s, std::span<const Value> a) {
    auto encoder = QStringEncoder(vm.toString(arg(a, 1)).toLatin1().constData());
    const QString text = vm.toString(arg(a, 0));
    writeRaw(vm, bytes(vm, s), encoder.isValid() ? QByteArray(encoder(text)) : text.toUtf8());
    return Value();
}
Value writeBytes(VM& vm, const Value& s, std::span<const Value> a) {
    ByteArray* b = bytes(vm, s);
    ByteArray* src = bytes(vm, arg(a, 0));
    const std::size_t offset = vm.toUint32(arg(a, 1));
    std::size_t len = vm.toUint32(arg(a, 2));
    if (offset > src->data.size())
        vm.throwRangeError(2006, QStringLiteral("The supplied index is out of bounds."));
    if (len == 0)
        len = src->data.size() - offset;
    if (len > src->data.size() - offset)
        vm.throwRangeError(2006, QStringLiteral("The supplied index is out of bounds."));
    const std::vector<std::uint8_t> copy(src->data.begin() + std::ptrdiff_t(offset),
                                         src->data.begin() + std::ptrdiff_t(offset + len));
    reserveWrite(vm, b, len);
    std::memcpy(b->data.data() + b->position, copy.data(), len);
    b->position += len;
    return Value();
}

Value getLength(VM& vm, const Value& s, std::span<const Value>) {
    return Value::fromUint(std::uint32_t(bytes(vm, s)->data.size()));
}
Value setLength(VM& vm, const Value& s, std::span<const Value> a) {
    ByteArray* b = bytes(vm, s);
    const std::size_t n = vm.toUint32(arg(a, 0));
    if (n > kMaxBytes)
        vm.throwError("MemoryError", 1000, QStringLiteral("The system is out of memory."));
    b->data.resize(n);
    b->position = std::min(b->position, n);
    return Value();
}
Value getPosition(VM& vm, const Value& s, std::span<const Value>) {
    return Value::fromUint(std::uint32_t(bytes(vm, s)->position));
}
Value setPosition(VM& vm, const Value& s, std::span<const Value> a) {
    bytes(vm, s)->position = vm.toUint32(arg(a, 0));
    return Value();
}
Value getBytesAvailable(VM& vm, const Value& s, std::span<const Value>) {
    ByteArray* b = bytes(vm, s);
    return Value::fromUint(
        std::uint32_t(b->position < b->data.size() ? b->data.size() - b->position : 0));
}
Value getEndian(VM& vm, const Value& s, std::span<const Value>) {
    return Value(bytes(vm, s)->littleEndian ? QStringLiteral("littleEndian")
                                            : QStringLiteral("bigEndian"));
}
Value setEndian(VM& vm, const Value& s, std::span<const Value> a) {
    const QString e = vm.toString(arg(a, 0));
    if (e == QLatin1String("littleEndian"))
        bytes(vm, s)->littleEndian = true;
    else if (e == QLatin1String("bigEndian"))
        bytes(vm, s)->littleEndian = false;
    else
        vm.throwError("ArgumentError", 2008,
                      QStringLiteral("Parameter type must be one of the accepted values."));
    return Value();
}
Value getObjectEncoding(VM& vm, const Value& s, std::span<const Value>) {
    return Value::fromUint(bytes(vm, s)->objectEncoding);
}
Value setObjectEncoding(VM& vm, const Value& s, std::span<const Value> a) {
    ByteArray* b = bytes(vm, s);
    const std::uint32_t e = a.empty() ? 0 : vm.toUint32(a[0]);
    if (e != 0 && e != 3)
        vm.throwError("ArgumentError", 2008,
                      QStringLiteral("Parameter objectEncoding must be one of the accepted "
                                     "values."));
    b->objectEncoding = e;
    return Value();
}

Value clearNative(VM& vm, const Value& s, std::span<const Value>) {
    ByteArray* b = bytes(vm, s);
    b->data.clear();
    b->position = 0;
    return Value();
}

Value toStringNative(VM& vm, const Value& s, std::span<const Value>) {
    ByteArray* b = bytes(vm, s);
    const char* p = reinterpret_cast<const char*>(b->data.data());
    const std::size_t n = b->data.size();
    if (n >= 2 && std::uint8_t(p[0]) == 0xFE && std::uint8_t(p[1]) == 0xFF) {
        QString out;
        for (std::size_t i = 2; i + 1 < n; i += 2)
            out += QChar(char16_t((std::uint8_t(p[i]) << 8) | std::uint8_t(p[i + 1])));
        return Value(out);
    }
    if (n >= 2 && std::uint8_t(p[0]) == 0xFF && std::uint8_t(p[1]) == 0xFE) {
        QString out;
        for (std::size_t i = 2; i + 1 < n; i += 2)
            out += QChar(char16_t(std::uint8_t(p[i]) | (std::uint8_t(p[i + 1]) << 8)));
        return Value(out);
    }
    const std::size_t skip = n >= 3 && std::memcmp(p, "\xEF\xBB\xBF", 3) == 0 ? 3 : 0;
    return Value(QString::fromUtf8(p + skip, qsizetype(n - skip)));
}

// zlib framing unless `raw` (deflate); inflating is bounded by kMaxBytes.
bool inflateBytes(const std::vector<std::uint8_t>& in, bool raw, std::vector<std::uint8_t>& out) {
    z_stream z{};
    if (inflateInit2(&z, raw ? -15 : 15) != Z_OK)
        return false;
    z.next_in = const_cast<Bytef*>(in.data());
    z.avail_in = uInt(in.size());
    std::vector<std::uint8_t> result;
    std::uint8_t buf[65536];
    int rc = Z_OK;
    while (rc == Z_OK) {
        z.next_out = buf;
        z.avail_out = sizeof buf;
        rc = inflate(&z, Z_NO_FLUSH);
        result.insert(result.end(), buf, buf + (sizeof buf - z.avail_out));
        if (result.size() > kMaxBytes || (rc == Z_BUF_ERROR && z.avail_in == 0))
            break;
    }
    inflateEnd(&z);
    if (rc != Z_STREAM_END)
        return false;
    out = std::move(result);
    return true;
}

Value compressWith(VM& vm, const Value& s, bool raw) {
    ByteArray* b = bytes(vm, s);
    z_stream z{};
    deflateInit2(&z, Z_DEFAULT_COMPRESSION, Z_DEFLATED, raw ? -15 : 15, 8, Z_DEFAULT_STRATEGY);
    std::vector<std::uint8_t> out(deflateBound(&z, uLong(b->data.size())));
    z.next_in = b->data.data();
    z.avail_in = uInt(b->data.size());
    z.next_out = out.data();
    z.avail_out = uInt(out.size());
    deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    b->data = std::move(out);
    b->position = b->data.size();
    return Value();
}

Value uncompressWith(VM& vm, const Value& s, bool raw) {
    ByteArray* b = bytes(vm, s);
    std::vector<std::uint8_t> out;
    if (!inflateBytes(b->data, raw, out))
        vm.throwError("IOError", 2058,
                      QStringLiteral("There was an error decompressing the data."));
    b->data = std::move(out);
    b->position = 0;
    return Value();
}

bool isDeflate(VM& vm, std::span<const Value> a) {
    if (a.empty() || a[0].isNullish())
        return false;
    const QString alg = vm.toString(a[0]);
    if (alg == QLatin1String("lzma"))
        vm.throwError("IOError", 2058,
                      QStringLiteral("There was an error decompressing the data."));
    return alg == QLatin1String("deflate");
}
Value compress(VM& vm, const Value& s, std::span<const Value> a) {
    return compressWith(vm, s, isDeflate(vm, a));
}
Value uncompress(VM& vm, const Value& s, std::span<const Value> a) {
    return uncompressWith(vm, s, isDeflate(vm, a));
}
Value deflateNative(VM& vm, const Value& s, std::span<const Value>) {
    return compressWith(vm, s, true);
}
Value inflateNative(VM& vm, const Value& s, std::span<const Value>) {
    return uncompressWith(vm, s, true);
}

// --- ApplicationDomain ---

Value getDomainMemory(VM& vm, const Value&, std::span<const Value>) {
    return vm.domainMemory ? Value(vm.domainMemory) : Value::null();
}
Value setDomainMemory(VM& vm, const Value&, std::span<const Value> a) {
    Object* o = arg(a, 0).object();
    if (o && o->kind != ObjectKind::ByteArray)
        vm.throwTypeError(1034, QStringLiteral("Type Coercion failed."));
    if (o && static_cast<ByteArray*>(o)->data.size() < 1024)
        vm.throwRangeError(1506, QStringLiteral("The specified range is invalid."));
    vm.domainMemory = o;
    return Value();
}
std::vector<std::uint8_t>* memoryOf(Object* o) {
    return o && o->kind == ObjectKind::ByteArray ? &static_cast<ByteArray*>(o)->data : nullptr;
}

} // namespace

ByteArrayAccess byteArrayAccess(Object* o) {
    if (!o || o->kind != ObjectKind::ByteArray)
        return {};
    auto* b = static_cast<ByteArray*>(o);
    return {&b->data, &b->position, &b->objectEncoding};
}

void installByteArray(VM& vm) {
    Class* c = vm.defineNativeClass(QStringLiteral("flash.utils"), QStringLiteral("ByteArray"),
                                    vm.objectClass, allocByteArray, true);
    vm.byteArrayClass = c;
    const std::pair<const char*, NativeFn> methods[] = {
        {"readBoolean", readBoolean},
        {"readByte", readByte},
        {"readUnsignedByte", readUnsignedByte},
        {"readShort", readShort},
        {"readUnsignedShort", readUnsignedShort},
        {"readInt", readInt},
        {"readUnsignedInt", readUnsignedInt},
        {"readFloat", readFloat},
        {"readDouble", readDouble},
        {"readUTF", readUTF},
        {"readUTFBytes", readUTFBytes},
        {"readMultiByte", readMultiByte},
        {"readBytes", readBytes},
        {"writeBoolean", writeBoolean},
        {"writeByte", writeByte},
        {"writeShort", writeShort},
        {"writeInt", writeInt},
        {"writeUnsignedInt", writeUnsignedInt},
        {"writeFloat", writeFloat},
        {"writeDouble", writeDouble},
        {"writeUTF", writeUTF},
        {"writeUTFBytes", writeUTFBytes},
        {"writeMultiByte", writeMultiByte},
        {"writeBytes", writeBytes},
        {"clear", clearNative},
        {"toString", toStringNative},
        {"compress", compress},
        {"uncompress", uncompress},
        {"deflate", deflateNative},
        {"inflate", inflateNative},
    };
    for (auto [n, f] : methods) {
        vm.addMethod(c, QString::fromLatin1(n), f);
        Binding* b = c->instanceTraits.find(QString::fromLatin1(n), vm.as3Ns());
        c->instanceTraits.add(QString::fromLatin1(n), vm.publicNs(), *b);
    }
    vm.addGetter(c, QStringLiteral("length"), getLength, setLength);
    vm.addGetter(c, QStringLiteral("position"), getPosition, setPosition);
    vm.addGetter(c, QStringLiteral("bytesAvailable"), getBytesAvailable);
    vm.addGetter(c, QStringLiteral("endian"), getEndian, setEndian);
    vm.addGetter(c, QStringLiteral("objectEncoding"), getObjectEncoding, setObjectEncoding);
    vm.addStaticVariable(c, kDefaultEncoding, vm.uintClass, Value::fromUint(3));
    Class* endian = vm.defineNativeClass(QStringLiteral("flash.utils"), QStringLiteral("Endian"),
                                         vm.objectClass, nullptr, true);
    vm.addStaticValue(endian, QStringLiteral("BIG_ENDIAN"), Value(QStringLiteral("bigEndian")));
    vm.addStaticValue(endian, QStringLiteral("LITTLE_ENDIAN"),
                      Value(QStringLiteral("littleEndian")));
    Class* alg =
        vm.defineNativeClass(QStringLiteral("flash.utils"), QStringLiteral("CompressionAlgorithm"),
                             vm.objectClass, nullptr, true);
    vm.addStaticValue(alg, QStringLiteral("ZLIB"), Value(QStringLiteral("zlib")));
    vm.addStaticValue(alg, QStringLiteral("DEFLATE"), Value(QStringLiteral("deflate")));
    vm.addStaticValue(alg, QStringLiteral("LZMA"), Value(QStringLiteral("lzma")));

    Class* dom =
        vm.defineNativeClass(QStringLiteral("flash.system"), QStringLiteral("ApplicationDomain"),
                             vm.objectClass, nullptr, true);
    // Its domains and definitions: installDomains (builtins_domain.cpp).
    vm.addGetter(dom, QStringLiteral("domainMemory"), getDomainMemory, setDomainMemory);
    vm.addStaticValue(dom, QStringLiteral("MIN_DOMAIN_MEMORY_LENGTH"), Value(std::int32_t(1024)));
    vm.domainMemoryBytes = memoryOf;
}

} // namespace swf::avm2
