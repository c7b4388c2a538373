// The windowless program's console: status lines, call lines, scenario files, signals.
#include "headlessprocess.h"

#include <QRegularExpression>

namespace {

using HeadlessHost = HeadlessProcess;

TEST_F(HeadlessHost, LogsTheCallsRungThroughTheSimulatorAndEndsCleanly)
{
    // Recording off: the calls are logged without recordings.
    WriteSettings(QStringLiteral("MissedCalls=1\r\nAudioInputDevice=Nepoužívat nahrávání\r\n"));
    InstallCallLog();
    StartHost();
    EXPECT_TRUE(output.contains(QStringLiteral("RECORDING off\n")));
    EXPECT_TRUE(output.contains(QStringLiteral("READY Simulovaná linka 1 #101")));
    ASSERT_EQ(LineSim({QStringLiteral("ring 603123456; +0.05 answer; +1.4 hangup; ring 777; +0.05 hangup")}), 0)
        << simErr.toStdString();
    EXPECT_EQ(simOut.count(QStringLiteral("OK ")), 5);
    ASSERT_TRUE(WaitForOutput(QStringLiteral("number=777"))) << output.toStdString();
    EXPECT_TRUE(output.contains(QStringLiteral("STATUS 256 3 603123456 Probíhá příchozí hovor")));
    EXPECT_TRUE(output.contains(QRegularExpression(
        QStringLiteral("CALL type=3 audio=1 start=\\S+ \\S+ end=\\S+ \\S+ length=[12] number=603123456 file=\n"))))
        << output.toStdString();
    EXPECT_TRUE(output.contains(QRegularExpression(QStringLiteral("CALL type=5 audio=0 .* number=777 file=\n"))));

    // The simulator names what it could not do.
    EXPECT_EQ(LineSim({QStringLiteral("rnig")}), 2);
    EXPECT_TRUE(simErr.contains(QStringLiteral("line 1: unknown event \"rnig\""))) << simErr.toStdString();
    EXPECT_EQ(LineSim({QStringLiteral("answer")}), 1);
    EXPECT_TRUE(simErr.contains(QStringLiteral("ERROR no ringing call to answer on the line")));

    // Ending during a call closes the line first: the call is logged before the host ends.
    ASSERT_EQ(LineSim({QStringLiteral("ring 999; answer")}), 0);
    ASSERT_TRUE(WaitForOutput(QStringLiteral("STATUS 256 3 999")));
    Terminate();
    const qsizetype stop = output.indexOf(QStringLiteral("STOP"));
    ASSERT_GE(stop, 0);
    EXPECT_GT(output.indexOf(QStringLiteral("number=999"), stop), stop);
    EXPECT_TRUE(output.trimmed().endsWith(QStringLiteral("STATUS 0 0 - Nedefinovaný"))) << output.toStdString();
}

TEST_F(HeadlessHost, PlaysAScenarioFileAndNamesItsFaultyLine)
{
    QFile scenario(dir.filePath(QStringLiteral("call.scn")));
    ASSERT_TRUE(scenario.open(QIODevice::WriteOnly));
    scenario.write("# one call\n+0.05 ring 420123\n+0.05 answer\n+1 hangup\n");
    scenario.close();
    InstallCallLog();
    host.setProcessEnvironment(env);
    host.start(QStringLiteral(TEMBREL_HEADLESS_EXE), {QStringLiteral("-simulate"), QStringLiteral("--datadir"),
                                                      dir.path(), QStringLiteral("--scenario"), scenario.fileName()});
    ASSERT_TRUE(WaitForOutput(QStringLiteral("number=420123"))) << output.toStdString();
    EXPECT_TRUE(output.contains(QStringLiteral("EVENT +1 hangup")));
    EXPECT_TRUE(output.contains(QStringLiteral("CALL type=3 audio=1 ")));
    host.terminate();
    ASSERT_TRUE(host.waitForFinished(10000));

    ASSERT_TRUE(scenario.open(QIODevice::WriteOnly));
    scenario.write("+0.05 ring 420123\n\n+x answer\n");
    scenario.close();
    output.clear();
    host.start(QStringLiteral(TEMBREL_HEADLESS_EXE), {QStringLiteral("-simulate"), QStringLiteral("--datadir"),
                                                      dir.path(), QStringLiteral("--scenario"), scenario.fileName()});
    EXPECT_TRUE(WaitForOutput(QStringLiteral("ERROR scenario line 3: bad time offset \"+x\""))) << output.toStdString();
    host.terminate();
    ASSERT_TRUE(host.waitForFinished(10000));
}

TEST_F(HeadlessHost, NoSimulatorWithoutARunningLine)
{
    EXPECT_EQ(LineSim({QStringLiteral("ring 1")}), 3);
    EXPECT_TRUE(simErr.contains(QStringLiteral("no simulated line answers")));
    // An unknown device is refused at start.
    WriteSettings(QStringLiteral("TAPIDevice=Linka X\r\n"));
    host.setProcessEnvironment(env);
    host.start(QStringLiteral(TEMBREL_HEADLESS_EXE), {QStringLiteral("-simulate"), QStringLiteral("--datadir"), dir.path()});
    ASSERT_TRUE(host.waitForFinished(10000));
    EXPECT_EQ(host.exitCode(), 1);
    EXPECT_TRUE(QString::fromLocal8Bit(host.readAllStandardOutput())
                    .contains(QStringLiteral("ERROR TAPI zařízení \"Linka X\" nebylo nalezeno")));
}

} // namespace
