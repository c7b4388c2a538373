#include "udmtapi.h"

#include "clock.h"
#include "myutils.h"

#include <QFile>
#include <QTimer>

namespace {

constexpr int kCheckInterval = 30000;
// A provider that reports absurdly many addresses does not keep the opening busy for ever.
constexpr DWORD kMaxAddresses = 64;

// Stops the supervision timer while a line operation runs; starting it again at the end
// restarts its interval.
class TimerPause {
public:
    explicit TimerPause(QTimer *timer) : m_timer(timer) { m_timer->stop(); }
    ~TimerPause() { m_timer->start(); }
    TimerPause(const TimerPause &) = delete;
    TimerPause &operator=(const TimerPause &) = delete;

private:
    QTimer *m_timer;
};

QString Hex8(uint32_t value) { return QStringLiteral("%1").arg(value, 8, 16, QLatin1Char('0')).toUpper(); }

} // namespace

Tdmtapi::Tdmtapi(QObject *parent) : QObject(parent), CheckTimer(new QTimer(this))
{
    CheckTimer->setInterval(kCheckInterval);
    connect(CheckTimer, &QTimer::timeout, this, &Tdmtapi::CheckLine);
    CheckTimer->start();
}

Tdmtapi::~Tdmtapi()
{
    CheckTimer->disconnect(this);
    try {
        CloseLine();
    } catch (...) {
        LogIgnoredLineError("CloseLine");
    }
    CheckTimer->stop();
}

double Tdmtapi::CurrentTime() const { return CallLog ? CallLog->CurrentTime() : Now(); }

QString Tdmtapi::TempRecordFileName() const
{
    QString fileName;
    if (CallLog)
        CallLog->GetTempRecordFileName(fileName);
    return fileName;
}

void Tdmtapi::WriteLog(int level, const QString &text) const
{
    if (CallLog)
        CallLog->WriteLog(level, text);
    else
        WriteLogLine(text);
}

TCallRec *Tdmtapi::FindCall(HCALL call) const
{
    const QString key = QString::number(call);
    for (const auto &entry : Calls) {
        if (entry.first == key)
            return entry.second.get();
    }
    return nullptr;
}

void Tdmtapi::RemoveCall(HCALL call)
{
    const QString key = QString::number(call);
    std::erase_if(Calls, [&](const auto &entry) { return entry.first == key; });
}

// ---- Line ----------------------------------------------------------------------------------

void Tdmtapi::OpenLine()
{
    TimerPause pause(CheckTimer);
    if (Device == -1)
        throw Exception(QStringLiteral("Není vybráno žádné TAPI zařízení"));
    // What an earlier failed opening left initialised is shut down first, so that
    // repeated attempts do not pile up applications.
    if (LineApp != 0 && !Active) {
        if (Line != 0) {
            try {
                TapiLineClose(Line);
            } catch (const Exception &) {
                LogIgnoredLineError("TapiLineClose");
            }
            Line = 0;
        }
        try {
            TapiShutdown(LineApp);
        } catch (const Exception &) {
            LogIgnoredLineError("TapiShutdown");
        }
        LineApp = 0;
    }
    DWORD numDevs = 0;
    LineApp = TapiInitialize(numDevs, [this](DWORD hDevice, DWORD message, DWORD_PTR instance, DWORD p1, DWORD p2,
                                             DWORD p3) { LineCallback(hDevice, message, instance, p1, p2, p3); });
    DWORD version = 0;
    LINEEXTENSIONID extension{};
    TapiCheck(lineNegotiateAPIVersion(LineApp, DWORD(Device), 0x10003, 0x20002, &version, &extension),
              QStringLiteral("lineNegotiateAPIVersion"));
    const DWORD privileges = LINECALLPRIVILEGE_MONITOR | (CommandCalls ? LINECALLPRIVILEGE_OWNER : 0);
    Line = TapiLineOpen(reinterpret_cast<DWORD_PTR>(this), LineApp, DWORD(Device), version, 0, privileges);

    TTapiBuffer caps(TAPI_BUFFER_SIZE);
    auto *devCaps = caps.as<LINEDEVCAPS>();
    if (lineGetDevCaps(LineApp, DWORD(Device), version, 0, devCaps) == 0) {
        try {
            LineName = TapiVarString(devCaps, devCaps->dwLineNameOffset, devCaps->dwLineNameSize);
        } catch (const Exception &) {
            LogIgnoredLineError("line name");
        }
        const DWORD addresses = std::min(devCaps->dwNumAddresses, kMaxAddresses);
        for (DWORD index = 0; index < addresses; ++index) {
            TTapiBuffer buffer(TAPI_BUFFER_SIZE);
            auto *addressCaps = buffer.as<LINEADDRESSCAPS>();
            if (lineGetAddressCaps(LineApp, DWORD(Device), index, version, 0, addressCaps) != 0
                || addressCaps->dwAddressSize <= 1)
                continue;
            try {
                LineName += QStringLiteral(" #")
                    + TapiVarString(addressCaps, addressCaps->dwAddressOffset, addressCaps->dwAddressSize);
            } catch (const Exception &) {
                LogIgnoredLineError("line address");
            }
        }
    }
    Active = true;
    if (OnStatus)
        OnStatus(int(LINECALLSTATE_IDLE), ctUndetermined, QString());
}

