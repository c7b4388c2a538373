#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QRadioButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>
#include <QToolButton>

#include "filechooser.h"
#include "reportproject.h"
#include "reportsamples.h"
#include "rextprd.h"
#include "rextprev.h"
#include "support/scriptedmessagebox.h"
#include "support/tempdatadir.h"

TEST(PreviewZoom, StepsOfTwentyFiveWithinTenAndTwoHundred)
{
    EXPECT_EQ(Tfrextprev::ZoomInFrom(110), 125);
    EXPECT_EQ(Tfrextprev::ZoomOutFrom(110), 100);
    EXPECT_EQ(Tfrextprev::ZoomOutFrom(25), 10);
    EXPECT_EQ(Tfrextprev::ZoomOutFrom(100), 75);
    EXPECT_EQ(Tfrextprev::ZoomInFrom(100), 125);
    EXPECT_EQ(Tfrextprev::ZoomInFrom(190), 200);
    EXPECT_EQ(Tfrextprev::ZoomInFrom(200), 200);
    EXPECT_EQ(Tfrextprev::ZoomOutFrom(10), 10);
    EXPECT_EQ(Tfrextprev::ZoomInFrom(10), 25);
}

class PreviewWindow : public DataDirTest {
protected:
    void SetUp() override
    {
        const TListSource rows = CallRows(150);
        pages = RunList(ListReport(QStringLiteral("Náhled")), rows);
        ASSERT_EQ(pages.pageCount(), 3);
        preview.SetPages(pages);
        preview.resize(800, 600);
        preview.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&preview));
    }
    void key(int k, Qt::KeyboardModifiers mods = Qt::NoModifier) { QTest::keyClick(&preview, Qt::Key(k), mods); }

    TPageStream pages;
    Tfrextprev preview;
};

TEST_F(PreviewWindow, PageCommandsCaptionsAndKeys)
{
    EXPECT_EQ(preview.windowTitle(), QStringLiteral("Preview - Tembrel Personal - Náhled"));
    if (qEnvironmentVariableIsSet("TEMBREL_KEEP_RENDER"))
        preview.grab().save(qEnvironmentVariable("TEMBREL_KEEP_RENDER") + "/preview.png");
    EXPECT_TRUE(preview.isMaximized()) << "maximised on first activation";
    EXPECT_EQ(preview.btngoto->text(), QStringLiteral("&Strana: 1/3"));
    EXPECT_EQ(preview.btnzoom->text(), QStringLiteral("Z&oom: 100% "));
    EXPECT_FALSE(preview.btnfirst->isEnabled());
    EXPECT_FALSE(preview.btnprev->isEnabled());
    EXPECT_TRUE(preview.btnnext->isEnabled());

    key(Qt::Key_End, Qt::ControlModifier);
    EXPECT_EQ(preview.Page(), 3);
    EXPECT_FALSE(preview.btnlast->isEnabled());
    EXPECT_TRUE(preview.btnfirst->isEnabled());
    key(Qt::Key_PageUp, Qt::ControlModifier);
    EXPECT_EQ(preview.Page(), 2);
    key(Qt::Key_Home, Qt::ControlModifier);
    EXPECT_EQ(preview.Page(), 1);
    key(Qt::Key_PageDown, Qt::ControlModifier);
    EXPECT_EQ(preview.btngoto->text(), QStringLiteral("&Strana: 2/3"));

    preview.btnzoomin->click();
    EXPECT_EQ(preview.Zoom(), 125);
    QTest::keyClick(&preview, Qt::Key_Minus, Qt::KeypadModifier);
    QTest::keyClick(&preview, Qt::Key_Minus, Qt::KeypadModifier);
    EXPECT_EQ(preview.Zoom(), 75);
    EXPECT_EQ(preview.btnzoom->text(), QStringLiteral("Z&oom: 75% "));
    preview.SetZoom(10);
    EXPECT_FALSE(preview.btnzoomout->isEnabled());
    preview.SetZoom(500);
    EXPECT_EQ(preview.Zoom(), 200);
    EXPECT_FALSE(preview.btnzoomin->isEnabled());

    const bool rulers = preview.Rulers();
    key(Qt::Key_F6);
    EXPECT_NE(preview.Rulers(), rulers);
    EXPECT_EQ(preview.btnrulers->isChecked(), preview.Rulers());

    key(Qt::Key_Return);
    const QSize page = preview.scroll->widget()->size();
    EXPECT_LE(page.height(), preview.scroll->viewport()->height()) << "fit shows the whole page";
}

