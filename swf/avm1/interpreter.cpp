// The action loop: decodes records and runs them.

#include "swf/avm1/loading.h"
#include "swf/avm1/opcodes.h"
#include "swf/avm1/sound.h"
#include "swf/avm1/vm.h"
#include "swf/player.h"

#include <QRandomGenerator>
#include <algorithm>
#include <cmath>
#include <cstring>

namespace swf::avm1 {

namespace {

enum : std::uint16_t {
    PreloadThis = 0x01,
    SuppressThis = 0x02,
    PreloadArguments = 0x04,
    SuppressArguments = 0x08,
    PreloadSuper = 0x10,
    SuppressSuper = 0x20,
    PreloadRoot = 0x40,
    PreloadParent = 0x80,
    PreloadGlobal = 0x100,
};

const QString kCorrupt = QStringLiteral("Failed to parse corrupt data.");

// Reads the fields of one record's payload; running past the end gives zeros.
class Payload {
public:
    explicit Payload(std::span<const std::uint8_t> b) : m_b(b) {}
    bool atEnd() const { return m_pos >= m_b.size(); }
    std::size_t pos() const { return m_pos; }
    std::uint8_t u8() { return m_pos < m_b.size() ? m_b[m_pos++] : (m_pos++, 0); }
    std::uint16_t u16() {
        const std::uint16_t lo = u8();
        return std::uint16_t(lo | (u8() << 8));
    }
    std::uint32_t u32() {
        const std::uint32_t lo = u16();
        return lo | (std::uint32_t(u16()) << 16);
    }
    QString str() {
        const std::size_t start = std::min(m_pos, m_b.size());
        std::size_t end = start;
        while (end < m_b.size() && m_b[end] != 0)
            ++end;
        m_pos = end + 1;
        return QString::fromUtf8(reinterpret_cast<const char*>(m_b.data() + start),
                                 qsizetype(end - start));
    }
    bool overran() const { return m_pos > m_b.size(); }

private:
    std::span<const std::uint8_t> m_b;
    std::size_t m_pos = 0;
};

} // namespace

struct Frame {
    std::span<const std::uint8_t> code;
    std::vector<Object*> scope; // outermost (the global object) first
    std::size_t timelineScope = 1;
    Value thisv;
    // Timelines by their script objects, which forget clips that leave the stage mid-script.
    Object* targetObj = nullptr;
    Object* origTargetObj = nullptr;
    MovieClip* target() const { return targetObj ? targetObj->clip : nullptr; }
    MovieClip* origTarget() const { return origTargetObj ? origTargetObj->clip : nullptr; }
    std::vector<Value>* regs = nullptr;
    std::vector<Value> ownRegs;
    std::shared_ptr<const std::vector<QString>> pool;
    std::size_t stackBase = 0;
    Object* activation = nullptr;
    Object* callee = nullptr;
    std::uint8_t version = 0;
    // Finally blocks run for a pending return: exceptions there end in that return.
    int returning = 0;
    Value returnValue;
};

class Interpreter {
public:
    Interpreter(VM& vm, Frame& f) : vm(vm), f(f) {}

    enum class Flow { Continue, Return, End };
    Value runAll() {
        std::size_t pc = 0;
        Value ret;
        run(0, f.code.size(), pc, ret);
        return ret;
    }

private:
    VM& vm;
    Frame& f;

    // -- stack
    void push(Value v, QString name = {}) {
        if (vm.stack.size() >= vm.limits().maxStack)
            throw ScriptAbort{QStringLiteral("A script overflowed its stack; it was stopped")};
        vm.stack.push_back(std::move(v));
        vm.stackNames.push_back(std::move(name));
    }
    Value pop() {
        if (vm.stack.size() <= f.stackBase)
            return {};
        Value v = std::move(vm.stack.back());
        vm.stack.pop_back();
        vm.stackNames.pop_back();
        return v;
    }
    Value pop(QString& name) {
        if (vm.stack.size() <= f.stackBase) {
            name.clear();
            return {};
        }
        name = std::move(vm.stackNames.back());
        return pop();
    }
    std::vector<Value> popArgs() {
        const double n = vm.toNumber(pop());
        std::vector<Value> args;
        const std::size_t avail = vm.stack.size() - std::min(vm.stack.size(), f.stackBase);
        const std::size_t count =
            std::isfinite(n) && n > 0 ? std::size_t(std::min(n, double(avail))) : 0;
        args.reserve(count);
        for (std::size_t i = 0; i < count; ++i)
            args.push_back(pop());
        return args;
    }
    Value pushBool(bool b) {
        Value v = f.version >= 5 ? Value(b) : Value(b ? 1.0 : 0.0);
        push(v);
        return v;
    }

    // -- variables
    Object* timelineObject() {
        for (std::size_t i = f.scope.size(); i-- > 0;) {
            if (f.scope[i]->kind == Object::Kind::Clip)
                return f.scope[i];
        }
        return f.target() ? vm.clipObject(f.target()) : vm.global();
    }

    static bool isPath(const QString& name) {
        return name.contains(u':') || name.contains(u'/') || name.contains(u'.');
    }

    bool levelName(const QString& name, Value& out) {
        const int level = levelNumber(name);
        if (level < 0)
            return false;
        MovieClip* clip = vm.levelClip(level);
        out = clip ? Value(vm.clipObject(clip)) : Value();
        return true;
    }

    bool lookupSimple(const QString& name, Value& out) {
        if (name == QLatin1String("this")) {
            out = f.thisv;
            return true;
        }
        if (levelName(name, out))
            return true;
        for (std::size_t i = f.scope.size(); i-- > 0;) {
            if (vm.findMember(Value(f.scope[i]), name, out))
                return true;
        }
        if (name.compare(QLatin1String("_root"), Qt::CaseInsensitive) == 0) {
            out = Value(vm.clipObject(vm.rootOf(f.target())));
            return true;
        }
        if (name.compare(QLatin1String("_global"), Qt::CaseInsensitive) == 0) {
            out = Value(vm.global());
            return true;
        }
        return false;
    }

    // Resolves `a.b.c`, `/a/b:c`, `../x`, `a:b`. `ok` is false when the first part is unknown.
    bool lookupPath(const QString& name, Value& out) {
        const int colon = name.lastIndexOf(u':');
        if (colon >= 0 || name.contains(u'/')) {
            const QString path = colon >= 0 ? name.left(colon) : name;
            MovieClip* base = f.target() ? f.target() : vm.rootClip();
            MovieClip* clip = vm.resolveTarget(path, base);
            if (!clip && colon >= 0) {
                // `obj:prop` where obj is a plain variable
                Value o;
                if (lookupPath(path, o) && o.isObject())
                    return vm.findMember(o, name.mid(colon + 1), out);
                return false;
            }
            if (!clip)
                return false;
            if (colon < 0) {
                out = Value(vm.clipObject(clip));
                return true;
            }
            return vm.findMember(Value(vm.clipObject(clip)), name.mid(colon + 1), out);
        }
        const QStringList parts = name.split(u'.');
        if (parts.size() < 2 || parts[0].isEmpty())
            return lookupSimple(name, out);
        Value cur;
        if (!lookupSimple(parts[0], cur))
            return false;
        for (qsizetype i = 1; i < parts.size(); ++i) {
            if (!cur.isObject())
                return false;
            Value next;
            if (!vm.findMember(cur, parts[i], next))
                return false;
            cur = next;
        }
        out = cur;
        return true;
    }

