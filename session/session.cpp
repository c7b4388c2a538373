#include "session.h"

#include "clock.h"
#include "calltypes.h"
#include "datafolderlock.h"
#include "deAudioIO.h"
#include "exception.h"
#include "modemprovider.h"
#include "myutils.h"
#include "simulatedline.h"
#include "sipline.h"
#include "simulatedwavein.h"
#include "udmaudio.h"
#include "udmcd.h"
#include "udmtapi.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QTimer>

namespace {

// No recording: "Nepoužívat nahrávání" chosen, or no input of the stored name.
constexpr int kNoRecording = -2;

// The line providers the program offers; their lines are numbered in this order.
const LineProviderFactory kLineProviders[] = {
    &SimulatedProvider::Create,
    &SipProvider::Create,
    &ModemProvider::Create,
};

} // namespace

// The call log as the line module reaches it: every call goes to the call-data module
// unchanged; the session learns of each stored row and of each log line on the way.
class TSession::TCallLogAdapter : public ICallLog {
public:
    TCallLogAdapter(TSession &session, Tdmcd &cd) : m_session(session), m_cd(cd) {}

    void GetTempRecordFileName(QString &fileName) override { m_cd.GetTempRecordFileName(fileName); }
    void WriteLog(int level, const QString &text) override
    {
        m_cd.WriteLog(level, text);
        emit m_session.logWritten(level, text);
    }
    double CurrentTime() override { return m_cd.CurrentTime(); }
    void AddCall(int callType, int audioType, double whenStart, double whenEnd, const QString &phoneNumber,
                 const QString &fileName) override
    {
        TMemTable &table = *m_cd.tb_audio;
        const int before = table.physicalCount();
        // What the recorder knows of the recording goes with the call, so that the row
        // never claims more than the file holds.
        QString problem;
        Tdmaudio &audio = m_session.Audio();
        if (audioType == ceConnected && audio.InputDeviceAvailable() && audio.RecordingEnabled())
            problem = audio.Recorder().RunProblem();
        m_cd.AddCall(callType, audioType, whenStart, whenEnd, phoneNumber, fileName, problem);
        // Rows keep their insertion order: the new row is the last record.
        if (table.physicalCount() <= before)
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
        emit m_session.callLogged(call);
    }

private:
    TSession &m_session;
    Tdmcd &m_cd;
};

// The audio module's recording operations as the line module reaches them.
class TSession::TRecorderAdapter : public IRecorderControl {
public:
    void StartRecording(const QString &fileName) override
    {
        // Without its private folder there is no temporary recording: no run without a file.
        if (fileName.isEmpty() && m_audio.InputDeviceAvailable() && m_audio.RecordingEnabled()) {
            const QString problem = QStringLiteral("Nelze připravit soukromou složku pro dočasnou nahrávku.");
            m_audio.Recorder().SetRunProblem(problem);
            throw Exception(problem);
        }
        m_audio.StartRecording(fileName);
    }
    void StopRecording() override { m_audio.StopRecording(); }
    bool InputDeviceAvailable() override { return m_audio.InputDeviceAvailable(); }
    bool RecordingEnabled() override { return m_audio.RecordingEnabled(); }
    bool RecordingWanted(const QString &number) override { return m_session.RecordingWanted(number); }

    TRecorderAdapter(Tdmaudio &audio, const TSession &session) : m_audio(audio), m_session(session) {}

private:
    Tdmaudio &m_audio;
    const TSession &m_session;
};

namespace {
std::unique_ptr<TDataFolderLock> LockedDataFolder()
{
    auto lock = std::make_unique<TDataFolderLock>();
    QString error;
    if (!lock->Acquire(DataDirectory(), &error))
        throw EDataFolderInUse(error);
    return lock;
}
} // namespace

