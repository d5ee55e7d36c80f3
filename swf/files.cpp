#include "swf/files.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStringDecoder>
#include <QUrl>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace swf::files {

namespace {

Error refuse(const char* why) {
    return Error{why};
}

// "scheme:" at the start of an address; a single letter is a Windows drive, not a scheme.
QString schemeOf(const QString& url) {
    qsizetype i = 0;
    while (i < url.size()) {
        const QChar c = url.at(i);
        const bool ok =
            c.isLetter() || (i > 0 && (c.isDigit() || c == u'+' || c == u'-' || c == u'.'));
        if (!ok || c.unicode() > 127)
            break;
        ++i;
    }
    if (i < 2 || i >= url.size() || url.at(i) != u':')
        return {};
    return url.left(i).toLower();
}

bool inside(const QString& path, const QString& root) {
    if (path == root)
        return true;
    const QString prefix = root.endsWith(u'/') ? root : root + u'/';
    return path.startsWith(prefix);
}

} // namespace

FileRule::FileRule(const QString& moviePath) {
    const QFileInfo info(moviePath);
    const QString dir = QFileInfo(info.absolutePath()).canonicalFilePath();
    if (dir.isEmpty())
        return;
    m_root = dir;
    m_moviePath = info.absoluteFilePath();
    m_baseDir = info.absolutePath();
}

QString FileRule::movieUrl() const {
    return m_moviePath.isEmpty() ? QString() : QUrl::fromLocalFile(m_moviePath).toString();
}

FileRule FileRule::forMovie(const QString& path) const {
    FileRule r = *this;
    const QFileInfo info(path);
    r.m_moviePath = info.absoluteFilePath();
    r.m_baseDir = info.absolutePath();
    return r;
}

Result<QString> FileRule::resolve(const QString& given) const {
    const QString url = given.trimmed();
    if (url.isEmpty())
        return refuse("the address is empty");
    const QString scheme = schemeOf(url);
    if (scheme == QLatin1String("http") || scheme == QLatin1String("https") ||
        scheme == QLatin1String("ftp") || scheme == QLatin1String("rtmp") ||
        scheme == QLatin1String("rtmpt") || scheme == QLatin1String("xmlsocket"))
        return refuse("movies have no network access");
    if (!scheme.isEmpty() && scheme != QLatin1String("file"))
        return refuse("only files beside the movie can be read");
    if (!enabled())
        return refuse("the movie has no folder of its own");

    QString path;
    if (scheme == QLatin1String("file")) {
        const QUrl u(url);
        if (!u.isValid() || !u.isLocalFile() ||
            (!u.host().isEmpty() && u.host() != QLatin1String("localhost")))
            return refuse("it is not a local file address");
        path = u.toLocalFile();
    } else {
        // Movies made on Windows write folders with backslashes; a query or fragment means
        // nothing to a file (movies add "?nocache=…" to defeat a browser's cache).
        QString rel = url;
        rel.replace(u'\\', u'/');
        if (rel.size() >= 2 && rel.at(1) == u':' && rel.at(0).isLetter())
            return refuse("it leads outside the movie's folder");
        const qsizetype cut = rel.indexOf(QRegularExpression(QStringLiteral("[?#]")));
        if (cut >= 0)
            rel.truncate(cut);
        rel = QUrl::fromPercentEncoding(rel.toUtf8());
        if (rel.isEmpty())
            return refuse("the address is empty");
        path = QDir::isAbsolutePath(rel) ? rel : m_baseDir + u'/' + rel;
    }
    // `..` first by name, then links by what they point at: both must stay inside.
    const QString clean = QDir::cleanPath(path);
    if (clean.contains(QChar(0)))
        return refuse("the address is malformed");
    const QString cleanRoot = QDir::cleanPath(m_baseDir);
    const QFileInfo info(clean);
    const QString real = info.canonicalFilePath();
    if (real.isEmpty()) {
        if (!inside(clean, cleanRoot) && !inside(clean, m_root))
            return refuse("it leads outside the movie's folder");
        return refuse("there is no such file");
    }
    if (!inside(real, m_root))
        return refuse(info.isSymLink() || inside(clean, cleanRoot) || inside(clean, m_root)
                          ? "a link leads outside the movie's folder"
                          : "it leads outside the movie's folder");
    const QFileInfo target(real);
    if (target.isDir())
        return refuse("it is a folder");
    if (!target.isFile())
        return refuse("it is a device, pipe or socket, not a file");
    return real;
}

Result<QByteArray> FileRule::read(const QString& url) const {
    auto path = resolve(url);
    if (!path)
        return path.error();
    // Opened without following a link that appeared since, and without blocking on a pipe;
    // what was opened is checked, not what the name pointed at a moment ago.
    const QByteArray native = QFile::encodeName(*path);
    const int fd = ::open(native.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return Error{std::string("it cannot be opened: ") + std::strerror(errno)};
    struct FdCloser {
        int fd;
        ~FdCloser() { ::close(fd); }
    } closer{fd};
    struct stat st {};
    if (::fstat(fd, &st) != 0)
        return Error{std::string("it cannot be read: ") + std::strerror(errno)};
    if (S_ISDIR(st.st_mode))
        return refuse("it is a folder");
    if (!S_ISREG(st.st_mode))
        return refuse("it is a device, pipe or socket, not a file");
    if (st.st_size > kMaxFileSize)
        return refuse("it is larger than 64 MiB");
    QByteArray out;
    out.resize(qsizetype(st.st_size));
    qsizetype done = 0;
    // Stops at the size seen on opening; a file growing meanwhile is read no further.
    while (done < out.size()) {
        const ssize_t n = ::read(fd, out.data() + done, size_t(out.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return Error{std::string("it cannot be read: ") + std::strerror(errno)};
        if (n == 0)
            break;
        done += n;
    }
    out.truncate(done);
    return out;
}

QString refusalLine(const QString& what, const QString& url, const std::string& why) {
    return QStringLiteral("Refused: %1 %2: %3").arg(what, url, QString::fromStdString(why));
}

QString decodeText(const QByteArray& bytes, bool codepage, bool legacy) {
    if (bytes.startsWith("\xEF\xBB\xBF"))
        return QString::fromUtf8(bytes.constData() + 3, bytes.size() - 3);
    if (bytes.startsWith("\xFF\xFE") || bytes.startsWith("\xFE\xFF")) {
        QStringDecoder utf16(bytes.startsWith("\xFF\xFE") ? QStringDecoder::Utf16LE
                                                          : QStringDecoder::Utf16BE);
        return utf16.decode(bytes.mid(2));
    }
    QStringDecoder gb("GB18030");
    if (codepage && gb.isValid())
        return gb.decode(bytes);
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(bytes);
    if (utf8.hasError() && legacy && gb.isValid())
        return gb.decode(bytes);
    return text;
}

} // namespace swf::files
