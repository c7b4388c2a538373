#include "deAudioControls.h"
#include "capturetestkit.h"

#include <gtest/gtest.h>
#include <cmath>

namespace {

// A source that pushes what the test gives it, in the format the test sets.
class TSource : public TdeAudioComponent {
public:
    explicit TSource(const TdeWaveFormat &f) : format(f), subject(this, &format) {}
    IdeAudioSubject *QueryAudioSubject() override { return &subject; }
    void Push(const QByteArray &bytes) { subject.Notify(&subject, bytes.constData(), int(bytes.size())); }
    TdeWaveFormat format;
    TdeAudioSubject subject;
};

// Receives what the level source pushes on.
class TSink : public TdeAudioComponent {
public:
    TSink() : observer(this)
    {
        observer.OnAudioUpdate = [this](IdeAudioSubject *subject, const void *, int size) {
            format = *subject->GetFormat();
            sizes.append(size);
        };
    }
    IdeAudioObserver *QueryAudioObserver() override { return &observer; }
    TdeAudioObserver observer;
    TdeWaveFormat format;
    QList<int> sizes;
};

QByteArray Samples16(const QList<int16_t> &values)
{
    return QByteArray(reinterpret_cast<const char *>(values.constData()), int(values.size() * 2));
}

QByteArray Sine16(int rate, int channels, int frames, double peak)
{
    QList<int16_t> values;
    for (int i = 0; i < frames; ++i)
        for (int c = 0; c < channels; ++c)
            values.append(int16_t(std::lround(peak * std::sin(2 * M_PI * 440.0 * i / rate))));
    return Samples16(values);
}

class LevelSourceTest : public ::testing::Test {
protected:
    void Attach(TSource &source)
    {
        level.SetAudioSource(&source);
        sink.observer.SetAudioSource(&level);
        level.OnDataChanged = [this](QObject *sender) { senders.append(sender); };
    }
    TdeAudioControlSource level;
    TSink sink;
    QList<QObject *> senders;
};

TEST_F(LevelSourceTest, StartsSilentWithItsInitialFormat)
{
    EXPECT_EQ(level.PeakLeft(), 0);
    EXPECT_EQ(level.PeakRight(), 0);
    TdeWaveFormat &out = level.Convertor().FormatOut();
    EXPECT_EQ(out.BitsPerSample(), 16);
    EXPECT_EQ(out.Channels(), 2);
    EXPECT_EQ(out.SamplesPerSec(), 11025u);
    EXPECT_EQ(out.AvgBytesPerSec(), 44100u);
    EXPECT_EQ(out.BlockAlign(), 2);
    EXPECT_EQ(level.AudioSource(), nullptr);
}

TEST_F(LevelSourceTest, SilenceMeasuresZeroAndIsPushedOnAt48kHzStereo)
{
    TSource source(PcmWave(44100, 16, 2));
    Attach(source);
    source.Push(QByteArray(44100 / 8 * 4, '\0'));
    EXPECT_EQ(level.PeakLeft(), 0);
    EXPECT_EQ(level.PeakRight(), 0);
    ASSERT_EQ(senders, (QList<QObject *>{&level}));
    ASSERT_EQ(sink.sizes.size(), 1);
    // An eighth of a second at 48 kHz, less what the resampler still holds.
    EXPECT_LE(sink.sizes[0], 48000 / 8 * 4);
    EXPECT_GT(sink.sizes[0], 48000 / 8 * 4 - 400);
    EXPECT_EQ(sink.sizes[0] % 4, 0);
    EXPECT_EQ(sink.format.SamplesPerSec(), 48000u);
    EXPECT_EQ(sink.format.BlockAlign(), 4);
    EXPECT_EQ(sink.format.AvgBytesPerSec(), 192000u);
}

TEST_F(LevelSourceTest, MonoGivesEqualPeaksOnBothSides)
{
    TSource source(PcmWave(8000, 16, 1));
    Attach(source);
    source.Push(Sine16(8000, 1, 1000, 12000));
    EXPECT_EQ(level.PeakLeft(), level.PeakRight());
    EXPECT_NEAR(level.PeakLeft(), 12000, 1500);
}

TEST_F(LevelSourceTest, FullScaleNegativeCountsAsTheTopOfTheScale)
{
    TSource source(PcmWave(48000, 16, 2));
    Attach(source);
    QList<int16_t> values(2 * 480, 0);
    values[100] = -32768;
    values[201] = 1234;
    source.Push(Samples16(values));
    EXPECT_EQ(level.PeakLeft(), 32767);
    EXPECT_EQ(level.PeakRight(), 1234);
}

TEST_F(LevelSourceTest, EightBitCaptureIsMeasuredOnTheSameScale)
{
    TSource source(PcmWave(11025, 8, 2));
    Attach(source);
    source.Push(QByteArray(2760, char(128)));
    EXPECT_EQ(level.PeakLeft(), 0);
    EXPECT_EQ(level.PeakRight(), 0);
    QByteArray loud(2760, char(128));
    for (int i = 0; i < loud.size(); i += 2)
        loud[i] = char(i % 40 == 0 ? 255 : 128);
    source.Push(loud);
    EXPECT_GT(level.PeakLeft(), 30000);
    EXPECT_EQ(level.PeakRight(), 0);
}

TEST_F(LevelSourceTest, EachBufferIsMeasuredOnItsOwn)
{
    TSource source(PcmWave(8000, 16, 1));
    Attach(source);
    source.Push(Sine16(8000, 1, 800, 20000));
    EXPECT_GT(level.PeakLeft(), 15000);
    // Half a sample: no output this time, so both peaks fall to 0.
    source.Push(QByteArray(1, '\x7f'));
    EXPECT_EQ(level.PeakLeft(), 0);
    EXPECT_EQ(level.PeakRight(), 0);
    EXPECT_EQ(senders.size(), 2);
    // A format change of the source is followed from the next buffer on.
    source.format = PcmWave(22050, 8, 1);
    source.Push(QByteArray(2205, char(128)));
    EXPECT_EQ(level.PeakLeft(), 0);
    EXPECT_TRUE(level.Convertor().FormatIn().IsEqual(PcmWave(22050, 8, 1)));
}

// What a chain built afresh for one buffer gives: the converted buffer including the
// end its filter holds back.
QByteArray FreshConversion(const TdeWaveFormat &in, const QByteArray &buffer)
{
    TdeAudioConvertor c;
    c.SetFormatIn(in);
    TdeWaveFormat &out = c.FormatOut();
    out.SetBitsPerSample(16);
    out.SetChannels(2);
    out.SetSamplesPerSec(48000);
    out.SetAvgBytesPerSec(192000);
    out.SetBlockAlign(4);
    c.Open();
    QByteArray all;
    c.Convert(buffer.constData(), int(buffer.size()));
    all.append(static_cast<const char *>(c.OutData()), c.OutSize());
    c.Flush();
    all.append(static_cast<const char *>(c.OutData()), c.OutSize());
    return all;
}

// The chain is kept while the format stays, yet every buffer gives exactly the peaks and
// the sound a chain of its own would give: nothing of one buffer leaks into the next.
TEST_F(LevelSourceTest, KeptChainMeasuresLikeAFreshOneForEveryBuffer)
{
    for (const TdeWaveFormat &format : {PcmWave(44100, 16, 2), PcmWave(8000, 8, 1), PcmWave(48000, 16, 2),
                                        PcmWave(22050, 16, 1)}) {
        SCOPED_TRACE(format.SamplesPerSec());
        TSource source(format);
        Attach(source);
        sink.sizes.clear();
        QList<QByteArray> pushed;
        sink.observer.OnAudioUpdate = [&pushed](IdeAudioSubject *, const void *data, int size) {
            pushed.append(QByteArray(static_cast<const char *>(data), size));
        };
        const int second = int(format.AvgBytesPerSec());
        // Loud, silent, odd-sized and tiny buffers in turn, so that any history would show.
        const QList<QByteArray> buffers = {Sine16(48000, 2, 6000, 30000).left(second / 8),
                                           QByteArray(second / 8, format.BitsPerSample() == 8 ? char(128) : '\0'),
                                           Sine16(48000, 2, 3000, 9000).left(second / 16 + 1),
                                           QByteArray(3, char(0x40)),
                                           Sine16(48000, 2, 12000, 20000).left(second / 4)};
        const TMiniConvertor *stage = nullptr;
        for (int round = 0; round < 2; ++round) {
            for (const QByteArray &buffer : buffers) {
                pushed.clear();
                source.Push(buffer);
                const QByteArray expected = FreshConversion(format, buffer);
                uint16_t left = 0, right = 0;
                TdeAudioControlSource::MeasurePeaks(expected.constData(), int(expected.size()), left, right);
                EXPECT_EQ(level.PeakLeft(), left);
                EXPECT_EQ(level.PeakRight(), right);
                ASSERT_EQ(pushed.size(), 1);
                EXPECT_EQ(pushed[0], expected);
                // Once built, the chain stays for the whole run of one format.
                ASSERT_EQ(level.Convertor().Stages().size(), 1);
                if (!stage)
                    stage = level.Convertor().Stages().first();
                EXPECT_EQ(level.Convertor().Stages().first(), stage);
            }
        }
        level.SetAudioSource(nullptr);
    }
}

TEST(LevelMeasure, TrailingPartialFrameIsIgnored)
{
    uint16_t left = 1, right = 1;
    QByteArray seven = Samples16({-300, 700, 32767, 0}).left(7);
    TdeAudioControlSource::MeasurePeaks(seven.constData(), 7, left, right);
    EXPECT_EQ(left, 300);
    EXPECT_EQ(right, 700);
    TdeAudioControlSource::MeasurePeaks(seven.constData(), 3, left, right);
    EXPECT_EQ(left, 0);
    EXPECT_EQ(right, 0);
    TdeAudioControlSource::MeasurePeaks(nullptr, 0, left, right);
    EXPECT_EQ(left, 0);
}

} // namespace
