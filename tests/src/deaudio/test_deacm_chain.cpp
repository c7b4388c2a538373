// Push protocol between components, and the conversion chain built on it.
#include <gtest/gtest.h>
#include <numeric>

#include <QtEndian>
#include <cfenv>
#include <initializer_list>
#include <memory>

#include "acmapi.h"
#include "audiotestkit.h"
#include "deACM.h"

using audiotest::Pcm;
using audiotest::Suggested;

namespace {

class TestSource : public TdeAudioComponent {
public:
    TdeWaveFormat format;
    TdeAudioSubject subject{this, &format};
    IdeAudioSubject *QueryAudioSubject() override { return &subject; }
    void Push(const QByteArray &data) { subject.Notify(&subject, data.constData(), int(data.size())); }
};

class TestSink : public TdeAudioComponent {
public:
    explicit TestSink(QString name, QStringList *log) : m_name(std::move(name)), m_log(log)
    {
        observer.OnAudioUpdate = [this](IdeAudioSubject *s, const void *d, int n) {
            if (m_log)
                m_log->append(m_name);
            sizes.append(n);
            if (onUpdate)
                onUpdate(s, d, n);
        };
    }
    TdeAudioObserver observer{this};
    IdeAudioObserver *QueryAudioObserver() override { return &observer; }
    std::function<void(IdeAudioSubject *, const void *, int)> onUpdate;
    QList<int> sizes;

private:
    QString m_name;
    QStringList *m_log;
};

// Attaches the sinks to the source in the order given.
void AttachAll(TestSource &source, std::initializer_list<TestSink *> sinks)
{
    for (TestSink *sink : sinks)
        sink->observer.SetAudioSource(&source);
}

QByteArray Bytes(int n, char fill = 1)
{
    return QByteArray(n, fill);
}

} // namespace

TEST(PushProtocol, ObserversAreServedInAttachOrder)
{
    QStringList log;
    TestSource source;
    TestSink a(QStringLiteral("a"), &log), b(QStringLiteral("b"), &log), c(QStringLiteral("c"), &log);
    AttachAll(source, {&a, &b, &c});
    source.Push(Bytes(10));
    EXPECT_EQ(log, QStringList({"a", "b", "c"}));
    EXPECT_EQ(c.sizes, QList<int>({10}));
    // Moving to another source detaches from the first.
    TestSource other;
    b.observer.SetAudioSource(&other);
    log.clear();
    source.Push(Bytes(1));
    EXPECT_EQ(log, QStringList({"a", "c"}));
    EXPECT_EQ(other.subject.Observers().size(), 1);
}

TEST(PushProtocol, ObserverDetachingItselfDoesNotHideItsSuccessor)
{
    QStringList log;
    TestSource source;
    TestSink a(QStringLiteral("a"), &log), b(QStringLiteral("b"), &log), c(QStringLiteral("c"), &log);
    AttachAll(source, {&a, &b, &c});
    a.onUpdate = [&](IdeAudioSubject *, const void *, int) { a.observer.SetAudioSource(nullptr); };
    source.Push(Bytes(4));
    EXPECT_EQ(log, QStringList({"a", "b", "c"}));
    EXPECT_EQ(a.observer.AudioSource(), nullptr);
    log.clear();
    source.Push(Bytes(4));
    EXPECT_EQ(log, QStringList({"b", "c"}));
}

TEST(PushProtocol, ObserverAttachedDuringTheWalkIsServedInIt)
{
    QStringList log;
    TestSource source;
    TestSink a(QStringLiteral("a"), &log), late(QStringLiteral("late"), &log);
    a.observer.SetAudioSource(&source);
    a.onUpdate = [&](IdeAudioSubject *, const void *, int) {
        if (!late.observer.AudioSource())
            late.observer.SetAudioSource(&source);
    };
    source.Push(Bytes(2));
    EXPECT_EQ(log, QStringList({"a", "late"}));
}

