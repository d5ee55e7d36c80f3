#include "fakes/fakemoviecontrol.h"
#include "fakes/fakeopendialog.h"
#include "playlist/playlistbox.h"
#include "playlist/playlistcommands.h"

#include <QTemporaryDir>
#include <QtTest>

namespace {

class FakeWindow : public PlaylistWindow {
public:
    explicit FakeWindow(const PlaylistBox& list) : m_list(list) {}
    QString caption = QStringLiteral("Reelwick1.1");
    QStringList captions;   // every caption set, in order
    QList<int> currentRows; // the list's current entry when each caption was set
    QList<QPoint> popups;
    std::function<void()> onPopup; // what the user does while the menu is open

    void setCaption(const QString& c) override {
        caption = c;
        captions << c;
        currentRows << m_list.currentEntry();
    }
    void popupListMenu(const QPoint& globalPos) override {
        popups << globalPos;
        if (onPopup)
            onPopup();
    }

private:
    const PlaylistBox& m_list;
};

QString cap(const QString& path) {
    return path + QStringLiteral(" - Reelwick1.1");
}

// A list, a fake control, a fake window and a fake dialog around one set of commands, and a
// folder to choose files in.
struct Rig {
    QTemporaryDir dir;
    PlaylistBox list;
    FakeMovieControl control;
    FakeWindow window{list};
    FakeOpenDialog dialog;
    PlaylistCommands commands{window, list, control, dialog};

    QString folder(const QString& sub = QStringLiteral("m")) {
        QDir().mkpath(dir.filePath(sub));
        return QDir(dir.filePath(sub)).absolutePath();
    }
    QString m(const QString& name) { return folder() + QLatin1Char('/') + name; }
    void add(const QStringList& entries) { list.addItems(entries); }
    QStringList entries() const {
        QStringList out;
        for (int i = 0; i < list.count(); ++i)
            out << list.item(i)->text();
        return out;
    }
    void forget() {
        control.calls.clear();
        window.captions.clear();
        window.currentRows.clear();
    }
};

} // namespace

class PlaylistCommandsTest : public QObject {
    Q_OBJECT
    QString m_startDir;

private slots:
    void init() { m_startDir = QDir::currentPath(); }
    void cleanup() { QDir::setCurrent(m_startDir); }

    // The usual forms are covered with the dialog's own result; these are the odd ones.
    void splitTakesTheFolderByItsLength() {
        const QChar nul(u'\0');
        auto trailing = GetDlgFileInfo("/q/y" + QString(nul) + "a.swf" + nul, "/m/x");
        QVERIFY(trailing);
        QCOMPARE(trailing->folder, QStringLiteral("/m/x/"));
        QCOMPARE(trailing->names, QStringList({"a.swf", ""}));
        QVERIFY(!GetDlgFileInfo(QStringLiteral("/m"), QStringLiteral("/m/x")));
    }

    void openOneFile() {
        Rig r;
        r.add({"/other/z.swf"});
        r.dialog.choose(r.folder(), {"a.swf"});
        r.commands.cmdopen_Click();
        QCOMPARE(r.entries(), QStringList({"/other/z.swf", r.m("a.swf")}));
        // Loaded by the command, then again by choosing its entry.
        QCOMPARE(r.control.calls,
                 QStringList({"Movie(" + r.m("a.swf") + ")", "Movie(" + r.m("a.swf") + ")"}));
        QCOMPARE(r.window.caption, cap(r.m("a.swf")));
        QCOMPARE(r.list.currentEntry(), 1);
        QCOMPARE(r.list.selectedCount(), 1);
        QCOMPARE(r.list.horizontalExtent(), ListTextWidth(r.list));
        QVERIFY(r.list.horizontalExtent() > 0);
    }

