#include "playback/videoexportjob.h"

#include <QThread>

VideoExportJob::VideoExportJob(VideoExportRequest request, QObject* parent)
    : QObject(parent), m_request(std::move(request)) {}

VideoExportJob::~VideoExportJob() {
    if (m_thread) {
        m_cancel = true;
        m_thread->wait();
        delete m_thread;
    }
}

bool VideoExportJob::isRunning() const {
    return m_thread && m_thread->isRunning();
}

void VideoExportJob::start() {
    if (m_thread)
        return;
    m_cancel = false;
    m_thread = QThread::create([this] {
        QString error;
        // The worker writes m_ok and m_error only; they are read after the thread has ended.
        m_ok = exportVideo(
            m_request,
            [this](int done, int total) {
                emit progress(done, total);
                return !m_cancel.load();
            },
            &error);
        m_error = error;
    });
    connect(m_thread, &QThread::finished, this,
            [this] { emit finished(m_ok, m_error, !m_ok && m_cancel.load()); });
    m_thread->start(QThread::LowPriority);
}
