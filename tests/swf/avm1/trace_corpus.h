#pragma once

// The AVM1 trace corpus: movies that print with trace() and quit, each beside the log a debug
// player wrote for it (what it traced, and the warnings it printed).

#include "testenv.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QStringList>
#include <algorithm>
#include <map>
#include <string>
#include <vector>

namespace tracecorpus {

inline const QString kDir = testenv::corpusPath(QStringLiteral("open-flash-db-avm1"));

inline QStringList expectedLog(const QString& dir) {
    QFile f(dir + QStringLiteral("/main.log"));
    if (!f.open(QIODevice::ReadOnly))
        return {};
    QString text = QString::fromUtf8(f.readAll());
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    QStringList lines = text.split(u'\n');
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

// Folders relative to kDir, sorted.
inline std::vector<std::string> movieNames() {
    std::vector<std::string> names;
    QDirIterator it(kDir, {QStringLiteral("main.swf")}, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString rel = QDir(kDir).relativeFilePath(QFileInfo(it.next()).path());
        names.push_back(rel.toStdString());
    }
    std::sort(names.begin(), names.end());
    return names;
}

// Logs we knowingly differ from, and why; for them only the number of lines is compared.
inline const std::map<std::string, const char*> kKnownDifferences = {
    {"avm1-bytes/constant-on-stack-definition",
     "the reference printed stray bytes for a pool index read before any pool exists"},
    {"avm1-bytes/constant-without-pool",
     "the reference printed stray bytes for a pool index read before any pool exists"},
    {"float/float32-trace", "the reference's 15-digit rounding differs in the last digit for "
                            "about one number in eight"},
    {"float/float64-trace", "the reference's 15-digit rounding differs in the last digit for "
                            "about one number in eight"},
};

inline std::string testName(const std::string& param) {
    std::string n = param;
    for (char& c : n) {
        if (!std::isalnum(static_cast<unsigned char>(c)))
            c = '_';
    }
    return n;
}

} // namespace tracecorpus
