#include "rextprd.h"

#include "lcscommon.h"
#include "pagestream.h"
#include "printrenderer.h"

#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

namespace {
int NumberOr(const QString &text, int fallback)
{
    bool ok = false;
    const int n = text.toInt(&ok);
    return ok ? n : fallback;
}
} // namespace

Tfrextprd::Tfrextprd(QWidget *parent) : QDialog(parent)
{
    setWindowTitle(CommonText(80));
    auto *printerGroup = new QGroupBox(CommonText(81), this);
    PrinterLabel = new QLabel(CommonText(90), printerGroup);
    (new QVBoxLayout(printerGroup))->addWidget(PrinterLabel);

    auto *rangeGroup = new QGroupBox(CommonText(82), this);
    AllRB = new QRadioButton(CommonText(83), rangeGroup);
    SelectionRB = new QRadioButton(CommonText(84), rangeGroup);
    PagesRB = new QRadioButton(CommonText(85), rangeGroup);
    AllRB->setChecked(true);
    SelectionED = new QLineEdit(rangeGroup);
    FromED = new QLineEdit(rangeGroup);
    ToED = new QLineEdit(rangeGroup);
    CopiesED = new QLineEdit(QStringLiteral("1"), this);
    auto *digits = new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), this);
    FromED->setValidator(digits);
    ToED->setValidator(digits);
    CopiesED->setValidator(digits);
    SelectionED->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9,-]*")), this));
    m_selectionLabel = new QLabel(CommonText(86), rangeGroup);
    m_fromLabel = new QLabel(CommonText(88), rangeGroup);
    m_toLabel = new QLabel(CommonText(89), rangeGroup);

    auto *range = new QVBoxLayout(rangeGroup);
    range->addWidget(AllRB);
    auto *sel = new QHBoxLayout;
    sel->addWidget(SelectionRB);
    sel->addWidget(m_selectionLabel);
    sel->addWidget(SelectionED);
    range->addLayout(sel);
    auto *pages = new QHBoxLayout;
    pages->addWidget(PagesRB);
    pages->addWidget(m_fromLabel);
    pages->addWidget(FromED);
    pages->addWidget(m_toLabel);
    pages->addWidget(ToED);
    range->addLayout(pages);

    auto *copies = new QFormLayout;
    copies->addRow(CommonText(87), CopiesED);
    btnok = new QPushButton(CommonText(1), this);
    btncancel = new QPushButton(CommonText(2), this);
    btnok->setDefault(true);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(btnok);
    buttons->addWidget(btncancel);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(printerGroup);
    layout->addWidget(rangeGroup);
    layout->addLayout(copies);
    layout->addLayout(buttons);

    connect(btnok, &QPushButton::clicked, this, &QDialog::accept);
    connect(btncancel, &QPushButton::clicked, this, &QDialog::reject);
    for (QRadioButton *rb : {AllRB, SelectionRB, PagesRB})
        connect(rb, &QRadioButton::toggled, this, [this](bool on) {
            if (on)
                RangeChanged();
        });
    RangeChanged();
}

void Tfrextprd::Setup(int pageCount)
{
    FromED->setText(QStringLiteral("1"));
    ToED->setText(QString::number(pageCount));
    SelectionED->setText(QStringLiteral("1-") + QString::number(pageCount));
    AllRB->setChecked(true);
    RangeChanged();
}

void Tfrextprd::SetPrinter(const QString &name, const QString &port)
{
    PrinterLabel->setText(port.isEmpty() ? name : QStringLiteral("%1: %2").arg(name, port));
}

void Tfrextprd::RangeChanged()
{
    const bool selection = SelectionRB->isChecked(), pages = PagesRB->isChecked();
    // "all" shows the last shown fields disabled; the other two show only their own.
    if (!selection && !pages) {
        for (QWidget *w : {static_cast<QWidget *>(SelectionED), static_cast<QWidget *>(FromED), static_cast<QWidget *>(ToED)})
            w->setEnabled(false);
        return;
    }
    SelectionED->setVisible(selection);
    m_selectionLabel->setVisible(selection);
    SelectionED->setEnabled(selection);
    for (QWidget *w : {static_cast<QWidget *>(FromED), static_cast<QWidget *>(ToED), static_cast<QWidget *>(m_fromLabel),
                       static_cast<QWidget *>(m_toLabel)}) {
        w->setVisible(pages);
        w->setEnabled(pages);
    }
}

std::vector<int> Tfrextprd::Pages(int pageCount) const
{
    if (SelectionRB->isChecked())
        return ParsePageList(SelectionED->text(), pageCount);
    if (PagesRB->isChecked())
        return PageRange(NumberOr(FromED->text(), 1), NumberOr(ToED->text(), pageCount), pageCount);
    return PageRange(1, pageCount, pageCount);
}

int Tfrextprd::Copies() const { return qMax(1, NumberOr(CopiesED->text(), 1)); }
