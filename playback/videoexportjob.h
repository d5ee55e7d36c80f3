#pragma once

// A video export on a worker thread, for the window: the worker loads the movie file into an
// engine of its own and never touches the player the window shows, so the movie on screen
// keeps playing. Progress and the end arrive as signals on the thread that made the job.

#include "playback/videoexport.h"

#include <QObject>
#include <atomic>

class QThread;

class VideoExportJob : public QObject {
    Q_OBJECT
public:
    explicit VideoExportJob(VideoExportRequest request, QObject* parent = nullptr);
    // Cancels a running export and waits for the worker (the partial file is removed).
    ~VideoExportJob() override;

    void start();
    // Asks the worker to stop after the picture it is on; finished() follows.
    void cancel() { m_cancel = true; }
    bool isRunning() const;
    const VideoExportRequest& request() const { return m_request; }

signals:
    void progress(int done, int total);
    // `cancelled`: stopped by cancel(); then `ok` is false and no file was written.
    void finished(bool ok, const QString& error, bool cancelled);

private:
    VideoExportRequest m_request;
    QThread* m_thread = nullptr;
    std::atomic<bool> m_cancel{false};
    bool m_ok = false;
    QString m_error;
};
