#include "about/form2.h"
#include "app/form1.h"
#include "common/fonts.h"
#include "fakes/fakemoviecontrol.h"
#include "fakes/fakeopendialog.h"

#include <QAction>
#include <QLabel>
#include <QListWidget>
#include <QMenuBar>
#include <QTemporaryDir>
#include <QtTest>

// One window with a fake movie control and a playlist file in a fresh folder.
struct Fixture {
    QTemporaryDir dir;
    FakeMovieControl* control = nullptr; // made by make(), owned by the window
    std::shared_ptr<FakeOpenDialog> dialog;
    int endCalls = 0;
    std::unique_ptr<Form1> window;

    Fixture() { make(); }
    QString listPath() const { return dir.filePath(QStringLiteral("data/reelwick/play.lst")); }
    void make() {
        endCalls = 0;
        control = new FakeMovieControl;
        dialog = std::make_shared<FakeOpenDialog>();
        window = std::make_unique<Form1>(
            Form1Services{control, listPath(), [this] { ++endCalls; }, dialog});
    }
    void writeList(const QByteArray& bytes) {
        QDir().mkpath(QFileInfo(listPath()).absolutePath());
        QFile f(listPath());
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    QByteArray readList() const {
        QFile f(listPath());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    }
    QStringList entries() const {
        QStringList out;
        for (int i = 0; i < window->List1()->count(); ++i)
            out << window->List1()->item(i)->text();
        return out;
    }
};

class Form1Test : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { installFontSubstitutions(); }

    void freshStartShowsAnEmptyWindow() {
        Fixture f;
        f.window->Form_Load({});
        QCOMPARE(f.window->windowTitle(), QStringLiteral("Reelwick1.1"));
        QCOMPARE(f.window->List1()->count(), 0);
        QCOMPARE(f.window->Label1()->text(), QStringLiteral("播放列表"));
        QVERIFY(f.control->calls.isEmpty());
        QVERIFY(!f.window->Image1()->pixmap().isNull());
        QCOMPARE(f.window->Image1()->pixmap().size(), QSize(320, 293));
        QCOMPARE(f.window->Image1()->pixmap().toImage().pixelColor(100, 100),
                 QColor(219, 186, 215));
        QVERIFY(!f.window->windowIcon().isNull());
        QVERIFY2(QFontInfo(f.window->Label1()->font()).family().contains(QStringLiteral("Serif")),
                 qPrintable(QFontInfo(f.window->Label1()->font()).family()));
        QVERIFY(!QFile::exists(f.listPath()));
    }

    void menusAreAsDesigned() {
        Fixture f;
        QStringList bar;
        for (QAction* a : f.window->menuBar()->actions())
            bar << a->text();
        QCOMPARE(bar, QStringList({"文件", "播放控制", "帮助"}));

        struct Item {
            const char *menu, *name, *caption, *key;
        };
        const Item items[] = {
            {"mnufile", "cmdopen", "打开", "Ctrl+O"},
            {"mnufile", "cmdclose", "关闭", "Ctrl+E"},
            {"mnufile", "cmdexit", "退出", "Ctrl+X"},
            {"mnubfkz", "cmdplay", "播放", "Ctrl+P"},
            {"mnubfkz", "cmdpause", "暂停", "Ctrl+Z"},
            {"mnubfkz", "cmdpreframe", "上一帧", "Ctrl+U"},
            {"mnubfkz", "cmdnextframe", "下一帧", "Ctrl+D"},
            {"mnubfkz", "cmdfastgo", "快进", "Ctrl+G"},
            {"mnubfkz", "cmdfastback", "快退", "Ctrl+B"},
            {"mnubfkz", "cmdstop", "停止", "Ctrl+T"},
            {"mnubfkz", "mnudisplay", "保持原来比例", "Ctrl+L"},
            {"mnubfkz", "mnuquanping", "全屏播放", "Ctrl+F"},
            {"mnuhelp", "cmdabout", "关于本软件", "Ctrl+H"},
            {"lstmnu", "sc", "删除本条目", "Del"},
        };
        QMap<QString, QStringList> order;
        for (const Item& it : items) {
            auto* menu = f.window->findChild<QMenu*>(QLatin1String(it.menu));
            QVERIFY(menu);
            QAction* a = f.window->action(it.name);
            QVERIFY2(a, it.name);
            QVERIFY(menu->actions().contains(a));
            QCOMPARE(a->text(), QString::fromUtf8(it.caption));
            QCOMPARE(a->shortcut(), QKeySequence(QString::fromUtf8(it.key)));
            QVERIFY(a->isEnabled());
            QVERIFY(!a->isChecked());
            QVERIFY(!a->isSeparator());
            order[it.menu] << a->objectName();
        }
        for (auto it = order.begin(); it != order.end(); ++it) {
            QStringList actual;
            for (QAction* a : f.window->findChild<QMenu*>(it.key())->actions())
                actual << a->objectName();
            QCOMPARE(actual, it.value());
        }
        QVERIFY(f.window->action("mnudisplay")->isCheckable());
        QVERIFY(f.window->action("mnuquanping")->isCheckable());
        QCOMPARE(f.window->lstmnu()->title(), QStringLiteral("修改"));
        QVERIFY(!f.window->menuBar()->actions().contains(f.window->lstmnu()->menuAction()));
    }

