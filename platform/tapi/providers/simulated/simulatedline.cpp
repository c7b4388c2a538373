#include "simulatedline.h"

#include "clock.h"
#include "exception.h"
#include "linesimserver.h"
#include "myutils.h"

#include <algorithm>
#include <cmath>

SimulatedLine::SimulatedLine(int number, const QString &address, SimulatedProvider *provider)
    : m_number(number), m_address(address.isEmpty() ? QStringLiteral("10%1").arg(number) : address),
      m_provider(provider)
{
    LineService::instance().addDevice(this);
}

SimulatedLine::~SimulatedLine()
{
    LineService &service = LineService::instance();
    for (DeviceCall *call : calls())
        service.forgetCall(*call);
    service.removeDevice(this);
}

DWORD SimulatedLine::deviceId() const { return DWORD(LineService::instance().deviceIdOf(this)); }

QString SimulatedLine::NameFor(int number) { return QStringLiteral("Simulovaná linka %1").arg(number); }

QString SimulatedLine::providerInfo() const { return QStringLiteral("Simulátor telefonní linky"); }

LineProvider *SimulatedLine::provider() const { return m_provider; }

std::vector<DeviceCall *> SimulatedLine::calls() const
{
    auto result = LineService::instance().callsOf(this);
    std::sort(result.begin(), result.end(), [](const DeviceCall *a, const DeviceCall *b) { return a->id < b->id; });
    return result;
}

DeviceCall *SimulatedLine::pick(const QString &selector, std::initializer_list<DWORD> states,
                                const QString &what) const
{
    const auto list = calls();
    if (!selector.isEmpty()) {
        const int index = selector.mid(1).toInt();
        if (index < 1 || index > int(list.size()))
            throw Exception(QStringLiteral("no call %1 on the line").arg(selector));
        DeviceCall *call = list.at(size_t(index - 1));
        if (states.size() && std::find(states.begin(), states.end(), call->state) == states.end())
            throw Exception(QStringLiteral("call %1 has no %2").arg(selector, what));
        return call;
    }
    for (auto it = list.rbegin(); it != list.rend(); ++it) {
        if (!states.size() ? (*it)->state != LINECALLSTATE_IDLE
                           : std::find(states.begin(), states.end(), (*it)->state) != states.end())
            return *it;
    }
    throw Exception(QStringLiteral("no %1 on the line").arg(what));
}

void SimulatedLine::idleConference(DeviceCall &call)
{
    LineService &service = LineService::instance();
    if (call.origin == LINECALLORIGIN_CONFERENCE) {
        for (DeviceCall *party : calls()) {
            if (party->state == LINECALLSTATE_CONFERENCED)
                service.setCallState(*party, LINECALLSTATE_IDLE);
        }
    }
}

