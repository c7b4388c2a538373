#pragma once
#include <QAbstractTableModel>
#include <QColor>
#include <QFont>
#include <QPixmap>
#include <QPointer>
#include <QStringList>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QTimer>
#include <functional>
#include <vector>

#include "columnlayout.h"

class QLabel;
class TDBGridEx;
class TTableModel;

// The looks of a stored column as window types and back.
QFont ColumnQFont(const TColumnFont &font, const QFont &fallback);
TColumnFont ColumnFontOf(const QFont &font);
QColor ColumnQColor(const TColumnColor &color);
TColumnColor ColumnColorOf(const QColor &color);

// What the grid view shows: the source model's fields in the order and with the
// looks of the grid's columns. Rows are the source's rows.
class TGridColumnsModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit TGridColumnsModel(TDBGridEx *grid);
    void setSource(QAbstractItemModel *source);
    QAbstractItemModel *source() const { return m_source; }
    int sourceColumn(int column) const;
    void columnsReset(); // after the grid's columns changed

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    void titleChanged(int column);

private:
    void remap();
    TDBGridEx *m_grid;
    QPointer<QAbstractItemModel> m_source;
    std::vector<int> m_map; // grid column -> source column (-1: no such field)
    std::vector<QMetaObject::Connection> m_connections;
};

// The list grid: a table view over a model with a column set of its own, every
// second row tinted, titles that light up under the mouse and columns the user
// drags by their title.
class TDBGridEx : public QTableView {
    Q_OBJECT
public:
    explicit TDBGridEx(QWidget *parent = nullptr);
    ~TDBGridEx() override;

    // Binds the grid to a model. A TTableModel also binds the current row to the
    // table's cursor. With no columns yet, one column per visible field is made.
    void SetDataModel(QAbstractItemModel *model);
    QAbstractItemModel *DataModel() const { return m_columnsModel->source(); }
    TTableModel *TableModel() const;

    // ---- Columns ----------------------------------------------------------------
    const TColumns &Columns() const { return m_columns; }
    void SetColumns(const TColumns &columns);
    // Columns for every visible field of the model, as a grid without a design shows them.
    TColumns DefaultColumnsFor(QAbstractItemModel *model) const;
    TColumn &Column(int index) { return m_columns.at(size_t(index)); }
    int ColumnCount() const { return int(m_columns.size()); }
    int ColumnOfField(const QString &fieldName) const;
    // Repaints after a column's looks were changed through Column().
    void ColumnsChanged();
    // Moves a column to another grid position; the current column follows it.
    void MoveColumn(int from, int to);
    // The selected column (the current cell's column), -1 when none.
    int SelectedColumn() const;
    void SetSelectedColumn(int column);
    int CurrentRow() const;

    // ---- Added properties -----------------------------------------------------------
    QColor ColorOddRows() const { return m_colorOddRows; }
    void SetColorOddRows(const QColor &color);
    bool HotTrackTitles() const { return m_hotTrackTitles; }
    void SetHotTrackTitles(bool on);
    QColor HotTrackTitlesColor() const { return m_hotTrackTitlesColor; }
    void SetHotTrackTitlesColor(const QColor &color) { m_hotTrackTitlesColor = color; }
    // Row colour for a 1-based record number.
    QColor RowColor(int recNo) const;

    // ---- Events ----------------------------------------------------------------------
    // (sender, column, allowed preset true)
    std::function<void(TDBGridEx *, int, bool &)> OnHotTrackTitles;
    std::function<void(int column)> OnTitleClick;
    // Runs after a data cell was drawn the default way; the owner may paint over
    // it and draw the text again with DefaultDrawColumnCell in a rectangle of its own.
    std::function<void(QPainter *, const QRect &, int column, const QModelIndex &, bool selected)> OnDrawColumnCell;
    std::function<void()> OnDblClick;
    // Every mouse press on a title cell, before the grid handles it.
    std::function<void(Qt::MouseButton, Qt::KeyboardModifiers, int column)> OnTitleMouseDown;
    // A right-click in the data area asks this; false keeps the menu closed.
    std::function<bool()> OnPopupRequest;
    QPointer<QMenu> PopupMenu;

    // ---- Hot-tracking and drag state, for owners and tests ---------------------------
    int HotColumn() const { return m_hotColumn; }
    bool Dragging() const { return m_dragging; }
    bool DragMoved() const { return m_dragMoved; }
    const QTimer &ScrollTimer() const { return m_scrollTimer; }
    // One tick of the drag's scroll timer.
    void ScrollTimerTick();
    QLabel *DragImageLabel() const { return m_dragImage; }
    // The first column whose left edge is in view (the first scrollable visible column).
    int LeftColumn() const;

    // The grid's own drawing of a data cell (background, text) into the rectangle.
    void DefaultDrawColumnCell(QPainter *painter, const QRect &rect, const QModelIndex &index, bool selected);

    // Draws one title cell the way the drag image shows it.
    virtual void DrawTitleCell(QPainter &painter, const QRect &rect, int column, bool fixedState);
    // The picture of a column's title that follows the mouse during a drag.
    virtual QPixmap RenderDragImage(int column);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void currentChanged(const QModelIndex &current, const QModelIndex &previous) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;

private:
    friend class TGridColumnsModel;
    void applyLayout();
    void syncFromTable();
    bool titleMouseMove(QMouseEvent *event);
    bool titlePress(QMouseEvent *event);
    bool titleRelease(QMouseEvent *event);
    void endHotTracking();
    bool onResizeBoundary(int x) const;
    int titleColumnAt(int viewportX) const;
    void startDragImage();
    void dragOver(const QPoint &headerPos);
    void drop(const QPoint &headerPos);
    void endDrag();

    TGridColumnsModel *m_columnsModel;
    TColumns m_columns;
    QMetaObject::Connection m_tableCurrent;
    bool m_syncing = false;

    QColor m_colorOddRows{255, 248, 248};
    bool m_hotTrackTitles = false;
    QColor m_hotTrackTitlesColor{0, 0, 128};
    int m_hotColumn = -1;
    TColumnColor m_hotSavedColor;
    QCursor m_loadedCursor;
    bool m_loadedCursorSet = false;

    bool m_pressed = false;   // a title press that may become a drag
    bool m_dragging = false;  // the drag image is out
    bool m_dragMoved = false; // the mouse moved over the grid during the drag
    QPoint m_pressPos;
    int m_dragColumn = -1;
    int m_dragOffset = 0;
    QPoint m_lastDragPos;
    QLabel *m_dragImage = nullptr;
    QTimer m_scrollTimer;
};

// Paints the tint and the owner's cell drawing.
class TGridDelegate : public QStyledItemDelegate {
public:
    explicit TGridDelegate(TDBGridEx *grid);
    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    void paintDefault(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index,
                      bool selected) const;

private:
    TDBGridEx *m_grid;
};
