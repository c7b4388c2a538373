// GSM 06.10 full rate in the WAVE framing: two 160-sample frames packed into 65 bytes.
#include <gsm.h>

#include <algorithm>
#include <cstring>

#include "acmdriver.h"

namespace {

constexpr uint32_t kRate = 8000;
constexpr uint32_t kPcmBlock = GSM610_SAMPLES_PER_BLOCK * 2;

GSM610WAVEFORMAT GsmFormat()
{
    GSM610WAVEFORMAT f{};
    f.wfx.wFormatTag = WAVE_FORMAT_GSM610;
    f.wfx.nChannels = 1;
    f.wfx.nSamplesPerSec = kRate;
    f.wfx.nAvgBytesPerSec = kRate * GSM610_BLOCK_ALIGN / GSM610_SAMPLES_PER_BLOCK; // 1625
    f.wfx.nBlockAlign = GSM610_BLOCK_ALIGN;
    f.wfx.wBitsPerSample = 0;
    f.wfx.cbSize = 2;
    f.wSamplesPerBlock = GSM610_SAMPLES_PER_BLOCK;
    return f;
}

bool IsValidGsm(const WAVEFORMATEX &wfx)
{
    if (wfx.wFormatTag != WAVE_FORMAT_GSM610 || wfx.nChannels != 1 || wfx.nSamplesPerSec != kRate
        || wfx.nBlockAlign != GSM610_BLOCK_ALIGN || wfx.cbSize < 2)
        return false;
    uint16_t spb;
    std::memcpy(&spb, reinterpret_cast<const uint8_t *>(&wfx) + sizeof(WAVEFORMATEX), 2);
    return spb == GSM610_SAMPLES_PER_BLOCK;
}

bool IsGsmPcm(const WAVEFORMATEX &wfx)
{
    return acmfmt::IsValidPcm16(wfx) && wfx.nChannels == 1 && wfx.nSamplesPerSec == kRate;
}

class GsmCodec final : public BlockCodec {
public:
    explicit GsmCodec(bool encode) : BlockCodec(encode, kPcmBlock, GSM610_BLOCK_ALIGN, 2) { Create(); }
    ~GsmCodec() override
    {
        if (m_gsm)
            gsm_destroy(m_gsm);
    }
    bool Valid() const { return m_gsm != nullptr; }

    void Reset() override
    {
        if (m_gsm)
            gsm_destroy(m_gsm);
        Create();
    }

private:
    void Create()
    {
        m_gsm = gsm_create();
        if (m_gsm) {
            int wav49 = 1;
            gsm_option(m_gsm, GSM_OPT_WAV49, &wav49);
        }
    }
    void ConvertBlock(const uint8_t *in, uint8_t *out) override
    {
        gsm_signal samples[GSM610_SAMPLES_PER_BLOCK];
        gsm_byte frame[GSM610_BLOCK_ALIGN];
        if (Encoding()) {
            // The first frame of a pair takes 32 bytes, the second 33.
            std::memcpy(samples, in, kPcmBlock);
            gsm_encode(m_gsm, samples, frame);
            gsm_encode(m_gsm, samples + 160, frame + 32);
            std::memcpy(out, frame, GSM610_BLOCK_ALIGN);
        } else {
            // Decoding reads 33 bytes, then 32.
            std::memcpy(frame, in, GSM610_BLOCK_ALIGN);
            if (gsm_decode(m_gsm, frame, samples) < 0 || gsm_decode(m_gsm, frame + 33, samples + 160) < 0)
                std::fill(std::begin(samples), std::end(samples), gsm_signal(0));
            std::memcpy(out, samples, kPcmBlock);
        }
    }

    gsm m_gsm = nullptr;
};

class GsmDriver final : public AcmDriver {
public:
    QList<uint16_t> FormatTags() const override { return {WAVE_FORMAT_GSM610}; }
    QString TagName(uint16_t) const override { return QStringLiteral("GSM 6.10"); }
    uint32_t FormatSize(uint16_t) const override { return sizeof(GSM610WAVEFORMAT); }
    QList<QByteArray> Formats(uint16_t tag) const override
    {
        if (tag != WAVE_FORMAT_GSM610)
            return {};
        return {acmfmt::ImageBytes(GsmFormat())};
    }
    QString FormatText(const WAVEFORMATEX &wfx) const override
    {
        return IsValidGsm(wfx) ? acmfmt::RateText(wfx.nSamplesPerSec) + QStringLiteral(", ")
                                     + acmfmt::ChannelsText(wfx.nChannels)
                               : QString();
    }
    MMRESULT Suggest(const WAVEFORMATEX &src, WAVEFORMATEX *dst, uint32_t cbDst, uint32_t flags) const override
    {
        if (IsValidGsm(src)) {
            const WAVEFORMATEX proposal = acmfmt::Pcm(kRate, 16, 1);
            return acmfmt::Propose(&proposal, sizeof(proposal), dst, cbDst, flags);
        }
        if (IsGsmPcm(src) && (flags & ACM_FORMATSUGGESTF_WFORMATTAG) && dst->wFormatTag == WAVE_FORMAT_GSM610) {
            const GSM610WAVEFORMAT proposal = GsmFormat();
            return acmfmt::Propose(&proposal, sizeof(proposal), dst, cbDst, flags);
        }
        return ACMERR_NOTPOSSIBLE;
    }
    bool CanConvert(const WAVEFORMATEX &src, const WAVEFORMATEX &dst, bool) const override
    {
        return (IsGsmPcm(src) && IsValidGsm(dst)) || (IsValidGsm(src) && IsGsmPcm(dst));
    }
    std::unique_ptr<AcmCodec> Open(const WAVEFORMATEX &src, const WAVEFORMATEX &, MMRESULT &result) const override
    {
        return acmfmt::Opened(std::make_unique<GsmCodec>(acmfmt::IsPcm(src)), MMSYSERR_NOMEM, result);
    }
};

} // namespace

std::unique_ptr<AcmDriver> CreateGsmDriver()
{
    return std::make_unique<GsmDriver>();
}
