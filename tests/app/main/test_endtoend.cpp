// The real program under a virtual display: a call rung on its simulated line ends
// up in data.xml with its recording in data/, and a second start with "close" ends it.
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#if defined(TEMBREL_PROGRAM) && defined(TEMBREL_LINESIM)

namespace {

QProcessEnvironment programEnvironment(const QString &runtimeDir, const QString &prefix)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtimeDir);
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), runtimeDir + QStringLiteral("/config"));
    env.insert(QStringLiteral("TEMBREL_LINESIM_PREFIX"), prefix);
    // The temporary recording has one name per system; other tests must not meet it.
    env.insert(QStringLiteral("TMPDIR"), runtimeDir);
    // Leaks of the toolkit at exit are not what this test is about.
    env.insert(QStringLiteral("ASAN_OPTIONS"), QStringLiteral("detect_leaks=0"));
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    return env;
}

// Sends scenario events; false when the program's line does not answer.
bool ring(const QProcessEnvironment &env, const QString &events, QString *output = nullptr)
{
    QProcess sim;
    sim.setProcessEnvironment(env);
    sim.start(QStringLiteral(TEMBREL_LINESIM), {events});
    if (!sim.waitForFinished(30000))
        return false;
    if (output)
        *output = QString::fromUtf8(sim.readAllStandardOutput() + sim.readAllStandardError());
    return sim.exitStatus() == QProcess::NormalExit && sim.exitCode() == 0;
}

} // namespace

TEST(EndToEnd, CallOnTheSimulatedLineIsLoggedAndRecorded)
{
    const QString xvfb = QStandardPaths::findExecutable(QStringLiteral("xvfb-run"));
    if (xvfb.isEmpty())
        GTEST_SKIP() << "xvfb-run is not installed";
    QTemporaryDir home;
    QTemporaryDir runtime;
    ASSERT_TRUE(home.isValid() && runtime.isValid());
    QFile::setPermissions(runtime.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    // The program's folder is its data directory: a copy of its own.
    const QString program = home.filePath(QStringLiteral("tembrel"));
    ASSERT_TRUE(QFile::copy(QStringLiteral(TEMBREL_PROGRAM), program));
    ASSERT_TRUE(QFile::copy(QStringLiteral(TEMBREL_SOURCE_DIR "/data/data.xml"), home.filePath(QStringLiteral("data.xml"))));
    QFile::setPermissions(home.filePath(QStringLiteral("data.xml")), QFile::ReadOwner | QFile::WriteOwner);
    const QString prefix = QStringLiteral("tembrel-e2e-%1").arg(QCoreApplication::applicationPid());
    const QProcessEnvironment env = programEnvironment(runtime.path(), prefix);

    QProcess running;
    running.setProcessEnvironment(env);
    running.setProcessChannelMode(QProcess::MergedChannels);
    running.start(xvfb, {QStringLiteral("-a"), QStringLiteral("-s"), QStringLiteral("-screen 0 1024x768x24"), program,
                         QStringLiteral("/simulate")});
    ASSERT_TRUE(running.waitForStarted(10000));

    // The line answers once the program has started.
    QDeadlineTimer up(60000);
    bool answered = false;
    while (!answered && !up.hasExpired() && running.state() == QProcess::Running) {
        answered = ring(env, QStringLiteral("clearfaults"));
        if (!answered)
            running.waitForFinished(250);
    }
    ASSERT_TRUE(answered) << running.readAll().toStdString();

    QString output;
    ASSERT_TRUE(ring(env, QStringLiteral("ring 603555111; +1 answer; +2 hangup"), &output)) << output.toStdString();

    // The call reaches data.xml and its recording the store.
    const QString recording = home.filePath(QStringLiteral("data/0000001.wav"));
    auto logged = [&] {
        QFile file(home.filePath(QStringLiteral("data.xml")));
        return QFile::exists(recording) && file.open(QIODevice::ReadOnly) && file.readAll().contains("603555111");
    };
    QDeadlineTimer deadline(30000);
    while (!deadline.hasExpired() && !logged())
        running.waitForFinished(250);
    QFile data(home.filePath(QStringLiteral("data.xml")));
    ASSERT_TRUE(data.open(QIODevice::ReadOnly));
    const QByteArray xml = data.readAll();
    EXPECT_TRUE(xml.contains("603555111")) << xml.toStdString();
    ASSERT_TRUE(QFile::exists(recording));
    EXPECT_GT(QFileInfo(recording).size(), 44);

    // sox reads the recording as a WAVE file.
    const QString soxi = QStandardPaths::findExecutable(QStringLiteral("soxi"));
    if (!soxi.isEmpty()) {
        QProcess info;
        info.start(soxi, {QStringLiteral("-t"), recording});
        ASSERT_TRUE(info.waitForFinished(10000));
        EXPECT_EQ(info.exitCode(), 0) << info.readAllStandardError().toStdString();
        EXPECT_EQ(info.readAllStandardOutput().trimmed(), QByteArray("wav"));
    }

    // A second start with "close" ends the running copy and itself.
    QProcess closer;
    QProcessEnvironment closeEnv = env;
    closeEnv.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    closer.setProcessEnvironment(closeEnv);
    closer.start(program, {QStringLiteral("/close")});
    ASSERT_TRUE(closer.waitForFinished(30000));
    EXPECT_TRUE(running.waitForFinished(30000)) << "the running copy did not end";
    if (running.state() != QProcess::NotRunning) {
        running.kill();
        running.waitForFinished(5000);
    }
}

#endif
