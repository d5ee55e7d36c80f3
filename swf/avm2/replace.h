#pragma once

// The replacement text of String.replace, shared by the string and the RegExp forms.

#include "swf/avm2/value.h"

#include <QString>
#include <vector>

namespace swf::avm2 {

class VM;

// Expands $$, $&, $`, $' and $n in `repl`: `matched` starts at `at` in `subject`, `groups` are
// the captures (undefined where unset).
QString expandReplacement(const QString& repl, const QString& subject, qsizetype at,
                          const QString& matched, const std::vector<Value>& groups, VM& vm);

} // namespace swf::avm2
