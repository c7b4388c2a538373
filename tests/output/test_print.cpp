#include "outputfixture.h"

#include "dboutput_print.h"
#include "displayformat.h"
#include "formatsettings.h"
#include "listreport.h"
#include "outputwriters.h"
#include "reportrunner.h"
#include "support/manualclock.h"

#include <QFile>
#include <QRegularExpression>
#include <gtest/gtest.h>

namespace {
const QString kCzech = QStringLiteral("ěščřžýáíúůťďň ĚŠČŘŽÝÁÍÉÚŮŤĎŇ");

const TReportControl *Find(const std::vector<TReportControl> &controls, const QString &name)
{
    for (const TReportControl &c : controls)
        if (c.name == name)
            return &c;
    return nullptr;
}

const TReportBand &Band(const TReportProject &p, TBandKind kind) { return *FindBand(p.reports[0].page.regions[0], kind); }

// A sum as text extraction gives it back: the thousands separator shares its glyph with the blank.
QString SumText(double value)
{
    static const QRegularExpression space(QStringLiteral("\\s"), QRegularExpression::UseUnicodePropertiesOption);
    return FormatNumber(QStringLiteral("#,##0.0"), value).replace(space, QStringLiteral(" "));
}

class PrintTest : public DataDirTest {
protected:
    ScriptedFileChooser files;
    RecordingOutputWindows windows;
    ScriptedMessageBox boxes;

    // Three columns of 100 grid pixels, as the dialog hands them over.
    static Tdboutputsfields DialogColumns(bool sumLength)
    {
        return {{QStringLiteral("CALLTYPE"), -1, QStringLiteral("Typ"), 100, false},
                {QStringLiteral("WHENLENGTH"), -1, QStringLiteral("Délka"), 100, sumLength},
                {QStringLiteral("PHONENUMBER"), -1, QStringLiteral("Číslo ") + kCzech, 100, false}};
    }
    static QString PdfText(const QString &pdf, QString &why)
    {
        QByteArray out;
        int code = -1;
        if (!RunPeer(QStringLiteral("pdftotext"), {QStringLiteral("-enc"), QStringLiteral("UTF-8"), pdf, QStringLiteral("-")},
                     out, code, why))
            return QString();
        return QString::fromUtf8(out);
    }
};
} // namespace

// The report of the dialog's columns: positions and widths from the grid's pixels,
// justification from the fields, sums in the fields' format, margins from the printer.
TEST_F(PrintTest, BuildsTheListReportOfTheChosenColumns)
{
    auto table = MakeCallTable(2);
    Tdboutputsfields fields = DialogColumns(true);
    Tdboutput_print::PrepareForPrint(*table, fields, 96);
    EXPECT_EQ(fields[0].Width, 100) << "the dialog's widths are pixels already";

    const TReportProject p = Tdboutput_print::BuildReport(*table, fields, QStringLiteral("Výpis"), QString(), false, true,
                                                          1, 96, {0.1, 0.5, 0.0, 0.3});
    ASSERT_EQ(p.reports.size(), 1u);
    const TReport &report = p.reports[0];
    EXPECT_EQ(report.name, QStringLiteral("Report1"));
    EXPECT_EQ(report.fullName, QStringLiteral("Tembrel Personal - Výpis"));
    EXPECT_EQ(report.page.orientation, 1);
    EXPECT_DOUBLE_EQ(report.page.marginLeft, 0.25) << "never below a quarter inch";
    EXPECT_DOUBLE_EQ(report.page.marginTop, 0.5) << "the printer's own margin when it is wider";
    EXPECT_DOUBLE_EQ(report.page.marginBottom, 0.3);

    const TReportBand &detail = Band(p, TBandKind::Detail), &header = Band(p, TBandKind::PageHeader);
    const double lefts[] = {0, 1.382, 2.764};
    const TJustify justify[] = {TJustify::Right, TJustify::Right, TJustify::Left}; // numbers right, text left
    for (int i = 0; i < 3; ++i) {
        const QString n = QString::number(i);
        const TReportControl *data = Find(detail.controls, QStringLiteral("DataText") + n);
        const TReportControl *caption = Find(header.controls, QStringLiteral("TitleText") + n);
        ASSERT_TRUE(data && caption);
        EXPECT_EQ(data->text, fields[size_t(i)].FieldName);
        EXPECT_EQ(caption->text, fields[size_t(i)].Caption);
        EXPECT_NEAR(data->width, 1.302, 0.0005);
        EXPECT_NEAR(data->left, lefts[i], 0.0015);
        EXPECT_EQ(data->justify, justify[i]) << i;
        EXPECT_EQ(caption->justify, justify[i]) << i;
    }
    EXPECT_NEAR(Find(header.controls, QStringLiteral("TopLine"))->width, 4.066, 0.0015);
    const TReportBand &footer = Band(p, TBandKind::Footer);
    const TReportControl *sum = Find(footer.controls, QStringLiteral("Calcsum1"));
    ASSERT_TRUE(sum);
    EXPECT_EQ(sum->displayFormat, QStringLiteral("#,##0.0"));
    EXPECT_EQ(sum->justify, TJustify::Right);
    EXPECT_FALSE(Find(footer.controls, QStringLiteral("Calcsum0")));
    EXPECT_DOUBLE_EQ(Find(footer.controls, QStringLiteral("RowCountText"))->top, 0.3);

    // A screen of another resolution keeps the columns as wide as they look there.
    const TReportProject wide = Tdboutput_print::BuildReport(*table, fields, QString(), QString(), false, false, 0, 120, {});
    EXPECT_NEAR(Find(Band(wide, TBandKind::Detail).controls, QStringLiteral("DataText0"))->width, 100 * 10 / (120.0 * 8),
                1e-9);
    EXPECT_FALSE(Find(Band(wide, TBandKind::Footer).controls, QStringLiteral("RowCountText")));
}

