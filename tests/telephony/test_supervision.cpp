#include "trackertest.h"

#include <QTimer>

namespace {

class Supervision : public TrackerTest {
protected:
    void SetUp() override
    {
        TrackerTest::SetUp();
        tapi.TAPIAutoCheck = true;
        tapi.AutoStartWatch = true;
    }
};

TEST_F(Supervision, DoesNothingUnlessSwitchedOnWantedAndADeviceChosen)
{
    tapi.AutoStartWatch = false;
    tapi.CheckLine();
    EXPECT_FALSE(tapi.Active);
    tapi.AutoStartWatch = true;
    tapi.TAPIAutoCheck = false;
    tapi.CheckLine();
    EXPECT_FALSE(tapi.Active);
    tapi.TAPIAutoCheck = true;
    tapi.Device = -1;
    tapi.CheckLine();
    EXPECT_FALSE(tapi.Active);
    EXPECT_TRUE(log.logs.empty());
    EXPECT_TRUE(statuses.empty());
}

TEST_F(Supervision, OpensALineThatFailedAtStartOnceTheDeviceWorks)
{
    provider.injectFault(LineScreenStage::Call, QStringLiteral("lineOpen"), LINEERR_RESOURCEUNAVAIL);
    EXPECT_THROW(tapi.OpenLine(), Exception);
    tapi.CheckLine();
    EXPECT_TRUE(tapi.Active);
    EXPECT_EQ(log.logTexts(), QStringList{QStringLiteral("3 Autorestart TAPI zařízení proběhl úspěšně")});
    EXPECT_EQ(statuses.back(), (Status{1, 1, QString()}));
    // A healthy line with consistent calls: nothing is written.
    Play(QStringLiteral("ring 5\n+1 answer"));
    tapi.CheckLine();
    EXPECT_EQ(log.logs.size(), 1u);
    EXPECT_EQ(tapi.CallCount(), 1);
}

TEST_F(Supervision, DropsCallsTheLineNoLongerConfirms)
{
    Open();
    Play(QStringLiteral("ring 111\n+1 answer\n+1 ring 222\n+1 ring 333"));
    ASSERT_EQ(tapi.CallCount(), 3);
    // 111 records; 222 changed state behind our back; 333 was lost by the provider.
    Play(QStringLiteral("drift ringback #2\nforget #3"));
    clock.advance(5000);
    statuses.clear();
    tapi.CheckLine();
    EXPECT_EQ(log.logTexts(),
              (QStringList{QStringLiteral("2 Nesrovnalost při kontrole stavu hovoru $00000002 - error $80000018"),
                           QStringLiteral("2 Nesrovnalost při kontrole stavu hovoru $00000002 - error $00000001")}));
    ASSERT_EQ(tapi.CallCount(), 1);
    EXPECT_EQ(tapi.CallAt(0)->Number, QStringLiteral("111"));
    EXPECT_EQ(statuses.back(), (Status{0x100, 3, QStringLiteral("111")}));
    EXPECT_TRUE(log.calls.empty());

    // A tracked idle call is always dropped, even when the line agrees; its recording is logged.
    tapi.CallAt(0)->State = LINECALLSTATE_IDLE;
    Play(QStringLiteral("drift idle #1"));
    tapi.CheckLine();
    EXPECT_EQ(log.logTexts().last(), QStringLiteral("2 Nesrovnalost při kontrole stavu hovoru $00000001 - error $00000002"));
    ASSERT_EQ(log.calls.size(), 1u);
    EXPECT_EQ(log.calls[0].number, QStringLiteral("111"));
    EXPECT_DOUBLE_EQ(Sec(log.calls[0].end), 8.0);
    EXPECT_EQ(tapi.CallCount(), 0);
    EXPECT_EQ(statuses.back(), (Status{1, 1, QString()}));
    EXPECT_FALSE(tapi.Recording);
}

TEST_F(Supervision, RemovedDeviceEndsItsCallsAtOnceAndIsReopenedWhenItReturns)
{
    Open();
    const QString name = tapi.LineName;
    Play(QStringLiteral("ring 4\n+1 answer\n+2 remove"));
    // The recording call ends with the device, not at the next check: logged with that
    // moment as its end, the line shown as no longer watched.
    EXPECT_FALSE(tapi.Active);
    EXPECT_FALSE(tapi.Recording);
    EXPECT_EQ(tapi.CallCount(), 0);
    ASSERT_EQ(log.calls.size(), 1u);
    EXPECT_EQ(log.calls[0].number, QStringLiteral("4"));
    EXPECT_DOUBLE_EQ(Sec(log.calls[0].start), 1.0);
    EXPECT_DOUBLE_EQ(Sec(log.calls[0].end), 3.0);
    EXPECT_EQ(log.calls[0].fileName, log.tempFile);
    EXPECT_EQ(log.logTexts(), QStringList{QStringLiteral("1 TAPI zařízení %1 bylo odpojeno, linka se nesleduje").arg(name)});
    EXPECT_EQ(statuses.back(), (Status{0, 0, QString()}));

    // The supervision tries to reopen it; that fails while it is away.
    tapi.CheckLine();
    EXPECT_FALSE(tapi.Active);
    EXPECT_EQ(log.calls.size(), 1u);
    EXPECT_EQ(statuses.back(), (Status{-1, 0, QString()}));

    // Every tick tries again while the device is away.
    tapi.CheckLine();
    EXPECT_EQ(statuses.back(), (Status{-1, 0, QString()}));
    EXPECT_FALSE(tapi.Active);
    EXPECT_LE(LineService::instance().applicationCount(), 1);

    Play(QStringLiteral("restore"));
    tapi.CheckLine();
    EXPECT_TRUE(tapi.Active);
    EXPECT_EQ(log.logTexts().last(), QStringLiteral("3 Autorestart TAPI zařízení proběhl úspěšně"));
    EXPECT_EQ(statuses.back(), (Status{1, 1, QString()}));
    Play(QStringLiteral("ring 9"));
    EXPECT_EQ(tapi.CallCount(), 1);
}

TEST_F(Supervision, ALineWhoseStatusFailsIsClosedAndReopenedInTheSameTick)
{
    Open();
    Play(QStringLiteral("ring 4\n+1 answer"));
    clock.advance(2000);
    provider.injectFault(LineScreenStage::Call, QStringLiteral("lineGetLineDevStatus"), LINEERR_OPERATIONFAILED);
    tapi.CheckLine();
    EXPECT_EQ(log.logTexts(), (QStringList{QStringLiteral("1 Chyba při kontrole TAPI zařízení: $80000048"),
                                           QStringLiteral("3 Autorestart TAPI zařízení proběhl úspěšně")}));
    // The recording call was logged by the closing.
    ASSERT_EQ(log.calls.size(), 1u);
    EXPECT_DOUBLE_EQ(Sec(log.calls[0].end), 3.0);
    EXPECT_TRUE(tapi.Active);
    EXPECT_EQ(statuses.back(), (Status{1, 1, QString()}));
}

TEST_F(Supervision, RunsFromItsTimer)
{
    provider.injectFault(LineScreenStage::Call, QStringLiteral("lineOpen"), LINEERR_RESOURCEUNAVAIL);
    EXPECT_THROW(tapi.OpenLine(), Exception);
    tapi.CheckTimer->setInterval(1);
    tapi.CheckTimer->start();
    EXPECT_TRUE(PumpUntil([&] { return tapi.Active; }));
}

using PhoneCommands = TrackerTest;

TEST_F(PhoneCommands, DialMakesACallOrDialsOnTheDialTone)
{
    tapi.CommandCalls = true;
    Open();
    EXPECT_EQ(tapi.Dial(QStringLiteral("603111222")), 0);
    PumpEvents();
    ASSERT_EQ(tapi.CallCount(), 1);
    EXPECT_EQ(tapi.CallAt(0)->State, LINECALLSTATE_PROCEEDING);
    EXPECT_EQ(tapi.CallAt(0)->Number, QStringLiteral("603111222"));
    EXPECT_EQ(tapi.HangUp(), 0);
    PumpEvents();
    EXPECT_EQ(tapi.CallCount(), 0);

    // The handset is off-hook: the number goes to that call, no new call is made.
    Play(QStringLiteral("offhook"));
    ASSERT_EQ(tapi.CallAt(0)->State, LINECALLSTATE_DIALTONE);
    EXPECT_EQ(tapi.Dial(QStringLiteral("221")), 0);
    PumpEvents();
    EXPECT_EQ(tapi.CallCount(), 1);
    EXPECT_EQ(provider.line(1).calls().size(), 1u);
    EXPECT_EQ(tapi.CallAt(0)->Number, QStringLiteral("221"));
    Play(QStringLiteral("ringback\n+3 answer\n+10 hangup"));
    ASSERT_EQ(log.calls.size(), 1u);
    EXPECT_EQ(log.calls[0].callType, 2);
    EXPECT_EQ(log.calls[0].number, QStringLiteral("221"));
}

TEST_F(PhoneCommands, TheFarEndCanAnswerOrBeBusyByItself)
{
    tapi.CommandCalls = true;
    tapi.MissedCalls = true;
    Open();
    Play(QStringLiteral("farend answer 0"));
    EXPECT_EQ(tapi.Dial(QStringLiteral("800123")), 0);
    ASSERT_TRUE(PumpUntil([&] { return tapi.CallCount() == 1 && tapi.CallAt(0)->State == LINECALLSTATE_CONNECTED; }));
    EXPECT_EQ(tapi.CallAt(0)->CallType, 2);
    EXPECT_TRUE(tapi.Recording);
    EXPECT_EQ(tapi.HangUp(), 0);
    PumpEvents();
    ASSERT_EQ(log.calls.size(), 1u);
    EXPECT_EQ(log.calls[0].callType, 2);
    EXPECT_EQ(log.calls[0].number, QStringLiteral("800123"));

    // Dropped while it rings back: the far end does not answer a call that is gone.
    Play(QStringLiteral("farend answer 0.05"));
    EXPECT_EQ(tapi.Dial(QStringLiteral("800124")), 0);
    EXPECT_EQ(tapi.HangUp(), 0);
    PumpEvents();
    ASSERT_EQ(log.calls.size(), 2u);
    EXPECT_EQ(log.calls[1].callType, 4);

    Play(QStringLiteral("farend busy"));
    EXPECT_EQ(tapi.Dial(QStringLiteral("800125")), 0);
    PumpEvents();
    EXPECT_EQ(tapi.CallAt(0)->State, LINECALLSTATE_BUSY);
    EXPECT_EQ(statuses.back().state, int(LINECALLSTATE_BUSY));
}

TEST_F(PhoneCommands, AnswerAndHangUpActOnTheFirstCall)
{
    tapi.CommandCalls = true;
    Open();
    EXPECT_EQ(tapi.Answer(), 0);
    EXPECT_EQ(tapi.HangUp(), 0);
    EXPECT_TRUE(provider.line(1).calls().empty());
    Play(QStringLiteral("ring 777"));
    EXPECT_EQ(tapi.Answer(), 0);
    PumpEvents();
    EXPECT_EQ(tapi.CallAt(0)->State, LINECALLSTATE_CONNECTED);
    EXPECT_TRUE(tapi.Recording);
    clock.advance(12000);
    EXPECT_EQ(tapi.HangUp(), 0);
    PumpEvents();
    ASSERT_EQ(log.calls.size(), 1u);
    EXPECT_DOUBLE_EQ(Sec(log.calls[0].end) - Sec(log.calls[0].start), 12.0);
}

TEST_F(PhoneCommands, FailuresReachTheCaller)
{
    // Without owner privilege the line refuses to answer.
    Open();
    Play(QStringLiteral("ring 1"));
    try {
        tapi.Answer();
        FAIL();
    } catch (const Exception &e) {
        EXPECT_EQ(e.message(), QStringLiteral("lineAnswer tapi error: $80000046"));
    }
    tapi.CloseLine();
    tapi.CommandCalls = true;
    Open();
    Play(QStringLiteral("hangup\nring 2\nreplyerror lineAnswer OPERATIONFAILED"));
    EXPECT_EQ(tapi.Answer(), LINEERR_OPERATIONFAILED);
    // No reply: -2 once twenty seconds have passed on the clock.
    Play(QStringLiteral("noreply lineDrop"));
    QTimer::singleShot(1, [&] { clock.advance(20001); });
    EXPECT_EQ(tapi.HangUp(), -2);
    PumpEvents();
    EXPECT_EQ(tapi.CallCount(), 0);
    Play(QStringLiteral("fail lineMakeCall CALLUNAVAIL"));
    try {
        tapi.Dial(QStringLiteral("1"));
        FAIL();
    } catch (const Exception &e) {
        EXPECT_EQ(e.message(), QStringLiteral("LineMakeCall tapi error: $80000005"));
    }
}

} // namespace
