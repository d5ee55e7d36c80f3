#pragma once

// flash.utils.Proxy's hooks into the VM (builtins_proxy.cpp). Each answers false when the object
// is not a Proxy, so the caller goes on as usual.

#include "swf/avm2/vm.h"

namespace swf::avm2 {

void installProxy(VM& vm);

// The traps get a public name (or one in any namespace) as a String, and a name in another
// namespace (`p.ns::x`) as a QName of that namespace.

// getProperty and setProperty of a name in a namespace other than public: public names reach
// the traps through Object::getOwn and setOwn.
bool proxyGetQualified(VM& vm, Object* o, const Name& name, Value& out);
bool proxySetQualified(VM& vm, Object* o, const Name& name, const Value& v);

// callProperty on a name the proxy's traits do not declare.
bool proxyCallProperty(VM& vm, Object* o, const Name& name, std::span<const Value> args,
                       Value& out);

// The `in` operator (hasProperty) or delete (deleteProperty), its answer in `result`.
bool proxyHasOrDelete(VM& vm, Object* o, const Name& name, bool remove, bool& result);

// Enumeration: the next index after `cursor` (0 when done), or the name or value at `cursor`.
enum class ProxyStep { NextIndex, Name, Value };
// The descendants operator (`..name`), the name given as a QName (an attribute one for `..@name`).
bool proxyDescendants(VM& vm, Object* o, const Name& name, Value& out);

bool proxyEnumerate(VM& vm, Object* o, ProxyStep step, std::uint32_t cursor, Value& out);

} // namespace swf::avm2
