// PCM converter: channels, sample size and rate in one stream.
#include <soxr.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <vector>

#include "acmdriver.h"

static_assert(std::endian::native == std::endian::little, "sample bytes are read in host order");

namespace {

// Frames converted per round; keeps the scratch buffers in the cache.
constexpr uint32_t kChunkFrames = 2048;

// The rate converter: 20-bit precision, linear phase, 95 % of the narrower band kept flat.
// Channels are reduced before it and widened after it, so it never works on more than needed.
// No dither: the same input always gives the same samples (the level meter relies on it).
soxr_t CreateResampler(uint32_t srcRate, uint32_t dstRate, unsigned channels)
{
    soxr_io_spec_t io = soxr_io_spec(SOXR_INT16_I, SOXR_INT16_I);
    io.flags |= SOXR_NO_DITHER;
    soxr_quality_spec_t quality = soxr_quality_spec(SOXR_HQ, SOXR_LINEAR_PHASE);
    quality.passband_end = 0.95;
    // One thread: all audio work runs on the main thread.
    const soxr_runtime_spec_t runtime = soxr_runtime_spec(1);
    soxr_error_t error = nullptr;
    soxr_t resampler = soxr_create(srcRate, dstRate, channels, &error, &io, &quality, &runtime);
    if (error && resampler) {
        soxr_delete(resampler);
        resampler = nullptr;
    }
    return resampler;
}

class PcmCodec final : public AcmCodec {
public:
    PcmCodec(const WAVEFORMATEX &src, const WAVEFORMATEX &dst) : m_src(src), m_dst(dst)
    {
        m_workChannels = std::min(src.nChannels, dst.nChannels);
        if (src.nSamplesPerSec != dst.nSamplesPerSec) {
            m_resampler = CreateResampler(src.nSamplesPerSec, dst.nSamplesPerSec, m_workChannels);
            // The converter works in blocks and holds back up to a quarter of a second of
            // input; the end of a stream brings it all out in one piece, which must fit.
            if (m_resampler)
                m_heldBack = dst.nSamplesPerSec / 2 + uint32_t(std::ceil(soxr_delay(m_resampler))) + 64;
        }
        m_in.resize(size_t(kChunkFrames) * 2);
        m_out.resize((size_t(kChunkFrames) * dst.nSamplesPerSec / src.nSamplesPerSec + 8) * 2);
    }
    ~PcmCodec() override
    {
        if (m_resampler)
            soxr_delete(m_resampler);
    }
    bool Valid() const { return m_src.nSamplesPerSec == m_dst.nSamplesPerSec || m_resampler; }

    uint32_t SourceBlock() const override { return m_src.nBlockAlign; }

    uint32_t DestinationSize(uint32_t cbSrc) const override
    {
        const uint64_t frames = cbSrc / m_src.nBlockAlign;
        if (frames == 0)
            return 0;
        uint64_t out = frames;
        if (m_resampler)
            out = frames * m_dst.nSamplesPerSec / m_src.nSamplesPerSec + 2 + m_heldBack;
        return uint32_t(std::min<uint64_t>(out * m_dst.nBlockAlign, UINT32_MAX));
    }

    uint32_t SourceSize(uint32_t cbDst) const override
    {
        const uint64_t frames = cbDst / m_dst.nBlockAlign;
        if (frames == 0)
            return 0;
        uint64_t in = frames;
        if (m_resampler)
            in = std::max<uint64_t>(1, frames * m_src.nSamplesPerSec / m_dst.nSamplesPerSec);
        return uint32_t(std::min<uint64_t>(in * m_src.nBlockAlign, UINT32_MAX));
    }

