#pragma once
// The phonebook window: the session's phonebook as a list, with add, edit, delete and the
// import of address books. Every change is stored at once through the session; a change
// that cannot be stored (or an import that cannot be read) leaves the phonebook and its
// file as they were and says why.
#include <QDialog>
#include <QString>
#include <functional>

#include "phonebook.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTreeWidget;
class TSession;

// The editor of one entry: number, name and the two marks.
class Tfphonebookentry : public QDialog {
public:
    explicit Tfphonebookentry(const QString &caption, QWidget *parent = nullptr);

    QLabel *Label1;
    QLineEdit *ed_number;
    QLabel *Label2;
    QLineEdit *ed_name;
    QCheckBox *chb_record;
    QCheckBox *chb_private;
    QPushButton *btnok;
    QPushButton *btncancel;

    void SetEntry(const TPhonebookEntry &entry);
    TPhonebookEntry Entry() const;
    // Asked on OK: empty lets the dialog close, a text is shown and keeps it open.
    std::function<QString(const TPhonebookEntry &entry)> Check;

    void btnokClick();
};

class Tfphonebook : public QDialog {
public:
    // The list columns.
    enum Column { colNumber = 0, colName, colRecord, colPrivate };

    explicit Tfphonebook(TSession *session, QWidget *parent = nullptr);

    QLabel *lb_problem; // the file could not be read: what happens to it
    QTreeWidget *lv_entries;
    QLabel *lb_count;
    QPushButton *btn_add;
    QPushButton *btn_edit;
    QPushButton *btn_delete;
    QPushButton *btn_import;
    QPushButton *btn_close;

    // Shows the session's phonebook; the entry of selectNumber becomes current.
    void FillList(const QString &selectNumber = QString());
    // The number of the current entry; empty when none is current.
    QString CurrentNumber() const;

    void btn_addClick();
    void btn_editClick();
    void btn_deleteClick();
    void btn_importClick();
    // Reads an address book (vCard or CSV) and merges it into the phonebook; false when
    // nothing changed because the file could not be read or stored (the user is told).
    bool ImportFile(const QString &fileName);

    // ---- What asks the user, replaceable for tests ---------------------------------------
    // The address book to import; empty when cancelled.
    std::function<QString()> AskImportFileName;

protected:
    void showEvent(QShowEvent *event) override;

private:
    // Applies a change to the phonebook and stores it; on any error the phonebook is put
    // back, the error shown (after the context when one is given) and false returned.
    bool commit(const std::function<void(TPhonebook &)> &change, const QString &context = QString());
    // Shows the entry editor; true with the edited entry when confirmed.
    bool editEntry(const QString &caption, TPhonebookEntry &entry, const QString &oldNumber);
    void updateButtons();

    TSession *m_session;
};
