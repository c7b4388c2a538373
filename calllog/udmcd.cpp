#include "udmcd.h"

#include "calltypes.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>
#include <cmath>
#include <cstdio>
#include <limits>

#include "clock.h"
#include "datapacket.h"
#include "formatsettings.h"
#include "myutils.h"
#include "tablefilter.h"

namespace {
const QString kOpenFailedText = QStringLiteral("Chyba - nelze otevřít datové úložiště. Program bude ukončen.");

// Runs the clean-up of a scope on every exit, failures included.
template <typename F>
class Finally {
public:
    explicit Finally(F f) : m_f(std::move(f)) {}
    ~Finally() { m_f(); }
    Finally(const Finally &) = delete;
    Finally &operator=(const Finally &) = delete;

private:
    F m_f;
};

// Back on the remembered record when it is still there, the mark freed and the controls live again.
void ReturnToBookmark(TMemTable &table, TBookmark mark)
{
    try {
        if (mark != kNoBookmark)
            table.gotoBookmark(mark);
    } catch (const Exception &) {
    }
    table.freeBookmark(mark);
    table.enableControls();
}

// A log that failed to open is closed, so that nothing is ever written over the damaged file.
[[noreturn]] void FailOpening(TMemTable &table, const QString &why)
{
    WriteLogLine(why);
    table.close();
    throw Exception(kOpenFailedText);
}

// Characters that cannot stand in a file name: a number holding one of them is
// not exported (and a "/" would lead out of the chosen folder).
bool isSafeFileName(const QString &name)
{
    if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String(".."))
        return false;
    for (QChar c : name)
        if (c.unicode() < 0x20 || QStringLiteral("\\/:*?\"<>|").contains(c))
            return false;
    return true;
}

qint32 checkedInt32(qint64 value)
{
    if (value > std::numeric_limits<qint32>::max() || value < std::numeric_limits<qint32>::min())
        throw Exception(QStringLiteral("Integer overflow in the call statistics"));
    return qint32(value);
}
} // namespace

Tdmcd::Tdmcd(QObject *parent)
    : QObject(parent), tb_audio(new TMemTable(this)), cd_stat(new TMemTable(this)), cd_tmp(new TMemTable(this)),
      ds_audio(new TTableModel(tb_audio, this)), ds_stat(new TTableModel(cd_stat, this)),
      ShellOpen([](const QString &fileName) { return OpenDocument(fileName, false, [] { ReportNoPlayer(); }); })
{
    tb_audio->setObjectName(QStringLiteral("tb_audio"));
    cd_stat->setObjectName(QStringLiteral("cd_stat"));
    cd_tmp->setObjectName(QStringLiteral("cd_tmp"));
    ds_audio->setObjectName(QStringLiteral("ds_audio"));
    ds_stat->setObjectName(QStringLiteral("ds_stat"));
    tb_audio->beforePost = [this](TMemTable &t) { tb_audioBeforePost(t); };
    tb_audio->afterPost = [this](TMemTable &t) { tb_audioAfterPost(t); };
    tb_audio->afterDelete = [this](TMemTable &t) { tb_audioAfterPost(t); };
    tb_audio->beforeDelete = [this](TMemTable &t) { tb_audioBeforeDelete(t); };
    DataModuleCreate();
}

Tdmcd::~Tdmcd() = default;

void Tdmcd::DataModuleCreate()
{
    EnsureDirectory(StripTrailingDelimiter(QFileInfo(RecordingFileName(0)).path()));
    QFile::remove(TempRecordFileName()); // left over from an interrupted run
}

QString Tdmcd::DataFileName() { return JoinPath(DataDirectory(), QStringLiteral("data.xml")); }

