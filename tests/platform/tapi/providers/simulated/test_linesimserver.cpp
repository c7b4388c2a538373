#include "linesimserver.h"
#include "linetestutil.h"
#include "simulatedline.h"

#include <QElapsedTimer>
#include <QLocalSocket>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

class LineSimServerTest : public ::testing::Test {
protected:
    QString SocketName(const QString &name) const { return dir.filePath(name); }

    QStringList Exchange(QLocalSocket &socket, const QByteArray &lines, int replies)
    {
        socket.write(lines);
        socket.flush();
        QStringList result;
        EXPECT_TRUE(PumpUntil([&] {
            while (socket.canReadLine())
                result << QString::fromUtf8(socket.readLine()).trimmed();
            return result.size() >= replies;
        }));
        return result;
    }

    QTemporaryDir dir;
    SimulatedLine line{1};
};

TEST_F(LineSimServerTest, EventsAreAnsweredOneByOneInOrder)
{
    LineSimServer server(line);
    QStringList played;
    server.onEvent = [&](const QString &event, const QString &error) { played << event + QLatin1Char('|') + error; };
    ASSERT_TRUE(server.listen(SocketName(QStringLiteral("sim-1")))) << server.errorString().toStdString();
    QLocalSocket socket;
    socket.connectToServer(SocketName(QStringLiteral("sim-1")));
    ASSERT_TRUE(PumpUntil([&] { return socket.state() == QLocalSocket::ConnectedState; }));
    const QStringList replies =
        Exchange(socket, "ring 603123456\n+0.01 answer\nbogus\n# comment\n+0.01 answer\n", 4);
    ASSERT_EQ(replies.size(), 4);
    // Every line is answered in its turn, the parse error too.
    EXPECT_EQ(replies[0], QStringLiteral("OK +0 ring 603123456"));
    EXPECT_EQ(replies[1], QStringLiteral("OK +0.01 answer"));
    EXPECT_EQ(replies[2], QStringLiteral("ERROR line 3: unknown event \"bogus\""));
    EXPECT_EQ(replies[3], QStringLiteral("ERROR no ringing call to answer on the line"));
    EXPECT_EQ(played.size(), 3);
    ASSERT_EQ(line.calls().size(), 1u);
    EXPECT_EQ(line.calls().front()->state, LINECALLSTATE_CONNECTED);
}

TEST_F(LineSimServerTest, DelaysAreNeverCutShort)
{
    LineSimServer server(line);
    QList<qint64> playedAt;
    QElapsedTimer clock;
    server.onEvent = [&](const QString &, const QString &) { playedAt << clock.elapsed(); };
    ASSERT_TRUE(server.listen(SocketName(QStringLiteral("sim-3"))));
    QLocalSocket socket;
    socket.connectToServer(SocketName(QStringLiteral("sim-3")));
    ASSERT_TRUE(PumpUntil([&] { return socket.state() == QLocalSocket::ConnectedState; }));
    clock.start();
    const QStringList replies = Exchange(socket, "ring 1\n+0.4 answer\n+0.4 hangup\n+0.4 ring 2\n", 4);
    ASSERT_EQ(playedAt.size(), 4);
    // Each event comes its full delay after the one before it, never a little early.
    for (int i = 1; i < playedAt.size(); ++i)
        EXPECT_GE(playedAt[i] - playedAt[i - 1], 400) << i;
}

TEST_F(LineSimServerTest, StaleSocketIsReplacedButALiveOneIsNot)
{
    const QString name = SocketName(QStringLiteral("sim-2"));
    {
        QFile stale(name);
        ASSERT_TRUE(stale.open(QIODevice::WriteOnly));
    }
    LineSimServer first(line);
    ASSERT_TRUE(first.listen(name)) << first.errorString().toStdString();
    LineSimServer second(line);
    EXPECT_FALSE(second.listen(name));
    EXPECT_TRUE(second.errorString().contains(QStringLiteral("already listens")));
}

TEST(LineSimSocketNameTest, DerivedFromUserAndLineUnlessOverridden)
{
    const QByteArray old = qgetenv("TEMBREL_LINESIM_PREFIX");
    qunsetenv("TEMBREL_LINESIM_PREFIX");
    const QString name = LineSimSocketName(2);
    EXPECT_TRUE(name.startsWith(QStringLiteral("tembrel-linesim-")));
    EXPECT_TRUE(name.endsWith(QStringLiteral("-2")));
    EXPECT_NE(name, LineSimSocketName(1));
    qputenv("TEMBREL_LINESIM_PREFIX", "/tmp/x");
    EXPECT_EQ(LineSimSocketName(3), QStringLiteral("/tmp/x-3"));
    if (old.isNull())
        qunsetenv("TEMBREL_LINESIM_PREFIX");
    else
        qputenv("TEMBREL_LINESIM_PREFIX", old);
}

} // namespace
