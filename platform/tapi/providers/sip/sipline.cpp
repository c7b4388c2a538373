#include "sipline.h"

#include "exception.h"
#include "myutils.h"
#include "sipconversationinput.h"

#include <QDir>
#include <algorithm>

namespace {

// What the far end or the network said when the call ended.
DWORD DisconnectModeFor(const QString &reason)
{
    const int status = reason.section(QLatin1Char(' '), 0, 0).toInt();
    if (status == 486 || status == 600)
        return LINEDISCONNECTMODE_BUSY;
    if (status == 408 || status == 480 || status == 487 || reason.contains(QLatin1String("timed out"), Qt::CaseInsensitive))
        return LINEDISCONNECTMODE_NOANSWER;
    if (status >= 300 || reason.isEmpty())
        return LINEDISCONNECTMODE_UNKNOWN;
    return LINEDISCONNECTMODE_NORMAL;
}

} // namespace

SipLine::SipLine(int number, const QString &dataDirectory, SipProvider *provider)
    : m_number(number), m_dataDirectory(dataDirectory), m_provider(provider),
      m_account(SipAccount::Load(dataDirectory + QStringLiteral("/sip"), number)),
      m_agent(dataDirectory + QStringLiteral("/sip/agent%1").arg(number))
{
    LineService::instance().addDevice(this);
    m_agent.onEvent = [this](const BaresipEvent &event) { handleEvent(event); };
    m_agent.onLost = [this](const QString &reason) { lost(reason); };
    m_agent.onReady = [this] {
        // Where the line can be called, for whoever tries it with a second user agent.
        QString text = QStringLiteral("%1: user agent %2")
                           .arg(lineName(), m_lastLoss.isEmpty() ? QStringLiteral("ready") : QStringLiteral("back"));
        if (m_account.attach.isEmpty())
            text += QStringLiteral(", SIP port %1").arg(m_agent.sipPort());
        WriteLogLine(text);
        m_lastLoss.clear();
        LineService::instance().setDevicePresent(this, true);
        if (onReadyChanged)
            onReadyChanged();
    };
}

SipLine::~SipLine()
{
    m_agent.onLost = nullptr;
    m_agent.stop();
    LineService &service = LineService::instance();
    for (DeviceCall *call : service.callsOf(this))
        service.forgetCall(*call);
    service.removeDevice(this);
}

QString SipLine::NameFor(int number) { return QStringLiteral("SIP linka %1").arg(number); }

DWORD SipLine::deviceId() const { return DWORD(LineService::instance().deviceIdOf(this)); }

QString SipLine::providerInfo() const { return QStringLiteral("SIP line provider"); }

LineProvider *SipLine::provider() const { return m_provider; }

QString SipLine::sipDirectory() const { return m_dataDirectory + QStringLiteral("/sip"); }

void SipLine::start()
{
    stop();
    if (!m_account.configured())
        return;
    if (m_account.attach.isEmpty()) {
        QString error;
        if (!m_route.setUp(m_number, m_account.playback, m_account.microphone, &error))
            WriteLogLine(QStringLiteral("%1: the conversation cannot be recorded: %2").arg(lineName(), error));
        m_agent.setAudio(m_route.agentPlayer(), m_route.agentSource());
    }
    m_agent.start(m_account);
}

void SipLine::stop()
{
    if (!m_calls.empty())
        lost(QStringLiteral("line stopped"));
    m_agent.stop();
    m_route.tearDown();
}

LineProperties SipLine::properties() const
{
    LineProperties list = m_account.properties();
    LineProperty state;
    state.key = QStringLiteral("state");
    state.label = QStringLiteral("Stav");
    state.kind = LineProperty::Kind::Info;
    switch (m_agent.state()) {
    case BaresipAgent::State::Ready: state.value = QStringLiteral("Připojeno"); break;
    case BaresipAgent::State::Starting: state.value = QStringLiteral("Připojuje se"); break;
    case BaresipAgent::State::Lost: state.value = QStringLiteral("Nepřipojeno: ") + m_lastLoss; break;
    case BaresipAgent::State::Stopped:
        state.value = m_account.configured() ? QStringLiteral("Zastaveno") : QStringLiteral("Není nastaven účet");
        break;
    }
    list.append(state);
    return list;
}

void SipLine::setProperties(const LineProperties &properties)
{
    SipAccount next = m_account;
    next.apply(properties);
    next.save(sipDirectory(), m_number);
    m_account = next;
    start();
}

// ---- Events of the agent ----------------------------------------------------------------------

