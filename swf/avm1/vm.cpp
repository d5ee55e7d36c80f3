#include "swf/avm1/vm.h"

#include "swf/avm1/bitmap.h"
#include "swf/avm1/loading.h"
#include "swf/avm1/sound.h"
#include "swf/player.h"

#include <QRegularExpression>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace swf::avm1 {

VM::VM(Player* player, std::uint8_t version, const Limits& limits)
    : m_player(player), m_sounds(std::make_unique<ScriptSounds>(*this)),
      m_files(std::make_unique<ScriptFiles>(*this)), m_version(version), m_limits(limits),
      m_globalRegisters(4) {
    m_clock.start();
    m_budget.start();
    installBuiltins();
    installClipApi();
    installTextField();
    installSelection();
    installSound(*this);
    installFileApi(*this);
    installBitmapApi(*this);
}

VM::~VM() = default;

void VM::enter() {
    if (m_depth >= m_limits.maxRecursion)
        throw ScriptAbort{QStringLiteral("256 levels of recursion were exceeded")};
    ++m_depth;
}

void VM::startFrameBudget() {
    m_budget.restart();
    m_exhausted = false;
}

void VM::checkBudget(unsigned cost) {
    if (m_exhausted)
        throw ScriptAbort{QString()};
    m_steps += cost;
    if (m_steps < 1024)
        return;
    m_steps = 0;
    if (m_budget.elapsed() > m_limits.timeout.count()) {
        // Every script left in this frame is skipped too; the movie goes on next frame.
        m_exhausted = true;
        throw ScriptAbort{QStringLiteral("A script has been running too long; it was stopped")};
    }
    if (m_heap.size() > m_limits.maxObjects)
        throw ScriptAbort{QStringLiteral("A script used too much memory; it was stopped")};
}

qsizetype VM::checkedLength(qsizetype n) const {
    if (n > m_limits.maxStringLength)
        throw ScriptAbort{QStringLiteral("A script built too long a string; it was stopped")};
    return n;
}

void VM::warn(const QString& text) {
    if (hooks.warning)
        hooks.warning(text);
}

// ---------------------------------------------------------------------------------------------
// Conversions

double VM::toNumber(const Value& v) {
    switch (v.type) {
    case Value::Type::Undefined:
    case Value::Type::Null:
        return m_version >= 7 ? std::nan("") : 0.0;
    case Value::Type::Boolean:
        return v.boolean ? 1 : 0;
    case Value::Type::Number:
        return v.number;
    case Value::Type::String:
        return stringToNumber(v.string, m_version);
    case Value::Type::Object: {
        if (v.object->kind == Object::Kind::Clip)
            return std::nan("");
        const Value p = toPrimitive(v);
        if (p.isObject())
            return std::nan("");
        return toNumber(p);
    }
    }
    return 0;
}

bool VM::toBoolean(const Value& v) const {
    switch (v.type) {
    case Value::Type::Undefined:
    case Value::Type::Null:
        return false;
    case Value::Type::Boolean:
        return v.boolean;
    case Value::Type::Number:
        return v.number != 0 && !std::isnan(v.number);
    case Value::Type::String:
        if (m_version >= 7)
            return !v.string.isEmpty();
        {
            const double d = stringToNumber(v.string, m_version);
            return d != 0 && !std::isnan(d);
        }
    case Value::Type::Object:
        return true;
    }
    return false;
}

Value VM::toPrimitive(const Value& v, bool preferString) {
    Object* o = v.asObject();
    if (!o)
        return v;
    if (o->kind == Object::Kind::Clip)
        return Value(targetPath(o->clip));
    // A text field on stage reads as its path, as a clip does.
    if (o->kind == Object::Kind::TextField && o->field && o->fieldParent)
        return Value(targetPath(o->fieldParent) + u'.' + o->field->name);
    const QString first = preferString ? QStringLiteral("toString") : QStringLiteral("valueOf");
    const QString second = preferString ? QStringLiteral("valueOf") : QStringLiteral("toString");
    for (const QString& name : {first, second}) {
        const Value fn = getMember(v, name);
        if (Object* f = fn.asObject(); f && f->kind == Object::Kind::Function) {
            Value r = call(fn, v, {});
            if (!r.isObject())
                return r;
        }
    }
    if (o->kind == Object::Kind::Function)
        return Value(QStringLiteral("[type Function]"));
    return Value(QStringLiteral("[type Object]"));
}