TSession::TSession(QObject *parent)
    : QObject(parent), m_lock(LockedDataFolder()), m_cd(std::make_unique<Tdmcd>()), m_audio(std::make_unique<Tdmaudio>()),
      m_callLog(std::make_unique<TCallLogAdapter>(*this, *m_cd)),
      m_recorder(std::make_unique<TRecorderAdapter>(*m_audio, *this)), m_tapi(std::make_unique<Tdmtapi>()),
      m_settingsFileName(ConfigFileName()), m_retentionTimer(new QTimer(this))
{
    m_retentionTimer->setSingleShot(true);
    connect(m_retentionTimer, &QTimer::timeout, this, [this] { ApplyRetention(); });
    m_tapi->CallLog = m_callLog.get();
    m_tapi->Recorder = m_recorder.get();
    m_tapi->OnStatus = [this](int state, int callType, const QString &number) {
        learnLineNames();
        emit statusChanged(state, callType, number, Tdmtapi::CallStateName(state, callType));
    };
    m_cd->NameOfNumber = [this](const QString &number) { return NameFor(number); };
    m_cd->NumberKey = [this](const QString &number) { return TPhonebook::Normalise(number, m_phonebook.CountryPrefix()); };
    connect(m_cd.get(), &Tdmcd::warning, this, &TSession::warning);
    m_audio->OnLevel = [this](TdeAudioControlSource *source) {
        emit levelChanged(source);
        // A long silence is reported once per recording.
        if (m_audio->SilenceDetection() && m_audio->SilenceState() == 1) {
            m_audio->SetSilenceState(2);
            emit silenceFound();
        }
    };
}

TSession::~TSession()
{
    // Reverse order of creation: the line module closes its line while the audio module
    // and the call log still exist; the providers' lines go last.
    m_tapi->OnStatus = nullptr;
    m_tapi.reset();
    m_audio->OnLevel = nullptr;
    m_audio.reset();
    m_recorder.reset();
    m_callLog.reset();
    m_cd.reset();
    m_providers.clear();
    m_lock.reset();
}

// ---- Providers -----------------------------------------------------------------------------

void TSession::StartProviders(const LineProviderOptions &options)
{
    for (LineProviderFactory create : kLineProviders) {
        if (std::unique_ptr<LineProvider> provider = create(options))
            m_providers.push_back(std::move(provider));
    }
    RefreshDevices();
    m_audio->SetInputDeviceAvailable(InputDeviceCount() > 0);
}

SimulatedProvider *TSession::Simulation() const
{
    for (const auto &provider : m_providers) {
        if (auto *simulated = dynamic_cast<SimulatedProvider *>(provider.get()))
            return simulated;
    }
    return nullptr;
}

// ---- Settings ------------------------------------------------------------------------------

QString TSession::RecordFormatFileName() const
{
    return JoinPath(QFileInfo(m_settingsFileName).absolutePath(), QStringLiteral("audiorec.dat"));
}

TSettings TSession::ReadSettings(QString *warning) const
{
    TSettings settings = LoadSettings(m_settingsFileName);
    QString problem;
    settings.RecordFormat = LoadRecordFormat(RecordFormatFileName(), m_settings.RecordFormat, &problem);
    if (!problem.isEmpty()) {
        const QString text = QStringLiteral("Formát nahrávání v souboru %1 nelze použít (%2), nahrává se ve výchozím formátu.")
                                 .arg(RecordFormatFileName(), problem);
        WriteLogLine(text);
        if (warning)
            *warning = text;
    }
    return settings;
}

TSettings TSession::WithSimulatedDefaults(TSettings settings)
{
    if (settings.TAPIDevice.isEmpty())
        settings.TAPIDevice = SimulatedLine::NameFor(1);
    // Without a stored choice a simulated start records from the virtual input, so that a
    // newcomer hears the recordings at once.
    if (settings.AudioInputDevice.isEmpty())
        settings.AudioInputDevice = TSimulatedWaveInDriver::DeviceName();
    settings.AutoStartWatch = true;
    return settings;
}

