#include "swf/avm2/vm.h"

#include "swf/avm2/dictionary.h"
#include "swf/avm2/proxy.h"
#include "swf/avm2/qname.h"
#include "swf/avm2/xml.h"

#include <QStringList>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <limits>
#include <unordered_set>

namespace swf::avm2 {

namespace {

const QString kAs3Uri = QStringLiteral("http://adobe.com/AS3/2006/builtin");

// Namespace kinds that compare as one visibility category.
char nsCategory(NsKind k) {
    switch (k) {
    case NsKind::Namespace:
    case NsKind::Package:
    case NsKind::Explicit:
        return 'p';
    case NsKind::PackageInternal:
        return 'i';
    case NsKind::Protected:
        return 't';
    case NsKind::StaticProtected:
        return 's';
    case NsKind::Private:
        return 'v';
    }
    return 'p';
}

} // namespace

Value arg(std::span<const Value> args, std::size_t i) {
    return i < args.size() ? args[i] : Value();
}

bool parseIndex(const QString& s, std::uint32_t& out) {
    const qsizetype n = s.size();
    if (n == 0 || n > 10 || (n > 1 && s[0] == u'0'))
        return false;
    std::uint64_t v = 0;
    for (QChar c : s) {
        if (c < u'0' || c > u'9')
            return false;
        v = v * 10 + std::uint64_t(c.unicode() - u'0');
    }
    if (v >= 0xFFFFFFFFull)
        return false;
    out = std::uint32_t(v);
    return true;
}

void Object::traceChildren(std::vector<Object*>& out) {
    if (cls)
        out.push_back(cls);
    if (proto)
        out.push_back(proto);
    for (const Value& v : slotv)
        if (v.tag == Value::Tag::Object)
            out.push_back(v.o);
    for (const DynProp& p : dyn)
        if (p.value.tag == Value::Tag::Object)
            out.push_back(p.value.o);
}

static void traceScope(const ScopeChain& s, std::vector<Object*>& out) {
    if (!s)
        return;
    for (const ScopeEntry& e : *s)
        if (e.object.tag == Value::Tag::Object)
            out.push_back(e.object.o);
}

static void traceTraits(const Traits& t, std::vector<Object*>& out) {
    for (const auto& list : t.byName)
        for (const auto& e : list) {
            traceScope(e.binding.scope, out);
            if (e.binding.declaringClass)
                out.push_back(e.binding.declaringClass);
        }
    for (const auto& s : t.slotv) {
        if (s.type)
            out.push_back(s.type);
        if (s.initial.tag == Value::Tag::Object)
            out.push_back(s.initial.o);
    }
}

void Class::traceChildren(std::vector<Object*>& out) {
    Object::traceChildren(out);
    if (base)
        out.push_back(base);
    for (Class* i : interfaces)
        out.push_back(i);
    if (prototype)
        out.push_back(prototype);
    if (vectorOf)
        out.push_back(vectorOf);
    if (vectorAny)
        out.push_back(vectorAny);
    for (Class* c : vectorCache)
        out.push_back(c);
    traceTraits(instanceTraits, out);
    traceTraits(staticTraits, out);
    traceScope(instanceScope, out);
}

void Function::traceChildren(std::vector<Object*>& out) {
    Object::traceChildren(out);
    traceScope(scope, out);
    if (boundThis.tag == Value::Tag::Object)
        out.push_back(boundThis.o);
    if (declaringClass)
        out.push_back(declaringClass);
}

void Array::traceChildren(std::vector<Object*>& out) {
    Object::traceChildren(out);
    for (const Value& v : items)
        if (v.tag == Value::Tag::Object)
            out.push_back(v.o);
}

bool Array::getOwn(VM& vm, const QString& name, Value& out) {
    std::uint32_t i;
    if (name == QLatin1String("length")) {
        out = Value::fromUint(std::uint32_t(items.size()));
        return true;
    }
    if (isVector && name == QLatin1String("fixed")) {
        out = Value(fixed);
        return true;
    }
    if (!parseIndex(name, i)) {
        if (isVector && !name.isEmpty() && (name[0].isDigit() || name[0] == u'-'))
            vm.throwRangeError(
                1125,
                QStringLiteral("The index %1 is out of range %2.").arg(name).arg(items.size()));
        return false;
    }
    if (isVector && i >= items.size())
        vm.throwRangeError(
            1125, QStringLiteral("The index %1 is out of range %2.").arg(i).arg(items.size()));
    out = i < items.size() ? items[i] : Value();
    return true;
}

Value vectorDefault(VM& vm, Class* t) {
    if (t == vm.intClass || t == vm.uintClass)
        return Value(std::int32_t(0));
    if (t == vm.numberClass)
        return Value(std::int32_t(0));
    if (t == vm.booleanClass)
        return Value(false);
    return Value::null();
}

bool Array::setOwn(VM& vm, const QString& name, const Value& v) {
    std::uint32_t i;
    if (isVector) {
        if (name == QLatin1String("fixed")) {
            fixed = VM::toBoolean(v);
            return true;
        }
        if (name == QLatin1String("length")) {
            if (fixed)
                vm.throwRangeError(1126,
                                   QStringLiteral("Cannot change the length of a fixed Vector."));
            const std::uint32_t len = vm.toUint32(v);
            if (len > (1u << 26))
                vm.throwRangeError(
                    1125,
                    QStringLiteral("The index %1 is out of range %2.").arg(len).arg(items.size()));
            items.resize(len, vectorDefault(vm, elementType));
            return true;
        }
        if (!parseIndex(name, i))
            return false;
        // Converted first: a conversion may run script code that changes the length.
        const Value c = elementType ? vm.coerce(v, elementType) : v;
        if (i > items.size() || (i == items.size() && fixed))
            vm.throwRangeError(
                1125, QStringLiteral("The index %1 is out of range %2.").arg(i).arg(items.size()));
        if (i == items.size())
            items.push_back(c);
        else
            items[i] = c;
        return true;
    }
    if (name == QLatin1String("length")) {
        const double n = vm.toNumber(v);
        const std::uint32_t len = vm.toUint32(v);
        if (double(len) != n)
            vm.throwRangeError(1005, QStringLiteral("Array index is not a positive integer (%1).")
                                         .arg(VM::numberToString(n)));
        if (len > (1u << 26))
            vm.throwRangeError(
                1005, QStringLiteral("Array index is not a positive integer (%1).").arg(len));
        items.resize(len);
        return true;
    }
    if (!parseIndex(name, i))
        return false;
    if (i >= items.size()) {
        // Sparse writes far past the end stay dynamic properties rather than allocate.
        if (i > items.size() + (1u << 20))
            return false;
        items.resize(std::size_t(i) + 1);
    }
    items[i] = v;
    return true;
}

bool Array::hasOwn(VM&, const QString& name) {
    std::uint32_t i;
    return parseIndex(name, i) && i < items.size();
}

bool Array::deleteOwn(VM&, const QString& name) {
    std::uint32_t i;
    if (!parseIndex(name, i))
        return false;
    if (i < items.size())
        items[i] = Value();
    return true;
}

// ---------------------------------------------------------------------------------------------

VM::VM() {
    m_publicNs = internNs(NsKind::Package, QString());
    m_as3Ns = internNs(NsKind::Namespace, kAs3Uri);
    traceHook = [](const QString& line) {
        const QByteArray b = line.toUtf8();
        std::fprintf(stderr, "%s\n", b.constData());
    };
    clock = [] { return 0.0; };
    newDomain(nullptr); // the main movie's
    registerBuiltins();
}

VM::~VM() {
    closeSharedObjects(*this);
    for (Object* o : m_heap)
        delete o;
}

void VM::adopt(Object* o) {
    if (m_heap.size() >= limits.maxObjects)
        throw ScriptAbort{"the movie's scripts use more memory than allowed"};
    m_heap.push_back(o);
}

int VM::internNs(NsKind kind, const QString& uri, std::uint32_t privateId) {
    QString key;
    if (kind == NsKind::Private)
        key = QStringLiteral("v#") + QString::number(privateId);
    else
        key = QChar(nsCategory(kind)) + uri;
    auto it = m_nsIds.find(key);
    if (it != m_nsIds.end())
        return *it;
    const int id = int(m_nsIds.size());
    m_nsIds.insert(key, id);
    m_nsUris.insert(id, uri);
    return id;
}

Name VM::publicName(const QString& local) const {
    Name n;
    n.local = local;
    n.nss = {m_publicNs};
    n.hasPublic = true;
    return n;
}

// --- Garbage collection -----------------------------------------------------------------------

namespace {
// A deleted dynamic property leaves a hole so that a running for-in keeps its place; an object
// used as a map (set, delete, set...) would collect holes for ever. Holes go once they outnumber
// the properties; the caller makes sure no enumeration is under way.
void compactDynamic(Object& o) {
    const std::size_t holes = o.dyn.size() - std::size_t(o.dynIndex.size());
    if (holes < 16 || holes <= std::size_t(o.dynIndex.size()))
        return;
    std::erase_if(o.dyn, [](const Object::DynProp& p) { return !p.live; });
    for (std::size_t i = 0; i < o.dyn.size(); ++i)
        o.dynIndex[o.dyn[i].name] = int(i);
}
} // namespace

void VM::markFrom(std::vector<Object*>& stack) {
    std::vector<Object*> children;
    while (!stack.empty()) {
        Object* o = stack.back();
        stack.pop_back();
        if (!o || o->marked)
            continue;
        o->marked = true;
        children.clear();
        o->traceChildren(children);
        for (Object* c : children)
            if (c && !c->marked)
                stack.push_back(c);
    }
}

void VM::collectGarbage(const std::vector<Object*>& extraRoots) {
    std::vector<Object*> stack = extraRoots;
    stack.insert(stack.end(), hostRoots.begin(), hostRoots.end());
    stack.push_back(builtins);
    stack.push_back(domainMemory);
    // The VM's own handles on core classes: `void` is named nowhere else, and resolved types
    // (kept in the caches below) may return it on any later call.
    for (
        Class* c :
        {classClass,     objectClass,        functionClass,      arrayClass,   stringClass,
         numberClass,    intClass,           uintClass,          booleanClass, namespaceClass,
         errorClass,     vectorClassGeneric, voidClass,          qnameClass,   regexpClass,
         dateClass,      byteArrayClass,     dictionaryClass,    xmlClass,     xmlListClass,
         movieClipClass, spriteClass,        displayObjectClass, stageClass,   eventDispatcherClass,
         eventClass})
        stack.push_back(c);
    traceTraits(builtinTraits, stack);
    for (auto& env : envs) {
        for (Class* c : env->classes)
            stack.push_back(c);
        for (Class* c : env->typeCache)
            stack.push_back(c);
        for (auto& s : env->scripts) {
            stack.push_back(s->global);
            traceTraits(s->traits, stack);
        }
        for (auto& t : env->activationTraits)
            traceTraits(t, stack);
    }
    for (const Timer& t : timers) {
        if (t.fn.tag == Value::Tag::Object)
            stack.push_back(t.fn.o);
        for (const Value& a : t.args)
            if (a.tag == Value::Tag::Object)
                stack.push_back(a.o);
    }
    markFrom(stack);
    for (Object* o : m_heap) {
        if (!o->marked)
            continue;
        // A for-in under way holds positions in these tables: move entries only with no script
        // running.
        if (m_entryDepth == 0)
            compactDynamic(*o);
        if (o->kind != ObjectKind::Dictionary)
            continue;
        auto* d = static_cast<Dictionary*>(o);
        if (d->weakKeys)
            d->dropDeadKeys();
        if (m_entryDepth == 0)
            d->compact(*this);
    }
    std::size_t kept = 0;
    for (Object* o : m_heap) {
        if (o->marked) {
            o->marked = false;
            m_heap[kept++] = o;
        } else {
            delete o;
        }
    }
    m_heap.resize(kept);
}

// --- Limits -----------------------------------------------------------------------------------

namespace {
// The budget counts the thread's own processor time: a busy machine slows a script down, and a
// script that runs long only because other programs took the processor is not a hung script.
std::chrono::nanoseconds threadCpuTime() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return std::chrono::seconds(ts.tv_sec) + std::chrono::nanoseconds(ts.tv_nsec);
}
} // namespace

