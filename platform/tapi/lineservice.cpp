#include "lineservice.h"

#include "codepage1250.h"

#include <QDateTime>
#include <algorithm>
#include <QObject>
#include <cstring>
#include <initializer_list>

namespace {

constexpr DWORD kSupportedMediaModes =
    LINEMEDIAMODE_UNKNOWN | LINEMEDIAMODE_INTERACTIVEVOICE | LINEMEDIAMODE_AUTOMATEDVOICE;
constexpr DWORD kAllCallStates = 0x0000FFFF;
constexpr DWORD kCallInfoStates = LINECALLINFOSTATE_CALLERID | LINECALLINFOSTATE_CALLEDID
    | LINECALLINFOSTATE_ORIGIN | LINECALLINFOSTATE_NUMMONITORS | LINECALLINFOSTATE_NUMOWNERINCR
    | LINECALLINFOSTATE_NUMOWNERDECR;

bool versionSupported(DWORD version)
{
    return version >= LINE_API_VERSION_LOWEST && version <= LINE_API_VERSION_HIGHEST;
}

// A text in the form variable parts carry: code page 1250, zero-terminated.
QByteArray varText(const QString &text)
{
    if (text.isEmpty())
        return QByteArray();
    QByteArray bytes = EncodeCp1250(text);
    bytes.append('\0');
    return bytes;
}

template <class T>
struct VarPart {
    QByteArray bytes;
    DWORD T::*size;
    DWORD T::*offset;
};

// Writes a variable-size structure the way the interface promises: the fixed part of
// the caller's version, then the variable parts when all of them fit; the needed and
// used sizes say what happened. A buffer smaller than the fixed part is refused.
template <class T>
LONG fillStructure(T *dest, DWORD fixedSize, T fixed, std::initializer_list<VarPart<T>> parts)
{
    if (!dest)
        return LINEERR_INVALPOINTER;
    const DWORD total = dest->dwTotalSize;
    if (total < fixedSize)
        return LINEERR_STRUCTURETOOSMALL;
    DWORD needed = fixedSize;
    for (const auto &part : parts)
        needed += DWORD(part.bytes.size());
    const bool fits = needed <= total;
    DWORD offset = fixedSize;
    for (const auto &part : parts) {
        const DWORD size = fits ? DWORD(part.bytes.size()) : 0;
        fixed.*(part.size) = size;
        fixed.*(part.offset) = size ? offset : 0;
        offset += size;
    }
    fixed.dwTotalSize = total;
    fixed.dwNeededSize = needed;
    fixed.dwUsedSize = fits ? needed : fixedSize;
    auto *bytes = reinterpret_cast<unsigned char *>(dest);
    std::memcpy(bytes, &fixed, fixedSize);
    if (fits) {
        for (const auto &part : parts) {
            if (!part.bytes.isEmpty())
                std::memcpy(bytes + fixed.*(part.offset), part.bytes.constData(), size_t(part.bytes.size()));
        }
    }
    return 0;
}

DWORD fixedSizeFor(DWORD version, DWORD size1x, DWORD size2x) { return version >= 0x20000 ? size2x : size1x; }

struct ErrorName {
    LONG code;
    const char *name;
};
const ErrorName kErrorNames[] = {
    {LINEERR_ALLOCATED, "ALLOCATED"}, {LINEERR_BADDEVICEID, "BADDEVICEID"},
    {LINEERR_BEARERMODEUNAVAIL, "BEARERMODEUNAVAIL"}, {LINEERR_CALLUNAVAIL, "CALLUNAVAIL"},
    {LINEERR_INCOMPATIBLEAPIVERSION, "INCOMPATIBLEAPIVERSION"},
    {LINEERR_INCOMPATIBLEEXTVERSION, "INCOMPATIBLEEXTVERSION"}, {LINEERR_INUSE, "INUSE"},
    {LINEERR_INVALADDRESS, "INVALADDRESS"}, {LINEERR_INVALADDRESSID, "INVALADDRESSID"},
    {LINEERR_INVALADDRESSSTATE, "INVALADDRESSSTATE"}, {LINEERR_INVALAPPHANDLE, "INVALAPPHANDLE"},
    {LINEERR_INVALCALLHANDLE, "INVALCALLHANDLE"}, {LINEERR_INVALCALLPARAMS, "INVALCALLPARAMS"},
    {LINEERR_INVALCALLSTATE, "INVALCALLSTATE"}, {LINEERR_INVALCOUNTRYCODE, "INVALCOUNTRYCODE"},
    {LINEERR_INVALDEVICECLASS, "INVALDEVICECLASS"}, {LINEERR_INVALLINEHANDLE, "INVALLINEHANDLE"},
    {LINEERR_INVALLINESTATE, "INVALLINESTATE"}, {LINEERR_INVALMEDIAMODE, "INVALMEDIAMODE"},
    {LINEERR_INVALPARAM, "INVALPARAM"}, {LINEERR_INVALPOINTER, "INVALPOINTER"},
    {LINEERR_INVALPRIVSELECT, "INVALPRIVSELECT"}, {LINEERR_NODEVICE, "NODEVICE"}, {LINEERR_NODRIVER, "NODRIVER"},
    {LINEERR_NOMEM, "NOMEM"}, {LINEERR_NOTOWNER, "NOTOWNER"}, {LINEERR_OPERATIONFAILED, "OPERATIONFAILED"},
    {LINEERR_OPERATIONUNAVAIL, "OPERATIONUNAVAIL"}, {LINEERR_RESOURCEUNAVAIL, "RESOURCEUNAVAIL"},
    {LINEERR_STRUCTURETOOSMALL, "STRUCTURETOOSMALL"}, {LINEERR_UNINITIALIZED, "UNINITIALIZED"},
    {LINEERR_REINIT, "REINIT"}, {LINEERR_ADDRESSBLOCKED, "ADDRESSBLOCKED"},
};

} // namespace