    MMRESULT Convert(const uint8_t *src, uint32_t srcLength, uint8_t *dst, uint32_t dstLength, bool blockAlign,
                     bool end, uint32_t &srcUsed, uint32_t &dstUsed) override
    {
        const uint32_t srcFrame = m_src.nBlockAlign;
        const uint32_t dstFrame = m_dst.nBlockAlign;
        const uint32_t frames = srcLength / srcFrame;
        const uint32_t outCapacity = dstLength / dstFrame;
        uint32_t used = 0;
        uint32_t produced = 0;
        while (used < frames && produced < outCapacity) {
            uint32_t n = std::min(frames - used, kChunkFrames);
            if (!m_resampler)
                n = std::min(n, outCapacity - produced);
            ReadFrames(src + size_t(used) * srcFrame, n);
            Remix(n);
            uint32_t consumed = n;
            uint32_t made = n;
            const int16_t *result = m_in.data();
            if (m_resampler) {
                if (m_draining) // input after the end of a stream starts a new one
                    Restart();
                size_t inDone = 0;
                size_t outDone = 0;
                const size_t outRoom = std::min<size_t>(m_out.size() / m_workChannels, outCapacity - produced);
                if (soxr_process(m_resampler, m_in.data(), n, &inDone, m_out.data(), outRoom, &outDone))
                    return MMSYSERR_ERROR;
                consumed = uint32_t(inDone);
                made = uint32_t(outDone);
                result = m_out.data();
                if (consumed == 0 && made == 0)
                    break;
            }
            WriteFrames(result, made, dst + size_t(produced) * dstFrame);
            used += consumed;
            produced += made;
        }
        // At the end of the stream the converter gives up the samples its filter still holds.
        if (end && m_resampler && used == frames) {
            m_draining = true;
            while (produced < outCapacity) {
                size_t outDone = 0;
                const size_t outRoom = std::min<size_t>(m_out.size() / m_workChannels, outCapacity - produced);
                if (soxr_process(m_resampler, nullptr, 0, nullptr, m_out.data(), outRoom, &outDone))
                    return MMSYSERR_ERROR;
                if (outDone == 0) {
                    Restart(); // drained: the next input is a new stream
                    break;
                }
                WriteFrames(m_out.data(), uint32_t(outDone), dst + size_t(produced) * dstFrame);
                produced += uint32_t(outDone);
            }
        }
        srcUsed = used * srcFrame;
        // Without block alignment a trailing partial frame is taken and dropped.
        if (!blockAlign && used == frames)
            srcUsed = srcLength;
        dstUsed = produced * dstFrame;
        return MMSYSERR_NOERROR;
    }

    void Reset() override
    {
        if (m_resampler)
            Restart();
    }

private:
    // Source frames into 16-bit samples at the source's channel count.
    void ReadFrames(const uint8_t *src, uint32_t frames)
    {
        const size_t samples = size_t(frames) * m_src.nChannels;
        int16_t *out = m_in.data();
        if (m_src.wBitsPerSample == 16) {
            std::memcpy(out, src, samples * 2);
        } else {
            for (size_t i = 0; i < samples; ++i)
                out[i] = int16_t((int(src[i]) - 128) * 256);
        }
    }

    // Down to mono in place when the destination has fewer channels.
    void Remix(uint32_t frames)
    {
        if (m_src.nChannels == 2 && m_workChannels == 1) {
            int16_t *s = m_in.data();
            for (uint32_t i = 0; i < frames; ++i)
                s[i] = int16_t((int(s[2 * i]) + int(s[2 * i + 1])) >> 1);
        }
    }

