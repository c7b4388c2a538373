#include "acmdriver.h"
#include "codepage1250.h"
#include "exception.h"
#include "myutils.h"
#include "settings.h"
#include "support/tempdatadir.h"

#include <QFile>
#include <cstring>

#include <gtest/gtest.h>

namespace {
class SettingsFile : public DataDirTest {
protected:
    QString ini = data.file(QStringLiteral("tembrel.ini"));

    void writeRaw(const QByteArray &bytes) { ASSERT_TRUE(WriteStringToFile(bytes, ini)); }
    QByteArray raw() const { return ReadFileToString(ini); }
};
} // namespace

TEST_F(SettingsFile, NoFileGivesEveryDefault)
{
    const TSettings s = LoadSettings(ini);
    EXPECT_EQ(s.StartDelay, 0);
    EXPECT_FALSE(s.AutoStartWatch);
    EXPECT_FALSE(s.TAPIAutoCheck);
    EXPECT_FALSE(s.CommandCalls);
    EXPECT_FALSE(s.MissedCalls);
    EXPECT_EQ(s.CallLink, 0);
    EXPECT_TRUE(s.TAPIDevice.isEmpty());
    EXPECT_TRUE(s.AudioInputDevice.isEmpty());
    EXPECT_EQ(s.MaxRecordMinutes, 30);
    EXPECT_FALSE(s.SilenceDetection);
    EXPECT_EQ(s.SilenceMaxSeconds, 1);
    EXPECT_EQ(s.SilencePeakLevel, 0);
    EXPECT_FALSE(QFile::exists(ini));
}

TEST_F(SettingsFile, LookupIgnoresCaseAndTakesTheFirstLineUpToTheFirstEquals)
{
    writeRaw("startdelay=5\r\nCALLLINK=12\r\nCallLink=99\r\nTAPIDevice=Modem = COM1\r\nnoequals\r\n"
             "AutoStartWatch=2\r\nMissedCalls=yes\r\nCommandCalls=-1\r\nTAPIAutoCheck=\r\n");
    const TSettings s = LoadSettings(ini);
    EXPECT_EQ(s.StartDelay, 5);
    EXPECT_EQ(s.CallLink, 12);
    EXPECT_EQ(s.TAPIDevice, QStringLiteral("Modem = COM1"));
    EXPECT_TRUE(s.AutoStartWatch);
    EXPECT_FALSE(s.MissedCalls);
    EXPECT_TRUE(s.CommandCalls);
    EXPECT_FALSE(s.TAPIAutoCheck);
    const TSettingsFile file(ini);
    EXPECT_TRUE(file.ReadString(QStringLiteral("noequals")).isEmpty());
    EXPECT_TRUE(file.ReadString(QStringLiteral("Modem ")).isEmpty());
}

TEST_F(SettingsFile, ValuesThatAreNotNumbersOrOutOfRangeTakeTheDefault)
{
    writeRaw("MaxRecordMinutes=70000\r\nSilenceMaxSeconds=-1\r\nSilencePeakLevel=65535\r\nCallLink=12x\r\n"
             "StartDelay=99999999999\r\n");
    const TSettings s = LoadSettings(ini);
    EXPECT_EQ(s.MaxRecordMinutes, 30);
    EXPECT_EQ(s.SilenceMaxSeconds, 1);
    EXPECT_EQ(s.SilencePeakLevel, 65535);
    EXPECT_EQ(s.CallLink, 0);
    EXPECT_EQ(s.StartDelay, 0);
    writeRaw("MaxRecordMinutes=0\nSilenceMaxSeconds=999\n");
    const TSettings edited = LoadSettings(ini);
    EXPECT_EQ(edited.MaxRecordMinutes, 0); // no limit, from a hand-edited file with LF lines
    EXPECT_EQ(edited.SilenceMaxSeconds, 999);
}

TEST_F(SettingsFile, NewFileHoldsTheKeysInOrderInCodePage1250WithCrLf)
{
    TSettings s;
    s.StartDelay = 7;
    s.AudioInputDevice = QStringLiteral("Nepoužívat nahrávání");
    s.AutoStartWatch = true;
    s.CallLink = 42;
    s.MaxRecordMinutes = 999;
    s.SilencePeakLevel = 32767;
    SaveSettings(ini, s);
    const QByteArray expected = EncodeCp1250(QStringLiteral(
        "AudioInputDevice=Nepoužívat nahrávání\r\nAutoStartWatch=1\r\nTAPIAutoCheck=0\r\nCommandCalls=0\r\n"
        "MissedCalls=0\r\nCallLink=42\r\nMaxRecordMinutes=999\r\nSilenceDetection=0\r\nSilenceMaxSeconds=1\r\n"
        "SilencePeakLevel=32767\r\n"));
    EXPECT_EQ(raw(), expected);
    const TSettings back = LoadSettings(ini);
    EXPECT_EQ(back.AudioInputDevice, s.AudioInputDevice);
    EXPECT_EQ(back.StartDelay, 0); // never written
    EXPECT_EQ(back.CallLink, 42);
    EXPECT_EQ(back.SilencePeakLevel, 32767);
}