TEST_F(PrintTest, DateAndFilterBlockUnderTheTitle)
{
    ManualClock clock(1000, EncodeDate(2024, 2, 1) + EncodeTime(10, 5, 0));
    auto table = MakeCallTable(1);
    Tdboutputsfields fields = DialogColumns(false);
    Tdboutput_print::PrepareForPrint(*table, fields, 96);
    const TReportProject p = Tdboutput_print::BuildReport(
        *table, fields, QStringLiteral("Hovory"), QStringLiteral("Typ: Příchozí\r\nLinka: 1\r\nOd: 1.1.2024"), true, true,
        0, 96, {});
    const TReportBand &title = Band(p, TBandKind::TitleHeader);
    ASSERT_EQ(title.controls.size(), 5u) << "the title and four lines";
    EXPECT_EQ(title.controls[0].text, QStringLiteral("Hovory"));
    EXPECT_EQ(title.controls[1].text, QStringLiteral("Výpis vytvořen: 1.2.2024 10:05:00"));
    EXPECT_EQ(title.controls[4].text, QStringLiteral("Od: 1.1.2024"));
    EXPECT_DOUBLE_EQ(title.height, 0.35 + title.controls[4].top);
    // Without a summed column the count line sits higher.
    EXPECT_DOUBLE_EQ(Find(Band(p, TBandKind::Footer).controls, QStringLiteral("RowCountText"))->top, 0.15);
}

// A field list the dialog left empty takes the dataset's display widths, which count
// characters; read as pixels they would cut every value to nothing.
TEST_F(PrintTest, DatasetWidthsInCharactersPrintWholeValues)
{
    auto table = MakeCallTable();
    AddCall(*table, 3, 12.5, QStringLiteral("+420 602 111 222"), EncodeDate(2024, 5, 6) + EncodeTime(17, 8, 9));
    Tdboutputsfields fields;
    Tdboutput_print::PrepareForPrint(*table, fields, 96);
    ASSERT_EQ(fields.size(), 5u);
    for (const Tdboutputsfield &f : fields)
        EXPECT_GE(f.Width, Tdboutput_print::CharsToPixels(int(f.Caption.size()), 96)) << f.FieldName.toStdString();

    Tdboutputsfields named{{QStringLiteral("PHONENUMBER"), -1, QString(), 0, false},
                           {QStringLiteral("WHENSTART"), -1, QString(), 0, false}};
    Tdboutput_print::PrepareForPrint(*table, named, 96);
    const TTableReportSource source(*table);
    const TPageStream pages = RunReport(
        Tdboutput_print::BuildReport(*table, named, QString(), QString(), false, false, 0, 96, {}), QStringLiteral("Report1"),
        {{Tdboutput_print::DataViewName(), &source}});
    ASSERT_EQ(pages.pageCount(), 1);
    QStringList texts;
    for (const TPageText &t : pages.pages[0].texts)
        texts << t.text;
    EXPECT_TRUE(texts.contains(QStringLiteral("+420 602 111 222"))) << texts.join(QLatin1Char('|')).toStdString();
    EXPECT_TRUE(texts.contains(QStringLiteral("6.5.2024 17:08:09"))) << texts.join(QLatin1Char('|')).toStdString();
}

