// The phonebook window: hand entries and imports reach the file through the session, and
// what cannot be read or stored changes nothing.
#include "phonebookwnd.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <gtest/gtest.h>
#include <memory>

#include "codepage1250.h"
#include "dialogkit.h"
#include "myutils.h"
#include "session.h"
#include "support/scriptedmessagebox.h"
#include "support/tempdatadir.h"
#include "udmcd.h"

namespace {

class PhonebookWindowTest : public DataDirTest {
protected:
    void SetUp() override
    {
        session = std::make_unique<TSession>();
        session->SetSettingsFileName(data.file(QStringLiteral("tembrel.ini")));
    }
    void TearDown() override
    {
        window.reset();
        session.reset();
    }

    // The call log as the program opens it, which also reads the phonebook.
    void openCallLog()
    {
        ASSERT_TRUE(QFile::copy(QStringLiteral(TEMBREL_DELIVERED_DATA_XML), Tdmcd::DataFileName()));
        QFile::setPermissions(Tdmcd::DataFileName(), QFile::ReadOwner | QFile::WriteOwner);
        QString error;
        ASSERT_TRUE(session->OpenCallLog(error)) << error.toStdString();
    }
    Tfphonebook &makeWindow()
    {
        window = std::make_unique<Tfphonebook>(session.get());
        window->FillList();
        return *window;
    }
    QString bookFile() const { return session->PhonebookFileName(); }
    QList<TPhonebookEntry> stored() const { return TPhonebook::Parse(ReadFileToString(bookFile())); }
    // The rows of the list as "number|name|record|private".
    QStringList rows() const
    {
        QStringList result;
        for (int i = 0; i < window->lv_entries->topLevelItemCount(); ++i) {
            const QTreeWidgetItem *item = window->lv_entries->topLevelItem(i);
            result.append(QStringList{item->text(0), item->text(1), item->text(2), item->text(3)}.join(QLatin1Char('|')));
        }
        return result;
    }
    void select(const QString &number)
    {
        const auto found = window->lv_entries->findItems(number, Qt::MatchExactly, Tfphonebook::colNumber);
        ASSERT_EQ(found.size(), 1) << number.toStdString();
        window->lv_entries->setCurrentItem(found.first());
    }
    // Runs a command that opens the entry editor; edit fills it in and presses a button.
    void withEditor(const std::function<void()> &command, const std::function<void(Tfphonebookentry *)> &edit)
    {
        WhenModal<Tfphonebookentry>(edit);
        command();
    }
    static void fill(Tfphonebookentry *e, const char *number, const char *name, bool record, bool isPrivate)
    {
        e->ed_number->setText(QString::fromUtf8(number));
        e->ed_name->setText(QString::fromUtf8(name));
        e->chb_record->setChecked(record);
        e->chb_private->setChecked(isPrivate);
    }
    QString writeFile(const char *name, const QByteArray &bytes)
    {
        const QString file = data.file(QString::fromUtf8(name));
        EXPECT_TRUE(WriteStringToFile(bytes, file));
        return file;
    }

