#pragma once

// Storage for running methods' registers, operand stacks and scope stacks. Calls nest, so
// storage is taken and given back last-in first-out from a few large chunks: a call takes one
// block for all three, a pointer bump instead of three heap allocations.

#include <cstddef>
#include <memory>
#include <new>
#include <utility>
#include <vector>

namespace swf::avm2 {

class FrameArena {
public:
    // Null when the total would pass `limit` bytes (the caller reports a stack overflow).
    void* take(std::size_t bytes) {
        bytes = (bytes + 15) & ~std::size_t(15);
        if (m_total + bytes > m_limit)
            return nullptr;
        while (m_cur < m_chunks.size() && m_chunks[m_cur].size - m_chunks[m_cur].used < bytes) {
            if (m_chunks[m_cur].used == 0 && m_chunks[m_cur].size < bytes)
                break; // an empty chunk too small: replaced below
            ++m_cur;
        }
        if (m_cur == m_chunks.size() || m_chunks[m_cur].size - m_chunks[m_cur].used < bytes) {
            Chunk c;
            c.size = std::max<std::size_t>(kChunk, bytes);
            c.mem.reset(new std::byte[c.size]);
            if (m_cur == m_chunks.size())
                m_chunks.push_back(std::move(c));
            else
                m_chunks[m_cur] = std::move(c);
        }
        Chunk& c = m_chunks[m_cur];
        void* p = c.mem.get() + c.used;
        c.used += bytes;
        m_total += bytes;
        return p;
    }
    // Gives back the most recent `take` of this size.
    void give(std::size_t bytes) {
        bytes = (bytes + 15) & ~std::size_t(15);
        m_chunks[m_cur].used -= bytes;
        m_total -= bytes;
        while (m_cur > 0 && m_chunks[m_cur].used == 0)
            --m_cur;
    }
    void setLimit(std::size_t bytes) { m_limit = bytes; }

private:
    static constexpr std::size_t kChunk = std::size_t(1) << 20;
    struct Chunk {
        std::unique_ptr<std::byte[]> mem;
        std::size_t size = 0, used = 0;
    };
    std::vector<Chunk> m_chunks;
    std::size_t m_cur = 0, m_total = 0;
    std::size_t m_limit = std::size_t(256) << 20;
};

// A stack of at most `capacity` values in arena storage; elements exist only while pushed.
template <typename T> class FrameStack {
public:
    FrameStack(FrameArena& arena, std::size_t capacity) : m_arena(&arena), m_cap(capacity) {
        m_data = static_cast<T*>(arena.take(capacity * sizeof(T)));
        if (!m_data)
            m_cap = 0;
    }
    // Over storage the caller took from the arena (part of a method's frame) and gives back.
    FrameStack(T* storage, std::size_t capacity) : m_data(storage), m_cap(capacity) {}
    ~FrameStack() {
        clear();
        if (m_data && m_arena)
            m_arena->give(m_cap * sizeof(T));
    }
    FrameStack(const FrameStack&) = delete;
    FrameStack& operator=(const FrameStack&) = delete;

    bool valid() const { return m_data != nullptr; }
    std::size_t capacity() const { return m_cap; }
    std::size_t size() const { return m_size; }
    bool empty() const { return m_size == 0; }
    T& back() { return m_data[m_size - 1]; }
    T& front() { return m_data[0]; }
    T& operator[](std::size_t i) { return m_data[i]; }
    T* begin() { return m_data; }
    T* end() { return m_data + m_size; }
    // Caller checks capacity.
    [[gnu::always_inline]] void push_back(T v) { new (m_data + m_size++) T(std::move(v)); }
    [[gnu::always_inline]] void pop_back() { m_data[--m_size].~T(); }
    void shrink(std::size_t n) {
        while (m_size > n)
            pop_back();
    }
    void clear() { shrink(0); }

private:
    FrameArena* m_arena = nullptr;
    T* m_data = nullptr;
    std::size_t m_cap, m_size = 0;
};

} // namespace swf::avm2