void VM::beginEntry() {
    if (m_entryDepth++ == 0)
        m_entryStart = threadCpuTime();
}
void VM::endEntry() {
    --m_entryDepth;
}

Value VM::runNative(NativeFn fn, const Value& thisv, std::span<const Value> args) {
    // The native stack is bounded as for a script method (runMethod); the call depth, which
    // counts script frames, is left alone, so callbacks through natives (forEach, sort) recurse
    // as deep as before.
    const char here = 0;
    // An error is made even past the limit: the limit may be why it is thrown.
    if (nativeStackExhausted(&here) && !makingError)
        throwError("Error", 1023, QStringLiteral("Stack overflow occurred."));
    struct DepthGuard {
        int& d;
        explicit DepthGuard(int& d) : d(d) { ++d; }
        ~DepthGuard() { --d; }
    } guard(nativeDepth);
    return fn(*this, thisv, args);
}

void VM::checkBudget() {
    if ((++m_budgetTick & 0xFFF) != 0 || m_entryDepth == 0)
        return;
    if (threadCpuTime() - m_entryStart > limits.timeBudget)
        throw ScriptAbort{"A script has executed for longer than the default timeout period of " +
                          std::to_string(limits.timeBudget.count() / 1000) + " seconds."};
}

// --- Errors -----------------------------------------------------------------------------------

void VM::throwError(const char* className, int id, const QString& message) {
    Value cls = lookupDefinition(QString::fromLatin1(className));
    // IllegalOperationError, MemoryError, EOFError... live in flash.errors.
    if (!cls.object())
        cls = lookupDefinition(QStringLiteral("flash.errors.") + QString::fromLatin1(className));
    Value err;
    const QString text = QStringLiteral("Error #%1: %2").arg(id).arg(message);
    if (cls.object()) {
        const Value args[] = {Value(text), Value(std::int32_t(id))};
        struct Making {
            bool& flag;
            bool saved;
            explicit Making(bool& f) : flag(f), saved(f) { flag = true; }
            ~Making() { flag = saved; }
        } making(makingError);
        err = construct(cls, args);
    } else {
        err = Value(text);
    }
    throw ScriptThrow{err};
}

QString VM::errorText(const Value& thrown) {
    try {
        if (thrown.object()) {
            if (classOf(thrown) && classOf(thrown)->isSubclassOf(errorClass))
                return toString(callProperty(thrown, publicName(QStringLiteral("toString")), {}));
        }
        return toString(thrown);
    } catch (...) {
        return QStringLiteral("(error)");
    }
}

// --- Conversions ------------------------------------------------------------------------------

QString VM::numberToString(double d) {
    if (std::isnan(d))
        return QStringLiteral("NaN");
    if (d == 0)
        return QStringLiteral("0");
    if (std::isinf(d))
        return d < 0 ? QStringLiteral("-Infinity") : QStringLiteral("Infinity");
    if (d < 0)
        return QLatin1Char('-') + numberToString(-d);
    char buf[64];
    auto res = std::to_chars(buf, buf + sizeof buf, d, std::chars_format::scientific);
    *res.ptr = 0;
    // buf: d[.ddd]e[+-]xx
    std::string digits;
    const char* p = buf;
    for (; *p && *p != 'e'; ++p)
        if (*p != '.')
            digits.push_back(*p);
    const int exp = std::atoi(p + 1);
    const int k = int(digits.size());
    const int n = exp + 1;
    std::string out;
    if (k <= n && n <= 21) {
        out = digits + std::string(std::size_t(n - k), '0');
    } else if (0 < n && n <= 21) {
        out = digits.substr(0, std::size_t(n)) + "." + digits.substr(std::size_t(n));
    } else if (-6 < n && n <= 0) {
        out = "0." + std::string(std::size_t(-n), '0') + digits;
    } else {
        const int e = n - 1;
        out = digits.substr(0, 1);
        if (k > 1)
            out += "." + digits.substr(1);
        out += e < 0 ? "e-" : "e+";
        out += std::to_string(std::abs(e));
    }
    return QString::fromLatin1(out.data(), qsizetype(out.size()));
}

QString VM::toString(const Value& v) {
    switch (v.tag) {
    case Value::Tag::Undefined:
        return QStringLiteral("undefined");
    case Value::Tag::Null:
        return QStringLiteral("null");
    case Value::Tag::Bool:
        return v.b ? QStringLiteral("true") : QStringLiteral("false");
    case Value::Tag::Int:
        return QString::number(v.i);
    case Value::Tag::Number:
        return numberToString(v.d);
    case Value::Tag::String:
        return v.s();
    case Value::Tag::Object:
        return toString(toPrimitive(v, true));
    }
    return QString();
}

