#include "swf/avm1/loading.h"

#include "swf/avm1/vm.h"
#include "swf/player.h"

#include <QSet>
#include <QUrl>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace swf::avm1 {

namespace {

Value arg(std::span<const Value> a, std::size_t i) {
    return i < a.size() ? a[i] : Value();
}

constexpr std::uint32_t kClipEventData = 0x100;
constexpr int kMaxXmlDepth = 256;

bool useCodepage(VM& vm) {
    const Value system = vm.getMember(Value(vm.global()), QStringLiteral("System"));
    return system.isObject() && vm.toBoolean(vm.getMember(system, QStringLiteral("useCodepage")));
}

QString textOf(VM& vm, const QByteArray& bytes) {
    return files::decodeText(bytes, useCodepage(vm), vm.version() <= 5);
}

// %XX and + of a form-encoded part. The text around is already decoded; each run of %XX
// bytes is text in the encoding the file's own would be read in.
QString unescapePart(VM& vm, const QString& part) {
    QString out;
    QByteArray bytes;
    auto flushBytes = [&] {
        if (!bytes.isEmpty())
            out += files::decodeText(bytes, useCodepage(vm), vm.version() <= 5);
        bytes.clear();
    };
    auto hex = [](QChar c) { return c.unicode() < 128 && std::isxdigit(int(c.unicode())); };
    for (qsizetype i = 0; i < part.size(); ++i) {
        const QChar c = part.at(i);
        if (c == u'%' && i + 2 < part.size() && hex(part.at(i + 1)) && hex(part.at(i + 2))) {
            bytes += char(part.mid(i + 1, 2).toUInt(nullptr, 16));
            i += 2;
            continue;
        }
        flushBytes();
        out += c == u'+' ? QChar(u' ') : c;
    }
    flushBytes();
    return out;
}

QString escapePart(const QString& s) {
    return QString::fromLatin1(QUrl::toPercentEncoding(s, QByteArray(), QByteArray("-_.~!*'()")))
        .replace(QLatin1String("~"), QLatin1String("%7E"));
}

// name=value&name=value… onto an object, as LoadVars.decode and loadVariables do.
void decodeVariables(VM& vm, Object* target, const QString& text) {
    const QStringList pairs = text.split(u'&');
    for (const QString& pair : pairs) {
        vm.checkBudget();
        if (pair.isEmpty())
            continue;
        const qsizetype eq = pair.indexOf(u'=');
        // Files written by hand end lines with CR LF after the last value.
        QString name = unescapePart(vm, eq < 0 ? pair : pair.left(eq));
        QString value = eq < 0 ? QString() : unescapePart(vm, pair.mid(eq + 1));
        name = name.trimmed();
        if (name.isEmpty())
            continue;
        vm.setMember(Value(target), name, Value(value));
    }
}

// Own enumerable members, as for..in would list them.
std::vector<std::pair<QString, Value>> enumerable(VM& vm, Object* o) {
    std::vector<std::pair<QString, Value>> out;
    const auto& props = o->properties();
    for (auto it = props.rbegin(); it != props.rend(); ++it) {
        if (it->flags & DontEnum)
            continue;
        out.emplace_back(it->name, it->getter ? vm.getMember(Value(o), it->name) : it->value);
    }
    return out;
}

// ---- XML -------------------------------------------------------------------------------

// A node keeps its parent and a children array in `extra`, under a marker.
enum : std::size_t { NodeParent, NodeChildren, NodeMarker, NodeSlots };
const QString kNodeMarker = QStringLiteral("\x01xmlnode");

bool isNode(const Object* o) {
    return o && o->extra.size() == NodeSlots && o->extra[NodeMarker].isString() &&
           o->extra[NodeMarker].string == kNodeMarker;
}
Object* parentOf(Object* n) {
    return n->extra[NodeParent].asObject();
}
std::vector<Value>& childrenOf(Object* n) {
    return n->extra[NodeChildren].asObject()->elements;
}

struct XmlApi {
    VM& vm;
    Object* nodeProto = nullptr;
    Object* xmlProto = nullptr;

    Object* makeNode(Object* proto, int type, const Value& name, const Value& value) const {
        vm.checkBudget(4);
        Object* n = vm.newObject();
        n->proto = proto;
        n->extra.resize(NodeSlots);
        n->extra[NodeParent] = Value::null();
        n->extra[NodeChildren] = Value(vm.newArray());
        n->extra[NodeMarker] = Value(kNodeMarker);
        vm.setMember(Value(n), QStringLiteral("nodeType"), Value(type));
        vm.setMember(Value(n), QStringLiteral("nodeName"), name);
        vm.setMember(Value(n), QStringLiteral("nodeValue"), value);
        vm.setMember(Value(n), QStringLiteral("attributes"), Value(vm.newObject()));
        return n;
    }
    Object* element(const QString& name) const {
        return makeNode(nodeProto, 1, Value(name), Value::null());
    }
    Object* textNode(const QString& text) const {
        return makeNode(nodeProto, 3, Value::null(), Value(text));
    }

