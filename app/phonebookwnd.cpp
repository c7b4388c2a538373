#include "phonebookwnd.h"

#include "windowfont.h"

#include <QCheckBox>
#include <QCollator>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QShortcut>
#include <QShowEvent>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "contactimport.h"
#include "exception.h"
#include "myutils.h"
#include "session.h"

namespace {

// Address books are small; anything far larger is not one and is not read into memory.
constexpr qint64 kMaxImportBytes = 32 * 1024 * 1024;

QString markText(bool on) { return on ? QStringLiteral("ano") : QString(); }

// A row sorted the way a Czech reader expects: "Č" right after "C", "č. 2" before "č. 10".
class TEntryItem : public QTreeWidgetItem {
public:
    using QTreeWidgetItem::QTreeWidgetItem;
    bool operator<(const QTreeWidgetItem &other) const override
    {
        static const QCollator collator = [] {
            QCollator c{QLocale(QLocale::Czech, QLocale::CzechRepublic)};
            c.setNumericMode(true);
            c.setCaseSensitivity(Qt::CaseInsensitive);
            return c;
        }();
        const int column = treeWidget() ? treeWidget()->sortColumn() : 0;
        return collator.compare(text(column), other.text(column)) < 0;
    }
};

} // namespace

// ---- Tfphonebookentry --------------------------------------------------------------------------

Tfphonebookentry::Tfphonebookentry(const QString &caption, QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("fphonebookentry"));
    setWindowTitle(caption);
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setFont(WindowFont());
    setModal(true);

    Label1 = new QLabel(QStringLiteral("&Telefonní číslo"), this);
    ed_number = new QLineEdit(this);
    Label2 = new QLabel(QStringLiteral("&Jméno"), this);
    ed_name = new QLineEdit(this);
    Label1->setBuddy(ed_number);
    Label2->setBuddy(ed_name);
    for (QLineEdit *edit : {ed_number, ed_name}) {
        edit->setMaxLength(200);
        edit->setMinimumWidth(240);
    }
    chb_record = new QCheckBox(QStringLiteral("&Nahrávat hovory s tímto číslem"), this);
    chb_private = new QCheckBox(QStringLiteral("&Soukromé číslo (hovory nenahrávat)"), this);
    btnok = new QPushButton(QStringLiteral("&OK"), this);
    btncancel = new QPushButton(QStringLiteral("&Zrušit"), this);
    btnok->setDefault(true);
    btncancel->setAutoDefault(false);

    auto *fields = new QGridLayout;
    fields->addWidget(Label1, 0, 0);
    fields->addWidget(ed_number, 0, 1);
    fields->addWidget(Label2, 1, 0);
    fields->addWidget(ed_name, 1, 1);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(btnok);
    buttons->addWidget(btncancel);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 8, 8, 8);
    layout->addLayout(fields);
    layout->addWidget(chb_record);
    layout->addWidget(chb_private);
    layout->addSpacing(4);
    layout->addLayout(buttons);

    connect(btnok, &QPushButton::clicked, this, [this] { btnokClick(); });
    connect(btncancel, &QPushButton::clicked, this, &QDialog::reject);
}

void Tfphonebookentry::SetEntry(const TPhonebookEntry &entry)
{
    ed_number->setText(entry.Number);
    ed_name->setText(entry.Name);
    chb_record->setChecked(entry.Record);
    chb_private->setChecked(entry.Private);
}

TPhonebookEntry Tfphonebookentry::Entry() const
{
    return TPhonebookEntry{ed_number->text().trimmed(), ed_name->text().trimmed(), chb_record->isChecked(),
                           chb_private->isChecked()};
}

void Tfphonebookentry::btnokClick()
{
    const QString problem = Check ? Check(Entry()) : QString();
    if (!problem.isEmpty()) {
        ShowMessageBox(problem, mkWarning, mbOK);
        ed_number->setFocus();
        return;
    }
    accept();
}