void Tdmtapi::CloseLine()
{
    TimerPause pause(CheckTimer);
    struct ForgetCalls {
        decltype(Calls) &calls;
        ~ForgetCalls() { calls.clear(); }
    } forget{Calls};
    if (Line != 0) {
        try {
            TapiLineClose(Line);
        } catch (const Exception &) {
            LogIgnoredLineError("TapiLineClose");
        }
        Line = 0;
    }
    if (LineApp != 0) {
        try {
            TapiShutdown(LineApp);
        } catch (const Exception &) {
            LogIgnoredLineError("TapiShutdown");
        }
        LineApp = 0;
    }
    LineName.clear();
    Active = false;
    EndCalls();
    if (OnStatus)
        OnStatus(lsClosed, 0, QString());
}

void Tdmtapi::EndCalls()
{
    if (Recording) {
        TCallRec *owner = nullptr;
        for (const auto &entry : Calls) {
            if (entry.second->Recording) {
                owner = entry.second.get();
                break;
            }
        }
        if (owner)
            StopRecording(owner->CallType, owner->Number, owner->StartTime);
        else
            StopRecording(1, QString(), CurrentTime());
    }
    Calls.clear();
}

void Tdmtapi::LineRemoved()
{
    // The device is gone and with it every call on it: the recording ends now and its
    // call is logged with this moment as its end, instead of running on until the
    // supervision or the end of the program notices. The handles stay for the next
    // opening (or the closing) to release: shutting the line application down here,
    // inside its own callback, would destroy the callback while it runs.
    WriteLog(1, QStringLiteral("TAPI zařízení %1 bylo odpojeno, linka se nesleduje").arg(LineName));
    Active = false;
    EndCalls();
    if (OnStatus)
        OnStatus(lsClosed, 0, QString());
}

void Tdmtapi::ListDevices(TDeviceList &strings)
{
    strings.clear();
    DWORD numDevs = 0;
    // A handle of its own: the listing never disturbs an open line's application.
    const HLINEAPP app = TapiInitialize(numDevs, nullptr);
    struct Shutdown {
        HLINEAPP app;
        ~Shutdown()
        {
            try {
                TapiShutdown(app);
            } catch (const Exception &) {
                LogIgnoredLineError("TapiShutdown");
            }
        }
    } shutdown{app};
    for (DWORD id = 0; id < numDevs; ++id) {
        DWORD version = 0;
        LINEEXTENSIONID extension{};
        if (lineNegotiateAPIVersion(app, id, 0x10003, 0x20002, &version, &extension) != 0)
            continue;
        TTapiBuffer caps(TAPI_BUFFER_SIZE);
        auto *devCaps = caps.as<LINEDEVCAPS>();
        if (lineGetDevCaps(app, id, version, 0, devCaps) != 0)
            continue;
        try {
            strings.append({TapiVarString(devCaps, devCaps->dwLineNameOffset, devCaps->dwLineNameSize), int(id)});
        } catch (const Exception &) {
            LogIgnoredLineError("device list");
        }
    }
}

LONG Tdmtapi::ConfigDialog(DWORD deviceId, HWND ownerWindow) { return lineConfigDialog(deviceId, ownerWindow, nullptr); }

