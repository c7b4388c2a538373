#include "dtpicker.h"

#include <QCheckBox>
#include <QDateEdit>
#include <QHBoxLayout>
#include <cmath>

#include "clock.h"
#include "formatsettings.h"

TDateTimePicker::TDateTimePicker(QWidget *parent) : QWidget(parent)
{
    m_check = new QCheckBox(this);
    m_edit = new QDateEdit(this);
    m_edit->setCalendarPopup(true);
    m_edit->setDisplayFormat(SystemFormats().shortDateFormat);
    m_edit->setMinimumDate(QDate(1900, 1, 1));
    m_edit->setMaximumDate(QDate(9999, 12, 31));
    setFocusProxy(m_edit);

    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    layout->addWidget(m_check);
    layout->addWidget(m_edit, 1);

    connect(m_check, &QCheckBox::toggled, this, [this] {
        updateLook();
        if (!m_updating && OnChange)
            OnChange();
    });
    connect(m_edit, &QDateEdit::dateChanged, this, [this] { editorChanged(); });
    SetDate(std::floor(Now()));
    SetChecked(false);
}

void TDateTimePicker::SetDate(double value)
{
    m_value = value;
    showValue();
}

bool TDateTimePicker::Checked() const { return m_check->isChecked(); }

void TDateTimePicker::SetChecked(bool checked)
{
    m_updating = true;
    m_check->setChecked(checked);
    m_updating = false;
    updateLook();
}

void TDateTimePicker::showValue()
{
    m_updating = true;
    m_edit->setDate(DoubleToDateTime(m_value).date());
    m_updating = false;
}

void TDateTimePicker::editorChanged()
{
    if (m_updating)
        return;
    const QDate date = m_edit->date();
    const double timeOfDay = m_value - std::floor(m_value);
    m_value = EncodeDate(date.year(), date.month(), date.day()) + timeOfDay;
    m_updating = true;
    m_check->setChecked(true);
    m_updating = false;
    updateLook();
    if (OnChange)
        OnChange();
}

void TDateTimePicker::updateLook()
{
    // An unchecked date stays editable but reads as not in use.
    QPalette palette = m_edit->palette();
    palette.setColor(QPalette::Text, Checked() ? this->palette().color(QPalette::Text)
                                               : this->palette().color(QPalette::Disabled, QPalette::Text));
    m_edit->setPalette(palette);
}
