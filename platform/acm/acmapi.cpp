#include "acmapi.h"

#include <QByteArray>
#include <algorithm>
#include <cstring>
#include <unordered_set>

#include "acmdriver.h"

// The drivers are created in their own units; each registers through one factory here.
std::unique_ptr<AcmDriver> CreatePcmDriver();
std::unique_ptr<AcmDriver> CreateG711Driver();
std::unique_ptr<AcmDriver> CreateImaAdpcmDriver();
std::unique_ptr<AcmDriver> CreateGsmDriver();
std::unique_ptr<AcmDriver> CreateMp3Driver();

struct AcmStream {
    QByteArray src;
    QByteArray dst;
    std::unique_ptr<AcmCodec> codec;
    int preparedHeaders = 0;
};

namespace {

// Live stream handles: a stale or foreign handle is refused instead of followed.
std::unordered_set<const AcmStream *> &LiveStreams()
{
    static std::unordered_set<const AcmStream *> streams;
    return streams;
}

AcmStream *Lookup(HACMSTREAM has)
{
    return has && LiveStreams().count(has) ? has : nullptr;
}

IAcmFormatChooser *g_chooser = nullptr;

template <size_t N>
void CopyText(char16_t (&target)[N], const QString &text)
{
    const qsizetype n = std::min<qsizetype>(text.size(), qsizetype(N) - 1);
    std::memcpy(target, text.utf16(), size_t(n) * sizeof(char16_t));
    target[n] = 0;
}

// Marks a prepared header as belonging to a stream, with the lengths it was prepared with.
constexpr int kPreparedSrc = 0;
constexpr int kPreparedDst = 1;
constexpr int kPreparedTag = 2;
uint32_t StreamTag(const AcmStream *stream)
{
    const auto bits = reinterpret_cast<uintptr_t>(stream);
    return uint32_t(bits ^ (uint64_t(bits) >> 32)) | 1u;
}

} // namespace

const QList<AcmDriver *> &AcmDrivers()
{
    static std::unique_ptr<AcmDriver> owned[] = {CreatePcmDriver(), CreateG711Driver(), CreateImaAdpcmDriver(),
                                                 CreateGsmDriver(), CreateMp3Driver()};
    static const QList<AcmDriver *> drivers = [] {
        QList<AcmDriver *> list;
        for (auto &driver : owned)
            list.append(driver.get());
        return list;
    }();
    return drivers;
}

uint32_t AcmFormatSize(const WAVEFORMATEX &wfx)
{
    if (wfx.wFormatTag == WAVE_FORMAT_PCM)
        return sizeof(WAVEFORMATEX);
    return uint32_t(sizeof(WAVEFORMATEX)) + std::min<uint32_t>(wfx.cbSize, ACM_MAX_FORMAT_SIZE - sizeof(WAVEFORMATEX));
}

static QByteArray Image(const WAVEFORMATEX *wfx)
{
    return QByteArray(reinterpret_cast<const char *>(wfx), int(AcmFormatSize(*wfx)));
}

static const WAVEFORMATEX &Wfx(const QByteArray &image)
{
    return *reinterpret_cast<const WAVEFORMATEX *>(image.constData());
}

MMRESULT acmStreamOpen(HACMSTREAM *phas, const WAVEFORMATEX *pwfxSrc, const WAVEFORMATEX *pwfxDst, uint32_t fdwOpen)
{
    if (phas)
        *phas = nullptr;
    if (!pwfxSrc || !pwfxDst)
        return MMSYSERR_INVALPARAM;
    if (fdwOpen & ~(ACM_STREAMOPENF_QUERY | ACM_STREAMOPENF_NONREALTIME | ACM_STREAMOPENF_ASYNC))
        return MMSYSERR_INVALFLAG;
    if (fdwOpen & ACM_STREAMOPENF_ASYNC)
        return MMSYSERR_NOTSUPPORTED; // every conversion here is synchronous
    const bool query = fdwOpen & ACM_STREAMOPENF_QUERY;
    if (!query && !phas)
        return MMSYSERR_INVALPARAM;
    const bool realTime = !(fdwOpen & ACM_STREAMOPENF_NONREALTIME);
    for (AcmDriver *driver : AcmDrivers()) {
        if (!driver->CanConvert(*pwfxSrc, *pwfxDst, realTime))
            continue;
        if (query)
            return MMSYSERR_NOERROR;
        auto stream = std::make_unique<AcmStream>();
        stream->src = Image(pwfxSrc);
        stream->dst = Image(pwfxDst);
        MMRESULT result = MMSYSERR_NOERROR;
        stream->codec = driver->Open(Wfx(stream->src), Wfx(stream->dst), result);
        if (!stream->codec)
            return result != MMSYSERR_NOERROR ? result : MMSYSERR_ERROR;
        *phas = stream.release();
        LiveStreams().insert(*phas);
        return MMSYSERR_NOERROR;
    }
    return ACMERR_NOTPOSSIBLE;
}