    static void detach(Object* n) {
        if (Object* p = parentOf(n); p && isNode(p)) {
            auto& kids = childrenOf(p);
            std::erase_if(kids, [n](const Value& v) { return v.asObject() == n; });
        }
        n->extra[NodeParent] = Value::null();
    }
    static bool isAncestor(Object* maybe, Object* n) {
        int guard = 0;
        for (Object* c = n; c && guard < 100000; c = parentOf(c), ++guard) {
            if (!isNode(c))
                return false;
            if (c == maybe)
                return true;
        }
        return false;
    }
    // Puts `child` under `parent` before `before` (null: at the end). Refuses to make a
    // node its own ancestor.
    static bool insert(Object* parent, Object* child, Object* before) {
        if (!isNode(parent) || !isNode(child) || isAncestor(child, parent))
            return false;
        detach(child);
        auto& kids = childrenOf(parent);
        auto at = kids.end();
        if (before) {
            at = std::find_if(kids.begin(), kids.end(),
                              [before](const Value& v) { return v.asObject() == before; });
        }
        kids.insert(at, Value(child));
        child->extra[NodeParent] = Value(parent);
        return true;
    }

    static QString escape(const QString& s) {
        QString out;
        out.reserve(s.size());
        for (QChar c : s) {
            switch (c.unicode()) {
            case '&':
                out += QLatin1String("&amp;");
                break;
            case '<':
                out += QLatin1String("&lt;");
                break;
            case '>':
                out += QLatin1String("&gt;");
                break;
            case '"':
                out += QLatin1String("&quot;");
                break;
            case '\'':
                out += QLatin1String("&apos;");
                break;
            default:
                out += c;
            }
        }
        return out;
    }

    static QString unescape(const QString& s) {
        if (!s.contains(u'&'))
            return s;
        QString out;
        for (qsizetype i = 0; i < s.size(); ++i) {
            if (s.at(i) != u'&') {
                out += s.at(i);
                continue;
            }
            const qsizetype semi = s.indexOf(u';', i);
            if (semi < 0 || semi - i > 10) {
                out += s.at(i);
                continue;
            }
            const QString name = s.mid(i + 1, semi - i - 1);
            QString rep;
            if (name == QLatin1String("lt"))
                rep = QStringLiteral("<");
            else if (name == QLatin1String("gt"))
                rep = QStringLiteral(">");
            else if (name == QLatin1String("amp"))
                rep = QStringLiteral("&");
            else if (name == QLatin1String("quot"))
                rep = QStringLiteral("\"");
            else if (name == QLatin1String("apos"))
                rep = QStringLiteral("'");
            else if (name.startsWith(u'#')) {
                bool ok = false;
                const uint code = name.size() > 1 && (name.at(1) == u'x' || name.at(1) == u'X')
                                      ? name.mid(2).toUInt(&ok, 16)
                                      : name.mid(1).toUInt(&ok, 10);
                if (ok && code > 0 && code <= 0x10FFFF && !(code >= 0xD800 && code <= 0xDFFF)) {
                    const char32_t c = code;
                    rep = QString::fromUcs4(&c, 1);
                }
            }
            if (rep.isNull()) {
                out += s.at(i);
                continue;
            }
            out += rep;
            i = semi;
        }
        return out;
    }

    QString serialize(Object* n, int depth) const {
        vm.checkBudget();
        QString out;
        if (depth > kMaxXmlDepth)
            return out;
        const int type = vm.toInt(vm.getMember(Value(n), QStringLiteral("nodeType")));
        if (type == 3) {
            const Value v = vm.getMember(Value(n), QStringLiteral("nodeValue"));
            return v.isNullish() ? QString() : escape(vm.toString(v));
        }
        const Value nameV = vm.getMember(Value(n), QStringLiteral("nodeName"));
        const bool named = !nameV.isNullish();
        if (named) {
            out += u'<' + vm.toString(nameV);
            if (Object* attrs = vm.getMember(Value(n), QStringLiteral("attributes")).asObject()) {
                auto list = enumerable(vm, attrs);
                for (auto it = list.rbegin(); it != list.rend(); ++it)
                    out += u' ' + it->first + QLatin1String("=\"") +
                           escape(vm.toString(it->second)) + u'"';
            }
        }
        const std::vector<Value> kids = childrenOf(n);
        if (named && kids.empty())
            return out + QLatin1String(" />");
        if (named)
            out += u'>';
        for (const Value& k : kids) {
            if (Object* c = k.asObject(); isNode(c))
                out += serialize(c, depth + 1);
            vm.checkedLength(out.size());
        }
        if (named)
            out += QLatin1String("</") + vm.toString(nameV) + u'>';
        return out;
    }

    Object* clone(Object* n, bool deep, int depth) const {
        const Value type = vm.getMember(Value(n), QStringLiteral("nodeType"));
        Object* c =
            makeNode(nodeProto, vm.toInt(type), vm.getMember(Value(n), QStringLiteral("nodeName")),
                     vm.getMember(Value(n), QStringLiteral("nodeValue")));
        if (Object* attrs = vm.getMember(Value(n), QStringLiteral("attributes")).asObject()) {
            Object* copy = vm.getMember(Value(c), QStringLiteral("attributes")).asObject();
            auto list = enumerable(vm, attrs);
            for (auto it = list.rbegin(); it != list.rend(); ++it)
                vm.setMember(Value(copy), it->first, it->second);
        }
        if (deep && depth < kMaxXmlDepth) {
            for (const Value& k : std::vector<Value>(childrenOf(n))) {
                if (Object* kid = k.asObject(); isNode(kid))
                    insert(c, clone(kid, true, depth + 1), nullptr);
            }
        }
        return c;
    }