    void controlsStartWhereDesigned() {
        Fixture f;
        QCOMPARE(f.window->clientScale().twipsPerPixel(), 15.0); // 96 dpi on this platform
        QCOMPARE(f.window->centralWidget()->size(), QSize(876, 482));
        auto twips = [&](QWidget* w) { return f.window->controlRect(w); };
        QCOMPARE(twips(f.window->Image1()), QRectF(0, 0, 2805, 7260));
        QCOMPARE(twips(f.window->Label1()), QRectF(240, 120, 840, 210));
        // The list's height is trimmed to whole rows.
        const QRectF list = twips(f.window->List1());
        QCOMPARE(list.topLeft(), QPointF(60, 420));
        QCOMPARE(list.width(), 2670.0);
        QVERIFY(list.height() <= 6720 &&
                list.height() > 6720 - 15 * f.window->List1()->rowHeight());
        QCOMPARE(twips(f.control), QRectF(2880, 0, 10335, 7260));
        QCOMPARE(f.window->List1()->selectionMode(), QAbstractItemView::SingleSelection);
        QVERIFY(!f.window->List1()->isSortingEnabled());

        // Stacking, bottom to top: picture, heading, list, movie.
        const auto children = f.window->centralWidget()->children();
        QList<QObject*> widgets;
        for (QObject* c : children)
            if (c->isWidgetType())
                widgets << c;
        QCOMPARE(widgets, (QList<QObject*>{f.window->Image1(), f.window->Label1(),
                                           f.window->List1(), f.control}));
        QCOMPARE(f.window->Image1()->focusPolicy(), Qt::NoFocus);
        QCOMPARE(f.window->Label1()->focusPolicy(), Qt::NoFocus);

        f.window->show();
        QVERIFY(QTest::qWaitForWindowActive(f.window.get()));
        QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget*>(f.window->List1()));
        QTest::keyClick(f.window->List1(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(f.control));
    }

    void shortcutsReachTheirHandlers() {
        Fixture f;
        f.window->Form_Load({QStringLiteral("/m/a.swf")});
        f.window->show();
        QVERIFY(QTest::qWaitForWindowActive(f.window.get()));
        f.control->calls.clear();
        for (const char* key :
             {"Ctrl+P", "Ctrl+Z", "Ctrl+U", "Ctrl+D", "Ctrl+T", "Ctrl+L", "Ctrl+E"})
            QTest::keySequence(f.window.get(), QKeySequence(QString::fromLatin1(key)));
        QCOMPARE(f.control->calls, QStringList({"Play", "Stop", "Back", "Forward", "Rewind",
                                                "StopPlay", "ScaleMode(0)", "Movie(http://)"}));
        QVERIFY(f.window->action("mnudisplay")->isChecked());

        QTest::keySequence(f.window.get(), QKeySequence(QStringLiteral("Ctrl+H")));
        QVERIFY(f.window->aboutWindow());
        QVERIFY(f.window->aboutWindow()->isVisible());
        delete f.window->aboutWindow();

        QTest::keySequence(f.window.get(), QKeySequence(QStringLiteral("Ctrl+X")));
        QCOMPARE(f.endCalls, 1);
    }

