// The windowless program watching a SIP line: its own user agent on loopback, a second
// one as the far end driven through its control port, both on a private sound server.
// The program has no way to answer, so where a call is to be answered the line's agent
// answers on its own, as a user who picks up at once.
#include "headlessprocess.h"

#include "baresipagent.h"
#include "deACM.h"
#include "myutils.h"
#include "sipaccount.h"
#include "support/autoansweringagent.h"
#include "support/soundserver.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTimer>
#include <csignal>
#include <memory>

namespace {

SoundServer *g_sound = nullptr;
QString g_skip;

// The RMS amplitude of one frequency band of a recording ("950-1050"), past its first half second.
double BandLevel(const QString &fileName, const QString &band)
{
    QProcess sox;
    sox.start(QStringLiteral("sox"), {fileName, QStringLiteral("-n"), QStringLiteral("trim"), QStringLiteral("0.5"),
                                      QStringLiteral("sinc"), band, QStringLiteral("stat")});
    if (!sox.waitForFinished(30000))
        return -1;
    for (const QString &row : QString::fromLocal8Bit(sox.readAllStandardError()).split(QLatin1Char('\n'))) {
        if (row.startsWith(QLatin1String("RMS     amplitude")))
            return row.section(QLatin1Char(':'), 1).trimmed().toDouble();
    }
    return -1;
}

class HeadlessSip : public HeadlessProcess {
protected:
    static void SetUpTestSuite()
    {
        g_skip.clear();
        if (BaresipAgent::Program().isEmpty()) {
            g_skip = QStringLiteral("baresip is not installed");
            return;
        }
        if (QStandardPaths::findExecutable(QStringLiteral("sox")).isEmpty()) {
            g_skip = QStringLiteral("sox is not installed");
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
        // The sound server is in the environment the program inherits.
        HeadlessProcess::SetUp();
        far = std::make_unique<BaresipAgent>(dir.filePath(QStringLiteral("far")));
        far->setAudio(QStringLiteral("alsa,pulse:speaker"), QStringLiteral("ausine,1000"));
        far->onEvent = [this](const BaresipEvent &e) {
            if (e.type == QLatin1String("CALL_CLOSED") || e.type == QLatin1String("CALL_ESTABLISHED"))
                farEvents << e.type;
        };
        SipAccount farAccount;
        farAccount.address = QStringLiteral("sip:far@127.0.0.1");
        farAccount.displayName = QStringLiteral("Anna Nováková");
        farAccount.netInterface = QStringLiteral("127.0.0.1");
        far->start(farAccount);
        if (!Await([&] { return far->state() == BaresipAgent::State::Ready; }, 15000))
            GTEST_SKIP() << "baresip did not start: see " << dir.filePath(QStringLiteral("far/stderr.log")).toStdString();

        // The line as its properties window stores it; calls are recorded from its conversation.
        SipAccount line;
        line.address = QStringLiteral("sip:me@127.0.0.1");
        line.netInterface = QStringLiteral("127.0.0.1");
        line.microphone = QStringLiteral("mic");
        line.save(dir.filePath(QStringLiteral("sip")), 1);
        WriteSettings(QStringLiteral("TAPIDevice=SIP linka 1\r\nAudioInputDevice=SIP linka 1 - hovor\r\n"
                                     "AutoStartWatch=1\r\nTAPIAutoCheck=1\r\nMissedCalls=1\r\n"));
        TdeWaveFormat pcm;
        pcm.SetPCM(8000, 16, 1);
        pcm.SaveToFile(dir.filePath(QStringLiteral("audiorec.dat")));
        InstallCallLog();
    }

    void TearDown() override
    {
        far.reset();
        HeadlessProcess::TearDown();
    }

    // Runs the event loop (the far end lives on it) and collects the program's output
    // until the condition holds, the program ends or the limit passes.
    bool Await(const std::function<bool()> &condition, int limitMs = 20000)
    {
        QElapsedTimer timer;
        timer.start();
        for (;;) {
            if (host.isOpen())
                output += QString::fromLocal8Bit(host.readAllStandardOutput());
            if (condition())
                return true;
            if (timer.elapsed() > limitMs)
                return false;
            QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 20);
        }
    }
    bool AwaitOutput(const QString &text, int limitMs = 20000)
    {
        return Await([&] { return output.contains(text); }, limitMs);
    }
    bool AwaitOutput(const QRegularExpression &pattern, int limitMs = 20000)
    {
        return Await([&] { return output.contains(pattern); }, limitMs);
    }

