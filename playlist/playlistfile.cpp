#include "playlist/playlistfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace playlistfile {

QString defaultPath() {
    QString base = qEnvironmentVariable("XDG_DATA_HOME");
    if (base.isEmpty() || QDir::isRelativePath(base))
        base = QDir::homePath() + QLatin1String("/.local/share");
    return base + QLatin1String("/reelwick/play.lst");
}

QStringList parse(const QByteArray& contents) {
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(contents);
    if (utf8.hasError()) {
        QStringDecoder gb("GB18030");
        if (gb.isValid())
            text = gb.decode(contents);
    }
    QStringList entries;
    QString line;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c == u'\r' || c == u'\n') {
            entries.append(line);
            line.clear();
            if (c == u'\r' && i + 1 < text.size() && text.at(i + 1) == u'\n')
                ++i;
        } else {
            line.append(c);
        }
    }
    if (!line.isEmpty())
        entries.append(line);
    return entries;
}

QByteArray serialize(const QStringList& entries) {
    QByteArray out;
    for (const QString& entry : entries) {
        out += entry.toUtf8();
        out += "\r\n";
    }
    return out;
}

ReadResult read(const QString& path) {
    ReadResult result;
    const QFileInfo info(path);
    if (!info.exists() && !info.isSymLink())
        return result;
    QFile file(path);
    if (info.isDir() || !file.open(QIODevice::ReadOnly)) {
        result.failed = true;
        result.error = info.isDir() ? QStringLiteral("is a folder") : file.errorString();
        return result;
    }
    const QByteArray contents = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        result.failed = true;
        result.error = file.errorString();
        return result;
    }
    result.entries = parse(contents);
    return result;
}

bool storable(const QString& path) {
    return !path.contains(QLatin1Char('\n')) && !path.contains(QLatin1Char('\r'));
}

namespace {

// Where the bytes go: a symbolic link (or a chain of them) is followed to its final target, so
// that the link itself is left in place. A dangling link names the file to create.
QString resolveTarget(const QString& path) {
    QString target = QFileInfo(path).absoluteFilePath();
    for (int hops = 0; hops < 40; ++hops) {
        const QFileInfo info(target);
        if (!info.isSymLink())
            return target;
        const QString next = info.symLinkTarget();
        if (next.isEmpty())
            return target;
        target = QFileInfo(next).absoluteFilePath();
    }
    return target; // a loop: the rename below replaces the last link looked at
}

bool syncFolder(const QByteArray& folder) {
    const int fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool ok = ::fsync(fd) == 0 || errno == EINVAL; // some file systems cannot sync folders
    ::close(fd);
    return ok;
}

} // namespace

bool write(const QString& path, const QStringList& entries, QString* error) {
    auto fail = [&](const QString& why) {
        if (error)
            *error = why;
        return false;
    };
    const QString target = resolveTarget(path);
    const QFileInfo info(target);
    if (!QDir().mkpath(info.absolutePath()))
        return fail(QStringLiteral("cannot create folder %1").arg(info.absolutePath()));
    if (info.isDir())
        return fail(QStringLiteral("is a folder"));

    // The replacement keeps the old file's permissions; a new file gets the usual ones.
    const QByteArray targetName = QFile::encodeName(target);
    mode_t mode = 0666;
    struct stat old {};
    if (::stat(targetName.constData(), &old) == 0) {
        mode = old.st_mode & 07777;
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode &= ~mask;
    }

    // Written by hand rather than through QSaveFile: it reports a short write (a full disk, a
    // file-size limit) as success and would then replace the playlist with a cut-off one.
    const QByteArray folder = QFile::encodeName(info.absolutePath());
    QByteArray temp = folder + "/.play.lst-XXXXXX";
    const int fd = ::mkstemp(temp.data());
    if (fd < 0)
        return fail(QString::fromLocal8Bit(std::strerror(errno)));
    const QByteArray contents = serialize(entries);
    qsizetype done = 0;
    while (done < contents.size()) {
        const ssize_t n = ::write(fd, contents.constData() + done, size_t(contents.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += n;
    }
    const int writeErrno = errno;
    const bool complete = done == contents.size() && ::fchmod(fd, mode) == 0 && ::fsync(fd) == 0;
    const int completeErrno = errno;
    ::close(fd);
    if (!complete || ::rename(temp.constData(), targetName.constData()) != 0) {
        const int why = complete ? errno : (done == contents.size() ? completeErrno : writeErrno);
        ::unlink(temp.constData());
        return fail(QString::fromLocal8Bit(std::strerror(why ? why : EIO)));
    }
    // Without this the rename may not survive a power cut, leaving the old list or none.
    if (!syncFolder(folder))
        return fail(QString::fromLocal8Bit(std::strerror(errno)));
    return true;
}

} // namespace playlistfile
