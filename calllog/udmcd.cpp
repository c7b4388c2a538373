#include "udmcd.h"

#include "stringmap.h"

#include "calltypes.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QDirIterator>
#include <QRegularExpression>
#include <QTemporaryFile>
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <limits>
#include <sys/stat.h>
#include <unistd.h>

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

// Whether anything at all (a file, a folder, a dangling link) stands under the name.
bool NameTaken(const QString &name)
{
    struct stat st {};
    return ::lstat(QFile::encodeName(name).constData(), &st) == 0 || errno != ENOENT;
}

// The temporary recording renamed after the row it belongs to, so that an interrupted
// run can still tell whose it is.
QString KeptRecordingName(const QString &folder, int id)
{
    return JoinPath(folder, QStringLiteral("~tmbrec-") + ZeroPadNumber(id, 7) + QStringLiteral(".wav"));
}

// Removes the files an interrupted save or store leaves behind: only our own temporary
// names, only regular files.
void RemoveLeftovers(const QString &folder, const QRegularExpression &pattern)
{
    QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::System);
    while (it.hasNext()) {
        const QString path = it.next();
        if (pattern.match(it.fileName()).hasMatch() && IsRegularFile(path)) {
            QFile::remove(path);
            WriteLogLine(QStringLiteral("Removed a leftover of an interrupted save: ") + path);
        }
    }
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
      cd_statnum(new TMemTable(this)), ds_statnum(new TTableModel(cd_statnum, this)),
      ShellOpen([](const QString &fileName) { return OpenDocument(fileName, false, [] { ReportNoPlayer(); }); })
{
    tb_audio->setObjectName(QStringLiteral("tb_audio"));
    cd_stat->setObjectName(QStringLiteral("cd_stat"));
    cd_tmp->setObjectName(QStringLiteral("cd_tmp"));
    ds_audio->setObjectName(QStringLiteral("ds_audio"));
    ds_stat->setObjectName(QStringLiteral("ds_stat"));
    cd_statnum->setObjectName(QStringLiteral("cd_statnum"));
    ds_statnum->setObjectName(QStringLiteral("ds_statnum"));
    tb_audio->beforePost = [this](TMemTable &t) { tb_audioBeforePost(t); };
    tb_audio->afterPost = [this](TMemTable &t) { tb_audioAfterPost(t); };
    tb_audio->afterDelete = [this](TMemTable &t) { tb_audioAfterPost(t); };
    tb_audio->beforeDelete = [this](TMemTable &t) { tb_audioBeforeDelete(t); };
    // The caller's name is looked up, never stored: data.xml keeps its fields.
    tb_audio->addCalculatedField(NameFieldName(), TFieldType::String, kNameWidth);
    tb_audio->calcFields = [this](TMemTable &t, int record) { tb_audioCalcFields(t, record); };
    DataModuleCreate();
}

Tdmcd::~Tdmcd() = default;

void Tdmcd::DataModuleCreate()
{
    EnsureDirectory(StripTrailingDelimiter(QFileInfo(RecordingFileName(0)).path()));
    const QString temp = TempRecordFileName();
    if (!temp.isEmpty())
        QFile::remove(temp); // left over from an interrupted run
    // An interrupted save leaves data.xml.XXXXXX, an interrupted store ~tmbstore_XXXXXX.
    RemoveLeftovers(DataDirectory(), QRegularExpression(QStringLiteral("^data\\.xml\\.[A-Za-z0-9]{6}$")));
    RemoveLeftovers(JoinPath(DataDirectory(), QStringLiteral("data")),
                    QRegularExpression(QStringLiteral("^~tmbstore_[A-Za-z0-9]{6}$")));
}

void Tdmcd::Warn(const QString &text)
{
    WriteLogLine(text);
    emit warning(text);
}

QString Tdmcd::NameFieldName() { return QStringLiteral("PHONENAME"); }

