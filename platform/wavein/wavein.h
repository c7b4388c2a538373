#pragma once
#include "mmreg.h"

#include <QEvent>
#include <QObject>
#include <cstdint>

// The wave-in interface: capture devices by number, opened with a PCM format,
// fed with a fixed set of caller-owned buffers, each filled buffer handed back as
// an MM_WIM_DATA message to the caller's window (a QObject on the main thread).
// Devices come from the drivers of the registry (waveinregistry.h).

struct HWAVEIN__;
using HWAVEIN = HWAVEIN__ *;

constexpr uint32_t WAVE_MAPPER = 0xFFFFFFFFu;

// waveInOpen flags
constexpr uint32_t WAVE_FORMAT_QUERY = 0x0001;
constexpr uint32_t WAVE_MAPPED = 0x0004;
constexpr uint32_t CALLBACK_WINDOW = 0x00010000;

// Messages sent to the callback window.
constexpr uint32_t MM_WIM_OPEN = 0x3BE;
constexpr uint32_t MM_WIM_CLOSE = 0x3BF;
constexpr uint32_t MM_WIM_DATA = 0x3C0;

// WAVEHDR.dwFlags
constexpr uint32_t WHDR_DONE = 0x01;
constexpr uint32_t WHDR_PREPARED = 0x02;
constexpr uint32_t WHDR_INQUEUE = 0x10;

struct WAVEHDR {
    char *lpData;
    uint32_t dwBufferLength;
    uint32_t dwBytesRecorded;
    uintptr_t dwUser;
    uint32_t dwFlags;
    uint32_t dwLoops;
    WAVEHDR *lpNext;
    uintptr_t reserved;
};

// Standard format bits of WAVEINCAPS.dwFormats (rate 11/22/44 kHz, mono/stereo, 8/16 bits).
constexpr uint32_t WAVE_FORMAT_1M08 = 0x001, WAVE_FORMAT_1S08 = 0x002, WAVE_FORMAT_1M16 = 0x004,
                   WAVE_FORMAT_1S16 = 0x008, WAVE_FORMAT_2M08 = 0x010, WAVE_FORMAT_2S08 = 0x020,
                   WAVE_FORMAT_2M16 = 0x040, WAVE_FORMAT_2S16 = 0x080, WAVE_FORMAT_4M08 = 0x100,
                   WAVE_FORMAT_4S08 = 0x200, WAVE_FORMAT_4M16 = 0x400, WAVE_FORMAT_4S16 = 0x800;

#pragma pack(push, 1)
// Capabilities of one device, 48 bytes. The product name is in code page 1250,
// at most 31 characters and zero-terminated.
struct WAVEINCAPS {
    uint16_t wMid;
    uint16_t wPid;
    uint32_t vDriverVersion;
    char szPname[32];
    uint32_t dwFormats;
    uint16_t wChannels;
    uint16_t wReserved1;
};
#pragma pack(pop)
static_assert(sizeof(WAVEINCAPS) == 48, "WAVEINCAPS is 48 bytes");

// Manufacturer identifiers our drivers report.
constexpr uint16_t MM_WAVEIN_ALSA = 0x7A01;
constexpr uint16_t MM_WAVEIN_VIRTUAL = 0x7A02;

// The message a device posts to its callback window. It is delivered on the
// window's thread through the event loop; messages of a device that has been
// reset or closed since they were posted are dropped, never delivered.
class TWaveInMessageEvent : public QEvent {
public:
    TWaveInMessageEvent(uint32_t msg, HWAVEIN device, WAVEHDR *header, uintptr_t instance);
    static QEvent::Type Type();
    uint32_t Msg;
    HWAVEIN Device;
    WAVEHDR *Header;
    uintptr_t Instance;
};

uint32_t waveInGetNumDevs();
MMRESULT waveInGetDevCaps(uint32_t deviceId, WAVEINCAPS *caps, uint32_t size);
// CALLBACK_WINDOW is the only callback kind; window may be null with WAVE_FORMAT_QUERY.
MMRESULT waveInOpen(HWAVEIN *device, uint32_t deviceId, const WAVEFORMATEX *format, QObject *window,
                    uintptr_t instance, uint32_t flags);
MMRESULT waveInClose(HWAVEIN device);
MMRESULT waveInPrepareHeader(HWAVEIN device, WAVEHDR *header, uint32_t size);
MMRESULT waveInUnprepareHeader(HWAVEIN device, WAVEHDR *header, uint32_t size);
MMRESULT waveInAddBuffer(HWAVEIN device, WAVEHDR *header, uint32_t size);
MMRESULT waveInStart(HWAVEIN device);
MMRESULT waveInStop(HWAVEIN device);
// Stops capture and takes back every queued buffer (marked done, not delivered);
// filled buffers whose messages have not been delivered yet are dropped as well.
MMRESULT waveInReset(HWAVEIN device);
