#pragma once
#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

// One-line input dialog: a prompt, an edit field, OK and cancel.
class Tfinputex : public QDialog {
public:
    Tfinputex(const QString &caption, const QString &prompt, const QString &value, QWidget *parent = nullptr);

    QLabel *lbprompt;
    QLineEdit *edvalue;
    QPushButton *btnok;
    QPushButton *btncancel;
};

// Asks for one line of text. On OK the value takes the entered text and the
// result is true; otherwise the value stays as it was.
bool InputText(const QString &caption, const QString &prompt, QString &value);
