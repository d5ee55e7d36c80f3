#pragma once

// A small SWF writer for hand-built test movies: bit fields, the basic records and tags.

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

namespace swftest {

using Bytes = std::vector<std::uint8_t>;

// Bits in the order SWF reads them (most significant first), then byte-aligned fields.
class Writer {
public:
    Writer& ub(std::uint32_t v, unsigned n) {
        for (unsigned i = n; i-- > 0;) {
            if (m_bit == 0)
                m_bytes.push_back(0);
            if ((v >> i) & 1u)
                m_bytes.back() |= std::uint8_t(0x80u >> m_bit);
            m_bit = (m_bit + 1) & 7;
        }
        return *this;
    }
    Writer& sb(std::int32_t v, unsigned n) { return ub(std::uint32_t(v) & mask(n), n); }
    Writer& flag(bool b) { return ub(b ? 1 : 0, 1); }
    Writer& align() {
        m_bit = 0;
        return *this;
    }
    Writer& u8(std::uint8_t v) {
        align();
        m_bytes.push_back(v);
        return *this;
    }
    Writer& u16(std::uint16_t v) { return u8(std::uint8_t(v)).u8(std::uint8_t(v >> 8)); }
    Writer& u32(std::uint32_t v) { return u16(std::uint16_t(v)).u16(std::uint16_t(v >> 16)); }
    Writer& bytes(const Bytes& b) {
        align();
        m_bytes.insert(m_bytes.end(), b.begin(), b.end());
        return *this;
    }
    Writer& str(const std::string& s) {
        align();
        m_bytes.insert(m_bytes.end(), s.begin(), s.end());
        m_bytes.push_back(0);
        return *this;
    }
    Writer& rgb(std::uint8_t r, std::uint8_t g, std::uint8_t b) { return u8(r).u8(g).u8(b); }
    Writer& rgba(std::uint8_t r, std::uint8_t g, std::uint8_t b, std::uint8_t a) {
        return rgb(r, g, b).u8(a);
    }
    // RECT with 20-bit fields.
    Writer& rect(std::int32_t xMin, std::int32_t xMax, std::int32_t yMin, std::int32_t yMax) {
        align();
        ub(20, 5).sb(xMin, 20).sb(xMax, 20).sb(yMin, 20).sb(yMax, 20);
        return align();
    }
    // MATRIX with 16.16 scale/rotate and 20-bit translation; identity parts are left out.
    Writer& matrix(double sx = 1, double sy = 1, double r0 = 0, double r1 = 0, std::int32_t tx = 0,
                   std::int32_t ty = 0) {
        align();
        const bool scale = sx != 1 || sy != 1;
        flag(scale);
        if (scale)
            ub(24, 5).sb(fixed(sx), 24).sb(fixed(sy), 24);
        const bool rotate = r0 != 0 || r1 != 0;
        flag(rotate);
        if (rotate)
            ub(24, 5).sb(fixed(r0), 24).sb(fixed(r1), 24);
        ub(20, 5).sb(tx, 20).sb(ty, 20);
        return align();
    }
    Writer& translate(std::int32_t tx, std::int32_t ty) { return matrix(1, 1, 0, 0, tx, ty); }
    // CXFORM / CXFORMWITHALPHA with 12-bit terms: {rMul, gMul, bMul, aMul}, {rAdd, ...}.
    Writer& cxform(bool alpha, std::initializer_list<std::int32_t> mult,
                   std::initializer_list<std::int32_t> add) {
        align();
        flag(add.size() > 0).flag(mult.size() > 0).ub(12, 4);
        for (auto it = mult.begin(); it != mult.end() && (alpha || it - mult.begin() < 3); ++it)
            sb(*it, 12);
        for (auto it = add.begin(); it != add.end() && (alpha || it - add.begin() < 3); ++it)
            sb(*it, 12);
        return align();
    }
    Writer& append(const Writer& w) { return bytes(w.data()); }

    const Bytes& data() const { return m_bytes; }
    std::size_t size() const { return m_bytes.size(); }

private:
    static std::uint32_t mask(unsigned n) { return n >= 32 ? 0xFFFFFFFFu : (1u << n) - 1; }
    static std::int32_t fixed(double v) { return std::int32_t(v * 65536.0); }

