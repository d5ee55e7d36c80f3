#pragma once

// A tiny AVM1 assembler for hand-written test scripts, and a harness that runs a movie with
// scripting and collects what it traced.

#include "swf/avm1/opcodes.h"
#include "swf/avm1/scripting.h"
#include "swf/player.h"
#include "swf/swf_writer.h"

#include <QStringList>
#include <cstring>
#include <map>
#include <string>
#include <variant>

namespace avm1test {

namespace op = swf::avm1::op;

using swftest::Bytes;

class Asm {
public:
    Asm& op(std::uint8_t code) {
        m_b.push_back(code);
        return *this;
    }
    Asm& rec(std::uint8_t code, const Bytes& payload) {
        m_b.push_back(code);
        m_b.push_back(std::uint8_t(payload.size()));
        m_b.push_back(std::uint8_t(payload.size() >> 8));
        m_b.insert(m_b.end(), payload.begin(), payload.end());
        return *this;
    }
    Asm& str(const std::string& s) { return push(0, s); }
    Asm& num(double d) {
        Bytes p = {6};
        std::uint64_t bits;
        std::memcpy(&bits, &d, 8);
        for (int i = 4; i < 8; ++i)
            p.push_back(std::uint8_t(bits >> (8 * i)));
        for (int i = 0; i < 4; ++i)
            p.push_back(std::uint8_t(bits >> (8 * i)));
        return rec(op::Push, p);
    }
    Asm& undef() { return rec(op::Push, {3}); }
    Asm& boolean(bool b) { return rec(op::Push, {5, std::uint8_t(b)}); }
    Asm& trace() { return op(op::Trace); }
    Asm& getVar(const std::string& name) { return str(name).op(op::GetVariable); }
    Asm& setVar(const std::string& name, double v) { return str(name).num(v).op(op::SetVariable); }
    // Calls a global function with numeric arguments given first-to-last.
    Asm& call(const std::string& fn, std::initializer_list<double> args = {}) {
        for (auto it = std::rbegin(args); it != std::rend(args); ++it)
            num(*it);
        return num(double(args.size())).str(fn).op(op::CallFunction);
    }
    // obj.method(...): push the arguments last first, then this.
    Asm& callMethod(const std::string& object, const std::string& name, int argc) {
        return num(argc).getVar(object).str(name).op(op::CallMethod);
    }
    // A number or a string pushed as an argument.
    using Arg = std::variant<double, std::string>;
    Asm& arg(const Arg& a) {
        return std::holds_alternative<double>(a) ? num(std::get<double>(a))
                                                 : str(std::get<std::string>(a));
    }
    // object.method(args...) where `object` is a variable or path; the result is dropped
    // unless `keep`.
    Asm& invoke(const std::string& object, const std::string& method,
                std::initializer_list<Arg> args = {}, bool keep = false) {
        for (auto it = std::rbegin(args); it != std::rend(args); ++it)
            arg(*it);
        num(double(args.size())).getVar(object).str(method).op(op::CallMethod);
        return keep ? *this : op(op::Pop);
    }
    // object.name = value
    Asm& set(const std::string& object, const std::string& name, const Arg& value) {
        return getVar(object).str(name).arg(value).op(op::SetMember);
    }
    // trace(object.name)
    Asm& traceMember(const std::string& object, const std::string& name) {
        return getVar(object).str(name).op(op::GetMember).trace();
    }
    // Jumps and branches to labels placed with label().
    Asm& jump(const std::string& l) { return branch(op::Jump, l); }
    Asm& ifTrue(const std::string& l) { return branch(op::If, l); }
    Asm& label(const std::string& l) {
        m_labels[l] = m_b.size();
        return *this;
    }
    // DefineFunction with a body assembled separately.
    Asm& function(const std::string& name, const Asm& body) {
        Bytes p(name.begin(), name.end());
        p.push_back(0);
        p.push_back(0);
        p.push_back(0);
        p.push_back(std::uint8_t(body.m_b.size()));
        p.push_back(std::uint8_t(body.m_b.size() >> 8));
        rec(op::DefineFunction, p);
        m_b.insert(m_b.end(), body.m_b.begin(), body.m_b.end());
        return *this;
    }
    Bytes bytes() const {
        Bytes b = m_b;
        for (const auto& [at, l] : m_fixups) {
            const auto target = std::int64_t(m_labels.at(l));
            const auto off = std::int16_t(target - std::int64_t(at + 2));
            b[at] = std::uint8_t(off);
            b[at + 1] = std::uint8_t(std::uint16_t(off) >> 8);
        }
        b.push_back(0);
        return b;
    }

private:
    Asm& push(std::uint8_t type, const std::string& s) {
        Bytes p = {type};
        p.insert(p.end(), s.begin(), s.end());
        p.push_back(0);
        return rec(op::Push, p);
    }
    Asm& branch(std::uint8_t code, const std::string& l) {
        rec(code, {0, 0});
        m_fixups.push_back({m_b.size() - 2, l});
        return *this;
    }
    Bytes m_b;
    std::map<std::string, std::size_t> m_labels;
    std::vector<std::pair<std::size_t, std::string>> m_fixups;
};

// A movie running with scripting; trace lines, warnings and notices are collected.
struct MovieRun {
    explicit MovieRun(const Bytes& file, const swf::avm1::Limits& limits = {}) {
        auto m = swf::Movie::load(file);
        if (!m)
            throw std::runtime_error("movie did not load");
        movie = *m;
        player = std::make_unique<swf::Player>(movie);
        scripting = std::make_unique<swf::avm1::Scripting>(*player, limits);
        scripting->hooks().trace = [this](const QString& s) { traces << s; };
        scripting->hooks().warning = [this](const QString& s) { warnings << s; };
        scripting->hooks().notice = [this](const QString& s) { notices << s; };
        scripting->afterAdvance();
    }
    void ticks(int n) {
        for (int i = 0; i < n; ++i)
            scripting->tick();
    }
    std::shared_ptr<const swf::Movie> movie;
    std::unique_ptr<swf::Player> player;
    std::unique_ptr<swf::avm1::Scripting> scripting;
    QStringList traces, warnings, notices;
};

// A one-frame movie running the given script.
inline Bytes oneFrame(const Asm& a, std::uint8_t version = 10) {
    return swftest::movie(
        swftest::concat({swftest::doAction(a.bytes()), swftest::showFrame(), swftest::end()}), 1,
        version);
}

} // namespace avm1test
