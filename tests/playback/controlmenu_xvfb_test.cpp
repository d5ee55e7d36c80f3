// The movie control's own menu entries in the real window: export video (in the background,
// cancellable), save picture, movie information, go to frame, playing speed.

#include "app/form1.h"
#include "common/fonts.h"
#include "mediafile.h"
#include "playback/controlmenu.h"
#include "playback/flashcontrol.h"
#include "playback/movieinfodialog.h"
#include "playback/videoexportjob.h"
#include "swf_writer.h"

#include "testenv.h"

#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QProgressDialog>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

namespace {
const QString kFfmpeg = testenv::corpusPath(QStringLiteral("ffmpeg-generated/"));

QAction* findAction(QMenu* menu, const QString& text) {
    for (QAction* a : menu->actions()) {
        if (a->text() == text)
            return a;
        if (a->menu()) {
            if (QAction* sub = findAction(a->menu(), text))
                return sub;
        }
    }
    return nullptr;
}

// Twenty frames, labelled "middle" at frame 11, the square moving one step per frame.
QString writeLabelledMovie(const QTemporaryDir& dir) {
    using namespace swftest;
    Bytes tags = concat({rectShape(1), placeObject2(1, 1), showFrame()});
    for (int f = 2; f <= 20; ++f)
        tags = concat({tags, f == 11 ? frameLabel("middle") : Bytes{},
                       placeObject2(1, 0, f * 200, 0, true), showFrame()});
    const Bytes bytes = movie(concat({tags, end()}), 20);
    const QString path = dir.filePath(QStringLiteral("labelled.swf"));
    QFile f(path);
    if (f.open(QIODevice::WriteOnly))
        f.write(reinterpret_cast<const char*>(bytes.data()), qint64(bytes.size()));
    return path;
}
} // namespace

class ControlMenuXvfbTest : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;
    FlashControl* m_control = nullptr;
    ControlMenu* m_tools = nullptr;
    std::unique_ptr<Form1> m_window;
    QStringList m_errors;

