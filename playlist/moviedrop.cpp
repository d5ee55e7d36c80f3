#include "playlist/moviedrop.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QMimeData>
#include <QUrl>
#include <QWidget>

MovieDrop::MovieDrop(QWidget* window, std::function<void(const QStringList&)> handler)
    : QObject(window), m_handler(std::move(handler)) {
    window->setAcceptDrops(true);
    window->installEventFilter(this);
}

QStringList MovieDrop::moviePaths(const QMimeData* data) {
    QStringList out;
    if (!data || !data->hasUrls())
        return out;
    for (const QUrl& url : data->urls()) {
        if (!url.isLocalFile())
            continue;
        const QFileInfo file(url.toLocalFile());
        if (file.suffix().compare(QLatin1String("swf"), Qt::CaseInsensitive) != 0 || !file.isFile())
            continue;
        const QString path = file.absoluteFilePath();
        if (!out.contains(path))
            out.append(path);
    }
    return out;
}

bool MovieDrop::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove: {
        auto* e = static_cast<QDragMoveEvent*>(event);
        if (!moviePaths(e->mimeData()).isEmpty())
            e->acceptProposedAction();
        else
            e->ignore();
        return true;
    }
    case QEvent::Drop: {
        auto* e = static_cast<QDropEvent*>(event);
        const QStringList paths = moviePaths(e->mimeData());
        if (paths.isEmpty()) {
            e->ignore();
            return true;
        }
        e->acceptProposedAction();
        if (m_handler)
            m_handler(paths);
        return true;
    }
    default:
        return QObject::eventFilter(watched, event);
    }
}
