// Date: a time value in milliseconds since 1970 (UTC), NaN when invalid, read and written in
// UTC or in the system's local time by ECMAScript's calendar arithmetic.

#include "swf/avm2/vm.h"

#include <QDateTime>
#include <QRegularExpression>
#include <cmath>
#include <ctime>

namespace swf::avm2 {

namespace {

constexpr double kMsPerDay = 86400000.0;

class DateObject : public Object {
public:
    explicit DateObject(Class* c) : Object(c, ObjectKind::Date) {}
    double time = NAN;
};

double day(double t) {
    return std::floor(t / kMsPerDay);
}
double timeWithinDay(double t) {
    return t - day(t) * kMsPerDay;
}
double daysInYear(double y) {
    if (std::fmod(y, 4) != 0)
        return 365;
    if (std::fmod(y, 100) != 0)
        return 366;
    if (std::fmod(y, 400) != 0)
        return 365;
    return 366;
}
double dayFromYear(double y) {
    return 365 * (y - 1970) + std::floor((y - 1969) / 4) - std::floor((y - 1901) / 100) +
           std::floor((y - 1601) / 400);
}
double yearFromTime(double t) {
    double y = std::floor(t / (kMsPerDay * 365.2425)) + 1970;
    while (dayFromYear(y) * kMsPerDay > t)
        --y;
    while (dayFromYear(y + 1) * kMsPerDay <= t)
        ++y;
    return y;
}
bool leap(double t) {
    return daysInYear(yearFromTime(t)) == 366;
}
int monthFromTime(double t) {
    const double d = day(t) - dayFromYear(yearFromTime(t));
    const int l = leap(t) ? 1 : 0;
    static const int ends[] = {31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334, 365};
    for (int m = 0; m < 12; ++m)
        if (d < ends[m] + (m >= 1 ? l : 0))
            return m;
    return 11;
}
double dateFromTime(double t) {
    const double d = day(t) - dayFromYear(yearFromTime(t));
    const int l = leap(t) ? 1 : 0;
    static const int starts[] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
    const int m = monthFromTime(t);
    return d - starts[m] - (m >= 2 ? l : 0) + 1;
}
int weekDay(double t) {
    const int w = int(std::fmod(day(t) + 4, 7));
    return w < 0 ? w + 7 : w;
}
double makeTime(double h, double m, double s, double ms) {
    return h * 3600000 + m * 60000 + s * 1000 + ms;
}
double makeDay(double year, double month, double date) {
    if (!std::isfinite(year) || !std::isfinite(month) || !std::isfinite(date))
        return NAN;
    const double ym = year + std::floor(month / 12);
    const double mn = std::fmod(month, 12) < 0 ? std::fmod(month, 12) + 12 : std::fmod(month, 12);
    if (std::fabs(ym) > 400000)
        return NAN;
    static const int starts[] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
    double d = dayFromYear(ym) + starts[int(mn)] + (mn >= 2 && daysInYear(ym) == 366 ? 1 : 0);
    return d + date - 1;
}
double makeDate(double d, double t) {
    return d * kMsPerDay + t;
}
double timeClip(double t) {
    if (!std::isfinite(t) || std::fabs(t) > 8.64e15)
        return NAN;
    return std::trunc(t) + 0.0;
}

// The local offset from UTC in ms at UTC time t (with daylight saving).
double localOffset(double t) {
    if (!std::isfinite(t))
        return 0;
    const double clamped = std::clamp(t, -8.64e15, 8.64e15);
    const std::time_t secs = std::time_t(std::floor(clamped / 1000));
    std::tm tm{};
    if (!localtime_r(&secs, &tm))
        return 0;
    return double(tm.tm_gmtoff) * 1000;
}
double toLocal(double t) {
    return t + localOffset(t);
}
double toUtc(double local) {
    return local - localOffset(local - localOffset(local));
}

DateObject* thisDate(VM& vm, const Value& self) {
    Object* o = self.object();
    if (!o || o->kind != ObjectKind::Date)
        vm.throwTypeError(1004,
                          QStringLiteral("Method Date was invoked on an incompatible object."));
    return static_cast<DateObject*>(o);
}

const char* kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

QString two(double v) {
    return QStringLiteral("%1").arg(int(v), 2, 10, QLatin1Char('0'));
}

QString timeString(double lt) {
    const double tw = timeWithinDay(lt);
    return two(std::floor(tw / 3600000)) + u':' + two(std::fmod(std::floor(tw / 60000), 60)) +
           u':' + two(std::fmod(std::floor(tw / 1000), 60));
}

QString zoneString(double t) {
    const int off = int(localOffset(t) / 60000);
    const int a = std::abs(off);
    return QStringLiteral("GMT%1%2%3")
        .arg(QChar(off < 0 ? u'-' : u'+'))
        .arg(two(a / 60))
        .arg(two(a % 60));
}

QString dateToString(double t) {
    if (std::isnan(t))
        return QStringLiteral("Invalid Date");
    const double lt = toLocal(t);
    return QStringLiteral("%1 %2 %3 %4 %5 %6")
        .arg(QLatin1String(kDays[weekDay(lt)]), QLatin1String(kMonths[monthFromTime(lt)]))
        .arg(int(dateFromTime(lt)))
        .arg(timeString(lt), zoneString(t))
        .arg(qint64(yearFromTime(lt)));
}

// Parses the forms Flash prints and common ones; NaN for anything else.
double parseDate(const QString& s) {
    static const QRegularExpression mdy(QStringLiteral(
        R"(^\s*(\d{1,2})/(\d{1,2})/(\d{1,4})(?:\s+(\d{1,2}):(\d{2})(?::(\d{2}))?)?\s*$)"));
    static const QRegularExpression iso(QStringLiteral(
        R"(^\s*(\d{4})-(\d{2})-(\d{2})(?:[T ](\d{2}):(\d{2})(?::(\d{2})(?:\.(\d+))?)?)?(Z)?\s*$)"));
    if (auto m = mdy.match(s); m.hasMatch()) {
        const double d = makeDay(m.captured(3).toDouble(), m.captured(1).toDouble() - 1,
                                 m.captured(2).toDouble());
        const double t = makeTime(m.captured(4).toDouble(), m.captured(5).toDouble(),
                                  m.captured(6).toDouble(), 0);
        return timeClip(toUtc(makeDate(d, t)));
    }
    if (auto m = iso.match(s); m.hasMatch()) {
        const double d = makeDay(m.captured(1).toDouble(), m.captured(2).toDouble() - 1,
                                 m.captured(3).toDouble());
        const double t = makeTime(
            m.captured(4).toDouble(), m.captured(5).toDouble(), m.captured(6).toDouble(),
            m.captured(7).isEmpty() ? 0
                                    : QStringLiteral("0.%1").arg(m.captured(7)).toDouble() * 1000);
        const double local = makeDate(d, t);
        return timeClip(m.captured(8).isEmpty() && !m.captured(4).isEmpty() ? toUtc(local) : local);
    }
    // "Day Mon DD HH:MM:SS GMT+hhmm YYYY", "Mon DD YYYY", "Mon DD, YYYY HH:MM:SS"
    static const QRegularExpression words(
        QStringLiteral(R"(([A-Za-z]+|\d+:\d+(?::\d+)?|[+-]\d{4}|\d+))"));
    int month = -1;
    double date = NAN, year = NAN, h = 0, mi = 0, sec = 0;
    bool utc = false;
    double offsetMin = 0;
    auto it = words.globalMatch(s);
    while (it.hasNext()) {
        const QString w = it.next().captured(1);
        if (w[0].isLetter()) {
            const QString lw = w.left(3).toLower();
            for (int i = 0; i < 12; ++i)
                if (lw == QString::fromLatin1(kMonths[i]).toLower())
                    month = i;
            if (w.toUpper() == QLatin1String("GMT") || w.toUpper() == QLatin1String("UTC") ||
                w == QLatin1String("Z"))
                utc = true;
        } else if (w.contains(u':')) {
            const QStringList p = w.split(u':');
            h = p[0].toDouble();
            mi = p[1].toDouble();
            sec = p.size() > 2 ? p[2].toDouble() : 0;
        } else if (w[0] == u'+' || w[0] == u'-') {
            const int v = w.mid(1).toInt();
            offsetMin = (v / 100 * 60 + v % 100) * (w[0] == u'-' ? -1 : 1);
            utc = true;
        } else if (std::isnan(date) && w.size() <= 2) {
            date = w.toDouble();
        } else {
            year = w.toDouble();
        }
    }
    if (month < 0 || std::isnan(date) || std::isnan(year))
        return NAN;
    const double local = makeDate(makeDay(year, month, date), makeTime(h, mi, sec, 0));
    return timeClip(utc ? local - offsetMin * 60000 : toUtc(local));
}

Object* allocDate(VM& vm, Class* c) {
    return vm.make<DateObject>(c);
}

double nowMs() {
    return double(QDateTime::currentMSecsSinceEpoch());
}

double fromParts(VM& vm, std::span<const Value> args) {
    double f[7] = {NAN, 0, 1, 0, 0, 0, 0};
    for (std::size_t i = 0; i < 7 && i < args.size(); ++i)
        f[i] = vm.toNumber(args[i]);
    if (!std::isnan(f[0])) {
        const double yi = std::trunc(f[0]);
        if (yi >= 0 && yi <= 99)
            f[0] = 1900 + yi;
    }
    return makeDate(makeDay(f[0], f[1], f[2]), makeTime(f[3], f[4], f[5], f[6]));
}

Value dateCtor(VM& vm, const Value& self, std::span<const Value> args) {
    DateObject* d = thisDate(vm, self);
    if (args.empty()) {
        d->time = nowMs();
    } else if (args.size() == 1) {
        Value v = args[0];
        if (Object* o = v.object(); o && o->kind == ObjectKind::Date)
            d->time = static_cast<DateObject*>(o)->time;
        else {
            v = vm.toPrimitive(v, false);
            d->time = v.isString() ? parseDate(v.s()) : timeClip(vm.toNumber(v));
        }
    } else {
        d->time = timeClip(toUtc(fromParts(vm, args)));
    }
    return Value();
}

Value callDate(VM&, const Value&, std::span<const Value>) {
    return Value(dateToString(nowMs()));
}

enum Field { FullYear, Month, Date_, Day, Hours, Minutes, Seconds, Milliseconds };

double getField(double t, Field f) {
    switch (f) {
    case FullYear:
        return yearFromTime(t);
    case Month:
        return monthFromTime(t);
    case Date_:
        return dateFromTime(t);
    case Day:
        return weekDay(t);
    case Hours:
        return std::fmod(std::floor(timeWithinDay(t) / 3600000), 24);
    case Minutes:
        return std::fmod(std::floor(timeWithinDay(t) / 60000), 60);
    case Seconds:
        return std::fmod(std::floor(timeWithinDay(t) / 1000), 60);
    case Milliseconds:
        return std::fmod(timeWithinDay(t), 1000);
    }
    return NAN;
}

Value getter(VM& vm, const Value& self, Field f, bool utc) {
    const double t = thisDate(vm, self)->time;
    if (std::isnan(t))
        return Value::number(NAN);
    return Value::number(getField(utc ? t : toLocal(t), f));
}

// Sets one field and those after it given in args (setHours(h, m, s, ms) and so on).
Value setter(VM& vm, const Value& self, std::span<const Value> args, Field f, bool utc) {
    DateObject* d = thisDate(vm, self);
    double t = utc ? d->time : toLocal(d->time);
    if (std::isnan(t))
        t = f == FullYear ? 0 : NAN;
    if (std::isnan(t))
        return Value::number(NAN);
    double v[7] = {yearFromTime(t),          double(monthFromTime(t)), dateFromTime(t),
                   getField(t, Hours),       getField(t, Minutes),     getField(t, Seconds),
                   getField(t, Milliseconds)};
    const int start = f == FullYear  ? 0
                      : f == Month   ? 1
                      : f == Date_   ? 2
                      : f == Hours   ? 3
                      : f == Minutes ? 4
                      : f == Seconds ? 5
                                     : 6;
    const int maxArgs = start <= 2 ? 3 - start : 7 - start;
    for (int i = 0; i < maxArgs && std::size_t(i) < args.size(); ++i)
        v[start + i] = vm.toNumber(args[std::size_t(i)]);
    if (args.empty())
        v[start] = NAN;
    double nt = makeDate(makeDay(v[0], v[1], v[2]), makeTime(v[3], v[4], v[5], v[6]));
    d->time = timeClip(utc ? nt : toUtc(nt));
    return Value::number(d->time);
}

#define DATE_FIELD(F, NAME)                                                                        \
    Value get##NAME(VM& vm, const Value& s, std::span<const Value>) {                              \
        return getter(vm, s, F, false);                                                            \
    }                                                                                              \
    Value getUTC##NAME(VM& vm, const Value& s, std::span<const Value>) {                           \
        return getter(vm, s, F, true);                                                             \
    }                                                                                              \
    Value set##NAME(VM& vm, const Value& s, std::span<const Value> a) {                            \
        return setter(vm, s, a, F, false);                                                         \
    }                                                                                              \
    Value setUTC##NAME(VM& vm, const Value& s, std::span<const Value> a) {                         \
        return setter(vm, s, a, F, true);                                                          \
    }
