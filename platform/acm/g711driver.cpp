// CCITT G.711 A-law and u-law: 8-bit logarithmic samples to and from 16-bit PCM.
#include <algorithm>
#include <array>
#include <cstring>

#include "acmdriver.h"
#include "g711.h"

namespace g711 {

namespace {
int Segment(int value, const int *ends)
{
    for (int i = 0; i < 8; ++i)
        if (value <= ends[i])
            return i;
    return 8;
}
const int kAlawEnds[8] = {0x1F, 0x3F, 0x7F, 0xFF, 0x1FF, 0x3FF, 0x7FF, 0xFFF};
const int kUlawEnds[8] = {0x3F, 0x7F, 0xFF, 0x1FF, 0x3FF, 0x7FF, 0xFFF, 0x1FFF};
} // namespace

uint8_t LinearToAlaw(int16_t sample)
{
    int value = sample >> 3; // 13 significant bits
    int mask;
    if (value >= 0) {
        mask = 0xD5;
    } else {
        mask = 0x55;
        value = -value - 1;
    }
    const int seg = Segment(value, kAlawEnds);
    if (seg >= 8)
        return uint8_t(0x7F ^ mask);
    int code = seg << 4;
    code |= seg < 2 ? (value >> 1) & 0x0F : (value >> seg) & 0x0F;
    return uint8_t(code ^ mask);
}

int16_t AlawToLinear(uint8_t code)
{
    code ^= 0x55;
    int t = (code & 0x0F) << 4;
    const int seg = (code & 0x70) >> 4;
    if (seg == 0)
        t += 8;
    else if (seg == 1)
        t += 0x108;
    else
        t = (t + 0x108) << (seg - 1);
    return int16_t((code & 0x80) ? t : -t);
}

uint8_t LinearToUlaw(int16_t sample)
{
    int value = sample >> 2; // 14 significant bits
    int mask;
    if (value < 0) {
        value = -value;
        mask = 0x7F;
    } else {
        mask = 0xFF;
    }
    if (value > 8159)
        value = 8159;
    value += 0x21;
    const int seg = Segment(value, kUlawEnds);
    if (seg >= 8)
        return uint8_t(0x7F ^ mask);
    return uint8_t(((seg << 4) | ((value >> (seg + 1)) & 0x0F)) ^ mask);
}

int16_t UlawToLinear(uint8_t code)
{
    code = uint8_t(~code);
    int t = ((code & 0x0F) << 3) + 0x84;
    t <<= (code & 0x70) >> 4;
    return int16_t((code & 0x80) ? (0x84 - t) : (t - 0x84));
}

} // namespace g711