MMRESULT acmStreamClose(HACMSTREAM has, uint32_t fdwClose)
{
    AcmStream *stream = Lookup(has);
    if (!stream)
        return MMSYSERR_INVALHANDLE;
    if (fdwClose != 0)
        return MMSYSERR_INVALFLAG;
    if (stream->preparedHeaders > 0)
        return ACMERR_BUSY;
    LiveStreams().erase(stream);
    delete stream;
    return MMSYSERR_NOERROR;
}

MMRESULT acmStreamSize(HACMSTREAM has, uint32_t cbInput, uint32_t *pdwOutputBytes, uint32_t fdwSize)
{
    AcmStream *stream = Lookup(has);
    if (!stream)
        return MMSYSERR_INVALHANDLE;
    if (!pdwOutputBytes)
        return MMSYSERR_INVALPARAM;
    *pdwOutputBytes = 0;
    uint32_t size = 0;
    if (fdwSize == ACM_STREAMSIZEF_SOURCE)
        size = stream->codec->DestinationSize(cbInput);
    else if (fdwSize == ACM_STREAMSIZEF_DESTINATION)
        size = stream->codec->SourceSize(cbInput);
    else
        return MMSYSERR_INVALFLAG;
    if (size == 0)
        return ACMERR_NOTPOSSIBLE; // less than one block
    *pdwOutputBytes = size;
    return MMSYSERR_NOERROR;
}

MMRESULT acmStreamPrepareHeader(HACMSTREAM has, ACMSTREAMHEADER *pash, uint32_t fdwPrepare)
{
    AcmStream *stream = Lookup(has);
    if (!stream)
        return MMSYSERR_INVALHANDLE;
    if (fdwPrepare != 0)
        return MMSYSERR_INVALFLAG;
    if (!pash || pash->cbStruct < sizeof(ACMSTREAMHEADER) || !pash->pbSrc || !pash->pbDst)
        return MMSYSERR_INVALPARAM;
    if (pash->fdwStatus & ACMSTREAMHEADER_STATUSF_PREPARED)
        return pash->dwReservedDriver[kPreparedTag] == StreamTag(stream) ? MMSYSERR_NOERROR : MMSYSERR_INVALPARAM;
    pash->dwReservedDriver[kPreparedSrc] = pash->cbSrcLength;
    pash->dwReservedDriver[kPreparedDst] = pash->cbDstLength;
    pash->dwReservedDriver[kPreparedTag] = StreamTag(stream);
    pash->fdwStatus = ACMSTREAMHEADER_STATUSF_PREPARED;
    ++stream->preparedHeaders;
    return MMSYSERR_NOERROR;
}

MMRESULT acmStreamUnprepareHeader(HACMSTREAM has, ACMSTREAMHEADER *pash, uint32_t fdwUnprepare)
{
    AcmStream *stream = Lookup(has);
    if (!stream)
        return MMSYSERR_INVALHANDLE;
    if (fdwUnprepare != 0)
        return MMSYSERR_INVALFLAG;
    if (!pash)
        return MMSYSERR_INVALPARAM;
    if (!(pash->fdwStatus & ACMSTREAMHEADER_STATUSF_PREPARED))
        return ACMERR_UNPREPARED;
    if (pash->dwReservedDriver[kPreparedTag] != StreamTag(stream))
        return MMSYSERR_INVALPARAM;
    if (pash->fdwStatus & ACMSTREAMHEADER_STATUSF_INQUEUE)
        return ACMERR_BUSY;
    pash->fdwStatus &= ~ACMSTREAMHEADER_STATUSF_PREPARED;
    pash->dwReservedDriver[kPreparedTag] = 0;
    --stream->preparedHeaders;
    return MMSYSERR_NOERROR;
}

