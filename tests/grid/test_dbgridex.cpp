#include "dbgridex.h"

#include "exception.h"

#include <QHeaderView>
#include <QContextMenuEvent>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QScrollBar>
#include <QStandardItemModel>
#include <QTest>

#include <gtest/gtest.h>

namespace {
// A grid over a plain model with the columns A..; shown offscreen.
class GridTest : public ::testing::Test {
protected:
    void build(int columns, int rows, int width = 600)
    {
        model.setColumnCount(columns);
        model.setRowCount(rows);
        for (int c = 0; c < columns; ++c) {
            model.setHeaderData(c, Qt::Horizontal, QString(QChar('A' + c)));
            for (int r = 0; r < rows; ++r)
                model.setItem(r, c, new QStandardItem(QStringLiteral("%1%2").arg(QChar('a' + c)).arg(r + 1)));
        }
        grid.SetDataModel(&model);
        for (int c = 0; c < columns; ++c)
            grid.Column(c).Width = 80;
        grid.ColumnsChanged();
        grid.resize(width, 200);
        grid.show();
        QCoreApplication::processEvents();
    }
    QStringList order() const
    {
        QStringList names;
        for (const TColumn &c : grid.Columns())
            names << c.FieldName;
        return names;
    }
    QWidget *titles() { return grid.horizontalHeader()->viewport(); }
    QPoint titleCenter(int column)
    {
        QHeaderView *h = grid.horizontalHeader();
        return QPoint(h->sectionViewportPosition(column) + h->sectionSize(column) / 2, h->height() / 2);
    }
    QStandardItemModel model;
    TDBGridEx grid;
};
} // namespace

TEST_F(GridTest, EverySecondRecordIsTintedByPosition)
{
    build(2, 6);
    grid.SetColorOddRows(QColor(200, 230, 255));
    grid.clearSelection();
    grid.setFocus();
    const QImage image = grid.viewport()->grab().toImage();
    auto rowColor = [&](int row) {
        const QRect cell = grid.visualRect(grid.model()->index(row, 1));
        return QColor(image.pixel(cell.right() - 3, cell.center().y()));
    };
    for (int row = 0; row < 6; ++row) {
        const bool evenRecNo = (row + 1) % 2 == 0;
        if (row == grid.CurrentRow())
            continue; // the selected row is drawn as selected
        EXPECT_EQ(rowColor(row), evenRecNo ? QColor(200, 230, 255) : grid.palette().color(QPalette::Base)) << row;
    }
    // Sorting the rows leaves the tint on the positions, not on the records.
    model.sort(0, Qt::DescendingOrder);
    EXPECT_EQ(grid.model()->data(grid.model()->index(1, 0), Qt::BackgroundRole).value<QBrush>().color(),
              QColor(200, 230, 255));
    EXPECT_EQ(grid.model()->data(grid.model()->index(1, 0)).toString(), QStringLiteral("a5"));
}

TEST_F(GridTest, HotTrackingLightsTheTitleAndRestoresIt)
{
    build(3, 3);
    grid.SetHotTrackTitles(true);
    grid.Column(1).Title.FontColor = ColumnColorOf(QColor(Qt::darkGreen));
    grid.ColumnsChanged();
    QTest::mouseMove(titles(), titleCenter(1));
    EXPECT_EQ(grid.HotColumn(), 1);
    EXPECT_EQ(ColumnQColor(grid.Columns()[1].Title.FontColor), QColor(0, 0, 128));
    EXPECT_EQ(titles()->cursor().shape(), Qt::PointingHandCursor);
    EXPECT_EQ(grid.model()->headerData(1, Qt::Horizontal, Qt::ForegroundRole).value<QBrush>().color(),
              QColor(0, 0, 128));

    // To another title: the first gets its colour back.
    QTest::mouseMove(titles(), titleCenter(2));
    EXPECT_EQ(ColumnQColor(grid.Columns()[1].Title.FontColor), QColor(Qt::darkGreen));
    EXPECT_EQ(grid.HotColumn(), 2);

    // Out of the grid: the colour and the cursor come back.
    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(titles(), &leave);
    EXPECT_EQ(grid.HotColumn(), -1);
    EXPECT_FALSE(grid.Columns()[2].Title.FontColor.isValid());
    EXPECT_NE(titles()->cursor().shape(), Qt::PointingHandCursor);
    EXPECT_FALSE(titles()->testAttribute(Qt::WA_SetCursor)) << "the header's resize cursor must be able to show";

    // Over the boundary between two titles the lighting ends as well.
    QTest::mouseMove(titles(), titleCenter(0));
    EXPECT_EQ(grid.HotColumn(), 0);
    QHeaderView *h = grid.horizontalHeader();
    QTest::mouseMove(titles(), QPoint(h->sectionViewportPosition(0) + h->sectionSize(0) - 1, h->height() / 2));
    EXPECT_EQ(grid.HotColumn(), -1);
    EXPECT_FALSE(titles()->testAttribute(Qt::WA_SetCursor));
}

