#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
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

// Most-significant-bit-first reader for SWF bit fields. Past the end it yields zeros and sets
// failed(). Byte-aligned reads go through align() first, as the format requires.
class BitReader {
public:
    explicit BitReader(std::span<const std::uint8_t> data) : m_data(data) {}

    bool failed() const { return m_failed; }
    std::size_t bytePos() const { return m_bit / 8 + (m_bit % 8 ? 1 : 0); }
    void align() { m_bit = (m_bit + 7) & ~std::size_t(7); }

    std::uint32_t ub(unsigned n) {
        if (n == 0)
            return 0;
        if (n > 32) {
            m_failed = true;
            return 0;
        }
        if (n > m_data.size() * 8 - m_bit || m_bit > m_data.size() * 8) {
            m_bit = m_data.size() * 8;
            m_failed = true;
            return 0;
        }
        std::uint64_t v = 0;
        for (unsigned i = 0; i < n; ++i, ++m_bit)
            v = (v << 1) | ((m_data[m_bit >> 3] >> (7 - (m_bit & 7))) & 1u);
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

private:
    std::span<const std::uint8_t> m_data;
    std::size_t m_bit = 0;
    bool m_failed = false;
};

} // namespace swf