MMRESULT acmStreamConvert(HACMSTREAM has, ACMSTREAMHEADER *pash, uint32_t fdwConvert)
{
    AcmStream *stream = Lookup(has);
    if (!stream)
        return MMSYSERR_INVALHANDLE;
    if (fdwConvert & ~(ACM_STREAMCONVERTF_BLOCKALIGN | ACM_STREAMCONVERTF_START | ACM_STREAMCONVERTF_END))
        return MMSYSERR_INVALFLAG;
    if (!pash || pash->cbStruct < sizeof(ACMSTREAMHEADER))
        return MMSYSERR_INVALPARAM;
    if (!(pash->fdwStatus & ACMSTREAMHEADER_STATUSF_PREPARED))
        return ACMERR_UNPREPARED;
    if (pash->dwReservedDriver[kPreparedTag] != StreamTag(stream))
        return MMSYSERR_INVALPARAM;
    // The buffers may shrink after preparation, never grow.
    if (pash->cbSrcLength > pash->dwReservedDriver[kPreparedSrc] || pash->cbDstLength > pash->dwReservedDriver[kPreparedDst])
        return MMSYSERR_INVALPARAM;
    if (pash->fdwStatus & ACMSTREAMHEADER_STATUSF_INQUEUE)
        return ACMERR_BUSY;
    if (fdwConvert & ACM_STREAMCONVERTF_START)
        stream->codec->Reset();
    pash->fdwStatus = (pash->fdwStatus & ~ACMSTREAMHEADER_STATUSF_DONE) | ACMSTREAMHEADER_STATUSF_INQUEUE;
    uint32_t srcUsed = 0;
    uint32_t dstUsed = 0;
    const MMRESULT result = stream->codec->Convert(pash->pbSrc, pash->cbSrcLength, pash->pbDst, pash->cbDstLength,
                                                   fdwConvert & ACM_STREAMCONVERTF_BLOCKALIGN,
                                                   fdwConvert & ACM_STREAMCONVERTF_END, srcUsed, dstUsed);
    pash->cbSrcLengthUsed = srcUsed;
    pash->cbDstLengthUsed = dstUsed;
    pash->fdwStatus = (pash->fdwStatus & ~ACMSTREAMHEADER_STATUSF_INQUEUE) | ACMSTREAMHEADER_STATUSF_DONE;
    return result;
}

MMRESULT acmStreamReset(HACMSTREAM has, uint32_t fdwReset)
{
    AcmStream *stream = Lookup(has);
    if (!stream)
        return MMSYSERR_INVALHANDLE;
    if (fdwReset != 0)
        return MMSYSERR_INVALFLAG;
    stream->codec->Reset();
    return MMSYSERR_NOERROR;
}

MMRESULT acmFormatSuggest(const WAVEFORMATEX *pwfxSrc, WAVEFORMATEX *pwfxDst, uint32_t cbwfxDst, uint32_t fdwSuggest)
{
    if (!pwfxSrc || !pwfxDst || cbwfxDst < 16)
        return MMSYSERR_INVALPARAM;
    if (fdwSuggest & ~ACM_FORMATSUGGESTF_TYPEMASK)
        return MMSYSERR_INVALFLAG;
    for (AcmDriver *driver : AcmDrivers()) {
        if ((fdwSuggest & ACM_FORMATSUGGESTF_WFORMATTAG) && !driver->FormatTags().contains(pwfxDst->wFormatTag)
            && !driver->FormatTags().contains(pwfxSrc->wFormatTag))
            continue;
        if (driver->Suggest(*pwfxSrc, pwfxDst, cbwfxDst, fdwSuggest) == MMSYSERR_NOERROR)
            return MMSYSERR_NOERROR;
    }
    return ACMERR_NOTPOSSIBLE;
}

