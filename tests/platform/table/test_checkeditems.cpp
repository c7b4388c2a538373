#include <QSignalSpy>
#include <gtest/gtest.h>

#include "checkeditems.h"

namespace {
void fiveTypes(TCheckedItems &c)
{
    const char *names[] = {"Neurčený", "Odchozí", "Příchozí", "Neuskutečněný", "Zmeškaný"};
    for (int i = 0; i < 5; ++i)
        c.AddItem(QString::fromUtf8(names[i]), i + 1);
}
} // namespace

TEST(CheckedItems, DisplayAndFilterTexts)
{
    TCheckedItems c;
    fiveTypes(c);
    EXPECT_EQ(c.DisplayText(), QStringLiteral("<Není vybráno>"));
    c.CheckAll();
    EXPECT_EQ(c.DisplayText(), QStringLiteral("<Vše>"));
    EXPECT_EQ(c.FilterText(QStringLiteral("CALLTYPE"), true), QString());
    c.SetItemChecked(0, false);
    EXPECT_EQ(c.DisplayText(), QStringLiteral("Odchozí, Příchozí, Neuskutečněný, Zmeškaný"));
    EXPECT_EQ(c.FilterText(QStringLiteral("CALLTYPE"), true),
              QStringLiteral("(CALLTYPE=2 OR CALLTYPE=3 OR CALLTYPE=4 OR CALLTYPE=5)"));
    c.SetCheckedIndexText(QStringLiteral("1;2"));
    EXPECT_EQ(c.FilterText(QStringLiteral("CALLTYPE"), true), QStringLiteral("(CALLTYPE=2 OR CALLTYPE=3)"));
    EXPECT_EQ(c.FilterText(QStringLiteral("CALLTYPE"), false), QStringLiteral("CALLTYPE IN (2,3)"));
    c.SetCheckedIndexText(QStringLiteral("4"));
    EXPECT_EQ(c.FilterText(QStringLiteral("CALLTYPE"), true), QStringLiteral("CALLTYPE=5"));
    EXPECT_EQ(c.FilterText(QStringLiteral("CALLTYPE"), false), QStringLiteral("CALLTYPE=5"));
    c.SetQuoteStyle(qsSingle);
    c.SetCheckedIndexText(QStringLiteral("0;1"));
    EXPECT_EQ(c.DisplayText(), QStringLiteral("'Neurčený', 'Odchozí'"));
    c.SetAllValue(QString());
    c.CheckAll();
    EXPECT_EQ(c.ShownText(), QStringLiteral("'Neurčený', 'Odchozí', 'Příchozí', 'Neuskutečněný', 'Zmeškaný'"));
}

TEST(CheckedItems, CheckedIndexTextRoundTripAndJunk)
{
    TCheckedItems c;
    fiveTypes(c);
    c.SetItemChecked(0, true);
    c.SetItemChecked(2, true);
    EXPECT_EQ(c.CheckedIndexText(), QStringLiteral("0;2"));
    c.CheckAll();
    c.SetCheckedIndexText(QStringLiteral("0;2"));
    EXPECT_EQ(c.CheckedIndexText(), QStringLiteral("0;2"));
    c.SetCheckedIndexText(QStringLiteral("x;9;-1;1"));
    EXPECT_EQ(c.CheckedIndexText(), QStringLiteral("1"));
    c.SetCheckedIndexText(QString()); // even without AllowNone
    EXPECT_EQ(c.CheckedCount(), 0);
    EXPECT_FALSE(c.AllowNone());
    EXPECT_FALSE(c.IsItemChecked(7));
}

TEST(CheckedItems, MenuOperationsNeverLeaveNoneWithoutAllowNone)
{
    TCheckedItems c;
    fiveTypes(c);
    QSignalSpy changed(&c, &TCheckedItems::changed);
    c.SetCheckedIndexText(QStringLiteral("0;1"));
    c.InvertChecks();
    EXPECT_EQ(c.CheckedIndexText(), QStringLiteral("2;3;4"));
    c.CheckAll();
    c.InvertChecks(); // all checked: acts as "Vybrat jeden"
    EXPECT_EQ(c.CheckedCount(), 1);
    c.SetCurrentItem(3);
    c.UncheckAll();
    EXPECT_EQ(c.CheckedIndexText(), QStringLiteral("3"));
    EXPECT_FALSE(c.ToggleByUser(3)); // the last check stays
    EXPECT_TRUE(c.IsItemChecked(3));
    EXPECT_TRUE(c.ToggleByUser(1));
    EXPECT_TRUE(c.ToggleByUser(3));
    EXPECT_EQ(c.CheckedIndexText(), QStringLiteral("1"));
    c.SetAllowNone(true);
    c.UncheckAll();
    EXPECT_EQ(c.CheckedCount(), 0);
    EXPECT_GT(changed.count(), 5);
    const int before = int(changed.count());
    c.SetItemChecked(0, false); // no change, no notification
    EXPECT_EQ(changed.count(), before);
}
