#include "pbxprocs.h"
#include "platform/tapi/linetestutil.h"
#include "simulatedline.h"
#include "support/manualclock.h"

#include <QTimer>
#include <gtest/gtest.h>

#include <cstring>

namespace {

QString ErrorOf(const std::function<void()> &action)
{
    try {
        action();
    } catch (const Exception &e) {
        return e.message();
    }
    return QString();
}

TEST(TapiCheckTest, BuildsTheMessageFromNameAndCode)
{
    EXPECT_NO_THROW(TapiCheck(0, QStringLiteral("LineOpen")));
    EXPECT_EQ(ErrorOf([] { TapiCheck(LINEERR_OPERATIONFAILED, QStringLiteral("LineOpen")); }),
              QStringLiteral("LineOpen tapi error: $80000048"));
    EXPECT_EQ(ErrorOf([] { TapiCheck(0x1A, QStringLiteral("x")); }), QStringLiteral("x tapi error: $0000001A"));
    try {
        TapiCheck(LINEERR_NODEVICE, QStringLiteral("y"));
    } catch (const ETapiError &e) {
        EXPECT_EQ(e.code(), LINEERR_NODEVICE);
    }
}

TEST(TapiVarStringTest, ReadsTextFieldsWithinTheStructure)
{
    TTapiBuffer buffer(200);
    auto *caps = buffer.as<LINEDEVCAPS>();
    char *base = reinterpret_cast<char *>(caps);
    std::memcpy(base + 100, "Linka\0skryto", 13);
    EXPECT_EQ(TapiVarString(caps, 100, 0), QString());
    EXPECT_EQ(TapiVarString(caps, 100, 1), QString());
    EXPECT_EQ(TapiVarString(caps, 100, 13), QStringLiteral("Linka"));
    EXPECT_EQ(TapiVarString(caps, 100, 4), QStringLiteral("Lin"));
    std::memcpy(base + 150, "Simulovan\xE1", 11);
    EXPECT_EQ(TapiVarString(caps, 150, 11), QStringLiteral("Simulovaná"));
    EXPECT_EQ(ErrorOf([&] { TapiVarString(caps, 65521, 2); }), QStringLiteral("Range check error"));
    // A field claiming bytes beyond the structure is refused rather than read.
    EXPECT_EQ(ErrorOf([&] { TapiVarString(caps, 190, 20); }), QStringLiteral("Range check error"));
    EXPECT_EQ(TapiVarString(caps, 190, 11), QString());
}

class PbxprocsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        app = TapiInitialize(numDevs, [this](DWORD device, DWORD message, DWORD_PTR, DWORD p1, DWORD p2, DWORD) {
            handled.push_back({device, message, 0, p1, p2, 0});
        });
    }
    void TearDown() override
    {
        if (app)
            TapiShutdown(app);
        provider.clearFaults();
    }
    HCALL RingAndTakeCall()
    {
        provider.line(1).execute(ParseLineEvent(QStringLiteral("ring 603"), 1));
        PumpEvents();
        return handled.front().device;
    }

    ManualClock clock;
    SimulatedProvider provider{1};
    DWORD numDevs = 0;
    HLINEAPP app = 0;
    std::vector<RecordedMessage> handled;
};

TEST_F(PbxprocsTest, LineOpenClosesTheLineWhenStatusMessagesFail)
{
    EXPECT_EQ(numDevs, 1u);
    provider.injectFault(LineScreenStage::Call, QStringLiteral("lineSetStatusMessages"),
                                        LINEERR_OPERATIONFAILED);
    EXPECT_EQ(ErrorOf([&] { TapiLineOpen(0, app, 0, 0x20002, 0, 2); }),
              QStringLiteral("LineSetStatusMessages tapi error: $80000048"));
    EXPECT_EQ(LineService::instance().openLineCount(), 0);
    EXPECT_EQ(ErrorOf([&] { TapiLineOpen(0, app, 5, 0x20002, 0, 2); }), QStringLiteral("LineOpen tapi error: $80000002"));
    const HLINE line = TapiLineOpen(0, app, 0, 0x20002, 0, 6);
    EXPECT_EQ(LineService::instance().openLineCount(), 1);
    TapiLineClose(line);
    EXPECT_EQ(ErrorOf([&] { TapiLineClose(line); }), QStringLiteral("LineClose tapi error: $8000002B"));
}

TEST_F(PbxprocsTest, ShutdownClearsOnlyItsOwnHandler)
{
    DWORD n = 0;
    // A second initialisation without a handler (a device listing) leaves the first one's.
    const HLINEAPP listing = TapiInitialize(n, nullptr);
    TapiShutdown(listing);
    TapiLineOpen(0, app, 0, 0x20002, 0, 2);
    RingAndTakeCall();
    EXPECT_FALSE(handled.empty());
    TapiShutdown(app);
    EXPECT_EQ(ErrorOf([&] { TapiShutdown(app); }), QStringLiteral("LineShutdown tapi error: $80000014"));
    app = 0;
    provider.injectFault(LineScreenStage::Call, QStringLiteral("lineInitialize"), LINEERR_NOMEM);
    EXPECT_EQ(ErrorOf([&] { TapiInitialize(n, nullptr); }), QStringLiteral("lineInitialize tapi error: $80000044"));
}