void Tdmcd::OpenCallLog()
{
    try {
        LoadDataPacketFile(*tb_audio, DataFileName());
        tb_audio->setIndexFieldNames(QStringLiteral("WHENSTART"));
        TField &length = tb_audio->fieldByName(QStringLiteral("WHENLENGTH"));
        length.setOnGetText(&Tdmcd::DurationGetText);
        length.setAlignment(Qt::AlignLeft);
        // The fields this module writes must all be there, or every AddCall would fail later.
        for (const char *name : {"IDAUDIO", "CALLTYPE", "CALLTYPENAME", "CALLLINK", "WHENSTART", "WHENEND",
                                 "AUDIOTYPE", "AUDIOSIZE", "AUDIOSIZEKB", "PHONENUMBER"})
            tb_audio->fieldByName(QLatin1String(name));
    } catch (const Exception &e) {
        FailOpening(*tb_audio, e.message());
    } catch (const std::exception &e) { // out of memory on a monstrous file, for one
        FailOpening(*tb_audio, QString::fromLocal8Bit(e.what()));
    }
    struct Caption {
        const char *field;
        const char *label;
        bool visible;
    };
    static const Caption captions[] = {
        {"IDAUDIO", "ID", true},
        {"IDBINDATA", "", false},
        {"IDUSER", "", false},
        {"CALLTYPE", "", false},
        {"CALLTYPENAME", "Typ hovoru", true},
        {"CALLLINK", "Linka", true},
        {"WHENSTART", "Začátek hovoru", true},
        {"WHENEND", "Konec hovoru", true},
        {"WHENLENGTH", "Délka hovoru", true},
        {"AUDIOTYPE", "", false},
        {"AUDIOSIZE", "Velikost audia [B]", false},
        {"AUDIOSIZEKB", "Velikost [kB]", true},
        {"PHONENUMBER", "Telefonní číslo", true},
    };
    for (const Caption &c : captions) {
        if (TField *f = tb_audio->findField(QLatin1String(c.field))) {
            if (*c.label)
                f->setDisplayLabel(QString::fromUtf8(c.label));
            f->setVisible(c.visible);
        }
    }
}

// ---- ICallLog ----------------------------------------------------------------------------

void Tdmcd::GetTempRecordFileName(QString &fileName) { fileName = TempRecordFileName(); }

void Tdmcd::WriteLog(int level, const QString &text)
{
    Q_UNUSED(level);
    WriteLogLine(text);
}

double Tdmcd::CurrentTime() { return Now(); }

void Tdmcd::AddCall(int callType, int audioType, double whenStart, double whenEnd, const QString &phoneNumber,
                    const QString &fileName)
{
    int id = 0;
    {
        tb_audio->disableControls();
        const bool wasFiltered = tb_audio->filtered();
        const TBookmark mark = tb_audio->bookmark();
        Finally restore([&] {
            // A refused post must not leave the table half inserted.
            if (tb_audio->state() == TTableState::Insert)
                tb_audio->cancel();
            if (wasFiltered)
                tb_audio->setFiltered(true);
            ReturnToBookmark(*tb_audio, mark);
        });
        if (wasFiltered)
            tb_audio->setFiltered(false);
        tb_audio->insert();
        tb_audio->fieldByName(QStringLiteral("CALLTYPE")).setAsInteger(callType);
        tb_audio->fieldByName(QStringLiteral("CALLLINK")).setAsInteger(m_linkNumber);
        tb_audio->fieldByName(QStringLiteral("WHENSTART")).setAsDateTime(whenStart);
        tb_audio->fieldByName(QStringLiteral("WHENEND")).setAsDateTime(whenEnd);
        tb_audio->fieldByName(QStringLiteral("PHONENUMBER")).setAsString(phoneNumber);
        tb_audio->fieldByName(QStringLiteral("AUDIOTYPE")).setAsInteger(audioType);
        // Only a regular file is a recording: anything else in its place counts as missing.
        tb_audio->fieldByName(QStringLiteral("AUDIOSIZE"))
            .setAsInteger(fileName.isEmpty() ? 0 : QFileInfo(fileName).isFile() ? FileSizeByName(fileName) : -1);
        tb_audio->post();
        id = tb_audio->fieldByName(QStringLiteral("IDAUDIO")).asInteger();
    }
    if (!fileName.isEmpty() && QFileInfo(fileName).isFile())
        QFile::rename(fileName, RecordingFileName(id)); // never replaces; the result is not needed
}