QString Tdmtapi::CallStateName(int state, int callType)
{
    switch (DWORD(state)) {
    case LINECALLSTATE_IDLE: return QStringLiteral("V klidu");
    case LINECALLSTATE_OFFERING: return QStringLiteral("Vyzvání příchozí hovor");
    case LINECALLSTATE_ACCEPTED: return QStringLiteral("Hovor přijat");
    case LINECALLSTATE_DIALTONE: return QStringLiteral("Zvednuté sluchátko");
    case LINECALLSTATE_DIALING: return QStringLiteral("Vytáčí se číslo");
    case LINECALLSTATE_RINGBACK: return QStringLiteral("Vyzvání odchozí hovor");
    case LINECALLSTATE_BUSY: return QStringLiteral("Obsazeno");
    case LINECALLSTATE_SPECIALINFO: return QStringLiteral("Speciální info");
    case LINECALLSTATE_CONNECTED:
        return QStringLiteral("Probíhá ")
            + (callType == ctOutgoing   ? QStringLiteral("odchozí hovor")
                   : callType == ctIncoming ? QStringLiteral("příchozí hovor")
                                   : QStringLiteral("neurčený hovor"));
    case LINECALLSTATE_PROCEEDING: return QStringLiteral("Čeká se na odezvu");
    case LINECALLSTATE_ONHOLD: return QStringLiteral("Přidržený hovor");
    case LINECALLSTATE_CONFERENCED: return QStringLiteral("Konferenční hovor");
    case LINECALLSTATE_ONHOLDPENDCONF: return QStringLiteral("Přidržený hovor konference");
    case LINECALLSTATE_ONHOLDPENDTRANSFER: return QStringLiteral("Přidržený hovor pro přenos");
    case LINECALLSTATE_DISCONNECTED: return QStringLiteral("Spojení ukončeno");
    case LINECALLSTATE_UNKNOWN: return QStringLiteral("Neznámý");
    default: return QStringLiteral("Nedefinovaný");
    }
}

void Tdmtapi::LineCallback(DWORD hDevice, DWORD dwMessage, DWORD_PTR, DWORD dwParam1, DWORD, DWORD)
{
    TimerPause pause(CheckTimer);
    if (dwMessage != LINE_CALLINFO && dwMessage != LINE_CALLSTATE && dwMessage != LINE_LINEDEVSTATE)
        return;
    const HCALL call = hDevice;
    bool changed = false;
    TCallRec *current = nullptr;
    try {
        if (dwMessage == LINE_LINEDEVSTATE) {
            if ((dwParam1 & LINEDEVSTATE_REMOVED) && Active && hDevice == Line)
                LineRemoved();
            return;
        }
        if (dwMessage == LINE_CALLINFO) {
            if (dwParam1 != LINECALLINFOSTATE_CALLERID && dwParam1 != LINECALLINFOSTATE_CALLEDID)
                return;
            TCallRec *rec = FindCall(call);
            if (!rec)
                return;
            std::unique_ptr<TTapiBuffer> buffer;
            TapiGetCallInfo(call, buffer);
            const auto *info = buffer->as<LINECALLINFO>();
            if (info->hLine != Line)
                return;
            current = rec;
            if (dwParam1 == LINECALLINFOSTATE_CALLERID && rec->CallType == ctIncoming) {
                rec->Number = TapiVarString(info, info->dwCallerIDOffset, info->dwCallerIDSize);
                rec->Name = TapiVarString(info, info->dwCallerIDNameOffset, info->dwCallerIDNameSize);
                changed = true;
            }
            if (dwParam1 == LINECALLINFOSTATE_CALLEDID
                && (rec->CallType == ctOutgoing || (rec->CallType == ctUndetermined && info->dwOrigin == LINECALLORIGIN_OUTBOUND))) {
                rec->Number = TapiVarString(info, info->dwCalledIDOffset, info->dwCalledIDSize);
                changed = true;
            }
        } else {
            std::unique_ptr<TTapiBuffer> buffer;
            try {
                TapiGetCallInfo(call, buffer);
            } catch (const Exception &) {
                return;
            }
            if (buffer->as<LINECALLINFO>()->hLine != Line)
                return;
            TCallRec *rec = FindCall(call);
            if (!rec) {
                Calls.emplace_back(QString::number(call), std::make_unique<TCallRec>(call, CurrentTime()));
                rec = Calls.back().second.get();
            }
            current = rec;
            const DWORD state = dwParam1;
            if (rec->State == LINECALLSTATE_CONNECTED && state != LINECALLSTATE_CONNECTED) {
                if (rec->Recording && Recording)
                    StopRecording(rec->CallType, rec->Number, rec->StartTime);
                rec->Recording = false;
            }
            rec->State = state;
            changed = true;
            switch (state) {
            case LINECALLSTATE_OFFERING:
                rec->CallType = ctIncoming;
                rec->Rang = true;
                rec->StartTime = CurrentTime();
                break;
            case LINECALLSTATE_RINGBACK:
                rec->CallType = ctOutgoing;
                rec->Rang = true;
                rec->StartTime = CurrentTime();
                break;
            case LINECALLSTATE_CONNECTED:
                rec->Connected = true;
                RefreshCallInfo(rec);
                if (!rec->Recording)
                    rec->StartTime = CurrentTime();
                if (!Recording && !rec->Recording) {
                    StartRecording(rec->Number);
                    rec->Recording = Recording;
                }
                break;
            case LINECALLSTATE_DISCONNECTED:
            case LINECALLSTATE_IDLE:
                if (rec->Recording && Recording)
                    StopRecording(rec->CallType, rec->Number, rec->StartTime);
                rec->Recording = false;
                if (state == LINECALLSTATE_IDLE) {
                    if (MissedCalls && rec->Rang && !rec->Connected && CallLog) {
                        // A failed entry is logged but does not keep the idle call alive.
                        try {
                            CallLog->AddCall(NeverConnected(rec->CallType), ceNeverConnected, rec->StartTime, CurrentTime(), rec->Number,
                                             QString());
                        } catch (const Exception &e) {
                            WriteLog(1, QStringLiteral("Internal LineCallback error: ") + e.message());
                        }
                    }
                    lineDeallocateCall(call);
                    current = nullptr;
                    RemoveCall(call);
                }
                break;
            default:
                break;
            }
        }
        if (changed && OnStatus)
            ReportStatus(current);
    } catch (const std::exception &e) {
        const auto *own = dynamic_cast<const Exception *>(&e);
        WriteLog(1, QStringLiteral("Internal LineCallback error: ")
                        + (own ? own->message() : QString::fromLocal8Bit(e.what())));
    }
}