QString LineErrorName(LONG code)
{
    for (const auto &entry : kErrorNames) {
        if (entry.code == code)
            return QString::fromLatin1(entry.name);
    }
    return QString();
}

LONG LineErrorFromName(const QString &name)
{
    QString key = name.trimmed().toUpper();
    if (key.startsWith(QLatin1String("LINEERR_")))
        key = key.mid(8);
    for (const auto &entry : kErrorNames) {
        if (key == QLatin1String(entry.name))
            return entry.code;
    }
    bool ok = false;
    const uint32_t value = key.startsWith(QLatin1String("0X")) ? key.mid(2).toUInt(&ok, 16) : 0;
    // Only the error range is accepted: a code is a negative result.
    return ok && (value & 0x80000000u) ? LONG(value) : 0;
}

LineService &LineService::instance()
{
    static LineService service;
    return service;
}

// ---- Providers ------------------------------------------------------------------------

DWORD LineService::addDevice(LineDevice *device)
{
    m_devices.push_back(DeviceEntry{device, true});
    return DWORD(m_devices.size() - 1);
}

void LineService::removeDevice(LineDevice *device)
{
    const int id = deviceIdOf(device);
    if (id < 0)
        return;
    setDevicePresent(device, false);
    for (auto &[handle, line] : m_lines) {
        if (line.deviceId == DWORD(id))
            line.deviceGone = true;
    }
    m_devices.erase(m_devices.begin() + id);
    // Lines of later devices keep pointing at the right device.
    for (auto &[handle, line] : m_lines) {
        if (!line.deviceGone && line.deviceId > DWORD(id))
            --line.deviceId;
    }
    for (auto &[callId, call] : m_calls) {
        if (call->deviceId > DWORD(id))
            --call->deviceId;
    }
}

LineDevice *LineService::device(DWORD deviceId) const
{
    return deviceId < m_devices.size() ? m_devices[deviceId].device : nullptr;
}

int LineService::deviceIdOf(const LineDevice *device) const
{
    for (size_t i = 0; i < m_devices.size(); ++i) {
        if (m_devices[i].device == device)
            return int(i);
    }
    return -1;
}

bool LineService::devicePresent(DWORD deviceId) const
{
    return deviceId < m_devices.size() && m_devices[deviceId].present;
}

// ---- Providers ---------------------------------------------------------------------------

void LineService::addProvider(LineProvider *provider)
{
    if (provider && std::find(m_providers.begin(), m_providers.end(), provider) == m_providers.end())
        m_providers.push_back(provider);
}

void LineService::removeProvider(LineProvider *provider) { std::erase(m_providers, provider); }

LONG LineService::screen(LineScreenStage stage, const char *function, int deviceId)
{
    if (deviceId >= 0) {
        const LineDevice *dev = device(DWORD(deviceId));
        LineProvider *owner = dev ? dev->provider() : nullptr;
        return owner ? owner->screen(stage, function, deviceId) : 0;
    }
    for (LineProvider *provider : m_providers) {
        if (const LONG code = provider->screen(stage, function, deviceId))
            return code;
    }
    return 0;
}

// ---- Helpers ---------------------------------------------------------------------------------

DWORD LineService::nextHandle()
{
    // Handles of every kind come from one counter, so one is never taken for another.
    return ++m_lastHandle;
}

LONG LineService::checkApp(HLINEAPP app) const
{
    return m_apps.count(app) ? 0 : LINEERR_INVALAPPHANDLE;
}

LONG LineService::checkDevice(DWORD deviceId) const
{
    if (deviceId >= m_devices.size())
        return LINEERR_BADDEVICEID;
    return m_devices[deviceId].present ? 0 : LINEERR_NODEVICE;
}

const LineService::Line *LineService::lineOf(HLINE line) const
{
    const auto it = m_lines.find(line);
    return it == m_lines.end() ? nullptr : &it->second;
}

LineService::Handle *LineService::handleOf(HCALL call)
{
    const auto it = m_handles.find(call);
    return it == m_handles.end() ? nullptr : &it->second;
}

DWORD LineService::handleFor(DeviceCall &call, HLINE line, DWORD privilege)
{
    for (const auto &[handle, entry] : m_handles) {
        if (entry.line == line && entry.callId == call.id)
            return handle;
    }
    const HCALL handle = nextHandle();
    m_handles[handle] = Handle{line, call.id, privilege, false};
    return handle;
}