TEST_F(SettingsFile, SavingKeepsForeignLinesInPlaceAndDropsAnEmptyDevice)
{
    writeRaw("; written by hand\r\nStartDelay=5\r\nTAPIDevice=Modem\r\nWindowLeft=10\r\ncalllink=3\r\n\r\n"
             "MaxRecordMinutes=15\r\n");
    TSettings s = LoadSettings(ini);
    EXPECT_EQ(s.StartDelay, 5);
    s.TAPIDevice.clear();
    s.CallLink = 4;
    s.AudioInputDevice = QStringLiteral("hw:0");
    SaveSettings(ini, s);
    EXPECT_EQ(raw(), QByteArray("; written by hand\r\nStartDelay=5\r\nWindowLeft=10\r\nCallLink=4\r\n\r\n"
                                "MaxRecordMinutes=15\r\nAudioInputDevice=hw:0\r\nAutoStartWatch=0\r\n"
                                "TAPIAutoCheck=0\r\nCommandCalls=0\r\nMissedCalls=0\r\nSilenceDetection=0\r\n"
                                "SilenceMaxSeconds=1\r\nSilencePeakLevel=0\r\n"));
    EXPECT_EQ(LoadSettings(ini).StartDelay, 5);
}

TEST_F(SettingsFile, EmptyValueRemovesEveryLineOfTheKeyAndLineBreaksCannotSneakIn)
{
    writeRaw("TAPIDevice=A\r\nOther=1\r\ntapidevice=B\r\n");
    TSettingsFile file(ini);
    file.WriteString(QStringLiteral("TAPIDevice"), QString());
    EXPECT_TRUE(file.ReadString(QStringLiteral("TAPIDevice")).isEmpty());
    file.WriteString(QStringLiteral("AudioInputDevice"), QStringLiteral("card\r\nCallLink=5"));
    file.Save();
    EXPECT_EQ(raw(), QByteArray("Other=1\r\nAudioInputDevice=card  CallLink=5\r\n"));
    EXPECT_EQ(LoadSettings(ini).CallLink, 0);
}

TEST_F(SettingsFile, SaveThatCannotWriteRaisesAndLeavesTheOldFile)
{
    writeRaw("CallLink=3\r\n");
    TSettings s;
    s.CallLink = 8;
    // A regular file in place of the folder makes any write below it fail.
    const QString below = ini + QStringLiteral("/tembrel.ini");
    EXPECT_THROW(SaveSettings(below, s), Exception);
    try {
        SaveSettings(below, s);
    } catch (const Exception &e) {
        EXPECT_TRUE(e.message().contains(below));
    }
    EXPECT_EQ(raw(), QByteArray("CallLink=3\r\n"));
}

namespace {
// The codec manager's first listed format of a tag, as the chooser would store it.
TdeWaveFormat ListedFormat(uint16_t tag)
{
    TdeWaveFormat format;
    for (const AcmDriver *driver : AcmDrivers()) {
        if (driver->FormatTags().contains(tag)) {
            const QByteArray image = driver->Formats(tag).first();
            std::memcpy(format.Bytes(), image.constData(), size_t(std::min<qsizetype>(image.size(), 512)));
            return format;
        }
    }
    return format;
}
} // namespace

TEST_F(SettingsFile, AStoredRecordFormatTheCodecsDoNotOfferGivesTheDefault)
{
    const QString file = data.file(QStringLiteral("audiorec.dat"));
    TdeWaveFormat gsm = ListedFormat(WAVE_FORMAT_GSM610);
    ASSERT_EQ(gsm.FormatTag(), WAVE_FORMAT_GSM610);
    TdeWaveFormat current;
    current.SetPCM(8000, 16, 1);
    auto load = [&](const TdeWaveFormat &stored, QString &problem) {
        problem.clear();
        stored.SaveToFile(file);
        return LoadRecordFormat(file, current, &problem);
    };
    QString problem;
    // What the chooser stores is taken as it is, also the default and the bytes beyond cbSize.
    gsm.Bytes()[400] = 0x5A;
    EXPECT_TRUE(load(gsm, problem).IsEqual(gsm));
    EXPECT_EQ(problem, QString());
    EXPECT_TRUE(load(TdeWaveFormat(), problem).IsEqual(TdeWaveFormat()));
    EXPECT_EQ(problem, QString());

    const TdeWaveFormat standard;
    TdeWaveFormat bad = gsm;
    bad.Data()->cbSize = 0xFFFF;
    EXPECT_TRUE(load(bad, problem).IsEqual(standard));
    EXPECT_FALSE(problem.isEmpty());
    bad = gsm;
    bad.Data()->cbSize = 3;
    EXPECT_TRUE(load(bad, problem).IsEqual(standard));
    EXPECT_FALSE(problem.isEmpty());
    bad = gsm;
    bad.SetBitsPerSample(116);
    EXPECT_TRUE(load(bad, problem).IsEqual(standard));
    EXPECT_FALSE(problem.isEmpty());
    bad = TdeWaveFormat();
    bad.SetBlockAlign(7);
    EXPECT_TRUE(load(bad, problem).IsEqual(standard));
    EXPECT_FALSE(problem.isEmpty());
    // An image of zeros.
    ASSERT_TRUE(WriteStringToFile(QByteArray(512, '\0'), file));
    problem.clear();
    EXPECT_TRUE(LoadRecordFormat(file, current, &problem).IsEqual(standard));
    EXPECT_FALSE(problem.isEmpty());
    // No file keeps the format in use, without a word.
    QFile::remove(file);
    problem.clear();
    EXPECT_TRUE(LoadRecordFormat(file, current, &problem).IsEqual(current));
    EXPECT_EQ(problem, QString());
}
