// The modem line against a modem played on a pseudo-terminal: initialisation and its
// fallbacks, incoming calls with and without a number, the end of ringing, answering,
// dialling and hanging up, rubbish on the line, and the device going and coming back.
#include "linetestutil.h"
#include "support/manualclock.h"
#include "modemline.h"
#include "modemprovider.h"
#include "exception.h"
#include "myutils.h"
#include "scriptedmodem.h"
#include "settingsfile.h"
#include "support/tempdatadir.h"

#include <QRegularExpression>

namespace {

class ModemLineTest : public DataDirTest {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(modem.valid());
        RecordedMessages().clear();
    }

    void TearDown() override
    {
        LineService &service = LineService::instance();
        if (app)
            service.shutdown(app);
        line.reset();
        PumpEvents();
    }

    // The line on the scripted modem, initialised.
    void StartLine(const ModemSettings &settings = ModemSettings())
    {
        line = std::make_unique<ModemLine>(modem.path(), settings);
        line->start();
        ASSERT_TRUE(PumpUntil([&] { return line->ready(); })) << Log().toStdString();
    }

    // The line opened by an application that owns and monitors its calls.
    void OpenLine()
    {
        LineService &service = LineService::instance();
        DWORD devices = 0, version = 0;
        LINEEXTENSIONID extension {};
        ASSERT_EQ(service.initialize(&app, RecordingCallback, &devices), 0);
        const DWORD id = DWORD(service.deviceIdOf(line.get()));
        ASSERT_EQ(service.negotiateAPIVersion(app, id, 0x10003, 0x20002, &version, &extension), 0);
        ASSERT_EQ(service.open(app, id, &hline, version, 0, 0, LINECALLPRIVILEGE_MONITOR | LINECALLPRIVILEGE_OWNER,
                               LINEMEDIAMODE_INTERACTIVEVOICE, nullptr),
                  0);
        ASSERT_EQ(service.setStatusMessages(hline, LINEDEVSTATE_ALL, 0), 0);
    }

    // Lets the modem and the line talk until the condition holds.
    bool Until(const std::function<bool()> &condition) { return PumpUntil(condition, 30000); }

    // Moves the clock and lets the line act on what fell due.
    void Advance(uint32_t ms)
    {
        clock.advance(ms);
        line->checkDeadlines();
        PumpEvents();
    }

    std::vector<DWORD> States() const
    {
        std::vector<DWORD> states;
        for (const RecordedMessage &m : RecordedMessages()) {
            if (m.message == LINE_CALLSTATE)
                states.push_back(m.p1);
        }
        return states;
    }
    HCALL CallHandle() const
    {
        for (const RecordedMessage &m : RecordedMessages()) {
            if (m.message == LINE_CALLSTATE)
                return m.device;
        }
        return 0;
    }
    // The result of the request's LINE_REPLY; 1 while none arrived.
    LONG Reply(LONG request) const
    {
        for (const RecordedMessage &m : RecordedMessages()) {
            if (m.message == LINE_REPLY && LONG(m.p1) == request)
                return LONG(m.p2);
        }
        return 1;
    }
    bool HasState(DWORD state) const
    {
        const auto states = States();
        return std::find(states.begin(), states.end(), state) != states.end();
    }
    QString Log() const { return QString::fromUtf8(ReadFileToString(LogFileName())); }

    ManualClock clock;
    ScriptedModem modem;
    std::unique_ptr<ModemLine> line;
    HLINEAPP app = 0;
    HLINE hline = 0;
};

using Init = ModemLineTest;

TEST_F(Init, ResetsIdentifiesAndFallsBackToTheNextCallerIdCommand)
{
    modem.echo = true; // echoed until ATE0 arrives
    modem.refused = {"AT+VCID=1"};
    StartLine();
    EXPECT_EQ(modem.commands, (QList<QByteArray>{"AT", "ATZ", "ATE0V1", "ATI", "AT+GMM", "AT+FCLASS=0", "AT+VCID=1",
                                                 "AT#CID=1"}));
    EXPECT_EQ(line->callerIdInUse(), QStringLiteral("AT#CID=1"));
    EXPECT_EQ(line->identity(), QStringLiteral("SVM-56"));
    EXPECT_EQ(line->lineName(), QStringLiteral("Modem ") + modem.path());
    EXPECT_TRUE(line->providerInfo().contains(QStringLiteral("SVM-56")));
    EXPECT_FALSE(Log().contains(QStringLiteral("unexpected"))) << Log().toStdString();
}