TEST_F(GridTest, OwnerMayRefuseHotTrackingOfAColumn)
{
    build(3, 3);
    grid.SetHotTrackTitles(true);
    grid.OnHotTrackTitles = [](TDBGridEx *, int column, bool &allowed) { allowed = column != 0; };
    QTest::mouseMove(titles(), titleCenter(0));
    EXPECT_EQ(grid.HotColumn(), -1);
    EXPECT_NE(titles()->cursor().shape(), Qt::PointingHandCursor);
    QTest::mouseMove(titles(), titleCenter(1));
    EXPECT_EQ(grid.HotColumn(), 1);
}

TEST_F(GridTest, ScrolledGridShowsTheHandButKeepsTheTitleColour)
{
    build(12, 3, 300);
    grid.SetHotTrackTitles(true);
    grid.horizontalScrollBar()->setValue(2);
    ASSERT_GT(grid.horizontalScrollBar()->value(), 0);
    const int column = grid.LeftColumn();
    QTest::mouseMove(titles(), titleCenter(column));
    EXPECT_EQ(grid.HotColumn(), column);
    EXPECT_EQ(titles()->cursor().shape(), Qt::PointingHandCursor);
    EXPECT_FALSE(grid.Columns()[size_t(column)].Title.FontColor.isValid());
}

TEST_F(GridTest, DraggingATitleMovesTheColumn)
{
    build(4, 3);
    grid.SetSelectedColumn(1);
    QTest::mousePress(titles(), Qt::LeftButton, {}, titleCenter(0));
    QTest::mouseMove(titles(), titleCenter(0) + QPoint(20, 0));
    EXPECT_TRUE(grid.Dragging());
    EXPECT_TRUE(grid.DragImageLabel()->isVisible());
    EXPECT_EQ(grid.DragImageLabel()->size(), QSize(80, grid.horizontalHeader()->height()));
    QTest::mouseMove(titles(), titleCenter(2));
    QTest::mouseRelease(titles(), Qt::LeftButton, {}, titleCenter(2));
    EXPECT_EQ(order(), (QStringList{"B", "C", "A", "D"}));
    EXPECT_FALSE(grid.Dragging());
    EXPECT_FALSE(grid.DragImageLabel()->isVisible());
    EXPECT_EQ(grid.SelectedColumn(), 0) << "the current column B keeps being current";
    EXPECT_EQ(grid.model()->data(grid.model()->index(0, 2)).toString(), QStringLiteral("a1"));

    // Dropped right of all columns: the column becomes the last one.
    const QPoint beyond(4 * 80 + 40, titleCenter(0).y());
    QTest::mousePress(titles(), Qt::LeftButton, {}, titleCenter(1));
    QTest::mouseMove(titles(), titleCenter(1) + QPoint(20, 0));
    QTest::mouseMove(titles(), beyond);
    QTest::mouseRelease(titles(), Qt::LeftButton, {}, beyond);
    EXPECT_EQ(order(), (QStringList{"B", "A", "D", "C"}));
}

