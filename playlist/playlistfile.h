#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// The playlist between runs: one entry per line, written as UTF-8 with CR LF after every entry.
namespace playlistfile {

// $XDG_DATA_HOME/reelwick/play.lst, by default ~/.local/share/reelwick/play.lst.
QString defaultPath();

// Entries of a file's contents. UTF-8 unless the bytes are not valid UTF-8, in which case they
// are GB18030 (the superset of code page 936, in which older Windows copies wrote the file).
// CR LF, a lone CR and a lone LF each end a line; a final line end adds no empty entry.
QStringList parse(const QByteArray& contents);
QByteArray serialize(const QStringList& entries);

// A path with a line break in it (legal in file names) would come back as two entries.
bool storable(const QString& path);

struct ReadResult {
    QStringList entries;
    bool failed = false; // the file exists but could not be read; `error` says why
    QString error;
};

// A missing file is an empty playlist, not a failure.
ReadResult read(const QString& path);

// Replaces the file only once the new contents are complete and on disk, so a failed write leaves
// the previous file whole. Creates the folder if needed. The new file keeps the old one's
// permissions; a symbolic link stays a link and its target is replaced.
bool write(const QString& path, const QStringList& entries, QString* error = nullptr);

} // namespace playlistfile
