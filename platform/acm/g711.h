#pragma once
#include <cstdint>

// CCITT G.711 sample laws on 16-bit linear samples.
namespace g711 {
uint8_t LinearToAlaw(int16_t sample);
int16_t AlawToLinear(uint8_t code);
uint8_t LinearToUlaw(int16_t sample);
int16_t UlawToLinear(uint8_t code);
} // namespace g711