    void openSeveralSomeListed() {
        Rig r;
        r.dialog.choose(r.folder(), {"c.swf"});
        r.commands.cmdopen_Click();
        r.forget();

        // The second chosen file is listed: the first and third are appended, in dialog order.
        r.dialog.choose(r.folder(), {"b.swf", "c.swf", "a.swf"});
        r.commands.cmdopen_Click();
        QCOMPARE(r.entries(), QStringList({r.m("c.swf"), r.m("b.swf"), r.m("a.swf")}));
        QCOMPARE(r.list.currentEntry(), 1);
        QCOMPARE(r.window.caption, cap(r.m("b.swf")));
        QCOMPARE(r.control.moviesLoaded().last(), r.m("b.swf"));

        // The first chosen file is listed: it is loaded from its existing entry, which becomes
        // current; the others are appended.
        r.forget();
        r.dialog.choose(r.folder(), {"c.swf", "d.swf"});
        r.commands.cmdopen_Click();
        QCOMPARE(r.entries(),
                 QStringList({r.m("c.swf"), r.m("b.swf"), r.m("a.swf"), r.m("d.swf")}));
        QCOMPARE(r.list.currentEntry(), 0);
        // Found while adding (its entry made current), loaded by the command, chosen again.
        const QString c = "Movie(" + r.m("c.swf") + ")";
        QCOMPARE(r.control.calls, QStringList({c, c, c}));
        QCOMPARE(r.window.captions,
                 QStringList({cap(r.m("c.swf")), cap(r.m("c.swf")), cap(r.m("c.swf"))}));
        QCOMPARE(r.window.currentRows, QList<int>({0, 0, 0}));
    }

    void duplicatesAreWholeTextsWithCase() {
        Rig r;
        r.add({r.m("Movie.swf"), r.m("a.swf.swf")});
        r.dialog.choose(r.folder(), {"movie.swf", "a.swf"});
        r.commands.cmdopen_Click();
        // Different case, and a path that only begins a listed one, are different files.
        QCOMPARE(r.entries(),
                 QStringList({r.m("Movie.swf"), r.m("a.swf.swf"), r.m("movie.swf"), r.m("a.swf")}));
        QCOMPARE(r.list.currentEntry(), 2);
        QCOMPARE(r.control.moviesLoaded(), QStringList({r.m("movie.swf"), r.m("movie.swf")}));

        // Choosing the shorter path again finds its own entry, not the longer one.
        r.forget();
        r.dialog.choose(r.folder(), {"a.swf"});
        r.commands.cmdopen_Click();
        QCOMPARE(r.list.count(), 4);
        QCOMPARE(r.list.currentEntry(), 3);
        QCOMPARE(r.window.currentRows, QList<int>({3, 3, 3}));
        QCOMPARE(r.control.moviesLoaded(), QStringList(3, r.m("a.swf")));
    }

    void duplicateSearchRunsFromTheSecondEntry() {
        Rig r;
        // The same path twice (the command line may append a listed path again).
        r.add({r.m("a.swf"), r.m("x.swf"), r.m("a.swf")});
        r.dialog.choose(r.folder(), {"a.swf"});
        r.commands.cmdopen_Click();
        QCOMPARE(r.list.count(), 3);
        // Adding finds entry 2 (the search starts after entry 0); the command then makes the
        // first entry holding the path current.
        QCOMPARE(r.window.currentRows, QList<int>({2, 2, 0}));
        QCOMPARE(r.list.currentEntry(), 0);
    }

    void twoOpensInARowOneInTheRootFolder() {
        Rig r;
        r.dialog.choose(QStringLiteral("/"), {"a.swf", "b.swf", "c.swf"});
        r.dialog.choose(r.folder(), {"d.swf", "e.swf"});
        r.commands.cmdopen_Click();
        QCOMPARE(r.control.moviesLoaded(), QStringList(2, "/a.swf"));
        r.forget();
        r.commands.cmdopen_Click();
        QCOMPARE(r.entries(),
                 QStringList({"/a.swf", "/b.swf", "/c.swf", r.m("d.swf"), r.m("e.swf")}));
        QCOMPARE(r.control.moviesLoaded(), QStringList(2, r.m("d.swf")));
        QCOMPARE(r.window.caption, cap(r.m("d.swf")));
        QCOMPARE(r.list.currentEntry(), 3);
    }

