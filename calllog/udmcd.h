#pragma once
#include <QObject>
#include <QString>
#include <functional>

#include "checkeditems.h"
#include "memtable.h"
#include "tablemodel.h"

// A date chooser as the filters see it: a date and whether it is checked.
struct TDateChoice {
    double date = 0;
    bool checked = false;
};

// The call-data module: the call log (tb_audio) with its file data.xml, the
// recording store, the call log filter and the call statistics (cd_stat from
// the work copy cd_tmp). What the call tracker needs of a call log is here too; the
// session hands it over.
class Tdmcd : public QObject {
    Q_OBJECT
public:
    explicit Tdmcd(QObject *parent = nullptr);
    ~Tdmcd() override;

    // Tables and the data sources the grids bind to.
    TMemTable *tb_audio;
    TMemTable *cd_stat;
    TMemTable *cd_tmp;
    TTableModel *ds_audio;
    TTableModel *ds_stat;
    // Calls per number over the dates of the last statistics (cd_tmp's view): number,
    // name, count, total, longest and average length; most calls first.
    TMemTable *cd_statnum;
    TTableModel *ds_statnum;

    int LinkNumber() const { return m_linkNumber; }
    void SetLinkNumber(int number) { m_linkNumber = number; }

    // Loads data.xml, orders by WHENSTART and attaches the display of lengths.
    // Raises the store's message when the file is missing, unreadable or damaged;
    // the file is never written then.
    void OpenCallLog();
    static QString DataFileName();

    // For the call tracker: the one temporary recording, the log, the clock and the
    // appending of a finished call (a non-empty fileName hands its recording over).
    void GetTempRecordFileName(QString &fileName);
    void WriteLog(int level, const QString &text);
    double CurrentTime();
    void AddCall(int callType, int audioType, double whenStart, double whenEnd, const QString &phoneNumber,
                 const QString &fileName);
    // The same, told by the recorder what went wrong with the recording (empty when
    // nothing did): the row is then marked incomplete and the log says why.
    void AddCall(int callType, int audioType, double whenStart, double whenEnd, const QString &phoneNumber,
                 const QString &fileName, const QString &recordingProblem);
    // Empty when the log, its folder and the recording store can be written; otherwise
    // the warning the user must see.
    QString WriteProblem() const;

    // Recordings.
    static QString RecordingFileName(int id);
    // In a folder of this user alone, one per data directory; empty (with the reason)
    // when no such folder can be had.
    static QString TempRecordFileName(QString *error = nullptr);
    // Where recordings that could not be stored are kept.
    static QString RecoveryFolder();
    QString CopyRecording(int id, const QString &target);
    void PlayRecording(int id);
    // Copies the recordings of the listed calls (onlyFiltered), or of every call, into the folder.
    void ExportRecordings(const QString &folder, bool onlyFiltered = true);
    // Opens a document with its associated program; replaceable for tests. False when
    // no program is associated; a player that fails later reports through ReportNoPlayer.
    std::function<bool(const QString &fileName)> ShellOpen;
    static void ReportNoPlayer();

    // Filters and statistics.
    void FillCallTypes(TCheckedItems &chooser);
    void ApplyCallLogFilter(const TCheckedItems &chooser, int lineFrom, int lineTo, TDateChoice dateFrom,
                            TDateChoice dateTo);
    void ComputeStatistics(TDateChoice dateFrom, TDateChoice dateTo);
    static QString DateFilter(TDateChoice dateFrom, TDateChoice dateTo);
    // Fills cd_statnum from the rows of cd_tmp that ComputeStatistics left in its view.
    void ComputeNumberStatistics();
    // The form in which two numbers are the same caller (none: as written).
    std::function<QString(const QString &number)> NumberKey;
    // The chart's counting expression for one call type and period, and its count over cd_tmp.
    static QString ChartFilterText(int callType, double start, double end);
    int CountChartCalls(int callType, double start, double end) const;

    // Names for numbers: the calculated field PHONENAME ("Jméno") shows the name this
    // lookup gives for a row's PHONENUMBER; the file never holds it.
    static QString NameFieldName();
    static constexpr int kNameWidth = 100;
    std::function<QString(const QString &number)> NameOfNumber;
    // Looks every row's name up again (the names behind the lookup changed).
    void RefreshNames();

    static QString CallTypeName(int callType);
    // Display hook of length fields: hours:minutes:seconds; nothing on an empty table.
    static QString DurationGetText(const TField &field, int record, bool displayText);

signals:
    // A problem with the log or the recordings that the user must learn of; it is in the
    // log file already.
    void warning(const QString &text);

private:
    void DataModuleCreate();
    // Moves the recording kept under the row's identifier into the store; when that
    // fails, into the recovery folder or, failing that too, it stays. False with the
    // text saying where it is.
    bool StoreRecording(int id, const QString &kept, QString &where);
    // Recordings left between the row and the store by an interrupted run.
    void RecoverRecordings();
    void Warn(const QString &text);
    void tb_audioBeforePost(TMemTable &table);
    void tb_audioAfterPost(TMemTable &table);
    void tb_audioBeforeDelete(TMemTable &table);
    void tb_audioCalcFields(TMemTable &table, int record);

    int m_linkNumber = 0;
    int m_nameField = -1;
    int m_numberField = -1;
};