    // Replaces the document's children with the parsed text; the status as the player gives
    // it: 0 well formed, -2 CDATA, -3 declaration, -4 DOCTYPE, -5 comment not closed, -6 a
    // malformed element, -8 an attribute value not closed, -9 an element never closed, -10
    // an end tag without its start.
    int parse(Object* doc, const QString& text, bool ignoreWhite) const {
        for (const Value& k : std::vector<Value>(childrenOf(doc))) {
            if (Object* kid = k.asObject(); isNode(kid))
                detach(kid);
        }
        QString xmlDecl, docType;
        std::vector<Object*> open{doc};
        std::vector<QString> openNames{QString()};
        const qsizetype n = text.size();
        qsizetype pos = 0;
        int status = 0;
        auto addText = [&](const QString& raw, bool cdata) {
            if (ignoreWhite && raw.trimmed().isEmpty())
                return;
            insert(open.back(), textNode(cdata ? raw : unescape(raw)), nullptr);
        };
        auto startsAt = [&](const char* s) {
            return text.mid(pos, qsizetype(std::strlen(s))) == QLatin1String(s);
        };
        while (pos < n && status == 0) {
            vm.checkBudget();
            if (text.at(pos) != u'<') {
                qsizetype end = text.indexOf(u'<', pos);
                if (end < 0)
                    end = n;
                addText(text.mid(pos, end - pos), false);
                pos = end;
                continue;
            }
            if (startsAt("<!--")) {
                const qsizetype end = text.indexOf(QLatin1String("-->"), pos + 4);
                if (end < 0) {
                    status = -5;
                    break;
                }
                pos = end + 3;
            } else if (startsAt("<![CDATA[")) {
                const qsizetype end = text.indexOf(QLatin1String("]]>"), pos + 9);
                if (end < 0) {
                    status = -2;
                    break;
                }
                const QString raw = text.mid(pos + 9, end - pos - 9);
                if (!(ignoreWhite && raw.trimmed().isEmpty()))
                    insert(open.back(), textNode(raw), nullptr);
                pos = end + 3;
            } else if (startsAt("<?")) {
                const qsizetype end = text.indexOf(QLatin1String("?>"), pos + 2);
                if (end < 0) {
                    status = -3;
                    break;
                }
                xmlDecl += text.mid(pos, end + 2 - pos);
                pos = end + 2;
            } else if (startsAt("<!")) {
                int brackets = 0;
                qsizetype end = pos + 2;
                for (; end < n; ++end) {
                    const QChar c = text.at(end);
                    if (c == u'[')
                        ++brackets;
                    else if (c == u']')
                        --brackets;
                    else if (c == u'>' && brackets <= 0)
                        break;
                }
                if (end >= n) {
                    status = -4;
                    break;
                }
                docType += text.mid(pos, end + 1 - pos);
                pos = end + 1;
            } else if (startsAt("</")) {
                const qsizetype end = text.indexOf(u'>', pos);
                if (end < 0) {
                    status = -6;
                    break;
                }
                const QString name = text.mid(pos + 2, end - pos - 2).trimmed();
                if (open.size() < 2 || openNames.back() != name) {
                    status = -10;
                    break;
                }
                open.pop_back();
                openNames.pop_back();
                pos = end + 1;
            } else {
                status = startTag(text, pos, open, openNames);
            }
        }
        if (status == 0 && open.size() > 1)
            status = -9;
        vm.setMember(Value(doc), QStringLiteral("xmlDecl"),
                     xmlDecl.isEmpty() ? Value() : Value(xmlDecl));
        vm.setMember(Value(doc), QStringLiteral("docTypeDecl"),
                     docType.isEmpty() ? Value() : Value(docType));
        vm.setMember(Value(doc), QStringLiteral("status"), Value(status));
        return status;
    }

    int startTag(const QString& text, qsizetype& pos, std::vector<Object*>& open,
                 std::vector<QString>& openNames) const {
        const qsizetype n = text.size();
        auto isNameEnd = [](QChar c) { return c.isSpace() || c == u'/' || c == u'>'; };
        qsizetype i = pos + 1;
        while (i < n && !isNameEnd(text.at(i)) && text.at(i) != u'=')
            ++i;
        const QString name = text.mid(pos + 1, i - pos - 1);
        if (name.isEmpty() || i >= n)
            return -6;
        Object* e = element(name);
        Object* attrs = vm.getMember(Value(e), QStringLiteral("attributes")).asObject();
        while (true) {
            while (i < n && text.at(i).isSpace())
                ++i;
            if (i >= n)
                return -6;
            if (text.at(i) == u'>') {
                if (open.size() > kMaxXmlDepth)
                    return -6;
                insert(open.back(), e, nullptr);
                open.push_back(e);
                openNames.push_back(name);
                pos = i + 1;
                return 0;
            }
            if (text.at(i) == u'/') {
                if (i + 1 >= n || text.at(i + 1) != u'>')
                    return -6;
                insert(open.back(), e, nullptr);
                pos = i + 2;
                return 0;
            }
            const qsizetype nameStart = i;
            while (i < n && !isNameEnd(text.at(i)) && text.at(i) != u'=')
                ++i;
            const QString attr = text.mid(nameStart, i - nameStart);
            while (i < n && text.at(i).isSpace())
                ++i;
            if (attr.isEmpty() || i >= n || text.at(i) != u'=')
                return -6;
            ++i;
            while (i < n && text.at(i).isSpace())
                ++i;
            if (i >= n || (text.at(i) != u'"' && text.at(i) != u'\''))
                return -6;
            const QChar quote = text.at(i);
            const qsizetype end = text.indexOf(quote, i + 1);
            if (end < 0)
                return -8;
            vm.setMember(Value(attrs), attr, Value(unescape(text.mid(i + 1, end - i - 1))));
            i = end + 1;
        }
    }