TEST(PushProtocol, ObserverErrorsPropagateUnlessTheHandlerClearsTheFlag)
{
    QStringList log;
    TestSource source;
    TestSink a(QStringLiteral("a"), &log), b(QStringLiteral("b"), &log);
    AttachAll(source, {&a, &b});
    a.onUpdate = [](IdeAudioSubject *, const void *, int) { throw EACMConversionError(QStringLiteral("boom")); };
    try {
        source.Push(Bytes(2));
        FAIL();
    } catch (const EACMConversionError &e) {
        EXPECT_EQ(e.message(), QStringLiteral("boom"));
    }
    EXPECT_EQ(log, QStringList({"a"})); // the walk ends at the error

    IdeAudioObserver *reported = nullptr;
    source.subject.OnObserverError = [&](IdeAudioSubject *sender, IdeAudioObserver *observer, const Exception &e,
                                         bool &raise) {
        EXPECT_EQ(sender, &source.subject);
        EXPECT_EQ(e.message(), QStringLiteral("boom"));
        EXPECT_TRUE(raise);
        reported = observer;
        raise = false;
    };
    log.clear();
    EXPECT_NO_THROW(source.Push(Bytes(2)));
    EXPECT_EQ(reported, &a.observer);
    EXPECT_EQ(log, QStringList({"a", "b"}));

    source.subject.OnObserverError = nullptr;
    source.subject.SetRaiseObserverErrors(false);
    EXPECT_NO_THROW(source.Push(Bytes(2)));
}

TEST(PushProtocol, AttachingIsRefusedForItselfAndForNonSubjects)
{
    TdeAudioConvertor convertor;
    try {
        convertor.SetAudioSource(&convertor);
        FAIL();
    } catch (const EACMError &e) {
        EXPECT_EQ(e.message(), QStringLiteral("Component cannot observe itself."));
    }
    QObject plain;
    TestSink sink(QStringLiteral("s"), nullptr);
    try {
        convertor.SetAudioSource(&plain);
        FAIL();
    } catch (const EACMError &e) {
        EXPECT_EQ(e.message(), QStringLiteral("The selected component is not an audio subject."));
    }
    EXPECT_THROW(convertor.SetAudioSource(&sink), EACMError); // a sink only
    EXPECT_EQ(convertor.AudioSource(), nullptr);
    // A delegate passes the requests it cannot answer to its owner.
    auto *subjectDelegate = static_cast<TdeAudioSubject *>(convertor.QueryAudioSubject());
    EXPECT_EQ(SupportsAudioObserver(subjectDelegate), convertor.QueryAudioObserver());
    EXPECT_EQ(SupportsAudioSubject(&convertor), convertor.QueryAudioSubject());
}

TEST(PushProtocol, LifetimesEndTheLink)
{
    TestSink sink(QStringLiteral("s"), nullptr);
    {
        TestSource source;
        sink.observer.SetAudioSource(&source);
        EXPECT_EQ(sink.observer.AudioSource(), &source);
    }
    EXPECT_EQ(sink.observer.AudioSource(), nullptr);

    TestSource source;
    {
        TestSink shortLived(QStringLiteral("t"), nullptr);
        shortLived.observer.SetAudioSource(&source);
        EXPECT_EQ(source.subject.Observers().size(), 1);
    }
    EXPECT_TRUE(source.subject.Observers().isEmpty());
    source.Push(Bytes(3)); // nobody left to call
}

// ---------------------------------------------------------------------------------------------

namespace {
QList<QString> ChainOf(const TdeAudioConvertor &c)
{
    QList<QString> names;
    for (const TdeWaveFormat *f : c.Formats())
        names.append(f->Description());
    return names;
}
} // namespace

TEST(ConversionChain, IdenticalPcmIsOneStageAndLossless)
{
    TdeAudioConvertor c;
    c.SetFormatIn(Pcm(44100, 16, 2));
    c.SetFormatOut(Pcm(44100, 16, 2));
    c.Open();
    EXPECT_EQ(c.Stages().size(), 1);
    const QVector<int16_t> samples = audiotest::SpeechLikeSignal(44100, 0.2, 3, false);
    const QByteArray pcm = audiotest::PcmBytes(samples, 16);
    EXPECT_EQ(audiotest::ConvertAll(c, pcm, 4000), pcm);
}

