// SIP lines against a real far end: two user agents on loopback, no registrar, their
// sound on a private sound server of the test's own.
#include "codepage1250.h"
#include "linetestutil.h"
#include "sipline.h"
#include "support/autoansweringagent.h"
#include "support/soundserver.h"
#include "support/tempdatadir.h"
#include "waveinregistry.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <csignal>
#include <gtest/gtest.h>

namespace {

SoundServer *g_sound = nullptr;
QString g_skip;

} // namespace

class SipLineTest : public DataDirTest {
protected:
    static void SetUpTestSuite()
    {
        g_skip.clear();
        if (BaresipAgent::Program().isEmpty()) {
            g_skip = "baresip is not installed";
            return;
        }
        g_sound = new SoundServer;
        if (!g_sound->start(g_skip)) {
            delete g_sound;
            g_sound = nullptr;
        }
    }
    static void TearDownTestSuite()
    {
        delete g_sound;
        g_sound = nullptr;
    }

    void SetUp() override
    {
        if (!g_skip.isEmpty())
            GTEST_SKIP() << g_skip.toStdString();
        RecordedMessages().clear();
        // The far end: a second agent driven over its own control port, a 1000 Hz voice.
        far = std::make_unique<BaresipAgent>(data.path() + "/far");
        far->setAudio("alsa,pulse:speaker", "ausine,1000");
        SipAccount farAccount;
        farAccount.address = "sip:far@127.0.0.1";
        farAccount.displayName = "Anna Nováková";
        farAccount.netInterface = "127.0.0.1";
        far->onEvent = [this](const BaresipEvent &e) {
            if (e.type.startsWith("CALL_") && !e.type.endsWith("SDP") && e.type != "CALL_RTCP")
                farEvents << e.type + " " + e.param;
        };
        far->start(farAccount);

        SipAccount account;
        account.address = "sip:me@127.0.0.1";
        account.netInterface = "127.0.0.1";
        account.microphone = "mic";
        account.save(data.path() + "/sip", 1);
        provider = std::make_unique<SipProvider>(data.path());
        line = &provider->line(1);
        line->agent().setRestartDelay(300);
        if (!PumpUntil([&] { return line->ready() && far->state() == BaresipAgent::State::Ready; }, 15000))
            GTEST_SKIP() << "baresip did not start: see " << (data.path() + "/sip/agent1/stderr.log").toStdString();

        DWORD devices = 0;
        ASSERT_EQ(lineInitialize(&app, nullptr, &RecordingCallback, "", &devices), 0);
        ASSERT_EQ(lineOpen(app, line->deviceId(), &hline, 0x20002, 0, 0,
                           LINECALLPRIVILEGE_MONITOR | LINECALLPRIVILEGE_OWNER, LINEMEDIAMODE_INTERACTIVEVOICE,
                           nullptr),
                  0);
        ASSERT_EQ(lineSetStatusMessages(hline, LINEDEVSTATE_ALL, 0), 0);
    }

    void TearDown() override
    {
        qunsetenv("TEMBREL_BARESIP");
        if (app)
            lineShutdown(app);
        provider.reset();
        far.reset();
        PumpEvents();
        RecordedMessages().clear();
    }

    QString ourUri() const { return QStringLiteral("sip:me@127.0.0.1:%1").arg(line->agent().sipPort()); }
    QString farAddress() const { return QStringLiteral("far@127.0.0.1:%1").arg(far->sipPort()); }

    void farCommand(const QString &command, const QString &params = QString())
    {
        bool done = false, ok = false;
        far->control().send(command, params, [&](bool k, const QString &) { done = true, ok = k; });
        ASSERT_TRUE(PumpUntil([&] { return done; }));
        ASSERT_TRUE(ok) << command.toStdString();
    }

    // The states our line reported, in order, and the call handle of the first.
    std::vector<DWORD> states(HCALL *call = nullptr, std::vector<DWORD> *modes = nullptr) const
    {
        std::vector<DWORD> list;
        for (const RecordedMessage &m : RecordedMessages()) {
            if (m.message != LINE_CALLSTATE)
                continue;
            if (call && !*call)
                *call = HCALL(m.device);
            list.push_back(m.p1);
            if (modes)
                modes->push_back(m.p2);
        }
        return list;
    }
    bool reached(DWORD state, int limitMs = 10000)
    {
        return PumpUntil([&] {
            const auto list = states();
            return std::find(list.begin(), list.end(), state) != list.end();
        }, limitMs);
    }
    bool ever(DWORD state) const
    {
        const auto list = states();
        return std::find(list.begin(), list.end(), state) != list.end();
    }
    QString callerId(HCALL call, bool name = false) const
    {
        std::vector<char> buffer(4096);
        auto *info = reinterpret_cast<LINECALLINFO *>(buffer.data());
        info->dwTotalSize = DWORD(buffer.size());
        if (lineGetCallInfo(call, info) != 0)
            return "?";
        const DWORD size = name ? info->dwCallerIDNameSize : info->dwCallerIDSize;
        const DWORD offset = name ? info->dwCallerIDNameOffset : info->dwCallerIDOffset;
        if (!size)
            return "?";
        return DecodeCp1250(QByteArray(buffer.data() + offset, int(size) - 1));
    }
    bool replied(LONG request)
    {
        return PumpUntil([&] {
            for (const RecordedMessage &m : RecordedMessages())
                if (m.message == LINE_REPLY && m.p1 == DWORD(request))
                    return m.p2 == 0;
            return false;
        });
    }