QString VM::toString(const Value& v) {
    switch (v.type) {
    case Value::Type::Undefined:
        return m_version >= 7 ? QStringLiteral("undefined") : QString();
    case Value::Type::Null:
        return QStringLiteral("null");
    case Value::Type::Boolean:
        return v.boolean ? QStringLiteral("true") : QStringLiteral("false");
    case Value::Type::Number:
        return numberToString(v.number);
    case Value::Type::String:
        return v.string;
    case Value::Type::Object: {
        if (v.object->kind == Object::Kind::Clip)
            return targetPath(v.object->clip);
        const Value p = toPrimitive(v, true);
        if (p.isObject())
            return QStringLiteral("[type Object]");
        return toString(p);
    }
    }
    return {};
}

QString VM::typeOf(const Value& v) const {
    switch (v.type) {
    case Value::Type::Undefined:
        return QStringLiteral("undefined");
    case Value::Type::Null:
        return QStringLiteral("null");
    case Value::Type::Boolean:
        return QStringLiteral("boolean");
    case Value::Type::Number:
        return QStringLiteral("number");
    case Value::Type::String:
        return QStringLiteral("string");
    case Value::Type::Object:
        if (v.object->kind == Object::Kind::Clip)
            return QStringLiteral("movieclip");
        if (v.object->kind == Object::Kind::Function)
            return QStringLiteral("function");
        return QStringLiteral("object");
    }
    return {};
}

// ---------------------------------------------------------------------------------------------
// Objects

Object* VM::newObject() {
    Object* o = m_heap.make();
    o->proto = m_objectProto;
    return o;
}

Object* VM::box(const Value& v) {
    Object* o = m_heap.make(v.isString()   ? Object::Kind::String
                            : v.isNumber() ? Object::Kind::Number
                                           : Object::Kind::Boolean);
    o->proto = v.isString() ? m_stringProto : v.isNumber() ? m_numberProto : m_booleanProto;
    o->primitive = v;
    return o;
}

Object* VM::newArray(std::vector<Value> elements) {
    Object* o = m_heap.make(Object::Kind::Array);
    o->proto = m_arrayProto;
    o->elements = std::move(elements);
    return o;
}

Object* VM::newFunction(NativeFn fn, Object* prototype) {
    Object* f = m_heap.make(Object::Kind::Function);
    f->proto = m_functionProto;
    f->native = std::move(fn);
    if (prototype) {
        define(f, QStringLiteral("prototype"), Value(prototype));
        define(prototype, QStringLiteral("constructor"), Value(f));
    }
    return f;
}

void VM::define(Object* o, const QString& name, Value v, std::uint8_t flags) {
    o->put(name, key(name), std::move(v), flags);
}

void VM::defineMethod(Object* o, const QString& name, NativeFn fn) {
    define(o, name, Value(newFunction(std::move(fn))));
}

namespace {

// A canonical array index ("0", "12"), else -1.
qint64 arrayIndex(const QString& name) {
    if (name.isEmpty() || name.size() > 10)
        return -1;
    if (name.size() > 1 && name[0] == u'0')
        return -1;
    qint64 v = 0;
    for (QChar c : name) {
        if (c < u'0' || c > u'9')
            return -1;
        v = v * 10 + (c.unicode() - u'0');
    }
    return v;
}

} // namespace

Value VM::getMember(const Value& object, const QString& name) {
    Value out;
    findMember(object, name, out);
    return out;
}

