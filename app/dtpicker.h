#pragma once
// A date chooser with a check box, as the filter dialog and the statistics window use
// it: the value is a day number (the time of day is kept as its fraction and survives
// a change of the date in the editor), and the box says whether the date takes part.
// Choosing a date in the editor checks the box, as the user means to use that date.
#include <QWidget>
#include <functional>

#include "udmcd.h"

class QCheckBox;
class QDateEdit;

class TDateTimePicker : public QWidget {
public:
    explicit TDateTimePicker(QWidget *parent = nullptr);

    double Date() const { return m_value; }
    void SetDate(double value);
    bool Checked() const;
    void SetChecked(bool checked);
    TDateChoice Choice() const { return {m_value, Checked()}; }

    QCheckBox *CheckBox() const { return m_check; }
    QDateEdit *Editor() const { return m_edit; }

    // After every change of the date or of the check by the user.
    std::function<void()> OnChange;

private:
    void showValue();
    void editorChanged();
    void updateLook();

    QCheckBox *m_check;
    QDateEdit *m_edit;
    double m_value = 0;
    bool m_updating = false;
};
