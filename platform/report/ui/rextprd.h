#pragma once
#include <QDialog>
#include <vector>

class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

// The print range dialog: all pages, a page list ("1-3,5") or from/to, and copies.
class Tfrextprd : public QDialog {
public:
    explicit Tfrextprd(QWidget *parent = nullptr);

    QRadioButton *AllRB;
    QRadioButton *SelectionRB;
    QRadioButton *PagesRB;
    QLineEdit *SelectionED;
    QLineEdit *FromED;
    QLineEdit *ToED;
    QLineEdit *CopiesED;
    QLabel *PrinterLabel;
    QPushButton *btnok;
    QPushButton *btncancel;

    // Fresh for a document of pageCount pages: From "1", To and the list "1-" + count, all pages chosen.
    void Setup(int pageCount);
    void SetPrinter(const QString &name, const QString &port);
    // The chosen pages (1-based) and copies; raises EReportError for a list it cannot read.
    std::vector<int> Pages(int pageCount) const;
    int Copies() const;

private:
    void RangeChanged();
    QLabel *m_selectionLabel;
    QLabel *m_fromLabel;
    QLabel *m_toLabel;
};