bool VM::findMember(const Value& object, const QString& name, Value& out) {
    Object* o = object.asObject();
    if (!o) {
        switch (object.type) {
        case Value::Type::String:
            if (name == QLatin1String("length")) {
                out = Value(double(object.string.size()));
                return true;
            }
            o = m_stringProto;
            break;
        case Value::Type::Number:
            o = m_numberProto;
            break;
        case Value::Type::Boolean:
            o = m_booleanProto;
            break;
        default:
            return false;
        }
    }
    const Value self = object;
    if (o->kind == Object::Kind::Super) {
        if (!o->superProto)
            return false;
        o = o->superProto;
    }
    if (name == QLatin1String("__proto__")) {
        out = Value(o->proto);
        return o->proto != nullptr;
    }
    const QString k = key(name);
    if (o->kind == Object::Kind::Array) {
        if (k == QLatin1String("length")) {
            out = Value(double(o->elements.size()));
            return true;
        }
        const qint64 i = arrayIndex(name);
        if (i >= 0 && std::size_t(i) < o->elements.size()) {
            out = o->elements[std::size_t(i)];
            return true;
        }
    }
    if (o->kind == Object::Kind::Clip) {
        const int p = clipPropertyIndex(name);
        if (p >= 0) {
            out = o->clip ? getClipProperty(*this, o->clip, p) : Value();
            return true;
        }
    }
    if (o->kind == Object::Kind::TextField && getTextFieldMember(*this, o, name, out))
        return true;
    Object* cur = o;
    for (int guard = 0; cur && guard < 256; ++guard, cur = cur->proto) {
        if (const Object::Slot* s = cur->find(k)) {
            out = s->getter ? call(Value(s->getter), self, {}) : s->value;
            return true;
        }
        if (cur->kind == Object::Kind::Clip && cur->clip) {
            if (name.compare(QLatin1String("_parent"), Qt::CaseInsensitive) == 0) {
                out = cur->clip->parent() ? Value(clipObject(cur->clip->parent())) : Value();
                return true;
            }
            if (name.compare(QLatin1String("_root"), Qt::CaseInsensitive) == 0) {
                out = Value(clipObject(rootOf(cur->clip)));
                return true;
            }
            if (name.compare(QLatin1String("_global"), Qt::CaseInsensitive) == 0) {
                out = Value(m_global);
                return true;
            }
            const auto cs = m_version >= 7 ? Qt::CaseSensitive : Qt::CaseInsensitive;
            if (DisplayObject* d = cur->clip->displayList().byName(name, cs)) {
                if (d->clip()) {
                    out = Value(clipObject(d->clip()));
                    return true;
                }
                if (d->button()) {
                    out = Value(clipObject(&d->button()->host()));
                    return true;
                }
                if (d->character && d->character->type == CharacterType::EditText) {
                    out = Value(textFieldObject(d, cur->clip));
                    return true;
                }
            }
        }
    }
    return false;
}

void VM::setMember(const Value& object, const QString& name, const Value& v) {
    Object* o = object.asObject();
    if (!o)
        return;
    if (o->kind == Object::Kind::Super)
        return;
    if (name == QLatin1String("__proto__")) {
        if (v.isObject() || v.isNull())
            o->proto = v.asObject();
        return;
    }
    const QString k = key(name);
    if (o->kind == Object::Kind::Array) {
        if (k == QLatin1String("length")) {
            const double n = toNumber(v);
            if (n >= 0 && std::isfinite(n))
                o->elements.resize(std::size_t(std::min(n, double(m_limits.maxArrayLength))));
            return;
        }
        const qint64 i = arrayIndex(name);
        if (i >= 0) {
            if (std::size_t(i) >= m_limits.maxArrayLength)
                return;
            if (std::size_t(i) >= o->elements.size())
                o->elements.resize(std::size_t(i) + 1);
            o->elements[std::size_t(i)] = v;
            return;
        }
    }
    if (o->kind == Object::Kind::Clip) {
        const int p = clipPropertyIndex(name);
        if (p >= 0) {
            if (o->clip)
                setClipProperty(*this, o->clip, p, v);
            return;
        }
    }
    if (o->kind == Object::Kind::TextField && setTextFieldMember(*this, o, name, v))
        return;
    if (Object::Slot* s = o->find(k)) {
        if (s->setter) {
            const Value arg[] = {v};
            call(Value(s->setter), object, arg);
            return;
        }
        if (!(s->flags & ReadOnly))
            s->value = v;
        return;
    }
    // A setter on a prototype (addProperty) catches the assignment.
    int guard = 0;
    for (Object* p = o->proto; p && guard < 256; p = p->proto, ++guard) {
        if (const Object::Slot* s = p->find(k); s && s->setter) {
            const Value arg[] = {v};
            call(Value(s->setter), object, arg);
            return;
        }
    }
    o->put(name, k, v);
}

