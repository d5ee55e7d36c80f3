#pragma once

// The picture a view of a running movie shows, kept from frame to frame and redrawn only where
// the movie changed (MovieRunner::takeChanges): a frame that changed nothing costs no drawing.
// A new size, view transform or quality redraws everything. Large areas are drawn on two
// threads, top and bottom half, with the same pixels one thread would give.
//
//     ViewPicture picture;
//     const QRegion drawn = picture.update(runner, size, view, quality);  // after each change
//     widget.update(drawn);    // paintEvent copies picture.image() where asked

#include "swf/render/changes.h"
#include "swf/render/paintercanvas.h"
#include "swf/render/renderer.h"

#include <QImage>
#include <QRegion>
#include <QTransform>
#include <memory>

namespace swf {

class MovieRunner;

class ViewPicture {
public:
    ViewPicture();
    ~ViewPicture();
    ViewPicture(const ViewPicture&) = delete;
    ViewPicture& operator=(const ViewPicture&) = delete;

    // Brings the picture up to the runner's current frame, seen through `view` (stage twips to
    // pixels of a view of `size`); outside the stage the view shows the background colour.
    // Returns the pixels drawn: empty when nothing changed.
    QRegion update(MovieRunner& runner, QSize size, const QTransform& view,
                   render::Quality quality);
    // The same with changes already taken from the runner.
    QRegion update(MovieRunner& runner, const render::StageChanges& changes, QSize size,
                   const QTransform& view, render::Quality quality);
    // The next update draws everything.
    void invalidate() { m_valid = false; }
    // Forgets the picture and what the second thread cached (another movie comes).
    void clear();
    // Whether the picture shows this view (it may still lag the movie by changes not taken).
    bool isCurrent(QSize size, const QTransform& view, render::Quality quality) const {
        return m_valid && size.expandedTo(QSize(1, 1)) == m_size && view == m_view &&
               quality == m_quality;
    }
    const QImage& image() const { return m_image; }

    // Every update draws the whole view whether anything changed or not, as views did before
    // they kept their picture: for comparisons.
    void setFullRepaint(bool on) { m_fullRepaint = on; }
    bool fullRepaint() const { return m_fullRepaint; }
    // In noScale the stage is the whole view: what lies beyond the movie's frame is drawn too
    // (a Flex application lays itself out to the view). Otherwise the frame clips the movie.
    void setWholeViewIsStage(bool on) {
        if (on != m_wholeView)
            m_valid = false;
        m_wholeView = on;
    }
    // 1 draws on the calling thread only; 2 (the default) shares large areas with a second.
    void setThreads(int threads) { m_threads = std::clamp(threads, 1, 2); }

    // Areas drawn in one pass each, for a changed region of a view `bounds`: a few bands of
    // whole rows covering it.
    static std::vector<QRect> passes(const QRegion& region, const QRect& bounds);
    // Pixels an area must hold before it is split between two threads.
    static constexpr int kSplitPixels = 160 * 1024;

private:
    void draw(MovieRunner& runner, const QRect& area, render::Renderer* second);

    QImage m_image;
    QSize m_size;
    QTransform m_view;
    render::Quality m_quality = render::Quality::High;
    QColor m_background;
    bool m_valid = false;
    bool m_fullRepaint = false;
    bool m_wholeView = false;
    int m_threads = 2;
    std::unique_ptr<render::Renderer> m_second; // the second thread's caches
    class Worker;
    std::unique_ptr<Worker> m_worker; // the second thread, kept with its working memory
};

} // namespace swf
