#include "playlist/opendialog.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <algorithm>

const QString QtOpenDialog::kTitle = QStringLiteral("打开Flash动画文件");
const QString QtOpenDialog::kFilter = QStringLiteral("Flash动画(*.swf)");

namespace {

QString commonFolder(const QStringList& files) {
    QString folder = QFileInfo(files.first()).absolutePath();
    for (const QString& f : files) {
        const QString path = QFileInfo(f).absoluteFilePath();
        while (!path.startsWith(folder == QLatin1String("/") ? folder : folder + QLatin1Char('/')))
            folder = QFileInfo(folder).absolutePath(); // one level up; "/" is its own parent
    }
    return folder;
}

} // namespace

std::optional<QString> fileNameResult(const QStringList& files) {
    if (files.isEmpty())
        return std::nullopt;
    const QString folder = commonFolder(files);
    if (!QDir::setCurrent(folder))
        return std::nullopt;
    // The current directory may spell the folder differently (a symbolic link resolved); the
    // names below it are the same either way.
    const QString current = QDir::currentPath();
    const QDir base(folder);
    QStringList names;
    for (const QString& f : files)
        names << base.relativeFilePath(QFileInfo(f).absoluteFilePath());

    if (names.size() == 1)
        return current.endsWith(QLatin1Char('/')) ? current + names.first()
                                                  : current + QLatin1Char('/') + names.first();
    QString result = current;
    for (const QString& name : names)
        result += QChar(u'\0') + name;
    return result;
}

QStringList typedFileNames(const QString& text) {
    if (!text.contains(QLatin1Char('"')))
        return text.isEmpty() ? QStringList() : QStringList{text};
    QStringList names;
    const QStringList tokens = text.split(QLatin1Char('"'));
    for (qsizetype i = 1; i < tokens.size(); i += 2)
        if (!tokens[i].isEmpty())
            names << tokens[i];
    return names;
}

std::optional<QString> QtOpenDialog::run(QWidget* parent) {
    QFileDialog dialog(parent, kTitle, QDir::currentPath(), kFilter);
    dialog.setObjectName(QStringLiteral("CommonDialog1"));
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFiles);
    dialog.setOption(QFileDialog::DontUseNativeDialog, !m_native);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    QStringList files = dialog.selectedFiles();
    // Qt's own dialog takes its result from the files highlighted in its view, which can miss
    // a typed name (one that an input method commits whole). The names in the box are what the
    // user confirmed; they win when they all name existing files.
    if (const auto* box = dialog.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))) {
        QStringList typed;
        for (const QString& name : typedFileNames(box->text()))
            typed << dialog.directory().absoluteFilePath(name);
        if (!typed.isEmpty() && std::all_of(typed.begin(), typed.end(),
                                            [](const QString& f) { return QFileInfo(f).isFile(); }))
            files = typed;
    }
    return fileNameResult(files);
}