void LineService::post(HLINEAPP app, DWORD device, DWORD message, DWORD_PTR instance, DWORD p1, DWORD p2,
                       DWORD p3, HLINE lineGuard, HCALL callGuard)
{
    const auto it = m_apps.find(app);
    if (it == m_apps.end())
        return;
    // Always queued: a message never reaches the application from inside a line function.
    QMetaObject::invokeMethod(
        it->second.context.get(),
        [=, this] { deliver(app, device, message, instance, p1, p2, p3, lineGuard, callGuard); },
        Qt::QueuedConnection);
}

void LineService::deliver(HLINEAPP app, DWORD device, DWORD message, DWORD_PTR instance, DWORD p1, DWORD p2,
                          DWORD p3, HLINE lineGuard, HCALL callGuard)
{
    const auto it = m_apps.find(app);
    if (it == m_apps.end() || !it->second.callback)
        return;
    // What was queued for a line or call handle that has since been closed is dropped.
    if (lineGuard && !m_lines.count(lineGuard))
        return;
    if (callGuard && !m_handles.count(callGuard))
        return;
    it->second.callback(device, message, instance, p1, p2, p3);
}

void LineService::releaseHandle(HCALL call)
{
    const auto it = m_handles.find(call);
    if (it == m_handles.end())
        return;
    const DWORD callId = it->second.callId;
    m_handles.erase(it);
    eraseCallIfUnused(callId);
}

void LineService::eraseCallIfUnused(DWORD callId)
{
    const auto it = m_calls.find(callId);
    if (it == m_calls.end() || it->second->state != LINECALLSTATE_IDLE)
        return;
    for (const auto &[handle, entry] : m_handles) {
        if (entry.callId == callId)
            return;
    }
    m_calls.erase(it);
}

// ---- What devices report ------------------------------------------------------------------

DeviceCall *LineService::newCall(LineDevice *device, DWORD origin)
{
    const int deviceId = deviceIdOf(device);
    if (deviceId < 0)
        return nullptr;
    auto call = std::make_unique<DeviceCall>();
    call->id = ++m_lastCallId;
    call->deviceId = DWORD(deviceId);
    call->origin = origin;
    DeviceCall *result = call.get();
    m_calls[result->id] = std::move(call);
    return result;
}

void LineService::setCallState(DeviceCall &call, DWORD state, DWORD mode)
{
    call.state = state;
    call.stateMode = mode;
    const DWORD callId = call.id;
    for (auto &[lineHandle, line] : m_lines) {
        if (line.deviceId != call.deviceId || line.deviceGone)
            continue;
        if (!(line.privileges & (LINECALLPRIVILEGE_MONITOR | LINECALLPRIVILEGE_OWNER)))
            continue;
        HCALL handle = 0;
        for (const auto &[h, entry] : m_handles) {
            if (entry.line == lineHandle && entry.callId == callId)
                handle = h;
        }
        // A line that never saw the call gets no handle for a call that is already over.
        if (!handle && state == LINECALLSTATE_IDLE)
            continue;
        if (!handle) {
            const DWORD privilege =
                (line.privileges & LINECALLPRIVILEGE_OWNER) ? LINECALLPRIVILEGE_OWNER : LINECALLPRIVILEGE_MONITOR;
            handle = handleFor(call, lineHandle, privilege);
        }
        Handle &entry = m_handles[handle];
        const DWORD newPrivilege = entry.announced ? 0 : entry.privilege;
        entry.announced = true;
        post(line.app, handle, LINE_CALLSTATE, line.instance, state, mode, newPrivilege, lineHandle, handle);
    }
    // An offered call rings the line: the first ring, in ring mode 1.
    if (state == LINECALLSTATE_OFFERING) {
        for (const auto &[lineHandle, line] : m_lines) {
            if (line.deviceId == call.deviceId && !line.deviceGone && (line.lineStates & LINEDEVSTATE_RINGING))
                post(line.app, lineHandle, LINE_LINEDEVSTATE, line.instance, LINEDEVSTATE_RINGING, 1, 1, lineHandle);
        }
    }
    eraseCallIfUnused(callId);
}

void LineService::setCallStateQuietly(DeviceCall &call, DWORD state)
{
    call.state = state;
}

void LineService::notifyCallInfo(DeviceCall &call, DWORD infoState)
{
    for (const auto &[handle, entry] : m_handles) {
        if (entry.callId != call.id || !entry.announced)
            continue;
        const Line *line = lineOf(entry.line);
        if (line && !line->deviceGone)
            post(line->app, handle, LINE_CALLINFO, line->instance, infoState, 0, 0, entry.line, handle);
    }
}

void LineService::setCallerId(DeviceCall &call, const QString &number)
{
    call.callerId = number;
    notifyCallInfo(call, LINECALLINFOSTATE_CALLERID);
}

void LineService::setCallerName(DeviceCall &call, const QString &name)
{
    call.callerName = name;
    notifyCallInfo(call, LINECALLINFOSTATE_CALLERID);
}

void LineService::setCalledId(DeviceCall &call, const QString &number)
{
    call.calledId = number;
    notifyCallInfo(call, LINECALLINFOSTATE_CALLEDID);
}

void LineService::forgetCall(DeviceCall &call)
{
    const DWORD callId = call.id;
    std::erase_if(m_handles, [&](const auto &entry) { return entry.second.callId == callId; });
    m_calls.erase(callId);
}

