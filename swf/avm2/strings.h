#pragma once

// String concatenation for ActionScript 3's `+`, with appends in a loop kept linear.

#include <QString>

namespace swf::avm2 {

// a + b. A loop that appends to one string (`s += x`, which is how Haxe's StringBuf builds
// text) would copy the whole string at every step, a cost that grows with the square of its
// length. So a long result is made with spare room after it, and the last one is kept (one per
// thread, whichever VM made it); when the next concatenation starts from exactly that string,
// `b` is written into the room and the result shares the buffer. Every other holder of the
// buffer is a prefix of the kept string and never reads past its own length, and Qt copies a
// shared buffer before changing it, so nobody sees the room fill.
QString concatStrings(const QString& a, const QString& b);

} // namespace swf::avm2
