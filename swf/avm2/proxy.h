#pragma once

// flash.utils.Proxy's hooks into the VM (builtins_proxy.cpp). Each answers false when the object
// is not a Proxy, so the caller goes on as usual.

#include "swf/avm2/vm.h"

namespace swf::avm2 {

void installProxy(VM& vm);

// callProperty on a name the proxy's traits do not declare.
bool proxyCallProperty(VM& vm, Object* o, const QString& name, std::span<const Value> args,
                       Value& out);

// The `in` operator (hasProperty) or delete (deleteProperty), its answer in `result`.
bool proxyHasOrDelete(VM& vm, Object* o, const QString& name, bool remove, bool& result);

// Enumeration: the next index after `cursor` (0 when done), or the name or value at `cursor`.
enum class ProxyStep { NextIndex, Name, Value };
// The descendants operator (`..name`), the name given as a QName (an attribute one for `..@name`).
bool proxyDescendants(VM& vm, Object* o, const Name& name, Value& out);

bool proxyEnumerate(VM& vm, Object* o, ProxyStep step, std::uint32_t cursor, Value& out);

} // namespace swf::avm2
