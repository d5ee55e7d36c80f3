#include "swf/avm1/value.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace swf::avm1 {

namespace {
constexpr int IndexThreshold = 12;
}

Object::Slot* Object::find(const QString& key) {
    if (!m_index.isEmpty()) {
        auto it = m_index.constFind(key);
        return it == m_index.constEnd() ? nullptr : &m_slots[std::size_t(*it)];
    }
    for (Slot& s : m_slots) {
        if (s.key == key)
            return &s;
    }
    return nullptr;
}

const Object::Slot* Object::find(const QString& key) const {
    return const_cast<Object*>(this)->find(key);
}

Object::Slot& Object::put(const QString& name, const QString& key, Value v, std::uint8_t flags) {
    if (Slot* s = find(key)) {
        s->value = std::move(v);
        return *s;
    }
    m_slots.push_back({name, key, std::move(v), flags, nullptr, nullptr});
    if (!m_index.isEmpty())
        m_index.insert(key, int(m_slots.size() - 1));
    else if (m_slots.size() > IndexThreshold)
        reindex();
    return m_slots.back();
}

bool Object::remove(const QString& key) {
    auto it =
        std::find_if(m_slots.begin(), m_slots.end(), [&](const Slot& s) { return s.key == key; });
    if (it == m_slots.end() || (it->flags & DontDelete))
        return false;
    m_slots.erase(it);
    if (!m_index.isEmpty())
        reindex();
    return true;
}

void Object::reindex() {
    m_index.clear();
    if (m_slots.size() <= IndexThreshold)
        return;
    m_index.reserve(qsizetype(m_slots.size()));
    for (std::size_t i = 0; i < m_slots.size(); ++i)
        m_index.insert(m_slots[i].key, int(i));
}

void Heap::collect(const std::vector<Object*>& roots, const std::vector<const Value*>& valueRoots) {
    std::vector<Object*> work;
    auto mark = [&](Object* o) {
        if (o && !o->marked) {
            o->marked = true;
            work.push_back(o);
        }
    };
    auto markValue = [&](const Value& v) {
        if (v.type == Value::Type::Object)
            mark(v.object);
    };
    for (Object* o : roots)
        mark(o);
    for (const Value* v : valueRoots)
        markValue(*v);
    while (!work.empty()) {
        Object* o = work.back();
        work.pop_back();
        mark(o->proto);
        for (const auto& s : o->properties()) {
            markValue(s.value);
            mark(s.getter);
            mark(s.setter);
        }
        if (o->script) {
            for (Object* s : o->script->scope)
                mark(s);
            mark(o->script->target);
        }
        for (const Value& v : o->elements)
            markValue(v);
        markValue(o->primitive);
        mark(o->superProto);
        mark(o->superThis);
        for (const Value& v : o->extra)
            markValue(v);
        for (Object* i : o->interfaces)
            mark(i);
    }
    std::erase_if(m_objects, [](const std::unique_ptr<Object>& o) { return !o->marked; });
    for (auto& o : m_objects)
        o->marked = false;
}

QString numberToString(double d) {
    if (std::isnan(d))
        return QStringLiteral("NaN");
    if (std::isinf(d))
        return d > 0 ? QStringLiteral("Infinity") : QStringLiteral("-Infinity");
    if (d == 0)
        return QStringLiteral("0");
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.14e", d); // 15 significant digits, rounded
    const char* p = buf;
    const bool negative = *p == '-';
    if (negative)
        ++p;
    std::string digits;
    for (; *p && *p != 'e'; ++p) {
        if (*p != '.')
            digits.push_back(*p);
    }
    const int exponent = std::atoi(p + 1);
    while (digits.size() > 1 && digits.back() == '0')
        digits.pop_back();
    std::string out = negative ? "-" : "";
    if (exponent < -5 || exponent >= 15) {
        out += digits[0];
        if (digits.size() > 1) {
            out += '.';
            out += digits.substr(1);
        }
        out += 'e';
        out += exponent < 0 ? '-' : '+';
        out += std::to_string(std::abs(exponent));
    } else if (exponent < 0) {
        out += "0.";
        out.append(std::size_t(-exponent - 1), '0');
        out += digits;
    } else {
        const std::size_t intDigits = std::size_t(exponent) + 1;
        if (digits.size() <= intDigits) {
            out += digits;
            out.append(intDigits - digits.size(), '0');
        } else {
            out += digits.substr(0, intDigits);
            out += '.';
            out += digits.substr(intDigits);
        }
    }
    return QString::fromLatin1(out.c_str());
}

double stringToNumber(const QString& text, std::uint8_t version) {
    const QString s = text.trimmed();
    if (s.isEmpty())
        return version >= 5 ? std::nan("") : 0.0;
    bool ok = false;
    if (s.size() > 2 && s[0] == u'0' && (s[1] == u'x' || s[1] == u'X')) {
        const qlonglong v = s.mid(2).toLongLong(&ok, 16);
        return ok ? double(std::int32_t(std::uint32_t(v))) : std::nan("");
    }
    if (s.size() > 3 && (s[0] == u'-' || s[0] == u'+') && s[1] == u'0' &&
        (s[2] == u'x' || s[2] == u'X')) {
        const qlonglong v = s.mid(3).toLongLong(&ok, 16);
        if (!ok)
            return std::nan("");
        const double r = double(std::int32_t(std::uint32_t(v)));
        return s[0] == u'-' ? -r : r;
    }
    // Only plain decimal notation; "Infinity", "inf" or "nan" are not numbers here.
    for (QChar c : s) {
        if (!(c.isDigit() || c == u'.' || c == u'-' || c == u'+' || c == u'e' || c == u'E'))
            return std::nan("");
    }
    const double v = s.toDouble(&ok);
    return ok ? v : std::nan("");
}

std::int32_t toInt32(double d) {
    if (!std::isfinite(d))
        return 0;
    const double t = std::trunc(d);
    const double m = std::fmod(t, 4294967296.0);
    const double u = m < 0 ? m + 4294967296.0 : m;
    return std::int32_t(std::uint32_t(u));
}

} // namespace swf::avm1