int TSession::findInput(const QString &name) const
{
    for (int i = 0; i < InputDeviceCount(); ++i) {
        const TdeAudioInDevice *device = ::InputDevice(i);
        if (device->Name.compare(name, Qt::CaseInsensitive) == 0)
            return device->DeviceID;
    }
    return kNoRecording;
}

int TSession::findLine(const QString &name) const
{
    TDeviceList lines;
    try {
        m_tapi->ListDevices(lines);
    } catch (const Exception &e) {
        // No line service: no line matches.
        WriteLogLine(QStringLiteral("Line devices not listed: ") + e.message());
    }
    for (const auto &device : std::as_const(lines)) {
        if (device.first.compare(name, Qt::CaseInsensitive) == 0)
            return device.second;
    }
    return -1;
}

void TSession::applyToModules(const TSettings &settings)
{
    m_tapi->AutoStartWatch = settings.AutoStartWatch;
    m_tapi->TAPIAutoCheck = settings.TAPIAutoCheck;
    m_tapi->CommandCalls = settings.CommandCalls;
    m_tapi->MissedCalls = settings.MissedCalls;
    m_cd->SetLinkNumber(qBound(0, settings.CallLink, 9999));
    Taudiorec &recorder = m_audio->Recorder();
    recorder.SetMaxMinutes(settings.MaxRecordMinutes);
    recorder.SetRecordFormat(settings.RecordFormat);
    m_audio->SetSilenceDetection(settings.SilenceDetection);
    m_audio->SetSilenceMaxSeconds(settings.SilenceMaxSeconds);
    m_audio->SetSilencePeakLevel(settings.SilencePeakLevel);
    m_phonebook.SetCountryPrefix(settings.CountryPrefix);
    // Names learned under another prefix: their keys follow it.
    m_lineNames.clear();
    for (auto it = m_lineNamesGiven.cbegin(); it != m_lineNamesGiven.cend(); ++it)
        m_lineNames.insert(TPhonebook::Normalise(it.key(), m_phonebook.CountryPrefix()), it.value());
    RefreshNames();
}

bool TSession::ApplyStartSettings(const TSettings &settings, QString *error)
{
    m_settings = settings;
    applyToModules(settings);
    m_tapi->Device = findLine(settings.TAPIDevice);

    Taudiorec &recorder = m_audio->Recorder();
    recorder.SetDeviceName(QString());
    const int input = findInput(settings.AudioInputDevice);
    if (input == kNoRecording) {
        recorder.Stop();
    } else {
        try {
            recorder.SetDeviceName(settings.AudioInputDevice);
            recorder.SetDeviceID(int8_t(input));
        } catch (const Exception &e) {
            // A device in use keeps its number; the name is looked up at the next start.
            WriteLogLine(QStringLiteral("Input device kept: ") + e.message());
        }
    }
    m_audio->SetRecordingEnabled(input != kNoRecording);
    emit settingsApplied(m_settings);

    if (m_tapi->Device >= 0)
        return true;
    if (error) {
        *error = settings.TAPIDevice.isEmpty()
            ? QStringLiteral("Není vybráno žádné TAPI zařízení")
            : QStringLiteral("TAPI zařízení \"%1\" nebylo nalezeno").arg(settings.TAPIDevice);
    }
    return false;
}

