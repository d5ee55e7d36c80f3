// frames: 1
// Namespace and QName objects and namespace-qualified XML names. Expected output is written by
// hand in Namespaces.expected from the ActionScript 3.0 Language Reference (Namespace, QName, XML)
// and ECMA-357 (13.2, 13.3, 13.4.4); the comment above each trace names the rule.

import flash.utils.Namespace;
import flash.utils.QName;
import flash.xml.XML;

class Namespaces {
	// Haxe prints undefined as null: typeof tells them apart.
	static function text(v:Dynamic):String
		return untyped __typeof__(v) == "undefined" ? "undefined" : Std.string(v);

	static function show(ns:Namespace):String
		return "[" + text(ns.prefix) + "|" + ns.uri + "]";

	static function main() {
		// Namespace(): prefix and uri both empty.
		trace(show(new Namespace()));
		// Namespace(uri): a non-empty uri leaves the prefix undefined.
		trace(show(new Namespace("urn:a")));
		// Namespace(prefix, uri), and toString/valueOf give the uri.
		var p = new Namespace("p", "urn:p");
		trace(show(p) + " " + Std.string(p) + " " + (untyped p.valueOf()));
		// A prefix that is not an XML name is dropped (undefined).
		trace(show(new Namespace("1x", "urn:x")));
		// Namespace(namespace) copies prefix and uri; Namespace(qname) takes the QName's uri.
		trace(show(new Namespace(p)) + " " + show(new Namespace(new QName("urn:q", "n"))));
		// A prefix for the empty uri is a TypeError (1098).
		try {
			new Namespace("x", "");
			trace("no error");
		} catch (e:flash.errors.TypeError) {
			trace("TypeError " + e.errorID);
		}
		// QName(name): the default namespace (empty here); toString is the local name alone.
		var q = new QName("leaf");
		trace(q.localName + " [" + q.uri + "] " + Std.string(q));
		// QName(namespace, name): uri::local.
		var qp = new QName(p, "leaf");
		trace(qp.uri + " " + qp.localName + " " + Std.string(qp));
		// QName(null, name) is in any namespace: uri null, "*::" in front.
		var qa = new QName(null, "leaf");
		trace(Std.string(qa.uri) + " " + Std.string(qa));
		// QName(qname) copies; QName(ns, qname) keeps the local name only.
		trace(Std.string(new QName(qp)) + " " + Std.string(new QName("urn:z", qp)));
		// valueOf returns the QName itself; == compares uri and local name.
		trace((untyped qp.valueOf()) == qp);
		trace((untyped (new QName(p, "leaf")) == qp) + " " + (untyped (new QName("leaf")) == qp));

		var x = new XML("<r xmlns:p='urn:p'><p:a>in p</p:a><a>plain</a><p:b p:k='v' k='w'/></r>");
		// name() is a QName: uri and local name.
		var first:Dynamic = x.children()[0];
		var n:QName = first.name();
		trace(n.uri + " " + n.localName + " " + Std.string(x.name()));
		// child() with a QName matches the namespace as well as the name.
		trace(x.child(new QName(p, "a")).toString() + " / " + x.child(new QName("", "a")).toString());
		// QName(null, "a"): any namespace.
		trace(x.child(new QName(null, "a")).length());
		// Attributes by QName.
		var b:Dynamic = x.children()[2];
		trace(b.attribute(new QName(p, "k")).toString() + " " + b.attribute(new QName("", "k")).toString());
		// namespace(): the element's; namespace(prefix): in scope by prefix; unknown: undefined.
		trace(show(first.namespace()) + " " + show(x.namespace("p")) + " " + text((x : Dynamic).namespace("zz")));
		// namespaceDeclarations(): the ones this element declares.
		var decl:Array<Dynamic> = x.namespaceDeclarations();
		trace(decl.length + " " + show(decl[0]));
		// inScopeNamespaces() of a child: the parent's declarations reach it.
		var scope:Array<Dynamic> = first.inScopeNamespaces();
		trace(scope.length + " " + show(scope[0]));
		// addNamespace declares on the element, and prints.
		var y = new XML("<y/>");
		y.addNamespace(new Namespace("q", "urn:q"));
		trace(y.toXMLString());
		// setNamespace puts the element in the namespace with its prefix.
		y.setNamespace(new Namespace("q", "urn:q"));
		trace(y.toXMLString() + " " + Std.string(y.name()));
		// removeNamespace leaves a declaration the element's own name uses...
		y.removeNamespace(new Namespace("q", "urn:q"));
		trace(y.toXMLString());
		// ...and removes one nothing uses.
		var z = new XML("<z xmlns:u='urn:u'><w/></z>");
		z.removeNamespace(new Namespace("u", "urn:u"));
		trace(z.toXMLString());
		// An element in a default namespace is not found by a name in no namespace.
		var d = new XML("<d xmlns='urn:d'><e>1</e></d>");
		trace(d.child(new QName("", "e")).length() + " " + d.child(new QName("urn:d", "e")).length());
	}
}
