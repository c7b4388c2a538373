#include "myutils.h"
#include "capturetestkit.h"
#include "support/tempdatadir.h"
#include "udmaudio.h"

#include <alsa/asoundlib.h>

#include <QFile>
#include <gtest/gtest.h>

namespace {

// A whole recording from ALSA: a capture PCM of the "file" plugin over "null"
// delivers a raw file the test wrote; the recording must hold exactly those bytes.
class AlsaRecordingTest : public DataDirTest {
protected:
    void SetUp() override
    {
        // Capture format of the default record format: 11025 Hz, 8 bits, stereo.
        for (int i = 0; i < 11025 * 2; ++i) {
            input.append(char(128 + (i % 200) - 100));
            input.append(char(128 - (i % 100)));
        }
        QString raw = data.file("input.raw");
        ASSERT_TRUE(WriteStringToFile(input, raw));
        QString config = QStringLiteral(
                             "pcm.tembrelrec {\n type file\n slave { pcm { type null } }\n file \"/dev/null\"\n"
                             " infile \"%1\"\n format \"raw\"\n hint { show on description \"Line input\" }\n}\n")
                             .arg(raw);
        ASSERT_TRUE(WriteStringToFile(config.toUtf8(), data.file("asound.conf")));
        qputenv("ALSA_CONFIG_PATH", data.file("asound.conf").toLocal8Bit());
        snd_config_update_free_global();
        EnableSimulatedInput(false);
        TWaveInRegistry::Instance().EnableSoundSystem(true);
    }
    void TearDown() override
    {
        qunsetenv("ALSA_CONFIG_PATH");
        snd_config_update_free_global();
        RefreshDevices();
    }
    QByteArray input;
};

TEST_F(AlsaRecordingTest, RecordsExactlyWhatTheDeviceCaptured)
{
    RefreshDevices();
    if (InputDeviceCount() == 0)
        GTEST_SKIP() << "this ALSA library cannot open a capture PCM of the file plugin over the null plugin";
    ASSERT_EQ(InputDevice(0)->Name, QStringLiteral("Line input"));
    Tdmaudio audio;
    audio.SetRecordingEnabled(true);
    audio.Recorder().SetDeviceName(QStringLiteral("Line input"));
    QString name = data.file("call.wav");
    audio.StartRecording(name);
    EXPECT_EQ(audio.Recorder().DeviceID(), 0);
    // The null device runs as fast as buffers are taken: wait for the file's worth.
    ASSERT_TRUE(PumpUntil([&] { return QFileInfo(name).size() >= 44 + input.size(); }));
    audio.StopRecording();
    QByteArray bytes = ReadFileToString(name);
    ASSERT_GE(bytes.size(), 44 + input.size());
    EXPECT_EQ(bytes.mid(44, int(input.size())), input);
    SoxView sox = SoxRead(name);
    ASSERT_TRUE(sox.Ok) << sox.Error.toStdString();
    EXPECT_EQ(sox.Channels, 2);
    EXPECT_EQ(sox.Rate, 11025);
}

} // namespace