TEST_F(PreviewWindow, ScrollingMovesFromPageToPage)
{
    preview.SetZoom(200);
    QScrollBar *bar = preview.scroll->verticalScrollBar();
    ASSERT_GT(bar->maximum(), 0);
    // Page down walks down the page, then on to the next one's top.
    int guard = 0;
    while (preview.Page() == 1 && guard++ < 100)
        key(Qt::Key_PageDown);
    EXPECT_EQ(preview.Page(), 2);
    EXPECT_EQ(bar->value(), bar->minimum());
    // Up at the top shows the previous page from its bottom.
    key(Qt::Key_Up);
    EXPECT_EQ(preview.Page(), 1);
    EXPECT_EQ(bar->value(), bar->maximum());
    // Page down at the last page's bottom stays there.
    preview.SetPage(3);
    bar->setValue(bar->maximum());
    key(Qt::Key_PageDown);
    EXPECT_EQ(preview.Page(), 3);
    EXPECT_EQ(bar->value(), bar->maximum());
    key(Qt::Key_Down);
    EXPECT_EQ(preview.Page(), 3);

    // Mouse: left goes back a page, right forward.
    QWidget *view = preview.scroll->widget();
    QTest::mouseClick(view, Qt::LeftButton, {}, QPoint(50, 50));
    EXPECT_EQ(preview.Page(), 2);
    QTest::mouseClick(view, Qt::RightButton, {}, QPoint(50, 50));
    EXPECT_EQ(preview.Page(), 3);
}

TEST_F(PreviewWindow, ExportsThePagesShown)
{
    const QString pdf = data.file("shown.pdf");
    preview.ExportShownPages(pdf, false);
    QByteArray out;
    QProcess qpdf;
    qpdf.start("qpdf", {"--show-npages", pdf});
    if (!qpdf.waitForFinished(60000) || qpdf.exitCode() != 0)
        GTEST_SKIP() << "qpdf is not available";
    EXPECT_EQ(qpdf.readAllStandardOutput().trimmed().toInt(), 3);
}

TEST(PrintRangeDialog, RangeChoicesFieldsAndPages)
{
    Tfrextprd d;
    d.Setup(7);
    EXPECT_EQ(d.windowTitle(), QStringLiteral("Tisk dokumentu"));
    EXPECT_EQ(d.PrinterLabel->text(), QStringLiteral("(žádná)"));
    EXPECT_TRUE(d.AllRB->isChecked());
    EXPECT_EQ(d.FromED->text(), "1");
    EXPECT_EQ(d.ToED->text(), "7");
    EXPECT_EQ(d.SelectionED->text(), "1-7");
    EXPECT_EQ(d.CopiesED->text(), "1");
    EXPECT_FALSE(d.SelectionED->isEnabled());
    EXPECT_FALSE(d.FromED->isEnabled());
    EXPECT_EQ(d.Pages(7), (std::vector<int>{1, 2, 3, 4, 5, 6, 7}));

    d.SelectionRB->setChecked(true);
    EXPECT_TRUE(d.SelectionED->isEnabled());
    EXPECT_FALSE(d.SelectionED->isHidden());
    EXPECT_TRUE(d.FromED->isHidden());
    EXPECT_TRUE(d.ToED->isHidden());
    d.SelectionED->clear();
    QTest::keyClicks(d.SelectionED, "1-3;x,5");
    EXPECT_EQ(d.SelectionED->text(), "1-3,5") << "digits, '-' and ',' only";
    EXPECT_EQ(d.Pages(7), (std::vector<int>{1, 2, 3, 5}));

    d.PagesRB->setChecked(true);
    EXPECT_TRUE(d.SelectionED->isHidden());
    EXPECT_FALSE(d.FromED->isHidden());
    EXPECT_TRUE(d.FromED->isEnabled());
    d.FromED->clear();
    QTest::keyClicks(d.FromED, "a");
    EXPECT_TRUE(d.FromED->text().isEmpty()) << "digits only";
    d.ToED->setText("3");
    EXPECT_EQ(d.Pages(7), (std::vector<int>{1, 2, 3})) << "an empty From is page 1";
    d.FromED->setText("6");
    d.ToED->clear();
    EXPECT_EQ(d.Pages(7), (std::vector<int>{6, 7})) << "an empty To is the last page";

    d.CopiesED->clear();
    QTest::keyClicks(d.CopiesED, "x2");
    EXPECT_EQ(d.Copies(), 2);
    d.CopiesED->clear();
    EXPECT_EQ(d.Copies(), 1);
    d.SetPrinter("tiskarna", "ipp://host/printers/a");
    EXPECT_EQ(d.PrinterLabel->text(), "tiskarna: ipp://host/printers/a");
}

