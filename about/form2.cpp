#include "about/form2.h"

#include "common/fonts.h"

#include <QLabel>
#include <QScreen>
#include <cmath>

Form2::Form2(const QIcon& icon) : QWidget(nullptr) {
    setObjectName(QStringLiteral("Form2"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("关于本软件"));
    setWindowIcon(icon);

    const QScreen* s = screen();
    const double tpp =
        1440.0 / (s && s->logicalDotsPerInchX() > 0 ? s->logicalDotsPerInchX() : 96.0);
    auto px = [tpp](double twips) { return int(std::lround(twips / tpp)); };
    resize(px(4455), px(2370));

    struct Text {
        const char* name;
        int left, top;
        QString text;
        bool bold;
    };
    const Text texts[] = {
        {"Label1", 1320, 240, QStringLiteral("软件名称："), true},
        {"Label2", 2520, 240, QStringLiteral("Reelwick"), false},
        {"Label3", 1320, 600, QStringLiteral("软件版本："), true},
        {"Label7", 2520, 600, QStringLiteral("1.1"), false},
        {"Label4", 1320, 960, QStringLiteral("软件作者："), true},
        {"Label8", 2520, 960, kAuthor, false},
        {"Label5", 1320, 1320, QStringLiteral("作者邮箱："), true},
        {"Label9", 2520, 1320, kContact, false},
    };
    for (const Text& t : texts) {
        auto* label = new QLabel(t.text, this);
        label->setObjectName(QLatin1String(t.name));
        label->setFont(songFont(10.5, t.bold ? QFont::Bold : QFont::Normal));
        label->move(px(t.left), px(t.top));
        label->adjustSize(); // sizes itself to its text
    }

    auto* notice = new QLabel(QStringLiteral("本软件为免费软件，欢迎自由复制、传播。"), this);
    notice->setObjectName(QStringLiteral("Label6"));
    notice->setFont(songFont(10.5, QFont::Normal));
    notice->setGeometry(px(240), px(1800), px(4000), px(420));
    notice->setWordWrap(true);

    auto* photo = new QLabel(this);
    photo->setObjectName(QStringLiteral("Image1"));
    photo->setPixmap(QPixmap(QStringLiteral(":/about.jpg")));
    photo->setScaledContents(true);
    photo->setGeometry(px(240), px(600), px(855), px(615));
}

QLabel* Form2::label(const char* name) const {
    return findChild<QLabel*>(QLatin1String(name));
}
