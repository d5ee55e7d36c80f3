// Number, int, uint and Math.

#include "swf/avm2/vm.h"

#include <QRandomGenerator>
#include <charconv>
#include <cmath>

namespace swf::avm2 {

namespace {

double thisNumber(VM& vm, const Value& self) {
    if (self.isNumeric())
        return self.toDoubleFast();
    vm.throwTypeError(
        1004,
        QStringLiteral("Method Number.prototype.toString was invoked on an incompatible object."));
}

[[noreturn]] void digitsRange(VM& vm) {
    vm.throwRangeError(
        1002,
        QStringLiteral(
            "Number.toPrecision has a range of 1 to 21. Number.toFixed and Number.toExponential "
            "have a range of 0 to 20. Specified value is not within expected range."));
}

Value callNumber(VM& vm, const Value&, std::span<const Value> args) {
    return Value::number(args.empty() ? 0 : vm.toNumber(args[0]));
}
Value callInt(VM& vm, const Value&, std::span<const Value> args) {
    return Value(args.empty() ? 0 : vm.toInt32(args[0]));
}
Value callUint(VM& vm, const Value&, std::span<const Value> args) {
    return Value::fromUint(args.empty() ? 0 : vm.toUint32(args[0]));
}

QString radixString(double d, int radix) {
    if (std::isnan(d))
        return QStringLiteral("NaN");
    if (std::isinf(d))
        return d < 0 ? QStringLiteral("-Infinity") : QStringLiteral("Infinity");
    const bool neg = d < 0;
    d = std::fabs(d);
    double ip = std::floor(d);
    double fp = d - ip;
    QString digits;
    static const char* chars = "0123456789abcdefghijklmnopqrstuvwxyz";
    if (ip == 0)
        digits = QStringLiteral("0");
    int guard = 0;
    while (ip >= 1 && guard++ < 1100) {
        const double q = std::floor(ip / radix);
        const int r = int(ip - q * radix);
        digits.prepend(QLatin1Char(chars[std::clamp(r, 0, radix - 1)]));
        ip = q;
    }
    if (fp > 0) {
        digits += QLatin1Char('.');
        for (int i = 0; i < 52 && fp > 0; ++i) {
            fp *= radix;
            const int dgt = int(fp);
            digits += QLatin1Char(chars[dgt]);
            fp -= dgt;
        }
    }
    return neg ? QLatin1Char('-') + digits : digits;
}

Value numberToString(VM& vm, const Value& self, std::span<const Value> args) {
    const double d = thisNumber(vm, self);
    const int radix = args.empty() || args[0].isUndefined() ? 10 : vm.toInt32(args[0]);
    if (radix < 2 || radix > 36)
        vm.throwRangeError(
            1003,
            QStringLiteral("The radix argument must be between 2 and 36; got %1.").arg(radix));
    if (radix == 10)
        return Value(VM::numberToString(d));
    return Value(radixString(d, radix));
}

Value numberValueOf(VM& vm, const Value& self, std::span<const Value>) {
    return Value::number(thisNumber(vm, self));
}

// Rounds half away from zero on the exact decimal expansion, as the standard's "larger n".
std::string fixedDigits(double x, int f) {
    char buf[512];
    auto r = std::to_chars(buf, buf + sizeof buf, x, std::chars_format::fixed, f);
    std::string s(buf, r.ptr);
    // to_chars rounds ties to even; detect an exact tie and round it up instead.
    char exact[1200];
    auto e = std::to_chars(exact, exact + sizeof exact, x, std::chars_format::fixed, 1074);
    std::string ex(exact, e.ptr);
    const auto dot = ex.find('.');
    if (dot != std::string::npos && dot + 1 + std::size_t(f) < ex.size()) {
        const std::string tail = ex.substr(dot + 1 + std::size_t(f));
        const bool tie = tail[0] == '5' && tail.find_first_not_of('0', 1) == std::string::npos;
        if (tie) {
            auto up =
                std::to_chars(buf, buf + sizeof buf, x + (x < 0 ? -1 : 1) * std::pow(10.0, -f) / 4,
                              std::chars_format::fixed, f);
            s.assign(buf, up.ptr);
        }
    }
    return s;
}

Value numberToFixed(VM& vm, const Value& self, std::span<const Value> args) {
    const double x = thisNumber(vm, self);
    const double fd = args.empty() ? 0 : vm.toNumber(args[0]);
    if (!(fd >= 0 && fd <= 20))
        digitsRange(vm);
    const int f = int(fd);
    if (std::isnan(x))
        return Value(QStringLiteral("NaN"));
    if (std::fabs(x) >= 1e21)
        return Value(VM::numberToString(x));
    std::string s = fixedDigits(x, f);
    if (s.size() > 1 && s[0] == '-' && s.find_first_not_of("-0.") == std::string::npos)
        s.erase(0, 1); // -0.00 prints as 0.00
    return Value(QString::fromStdString(s));
}

// Digits and exponent of x rounded to p significant digits.
void precisionDigits(double x, int p, std::string& digits, int& exp) {
    char buf[512];
    auto r = std::to_chars(buf, buf + sizeof buf, x, std::chars_format::scientific, p - 1);
    std::string s(buf, r.ptr);
    const auto epos = s.find('e');
    exp = std::stoi(s.substr(epos + 1));
    digits.clear();
    for (std::size_t i = 0; i < epos; ++i)
        if (s[i] != '.')
            digits.push_back(s[i]);
}

Value numberToPrecision(VM& vm, const Value& self, std::span<const Value> args) {
    const double x = thisNumber(vm, self);
    if (args.empty() || args[0].isUndefined())
        return Value(VM::numberToString(x));
    const double pd = vm.toNumber(args[0]);
    if (!(pd >= 1 && pd <= 21))
        digitsRange(vm);
    const int p = int(pd);
    if (!std::isfinite(x))
        return Value(VM::numberToString(x));
    QString sign = x < 0 ? QStringLiteral("-") : QString();
    const double ax = std::fabs(x);
    std::string d;
    int e = 0;
    if (ax == 0) {
        d = std::string(std::size_t(p), '0');
    } else {
        precisionDigits(ax, p, d, e);
    }
    QString out;
    if (ax != 0 && (e < -6 || e >= p)) {
        out = QString::fromStdString(d.substr(0, 1));
        if (p > 1)
            out += QLatin1Char('.') + QString::fromStdString(d.substr(1));
        out += (e < 0 ? QStringLiteral("e-") : QStringLiteral("e+")) + QString::number(std::abs(e));
    } else if (e >= 0) {
        out = QString::fromStdString(d.substr(0, std::size_t(e + 1)));
        if (p > e + 1)
            out += QLatin1Char('.') + QString::fromStdString(d.substr(std::size_t(e + 1)));
    } else {
        out = QStringLiteral("0.") + QString(-e - 1, QLatin1Char('0')) + QString::fromStdString(d);
    }
    return Value(sign + out);
}

Value numberToExponential(VM& vm, const Value& self, std::span<const Value> args) {
    const double x = thisNumber(vm, self);
    const double fd = args.empty() ? 0 : vm.toNumber(args[0]);
    if (!(fd >= 0 && fd <= 20))
        digitsRange(vm);
    if (!std::isfinite(x))
        return Value(VM::numberToString(x));
    const int f = int(fd);
    std::string d;
    int e = 0;
    const double ax = std::fabs(x);
    if (ax == 0)
        d = std::string(std::size_t(f + 1), '0');
    else
        precisionDigits(ax, f + 1, d, e);
    QString out = QString::fromStdString(d.substr(0, 1));
    if (f > 0)
        out += QLatin1Char('.') + QString::fromStdString(d.substr(1));
    out += (e < 0 ? QStringLiteral("e-") : QStringLiteral("e+")) + QString::number(std::abs(e));
    return Value(x < 0 ? QLatin1Char('-') + out : out);
}

Value mathAbs(VM& vm, const Value&, std::span<const Value> a) {
    return Value::number(std::fabs(vm.toNumber(arg(a, 0))));
}
Value mathAcos(VM& vm, const Value&, std::span<const Value> a) {
    return Value::number(std::acos(vm.toNumber(arg(a, 0))));
}
Value mathAsin(VM& vm, const Value&, std::span<const Value> a) {
    return Value::number(std::asin(vm.toNumber(arg(a, 0))));
}
Value mathAtan(VM& vm, const Value&, std::span<const Value> a) {
    return Value::number(std::atan(vm.toNumber(arg(a, 0))));
}
Value mathAtan2(VM& vm, const Value&, std::span<const Value> a) {
    return Value::number(std::atan2(vm.toNumber(arg(a, 0)), vm.toNumber(arg(a, 1))));
}
Value mathCeil(VM& vm, const Value&, std::span<const Value> a) {
    return Value::number(std::ceil(vm.toNumber(arg(a, 0))));
}
Value mathCos(VM& vm, const Value&, std::span<const Value> a) {
    return Value::number(std::cos(vm.toNumber(arg(a, 0))));
}
Value mathExp(VM& vm, const Value&, std::span<const Value> a) {
    return Value::number(std::exp(vm.toNumber(arg(a, 0))));
}
Value mathFloor(VM& vm, const Value&, std::span<const Value> a) {
    return Value::number(std::floor(vm.toNumber(arg(a, 0))));
}
Value mathLog(VM& vm, const Value&, std::span<const Value> a) {
    return Value::number(std::log(vm.toNumber(arg(a, 0))));
}
Value mathPow(VM& vm, const Value&, std::span<const Value> a) {
    const double x = vm.toNumber(arg(a, 0)), y = vm.toNumber(arg(a, 1));
    if (std::isnan(y) || (std::fabs(x) == 1 && std::isinf(y)))
        return Value::number(NAN);
    return Value::number(std::pow(x, y));
}
Value mathRound(VM& vm, const Value&, std::span<const Value> a) {
    const double x = vm.toNumber(arg(a, 0));
    if (!std::isfinite(x))
        return Value::number(x);
    return Value::number(std::floor(x + 0.5));
}
Value mathSin(VM& vm, const Value&, std::span<const Value> a) {
    return Value::number(std::sin(vm.toNumber(arg(a, 0))));
}
Value mathSqrt(VM& vm, const Value&, std::span<const Value> a) {
    return Value::number(std::sqrt(vm.toNumber(arg(a, 0))));
}
Value mathTan(VM& vm, const Value&, std::span<const Value> a) {
    return Value::number(std::tan(vm.toNumber(arg(a, 0))));
}
Value mathRandom(VM&, const Value&, std::span<const Value>) {
    return Value::number(QRandomGenerator::global()->generateDouble());
}
Value mathMax(VM& vm, const Value&, std::span<const Value> a) {
    double r = -INFINITY;
    for (const Value& v : a) {
        const double d = vm.toNumber(v);
        if (std::isnan(d))
            r = NAN;
        else if (!std::isnan(r) && (d > r || (d == 0 && r == 0 && !std::signbit(d))))
            r = d;
    }
    return Value::number(r);
}
Value mathMin(VM& vm, const Value&, std::span<const Value> a) {
    double r = INFINITY;
    for (const Value& v : a) {
        const double d = vm.toNumber(v);
        if (std::isnan(d))
            r = NAN;
        else if (!std::isnan(r) && (d < r || (d == 0 && r == 0 && std::signbit(d))))
            r = d;
    }
    return Value::number(r);
}

void numberMethods(VM& vm, Class* c) {
    vm.addMethod(c, QStringLiteral("toString"), numberToString);
    vm.addMethod(c, QStringLiteral("valueOf"), numberValueOf);
    vm.addMethod(c, QStringLiteral("toFixed"), numberToFixed);
    vm.addMethod(c, QStringLiteral("toPrecision"), numberToPrecision);
    vm.addMethod(c, QStringLiteral("toExponential"), numberToExponential);
}

} // namespace

void installNumbers(VM& vm) {
    vm.numberClass =
        vm.defineNativeClass(QString(), QStringLiteral("Number"), vm.objectClass, nullptr, true);
    vm.numberClass->nativeCall = callNumber;
    numberMethods(vm, vm.numberClass);
    vm.addStaticValue(vm.numberClass, QStringLiteral("MAX_VALUE"),
                      Value::number(1.7976931348623157e308));
    vm.addStaticValue(vm.numberClass, QStringLiteral("MIN_VALUE"),
                      Value::number(4.9406564584124654e-324));
    vm.addStaticValue(vm.numberClass, QStringLiteral("NaN"), Value::number(NAN));
    vm.addStaticValue(vm.numberClass, QStringLiteral("NEGATIVE_INFINITY"),
                      Value::number(-INFINITY));
    vm.addStaticValue(vm.numberClass, QStringLiteral("POSITIVE_INFINITY"), Value::number(INFINITY));
    vm.intClass =
        vm.defineNativeClass(QString(), QStringLiteral("int"), vm.objectClass, nullptr, true);
    vm.intClass->nativeCall = callInt;
    vm.intClass->prototype->proto = vm.numberClass->prototype;
    numberMethods(vm, vm.intClass);
    vm.addStaticValue(vm.intClass, QStringLiteral("MAX_VALUE"), Value(std::int32_t(2147483647)));
    vm.addStaticValue(vm.intClass, QStringLiteral("MIN_VALUE"),
                      Value(std::int32_t(-2147483647 - 1)));
    vm.uintClass =
        vm.defineNativeClass(QString(), QStringLiteral("uint"), vm.objectClass, nullptr, true);
    vm.uintClass->nativeCall = callUint;
    vm.uintClass->prototype->proto = vm.numberClass->prototype;
    numberMethods(vm, vm.uintClass);
    vm.addStaticValue(vm.uintClass, QStringLiteral("MAX_VALUE"), Value::fromUint(0xFFFFFFFFu));
    vm.addStaticValue(vm.uintClass, QStringLiteral("MIN_VALUE"), Value(std::int32_t(0)));
}

void installMath(VM& vm) {
    Class* m =
        vm.defineNativeClass(QString(), QStringLiteral("Math"), vm.objectClass, nullptr, true);
    const std::pair<const char*, NativeFn> fns[] = {
        {"abs", mathAbs},     {"acos", mathAcos},     {"asin", mathAsin},   {"atan", mathAtan},
        {"atan2", mathAtan2}, {"ceil", mathCeil},     {"cos", mathCos},     {"exp", mathExp},
        {"floor", mathFloor}, {"log", mathLog},       {"max", mathMax},     {"min", mathMin},
        {"pow", mathPow},     {"random", mathRandom}, {"round", mathRound}, {"sin", mathSin},
        {"sqrt", mathSqrt},   {"tan", mathTan},
    };
    for (auto [name, fn] : fns)
        vm.addStatic(m, QString::fromLatin1(name), fn);
    const std::pair<const char*, double> consts[] = {
        {"E", M_E},         {"LN10", M_LN10}, {"LN2", M_LN2},         {"LOG10E", M_LOG10E},
        {"LOG2E", M_LOG2E}, {"PI", M_PI},     {"SQRT1_2", M_SQRT1_2}, {"SQRT2", M_SQRT2},
    };
    for (auto [name, v] : consts)
        vm.addStaticValue(m, QString::fromLatin1(name), Value::number(v));
}

} // namespace swf::avm2
