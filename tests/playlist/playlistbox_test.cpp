#include "playlist/playlistbox.h"

#include <QScrollBar>
#include <QtTest>

namespace {

int textWidth(const PlaylistBox& list, const QString& text) {
    return QFontMetrics(list.font()).horizontalAdvance(text) + 8;
}

} // namespace

class PlaylistBoxTest : public QObject {
    Q_OBJECT
private slots:
    void widestEntryPlusEight() {
        PlaylistBox list;
        list.setFont(QFont(QStringLiteral("DejaVu Sans"), 10));
        QCOMPARE(ListTextWidth(list), 0);

        const QString ascii = QStringLiteral("/home/user/movies/a-long-movie-name.swf");
        const QString chinese = QStringLiteral("/home/用户/动画/飞翔的小鸟和白云.swf");
        list.addItems({QStringLiteral("/m/a.swf"), ascii, QString()});
        QCOMPARE(ListTextWidth(list), textWidth(list, ascii));
        list.addItem(chinese);
        QCOMPARE(ListTextWidth(list), std::max(textWidth(list, ascii), textWidth(list, chinese)));
        QVERIFY(textWidth(list, chinese) >
                textWidth(list, QStringLiteral("/home/xx/xx/xxxxxxx.swf")));

        // Two entries of the widest width count once.
        PlaylistBox same;
        same.addItems({ascii, ascii});
        QCOMPARE(ListTextWidth(same), textWidth(same, ascii));
        // An empty entry still has its margin; a line break starts a new, narrower line.
        PlaylistBox empty;
        empty.addItem(QString());
        QCOMPARE(ListTextWidth(empty), 8);
        PlaylistBox lines;
        lines.addItem(ascii + QStringLiteral("\n/m/b.swf"));
        QCOMPARE(ListTextWidth(lines), textWidth(lines, ascii));
    }

    void widthsFollowTextAndFont() {
        PlaylistBox list;
        list.setFont(QFont(QStringLiteral("DejaVu Sans"), 10));
        list.addItems({QStringLiteral("/m/a.swf"), QStringLiteral("/m/b.swf")});
        const int before = ListTextWidth(list);
        list.item(1)->setText(QStringLiteral("/m/a much longer name than before.swf"));
        QCOMPARE(ListTextWidth(list),
                 textWidth(list, QStringLiteral("/m/a much longer name than before.swf")));
        list.insertItem(0, QStringLiteral("/m/an even longer name than the one after it.swf"));
        QCOMPARE(
            list.entryWidth(0),
            textWidth(list, QStringLiteral("/m/an even longer name than the one after it.swf")));
        delete list.takeItem(0);
        list.item(1)->setText(QStringLiteral("/m/b.swf"));
        QCOMPARE(ListTextWidth(list), before);

        const int small = ListTextWidth(list);
        list.setFont(QFont(QStringLiteral("DejaVu Sans"), 20));
        QVERIFY(ListTextWidth(list) > small);
        QCOMPARE(ListTextWidth(list), textWidth(list, QStringLiteral("/m/b.swf")));
    }

    // The search keeps up with every way rows come, change and go.
    void searchFollowsTheRows() {
        PlaylistBox list;
        list.addItems({"/m/a.swf", "/m/B.swf", "/m/a.swf.swf"});
        QCOMPARE(list.findExact(QStringLiteral("/m/a.swf"), 0), 0); // wraps round to entry 0
        QCOMPARE(list.findExact(QStringLiteral("/m/b.swf")), -1);
        list.insertItem(1, QStringLiteral("/m/new.swf"));
        QCOMPARE(list.findExact(QStringLiteral("/m/B.swf")), 2);
        list.item(2)->setText(QStringLiteral("/m/C.swf"));
        QCOMPARE(list.findExact(QStringLiteral("/m/B.swf")), -1);
        QCOMPARE(list.findExact(QStringLiteral("/m/C.swf")), 2);
        delete list.takeItem(0);
        QCOMPARE(list.findExact(QStringLiteral("/m/new.swf"), 0), 0);
        QCOMPARE(list.findExact(QStringLiteral("/m/a.swf.swf")), 2);
        list.clear();
        list.addItem(QStringLiteral("/m/a.swf"));
        QCOMPARE(list.findExact(QStringLiteral("/m/a.swf.swf")), -1);
        QCOMPARE(list.findExact(QStringLiteral("/m/a.swf"), 0), 0);
    }

