#pragma once

// What the layout on resize reads and writes of the main window, all in the units of the
// client scale in force at the moment of each call. Every write takes effect at once, so a
// read that follows sees it.
class LayoutSurface {
public:
    virtual ~LayoutSurface() = default;

    virtual float scaleWidth() const = 0;
    virtual float scaleHeight() const = 0;
    virtual float scaleTop() const = 0;

    // The panel picture `Image1`; its width is the panel's width.
    virtual float panelWidth() const = 0;
    virtual float panelHeight() const = 0;
    virtual void setPanelHeight(float height) = 0;

    virtual void setListHeight(float height) = 0;

    // The movie control, one edge or extent at a time.
    virtual void setMovieTop(float top) = 0;
    virtual void setMovieLeft(float left) = 0;
    virtual void setMovieWidth(float width) = 0;
    virtual void setMovieHeight(float height) = 0;
};

// Fits the movie to the right of the panel and stretches the panel and the list to the client
// area's height. Keeps nothing between runs: everything is read anew from `surface`.
void layOutOnResize(LayoutSurface& surface);
