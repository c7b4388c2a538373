// MPEG Layer-3: encoding of 16-bit PCM at constant bit rate.
#include <lame/lame.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "acmdriver.h"
#include "mp3formats.h"

namespace mp3formats {

int MpegVersion(uint32_t rate)
{
    switch (rate) {
    case 32000: case 44100: case 48000: return 1;
    case 16000: case 22050: case 24000: return 2;
    case 8000: case 11025: case 12000: return 3; // MPEG 2.5
    default: return 0;
    }
}

QList<uint32_t> Rates()
{
    return {8000, 11025, 12000, 16000, 22050, 24000, 32000, 44100, 48000};
}

QList<uint32_t> BitRates(uint32_t rate)
{
    const int version = MpegVersion(rate);
    if (version == 1)
        return {32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320};
    if (version == 2 || version == 3)
        return {8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160};
    return {};
}

uint32_t SamplesPerFrame(uint32_t rate)
{
    return MpegVersion(rate) == 1 ? 1152 : 576;
}

namespace {
void Silent(const char *, va_list) {}

uint16_t EncoderDelay()
{
    static const uint16_t delay = [] {
        lame_global_flags *gfp = lame_init();
        if (!gfp)
            return uint16_t(0);
        lame_set_errorf(gfp, Silent);
        lame_set_msgf(gfp, Silent);
        lame_set_debugf(gfp, Silent);
        lame_set_num_channels(gfp, 1);
        lame_set_mode(gfp, MONO);
        lame_set_in_samplerate(gfp, 8000);
        lame_set_out_samplerate(gfp, 8000);
        lame_set_brate(gfp, 16);
        uint16_t result = 0;
        if (lame_init_params(gfp) >= 0)
            result = uint16_t(lame_get_encoder_delay(gfp));
        lame_close(gfp);
        return result;
    }();
    return delay;
}
} // namespace

MPEGLAYER3WAVEFORMAT Format(uint32_t rate, uint16_t channels, uint32_t kbps)
{
    MPEGLAYER3WAVEFORMAT f{};
    f.wfx.wFormatTag = WAVE_FORMAT_MPEGLAYER3;
    f.wfx.nChannels = channels;
    f.wfx.nSamplesPerSec = rate;
    f.wfx.nAvgBytesPerSec = kbps * 1000 / 8;
    f.wfx.nBlockAlign = 1;
    f.wfx.wBitsPerSample = 0;
    f.wfx.cbSize = MPEGLAYER3_WFX_EXTRA_BYTES;
    f.wID = MPEGLAYER3_ID_MPEG;
    f.fdwFlags = MPEGLAYER3_FLAG_PADDING_ISO;
    f.nBlockSize = uint16_t(SamplesPerFrame(rate) / 8 * kbps * 1000 / rate);
    f.nFramesPerBlock = 1;
    f.nCodecDelay = EncoderDelay();
    return f;
}

bool IsValid(const WAVEFORMATEX &wfx)
{
    return wfx.wFormatTag == WAVE_FORMAT_MPEGLAYER3 && (wfx.nChannels == 1 || wfx.nChannels == 2)
        && wfx.cbSize >= MPEGLAYER3_WFX_EXTRA_BYTES && wfx.nAvgBytesPerSec % 125 == 0
        && BitRates(wfx.nSamplesPerSec).contains(wfx.nAvgBytesPerSec / 125);
}

} // namespace mp3formats