    Bytes m_bytes;
    unsigned m_bit = 0;
};

inline Bytes tag(std::uint16_t code, const Bytes& body, bool longForm = false) {
    Writer w;
    if (body.size() < 0x3F && !longForm) {
        w.u16(std::uint16_t(code << 6 | body.size()));
    } else {
        w.u16(std::uint16_t(code << 6 | 0x3F)).u32(std::uint32_t(body.size()));
    }
    w.bytes(body);
    return w.data();
}
inline Bytes tag(std::uint16_t code, const Writer& body, bool longForm = false) {
    return tag(code, body.data(), longForm);
}

inline Bytes showFrame() {
    return tag(1, Bytes{});
}
inline Bytes end() {
    return tag(0, Bytes{});
}

inline Bytes concat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const auto& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

// An uncompressed movie: 550 x 400 px stage, 12 fps, the given frame count and tags.
inline Bytes movie(const Bytes& tags, std::uint16_t frameCount = 1, std::uint8_t version = 10) {
    Writer body;
    body.rect(0, 11000, 0, 8000).u16(12 << 8).u16(frameCount).bytes(tags);
    Writer file;
    file.u8('F').u8('W').u8('S').u8(version).u32(std::uint32_t(body.size() + 8)).bytes(body.data());
    return file.data();
}

// Tags for the common cases.
inline Bytes placeObject2(std::uint16_t depth, std::uint16_t id, std::int32_t tx = 0,
                          std::int32_t ty = 0, bool move = false, const std::string& name = {}) {
    Writer w;
    std::uint8_t flags = 0x04 | (id ? 0x02 : 0) | (move ? 0x01 : 0) | (name.empty() ? 0 : 0x20);
    w.u8(flags).u16(depth);
    if (id)
        w.u16(id);
    w.translate(tx, ty);
    if (!name.empty())
        w.str(name);
    return tag(26, w);
}
inline Bytes removeObject2(std::uint16_t depth) {
    return tag(28, Writer().u16(depth));
}
inline Bytes doAction(const Bytes& code) {
    return tag(12, code);
}
inline Bytes frameLabel(const std::string& label) {
    return tag(43, Writer().str(label));
}
inline Bytes sprite(std::uint16_t id, std::uint16_t frames, const Bytes& tags) {
    return tag(39, Writer().u16(id).u16(frames).bytes(tags));
}

// Shape records with the given index widths, written into `w`.
class Records {
public:
    Records(Writer& w, unsigned fillBits, unsigned lineBits)
        : m_w(w), m_fillBits(fillBits), m_lineBits(lineBits) {
        m_w.ub(fillBits, 4).ub(lineBits, 4);
    }
    static constexpr std::int32_t kKeep = -1;
    // A StyleChange; kKeep leaves a field out.
    Records& style(std::int32_t fill0, std::int32_t fill1, std::int32_t line = kKeep,
                   bool move = false, std::int32_t x = 0, std::int32_t y = 0) {
        m_w.ub(0, 1)
            .flag(false)
            .flag(line != kKeep)
            .flag(fill1 != kKeep)
            .flag(fill0 != kKeep)
            .flag(move);
        if (move)
            m_w.ub(20, 5).sb(x, 20).sb(y, 20);
        if (fill0 != kKeep)
            m_w.ub(std::uint32_t(fill0), m_fillBits);
        if (fill1 != kKeep)
            m_w.ub(std::uint32_t(fill1), m_fillBits);
        if (line != kKeep)
            m_w.ub(std::uint32_t(line), m_lineBits);
        return *this;
    }
    Records& moveTo(std::int32_t x, std::int32_t y) {
        return style(kKeep, kKeep, kKeep, true, x, y);
    }
    Records& line(std::int32_t dx, std::int32_t dy) {
        m_w.ub(1, 1).ub(1, 1).ub(15, 4).flag(true).sb(dx, 17).sb(dy, 17);
        return *this;
    }
    Records& hline(std::int32_t dx) {
        m_w.ub(1, 1).ub(1, 1).ub(15, 4).flag(false).flag(false).sb(dx, 17);
        return *this;
    }
    Records& vline(std::int32_t dy) {
        m_w.ub(1, 1).ub(1, 1).ub(15, 4).flag(false).flag(true).sb(dy, 17);
        return *this;
    }
    Records& curve(std::int32_t cx, std::int32_t cy, std::int32_t ax, std::int32_t ay) {
        m_w.ub(1, 1).ub(0, 1).ub(15, 4).sb(cx, 17).sb(cy, 17).sb(ax, 17).sb(ay, 17);
        return *this;
    }
    // StateNewStyles: the caller writes the arrays into writer() and calls newBits().
    Records& newStylesFlag(std::int32_t fill1) {
        m_w.ub(0, 1).flag(true).flag(false).flag(fill1 != kKeep).flag(false).flag(false);
        if (fill1 != kKeep)
            m_w.ub(std::uint32_t(fill1), m_fillBits);
        return *this;
    }
    Records& newBits(unsigned fillBits, unsigned lineBits) {
        m_fillBits = fillBits;
        m_lineBits = lineBits;
        m_w.ub(fillBits, 4).ub(lineBits, 4);
        return *this;
    }
    void end() { m_w.ub(0, 6).align(); }
    Writer& writer() { return m_w; }

private:
    Writer& m_w;
    unsigned m_fillBits, m_lineBits;
};

// DefineShape3 with one solid fill: a w x h rectangle drawn with fill1.
inline Bytes rectShape(std::uint16_t id, std::int32_t w = 200, std::int32_t h = 100) {
    Writer s;
    s.u16(id).rect(0, w, 0, h);
    s.u8(1).u8(0x00).rgba(255, 0, 0, 255);                      // one solid red fill
    s.u8(0);                                                    // no lines
    s.ub(1, 4).ub(0, 4);                                        // 1 fill bit, 0 line bits
    s.ub(0, 1).ub(0x05, 5).ub(1, 5).sb(0, 1).sb(0, 1).ub(1, 1); // move to 0,0; fill1 = 1
    auto line = [&](std::int32_t dx, std::int32_t dy) {
        s.ub(1, 1).ub(1, 1).ub(14, 4).ub(1, 1).sb(dx, 16).sb(dy, 16);
    };
    line(w, 0);
    line(0, h);
    line(-w, 0);
    line(0, -h);
    s.ub(0, 1).ub(0, 5).align();
    return tag(32, s);
}

} // namespace swftest
