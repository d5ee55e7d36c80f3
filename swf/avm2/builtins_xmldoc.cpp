// flash.xml: the legacy XML classes of ActionScript 2 kept in ActionScript 3 (XMLDocument,
// XMLNode, XMLNodeType). A tree of nodes with DOM-like links, parsed leniently as the old
// player did: text from a movie is untrusted, so the parser never fails hard (what it cannot
// read ends the document there), nesting is bounded, and every node counts against the VM's
// object cap.

#include "swf/avm2/display.h"

#include <algorithm>

namespace swf::avm2 {

namespace {

constexpr int kMaxDepth = 256;

enum NodeType : std::int32_t { Element = 1, Text = 3, CData = 4, Comment = 8 };

class XmlNode : public Object {
public:
    explicit XmlNode(Class* c) : Object(c) {}
    void traceChildren(std::vector<Object*>& out) override {
        Object::traceChildren(out);
        if (attributes)
            out.push_back(attributes);
        if (parent)
            out.push_back(parent);
        if (idMap)
            out.push_back(idMap);
        for (XmlNode* c : children)
            out.push_back(c);
    }

    std::int32_t type = Element;
    Value name = Value::null();  // element name (null for a document or text)
    Value value = Value::null(); // text (null for an element)
    Object* attributes = nullptr;
    std::vector<XmlNode*> children;
    XmlNode* parent = nullptr;
    // XMLDocument only.
    bool ignoreWhite = false;
    Value xmlDecl = Value::null(), docTypeDecl = Value::null();
    Object* idMap = nullptr;
};

XmlNode* node(VM& vm, const Value& v) {
    auto* n = dynamic_cast<XmlNode*>(v.object());
    if (!n)
        vm.throwTypeError(1034, QStringLiteral("Type Coercion failed: cannot convert %1 to "
                                               "flash.xml.XMLNode.")
                                    .arg(vm.describe(v)));
    return n;
}
XmlNode* nodeOrNull(VM& vm, const Value& v) {
    if (v.tag == Value::Tag::Null || v.tag == Value::Tag::Undefined)
        return nullptr;
    return node(vm, v);
}
Value nodeValue(XmlNode* n) {
    return n ? Value(static_cast<Object*>(n)) : Value::null();
}

// XMLNode itself, from any node's class (a document's, a subclass's).
Class* nodeClass(const XmlNode* any) {
    for (Class* c = any->cls; c; c = c->base)
        if (c->name == QLatin1String("XMLNode") && c->package == QLatin1String("flash.xml"))
            return c;
    return any->cls;
}

XmlNode* makeNode(VM& vm, Class* c, std::int32_t type, const QString& text) {
    auto* n = static_cast<XmlNode*>(vm.allocInstance(c));
    n->type = type;
    if (type == Element)
        n->name = Value(text);
    else
        n->value = Value(text);
    return n;
}

Object* allocNode(VM& vm, Class* c) {
    auto* n = vm.make<XmlNode>(c);
    n->attributes = vm.newObject();
    return n;
}

void detach(XmlNode* n) {
    if (XmlNode* p = n->parent) {
        auto& v = p->children;
        v.erase(std::remove(v.begin(), v.end(), n), v.end());
        n->parent = nullptr;
    }
}

bool isAncestorOrSelf(const XmlNode* a, const XmlNode* n) {
    for (; n; n = n->parent)
        if (n == a)
            return true;
    return false;
}

// --- Text ---------------------------------------------------------------------------------------

QString escape(const QString& s, bool attribute) {
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
            out += attribute ? QLatin1String("&quot;") : QLatin1String("\"");
            break;
        case '\'':
            out += attribute ? QLatin1String("&apos;") : QLatin1String("'");
            break;
        default:
            out += c;
        }
    }
    return out;
}

