// Recordings made through the conversion chain, read back by sox.
#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <QtEndian>

#include "acmapi.h"
#include "audiotestkit.h"
#include "deACM.h"
#include "mp3formats.h"

using namespace audiotest;

namespace {

struct Recording {
    QVector<int16_t> left;  // the source, per channel
    QVector<int16_t> right; // empty for mono
    QByteArray encoded;
    uint32_t samplesPerChannel = 0;
};

// Captures a two-second speech-like signal in `capture` and records it in `record`.
Recording Record(const TdeWaveFormat &capture, const TdeWaveFormat &record, int chunkBytes = 0)
{
    Recording r;
    const int rate = int(capture.SamplesPerSec());
    r.left = SpeechLikeSignal(rate, 2.0, 11, false);
    QVector<int16_t> samples = r.left;
    if (capture.Channels() == 2) {
        r.right = SpeechLikeSignal(rate, 2.0, 29, true);
        samples = Interleave(r.left, r.right);
    }
    const QByteArray pcm = PcmBytes(samples, capture.BitsPerSample());
    TdeAudioConvertor convertor;
    convertor.SetFormatIn(capture);
    convertor.SetFormatOut(record);
    convertor.Open();
    // One eighth of a second per push, as the recorder captures.
    const int chunk = chunkBytes ? chunkBytes : int(capture.AvgBytesPerSec() / 8 / capture.BlockAlign() * capture.BlockAlign());
    r.encoded = ConvertWhole(convertor, pcm, chunk);
    r.samplesPerChannel = uint32_t(r.left.size());
    return r;
}

struct Decoded {
    QVector<int16_t> left;
    QVector<int16_t> right;
    int channels = 0;
};

Decoded WriteAndDecode(const Recording &r, const TdeWaveFormat &record)
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("rec.wav"));
    EXPECT_TRUE(WriteWave(file, record, r.encoded, r.samplesPerChannel));
    QString error;
    Decoded d;
    const QVector<int16_t> all = SoxDecode(file, &d.channels, &error);
    EXPECT_FALSE(all.isEmpty()) << qPrintable(record.Description()) << ": " << qPrintable(error);
    if (all.isEmpty())
        return d;
    EXPECT_EQ(d.channels, record.Channels());
    d.left = Channel(all, d.channels, 0);
    if (d.channels == 2)
        d.right = Channel(all, 2, 1);
    return d;
}

struct CodecCase {
    const char *name;
    TdeWaveFormat record;
    double minSnrDb;
    double minCorrelation;
    int maxLag;
};

void CheckRoundTrip(const CodecCase &c)
{
    SCOPED_TRACE(c.name);
    TdeWaveFormat capture;
    capture.SuggestPCMFrom(c.record);
    const Recording r = Record(capture, c.record);
    ASSERT_FALSE(r.encoded.isEmpty());
    const Decoded d = WriteAndDecode(r, c.record);
    ASSERT_FALSE(d.left.isEmpty());
    const Match left = Compare(r.left, d.left, c.maxLag);
    EXPECT_GE(left.snrDb, c.minSnrDb) << "left lag " << left.lag;
    EXPECT_GE(left.correlation, c.minCorrelation);
    if (c.record.Channels() == 2) {
        const Match right = Compare(r.right, d.right, c.maxLag);
        EXPECT_GE(right.snrDb, c.minSnrDb) << "right lag " << right.lag;
        EXPECT_GE(right.correlation, c.minCorrelation);
        // The channels carry different signals: a swap or a mix shows here.
        EXPECT_LT(Compare(r.left, d.right, c.maxLag).correlation, 0.5);
        EXPECT_LT(Compare(r.right, d.left, c.maxLag).correlation, 0.5);
    }
}

} // namespace