void LineService::completeRequest(DWORD requestId, LONG result)
{
    const auto it = m_requests.find(requestId);
    if (it == m_requests.end())
        return;
    const Request request = it->second;
    m_requests.erase(it);
    if (!request.silent)
        post(request.app, 0, LINE_REPLY, 0, requestId, DWORD(result), 0);
}

void LineService::setDevicePresent(LineDevice *device, bool present)
{
    const int id = deviceIdOf(device);
    if (id < 0 || m_devices[size_t(id)].present == present)
        return;
    m_devices[size_t(id)].present = present;
    if (present)
        return;
    for (DeviceCall *call : callsOf(device))
        forgetCall(*call);
    for (auto &[handle, line] : m_lines) {
        if (line.deviceId != DWORD(id) || line.deviceGone)
            continue;
        line.deviceGone = true;
        if (line.lineStates & LINEDEVSTATE_REMOVED)
            post(line.app, handle, LINE_LINEDEVSTATE, line.instance, LINEDEVSTATE_REMOVED, 0, 0);
    }
    for (const auto &[app, entry] : m_apps)
        post(app, 0, LINE_REMOVE, 0, DWORD(id), 0, 0);
}

std::vector<DeviceCall *> LineService::callsOf(const LineDevice *device) const
{
    std::vector<DeviceCall *> result;
    const int id = deviceIdOf(device);
    for (const auto &[callId, call] : m_calls) {
        if (int(call->deviceId) == id)
            result.push_back(call.get());
    }
    return result;
}

DeviceCall *LineService::findCall(DWORD callId) const
{
    const auto it = m_calls.find(callId);
    return it == m_calls.end() ? nullptr : it->second.get();
}

// ---- Applications and lines -------------------------------------------------------------------

LONG LineService::initialize(HLINEAPP *app, LINECALLBACK callback, DWORD *numDevs)
{
    if (const LONG fault = screen(LineScreenStage::Call, "lineInitialize", -1))
        return fault;
    if (!app || !numDevs || !callback)
        return LINEERR_INVALPOINTER;
    const HLINEAPP handle = nextHandle();
    App entry;
    entry.callback = callback;
    entry.context = std::make_unique<QObject>();
    m_apps.emplace(handle, std::move(entry));
    *app = handle;
    *numDevs = DWORD(m_devices.size());
    return 0;
}

LONG LineService::shutdown(HLINEAPP app)
{
    if (const LONG fault = screen(LineScreenStage::Call, "lineShutdown", -1))
        return fault;
    const auto it = m_apps.find(app);
    if (it == m_apps.end())
        return LINEERR_INVALAPPHANDLE;
    std::vector<HLINE> lines;
    for (const auto &[handle, line] : m_lines) {
        if (line.app == app)
            lines.push_back(handle);
    }
    for (HLINE line : lines)
        close(line);
    std::erase_if(m_requests, [&](const auto &entry) { return entry.second.app == app; });
    // Destroying the context discards whatever was still queued for the application.
    m_apps.erase(app);
    return 0;
}

LONG LineService::negotiateAPIVersion(HLINEAPP app, DWORD deviceId, DWORD low, DWORD high, DWORD *version,
                                      LINEEXTENSIONID *extension)
{
    if (const LONG fault = screen(LineScreenStage::Call, "lineNegotiateAPIVersion", int(deviceId)))
        return fault;
    if (const LONG err = checkApp(app))
        return err;
    if (const LONG err = checkDevice(deviceId))
        return err;
    if (!version || !extension)
        return LINEERR_INVALPOINTER;
    if (low > high || high < LINE_API_VERSION_LOWEST || low > LINE_API_VERSION_HIGHEST)
        return LINEERR_INCOMPATIBLEAPIVERSION;
    *version = std::min(high, LINE_API_VERSION_HIGHEST);
    *extension = LINEEXTENSIONID{0, 0, 0, 0};
    return 0;
}

LONG LineService::open(HLINEAPP app, DWORD deviceId, HLINE *line, DWORD version, DWORD extVersion,
                       DWORD_PTR instance, DWORD privileges, DWORD mediaModes, const LINECALLPARAMS *)
{
    if (const LONG fault = screen(LineScreenStage::Call, "lineOpen", int(deviceId)))
        return fault;
    if (const LONG err = checkApp(app))
        return err;
    if (deviceId == LINEMAPPER)
        return LINEERR_BADDEVICEID;
    if (const LONG err = checkDevice(deviceId))
        return err;
    if (!line)
        return LINEERR_INVALPOINTER;
    if (!versionSupported(version))
        return LINEERR_INCOMPATIBLEAPIVERSION;
    if (extVersion != 0)
        return LINEERR_INCOMPATIBLEEXTVERSION;
    const DWORD callPrivileges = LINECALLPRIVILEGE_MONITOR | LINECALLPRIVILEGE_OWNER;
    if (privileges != LINECALLPRIVILEGE_NONE && (privileges == 0 || (privileges & ~callPrivileges)))
        return LINEERR_INVALPRIVSELECT;
    if (mediaModes & ~kSupportedMediaModes)
        return LINEERR_INVALMEDIAMODE;
    if ((privileges & LINECALLPRIVILEGE_OWNER) && mediaModes == 0)
        return LINEERR_INVALMEDIAMODE;
    const HLINE handle = nextHandle();
    Line entry;
    entry.app = app;
    entry.deviceId = deviceId;
    entry.version = version;
    entry.instance = instance;
    entry.privileges = privileges;
    entry.mediaModes = mediaModes;
    m_lines[handle] = entry;
    *line = handle;
    return 0;
}

