// The trace corpus through the program itself: `reelwick --export` plays each movie until it
// quits, and its standard error must be the reference log line by line, as the library-level
// test expects of the scripting code alone.

#include "swf/avm1/trace_corpus.h"

#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

using namespace tracecorpus;

struct ExportRun {
    QStringList stderrLines;
    int exitCode = -1;
    int framesWritten = 0;
};

ExportRun exportMovie(const QString& movie, const QString& outDir) {
    QProcess p;
    // As on a build machine: no display, and a private runtime folder (Qt complains on
    // standard error without one).
    static QTemporaryDir runtime;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(REELWICK_PROGRAM),
            {QStringLiteral("--export"), movie, QStringLiteral("--frames"), QStringLiteral("1-60"),
             QStringLiteral("--size"), QStringLiteral("40x30"), QStringLiteral("--out"), outDir});
    ExportRun r;
    if (!p.waitForFinished(120000) || p.exitStatus() != QProcess::NormalExit)
        return r;
    r.exitCode = p.exitCode();
    QString text = QString::fromUtf8(p.readAllStandardError());
    QStringList lines = text.split(u'\n');
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    r.stderrLines = lines;
    r.framesWritten = int(QDir(outDir).entryList(QDir::Files).size());
    return r;
}

class ExportTraceCorpus : public testing::TestWithParam<std::string> {};

TEST_P(ExportTraceCorpus, PrintsTheReferenceLog) {
    REELWICK_NEED_CORPUS();
    const QString dir = kDir + u'/' + QString::fromStdString(GetParam());
    QTemporaryDir out;
    ASSERT_TRUE(out.isValid());
    const ExportRun run = exportMovie(dir + QStringLiteral("/main.swf"), out.path());
    // Each of these movies ends itself: the export stops there, successfully, with what it drew.
    ASSERT_EQ(run.exitCode, 0);
    EXPECT_GE(run.framesWritten, 0);
    EXPECT_LT(run.framesWritten, 60);
    const QStringList expected = expectedLog(dir);
    if (auto known = kKnownDifferences.find(GetParam()); known != kKnownDifferences.end()) {
        // The lines differ where noted; how many there are must still agree.
        EXPECT_EQ(run.stderrLines.size(), expected.size()) << known->second;
        return;
    }
    const qsizetype n = std::max(expected.size(), run.stderrLines.size());
    for (qsizetype i = 0; i < n; ++i) {
        const QString e = i < expected.size() ? expected[i] : QStringLiteral("<end>");
        const QString a = i < run.stderrLines.size() ? run.stderrLines[i] : QStringLiteral("<end>");
        ASSERT_EQ(a.toStdString(), e.toStdString()) << "line " << i + 1;
    }
}

GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(ExportTraceCorpus);

INSTANTIATE_TEST_SUITE_P(Avm1, ExportTraceCorpus, testing::ValuesIn(movieNames()),
                         [](const testing::TestParamInfo<std::string>& info) {
                             return testName(info.param);
                         });

} // namespace
