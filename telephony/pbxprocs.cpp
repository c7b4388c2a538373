#include "pbxprocs.h"

#include "clock.h"
#include "codepage1250.h"
#include "myutils.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <cstring>

namespace {

struct WaitState {
    bool waiting = false;
    LONG request = 0;
    DWORD message = 0;
    bool replied = false;
    TTapiReply reply;
};

TTapiHandler g_handler;
HLINEAPP g_handlerApp = 0;
WaitState g_wait;

void LineCallbackProc(DWORD hDevice, DWORD dwMessage, DWORD_PTR dwCallbackInstance, DWORD dwParam1, DWORD dwParam2,
                      DWORD dwParam3)
{
    if (g_wait.waiting && LONG(dwParam1) == g_wait.request && dwMessage == g_wait.message) {
        g_wait.replied = true;
        g_wait.reply = TTapiReply{hDevice, dwMessage, dwCallbackInstance, dwParam1, dwParam2, dwParam3};
    }
    if (g_handler) {
        // Copied: the handler may shut the line down and clear itself while it runs.
        const TTapiHandler handler = g_handler;
        handler(hDevice, dwMessage, dwCallbackInstance, dwParam1, dwParam2, dwParam3);
    }
}

QByteArray numberText(const QString &number) { return EncodeCp1250(number); }

} // namespace

TTapiBuffer::TTapiBuffer(size_t size) : m_words(new DWORD[(size + 3) / 4]()), m_size(size)
{
    m_words[0] = DWORD(size);
}

void TapiCheck(LONG result, const QString &name)
{
    if (result == 0)
        return;
    throw ETapiError(name + QStringLiteral(" tapi error: $")
                         + QStringLiteral("%1").arg(uint32_t(result), 8, 16, QLatin1Char('0')).toUpper(),
                     result);
}

HLINEAPP TapiInitialize(DWORD &numDevs, TTapiHandler handler)
{
    HLINEAPP app = 0;
    TapiCheck(lineInitialize(&app, nullptr, &LineCallbackProc, "", &numDevs), QStringLiteral("lineInitialize"));
    // An initialisation without a handler (a device listing) leaves the watching one alone.
    if (handler) {
        g_handler = std::move(handler);
        g_handlerApp = app;
    }
    return app;
}

void TapiShutdown(HLINEAPP lineApp)
{
    struct ClearHandler {
        HLINEAPP app;
        ~ClearHandler()
        {
            if (app == g_handlerApp || !g_handlerApp) {
                g_handler = nullptr;
                g_handlerApp = 0;
            }
        }
    } clear{lineApp};
    TapiCheck(lineShutdown(lineApp), QStringLiteral("LineShutdown"));
}

HLINE TapiLineOpen(DWORD_PTR callbackInstance, HLINEAPP lineApp, DWORD deviceId, DWORD apiVersion, DWORD extVersion,
                   DWORD privileges)
{
    HLINE line = 0;
    TapiCheck(lineOpen(lineApp, deviceId, &line, apiVersion, extVersion, callbackInstance, privileges,
                       LINEMEDIAMODE_INTERACTIVEVOICE | LINEMEDIAMODE_AUTOMATEDVOICE, nullptr),
              QStringLiteral("LineOpen"));
    const LONG result = lineSetStatusMessages(line, LINEDEVSTATE_ALL, LINEADDRESSSTATE_ALL);
    if (result != 0) {
        try {
            TapiLineClose(line);
        } catch (const Exception &) {
            // The status-message failure is the one the caller hears about.
        }
        TapiCheck(result, QStringLiteral("LineSetStatusMessages"));
    }
    return line;
}

void TapiLineClose(HLINE line) { TapiCheck(lineClose(line), QStringLiteral("LineClose")); }