    void playbackCommandsCallTheControl() {
        Fixture f;
        f.control->frame = 3;
        f.window->action("cmdfastback")->trigger();
        QCOMPARE(f.control->calls, QStringList({"FrameNum", "FrameNum(-7)"}));
        f.control->calls.clear();
        f.control->frame = 95;
        f.window->action("cmdfastgo")->trigger();
        QCOMPARE(f.control->calls, QStringList({"FrameNum", "FrameNum(105)"}));
        f.control->calls.clear();
        f.control->frame = INT_MAX - 3;
        f.window->action("cmdfastgo")->trigger(); // no overflow trap: 32-bit wrap-around
        QCOMPARE(f.control->calls.last(), QStringLiteral("FrameNum(%1)").arg(INT_MIN + 6));

        // Keep proportions: set (0, as it already was), cleared (2, stretched), set (0).
        f.control->calls.clear();
        QAction* keep = f.window->action("mnudisplay");
        keep->trigger();
        QVERIFY(keep->isChecked());
        keep->trigger();
        QVERIFY(!keep->isChecked());
        keep->trigger();
        QVERIFY(keep->isChecked());
        QCOMPARE(f.control->calls, QStringList({"ScaleMode(0)", "ScaleMode(2)", "ScaleMode(0)"}));

        f.control->calls.clear();
        f.window->setWindowTitle(QStringLiteral("/m/a.swf - Reelwick1.1"));
        f.window->List1()->addItem(QStringLiteral("/m/a.swf"));
        f.window->action("cmdclose")->trigger();
        f.window->action("cmdplay")->trigger();
        QCOMPARE(f.control->calls, QStringList({"Movie(http://)", "Play"}));
        QCOMPARE(f.window->windowTitle(), QStringLiteral("/m/a.swf - Reelwick1.1"));
        QCOMPARE(f.window->List1()->count(), 1);
    }

    void startUpReadsTheListThenTheCommandLine() {
        Fixture f;
        f.writeList("/m/one.swf\r\n\r\n/m/two, \"quoted\".swf");
        f.window->Form_Load({QStringLiteral("/m/two, \"quoted\".swf"), QStringLiteral("/m/x.swf")});
        QCOMPARE(f.entries(), QStringList({"/m/one.swf", "", "/m/two, \"quoted\".swf",
                                           "/m/two, \"quoted\".swf", "/m/x.swf"}));
        QCOMPARE(f.window->List1()->selectedItems().size(), 0);
        // Measured once everything is in, the command line's entries included.
        QVERIFY(f.window->List1()->horizontalExtent() > 0);
        QCOMPARE(f.window->List1()->horizontalExtent(), ListTextWidth(*f.window->List1()));
        QCOMPARE(f.control->calls, QStringList({"Movie(/m/two, \"quoted\".swf)"}));
        QCOMPARE(f.window->windowTitle(), QStringLiteral("/m/two, \"quoted\".swf - Reelwick1.1"));
        const auto g = f.window->startupGeometry();
        QCOMPARE(g.left, 0.0f);
        QCOMPARE(g.top, 0.0f);
        QCOMPARE(g.width, float(f.window->frameGeometry().width() * 15));
        QCOMPARE(g.height, float(f.window->frameGeometry().height() * 15));
    }

    void shutdownWritesTheList() {
        Fixture f;
        f.window->Form_Load(
            {QStringLiteral("/m/a.swf"), QStringLiteral("/m/b.swf"), QStringLiteral("/m/c.swf")});
        f.window->close();
        QCOMPARE(f.endCalls, 1);
        QCOMPARE(f.readList(), QByteArray("/m/a.swf\r\n/m/b.swf\r\n/m/c.swf\r\n"));

        // Next run: the user removed everything; the empty list is kept too.
        f.make();
        f.window->Form_Load({});
        QCOMPARE(f.window->List1()->count(), 3);
        f.window->List1()->clear();
        f.window->close();
        QCOMPARE(f.readList(), QByteArray());

        // Exit by the menu keeps changes just as the close box does.
        f.make();
        f.window->Form_Load({QStringLiteral("/m/z.swf")});
        f.window->action("cmdexit")->trigger();
        QCOMPARE(f.endCalls, 1);
        QCOMPARE(f.readList(), QByteArray("/m/z.swf\r\n"));
    }

