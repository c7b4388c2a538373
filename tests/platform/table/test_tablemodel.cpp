#include <QSignalSpy>
#include <gtest/gtest.h>

#include "memtable.h"
#include "tablemodel.h"

namespace {
void fill(TMemTable &t)
{
    t.addFieldDef(QStringLiteral("ID"), TFieldType::AutoInc);
    t.addFieldDef(QStringLiteral("NAME"), TFieldType::String, 12);
    t.addFieldDef(QStringLiteral("LEN"), TFieldType::Integer);
    t.createDataSet();
    for (int i = 1; i <= 4; ++i) {
        t.insert();
        t.fieldByName(QStringLiteral("NAME")).setAsString(QStringLiteral("n%1").arg(i));
        t.fieldByName(QStringLiteral("LEN")).setAsInteger(i * 10);
        t.post();
    }
}
} // namespace

TEST(TableModel, FollowsOrderFilterAndDisplayHooks)
{
    TMemTable t;
    fill(t);
    TTableModel m(&t);
    EXPECT_EQ(m.rowCount(), 4);
    EXPECT_EQ(m.columnCount(), 3);
    t.fieldByName(QStringLiteral("NAME")).setDisplayLabel(QStringLiteral("Jméno"));
    t.fieldByName(QStringLiteral("ID")).setVisible(false);
    t.fieldByName(QStringLiteral("LEN")).setOnGetText(
        [](const TField &f, int record, bool) { return QStringLiteral("%1 s").arg(f.asLargeIntAt(record)); });
    EXPECT_EQ(m.headerData(1, Qt::Horizontal).toString(), QStringLiteral("Jméno"));
    EXPECT_EQ(m.headerData(1, Qt::Horizontal, TTableModel::FieldNameRole).toString(), QStringLiteral("NAME"));
    EXPECT_EQ(m.fieldName(2), QStringLiteral("LEN"));
    EXPECT_FALSE(m.isVisible(0));
    EXPECT_TRUE(m.isVisible(1));
    EXPECT_EQ(m.displayWidth(1), 12);
    EXPECT_EQ(m.columnOfField(QStringLiteral("len")), 2);
    EXPECT_EQ(m.data(m.index(0, 2)).toString(), QStringLiteral("10 s"));
    EXPECT_EQ(m.data(m.index(0, 2), TTableModel::ValueRole).toLongLong(), 10);

    QSignalSpy reset(&m, &QAbstractItemModel::modelReset);
    t.addIndex(QStringLiteral("LEN_ixd"), QStringLiteral("LEN"), true, true);
    t.setIndexName(QStringLiteral("LEN_ixd"));
    EXPECT_EQ(reset.count(), 1);
    EXPECT_EQ(m.data(m.index(0, 1)).toString(), QStringLiteral("n4"));
    t.setFilter(QStringLiteral("LEN<=20"));
    t.setFiltered(true);
    EXPECT_EQ(m.rowCount(), 2);
    EXPECT_EQ(m.data(m.index(1, 1)).toString(), QStringLiteral("n1"));
    EXPECT_FALSE(m.data(m.index(5, 1)).isValid());
}

TEST(TableModel, CurrentRowMapsBothWays)
{
    TMemTable t;
    fill(t);
    TTableModel m(&t);
    QSignalSpy current(&m, &TTableModel::currentRowChanged);
    t.first();
    t.next();
    EXPECT_EQ(m.currentRow(), 1);
    ASSERT_GE(current.count(), 1);
    EXPECT_EQ(current.last().at(0).toInt(), 1);
    m.setCurrentRow(3);
    EXPECT_EQ(t.fieldByName(QStringLiteral("NAME")).asString(), QStringLiteral("n4"));
    EXPECT_EQ(m.recordOfRow(3), t.currentRecord());
    // While the table's controls are disabled, the model hears nothing.
    const int before = int(current.count());
    QSignalSpy reset(&m, &QAbstractItemModel::modelReset);
    t.disableControls();
    t.first();
    t.deleteRecord();
    EXPECT_EQ(current.count(), before);
    EXPECT_EQ(reset.count(), 0);
    t.enableControls();
    EXPECT_EQ(reset.count(), 1);
    EXPECT_EQ(m.rowCount(), 3);
    t.close();
    EXPECT_EQ(m.rowCount(), 0);
    EXPECT_EQ(m.currentRow(), -1);
}

TEST(TableModel, FieldsMarkedHiddenInTheirDefinitionStartHidden)
{
    TMemTable t;
    t.addFieldDef(QStringLiteral("A"), TFieldType::Integer);
    t.addFieldDef(QStringLiteral("B"), TFieldType::Integer);
    t.fieldDefs()[1].hidden = true;
    t.createDataSet();
    TTableModel m(&t);
    EXPECT_TRUE(m.isVisible(0));
    EXPECT_FALSE(m.isVisible(1));
    EXPECT_FALSE(m.isVisible(2));
}