void Tdmcd::tb_audioBeforePost(TMemTable &table)
{
    table.fieldByName(QStringLiteral("CALLTYPENAME"))
        .setAsString(CallTypeName(table.fieldByName(QStringLiteral("CALLTYPE")).asInteger()));
    // Whole seconds of the difference, counted in milliseconds so that a length
    // of exactly n seconds never comes out as n-1 through rounding of day fractions.
    const double days = std::fabs(table.fieldByName(QStringLiteral("WHENEND")).asDateTime()
                                  - table.fieldByName(QStringLiteral("WHENSTART")).asDateTime());
    const double ms = std::round(days * 86400000.0);
    if (ms / 1000.0 > double(std::numeric_limits<qint32>::max()))
        throw Exception(QStringLiteral("Integer overflow: the call is too long"));
    table.fieldByName(QStringLiteral("WHENLENGTH")).setAsInteger(qint64(ms) / 1000);
    table.fieldByName(QStringLiteral("AUDIOSIZEKB"))
        .setAsInteger(table.fieldByName(QStringLiteral("AUDIOSIZE")).asLargeInt() / 1024);
}

void Tdmcd::tb_audioAfterPost(TMemTable &table)
{
    table.mergeChangeLog();
    SaveDataPacketFile(table, DataFileName());
}

void Tdmcd::tb_audioBeforeDelete(TMemTable &table)
{
    QFile::remove(RecordingFileName(table.fieldByName(QStringLiteral("IDAUDIO")).asInteger()));
}

QString Tdmcd::CallTypeName(int callType)
{
    switch (callType) {
    case ctOutgoing: return QStringLiteral("Odchozí");
    case ctIncoming: return QStringLiteral("Příchozí");
    case ctUnsuccessful: return QStringLiteral("Neuskutečněný");
    case ctMissed: return QStringLiteral("Zmeškaný");
    default: return QStringLiteral("Neurčený");
    }
}

QString Tdmcd::DurationGetText(const TField &field, int record, bool displayText)
{
    Q_UNUSED(displayText);
    if (field.table().isEmpty() || field.isNullAt(record))
        return QString();
    return SecondsToDuration(std::llround(field.asFloatAt(record)));
}

// ---- Recordings ----------------------------------------------------------------------------

QString Tdmcd::RecordingFileName(int id)
{
    return JoinPath(JoinPath(DataDirectory(), QStringLiteral("data")), ZeroPadNumber(id, 7) + QStringLiteral(".wav"));
}

QString Tdmcd::TempRecordFileName() { return JoinPath(TempDirectory(), QStringLiteral("~tmbrec.wav")); }

QString Tdmcd::CopyRecording(int id, const QString &target)
{
    const QString source = RecordingFileName(id);
    const QFileInfo sourceInfo(source);
    if (!sourceInfo.isFile())
        return QString();
    if (target.isEmpty())
        return source;
    const QFileInfo targetInfo(target);
    if (targetInfo.exists() && targetInfo.canonicalFilePath() == sourceInfo.canonicalFilePath())
        return target; // copying a file onto itself would destroy it
    // Copy beside the target, then rename over it: a failed copy leaves the old target whole.
    QString temp;
    {
        QTemporaryFile tmp(JoinPath(targetInfo.absolutePath(), QStringLiteral("~tmbcopy_XXXXXX")));
        if (!tmp.open())
            return QString();
        temp = tmp.fileName();
        tmp.setAutoRemove(false);
    }
    QFile::remove(temp);
    if (!QFile::copy(source, temp)) {
        QFile::remove(temp);
        return QString();
    }
    if (std::rename(QFile::encodeName(temp).constData(), QFile::encodeName(target).constData()) != 0) {
        QFile::remove(temp);
        return QString();
    }
    return target;
}

void Tdmcd::PlayRecording(int id)
{
    const QString name = CopyRecording(id, QString());
    if (name.isEmpty()) {
        ShowMessageBox(QStringLiteral("Audio soubor ID=") + QString::number(id) + QStringLiteral(" nebyl v databázi nalezen."),
                       mkWarning, mbOK);
        return;
    }
    if (!ShellOpen || !ShellOpen(name))
        ReportNoPlayer();
}

