#include "dboutput.h"

#include "cfghandler.h"
#include "codepage1250.h"
#include "inputex.h"
#include "outputfixture.h"
#include "outputwriters.h"
#include "reportwindowswidget.h"
#include "rextprev.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>
#include <gtest/gtest.h>

namespace {
// Answers the next template-name question with the text (empty: cancel).
void answerInput(const QString &text)
{
    QTimer::singleShot(0, [text] {
        auto *input = dynamic_cast<Tfinputex *>(QApplication::activeModalWidget());
        if (!input) {
            ADD_FAILURE() << "no input dialog";
            return;
        }
        input->edvalue->setText(text);
        text.isEmpty() ? input->reject() : input->accept();
    });
}

class DialogTest : public DataDirTest {
protected:
    ScriptedFileChooser files;
    RecordingOutputWindows windows;
    ScriptedMessageBox boxes;
    TFileCfgHandler cfg{data.path()};
    std::unique_ptr<TMemTable> table = MakeCallTable(3);
    QMenu frameMenu;
    Tfdboutput dialog;

    DialogTest()
    {
        frameMenu.addSeparator();
        frameMenu.addAction(QStringLiteral("&Definovat výstup..."));
    }
    TColumns columns(int count)
    {
        const char *names[] = {"CALLTYPE", "WHENLENGTH", "PHONENUMBER", "WHENSTART", "NOTE", "CALLTYPE"};
        TColumns result;
        for (int i = 0; i < count; ++i) {
            TColumn c;
            c.FieldName = QString::fromLatin1(names[i]);
            c.Title.Caption = QStringLiteral("Sloupec %1").arg(QChar(u'A' + i));
            c.Width = 100;
            result.push_back(c);
        }
        return result;
    }
    void setup(int count) { dialog.Setup(*table, columns(count), &cfg, QString(), &frameMenu, QStringLiteral("frg_audio")); }
    QStringList checkedFields()
    {
        QStringList r;
        for (const Tdboutputsfield &f : dialog.FieldList())
            r << f.FieldName + (f.Sum ? QStringLiteral("+") : QString());
        return r;
    }
    QString dbo() { return data.file(QStringLiteral("frg_audio.dbo")); }
    QStringList menuTexts(QMenu &menu)
    {
        QStringList r;
        for (QAction *a : menu.actions())
            r << a->text();
        return r;
    }
};
} // namespace

TEST_F(DialogTest, SetupChecksTheFirstFourAndFollowsTheFilterAndType)
{
    setup(3);
    EXPECT_EQ(checkedFields().size(), 3);
    Tfdboutput six;
    six.Setup(*table, columns(6), &cfg, QString(), nullptr, QStringLiteral("x"));
    EXPECT_EQ(six.FieldList().size(), 4u);
    EXPECT_EQ(dialog.edtitle->text(), QStringLiteral("Výpis"));
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Výstup pro tisk a export"));

    EXPECT_FALSE(dialog.chbfilter->isEnabled());
    EXPECT_FALSE(dialog.chbfilter->isChecked());
    dialog.SetFilterText(QStringLiteral("Typ: Odchozí"));
    EXPECT_TRUE(dialog.chbfilter->isEnabled());
    EXPECT_TRUE(dialog.chbfilter->isChecked());

    for (int type = 0; type < kOutputTypeCount; ++type) {
        dialog.SetOutputType(type);
        EXPECT_EQ(dialog.Pantisk->isHidden(), type > otHtml) << type;
        EXPECT_EQ(dialog.rgori->isHidden(), type == otHtml) << type;
        EXPECT_EQ(dialog.chbexpheader->isHidden(), type <= otHtml) << type;
    }
}