    void install();
};

Object* nodeArg(std::span<const Value> a, std::size_t i) {
    Object* o = arg(a, i).asObject();
    return isNode(o) ? o : nullptr;
}

// ---- shared object values ------------------------------------------------------------------

sharedobject::StoredValue toStored(VM& vm, const Value& v, int depth, QSet<Object*>& path) {
    using T = sharedobject::StoredValue::Type;
    sharedobject::StoredValue s;
    switch (v.type) {
    case Value::Type::Undefined:
        return s;
    case Value::Type::Null:
        s.type = T::Null;
        return s;
    case Value::Type::Boolean:
        s.type = T::Boolean;
        s.boolean = v.boolean;
        return s;
    case Value::Type::Number:
        s.type = T::Number;
        s.number = v.number;
        return s;
    case Value::Type::String:
        s.type = T::String;
        s.string = v.string;
        return s;
    case Value::Type::Object:
        break;
    }
    Object* o = v.object;
    vm.checkBudget();
    // Functions, clips and text fields belong to this run only; a loop is cut where it closes.
    if (depth >= sharedobject::kMaxDepth || path.contains(o) || o->kind == Object::Kind::Function ||
        o->kind == Object::Kind::Clip || o->kind == Object::Kind::TextField)
        return s;
    switch (o->kind) {
    case Object::Kind::Boolean:
    case Object::Kind::Number:
    case Object::Kind::String:
        return toStored(vm, o->primitive, depth + 1, path);
    case Object::Kind::Date:
        s.type = T::Date;
        s.number = vm.toNumber(o->primitive);
        return s;
    default:
        break;
    }
    path.insert(o);
    if (o->kind == Object::Kind::Array) {
        s.type = T::Array;
        s.length = std::uint32_t(o->elements.size());
        for (std::size_t i = 0; i < o->elements.size(); ++i) {
            if (!o->elements[i].isUndefined())
                s.members.emplace_back(QString::number(i),
                                       toStored(vm, o->elements[i], depth + 1, path));
        }
    } else {
        s.type = T::Object;
    }
    auto list = enumerable(vm, o);
    for (auto it = list.rbegin(); it != list.rend(); ++it) {
        if (Object* f = it->second.asObject(); f && f->kind == Object::Kind::Function)
            continue;
        s.members.emplace_back(it->first, toStored(vm, it->second, depth + 1, path));
    }
    path.remove(o);
    return s;
}

Value fromStored(VM& vm, const sharedobject::StoredValue& s) {
    using T = sharedobject::StoredValue::Type;
    vm.checkBudget();
    switch (s.type) {
    case T::Undefined:
        return Value();
    case T::Null:
        return Value::null();
    case T::Boolean:
        return Value(s.boolean);
    case T::Number:
        return Value(s.number);
    case T::String:
        return Value(s.string);
    case T::Date: {
        const Value date = vm.getMember(Value(vm.global()), QStringLiteral("Date"));
        const Value ms(s.number);
        return vm.construct(date, std::span<const Value>(&ms, 1));
    }
    case T::Array: {
        Object* a = vm.newArray();
        a->elements.resize(std::min<std::size_t>(s.length, vm.limits().maxArrayLength));
        for (const auto& [name, value] : s.members)
            vm.setMember(Value(a), name, fromStored(vm, value));
        return Value(a);
    }
    case T::Object: {
        Object* o = vm.newObject();
        for (const auto& [name, value] : s.members)
            vm.setMember(Value(o), name, fromStored(vm, value));
        return Value(o);
    }
    }
    return Value();
}

// A SharedObject keeps its file in extra[0].
QString storeFileOf(Object* so) {
    return so && !so->extra.empty() && so->extra[0].isString() ? so->extra[0].string : QString();
}

} // namespace

// ---- ScriptFiles -----------------------------------------------------------------------------

void ScriptFiles::setMovie(const QString& moviePath, const QString& sharedObjectFolder) {
    m_rule = moviePath.isEmpty() ? files::FileRule() : files::FileRule(moviePath);
    m_store.reset();
    if (!moviePath.isEmpty() && !sharedObjectFolder.isEmpty())
        m_store = std::make_unique<sharedobject::Store>(sharedObjectFolder, moviePath);
}

void ScriptFiles::notice(const QString& line) const {
    if (m_vm.hooks.notice)
        m_vm.hooks.notice(line);
    else
        std::fprintf(stderr, "%s\n", qPrintable(line));
}

std::optional<QByteArray> ScriptFiles::read(const QString& what, const QString& url) {
    auto bytes = m_rule.read(url);
    if (!bytes) {
        notice(files::refusalLine(what, url, bytes.error().message));
        return std::nullopt;
    }
    return std::move(bytes).value();
}