void SimulatedLine::execute(const LineEvent &event)
{
    LineService &service = LineService::instance();
    const QString &cmd = event.command;
    const QStringList &args = event.args;
    const int device = int(deviceId());
    const bool present = service.devicePresent(DWORD(device));
    if (!present && cmd != QLatin1String("restore") && cmd != QLatin1String("fail")
        && cmd != QLatin1String("replyerror") && cmd != QLatin1String("noreply") && cmd != QLatin1String("clearfaults"))
        throw Exception(QStringLiteral("the line is removed"));
    const QString firstArg = event.argument();
    const QString selector = event.selector();

    if (cmd == QLatin1String("ring")) {
        if (int(calls().size()) >= maxCalls())
            throw Exception(QStringLiteral("the line carries no more calls"));
        DeviceCall *call = service.newCall(this, LINECALLORIGIN_EXTERNAL);
        service.setCallState(*call, LINECALLSTATE_OFFERING, LINEOFFERINGMODE_ACTIVE);
        // The number arrives after the first ring, as it does on a real line.
        if (!firstArg.isEmpty())
            service.setCallerId(*call, firstArg);
    } else if (cmd == QLatin1String("callerid")) {
        service.setCallerId(*pick(selector, {}, QStringLiteral("call")), firstArg);
    } else if (cmd == QLatin1String("callername")) {
        // The name may have blanks: every word but a trailing call selector.
        QStringList words = args;
        if (!selector.isEmpty())
            words.removeLast();
        service.setCallerName(*pick(selector, {}, QStringLiteral("call")), words.join(QLatin1Char(' ')));
    } else if (cmd == QLatin1String("accept")) {
        service.setCallState(*pick(selector, {LINECALLSTATE_OFFERING}, QStringLiteral("offered call")),
                             LINECALLSTATE_ACCEPTED);
    } else if (cmd == QLatin1String("answer")) {
        DeviceCall *call = pick(selector,
                                {LINECALLSTATE_OFFERING, LINECALLSTATE_ACCEPTED, LINECALLSTATE_RINGBACK,
                                 LINECALLSTATE_PROCEEDING, LINECALLSTATE_DIALING},
                                QStringLiteral("ringing call to answer"));
        service.setCallState(*call, LINECALLSTATE_CONNECTED, LINECONNECTEDMODE_ACTIVE);
    } else if (cmd == QLatin1String("hangup")) {
        DeviceCall *call = pick(selector, {}, QStringLiteral("call to hang up"));
        service.setCallState(*call, LINECALLSTATE_DISCONNECTED, LINEDISCONNECTMODE_NORMAL);
        idleConference(*call);
        service.setCallState(*call, LINECALLSTATE_IDLE);
    } else if (cmd == QLatin1String("offhook")) {
        if (int(calls().size()) >= maxCalls())
            throw Exception(QStringLiteral("the line carries no more calls"));
        service.setCallState(*service.newCall(this, LINECALLORIGIN_OUTBOUND), LINECALLSTATE_DIALTONE,
                             LINEDIALTONEMODE_NORMAL);
    } else if (cmd == QLatin1String("dial")) {
        DeviceCall *call = nullptr;
        try {
            call = pick(selector, {LINECALLSTATE_DIALTONE, LINECALLSTATE_DIALING}, QStringLiteral("call with dial tone"));
        } catch (const Exception &) {
            if (!selector.isEmpty())
                throw;
            call = service.newCall(this, LINECALLORIGIN_OUTBOUND);
            service.setCallState(*call, LINECALLSTATE_DIALTONE, LINEDIALTONEMODE_NORMAL);
        }
        service.setCallState(*call, LINECALLSTATE_DIALING);
        service.setCalledId(*call, firstArg);
        service.setCallState(*call, LINECALLSTATE_PROCEEDING);
    } else if (cmd == QLatin1String("ringback")) {
        service.setCallState(*pick(selector, {LINECALLSTATE_DIALING, LINECALLSTATE_PROCEEDING},
                                   QStringLiteral("dialled call")),
                             LINECALLSTATE_RINGBACK);
    } else if (cmd == QLatin1String("busy")) {
        service.setCallState(*pick(selector, {LINECALLSTATE_DIALING, LINECALLSTATE_PROCEEDING, LINECALLSTATE_RINGBACK},
                                   QStringLiteral("dialled call")),
                             LINECALLSTATE_BUSY, LINEBUSYMODE_STATION);
    } else if (cmd == QLatin1String("onhook")) {
        DeviceCall *call = pick(selector, {}, QStringLiteral("call to put down"));
        idleConference(*call);
        service.setCallState(*call, LINECALLSTATE_IDLE);
    } else if (cmd == QLatin1String("hold")) {
        service.setCallState(*pick(selector, {LINECALLSTATE_CONNECTED}, QStringLiteral("connected call")),
                             LINECALLSTATE_ONHOLD);
    } else if (cmd == QLatin1String("unhold")) {
        service.setCallState(*pick(selector, {LINECALLSTATE_ONHOLD}, QStringLiteral("held call")),
                             LINECALLSTATE_CONNECTED, LINECONNECTEDMODE_ACTIVE);
    } else if (cmd == QLatin1String("conference")) {
        std::vector<DeviceCall *> parties;
        for (DeviceCall *call : calls()) {
            if (call->state == LINECALLSTATE_CONNECTED || call->state == LINECALLSTATE_ONHOLD)
                parties.push_back(call);
        }
        if (parties.size() < 2)
            throw Exception(QStringLiteral("a conference needs two connected or held calls"));
        DeviceCall *conference = service.newCall(this, LINECALLORIGIN_CONFERENCE);
        for (DeviceCall *party : parties)
            service.setCallState(*party, LINECALLSTATE_CONFERENCED);
        service.setCallState(*conference, LINECALLSTATE_CONNECTED, LINECONNECTEDMODE_ACTIVE);
    } else if (cmd == QLatin1String("remove")) {
        service.setDevicePresent(this, false);
    } else if (cmd == QLatin1String("restore")) {
        service.setDevicePresent(this, true);
    } else if (cmd == QLatin1String("forget")) {
        service.forgetCall(*pick(selector, {}, QStringLiteral("call")));
    } else if (cmd == QLatin1String("drift")) {
        service.setCallStateQuietly(*pick(selector, {}, QStringLiteral("call")), CallStateFromName(firstArg));
    } else if (cmd == QLatin1String("fail")) {
        const int times = args.size() > 2 ? (args.at(2) == QLatin1String("*") ? -1 : args.at(2).toInt()) : 1;
        faults().injectFault(LineScreenStage::Call, args.at(0), LineErrorFromName(args.at(1)), device, times);
    } else if (cmd == QLatin1String("replyerror")) {
        faults().injectFault(LineScreenStage::Reply, args.at(0), LineErrorFromName(args.at(1)), device, 1);
    } else if (cmd == QLatin1String("noreply")) {
        faults().injectFault(LineScreenStage::NoReply, args.at(0), 0, device, 1);
    } else if (cmd == QLatin1String("farend")) {
        const QString mode = firstArg.toLower();
        m_farEnd = mode == QLatin1String("answer") ? FarEnd::Answer
            : mode == QLatin1String("busy")        ? FarEnd::Busy
                                                   : FarEnd::None;
        m_farEndDelayMs = args.size() > 1 ? int(std::lround(args.at(1).toDouble() * 1000.0)) : 3000;
    } else if (cmd == QLatin1String("clearfaults")) {
        faults().clearFaults(QString(), device);
    } else {
        throw Exception(QStringLiteral("unknown event \"%1\"").arg(cmd));
    }
}

