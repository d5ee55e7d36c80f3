#pragma once

// AMF3 and AMF0, the encodings of ByteArray.writeObject and readObject (by the array's
// objectEncoding), and the class aliases (registerClassAlias) that name classes in them
// (builtins_amf.cpp).

#include "swf/avm2/vm.h"

namespace swf::avm2 {

// A ByteArray's bytes and read/write position; both null for any other object.
struct ByteArrayAccess {
    std::vector<std::uint8_t>* data = nullptr;
    std::size_t* position = nullptr;
    std::uint32_t* objectEncoding = nullptr; // 0 (AMF0) or 3 (AMF3)
};
ByteArrayAccess byteArrayAccess(Object* o);

// Appends `v` in AMF3 to `out`.
void writeAmf3(VM& vm, const Value& v, std::vector<std::uint8_t>& out);
// Reads one AMF3 value from `data` at `pos`, moving `pos` past it; a damaged or truncated
// value throws the EOFError or RangeError a script can catch.
Value readAmf3(VM& vm, const std::vector<std::uint8_t>& data, std::size_t& pos);

// The same in AMF0; types AMF0 cannot hold (ByteArray, Vector, Dictionary, E4X XML,
// externalizable objects) go as AMF3 after the 0x11 switch marker.
void writeAmf0(VM& vm, const Value& v, std::vector<std::uint8_t>& out);
Value readAmf0(VM& vm, const std::vector<std::uint8_t>& data, std::size_t& pos);

// registerClassAlias, getClassByAlias, ByteArray.writeObject and readObject; after the
// ByteArray and XML classes.
void installAmf(VM& vm);

} // namespace swf::avm2