TEST(ConversionChain, ChainsHaveOneToThreeStages)
{
    TdeAudioConvertor c;
    const TdeWaveFormat gsm = Suggested(WAVE_FORMAT_GSM610, Pcm(8000, 16, 1));
    c.SetFormatIn(Pcm(44100, 16, 2));
    c.SetFormatOut(gsm);
    c.Open();
    EXPECT_EQ(ChainOf(c), QList<QString>({"PCM: 44 100 Hz, 16 bitů, stereo", "PCM: 8 000 Hz, 16 bitů, mono",
                                          "GSM 6.10: 8 000 Hz, mono"}));
    c.Close();
    EXPECT_TRUE(c.Stages().isEmpty());

    // Decode, convert the PCM, encode.
    c.SetFormatIn(Suggested(WAVE_FORMAT_IMA_ADPCM, Pcm(22050, 16, 2)));
    c.Open();
    EXPECT_EQ(ChainOf(c), QList<QString>({"IMA ADPCM: 22 050 Hz, 4 bity, stereo", "PCM: 22 050 Hz, 16 bitů, stereo",
                                          "PCM: 8 000 Hz, 16 bitů, mono", "GSM 6.10: 8 000 Hz, mono"}));
    EXPECT_EQ(c.Stages().size(), 3);
    c.Close();

    // One law to the other goes through their common PCM.
    c.SetFormatIn(Suggested(WAVE_FORMAT_ALAW, Pcm(8000, 16, 1)));
    c.SetFormatOut(Suggested(WAVE_FORMAT_MULAW, Pcm(8000, 16, 1)));
    c.Open();
    EXPECT_EQ(c.Stages().size(), 2);
    const QByteArray alaw(800, char(0xD5)); // A-law +8, its smallest step above zero
    const QByteArray ulaw = audiotest::ConvertAll(c, alaw, 800);
    ASSERT_EQ(ulaw.size(), 800);
    for (char b : ulaw)
        ASSERT_EQ(uint8_t(b), 0xFE); // u-law +8
}

TEST(ConversionChain, PushSmallerThanABlockWaitsForTheNext)
{
    TdeAudioConvertor c;
    c.SetFormatIn(Pcm(8000, 16, 1));
    c.SetFormatOut(Suggested(WAVE_FORMAT_GSM610, Pcm(8000, 16, 1)));
    c.Open();
    ASSERT_EQ(c.Stages().size(), 1);
    int events = 0;
    int last = 0;
    c.OnAudioConverted = [&](QObject *sender, const void *, int n, bool &) {
        EXPECT_EQ(sender, &c);
        ++events;
        last = n;
    };
    const QByteArray half(400, 0);
    c.Convert(half.constData(), 400); // 200 of the 320 samples of a block
    EXPECT_EQ(events, 0);
    EXPECT_EQ(c.OutSize(), 0);
    EXPECT_EQ(c.OutData(), nullptr);
    c.Convert(half.constData(), 400);
    EXPECT_EQ(events, 1);
    EXPECT_EQ(last, 65);
    EXPECT_EQ(c.Stages()[0]->InFill(), 160); // the rest of the second push waits
}

TEST(ConversionChain, PreparedStageRefusesMoreThanThreeTimesItsFirstBlock)
{
    TdeAudioConvertor c;
    c.SetFormatIn(Pcm(8000, 16, 1));
    c.SetFormatOut(Suggested(WAVE_FORMAT_GSM610, Pcm(8000, 16, 1)));
    c.Open();
    const QByteArray first(1280, 0);
    c.Convert(first.constData(), 1280);
    const TMiniConvertor *stage = c.Stages()[0];
    EXPECT_TRUE(stage->IsPrepared());
    EXPECT_EQ(stage->InCapacity(), 3 * 1280);
    const QByteArray exact(3 * 1280, 0);
    EXPECT_NO_THROW(c.Convert(exact.constData(), int(exact.size())));
    EXPECT_EQ(c.OutSize(), 6 * 65);
    const QByteArray tooMuch(3 * 1280 + 1, 0);
    try {
        c.Convert(tooMuch.constData(), int(tooMuch.size()));
        FAIL();
    } catch (const EACMConversionError &e) {
        EXPECT_EQ(e.message(), QStringLiteral("Audio is too large to fit into conversion buffer"));
    }
    // The stage goes on with what fits.
    c.Convert(first.constData(), 1280);
    EXPECT_EQ(c.OutSize(), 2 * 65);
}

