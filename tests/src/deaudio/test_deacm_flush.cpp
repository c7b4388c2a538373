// Ending a conversion stream: what the stages hold back comes out, through every stage.
#include "audiotestkit.h"
#include "mmreg.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <cmath>

namespace {

using audiotest::Pcm;
using audiotest::Suggested;

TEST(ConversionFlush, ThePartialBlockComesOutThroughEveryStage)
{
    // Resampling and GSM: 44.1 kHz stereo, to 8 kHz mono, to GSM blocks of 320 samples.
    TdeAudioConvertor c;
    c.SetFormatIn(Pcm(44100, 16, 2));
    c.SetFormatOut(Suggested(WAVE_FORMAT_GSM610, Pcm(8000, 16, 1)));
    c.Open();
    ASSERT_EQ(c.Stages().size(), 2);
    const QVector<int16_t> left = audiotest::SpeechLikeSignal(44100, 0.77, 5, false);
    const QByteArray pcm = audiotest::PcmBytes(audiotest::Interleave(left, left), 16);
    QByteArray gsm = audiotest::ConvertAll(c, pcm, 5512);
    const qsizetype before = gsm.size();
    audiotest::CollectOutput(c, gsm);
    c.Flush();
    ASSERT_EQ(gsm.size() % 65, 0);
    EXPECT_GE(gsm.size() - before, 65); // at least the last block, completed with silence
    // 0.77 s at 8 kHz is 6160 samples: 19.25 blocks, so 20 whole ones.
    EXPECT_EQ(gsm.size() / 65, 20);
    EXPECT_TRUE(c.Active());

    // Nothing is left for a second end, and an inactive chain has nothing at all.
    const qsizetype after = gsm.size();
    c.Flush();
    EXPECT_EQ(gsm.size(), after);
    c.Close();
    EXPECT_NO_THROW(c.Flush());
}

TEST(ConversionFlush, TheEncoderGivesItsLastFrames)
{
    TdeAudioConvertor c;
    const TdeWaveFormat mp3 = Suggested(WAVE_FORMAT_MPEGLAYER3, Pcm(22050, 16, 1));
    c.SetFormatIn(Pcm(22050, 16, 1));
    c.SetFormatOut(mp3);
    c.Open();
    const QVector<int16_t> signal = audiotest::Tone(22050, 0.5, 440);
    QByteArray stream = audiotest::ConvertAll(c, audiotest::PcmBytes(signal, 16), 2756);
    const qsizetype before = stream.size();
    audiotest::CollectOutput(c, stream);
    c.Flush();
    EXPECT_GT(stream.size(), before);
    ASSERT_EQ(uint8_t(stream[0]), 0xFF);

    // Decoded, the stream holds the whole tone behind the codec's delay.
    QTemporaryDir dir;
    const QString name = dir.filePath(QStringLiteral("tone.mp3"));
    QFile file(name);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(stream);
    file.close();
    int channels = 0;
    QString error;
    const QVector<int16_t> decoded = audiotest::SoxDecode(name, &channels, &error);
    ASSERT_TRUE(error.isEmpty()) << error.toStdString();
    const qsizetype delay = reinterpret_cast<const MPEGLAYER3WAVEFORMAT *>(mp3.Data())->nCodecDelay;
    EXPECT_GE(decoded.size() - delay, signal.size());
    EXPECT_LT(decoded.size() - delay, signal.size() + 576); // within one frame
}

// Resampling holds back the end of the sound in its filter; the end of the stream brings
// it out, so a conversion keeps every input sample's worth of output.
TEST(ConversionFlush, ResamplingKeepsTheWholeLength)
{
    struct Case {
        int inRate, outRate, channelsIn, channelsOut, frames, chunkFrames;
    };
    for (const Case k : {Case{44100, 8000, 2, 1, 44100 * 3 / 4, 5512}, Case{44100, 8000, 1, 1, 12345, 1000},
                         Case{8000, 48000, 1, 2, 8000, 1000}, Case{22050, 11025, 2, 2, 22051, 2205}}) {
        SCOPED_TRACE(testing::Message() << k.inRate << " -> " << k.outRate << ", " << k.frames << " frames");
        TdeAudioConvertor c;
        c.SetFormatIn(Pcm(uint32_t(k.inRate), 16, uint16_t(k.channelsIn)));
        c.SetFormatOut(Pcm(uint32_t(k.outRate), 16, uint16_t(k.channelsOut)));
        c.Open();
        ASSERT_EQ(c.Stages().size(), 1);
        // A tone right up to the last sample: the end of the output must carry it too.
        const QVector<int16_t> tone = audiotest::Tone(k.inRate, double(k.frames) / k.inRate, 440);
        const QVector<int16_t> in = k.channelsIn == 2 ? audiotest::Interleave(tone, tone) : tone;
        const int frameBytes = 2 * k.channelsIn;
        QByteArray out[2];
        for (QByteArray &stream : out) { // the stream is used twice: the second starts afresh
            stream = audiotest::ConvertAll(c, audiotest::PcmBytes(in, 16), k.chunkFrames * frameBytes);
            audiotest::CollectOutput(c, stream);
            c.Flush();
            c.OnAudioConverted = nullptr;
        }
        EXPECT_EQ(out[0], out[1]);
        const double expected = double(k.frames) * k.outRate / k.inRate;
        const qsizetype frames = out[0].size() / (2 * k.channelsOut);
        EXPECT_NEAR(double(frames), expected, 1.0);
        const QVector<int16_t> mono = audiotest::Channel(
            QVector<int16_t>(reinterpret_cast<const int16_t *>(out[0].constData()),
                             reinterpret_cast<const int16_t *>(out[0].constData()) + out[0].size() / 2),
            k.channelsOut, 0);
        // The last 5 ms are the tone at its level (0.4 of full scale), not silence or a ramp.
        const int tail = k.outRate / 200;
        double power = 0;
        for (qsizetype i = mono.size() - tail; i < mono.size(); ++i)
            power += double(mono[i]) * mono[i];
        EXPECT_NEAR(std::sqrt(power / tail) / 32768.0, 0.4 / std::sqrt(2.0), 0.03);
    }
}

} // namespace