static double stringToNumber(const QString& str) {
    const QString s = str.trimmed();
    if (s.isEmpty())
        return 0;
    qsizetype i = 0;
    bool neg = false;
    if (s[0] == u'+' || s[0] == u'-') {
        neg = s[0] == u'-';
        i = 1;
    }
    const QStringView rest = QStringView(s).mid(i);
    if (rest == QLatin1String("Infinity"))
        return neg ? -INFINITY : INFINITY;
    if (rest.size() > 2 && rest[0] == u'0' && (rest[1] == u'x' || rest[1] == u'X')) {
        double v = 0;
        for (qsizetype j = 2; j < rest.size(); ++j) {
            const int d = QStringLiteral("0123456789abcdef").indexOf(rest[j].toLower());
            if (d < 0)
                return NAN;
            v = v * 16 + d;
        }
        return neg ? -v : v;
    }
    // Only a plain decimal literal, fully consumed.
    bool digits = false;
    qsizetype j = 0;
    while (j < rest.size() && rest[j].isDigit() && rest[j].unicode() < 128) {
        ++j;
        digits = true;
    }
    if (j < rest.size() && rest[j] == u'.') {
        ++j;
        while (j < rest.size() && rest[j] >= u'0' && rest[j] <= u'9') {
            ++j;
            digits = true;
        }
    }
    if (!digits)
        return NAN;
    if (j < rest.size() && (rest[j] == u'e' || rest[j] == u'E')) {
        ++j;
        if (j < rest.size() && (rest[j] == u'+' || rest[j] == u'-'))
            ++j;
        bool expDigits = false;
        while (j < rest.size() && rest[j] >= u'0' && rest[j] <= u'9') {
            ++j;
            expDigits = true;
        }
        if (!expDigits)
            return NAN;
    }
    if (j != rest.size())
        return NAN;
    const QByteArray latin = s.toLatin1();
    double out = 0;
    std::from_chars(latin.constData() + (latin[0] == '+' ? 1 : 0), latin.constData() + latin.size(),
                    out);
    if (latin.startsWith('.') || latin.startsWith("-.") || latin.startsWith("+."))
        out = std::strtod(latin.constData(), nullptr);
    return out;
}

double VM::toNumber(const Value& v) {
    switch (v.tag) {
    case Value::Tag::Undefined:
        return NAN;
    case Value::Tag::Null:
        return 0;
    case Value::Tag::Bool:
        return v.b ? 1 : 0;
    case Value::Tag::Int:
        return v.i;
    case Value::Tag::Number:
        return v.d;
    case Value::Tag::String:
        return stringToNumber(v.s());
    case Value::Tag::Object:
        return toNumber(toPrimitive(v, false));
    }
    return NAN;
}

static std::uint32_t doubleToUint32(double d) {
    if (!std::isfinite(d))
        return 0;
    d = std::trunc(d);
    d = std::fmod(d, 4294967296.0);
    if (d < 0)
        d += 4294967296.0;
    return std::uint32_t(d);
}

std::int32_t VM::toInt32(const Value& v) {
    if (v.tag == Value::Tag::Int)
        return v.i;
    return std::int32_t(doubleToUint32(toNumber(v)));
}

std::uint32_t VM::toUint32(const Value& v) {
    if (v.tag == Value::Tag::Int)
        return std::uint32_t(v.i);
    return doubleToUint32(toNumber(v));
}

bool VM::toBoolean(const Value& v) {
    switch (v.tag) {
    case Value::Tag::Undefined:
    case Value::Tag::Null:
        return false;
    case Value::Tag::Bool:
        return v.b;
    case Value::Tag::Int:
        return v.i != 0;
    case Value::Tag::Number:
        return !(v.d == 0 || std::isnan(v.d));
    case Value::Tag::String:
        return !v.s().isEmpty();
    case Value::Tag::Object:
        return true;
    }
    return false;
}

Value VM::toPrimitive(const Value& v, bool hintString) {
    Object* o = v.object();
    if (!o)
        return v;
    if (o->kind == ObjectKind::Date)
        hintString = true;
    if (o->kind == ObjectKind::Xml || o->kind == ObjectKind::XmlList)
        return Value(xmlToString(*this, o));
    const QString first = hintString ? QStringLiteral("toString") : QStringLiteral("valueOf");
    const QString second = hintString ? QStringLiteral("valueOf") : QStringLiteral("toString");
    for (const QString& m : {first, second}) {
        const Value f = getProperty(v, publicName(m));
        if (Object* fo = f.object(); fo && (fo->kind == ObjectKind::Function)) {
            Value r = call(f, v, {});
            if (!r.isObject())
                return r;
        }
    }
    throwTypeError(1050, QStringLiteral("Cannot convert %1 to primitive.").arg(describe(v)));
}

Class* VM::classOf(const Value& v) {
    switch (v.tag) {
    case Value::Tag::Bool:
        return booleanClass;
    case Value::Tag::Int:
        return intClass;
    case Value::Tag::Number:
        return numberClass;
    case Value::Tag::String:
        return stringClass;
    case Value::Tag::Object:
        return v.o->cls;
    default:
        return nullptr;
    }
}

QString VM::describe(const Value& v) {
    if (v.isString())
        return QLatin1Char('"') + v.s() + QLatin1Char('"');
    if (Object* o = v.object()) {
        if (o->kind == ObjectKind::Class)
            return static_cast<Class*>(o)->qualifiedName();
        if (o->cls)
            return o->cls->qualifiedName() + QStringLiteral("@") +
                   QString::number(quintptr(o) & 0xFFFFFFF, 16);
    }
    return toString(v);
}

QString VM::typeOf(const Value& v) {
    switch (v.tag) {
    case Value::Tag::Undefined:
        return QStringLiteral("undefined");
    case Value::Tag::Null:
        return QStringLiteral("object");
    case Value::Tag::Bool:
        return QStringLiteral("boolean");
    case Value::Tag::Int:
    case Value::Tag::Number:
        return QStringLiteral("number");
    case Value::Tag::String:
        return QStringLiteral("string");
    case Value::Tag::Object:
        if (v.o->kind == ObjectKind::Function)
            return QStringLiteral("function");
        if (v.o->cls && (v.o->cls == xmlClass || v.o->cls == xmlListClass))
            return QStringLiteral("xml");
        return QStringLiteral("object");
    }
    return QString();
}

bool VM::isType(const Value& v, Class* type) {
    if (!type)
        return true;
    if (v.isNullish())
        return false;
    if (type == objectClass)
        return true;
    if (v.isNumeric()) {
        const double d = v.toDoubleFast();
        if (type == numberClass)
            return true;
        if (type == intClass)
            return v.tag == Value::Tag::Int;
        if (type == uintClass)
            return d >= 0 && d <= 4294967295.0 && std::trunc(d) == d;
        return false;
    }
    Class* c = classOf(v);
    return c && c->isSubclassOf(type);
}

Value VM::coerce(const Value& v, Class* type) {
    if (!type)
        return v;
    if (type == intClass)
        return v.tag == Value::Tag::Int ? v : Value(toInt32(v));
    if (type == numberClass)
        return v.isNumeric() ? v : Value::number(toNumber(v));
    if (type == uintClass)
        return Value::fromUint(toUint32(v));
    if (type == booleanClass)
        return Value(toBoolean(v));
    if (type == stringClass)
        return v.isNullish() ? Value::null() : (v.isString() ? v : Value(toString(v)));
    if (type == objectClass)
        return v.isUndefined() ? Value::null() : v;
    if (type == voidClass)
        return Value();
    if (v.isNullish())
        return Value::null();
    if (isType(v, type))
        return v;
    throwTypeError(1034, QStringLiteral("Type Coercion failed: cannot convert %1 to %2.")
                             .arg(describe(v), type->qualifiedName().replace(QStringLiteral("::"),
                                                                             QStringLiteral("."))));
}

bool VM::strictEquals(const Value& a, const Value& b) {
    if (a.isNumeric() && b.isNumeric()) {
        if (a.tag == Value::Tag::Int && b.tag == Value::Tag::Int)
            return a.i == b.i;
        return a.toDoubleFast() == b.toDoubleFast();
    }
    if (a.tag != b.tag)
        return false;
    switch (a.tag) {
    case Value::Tag::Undefined:
    case Value::Tag::Null:
        return true;
    case Value::Tag::Bool:
        return a.b == b.b;
    case Value::Tag::String:
        return a.s() == b.s();
    case Value::Tag::Object: {
        if (a.o == b.o)
            return true;
        if (a.o->kind == ObjectKind::Function && b.o->kind == ObjectKind::Function) {
            auto* fa = static_cast<Function*>(a.o);
            auto* fb = static_cast<Function*>(b.o);
            return fa->bound && fb->bound && fa->method == fb->method &&
                   strictEquals(fa->boundThis, fb->boundThis);
        }
        if (a.o->kind == ObjectKind::Namespace && b.o->kind == ObjectKind::Namespace)
            return toString(a) == toString(b);
        if (a.o->kind == ObjectKind::QName && b.o->kind == ObjectKind::QName) {
            const auto* qa = static_cast<const QNameObject*>(a.o);
            const auto* qb = static_cast<const QNameObject*>(b.o);
            return qa->anyNs == qb->anyNs && qa->uri == qb->uri && qa->local == qb->local;
        }
        return false;
    }
    default:
        return false;
    }
}

