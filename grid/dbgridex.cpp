#include "dbgridex.h"

#include "exception.h"
#include "tablemodel.h"

#include <QApplication>
#include <QDataStream>
#include <QHeaderView>
#include <QIODevice>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>

namespace {
constexpr int kScrollIntervalMs = 300;
constexpr int kScrollMargin = 5;
constexpr int kCellPadding = 8;
} // namespace

QFont ColumnQFont(const TColumnFont &font, const QFont &fallback)
{
    QFont result = fallback;
    if (!font.Description.isEmpty() && !result.fromString(font.Description))
        return fallback;
    return result;
}

// A font nobody set stays unset (empty text): the column then follows the grid's own font,
// also after the layout was saved and loaded again.
TColumnFont ColumnFontOf(const QFont &font) { return {font.resolveMask() == 0 ? QString() : font.toString()}; }

QColor ColumnQColor(const TColumnColor &color) { return color.Valid ? QColor::fromRgba(color.Argb) : QColor(); }

TColumnColor ColumnColorOf(const QColor &color) { return color.isValid() ? TColumnColor{true, color.rgba()} : TColumnColor{}; }

// ---- TGridColumnsModel ---------------------------------------------------------------

TGridColumnsModel::TGridColumnsModel(TDBGridEx *grid) : QAbstractTableModel(grid), m_grid(grid) {}

void TGridColumnsModel::setSource(QAbstractItemModel *source)
{
    beginResetModel();
    for (const auto &c : m_connections)
        disconnect(c);
    m_connections.clear();
    m_source = source;
    if (source) {
        auto reset = [this] {
            beginResetModel();
            remap();
            endResetModel();
        };
        m_connections = {
            connect(source, &QAbstractItemModel::modelAboutToBeReset, this, [this] { beginResetModel(); }),
            connect(source, &QAbstractItemModel::modelReset, this,
                    [this] {
                        remap();
                        endResetModel();
                    }),
            connect(source, &QAbstractItemModel::rowsAboutToBeInserted, this,
                    [this](const QModelIndex &, int first, int last) { beginInsertRows({}, first, last); }),
            connect(source, &QAbstractItemModel::rowsInserted, this, [this] { endInsertRows(); }),
            connect(source, &QAbstractItemModel::rowsAboutToBeRemoved, this,
                    [this](const QModelIndex &, int first, int last) { beginRemoveRows({}, first, last); }),
            connect(source, &QAbstractItemModel::rowsRemoved, this, [this] { endRemoveRows(); }),
            connect(source, &QAbstractItemModel::rowsMoved, this, reset),
            connect(source, &QAbstractItemModel::columnsInserted, this, reset),
            connect(source, &QAbstractItemModel::columnsRemoved, this, reset),
            connect(source, &QAbstractItemModel::columnsMoved, this, reset),
            connect(source, &QAbstractItemModel::layoutAboutToBeChanged, this, [this] { emit layoutAboutToBeChanged(); }),
            connect(source, &QAbstractItemModel::layoutChanged, this, [this] { emit layoutChanged(); }),
            connect(source, &QAbstractItemModel::dataChanged, this,
                    [this](const QModelIndex &from, const QModelIndex &to) {
                        if (columnCount() > 0)
                            emit dataChanged(index(from.row(), 0), index(to.row(), columnCount() - 1));
                    }),
        };
    }
    remap();
    endResetModel();
}

void TGridColumnsModel::remap()
{
    m_map.clear();
    for (const TColumn &c : m_grid->m_columns) {
        int found = -1;
        if (m_source && !c.FieldName.isEmpty()) {
            for (int s = 0; s < m_source->columnCount(); ++s) {
                const QVariant name = m_source->headerData(s, Qt::Horizontal, TTableModel::FieldNameRole);
                const QString fieldName = name.isValid() ? name.toString()
                                                         : m_source->headerData(s, Qt::Horizontal).toString();
                if (fieldName.compare(c.FieldName, Qt::CaseInsensitive) == 0) {
                    found = s;
                    break;
                }
            }
        }
        m_map.push_back(found);
    }
}