    // The SIP port the line's agent listens on once it is up for the nth time (from 1),
    // as the program's log says; 0 when it did not come up.
    quint16 AgentPort(int nth, int limitMs = 20000)
    {
        static const QRegularExpression ready(QStringLiteral("SIP linka 1: user agent (ready|back), SIP port (\\d+)"));
        quint16 port = 0;
        Await([&] {
            const QString log = QString::fromUtf8(ReadFileToString(dir.filePath(QStringLiteral("tembrel-headless.log"))));
            int seen = 0;
            for (auto it = ready.globalMatch(log); it.hasNext();) {
                const auto match = it.next();
                if (++seen == nth)
                    port = quint16(match.captured(2).toUInt());
            }
            return port != 0;
        }, limitMs);
        return port;
    }

    void FarCommand(const QString &command, const QString &params = QString())
    {
        bool done = false, ok = false;
        QString data;
        far->control().send(command, params, [&](bool k, const QString &d) { done = true, ok = k, data = d; });
        ASSERT_TRUE(Await([&] { return done; }, 10000)) << command.toStdString();
        ASSERT_TRUE(ok) << command.toStdString() << ": " << data.toStdString();
    }
    void Dial(quint16 port) { FarCommand(QStringLiteral("dial"), QStringLiteral("sip:me@127.0.0.1:%1").arg(port)); }

    // What happens after the given time of call: the far end hangs up, the agent dies.
    void After(int ms, const std::function<void()> &step) { QTimer::singleShot(ms, Qt::PreciseTimer, &context, step); }
    void HangUpAfter(int ms)
    {
        After(ms, [this] { far->control().send(QStringLiteral("hangup")); });
    }

    QString Recording(int id) const { return dir.filePath(QStringLiteral("data/%1.wav").arg(id, 7, 10, QLatin1Char('0'))); }

