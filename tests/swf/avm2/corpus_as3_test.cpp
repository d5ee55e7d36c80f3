// ActionScript 3 movies of the corpus that stopped with a script error: getouterscope (the
// instruction), the Flex movies (FlexPaperViewer met missing interfaces of the Flash API,
// registerClassAlias, E4X `+` of lists, ContextMenu, `delete` with a pool name, TextFormat's
// members, StyleSheet...) and the AMF test (flash.xml, AMF3) up to
// the AIR-only file API it then reaches, whose missing class is the movie's own error.

#include "swf/movie.h"
#include "swf/render/guiapp.h"
#include "swf/render/paintercanvas.h"
#include "swf/render/renderer.h"
#include "swf/runner/movierunner.h"
#include "testenv.h"

#include <QPainter>
#include <gtest/gtest.h>

namespace {

// The errors a movie reports in its first `frames` frames; `picture`, when given, receives the
// last frame at the movie's own size.
QStringList errorsOf(const QString& relative, int frames, QImage* picture = nullptr) {
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
    if (picture) {
        const QSize size = runner.stageSize();
        *picture = QImage(size, QImage::Format_ARGB32_Premultiplied);
        picture->fill(Qt::white);
        QPainter p(picture);
        swf::render::PainterCanvas canvas(p);
        runner.render(canvas, swf::render::stageTransform((*movie)->header().frameSize,
                                                          QRectF(QPointF(0, 0), QSizeF(size)), 0));
    }
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

// The Flex movies of the corpus play 60 frames without a script error. FlexPaperViewer, a Flex 3
// application given no document, builds its user interface: the toolbar across the top (its
// icons are library bitmaps) above the grey gradient of the empty document area.
TEST(Avm2Corpus, FlexMoviesPlayWithoutScriptErrors) {
    REELWICK_NEED_CORPUS();
    for (const char* movie :
         {"swftools/wx/viewers/flexpaper/FlexPaperViewer.swf", "jpexs-testdata/flex/TestFlex.swf",
          "jpexs-testdata/as3_cross_compile/bin/as3_cross_compile.flex.swf",
          "jpexs-testdata/as3_cross_compile/bin/as3_cross_compile.flex_apache.swf",
          "jpexs-testdata/as3_embed/bin/as3_embed_attrib.flex.swf",
          "jpexs-testdata/as3_embed/bin/as3_embed_classes.flex.swf",
          "jpexs-testdata/debug_inner/outer.swf"}) {
        QImage picture;
        const QStringList errors = errorsOf(QString::fromLatin1(movie), 60, &picture);
        EXPECT_TRUE(errors.isEmpty()) << movie << ": " << errors.join('\n').toStdString();
        if (QLatin1String(movie).endsWith(QLatin1String("FlexPaperViewer.swf"))) {
            ASSERT_EQ(picture.size(), QSize(500, 375));
            // The document area: a vertical gradient of grey, darker at the top.
            const QColor high = picture.pixelColor(250, 60), low = picture.pixelColor(250, 360);
            EXPECT_LT(high.lightness(), low.lightness());
            EXPECT_LT(high.saturation(), 40);
            // The toolbar: mostly light, with darker icons and text along it.
            int dark = 0, light = 0;
            for (int x = 0; x < 500; ++x)
                for (int y = 2; y < 22; ++y) {
                    const int l = picture.pixelColor(x, y).lightness();
                    dark += l < 120 ? 1 : 0;
                    light += l > 200 ? 1 : 0;
                }
            EXPECT_GT(dark, 100);
            EXPECT_GT(light, 5000);
        }
    }
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
