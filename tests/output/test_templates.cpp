#include "outputfixture.h"

#include "cfghandler.h"
#include "codepage1250.h"
#include "myutils.h"
#include "outputtemplates.h"

#include <QFile>
#include <gtest/gtest.h>

TEST(OutputDefinition, TextAndParseKeepPositions)
{
    TOutputDefinition d;
    d.Type = 2;
    d.Title = QStringLiteral("Hovory; leden|únor");
    d.PrintFilter = false;
    d.Orientation = 2;
    d.Columns = QStringList{QStringLiteral("WHENSTART"), QStringLiteral("WHENLENGTH (sčítat)")};
    EXPECT_EQ(d.Text(), QStringLiteral("2;Hovory, leden,únor;1;0;1;2;WHENSTART;WHENLENGTH (sčítat)"));
    const TOutputDefinition back = TOutputDefinition::Parse(d.Text());
    EXPECT_EQ(back.Type, 2);
    EXPECT_EQ(back.Title, QStringLiteral("Hovory, leden,únor"));
    EXPECT_FALSE(back.PrintFilter);
    EXPECT_EQ(back.Columns, d.Columns);

    // Short or odd definitions keep the defaults where nothing usable stands.
    const TOutputDefinition odd = TOutputDefinition::Parse(QStringLiteral("x;T;ano;0"));
    EXPECT_EQ(odd.Type, 0);
    EXPECT_TRUE(odd.PrintTimestamp) << "not a number counts as true";
    EXPECT_FALSE(odd.PrintFilter);
    EXPECT_TRUE(odd.PrintRecordCount);
    EXPECT_EQ(odd.Orientation, 0);
    EXPECT_TRUE(odd.Columns.isEmpty());
    EXPECT_EQ(StripAccelerators(QStringLiteral("&Denní && noční")), QStringLiteral("Denní & noční"));
}

namespace {
class TemplateStoreTest : public DataDirTest {
protected:
    TFileCfgHandler cfg{data.path()};
    TOutputTemplates store{&cfg, QStringLiteral("frg_audio")};
    QString dbo() const { return data.file(QStringLiteral("frg_audio.dbo")); }
};
} // namespace

TEST_F(TemplateStoreTest, StoredSortedInCodePage1250AndDeletedWhenEmpty)
{
    QStringList lines;
    TOutputTemplates::Store(lines, QStringLiteral("zima"), QStringLiteral("4;Výpis;1;1;1;0"));
    TOutputTemplates::Store(lines, QStringLiteral("Denní"), QStringLiteral("0;Výpis;1;1;1;0;CALLTYPENAME"));
    TOutputTemplates::Store(lines, QStringLiteral("&DENNÍ"), QStringLiteral("3;Výpis;1;1;1;0"));
    EXPECT_EQ(lines.size(), 2) << "the same name without letter case and accelerators replaces";
    store.WriteLines(lines);
    EXPECT_EQ(ReadAll(dbo()), EncodeCp1250(QStringLiteral("&DENNÍ=3;Výpis;1;1;1;0\r\nzima=4;Výpis;1;1;1;0\r\n")));
    EXPECT_EQ(store.Lines(), lines);
    EXPECT_EQ(TOutputTemplates::IndexOf(lines, QStringLiteral("ZIMA")), 1);

    lines.removeAt(0);
    lines.removeAt(0);
    store.WriteLines(lines);
    EXPECT_FALSE(QFile::exists(dbo()));
    EXPECT_TRUE(store.Lines().isEmpty());
}

TEST_F(TemplateStoreTest, DamagedFilesAreReportedAndLeftAlone)
{
    for (const QByteArray &damage : {QByteArray("Denn\xED=0;V\0\x01\x02", 10), QByteArray("Denní=0\r\nbez rovnítka\r\n")}) {
        ASSERT_TRUE(WriteStringToFile(damage, dbo()));
        try {
            store.Lines();
            ADD_FAILURE() << "damage must be reported";
        } catch (const Exception &e) {
            EXPECT_TRUE(e.message().contains(dbo())) << e.message().toStdString();
            EXPECT_TRUE(e.message().contains(QStringLiteral("poškozen")));
        }
        EXPECT_EQ(ReadAll(dbo()), damage);
    }
}

TEST_F(TemplateStoreTest, ExchangeFilesCarryOneTemplate)
{
    const QString tmo = data.file(QStringLiteral("Denní.tmo"));
    TOutputTemplates::WriteExchangeFile(tmo, QStringLiteral("Denní=0;Výpis;1;1;1;0;WHENSTART"));
    EXPECT_EQ(ReadAll(tmo), EncodeCp1250(QStringLiteral("Denní=0;Výpis;1;1;1;0;WHENSTART\r\n")));
    QString name, definition;
    TOutputTemplates::ReadExchangeFile(tmo, name, definition);
    EXPECT_EQ(name, QStringLiteral("Denní"));
    EXPECT_EQ(definition, QStringLiteral("0;Výpis;1;1;1;0;WHENSTART"));

    ASSERT_TRUE(WriteStringToFile("jen nazev\r\n", tmo));
    TOutputTemplates::ReadExchangeFile(tmo, name, definition);
    EXPECT_EQ(name, QStringLiteral("jen nazev"));
    EXPECT_TRUE(definition.isEmpty());

    for (const QByteArray &bad : {QByteArray(), QByteArray("=0;x\r\n"), QByteArray("\x7f" "ELF\x02\x01\x01\0\0", 9)}) {
        ASSERT_TRUE(WriteStringToFile(bad, tmo));
        try {
            TOutputTemplates::ReadExchangeFile(tmo, name, definition);
            ADD_FAILURE() << "not a template: " << bad.toHex().toStdString();
        } catch (const Exception &e) {
            EXPECT_EQ(e.message(), QStringLiteral("Neplatný soubor šablony"));
        }
    }
    EXPECT_THROW(TOutputTemplates::ReadExchangeFile(data.file(QStringLiteral("none.tmo")), name, definition), Exception);
}