TEST(ReportGeneration, ExportPdfFromTheProjectStream)
{
    TempDataDir data;
    const TListSource rows = CallRows(20);
    const QByteArray project = StoreReportProject(ListReport(QStringLiteral("Přímý export")));
    const QString pdf = data.file("direct.pdf");
    EXPECT_TRUE(ExportPdf(project, "Report1", {{"DataView1", &rows}}, pdf, false, true));
    EXPECT_TRUE(QFile::exists(pdf));
    EXPECT_THROW(ExportPdf(project.left(40), "Report1", {{"DataView1", &rows}}, data.file("bad.pdf"), false, true),
                 EReportError);
    EXPECT_FALSE(QFile::exists(data.file("bad.pdf"))) << "a damaged project writes nothing";
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr) << "the progress window is closed after the failure";
}

namespace {
// Answers the save dialog with one name (empty: cancel) and keeps what it was asked.
class OneFileChooser : public IFileChooser {
public:
    explicit OneFileChooser(QString answer) : m_answer(std::move(answer)), m_previous(SetFileChooser(this)) {}
    ~OneFileChooser() override { SetFileChooser(m_previous); }
    bool ChooseSaveFile(TFileDialogSpec &spec) override
    {
        asked = spec;
        spec.FileName = m_answer;
        return !m_answer.isEmpty();
    }
    bool ChooseOpenFile(TFileDialogSpec &) override { return false; }
    TFileDialogSpec asked;

private:
    QString m_answer;
    IFileChooser *m_previous;
};
} // namespace

// F9 and the direct export ask for the file in the same save dialog and then offer to open it.
TEST_F(PreviewWindow, PdfKeyAsksForTheFileAndOffersToOpenIt)
{
    ScriptedMessageBox boxes;
    {
        OneFileChooser chooser(data.file("náhled"));
        boxes.answer(mrCancel);
        key(Qt::Key_F9);
        EXPECT_EQ(chooser.asked.Title, QStringLiteral("Export do PDF dokumentu"));
        EXPECT_EQ(chooser.asked.Filter, QStringLiteral("PDF dokument (*.pdf)|*.pdf"));
        EXPECT_TRUE(chooser.asked.OverwritePrompt);
    }
    EXPECT_TRUE(QFile::exists(data.file("náhled.pdf")));
    ASSERT_EQ(boxes.boxes().size(), 1);
    EXPECT_EQ(boxes.boxes()[0].text,
              QStringLiteral("Export byl úspěšně dokončen, přejete si ho otevřít ve vašem PDF prohlížeči?"));

    const TListSource rows = CallRows(5);
    const QByteArray project = StoreReportProject(ListReport(QStringLiteral("Zrušeno")));
    OneFileChooser cancel{QString()};
    EXPECT_FALSE(ExportPdf(project, "Report1", {{"DataView1", &rows}}, QString(), true, false));
    EXPECT_EQ(boxes.boxes().size(), 1) << "no question after a cancelled dialog";
}
