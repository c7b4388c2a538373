#include "silentwave.h"

#include <cstdint>

QByteArray SilentWave(int frames)
{
    const QByteArray data(2 * frames, '\0');
    QByteArray wave("RIFF");
    auto u32 = [&wave](uint32_t v) { wave.append(reinterpret_cast<const char *>(&v), 4); };
    auto u16 = [&wave](uint16_t v) { wave.append(reinterpret_cast<const char *>(&v), 2); };
    u32(uint32_t(36 + data.size()));
    wave.append("WAVEfmt ");
    u32(16);
    u16(1);     // PCM
    u16(1);     // mono
    u32(8000);  // samples per second
    u32(16000); // bytes per second
    u16(2);     // block
    u16(16);    // bits
    wave.append("data");
    u32(uint32_t(data.size()));
    return wave + data;
}
