// A view that redraws only what changed shows, frame after frame, exactly what a full redraw
// shows: over the corpus, with scripts, at two view sizes and in both scale modes. And the
// comparison does catch a region that misses a change.

#include "swf/render/guiapp.h"
#include "swf/render/rastercache.h"
#include "swf/runner/movierunner.h"
#include "swf/runner/viewpicture.h"
#include "swf/swf_writer.h"
#include "testenv.h"

#include <QDirIterator>
#include <QPainter>
#include <functional>
#include <gtest/gtest.h>

namespace {

using Tamper = std::function<void(swf::render::StageChanges&)>;

struct Mismatch {
    int frame = 0;
    qint64 pixels = 0;
    QRect where;
};

std::string describe(const Mismatch& m) {
    return "frame " + std::to_string(m.frame) + ": " + std::to_string(m.pixels) +
           " pixels differ within " + std::to_string(m.where.x()) + "," +
           std::to_string(m.where.y()) + " " + std::to_string(m.where.width()) + "x" +
           std::to_string(m.where.height());
}

// The whole view drawn afresh, as the control drew every frame before it kept its picture.
QImage fullPicture(swf::MovieRunner& runner, QSize size, const QTransform& view) {
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    QPainter p(&image);
    p.fillRect(image.rect(), runner.background());
    const swf::Rect& s = runner.movie().header().frameSize;
    p.setClipRect(view.mapRect(QRectF(s.xMin, s.yMin, s.width(), s.height())).toAlignedRect());
    swf::render::PainterCanvas canvas(p);
    runner.render(canvas, view);
    return image;
}

std::optional<Mismatch> difference(const QImage& a, const QImage& b, int frame) {
    if (a == b)
        return std::nullopt;
    Mismatch m{frame, 0, {}};
    for (int y = 0; y < a.height(); ++y) {
        const auto* la = reinterpret_cast<const QRgb*>(a.constScanLine(y));
        const auto* lb = reinterpret_cast<const QRgb*>(b.constScanLine(y));
        for (int x = 0; x < a.width(); ++x) {
            if (la[x] != lb[x]) {
                ++m.pixels;
                m.where |= QRect(x, y, 1, 1);
            }
        }
    }
    return m;
}

// Plays `frames` frames on the movie's own clock; after each, the kept picture brought up to
// date by the changes (`tamper`ed with, from the second frame) against a full redraw.
std::optional<Mismatch> compareRepaints(const std::shared_ptr<const swf::Movie>& movie, QSize size,
                                        int scaleMode, int frames, int threads = 1,
                                        const Tamper& tamper = {}) {
    swf::MovieRunner runner(movie, QString());
    runner.hooks().trace = [](const QString&) {};
    runner.hooks().warning = [](const QString&) {};
    runner.hooks().notice = [](const QString&) {};
    runner.start();
    swf::ViewPicture picture;
    picture.setThreads(threads);
    const QTransform view = swf::render::stageTransform(movie->header().frameSize,
                                                        QRectF(QPointF(0, 0), size), scaleMode);
    for (int f = 0; f < frames; ++f) {
        swf::render::StageChanges changes = runner.takeChanges();
        if (tamper && f > 0)
            tamper(changes);
        picture.update(runner, changes, size, view, swf::render::Quality::High);
        if (auto m = difference(picture.image(), fullPicture(runner, size, view), f))
            return m;
        if (runner.quitRequested())
            break;
        runner.nextPicture();
    }
    return std::nullopt;
}

std::shared_ptr<const swf::Movie> load(const swftest::Bytes& file) {
    auto m = swf::Movie::load(file);
    if (!m)
        throw std::runtime_error("movie did not load");
    return *m;
}

// A red square crossing the stage, one step a frame, over another that stays.
std::shared_ptr<const swf::Movie> movingSquare() {
    using namespace swftest;
    Bytes tags = concat({rectShape(1, 1000, 1000), rectShape(2, 3000, 3000),
                         placeObject2(1, 2, 6000, 4000), placeObject2(2, 1, 0, 0), showFrame()});
    for (int f = 1; f < 8; ++f)
        tags = concat({tags, placeObject2(2, 0, f * 1200, f * 500, true), showFrame()});
    return load(movie(concat({tags, end()}), 8));
}

constexpr int kShards = 8;

QStringList corpusShard(int shard) {
    QStringList paths;
    QDirIterator it(testenv::corpusDir(), {QStringLiteral("*.swf")}, QDir::Files,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        paths << it.next();
    paths.sort();
    QStringList mine;
    for (qsizetype i = shard; i < paths.size(); i += kShards)
        mine << paths[i];
    return mine;
}

class CorpusRepaint : public testing::TestWithParam<int> {};

// Sizes that do not divide the stage evenly, so stage edges and objects fall between pixels.
TEST_P(CorpusRepaint, PartialRepaintsEqualFullRepaints) {
    REELWICK_NEED_CORPUS();
    ensureGuiApplication();
#ifdef __SANITIZE_ADDRESS__
    // The normal build compares the full run; under the sanitizers this test is there to find
    // memory faults, which the first frames at one size reach with a tenth of the comparisons
    // (the full run took a quarter of an hour of the sanitizer suite's CPU time).
    constexpr int kFrames = 40;
    const QSize sizes[] = {QSize(317, 241)};
#else
    constexpr int kFrames = 200;
    const QSize sizes[] = {QSize(317, 241), QSize(642, 397)};
#endif
    const int modes[] = {0, 2}; // show all, exact fit (the movie's proportions kept or not)
    int movies = 0;
    for (const QString& path : corpusShard(GetParam())) {
        auto movie = swf::Movie::loadFile(path);
        if (!movie)
            continue; // refused cleanly; the engine's tests say which
        ++movies;
        for (QSize size : sizes) {
            for (int mode : modes) {
                const auto m = compareRepaints(movie.value(), size, mode, kFrames);
                EXPECT_FALSE(m) << path.toStdString() << " at " << size.width() << "x"
                                << size.height() << " mode " << mode << ": " << describe(*m);
            }
        }
    }
    EXPECT_GT(movies, 20);
}

INSTANTIATE_TEST_SUITE_P(Shards, CorpusRepaint, testing::Range(0, kShards));

// Large areas drawn by two threads give the pixels of one.
TEST(ViewPicture, TwoThreadsDrawTheSamePixelsAsOne) {
    REELWICK_NEED_CORPUS();
    ensureGuiApplication();
    const char* movies[] = {"freehep-generated/TestShapes.swf", "jpexs-testdata/as2/as2.swf"};
    for (const char* name : movies) {
        auto movie = swf::Movie::loadFile(testenv::corpusPath(QString::fromLatin1(name)));
        ASSERT_TRUE(movie) << name;
        const auto m = compareRepaints(movie.value(), QSize(1280, 720), 0, 30, 2);
        EXPECT_FALSE(m) << name << ": " << describe(*m);
    }
}

// The view's two drawing threads keep their pictures within one budget, not one each.
TEST(ViewPicture, BothThreadsKeepPicturesWithinOneBudget) {
    REELWICK_NEED_CORPUS();
    ensureGuiApplication();
    auto movie = swf::Movie::loadFile(testenv::corpusPath("freehep-generated/TestShapes.swf"));
    ASSERT_TRUE(movie);
    swf::MovieRunner runner(movie.value(), QString());
    runner.start();
    swf::ViewPicture picture;
    const QSize size(1280, 720);
    picture.update(runner, size,
                   swf::render::stageTransform(movie.value()->header().frameSize,
                                               QRectF(QPointF(0, 0), size), 0),
                   swf::render::Quality::High);
    const auto& kept = runner.renderer().rasterCache();
    EXPECT_GT(kept.bytes(), 0u);
    EXPECT_GT(kept.budget()->used(), kept.bytes()) << "the second thread's pictures count too";
    EXPECT_LE(kept.budget()->used(), swf::render::RasterCache::kMaxBytes);
}

TEST(ViewPicture, TheComparisonCatchesARegionThatMissesAMove) {
    ensureGuiApplication();
    const auto movie = movingSquare();
    // Honest changes: no difference.
    EXPECT_FALSE(compareRepaints(movie, QSize(275, 200), 0, 8));
    // Changes that forget the square: its old picture stays behind, its new one is missing.
    const auto forgot = compareRepaints(movie, QSize(275, 200), 0, 8, 1,
                                        [](swf::render::StageChanges& c) { c.areas.clear(); });
    ASSERT_TRUE(forgot);
    EXPECT_EQ(forgot->frame, 1);
    EXPECT_GT(forgot->pixels, 100);
    // Only where it went: where it was keeps the old square.
    const auto halfway =
        compareRepaints(movie, QSize(275, 200), 0, 8, 1, [](swf::render::StageChanges& c) {
            std::erase_if(c.areas, [](const auto& a) { return a.stage.left() < 1100; });
        });
    ASSERT_TRUE(halfway);
    EXPECT_EQ(halfway->frame, 1);
}

TEST(ViewPicture, DrawsNothingWhenNothingChangedAndEverythingForANewView) {
    ensureGuiApplication();
    const auto movie = movingSquare();
    swf::MovieRunner runner(movie, QString());
    runner.start();
    swf::ViewPicture picture;
    const QSize size(275, 200);
    const QTransform view =
        swf::render::stageTransform(movie->header().frameSize, QRectF(QPointF(0, 0), size), 0);
    const QRect all(QPoint(0, 0), size);
    EXPECT_EQ(picture.update(runner, size, view, swf::render::Quality::High), QRegion(all));
    EXPECT_TRUE(picture.update(runner, size, view, swf::render::Quality::High).isEmpty());
    runner.nextPicture();
    const QRegion moved = picture.update(runner, size, view, swf::render::Quality::High);
    EXPECT_FALSE(moved.isEmpty());
    EXPECT_LT(moved.boundingRect().width(), size.width() / 2); // the still square is left alone
    EXPECT_TRUE(picture.update(runner, size, view, swf::render::Quality::High).isEmpty());
    // Another quality, size or view: all of it.
    EXPECT_EQ(picture.update(runner, size, view, swf::render::Quality::Low), QRegion(all));
    EXPECT_EQ(picture.update(runner, size, view * QTransform::fromTranslate(1, 0),
                             swf::render::Quality::Low),
              QRegion(all));
    picture.invalidate();
    EXPECT_EQ(picture.update(runner, size, view, swf::render::Quality::Low), QRegion(all));
    picture.setFullRepaint(true);
    EXPECT_EQ(picture.update(runner, size, view, swf::render::Quality::Low), QRegion(all));
}

TEST(ViewPicture, PassesAreFewBandsOfWholeRowsCoveringTheRegion) {
    const QRect view(0, 0, 960, 720);
    QRegion region;
    for (int i = 0; i < 40; ++i)
        region += QRect(i * 37 % 900, i * 53 % 700, 20, 20);
    region += QRect(10, 10, 300, 300);
    const auto passes = swf::ViewPicture::passes(region, view);
    EXPECT_LE(passes.size(), 2u);
    QRegion covered;
    for (const QRect& r : passes) {
        EXPECT_EQ(r.left(), 0);
        EXPECT_EQ(r.width(), 960);
        covered += r;
    }
    EXPECT_TRUE((region - covered).isEmpty());
    // A change at the top and one at the bottom stay two thin bands.
    const auto apart =
        swf::ViewPicture::passes(QRegion(0, 0, 50, 50) + QRegion(900, 600, 50, 50), view);
    ASSERT_EQ(apart.size(), 2u);
    EXPECT_EQ(apart[0].height() + apart[1].height(), 100);
    EXPECT_TRUE(swf::ViewPicture::passes(QRegion(), view).empty());
}

} // namespace
