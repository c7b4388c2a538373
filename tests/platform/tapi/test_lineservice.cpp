#include "codepage1250.h"
#include "exception.h"
#include "linetestutil.h"
#include "lineservice.h"
#include "simulatedline.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

struct Buffer {
    explicit Buffer(DWORD size) : words(size / 4 + 1, 0) { words[0] = size; }
    template <class T>
    T *as() { return reinterpret_cast<T *>(words.data()); }
    std::vector<DWORD> words;
};

QString VarText(const void *base, DWORD offset, DWORD size)
{
    if (size == 0)
        return QString();
    return DecodeCp1250(QByteArray(static_cast<const char *>(base) + offset, int(size) - 1));
}

class LineServiceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        RecordedMessages().clear();
        ASSERT_EQ(lineInitialize(&app, nullptr, &RecordingCallback, "", &numDevs), 0);
    }
    void TearDown() override
    {
        if (app)
            lineShutdown(app);
        LineService::instance().setConfigDialog(nullptr);
        PumpEvents();
        RecordedMessages().clear();
    }

    HLINE Open(DWORD device, DWORD privileges, DWORD_PTR instance = 77, bool statusMessages = true)
    {
        HLINE line = 0;
        EXPECT_EQ(lineOpen(app, device, &line, 0x20002, 0, instance, privileges, 12, nullptr), 0);
        if (statusMessages) {
            EXPECT_EQ(lineSetStatusMessages(line, LINEDEVSTATE_ALL, LINEADDRESSSTATE_ALL), 0);
        }
        return line;
    }

    std::vector<RecordedMessage> Take()
    {
        PumpEvents();
        auto result = RecordedMessages();
        RecordedMessages().clear();
        return result;
    }

    SimulatedProvider provider{2};
    HLINEAPP app = 0;
    DWORD numDevs = 0;
};

TEST_F(LineServiceTest, NegotiatesVersionsAndRejectsBadHandles)
{
    EXPECT_EQ(numDevs, 2u);
    DWORD version = 0;
    LINEEXTENSIONID ext{1, 1, 1, 1};
    EXPECT_EQ(lineNegotiateAPIVersion(app, 0, 0x10003, 0x30000, &version, &ext), 0);
    EXPECT_EQ(version, 0x20002u);
    EXPECT_EQ(ext.dwExtensionID0, 0u);
    EXPECT_EQ(lineNegotiateAPIVersion(app, 0, 0x30000, 0x30001, &version, &ext), LINEERR_INCOMPATIBLEAPIVERSION);
    EXPECT_EQ(lineNegotiateAPIVersion(app, 2, 0x10003, 0x20002, &version, &ext), LINEERR_BADDEVICEID);
    EXPECT_EQ(lineNegotiateAPIVersion(app + 999, 0, 0x10003, 0x20002, &version, &ext), LINEERR_INVALAPPHANDLE);
    HLINE line = 0;
    EXPECT_EQ(lineOpen(app, 0, &line, 0x20002, 1, 0, 2, 12, nullptr), LINEERR_INCOMPATIBLEEXTVERSION);
    EXPECT_EQ(lineOpen(app, 0, &line, 0x20002, 0, 0, 3, 12, nullptr), LINEERR_INVALPRIVSELECT);
    EXPECT_EQ(lineOpen(app, 0, &line, 0x20002, 0, 0, 4, 0, nullptr), LINEERR_INVALMEDIAMODE);
    EXPECT_EQ(lineOpen(app, 0, &line, 0x40000, 0, 0, 2, 12, nullptr), LINEERR_INCOMPATIBLEAPIVERSION);
    line = Open(0, 2);
    EXPECT_EQ(lineSetStatusMessages(line, 0x02000000, 0), LINEERR_INVALLINESTATE);
    EXPECT_EQ(lineSetStatusMessages(line, 0, 0x200), LINEERR_INVALADDRESSSTATE);
    EXPECT_EQ(lineClose(line), 0);
    EXPECT_EQ(lineClose(line), LINEERR_INVALLINEHANDLE);
    EXPECT_EQ(lineShutdown(app), 0);
    EXPECT_EQ(lineShutdown(app), LINEERR_INVALAPPHANDLE);
    app = 0;
}