// ---- Tfphonebook ---------------------------------------------------------------------------------

Tfphonebook::Tfphonebook(TSession *session, QWidget *parent) : QDialog(parent), m_session(session)
{
    setObjectName(QStringLiteral("fphonebook"));
    setWindowTitle(QStringLiteral("Telefonní seznam"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setFont(WindowFont());
    setModal(true);

    lb_problem = new QLabel(this);
    lb_problem->setWordWrap(true);
    lb_problem->setStyleSheet(QStringLiteral("color: #c00000;"));
    lb_problem->hide();

    lv_entries = new QTreeWidget(this);
    lv_entries->setColumnCount(4);
    lv_entries->setHeaderLabels(
        {QStringLiteral("Telefonní číslo"), QStringLiteral("Jméno"), QStringLiteral("Nahrávat"), QStringLiteral("Soukromé")});
    lv_entries->setRootIsDecorated(false);
    lv_entries->setUniformRowHeights(true);
    lv_entries->setAlternatingRowColors(true);
    lv_entries->setSelectionMode(QAbstractItemView::SingleSelection);
    lv_entries->setAllColumnsShowFocus(true);
    lv_entries->setSortingEnabled(true);
    lv_entries->sortByColumn(colName, Qt::AscendingOrder);
    lv_entries->header()->setStretchLastSection(false);
    lv_entries->header()->setSectionResizeMode(colName, QHeaderView::Stretch);
    lv_entries->setColumnWidth(colNumber, 130);
    lv_entries->setColumnWidth(colRecord, 70);
    lv_entries->setColumnWidth(colPrivate, 70);

    lb_count = new QLabel(this);
    btn_add = new QPushButton(QStringLiteral("&Přidat..."), this);
    btn_edit = new QPushButton(QStringLiteral("&Upravit..."), this);
    btn_delete = new QPushButton(QStringLiteral("&Smazat"), this);
    btn_import = new QPushButton(QStringLiteral("&Importovat..."), this);
    btn_close = new QPushButton(QStringLiteral("Zavří&t"), this);
    // Enter in the list edits the entry; no button takes it away.
    for (QPushButton *button : {btn_add, btn_edit, btn_delete, btn_import, btn_close}) {
        button->setAutoDefault(false);
        button->setDefault(false);
    }

    auto *commands = new QVBoxLayout;
    commands->addWidget(btn_add);
    commands->addWidget(btn_edit);
    commands->addWidget(btn_delete);
    commands->addSpacing(12);
    commands->addWidget(btn_import);
    commands->addStretch(1);
    commands->addWidget(btn_close);
    auto *body = new QHBoxLayout;
    body->addWidget(lv_entries, 1);
    body->addLayout(commands);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 8, 8, 8);
    layout->addWidget(lb_problem);
    layout->addLayout(body, 1);
    layout->addWidget(lb_count);
    resize(560, 380);
    setMinimumSize(420, 240);

    auto guarded = [this](void (Tfphonebook::*handler)()) {
        return [this, handler] {
            try {
                (this->*handler)();
            } catch (const Exception &e) {
                ShowMessageBox(e.message(), mkError, mbOK);
            }
        };
    };
    connect(btn_add, &QPushButton::clicked, this, guarded(&Tfphonebook::btn_addClick));
    connect(btn_edit, &QPushButton::clicked, this, guarded(&Tfphonebook::btn_editClick));
    connect(btn_delete, &QPushButton::clicked, this, guarded(&Tfphonebook::btn_deleteClick));
    connect(btn_import, &QPushButton::clicked, this, guarded(&Tfphonebook::btn_importClick));
    connect(btn_close, &QPushButton::clicked, this, &QDialog::accept);
    connect(lv_entries, &QTreeWidget::itemActivated, this, guarded(&Tfphonebook::btn_editClick));
    connect(lv_entries, &QTreeWidget::currentItemChanged, this, [this] { updateButtons(); });
    auto *insert = new QShortcut(QKeySequence(Qt::Key_Insert), this);
    connect(insert, &QShortcut::activated, this, guarded(&Tfphonebook::btn_addClick));
    auto *remove = new QShortcut(QKeySequence(Qt::Key_Delete), lv_entries);
    remove->setContext(Qt::WidgetShortcut);
    connect(remove, &QShortcut::activated, this, guarded(&Tfphonebook::btn_deleteClick));

    AskImportFileName = [this] {
        return QFileDialog::getOpenFileName(
            this, QStringLiteral("Importovat kontakty"), QString(),
            QStringLiteral("Kontakty (*.vcf *.vcard *.csv);;vCard (*.vcf *.vcard);;CSV (*.csv);;Všechny soubory (*)"));
    };
}

void Tfphonebook::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (event->spontaneous())
        return;
    FillList(CurrentNumber());
    lv_entries->setFocus();
}