namespace {

using namespace mp3formats;

class Mp3Codec final : public AcmCodec {
public:
    Mp3Codec(const WAVEFORMATEX &src, const WAVEFORMATEX &dst)
        : m_channels(src.nChannels), m_rate(src.nSamplesPerSec), m_kbps(dst.nAvgBytesPerSec / 125)
    {
        Create();
    }
    ~Mp3Codec() override
    {
        if (m_lame)
            lame_close(m_lame);
    }
    bool Valid() const { return m_lame != nullptr; }
    uint32_t SourceBlock() const override { return 2u * m_channels; }
    // The encoder's own bound for one call: 1.25 bytes per sample plus 7200,
    uint32_t DestinationSize(uint32_t cbSrc) const override
    {
        const uint64_t samples = cbSrc / SourceBlock();
        // plus two frames that may wait from the call before
        return samples == 0 ? 0 : uint32_t(std::min<uint64_t>(samples * 5 / 4 + 7200 + 2 * 1441, INT32_MAX));
    }
    uint32_t SourceSize(uint32_t cbDst) const override
    {
        const uint64_t frames = uint64_t(cbDst) * 8 * m_rate / (uint64_t(m_kbps) * 1000);
        return uint32_t(std::min<uint64_t>(frames * SourceBlock(), UINT32_MAX));
    }
    MMRESULT Convert(const uint8_t *src, uint32_t srcLength, uint8_t *dst, uint32_t dstLength, bool blockAlign,
                     bool end, uint32_t &srcUsed, uint32_t &dstUsed) override
    {
        srcUsed = 0;
        dstUsed = 0;
        const uint32_t samples = srcLength / SourceBlock();
        if (samples > 0) {
            m_pcm.resize(size_t(samples) * m_channels);
            std::memcpy(m_pcm.data(), src, m_pcm.size() * 2);
            m_encoded.resize(DestinationSize(samples * SourceBlock()));
            const int written = m_channels == 2
                ? lame_encode_buffer_interleaved(m_lame, m_pcm.data(), int(samples), m_encoded.data(), int(m_encoded.size()))
                : lame_encode_buffer(m_lame, m_pcm.data(), m_pcm.data(), int(samples), m_encoded.data(), int(m_encoded.size()));
            if (written < 0)
                return written == -2 ? MMSYSERR_NOMEM : MMSYSERR_ERROR;
            m_pending.insert(m_pending.end(), m_encoded.begin(), m_encoded.begin() + written);
            srcUsed = samples * SourceBlock();
        }
        if (!blockAlign)
            srcUsed = srcLength;
        if (end && srcUsed == srcLength) {
            m_encoded.resize(7200);
            const int flushed = lame_encode_flush(m_lame, m_encoded.data(), int(m_encoded.size()));
            if (flushed < 0)
                return MMSYSERR_ERROR;
            m_pending.insert(m_pending.end(), m_encoded.begin(), m_encoded.begin() + flushed);
        }
        dstUsed = TakeFrames(dst, dstLength, end);
        if (end && srcUsed == srcLength && m_pending.empty())
            Reset();
        return MMSYSERR_NOERROR;
    }
    void Reset() override
    {
        if (m_lame)
            lame_close(m_lame);
        m_pending.clear();
        Create();
    }

private:
    void Create()
    {
        m_lame = lame_init();
        if (!m_lame)
            return;
        lame_set_errorf(m_lame, Silent);
        lame_set_msgf(m_lame, Silent);
        lame_set_debugf(m_lame, Silent);
        lame_set_num_channels(m_lame, m_channels);
        lame_set_mode(m_lame, m_channels == 1 ? MONO : JOINT_STEREO);
        lame_set_in_samplerate(m_lame, int(m_rate));
        lame_set_out_samplerate(m_lame, int(m_rate));
        lame_set_VBR(m_lame, vbr_off);
        lame_set_brate(m_lame, int(m_kbps));
        lame_set_bWriteVbrTag(m_lame, 0);
        lame_set_quality(m_lame, kQuality);
        if (lame_init_params(m_lame) < 0) {
            lame_close(m_lame);
            m_lame = nullptr;
        }
    }
    // The encoder hands out a frame's bytes as they are ready; only whole frames leave
    // the stream, so that every output (and the file behind it) ends on a frame boundary.
    uint32_t TakeFrames(uint8_t *dst, uint32_t dstLength, bool all)
    {
        size_t pos = 0;
        while (pos + 4 <= m_pending.size()) {
            const size_t size = FrameSize(&m_pending[pos]);
            if (size == 0 || pos + size > m_pending.size() || pos + size > dstLength)
                break;
            pos += size;
        }
        if (all && m_pending.size() <= dstLength)
            pos = m_pending.size();
        std::memcpy(dst, m_pending.data(), pos);
        m_pending.erase(m_pending.begin(), m_pending.begin() + ptrdiff_t(pos));
        return uint32_t(pos);
    }
    size_t FrameSize(const uint8_t *h) const
    {
        if (h[0] != 0xFF || (h[1] & 0xE0) != 0xE0)
            return 0;
        const bool mpeg1 = ((h[1] >> 3) & 3) == 3;
        const uint32_t kbps = m_kbps; // constant bit rate: every frame has the configured rate
        const size_t padding = (h[2] >> 1) & 1;
        return (mpeg1 ? 144 : 72) * kbps * 1000 / m_rate + padding;
    }
    static void Silent(const char *, va_list) {}
    static constexpr int kQuality = 5;