TEST(ConversionChain, FollowsTheFormatOfItsSource)
{
    TestSource source;
    source.format = Pcm(8000, 16, 1);
    TdeAudioConvertor c;
    c.SetFormatOut(Suggested(WAVE_FORMAT_GSM610, Pcm(8000, 16, 1)));
    c.SetAudioSource(&source);
    QList<int> outputs;
    c.OnAudioConverted = [&](QObject *, const void *, int n, bool &) { outputs.append(n); };
    // An inactive convertor opens on the first push, with the source's format.
    source.Push(QByteArray(640, 0));
    EXPECT_TRUE(c.Active());
    EXPECT_TRUE(c.FormatIn().IsEqual(source.format));
    EXPECT_EQ(c.Stages().size(), 1);
    source.format = Pcm(44100, 16, 2);
    source.Push(QByteArray(44100 / 10 * 4, 0));
    EXPECT_TRUE(c.FormatIn().IsEqual(source.format));
    EXPECT_EQ(c.Stages().size(), 2);
    c.Flush();
    ASSERT_FALSE(outputs.isEmpty());
    EXPECT_EQ(outputs.first(), 65);
    // 800 samples at 8 kHz: two blocks and a third completed with silence.
    EXPECT_EQ(std::accumulate(outputs.begin() + 1, outputs.end(), 0), 3 * 65);
}

TEST(ConversionChain, ObserversComeBeforeTheEventAndAClosingObserverEndsTheBuffer)
{
    QStringList log;
    TdeAudioConvertor c;
    c.SetFormatIn(Pcm(8000, 16, 1));
    c.SetFormatOut(Pcm(8000, 8, 1));
    TestSink sink(QStringLiteral("observer"), &log);
    sink.observer.SetAudioSource(&c);
    c.OnAudioConverted = [&](QObject *, const void *, int n, bool &abort) {
        log.append(QStringLiteral("event %1").arg(n));
        abort = true; // handed over, not acted upon
    };
    c.Open();
    const QByteArray pcm(200, 0);
    c.Convert(pcm.constData(), 200);
    EXPECT_EQ(log, QStringList({"observer", "event 100"}));
    EXPECT_TRUE(c.Abort());
    EXPECT_TRUE(c.Active());
    EXPECT_EQ(sink.observer.AudioSource(), &c);
    EXPECT_EQ(c.QueryAudioSubject()->GetFormat(), &c.FormatOut());

    // An observer that stops the convertor takes the output buffer with it: no event.
    log.clear();
    sink.onUpdate = [&](IdeAudioSubject *, const void *, int) { c.Close(); };
    c.Convert(pcm.constData(), 200);
    EXPECT_EQ(log, QStringList({"observer"}));
    EXPECT_FALSE(c.Active());
}