TEST_F(Init, WithoutAnyCallerIdCommandTheLineStillWatchesAndSaysSo)
{
    modem.refused = {"AT+VCID=1", "AT#CID=1", "AT%CCID=1", "AT*ID1", "AT+GMM"};
    StartLine();
    EXPECT_EQ(modem.count("AT*ID1"), 1);
    EXPECT_TRUE(line->callerIdInUse().isEmpty());
    EXPECT_EQ(line->identity(), QStringLiteral("Scripted voice modem 1.0"));
    EXPECT_TRUE(Log().contains(QStringLiteral("accepts none of AT+VCID=1, AT#CID=1, AT%CCID=1, AT*ID1")));

    OpenLine();
    modem.send("\r\nRING\r\n");
    ASSERT_TRUE(Until([&] { return HasState(LINECALLSTATE_OFFERING); }));
}

TEST_F(Init, AChosenCommandIsTheOnlyOneTried)
{
    ModemSettings settings;
    settings.callerIdCommand = QStringLiteral("AT%CCID=1");
    StartLine(settings);
    EXPECT_EQ(modem.count("AT+VCID=1"), 0);
    EXPECT_EQ(line->callerIdInUse(), QStringLiteral("AT%CCID=1"));
}

TEST_F(Init, AModemThatNeverAnswersIsNotOffered)
{
    modem.silent = true;
    line = std::make_unique<ModemLine>(modem.path(), ModemSettings());
    line->start();
    ASSERT_TRUE(Until([&] { return modem.count("AT") == 1; }));
    LineService &service = LineService::instance();
    const DWORD id = DWORD(service.deviceIdOf(line.get()));
    EXPECT_TRUE(service.devicePresent(id));
    Advance(2999);
    EXPECT_TRUE(service.devicePresent(id));
    Advance(1);
    EXPECT_FALSE(service.devicePresent(id));
    EXPECT_TRUE(Log().contains(QStringLiteral("the device is lost (no answer to AT)")));
}

using IncomingCall = ModemLineTest;

TEST_F(IncomingCall, RingAndFormattedCallerIdGiveAnOfferedCallWithTheNumber)
{
    StartLine();
    OpenLine();
    modem.send("\r\nRING\r\n\r\nDATE = 0321\r\nTIME = 1405\r\nNMBR = 603 123 456\r\nNAME = NOVAK JAN\r\n\r\nRING\r\n");
    ASSERT_TRUE(Until([&] { return line->call() && !line->call()->callerId.isEmpty(); }));
    EXPECT_EQ(line->call()->callerId, QStringLiteral("603123456"));
    EXPECT_EQ(line->call()->state, LINECALLSTATE_OFFERING);
    EXPECT_EQ(line->call()->origin, DWORD(LINECALLORIGIN_EXTERNAL));
    PumpEvents();
    EXPECT_EQ(States(), (std::vector<DWORD>{LINECALLSTATE_OFFERING}));
    EXPECT_TRUE(Log().contains(QStringLiteral("caller's name: NOVAK JAN")));
    EXPECT_EQ(line->call()->callerName, QStringLiteral("NOVAK JAN"));
}

TEST_F(IncomingCall, RingsThatStopEndTheCallAfterTheRingTimeoutAndTheLogIsHonest)
{
    StartLine();
    OpenLine();
    modem.send("RING\r\n");
    ASSERT_TRUE(Until([&] { return line->call() != nullptr; }));
    Advance(6000);
    modem.send("RING\r\n"); // the next ring of the cadence restarts the wait
    PumpEvents();
    Advance(7999);
    ASSERT_NE(line->call(), nullptr);
    EXPECT_EQ(line->call()->state, LINECALLSTATE_OFFERING);
    Advance(1);
    EXPECT_EQ(line->call(), nullptr);
    ASSERT_TRUE(Until([&] { return HasState(LINECALLSTATE_IDLE); }));
    EXPECT_EQ(States(), (std::vector<DWORD>{LINECALLSTATE_OFFERING, LINECALLSTATE_DISCONNECTED, LINECALLSTATE_IDLE}));
    EXPECT_TRUE(Log().contains(QStringLiteral("after 2 ring(s)")));
    EXPECT_TRUE(Log().contains(QStringLiteral("cannot tell whether the caller gave up or another phone")));

    // A new ring is a new call.
    RecordedMessages().clear();
    modem.send("RING\r\n");
    ASSERT_TRUE(Until([&] { return HasState(LINECALLSTATE_OFFERING); }));
}