bool VM::looseEquals(const Value& a, const Value& b) {
    if (a.isNumeric() && b.isNumeric())
        return a.toDoubleFast() == b.toDoubleFast();
    if (a.tag == b.tag)
        return strictEquals(a, b);
    if (a.isNullish() && b.isNullish())
        return true;
    if (a.isNullish() || b.isNullish())
        return false;
    if (a.isNumeric() && b.isString())
        return a.toDoubleFast() == toNumber(b);
    if (a.isString() && b.isNumeric())
        return toNumber(a) == b.toDoubleFast();
    if (a.tag == Value::Tag::Bool)
        return looseEquals(Value::number(a.b ? 1 : 0), b);
    if (b.tag == Value::Tag::Bool)
        return looseEquals(a, Value::number(b.b ? 1 : 0));
    if (a.isObject() && !b.isObject())
        return looseEquals(toPrimitive(a, false), b);
    if (b.isObject() && !a.isObject())
        return looseEquals(a, toPrimitive(b, false));
    return false;
}

int VM::lessThan(const Value& a, const Value& b) {
    if (a.tag == Value::Tag::Int && b.tag == Value::Tag::Int)
        return a.i < b.i;
    const Value pa = toPrimitive(a, false), pb = toPrimitive(b, false);
    if (pa.isString() && pb.isString())
        return pa.s() < pb.s();
    const double x = toNumber(pa), y = toNumber(pb);
    if (std::isnan(x) || std::isnan(y))
        return -1;
    return x < y;
}

// --- Property access --------------------------------------------------------------------------

Binding* VM::findBindingIn(Traits* t, const Name& name) {
    if (!t || name.anyName)
        return nullptr;
    auto it = t->byName.find(name.local);
    if (it == t->byName.end())
        return nullptr;
    if (name.anyNs)
        return it->empty() ? nullptr : &it->front().binding;
    for (int ns : name.nss)
        for (auto& e : *it)
            if (e.ns == ns)
                return &e.binding;
    return nullptr;
}

Binding* VM::findBinding(Object* o, const Name& name) {
    return findBindingIn(o->traits, name);
}

Object* VM::protoOf(const Value& v) {
    switch (v.tag) {
    case Value::Tag::Bool:
        return booleanClass->prototype;
    case Value::Tag::Int:
    case Value::Tag::Number:
        return numberClass->prototype;
    case Value::Tag::String:
        return stringClass->prototype;
    case Value::Tag::Object:
        return v.o->proto;
    default:
        return nullptr;
    }
}

Function* VM::makeMethodClosure(const Value& receiver, const Binding& b) {
    auto* f = make<Function>(functionClass);
    f->proto = functionClass->prototype;
    f->method = b.method;
    f->scope = b.scope;
    f->boundThis = receiver;
    f->bound = true;
    f->declaringClass = b.declaringClass;
    return f;
}

Value VM::readBinding(const Value& receiver, Object* o, Binding* b, const Name& name) {
    switch (b->kind) {
    case Binding::Kind::Slot:
    case Binding::Kind::Const:
        return o->slotv[b->slot];
    case Binding::Kind::Method:
        return makeMethodClosure(receiver, *b);
    case Binding::Kind::Accessor:
        if (!b->getter.valid())
            throwReferenceError(1077,
                                QStringLiteral("Illegal read of write-only property %1 on %2.")
                                    .arg(name.local, describe(receiver)));
        return runMethod(b->getter, receiver, {}, b->scope, b->declaringClass);
    }
    return Value();
}

void VM::writeBinding(const Value& receiver, Object* o, Binding* b, const Name& name,
                      const Value& v, bool init) {
    switch (b->kind) {
    case Binding::Kind::Const:
        if (!init)
            throwReferenceError(1074,
                                QStringLiteral("Illegal write to read-only property %1 on %2.")
                                    .arg(name.local, describe(receiver)));
        [[fallthrough]];
    case Binding::Kind::Slot:
        setSlot(Value(o), b->slot + 1, v);
        return;
    case Binding::Kind::Method:
        throwReferenceError(1037, QStringLiteral("Cannot assign to a method %1 on %2.")
                                      .arg(name.local, describe(receiver)));
    case Binding::Kind::Accessor: {
        if (!b->setter.valid())
            throwReferenceError(1074,
                                QStringLiteral("Illegal write to read-only property %1 on %2.")
                                    .arg(name.local, describe(receiver)));
        const Value args[] = {v};
        runMethod(b->setter, receiver, args, b->scope, b->declaringClass);
        return;
    }
    }
}

static QString nameForNative(VM& vm, const Name& n) {
    (void)vm;
    return n.local;
}

Value VM::getProperty(const Value& obj, const Name& name) {
    Binding* b = nullptr;
    if (Object* o = obj.object())
        b = findBinding(o, name);
    else if (!obj.isNullish())
        if (Class* c = classOf(obj))
            b = findBindingIn(&c->instanceTraits, name);
    return getPropertyWith(obj, b, name);
}

Value VM::getPropertyWith(const Value& obj, Binding* b, const Name& name) {
    if (obj.isNullish()) {
        if (obj.isNull())
            throwTypeError(
                1009,
                QStringLiteral("Cannot access a property or method of a null object reference."));
        throwTypeError(1010, QStringLiteral("A term is undefined and has no properties."));
    }
    Object* o = obj.object();
    if (o) {
        if (b)
            return readBinding(obj, o, b, name);
        if (o->kind == ObjectKind::Xml || o->kind == ObjectKind::XmlList)
            return xmlGet(*this, o, name);
        if (Value out; proxyGetQualified(*this, o, name, out))
            return out;
        if (name.hasPublic || name.anyNs) {
            Value out;
            if (o->getOwn(*this, nameForNative(*this, name), out))
                return out;
            if (const Value* d = o->getDynamic(name.local))
                return *d;
        }
    } else if (obj.isString() && name.hasPublic) {
        if (name.local == QLatin1String("length"))
            return Value(std::int32_t(obj.s().size()));
        std::uint32_t i;
        if (parseIndex(name.local, i))
            return i < std::uint32_t(obj.s().size()) ? Value(QString(obj.s()[qsizetype(i)]))
                                                     : Value();
    }
    // Declared traits of the value's class (primitives: String, Number...), then prototypes.
    if (!o && b)
        return readBinding(obj, nullptr, b, name);
    if (name.hasPublic || name.anyNs) {
        for (Object* p = o ? o->proto : protoOf(obj); p; p = p->proto) {
            Value out;
            if (p->getOwn(*this, name.local, out))
                return out;
            if (const Value* d = p->getDynamic(name.local))
                return *d;
        }
    }
    if (o && !o->dynamicAllowed)
        throwReferenceError(
            1069, QStringLiteral("Property %1 not found on %2 and there is no default value.")
                      .arg(name.local, o->cls ? o->cls->qualifiedName().replace(
                                                    QStringLiteral("::"), QStringLiteral("."))
                                              : QString()));
    return Value();
}

void VM::setProperty(const Value& obj, const Name& name, const Value& v, bool init) {
    if (obj.isNullish()) {
        if (obj.isNull())
            throwTypeError(
                1009,
                QStringLiteral("Cannot access a property or method of a null object reference."));
        throwTypeError(1010, QStringLiteral("A term is undefined and has no properties."));
    }
    Object* o = obj.object();
    if (!o)
        throwReferenceError(1056, QStringLiteral("Cannot create property %1 on %2.")
                                      .arg(name.local, classOf(obj)->qualifiedName()));
    if (Binding* b = findBinding(o, name)) {
        writeBinding(obj, o, b, name, v, init);
        return;
    }
    if (o->kind == ObjectKind::Xml || o->kind == ObjectKind::XmlList) {
        xmlSet(*this, o, name, v);
        return;
    }
    if (proxySetQualified(*this, o, name, v))
        return;
    if (o->setOwn(*this, name.local, v))
        return;
    if (!o->dynamicAllowed || !(name.hasPublic || name.anyNs))
        throwReferenceError(
            1056, QStringLiteral("Cannot create property %1 on %2.")
                      .arg(name.local, o->cls ? o->cls->qualifiedName().replace(
                                                    QStringLiteral("::"), QStringLiteral("."))
                                              : QString()));
    o->setDynamic(name.local, v);
}

