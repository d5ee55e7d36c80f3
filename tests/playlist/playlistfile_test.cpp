#include "playlist/playlistfile.h"

#include <QDir>
#include <QFile>
#include <QFileDevice>
#include <QTemporaryDir>
#include <csignal>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

namespace {

QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

void writeRaw(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

} // namespace

TEST(PlaylistFile, LineEnds) {
    using playlistfile::parse;
    // Three lines, the middle one empty, the last without a line end.
    EXPECT_EQ(parse("a.swf\r\n\r\nc.swf"), QStringList({"a.swf", "", "c.swf"}));
    // A final line end adds no empty entry; a lone CR and a lone LF end lines too.
    EXPECT_EQ(parse("a\r\nb\r\n"), QStringList({"a", "b"}));
    EXPECT_EQ(parse("a\nb\rc\n"), QStringList({"a", "b", "c"}));
    EXPECT_EQ(parse("a\n\r\nb"), QStringList({"a", "", "b"}));
    EXPECT_EQ(parse(""), QStringList());
    EXPECT_EQ(parse("\r\n"), QStringList({""}));
}

TEST(PlaylistFile, EncodingsRoundTrip) {
    const QStringList entries = {QStringLiteral("/电影/动画 1, \"第二部\".swf"), QStringLiteral(""),
                                 QStringLiteral("/m/émoji 🎬.swf"), QStringLiteral("/m/a.swf")};
    const QByteArray bytes = playlistfile::serialize(entries);
    EXPECT_FALSE(bytes.startsWith("\xEF\xBB\xBF"));
    EXPECT_TRUE(bytes.endsWith("/m/a.swf\r\n"));
    EXPECT_EQ(playlistfile::parse(bytes), entries);

    // Written on a Chinese Windows system: GB2312 bytes for "C:\动画\猫.swf".
    const QByteArray gbk("C:\\\xB6\xAF\xBB\xAD\\\xC3\xA8.swf\r\n");
    EXPECT_EQ(playlistfile::parse(gbk), QStringList({QStringLiteral("C:\\动画\\猫.swf")}));
}

TEST(PlaylistFile, ReadAndWriteOnDisk) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("sub/folder/play.lst"));

    auto missing = playlistfile::read(path);
    EXPECT_FALSE(missing.failed);
    EXPECT_TRUE(missing.entries.isEmpty());
    EXPECT_FALSE(QFile::exists(path)) << "reading must not create the file";

    ASSERT_TRUE(playlistfile::write(path, {QStringLiteral("/a.swf"), QStringLiteral("/b c.swf")}));
    EXPECT_EQ(readAll(path), QByteArray("/a.swf\r\n/b c.swf\r\n"));
    EXPECT_EQ(playlistfile::read(path).entries,
              QStringList({QStringLiteral("/a.swf"), QStringLiteral("/b c.swf")}));

    ASSERT_TRUE(playlistfile::write(path, {}));
    EXPECT_EQ(readAll(path), QByteArray());
}

TEST(PlaylistFile, FailuresLeaveThePreviousFileWhole) {
    QTemporaryDir dir;
    const QString folderAsFile = dir.filePath(QStringLiteral("play.lst"));
    ASSERT_TRUE(QDir().mkdir(folderAsFile));
    auto r = playlistfile::read(folderAsFile);
    EXPECT_TRUE(r.failed);
    EXPECT_FALSE(r.error.isEmpty());
    QString error;
    EXPECT_FALSE(playlistfile::write(folderAsFile, {QStringLiteral("/a.swf")}, &error));
    EXPECT_FALSE(error.isEmpty());

    if (geteuid() == 0)
        GTEST_SKIP() << "permissions do not stop root";
    const QString locked = dir.filePath(QStringLiteral("locked"));
    ASSERT_TRUE(QDir().mkdir(locked));
    const QString path = locked + QStringLiteral("/play.lst");
    writeRaw(path, "/old.swf\r\n");
    QFile::setPermissions(locked, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    EXPECT_FALSE(playlistfile::write(path, {QStringLiteral("/new.swf")}));
    EXPECT_EQ(readAll(path), QByteArray("/old.swf\r\n"));
    QFile::setPermissions(path, QFileDevice::WriteOwner);
    EXPECT_TRUE(playlistfile::read(path).failed);
    QFile::setPermissions(locked,
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}

TEST(PlaylistFile, DefaultLocationFollowsXdgDataHome) {
    qputenv("XDG_DATA_HOME", "/tmp/xdg-test");
    EXPECT_EQ(playlistfile::defaultPath(), QStringLiteral("/tmp/xdg-test/reelwick/play.lst"));
    qputenv("XDG_DATA_HOME", "relative/ignored");
    EXPECT_EQ(playlistfile::defaultPath(), QDir::homePath() + "/.local/share/reelwick/play.lst");
    qunsetenv("XDG_DATA_HOME");
    EXPECT_EQ(playlistfile::defaultPath(), QDir::homePath() + "/.local/share/reelwick/play.lst");
}

// A write that fails half-way (here: the file-size limit, which binds root too) must leave the
// previous playlist as it was, not a truncated one.
TEST(PlaylistFile, WriteThatFailsHalfWayKeepsTheOldFile) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("play.lst"));
    writeRaw(path, "/old.swf\r\n");

    signal(SIGXFSZ, SIG_IGN);
    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    rlimit small = old;
    small.rlim_cur = 64;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    QStringList many;
    for (int i = 0; i < 100; ++i)
        many << QStringLiteral("/movies/long/path/number/%1.swf").arg(i);
    const bool written = playlistfile::write(path, many);
    setrlimit(RLIMIT_FSIZE, &old);

    EXPECT_FALSE(written);
    EXPECT_EQ(readAll(path), QByteArray("/old.swf\r\n"));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList({QStringLiteral("play.lst")}))
        << "no temporary file is left behind";
}
