// The playlist flows in the real program on a real X server: the Qt file dialog, the mouse
// and keys on the list, the context menu.
#include "app/form1.h"
#include "common/fonts.h"
#include "playback/flashcontrol.h"
#include "playlist/opendialog.h"

#include <QAction>
#include <QFileDialog>
#include <QInputMethodEvent>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QProcess>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

namespace {

// Runs `step` once `ready` gives a widget, polling from inside whatever modal loop runs.
template <typename Ready, typename Step>
void whenReady(Ready ready, Step step, int triesLeft = 100) {
    QTimer::singleShot(50, [=] {
        if (auto* w = ready())
            step(w);
        else if (triesLeft > 0)
            whenReady(ready, step, triesLeft - 1);
    });
}

template <typename T> T* activeModal() {
    auto* w = qobject_cast<T*>(QApplication::activeModalWidget());
    return w && w->isVisible() ? w : nullptr;
}

QMenu* activePopup() {
    auto* m = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    return m && m->isVisible() ? m : nullptr;
}

} // namespace

class PlaylistXvfbTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { installFontSubstitutions(); }

    void openChooseAndDeleteInTheRealWindow() {
        const QString startDir = QDir::currentPath();
        QTemporaryDir data;
        QTemporaryDir movies;
        const QString dir = QDir(movies.path()).canonicalPath();
        const QString demo = QStringLiteral(REELWICK_SOURCE_DIR "/resources/demo.swf");
        const QString longName =
            QStringLiteral("一部名字很长的动画片，长得列表里放不下，要横向滚动才能看全.swf");
        for (const QString& name : {QStringLiteral("a.swf"), QStringLiteral("b.swf"), longName})
            QVERIFY(QFile::copy(demo, dir + "/" + name));
        QVERIFY(QDir::setCurrent(dir)); // the dialog opens where the process stands

        auto* control = new FlashControl;
        // The platform's dialog, but always Qt's own so that the test can type into it.
        Form1 window(Form1Services{control, data.filePath(QStringLiteral("play.lst")), [] {},
                                   std::make_shared<QtOpenDialog>(false)});
        window.Form_Load({});
        window.show();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        PlaylistBox* list = window.List1();
        // Whatever goes wrong below, no modal loop outlives the test.
        QTimer guard;
        guard.setSingleShot(true);
        connect(&guard, &QTimer::timeout, [] {
            while (QWidget* w = QApplication::activePopupWidget())
                w->close();
            while (QWidget* w = QApplication::activeModalWidget())
                w->close();
        });
        guard.start(30000);

        // Three files typed into the dialog's file name box.
        QStringList seen;
        whenReady(activeModal<QFileDialog>, [&](QFileDialog* d) {
            seen << d->windowTitle() << d->nameFilters() << QString::number(d->fileMode())
                 << d->directory().absolutePath();
            QVERIFY(d->parentWidget() == &window);
            auto* edit = d->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
            QVERIFY(edit);
            // As a user would, wait until the folder's files are listed before typing.
            auto* files = d->findChild<QListView*>(QStringLiteral("listView"));
            QVERIFY(files);
            QTRY_COMPARE(files->model()->rowCount(files->rootIndex()), 3);
            QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget*>(edit));
            QTest::keyClicks(edit, QStringLiteral("\"b.swf\" \"a.swf\" \""));
            // Chinese arrives from an input method, committed whole (which Qt's dialog alone
            // would answer by dropping a.swf from its result).
            QInputMethodEvent commit;
            commit.setCommitString(longName);
            QApplication::sendEvent(edit, &commit);
            QTest::keyClicks(edit, QStringLiteral("\""));
            QTest::keyClick(edit, Qt::Key_Return);
        });
        QTest::keySequence(&window, QKeySequence(QStringLiteral("Ctrl+O")));
        QCOMPARE(seen, QStringList({"打开Flash动画文件", "Flash动画(*.swf)",
                                    QString::number(QFileDialog::ExistingFiles), dir}));
        QCOMPARE(QDir::currentPath(), dir);
        QDir::setCurrent(startDir);

        auto entries = [&] {
            QStringList out;
            for (int i = 0; i < list->count(); ++i)
                out << list->entryText(i);
            return out;
        };
        QCOMPARE(entries(), QStringList({dir + "/b.swf", dir + "/a.swf", dir + "/" + longName}));
        QCOMPARE(window.windowTitle(), dir + "/b.swf - Reelwick1.1");
        QVERIFY(control->hasMovie());
        QCOMPARE(list->currentEntry(), 0);
        // The long name needs the sideways scroll bar.
        QTRY_VERIFY(list->horizontalScrollBar()->isVisible());
        const int extent = list->horizontalExtent();
        QVERIFY(extent > list->viewport()->width());

        // Mouse and arrow keys choose entries.
        auto centre = [&](int row) { return list->visualItemRect(list->item(row)).center(); };
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, centre(1));
        QCOMPARE(list->currentEntry(), 1);
        QCOMPARE(window.windowTitle(), dir + "/a.swf - Reelwick1.1");
        list->setFocus();
        QTest::keyClick(list, Qt::Key_Down);
        QCOMPARE(window.windowTitle(), dir + "/" + longName + " - Reelwick1.1");
        QTest::keyClick(list, Qt::Key_Up);
        QCOMPARE(list->currentEntry(), 1);
        QCOMPARE(window.windowTitle(), dir + "/a.swf - Reelwick1.1");

        // A look at the window, with the list scrolled a little sideways.
        list->horizontalScrollBar()->setValue(40);
        QTest::qWait(300);
        const QString shot = QCoreApplication::applicationDirPath() + "/playlist-xvfb.png";
        QProcess::execute(QStringLiteral("import"), {"-window", "root", shot});
        list->horizontalScrollBar()->setValue(0);

        // The right button over the last entry opens the menu at the pointer; its item
        // removes the current entry (a.swf), and the first entry is loaded.
        QPoint menuAt;
        whenReady(activePopup, [&](QMenu* menu) {
            menuAt = menu->pos();
            QVERIFY(menu == window.lstmnu());
            QTest::mouseClick(menu, Qt::LeftButton, {},
                              menu->actionGeometry(window.action("sc")).center());
        });
        const QPoint third = centre(2);
        QTest::mouseClick(list->viewport(), Qt::RightButton, {}, third);
        QCOMPARE(menuAt, list->viewport()->mapToGlobal(third));
        QCOMPARE(entries(), QStringList({dir + "/b.swf", dir + "/" + longName}));
        QCOMPARE(list->currentEntry(), 0);
        QCOMPARE(window.windowTitle(), dir + "/b.swf - Reelwick1.1");

        // Del in the list removes the current entry too; the last removal unloads the movie.
        list->setFocus();
        QTest::keyClick(list, Qt::Key_Delete);
        QCOMPARE(entries(), QStringList({dir + "/" + longName}));
        QCOMPARE(window.windowTitle(), dir + "/" + longName + " - Reelwick1.1");
        QTest::keyClick(list, Qt::Key_Delete);
        QCOMPARE(list->count(), 0);
        QCOMPARE(window.windowTitle(), QStringLiteral("Reelwick1.1"));
        QVERIFY(!control->hasMovie());
        QCOMPARE(list->horizontalExtent(), extent); // removals do not measure
        guard.stop();
    }
};

QTEST_MAIN(PlaylistXvfbTest)
#include "playlist_xvfb_test.moc"