TEST_F(IncomingCall, PrivateAndUnavailableCallersLeaveTheNumberEmptyAndTheLogSaysWhy)
{
    StartLine();
    modem.send("RING\r\nNMBR = P\r\n");
    ASSERT_TRUE(Until([&] { return Log().contains(QStringLiteral("withheld the number (private)")); }));
    ASSERT_NE(line->call(), nullptr);
    EXPECT_TRUE(line->call()->callerId.isEmpty());
    Advance(8000);
    ASSERT_EQ(line->call(), nullptr);

    // The single-message form in hex, the reason "O" in place of the number.
    const QByteArray body = QByteArray("03211405") + 'O';
    QByteArray message = QByteArray(1, '\x04') + char(body.size()) + body;
    uint8_t sum = 0;
    for (const char c : message)
        sum = uint8_t(sum + uint8_t(c));
    message.append(char(uint8_t(-sum)));
    modem.send("RING\r\nMESG = " + message.toHex().toUpper() + "\r\n");
    ASSERT_TRUE(Until([&] { return Log().contains(QStringLiteral("number is unavailable")); }));
    ASSERT_NE(line->call(), nullptr);
    EXPECT_TRUE(line->call()->callerId.isEmpty());
}

TEST_F(IncomingCall, CallerIdBeforeTheFirstRingBelongsToTheCall)
{
    StartLine();
    // A multiple-message block: date and time, number, name; as an exchange that sends
    // it before ringing does.
    const QByteArray params = QByteArray("\x01\x08" "03211405", 10) + QByteArray("\x02\x09" "777123456", 11)
        + QByteArray("\x07\x04" "JANA", 6);
    QByteArray message = QByteArray(1, '\x80') + char(params.size()) + params;
    uint8_t sum = 0;
    for (const char c : message)
        sum = uint8_t(sum + uint8_t(c));
    message.append(char(uint8_t(-sum)));
    modem.send(message.toHex() + "\r\n");
    PumpEvents();
    modem.send("RING\r\n");
    ASSERT_TRUE(Until([&] { return line->call() != nullptr; }));
    EXPECT_EQ(line->call()->callerId, QStringLiteral("777123456"));
}

TEST_F(IncomingCall, PickedUpOnAnotherPhoneWhereTheModemReportsIt)
{
    StartLine();
    OpenLine();
    modem.send("RING\r\nNMBR = 555\r\n\x10P");
    ASSERT_TRUE(Until([&] { return HasState(LINECALLSTATE_CONNECTED); }));
    Advance(20000); // no ring timeout for a call somebody took
    ASSERT_NE(line->call(), nullptr);
    modem.send("\x10p");
    ASSERT_TRUE(Until([&] { return HasState(LINECALLSTATE_IDLE); }));
    EXPECT_EQ(States(), (std::vector<DWORD>{LINECALLSTATE_OFFERING, LINECALLSTATE_CONNECTED,
                                            LINECALLSTATE_DISCONNECTED, LINECALLSTATE_IDLE}));
}

using PhoneCommands = ModemLineTest;

TEST_F(PhoneCommands, AnswerInVoiceModeThenHangUp)
{
    modem.results.insert("ATA", "VCON");
    StartLine();
    OpenLine();
    modem.send("RING\r\nNMBR=420603111222\r\n");
    ASSERT_TRUE(Until([&] { return HasState(LINECALLSTATE_OFFERING); }));
    LineService &service = LineService::instance();
    const LONG answer = service.answer(CallHandle());
    ASSERT_GT(answer, 0);
    ASSERT_TRUE(Until([&] { return HasState(LINECALLSTATE_CONNECTED); }));
    EXPECT_EQ(Reply(answer), 0);
    EXPECT_EQ(modem.commands.mid(modem.commands.size() - 2), (QList<QByteArray>{"AT+FCLASS=8", "ATA"}));
    Advance(30000); // the ring timeout no longer applies, and the modem still answers AT
    EXPECT_EQ(line->call()->state, LINECALLSTATE_CONNECTED);

    const LONG drop = service.drop(CallHandle());
    ASSERT_TRUE(Until([&] { return HasState(LINECALLSTATE_IDLE); }));
    EXPECT_EQ(Reply(drop), 0);
    ASSERT_TRUE(Until([&] { return modem.commands.last() == "AT+FCLASS=0"; }));
    EXPECT_EQ(modem.commands.at(modem.commands.size() - 2), QByteArray("ATH"));
}