// ---- Requests of the program ------------------------------------------------------------------

void SimulatedLine::makeCall(DWORD requestId, DeviceCall &call, const QString &destination)
{
    LineService &service = LineService::instance();
    service.completeRequest(requestId, 0);
    service.setCallState(call, LINECALLSTATE_DIALTONE, LINEDIALTONEMODE_NORMAL);
    if (!destination.isEmpty()) {
        service.setCallState(call, LINECALLSTATE_DIALING);
        service.setCalledId(call, destination);
        service.setCallState(call, LINECALLSTATE_PROCEEDING);
        farEndTakes(call);
    }
}

void SimulatedLine::dial(DWORD requestId, DeviceCall &call, const QString &destination)
{
    LineService &service = LineService::instance();
    service.completeRequest(requestId, 0);
    service.setCallState(call, LINECALLSTATE_DIALING);
    service.setCalledId(call, call.calledId + destination);
    service.setCallState(call, LINECALLSTATE_PROCEEDING);
    farEndTakes(call);
}

void SimulatedLine::farEndTakes(DeviceCall &call)
{
    LineService &service = LineService::instance();
    if (m_farEnd == FarEnd::Busy) {
        service.setCallState(call, LINECALLSTATE_BUSY, LINEBUSYMODE_STATION);
    } else if (m_farEnd == FarEnd::Answer) {
        service.setCallState(call, LINECALLSTATE_RINGBACK);
        const DWORD callId = call.id;
        QTimer::singleShot(m_farEndDelayMs, Qt::PreciseTimer, &m_timers, [callId] {
            LineService &lines = LineService::instance();
            // Only a call that still rings is answered; one dropped meanwhile is left alone.
            DeviceCall *ringing = lines.findCall(callId);
            if (ringing && ringing->state == LINECALLSTATE_RINGBACK)
                lines.setCallState(*ringing, LINECALLSTATE_CONNECTED, LINECONNECTEDMODE_ACTIVE);
        });
    }
}

void SimulatedLine::answer(DWORD requestId, DeviceCall &call)
{
    LineService &service = LineService::instance();
    service.completeRequest(requestId, 0);
    service.setCallState(call, LINECALLSTATE_CONNECTED, LINECONNECTEDMODE_ACTIVE);
}

void SimulatedLine::drop(DWORD requestId, DeviceCall &call)
{
    LineService &service = LineService::instance();
    service.completeRequest(requestId, 0);
    idleConference(call);
    service.setCallState(call, LINECALLSTATE_IDLE);
}

// ---- Provider ---------------------------------------------------------------------------------------