namespace {
struct TagEntry {
    AcmDriver *driver;
    uint16_t tag;
};
QList<TagEntry> AllTags()
{
    QList<TagEntry> tags;
    for (AcmDriver *driver : AcmDrivers())
        for (uint16_t tag : driver->FormatTags())
            tags.append({driver, tag});
    return tags;
}

void FillTag(ACMFORMATTAGDETAILS &details, const TagEntry &entry, uint32_t index)
{
    details.dwFormatTagIndex = index;
    details.dwFormatTag = entry.tag;
    details.cbFormatSize = entry.driver->FormatSize(entry.tag);
    details.fdwSupport = entry.tag == WAVE_FORMAT_PCM ? ACMDRIVERDETAILS_SUPPORTF_CONVERTER : ACMDRIVERDETAILS_SUPPORTF_CODEC;
    details.cStandardFormats = uint32_t(entry.driver->Formats(entry.tag).size());
    CopyText(details.szFormatTag, entry.driver->TagName(entry.tag));
}
} // namespace

MMRESULT acmFormatTagDetails(ACMFORMATTAGDETAILS *paftd, uint32_t fdwDetails)
{
    if (!paftd || paftd->cbStruct < sizeof(ACMFORMATTAGDETAILS))
        return MMSYSERR_INVALPARAM;
    const QList<TagEntry> tags = AllTags();
    for (qsizetype i = 0; i < tags.size(); ++i) {
        const bool match = fdwDetails == ACM_FORMATTAGDETAILSF_FORMATTAG ? tags[i].tag == paftd->dwFormatTag
                         : fdwDetails == ACM_FORMATTAGDETAILSF_INDEX     ? uint32_t(i) == paftd->dwFormatTagIndex
                                                                          : false;
        if (fdwDetails != ACM_FORMATTAGDETAILSF_FORMATTAG && fdwDetails != ACM_FORMATTAGDETAILSF_INDEX)
            return MMSYSERR_INVALFLAG;
        if (match) {
            FillTag(*paftd, tags[i], uint32_t(i));
            return MMSYSERR_NOERROR;
        }
    }
    return ACMERR_NOTPOSSIBLE;
}

MMRESULT acmFormatDetails(ACMFORMATDETAILS *pafd, uint32_t fdwDetails)
{
    if (!pafd || pafd->cbStruct < sizeof(ACMFORMATDETAILS) || !pafd->pwfx || pafd->cbwfx < 16)
        return MMSYSERR_INVALPARAM;
    if (fdwDetails == ACM_FORMATDETAILSF_FORMAT) {
        const WAVEFORMATEX &wfx = *pafd->pwfx;
        for (AcmDriver *driver : AcmDrivers()) {
            if (!driver->FormatTags().contains(wfx.wFormatTag))
                continue;
            const QString text = driver->FormatText(wfx);
            if (text.isEmpty())
                continue;
            pafd->dwFormatTag = wfx.wFormatTag;
            pafd->fdwSupport = wfx.wFormatTag == WAVE_FORMAT_PCM ? ACMDRIVERDETAILS_SUPPORTF_CONVERTER
                                                                 : ACMDRIVERDETAILS_SUPPORTF_CODEC;
            CopyText(pafd->szFormat, text);
            return MMSYSERR_NOERROR;
        }
        return ACMERR_NOTPOSSIBLE;
    }
    if (fdwDetails == ACM_FORMATDETAILSF_INDEX) {
        for (AcmDriver *driver : AcmDrivers()) {
            if (!driver->FormatTags().contains(uint16_t(pafd->dwFormatTag)))
                continue;
            const QList<QByteArray> formats = driver->Formats(uint16_t(pafd->dwFormatTag));
            if (pafd->dwFormatIndex >= uint32_t(formats.size()))
                return ACMERR_NOTPOSSIBLE;
            const QByteArray &image = formats[pafd->dwFormatIndex];
            if (uint32_t(image.size()) > pafd->cbwfx)
                return MMSYSERR_INVALPARAM;
            std::memcpy(pafd->pwfx, image.constData(), size_t(image.size()));
            pafd->fdwSupport = pafd->dwFormatTag == WAVE_FORMAT_PCM ? ACMDRIVERDETAILS_SUPPORTF_CONVERTER
                                                                    : ACMDRIVERDETAILS_SUPPORTF_CODEC;
            CopyText(pafd->szFormat, driver->FormatText(Wfx(image)));
            return MMSYSERR_NOERROR;
        }
        return ACMERR_NOTPOSSIBLE;
    }
    return MMSYSERR_INVALFLAG;
}