TEST_F(DialogTest, SumOnlyForNumbersAndListButtonsMoveItems)
{
    setup(4);
    dialog.chlb->setCurrentRow(2); // a text column
    EXPECT_FALSE(dialog.chbsum->isEnabled());
    dialog.chlb->setCurrentRow(1); // a float
    ASSERT_TRUE(dialog.chbsum->isEnabled());
    dialog.chbsum->click();
    EXPECT_EQ(dialog.chlb->item(1)->text(), QStringLiteral("Sloupec B (sčítat)"));
    dialog.spbupClick();
    EXPECT_EQ(checkedFields(), (QStringList{"WHENLENGTH+", "CALLTYPE", "PHONENUMBER", "WHENSTART"}));
    dialog.spbupClick(); // already first
    dialog.chlb->setCurrentRow(3);
    dialog.spbdnClick(); // already last
    EXPECT_EQ(dialog.chlb->item(3)->text(), QStringLiteral("Sloupec D"));
    dialog.spbcheckallClick(false);
    EXPECT_TRUE(dialog.FieldList().empty());
}

TEST_F(DialogTest, TemplatesSaveApplyExportImportAndDelete)
{
    setup(4);
    // Save C, A as "Denní", with a summed B left out and a title with separators.
    dialog.spbcheckallClick(false);
    dialog.chlb->item(2)->setCheckState(Qt::Checked);
    dialog.chlb->setCurrentRow(2);
    dialog.spbupClick();
    dialog.spbupClick();
    dialog.chlb->item(1)->setCheckState(Qt::Checked); // A
    dialog.edtitle->setText(QStringLiteral("Hovory; den|noc"));
    dialog.SetOutputType(otCsv);
    answerInput(QStringLiteral("Denní"));
    dialog.spbtempl_saveClick();
    EXPECT_EQ(ReadAll(dbo()), EncodeCp1250(QStringLiteral("Denní=4;Hovory, den,noc;1;0;1;0;PHONENUMBER;CALLTYPE\r\n")));
    EXPECT_EQ(dialog.CurrentTemplate(), QStringLiteral("Denní"));
    EXPECT_EQ(menuTexts(frameMenu), (QStringList{"Denní", "", "&Definovat výstup..."}));
    EXPECT_TRUE(dialog.spbtempl_delete->isEnabled());

    // Applying it to a fresh list puts C before A, both checked.
    Tfdboutput other;
    QMenu otherMenu;
    other.Setup(*table, columns(4), &cfg, QString(), &otherMenu, QStringLiteral("frg_audio"));
    other.pmsClick(QStringLiteral("&Denní"));
    QStringList order;
    for (int i = 0; i < other.chlb->count(); ++i)
        order << other.chlb->item(i)->text() + (other.chlb->item(i)->checkState() == Qt::Checked ? "*" : "");
    EXPECT_EQ(order, (QStringList{"Sloupec B", "Sloupec C*", "Sloupec A*", "Sloupec D"}));
    EXPECT_EQ(other.OutputType(), otCsv);

    // Saving under another existing name asks; Cancel keeps the file.
    const QByteArray before = ReadAll(dbo());
    answerInput(QStringLiteral("Noční"));
    dialog.spbtempl_saveClick();
    answerInput(QStringLiteral("DENNÍ"));
    dialog.labtempl->setText(QStringLiteral("Noční"));
    boxes.answer(mrCancel);
    dialog.spbtempl_saveClick();
    ASSERT_EQ(boxes.boxes().size(), 1);
    EXPECT_EQ(boxes.boxes()[0].text, QStringLiteral("Šablona s názvem \"DENNÍ\" již existuje. Přejete si ji přepsat?"));
    EXPECT_TRUE(ReadAll(dbo()).startsWith(before.left(before.size() - 2)));

    // Export to .tmo and import it back under a new name.
    dialog.labtempl->setText(QStringLiteral("Denní"));
    const QString tmo = data.file(QStringLiteral("denni.tmo"));
    files.answer(tmo);
    dialog.Exportovatablonu1Click();
    EXPECT_EQ(files.specs.last().FileName, QStringLiteral("Denní.tmo"));
    EXPECT_EQ(ReadAll(tmo), EncodeCp1250(QStringLiteral("Denní=4;Hovory, den,noc;1;0;1;0;PHONENUMBER;CALLTYPE\r\n")));
    files.answer(tmo);
    answerInput(QStringLiteral("Dovezená"));
    dialog.Importovatablonu1Click();
    EXPECT_TRUE(DecodeCp1250(ReadAll(dbo())).contains(QStringLiteral("Dovezená=4;Hovory, den,noc;1;0;1;0;PHONENUMBER;CALLTYPE\r\n")));
    EXPECT_EQ(menuTexts(frameMenu).size(), 5);

    // Deleting every template removes the file and the menu items.
    for (const QString &name : {QStringLiteral("Denní"), QStringLiteral("Noční"), QStringLiteral("Dovezená")}) {
        dialog.labtempl->setText(name);
        boxes.answer(mrOk);
        dialog.spbtempl_deleteClick();
    }
    EXPECT_FALSE(QFile::exists(dbo()));
    EXPECT_EQ(menuTexts(frameMenu), (QStringList{"", "&Definovat výstup..."}));
    EXPECT_FALSE(dialog.spbtempl_delete->isEnabled());
}

