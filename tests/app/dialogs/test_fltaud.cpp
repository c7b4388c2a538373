#include "fltaud.h"

#include <QDateEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <gtest/gtest.h>

#include "CheckCombo.h"
#include "dialogkit.h"
#include "dtpicker.h"
#include "formatsettings.h"
#include "support/scriptedmessagebox.h"
#include "support/tempdatadir.h"
#include "udmcd.h"

namespace {

class FilterDialogTest : public DataDirTest {
protected:
    void SetUp() override { dmcd.FillCallTypes(dialog.ccb_calltype->Items()); }

    int showAndDo(const std::function<void(Tffltaud *)> &action)
    {
        WhenModal<Tffltaud>(action);
        return dialog.exec();
    }
    QStringList descriptionLines() const { return dialog.FilterDescription().split(QStringLiteral("\r\n")); }

    ScriptedMessageBox boxes;
    Tdmcd dmcd;
    Tffltaud dialog;
};

TEST_F(FilterDialogTest, DescribesTheInitialChoiceInThreeLines)
{
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Filtr - Audio nahrávky"));
    EXPECT_EQ(descriptionLines(),
              QStringList({QStringLiteral("Typ hovoru: Všechny typy hovorů"), QStringLiteral("Linka od: 0 do: 9999"),
                           QStringLiteral("Datum hovoru od: ... - ...")}));
    // With no types checked the chooser says so.
    dialog.ccb_calltype->Items().SetCheckedIndexText(QString());
    EXPECT_EQ(descriptionLines().first(), QStringLiteral("Typ hovoru: <Není vybráno>"));
}

TEST_F(FilterDialogTest, DescriptionFollowsTypesLinesAndDates)
{
    for (int i = 0; i < 4; ++i)
        dialog.ccb_calltype->SetItemChecked(i, false);
    dialog.edlinkafrom->setValue(3);
    dialog.edlinkato->setValue(-1);
    dialog.SetDates({EncodeDate(2006, 6, 1), true}, {EncodeDate(2006, 6, 2), false});
    EXPECT_EQ(descriptionLines(),
              QStringList({QStringLiteral("Typ hovoru: Zmeškaný"), QStringLiteral("Linka od: 3 do: -1"),
                           QStringLiteral("Datum hovoru od: 1.6.2006 - ...")}));
    dialog.ccb_calltype->SetItemChecked(1, true);
    EXPECT_EQ(descriptionLines().first(), QStringLiteral("Typ hovoru: Odchozí, Zmeškaný"));
}

TEST_F(FilterDialogTest, SummaryNamesOnlyWhatHidesCalls)
{
    EXPECT_FALSE(dialog.FilterActive());
    EXPECT_EQ(dialog.FilterSummary(), QString());
    // Line "from" 0 filters no line, whatever "to" says.
    dialog.edlinkato->setValue(20);
    EXPECT_FALSE(dialog.FilterActive());
    dialog.edlinkafrom->setValue(3);
    EXPECT_EQ(dialog.FilterSummary(), QStringLiteral("Linka od: 3 do: 20"));
    dialog.edlinkafrom->setValue(0);
    dialog.ccb_calltype->SetItemChecked(0, false);
    dialog.SetDates({EncodeDate(2006, 6, 1), false}, {EncodeDate(2006, 6, 2), true});
    EXPECT_TRUE(dialog.FilterActive());
    EXPECT_EQ(dialog.FilterSummary(),
              QStringLiteral("Typ hovoru: Odchozí, Příchozí, Neuskutečněný, Zmeškaný; Datum hovoru od: ... - 2.6.2006"));
}

TEST_F(FilterDialogTest, KeepsItsSizeSoTheLabelsStayOverTheirFields)
{
    dialog.show();
    const QSize shown = dialog.size();
    dialog.resize(shown + QSize(200, 150));
    EXPECT_EQ(dialog.size(), shown);
    EXPECT_EQ(dialog.minimumSize(), dialog.maximumSize());
    dialog.hide();
}

TEST_F(FilterDialogTest, RefusesFromAfterToUntilOneDateIsUnchecked)
{
    dialog.FromChecked = true;
    dialog.ToChecked = true;
    dialog.SetDates({EncodeDate(2006, 6, 2), true}, {EncodeDate(2006, 6, 1), true});
    const int result = showAndDo([this](Tffltaud *w) {
        w->Button1->click();
        ASSERT_EQ(boxes.boxes().size(), 1);
        EXPECT_EQ(boxes.boxes()[0].text, QStringLiteral("Datum Od je větší než datum Do"));
        EXPECT_TRUE(w->isVisible());
        w->dtpto->SetChecked(false);
        w->Button1->click();
    });
    EXPECT_EQ(result, QDialog::Accepted);
    EXPECT_EQ(boxes.boxes().size(), 1);
    EXPECT_TRUE(dialog.FromChecked);
    EXPECT_FALSE(dialog.ToChecked);
    EXPECT_TRUE(dialog.DateFrom().checked);
    EXPECT_FALSE(dialog.DateTo().checked);
}

TEST_F(FilterDialogTest, AcceptsOneDayWithTheFromTimeLater)
{
    dialog.FromChecked = true;
    dialog.ToChecked = true;
    dialog.SetDates({EncodeDate(2006, 6, 1) + EncodeTime(18, 0, 0), true},
                    {EncodeDate(2006, 6, 1) + EncodeTime(8, 0, 0), true});
    EXPECT_EQ(showAndDo([](Tffltaud *w) { w->Button1->click(); }), QDialog::Accepted);
    EXPECT_TRUE(boxes.boxes().isEmpty());
    EXPECT_EQ(descriptionLines().last(), QStringLiteral("Datum hovoru od: 1.6.2006 - 1.6.2006"));
}

TEST_F(FilterDialogTest, CancelPutsBackWhatWasShown)
{
    const double today = EncodeDate(2026, 3, 4);
    dialog.SetDates({today, false}, {today, false});
    dialog.ccb_calltype->SetItemChecked(0, false);
    const QString description = dialog.FilterDescription();

    const int result = showAndDo([&](Tffltaud *w) {
        w->dtpfrom->SetDate(today - 10);
        w->dtpfrom->SetChecked(true);
        w->dtpto->Editor()->setDate(QDate(2026, 3, 5)); // choosing a date checks it
        EXPECT_TRUE(w->dtpto->Checked());
        w->ccb_calltype->CheckOne();
        w->edlinkafrom->setValue(7);
        w->edlinkato->setValue(8);
        w->Button2->click();
    });
    EXPECT_EQ(result, QDialog::Rejected);
    EXPECT_EQ(dialog.FilterDescription(), description);
    EXPECT_EQ(dialog.dtpfrom->Date(), today);
    EXPECT_EQ(dialog.dtpto->Date(), today);
    EXPECT_FALSE(dialog.FromChecked);

    // The next showing has the dates unchecked again; Esc cancels as well.
    EXPECT_EQ(showAndDo([](Tffltaud *w) {
                  EXPECT_FALSE(w->dtpfrom->Checked());
                  EXPECT_FALSE(w->dtpto->Checked());
                  w->dtpfrom->SetChecked(true);
                  QTest::keyClick(w, Qt::Key_Escape);
              }),
              QDialog::Rejected);
    EXPECT_FALSE(dialog.DateFrom().checked);
}

TEST_F(FilterDialogTest, OkKeepsTheCheckedStatesForTheNextShowing)
{
    dialog.SetDates({EncodeDate(2006, 6, 1), false}, {EncodeDate(2006, 6, 3), false});
    ASSERT_EQ(showAndDo([](Tffltaud *w) {
                  w->dtpto->SetChecked(true);
                  w->Button1->click();
              }),
              QDialog::Accepted);
    EXPECT_FALSE(dialog.FromChecked);
    EXPECT_TRUE(dialog.ToChecked);
    // Whatever is set between showings, the showing puts the confirmed states back.
    dialog.dtpto->SetChecked(false);
    dialog.dtpfrom->SetChecked(true);
    ASSERT_EQ(showAndDo([](Tffltaud *w) {
                  EXPECT_FALSE(w->dtpfrom->Checked());
                  EXPECT_TRUE(w->dtpto->Checked());
                  w->Button1->click();
              }),
              QDialog::Accepted);
}

TEST(DateTimePickerTest, KeepsTheTimeOfDayWhenTheDateIsChosen)
{
    TDateTimePicker picker;
    int changes = 0;
    picker.OnChange = [&] { ++changes; };
    picker.SetDate(EncodeDate(2006, 6, 1) + EncodeTime(10, 30, 0));
    EXPECT_FALSE(picker.Checked());
    EXPECT_EQ(changes, 0);
    picker.Editor()->setDate(QDate(2006, 6, 15));
    EXPECT_DOUBLE_EQ(picker.Date(), EncodeDate(2006, 6, 15) + EncodeTime(10, 30, 0));
    EXPECT_TRUE(picker.Checked());
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(picker.Editor()->text(), QStringLiteral("15.6.2006"));
}

} // namespace