TEST_F(GridTest, PressAndReleaseWithoutMovingIsATitleClick)
{
    build(3, 3);
    QList<int> clicks;
    grid.OnTitleClick = [&](int column) { clicks << column; };
    QTest::mouseClick(titles(), Qt::LeftButton, {}, titleCenter(2));
    EXPECT_EQ(clicks, QList<int>{2});
    EXPECT_EQ(order(), (QStringList{"A", "B", "C"}));
    EXPECT_TRUE(grid.hasFocus() || !grid.isActiveWindow());

    // A drag that moved is no click.
    QTest::mousePress(titles(), Qt::LeftButton, {}, titleCenter(0));
    QTest::mouseMove(titles(), titleCenter(1));
    QTest::mouseRelease(titles(), Qt::LeftButton, {}, titleCenter(1));
    EXPECT_EQ(clicks, QList<int>{2});
}

TEST_F(GridTest, PressOnTheBoundaryResizesInsteadOfDragging)
{
    build(3, 3);
    QHeaderView *h = grid.horizontalHeader();
    const QPoint boundary(h->sectionViewportPosition(0) + h->sectionSize(0) - 1, h->height() / 2);
    QList<int> clicks;
    grid.OnTitleClick = [&](int column) { clicks << column; };
    QTest::mousePress(titles(), Qt::LeftButton, {}, boundary);
    EXPECT_FALSE(grid.Dragging());
    QTest::mouseMove(titles(), boundary + QPoint(30, 0));
    QTest::mouseRelease(titles(), Qt::LeftButton, {}, boundary + QPoint(30, 0));
    EXPECT_EQ(order(), (QStringList{"A", "B", "C"}));
    EXPECT_EQ(h->sectionSize(0), 110);
    EXPECT_EQ(grid.Columns()[0].Width, 110);
    EXPECT_TRUE(clicks.isEmpty());
}

TEST_F(GridTest, HoldingADraggedTitleAtTheRightEdgeScrollsOneColumnPerTick)
{
    build(12, 3, 300);
    QHeaderView *h = grid.horizontalHeader();
    QTest::mousePress(titles(), Qt::LeftButton, {}, titleCenter(0));
    QTest::mouseMove(titles(), titleCenter(0) + QPoint(20, 0));
    const QPoint edge(h->viewport()->width() - 2, h->height() / 2);
    QTest::mouseMove(titles(), edge);
    EXPECT_TRUE(grid.ScrollTimer().isActive());
    EXPECT_EQ(grid.ScrollTimer().interval(), 300);
    const int before = grid.LeftColumn();
    grid.ScrollTimerTick();
    EXPECT_EQ(grid.LeftColumn(), before + 1);
    grid.ScrollTimerTick();
    EXPECT_EQ(grid.LeftColumn(), before + 2);
    // Back in the middle, the next tick stops the timer.
    QTest::mouseMove(titles(), QPoint(h->viewport()->width() / 2, h->height() / 2));
    grid.ScrollTimerTick();
    EXPECT_FALSE(grid.ScrollTimer().isActive());
    EXPECT_EQ(grid.LeftColumn(), before + 2);
    QTest::mouseRelease(titles(), Qt::LeftButton, {}, QPoint(h->viewport()->width() / 2, h->height() / 2));
    EXPECT_FALSE(grid.ScrollTimer().isActive());
}

TEST(GridColumns, LooksSurviveTheStoredForm)
{
    QFont bold(QStringLiteral("Liberation Sans"), 11);
    bold.setBold(true);
    TColumns columns(1);
    columns[0].Title.Font = ColumnFontOf(bold);
    columns[0].Title.FontColor = ColumnColorOf(QColor(0, 0, 128));
    const TColumns back = LoadColumns(SaveColumns(columns));
    const QFont font = ColumnQFont(back[0].Title.Font, QFont());
    EXPECT_EQ(font.family(), QStringLiteral("Liberation Sans"));
    EXPECT_EQ(font.pointSize(), 11);
    EXPECT_TRUE(font.bold());
    EXPECT_EQ(ColumnQColor(back[0].Title.FontColor), QColor(0, 0, 128));
    EXPECT_FALSE(ColumnQColor(back[0].FontColor).isValid()) << "an unset colour stays unset";
    EXPECT_EQ(back[0].Title.Font.Family(), QStringLiteral("Liberation Sans"));
}