TEST_F(PhoneCommands, AModemWithoutVoiceModeRefusesToAnswerAndTheCallKeepsRinging)
{
    modem.refused = {"AT+FCLASS=8"};
    StartLine();
    OpenLine();
    modem.send("RING\r\n");
    ASSERT_TRUE(Until([&] { return HasState(LINECALLSTATE_OFFERING); }));
    const LONG answer = LineService::instance().answer(CallHandle());
    ASSERT_TRUE(Until([&] { return Reply(answer) != 1; }));
    EXPECT_EQ(Reply(answer), LINEERR_OPERATIONUNAVAIL);
    EXPECT_EQ(modem.count("ATA"), 0);
    EXPECT_EQ(line->call()->state, LINECALLSTATE_OFFERING);
}

TEST_F(PhoneCommands, DialThenHangUp)
{
    StartLine();
    OpenLine();
    HCALL call = 0;
    LineService &service = LineService::instance();
    const LONG request = service.makeCall(hline, &call, "603 12-34-56", 0, nullptr);
    ASSERT_GT(request, 0);
    ASSERT_TRUE(Until([&] { return HasState(LINECALLSTATE_CONNECTED); }));
    EXPECT_EQ(Reply(request), 0);
    EXPECT_TRUE(modem.commands.contains("ATD603123456"));
    EXPECT_EQ(States(), (std::vector<DWORD>{LINECALLSTATE_DIALTONE, LINECALLSTATE_DIALING, LINECALLSTATE_PROCEEDING,
                                            LINECALLSTATE_CONNECTED}));
    ASSERT_NE(line->call(), nullptr);
    EXPECT_EQ(line->call()->calledId, QStringLiteral("603123456"));

    const LONG drop = service.drop(call);
    ASSERT_TRUE(Until([&] { return HasState(LINECALLSTATE_IDLE); }));
    EXPECT_EQ(Reply(drop), 0);
    EXPECT_TRUE(modem.commands.contains("ATH"));
}

TEST_F(PhoneCommands, BusyOrNoDialToneEndTheDialledCall)
{
    modem.results.insert("ATD*", "BUSY");
    StartLine();
    OpenLine();
    HCALL call = 0;
    LineService &service = LineService::instance();
    service.makeCall(hline, &call, "777", 0, nullptr);
    ASSERT_TRUE(Until([&] { return HasState(LINECALLSTATE_IDLE); }));
    EXPECT_TRUE(HasState(LINECALLSTATE_BUSY));
    EXPECT_FALSE(HasState(LINECALLSTATE_CONNECTED));
    EXPECT_TRUE(Log().contains(QStringLiteral("dialling failed: busy")));
    EXPECT_EQ(service.deallocateCall(call), 0);

    RecordedMessages().clear();
    modem.results.insert("ATD*", "NO DIALTONE");
    const LONG second = service.makeCall(hline, &call, "777", 0, nullptr);
    ASSERT_TRUE(Until([&] { return HasState(LINECALLSTATE_IDLE); }));
    EXPECT_EQ(Reply(second), 0);
    EXPECT_TRUE(Log().contains(QStringLiteral("dialling failed: no dial tone")));
    EXPECT_EQ(service.deallocateCall(call), 0);

    // Something the modem cannot dial never reaches it.
    const int sent = int(modem.commands.size());
    const LONG bad = service.makeCall(hline, &call, "603;ATH", 0, nullptr);
    ASSERT_TRUE(Until([&] { return Reply(bad) != 1; }));
    EXPECT_EQ(Reply(bad), LINEERR_INVALADDRESS);
    PumpEvents();
    EXPECT_EQ(int(modem.commands.size()), sent);
}

using Robustness = ModemLineTest;

TEST_F(Robustness, NoiseSplitAndOverlongLinesAndStrayResultsAreLoggedAndHarmless)
{
    StartLine();
    OpenLine();
    modem.send(QByteArray("\xff\xfe\x01\x02\r\n", 6));
    modem.send("\r\nOK\r\nNO CARRIER\r\nBUSY\r\nERROR\r\nNO DIALTONE\r\n");
    modem.send(QByteArray(5000, 'x') + "RING\r\n"); // the ring is lost in the cut-off line
    modem.send("RI");
    PumpEvents();
    EXPECT_EQ(line->call(), nullptr);
    modem.send("NG\r\nNM");
    PumpEvents();
    modem.send("BR = 12345\r\n");
    ASSERT_TRUE(Until([&] { return line->call() && line->call()->callerId == QStringLiteral("12345"); }));
    const QString log = Log();
    EXPECT_TRUE(log.contains(QStringLiteral("unreadable bytes ignored")));
    EXPECT_TRUE(log.contains(QStringLiteral("unexpected \"NO CARRIER\" ignored")));
    EXPECT_TRUE(log.contains(QStringLiteral("line longer than 4096 bytes ignored")));
    EXPECT_EQ(States(), (std::vector<DWORD>{LINECALLSTATE_OFFERING}));

    // The line still answers its periodic check.
    const int checks = modem.count("AT");
    Advance(ModemLine::kKeepAliveMs);
    ASSERT_TRUE(Until([&] { return modem.count("AT") == checks + 1; }));
    PumpEvents();
    Advance(5000);
    EXPECT_TRUE(line->ready());
}

