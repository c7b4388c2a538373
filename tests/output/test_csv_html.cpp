#include "outputfixture.h"

#include "codepage1250.h"
#include "dboutput_csv.h"
#include "dboutput_html.h"
#include "formatsettings.h"
#include "outputwriters.h"

#include <QFile>
#include <gtest/gtest.h>

namespace {
class CsvHtmlTest : public DataDirTest {
protected:
    ScriptedFileChooser files;
    RecordingOutputWindows windows;
    ScriptedMessageBox boxes;

    Tdboutputsfields fieldsOf(std::initializer_list<const char *> names)
    {
        Tdboutputsfields fields;
        for (const char *n : names)
            fields.push_back({QString::fromLatin1(n), -1, QString(), 0, false});
        return fields;
    }
    QStringList csvLines(const QString &file)
    {
        QString text = DecodeCp1250(ReadAll(file));
        EXPECT_TRUE(text.endsWith(QStringLiteral("\r\n")));
        text.chop(2);
        return text.split(QStringLiteral("\r\n"));
    }
};
} // namespace

TEST_F(CsvHtmlTest, CsvKeepsOneColumnPerSeparatorInCodePage1250)
{
    auto table = MakeCallTable();
    AddCall(*table, 3, 12.5, QStringLiteral("602;111|222"), EncodeDate(2024, 5, 6) + EncodeTime(7, 8, 9),
            QStringLiteral("řádek 1\r\nřádek 2\nřádek 3"));
    table->append(); // a row whose first value is empty
    table->fieldByName(QStringLiteral("PHONENUMBER")).setAsString(QStringLiteral("Žluťoučký kůň"));
    table->post();
    const QString file = data.file(QStringLiteral("calls.csv"));
    files.answer(file);
    Tdboutputsfields fields = fieldsOf({"CALLTYPE", "WHENLENGTH", "PHONENUMBER", "WHENSTART", "NOTE"});
    fields[2].Caption = QStringLiteral("Číslo;|x");
    boxes.answer(mrCancel);
    ASSERT_TRUE(Tdboutput_csv::Execute(*table, fields, true, true));

    EXPECT_FALSE(ReadAll(file).contains("\xC3")) << "code page 1250, not UTF-8";
    const QStringList lines = csvLines(file);
    ASSERT_EQ(lines.size(), 3);
    for (const QString &line : lines)
        EXPECT_EQ(line.count(QLatin1Char(';')), 4) << line.toStdString();
    EXPECT_EQ(lines[0], QStringLiteral("Typ;WHENLENGTH;Číslo,,x;WHENSTART;NOTE"));
    EXPECT_EQ(lines[1], QStringLiteral("3;12,5;602,111,222;6.5.2024 7:08:09;řádek 1 řádek 2 řádek 3"));
    EXPECT_EQ(lines[2], QStringLiteral(";;Žluťoučký kůň;;"));

    EXPECT_EQ(files.specs[0].Title, QStringLiteral("Export do CSV souboru"));
    EXPECT_EQ(files.specs[0].Filter, QStringLiteral("csv soubory (*.csv)|*.csv"));
    ASSERT_EQ(boxes.boxes().size(), 1);
    EXPECT_EQ(boxes.boxes()[0].text, QStringLiteral("Export do CSV dokumentu byl úspěšně dokončen, přejete si dokument otevřít?"));
    EXPECT_TRUE(windows.opened.isEmpty()) << "Cancel opens nothing";
}

