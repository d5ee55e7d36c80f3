// JSON.parse (with reviver) and JSON.stringify (with replacer and indent).

#include "swf/avm2/vm.h"

#include <cmath>

namespace swf::avm2 {

namespace {

constexpr int kMaxDepth = 512;

[[noreturn]] void syntax(VM& vm) {
    vm.throwError("SyntaxError", 1132, QStringLiteral("Invalid JSON parse input."));
}

struct Parser {
    VM& vm;
    const QString& s;
    qsizetype i = 0;

    void ws() {
        while (i < s.size() && (s[i] == u' ' || s[i] == u'\t' || s[i] == u'\n' || s[i] == u'\r'))
            ++i;
    }
    bool literal(const char* word) {
        const QLatin1String w(word);
        if (QStringView(s).mid(i, w.size()) == w) {
            i += w.size();
            return true;
        }
        return false;
    }
    QString string() {
        ++i; // opening quote
        QString out;
        while (i < s.size()) {
            const QChar c = s[i++];
            if (c == u'"')
                return out;
            if (c.unicode() < 0x20)
                syntax(vm);
            if (c != u'\\') {
                out += c;
                continue;
            }
            if (i >= s.size())
                syntax(vm);
            const QChar e = s[i++];
            switch (e.unicode()) {
            case u'"':
                out += u'"';
                break;
            case u'\\':
                out += u'\\';
                break;
            case u'/':
                out += u'/';
                break;
            case u'b':
                out += u'\b';
                break;
            case u'f':
                out += u'\f';
                break;
            case u'n':
                out += u'\n';
                break;
            case u'r':
                out += u'\r';
                break;
            case u't':
                out += u'\t';
                break;
            case u'u': {
                bool ok = false;
                const int v = s.mid(i, 4).toInt(&ok, 16);
                if (!ok || s.mid(i, 4).size() != 4)
                    syntax(vm);
                out += QChar(char16_t(v));
                i += 4;
                break;
            }
            default:
                syntax(vm);
            }
        }
        syntax(vm);
    }
    Value value(int depth) {
        if (depth > kMaxDepth)
            syntax(vm);
        ws();
        if (i >= s.size())
            syntax(vm);
        const QChar c = s[i];
        if (c == u'{') {
            ++i;
            Object* o = vm.newObject();
            ws();
            if (i < s.size() && s[i] == u'}') {
                ++i;
                return Value(o);
            }
            for (;;) {
                ws();
                if (i >= s.size() || s[i] != u'"')
                    syntax(vm);
                const QString key = string();
                ws();
                if (i >= s.size() || s[i] != u':')
                    syntax(vm);
                ++i;
                o->setDynamic(key, value(depth + 1));
                ws();
                if (i < s.size() && s[i] == u',') {
                    ++i;
                    continue;
                }
                if (i < s.size() && s[i] == u'}') {
                    ++i;
                    return Value(o);
                }
                syntax(vm);
            }
        }
        if (c == u'[') {
            ++i;
            std::vector<Value> items;
            ws();
            if (i < s.size() && s[i] == u']') {
                ++i;
                return Value(static_cast<Object*>(vm.newArray()));
            }
            for (;;) {
                items.push_back(value(depth + 1));
                ws();
                if (i < s.size() && s[i] == u',') {
                    ++i;
                    continue;
                }
                if (i < s.size() && s[i] == u']') {
                    ++i;
                    return Value(static_cast<Object*>(vm.newArray(std::move(items))));
                }
                syntax(vm);
            }
        }
        if (c == u'"')
            return Value(string());
        if (literal("true"))
            return Value(true);
        if (literal("false"))
            return Value(false);
        if (literal("null"))
            return Value::null();
        // Number: -? int frac? exp?
        const qsizetype start = i;
        if (i < s.size() && s[i] == u'-')
            ++i;
        if (i >= s.size() || !s[i].isDigit())
            syntax(vm);
        if (s[i] == u'0')
            ++i;
        else
            while (i < s.size() && s[i].isDigit())
                ++i;
        if (i < s.size() && s[i] == u'.') {
            ++i;
            if (i >= s.size() || !s[i].isDigit())
                syntax(vm);
            while (i < s.size() && s[i].isDigit())
                ++i;
        }
        if (i < s.size() && (s[i] == u'e' || s[i] == u'E')) {
            ++i;
            if (i < s.size() && (s[i] == u'+' || s[i] == u'-'))
                ++i;
            if (i >= s.size() || !s[i].isDigit())
                syntax(vm);
            while (i < s.size() && s[i].isDigit())
                ++i;
        }
        return Value::number(s.mid(start, i - start).toDouble());
    }
};

Value revive(VM& vm, const Value& holder, const QString& key, const Value& reviver, int depth) {
    Value v = vm.getProperty(holder, vm.publicName(key));
    if (Object* o = v.object(); o && depth < kMaxDepth) {
        if (o->kind == ObjectKind::Array) {
            auto* a = static_cast<Array*>(o);
            for (std::size_t i = 0; i < a->items.size(); ++i) {
                const Value nv = revive(vm, v, QString::number(i), reviver, depth + 1);
                if (i < a->items.size())
                    a->items[i] = nv;
            }
        } else {
            std::vector<QString> keys;
            for (const auto& p : o->dyn)
                if (p.live && p.enumerable)
                    keys.push_back(p.name);
            for (const QString& k : keys) {
                const Value nv = revive(vm, v, k, reviver, depth + 1);
                if (nv.isUndefined())
                    o->deleteDynamic(k);
                else
                    o->setDynamic(k, nv);
            }
        }
    }
    const Value args[] = {Value(key), v};
    return vm.call(reviver, holder, args);
}

Value jsonParse(VM& vm, const Value&, std::span<const Value> args) {
    const QString text = vm.toString(arg(args, 0));
    Parser p{vm, text};
    Value v = p.value(0);
    p.ws();
    if (p.i != text.size())
        syntax(vm);
    const Value reviver = arg(args, 1);
    if (Object* f = reviver.object(); f && f->kind == ObjectKind::Function) {
        Object* root = vm.newObject();
        root->setDynamic(QString(), v);
        return revive(vm, Value(root), QString(), reviver, 0);
    }
    return v;
}

QString quote(const QString& s) {
    QString out = QStringLiteral("\"");
    for (QChar c : s) {
        switch (c.unicode()) {
        case u'"':
            out += QStringLiteral("\\\"");
            break;
        case u'\\':
            out += QStringLiteral("\\\\");
            break;
        case u'\b':
            out += QStringLiteral("\\b");
            break;
        case u'\f':
            out += QStringLiteral("\\f");
            break;
        case u'\n':
            out += QStringLiteral("\\n");
            break;
        case u'\r':
            out += QStringLiteral("\\r");
            break;
        case u'\t':
            out += QStringLiteral("\\t");
            break;
        default:
            if (c.unicode() < 0x20)
                out += QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
            else
                out += c;
        }
    }
    return out + u'"';
}

struct Stringifier {
    VM& vm;
    Value replacerFn;
    std::vector<QString> allowed;
    bool hasAllowed = false;
    QString gap;
    std::vector<Object*> stack;

