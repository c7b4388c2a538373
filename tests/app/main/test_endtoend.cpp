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

#include <csignal>
#include <functional>
#include <sys/types.h>

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

// The process started from this executable file (the copy is ours alone).
qint64 processOf(const QString &program)
{
    const QString wanted = QFileInfo(program).canonicalFilePath();
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString &entry : entries) {
        bool number = false;
        const qint64 pid = entry.toLongLong(&number);
        if (number && QFileInfo(QStringLiteral("/proc/%1/exe").arg(entry)).canonicalFilePath() == wanted)
            return pid;
    }
    return -1;
}

// The program's copy, its data and a process of it under a virtual display.
class ProgramRun {
public:
    ProgramRun(const QString &home, const QProcessEnvironment &env) : m_program(home + QStringLiteral("/tembrel")), m_env(env)
    {
        m_process.setProcessEnvironment(env);
        m_process.setProcessChannelMode(QProcess::MergedChannels);
    }
    ~ProgramRun()
    {
        if (m_process.state() != QProcess::NotRunning) {
            const qint64 pid = processOf(m_program);
            if (pid > 0)
                ::kill(pid_t(pid), SIGKILL);
            m_process.kill();
            m_process.waitForFinished(10000);
        }
    }
    // Starts the program and waits until its simulated line answers.
    bool start(const QString &xvfb)
    {
        m_process.start(xvfb, {QStringLiteral("-a"), QStringLiteral("-s"), QStringLiteral("-screen 0 1024x768x24"),
                               m_program, QStringLiteral("/simulate")});
        if (!m_process.waitForStarted(10000))
            return false;
        QDeadlineTimer up(60000);
        while (!up.hasExpired() && m_process.state() == QProcess::Running) {
            if (ring(m_env, QStringLiteral("clearfaults")))
                return true;
            m_process.waitForFinished(250);
        }
        return false;
    }
    bool waitUntil(const std::function<bool()> &condition, int ms = 30000)
    {
        QDeadlineTimer deadline(ms);
        while (!deadline.hasExpired() && !condition())
            m_process.waitForFinished(250);
        return condition();
    }
    bool waitForEnd() { return m_process.waitForFinished(30000); }
    QString output() { return QString::fromUtf8(m_process.readAll()); }
    const QString &program() const { return m_program; }

private:
    QString m_program;
    QProcessEnvironment m_env;
    QProcess m_process;
};

} // namespace

TEST(EndToEnd, CallsOnTheSimulatedLineAreLoggedAndRecorded)
{
    const QString xvfb = QStandardPaths::findExecutable(QStringLiteral("xvfb-run"));
    if (xvfb.isEmpty())
        GTEST_SKIP() << "xvfb-run is not installed";
    QTemporaryDir home;
    QTemporaryDir runtime;
    ASSERT_TRUE(home.isValid() && runtime.isValid());
    QFile::setPermissions(runtime.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    // The program's folder is its data directory: a copy of its own.
    ASSERT_TRUE(QFile::copy(QStringLiteral(TEMBREL_PROGRAM), home.filePath(QStringLiteral("tembrel"))));
    const QString dataFile = home.filePath(QStringLiteral("data.xml"));
    ASSERT_TRUE(QFile::copy(QStringLiteral(TEMBREL_SOURCE_DIR "/data/data.xml"), dataFile));
    QFile::setPermissions(dataFile, QFile::ReadOwner | QFile::WriteOwner);
    const QProcessEnvironment env =
        programEnvironment(runtime.path(), QStringLiteral("tembrel-e2e-%1").arg(QCoreApplication::applicationPid()));
    auto logged = [&](const char *number, const QString &recording) {
        QFile file(dataFile);
        return QFile::exists(recording) && file.open(QIODevice::ReadOnly) && file.readAll().contains(number);
    };

    // First run: a whole call, then a second start with "close" ends the running copy.
    {
        ProgramRun run(home.path(), env);
        ASSERT_TRUE(run.start(xvfb)) << run.output().toStdString();
        QString output;
        ASSERT_TRUE(ring(env, QStringLiteral("ring 603555111; +1 answer; +2 hangup"), &output)) << output.toStdString();
        const QString recording = home.filePath(QStringLiteral("data/0000001.wav"));
        EXPECT_TRUE(run.waitUntil([&] { return logged("603555111", recording); }));
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

        QProcess closer;
        QProcessEnvironment closeEnv = env;
        closeEnv.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        closer.setProcessEnvironment(closeEnv);
        closer.start(run.program(), {QStringLiteral("/close")});
        ASSERT_TRUE(closer.waitForFinished(30000));
        EXPECT_TRUE(run.waitForEnd()) << "the running copy did not end";
    }

    // Second run: ended by SIGTERM in the middle of a call, which is still logged with
    // its recording; the first call is still there.
    {
        ProgramRun run(home.path(), env);
        ASSERT_TRUE(run.start(xvfb)) << run.output().toStdString();
        ASSERT_TRUE(ring(env, QStringLiteral("ring 605000222; +1 answer")));
        const qint64 pid = processOf(run.program());
        ASSERT_GT(pid, 0);
        // Let a little sound arrive before the end.
        run.waitUntil([] { return false; }, 1500);
        ASSERT_EQ(::kill(pid_t(pid), SIGTERM), 0);
        EXPECT_TRUE(run.waitForEnd()) << "SIGTERM did not end the program";
        const QString recording = home.filePath(QStringLiteral("data/0000002.wav"));
        EXPECT_TRUE(logged("605000222", recording));
        EXPECT_TRUE(logged("603555111", home.filePath(QStringLiteral("data/0000001.wav"))));
    }
}

#endif
