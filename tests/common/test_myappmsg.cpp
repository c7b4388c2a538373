#include "myappmsg.h"

#include "support/tempdatadir.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QLocalSocket>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include <cstdio>

namespace {
constexpr char kChildRole[] = "TEMBREL_APPMSG_CHILD";
constexpr char kChildDir[] = "TEMBREL_APPMSG_DIR";

void say(const char *token)
{
    std::fputs(token, stdout);
    std::fputs("\n", stdout);
    std::fflush(stdout);
}

// A copy of the program as far as the single-instance check is concerned: this
// test executable started again with only the child test selected.
class Copy {
public:
    Copy(const QString &program, const QString &dir, const QByteArray &role, const QStringList &extra = {})
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QString::fromLatin1(kChildRole), QString::fromLatin1(role));
        env.insert(QString::fromLatin1(kChildDir), dir);
        m_process.setProcessEnvironment(env);
        m_process.setProcessChannelMode(QProcess::SeparateChannels);
        m_process.start(program, QStringList{QStringLiteral("--gtest_filter=SingleInstanceChild.Run")} + extra);
    }
    ~Copy()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
    }
    // Waits until the copy printed the token; false when it ended or took too long.
    bool waitFor(const QByteArray &token, int ms = 30000)
    {
        QDeadlineTimer deadline(ms);
        while (!m_output.contains(token + '\n')) {
            if (m_process.state() == QProcess::NotRunning || deadline.hasExpired())
                return false;
            m_process.waitForReadyRead(100);
            m_output += m_process.readAllStandardOutput();
        }
        return true;
    }
    // Waits for the copy to end; the exit code, or -1 when it did not end.
    int finish(int ms = 30000)
    {
        if (!m_process.waitForFinished(ms) && m_process.state() != QProcess::NotRunning)
            return -1;
        m_output += m_process.readAllStandardOutput();
        return m_process.exitStatus() == QProcess::NormalExit ? m_process.exitCode() : -2;
    }
    const QByteArray &output() const { return m_output; }

private:
    QProcess m_process;
    QByteArray m_output;
};

class SingleInstanceProcesses : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString self = QCoreApplication::applicationFilePath();
};
} // namespace

// The body of every started copy; skipped when the test run itself reaches it.
TEST(SingleInstanceChild, Run)
{
    const QByteArray role = qgetenv(kChildRole);
    if (role.isEmpty())
        GTEST_SKIP() << "runs only inside copies started by the single-instance tests";
    SetSingleInstanceDirectory(qEnvironmentVariable(kChildDir));
    CheckSingleInstance(true);
    if (role == "handlers") {
        AppMsgObject()->OnFront = [] { say("@FRONT"); };
        AppMsgObject()->OnClose = [] {
            say("@CLOSE");
            QCoreApplication::exit(0);
        };
    }
    say("@READY");
    // A copy the tests forget must not outlive them.
    QTimer::singleShot(60000, [] { QCoreApplication::exit(3); });
    EXPECT_EQ(QCoreApplication::exec(), 0);
}

TEST_F(SingleInstanceProcesses, SecondCopyOfOneExecutableBringsTheFirstToFrontAndEnds)
{
    Copy first(self, dir.path(), "handlers");
    ASSERT_TRUE(first.waitFor("@READY")) << first.output().constData();

    Copy second(self, dir.path(), "handlers");
    EXPECT_EQ(second.finish(), 0);
    EXPECT_FALSE(second.output().contains("@READY")) << "the second copy went on starting";
    EXPECT_TRUE(first.waitFor("@FRONT"));

    // And once more: the running copy keeps listening after a command.
    Copy third(self, dir.path(), "handlers");
    EXPECT_EQ(third.finish(), 0);
    EXPECT_FALSE(third.output().contains("@READY"));
    EXPECT_TRUE(first.waitFor("@FRONT\n@FRONT"));
}

TEST_F(SingleInstanceProcesses, CopiesOfDifferentExecutablesRunSideBySide)
{
    QTemporaryDir other;
    const QString copyPath = other.filePath(QStringLiteral("tembrel-copy"));
    ASSERT_TRUE(QFile::copy(self, copyPath));
    QFile::setPermissions(copyPath, QFile::permissions(copyPath) | QFile::ExeOwner);

    Copy first(self, dir.path(), "handlers");
    ASSERT_TRUE(first.waitFor("@READY"));
    Copy second(copyPath, dir.path(), "handlers");
    EXPECT_TRUE(second.waitFor("@READY")) << "a copy of another executable was refused";
    EXPECT_FALSE(first.output().contains("@FRONT"));
}

TEST_F(SingleInstanceProcesses, CloseSwitchEndsTheRunningCopyAndItself)
{
    Copy running(self, dir.path(), "handlers");
    ASSERT_TRUE(running.waitFor("@READY"));

    Copy closer(self, dir.path(), "handlers", {QStringLiteral("/CLOSE")});
    EXPECT_EQ(closer.finish(), 0);
    EXPECT_FALSE(closer.output().contains("@READY"));
    EXPECT_TRUE(running.waitFor("@CLOSE"));
    EXPECT_EQ(running.finish(), 0);

    // The running copy is gone, so a new start goes on.
    Copy next(self, dir.path(), "handlers");
    EXPECT_TRUE(next.waitFor("@READY"));
}

TEST_F(SingleInstanceProcesses, CloseWithoutMainWindowEndsTheProcessAtOnce)
{
    Copy running(self, dir.path(), "plain");
    ASSERT_TRUE(running.waitFor("@READY"));
    Copy closer(self, dir.path(), "plain", {QStringLiteral("-close")});
    EXPECT_EQ(closer.finish(), 0);
    EXPECT_EQ(running.finish(), 0);
}

