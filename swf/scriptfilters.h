#pragma once

// flash.filters objects of either script engine turned into the renderer's filters: each engine
// reads the object's properties through these callbacks, by the names the classes document.

#include "swf/timeline.h"

#include <QString>
#include <functional>
#include <optional>
#include <variant>
#include <vector>

namespace swf {

struct ScriptFilterProps {
    // A property as a number (`fallback` when missing or not a number).
    std::function<double(const char* name, double fallback)> number;
    std::function<bool(const char* name, bool fallback)> boolean;
    std::function<QString(const char* name, const QString& fallback)> string;
    // An array property's items as numbers; nothing when it is not an array.
    std::function<std::optional<std::vector<double>>(const char* name)> numbers;
};

// The filter of a class named as in flash.filters ("BlurFilter", "GlowFilter"...), or nothing
// for a class the renderer has no filter for.
std::optional<Filter> filterFromScript(const QString& className, const ScriptFilterProps& props);

// The other way: a filter as a script object of its class would hold it (the getter of a
// display object's `filters`), each documented property with its value.
struct ScriptFilterObject {
    using Value = std::variant<double, bool, QString, std::vector<double>>;
    QString className;
    std::vector<std::pair<const char*, Value>> properties;
};
ScriptFilterObject scriptFilterObject(const Filter& filter);

// Filters a script set on a display object: what the renderer draws, and each object's
// documented properties as the script gave them, for the getter to hand back unrounded.
struct ScriptFilterList {
    std::vector<Filter> filters;
    std::vector<ScriptFilterObject> objects;
};

// The constructor parameters of each filter class, in order, with their documented defaults.
struct ScriptFilterParam {
    const char* name;
    enum class Type : std::uint8_t { Number, Bool, String, Array } type;
    double number = 0;
    const char* string = nullptr;
};
// Null for an unknown class; `count` receives the number of parameters.
const ScriptFilterParam* scriptFilterParams(const QString& className, std::size_t* count);
// Every class name scriptFilterParams knows.
const std::vector<QString>& scriptFilterClasses();

} // namespace swf
