#pragma once

// SharedObject stores: what movies keep between runs (high scores, saved games). The one thing
// a movie ever writes. Each movie has a folder of its own under the folder the host gives
// (keyed by the movie's absolute path), one file per store name, in this engine's own format,
// at most kMaxBytesPerMovie over all its stores, each replaced whole or not at all. Shared by
// ActionScript 2 and 3: both turn their objects into `Members` and back.

#include "swf/result.h"

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <utility>
#include <vector>

namespace swf::sharedobject {

constexpr std::int64_t kMaxBytesPerMovie = 100 * 1024;
constexpr int kMaxDepth = 64;

struct StoredValue;
// Named members in the order they were added; an array's elements are named by their index.
using Members = std::vector<std::pair<QString, StoredValue>>;

struct StoredValue {
    // Defined out of line: clang cannot check a pair holding this type while the type is
    // still being defined (the Members vector inside it).
    StoredValue();
    enum class Type : std::uint8_t {
        Undefined,
        Null,
        Boolean,
        Number,
        String,
        Date,
        Array,
        Object
    };
    Type type = Type::Undefined;
    bool boolean = false;
    double number = 0; // Number; Date as milliseconds since 1970
    QString string;
    Members members;          // Array and Object
    std::uint32_t length = 0; // Array
};

// The file's contents and back. decode gives an error for anything damaged: wrong header,
// truncated, too deep, trailing bytes.
QByteArray encode(const Members& data);
Result<Members> decode(const QByteArray& bytes);

class Store {
public:
    // `baseFolder`: where every movie's folder goes (the host's
    // $XDG_DATA_HOME/reelwick/shared-objects); `moviePath`: the movie's file.
    Store(const QString& baseFolder, const QString& moviePath);

    // This movie's folder (made on the first write).
    const QString& folder() const { return m_folder; }
    // The file of a store. `localPath` must be empty or a folder of the movie's own path (as
    // a path or a file:// URL), as the player requires; names may not hold ~ % & \ ; : " ' ,
    // < > ? # or white space. The error is the reason for refusing.
    Result<QString> fileFor(const QString& name, const QString& localPath) const;

    struct Loaded {
        Members data;
        QString problem; // set when a file was there but damaged; it is then ignored
    };
    Loaded load(const QString& file) const;
    // Writes atomically. False with the reason when the movie's stores would pass the cap or
    // the file cannot be written.
    bool save(const QString& file, const QByteArray& bytes, QString* error = nullptr) const;
    // Bytes this movie's stores use now, without `except`.
    std::int64_t used(const QString& except = {}) const;
    bool remove(const QString& file) const;

private:
    QString m_folder;
    QString m_moviePath;
};

} // namespace swf::sharedobject
