#pragma once

// TextField.StyleSheet of ActionScript 2, and what TextField.styleSheet reads from one.

#include "swf/avm1/vm.h"
#include "swf/stylesheet.h"

#include <functional>
#include <optional>

namespace swf::avm1 {

// Defines TextField.StyleSheet (after TextField); `newFormat` makes the TextFormat objects
// `transform` returns.
void installStyleSheet(VM& vm, const std::function<Value(const TextFormatData&)>& newFormat);
// The styles a TextField.StyleSheet object holds; none for any other value.
std::optional<StyleSheet> styleSheetOf(VM& vm, const Value& sheet);

} // namespace swf::avm1