void Tfphonebook::FillList(const QString &selectNumber)
{
    const TPhonebook &book = m_session->Phonebook();
    const QString problem = m_session->PhonebookProblem();
    lb_problem->setVisible(!problem.isEmpty());
    lb_problem->setText(problem.isEmpty()
                            ? QString()
                            : problem + QStringLiteral(".\nSoubor zůstane, jak je, dokud seznam nezměníte; při první změně "
                                                       "se uschová jako \"")
                                  + QFileInfo(m_session->DamagedPhonebookFileName()).fileName() + QStringLiteral("\"."));

    lv_entries->setSortingEnabled(false);
    lv_entries->clear();
    const TPhonebookEntry *selected = selectNumber.isEmpty() ? nullptr : book.Find(selectNumber);
    QTreeWidgetItem *current = nullptr;
    for (const TPhonebookEntry &entry : book.Entries()) {
        auto *item = new TEntryItem(lv_entries);
        item->setText(colNumber, entry.Number);
        item->setText(colName, entry.Name);
        item->setText(colRecord, markText(entry.Record));
        item->setText(colPrivate, markText(entry.Private));
        item->setData(colNumber, Qt::UserRole, entry.Number);
        if (selected && *selected == entry)
            current = item;
    }
    lv_entries->setSortingEnabled(true);
    if (!current && lv_entries->topLevelItemCount() > 0)
        current = lv_entries->topLevelItem(0);
    lv_entries->setCurrentItem(current);
    if (current)
        lv_entries->scrollToItem(current);
    lb_count->setText(QStringLiteral("Záznamů: %1").arg(book.Count()));
    updateButtons();
}

QString Tfphonebook::CurrentNumber() const
{
    const QTreeWidgetItem *item = lv_entries->currentItem();
    return item ? item->data(colNumber, Qt::UserRole).toString() : QString();
}

void Tfphonebook::updateButtons()
{
    const bool current = lv_entries->currentItem() != nullptr;
    btn_edit->setEnabled(current);
    btn_delete->setEnabled(current);
}

bool Tfphonebook::commit(const std::function<void(TPhonebook &)> &change, const QString &context)
{
    TPhonebook &book = m_session->Phonebook();
    const TPhonebook before = book;
    try {
        change(book);
        m_session->SavePhonebook();
    } catch (const Exception &e) {
        book = before;
        ShowMessageBox(context.isEmpty() ? e.message() : context + QStringLiteral("\n") + e.message(), mkError, mbOK);
        return false;
    }
    return true;
}