TEST_F(DialogTest, DamagedTemplateFilesChangeNothing)
{
    const QByteArray damage("Denn\xED=0\r\nrozbit\xFD \x01\x02\r\n");
    ASSERT_TRUE(WriteStringToFile(damage, dbo()));
    setup(3);
    answerInput(QStringLiteral("Nová"));
    dialog.spbtempl_save->click(); // the button shows what its handler raises
    ASSERT_FALSE(boxes.boxes().isEmpty());
    EXPECT_TRUE(boxes.boxes().last().text.contains(QStringLiteral("poškozen")));
    EXPECT_EQ(ReadAll(dbo()), damage);

    const QString tmo = data.file(QStringLiteral("bad.tmo"));
    ASSERT_TRUE(WriteStringToFile("=0;x\r\n", tmo));
    files.answer(tmo);
    boxes.clear();
    QMetaObject::invokeMethod(dialog.Importovatablonu1, "trigger");
    ASSERT_EQ(boxes.boxes().size(), 1);
    EXPECT_EQ(boxes.boxes()[0].text, QStringLiteral("Neplatný soubor šablony"));
    EXPECT_EQ(ReadAll(dbo()), damage);
}

TEST_F(DialogTest, GenerateAndRunTemplateWriteThroughTheChosenWriter)
{
    setup(3);
    dialog.SetOutputType(otCsv);
    const QString file = data.file(QStringLiteral("out.csv"));
    files.answer(file);
    boxes.answer(mrCancel);
    EXPECT_TRUE(dialog.Button1Click());
    EXPECT_EQ(DecodeCp1250(ReadAll(file)).section(QStringLiteral("\r\n"), 0, 0),
              QStringLiteral("Sloupec A;Sloupec B;Sloupec C"));

    answerInput(QStringLiteral("Rychlá"));
    dialog.spbtempl_saveClick();
    const QString again = data.file(QStringLiteral("again.csv"));
    files.answer(again);
    boxes.answer(mrCancel);
    frameMenu.actions().first()->trigger(); // the frame's template item runs it at once
    EXPECT_TRUE(QFile::exists(again));
    {
        Tfdboutput second;
        second.Setup(*table, columns(3), &cfg, QString(), &frameMenu, QStringLiteral("frg_audio"));
        EXPECT_EQ(menuTexts(frameMenu), (QStringList{"Rychlá", "", "&Definovat výstup..."}));
    }
    EXPECT_EQ(menuTexts(frameMenu), (QStringList{"", "&Definovat výstup..."})) << "a freed dialog leaves no dead items";
}

