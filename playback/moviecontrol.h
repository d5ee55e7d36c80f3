#pragma once

#include <QString>
#include <QtGlobal>

class QWidget;

// What the main window may ask of the movie surface, and nothing more. The window holds one of
// these as `ShockwaveFlash1`; tests put a recording fake in its place.
class MovieControl {
public:
    virtual ~MovieControl() = default;

    // Loads and shows the movie at `path` (a local path or file:// URL). "http://", or anything
    // else that is not a local movie, unloads: nothing is shown or played any more.
    virtual void Movie(const QString& path) = 0;

    // The frame now shown, counted from 0; setting moves there. Any value is accepted: one
    // outside the movie is clamped to its first or last frame.
    virtual qint32 FrameNum() const = 0;
    virtual void FrameNum(qint32 frame) = 0;

    virtual void Play() = 0;     // run on from the current frame
    virtual void Stop() = 0;     // halt on the current frame
    virtual void Back() = 0;     // one frame back, then halt
    virtual void Forward() = 0;  // one frame on, then halt
    virtual void Rewind() = 0;   // go to the first frame
    virtual void StopPlay() = 0; // halt

    // 0 show all, 1 no border, 2 exact fit, 3 no scale.
    virtual void ScaleMode(qint32 mode) = 0;

    // The surface itself, which the window places by its client scale.
    virtual QWidget* widget() = 0;
};
