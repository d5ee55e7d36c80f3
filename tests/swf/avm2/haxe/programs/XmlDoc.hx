// haxe.Xml (a parser and printer written in Haxe): parsing elements, attributes, text, CDATA,
// comments and entities, walking and editing the tree, haxe.xml.Access, and printing.
// Elements printed whole have at most one attribute: attributes are kept in a map, and their
// order is up to each target.

import haxe.xml.Access;

class XmlDoc {
	static function main() {
		var src = '<?xml version="1.0" encoding="utf-8"?>
<library name="藏书">
	<book id="1" lang="zh"><title>红楼梦</title><author>曹雪芹</author><year>1791</year></book>
	<book id="2" lang="en"><title>Moby-Dick &amp; Other &lt;Tales&gt;</title><author>Herman Melville</author><year>1851</year></book>
	<!-- a comment -->
	<book id="3"><title><![CDATA[<raw> & "text"]]></title><year>2001</year></book>
	<empty/>
</library>';
		var x = Xml.parse(src);
		var root = x.firstElement();
		trace(root.nodeName + " " + root.get("name") + " " + root.exists("name") + " " + root.exists("missing"));
		var books = [for (b in root.elementsNamed("book")) b];
		trace(books.length);
		for (b in books) {
			var title = b.elementsNamed("title").next().firstChild();
			var year = Std.parseInt(b.elementsNamed("year").next().firstChild().nodeValue);
			trace(b.get("id") + " [" + title.nodeValue + "] " + year + " " + (b.get("lang") == null ? "-" : b.get("lang")) + " "
				+ (title.nodeType == CData ? "cdata" : "pcdata"));
		}
		var kinds = [];
		for (c in root)
			kinds.push(switch (c.nodeType) {
				case Element: "E:" + c.nodeName;
				case PCData: "T" + c.nodeValue.length;
				case Comment: "C:" + StringTools.trim(c.nodeValue);
				default: "?";
			});
		trace(kinds.join(" "));
		var attrs = [for (a in books[1].attributes()) a];
		attrs.sort((a, b) -> a < b ? -1 : 1);
		trace(attrs);

		var acc = new Access(root);
		trace(acc.att.name + " " + acc.nodes.book.length + " " + acc.node.book.node.author.innerData);
		trace(acc.hasNode.empty + " " + acc.hasNode.magazine + " " + acc.node.book.has.lang);
		var years = [for (b in acc.nodes.book) Std.parseInt(b.node.year.innerData)];
		trace(years);

		var doc = Xml.createDocument();
		var el = Xml.createElement("items");
		doc.addChild(el);
		for (i in 0...3) {
			var item = Xml.createElement("item");
			item.set("n", "" + i);
			item.addChild(Xml.createPCData("值 " + i * i + " <&>"));
			el.addChild(item);
		}
		el.addChild(Xml.createCData("a]]b"));
		el.addChild(Xml.createComment(" note "));
		trace(doc.toString());
		// One trace per line: a trace is one line of output in the movie.
		for (line in haxe.xml.Printer.print(el, true).split("\n"))
			trace("| " + line);
		el.removeChild(el.firstElement());
		trace([for (e in el.elements()) e.get("n")]);
		var first = el.firstElement();
		first.set("n", "changed");
		first.remove("n");
		trace(first.exists("n") + " " + first.toString());
		trace(el.firstChild().parent == el);

		var bad = ["<a>", "<a></b>", "<a b=1/>", "text only", "<a><b></a></b>"];
		for (s in bad) {
			var r = try {
				var p = Xml.parse(s);
				"parsed " + [for (c in p) c.nodeType == Element ? c.nodeName : "text"].join(",");
			} catch (e:Dynamic) "error";
			trace(s + " -> " + r);
		}

		var big = new StringBuf();
		big.add("<list>");
		for (i in 0...500)
			big.add('<v x="' + i + '">' + (i * 3) + "</v>");
		big.add("</list>");
		var parsed = Xml.parse(big.toString()).firstElement();
		var total = 0;
		for (v in parsed.elements())
			total += Std.parseInt(v.get("x")) + Std.parseInt(v.firstChild().nodeValue);
		trace(total);
		var entities = Xml.parse("<e>&lt;&gt;&amp;&quot;&apos;&#65;&#x4E2D;</e>").firstElement().firstChild().nodeValue;
		trace(entities);
	}
}
