#include "CheckCombo.h"

#include <QCursor>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

namespace {
class CheckComboTest : public ::testing::Test {
protected:
    CheckComboTest()
    {
        combo.SetItems({"one", "two", "three", "four", "five"}, {1, 2, 3, 4, 5});
        combo.OnChange = [this] { ++changes; };
    }
    QString shown() const { return combo.Edit()->text(); }
    QList<Qt::CheckState> listChecks() const
    {
        QList<Qt::CheckState> states;
        QListWidget *list = combo.DropDown()->List();
        for (int i = 0; i < list->count(); ++i)
            states << list->item(i)->checkState();
        return states;
    }
    TCheckedComboBox combo;
    int changes = 0;
};
} // namespace

TEST_F(CheckComboTest, DisplayAndFilterTextsFollowTheChecks)
{
    EXPECT_EQ(shown(), QStringLiteral("<Není vybráno>"));
    combo.CheckAll();
    EXPECT_EQ(shown(), QStringLiteral("<Vše>"));
    EXPECT_TRUE(combo.FilterText(QStringLiteral("CALLTYPE"), true).isEmpty());
    EXPECT_EQ(changes, 1);

    combo.ToggleItemByUser(0); // the user unchecks "one" in the list
    EXPECT_EQ(shown(), QStringLiteral("two, three, four, five"));
    EXPECT_EQ(combo.FilterText(QStringLiteral("CALLTYPE"), true),
              QStringLiteral("(CALLTYPE=2 OR CALLTYPE=3 OR CALLTYPE=4 OR CALLTYPE=5)"));
    EXPECT_EQ(combo.FilterText(QStringLiteral("CALLTYPE"), false), QStringLiteral("CALLTYPE IN (2,3,4,5)"));
    EXPECT_EQ(listChecks().first(), Qt::Unchecked);
    EXPECT_EQ(listChecks().last(), Qt::Checked);

    combo.SetCheckedIndexText(QStringLiteral("4"));
    EXPECT_EQ(combo.FilterText(QStringLiteral("CALLTYPE"), false), QStringLiteral("CALLTYPE=5"));
    EXPECT_EQ(combo.FilterText(QStringLiteral("CALLTYPE"), true), QStringLiteral("CALLTYPE=5"));

    combo.SetAllValue(QStringLiteral("Všechny"));
    combo.CheckAll();
    EXPECT_EQ(shown(), QStringLiteral("Všechny"));
    combo.SetEmptyValue(QStringLiteral("nic"));
    combo.SetAllowNone(true);
    combo.UncheckAll();
    EXPECT_EQ(shown(), QStringLiteral("nic"));
}

TEST_F(CheckComboTest, WithoutAllowNoneTheLastCheckStays)
{
    combo.SetCheckedIndexText(QStringLiteral("2"));
    EXPECT_FALSE(combo.UncheckAllAction()->isVisible());
    const int before = changes;
    combo.ToggleItemByUser(2);
    EXPECT_TRUE(combo.IsItemChecked(2));
    EXPECT_EQ(listChecks()[2], Qt::Checked) << "the list shows the check again";
    EXPECT_EQ(changes, before);

    // The menu's entries never leave nothing checked.
    combo.UncheckAll();
    EXPECT_EQ(combo.CheckedCount(), 1);
    combo.CheckAll();
    combo.InvertChecks();
    EXPECT_EQ(combo.CheckedCount(), 1);

    combo.SetAllowNone(true);
    EXPECT_TRUE(combo.UncheckAllAction()->isVisible());
    combo.ToggleItemByUser(0);
    EXPECT_EQ(combo.CheckedCount(), 0);
}

TEST_F(CheckComboTest, InvertAndIndexTexts)
{
    combo.SetCheckedIndexText(QStringLiteral("0;1"));
    combo.InvertChecks();
    EXPECT_EQ(combo.CheckedIndexText(), QStringLiteral("2;3;4"));
    EXPECT_EQ(listChecks(), (QList<Qt::CheckState>{Qt::Unchecked, Qt::Unchecked, Qt::Checked, Qt::Checked, Qt::Checked}));

    combo.SetCheckedIndexText(QStringLiteral("0;2"));
    EXPECT_EQ(combo.CheckedIndexText(), QStringLiteral("0;2"));
    combo.SetCheckedIndexText(QStringLiteral("x;9;-1;1"));
    EXPECT_EQ(combo.CheckedIndexText(), QStringLiteral("1"));
    combo.SetCheckedIndexText(QString());
    EXPECT_EQ(combo.CheckedCount(), 0) << "even without AllowNone";
    EXPECT_EQ(shown(), QStringLiteral("<Není vybráno>"));
}

