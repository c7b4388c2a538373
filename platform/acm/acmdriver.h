#pragma once
#include <QByteArray>
#include <QList>
#include <QString>
#include <memory>

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
constexpr uint32_t kMinRate = 8000;
constexpr uint32_t kMaxRate = 48000;
extern const uint32_t kStandardRates[7];
} // namespace acmfmt