LONG LineService::close(HLINE line)
{
    const Line *entry = lineOf(line);
    if (const LONG fault = screen(LineScreenStage::Call, "lineClose", entry ? int(entry->deviceId) : -1))
        return fault;
    if (!entry)
        return LINEERR_INVALLINEHANDLE;
    std::vector<HCALL> handles;
    for (const auto &[handle, h] : m_handles) {
        if (h.line == line)
            handles.push_back(handle);
    }
    m_lines.erase(line);
    for (HCALL handle : handles)
        releaseHandle(handle);
    return 0;
}

LONG LineService::setStatusMessages(HLINE line, DWORD lineStates, DWORD addressStates)
{
    const auto it = m_lines.find(line);
    if (const LONG fault = screen(LineScreenStage::Call, "lineSetStatusMessages",
                                     it == m_lines.end() ? -1 : int(it->second.deviceId)))
        return fault;
    if (it == m_lines.end())
        return LINEERR_INVALLINEHANDLE;
    if (it->second.deviceGone)
        return LINEERR_NODEVICE;
    if (lineStates & ~LINEDEVSTATE_ALL)
        return LINEERR_INVALLINESTATE;
    if (addressStates & ~LINEADDRESSSTATE_ALL)
        return LINEERR_INVALADDRESSSTATE;
    it->second.lineStates = lineStates;
    it->second.addressStates = addressStates;
    return 0;
}

LONG LineService::getDevCaps(HLINEAPP app, DWORD deviceId, DWORD version, DWORD extVersion, LINEDEVCAPS *caps)
{
    if (const LONG fault = screen(LineScreenStage::Call, "lineGetDevCaps", int(deviceId)))
        return fault;
    if (const LONG err = checkApp(app))
        return err;
    if (const LONG err = checkDevice(deviceId))
        return err;
    if (!versionSupported(version))
        return LINEERR_INCOMPATIBLEAPIVERSION;
    if (extVersion != 0)
        return LINEERR_INCOMPATIBLEEXTVERSION;
    const LineDevice *dev = device(deviceId);
    LINEDEVCAPS fixed{};
    fixed.dwPermanentLineID = dev->permanentId();
    fixed.dwStringFormat = STRINGFORMAT_ASCII;
    fixed.dwAddressModes = LINEADDRESSMODE_ADDRESSID;
    fixed.dwNumAddresses = 1;
    fixed.dwBearerModes = LINEBEARERMODE_VOICE;
    fixed.dwMediaModes = kSupportedMediaModes;
    fixed.dwMaxNumActiveCalls = DWORD(dev->maxCalls());
    fixed.dwAnswerMode = LINEANSWERMODE_HOLD;
    fixed.dwRingModes = 1;
    fixed.dwLineStates = LINEDEVSTATE_ALL;
    fixed.dwLineFeatures = LINEFEATURE_MAKECALL;
    return fillStructure<LINEDEVCAPS>(
        caps, fixedSizeFor(version, LINEDEVCAPS_FIXEDSIZE_1X, sizeof(LINEDEVCAPS)), fixed,
        {{varText(dev->providerInfo()), &LINEDEVCAPS::dwProviderInfoSize, &LINEDEVCAPS::dwProviderInfoOffset},
         {varText(dev->lineName()), &LINEDEVCAPS::dwLineNameSize, &LINEDEVCAPS::dwLineNameOffset}});
}

LONG LineService::getAddressCaps(HLINEAPP app, DWORD deviceId, DWORD addressId, DWORD version, DWORD extVersion,
                                 LINEADDRESSCAPS *caps)
{
    if (const LONG fault = screen(LineScreenStage::Call, "lineGetAddressCaps", int(deviceId)))
        return fault;
    if (const LONG err = checkApp(app))
        return err;
    if (const LONG err = checkDevice(deviceId))
        return err;
    if (addressId != 0)
        return LINEERR_INVALADDRESSID;
    if (!versionSupported(version))
        return LINEERR_INCOMPATIBLEAPIVERSION;
    if (extVersion != 0)
        return LINEERR_INCOMPATIBLEEXTVERSION;
    const LineDevice *dev = device(deviceId);
    LINEADDRESSCAPS fixed{};
    fixed.dwLineDeviceID = deviceId;
    fixed.dwAddressSharing = LINEADDRSHARING_PRIVATE;
    fixed.dwAddressStates = LINEADDRESSSTATE_ALL;
    fixed.dwCallInfoStates = kCallInfoStates;
    fixed.dwCallerIDFlags = LINECALLPARTYID_NAME | LINECALLPARTYID_ADDRESS | LINECALLPARTYID_UNKNOWN;
    fixed.dwCalledIDFlags = LINECALLPARTYID_ADDRESS | LINECALLPARTYID_UNKNOWN;
    fixed.dwCallStates = kAllCallStates;
    fixed.dwDialToneModes = LINEDIALTONEMODE_NORMAL;
    fixed.dwBusyModes = LINEBUSYMODE_STATION;
    fixed.dwDisconnectModes = LINEDISCONNECTMODE_NORMAL | LINEDISCONNECTMODE_BUSY | LINEDISCONNECTMODE_NOANSWER;
    fixed.dwMaxNumActiveCalls = DWORD(dev->maxCalls());
    fixed.dwMaxNumOnHoldCalls = DWORD(dev->maxCalls());
    fixed.dwMaxNumConference = 3;
    fixed.dwCallFeatures = LINECALLFEATURE_ANSWER | LINECALLFEATURE_DIAL | LINECALLFEATURE_DROP;
    fixed.dwConnectedModes = LINECONNECTEDMODE_ACTIVE;
    fixed.dwOfferingModes = LINEOFFERINGMODE_ACTIVE;
    fixed.dwAvailableMediaModes = kSupportedMediaModes;
    return fillStructure<LINEADDRESSCAPS>(
        caps, fixedSizeFor(version, LINEADDRESSCAPS_FIXEDSIZE_1X, sizeof(LINEADDRESSCAPS)), fixed,
        {{varText(dev->address()), &LINEADDRESSCAPS::dwAddressSize, &LINEADDRESSCAPS::dwAddressOffset}});
}

