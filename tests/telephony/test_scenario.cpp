#include "trackertest.h"

namespace {

using ScenarioCalls = TrackerTest;

TEST_F(ScenarioCalls, APlayedScenarioLogsExactlyThePrescribedCalls)
{
    tapi.MissedCalls = true;
    Open();
    ScenarioPlayer player(provider.line(1), ParseScenario(QStringLiteral(
        "# answered incoming call\n"
        "+1 ring 603123456\n+4 answer\n+30 hangup\n"
        "# missed call\n"
        "+10 ring 777888999\n+15 hangup\n"
        "# outgoing call that rang back in vain\n"
        "+5 offhook\n+2 dial 224\n+3 ringback\n+20 onhook\n"
        "# outgoing call with a pause on hold\n"
        "+5 dial 606\n+2 ringback\n+6 answer\n+60 hold\n+10 unhold\n+7 hangup\n"
        "# busy: never rang, not logged\n"
        "+1 dial 111\n+1 busy\n+2 onhook\n")));
    QStringList errors;
    player.onEvent = [&](const LineEvent &, const QString &error) {
        if (!error.isEmpty())
            errors << error;
    };
    const uint32_t startTicks = GetTickCount();
    while (!player.finished()) {
        const qint64 due = player.nextDueMs();
        clock.setTicks(startTicks + uint32_t(due));
        clock.setNow(start + double(due) / 86400000.0);
        player.advanceTo(due);
        PumpEvents();
    }
    EXPECT_TRUE(errors.isEmpty()) << errors.join(QLatin1Char('\n')).toStdString();
    const QString file = log.tempFile;
    struct Expected {
        int type, audio;
        double start, end;
        const char *number;
        bool recorded;
    };
    const Expected expected[] = {
        {3, 1, 5, 35, "603123456", true}, {5, 0, 45, 60, "777888999", false}, {4, 0, 70, 90, "224", false},
        {2, 1, 103, 163, "606", true},    {2, 1, 173, 180, "606", true},
    };
    ASSERT_EQ(log.calls.size(), std::size(expected));
    for (size_t i = 0; i < std::size(expected); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(log.calls[i].callType, expected[i].type);
        EXPECT_EQ(log.calls[i].audioType, expected[i].audio);
        EXPECT_DOUBLE_EQ(Sec(log.calls[i].start), expected[i].start);
        EXPECT_DOUBLE_EQ(Sec(log.calls[i].end), expected[i].end);
        EXPECT_EQ(log.calls[i].number, QString::fromLatin1(expected[i].number));
        EXPECT_EQ(log.calls[i].fileName, expected[i].recorded ? file : QString());
    }
    EXPECT_EQ(tapi.CallCount(), 0);
    EXPECT_EQ(statuses.back(), (Status{1, 1, QString()}));
}

} // namespace
