#pragma once
// The TAPI module: opens the watched line, follows every call on it, decides its type
// and number, records the connected call and hands each finished call to the call log;
// supervises the line and offers the phone commands.
#include "callcontracts.h"
#include "calltypes.h"
#include "pbxprocs.h"

#include <QList>
#include <QObject>
#include <QPair>
#include <QString>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

class QTimer;

// One call on the watched line.
class TCallRec {
public:
    TCallRec(HCALL call, double startTime) : Call(call), StartTime(startTime) {}
    HCALL Call;
    DWORD State = LINECALLSTATE_IDLE;
    TCallType CallType = ctUndetermined;
    bool Connected = false;
    bool Rang = false;
    bool Recording = false;
    double StartTime;
    QString Number;
    // The caller's name as the line gives it (caller ID name); empty when it gives none.
    QString Name;
};

// State, call type, number: (LINECALLSTATE_IDLE, ctUndetermined, "") idle line, and the
// line statuses (lsClosed, lsRestartFailed) with type 0; otherwise a call state and a call type.
using TCallStatusEvent = std::function<void(int state, int callType, const QString &number)>;

// Line device names, each with its device identifier.
using TDeviceList = QList<QPair<QString, int>>;

class Tdmtapi : public QObject {
    Q_OBJECT
public:
    explicit Tdmtapi(QObject *parent = nullptr);
    ~Tdmtapi() override;

    // ---- Line -----------------------------------------------------------------------
    void OpenLine();
    void CloseLine();
    void ListDevices(TDeviceList &strings);
    // The line's configuration window, shown by what the windows layer installed with
    // LineService::setConfigDialog; without one the result is LINEERR_OPERATIONUNAVAIL.
    LONG ConfigDialog(DWORD deviceId, HWND ownerWindow);
    static QString CallStateName(int state, int callType);
    void LineCallback(DWORD hDevice, DWORD dwMessage, DWORD_PTR dwCallbackInstance, DWORD dwParam1, DWORD dwParam2,
                      DWORD dwParam3);

    // ---- Recording -------------------------------------------------------------------
    // Starts the recording of the connected call with this number, as the rule allows.
    void StartRecording(const QString &number = QString());
    void StopRecording(int callType, const QString &number, double startTime);
    void RefreshCallInfo(TCallRec *call);

    // ---- Supervision -------------------------------------------------------------------
    void CheckLine();

    // ---- Phone commands ----------------------------------------------------------------
    LONG Dial(const QString &number);
    LONG Answer();
    LONG HangUp();

    // ---- Calls -------------------------------------------------------------------------
    int CallCount() const { return int(Calls.size()); }
    TCallRec *CallAt(int index) const { return Calls.at(size_t(index)).second.get(); }
    TCallRec *FindCall(HCALL call) const;

    // Fields.
    QTimer *CheckTimer;
    HLINEAPP LineApp = 0;
    HLINE Line = 0;
    bool Recording = false;
    // The running recording's call may be recorded; a call the rule excludes is logged without one.
    bool RecordingWanted = true;
    bool AutoStartWatch = false;
    int Device = -1;
    bool TAPIAutoCheck = false;
    bool CommandCalls = false;
    bool MissedCalls = false;
    ICallLog *CallLog = nullptr;
    // The audio module's recording operations; none means recording is impossible.
    IRecorderControl *Recorder = nullptr;
    TCallStatusEvent OnStatus;
    bool Active = false;
    QString LineName;

private:
    void ReportStatus(TCallRec *current);
    // Stops a running recording, logging its call, and forgets every call.
    void EndCalls();
    // The watched device was unplugged: its calls end now and the line is no longer watched.
    void LineRemoved();
    void RemoveCall(HCALL call);
    double CurrentTime() const;
    QString TempRecordFileName() const;
    void WriteLog(int level, const QString &text) const;

    // Key: the call handle as decimal text; kept in arrival order.
    std::vector<std::pair<QString, std::unique_ptr<TCallRec>>> Calls;
};
