#pragma once

// What a test needs of the machine it runs on: the corpus of real movies and a sound device.
// Where one is missing the test skips with one line saying so; CI sets REELWICK_REQUIRE_CORPUS=1,
// REELWICK_REQUIRE_AUDIO=1 and REELWICK_REQUIRE_TOOLS=1 (the command-line tools some tests run,
// such as ffmpeg), which make that absence a failure, so nothing passes there by being skipped.
// Once the corpus is present, a corpus movie that does not load fails the test everywhere: that is
// a parser fault, not a missing environment.

#include <QFileInfo>
#include <QString>
#include <QtGlobal>
#include <string>

namespace testenv {

// REELWICK_CORPUS_DIR in the environment moves the corpus for one run.
inline QString corpusDir() {
    const QString moved = qEnvironmentVariable("REELWICK_CORPUS_DIR");
    return moved.isEmpty() ? QStringLiteral(REELWICK_CORPUS_DIR) : moved;
}

inline QString corpusPath(const QString& relative) {
    return corpusDir() + QLatin1Char('/') + relative;
}

inline bool corpusPresent() {
    return QFileInfo(corpusPath(QStringLiteral("manifest.tsv"))).isFile();
}

inline bool required(const char* variable) {
    return qEnvironmentVariableIntValue(variable) == 1;
}

inline std::string corpusMissing() {
    return "corpus not found at " + corpusDir().toStdString();
}

} // namespace testenv

// GoogleTest: unless `present`, skips the test with `what` as its one line, or fails it where the
// environment variable `variable` is 1.
#define REELWICK_NEED(present, variable, what)                                                     \
    do {                                                                                           \
        if (!(present)) {                                                                          \
            if (testenv::required(variable))                                                       \
                FAIL() << (what) << " (" << (variable) << "=1)";                                   \
            GTEST_SKIP() << (what);                                                                \
        }                                                                                          \
    } while (0)

// QtTest: the same.
#define REELWICK_QNEED(present, variable, what)                                                    \
    do {                                                                                           \
        if (!(present)) {                                                                          \
            if (testenv::required(variable))                                                       \
                QFAIL((std::string(what) + " (" + (variable) + "=1)").c_str());                    \
            QSKIP(std::string(what).c_str());                                                      \
        }                                                                                          \
    } while (0)

#define REELWICK_NEED_CORPUS()                                                                     \
    REELWICK_NEED(testenv::corpusPresent(), "REELWICK_REQUIRE_CORPUS", testenv::corpusMissing())
#define REELWICK_QNEED_CORPUS()                                                                    \
    REELWICK_QNEED(testenv::corpusPresent(), "REELWICK_REQUIRE_CORPUS", testenv::corpusMissing())
#define REELWICK_QNEED_AUDIO(hasDevice)                                                            \
    REELWICK_QNEED(hasDevice, "REELWICK_REQUIRE_AUDIO",                                            \
                   "no audio device here (run under tests/with-pulse-null-sink.sh)")
