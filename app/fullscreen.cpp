#include "app/fullscreen.h"

void FullScreenMode::toggle(FullScreenWindow& w) {
    w.setFullScreenChecked(!w.fullScreenChecked());
    if (w.fullScreenChecked())
        switchOn(w);
    else
        switchOff(w);
}

void FullScreenMode::switchOn(FullScreenWindow& w) {
    SetTitleBarVisible(w, false);

    ClientScale& scale = w.clientScale();
    const QSizeF screen = w.screenSizeTwips();
    scale.setTop(0);
    scale.setLeft(0);
    scale.setWidth(float(screen.width()));
    scale.setHeight(float(screen.height()));

    w.maximize();

    // Over whatever the layout, run by the maximizing, left.
    w.setMovieTop(0);
    w.setMovieLeft(0);
    w.setMovieWidth(scale.width());
    w.setMovieHeight(scale.height());
}

void FullScreenMode::switchOff(FullScreenWindow& w) {
    SetTitleBarVisible(w, true);
    w.restoreNormal();

    // The client area now spans as many units as the window's outer size at start-up was in
    // twips, so the movie below reaches exactly to its right and bottom edges.
    const StartupGeometry g = w.startupGeometry();
    ClientScale& scale = w.clientScale();
    scale.setLeft(g.left);
    scale.setTop(g.top);
    scale.setWidth(g.width);
    scale.setHeight(g.height);

    w.setMovieTop(g.top);
    w.setMovieLeft(w.panelWidth());
    const float spare = g.width - w.panelWidth();
    if (spare > 10)
        w.setMovieWidth(spare);
    w.setMovieHeight(g.height);

    // The layout that ran while the window came back worked in the full-screen scale, whose
    // unit is larger: the list's 450-unit allowance was too short and its bottom hung below the
    // client area. Laid out once more in the scale now in force, the list fits again (the movie
    // gets the very rectangle it was just given).
    layOutOnResize(w);
}

void FullScreenMode::SetTitleBarVisible(FullScreenWindow& w, bool show) {
    const QRect outer = w.outerRect();
    WindowStyle style = w.windowStyle();
    if (show) {
        const QString caption = m_captionWhileHidden.value_or(m_tag);
        w.setTitle(caption);
        style = style.withTitleBar(true, w.frameDesign(), caption);
        m_titleHidden = false;
        m_captionWhileHidden.reset();
    } else {
        m_tag = w.title();
        w.setTitle(QString());
        style = style.withTitleBar(false, w.frameDesign(), QString());
        m_titleHidden = true;
        m_captionWhileHidden.reset();
    }
    w.setWindowStyle(style);
    w.frameChanged(outer);
}

void FullScreenMode::captionSet(const QString& caption) {
    if (m_titleHidden)
        m_captionWhileHidden = caption;
}
