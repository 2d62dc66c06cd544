#pragma once

#include <QPersistentModelIndex>
#include <QTreeWidget>
#include <optional>

// The file list: one row per source document, its only content the document's full
// path. Rows are appended at the end, removed one at a time (Delete, double-click) or
// all at once, and moved by dragging a row over the others.
class FileListView : public QTreeWidget {
    Q_OBJECT
public:
    explicit FileListView(QWidget *parent = nullptr);

    void AppendRow(const QString &path);
    int Count() const;
    // Text of the row at a 1-based position; nullopt when there is none.
    std::optional<QString> RowText(int position) const;
    QStringList Rows() const;
    void Clear();
    // Selects the rows from the 0-based `first` to the end, and scrolls the first of
    // them into view: rows that came from elsewhere (another start) are seen.
    void RevealRowsFrom(int first);

    // While the main window is busy, Delete and double-click remove nothing.
    void setRemovalRefused(bool refused) { m_removalRefused = refused; }
    // The pointer shown while a row is moved (from "drag.ico" when there is one).
    void setDragPointer(const QCursor &cursor) { m_dragPointer = cursor; }

    // Handlers, named after the events they serve.
    void ListView1_KeyDown(int key);
    void ListView1_DblClick();
    void ListView1_MouseDown();
    void ListView1_ItemClick(QTreeWidgetItem *item);
    void ListView1_MouseMove(const QPoint &viewportPos, const QPointF &screenPos);
    void ListView1_MouseUp();

    bool listMouseDown() const { return m_listMouseDown; }

signals:
    // The pointer moved over the list; the window applies its own pointer rule.
    void pointerMoved();
    // Local files and folders were dropped on the list, in the drag source's order.
    void filesDropped(const QStringList &paths);

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    void removeSelectedRow();

    bool m_listMouseDown = false;
    QPersistentModelIndex m_dragItem;
    bool m_removalRefused = false;
    QCursor m_dragPointer{Qt::DragMoveCursor};
};
