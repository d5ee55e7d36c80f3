// RegExp on PCRE2 (16-bit code units, like AS3 strings), with the String methods that take
// one. ECMAScript behaviour is asked of PCRE2 through options: `$` matches only at the end
// without the m flag, a back reference to a group that did not take part matches empty, and
// \u hhhh escapes are read as in ECMAScript. A match limit stops runaway backtracking: such a
// match fails (returns null) instead of hanging the player.

#define PCRE2_CODE_UNIT_WIDTH 16
#include "swf/avm2/replace.h"
#include "swf/avm2/vm.h"

#include <pcre2.h>

namespace swf::avm2 {

namespace {

constexpr std::uint32_t kMatchLimit = 5'000'000;

class RegExp : public Object {
public:
    explicit RegExp(Class* c) : Object(c, ObjectKind::RegExp) {}
    ~RegExp() override {
        if (code)
            pcre2_code_free(code);
    }
    QString source;
    bool global = false, ignoreCase = false, multiline = false, dotall = false, extended = false;
    double lastIndex = 0;
    pcre2_code* code = nullptr;
    std::uint32_t groups = 0;
    std::vector<QString> groupNames; // by group number, empty when unnamed
};

RegExp* thisRegExp(VM& vm, const Value& self) {
    Object* o = self.object();
    if (!o || o->kind != ObjectKind::RegExp)
        vm.throwTypeError(1004,
                          QStringLiteral("Method RegExp was invoked on an incompatible object."));
    return static_cast<RegExp*>(o);
}

Object* allocRegExp(VM& vm, Class* c) {
    return vm.make<RegExp>(c);
}

void compile(VM& vm, RegExp* re, const QString& source, const QString& flags) {
    re->source = source;
    for (QChar f : flags) {
        switch (f.unicode()) {
        case u'g':
            re->global = true;
            break;
        case u'i':
            re->ignoreCase = true;
            break;
        case u'm':
            re->multiline = true;
            break;
        case u's':
            re->dotall = true;
            break;
        case u'x':
            re->extended = true;
            break;
        default:
            break;
        }
    }
    std::uint32_t options = PCRE2_UTF | PCRE2_NO_UTF_CHECK | PCRE2_DOLLAR_ENDONLY |
                            PCRE2_MATCH_UNSET_BACKREF | PCRE2_ALT_BSUX;
    if (re->ignoreCase)
        options |= PCRE2_CASELESS;
    if (re->multiline)
        options |= PCRE2_MULTILINE;
    if (re->dotall)
        options |= PCRE2_DOTALL;
    if (re->extended)
        options |= PCRE2_EXTENDED;
    int err = 0;
    PCRE2_SIZE offset = 0;
    re->code = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(source.utf16()),
                             PCRE2_SIZE(source.size()), options, &err, &offset, nullptr);
    if (!re->code) {
        // Lone surrogates break UTF mode; retry without it.
        options &= ~std::uint32_t(PCRE2_UTF | PCRE2_NO_UTF_CHECK);
        re->code = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(source.utf16()),
                                 PCRE2_SIZE(source.size()), options, &err, &offset, nullptr);
    }
    if (!re->code) {
        // Flash makes an invalid pattern one that never matches; keep that.
        return;
    }
    pcre2_pattern_info(re->code, PCRE2_INFO_CAPTURECOUNT, &re->groups);
    re->groupNames.assign(re->groups + 1, QString());
    std::uint32_t count = 0, entrySize = 0;
    PCRE2_SPTR table = nullptr;
    pcre2_pattern_info(re->code, PCRE2_INFO_NAMECOUNT, &count);
    pcre2_pattern_info(re->code, PCRE2_INFO_NAMEENTRYSIZE, &entrySize);
    pcre2_pattern_info(re->code, PCRE2_INFO_NAMETABLE, &table);
    for (std::uint32_t i = 0; i < count; ++i) {
        const PCRE2_SPTR e = table + i * entrySize;
        const std::uint32_t n = e[0];
        const auto* name = reinterpret_cast<const char16_t*>(e + 1);
        if (n < re->groupNames.size())
            re->groupNames[n] = QString::fromUtf16(name);
    }
    (void)vm;
}