TEST(ConversionPeers, WaveformCodecsDecodeCloseToTheSource)
{
    const CodecCase cases[] = {
        {"PCM 16 mono", Pcm(8000, 16, 1), 200, 0.9999, 0},
        {"PCM 8 stereo", Pcm(11025, 8, 2), 25, 0.999, 0},
        {"A-law mono", Suggested(WAVE_FORMAT_ALAW, Pcm(8000, 16, 1)), 30, 0.999, 0},
        {"A-law stereo", Suggested(WAVE_FORMAT_ALAW, Pcm(22050, 16, 2)), 30, 0.999, 0},
        {"u-law mono", Suggested(WAVE_FORMAT_MULAW, Pcm(8000, 16, 1)), 30, 0.999, 0},
        {"u-law stereo", Suggested(WAVE_FORMAT_MULAW, Pcm(44100, 16, 2)), 30, 0.999, 0},
        {"IMA ADPCM mono", Suggested(WAVE_FORMAT_IMA_ADPCM, Pcm(8000, 16, 1)), 15, 0.98, 0},
        {"IMA ADPCM stereo", Suggested(WAVE_FORMAT_IMA_ADPCM, Pcm(22050, 16, 2)), 15, 0.98, 0},
        {"IMA ADPCM 44100 stereo", Suggested(WAVE_FORMAT_IMA_ADPCM, Pcm(44100, 16, 2)), 15, 0.98, 0},
        {"GSM 6.10", Suggested(WAVE_FORMAT_GSM610, Pcm(8000, 16, 1)), 3, 0.7, 40},
    };
    for (const CodecCase &c : cases)
        CheckRoundTrip(c);
}

TEST(ConversionPeers, GsmFileHasWaveFraming)
{
    const TdeWaveFormat gsm = Suggested(WAVE_FORMAT_GSM610, Pcm(8000, 16, 1));
    EXPECT_EQ(gsm.BlockAlign(), 65);
    EXPECT_EQ(gsm.CbSize(), 2);
    EXPECT_EQ(qFromLittleEndian<uint16_t>(gsm.Extra()), 320);
    const Recording r = Record(Pcm(8000, 16, 1), gsm);
    EXPECT_EQ(r.encoded.size() % 65, 0);
    // Two seconds are 16000 samples: 50 whole blocks of 320.
    EXPECT_EQ(r.encoded.size(), 50 * 65);
}

TEST(ConversionPeers, FullChainFromCaptureFormatToEveryRecordFormat)
{
    // 44100 Hz stereo capture, as the sound card delivers it, into 8 kHz record formats:
    // the sweep must survive rate and channel conversion, so compare with sox's own
    // conversion of the source.
    const TdeWaveFormat capture = Pcm(44100, 16, 2);
    const TdeWaveFormat records[] = {
        Pcm(8000, 16, 1),
        Pcm(8000, 8, 1),
        Suggested(WAVE_FORMAT_ALAW, Pcm(8000, 16, 1)),
        Suggested(WAVE_FORMAT_MULAW, Pcm(8000, 16, 1)),
        Suggested(WAVE_FORMAT_IMA_ADPCM, Pcm(8000, 16, 1)),
        Suggested(WAVE_FORMAT_GSM610, Pcm(8000, 16, 1)),
    };
    QTemporaryDir dir;
    for (const TdeWaveFormat &record : records) {
        SCOPED_TRACE(qPrintable(record.Description()));
        const Recording r = Record(capture, record);
        const Decoded d = WriteAndDecode(r, record);
        ASSERT_FALSE(d.left.isEmpty());
        // Reference: the source mixed to mono and resampled by sox.
        const QString src = dir.filePath(QStringLiteral("src.wav"));
        ASSERT_TRUE(WriteWave(src, capture, PcmBytes(Interleave(r.left, r.right), 16), r.samplesPerChannel));
        QString error;
        const QVector<int16_t> reference = SoxDecode(src, nullptr, &error, QStringLiteral("-c 1 -r 8000"));
        ASSERT_FALSE(reference.isEmpty()) << qPrintable(error);
        EXPECT_NEAR(double(d.left.size()), double(reference.size()), 8000 * 0.05);
        const Match m = Compare(reference, d.left, 60);
        const bool gsm = record.FormatTag() == WAVE_FORMAT_GSM610;
        EXPECT_GE(m.correlation, gsm ? 0.7 : 0.97);
        EXPECT_LE(std::abs(m.lag), gsm ? 60 : 10);
    }
}