bool VM::deleteProperty(const Value& obj, const Name& name) {
    Object* o = obj.object();
    if (!o) {
        if (obj.isNullish())
            throwTypeError(
                1009,
                QStringLiteral("Cannot access a property or method of a null object reference."));
        return false;
    }
    if (findBinding(o, name))
        return false;
    if (o->kind == ObjectKind::Xml || o->kind == ObjectKind::XmlList)
        return xmlDelete(*this, o, name);
    if (bool r; proxyHasOrDelete(*this, o, name, true, r))
        return r;
    if (o->deleteOwn(*this, name.local))
        return true;
    o->deleteDynamic(name.local);
    return true;
}

bool VM::hasProperty(const Value& obj, const Name& name) {
    Object* o = obj.object();
    if (o) {
        if (findBinding(o, name))
            return true;
        if (o->kind == ObjectKind::Xml || o->kind == ObjectKind::XmlList)
            return xmlHas(*this, o, name);
        if (bool r; proxyHasOrDelete(*this, o, name, false, r))
            return r;
        if (o->hasOwn(*this, name.local) || o->getDynamic(name.local))
            return true;
    } else if (obj.isString()) {
        std::uint32_t i;
        if (name.local == QLatin1String("length") ||
            (parseIndex(name.local, i) && i < std::uint32_t(obj.s().size())))
            return true;
    }
    if (Class* c = classOf(obj); c && !o && findBindingIn(&c->instanceTraits, name))
        return true;
    for (Object* p = o ? o->proto : protoOf(obj); p; p = p->proto)
        if (p->hasOwn(*this, name.local) || p->getDynamic(name.local))
            return true;
    return false;
}

Value VM::callProperty(const Value& obj, const Name& name, std::span<const Value> args, bool lex) {
    Binding* b = nullptr;
    if (Object* o = obj.object())
        b = findBinding(o, name);
    else if (!obj.isNullish())
        if (Class* c = classOf(obj))
            b = findBindingIn(&c->instanceTraits, name);
    return callPropertyWith(obj, b, name, args, lex);
}

Value VM::callPropertyWith(const Value& obj, Binding* b, const Name& name,
                           std::span<const Value> args, bool lex) {
    if (Object* o = obj.object()) {
        if (b) {
            if (b->kind == Binding::Kind::Method)
                return runMethod(b->method, obj, args, b->scope, b->declaringClass);
            const Value f = readBinding(obj, o, b, name);
            return call(f, lex ? Value::null() : obj, args);
        }
        if (Value out; proxyCallProperty(*this, o, name, args, out))
            return out;
        // E4X: calls on XML values find methods on the prototype, never child elements; a
        // list of one passes the call to its item.
        if (o->kind == ObjectKind::Xml || o->kind == ObjectKind::XmlList) {
            for (Object* p = o->proto; p; p = p->proto)
                if (const Value* f = p->getDynamic(name.local))
                    return call(*f, obj, args);
            const Value item = o->kind == ObjectKind::XmlList
                                   ? xmlGet(*this, o, publicName(QStringLiteral("0")))
                                   : Value();
            if (o->kind == ObjectKind::XmlList && static_cast<XmlList*>(o)->items.size() == 1)
                return callProperty(item, name, args, lex);
            throwTypeError(1006, QStringLiteral("%1 is not a function.").arg(name.local));
        }
    } else if (!obj.isNullish()) {
        if (b && b->kind == Binding::Kind::Method)
            return runMethod(b->method, obj, args, b->scope, b->declaringClass);
    }
    const Value f = getPropertyWith(obj, b, name);
    if (!f.object() || (f.o->kind != ObjectKind::Function && f.o->kind != ObjectKind::Class))
        throwTypeError(1006, QStringLiteral("%1 is not a function.").arg(name.local));
    return call(f, lex ? Value::null() : obj, args);
}

Value VM::constructProperty(const Value& obj, const Name& name, std::span<const Value> args) {
    return construct(getProperty(obj, name), args);
}

Value VM::getSlot(const Value& obj, std::uint32_t slot) {
    Object* o = obj.object();
    if (!o)
        throwTypeError(
            1009, QStringLiteral("Cannot access a property or method of a null object reference."));
    if (slot == 0 || slot > o->slotv.size())
        throwError("VerifyError", 1026,
                   QStringLiteral("Slot %1 exceeds slotCount=%2 of %3.")
                       .arg(slot)
                       .arg(o->slotv.size())
                       .arg(describe(obj)));
    return o->slotv[slot - 1];
}

void VM::setSlot(const Value& obj, std::uint32_t slot, const Value& v) {
    Object* o = obj.object();
    if (!o)
        throwTypeError(
            1009, QStringLiteral("Cannot access a property or method of a null object reference."));
    if (slot == 0 || slot > o->slotv.size())
        throwError("VerifyError", 1026,
                   QStringLiteral("Slot %1 exceeds slotCount=%2 of %3.")
                       .arg(slot)
                       .arg(o->slotv.size())
                       .arg(describe(obj)));
    Traits* t = o->traits;
    if (t && slot - 1 < t->slotv.size()) {
        auto& info = t->slotv[slot - 1];
        if (!info.typeResolved) {
            info.typeResolved = true;
            info.type = info.env ? resolveType(info.env, info.typeName) : nullptr;
        }
        o->slotv[slot - 1] = info.type ? coerce(v, info.type) : v;
        return;
    }
    o->slotv[slot - 1] = v;
}

// --- Calls ------------------------------------------------------------------------------------

Value VM::call(const Value& fn, const Value& thisv, std::span<const Value> args) {
    Object* o = fn.object();
    if (!o)
        throwTypeError(1006, QStringLiteral("%1 is not a function.").arg(describe(fn)));
    if (o->kind == ObjectKind::Function) {
        auto* f = static_cast<Function*>(o);
        Value self = f->bound ? f->boundThis : thisv;
        if (!f->bound && self.isNullish() && f->method.env && f->scope && !f->scope->empty())
            self = f->scope->front().object;
        return runMethod(f->method, self, args, f->scope, f->declaringClass, f);
    }
    if (o->kind == ObjectKind::Class) {
        auto* c = static_cast<Class*>(o);
        if (c->nativeCall)
            return c->nativeCall(*this, fn, args);
        if (args.size() != 1)
            throwError(
                "ArgumentError", 1112,
                QStringLiteral("Argument count mismatch on class coercion.  Expected 1, got %1.")
                    .arg(args.size()));
        return coerce(args[0], c);
    }
    throwTypeError(1006, QStringLiteral("%1 is not a function.").arg(describe(fn)));
}

Object* VM::allocInstance(Class* c) {
    Class* nativeBase = c;
    while (nativeBase && !nativeBase->nativeAlloc)
        nativeBase = nativeBase->base;
    Object* o = nativeBase ? nativeBase->nativeAlloc(*this, c) : make<Object>(c);
    o->cls = c;
    o->traits = &c->instanceTraits;
    o->proto = c->prototype;
    o->dynamicAllowed = !c->isSealed;
    initSlots(o, c->instanceTraits);
    return o;
}

void VM::initSlots(Object* o, Traits& t) {
    o->slotv.resize(t.slotv.size());
    for (std::size_t i = 0; i < t.slotv.size(); ++i)
        o->slotv[i] = t.slotv[i].initial;
}

void VM::constructInstance(Class* c, Object* instance, std::span<const Value> args) {
    if (c->iinit.valid())
        runMethod(c->iinit, Value(instance), args, c->instanceScope, c);
    else if (c->base)
        constructInstance(c->base, instance, args);
}

Value VM::construct(const Value& ctor, std::span<const Value> args) {
    Object* o = ctor.object();
    if (o && o->kind == ObjectKind::Class) {
        auto* c = static_cast<Class*>(o);
        if (c->isInterface)
            throwTypeError(1007, QStringLiteral("Instantiation attempted on a non-constructor."));
        if (c == stringClass || c == numberClass || c == intClass || c == uintClass ||
            c == booleanClass)
            return c->nativeCall(*this, ctor, args);
        Object* inst = allocInstance(c);
        constructInstance(c, inst, args);
        return Value(inst);
    }
    if (o && o->kind == ObjectKind::Function && !static_cast<Function*>(o)->bound) {
        auto* f = static_cast<Function*>(o);
        Object* inst = newObject();
        const Value p = getProperty(ctor, publicName(QStringLiteral("prototype")));
        if (p.object())
            inst->proto = p.o;
        Value r = runMethod(f->method, Value(inst), args, f->scope, f->declaringClass, f);
        return r.isObject() ? r : Value(inst);
    }
    throwTypeError(1007, QStringLiteral("Instantiation attempted on a non-constructor."));
}

