#pragma once

#include <QString>

// The window caption: "Reelwick1.1" alone, or the movie's path followed by " - Reelwick1.1".
inline const QString kAppCaption = QStringLiteral("Reelwick1.1");
inline const QString kCaptionSuffix = QStringLiteral(" - Reelwick1.1");
inline const QString kVersionText = QStringLiteral("Reelwick 1.1");

inline QString movieCaption(const QString& moviePath) {
    return moviePath + kCaptionSuffix;
}
