// String: the methods on UTF-16 code units, with string patterns (RegExp patterns arrive with
// the RegExp class).

#include "swf/avm2/replace.h"
#include "swf/avm2/vm.h"

#include <cmath>

namespace swf::avm2 {

namespace {

QString thisString(VM& vm, const Value& self) {
    if (self.isString())
        return self.s();
    if (self.isNullish())
        vm.throwTypeError(
            1009, QStringLiteral("Cannot access a property or method of a null object reference."));
    return vm.toString(self);
}

qsizetype clampIndex(VM& vm, const Value& v, qsizetype len, double dflt) {
    double d = v.isUndefined() ? dflt : vm.toNumber(v);
    if (std::isnan(d))
        d = 0;
    d = std::trunc(d);
    return qsizetype(std::clamp(d, 0.0, double(len)));
}

qsizetype relIndex(VM& vm, const Value& v, qsizetype len, double dflt) {
    double d = v.isUndefined() ? dflt : vm.toNumber(v);
    if (std::isnan(d))
        d = 0;
    d = std::trunc(d);
    if (d < 0)
        d += double(len);
    return qsizetype(std::clamp(d, 0.0, double(len)));
}

Value callString(VM& vm, const Value&, std::span<const Value> args) {
    return Value(args.empty() ? QString() : vm.toString(args[0]));
}

Value stringCharAt(VM& vm, const Value& self, std::span<const Value> args) {
    const QString s = thisString(vm, self);
    const double d = args.empty() ? 0 : std::trunc(vm.toNumber(args[0]));
    if (!(d >= 0 && d < double(s.size())))
        return Value(QString());
    return Value(QString(s[qsizetype(d)]));
}

Value stringCharCodeAt(VM& vm, const Value& self, std::span<const Value> args) {
    const QString s = thisString(vm, self);
    double d = args.empty() ? 0 : vm.toNumber(args[0]);
    if (std::isnan(d))
        d = 0;
    d = std::trunc(d);
    if (!(d >= 0 && d < double(s.size())))
        return Value::number(NAN);
    return Value(std::int32_t(s[qsizetype(d)].unicode()));
}

Value stringIndexOf(VM& vm, const Value& self, std::span<const Value> args) {
    const QString s = thisString(vm, self);
    const QString needle = vm.toString(arg(args, 0));
    const qsizetype from = clampIndex(vm, arg(args, 1), s.size(), 0);
    return Value(std::int32_t(s.indexOf(needle, from)));
}

Value stringLastIndexOf(VM& vm, const Value& self, std::span<const Value> args) {
    const QString s = thisString(vm, self);
    const QString needle = vm.toString(arg(args, 0));
    double d = args.size() > 1 ? vm.toNumber(args[1]) : INFINITY;
    if (std::isnan(d))
        d = INFINITY;
    const qsizetype from = qsizetype(std::clamp(std::trunc(d), 0.0, double(s.size())));
    return Value(std::int32_t(s.lastIndexOf(needle, from)));
}

Value stringSubstring(VM& vm, const Value& self, std::span<const Value> args) {
    const QString s = thisString(vm, self);
    qsizetype a = clampIndex(vm, arg(args, 0), s.size(), 0);
    qsizetype b = clampIndex(vm, arg(args, 1), s.size(), double(s.size()));
    if (a > b)
        std::swap(a, b);
    return Value(s.mid(a, b - a));
}

Value stringSubstr(VM& vm, const Value& self, std::span<const Value> args) {
    const QString s = thisString(vm, self);
    const qsizetype a = relIndex(vm, arg(args, 0), s.size(), 0);
    double len =
        args.size() > 1 && !args[1].isUndefined() ? vm.toNumber(args[1]) : double(s.size());
    if (std::isnan(len))
        len = 0;
    // A negative length counts back from the end of what follows the start, as Flash Player
    // does (Haxe's Base64 strips padding with substr(0, -1)).
    len = std::trunc(len);
    if (len < 0)
        len += double(s.size() - a);
    len = std::clamp(len, 0.0, double(s.size() - a));
    return Value(s.mid(a, qsizetype(len)));
}

Value stringSlice(VM& vm, const Value& self, std::span<const Value> args) {
    const QString s = thisString(vm, self);
    const qsizetype a = relIndex(vm, arg(args, 0), s.size(), 0);
    const qsizetype b = relIndex(vm, arg(args, 1), s.size(), double(s.size()));
    return Value(b > a ? s.mid(a, b - a) : QString());
}

Value stringToLowerCase(VM& vm, const Value& self, std::span<const Value>) {
    return Value(thisString(vm, self).toLower());
}
Value stringToUpperCase(VM& vm, const Value& self, std::span<const Value>) {
    return Value(thisString(vm, self).toUpper());
}

Value stringConcat(VM& vm, const Value& self, std::span<const Value> args) {
    QString s = thisString(vm, self);
    for (const Value& v : args)
        s += vm.toString(v);
    return Value(s);
}

Value stringSplit(VM& vm, const Value& self, std::span<const Value> args) {
    const QString s = thisString(vm, self);
    const Value d = arg(args, 0);
    double limitD = args.size() > 1 && !args[1].isUndefined() ? vm.toNumber(args[1]) : 4294967295.0;
    const std::size_t limit = std::size_t(std::clamp(limitD, 0.0, 4294967295.0));
    std::vector<Value> out;
    if (d.isUndefined()) {
        out.push_back(Value(s));
    } else if (Object* o = d.object(); o && o->kind == ObjectKind::RegExp && vm.regexpSplit) {
        return vm.regexpSplit(vm, s, d, limit);
    } else {
        const QString sep = vm.toString(d);
        if (sep.isEmpty()) {
            for (qsizetype i = 0; i < s.size() && out.size() < limit; ++i)
                out.push_back(Value(QString(s[i])));
        } else {
            qsizetype start = 0;
            for (;;) {
                if (out.size() >= limit)
                    break;
                const qsizetype i = s.indexOf(sep, start);
                if (i < 0) {
                    out.push_back(Value(s.mid(start)));
                    break;
                }
                out.push_back(Value(s.mid(start, i - start)));
                start = i + sep.size();
            }
        }
    }
    return Value(static_cast<Object*>(vm.newArray(std::move(out))));
}

Value stringReplace(VM& vm, const Value& self, std::span<const Value> args) {
    const QString s = thisString(vm, self);
    const Value pattern = arg(args, 0);
    const Value repl = arg(args, 1);
    if (Object* o = pattern.object(); o && o->kind == ObjectKind::RegExp && vm.regexpReplace)
        return vm.regexpReplace(vm, s, pattern, repl);
    const QString needle = vm.toString(pattern);
    const qsizetype at = s.indexOf(needle);
    if (at < 0)
        return Value(s);
    QString replacement;
    if (Object* f = repl.object(); f && f->kind == ObjectKind::Function) {
        const Value cbArgs[] = {Value(needle), Value(std::int32_t(at)), Value(s)};
        replacement = vm.toString(vm.call(repl, Value::null(), cbArgs));
    } else {
        replacement = expandReplacement(vm.toString(repl), s, at, needle, {}, vm);
    }
    return Value(s.left(at) + replacement + s.mid(at + needle.size()));
}

Value stringLocaleCompare(VM& vm, const Value& self, std::span<const Value> args) {
    const QString a = thisString(vm, self), b = vm.toString(arg(args, 0));
    return Value(std::int32_t(a < b ? -1 : (a > b ? 1 : 0)));
}

Value stringToString(VM& vm, const Value& self, std::span<const Value>) {
    if (!self.isString())
        vm.throwTypeError(
            1004, QStringLiteral(
                      "Method String.prototype.toString was invoked on an incompatible object."));
    return self;
}

Value stringFromCharCode(VM& vm, const Value&, std::span<const Value> args) {
    QString s;
    for (const Value& v : args)
        s += QChar(char16_t(vm.toUint32(v) & 0xFFFF));
    return Value(s);
}

Value stringMatch(VM& vm, const Value& self, std::span<const Value> args) {
    const QString s = thisString(vm, self);
    if (vm.regexpMatch)
        return vm.regexpMatch(vm, s, arg(args, 0), false);
    return Value::null();
}

Value stringSearch(VM& vm, const Value& self, std::span<const Value> args) {
    const QString s = thisString(vm, self);
    if (vm.regexpMatch)
        return vm.regexpMatch(vm, s, arg(args, 0), true);
    return Value(std::int32_t(s.indexOf(vm.toString(arg(args, 0)))));
}

Value stringLength(VM& vm, const Value& self, std::span<const Value>) {
    return Value(std::int32_t(thisString(vm, self).size()));
}

} // namespace

QString expandReplacement(const QString& repl, const QString& subject, qsizetype at,
                          const QString& matched, const std::vector<Value>& groups, VM& vm) {
    QString out;
    for (qsizetype i = 0; i < repl.size(); ++i) {
        const QChar c = repl[i];
        if (c != u'$' || i + 1 >= repl.size()) {
            out += c;
            continue;
        }
        const QChar n = repl[i + 1];
        if (n == u'$') {
            out += u'$';
            ++i;
        } else if (n == u'&') {
            out += matched;
            ++i;
        } else if (n == u'`') {
            out += subject.left(at);
            ++i;
        } else if (n == u'\'') {
            out += subject.mid(at + matched.size());
            ++i;
        } else if (n.isDigit()) {
            int num = n.digitValue();
            qsizetype used = 1;
            if (i + 2 < repl.size() && repl[i + 2].isDigit()) {
                const int two = num * 10 + repl[i + 2].digitValue();
                if (two >= 1 && std::size_t(two) <= groups.size()) {
                    num = two;
                    used = 2;
                }
            }
            if (num >= 1 && std::size_t(num) <= groups.size()) {
                const Value& g = groups[std::size_t(num - 1)];
                if (!g.isUndefined())
                    out += vm.toString(g);
                i += used;
            } else {
                out += c;
            }
        } else {
            out += c;
        }
    }
    return out;
}

void installString(VM& vm) {
    Class* c =
        vm.defineNativeClass(QString(), QStringLiteral("String"), vm.objectClass, nullptr, true);
    vm.stringClass = c;
    c->nativeCall = callString;
    const std::pair<const char*, NativeFn> methods[] = {
        {"charAt", stringCharAt},
        {"charCodeAt", stringCharCodeAt},
        {"indexOf", stringIndexOf},
        {"lastIndexOf", stringLastIndexOf},
        {"substring", stringSubstring},
        {"substr", stringSubstr},
        {"slice", stringSlice},
        {"toLowerCase", stringToLowerCase},
        {"toUpperCase", stringToUpperCase},
        {"toLocaleLowerCase", stringToLowerCase},
        {"toLocaleUpperCase", stringToUpperCase},
        {"concat", stringConcat},
        {"split", stringSplit},
        {"replace", stringReplace},
        {"localeCompare", stringLocaleCompare},
        {"toString", stringToString},
        {"valueOf", stringToString},
        {"match", stringMatch},
        {"search", stringSearch},
    };
    for (auto [name, fn] : methods)
        vm.addMethod(c, QString::fromLatin1(name), fn);
    vm.addGetter(c, QStringLiteral("length"), stringLength);
    vm.addStatic(c, QStringLiteral("fromCharCode"), stringFromCharCode);
}

} // namespace swf::avm2
