#pragma once

// Reused working memory for layers and filters. Fresh large allocations come straight from the
// system, and touching their pages costs more than the pixel work itself; a few buffers kept per
// thread make the next frame's layers free. What is kept is bounded.

#include <cstddef>
#include <utility>
#include <vector>

namespace swf::render {

template <typename T> class Scratch {
public:
    // Buffers larger than this go back to the system after use; at most kKept are kept.
    static constexpr std::size_t kKeepBytes = std::size_t(16) << 20;
    static constexpr std::size_t kKept = 6;

    explicit Scratch(std::size_t n, T fill = T{}) : m_v(take()) { m_v.assign(n, fill); }
    Scratch(const Scratch& other) : m_v(take()) { m_v.assign(other.m_v.begin(), other.m_v.end()); }
    Scratch(Scratch&& other) noexcept : m_v(std::move(other.m_v)) {}
    Scratch& operator=(const Scratch& other) {
        m_v.assign(other.m_v.begin(), other.m_v.end());
        return *this;
    }
    Scratch& operator=(Scratch&& other) noexcept {
        std::swap(m_v, other.m_v);
        return *this;
    }
    ~Scratch() { give(std::move(m_v)); }

    T& operator[](std::size_t i) { return m_v[i]; }
    const T& operator[](std::size_t i) const { return m_v[i]; }
    std::size_t size() const { return m_v.size(); }
    T* data() { return m_v.data(); }
    const T* data() const { return m_v.data(); }

private:
    static std::vector<std::vector<T>>& pool() {
        thread_local std::vector<std::vector<T>> kept;
        return kept;
    }
    static std::vector<T> take() {
        auto& kept = pool();
        if (kept.empty())
            return {};
        std::vector<T> v = std::move(kept.back());
        kept.pop_back();
        return v;
    }
    static void give(std::vector<T>&& v) {
        auto& kept = pool();
        if (v.capacity() > 0 && v.capacity() * sizeof(T) <= kKeepBytes && kept.size() < kKept)
            kept.push_back(std::move(v));
    }

    std::vector<T> m_v;
};

} // namespace swf::render