TEST_F(LineServiceTest, VariableSizeStructuresKeepTheSizeContract)
{
    Buffer big(10000);
    auto *caps = big.as<LINEDEVCAPS>();
    ASSERT_EQ(lineGetDevCaps(app, 0, 0x20002, 0, caps), 0);
    EXPECT_EQ(caps->dwTotalSize, 10000u);
    EXPECT_EQ(caps->dwNeededSize, caps->dwUsedSize);
    EXPECT_GT(caps->dwNeededSize, sizeof(LINEDEVCAPS));
    EXPECT_EQ(caps->dwLineNameSize, DWORD(EncodeCp1250(QStringLiteral("Simulovaná linka 1")).size() + 1));
    EXPECT_EQ(VarText(caps, caps->dwLineNameOffset, caps->dwLineNameSize), QStringLiteral("Simulovaná linka 1"));
    EXPECT_GE(caps->dwLineNameOffset, sizeof(LINEDEVCAPS));
    EXPECT_EQ(caps->dwNumAddresses, 1u);

    // Room for the fixed part only: no variable part, the needed size says how much.
    Buffer exact(sizeof(LINEDEVCAPS));
    auto *small = exact.as<LINEDEVCAPS>();
    small->dwTotalSize = sizeof(LINEDEVCAPS);
    ASSERT_EQ(lineGetDevCaps(app, 1, 0x20002, 0, small), 0);
    EXPECT_EQ(small->dwUsedSize, sizeof(LINEDEVCAPS));
    EXPECT_GT(small->dwNeededSize, sizeof(LINEDEVCAPS));
    EXPECT_EQ(small->dwLineNameSize, 0u);

    small->dwTotalSize = sizeof(LINEDEVCAPS) - 4;
    EXPECT_EQ(lineGetDevCaps(app, 1, 0x20002, 0, small), LINEERR_STRUCTURETOOSMALL);
    // A version 1.3 application needs room for the older, shorter fixed part only.
    small->dwTotalSize = LINEDEVCAPS_FIXEDSIZE_1X;
    EXPECT_EQ(lineGetDevCaps(app, 1, 0x10003, 0, small), 0);
    EXPECT_EQ(lineGetDevCaps(app, 1, 0x20002, 0, nullptr), LINEERR_INVALPOINTER);

    Buffer address(10000);
    auto *addressCaps = address.as<LINEADDRESSCAPS>();
    ASSERT_EQ(lineGetAddressCaps(app, 1, 0, 0x20002, 0, addressCaps), 0);
    EXPECT_EQ(VarText(addressCaps, addressCaps->dwAddressOffset, addressCaps->dwAddressSize), QStringLiteral("102"));
    EXPECT_EQ(lineGetAddressCaps(app, 1, 1, 0x20002, 0, addressCaps), LINEERR_INVALADDRESSID);
}

TEST_F(LineServiceTest, IncomingCallMessagesArriveThroughTheEventLoopInOrder)
{
    const HLINE line = Open(0, LINECALLPRIVILEGE_MONITOR, 4242);
    provider.line(1).execute(ParseLineEvent(QStringLiteral("ring 603123456"), 1));
    // Nothing is delivered from inside the provider or a line function.
    EXPECT_TRUE(RecordedMessages().empty());
    auto messages = Take();
    ASSERT_EQ(messages.size(), 3u);
    EXPECT_EQ(messages[0].message, LINE_CALLSTATE);
    EXPECT_EQ(messages[0].p1, LINECALLSTATE_OFFERING);
    EXPECT_EQ(messages[0].p3, LINECALLPRIVILEGE_MONITOR);
    EXPECT_EQ(messages[0].instance, 4242u);
    EXPECT_EQ(messages[1].message, LINE_LINEDEVSTATE);
    EXPECT_EQ(messages[1].device, line);
    EXPECT_EQ(messages[1].p1, LINEDEVSTATE_RINGING);
    EXPECT_EQ(messages[2].message, LINE_CALLINFO);
    EXPECT_EQ(messages[2].p1, LINECALLINFOSTATE_CALLERID);
    const HCALL call = messages[0].device;
    EXPECT_EQ(messages[2].device, call);

    Buffer buffer(10000);
    auto *info = buffer.as<LINECALLINFO>();
    ASSERT_EQ(lineGetCallInfo(call, info), 0);
    EXPECT_EQ(info->hLine, line);
    EXPECT_EQ(info->dwOrigin, LINECALLORIGIN_EXTERNAL);
    EXPECT_EQ(VarText(info, info->dwCallerIDOffset, info->dwCallerIDSize), QStringLiteral("603123456"));
    EXPECT_EQ(info->dwNumMonitors, 1u);

    // Later states of the same call carry no new privilege.
    provider.line(1).execute(ParseLineEvent(QStringLiteral("hangup"), 1));
    messages = Take();
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0].p1, LINECALLSTATE_DISCONNECTED);
    EXPECT_EQ(messages[1].p1, LINECALLSTATE_IDLE);
    EXPECT_EQ(messages[1].p3, 0u);
    // An idle call stays readable until its handle is deallocated.
    Buffer statusBuffer(1000);
    auto *status = statusBuffer.as<LINECALLSTATUS>();
    ASSERT_EQ(lineGetCallStatus(call, status), 0);
    EXPECT_EQ(status->dwCallState, LINECALLSTATE_IDLE);
    EXPECT_EQ(lineDeallocateCall(call), 0);
    EXPECT_EQ(lineGetCallStatus(call, status), LINEERR_INVALCALLHANDLE);
}

