#pragma once
#include <cstdint>

// The multimedia declarations shared by the codec manager, the capture drivers and
// the audio library: the WAVEFORMATEX layout, format tags and result codes.

using MMRESULT = uint32_t;

#pragma pack(push, 1)
struct WAVEFORMATEX {
    uint16_t wFormatTag;
    uint16_t nChannels;
    uint32_t nSamplesPerSec;
    uint32_t nAvgBytesPerSec;
    uint16_t nBlockAlign;
    uint16_t wBitsPerSample;
    uint16_t cbSize;
};
#pragma pack(pop)
static_assert(sizeof(WAVEFORMATEX) == 18, "WAVEFORMATEX is 18 bytes on disk and in memory");

constexpr uint16_t WAVE_FORMAT_PCM = 0x0001;
constexpr uint16_t WAVE_FORMAT_ALAW = 0x0006;
constexpr uint16_t WAVE_FORMAT_MULAW = 0x0007;
constexpr uint16_t WAVE_FORMAT_IMA_ADPCM = 0x0011;
constexpr uint16_t WAVE_FORMAT_GSM610 = 0x0031;
constexpr uint16_t WAVE_FORMAT_MPEGLAYER3 = 0x0055;

constexpr MMRESULT MMSYSERR_NOERROR = 0;
constexpr MMRESULT MMSYSERR_ERROR = 1;
constexpr MMRESULT MMSYSERR_BADDEVICEID = 2;
constexpr MMRESULT MMSYSERR_NOTENABLED = 3;
constexpr MMRESULT MMSYSERR_ALLOCATED = 4;
constexpr MMRESULT MMSYSERR_INVALHANDLE = 5;
constexpr MMRESULT MMSYSERR_NODRIVER = 6;
constexpr MMRESULT MMSYSERR_NOMEM = 7;
constexpr MMRESULT MMSYSERR_NOTSUPPORTED = 8;
constexpr MMRESULT MMSYSERR_INVALFLAG = 10;
constexpr MMRESULT MMSYSERR_INVALPARAM = 11;
constexpr MMRESULT MMSYSERR_HANDLEBUSY = 12;
constexpr MMRESULT WAVERR_BADFORMAT = 32;
constexpr MMRESULT WAVERR_STILLPLAYING = 33;
constexpr MMRESULT WAVERR_UNPREPARED = 34;
constexpr MMRESULT WAVERR_SYNC = 35;
constexpr MMRESULT ACMERR_NOTPOSSIBLE = 512;
constexpr MMRESULT ACMERR_BUSY = 513;
constexpr MMRESULT ACMERR_UNPREPARED = 514;
constexpr MMRESULT ACMERR_CANCELED = 515;

// The extra bytes of the compressed formats, as they follow WAVEFORMATEX in a WAVE file's fmt chunk.
#pragma pack(push, 1)
struct IMAADPCMWAVEFORMAT {
    WAVEFORMATEX wfx;
    uint16_t wSamplesPerBlock;
};
struct GSM610WAVEFORMAT {
    WAVEFORMATEX wfx;
    uint16_t wSamplesPerBlock;
};
struct MPEGLAYER3WAVEFORMAT {
    WAVEFORMATEX wfx;
    uint16_t wID;
    uint32_t fdwFlags;
    uint16_t nBlockSize;
    uint16_t nFramesPerBlock;
    uint16_t nCodecDelay;
};
#pragma pack(pop)
static_assert(sizeof(IMAADPCMWAVEFORMAT) == 20);
static_assert(sizeof(GSM610WAVEFORMAT) == 20);
static_assert(sizeof(MPEGLAYER3WAVEFORMAT) == 30);

constexpr uint16_t MPEGLAYER3_WFX_EXTRA_BYTES = 12;
constexpr uint16_t MPEGLAYER3_ID_UNKNOWN = 0;
constexpr uint16_t MPEGLAYER3_ID_MPEG = 1;
constexpr uint16_t MPEGLAYER3_ID_CONSTANTFRAMESIZE = 2;
constexpr uint32_t MPEGLAYER3_FLAG_PADDING_ISO = 0;
constexpr uint32_t MPEGLAYER3_FLAG_PADDING_ON = 1;
constexpr uint32_t MPEGLAYER3_FLAG_PADDING_OFF = 2;

constexpr uint16_t GSM610_SAMPLES_PER_BLOCK = 320;
constexpr uint16_t GSM610_BLOCK_ALIGN = 65;
