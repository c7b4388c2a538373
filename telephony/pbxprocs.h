#pragma once
// Thin procedures over the line functions: every failure becomes an error with a fixed
// message, the asynchronous requests become calls that return when the line answered,
// and the one line callback of the process is forwarded to one installed handler.
#include "exception.h"
#include "tapi2int.h"

#include <QString>
#include <cstddef>
#include <functional>
#include <memory>

// Device handle, message, callback instance, parameters 1 to 3.
using TTapiHandler = std::function<void(DWORD, DWORD, DWORD_PTR, DWORD, DWORD, DWORD)>;

struct TTapiReply {
    DWORD hDevice = 0;
    DWORD dwMessage = 0;
    DWORD_PTR dwCallbackInstance = 0;
    DWORD dwParam1 = 0;
    DWORD dwParam2 = 0;
    DWORD dwParam3 = 0;
};

// An error of a line function, with its result code.
class ETapiError : public Exception {
public:
    ETapiError(const QString &message, LONG code) : Exception(message), m_code(code) {}
    LONG code() const { return m_code; }

private:
    LONG m_code;
};

// A zero-filled buffer for a variable-size structure, its total size field set.
class TTapiBuffer {
public:
    explicit TTapiBuffer(size_t size);
    template <class T>
    T *as() { return reinterpret_cast<T *>(m_words.get()); }
    size_t size() const { return m_size; }

private:
    std::unique_ptr<DWORD[]> m_words;
    size_t m_size;
};

constexpr size_t TAPI_BUFFER_SIZE = 10000;
constexpr size_t TAPI_CALLSTATUS_BUFFER_SIZE = 1000;
constexpr uint32_t TAPI_REPLY_TIMEOUT_MS = 20000;

void TapiCheck(LONG result, const QString &name);
HLINEAPP TapiInitialize(DWORD &numDevs, TTapiHandler handler);
void TapiShutdown(HLINEAPP lineApp);
HLINE TapiLineOpen(DWORD_PTR callbackInstance, HLINEAPP lineApp, DWORD deviceId, DWORD apiVersion, DWORD extVersion,
                   DWORD privileges);
void TapiLineClose(HLINE line);
HCALL TapiMakeCall(HLINE line, const QString &number, LONG &replyResult);
void TapiDial(HCALL call, const QString &number, LONG &replyResult);
void TapiDrop(HCALL call, LONG &replyResult);
void TapiAnswer(HCALL call, LONG &replyResult);
// Reads the call's information into info, allocating a 10000-byte buffer when info is
// empty. On failure a buffer allocated here is freed again; one the caller gave stays.
void TapiGetCallInfo(HCALL call, std::unique_ptr<TTapiBuffer> &info);
// A text field of a structure that starts with its total size (dwTotalSize): size counts
// the terminating zero; the text ends at the first zero byte. An offset above 65520, or a
// field reaching beyond the structure's total size, is a range error.
QString TapiVarString(const void *base, DWORD offset, DWORD size);
// Waits, processing events, until the awaited message for the request arrives; returns
// the request's result, or -2 after 20000 ms without it.
LONG TapiWaitForReply(LONG requestId, DWORD message, const QString &name, TTapiReply &reply);
// True while a reply wait is in progress.
bool TapiWaiting();

// Called inside a catch block whose error a line procedure may ignore: the error goes to
// the log, so that nothing is swallowed without a trace.
void LogIgnoredLineError(const char *where) noexcept;