    ScriptedMessageBox boxes;
    std::unique_ptr<TSession> session;
    std::unique_ptr<Tfphonebook> window;
};

TEST_F(PhonebookWindowTest, AddEditAndDeleteGoThroughTheFile)
{
    session->Phonebook().SetCountryPrefix(QStringLiteral("420"));
    Tfphonebook &w = makeWindow();
    EXPECT_EQ(w.windowTitle(), QStringLiteral("Telefonní seznam"));
    EXPECT_FALSE(w.btn_edit->isEnabled());
    EXPECT_FALSE(w.btn_delete->isEnabled());

    QString editorTitle;
    withEditor([&] { w.btn_add->click(); },
               [&](Tfphonebookentry *e) {
                   editorTitle = e->windowTitle();
                   fill(e, "+420 603 123 456", "Jan Novák", true, false);
                   e->btnok->click();
               });
    EXPECT_EQ(editorTitle, QStringLiteral("Nový záznam"));
    withEditor([&] { w.btn_add->click(); },
               [](Tfphonebookentry *e) {
                   fill(e, "777 888 999", "Žofie Šťastná", false, true);
                   e->btnok->click();
               });
    EXPECT_EQ(rows(), QStringList({QStringLiteral("+420 603 123 456|Jan Novák|ano|"),
                                   QStringLiteral("777 888 999|Žofie Šťastná||ano")}));
    EXPECT_EQ(stored(), session->Phonebook().Entries());
    EXPECT_EQ(w.CurrentNumber(), QStringLiteral("777 888 999"));
    EXPECT_EQ(w.lb_count->text(), QStringLiteral("Záznamů: 2"));

    // The same number written otherwise is refused while the editor stays open.
    bool stillOpen = false;
    withEditor([&] { w.btn_add->click(); },
               [&](Tfphonebookentry *e) {
                   fill(e, "603-123-456", "Někdo jiný", false, false);
                   e->btnok->click();
                   stillOpen = e->isVisible();
                   e->btncancel->click();
               });
    EXPECT_TRUE(stillOpen);
    ASSERT_EQ(boxes.boxes().size(), 1);
    EXPECT_EQ(boxes.boxes()[0].text, QStringLiteral("Číslo +420 603 123 456 už v telefonním seznamu je (Jan Novák)."));
    EXPECT_EQ(session->Phonebook().Count(), 2);

    // Editing keeps the entry's place in the file, even with another number.
    select(QStringLiteral("+420 603 123 456"));
    withEditor([&] { w.btn_edit->click(); },
               [&](Tfphonebookentry *e) {
                   editorTitle = e->windowTitle();
                   EXPECT_EQ(e->ed_name->text(), QStringLiteral("Jan Novák"));
                   EXPECT_TRUE(e->chb_record->isChecked());
                   fill(e, "603 123 457", "Jan Novák ml.", false, true);
                   e->btnok->click();
               });
    EXPECT_EQ(editorTitle, QStringLiteral("Upravit záznam"));
    ASSERT_EQ(stored().size(), 2);
    EXPECT_EQ(stored()[0], (TPhonebookEntry{QStringLiteral("603 123 457"), QStringLiteral("Jan Novák ml."), false, true}));
    EXPECT_EQ(w.CurrentNumber(), QStringLiteral("603 123 457"));

    // Another entry's number is refused on edit as well.
    boxes.clear();
    withEditor([&] { w.btn_edit->click(); },
               [](Tfphonebookentry *e) {
                   e->ed_number->setText(QStringLiteral("777888999"));
                   e->btnok->click();
                   e->btncancel->click();
               });
    ASSERT_EQ(boxes.boxes().size(), 1);
    EXPECT_TRUE(boxes.boxes()[0].text.contains(QStringLiteral("Žofie Šťastná")));
    EXPECT_EQ(stored()[0].Number, QStringLiteral("603 123 457"));

    // Delete asks first; No keeps the entry.
    boxes.clear();
    boxes.answer(mrNo);
    w.btn_delete->click();
    ASSERT_EQ(boxes.boxes().size(), 1);
    EXPECT_EQ(boxes.boxes()[0].kind, int(mkConfirmation));
    EXPECT_EQ(stored().size(), 2);
    boxes.answer(mrYes);
    w.btn_delete->click();
    EXPECT_EQ(stored(), QList<TPhonebookEntry>({{QStringLiteral("777 888 999"), QStringLiteral("Žofie Šťastná"), false, true}}));
    EXPECT_EQ(rows(), QStringList({QStringLiteral("777 888 999|Žofie Šťastná||ano")}));
    EXPECT_EQ(w.CurrentNumber(), QStringLiteral("777 888 999"));
}

TEST_F(PhonebookWindowTest, EntriesTheFileCannotHoldAreRefusedInTheEditor)
{
    Tfphonebook &w = makeWindow();
    for (const char *number : {"  ", "#31#", "- ( )"}) {
        boxes.clear();
        withEditor([&] { w.btn_add->click(); },
                   [number](Tfphonebookentry *e) {
                       fill(e, number, "Nikdo", false, false);
                       e->btnok->click();
                       e->btncancel->click();
                   });
        EXPECT_EQ(boxes.boxes().size(), 1) << number;
    }
    EXPECT_EQ(session->Phonebook().Count(), 0);
    EXPECT_FALSE(QFile::exists(bookFile()));
}

TEST_F(PhonebookWindowTest, ImportMergesAddressBooksAndKeepsTheMarks)
{
    session->Phonebook().SetCountryPrefix(QStringLiteral("420"));
    session->Phonebook().Put({QStringLiteral("603123456"), QStringLiteral("Honza"), true, false});
    session->SavePhonebook();
    Tfphonebook &w = makeWindow();

    const QString vcard = writeFile("kontakty.vcf",
                                    "BEGIN:VCARD\r\nVERSION:4.0\r\nFN:Jan Novák\r\nTEL;TYPE=cell:+420 603 123 456\r\n"
                                    "TEL;TYPE=work:tel:+420-222-333-444\r\nEND:VCARD\r\n"
                                    "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Šťastná;Žofie;;;\r\nTEL:777888999\r\nEND:VCARD\r\n");
    w.AskImportFileName = [&] { return vcard; };
    w.btn_import->click();
    ASSERT_EQ(boxes.boxes().size(), 1);
    EXPECT_EQ(boxes.boxes()[0].kind, int(mkInformation));
    EXPECT_EQ(boxes.boxes()[0].text, QStringLiteral("Ze souboru bylo načteno čísel: 3. Nových nebo změněných záznamů: 3."));
    const QList<TPhonebookEntry> expected{
        {QStringLiteral("603123456"), QStringLiteral("Jan Novák"), true, false},
        {QStringLiteral("+420-222-333-444"), QStringLiteral("Jan Novák"), false, false},
        {QStringLiteral("777888999"), QStringLiteral("Žofie Šťastná"), false, false},
    };
    EXPECT_EQ(stored(), expected);
    EXPECT_EQ(w.lv_entries->topLevelItemCount(), 3);

    // CSV in the Czech code page, with a header.
    boxes.clear();
    const QString csv = writeFile("kontakty.csv", EncodeCp1250(QStringLiteral("Jméno;Telefon\r\nŘehoř Čech;604 111 222\r\n")));
    w.AskImportFileName = [&] { return csv; };
    w.btn_import->click();
    ASSERT_EQ(stored().size(), 4);
    EXPECT_EQ(stored()[3], (TPhonebookEntry{QStringLiteral("604 111 222"), QStringLiteral("Řehoř Čech"), false, false}));

    // Cancelling the file dialog does nothing.
    boxes.clear();
    w.AskImportFileName = [] { return QString(); };
    w.btn_import->click();
    EXPECT_TRUE(boxes.calls().isEmpty());
}

TEST_F(PhonebookWindowTest, AFileThatCannotBeImportedChangesNothing)
{
    session->Phonebook().Put({QStringLiteral("603123456"), QStringLiteral("Honza"), true, false});
    session->SavePhonebook();
    const QByteArray before = ReadFileToString(bookFile());
    Tfphonebook &w = makeWindow();

    struct Case {
        const char *file;
        QByteArray bytes;
        QString reason;
    };
    const QList<Case> cases{
        {"nedokonceny.vcf", "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Jan\r\nTEL:604111222\r\n",
         QStringLiteral("Kontakt vCard č. 1 není ukončen")},
        {"text.csv", "Jméno;Telefon\r\nJan;zavolej mi\r\n", QStringLiteral("nemá telefonní číslo")},
        {"prazdny.csv", "", QStringLiteral("Soubor neobsahuje žádný kontakt")},
        // The first contact could be stored, the second not: neither is.
        {"sluzby.vcf", "BEGIN:VCARD\r\nFN:Jan\r\nTEL:604111222\r\nEND:VCARD\r\nBEGIN:VCARD\r\nFN:Operátor\r\nTEL:#31#\r\nEND:VCARD\r\n",
         QStringLiteral("Číslo nesmí začínat znakem #")},
    };
    for (const Case &c : cases) {
        boxes.clear();
        const QString file = writeFile(c.file, c.bytes);
        EXPECT_FALSE(w.ImportFile(file)) << c.file;
        ASSERT_EQ(boxes.boxes().size(), 1) << c.file;
        EXPECT_EQ(boxes.boxes()[0].kind, int(mkError));
        const QString text = boxes.boxes()[0].text;
        EXPECT_TRUE(text.contains(QStringLiteral("nelze importovat. Telefonní seznam zůstal beze změny."))) << text.toStdString();
        EXPECT_TRUE(text.contains(c.reason)) << text.toStdString();
        EXPECT_EQ(ReadFileToString(bookFile()), before) << c.file;
        EXPECT_EQ(session->Phonebook().Count(), 1) << c.file;
        EXPECT_EQ(w.lv_entries->topLevelItemCount(), 1) << c.file;
    }
    boxes.clear();
    EXPECT_FALSE(w.ImportFile(data.file(QStringLiteral("neni.vcf"))));
    EXPECT_EQ(boxes.boxes().size(), 1);
    EXPECT_EQ(ReadFileToString(bookFile()), before);
}

TEST_F(PhonebookWindowTest, AChangeThatCannotBeStoredIsTakenBack)
{
    // The phonebook lies beside a settings file in a folder that is not there.
    session->SetSettingsFileName(data.file(QStringLiteral("chybi/tembrel.ini")));
    Tfphonebook &w = makeWindow();
    withEditor([&] { w.btn_add->click(); },
               [](Tfphonebookentry *e) {
                   fill(e, "603123456", "Jan", false, false);
                   e->btnok->click();
               });
    ASSERT_EQ(boxes.boxes().size(), 1);
    EXPECT_EQ(boxes.boxes()[0].kind, int(mkError));
    EXPECT_TRUE(boxes.boxes()[0].text.contains(QStringLiteral("nelze uložit")));
    EXPECT_EQ(session->Phonebook().Count(), 0);
    EXPECT_EQ(w.lv_entries->topLevelItemCount(), 0);
}

TEST_F(PhonebookWindowTest, ADamagedFileIsKeptAsideBeforeTheFirstChange)
{
    const QByteArray damaged = "603123456\tJan\tR\n604111222\n";
    writeFile("phonebook.txt", damaged);
    openCallLog();
    ASSERT_FALSE(session->PhonebookProblem().isEmpty());
    Tfphonebook &w = makeWindow();
    EXPECT_FALSE(w.lb_problem->isHidden());
    EXPECT_TRUE(w.lb_problem->text().contains(QStringLiteral("řádku 2")));
    EXPECT_TRUE(w.lb_problem->text().contains(QStringLiteral("phonebook.damaged.txt")));
    // Only looking changes nothing.
    EXPECT_EQ(ReadFileToString(bookFile()), damaged);

    withEditor([&] { w.btn_add->click(); },
               [](Tfphonebookentry *e) {
                   fill(e, "777888999", "Žofie", false, false);
                   e->btnok->click();
               });
    EXPECT_TRUE(boxes.calls().isEmpty());
    EXPECT_EQ(ReadFileToString(data.file(QStringLiteral("phonebook.damaged.txt"))), damaged);
    EXPECT_EQ(stored().size(), 1);
    EXPECT_TRUE(session->PhonebookProblem().isEmpty());
    EXPECT_TRUE(w.lb_problem->isHidden());
    // From then on the file is the phonebook's own, and no further copy is made.
    withEditor([&] { w.btn_add->click(); },
               [](Tfphonebookentry *e) {
                   fill(e, "777888990", "Petr", false, false);
                   e->btnok->click();
               });
    EXPECT_FALSE(QFile::exists(data.file(QStringLiteral("phonebook.damaged-2.txt"))));
    EXPECT_EQ(stored().size(), 2);
}

TEST_F(PhonebookWindowTest, ListSortsNamesTheCzechWay)
{
    int number = 603000000;
    for (const char *name : {"Kontakt 10", "Dvořák", "Čermák", "Kontakt 2", "cibulka"})
        session->Phonebook().Put({QString::number(++number), QString::fromUtf8(name), false, false});
    makeWindow();
    QStringList names;
    for (const QString &row : rows())
        names.append(row.section(QLatin1Char('|'), 1, 1));
    EXPECT_EQ(names, QStringList({QStringLiteral("cibulka"), QStringLiteral("Čermák"), QStringLiteral("Dvořák"),
                                  QStringLiteral("Kontakt 2"), QStringLiteral("Kontakt 10")}));
}

TEST_F(PhonebookWindowTest, WindowsShowTheirWholeContents)
{
    for (int i = 0; i < 12; ++i)
        session->Phonebook().Put({QStringLiteral("60312345%1").arg(i), QStringLiteral("Kontakt č. %1 Příjmení").arg(i), i % 3 == 0, i % 4 == 1});
    Tfphonebook &w = makeWindow();
    w.show();
    QApplication::processEvents();
    auto fits = [](QWidget *window) {
        for (QWidget *child : window->findChildren<QWidget *>()) {
            if (!child->isVisible() || child->parentWidget() != window)
                continue;
            EXPECT_TRUE(window->rect().contains(QRect(child->pos(), child->size()))) << child->metaObject()->className();
            if (auto *b = qobject_cast<QAbstractButton *>(child)) {
                EXPECT_GE(b->width(), b->sizeHint().width()) << b->text().toStdString();
            }
        }
    };
    fits(&w);
    w.grab().save(QDir::temp().filePath(QStringLiteral("tembrel-phonebook.png")));

    select(QStringLiteral("603123450"));
    withEditor([&] { w.btn_edit->click(); },
               [&](Tfphonebookentry *e) {
                   QApplication::processEvents();
                   fits(e);
                   e->grab().save(QDir::temp().filePath(QStringLiteral("tembrel-phonebook-entry.png")));
                   e->btncancel->click();
               });
    w.hide();
}

} // namespace
