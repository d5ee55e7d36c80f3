#pragma once

// A movie played from start to end into a video file: scripts, sound and stream pacing as in
// the window, one picture per tick of the movie's frame rate. Used by `--export ... --out
// FILE.mp4` and by the control's "export video" command (on a worker thread, with an engine
// of its own).

#include <QSize>
#include <QString>
#include <functional>

struct VideoExportRequest {
    QString movie;
    QString path; // .mp4, .mkv, .webm or .gif
    QSize size;   // empty: the stage size (made even where the codec needs it)
    int firstFrame = 1;
    // 0: to the end of the main timeline. Past the timeline's end it counts pictures (one per
    // tick of the frame rate) for movies that go on by looping or by script.
    int lastFrame = 0;
};

struct VideoExportStats {
    int pictures = 0;
    double drawSeconds = 0;   // playing and drawing
    double encodeSeconds = 0; // converting and encoding
    bool quit = false;        // the movie's script ended it
};

// Called after each picture with the count done and the count planned; returning false
// cancels (the file is then not written).
using VideoExportProgress = std::function<bool(int done, int total)>;

// False with `error` set on failure or cancel; a partial file never remains.
bool exportVideo(const VideoExportRequest& request, const VideoExportProgress& progress,
                 QString* error, VideoExportStats* stats = nullptr);
