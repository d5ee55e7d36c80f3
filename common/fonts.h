#pragma once

#include <QFont>

// Movies and the interface name the Windows Song face ("宋体", "SimSun"); map those names to
// an installed Song face so that texts render as Song rather than a fallback or boxes.
void installFontSubstitutions();

// "宋体" at `points`, character set GB2312 in spirit: the substituted CJK Song face.
QFont songFont(qreal points, QFont::Weight weight);