    void choosingReportsEveryTime() {
        PlaylistBox list;
        list.addItems({"/m/a.swf", "/m/b.swf"});
        QSignalSpy chosen(&list, &PlaylistBox::entryChosen);
        QCOMPARE(list.currentEntry(), -1);
        list.setCurrentEntry(1);
        list.setCurrentEntry(1);
        QCOMPARE(chosen.count(), 2);
        QCOMPARE(list.currentEntry(), 1);
        list.setCurrentEntry(-1);
        QCOMPARE(chosen.count(), 2);
        QCOMPARE(list.selectedCount(), 0);
        // Removing the chosen row reports nothing and leaves no row chosen.
        list.setCurrentEntry(0);
        list.removeEntry(0);
        QCOMPARE(chosen.count(), 3);
        QCOMPARE(list.selectedCount(), 0);
    }

    void firstKeyAfterFocusChoosesTheFirstEntry() {
        PlaylistBox list;
        list.addItems({"/m/a.swf", "/m/b.swf"});
        list.show();
        QVERIFY(QTest::qWaitForWindowActive(&list));
        list.setFocus();
        QTRY_VERIFY(list.hasFocus());
        QSignalSpy chosen(&list, &PlaylistBox::entryChosen);
        QCOMPARE(list.currentEntry(), -1);
        QTest::keyClick(&list, Qt::Key_Down);
        QCOMPARE(list.currentEntry(), 0);
        QCOMPARE(chosen.count(), 1);
    }

    void scrollBarOnlyForTheExtent() {
        PlaylistBox list;
        list.resize(180, 200);
        list.addItem(
            QStringLiteral("/m/a path much wider than the list itself, never scrolled.swf"));
        list.show();
        QVERIFY(QTest::qWaitForWindowExposed(&list));
        QScrollBar* bar = list.horizontalScrollBar();
        // No extent: no sideways scrolling, however wide the entries.
        QTRY_VERIFY(!bar->isVisible());
        QCOMPARE(bar->maximum(), 0);

        const int visible = list.viewport()->width();
        list.setHorizontalExtent(visible);
        QCoreApplication::processEvents();
        QVERIFY(!bar->isVisible());
        list.setHorizontalExtent(visible + 1);
        QTRY_VERIFY(bar->isVisible());
        QCOMPARE(bar->maximum(), 1);

        // The extent stays as set while entries come and go and the list is resized.
        list.setHorizontalExtent(600);
        list.addItems(QStringList(40, QStringLiteral("/m/x.swf"))); // brings a vertical bar
        list.resize(200, 220);
        QTRY_VERIFY(list.verticalScrollBar()->isVisible());
        QTRY_COMPARE(bar->maximum(), 600 - list.viewport()->width());
        list.clear();
        QTRY_COMPARE(bar->maximum(), 600 - list.viewport()->width());
        QCOMPARE(list.horizontalExtent(), 600);

        // Scrolling moves the entries sideways.
        list.addItem(QStringLiteral("/m/a.swf"));
        const int left = list.visualItemRect(list.item(0)).left();
        bar->setValue(bar->maximum());
        QCOMPARE(list.visualItemRect(list.item(0)).left(), left - bar->maximum());

        list.setHorizontalExtent(0);
        QTRY_VERIFY(!bar->isVisible());
    }

    // The list shows whole rows only, at every height it is given, with and without the
    // horizontal scroll bar, and after a change of font.
    void heightHoldsWholeRows() {
        QWidget parent;
        parent.resize(400, 900);
        auto* list = new PlaylistBox(&parent);
        list->addItems(QStringList(60, QStringLiteral("/m/movie.swf")));
        list->setGeometry(4, 28, 178, 400);
        parent.show();
        QVERIFY(QTest::qWaitForWindowExposed(&parent));
        auto check = [&](int asked) {
            list->setHeightForWholeRows(asked);
            QCoreApplication::processEvents();
            const int row = list->rowHeight();
            const int rows = list->viewport()->height();
            QVERIFY2(rows % row == 0, qPrintable(QStringLiteral("asked %1: %2 pixels for rows "
                                                                "of %3")
                                                     .arg(asked)
                                                     .arg(rows)
                                                     .arg(row)));
            QVERIFY(list->height() <= asked);
            QVERIFY(list->height() > asked - row);
            QCOMPARE(list->visualItemRect(list->item(0)).height(), row);
        };
        for (int asked = 60; asked <= 820; asked += 7)
            check(asked);
        list->setHorizontalExtent(1000);
        QTRY_VERIFY(list->horizontalScrollBar()->isVisible());
        for (int asked = 60; asked <= 820; asked += 11)
            check(asked);
        QFont big = list->font();
        big.setPointSizeF(big.pointSizeF() * 1.7);
        list->setFont(big);
        check(433);

        // Too low for a single row: the list keeps what it was given.
        list->setHeightForWholeRows(1);
        QCOMPARE(list->height(), 1);
    }
};

QTEST_MAIN(PlaylistBoxTest)
#include "playlistbox_test.moc"