bool Tfphonebook::editEntry(const QString &caption, TPhonebookEntry &entry, const QString &oldNumber)
{
    Tfphonebookentry editor(caption, this);
    editor.SetEntry(entry);
    editor.Check = [this, oldNumber](const TPhonebookEntry &edited) -> QString {
        // The same checks the phonebook makes, on a copy, so that the user mends the
        // entry while the editor is still open.
        TPhonebook trial = m_session->Phonebook();
        try {
            if (oldNumber.isEmpty()) {
                if (const TPhonebookEntry *known = trial.Find(edited.Number))
                    return QStringLiteral("Číslo %1 už v telefonním seznamu je (%2).").arg(known->Number, known->Name);
                trial.Put(edited);
            } else {
                trial.Replace(oldNumber, edited);
            }
        } catch (const Exception &e) {
            return e.message();
        }
        return QString();
    };
    if (editor.exec() != QDialog::Accepted)
        return false;
    entry = editor.Entry();
    return true;
}

void Tfphonebook::btn_addClick()
{
    TPhonebookEntry entry;
    if (!editEntry(QStringLiteral("Nový záznam"), entry, QString()))
        return;
    if (commit([&entry](TPhonebook &book) { book.Put(entry); }))
        FillList(entry.Number);
}

void Tfphonebook::btn_editClick()
{
    const QString number = CurrentNumber();
    const TPhonebookEntry *known = m_session->Phonebook().Find(number);
    if (!known)
        return;
    TPhonebookEntry entry = *known;
    if (!editEntry(QStringLiteral("Upravit záznam"), entry, number))
        return;
    if (commit([&](TPhonebook &book) { book.Replace(number, entry); }))
        FillList(entry.Number);
}

void Tfphonebook::btn_deleteClick()
{
    const QString number = CurrentNumber();
    const TPhonebookEntry *known = m_session->Phonebook().Find(number);
    if (!known)
        return;
    const QString who = known->Name.isEmpty() ? known->Number : known->Number + QStringLiteral(" (") + known->Name + QLatin1Char(')');
    if (ShowMessageBox(QStringLiteral("Smazat z telefonního seznamu číslo %1?").arg(who), mkConfirmation, mbYes | mbNo) != mrYes)
        return;
    // The entry below the deleted one becomes current.
    QTreeWidgetItem *item = lv_entries->currentItem();
    QTreeWidgetItem *next = lv_entries->itemBelow(item);
    if (!next)
        next = lv_entries->itemAbove(item);
    const QString nextNumber = next ? next->data(colNumber, Qt::UserRole).toString() : QString();
    if (commit([&number](TPhonebook &book) { book.Remove(number); }))
        FillList(nextNumber);
}

void Tfphonebook::btn_importClick()
{
    const QString fileName = AskImportFileName ? AskImportFileName() : QString();
    if (!fileName.isEmpty())
        ImportFile(fileName);
}

bool Tfphonebook::ImportFile(const QString &fileName)
{
    const QString context = QStringLiteral("Kontakty ze souboru \"%1\" nelze importovat. Telefonní seznam zůstal beze změny.")
                                .arg(QDir::toNativeSeparators(fileName));
    QFile file(fileName);
    if (QFileInfo(fileName).size() > kMaxImportBytes) {
        ShowMessageBox(context + QStringLiteral("\nSoubor je příliš velký na adresář kontaktů."), mkError, mbOK);
        return false;
    }
    if (!file.open(QIODevice::ReadOnly)) {
        ShowMessageBox(context + QStringLiteral("\n") + file.errorString(), mkError, mbOK);
        return false;
    }
    const QByteArray bytes = file.readAll();
    QList<TPhonebookEntry> imported;
    try {
        imported = ImportContacts(bytes);
    } catch (const Exception &e) {
        ShowMessageBox(context + QStringLiteral("\n") + e.message(), mkError, mbOK);
        return false;
    }
    int changed = 0;
    if (!commit([&](TPhonebook &book) { changed = book.Merge(imported); }, context))
        return false;
    FillList(CurrentNumber());
    ShowMessageBox(QStringLiteral("Ze souboru bylo načteno čísel: %1. Nových nebo změněných záznamů: %2.")
                       .arg(imported.size())
                       .arg(changed),
                   mkInformation, mbOK);
    return true;
}
