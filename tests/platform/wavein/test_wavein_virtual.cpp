#include "codepage1250.h"
#include "simulatedwavein.h"
#include "support/manualclock.h"
#include "waveinregistry.h"
#include "waveintestkit.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtEndian>
#include <gtest/gtest.h>
#include <cmath>
#include <memory>
#include <vector>

namespace {

// The virtual input alone, on a clock the test drives.
class VirtualInputTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        TWaveInRegistry::Instance().EnableSoundSystem(false);
        EnableSimulatedInput(true);
        SimulatedInput().Signal().UseGeneratedSignal();
        SimulatedInput().SetDrivenClock([this](uint32_t ms) { clock.advance(ms); });
    }
    void TearDown() override
    {
        SimulatedInput().SetDrivenClock(nullptr);
        SimulatedInput().Signal().UseGeneratedSignal();
        EnableSimulatedInput(false);
        TWaveInRegistry::Instance().EnableSoundSystem(true);
    }

    // A buffer the test owns, as the wave-in component would.
    struct Buffer {
        explicit Buffer(uint32_t size) : data(size)
        {
            header = WAVEHDR{};
            header.lpData = data.data();
            header.dwBufferLength = size;
        }
        std::vector<char> data;
        WAVEHDR header;
    };

    ManualClock clock;
    TRecordingWindow window;
};

TEST_F(VirtualInputTest, IsListedOnlyWhenOfferedWithItsCzechName)
{
    ASSERT_EQ(waveInGetNumDevs(), 1u);
    WAVEINCAPS caps;
    ASSERT_EQ(waveInGetDevCaps(0, &caps, sizeof caps), MMSYSERR_NOERROR);
    EXPECT_EQ(DecodeCp1250(QByteArray(caps.szPname)), QStringLiteral("Simulovaný vstup"));
    EXPECT_EQ(caps.wChannels, 2);
    EXPECT_EQ(caps.wMid, MM_WAVEIN_VIRTUAL);
    EXPECT_EQ(waveInGetDevCaps(1, &caps, sizeof caps), MMSYSERR_BADDEVICEID);

    EnableSimulatedInput(false);
    EXPECT_EQ(waveInGetNumDevs(), 0u);
    HWAVEIN handle = nullptr;
    WAVEFORMATEX format = PcmFormat(8000, 16, 1);
    EXPECT_EQ(waveInOpen(&handle, WAVE_MAPPER, &format, &window, 0, CALLBACK_WINDOW), MMSYSERR_BADDEVICEID);
}

TEST_F(VirtualInputTest, OpenRefusesWhatNoDeviceCaptures)
{
    HWAVEIN handle = nullptr;
    WAVEFORMATEX gsm = PcmFormat(8000, 16, 1);
    gsm.wFormatTag = WAVE_FORMAT_GSM610;
    EXPECT_EQ(waveInOpen(&handle, 0, &gsm, &window, 0, CALLBACK_WINDOW), WAVERR_BADFORMAT);
    EXPECT_EQ(waveInOpen(&handle, 0, &gsm, &window, 0, CALLBACK_WINDOW | WAVE_MAPPED), WAVERR_BADFORMAT);
    WAVEFORMATEX odd = PcmFormat(8000, 16, 1);
    odd.nBlockAlign = 3;
    EXPECT_EQ(waveInOpen(&handle, 0, &odd, &window, 0, CALLBACK_WINDOW), WAVERR_BADFORMAT);
    WAVEFORMATEX pcm = PcmFormat(8000, 16, 1);
    EXPECT_EQ(waveInOpen(&handle, 5, &pcm, &window, 0, CALLBACK_WINDOW), MMSYSERR_BADDEVICEID);
    EXPECT_EQ(waveInOpen(nullptr, 0, &pcm, nullptr, 0, WAVE_FORMAT_QUERY), MMSYSERR_NOERROR);
    EXPECT_EQ(waveInStart(reinterpret_cast<HWAVEIN>(&window)), MMSYSERR_INVALHANDLE);
}

