#pragma once
#include "waveindriver.h"

// Capture devices of the ALSA sound system. The list holds the configured PCMs
// that can capture (the default device, sound servers, PCMs the user defined) and
// every hardware capture device through its converting plug, each under the first
// line of its description. An open device is read on a thread of its own; filled
// buffers reach the main thread through the event loop.
class TAlsaWaveInDriver : public TWaveInDriver {
public:
    QList<TCaptureDeviceInfo> EnumerateDevices() override;
    std::unique_ptr<TWaveInSession> Open(const TCaptureDeviceInfo &device, const WAVEFORMATEX &format,
                                         QObject *window, uintptr_t instance, MMRESULT &result) override;
};
