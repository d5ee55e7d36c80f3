#include "playlist/playlistfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace playlistfile {

QString dataFolder() {
    QString base = qEnvironmentVariable("XDG_DATA_HOME");
    if (base.isEmpty() || QDir::isRelativePath(base))
        base = QDir::homePath() + QLatin1String("/.local/share");
    return base + QLatin1String("/reelwick");
}

QString defaultPath() {
    return dataFolder() + QLatin1String("/play.lst");
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

bool write(const QString& path, const QStringList& entries, QString* error) {
    auto fail = [&](const QString& why) {
        if (error)
            *error = why;
        return false;
    };
    const QFileInfo info(path);
    if (!QDir().mkpath(info.absolutePath()))
        return fail(QStringLiteral("cannot create folder %1").arg(info.absolutePath()));
    if (info.isDir())
        return fail(QStringLiteral("is a folder"));

    // Written by hand rather than through QSaveFile: it reports a short write (a full disk, a
    // file-size limit) as success and would then replace the playlist with a cut-off one.
    QByteArray temp = QFile::encodeName(info.absolutePath() + QLatin1String("/.play.lst-XXXXXX"));
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
    const bool complete = done == contents.size() && ::fsync(fd) == 0;
    ::close(fd);
    if (!complete || ::rename(temp.constData(), QFile::encodeName(path).constData()) != 0) {
        const int why = complete ? errno : writeErrno;
        ::unlink(temp.constData());
        return fail(QString::fromLocal8Bit(std::strerror(why ? why : EIO)));
    }
    return true;
}

} // namespace playlistfile
