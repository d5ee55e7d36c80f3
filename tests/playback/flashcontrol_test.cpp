#include "playback/flashcontrol.h"

#include <QtTest>

namespace {
const QString kCorpus = QStringLiteral(REELWICK_CORPUS_DIR);
}

class FlashControlTest : public QObject {
    Q_OBJECT
private slots:
    void readsTheHeaderOfRealMovies() {
        FlashControl c;
        // Uncompressed, version 6, 50 frames at 31 fps.
        c.Movie(kCorpus + QStringLiteral("/open-flash-db-movies/morph-rotating-square/main.swf"));
        QVERIFY(c.hasMovie());
        QCOMPARE(c.frameCount(), 50);
        QCOMPARE(c.header()->frameRate, 31.0);
        QCOMPARE(c.header()->frameSize.width(), 550 * 20);
        QVERIFY(c.isPlaying()); // starts at once

        // zlib, version 9, 104 frames at 25 fps, given as a file:// URL.
        c.Movie(QUrl::fromLocalFile(
                    kCorpus + QStringLiteral("/open-flash-db-movies/homestuck-beta-2/main.swf"))
                    .toString());
        QVERIFY(c.hasMovie());
        QCOMPARE(c.frameCount(), 104);
        QCOMPARE(c.header()->frameRate, 25.0);
        QCOMPARE(c.header()->compression, swf::Compression::Zlib);
    }

    void everyOperationOnAMovie() {
        FlashControl c;
        c.Movie(kCorpus + QStringLiteral("/jpexs-testdata/scenes/scenes.swf")); // 40 frames
        QTRY_VERIFY_WITH_TIMEOUT(c.FrameNum() > 0, 5000);                       // the clock runs it

        c.Stop();
        const int halted = c.FrameNum();
        QTest::qWait(150);
        QCOMPARE(c.FrameNum(), halted);

        c.FrameNum(-7);
        QCOMPARE(c.FrameNum(), 0);
        c.FrameNum(1000);
        QCOMPARE(c.FrameNum(), 39);
        c.FrameNum(20);
        c.Back();
        QCOMPARE(c.FrameNum(), 19);
        c.Forward();
        c.Forward();
        QCOMPARE(c.FrameNum(), 21);
        QVERIFY(!c.isPlaying());

        c.Play();
        QVERIFY(c.isPlaying());
        QTRY_VERIFY_WITH_TIMEOUT(c.FrameNum() != 21, 5000);
        c.Rewind();
        c.StopPlay();
        QCOMPARE(c.FrameNum(), 0);
        QVERIFY(!c.isPlaying());

        for (int mode : {0, 1, 2, 3, 0})
            c.ScaleMode(mode);
        QCOMPARE(c.scaleMode(), 0);
    }

    void unloadsAndRefusesCleanly() {
        FlashControl c;
        c.Movie(kCorpus + QStringLiteral("/jpexs-testdata/scenes/scenes.swf"));
        QVERIFY(c.hasMovie());
        c.Movie(QStringLiteral("http://"));
        QVERIFY(!c.hasMovie());
        QVERIFY(c.notice().isEmpty());

        // Every operation still answers on the empty control.
        c.Play();
        c.Back();
        c.Forward();
        c.FrameNum(12);
        c.Rewind();
        c.StopPlay();
        QCOMPARE(c.FrameNum(), 0);
        QVERIFY(!c.isPlaying());

        c.Movie(QString());
        QVERIFY(!c.hasMovie());
        c.Movie(QStringLiteral("/nonexistent/movie.swf"));
        QVERIFY(!c.hasMovie());
        QVERIFY(!c.notice().isEmpty());
        c.Movie(kCorpus + QStringLiteral("/jpexs-testdata/as3_harman/bin/harman_encrypted.swf"));
        QVERIFY(!c.hasMovie());
        c.Movie(kCorpus + QStringLiteral("/README.md"));
        QVERIFY(!c.hasMovie());
        QVERIFY(!c.notice().isEmpty());
    }

    void stageRectForEachScaleMode() {
        const QSizeF widget(800, 400), stage(550, 400);
        QCOMPARE(FlashControl::stageRect(widget, stage, 0), QRectF(125, 0, 550, 400));
        QCOMPARE(FlashControl::stageRect(widget, stage, 1).width(), 800.0);
        QCOMPARE(FlashControl::stageRect(widget, stage, 1).center(), QPointF(400, 200));
        QCOMPARE(FlashControl::stageRect(widget, stage, 2), QRectF(0, 0, 800, 400));
        QCOMPARE(FlashControl::stageRect(QSizeF(1000, 600), stage, 3), QRectF(225, 100, 550, 400));
        QCOMPARE(FlashControl::stageRect(widget, QSizeF(), 0), QRectF(0, 0, 800, 400));
    }
};

QTEST_MAIN(FlashControlTest)
#include "flashcontrol_test.moc"