void serialize(VM& vm, const XmlNode* n, QString& out, int depth) {
    if (depth > kMaxDepth)
        return;
    if (n->type != Element) {
        const QString v = n->value.tag == Value::Tag::String ? n->value.s() : QString();
        if (n->type == CData)
            out += QLatin1String("<![CDATA[") + v + QLatin1String("]]>");
        else if (n->type == Comment)
            out += QLatin1String("<!--") + v + QLatin1String("-->");
        else
            out += escape(v, false);
        return;
    }
    const bool named = n->name.tag == Value::Tag::String && !n->name.s().isEmpty();
    if (named) {
        out += u'<' + n->name.s();
        if (n->attributes)
            for (const Object::DynProp& p : n->attributes->dyn)
                if (p.live)
                    out += u' ' + p.name + QLatin1String("=\"") +
                           escape(vm.toString(p.value), true) + u'"';
        if (n->children.empty()) {
            out += QLatin1String(" />");
            return;
        }
        out += u'>';
    }
    for (const XmlNode* c : n->children)
        serialize(vm, c, out, depth + 1);
    if (named)
        out += QLatin1String("</") + n->name.s() + u'>';
}

QString decodeEntities(const QString& s) {
    if (!s.contains(u'&'))
        return s;
    QString out;
    out.reserve(s.size());
    for (qsizetype i = 0; i < s.size(); ++i) {
        if (s[i] != u'&') {
            out += s[i];
            continue;
        }
        const qsizetype end = s.indexOf(u';', i);
        if (end < 0 || end - i > 12) {
            out += s[i];
            continue;
        }
        const QStringView e = QStringView(s).mid(i + 1, end - i - 1);
        char32_t c = 0;
        if (e == u"lt")
            c = '<';
        else if (e == u"gt")
            c = '>';
        else if (e == u"amp")
            c = '&';
        else if (e == u"quot")
            c = '"';
        else if (e == u"apos")
            c = '\'';
        else if (e == u"nbsp")
            c = 0xA0;
        else if (e.startsWith(u'#')) {
            bool ok = false;
            const uint v = e.size() > 1 && (e[1] == u'x' || e[1] == u'X')
                               ? e.mid(2).toUInt(&ok, 16)
                               : e.mid(1).toUInt(&ok, 10);
            if (ok && v > 0 && v <= 0x10FFFF && (v < 0xD800 || v > 0xDFFF))
                c = char32_t(v);
        }
        if (!c) {
            out += s[i];
            continue;
        }
        out += QString::fromUcs4(&c, 1);
        i = end;
    }
    return out;
}

// --- Parsing ------------------------------------------------------------------------------------

class Parser {
public:
    Parser(VM& vm, XmlNode* doc, const QString& s) : vm(vm), doc(doc), s(s) {}