void TGridColumnsModel::columnsReset()
{
    beginResetModel();
    remap();
    endResetModel();
}

int TGridColumnsModel::sourceColumn(int column) const
{
    return column >= 0 && size_t(column) < m_map.size() ? m_map[size_t(column)] : -1;
}

int TGridColumnsModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() || !m_source ? 0 : m_source->rowCount();
}

int TGridColumnsModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_grid->m_columns.size());
}

QVariant TGridColumnsModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || size_t(index.column()) >= m_grid->m_columns.size())
        return {};
    const TColumn &c = m_grid->m_columns[size_t(index.column())];
    switch (role) {
    case Qt::FontRole:
        return c.Font.Description.isEmpty() ? QVariant() : QVariant(ColumnQFont(c.Font, m_grid->font()));
    case Qt::ForegroundRole:
        return c.FontColor.isValid() ? QVariant(QBrush(ColumnQColor(c.FontColor))) : QVariant();
    case Qt::BackgroundRole:
        return QBrush(m_grid->RowColor(index.row() + 1));
    case Qt::TextAlignmentRole:
        return QVariant::fromValue(c.Alignment | Qt::AlignVCenter);
    default:
        break;
    }
    const int s = sourceColumn(index.column());
    if (s < 0 || !m_source)
        return {};
    return m_source->data(m_source->index(index.row(), s), role);
}

QVariant TGridColumnsModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Vertical)
        return role == Qt::DisplayRole ? QVariant(QString()) : QVariant();
    if (section < 0 || size_t(section) >= m_grid->m_columns.size())
        return {};
    const TColumn &c = m_grid->m_columns[size_t(section)];
    switch (role) {
    case Qt::DisplayRole:
        return c.Title.Caption;
    case Qt::FontRole:
        return c.Title.Font.Description.isEmpty() ? QVariant() : QVariant(ColumnQFont(c.Title.Font, m_grid->font()));
    case Qt::ForegroundRole:
        return c.Title.FontColor.isValid() ? QVariant(QBrush(ColumnQColor(c.Title.FontColor))) : QVariant();
    case Qt::TextAlignmentRole:
        return QVariant::fromValue(c.Title.Alignment | Qt::AlignVCenter);
    default:
        return {};
    }
}

void TGridColumnsModel::titleChanged(int column) { emit headerDataChanged(Qt::Horizontal, column, column); }

// ---- TGridDelegate ---------------------------------------------------------------------

TGridDelegate::TGridDelegate(TDBGridEx *grid) : QStyledItemDelegate(grid), m_grid(grid) {}

void TGridDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    QStyleOptionViewItem opt(option);
    // A selection the grid does not own the focus for is not shown: the row keeps its tint.
    const bool selected = opt.state.testFlag(QStyle::State_Selected) && m_grid->hasFocus();
    if (!selected)
        opt.state &= ~QStyle::State_Selected;
    paintDefault(painter, opt, index, selected);
    if (m_grid->OnDrawColumnCell)
        m_grid->OnDrawColumnCell(painter, opt.rect, index.column(), index, selected);
}

void TGridDelegate::paintDefault(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index,
                                 bool selected) const
{
    QStyleOptionViewItem opt(option);
    if (!selected)
        opt.state &= ~QStyle::State_Selected;
    painter->fillRect(opt.rect, m_grid->RowColor(index.row() + 1));
    QStyledItemDelegate::paint(painter, opt, index);
}

// ---- TDBGridEx -------------------------------------------------------------------------