void TSession::ChangeSettings(const TSettings &settings)
{
    const TSettings before = m_settings;
    const int deviceBefore = m_tapi->Device;

    Taudiorec &recorder = m_audio->Recorder();
    const int input = findInput(settings.AudioInputDevice);
    const bool enabled = input != kNoRecording;
    if (input != recorder.DeviceID() || enabled != m_audio->RecordingEnabled()) {
        try {
            if (enabled) {
                recorder.SetDeviceName(settings.AudioInputDevice);
                recorder.SetDeviceID(int8_t(input));
            } else {
                recorder.Stop();
            }
        } catch (const Exception &) {
            throw Exception(QStringLiteral("Nelze změnit aktivní zařízení"));
        }
        m_audio->SetRecordingEnabled(enabled);
    }
    if (!settings.RecordFormat.IsEqual(before.RecordFormat))
        SaveRecordFormat(RecordFormatFileName(), settings.RecordFormat);
    SaveSettings(m_settingsFileName, settings);

    m_settings = settings;
    m_settings.StartDelay = before.StartDelay; // read from the file only, never written
    applyToModules(m_settings);
    if (!(m_settings.Retention == before.Retention) && m_settings.Retention.mode != TRetention::Off)
        m_retentionTimer->start(0);
    m_tapi->Device = findLine(settings.TAPIDevice);
    emit settingsApplied(m_settings);

    // The line follows what changed: the watch itself, or another device or other
    // privileges of the one watched.
    if (m_settings.AutoStartWatch != before.AutoStartWatch) {
        if (m_settings.AutoStartWatch)
            StartWatch();
        else
            StopWatch();
        return;
    }
    if (m_tapi->Device == deviceBefore && m_settings.CommandCalls == before.CommandCalls)
        return;
    if (m_settings.AutoStartWatch) {
        if (m_tapi->Active)
            StopWatch();
        StartWatch();
    }
}

// ---- Call log and watch ----------------------------------------------------------------------

bool TSession::OpenCallLog(QString &error)
{
    // The names first, so that the log's rows are named as they load.
    try {
        m_phonebook.Load(PhonebookFileName());
        m_phonebookProblem.clear();
    } catch (const Exception &e) {
        m_phonebookProblem = e.message();
        WriteLogLine(e.message());
        // Reported once the programs listen; the call log works without names.
        QTimer::singleShot(0, this, [this, message = e.message()] { emit phonebookFailed(message); });
    }
    m_shownPhonebook = m_phonebook.Generation();
    m_shownLineNames = m_lineNamesGeneration;
    try {
        m_cd->OpenCallLog();
        // The line may still be watched, but the user must know that calls are not kept.
        const QString problem = m_cd->WriteProblem();
        if (!problem.isEmpty()) {
            WriteLogLine(problem);
            emit warning(problem);
        }
    } catch (const Exception &e) {
        error = e.message();
        return false;
    }
    // Old recordings go once the programs run, then once a day.
    if (m_settings.Retention.mode != TRetention::Off)
        m_retentionTimer->start(0);
    return true;
}

// ---- Names and recording rule -------------------------------------------------------------------

QString TSession::PhonebookFileName() const
{
    return JoinPath(QFileInfo(m_settingsFileName).absolutePath(), QStringLiteral("phonebook.txt"));
}

QString TSession::DamagedPhonebookFileName() const
{
    const QString folder = QFileInfo(m_settingsFileName).absolutePath();
    QString name = JoinPath(folder, QStringLiteral("phonebook.damaged.txt"));
    for (int i = 2; QFileInfo::exists(name); ++i)
        name = JoinPath(folder, QStringLiteral("phonebook.damaged-%1.txt").arg(i));
    return name;
}

void TSession::SavePhonebook()
{
    const QString fileName = PhonebookFileName();
    if (!m_phonebookProblem.isEmpty() && QFileInfo::exists(fileName)) {
        const QString kept = DamagedPhonebookFileName();
        if (!QFile::copy(fileName, kept))
            throw Exception(QStringLiteral("Poškozený telefonní seznam nelze uschovat do souboru \"%1\"").arg(kept));
        WriteLogLine(QStringLiteral("The damaged phonebook was kept as ") + kept);
    }
    m_phonebook.Save(fileName);
    m_phonebookProblem.clear();
    RefreshNames();
}