SimulatedProvider &SimulatedLine::faults() const
{
    if (!m_provider)
        throw Exception(QStringLiteral("the line belongs to no provider"));
    return *m_provider;
}

SimulatedProvider::SimulatedProvider(int lineCount)
{
    for (int i = 1; i <= lineCount; ++i)
        m_lines.push_back(std::make_unique<SimulatedLine>(i, QString(), this));
    LineService::instance().addProvider(this);
}

SimulatedProvider::~SimulatedProvider()
{
    m_server.reset();
    LineService::instance().removeProvider(this);
    m_lines.clear();
}

std::unique_ptr<LineProvider> SimulatedProvider::Create(const LineProviderOptions &options)
{
    if (!options.simulate)
        return nullptr;
    auto provider = std::make_unique<SimulatedProvider>(1);
    QString error;
    if (!provider->openControlSocket(LineSimSocketName(1), &error))
        WriteLogLine(QStringLiteral("Simulated line: control socket not available: ") + error);
    return provider;
}

QString SimulatedProvider::name() const { return QStringLiteral("Simulátor telefonní linky"); }

void SimulatedProvider::injectFault(LineScreenStage stage, const QString &function, LONG code, int deviceId,
                                    int times)
{
    m_faults.push_back(Fault{stage, function, code, deviceId, times});
}

void SimulatedProvider::clearFaults(const QString &function, int deviceId)
{
    std::erase_if(m_faults, [&](const Fault &f) {
        return (function.isEmpty() || f.function.compare(function, Qt::CaseInsensitive) == 0)
            && (deviceId < 0 || f.deviceId == deviceId);
    });
}

LONG SimulatedProvider::screen(LineScreenStage stage, const char *function, int deviceId)
{
    for (auto it = m_faults.begin(); it != m_faults.end(); ++it) {
        if (it->stage != stage || it->function.compare(QLatin1String(function), Qt::CaseInsensitive) != 0)
            continue;
        if (it->deviceId >= 0 && it->deviceId != deviceId)
            continue;
        const LONG code = it->code;
        if (it->remaining > 0 && --it->remaining == 0)
            m_faults.erase(it);
        // A "no reply" fault has no code of its own.
        return stage == LineScreenStage::NoReply && code == 0 ? 1 : code;
    }
    return 0;
}

bool SimulatedProvider::openControlSocket(const QString &name, QString *error)
{
    m_server = std::make_unique<LineSimServer>(line(1));
    if (m_server->listen(name)) {
        m_serverError.clear();
        return true;
    }
    m_serverError = m_server->errorString();
    if (error)
        *error = m_serverError;
    m_server.reset();
    return false;
}

QString SimulatedProvider::controlSocketName() const { return m_server ? m_server->serverName() : QString(); }

// ---- Scenario player -----------------------------------------------------------------------------

ScenarioPlayer::ScenarioPlayer(SimulatedLine &line, QList<LineEvent> events)
    : m_line(line), m_events(std::move(events))
{
    qint64 due = 0;
    for (const LineEvent &event : m_events) {
        due += qint64(std::llround(event.delaySeconds * 1000.0));
        m_due.append(due);
    }
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&m_timer, &QTimer::timeout, [this] {
        advanceTo(qint64(TickDifference(uint32_t(m_startMs), GetTickCount())));
        schedule();
    });
}

void ScenarioPlayer::start()
{
    m_startMs = GetTickCount();
    schedule();
}

void ScenarioPlayer::stop() { m_timer.stop(); }

qint64 ScenarioPlayer::nextDueMs() const { return finished() ? -1 : m_due.at(m_next); }

void ScenarioPlayer::schedule()
{
    if (finished())
        return;
    const qint64 elapsed = qint64(TickDifference(uint32_t(m_startMs), GetTickCount()));
    m_timer.start(int(std::clamp<qint64>(m_due.at(m_next) - elapsed, 0, 24 * 3600 * 1000)));
}

void ScenarioPlayer::advanceTo(qint64 elapsedMs)
{
    while (!finished() && m_due.at(m_next) <= elapsedMs) {
        const LineEvent &event = m_events.at(m_next++);
        QString error;
        try {
            m_line.execute(event);
        } catch (const Exception &e) {
            error = QStringLiteral("line %1: %2").arg(event.sourceLine).arg(e.message());
        }
        if (onEvent)
            onEvent(event, error);
        if (finished() && onFinished)
            onFinished();
    }
}