TEST_F(VirtualInputTest, BuffersCirculateAndResetDropsWhatWasNotDelivered)
{
    HWAVEIN handle = nullptr;
    WAVEFORMATEX format = PcmFormat(8000, 16, 1);
    ASSERT_EQ(waveInOpen(&handle, WAVE_MAPPER, &format, &window, 0, CALLBACK_WINDOW), MMSYSERR_NOERROR);
    Buffer a(1600), b(1600), unprepared(1600);
    EXPECT_EQ(waveInAddBuffer(handle, &unprepared.header, sizeof(WAVEHDR)), WAVERR_UNPREPARED);
    for (Buffer *buffer : {&a, &b}) {
        ASSERT_EQ(waveInPrepareHeader(handle, &buffer->header, sizeof(WAVEHDR)), MMSYSERR_NOERROR);
        ASSERT_EQ(waveInAddBuffer(handle, &buffer->header, sizeof(WAVEHDR)), MMSYSERR_NOERROR);
    }
    EXPECT_EQ(waveInAddBuffer(handle, &a.header, sizeof(WAVEHDR)), WAVERR_STILLPLAYING);
    EXPECT_EQ(waveInUnprepareHeader(handle, &a.header, sizeof(WAVEHDR)), WAVERR_STILLPLAYING);
    // Delivered buffers go straight back, as the wave-in component does, until the
    // fifth buffer: then the two remaining ones run out.
    window.OnMessage = [&](const TRecordingWindow::Message &m) {
        if (m.Msg == MM_WIM_DATA && window.Count(MM_WIM_DATA) < 4)
            waveInAddBuffer(handle, m.Header, sizeof(WAVEHDR));
    };
    ASSERT_EQ(waveInStart(handle), MMSYSERR_NOERROR);
    ASSERT_TRUE(PumpUntil([&] { return window.Count(MM_WIM_DATA) == 5; }));
    DrainEvents();
    ASSERT_EQ(window.Count(MM_WIM_DATA), 5);
    EXPECT_EQ(window.Messages.first().Msg, MM_WIM_OPEN);
    for (const auto &m : window.Messages) {
        if (m.Msg != MM_WIM_DATA)
            continue;
        EXPECT_EQ(m.Bytes, 1600u);
        EXPECT_TRUE(m.Flags & WHDR_DONE);
        EXPECT_FALSE(m.Flags & WHDR_INQUEUE);
    }
    // Five buffers of 100 ms each moved the driven clock by half a second.
    EXPECT_EQ(clock.tickCount(), 1000u + 500u);

    // A stopped device keeps its queued buffers; closing is refused until a reset
    // takes them back.
    ASSERT_EQ(waveInStop(handle), MMSYSERR_NOERROR);
    ASSERT_EQ(waveInAddBuffer(handle, &a.header, sizeof(WAVEHDR)), MMSYSERR_NOERROR);
    DrainEvents();
    EXPECT_TRUE(a.header.dwFlags & WHDR_INQUEUE);
    EXPECT_EQ(waveInClose(handle), WAVERR_STILLPLAYING);
    ASSERT_EQ(waveInReset(handle), MMSYSERR_NOERROR);
    for (Buffer *buffer : {&a, &b}) {
        EXPECT_FALSE(buffer->header.dwFlags & WHDR_INQUEUE);
        EXPECT_TRUE(buffer->header.dwFlags & WHDR_DONE);
        EXPECT_EQ(waveInUnprepareHeader(handle, &buffer->header, sizeof(WAVEHDR)), MMSYSERR_NOERROR);
    }
    int delivered = window.Count(MM_WIM_DATA);
    EXPECT_EQ(waveInClose(handle), MMSYSERR_NOERROR);
    DrainEvents();
    EXPECT_EQ(window.Count(MM_WIM_DATA), delivered);
    EXPECT_EQ(window.Messages.last().Msg, MM_WIM_CLOSE);
    EXPECT_EQ(waveInStart(handle), MMSYSERR_INVALHANDLE);
}

// A session fed by the test itself, as a driver thread would feed it.
class TFedSession : public TWaveInSession {
public:
    using TWaveInSession::TWaveInSession;
    size_t Feed(const QByteArray &bytes) { return Deliver(bytes.constData(), size_t(bytes.size())); }
};

