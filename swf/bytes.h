#pragma once

#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <span>

namespace swf {

// Little-endian byte reader over a bounded span. Reading past the end yields zeros and sets
// failed(); callers check once after a record instead of after every field.
class ByteReader {
public:
    explicit ByteReader(std::span<const std::uint8_t> data) : m_data(data) {}

    std::size_t size() const { return m_data.size(); }
    std::size_t pos() const { return m_pos; }
    std::size_t remaining() const { return m_data.size() - m_pos; }
    bool atEnd() const { return m_pos >= m_data.size(); }
    bool failed() const { return m_failed; }
    std::span<const std::uint8_t> data() const { return m_data; }

    // True when n more bytes can be read; written so that it cannot overflow.
    bool has(std::size_t n) const { return n <= m_data.size() - m_pos; }

    std::uint8_t u8() {
        if (!has(1))
            return fail<std::uint8_t>();
        return m_data[m_pos++];
    }
    std::uint16_t u16() {
        if (!has(2))
            return fail<std::uint16_t>();
        std::uint16_t v = m_data[m_pos] | (m_data[m_pos + 1] << 8);
        m_pos += 2;
        return v;
    }
    std::uint32_t u32() {
        if (!has(4))
            return fail<std::uint32_t>();
        std::uint32_t v = std::uint32_t(m_data[m_pos]) | (std::uint32_t(m_data[m_pos + 1]) << 8) |
                          (std::uint32_t(m_data[m_pos + 2]) << 16) |
                          (std::uint32_t(m_data[m_pos + 3]) << 24);
        m_pos += 4;
        return v;
    }
    std::int16_t s16() { return static_cast<std::int16_t>(u16()); }
    std::int32_t s32() { return static_cast<std::int32_t>(u32()); }

    // A view of the next n bytes, or an empty span (and failed()) when fewer remain.
    std::span<const std::uint8_t> bytes(std::size_t n) {
        if (!has(n)) {
            m_pos = m_data.size();
            m_failed = true;
            return {};
        }
        auto s = m_data.subspan(m_pos, n);
        m_pos += n;
        return s;
    }
    void skip(std::size_t n) { bytes(n); }
    void seek(std::size_t pos) {
        if (pos > m_data.size()) {
            m_failed = true;
            pos = m_data.size();
        }
        m_pos = pos;
    }

private:
    template <typename T> T fail() {
        m_pos = m_data.size();
        m_failed = true;
        return T{};
    }

    std::span<const std::uint8_t> m_data;
    std::size_t m_pos = 0;
    bool m_failed = false;
};

// Most-significant-bit-first reader for SWF bit fields, which also reads the byte-aligned types
// that follow them (each byte read aligns first, as the format requires). Past the end it yields
// zeros and sets failed(), so a record is checked once after it has been read.
class BitReader {
public:
    explicit BitReader(std::span<const std::uint8_t> data) : m_data(data) {}

    bool failed() const { return m_failed; }
    void setFailed() { m_failed = true; }
    std::size_t size() const { return m_data.size(); }
    std::span<const std::uint8_t> data() const { return m_data; }
    std::size_t bytePos() const { return m_bit / 8 + (m_bit % 8 ? 1 : 0); }
    std::size_t bitsLeft() const { return m_data.size() * 8 - m_bit; }
    // Bytes left after aligning to the next byte boundary.
    std::size_t remaining() const { return m_data.size() - bytePos(); }
    bool atEnd() const { return bytePos() >= m_data.size(); }
    void align() { m_bit = (m_bit + 7) & ~std::size_t(7); }

    std::uint32_t ub(unsigned n) {
        if (n == 0)
            return 0;
        if (n > 32 || n > bitsLeft()) {
            m_bit = m_data.size() * 8;
            m_failed = true;
            return 0;
        }
        std::uint64_t v = 0;
        while (n > 0) {
            const unsigned inByte = 8 - unsigned(m_bit & 7);
            const unsigned take = n < inByte ? n : inByte;
            const unsigned byte = m_data[m_bit >> 3];
            v = (v << take) | ((byte >> (inByte - take)) & ((1u << take) - 1));
            m_bit += take;
            n -= take;
        }
        return static_cast<std::uint32_t>(v);
    }
    std::int32_t sb(unsigned n) {
        std::uint32_t v = ub(n);
        if (n == 0 || n >= 32)
            return static_cast<std::int32_t>(v);
        const std::uint32_t sign = 1u << (n - 1);
        return static_cast<std::int32_t>((v ^ sign) - sign);
    }
    double fb(unsigned n) { return sb(n) / 65536.0; }
    bool flag() { return ub(1) != 0; }

