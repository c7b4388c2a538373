#pragma once
#include <cstdint>
#include <functional>

#include "mmreg.h"

// The codec manager: conversion streams between wave formats, format suggestion,
// format names and enumeration, and the format chooser. Every function returns an
// MMRESULT (MMSYSERR_NOERROR on success) and runs on the calling thread.

struct AcmStream;
using HACMSTREAM = AcmStream *;

// acmStreamOpen flags
constexpr uint32_t ACM_STREAMOPENF_QUERY = 0x00000001;
constexpr uint32_t ACM_STREAMOPENF_ASYNC = 0x00000002;
constexpr uint32_t ACM_STREAMOPENF_NONREALTIME = 0x00000004;

// acmStreamSize flags
constexpr uint32_t ACM_STREAMSIZEF_SOURCE = 0x00000000;
constexpr uint32_t ACM_STREAMSIZEF_DESTINATION = 0x00000001;

// acmStreamConvert flags
constexpr uint32_t ACM_STREAMCONVERTF_BLOCKALIGN = 0x00000004;
constexpr uint32_t ACM_STREAMCONVERTF_START = 0x00000010;
constexpr uint32_t ACM_STREAMCONVERTF_END = 0x00000020;

// header status bits
constexpr uint32_t ACMSTREAMHEADER_STATUSF_DONE = 0x00010000;
constexpr uint32_t ACMSTREAMHEADER_STATUSF_PREPARED = 0x00020000;
constexpr uint32_t ACMSTREAMHEADER_STATUSF_INQUEUE = 0x00100000;

// acmFormatSuggest flags: which destination fields the caller fixes
constexpr uint32_t ACM_FORMATSUGGESTF_WFORMATTAG = 0x00010000;
constexpr uint32_t ACM_FORMATSUGGESTF_NCHANNELS = 0x00020000;
constexpr uint32_t ACM_FORMATSUGGESTF_NSAMPLESPERSEC = 0x00040000;
constexpr uint32_t ACM_FORMATSUGGESTF_WBITSPERSAMPLE = 0x00080000;
constexpr uint32_t ACM_FORMATSUGGESTF_TYPEMASK = 0x00FF0000;

// detail and enumeration flags
constexpr uint32_t ACM_FORMATTAGDETAILSF_INDEX = 0x00000000;
constexpr uint32_t ACM_FORMATTAGDETAILSF_FORMATTAG = 0x00000001;
constexpr uint32_t ACM_FORMATDETAILSF_INDEX = 0x00000000;
constexpr uint32_t ACM_FORMATDETAILSF_FORMAT = 0x00000001;
constexpr uint32_t ACM_FORMATENUMF_WFORMATTAG = 0x00010000;

constexpr uint32_t ACMDRIVERDETAILS_SUPPORTF_CODEC = 0x00000001;
constexpr uint32_t ACMDRIVERDETAILS_SUPPORTF_CONVERTER = 0x00000002;

constexpr int ACMFORMATTAGDETAILS_FORMATTAG_CHARS = 48;
constexpr int ACMFORMATDETAILS_FORMAT_CHARS = 128;

// The largest format image the manager hands out or accepts.
constexpr uint32_t ACM_MAX_FORMAT_SIZE = 512;

// One conversion request: a source and a destination buffer. The layout keeps the
// 84 bytes the header has always had; the driver's bookkeeping lives in the reserved words.
#pragma pack(push, 4)
struct ACMSTREAMHEADER {
    uint32_t cbStruct;
    uint32_t fdwStatus;
    uintptr_t dwUser;
    uint8_t *pbSrc;
    uint32_t cbSrcLength;
    uint32_t cbSrcLengthUsed;
    uintptr_t dwSrcUser;
    uint8_t *pbDst;
    uint32_t cbDstLength;
    uint32_t cbDstLengthUsed;
    uintptr_t dwDstUser;
    uint32_t dwReservedDriver[5];
};
#pragma pack(pop)
static_assert(sizeof(ACMSTREAMHEADER) == 84, "the stream header keeps its 84 bytes");

struct ACMFORMATTAGDETAILS {
    uint32_t cbStruct;
    uint32_t dwFormatTagIndex;
    uint32_t dwFormatTag;
    uint32_t cbFormatSize;   // largest format image of this tag
    uint32_t fdwSupport;
    uint32_t cStandardFormats;
    char16_t szFormatTag[ACMFORMATTAGDETAILS_FORMATTAG_CHARS];
};