    std::unique_ptr<BaresipAgent> far;
    std::unique_ptr<SipProvider> provider;
    SipLine *line = nullptr;
    QStringList farEvents;
    HLINEAPP app = 0;
    HLINE hline = 0;
};

TEST_F(SipLineTest, IncomingAnsweredCarriesBothVoicesOnTheConversationInput)
{
    farCommand("dial", ourUri());
    ASSERT_TRUE(reached(LINECALLSTATE_OFFERING));
    HCALL call = 0;
    states(&call);
    EXPECT_EQ(callerId(call), "far");
    EXPECT_EQ(callerId(call, true), "Anna Nováková");
    const LONG request = lineAnswer(call, nullptr, 0);
    ASSERT_GT(request, 0);
    ASSERT_TRUE(replied(request));
    ASSERT_TRUE(reached(LINECALLSTATE_CONNECTED));

    // The recorder's device list offers the conversation.
    TWaveInRegistry &registry = TWaveInRegistry::Instance();
    registry.Enumerate();
    QString address;
    for (int i = 0; i < registry.Count(); ++i)
        if (registry.Device(uint32_t(i))->Name == "SIP linka 1 - hovor")
            address = registry.Device(uint32_t(i))->Address;
    ASSERT_FALSE(address.isEmpty());
    if (QStandardPaths::findExecutable("arecord").isEmpty() || QStandardPaths::findExecutable("sox").isEmpty())
        GTEST_SKIP() << "arecord or sox missing: the conversation's content is not checked";
    // Captured the way our ALSA driver captures it.
    const QString wav = data.file("talk.wav");
    ASSERT_EQ(QProcess::execute("arecord", {"-q", "-D", address, "-f", "S16_LE", "-r", "8000", "-c", "1", "-d", "2", wav}), 0);
    auto bandLevel = [&](const QString &band) {
        QProcess sox;
        sox.start("sox", {wav, "-n", "trim", "0.5", "sinc", band, "stat"});
        sox.waitForFinished(10000);
        const QString out = QString::fromLocal8Bit(sox.readAllStandardError());
        for (const QString &row : out.split('\n'))
            if (row.startsWith("RMS     amplitude"))
                return row.section(':', 1).trimmed().toDouble();
        return -1.0;
    };
    EXPECT_GT(bandLevel("950-1050"), 0.02) << "the far end is missing";
    EXPECT_GT(bandLevel("550-650"), 0.02) << "the near end is missing";
    EXPECT_LT(bandLevel("1500-3500"), 0.01);
}

TEST_F(SipLineTest, IncomingMissedWhenTheCallerGivesUp)
{
    farCommand("dial", ourUri());
    ASSERT_TRUE(reached(LINECALLSTATE_OFFERING));
    farCommand("hangup");
    ASSERT_TRUE(reached(LINECALLSTATE_IDLE));
    EXPECT_TRUE(ever(LINECALLSTATE_DISCONNECTED));
    EXPECT_FALSE(ever(LINECALLSTATE_CONNECTED));
}

TEST_F(SipLineTest, IncomingRejectedByDropping)
{
    farCommand("dial", ourUri());
    ASSERT_TRUE(reached(LINECALLSTATE_OFFERING));
    HCALL call = 0;
    states(&call);
    ASSERT_TRUE(replied(lineDrop(call, nullptr, 0)));
    ASSERT_TRUE(reached(LINECALLSTATE_IDLE));
    EXPECT_FALSE(ever(LINECALLSTATE_CONNECTED));
    ASSERT_TRUE(PumpUntil([&] { return farEvents.filter("CALL_CLOSED").size() == 1; }));
    EXPECT_TRUE(farEvents.filter("CALL_CLOSED").first().contains("486")) << farEvents.join(" | ").toStdString();
}

