#pragma once
#include <QByteArray>
#include <QString>
#include <QVector>
#include <cstdint>

#include "deACM.h"

// Test signals, a small WAVE writer, decoding through sox and comparison measures.
namespace audiotest {

// Sweep from f0 to f1 plus a band of noise whose loudness follows a syllable rhythm.
// seed makes the noise (and, with sweepDown, the sweep) differ between channels.
QVector<int16_t> SpeechLikeSignal(int rate, double seconds, uint32_t seed, bool sweepDown, double level = 0.35);
QVector<int16_t> Tone(int rate, double seconds, double frequency, double level = 0.4);
// Interleaves channels of equal length.
QVector<int16_t> Interleave(const QVector<int16_t> &left, const QVector<int16_t> &right);
QVector<int16_t> Channel(const QVector<int16_t> &interleaved, int channels, int index);

// Samples as bytes of a PCM format (16 bit as is, 8 bit unsigned).
QByteArray PcmBytes(const QVector<int16_t> &samples, int bits);

// A WAVE file: RIFF, fmt (with cbSize and the extra bytes for non-PCM), fact for
// non-PCM (samples per channel), data.
bool WriteWave(const QString &fileName, const TdeWaveFormat &format, const QByteArray &data, uint32_t samplesPerChannel);

// sox in -t raw -e signed -b 16 out; empty with error set when sox fails.
QVector<int16_t> SoxDecode(const QString &fileName, int *channels, QString *error, const QString &extraOutputArgs = {});

// Appends every output of the convertor to out from now on.
void CollectOutput(TdeAudioConvertor &convertor, QByteArray &out);
// Pushes data through a convertor in pieces of chunk bytes and collects the output.
QByteArray ConvertAll(TdeAudioConvertor &convertor, const QByteArray &data, int chunk);
// The same, then ends the stream, as a recording that stops does.
QByteArray ConvertWhole(TdeAudioConvertor &convertor, const QByteArray &data, int chunk);

struct Match {
    double snrDb = -100;
    double correlation = 0;
    int lag = 0;
};
// Best alignment of decoded against reference within maxLag samples (decoded lags behind).
Match Compare(const QVector<int16_t> &reference, const QVector<int16_t> &decoded, int maxLag);
// Power of one frequency relative to the signal's total power (0..1).
double ToneShare(const QVector<int16_t> &samples, int rate, double frequency);

TdeWaveFormat Pcm(uint32_t rate, uint16_t bits, uint16_t channels);
// A format of the tag chosen by the codec manager for the given PCM.
TdeWaveFormat Suggested(uint16_t tag, const TdeWaveFormat &pcm);

} // namespace audiotest
