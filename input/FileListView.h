#pragma once

#include <QPersistentModelIndex>
#include <QTreeWidget>
#include <functional>
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

    // The main window tells the list whether it is busy (removal is refused then) and
    // applies its own pointer rule on every pointer move over the list.
    void setBusyTest(std::function<bool()> isBusy) { m_isBusy = std::move(isBusy); }
    void setWindowPointerRule(std::function<void()> rule) { m_windowPointerRule = std::move(rule); }
    // The pointer shown while a row is moved (from "drag.ico" when there is one).
    void setDragPointer(const QCursor &cursor) { m_dragPointer = cursor; }

    // Files dropped on the list; the main window decides what to do with them.
    void setDropHandler(std::function<void(const QMimeData &)> handler) { m_dropHandler = std::move(handler); }
    void setDropFilter(std::function<bool(const QMimeData &)> accepts) { m_dropFilter = std::move(accepts); }

    // Handlers, named after the events they serve.
    void ListView1_KeyDown(int key);
    void ListView1_DblClick();
    void ListView1_MouseDown();
    void ListView1_ItemClick(QTreeWidgetItem *item);
    void ListView1_MouseMove(const QPoint &viewportPos, const QPointF &screenPos);
    void ListView1_MouseUp();

    bool listMouseDown() const { return m_listMouseDown; }

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
    bool busy() const { return m_isBusy && m_isBusy(); }
    void removeSelectedRow();

    bool m_listMouseDown = false;
    QPersistentModelIndex m_dragItem;
    std::function<bool()> m_isBusy;
    std::function<void()> m_windowPointerRule;
    std::function<void(const QMimeData &)> m_dropHandler;
    std::function<bool(const QMimeData &)> m_dropFilter;
    QCursor m_dragPointer{Qt::DragMoveCursor};
};
