#pragma once
// The line service behind the line functions: applications, open lines, call handles,
// asynchronous requests and message delivery, over line devices offered by providers.
// It lives on the thread that uses it (the main thread); nothing here is locked.
#include "lineapi.h"
#include "lineprovider.h"

#include <QByteArray>
#include <QPointer>
#include <QString>
#include <functional>
#include <map>
#include <memory>
#include <vector>

class QObject;

// One call as the device knows it; the service hands each open line its own handle.
struct DeviceCall {
    DWORD id = 0;
    DWORD deviceId = 0;
    DWORD state = LINECALLSTATE_IDLE;
    DWORD stateMode = 0;
    DWORD origin = LINECALLORIGIN_UNKNOWN;
    DWORD reason = LINECALLREASON_DIRECT;
    DWORD mediaMode = LINEMEDIAMODE_INTERACTIVEVOICE;
    QString callerId;
    QString callerName; // the caller's name where the line learns it; empty otherwise
    QString calledId;
};

// A line device as a provider offers it. Requests arrive after the service has checked
// handles, privileges and states; the device answers a request through
// LineService::completeRequest, at once or later.
class LineDevice {
public:
    virtual ~LineDevice() = default;
    virtual QString lineName() const = 0;
    virtual QString providerInfo() const = 0;
    // The dialable address of the line's one address; empty when it has none.
    virtual QString address() const = 0;
    virtual DWORD permanentId() const = 0;
    virtual int maxCalls() const { return 4; }
    virtual void makeCall(DWORD requestId, DeviceCall &call, const QString &destination) = 0;
    virtual void dial(DWORD requestId, DeviceCall &call, const QString &destination) = 0;
    virtual void answer(DWORD requestId, DeviceCall &call) = 0;
    virtual void drop(DWORD requestId, DeviceCall &call) = 0;
    // The provider the device belongs to; the service screens its functions through it.
    virtual LineProvider *provider() const { return nullptr; }
    // What the line's properties window shows beyond its name, provider and address.
    virtual LineProperties properties() const { return {}; }
    // Takes edited properties; raises Exception with the reason when a value is refused.
    virtual void setProperties(const LineProperties &) {}
};

// What lineConfigDialog shows: the line's name, provider and address with the device's
// own properties; the windows layer installs one.
class ILineConfigDialog {
public:
    virtual ~ILineConfigDialog() = default;
    // Returns 0 or a LINEERR_ code.
    virtual LONG showLineConfig(DWORD deviceId, const QString &lineName, HWND owner) = 0;
};

class LineService {
public:
    static LineService &instance();

    // ---- Providers -------------------------------------------------------------
    // Devices are numbered in the order they are added.
    DWORD addDevice(LineDevice *device);
    void removeDevice(LineDevice *device);
    int deviceCount() const { return int(m_devices.size()); }
    LineDevice *device(DWORD deviceId) const;
    int deviceIdOf(const LineDevice *device) const;
    bool devicePresent(DWORD deviceId) const;

    // ---- Providers ----------------------------------------------------------------
    // A provider that screens the functions of no device; its devices name it themselves.
    void addProvider(LineProvider *provider);
    void removeProvider(LineProvider *provider);

    // ---- What devices report -------------------------------------------------------
    DeviceCall *newCall(LineDevice *device, DWORD origin);
    // Moves the call to a state and tells every line open on the device; an idle call
    // stays until every handle of it is deallocated.
    void setCallState(DeviceCall &call, DWORD state, DWORD mode = 0);
    // Changes the state without telling anybody (a provider that lost track).
    void setCallStateQuietly(DeviceCall &call, DWORD state);
    void setCallerId(DeviceCall &call, const QString &number);
    // The caller's name travels with the caller ID: the same LINE_CALLINFO tells of it.
    void setCallerName(DeviceCall &call, const QString &name);
    void setCalledId(DeviceCall &call, const QString &number);
    // The call vanishes without a message; its handles become invalid.
    void forgetCall(DeviceCall &call);
    void completeRequest(DWORD requestId, LONG result);
    // The device is unplugged: open lines get LINE_LINEDEVSTATE REMOVED and fail with
    // LINEERR_NODEVICE from then on, its calls vanish. Restoring makes it usable for
    // new opens under the same identifier.
    void setDevicePresent(LineDevice *device, bool present);
    std::vector<DeviceCall *> callsOf(const LineDevice *device) const;
    DeviceCall *findCall(DWORD callId) const;

    // ---- Line configuration window -----------------------------------------------------
    void setConfigDialog(ILineConfigDialog *dialog) { m_configDialog = dialog; }
    ILineConfigDialog *configDialog() const { return m_configDialog; }

