// The trace corpus: each movie runs headless until it quits, and what it traced (with the
// warnings a debug player prints) must match the reference log line by line.

#include "swf/avm1/scripting.h"
#include "swf/avm1/trace_corpus.h"
#include "swf/player.h"
#include "testenv.h"

#include <gtest/gtest.h>

namespace {

using namespace tracecorpus;

QStringList runMovie(const QString& path, int maxFrames) {
    QStringList out;
    auto movie = swf::Movie::loadFile(path);
    if (!movie)
        return {QStringLiteral("<load failed>")};
    swf::Player player(*movie);
    swf::avm1::Scripting scripting(player);
    auto add = [&out](const QString& text) { out += text.split(u'\n'); };
    scripting.hooks().trace = add;
    scripting.hooks().warning = [&](const QString& w) { add(QStringLiteral("Warning: ") + w); };
    scripting.hooks().notice = [](const QString&) {};
    scripting.afterAdvance();
    for (int i = 0; i < maxFrames && !scripting.quitRequested(); ++i)
        scripting.tick();
    return out;
}

class TraceCorpus : public testing::TestWithParam<std::string> {};

TEST_P(TraceCorpus, MatchesReferenceLog) {
    REELWICK_NEED_CORPUS();
    const QString dir = kDir + u'/' + QString::fromStdString(GetParam());
    if (auto known = kKnownDifferences.find(GetParam()); known != kKnownDifferences.end()) {
        const QStringList expected = expectedLog(dir);
        const QStringList actual = runMovie(dir + QStringLiteral("/main.swf"), 60);
        // The lines differ where noted; how many there are must still agree.
        EXPECT_EQ(actual.size(), expected.size()) << known->second;
        return;
    }
    const QStringList expected = expectedLog(dir);
    const QStringList actual = runMovie(dir + QStringLiteral("/main.swf"), 60);
    const qsizetype n = std::max(expected.size(), actual.size());
    for (qsizetype i = 0; i < n; ++i) {
        const QString e = i < expected.size() ? expected[i] : QStringLiteral("<end>");
        const QString a = i < actual.size() ? actual[i] : QStringLiteral("<end>");
        ASSERT_EQ(a.toStdString(), e.toStdString()) << "line " << i + 1;
    }
}

// Without the corpus there are no movies to run: this says so, once.
TEST(TraceCorpusFolder, HoldsMovies) {
    REELWICK_NEED_CORPUS();
    EXPECT_GT(movieNames().size(), 100u);
}
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(TraceCorpus);

INSTANTIATE_TEST_SUITE_P(Avm1, TraceCorpus, testing::ValuesIn(movieNames()),
                         [](const testing::TestParamInfo<std::string>& info) {
                             return testName(info.param);
                         });

} // namespace
