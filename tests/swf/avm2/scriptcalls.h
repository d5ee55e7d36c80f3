#pragma once

// Reaching a running movie's ActionScript objects by public name, for the tests that drive the
// Flash API from C++. A fixture derives from ScriptCalls<Itself> and gives `VM& vm()`.

#include "swf/avm2/vm.h"

#include <QString>
#include <vector>

template <class Fixture> struct ScriptCalls {
    using Value = swf::avm2::Value;

    Value get(const Value& o, const char* name) {
        return vm().getProperty(o, vm().publicName(QString::fromLatin1(name)));
    }
    void set(const Value& o, const char* name, const Value& v) {
        vm().setProperty(o, vm().publicName(QString::fromLatin1(name)), v);
    }
    Value call(const Value& o, const char* name, std::vector<Value> args = {}) {
        return vm().callProperty(o, vm().publicName(QString::fromLatin1(name)), args);
    }
    Value make(const char* cls, std::vector<Value> args = {}) {
        return vm().construct(vm().lookupDefinition(QString::fromLatin1(cls)), args);
    }

private:
    swf::avm2::VM& vm() { return static_cast<Fixture*>(this)->vm(); }
};
