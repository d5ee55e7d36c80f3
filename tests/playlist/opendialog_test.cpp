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

QString nul(const QStringList& parts) {
    return parts.join(QChar(u'\0'));
}

// What the Open command makes of a result: the split against the current directory, joined.
QStringList paths(const QString& result) {
    const auto info = GetDlgFileInfo(result, QDir::currentPath());
    QStringList out;
    for (const QString& name : info ? info->names : QStringList())
        out << info->folder + name;
    return out;
}

} // namespace

TEST(OpenDialogResult, OneFileIsItsFullPathAndEntersItsFolder) {
    KeepCurrentDir keep;
    QTemporaryDir dir;
    const QString d = QDir(dir.path()).canonicalPath();
    const auto result = fileNameResult({d + "/a b.swf"});
    ASSERT_TRUE(result);
    EXPECT_EQ(*result, d + "/a b.swf");
    EXPECT_EQ(QDir::currentPath(), d);
    EXPECT_EQ(paths(*result), QStringList({d + "/a b.swf"}));
}

TEST(OpenDialogResult, SeveralFilesAreTheFolderThenNulSeparatedNames) {
    KeepCurrentDir keep;
    QTemporaryDir dir;
    const QString d = QDir(dir.path()).canonicalPath();
    const auto result = fileNameResult({d + "/b.swf", d + "/a.swf", d + "/动画.swf"});
    ASSERT_TRUE(result);
    EXPECT_EQ(*result, nul({d, "b.swf", "a.swf", "动画.swf"}));
    EXPECT_EQ(paths(*result), QStringList({d + "/b.swf", d + "/a.swf", d + "/动画.swf"}));
}

TEST(OpenDialogResult, RootFolderHasOneSeparator) {
    KeepCurrentDir keep;
    EXPECT_EQ(fileNameResult({"/a.swf"}), QString("/a.swf"));
    EXPECT_EQ(paths("/a.swf"), QStringList({"/a.swf"}));
    const auto several = fileNameResult({"/a.swf", "/b.swf"});
    EXPECT_EQ(several, nul({"/", "a.swf", "b.swf"}));
    EXPECT_EQ(paths(*several), QStringList({"/a.swf", "/b.swf"}));
}

TEST(OpenDialogResult, FilesFromSeveralFoldersKeepTheirWholePaths) {
    KeepCurrentDir keep;
    QTemporaryDir dir;
    const QString d = QDir(dir.path()).canonicalPath();
    const QStringList files = {d + "/x/a.swf", d + "/xy/b.swf", d + "/c.swf"};
    const auto result = fileNameResult(files);
    ASSERT_TRUE(result);
    EXPECT_EQ(QDir::currentPath(), d);
    EXPECT_EQ(paths(*result), files);
}

// The current directory names a folder reached through a symbolic link by its real path,
// which is longer or shorter than the link; the split takes the folder by its length.
TEST(OpenDialogResult, FolderThroughASymbolicLinkStillSplitsRight) {
    KeepCurrentDir keep;
    QTemporaryDir dir;
    const QString d = QDir(dir.path()).canonicalPath();
    ASSERT_TRUE(QDir().mkpath(d + "/a-long-real-folder-name"));
    ASSERT_TRUE(QFile::link(d + "/a-long-real-folder-name", d + "/ln"));
    for (const QStringList& files :
         {QStringList({d + "/ln/one.swf"}), QStringList({d + "/ln/one.swf", d + "/ln/two.swf"})}) {
        const auto result = fileNameResult(files);
        ASSERT_TRUE(result);
        QStringList expected;
        for (const QString& f : files)
            expected << QString(f).replace("/ln/", "/a-long-real-folder-name/");
        EXPECT_EQ(paths(*result), expected);
    }
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