    void cancelAndFailuresChangeNothing() {
        Rig r;
        r.add({"/x/long/enough/to/scroll/sideways/for/sure/movie.swf"});
        r.list.setCurrentEntry(0);
        r.forget();

        r.dialog.cancel();
        r.commands.cmdopen_Click();
        // A result shorter than the folder cannot be split.
        r.dialog.choices.push_back({r.folder(), QStringLiteral("/m")});
        r.commands.cmdopen_Click();
        QCOMPARE(r.dialog.runs, 2);
        QCOMPARE(r.list.count(), 1);
        QCOMPARE(r.list.currentEntry(), 0);
        QVERIFY(r.control.calls.isEmpty());
        QVERIFY(r.window.captions.isEmpty());
        QCOMPARE(r.list.horizontalExtent(), 0); // not measured either
    }

    void emptyNameIsNotAdded() {
        Rig r;
        r.dialog.choices.push_back({r.folder(), r.folder() + QChar(0) + "a.swf" + QChar(0)});
        r.commands.cmdopen_Click();
        QCOMPARE(r.entries(), QStringList({r.m("a.swf")}));
        QCOMPARE(r.list.currentEntry(), 0);
    }

    // A line-per-entry file cannot hold a line break; such a path is played but not listed.
    void pathWithLineBreakIsNotListed() {
        Rig r;
        r.dialog.choose(r.folder(), {"two\nlines.swf", "a.swf"});
        r.commands.cmdopen_Click();
        QCOMPARE(r.entries(), QStringList({r.m("a.swf")}));
        QCOMPARE(r.control.moviesLoaded().first(), r.m("two\nlines.swf"));
        QCOMPARE(r.list.currentEntry(), -1);
    }

    void failurePartWayKeepsWhatWasAdded() {
        Rig r;
        QStringList many;
        for (int i = 0; i < PlaylistBox::kMaxEntries - 2; ++i)
            many << QStringLiteral("/p/%1.swf").arg(i);
        r.add(many);
        r.dialog.choose(r.folder(), {"a.swf", "b.swf", "c.swf", "d.swf"});
        r.commands.cmdopen_Click();
        // The list is full after two: the command stops there, silently.
        QCOMPARE(r.list.count(), PlaylistBox::kMaxEntries);
        QCOMPARE(r.list.entryText(r.list.count() - 1), r.m("b.swf"));
        QVERIFY(r.control.calls.isEmpty());
        QVERIFY(r.window.captions.isEmpty());
        QCOMPARE(r.list.currentEntry(), -1);
        QCOMPARE(r.list.horizontalExtent(), 0);

        // Listed files can still be opened.
        r.dialog.choose(r.folder(), {"b.swf"});
        r.commands.cmdopen_Click();
        QCOMPARE(r.list.currentEntry(), PlaylistBox::kMaxEntries - 1);
        QCOMPARE(r.control.moviesLoaded(), QStringList(3, r.m("b.swf")));
    }

    void removingEntries() {
        struct Case {
            const char* name;
            int current;
            QStringList left;
        };
        const QStringList abcd = {"/m/a.swf", "/m/b.swf", "/m/c.swf", "/m/d.swf"};
        for (const Case& c : {Case{"first", 0, {"/m/b.swf", "/m/c.swf", "/m/d.swf"}},
                              Case{"middle", 2, {"/m/a.swf", "/m/b.swf", "/m/d.swf"}},
                              Case{"last", 3, {"/m/a.swf", "/m/b.swf", "/m/c.swf"}}}) {
            Rig r;
            r.add(abcd);
            r.list.setCurrentEntry(c.current);
            updateHorizontalExtent(r.list);
            const int extent = r.list.horizontalExtent();
            r.forget();
            r.commands.sc_Click();
            QVERIFY2(r.entries() == c.left, c.name);
            // The first remaining entry becomes current and is loaded, whichever was removed.
            QCOMPARE(r.list.currentEntry(), 0);
            QCOMPARE(r.list.selectedCount(), 1);
            QCOMPARE(r.control.calls, QStringList({"Movie(" + c.left.first() + ")"}));
            QCOMPARE(r.window.captions, QStringList({cap(c.left.first())}));
            QCOMPARE(r.list.horizontalExtent(), extent);
        }
    }

