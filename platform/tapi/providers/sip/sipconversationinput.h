#pragma once
// The conversations of SIP lines as capture devices ("SIP linka 1 - hovor"): both
// directions mixed on the sound server, captured through ALSA like a sound card. The
// driver joins the wave-in device list while it lives.
#include "alsawavein.h"

#include <functional>

class SipConversationDriver : public TWaveInDriver {
public:
    using Inputs = std::function<QList<TCaptureDeviceInfo>()>;
    explicit SipConversationDriver(Inputs inputs);
    ~SipConversationDriver() override;

    QList<TCaptureDeviceInfo> EnumerateDevices() override;
    std::unique_ptr<TWaveInSession> Open(const TCaptureDeviceInfo &device, const WAVEFORMATEX &format,
                                         QObject *window, uintptr_t instance, MMRESULT &result) override;

private:
    Inputs m_inputs;
    TAlsaWaveInDriver m_alsa;
};
