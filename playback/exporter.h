#pragma once

// Writes chosen frames of a movie as PNG files, with no window: for people who want stills and
// for tests that compare the drawing with reference pictures.

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
    QString audioPath; // empty: no sound written
    // Set instead of outDir when --out names a video file (.mp4, .mkv, .webm, .gif); then
    // --frames may be left out (the whole timeline) and lastFrame is 0 for "to the end".
    QString videoPath;
};

// Parses the arguments after --export: MOVIE --frames A-B [--size WxH] --out DIR
// [--audio FILE.wav], or MOVIE [--frames A-B] [--size WxH] --out FILE.mp4|.mkv|.webm|.gif.
// On failure returns nothing and sets `error` to one line.
std::optional<ExportRequest> parseExportArguments(const QStringList& args, QString* error);

QString exportUsage();

// Renders the frames into `outDir` as frame_NNNN.png (the 1-based frame number), and with
// `audioPath` the movie's mixed sound for those frames as a WAV file. Frames past the movie's
// end are an error. Returns false with `error` set when something could not be written.
// With `videoPath`, writes the video instead, showing progress on standard error when that is
// a terminal.
bool exportFrames(const ExportRequest& request, QString* error);