struct Match {
    qsizetype start = -1, end = -1;
    std::vector<std::pair<qsizetype, qsizetype>> groups; // -1 when unset
};

bool run(RegExp* re, const QString& s, qsizetype from, Match& m) {
    if (!re->code || from > s.size())
        return false;
    pcre2_match_data* md = pcre2_match_data_create_from_pattern(re->code, nullptr);
    pcre2_match_context* ctx = pcre2_match_context_create(nullptr);
    pcre2_set_match_limit(ctx, kMatchLimit);
    pcre2_set_depth_limit(ctx, 10000);
    const int rc = pcre2_match(re->code, reinterpret_cast<PCRE2_SPTR>(s.utf16()),
                               PCRE2_SIZE(s.size()), PCRE2_SIZE(from), 0, md, ctx);
    bool ok = rc > 0;
    if (ok) {
        const PCRE2_SIZE* ov = pcre2_get_ovector_pointer(md);
        m.start = qsizetype(ov[0]);
        m.end = qsizetype(ov[1]);
        m.groups.clear();
        for (std::uint32_t g = 1; g <= re->groups; ++g) {
            if (int(g) < rc && ov[2 * g] != PCRE2_UNSET)
                m.groups.emplace_back(qsizetype(ov[2 * g]), qsizetype(ov[2 * g + 1]));
            else
                m.groups.emplace_back(-1, -1);
        }
    }
    pcre2_match_context_free(ctx);
    pcre2_match_data_free(md);
    return ok;
}

std::vector<Value> groupValues(const QString& s, const Match& m) {
    std::vector<Value> out;
    for (auto [a, b] : m.groups)
        out.push_back(a < 0 ? Value() : Value(s.mid(a, b - a)));
    return out;
}

Value matchArray(VM& vm, RegExp* re, const QString& s, const Match& m) {
    std::vector<Value> items{Value(s.mid(m.start, m.end - m.start))};
    for (const Value& g : groupValues(s, m))
        items.push_back(g);
    Array* a = vm.newArray(std::move(items));
    a->setDynamic(QStringLiteral("index"), Value(std::int32_t(m.start)));
    a->setDynamic(QStringLiteral("input"), Value(s));
    for (std::size_t g = 1; g < re->groupNames.size(); ++g)
        if (!re->groupNames[g].isEmpty())
            a->setDynamic(re->groupNames[g], a->items[g]);
    return Value(static_cast<Object*>(a));
}

Value exec(VM& vm, RegExp* re, const QString& s) {
    const qsizetype from = re->global ? qsizetype(std::max(0.0, re->lastIndex)) : 0;
    Match m;
    if (!run(re, s, from, m)) {
        if (re->global)
            re->lastIndex = 0;
        return Value::null();
    }
    if (re->global)
        re->lastIndex = double(m.end == m.start && m.end == from ? m.end : m.end);
    return matchArray(vm, re, s, m);
}

Value regexpCtor(VM& vm, const Value& self, std::span<const Value> args) {
    RegExp* re = thisRegExp(vm, self);
    const Value src = arg(args, 0);
    if (Object* o = src.object(); o && o->kind == ObjectKind::RegExp) {
        if (args.size() > 1 && !args[1].isUndefined())
            vm.throwTypeError(
                1100,
                QStringLiteral("Cannot supply flags when constructing one RegExp from another."));
        auto* other = static_cast<RegExp*>(o);
        QString flags;
        if (other->global)
            flags += u'g';
        if (other->ignoreCase)
            flags += u'i';
        if (other->multiline)
            flags += u'm';
        if (other->dotall)
            flags += u's';
        if (other->extended)
            flags += u'x';
        compile(vm, re, other->source, flags);
        return Value();
    }
    compile(vm, re, src.isUndefined() ? QString() : vm.toString(src),
            args.size() > 1 && !args[1].isUndefined() ? vm.toString(args[1]) : QString());
    return Value();
}

