#include "wavein.h"

#include "codepage1250.h"
#include "waveinregistry.h"

#include <cstring>

namespace {

TWaveInSession *SessionOf(HWAVEIN device) { return TWaveInRegistry::Instance().Find(device); }

} // namespace

uint32_t waveInGetNumDevs() { return uint32_t(TWaveInRegistry::Instance().Enumerate()); }

MMRESULT waveInGetDevCaps(uint32_t deviceId, WAVEINCAPS *caps, uint32_t size)
{
    if (!caps || size < sizeof(WAVEINCAPS))
        return MMSYSERR_INVALPARAM;
    const TCaptureDeviceInfo *info = TWaveInRegistry::Instance().Device(deviceId);
    if (!info)
        return MMSYSERR_BADDEVICEID;
    std::memset(caps, 0, sizeof *caps);
    caps->wMid = info->ManufacturerID;
    caps->wPid = info->ProductID;
    caps->vDriverVersion = uint32_t(info->DriverMajor) << 8 | info->DriverMinor;
    QByteArray name = EncodeCp1250(info->Name.left(31));
    std::memcpy(caps->szPname, name.constData(), size_t(std::min<qsizetype>(name.size(), 31)));
    caps->wChannels = info->Channels;
    caps->dwFormats = info->Channels >= 2 ? 0xFFF : (WAVE_FORMAT_1M08 | WAVE_FORMAT_1M16 | WAVE_FORMAT_2M08 |
                                                     WAVE_FORMAT_2M16 | WAVE_FORMAT_4M08 | WAVE_FORMAT_4M16);
    return MMSYSERR_NOERROR;
}

MMRESULT waveInOpen(HWAVEIN *device, uint32_t deviceId, const WAVEFORMATEX *format, QObject *window,
                    uintptr_t instance, uint32_t flags)
{
    const bool query = flags & WAVE_FORMAT_QUERY;
    if (!format || (!query && (!device || !window)))
        return MMSYSERR_INVALPARAM;
    if (!query && !(flags & CALLBACK_WINDOW))
        return MMSYSERR_INVALFLAG;
    if ((flags & WAVE_MAPPED) && deviceId == WAVE_MAPPER)
        return MMSYSERR_BADDEVICEID;
    // The mapper converts only between PCM layouts; there is no compressed capture.
    if (format->wFormatTag != WAVE_FORMAT_PCM)
        return WAVERR_BADFORMAT;
    return TWaveInRegistry::Instance().Open(device, deviceId, *format, window, instance, query);
}

MMRESULT waveInClose(HWAVEIN device) { return TWaveInRegistry::Instance().Close(device); }

MMRESULT waveInPrepareHeader(HWAVEIN device, WAVEHDR *header, uint32_t size)
{
    TWaveInSession *session = SessionOf(device);
    if (!session)
        return MMSYSERR_INVALHANDLE;
    return size < sizeof(WAVEHDR) ? MMSYSERR_INVALPARAM : session->Prepare(header);
}

MMRESULT waveInUnprepareHeader(HWAVEIN device, WAVEHDR *header, uint32_t size)
{
    TWaveInSession *session = SessionOf(device);
    if (!session)
        return MMSYSERR_INVALHANDLE;
    return size < sizeof(WAVEHDR) ? MMSYSERR_INVALPARAM : session->Unprepare(header);
}

MMRESULT waveInAddBuffer(HWAVEIN device, WAVEHDR *header, uint32_t size)
{
    TWaveInSession *session = SessionOf(device);
    if (!session)
        return MMSYSERR_INVALHANDLE;
    return size < sizeof(WAVEHDR) ? MMSYSERR_INVALPARAM : session->Add(header);
}

MMRESULT waveInStart(HWAVEIN device)
{
    TWaveInSession *session = SessionOf(device);
    return session ? session->Start() : MMSYSERR_INVALHANDLE;
}

MMRESULT waveInStop(HWAVEIN device)
{
    TWaveInSession *session = SessionOf(device);
    return session ? session->Stop() : MMSYSERR_INVALHANDLE;
}

MMRESULT waveInReset(HWAVEIN device)
{
    TWaveInSession *session = SessionOf(device);
    return session ? session->Reset() : MMSYSERR_INVALHANDLE;
}
