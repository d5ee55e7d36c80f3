#pragma once

// flash.display.BitmapData for ActionScript 3, on the engine's swf::BitmapData.

#include "swf/avm2/vm.h"
#include "swf/bitmapdata.h"

#include <memory>

namespace swf {
class Movie;
}

namespace swf::avm2 {

// What BitmapData needs beyond the VM; the runtime makes one per movie.
struct BitmapHost {
    std::shared_ptr<BitmapBudget> budget = std::make_shared<BitmapBudget>();
    int swfVersion = 10;
    // Draws and filters; without one, draw() and applyFilter() do nothing.
    std::shared_ptr<BitmapDrawer> drawer;
    // Library bitmaps: a class linked to a bitmap character by SymbolClass starts with its pixels.
    std::shared_ptr<const Movie> movie;
};

// The pixels behind a BitmapData object (null for anything else, or once disposed).
std::shared_ptr<BitmapData> bitmapDataOf(const Value& v);
// A new flash.display.BitmapData object showing `pixels`.
Value newBitmapData(VM& vm, std::shared_ptr<BitmapData> pixels);

} // namespace swf::avm2