    Value getVariable(const QString& name) {
        Value out;
        if (isPath(name) ? lookupPath(name, out) : lookupSimple(name, out))
            return out;
        QString text = QStringLiteral("Reference to undeclared variable, '%1'").arg(name);
        if (vm.version() >= 7) {
            for (std::size_t i = f.scope.size(); i-- > 0;) {
                const auto& props = f.scope[i]->properties();
                if (std::any_of(props.begin(), props.end(), [&](const Object::Slot& s) {
                        return s.name.compare(name, Qt::CaseInsensitive) == 0;
                    })) {
                    text += QStringLiteral("\n-- Probably a case mismatch.");
                    break;
                }
            }
        }
        vm.warn(text);
        return {};
    }

    void setVariable(const QString& name, const Value& v) {
        if (isPath(name)) {
            const int colon = name.lastIndexOf(u':');
            const int dot = name.lastIndexOf(u'.');
            const int cut = std::max(colon, dot);
            if (cut > 0) {
                const QString path = name.left(cut);
                const QString member = name.mid(cut + 1);
                Value target;
                if (colon > dot && (path.isEmpty() || path.contains(u'/') || colon >= 0)) {
                    MovieClip* clip =
                        vm.resolveTarget(path, f.target() ? f.target() : vm.rootClip());
                    if (clip) {
                        vm.setMember(Value(vm.clipObject(clip)), member, v);
                        return;
                    }
                }
                if (lookupPath(path, target) && target.isObject())
                    vm.setMember(target, member, v);
                return;
            }
        }
        const QString k = vm.key(name);
        for (std::size_t i = f.scope.size(); i-- > 1;) {
            Object* o = f.scope[i];
            Value dummy;
            if (o->find(k) ||
                (o->kind == Object::Kind::Clip && vm.findMember(Value(o), name, dummy) &&
                 clipPropertyIndex(name) >= 0)) {
                vm.setMember(Value(o), name, v);
                return;
            }
        }
        vm.setMember(Value(timelineObject()), name, v);
    }

    void defineLocal(const QString& name, const Value& v) {
        Object* o = f.activation ? f.activation : timelineObject();
        vm.setMember(Value(o), name, v);
    }

    // -- timelines
    MovieClip* targetOf(const Value& v) {
        if (Object* o = v.asObject(); o && o->kind == Object::Kind::Clip)
            return o->clip;
        const QString path = vm.toString(v);
        if (path.isEmpty())
            return f.target();
        return vm.resolveTarget(path, f.target() ? f.target() : vm.rootClip());
    }

    void setTarget(MovieClip* clip) {
        f.targetObj = clip ? vm.clipObject(clip) : nullptr;
        if (f.timelineScope < f.scope.size() &&
            f.scope[f.timelineScope]->kind == Object::Kind::Clip && clip)
            f.scope[f.timelineScope] = vm.clipObject(clip);
    }

    // A frame given as a number (1-based) or a label, maybe `path:`-prefixed.
    bool resolveFrame(const Value& v, MovieClip*& clip, std::int64_t& frame) {
        clip = f.target();
        if (v.isString()) {
            QString s = v.string;
            const int colon = s.lastIndexOf(u':');
            if (colon >= 0) {
                clip = vm.resolveTarget(s.left(colon), f.target() ? f.target() : vm.rootClip());
                s = s.mid(colon + 1);
            }
            if (!clip)
                return false;
            const double n = stringToNumber(s, vm.version());
            if (std::isfinite(n)) {
                frame = std::int64_t(std::clamp(n, -1e15, 1e15)) - 1;
                return true;
            }
            const auto label = clip->timeline().frameForLabel(s);
            if (!label)
                return false;
            frame = std::int64_t(*label);
            return true;
        }
        if (!clip)
            return false;
        const double n = vm.toNumber(v);
        if (!std::isfinite(n))
            return false;
        frame = std::int64_t(std::clamp(n, -1e15, 1e15)) - 1;
        return true;
    }

