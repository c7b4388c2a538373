// Calls played on the simulated line into the running program end up as rows of data.xml
// and recordings in data/ in the stored record format, which sox reads.
#include "headlessprocess.h"

#include "acmapi.h"
#include "deACM.h"
#include "myutils.h"

#include <QDirIterator>
#include <QFileInfo>
#include <QRegularExpression>
#include <unistd.h>

namespace {

class HeadlessCalls : public HeadlessProcess {
protected:
    // The record format the settings dialog would have stored: suggested from 8 kHz mono.
    void StoreRecordFormat(uint16_t tag)
    {
        TdeWaveFormat pcm;
        pcm.SetPCM(8000, 16, 1);
        TdeWaveFormat format;
        format.SetFormatTag(tag);
        ASSERT_EQ(acmFormatSuggest(pcm.Data(), format.Data(), TdeWaveFormat::ImageSize, ACM_FORMATSUGGESTF_WFORMATTAG),
                  MMSYSERR_NOERROR);
        format.SaveToFile(dir.filePath(QStringLiteral("audiorec.dat")));
    }

    QString Recording(int id) const { return dir.filePath(QStringLiteral("data/%1.wav").arg(id, 7, 10, QLatin1Char('0'))); }

    // Checks the stored recording with sox: encoding, rate, one channel, length in seconds.
    void ExpectRecording(const QString &fileName, const QString &encoding, double minSeconds, double maxSeconds)
    {
        SCOPED_TRACE(fileName.toStdString());
        EXPECT_EQ(Sox({QStringLiteral("--i"), QStringLiteral("-e"), fileName}), encoding);
        EXPECT_EQ(Sox({QStringLiteral("--i"), QStringLiteral("-r"), fileName}), QStringLiteral("8000"));
        EXPECT_EQ(Sox({QStringLiteral("--i"), QStringLiteral("-c"), fileName}), QStringLiteral("1"));
        const double seconds = Sox({QStringLiteral("--i"), QStringLiteral("-D"), fileName}).toDouble();
        EXPECT_GE(seconds, minSeconds);
        EXPECT_LE(seconds, maxSeconds);
        // Every block decodes.
        EXPECT_FALSE(Sox({fileName, QStringLiteral("-n"), QStringLiteral("stat")}).startsWith(QStringLiteral("sox failed")));
    }

