#pragma once
#include "waveinsession.h"

#include <QList>
#include <QString>
#include <memory>

// What a capture driver tells about one of its devices.
struct TCaptureDeviceInfo {
    QString Name;             // shown to the user and stored in the settings; unique in the list
    QString Address;          // the driver's own address of the device
    uint16_t ManufacturerID = 0;
    uint16_t ProductID = 0;
    uint8_t DriverMajor = 1;
    uint8_t DriverMinor = 0;
    uint16_t Channels = 2;
};

// A family of capture devices (the sound system, the virtual input).
class TWaveInDriver {
public:
    virtual ~TWaveInDriver() = default;
    virtual QList<TCaptureDeviceInfo> EnumerateDevices() = 0;
    // Opens the device for capture in the format; on failure returns null and sets result.
    virtual std::unique_ptr<TWaveInSession> Open(const TCaptureDeviceInfo &device, const WAVEFORMATEX &format,
                                                 QObject *window, uintptr_t instance, MMRESULT &result) = 0;
};

// True for the PCM layouts every driver captures: 1 or 2 channels, 8/16/24/32 bits,
// consistent block alignment and byte rate.
bool IsCapturablePcm(const WAVEFORMATEX &format);
