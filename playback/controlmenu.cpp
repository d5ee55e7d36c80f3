#include "playback/controlmenu.h"

#include "playback/flashcontrol.h"
#include "playback/movieinfodialog.h"
#include "playback/videoencoder.h"
#include "playback/videoexportjob.h"
#include "swf/movieinfo.h"

#include <QActionGroup>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QMenu>
#include <QMessageBox>
#include <QProgressDialog>

ControlMenu::ControlMenu(FlashControl* control) : QObject(control), m_control(control) {
    control->setMenuExtender([this](QMenu* menu) { addEntries(menu); });
    askSavePath = [this](const QString& title, const QString& suggested, const QString& filter) {
        return QFileDialog::getSaveFileName(m_control, title, suggested, filter);
    };
    askText = [this](const QString& title, const QString& prompt) -> std::optional<QString> {
        bool ok = false;
        const QString text =
            QInputDialog::getText(m_control, title, prompt, QLineEdit::Normal, QString(), &ok);
        return ok ? std::optional<QString>(text) : std::nullopt;
    };
    askVideoSize = [this](QSize stage, QSize view) -> std::optional<QSize> {
        const QStringList items = {
            tr("影片原始大小（%1 × %2）").arg(stage.width()).arg(stage.height()),
            tr("当前画面大小（%1 × %2）").arg(view.width()).arg(view.height())};
        bool ok = false;
        const QString choice = QInputDialog::getItem(m_control, tr("导出视频"), tr("画面大小："),
                                                     items, 0, false, &ok);
        if (!ok)
            return std::nullopt;
        return choice == items[0] ? stage : view;
    };
    showError = [this](const QString& message) {
        QMessageBox::warning(m_control, tr("Reelwick"), message);
    };
}

ControlMenu::~ControlMenu() {
    // A running export stops with the window; its partial file is removed.
    delete m_progress;
    delete m_job;
}

void ControlMenu::addEntries(QMenu* menu) {
    const bool movie = m_control->hasMovie();
    menu->addSeparator();
    QAction* a = menu->addAction(tr("导出视频…"), this, &ControlMenu::exportVideo);
    a->setEnabled(movie && !m_job);
    menu->addAction(tr("保存画面…"), this, &ControlMenu::savePicture)->setEnabled(movie);
    menu->addAction(tr("影片信息…"), this, &ControlMenu::showInformation)->setEnabled(movie);
    menu->addAction(tr("转到帧…"), this, &ControlMenu::goToFrame)->setEnabled(movie);
    QMenu* speed = menu->addMenu(tr("播放速度"));
    speed->setEnabled(movie);
    auto* group = new QActionGroup(speed);
    for (const double s : {0.5, 1.0, 2.0}) {
        QAction* item = speed->addAction(QStringLiteral("%1×").arg(s), this,
                                         [this, s] { m_control->setSpeed(s); });
        item->setCheckable(true);
        item->setChecked(m_control->speed() == s);
        group->addAction(item);
    }
}

std::optional<int> ControlMenu::frameFromText(const swf::Movie& movie, const QString& text) {
    const QString t = text.trimmed();
    if (t.isEmpty())
        return std::nullopt;
    bool isNumber = false;
    const qlonglong n = t.toLongLong(&isNumber);
    if (isNumber) {
        if (n < 1 || n > qlonglong(movie.frameCount()))
            return std::nullopt;
        return int(n - 1);
    }
    if (const auto frame = movie.timeline.frameForLabel(t))
        return int(*frame);
    return std::nullopt;
}

void ControlMenu::goToFrame() {
    swf::Player* player = m_control->player();
    if (!player)
        return;
    const int count = m_control->frameCount();
    const auto text = askText(tr("转到帧"), tr("帧号（1 到 %1）或帧标签：").arg(count));
    if (!text || text->trimmed().isEmpty() || !m_control->player())
        return;
    const auto frame = frameFromText(m_control->player()->movie(), *text);
    if (!frame) {
        showError(tr("影片中没有“%1”这一帧。").arg(text->trimmed()));
        return;
    }
    // FrameNum keeps the movie playing or paused as it was.
    m_control->FrameNum(*frame);
}

void ControlMenu::savePicture() {
    if (!m_control->hasMovie())
        return;
    const QImage picture = m_control->grabFrame();
    const QFileInfo movie(m_control->moviePath());
    const QString suggested = movie.dir().filePath(
        QStringLiteral("%1_%2.png").arg(movie.completeBaseName()).arg(m_control->FrameNum() + 1));
    QString path = askSavePath(tr("保存画面"), suggested, tr("PNG 图片 (*.png)"));
    if (path.isEmpty())
        return;
    if (QFileInfo(path).suffix().isEmpty())
        path += QStringLiteral(".png");
    if (!picture.save(path, "PNG"))
        showError(tr("无法写入 %1。").arg(QDir::toNativeSeparators(path)));
}

void ControlMenu::showInformation() {
    const QString path = m_control->moviePath();
    if (path.isEmpty())
        return;
    auto info = swf::describeMovieFile(path);
    if (!info) {
        showError(tr("无法读取影片：%1").arg(QString::fromStdString(info.error().message)));
        return;
    }
    auto* dialog = new MovieInfoDialog(info.value(), m_control);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->show();
}

void ControlMenu::exportVideo() {
    if (!m_control->hasMovie() || m_job)
        return;
    const QFileInfo movie(m_control->moviePath());
    const QString suggested =
        movie.dir().filePath(movie.completeBaseName() + QStringLiteral(".mp4"));
    QString path =
        askSavePath(tr("导出视频"), suggested,
                    tr("MP4 视频 (*.mp4);;WebM 视频 (*.webm);;MKV 视频 (*.mkv);;GIF 动画 (*.gif)"));
    if (path.isEmpty())
        return;
    if (!VideoEncoder::formatForPath(path))
        path += QStringLiteral(".mp4");
    const auto& header = m_control->header();
    const QSize stage(std::max(1, header->frameSize.width() / 20),
                      std::max(1, header->frameSize.height() / 20));
    const auto size = askVideoSize(stage, m_control->size());
    if (!size)
        return;

    VideoExportRequest request;
    request.movie = movie.absoluteFilePath();
    request.path = path;
    request.size = *size;
    m_job = new VideoExportJob(request, this);
    m_progress = new QProgressDialog(tr("正在导出 %1…").arg(QFileInfo(path).fileName()), tr("取消"),
                                     0, 100, m_control);
    m_progress->setWindowTitle(tr("导出视频"));
    m_progress->setAutoClose(false);
    m_progress->setAutoReset(false);
    m_progress->setMinimumDuration(0);
    m_progress->setAttribute(Qt::WA_DeleteOnClose);
    connect(m_progress, &QProgressDialog::canceled, m_job, &VideoExportJob::cancel);
    connect(m_job, &VideoExportJob::progress, m_progress, [p = m_progress](int done, int total) {
        if (p) {
            p->setMaximum(total);
            p->setValue(done);
        }
    });
    connect(m_job, &VideoExportJob::finished, this,
            [this, path](bool ok, const QString& error, bool cancelled) {
                if (m_progress)
                    m_progress->close();
                m_job->deleteLater();
                m_job = nullptr;
                if (!ok && !cancelled)
                    showError(tr("视频导出失败：%1").arg(error));
                emit exportFinished(ok, path);
            });
    m_progress->show();
    m_job->start();
}
