// Object, Class, Function, Boolean, Namespace, the Error family and the global functions.

#include "swf/avm2/amf.h"
#include "swf/avm2/display.h"
#include "swf/avm2/proxy.h"
#include "swf/avm2/qname.h"
#include "swf/avm2/vm.h"
#include "swf/avm2/xml.h"

#include <QDateTime>
#include <QUrl>
#include <cmath>

namespace swf::avm2 {

namespace {

Object* thisObject(VM& vm, const Value& self, const char* method) {
    if (Object* o = self.object())
        return o;
    vm.throwTypeError(1004, QStringLiteral("Method %1 was invoked on an incompatible object.")
                                .arg(QString::fromLatin1(method)));
}

// --- Object ---

Value objectHasOwnProperty(VM& vm, const Value& self, std::span<const Value> args) {
    const QString name = vm.toString(arg(args, 0));
    if (Object* o = self.object()) {
        if (o->getDynamic(name) || o->hasOwn(vm, name))
            return Value(true);
        Name n = vm.publicName(name);
        return Value(vm.findBinding(o, n) != nullptr);
    }
    if (self.isString()) {
        std::uint32_t i;
        return Value(name == QLatin1String("length") ||
                     (parseIndex(name, i) && i < std::uint32_t(self.s().size())));
    }
    return Value(false);
}

Value objectIsPrototypeOf(VM&, const Value& self, std::span<const Value> args) {
    Object* o = self.object();
    Object* v = arg(args, 0).object();
    if (!o || !v)
        return Value(false);
    for (Object* p = v->proto; p; p = p->proto)
        if (p == o)
            return Value(true);
    return Value(false);
}

Value objectPropertyIsEnumerable(VM& vm, const Value& self, std::span<const Value> args) {
    Object* o = self.object();
    if (!o)
        return Value(false);
    const QString name = vm.toString(arg(args, 0));
    auto it = o->dynIndex.find(name);
    if (it != o->dynIndex.end())
        return Value(o->dyn[*it].enumerable);
    return Value(o->hasOwn(vm, name));
}

Value objectSetPropertyIsEnumerable(VM& vm, const Value& self, std::span<const Value> args) {
    Object* o = self.object();
    if (!o)
        return Value();
    auto it = o->dynIndex.find(vm.toString(arg(args, 0)));
    if (it != o->dynIndex.end())
        o->dyn[*it].enumerable = args.size() < 2 || VM::toBoolean(args[1]);
    return Value();
}

Value objectToString(VM& vm, const Value& self, std::span<const Value>) {
    if (Object* o = self.object()) {
        if (o->kind == ObjectKind::Class)
            return Value(QStringLiteral("[class %1]").arg(static_cast<Class*>(o)->name));
        if (o->kind == ObjectKind::Function)
            return Value(QStringLiteral("function Function() {}"));
        return Value(
            QStringLiteral("[object %1]").arg(o->cls ? o->cls->name : QStringLiteral("Object")));
    }
    return Value(vm.toString(self));
}

Value objectValueOf(VM&, const Value& self, std::span<const Value>) {
    return self;
}

Object* allocObject(VM& vm, Class* c) {
    return vm.make<Object>(c);
}

Value callObject(VM& vm, const Value&, std::span<const Value> args) {
    if (args.empty() || args[0].isNullish())
        return Value(vm.newObject());
    return args[0];
}

// --- Function ---

Value functionCall(VM& vm, const Value& self, std::span<const Value> args) {
    const Value thisArg = arg(args, 0);
    return vm.call(self, thisArg, args.size() > 1 ? args.subspan(1) : std::span<const Value>{});
}

Value functionApply(VM& vm, const Value& self, std::span<const Value> args) {
    const Value thisArg = arg(args, 0);
    const Value list = arg(args, 1);
    if (list.isNullish())
        return vm.call(self, thisArg, {});
    Object* o = list.object();
    if (!o || o->kind != ObjectKind::Array)
        vm.throwTypeError(
            1116, QStringLiteral("second argument to Function.prototype.apply must be an array."));
    const std::vector<Value> items = static_cast<Array*>(o)->items;
    return vm.call(self, thisArg, items);
}

Value functionLength(VM& vm, const Value& self, std::span<const Value>) {
    Object* o = self.object();
    if (!o || o->kind != ObjectKind::Function)
        return Value(std::int32_t(0));
    auto* f = static_cast<Function*>(o);
    if (f->method.env)
        return Value(std::int32_t(f->method.env->abc->methods[f->method.index].paramTypes.size()));
    (void)vm;
    return Value(std::int32_t(0));
}

// --- Boolean ---

Value callBoolean(VM&, const Value&, std::span<const Value> args) {
    return Value(VM::toBoolean(arg(args, 0)));
}
Value booleanToString(VM& vm, const Value& self, std::span<const Value>) {
    if (self.tag != Value::Tag::Bool)
        vm.throwTypeError(
            1004, QStringLiteral(
                      "Method Boolean.prototype.toString was invoked on an incompatible object."));
    return Value(vm.toString(self));
}
Value booleanValueOf(VM& vm, const Value& self, std::span<const Value>) {
    if (self.tag != Value::Tag::Bool)
        vm.throwTypeError(
            1004, QStringLiteral(
                      "Method Boolean.prototype.valueOf was invoked on an incompatible object."));
    return self;
}

// --- Errors ---

const QString kMessage = QStringLiteral("message");
const QString kName = QStringLiteral("name");
const QString kErrorId = QStringLiteral("errorID");

Value errorCtor(VM& vm, const Value& self, std::span<const Value> args) {
    Object* o = thisObject(vm, self, "Error");
    o->setDynamic(kMessage,
                  Value(args.empty() || args[0].isUndefined() ? QString() : vm.toString(args[0])));
    o->dyn.back().enumerable = false;
    o->setDynamic(kErrorId, Value(std::int32_t(args.size() > 1 ? vm.toInt32(args[1]) : 0)));
    o->dyn.back().enumerable = false;
    return Value();
}

Value errorToString(VM& vm, const Value& self, std::span<const Value>) {
    Object* o = thisObject(vm, self, "Error.toString");
    const QString name = vm.toString(vm.getProperty(self, vm.publicName(kName)));
    const Value* m = o->getDynamic(kMessage);
    const QString msg = m ? vm.toString(*m) : QString();
    return Value(msg.isEmpty() ? name : name + QStringLiteral(": ") + msg);
}

// As a debugger player gives it, without frame lines (we keep no source positions): the
// error's own line. Content such as Haxe's standard library expects a string here.
Value errorGetStackTrace(VM& vm, const Value& self, std::span<const Value>) {
    return errorToString(vm, self, {});
}

Value callError(VM& vm, const Value& self, std::span<const Value> args) {
    return vm.construct(self, args);
}

// --- Globals ---

Value globalTrace(VM& vm, const Value&, std::span<const Value> args) {
    QString line;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (i)
            line += QLatin1Char(' ');
        line += vm.toString(args[i]);
    }
    if (vm.traceHook)
        vm.traceHook(line);
    return Value();
}

Value globalIsNaN(VM& vm, const Value&, std::span<const Value> args) {
    return Value(bool(std::isnan(vm.toNumber(arg(args, 0)))));
}
Value globalIsFinite(VM& vm, const Value&, std::span<const Value> args) {
    return Value(bool(std::isfinite(vm.toNumber(arg(args, 0)))));
}

Value globalParseInt(VM& vm, const Value&, std::span<const Value> args) {
    const QString s = vm.toString(arg(args, 0)).trimmed();
    int radix = args.size() > 1 ? vm.toInt32(args[1]) : 0;
    qsizetype i = 0;
    bool neg = false;
    if (i < s.size() && (s[i] == u'+' || s[i] == u'-')) {
        neg = s[i] == u'-';
        ++i;
    }
    if ((radix == 0 || radix == 16) && i + 1 < s.size() && s[i] == u'0' &&
        (s[i + 1] == u'x' || s[i + 1] == u'X')) {
        radix = 16;
        i += 2;
    }
    if (radix == 0)
        radix = 10;
    if (radix < 2 || radix > 36)
        return Value::number(NAN);
    double v = 0;
    bool any = false;
    for (; i < s.size(); ++i) {
        const char16_t c = s[i].toLower().unicode();
        int d = -1;
        if (c >= u'0' && c <= u'9')
            d = c - u'0';
        else if (c >= u'a' && c <= u'z')
            d = c - u'a' + 10;
        if (d < 0 || d >= radix)
            break;
        v = v * radix + d;
        any = true;
    }
    if (!any)
        return Value::number(NAN);
    return Value::number(neg ? -v : v);
}

Value globalParseFloat(VM& vm, const Value&, std::span<const Value> args) {
    const QString s = vm.toString(arg(args, 0)).trimmed();
    // The longest prefix that is a decimal literal.
    qsizetype i = 0;
    if (i < s.size() && (s[i] == u'+' || s[i] == u'-'))
        ++i;
    if (s.mid(i).startsWith(QLatin1String("Infinity")))
        return Value::number(s.startsWith(u'-') ? -INFINITY : INFINITY);
    qsizetype j = i;
    bool digits = false;
    while (j < s.size() && s[j] >= u'0' && s[j] <= u'9') {
        ++j;
        digits = true;
    }
    if (j < s.size() && s[j] == u'.') {
        ++j;
        while (j < s.size() && s[j] >= u'0' && s[j] <= u'9') {
            ++j;
            digits = true;
        }
    }
    if (!digits)
        return Value::number(NAN);
    if (j < s.size() && (s[j] == u'e' || s[j] == u'E')) {
        qsizetype k = j + 1;
        if (k < s.size() && (s[k] == u'+' || s[k] == u'-'))
            ++k;
        if (k < s.size() && s[k] >= u'0' && s[k] <= u'9') {
            while (k < s.size() && s[k] >= u'0' && s[k] <= u'9')
                ++k;
            j = k;
        }
    }
    return Value::number(s.left(j).toDouble());
}

Value globalEscape(VM& vm, const Value&, std::span<const Value> args) {
    const QString s = vm.toString(arg(args, 0));
    static const QString keep = QStringLiteral("@-_.*+/");
    QString out;
    for (QChar c : s) {
        const char16_t u = c.unicode();
        if ((u < 128 && (c.isLetterOrNumber())) || keep.contains(c))
            out += c;
        else if (u < 256)
            out += QStringLiteral("%%1").arg(u, 2, 16, QLatin1Char('0')).toUpper();
        else
            out += QStringLiteral("%u%1")
                       .arg(u, 4, 16, QLatin1Char('0'))
                       .toUpper()
                       .replace(QStringLiteral("%U"), QStringLiteral("%u"));
    }
    return Value(out);
}

Value globalUnescape(VM& vm, const Value&, std::span<const Value> args) {
    const QString s = vm.toString(arg(args, 0));
    QString out;
    for (qsizetype i = 0; i < s.size(); ++i) {
        if (s[i] == u'%') {
            bool ok = false;
            if (i + 5 < s.size() + 0 && s[i + 1] == u'u') {
                const int v = s.mid(i + 2, 4).toInt(&ok, 16);
                if (ok) {
                    out += QChar(char16_t(v));
                    i += 5;
                    continue;
                }
            }
            if (i + 2 < s.size()) {
                const int v = s.mid(i + 1, 2).toInt(&ok, 16);
                if (ok) {
                    out += QChar(char16_t(v));
                    i += 2;
                    continue;
                }
            }
        }
        out += s[i];
    }
    return Value(out);
}

QString uriEncode(VM& vm, const QString& s, const QString& unreserved) {
    QString out;
    for (qsizetype i = 0; i < s.size(); ++i) {
        const QChar c = s[i];
        if (c.unicode() < 128 && (c.isLetterOrNumber() || unreserved.contains(c))) {
            out += c;
            continue;
        }
        char32_t cp = c.unicode();
        if (c.isHighSurrogate()) {
            if (i + 1 >= s.size() || !s[i + 1].isLowSurrogate())
                vm.throwError("URIError", 1052,
                              QStringLiteral("Invalid URI passed to %1 function.")
                                  .arg(QStringLiteral("encodeURI")));
            cp = QChar::surrogateToUcs4(c, s[++i]);
        } else if (c.isLowSurrogate()) {
            vm.throwError("URIError", 1052,
                          QStringLiteral("Invalid URI passed to %1 function.")
                              .arg(QStringLiteral("encodeURI")));
        }
        const QByteArray utf8 = QString::fromUcs4(&cp, 1).toUtf8();
        for (char b : utf8)
            out += QStringLiteral("%%1").arg(std::uint8_t(b), 2, 16, QLatin1Char('0')).toUpper();
    }
    return out;
}

QString uriDecode(VM& vm, const QString& s, const QString& reserved) {
    QString out;
    for (qsizetype i = 0; i < s.size(); ++i) {
        if (s[i] != u'%') {
            out += s[i];
            continue;
        }
        QByteArray bytes;
        qsizetype j = i;
        int expected = -1;
        while (j + 2 < s.size() + 0 + 1 && j < s.size() && s[j] == u'%') {
            bool ok = false;
            if (j + 2 >= s.size() + 0 && j + 2 > s.size() - 1 + 1)
                break;
            const int b = s.mid(j + 1, 2).toInt(&ok, 16);
            if (!ok || s.mid(j + 1, 2).size() < 2)
                vm.throwError("URIError", 1052,
                              QStringLiteral("Invalid URI passed to %1 function.")
                                  .arg(QStringLiteral("decodeURI")));
            bytes.append(char(b));
            j += 3;
            if (expected < 0) {
                expected = b < 0x80             ? 1
                           : (b & 0xE0) == 0xC0 ? 2
                           : (b & 0xF0) == 0xE0 ? 3
                           : (b & 0xF8) == 0xF0 ? 4
                                                : 0;
                if (expected == 0)
                    vm.throwError("URIError", 1052,
                                  QStringLiteral("Invalid URI passed to %1 function.")
                                      .arg(QStringLiteral("decodeURI")));
            }
            if (bytes.size() == expected)
                break;
        }
        if (bytes.size() != expected)
            vm.throwError("URIError", 1052,
                          QStringLiteral("Invalid URI passed to %1 function.")
                              .arg(QStringLiteral("decodeURI")));
        const QString decoded = QString::fromUtf8(bytes);
        if (expected == 1 && reserved.contains(decoded))
            out += s.mid(i, 3);
        else
            out += decoded;
        i = j - 1;
    }
    return out;
}

const QString kUriReserved = QStringLiteral(";/?:@&=+$,#");
const QString kUriMark = QStringLiteral("-_.!~*'()");

Value globalEncodeURI(VM& vm, const Value&, std::span<const Value> args) {
    return Value(uriEncode(vm, vm.toString(arg(args, 0)), kUriReserved + kUriMark));
}
Value globalEncodeURIComponent(VM& vm, const Value&, std::span<const Value> args) {
    return Value(uriEncode(vm, vm.toString(arg(args, 0)), kUriMark));
}
Value globalDecodeURI(VM& vm, const Value&, std::span<const Value> args) {
    return Value(uriDecode(vm, vm.toString(arg(args, 0)), kUriReserved));
}
Value globalDecodeURIComponent(VM& vm, const Value&, std::span<const Value> args) {
    return Value(uriDecode(vm, vm.toString(arg(args, 0)), QString()));
}

Value globalGetTimer(VM& vm, const Value&, std::span<const Value>) {
    return Value(std::int32_t(vm.clock ? vm.clock() : 0));
}

Value addTimer(VM& vm, std::span<const Value> args, bool repeat) {
    VM::Timer t;
    t.id = vm.nextTimerId++;
    t.fn = arg(args, 0);
    t.interval = std::max(0.0, vm.toNumber(arg(args, 1)));
    if (std::isnan(t.interval))
        t.interval = 0;
    t.due = vm.clock() + t.interval;
    t.repeat = repeat;
    for (std::size_t i = 2; i < args.size(); ++i)
        t.args.push_back(args[i]);
    if (vm.timers.size() < 100000)
        vm.timers.push_back(std::move(t));
    return Value(std::int32_t(vm.nextTimerId - 1));
}
Value globalSetTimeout(VM& vm, const Value&, std::span<const Value> args) {
    return addTimer(vm, args, false);
}
Value globalSetInterval(VM& vm, const Value&, std::span<const Value> args) {
    return addTimer(vm, args, true);
}
Value globalClearTimer(VM& vm, const Value&, std::span<const Value> args) {
    const int id = vm.toInt32(arg(args, 0));
    std::erase_if(vm.timers, [&](const VM::Timer& t) { return t.id == id; });
    return Value();
}

QString dottedName(Class* c) {
    return c->package.isEmpty() ? c->name : c->package + QStringLiteral("::") + c->name;
}

Value globalGetQualifiedClassName(VM& vm, const Value&, std::span<const Value> args) {
    const Value v = arg(args, 0);
    if (v.isNull())
        return Value(QStringLiteral("null"));
    if (v.isUndefined())
        return Value(QStringLiteral("void"));
    if (Object* o = v.object(); o && o->kind == ObjectKind::Class)
        return Value(dottedName(static_cast<Class*>(o)));
    if (v.tag == Value::Tag::Int)
        return Value(QStringLiteral("int"));
    Class* c = vm.classOf(v);
    return Value(c ? dottedName(c) : QStringLiteral("Object"));
}

Value globalGetQualifiedSuperclassName(VM& vm, const Value&, std::span<const Value> args) {
    const Value v = arg(args, 0);
    Class* c = nullptr;
    if (Object* o = v.object(); o && o->kind == ObjectKind::Class)
        c = static_cast<Class*>(o);
    else
        c = vm.classOf(v);
    if (!c || !c->base)
        return Value::null();
    return Value(dottedName(c->base));
}

Value globalGetDefinitionByName(VM& vm, const Value&, std::span<const Value> args) {
    const QString name = vm.toString(arg(args, 0));
    const Value v = vm.lookupDefinition(name);
    if (v.isUndefined())
        vm.throwReferenceError(1065, QStringLiteral("Variable %1 is not defined.").arg(name));
    return v;
}

Value refuse(VM& vm, const Value&, std::span<const Value>) {
    if (vm.traceHook)
        std::fprintf(stderr, "Reelwick: a movie script asked to load or send data; refused\n");
    vm.throwError("SecurityError", 2028,
                  QStringLiteral("Local-with-filesystem SWF file cannot access the network."));
}

} // namespace