SipLine::SipCall *SipLine::bySipId(const QString &sipId)
{
    auto it = std::find_if(m_calls.begin(), m_calls.end(), [&](const SipCall &c) { return c.sipId == sipId; });
    return it == m_calls.end() ? nullptr : &*it;
}

SipLine::SipCall *SipLine::byCallId(DWORD callId)
{
    auto it = std::find_if(m_calls.begin(), m_calls.end(), [&](const SipCall &c) { return c.callId == callId; });
    return it == m_calls.end() ? nullptr : &*it;
}

bool SipLine::isCurrent(DWORD callId) const { return !m_calls.empty() && m_calls.back().callId == callId; }

void SipLine::handleEvent(const BaresipEvent &event)
{
    static const QStringList kCallEvents{QStringLiteral("CALL_INCOMING"), QStringLiteral("CALL_RINGING"),
                                         QStringLiteral("CALL_PROGRESS"), QStringLiteral("CALL_ESTABLISHED"),
                                         QStringLiteral("CALL_CLOSED")};
    if (!kCallEvents.contains(event.type) || event.callId.isEmpty())
        return;
    // An agent we attached to may carry other accounts.
    if (!m_account.address.isEmpty() && !event.accountAor.isEmpty()
        && SipUriUser(event.accountAor) != m_account.addressUser())
        return;
    LineService &service = LineService::instance();
    SipCall *sipCall = bySipId(event.callId);
    if (!sipCall) {
        if (event.type == QLatin1String("CALL_CLOSED") && event.direction != QLatin1String("outgoing"))
            return;
        if (event.direction == QLatin1String("outgoing")) {
            // Our dial gets its identifier with the first event of the call.
            auto pending = std::find_if(m_calls.begin(), m_calls.end(), [](const SipCall &c) { return c.sipId.isEmpty(); });
            if (pending != m_calls.end()) {
                pending->sipId = event.callId;
                sipCall = &*pending;
            } else if (event.type != QLatin1String("CALL_CLOSED")) {
                // Dialled by somebody else on an agent we attached to.
                if (int(service.callsOf(this).size()) >= maxCalls())
                    return;
                DeviceCall *call = service.newCall(this, LINECALLORIGIN_OUTBOUND);
                service.setCallState(*call, LINECALLSTATE_DIALING);
                service.setCalledId(*call, SipUriUser(event.peerUri));
                service.setCallState(*call, LINECALLSTATE_PROCEEDING);
                m_calls.push_back({call->id, event.callId});
                sipCall = &m_calls.back();
            } else {
                return;
            }
        } else if (event.type == QLatin1String("CALL_INCOMING") || event.type == QLatin1String("CALL_ESTABLISHED")) {
            // An agent set to answer on its own reports no incoming call, only the
            // established one: it is offered and connected at once, so it is logged too.
            if (int(service.callsOf(this).size()) >= maxCalls())
                return;
            DeviceCall *call = service.newCall(this, LINECALLORIGIN_EXTERNAL);
            m_calls.push_back({call->id, event.callId});
            service.setCallState(*call, LINECALLSTATE_OFFERING, LINEOFFERINGMODE_ACTIVE);
            const QString number = SipUriUser(event.peerUri);
            service.setCallerId(*call, number.isEmpty() ? event.peerName : number);
            if (!event.peerName.isEmpty())
                service.setCallerName(*call, event.peerName);
            if (event.type == QLatin1String("CALL_INCOMING"))
                return;
            sipCall = &m_calls.back();
        } else {
            return;
        }
    }
    DeviceCall *call = service.findCall(sipCall->callId);
    if (!call) {
        // The program forgot the call; the agent still has it.
        std::erase_if(m_calls, [&](const SipCall &c) { return c.sipId == event.callId; });
        return;
    }
    if (event.type == QLatin1String("CALL_RINGING") || event.type == QLatin1String("CALL_PROGRESS")) {
        if (call->state != LINECALLSTATE_RINGBACK && !sipCall->established)
            service.setCallState(*call, LINECALLSTATE_RINGBACK);
    } else if (event.type == QLatin1String("CALL_ESTABLISHED")) {
        sipCall->established = true;
        service.setCallState(*call, LINECALLSTATE_CONNECTED, LINECONNECTEDMODE_ACTIVE);
    } else if (event.type == QLatin1String("CALL_CLOSED")) {
        close(*sipCall, event.param);
    }
}