MMRESULT acmFormatTagEnum(ACMFORMATTAGDETAILS *paftd, const AcmFormatTagEnumCallback &callback, uint32_t fdwEnum)
{
    if (!paftd || paftd->cbStruct < sizeof(ACMFORMATTAGDETAILS) || !callback)
        return MMSYSERR_INVALPARAM;
    if (fdwEnum != 0)
        return MMSYSERR_INVALFLAG;
    const QList<TagEntry> tags = AllTags();
    for (qsizetype i = 0; i < tags.size(); ++i) {
        FillTag(*paftd, tags[i], uint32_t(i));
        if (!callback(*paftd))
            break;
    }
    return MMSYSERR_NOERROR;
}

MMRESULT acmFormatEnum(ACMFORMATDETAILS *pafd, const AcmFormatEnumCallback &callback, uint32_t fdwEnum)
{
    if (!pafd || pafd->cbStruct < sizeof(ACMFORMATDETAILS) || !pafd->pwfx || pafd->cbwfx < 16 || !callback)
        return MMSYSERR_INVALPARAM;
    if (fdwEnum & ~ACM_FORMATENUMF_WFORMATTAG)
        return MMSYSERR_INVALFLAG;
    const uint16_t onlyTag = pafd->pwfx->wFormatTag;
    for (const TagEntry &entry : AllTags()) {
        if ((fdwEnum & ACM_FORMATENUMF_WFORMATTAG) && entry.tag != onlyTag)
            continue;
        const QList<QByteArray> formats = entry.driver->Formats(entry.tag);
        for (qsizetype i = 0; i < formats.size(); ++i) {
            const QByteArray &image = formats[i];
            if (uint32_t(image.size()) > pafd->cbwfx)
                continue;
            std::memcpy(pafd->pwfx, image.constData(), size_t(image.size()));
            pafd->dwFormatIndex = uint32_t(i);
            pafd->dwFormatTag = entry.tag;
            pafd->fdwSupport = entry.tag == WAVE_FORMAT_PCM ? ACMDRIVERDETAILS_SUPPORTF_CONVERTER
                                                            : ACMDRIVERDETAILS_SUPPORTF_CODEC;
            CopyText(pafd->szFormat, entry.driver->FormatText(Wfx(image)));
            if (!callback(*pafd))
                return MMSYSERR_NOERROR;
        }
    }
    return MMSYSERR_NOERROR;
}

IAcmFormatChooser *InstallAcmFormatChooser(IAcmFormatChooser *chooser)
{
    IAcmFormatChooser *previous = g_chooser;
    g_chooser = chooser;
    return previous;
}

MMRESULT acmFormatChoose(ACMFORMATCHOOSE *pafmtc)
{
    if (!pafmtc || pafmtc->cbStruct < sizeof(ACMFORMATCHOOSE) || !pafmtc->pwfx || pafmtc->cbwfx < sizeof(WAVEFORMATEX))
        return MMSYSERR_INVALPARAM;
    if (!g_chooser)
        return MMSYSERR_NODRIVER;
    // The chooser works on its own copy so that a failed or cancelled choice changes nothing.
    QByteArray working(reinterpret_cast<const char *>(pafmtc->pwfx), int(pafmtc->cbwfx));
    ACMFORMATCHOOSE request = *pafmtc;
    request.pwfx = reinterpret_cast<WAVEFORMATEX *>(working.data());
    const MMRESULT result = g_chooser->Choose(request);
    if (result != MMSYSERR_NOERROR)
        return result;
    const WAVEFORMATEX &chosen = Wfx(working);
    if (AcmFormatSize(chosen) > pafmtc->cbwfx)
        return MMSYSERR_INVALPARAM;
    std::memcpy(pafmtc->pwfx, working.constData(), size_t(pafmtc->cbwfx));
    std::memcpy(pafmtc->szFormatTag, request.szFormatTag, sizeof(request.szFormatTag));
    std::memcpy(pafmtc->szFormat, request.szFormat, sizeof(request.szFormat));
    return MMSYSERR_NOERROR;
}