void Tdmcd::ReportNoPlayer()
{
    ShowMessageBox(QStringLiteral("Nepodařilo se najít program asociovaný k přehrávání!"), mkError, mbOK);
}

void Tdmcd::ExportRecordings(const QString &folder)
{
    int possible = 0;
    int exported = 0;
    {
        BeginWait(WaitCursor::Hourglass);
        tb_audio->disableControls();
        const TBookmark mark = tb_audio->bookmark();
        Finally restore([&] {
            ReturnToBookmark(*tb_audio, mark);
            EndWait();
        });
        const TField &size = tb_audio->fieldByName(QStringLiteral("AUDIOSIZE"));
        const TField &ident = tb_audio->fieldByName(QStringLiteral("IDAUDIO"));
        const TField &number = tb_audio->fieldByName(QStringLiteral("PHONENUMBER"));
        tb_audio->first();
        while (!tb_audio->eof()) {
            if (size.asLargeInt() > 0) {
                QCoreApplication::processEvents();
                ++possible;
                const int id = ident.asInteger();
                const QString name = number.asString() + QLatin1Char('_') + QString::number(id) + QStringLiteral(".wav");
                if (isSafeFileName(name) && !CopyRecording(id, JoinPath(folder, name)).isEmpty())
                    ++exported;
            }
            tb_audio->next();
        }
    }
    ShowMessageBox(QStringLiteral("Bylo vyexportováno %1 záznamů z %2 možných.").arg(exported).arg(possible),
                   mkInformation, mbOK);
}

// ---- Filters and statistics ------------------------------------------------------------------

void Tdmcd::FillCallTypes(TCheckedItems &chooser)
{
    if (chooser.Count() > 0)
        return;
    for (int code = 1; code <= 5; ++code)
        chooser.AddItem(CallTypeName(code), code);
    chooser.CheckAll();
}

QString Tdmcd::DateFilter(TDateChoice dateFrom, TDateChoice dateTo)
{
    QString expression;
    if (dateFrom.checked)
        AndFilter(QStringLiteral("WHENSTART>='") + FormatShortDate(dateFrom.date) + QLatin1Char('\''), expression);
    if (dateTo.checked)
        AndFilter(QStringLiteral("WHENSTART<'") + FormatShortDate(dateTo.date + 1) + QLatin1Char('\''), expression);
    return expression;
}

void Tdmcd::ApplyCallLogFilter(const TCheckedItems &chooser, int lineFrom, int lineTo, TDateChoice dateFrom,
                               TDateChoice dateTo)
{
    QString expression;
    AndFilter(chooser.FilterText(QStringLiteral("CALLTYPE"), true), expression);
    if (lineFrom != 0) {
        AndFilter(QStringLiteral("CALLLINK>=") + QString::number(lineFrom), expression);
        AndFilter(QStringLiteral("CALLLINK<=") + QString::number(lineTo), expression);
    }
    // Each date condition joins on its own, as in DateFilter.
    if (dateFrom.checked)
        AndFilter(QStringLiteral("WHENSTART>='") + FormatShortDate(dateFrom.date) + QLatin1Char('\''), expression);
    if (dateTo.checked)
        AndFilter(QStringLiteral("WHENSTART<'") + FormatShortDate(dateTo.date + 1) + QLatin1Char('\''), expression);
    tb_audio->setFilter(expression);
    tb_audio->setFiltered(!expression.isEmpty());
}