void SipLine::close(SipCall &sipCall, const QString &reason)
{
    LineService &service = LineService::instance();
    const DWORD callId = sipCall.callId;
    std::erase_if(m_calls, [&](const SipCall &c) { return c.callId == callId; });
    DeviceCall *call = service.findCall(callId);
    if (!call)
        return;
    const DWORD mode = DisconnectModeFor(reason);
    // A busy far end shows as busy, as on any line; everything ends disconnected and idle.
    if (mode == LINEDISCONNECTMODE_BUSY && call->origin == LINECALLORIGIN_OUTBOUND && call->state != LINECALLSTATE_CONNECTED)
        service.setCallState(*call, LINECALLSTATE_BUSY, LINEBUSYMODE_STATION);
    service.setCallState(*call, LINECALLSTATE_DISCONNECTED, mode);
    service.setCallState(*call, LINECALLSTATE_IDLE);
}

void SipLine::lost(const QString &reason)
{
    m_lastLoss = reason;
    WriteLogLine(QStringLiteral("%1: %2").arg(lineName(), reason));
    LineService &service = LineService::instance();
    // The calls really ended with the agent: they end here too, so that they are logged now.
    std::vector<SipCall> calls;
    calls.swap(m_calls);
    for (const SipCall &sipCall : calls) {
        if (DeviceCall *call = service.findCall(sipCall.callId)) {
            service.setCallState(*call, LINECALLSTATE_DISCONNECTED, LINEDISCONNECTMODE_UNKNOWN);
            service.setCallState(*call, LINECALLSTATE_IDLE);
        }
    }
    for (DeviceCall *call : service.callsOf(this)) {
        if (call->state != LINECALLSTATE_IDLE)
            service.setCallState(*call, LINECALLSTATE_IDLE);
    }
    if (m_agent.state() == BaresipAgent::State::Stopped) {
        if (onReadyChanged)
            onReadyChanged();
        return;
    }
    // Removing the device invalidates the calls' handles, and with them the messages
    // about their end still on their way: the line goes once those are delivered.
    QTimer::singleShot(0, &m_context, [this] {
        if (m_agent.state() != BaresipAgent::State::Ready)
            LineService::instance().setDevicePresent(this, false);
        if (onReadyChanged)
            onReadyChanged();
    });
}

// ---- Requests of the program ------------------------------------------------------------------

void SipLine::makeCall(DWORD requestId, DeviceCall &call, const QString &destination)
{
    LineService &service = LineService::instance();
    if (destination.isEmpty()) {
        service.completeRequest(requestId, 0);
        service.setCallState(call, LINECALLSTATE_DIALTONE, LINEDIALTONEMODE_NORMAL);
        return;
    }
    startDial(requestId, call, destination);
}

void SipLine::dial(DWORD requestId, DeviceCall &call, const QString &destination)
{
    startDial(requestId, call, call.calledId + destination);
}

void SipLine::startDial(DWORD requestId, DeviceCall &call, const QString &number)
{
    LineService &service = LineService::instance();
    if (!ready()) {
        service.completeRequest(requestId, LINEERR_OPERATIONFAILED);
        service.setCallState(call, LINECALLSTATE_IDLE);
        return;
    }
    QString uri = number.trimmed();
    if (!uri.startsWith(QLatin1String("sip:"), Qt::CaseInsensitive))
        uri = uri.contains(QLatin1Char('@')) ? QStringLiteral("sip:") + uri
                                             : QStringLiteral("sip:%1@%2").arg(uri, m_account.addressDomain());
    m_calls.push_back({call.id, QString()});
    service.setCallState(call, LINECALLSTATE_DIALING);
    service.setCalledId(call, SipUriUser(uri));
    service.setCallState(call, LINECALLSTATE_PROCEEDING);
    const DWORD callId = call.id;
    m_agent.control().send(QStringLiteral("dial"), uri, [this, requestId, callId](bool ok, const QString &data) {
        LineService &lines = LineService::instance();
        lines.completeRequest(requestId, ok ? 0 : LINEERR_OPERATIONFAILED);
        if (ok)
            return;
        WriteLogLine(QStringLiteral("%1: dialling refused: %2").arg(lineName(), data));
        SipCall *sipCall = byCallId(callId);
        if (sipCall && sipCall->sipId.isEmpty())
            std::erase_if(m_calls, [&](const SipCall &c) { return c.callId == callId; });
        if (DeviceCall *call = lines.findCall(callId); call && call->state != LINECALLSTATE_IDLE)
            lines.setCallState(*call, LINECALLSTATE_IDLE);
    });
}

