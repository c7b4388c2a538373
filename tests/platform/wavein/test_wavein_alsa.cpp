#include "codepage1250.h"
#include "waveinregistry.h"
#include "waveintestkit.h"

#include <alsa/asoundlib.h>

#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>
#include <cmath>
#include <vector>

namespace {

// ALSA itself, configured by the test: a capture PCM of the "file" plugin that reads
// a raw file the test wrote, over the "null" plugin, so the captured bytes are known.
class AlsaCaptureTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (int i = 0; i < 16000; ++i) {
            int16_t v = int16_t(std::lround(20000 * std::sin(i * 0.05)) + (i % 7));
            input.append(reinterpret_cast<const char *>(&v), 2);
        }
        QFile raw(dir.filePath("in.raw"));
        ASSERT_TRUE(raw.open(QIODevice::WriteOnly));
        raw.write(input);
        raw.close();
        QString pcm = QStringLiteral(
            "pcm.%1 {\n type file\n slave { pcm { type null } }\n file \"/dev/null\"\n infile \"%2\"\n"
            " format \"raw\"\n hint { show on description \"Test capture\" }\n}\n");
        QString config = pcm.arg(QStringLiteral("tembreltest"), raw.fileName()) +
                         pcm.arg(QStringLiteral("tembreltest2"), raw.fileName()) +
                         // Listed by its hint, but no such card: not a device.
                         QStringLiteral("pcm.broken {\n type hw\n card 9\n hint { show on description \"Broken\" }\n}\n");
        QFile conf(dir.filePath("asound.conf"));
        ASSERT_TRUE(conf.open(QIODevice::WriteOnly));
        conf.write(config.toUtf8());
        conf.close();
        qputenv("ALSA_CONFIG_PATH", conf.fileName().toLocal8Bit());
        snd_config_update_free_global();
        EnableSimulatedInput(false);
        TWaveInRegistry::Instance().EnableSoundSystem(true);
    }
    void TearDown() override
    {
        qunsetenv("ALSA_CONFIG_PATH");
        snd_config_update_free_global();
        TWaveInRegistry::Instance().Enumerate();
    }

    QTemporaryDir dir;
    QByteArray input;
};

TEST_F(AlsaCaptureTest, ListsTheCapturePcmsThatOpenUnderUniqueNames)
{
    uint32_t count = waveInGetNumDevs();
    if (count == 0)
        GTEST_SKIP() << "this ALSA library cannot open a capture PCM of the file plugin over the null plugin";
    ASSERT_EQ(count, 2u);
    WAVEINCAPS caps;
    ASSERT_EQ(waveInGetDevCaps(0, &caps, sizeof caps), MMSYSERR_NOERROR);
    EXPECT_EQ(DecodeCp1250(QByteArray(caps.szPname)), QStringLiteral("Test capture"));
    EXPECT_EQ(caps.wMid, MM_WAVEIN_ALSA);
    EXPECT_GE(caps.vDriverVersion, 0x0100u);
    ASSERT_EQ(waveInGetDevCaps(1, &caps, sizeof caps), MMSYSERR_NOERROR);
    EXPECT_EQ(DecodeCp1250(QByteArray(caps.szPname)), QStringLiteral("Test capture #2"));

    // With the virtual input offered it comes after the sound system's devices.
    EnableSimulatedInput(true);
    EXPECT_EQ(waveInGetNumDevs(), 3u);
    ASSERT_EQ(waveInGetDevCaps(2, &caps, sizeof caps), MMSYSERR_NOERROR);
    EXPECT_EQ(DecodeCp1250(QByteArray(caps.szPname)), QStringLiteral("Simulovaný vstup"));
    EnableSimulatedInput(false);
}

TEST_F(AlsaCaptureTest, CapturesTheDeviceInputIntoTheQueuedBuffersOnTheMainThread)
{
    if (waveInGetNumDevs() == 0)
        GTEST_SKIP() << "this ALSA library cannot open a capture PCM of the file plugin over the null plugin";
    TRecordingWindow window;
    HWAVEIN handle = nullptr;
    WAVEFORMATEX format = PcmFormat(8000, 16, 1);
    ASSERT_EQ(waveInOpen(&handle, 0, &format, &window, 0, CALLBACK_WINDOW), MMSYSERR_NOERROR);
    std::vector<std::vector<char>> memory(4, std::vector<char>(1600));
    std::vector<WAVEHDR> headers(4);
    for (int i = 0; i < 4; ++i) {
        headers[size_t(i)] = WAVEHDR{};
        headers[size_t(i)].lpData = memory[size_t(i)].data();
        headers[size_t(i)].dwBufferLength = 1600;
        ASSERT_EQ(waveInPrepareHeader(handle, &headers[size_t(i)], sizeof(WAVEHDR)), MMSYSERR_NOERROR);
        ASSERT_EQ(waveInAddBuffer(handle, &headers[size_t(i)], sizeof(WAVEHDR)), MMSYSERR_NOERROR);
    }
    QByteArray captured;
    window.OnMessage = [&](const TRecordingWindow::Message &m) {
        if (m.Msg != MM_WIM_DATA)
            return;
        EXPECT_EQ(QThread::currentThread(), QCoreApplication::instance()->thread());
        captured += m.Data;
        waveInAddBuffer(handle, m.Header, sizeof(WAVEHDR));
    };
    ASSERT_EQ(waveInStart(handle), MMSYSERR_NOERROR);
    ASSERT_TRUE(PumpUntil([&] { return captured.size() >= input.size(); }));
    EXPECT_EQ(captured.left(input.size()), input);
    for (const auto &m : window.Messages) {
        if (m.Msg == MM_WIM_DATA) {
            EXPECT_EQ(m.Bytes, 1600u);
        }
    }

    ASSERT_EQ(waveInReset(handle), MMSYSERR_NOERROR);
    int delivered = window.Count(MM_WIM_DATA);
    for (WAVEHDR &header : headers) {
        EXPECT_FALSE(header.dwFlags & WHDR_INQUEUE);
        EXPECT_EQ(waveInUnprepareHeader(handle, &header, sizeof(WAVEHDR)), MMSYSERR_NOERROR);
    }
    ASSERT_EQ(waveInClose(handle), MMSYSERR_NOERROR);
    DrainEvents();
    EXPECT_EQ(window.Count(MM_WIM_DATA), delivered);
}

TEST_F(AlsaCaptureTest, EveryCaptureLayoutOpensAndAMissingDeviceIsRefused)
{
    if (waveInGetNumDevs() == 0)
        GTEST_SKIP() << "this ALSA library cannot open a capture PCM of the file plugin over the null plugin";
    for (WAVEFORMATEX format : {PcmFormat(11025, 8, 2), PcmFormat(44100, 16, 2), PcmFormat(48000, 24, 1),
                                PcmFormat(96000, 32, 2)}) {
        EXPECT_EQ(waveInOpen(nullptr, 0, &format, nullptr, 0, WAVE_FORMAT_QUERY), MMSYSERR_NOERROR)
            << format.nSamplesPerSec << " " << format.wBitsPerSample;
    }
    WAVEFORMATEX format = PcmFormat(8000, 16, 1);
    EXPECT_EQ(waveInOpen(nullptr, 2, &format, nullptr, 0, WAVE_FORMAT_QUERY), MMSYSERR_BADDEVICEID);
}

} // namespace
