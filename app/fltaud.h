#pragma once
// The filter dialog of the call list. The program creates it once and reuses it:
//   - the main window fills the call types (Tdmcd::FillCallTypes(ccb_calltype->Items())),
//     shows it with exec() and, on QDialog::Accepted, passes ccb_calltype->Items(),
//     edlinkafrom->value(), edlinkato->value(), DateFrom() and DateTo() to
//     Tdmcd::ApplyCallLogFilter and puts FilterDescription() into the filter button's hint;
//   - at start it sets both dates with SetDates and clears FromChecked and ToChecked.
// The dialog only collects and describes the choices. A cancel puts back what was there
// when it was shown; OK refuses a "from" day after the "to" day.
#include <QDialog>
#include <QString>

#include "udmcd.h"

class QGroupBox;
class QLabel;
class QPushButton;
class QSpinBox;
class TCheckedComboBox;
class TDateTimePicker;

class Tffltaud : public QDialog {
public:
    explicit Tffltaud(QWidget *parent = nullptr);

    QGroupBox *GroupBox1;
    QLabel *Label4;
    TCheckedComboBox *ccb_calltype;
    QLabel *Label5;
    QSpinBox *edlinkafrom;
    QLabel *Label3;
    QSpinBox *edlinkato;
    QLabel *Label1;
    TDateTimePicker *dtpfrom;
    QLabel *Label2;
    TDateTimePicker *dtpto;
    QPushButton *Button1; // "&OK"
    QPushButton *Button2; // "&Zrušit"

    // The checked states of the two dates as last confirmed with OK; put back at every showing.
    bool FromChecked = false;
    bool ToChecked = false;

    void SetDates(TDateChoice from, TDateChoice to);
    TDateChoice DateFrom() const;
    TDateChoice DateTo() const;

    // Three lines (CR LF between them): call types, line range, date range.
    QString FilterDescription() const;
    // The parts of the choices that hide calls, on one line; empty when every call passes.
    QString FilterSummary() const;
    bool FilterActive() const;

    void FormShow();
    // Raises Exception "Datum Od je větší než datum Do" when both dates are checked and
    // the "from" day lies after the "to" day; otherwise keeps the checked states and closes with OK.
    void Button1Click();

    void done(int result) override;

protected:
    void showEvent(QShowEvent *event) override;

private:
    void restoreShownState();
    QString lineRangeText() const;

    bool m_shown = false;
    double m_shownFrom = 0;
    double m_shownTo = 0;
    QString m_shownChecks;
    int m_shownLinkFrom = 0;
    int m_shownLinkTo = 0;
};
