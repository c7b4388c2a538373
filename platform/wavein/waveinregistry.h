#pragma once
#include "waveindriver.h"

#include <QStringList>
#include <functional>

// The device list of the wave-in interface: the sound system's capture devices,
// followed by the virtual input "Simulovaný vstup" when it is offered. Device
// numbers are positions in the list as it was last enumerated; waveInGetNumDevs
// enumerates again.
class TWaveInRegistry {
public:
    static TWaveInRegistry &Instance();

    void EnableSimulatedInput(bool enabled);
    bool SimulatedInputEnabled() const { return m_simulated; }
    // Lets the sound system's devices be left out (a windowless host or a test that
    // wants the virtual input alone).
    void EnableSoundSystem(bool enabled);
    bool SoundSystemEnabled() const { return m_soundSystem; }

    TWaveInDriver &SimulatedDriver() { return *m_virtual; }
    // A further family of inputs (a line provider's conversations), listed after the
    // sound system's devices while it is registered; the registry does not own it.
    void AddDriver(TWaveInDriver *driver);
    void RemoveDriver(TWaveInDriver *driver);

    int Enumerate();
    int Count();
    const TCaptureDeviceInfo *Device(uint32_t deviceId);
    MMRESULT Open(HWAVEIN *handle, uint32_t deviceId, const WAVEFORMATEX &format, QObject *window,
                  uintptr_t instance, bool queryOnly);
    TWaveInSession *Find(HWAVEIN handle) const;
    MMRESULT Close(HWAVEIN handle);

private:
    TWaveInRegistry();
    struct Entry {
        TCaptureDeviceInfo Info;
        TWaveInDriver *Driver;
    };
    std::unique_ptr<TWaveInDriver> m_alsa;
    std::unique_ptr<TWaveInDriver> m_virtual;
    QList<TWaveInDriver *> m_extra;
    bool m_simulated = false;
    bool m_soundSystem = true;
    bool m_enumerated = false;
    QList<Entry> m_devices;
    std::vector<std::unique_ptr<TWaveInSession>> m_sessions;
};

// The switch "simulate" offers the virtual input.
void EnableSimulatedInput(bool enabled);
bool SimulatedInputEnabled();
// Applies "simulate" and "simulatewave=<file>" from a command line; false with a
// message when the named WAVE file cannot be used (the generated signal stays).
bool ApplySimulatedInputSwitches(const QStringList &arguments, QString *error = nullptr);