TEST(WaveInSession, FilledBuffersOfAResetDeviceNeverArriveAndExtraBytesAreLost)
{
    TRecordingWindow window;
    TFedSession session(PcmFormat(8000, 8, 1), &window, 7);
    std::vector<char> a(4), b(4);
    WAVEHDR ha{}, hb{};
    ha.lpData = a.data();
    ha.dwBufferLength = 4;
    hb.lpData = b.data();
    hb.dwBufferLength = 4;
    session.Prepare(&ha);
    session.Prepare(&hb);
    session.Add(&ha);
    session.Add(&hb);
    // Nothing is taken before the start.
    EXPECT_EQ(session.Feed("xx"), 0u);
    session.Start();
    EXPECT_EQ(session.Feed("abcdef"), 6u);
    DrainEvents();
    ASSERT_EQ(window.Count(MM_WIM_DATA), 1);
    EXPECT_EQ(window.Messages[0].Data, QByteArray("abcd"));
    EXPECT_EQ(window.Messages[0].Header, &ha);
    EXPECT_EQ(hb.dwBytesRecorded, 2u);
    // The second buffer fills, but the device is reset before the message is delivered.
    EXPECT_EQ(session.Feed("ghijkl"), 2u);
    EXPECT_TRUE(hb.dwFlags & WHDR_DONE);
    session.Reset();
    DrainEvents();
    EXPECT_EQ(window.Count(MM_WIM_DATA), 1);
    EXPECT_EQ(session.Close(), MMSYSERR_NOERROR);
}

TEST_F(VirtualInputTest, RealTimePaceFollowsTheTickCount)
{
    SimulatedInput().SetDrivenClock(nullptr);
    HWAVEIN handle = nullptr;
    WAVEFORMATEX format = PcmFormat(8000, 16, 1);
    ASSERT_EQ(waveInOpen(&handle, 0, &format, &window, 0, CALLBACK_WINDOW), MMSYSERR_NOERROR);
    Buffer a(1600), b(1600), c(1600);
    for (Buffer *buffer : {&a, &b, &c}) {
        waveInPrepareHeader(handle, &buffer->header, sizeof(WAVEHDR));
        waveInAddBuffer(handle, &buffer->header, sizeof(WAVEHDR));
    }
    waveInStart(handle);
    DrainEvents();
    EXPECT_EQ(window.Count(MM_WIM_DATA), 0);
    // 250 ms of audio: two full buffers and half of the third.
    clock.advance(250);
    ASSERT_TRUE(PumpUntil([&] { return window.Count(MM_WIM_DATA) == 2 && c.header.dwBytesRecorded == 800; }));
    // waveInStop hands the partly filled buffer back with what it holds.
    waveInStop(handle);
    ASSERT_TRUE(PumpUntil([&] { return window.Count(MM_WIM_DATA) == 3; }));
    EXPECT_EQ(window.Messages.last().Bytes, 800u);
    waveInReset(handle);
    waveInClose(handle);
}

// Peak of |x| over windows of an eighth of a second of the generated signal.
std::vector<int> EighthPeaks(double from, double to)
{
    WAVEFORMATEX format = PcmFormat(8000, 16, 1);
    std::vector<int> peaks;
    TSimulatedSignal signal;
    for (double t = from; t < to; t += 0.125) {
        std::vector<int16_t> samples(1000);
        signal.Render(format, uint64_t(t * 8000), reinterpret_cast<char *>(samples.data()), 1000);
        int peak = 0;
        for (int16_t s : samples)
            peak = std::max(peak, std::abs(int(s)));
        peaks.push_back(peak);
    }
    return peaks;
}

TEST(SimulatedSignal, TalksInBurstsThenGoesQuietEveryCycle)
{
    std::vector<int> talk = EighthPeaks(0, TSimulatedSignal::TalkSeconds);
    int loud = 0, pauses = 0;
    for (int p : talk) {
        loud += p > 5000;
        pauses += p < 200;
    }
    EXPECT_GT(loud, int(talk.size()) / 3);
    EXPECT_GT(pauses, 10);
    for (double cycle : {0.0, TSimulatedSignal::CycleSeconds}) {
        std::vector<int> quiet = EighthPeaks(cycle + TSimulatedSignal::TalkSeconds, cycle + TSimulatedSignal::CycleSeconds);
        EXPECT_LT(*std::max_element(quiet.begin(), quiet.end()), 200);
    }
    // The same signal on every run and in every cycle.
    EXPECT_EQ(EighthPeaks(3, 6), EighthPeaks(3 + TSimulatedSignal::CycleSeconds, 6 + TSimulatedSignal::CycleSeconds));
}