TEST_F(SipLineTest, OutgoingAnsweredHeldResumedAndHungUpByTheFarEnd)
{
    HCALL call = 0;
    const LONG request = lineMakeCall(hline, &call, farAddress().toLatin1().constData(), 0, nullptr);
    ASSERT_GT(request, 0);
    ASSERT_TRUE(replied(request));
    ASSERT_TRUE(reached(LINECALLSTATE_RINGBACK));
    ASSERT_TRUE(PumpUntil([&] { return !farEvents.filter("CALL_INCOMING").isEmpty(); }));
    farCommand("accept");
    ASSERT_TRUE(reached(LINECALLSTATE_CONNECTED));
    const DWORD callId = LineService::instance().callsOf(line).front()->id;

    bool held = false, resumed = false;
    line->hold(callId, [&](bool ok) { held = ok; });
    ASSERT_TRUE(PumpUntil([&] { return held; }));
    EXPECT_EQ(LineService::instance().findCall(callId)->state, LINECALLSTATE_ONHOLD);
    line->resume(callId, [&](bool ok) { resumed = ok; });
    ASSERT_TRUE(PumpUntil([&] { return resumed; }));
    EXPECT_EQ(LineService::instance().findCall(callId)->state, LINECALLSTATE_CONNECTED);

    farCommand("hangup");
    ASSERT_TRUE(reached(LINECALLSTATE_IDLE));
    std::vector<DWORD> modes;
    const auto list = states(nullptr, &modes);
    const auto disconnected = std::find(list.begin(), list.end(), LINECALLSTATE_DISCONNECTED);
    ASSERT_NE(disconnected, list.end());
    EXPECT_EQ(modes[size_t(disconnected - list.begin())], LINEDISCONNECTMODE_NORMAL);
    const std::vector<DWORD> order{LINECALLSTATE_DIALING, LINECALLSTATE_PROCEEDING, LINECALLSTATE_RINGBACK,
                                   LINECALLSTATE_CONNECTED, LINECALLSTATE_ONHOLD, LINECALLSTATE_CONNECTED,
                                   LINECALLSTATE_DISCONNECTED, LINECALLSTATE_IDLE};
    EXPECT_EQ(list, order);
}

TEST_F(SipLineTest, OutgoingUnansweredRangAndWasNeverConnected)
{
    HCALL call = 0;
    ASSERT_TRUE(replied(lineMakeCall(hline, &call, farAddress().toLatin1().constData(), 0, nullptr)));
    ASSERT_TRUE(reached(LINECALLSTATE_RINGBACK));
    ASSERT_TRUE(replied(lineDrop(call, nullptr, 0)));
    ASSERT_TRUE(reached(LINECALLSTATE_IDLE));
    EXPECT_FALSE(ever(LINECALLSTATE_CONNECTED));
    ASSERT_TRUE(PumpUntil([&] { return !farEvents.filter("CALL_CLOSED").isEmpty(); }));
}

TEST_F(SipLineTest, AgentKilledDuringACallEndsTheCallAndTheLineComesBack)
{
    farCommand("dial", ourUri());
    ASSERT_TRUE(reached(LINECALLSTATE_OFFERING));
    HCALL call = 0;
    states(&call);
    ASSERT_TRUE(replied(lineAnswer(call, nullptr, 0)));
    ASSERT_TRUE(reached(LINECALLSTATE_CONNECTED));
    const qint64 pid = line->agent().processId();
    ASSERT_GT(pid, 0);
    ::kill(pid_t(pid), SIGKILL);

    ASSERT_TRUE(reached(LINECALLSTATE_IDLE));
    EXPECT_TRUE(ever(LINECALLSTATE_DISCONNECTED));
    ASSERT_TRUE(PumpUntil([&] {
        for (const RecordedMessage &m : RecordedMessages())
            if (m.message == LINE_LINEDEVSTATE && m.p1 == LINEDEVSTATE_REMOVED)
                return true;
        return false;
    }));
    EXPECT_FALSE(LineService::instance().devicePresent(line->deviceId()));

    // A new agent answers on the same line, and the line can be opened again.
    ASSERT_TRUE(PumpUntil([&] { return line->ready(); }, 15000));
    EXPECT_NE(line->agent().processId(), pid);
    EXPECT_TRUE(LineService::instance().devicePresent(line->deviceId()));
    lineClose(hline);
    RecordedMessages().clear();
    ASSERT_EQ(lineOpen(app, line->deviceId(), &hline, 0x20002, 0, 0, LINECALLPRIVILEGE_MONITOR,
                       LINEMEDIAMODE_INTERACTIVEVOICE, nullptr),
              0);
    farCommand("hangup"); // the far end still had the dead call
    farCommand("dial", ourUri());
    ASSERT_TRUE(reached(LINECALLSTATE_OFFERING)) << farEvents.join(" | ").toStdString();
}

TEST_F(SipLineTest, CallTheAgentAnswersItselfIsOfferedConnectedAndNamed)
{
    // Such an agent reports the call established without ever reporting it incoming.
    AutoAnsweringAgent autoAnswering;
    ASSERT_TRUE(autoAnswering.create(data.path()));
    qputenv("TEMBREL_BARESIP", autoAnswering.program().toUtf8());
    line->start();
    ASSERT_TRUE(PumpUntil([&] { return line->ready(); }, 15000));
    ASSERT_EQ(autoAnswering.processIds().size(), 1);
    PumpEvents();
    RecordedMessages().clear();

    farCommand("dial", ourUri());
    ASSERT_TRUE(reached(LINECALLSTATE_CONNECTED)) << farEvents.join(" | ").toStdString();
    HCALL call = 0;
    EXPECT_EQ(states(&call), (std::vector<DWORD>{LINECALLSTATE_OFFERING, LINECALLSTATE_CONNECTED}));
    EXPECT_EQ(callerId(call), "far");
    EXPECT_EQ(callerId(call, true), "Anna Nováková");
    farCommand("hangup");
    ASSERT_TRUE(reached(LINECALLSTATE_IDLE));
    EXPECT_EQ(states().back(), LINECALLSTATE_IDLE);
}