    void run() {
        std::vector<XmlNode*> open{doc};
        qsizetype i = 0;
        const qsizetype n = s.size();
        while (i < n) {
            if (s[i] != u'<') {
                const qsizetype lt = s.indexOf(u'<', i);
                const qsizetype end = lt < 0 ? n : lt;
                text(open.back(), decodeEntities(s.mid(i, end - i)), Text);
                i = end;
                continue;
            }
            if (s.mid(i, 4) == QLatin1String("<!--")) {
                const qsizetype e = s.indexOf(QLatin1String("-->"), i + 4);
                if (e < 0)
                    return;
                i = e + 3;
            } else if (s.mid(i, 9) == QLatin1String("<![CDATA[")) {
                const qsizetype e = s.indexOf(QLatin1String("]]>"), i + 9);
                if (e < 0)
                    return;
                text(open.back(), s.mid(i + 9, e - i - 9), Text, true);
                i = e + 3;
            } else if (s.mid(i, 5) == QLatin1String("<?xml")) {
                const qsizetype e = s.indexOf(QLatin1String("?>"), i);
                if (e < 0)
                    return;
                doc->xmlDecl = Value(s.mid(i, e + 2 - i));
                i = e + 2;
            } else if (s.mid(i, 2) == QLatin1String("<?")) {
                const qsizetype e = s.indexOf(QLatin1String("?>"), i);
                if (e < 0)
                    return;
                i = e + 2;
            } else if (s.mid(i, 2) == QLatin1String("<!")) {
                // <!DOCTYPE ...>, with an internal subset in brackets.
                qsizetype j = i + 2;
                int brackets = 0;
                while (j < n && (s[j] != u'>' || brackets > 0)) {
                    if (s[j] == u'[')
                        ++brackets;
                    else if (s[j] == u']')
                        --brackets;
                    ++j;
                }
                if (j >= n)
                    return;
                doc->docTypeDecl = Value(s.mid(i, j + 1 - i));
                i = j + 1;
            } else if (s.mid(i, 2) == QLatin1String("</")) {
                const qsizetype e = s.indexOf(u'>', i);
                if (e < 0)
                    return;
                const QString name = s.mid(i + 2, e - i - 2).trimmed();
                // Close up to the matching element; a stray end tag is ignored.
                for (std::size_t k = open.size(); k-- > 1;)
                    if (open[k]->name.tag == Value::Tag::String && open[k]->name.s() == name) {
                        open.resize(k);
                        break;
                    }
                i = e + 1;
            } else {
                qsizetype j = i + 1;
                while (j < n && !s[j].isSpace() && s[j] != u'>' && s[j] != u'/')
                    ++j;
                const QString name = s.mid(i + 1, j - i - 1);
                if (name.isEmpty())
                    return;
                // Attached once its start tag is whole: a damaged tag ends the document.
                XmlNode* e = makeNode(vm, nodeClass(doc), Element, name);
                // Attributes: name="value" or name='value'.
                bool closed = false;
                while (true) {
                    while (j < n && s[j].isSpace())
                        ++j;
                    if (j >= n)
                        return;
                    if (s[j] == u'>') {
                        ++j;
                        break;
                    }
                    if (s[j] == u'/') {
                        const qsizetype gt = s.indexOf(u'>', j);
                        if (gt < 0)
                            return;
                        j = gt + 1;
                        closed = true;
                        break;
                    }
                    qsizetype k = j;
                    while (k < n && s[k] != u'=' && !s[k].isSpace() && s[k] != u'>' && s[k] != u'/')
                        ++k;
                    const QString an = s.mid(j, k - j);
                    while (k < n && s[k].isSpace())
                        ++k;
                    if (k >= n || s[k] != u'=' || an.isEmpty())
                        return; // an attribute without a value: malformed
                    ++k;
                    while (k < n && s[k].isSpace())
                        ++k;
                    if (k >= n || (s[k] != u'"' && s[k] != u'\''))
                        return;
                    const QChar q = s[k];
                    const qsizetype close = s.indexOf(q, k + 1);
                    if (close < 0)
                        return;
                    const QString av = decodeEntities(s.mid(k + 1, close - k - 1));
                    if (!e->attributes->getDynamic(an))
                        e->attributes->setDynamic(an, Value(av));
                    j = close + 1;
                }
                attach(open.back(), e);
                if (const Value* id = e->attributes->getDynamic(QStringLiteral("id"));
                    id && doc->idMap)
                    doc->idMap->setDynamic(vm.toString(*id), Value(static_cast<Object*>(e)));
                i = j;
                if (!closed) {
                    if (open.size() > std::size_t(kMaxDepth))
                        return; // deeper than any real document: stop here
                    open.push_back(e);
                }
            }
        }
    }

private:
    VM& vm;
    XmlNode* doc;
    const QString& s;

    void attach(XmlNode* parent, XmlNode* child) {
        child->parent = parent;
        parent->children.push_back(child);
    }
    void text(XmlNode* parent, const QString& t, std::int32_t type, bool cdata = false) {
        if (t.isEmpty())
            return;
        if (doc->ignoreWhite && !cdata && t.trimmed().isEmpty())
            return;
        attach(parent, makeNode(vm, nodeClass(doc), type, t));
    }
};