void ScriptFiles::later(Object* keep, std::function<void()> done) {
    // A movie asking for files without end is held to a bounded queue.
    if (m_pending.size() >= 10000) {
        notice(QStringLiteral("Refused: more than 10000 loads waiting"));
        return;
    }
    m_pending.push_back({m_step, keep, std::move(done)});
}

void ScriptFiles::completeLoads(const std::function<void()>& afterEach) {
    // Requests of this step (made by its scripts or by the handlers below) wait for the next;
    // those made between steps (input, the host) are answered now.
    const std::uint64_t now = m_step;
    std::vector<Pending> due;
    std::vector<Pending> waiting;
    for (Pending& p : m_pending)
        (p.step < now ? due : waiting).push_back(std::move(p));
    m_pending = std::move(waiting);
    for (Pending& p : due) {
        p.done();
        if (afterEach)
            afterEach();
    }
}

void ScriptFiles::addRoots(std::vector<Object*>& roots) const {
    for (const Pending& p : m_pending) {
        if (p.keep)
            roots.push_back(p.keep);
    }
    for (Object* o : sharedObjects)
        roots.push_back(o);
}

bool ScriptFiles::flush(Object* so, bool quiet) {
    const QString file = storeFileOf(so);
    if (!m_store || file.isEmpty())
        return false;
    QSet<Object*> path;
    const Value data = m_vm.getMember(Value(so), QStringLiteral("data"));
    sharedobject::StoredValue root;
    if (data.isObject())
        root = toStored(m_vm, data, 0, path);
    // Nothing to keep (a cleared store) leaves no file behind.
    if (root.members.empty())
        return m_store->remove(file);
    QString why;
    if (m_store->save(file, sharedobject::encode(root.members), &why))
        return true;
    (void)quiet;
    notice(QStringLiteral("SharedObject %1 was not saved: %2")
               .arg(m_vm.toString(m_vm.getMember(Value(so), QStringLiteral("\x01name"))), why));
    return false;
}

void ScriptFiles::flushAll() {
    for (Object* so : sharedObjects) {
        try {
            flush(so, true);
        } catch (const ScriptAbort&) {
        } catch (const ScriptThrow&) {
        }
    }
}

// ---- the script API --------------------------------------------------------------------------