TDBGridEx::TDBGridEx(QWidget *parent) : QTableView(parent)
{
    m_columnsModel = new TGridColumnsModel(this);
    QTableView::setModel(m_columnsModel);
    setItemDelegate(new TGridDelegate(this));
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerItem);
    setWordWrap(false);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setFixedWidth(16);
    QHeaderView *titles = horizontalHeader();
    titles->setSectionsMovable(false); // columns are moved by our own drag
    titles->setSectionsClickable(false);  // a title click is ours as well
    titles->setHighlightSections(false);
    titles->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    titles->setSectionResizeMode(QHeaderView::Interactive);
    titles->setMouseTracking(true);
    titles->viewport()->setMouseTracking(true);
    titles->viewport()->installEventFilter(this);
    m_loadedCursorSet = titles->viewport()->testAttribute(Qt::WA_SetCursor);
    m_loadedCursor = titles->viewport()->cursor();
    connect(titles, &QHeaderView::sectionResized, this, [this](int column, int, int width) {
        if (column >= 0 && column < ColumnCount() && m_columns[size_t(column)].Visible && width > 0)
            m_columns[size_t(column)].Width = width;
    });

    m_dragImage = new QLabel(this);
    m_dragImage->setAttribute(Qt::WA_TransparentForMouseEvents);
    m_dragImage->hide();

    // A reset of the rows loses the view's current row; the table's cursor brings it back.
    // A reset also drops the header's section sizes, so the column layout goes back on.
    connect(m_columnsModel, &QAbstractItemModel::modelReset, this, [this] {
        applyLayout();
        syncFromTable();
    });

    m_scrollTimer.setInterval(kScrollIntervalMs);
    connect(&m_scrollTimer, &QTimer::timeout, this, [this] { ScrollTimerTick(); });
}

TDBGridEx::~TDBGridEx() { disconnect(m_tableCurrent); }

TTableModel *TDBGridEx::TableModel() const { return dynamic_cast<TTableModel *>(DataModel()); }

void TDBGridEx::SetDataModel(QAbstractItemModel *model)
{
    disconnect(m_tableCurrent);
    if (model && m_columns.empty())
        m_columns = DefaultColumnsFor(model);
    m_columnsModel->setSource(model);
    applyLayout();
    if (TTableModel *table = TableModel()) {
        m_tableCurrent = connect(table, &TTableModel::currentRowChanged, this, [this] { syncFromTable(); });
        syncFromTable();
    }
}

TColumns TDBGridEx::DefaultColumnsFor(QAbstractItemModel *model) const
{
    TColumns columns;
    if (!model)
        return columns;
    auto *table = dynamic_cast<TTableModel *>(model);
    // Widths are given in characters; digits are the widest common ones.
    const int charWidth = qMax(fontMetrics().horizontalAdvance(QLatin1Char('0')), 1);
    for (int s = 0; s < model->columnCount(); ++s) {
        if (table && !table->isVisible(s))
            continue;
        TColumn c;
        c.FieldName = table ? table->fieldName(s) : model->headerData(s, Qt::Horizontal).toString();
        c.Title.Caption = table ? table->displayLabel(s) : model->headerData(s, Qt::Horizontal).toString();
        c.Title.Font = ColumnFontOf(font());
        c.Font = ColumnFontOf(font());
        if (table && table->table() && s < table->table()->fieldCount())
            c.Alignment = table->table()->field(s).alignment();
        const int chars = table ? table->displayWidth(s) : 10;
        c.Width = qMax(chars, int(c.Title.Caption.size())) * charWidth + kCellPadding;
        columns.push_back(c);
    }
    return columns;
}

void TDBGridEx::SetColumns(const TColumns &columns)
{
    const int selected = SelectedColumn();
    endHotTracking();
    m_columns = columns;
    m_columnsModel->columnsReset();
    applyLayout();
    syncFromTable();
    if (selected >= 0 && selected < ColumnCount())
        SetSelectedColumn(selected);
}

