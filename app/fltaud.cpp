#include "fltaud.h"

#include "windowfont.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QShowEvent>
#include <QSpinBox>
#include <QVBoxLayout>
#include <climits>
#include <cmath>

#include "CheckCombo.h"
#include "dbfrg.h"
#include "dtpicker.h"
#include "exception.h"
#include "myutils.h"

Tffltaud::Tffltaud(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("ffltaud"));
    setWindowTitle(QStringLiteral("Filtr - Audio nahrávky"));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setFont(WindowFont());
    setModal(true);

    GroupBox1 = new QGroupBox(this);
    Label4 = new QLabel(QStringLiteral("Typ hovoru"), GroupBox1);
    ccb_calltype = new TCheckedComboBox(GroupBox1);
    ccb_calltype->SetEmptyValue(QStringLiteral("<Není vybráno>"));
    ccb_calltype->SetAllValue(QStringLiteral("Všechny typy hovorů"));
    Label5 = new QLabel(QStringLiteral("Linka od"), GroupBox1);
    edlinkafrom = new QSpinBox(GroupBox1);
    Label3 = new QLabel(QStringLiteral("Linka do"), GroupBox1);
    edlinkato = new QSpinBox(GroupBox1);
    for (QSpinBox *spin : {edlinkafrom, edlinkato})
        spin->setRange(INT_MIN, INT_MAX); // no limits
    edlinkafrom->setValue(0);
    edlinkato->setValue(9999);
    Label1 = new QLabel(QStringLiteral("Datum hovoru od"), GroupBox1);
    dtpfrom = new TDateTimePicker(GroupBox1);
    Label2 = new QLabel(QStringLiteral("Datum hovoru do"), GroupBox1);
    dtpto = new TDateTimePicker(GroupBox1);
    Label5->setBuddy(edlinkafrom);
    Label3->setBuddy(edlinkato);
    Label1->setBuddy(dtpfrom);
    Label2->setBuddy(dtpto);

    auto *grid = new QGridLayout(GroupBox1);
    grid->setVerticalSpacing(2);
    grid->setHorizontalSpacing(10);
    grid->addWidget(Label4, 0, 0, 1, 2);
    grid->addWidget(ccb_calltype, 1, 0, 1, 2);
    grid->addWidget(Label5, 2, 0);
    grid->addWidget(Label3, 2, 1);
    grid->addWidget(edlinkafrom, 3, 0);
    grid->addWidget(edlinkato, 3, 1);
    grid->addWidget(Label1, 4, 0);
    grid->addWidget(Label2, 4, 1);
    grid->addWidget(dtpfrom, 5, 0);
    grid->addWidget(dtpto, 5, 1);
    for (int row : {2, 4})
        grid->setRowMinimumHeight(row, grid->rowMinimumHeight(row) + 4);

    Button1 = new QPushButton(QStringLiteral("&OK"), this);
    Button2 = new QPushButton(QStringLiteral("&Zrušit"), this);
    Button1->setDefault(true);
    Button2->setAutoDefault(false);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(Button1);
    buttons->addWidget(Button2);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 8, 8, 8);
    layout->addWidget(GroupBox1);
    layout->addLayout(buttons);
    setMinimumSize(279, 172);
    // The labels stay over their fields only at the size the layout gives.
    layout->setSizeConstraint(QLayout::SetFixedSize);

    connect(Button1, &QPushButton::clicked, this, [this] {
        try {
            Button1Click();
        } catch (const Exception &e) {
            ShowMessageBox(e.message(), mkError, mbOK);
        }
    });
    connect(Button2, &QPushButton::clicked, this, &QDialog::reject);

    FromChecked = dtpfrom->Checked();
    ToChecked = dtpto->Checked();
}

void Tffltaud::SetDates(TDateChoice from, TDateChoice to)
{
    dtpfrom->SetDate(from.date);
    dtpfrom->SetChecked(from.checked);
    dtpto->SetDate(to.date);
    dtpto->SetChecked(to.checked);
}

TDateChoice Tffltaud::DateFrom() const { return dtpfrom->Choice(); }

TDateChoice Tffltaud::DateTo() const { return dtpto->Choice(); }

QString Tffltaud::FilterDescription() const
{
    const QString crlf = QStringLiteral("\r\n");
    return Label4->text() + QStringLiteral(": ") + ccb_calltype->DisplayText() + crlf + lineRangeText() + crlf
        + DateRangeText(Label1->text(), dtpfrom->Date(), dtpfrom->Checked(), dtpto->Date(), dtpto->Checked());
}

QString Tffltaud::lineRangeText() const
{
    // "Linka od" already carries its "od": the range reads "Linka od: 0 do: 9999".
    return Label5->text() + QStringLiteral(": ") + edlinkafrom->text() + QStringLiteral(" do: ") + edlinkato->text();
}

bool Tffltaud::FilterActive() const
{
    return !FilterSummary().isEmpty();
}

QString Tffltaud::FilterSummary() const
{
    QStringList parts;
    if (ccb_calltype->Items().CheckedCount() != ccb_calltype->Items().Count())
        parts << Label4->text() + QStringLiteral(": ") + ccb_calltype->DisplayText();
    // The call log filters lines only from a "from" line other than 0.
    if (edlinkafrom->value() != 0)
        parts << lineRangeText();
    if (dtpfrom->Checked() || dtpto->Checked())
        parts << DateRangeText(Label1->text(), dtpfrom->Date(), dtpfrom->Checked(), dtpto->Date(), dtpto->Checked());
    return parts.join(QStringLiteral("; "));
}

void Tffltaud::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous())
        FormShow();
}

void Tffltaud::FormShow()
{
    dtpfrom->SetChecked(FromChecked);
    dtpto->SetChecked(ToChecked);
    m_shown = true;
    m_shownFrom = dtpfrom->Date();
    m_shownTo = dtpto->Date();
    m_shownChecks = ccb_calltype->CheckedIndexText();
    m_shownLinkFrom = edlinkafrom->value();
    m_shownLinkTo = edlinkato->value();
}

void Tffltaud::Button1Click()
{
    if (dtpfrom->Checked() && dtpto->Checked() && std::floor(dtpfrom->Date()) > std::floor(dtpto->Date()))
        throw Exception(QStringLiteral("Datum Od je větší než datum Do"));
    FromChecked = dtpfrom->Checked();
    ToChecked = dtpto->Checked();
    accept();
}

void Tffltaud::done(int result)
{
    if (result != QDialog::Accepted)
        restoreShownState();
    QDialog::done(result);
}

void Tffltaud::restoreShownState()
{
    if (!m_shown)
        return;
    dtpfrom->SetDate(m_shownFrom);
    dtpto->SetDate(m_shownTo);
    ccb_calltype->SetCheckedIndexText(m_shownChecks);
    edlinkafrom->setValue(m_shownLinkFrom);
    edlinkato->setValue(m_shownLinkTo);
    // The checked states go back as well, so that nothing read before the next showing
    // sees a choice the user cancelled.
    dtpfrom->SetChecked(FromChecked);
    dtpto->SetChecked(ToChecked);
}
