#include "input/FileListView.h"

#include "input/DroppedPaths.h"

#include <QDragEnterEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>

namespace {
// Screen rows above and below which a move scrolls the neighbouring row into view.
constexpr int ScrollUpBelowY = 305;
constexpr int ScrollDownFromY = 365;
} // namespace

FileListView::FileListView(QWidget *parent) : QTreeWidget(parent)
{
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setDragEnabled(false); // pressing and dragging a row moves it; no data leaves the list
    setAcceptDrops(true);
    viewport()->setAcceptDrops(true);
    setDropIndicatorShown(false);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setMouseTracking(true);
    // A path too long for the column loses its middle, so that its file name shows.
    setTextElideMode(Qt::ElideMiddle);
    header()->setStretchLastSection(false);
    setColumnCount(0);
}

void FileListView::AppendRow(const QString &path)
{
    auto *item = new QTreeWidgetItem(QStringList{path});
    addTopLevelItem(item);
}

int FileListView::Count() const
{
    return topLevelItemCount();
}

std::optional<QString> FileListView::RowText(int position) const
{
    if (position < 1 || position > Count())
        return std::nullopt;
    return topLevelItem(position - 1)->text(0);
}

QStringList FileListView::Rows() const
{
    QStringList rows;
    for (int i = 0; i < Count(); ++i)
        rows << topLevelItem(i)->text(0);
    return rows;
}

void FileListView::Clear()
{
    clear();
}

void FileListView::RevealRowsFrom(int first)
{
    if (first < 0 || first >= Count())
        return;
    const QModelIndex from = model()->index(first, 0);
    setCurrentIndex(from); // moves the keyboard's row there, and selects it alone
    selectionModel()->select(QItemSelection(from, model()->index(Count() - 1, 0)),
                             QItemSelectionModel::Select | QItemSelectionModel::Rows);
    scrollTo(from, QAbstractItemView::PositionAtTop);
}

void FileListView::removeSelectedRow()
{
    if (m_removalRefused || Count() == 0)
        return;
    const QList<QTreeWidgetItem *> selected = selectedItems();
    if (selected.isEmpty())
        return;
    delete takeTopLevelItem(indexOfTopLevelItem(selected.first()));
}

void FileListView::ListView1_KeyDown(int key)
{
    if (key == Qt::Key_Delete)
        removeSelectedRow();
}

void FileListView::ListView1_DblClick()
{
    removeSelectedRow();
}

void FileListView::ListView1_MouseDown()
{
    m_listMouseDown = true;
}

void FileListView::ListView1_ItemClick(QTreeWidgetItem *item)
{
    if (!item)
        return;
    setCurrentItem(item);
    m_dragItem = indexFromItem(item);
    setCursor(m_dragPointer);
}

void FileListView::ListView1_MouseMove(const QPoint &viewportPos, const QPointF &screenPos)
{
    emit pointerMoved();
    if (!m_listMouseDown)
        return;

    QTreeWidgetItem *hitItem = itemAt(viewportPos);
    // A dragged row that was removed, or a list that was cleared, moves nothing.
    QTreeWidgetItem *dragItem = m_dragItem.isValid() ? itemFromIndex(m_dragItem) : nullptr;
    if (!hitItem || !dragItem || hitItem->text(0) == dragItem->text(0))
        return;

    const int hitIndex = indexOfTopLevelItem(hitItem);
    const QString moved = dragItem->text(0);
    dragItem->setText(0, hitItem->text(0));
    hitItem->setText(0, moved);
    setCurrentItem(hitItem);
    m_dragItem = indexFromItem(hitItem);

    const double y = screenPos.y();
    if (y < ScrollUpBelowY) {
        if (hitIndex >= 1)
            scrollToItem(topLevelItem(hitIndex - 1));
    } else if (y >= ScrollDownFromY) {
        if (hitIndex + 1 < Count())
            scrollToItem(topLevelItem(hitIndex + 1));
    }
}

void FileListView::ListView1_MouseUp()
{
    m_listMouseDown = false;
    setCursor(Qt::ArrowCursor);
}

void FileListView::keyPressEvent(QKeyEvent *event)
{
    ListView1_KeyDown(event->key());
    if (event->key() != Qt::Key_Delete)
        QTreeWidget::keyPressEvent(event);
}

void FileListView::mousePressEvent(QMouseEvent *event)
{
    ListView1_MouseDown();
    QTreeWidget::mousePressEvent(event); // selects the row under the pointer
    // The row is picked at the press, so that it is known before the pointer reaches
    // another row.
    if (QTreeWidgetItem *item = itemAt(event->position().toPoint()))
        ListView1_ItemClick(item);
}

void FileListView::mouseMoveEvent(QMouseEvent *event)
{
    ListView1_MouseMove(event->position().toPoint(), event->globalPosition());
    if (!m_listMouseDown)
        QTreeWidget::mouseMoveEvent(event);
}

void FileListView::mouseReleaseEvent(QMouseEvent *event)
{
    QTreeWidget::mouseReleaseEvent(event);
    ListView1_MouseUp();
}

void FileListView::mouseDoubleClickEvent(QMouseEvent *event)
{
    QTreeWidget::mouseDoubleClickEvent(event);
    ListView1_DblClick();
}

// Only local files and folders are taken. A drop always answers Copy: a Move (a
// Shift-drop) would tell the file manager it may delete the files.
static bool answerAsCopy(QDropEvent *event)
{
    if (!CarriesFileList(event->mimeData())) {
        event->ignore();
        return false;
    }
    event->setDropAction(Qt::CopyAction);
    event->accept();
    return true;
}

void FileListView::dragEnterEvent(QDragEnterEvent *event)
{
    answerAsCopy(event);
}

void FileListView::dragMoveEvent(QDragMoveEvent *event)
{
    answerAsCopy(event);
}

void FileListView::dropEvent(QDropEvent *event)
{
    if (answerAsCopy(event))
        emit filesDropped(DroppedLocalPaths(event->mimeData()));
}
