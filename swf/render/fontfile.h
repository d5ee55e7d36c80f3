#pragma once

// Fonts a movie carries as whole font files (DefineFont4: OpenType with CFF outlines), read
// by Qt. Edit texts draw with them as with any embedded font; a file Qt cannot read leaves
// the text to the device font of the same name.

#include "swf/characters.h"

#include <QFont>
#include <QRawFont>
#include <optional>

namespace swf::render {

// The font file of `font` at `pixelSize` (the layout passes twips, so outlines come out in
// twips); nothing when the font has no file, Qt cannot read it, or there is no
// QGuiApplication. Files are read once per thread and font; the result belongs to the calling
// thread.
std::optional<QRawFont> fontFileAt(const Font& font, double pixelSize);

// Whether the font's file has a glyph for every character of `text`.
bool fontFileHasGlyphs(const Font& font, const QString& text);

} // namespace swf::render