void Tdmcd::ComputeStatistics(TDateChoice dateFrom, TDateChoice dateTo)
{
    BeginWait(WaitCursor::Hourglass);
    cd_stat->disableControls();
    Finally restore([&] {
        cd_stat->enableControls();
        EndWait();
    });

    cd_stat->close();
    cd_stat->setIndexFieldNames(QString());
    cd_stat->fieldDefs().clear();
    cd_stat->addFieldDef(QStringLiteral("CALLTYPE"), TFieldType::Integer);
    cd_stat->addFieldDef(QStringLiteral("CALLTYPENAME"), TFieldType::String, 20);
    for (const char *name : {"C1", "C2", "C3", "C4", "C5"})
        cd_stat->addFieldDef(QLatin1String(name), TFieldType::Integer);
    cd_stat->createDataSet();
    for (const char *name : {"C2", "C3", "C4", "C5"}) {
        TField &f = cd_stat->fieldByName(QLatin1String(name));
        f.setOnGetText(&Tdmcd::DurationGetText);
        f.setAlignment(Qt::AlignLeft);
    }

    const QString expression = DateFilter(dateFrom, dateTo);
    cd_tmp->setFilter(expression);
    cd_tmp->setFiltered(!expression.isEmpty());
    cd_tmp->setIndexFieldNames(QStringLiteral("CALLTYPE"));

    const TField &type = cd_tmp->fieldByName(QStringLiteral("CALLTYPE"));
    const TField &name = cd_tmp->fieldByName(QStringLiteral("CALLTYPENAME"));
    const TField &length = cd_tmp->fieldByName(QStringLiteral("WHENLENGTH"));
    TField &outType = cd_stat->fieldByName(QStringLiteral("CALLTYPE"));
    TField &outName = cd_stat->fieldByName(QStringLiteral("CALLTYPENAME"));
    TField &c1 = cd_stat->fieldByName(QStringLiteral("C1"));
    TField &c2 = cd_stat->fieldByName(QStringLiteral("C2"));
    TField &c3 = cd_stat->fieldByName(QStringLiteral("C3"));
    TField &c4 = cd_stat->fieldByName(QStringLiteral("C4"));
    TField &c5 = cd_stat->fieldByName(QStringLiteral("C5"));
    auto addRow = [&](int code, const QString &text, qint64 count, qint64 sum, qint64 maximum, qint64 minimum) {
        cd_stat->insert();
        outType.setAsInteger(code);
        outName.setAsString(text);
        c1.setAsInteger(checkedInt32(count));
        c2.setAsInteger(checkedInt32(sum));
        c3.setAsInteger(maximum);
        c4.setAsInteger(minimum);
        c5.setAsInteger(qint64(std::trunc(double(sum) / double(count))));
        cd_stat->post();
    };

    cd_tmp->first();
    if (!cd_tmp->eof()) {
        qint64 totalCount = 0, totalSum = 0;
        qint64 overallMax = length.asLargeInt(), overallMin = overallMax;
        while (!cd_tmp->eof()) {
            const int code = type.asInteger();
            const QString groupName = name.asString();
            qint64 count = 0, sum = 0;
            qint64 maximum = length.asLargeInt(), minimum = maximum;
            while (!cd_tmp->eof() && type.asInteger() == code) {
                const qint64 value = length.asLargeInt();
                ++count;
                sum = checkedInt32(sum + value);
                maximum = std::max(maximum, value);
                minimum = std::min(minimum, value);
                cd_tmp->next();
            }
            addRow(code, groupName, count, sum, maximum, minimum);
            totalCount = checkedInt32(totalCount + count);
            totalSum = checkedInt32(totalSum + sum);
            overallMax = std::max(overallMax, maximum);
            overallMin = std::min(overallMin, minimum);
        }
        addRow(6, QStringLiteral("Celkem:"), totalCount, totalSum, overallMax, overallMin);
    }
    cd_stat->setIndexFieldNames(QStringLiteral("CALLTYPE"));
    cd_stat->first();
}

QString Tdmcd::ChartFilterText(int callType, double start, double end)
{
    return QStringLiteral("CALLTYPE=") + QString::number(callType) + QStringLiteral(" AND WHENSTART>='")
        + FormatDateTimeText(start) + QStringLiteral("' AND WHENSTART<'") + FormatDateTimeText(end) + QLatin1Char('\'');
}

int Tdmcd::CountChartCalls(int callType, double start, double end) const
{
    return cd_tmp->countMatching(ChartFilterText(callType, start, end));
}
