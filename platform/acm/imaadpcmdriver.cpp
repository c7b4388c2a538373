// IMA ADPCM: 4-bit adaptive differential samples to and from 16-bit PCM.
#include <algorithm>
#include <cstring>
#include <vector>

#include "acmdriver.h"
#include "imaadpcm.h"

namespace imaadpcm {

namespace {
const int kIndexTable[16] = {-1, -1, -1, -1, 2, 4, 6, 8, -1, -1, -1, -1, 2, 4, 6, 8};
const int kStepTable[89] = {
    7,     8,     9,     10,    11,    12,    13,    14,    16,    17,    19,    21,    23,    25,    28,
    31,    34,    37,    41,    45,    50,    55,    60,    66,    73,    80,    88,    97,    107,   118,
    130,   143,   157,   173,   190,   209,   230,   253,   279,   307,   337,   371,   408,   449,   494,
    544,   598,   658,   724,   796,   876,   963,   1060,  1166,  1282,  1411,  1552,  1707,  1878,  2066,
    2272,  2499,  2749,  3024,  3327,  3660,  4026,  4428,  4871,  5358,  5894,  6484,  7132,  7845,  8630,
    9493,  10442, 11487, 12635, 13899, 15289, 16818, 18500, 20350, 22385, 24623, 27086, 29794, 32767};

inline int Clamp16(int v)
{
    return v < -32768 ? -32768 : (v > 32767 ? 32767 : v);
}

inline int EncodeNibble(ChannelState &s, int sample)
{
    int step = kStepTable[s.index];
    int diff = sample - s.predictor;
    int code = 0;
    if (diff < 0) {
        code = 8;
        diff = -diff;
    }
    int delta = step >> 3;
    if (diff >= step) {
        code |= 4;
        diff -= step;
        delta += step;
    }
    step >>= 1;
    if (diff >= step) {
        code |= 2;
        diff -= step;
        delta += step;
    }
    step >>= 1;
    if (diff >= step) {
        code |= 1;
        delta += step;
    }
    s.predictor = Clamp16((code & 8) ? s.predictor - delta : s.predictor + delta);
    s.index = std::clamp(s.index + kIndexTable[code], 0, 88);
    return code;
}

inline int DecodeNibble(ChannelState &s, int code)
{
    const int step = kStepTable[s.index];
    int delta = step >> 3;
    if (code & 4)
        delta += step;
    if (code & 2)
        delta += step >> 1;
    if (code & 1)
        delta += step >> 2;
    s.predictor = Clamp16((code & 8) ? s.predictor - delta : s.predictor + delta);
    s.index = std::clamp(s.index + kIndexTable[code], 0, 88);
    return s.predictor;
}
} // namespace

int SamplesPerBlock(int blockAlign, int channels)
{
    return (blockAlign - 4 * channels) * 2 / channels + 1;
}

void EncodeBlock(const int16_t *pcm, int channels, int samplesPerBlock, ChannelState *state, uint8_t *block)
{
    for (int c = 0; c < channels; ++c) {
        const int16_t first = pcm[c];
        state[c].predictor = first;
        std::memcpy(block + 4 * c, &first, 2);
        block[4 * c + 2] = uint8_t(state[c].index);
        block[4 * c + 3] = 0;
    }
    uint8_t *out = block + 4 * channels;
    const int groups = (samplesPerBlock - 1) / 8;
    for (int g = 0; g < groups; ++g) {
        const int16_t *frames = pcm + size_t(1 + g * 8) * channels;
        for (int c = 0; c < channels; ++c) {
            for (int k = 0; k < 8; k += 2) {
                const int lo = EncodeNibble(state[c], frames[k * channels + c]);
                const int hi = EncodeNibble(state[c], frames[(k + 1) * channels + c]);
                *out++ = uint8_t(lo | (hi << 4));
            }
        }
    }
}

void DecodeBlock(const uint8_t *block, int channels, int samplesPerBlock, int16_t *pcm)
{
    ChannelState state[2];
    for (int c = 0; c < channels; ++c) {
        int16_t first;
        std::memcpy(&first, block + 4 * c, 2);
        state[c].predictor = first;
        state[c].index = std::min<int>(block[4 * c + 2], 88); // a damaged header must not index past the table
        pcm[c] = first;
    }
    const uint8_t *in = block + 4 * channels;
    const int groups = (samplesPerBlock - 1) / 8;
    for (int g = 0; g < groups; ++g) {
        int16_t *frames = pcm + size_t(1 + g * 8) * channels;
        for (int c = 0; c < channels; ++c) {
            for (int k = 0; k < 8; k += 2) {
                const uint8_t byte = *in++;
                frames[k * channels + c] = int16_t(DecodeNibble(state[c], byte & 0x0F));
                frames[(k + 1) * channels + c] = int16_t(DecodeNibble(state[c], byte >> 4));
            }
        }
    }
}

} // namespace imaadpcm