// --- XMLNode ------------------------------------------------------------------------------------

Value nodeCtor(VM& vm, const Value& self, std::span<const Value> a) {
    XmlNode* n = node(vm, self);
    n->type = vm.toInt32(arg(a, 0));
    const Value v = arg(a, 1);
    const Value text = v.tag == Value::Tag::Null || v.tag == Value::Tag::Undefined
                           ? Value::null()
                           : Value(vm.toString(v));
    if (n->type == Element)
        n->name = text;
    else
        n->value = text;
    return Value();
}

Value getType(VM& vm, const Value& s, std::span<const Value>) {
    return Value::fromUint(std::uint32_t(node(vm, s)->type));
}
Value setType(VM& vm, const Value& s, std::span<const Value> a) {
    node(vm, s)->type = vm.toInt32(arg(a, 0));
    return Value();
}
Value getName(VM& vm, const Value& s, std::span<const Value>) {
    XmlNode* n = node(vm, s);
    return n->type == Element ? n->name : Value::null();
}
Value setName(VM& vm, const Value& s, std::span<const Value> a) {
    const Value v = arg(a, 0);
    node(vm, s)->name = v.tag == Value::Tag::Null || v.tag == Value::Tag::Undefined
                            ? Value::null()
                            : Value(vm.toString(v));
    return Value();
}
Value getValue(VM& vm, const Value& s, std::span<const Value>) {
    XmlNode* n = node(vm, s);
    return n->type == Element ? Value::null() : n->value;
}
Value setValue(VM& vm, const Value& s, std::span<const Value> a) {
    const Value v = arg(a, 0);
    node(vm, s)->value = v.tag == Value::Tag::Null || v.tag == Value::Tag::Undefined
                             ? Value::null()
                             : Value(vm.toString(v));
    return Value();
}
Value getAttributes(VM& vm, const Value& s, std::span<const Value>) {
    return Value(node(vm, s)->attributes);
}
Value setAttributes(VM& vm, const Value& s, std::span<const Value> a) {
    Object* o = arg(a, 0).object();
    node(vm, s)->attributes = o ? o : vm.newObject();
    return Value();
}
Value getChildNodes(VM& vm, const Value& s, std::span<const Value>) {
    std::vector<Value> items;
    for (XmlNode* c : node(vm, s)->children)
        items.push_back(Value(static_cast<Object*>(c)));
    return Value(static_cast<Object*>(vm.newArray(std::move(items))));
}
Value getFirst(VM& vm, const Value& s, std::span<const Value>) {
    XmlNode* n = node(vm, s);
    return nodeValue(n->children.empty() ? nullptr : n->children.front());
}
Value getLast(VM& vm, const Value& s, std::span<const Value>) {
    XmlNode* n = node(vm, s);
    return nodeValue(n->children.empty() ? nullptr : n->children.back());
}
XmlNode* sibling(XmlNode* n, int step) {
    if (!n->parent)
        return nullptr;
    const auto& v = n->parent->children;
    const auto it = std::find(v.begin(), v.end(), n);
    if (it == v.end())
        return nullptr;
    const std::ptrdiff_t i = (it - v.begin()) + step;
    return i >= 0 && i < std::ptrdiff_t(v.size()) ? v[std::size_t(i)] : nullptr;
}
Value getNext(VM& vm, const Value& s, std::span<const Value>) {
    return nodeValue(sibling(node(vm, s), 1));
}
Value getPrevious(VM& vm, const Value& s, std::span<const Value>) {
    return nodeValue(sibling(node(vm, s), -1));
}
Value getParent(VM& vm, const Value& s, std::span<const Value>) {
    return nodeValue(node(vm, s)->parent);
}
QString nameOf(XmlNode* n) {
    return n->type == Element && n->name.tag == Value::Tag::String ? n->name.s() : QString();
}
Value getLocalName(VM& vm, const Value& s, std::span<const Value>) {
    XmlNode* n = node(vm, s);
    if (n->type != Element || n->name.tag != Value::Tag::String)
        return Value::null();
    const QString name = n->name.s();
    const qsizetype c = name.indexOf(u':');
    return Value(c < 0 ? name : name.mid(c + 1));
}
Value getPrefix(VM& vm, const Value& s, std::span<const Value>) {
    XmlNode* n = node(vm, s);
    if (n->type != Element || n->name.tag != Value::Tag::String)
        return Value::null();
    const qsizetype c = n->name.s().indexOf(u':');
    return Value(c < 0 ? QString() : n->name.s().left(c));
}
// The URI an xmlns attribute on `n` or an ancestor gives `prefix` ("" for the default).
Value namespaceFor(VM& vm, XmlNode* n, const QString& prefix) {
    const QString attr =
        prefix.isEmpty() ? QStringLiteral("xmlns") : QLatin1String("xmlns:") + prefix;
    for (XmlNode* x = n; x; x = x->parent)
        if (x->attributes)
            if (const Value* v = x->attributes->getDynamic(attr))
                return Value(vm.toString(*v));
    return Value::null();
}
Value getNamespaceUri(VM& vm, const Value& s, std::span<const Value>) {
    XmlNode* n = node(vm, s);
    if (n->type != Element)
        return Value::null();
    const QString name = nameOf(n);
    const qsizetype c = name.indexOf(u':');
    const Value uri = namespaceFor(vm, n, c < 0 ? QString() : name.left(c));
    return uri.tag == Value::Tag::Null ? Value(QString()) : uri;
}
Value getNamespaceForPrefix(VM& vm, const Value& s, std::span<const Value> a) {
    return namespaceFor(vm, node(vm, s), vm.toString(arg(a, 0)));
}
Value getPrefixForNamespace(VM& vm, const Value& s, std::span<const Value> a) {
    const QString uri = vm.toString(arg(a, 0));
    for (XmlNode* x = node(vm, s); x; x = x->parent) {
        if (!x->attributes)
            continue;
        for (const Object::DynProp& p : x->attributes->dyn) {
            if (!p.live || vm.toString(p.value) != uri)
                continue;
            if (p.name == QLatin1String("xmlns"))
                return Value(QString());
            if (p.name.startsWith(QLatin1String("xmlns:")))
                return Value(p.name.mid(6));
        }
    }
    return Value::null();
}