    void WriteFrames(const int16_t *samples, uint32_t frames, uint8_t *dst)
    {
        const bool widen = m_dst.nChannels == 2 && m_workChannels == 1;
        if (m_dst.wBitsPerSample == 16) {
            if (!widen) {
                std::memcpy(dst, samples, size_t(frames) * m_dst.nChannels * 2);
                return;
            }
            auto *out = reinterpret_cast<int16_t *>(dst);
            int16_t pair[2];
            for (uint32_t i = 0; i < frames; ++i) {
                pair[0] = pair[1] = samples[i];
                std::memcpy(out + 2 * size_t(i), pair, sizeof(pair));
            }
            return;
        }
        auto to8 = [](int16_t s) { return uint8_t(std::min((int(s) + 128) >> 8, 127) + 128); };
        if (!widen) {
            const size_t n = size_t(frames) * m_dst.nChannels;
            for (size_t i = 0; i < n; ++i)
                dst[i] = to8(samples[i]);
        } else {
            for (uint32_t i = 0; i < frames; ++i)
                dst[2 * size_t(i)] = dst[2 * size_t(i) + 1] = to8(samples[i]);
        }
    }

    WAVEFORMATEX m_src;
    WAVEFORMATEX m_dst;
    void Restart()
    {
        soxr_clear(m_resampler);
        m_draining = false;
    }

    uint16_t m_workChannels;
    soxr_t m_resampler = nullptr;
    uint32_t m_heldBack = 0;
    bool m_draining = false;
    std::vector<int16_t> m_in;
    std::vector<int16_t> m_out;
};

class PcmDriver final : public AcmDriver {
public:
    QList<uint16_t> FormatTags() const override { return {WAVE_FORMAT_PCM}; }
    QString TagName(uint16_t) const override { return QStringLiteral("PCM"); }
    uint32_t FormatSize(uint16_t) const override { return sizeof(WAVEFORMATEX); }

    QList<QByteArray> Formats(uint16_t tag) const override
    {
        QList<QByteArray> list;
        if (tag != WAVE_FORMAT_PCM)
            return list;
        for (uint32_t rate : acmfmt::kStandardRates)
            for (uint16_t bits : {8, 16})
                for (uint16_t channels : {1, 2})
                    list.append(acmfmt::ImageBytes(acmfmt::Pcm(rate, bits, channels)));
        return list;
    }

    QString FormatText(const WAVEFORMATEX &wfx) const override
    {
        return acmfmt::IsValidPcm(wfx) ? acmfmt::PcmLikeText(wfx) : QString();
    }

    MMRESULT Suggest(const WAVEFORMATEX &src, WAVEFORMATEX *dst, uint32_t cbDst, uint32_t flags) const override
    {
        if (!acmfmt::IsValidPcm(src))
            return ACMERR_NOTPOSSIBLE;
        if ((flags & ACM_FORMATSUGGESTF_WFORMATTAG) && dst->wFormatTag != WAVE_FORMAT_PCM)
            return ACMERR_NOTPOSSIBLE;
        const uint32_t rate = (flags & ACM_FORMATSUGGESTF_NSAMPLESPERSEC) ? dst->nSamplesPerSec : src.nSamplesPerSec;
        const uint16_t bits = (flags & ACM_FORMATSUGGESTF_WBITSPERSAMPLE) ? dst->wBitsPerSample : src.wBitsPerSample;
        const uint16_t channels = (flags & ACM_FORMATSUGGESTF_NCHANNELS) ? dst->nChannels : src.nChannels;
        const WAVEFORMATEX proposal = acmfmt::Pcm(rate, bits, channels);
        if (!acmfmt::IsValidPcm(proposal))
            return ACMERR_NOTPOSSIBLE;
        return acmfmt::Store(&proposal, sizeof(proposal), dst, cbDst);
    }

    bool CanConvert(const WAVEFORMATEX &src, const WAVEFORMATEX &dst, bool) const override
    {
        return acmfmt::IsValidPcm(src) && acmfmt::IsValidPcm(dst);
    }

    std::unique_ptr<AcmCodec> Open(const WAVEFORMATEX &src, const WAVEFORMATEX &dst, MMRESULT &result) const override
    {
        return acmfmt::Opened(std::make_unique<PcmCodec>(src, dst), MMSYSERR_NOMEM, result);
    }
};

} // namespace

std::unique_ptr<AcmDriver> CreatePcmDriver()
{
    return std::make_unique<PcmDriver>();
}
