// Every movie of the corpus draws its first frames without a crash, a hang or a sanitizer
// report, at stage size and zoomed.

#include "guiapp.h"
#include "swf/player.h"
#include "swf/render/paintercanvas.h"
#include "swf/render/recordingcanvas.h"
#include "swf/render/renderer.h"

#include <QDirIterator>
#include <QImage>
#include <QPainter>
#include <gtest/gtest.h>

TEST(CorpusRender, EveryMovieDrawsItsFirstFrames) {
    constexpr int kFrames = 12;
    ensureGuiApplication(); // edit texts in device fonts
    QDirIterator it(QStringLiteral(REELWICK_CORPUS_DIR), {QStringLiteral("*.swf")}, QDir::Files,
                    QDirIterator::Subdirectories);
    int movies = 0, drawn = 0;
    while (it.hasNext()) {
        const QString path = it.next();
        SCOPED_TRACE(path.toStdString());
        ++movies;
        auto movie = swf::Movie::loadFile(path);
        if (!movie)
            continue; // refused cleanly: the engine's own tests cover which ones
        swf::Player player(movie.value());
        swf::render::Renderer renderer;
        QImage image(160, 120, QImage::Format_ARGB32_Premultiplied);
        const QTransform view = swf::render::stageTransform(player.movie().header().frameSize,
                                                            QRectF(0, 0, 160, 120), 0);
        std::size_t calls = 0;
        for (int f = 0; f < kFrames && f < int(player.frameCount()); ++f) {
            image.fill(Qt::black);
            QPainter painter(&image);
            swf::render::PainterCanvas canvas(painter);
            renderer.render(player, canvas, view);
            swf::render::RecordingCanvas recording;
            renderer.render(player, recording, view * QTransform::fromScale(8, 8));
            calls += recording.calls().size();
            player.advance();
        }
        EXPECT_GE(calls, 1u); // at least the stage background
        ++drawn;
    }
    EXPECT_GT(movies, 200);
    EXPECT_GT(drawn, 200);
}