// Output type 1: the save dialog, the progress window with the page being made, the
// document, the question, and the dataset as it was.
TEST_F(PrintTest, DirectPdfThroughTheDialogProgressAndQuestion)
{
    auto table = MakeCallTable(150);
    AddCall(*table, 3, 7.5, kCzech, EncodeDate(2024, 3, 5));
    table->first();
    table->next();
    int scrolled = 0;
    table->afterScroll = [&scrolled](TMemTable &) { ++scrolled; };

    TOutputOptions options;
    options.Title = QStringLiteral("Hovory ") + kCzech;
    options.FilterText = QStringLiteral("Typ hovoru: Příchozí");
    options.Orientation = 1; // portrait
    files.answer(QString());
    EXPECT_FALSE(RunOutputWriter(otPdf, *table, DialogColumns(true), options)) << "cancelled in the save dialog";
    EXPECT_TRUE(windows.shown.isEmpty());

    const QString pdf = data.file(QStringLiteral("hovory"));
    files.answer(pdf);
    boxes.answer(mrOk);
    ASSERT_TRUE(RunOutputWriter(otPdf, *table, DialogColumns(true), options));
    ASSERT_EQ(files.specs.size(), 2);
    EXPECT_EQ(files.specs[1].Title, QStringLiteral("Export do PDF dokumentu"));
    EXPECT_EQ(files.specs[1].Filter, QStringLiteral("PDF dokument (*.pdf)|*.pdf"));
    EXPECT_TRUE(files.specs[1].OverwritePrompt);
    EXPECT_EQ(windows.shown, QStringList{QStringLiteral("Export do PDF|Příprava pro vytvoření PDF...")});
    ASSERT_GE(windows.messages.size(), 2);
    EXPECT_EQ(windows.messages.first(), QStringLiteral("Vytváří se strana 1"));
    EXPECT_TRUE(windows.messages.contains(QStringLiteral("Vytváří se strana 3")));
    EXPECT_EQ(windows.messages.last(), QStringLiteral("Dokončuje se vytváření PDF..."));
    EXPECT_FALSE(windows.open);
    ASSERT_EQ(boxes.boxes().size(), 1);
    EXPECT_EQ(boxes.boxes()[0].text,
              QStringLiteral("Export byl úspěšně dokončen, přejete si ho otevřít ve vašem PDF prohlížeči?"));
    EXPECT_EQ(windows.opened, QStringList{pdf + QStringLiteral(".pdf")});
    EXPECT_EQ(table->currentRecord(), 1) << "the current row is back";
    EXPECT_EQ(scrolled, 0) << "the walk does not reach the after-scroll handler";
    EXPECT_TRUE(bool(table->afterScroll));

    QByteArray out;
    int code = -1;
    QString why;
    if (!RunPeer(QStringLiteral("qpdf"), {QStringLiteral("--check"), pdf + QStringLiteral(".pdf")}, out, code, why))
        GTEST_SKIP() << why.toStdString();
    EXPECT_EQ(code, 0) << out.toStdString();
    const QString text = PdfText(pdf + QStringLiteral(".pdf"), why);
    if (qEnvironmentVariableIsSet("TEMBREL_KEEP_RENDER")) {
        const QString kept = qEnvironmentVariable("TEMBREL_KEEP_RENDER") + QStringLiteral("/direct.pdf");
        QFile::remove(kept);
        QFile::copy(pdf + QStringLiteral(".pdf"), kept);
    }
    ASSERT_FALSE(text.isEmpty()) << why.toStdString();
    for (const QString &expected :
         {options.Title, QStringLiteral("Typ hovoru: Příchozí"), QStringLiteral("Číslo ") + kCzech, QStringLiteral("Délka"),
          QStringLiteral("Strana 1/3"), QStringLiteral("Strana 3/3"), QStringLiteral("Součty:"),
          QStringLiteral("Počet záznamů:"), QStringLiteral("151"), SumText(11257.5),
          QStringLiteral("60149"), kCzech})
        EXPECT_TRUE(text.contains(expected)) << expected.toStdString();
}

TEST_F(PrintTest, PdfFileWithoutWindowsAndNoFileForThePreview)
{
    auto table = MakeCallTable(3);
    TOutputOptions options;
    options.Title = QStringLiteral("Bez oken");
    const QString pdf = data.file(QStringLiteral("bez.pdf"));
    ExportOutputToFile(otPdf, *table, {}, options, pdf);
    EXPECT_TRUE(boxes.boxes().isEmpty());
    EXPECT_TRUE(ReadAll(pdf).startsWith("%PDF-"));
    EXPECT_EQ(OutputTypeOfFileName(QStringLiteral("x.PDF")), otPdf);
    EXPECT_THROW(ExportOutputToFile(otPreview, *table, {}, options, data.file(QStringLiteral("p"))), Exception);
    EXPECT_THROW(RunOutputWriter(otPreview, *table, {}, options), Exception) << "no preview without windows";
}
