// The windowless program under faults: a second logger on the same folder, a disk that
// fills up, a hostile record format, a call log that is a pipe or cannot be written, and
// kills at random points of a stream of calls.
#include "headlessprocess.h"

#include "myutils.h"

#include <QDirIterator>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QtEndian>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

uint32_t U32At(const QByteArray &bytes, int offset)
{
    return qFromLittleEndian<uint32_t>(reinterpret_cast<const uchar *>(bytes.constData() + offset));
}

class HeadlessFaults : public HeadlessProcess {
protected:
    QString DataFile() const { return dir.filePath(QStringLiteral("data.xml")); }
    QString Recording(int id) const { return dir.filePath(QStringLiteral("data/%1.wav").arg(id, 7, 10, QLatin1Char('0'))); }

    // Every row that claims a recording has it, whole: a RIFF file whose sizes describe it.
    void ExpectInvariants()
    {
        QList<QMap<QString, QString>> rows;
        ASSERT_NO_THROW(rows = ReadRows(DataFile()));
        for (const auto &row : rows) {
            const long long size = row.value(QStringLiteral("AUDIOSIZE")).toLongLong();
            const int id = row.value(QStringLiteral("IDAUDIO")).toInt();
            SCOPED_TRACE(QStringLiteral("row %1").arg(id).toStdString());
            if (size <= 0)
                continue;
            QFile file(Recording(id));
            ASSERT_TRUE(file.open(QIODevice::ReadOnly));
            const QByteArray bytes = file.readAll();
            ASSERT_EQ(bytes.size(), size);
            ASSERT_GE(bytes.size(), 44);
            EXPECT_EQ(bytes.left(4), QByteArray("RIFF"));
            EXPECT_EQ(U32At(bytes, 4), uint32_t(bytes.size() - 8));
        }
    }
};

TEST_F(HeadlessFaults, ASecondLoggerOnTheSameFolderRefusesToStart)
{
    InstallCallLog();
    StartHost();
    QProcess second;
    second.setProcessEnvironment(env);
    second.start(QStringLiteral(TEMBREL_HEADLESS_EXE), {QStringLiteral("-simulate"), QStringLiteral("--datadir"), dir.path()});
    ASSERT_TRUE(second.waitForFinished(20000));
    const QString out = QString::fromLocal8Bit(second.readAllStandardOutput());
    EXPECT_EQ(second.exitCode(), 1);
    EXPECT_TRUE(out.contains(QStringLiteral("ERROR Datovou složku %1 již používá").arg(dir.path()))) << out.toStdString();
    EXPECT_TRUE(out.contains(QStringLiteral("tembrel-headless (PID %1)").arg(host.processId()))) << out.toStdString();
    EXPECT_FALSE(out.contains(QStringLiteral("READY")));
    // The first one goes on logging.
    ASSERT_EQ(LineSim({QStringLiteral("ring 1; +0.05 answer; +0.3 hangup")}), 0) << simErr.toStdString();
    ASSERT_TRUE(WaitForOutput(QStringLiteral("number=1 "))) << output.toStdString();
    Terminate();
    EXPECT_EQ(ReadRows(DataFile()).size(), 1);
}

TEST_F(HeadlessFaults, AFullDiskCutsTheRecordingAndSaysSo)
{
    InstallCallLog();
    // Every file of the program may hold 64 KiB: the recording (22 050 B/s) is cut after
    // about three seconds, the log and data.xml stay far below.
    host.setChildProcessModifier([] {
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit {};
        ::getrlimit(RLIMIT_FSIZE, &limit);
        limit.rlim_cur = 65536;
        ::setrlimit(RLIMIT_FSIZE, &limit);
    });
    StartHost();
    ASSERT_EQ(LineSim({QStringLiteral("ring 603123456; +0.05 answer; +5 hangup")}), 0) << simErr.toStdString();
    ASSERT_TRUE(WaitForOutput(QStringLiteral("number=603123456 "))) << output.toStdString();
    Terminate();
    EXPECT_TRUE(output.contains(QStringLiteral("CALL type=3 audio=2 "))) << output.toStdString();
    EXPECT_TRUE(output.contains(QStringLiteral("WARNING Nahrávka hovoru ID=1 je neúplná"))) << output.toStdString();
    const QString log = QString::fromUtf8(ReadFileToString(dir.filePath(QStringLiteral("tembrel-headless.log"))));
    EXPECT_TRUE(log.contains(QStringLiteral("nahrávka je neúplná"))) << log.toStdString();
    const auto rows = ReadRows(DataFile());
    ASSERT_EQ(rows.size(), 1);
    EXPECT_EQ(rows[0].value(QStringLiteral("AUDIOTYPE")), QStringLiteral("2"));
    const QByteArray wave = ReadFileToString(Recording(1));
    ASSERT_GT(wave.size(), 44);
    EXPECT_LE(wave.size(), 65536);
    EXPECT_EQ(rows[0].value(QStringLiteral("AUDIOSIZE")), QString::number(wave.size()));
    EXPECT_EQ(U32At(wave, 4), uint32_t(wave.size() - 8));
    EXPECT_EQ(U32At(wave, 40), uint32_t(wave.size() - 44));
    ExpectInvariants();
}

