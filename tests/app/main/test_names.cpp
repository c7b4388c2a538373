// Names for numbers in the main window: the "Jméno" column of the call list and of its
// exports, the name of a ringing caller in the status bar and the balloon, the record
// commands that follow the stored file, and the bulk export of a filtered list.
#include "appfixture.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QLineEdit>
#include <QPushButton>

#include "codepage1250.h"
#include "datapacket.h"
#include "dbfrg.h"
#include "dbgridex.h"
#include "frmfind.h"
#include "outputwriters.h"
#include "tablemodel.h"
#include "support/silentwave.h"
#include "udmcd.h"

namespace {

QByteArray wave() { return SilentWave(50); }

class Names : public AppFixture {
protected:
    void SetUp() override
    {
        AppFixture::SetUp();
        TSettings s = simulatedSettings();
        s.AudioInputDevice.clear();
        s.CountryPrefix = QStringLiteral("420");
        writeSettings(s);
        // The phonebook as a user keeps it: numbers written every which way.
        const QString book = JoinPath(QFileInfo(ConfigFileName()).absolutePath(), QStringLiteral("phonebook.txt"));
        ASSERT_TRUE(WriteStringToFile(
            QStringLiteral("+420 603 123 456\tAnna Nováková\n777-888-999\tCyril Veselý\tR\n").toUtf8(), book));
    }
    TMemTable &log() { return *app->session->CallData().tb_audio; }
    int addCall(int callType, const QString &number, bool recorded = false)
    {
        QString file;
        if (recorded) {
            file = JoinPath(dir.path(), QStringLiteral("rec.wav"));
            EXPECT_TRUE(WriteStringToFile(wave(), file));
        }
        const double now = Now();
        app->session->CallData().AddCall(callType, 1, now - 0.01, now, number, file);
        settle();
        return log().autoIncValue() - 1;
    }
    void goToCall(int id)
    {
        for (log().first(); !log().eof(); log().next()) {
            if (log().fieldByName(QStringLiteral("IDAUDIO")).asInteger() == id)
                return;
        }
        FAIL() << "no call " << id;
    }
    // The call list's cells of one column, by number, as the grid shows them.
    QMap<QString, QString> shown(const QString &field)
    {
        TTableModel *model = window().frg_audio->gr->TableModel();
        const int number = model->columnOfField(QStringLiteral("PHONENUMBER"));
        const int column = model->columnOfField(field);
        QMap<QString, QString> cells;
        for (int row = 0; row < model->rowCount(); ++row)
            cells.insert(model->data(model->index(row, number)).toString(),
                         model->data(model->index(row, column)).toString());
        return cells;
    }
    // The output columns as the output dialog makes them: the list's visible columns.
    Tdboutputsfields listFields()
    {
        Tdboutputsfields fields;
        for (const TColumn &c : window().frg_audio->gr->Columns()) {
            if (c.Visible)
                fields.push_back({c.FieldName, -1, c.Title.Caption, c.Width, false});
        }
        return fields;
    }
};

} // namespace