namespace {

// Starts a load for a LoadVars or XML object: the file is read now (so a refusal is printed
// at once), its text handed to onData on the next step, undefined on failure.
Value startLoad(VM& vm, Object* self, const QString& what, const QString& url) {
    if (!self)
        return Value(false);
    vm.setMember(Value(self), QStringLiteral("loaded"), Value(false));
    const std::optional<QByteArray> bytes = vm.files().read(what, url);
    vm.files().later(self, [&vm, self, bytes] {
        Value src;
        if (bytes) {
            vm.setMember(Value(self), QStringLiteral("\x01bytes"), Value(double(bytes->size())));
            src = Value(textOf(vm, *bytes));
        }
        const Value onData = vm.getMember(Value(self), QStringLiteral("onData"));
        vm.callFromHost(onData, Value(self), std::span<const Value>(&src, 1));
    });
    return Value(bytes.has_value());
}

Value refuseSend(VM& vm, Value, std::span<const Value> a) {
    vm.files().notice(files::refusalLine(QStringLiteral("a request to send data to"),
                                         vm.toString(arg(a, 0)),
                                         "movies may not send data anywhere"));
    return Value(false);
}

void addGetter(VM& vm, Object* proto, const char* name, NativeFn fn) {
    Object::Slot& s =
        proto->put(QString::fromLatin1(name), vm.key(QString::fromLatin1(name)), Value(), DontEnum);
    s.getter = vm.newFunction(std::move(fn));
}

void installBytes(VM& vm, Object* proto) {
    auto bytes = [](VM& vm, Value self, std::span<const Value>) {
        const Value v = vm.getMember(self, QStringLiteral("\x01bytes"));
        return v.isNumber() ? v : Value();
    };
    vm.defineMethod(proto, QStringLiteral("getBytesLoaded"), bytes);
    vm.defineMethod(proto, QStringLiteral("getBytesTotal"), bytes);
}

void installLoadVars(VM& vm) {
    Object* proto = vm.newObject();
    Object* ctor =
        vm.newFunction([](VM&, Value, std::span<const Value>) { return Value(); }, proto);
    vm.define(vm.global(), QStringLiteral("LoadVars"), Value(ctor));
    vm.define(proto, QStringLiteral("contentType"), Value("application/x-www-form-urlencoded"), 0);
    vm.defineMethod(proto, QStringLiteral("load"),
                    [](VM& vm, Value self, std::span<const Value> a) {
                        return startLoad(vm, self.asObject(), QStringLiteral("LoadVars.load of"),
                                         vm.toString(arg(a, 0)));
                    });
    vm.defineMethod(proto, QStringLiteral("send"), refuseSend);
    vm.defineMethod(proto, QStringLiteral("sendAndLoad"), refuseSend);
    vm.defineMethod(proto, QStringLiteral("addRequestHeader"),
                    [](VM&, Value, std::span<const Value>) { return Value(); });
    vm.defineMethod(proto, QStringLiteral("decode"),
                    [](VM& vm, Value self, std::span<const Value> a) {
                        if (Object* o = self.asObject())
                            decodeVariables(vm, o, vm.toString(arg(a, 0)));
                        return Value();
                    });
    vm.defineMethod(
        proto, QStringLiteral("toString"), [](VM& vm, Value self, std::span<const Value>) {
            Object* o = self.asObject();
            if (!o)
                return Value("");
            QStringList parts;
            for (const auto& [name, value] : enumerable(vm, o)) {
                if (Object* f = value.asObject(); f && f->kind == Object::Kind::Function)
                    continue;
                parts << escapePart(name) + u'=' + escapePart(vm.toString(value));
            }
            return Value(parts.join(u'&'));
        });
    vm.defineMethod(proto, QStringLiteral("onData"),
                    [](VM& vm, Value self, std::span<const Value> a) {
                        const Value src = arg(a, 0);
                        const bool ok = !src.isUndefined();
                        if (ok) {
                            const Value decode = vm.getMember(self, QStringLiteral("decode"));
                            vm.call(decode, self, std::span<const Value>(&src, 1));
                        }
                        vm.setMember(self, QStringLiteral("loaded"), Value(ok));
                        const Value success(ok);
                        vm.call(vm.getMember(self, QStringLiteral("onLoad")), self,
                                std::span<const Value>(&success, 1));
                        return Value();
                    });
    installBytes(vm, proto);
}

void XmlApi::install() {
    nodeProto = vm.newObject();
    xmlProto = vm.newObject();
    xmlProto->proto = nodeProto;
    const XmlApi api = *this; // the methods keep a copy: the prototypes and the VM
    Object* nodeCtor =
        vm.newFunction([](VM&, Value, std::span<const Value>) { return Value(); }, nodeProto);
    nodeCtor->nativeConstruct = [api](VM& vm, Value, std::span<const Value> a) {
        const int type = vm.toInt(arg(a, 0));
        const QString value = vm.toString(arg(a, 1));
        return Value(type == 3 ? api.textNode(value) : api.element(value));
    };
    vm.define(vm.global(), QStringLiteral("XMLNode"), Value(nodeCtor));
    Object* xmlCtor =
        vm.newFunction([](VM&, Value, std::span<const Value>) { return Value(); }, xmlProto);
    xmlCtor->nativeConstruct = [api](VM& vm, Value, std::span<const Value> a) {
        Object* doc = api.makeNode(api.xmlProto, 1, Value::null(), Value::null());
        if (!a.empty() && !a[0].isNullish())
            api.parse(doc, vm.toString(a[0]), false);
        else
            vm.setMember(Value(doc), QStringLiteral("status"), Value(0));
        vm.setMember(Value(doc), QStringLiteral("loaded"), Value());
        return Value(doc);
    };
    vm.define(vm.global(), QStringLiteral("XML"), Value(xmlCtor));

    auto self = [](const Value& v) -> Object* {
        Object* o = v.asObject();
        return isNode(o) ? o : nullptr;
    };
    auto relative = [self](int which) {
        return [self, which](VM&, Value v, std::span<const Value>) -> Value {
            Object* n = self(v);
            if (!n)
                return Value();
            if (which == 4)
                return n->extra[NodeParent];
            if (which == 5)
                return n->extra[NodeChildren];
            const auto& kids = which <= 1                           ? childrenOf(n)
                               : parentOf(n) && isNode(parentOf(n)) ? childrenOf(parentOf(n))
                                                                    : std::vector<Value>{};
            if (which == 0)
                return kids.empty() ? Value::null() : kids.front();
            if (which == 1)
                return kids.empty() ? Value::null() : kids.back();
            auto it = std::find_if(kids.begin(), kids.end(),
                                   [n](const Value& k) { return k.asObject() == n; });
            if (it == kids.end())
                return Value::null();
            if (which == 2)
                return it + 1 == kids.end() ? Value::null() : *(it + 1);
            return it == kids.begin() ? Value::null() : *(it - 1);
        };
    };
    addGetter(vm, nodeProto, "firstChild", relative(0));
    addGetter(vm, nodeProto, "lastChild", relative(1));
    addGetter(vm, nodeProto, "nextSibling", relative(2));
    addGetter(vm, nodeProto, "previousSibling", relative(3));
    addGetter(vm, nodeProto, "parentNode", relative(4));
    addGetter(vm, nodeProto, "childNodes", relative(5));

    vm.defineMethod(nodeProto, QStringLiteral("appendChild"),
                    [self](VM&, Value v, std::span<const Value> a) {
                        if (Object* n = self(v))
                            insert(n, nodeArg(a, 0), nullptr);
                        return Value();
                    });
    vm.defineMethod(nodeProto, QStringLiteral("insertBefore"),
                    [self](VM&, Value v, std::span<const Value> a) {
                        Object* n = self(v);
                        Object* before = nodeArg(a, 1);
                        if (n && before && parentOf(before) == n)
                            insert(n, nodeArg(a, 0), before);
                        return Value();
                    });
    vm.defineMethod(nodeProto, QStringLiteral("removeNode"),
                    [self](VM&, Value v, std::span<const Value>) {
                        if (Object* n = self(v))
                            detach(n);
                        return Value();
                    });
    vm.defineMethod(nodeProto, QStringLiteral("hasChildNodes"),
                    [self](VM&, Value v, std::span<const Value>) {
                        Object* n = self(v);
                        return Value(n && !childrenOf(n).empty());
                    });
    vm.defineMethod(nodeProto, QStringLiteral("cloneNode"),
                    [self, api](VM& vm, Value v, std::span<const Value> a) {
                        Object* n = self(v);
                        return n ? Value(api.clone(n, vm.toBoolean(arg(a, 0)), 0)) : Value();
                    });
    vm.defineMethod(
        nodeProto, QStringLiteral("toString"),
        [self, api](VM& vm, Value v, std::span<const Value>) {
            Object* n = self(v);
            if (!n)
                return Value("");
            QString out;
            if (n->proto == api.xmlProto ||
                vm.instanceOf(v, vm.getMember(Value(vm.global()), QStringLiteral("XML")))) {
                const Value decl = vm.getMember(v, QStringLiteral("xmlDecl"));
                const Value type = vm.getMember(v, QStringLiteral("docTypeDecl"));
                if (!decl.isNullish())
                    out += vm.toString(decl);
                if (!type.isNullish())
                    out += vm.toString(type);
            }
            return Value(out + api.serialize(n, 0));
        });

    vm.defineMethod(xmlProto, QStringLiteral("parseXML"),
                    [self, api](VM& vm, Value v, std::span<const Value> a) {
                        if (Object* n = self(v))
                            api.parse(n, vm.toString(arg(a, 0)),
                                      vm.toBoolean(vm.getMember(v, QStringLiteral("ignoreWhite"))));
                        return Value();
                    });
    vm.defineMethod(xmlProto, QStringLiteral("createElement"),
                    [api](VM& vm, Value, std::span<const Value> a) {
                        return Value(api.element(vm.toString(arg(a, 0))));
                    });
    vm.defineMethod(xmlProto, QStringLiteral("createTextNode"),
                    [api](VM& vm, Value, std::span<const Value> a) {
                        return Value(api.textNode(vm.toString(arg(a, 0))));
                    });
    vm.defineMethod(xmlProto, QStringLiteral("load"),
                    [](VM& vm, Value v, std::span<const Value> a) {
                        return startLoad(vm, v.asObject(), QStringLiteral("XML.load of"),
                                         vm.toString(arg(a, 0)));
                    });
    vm.defineMethod(xmlProto, QStringLiteral("send"), refuseSend);
    vm.defineMethod(xmlProto, QStringLiteral("sendAndLoad"), refuseSend);
    vm.defineMethod(xmlProto, QStringLiteral("addRequestHeader"),
                    [](VM&, Value, std::span<const Value>) { return Value(); });
    vm.defineMethod(xmlProto, QStringLiteral("onData"),
                    [](VM& vm, Value v, std::span<const Value> a) {
                        const Value src = arg(a, 0);
                        const bool ok = !src.isUndefined();
                        if (ok)
                            vm.call(vm.getMember(v, QStringLiteral("parseXML")), v,
                                    std::span<const Value>(&src, 1));
                        vm.setMember(v, QStringLiteral("loaded"), Value(ok));
                        const Value success(ok);
                        vm.call(vm.getMember(v, QStringLiteral("onLoad")), v,
                                std::span<const Value>(&success, 1));
                        return Value();
                    });
    vm.define(xmlProto, QStringLiteral("ignoreWhite"), Value(false), 0);
    vm.define(xmlProto, QStringLiteral("contentType"), Value("application/x-www-form-urlencoded"),
              0);
    installBytes(vm, xmlProto);
}

void installSharedObject(VM& vm) {
    Object* proto = vm.newObject();
    Object* ctor =
        vm.newFunction([](VM&, Value, std::span<const Value>) { return Value(); }, proto);
    vm.define(vm.global(), QStringLiteral("SharedObject"), Value(ctor));
    vm.defineMethod(
        ctor, QStringLiteral("getLocal"), [proto](VM& vm, Value, std::span<const Value> a) {
            ScriptFiles& files = vm.files();
            const QString name = vm.toString(arg(a, 0));
            const QString localPath = arg(a, 1).isNullish() ? QString() : vm.toString(arg(a, 1));
            if (!files.store()) {
                files.notice(QStringLiteral("Refused: SharedObject %1: this movie has no place "
                                            "to keep data")
                                 .arg(name));
                return Value::null();
            }
            auto file = files.store()->fileFor(name, localPath);
            if (!file) {
                files.notice(
                    files::refusalLine(QStringLiteral("SharedObject"), name, file.error().message));
                return Value::null();
            }
            if (Object* known = files.sharedObjects.value(*file))
                return Value(known);
            auto loaded = files.store()->load(*file);
            if (!loaded.problem.isEmpty())
                files.notice(loaded.problem);
            Object* so = vm.newObject();
            so->proto = proto;
            so->extra.push_back(Value(*file));
            vm.define(so, QStringLiteral("\x01name"), Value(name));
            sharedobject::StoredValue root;
            root.type = sharedobject::StoredValue::Type::Object;
            root.members = std::move(loaded.data);
            vm.define(so, QStringLiteral("data"), fromStored(vm, root), DontDelete);
            files.sharedObjects.insert(*file, so);
            return Value(so);
        });
    vm.defineMethod(proto, QStringLiteral("flush"), [](VM& vm, Value self, std::span<const Value>) {
        Object* so = self.asObject();
        return Value(so && vm.files().flush(so, false));
    });
    vm.defineMethod(proto, QStringLiteral("clear"), [](VM& vm, Value self, std::span<const Value>) {
        Object* so = self.asObject();
        if (!so || storeFileOf(so).isEmpty() || !vm.files().store())
            return Value();
        vm.files().store()->remove(storeFileOf(so));
        vm.define(so, QStringLiteral("data"), Value(vm.newObject()), DontDelete);
        return Value();
    });
    vm.defineMethod(proto, QStringLiteral("getSize"),
                    [](VM& vm, Value self, std::span<const Value>) {
                        const Value data = vm.getMember(self, QStringLiteral("data"));
                        if (!data.isObject())
                            return Value(0);
                        QSet<Object*> path;
                        const auto root = toStored(vm, data, 0, path);
                        if (root.members.empty())
                            return Value(0);
                        return Value(double(sharedobject::encode(root.members).size()));
                    });
    vm.defineMethod(proto, QStringLiteral("close"),
                    [](VM&, Value, std::span<const Value>) { return Value(); });
    vm.defineMethod(proto, QStringLiteral("connect"),
                    [](VM&, Value, std::span<const Value>) { return Value(false); });
}

} // namespace