struct ACMFORMATDETAILS {
    uint32_t cbStruct;
    uint32_t dwFormatIndex;
    uint32_t dwFormatTag;
    uint32_t fdwSupport;
    WAVEFORMATEX *pwfx;
    uint32_t cbwfx;
    char16_t szFormat[ACMFORMATDETAILS_FORMAT_CHARS];
};

constexpr uint32_t ACMFORMATCHOOSE_STYLEF_INITTOWFXSTRUCT = 0x00000040;

// What the format chooser is given and fills in.
struct ACMFORMATCHOOSE {
    uint32_t cbStruct;
    uint32_t fdwStyle;
    void *hwndOwner;             // the window that owns the chooser, or none
    WAVEFORMATEX *pwfx;          // in: initial selection (with INITTOWFXSTRUCT); out: the choice
    uint32_t cbwfx;              // size of the buffer behind pwfx
    const char16_t *pszTitle;    // zero-terminated, or none
    char16_t szFormatTag[ACMFORMATTAGDETAILS_FORMATTAG_CHARS];
    char16_t szFormat[ACMFORMATDETAILS_FORMAT_CHARS];
    uint32_t fdwEnum;            // restriction of the listed formats (ACM_FORMATENUMF_*), 0 for all
    WAVEFORMATEX *pwfxEnum;
};

// The window that lets the user pick a format. The windows layer installs the real one;
// without one, acmFormatChoose answers MMSYSERR_NODRIVER.
class IAcmFormatChooser {
public:
    virtual ~IAcmFormatChooser() = default;
    // Returns MMSYSERR_NOERROR with the choice in choose.pwfx, ACMERR_CANCELED, or an error.
    virtual MMRESULT Choose(ACMFORMATCHOOSE &choose) = 0;
};
// Installs the chooser (not owned); returns the previous one. nullptr uninstalls.
IAcmFormatChooser *InstallAcmFormatChooser(IAcmFormatChooser *chooser);

MMRESULT acmStreamOpen(HACMSTREAM *phas, const WAVEFORMATEX *pwfxSrc, const WAVEFORMATEX *pwfxDst,
                       uint32_t fdwOpen);
MMRESULT acmStreamClose(HACMSTREAM has, uint32_t fdwClose);
MMRESULT acmStreamSize(HACMSTREAM has, uint32_t cbInput, uint32_t *pdwOutputBytes, uint32_t fdwSize);
MMRESULT acmStreamPrepareHeader(HACMSTREAM has, ACMSTREAMHEADER *pash, uint32_t fdwPrepare);
MMRESULT acmStreamUnprepareHeader(HACMSTREAM has, ACMSTREAMHEADER *pash, uint32_t fdwUnprepare);
MMRESULT acmStreamConvert(HACMSTREAM has, ACMSTREAMHEADER *pash, uint32_t fdwConvert);
MMRESULT acmStreamReset(HACMSTREAM has, uint32_t fdwReset);

MMRESULT acmFormatSuggest(const WAVEFORMATEX *pwfxSrc, WAVEFORMATEX *pwfxDst, uint32_t cbwfxDst,
                          uint32_t fdwSuggest);
MMRESULT acmFormatTagDetails(ACMFORMATTAGDETAILS *paftd, uint32_t fdwDetails);
MMRESULT acmFormatDetails(ACMFORMATDETAILS *pafd, uint32_t fdwDetails);

// Enumeration: the callback gets each entry and returns false to stop. The details
// structure (and its pwfx buffer of cbwfx bytes) is filled before every call.
using AcmFormatTagEnumCallback = std::function<bool(const ACMFORMATTAGDETAILS &)>;
using AcmFormatEnumCallback = std::function<bool(const ACMFORMATDETAILS &)>;
MMRESULT acmFormatTagEnum(ACMFORMATTAGDETAILS *paftd, const AcmFormatTagEnumCallback &callback,
                          uint32_t fdwEnum);
MMRESULT acmFormatEnum(ACMFORMATDETAILS *pafd, const AcmFormatEnumCallback &callback, uint32_t fdwEnum);

MMRESULT acmFormatChoose(ACMFORMATCHOOSE *pafmtc);

// Bytes of a format image: the WAVEFORMATEX plus cbSize extra bytes (PCM counts 16 or 18).
uint32_t AcmFormatSize(const WAVEFORMATEX &wfx);
