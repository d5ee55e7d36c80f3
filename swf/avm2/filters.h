#pragma once

// flash.filters for ActionScript 3: the classes, and their objects as the renderer's filters.

#include "swf/avm2/vm.h"
#include "swf/timeline.h"

#include <optional>

namespace swf::avm2 {

// Nothing for null or an object of no filter class.
std::optional<Filter> toFilter(VM& vm, const Value& v);
void installFilters(VM& vm);

} // namespace swf::avm2