TEST_F(CsvHtmlTest, FrameRestoresTheTableAndReportsEvery500Rows)
{
    auto table = MakeCallTable(1000);
    table->setRecNo(17);
    int scrolls = 0;
    table->afterScroll = [&](TMemTable &) { ++scrolls; };
    files.answer(data.file(QStringLiteral("a"))); // no extension: the default one is added
    boxes.answer(mrOk);
    ASSERT_TRUE(Tdboutput_csv::Execute(*table, {}, true, false));

    EXPECT_EQ(scrolls, 0) << "the scroll handler is detached for the walk";
    EXPECT_EQ(table->recNo(), 17);
    EXPECT_FALSE(table->controlsDisabled());
    EXPECT_TRUE(bool(table->afterScroll));
    EXPECT_EQ(WaitDepth(), 0);
    EXPECT_FALSE(windows.open);
    EXPECT_EQ(windows.shown, QStringList{QStringLiteral("Export do CSV souboru|Probíhá exportování záznamů...")});
    EXPECT_EQ(windows.messages,
              (QStringList{QStringLiteral("Vyexportováno 500 záznamů"), QStringLiteral("Vyexportováno 1000 záznamů")}));
    EXPECT_EQ(windows.opened, QStringList{data.file(QStringLiteral("a.csv"))});
    EXPECT_EQ(csvLines(data.file(QStringLiteral("a.csv"))).size(), 1000) << "no header line";
}

TEST_F(CsvHtmlTest, CancelAndUnknownFieldsChangeNothing)
{
    auto table = MakeCallTable(3);
    EXPECT_FALSE(Tdboutput_csv::Execute(*table, {}, true, true));
    EXPECT_TRUE(windows.shown.isEmpty());
    EXPECT_TRUE(boxes.calls().isEmpty());

    const QString file = data.file(QStringLiteral("x.csv"));
    files.answer(file);
    EXPECT_THROW(Tdboutput_csv::Execute(*table, fieldsOf({"NOSUCH"}), true, true), Exception);
    EXPECT_FALSE(QFile::exists(file));
    EXPECT_TRUE(windows.shown.isEmpty()) << "the field list is checked before the walk starts";
}

TEST_F(CsvHtmlTest, EmptyFieldListExportsEveryFieldUnderItsLabel)
{
    auto table = MakeCallTable(0);
    const QString file = data.file(QStringLiteral("e.csv"));
    Tdboutput_csv::ExportToFile(*table, {}, true, file);
    EXPECT_EQ(csvLines(file), QStringList{QStringLiteral("Typ;WHENLENGTH;PHONENUMBER;WHENSTART;NOTE")});
}

namespace {
bool wellFormed(const QString &file, QString &why)
{
    QByteArray out;
    int code = -1;
    if (!RunPeer(QStringLiteral("xmllint"), {QStringLiteral("--noout"), QStringLiteral("--nonet"), file}, out, code,
                 why))
        return false;
    why = QString::fromUtf8(out);
    return code == 0 && out.isEmpty();
}
} // namespace