namespace {
// The MPEG audio frame headers of a Layer-3 stream: bit rate and rate of each frame.
struct FrameScan {
    int frames = 0;
    bool consistent = true;
    int bitrateKbps = 0;
    int rate = 0;
    int channels = 0;
};

FrameScan ScanFrames(const QByteArray &mp3)
{
    static const int kRates[4][3] = {{11025, 12000, 8000}, {0, 0, 0}, {22050, 24000, 16000}, {44100, 48000, 32000}};
    static const int kRatesV1[16] = {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0};
    static const int kRatesV2[16] = {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0};
    FrameScan scan;
    const auto *b = reinterpret_cast<const uint8_t *>(mp3.constData());
    qsizetype pos = 0;
    while (pos + 4 <= mp3.size()) {
        if (b[pos] != 0xFF || (b[pos + 1] & 0xE0) != 0xE0) {
            scan.consistent = false;
            break;
        }
        const int version = (b[pos + 1] >> 3) & 3; // 0: 2.5, 2: 2, 3: 1
        const int layer = (b[pos + 1] >> 1) & 3;   // 1: layer III
        const int bitrateIndex = b[pos + 2] >> 4;
        const int rateIndex = (b[pos + 2] >> 2) & 3;
        const int padding = (b[pos + 2] >> 1) & 1;
        const int mode = b[pos + 3] >> 6;
        if (layer != 1 || version == 1 || rateIndex == 3 || bitrateIndex == 0 || bitrateIndex == 15) {
            scan.consistent = false;
            break;
        }
        const int kbps = version == 3 ? kRatesV1[bitrateIndex] : kRatesV2[bitrateIndex];
        const int rate = kRates[version][rateIndex];
        const int size = (version == 3 ? 144 : 72) * kbps * 1000 / rate + padding;
        if (scan.frames == 0) {
            scan.bitrateKbps = kbps;
            scan.rate = rate;
            scan.channels = mode == 3 ? 1 : 2;
        } else if (kbps != scan.bitrateKbps || rate != scan.rate) {
            scan.consistent = false;
        }
        ++scan.frames;
        pos += size;
    }
    if (pos != mp3.size())
        scan.consistent = false;
    return scan;
}
} // namespace

TEST(ConversionPeers, Mp3StreamHasConstantFramesAndSoxReadsIt)
{
    struct Case {
        uint32_t rate;
        uint16_t channels;
        uint32_t kbps;
    };
    const Case cases[] = {{8000, 1, 16}, {16000, 1, 32}, {22050, 2, 64}, {44100, 2, 128}, {48000, 1, 64}};
    QTemporaryDir dir;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.rate);
        const MPEGLAYER3WAVEFORMAT f = mp3formats::Format(c.rate, c.channels, c.kbps);
        TdeWaveFormat record;
        std::memcpy(record.Bytes(), &f, sizeof(f));
        EXPECT_EQ(record.CbSize(), 12);
        const Recording r = Record(Pcm(44100, 16, 2), record);
        ASSERT_FALSE(r.encoded.isEmpty());
        const FrameScan scan = ScanFrames(r.encoded);
        EXPECT_TRUE(scan.consistent);
        EXPECT_EQ(scan.bitrateKbps, int(c.kbps));
        EXPECT_EQ(scan.rate, int(c.rate));
        EXPECT_EQ(scan.channels, int(c.channels));
        // About two seconds of frames (the encoder holds back its last frames until closed).
        const double seconds = scan.frames * double(mp3formats::SamplesPerFrame(c.rate)) / c.rate;
        EXPECT_GT(seconds, 1.7);
        EXPECT_LT(seconds, 2.2);

        const QString file = dir.filePath(QStringLiteral("rec.mp3"));
        QFile out(file);
        ASSERT_TRUE(out.open(QIODevice::WriteOnly));
        out.write(r.encoded);
        out.close();
        QString error;
        int channels = 0;
        const QVector<int16_t> decoded = SoxDecode(file, &channels, &error);
        ASSERT_FALSE(decoded.isEmpty()) << qPrintable(error);
        EXPECT_EQ(channels, int(c.channels));
        EXPECT_NEAR(double(decoded.size()) / c.channels / c.rate, 2.0, 0.35);
        // The sweep is heard: the decoded left channel follows the source's left channel
        // resampled by sox to the record rate.
        const QString src = dir.filePath(QStringLiteral("src.wav"));
        ASSERT_TRUE(WriteWave(src, Pcm(44100, 16, 2), PcmBytes(Interleave(r.left, r.right), 16), r.samplesPerChannel));
        const QVector<int16_t> reference = SoxDecode(
            src, nullptr, &error, QStringLiteral("-c %1 -r %2").arg(c.channels).arg(c.rate));
        const Match m = Compare(Channel(reference, c.channels, 0), Channel(decoded, c.channels, 0), 2000);
        EXPECT_GE(m.correlation, 0.6) << "lag " << m.lag;
    }
}