void installObjectClasses(VM& vm) {
    vm.addMethod(vm.objectClass, QStringLiteral("hasOwnProperty"), objectHasOwnProperty, 1);
    vm.addMethod(vm.objectClass, QStringLiteral("isPrototypeOf"), objectIsPrototypeOf, 1);
    vm.addMethod(vm.objectClass, QStringLiteral("propertyIsEnumerable"), objectPropertyIsEnumerable,
                 1);
    vm.addMethod(vm.objectClass, QStringLiteral("setPropertyIsEnumerable"),
                 objectSetPropertyIsEnumerable, 2);
    // Replaceable, so only on the prototype: classes define their own toString.
    for (auto [name, fn] : {std::pair<const char*, NativeFn>{"toString", objectToString},
                            std::pair<const char*, NativeFn>{"toLocaleString", objectToString},
                            std::pair<const char*, NativeFn>{"valueOf", objectValueOf}}) {
        vm.objectClass->prototype->setDynamic(
            QString::fromLatin1(name),
            Value(static_cast<Object*>(vm.makeNative(QString::fromLatin1(name), fn))));
        vm.objectClass->prototype->dyn.back().enumerable = false;
    }
    vm.objectClass->nativeCall = callObject;
    vm.objectClass->nativeAlloc = allocObject;
    vm.objectClass->isSealed = false;

    vm.addMethod(vm.functionClass, QStringLiteral("call"), functionCall, 1);
    vm.addMethod(vm.functionClass, QStringLiteral("apply"), functionApply, 2);
    vm.addGetter(vm.functionClass, QStringLiteral("length"), functionLength);

    vm.booleanClass =
        vm.defineNativeClass(QString(), QStringLiteral("Boolean"), vm.objectClass, nullptr, true);
    vm.booleanClass->nativeCall = callBoolean;
    vm.addMethod(vm.booleanClass, QStringLiteral("toString"), booleanToString);
    vm.addMethod(vm.booleanClass, QStringLiteral("valueOf"), booleanValueOf);

    installQName(vm);
}