Function* VM::makeNative(const QString& name, NativeFn fn, int length) {
    auto* f = make<Function>(functionClass);
    f->proto = functionClass ? functionClass->prototype : nullptr;
    f->method.native = fn;
    f->name = name;
    f->slotv.clear();
    (void)length;
    return f;
}

Object* VM::newObject() {
    auto* o = make<Object>(objectClass);
    o->traits = objectClass ? &objectClass->instanceTraits : nullptr;
    o->proto = objectClass ? objectClass->prototype : nullptr;
    return o;
}

Array* VM::newArray(std::vector<Value> items) {
    auto* a = make<Array>(arrayClass);
    a->traits = &arrayClass->instanceTraits;
    a->proto = arrayClass->prototype;
    a->items = std::move(items);
    return a;
}

// --- Classes and definitions ------------------------------------------------------------------

Class* VM::defineNativeClass(const QString& package, const QString& name, Class* base,
                             Object* (*alloc)(VM&, Class*), bool sealed) {
    auto* c = make<Class>(classClass);
    c->name = name;
    c->package = package;
    c->nameNs = internNs(NsKind::Package, package);
    c->base = base;
    c->nativeAlloc = alloc;
    c->isSealed = sealed;
    c->traits = &c->staticTraits;
    c->proto = classClass ? classClass->prototype : nullptr;
    if (base) {
        c->instanceTraits = base->instanceTraits;
        c->interfaces = base->interfaces;
    }
    auto* p = make<Object>(objectClass);
    p->proto = base ? base->prototype : nullptr;
    p->traits = nullptr;
    c->prototype = p;
    p->setDynamic(QStringLiteral("constructor"), Value(static_cast<Object*>(c)));
    p->dyn.back().enumerable = false;
    defineGlobal(package, name, Value(static_cast<Object*>(c)));
    return c;
}

void VM::defineGlobal(const QString& package, const QString& name, const Value& v) {
    const int ns = internNs(NsKind::Package, package);
    Binding b;
    b.kind = Binding::Kind::Const;
    b.slot = std::uint32_t(builtins->slotv.size());
    builtins->slotv.push_back(v);
    builtinTraits.slotv.push_back({name, nullptr, true, 0, nullptr, Value()});
    builtinTraits.add(name, ns, b);
}

void VM::addMethod(Class* c, const QString& name, NativeFn fn, int length) {
    // On the prototype (public, replaceable) and as an AS3-namespace trait.
    Function* f = makeNative(name, fn, length);
    c->prototype->setDynamic(name, Value(static_cast<Object*>(f)));
    c->prototype->dyn.back().enumerable = false;
    Binding b;
    b.kind = Binding::Kind::Method;
    b.method.native = fn;
    b.declaringClass = c;
    c->instanceTraits.add(name, m_as3Ns, b);
}

void VM::addStatic(Class* c, const QString& name, NativeFn fn, int length) {
    Binding b;
    b.kind = Binding::Kind::Method;
    b.method.native = fn;
    b.declaringClass = c;
    (void)length;
    c->staticTraits.add(name, m_publicNs, b);
    c->staticTraits.add(name, m_as3Ns, b);
}

namespace {
Binding nativeAccessor(Class* c, NativeFn getter, NativeFn setter) {
    Binding b;
    b.kind = Binding::Kind::Accessor;
    b.getter.native = getter;
    b.setter.native = setter;
    b.declaringClass = c;
    return b;
}
} // namespace

void VM::addGetter(Class* c, const QString& name, NativeFn getter, NativeFn setter) {
    c->instanceTraits.add(name, m_publicNs, nativeAccessor(c, getter, setter));
}

void VM::addStaticGetter(Class* c, const QString& name, NativeFn getter, NativeFn setter) {
    c->staticTraits.add(name, m_publicNs, nativeAccessor(c, getter, setter));
}

namespace {
// A class slot of its own, public, holding `v`: a constant, or a variable scripts may assign.
void addClassSlot(Class* c, int ns, const QString& name, Binding::Kind kind, Class* type,
                  const Value& v) {
    Binding b;
    b.kind = kind;
    b.slot = std::uint32_t(c->slotv.size());
    c->slotv.push_back(v);
    c->staticTraits.slotv.push_back({name, type, true, 0, nullptr, v});
    c->staticTraits.add(name, ns, b);
}
} // namespace

void VM::addStaticValue(Class* c, const QString& name, const Value& v) {
    addClassSlot(c, m_publicNs, name, Binding::Kind::Const, nullptr, v);
}

void VM::addStaticVariable(Class* c, const QString& name, Class* type, const Value& v) {
    addClassSlot(c, m_publicNs, name, Binding::Kind::Slot, type, v);
}

Value VM::staticVariable(Class* c, const QString& name) {
    const Binding* d = c->staticTraits.find(name, m_publicNs);
    if (d && d->kind == Binding::Kind::Slot && d->slot < c->slotv.size())
        return c->slotv[d->slot];
    return Value();
}

Domain* VM::newDomain(Domain* parent) {
    m_domains.push_back(std::make_unique<Domain>());
    m_domains.back()->parent = parent;
    return m_domains.back().get();
}

Value VM::lookupDefinition(const QString& qualified, Domain* domain) {
    QString pkg, local = qualified;
    const qsizetype colons = qualified.lastIndexOf(QStringLiteral("::"));
    if (colons >= 0) {
        pkg = qualified.left(colons);
        local = qualified.mid(colons + 2);
    } else if (const qsizetype dot = qualified.lastIndexOf(u'.'); dot >= 0) {
        pkg = qualified.left(dot);
        local = qualified.mid(dot + 1);
    }
    Name n;
    n.local = local;
    n.nss = {internNs(NsKind::Package, pkg)};
    n.hasPublic = pkg.isEmpty();
    if (Binding* b = findBindingIn(&builtinTraits, n))
        return builtins->slotv[b->slot];
    if (ScriptEnv* s = findDefiningScript(n, nullptr, domain ? domain : runningDomain)) {
        ensureScript(s);
        return getProperty(Value(s->global), n);
    }
    return Value();
}

ScriptEnv* VM::findDefiningScript(const Name& name, int* nsOut, Domain* domain) {
    if (!domain)
        domain = mainDomain();
    // Outermost first: a parent's definition wins. Chains are short (each load adds one).
    Domain* chain[64];
    int depth = 0;
    for (Domain* d = domain; d && depth < 64; d = d->parent)
        chain[depth++] = d;
    while (depth-- > 0) {
        auto it = chain[depth]->definitions.find(name.local);
        if (it == chain[depth]->definitions.end())
            continue;
        for (auto& [ns, script] : *it) {
            if (name.anyNs || std::find(name.nss.begin(), name.nss.end(), ns) != name.nss.end()) {
                if (nsOut)
                    *nsOut = ns;
                return script;
            }
        }
    }
    return nullptr;
}

void VM::ensureScript(ScriptEnv* s) {
    if (s->state != ScriptEnv::State::NotRun)
        return;
    s->state = ScriptEnv::State::Running;
    const MethodInfo& mi = s->env->abc->methods[s->env->abc->scripts[s->index].init];
    (void)mi;
    MethodRef m{s->env, s->env->abc->scripts[s->index].init, nullptr};
    runMethod(m, Value(s->global), {}, std::make_shared<const std::vector<ScopeEntry>>(), nullptr);
    s->state = ScriptEnv::State::Done;
}

Value VM::constantValue(AbcEnv* env, const ConstantRef& c) {
    const Abc& a = *env->abc;
    switch (c.kind) {
    case 0x01:
        return Value(a.strings[c.index]);
    case 0x03:
        return Value(a.ints[c.index]);
    case 0x04:
        return Value::fromUint(a.uints[c.index]);
    case 0x06:
        return Value::number(a.doubles[c.index]);
    case 0x0A:
        return Value(false);
    case 0x0B:
        return Value(true);
    case 0x0C:
        return Value::null();
    case 0x00:
        return Value();
    default: {
        // A namespace constant.
        return Value(newNamespace(*this, Value(), a.namespaces[c.index].uri));
    }
    }
}

Class* VM::resolveTypeSlow(AbcEnv* env, std::uint32_t multiname) {
    if (env->typeCacheGeneration != definitionsGeneration) {
        std::fill(env->typeCache.begin(), env->typeCache.end(), nullptr);
        env->typeCacheGeneration = definitionsGeneration;
    }
    if (multiname == 0 || multiname >= env->abc->multinames.size())
        return nullptr;
    Class* c = resolveTypeUncached(env, multiname);
    if (c && multiname < env->typeCache.size())
        env->typeCache[multiname] = c;
    return c;
}