TEST_F(GridTest, OwnerDrawsOverCellsAndReusesTheDefaultDrawing)
{
    build(2, 3);
    int drawn = 0;
    grid.OnDrawColumnCell = [&](QPainter *painter, const QRect &rect, int column, const QModelIndex &index,
                                bool selected) {
        if (column != 1)
            return;
        ++drawn;
        painter->fillRect(rect, Qt::green);
        grid.DefaultDrawColumnCell(painter, rect.adjusted(rect.height() + 7, 0, 0, 0), index, selected);
    };
    const QImage image = grid.viewport()->grab().toImage();
    EXPECT_GE(drawn, 3);
    const QRect cell = grid.visualRect(grid.model()->index(2, 1));
    EXPECT_EQ(QColor(image.pixel(cell.left() + 2, cell.center().y())), QColor(Qt::green));
    EXPECT_NE(QColor(image.pixel(cell.right() - 2, cell.center().y())), QColor(Qt::green));
}

TEST_F(GridTest, ClickOnALitTitleKeepsWhatTheOwnerLeftThere)
{
    build(3, 3);
    grid.SetHotTrackTitles(true);
    QColor seenByOwner;
    grid.OnTitleClick = [&](int column) { seenByOwner = ColumnQColor(grid.Columns()[size_t(column)].Title.FontColor); };
    QTest::mouseMove(titles(), titleCenter(1));
    QTest::mouseClick(titles(), Qt::LeftButton, {}, titleCenter(1));
    EXPECT_FALSE(seenByOwner.isValid()) << "the owner sees the title's own colour";
    EXPECT_EQ(ColumnQColor(grid.Columns()[1].Title.FontColor), QColor(0, 0, 128)) << "still lit under the mouse";
    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(titles(), &leave);
    EXPECT_FALSE(grid.Columns()[1].Title.FontColor.isValid()) << "the lit colour must not stick";

    // An owner that marks the clicked title keeps its mark after the lighting ends.
    grid.OnTitleClick = [&](int column) {
        grid.Column(column).Title.FontColor = ColumnColorOf(QColor(0, 0, 128));
        grid.ColumnsChanged();
    };
    QTest::mouseMove(titles(), titleCenter(2));
    QTest::mouseClick(titles(), Qt::LeftButton, {}, titleCenter(2));
    QCoreApplication::sendEvent(titles(), &leave);
    EXPECT_EQ(ColumnQColor(grid.Columns()[2].Title.FontColor), QColor(0, 0, 128));
}

TEST_F(GridTest, RightClickInTheDataAreaAsksTheOwnerAndOpensTheMenu)
{
    build(2, 3);
    QMenu menu;
    menu.addAction(QStringLiteral("x"));
    grid.PopupMenu = &menu;
    bool allowed = false;
    grid.OnPopupRequest = [&] { return allowed; };
    const QPoint inside = grid.visualRect(grid.model()->index(1, 0)).center();
    QContextMenuEvent refused(QContextMenuEvent::Mouse, inside, grid.viewport()->mapToGlobal(inside));
    QCoreApplication::sendEvent(grid.viewport(), &refused);
    EXPECT_FALSE(menu.isVisible());
    allowed = true;
    QContextMenuEvent opened(QContextMenuEvent::Mouse, inside, grid.viewport()->mapToGlobal(inside));
    QCoreApplication::sendEvent(grid.viewport(), &opened);
    EXPECT_TRUE(menu.isVisible());
    menu.hide();
}