void installErrors(VM& vm) {
    vm.errorClass = vm.defineNativeClass(QString(), QStringLiteral("Error"), vm.objectClass);
    Class* e = vm.errorClass;
    e->iinit.native = errorCtor;
    e->nativeCall = callError;
    e->prototype->setDynamic(kName, Value(QStringLiteral("Error")));
    e->prototype->setDynamic(kMessage, Value(QStringLiteral("Error")));
    vm.addMethod(e, QStringLiteral("toString"), errorToString);
    vm.addMethod(e, QStringLiteral("getStackTrace"), errorGetStackTrace);
    vm.addStaticValue(e, QStringLiteral("length"), Value(std::int32_t(1)));
    const char* top[] = {"ArgumentError",  "DefinitionError", "EvalError",         "RangeError",
                         "ReferenceError", "SecurityError",   "SyntaxError",       "TypeError",
                         "URIError",       "VerifyError",     "UninitializedError"};
    for (const char* n : top) {
        Class* c = vm.defineNativeClass(QString(), QString::fromLatin1(n), e);
        c->iinit.native = errorCtor;
        c->nativeCall = callError;
        c->prototype->setDynamic(kName, Value(QString::fromLatin1(n)));
    }
    const char* flash[] = {"EOFError",          "IOError",     "IllegalOperationError",
                           "InvalidSWFError",   "MemoryError", "ScriptTimeoutError",
                           "StackOverflowError"};
    for (const char* n : flash) {
        Class* c = vm.defineNativeClass(QStringLiteral("flash.errors"), QString::fromLatin1(n), e);
        c->iinit.native = errorCtor;
        c->nativeCall = callError;
        c->prototype->setDynamic(kName, Value(QString::fromLatin1(n)));
    }
}

