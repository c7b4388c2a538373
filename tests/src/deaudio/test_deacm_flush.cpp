// Ending a conversion stream: what the stages hold back comes out, through every stage.
#include "audiotestkit.h"
#include "mmreg.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

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
    EXPECT_EQ(gsm.size() - before, 65); // the last block, completed with silence
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

} // namespace