QByteArray WaveFile(uint32_t rate, uint16_t bits, uint16_t channels, const QByteArray &data)
{
    QByteArray file("RIFF");
    auto u32 = [&](uint32_t v) {
        char b[4];
        qToLittleEndian(v, b);
        file.append(b, 4);
    };
    auto u16 = [&](uint16_t v) {
        char b[2];
        qToLittleEndian(v, b);
        file.append(b, 2);
    };
    u32(uint32_t(4 + 8 + 16 + 8 + data.size() + 8 + 3 + 1));
    file.append("WAVE");
    // An unknown odd-sized chunk first: readers must skip it with its pad byte.
    file.append("junk");
    u32(3);
    file.append("abc", 3);
    file.append('\0');
    file.append("fmt ");
    u32(16);
    u16(WAVE_FORMAT_PCM);
    u16(channels);
    u32(rate);
    u32(rate * channels * bits / 8);
    u16(uint16_t(channels * bits / 8));
    u16(bits);
    file.append("data");
    u32(uint32_t(data.size()));
    file.append(data);
    return file;
}

TEST(SimulatedSignal, PlaysAWaveFileInALoopInTheCaptureLayout)
{
    QTemporaryDir dir;
    QByteArray ramp;
    for (int i = 0; i < 100; ++i) {
        int16_t v = int16_t(i * 300 - 15000);
        ramp.append(reinterpret_cast<const char *>(&v), 2);
    }
    QFile file(dir.filePath("ramp.wav"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(WaveFile(8000, 16, 1, ramp));
    file.close();

    TSimulatedSignal signal;
    QString error;
    ASSERT_TRUE(signal.LoadWaveFile(file.fileName(), &error)) << error.toStdString();
    // Same rate, mono file into a stereo capture: both channels carry the file, and
    // after the last frame it starts again.
    WAVEFORMATEX stereo = PcmFormat(8000, 16, 2);
    std::vector<int16_t> out(2 * 150);
    signal.Render(stereo, 0, reinterpret_cast<char *>(out.data()), 150);
    for (int i = 0; i < 150; ++i) {
        int16_t expected = int16_t((i % 100) * 300 - 15000);
        ASSERT_EQ(out[size_t(2 * i)], expected) << i;
        ASSERT_EQ(out[size_t(2 * i + 1)], expected) << i;
    }
    // 8-bit capture is unsigned around 128.
    WAVEFORMATEX eight = PcmFormat(8000, 8, 1);
    std::vector<unsigned char> bytes(100);
    signal.Render(eight, 50, reinterpret_cast<char *>(bytes.data()), 1);
    EXPECT_NEAR(bytes[0], 128, 1);

    QFile bad(dir.filePath("bad.wav"));
    ASSERT_TRUE(bad.open(QIODevice::WriteOnly));
    bad.write("RIFF\0\0\0\0WAVEdata", 16);
    bad.close();
    EXPECT_FALSE(signal.LoadWaveFile(bad.fileName(), &error));
    EXPECT_TRUE(error.contains(QStringLiteral("no format")));
    EXPECT_FALSE(signal.LoadWaveFile(dir.filePath("missing.wav"), &error));
    // The loaded file stays in use after a failed load.
    EXPECT_TRUE(signal.UsesFile());
}

TEST(SimulatedSignal, SwitchesOfferTheInputAndNameItsFile)
{
    QTemporaryDir dir;
    QString name = dir.filePath("in.wav");
    QFile file(name);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(WaveFile(11025, 8, 2, QByteArray(400, char(200))));
    file.close();

    EnableSimulatedInput(false);
    QString error;
    EXPECT_TRUE(ApplySimulatedInputSwitches({QStringLiteral("/SIMULATE")}, &error));
    EXPECT_TRUE(SimulatedInputEnabled());
    EnableSimulatedInput(false);
    EXPECT_TRUE(ApplySimulatedInputSwitches({QStringLiteral("-simulatewave=") + name}, &error));
    EXPECT_TRUE(SimulatedInputEnabled());
    EXPECT_TRUE(SimulatedInput().Signal().UsesFile());
    EXPECT_FALSE(ApplySimulatedInputSwitches({QStringLiteral("/simulatewave=") + dir.filePath("none.wav")}, &error));
    EXPECT_FALSE(error.isEmpty());
    SimulatedInput().Signal().UseGeneratedSignal();
    EnableSimulatedInput(false);
}

} // namespace
