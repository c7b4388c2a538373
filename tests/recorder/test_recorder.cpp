#include "acmapi.h"
#include "myutils.h"
#include "capturetestkit.h"
#include "support/tempdatadir.h"
#include "udmaudio.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <gtest/gtest.h>

namespace {

// Counts boxes: background work must never open one.
class TCountingBoxes : public IMessageBoxHandler {
public:
    void showPlainMessage(const QString &) override { ++count; }
    int showBox(const QString &, const QString &, int, unsigned, int) override { return ++count, mrOk; }
    int count = 0;
};

TdeWaveFormat SuggestedFormat(uint16_t tag, const TdeWaveFormat &pcm)
{
    TdeWaveFormat format;
    format.SetFormatTag(tag);
    MMRESULT rc = acmFormatSuggest(pcm.Data(), format.Data(), TdeWaveFormat::ImageSize, ACM_FORMATSUGGESTF_WFORMATTAG);
    EXPECT_EQ(rc, MMSYSERR_NOERROR) << "tag " << tag;
    return format;
}

int LogCount(const QString &line)
{
    return QString::fromUtf8(ReadFileToString(LogFileName())).count(line);
}

class RecorderTest : public DataDirTest {
protected:
    RecorderTest()
    {
        audio.SetRecordingEnabled(true);
        audio.OnLevel = [this](TdeAudioControlSource *sender) {
            levels.append(sender);
            if (sender && (sender->PeakLeft() || sender->PeakRight()))
                ++loudLevels;
        };
        previousBoxes = MessageBoxHandler();
        SetMessageBoxHandler(&boxes);
    }
    ~RecorderTest() override { SetMessageBoxHandler(previousBoxes); }

    // Runs the recording until the driven clock has moved by ms.
    void RecordFor(uint32_t ms)
    {
        uint32_t until = clock.tickCount() + ms;
        ASSERT_TRUE(PumpUntil([&] { return clock.tickCount() >= until || !audio.Recorder().IsActive(); }));
    }