int TDBGridEx::ColumnOfField(const QString &fieldName) const
{
    for (int i = 0; i < ColumnCount(); ++i)
        if (m_columns[size_t(i)].FieldName.compare(fieldName, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

void TDBGridEx::ColumnsChanged()
{
    applyLayout();
    if (ColumnCount() > 0) {
        emit m_columnsModel->headerDataChanged(Qt::Horizontal, 0, ColumnCount() - 1);
        emit m_columnsModel->dataChanged(m_columnsModel->index(0, 0),
                                         m_columnsModel->index(qMax(m_columnsModel->rowCount() - 1, 0),
                                                               ColumnCount() - 1));
    }
    viewport()->update();
    horizontalHeader()->viewport()->update();
}

void TDBGridEx::applyLayout()
{
    QHeaderView *titles = horizontalHeader();
    for (int i = 0; i < ColumnCount(); ++i) {
        const TColumn &c = m_columns[size_t(i)];
        setColumnHidden(i, !c.Visible);
        if (c.Visible)
            titles->resizeSection(i, c.Width);
    }
}

void TDBGridEx::MoveColumn(int from, int to)
{
    if (from < 0 || from >= ColumnCount() || to < 0 || to >= ColumnCount() || from == to)
        return;
    const int selected = SelectedColumn();
    const int row = CurrentRow();
    endHotTracking();
    TColumn moved = m_columns[size_t(from)];
    m_columns.erase(m_columns.begin() + from);
    m_columns.insert(m_columns.begin() + to, moved);
    m_columnsModel->columnsReset();
    applyLayout();
    // The current column stays current at its new place; another current column is kept.
    int newSelected = selected;
    if (selected == from)
        newSelected = to;
    else if (selected >= 0) {
        if (from < selected && to >= selected)
            --newSelected;
        else if (from > selected && to <= selected)
            ++newSelected;
    }
    if (row >= 0 && newSelected >= 0)
        setCurrentIndex(m_columnsModel->index(row, newSelected));
    else
        syncFromTable();
    viewport()->update();
}

int TDBGridEx::SelectedColumn() const
{
    const QModelIndex current = currentIndex();
    return current.isValid() ? current.column() : -1;
}

void TDBGridEx::SetSelectedColumn(int column)
{
    if (column < 0 || column >= ColumnCount())
        return;
    const int row = qMax(CurrentRow(), 0);
    if (row < m_columnsModel->rowCount())
        setCurrentIndex(m_columnsModel->index(row, column));
}

int TDBGridEx::CurrentRow() const
{
    const QModelIndex current = currentIndex();
    return current.isValid() ? current.row() : -1;
}

void TDBGridEx::SetColorOddRows(const QColor &color)
{
    m_colorOddRows = color;
    viewport()->update();
}

void TDBGridEx::SetHotTrackTitles(bool on)
{
    if (!on)
        endHotTracking();
    m_hotTrackTitles = on;
}

QColor TDBGridEx::RowColor(int recNo) const
{
    return recNo % 2 == 0 ? m_colorOddRows : palette().color(QPalette::Base);
}

void TDBGridEx::syncFromTable()
{
    TTableModel *table = TableModel();
    if (!table || m_syncing)
        return;
    const int row = table->currentRow();
    m_syncing = true;
    if (row < 0 || row >= m_columnsModel->rowCount()) {
        selectionModel()->clearCurrentIndex();
        clearSelection();
    } else {
        int column = SelectedColumn();
        if (column < 0 || isColumnHidden(column)) {
            column = 0;
            while (column < ColumnCount() && isColumnHidden(column))
                ++column;
        }
        if (column < ColumnCount()) {
            const QModelIndex target = m_columnsModel->index(row, column);
            selectionModel()->setCurrentIndex(target, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
            scrollTo(target);
        }
    }
    m_syncing = false;
}

void TDBGridEx::currentChanged(const QModelIndex &current, const QModelIndex &previous)
{
    QTableView::currentChanged(current, previous);
    if (m_syncing || !current.isValid())
        return;
    if (TTableModel *table = TableModel()) {
        if (table->currentRow() != current.row()) {
            m_syncing = true;
            table->setCurrentRow(current.row());
            m_syncing = false;
        }
    }
}

void TDBGridEx::mouseDoubleClickEvent(QMouseEvent *event)
{
    QTableView::mouseDoubleClickEvent(event);
    if (event->button() == Qt::LeftButton && indexAt(event->position().toPoint()).isValid() && OnDblClick)
        OnDblClick();
}

void TDBGridEx::contextMenuEvent(QContextMenuEvent *event)
{
    if (!PopupMenu)
        return;
    if (OnPopupRequest && !OnPopupRequest())
        return;
    PopupMenu->popup(event->globalPos());
}

void TDBGridEx::DefaultDrawColumnCell(QPainter *painter, const QRect &rect, const QModelIndex &index, bool selected)
{
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    option.rect = rect;
    if (selected)
        option.state |= QStyle::State_Selected;
    if (auto *delegate = dynamic_cast<TGridDelegate *>(itemDelegate())) {
        delegate->paintDefault(painter, option, index, selected);
    }
}

int TDBGridEx::LeftColumn() const
{
    const QHeaderView *titles = horizontalHeader();
    for (int visual = 0; visual < titles->count(); ++visual) {
        const int logical = titles->logicalIndex(visual);
        if (titles->isSectionHidden(logical))
            continue;
        if (titles->sectionViewportPosition(logical) >= 0)
            return logical;
    }
    return -1;
}

// ---- Titles: hot-tracking, click and drag -------------------------------------------------

bool TDBGridEx::onResizeBoundary(int x) const
{
    const QHeaderView *titles = horizontalHeader();
    const int margin = style()->pixelMetric(QStyle::PM_HeaderGripMargin, nullptr, titles);
    const int here = titles->logicalIndexAt(x);
    if (here < 0)
        return false;
    const int left = titles->sectionViewportPosition(here);
    const int right = left + titles->sectionSize(here);
    return x - left < margin || right - x <= margin;
}

int TDBGridEx::titleColumnAt(int viewportX) const { return horizontalHeader()->logicalIndexAt(viewportX); }

bool TDBGridEx::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == horizontalHeader()->viewport()) {
        switch (event->type()) {
        case QEvent::MouseMove:
            return titleMouseMove(static_cast<QMouseEvent *>(event));
        case QEvent::MouseButtonPress:
            return titlePress(static_cast<QMouseEvent *>(event));
        case QEvent::MouseButtonRelease:
            return titleRelease(static_cast<QMouseEvent *>(event));
        case QEvent::MouseButtonDblClick:
            return m_pressed || m_dragging;
        case QEvent::Leave:
            if (!m_pressed)
                endHotTracking();
            break;
        default:
            break;
        }
    }
    return QTableView::eventFilter(watched, event);
}

bool TDBGridEx::titleMouseMove(QMouseEvent *event)
{
    const QPoint pos = event->position().toPoint();
    if (m_pressed) {
        if (!m_dragging && (pos - m_pressPos).manhattanLength() >= QApplication::startDragDistance())
            startDragImage();
        if (m_dragging)
            dragOver(pos);
        return true;
    }
    if (!m_hotTrackTitles || horizontalHeader()->isHidden() || onResizeBoundary(pos.x())) {
        if (onResizeBoundary(pos.x()))
            endHotTracking();
        return false;
    }
    const int column = titleColumnAt(pos.x());
    if (column != m_hotColumn)
        endHotTracking();
    if (column >= 0 && column != m_hotColumn) {
        bool allowed = true;
        if (OnHotTrackTitles)
            OnHotTrackTitles(this, column, allowed);
        if (allowed) {
            horizontalHeader()->viewport()->setCursor(Qt::PointingHandCursor);
            m_hotColumn = column;
            TColumn &c = m_columns[size_t(column)];
            if (!c.Title.Caption.isEmpty()) {
                m_hotSavedColor = c.Title.FontColor;
                if (horizontalScrollBar()->value() == 0) {
                    c.Title.FontColor = ColumnColorOf(m_hotTrackTitlesColor);
                    m_columnsModel->titleChanged(column);
                }
            }
        }
    }
    return false;
}

void TDBGridEx::endHotTracking()
{
    if (m_hotColumn >= 0 && m_hotColumn < ColumnCount()) {
        TColumn &c = m_columns[size_t(m_hotColumn)];
        if (!c.Title.Caption.isEmpty()) {
            c.Title.FontColor = m_hotSavedColor;
            m_columnsModel->titleChanged(m_hotColumn);
        }
    }
    m_hotColumn = -1;
    // Unset rather than set to an arrow, so that the header's own resize cursor shows.
    if (m_loadedCursorSet)
        horizontalHeader()->viewport()->setCursor(m_loadedCursor);
    else
        horizontalHeader()->viewport()->unsetCursor();
}

bool TDBGridEx::titlePress(QMouseEvent *event)
{
    const QPoint pos = event->position().toPoint();
    if (OnTitleMouseDown)
        OnTitleMouseDown(event->button(), event->modifiers(), titleColumnAt(pos.x()));
    if (event->button() != Qt::LeftButton || onResizeBoundary(pos.x())
        || horizontalHeader()->sectionResizeMode(0) != QHeaderView::Interactive)
        return false; // resizing (and other buttons) stay with the header
    const int column = titleColumnAt(pos.x());
    if (column < 0)
        return false;
    setFocus(Qt::MouseFocusReason);
    m_pressed = true;
    m_dragging = false;
    m_dragMoved = false;
    m_pressPos = pos;
    m_dragColumn = column;
    m_dragOffset = pos.x() - horizontalHeader()->sectionViewportPosition(column);
    return true;
}

bool TDBGridEx::titleRelease(QMouseEvent *event)
{
    if (!m_pressed)
        return false;
    const QPoint pos = event->position().toPoint();
    const int column = m_dragColumn;
    const bool moved = m_dragMoved;
    if (m_dragging && moved)
        drop(pos);
    endDrag();
    if (!moved && event->button() == Qt::LeftButton && column >= 0 && column < ColumnCount()
        && titleColumnAt(m_pressPos.x()) == column) {
        // A press and release without moving over the grid is an ordinary title click.
        // The owner sees (and may recolour) the title's own colour, not the lit one;
        // what it leaves there is what ending the lighting puts back.
        const bool lit = m_hotColumn == column && !m_columns[size_t(column)].Title.Caption.isEmpty();
        if (lit)
            m_columns[size_t(column)].Title.FontColor = m_hotSavedColor;
        if (OnTitleClick)
            OnTitleClick(column);
        if (lit && m_hotColumn == column && column < ColumnCount()) {
            TColumn &c = m_columns[size_t(column)];
            m_hotSavedColor = c.Title.FontColor;
            if (horizontalScrollBar()->value() == 0)
                c.Title.FontColor = ColumnColorOf(m_hotTrackTitlesColor);
            m_columnsModel->titleChanged(column);
        }
    }
    return true;
}

void TDBGridEx::startDragImage()
{
    m_dragging = true;
    const QPixmap image = RenderDragImage(m_dragColumn);
    m_dragImage->setPixmap(image);
    m_dragImage->resize(image.size());
    m_dragImage->move(-image.width() - 10, 0); // starts out of sight
    m_dragImage->show();
    m_dragImage->raise();
}

void TDBGridEx::dragOver(const QPoint &headerPos)
{
    m_lastDragPos = headerPos;
    const QPoint gridPos = horizontalHeader()->viewport()->mapTo(this, headerPos);
    if (!rect().contains(gridPos)) {
        // Outside the grid nothing accepts the column.
        m_dragImage->move(-m_dragImage->width() - 10, 0);
        m_scrollTimer.stop();
        return;
    }
    m_dragMoved = true;
    const int viewportLeft = horizontalHeader()->viewport()->mapTo(this, QPoint(0, 0)).x();
    m_dragImage->move(gridPos.x() - m_dragOffset, horizontalHeader()->mapTo(this, QPoint(0, 0)).y());
    const int left = LeftColumn() >= 0 ? horizontalHeader()->sectionViewportPosition(LeftColumn()) : 0;
    if (headerPos.x() < left - kScrollMargin || gridPos.x() > viewportLeft + viewport()->width() - kScrollMargin) {
        if (!m_scrollTimer.isActive())
            m_scrollTimer.start();
    }
}

void TDBGridEx::ScrollTimerTick()
{
    const bool shown = m_dragImage->isVisible();
    m_dragImage->hide();
    const int left = LeftColumn() >= 0 ? horizontalHeader()->sectionViewportPosition(LeftColumn()) : 0;
    QScrollBar *bar = horizontalScrollBar();
    if (m_lastDragPos.x() < left - kScrollMargin)
        bar->triggerAction(QAbstractSlider::SliderSingleStepSub);
    else if (m_lastDragPos.x() > horizontalHeader()->viewport()->width() - kScrollMargin)
        bar->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    else
        m_scrollTimer.stop();
    if (shown)
        m_dragImage->show();
}

void TDBGridEx::drop(const QPoint &headerPos)
{
    QHeaderView *titles = horizontalHeader();
    int target = titles->logicalIndexAt(headerPos.x());
    if (target < 0) {
        if (headerPos.x() < 0) {
            // Over the indicator: the first data column.
            target = 0;
            while (target < ColumnCount() - 1 && isColumnHidden(target))
                ++target;
            viewport()->update();
        } else {
            // Right of all columns: the last one.
            target = ColumnCount() - 1;
        }
    }
    if (target >= 0 && target != m_dragColumn)
        MoveColumn(m_dragColumn, target);
}

void TDBGridEx::endDrag()
{
    m_dragImage->hide();
    m_dragImage->move(-m_dragImage->width() - 10, 0);
    m_scrollTimer.stop();
    m_pressed = false;
    m_dragging = false;
    m_dragMoved = false;
    m_dragColumn = -1;
}

void TDBGridEx::DrawTitleCell(QPainter &painter, const QRect &rect, int column, bool fixedState)
{
    if (column < 0 || column >= ColumnCount())
        return;
    const TColumn &c = m_columns[size_t(column)];
    const QFont saved = painter.font();
    painter.fillRect(rect, palette().color(QPalette::Button));
    QFont bold = ColumnQFont(c.Title.Font, font());
    bold.setBold(true);
    painter.setFont(bold);
    QColor textColor =
        c.Title.FontColor.isValid() ? ColumnQColor(c.Title.FontColor) : palette().color(QPalette::ButtonText);
    if (m_hotColumn == column && m_hotSavedColor.isValid())
        textColor = ColumnQColor(m_hotSavedColor);
    // A one-pixel 3D border: sunken in the pressed state, raised otherwise.
    const QColor shadow = palette().color(QPalette::Dark);
    const QColor light = palette().color(QPalette::Light);
    const QColor topLeft = fixedState ? shadow : light;
    const QColor bottomRight = fixedState ? light : shadow;
    const QRect r = rect.adjusted(0, 0, -1, -1);
    painter.setPen(topLeft);
    painter.drawLine(r.topLeft(), r.topRight());
    painter.drawLine(r.topLeft(), r.bottomLeft());
    painter.setPen(bottomRight);
    painter.drawLine(r.bottomLeft(), r.bottomRight());
    painter.drawLine(r.topRight(), r.bottomRight());
    QRect textRect = rect.adjusted(2, 1, -1, -1);
    const Qt::Alignment horizontal = c.Title.Alignment & Qt::AlignHorizontal_Mask;
    if (horizontal == Qt::AlignRight)
        textRect.adjust(0, 0, -2, 0);
    else if (!(horizontal & (Qt::AlignHCenter | Qt::AlignRight)))
        textRect.adjust(1, 0, 0, 0);
    QString caption = c.Title.Caption;
    caption.remove(QLatin1Char('&'));
    painter.setPen(textColor);
    painter.drawText(textRect, int(horizontal ? horizontal : Qt::AlignLeft) | Qt::AlignVCenter | Qt::TextSingleLine
                                   | Qt::TextExpandTabs,
                     caption);
    painter.setFont(saved);
}

QPixmap TDBGridEx::RenderDragImage(int column)
{
    const int width = qMax(horizontalHeader()->sectionSize(column), 1);
    const int height = qMax(horizontalHeader()->height(), 1);
    QPixmap image(width, height);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    DrawTitleCell(painter, QRect(0, 0, width, height), column, true);
    return image;
}