void installGlobals(VM& vm) {
    auto fn = [&](const char* pkg, const char* name, NativeFn f) {
        vm.defineGlobal(QString::fromLatin1(pkg), QString::fromLatin1(name),
                        Value(static_cast<Object*>(vm.makeNative(QString::fromLatin1(name), f))));
    };
    fn("", "trace", globalTrace);
    fn("", "isNaN", globalIsNaN);
    fn("", "isFinite", globalIsFinite);
    fn("", "parseInt", globalParseInt);
    fn("", "parseFloat", globalParseFloat);
    fn("", "escape", globalEscape);
    fn("", "unescape", globalUnescape);
    fn("", "encodeURI", globalEncodeURI);
    fn("", "encodeURIComponent", globalEncodeURIComponent);
    fn("", "decodeURI", globalDecodeURI);
    fn("", "decodeURIComponent", globalDecodeURIComponent);
    fn("flash.utils", "getTimer", globalGetTimer);
    fn("flash.utils", "setTimeout", globalSetTimeout);
    fn("flash.utils", "setInterval", globalSetInterval);
    fn("flash.utils", "clearTimeout", globalClearTimer);
    fn("flash.utils", "clearInterval", globalClearTimer);
    fn("flash.utils", "getQualifiedClassName", globalGetQualifiedClassName);
    fn("flash.utils", "getQualifiedSuperclassName", globalGetQualifiedSuperclassName);
    fn("flash.utils", "getDefinitionByName", globalGetDefinitionByName);
    fn("flash.net", "navigateToURL", refuse);
    fn("flash.net", "sendToURL", refuse);
    vm.defineGlobal(QString(), QStringLiteral("NaN"), Value::number(NAN));
    vm.defineGlobal(QString(), QStringLiteral("Infinity"), Value::number(INFINITY));
    vm.defineGlobal(QString(), QStringLiteral("undefined"), Value());
}