// ---- Calls -----------------------------------------------------------------------------------------

LONG LineService::getCallInfo(HCALL call, LINECALLINFO *info)
{
    Handle *handle = handleOf(call);
    const DeviceCall *dc = handle ? findCall(handle->callId) : nullptr;
    if (const LONG fault = screen(LineScreenStage::Call, "lineGetCallInfo", dc ? int(dc->deviceId) : -1))
        return fault;
    if (!handle || !dc)
        return LINEERR_INVALCALLHANDLE;
    const Line *line = lineOf(handle->line);
    LINECALLINFO fixed{};
    fixed.hLine = handle->line;
    fixed.dwLineDeviceID = dc->deviceId;
    fixed.dwAddressID = 0;
    fixed.dwBearerMode = LINEBEARERMODE_VOICE;
    fixed.dwMediaMode = dc->mediaMode;
    fixed.dwCallID = dc->id;
    fixed.dwCallStates = kAllCallStates;
    fixed.dwOrigin = dc->origin;
    fixed.dwReason = dc->reason;
    for (const auto &[h, entry] : m_handles) {
        if (entry.callId == dc->id)
            ++(entry.privilege == LINECALLPRIVILEGE_OWNER ? fixed.dwNumOwners : fixed.dwNumMonitors);
    }
    fixed.dwCallerIDFlags = (dc->callerId.isEmpty() ? 0 : LINECALLPARTYID_ADDRESS)
        | (dc->callerName.isEmpty() ? 0 : LINECALLPARTYID_NAME);
    if (!fixed.dwCallerIDFlags)
        fixed.dwCallerIDFlags = LINECALLPARTYID_UNKNOWN;
    fixed.dwCalledIDFlags = dc->calledId.isEmpty() ? LINECALLPARTYID_UNKNOWN : LINECALLPARTYID_ADDRESS;
    fixed.dwConnectedIDFlags = LINECALLPARTYID_UNKNOWN;
    fixed.dwRedirectionIDFlags = LINECALLPARTYID_UNKNOWN;
    fixed.dwRedirectingIDFlags = LINECALLPARTYID_UNKNOWN;
    const DWORD version = line ? line->version : LINE_API_VERSION_HIGHEST;
    return fillStructure<LINECALLINFO>(
        info, fixedSizeFor(version, LINECALLINFO_FIXEDSIZE_1X, sizeof(LINECALLINFO)), fixed,
        {{varText(dc->callerId), &LINECALLINFO::dwCallerIDSize, &LINECALLINFO::dwCallerIDOffset},
         {varText(dc->callerName), &LINECALLINFO::dwCallerIDNameSize, &LINECALLINFO::dwCallerIDNameOffset},
         {varText(dc->calledId), &LINECALLINFO::dwCalledIDSize, &LINECALLINFO::dwCalledIDOffset}});
}

LONG LineService::getCallStatus(HCALL call, LINECALLSTATUS *status)
{
    Handle *handle = handleOf(call);
    const DeviceCall *dc = handle ? findCall(handle->callId) : nullptr;
    if (const LONG fault = screen(LineScreenStage::Call, "lineGetCallStatus", dc ? int(dc->deviceId) : -1))
        return fault;
    if (!handle || !dc)
        return LINEERR_INVALCALLHANDLE;
    const Line *line = lineOf(handle->line);
    LINECALLSTATUS fixed{};
    fixed.dwCallState = dc->state;
    fixed.dwCallStateMode = dc->stateMode;
    fixed.dwCallPrivilege = handle->privilege;
    if (handle->privilege == LINECALLPRIVILEGE_OWNER) {
        if (dc->state == LINECALLSTATE_OFFERING || dc->state == LINECALLSTATE_ACCEPTED)
            fixed.dwCallFeatures |= LINECALLFEATURE_ANSWER;
        if (dc->state == LINECALLSTATE_DIALTONE || dc->state == LINECALLSTATE_DIALING)
            fixed.dwCallFeatures |= LINECALLFEATURE_DIAL;
        if (dc->state != LINECALLSTATE_IDLE)
            fixed.dwCallFeatures |= LINECALLFEATURE_DROP;
    }
    const QDateTime now = QDateTime::currentDateTime();
    fixed.tStateEntryTime = TAPISYSTEMTIME{uint16_t(now.date().year()), uint16_t(now.date().month()),
                                           uint16_t(now.date().dayOfWeek() % 7), uint16_t(now.date().day()),
                                           uint16_t(now.time().hour()), uint16_t(now.time().minute()),
                                           uint16_t(now.time().second()), uint16_t(now.time().msec())};
    const DWORD version = line ? line->version : LINE_API_VERSION_HIGHEST;
    return fillStructure<LINECALLSTATUS>(
        status, fixedSizeFor(version, LINECALLSTATUS_FIXEDSIZE_1X, sizeof(LINECALLSTATUS)), fixed, {});
}