TEST_F(LineServiceTest, CallerNameTravelsWithTheCallerIdInTheCallInfo)
{
    Open(0, LINECALLPRIVILEGE_MONITOR);
    provider.line(1).execute(ParseLineEvent(QStringLiteral("ring 603123456"), 1));
    auto messages = Take();
    ASSERT_FALSE(messages.empty());
    const HCALL call = messages[0].device;
    Buffer buffer(10000);
    auto *info = buffer.as<LINECALLINFO>();
    ASSERT_EQ(lineGetCallInfo(call, info), 0);
    EXPECT_EQ(info->dwCallerIDFlags, LINECALLPARTYID_ADDRESS);
    EXPECT_EQ(info->dwCallerIDNameSize, 0u);
    EXPECT_EQ(info->dwCallerIDNameOffset, 0u);

    const auto calls = LineService::instance().callsOf(&provider.line(1));
    ASSERT_EQ(calls.size(), 1u);
    LineService::instance().setCallerName(*calls.front(), QStringLiteral("Anna Nováková"));
    messages = Take();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].message, LINE_CALLINFO);
    EXPECT_EQ(messages[0].device, call);
    EXPECT_EQ(messages[0].p1, LINECALLINFOSTATE_CALLERID);

    ASSERT_EQ(lineGetCallInfo(call, info), 0);
    EXPECT_EQ(info->dwCallerIDFlags, LINECALLPARTYID_ADDRESS | LINECALLPARTYID_NAME);
    EXPECT_EQ(VarText(info, info->dwCallerIDOffset, info->dwCallerIDSize), QStringLiteral("603123456"));
    EXPECT_EQ(VarText(info, info->dwCallerIDNameOffset, info->dwCallerIDNameSize), QStringLiteral("Anna Nováková"));
    EXPECT_EQ(info->dwCallerIDNameSize, DWORD(EncodeCp1250(QStringLiteral("Anna Nováková")).size() + 1));
    // The parts do not overlap and all lie inside what was used.
    EXPECT_GE(info->dwCallerIDNameOffset, info->dwCallerIDOffset + info->dwCallerIDSize);
    EXPECT_LE(info->dwCallerIDNameOffset + info->dwCallerIDNameSize, info->dwUsedSize);

    // Too small for the name as well: nothing variable is written, the needed size counts it.
    const DWORD needed = info->dwNeededSize;
    Buffer small(needed - 1);
    auto *shortInfo = small.as<LINECALLINFO>();
    ASSERT_EQ(lineGetCallInfo(call, shortInfo), 0);
    EXPECT_EQ(shortInfo->dwNeededSize, needed);
    EXPECT_EQ(shortInfo->dwCallerIDNameSize, 0u);
    EXPECT_EQ(shortInfo->dwCallerIDSize, 0u);

    // A name alone, without a number.
    LineService::instance().setCallerId(*calls.front(), QString());
    Take();
    ASSERT_EQ(lineGetCallInfo(call, info), 0);
    EXPECT_EQ(info->dwCallerIDFlags, LINECALLPARTYID_NAME);
    EXPECT_EQ(info->dwCallerIDSize, 0u);
    EXPECT_EQ(VarText(info, info->dwCallerIDNameOffset, info->dwCallerIDNameSize), QStringLiteral("Anna Nováková"));
}