DATE_FIELD(FullYear, FullYear)
DATE_FIELD(Month, Month)
DATE_FIELD(Date_, Date)
DATE_FIELD(Hours, Hours)
DATE_FIELD(Minutes, Minutes)
DATE_FIELD(Seconds, Seconds)
DATE_FIELD(Milliseconds, Milliseconds)
#undef DATE_FIELD
Value getDay(VM& vm, const Value& s, std::span<const Value>) {
    return getter(vm, s, Day, false);
}
Value getUTCDay(VM& vm, const Value& s, std::span<const Value>) {
    return getter(vm, s, Day, true);
}

Value getTime(VM& vm, const Value& s, std::span<const Value>) {
    return Value::number(thisDate(vm, s)->time);
}
Value setTime(VM& vm, const Value& s, std::span<const Value> a) {
    DateObject* d = thisDate(vm, s);
    d->time = timeClip(vm.toNumber(arg(a, 0)));
    return Value::number(d->time);
}
Value getTimezoneOffset(VM& vm, const Value& s, std::span<const Value>) {
    const double t = thisDate(vm, s)->time;
    if (std::isnan(t))
        return Value::number(NAN);
    return Value::number(-localOffset(t) / 60000);
}
Value toStringNative(VM& vm, const Value& s, std::span<const Value>) {
    return Value(dateToString(thisDate(vm, s)->time));
}
Value toUTCString(VM& vm, const Value& s, std::span<const Value>) {
    const double t = thisDate(vm, s)->time;
    if (std::isnan(t))
        return Value(QStringLiteral("Invalid Date"));
    return Value(
        QStringLiteral("%1 %2 %3 %4 %5 UTC")
            .arg(QLatin1String(kDays[weekDay(t)]), QLatin1String(kMonths[monthFromTime(t)]))
            .arg(int(dateFromTime(t)))
            .arg(timeString(t))
            .arg(qint64(yearFromTime(t))));
}
Value toDateString(VM& vm, const Value& s, std::span<const Value>) {
    const double t = thisDate(vm, s)->time;
    if (std::isnan(t))
        return Value(QStringLiteral("Invalid Date"));
    const double lt = toLocal(t);
    return Value(
        QStringLiteral("%1 %2 %3 %4")
            .arg(QLatin1String(kDays[weekDay(lt)]), QLatin1String(kMonths[monthFromTime(lt)]))
            .arg(int(dateFromTime(lt)))
            .arg(qint64(yearFromTime(lt))));
}
Value toTimeString(VM& vm, const Value& s, std::span<const Value>) {
    const double t = thisDate(vm, s)->time;
    if (std::isnan(t))
        return Value(QStringLiteral("Invalid Date"));
    return Value(timeString(toLocal(t)) + u' ' + zoneString(t));
}
Value toLocaleString(VM& vm, const Value& s, std::span<const Value>) {
    const double t = thisDate(vm, s)->time;
    if (std::isnan(t))
        return Value(QStringLiteral("Invalid Date"));
    const double lt = toLocal(t);
    const double h = getField(lt, Hours);
    const int h12 = int(h) % 12 == 0 ? 12 : int(h) % 12;
    return Value(
        QStringLiteral("%1 %2 %3 %4 %5:%6:%7 %8")
            .arg(QLatin1String(kDays[weekDay(lt)]), QLatin1String(kMonths[monthFromTime(lt)]))
            .arg(int(dateFromTime(lt)))
            .arg(qint64(yearFromTime(lt)))
            .arg(two(h12), two(getField(lt, Minutes)), two(getField(lt, Seconds)),
                 h < 12 ? QStringLiteral("AM") : QStringLiteral("PM")));
}
Value valueOf(VM& vm, const Value& s, std::span<const Value>) {
    return Value::number(thisDate(vm, s)->time);
}
Value dateParse(VM& vm, const Value&, std::span<const Value> a) {
    return Value::number(parseDate(vm.toString(arg(a, 0))));
}
Value dateUTC(VM& vm, const Value&, std::span<const Value> a) {
    return Value::number(timeClip(fromParts(vm, a)));
}

} // namespace