LONG LineService::getLineDevStatus(HLINE line, LINEDEVSTATUS *status)
{
    const Line *entry = lineOf(line);
    if (const LONG fault = screen(LineScreenStage::Call, "lineGetLineDevStatus", entry ? int(entry->deviceId) : -1))
        return fault;
    if (!entry)
        return LINEERR_INVALLINEHANDLE;
    if (entry->deviceGone)
        return LINEERR_NODEVICE;
    LINEDEVSTATUS fixed{};
    DWORD modes = 0;
    for (const auto &[handle, other] : m_lines) {
        if (other.deviceId == entry->deviceId && !other.deviceGone) {
            ++fixed.dwNumOpens;
            modes |= other.mediaModes;
        }
    }
    fixed.dwOpenMediaModes = modes;
    for (const DeviceCall *call : callsOf(device(entry->deviceId))) {
        if (call->state == LINECALLSTATE_ONHOLD)
            ++fixed.dwNumOnHoldCalls;
        else if (call->state != LINECALLSTATE_IDLE)
            ++fixed.dwNumActiveCalls;
    }
    fixed.dwLineFeatures = LINEFEATURE_MAKECALL;
    fixed.dwRingMode = 1;
    fixed.dwSignalLevel = 0xFFFF;
    fixed.dwBatteryLevel = 0xFFFF;
    fixed.dwDevStatusFlags = LINEDEVSTATUSFLAGS_CONNECTED | LINEDEVSTATUSFLAGS_INSERVICE;
    fixed.dwAvailableMediaModes = kSupportedMediaModes;
    return fillStructure<LINEDEVSTATUS>(
        status, fixedSizeFor(entry->version, LINEDEVSTATUS_FIXEDSIZE_1X, sizeof(LINEDEVSTATUS)), fixed, {});
}

DWORD LineService::startRequest(HLINEAPP app, const char *function, int deviceId, LONG &replyError, bool &silent)
{
    // Identifiers stay positive, so no request is ever mistaken for an error.
    m_lastRequest = m_lastRequest >= 0x7FFFFFFE ? 1 : m_lastRequest + 1;
    const DWORD id = m_lastRequest;
    replyError = screen(LineScreenStage::Reply, function, deviceId);
    silent = !replyError && screen(LineScreenStage::NoReply, function, deviceId) != 0;
    m_requests[id] = Request{app, silent};
    if (replyError)
        completeRequest(id, replyError);
    return id;
}

LONG LineService::startCallRequest(const Handle &handle, DeviceCall &call, const char *function,
                                   const std::function<void(LineDevice &device, DWORD requestId)> &perform)
{
    LONG replyError = 0;
    bool silent = false;
    const Line *line = lineOf(handle.line);
    const DWORD requestId = startRequest(line->app, function, int(call.deviceId), replyError, silent);
    if (!replyError)
        perform(*device(call.deviceId), requestId);
    return LONG(requestId);
}

LONG LineService::makeCall(HLINE line, HCALL *call, const char *destination, DWORD countryCode,
                           const LINECALLPARAMS *params)
{
    const Line *entry = lineOf(line);
    if (const LONG fault = screen(LineScreenStage::Call, "lineMakeCall", entry ? int(entry->deviceId) : -1))
        return fault;
    if (!entry)
        return LINEERR_INVALLINEHANDLE;
    if (entry->deviceGone)
        return LINEERR_NODEVICE;
    if (!call)
        return LINEERR_INVALPOINTER;
    if (countryCode != 0 && countryCode != 420)
        return LINEERR_INVALCOUNTRYCODE;
    if (params) {
        if (params->dwTotalSize < offsetof(LINECALLPARAMS, dwPredictiveAutoTransferStates))
            return LINEERR_STRUCTURETOOSMALL;
        if (params->dwBearerMode && params->dwBearerMode != LINEBEARERMODE_VOICE)
            return LINEERR_BEARERMODEUNAVAIL;
        if (params->dwMediaMode & ~kSupportedMediaModes)
            return LINEERR_INVALMEDIAMODE;
        if (params->dwAddressMode == LINEADDRESSMODE_ADDRESSID && params->dwAddressID != 0)
            return LINEERR_INVALADDRESSID;
    }
    LineDevice *dev = device(entry->deviceId);
    if (int(callsOf(dev).size()) >= dev->maxCalls())
        return LINEERR_CALLUNAVAIL;
    const QString number = destination ? DecodeCp1250(QByteArray(destination)) : QString();
    LONG replyError = 0;
    bool silent = false;
    const DWORD requestId = startRequest(entry->app, "lineMakeCall", int(entry->deviceId), replyError, silent);
    if (replyError) {
        *call = 0;
        return LONG(requestId);
    }
    DeviceCall *dc = newCall(dev, LINECALLORIGIN_OUTBOUND);
    if (params && (params->dwMediaMode & kSupportedMediaModes))
        dc->mediaMode = params->dwMediaMode & kSupportedMediaModes;
    // The handle is written at once rather than at the reply, so that a caller that has
    // stopped waiting never has memory written behind its back.
    *call = handleFor(*dc, line, LINECALLPRIVILEGE_OWNER);
    dev->makeCall(requestId, *dc, number);
    return LONG(requestId);
}