TEST_F(LineServiceTest, AsynchronousRequestsReplyBeforeTheirEffectsAndCheckPrivileges)
{
    // Without asking for line states, neither line hears the ringing.
    const HLINE owner = Open(0, LINECALLPRIVILEGE_MONITOR | LINECALLPRIVILEGE_OWNER, 77, false);
    const HLINE monitor = Open(0, LINECALLPRIVILEGE_MONITOR, 5, false);
    provider.line(1).execute(ParseLineEvent(QStringLiteral("ring"), 1));
    auto messages = Take();
    ASSERT_EQ(messages.size(), 2u);
    HCALL ownerCall = 0, monitorCall = 0;
    for (const auto &m : messages)
        (m.instance == 5 ? monitorCall : ownerCall) = m.device;
    ASSERT_NE(ownerCall, monitorCall);
    EXPECT_EQ(lineAnswer(monitorCall, nullptr, 0), LINEERR_NOTOWNER);
    const LONG request = lineAnswer(ownerCall, nullptr, 0);
    ASSERT_GT(request, 0);
    EXPECT_TRUE(RecordedMessages().empty());
    messages = Take();
    ASSERT_EQ(messages.size(), 3u);
    EXPECT_EQ(messages[0].message, LINE_REPLY);
    EXPECT_EQ(LONG(messages[0].p1), request);
    EXPECT_EQ(messages[0].p2, 0u);
    EXPECT_EQ(messages[1].p1, LINECALLSTATE_CONNECTED);
    EXPECT_EQ(lineAnswer(ownerCall, nullptr, 0), LINEERR_INVALCALLSTATE);
    // The only owner may not deallocate a call in progress; a monitor may.
    EXPECT_EQ(lineDeallocateCall(ownerCall), LINEERR_INVALCALLSTATE);
    EXPECT_EQ(lineDeallocateCall(monitorCall), 0);

    const LONG drop = lineDrop(ownerCall, nullptr, 0);
    ASSERT_GT(drop, request);
    messages = Take();
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0].message, LINE_REPLY);
    EXPECT_EQ(messages[1].p1, LINECALLSTATE_IDLE);
    EXPECT_EQ(lineDrop(ownerCall, nullptr, 0), LINEERR_INVALCALLSTATE);
    EXPECT_EQ(lineDeallocateCall(ownerCall), 0);
    EXPECT_EQ(LineService::instance().callsOf(&provider.line(1)).size(), 0u);
    lineClose(owner);
    lineClose(monitor);
}

TEST_F(LineServiceTest, MakeCallDialsAndReportsTheCalledNumber)
{
    const HLINE line = Open(1, 6);
    LINECALLPARAMS params{};
    params.dwTotalSize = sizeof(params);
    params.dwBearerMode = LINEBEARERMODE_VOICE;
    params.dwMediaMode = LINEMEDIAMODE_AUTOMATEDVOICE;
    params.dwAddressMode = LINEADDRESSMODE_ADDRESSID;
    HCALL call = 0;
    const LONG request = lineMakeCall(line, &call, "221", 0, &params);
    ASSERT_GT(request, 0);
    EXPECT_NE(call, 0u);
    auto messages = Take();
    ASSERT_EQ(messages.size(), 5u);
    EXPECT_EQ(messages[0].message, LINE_REPLY);
    EXPECT_EQ(messages[1].p1, LINECALLSTATE_DIALTONE);
    EXPECT_EQ(messages[1].device, call);
    EXPECT_EQ(messages[2].p1, LINECALLSTATE_DIALING);
    EXPECT_EQ(messages[3].message, LINE_CALLINFO);
    EXPECT_EQ(messages[3].p1, LINECALLINFOSTATE_CALLEDID);
    EXPECT_EQ(messages[4].p1, LINECALLSTATE_PROCEEDING);
    EXPECT_EQ(lineDial(call, "", 0), LINEERR_INVALADDRESS);

    params.dwBearerMode = LINEBEARERMODE_DATA;
    HCALL other = 0;
    EXPECT_EQ(lineMakeCall(line, &other, "1", 0, &params), LINEERR_BEARERMODEUNAVAIL);
    params.dwBearerMode = LINEBEARERMODE_VOICE;
    params.dwTotalSize = 16;
    EXPECT_EQ(lineMakeCall(line, &other, "1", 0, &params), LINEERR_STRUCTURETOOSMALL);
}

TEST_F(LineServiceTest, InjectedFaultsFailRepliesAndWithholdReplies)
{
    provider.injectFault(LineScreenStage::Call, QStringLiteral("lineOpen"), LINEERR_OPERATIONFAILED, 0, 1);
    HLINE line = 0;
    EXPECT_EQ(lineOpen(app, 0, &line, 0x20002, 0, 0, 6, 12, nullptr), LINEERR_OPERATIONFAILED);
    // Only once, and only on the device it was meant for.
    line = Open(0, 6);
    provider.line(1).execute(ParseLineEvent(QStringLiteral("ring 1"), 1));
    const HCALL call = Take().front().device;

    provider.line(1).execute(ParseLineEvent(QStringLiteral("replyerror lineAnswer RESOURCEUNAVAIL"), 1));
    const LONG first = lineAnswer(call, nullptr, 0);
    ASSERT_GT(first, 0);
    auto messages = Take();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].message, LINE_REPLY);
    EXPECT_EQ(LONG(messages[0].p2), LINEERR_RESOURCEUNAVAIL);

    provider.line(1).execute(ParseLineEvent(QStringLiteral("noreply lineAnswer"), 1));
    ASSERT_GT(lineAnswer(call, nullptr, 0), first);
    messages = Take();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].message, LINE_CALLSTATE);
    EXPECT_EQ(messages[0].p1, LINECALLSTATE_CONNECTED);

    provider.line(1).execute(ParseLineEvent(QStringLiteral("fail lineGetCallInfo INVALCALLHANDLE *"), 1));
    Buffer buffer(10000);
    EXPECT_EQ(lineGetCallInfo(call, buffer.as<LINECALLINFO>()), LINEERR_INVALCALLHANDLE);
    EXPECT_EQ(lineGetCallInfo(call, buffer.as<LINECALLINFO>()), LINEERR_INVALCALLHANDLE);
    provider.line(1).execute(ParseLineEvent(QStringLiteral("clearfaults"), 1));
    EXPECT_EQ(lineGetCallInfo(call, buffer.as<LINECALLINFO>()), 0);
}