    std::unique_ptr<BaresipAgent> far;
    QStringList farEvents;
    QObject context;
};

TEST_F(HeadlessSip, AnsweredCallIsLoggedWithBothVoicesAndTheLineOutlivesItsAgent)
{
    AutoAnsweringAgent autoAnswering;
    ASSERT_TRUE(autoAnswering.create(dir.path()));
    env.insert(QStringLiteral("TEMBREL_BARESIP"), autoAnswering.program());
    Launch({});
    ASSERT_TRUE(AwaitOutput(QStringLiteral("READY SIP linka 1"))) << output.toStdString();
    EXPECT_TRUE(output.contains(QStringLiteral("RECORDING SIP linka 1 - hovor: "))) << output.toStdString();
    const quint16 port = AgentPort(1);
    ASSERT_NE(port, 0) << output.toStdString();

    // A call of three seconds, hung up by the far end.
    Dial(port);
    ASSERT_TRUE(AwaitOutput(QStringLiteral("STATUS 256 3 far "))) << output.toStdString();
    HangUpAfter(3000);
    ASSERT_TRUE(AwaitOutput(QRegularExpression(QStringLiteral("CALL type=3 audio=1 .* number=far file=\\S+\n"))))
        << output.toStdString();
    auto rows = ReadRows(dir.filePath(QStringLiteral("data.xml")));
    ASSERT_EQ(rows.size(), 1);
    EXPECT_EQ(rows[0].value(QStringLiteral("CALLTYPE")), QStringLiteral("3"));
    EXPECT_EQ(rows[0].value(QStringLiteral("PHONENUMBER")), QStringLiteral("far"));
    EXPECT_EQ(rows[0].value(QStringLiteral("AUDIOTYPE")), QStringLiteral("1"));
    const QString recording = Recording(1);
    EXPECT_EQ(rows[0].value(QStringLiteral("AUDIOSIZE")), QString::number(QFileInfo(recording).size()));
    EXPECT_EQ(Sox({QStringLiteral("--i"), QStringLiteral("-r"), recording}), QStringLiteral("8000"));
    EXPECT_GE(Sox({QStringLiteral("--i"), QStringLiteral("-D"), recording}).toDouble(), 2.0);
    // The far end's 1000 Hz and the near end's 600 Hz, and little else.
    EXPECT_GT(BandLevel(recording, QStringLiteral("950-1050")), 0.02) << "the far end is missing";
    EXPECT_GT(BandLevel(recording, QStringLiteral("550-650")), 0.02) << "the near end is missing";
    EXPECT_LT(BandLevel(recording, QStringLiteral("1500-3500")), 0.01);

    // The agent dies during the next call: the call is logged at once, with its recording.
    const qsizetype before = output.size();
    Dial(port);
    ASSERT_TRUE(Await([&] { return output.indexOf(QStringLiteral("STATUS 256 3 far "), before) >= 0; }))
        << output.toStdString();
    const QList<qint64> agents = autoAnswering.processIds();
    ASSERT_EQ(agents.size(), 1);
    const pid_t agent = pid_t(agents.front());
    After(2000, [agent] { EXPECT_EQ(::kill(agent, SIGKILL), 0); });
    ASSERT_TRUE(Await([&] { return output.indexOf(QStringLiteral("number=far"), before) >= 0; })) << output.toStdString();
    EXPECT_TRUE(output.indexOf(QRegularExpression(QStringLiteral("CALL type=3 audio=1 .* number=far file=\\S+2.wav\n")),
                               before) >= 0)
        << output.toStdString();
    FarCommand(QStringLiteral("hangup")); // the far end still had the dead call

    // A new agent, and the line supervision opens the line again on its next round.
    const quint16 newPort = AgentPort(2);
    ASSERT_NE(newPort, 0);
    EXPECT_EQ(autoAnswering.processIds().size(), 2);
    ASSERT_TRUE(AwaitOutput(QStringLiteral("LOG 3 Autorestart TAPI zařízení proběhl úspěšně"), 45000))
        << output.toStdString();
    const qsizetype restarted = output.size();
    Dial(newPort);
    ASSERT_TRUE(Await([&] { return output.indexOf(QStringLiteral("STATUS 256 3 far "), restarted) >= 0; }))
        << output.toStdString();
    FarCommand(QStringLiteral("hangup"));
    ASSERT_TRUE(Await([&] { return output.indexOf(QStringLiteral("number=far"), restarted) >= 0; }));
    Terminate();
    rows = ReadRows(dir.filePath(QStringLiteral("data.xml")));
    ASSERT_EQ(rows.size(), 3);
    for (const auto &row : rows)
        EXPECT_EQ(row.value(QStringLiteral("CALLTYPE")), QStringLiteral("3"));
    EXPECT_EQ(rows[1].value(QStringLiteral("AUDIOSIZE")), QString::number(QFileInfo(Recording(2)).size()));
    EXPECT_GE(Sox({QStringLiteral("--i"), QStringLiteral("-D"), Recording(2)}).toDouble(), 1.0);
}

TEST_F(HeadlessSip, CallerWhoGivesUpIsLoggedAsMissed)
{
    Launch({});
    ASSERT_TRUE(AwaitOutput(QStringLiteral("READY SIP linka 1"))) << output.toStdString();
    const quint16 port = AgentPort(1);
    ASSERT_NE(port, 0) << output.toStdString();
    Dial(port);
    ASSERT_TRUE(AwaitOutput(QRegularExpression(QStringLiteral("STATUS 2 \\d+ far ")))) << output.toStdString();
    FarCommand(QStringLiteral("hangup"));
    ASSERT_TRUE(AwaitOutput(QStringLiteral("number=far"))) << output.toStdString();
    EXPECT_TRUE(output.contains(QRegularExpression(QStringLiteral("CALL type=5 audio=0 .* number=far file=\n"))))
        << output.toStdString();
    Terminate();
    const auto rows = ReadRows(dir.filePath(QStringLiteral("data.xml")));
    ASSERT_EQ(rows.size(), 1);
    EXPECT_EQ(rows[0].value(QStringLiteral("CALLTYPE")), QStringLiteral("5"));
    EXPECT_EQ(rows[0].value(QStringLiteral("PHONENUMBER")), QStringLiteral("far"));
    EXPECT_EQ(rows[0].value(QStringLiteral("AUDIOSIZE")), QStringLiteral("0"));
    EXPECT_FALSE(QFileInfo::exists(Recording(1)));
}

} // namespace