// Type 0 opens the preview of the report, type 1 writes the PDF document.
TEST_F(DialogTest, PreviewAndPdfOfTheCheckedColumns)
{
    TReportWindowsWidget reportWindows;
    IReportWindows *previous = SetReportWindows(&reportWindows);
    table = MakeCallTable(150);
    table->first();
    setup(3);
    dialog.SetFilterText(QStringLiteral("Typ hovoru: Odchozí"));
    dialog.edtitle->setText(QStringLiteral("Měsíční výpis"));

    dialog.SetOutputType(otPreview);
    int pages = 0;
    QString caption, pageButton;
    // The preview comes up after the progress window of its pages: wait for it.
    QTimer poll;
    poll.setInterval(10);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto *preview = dynamic_cast<Tfrextprev *>(QApplication::activeModalWidget());
        if (!preview)
            return;
        poll.stop();
        pages = preview->PageCount();
        caption = preview->windowTitle();
        pageButton = preview->btngoto->text();
        if (qEnvironmentVariableIsSet("TEMBREL_KEEP_RENDER"))
            preview->grab().save(qEnvironmentVariable("TEMBREL_KEEP_RENDER") + QStringLiteral("/dialog-preview.png"));
        preview->btnclose->click();
    });
    poll.start();
    EXPECT_TRUE(dialog.Button1Click());
    EXPECT_EQ(pages, 3);
    EXPECT_EQ(caption, QStringLiteral("Preview - Tembrel Personal - Měsíční výpis"));
    EXPECT_EQ(pageButton, QStringLiteral("&Strana: 1/3"));
    EXPECT_EQ(table->currentRecord(), 0) << "the dataset is back where it was";

    dialog.SetOutputType(otPdf);
    const QString pdf = data.file(QStringLiteral("výpis.pdf"));
    files.answer(pdf);
    boxes.answer(mrCancel);
    EXPECT_TRUE(dialog.Button1Click());
    ASSERT_EQ(boxes.boxes().size(), 1);
    EXPECT_TRUE(windows.opened.isEmpty()) << "Cancel leaves the document closed";
    SetReportWindows(previous);

    QByteArray out;
    int code = -1;
    QString why;
    if (!RunPeer(QStringLiteral("pdftotext"), {QStringLiteral("-enc"), QStringLiteral("UTF-8"), pdf, QStringLiteral("-")},
                 out, code, why))
        GTEST_SKIP() << why.toStdString();
    const QString text = QString::fromUtf8(out);
    for (const QString &expected : {QStringLiteral("Měsíční výpis"), QStringLiteral("Typ hovoru: Odchozí"),
                                    QStringLiteral("Sloupec A"), QStringLiteral("Sloupec C"), QStringLiteral("60149"),
                                    QStringLiteral("Strana 3/3")})
        EXPECT_TRUE(text.contains(expected)) << expected.toStdString();
}

// The layout promised to users: columns and templates on the left, type and parameters on
// the right, "Generovat" and the close button at the bottom right. TEMBREL_SCREENSHOT=<png>
// also saves a picture of the dialog (run under xvfb-run to see real fonts).
TEST_F(DialogTest, LayoutPutsListsLeftOptionsRightAndButtonsBottomRight)
{
    setup(5);
    dialog.SetFilterText(QStringLiteral("Typ hovoru: Příchozí"));
    dialog.SetOutputType(otHtml);
    dialog.show();
    QApplication::processEvents();
    auto rect = [&](QWidget *w) { return QRect(w->mapTo(&dialog, QPoint(0, 0)), w->size()); };
    const int middle = dialog.width() / 2;
    for (QWidget *w : {static_cast<QWidget *>(dialog.GroupBox1), static_cast<QWidget *>(dialog.GroupBox5)})
        EXPECT_LT(rect(w).right(), middle + 10);
    for (QWidget *w : {static_cast<QWidget *>(dialog.rgtype), static_cast<QWidget *>(dialog.GroupBox4)})
        EXPECT_GT(rect(w).left(), middle - 10);
    EXPECT_GT(rect(dialog.Button1).top(), rect(dialog.GroupBox5).bottom());
    EXPECT_LT(rect(dialog.Button1).right(), rect(dialog.Button2).left());
    EXPECT_GT(rect(dialog.Button2).right(), dialog.width() - 30);
    EXPECT_TRUE(dialog.Button1->isDefault());
    const QByteArray shot = qgetenv("TEMBREL_SCREENSHOT");
    if (!shot.isEmpty()) {
        EXPECT_TRUE(dialog.grab().save(QString::fromLocal8Bit(shot)));
    }
}
