// Names for numbers: the phonebook file, number comparison and address-book imports.
#include "codepage1250.h"
#include "contactimport.h"
#include "exception.h"
#include "myutils.h"
#include "phonebook.h"
#include "support/tempdatadir.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

namespace {

TPhonebookEntry Entry(const char *number, const char *name, bool record = false, bool isPrivate = false)
{
    return TPhonebookEntry{QString::fromUtf8(number), QString::fromUtf8(name), record, isPrivate};
}

TEST(PhonebookNumbers, BlanksDashesAndTheOwnCountryPrefixDoNotCount)
{
    EXPECT_EQ(TPhonebook::Normalise(QStringLiteral("+420 603-123 456"), QStringLiteral("420")), QStringLiteral("603123456"));
    EXPECT_EQ(TPhonebook::Normalise(QStringLiteral("00420 (603) 123.456"), QStringLiteral("420")), QStringLiteral("603123456"));
    // Another country's numbers keep their prefix; without a prefix nothing is stripped.
    EXPECT_EQ(TPhonebook::Normalise(QStringLiteral("+421 903 123 456"), QStringLiteral("420")), QStringLiteral("+421903123456"));
    EXPECT_EQ(TPhonebook::Normalise(QStringLiteral("+420603"), QString()), QStringLiteral("+420603"));
    // The prefix alone is not a number to strip down to nothing.
    EXPECT_EQ(TPhonebook::Normalise(QStringLiteral("+420"), QStringLiteral("420")), QStringLiteral("+420"));

    TPhonebook book;
    book.SetCountryPrefix(QStringLiteral("+420"));
    book.Put(Entry("603 123 456", "Jan Novák"));
    EXPECT_EQ(book.NameOf(QStringLiteral("+420603123456")), QStringLiteral("Jan Novák"));
    EXPECT_EQ(book.NameOf(QStringLiteral("00420-603-123-456")), QStringLiteral("Jan Novák"));
    EXPECT_TRUE(book.NameOf(QStringLiteral("603123457")).isEmpty());
    EXPECT_TRUE(book.NameOf(QString()).isEmpty());
    // One entry per number: the same number written otherwise replaces it.
    book.Put(Entry("+420603123456", "Jan Novák ml."));
    EXPECT_EQ(book.Count(), 1);
    EXPECT_EQ(book.NameOf(QStringLiteral("603123456")), QStringLiteral("Jan Novák ml."));
    EXPECT_TRUE(book.Remove(QStringLiteral("603-123-456")));
    EXPECT_EQ(book.Count(), 0);
}

TEST(PhonebookNumbers, EntriesThatWouldBreakTheFileAreRefused)
{
    TPhonebook book;
    EXPECT_THROW(book.Put(Entry(" - ", "Nikdo")), Exception);
    EXPECT_THROW(book.Put(Entry("603", "Tab\tulátor")), Exception);
    EXPECT_THROW(book.Put(Entry("603\n604", "Dva")), Exception);
    // The file reads a line that starts with "#" as a comment: the entry would vanish.
    EXPECT_THROW(book.Put(Entry(" #31#603", "Skrytě")), Exception);
    EXPECT_EQ(book.Count(), 0);
}

TEST(PhonebookNumbers, ReplaceKeepsThePlaceAndRefusesAnotherEntrysNumber)
{
    TPhonebook book;
    book.SetCountryPrefix(QStringLiteral("420"));
    book.Put(Entry("603123456", "Jan", true));
    book.Put(Entry("777888999", "Žofie"));
    book.Replace(QStringLiteral("+420 603 123 456"), Entry("603 000 111", "Jan Novák", false, true));
    ASSERT_EQ(book.Count(), 2);
    EXPECT_EQ(book.Entries().at(0), Entry("603 000 111", "Jan Novák", false, true));
    EXPECT_EQ(book.NameOf(QStringLiteral("603000111")), QStringLiteral("Jan Novák"));
    EXPECT_TRUE(book.NameOf(QStringLiteral("603123456")).isEmpty());
    // The same number written otherwise is the same entry.
    book.Replace(QStringLiteral("603000111"), Entry("+420603000111", "Jan Novák"));
    EXPECT_EQ(book.Count(), 2);

    const QList<TPhonebookEntry> before = book.Entries();
    EXPECT_THROW(book.Replace(QStringLiteral("603000111"), Entry("777 888 999", "Dvojník")), Exception);
    EXPECT_THROW(book.Replace(QStringLiteral("111"), Entry("112", "Nikdo")), Exception);
    EXPECT_THROW(book.Replace(QStringLiteral("603000111"), Entry("", "Bez čísla")), Exception);
    EXPECT_EQ(book.Entries(), before);
    EXPECT_EQ(book.NameOf(QStringLiteral("777888999")), QStringLiteral("Žofie"));
}

class PhonebookFile : public DataDirTest {};

TEST_F(PhonebookFile, RoundTripKeepsNamesMarksAndOrder)
{
    TPhonebook book;
    book.Put(Entry("603123456", "Jan Novák", true, false));
    book.Put(Entry("+420 777 888 999", "Žofie Šťastná", false, true));
    book.Put(Entry("212", "Ústředna"));
    const QString file = data.file("phonebook.txt");
    book.Save(file);

    TPhonebook read;
    read.Load(file);
    EXPECT_EQ(read.Entries(), book.Entries());
    const QByteArray bytes = ReadFileToString(file);
    EXPECT_TRUE(bytes.contains("603123456\tJan Nov\xC3\xA1k\tR\n"));
    EXPECT_TRUE(bytes.contains("212\t\xC3\x9Ast\xC5\x99\x65\x64na\n"));
}

TEST_F(PhonebookFile, AMissingFileIsEmptyAndADamagedOneChangesNothing)
{
    TPhonebook book;
    book.Load(data.file("none.txt"));
    EXPECT_EQ(book.Count(), 0);
    book.Put(Entry("603", "Zůstane"));

    struct Case {
        const char *bytes;
        const char *message;
    };
    for (const Case &c : {Case{"603\tA\n604 bez tabulátoru\n", "na řádku 2"},
                          Case{"# poznámka\n\tbez čísla\n", "chybí číslo"},
                          Case{"603\tA\tX\n", "neznámá značka \"X\""},
                          Case{"603\tA\n+420603\tB\n", "vícekrát"},
                          Case{"603\t\xE9\xE8\n", "UTF-8"}}) {
        SCOPED_TRACE(c.message);
        const QString file = data.file("damaged.txt");
        ASSERT_TRUE(WriteStringToFile(QByteArray(c.bytes), file));
        book.SetCountryPrefix(QStringLiteral("420"));
        try {
            book.Load(file);
            ADD_FAILURE() << "a damaged file was taken";
        } catch (const Exception &e) {
            EXPECT_TRUE(e.message().contains(QString::fromUtf8(c.message))) << e.message().toStdString();
        }
        ASSERT_EQ(book.Count(), 1);
        EXPECT_EQ(book.NameOf(QStringLiteral("603")), QStringLiteral("Zůstane"));
    }
    // Something that is not a readable file is not an empty phonebook.
    ASSERT_TRUE(QDir(data.path()).mkdir(QStringLiteral("folder.txt")));
    EXPECT_THROW(book.Load(data.file("folder.txt")), Exception);
    EXPECT_EQ(book.Count(), 1);
}

TEST(ContactImport, VCardsOfEveryVersionGiveOneEntryPerNumber)
{
    const QByteArray cards =
        "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Nov\xC3\xA1k;Jan;;;\r\nFN:Jan Nov\xC3\xA1k\r\n"
        "TEL;TYPE=CELL:+420 603 123 456\r\nTEL;TYPE=WORK,VOICE:212 345 678\r\nEND:VCARD\r\n"
        "BEGIN:VCARD\r\nVERSION:4.0\r\nFN:\xC5\xBD\x6F\x66ie \\, \r\n \xC5\xA0\xC5\xA5\x61stn\xC3\xA1\r\n"
        "item1.TEL;VALUE=uri;TYPE=\"voice,home\":tel:+420-777-888-999;ext=12\r\nEND:VCARD\r\n"
        "BEGIN:VCARD\nVERSION:2.1\nN;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:=C5=98eh=C3=A1k;Petr\n"
        "TEL;HOME:555 01 02\nEND:VCARD\n"
        "BEGIN:VCARD\nVERSION:3.0\nFN:Bez telefonu\nEND:VCARD\n";
    const QList<TPhonebookEntry> entries = ImportContacts(cards);
    ASSERT_EQ(entries.size(), 4);
    EXPECT_EQ(entries.at(0), Entry("+420 603 123 456", "Jan Novák"));
    EXPECT_EQ(entries.at(1), Entry("212 345 678", "Jan Novák"));
    EXPECT_EQ(entries.at(2), Entry("+420-777-888-999", "Žofie , Šťastná"));
    EXPECT_EQ(entries.at(3), Entry("555 01 02", "Petr Řehák"));

    TPhonebook book;
    book.SetCountryPrefix(QStringLiteral("420"));
    book.Put(Entry("603123456", "Honza", true));
    EXPECT_EQ(book.Merge(entries), 4);
    const TPhonebookEntry *merged = book.Find(QStringLiteral("603123456"));
    ASSERT_NE(merged, nullptr);
    EXPECT_EQ(merged->Name, QStringLiteral("Jan Novák"));
    EXPECT_TRUE(merged->Record); // the user's marks stay
    EXPECT_EQ(book.Merge(entries), 0);
}

TEST(ContactImport, DamagedVCardsAreRefused)
{
    EXPECT_THROW(ImportVCard("BEGIN:VCARD\nFN:A\nTEL:1\n"), Exception);
    EXPECT_THROW(ImportVCard("BEGIN:VCARD\nFN:A\nBEGIN:VCARD\nEND:VCARD\n"), Exception);
    EXPECT_THROW(ImportVCard("FN:A\nTEL:1\n"), Exception);
}

TEST(ContactImport, CsvInUtf8AndCodePage1250WithOrWithoutHeader)
{
    const QString text = QStringLiteral("Jméno;Telefon\r\n\"Novák; Jan\";603 123 456\r\nŽofie Šťastná;+420777888999\r\n");
    const QList<TPhonebookEntry> utf8 = ImportContacts(text.toUtf8());
    ASSERT_EQ(utf8.size(), 2);
    EXPECT_EQ(utf8.at(0), Entry("603 123 456", "Novák; Jan"));
    EXPECT_EQ(utf8.at(1), Entry("+420777888999", "Žofie Šťastná"));
    EXPECT_EQ(ImportContacts(EncodeCp1250(text)), utf8);

    const QList<TPhonebookEntry> bare = ImportCsv("603123456,Jan\n777888999,\"Eva \"\"Evi\"\" K.\"\n");
    ASSERT_EQ(bare.size(), 2);
    EXPECT_EQ(bare.at(1), Entry("777888999", "Eva \"Evi\" K."));

    EXPECT_THROW(ImportCsv("Jméno;Telefon\nJan;nevím\n"), Exception);
    EXPECT_THROW(ImportCsv("\n\n"), Exception);
}

} // namespace
