#pragma once

// Pieces of test scripts the file-loading tests share: handlers, traces of several values,
// files written into temporary folders.

#include "avm1_asm.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <gtest/gtest.h>

namespace avm1test::helpers {

inline void writeFile(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

// function(params) { body } left on the stack.
inline Asm& lambda(Asm& a, std::initializer_list<std::string> params, const Asm& body) {
    Bytes code = body.bytes();
    code.pop_back(); // the end marker
    Bytes p = {0, std::uint8_t(params.size()), 0};
    for (const std::string& s : params) {
        p.insert(p.end(), s.begin(), s.end());
        p.push_back(0);
    }
    p.push_back(std::uint8_t(code.size()));
    p.push_back(std::uint8_t(code.size() >> 8));
    a.rec(0x9B, p);
    for (std::uint8_t b : code)
        a.op(b);
    return a;
}

// name = new Class()
inline Asm& newObject(Asm& a, const std::string& name, const std::string& cls) {
    return a.str(name).num(0).str(cls).op(0x40).op(0x1D);
}

// object.member = function(params) { body }
inline Asm& setHandler(Asm& a, const std::string& object, const std::string& member,
                       std::initializer_list<std::string> params, const Asm& body) {
    a.getVar(object).str(member);
    lambda(a, params, body);
    return a.op(0x4F);
}

// trace(a + " " + b + ...) of expressions pushed by the given steps.
inline Asm& traceJoined(Asm& a, std::initializer_list<std::function<void(Asm&)>> parts) {
    bool first = true;
    for (const auto& part : parts) {
        part(a);
        if (!first)
            a.op(0x47);
        if (&part != std::prev(parts.end()))
            a.str(" ").op(0x47);
        first = false;
    }
    return a.trace();
}

inline auto var(const std::string& name) {
    return [name](Asm& a) { a.getVar(name); };
}
inline auto member(const std::string& object, const std::string& path) {
    return [object, path](Asm& a) {
        a.getVar(object);
        std::size_t start = 0;
        while (start <= path.size()) {
            const std::size_t dot = path.find('.', start);
            a.str(path.substr(start, dot - start)).op(0x4E);
            if (dot == std::string::npos)
                break;
            start = dot + 1;
        }
    };
}
inline auto text(const std::string& s) {
    return [s](Asm& a) { a.str(s); };
}

} // namespace avm1test::helpers
