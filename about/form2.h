#pragma once

#include <QWidget>

class QLabel;

// The About window: program name, version, author and contact, and a photograph. It has no
// owner, so it moves independently of the main window; closing it destroys it.
class Form2 : public QWidget {
    Q_OBJECT
public:
    explicit Form2(const QIcon& icon);

    static inline const QString kAuthor = QStringLiteral("林雨桐");
    static inline const QString kContact = QStringLiteral("reelwick@example.org");

    QLabel* label(const char* name) const;
};