void Tdmtapi::ReportStatus(TCallRec *current)
{
    if (!current && !Calls.empty())
        current = Calls.front().second.get();
    if (Calls.size() > 1) {
        for (const auto &entry : Calls) {
            if (entry.second->Recording) {
                current = entry.second.get();
                break;
            }
        }
    }
    if (current)
        OnStatus(int(current->State), current->CallType, current->Number);
    else
        OnStatus(int(LINECALLSTATE_IDLE), ctUndetermined, QString());
}

// ---- Recording --------------------------------------------------------------------------------

void Tdmtapi::RefreshCallInfo(TCallRec *call)
{
    if (!call->Number.isEmpty() && call->CallType != ctUndetermined)
        return;
    std::unique_ptr<TTapiBuffer> buffer;
    try {
        TapiGetCallInfo(call->Call, buffer);
    } catch (const Exception &) {
        return;
    }
    const auto *info = buffer->as<LINECALLINFO>();
    if (call->CallType == ctUndetermined)
        call->CallType = info->dwOrigin == LINECALLORIGIN_OUTBOUND ? ctOutgoing : ctIncoming;
    if (call->Number.isEmpty()) {
        call->Number = call->CallType == ctOutgoing ? TapiVarString(info, info->dwCalledIDOffset, info->dwCalledIDSize)
                                           : TapiVarString(info, info->dwCallerIDOffset, info->dwCallerIDSize);
    }
    if (call->Name.isEmpty() && call->CallType == ctIncoming)
        call->Name = TapiVarString(info, info->dwCallerIDNameOffset, info->dwCallerIDNameSize);
}

void Tdmtapi::StartRecording(const QString &number)
{
    if (Recording)
        return;
    RecordingWanted = !Recorder || Recorder->RecordingWanted(number);
    if (!RecordingWanted)
        WriteLog(3, QStringLiteral("Hovor s číslem %1 se podle pravidla nahrávání nenahrává").arg(number));
    try {
        const QString fileName = TempRecordFileName();
        if (Recorder && RecordingWanted)
            Recorder->StartRecording(fileName);
    } catch (const Exception &e) {
        WriteLog(1, QStringLiteral("Chyba při začátku nahrávání: ") + e.message());
    }
    // Also after a failed start: the call is still logged when it ends.
    Recording = true;
}