TEST_F(Names, TheCallListAndItsExportsShowTheName)
{
    ASSERT_TRUE(start({QStringLiteral("/simulate")}));
    Tfmaintmb &w = window();
    addCall(3, QStringLiteral("603123456"));
    addCall(2, QStringLiteral("00420 777 888 999"));
    addCall(3, QStringLiteral("111"));
    // A caller the phonebook does not know, named by the line.
    lineEvent(QStringLiteral("ring 222333444"));
    lineEvent(QStringLiteral("callername Jan Novák"));
    lineEvent(QStringLiteral("hangup"));
    ASSERT_EQ(log().physicalCount(), 4);

    const TColumns &columns = w.frg_audio->gr->Columns();
    const auto nameColumn = std::find_if(columns.begin(), columns.end(),
                                         [](const TColumn &c) { return c.FieldName == QLatin1String("PHONENAME"); });
    ASSERT_NE(nameColumn, columns.end());
    EXPECT_EQ(nameColumn->Title.Caption, QStringLiteral("Jméno"));
    EXPECT_TRUE(nameColumn->Visible);
    const QMap<QString, QString> names = shown(QStringLiteral("PHONENAME"));
    EXPECT_EQ(names.value(QStringLiteral("603123456")), QStringLiteral("Anna Nováková"));
    EXPECT_EQ(names.value(QStringLiteral("00420 777 888 999")), QStringLiteral("Cyril Veselý"));
    EXPECT_EQ(names.value(QStringLiteral("111")), QString());
    EXPECT_EQ(names.value(QStringLiteral("222333444")), QStringLiteral("Jan Novák"));

    // Sorted by name, the search finds a caller by the start of the name.
    Tfrg *frame = w.frg_audio;
    const int nameIndex = frame->gr->ColumnOfField(QStringLiteral("PHONENAME"));
    ASSERT_TRUE(frame->IsSortableColumn(nameIndex));
    frame->SortByColumn(nameIndex, false);
    whenModal([] {
        auto *find = dynamic_cast<Tffrmfind *>(QApplication::activeModalWidget());
        ASSERT_NE(find, nullptr);
        find->Edit1->setText(QStringLiteral("Cyr"));
        find->btnok->click();
    });
    frame->Search();
    EXPECT_EQ(log().fieldByName(QStringLiteral("PHONENAME")).asString(), QStringLiteral("Cyril Veselý"));
    frame->SortByColumn(frame->gr->ColumnOfField(QStringLiteral("WHENSTART")), true);

    w.resize(1000, 360);
    w.show();
    settle();
    w.grab().save(QStringLiteral("/tmp/tembrel-names-mainwindow.png"));

    // The exports carry the column with the list's caption.
    TOutputOptions options;
    options.OfferOpen = false;
    const QString csv = JoinPath(dir.path(), QStringLiteral("calls.csv"));
    const QString html = JoinPath(dir.path(), QStringLiteral("calls.html"));
    const QString xls = JoinPath(dir.path(), QStringLiteral("calls.xls"));
    ExportOutputToFile(otCsv, log(), listFields(), options, csv);
    ExportOutputToFile(otHtml, log(), listFields(), options, html);
    ExportOutputToFile(otXls, log(), listFields(), options, xls);
    const QString csvText = DecodeCp1250(ReadFileToString(csv));
    EXPECT_TRUE(csvText.contains(QStringLiteral("Jméno"))) << csvText.toStdString();
    for (const char *name : {"Anna Nováková", "Cyril Veselý", "Jan Novák"})
        EXPECT_TRUE(csvText.contains(QString::fromUtf8(name))) << name;
    const QString htmlText = QString::fromUtf8(ReadFileToString(html));
    EXPECT_TRUE(htmlText.contains(QStringLiteral("Jméno")));
    EXPECT_TRUE(htmlText.contains(QStringLiteral("Anna Nováková")));

    // An independent reader sees the names in the sheet.
    QProcess reader;
    reader.start(QStringLiteral("/usr/bin/python3"),
                 {QStringLiteral("-c"),
                  QStringLiteral("import sys, xlrd\n"
                                 "s = xlrd.open_workbook(sys.argv[1]).sheet_by_index(0)\n"
                                 "print('\\n'.join('|'.join(str(c.value) for c in s.row(r)) for r in range(s.nrows)))"),
                  xls});
    if (!reader.waitForStarted() || !reader.waitForFinished(30000))
        GTEST_SKIP() << "python3 cannot run: the sheet is not read back";
    const QString sheet = QString::fromUtf8(reader.readAllStandardOutput());
    if (reader.exitCode() != 0 && QString::fromUtf8(reader.readAllStandardError()).contains(QStringLiteral("xlrd")))
        GTEST_SKIP() << "python3-xlrd is not installed: the sheet is not read back";
    ASSERT_EQ(reader.exitCode(), 0);
    EXPECT_TRUE(sheet.contains(QStringLiteral("Jméno")));
    EXPECT_TRUE(sheet.contains(QStringLiteral("Cyril Veselý")));
}

// The column is looked up, never stored: the saved log has the file's fields only and is
// exactly what a program without names writes for it.
TEST_F(Names, TheLogFileNeverHoldsTheName)
{
    ASSERT_TRUE(start({QStringLiteral("/simulate")}));
    addCall(3, QStringLiteral("603123456"));
    addCall(2, QStringLiteral("+420777888999"));
    const QByteArray shownWithNames = ReadFileToString(dataFile());
    TMemTable older; // a table that knows only the file's fields
    LoadDataPacket(older, shownWithNames);
    EXPECT_EQ(older.fieldCount(), 13);
    EXPECT_EQ(SaveDataPacket(older), shownWithNames);
    EXPECT_FALSE(shownWithNames.contains("PHONENAME"));
    EXPECT_FALSE(shownWithNames.contains("Anna"));

    // With the column hidden the next save writes the same rows.
    Tfmaintmb &w = window();
    TColumns columns = w.frg_audio->gr->Columns();
    for (TColumn &c : columns)
        if (c.FieldName == QLatin1String("PHONENAME"))
            c.Visible = false;
    w.frg_audio->gr->SetColumns(columns);
    addCall(3, QStringLiteral("777"));
    const QByteArray hidden = ReadFileToString(dataFile());
    const qsizetype rowsEnd = shownWithNames.indexOf("</ROWDATA>");
    ASSERT_GT(rowsEnd, 0);
    const qsizetype rowsStart = shownWithNames.indexOf("<ROWDATA>");
    EXPECT_EQ(hidden.mid(hidden.indexOf("<ROWDATA>"), rowsEnd - rowsStart), shownWithNames.mid(rowsStart, rowsEnd - rowsStart));
}