TEST(ConversionChain, StateErrorsAndFailedOpen)
{
    TdeAudioConvertor c;
    const QByteArray pcm(100, 0);
    try {
        c.Convert(pcm.constData(), 100);
        FAIL();
    } catch (const EACMConversionError &e) {
        EXPECT_EQ(e.message(), QStringLiteral("Cannot perform this action while not active."));
    }
    EXPECT_THROW(c.Close(), EACMConversionError);
    c.Open(); // default to default: one PCM stage
    try {
        c.Open();
        FAIL();
    } catch (const EACMConversionError &e) {
        EXPECT_EQ(e.message(), QStringLiteral("Cannot perform this action while active."));
    }
    EXPECT_THROW(c.SetRequestRealTime(true), EACMConversionError);
    c.SetActive(true); // no change, no error
    c.SetActive(false);
    c.SetRequestRealTime(true);
    EXPECT_TRUE(c.RequestRealTime());

    // The encoder cannot be read back: no path from Layer-3 to PCM.
    c.SetFormatIn(Suggested(WAVE_FORMAT_MPEGLAYER3, Pcm(8000, 16, 1)));
    c.SetFormatOut(Pcm(8000, 16, 1));
    try {
        c.Open();
        FAIL();
    } catch (const EACMConversionError &e) {
        EXPECT_EQ(e.message(), QStringLiteral("Conversion not possible."));
    }
    EXPECT_FALSE(c.Active());
    EXPECT_TRUE(c.Stages().isEmpty());
    EXPECT_TRUE(c.Formats().isEmpty());

    // An unknown output tag: the suggestion itself fails with its code's text.
    TdeWaveFormat unknown = Pcm(8000, 16, 1);
    unknown.SetFormatTag(0x7777);
    c.SetFormatIn(Pcm(8000, 16, 1));
    c.SetFormatOut(unknown);
    try {
        c.Open();
        FAIL();
    } catch (const EACMConversionError &e) {
        EXPECT_EQ(e.message(), QStringLiteral("The requested operation cannot be performed."));
    }
    EXPECT_FALSE(c.Active());
}

TEST(ConversionChain, StageOpenCloseAndState)
{
    TMiniConvertor stage(Pcm(8000, 16, 1), Suggested(WAVE_FORMAT_IMA_ADPCM, Pcm(8000, 16, 1)));
    const QByteArray pcm(2020, 0); // two blocks of 505 samples
    EXPECT_THROW(stage.Convert(pcm.constData(), 2020, true, ACM_STREAMCONVERTF_BLOCKALIGN), EACMConversionError);
    stage.Open(false);
    EXPECT_THROW(stage.Open(false), EACMError);
    EXPECT_FALSE(stage.IsPrepared());
    EXPECT_EQ(stage.Convert(pcm.constData(), 2020, true, ACM_STREAMCONVERTF_BLOCKALIGN), 512);
    EXPECT_TRUE(stage.IsPrepared());
    stage.Close();
    EXPECT_FALSE(stage.Active());
    EXPECT_FALSE(stage.IsPrepared());
    stage.Open(true); // a fresh start after closing
    EXPECT_EQ(stage.InCapacity(), 0);
    EXPECT_EQ(stage.Convert(pcm.constData(), 1000, true, ACM_STREAMCONVERTF_BLOCKALIGN), 0);
    EXPECT_EQ(stage.Convert(pcm.constData(), 1000, true, ACM_STREAMCONVERTF_BLOCKALIGN), 256);
    EXPECT_EQ(stage.InFill(), 990);
    EXPECT_EQ(stage.Convert(pcm.constData(), 20, true, ACM_STREAMCONVERTF_BLOCKALIGN), 256);
    EXPECT_EQ(stage.InFill(), 0);
}

TEST(ConversionChain, FloatingPointEnvironmentIsRestored)
{
    TdeAudioConvertor c;
    c.SetFormatIn(Pcm(44100, 16, 2));
    c.SetFormatOut(Suggested(WAVE_FORMAT_MPEGLAYER3, Pcm(22050, 16, 1)));
    c.Open();
    std::fenv_t before;
    std::fegetenv(&before);
    std::feraiseexcept(FE_INEXACT);
    const QByteArray pcm = audiotest::PcmBytes(audiotest::SpeechLikeSignal(44100, 0.5, 5, false), 16);
    c.Convert(pcm.constData(), int(pcm.size()) / 2 / 4 * 4);
    // Flags raised before the conversion survive it; the codec's own do not leak out.
    EXPECT_TRUE(std::fetestexcept(FE_INEXACT));
    std::feclearexcept(FE_ALL_EXCEPT);
    c.SetSet8087FPUFlag(false);
    c.Convert(pcm.constData(), 1000);
    std::fesetenv(&before);
}