void Tdmcd::tb_audioCalcFields(TMemTable &table, int record)
{
    // Resolved once per structure: this runs for every row of a loaded log.
    if (m_nameField < 0 || m_nameField >= table.fieldCount() || m_numberField >= table.fieldCount()
        || table.field(m_nameField).fieldName() != NameFieldName()
        || table.field(m_numberField).fieldName() != QLatin1String("PHONENUMBER")) {
        const TField *name = table.findField(NameFieldName());
        const TField *number = table.findField(QStringLiteral("PHONENUMBER"));
        if (!name || !number || !name->def().calculated)
            return; // a file field of that name keeps its own values
        m_nameField = name->index();
        m_numberField = number->index();
    }
    const QString &number = table.cellText(m_numberField, record);
    table.setCalculatedText(m_nameField, record,
                            number.isEmpty() || !NameOfNumber ? QString() : NameOfNumber(number).left(kNameWidth));
}

void Tdmcd::RefreshNames()
{
    if (tb_audio->active())
        tb_audio->recalculateFields();
}

QString Tdmcd::DataFileName() { return JoinPath(DataDirectory(), QStringLiteral("data.xml")); }

void Tdmcd::OpenCallLog()
{
    try {
        // Read in pieces: memory stays near the size of the loaded table.
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
        {"PHONENAME", "Jméno", true},
    };
    for (const Caption &c : captions) {
        if (TField *f = tb_audio->findField(QLatin1String(c.field))) {
            if (*c.label)
                f->setDisplayLabel(QString::fromUtf8(c.label));
            f->setVisible(c.visible);
        }
    }
    // Room for a usual name in outputs that size columns by the field (not its 100 characters).
    if (TField *name = tb_audio->findField(NameFieldName()); name && name->def().calculated)
        name->setDisplayWidth(25);
    RecoverRecordings();
}