TEST_F(CheckComboTest, SingleQuotesAroundCheckedTexts)
{
    TCheckedComboBox quoted;
    quoted.SetItems({"a", "b", "c"}, {1, 2, 3});
    quoted.SetQuoteStyle(qsSingle);
    quoted.SetCheckedIndexText(QStringLiteral("0;1"));
    EXPECT_EQ(quoted.Edit()->text(), QStringLiteral("'a', 'b'"));
    quoted.SetQuoteStyle(qsDouble);
    EXPECT_EQ(quoted.DisplayText(), QStringLiteral("\"a\", \"b\""));
}

TEST_F(CheckComboTest, ButtonClickThatClosesTheListDoesNotReopenIt)
{
    combo.move(50, 50);
    combo.show();
    int closeUps = 0;
    combo.OnCloseUp = [&] { ++closeUps; };
    combo.Button()->click();
    ASSERT_TRUE(combo.DroppedDown());
    EXPECT_EQ(combo.DropDown()->width(), combo.width());
    EXPECT_GE(combo.DropDown()->geometry().top(), combo.mapToGlobal(QPoint(0, combo.height())).y());

    // The list loses activation through a press on the button.
    QCursor::setPos(combo.Button()->mapToGlobal(combo.Button()->rect().center()));
    combo.DropDown()->hide();
    EXPECT_FALSE(combo.DroppedDown());
    EXPECT_EQ(closeUps, 1);
    combo.Button()->click();
    EXPECT_FALSE(combo.DroppedDown()) << "the closing click must not open the list again";
    combo.Button()->click();
    EXPECT_TRUE(combo.DroppedDown());

    // Esc in the list closes it as well.
    QTest::keyClick(combo.DropDown()->List(), Qt::Key_Escape);
    EXPECT_FALSE(combo.DroppedDown());
    QCursor::setPos(0, 0);
}

TEST_F(CheckComboTest, DropDownGoesAboveNearTheScreenBottom)
{
    combo.move(10, 10);
    combo.show();
    const int top = combo.mapToGlobal(QPoint(0, 0)).y();
    const QRect roomy(0, 0, 1000, 2000);
    EXPECT_EQ(combo.DropDownRect(roomy).top(), top + combo.height());
    const QRect tight(0, 0, 1000, top + combo.height() + 60);
    const QRect above = combo.DropDownRect(tight);
    EXPECT_EQ(above.bottom(), top - 1);
    EXPECT_EQ(above.width(), combo.width());
}

TEST_F(CheckComboTest, DropDownLinesStayWithinTwoToTwenty)
{
    combo.SetDropDownLines(1);
    EXPECT_EQ(combo.DropDownLines(), 6);
    combo.SetDropDownLines(21);
    EXPECT_EQ(combo.DropDownLines(), 6);
    combo.SetDropDownLines(20);
    EXPECT_EQ(combo.DropDownLines(), 20);
    combo.SetColumns(2);
    combo.show();
    combo.Button()->click();
    EXPECT_EQ(combo.DropDownLines(), 3) << "5 items in 2 columns";
    combo.DropDown()->hide();
}

TEST(CheckComboGlyph, DottedLineAboveATriangle)
{
    const QImage glyph = TCheckedComboBox::ButtonGlyph().toImage();
    ASSERT_EQ(glyph.size(), QSize(13, 13));
    EXPECT_EQ(qAlpha(glyph.pixel(2, 3)), 255);
    EXPECT_EQ(qAlpha(glyph.pixel(3, 3)), 0) << "dotted, not solid";
    EXPECT_EQ(qAlpha(glyph.pixel(6, 8)), 255);
    EXPECT_EQ(qAlpha(glyph.pixel(1, 10)), 0);
}

TEST_F(CheckComboTest, SortingReordersTheListTexts)
{
    combo.SetCheckedIndexText(QStringLiteral("0")); // "one"
    combo.SetSorted(true);
    QListWidget *list = combo.DropDown()->List();
    QStringList texts;
    for (int i = 0; i < list->count(); ++i)
        texts << list->item(i)->text();
    EXPECT_EQ(texts, (QStringList{"five", "four", "one", "three", "two"}));
    EXPECT_EQ(combo.Items().ItemCode(0), 5);
}