    // -- control
    Flow run(std::size_t begin, std::size_t end, std::size_t& pc, Value& ret);
    Flow runRegion(std::size_t begin, std::size_t end, std::size_t& pc, Value& ret) {
        pc = begin;
        if (begin >= end)
            return Flow::Continue;
        return run(begin, end, pc, ret);
    }
    Flow doTry(Payload& p, std::size_t bodyStart, std::size_t& pc, Value& ret);
    void doPush(std::span<const std::uint8_t> payload);
    Object* makeFunction(Payload& p, bool two, std::size_t bodyStart, std::size_t& next);
    void callMethod(bool construct);
    void enumerate(const Value& v);
    void getUrl(const QString& url, const QString& target, std::uint8_t flags);
    Value add2(const Value& b, const Value& a);
    Value less2(const Value& b, const Value& a);
    bool equals2(const Value& b, const Value& a);
    bool strictEquals(const Value& b, const Value& a);
    void exec(std::uint8_t op, std::span<const std::uint8_t> payload, std::size_t next,
              std::size_t& pc, Flow& flow, Value& ret);
};

Interpreter::Flow Interpreter::run(std::size_t begin, std::size_t end, std::size_t& pc,
                                   Value& ret) {
    const std::size_t size = f.code.size();
    while (true) {
        if (pc >= size)
            return Flow::End; // running off the code ends it, in any block
        if (pc < begin || pc >= end)
            return Flow::Continue;
        vm.checkBudget();
        const std::uint8_t op = f.code[pc];
        if (op == 0)
            return Flow::End;
        std::size_t next = pc + 1;
        std::span<const std::uint8_t> payload;
        if (op >= 0x80) { // a length and a payload follow
            if (pc + 3 > size)
                throw ScriptAbort{kCorrupt, true};
            const std::size_t len = f.code[pc + 1] | (std::size_t(f.code[pc + 2]) << 8);
            if (pc + 3 + len > size)
                throw ScriptAbort{kCorrupt, true};
            payload = f.code.subspan(pc + 3, len);
            next = pc + 3 + len;
        }
        Flow flow = Flow::Continue;
        std::size_t newPc = next;
        if (f.returning > 0 && (op == op::CallFunction || op == op::CallMethod ||
                                op == op::NewObject || op == op::NewMethod)) {
            // A function that throws while a return is pending ends that return with
            // undefined.
            try {
                exec(op, payload, next, newPc, flow, ret);
            } catch (ScriptThrow&) {
                ret = Value();
                return Flow::Return;
            }
        } else {
            exec(op, payload, next, newPc, flow, ret);
        }
        if (flow != Flow::Continue)
            return flow;
        pc = newPc;
    }
}

void Interpreter::doPush(std::span<const std::uint8_t> payload) {
    Payload p(payload);
    while (!p.atEnd()) {
        const std::uint8_t type = p.u8();
        switch (type) {
        case 0:
            push(Value(p.str()));
            break;
        case 1: {
            const std::uint32_t bits = p.u32();
            float fl;
            std::memcpy(&fl, &bits, 4);
            push(Value(double(fl)));
            break;
        }
        case 2:
            push(Value::null());
            break;
        case 3:
            push(Value());
            break;
        case 4: {
            const std::uint8_t r = p.u8();
            push(r < f.regs->size() ? (*f.regs)[r] : Value());
            break;
        }
        case 5:
            push(Value(p.u8() != 0));
            break;
        case 6: {
            const std::uint64_t hi = p.u32();
            const std::uint64_t lo = p.u32();
            const std::uint64_t bits = (hi << 32) | lo;
            double d;
            std::memcpy(&d, &bits, 8);
            push(Value(d));
            break;
        }
        case 7:
            push(Value(double(std::int32_t(p.u32()))));
            break;
        case 8:
        case 9: {
            const std::size_t i = type == 8 ? p.u8() : p.u16();
            if (f.pool && i < f.pool->size())
                push(Value((*f.pool)[i]));
            else
                push(Value());
            break;
        }
        default:
            throw ScriptAbort{kCorrupt, true};
        }
        if (p.overran())
            throw ScriptAbort{kCorrupt, true};
    }
}

Object* Interpreter::makeFunction(Payload& p, bool two, std::size_t bodyStart, std::size_t& next) {
    auto sf = std::make_unique<ScriptFunction>();
    sf->name = p.str();
    const std::uint16_t n = p.u16();
    sf->isFunction2 = two;
    if (two) {
        sf->registerCount = p.u8();
        const std::uint16_t lo = p.u8();
        const std::uint16_t hi = p.u8();
        sf->flags = std::uint16_t(lo | (hi << 8));
    }
    for (std::uint16_t i = 0; i < n && !p.overran(); ++i) {
        sf->paramRegisters.push_back(two ? p.u8() : 0);
        sf->params.push_back(p.str());
    }
    const std::size_t codeSize = p.u16();
    if (p.overran())
        throw ScriptAbort{kCorrupt, true};
    const std::size_t start = std::min(bodyStart, f.code.size());
    const std::size_t len = std::min(codeSize, f.code.size() - start);
    sf->code = f.code.subspan(start, len);
    next = start + codeSize;
    sf->version = f.version;
    sf->scope = f.scope;
    sf->pool = f.pool;
    sf->target = f.target() ? vm.clipObject(f.target()) : nullptr;
    Object* fn = vm.newFunction({});
    fn->native = nullptr;
    fn->script = std::move(sf);
    Object* proto = vm.newObject();
    vm.define(fn, QStringLiteral("prototype"), Value(proto));
    vm.define(proto, QStringLiteral("constructor"), Value(fn));
    return fn;
}

Interpreter::Flow Interpreter::doTry(Payload& p, std::size_t bodyStart, std::size_t& pc,
                                     Value& ret) {
    const std::uint8_t flags = p.u8();
    const std::size_t trySize = p.u16(), catchSize = p.u16(), finallySize = p.u16();
    const bool catchInRegister = flags & 4;
    QString catchName;
    std::uint8_t catchReg = 0;
    if (catchInRegister)
        catchReg = p.u8();
    else
        catchName = p.str();
    if (p.overran())
        throw ScriptAbort{kCorrupt, true};
    const std::size_t size = f.code.size();
    const std::size_t tryStart = std::min(bodyStart, size);
    const std::size_t tryEnd = std::min(tryStart + trySize, size);
    const std::size_t catchEnd = std::min(tryEnd + catchSize, size);
    const bool hasCatch = flags & 1, hasFinally = flags & 2;

    // The catch and finally blocks are ordinary code after the try block: leaving the try
    // block in any way continues wherever that leads (compilers jump to the finally block).
    // Only a throw enters the catch block, and only a throw without a catch block or a return
    // runs the finally block on its own.
    const std::size_t stackDepth = vm.stack.size();
    const std::size_t scopeDepth = f.scope.size();
    auto runFinally = [&](Value& r) {
        std::size_t fpc;
        return runRegion(catchEnd, std::min(catchEnd + finallySize, size), fpc, r);
    };
    std::size_t tpc = tryEnd;
    Flow flow = Flow::Continue;
    bool threw = false;
    ScriptThrow t;
    try {
        flow = runRegion(tryStart, tryEnd, tpc, ret);
    } catch (ScriptThrow& e) {
        threw = true;
        t = e;
    }
    if (!threw) {
        if (flow == Flow::Return && hasFinally) {
            Value fret;
            ++f.returning;
            const Value saved = std::exchange(f.returnValue, ret);
            Flow ff;
            try {
                ff = runFinally(fret);
            } catch (...) {
                --f.returning;
                f.returnValue = saved;
                throw;
            }
            --f.returning;
            f.returnValue = saved;
            if (ff != Flow::Continue) {
                ret = fret;
                return ff;
            }
        }
        pc = tpc;
        return flow;
    }
    {
        vm.stack.resize(std::max(stackDepth, f.stackBase));
        vm.stackNames.resize(vm.stack.size());
        f.scope.resize(scopeDepth);
        if (hasCatch) {
            if (catchInRegister) {
                if (catchReg < f.regs->size())
                    (*f.regs)[catchReg] = t.value;
            } else {
                defineLocal(catchName, t.value);
            }
            // The catch block runs guarded by the finally block like the try block.
            std::size_t cpc;
            Flow cflow;
            Value thrown;
            bool rethrow = false;
            try {
                cflow = runRegion(tryEnd, catchEnd, cpc, ret);
            } catch (ScriptThrow& t2) {
                if (!hasFinally)
                    throw; // the catch block's own throw
                thrown = t2.value;
                rethrow = true;
                cflow = Flow::Continue;
                vm.stack.resize(std::max(stackDepth, f.stackBase));
                vm.stackNames.resize(vm.stack.size());
                f.scope.resize(scopeDepth);
            }
            if ((cflow == Flow::Return || rethrow) && hasFinally) {
                Value fret;
                const Flow ff = runFinally(fret);
                if (ff != Flow::Continue) {
                    ret = fret;
                    return ff;
                }
            }
            if (rethrow)
                throw ScriptThrow{thrown};
            pc = cpc;
            return cflow;
        }
        if (!hasFinally)
            throw t;
        const Value thrown = t.value;
        Value fret;
        const Flow ff = runFinally(fret);
        if (ff != Flow::Continue) {
            ret = fret;
            return ff;
        }
        if (f.returning > 0) {
            // A return was under way: it goes on, the exception is dropped.
            ret = f.returnValue;
            return Flow::Return;
        }
        throw ScriptThrow{thrown};
    }
}

void Interpreter::enumerate(const Value& v) {
    push(Value()); // end marker
    Object* o = v.asObject();
    if (!o)
        return;
    std::vector<QString> names;
    std::vector<QString> seen;
    auto add = [&](const QString& n) {
        const QString k = vm.key(n);
        if (std::find(seen.begin(), seen.end(), k) != seen.end())
            return;
        seen.push_back(k);
        names.push_back(n);
    };
    int guard = 0;
    for (Object* cur = o; cur && guard < 256; cur = cur->proto, ++guard) {
        const auto& props = cur->properties();
        for (auto it = props.rbegin(); it != props.rend(); ++it) {
            if (!(it->flags & DontEnum))
                add(it->name);
        }
        if (cur->kind == Object::Kind::Array) {
            for (std::size_t i = cur->elements.size(); i-- > 0;)
                add(QString::number(i));
        }
        if (cur->kind == Object::Kind::Clip && cur->clip) {
            const auto& objs = cur->clip->displayList().objects();
            for (auto it = objs.rbegin(); it != objs.rend(); ++it) {
                if (!(*it)->name.isEmpty() && ((*it)->clip() || (*it)->button()))
                    add((*it)->name);
            }
        }
    }
    for (auto it = names.rbegin(); it != names.rend(); ++it)
        push(Value(*it));
}

Value Interpreter::add2(const Value& b, const Value& a) {
    const Value pb = vm.toPrimitive(b), pa = vm.toPrimitive(a);
    if (pb.isString() || pa.isString()) {
        const QString sb = vm.toString(pb), sa = vm.toString(pa);
        vm.checkedLength(sb.size() + sa.size());
        return Value(sb + sa);
    }
    return Value(vm.toNumber(pb) + vm.toNumber(pa));
}

Value Interpreter::less2(const Value& b, const Value& a) {
    const Value pb = vm.toPrimitive(b), pa = vm.toPrimitive(a);
    if (pb.isString() && pa.isString())
        return Value(pb.string < pa.string);
    const double x = vm.toNumber(pb), y = vm.toNumber(pa);
    if (std::isnan(x) || std::isnan(y))
        return {};
    return Value(x < y);
}

bool Interpreter::strictEquals(const Value& b, const Value& a) {
    if (a.type != b.type)
        return false;
    switch (a.type) {
    case Value::Type::Undefined:
    case Value::Type::Null:
        return true;
    case Value::Type::Boolean:
        return a.boolean == b.boolean;
    case Value::Type::Number:
        return a.number == b.number;
    case Value::Type::String:
        return a.string == b.string;
    case Value::Type::Object:
        return a.object == b.object;
    }
    return false;
}

bool Interpreter::equals2(const Value& b, const Value& a) {
    if (a.type == b.type)
        return strictEquals(b, a);
    if (a.isNullish() && b.isNullish())
        return true;
    if (a.isNullish() || b.isNullish())
        return false;
    if (b.isNumber() && a.isString())
        return b.number == vm.toNumber(a);
    if (b.isString() && a.isNumber())
        return vm.toNumber(b) == a.number;
    if (b.type == Value::Type::Boolean)
        return equals2(Value(b.boolean ? 1.0 : 0.0), a);
    if (a.type == Value::Type::Boolean)
        return equals2(b, Value(a.boolean ? 1.0 : 0.0));
    if (b.isObject() && !a.isObject()) {
        const Value p = vm.toPrimitive(b);
        return !p.isObject() && equals2(p, a);
    }
    if (a.isObject() && !b.isObject()) {
        const Value p = vm.toPrimitive(a);
        return !p.isObject() && equals2(b, p);
    }
    return false;
}

void Interpreter::callMethod(bool construct) {
    const Value nameV = pop();
    QString objName;
    const Value object = pop(objName);
    std::vector<Value> args = popArgs();
    const bool noName = nameV.isUndefined() || (nameV.isString() && nameV.string.isEmpty());
    if (noName) {
        // The object itself is the function (or, on `super`, the parent constructor).
        if (Object* o = object.asObject(); o && o->kind == Object::Kind::Super) {
            Value ctor;
            if (o->superProto) {
                if (!vm.findMember(Value(o->superProto), QStringLiteral("__constructor__"), ctor))
                    ctor = vm.getMember(Value(o->superProto), QStringLiteral("constructor"));
            }
            push(vm.call(ctor, Value(o->superThis), args, o->superProto));
            return;
        }
        push(construct ? vm.construct(object, args) : vm.call(object, Value(), args));
        return;
    }
    const QString name = vm.toString(nameV);
    if (object.isNullish()) {
        push(Value());
        return;
    }
    Object* o = object.asObject();
    Value self = object;
    Object* home = nullptr;
    Value fn;
    if (o && o->kind == Object::Kind::Super) {
        self = Value(o->superThis);
        home = o->superProto;
        // Find which prototype holds the method, so a `super` inside it goes one level up.
        int guard = 0;
        for (Object* p = o->superProto; p && guard < 256; p = p->proto, ++guard) {
            if (p->find(vm.key(name))) {
                home = p;
                break;
            }
        }
        fn = vm.getMember(object, name);
    } else {
        fn = vm.getMember(object, name);
        if (o) {
            int guard = 0;
            for (Object* p = o; p && guard < 256; p = p->proto, ++guard) {
                if (p->find(vm.key(name))) {
                    home = p;
                    break;
                }
            }
        }
    }
    if (construct) {
        push(vm.construct(fn, args));
        return;
    }
    push(vm.call(fn, self, args, home));
}

void Interpreter::getUrl(const QString& url, const QString& target, std::uint8_t flags) {
    if (url.startsWith(QLatin1String("FSCommand:"), Qt::CaseInsensitive)) {
        const QString command = url.mid(10);
        if (command.compare(QLatin1String("quit"), Qt::CaseInsensitive) == 0)
            vm.quitRequested = true;
        if (vm.hooks.fscommand)
            vm.hooks.fscommand(command, target);
        return;
    }
    auto notice = [&](const QString& text) {
        if (vm.hooks.notice)
            vm.hooks.notice(text);
        else
            std::fprintf(stderr, "%s\n", qPrintable(text));
    };
    const bool loadsVariables = flags & 0x80;
    const bool loadsMovie = (flags & 0x40) || target.startsWith(QLatin1String("_level"));
    if (loadsVariables) {
        const bool level = target.startsWith(QLatin1String("_level"));
        loadVariables(vm, url,
                      level && target != QLatin1String("_level0")
                          ? nullptr
                          : vm.resolveTarget(target, f.target()),
                      target);
        return;
    }
    if (loadsMovie) {
        loadMovieRequest(vm, QStringLiteral("loadMovie of"), url, Value(target), f.target(),
                         nullptr);
        return;
    }
    const bool web = url.startsWith(QLatin1String("http://"), Qt::CaseInsensitive) ||
                     url.startsWith(QLatin1String("https://"), Qt::CaseInsensitive);
    if (web && target == QLatin1String("_blank") && vm.hooks.confirmOpenUrl &&
        vm.hooks.confirmOpenUrl(url)) {
        if (vm.hooks.openUrl)
            vm.hooks.openUrl(url);
        return;
    }
    notice(QStringLiteral("Refused: a script asked to open %1").arg(url));
}

void Interpreter::exec(std::uint8_t op, std::span<const std::uint8_t> payload, std::size_t next,
                       std::size_t& pc, Flow& flow, Value& ret) {
    Payload p(payload);
    auto num = [&](const Value& v) { return vm.toNumber(v); };
    auto gotoClip = [&](MovieClip* clip, std::int64_t frame) { vm.gotoFrame(clip, frame); };
    switch (op) {
    // SWF 3
    case op::GotoFrame:
        if (f.target())
            gotoClip(f.target(), p.u16());
        break;
    case op::GetURL: {
        const QString url = p.str();
        const QString target = p.str();
        getUrl(url, target, 0);
        break;
    }
    case op::NextFrame:
        if (f.target()) {
            f.target()->stop();
            gotoClip(f.target(), std::int64_t(f.target()->currentFrame()) + 1);
        }
        break;
    case op::PreviousFrame:
        if (f.target()) {
            f.target()->stop();
            if (f.target()->currentFrame() > 0)
                gotoClip(f.target(), std::int64_t(f.target()->currentFrame()) - 1);
        }
        break;
    case op::Play:
        if (f.target())
            f.target()->play();
        break;
    case op::Stop:
        if (f.target())
            f.target()->stop();
        break;
    case op::ToggleQuality:
        break;
    case op::StopSounds:
        vm.sounds().stopAll();
        break;
    case op::WaitForFrame: // WaitForFrame: a local movie is always fully loaded
    case op::WaitForFrame2:
        if (op == op::WaitForFrame2)
            pop();
        break;
    case op::SetTarget: {
        const QString t = p.str();
        if (t.isEmpty())
            setTarget(f.origTarget());
        else
            setTarget(vm.resolveTarget(t, f.origTarget() ? f.origTarget() : vm.rootClip()));
        break;
    }
    case op::GoToLabel: {
        const QString label = p.str();
        if (f.target()) {
            if (auto fr = f.target()->timeline().frameForLabel(label))
                gotoClip(f.target(), std::int64_t(*fr));
        }
        break;
    }
    // SWF 4 arithmetic
    case op::Add:
    case op::Subtract:
    case op::Multiply:
    case op::Divide: {
        const double a = num(pop()), b = num(pop());
        double r = 0;
        if (op == op::Add)
            r = b + a;
        else if (op == op::Subtract)
            r = b - a;
        else if (op == op::Multiply)
            r = b * a;
        else {
            if (a == 0 && f.version < 5) {
                push(Value(QStringLiteral("#ERROR#")));
                break;
            }
            r = b / a;
        }
        push(Value(r));
        break;
    }
    case op::Equals: {
        const double a = num(pop()), b = num(pop());
        pushBool(b == a);
        break;
    }
    case op::Less: {
        const double a = num(pop()), b = num(pop());
        pushBool(b < a);
        break;
    }
    case op::And: {
        const bool a = vm.toBoolean(pop()), b = vm.toBoolean(pop());
        pushBool(b && a);
        break;
    }
    case op::Or: {
        const bool a = vm.toBoolean(pop()), b = vm.toBoolean(pop());
        pushBool(b || a);
        break;
    }
    case op::Not:
        pushBool(!vm.toBoolean(pop()));
        break;
    case op::StringEquals: {
        const QString a = vm.toString(pop()), b = vm.toString(pop());
        pushBool(b == a);
        break;
    }
    case op::StringLess: {
        const QString a = vm.toString(pop()), b = vm.toString(pop());
        pushBool(b < a);
        break;
    }
    case op::StringGreater: {
        const QString a = vm.toString(pop()), b = vm.toString(pop());
        pushBool(b > a);
        break;
    }
    case op::StringLength:
        push(Value(double(vm.toString(pop()).toUtf8().size())));
        break;
    case op::MBStringLength:
        push(Value(double(vm.toString(pop()).size())));
        break;
    case op::StringExtract:
    case op::MBStringExtract: {
        const double count = num(pop()), index = num(pop());
        const QString s = vm.toString(pop());
        if (!std::isfinite(count) || !std::isfinite(index)) {
            push(Value(QString()));
            break;
        }
        const qsizetype from = qsizetype(std::clamp(index - 1, 0.0, double(s.size())));
        const qsizetype n = count < 0 ? s.size() : qsizetype(std::min(count, double(s.size())));
        push(Value(s.mid(from, n)));
        break;
    }
    case op::StringAdd: {
        const QString a = vm.toString(pop()), b = vm.toString(pop());
        vm.checkedLength(a.size() + b.size());
        push(Value(b + a));
        break;
    }
    case op::ToInteger: {
        const double d = num(pop());
        push(Value(std::isfinite(d) ? std::trunc(d) : (std::isnan(d) ? d : d)));
        break;
    }
    case op::CharToAscii:
    case op::MBCharToAscii: {
        const QString s = vm.toString(pop());
        push(Value(s.isEmpty() ? 0.0 : double(s[0].unicode())));
        break;
    }
    case op::AsciiToChar:
    case op::MBAsciiToChar: {
        const std::int32_t c = vm.toInt(pop());
        push(Value(QString(QChar(char16_t(c & 0xFFFF)))));
        break;
    }
    case op::GetVariable: {
        const QString name = vm.toString(pop());
        push(getVariable(name), name);
        break;
    }
    case op::SetVariable: {
        const Value v = pop();
        setVariable(vm.toString(pop()), v);
        break;
    }
    case op::SetTarget2:
        setTarget(targetOf(pop()));
        if (!f.target())
            f.targetObj = nullptr;
        break;
    case op::GetProperty: {
        const int index = toInt32(num(pop()));
        MovieClip* clip = targetOf(pop());
        push(clip ? getClipProperty(vm, clip, index) : Value());
        break;
    }
    case op::SetProperty: {
        const Value v = pop();
        const int index = toInt32(num(pop()));
        if (MovieClip* clip = targetOf(pop()))
            setClipProperty(vm, clip, index, v);
        break;
    }
    case op::CloneSprite: {
        const Value depth = pop();
        const Value name = pop();
        const Value source = pop();
        const Value method =
            vm.getMember(Value(vm.clipProto()), QStringLiteral("duplicateMovieClip"));
        if (MovieClip* clip = targetOf(source)) {
            const Value args[] = {name, Value(num(depth) - 16384)};
            vm.call(method, Value(vm.clipObject(clip)), args);
        }
        break;
    }
    case op::RemoveSprite: {
        const Value method = vm.getMember(Value(vm.clipProto()), QStringLiteral("removeMovieClip"));
        if (MovieClip* clip = targetOf(pop()))
            vm.call(method, Value(vm.clipObject(clip)), {});
        break;
    }
    case op::Trace: {
        const Value v = pop();
        const QString s = v.isUndefined() ? QStringLiteral("undefined") : vm.toString(v);
        if (vm.hooks.trace)
            vm.hooks.trace(s);
        break;
    }
    case op::StartDrag: {
        const Value target = pop();
        const bool lock = vm.toBoolean(pop());
        const bool constrain = vm.toBoolean(pop());
        std::optional<QRectF> bounds;
        if (constrain) {
            const double y2 = num(pop()), x2 = num(pop()), y1 = num(pop()), x1 = num(pop());
            bounds = QRectF(QPointF(x1, y1), QPointF(x2, y2)).normalized();
        }
        if (MovieClip* clip = targetOf(target)) {
            vm.dragClip = clip;
            vm.dragLockCenter = lock;
            vm.dragBounds = bounds;
            vm.dragOffset = {};
            if (!lock) {
                const double x = num(getClipProperty(vm, clip, 0));
                const double y = num(getClipProperty(vm, clip, 1));
                vm.dragOffset = QPointF(x, y) - vm.mouse;
            }
        }
        break;
    }
    case op::EndDrag:
        vm.dragClip = nullptr;
        break;
    case op::RandomNumber: {
        const std::int32_t max = vm.toInt(pop());
        push(Value(max > 0 ? double(QRandomGenerator::global()->bounded(max)) : 0.0));
        break;
    }
    case op::GetTime:
        push(Value(double(vm.elapsedMs())));
        break;
    case op::Jump: {
        const std::int16_t off = std::int16_t(p.u16());
        pc = std::size_t(std::int64_t(next) + off);
        if (std::int64_t(next) + off < 0)
            pc = f.code.size();
        break;
    }
    case op::If: {
        const std::int16_t off = std::int16_t(p.u16());
        if (vm.toBoolean(pop())) {
            pc = std::size_t(std::int64_t(next) + off);
            if (std::int64_t(next) + off < 0)
                pc = f.code.size();
        }
        break;
    }
    case op::Call: {
        MovieClip* clip = nullptr;
        std::int64_t frame = 0;
        if (resolveFrame(pop(), clip, frame) && frame >= 0 &&
            std::size_t(frame) < clip->frameCount()) {
            Object* holder = vm.clipObject(clip);
            for (const auto& block : clip->timeline().frames[std::size_t(frame)].actions) {
                if (!holder->clip)
                    break; // the clip left the stage
                vm.runNested(block, holder->clip);
            }
        }
        break;
    }
    case op::GetURL2: {
        const std::uint8_t flags = p.u8();
        const QString target = vm.toString(pop());
        const QString url = vm.toString(pop());
        getUrl(url, target, flags);
        break;
    }
    case op::GotoFrame2: {
        const std::uint8_t flags = p.u8();
        const std::uint16_t bias = (flags & 2) ? p.u16() : 0;
        MovieClip* clip = nullptr;
        std::int64_t frame = 0;
        if (resolveFrame(pop(), clip, frame)) {
            gotoClip(clip, frame + bias);
            if (flags & 1)
                clip->play();
            else
                clip->stop();
        }
        break;
    }
    // SWF 5
    case op::Pop:
        pop();
        break;
    case op::Delete: {
        const QString name = vm.toString(pop());
        const Value o = pop();
        Object* obj = o.asObject();
        pushBool(obj && obj->remove(vm.key(name)));
        break;
    }
    case op::Delete2: {
        const QString name = vm.toString(pop());
        bool done = false;
        for (std::size_t i = f.scope.size(); i-- > 0 && !done;) {
            if (f.scope[i]->find(vm.key(name)))
                done = f.scope[i]->remove(vm.key(name)), done = true;
        }
        pushBool(done);
        break;
    }
    case op::DefineLocal: {
        const Value v = pop();
        defineLocal(vm.toString(pop()), v);
        break;
    }
    case op::DefineLocal2: {
        const QString name = vm.toString(pop());
        Object* o = f.activation ? f.activation : timelineObject();
        if (!o->find(vm.key(name)))
            vm.setMember(Value(o), name, Value());
        break;
    }
    case op::CallFunction: {
        const QString name = vm.toString(pop());
        std::vector<Value> args = popArgs();
        Value fn;
        if (!(isPath(name) ? lookupPath(name, fn) : lookupSimple(name, fn)))
            fn = Value();
        Value self = f.target() ? Value(vm.clipObject(f.target())) : Value();
        push(vm.call(fn, self, args));
        break;
    }
    case op::CallMethod:
        callMethod(false);
        break;
    case op::NewObject: {
        const QString name = vm.toString(pop());
        std::vector<Value> args = popArgs();
        Value ctor;
        if (!(isPath(name) ? lookupPath(name, ctor) : lookupSimple(name, ctor)))
            ctor = Value();
        push(vm.construct(ctor, args));
        break;
    }
    case op::NewMethod:
        callMethod(true);
        break;
    case op::InitArray: {
        std::vector<Value> elems = popArgs();
        push(Value(vm.newArray(std::move(elems))));
        break;
    }
    case op::InitObject: {
        const double n = num(pop());
        Object* o = vm.newObject();
        const std::size_t avail = vm.stack.size() - std::min(vm.stack.size(), f.stackBase);
        const std::size_t count =
            std::isfinite(n) && n > 0 ? std::size_t(std::min(n, double(avail / 2))) : 0;
        for (std::size_t i = 0; i < count; ++i) {
            const Value v = pop();
            vm.setMember(Value(o), vm.toString(pop()), v);
        }
        push(Value(o));
        break;
    }
    case op::Return:
        ret = pop();
        flow = Flow::Return;
        break;
    case op::Modulo: {
        const double a = num(pop()), b = num(pop());
        push(Value(std::fmod(b, a)));
        break;
    }
    case op::TypeOf:
        push(Value(vm.typeOf(pop())));
        break;
    case op::TargetPath: {
        const Value v = pop();
        Object* o = v.asObject();
        if (o && o->kind == Object::Kind::Clip && o->clip)
            push(Value(vm.targetPath(o->clip)));
        else
            push(Value());
        break;
    }
    case op::Enumerate: {
        const QString name = vm.toString(pop());
        Value v;
        if (!(isPath(name) ? lookupPath(name, v) : lookupSimple(name, v)))
            v = Value();
        enumerate(v);
        break;
    }
    case op::Enumerate2:
        enumerate(pop());
        break;
    case op::Add2: {
        const Value a = pop(), b = pop();
        push(add2(b, a));
        break;
    }
    case op::Less2: {
        const Value a = pop(), b = pop();
        push(less2(b, a));
        break;
    }
    case op::Greater: {
        const Value a = pop(), b = pop();
        push(less2(a, b));
        break;
    }
    case op::Equals2: {
        const Value a = pop(), b = pop();
        pushBool(equals2(b, a));
        break;
    }
    case op::StrictEquals: {
        const Value a = pop(), b = pop();
        pushBool(strictEquals(b, a));
        break;
    }
    case op::ToNumber:
        push(Value(num(pop())));
        break;
    case op::ToString:
        push(Value(vm.toString(pop())));
        break;
    case op::PushDuplicate: {
        QString name;
        const Value v = pop(name);
        push(v, name);
        push(v, name);
        break;
    }
    case op::StackSwap: {
        QString na, nb;
        const Value a = pop(na), b = pop(nb);
        push(a, na);
        push(b, nb);
        break;
    }
    case op::GetMember: {
        const QString name = vm.toString(pop());
        QString objName;
        const Value o = pop(objName);
        if (o.isNullish() && !objName.isEmpty())
            vm.warn(QStringLiteral("'%1' has no property '%2'").arg(objName, name));
        push(vm.getMember(o, name));
        break;
    }
    case op::SetMember: {
        const Value v = pop();
        const QString name = vm.toString(pop());
        vm.setMember(pop(), name, v);
        break;
    }
    case op::Increment:
        push(Value(num(pop()) + 1));
        break;
    case op::Decrement:
        push(Value(num(pop()) - 1));
        break;
    case op::BitAnd:
    case op::BitOr:
    case op::BitXor:
    case op::BitLShift:
    case op::BitRShift:
    case op::BitURShift: {
        const std::int32_t a = vm.toInt(pop()), b = vm.toInt(pop());
        double r = 0;
        switch (op) {
        case op::BitAnd:
            r = b & a;
            break;
        case op::BitOr:
            r = b | a;
            break;
        case op::BitXor:
            r = b ^ a;
            break;
        case op::BitLShift:
            r = std::int32_t(std::uint32_t(b) << (a & 31));
            break;
        case op::BitRShift:
            r = b >> (a & 31);
            break;
        default:
            r = double(std::uint32_t(b) >> (a & 31));
            break;
        }
        push(Value(r));
        break;
    }
    case op::StoreRegister: {
        const std::uint8_t r = p.u8();
        const Value v = vm.stack.size() > f.stackBase ? vm.stack.back() : Value();
        if (r < f.regs->size())
            (*f.regs)[r] = v;
        break;
    }
    case op::ConstantPool: {
        auto pool = std::make_shared<std::vector<QString>>();
        const std::uint16_t n = p.u16();
        for (std::uint16_t i = 0; i < n && !p.atEnd(); ++i)
            pool->push_back(p.str());
        f.pool = std::move(pool);
        break;
    }
    case op::Push:
        doPush(payload);
        break;
    case op::With: {
        const std::size_t size = p.u16();
        const Value o = pop();
        const std::size_t start = next;
        const std::size_t end = std::min(start + size, f.code.size());
        pc = start + size;
        if (Object* obj = o.asObject(); obj && f.scope.size() < 64) {
            f.scope.push_back(obj);
            std::size_t wpc;
            Value r;
            const std::size_t depth = f.scope.size();
            Flow fl;
            try {
                fl = runRegion(start, end, wpc, r);
            } catch (...) {
                f.scope.resize(depth - 1);
                throw;
            }
            f.scope.resize(depth - 1);
            if (fl != Flow::Continue) {
                flow = fl;
                ret = r;
                break;
            }
            if (wpc != end)
                pc = wpc;
        }
        break;
    }
    case op::DefineFunction:
    case op::DefineFunction2: { // DefineFunction, DefineFunction2
        std::size_t after = next;
        Object* fn = makeFunction(p, op == op::DefineFunction2, next, after);
        pc = after;
        if (fn->script->name.isEmpty())
            push(Value(fn));
        else
            defineLocal(fn->script->name, Value(fn));
        break;
    }
    case op::InstanceOf: {
        const Value ctor = pop(), o = pop();
        pushBool(vm.instanceOf(o, ctor));
        break;
    }
    case op::Extends: {
        const Value super = pop(), sub = pop();
        Object* subObj = sub.asObject();
        if (!subObj || !super.isObject())
            break;
        Object* proto = vm.newObject();
        proto->proto = vm.getMember(super, QStringLiteral("prototype")).asObject();
        vm.define(proto, QStringLiteral("__constructor__"), super);
        vm.define(proto, QStringLiteral("constructor"), super);
        vm.setMember(sub, QStringLiteral("prototype"), Value(proto));
        break;
    }
    case op::CastOp: {
        const Value o = pop(), ctor = pop();
        push(vm.instanceOf(o, ctor) ? o : Value::null());
        break;
    }
    case op::ImplementsOp: {
        const Value ctor = pop();
        std::vector<Value> ifaces = popArgs();
        const Value proto = vm.getMember(ctor, QStringLiteral("prototype"));
        if (Object* po = proto.asObject()) {
            for (const Value& i : ifaces) {
                if (Object* io = i.asObject(); io && po->interfaces.size() < 256)
                    po->interfaces.push_back(io);
            }
        }
        break;
    }
    case op::Try: {
        std::size_t newPc = next;
        const Flow fl = doTry(p, next, newPc, ret);
        pc = newPc;
        flow = fl;
        break;
    }
    case op::Throw:
        throw ScriptThrow{pop()};
    default:
        // Unknown or player-specific records (e.g. 0x2D, 0x89) are skipped by their length.
        break;
    }
}

// ---------------------------------------------------------------------------------------------

void VM::gotoFrame(MovieClip* clip, std::int64_t frame) {
    if (!clip || !m_player)
        return;
    checkBudget(64); // a seek rebuilds display lists
    m_player->gotoFrame(*clip, frame);
    if (takePending)
        takePending();
}

namespace {

Frame topFrame(VM& vm, std::span<const std::uint8_t> code, MovieClip* target,
               std::vector<Value>* regs) {
    Frame f;
    f.code = code;
    f.version = target ? target->origin().version() : vm.version();
    f.scope = {vm.global()};
    if (target)
        f.scope.push_back(vm.clipObject(target));
    f.timelineScope = 1;
    f.thisv = target ? Value(vm.clipObject(target)) : Value();
    f.targetObj = f.origTargetObj = target ? vm.clipObject(target) : nullptr;
    f.regs = regs;
    f.stackBase = vm.stack.size();
    return f;
}

} // namespace

namespace {
// Code runs under its own movie's version rules; put back the caller's whatever happens.
struct VersionScope {
    VM& vm;
    std::uint8_t saved;
    VersionScope(VM& v, std::uint8_t version) : vm(v), saved(v.exchangeVersion(version)) {}
    ~VersionScope() { vm.exchangeVersion(saved); }
    VersionScope(const VersionScope&) = delete;
    VersionScope& operator=(const VersionScope&) = delete;
};
} // namespace

void VM::runNested(std::span<const std::uint8_t> code, MovieClip* target) {
    VersionScope version(*this, target ? target->origin().version() : m_version);
    enter();
    std::vector<Value> regs(4);
    Frame f = topFrame(*this, code, target, &regs);
    Interpreter in(*this, f);
    in.runAll();
    stack.resize(f.stackBase);
    stackNames.resize(f.stackBase);
    leave();
}

void VM::report(const ScriptAbort& a) {
    if (a.reason.isEmpty())
        return; // the frame's budget was already reported
    if (a.corrupt) {
        warn(a.reason);
    } else if (hooks.notice) {
        hooks.notice(a.reason);
    } else {
        std::fprintf(stderr, "%s\n", qPrintable(a.reason));
    }
}

// Runs host-started script work: uncaught throws are reported as the debug player does, and
// the stack and call depth are put back whatever happened.
template <typename F> void VM::guarded(F&& work) {
    const std::size_t base = stack.size();
    const std::size_t depth = m_depth;
    try {
        work();
    } catch (ScriptThrow& t) {
        QString text;
        try {
            text = toString(t.value);
        } catch (...) {
            text = QStringLiteral("[object]");
        }
        warn(QStringLiteral("Uncaught exception, %1").arg(text));
    } catch (ScriptAbort& a) {
        report(a);
    }
    stack.resize(base);
    stackNames.resize(base);
    m_depth = depth;
}

void VM::runBlock(std::span<const std::uint8_t> code, MovieClip* target) {
    VersionScope version(*this, target ? target->origin().version() : m_version);
    guarded([&] {
        Frame f = topFrame(*this, code, target, &m_globalRegisters);
        Interpreter in(*this, f);
        in.runAll();
    });
}

Value VM::callFromHost(const Value& fn, const Value& self, std::span<const Value> args) {
    Value r;
    guarded([&] { r = call(fn, self, args); });
    return r;
}

Value VM::call(const Value& fnV, const Value& self, std::span<const Value> args, Object* home) {
    Object* fn = fnV.asObject();
    if (!fn || fn->kind != Object::Kind::Function)
        return {};
    if (fn->native) {
        enter();
        Value r = fn->native(*this, self, args);
        leave();
        return r;
    }
    if (!fn->script)
        return {};
    VersionScope version(*this, fn->script->version);
    enter();
    const ScriptFunction& sf = *fn->script;
    Frame f;
    f.code = sf.code;
    f.version = sf.version;
    f.scope = sf.scope;
    Object* act = m_heap.make(Object::Kind::Activation);
    f.activation = act;
    f.scope.push_back(act);
    f.timelineScope = f.scope.size(); // SetTarget inside a function changes only the target
    MovieClip* defTarget = sf.target ? sf.target->clip : nullptr;
    f.targetObj = f.origTargetObj = defTarget ? sf.target : nullptr;
    if (self.isObject())
        f.thisv = self;
    else if (!self.isNullish())
        f.thisv = Value(box(self));
    else
        f.thisv = sf.target ? Value(sf.target) : self;
    f.pool = sf.pool;
    f.callee = fn;
    f.stackBase = stack.size();
    f.ownRegs.resize(sf.isFunction2 ? std::max<std::size_t>(sf.registerCount, 1) : 4);
    f.regs = &f.ownRegs;

    Object* arguments = nullptr;
    auto makeArguments = [&] {
        if (!arguments) {
            arguments = newArray(std::vector<Value>(args.begin(), args.end()));
            define(arguments, QStringLiteral("callee"), Value(fn));
        }
        return arguments;
    };
    Object* superObj = nullptr;
    auto makeSuper = [&] {
        if (!superObj) {
            superObj = m_heap.make(Object::Kind::Super);
            Object* h = home;
            if (!h && self.isObject())
                h = self.object->proto;
            superObj->superProto = h ? h->proto : nullptr;
            superObj->superThis = self.asObject();
        }
        return superObj;
    };
    auto local = [&](const QString& name, const Value& v) { act->put(name, key(name), v); };
    if (sf.isFunction2) {
        std::size_t r = 1;
        auto preload = [&](std::uint16_t flag, const Value& v) {
            if ((sf.flags & flag) && r < f.ownRegs.size())
                f.ownRegs[r++] = v;
        };
        preload(PreloadThis, f.thisv);
        if (sf.flags & PreloadArguments)
            preload(PreloadArguments, Value(makeArguments()));
        if (sf.flags & PreloadSuper)
            preload(PreloadSuper, Value(makeSuper()));
        preload(PreloadRoot, Value(clipObject(rootOf(defTarget))));
        if (sf.flags & PreloadParent)
            preload(PreloadParent, defTarget && defTarget->parent()
                                       ? Value(clipObject(defTarget->parent()))
                                       : Value());
        preload(PreloadGlobal, Value(m_global));
        if (!(sf.flags & (SuppressArguments | PreloadArguments)))
            local(QStringLiteral("arguments"), Value(makeArguments()));
        if (!(sf.flags & (SuppressSuper | PreloadSuper)))
            local(QStringLiteral("super"), Value(makeSuper()));
    } else {
        local(QStringLiteral("arguments"), Value(makeArguments()));
        local(QStringLiteral("super"), Value(makeSuper()));
    }
    for (std::size_t i = 0; i < sf.params.size(); ++i) {
        const Value v = i < args.size() ? args[i] : Value();
        const std::uint8_t reg = sf.paramRegisters[i];
        if (sf.isFunction2 && reg != 0) {
            if (reg < f.ownRegs.size())
                f.ownRegs[reg] = v;
        } else {
            local(sf.params[i], v);
        }
    }
    Interpreter in(*this, f);
    Value r;
    try {
        r = in.runAll();
    } catch (...) {
        stack.resize(std::max(f.stackBase, std::min(stack.size(), f.stackBase)));
        stackNames.resize(stack.size());
        leave();
        throw;
    }
    stack.resize(f.stackBase);
    stackNames.resize(f.stackBase);
    leave();
    return r;
}

} // namespace swf::avm1
