#include "swf/runner/viewpicture.h"

#include "swf/render/rastercache.h"
#include "swf/runner/movierunner.h"

#include <QPainter>
#include <algorithm>
#include <cmath>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace swf {
namespace {

// A pass costs a walk over the scene besides its pixels, and every layer (blend modes, filters)
// it crosses is drawn whole again: bands closer than a quarter of the view are drawn as one,
// and there are never more than kMaxPasses.
constexpr int kMinBandGap = 64;
constexpr std::size_t kMaxPasses = 2;
// Bands covering more of the view than this are drawn as one: a pass re-walks the scene and
// re-outlines every path that crosses it.
constexpr double kOnePassShare = 0.5;

qint64 areaOf(const QRect& r) {
    return qint64(r.width()) * r.height();
}

} // namespace

// One job at a time on a thread that stays, so that the layers' working memory it keeps
// (Scratch, per thread) is there for the next frame.
class ViewPicture::Worker {
public:
    Worker() : m_thread([this] { loop(); }) {}
    ~Worker() {
        {
            std::lock_guard lock(m_mutex);
            m_quit = true;
        }
        m_wake.notify_all();
        m_thread.join();
    }
    void start(std::function<void()> job) {
        {
            std::lock_guard lock(m_mutex);
            m_job = std::move(job);
            m_done = false;
        }
        m_wake.notify_all();
    }
    void wait() {
        std::unique_lock lock(m_mutex);
        m_finished.wait(lock, [this] { return m_done; });
    }

private:
    void loop() {
        for (;;) {
            std::function<void()> job;
            {
                std::unique_lock lock(m_mutex);
                m_wake.wait(lock, [this] { return m_quit || m_job; });
                if (m_quit)
                    return;
                job = std::exchange(m_job, nullptr);
            }
            job();
            {
                std::lock_guard lock(m_mutex);
                m_done = true;
            }
            m_finished.notify_all();
        }
    }

    std::mutex m_mutex;
    std::condition_variable m_wake, m_finished;
    std::function<void()> m_job;
    bool m_done = true;
    bool m_quit = false;
    std::thread m_thread; // last: starts once the rest is ready
};

ViewPicture::ViewPicture() = default;
ViewPicture::~ViewPicture() = default;

void ViewPicture::clear() {
    m_valid = false;
    m_image = QImage();
    m_size = QSize();
    m_second.reset();
    m_worker.reset();
}

std::vector<QRect> ViewPicture::passes(const QRegion& region, const QRect& bounds) {
    // Whole rows of the view: Qt computes gradients and transformed bitmaps along each span from
    // its first pixel on, so a clip that cut spans on the left would shift their pixels.
    std::vector<std::pair<int, int>> rows; // top, bottom (exclusive)
    for (const QRect& r : region) {
        const QRect c = r & bounds;
        if (!c.isEmpty())
            rows.emplace_back(c.top(), c.bottom() + 1);
    }
    std::sort(rows.begin(), rows.end());
    const int gap = std::max(kMinBandGap, bounds.height() / 4);
    std::vector<std::pair<int, int>> bands;
    for (const auto& r : rows) {
        if (!bands.empty() && r.first <= bands.back().second + gap)
            bands.back().second = std::max(bands.back().second, r.second);
        else
            bands.push_back(r);
    }
    while (bands.size() > kMaxPasses) {
        std::size_t best = 0;
        for (std::size_t i = 1; i + 1 < bands.size(); ++i) {
            if (bands[i + 1].first - bands[i].second < bands[best + 1].first - bands[best].second)
                best = i;
        }
        bands[best].second = bands[best + 1].second;
        bands.erase(bands.begin() + std::ptrdiff_t(best) + 1);
    }
    qint64 rowsDrawn = 0;
    for (const auto& [top, bottom] : bands)
        rowsDrawn += bottom - top;
    if (bands.size() > 1 && rowsDrawn > kOnePassShare * bounds.height())
        bands = {{bands.front().first, bands.back().second}};
    std::vector<QRect> out;
    for (const auto& [top, bottom] : bands)
        out.emplace_back(bounds.left(), top, bounds.width(), bottom - top);
    return out;
}

