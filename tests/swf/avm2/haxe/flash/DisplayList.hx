// The display list of DisplayObjectContainer: child order under addChild, addChildAt,
// removeChild, removeChildAt, setChildIndex, swapChildren, swapChildrenAt, getChildIndex,
// getChildByName, contains, reparenting, and the errors for bad calls. Expected output is written
// by hand in DisplayList.expected from the ActionScript 3.0 Language Reference; the comment above
// each trace names the documented rule.

import flash.display.DisplayObjectContainer;
import flash.display.Sprite;

class DisplayList {
	static function names(c:DisplayObjectContainer):String
		return [for (i in 0...c.numChildren) c.getChildAt(i).name].join(",");

	static function sprite(name:String):Sprite {
		var s = new Sprite();
		s.name = name;
		return s;
	}

	static function main() {
		var root = new Sprite();
		var a = sprite("a"), b = sprite("b"), c = sprite("c"), d = sprite("d"), e = sprite("e");
		// A new container has no children; parent of a new object is null.
		trace(root.numChildren + " " + (a.parent == null));
		// addChild adds at the top (the end of the list) and returns the child.
		trace(root.addChild(a) == a);
		root.addChild(b);
		root.addChild(c);
		trace(names(root) + " " + root.numChildren);
		// addChildAt(child, index): index 0 is the back; later children move up one.
		root.addChildAt(d, 0);
		root.addChildAt(e, 2);
		trace(names(root));
		// getChildIndex gives the position; parent is the container.
		trace(root.getChildIndex(a) + " " + root.getChildIndex(c) + " " + (c.parent == root));
		// Adding a child that is already in the same container moves it to the top.
		root.addChild(d);
		trace(names(root));
		// setChildIndex moves a child to an index; the others shift to make room.
		root.setChildIndex(c, 0);
		trace(names(root));
		root.setChildIndex(c, 4);
		trace(names(root));
		// swapChildren and swapChildrenAt exchange two positions.
		root.swapChildren(a, d);
		trace(names(root));
		root.swapChildrenAt(0, 4);
		trace(names(root));
		// getChildByName finds by name; an unknown name gives null.
		trace(root.getChildByName("b") == b);
		trace(root.getChildByName("zzz") == null);
		// removeChild returns the child and clears its parent; the ones above move down.
		trace(root.removeChild(e) == e);
		trace(names(root) + " " + (e.parent == null));
		// removeChildAt removes by index and returns the removed child.
		trace(root.removeChildAt(1).name + " " + names(root));

		// Adding a child that has another parent removes it from the first one.
		var other = sprite("other");
		other.addChild(a);
		trace(names(root) + " | " + names(other) + " " + (a.parent == other));
		// contains is true for the container itself and any descendant.
		root.addChild(other);
		trace(root.contains(a) + " " + root.contains(root) + " " + root.contains(e) + " " + other.contains(root));
		// A descendant's index is in its own parent.
		trace(other.getChildIndex(a) + " " + root.getChildIndex(other));

		// Errors: removeChild of an object that is not a child throws ArgumentError 2025.
		try {
			root.removeChild(e);
			trace("no error");
		} catch (err:flash.errors.ArgumentError) {
			trace("ArgumentError " + err.errorID);
		}
		// getChildAt with an index out of range throws RangeError 2006.
		try {
			root.getChildAt(99);
			trace("no error");
		} catch (err:flash.errors.RangeError) {
			trace("RangeError " + err.errorID);
		}
		// addChildAt past numChildren throws RangeError 2006.
		try {
			root.addChildAt(e, root.numChildren + 1);
			trace("no error");
		} catch (err:flash.errors.RangeError) {
			trace("RangeError " + err.errorID);
		}
		// Adding an object to itself throws ArgumentError 2024.
		try {
			root.addChild(root);
			trace("no error");
		} catch (err:flash.errors.ArgumentError) {
			trace("ArgumentError " + err.errorID);
		}
		// Adding an ancestor as a child would make a loop: ArgumentError 2150.
		try {
			other.addChild(root);
			trace("no error");
		} catch (err:flash.errors.ArgumentError) {
			trace("ArgumentError " + err.errorID);
		}
		// The failed calls changed nothing.
		trace(names(root) + " | " + names(other));

		// Many children keep their order.
		var many = new Sprite();
		for (i in 0...50)
			many.addChildAt(sprite("n" + i), i % 2 == 0 ? 0 : many.numChildren);
		trace(many.numChildren + " " + many.getChildAt(0).name + " " + many.getChildAt(24).name + " " + many.getChildAt(25).name + " "
			+ many.getChildAt(49).name);
		while (many.numChildren > 3)
			many.removeChildAt(1);
		trace(names(many));
	}
}