    ManualClock clock;
    VirtualInputScope input{clock};
    Tdmaudio audio;
    QList<TdeAudioControlSource *> levels;
    int loudLevels = 0;
    TCountingBoxes boxes;
    IMessageBoxHandler *previousBoxes = nullptr;
};

TEST_F(RecorderTest, DefaultFormatRecordsEighthSecondBuffersIntoAFileSoxReads)
{
    QString name = data.file("call.wav");
    audio.StartRecording(name);
    Taudiorec &recorder = audio.Recorder();
    ASSERT_TRUE(recorder.IsActive());
    EXPECT_TRUE(recorder.WaveIn().Format().IsEqual(PcmWave(11025, 8, 2)));
    EXPECT_EQ(recorder.WaveIn().BufferSize(), 2760u);
    EXPECT_EQ(recorder.StartTick(), 1000u);
    RecordFor(2000);
    audio.StopRecording();
    EXPECT_FALSE(recorder.IsActive());
    EXPECT_EQ(levels.last(), nullptr);
    EXPECT_GT(loudLevels, 0);

    // The file is complete when StopRecording returns.
    qint64 size = QFileInfo(name).size();
    EXPECT_EQ((size - 44) % 2760, 0);
    SoxView sox = SoxRead(name);
    ASSERT_TRUE(sox.Ok) << sox.Error.toStdString();
    EXPECT_EQ(sox.Channels, 2);
    EXPECT_EQ(sox.Rate, 11025);
    EXPECT_EQ(sox.Bits, 8);
    EXPECT_NEAR(sox.Seconds, 2.0, 0.26);
}

TEST_F(RecorderTest, EveryRecordFormatGivesAFileSoxReads)
{
    struct Case {
        const char *name;
        TdeWaveFormat format;
    };
    QList<Case> cases = {
        {"pcm16", PcmWave(8000, 16, 1)},
        {"pcm44", PcmWave(44100, 16, 2)},
        {"alaw", SuggestedFormat(WAVE_FORMAT_ALAW, PcmWave(8000, 16, 1))},
        {"mulaw", SuggestedFormat(WAVE_FORMAT_MULAW, PcmWave(8000, 16, 1))},
        {"ima", SuggestedFormat(WAVE_FORMAT_IMA_ADPCM, PcmWave(11025, 16, 1))},
        {"gsm", SuggestedFormat(WAVE_FORMAT_GSM610, PcmWave(8000, 16, 1))},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        audio.Recorder().SetRecordFormat(c.format);
        QString name = data.file(QStringLiteral("%1.wav").arg(QLatin1String(c.name)));
        audio.StartRecording(name);
        RecordFor(3000);
        audio.StopRecording();
        SoxView sox = SoxRead(name);
        ASSERT_TRUE(sox.Ok) << sox.Error.toStdString();
        EXPECT_EQ(sox.Channels, c.format.Channels());
        EXPECT_EQ(uint32_t(sox.Rate), c.format.SamplesPerSec());
        EXPECT_NEAR(sox.Seconds, 3.0, 0.3);
    }
}

TEST_F(RecorderTest, Mp3RecordingHoldsMpegFramesBehindItsFormat)
{
    TdeWaveFormat mp3 = SuggestedFormat(WAVE_FORMAT_MPEGLAYER3, PcmWave(22050, 16, 1));
    audio.Recorder().SetRecordFormat(mp3);
    QString name = data.file("mp3.wav");
    audio.StartRecording(name);
    RecordFor(3000);
    audio.StopRecording();
    QByteArray bytes = ReadFileToString(name);
    ASSERT_GT(bytes.size(), 100);
    uint32_t fmtSize = TdeRIFFAudioWriter::FormatChunkSize(mp3);
    EXPECT_EQ(fmtSize, 30u);
    EXPECT_EQ(bytes.mid(20, int(fmtSize)), QByteArray(reinterpret_cast<const char *>(mp3.Bytes()), int(fmtSize)));
    // The data chunk is an MPEG stream: sox decodes it as such.
    QByteArray stream = bytes.mid(28 + int(fmtSize));
    ASSERT_EQ(uchar(stream[0]), 0xFF);
    QString mpeg = data.file("mp3.mp3");
    ASSERT_TRUE(WriteStringToFile(stream, mpeg));
    SoxView sox = SoxRead(mpeg);
    ASSERT_TRUE(sox.Ok) << sox.Error.toStdString();
    EXPECT_EQ(uint32_t(sox.Rate), mp3.SamplesPerSec());
    EXPECT_NEAR(sox.Seconds, 3.0, 0.4);
}

// Counts the bytes a source pushes.
class TByteCounter : public TdeAudioComponent {
public:
    TByteCounter() : observer(this)
    {
        observer.OnAudioUpdate = [this](IdeAudioSubject *, const void *, int size) { bytes += size; };
    }
    ~TByteCounter() override { observer.SetAudioSource(nullptr); }
    IdeAudioObserver *QueryAudioObserver() override { return &observer; }
    TdeAudioObserver observer;
    qint64 bytes = 0;
};

// Samples per channel that sox decodes from a file; -1 when it cannot.
qint64 DecodedSamples(const QString &fileName, int channels)
{
    QProcess sox;
    sox.start(QStringLiteral("sox"), {fileName, QStringLiteral("-t"), QStringLiteral("raw"), QStringLiteral("-e"),
                                      QStringLiteral("signed"), QStringLiteral("-b"), QStringLiteral("16"),
                                      QStringLiteral("-")});
    if (!sox.waitForFinished(60000) || sox.exitCode() != 0)
        return -1;
    return sox.readAllStandardOutput().size() / (2 * channels);
}

TEST_F(RecorderTest, StoppingKeepsWhatTheCodecHeldBack)
{
    // A length that is no whole number of codec blocks: the partial block at the end
    // and whatever the encoder still holds must reach the file when the run stops.
    struct Case {
        const char *name;
        TdeWaveFormat format;
        qint64 frameSamples; // one block of the codec, per channel
    };
    const TdeWaveFormat mp3 = SuggestedFormat(WAVE_FORMAT_MPEGLAYER3, PcmWave(22050, 16, 1));
    const TdeWaveFormat gsm = SuggestedFormat(WAVE_FORMAT_GSM610, PcmWave(8000, 16, 1));
    for (const Case &c : {Case{"gsm", gsm, 320}, Case{"mp3", mp3, 576}}) {
        SCOPED_TRACE(c.name);
        audio.Recorder().SetRecordFormat(c.format);
        const QString name = data.file(QStringLiteral("%1.wav").arg(QLatin1String(c.name)));
        audio.StartRecording(name);
        TByteCounter captured;
        captured.observer.SetAudioSource(&audio.Recorder().WaveIn());
        RecordFor(1900);
        const TdeWaveFormat capture = audio.Recorder().WaveIn().Format();
        audio.StopRecording();
        const qint64 input = captured.bytes / capture.BlockAlign();
        ASSERT_GT(input, 0);
        ASSERT_NE(input % c.frameSamples, 0) << "the test wants a partial last block";

        QString decodable = name;
        qint64 delay = 0;
        if (c.format.FormatTag() == WAVE_FORMAT_MPEGLAYER3) {
            // sox reads the MPEG stream on its own; the decoder puts the codec's delay in front.
            const QByteArray bytes = ReadFileToString(name);
            decodable = data.file("mp3.mp3");
            ASSERT_TRUE(WriteStringToFile(bytes.mid(28 + int(TdeRIFFAudioWriter::FormatChunkSize(c.format))), decodable));
            delay = reinterpret_cast<const MPEGLAYER3WAVEFORMAT *>(c.format.Data())->nCodecDelay;
        }
        const qint64 decoded = DecodedSamples(decodable, c.format.Channels());
        ASSERT_GE(decoded, 0);
        EXPECT_GE(decoded - delay, input) << "decoded " << decoded << " of " << input;
        EXPECT_LT(decoded - delay, input + c.frameSamples) << "decoded " << decoded << " of " << input;
    }
}

TEST_F(RecorderTest, LengthLimitEndsTheRunWithALogLineAndNoMessage)
{
    audio.Recorder().SetMaxMinutes(1);
    QString name = data.file("long.wav");
    audio.StartRecording(name);
    RecordFor(120000);
    EXPECT_FALSE(audio.Recorder().IsActive());
    EXPECT_EQ(LogCount(QStringLiteral("Dosažen nahrávací limit, nahrávání je ukončeno.")), 1);
    EXPECT_EQ(boxes.count, 0);
    // The level displays were told that the run ended.
    EXPECT_EQ(levels.last(), nullptr);
    // The call ends later: nothing runs any more, and the file holds one minute.
    audio.StopRecording();
    SoxView sox = SoxRead(name);
    ASSERT_TRUE(sox.Ok) << sox.Error.toStdString();
    EXPECT_GE(sox.Seconds, 60.0);
    EXPECT_LE(sox.Seconds, 60.25);
}

TEST_F(RecorderTest, ARunEndedByTheLimitKeepsTheCodecsEndToo)
{
    // The limit stops the run from inside the converter's own output: the end of the
    // stream is still flushed into the file, once.
    audio.Recorder().SetRecordFormat(SuggestedFormat(WAVE_FORMAT_GSM610, PcmWave(8000, 16, 1)));
    audio.Recorder().SetMaxMinutes(1);
    const QString name = data.file("limit.gsm.wav");
    audio.StartRecording(name);
    RecordFor(61000);
    EXPECT_FALSE(audio.Recorder().IsActive());
    audio.StopRecording();
    EXPECT_EQ(LogCount(Taudiorec::LimitReachedText()), 1);
    // Whole GSM blocks after the header: the flushed block is complete.
    const QByteArray bytes = ReadFileToString(name);
    const int dataAt = int(bytes.indexOf("data")) + 8;
    ASSERT_GT(dataAt, 8);
    EXPECT_EQ((bytes.size() - dataAt) % 65, 0);
    SoxView sox = SoxRead(name);
    ASSERT_TRUE(sox.Ok) << sox.Error.toStdString();
    EXPECT_GE(sox.Seconds, 60.0);
    EXPECT_LE(sox.Seconds, 60.25);
}

TEST_F(RecorderTest, FileSizeLimitEndsTheRunWithACompleteFile)
{
    audio.Recorder().SetFileSizeLimit(44 + 3 * 2760 + 100);
    QString name = data.file("full.wav");
    audio.StartRecording(name);
    RecordFor(2000);
    EXPECT_FALSE(audio.Recorder().IsActive());
    EXPECT_EQ(LogCount(Taudiorec::FileFullText()), 1);
    audio.StopRecording();
    EXPECT_EQ(QFileInfo(name).size(), 44 + 3 * 2760);
    SoxView sox = SoxRead(name);
    ASSERT_TRUE(sox.Ok) << sox.Error.toStdString();
    EXPECT_NEAR(sox.Seconds, 0.375, 0.001);
}

TEST_F(RecorderTest, ALongSilenceIsFoundOncePerRecording)
{
    audio.SetSilenceDetection(true);
    audio.SetSilenceMaxSeconds(5);
    audio.SetSilencePeakLevel(1000);
    uint32_t found = 0;
    auto forward = audio.OnLevel;
    audio.OnLevel = [&](TdeAudioControlSource *sender) {
        forward(sender);
        if (audio.SilenceState() == 1 && found == 0)
            found = clock.tickCount();
    };
    audio.StartRecording(data.file("quiet.wav"));
    uint32_t start = clock.tickCount();
    // Talk until shortly before 20 s, then quiet: found a little over 5 s into the
    // quiet stretch, with the resolution of one buffer.
    RecordFor(27000);
    ASSERT_NE(found, 0u);
    EXPECT_GT(found - start, 24000u);
    EXPECT_LT(found - start, 25400u);
    EXPECT_EQ(audio.SilenceStart(), 0u);
    // Reported by the main window; the next quiet stretch changes nothing.
    audio.SetSilenceState(2);
    RecordFor(30000);
    EXPECT_EQ(audio.SilenceState(), 2);
    audio.StopRecording();
    // The next recording starts afresh.
    audio.StartRecording(data.file("quiet2.wav"));
    EXPECT_EQ(audio.SilenceState(), 0);
    audio.StopRecording();
}

// Drives the silence logic with buffers of chosen loudness, an eighth of a second apart.
class SilenceTest : public RecorderTest {
protected:
    class TSource : public TdeAudioComponent {
    public:
        TSource() : format(PcmWave(48000, 16, 2)), subject(this, &format) {}
        IdeAudioSubject *QueryAudioSubject() override { return &subject; }
        TdeWaveFormat format;
        TdeAudioSubject subject;
    };
    void SetUp() override
    {
        audio.Recorder().LevelSource()->SetAudioSource(&source);
        audio.SetSilenceDetection(true);
        audio.SetSilenceMaxSeconds(5);
        audio.SetSilencePeakLevel(1000);
    }
    void TearDown() override { audio.Recorder().LevelSource()->SetAudioSource(nullptr); }
    void Buffers(int count, int16_t peak)
    {
        QList<int16_t> samples(2 * 6000, 0);
        samples[10] = peak;
        for (int i = 0; i < count; ++i) {
            source.subject.Notify(&source.subject, samples.constData(), int(samples.size() * 2));
            clock.advance(125);
        }
    }
    TSource source;
};

TEST_F(SilenceTest, OneLoudBufferStartsTheCountAgain)
{
    Buffers(40, 999); // 5 s below the level: not yet longer than 5 s
    EXPECT_EQ(audio.SilenceState(), 0);
    EXPECT_NE(audio.SilenceStart(), 0u);
    Buffers(1, 1000);
    EXPECT_EQ(audio.SilenceStart(), 0u);
    Buffers(41, 10);
    EXPECT_EQ(audio.SilenceState(), 0);
    Buffers(1, 10);
    EXPECT_EQ(audio.SilenceState(), 1);
    EXPECT_EQ(audio.SilenceStart(), 0u);
    EXPECT_EQ(levels.size(), 83);
}

TEST_F(SilenceTest, NoLevelOrNoLengthMeansNoDetection)
{
    audio.SetSilencePeakLevel(0);
    Buffers(80, 0);
    EXPECT_EQ(audio.SilenceState(), 0);
    audio.SetSilencePeakLevel(1000);
    audio.SetSilenceMaxSeconds(0);
    Buffers(80, 0);
    EXPECT_EQ(audio.SilenceState(), 0);
    audio.SetSilenceMaxSeconds(5);
    audio.SetSilenceDetection(false);
    Buffers(80, 0);
    EXPECT_EQ(audio.SilenceState(), 0);
    EXPECT_EQ(audio.SilenceStart(), 0u);
}

TEST_F(RecorderTest, SoundMonitorMeasuresWithoutAFile)
{
    audio.StartRecording(QString());
    RecordFor(3000);
    EXPECT_GT(loudLevels, 5);
    EXPECT_EQ(audio.Recorder().LevelSource()->AudioSource(), &audio.Recorder().WaveIn());
    audio.StopRecording();
    EXPECT_EQ(audio.Recorder().LevelSource()->AudioSource(), nullptr);
    QStringList files = QDir(data.path()).entryList(QDir::Files);
    files.removeAll(QStringLiteral("tembrel.log"));
    EXPECT_TRUE(files.isEmpty()) << files.join(QLatin1Char(' ')).toStdString();
}

TEST_F(RecorderTest, DeviceIsFoundByNameAndAVanishedNameKeepsTheNumber)
{
    Taudiorec &recorder = audio.Recorder();
    EXPECT_EQ(recorder.DeviceID(), -1);
    recorder.SetDeviceName(QStringLiteral("Simulovaný vstup"));
    audio.StartRecording(QString());
    EXPECT_EQ(recorder.DeviceID(), 0);
    audio.StopRecording();

    recorder.SetDeviceID(0);
    recorder.SetDeviceName(QStringLiteral("USB Headset"));
    audio.StartRecording(QString());
    EXPECT_TRUE(recorder.IsActive());
    EXPECT_EQ(recorder.DeviceID(), 0);
    audio.StopRecording();
    // Letter case counts.
    recorder.SetDeviceID(-1);
    recorder.SetDeviceName(QStringLiteral("simulovaný vstup"));
    audio.StartRecording(QString());
    EXPECT_EQ(recorder.DeviceID(), -1);
    audio.StopRecording();
}

TEST_F(RecorderTest, RecordingOperationsFollowTheTwoSwitches)
{
    QString name = data.file("old.wav");
    ASSERT_TRUE(WriteStringToFile("old recording", name));
    audio.SetRecordingEnabled(false);
    audio.StartRecording(name);
    EXPECT_FALSE(audio.Recorder().IsActive());
    EXPECT_EQ(ReadFileToString(name), QByteArray("old recording"));
    audio.StopRecording();
    EXPECT_TRUE(levels.isEmpty());

    audio.SetRecordingEnabled(true);
    audio.SetInputDeviceAvailable(false);
    audio.StartRecording(name);
    EXPECT_FALSE(audio.Recorder().IsActive());
    audio.SetInputDeviceAvailable(true);

    // Stopping when nothing runs only tells the level displays.
    audio.StopRecording();
    audio.StopRecording();
    EXPECT_EQ(levels, (QList<TdeAudioControlSource *>{nullptr, nullptr, nullptr, nullptr}));

    // An existing file of that name is replaced by the new recording.
    audio.StartRecording(name);
    RecordFor(500);
    audio.StopRecording();
    QByteArray bytes = ReadFileToString(name);
    EXPECT_TRUE(bytes.startsWith("RIFF"));
}

TEST_F(RecorderTest, AFailedStartIsCleanedUpByTheNextStop)
{
    audio.Recorder().SetDeviceID(9);
    try {
        audio.StartRecording(data.file("failed.wav"));
        FAIL() << "the start should fail";
    } catch (const EACMAudioInError &e) {
        EXPECT_EQ(e.message(), QStringLiteral("Error opening audio device for input.\r\nBad device ID."));
    }
    EXPECT_FALSE(audio.Recorder().IsActive());
    audio.StopRecording();
    // The file the failed start created is closed and can go.
    EXPECT_TRUE(QFile::remove(data.file("failed.wav")));
    audio.Recorder().SetDeviceID(-1);
    // A file that cannot be created is an error of the start as well.
    EXPECT_THROW(audio.StartRecording(data.file("no/such/folder.wav")), Exception);
    EXPECT_FALSE(audio.Recorder().IsActive());
    audio.StopRecording();
    audio.StartRecording(data.file("next.wav"));
    EXPECT_TRUE(audio.Recorder().IsActive());
    audio.StopRecording();
}

TEST_F(RecorderTest, AStopThatFailsHalfwayStillEndsTheRunAndCompletesTheFile)
{
    // A level display that fails when the levels fall to zero must not keep the
    // device capturing or the recording file open.
    bool failOnZero = true;
    audio.OnLevel = [&](TdeAudioControlSource *sender) {
        if (!sender && failOnZero)
            throw Exception(QStringLiteral("display gone"));
    };
    QString first = data.file("first.wav");
    audio.StartRecording(first);
    RecordFor(1000);
    EXPECT_THROW(audio.StopRecording(), Exception);
    EXPECT_FALSE(audio.Recorder().IsActive());
    SoxView sox = SoxRead(first);
    ASSERT_TRUE(sox.Ok) << sox.Error.toStdString();
    EXPECT_NEAR(sox.Seconds, 1.0, 0.26);
    // The file is no longer written to.
    const qint64 size = QFileInfo(first).size();
    DrainEvents();
    EXPECT_EQ(QFileInfo(first).size(), size);

    failOnZero = false;
    QString second = data.file("second.wav");
    audio.StartRecording(second);
    RecordFor(500);
    audio.StopRecording();
    sox = SoxRead(second);
    ASSERT_TRUE(sox.Ok) << sox.Error.toStdString();
    EXPECT_NEAR(sox.Seconds, 0.5, 0.26);
    EXPECT_EQ(QFileInfo(first).size(), size);
}

TEST_F(RecorderTest, ASoundMonitorAfterAFailedStartWritesNoFile)
{
    QString failed = data.file("failed.wav");
    audio.Recorder().SetDeviceID(9);
    EXPECT_THROW(audio.StartRecording(failed), Exception);
    const qint64 size = QFileInfo(failed).size();
    audio.Recorder().SetDeviceID(-1);
    audio.StartRecording(QString());
    RecordFor(500);
    EXPECT_GT(loudLevels, 0);
    audio.StopRecording();
    EXPECT_EQ(QFileInfo(failed).size(), size);
}

TEST_F(RecorderTest, DestroyingTheModuleWhileRecordingLeavesACompleteFile)
{
    QString name = data.file("cut.wav");
    {
        auto module = std::make_unique<Tdmaudio>();
        module->SetRecordingEnabled(true);
        module->StartRecording(name);
        uint32_t until = clock.tickCount() + 1000;
        ASSERT_TRUE(PumpUntil([&] { return clock.tickCount() >= until; }));
    }
    DrainEvents();
    SoxView sox = SoxRead(name);
    ASSERT_TRUE(sox.Ok) << sox.Error.toStdString();
    EXPECT_NEAR(sox.Seconds, 1.0, 0.26);
}

} // namespace
