#include "baresipcontrol.h"
#include "linetestutil.h"

#include <QJsonDocument>
#include <QTcpServer>
#include <QTcpSocket>
#include <gtest/gtest.h>

namespace {

QList<QByteArray> Drain(NetstringReader &reader)
{
    QList<QByteArray> out;
    QByteArray payload;
    while (reader.next(payload))
        out.append(payload);
    return out;
}

} // namespace

TEST(Netstring, MessagesSplitAnywhereArriveWholeAndInOrder)
{
    const QByteArray stream = EncodeNetstring("{\"a\":1}") + EncodeNetstring("") + EncodeNetstring("x,y:z");
    for (int cut = 0; cut <= stream.size(); ++cut) {
        NetstringReader reader;
        ASSERT_TRUE(reader.feed(stream.left(cut)));
        ASSERT_TRUE(reader.feed(stream.mid(cut)));
        EXPECT_EQ(Drain(reader), (QList<QByteArray>{"{\"a\":1}", "", "x,y:z"})) << "cut at " << cut;
    }
}

TEST(Netstring, BrokenFramingStopsTheStream)
{
    const QList<QByteArray> broken{"abc:xyz,", "3:abcd,", ":abc,", "-3:abc,", "03:abc,", "3x:abc,", "3:abc;"};
    for (const QByteArray &bytes : broken) {
        NetstringReader reader;
        EXPECT_FALSE(reader.feed(EncodeNetstring("ok") + bytes)) << bytes.constData();
        EXPECT_TRUE(reader.broken());
        EXPECT_FALSE(reader.error().isEmpty());
        // What came whole before the fault is still handed out; nothing after it.
        EXPECT_EQ(Drain(reader), QList<QByteArray>{"ok"});
        EXPECT_FALSE(reader.feed(EncodeNetstring("later")));
        EXPECT_TRUE(Drain(reader).isEmpty());
    }
}

TEST(Netstring, OversizedLengthIsRefusedBeforeTheBodyArrives)
{
    NetstringReader reader(100);
    EXPECT_TRUE(reader.feed("100:"));
    reader.reset();
    EXPECT_FALSE(reader.feed("101:"));
    reader.reset();
    // A length that would overflow is caught while its digits arrive.
    EXPECT_FALSE(reader.feed("99999999999999999999999999"));
    EXPECT_TRUE(reader.broken());
}

// A user agent played by the test: whatever it writes reaches the control connection.
class ControlTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(server.listen(QHostAddress::LocalHost, 0));
        control.onEvent = [this](const BaresipEvent &e) { events.append(e); };
        control.onDisconnected = [this](const QString &reason) { disconnects.append(reason); };
        control.onProtocolError = [this](const QString &reason) { skipped.append(reason); };
        bool connected = false;
        control.onConnected = [&connected] { connected = true; };
        control.connectTo(QStringLiteral("127.0.0.1"), server.serverPort());
        ASSERT_TRUE(PumpUntil([&] { return connected && server.hasPendingConnections(); }));
        peer = server.nextPendingConnection();
        control.onConnected = nullptr;
    }

    QByteArray readCommand()
    {
        PumpUntil([this] { return peer->bytesAvailable() > 0; });
        NetstringReader reader;
        reader.feed(peer->readAll());
        QByteArray payload;
        reader.next(payload);
        return payload;
    }

    void write(const QByteArray &bytes)
    {
        peer->write(bytes);
        peer->flush();
    }

    QTcpServer server;
    QTcpSocket *peer = nullptr;
    BaresipControl control;
    QList<BaresipEvent> events;
    QStringList disconnects, skipped;
};

