#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QHash>
#include <gtest/gtest.h>

#include <chrono>
#include <fcntl.h>
#include <future>
#include <sys/stat.h>
#include <unistd.h>

#include "datapacket.h"
#include "formatsettings.h"
#include "myutils.h"
#include "recordingretention.h"
#include "support/manualclock.h"
#include "support/tempdatadir.h"
#include "udmcd.h"

namespace {
// Records the boxes instead of showing them.
class BoxRecorder : public IMessageBoxHandler {
public:
    BoxRecorder() : m_previous(MessageBoxHandler()) { SetMessageBoxHandler(this); }
    ~BoxRecorder() override { SetMessageBoxHandler(m_previous); }
    void showPlainMessage(const QString &text) override { texts << text; kinds << mkPlain; }
    int showBox(const QString &text, const QString &, int kind, unsigned, int) override
    {
        texts << text;
        kinds << kind;
        return mrOk;
    }
    QStringList texts;
    QList<int> kinds;

private:
    IMessageBoxHandler *m_previous;
};

class CursorRecorder : public ICursorHandler {
public:
    WaitCursor current() override { return m_cursor; }
    void set(WaitCursor cursor) override
    {
        m_cursor = cursor;
        history << cursor;
    }
    QList<WaitCursor> history;

private:
    WaitCursor m_cursor = WaitCursor::Arrow;
};

QByteArray readAll(const QString &name)
{
    QFile f(name);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeFile(const QString &name, const QByteArray &bytes)
{
    QFile f(name);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

double at(int day, int h, int m, int s, int ms = 0) { return EncodeDate(2006, 6, day) + EncodeTime(h, m, s, ms); }

// Numbers compared without blanks and dashes, as the phonebook compares them.
QString phonebookLikeKey(const QString &number)
{
    QString key = number;
    key.remove(QLatin1Char(' '));
    key.remove(QLatin1Char('-'));
    return key;
}

class CallLogTest : public DataDirTest {
protected:
    void SetUp() override
    {
        tempDir = data.file(QStringLiteral("tmp"));
        QDir().mkpath(tempDir);
        oldTmp = qgetenv("TMPDIR");
        qputenv("TMPDIR", QFile::encodeName(tempDir));
        ASSERT_TRUE(QFile::copy(QStringLiteral(TEMBREL_DELIVERED_DATA_XML), Tdmcd::DataFileName()));
        QFile::setPermissions(Tdmcd::DataFileName(), QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        dm = std::make_unique<Tdmcd>();
        dm->SetLinkNumber(2);
        dm->ShellOpen = [this](const QString &name) {
            opened << name;
            return openSucceeds;
        };
    }
    void TearDown() override
    {
        dm.reset();
        qputenv("TMPDIR", oldTmp);
    }
    void open() { dm->OpenCallLog(); }
    TField &f(const char *name) { return dm->tb_audio->fieldByName(QLatin1String(name)); }
    // A recording of the given size in the temporary recording file.
    QString recording(int size)
    {
        QString name;
        dm->GetTempRecordFileName(name);
        writeFile(name, QByteArray(size, 'r'));
        return name;
    }
    int addCall(int type, double start, double end, const QString &number, int recordingSize = -1)
    {
        dm->AddCall(type, recordingSize < 0 ? 0 : 1, start, end, number,
                    recordingSize < 0 ? QString() : recording(recordingSize));
        const int id = dm->tb_audio->autoIncValue() - 1;
        gotoId(id);
        return id;
    }
    // Makes the row current when the call list shows it.
    void gotoId(int id)
    {
        for (int pos = 0; pos < dm->tb_audio->recordCount(); ++pos) {
            dm->tb_audio->setRecNo(pos + 1);
            if (f("IDAUDIO").asInteger() == id)
                return;
        }
    }
    // Every row of a table as text, in insertion order; only what a file can hold.
    static QStringList rows(const TMemTable &t)
    {
        QStringList out;
        for (int r = 0; r < t.physicalCount(); ++r) {
            QStringList cells;
            for (int i = 0; i < t.fieldCount(); ++i)
                if (!t.field(i).def().calculated)
                    cells << (t.field(i).isNullAt(r) ? QStringLiteral("<null>") : t.field(i).asStringAt(r));
            out << cells.join(QLatin1Char('|'));
        }
        return out;
    }
    QStringList reloaded()
    {
        TMemTable t;
        LoadDataPacketFile(t, Tdmcd::DataFileName());
        return rows(t);
    }

    QString tempDir;
    QByteArray oldTmp;
    std::unique_ptr<Tdmcd> dm;
    QStringList opened;
    bool openSucceeds = true;
    BoxRecorder boxes;
};
} // namespace

TEST_F(CallLogTest, CreationMakesTheStoreAndRemovesALeftoverRecording)
{
    dm.reset();
    QDir(data.file(QStringLiteral("data"))).removeRecursively();
    const QString leftover = Tdmcd::TempRecordFileName();
    writeFile(leftover, "old");
    dm = std::make_unique<Tdmcd>();
    EXPECT_TRUE(QFileInfo(data.file(QStringLiteral("data"))).isDir());
    EXPECT_FALSE(QFile::exists(leftover));
    QString temp;
    dm->GetTempRecordFileName(temp);
    EXPECT_EQ(temp, leftover);
    EXPECT_TRUE(temp.endsWith(QStringLiteral("/~tmbrec.wav")));
    EXPECT_TRUE(Tdmcd::RecordingFileName(5).endsWith(QStringLiteral("/data/0000005.wav")));
    EXPECT_EQ(Tdmcd::RecordingFileName(12345678), JoinPath(data.file(QStringLiteral("data")), QStringLiteral("12345678.wav")));
}

TEST_F(CallLogTest, OpeningTheDeliveredLog)
{
    open();
    // The file's thirteen fields and the looked-up name, which the file never holds.
    EXPECT_EQ(dm->tb_audio->fieldCount(), 14);
    EXPECT_TRUE(f("PHONENAME").def().calculated);
    EXPECT_EQ(dm->ds_audio->displayLabel(13), QStringLiteral("Jméno"));
    EXPECT_EQ(dm->tb_audio->indexFieldNames(), QStringLiteral("WHENSTART"));
    EXPECT_TRUE(dm->tb_audio->isEmpty());
    EXPECT_GE(f("CALLTYPENAME").size(), 13);
    EXPECT_GE(f("PHONENUMBER").size(), 40);
    EXPECT_GT(dm->tb_audio->autoIncValue(), 0);
    EXPECT_EQ(f("WHENLENGTH").displayText(), QString()); // empty table: no length text
    EXPECT_EQ(dm->ds_audio->displayLabel(dm->ds_audio->columnOfField(QStringLiteral("WHENLENGTH"))),
              QStringLiteral("Délka hovoru"));
}

TEST_F(CallLogTest, AddedCallsAreCompletedSavedAndTheirRecordingsStored)
{
    open();
    const int a = addCall(3, at(1, 10, 0, 0), at(1, 10, 1, 5, 500), QStringLiteral("603123456"), 1023);
    EXPECT_EQ(a, 1);
    EXPECT_EQ(f("WHENLENGTH").asInteger(), 65);
    EXPECT_EQ(f("WHENLENGTH").displayText(), QStringLiteral("00:01:05"));
    EXPECT_EQ(f("CALLTYPENAME").asString(), QStringLiteral("Příchozí"));
    EXPECT_EQ(f("CALLLINK").asInteger(), 2);
    EXPECT_EQ(f("AUDIOTYPE").asInteger(), 1);
    EXPECT_EQ(f("AUDIOSIZE").asInteger(), 1023);
    EXPECT_EQ(f("AUDIOSIZEKB").asInteger(), 0);
    EXPECT_TRUE(f("IDBINDATA").isNull());
    EXPECT_EQ(readAll(Tdmcd::RecordingFileName(a)), QByteArray(1023, 'r'));

    addCall(2, at(1, 11, 0, 0), at(1, 11, 0, 0), QString(), 1024);
    EXPECT_EQ(f("AUDIOSIZEKB").asInteger(), 1);
    // The end before the start: the positive difference.
    addCall(7, at(1, 12, 0, 30), at(1, 12, 0, 0), QStringLiteral("1"));
    EXPECT_EQ(f("WHENLENGTH").asInteger(), 30);
    EXPECT_EQ(f("CALLTYPENAME").asString(), QStringLiteral("Neurčený"));
    EXPECT_EQ(f("AUDIOSIZE").asInteger(), 0);
    EXPECT_EQ(f("AUDIOSIZEKB").asInteger(), 0);
    EXPECT_EQ(f("AUDIOTYPE").asInteger(), 0);
    addCall(0, at(1, 13, 0, 0), at(1, 13, 0, 1), QString());
    EXPECT_EQ(f("CALLTYPENAME").asString(), QStringLiteral("Neurčený"));
    // A recording name that names no file.
    dm->AddCall(1, 1, at(1, 14, 0, 0), at(1, 14, 0, 1), QString(), data.file(QStringLiteral("none.wav")));
    gotoId(5);
    EXPECT_EQ(f("AUDIOSIZE").asInteger(), -1);
    EXPECT_EQ(f("AUDIOSIZEKB").asInteger(), 0);
    EXPECT_EQ(reloaded(), rows(*dm->tb_audio));
}

TEST_F(CallLogTest, WholeSecondLengthsAreExactAtEveryTimeOfDay)
{
    open();
    for (int i = 0; i < 300; ++i) {
        const double start = EncodeDate(2006 + i % 30, 1 + i % 12, 1 + i % 28) + EncodeTime(i % 24, (i * 7) % 60, (i * 13) % 60, (i * 37) % 1000);
        const int seconds = 1 + (i * 97) % 5000;
        dm->AddCall(2, 1, start, start + seconds / 86400.0, QString(), QString());
        gotoId(dm->tb_audio->autoIncValue() - 1);
        ASSERT_EQ(f("WHENLENGTH").asInteger(), seconds) << i;
    }
}

TEST_F(CallLogTest, AddingWhileFilteredKeepsFilterAndCurrentRow)
{
    open();
    addCall(3, at(1, 9, 0, 0), at(1, 9, 1, 0), QStringLiteral("1"));
    addCall(3, at(1, 10, 0, 0), at(1, 10, 1, 0), QStringLiteral("2"));
    addCall(2, at(1, 11, 0, 0), at(1, 11, 1, 0), QStringLiteral("3"));
    TCheckedItems types;
    dm->FillCallTypes(types);
    types.SetCheckedIndexText(QStringLiteral("2"));
    dm->ApplyCallLogFilter(types, 0, 0, {}, {});
    ASSERT_EQ(dm->tb_audio->recordCount(), 2);
    dm->tb_audio->first();
    const int selected = f("IDAUDIO").asInteger();
    dm->AddCall(5, 1, at(1, 8, 0, 0), at(1, 8, 0, 0), QStringLiteral("4"), QString());
    EXPECT_TRUE(dm->tb_audio->filtered());
    EXPECT_EQ(dm->tb_audio->filter(), QStringLiteral("(CALLTYPE=3)"));
    EXPECT_EQ(dm->tb_audio->recordCount(), 2);
    EXPECT_EQ(f("IDAUDIO").asInteger(), selected);
    EXPECT_EQ(reloaded().size(), 4);
}

TEST_F(CallLogTest, DeletionRemovesRecordingAndNeverReusesIdentifiers)
{
    open();
    addCall(3, at(1, 9, 0, 0), at(1, 9, 1, 0), QStringLiteral("1"), 10);
    const int newest = addCall(3, at(1, 10, 0, 0), at(1, 10, 1, 0), QStringLiteral("2"), 10);
    ASSERT_TRUE(QFile::exists(Tdmcd::RecordingFileName(newest)));
    dm->tb_audio->last();
    dm->tb_audio->deleteRecord();
    EXPECT_FALSE(QFile::exists(Tdmcd::RecordingFileName(newest)));
    EXPECT_EQ(reloaded(), rows(*dm->tb_audio));
    // A fresh module on the saved file continues above the deleted identifier.
    dm = std::make_unique<Tdmcd>();
    open();
    const int next = addCall(2, at(1, 11, 0, 0), at(1, 11, 1, 0), QStringLiteral("3"));
    EXPECT_GT(next, newest);
    // Deleting a row whose recording is already gone still deletes the row.
    dm->tb_audio->first();
    QFile::remove(Tdmcd::RecordingFileName(f("IDAUDIO").asInteger()));
    dm->tb_audio->deleteRecord();
    EXPECT_EQ(dm->tb_audio->recordCount(), 1);
    EXPECT_EQ(reloaded(), rows(*dm->tb_audio));
}

TEST_F(CallLogTest, AFailedSaveKeepsTheRowAndStoresItsRecording)
{
    open();
    addCall(3, at(1, 9, 0, 0), at(1, 9, 1, 0), QStringLiteral("1"));
    // Something in the way of the file: the write fails whoever runs the test.
    QFile::remove(Tdmcd::DataFileName());
    QDir().mkpath(Tdmcd::DataFileName());
    const QString temp = recording(100);
    EXPECT_THROW(dm->AddCall(2, 1, at(1, 10, 0, 0), at(1, 10, 0, 5), QStringLiteral("2"), temp), Exception);
    // The row lives on in memory, so its recording is in the store, not lost.
    EXPECT_FALSE(QFile::exists(temp));
    EXPECT_EQ(readAll(Tdmcd::RecordingFileName(2)), QByteArray(100, 'r'));
    EXPECT_EQ(dm->tb_audio->physicalCount(), 2);
    EXPECT_EQ(dm->tb_audio->state(), TTableState::Browse);
    // The next successful write stores the row with its size, and the file is there.
    QDir().rmdir(Tdmcd::DataFileName());
    addCall(4, at(1, 11, 0, 0), at(1, 11, 0, 5), QStringLiteral("3"));
    const QStringList rowsNow = reloaded();
    ASSERT_EQ(rowsNow.size(), 3);
    EXPECT_TRUE(rowsNow.at(1).contains(QStringLiteral("|100|0|2")));
}

TEST_F(CallLogTest, ADamagedOrMissingLogFailsAndIsNeverOverwritten)
{
    open();
    addCall(3, at(1, 9, 0, 0), at(1, 9, 1, 0), QStringLiteral("1"));
    QByteArray damaged = readAll(Tdmcd::DataFileName());
    damaged.chop(30);
    writeFile(Tdmcd::DataFileName(), damaged);
    dm = std::make_unique<Tdmcd>();
    try {
        dm->OpenCallLog();
        FAIL() << "opened a damaged log";
    } catch (const Exception &e) {
        EXPECT_EQ(e.message(), QStringLiteral("Chyba - nelze otevřít datové úložiště. Program bude ukončen."));
    }
    EXPECT_THROW(dm->AddCall(2, 1, at(1, 10, 0, 0), at(1, 10, 0, 5), QString(), QString()), Exception);
    EXPECT_EQ(readAll(Tdmcd::DataFileName()), damaged);
    EXPECT_TRUE(readAll(LogFileName()).contains("Invalid data packet"));
    // A packet without the fields the log needs is refused as well.
    writeFile(Tdmcd::DataFileName(), "<?xml version=\"1.0\" standalone=\"yes\"?><DATAPACKET Version=\"2.0\"><METADATA>"
                                     "<FIELDS><FIELD attrname=\"X\" fieldtype=\"i4\"/></FIELDS><PARAMS/></METADATA>"
                                     "<ROWDATA/></DATAPACKET>");
    EXPECT_THROW(dm->OpenCallLog(), Exception);
    QFile::remove(Tdmcd::DataFileName());
    EXPECT_THROW(dm->OpenCallLog(), Exception);
    EXPECT_FALSE(QFile::exists(Tdmcd::DataFileName()));
}

TEST_F(CallLogTest, CopyAndPlayRecordings)
{
    open();
    const int id = addCall(3, at(1, 9, 0, 0), at(1, 9, 1, 0), QStringLiteral("1"), 50);
    EXPECT_EQ(dm->CopyRecording(id, QString()), Tdmcd::RecordingFileName(id));
    EXPECT_EQ(dm->CopyRecording(99, QString()), QString());
    const QString target = data.file(QStringLiteral("copy.wav"));
    writeFile(target, "older and longer content than the recording has............................");
    EXPECT_EQ(dm->CopyRecording(id, target), target);
    EXPECT_EQ(readAll(target), QByteArray(50, 'r'));
    EXPECT_EQ(dm->CopyRecording(id, Tdmcd::RecordingFileName(id)), Tdmcd::RecordingFileName(id)); // onto itself
    EXPECT_EQ(readAll(Tdmcd::RecordingFileName(id)), QByteArray(50, 'r'));
    EXPECT_EQ(dm->CopyRecording(id, data.file(QStringLiteral("no/such/folder/x.wav"))), QString());
    EXPECT_EQ(dm->CopyRecording(99, target), QString());

    dm->PlayRecording(id);
    EXPECT_EQ(opened, QStringList{Tdmcd::RecordingFileName(id)});
    EXPECT_TRUE(boxes.texts.isEmpty());
    openSucceeds = false;
    dm->PlayRecording(id);
    QFile::remove(Tdmcd::RecordingFileName(id));
    dm->PlayRecording(id);
    EXPECT_EQ(boxes.texts, (QStringList{QStringLiteral("Nepodařilo se najít program asociovaný k přehrávání!"),
                                        QStringLiteral("Audio soubor ID=1 nebyl v databázi nalezen.")}));
    EXPECT_EQ(boxes.kinds, (QList<int>{mkError, mkWarning}));
}

TEST_F(CallLogTest, ExportCopiesTheShownRecordingsAndCounts)
{
    open();
    CursorRecorder cursor;
    SetCursorHandler(&cursor);
    const int a = addCall(3, at(1, 9, 0, 0), at(1, 9, 1, 0), QStringLiteral("777"), 11);
    const int b = addCall(3, at(1, 10, 0, 0), at(1, 10, 1, 0), QStringLiteral("777"), 12);
    const int c = addCall(3, at(1, 11, 0, 0), at(1, 11, 1, 0), QString(), 13);
    addCall(2, at(1, 12, 0, 0), at(1, 12, 1, 0), QStringLiteral("555"), 14);
    addCall(3, at(1, 13, 0, 0), at(1, 13, 1, 0), QStringLiteral("000")); // no recording
    dm->AddCall(3, 1, at(1, 14, 0, 0), at(1, 14, 0, 1), QStringLiteral("111"), data.file(QStringLiteral("gone.wav")));
    TCheckedItems types;
    dm->FillCallTypes(types);
    types.SetCheckedIndexText(QStringLiteral("2"));
    dm->ApplyCallLogFilter(types, 0, 0, {}, {});
    dm->tb_audio->setRecNo(2);
    const TBookmark before = dm->tb_audio->bookmark();
    const QString folder = data.file(QStringLiteral("export"));
    QDir().mkpath(folder);
    dm->ExportRecordings(folder);
    QStringList files = QDir(folder).entryList(QDir::Files, QDir::Name);
    EXPECT_EQ(files, (QStringList{QStringLiteral("777_%1.wav").arg(a), QStringLiteral("777_%1.wav").arg(b),
                                  QStringLiteral("_%1.wav").arg(c)}));
    EXPECT_EQ(readAll(JoinPath(folder, QStringLiteral("_%1.wav").arg(c))), QByteArray(13, 'r'));
    EXPECT_EQ(dm->tb_audio->bookmark(), before);
    EXPECT_EQ(WaitDepth(), 0);
    EXPECT_TRUE(cursor.history.contains(WaitCursor::Hourglass));
    // Again into the same folder, with one stored file lost.
    QFile::remove(Tdmcd::RecordingFileName(b));
    dm->ExportRecordings(folder);
    EXPECT_EQ(boxes.texts, (QStringList{QStringLiteral("Bylo vyexportováno 3 záznamů z 3 možných."),
                                        QStringLiteral("Bylo vyexportováno 2 záznamů z 3 možných.")}));
    EXPECT_EQ(boxes.kinds.last(), mkInformation);
    SetCursorHandler(nullptr);
}

TEST_F(CallLogTest, ExportNeverWritesOutsideTheChosenFolder)
{
    open();
    addCall(3, at(1, 9, 0, 0), at(1, 9, 1, 0), QStringLiteral("../../escape"), 5);
    addCall(3, at(1, 10, 0, 0), at(1, 10, 1, 0), QStringLiteral("a:b*?"), 5);
    const QString folder = data.file(QStringLiteral("deep/export"));
    QDir().mkpath(folder);
    dm->ExportRecordings(folder);
    EXPECT_EQ(boxes.texts.last(), QStringLiteral("Bylo vyexportováno 0 záznamů z 2 možných."));
    EXPECT_FALSE(QFile::exists(data.file(QStringLiteral("escape_1.wav"))));
    EXPECT_TRUE(QDir(folder).entryList(QDir::Files).isEmpty());
}

TEST_F(CallLogTest, CallLogFilterTexts)
{
    open();
    TCheckedItems types;
    dm->FillCallTypes(types);
    ASSERT_EQ(types.Count(), 5);
    EXPECT_EQ(types.ItemText(3), QStringLiteral("Neuskutečněný"));
    EXPECT_EQ(types.ItemCode(4), 5);
    EXPECT_EQ(types.CheckedCount(), 5);
    types.SetCheckedIndexText(QStringLiteral("1"));
    dm->FillCallTypes(types); // already filled: left with its checks
    EXPECT_EQ(types.CheckedIndexText(), QStringLiteral("1"));

    types.CheckAll();
    dm->ApplyCallLogFilter(types, 0, 5, {}, {});
    EXPECT_FALSE(dm->tb_audio->filtered());
    EXPECT_EQ(dm->tb_audio->filter(), QString());

    types.SetCheckedIndexText(QStringLiteral("4"));
    dm->ApplyCallLogFilter(types, 0, 2, {}, {});
    EXPECT_EQ(dm->tb_audio->filter(), QStringLiteral("(CALLTYPE=5)"));
    EXPECT_TRUE(dm->tb_audio->filtered());

    types.CheckAll();
    dm->ApplyCallLogFilter(types, 3, 0, {}, {});
    EXPECT_EQ(dm->tb_audio->filter(), QStringLiteral("(CALLLINK>=3) AND (CALLLINK<=0)"));

    types.SetCheckedIndexText(QStringLiteral("1;2"));
    dm->ApplyCallLogFilter(types, 1, 2, {EncodeDate(2006, 6, 1), true}, {EncodeDate(2006, 6, 2), true});
    EXPECT_EQ(dm->tb_audio->filter(),
              QStringLiteral("((CALLTYPE=2 OR CALLTYPE=3)) AND (CALLLINK>=1) AND (CALLLINK<=2) AND "
                             "(WHENSTART>='1.6.2006') AND (WHENSTART<'3.6.2006')"));
    addCall(2, at(1, 0, 0, 0), at(1, 0, 0, 1), QString());
    addCall(3, at(2, 23, 59, 59), at(3, 0, 0, 1), QString());
    addCall(3, at(3, 0, 0, 0), at(3, 0, 0, 1), QString());
    addCall(3, EncodeDate(2006, 5, 31) + EncodeTime(23, 59, 59), at(1, 0, 0, 1), QString()); // 31 May
    EXPECT_EQ(dm->tb_audio->recordCount(), 2);

    EXPECT_EQ(Tdmcd::ChartFilterText(2, at(1, 0, 0, 0), at(1, 14, 30, 0)),
              QStringLiteral("CALLTYPE=2 AND WHENSTART>='1.6.2006' AND WHENSTART<'1.6.2006 14:30:00'"));
}

TEST_F(CallLogTest, Statistics)
{
    open();
    // The statistics window copies the whole log first.
    auto compute = [&](TDateChoice from, TDateChoice to) {
        dm->cd_tmp->setFiltered(false);
        dm->cd_tmp->copyFrom(*dm->tb_audio);
        dm->ComputeStatistics(from, to);
    };
    auto statRows = [&] {
        QStringList out;
        for (dm->cd_stat->first(); !dm->cd_stat->eof(); dm->cd_stat->next()) {
            QStringList cells;
            for (int i = 0; i < dm->cd_stat->fieldCount(); ++i)
                cells << dm->cd_stat->field(i).asString();
            out << cells.join(QLatin1Char('|'));
        }
        return out;
    };
    addCall(2, at(1, 9, 0, 0), at(1, 9, 0, 10), QString());
    addCall(2, at(1, 10, 0, 0), at(1, 10, 0, 20), QString());
    addCall(2, at(1, 11, 0, 0), at(1, 11, 0, 31), QString());
    TCheckedItems types;
    dm->FillCallTypes(types);
    types.SetCheckedIndexText(QStringLiteral("4"));
    dm->ApplyCallLogFilter(types, 0, 0, {}, {}); // the call list's filter does not matter
    compute({}, {});
    EXPECT_EQ(statRows(), (QStringList{QStringLiteral("2|Odchozí|3|61|31|10|20"), QStringLiteral("6|Celkem:|3|61|31|10|20")}));
    dm->cd_stat->first();
    EXPECT_EQ(dm->cd_stat->fieldByName(QStringLiteral("C2")).displayText(), QStringLiteral("00:01:01"));
    EXPECT_EQ(dm->cd_stat->fieldByName(QStringLiteral("C1")).displayText(), QStringLiteral("3"));

    addCall(3, at(2, 9, 0, 0), at(2, 9, 0, 5), QString());
    addCall(5, at(2, 10, 0, 0), at(2, 10, 0, 0), QString());
    compute({EncodeDate(2006, 6, 2), true}, {EncodeDate(2006, 6, 2), true});
    EXPECT_EQ(statRows(), (QStringList{QStringLiteral("3|Příchozí|1|5|5|5|5"), QStringLiteral("5|Zmeškaný|1|0|0|0|0"),
                                       QStringLiteral("6|Celkem:|2|5|5|0|2")}));
    EXPECT_EQ(dm->cd_tmp->recordCount(), 2); // left filtered to the chosen dates
    EXPECT_EQ(dm->CountChartCalls(3, at(2, 0, 0, 0), at(2, 9, 0, 0)), 0);
    EXPECT_EQ(dm->CountChartCalls(3, at(2, 0, 0, 0), at(2, 9, 0, 1)), 1);
    EXPECT_EQ(dm->CountChartCalls(2, at(1, 0, 0, 0), at(2, 0, 0, 0)), 3);

    // The window closes the work copy after each chart; the next computation starts over.
    dm->cd_tmp->close();
    compute({}, {EncodeDate(2006, 6, 1), true});
    EXPECT_EQ(statRows().size(), 2);
    EXPECT_EQ(dm->cd_tmp->recordCount(), 3);
    compute({EncodeDate(2006, 7, 1), true}, {});
    EXPECT_TRUE(statRows().isEmpty());
    compute({EncodeDate(2006, 6, 3), true}, {EncodeDate(2006, 6, 1), true}); // inverted range
    EXPECT_TRUE(statRows().isEmpty());
    EXPECT_EQ(WaitDepth(), 0);
}

TEST_F(CallLogTest, StatisticsRefuseToOverflow)
{
    open();
    // Two calls of 1.5e9 seconds each: the total does not fit 32 bits.
    dm->AddCall(2, 0, 0.0, 1.5e9 / 86400.0, QString(), QString());
    dm->AddCall(2, 0, 1.0, 1.0 + 1.5e9 / 86400.0, QString(), QString());
    dm->cd_tmp->copyFrom(*dm->tb_audio);
    try {
        dm->ComputeStatistics({}, {});
        FAIL() << "no overflow error";
    } catch (const Exception &e) {
        EXPECT_TRUE(e.message().contains(QStringLiteral("overflow"))) << e.message().toStdString();
    }
    EXPECT_EQ(WaitDepth(), 0);
    EXPECT_FALSE(dm->cd_stat->controlsDisabled());
}

TEST_F(CallLogTest, InterfaceTimeAndLog)
{
    ManualClock clock(1000, at(1, 12, 0, 0));
    EXPECT_DOUBLE_EQ(dm->CurrentTime(), at(1, 12, 0, 0));
    dm->WriteLog(1, QStringLiteral("line error"));
    EXPECT_TRUE(readAll(LogFileName()).contains("1.6.2006 12:00:00 line error"));
}

// ---- Recordings under faults -----------------------------------------------------------------

namespace {
QByteArray logText() { return readAll(LogFileName()); }
} // namespace

TEST_F(CallLogTest, ANewRowNeverTakesTheNameOfAFileInTheStore)
{
    open();
    // The delivered empty log copied over a log while the store was kept.
    writeFile(Tdmcd::RecordingFileName(1), "another caller's conversation");
    QFile::link(data.file(QStringLiteral("nowhere")), Tdmcd::RecordingFileName(2));
    const int id = addCall(3, at(1, 9, 0, 0), at(1, 9, 1, 0), QStringLiteral("1"), 300);
    EXPECT_EQ(id, 3);
    EXPECT_EQ(readAll(Tdmcd::RecordingFileName(1)), QByteArray("another caller's conversation"));
    EXPECT_EQ(readAll(Tdmcd::RecordingFileName(3)), QByteArray(300, 'r'));
    EXPECT_EQ(f("AUDIOSIZE").asInteger(), 300);
    EXPECT_TRUE(logText().contains("0000001.wav"));
}

TEST_F(CallLogTest, ARecordingThatCannotBeStoredIsKeptAndTheRowSaysSo)
{
    open();
    QStringList warnings;
    QObject::connect(dm.get(), &Tdmcd::warning, [&](const QString &text) { warnings << text; });
    // The store is a dangling link: nothing can be moved into it.
    const QString store = data.file(QStringLiteral("data"));
    QDir(store).removeRecursively();
    ASSERT_TRUE(QFile::link(data.file(QStringLiteral("gone")), store));
    const int id = addCall(3, at(1, 9, 0, 0), at(1, 9, 1, 0), QStringLiteral("1"), 500);
    EXPECT_EQ(f("AUDIOSIZE").asInteger(), -1);
    EXPECT_EQ(f("AUDIOTYPE").asInteger(), 2);
    const QString kept = JoinPath(Tdmcd::RecoveryFolder(), QStringLiteral("0000001.wav"));
    EXPECT_EQ(readAll(kept), QByteArray(500, 'r'));
    ASSERT_EQ(warnings.size(), 1);
    EXPECT_TRUE(warnings.first().contains(kept));
    EXPECT_TRUE(logText().contains(kept.toUtf8()));
    EXPECT_EQ(reloaded(), rows(*dm->tb_audio));
    EXPECT_EQ(id, 1);

    // A store that has gone altogether is made again.
    QFile::remove(store);
    addCall(3, at(1, 10, 0, 0), at(1, 10, 1, 0), QStringLiteral("2"), 40);
    EXPECT_EQ(readAll(Tdmcd::RecordingFileName(2)), QByteArray(40, 'r'));
    EXPECT_EQ(f("AUDIOSIZE").asInteger(), 40);
}

TEST_F(CallLogTest, SilentAndIncompleteRecordings)
{
    open();
    // Under 1/8 s of talk nothing comes out of the converter: no file, size 0.
    QString temp = recording(0);
    dm->AddCall(3, 1, at(1, 9, 0, 0), at(1, 9, 0, 0), QStringLiteral("1"), temp);
    gotoId(1);
    EXPECT_EQ(f("AUDIOSIZE").asInteger(), 0);
    EXPECT_EQ(f("AUDIOTYPE").asInteger(), 1);
    EXPECT_FALSE(QFile::exists(Tdmcd::RecordingFileName(1)));
    EXPECT_FALSE(QFile::exists(temp));

    // A recording the recorder could not finish: stored as far as it goes, marked, logged.
    temp = recording(64);
    dm->AddCall(3, 1, at(1, 10, 0, 0), at(1, 10, 0, 9), QStringLiteral("2"), temp, QStringLiteral("disk full"));
    gotoId(2);
    EXPECT_EQ(f("AUDIOSIZE").asInteger(), 64);
    EXPECT_EQ(f("AUDIOTYPE").asInteger(), 2);
    EXPECT_TRUE(QFile::exists(Tdmcd::RecordingFileName(2)));
    EXPECT_TRUE(logText().contains("ID=2"));

    // Nothing at all was written: no file, and the row does not say "no recording".
    temp = recording(0);
    dm->AddCall(3, 1, at(1, 11, 0, 0), at(1, 11, 0, 9), QStringLiteral("3"), temp, QStringLiteral("disk full"));
    gotoId(3);
    EXPECT_EQ(f("AUDIOSIZE").asInteger(), -1);
    EXPECT_EQ(f("AUDIOTYPE").asInteger(), 2);
    EXPECT_FALSE(QFile::exists(Tdmcd::RecordingFileName(3)));
}

TEST_F(CallLogTest, AnInterruptedStoreIsCompletedAtTheNextStart)
{
    open();
    const int id = addCall(3, at(1, 9, 0, 0), at(1, 9, 1, 0), QStringLiteral("1"), 700);
    // The run ended after the row was saved and before its recording was moved.
    const QString folder = QFileInfo(Tdmcd::TempRecordFileName()).path();
    const QString kept = JoinPath(folder, QStringLiteral("~tmbrec-0000001.wav"));
    ASSERT_TRUE(QFile::rename(Tdmcd::RecordingFileName(id), kept));
    // And a recording whose row never got saved.
    writeFile(JoinPath(folder, QStringLiteral("~tmbrec-0000009.wav")), "orphan");
    dm = std::make_unique<Tdmcd>();
    open();
    EXPECT_EQ(readAll(Tdmcd::RecordingFileName(id)), QByteArray(700, 'r'));
    EXPECT_FALSE(QFile::exists(kept));
    EXPECT_EQ(readAll(JoinPath(Tdmcd::RecoveryFolder(), QStringLiteral("0000009.wav"))), QByteArray("orphan"));
    EXPECT_FALSE(QFile::exists(Tdmcd::RecordingFileName(9)));
}

TEST_F(CallLogTest, LeftoversOfAnInterruptedSaveAreRemovedOnlyWhenOurs)
{
    dm.reset();
    writeFile(data.file(QStringLiteral("data.xml.Ab12Cd")), "half a log");
    writeFile(data.file(QStringLiteral("data.xml.keep")), "not ours");
    writeFile(data.file(QStringLiteral("data.xml.Ab12Cde")), "not ours");
    QDir().mkpath(data.file(QStringLiteral("data.xml.Zz99Yy")));
    writeFile(data.file(QStringLiteral("data/~tmbstore_q1W2e3")), "half a copy");
    dm = std::make_unique<Tdmcd>();
    EXPECT_FALSE(QFile::exists(data.file(QStringLiteral("data.xml.Ab12Cd"))));
    EXPECT_FALSE(QFile::exists(data.file(QStringLiteral("data/~tmbstore_q1W2e3"))));
    EXPECT_TRUE(QFile::exists(data.file(QStringLiteral("data.xml.keep"))));
    EXPECT_TRUE(QFile::exists(data.file(QStringLiteral("data.xml.Ab12Cde"))));
    EXPECT_TRUE(QFileInfo(data.file(QStringLiteral("data.xml.Zz99Yy"))).isDir());
    open();
}

TEST_F(CallLogTest, ALogThatIsNoRegularFileIsRefusedWithoutWaiting)
{
    QFile::remove(Tdmcd::DataFileName());
    ASSERT_EQ(::mkfifo(QFile::encodeName(Tdmcd::DataFileName()).constData(), 0600), 0);
    auto opening = std::async(std::launch::async, [this] {
        try {
            dm->OpenCallLog();
        } catch (const Exception &) {
            return true;
        }
        return false;
    });
    if (opening.wait_for(std::chrono::seconds(20)) != std::future_status::ready) {
        // Set the blocked opening free before failing.
        const int fd = ::open(QFile::encodeName(Tdmcd::DataFileName()).constData(), O_WRONLY);
        ::close(fd);
        opening.wait();
        FAIL() << "opening a pipe as the call log blocked";
    }
    EXPECT_TRUE(opening.get());
    EXPECT_TRUE(logText().contains("not a regular file"));
}

TEST_F(CallLogTest, ALogThatCannotBeWrittenIsNamed)
{
    open();
    EXPECT_EQ(dm->WriteProblem(), QString());
    // Something in the way that binds every user, the superuser too.
    QFile::remove(Tdmcd::DataFileName());
    QDir().mkpath(Tdmcd::DataFileName());
    EXPECT_TRUE(dm->WriteProblem().contains(Tdmcd::DataFileName()));
    QDir().rmdir(Tdmcd::DataFileName());
    writeFile(Tdmcd::DataFileName(), "x");
    const QString store = data.file(QStringLiteral("data"));
    QDir(store).removeRecursively();
    writeFile(store, "a file where the store belongs");
    EXPECT_TRUE(dm->WriteProblem().contains(store));
    QFile::remove(store);
    QDir().mkpath(store);
    if (::geteuid() != 0) {
        QFile::setPermissions(Tdmcd::DataFileName(), QFileDevice::ReadOwner);
        EXPECT_TRUE(dm->WriteProblem().startsWith(QStringLiteral("Chyba - do datového úložiště nelze zapisovat")));
        QFile::setPermissions(Tdmcd::DataFileName(), QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        QFile::setPermissions(data.path(), QFileDevice::ReadOwner | QFileDevice::ExeOwner);
        EXPECT_TRUE(dm->WriteProblem().contains(data.path()));
        QFile::setPermissions(data.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    }
}

// ---- Keeping old recordings in check ----------------------------------------------------------

namespace {
// The AUDIOSIZE of each call, by identifier, as a table holds it; -2 for a call that is not there.
qint64 sizeOf(const TMemTable &table, int id)
{
    const TField &ids = table.fieldByName(QStringLiteral("IDAUDIO"));
    for (int r = 0; r < table.physicalCount(); ++r)
        if (ids.asLargeIntAt(r) == id)
            return table.fieldByName(QStringLiteral("AUDIOSIZE")).asLargeIntAt(r);
    return -2;
}
qint64 storedSizeOf(int id)
{
    TMemTable t;
    LoadDataPacketFile(t, Tdmcd::DataFileName());
    return sizeOf(t, id);
}
} // namespace

TEST_F(CallLogTest, RetentionByAgeEmptiesOnlyOldRowsWithFilesAndStoresTheLog)
{
    open();
    const int oldest = addCall(3, at(1, 9, 0, 0), at(1, 9, 1, 0), QStringLiteral("1"), 100);
    const int old = addCall(3, at(2, 9, 0, 0), at(2, 9, 1, 0), QStringLiteral("2"), 200);
    const int noFile = addCall(3, at(2, 10, 0, 0), at(2, 10, 1, 0), QStringLiteral("3"), 300);
    const int recent = addCall(3, at(20, 9, 0, 0), at(20, 9, 1, 0), QStringLiteral("4"), 400);
    ASSERT_TRUE(QFile::remove(Tdmcd::RecordingFileName(noFile)));
    TRetention policy;
    policy.mode = TRetention::ByAge;
    policy.days = 10;
    // Nothing is old enough yet on the first day the clock shows.
    EXPECT_TRUE(ApplyRetention(*dm, policy, at(11, 9, 0, 0)).Summary().isEmpty());
    EXPECT_TRUE(QFile::exists(Tdmcd::RecordingFileName(oldest)));

    const TRetentionResult result = ApplyRetention(*dm, policy, at(12, 12, 0, 0));
    EXPECT_EQ(result.recordings, 2);
    EXPECT_EQ(result.rows, 0);
    EXPECT_EQ(result.bytes, 300);
    EXPECT_TRUE(result.failures.isEmpty());
    for (int id : {oldest, old}) {
        EXPECT_FALSE(QFile::exists(Tdmcd::RecordingFileName(id)));
        EXPECT_EQ(sizeOf(*dm->tb_audio, id), 0);
        EXPECT_EQ(storedSizeOf(id), 0);
    }
    // A row that already pointed at no file is left as it is and is not counted.
    EXPECT_EQ(storedSizeOf(noFile), 300);
    EXPECT_EQ(storedSizeOf(recent), 400);
    EXPECT_TRUE(QFile::exists(Tdmcd::RecordingFileName(recent)));
    EXPECT_EQ(dm->tb_audio->physicalCount(), 4);
}

TEST_F(CallLogTest, RetentionBySizeTakesTheOldestFirstAndCanDeleteTheirRows)
{
    open();
    const int a = addCall(3, at(1, 9, 0, 0), at(1, 9, 1, 0), QStringLiteral("1"), 1000);
    const int b = addCall(3, at(2, 9, 0, 0), at(2, 9, 1, 0), QStringLiteral("2"), 1000);
    const int c = addCall(3, at(3, 9, 0, 0), at(3, 9, 1, 0), QStringLiteral("3"), 1000);
    gotoId(c);
    TRetention policy;
    policy.mode = TRetention::BySize;
    policy.maxGigabytes = 1500.0 / (1024.0 * 1024.0 * 1024.0); // room for one recording
    policy.deleteRows = true;
    const TRetentionResult result = ApplyRetention(*dm, policy, at(4, 9, 0, 0));
    EXPECT_EQ(result.recordings, 2);
    EXPECT_EQ(result.rows, 2);
    EXPECT_EQ(storedSizeOf(a), -2);
    EXPECT_EQ(storedSizeOf(b), -2);
    EXPECT_EQ(storedSizeOf(c), 1000);
    EXPECT_TRUE(QFile::exists(Tdmcd::RecordingFileName(c)));
    EXPECT_EQ(f("IDAUDIO").asInteger(), c); // the cursor stays on the row the user had
    EXPECT_EQ(result.Summary(), QStringLiteral("Odstraněny 2 staré nahrávky (0.0 MB) i s 2 záznamy hovorů."));
}

// A log that cannot be stored removes no file and leaves every row in memory as it was,
// so that a later save never writes rows that deny recordings still on disk.
TEST_F(CallLogTest, RetentionThatCannotStoreTheLogChangesNothing)
{
    open();
    const int a = addCall(3, at(1, 9, 0, 0), at(1, 9, 1, 0), QStringLiteral("1"), 100);
    const int b = addCall(3, at(2, 9, 0, 0), at(2, 9, 1, 0), QStringLiteral("2"), 200);
    const QStringList before = rows(*dm->tb_audio);
    QFile::remove(Tdmcd::DataFileName());
    QDir().mkpath(Tdmcd::DataFileName());
    for (bool deleteRows : {false, true}) {
        TRetention policy;
        policy.mode = TRetention::ByAge;
        policy.days = 1;
        policy.deleteRows = deleteRows;
        EXPECT_THROW(ApplyRetention(*dm, policy, at(30, 9, 0, 0)), Exception);
        QStringList now = rows(*dm->tb_audio);
        now.sort();
        QStringList expected = before;
        expected.sort();
        EXPECT_EQ(now, expected) << (deleteRows ? "rows deleted" : "rows emptied");
        EXPECT_TRUE(QFile::exists(Tdmcd::RecordingFileName(a)));
        EXPECT_TRUE(QFile::exists(Tdmcd::RecordingFileName(b)));
    }
    // Once the log can be stored again, the next call stores both rows with their sizes.
    QDir().rmdir(Tdmcd::DataFileName());
    addCall(4, at(31, 9, 0, 0), at(31, 9, 0, 5), QStringLiteral("3"));
    EXPECT_EQ(storedSizeOf(a), 100);
    EXPECT_EQ(storedSizeOf(b), 200);
}

// A recording that cannot be removed keeps its row as it was, on disk and in memory.
TEST_F(CallLogTest, RetentionKeepsTheRowOfARecordingThatCannotBeRemoved)
{
    open();
    const int stuck = addCall(3, at(1, 9, 0, 0), at(1, 9, 1, 0), QStringLiteral("1"), 100);
    const int gone = addCall(3, at(2, 9, 0, 0), at(2, 9, 1, 0), QStringLiteral("2"), 200);
    const QString stuckFile = Tdmcd::RecordingFileName(stuck);
    const QString folder = QFileInfo(stuckFile).absolutePath();
    // A folder without write permission keeps its files from anyone but the superuser;
    // for the superuser, an immutable file does the same where the file system allows it.
    bool locked = false;
    if (geteuid() != 0) {
        locked = QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    } else {
        locked = QProcess::execute(QStringLiteral("chattr"), {QStringLiteral("+i"), stuckFile}) == 0;
    }
    if (!locked)
        GTEST_SKIP() << "no way to keep a file from being removed here (superuser without chattr +i)";
    auto unlock = [&] {
        if (geteuid() != 0)
            QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        else
            QProcess::execute(QStringLiteral("chattr"), {QStringLiteral("-i"), stuckFile});
    };
    for (bool deleteRows : {false, true}) {
        TRetention policy;
        policy.mode = TRetention::ByAge;
        policy.days = 1;
        policy.deleteRows = deleteRows;
        const TRetentionResult result = ApplyRetention(*dm, policy, at(30, 9, 0, 0));
        EXPECT_EQ(result.failures, QStringList{stuckFile});
        EXPECT_TRUE(QFile::exists(stuckFile));
        EXPECT_EQ(sizeOf(*dm->tb_audio, stuck), 100);
        EXPECT_EQ(storedSizeOf(stuck), 100);
        EXPECT_TRUE(result.Summary().contains(stuckFile));
    }
    unlock();
    if (geteuid() != 0) {
        // Without write permission the other file stayed too, and its row with it.
        EXPECT_EQ(storedSizeOf(gone), 200);
    } else {
        EXPECT_EQ(storedSizeOf(gone), 0);
        EXPECT_FALSE(QFile::exists(Tdmcd::RecordingFileName(gone)));
    }
}

// Names come from the lookup for every loaded and added row, follow a refresh, and never
// reach data.xml: the log written with names is the log written without them.
TEST_F(CallLogTest, NamesAreLookedUpAndNeverStored)
{
    const auto fillLog = [this] {
        addCall(3, at(1, 9, 0, 0), at(1, 9, 1, 0), QStringLiteral("603 123-456"));
        addCall(2, at(1, 10, 0, 0), at(1, 10, 0, 30), QStringLiteral("777"));
        addCall(5, at(1, 11, 0, 0), at(1, 11, 0, 0), QString());
    };
    open();
    fillLog();
    const QByteArray unnamed = readAll(Tdmcd::DataFileName());

    // The same calls again in a fresh log, this time with names.
    dm.reset();
    ASSERT_TRUE(QFile::remove(Tdmcd::DataFileName()));
    ASSERT_TRUE(QFile::copy(QStringLiteral(TEMBREL_DELIVERED_DATA_XML), Tdmcd::DataFileName()));
    QFile::setPermissions(Tdmcd::DataFileName(), QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    dm = std::make_unique<Tdmcd>();
    dm->SetLinkNumber(2);
    QHash<QString, QString> book{{QStringLiteral("603 123-456"), QStringLiteral("Anna Nováková")},
                                 {QStringLiteral("777"), QStringLiteral("Cyril")}};
    int lookups = 0;
    dm->NameOfNumber = [&](const QString &number) {
        ++lookups;
        return book.value(number);
    };
    open();
    fillLog();
    EXPECT_EQ(readAll(Tdmcd::DataFileName()), unnamed);
    EXPECT_FALSE(unnamed.contains("PHONENAME"));
    EXPECT_FALSE(unnamed.contains("Cyril"));
    const TField &name = f("PHONENAME");
    EXPECT_EQ(name.asStringAt(0), QStringLiteral("Anna Nováková"));
    EXPECT_EQ(name.asStringAt(1), QStringLiteral("Cyril"));
    EXPECT_TRUE(name.isNullAt(2)); // no number: no lookup at all
    EXPECT_GE(lookups, 2);

    // A changed phonebook shows after a refresh, and the file still does not change.
    book[QStringLiteral("777")] = QStringLiteral("Cyril Veselý");
    dm->RefreshNames();
    EXPECT_EQ(name.asStringAt(1), QStringLiteral("Cyril Veselý"));
    // The next start names the rows as they load.
    dm.reset();
    dm = std::make_unique<Tdmcd>();
    dm->NameOfNumber = [&](const QString &number) { return book.value(number); };
    open();
    EXPECT_EQ(f("PHONENAME").asStringAt(0), QStringLiteral("Anna Nováková"));
    EXPECT_EQ(readAll(Tdmcd::DataFileName()), unnamed);
}

// The bulk export of a filtered list: only the listed calls, or all of them on request;
// the list keeps its filter and its current row either way.
TEST_F(CallLogTest, ExportOfTheFilteredCallsOrOfAll)
{
    open();
    const int in = addCall(3, at(1, 9, 0, 0), at(1, 9, 1, 0), QStringLiteral("111"), 11);
    const int out = addCall(2, at(1, 10, 0, 0), at(1, 10, 1, 0), QStringLiteral("222"), 12);
    TCheckedItems types;
    dm->FillCallTypes(types);
    types.SetCheckedIndexText(QStringLiteral("2")); // incoming only
    dm->ApplyCallLogFilter(types, 0, 0, {}, {});
    ASSERT_EQ(dm->tb_audio->recordCount(), 1);
    const TBookmark before = dm->tb_audio->bookmark();

    const QString filtered = data.file(QStringLiteral("filtered"));
    const QString all = data.file(QStringLiteral("all"));
    QDir().mkpath(filtered);
    QDir().mkpath(all);
    dm->ExportRecordings(filtered, true);
    dm->ExportRecordings(all, false);
    EXPECT_EQ(QDir(filtered).entryList(QDir::Files), QStringList{QStringLiteral("111_%1.wav").arg(in)});
    EXPECT_EQ(QDir(all).entryList(QDir::Files, QDir::Name),
              (QStringList{QStringLiteral("111_%1.wav").arg(in), QStringLiteral("222_%1.wav").arg(out)}));
    EXPECT_EQ(boxes.texts, (QStringList{QStringLiteral("Bylo vyexportováno 1 záznamů z 1 možných."),
                                        QStringLiteral("Bylo vyexportováno 2 záznamů z 2 možných.")}));
    EXPECT_TRUE(dm->tb_audio->filtered());
    EXPECT_EQ(dm->tb_audio->recordCount(), 1);
    EXPECT_EQ(dm->tb_audio->bookmark(), before);
}

// Calls per number over the statistics' dates: numbers written differently are one caller
// when the key says so, named from the log, most calls first.
TEST_F(CallLogTest, CallsPerNumberWithTheirNames)
{
    dm->NameOfNumber = [](const QString &number) {
        return phonebookLikeKey(number) == QLatin1String("603123456") ? QStringLiteral("Anna") : QString();
    };
    dm->NumberKey = [](const QString &number) { return phonebookLikeKey(number); };
    open();
    addCall(3, at(1, 9, 0, 0), at(1, 9, 0, 10), QStringLiteral("603 123 456"));
    addCall(2, at(1, 10, 0, 0), at(1, 10, 0, 50), QStringLiteral("603-123-456"));
    addCall(3, at(1, 11, 0, 0), at(1, 11, 0, 5), QStringLiteral("777"));
    addCall(3, at(3, 11, 0, 0), at(3, 11, 9, 0), QStringLiteral("777")); // outside the dates
    dm->cd_tmp->copyFrom(*dm->tb_audio);
    dm->ComputeStatistics({at(1, 0, 0, 0), true}, {at(1, 0, 0, 0), true});
    dm->ComputeNumberStatistics();
    EXPECT_EQ(rows(*dm->cd_statnum), (QStringList{QStringLiteral("603 123 456|Anna|2|60|50|30"),
                                                  QStringLiteral("777|<null>|1|5|5|5")}));
    EXPECT_EQ(dm->cd_statnum->fieldByName(QStringLiteral("C2")).displayTextAt(0), QStringLiteral("00:01:00"));
    // No calls in the dates: an empty list.
    dm->cd_tmp->copyFrom(*dm->tb_audio);
    dm->ComputeStatistics({at(20, 0, 0, 0), true}, {at(20, 0, 0, 0), true});
    dm->ComputeNumberStatistics();
    EXPECT_TRUE(dm->cd_statnum->isEmpty());
}