Value appendChild(VM& vm, const Value& s, std::span<const Value> a) {
    XmlNode* n = node(vm, s);
    XmlNode* c = node(vm, arg(a, 0));
    if (isAncestorOrSelf(c, n))
        return Value(); // a node cannot hold itself or an ancestor
    detach(c);
    c->parent = n;
    n->children.push_back(c);
    return Value();
}
Value insertBefore(VM& vm, const Value& s, std::span<const Value> a) {
    XmlNode* n = node(vm, s);
    XmlNode* c = node(vm, arg(a, 0));
    XmlNode* before = nodeOrNull(vm, arg(a, 1));
    if (isAncestorOrSelf(c, n) || c == before)
        return Value();
    if (!before || before->parent != n)
        return appendChild(vm, s, a.first(1));
    detach(c);
    auto& v = n->children;
    v.insert(std::find(v.begin(), v.end(), before), c);
    c->parent = n;
    return Value();
}
Value removeNode(VM& vm, const Value& s, std::span<const Value>) {
    detach(node(vm, s));
    return Value();
}
XmlNode* clone(VM& vm, XmlNode* n, bool deep, int depth) {
    XmlNode* c = makeNode(vm, nodeClass(n), n->type, QString());
    c->name = n->name;
    c->value = n->value;
    for (const Object::DynProp& p : n->attributes->dyn)
        if (p.live)
            c->attributes->setDynamic(p.name, p.value);
    if (deep && depth < kMaxDepth)
        for (XmlNode* x : n->children) {
            XmlNode* y = clone(vm, x, true, depth + 1);
            y->parent = c;
            c->children.push_back(y);
        }
    return c;
}
Value cloneNode(VM& vm, const Value& s, std::span<const Value> a) {
    return Value(static_cast<Object*>(clone(vm, node(vm, s), vm.toBoolean(arg(a, 0)), 0)));
}
Value hasChildNodes(VM& vm, const Value& s, std::span<const Value>) {
    return Value(!node(vm, s)->children.empty());
}
Value nodeToString(VM& vm, const Value& s, std::span<const Value>) {
    XmlNode* n = node(vm, s);
    QString out;
    if (n->idMap) { // a document: its declarations first
        if (n->xmlDecl.tag == Value::Tag::String)
            out += n->xmlDecl.s();
        if (n->docTypeDecl.tag == Value::Tag::String)
            out += n->docTypeDecl.s();
    }
    serialize(vm, n, out, 0);
    return Value(out);
}

