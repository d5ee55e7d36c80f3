#pragma once

// Which files a movie may read, and how the addresses scripts give are turned into paths.
// One rule for ActionScript 1, 2 and 3: a movie reads regular files in its own folder and the
// folders below it, never above, never through a link or `..` that leads out, never over
// kMaxFileSize, and never anything on the network.

#include "swf/result.h"

#include <QByteArray>
#include <QString>
#include <cstdint>

namespace swf::files {

constexpr std::int64_t kMaxFileSize = std::int64_t(64) << 20;

// The rule for one running movie. `moviePath` is the movie's file; the folder holding it is the
// folder its scripts may read. A movie loaded by another keeps the first movie's folder as its
// limit but resolves its own relative addresses against its own address (see `forMovie`).
class FileRule {
public:
    // No movie file (e.g. a movie read from memory): every request is refused.
    FileRule() = default;
    explicit FileRule(const QString& moviePath);

    bool enabled() const { return !m_root.isEmpty(); }
    // The folder files may come from, without symbolic links; empty when disabled.
    const QString& root() const { return m_root; }
    // The movie's own address as scripts see it (`_url`): a file:// URL.
    QString movieUrl() const;
    const QString& moviePath() const { return m_moviePath; }

    // The same limit, for a movie at `path` (inside the root) that this movie loaded.
    FileRule forMovie(const QString& path) const;

    // The local file an address names, relative addresses taken against the movie's own. The
    // error is one line saying why the request is refused.
    Result<QString> resolve(const QString& url) const;
    // The whole contents of the file an address names, within the rule.
    Result<QByteArray> read(const QString& url) const;

private:
    QString m_root;      // canonical folder
    QString m_moviePath; // absolute path of the movie
    QString m_baseDir;   // folder relative addresses start from
};

// "Refused: <what> <url>: <why>", the one line printed for a refused request.
QString refusalLine(const QString& what, const QString& url, const std::string& why);

// Text of a loaded file: UTF-8 (a byte order mark is dropped), or GB18030 when `codepage` is
// asked for, or when `legacy` (movies of version 5 and earlier) and the bytes are not UTF-8.
QString decodeText(const QByteArray& bytes, bool codepage, bool legacy);

} // namespace swf::files