QString Tdmcd::WriteProblem() const
{
    // Writing is tried, not judged from the mode bits: those do not bind every user.
    auto folderWritable = [](const QString &folder) {
        QTemporaryFile probe(JoinPath(folder, QStringLiteral("~tmbprobe_XXXXXX")));
        return probe.open();
    };
    const QString file = DataFileName();
    const int fd = ::open(QFile::encodeName(file).constData(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    QString where;
    if (fd < 0)
        where = file;
    else
        ::close(fd);
    if (where.isEmpty() && !folderWritable(DataDirectory()))
        where = DataDirectory();
    const QString store = JoinPath(DataDirectory(), QStringLiteral("data"));
    if (where.isEmpty() && !folderWritable(store))
        where = store;
    if (where.isEmpty())
        return QString();
    return QStringLiteral("Chyba - do datového úložiště nelze zapisovat (%1), hovory nebudou uloženy.").arg(where);
}

void Tdmcd::RecoverRecordings()
{
    const QString folder = PrivateTempDirectory(DataDirectory());
    if (folder.isEmpty())
        return;
    static const QRegularExpression kept(QStringLiteral("^~tmbrec-([0-9]{7,10})\\.wav$"));
    QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::System);
    while (it.hasNext()) {
        const QString path = it.next();
        const QRegularExpressionMatch match = kept.match(it.fileName());
        long long size = 0;
        if (!match.hasMatch() || !IsRegularFile(path, &size))
            continue;
        const int id = match.captured(1).toInt();
        // The row was stored and the run ended before its recording was: put it in place.
        const TField &ident = tb_audio->fieldByName(QStringLiteral("IDAUDIO"));
        const TField &audioSize = tb_audio->fieldByName(QStringLiteral("AUDIOSIZE"));
        bool claimed = false;
        for (int r = 0; r < tb_audio->physicalCount(); ++r) {
            if (!ident.isNullAt(r) && ident.asLargeIntAt(r) == id)
                claimed = !audioSize.isNullAt(r) && audioSize.asLargeIntAt(r) == size;
        }
        QString why;
        if (claimed && MoveFileNoReplace(path, RecordingFileName(id), &why)) {
            Warn(QStringLiteral("Nahrávka hovoru ID=%1 byla obnovena do %2.").arg(id).arg(RecordingFileName(id)));
            continue;
        }
        const QString target = JoinPath(RecoveryFolder(), QFileInfo(RecordingFileName(id)).fileName());
        QString where = path;
        if (EnsureDirectory(RecoveryFolder()) && !NameTaken(target) && MoveFileNoReplace(path, target))
            where = target;
        Warn(QStringLiteral("Nahrávka hovoru ID=%1 nemá v databázi svůj záznam; je uložena v %2.").arg(id).arg(where));
    }
}

// ---- ICallLog ----------------------------------------------------------------------------

void Tdmcd::GetTempRecordFileName(QString &fileName)
{
    QString why;
    fileName = TempRecordFileName(&why);
    if (fileName.isEmpty())
        WriteLogLine(QStringLiteral("Nelze připravit dočasnou nahrávku: ") + why);
}

void Tdmcd::WriteLog(int level, const QString &text)
{
    Q_UNUSED(level);
    WriteLogLine(text);
}

double Tdmcd::CurrentTime() { return Now(); }

void Tdmcd::AddCall(int callType, int audioType, double whenStart, double whenEnd, const QString &phoneNumber,
                    const QString &fileName)
{
    AddCall(callType, audioType, whenStart, whenEnd, phoneNumber, fileName, QString());
}

void Tdmcd::AddCall(int callType, int audioType, double whenStart, double whenEnd, const QString &phoneNumber,
                    const QString &fileName, const QString &recordingProblem)
{
    // Only a regular file is a recording: anything else in its place counts as missing.
    long long size = 0;
    const bool regular = !fileName.isEmpty() && IsRegularFile(fileName, &size);
    bool recorded = regular && size > 0;
    if (regular && size == 0)
        QFile::remove(fileName); // no sound came through (a very short call): no file rather than one that is no WAVE
    const bool incomplete = !recordingProblem.isEmpty() && audioType == ceConnected;
    // 0: nothing was to be recorded, or nothing was heard; -1: a recording is missing.
    long long audioSize = 0;
    if (recorded)
        audioSize = size;
    else if (incomplete || (!fileName.isEmpty() && !regular))
        audioSize = -1;

    int id = 0;
    QString kept;
    std::exception_ptr saveFailure;
    bool stored = true;
    QString where;
    {
        const TKeptRow currentRow(*tb_audio);
        const bool wasFiltered = tb_audio->filtered();
        Finally restore([&] {
            // A refused post must not leave the table half inserted.
            if (tb_audio->state() == TTableState::Insert || tb_audio->state() == TTableState::Edit)
                tb_audio->cancel();
            if (wasFiltered)
                tb_audio->setFiltered(true);
        });
        if (!tb_audio->active())
            throw Exception(QStringLiteral("The call log is not open"));
        // A new row never takes the name of a file already in the store (a log replaced
        // while the store was kept): it would point at another caller's conversation.
        int next = std::max(tb_audio->autoIncValue(), 1);
        while (next < std::numeric_limits<int>::max() && NameTaken(RecordingFileName(next))) {
            WriteLogLine(QStringLiteral("Soubor %1 již existuje, nový záznam jej nepřevezme.").arg(RecordingFileName(next)));
            ++next;
        }
        tb_audio->setAutoIncValue(next);
        if (recorded) {
            // Renamed after its row before the row is stored, so that a run cut short
            // between the two still finds the recording's row at the next start.
            kept = KeptRecordingName(QFileInfo(fileName).absolutePath(), next);
            if (NameTaken(kept) || !MoveFileNoReplace(fileName, kept))
                kept = fileName;
        }
        if (wasFiltered)
            tb_audio->setFiltered(false);
        tb_audio->insert();
        tb_audio->fieldByName(QStringLiteral("CALLTYPE")).setAsInteger(callType);
        tb_audio->fieldByName(QStringLiteral("CALLLINK")).setAsInteger(m_linkNumber);
        tb_audio->fieldByName(QStringLiteral("WHENSTART")).setAsDateTime(whenStart);
        tb_audio->fieldByName(QStringLiteral("WHENEND")).setAsDateTime(whenEnd);
        tb_audio->fieldByName(QStringLiteral("PHONENUMBER")).setAsString(phoneNumber);
        tb_audio->fieldByName(QStringLiteral("AUDIOTYPE")).setAsInteger(incomplete ? int(ceIncomplete) : audioType);
        tb_audio->fieldByName(QStringLiteral("AUDIOSIZE")).setAsInteger(audioSize);
        try {
            tb_audio->post();
        } catch (const Exception &) {
            // The row stays in memory when only the file could not be written; the next
            // successful write stores it, so its recording must be stored all the same.
            if (tb_audio->state() != TTableState::Browse || !recorded) {
                // No row will ever claim the recording: it is kept aside, never deleted.
                if (recorded) {
                    const QString rescue = JoinPath(RecoveryFolder(), QFileInfo(kept).fileName().mid(1));
                    QString place = kept;
                    if (EnsureDirectory(RecoveryFolder()) && !NameTaken(rescue) && MoveFileNoReplace(kept, rescue))
                        place = rescue;
                    Warn(QStringLiteral("Nahrávka hovoru bez uloženého záznamu je uložena v %1.").arg(place));
                }
                throw;
            }
            saveFailure = std::current_exception();
        }
        id = tb_audio->fieldByName(QStringLiteral("IDAUDIO")).asInteger();
        if (recorded) {
            stored = StoreRecording(id, kept, where);
            if (!stored) {
                // The row must not claim a file the store does not hold.
                try {
                    tb_audio->edit();
                    tb_audio->fieldByName(QStringLiteral("AUDIOSIZE")).setAsInteger(-1);
                    tb_audio->fieldByName(QStringLiteral("AUDIOTYPE")).setAsInteger(int(ceIncomplete));
                    tb_audio->post();
                } catch (const Exception &) {
                    if (!saveFailure)
                        saveFailure = std::current_exception();
                }
            }
        }
    }
    if (incomplete)
        Warn(QStringLiteral("Nahrávka hovoru ID=%1 je neúplná: %2").arg(id).arg(recordingProblem));
    if (!stored)
        Warn(where);
    if (saveFailure)
        std::rethrow_exception(saveFailure);
}

bool Tdmcd::StoreRecording(int id, const QString &kept, QString &where)
{
    const QString target = RecordingFileName(id);
    const QString store = QFileInfo(target).absolutePath();
    QString why;
    // A store that has gone is made again; a link to a folder is the user's choice and
    // is followed, anything else in its place is not written through.
    if (!QFileInfo(store).exists() && !QFileInfo(store).isSymLink())
        EnsureDirectory(store);
    if (!QFileInfo(store).isDir())
        why = QStringLiteral("%1 není složka").arg(store);
    else if (MoveFileNoReplace(kept, target, &why))
        return true;
    QString place = kept;
    const QString rescue = JoinPath(RecoveryFolder(), QFileInfo(target).fileName());
    if (EnsureDirectory(RecoveryFolder()) && !NameTaken(rescue) && MoveFileNoReplace(kept, rescue))
        place = rescue;
    where = QStringLiteral("Nahrávku hovoru ID=%1 nelze uložit (%2); je uložena v %3.").arg(id).arg(why, place);
    return false;
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

QString Tdmcd::TempRecordFileName(QString *error)
{
    const QString folder = PrivateTempDirectory(DataDirectory(), error);
    return folder.isEmpty() ? QString() : JoinPath(folder, QStringLiteral("~tmbrec.wav"));
}

QString Tdmcd::RecoveryFolder() { return JoinPath(DataDirectory(), QStringLiteral("recovered")); }

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

void Tdmcd::ExportRecordings(const QString &folder, bool onlyFiltered)
{
    int possible = 0;
    int exported = 0;
    {
        BeginWait(WaitCursor::Hourglass);
        Finally endWait([] { EndWait(); });
        const TKeptRow currentRow(*tb_audio);
        // All calls: the filter is off for the walk and on again before the row is sought.
        const bool filterOff = !onlyFiltered && tb_audio->filtered();
        if (filterOff)
            tb_audio->setFiltered(false);
        Finally filterBack([&] {
            if (filterOff)
                tb_audio->setFiltered(true);
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

void Tdmcd::ComputeNumberStatistics()
{
    cd_statnum->disableControls();
    Finally restore([&] { cd_statnum->enableControls(); });

    cd_statnum->close();
    cd_statnum->fieldDefs().clear();
    cd_statnum->addFieldDef(QStringLiteral("PHONENUMBER"), TFieldType::String, 60);
    cd_statnum->addFieldDef(NameFieldName(), TFieldType::String, kNameWidth);
    for (const char *name : {"C1", "C2", "C3", "C5"})
        cd_statnum->addFieldDef(QLatin1String(name), TFieldType::Integer);
    cd_statnum->createDataSet();
    for (const char *name : {"C2", "C3", "C5"}) {
        TField &f = cd_statnum->fieldByName(QLatin1String(name));
        f.setOnGetText(&Tdmcd::DurationGetText);
        f.setAlignment(Qt::AlignLeft);
    }
    if (!cd_tmp->active())
        return;

    // One group per number as the phonebook compares numbers, spelt as its oldest row has it.
    struct Group {
        QString number;
        QString name;
        int firstRecord = 0;
        qint64 count = 0, sum = 0, maximum = 0;
    };
    std::vector<Group> groups;
    TStringMap<size_t> byKey;
    TStringMap<size_t> bySpelling; // the key is made once per spelling, not per row
    const int numberField = cd_tmp->fieldByName(QStringLiteral("PHONENUMBER")).index();
    const int lengthField = cd_tmp->fieldByName(QStringLiteral("WHENLENGTH")).index();
    const TField *nameField = cd_tmp->findField(NameFieldName());
    const int rows = cd_tmp->recordCount();
    for (int i = 0; i < rows; ++i) {
        const int record = cd_tmp->viewRecord(i);
        const QString &number = cd_tmp->cellText(numberField, record);
        auto spelt = bySpelling.find(number);
        if (spelt == bySpelling.end()) {
            const QString key = NumberKey ? NumberKey(number) : number;
            auto it = byKey.find(key);
            if (it == byKey.end()) {
                it = byKey.emplace(key, groups.size()).first;
                groups.emplace_back();
                groups.back().firstRecord = record + 1;
            }
            spelt = bySpelling.emplace(number, it->second).first;
        }
        Group &g = groups[spelt->second];
        if (record < g.firstRecord) { // rows are kept in the order they were added
            g.firstRecord = record;
            g.number = number;
            g.name = nameField ? nameField->asStringAt(record) : QString();
        }
        const qint64 length = cd_tmp->cellNull(lengthField, record) ? 0 : cd_tmp->cellInt(lengthField, record);
        ++g.count;
        g.sum = checkedInt32(g.sum + length);
        g.maximum = std::max(g.maximum, length);
    }
    // The most frequent callers first.
    std::stable_sort(groups.begin(), groups.end(), [](const Group &a, const Group &b) {
        return a.count != b.count ? a.count > b.count : a.sum > b.sum;
    });
    // Rows as a loaded file gives them: tens of thousands of callers take no row-by-row posting.
    const int outNumber = cd_statnum->fieldByName(QStringLiteral("PHONENUMBER")).index();
    const int outName = cd_statnum->fieldByName(NameFieldName()).index();
    const int c1 = cd_statnum->fieldByName(QStringLiteral("C1")).index();
    const int c2 = cd_statnum->fieldByName(QStringLiteral("C2")).index();
    const int c3 = cd_statnum->fieldByName(QStringLiteral("C3")).index();
    const int c5 = cd_statnum->fieldByName(QStringLiteral("C5")).index();
    for (const Group &g : groups) {
        const int row = cd_statnum->appendRawRecord();
        if (!g.number.isEmpty())
            cd_statnum->setRawText(outNumber, row, g.number.left(60));
        if (!g.name.isEmpty())
            cd_statnum->setRawText(outName, row, g.name);
        cd_statnum->setRawInt(c1, row, checkedInt32(g.count));
        cd_statnum->setRawInt(c2, row, g.sum);
        cd_statnum->setRawInt(c3, row, g.maximum);
        cd_statnum->setRawInt(c5, row, g.sum / g.count);
    }
    cd_statnum->finishLoading();
    cd_statnum->first();
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
