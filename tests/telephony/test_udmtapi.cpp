#include "trackertest.h"

#include <QFile>

namespace {

using Tracker = TrackerTest;

TEST_F(Tracker, IncomingCallAnsweredAndHungUpIsLoggedWithItsRecording)
{
    Open();
    EXPECT_EQ(tapi.LineName, QStringLiteral("Simulovaná linka 1 #101"));
    Play(QStringLiteral("+2 ring 603123456\n+5 answer\n+40 hangup"));
    ASSERT_EQ(log.calls.size(), 1u);
    const LoggedCall &call = log.calls[0];
    EXPECT_EQ(call.callType, 3);
    EXPECT_EQ(call.audioType, 1);
    EXPECT_DOUBLE_EQ(Sec(call.start), 7.0);
    EXPECT_DOUBLE_EQ(Sec(call.end), 47.0);
    EXPECT_EQ(call.number, QStringLiteral("603123456"));
    EXPECT_EQ(call.fileName, log.tempFile);
    EXPECT_TRUE(log.fileExistedAtAdd[0]);
    // The temporary recording is gone once handed over.
    EXPECT_FALSE(QFile::exists(log.tempFile));
    EXPECT_EQ(recorder.events, (QStringList{QStringLiteral("start"), QStringLiteral("stop")}));
    const std::vector<Status> expected = {
        {0x2, 3, QString()}, {0x2, 3, QStringLiteral("603123456")}, {0x100, 3, QStringLiteral("603123456")},
        {0x4000, 3, QStringLiteral("603123456")}, {1, 1, QString()}};
    EXPECT_EQ(statuses, expected);
    EXPECT_EQ(tapi.CallCount(), 0);
    EXPECT_FALSE(tapi.Recording);
    // The idle call was deallocated: the line service holds no handle any more.
    EXPECT_EQ(LineService::instance().callHandleCount(), 0);
}

TEST_F(Tracker, CallsThatRangButNeverConnectedAreLoggedOnlyWithMissedCalls)
{
    Open();
    Play(QStringLiteral("+1 ring 777111222\n+20 hangup"));
    EXPECT_TRUE(log.calls.empty());

    tapi.MissedCalls = true;
    Play(QStringLiteral("+1 ring 777111222\n+20 hangup"));
    ASSERT_EQ(log.calls.size(), 1u);
    EXPECT_EQ(log.calls[0].callType, 5);
    EXPECT_EQ(log.calls[0].audioType, 0);
    EXPECT_DOUBLE_EQ(Sec(log.calls[0].start), 22.0);
    EXPECT_DOUBLE_EQ(Sec(log.calls[0].end), 42.0);
    EXPECT_EQ(log.calls[0].number, QStringLiteral("777111222"));
    EXPECT_TRUE(log.calls[0].fileName.isEmpty());

    // Outgoing: rang back, never answered: unsuccessful. A dial that never rang back: nothing.
    Play(QStringLiteral("+1 offhook\n+2 dial 221\n+1 ringback\n+15 onhook\n+1 dial 606\n+2 busy\n+1 onhook"));
    ASSERT_EQ(log.calls.size(), 2u);
    EXPECT_EQ(log.calls[1].callType, 4);
    EXPECT_EQ(log.calls[1].number, QStringLiteral("221"));
    EXPECT_DOUBLE_EQ(Sec(log.calls[1].start), 46.0);
    EXPECT_DOUBLE_EQ(Sec(log.calls[1].end), 61.0);
    EXPECT_TRUE(recorder.events.isEmpty());
}

TEST_F(Tracker, EveryConnectedPeriodIsLoggedOnce)
{
    Open();
    Play(QStringLiteral("+1 ring 603\n+2 answer\n+10 hold\n+5 unhold\n+20 hangup"));
    ASSERT_EQ(log.calls.size(), 2u);
    EXPECT_DOUBLE_EQ(Sec(log.calls[0].start), 3.0);
    EXPECT_DOUBLE_EQ(Sec(log.calls[0].end), 13.0);
    EXPECT_DOUBLE_EQ(Sec(log.calls[1].start), 18.0);
    EXPECT_DOUBLE_EQ(Sec(log.calls[1].end), 38.0);
    EXPECT_EQ(log.calls[1].callType, 3);
    EXPECT_EQ(log.calls[1].number, QStringLiteral("603"));
    EXPECT_EQ(recorder.events.size(), 4);
}

TEST_F(Tracker, WithoutRecordingTheCallIsStillLoggedWithoutAFile)
{
    recorder.enabled = false;
    Open();
    Play(QStringLiteral("ring 1\n+1 answer\n+1 hangup"));
    ASSERT_EQ(log.calls.size(), 1u);
    EXPECT_EQ(log.calls[0].audioType, 1);
    EXPECT_TRUE(log.calls[0].fileName.isEmpty());
}

TEST_F(Tracker, CallOfAnotherLineIsIgnored)
{
    Open();
    // Another application watches line 2; its call handle reaches our callback.
    HLINEAPP app = 0;
    DWORD devices = 0;
    ASSERT_EQ(lineInitialize(&app, nullptr, &RecordingCallback, "", &devices), 0);
    HLINE other = 0;
    ASSERT_EQ(lineOpen(app, provider.line(2).deviceId(), &other, 0x20002, 0, 0, 2, 12, nullptr), 0);
    RecordedMessages().clear();
    Play(QStringLiteral("ring 555"), 2);
    ASSERT_FALSE(RecordedMessages().empty());
    const HCALL foreign = RecordedMessages().front().device;
    tapi.LineCallback(foreign, LINE_CALLSTATE, 0, LINECALLSTATE_OFFERING, 0, 0);
    tapi.LineCallback(foreign, LINE_CALLINFO, 0, LINECALLINFOSTATE_CALLERID, 0, 0);
    EXPECT_EQ(tapi.CallCount(), 0);
    EXPECT_TRUE(statuses.empty());
    EXPECT_TRUE(log.logs.empty());
    lineShutdown(app);
}

TEST_F(Tracker, SecondCallIsNotRecordedAndTheStatusFollowsTheRecordingCall)
{
    Open();
    Play(QStringLiteral("ring 111\n+1 answer\n+1 ring 222"));
    ASSERT_EQ(tapi.CallCount(), 2);
    EXPECT_EQ(statuses.back(), (Status{0x100, 3, QStringLiteral("111")}));
    Play(QStringLiteral("+1 answer #2\n+5 hangup #2"));
    EXPECT_EQ(statuses.back(), (Status{0x100, 3, QStringLiteral("111")}));
    EXPECT_TRUE(log.calls.empty());
    Play(QStringLiteral("+3 hangup"));
    ASSERT_EQ(log.calls.size(), 1u);
    EXPECT_EQ(log.calls[0].number, QStringLiteral("111"));
    EXPECT_DOUBLE_EQ(Sec(log.calls[0].end), 11.0);
    EXPECT_EQ(recorder.events.size(), 2);
}

TEST_F(Tracker, CloseLineEndsTheRecordingAndLogsIt)
{
    Open();
    Play(QStringLiteral("ring 111\n+1 answer"));
    clock.advance(14000);
    tapi.CloseLine();
    ASSERT_EQ(log.calls.size(), 1u);
    EXPECT_EQ(log.calls[0].callType, 3);
    EXPECT_DOUBLE_EQ(Sec(log.calls[0].end), 15.0);
    EXPECT_EQ(statuses.back(), (Status{0, 0, QString()}));
    EXPECT_FALSE(tapi.Active);
    EXPECT_EQ(tapi.CallCount(), 0);
    EXPECT_EQ(LineService::instance().applicationCount(), 0);

    // A recording without its call in the list: an undetermined call of no length.
    tapi.Recording = true;
    tapi.CloseLine();
    ASSERT_EQ(log.calls.size(), 2u);
    EXPECT_EQ(log.calls[1].callType, 1);
    EXPECT_TRUE(log.calls[1].number.isEmpty());
    EXPECT_DOUBLE_EQ(log.calls[1].start, log.calls[1].end);
}

TEST_F(Tracker, NumbersArriveByCallInfoOrAtConnection)
{
    Open();
    // Caller ID for a call whose type is still undetermined changes nothing...
    Play(QStringLiteral("offhook\n callerid 999"));
    EXPECT_TRUE(tapi.CallAt(0)->Number.isEmpty());
    EXPECT_EQ(tapi.CallAt(0)->CallType, 1);
    // ...the called ID of an outgoing call does, before its type is known.
    Play(QStringLiteral("dial 2468"));
    EXPECT_EQ(tapi.CallAt(0)->Number, QStringLiteral("2468"));
    EXPECT_EQ(tapi.CallAt(0)->CallType, 1);
    // Connected without ring-back: the type comes from the origin at connection.
    Play(QStringLiteral("answer\n+4 hangup"));
    ASSERT_EQ(log.calls.size(), 1u);
    EXPECT_EQ(log.calls[0].callType, 2);
    EXPECT_EQ(log.calls[0].number, QStringLiteral("2468"));

    // A caller ID that arrives late still reaches an incoming call.
    Play(QStringLiteral("ring\n callerid 5551"));
    EXPECT_EQ(tapi.CallAt(0)->Number, QStringLiteral("5551"));
}

TEST_F(Tracker, RecordingAndLoggingFailuresAreWrittenAndTrackingGoesOn)
{
    Open();
    recorder.failStart = true;
    Play(QStringLiteral("ring 1\n+1 answer\n+1 hangup"));
    ASSERT_EQ(log.calls.size(), 1u);
    EXPECT_TRUE(log.logTexts().contains(QStringLiteral("1 Chyba při začátku nahrávání: no device")));

    recorder.failStart = false;
    recorder.failStop = true;
    log.failAddCall = true;
    Play(QStringLiteral("ring 2\n+1 answer\n+1 hangup"));
    EXPECT_TRUE(log.logTexts().contains(QStringLiteral("1 Chyba při ukončení nahrávání: device gone")));
    EXPECT_TRUE(log.logTexts().contains(QStringLiteral("1 Chyba při ukládání informací nahrávky: disk full")));
    EXPECT_FALSE(tapi.Recording);

    // A missed call the log refuses is written to the log and the idle call still goes away.
    tapi.MissedCalls = true;
    Play(QStringLiteral("ring 3\n+5 hangup"));
    EXPECT_TRUE(log.logTexts().contains(QStringLiteral("1 Internal LineCallback error: disk full")));
    EXPECT_EQ(tapi.CallCount(), 0);

    // A line function failing inside the callback is logged, never raised.
    log.failAddCall = false;
    Play(QStringLiteral("ring 4\nfail lineGetCallInfo OPERATIONFAILED\ncallerid 44"));
    EXPECT_TRUE(log.logTexts().contains(
        QStringLiteral("1 Internal LineCallback error: LineGetCallInfo tapi error: $80000048")));
    EXPECT_EQ(tapi.CallAt(0)->Number, QStringLiteral("4"));
}

TEST_F(Tracker, OpenLineFailuresLeaveTheLineClosed)
{
    tapi.Device = -1;
    try {
        tapi.OpenLine();
        FAIL();
    } catch (const Exception &e) {
        EXPECT_EQ(e.message(), QStringLiteral("Není vybráno žádné TAPI zařízení"));
    }
    tapi.Device = int(provider.line(1).deviceId());
    provider.injectFault(LineScreenStage::Call, QStringLiteral("lineOpen"), LINEERR_OPERATIONFAILED);
    try {
        tapi.OpenLine();
        FAIL();
    } catch (const Exception &e) {
        EXPECT_EQ(e.message(), QStringLiteral("LineOpen tapi error: $80000048"));
    }
    EXPECT_FALSE(tapi.Active);
    // The next attempt does not leave the failed one's application behind.
    tapi.OpenLine();
    EXPECT_TRUE(tapi.Active);
    EXPECT_EQ(LineService::instance().applicationCount(), 1);
    EXPECT_TRUE(tapi.CheckTimer->isActive());
    EXPECT_EQ(tapi.CheckTimer->interval(), 30000);
}

TEST_F(Tracker, ListDevicesNamesEveryLineAndLeavesAnOpenLineAlone)
{
    TDeviceList devices;
    tapi.ListDevices(devices);
    ASSERT_EQ(devices.size(), 2);
    EXPECT_EQ(devices[0].first, QStringLiteral("Simulovaná linka 1"));
    EXPECT_EQ(devices[1].first, QStringLiteral("Simulovaná linka 2"));
    EXPECT_EQ(devices[1].second, int(provider.line(2).deviceId()));
    EXPECT_EQ(LineService::instance().applicationCount(), 0);

    Open();
    tapi.ListDevices(devices);
    EXPECT_EQ(devices.size(), 2);
    Play(QStringLiteral("ring 1"));
    EXPECT_EQ(tapi.CallCount(), 1);
    EXPECT_EQ(tapi.ConfigDialog(0, nullptr), LINEERR_OPERATIONUNAVAIL);
}

TEST(CallStateNameTest, TextsOfTheStates)
{
    EXPECT_EQ(Tdmtapi::CallStateName(0x100, 1), QStringLiteral("Probíhá neurčený hovor"));
    EXPECT_EQ(Tdmtapi::CallStateName(0x100, 2), QStringLiteral("Probíhá odchozí hovor"));
    EXPECT_EQ(Tdmtapi::CallStateName(0x100, 3), QStringLiteral("Probíhá příchozí hovor"));
    EXPECT_EQ(Tdmtapi::CallStateName(0x3, 2), QStringLiteral("Nedefinovaný"));
    EXPECT_EQ(Tdmtapi::CallStateName(0, 0), QStringLiteral("Nedefinovaný"));
    EXPECT_EQ(Tdmtapi::CallStateName(-1, 0), QStringLiteral("Nedefinovaný"));
    EXPECT_EQ(Tdmtapi::CallStateName(0x2000, 1), QStringLiteral("Přidržený hovor pro přenos"));
    EXPECT_EQ(Tdmtapi::CallStateName(0x8000, 1), QStringLiteral("Neznámý"));
}

} // namespace