Value callRegExp(VM& vm, const Value& self, std::span<const Value> args) {
    if (args.size() == 1 && args[0].object() && args[0].o->kind == ObjectKind::RegExp)
        return args[0];
    return vm.construct(self, args);
}

Value regexpExec(VM& vm, const Value& self, std::span<const Value> args) {
    return exec(vm, thisRegExp(vm, self), vm.toString(arg(args, 0)));
}
Value regexpTest(VM& vm, const Value& self, std::span<const Value> args) {
    return Value(!exec(vm, thisRegExp(vm, self), vm.toString(arg(args, 0))).isNull());
}
Value regexpToString(VM& vm, const Value& self, std::span<const Value>) {
    RegExp* re = thisRegExp(vm, self);
    QString s = u'/' + re->source + u'/';
    if (re->global)
        s += u'g';
    if (re->ignoreCase)
        s += u'i';
    if (re->multiline)
        s += u'm';
    if (re->dotall)
        s += u's';
    if (re->extended)
        s += u'x';
    return Value(s);
}
Value getSource(VM& vm, const Value& s, std::span<const Value>) {
    return Value(thisRegExp(vm, s)->source);
}
Value getGlobal(VM& vm, const Value& s, std::span<const Value>) {
    return Value(thisRegExp(vm, s)->global);
}
Value getIgnoreCase(VM& vm, const Value& s, std::span<const Value>) {
    return Value(thisRegExp(vm, s)->ignoreCase);
}
Value getMultiline(VM& vm, const Value& s, std::span<const Value>) {
    return Value(thisRegExp(vm, s)->multiline);
}
Value getDotall(VM& vm, const Value& s, std::span<const Value>) {
    return Value(thisRegExp(vm, s)->dotall);
}
Value getExtended(VM& vm, const Value& s, std::span<const Value>) {
    return Value(thisRegExp(vm, s)->extended);
}
Value getLastIndex(VM& vm, const Value& s, std::span<const Value>) {
    return Value::number(thisRegExp(vm, s)->lastIndex);
}
Value setLastIndex(VM& vm, const Value& s, std::span<const Value> a) {
    thisRegExp(vm, s)->lastIndex = std::trunc(vm.toNumber(arg(a, 0)));
    return Value();
}

// --- String methods taking a RegExp ---

Value split(VM& vm, const QString& s, const Value& rv, std::size_t limit) {
    RegExp* re = thisRegExp(vm, rv);
    std::vector<Value> out;
    if (limit == 0)
        return Value(static_cast<Object*>(vm.newArray()));
    if (s.isEmpty()) {
        Match m;
        if (!run(re, s, 0, m))
            out.push_back(Value(s));
        return Value(static_cast<Object*>(vm.newArray(std::move(out))));
    }
    qsizetype p = 0, q = 0;
    while (q < s.size()) {
        Match m;
        if (!run(re, s, q, m) || m.start >= s.size())
            break;
        if (m.end == m.start && m.start == p) {
            q = m.start + 1;
            if (m.start >= s.size())
                break;
            if (m.end == p && p < s.size() && m.start == q - 1 && q - 1 == p) {
                // An empty match at the start of the remaining text splits nothing here.
                Match m2;
                if (!run(re, s, q, m2))
                    break;
                if (m2.end == m2.start && m2.start < s.size()) {
                    out.push_back(Value(s.mid(p, m2.start - p)));
                    if (out.size() >= limit)
                        return Value(static_cast<Object*>(vm.newArray(std::move(out))));
                    p = m2.start;
                    q = p + 1;
                    continue;
                }
                m = m2;
            } else {
                continue;
            }
        }
        out.push_back(Value(s.mid(p, m.start - p)));
        if (out.size() >= limit)
            return Value(static_cast<Object*>(vm.newArray(std::move(out))));
        for (const Value& g : groupValues(s, m)) {
            out.push_back(g);
            if (out.size() >= limit)
                return Value(static_cast<Object*>(vm.newArray(std::move(out))));
        }
        p = m.end;
        q = m.end == m.start ? m.end + 1 : m.end;
    }
    out.push_back(Value(s.mid(p)));
    if (out.size() > limit)
        out.resize(limit);
    return Value(static_cast<Object*>(vm.newArray(std::move(out))));
}

