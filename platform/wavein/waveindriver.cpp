#include "waveindriver.h"

bool IsCapturablePcm(const WAVEFORMATEX &format)
{
    if (format.wFormatTag != WAVE_FORMAT_PCM || format.nChannels < 1 || format.nChannels > 2)
        return false;
    if (format.wBitsPerSample != 8 && format.wBitsPerSample != 16 && format.wBitsPerSample != 24 &&
        format.wBitsPerSample != 32)
        return false;
    if (format.nSamplesPerSec < 1000 || format.nSamplesPerSec > 384000)
        return false;
    uint32_t block = format.nChannels * (format.wBitsPerSample / 8u);
    return format.nBlockAlign == block && format.nAvgBytesPerSec == block * format.nSamplesPerSec;
}
