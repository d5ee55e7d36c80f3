#include "app/form1.h"
#include "common/fonts.h"
#include "playback/flashcontrol.h"

#include <QLabel>
#include <QListWidget>
#include <QTemporaryDir>
#include <QtTest>

// The real window with the real movie control, in a real X server with a window manager.
class MainWindowXvfbTest : public QObject {
    Q_OBJECT
private slots:
    void playsTheDemoAndKeepsThePlaylist() {
        installFontSubstitutions();
        QTemporaryDir dir;
        const QString list = dir.filePath(QStringLiteral("reelwick/play.lst"));
        const QString demo = QStringLiteral(REELWICK_SOURCE_DIR "/resources/demo.swf");
        int ended = 0;
        auto* control = new FlashControl;
        Form1 window(Form1Services{control, list, [&] { ++ended; }, nullptr});
        window.Form_Load({demo});
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));

        // A window manager puts a frame around it: the outer size exceeds the client's.
        QTRY_VERIFY(window.frameGeometry().height() > window.geometry().height());
        QCOMPARE(window.windowTitle(), demo + QStringLiteral(" - Reelwick1.1"));
        QVERIFY(control->hasMovie());
        QTRY_VERIFY_WITH_TIMEOUT(control->FrameNum() > 0, 5000);

        const QImage shot = window.grab().toImage();
        const QPoint panel = window.Image1()->geometry().bottomLeft() + QPoint(2, -5) +
                             window.centralWidget()->pos();
        QCOMPARE(shot.pixelColor(panel), QColor(219, 186, 215));
        // The stage's night blue at the control's corner, and the movie moving inside it.
        const QRect movie = control->geometry().translated(window.centralWidget()->pos());
        QCOMPARE(shot.pixelColor(movie.topLeft() + QPoint(4, 4)).name(), QStringLiteral("#1b2a4a"));
        QTRY_VERIFY_WITH_TIMEOUT(window.grab().toImage().copy(movie) != shot.copy(movie), 5000);

        window.close();
        QCOMPARE(ended, 1);
        QFile f(list);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), (demo + QStringLiteral("\r\n")).toUtf8());
    }
};

QTEST_MAIN(MainWindowXvfbTest)
#include "mainwindow_xvfb_test.moc"