LONG LineService::asyncPrologue(const Handle *handle, bool needOwner)
{
    if (!handle || !findCall(handle->callId))
        return LINEERR_INVALCALLHANDLE;
    const Line *line = lineOf(handle->line);
    if (!line || line->deviceGone)
        return LINEERR_NODEVICE;
    if (needOwner && handle->privilege != LINECALLPRIVILEGE_OWNER)
        return LINEERR_NOTOWNER;
    return 0;
}

LONG LineService::dial(HCALL call, const char *destination, DWORD countryCode)
{
    Handle *handle = handleOf(call);
    DeviceCall *dc = handle ? findCall(handle->callId) : nullptr;
    if (const LONG fault = screen(LineScreenStage::Call, "lineDial", dc ? int(dc->deviceId) : -1))
        return fault;
    if (const LONG err = asyncPrologue(handle, true))
        return err;
    if (!destination)
        return LINEERR_INVALPOINTER;
    if (countryCode != 0 && countryCode != 420)
        return LINEERR_INVALCOUNTRYCODE;
    const QString number = DecodeCp1250(QByteArray(destination));
    if (number.trimmed().isEmpty())
        return LINEERR_INVALADDRESS;
    if (dc->state != LINECALLSTATE_DIALTONE && dc->state != LINECALLSTATE_DIALING
        && dc->state != LINECALLSTATE_PROCEEDING)
        return LINEERR_INVALCALLSTATE;
    return startCallRequest(*handle, *dc, "lineDial",
                            [&](LineDevice &device, DWORD requestId) { device.dial(requestId, *dc, number); });
}

LONG LineService::answer(HCALL call)
{
    Handle *handle = handleOf(call);
    DeviceCall *dc = handle ? findCall(handle->callId) : nullptr;
    if (const LONG fault = screen(LineScreenStage::Call, "lineAnswer", dc ? int(dc->deviceId) : -1))
        return fault;
    if (const LONG err = asyncPrologue(handle, true))
        return err;
    if (dc->state != LINECALLSTATE_OFFERING && dc->state != LINECALLSTATE_ACCEPTED)
        return LINEERR_INVALCALLSTATE;
    return startCallRequest(*handle, *dc, "lineAnswer",
                            [&](LineDevice &device, DWORD requestId) { device.answer(requestId, *dc); });
}

LONG LineService::drop(HCALL call)
{
    Handle *handle = handleOf(call);
    DeviceCall *dc = handle ? findCall(handle->callId) : nullptr;
    if (const LONG fault = screen(LineScreenStage::Call, "lineDrop", dc ? int(dc->deviceId) : -1))
        return fault;
    if (const LONG err = asyncPrologue(handle, true))
        return err;
    if (dc->state == LINECALLSTATE_IDLE)
        return LINEERR_INVALCALLSTATE;
    return startCallRequest(*handle, *dc, "lineDrop",
                            [&](LineDevice &device, DWORD requestId) { device.drop(requestId, *dc); });
}

LONG LineService::deallocateCall(HCALL call)
{
    Handle *handle = handleOf(call);
    const DeviceCall *dc = handle ? findCall(handle->callId) : nullptr;
    if (const LONG fault = screen(LineScreenStage::Call, "lineDeallocateCall", dc ? int(dc->deviceId) : -1))
        return fault;
    if (!handle || !dc)
        return LINEERR_INVALCALLHANDLE;
    // The only owner may not walk away from a call that is still in progress.
    if (handle->privilege == LINECALLPRIVILEGE_OWNER && dc->state != LINECALLSTATE_IDLE) {
        int owners = 0;
        for (const auto &[h, entry] : m_handles)
            owners += entry.callId == dc->id && entry.privilege == LINECALLPRIVILEGE_OWNER;
        if (owners == 1)
            return LINEERR_INVALCALLSTATE;
    }
    releaseHandle(call);
    return 0;
}

LONG LineService::configDialog(DWORD deviceId, HWND owner, const char *deviceClass)
{
    if (const LONG fault = screen(LineScreenStage::Call, "lineConfigDialog", int(deviceId)))
        return fault;
    if (const LONG err = checkDevice(deviceId))
        return err;
    if (deviceClass && *deviceClass && qstricmp(deviceClass, "tapi/line") != 0)
        return LINEERR_INVALDEVICECLASS;
    if (!m_configDialog)
        return LINEERR_OPERATIONUNAVAIL;
    return m_configDialog->showLineConfig(deviceId, device(deviceId)->lineName(), owner);
}
