#pragma once

#include <QListWidget>
#include <cstddef>
#include <vector>

// The playlist box: a single-selection list of movie paths that behaves like the platform list
// box the program was designed around.
//
// - The current entry is the selected one; Qt's separate "current index" (the focus cursor) does
//   not count, so a list that merely received the focus has no current entry.
// - `entryChosen` is emitted whenever an entry becomes current: by a left click (also on the
//   entry that is already current), by the keyboard, or by `setCurrentEntry`, which emits it
//   synchronously before returning.
// - Only the left button chooses entries; every press is reported through `mouseDown`.
// - The horizontal scroll range comes only from an explicit extent in pixels; the scroll bar is
//   shown exactly when that extent exceeds the visible width.
class PlaylistBox : public QListWidget {
    Q_OBJECT
public:
    // Entry indexes are 16-bit signed numbers, so the list never holds more than this.
    static constexpr int kMaxEntries = 32767;
    // Added to each entry's text width so that the last letter is not flush with the edge.
    static constexpr int kTextMargin = 8;

    explicit PlaylistBox(QWidget* parent = nullptr);
    ~PlaylistBox() override;

    QString entryText(int row) const;

    // The first row whose whole text equals `text`, case included, searching from row `from` + 1
    // to the last row and then wrapping round to row 0 up to `from`; -1 when there is none.
    int findExact(const QString& text, int from = -1) const;

    // The selected row, or -1; and how many rows are selected (0 or 1).
    int currentEntry() const;
    int selectedCount() const;

    // Selects `row` and emits `entryChosen` before returning, even when it was already
    // selected. -1 clears the selection and emits nothing.
    void setCurrentEntry(int row);

    // Removes `row`; afterwards no row is selected, and nothing is reported as chosen.
    void removeEntry(int row);

    // Text width of one entry in the list's font (the widest line for text with line breaks),
    // plus kTextMargin. Measured once per entry text and font.
    int entryWidth(int row) const;

    int horizontalExtent() const { return m_extent; }
    void setHorizontalExtent(int pixels);

    // Every row's height in pixels, whatever its text.
    int rowHeight() const;
    // The list shows whole rows only: given `pixels`, it takes the largest height up to that
    // which holds a whole number of rows, and keeps to it as its font or scroll bar changes.
    void setHeightForWholeRows(int pixels);

signals:
    void entryChosen();
    // `pos` is in the list's own coordinates.
    void mouseDown(Qt::MouseButton button, Qt::KeyboardModifiers modifiers, QPoint pos);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void selectionChanged(const QItemSelection& selected,
                          const QItemSelection& deselected) override;
    QItemSelectionModel::SelectionFlags selectionCommand(const QModelIndex& index,
                                                         const QEvent* event) const override;
    void updateGeometries() override;
    void changeEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;

private:
    // Per row: a hash of its text, so that a search compares whole texts only on a likely
    // match, and its measured width (-1 until measured).
    struct Cached {
        std::size_t hash;
        int width;
    };
    void rowsAdded(int first, int last);
    void rowsChanged(int first, int last);
    void rowsGone(int first, int last);
    void rebuildCache();
    void applyExtent();
    void fitHeight();

    mutable std::vector<Cached> m_cache;
    int m_extent = 0;
    bool m_settingCurrent = false;
    mutable int m_rowHeight = -1; // measured on first use, again after a font or style change
    int m_askedHeight = -1;       // -1: the height is not trimmed
    bool m_fitting = false;
};

// The widest entry's width (text plus kTextMargin) in pixels; 0 for an empty list.
int ListTextWidth(const PlaylistBox& lstThis);

// Tells the list the width of its widest entry, so that it can scroll sideways to it.
void updateHorizontalExtent(PlaylistBox& list);
