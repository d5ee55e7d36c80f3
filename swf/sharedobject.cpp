#include "swf/sharedobject.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QUrl>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace swf::sharedobject {

StoredValue::StoredValue() = default;

namespace {

const QByteArray kMagic("RWSO1\n");
const QLatin1String kSuffix(".rso");

void putU32(QByteArray& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        out.append(char(v >> (8 * i)));
}
void putString(QByteArray& out, const QString& s) {
    const QByteArray u = s.toUtf8();
    putU32(out, std::uint32_t(u.size()));
    out.append(u);
}
void putValue(QByteArray& out, const StoredValue& v);
void putMembers(QByteArray& out, const Members& m) {
    putU32(out, std::uint32_t(m.size()));
    for (const auto& [name, value] : m) {
        putString(out, name);
        putValue(out, value);
    }
}
void putValue(QByteArray& out, const StoredValue& v) {
    out.append(char(v.type));
    switch (v.type) {
    case StoredValue::Type::Undefined:
    case StoredValue::Type::Null:
        break;
    case StoredValue::Type::Boolean:
        out.append(char(v.boolean));
        break;
    case StoredValue::Type::Number:
    case StoredValue::Type::Date: {
        std::uint64_t bits;
        std::memcpy(&bits, &v.number, 8);
        putU32(out, std::uint32_t(bits));
        putU32(out, std::uint32_t(bits >> 32));
        break;
    }
    case StoredValue::Type::String:
        putString(out, v.string);
        break;
    case StoredValue::Type::Array:
        putU32(out, v.length);
        putMembers(out, v.members);
        break;
    case StoredValue::Type::Object:
        putMembers(out, v.members);
        break;
    }
}

struct Reader {
    const QByteArray& b;
    qsizetype pos = 0;
    bool bad = false;

    bool need(qsizetype n) {
        if (bad || n < 0 || b.size() - pos < n)
            bad = true;
        return !bad;
    }
    std::uint32_t u32() {
        if (!need(4))
            return 0;
        std::uint32_t v = 0;
        for (int i = 0; i < 4; ++i)
            v |= std::uint32_t(std::uint8_t(b[pos + i])) << (8 * i);
        pos += 4;
        return v;
    }
    QString string() {
        const std::uint32_t n = u32();
        if (!need(qsizetype(n)))
            return {};
        QString s = QString::fromUtf8(b.constData() + pos, qsizetype(n));
        pos += qsizetype(n);
        return s;
    }
    Members members(int depth) {
        Members m;
        const std::uint32_t n = u32();
        // Every member takes at least five bytes, so a count past what is left is damage.
        if (!need(qsizetype(std::min<std::uint64_t>(std::uint64_t(n) * 5, b.size() + 1))))
            return m;
        m.reserve(n);
        for (std::uint32_t i = 0; i < n && !bad; ++i) {
            QString name = string();
            StoredValue v = value(depth + 1);
            m.emplace_back(std::move(name), std::move(v));
        }
        return m;
    }
    StoredValue value(int depth) {
        StoredValue v;
        if (depth > kMaxDepth || !need(1)) {
            bad = true;
            return v;
        }
        const auto t = std::uint8_t(b[pos++]);
        if (t > std::uint8_t(StoredValue::Type::Object)) {
            bad = true;
            return v;
        }
        v.type = StoredValue::Type(t);
        switch (v.type) {
        case StoredValue::Type::Undefined:
        case StoredValue::Type::Null:
            break;
        case StoredValue::Type::Boolean:
            if (need(1))
                v.boolean = b[pos++] != 0;
            break;
        case StoredValue::Type::Number:
        case StoredValue::Type::Date: {
            const std::uint64_t lo = u32();
            const std::uint64_t bits = lo | (std::uint64_t(u32()) << 32);
            std::memcpy(&v.number, &bits, 8);
            break;
        }
        case StoredValue::Type::String:
            v.string = string();
            break;
        case StoredValue::Type::Array:
            v.length = u32();
            v.members = members(depth);
            break;
        case StoredValue::Type::Object:
            v.members = members(depth);
            break;
        }
        return v;
    }
};

// A name kept readable in the file name where it is plain; the rest percent-encoded so that
// "/" in a store name never becomes a folder.
QString fileNamePart(const QString& s) {
    return QString::fromLatin1(QUrl::toPercentEncoding(s, QByteArray(), QByteArray("/.")));
}

QString shortHash(const QString& s) {
    return QString::fromLatin1(
        QCryptographicHash::hash(s.toUtf8(), QCryptographicHash::Sha256).toHex().left(16));
}

} // namespace

QByteArray encode(const Members& data) {
    QByteArray out = kMagic;
    putMembers(out, data);
    return out;
}

