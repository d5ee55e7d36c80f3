#include "playlist/opendialog.h"
#include "playlist/playlistcommands.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

// Restores the process's current directory, which every result changes.
struct KeepCurrentDir {
    QString saved = QDir::currentPath();
    ~KeepCurrentDir() { QDir::setCurrent(saved); }
};

// The dialog's result for `files`, then what the Open command makes of it: the split against
// the current directory, each name joined to the folder.
QStringList roundTrip(const QStringList& files, QString* result = nullptr) {
    const auto r = fileNameResult(files);
    if (!r)
        return {QStringLiteral("<no result>")};
    if (result)
        *result = *r;
    const auto info = GetDlgFileInfo(*r, QDir::currentPath());
    QStringList out;
    for (const QString& name : info ? info->names : QStringList())
        out << info->folder + name;
    return out;
}

} // namespace

TEST(OpenDialogResult, OneFileOrSeveralInOneFolder) {
    KeepCurrentDir keep;
    QTemporaryDir dir;
    const QString d = QDir(dir.path()).canonicalPath();
    QString result;
    EXPECT_EQ(roundTrip({d + "/a b.swf"}, &result), QStringList({d + "/a b.swf"}));
    EXPECT_EQ(result, d + "/a b.swf");
    EXPECT_EQ(QDir::currentPath(), d);

    const QStringList several = {d + "/b.swf", d + "/a.swf", d + "/动画.swf"};
    EXPECT_EQ(roundTrip(several, &result), several);
    const QChar nul(u'\0');
    EXPECT_EQ(result, d + nul + "b.swf" + nul + "a.swf" + nul + "动画.swf");

    // The root folder keeps its one separator in both forms.
    EXPECT_EQ(roundTrip({"/a.swf"}, &result), QStringList({"/a.swf"}));
    EXPECT_EQ(result, "/a.swf");
    EXPECT_EQ(roundTrip({"/a.swf", "/b.swf"}, &result), QStringList({"/a.swf", "/b.swf"}));
    EXPECT_EQ(result, QString("/") + nul + "a.swf" + nul + "b.swf");
}

// Files from several folders, and a folder reached through a symbolic link (the current
// directory then spells it by its real path, of another length), still give whole paths.
TEST(OpenDialogResult, SeveralFoldersAndSymbolicLinks) {
    KeepCurrentDir keep;
    QTemporaryDir dir;
    const QString d = QDir(dir.path()).canonicalPath();
    const QStringList spread = {d + "/x/a.swf", d + "/xy/b.swf", d + "/c.swf"};
    EXPECT_EQ(roundTrip(spread), spread);
    EXPECT_EQ(QDir::currentPath(), d);

    ASSERT_TRUE(QDir().mkpath(d + "/a-long-real-folder-name"));
    ASSERT_TRUE(QFile::link(d + "/a-long-real-folder-name", d + "/ln"));
    const QString real = d + "/a-long-real-folder-name/";
    EXPECT_EQ(roundTrip({d + "/ln/one.swf"}), QStringList({real + "one.swf"}));
    EXPECT_EQ(roundTrip({d + "/ln/one.swf", d + "/ln/two.swf"}),
              QStringList({real + "one.swf", real + "two.swf"}));
}

TEST(OpenDialogResult, NothingChosenOrNoFolderGivesNoResult) {
    KeepCurrentDir keep;
    const QString before = QDir::currentPath();
    EXPECT_FALSE(fileNameResult({}));
    EXPECT_FALSE(fileNameResult({"/no/such/folder/a.swf"}));
    EXPECT_EQ(QDir::currentPath(), before);
}

TEST(OpenDialogResult, TypedNames) {
    EXPECT_EQ(typedFileNames(""), QStringList());
    EXPECT_EQ(typedFileNames("a b.swf"), QStringList({"a b.swf"}));
    EXPECT_EQ(typedFileNames("\"b.swf\" \"a.swf\" \"动画 1.swf\""),
              QStringList({"b.swf", "a.swf", "动画 1.swf"}));
    // An unfinished last name still counts; empty quotes do not.
    EXPECT_EQ(typedFileNames("\"b.swf\" \"\" \"a.sw"), QStringList({"b.swf", "a.sw"}));
}