    QString DataFile() const { return dir.filePath(QStringLiteral("data.xml")); }
};

TEST_F(HeadlessCalls, AnsweredMissedAndDialledCallsGiveRowsAndRecordings)
{
    // No input named in the settings: the simulated start records from the virtual input.
    // Every stretch counts as quiet, so each recording reports its long silence once.
    WriteSettings(QStringLiteral("MissedCalls=1\r\nCallLink=7\r\nSilenceDetection=1\r\nSilenceMaxSeconds=1\r\n"
                                 "SilencePeakLevel=32767\r\n"));
    StoreRecordFormat(WAVE_FORMAT_GSM610);
    InstallCallLog();
    StartHost();
    EXPECT_TRUE(output.contains(QStringLiteral("RECORDING Simulovaný vstup: GSM 6.10"))) << output.toStdString();

    ASSERT_EQ(LineSim({QStringLiteral("ring 603123456; +0.05 answer; +2.5 hangup; +0.2 ring 777; +0.3 hangup; "
                                      "+0.2 dial 420111222; +0.1 ringback; +0.1 answer; +2.5 hangup")}),
              0)
        << simErr.toStdString();
    ASSERT_TRUE(WaitForOutput(QStringLiteral("number=420111222"))) << output.toStdString();
    EXPECT_EQ(output.count(QStringLiteral("SILENCE Chyba - zdetekováno dlouhé ticho v aktuální nahrávce.")), 2);
    EXPECT_TRUE(output.contains(QRegularExpression(QStringLiteral(
        "CALL type=3 audio=1 start=\\S+ \\S+ end=\\S+ \\S+ length=[23] number=603123456 file=\\S+/data/0000001.wav\n"))))
        << output.toStdString();
    EXPECT_TRUE(output.contains(QRegularExpression(QStringLiteral("CALL type=5 audio=0 .* number=777 file=\n"))));

    const auto rows = ReadRows(DataFile());
    ASSERT_EQ(rows.size(), 3);
    struct Expected {
        const char *type, *name, *number, *audioType;
        bool recorded;
    };
    const Expected expected[] = {{"3", "Příchozí", "603123456", "1", true},
                                 {"5", "Zmeškaný", "777", "0", false},
                                 {"2", "Odchozí", "420111222", "1", true}};
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i + 1);
        const auto &row = rows[i];
        EXPECT_EQ(row.value(QStringLiteral("IDAUDIO")), QString::number(i + 1));
        EXPECT_EQ(row.value(QStringLiteral("CALLTYPE")), QLatin1String(expected[i].type));
        EXPECT_EQ(row.value(QStringLiteral("CALLTYPENAME")), QString::fromUtf8(expected[i].name));
        EXPECT_EQ(row.value(QStringLiteral("PHONENUMBER")), QLatin1String(expected[i].number));
        EXPECT_EQ(row.value(QStringLiteral("AUDIOTYPE")), QLatin1String(expected[i].audioType));
        EXPECT_EQ(row.value(QStringLiteral("CALLLINK")), QStringLiteral("7"));
        if (expected[i].recorded) {
            // 2.5 s on the simulator's clock; a busy machine may deliver the hang-up late.
            const int length = row.value(QStringLiteral("WHENLENGTH")).toInt();
            EXPECT_GE(length, 2);
            EXPECT_LE(length, 3);
            const qint64 size = QFileInfo(Recording(i + 1)).size();
            EXPECT_GT(size, 1000);
            EXPECT_EQ(row.value(QStringLiteral("AUDIOSIZE")), QString::number(size));
            EXPECT_EQ(row.value(QStringLiteral("AUDIOSIZEKB")), QString::number(size / 1024));
            // The recording covers the connected time, less what the input had not delivered yet.
            ExpectRecording(Recording(i + 1), QStringLiteral("GSM"), length - 0.5, length + 1.0);
        } else {
            EXPECT_EQ(row.value(QStringLiteral("WHENLENGTH")), QStringLiteral("0"));
            EXPECT_EQ(row.value(QStringLiteral("AUDIOSIZE")), QStringLiteral("0"));
            EXPECT_FALSE(QFileInfo::exists(Recording(i + 1)));
        }
    }
    // The temporary recording was moved, not copied; only the private folder stays.
    QDirIterator left(dir.filePath(QStringLiteral("tmp")), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    EXPECT_FALSE(left.hasNext());
    Terminate();
}

TEST_F(HeadlessCalls, EndingDuringACallStoresTheCallWithItsRecording)
{
    WriteSettings(QStringLiteral("SilenceDetection=1\r\nSilenceMaxSeconds=1\r\nSilencePeakLevel=32767\r\n"));
    StoreRecordFormat(WAVE_FORMAT_ALAW);
    InstallCallLog();
    StartHost();
    ASSERT_EQ(LineSim({QStringLiteral("ring 999; answer")}), 0) << simErr.toStdString();
    ASSERT_TRUE(WaitForOutput(QStringLiteral("STATUS 256 3 999")));
    // The silence report comes a little over a second into the recording.
    ASSERT_TRUE(WaitForOutput(QStringLiteral("SILENCE"))) << output.toStdString();
    Terminate();

    const qsizetype stop = output.indexOf(QStringLiteral("STOP"));
    ASSERT_GE(stop, 0);
    EXPECT_GT(output.indexOf(QStringLiteral("CALL type=3 audio=1 "), stop), stop) << output.toStdString();
    EXPECT_GT(output.indexOf(QStringLiteral("number=999 file=") + Recording(1), stop), stop) << output.toStdString();
    const auto rows = ReadRows(DataFile());
    ASSERT_EQ(rows.size(), 1);
    EXPECT_EQ(rows[0].value(QStringLiteral("AUDIOSIZE")), QString::number(QFileInfo(Recording(1)).size()));
    ExpectRecording(Recording(1), QStringLiteral("A-law"), 1.0, 30.0);
}