    // Returns false for values that are left out (undefined, functions).
    bool str(const Value& holder, const QString& key, Value v, const QString& indent,
             QString& out) {
        if (v.object()) {
            const Value toJson = vm.getProperty(v, vm.publicName(QStringLiteral("toJSON")));
            if (Object* f = toJson.object(); f && f->kind == ObjectKind::Function) {
                const Value a[] = {Value(key)};
                v = vm.call(toJson, v, a);
            }
        }
        if (replacerFn.isObject()) {
            const Value a[] = {Value(key), v};
            v = vm.call(replacerFn, holder, a);
        }
        switch (v.tag) {
        case Value::Tag::Undefined:
            return false;
        case Value::Tag::Null:
            out += QStringLiteral("null");
            return true;
        case Value::Tag::Bool:
            out += v.b ? QStringLiteral("true") : QStringLiteral("false");
            return true;
        case Value::Tag::Int:
        case Value::Tag::Number: {
            const double d = v.toDoubleFast();
            out += std::isfinite(d) ? VM::numberToString(d) : QStringLiteral("null");
            return true;
        }
        case Value::Tag::String:
            out += quote(v.s());
            return true;
        case Value::Tag::Object:
            break;
        }
        Object* o = v.o;
        if (o->kind == ObjectKind::Function || o->kind == ObjectKind::Class)
            return false;
        if (std::find(stack.begin(), stack.end(), o) != stack.end())
            vm.throwTypeError(
                1129, QStringLiteral("Cyclic structure cannot be converted to JSON string."));
        if (stack.size() > std::size_t(kMaxDepth))
            vm.throwError("Error", 1023, QStringLiteral("Stack overflow occurred."));
        stack.push_back(o);
        const QString inner = indent + gap;
        const QString sep = gap.isEmpty() ? QStringLiteral(",") : QStringLiteral(",\n") + inner;
        if (o->kind == ObjectKind::Array) {
            const std::vector<Value> items = static_cast<Array*>(o)->items;
            out += u'[';
            if (!items.empty() && !gap.isEmpty())
                out += u'\n' + inner;
            for (std::size_t i = 0; i < items.size(); ++i) {
                if (i)
                    out += sep;
                if (!str(v, QString::number(i), items[i], inner, out))
                    out += QStringLiteral("null");
            }
            if (!items.empty() && !gap.isEmpty())
                out += u'\n' + indent;
            out += u']';
        } else {
            std::vector<QString> keys;
            if (hasAllowed) {
                keys = allowed;
            } else {
                for (const auto& p : o->dyn)
                    if (p.live && p.enumerable)
                        keys.push_back(p.name);
                // Public variables and getters of class instances too.
                if (o->traits && o->cls && o->cls != vm.objectClass) {
                    for (auto it = o->traits->byName.begin(); it != o->traits->byName.end(); ++it)
                        for (auto& e : *it)
                            if (e.ns == vm.publicNs() && e.binding.kind != Binding::Kind::Method &&
                                std::find(keys.begin(), keys.end(), it.key()) == keys.end())
                                keys.push_back(it.key());
                }
            }
            out += u'{';
            bool any = false;
            for (const QString& k : keys) {
                QString piece =
                    quote(k) + (gap.isEmpty() ? QStringLiteral(":") : QStringLiteral(": "));
                if (!str(v, k, vm.getProperty(v, vm.publicName(k)), inner, piece))
                    continue;
                out += any ? sep : (gap.isEmpty() ? QString() : u'\n' + inner);
                out += piece;
                any = true;
            }
            if (any && !gap.isEmpty())
                out += u'\n' + indent;
            out += u'}';
        }
        stack.pop_back();
        return true;
    }
};

Value jsonStringify(VM& vm, const Value&, std::span<const Value> args) {
    Stringifier s{vm, Value(), {}, false, QString(), {}};
    const Value replacer = arg(args, 1);
    if (Object* r = replacer.object()) {
        if (r->kind == ObjectKind::Function)
            s.replacerFn = replacer;
        else if (r->kind == ObjectKind::Array) {
            s.hasAllowed = true;
            for (const Value& k : static_cast<Array*>(r)->items)
                s.allowed.push_back(vm.toString(k));
        }
    }
    const Value space = arg(args, 2);
    if (space.isNumeric())
        s.gap = QString(int(std::clamp(space.toDoubleFast(), 0.0, 10.0)), QLatin1Char(' '));
    else if (space.isString())
        s.gap = space.s().left(10);
    Object* root = vm.newObject();
    root->setDynamic(QString(), arg(args, 0));
    QString out;
    if (!s.str(Value(root), QString(), arg(args, 0), QString(), out))
        return Value();
    return Value(out);
}

} // namespace

void installJson(VM& vm) {
    Class* c =
        vm.defineNativeClass(QString(), QStringLiteral("JSON"), vm.objectClass, nullptr, true);
    vm.addStatic(c, QStringLiteral("parse"), jsonParse);
    vm.addStatic(c, QStringLiteral("stringify"), jsonStringify);
}

} // namespace swf::avm2