TEST_F(Names, ARingingCallShowsItsNameInTheStatusBarAndTheBalloon)
{
    ASSERT_TRUE(start({QStringLiteral("/simulate")}));
    Tfmaintmb &w = window();
    w.SetTrayAvailable(true);
    // The phonebook's name, for the number with the country's prefix.
    lineEvent(QStringLiteral("ring +420603123456"));
    EXPECT_EQ(w.stb->PanelText(1), QStringLiteral(" Tel. číslo: +420603123456 (Anna Nováková)"));
    EXPECT_EQ(w.RingBalloonText(), QStringLiteral("Vyzvání příchozí hovor: +420603123456 (Anna Nováková)"));
    // The line's own name does not replace the phonebook's.
    lineEvent(QStringLiteral("callername ANNA N"));
    EXPECT_EQ(w.stb->PanelText(1), QStringLiteral(" Tel. číslo: +420603123456 (Anna Nováková)"));
    lineEvent(QStringLiteral("hangup"));
    EXPECT_EQ(w.RingBalloonText(), QString());

    // Unknown to the phonebook: the line's name, as soon as it arrives.
    lineEvent(QStringLiteral("ring 222333444"));
    EXPECT_EQ(w.stb->PanelText(1), QStringLiteral(" Tel. číslo: 222333444"));
    EXPECT_EQ(w.RingBalloonText(), QStringLiteral("Vyzvání příchozí hovor: 222333444"));
    lineEvent(QStringLiteral("callername Jan Novák"));
    EXPECT_EQ(w.stb->PanelText(1), QStringLiteral(" Tel. číslo: 222333444 (Jan Novák)"));
    EXPECT_EQ(w.RingBalloonText(), QStringLiteral("Vyzvání příchozí hovor: 222333444 (Jan Novák)"));
    // Answered: the balloon is over, the name stays in the status bar.
    lineEvent(QStringLiteral("answer"));
    EXPECT_EQ(w.RingBalloonText(), QString());
    EXPECT_EQ(w.stb->PanelText(1), QStringLiteral(" Tel. číslo: 222333444 (Jan Novák)"));
    lineEvent(QStringLiteral("hangup"));

    // A number with blanks and dashes in the phonebook, a plain one on the line.
    lineEvent(QStringLiteral("ring 777888999"));
    EXPECT_EQ(w.stb->PanelText(1), QStringLiteral(" Tel. číslo: 777888999 (Cyril Veselý)"));
}

TEST_F(Names, PlayAndSaveNeedTheStoredFile)
{
    ASSERT_TRUE(start({QStringLiteral("/simulate")}));
    Tfmaintmb &w = window();
    const int kept = addCall(3, QStringLiteral("603123456"), true);
    const int lost = addCall(3, QStringLiteral("777"), true);
    ASSERT_TRUE(QFile::remove(Tdmcd::RecordingFileName(lost)));
    goToCall(kept);
    EXPECT_TRUE(w.btn_aud_play->isEnabled());
    EXPECT_TRUE(w.mm_saverecording->isEnabled());
    goToCall(lost);
    for (QAction *item : {w.mm_playrecording, w.mm_saverecording})
        EXPECT_FALSE(item->isEnabled()) << item->text().toStdString();
    EXPECT_FALSE(w.btn_aud_play->isEnabled());
    EXPECT_FALSE(w.btn_save->isEnabled());
    goToCall(kept);
    EXPECT_TRUE(w.btn_save->isEnabled());
}

TEST_F(Names, BulkExportOfAFilteredListOffersTheFilter)
{
    ASSERT_TRUE(start({QStringLiteral("/simulate")}));
    Tfmaintmb &w = window();
    const int in = addCall(3, QStringLiteral("111"), true);
    const int out = addCall(2, QStringLiteral("222"), true);
    int asked = 0;
    int scope = 1;
    w.AskExportScope = [&] {
        ++asked;
        return scope;
    };
    QString folder;
    w.AskExportFolder = [&folder] { return folder; };
    const auto exportInto = [&](const QString &name) {
        folder = JoinPath(dir.path(), name);
        EXPECT_TRUE(QDir().mkpath(folder));
        w.mm_exportrecordingsClick();
        return QDir(folder).entryList(QDir::Files, QDir::Name);
    };

    // Not filtered: no question, every call.
    EXPECT_EQ(exportInto(QStringLiteral("unfiltered")).size(), 2);
    EXPECT_EQ(asked, 0);

    TCheckedItems types;
    app->session->CallData().FillCallTypes(types);
    types.SetCheckedIndexText(QStringLiteral("2")); // incoming only
    app->session->CallData().ApplyCallLogFilter(types, 0, 0, {}, {});
    EXPECT_EQ(exportInto(QStringLiteral("filtered")), QStringList{QStringLiteral("111_%1.wav").arg(in)});
    EXPECT_EQ(asked, 1);
    scope = 0;
    EXPECT_EQ(exportInto(QStringLiteral("all")),
              (QStringList{QStringLiteral("111_%1.wav").arg(in), QStringLiteral("222_%1.wav").arg(out)}));
    EXPECT_EQ(log().recordCount(), 1) << "the list keeps its filter";
    scope = -1;
    EXPECT_TRUE(exportInto(QStringLiteral("cancelled")).isEmpty());
}
