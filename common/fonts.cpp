#include "common/fonts.h"

#include <QStringList>

void installFontSubstitutions() {
    const QStringList song = {QStringLiteral("Noto Serif CJK SC"), QStringLiteral("Noto Serif CJK"),
                              QStringLiteral("AR PL UMing CN"), QStringLiteral("Noto Sans CJK SC")};
    for (const QString& name : {QStringLiteral("宋体"), QStringLiteral("SimSun"),
                                QStringLiteral("新宋体"), QStringLiteral("NSimSun")})
        QFont::insertSubstitutions(name, song);
}

QFont songFont(qreal points, QFont::Weight weight) {
    QFont f;
    // The Windows name first, then the Song faces that stand in for it here.
    f.setFamilies({QStringLiteral("宋体"), QStringLiteral("Noto Serif CJK SC"),
                   QStringLiteral("AR PL UMing CN")});
    f.setPointSizeF(points);
    f.setWeight(weight);
    f.setItalic(false);
    f.setUnderline(false);
    f.setStrikeOut(false);
    return f;
}
