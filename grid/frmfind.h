#pragma once
#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;
class TField;

// The find dialog of the grid frame: one text, checked against the type of the
// field searched, and two ways to search (nearest or exact).
class Tffrmfind : public QDialog {
public:
    explicit Tffrmfind(QWidget *parent = nullptr);

    QLabel *Label1;
    QLineEdit *Edit1;
    QPushButton *btnok;
    QPushButton *btnaccurate;
    QPushButton *btncancel;

    // The field searched; none skips the type check.
    TField *Field = nullptr;
    // True when the dialog was closed with "Hledat přesně".
    bool Accurate = false;
    // False: the first activation removes the selection from the prefilled text.
    bool FirstActivate = true;

    // Raises Exception with the message for the field's type when the text does not fit it.
    static void CheckText(const TField *field, const QString &text);

protected:
    void showEvent(QShowEvent *event) override;

private:
    void btnokClick(QPushButton *sender);
};
