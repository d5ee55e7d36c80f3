#pragma once

// flash.geom, flash.filters and flash.display.BitmapData for ActionScript 2, and the clip
// methods that show bitmaps (bitmap.cpp).

namespace swf::avm1 {

class VM;

void installBitmapApi(VM& vm);

} // namespace swf::avm1
