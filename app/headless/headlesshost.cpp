#include "headlesshost.h"

#include "clock.h"
#include "formatsettings.h"
#include "myutils.h"
#include "simulatedline.h"

#include <cmath>

THeadlessHost::THeadlessHost(ICallLog *callLog, IRecorderControl *recorder) : m_tapi(std::make_unique<Tdmtapi>())
{
    m_tapi->CallLog = callLog;
    m_tapi->Recorder = recorder;
    m_tapi->OnStatus = [this](int state, int callType, const QString &number) {
        if (OnStatus)
            OnStatus(state, callType, number, Tdmtapi::CallStateName(state, callType));
    };
}

THeadlessHost::~THeadlessHost()
{
    // Closed here, while the call log and the recorder still exist; the closing was
    // reported already when Stop ran.
    m_tapi->OnStatus = nullptr;
    m_tapi.reset();
}

bool THeadlessHost::ApplySettings(const TSettings &settings, bool simulate, QString &error)
{
    // The host exists to watch the line, so watching is always wanted.
    m_tapi->AutoStartWatch = true;
    m_tapi->TAPIAutoCheck = settings.TAPIAutoCheck;
    m_tapi->CommandCalls = settings.CommandCalls;
    m_tapi->MissedCalls = settings.MissedCalls;
    QString wanted = settings.TAPIDevice;
    if (wanted.isEmpty() && simulate)
        wanted = SimulatedLine::NameFor(1);
    m_tapi->Device = -1;
    TDeviceList devices;
    try {
        m_tapi->ListDevices(devices);
    } catch (const Exception &e) {
        error = e.message();
        return false;
    }
    for (const auto &device : devices) {
        if (device.first.compare(wanted, Qt::CaseInsensitive) == 0) {
            m_tapi->Device = device.second;
            return true;
        }
    }
    error = wanted.isEmpty() ? QStringLiteral("Není vybráno žádné TAPI zařízení")
                             : QStringLiteral("TAPI zařízení \"%1\" nebylo nalezeno").arg(wanted);
    return false;
}

bool THeadlessHost::Start(QString &error)
{
    try {
        m_tapi->OpenLine();
        return true;
    } catch (const Exception &e) {
        error = e.message();
        WriteLogLine(QStringLiteral("Error StartWatch: ") + e.message());
        return false;
    }
}

void THeadlessHost::Stop()
{
    try {
        m_tapi->CloseLine();
    } catch (...) {
    }
}

void TConsoleCallLog::GetTempRecordFileName(QString &fileName)
{
    fileName = TempDirectory() + QStringLiteral("~tmbrec.wav");
}

void TConsoleCallLog::WriteLog(int level, const QString &text)
{
    WriteLogLine(text);
    m_print(QStringLiteral("LOG %1 %2").arg(level).arg(text));
}

double TConsoleCallLog::CurrentTime() { return Now(); }

void TConsoleCallLog::AddCall(int callType, int audioType, double whenStart, double whenEnd,
                              const QString &phoneNumber, const QString &fileName)
{
    const long long seconds = std::llround((whenEnd - whenStart) * 86400.0);
    m_print(QStringLiteral("CALL type=%1 audio=%2 start=%3 %4 end=%5 %6 length=%7 number=%8 file=%9")
                .arg(callType)
                .arg(audioType)
                .arg(FormatShortDate(whenStart), FormatLongTime(whenStart), FormatShortDate(whenEnd),
                     FormatLongTime(whenEnd))
                .arg(seconds)
                .arg(phoneNumber, fileName));
}