QRegion ViewPicture::update(MovieRunner& runner, QSize size, const QTransform& view,
                            render::Quality quality) {
    return update(runner, runner.takeChanges(), size, view, quality);
}

QRegion ViewPicture::update(MovieRunner& runner, const render::StageChanges& changes, QSize size,
                            const QTransform& view, render::Quality quality) {
    size = size.expandedTo(QSize(1, 1));
    const QColor background = runner.background();
    const bool everything = !m_valid || m_fullRepaint || size != m_size || view != m_view ||
                            quality != m_quality || background != m_background;
    if (m_image.size() != size) {
        m_image = QImage(size, QImage::Format_ARGB32_Premultiplied);
        m_image.fill(background);
    }
    m_size = size;
    m_view = view;
    m_quality = quality;
    m_background = background;
    m_valid = true;

    const QRect all(QPoint(0, 0), size);
    const QRegion region = everything ? QRegion(all) : changes.deviceRegion(view, all);
    if (region.isEmpty())
        return {};
    for (const QRect& pass : passes(region, all)) {
        if (m_threads > 1 && areaOf(pass) >= kSplitPixels && pass.height() >= 2) {
            if (!m_second)
                m_second = std::make_unique<render::Renderer>();
            // One memory budget for the view's kept pictures, whichever thread drew them.
            m_second->rasterCache().shareBudget(runner.renderer().rasterCache().budget());
            draw(runner, pass, m_second.get());
        } else {
            draw(runner, pass, nullptr);
        }
    }
    return region;
}

void ViewPicture::draw(MovieRunner& runner, const QRect& area, render::Renderer* second) {
    const Rect& s = runner.movie().header().frameSize;
    const QRectF stageArea = m_view.mapRect(QRectF(s.xMin, s.yMin, s.width(), s.height()));
    const QRect stage = m_wholeView ? m_image.rect() : stageArea.toAlignedRect();
    // The renderer covers the stage with the background colour, opaque: the pixels wholly inside
    // it need no fill of their own first (a whole view's worth of memory written twice).
    QRect inner;
    if (m_view.type() <= QTransform::TxScale) {
        inner = QRect(QPoint(int(std::ceil(stageArea.left())), int(std::ceil(stageArea.top()))),
                      QPoint(int(std::floor(stageArea.right())) - 1,
                             int(std::floor(stageArea.bottom())) - 1));
    }
    // Each painter works on a QImage of its own over the same pixels: a device takes one painter
    // at a time. Both see the whole view, so every pixel is computed exactly as in one pass.
    auto paint = [&](QImage& target, const QRect& part, auto&& render) {
        QPainter p(&target);
        // Outside the stage the view shows the background colour (show all letterboxes in it),
        // and so do the stage's partly covered edge pixels beneath its anti-aliased edge.
        for (const QRect& r : QRegion(part).subtracted(QRegion(inner)))
            p.fillRect(r, m_background);
        p.setClipRect(part & stage);
        render::PainterCanvas canvas(p, m_quality);
        canvas.setLayerArea(QRectF(m_image.rect()) & QRectF(stage));
        render(canvas);
    };
    if (!second) {
        paint(m_image, area, [&](render::Canvas& c) { runner.render(c, m_view); });
        return;
    }
    const int half = area.height() / 2;
    const QRect top(area.left(), area.top(), area.width(), half);
    const QRect bottom(area.left(), area.top() + half, area.width(), area.height() - half);
    QImage other(m_image.bits(), m_image.width(), m_image.height(), m_image.bytesPerLine(),
                 m_image.format());
    const Player& player = runner.player();
    if (!m_worker)
        m_worker = std::make_unique<Worker>();
    m_worker->start([&] {
        paint(other, bottom, [&](render::Canvas& c) { second->render(player, c, m_view); });
    });
    paint(m_image, top, [&](render::Canvas& c) { runner.render(c, m_view); });
    m_worker->wait();
}

} // namespace swf