void Tdmtapi::StopRecording(int callType, const QString &number, double startTime)
{
    if (!Recording)
        return;
    Recording = false;
    try {
        if (Recorder)
            Recorder->StopRecording();
    } catch (const Exception &e) {
        WriteLog(1, QStringLiteral("Chyba při ukončení nahrávání: ") + e.message());
    }
    const QString fileName = Recorder && RecordingWanted && Recorder->InputDeviceAvailable() && Recorder->RecordingEnabled()
        ? TempRecordFileName()
        : QString();
    try {
        if (CallLog)
            CallLog->AddCall(callType, ceConnected, startTime, CurrentTime(), number, fileName);
    } catch (const Exception &e) {
        WriteLog(1, QStringLiteral("Chyba při ukládání informací nahrávky: ") + e.message());
    }
    const QString temp = TempRecordFileName();
    if (!temp.isEmpty())
        QFile::remove(temp);
}

// ---- Supervision -----------------------------------------------------------------------------------

void Tdmtapi::CheckLine()
{
    if (!TAPIAutoCheck || !AutoStartWatch || Device == -1)
        return;
    try {
        if (Active) {
            LONG result = LINEERR_OPERATIONFAILED;
            try {
                TTapiBuffer buffer(TAPI_BUFFER_SIZE);
                result = lineGetLineDevStatus(Line, buffer.as<LINEDEVSTATUS>());
            } catch (...) {
                result = LINEERR_OPERATIONFAILED;
            }
            if (result != 0) {
                WriteLog(1, QStringLiteral("Chyba při kontrole TAPI zařízení: $") + Hex8(uint32_t(result)));
                try {
                    CloseLine();
                } catch (...) {
                    LogIgnoredLineError("CloseLine");
                }
                Active = false;
            }
        }
        if (Active) {
            for (size_t i = Calls.size(); i-- > 0;) {
                if (i >= Calls.size())
                    continue;
                TCallRec *rec = Calls[i].second.get();
                TTapiBuffer buffer(TAPI_CALLSTATUS_BUFFER_SIZE);
                const auto *status = buffer.as<LINECALLSTATUS>();
                LONG error = lineGetCallStatus(rec->Call, buffer.as<LINECALLSTATUS>());
                if (error == 0) {
                    if (rec->State != status->dwCallState)
                        error = 1;
                    if (rec->State == LINECALLSTATE_IDLE)
                        error = 2;
                }
                if (error == 0)
                    continue;
                WriteLog(2, QStringLiteral("Nesrovnalost při kontrole stavu hovoru $") + Hex8(rec->State)
                                + QStringLiteral(" - error $") + Hex8(uint32_t(error)));
                if (rec->Recording && Recording)
                    StopRecording(rec->CallType, rec->Number, rec->StartTime);
                lineDeallocateCall(rec->Call);
                Calls.erase(Calls.begin() + qsizetype(i));
                if (OnStatus) {
                    if (!Calls.empty()) {
                        const TCallRec *first = Calls.front().second.get();
                        OnStatus(int(first->State), first->CallType, first->Number);
                    } else {
                        OnStatus(int(LINECALLSTATE_IDLE), ctUndetermined, QString());
                    }
                }
            }
        }
        if (!Active) {
            try {
                OpenLine();
                if (Active)
                    WriteLog(3, QStringLiteral("Autorestart TAPI zařízení proběhl úspěšně"));
            } catch (const Exception &) {
                if (OnStatus)
                    OnStatus(lsRestartFailed, 0, QString());
            }
        }
    } catch (const Exception &e) {
        WriteLog(1, QStringLiteral("Chyba check TAPI zařízení: ") + e.message());
    }
}

// ---- Phone commands ---------------------------------------------------------------------------------

LONG Tdmtapi::Dial(const QString &number)
{
    LONG result = 0;
    if (!Calls.empty() && Calls.front().second->State == LINECALLSTATE_DIALTONE)
        TapiDial(Calls.front().second->Call, number, result);
    else
        TapiMakeCall(Line, number, result);
    return result;
}

LONG Tdmtapi::Answer()
{
    LONG result = 0;
    if (!Calls.empty())
        TapiAnswer(Calls.front().second->Call, result);
    return result;
}

LONG Tdmtapi::HangUp()
{
    LONG result = 0;
    if (!Calls.empty())
        TapiDrop(Calls.front().second->Call, result);
    return result;
}
