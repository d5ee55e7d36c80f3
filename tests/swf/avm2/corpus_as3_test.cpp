// ActionScript 3 movies of the corpus that stopped with a script error: getouterscope (the
// instruction), FlexPaperViewer (a Flex application: interfaces of the Flash API,
// registerClassAlias, E4X `+` of lists, ContextMenu) and the AMF test (flash.xml, AMF3) up to
// the AIR-only file API it then reaches, whose missing class is the movie's own error.

#include "swf/movie.h"
#include "swf/render/guiapp.h"
#include "swf/runner/movierunner.h"
#include "testenv.h"

#include <gtest/gtest.h>

namespace {

QStringList errorsOf(const QString& relative, int frames) {
    const QString path = testenv::corpusDir() + u'/' + relative;
    ensureGuiApplication();
    auto movie = swf::Movie::loadFile(path);
    if (!movie)
        return {QStringLiteral("cannot load ") + path};
    QStringList errors;
    swf::RunnerOptions options;
    swf::MovieRunner runner(*movie, swf::MovieRunner::urlForFile(path), options);
    runner.hooks().warning = [&](const QString& l) { errors << l; };
    runner.hooks().notice = [&](const QString& l) { errors << l; };
    runner.hooks().trace = [](const QString&) {};
    runner.start();
    for (int i = 0; i < frames; ++i)
        runner.nextPicture();
    return errors;
}

// The movie that describes its objects for screen readers plays loop after loop without an
// error.
TEST(Avm2Corpus, AccessibilityMoviePlaysWithoutErrors) {
    REELWICK_NEED_CORPUS();
    const QStringList errors =
        errorsOf(QStringLiteral("jpexs-testdata/as3_accessibility/as3_accessibility.swf"), 40);
    EXPECT_TRUE(errors.isEmpty()) << errors.join('\n').toStdString();
}

TEST(Avm2Corpus, GetOuterScopeMovieRunsWithoutScriptErrors) {
    REELWICK_NEED_CORPUS();
    const QStringList errors =
        errorsOf(QStringLiteral("jpexs-testdata/getouterscope/getouterscope.swf"), 10);
    EXPECT_TRUE(errors.isEmpty()) << errors.join('\n').toStdString();
}

// The Flex application does not run through yet (a later fault stops it while it builds its
// components), but none of the faults it met before comes back.
TEST(Avm2Corpus, FlexApplicationGetsPastItsStartUp) {
    REELWICK_NEED_CORPUS();
    const QStringList errors =
        errorsOf(QStringLiteral("swftools/wx/viewers/flexpaper/FlexPaperViewer.swf"), 30);
    for (const char* fixed : {"addEventListener not found", "registerClassAlias", "to XMLList",
                              "length is not a function", "ContextMenu"})
        EXPECT_FALSE(errors.join('\n').contains(QLatin1String(fixed)))
            << fixed << ": " << errors.join('\n').toStdString();
}

// The AMF test movie is an AIR program: it serialises its values, then writes them with
// flash.filesystem.File, which a Flash Player has not. Everything before that runs.
TEST(Avm2Corpus, AmfMovieRunsUpToTheAirFileApi) {
    REELWICK_NEED_CORPUS();
    const QStringList errors = errorsOf(QStringLiteral("jpexs-testdata/amf3/AmfTest.swf"), 2);
    ASSERT_EQ(errors.size(), 1) << errors.join('\n').toStdString();
    EXPECT_TRUE(errors[0].contains(QLatin1String("Variable File is not defined")))
        << errors[0].toStdString();
}

} // namespace