QString TSession::NameFor(const QString &number, const QString &lineName) const
{
    // Nothing to look up: a log's every row would otherwise pass through the cache at start.
    if (m_phonebook.Count() == 0 && m_lineNames.isEmpty())
        return lineName;
    if (m_nameCachePhonebook != m_phonebook.Generation() || m_nameCacheLineNames != m_lineNamesGeneration) {
        m_nameCache.clear();
        m_nameCachePhonebook = m_phonebook.Generation();
        m_nameCacheLineNames = m_lineNamesGeneration;
    }
    auto cached = m_nameCache.find(number);
    if (cached == m_nameCache.end()) {
        QString name = m_phonebook.NameOf(number);
        if (name.isEmpty() && !m_lineNames.isEmpty())
            name = m_lineNames.value(TPhonebook::Normalise(number, m_phonebook.CountryPrefix()));
        cached = m_nameCache.emplace(number, name).first;
    }
    return cached->second.isEmpty() ? lineName : cached->second;
}

void TSession::learnLineNames()
{
    bool learned = false;
    for (int i = 0; i < m_tapi->CallCount(); ++i) {
        const TCallRec *call = m_tapi->CallAt(i);
        const QString name = call->Name.trimmed();
        if (call->Number.isEmpty() || name.isEmpty())
            continue;
        const QString key = TPhonebook::Normalise(call->Number, m_phonebook.CountryPrefix());
        if (key.isEmpty() || m_lineNames.value(key) == name)
            continue;
        m_lineNamesGiven.insert(call->Number, name);
        m_lineNames.insert(key, name);
        learned = true;
    }
    if (learned) {
        ++m_lineNamesGeneration;
        RefreshNames();
    }
}

void TSession::RefreshNames()
{
    if (m_shownPhonebook == m_phonebook.Generation() && m_shownLineNames == m_lineNamesGeneration)
        return;
    m_shownPhonebook = m_phonebook.Generation();
    m_shownLineNames = m_lineNamesGeneration;
    m_cd->RefreshNames();
    emit namesChanged();
}

bool TSession::RecordingWanted(const QString &number) const
{
    const TPhonebookEntry *entry = m_phonebook.Find(number);
    switch (m_settings.RecordRule) {
    case TSettings::RecordMarkedOnly:
        return entry && entry->Record;
    case TSettings::RecordAllButPrivate:
        return !(entry && entry->Private);
    default:
        return true;
    }
}

// ---- Old recordings --------------------------------------------------------------------------------

void TSession::ApplyRetention()
{
    constexpr int kDayMs = 24 * 60 * 60 * 1000;
    if (m_settings.Retention.mode == TRetention::Off || !m_cd->tb_audio->active())
        return;
    if (m_audio->Recorder().IsActive()) {
        // Never while a call is being recorded.
        m_retentionTimer->start(60 * 1000);
        return;
    }
    m_retentionTimer->start(kDayMs);
    try {
        const TRetentionResult result = ::ApplyRetention(*m_cd, m_settings.Retention, Now());
        const QString summary = result.Summary();
        if (!summary.isEmpty()) {
            WriteLogLine(summary);
            emit recordingsRemoved(summary);
        }
    } catch (const Exception &e) {
        const QString text = QStringLiteral("Staré nahrávky nelze odstranit: ") + e.message();
        WriteLogLine(text);
        emit recordingsRemoved(text);
    }
}

bool TSession::StartWatch(QString *error)
{
    QCoreApplication::processEvents();
    try {
        m_tapi->OpenLine();
    } catch (const std::exception &e) {
        const QString reason = QString::fromUtf8(e.what());
        WriteLogLine(QStringLiteral("Error StartWatch: ") + reason);
        const QString message = QStringLiteral("Chyba při inicializaci TAPI - \"") + reason + QStringLiteral("\"");
        if (error)
            *error = message;
        emit watchFailed(message);
        return false;
    }
    emit watchStarted(m_tapi->LineName);
    return true;
}

void TSession::StopWatch()
{
    try {
        m_tapi->CloseLine();
    } catch (const std::exception &e) {
        WriteLogLine(QStringLiteral("Error StopWatch: ") + QString::fromUtf8(e.what()));
    }
    emit watchStopped();
}

bool TSession::Watching() const { return m_tapi->Active; }

QString TSession::RecordingInput() const
{
    return m_audio->RecordingEnabled() ? m_settings.AudioInputDevice : QString();
}
