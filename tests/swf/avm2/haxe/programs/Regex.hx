// Regular expressions through EReg: matching, groups and their positions, global and
// case-insensitive flags, replace with group references, split, map, anchors, classes,
// quantifiers (greedy and lazy), alternation, and Chinese text.
// Only the syntax both ECMAScript and PCRE read the same way is used; unmatched optional groups
// are not printed (null in one target, "" or undefined in the other), and neither is split
// without the g flag (the interpreter splits on every match, ActionScript's split always does).

class Regex {
	static function main() {
		var r = ~/(\d+)-(\d+)/;
		trace(r.match("tel 010-8765 ext"));
		trace(r.matched(0) + " " + r.matched(1) + " " + r.matched(2));
		var p = r.matchedPos();
		trace(p.pos + " " + p.len);
		trace(r.matchedLeft() + "|" + r.matchedRight());
		trace(r.match("no digits here"));

		var words = ~/\b([a-z]+)\b/gi;
		var s = "Alpha beta, GAMMA delta";
		trace(words.replace(s, "<$1>"));
		trace(words.map(s, e -> e.matched(1).length + ""));
		var all = [];
		var pos = 0;
		while (words.matchSub(s, pos)) {
			var mp = words.matchedPos();
			all.push(words.matched(1) + "@" + mp.pos);
			pos = mp.pos + mp.len;
		}
		trace(all);

		trace(~/a/g.replace("banana", "o") + " " + ~/a/.replace("banana", "o"));
		trace(~/\s+/g.split("a  b \t c\nd"));
		trace(~/,/g.split("x,y,z"));
		trace(~/^\w+@\w+\.com$/.match("user@example.com") + " " + ~/^\w+@\w+\.com$/.match("bad@ex.org"));
		trace(~/colou?r/.match("color") + " " + ~/colou?r/.match("colour") + " " + ~/colou?r/.match("colr"));
		trace(~/^abc/m.match("x\nabc") + " " + ~/^abc/.match("x\nabc"));
		trace(~/A.C/i.match("xabcx") + " " + ~/A.C/.match("xabcx"));

		var greedy = ~/<.+>/;
		greedy.match("<a><b>");
		var lazy = ~/<.+?>/;
		lazy.match("<a><b>");
		trace(greedy.matched(0) + " " + lazy.matched(0));
		trace(~/(ab)+/.match("xababab") ? ~/(ab)+/.replace("xababab", "[$1]") : "no");
		trace(~/(a|b|c){2,3}/g.replace("abcabcab", "#"));
		trace(~/[^aeiou]/g.replace("education", "_"));
		trace(~/\d{3,}/g.replace("1 22 333 4444", "N"));
		trace(~/(\w)(\w)/g.replace("abcdef", "$2$1"));
		trace(~/x*/g.replace("abc", "-"));
		trace(~/\$(\d+)/g.replace("cost $5 and $10", "€$1"));
		trace(~/\./g.replace("a.b.c", "\\"));

		var zh = "价格：128元，折扣：25元，共计：103元";
		var num = ~/(\d+)元/g;
		var found = [];
		var rest = zh;
		while (num.match(rest)) {
			found.push(num.matched(1));
			rest = num.matchedRight();
		}
		trace(found);
		trace(num.replace(zh, "$1 yuan"));
		trace(~/：/g.split(zh));
		var total = ~/共计/;
		trace(total.match(zh) + " " + total.matchedPos().pos);

		var date = ~/^(\d{4})-(\d{2})-(\d{2})$/;
		for (d in ["2024-02-29", "2024-2-29", "1999-12-31"]) {
			if (date.match(d))
				trace(date.matched(3) + "/" + date.matched(2) + "/" + date.matched(1));
			else
				trace("not a date: " + d);
		}

		var csv = ~/"([^"]*)"|([^,]+)/g;
		var fields = [];
		csv.map('a,"b,c",d', e -> {
			fields.push(e.matched(0));
			return "";
		});
		trace(fields);

		var ident = new EReg("^[A-Za-z_][A-Za-z0-9_]*$", "");
		trace([for (w in ["abc", "_x1", "1abc", "a-b", ""]) ident.match(w)]);
		var dyn = new EReg("(o+)", "g");
		trace(dyn.replace("foo boo zoooo", "[$1]"));
		// Only characters both targets escape: ( ) { } | are escaped by one only.
		trace(EReg.escape("a.b*c?[e]g^h$i\\j+k"));
		trace(new EReg(EReg.escape("1+1=2"), "").match("is 1+1=2?"));
		var nc = ~/(?:ab)+(c)/;
		trace(nc.match("ababc") + " " + nc.matched(1));
		trace(~/a(?=b)/.replace("ab ac", "X"));
		trace(~/(\w+) (\w+)/.replace("hello world", "$2 $1"));
		var han = ~/[一-龥]+/;
		trace(han.match("abc中文def") + " " + han.matched(0) + " " + han.matchedPos().pos);
	}
}
