// Does nothing: its time is what starting the interpreter or the player costs.
class Empty {
	static function main() {
		trace("empty");
	}
}