QString expand(VM& vm, const QString& repl, const QString& s, const Match& m) {
    return expandReplacement(repl, s, m.start, s.mid(m.start, m.end - m.start), groupValues(s, m),
                             vm);
}

Value replace(VM& vm, const QString& s, const Value& rv, const Value& repl) {
    RegExp* re = thisRegExp(vm, rv);
    QString out;
    qsizetype pos = 0, from = 0;
    const bool fn = repl.object() && repl.o->kind == ObjectKind::Function;
    const QString replText = fn ? QString() : vm.toString(repl);
    while (from <= s.size()) {
        Match m;
        if (!run(re, s, from, m))
            break;
        out += s.mid(pos, m.start - pos);
        if (fn) {
            std::vector<Value> args{Value(s.mid(m.start, m.end - m.start))};
            for (const Value& g : groupValues(s, m))
                args.push_back(g.isUndefined() ? Value(QString()) : g);
            args.push_back(Value(std::int32_t(m.start)));
            args.push_back(Value(s));
            out += vm.toString(vm.call(repl, Value::null(), args));
        } else {
            out += expand(vm, replText, s, m);
        }
        pos = m.end;
        from = m.end == m.start ? m.end + 1 : m.end;
        if (m.end == m.start && m.start < s.size()) {
            out += s[m.start];
            pos = m.start + 1;
        }
        if (!re->global)
            break;
    }
    if (pos < s.size())
        out += s.mid(pos);
    if (re->global)
        re->lastIndex = 0;
    return Value(out);
}

Value match(VM& vm, const QString& s, const Value& pattern, bool search) {
    Value rv = pattern;
    if (!pattern.object() || pattern.o->kind != ObjectKind::RegExp) {
        const Value a[] = {Value(pattern.isUndefined() ? QString() : vm.toString(pattern))};
        rv = vm.construct(Value(static_cast<Object*>(vm.regexpClass)), a);
    }
    RegExp* re = thisRegExp(vm, rv);
    if (search) {
        Match m;
        return Value(std::int32_t(run(re, s, 0, m) ? m.start : -1));
    }
    if (!re->global) {
        Match m;
        return run(re, s, 0, m) ? matchArray(vm, re, s, m) : Value::null();
    }
    std::vector<Value> all;
    qsizetype from = 0;
    while (from <= s.size()) {
        Match m;
        if (!run(re, s, from, m))
            break;
        all.push_back(Value(s.mid(m.start, m.end - m.start)));
        from = m.end == m.start ? m.end + 1 : m.end;
    }
    re->lastIndex = 0;
    if (all.empty())
        return Value::null();
    return Value(static_cast<Object*>(vm.newArray(std::move(all))));
}

} // namespace

void installRegExp(VM& vm) {
    Class* c =
        vm.defineNativeClass(QString(), QStringLiteral("RegExp"), vm.objectClass, allocRegExp);
    vm.regexpClass = c;
    c->iinit.native = regexpCtor;
    c->nativeCall = callRegExp;
    vm.addMethod(c, QStringLiteral("exec"), regexpExec);
    vm.addMethod(c, QStringLiteral("test"), regexpTest);
    vm.addMethod(c, QStringLiteral("toString"), regexpToString);
    vm.addGetter(c, QStringLiteral("source"), getSource);
    vm.addGetter(c, QStringLiteral("global"), getGlobal);
    vm.addGetter(c, QStringLiteral("ignoreCase"), getIgnoreCase);
    vm.addGetter(c, QStringLiteral("multiline"), getMultiline);
    vm.addGetter(c, QStringLiteral("dotall"), getDotall);
    vm.addGetter(c, QStringLiteral("extended"), getExtended);
    vm.addGetter(c, QStringLiteral("lastIndex"), getLastIndex, setLastIndex);
    vm.regexpSplit = split;
    vm.regexpReplace = replace;
    vm.regexpMatch = match;
}

} // namespace swf::avm2
