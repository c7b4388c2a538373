#include "headlesshost.h"

#include "deAudioIO.h"
#include "myutils.h"
#include "simulatedline.h"
#include "simulatedwavein.h"

#include <QCoreApplication>

namespace {

// No recording: "Nepoužívat nahrávání" chosen, or no input of the stored name.
constexpr int kNoRecording = -2;

} // namespace

// The call log as the TAPI module reaches it: every call goes to the call-data module
// unchanged; the console learns of each stored row and of each log line on the way.
class THeadlessHost::TCallLogReporter : public ICallLog {
public:
    TCallLogReporter(THeadlessHost &host, Tdmcd &cd) : m_host(host), m_cd(cd) {}

    void GetTempRecordFileName(QString &fileName) override { m_cd.GetTempRecordFileName(fileName); }
    void WriteLog(int level, const QString &text) override
    {
        m_cd.WriteLog(level, text);
        if (m_host.OnLog)
            m_host.OnLog(level, text);
    }
    double CurrentTime() override { return m_cd.CurrentTime(); }
    void AddCall(int callType, int audioType, double whenStart, double whenEnd, const QString &phoneNumber,
                 const QString &fileName) override
    {
        TMemTable &table = *m_cd.tb_audio;
        const int before = table.physicalCount();
        m_cd.AddCall(callType, audioType, whenStart, whenEnd, phoneNumber, fileName);
        // Rows keep their insertion order: the new row is the last record.
        if (!m_host.OnCall || table.physicalCount() <= before)
            return;
        const int record = table.physicalCount() - 1;
        auto integer = [&](const char *field) { return table.fieldByName(QLatin1String(field)).asLargeIntAt(record); };
        TLoggedCall call;
        call.Id = int(integer("IDAUDIO"));
        call.CallType = int(integer("CALLTYPE"));
        call.AudioType = int(integer("AUDIOTYPE"));
        call.WhenStart = table.fieldByName(QStringLiteral("WHENSTART")).asFloatAt(record);
        call.WhenEnd = table.fieldByName(QStringLiteral("WHENEND")).asFloatAt(record);
        call.Length = int(integer("WHENLENGTH"));
        call.PhoneNumber = table.fieldByName(QStringLiteral("PHONENUMBER")).asStringAt(record);
        call.AudioSize = integer("AUDIOSIZE");
        if (call.AudioSize > 0)
            call.RecordingFile = Tdmcd::RecordingFileName(call.Id);
        m_host.OnCall(call);
    }

private:
    THeadlessHost &m_host;
    Tdmcd &m_cd;
};

THeadlessHost::THeadlessHost()
    : m_cd(std::make_unique<Tdmcd>()), m_audio(std::make_unique<Tdmaudio>()),
      m_reporter(std::make_unique<TCallLogReporter>(*this, *m_cd)), m_tapi(std::make_unique<Tdmtapi>())
{
    m_tapi->CallLog = m_reporter.get();
    m_tapi->Recorder = m_audio.get();
    m_tapi->OnStatus = [this](int state, int callType, const QString &number) {
        if (OnStatus)
            OnStatus(state, callType, number, Tdmtapi::CallStateName(state, callType));
    };
    // As the main window takes the level events: a long silence is reported once.
    m_audio->OnLevel = [this](TdeAudioControlSource *) {
        if (m_audio->SilenceDetection() && m_audio->SilenceState() == 1) {
            m_audio->SetSilenceState(2);
            if (OnSilence)
                OnSilence();
        }
    };
}

THeadlessHost::~THeadlessHost()
{
    // Destroyed in the reverse order of creation: the TAPI module closes its line while
    // the audio module and the call log still exist. The closing was reported already
    // when the watch stopped.
    m_tapi->OnStatus = nullptr;
    m_tapi.reset();
    m_audio->OnLevel = nullptr;
    m_audio.reset();
    m_reporter.reset();
    m_cd.reset();
}

bool THeadlessHost::ApplySettings(const TSettings &settings, bool simulate, QString &error)
{
    // The devices as they are now, the virtual input included when it is offered.
    RefreshDevices();
    m_audio->SetInputDeviceAvailable(InputDeviceCount() > 0);
    TDeviceList lines;
    try {
        m_tapi->ListDevices(lines);
    } catch (const Exception &) {
        // No line service: no line matches below.
    }

    // A simulated start exists to be tried out: it watches the line in any case.
    m_tapi->AutoStartWatch = settings.AutoStartWatch || simulate;
    m_tapi->TAPIAutoCheck = settings.TAPIAutoCheck;
    m_tapi->CommandCalls = settings.CommandCalls;
    m_tapi->MissedCalls = settings.MissedCalls;
    m_linkNumber = qBound(0, settings.CallLink, 9999);

    Taudiorec &recorder = m_audio->Recorder();
    recorder.SetMaxMinutes(settings.MaxRecordMinutes);
    m_audio->SetSilenceDetection(settings.SilenceDetection);
    m_audio->SetSilenceMaxSeconds(settings.SilenceMaxSeconds);
    m_audio->SetSilencePeakLevel(settings.SilencePeakLevel);

    QString line = settings.TAPIDevice;
    if (line.isEmpty() && simulate)
        line = SimulatedLine::NameFor(1);
    m_tapi->Device = -1;
    for (const auto &device : std::as_const(lines)) {
        if (device.first.compare(line, Qt::CaseInsensitive) == 0) {
            m_tapi->Device = device.second;
            break;
        }
    }

    // Without a stored choice a simulated start records from the virtual input, so that a
    // newcomer hears the recordings at once.
    m_inputDevice = settings.AudioInputDevice;
    if (m_inputDevice.isEmpty() && simulate)
        m_inputDevice = TSimulatedWaveInDriver::DeviceName();
    recorder.SetDeviceName(QString());
    int input = kNoRecording;
    for (int i = 0; i < InputDeviceCount(); ++i) {
        const TdeAudioInDevice *device = ::InputDevice(i);
        if (device->Name.compare(m_inputDevice, Qt::CaseInsensitive) == 0) {
            input = device->DeviceID;
            break;
        }
    }
    if (input == kNoRecording) {
        recorder.Stop();
    } else {
        try {
            recorder.SetDeviceName(m_inputDevice);
            recorder.SetDeviceID(int8_t(input));
        } catch (const Exception &) {
            // A device in use keeps its number; the name is looked up at the next start.
        }
    }
    m_audio->SetRecordingEnabled(input != kNoRecording);
    m_audio->LoadRecordFormat();

    if (m_tapi->Device < 0) {
        error = line.isEmpty() ? QStringLiteral("Není vybráno žádné TAPI zařízení")
                               : QStringLiteral("TAPI zařízení \"%1\" nebylo nalezeno").arg(line);
        return false;
    }
    return true;
}

bool THeadlessHost::OpenCallLog(QString &error)
{
    m_cd->SetLinkNumber(m_linkNumber);
    try {
        m_cd->OpenCallLog();
        return true;
    } catch (const Exception &e) {
        error = e.message();
        return false;
    }
}

bool THeadlessHost::StartWatch(QString &error)
{
    QCoreApplication::processEvents();
    try {
        m_tapi->OpenLine();
        return true;
    } catch (const Exception &e) {
        WriteLogLine(QStringLiteral("Error StartWatch: ") + e.message());
        error = QStringLiteral("Chyba při inicializaci TAPI - \"") + e.message() + QStringLiteral("\"");
        return false;
    }
}

void THeadlessHost::StopWatch()
{
    try {
        m_tapi->CloseLine();
    } catch (...) {
    }
}