TEST_F(PbxprocsTest, GetCallInfoOwnsOnlyTheBufferItAllocated)
{
    TapiLineOpen(0, app, 0, 0x20002, 0, 2);
    const HCALL call = RingAndTakeCall();
    std::unique_ptr<TTapiBuffer> info;
    TapiGetCallInfo(call, info);
    ASSERT_TRUE(info);
    EXPECT_EQ(info->size(), TAPI_BUFFER_SIZE);
    EXPECT_EQ(info->as<LINECALLINFO>()->dwTotalSize, 10000u);
    EXPECT_EQ(info->as<LINECALLINFO>()->dwOrigin, LINECALLORIGIN_EXTERNAL);

    std::unique_ptr<TTapiBuffer> empty;
    EXPECT_EQ(ErrorOf([&] { TapiGetCallInfo(call + 1000, empty); }),
              QStringLiteral("LineGetCallInfo tapi error: $80000018"));
    EXPECT_FALSE(empty);
    TTapiBuffer *mine = info.get();
    EXPECT_FALSE(ErrorOf([&] { TapiGetCallInfo(call + 1000, info); }).isEmpty());
    EXPECT_EQ(info.get(), mine);
}

TEST_F(PbxprocsTest, RepliesEndTheWaitWithTheirResult)
{
    const HLINE line = TapiLineOpen(0, app, 0, 0x20002, 0, 6);
    const HCALL call = RingAndTakeCall();
    LONG result = 99;
    TapiAnswer(call, result);
    EXPECT_EQ(result, 0);
    EXPECT_FALSE(TapiWaiting());

    // A reply carrying an error ends the wait with the code, without raising.
    provider.line(1).execute(ParseLineEvent(QStringLiteral("replyerror lineDrop OPERATIONFAILED"), 1));
    TapiDrop(call, result);
    EXPECT_EQ(result, LINEERR_OPERATIONFAILED);
    EXPECT_LT(result, 0);

    // Rejected at once: the error of the name, and no wait.
    provider.line(1).execute(ParseLineEvent(QStringLiteral("fail lineMakeCall OPERATIONFAILED"), 1));
    const size_t before = handled.size();
    EXPECT_EQ(ErrorOf([&] { TapiMakeCall(line, QStringLiteral("123"), result); }),
              QStringLiteral("LineMakeCall tapi error: $80000048"));
    EXPECT_EQ(handled.size(), before);
    EXPECT_FALSE(TapiWaiting());

    const HCALL made = TapiMakeCall(line, QStringLiteral("123"), result);
    EXPECT_EQ(result, 0);
    EXPECT_NE(made, 0u);
    // The call's messages were handled during the wait.
    EXPECT_EQ(handled.back().p1, LINECALLSTATE_PROCEEDING);
    EXPECT_EQ(ErrorOf([&] { TapiDial(made, QString(), result); }), QStringLiteral("LineDial tapi error: $80000010"));
}

TEST_F(PbxprocsTest, AReplyThatNeverComesGivesMinusTwoAfterTwentySeconds)
{
    TapiLineOpen(0, app, 0, 0x20002, 0, 6);
    const HCALL call = RingAndTakeCall();
    // Another request's reply arrives during the wait: it reaches the handler only.
    const LONG other = lineAnswer(call, nullptr, 0);
    ASSERT_GT(other, 0);
    provider.line(1).execute(ParseLineEvent(QStringLiteral("noreply lineDrop"), 1));
    clock.setTicks(0xFFFFF000u); // the counter wraps during the wait
    QTimer tick;
    int ticks = 0;
    QObject::connect(&tick, &QTimer::timeout, [&] {
        ++ticks;
        clock.advance(1000);
    });
    tick.start(0);
    LONG result = 99;
    handled.clear();
    TapiDrop(call, result);
    tick.stop();
    EXPECT_EQ(result, -2);
    EXPECT_GE(ticks, 21); // not before twenty seconds have passed
    EXPECT_LE(ticks, 23);
    ASSERT_FALSE(handled.empty());
    EXPECT_EQ(handled.front().message, LINE_REPLY);
    EXPECT_EQ(LONG(handled.front().p1), other);
}

TEST_F(PbxprocsTest, ASecondWaitIsRefusedAndTheFirstGoesOn)
{
    TapiLineOpen(0, app, 0, 0x20002, 0, 6);
    const HCALL call = RingAndTakeCall();
    QString nested;
    LONG nestedResult = 77;
    QTimer::singleShot(0, [&] {
        nested = ErrorOf([&] { TapiAnswer(call, nestedResult); });
    });
    provider.line(1).execute(ParseLineEvent(QStringLiteral("noreply lineAnswer"), 1));
    QTimer::singleShot(5, [&] { clock.advance(20001); });
    LONG result = 0;
    TapiAnswer(call, result);
    EXPECT_EQ(nested, QStringLiteral("waitforreply called again"));
    EXPECT_EQ(nestedResult, 77);
    EXPECT_EQ(result, -2);
    EXPECT_FALSE(TapiWaiting());
}

} // namespace