TEST(ConversionPeers, EveryCaptureFormatReachesEveryRecordFormat)
{
    // Tones tell the channels apart: 500 Hz on the left, 1200 Hz on the right.
    const uint16_t recordTags[] = {WAVE_FORMAT_PCM, WAVE_FORMAT_ALAW, WAVE_FORMAT_MULAW, WAVE_FORMAT_IMA_ADPCM,
                                   WAVE_FORMAT_GSM610, WAVE_FORMAT_MPEGLAYER3};
    QTemporaryDir dir;
    int checked = 0;
    for (uint32_t rate : {8000u, 11025u, 16000u, 22050u, 32000u, 44100u, 48000u})
        for (uint16_t bits : {8, 16})
            for (uint16_t channels : {1, 2}) {
                const TdeWaveFormat capture = Pcm(rate, bits, channels);
                const QVector<int16_t> left = Tone(int(rate), 1.0, 500);
                const QVector<int16_t> right = Tone(int(rate), 1.0, 1200);
                const QByteArray pcm = PcmBytes(channels == 2 ? Interleave(left, right) : left, bits);
                for (uint16_t tag : recordTags) {
                    // Record formats at 8 kHz mono and at 22 050 Hz stereo (GSM has only the former).
                    for (const TdeWaveFormat &base : {Pcm(8000, 16, 1), Pcm(22050, 16, 2)}) {
                        if (tag == WAVE_FORMAT_GSM610 && base.Channels() == 2)
                            continue;
                        const TdeWaveFormat record = tag == WAVE_FORMAT_PCM ? base : Suggested(tag, base);
                        SCOPED_TRACE(qPrintable(capture.Description() + QStringLiteral(" -> ") + record.Description()));
                        TdeAudioConvertor convertor;
                        convertor.SetFormatIn(capture);
                        convertor.SetFormatOut(record);
                        convertor.Open();
                        const QByteArray encoded = ConvertWhole(convertor, pcm, int(capture.AvgBytesPerSec() / 8));
                        ASSERT_FALSE(encoded.isEmpty());
                        ++checked;
                        if (tag == WAVE_FORMAT_MPEGLAYER3) {
                            EXPECT_TRUE(ScanFrames(encoded).consistent);
                            continue; // read by sox in the test above
                        }
                        const QString file = dir.filePath(QStringLiteral("rec.wav"));
                        ASSERT_TRUE(WriteWave(file, record, encoded, record.SamplesPerSec()));
                        QString error;
                        int outChannels = 0;
                        const QVector<int16_t> all = SoxDecode(file, &outChannels, &error);
                        ASSERT_FALSE(all.isEmpty()) << qPrintable(error);
                        const double seconds = double(all.size()) / outChannels / record.SamplesPerSec();
                        EXPECT_NEAR(seconds, 1.0, 0.08);
                        const int outRate = int(record.SamplesPerSec());
                        const QVector<int16_t> l = Channel(all, outChannels, 0);
                        if (outChannels == 2 && channels == 2) {
                            const QVector<int16_t> rch = Channel(all, 2, 1);
                            EXPECT_GT(ToneShare(l, outRate, 500), 0.6);
                            EXPECT_LT(ToneShare(l, outRate, 1200), 0.1);
                            EXPECT_GT(ToneShare(rch, outRate, 1200), 0.6);
                            EXPECT_LT(ToneShare(rch, outRate, 500), 0.1);
                        } else if (channels == 2) {
                            EXPECT_GT(ToneShare(l, outRate, 500), 0.25);
                            EXPECT_GT(ToneShare(l, outRate, 1200), 0.25);
                        } else {
                            EXPECT_GT(ToneShare(l, outRate, 500), 0.6);
                        }
                    }
                }
            }
    EXPECT_EQ(checked, 28 * 11);
}