// --- XMLDocument --------------------------------------------------------------------------------

Object* allocDocument(VM& vm, Class* c) {
    auto* n = static_cast<XmlNode*>(allocNode(vm, c));
    n->idMap = vm.newObject();
    return n;
}
XmlNode* document(VM& vm, const Value& v) {
    XmlNode* n = node(vm, v);
    if (!n->idMap)
        vm.throwTypeError(1034, QStringLiteral("Type Coercion failed: cannot convert %1 to "
                                               "flash.xml.XMLDocument.")
                                    .arg(vm.describe(v)));
    return n;
}
Value parseXml(VM& vm, const Value& s, std::span<const Value> a) {
    XmlNode* d = document(vm, s);
    for (XmlNode* c : d->children)
        c->parent = nullptr;
    d->children.clear();
    d->xmlDecl = Value::null();
    d->docTypeDecl = Value::null();
    const QString text = vm.toString(arg(a, 0));
    Parser(vm, d, text).run();
    return Value();
}
Value documentCtor(VM& vm, const Value& self, std::span<const Value> a) {
    XmlNode* d = document(vm, self);
    d->type = Element;
    const Value src = arg(a, 0);
    if (src.tag != Value::Tag::Null && src.tag != Value::Tag::Undefined)
        parseXml(vm, self, a.first(1));
    return Value();
}
Value createElement(VM& vm, const Value& s, std::span<const Value> a) {
    XmlNode* doc = document(vm, s);
    return Value(
        static_cast<Object*>(makeNode(vm, nodeClass(doc), Element, vm.toString(arg(a, 0)))));
}
Value createTextNode(VM& vm, const Value& s, std::span<const Value> a) {
    XmlNode* doc = document(vm, s);
    return Value(static_cast<Object*>(makeNode(vm, nodeClass(doc), Text, vm.toString(arg(a, 0)))));
}
Value getIgnoreWhite(VM& vm, const Value& s, std::span<const Value>) {
    return Value(document(vm, s)->ignoreWhite);
}
Value setIgnoreWhite(VM& vm, const Value& s, std::span<const Value> a) {
    document(vm, s)->ignoreWhite = vm.toBoolean(arg(a, 0));
    return Value();
}
Value getXmlDecl(VM& vm, const Value& s, std::span<const Value>) {
    return document(vm, s)->xmlDecl;
}
Value setXmlDecl(VM& vm, const Value& s, std::span<const Value> a) {
    document(vm, s)->xmlDecl =
        arg(a, 0).tag == Value::Tag::Null ? Value::null() : Value(vm.toString(arg(a, 0)));
    return Value();
}
Value getDocType(VM& vm, const Value& s, std::span<const Value>) {
    return document(vm, s)->docTypeDecl;
}
Value setDocType(VM& vm, const Value& s, std::span<const Value> a) {
    document(vm, s)->docTypeDecl =
        arg(a, 0).tag == Value::Tag::Null ? Value::null() : Value(vm.toString(arg(a, 0)));
    return Value();
}
Value getIdMap(VM& vm, const Value& s, std::span<const Value>) {
    return Value(document(vm, s)->idMap);
}
Value setIdMap(VM& vm, const Value& s, std::span<const Value> a) {
    Object* o = arg(a, 0).object();
    document(vm, s)->idMap = o ? o : vm.newObject();
    return Value();
}