// flash.ui.ContextMenu and its kin, InteractiveObject.contextMenu (builtins_contextmenu.cpp).
void installContextMenu(VM& vm);

void VM::registerBuiltins() {
    builtins = make<Object>(nullptr);
    builtins->traits = &builtinTraits;
    builtins->dynamicAllowed = false;
    // Object and Class name each other; make them, then tie the knots.
    objectClass = defineNativeClass(QString(), QStringLiteral("Object"), nullptr);
    objectClass->prototype->cls = objectClass;
    classClass = defineNativeClass(QString(), QStringLiteral("Class"), objectClass, nullptr, true);
    for (Class* c : {objectClass, classClass}) {
        c->cls = classClass;
        c->proto = classClass->prototype;
    }
    classClass->prototype->cls = objectClass;
    functionClass = defineNativeClass(QString(), QStringLiteral("Function"), objectClass);
    for (Object* o : {static_cast<Object*>(objectClass), static_cast<Object*>(classClass),
                      static_cast<Object*>(functionClass)}) {
        o->cls = classClass;
        o->proto = classClass->prototype;
    }
    functionClass->prototype->cls = objectClass;
    voidClass = make<Class>(classClass);
    voidClass->name = QStringLiteral("void");
    // Flash Player's script objects are of a class named "global" that no script can name.
    globalClass = make<Class>(classClass);
    globalClass->name = QStringLiteral("global");
    globalClass->nameNs = publicNs();
    globalClass->base = objectClass;
    globalClass->traits = &globalClass->staticTraits;
    globalClass->proto = classClass->prototype;
    globalClass->prototype = objectClass->prototype;
    installObjectClasses(*this);
    installArray(*this);
    installString(*this);
    installNumbers(*this);
    installMath(*this);
    installErrors(*this);
    installGlobals(*this);
    installDate(*this);
    installDictionary(*this);
    installProxy(*this);
    installVector(*this);
    installByteArray(*this);
    installJson(*this);
    installXml(*this);
    installRegExp(*this);
    installDisplay(*this);
    installGeom(*this);
    installBitmapData(*this);
    installSharedObject(*this);
    installMedia(*this);
    installMouse(*this);
    installAccessibility(*this);
    installXmlDocument(*this);
    installContextMenu(*this);
    installStyleSheet(*this);
    installConstants(*this);
    installAmf(*this);
    installInterfaces(*this);
}

} // namespace swf::avm2