TEST_F(CsvHtmlTest, HtmlIsWellFormedAndEscapesEveryUserText)
{
    auto table = MakeCallTable();
    AddCall(*table, 2, 1234.25, QStringLiteral("<b>&amp; 'x\""), EncodeDate(2024, 1, 2), QStringLiteral("a\r\nb"));
    AddCall(*table, 3, 10, QStringLiteral("Žluťoučký"), EncodeDate(2024, 1, 3));
    Tdboutputsfields fields = fieldsOf({"WHENLENGTH", "PHONENUMBER", "NOTE"});
    fields[0].Sum = true;
    fields[1].Caption = QStringLiteral("Číslo <i>&");
    const QString file = data.file(QStringLiteral("page.html"));
    Tdboutput_html::ExportToFile(*table, fields, QStringLiteral("<script>alert(1)</script> a & b"),
                                 QStringLiteral("Typ: <vše>\r\nDatum: 1.1.2024 - ..."), true, true, file);
    const QByteArray bytes = ReadAll(file);
    ASSERT_FALSE(bytes.startsWith("\xEF\xBB\xBF")) << "no byte order mark";
    const QString html = QString::fromUtf8(bytes);

    QString why;
    if (!QFile::exists(QStringLiteral("/usr/bin/xmllint")))
        GTEST_SKIP() << "xmllint (libxml2-utils) is not installed";
    EXPECT_TRUE(wellFormed(file, why)) << why.toStdString();

    EXPECT_FALSE(html.contains(QStringLiteral("<script>")));
    EXPECT_TRUE(html.contains(QStringLiteral("    <title>&lt;script&gt;alert(1)&lt;/script&gt; a &amp; b</title>\r\n")));
    EXPECT_TRUE(html.contains(QStringLiteral("    <div>Typ: &lt;vše&gt;<br/>Datum: 1.1.2024 - ...</div>\r\n")));
    EXPECT_TRUE(html.contains(QStringLiteral("        <th>Číslo &lt;i&gt;&amp;</th>\r\n")));
    EXPECT_TRUE(html.contains(QStringLiteral("        <th class=\"rt\">WHENLENGTH</th>\r\n")));
    EXPECT_TRUE(html.contains(QStringLiteral(
        "      <tr><td class=\"rt\">1\u00A0234,3</td><td>&lt;b&gt;&amp;amp; &apos;x&quot;</td><td>a b</td></tr>\r\n")));
    EXPECT_TRUE(html.contains(QStringLiteral("      <tr><td colspan=\"3\"><hr/></td></tr>\r\n")));
    // The sum keeps its column's format and class; the next cell has no class.
    EXPECT_TRUE(html.contains(QStringLiteral(
        "      <tr style=\"font-weight:bold;\"><td class=\"rt\">1\u00A0244,3</td><td>&#160;</td><td>&#160;</td></tr>\r\n")));
    EXPECT_TRUE(html.contains(QStringLiteral("<strong>Počet záznamů: </strong>2</div>")));
    EXPECT_TRUE(html.endsWith(QStringLiteral("  </body>\r\n</html>\r\n")));
}

TEST_F(CsvHtmlTest, HtmlOfAnEmptyListHasZeroSumsAndGroupedCounts)
{
    auto empty = MakeCallTable();
    Tdboutputsfields fields = fieldsOf({"PHONENUMBER", "WHENLENGTH"});
    fields[1].Sum = true;
    const QString html = QString::fromUtf8(Tdboutput_html::Build(*empty, (Tdboutputs::Prepare(*empty, fields), fields),
                                                                 QStringLiteral("T"), QString(), false, true));
    EXPECT_FALSE(html.contains(QStringLiteral("Výpis vytvořen")));
    EXPECT_TRUE(html.contains(QStringLiteral("<tr style=\"font-weight:bold;\"><td>Součty:&#160;</td><td class=\"rt\">0,0</td></tr>")));
    EXPECT_TRUE(html.contains(QStringLiteral("Počet záznamů: </strong>0</div>")));

    auto many = MakeCallTable(1234);
    Tdboutputsfields one = fieldsOf({"CALLTYPE"});
    Tdboutputs::Prepare(*many, one);
    const QString big = QString::fromUtf8(Tdboutput_html::Build(*many, one, QStringLiteral("T"), QString(), true, true));
    EXPECT_TRUE(big.contains(QStringLiteral("Počet záznamů: </strong>1\u00A0234</div>")));
    EXPECT_TRUE(big.contains(QStringLiteral("    <div>Výpis vytvořen: ")));
}

TEST(OutputWriterTable, MapsTypesAndFileNames)
{
    EXPECT_EQ(OutputTypeOfFileName(QStringLiteral("a.CSV")), otCsv);
    EXPECT_EQ(OutputTypeOfFileName(QStringLiteral("a.htm")), otHtml);
    EXPECT_EQ(OutputTypeOfFileName(QStringLiteral("a.html")), otHtml);
    EXPECT_EQ(OutputTypeOfFileName(QStringLiteral("a.xls")), otXls);
    EXPECT_EQ(OutputTypeOfFileName(QStringLiteral("a.pdf")), otPdf);
    EXPECT_EQ(OutputTypeOfFileName(QStringLiteral("a")), -1);
    EXPECT_EQ(PrintOrientationCode(1), 0);
    EXPECT_EQ(PrintOrientationCode(2), 1);
    EXPECT_EQ(PrintOrientationCode(0), 2);
}