using Supervision = ModemLineTest;

TEST_F(Supervision, AVanishedDeviceIsRemovedAndReturnsWhenItAnswersAgain)
{
    StartLine();
    OpenLine();
    modem.send("RING\r\n");
    ASSERT_TRUE(Until([&] { return HasState(LINECALLSTATE_OFFERING); }));
    LineService &service = LineService::instance();
    const DWORD id = DWORD(service.deviceIdOf(line.get()));

    modem.vanish();
    ASSERT_TRUE(Until([&] { return !service.devicePresent(id); }));
    EXPECT_EQ(line->call(), nullptr);
    ASSERT_TRUE(Until([&] {
        return std::any_of(RecordedMessages().begin(), RecordedMessages().end(), [](const RecordedMessage &m) {
            return m.message == LINE_LINEDEVSTATE && m.p1 == LINEDEVSTATE_REMOVED;
        });
    }));
    EXPECT_TRUE(Log().contains(QStringLiteral("the device is lost")));
    Advance(ModemLine::kRetryMs); // still gone
    EXPECT_FALSE(service.devicePresent(id));

    modem.comeBack();
    Advance(ModemLine::kRetryMs);
    ASSERT_TRUE(Until([&] { return service.devicePresent(id); })) << Log().toStdString();
    EXPECT_TRUE(line->ready());
    EXPECT_TRUE(Log().contains(QStringLiteral("the device is back")));
    EXPECT_EQ(Log().count(QStringLiteral("the device is lost")), 1); // one line per loss, not per attempt
}

TEST_F(Supervision, AModemThatStopsAnsweringThePeriodicCheckIsLost)
{
    StartLine();
    LineService &service = LineService::instance();
    const DWORD id = DWORD(service.deviceIdOf(line.get()));
    modem.silent = true;
    const int checks = modem.count("AT");
    Advance(ModemLine::kKeepAliveMs);
    ASSERT_TRUE(Until([&] { return modem.count("AT") == checks + 1; }));
    EXPECT_TRUE(service.devicePresent(id));
    Advance(3000);
    EXPECT_FALSE(service.devicePresent(id));
    EXPECT_TRUE(Log().contains(QStringLiteral("no answer to AT")));

    modem.silent = false;
    Advance(ModemLine::kRetryMs);
    ASSERT_TRUE(Until([&] { return service.devicePresent(id); }));
}

using Properties = ModemLineTest;

TEST_F(Properties, EditedSettingsAreCheckedStoredAndUsed)
{
    const QString file = ModemProvider::SettingsFileName(data.path());
    ModemProvider provider(file, {modem.path()});
    ModemLine &modemLine = provider.line(0);
    ASSERT_TRUE(Until([&] { return modemLine.ready(); }));

    LineProperties properties = modemLine.properties();
    auto set = [&properties](const char *key, const QString &value) {
        for (LineProperty &p : properties) {
            if (p.key == QLatin1String(key))
                p.value = value;
        }
    };
    set("ringtimeout", QStringLiteral("2"));
    EXPECT_THROW(modemLine.setProperties(properties), Exception);
    set("ringtimeout", QStringLiteral("12"));
    set("speed", QStringLiteral("12345"));
    EXPECT_THROW(modemLine.setProperties(properties), Exception);
    EXPECT_FALSE(QFile::exists(file)); // nothing refused is stored

    set("speed", QStringLiteral("57600"));
    set("callerid", QStringLiteral("AT*ID1"));
    const int before = modem.count("AT*ID1");
    modemLine.setProperties(properties);
    EXPECT_EQ(modemLine.settings().ringTimeoutSeconds, 12);
    ASSERT_TRUE(Until([&] { return modem.count("AT*ID1") == before + 1 && modemLine.ready(); }));
    EXPECT_EQ(modemLine.callerIdInUse(), QStringLiteral("AT*ID1"));

    const ModemSettings stored = provider.loadSettings(modem.path());
    EXPECT_EQ(stored.speed, 57600);
    EXPECT_EQ(stored.callerIdCommand, QStringLiteral("AT*ID1"));
    EXPECT_EQ(stored.ringTimeoutSeconds, 12);
}

} // namespace