TEST_F(LineServiceTest, RemovedDeviceFailsUntilRestoredAndReopened)
{
    const HLINE line = Open(0, 2, 9);
    provider.line(1).execute(ParseLineEvent(QStringLiteral("ring 5"), 1));
    const HCALL call = Take().front().device;
    provider.line(1).execute(ParseLineEvent(QStringLiteral("remove"), 1));
    auto messages = Take();
    ASSERT_GE(messages.size(), 1u);
    EXPECT_EQ(messages[0].message, LINE_LINEDEVSTATE);
    EXPECT_EQ(messages[0].device, line);
    EXPECT_EQ(messages[0].p1, LINEDEVSTATE_REMOVED);
    Buffer buffer(10000);
    EXPECT_EQ(lineGetLineDevStatus(line, buffer.as<LINEDEVSTATUS>()), LINEERR_NODEVICE);
    EXPECT_EQ(lineGetCallStatus(call, buffer.as<LINECALLSTATUS>()), LINEERR_INVALCALLHANDLE);
    HLINE second = 0;
    EXPECT_EQ(lineOpen(app, 0, &second, 0x20002, 0, 0, 2, 12, nullptr), LINEERR_NODEVICE);
    EXPECT_THROW(provider.line(1).execute(ParseLineEvent(QStringLiteral("ring"), 1)), Exception);

    provider.line(1).execute(ParseLineEvent(QStringLiteral("restore"), 1));
    EXPECT_EQ(lineGetLineDevStatus(line, buffer.as<LINEDEVSTATUS>()), LINEERR_NODEVICE);
    EXPECT_EQ(lineClose(line), 0);
    second = Open(0, 2);
    ASSERT_EQ(lineGetLineDevStatus(second, buffer.as<LINEDEVSTATUS>()), 0);
    EXPECT_EQ(buffer.as<LINEDEVSTATUS>()->dwNumOpens, 1u);
}

TEST_F(LineServiceTest, ShutdownDiscardsWhatWasStillQueued)
{
    Open(0, 2);
    provider.line(1).execute(ParseLineEvent(QStringLiteral("ring 5"), 1));
    EXPECT_EQ(LineService::instance().callHandleCount(), 1);
    ASSERT_EQ(lineShutdown(app), 0);
    app = 0;
    PumpEvents();
    EXPECT_TRUE(RecordedMessages().empty());
    EXPECT_EQ(LineService::instance().openLineCount(), 0);
    EXPECT_EQ(LineService::instance().callHandleCount(), 0);
}

class FakeConfigDialog : public ILineConfigDialog {
public:
    LONG showLineConfig(DWORD deviceId, const QString &lineName, HWND) override
    {
        shown = lineName + QLatin1Char('/') + QString::number(deviceId);
        return 0;
    }
    QString shown;
};

TEST_F(LineServiceTest, ConfigDialogNeedsAnInstalledWindow)
{
    EXPECT_EQ(lineConfigDialog(0, nullptr, nullptr), LINEERR_OPERATIONUNAVAIL);
    FakeConfigDialog dialog;
    LineService::instance().setConfigDialog(&dialog);
    EXPECT_EQ(lineConfigDialog(1, nullptr, "tapi/line"), 0);
    EXPECT_EQ(dialog.shown, QStringLiteral("Simulovaná linka 2/1"));
    EXPECT_EQ(lineConfigDialog(1, nullptr, "wave/in"), LINEERR_INVALDEVICECLASS);
    EXPECT_EQ(lineConfigDialog(7, nullptr, nullptr), LINEERR_BADDEVICEID);
}

} // namespace
