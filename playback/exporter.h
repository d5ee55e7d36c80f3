#pragma once

// Writes chosen frames of a movie as PNG files, with no window: for people who want stills and
// for tests that compare the drawing with reference pictures. The movie runs as in the window
// (scripts, buttons, text variables, sound), from its first frame, on its own clock: frame n is
// the picture shown (n - 1) / frame rate seconds in, so every export of a movie is the same.

#include <QPointF>
#include <QSize>
#include <QString>
#include <QStringList>
#include <optional>

struct ExportRequest {
    QString movie;
    int firstFrame = 1; // counted from 1, as frames are numbered to people
    int lastFrame = 1;
    QSize size; // empty: the stage size
    QString outDir;
    QString audioPath;            // empty: no sound written
    std::optional<QPointF> mouse; // stage pixels; none: off the stage
    // Set instead of outDir when --out names a video file (.mp4, .mkv, .webm, .gif); then
    // --frames may be left out (the whole timeline) and lastFrame is 0 for "to the end".
    QString videoPath;
};

struct ExportOutcome {
    int framesWritten = 0;
    bool quit = false; // the movie ended itself (fscommand "quit") before the last frame
};

// Parses the arguments after --export: MOVIE --frames A-B [--size WxH] --out DIR
// [--audio FILE.wav] [--mouse X,Y], or MOVIE [--frames A-B] [--size WxH] --out
// FILE.mp4|.mkv|.webm|.gif.
// On failure returns nothing and sets `error` to one line.
std::optional<ExportRequest> parseExportArguments(const QStringList& args, QString* error);

QString exportUsage();

// Plays the movie and writes the chosen frames into `outDir` as frame_NNNN.png (the 1-based
// frame number), and with `audioPath` the movie's mixed sound for those frames as a WAV file.
// Frames past the end of the timeline are what the movie shows then (it loops, or a script
// holds it). trace() goes to standard error, one line per call. A movie that quits ends the
// export there, with what was drawn so far written. Returns false with `error` set when the
// movie cannot be read or something could not be written.
// With `videoPath`, writes the video instead, showing progress on standard error when that is
// a terminal.
bool exportFrames(const ExportRequest& request, QString* error, ExportOutcome* outcome = nullptr);
