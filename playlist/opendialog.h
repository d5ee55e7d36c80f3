#pragma once

#include <QString>
#include <QStringList>
#include <optional>

class QWidget;

// The Open command's file dialog. A chosen result comes in one of two forms: one file, its full
// path; several files, their folder followed, for each file, by a NUL and its name. Before
// returning a result the dialog makes the files' folder the process's current directory,
// which is how the command learns the folder.
class OpenDialog {
public:
    virtual ~OpenDialog() = default;

    // Shows the dialog, modal over `parent`, and waits for the user. Empty on a cancel or when
    // the choice cannot be handed over; the current directory is then left alone.
    virtual std::optional<QString> run(QWidget* parent) = 0;
};

// The file-name result for `files` (absolute paths, in the user's order). Their folder is the
// nearest folder holding them all, so files from several folders come back as names with
// sub-folders in them. Makes that folder the current directory and builds the result on the
// current directory's own spelling of it, so that the folder part is always exactly as long
// as the directory the command reads. Empty when `files` is empty or the folder cannot be
// entered.
std::optional<QString> fileNameResult(const QStringList& files);

// The names in a file dialog's file name box: the text between each pair of double quotes when
// there are quotes, otherwise the whole text; empty names are left out.
QStringList typedFileNames(const QString& text);

// The platform's open dialog: title "打开Flash动画文件", one filter "Flash动画(*.swf)",
// several existing files at once, starting in the current directory.
class QtOpenDialog : public OpenDialog {
public:
    static const QString kTitle;
    static const QString kFilter;

    // `useNativeDialog` false always shows Qt's own dialog, which tests can drive.
    explicit QtOpenDialog(bool useNativeDialog = true) : m_native(useNativeDialog) {}

    std::optional<QString> run(QWidget* parent) override;

private:
    bool m_native;
};
