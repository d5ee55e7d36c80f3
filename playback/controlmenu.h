#pragma once

// The movie control's own commands beyond playing: export video, save picture, movie
// information, go to frame, playing speed. Attached to a FlashControl, it adds its entries to
// the control's right-click menu; the window's menus stay as they are.

#include "playback/videoexportjob.h"

#include <QObject>
#include <QPointer>
#include <QProgressDialog>
#include <QSize>
#include <QString>
#include <functional>
#include <optional>

class FlashControl;
class QMenu;

namespace swf {
class Movie;
}

class ControlMenu : public QObject {
    Q_OBJECT
public:
    explicit ControlMenu(FlashControl* control);
    ~ControlMenu() override;

    void addEntries(QMenu* menu);

    // The commands behind the entries.
    void exportVideo();
    void savePicture();
    void showInformation();
    void goToFrame();

    // What the user typed as a frame: a number from 1 to the frame count or a label of the main
    // timeline. The 0-based frame, or nothing when it names none.
    static std::optional<int> frameFromText(const swf::Movie& movie, const QString& text);

    // Questions put to the user; tests answer them instead. Empty strings and nullopt are
    // "cancelled".
    std::function<QString(const QString& title, const QString& suggested, const QString& filter)>
        askSavePath;
    std::function<std::optional<QString>(const QString& title, const QString& prompt)> askText;
    // Which picture size a video is made at: the movie's stage or the view on screen.
    std::function<std::optional<QSize>(QSize stage, QSize view)> askVideoSize;
    std::function<void(const QString& message)> showError;

    // The export running now, if any (tests wait on it).
    VideoExportJob* exportJob() const { return m_job; }
    QProgressDialog* progressDialog() const { return m_progress; }

signals:
    void exportFinished(bool ok, const QString& path);

private:
    FlashControl* m_control;
    QPointer<VideoExportJob> m_job;
    QPointer<QProgressDialog> m_progress;
};
