#include "acmdriver.h"

#include <algorithm>
#include <cstring>

BlockCodec::BlockCodec(bool encode, uint32_t pcmBlock, uint32_t codedBlock, uint32_t pcmFrame)
    : m_encode(encode), m_pcmBlock(pcmBlock), m_codedBlock(codedBlock), m_pcmFrame(pcmFrame), m_padded(pcmBlock)
{
}

MMRESULT BlockCodec::Convert(const uint8_t *src, uint32_t srcLength, uint8_t *dst, uint32_t dstLength,
                             bool blockAlign, bool, uint32_t &srcUsed, uint32_t &dstUsed)
{
    const uint32_t room = dstLength / DestBlock();
    uint32_t blocks = std::min(srcLength / SourceBlock(), room);
    for (uint32_t b = 0; b < blocks; ++b)
        ConvertBlock(src + size_t(b) * SourceBlock(), dst + size_t(b) * DestBlock());
    srcUsed = blocks * SourceBlock();
    const uint32_t rest = srcLength - srcUsed;
    if (!blockAlign && rest > 0 && blocks < room && blocks == srcLength / SourceBlock()) {
        if (m_encode) {
            std::fill(m_padded.begin(), m_padded.end(), uint8_t(0));
            std::memcpy(m_padded.data(), src + srcUsed, rest - rest % m_pcmFrame);
            ConvertBlock(m_padded.data(), dst + size_t(blocks) * DestBlock());
            ++blocks;
        }
        srcUsed = srcLength;
    }
    dstUsed = blocks * DestBlock();
    return MMSYSERR_NOERROR;
}

namespace acmfmt {

const uint32_t kStandardRates[7] = {8000, 11025, 16000, 22050, 32000, 44100, 48000};

bool IsPcm(const WAVEFORMATEX &wfx)
{
    return wfx.wFormatTag == WAVE_FORMAT_PCM;
}

bool IsValidPcm(const WAVEFORMATEX &wfx)
{
    return wfx.wFormatTag == WAVE_FORMAT_PCM && (wfx.nChannels == 1 || wfx.nChannels == 2)
        && (wfx.wBitsPerSample == 8 || wfx.wBitsPerSample == 16) && wfx.nSamplesPerSec >= kMinRate
        && wfx.nSamplesPerSec <= kMaxRate && wfx.nBlockAlign == wfx.nChannels * wfx.wBitsPerSample / 8
        && wfx.nAvgBytesPerSec == wfx.nSamplesPerSec * wfx.nBlockAlign;
}

bool IsValidPcm16(const WAVEFORMATEX &wfx)
{
    return IsValidPcm(wfx) && wfx.wBitsPerSample == 16;
}

WAVEFORMATEX Pcm(uint32_t rate, uint16_t bits, uint16_t channels)
{
    WAVEFORMATEX wfx{};
    wfx.wFormatTag = WAVE_FORMAT_PCM;
    wfx.nChannels = channels;
    wfx.nSamplesPerSec = rate;
    wfx.wBitsPerSample = bits;
    wfx.nBlockAlign = uint16_t(channels * bits / 8);
    wfx.nAvgBytesPerSec = rate * wfx.nBlockAlign;
    wfx.cbSize = 0;
    return wfx;
}

MMRESULT Store(const void *image, uint32_t size, WAVEFORMATEX *dst, uint32_t cbDst)
{
    const auto *wfx = static_cast<const WAVEFORMATEX *>(image);
    // A PCM destination may be the 16-byte form without cbSize.
    if (wfx->wFormatTag == WAVE_FORMAT_PCM && cbDst >= 16 && cbDst < size) {
        std::memcpy(dst, image, cbDst);
        return MMSYSERR_NOERROR;
    }
    if (cbDst < size)
        return ACMERR_NOTPOSSIBLE;
    std::memcpy(dst, image, size);
    return MMSYSERR_NOERROR;
}

bool FixedFieldsMatch(const WAVEFORMATEX &proposal, const WAVEFORMATEX &dst, uint32_t flags)
{
    if ((flags & ACM_FORMATSUGGESTF_WFORMATTAG) && proposal.wFormatTag != dst.wFormatTag)
        return false;
    if ((flags & ACM_FORMATSUGGESTF_NCHANNELS) && proposal.nChannels != dst.nChannels)
        return false;
    if ((flags & ACM_FORMATSUGGESTF_NSAMPLESPERSEC) && proposal.nSamplesPerSec != dst.nSamplesPerSec)
        return false;
    if ((flags & ACM_FORMATSUGGESTF_WBITSPERSAMPLE) && proposal.wBitsPerSample != dst.wBitsPerSample)
        return false;
    return true;
}

MMRESULT Propose(const void *image, uint32_t size, WAVEFORMATEX *dst, uint32_t cbDst, uint32_t flags)
{
    if (!FixedFieldsMatch(*static_cast<const WAVEFORMATEX *>(image), *dst, flags))
        return ACMERR_NOTPOSSIBLE;
    return Store(image, size, dst, cbDst);
}

bool PairsWithPcm16(const WAVEFORMATEX &src, const WAVEFORMATEX &dst, bool (*isCoded)(const WAVEFORMATEX &))
{
    const WAVEFORMATEX &pcm = isCoded(src) ? dst : src;
    const WAVEFORMATEX &coded = isCoded(src) ? src : dst;
    return isCoded(coded) && IsValidPcm16(pcm) && pcm.nSamplesPerSec == coded.nSamplesPerSec
        && pcm.nChannels == coded.nChannels;
}

QString RateText(uint32_t rate)
{
    QString digits = QString::number(rate);
    for (qsizetype i = digits.size() - 3; i > 0; i -= 3)
        digits.insert(i, QLatin1Char(' '));
    return digits + QStringLiteral(" Hz");
}

QString BitsText(uint16_t bits)
{
    // Czech counts: 1 bit, 2-4 bity, 5 and more bitů.
    if (bits == 1)
        return QStringLiteral("1 bit");
    if (bits >= 2 && bits <= 4)
        return QStringLiteral("%1 bity").arg(bits);
    return QStringLiteral("%1 bitů").arg(bits);
}

QString ChannelsText(uint16_t channels)
{
    if (channels == 1)
        return QStringLiteral("mono");
    if (channels == 2)
        return QStringLiteral("stereo");
    return QStringLiteral("%1 kanálů").arg(channels);
}

QString PcmLikeText(const WAVEFORMATEX &wfx)
{
    return RateText(wfx.nSamplesPerSec) + QStringLiteral(", ") + BitsText(wfx.wBitsPerSample) + QStringLiteral(", ")
         + ChannelsText(wfx.nChannels);
}

} // namespace acmfmt