    // Whatever the list holds at shutdown, a file that could not be read is left alone.
    void unreadableListIsNotOverwritten() {
        Fixture f;
        QVERIFY(QDir().mkpath(f.listPath())); // a folder where the file should be
        f.window->Form_Load({QStringLiteral("/m/a.swf")});
        f.window->close();
        QCOMPARE(f.endCalls, 1);
        QVERIFY(QFileInfo(f.listPath()).isDir());

        // A link that leads nowhere but to itself cannot be read, even by root.
        QVERIFY(QDir().rmdir(f.listPath()));
        QVERIFY(QFile::link(f.listPath(), f.listPath()));
        f.make();
        f.window->Form_Load({QStringLiteral("/m/new.swf")});
        QCOMPARE(f.entries(), QStringList({"/m/new.swf"}));
        f.window->close();
        QVERIFY(QFileInfo(f.listPath()).isSymLink());
        QCOMPARE(QFileInfo(f.listPath()).symLinkTarget(), f.listPath());
    }

    // The list shows as many entries as Open can reach; the rest go back into the file.
    void overlongListKeepsItsTail() {
        Fixture f;
        QByteArray bytes;
        const int total = PlaylistBox::kMaxEntries + 3;
        for (int i = 0; i < total; ++i)
            bytes += "/m/" + QByteArray::number(i) + ".swf\r\n";
        f.writeList(bytes);
        f.window->Form_Load({QStringLiteral("/m/cli.swf")});
        QCOMPARE(f.window->List1()->count(), PlaylistBox::kMaxEntries);
        QCOMPARE(f.window->List1()->entryText(PlaylistBox::kMaxEntries - 1),
                 QStringLiteral("/m/%1.swf").arg(PlaylistBox::kMaxEntries - 1));
        QCOMPARE(f.control->moviesLoaded(), QStringList({"/m/cli.swf"}));

        // The user removes the first entry: it is gone, everything else comes back in order.
        f.window->List1()->setCurrentEntry(0);
        f.window->lstmnu()->actions().first()->trigger();
        f.window->close();
        QCOMPARE(f.readList(), bytes.mid(bytes.indexOf("\r\n") + 2));
    }

    void commandLinePathWithLineBreakIsNotListed() {
        Fixture f;
        f.window->Form_Load({QStringLiteral("/m/two\nlines.swf"), QStringLiteral("/m/b.swf")});
        QCOMPARE(f.entries(), QStringList({"/m/b.swf"}));
        QCOMPARE(f.control->moviesLoaded(), QStringList({"/m/two\nlines.swf"}));
        f.window->close();
        QCOMPARE(f.readList(), QByteArray("/m/b.swf\r\n"));
    }

    void aboutWindowIsOneModelessWindow() {
        Fixture f;
        f.window->show();
        f.window->action("cmdabout")->trigger();
        QPointer<Form2> about = f.window->aboutWindow();
        QVERIFY(about);
        f.window->action("cmdabout")->trigger();
        f.window->action("cmdabout")->trigger();
        QCOMPARE(about.data(), f.window->aboutWindow());
        const auto tops = QApplication::topLevelWidgets();
        QCOMPARE(
            std::count_if(tops.begin(), tops.end(),
                          [](QWidget* w) { return qobject_cast<Form2*>(w) && w->isVisible(); }),
            1);
        QVERIFY(!about->parentWidget());
        QCOMPARE(about->windowTitle(), QStringLiteral("关于本软件"));
        QCOMPARE(about->label("Label2")->text(), QStringLiteral("Reelwick"));
        QCOMPARE(about->label("Label7")->text(), QStringLiteral("1.1"));
        QCOMPARE(about->label("Label1")->text(), QStringLiteral("软件名称："));
        QVERIFY(about->label("Label1")->font().bold());
        QVERIFY(!about->label("Label2")->font().bold());
        QCOMPARE(about->size(), QSize(297, 158));
        QCOMPARE(about->label("Image1")->pixmap().size(), QSize(400, 195));
        QCOMPARE(about->label("Image1")->geometry(), QRect(16, 40, 57, 41));

        // The main window still works while it is open.
        f.window->action("cmdplay")->trigger();
        QCOMPARE(f.control->calls.last(), QStringLiteral("Play"));

        about->close();
        QTRY_VERIFY(!about);
        f.window->action("cmdabout")->trigger();
        QVERIFY(f.window->aboutWindow());
        QCOMPARE(f.window->aboutWindow()->label("Label2")->text(), QStringLiteral("Reelwick"));

        // Closing the main window takes the About window with it.
        f.window->close();
        QTRY_VERIFY(!f.window->aboutWindow());
    }
};

QTEST_MAIN(Form1Test)
#include "form1_test.moc"