    // Byte-aligned reads.
    std::uint8_t u8() {
        align();
        if (m_bit / 8 >= m_data.size())
            return fail();
        const std::uint8_t v = m_data[m_bit / 8];
        m_bit += 8;
        return v;
    }
    std::uint16_t u16() {
        auto b = bytes(2);
        return b.empty() ? 0 : std::uint16_t(b[0] | (b[1] << 8));
    }
    std::uint32_t u32() {
        auto b = bytes(4);
        return b.empty() ? 0
                         : std::uint32_t(b[0]) | (std::uint32_t(b[1]) << 8) |
                               (std::uint32_t(b[2]) << 16) | (std::uint32_t(b[3]) << 24);
    }
    std::int16_t s16() { return static_cast<std::int16_t>(u16()); }
    std::int32_t s32() { return static_cast<std::int32_t>(u32()); }
    double fixed() { return s32() / 65536.0; }
    double fixed8() { return s16() / 256.0; }
    float f32() { return std::bit_cast<float>(u32()); }
    double f64() {
        const std::uint64_t lo = u32();
        const std::uint64_t hi = u32();
        return std::bit_cast<double>(lo | (hi << 32));
    }
    // Half float: sign, 5-bit exponent (bias 15), 10-bit mantissa.
    double float16() {
        const std::uint16_t h = u16();
        const int exponent = (h >> 10) & 0x1F;
        const int mantissa = h & 0x3FF;
        double v;
        if (exponent == 0)
            v = mantissa / 1024.0 / 16384.0;
        else if (exponent == 31)
            v = mantissa ? std::numeric_limits<double>::quiet_NaN()
                         : std::numeric_limits<double>::infinity();
        else
            v = (1.0 + mantissa / 1024.0) * std::ldexp(1.0, exponent - 15);
        return (h & 0x8000) ? -v : v;
    }
    // Seven bits per byte, low group first, at most five bytes.
    std::uint32_t encodedU32() {
        std::uint32_t v = 0;
        for (int i = 0; i < 5; ++i) {
            const std::uint8_t b = u8();
            v |= std::uint32_t(b & 0x7F) << (7 * i);
            if (!(b & 0x80))
                break;
        }
        return v;
    }

    // The next n bytes, or an empty span (and failed()) when fewer remain.
    std::span<const std::uint8_t> bytes(std::size_t n) {
        align();
        const std::size_t pos = m_bit / 8;
        if (pos > m_data.size() || n > m_data.size() - pos) {
            fail();
            return {};
        }
        m_bit += n * 8;
        return m_data.subspan(pos, n);
    }
    // Everything up to the end.
    std::span<const std::uint8_t> rest() { return bytes(remaining()); }
    // Bytes up to a 0 byte, which is consumed but not returned. A string without its 0 runs to
    // the end of the data; real files do that, and it is not counted as a failure.
    std::span<const std::uint8_t> cstring() {
        align();
        const std::size_t pos = m_bit / 8;
        if (pos >= m_data.size())
            return fail(), std::span<const std::uint8_t>{};
        const void* nul = std::memchr(m_data.data() + pos, 0, m_data.size() - pos);
        const std::size_t end =
            nul ? std::size_t(static_cast<const std::uint8_t*>(nul) - m_data.data())
                : m_data.size();
        m_bit = (nul ? end + 1 : end) * 8;
        return m_data.subspan(pos, end - pos);
    }
    void skip(std::size_t n) { bytes(n); }
    void seekByte(std::size_t pos) {
        if (pos > m_data.size()) {
            m_failed = true;
            pos = m_data.size();
        }
        m_bit = pos * 8;
    }

private:
    std::uint8_t fail() {
        m_bit = m_data.size() * 8;
        m_failed = true;
        return 0;
    }

    std::span<const std::uint8_t> m_data;
    std::size_t m_bit = 0;
    bool m_failed = false;
};

} // namespace swf