void installDate(VM& vm) {
    Class* c = vm.defineNativeClass(QString(), QStringLiteral("Date"), vm.objectClass, allocDate);
    vm.dateClass = c;
    c->iinit.native = dateCtor;
    c->nativeCall = callDate;
    const std::pair<const char*, NativeFn> methods[] = {
        {"getFullYear", getFullYear},
        {"getUTCFullYear", getUTCFullYear},
        {"setFullYear", setFullYear},
        {"setUTCFullYear", setUTCFullYear},
        {"getMonth", getMonth},
        {"getUTCMonth", getUTCMonth},
        {"setMonth", setMonth},
        {"setUTCMonth", setUTCMonth},
        {"getDate", getDate},
        {"getUTCDate", getUTCDate},
        {"setDate", setDate},
        {"setUTCDate", setUTCDate},
        {"getHours", getHours},
        {"getUTCHours", getUTCHours},
        {"setHours", setHours},
        {"setUTCHours", setUTCHours},
        {"getMinutes", getMinutes},
        {"getUTCMinutes", getUTCMinutes},
        {"setMinutes", setMinutes},
        {"setUTCMinutes", setUTCMinutes},
        {"getSeconds", getSeconds},
        {"getUTCSeconds", getUTCSeconds},
        {"setSeconds", setSeconds},
        {"setUTCSeconds", setUTCSeconds},
        {"getMilliseconds", getMilliseconds},
        {"getUTCMilliseconds", getUTCMilliseconds},
        {"setMilliseconds", setMilliseconds},
        {"setUTCMilliseconds", setUTCMilliseconds},
        {"getDay", getDay},
        {"getUTCDay", getUTCDay},
        {"getTime", getTime},
        {"setTime", setTime},
        {"getTimezoneOffset", getTimezoneOffset},
        {"toString", toStringNative},
        {"toUTCString", toUTCString},
        {"toDateString", toDateString},
        {"toTimeString", toTimeString},
        {"toLocaleString", toLocaleString},
        {"toLocaleDateString", toDateString},
        {"toLocaleTimeString", toTimeString},
        {"valueOf", valueOf},
    };
    for (auto [n, f] : methods)
        vm.addMethod(c, QString::fromLatin1(n), f);
    const std::tuple<const char*, NativeFn, NativeFn> props[] = {
        {"fullYear", getFullYear, setFullYear},
        {"fullYearUTC", getUTCFullYear, setUTCFullYear},
        {"month", getMonth, setMonth},
        {"monthUTC", getUTCMonth, setUTCMonth},
        {"date", getDate, setDate},
        {"dateUTC", getUTCDate, setUTCDate},
        {"hours", getHours, setHours},
        {"hoursUTC", getUTCHours, setUTCHours},
        {"minutes", getMinutes, setMinutes},
        {"minutesUTC", getUTCMinutes, setUTCMinutes},
        {"seconds", getSeconds, setSeconds},
        {"secondsUTC", getUTCSeconds, setUTCSeconds},
        {"milliseconds", getMilliseconds, setMilliseconds},
        {"millisecondsUTC", getUTCMilliseconds, setUTCMilliseconds},
        {"day", getDay, nullptr},
        {"dayUTC", getUTCDay, nullptr},
        {"time", getTime, setTime},
        {"timezoneOffset", getTimezoneOffset, nullptr},
    };
    for (auto [n, g, s] : props)
        vm.addGetter(c, QString::fromLatin1(n), g, s);
    vm.addStatic(c, QStringLiteral("parse"), dateParse);
    vm.addStatic(c, QStringLiteral("UTC"), dateUTC);
}

} // namespace swf::avm2
