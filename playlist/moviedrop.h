#pragma once

// Movies dropped on the main window from a file manager: the .swf files among what is dropped,
// in order, go to a handler (the playlist commands add them as Open does); other files are
// ignored, and a drop with no movie is refused so the pointer says so.

#include <QObject>
#include <QStringList>
#include <functional>

class QMimeData;
class QWidget;

class MovieDrop : public QObject {
    Q_OBJECT
public:
    // Makes `window` (and the children it holds) a drop target.
    MovieDrop(QWidget* window, std::function<void(const QStringList& paths)> handler);

    // The local .swf files named in dropped data, each once, in the order given.
    static QStringList moviePaths(const QMimeData* data);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    std::function<void(const QStringList&)> m_handler;
};