    // ---- The line functions --------------------------------------------------------------
    LONG initialize(HLINEAPP *app, LINECALLBACK callback, DWORD *numDevs);
    LONG shutdown(HLINEAPP app);
    LONG negotiateAPIVersion(HLINEAPP app, DWORD deviceId, DWORD low, DWORD high, DWORD *version,
                             LINEEXTENSIONID *extension);
    LONG open(HLINEAPP app, DWORD deviceId, HLINE *line, DWORD version, DWORD extVersion, DWORD_PTR instance,
              DWORD privileges, DWORD mediaModes, const LINECALLPARAMS *params);
    LONG close(HLINE line);
    LONG setStatusMessages(HLINE line, DWORD lineStates, DWORD addressStates);
    LONG getDevCaps(HLINEAPP app, DWORD deviceId, DWORD version, DWORD extVersion, LINEDEVCAPS *caps);
    LONG getAddressCaps(HLINEAPP app, DWORD deviceId, DWORD addressId, DWORD version, DWORD extVersion,
                        LINEADDRESSCAPS *caps);
    LONG getCallInfo(HCALL call, LINECALLINFO *info);
    LONG getCallStatus(HCALL call, LINECALLSTATUS *status);
    LONG getLineDevStatus(HLINE line, LINEDEVSTATUS *status);
    LONG makeCall(HLINE line, HCALL *call, const char *destination, DWORD countryCode,
                  const LINECALLPARAMS *params);
    LONG dial(HCALL call, const char *destination, DWORD countryCode);
    LONG answer(HCALL call);
    LONG drop(HCALL call);
    LONG deallocateCall(HCALL call);
    LONG configDialog(DWORD deviceId, HWND owner, const char *deviceClass);

    // Open applications and lines, for tests and diagnostics.
    int applicationCount() const { return int(m_apps.size()); }
    int openLineCount() const { return int(m_lines.size()); }
    int callHandleCount() const { return int(m_handles.size()); }

private:
    LineService() = default;

    struct App {
        LINECALLBACK callback = nullptr;
        std::unique_ptr<QObject> context; // lives on the initialising thread; messages go through it
    };
    struct Line {
        HLINEAPP app = 0;
        DWORD deviceId = 0;
        DWORD version = 0;
        DWORD_PTR instance = 0;
        DWORD privileges = 0;
        DWORD mediaModes = 0;
        DWORD lineStates = 0;
        DWORD addressStates = 0;
        bool deviceGone = false;
    };
    struct Handle {
        HLINE line = 0;
        DWORD callId = 0;
        DWORD privilege = 0;
        bool announced = false;
    };
    struct Request {
        HLINEAPP app = 0;
        bool silent = false;
    };
    struct DeviceEntry {
        LineDevice *device = nullptr;
        bool present = true;
    };

    DWORD nextHandle();
    LONG screen(LineScreenStage stage, const char *function, int deviceId);
    LONG checkApp(HLINEAPP app) const;
    LONG checkDevice(DWORD deviceId) const;
    const Line *lineOf(HLINE line) const;
    Handle *handleOf(HCALL call);
    DWORD handleFor(DeviceCall &call, HLINE line, DWORD privilege);
    void post(HLINEAPP app, DWORD device, DWORD message, DWORD_PTR instance, DWORD p1, DWORD p2, DWORD p3,
              HLINE lineGuard = 0, HCALL callGuard = 0);
    void deliver(HLINEAPP app, DWORD device, DWORD message, DWORD_PTR instance, DWORD p1, DWORD p2, DWORD p3,
                 HLINE lineGuard, HCALL callGuard);
    void notifyCallInfo(DeviceCall &call, DWORD infoState);
    void releaseHandle(HCALL call);
    void eraseCallIfUnused(DWORD callId);
    DWORD startRequest(HLINEAPP app, const char *function, int deviceId, LONG &replyError, bool &silent);
    // A request on a call's line that its device carries out, unless it was refused at once.
    LONG startCallRequest(const Handle &handle, DeviceCall &call, const char *function,
                          const std::function<void(LineDevice &device, DWORD requestId)> &perform);
    LONG asyncPrologue(const Handle *handle, bool needOwner);

    std::vector<DeviceEntry> m_devices;
    std::map<HLINEAPP, App> m_apps;
    std::map<HLINE, Line> m_lines;
    std::map<HCALL, Handle> m_handles;
    std::map<DWORD, std::unique_ptr<DeviceCall>> m_calls;
    std::map<DWORD, Request> m_requests;
    std::vector<LineProvider *> m_providers;
    ILineConfigDialog *m_configDialog = nullptr;
    DWORD m_lastHandle = 0x10000;
    DWORD m_lastRequest = 0;
    DWORD m_lastCallId = 0;
};

// Names of the LINEERR_ codes ("OPERATIONFAILED"), both ways; 0 when unknown.
QString LineErrorName(LONG code);
LONG LineErrorFromName(const QString &name);
