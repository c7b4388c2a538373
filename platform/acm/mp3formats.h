#pragma once
#include <QList>
#include <cstdint>

#include "mmreg.h"

// The MPEG Layer-3 formats the encoder offers.
namespace mp3formats {
// 1 for MPEG-1, 2 for MPEG-2, 3 for MPEG-2.5; 0 for a rate the encoder does not take.
int MpegVersion(uint32_t rate);
QList<uint32_t> Rates();
QList<uint32_t> BitRates(uint32_t rate); // kbit/s
uint32_t SamplesPerFrame(uint32_t rate);
MPEGLAYER3WAVEFORMAT Format(uint32_t rate, uint16_t channels, uint32_t kbps);
bool IsValid(const WAVEFORMATEX &wfx);
} // namespace mp3formats
