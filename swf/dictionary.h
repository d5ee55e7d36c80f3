#pragma once

#include "swf/characters.h"

#include <cstdint>
#include <memory>
#include <unordered_map>

namespace swf {

// Definitions by character id. The first definition of an id wins; later ones are dropped
// (FreeCharacter reuse is recorded on the timeline instead, see Frame::redefined).
class Dictionary {
public:
    const Character* find(std::uint16_t id) const {
        auto it = m_characters.find(id);
        return it == m_characters.end() ? nullptr : it->second.get();
    }
    // The definition if it exists and has type T (Shape, Sprite, ...), else null.
    template <typename T> const T* findAs(std::uint16_t id) const {
        const Character* c = find(id);
        return c && c->type == T::kType ? static_cast<const T*>(c) : nullptr;
    }
    Character* findMutable(std::uint16_t id) {
        auto it = m_characters.find(id);
        return it == m_characters.end() ? nullptr : it->second.get();
    }
    bool contains(std::uint16_t id) const { return m_characters.count(id) != 0; }
    // False (and the character is destroyed) when the id is taken.
    bool insert(std::unique_ptr<Character> c) {
        const std::uint16_t id = c->id;
        return m_characters.try_emplace(id, std::move(c)).second;
    }
    std::size_t size() const { return m_characters.size(); }
    const std::unordered_map<std::uint16_t, std::unique_ptr<Character>>& all() const {
        return m_characters;
    }

private:
    std::unordered_map<std::uint16_t, std::unique_ptr<Character>> m_characters;
};

} // namespace swf