void method(VM& vm, Class* c, const char* name, NativeFn f) {
    const QString n = QString::fromLatin1(name);
    vm.addMethod(c, n, f);
    Binding* b = c->instanceTraits.find(n, vm.as3Ns());
    c->instanceTraits.add(n, vm.publicNs(), *b);
}

} // namespace

void installXmlDocument(VM& vm) {
    const QString pkg = QStringLiteral("flash.xml");
    Class* n = vm.defineNativeClass(pkg, QStringLiteral("XMLNode"), vm.objectClass, allocNode);
    n->iinit.native = nodeCtor;
    vm.addGetter(n, QStringLiteral("nodeType"), getType, setType);
    vm.addGetter(n, QStringLiteral("nodeName"), getName, setName);
    vm.addGetter(n, QStringLiteral("nodeValue"), getValue, setValue);
    vm.addGetter(n, QStringLiteral("attributes"), getAttributes, setAttributes);
    vm.addGetter(n, QStringLiteral("childNodes"), getChildNodes);
    vm.addGetter(n, QStringLiteral("firstChild"), getFirst);
    vm.addGetter(n, QStringLiteral("lastChild"), getLast);
    vm.addGetter(n, QStringLiteral("nextSibling"), getNext);
    vm.addGetter(n, QStringLiteral("previousSibling"), getPrevious);
    vm.addGetter(n, QStringLiteral("parentNode"), getParent);
    vm.addGetter(n, QStringLiteral("localName"), getLocalName);
    vm.addGetter(n, QStringLiteral("prefix"), getPrefix);
    vm.addGetter(n, QStringLiteral("namespaceURI"), getNamespaceUri);
    method(vm, n, "appendChild", appendChild);
    method(vm, n, "insertBefore", insertBefore);
    method(vm, n, "removeNode", removeNode);
    method(vm, n, "cloneNode", cloneNode);
    method(vm, n, "hasChildNodes", hasChildNodes);
    method(vm, n, "getNamespaceForPrefix", getNamespaceForPrefix);
    method(vm, n, "getPrefixForNamespace", getPrefixForNamespace);
    method(vm, n, "toString", nodeToString);

    Class* d = vm.defineNativeClass(pkg, QStringLiteral("XMLDocument"), n, allocDocument);
    d->iinit.native = documentCtor;
    vm.addGetter(d, QStringLiteral("ignoreWhite"), getIgnoreWhite, setIgnoreWhite);
    vm.addGetter(d, QStringLiteral("xmlDecl"), getXmlDecl, setXmlDecl);
    vm.addGetter(d, QStringLiteral("docTypeDecl"), getDocType, setDocType);
    vm.addGetter(d, QStringLiteral("idMap"), getIdMap, setIdMap);
    method(vm, d, "parseXML", parseXml);
    method(vm, d, "createElement", createElement);
    method(vm, d, "createTextNode", createTextNode);

    Class* t =
        vm.defineNativeClass(pkg, QStringLiteral("XMLNodeType"), vm.objectClass, nullptr, true);
    const std::pair<const char*, std::int32_t> types[] = {
        {"ELEMENT_NODE", 1},    {"TEXT_NODE", 3},
        {"CDATA_NODE", 4},      {"PROCESSING_INSTRUCTION_NODE", 7},
        {"COMMENT_NODE", 8},    {"DOCUMENT_TYPE_NODE", 10},
        {"XML_DECLARATION", 13}};
    for (auto [name, v] : types)
        vm.addStaticValue(t, QString::fromLatin1(name), Value::fromUint(std::uint32_t(v)));
}

} // namespace swf::avm2