TEST_F(HeadlessCalls, ADamagedOrMissingCallLogEndsTheProgramAndIsLeftAsItWas)
{
    const QByteArray damaged = "<?xml version=\"1.0\" standalone=\"yes\"?>\n<DATAPACKET Version=\"2.0\"><METADATA><FIE";
    {
        QFile file(DataFile());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(damaged);
    }
    const QDateTime modified = QFileInfo(DataFile()).lastModified();
    for (bool present : {true, false}) {
        SCOPED_TRACE(present ? "damaged" : "missing");
        if (!present) {
            ASSERT_TRUE(QFile::remove(DataFile()));
        }
        Launch({QStringLiteral("-simulate")});
        ASSERT_TRUE(host.waitForFinished(20000));
        const QString out = QString::fromLocal8Bit(host.readAllStandardOutput());
        const QString err = QString::fromLocal8Bit(host.readAllStandardError());
        EXPECT_EQ(host.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(host.exitCode(), 1);
        EXPECT_TRUE(err.contains(QStringLiteral("Chyba - nelze otevřít datové úložiště. Program bude ukončen.")))
            << err.toStdString();
        EXPECT_TRUE(out.contains(QStringLiteral("ERROR Chyba - nelze otevřít datové úložiště.")));
        EXPECT_FALSE(out.contains(QStringLiteral("READY")));
        if (present) {
            QFile file(DataFile());
            ASSERT_TRUE(file.open(QIODevice::ReadOnly));
            EXPECT_EQ(file.readAll(), damaged);
            EXPECT_EQ(QFileInfo(DataFile()).lastModified(), modified);
        } else {
            EXPECT_FALSE(QFileInfo::exists(DataFile()));
        }
    }
}

TEST_F(HeadlessCalls, ARecordingThatCannotStartIsLoggedAndTheCallKept)
{
    // A file stands where the user's private temporary folder goes: no recording can start.
    const QString tmp = dir.filePath(QStringLiteral("blockedtmp"));
    ASSERT_TRUE(QDir().mkpath(tmp));
    {
        QFile blocker(JoinPath(tmp, QStringLiteral("tembrel-%1").arg(::geteuid())));
        ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    }
    env.insert(QStringLiteral("TMPDIR"), tmp);
    InstallCallLog();
    StartHost();
    ASSERT_EQ(LineSim({QStringLiteral("ring 555; +0.05 answer; +0.3 hangup")}), 0) << simErr.toStdString();
    ASSERT_TRUE(WaitForOutput(QStringLiteral("number=555"))) << output.toStdString();
    EXPECT_TRUE(output.contains(QStringLiteral("LOG 1 Chyba při začátku nahrávání: "))) << output.toStdString();
    EXPECT_TRUE(output.contains(QStringLiteral("number=555 file=\n")));
    Terminate();
    const QString log = QString::fromUtf8(ReadFileToString(dir.filePath(QStringLiteral("tembrel-headless.log"))));
    EXPECT_TRUE(log.contains(QStringLiteral("Chyba při začátku nahrávání: "))) << log.toStdString();
    const auto rows = ReadRows(DataFile());
    ASSERT_EQ(rows.size(), 1);
    // The recording is missing, and the row says so.
    EXPECT_EQ(rows[0].value(QStringLiteral("AUDIOSIZE")), QStringLiteral("-1"));
    EXPECT_EQ(rows[0].value(QStringLiteral("AUDIOTYPE")), QStringLiteral("2"));
    EXPECT_TRUE(output.contains(QStringLiteral("CALL type=3 audio=2 ")));
    EXPECT_FALSE(QFileInfo::exists(Recording(1)));
}

} // namespace