    void removingTheOnlyEntry() {
        Rig r;
        r.add({"/m/a-rather-long-name-that-sets-the-extent.swf"});
        updateHorizontalExtent(r.list);
        const int extent = r.list.horizontalExtent();
        r.list.setCurrentEntry(0);
        r.forget();
        r.commands.sc_Click();
        QCOMPARE(r.list.count(), 0);
        QCOMPARE(r.window.captions, QStringList({"Reelwick1.1"}));
        QCOMPARE(r.control.calls, QStringList({"Movie(http://)"}));
        QCOMPARE(r.list.horizontalExtent(), extent); // only start-up and Open measure
        r.forget();
        r.commands.sc_Click(); // nothing left to remove
        QVERIFY(r.control.calls.isEmpty());
        QVERIFY(r.window.captions.isEmpty());
    }

    void deleteWithoutCurrentEntryDoesNothing() {
        Rig r;
        r.add({"/m/a.swf", "/m/b.swf"});
        r.list.show();
        r.list.setFocus();
        // Qt gives the focused list a cursor row; that is not a chosen entry.
        r.list.setCurrentRow(1, QItemSelectionModel::NoUpdate);
        r.commands.sc_Click();
        r.commands.List1_ItemCheck(1);
        QCOMPARE(r.list.count(), 2);
        QVERIFY(r.control.calls.isEmpty());
        QVERIFY(r.window.captions.isEmpty());
    }

    void mouseButtons() {
        Rig r;
        r.add({"/m/a.swf", "/m/b.swf", "/m/c.swf"});
        r.list.resize(200, 200);
        r.list.show();
        QVERIFY(QTest::qWaitForWindowExposed(&r.list));
        auto at = [&](int row) { return r.list.visualItemRect(r.list.item(row)).center(); };
        QWidget* vp = r.list.viewport();

        QTest::mouseClick(vp, Qt::LeftButton, {}, at(1));
        QCOMPARE(r.list.currentEntry(), 1);
        QCOMPARE(r.control.calls, QStringList({"Movie(/m/b.swf)"}));
        QCOMPARE(r.window.caption, cap("/m/b.swf"));
        // Clicking the current entry again loads it again (how a closed movie comes back).
        QTest::mouseClick(vp, Qt::LeftButton, {}, at(1));
        QCOMPARE(r.control.calls, QStringList({"Movie(/m/b.swf)", "Movie(/m/b.swf)"}));
        // Control-click does not leave the list without a current entry.
        QTest::mouseClick(vp, Qt::LeftButton, Qt::ControlModifier, at(1));
        QCOMPARE(r.list.currentEntry(), 1);
        r.forget();

        // Middle and right presses never choose; the right one opens the menu at the pointer,
        // and its Delete removes the entry that was current, not the one under the pointer.
        QTest::mouseClick(vp, Qt::MiddleButton, {}, at(2));
        QVERIFY(r.window.popups.isEmpty());
        r.window.onPopup = [&] { r.commands.sc_Click(); };
        const QPoint third = at(2);
        QTest::mouseClick(vp, Qt::RightButton, {}, third);
        QCOMPARE(r.window.popups, QList<QPoint>({vp->mapToGlobal(third)}));
        QCOMPARE(r.entries(), QStringList({"/m/a.swf", "/m/c.swf"}));
        QCOMPARE(r.control.calls, QStringList({"Movie(/m/a.swf)"}));
        QCOMPARE(r.list.currentEntry(), 0);

        // The keyboard chooses as well.
        r.forget();
        QTest::keyClick(&r.list, Qt::Key_Down);
        QCOMPARE(r.list.currentEntry(), 1);
        QCOMPARE(r.control.calls, QStringList({"Movie(/m/c.swf)"}));
        QCOMPARE(r.window.caption, cap("/m/c.swf"));
    }
};

QTEST_MAIN(PlaylistCommandsTest)
#include "playlistcommands_test.moc"