void loadVariables(VM& vm, const QString& url, MovieClip* target, const QString& targetName) {
    const std::optional<QByteArray> bytes =
        vm.files().read(QStringLiteral("loadVariables of"), url);
    if (!target) {
        if (bytes)
            vm.files().notice(files::refusalLine(QStringLiteral("loadVariables of"), url,
                                                 "there is no clip " + targetName.toStdString()));
        return;
    }
    Object* clip = vm.clipObject(target);
    if (!bytes)
        return;
    vm.files().later(clip, [&vm, clip, bytes] {
        // The clip may have left the stage meanwhile.
        if (!clip->clip)
            return;
        MovieClip* mc = clip->clip;
        vm.callFromHost(vm.newFunction([clip, bytes](VM& vm, Value, std::span<const Value>) {
            decodeVariables(vm, clip, textOf(vm, *bytes));
            return Value();
        }),
                        Value(clip), {});
        if (DisplayObject* d = vm.displayObjectOf(mc); d && d->clipActions) {
            const std::vector<ClipAction> actions = *d->clipActions;
            for (const ClipAction& a : actions) {
                if ((a.events & kClipEventData) && clip->clip)
                    vm.runBlock(a.actions, clip->clip);
            }
        }
        if (clip->clip) {
            const Value fn = vm.getMember(Value(clip), QStringLiteral("onData"));
            if (fn.isObject())
                vm.callFromHost(fn, Value(clip), {});
        }
    });
}

