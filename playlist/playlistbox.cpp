#include "playlist/playlistbox.h"

#include <QFontMetrics>
#include <QHash>
#include <QMouseEvent>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QStyledItemDelegate>
#include <algorithm>

namespace {

// The widest line: a line break inside an entry starts a new line when drawn.
int measureText(const QFontMetrics& fm, const QString& text) {
    if (!text.contains(QLatin1Char('\n')) && !text.contains(QLatin1Char('\r')))
        return fm.horizontalAdvance(text);
    int widest = 0;
    qsizetype start = 0;
    for (qsizetype i = 0; i <= text.size(); ++i) {
        if (i == text.size() || text[i] == QLatin1Char('\n') || text[i] == QLatin1Char('\r')) {
            widest = std::max(widest, fm.horizontalAdvance(text.mid(start, i - start)));
            start = i + 1;
        }
    }
    return widest;
}

// Every row is as wide as the extent: the view then scrolls exactly as far as the extent
// reaches, and paints each text up to it. Rows share one height, so a long list lays out
// without measuring each entry, and a whole number of them fills the trimmed height.
class ExtentDelegate : public QStyledItemDelegate {
public:
    explicit ExtentDelegate(PlaylistBox& box) : QStyledItemDelegate(&box), m_box(box) {}
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        (void)option;
        (void)index;
        return {m_box.horizontalExtent(), m_box.rowHeight()};
    }

private:
    const PlaylistBox& m_box;
};

} // namespace

PlaylistBox::PlaylistBox(QWidget* parent) : QListWidget(parent) {
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSortingEnabled(false);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setUniformItemSizes(true);
    // The right button opens the window's own menu (`mouseDown`); nothing else may.
    setContextMenuPolicy(Qt::PreventContextMenu);
    setItemDelegate(new ExtentDelegate(*this));

    QAbstractItemModel* m = model();
    connect(m, &QAbstractItemModel::rowsInserted, this,
            [this](const QModelIndex&, int first, int last) { rowsAdded(first, last); });
    connect(m, &QAbstractItemModel::rowsRemoved, this,
            [this](const QModelIndex&, int first, int last) { rowsGone(first, last); });
    connect(
        m, &QAbstractItemModel::dataChanged, this,
        [this](const QModelIndex& tl, const QModelIndex& br) { rowsChanged(tl.row(), br.row()); });
    connect(m, &QAbstractItemModel::modelReset, this, &PlaylistBox::rebuildCache);
    connect(m, &QAbstractItemModel::layoutChanged, this, &PlaylistBox::rebuildCache);
    connect(m, &QAbstractItemModel::rowsMoved, this, &PlaylistBox::rebuildCache);
    rebuildCache();
}

PlaylistBox::~PlaylistBox() {
    // The list's model outlives this part of the object and reports its rows going away.
    disconnect(model(), nullptr, this, nullptr);
}

QString PlaylistBox::entryText(int row) const {
    const QListWidgetItem* it = item(row);
    return it ? it->text() : QString();
}

int PlaylistBox::findExact(const QString& text, int from) const {
    const int n = int(m_cache.size());
    const std::size_t h = qHash(text);
    auto matches = [&](int row) { return m_cache[row].hash == h && item(row)->text() == text; };
    for (int row = std::max(from + 1, 0); row < n; ++row)
        if (matches(row))
            return row;
    for (int row = 0; row <= from && row < n; ++row)
        if (matches(row))
            return row;
    return -1;
}

int PlaylistBox::currentEntry() const {
    const QModelIndexList rows = selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.first().row();
}

int PlaylistBox::selectedCount() const {
    return int(selectionModel()->selectedRows().size());
}

void PlaylistBox::setCurrentEntry(int row) {
    const QModelIndex index = model()->index(row, 0);
    m_settingCurrent = true;
    if (index.isValid())
        selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
    else
        selectionModel()->clear();
    m_settingCurrent = false;
    if (index.isValid())
        emit entryChosen();
}

void PlaylistBox::removeEntry(int row) {
    // Qt would otherwise select a neighbour of the removed row and report it as chosen.
    m_settingCurrent = true;
    delete takeItem(row);
    selectionModel()->clear();
    m_settingCurrent = false;
}

int PlaylistBox::entryWidth(int row) const {
    Cached& c = m_cache.at(std::size_t(row));
    if (c.width < 0)
        c.width = measureText(fontMetrics(), item(row)->text()) + kTextMargin;
    return c.width;
}

void PlaylistBox::setHorizontalExtent(int pixels) {
    m_extent = std::max(pixels, 0);
    scheduleDelayedItemsLayout();
    applyExtent();
}

int PlaylistBox::rowHeight() const {
    if (m_rowHeight < 0) {
        // As the style measures an item's text: Latin and Chinese together, so that a row is
        // high enough for either.
        QStyleOptionViewItem option;
        initViewItemOption(&option);
        option.text = QStringLiteral("Xg播");
        option.features |= QStyleOptionViewItem::HasDisplay;
        m_rowHeight = std::max(
            1, style()->sizeFromContents(QStyle::CT_ItemViewItem, &option, QSize(), this).height());
    }
    return m_rowHeight;
}

void PlaylistBox::setHeightForWholeRows(int pixels) {
    m_askedHeight = std::max(pixels, 0);
    fitHeight();
}

