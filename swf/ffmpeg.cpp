#include "swf/ffmpeg.h"

#include <array>
#include <cstdio>
#include <dlfcn.h>
#include <mutex>

namespace swf::ffmpeg {

namespace {

#define REELWICK_SONAME(lib, major) "lib" #lib ".so." AV_STRINGIFY(major)

std::array<std::string, 5>& sonames() {
    static std::array<std::string, 5> names = {
        REELWICK_SONAME(avutil, LIBAVUTIL_VERSION_MAJOR),
        REELWICK_SONAME(avcodec, LIBAVCODEC_VERSION_MAJOR),
        REELWICK_SONAME(avformat, LIBAVFORMAT_VERSION_MAJOR),
        REELWICK_SONAME(swscale, LIBSWSCALE_VERSION_MAJOR),
        REELWICK_SONAME(swresample, LIBSWRESAMPLE_VERSION_MAJOR),
    };
    return names;
}

#undef REELWICK_SONAME

Api table;
std::array<void*, 5> handles = {};
std::string failure; // written once, by the one group that fails

// Returns why the library cannot be opened, or nothing. Handles are never closed: decoders on
// other threads may hold its functions until the program ends.
std::string open(Library library) {
    void*& handle = handles[std::size_t(library)];
    if (handle)
        return {};
    const std::string& file = sonames()[std::size_t(library)];
    handle = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle)
        return {};
    const char* why = dlerror();
    return why ? std::string(why) : file + ": cannot be opened";
}

template <typename Pointer> std::string find(Library library, const char* name, Pointer& slot) {
    if (std::string error = open(library); !error.empty())
        return error;
    void* symbol = dlsym(handles[std::size_t(library)], name);
    if (!symbol)
        return sonames()[std::size_t(library)] + " has no function " + name;
    slot = reinterpret_cast<Pointer>(symbol);
    return {};
}

std::string report(std::string why, const char* consequence) {
    std::fprintf(stderr, "Reelwick: cannot load FFmpeg: %s; %s\n", why.c_str(), consequence);
    return why;
}

} // namespace

// Stops at the first function missing.
#define REELWICK_FFMPEG_FIND(library, name)                                                        \
    if (why.empty())                                                                               \
        why = find(Library::library, #name, table.name);

const Api* decoding() {
    static std::once_flag once;
    static bool ok = false;
    std::call_once(once, [] {
        std::string why;
        REELWICK_FFMPEG_DECODING(REELWICK_FFMPEG_FIND)
        ok = why.empty();
        if (!ok)
            failure = report(why, "movies' video and MP3 and Nellymoser sound will not play");
    });
    return ok ? &table : nullptr;
}

const Api* encoding() {
    if (!decoding())
        return nullptr;
    static std::once_flag once;
    static bool ok = false;
    std::call_once(once, [] {
        std::string why;
        REELWICK_FFMPEG_ENCODING(REELWICK_FFMPEG_FIND)
        ok = why.empty();
        if (!ok)
            failure = report(why, "videos cannot be written");
    });
    return ok ? &table : nullptr;
}

#undef REELWICK_FFMPEG_FIND

const std::string& loadError() {
    return failure;
}

void setSonameForTesting(Library library, std::string file) {
    sonames()[std::size_t(library)] = std::move(file);
}

} // namespace swf::ffmpeg