namespace {

IMAADPCMWAVEFORMAT ImaFormat(uint32_t rate, uint16_t channels)
{
    IMAADPCMWAVEFORMAT f{};
    const uint16_t blockAlign = uint16_t(256 * channels * std::max<uint32_t>(1, rate / 11025));
    const int spb = imaadpcm::SamplesPerBlock(blockAlign, channels);
    f.wfx.wFormatTag = WAVE_FORMAT_IMA_ADPCM;
    f.wfx.nChannels = channels;
    f.wfx.nSamplesPerSec = rate;
    f.wfx.nBlockAlign = blockAlign;
    f.wfx.nAvgBytesPerSec = uint32_t((uint64_t(rate) * blockAlign + spb / 2) / spb);
    f.wfx.wBitsPerSample = 4;
    f.wfx.cbSize = 2;
    f.wSamplesPerBlock = uint16_t(spb);
    return f;
}

int SamplesPerBlockOf(const WAVEFORMATEX &wfx)
{
    uint16_t spb;
    std::memcpy(&spb, reinterpret_cast<const uint8_t *>(&wfx) + sizeof(WAVEFORMATEX), 2);
    return spb;
}

bool IsValidIma(const WAVEFORMATEX &wfx)
{
    if (wfx.wFormatTag != WAVE_FORMAT_IMA_ADPCM || (wfx.nChannels != 1 && wfx.nChannels != 2)
        || wfx.wBitsPerSample != 4 || wfx.nSamplesPerSec < acmfmt::kMinRate || wfx.nSamplesPerSec > acmfmt::kMaxRate
        || wfx.cbSize < 2)
        return false;
    const int header = 4 * wfx.nChannels;
    return wfx.nBlockAlign > header && wfx.nBlockAlign % header == 0
        && SamplesPerBlockOf(wfx) == imaadpcm::SamplesPerBlock(wfx.nBlockAlign, wfx.nChannels);
}

class ImaCodec final : public BlockCodec {
public:
    ImaCodec(const WAVEFORMATEX &src, const WAVEFORMATEX &dst)
        : ImaCodec(acmfmt::IsPcm(src), acmfmt::IsPcm(src) ? dst : src)
    {
    }
    void Reset() override
    {
        for (auto &s : m_state)
            s = {};
    }

private:
    ImaCodec(bool encode, const WAVEFORMATEX &ima)
        : BlockCodec(encode, uint32_t(SamplesPerBlockOf(ima)) * 2 * ima.nChannels, ima.nBlockAlign,
                     2u * ima.nChannels),
          m_channels(ima.nChannels), m_spb(SamplesPerBlockOf(ima)), m_pcmBlock(uint32_t(m_spb) * 2 * m_channels),
          m_frames(size_t(m_spb) * m_channels)
    {
    }
    void ConvertBlock(const uint8_t *in, uint8_t *out) override
    {
        if (Encoding()) {
            std::memcpy(m_frames.data(), in, m_pcmBlock);
            imaadpcm::EncodeBlock(m_frames.data(), m_channels, m_spb, m_state, out);
        } else {
            imaadpcm::DecodeBlock(in, m_channels, m_spb, m_frames.data());
            std::memcpy(out, m_frames.data(), m_pcmBlock);
        }
    }

    int m_channels;
    int m_spb;
    uint32_t m_pcmBlock;
    imaadpcm::ChannelState m_state[2];
    std::vector<int16_t> m_frames;
};

class ImaDriver final : public AcmDriver {
public:
    QList<uint16_t> FormatTags() const override { return {WAVE_FORMAT_IMA_ADPCM}; }
    QString TagName(uint16_t) const override { return QStringLiteral("IMA ADPCM"); }
    uint32_t FormatSize(uint16_t) const override { return sizeof(IMAADPCMWAVEFORMAT); }
    QList<QByteArray> Formats(uint16_t tag) const override
    {
        QList<QByteArray> list;
        if (tag != WAVE_FORMAT_IMA_ADPCM)
            return list;
        for (uint32_t rate : acmfmt::kStandardRates)
            for (uint16_t channels : {1, 2})
                list.append(acmfmt::ImageBytes(ImaFormat(rate, channels)));
        return list;
    }
    QString FormatText(const WAVEFORMATEX &wfx) const override
    {
        return IsValidIma(wfx) ? acmfmt::PcmLikeText(wfx) : QString();
    }
    MMRESULT Suggest(const WAVEFORMATEX &src, WAVEFORMATEX *dst, uint32_t cbDst, uint32_t flags) const override
    {
        if (IsValidIma(src)) {
            const WAVEFORMATEX proposal = acmfmt::Pcm(src.nSamplesPerSec, 16, src.nChannels);
            return acmfmt::Propose(&proposal, sizeof(proposal), dst, cbDst, flags);
        }
        if (acmfmt::IsValidPcm16(src) && (flags & ACM_FORMATSUGGESTF_WFORMATTAG)
            && dst->wFormatTag == WAVE_FORMAT_IMA_ADPCM) {
            const IMAADPCMWAVEFORMAT proposal = ImaFormat(src.nSamplesPerSec, src.nChannels);
            return acmfmt::Propose(&proposal, sizeof(proposal), dst, cbDst, flags);
        }
        return ACMERR_NOTPOSSIBLE;
    }
    bool CanConvert(const WAVEFORMATEX &src, const WAVEFORMATEX &dst, bool) const override
    {
        return acmfmt::PairsWithPcm16(src, dst, IsValidIma);
    }
    std::unique_ptr<AcmCodec> Open(const WAVEFORMATEX &src, const WAVEFORMATEX &dst, MMRESULT &result) const override
    {
        result = MMSYSERR_NOERROR;
        return std::make_unique<ImaCodec>(src, dst);
    }
};

} // namespace

std::unique_ptr<AcmDriver> CreateImaAdpcmDriver()
{
    return std::make_unique<ImaDriver>();
}