bool VM::instanceOf(const Value& v, const Value& ctor) {
    Object* o = v.asObject();
    Object* c = ctor.asObject();
    if (!o || !c)
        return false;
    const Value protoV = getMember(ctor, QStringLiteral("prototype"));
    Object* proto = protoV.asObject();
    if (!proto)
        return false;
    int guard = 0;
    for (Object* p = o->proto; p && guard < 256; p = p->proto, ++guard) {
        if (p == proto)
            return true;
        for (Object* i : p->interfaces) {
            if (i == c)
                return true;
        }
    }
    return false;
}

Value VM::construct(const Value& ctor, std::span<const Value> args) {
    Object* c = ctor.asObject();
    if (!c || c->kind != Object::Kind::Function)
        return {};
    if (c->nativeConstruct)
        return c->nativeConstruct(*this, Value(), args);
    Object* o = newObject();
    const Value proto = getMember(ctor, QStringLiteral("prototype"));
    o->proto = proto.asObject();
    define(o, QStringLiteral("__constructor__"), ctor);
    if (m_version < 7)
        define(o, QStringLiteral("constructor"), ctor);
    const Value r = call(ctor, Value(o), args, o->proto);
    if (c->native && r.isObject())
        return r;
    return Value(o);
}

// ---------------------------------------------------------------------------------------------
// Timelines

Object* VM::clipObject(MovieClip* clip) {
    if (!clip)
        return nullptr;
    auto it = m_clipObjects.constFind(clip);
    if (it != m_clipObjects.constEnd())
        return *it;
    Object* o = m_heap.make(Object::Kind::Clip);
    o->clip = clip;
    o->proto = m_clipProto;
    if (const Sprite* s = clip->sprite(); s && m_player) {
        for (const ExportedAsset& e : clip->origin().movie().exports) {
            if (e.characterId == s->id) {
                if (Object* cls = registeredClasses.value(key(e.name))) {
                    const Value p = getMember(Value(cls), QStringLiteral("prototype"));
                    if (p.isObject())
                        o->proto = p.object;
                }
            }
        }
    }
    m_clipObjects.insert(clip, o);
    return o;
}

void VM::clipRemoved(MovieClip* clip) {
    auto it = m_clipObjects.find(clip);
    if (it != m_clipObjects.end()) {
        (*it)->clip = nullptr;
        m_clipObjects.erase(it);
    }
    if (dragClip == clip)
        dragClip = nullptr;
    if (buttonFocus == clip)
        buttonFocus = nullptr;
    focusRects.remove(clip);
    lockRoots.remove(clip);
    m_sounds->clipRemoved(clip);
}

Object* VM::textFieldObject(DisplayObject* field, MovieClip* parent) {
    if (!field)
        return nullptr;
    auto it = m_textObjects.constFind(field);
    if (it != m_textObjects.constEnd())
        return *it;
    Object* o = m_heap.make(Object::Kind::TextField);
    o->field = field;
    o->fieldParent = parent;
    o->proto = m_textFieldProto;
    m_textObjects.insert(field, o);
    return o;
}

void VM::textRemoved(DisplayObject* field) {
    fieldFormats.remove(field);
    fieldRestrict.remove(field);
    styledFields.remove(field);
    if (textFocus.field == field)
        textFocus = {};
    auto it = m_textObjects.find(field);
    if (it != m_textObjects.end()) {
        (*it)->field = nullptr;
        (*it)->fieldParent = nullptr;
        m_textObjects.erase(it);
    }
}

MovieClip* VM::rootClip() const {
    return m_player ? &m_player->root() : nullptr;
}

MovieClip* VM::rootOf(MovieClip* from) const {
    MovieClip* c = from;
    for (int guard = 0; c && m_player && guard < 1024; ++guard) {
        if (!c->parent())
            return m_player->levelOf(*c) >= 0 ? c : rootClip();
        if (c->isMovieRoot() && lockRoots.contains(c))
            return c;
        c = c->parent();
    }
    return rootClip();
}

int levelNumber(const QString& name) {
    if (name.size() < 6 || !name.startsWith(QLatin1String("_level"), Qt::CaseInsensitive))
        return -1;
    if (name.size() == 6)
        return 0; // the player reads a bare `_level` as level 0
    bool ok = false;
    const int n = name.mid(6).toInt(&ok);
    return ok && n >= 0 && name[6].isDigit() ? n : -1;
}

