#pragma once
#include <cstdint>

// IMA ADPCM in the WAVE block layout: per channel a 4-byte header (first sample,
// step index, zero), then groups of 4 bytes (8 samples) per channel in turn, low nibble first.
namespace imaadpcm {

struct ChannelState {
    int predictor = 0;
    int index = 0;
};

// Samples per block for a block size: the header sample plus two per data byte.
int SamplesPerBlock(int blockAlign, int channels);
// Encodes samplesPerBlock interleaved frames into one block of blockAlign bytes; the
// step index carries over between blocks through state (one per channel).
void EncodeBlock(const int16_t *pcm, int channels, int samplesPerBlock, ChannelState *state, uint8_t *block);
// Decodes one block into samplesPerBlock interleaved frames.
void DecodeBlock(const uint8_t *block, int channels, int samplesPerBlock, int16_t *pcm);

} // namespace imaadpcm