bool namesLoadSound(const Movie& movie) {
    static const QByteArray kName("loadSound");
    auto names = [](std::span<const std::uint8_t> code) {
        return QByteArrayView(code.data(), qsizetype(code.size())).indexOf(kName) >= 0;
    };
    auto timeline = [&](const Timeline& t) {
        for (const Frame& f : t.frames) {
            for (const auto& a : f.actions)
                if (names(a))
                    return true;
            for (const auto& a : f.initActions)
                if (names(a.actions))
                    return true;
            for (const auto& d : f.display)
                for (const auto& c : d.clipActions)
                    if (names(c.actions))
                        return true;
        }
        return false;
    };
    if (timeline(movie.timeline))
        return true;
    for (const auto& [id, c] : movie.dictionary.all()) {
        if (const auto* sprite = dynamic_cast<const Sprite*>(c.get());
            sprite && timeline(sprite->timeline))
            return true;
        if (const auto* button = dynamic_cast<const Button*>(c.get())) {
            for (const auto& a : button->actions)
                if (names(a.actions))
                    return true;
        }
    }
    return false;
}

void installFileApi(VM& vm) {
    installLoadVars(vm);
    XmlApi xml{vm};
    xml.install();
    vm.roots.push_back(xml.nodeProto);
    vm.roots.push_back(xml.xmlProto);
    installSharedObject(vm);

    auto load = [](VM& vm, Value self, std::span<const Value> a) {
        Object* o = self.asObject();
        loadVariables(vm, vm.toString(arg(a, 0)), o && o->clip ? o->clip : nullptr,
                      QStringLiteral("this"));
        return Value();
    };
    vm.defineMethod(vm.clipProto(), QStringLiteral("loadVariables"), load);
    installMovieLoading(vm);
    auto loadGlobal = [](VM& vm, Value, std::span<const Value> a) {
        MovieClip* target = nullptr;
        const Value t = arg(a, 1);
        if (Object* o = t.asObject(); o && o->clip)
            target = o->clip;
        else if (!t.isNullish())
            target = vm.resolveTarget(vm.toString(t), vm.rootClip());
        loadVariables(vm, vm.toString(arg(a, 0)), target, vm.toString(t));
        return Value();
    };
    vm.defineMethod(vm.global(), QStringLiteral("loadVariables"), loadGlobal);
    vm.defineMethod(vm.global(), QStringLiteral("loadVariablesNum"),
                    [](VM& vm, Value, std::span<const Value> a) {
                        const int level = vm.toInt(arg(a, 1));
                        loadVariables(vm, vm.toString(arg(a, 0)),
                                      level == 0 ? vm.rootClip() : nullptr,
                                      QStringLiteral("_level%1").arg(level));
                        return Value();
                    });
}

} // namespace swf::avm1
