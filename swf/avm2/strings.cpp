#include "swf/avm2/strings.h"

#include <algorithm>

namespace swf::avm2 {

namespace {

// Shorter results are copied: cheap, and they keep no spare room.
constexpr qsizetype kMinRoom = 256;

} // namespace

QString concatStrings(const QString& a, const QString& b) {
    thread_local QString room;
    if (b.isEmpty())
        return a;
    if (a.isEmpty())
        return b;
    const qsizetype size = a.size() + b.size();
    const auto& left = a.data_ptr();
    auto& kept = room.data_ptr();
    // One more than b for the terminating zero QString keeps after its characters.
    if (left.d && left.d == kept.d && left.ptr == kept.ptr && left.size == kept.size &&
        kept.freeSpaceAtEnd() > b.size()) {
        char16_t* end = kept.ptr + kept.size;
        std::copy_n(reinterpret_cast<const char16_t*>(b.constData()), b.size(), end);
        end[b.size()] = u'\0';
        kept.size = size;
        return room;
    }
    if (size < kMinRoom)
        return a + b;
    QString joined;
    joined.reserve(size * 2);
    joined.append(a);
    joined.append(b);
    room = joined;
    return joined;
}

} // namespace swf::avm2
