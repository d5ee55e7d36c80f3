// XML and XMLList (E4X): parsing through QXmlStreamReader, child, attribute and descendant
// access, the XML settings, toString/toXMLString, and describeType built on them.

#include "swf/avm2/abc.h"
#include "swf/avm2/qname.h"
#include "swf/avm2/xml.h"

#include <QXmlStreamReader>
#include <algorithm>
#include <optional>

namespace swf::avm2 {

namespace {

// The class-wide settings of ECMA-357 13.4.3 (one VM at a time runs on a thread, and each VM
// installs its own defaults; kept per VM through this map).
struct Settings {
    bool ignoreComments = true, ignoreProcessingInstructions = true, ignoreWhitespace = true,
         prettyPrinting = true;
    int prettyIndent = 2;
};
QHash<const VM*, Settings>& settingsMap() {
    static thread_local QHash<const VM*, Settings> map;
    return map;
}
Settings& settings(VM& vm) {
    return settingsMap()[&vm];
}

constexpr int kMaxDepth = 256;

Xml* newXml(VM& vm, Xml::Node kind) {
    Object* o = vm.allocInstance(vm.xmlClass);
    auto* x = static_cast<Xml*>(o);
    x->node = kind;
    return x;
}

XmlList* newList(VM& vm, std::vector<Xml*> items = {}) {
    auto* l = static_cast<XmlList*>(vm.allocInstance(vm.xmlListClass));
    l->items = std::move(items);
    return l;
}

bool isWhitespace(const QString& s) {
    for (QChar c : s)
        if (!c.isSpace())
            return false;
    return true;
}

// Parses `text` as the content of a document; the top-level nodes go to `out`.
bool parseInto(VM& vm, const QString& text, std::vector<Xml*>& out, QString& error) {
    const Settings& st = settings(vm);
    // A wrapper element lets a list of several top-level nodes (an XMLList's source) parse.
    // The wrapper also declares the default XML namespace, which unprefixed names then take.
    const QString& dxns = vm.defaultXmlNamespace;
    QXmlStreamReader r((dxns.isEmpty()
                            ? QStringLiteral("<__root__>")
                            : QStringLiteral("<__root__ xmlns=\"%1\">").arg(dxns.toHtmlEscaped())) +
                       text + QStringLiteral("</__root__>"));
    r.setNamespaceProcessing(true);
    std::vector<Xml*> stack;
    auto add = [&](Xml* x) {
        if (stack.empty()) {
            out.push_back(x);
        } else {
            x->parent = stack.back();
            stack.back()->children.push_back(x);
        }
    };
    int depth = 0;
    while (!r.atEnd()) {
        switch (r.readNext()) {
        case QXmlStreamReader::StartElement: {
            if (++depth == 1)
                break; // the wrapper
            if (depth > kMaxDepth) {
                error = QStringLiteral("XML nested too deeply");
                return false;
            }
            Xml* x = newXml(vm, Xml::Node::Element);
            x->uri = r.namespaceUri().toString();
            x->prefix = r.prefix().toString();
            x->local = r.name().toString();
            for (const auto& d : r.namespaceDeclarations())
                x->nsDecls.push_back({d.prefix().toString(), d.namespaceUri().toString()});
            // A top-level element in the default namespace declares it, so that it prints.
            if (depth == 2 && !dxns.isEmpty() && x->prefix.isEmpty() && x->uri == dxns &&
                std::none_of(x->nsDecls.begin(), x->nsDecls.end(),
                             [](const auto& d) { return d.first.isEmpty(); }))
                x->nsDecls.push_back({QString(), dxns});
            for (const auto& a : r.attributes()) {
                Xml* at = newXml(vm, Xml::Node::Attribute);
                at->uri = a.namespaceUri().toString();
                at->prefix = a.prefix().toString();
                at->local = a.name().toString();
                at->value = a.value().toString();
                at->parent = x;
                x->attributes.push_back(at);
            }
            add(x);
            stack.push_back(x);
            break;
        }
        case QXmlStreamReader::EndElement:
            if (--depth >= 1 && !stack.empty())
                stack.pop_back();
            break;
        case QXmlStreamReader::Characters: {
            QString t = r.text().toString();
            if (st.ignoreWhitespace) {
                if (isWhitespace(t))
                    break;
                t = t.trimmed();
            }
            if (!r.isCDATA() && !stack.empty() && !stack.back()->children.empty() &&
                stack.back()->children.back()->node == Xml::Node::Text) {
                stack.back()->children.back()->value += t; // entity splits
                break;
            }
            Xml* x = newXml(vm, Xml::Node::Text);
            x->value = t;
            add(x);
            break;
        }
        case QXmlStreamReader::Comment:
            if (!st.ignoreComments) {
                Xml* x = newXml(vm, Xml::Node::Comment);
                x->value = r.text().toString();
                add(x);
            }
            break;
        case QXmlStreamReader::ProcessingInstruction:
            if (!st.ignoreProcessingInstructions) {
                Xml* x = newXml(vm, Xml::Node::Instruction);
                x->local = r.processingInstructionTarget().toString();
                x->value = r.processingInstructionData().toString();
                add(x);
            }
            break;
        default:
            break;
        }
    }
    if (r.hasError()) {
        error = r.errorString();
        return false;
    }
    return true;
}

[[noreturn]] void malformed(VM& vm, const QString& why) {
    vm.throwTypeError(1090, QStringLiteral("XML parser failure: %1.").arg(why));
}

Xml* copyXml(VM& vm, const Xml* src, Xml* parent) {
    Xml* x = newXml(vm, src->node);
    x->uri = src->uri;
    x->prefix = src->prefix;
    x->local = src->local;
    x->value = src->value;
    x->nsDecls = src->nsDecls;
    x->parent = parent;
    for (const Xml* a : src->attributes)
        x->attributes.push_back(copyXml(vm, a, x));
    for (const Xml* c : src->children)
        x->children.push_back(copyXml(vm, c, x));
    return x;
}

// Converts a value to XML nodes: XML itself, an XMLList's items, or text parsed as XML.
std::vector<Xml*> toNodes(VM& vm, const Value& v) {
    if (Xml* x = asXml(v))
        return {x};
    if (XmlList* l = asXmlList(v))
        return l->items;
    std::vector<Xml*> out;
    QString error;
    if (!parseInto(vm, vm.toString(v), out, error))
        malformed(vm, error);
    return out;
}

QString escapeText(const QString& s) {
    QString o = s;
    o.replace(u'&', QStringLiteral("&amp;")).replace(u'<', QStringLiteral("&lt;"));
    return o.replace(u'>', QStringLiteral("&gt;"));
}
QString escapeAttr(const QString& s) {
    QString o = s;
    o.replace(u'&', QStringLiteral("&amp;")).replace(u'<', QStringLiteral("&lt;"));
    return o.replace(u'"', QStringLiteral("&quot;"));
}

// The uri `prefix` names in scope of x, or nothing when it names none ("" names no namespace).
std::optional<QString> uriOfPrefix(const Xml* x, const QString& prefix) {
    for (const Xml* p = x; p; p = p->parent)
        for (const auto& [pre, uri] : p->nsDecls)
            if (pre == prefix)
                return uri;
    if (prefix.isEmpty())
        return QString();
    return std::nullopt;
}

// A prefix bound to `uri` in scope of x, the innermost first.
std::optional<QString> prefixOfUri(const Xml* x, const QString& uri) {
    for (const Xml* p = x; p; p = p->parent)
        for (const auto& [pre, u] : p->nsDecls)
            if (u == uri && uriOfPrefix(x, pre) == uri)
                return pre;
    return std::nullopt;
}

void declare(Xml* x, const QString& prefix, const QString& uri) {
    for (auto& d : x->nsDecls)
        if (d.first == prefix) {
            d.second = uri;
            return;
        }
    x->nsDecls.push_back({prefix, uri});
}

QString qualified(const Xml* x) {
    return x->prefix.isEmpty() ? x->local : x->prefix + u':' + x->local;
}

// Puts an element or attribute (linked to its parent already) into the namespace `uri`, using
// `prefix` when it is a String, else a prefix already bound to the uri, and declares what
// toXMLString needs to read the name back.
void setElementNamespace(Xml* x, const QString& uri, const Value& prefix) {
    const bool attribute = x->node == Xml::Node::Attribute;
    Xml* owner = attribute ? x->parent : x;
    x->uri = uri;
    if (attribute && uri.isEmpty()) {
        x->prefix.clear();
        return;
    }
    if (!prefix.isString() && owner) {
        const auto found = prefixOfUri(owner, uri);
        if (found && !(attribute && found->isEmpty())) {
            x->prefix = *found;
            return;
        }
    }
    QString p = prefix.isString() ? prefix.s() : QString();
    if (attribute && p.isEmpty()) {
        // An attribute in a namespace needs a prefix of its own.
        int i = 0;
        do
            p = QStringLiteral("ns%1").arg(i++);
        while (owner && uriOfPrefix(owner, p));
    }
    x->prefix = p;
    if (owner && uriOfPrefix(owner, p) != uri)
        declare(owner, p, uri);
}

bool simpleContent(const Xml* x) {
    if (x->node != Xml::Node::Element)
        return x->node != Xml::Node::Comment && x->node != Xml::Node::Instruction;
    for (const Xml* c : x->children)
        if (c->node == Xml::Node::Element)
            return false;
    return true;
}

// ECMA-357 10.2.1 ToXMLString, with pretty printing.
void writeXml(const Xml* x, const Settings& st, int indent, QString& out) {
    const bool pretty = st.prettyPrinting;
    if (pretty)
        out += QString(indent, u' ');
    switch (x->node) {
    case Xml::Node::Text:
        out += escapeText(pretty ? x->value.trimmed() : x->value);
        return;
    case Xml::Node::Attribute:
        out += escapeAttr(x->value);
        return;
    case Xml::Node::Comment:
        out += QStringLiteral("<!--") + x->value + QStringLiteral("-->");
        return;
    case Xml::Node::Instruction:
        out += QStringLiteral("<?") + x->local + u' ' + x->value + QStringLiteral("?>");
        return;
    case Xml::Node::Element:
        break;
    }
    out += u'<' + qualified(x);
    for (const auto& [prefix, uri] : x->nsDecls)
        out += (prefix.isEmpty() ? QStringLiteral(" xmlns") : QStringLiteral(" xmlns:") + prefix) +
               QStringLiteral("=\"") + escapeAttr(uri) + u'"';
    for (const Xml* a : x->attributes)
        out += u' ' + qualified(a) + QStringLiteral("=\"") + escapeAttr(a->value) + u'"';
    if (x->children.empty()) {
        out += QStringLiteral("/>");
        return;
    }
    out += u'>';
    const bool inlineText = x->children.size() == 1 && x->children[0]->node == Xml::Node::Text;
    if (inlineText || !pretty) {
        for (const Xml* c : x->children) {
            Settings flat = st;
            flat.prettyPrinting = false;
            writeXml(c, inlineText && pretty ? st : flat, 0, out);
            if (inlineText && pretty) {
                // writeXml indented by 0: nothing to undo.
            }
        }
    } else {
        for (const Xml* c : x->children) {
            out += u'\n';
            writeXml(c, st, indent + st.prettyIndent, out);
        }
        out += u'\n' + QString(indent, u' ');
    }
    out += QStringLiteral("</") + qualified(x) + u'>';
}

QString toXmlString(VM& vm, Object* o) {
    const Settings& st = settings(vm);
    QString out;
    if (auto* l = dynamic_cast<XmlList*>(o)) {
        for (std::size_t i = 0; i < l->items.size(); ++i) {
            if (i && st.prettyPrinting)
                out += u'\n';
            writeXml(l->items[i], st, 0, out);
        }
        return out;
    }
    writeXml(static_cast<Xml*>(o), st, 0, out);
    return out;
}

QString stringValue(VM& vm, const Xml* x) {
    if (x->node == Xml::Node::Attribute || x->node == Xml::Node::Text)
        return x->value;
    if (simpleContent(x)) {
        QString s;
        for (const Xml* c : x->children)
            if (c->node == Xml::Node::Text)
                s += c->value;
        return s;
    }
    return toXmlString(vm, const_cast<Xml*>(x));
}

// The uri a name's namespace asks of an element or attribute. A name without one (public, or
// the empty uri) asks for the default XML namespace if an element, for none if an attribute.
QString nameUri(VM& vm, int ns, bool attribute) {
    QString uri = vm.nsUri(ns);
    if (uri.isEmpty() && !attribute)
        uri = vm.defaultXmlNamespace;
    return uri;
}

bool nameMatches(VM& vm, const Name& n, const Xml* x) {
    if (!n.anyName && n.local != x->local)
        return false;
    // `*` unqualified names everything, whatever its namespace.
    if (n.anyNs || (n.anyName && n.hasPublic))
        return true;
    const bool attribute = x->node == Xml::Node::Attribute;
    for (int ns : n.nss)
        if (nameUri(vm, ns, attribute) == x->uri)
            return true;
    return false;
}

void collectDescendants(VM& vm, const Xml* x, const Name& n, std::vector<Xml*>& out, int depth) {
    if (depth > kMaxDepth)
        return;
    for (Xml* c : x->children) {
        if (!n.attribute && c->node == Xml::Node::Element && nameMatches(vm, n, c))
            out.push_back(c);
        if (n.attribute)
            for (Xml* a : c->attributes)
                if (nameMatches(vm, n, a))
                    out.push_back(a);
        collectDescendants(vm, c, n, out, depth + 1);
    }
}

std::vector<Xml*> childrenOf(VM& vm, const Xml* x, const Name& n) {
    std::vector<Xml*> out;
    if (n.attribute) {
        for (Xml* a : x->attributes)
            if (nameMatches(vm, n, a))
                out.push_back(a);
        return out;
    }
    for (Xml* c : x->children)
        if (n.anyName ? true : (c->node == Xml::Node::Element && nameMatches(vm, n, c)))
            out.push_back(c);
    return out;
}

// Splits "@name" (an attribute given as a string) into a Name.
Name nameFromValue(VM& vm, const Value& v, bool attribute) {
    Name n;
    if (const QNameObject* q = asQName(v)) {
        n.local = q->local;
        n.anyName = q->local == QLatin1String("*");
        n.attribute = attribute || q->attribute;
        n.anyNs = q->anyNs;
        if (!q->anyNs)
            n.nss = {vm.internNs(NsKind::Namespace, q->uri)};
        n.hasPublic = !q->anyNs && q->uri.isEmpty();
        return n;
    }
    n.local = vm.toString(v);
    n.attribute = attribute;
    if (!attribute && n.local.startsWith(u'@')) {
        n.attribute = true;
        n.local.remove(0, 1);
    }
    n.anyName = n.local == QLatin1String("*");
    n.anyNs = true;
    n.hasPublic = true;
    return n;
}

std::vector<Xml*> itemsOf(VM& vm, const Value& self) {
    if (Xml* x = asXml(self))
        return {x};
    if (XmlList* l = asXmlList(self))
        return l->items;
    vm.throwTypeError(
        1034,
        QStringLiteral("Type Coercion failed: cannot convert %1 to XML.").arg(vm.describe(self)));
}

Value listOf(VM& vm, std::vector<Xml*> items) {
    return Value(static_cast<Object*>(newList(vm, std::move(items))));
}

// --- Methods (XML.prototype and XMLList.prototype share most) --------------------------------

Value mChild(VM& vm, const Value& self, std::span<const Value> args) {
    std::vector<Xml*> out;
    const Value a = arg(args, 0);
    const bool index = a.isNumeric();
    const Name n = nameFromValue(vm, a, false);
    for (Xml* x : itemsOf(vm, self)) {
        if (index) {
            const std::int32_t i = vm.toInt32(a);
            if (i >= 0 && std::size_t(i) < x->children.size())
                out.push_back(x->children[std::size_t(i)]);
            continue;
        }
        for (Xml* c : childrenOf(vm, x, n))
            out.push_back(c);
    }
    return listOf(vm, std::move(out));
}

Value mChildren(VM& vm, const Value& self, std::span<const Value>) {
    std::vector<Xml*> out;
    for (Xml* x : itemsOf(vm, self))
        out.insert(out.end(), x->children.begin(), x->children.end());
    return listOf(vm, std::move(out));
}

Value mElements(VM& vm, const Value& self, std::span<const Value> args) {
    const Name n = nameFromValue(vm, args.empty() ? Value("*") : args[0], false);
    std::vector<Xml*> out;
    for (Xml* x : itemsOf(vm, self))
        for (Xml* c : x->children)
            if (c->node == Xml::Node::Element && nameMatches(vm, n, c))
                out.push_back(c);
    return listOf(vm, std::move(out));
}

Value mAttribute(VM& vm, const Value& self, std::span<const Value> args) {
    const Name n = nameFromValue(vm, arg(args, 0), true);
    std::vector<Xml*> out;
    for (Xml* x : itemsOf(vm, self))
        for (Xml* c : childrenOf(vm, x, n))
            out.push_back(c);
    return listOf(vm, std::move(out));
}

Value mAttributes(VM& vm, const Value& self, std::span<const Value>) {
    std::vector<Xml*> out;
    for (Xml* x : itemsOf(vm, self))
        out.insert(out.end(), x->attributes.begin(), x->attributes.end());
    return listOf(vm, std::move(out));
}

Value mDescendants(VM& vm, const Value& self, std::span<const Value> args) {
    return xmlDescendants(vm, self, nameFromValue(vm, args.empty() ? Value("*") : args[0], false));
}

Value mText(VM& vm, const Value& self, std::span<const Value>) {
    std::vector<Xml*> out;
    for (Xml* x : itemsOf(vm, self))
        for (Xml* c : x->children)
            if (c->node == Xml::Node::Text)
                out.push_back(c);
    return listOf(vm, std::move(out));
}

Value mComments(VM& vm, const Value& self, std::span<const Value>) {
    std::vector<Xml*> out;
    for (Xml* x : itemsOf(vm, self))
        for (Xml* c : x->children)
            if (c->node == Xml::Node::Comment)
                out.push_back(c);
    return listOf(vm, std::move(out));
}

Value mLength(VM& vm, const Value& self, std::span<const Value>) {
    return Value(std::int32_t(itemsOf(vm, self).size()));
}

Value mToString(VM& vm, const Value& self, std::span<const Value>) {
    if (Object* o = self.object(); o && (asXml(self) || asXmlList(self)))
        return Value(xmlToString(vm, o));
    return Value(vm.toString(self));
}

Value mToXMLString(VM& vm, const Value& self, std::span<const Value>) {
    if (Object* o = self.object(); o && (asXml(self) || asXmlList(self)))
        return Value(toXmlString(vm, o));
    return Value(vm.toString(self));
}

Value mValueOf(VM&, const Value& self, std::span<const Value>) {
    return self;
}

Value mName(VM& vm, const Value& self, std::span<const Value>) {
    Xml* x = asXml(self);
    if (!x) {
        XmlList* l = asXmlList(self);
        if (!l || l->items.size() != 1)
            vm.throwTypeError(1086, QStringLiteral("The name method only works on lists "
                                                   "containing one item."));
        x = l->items[0];
    }
    if (x->node == Xml::Node::Text || x->node == Xml::Node::Comment)
        return Value::null();
    QNameObject* q = newQName(vm, x->uri, x->local);
    q->prefix = Value(x->prefix);
    return Value(static_cast<Object*>(q));
}

Value mLocalName(VM& vm, const Value& self, std::span<const Value>) {
    const auto items = itemsOf(vm, self);
    if (items.size() != 1)
        return Value::null();
    const Xml* x = items[0];
    if (x->node == Xml::Node::Text || x->node == Xml::Node::Comment)
        return Value::null();
    return Value(x->local);
}

Value mNodeKind(VM& vm, const Value& self, std::span<const Value>) {
    const auto items = itemsOf(vm, self);
    if (items.size() != 1)
        vm.throwTypeError(1086, QStringLiteral("The nodeKind method only works on lists "
                                               "containing one item."));
    static const char* names[] = {"element", "text", "attribute", "comment",
                                  "processing-instruction"};
    return Value(names[int(items[0]->node)]);
}

Value mParent(VM& vm, const Value& self, std::span<const Value>) {
    const auto items = itemsOf(vm, self);
    Xml* p = items.empty() ? nullptr : items[0]->parent;
    for (const Xml* x : items)
        if (x->parent != p)
            return Value();
    return p ? Value(static_cast<Object*>(p)) : Value();
}

Value mHasSimple(VM& vm, const Value& self, std::span<const Value>) {
    const auto items = itemsOf(vm, self);
    if (asXmlList(self) && items.size() != 1) {
        for (const Xml* x : items)
            if (x->node == Xml::Node::Element)
                return Value(false);
        return Value(true);
    }
    return Value(items.empty() || simpleContent(items[0]));
}

Value mHasComplex(VM& vm, const Value& self, std::span<const Value> args) {
    const auto items = itemsOf(vm, self);
    if (asXmlList(self) && items.size() != 1) {
        for (const Xml* x : items)
            if (x->node == Xml::Node::Element)
                return Value(true);
        return Value(false);
    }
    return Value(!vm.toBoolean(mHasSimple(vm, self, args)));
}

Value mCopy(VM& vm, const Value& self, std::span<const Value>) {
    if (Xml* x = asXml(self))
        return Value(static_cast<Object*>(copyXml(vm, x, nullptr)));
    std::vector<Xml*> out;
    for (const Xml* x : itemsOf(vm, self))
        out.push_back(copyXml(vm, x, nullptr));
    return listOf(vm, std::move(out));
}

Xml* requireElement(VM& vm, const Value& self) {
    Xml* x = asXml(self);
    if (!x) {
        XmlList* l = asXmlList(self);
        if (l && l->items.size() == 1)
            x = l->items[0];
    }
    if (!x || x->node != Xml::Node::Element)
        vm.throwTypeError(1086, QStringLiteral("This method only works on one element."));
    return x;
}

void adoptChildren(VM& vm, Xml* x, const Value& v, std::size_t at) {
    std::vector<Xml*> nodes;
    if (!asXml(v) && !asXmlList(v) && !v.isObject()) {
        Xml* t = newXml(vm, Xml::Node::Text);
        t->value = vm.toString(v);
        nodes.push_back(t);
    } else {
        nodes = toNodes(vm, v);
    }
    for (Xml* n : nodes) {
        for (const Xml* p = x; p; p = p->parent)
            if (p == n)
                vm.throwTypeError(1118, QStringLiteral("Illegal cyclical loop between nodes."));
        n->parent = x;
    }
    x->children.insert(x->children.begin() + std::ptrdiff_t(std::min(at, x->children.size())),
                       nodes.begin(), nodes.end());
}

Value mAppendChild(VM& vm, const Value& self, std::span<const Value> args) {
    Xml* x = requireElement(vm, self);
    adoptChildren(vm, x, arg(args, 0), x->children.size());
    return self;
}

Value mPrependChild(VM& vm, const Value& self, std::span<const Value> args) {
    adoptChildren(vm, requireElement(vm, self), arg(args, 0), 0);
    return self;
}

Value mSetChildren(VM& vm, const Value& self, std::span<const Value> args) {
    Xml* x = requireElement(vm, self);
    x->children.clear();
    adoptChildren(vm, x, arg(args, 0), 0);
    return self;
}

Value mChildIndex(VM& vm, const Value& self, std::span<const Value>) {
    const auto items = itemsOf(vm, self);
    if (items.size() != 1 || !items[0]->parent || items[0]->node == Xml::Node::Attribute)
        return Value(std::int32_t(-1));
    const auto& sib = items[0]->parent->children;
    return Value(std::int32_t(std::find(sib.begin(), sib.end(), items[0]) - sib.begin()));
}

Value mContains(VM& vm, const Value& self, std::span<const Value> args) {
    for (Xml* x : itemsOf(vm, self))
        if (vm.looseEquals(Value(static_cast<Object*>(x)), arg(args, 0)))
            return Value(true);
    return Value(false);
}

Value mNamespace(VM& vm, const Value& self, std::span<const Value> args) {
    const Xml* x = requireElement(vm, self);
    if (args.empty())
        return Value(static_cast<Object*>(newNamespace(vm, Value(x->prefix), x->uri)));
    const QString prefix = vm.toString(args[0]);
    if (auto uri = uriOfPrefix(x, prefix))
        return Value(static_cast<Object*>(newNamespace(vm, Value(prefix), *uri)));
    return Value();
}

// The argument as a Namespace, as `new Namespace(arg)` makes it.
NamespaceObject* namespaceArg(VM& vm, std::span<const Value> args) {
    const Value v = arg(args, 0);
    if (NamespaceObject* ns = asNamespace(v))
        return ns;
    const Value a[] = {v};
    return asNamespace(vm.construct(Value(static_cast<Object*>(vm.namespaceClass)), a));
}

Value mAddNamespace(VM& vm, const Value& self, std::span<const Value> args) {
    Xml* x = const_cast<Xml*>(requireElement(vm, self));
    NamespaceObject* ns = namespaceArg(vm, args);
    // A namespace without a known prefix is not declared (ECMA-357 AddInScopeNamespace).
    if (!ns || !ns->prefix.isString() || (ns->prefix.s().isEmpty() && x->uri.isEmpty()))
        return self;
    const QString prefix = ns->prefix.s();
    for (auto& d : x->nsDecls)
        if (d.first == prefix && d.second != ns->uri) {
            if (x->prefix == prefix)
                x->prefix.clear();
            for (Xml* a : x->attributes)
                if (a->prefix == prefix)
                    a->prefix.clear();
        }
    declare(x, prefix, ns->uri);
    return self;
}

Value namespacesArray(VM& vm, const std::vector<std::pair<QString, QString>>& list) {
    std::vector<Value> out;
    for (const auto& [prefix, uri] : list)
        out.push_back(Value(static_cast<Object*>(newNamespace(vm, Value(prefix), uri))));
    return Value(static_cast<Object*>(vm.newArray(std::move(out))));
}

Value mNamespaceDeclarations(VM& vm, const Value& self, std::span<const Value>) {
    const Xml* x = requireElement(vm, self);
    // Only the declarations that change what is in scope from the parent.
    std::vector<std::pair<QString, QString>> list;
    for (const auto& d : x->nsDecls)
        if (!x->parent || uriOfPrefix(x->parent, d.first) != d.second)
            list.push_back(d);
    return namespacesArray(vm, list);
}

Value mInScopeNamespaces(VM& vm, const Value& self, std::span<const Value>) {
    const Xml* x = requireElement(vm, self);
    std::vector<std::pair<QString, QString>> list;
    for (const Xml* p = x; p; p = p->parent)
        for (const auto& d : p->nsDecls)
            if (std::none_of(list.begin(), list.end(),
                             [&](const auto& e) { return e.first == d.first; }))
                list.push_back(d);
    return namespacesArray(vm, list);
}

Value mSetNamespace(VM& vm, const Value& self, std::span<const Value> args) {
    Xml* x = asXml(self);
    if (!x || (x->node != Xml::Node::Element && x->node != Xml::Node::Attribute &&
               x->node != Xml::Node::Instruction))
        return Value();
    NamespaceObject* ns = namespaceArg(vm, args);
    if (!ns)
        return Value();
    if (x->node == Xml::Node::Instruction) {
        x->uri = ns->uri;
        return Value();
    }
    setElementNamespace(x, ns->uri, ns->prefix);
    return Value();
}

void removeNamespaceFrom(Xml* x, const NamespaceObject* ns, int depth) {
    if (depth > kMaxDepth)
        return;
    auto matches = [&](const QString& prefix, const QString& uri) {
        return uri == ns->uri && (!ns->prefix.isString() || ns->prefix.s() == prefix);
    };
    // A namespace the element's own name or an attribute's uses stays.
    bool used = matches(x->prefix, x->uri) && !x->uri.isEmpty();
    for (const Xml* a : x->attributes)
        used = used || (matches(a->prefix, a->uri) && !a->uri.isEmpty());
    if (!used)
        x->nsDecls.erase(std::remove_if(x->nsDecls.begin(), x->nsDecls.end(),
                                        [&](const auto& d) { return matches(d.first, d.second); }),
                         x->nsDecls.end());
    for (Xml* c : x->children)
        if (c->node == Xml::Node::Element)
            removeNamespaceFrom(c, ns, depth + 1);
}

Value mRemoveNamespace(VM& vm, const Value& self, std::span<const Value> args) {
    Xml* x = const_cast<Xml*>(requireElement(vm, self));
    if (NamespaceObject* ns = namespaceArg(vm, args))
        removeNamespaceFrom(x, ns, 0);
    return self;
}

// The XML constructor and conversion: text is parsed, XML is copied (new) or kept (call).
Value xmlFrom(VM& vm, std::span<const Value> args, bool copy) {
    const Value v = arg(args, 0);
    if (Xml* x = asXml(v))
        return copy ? Value(static_cast<Object*>(copyXml(vm, x, nullptr))) : v;
    if (XmlList* l = asXmlList(v)) {
        if (l->items.size() != 1)
            vm.throwTypeError(1088, QStringLiteral("The markup in the document following the "
                                                   "root element must be well-formed."));
        return Value(static_cast<Object*>(l->items[0]));
    }
    QString text = v.isNullish() ? QString() : vm.toString(v);
    std::vector<Xml*> nodes;
    QString error;
    if (!parseInto(vm, text, nodes, error))
        malformed(vm, error);
    if (nodes.empty()) {
        Xml* t = newXml(vm, Xml::Node::Text);
        return Value(static_cast<Object*>(t));
    }
    if (nodes.size() != 1)
        vm.throwTypeError(1088, QStringLiteral("The markup in the document following the root "
                                               "element must be well-formed."));
    nodes[0]->parent = nullptr;
    return Value(static_cast<Object*>(nodes[0]));
}

Value xmlCall(VM& vm, const Value&, std::span<const Value> args) {
    return xmlFrom(vm, args, false);
}

Value xmlListCall(VM& vm, const Value&, std::span<const Value> args) {
    const Value v = arg(args, 0);
    if (asXmlList(v))
        return v;
    if (v.isNullish())
        return listOf(vm, {});
    return listOf(vm, toNodes(vm, v));
}

// new XML(v): the allocated object takes the parsed (or copied) node's place.
Value xmlCtor(VM& vm, const Value& self, std::span<const Value> args) {
    Xml* x = asXml(self);
    Xml* src = asXml(xmlFrom(vm, args, true));
    if (!x || !src)
        return Value();
    x->node = src->node;
    x->uri = src->uri;
    x->prefix = src->prefix;
    x->local = src->local;
    x->value = src->value;
    x->nsDecls = src->nsDecls;
    x->attributes = std::move(src->attributes);
    x->children = std::move(src->children);
    for (Xml* a : x->attributes)
        a->parent = x;
    for (Xml* c : x->children)
        c->parent = x;
    return Value();
}

Value xmlListCtor(VM& vm, const Value& self, std::span<const Value> args) {
    if (XmlList* l = asXmlList(self)) {
        const Value v = arg(args, 0);
        if (!v.isNullish())
            l->items = toNodes(vm, v);
    }
    return Value();
}

Object* allocXml(VM& vm, Class* c) {
    return vm.make<Xml>(c);
}
Object* allocXmlList(VM& vm, Class* c) {
    return vm.make<XmlList>(c);
}

template <bool Settings::*Flag> Value getFlag(VM& vm, const Value&, std::span<const Value>) {
    return Value(settings(vm).*Flag);
}
template <bool Settings::*Flag> Value setFlag(VM& vm, const Value&, std::span<const Value> a) {
    settings(vm).*Flag = vm.toBoolean(arg(a, 0));
    return Value();
}
Value getIndent(VM& vm, const Value&, std::span<const Value>) {
    return Value(std::int32_t(settings(vm).prettyIndent));
}
Value setIndent(VM& vm, const Value&, std::span<const Value> a) {
    settings(vm).prettyIndent = std::clamp(vm.toInt32(arg(a, 0)), 0, 64);
    return Value();
}

// --- describeType --------------------------------------------------------------------------

QString typeName(const Class* c) {
    return c ? c->qualifiedName() : QStringLiteral("*");
}

QString attr(const QString& s) {
    return escapeAttr(s);
}

// The ABC class behind a script class, if any: its traits give declaration order and types.
struct AbcClass {
    AbcEnv* env = nullptr;
    std::uint32_t index = 0;
};
AbcClass findAbcClass(VM& vm, const Class* c) {
    for (auto& env : vm.envs)
        for (std::uint32_t i = 0; i < env->classes.size(); ++i)
            if (env->classes[i] == c)
                return {env.get(), i};
    return {};
}

QString multinameType(VM& vm, AbcEnv* env, std::uint32_t mn) {
    if (!mn)
        return QStringLiteral("*");
    if (Class* c = vm.resolveType(env, mn))
        return typeName(c);
    const Name& n = env->names[mn];
    const QString uri = n.nss.empty() ? QString() : vm.nsUri(n.nss[0]);
    return uri.isEmpty() ? n.local : uri + QStringLiteral("::") + n.local;
}

bool isPublicTrait(VM& vm, AbcEnv* env, const TraitInfo& t) {
    const Name& n = env->names[t.name];
    return !n.nss.empty() && n.nss[0] == vm.publicNs();
}

void describeMembers(VM& vm, const Class* c, bool statics, QString& out) {
    QStringList seen;
    for (const Class* k = c; k; k = statics ? nullptr : k->base) {
        const AbcClass ac = findAbcClass(vm, k);
        if (!ac.env) {
            // Native classes: their public traits, by name.
            const Traits& t = statics ? k->staticTraits : k->instanceTraits;
            QStringList names;
            for (auto it = t.byName.begin(); it != t.byName.end(); ++it)
                for (const auto& e : *it)
                    if (e.ns == vm.publicNs() && !seen.contains(it.key()))
                        names << it.key();
            names.sort();
            for (const QString& n : names) {
                const Binding* b = const_cast<Traits&>(t).find(n, vm.publicNs());
                seen << n;
                const QString by = typeName(b->declaringClass ? b->declaringClass : k);
                switch (b->kind) {
                case Binding::Kind::Method:
                    out += QStringLiteral("<method name=\"%1\" declaredBy=\"%2\" "
                                          "returnType=\"*\"/>")
                               .arg(attr(n), attr(by));
                    break;
                case Binding::Kind::Accessor:
                    out += QStringLiteral("<accessor name=\"%1\" access=\"%2\" type=\"*\" "
                                          "declaredBy=\"%3\"/>")
                               .arg(attr(n),
                                    b->getter.valid() && b->setter.valid()
                                        ? QStringLiteral("readwrite")
                                        : (b->getter.valid() ? QStringLiteral("readonly")
                                                             : QStringLiteral("writeonly")),
                                    attr(by));
                    break;
                default:
                    out += QStringLiteral("<%1 name=\"%2\" type=\"*\"/>")
                               .arg(b->kind == Binding::Kind::Const ? QStringLiteral("constant")
                                                                    : QStringLiteral("variable"),
                                    attr(n));
                }
            }
            continue;
        }
        const Abc& a = *ac.env->abc;
        const auto& traits = statics ? a.classes[ac.index].traits : a.instances[ac.index].traits;
        const QString by = typeName(k);
        // Getter and setter of one name make one accessor.
        QHash<QString, int> access;
        for (const TraitInfo& t : traits)
            if ((t.kind == TraitKind::Getter || t.kind == TraitKind::Setter) &&
                isPublicTrait(vm, ac.env, t))
                access[ac.env->names[t.name].local] |= t.kind == TraitKind::Getter ? 1 : 2;
        for (const TraitInfo& t : traits) {
            if (!isPublicTrait(vm, ac.env, t))
                continue;
            const QString n = ac.env->names[t.name].local;
            if (seen.contains(n))
                continue;
            seen << n;
            switch (t.kind) {
            case TraitKind::Slot:
            case TraitKind::Const:
                out += QStringLiteral("<%1 name=\"%2\" type=\"%3\"/>")
                           .arg(t.kind == TraitKind::Const ? QStringLiteral("constant")
                                                           : QStringLiteral("variable"),
                                attr(n), attr(multinameType(vm, ac.env, t.typeName)));
                break;
            case TraitKind::Method:
            case TraitKind::Function: {
                const MethodInfo& mi = a.methods[t.index];
                out += QStringLiteral("<method name=\"%1\" declaredBy=\"%2\" returnType=\"%3\">")
                           .arg(attr(n), attr(by),
                                attr(mi.returnType ? multinameType(vm, ac.env, mi.returnType)
                                                   : QStringLiteral("*")));
                const std::size_t required = mi.paramTypes.size() - mi.optional.size();
                for (std::size_t i = 0; i < mi.paramTypes.size(); ++i)
                    out +=
                        QStringLiteral("<parameter index=\"%1\" type=\"%2\" optional=\"%3\"/>")
                            .arg(i + 1)
                            .arg(attr(multinameType(vm, ac.env, mi.paramTypes[i])),
                                 i >= required ? QStringLiteral("true") : QStringLiteral("false"));
                out += QStringLiteral("</method>");
                break;
            }
            case TraitKind::Getter:
            case TraitKind::Setter: {
                const MethodInfo& mi = a.methods[t.index];
                const int acc = access.value(n);
                const QString type =
                    t.kind == TraitKind::Getter
                        ? multinameType(vm, ac.env, mi.returnType)
                        : (mi.paramTypes.empty() ? QStringLiteral("*")
                                                 : multinameType(vm, ac.env, mi.paramTypes[0]));
                out += QStringLiteral("<accessor name=\"%1\" access=\"%2\" type=\"%3\" "
                                      "declaredBy=\"%4\"/>")
                           .arg(attr(n),
                                acc == 3 ? QStringLiteral("readwrite")
                                         : (acc == 1 ? QStringLiteral("readonly")
                                                     : QStringLiteral("writeonly")),
                                attr(type), attr(by));
                break;
            }
            case TraitKind::Class:
                out += QStringLiteral("<constant name=\"%1\" type=\"Class\"/>").arg(attr(n));
                break;
            }
        }
    }
}

QString describeInstance(VM& vm, const Class* c) {
    QString out;
    for (const Class* b = c->base; b; b = b->base)
        out += QStringLiteral("<extendsClass type=\"%1\"/>").arg(attr(typeName(b)));
    for (const Class* i : c->interfaces)
        out += QStringLiteral("<implementsInterface type=\"%1\"/>").arg(attr(typeName(i)));
    describeMembers(vm, c, false, out);
    return out;
}

} // namespace

// --- Object model --------------------------------------------------------------------------

void Xml::traceChildren(std::vector<Object*>& out) {
    Object::traceChildren(out);
    out.insert(out.end(), attributes.begin(), attributes.end());
    out.insert(out.end(), children.begin(), children.end());
    if (parent)
        out.push_back(parent);
}

void XmlList::traceChildren(std::vector<Object*>& out) {
    Object::traceChildren(out);
    out.insert(out.end(), items.begin(), items.end());
}

bool XmlList::getOwn(VM&, const QString& name, Value& out) {
    std::uint32_t i;
    if (!parseIndex(name, i))
        return false;
    out = i < items.size() ? Value(static_cast<Object*>(items[i])) : Value();
    return true;
}

bool XmlList::setOwn(VM& vm, const QString& name, const Value& v) {
    std::uint32_t i;
    if (!parseIndex(name, i))
        return false;
    // Filters build their result by storing at the next index.
    std::vector<Xml*> nodes = toNodes(vm, v);
    if (nodes.size() != 1)
        return true;
    if (i < items.size())
        items[i] = nodes[0];
    else
        items.push_back(nodes[0]);
    return true;
}

bool XmlList::hasOwn(VM&, const QString& name) {
    std::uint32_t i;
    return parseIndex(name, i) && i < items.size();
}

Xml* asXml(const Value& v) {
    Object* o = v.object();
    return o && o->kind == ObjectKind::Xml ? static_cast<Xml*>(o) : nullptr;
}
XmlList* asXmlList(const Value& v) {
    Object* o = v.object();
    return o && o->kind == ObjectKind::XmlList ? static_cast<XmlList*>(o) : nullptr;
}
bool isXmlValue(const Value& v) {
    return asXml(v) || asXmlList(v);
}
Value xmlConcat(VM& vm, const Value& a, const Value& b) {
    auto* list = static_cast<XmlList*>(vm.allocInstance(vm.xmlListClass));
    for (const Value& v : {a, b}) {
        if (Xml* x = asXml(v))
            list->items.push_back(x);
        else if (XmlList* l = asXmlList(v))
            list->items.insert(list->items.end(), l->items.begin(), l->items.end());
    }
    return Value(static_cast<Object*>(list));
}

QString xmlToString(VM& vm, Object* o) {
    if (o->kind == ObjectKind::XmlList) {
        auto* l = static_cast<XmlList*>(o);
        bool simple = true;
        for (const Xml* x : l->items)
            simple = simple && x->node != Xml::Node::Element;
        if (l->items.size() == 1)
            return stringValue(vm, l->items[0]);
        if (simple) {
            QString s;
            for (const Xml* x : l->items)
                s += stringValue(vm, x);
            return s;
        }
        return toXmlString(vm, o);
    }
    return stringValue(vm, static_cast<Xml*>(o));
}

Value xmlGet(VM& vm, Object* o, const Name& name) {
    std::uint32_t i;
    if (!name.attribute && parseIndex(name.local, i)) {
        if (o->kind == ObjectKind::XmlList) {
            auto* l = static_cast<XmlList*>(o);
            return i < l->items.size() ? Value(static_cast<Object*>(l->items[i])) : Value();
        }
        return i == 0 ? Value(o) : Value();
    }
    std::vector<Xml*> out;
    for (Xml* x : itemsOf(vm, Value(o)))
        for (Xml* c : childrenOf(vm, x, name))
            out.push_back(c);
    return listOf(vm, std::move(out));
}

void xmlSet(VM& vm, Object* o, const Name& name, const Value& v) {
    std::uint32_t idx;
    if (o->kind == ObjectKind::XmlList) {
        if (!name.attribute && parseIndex(name.local, idx)) {
            o->setOwn(vm, name.local, v);
            return;
        }
        auto* l = static_cast<XmlList*>(o);
        if (l->items.size() == 1)
            xmlSet(vm, l->items[0], name, v);
        return;
    }
    auto* x = static_cast<Xml*>(o);
    if (x->node != Xml::Node::Element)
        return;
    if (name.attribute) {
        const QString value = isXmlValue(v) ? xmlToString(vm, v.o) : vm.toString(v);
        for (Xml* a : x->attributes)
            if (nameMatches(vm, name, a)) {
                a->value = value;
                return;
            }
        Xml* a = newXml(vm, Xml::Node::Attribute);
        a->local = name.local;
        a->value = value;
        a->parent = x;
        if (!name.anyNs && !name.nss.empty())
            setElementNamespace(a, nameUri(vm, name.nss[0], true), Value());
        x->attributes.push_back(a);
        return;
    }
    // x.name = value: the first element of that name gets the value as its content (the
    // others go), or a new element is appended.
    auto it = std::find_if(x->children.begin(), x->children.end(), [&](const Xml* c) {
        return c->node == Xml::Node::Element && nameMatches(vm, name, c);
    });
    if (it == x->children.end()) {
        Xml* e = newXml(vm, Xml::Node::Element);
        e->local = name.local;
        e->parent = x;
        if (!name.anyNs && !name.nss.empty())
            setElementNamespace(e, nameUri(vm, name.nss[0], false), Value());
        x->children.push_back(e);
        it = x->children.end() - 1;
    }
    Xml* target = *it;
    if (Xml* nx = asXml(v); nx && nx->node == Xml::Node::Element) {
        Xml* c = copyXml(vm, nx, x);
        *it = c;
        target = c;
    } else {
        target->children.clear();
        Xml* t = newXml(vm, Xml::Node::Text);
        t->value = isXmlValue(v) ? xmlToString(vm, v.o) : vm.toString(v);
        t->parent = target;
        target->children.push_back(t);
    }
    x->children.erase(std::remove_if(x->children.begin(), x->children.end(),
                                     [&](const Xml* c) {
                                         return c != target && c->node == Xml::Node::Element &&
                                                nameMatches(vm, name, c);
                                     }),
                      x->children.end());
}

bool xmlHas(VM& vm, Object* o, const Name& name) {
    std::uint32_t i;
    if (!name.attribute && parseIndex(name.local, i))
        return o->kind == ObjectKind::XmlList ? i < static_cast<XmlList*>(o)->items.size() : i == 0;
    for (Xml* x : itemsOf(vm, Value(o)))
        if (!childrenOf(vm, x, name).empty())
            return true;
    return false;
}

bool xmlDelete(VM& vm, Object* o, const Name& name) {
    for (Xml* x : itemsOf(vm, Value(o))) {
        auto& list = name.attribute ? x->attributes : x->children;
        list.erase(std::remove_if(list.begin(), list.end(),
                                  [&](const Xml* c) {
                                      return (name.attribute || c->node == Xml::Node::Element) &&
                                             nameMatches(vm, name, c);
                                  }),
                   list.end());
    }
    return true;
}

Value xmlDescendants(VM& vm, const Value& v, const Name& name) {
    if (!isXmlValue(v))
        vm.throwTypeError(1016, QStringLiteral("Descendants operator (..) not supported on type "
                                               "%1.")
                                    .arg(vm.describe(v)));
    std::vector<Xml*> out;
    for (Xml* x : itemsOf(vm, v))
        collectDescendants(vm, x, name, out, 0);
    return listOf(vm, std::move(out));
}

QString xmlToXmlString(VM& vm, Object* o) {
    return toXmlString(vm, o);
}

Value describeType(VM& vm, const Value& v) {
    QString out;
    Object* o = v.object();
    if (o && o->kind == ObjectKind::Class) {
        auto* c = static_cast<Class*>(o);
        out = QStringLiteral("<type name=\"%1\" base=\"Class\" isDynamic=\"true\" "
                             "isFinal=\"true\" isStatic=\"true\">"
                             "<extendsClass type=\"Class\"/><extendsClass type=\"Object\"/>"
                             "<accessor name=\"prototype\" access=\"readonly\" type=\"*\" "
                             "declaredBy=\"Class\"/>")
                  .arg(attr(typeName(c)));
        describeMembers(vm, c, true, out);
        out += QStringLiteral("<factory type=\"%1\">").arg(attr(typeName(c)));
        out += describeInstance(vm, c);
        out += QStringLiteral("</factory></type>");
    } else {
        Class* c = vm.classOf(v);
        if (!c)
            c = vm.objectClass;
        out = QStringLiteral("<type name=\"%1\"%2 isDynamic=\"%3\" isFinal=\"%4\" "
                             "isStatic=\"false\">")
                  .arg(attr(v.isNullish()
                                ? (v.isNull() ? QStringLiteral("null") : QStringLiteral("void"))
                                : typeName(c)),
                       c->base ? QStringLiteral(" base=\"%1\"").arg(attr(typeName(c->base)))
                               : QString(),
                       c->isSealed ? QStringLiteral("false") : QStringLiteral("true"),
                       c->isFinal ? QStringLiteral("true") : QStringLiteral("false"));
        if (!v.isNullish())
            out += describeInstance(vm, c);
        out += QStringLiteral("</type>");
    }
    // Pretty-printing and whitespace settings do not change what is parsed here.
    const Settings saved = settings(vm);
    settings(vm) = Settings();
    std::vector<Xml*> nodes;
    QString error;
    parseInto(vm, out, nodes, error);
    settings(vm) = saved;
    return nodes.empty() ? Value::null() : Value(static_cast<Object*>(nodes[0]));
}

void installXml(VM& vm) {
    settings(vm) = Settings();
    vm.xmlClass =
        vm.defineNativeClass(QString(), QStringLiteral("XML"), vm.objectClass, allocXml, true);
    vm.xmlClass->isFinal = true;
    vm.xmlClass->nativeCall = xmlCall;
    vm.xmlClass->iinit.native = xmlCtor;
    vm.xmlListClass = vm.defineNativeClass(QString(), QStringLiteral("XMLList"), vm.objectClass,
                                           allocXmlList, true);
    vm.xmlListClass->isFinal = true;
    vm.xmlListClass->nativeCall = xmlListCall;
    vm.xmlListClass->iinit.native = xmlListCtor;
    struct M {
        const char* name;
        NativeFn fn;
        bool list; // also on XMLList
    };
    const M methods[] = {
        {"child", mChild, true},
        {"children", mChildren, true},
        {"elements", mElements, true},
        {"attribute", mAttribute, true},
        {"attributes", mAttributes, true},
        {"descendants", mDescendants, true},
        {"text", mText, true},
        {"comments", mComments, true},
        {"length", mLength, true},
        {"toString", mToString, true},
        {"toXMLString", mToXMLString, true},
        {"valueOf", mValueOf, true},
        {"name", mName, true},
        {"localName", mLocalName, true},
        {"nodeKind", mNodeKind, true},
        {"parent", mParent, true},
        {"hasSimpleContent", mHasSimple, true},
        {"hasComplexContent", mHasComplex, true},
        {"copy", mCopy, true},
        {"contains", mContains, true},
        {"appendChild", mAppendChild, false},
        {"prependChild", mPrependChild, false},
        {"setChildren", mSetChildren, false},
        {"childIndex", mChildIndex, false},
        {"namespace", mNamespace, false},
        {"addNamespace", mAddNamespace, false},
        {"namespaceDeclarations", mNamespaceDeclarations, false},
        {"inScopeNamespaces", mInScopeNamespaces, false},
        {"setNamespace", mSetNamespace, false},
        {"removeNamespace", mRemoveNamespace, false},
    };
    for (const M& m : methods) {
        vm.addMethod(vm.xmlClass, QString::fromLatin1(m.name), m.fn);
        if (m.list)
            vm.addMethod(vm.xmlListClass, QString::fromLatin1(m.name), m.fn);
    }
    auto flag = [&](const char* name, NativeFn get, NativeFn set) {
        vm.addStaticGetter(vm.xmlClass, QString::fromLatin1(name), get, set);
    };
    flag("ignoreComments", getFlag<&Settings::ignoreComments>, setFlag<&Settings::ignoreComments>);
    flag("ignoreProcessingInstructions", getFlag<&Settings::ignoreProcessingInstructions>,
         setFlag<&Settings::ignoreProcessingInstructions>);
    flag("ignoreWhitespace", getFlag<&Settings::ignoreWhitespace>,
         setFlag<&Settings::ignoreWhitespace>);
    flag("prettyPrinting", getFlag<&Settings::prettyPrinting>, setFlag<&Settings::prettyPrinting>);
    flag("prettyIndent", getIndent, setIndent);
    vm.defineGlobal(QStringLiteral("flash.utils"), QStringLiteral("describeType"),
                    Value(static_cast<Object*>(vm.makeNative(
                        QStringLiteral("describeType"),
                        [](VM& vm, const Value&, std::span<const Value> args) {
                            return describeType(vm, arg(args, 0));
                        },
                        1))));
}

} // namespace swf::avm2