void SipLine::answer(DWORD requestId, DeviceCall &call)
{
    LineService &service = LineService::instance();
    // The agent answers its newest call only; with another one ringing it would pick
    // whichever it likes, so the answer is refused rather than given to the wrong call.
    const long offered = std::count_if(m_calls.begin(), m_calls.end(), [](const SipCall &c) {
        const DeviceCall *dc = LineService::instance().findCall(c.callId);
        return dc && dc->state == LINECALLSTATE_OFFERING;
    });
    if (!byCallId(call.id) || call.state != LINECALLSTATE_OFFERING || offered > 1 || !isCurrent(call.id)) {
        service.completeRequest(requestId, LINEERR_OPERATIONUNAVAIL);
        return;
    }
    m_agent.control().send(QStringLiteral("accept"), QString(), [requestId](bool ok, const QString &) {
        LineService::instance().completeRequest(requestId, ok ? 0 : LINEERR_OPERATIONFAILED);
    });
}

void SipLine::drop(DWORD requestId, DeviceCall &call)
{
    LineService &service = LineService::instance();
    if (!byCallId(call.id)) {
        // No call of the agent's yet (a dial tone only).
        service.completeRequest(requestId, 0);
        service.setCallState(call, LINECALLSTATE_IDLE);
        return;
    }
    if (!isCurrent(call.id)) {
        service.completeRequest(requestId, LINEERR_OPERATIONUNAVAIL);
        return;
    }
    // The call ends with the agent's CALL_CLOSED.
    m_agent.control().send(QStringLiteral("hangup"), QString(), [requestId](bool ok, const QString &) {
        LineService::instance().completeRequest(requestId, ok ? 0 : LINEERR_OPERATIONFAILED);
    });
}

void SipLine::hold(DWORD callId, std::function<void(bool ok)> done)
{
    const DeviceCall *call = LineService::instance().findCall(callId);
    if (!call || call->state != LINECALLSTATE_CONNECTED || !isCurrent(callId)) {
        if (done)
            done(false);
        return;
    }
    m_agent.control().send(QStringLiteral("hold"), QString(), [callId, done](bool ok, const QString &) {
        DeviceCall *held = LineService::instance().findCall(callId);
        ok = ok && held && held->state == LINECALLSTATE_CONNECTED;
        if (ok)
            LineService::instance().setCallState(*held, LINECALLSTATE_ONHOLD);
        if (done)
            done(ok);
    });
}

void SipLine::resume(DWORD callId, std::function<void(bool ok)> done)
{
    const DeviceCall *call = LineService::instance().findCall(callId);
    if (!call || call->state != LINECALLSTATE_ONHOLD || !isCurrent(callId)) {
        if (done)
            done(false);
        return;
    }
    m_agent.control().send(QStringLiteral("resume"), QString(), [callId, done](bool ok, const QString &) {
        DeviceCall *held = LineService::instance().findCall(callId);
        ok = ok && held && held->state == LINECALLSTATE_ONHOLD;
        if (ok)
            LineService::instance().setCallState(*held, LINECALLSTATE_CONNECTED, LINECONNECTEDMODE_ACTIVE);
        if (done)
            done(ok);
    });
}

// ---- Provider ---------------------------------------------------------------------------------------

SipProvider::SipProvider(const QString &dataDirectory, int lineCount)
{
    const QString dir = dataDirectory + QStringLiteral("/sip");
    if (lineCount <= 0) {
        lineCount = 1;
        while (SipAccount::Exists(dir, lineCount + 1))
            ++lineCount;
    }
    SipSoundRoute::RemoveStale();
    for (int i = 1; i <= lineCount; ++i)
        m_lines.push_back(std::make_unique<SipLine>(i, dataDirectory, this));
    LineService::instance().addProvider(this);
    m_driver = std::make_unique<SipConversationDriver>([this] {
        QList<TCaptureDeviceInfo> inputs;
        for (const auto &line : m_lines) {
            if (!line->soundRoute().active())
                continue;
            TCaptureDeviceInfo info;
            info.Name = line->lineName() + QStringLiteral(" - hovor");
            info.Address = line->soundRoute().captureAddress();
            inputs.append(info);
        }
        return inputs;
    });
    for (const auto &line : m_lines)
        line->start();
}

SipProvider::~SipProvider()
{
    m_driver.reset();
    LineService::instance().removeProvider(this);
    m_lines.clear();
}

std::unique_ptr<LineProvider> SipProvider::Create(const LineProviderOptions &options)
{
    if (BaresipAgent::Program().isEmpty())
        return nullptr;
    if (options.simulate && !SipAccount::Exists(options.dataDirectory + QStringLiteral("/sip"), 1))
        return nullptr;
    return std::make_unique<SipProvider>(options.dataDirectory);
}

QString SipProvider::name() const { return QStringLiteral("SIP line provider"); }