private slots:
    void initTestCase() {
        REELWICK_QNEED_CORPUS();
        installFontSubstitutions();
        m_control = new FlashControl;
        m_control->setAudioMode(AudioOutput::Mode::Silent);
        m_window = std::make_unique<Form1>(
            Form1Services{m_control, m_dir.filePath(QStringLiteral("play.lst")), [] {}, nullptr});
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
        m_tools = m_control->findChild<ControlMenu*>();
        QVERIFY(m_tools);
        m_tools->showError = [this](const QString& m) { m_errors << m; };
    }

    void cleanupTestCase() { m_window.reset(); }

    void entriesAppearInTheControlsOwnMenu() {
        // A right click on the movie opens the control's menu with the new entries.
        m_control->Movie(kFfmpeg + QStringLiteral("testsrc_png.swf"));
        QWindow* window = m_window->windowHandle();
        const QPoint at = m_control->mapTo(m_window.get(), m_control->rect().center());
        QTest::mouseClick(window, Qt::RightButton, {}, at);
        QMenu* popup = nullptr;
        QTRY_VERIFY((popup = qobject_cast<QMenu*>(QApplication::activePopupWidget())));
        for (const char* text : {"导出视频…", "保存画面…", "影片信息…", "转到帧…", "播放速度"}) {
            QAction* a = findAction(popup, QString::fromUtf8(text));
            QVERIFY2(a, text);
            QVERIFY2(a->isEnabled(), text);
        }
        QCOMPARE(findAction(popup, QStringLiteral("0.5×"))->isChecked(), false);
        QCOMPARE(findAction(popup, QStringLiteral("1×"))->isChecked(), true);
        popup->close();

        m_control->Movie(QString());
        std::unique_ptr<QMenu> empty(m_control->createContextMenu(nullptr));
        QVERIFY(!findAction(empty.get(), QStringLiteral("导出视频…"))->isEnabled());
        QVERIFY(!findAction(empty.get(), QStringLiteral("转到帧…"))->isEnabled());
    }

    void goToFrameByNumberOrLabelKeepsThePlayState() {
        const QString movie = writeLabelledMovie(m_dir);
        m_control->Movie(movie);
        m_control->Stop();
        QString answer = QStringLiteral(" 15 ");
        m_tools->askText = [&](const QString&, const QString& prompt) {
            [&] { QVERIFY(prompt.contains(QStringLiteral("20"))); }();
            return std::optional<QString>(answer);
        };
        std::unique_ptr<QMenu> menu(m_control->createContextMenu(nullptr));
        findAction(menu.get(), QStringLiteral("转到帧…"))->trigger();
        QCOMPARE(m_control->FrameNum(), 14);
        QVERIFY(!m_control->isPlaying());

        m_control->Play();
        answer = QStringLiteral("MIDDLE"); // labels match without regard to case
        m_tools->goToFrame();
        QVERIFY(m_control->FrameNum() >= 10);
        QVERIFY(m_control->isPlaying());

        m_control->Stop();
        m_control->FrameNum(3);
        m_errors.clear();
        for (const char* bad : {"0", "21", "-4", "nowhere", ""}) {
            answer = QString::fromUtf8(bad);
            m_tools->goToFrame();
            QCOMPARE(m_control->FrameNum(), 3);
        }
        QCOMPARE(m_errors.size(), 4); // an empty answer is taken as a change of mind
    }

    void savePictureWritesTheViewAsPng() {
        m_control->Movie(kFfmpeg + QStringLiteral("testsrc_png.swf"));
        m_control->Stop();
        const QString path = m_dir.filePath(QStringLiteral("shot"));
        QString suggested;
        m_tools->askSavePath = [&](const QString&, const QString& s, const QString&) {
            suggested = s;
            return path;
        };
        std::unique_ptr<QMenu> menu(m_control->createContextMenu(nullptr));
        findAction(menu.get(), QStringLiteral("保存画面…"))->trigger();
        QVERIFY(suggested.endsWith(
            QStringLiteral("testsrc_png_%1.png").arg(m_control->FrameNum() + 1)));
        const QImage saved(path + QStringLiteral(".png"));
        QCOMPARE(saved.size(), m_control->size());
        QCOMPARE(saved.convertToFormat(QImage::Format_RGB32),
                 m_control->grabFrame().convertToFormat(QImage::Format_RGB32));
    }

    void informationDialogShowsTheFacts() {
        m_control->Movie(kFfmpeg + QStringLiteral("testsrc_flv1_mp3.swf"));
        std::unique_ptr<QMenu> menu(m_control->createContextMenu(nullptr));
        findAction(menu.get(), QStringLiteral("影片信息…"))->trigger();
        MovieInfoDialog* dialog = nullptr;
        QTRY_VERIFY((dialog = m_control->findChild<MovieInfoDialog*>()));
        QVERIFY(QTest::qWaitForWindowExposed(dialog));
        QStringList texts;
        for (QLabel* l : dialog->findChildren<QLabel*>())
            texts << l->text();
        const QString all = texts.join('\n');
        QVERIFY2(all.contains(QStringLiteral("testsrc_flv1_mp3.swf")), qPrintable(all));
        QVERIFY2(all.contains(QStringLiteral("320 × 240 像素")), qPrintable(all));
        QVERIFY2(all.contains(QStringLiteral("Sorenson H.263")), qPrintable(all));
        QVERIFY2(all.contains(QStringLiteral("MP3，44.1 kHz，单声道，流式声音")), qPrintable(all));
        QVERIFY2(all.contains(QStringLiteral("0:02.0")), qPrintable(all));
        dialog->close();
        QTRY_VERIFY(!m_control->findChild<MovieInfoDialog*>());
    }

    void exportRunsInTheBackgroundWhileTheMovieKeepsPlaying() {
        m_control->Movie(kFfmpeg + QStringLiteral("testsrc_flv1_mp3.swf"));
        const QString path = m_dir.filePath(QStringLiteral("export.mp4"));
        QString suggested;
        m_tools->askSavePath = [&](const QString&, const QString& s, const QString&) {
            suggested = s;
            return path;
        };
        m_tools->askVideoSize = [](QSize stage, QSize) { return std::optional<QSize>(stage); };
        QSignalSpy done(m_tools, &ControlMenu::exportFinished);
        std::unique_ptr<QMenu> menu(m_control->createContextMenu(nullptr));
        findAction(menu.get(), QStringLiteral("导出视频…"))->trigger();
        QVERIFY(suggested.endsWith(QStringLiteral("/testsrc_flv1_mp3.mp4")));
        QVERIFY(m_tools->progressDialog());
        QVERIFY(m_tools->exportJob());
        const int before = m_control->FrameNum();
        QTRY_VERIFY_WITH_TIMEOUT(done.count() == 1, 60000);
        QCOMPARE(done[0][0].toBool(), true);
        QVERIFY(m_control->hasMovie());
        QVERIFY(m_control->FrameNum() != before || m_control->isPlaying());
        QTRY_VERIFY(!m_tools->progressDialog());
        const MediaFile m = readMediaFile(path);
        QCOMPARE(int(m.frames.size()), 20);
        QCOMPARE(m.frames[0].size(), QSize(320, 240));
        QCOMPARE(m.audioCodec, QStringLiteral("aac"));
    }

    void cancelledExportLeavesNoFile() {
        // Five thousand frames at a large size: far too long to end before the cancel.
        using namespace swftest;
        Bytes tags = concat({rectShape(1), placeObject2(1, 1)});
        for (int f = 0; f < 5000; ++f)
            tags = concat({tags, showFrame()});
        const Bytes bytes = movie(concat({tags, end()}), 5000);
        const QString moviePath = m_dir.filePath(QStringLiteral("long.swf"));
        {
            QFile f(moviePath);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(reinterpret_cast<const char*>(bytes.data()), qint64(bytes.size()));
        }
        m_control->Movie(moviePath);
        const QString path = m_dir.filePath(QStringLiteral("cancelled.webm"));
        m_tools->askSavePath = [&](const QString&, const QString&, const QString&) { return path; };
        m_tools->askVideoSize = [](QSize, QSize) {
            return std::optional<QSize>(QSize(1920, 1440));
        };
        QSignalSpy done(m_tools, &ControlMenu::exportFinished);
        m_errors.clear();
        m_tools->exportVideo();
        QProgressDialog* progress = m_tools->progressDialog();
        QVERIFY(progress);
        QTRY_VERIFY_WITH_TIMEOUT(progress->value() >= 1, 30000);
        QPushButton* cancel = progress->findChild<QPushButton*>();
        QVERIFY(cancel);
        QTest::mouseClick(cancel, Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(done.count() == 1, 30000);
        QCOMPARE(done[0][0].toBool(), false);
        QVERIFY(m_errors.isEmpty()); // a cancel is not an error
        QVERIFY(!QFile::exists(path));
        const QStringList left =
            QDir(m_dir.path()).entryList({QStringLiteral("*.part")}, QDir::Files | QDir::Hidden);
        QVERIFY2(left.isEmpty(), qPrintable(left.join(' ')));
    }

    void speedChangesThePaceAndSilencesOtherSpeeds() {
        m_control->Movie(kFfmpeg + QStringLiteral("testsrc_flv1_mp3.swf"));
        std::unique_ptr<QMenu> menu(m_control->createContextMenu(nullptr));
        findAction(menu.get(), QStringLiteral("2×"))->trigger();
        QCOMPARE(m_control->speed(), 2.0);
        QVERIFY(m_control->audioOutput()->isPaused());
        // 10 frames a second at double speed: the 20 frames go by in about a second.
        m_control->Stop();
        m_control->FrameNum(0);
        m_control->Play();
        QVERIFY(m_control->audioOutput()->isPaused()); // Play keeps other speeds silent
        QElapsedTimer t;
        t.start();
        QTRY_VERIFY_WITH_TIMEOUT(m_control->FrameNum() >= 12, 5000);
        const qint64 fast = t.elapsed();

        menu.reset(m_control->createContextMenu(nullptr));
        QVERIFY(findAction(menu.get(), QStringLiteral("2×"))->isChecked());
        findAction(menu.get(), QStringLiteral("1×"))->trigger();
        QCOMPARE(m_control->speed(), 1.0);
        QVERIFY(!m_control->audioOutput()->isPaused());
        qInfo("12 frames at 2x took %lld ms (600 expected)", qint64(fast));
        QVERIFY(fast < 1100); // at 1x it would take 1200 ms at least

        // A new movie plays at its own speed.
        m_control->setSpeed(0.5);
        m_control->Movie(kFfmpeg + QStringLiteral("testsrc_png.swf"));
        QCOMPARE(m_control->speed(), 1.0);
    }
};

QTEST_MAIN(ControlMenuXvfbTest)
#include "controlmenu_xvfb_test.moc"