MovieClip* VM::levelClip(int n) const {
    return m_player ? m_player->level(n) : nullptr;
}

DisplayObject* VM::displayObjectOf(MovieClip* clip) const {
    if (!clip)
        return nullptr;
    if (clip->parent()) {
        for (const auto& o : clip->parent()->displayList().objects()) {
            // A button's host clip stands for the button to scripts.
            if (o->clip() == clip || (o->button() && &o->button()->host() == clip))
                return o.get();
        }
    }
    if (m_player && !clip->parent()) {
        for (const auto& [n, o] : m_player->levels()) {
            if (o->clip() == clip)
                return o.get();
        }
    }
    // A clip that left the stage keeps its name and place while its unload handlers run.
    if (m_player) {
        for (const auto& o : PlayerScripting(*m_player).unloaded()) {
            if (o->clip() == clip)
                return o.get();
        }
    }
    return nullptr;
}

QString VM::targetPath(MovieClip* clip) const {
    if (!clip)
        return {};
    QStringList parts;
    MovieClip* top = clip;
    for (MovieClip* c = clip; c && c->parent(); c = c->parent()) {
        DisplayObject* d = displayObjectOf(c);
        parts.prepend(d ? d->name : QString());
        top = c->parent();
    }
    const int level = m_player && top ? m_player->levelOf(*top) : 0;
    QString path = QStringLiteral("_level%1").arg(std::max(level, 0));
    for (const QString& p : parts)
        path += u'.' + p;
    return path;
}

MovieClip* VM::resolveTarget(const QString& path, MovieClip* base) {
    if (path.isEmpty())
        return base;
    MovieClip* cur = base;
    QString p = path;
    if (p.startsWith(u'/')) {
        cur = rootOf(base);
        p = p.mid(1);
    }
    const QStringList parts =
        p.split(QRegularExpression(QStringLiteral("[/.]")), Qt::SkipEmptyParts);
    const auto cs = m_version >= 7 ? Qt::CaseSensitive : Qt::CaseInsensitive;
    for (const QString& part : parts) {
        if (!cur)
            return nullptr;
        if (part == QLatin1String("..") ||
            part.compare(QLatin1String("_parent"), Qt::CaseInsensitive) == 0) {
            cur = cur->parent();
        } else if (part.compare(QLatin1String("_root"), Qt::CaseInsensitive) == 0) {
            cur = rootOf(cur);
        } else if (int n = levelNumber(part); n >= 0) {
            cur = levelClip(n);
        } else if (part == QLatin1String("this")) {
            // stays
        } else {
            DisplayObject* d = cur->displayList().byName(part, cs);
            if (d && d->clip())
                cur = d->clip();
            else if (d && d->button())
                cur = &d->button()->host();
            else
                return nullptr;
        }
    }
    return cur;
}

// ---------------------------------------------------------------------------------------------
// Garbage

void VM::collectGarbage() {
    std::vector<Object*> r = roots;
    r.insert(r.end(), {m_global, m_objectProto, m_functionProto, m_arrayProto, m_clipProto,
                       m_stringProto, m_numberProto, m_booleanProto, m_dateProto, m_errorProto});
    for (Object* o : m_clipObjects)
        r.push_back(o);
    for (Object* o : m_textObjects)
        r.push_back(o);
    r.push_back(m_textFieldProto);
    r.insert(r.end(), stageListeners.begin(), stageListeners.end());
    for (Object* o : registeredClasses)
        r.push_back(o);
    r.insert(r.end(), keyListeners.begin(), keyListeners.end());
    r.insert(r.end(), mouseListeners.begin(), mouseListeners.end());
    r.insert(r.end(), selectionListeners.begin(), selectionListeners.end());
    m_sounds->addRoots(r);
    m_files->addRoots(r);
    std::vector<const Value*> values;
    for (const Value& v : m_globalRegisters)
        values.push_back(&v);
    for (const Value& v : stack)
        values.push_back(&v);
    for (const Interval& i : m_intervals) {
        values.push_back(&i.fn);
        values.push_back(&i.self);
        for (const Value& v : i.args)
            values.push_back(&v);
    }
    m_heap.collect(r, values);
}

} // namespace swf::avm1
