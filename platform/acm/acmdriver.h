#pragma once
#include <QByteArray>
#include <QList>
#include <QString>
#include <memory>
#include <vector>

#include "acmapi.h"

// The drivers behind the codec manager. A driver knows a few format tags, names and
// enumerates their formats, suggests destinations and opens codecs for the pairs it converts.

// The open conversion of one stream. Sizes are in bytes and always cover whole blocks.
class AcmCodec {
public:
    virtual ~AcmCodec() = default;
    // Source and destination block sizes: conversion consumes whole source blocks.
    virtual uint32_t SourceBlock() const = 0;
    // Most destination bytes that cbSrc source bytes can give (0 below one source block).
    virtual uint32_t DestinationSize(uint32_t cbSrc) const = 0;
    // Source bytes needed to fill cbDst destination bytes (0 below one destination block).
    virtual uint32_t SourceSize(uint32_t cbDst) const = 0;
    // Converts whole source blocks while they fit into the destination. Without
    // blockAlign a trailing partial block is consumed too (encoders pad it with silence).
    // end: the stream ends here, flush what the codec holds back.
    virtual MMRESULT Convert(const uint8_t *src, uint32_t srcLength, uint8_t *dst, uint32_t dstLength,
                             bool blockAlign, bool end, uint32_t &srcUsed, uint32_t &dstUsed) = 0;
    // Forgets the history (filter memories, predictor state, held-back samples).
    virtual void Reset() = 0;
};

// A codec that turns fixed PCM blocks into fixed coded blocks and back, one block at a time.
// Without block alignment an encoder pads a trailing partial block with silence; a decoder
// drops it.
class BlockCodec : public AcmCodec {
public:
    // pcmFrame: bytes of one PCM sample frame; the padded block keeps whole frames only.
    BlockCodec(bool encode, uint32_t pcmBlock, uint32_t codedBlock, uint32_t pcmFrame);
    uint32_t SourceBlock() const override { return m_encode ? m_pcmBlock : m_codedBlock; }
    uint32_t DestBlock() const { return m_encode ? m_codedBlock : m_pcmBlock; }
    uint32_t DestinationSize(uint32_t cbSrc) const override { return cbSrc / SourceBlock() * DestBlock(); }
    uint32_t SourceSize(uint32_t cbDst) const override { return cbDst / DestBlock() * SourceBlock(); }
    MMRESULT Convert(const uint8_t *src, uint32_t srcLength, uint8_t *dst, uint32_t dstLength, bool blockAlign,
                     bool end, uint32_t &srcUsed, uint32_t &dstUsed) final;

protected:
    bool Encoding() const { return m_encode; }
    // One whole source block into one whole destination block.
    virtual void ConvertBlock(const uint8_t *in, uint8_t *out) = 0;

private:
    bool m_encode;
    uint32_t m_pcmBlock;
    uint32_t m_codedBlock;
    uint32_t m_pcmFrame;
    std::vector<uint8_t> m_padded;
};

class AcmDriver {
public:
    virtual ~AcmDriver() = default;
    // Format tags this driver names and enumerates, in listing order.
    virtual QList<uint16_t> FormatTags() const = 0;
    virtual QString TagName(uint16_t tag) const = 0;
    // Largest format image of the tag.
    virtual uint32_t FormatSize(uint16_t tag) const = 0;
    // The standard formats of the tag as whole images (WAVEFORMATEX + extra bytes).
    virtual QList<QByteArray> Formats(uint16_t tag) const = 0;
    // The text of a valid format of one of this driver's tags; empty when not valid.
    virtual QString FormatText(const WAVEFORMATEX &wfx) const = 0;
    // Fills dst with a destination for src; flags tell which fields of dst are fixed.
    // Returns ACMERR_NOTPOSSIBLE when this driver has nothing to suggest.
    virtual MMRESULT Suggest(const WAVEFORMATEX &src, WAVEFORMATEX *dst, uint32_t cbDst, uint32_t flags) const = 0;
    // Whether this driver converts src to dst (in real time when asked).
    virtual bool CanConvert(const WAVEFORMATEX &src, const WAVEFORMATEX &dst, bool realTime) const = 0;
    // A codec for a pair CanConvert accepted; nullptr with result set on failure.
    virtual std::unique_ptr<AcmCodec> Open(const WAVEFORMATEX &src, const WAVEFORMATEX &dst,
                                           MMRESULT &result) const = 0;
};

// The installed drivers, in the order they are asked.
const QList<AcmDriver *> &AcmDrivers();

// Shared helpers of the drivers.
namespace acmfmt {
bool IsPcm(const WAVEFORMATEX &wfx);
// A consistent PCM image: 1-2 channels, 8 or 16 bits, 8000..48000 Hz, matching block and rate.
bool IsValidPcm(const WAVEFORMATEX &wfx);
bool IsValidPcm16(const WAVEFORMATEX &wfx);
WAVEFORMATEX Pcm(uint32_t rate, uint16_t bits, uint16_t channels);
// Copies an image of 18 + cbSize bytes into dst; ACMERR_NOTPOSSIBLE when it does not fit.
MMRESULT Store(const void *image, uint32_t size, WAVEFORMATEX *dst, uint32_t cbDst);
// Applies the suggestion flags: fields the caller fixed must match the proposal.
bool FixedFieldsMatch(const WAVEFORMATEX &proposal, const WAVEFORMATEX &dst, uint32_t flags);
// "8 000 Hz": the rate with a blank between thousands.
QString RateText(uint32_t rate);
QString BitsText(uint16_t bits);
QString ChannelsText(uint16_t channels);
QString PcmLikeText(const WAVEFORMATEX &wfx);
// A suggestion: the image (starting with its WAVEFORMATEX) stored into dst when it keeps the
// fields the caller fixed; ACMERR_NOTPOSSIBLE otherwise.
MMRESULT Propose(const void *image, uint32_t size, WAVEFORMATEX *dst, uint32_t cbDst, uint32_t flags);
// Whether one side is a valid coded format (by isCoded) and the other 16-bit PCM of the same
// rate and channels, in either direction.
bool PairsWithPcm16(const WAVEFORMATEX &src, const WAVEFORMATEX &dst, bool (*isCoded)(const WAVEFORMATEX &));
// A format image as the bytes the enumeration lists.
template <typename Image>
QByteArray ImageBytes(const Image &image)
{
    return QByteArray(reinterpret_cast<const char *>(&image), sizeof(image));
}
// An opened codec, or nullptr with result set to failure when it could not set itself up.
template <typename Codec>
std::unique_ptr<AcmCodec> Opened(std::unique_ptr<Codec> codec, MMRESULT failure, MMRESULT &result)
{
    if (!codec->Valid()) {
        result = failure;
        return nullptr;
    }
    result = MMSYSERR_NOERROR;
    return codec;
}
constexpr uint32_t kMinRate = 8000;
constexpr uint32_t kMaxRate = 48000;
extern const uint32_t kStandardRates[7];
} // namespace acmfmt
