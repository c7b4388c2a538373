#include "sipconversationinput.h"

#include "waveinregistry.h"

SipConversationDriver::SipConversationDriver(Inputs inputs) : m_inputs(std::move(inputs))
{
    TWaveInRegistry::Instance().AddDriver(this);
}

SipConversationDriver::~SipConversationDriver() { TWaveInRegistry::Instance().RemoveDriver(this); }

QList<TCaptureDeviceInfo> SipConversationDriver::EnumerateDevices()
{
    QList<TCaptureDeviceInfo> inputs = m_inputs();
    for (TCaptureDeviceInfo &info : inputs) {
        info.ManufacturerID = MM_WAVEIN_ALSA;
        info.ProductID = 3;
        info.Channels = 2;
    }
    return inputs;
}

std::unique_ptr<TWaveInSession> SipConversationDriver::Open(const TCaptureDeviceInfo &device,
                                                            const WAVEFORMATEX &format, QObject *window,
                                                            uintptr_t instance, MMRESULT &result)
{
    return m_alsa.Open(device, format, window, instance, result);
}
