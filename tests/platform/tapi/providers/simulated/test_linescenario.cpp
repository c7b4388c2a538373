#include "exception.h"
#include "linetestutil.h"
#include "simulatedline.h"

#include <gtest/gtest.h>

namespace {

QString ParseError(const QString &text)
{
    try {
        ParseScenario(text);
    } catch (const Exception &e) {
        return e.message();
    }
    return QString();
}

TEST(LineScenario, ParsesDelaysCommentsAndSelectors)
{
    const auto events = ParseScenario(QStringLiteral("# an incoming call\n"
                                                     "+2.0 ring 603123456\n"
                                                     "\n"
                                                     "+5 answer #1\n"
                                                     "   +40   hangup\n"
                                                     "fail lineOpen LINEERR_OPERATIONFAILED *\n"));
    ASSERT_EQ(events.size(), 4);
    EXPECT_DOUBLE_EQ(events[0].delaySeconds, 2.0);
    EXPECT_EQ(events[0].command, QStringLiteral("ring"));
    EXPECT_EQ(events[0].args, QStringList{QStringLiteral("603123456")});
    EXPECT_EQ(events[0].sourceLine, 2);
    EXPECT_EQ(events[1].args, QStringList{QStringLiteral("#1")});
    EXPECT_EQ(events[2].sourceLine, 5);
    EXPECT_DOUBLE_EQ(events[3].delaySeconds, 0.0);
    EXPECT_EQ(events[0].text(), QStringLiteral("+2 ring 603123456"));
    // The text form parses back to the same event.
    EXPECT_EQ(ParseLineEvent(events[1].text(), 1).args, events[1].args);
}

TEST(LineScenario, ParseErrorsNameTheLineAndTheProblem)
{
    EXPECT_EQ(ParseError(QStringLiteral("ring 1\n+x answer")),
              QStringLiteral("line 2: bad time offset \"+x\" (expected +<seconds>)"));
    EXPECT_EQ(ParseError(QStringLiteral("\n\n5 ring")), QStringLiteral("line 3: time offset \"5\" must start with \"+\""));
    EXPECT_EQ(ParseError(QStringLiteral("+1 rnig 123")), QStringLiteral("line 1: unknown event \"rnig\""));
    EXPECT_EQ(ParseError(QStringLiteral("+1")), QStringLiteral("line 1: time offset without an event"));
    EXPECT_EQ(ParseError(QStringLiteral("+-1 ring")), QStringLiteral("line 1: bad time offset \"+-1\" (expected +<seconds>)"));
    EXPECT_EQ(ParseError(QStringLiteral("dial")), QStringLiteral("line 1: \"dial\" needs 1 argument(s)"));
    EXPECT_EQ(ParseError(QStringLiteral("answer now")), QStringLiteral("line 1: \"answer\" has too many arguments: \"now\""));
    EXPECT_EQ(ParseError(QStringLiteral("ring 603-abc")), QStringLiteral("line 1: \"603-abc\" is not a telephone number"));
    EXPECT_EQ(ParseError(QStringLiteral("drift sleeping")), QStringLiteral("line 1: unknown call state \"sleeping\""));
    EXPECT_EQ(ParseError(QStringLiteral("fail lineFoo OPERATIONFAILED")),
              QStringLiteral("line 1: \"lineFoo\" is not a line function"));
    EXPECT_EQ(ParseError(QStringLiteral("noreply lineOpen")),
              QStringLiteral("line 1: \"lineOpen\" is not a line function with a reply"));
    EXPECT_EQ(ParseError(QStringLiteral("fail lineOpen BROKEN")), QStringLiteral("line 1: unknown error code \"BROKEN\""));
    EXPECT_EQ(ParseError(QStringLiteral("fail lineOpen 0x48")), QStringLiteral("line 1: unknown error code \"0x48\""));
    EXPECT_EQ(ParseError(QStringLiteral("fail lineOpen 0x80000048 0")), QStringLiteral("line 1: bad repeat count \"0\""));
    EXPECT_TRUE(ParseError(QStringLiteral("fail lineOpen 0x80000048 3")).isEmpty());
    EXPECT_EQ(ParseError(QStringLiteral("farend maybe")), QStringLiteral("line 1: far end \"maybe\" is not answer, busy or none"));
    EXPECT_EQ(ParseError(QStringLiteral("farend busy 3")), QStringLiteral("line 1: bad far-end delay \"3\""));
    EXPECT_TRUE(ParseError(QStringLiteral("farend answer 0.5")).isEmpty());
}

TEST(LineScenario, EventsThatDoNotFitTheLineSayWhy)
{
    SimulatedLine line(1);
    auto error = [&](const QString &text) {
        try {
            line.execute(ParseLineEvent(text, 1));
        } catch (const Exception &e) {
            return e.message();
        }
        return QString();
    };
    EXPECT_EQ(error(QStringLiteral("answer")), QStringLiteral("no ringing call to answer on the line"));
    EXPECT_EQ(error(QStringLiteral("hangup #2")), QStringLiteral("no call #2 on the line"));
    EXPECT_EQ(error(QStringLiteral("conference")), QStringLiteral("a conference needs two connected or held calls"));
    EXPECT_TRUE(error(QStringLiteral("ring 1")).isEmpty());
    EXPECT_EQ(error(QStringLiteral("unhold #1")), QStringLiteral("call #1 has no held call"));
    EXPECT_TRUE(error(QStringLiteral("answer")).isEmpty());
    EXPECT_TRUE(error(QStringLiteral("ring 2")).isEmpty());
    EXPECT_TRUE(error(QStringLiteral("hold #1")).isEmpty());
    EXPECT_TRUE(error(QStringLiteral("answer")).isEmpty());
    EXPECT_TRUE(error(QStringLiteral("conference")).isEmpty());
    const auto calls = line.calls();
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(calls[0]->state, LINECALLSTATE_CONFERENCED);
    EXPECT_EQ(calls[1]->state, LINECALLSTATE_CONFERENCED);
    EXPECT_EQ(calls[2]->state, LINECALLSTATE_CONNECTED);
    EXPECT_EQ(calls[2]->origin, LINECALLORIGIN_CONFERENCE);
    // Hanging up the conference ends every party; nobody holds a handle, so they vanish.
    EXPECT_TRUE(error(QStringLiteral("hangup")).isEmpty());
    EXPECT_TRUE(line.calls().empty());
}

TEST(LineScenario, OnlyAHashWithDigitsAlonePicksACall)
{
    SimulatedLine line(1);
    auto run = [&](const QString &text) {
        try {
            line.execute(ParseLineEvent(text, 1));
        } catch (const Exception &e) {
            return e.message();
        }
        return QString();
    };
    // A number that begins with "#" (a service code before the number) is a number.
    EXPECT_EQ(run(QStringLiteral("ring #31#603123456")), QString());
    ASSERT_EQ(line.calls().size(), 1u);
    EXPECT_EQ(line.calls()[0]->callerId, QStringLiteral("#31#603123456"));
    EXPECT_EQ(run(QStringLiteral("callerid #31#777888999")), QString());
    EXPECT_EQ(line.calls()[0]->callerId, QStringLiteral("#31#777888999"));
    EXPECT_EQ(run(QStringLiteral("callerid *31#111 #1")), QString());
    EXPECT_EQ(line.calls()[0]->callerId, QStringLiteral("*31#111"));
    EXPECT_EQ(run(QStringLiteral("hangup #1")), QString());
    EXPECT_EQ(run(QStringLiteral("dial #31#603123456")), QString());
    ASSERT_EQ(line.calls().size(), 1u);
    EXPECT_EQ(line.calls()[0]->calledId, QStringLiteral("#31#603123456"));
    // A selector still picks, and a wrong one says so.
    EXPECT_EQ(run(QStringLiteral("dial 603 #2")), QStringLiteral("no call #2 on the line"));
    EXPECT_EQ(ParseLineEvent(QStringLiteral("dial #31#603 #1"), 1).selector(), QStringLiteral("#1"));
    EXPECT_EQ(ParseLineEvent(QStringLiteral("dial #31#603 #1"), 1).argument(), QStringLiteral("#31#603"));
    EXPECT_EQ(ParseLineEvent(QStringLiteral("hangup #12"), 1).selector(), QStringLiteral("#12"));
    EXPECT_EQ(ParseLineEvent(QStringLiteral("ring #3"), 1).argument(), QStringLiteral("#3"));
}

TEST(LineScenario, PlayerRunsEventsWhenTheyAreDue)
{
    SimulatedLine line(1);
    ScenarioPlayer player(line, ParseScenario(QStringLiteral("+2 ring 603123456\n+5 answer\n+0 answer\n+40 hangup\n")));
    QStringList played;
    bool finished = false;
    player.onEvent = [&](const LineEvent &event, const QString &error) {
        played << event.command + (error.isEmpty() ? QString() : QLatin1Char('!') + error);
    };
    player.onFinished = [&] { finished = true; };
    EXPECT_EQ(player.nextDueMs(), 2000);
    player.advanceTo(1999);
    EXPECT_TRUE(played.isEmpty());
    player.advanceTo(2000);
    EXPECT_EQ(played, QStringList{QStringLiteral("ring")});
    player.advanceTo(7000);
    ASSERT_EQ(played.size(), 3);
    EXPECT_EQ(played[2], QStringLiteral("answer!line 3: no ringing call to answer on the line"));
    EXPECT_EQ(line.calls().front()->state, LINECALLSTATE_CONNECTED);
    EXPECT_FALSE(finished);
    player.advanceTo(47000);
    EXPECT_TRUE(finished);
    EXPECT_TRUE(player.finished());
    EXPECT_EQ(player.nextDueMs(), -1);
}

TEST(LineScenario, PlayerInRealTimeReachesTheEnd)
{
    SimulatedLine line(1);
    ScenarioPlayer player(line, ParseScenario(QStringLiteral("+0.01 ring\n+0.01 hangup\n")));
    int count = 0;
    player.onEvent = [&](const LineEvent &, const QString &error) {
        EXPECT_TRUE(error.isEmpty()) << error.toStdString();
        ++count;
    };
    player.start();
    EXPECT_TRUE(PumpUntil([&] { return player.finished(); }));
    EXPECT_EQ(count, 2);
}

} // namespace