TEST_F(HeadlessFaults, ARecordFormatTheCodecsRefuseIsReportedAndTheDefaultUsed)
{
    InstallCallLog();
    ASSERT_TRUE(WriteStringToFile(QByteArray(512, '\0'), dir.filePath(QStringLiteral("audiorec.dat"))));
    StartHost();
    EXPECT_TRUE(output.contains(QStringLiteral("WARNING Formát nahrávání v souboru"))) << output.toStdString();
    EXPECT_TRUE(output.contains(QRegularExpression(QStringLiteral("RECORDING [^\n]+: \\S+"))));
    ASSERT_EQ(LineSim({QStringLiteral("ring 2; +0.05 answer; +0.6 hangup")}), 0) << simErr.toStdString();
    ASSERT_TRUE(WaitForOutput(QStringLiteral("number=2 "))) << output.toStdString();
    Terminate();
    EXPECT_TRUE(output.contains(QStringLiteral("CALL type=3 audio=1 "))) << output.toStdString();
    EXPECT_GT(QFileInfo(Recording(1)).size(), 44);
    ExpectInvariants();
}

TEST_F(HeadlessFaults, ACallLogThatIsAPipeEndsTheStartAtOnce)
{
    ASSERT_EQ(::mkfifo(QFile::encodeName(DataFile()).constData(), 0600), 0);
    Launch({QStringLiteral("-simulate")});
    ASSERT_TRUE(host.waitForFinished(20000)) << "the start blocked on the pipe";
    EXPECT_EQ(host.exitCode(), 1);
    EXPECT_TRUE(QString::fromLocal8Bit(host.readAllStandardOutput()).contains(QStringLiteral("ERROR Chyba - nelze otevřít")));
}

TEST_F(HeadlessFaults, ACallLogThatCannotBeWrittenIsWarnedOfAtStart)
{
    InstallCallLog();
    if (::geteuid() == 0) {
        // The superuser writes through any mode: run as nobody, in a folder nobody owns.
        for (const QString &path : {dir.path(), DataFile(), dir.filePath(QStringLiteral("tmp"))})
            ASSERT_EQ(::chown(QFile::encodeName(path).constData(), 65534, 65534), 0);
        host.setChildProcessModifier([] {
            if (::setgid(65534) != 0 || ::setuid(65534) != 0)
                ::_exit(99);
        });
    }
    QFile::setPermissions(DataFile(), QFileDevice::ReadOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther);
    StartHost();
    EXPECT_TRUE(output.contains(QStringLiteral("WARNING Chyba - do datového úložiště nelze zapisovat (%1)").arg(DataFile())))
        << output.toStdString();
    Terminate();
}

TEST_F(HeadlessFaults, KillsAtRandomPointsOfAStreamOfCallsLoseNothing)
{
    InstallCallLog();
    const quint32 seed = QRandomGenerator::global()->generate();
    SCOPED_TRACE(QStringLiteral("seed %1").arg(seed).toStdString());
    QRandomGenerator random(seed);
    int stored = 0;
    for (int round = 0; round < 6; ++round) {
        SCOPED_TRACE(round);
        StartHost();
        // A stream of short recorded calls; the host is killed after a random number of
        // status reports, anywhere from ringing to storing.
        QProcess sim;
        sim.setProcessEnvironment(env);
        sim.start(QStringLiteral(TEMBREL_LINESIM_EXE),
                  {QStringLiteral("ring 11; +0.05 answer; +0.4 hangup; +0.05 ring 22; +0.05 answer; +0.3 hangup; "
                                  "+0.05 ring 33; +0.05 answer; +0.2 hangup")});
        const int reports = 1 + int(random.bounded(12u));
        QElapsedTimer waited;
        waited.start();
        while (output.count(QStringLiteral("STATUS ")) < reports && host.state() == QProcess::Running
               && waited.elapsed() < 10000) {
            host.waitForReadyRead(50);
            output += QString::fromLocal8Bit(host.readAllStandardOutput());
        }
        ::kill(pid_t(host.processId()), SIGKILL);
        ASSERT_TRUE(host.waitForFinished(10000));
        sim.waitForFinished(10000);
        ExpectInvariants();
        const int rows = int(ReadRows(DataFile()).size());
        EXPECT_GE(rows, stored);
        stored = rows;
    }
    // A last clean run takes over whatever the kills left.
    StartHost();
    Terminate();
    ExpectInvariants();
    // No recording waits in the temporary folder any more.
    QDirIterator left(dir.filePath(QStringLiteral("tmp")), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    EXPECT_FALSE(left.hasNext()) << left.next().toStdString();
}

} // namespace
