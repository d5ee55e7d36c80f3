#include "swf/render/fontfile.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <unordered_map>

namespace swf::render {

namespace {

constexpr std::size_t kKeptFonts = 16; // per thread; movies rarely carry more

// QRawFont is not safe to share between threads, so each thread keeps its own, by the font
// definition's serial (never reused, unlike its address).
std::optional<QRawFont> loaded(const Font& font) {
    if (font.fontData.isEmpty() || !qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        return std::nullopt;
    thread_local std::unordered_map<std::uint64_t, std::optional<QRawFont>> cache;
    if (auto it = cache.find(font.serial); it != cache.end())
        return it->second;
    if (cache.size() >= kKeptFonts)
        cache.clear();
    std::optional<QRawFont> raw;
    QRawFont f(font.fontData, 20, QFont::PreferNoHinting);
    if (f.isValid())
        raw = f;
    cache.emplace(font.serial, raw);
    return raw;
}

} // namespace

std::optional<QRawFont> fontFileAt(const Font& font, double pixelSize) {
    std::optional<QRawFont> raw = loaded(font);
    if (raw)
        raw->setPixelSize(std::clamp(pixelSize, 1.0, 1e5));
    return raw;
}

bool fontFileHasGlyphs(const Font& font, const QString& text) {
    const std::optional<QRawFont> raw = loaded(font);
    if (!raw)
        return false;
    for (const uint c : text.toUcs4())
        if (!raw->supportsCharacter(c))
            return false;
    return true;
}

} // namespace swf::render