Result<Members> decode(const QByteArray& bytes) {
    if (!bytes.startsWith(kMagic))
        return Error{"it is not a store of this player"};
    Reader r{bytes, kMagic.size()};
    Members m = r.members(0);
    if (r.bad)
        return Error{"it is cut short or damaged"};
    if (r.pos != bytes.size())
        return Error{"it has bytes after its end"};
    return m;
}

Store::Store(const QString& baseFolder, const QString& moviePath) {
    const QFileInfo movie(moviePath);
    m_moviePath = movie.absoluteFilePath();
    QString base = movie.completeBaseName();
    base.replace(QRegularExpression(QStringLiteral("[^A-Za-z0-9_.-]")), QStringLiteral("_"));
    m_folder = QDir::cleanPath(baseFolder) + u'/' + base.left(40) + u'-' + shortHash(m_moviePath);
}

Result<QString> Store::fileFor(const QString& name, const QString& localPath) const {
    if (name.isEmpty())
        return Error{"the store has no name"};
    if (name.size() > 200)
        return Error{"the store's name is too long"};
    for (QChar c : name) {
        if (c.isSpace() || c.unicode() < 32 || QStringLiteral("~%&\\;:\"',<>?#").contains(c))
            return Error{"the store's name holds a character stores may not have"};
    }
    QString suffix;
    if (!localPath.isEmpty()) {
        QString lp = localPath;
        if (lp.startsWith(QLatin1String("file:"), Qt::CaseInsensitive))
            lp = QUrl(lp).toLocalFile();
        lp = QDir::cleanPath(lp);
        const bool ok = lp == QLatin1String("/") ||
                        (m_moviePath.startsWith(lp) &&
                         (m_moviePath.size() == lp.size() || m_moviePath.at(lp.size()) == u'/'));
        if (!ok)
            return Error{"its local path is not a folder of the movie's own path"};
        suffix = u'@' + shortHash(lp);
    }
    return m_folder + u'/' + fileNamePart(name) + suffix + kSuffix;
}

Store::Loaded Store::load(const QString& file) const {
    Loaded out;
    QFile f(file);
    const QFileInfo info(file);
    if (!info.exists())
        return out;
    if (!info.isFile() || info.size() > kMaxBytesPerMovie) {
        out.problem = QStringLiteral("the stored data %1 is damaged and was ignored (%2)")
                          .arg(file, info.isFile() ? QStringLiteral("larger than any store")
                                                   : QStringLiteral("not a file"));
        return out;
    }
    if (!f.open(QIODevice::ReadOnly)) {
        out.problem = QStringLiteral("the stored data %1 could not be read and was ignored (%2)")
                          .arg(file, f.errorString());
        return out;
    }
    auto data = decode(f.read(kMaxBytesPerMovie + 1));
    if (!data) {
        out.problem = QStringLiteral("the stored data %1 is damaged and was ignored (%2)")
                          .arg(file, QString::fromStdString(data.error().message));
        return out;
    }
    out.data = std::move(data).value();
    return out;
}

std::int64_t Store::used(const QString& except) const {
    std::int64_t total = 0;
    QDirIterator it(m_folder, {QStringLiteral("*") + kSuffix}, QDir::Files | QDir::Hidden);
    while (it.hasNext()) {
        it.next();
        if (it.filePath() != except)
            total += it.fileInfo().size();
    }
    return total;
}

bool Store::save(const QString& file, const QByteArray& bytes, QString* error) const {
    auto fail = [&](const QString& why) {
        if (error)
            *error = why;
        return false;
    };
    if (used(file) + bytes.size() > kMaxBytesPerMovie)
        return fail(QStringLiteral("the movie's stored data would pass %1 KB")
                        .arg(kMaxBytesPerMovie / 1024));
    if (!QDir().mkpath(m_folder))
        return fail(QStringLiteral("cannot create folder %1").arg(m_folder));
    if (QFileInfo(file).isDir())
        return fail(QStringLiteral("%1 is a folder").arg(file));
    // The new contents go to a temporary file that replaces the old only once complete and
    // on disk, so a full disk or a crash leaves the previous store whole.
    QByteArray temp = QFile::encodeName(m_folder + QLatin1String("/.store-XXXXXX"));
    const int fd = ::mkstemp(temp.data());
    if (fd < 0)
        return fail(QString::fromLocal8Bit(std::strerror(errno)));
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += n;
    }
    const int writeErrno = errno;
    const bool complete = done == bytes.size() && ::fsync(fd) == 0;
    ::close(fd);
    if (!complete || ::rename(temp.constData(), QFile::encodeName(file).constData()) != 0) {
        const int why = complete ? errno : writeErrno;
        ::unlink(temp.constData());
        return fail(QString::fromLocal8Bit(std::strerror(why ? why : EIO)));
    }
    return true;
}

bool Store::remove(const QString& file) const {
    return !QFileInfo::exists(file) || QFile::remove(file);
}

} // namespace swf::sharedobject