TEST_F(ControlTest, RepliesFindTheirCommandByToken)
{
    QStringList replies;
    control.send(QStringLiteral("dial"), QStringLiteral("sip:a@b"),
                 [&](bool ok, const QString &data) { replies << QStringLiteral("dial %1 %2").arg(ok).arg(data); });
    const QJsonObject first = QJsonDocument::fromJson(readCommand()).object();
    control.send(QStringLiteral("hangup"), QString(),
                 [&](bool ok, const QString &data) { replies << QStringLiteral("hangup %1 %2").arg(ok).arg(data); });
    const QJsonObject second = QJsonDocument::fromJson(readCommand()).object();
    EXPECT_EQ(first.value("command").toString(), "dial");
    EXPECT_EQ(first.value("params").toString(), "sip:a@b");
    EXPECT_FALSE(second.contains("params"));
    ASSERT_NE(first.value("token").toString(), second.value("token").toString());
    // Answered out of order, plus one answer to a command of somebody else.
    auto reply = [](const QJsonObject &cmd, bool ok, const char *data) {
        QJsonObject r{{"response", true}, {"ok", ok}, {"data", data}, {"token", cmd.value("token")}};
        return EncodeNetstring(QJsonDocument(r).toJson(QJsonDocument::Compact));
    };
    write(EncodeNetstring(R"({"response":true,"ok":true,"data":"other","token":"foreign"})")
          + reply(second, false, "Invalid argument") + reply(first, true, ""));
    ASSERT_TRUE(PumpUntil([&] { return replies.size() == 2; }));
    EXPECT_EQ(replies, (QStringList{"hangup 0 Invalid argument", "dial 1 "}));
    EXPECT_EQ(control.pendingCount(), 0);
}

TEST_F(ControlTest, BadMessagesAreSkippedAndTheConnectionStays)
{
    write(EncodeNetstring("{not json") + EncodeNetstring("[1,2]") + EncodeNetstring(R"({"hello":"world"})")
          + EncodeNetstring(R"({"event":true,"type":"SOMETHING_NEW","class":"x"})")
          + EncodeNetstring(R"({"event":true,"type":"CALL_INCOMING","id":"c1","direction":"incoming",)"
                            R"("peeruri":"sip:777@pbx","peerdisplayname":"Anna","param":"sip:777@pbx"})"));
    ASSERT_TRUE(PumpUntil([&] { return events.size() == 2; }));
    EXPECT_EQ(skipped.size(), 3);
    EXPECT_TRUE(disconnects.isEmpty());
    EXPECT_TRUE(control.isConnected());
    // Unknown events pass through; the line decides what it knows.
    EXPECT_EQ(events.at(0).type, "SOMETHING_NEW");
    EXPECT_EQ(events.at(1).callId, "c1");
    EXPECT_EQ(events.at(1).peerName, "Anna");
}

TEST_F(ControlTest, BrokenStreamDropsTheConnectionAndFailsWaitingCommands)
{
    QString failure;
    control.send(QStringLiteral("accept"), QString(), [&](bool ok, const QString &data) {
        if (!ok)
            failure = data;
    });
    readCommand();
    write(EncodeNetstring(R"({"event":true,"type":"CALL_RINGING","id":"c2"})") + "12345678901:");
    ASSERT_TRUE(PumpUntil([&] { return !disconnects.isEmpty(); }));
    EXPECT_EQ(disconnects.size(), 1);
    EXPECT_TRUE(disconnects.first().contains("broken control stream"));
    ASSERT_EQ(events.size(), 1); // the event before the fault was still delivered
    EXPECT_EQ(events.first().type, "CALL_RINGING");
    EXPECT_FALSE(failure.isEmpty());
    EXPECT_FALSE(control.isConnected());
    // Commands after the loss fail at once instead of waiting forever.
    bool refused = false;
    control.send(QStringLiteral("hangup"), QString(), [&](bool ok, const QString &) { refused = !ok; });
    EXPECT_TRUE(refused);
}

TEST_F(ControlTest, PeerClosingIsReportedOnce)
{
    peer->close();
    ASSERT_TRUE(PumpUntil([&] { return !disconnects.isEmpty(); }));
    PumpEvents();
    EXPECT_EQ(disconnects.size(), 1);
}