void PlaylistBox::fitHeight() {
    if (m_askedHeight < 0 || m_fitting)
        return;
    // What the rows do not get: the frame, and the horizontal scroll bar while it shows.
    const QScrollBar* bar = horizontalScrollBar();
    const int chrome = 2 * frameWidth() + (bar->isVisibleTo(this) ? bar->sizeHint().height() : 0);
    const int rows = std::max(0, (m_askedHeight - chrome) / rowHeight());
    const int h = rows > 0 ? chrome + rows * rowHeight() : std::min(m_askedHeight, chrome);
    if (h != height()) {
        m_fitting = true;
        resize(width(), h);
        m_fitting = false;
    }
}

void PlaylistBox::resizeEvent(QResizeEvent* event) {
    QListWidget::resizeEvent(event);
    fitHeight();
}

void PlaylistBox::applyExtent() {
    const int visible = viewport()->width();
    QScrollBar* bar = horizontalScrollBar();
    bar->setPageStep(visible);
    bar->setRange(0, std::max(0, m_extent - visible));
}

void PlaylistBox::updateGeometries() {
    // The extent alone decides how far the list scrolls sideways. The view's own range for its
    // contents must not even flicker through the scroll bar: the area would show and hide the
    // bar for it, lay itself out again, and come back here without end.
    QScrollBar* bar = horizontalScrollBar();
    const int min = bar->minimum();
    const int max = bar->maximum();
    const int value = bar->value();
    {
        const QSignalBlocker quiet(bar);
        QListWidget::updateGeometries();
        bar->setRange(min, max);
        bar->setValue(value);
    }
    applyExtent();
    // The scroll bar may have come or gone, taking room from the rows or giving it back.
    fitHeight();
}

void PlaylistBox::mousePressEvent(QMouseEvent* event) {
    const QPoint pos = event->position().toPoint(); // in the viewport
    if (event->button() == Qt::LeftButton) {
        const int before = currentEntry();
        QListWidget::mousePressEvent(event);
        // A click on the entry that is already current chooses it again (after Close, that
        // is how the user reloads it); a click on another entry was reported on its change.
        const QModelIndex under = indexAt(pos);
        if (under.isValid() && before == under.row() && currentEntry() == before)
            emit entryChosen();
    } else {
        event->accept(); // the other buttons never change the current entry
    }
    emit mouseDown(event->button(), event->modifiers(), viewport()->mapTo(this, pos));
}

void PlaylistBox::mouseMoveEvent(QMouseEvent* event) {
    if (event->buttons() & ~Qt::LeftButton) {
        event->accept();
        return;
    }
    QListWidget::mouseMoveEvent(event);
}

void PlaylistBox::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        event->accept();
        return;
    }
    QListWidget::mouseReleaseEvent(event);
}

void PlaylistBox::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        event->accept();
        return;
    }
    QListWidget::mouseDoubleClickEvent(event);
}

void PlaylistBox::selectionChanged(const QItemSelection& selected,
                                   const QItemSelection& deselected) {
    QListWidget::selectionChanged(selected, deselected);
    if (!m_settingCurrent && !selected.isEmpty())
        emit entryChosen();
}

QItemSelectionModel::SelectionFlags PlaylistBox::selectionCommand(const QModelIndex& index,
                                                                  const QEvent* event) const {
    const auto command = QListWidget::selectionCommand(index, event);
    // Like the platform's single-selection list, the user cannot leave it with no entry chosen.
    if (command & (QItemSelectionModel::Deselect | QItemSelectionModel::Toggle))
        return QItemSelectionModel::NoUpdate;
    return command;
}

void PlaylistBox::changeEvent(QEvent* event) {
    if (event->type() == QEvent::FontChange)
        for (Cached& c : m_cache)
            c.width = -1;
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange)
        m_rowHeight = -1;
    QListWidget::changeEvent(event);
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange)
        fitHeight();
}

void PlaylistBox::focusInEvent(QFocusEvent* event) {
    QListWidget::focusInEvent(event);
    // Qt puts its cursor on the first row; with nothing chosen yet, the first Down should choose
    // that row rather than move past it.
    if (selectedCount() == 0)
        selectionModel()->setCurrentIndex(QModelIndex(), QItemSelectionModel::NoUpdate);
}

void PlaylistBox::rowsAdded(int first, int last) {
    std::vector<Cached> added;
    added.reserve(std::size_t(last - first + 1));
    for (int row = first; row <= last; ++row)
        added.push_back({qHash(item(row)->text()), -1});
    m_cache.insert(m_cache.begin() + first, added.begin(), added.end());
}

void PlaylistBox::rowsChanged(int first, int last) {
    for (int row = std::max(first, 0); row <= last && row < int(m_cache.size()); ++row)
        m_cache[std::size_t(row)] = {qHash(item(row)->text()), -1};
}

void PlaylistBox::rowsGone(int first, int last) {
    m_cache.erase(m_cache.begin() + first, m_cache.begin() + last + 1);
}

void PlaylistBox::rebuildCache() {
    m_cache.clear();
    if (count() > 0)
        rowsAdded(0, count() - 1);
}

int ListTextWidth(const PlaylistBox& lstThis) {
    int widest = 0;
    for (int row = 0; row < lstThis.count(); ++row)
        widest = std::max(widest, lstThis.entryWidth(row));
    return widest;
}

void updateHorizontalExtent(PlaylistBox& list) {
    list.setHorizontalExtent(ListTextWidth(list));
}