Class* VM::resolveTypeUncached(AbcEnv* env, std::uint32_t multiname) {
    const MultinameInfo& mi = env->abc->multinames[multiname];
    if (mi.kind == MnKind::TypeName) {
        Class* elem = mi.typeParams.empty() ? nullptr : resolveType(env, mi.typeParams[0]);
        return vectorClass(elem);
    }
    const Name& n = env->names[multiname];
    if (n.local == QLatin1String("void") && n.hasPublic)
        return voidClass;
    if (Binding* b = findBindingIn(&builtinTraits, n)) {
        Object* o = builtins->slotv[b->slot].object();
        return o && o->kind == ObjectKind::Class ? static_cast<Class*>(o) : nullptr;
    }
    if (ScriptEnv* s = findDefiningScript(n, nullptr, env->domain)) {
        ensureScript(s);
        if (Binding* b = findBinding(s->global, n)) {
            if (b->kind == Binding::Kind::Slot || b->kind == Binding::Kind::Const) {
                Object* o = s->global->slotv[b->slot].object();
                return o && o->kind == ObjectKind::Class ? static_cast<Class*>(o) : nullptr;
            }
        }
    }
    return nullptr;
}

Traits VM::buildTraits(AbcEnv* env, const std::vector<TraitInfo>& list, Class* declaring,
                       const ScopeChain& scope, std::size_t firstSlot, Traits* inherit) {
    Traits t;
    if (inherit)
        t = *inherit;
    t.slotv.resize(std::max(t.slotv.size(), firstSlot));
    const Abc& a = *env->abc;
    // Explicit slot ids first, then the zero ids fill upward.
    std::size_t next = firstSlot;
    for (const TraitInfo& tr : list)
        if ((tr.kind == TraitKind::Slot || tr.kind == TraitKind::Const ||
             tr.kind == TraitKind::Class || tr.kind == TraitKind::Function) &&
            tr.slotId)
            next = std::max<std::size_t>(next, firstSlot + tr.slotId);
    for (const TraitInfo& tr : list) {
        const Name& n = env->names[tr.name];
        const int ns = n.nss.empty() ? m_publicNs : n.nss[0];
        Binding b;
        b.declaringClass = declaring;
        b.scope = scope;
        switch (tr.kind) {
        case TraitKind::Slot:
        case TraitKind::Const:
        case TraitKind::Class:
        case TraitKind::Function: {
            const std::size_t idx = tr.slotId ? firstSlot + tr.slotId - 1 : next++;
            if (idx >= t.slotv.size())
                t.slotv.resize(idx + 1);
            b.kind = tr.kind == TraitKind::Const ? Binding::Kind::Const : Binding::Kind::Slot;
            b.slot = std::uint32_t(idx);
            Traits::SlotInfo& si = t.slotv[idx];
            si.name = n.local;
            si.env = env;
            si.typeName =
                tr.kind == TraitKind::Slot || tr.kind == TraitKind::Const ? tr.typeName : 0;
            si.typeResolved = si.typeName == 0;
            si.type = nullptr;
            if (tr.kind == TraitKind::Function) {
                auto* f = make<Function>(functionClass);
                f->proto = functionClass->prototype;
                f->method = MethodRef{env, tr.index, nullptr};
                f->scope = scope;
                si.initial = Value(static_cast<Object*>(f));
            } else if (tr.kind == TraitKind::Class) {
                si.initial = Value::null();
            } else if (tr.value.kind != 0 || tr.value.index != 0) {
                si.initial = constantValue(env, tr.value);
            } else {
                // The type's default: numbers 0 or NaN, Boolean false, * undefined, else null.
                si.initial = Value();
                if (tr.typeName) {
                    const Name& tn = env->names[tr.typeName];
                    const bool pub = tn.hasPublic;
                    if (pub &&
                        (tn.local == QLatin1String("int") || tn.local == QLatin1String("uint")))
                        si.initial = Value(std::int32_t(0));
                    else if (pub && tn.local == QLatin1String("Number"))
                        si.initial = Value::number(NAN);
                    else if (pub && tn.local == QLatin1String("Boolean"))
                        si.initial = Value(false);
                    else
                        si.initial = Value::null();
                }
            }
            t.add(n.local, ns, b);
            break;
        }
        case TraitKind::Method:
            b.kind = Binding::Kind::Method;
            b.method = MethodRef{env, tr.index, nullptr};
            b.dispId = tr.dispId;
            t.add(n.local, ns, b);
            break;
        case TraitKind::Getter:
            b.kind = Binding::Kind::Accessor;
            b.getter = MethodRef{env, tr.index, nullptr};
            if (Binding* old = t.find(n.local, ns); old && old->kind == Binding::Kind::Accessor)
                b.setter = old->setter; // keep an inherited setter
            t.add(n.local, ns, b);
            break;
        case TraitKind::Setter:
            b.kind = Binding::Kind::Accessor;
            b.setter = MethodRef{env, tr.index, nullptr};
            if (Binding* old = t.find(n.local, ns); old && old->kind == Binding::Kind::Accessor)
                b.getter = old->getter;
            t.add(n.local, ns, b);
            break;
        }
        (void)a;
    }
    return t;
}

Class* VM::newClass(AbcEnv* env, std::uint32_t index, Class* base, const ScopeChain& scope) {
    const Abc& a = *env->abc;
    const InstanceInfo& ii = a.instances[index];
    const ClassInfo& ci = a.classes[index];
    auto* c = make<Class>(classClass);
    const Name& n = env->names[ii.name];
    c->name = n.local;
    c->nameNs = n.nss.empty() ? m_publicNs : n.nss[0];
    c->package = m_nsUris.value(c->nameNs);
    c->base = base;
    c->isInterface = ii.flags & ClassInterface;
    c->isSealed = (ii.flags & ClassSealed) || (base && base->isSealed && false);
    c->isFinal = ii.flags & ClassFinal;
    c->traits = &c->staticTraits;
    c->proto = classClass->prototype;
    if (base) {
        c->interfaces = base->interfaces;
        c->instanceKind = base->instanceKind;
    }
    for (std::uint32_t im : ii.interfaces) {
        Class* ic = resolveType(env, im);
        if (!ic)
            continue;
        for (Class* x : {ic})
            if (std::find(c->interfaces.begin(), c->interfaces.end(), x) == c->interfaces.end())
                c->interfaces.push_back(x);
        for (Class* x : ic->interfaces)
            if (std::find(c->interfaces.begin(), c->interfaces.end(), x) == c->interfaces.end())
                c->interfaces.push_back(x);
    }
    if (ii.flags & ClassProtectedNs)
        c->protectedNs = env->nsIds[ii.protectedNs];
    auto chain =
        std::make_shared<std::vector<ScopeEntry>>(scope ? *scope : std::vector<ScopeEntry>{});
    chain->push_back({Value(static_cast<Object*>(c)), false});
    c->instanceScope = chain;
    // Instance traits: the base's, with its protected names also under ours.
    Traits inherited = base ? base->instanceTraits : Traits{};
    if (base && base->protectedNs >= 0 && c->protectedNs >= 0) {
        for (auto it = inherited.byName.begin(); it != inherited.byName.end(); ++it) {
            std::vector<Traits::Entry> extra;
            for (auto& e : *it)
                if (e.ns == base->protectedNs)
                    extra.push_back({c->protectedNs, e.binding});
            for (auto& e : extra) {
                bool present = false;
                for (auto& x : *it)
                    present |= x.ns == e.ns;
                if (!present)
                    it->push_back(e);
            }
        }
    }
    const std::size_t baseSlots = inherited.slotv.size();
    c->instanceTraits = buildTraits(env, ii.traits, c, c->instanceScope, baseSlots, &inherited);
    // An override declared in our protected namespace also replaces what the ancestors' code
    // reaches through theirs.
    if (c->protectedNs >= 0) {
        for (const TraitInfo& tr : ii.traits) {
            const Name& n = env->names[tr.name];
            if (n.nss.empty() || n.nss[0] != c->protectedNs)
                continue;
            Binding* mine = c->instanceTraits.find(n.local, c->protectedNs);
            for (Class* b = base; b && mine; b = b->base)
                if (b->protectedNs >= 0)
                    if (Binding* old = c->instanceTraits.find(n.local, b->protectedNs))
                        *old = *mine;
        }
    }
    // Interface methods answer to their interface names too. Bound again in every class, so
    // that an override reached through an interface name is this class's, not the copy the
    // base class made of its own implementation.
    std::vector<std::pair<QString, int>> declared;
    for (const TraitInfo& tr : ii.traits) {
        const Name& tn = env->names[tr.name];
        declared.push_back({tn.local, tn.nss.empty() ? m_publicNs : tn.nss[0]});
    }
    for (Class* ic : c->interfaces) {
        for (auto it = ic->instanceTraits.byName.begin(); it != ic->instanceTraits.byName.end();
             ++it) {
            for (auto& e : *it) {
                if (std::find(declared.begin(), declared.end(), std::pair(it.key(), e.ns)) !=
                    declared.end())
                    continue;
                if (Binding* pub = c->instanceTraits.find(it.key(), m_publicNs)) {
                    const Binding copy = *pub;
                    c->instanceTraits.add(it.key(), e.ns, copy);
                }
            }
        }
    }
    c->iinit = MethodRef{env, ii.iinit, nullptr};
    c->staticTraits = buildTraits(env, ci.traits, c, scope, 0, nullptr);
    initSlots(c, c->staticTraits);
    auto* p = make<Object>(objectClass);
    p->traits = nullptr;
    p->proto = base ? base->prototype : objectClass->prototype;
    c->prototype = p;
    p->setDynamic(QStringLiteral("constructor"), Value(static_cast<Object*>(c)));
    p->dyn.back().enumerable = false;
    if (index < env->classes.size())
        env->classes[index] = c;
    runMethod(MethodRef{env, ci.cinit, nullptr}, Value(static_cast<Object*>(c)), {}, scope, c);
    return c;
}

