#pragma once

// AMF3, the encoding of ByteArray.writeObject and readObject, and the class aliases
// (registerClassAlias) that name classes in it (builtins_amf.cpp).

#include "swf/avm2/vm.h"

namespace swf::avm2 {

// A ByteArray's bytes and read/write position; both null for any other object.
struct ByteArrayAccess {
    std::vector<std::uint8_t>* data = nullptr;
    std::size_t* position = nullptr;
};
ByteArrayAccess byteArrayAccess(Object* o);

// Appends `v` in AMF3 to `out`.
void writeAmf3(VM& vm, const Value& v, std::vector<std::uint8_t>& out);
// Reads one AMF3 value from `data` at `pos`, moving `pos` past it; a damaged or truncated
// value throws the EOFError or RangeError a script can catch.
Value readAmf3(VM& vm, const std::vector<std::uint8_t>& data, std::size_t& pos);

// registerClassAlias, getClassByAlias, ByteArray.writeObject and readObject; after the
// ByteArray and XML classes.
void installAmf(VM& vm);

} // namespace swf::avm2
