// flash.xml: XMLDocument parsing (declaration, doctype, comments, CDATA, entities, ignoreWhite,
// idMap), XMLNode links, names and namespaces, building and moving nodes, cloning, printing, and
// damaged or too deep text read as far as it goes. Expected output written by hand in
// XmlDocument.expected from the Language Reference (XMLDocument, XMLNode, XMLNodeType).

import flash.xml.XMLDocument;
import flash.xml.XMLNode;
import flash.xml.XMLNodeType;

class XmlDocument {
	static function main() {
		var doc = new XMLDocument();
		doc.ignoreWhite = true;
		doc.parseXML('<?xml version="1.0"?><!DOCTYPE list><list xmlns:p="urn:p" id="top">\n  <item n="1">one &amp; two</item>\n  <p:item n=\'2\'/>\n  <![CDATA[<raw>]]><!-- gone --></list>');
		trace(doc.xmlDecl);
		trace(doc.docTypeDecl);
		var list = doc.firstChild;
		trace(list.nodeName + " " + list.nodeType + " " + list.childNodes.length);
		var item = list.firstChild;
		trace(item.attributes.n + " " + item.firstChild.nodeValue + " " + item.firstChild.nodeType);
		var p = item.nextSibling;
		trace(p.nodeName + " " + p.localName + " " + p.prefix + " " + p.namespaceURI);
		trace(p.previousSibling == item);
		trace(list.lastChild.nodeValue + " " + (list.lastChild.nodeType == XMLNodeType.TEXT_NODE));
		trace(list.getNamespaceForPrefix("p") + " " + list.getPrefixForNamespace("urn:p"));
		trace(doc.idMap.top == list);
		trace(item.parentNode == list);
		trace(list.toString());
		// Building and moving nodes.
		var made = doc.createElement("made");
		made.appendChild(doc.createTextNode("a<b"));
		list.insertBefore(made, item);
		trace(list.firstChild.nodeName + " " + list.childNodes.length);
		trace(made.toString());
		made.removeNode();
		trace(list.firstChild.nodeName + " " + (made.parentNode == null));
		var copy = list.cloneNode(true);
		trace(copy.childNodes.length + " " + copy.firstChild.firstChild.nodeValue + " " + (copy.parentNode == null));
		var shallow = list.cloneNode(false);
		trace(shallow.hasChildNodes() + " " + list.hasChildNodes());
		var n = new XMLNode(XMLNodeType.ELEMENT_NODE, "solo");
		n.attributes.k = "v\"";
		trace(n.toString() + " " + n.nodeValue);
		// Whitespace kept without ignoreWhite; damaged text gives what could be read.
		var keep = new XMLDocument("<a> <b/> </a>");
		trace(keep.firstChild.childNodes.length);
		var bad = new XMLDocument("<a><b>text</a><c attr=>");
		trace(bad.toString());
		var deep = new StringBuf();
		for (i in 0...1000) deep.add("<d>");
		var deepDoc = new XMLDocument(deep.toString());
		var depth = 0;
		var x:XMLNode = deepDoc.firstChild;
		while (x != null) { depth++; x = x.firstChild; }
		trace(depth <= 1000 && depth > 0);
	}
}
