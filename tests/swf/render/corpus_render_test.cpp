// Every movie of the corpus draws its first frames without a crash, a hang or a sanitizer
// report, at stage size and zoomed.

#include "guiapp.h"
#include "swf/player.h"
#include "swf/render/paintercanvas.h"
#include "swf/render/recordingcanvas.h"
#include "swf/render/renderer.h"
#include "testenv.h"

#include <QDirIterator>
#include <QImage>
#include <QPainter>
#include <gtest/gtest.h>

TEST(CorpusRender, EveryMovieDrawsItsFirstFrames) {
    constexpr int kFrames = 12;
    REELWICK_NEED_CORPUS();
    ensureGuiApplication(); // edit texts in device fonts
    QDirIterator it(testenv::corpusDir(), {QStringLiteral("*.swf")}, QDir::Files,
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

namespace {

// Passes every call on, but drops the filters of each layer.
class WithoutFilters : public swf::render::Canvas {
public:
    explicit WithoutFilters(swf::render::Canvas& c) : m_c(c) {}
    void save() override { m_c.save(); }
    void restore() override { m_c.restore(); }
    void clip(const QPainterPath& p, const QTransform& m) override { m_c.clip(p, m); }
    void fillPath(const QPainterPath& p, const QBrush& b, const QTransform& m, bool s) override {
        m_c.fillPath(p, b, m, s);
    }
    void strokePath(const QPainterPath& p, const QPen& pen) override { m_c.strokePath(p, pen); }
    void drawImage(const QImage& i, const QTransform& m, bool s) override {
        m_c.drawImage(i, m, s);
    }
    QRectF visibleArea() const override { return m_c.visibleArea(); }
    void beginLayer(const QRectF& area, double reach) override { m_c.beginLayer(area, reach); }
    void endLayer(const swf::render::LayerEffects& effects) override {
        swf::render::LayerEffects plain = effects;
        plain.filters.clear();
        m_c.endLayer(plain);
    }

private:
    swf::render::Canvas& m_c;
};

} // namespace

// The corpus movies placing objects with filters (glows) show them: drawn with and without the
// filters, their frames differ around those objects, and nothing else changes the picture.
TEST(CorpusRender, MoviesWithFiltersShowThem) {
    REELWICK_NEED_CORPUS();
    const char* movies[] = {"jpexs-testdata/as2/as2.swf", "swfmill/test/simple/placeobject3.swf"};
    for (const char* name : movies) {
        SCOPED_TRACE(name);
        auto movie = swf::Movie::loadFile(testenv::corpusPath(QLatin1String(name)));
        ASSERT_TRUE(movie.ok());
        swf::Player player(movie.value());
        swf::render::Renderer renderer;
        const QSize size(640, 480);
        const QTransform view = swf::render::stageTransform(player.movie().header().frameSize,
                                                            QRectF(QPointF(0, 0), size), 0);
        int changed = 0;
        for (int f = 0; f < 12 && f < int(player.frameCount()); ++f) {
            QImage with(size, QImage::Format_ARGB32_Premultiplied), without = with;
            with.fill(Qt::black);
            without.fill(Qt::black);
            {
                QPainter p(&with);
                swf::render::PainterCanvas canvas(p);
                renderer.render(player, canvas, view);
            }
            {
                QPainter p(&without);
                swf::render::PainterCanvas canvas(p);
                WithoutFilters plain(canvas);
                renderer.render(player, plain, view);
            }
            for (int y = 0; y < size.height(); ++y) {
                for (int x = 0; x < size.width(); ++x)
                    changed += with.pixel(x, y) != without.pixel(x, y);
            }
            player.advance();
        }
        EXPECT_GT(changed, 200) << "pixels a glow changed";
    }
}