HCALL TapiMakeCall(HLINE line, const QString &number, LONG &replyResult)
{
    LINECALLPARAMS params;
    std::memset(&params, 0, sizeof(params));
    params.dwTotalSize = sizeof(LINECALLPARAMS);
    params.dwBearerMode = LINEBEARERMODE_VOICE;
    params.dwMediaMode = LINEMEDIAMODE_AUTOMATEDVOICE;
    params.dwCallParamFlags = LINECALLPARAMFLAGS_IDLE;
    params.dwAddressMode = LINEADDRESSMODE_ADDRESSID;
    params.dwAddressID = 0;
    HCALL call = 0;
    const QByteArray text = numberText(number);
    TTapiReply reply;
    replyResult = TapiWaitForReply(lineMakeCall(line, &call, text.constData(), 0, &params), LINE_REPLY,
                                   QStringLiteral("LineMakeCall"), reply);
    return call;
}

void TapiDial(HCALL call, const QString &number, LONG &replyResult)
{
    const QByteArray text = numberText(number);
    TTapiReply reply;
    replyResult = TapiWaitForReply(lineDial(call, text.constData(), 0), LINE_REPLY, QStringLiteral("LineDial"), reply);
}

void TapiDrop(HCALL call, LONG &replyResult)
{
    TTapiReply reply;
    replyResult = TapiWaitForReply(lineDrop(call, nullptr, 0), LINE_REPLY, QStringLiteral("LineDrop"), reply);
}

void TapiAnswer(HCALL call, LONG &replyResult)
{
    TTapiReply reply;
    replyResult = TapiWaitForReply(lineAnswer(call, nullptr, 0), LINE_REPLY, QStringLiteral("lineAnswer"), reply);
}

void TapiGetCallInfo(HCALL call, std::unique_ptr<TTapiBuffer> &info)
{
    const bool allocated = !info;
    if (allocated)
        info = std::make_unique<TTapiBuffer>(TAPI_BUFFER_SIZE);
    try {
        TapiCheck(lineGetCallInfo(call, info->as<LINECALLINFO>()), QStringLiteral("LineGetCallInfo"));
    } catch (...) {
        if (allocated)
            info.reset();
        throw;
    }
}

QString TapiVarString(const void *base, DWORD offset, DWORD size)
{
    if (size <= 1)
        return QString();
    if (offset > 65520)
        throw Exception(QStringLiteral("Range check error"));
    // A field that claims bytes beyond the structure is never read.
    DWORD total = 0;
    std::memcpy(&total, base, sizeof(total));
    if (quint64(offset) + size - 1 > total)
        throw Exception(QStringLiteral("Range check error"));
    const char *bytes = static_cast<const char *>(base) + offset;
    const size_t length = strnlen(bytes, size - 1);
    return DecodeCp1250(QByteArray(bytes, qsizetype(length)));
}

bool TapiWaiting() { return g_wait.waiting; }

LONG TapiWaitForReply(LONG requestId, DWORD message, const QString &name, TTapiReply &reply)
{
    if (g_wait.waiting)
        throw Exception(QStringLiteral("waitforreply called again"));
    g_wait.replied = false;
    g_wait.request = requestId;
    g_wait.message = message;
    g_wait.waiting = true;
    struct EndWait {
        ~EndWait() { g_wait.waiting = false; }
    } endWait;
    if (requestId <= 0) {
        TapiCheck(requestId, name);
        return requestId;
    }
    // The loop sleeps until an event arrives, but never longer than the wake-up timer's
    // period, so the limit is checked without spinning the processor.
    QTimer wake;
    wake.start(10);
    const uint32_t start = GetTickCount();
    while (true) {
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
        if (g_wait.replied)
            break;
        if (TickDifference(start, GetTickCount()) > TAPI_REPLY_TIMEOUT_MS)
            return -2;
    }
    reply = g_wait.reply;
    return LONG(g_wait.reply.dwParam2);
}

void LogIgnoredLineError(const char *where) noexcept
{
    try {
        try {
            throw;
        } catch (const std::exception &e) {
            WriteLogLine(QStringLiteral("Ignored in %1: %2").arg(QLatin1String(where), QString::fromUtf8(e.what())));
        } catch (...) {
            WriteLogLine(QStringLiteral("Ignored in %1: an unknown error").arg(QLatin1String(where)));
        }
    } catch (...) {
        // Logging itself failed: there is nowhere left to report it.
    }
}
