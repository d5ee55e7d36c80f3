#include "playlist/playlistfile.h"

#include <QDir>
#include <QFile>
#include <QFileDevice>
#include <QTemporaryDir>
#include <csignal>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

mode_t modeOf(const QString& path) {
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_mode & 07777 : 0;
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

    // A link that leads only to itself cannot be read, even by root.
    const QString loop = dir.filePath(QStringLiteral("loop.lst"));
    ASSERT_TRUE(QFile::link(loop, loop));
    EXPECT_TRUE(playlistfile::read(loop).failed);

    // Permissions stop everyone but root; for root a failed write is the file-size test's.
    if (geteuid() != 0) {
        const QString locked = dir.filePath(QStringLiteral("locked"));
        ASSERT_TRUE(QDir().mkdir(locked));
        const QString path = locked + QStringLiteral("/play.lst");
        writeRaw(path, "/old.swf\r\n");
        QFile::setPermissions(locked, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
        EXPECT_FALSE(playlistfile::write(path, {QStringLiteral("/new.swf")}));
        EXPECT_EQ(readAll(path), QByteArray("/old.swf\r\n"));
        QFile::setPermissions(path, QFileDevice::WriteOwner);
        EXPECT_TRUE(playlistfile::read(path).failed);
        QFile::setPermissions(locked, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                          QFileDevice::ExeOwner);
    }
}

// Saving replaces the contents only: the file's permissions and a symbolic link to it stay.
TEST(PlaylistFile, SavingKeepsPermissionsAndLinks) {
    QTemporaryDir dir;
    const QString real = dir.filePath(QStringLiteral("elsewhere/list.txt"));
    ASSERT_TRUE(QDir().mkpath(dir.filePath(QStringLiteral("elsewhere"))));
    writeRaw(real, "/old.swf\r\n");
    ASSERT_EQ(::chmod(QFile::encodeName(real).constData(), 0644), 0);
    const QString link = dir.filePath(QStringLiteral("play.lst"));
    ASSERT_EQ(::symlink("elsewhere/list.txt", QFile::encodeName(link).constData()), 0);

    ASSERT_TRUE(playlistfile::write(link, {QStringLiteral("/new.swf")}));
    EXPECT_TRUE(QFileInfo(link).isSymLink());
    EXPECT_EQ(readAll(real), QByteArray("/new.swf\r\n"));
    EXPECT_EQ(modeOf(real), 0644);
    EXPECT_EQ(QDir(dir.filePath(QStringLiteral("elsewhere"))).entryList(QDir::Files),
              QStringList({QStringLiteral("list.txt")}));

    // A new file gets the ordinary permissions rather than a temporary file's 0600.
    const QString fresh = dir.filePath(QStringLiteral("fresh.lst"));
    const mode_t mask = ::umask(022);
    ASSERT_TRUE(playlistfile::write(fresh, {}));
    ::umask(mask);
    EXPECT_EQ(modeOf(fresh), 0644);
}

TEST(PlaylistFile, LineBreaksCannotBeStored) {
    EXPECT_TRUE(playlistfile::storable(QStringLiteral("/m/a b, c.swf")));
    EXPECT_FALSE(playlistfile::storable(QStringLiteral("/m/a\nb.swf")));
    EXPECT_FALSE(playlistfile::storable(QStringLiteral("/m/a\rb.swf")));
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