Class* VM::vectorClass(Class* elementType) {
    Class* g = vectorClassGeneric;
    if (!g)
        return nullptr;
    if (!elementType || elementType == objectClass)
        return g->vectorAny;
    if (Class* c = g->vectorCache.value(elementType))
        return c;
    Class* c = defineNativeClass(
        QStringLiteral("__AS3__.vec"),
        QStringLiteral("Vector.<%1>")
            .arg(elementType->qualifiedName().replace(QStringLiteral("::"), QStringLiteral("."))),
        g->vectorAny ? g->vectorAny->base : objectClass,
        g->vectorAny ? g->vectorAny->nativeAlloc : nullptr, true);
    if (g->vectorAny) {
        c->instanceTraits = g->vectorAny->instanceTraits;
        c->prototype->proto = g->vectorAny->prototype;
        c->nativeCall = g->vectorAny->nativeCall;
        c->iinit = g->vectorAny->iinit;
    }
    c->isVector = true;
    c->vectorOf = elementType;
    g->vectorCache.insert(elementType, c);
    return c;
}

// --- Loading ----------------------------------------------------------------------------------

bool VM::loadAbc(std::shared_ptr<const Abc> abc, bool runEntry, Domain* domain) {
    auto env = std::make_unique<AbcEnv>();
    env->abc = abc;
    env->domain = domain ? domain : mainDomain();
    const Abc& a = *abc;
    env->nsIds.resize(a.namespaces.size());
    for (std::size_t i = 1; i < a.namespaces.size(); ++i)
        env->nsIds[i] =
            internNs(a.namespaces[i].kind, a.namespaces[i].uri, a.namespaces[i].privateId);
    env->names.resize(a.multinames.size());
    for (std::size_t i = 1; i < a.multinames.size(); ++i) {
        const MultinameInfo& m = a.multinames[i];
        Name& n = env->names[i];
        n.attribute = m.isAttribute();
        n.local = a.strings[m.name];
        switch (m.kind) {
        case MnKind::QName:
        case MnKind::QNameA:
            n.anyName = m.name == 0;
            if (m.ns == 0)
                n.anyNs = true;
            else
                n.nss = {env->nsIds[m.ns]};
            break;
        case MnKind::Multiname:
        case MnKind::MultinameA:
        case MnKind::MultinameL:
        case MnKind::MultinameLA:
            n.anyName =
                m.name == 0 && (m.kind == MnKind::Multiname || m.kind == MnKind::MultinameA);
            for (std::uint32_t ns : a.nsSets[m.nsSet])
                n.nss.push_back(env->nsIds[ns]);
            break;
        case MnKind::TypeName: {
            const MultinameInfo& base = a.multinames[m.typeBase];
            n.local = a.strings[base.name];
            n.nss = {base.ns ? env->nsIds[base.ns] : m_publicNs};
            break;
        }
        default:
            break;
        }
        for (int ns : n.nss)
            if (ns == m_publicNs || ns == m_as3Ns)
                n.hasPublic = true;
        if (n.anyNs)
            n.hasPublic = true;
    }
    env->classes.assign(a.classes.size(), nullptr);
    env->nameCache.resize(a.multinames.size());
    env->typeCache.assign(a.multinames.size(), nullptr);
    env->typeCacheGeneration = definitionsGeneration;
    env->activationTraits.resize(a.bodies.size());
    env->activationBuilt.assign(a.bodies.size(), false);
    env->decoded.resize(a.bodies.size());
    AbcEnv* e = env.get();
    envs.push_back(std::move(env));
    for (std::uint32_t i = 0; i < a.scripts.size(); ++i) {
        auto s = std::make_unique<ScriptEnv>();
        s->env = e;
        s->index = i;
        auto* g = make<Object>(globalClass);
        g->proto = objectClass->prototype;
        s->global = g;
        auto chain = std::make_shared<const std::vector<ScopeEntry>>(
            std::vector<ScopeEntry>{{Value(g), false}});
        s->traits = buildTraits(e, a.scripts[i].traits, nullptr, chain, 0, nullptr);
        g->traits = &s->traits;
        initSlots(g, s->traits);
        for (const TraitInfo& t : a.scripts[i].traits) {
            const Name& n = e->names[t.name];
            e->domain->definitions[n.local].push_back(
                {n.nss.empty() ? m_publicNs : n.nss[0], s.get()});
        }
        ++definitionsGeneration;
        e->scripts.push_back(std::move(s));
    }
    if (runEntry && !e->scripts.empty())
        ensureScript(e->scripts.back().get());
    return true;
}

// --- Enumeration ------------------------------------------------------------------------------

std::uint32_t VM::enumNext(const Value& v, std::uint32_t cursor) {
    Object* o = v.object();
    if (!o)
        return 0;
    if (Value next; proxyEnumerate(*this, o, ProxyStep::NextIndex, cursor, next))
        return std::uint32_t(next.i);
    const std::uint32_t native = o->ownEnumCount();
    std::uint32_t i = cursor;
    for (;;) {
        ++i;
        if (i <= native) {
            if (o->ownEnumLive(i - 1))
                return i;
            continue;
        }
        const std::size_t d = i - native - 1;
        if (d >= o->dyn.size())
            return 0;
        if (o->dyn[d].live && o->dyn[d].enumerable)
            return i;
    }
}

Value VM::enumName(const Value& v, std::uint32_t cursor) {
    Object* o = v.object();
    if (!o || cursor == 0)
        return Value();
    if (Value name; proxyEnumerate(*this, o, ProxyStep::Name, cursor, name))
        return name;
    const std::uint32_t native = o->ownEnumCount();
    if (cursor <= native) {
        Value n = o->ownEnumName(cursor - 1);
        return o->kind == ObjectKind::Dictionary ? n : Value(toString(n));
    }
    const std::size_t d = cursor - native - 1;
    return d < o->dyn.size() ? Value(o->dyn[d].name) : Value();
}

Value VM::enumValue(const Value& v, std::uint32_t cursor) {
    Object* o = v.object();
    if (!o || cursor == 0)
        return Value();
    if (Value value; proxyEnumerate(*this, o, ProxyStep::Value, cursor, value))
        return value;
    const std::uint32_t native = o->ownEnumCount();
    if (cursor <= native)
        return o->ownEnumValue(*this, cursor - 1);
    const std::size_t d = cursor - native - 1;
    return d < o->dyn.size() ? o->dyn[d].value : Value();
}

// --- Timers -----------------------------------------------------------------------------------

void VM::runTimers() {
    const double now = clock();
    // Timers due now, in order of due time; ones added while running wait for the next call.
    std::vector<int> due;
    for (const Timer& t : timers)
        if (t.due <= now)
            due.push_back(t.id);
    std::sort(due.begin(), due.end(), [&](int a, int b) {
        auto fa =
            std::find_if(timers.begin(), timers.end(), [&](const Timer& t) { return t.id == a; });
        auto fb =
            std::find_if(timers.begin(), timers.end(), [&](const Timer& t) { return t.id == b; });
        return fa->due < fb->due || (fa->due == fb->due && a < b);
    });
    for (int id : due) {
        auto it =
            std::find_if(timers.begin(), timers.end(), [&](const Timer& t) { return t.id == id; });
        if (it == timers.end())
            continue;
        Timer t = *it;
        if (t.repeat)
            it->due = now + std::max(t.interval, 1.0);
        else
            timers.erase(it);
        call(t.fn, Value::null(), t.args);
    }
}

} // namespace swf::avm2
