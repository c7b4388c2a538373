// The settings reach the modules as the program's start applies them.
#include "headlesshost.h"

#include "acmapi.h"
#include "simulatedline.h"
#include "simulatedwavein.h"
#include "support/tempdatadir.h"
#include "waveinregistry.h"

#include <QFile>

namespace {

class HeadlessHostSettings : public DataDirTest {
protected:
    HeadlessHostSettings()
    {
        // The virtual input alone, so that its device number is known.
        TWaveInRegistry::Instance().EnableSoundSystem(false);
        EnableSimulatedInput(true);
    }
    ~HeadlessHostSettings() override
    {
        EnableSimulatedInput(false);
        TWaveInRegistry::Instance().EnableSoundSystem(true);
    }

    SimulatedProvider provider{1};
    THeadlessHost host;
    QString error;
};

TEST_F(HeadlessHostSettings, EverySettingReachesItsModule)
{
    TdeWaveFormat pcm;
    pcm.SetPCM(8000, 16, 1);
    TdeWaveFormat gsm;
    gsm.SetFormatTag(WAVE_FORMAT_GSM610);
    ASSERT_EQ(acmFormatSuggest(pcm.Data(), gsm.Data(), TdeWaveFormat::ImageSize, ACM_FORMATSUGGESTF_WFORMATTAG),
              MMSYSERR_NOERROR);
    gsm.SaveToFile(data.file("audiorec.dat"));

    TSettings s;
    s.TAPIDevice = SimulatedLine::NameFor(1).toUpper();
    s.AudioInputDevice = QStringLiteral("simulovaný VSTUP");
    s.TAPIAutoCheck = s.CommandCalls = s.MissedCalls = true;
    s.CallLink = 12345;
    s.MaxRecordMinutes = 5;
    s.SilenceDetection = true;
    s.SilenceMaxSeconds = 7;
    s.SilencePeakLevel = 1234;
    ASSERT_TRUE(host.ApplySettings(s, false, error)) << error.toStdString();

    Tdmtapi &tapi = host.Tapi();
    EXPECT_GE(tapi.Device, 0);
    // Without the simulation the setting decides whether the line is watched.
    EXPECT_FALSE(host.WatchWanted());
    EXPECT_FALSE(tapi.AutoStartWatch);
    EXPECT_TRUE(tapi.TAPIAutoCheck && tapi.CommandCalls && tapi.MissedCalls);

    Tdmaudio &audio = host.Audio();
    EXPECT_TRUE(audio.InputDeviceAvailable());
    EXPECT_TRUE(audio.RecordingEnabled());
    EXPECT_EQ(host.RecordingInput(), s.AudioInputDevice);
    EXPECT_EQ(audio.Recorder().DeviceName(), s.AudioInputDevice);
    EXPECT_EQ(audio.Recorder().DeviceID(), 0);
    EXPECT_EQ(audio.Recorder().MaxMinutes(), 5);
    EXPECT_TRUE(audio.SilenceDetection());
    EXPECT_EQ(audio.SilenceMaxSeconds(), 7);
    EXPECT_EQ(audio.SilencePeakLevel(), 1234);
    EXPECT_TRUE(audio.Recorder().RecordFormat().IsEqual(gsm));

    // The line number as the settings dialog holds it: 0 to 9999.
    ASSERT_TRUE(QFile::copy(QStringLiteral(TEMBREL_DELIVERED_DATA), Tdmcd::DataFileName()));
    QFile::setPermissions(Tdmcd::DataFileName(), QFile::ReadOwner | QFile::WriteOwner);
    ASSERT_TRUE(host.OpenCallLog(error)) << error.toStdString();
    EXPECT_EQ(host.CallData().LinkNumber(), 9999);
}

TEST_F(HeadlessHostSettings, TheInputDecidesWhetherCallsAreRecorded)
{
    struct Case {
        const char *input;
        bool simulate;
        bool recorded;
    };
    for (const Case &c : {Case{"Nepoužívat nahrávání", true, false}, Case{"USB Headset", true, false},
                          Case{"", false, false}, Case{"", true, true}}) {
        SCOPED_TRACE(c.input);
        SCOPED_TRACE(c.simulate);
        TSettings s;
        s.TAPIDevice = SimulatedLine::NameFor(1);
        s.AudioInputDevice = QString::fromUtf8(c.input);
        ASSERT_TRUE(host.ApplySettings(s, c.simulate, error)) << error.toStdString();
        EXPECT_EQ(host.Audio().RecordingEnabled(), c.recorded);
        EXPECT_EQ(host.RecordingInput(), c.recorded ? TSimulatedWaveInDriver::DeviceName() : QString());
        // A simulated start is watched in any case.
        EXPECT_EQ(host.WatchWanted(), c.simulate);
    }
}

TEST_F(HeadlessHostSettings, ALineThatIsNotThereIsRefused)
{
    TSettings s;
    // With the simulation an empty choice is the simulated line.
    ASSERT_TRUE(host.ApplySettings(s, true, error));
    EXPECT_GE(host.Tapi().Device, 0);
    EXPECT_FALSE(host.ApplySettings(s, false, error));
    EXPECT_EQ(error, QStringLiteral("Není vybráno žádné TAPI zařízení"));
    EXPECT_EQ(host.Tapi().Device, -1);
    s.TAPIDevice = QStringLiteral("Linka X");
    EXPECT_FALSE(host.ApplySettings(s, true, error));
    EXPECT_EQ(error, QStringLiteral("TAPI zařízení \"Linka X\" nebylo nalezeno"));
}

} // namespace
