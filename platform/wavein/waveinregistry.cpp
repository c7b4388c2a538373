#include "waveinregistry.h"

#include "alsawavein.h"
#include "myutils.h"
#include "simulatedwavein.h"

#include <algorithm>

TWaveInRegistry &TWaveInRegistry::Instance()
{
    static TWaveInRegistry registry;
    return registry;
}

TWaveInRegistry::TWaveInRegistry()
    : m_alsa(std::make_unique<TAlsaWaveInDriver>()), m_virtual(std::make_unique<TSimulatedWaveInDriver>())
{
}

void TWaveInRegistry::EnableSimulatedInput(bool enabled)
{
    m_simulated = enabled;
    m_enumerated = false;
}

void TWaveInRegistry::EnableSoundSystem(bool enabled)
{
    m_soundSystem = enabled;
    m_enumerated = false;
}

void TWaveInRegistry::AddDriver(TWaveInDriver *driver)
{
    if (!m_extra.contains(driver))
        m_extra.append(driver);
    m_enumerated = false;
}

void TWaveInRegistry::RemoveDriver(TWaveInDriver *driver)
{
    m_extra.removeAll(driver);
    // Its entries must not outlive it.
    m_devices.clear();
    m_enumerated = false;
}

int TWaveInRegistry::Enumerate()
{
    m_devices.clear();
    if (m_soundSystem)
        for (const TCaptureDeviceInfo &info : m_alsa->EnumerateDevices())
            m_devices.append({info, m_alsa.get()});
    for (TWaveInDriver *driver : m_extra)
        for (const TCaptureDeviceInfo &info : driver->EnumerateDevices())
            m_devices.append({info, driver});
    if (m_simulated)
        for (const TCaptureDeviceInfo &info : m_virtual->EnumerateDevices())
            m_devices.append({info, m_virtual.get()});
    m_enumerated = true;
    return int(m_devices.size());
}

int TWaveInRegistry::Count()
{
    if (!m_enumerated)
        Enumerate();
    return int(m_devices.size());
}

const TCaptureDeviceInfo *TWaveInRegistry::Device(uint32_t deviceId)
{
    if (deviceId >= uint32_t(Count()))
        return nullptr;
    return &m_devices[int(deviceId)].Info;
}

MMRESULT TWaveInRegistry::Open(HWAVEIN *handle, uint32_t deviceId, const WAVEFORMATEX &format, QObject *window,
                               uintptr_t instance, bool queryOnly)
{
    int count = Count();
    QList<int> candidates;
    if (deviceId == WAVE_MAPPER) {
        // The mapper takes the first device that accepts the format.
        for (int i = 0; i < count; ++i)
            candidates.append(i);
    } else if (deviceId < uint32_t(count)) {
        candidates.append(int(deviceId));
    }
    if (candidates.isEmpty())
        return MMSYSERR_BADDEVICEID;
    MMRESULT first = MMSYSERR_NOERROR;
    for (int index : candidates) {
        const Entry &entry = m_devices[index];
        MMRESULT result = MMSYSERR_NOERROR;
        std::unique_ptr<TWaveInSession> session = entry.Driver->Open(entry.Info, format, window, instance, result);
        if (!session) {
            if (first == MMSYSERR_NOERROR)
                first = result;
            continue;
        }
        if (queryOnly) {
            session->Close();
            return MMSYSERR_NOERROR;
        }
        *handle = session->Handle();
        session->PostNotice(MM_WIM_OPEN);
        m_sessions.push_back(std::move(session));
        return MMSYSERR_NOERROR;
    }
    return first;
}

TWaveInSession *TWaveInRegistry::Find(HWAVEIN handle) const
{
    for (const auto &session : m_sessions)
        if (session->Handle() == handle)
            return session.get();
    return nullptr;
}

MMRESULT TWaveInRegistry::Close(HWAVEIN handle)
{
    auto it = std::find_if(m_sessions.begin(), m_sessions.end(),
                           [handle](const auto &session) { return session->Handle() == handle; });
    if (it == m_sessions.end())
        return MMSYSERR_INVALHANDLE;
    MMRESULT result = (*it)->Close();
    if (result != MMSYSERR_NOERROR)
        return result;
    (*it)->PostNotice(MM_WIM_CLOSE);
    m_sessions.erase(it);
    return MMSYSERR_NOERROR;
}

TSimulatedWaveInDriver &SimulatedInput()
{
    return static_cast<TSimulatedWaveInDriver &>(TWaveInRegistry::Instance().SimulatedDriver());
}

void EnableSimulatedInput(bool enabled) { TWaveInRegistry::Instance().EnableSimulatedInput(enabled); }

bool SimulatedInputEnabled() { return TWaveInRegistry::Instance().SimulatedInputEnabled(); }

bool ApplySimulatedInputSwitches(const QStringList &arguments, QString *error)
{
    if (HasSwitch(arguments, QStringLiteral("simulate")))
        EnableSimulatedInput(true);
    for (const QString &argument : arguments) {
        if (argument.size() < 2 || (argument[0] != QLatin1Char('-') && argument[0] != QLatin1Char('/')))
            continue;
        QString body = argument.mid(1);
        const QString key = QStringLiteral("simulatewave=");
        if (body.startsWith(key, Qt::CaseInsensitive)) {
            EnableSimulatedInput(true);
            if (!SimulatedInput().Signal().LoadWaveFile(body.mid(key.size()), error))
                return false;
        }
    }
    return true;
}