TEST_F(SingleInstanceProcesses, CloseWithNoRunningCopyEndsWithoutStarting)
{
    Copy closer(self, dir.path(), "handlers", {QStringLiteral("/close")});
    EXPECT_EQ(closer.finish(), 0);
    EXPECT_FALSE(closer.output().contains("@READY"));
    // It left no lock behind.
    Copy next(self, dir.path(), "handlers");
    EXPECT_TRUE(next.waitFor("@READY"));
}

TEST_F(SingleInstanceProcesses, LockThatCannotBeTakenCountsAsAnotherCopy)
{
    // A directory where the lock file belongs: the lock fails for every copy.
    const QString name = SingleInstanceMessageName(self);
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("tembrel-") + SingleInstanceKey(name) + QStringLiteral(".lock")));
    Copy copy(self, dir.path(), "handlers");
    EXPECT_EQ(copy.finish(), 0);
    EXPECT_FALSE(copy.output().contains("@READY"));
}

TEST(SingleInstanceName, UpperCaseWithForwardSlashes)
{
    EXPECT_EQ(SingleInstanceMessageName(QStringLiteral("/opt/Tembrel/tmb")), QStringLiteral("/OPT/TEMBREL/TMB"));
    EXPECT_EQ(SingleInstanceMessageName(QStringLiteral("C:\\Program Files\\tmb.exe")),
              QStringLiteral("C:/PROGRAM FILES/TMB.EXE"));
    // A path typed in another letter case meets the same lock and socket.
    EXPECT_EQ(SingleInstanceKey(SingleInstanceMessageName(QStringLiteral("/opt/tembrel/TMB"))),
              SingleInstanceKey(SingleInstanceMessageName(QStringLiteral("/OPT/Tembrel/tmb"))));
    EXPECT_NE(SingleInstanceKey(QStringLiteral("/A")), SingleInstanceKey(QStringLiteral("/B")));
    EXPECT_EQ(SingleInstanceKey(QStringLiteral("/A")).size(), 40);
}

class SingleInstanceObject : public ::testing::Test {
protected:
    void SetUp() override { SetSingleInstanceDirectory(dir.path()); }
    void TearDown() override { SetSingleInstanceDirectory(QString()); }
    QTemporaryDir dir;
};

TEST_F(SingleInstanceObject, CommandsReachTheRunningObjectThroughTheSocket)
{
    tmyappmsgobject running(QStringLiteral("/X/PROGRAM"), true);
    ASSERT_FALSE(running.AnotherCopyExists());
    QList<int> received;
    running.OnFront = [&] { received << amcFront; };
    running.OnClose = [&] { received << amcClose; };

    tmyappmsgobject second(QStringLiteral("/X/PROGRAM"), true);
    EXPECT_TRUE(second.AnotherCopyExists());
    EXPECT_TRUE(second.Post(amcFront));
    EXPECT_TRUE(second.Post(99)); // unknown commands are ignored
    EXPECT_TRUE(second.Post(amcClose));
    QDeadlineTimer deadline(10000);
    while (received.size() < 2 && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    EXPECT_EQ(received, (QList<int>{amcFront, amcClose}));

    tmyappmsgobject other(QStringLiteral("/X/OTHER"), true);
    EXPECT_FALSE(other.AnotherCopyExists());
}

TEST_F(SingleInstanceObject, GarbageOnTheSocketIsDropped)
{
    tmyappmsgobject running(QStringLiteral("/X/PROGRAM"), true);
    int fronts = 0;
    running.OnFront = [&] { ++fronts; };
    QLocalSocket socket;
    socket.connectToServer(running.SocketName());
    ASSERT_TRUE(socket.waitForConnected(5000));
    socket.write("GARBAGE!");
    socket.waitForBytesWritten(5000);
    QDeadlineTimer deadline(5000);
    while (socket.state() == QLocalSocket::ConnectedState && !deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        if (socket.state() != QLocalSocket::UnconnectedState)
            socket.waitForDisconnected(20);
    }
    EXPECT_EQ(socket.state(), QLocalSocket::UnconnectedState);
    EXPECT_EQ(fronts, 0);
}

TEST_F(SingleInstanceObject, CloseEndsTheCopyWithoutHandlerOrWhenTheHandlerFails)
{
    int ended = 0;
    SetProcessTerminator([&] { ++ended; });
    tmyappmsgobject running(QStringLiteral("/X/PROGRAM"), true);
    running.Receive(amcClose);
    EXPECT_EQ(ended, 1);
    running.OnClose = [] { throw std::runtime_error("close failed"); };
    running.Receive(amcClose);
    EXPECT_EQ(ended, 2);
    bool closed = false;
    running.OnClose = [&] { closed = true; };
    running.Receive(amcClose);
    EXPECT_TRUE(closed);
    EXPECT_EQ(ended, 2);
    running.Receive(amcFront); // no front handler: nothing happens
    EXPECT_EQ(ended, 2);
    SetProcessTerminator(nullptr);
}

TEST_F(SingleInstanceObject, MissingFolderIsMadeRatherThanTakenForAnotherCopy)
{
    SetSingleInstanceDirectory(dir.filePath(QStringLiteral("not/yet")));
    tmyappmsgobject first(QStringLiteral("/X/PROGRAM"), true);
    EXPECT_FALSE(first.AnotherCopyExists());
}

TEST_F(SingleInstanceObject, ReleasingTheObjectFreesTheLockForTheNextCopy)
{
    {
        tmyappmsgobject first(QStringLiteral("/X/PROGRAM"), true);
        ASSERT_FALSE(first.AnotherCopyExists());
    }
    tmyappmsgobject next(QStringLiteral("/X/PROGRAM"), true);
    EXPECT_FALSE(next.AnotherCopyExists());
}