    int m_channels;
    uint32_t m_rate;
    uint32_t m_kbps;
    lame_global_flags *m_lame = nullptr;
    std::vector<short> m_pcm;
    std::vector<uint8_t> m_encoded;
    std::vector<uint8_t> m_pending;
};

class Mp3Driver final : public AcmDriver {
public:
    QList<uint16_t> FormatTags() const override { return {WAVE_FORMAT_MPEGLAYER3}; }
    QString TagName(uint16_t) const override { return QStringLiteral("MPEG Layer-3"); }
    uint32_t FormatSize(uint16_t) const override { return sizeof(MPEGLAYER3WAVEFORMAT); }
    QList<QByteArray> Formats(uint16_t tag) const override
    {
        QList<QByteArray> list;
        if (tag != WAVE_FORMAT_MPEGLAYER3)
            return list;
        for (uint32_t rate : Rates())
            for (uint16_t channels : {1, 2})
                for (uint32_t kbps : BitRates(rate))
                    list.append(acmfmt::ImageBytes(Format(rate, channels, kbps)));
        return list;
    }
    QString FormatText(const WAVEFORMATEX &wfx) const override
    {
        if (!IsValid(wfx))
            return QString();
        return QStringLiteral("%1 kbit/s, ").arg(wfx.nAvgBytesPerSec / 125) + acmfmt::RateText(wfx.nSamplesPerSec)
             + QStringLiteral(", ") + acmfmt::ChannelsText(wfx.nChannels);
    }
    MMRESULT Suggest(const WAVEFORMATEX &src, WAVEFORMATEX *dst, uint32_t cbDst, uint32_t flags) const override
    {
        if (IsValid(src)) {
            // The PCM this encoder takes.
            const WAVEFORMATEX proposal = acmfmt::Pcm(src.nSamplesPerSec, 16, src.nChannels);
            if (!acmfmt::IsValidPcm(proposal))
                return ACMERR_NOTPOSSIBLE;
            return acmfmt::Propose(&proposal, sizeof(proposal), dst, cbDst, flags);
        }
        if (acmfmt::IsValidPcm16(src) && (flags & ACM_FORMATSUGGESTF_WFORMATTAG)
            && dst->wFormatTag == WAVE_FORMAT_MPEGLAYER3 && MpegVersion(src.nSamplesPerSec) != 0) {
            const int version = MpegVersion(src.nSamplesPerSec);
            const uint32_t perChannel = version == 1 ? 64 : (version == 2 ? 32 : 16);
            const MPEGLAYER3WAVEFORMAT proposal = Format(src.nSamplesPerSec, src.nChannels, perChannel * src.nChannels);
            return acmfmt::Propose(&proposal, sizeof(proposal), dst, cbDst, flags);
        }
        return ACMERR_NOTPOSSIBLE;
    }
    bool CanConvert(const WAVEFORMATEX &src, const WAVEFORMATEX &dst, bool) const override
    {
        return acmfmt::IsValidPcm16(src) && IsValid(dst) && src.nSamplesPerSec == dst.nSamplesPerSec
            && src.nChannels == dst.nChannels;
    }
    std::unique_ptr<AcmCodec> Open(const WAVEFORMATEX &src, const WAVEFORMATEX &dst, MMRESULT &result) const override
    {
        return acmfmt::Opened(std::make_unique<Mp3Codec>(src, dst), ACMERR_NOTPOSSIBLE, result);
    }
};

} // namespace

std::unique_ptr<AcmDriver> CreateMp3Driver()
{
    return std::make_unique<Mp3Driver>();
}