namespace {

// Both directions go through tables indexed by the significant bits of the sample.
struct Tables {
    std::array<int16_t, 256> alawDecode;
    std::array<int16_t, 256> ulawDecode;
    std::array<uint8_t, 8192> alawEncode;  // by sample >> 3
    std::array<uint8_t, 16384> ulawEncode; // by sample >> 2
    Tables()
    {
        for (int i = 0; i < 256; ++i) {
            alawDecode[size_t(i)] = g711::AlawToLinear(uint8_t(i));
            ulawDecode[size_t(i)] = g711::UlawToLinear(uint8_t(i));
        }
        for (int i = 0; i < 8192; ++i)
            alawEncode[size_t(i)] = g711::LinearToAlaw(int16_t((i - 4096) * 8));
        for (int i = 0; i < 16384; ++i)
            ulawEncode[size_t(i)] = g711::LinearToUlaw(int16_t((i - 8192) * 4));
    }
};
const Tables &G711Tables()
{
    static const Tables tables;
    return tables;
}

class G711Codec final : public AcmCodec {
public:
    G711Codec(const WAVEFORMATEX &src, const WAVEFORMATEX &dst)
        : m_encode(acmfmt::IsPcm(src)), m_law(m_encode ? dst.wFormatTag : src.wFormatTag), m_channels(src.nChannels)
    {
    }
    uint32_t SourceBlock() const override { return m_encode ? 2u * m_channels : m_channels; }
    uint32_t DestinationSize(uint32_t cbSrc) const override
    {
        const uint32_t frames = cbSrc / SourceBlock();
        return m_encode ? frames * m_channels : frames * 2u * m_channels;
    }
    uint32_t SourceSize(uint32_t cbDst) const override
    {
        const uint32_t frameOut = m_encode ? m_channels : 2u * m_channels;
        return cbDst / frameOut * SourceBlock();
    }
    MMRESULT Convert(const uint8_t *src, uint32_t srcLength, uint8_t *dst, uint32_t dstLength, bool blockAlign, bool,
                     uint32_t &srcUsed, uint32_t &dstUsed) override
    {
        const Tables &t = G711Tables();
        const uint32_t frames = std::min(srcLength / SourceBlock(), SourceSize(dstLength) / SourceBlock());
        const size_t samples = size_t(frames) * m_channels;
        if (m_encode) {
            const uint8_t *table = m_law == WAVE_FORMAT_ALAW ? t.alawEncode.data() : t.ulawEncode.data();
            const int shift = m_law == WAVE_FORMAT_ALAW ? 3 : 2;
            const int offset = m_law == WAVE_FORMAT_ALAW ? 4096 : 8192;
            for (size_t i = 0; i < samples; ++i) {
                int16_t s;
                std::memcpy(&s, src + 2 * i, 2);
                dst[i] = table[(s >> shift) + offset];
            }
            dstUsed = uint32_t(samples);
        } else {
            const int16_t *table = m_law == WAVE_FORMAT_ALAW ? t.alawDecode.data() : t.ulawDecode.data();
            for (size_t i = 0; i < samples; ++i) {
                const int16_t s = table[src[i]];
                std::memcpy(dst + 2 * i, &s, 2);
            }
            dstUsed = uint32_t(samples * 2);
        }
        srcUsed = frames * SourceBlock();
        if (!blockAlign && frames == srcLength / SourceBlock())
            srcUsed = srcLength; // a trailing partial frame is dropped
        return MMSYSERR_NOERROR;
    }
    void Reset() override {}

private:
    bool m_encode;
    uint16_t m_law;
    uint16_t m_channels;
};

bool IsLaw(uint16_t tag)
{
    return tag == WAVE_FORMAT_ALAW || tag == WAVE_FORMAT_MULAW;
}

WAVEFORMATEX LawFormat(uint16_t tag, uint32_t rate, uint16_t channels)
{
    WAVEFORMATEX wfx{};
    wfx.wFormatTag = tag;
    wfx.nChannels = channels;
    wfx.nSamplesPerSec = rate;
    wfx.nBlockAlign = channels;
    wfx.nAvgBytesPerSec = rate * channels;
    wfx.wBitsPerSample = 8;
    wfx.cbSize = 0;
    return wfx;
}

bool IsValidLaw(const WAVEFORMATEX &wfx)
{
    return IsLaw(wfx.wFormatTag) && (wfx.nChannels == 1 || wfx.nChannels == 2) && wfx.wBitsPerSample == 8
        && wfx.nSamplesPerSec >= acmfmt::kMinRate && wfx.nSamplesPerSec <= acmfmt::kMaxRate
        && wfx.nBlockAlign == wfx.nChannels && wfx.nAvgBytesPerSec == wfx.nSamplesPerSec * wfx.nChannels;
}

class G711Driver final : public AcmDriver {
public:
    QList<uint16_t> FormatTags() const override { return {WAVE_FORMAT_ALAW, WAVE_FORMAT_MULAW}; }
    QString TagName(uint16_t tag) const override
    {
        return tag == WAVE_FORMAT_ALAW ? QStringLiteral("CCITT A-Law") : QStringLiteral("CCITT u-Law");
    }
    uint32_t FormatSize(uint16_t) const override { return sizeof(WAVEFORMATEX); }
    QList<QByteArray> Formats(uint16_t tag) const override
    {
        QList<QByteArray> list;
        if (!IsLaw(tag))
            return list;
        for (uint32_t rate : acmfmt::kStandardRates)
            for (uint16_t channels : {1, 2})
                list.append(acmfmt::ImageBytes(LawFormat(tag, rate, channels)));
        return list;
    }
    QString FormatText(const WAVEFORMATEX &wfx) const override
    {
        return IsValidLaw(wfx) ? acmfmt::PcmLikeText(wfx) : QString();
    }
    MMRESULT Suggest(const WAVEFORMATEX &src, WAVEFORMATEX *dst, uint32_t cbDst, uint32_t flags) const override
    {
        WAVEFORMATEX proposal;
        if (IsValidLaw(src))
            proposal = acmfmt::Pcm(src.nSamplesPerSec, 16, src.nChannels);
        else if (acmfmt::IsValidPcm16(src) && (flags & ACM_FORMATSUGGESTF_WFORMATTAG) && IsLaw(dst->wFormatTag))
            proposal = LawFormat(dst->wFormatTag, src.nSamplesPerSec, src.nChannels);
        else
            return ACMERR_NOTPOSSIBLE;
        return acmfmt::Propose(&proposal, sizeof(proposal), dst, cbDst, flags);
    }
    bool CanConvert(const WAVEFORMATEX &src, const WAVEFORMATEX &dst, bool) const override
    {
        return acmfmt::PairsWithPcm16(src, dst, IsValidLaw);
    }
    std::unique_ptr<AcmCodec> Open(const WAVEFORMATEX &src, const WAVEFORMATEX &dst, MMRESULT &result) const override
    {
        result = MMSYSERR_NOERROR;
        return std::make_unique<G711Codec>(src, dst);
    }
};

} // namespace

std::unique_ptr<AcmDriver> CreateG711Driver()
{
    return std::make_unique<G711Driver>();
}
