#include "modemline.h"

#include "clock.h"
#include "exception.h"
#include "modemprovider.h"
#include "myutils.h"

#include <QRegularExpression>

namespace {

constexpr uint32_t kAnswerMs = 3000;   // an ordinary command
constexpr uint32_t kResetMs = 6000;    // ATZ takes a moment on some modems
constexpr uint32_t kOffHookMs = 40000; // ATA and ATD wait for the line

const QString kAutomatic = QStringLiteral("Automaticky");

} // namespace

const QStringList &ModemLine::CallerIdCommands()
{
    static const QStringList commands = {QStringLiteral("AT+VCID=1"), QStringLiteral("AT#CID=1"),
                                         QStringLiteral("AT%CCID=1"), QStringLiteral("AT*ID1")};
    return commands;
}

ModemLine::ModemLine(const QString &path, const ModemSettings &settings, ModemProvider *provider)
    : m_path(path), m_settings(settings), m_provider(provider)
{
    m_timer.setParent(&m_context);
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&m_timer, &QTimer::timeout, &m_context, [this] { checkDeadlines(); });
    m_port.onData = [this](const QByteArray &bytes) { onData(bytes); };
    m_port.onFailure = [this](const QString &reason) { lose(reason); };
    LineService::instance().addDevice(this);
}

ModemLine::~ModemLine()
{
    m_port.onFailure = nullptr;
    LineService &service = LineService::instance();
    if (DeviceCall *c = call())
        service.forgetCall(*c);
    // A call in progress is put down: HUPCL drops the modem's line when the port closes.
    m_port.close();
    service.removeDevice(this);
}

QString ModemLine::providerInfo() const
{
    return m_identity.isEmpty() ? QStringLiteral("Voice modem with caller ID")
                                : QStringLiteral("Voice modem with caller ID (%1)").arg(m_identity);
}

DWORD ModemLine::permanentId() const { return DWORD(qHash(m_path)) | 0x80000000u; }

LineProvider *ModemLine::provider() const { return m_provider; }

DeviceCall *ModemLine::call() const { return m_callId ? LineService::instance().findCall(m_callId) : nullptr; }

void ModemLine::log(const QString &text) const { WriteLogLine(QStringLiteral("%1: %2").arg(lineName(), text)); }

// ---- Time ----------------------------------------------------------------------------------

void ModemLine::arm(Deadline &deadline, uint32_t ms)
{
    deadline.armed = true;
    deadline.start = GetTickCount();
    deadline.length = ms;
}

bool ModemLine::due(const Deadline &deadline, uint32_t now) const
{
    return deadline.armed && uint32_t(now - deadline.start) >= deadline.length;
}

void ModemLine::schedule()
{
    const uint32_t now = GetTickCount();
    uint32_t next = UINT32_MAX;
    for (const Deadline *d : {&m_commandDeadline, &m_ringDeadline, &m_keepAlive, &m_retry}) {
        if (!d->armed)
            continue;
        const uint32_t passed = uint32_t(now - d->start);
        next = qMin(next, passed >= d->length ? 0u : d->length - passed);
    }
    if (next == UINT32_MAX)
        m_timer.stop();
    else
        m_timer.start(int(qMin<uint32_t>(next, 60000)));
}

void ModemLine::checkDeadlines()
{
    const uint32_t now = GetTickCount();
    if (due(m_commandDeadline, now) && m_busy) {
        m_commandDeadline.armed = false;
        lose(QStringLiteral("no answer to %1").arg(QString::fromLatin1(m_queue.front().text)));
    }
    if (due(m_ringDeadline, now)) {
        m_ringDeadline.armed = false;
        DeviceCall *c = this->call();
        if (c && c->state == LINECALLSTATE_OFFERING) {
            endCall(LINEDISCONNECTMODE_NOANSWER,
                    QStringLiteral("the rings stopped after %1 ring(s) without an answer here; the modem cannot tell "
                                   "whether the caller gave up or another phone on the line took the call")
                        .arg(m_rings));
        }
    }
    if (due(m_keepAlive, now)) {
        m_keepAlive.armed = false;
        if (m_phase == Phase::Ready && m_queue.empty())
            send("AT", kAnswerMs, [](Result, const QStringList &) {});
    }
    if (due(m_retry, now)) {
        m_retry.armed = false;
        if (m_phase == Phase::Absent)
            tryOpen();
    }
    schedule();
}

// ---- Commands ------------------------------------------------------------------------------

void ModemLine::send(const QByteArray &text, uint32_t timeoutMs, Done done, bool callResults)
{
    m_queue.push_back(Command{text, timeoutMs, std::move(done), callResults});
    pump();
}

void ModemLine::pump()
{
    if (m_busy || m_queue.empty() || !m_port.isOpen())
        return;
    Command &next = m_queue.front();
    m_busy = true;
    m_infoLines.clear();
    m_parser.setLastCommand(next.text);
    arm(m_commandDeadline, next.timeoutMs);
    m_keepAlive.armed = false;
    QString error;
    if (!m_port.write(next.text + '\r', &error)) {
        lose(error);
        return;
    }
    schedule();
}

void ModemLine::finish(Result result)
{
    if (!m_busy)
        return;
    Command command = std::move(m_queue.front());
    m_queue.pop_front();
    m_busy = false;
    m_commandDeadline.armed = false;
    const QStringList info = m_infoLines;
    m_infoLines.clear();
    if (command.done)
        command.done(result, info);
    if (m_phase == Phase::Ready && m_queue.empty() && !m_busy)
        arm(m_keepAlive, kKeepAliveMs);
    pump();
    schedule();
}

void ModemLine::onData(const QByteArray &bytes)
{
    // A handler may close the port (a lost device); what follows is then dropped.
    for (const ModemEvent &event : m_parser.feed(bytes)) {
        if (!m_port.isOpen())
            return;
        onEvent(event);
    }
}

void ModemLine::onEvent(const ModemEvent &event)
{
    using Kind = ModemEvent::Kind;
    const bool callResults = m_busy && m_queue.front().callResults;
    switch (event.kind) {
    case Kind::Ok:
    case Kind::Error:
        if (m_busy)
            finish(event.kind == Kind::Ok ? Result::Ok : Result::Error);
        else
            log(QStringLiteral("unexpected \"%1\" ignored").arg(event.text));
        break;
    case Kind::NoCarrier:
    case Kind::Busy:
    case Kind::NoDialtone:
    case Kind::NoAnswer:
    case Kind::Connect:
        if (callResults) {
            finish(event.kind == Kind::NoCarrier   ? Result::NoCarrier
                       : event.kind == Kind::Busy   ? Result::Busy
                       : event.kind == Kind::NoDialtone ? Result::NoDialtone
                       : event.kind == Kind::NoAnswer ? Result::NoAnswer
                                                      : Result::Connect);
        } else if (DeviceCall *c = call(); c && c->state == LINECALLSTATE_CONNECTED && event.kind != Kind::Connect
                                             && event.kind != Kind::NoAnswer) {
            endCall(LINEDISCONNECTMODE_NORMAL, QStringLiteral("the modem reports \"%1\"").arg(event.text));
        } else {
            log(QStringLiteral("unexpected \"%1\" ignored").arg(event.text));
        }
        break;
    case Kind::Ring:
        onRing();
        break;
    case Kind::CallerId:
        onCallerId(event.field, event.text);
        break;
    case Kind::VoiceEvent:
        onVoiceEvent(event.code);
        break;
    case Kind::Echo:
        break;
    case Kind::Info:
        if (m_busy)
            m_infoLines.append(event.text);
        else
            log(QStringLiteral("unexpected text \"%1\" ignored").arg(event.text.left(64)));
        break;
    case Kind::Noise:
        log(event.text.isEmpty() ? QStringLiteral("unreadable bytes ignored")
                                 : QStringLiteral("unreadable line ignored: \"%1\"").arg(event.text));
        break;
    case Kind::Overlong:
        log(QStringLiteral("line longer than %1 bytes ignored: \"%2...\"")
                .arg(ModemResponseParser::kMaxLine)
                .arg(event.text));
        break;
    case Kind::BadCallerId:
        log(QStringLiteral("caller-ID message that does not decode ignored: \"%1\"").arg(event.text));
        break;
    }
}

// ---- Opening, initialising, losing ----------------------------------------------------------

void ModemLine::start()
{
    QTimer::singleShot(0, &m_context, [this] {
        if (m_phase == Phase::Closed)
            tryOpen();
    });
}

void ModemLine::tryOpen()
{
    QString error;
    m_parser.reset();
    if (!m_port.open(m_path, m_settings.speed, m_settings.hardwareFlow, &error)) {
        lose(error);
        return;
    }
    initialise();
}

void ModemLine::initialise()
{
    m_phase = m_phase == Phase::Absent ? Phase::Absent : Phase::Initialising;
    m_voiceMode = false;
    m_callerIdInUse.clear();
    // Each step goes on whatever the modem said, except a silent modem, which is lost.
    auto next = [this](std::function<void()> step) {
        return [step](Result result, const QStringList &) {
            if (result != Result::Lost)
                step();
        };
    };
    send("AT", kAnswerMs, next([this, next] {
        send("ATZ", kResetMs, next([this, next] {
            send("ATE0V1", kAnswerMs, next([this] {
                send("ATI", kAnswerMs, [this](Result result, const QStringList &info) {
                    if (result == Result::Ok && !info.isEmpty())
                        m_identity = info.join(QLatin1Char(' ')).left(80);
                });
                send("AT+GMM", kAnswerMs, [this](Result result, const QStringList &info) {
                    if (result == Result::Ok && !info.isEmpty())
                        m_identity = info.join(QLatin1Char(' ')).left(80);
                });
                send("AT+FCLASS=0", kAnswerMs, [this](Result result, const QStringList &) {
                    if (result != Result::Lost)
                        tryCallerId(0);
                });
            }));
        }));
    }));
}

void ModemLine::tryCallerId(int index)
{
    const QStringList commands =
        m_settings.callerIdCommand.isEmpty() ? CallerIdCommands() : QStringList{m_settings.callerIdCommand};
    if (index >= commands.size()) {
        log(m_settings.callerIdCommand.isEmpty()
                ? QStringLiteral("the modem accepts none of %1; calls are seen without the caller's number")
                      .arg(commands.join(QStringLiteral(", ")))
                : QStringLiteral("the modem refuses %1; calls are seen without the caller's number")
                      .arg(m_settings.callerIdCommand));
        becomeReady();
        return;
    }
    send(commands.at(index).toLatin1(), kAnswerMs, [this, index, commands](Result result, const QStringList &) {
        if (result == Result::Lost)
            return;
        if (result == Result::Ok) {
            m_callerIdInUse = commands.at(index);
            becomeReady();
        } else {
            tryCallerId(index + 1);
        }
    });
}

void ModemLine::becomeReady()
{
    const bool returned = m_phase == Phase::Absent;
    m_phase = Phase::Ready;
    m_lossLogged = false;
    log(QStringLiteral("%1%2, caller ID %3")
            .arg(returned ? QStringLiteral("the device is back: ") : QStringLiteral("ready: "),
                 m_identity.isEmpty() ? QStringLiteral("unidentified modem") : m_identity,
                 m_callerIdInUse.isEmpty() ? QStringLiteral("off") : QStringLiteral("on (%1)").arg(m_callerIdInUse)));
    if (returned)
        LineService::instance().setDevicePresent(this, true);
    if (m_queue.empty() && !m_busy)
        arm(m_keepAlive, kKeepAliveMs);
    schedule();
}

void ModemLine::lose(const QString &reason)
{
    m_port.close();
    m_busy = false;
    m_commandDeadline.armed = false;
    m_ringDeadline.armed = false;
    m_keepAlive.armed = false;
    m_callId = 0;
    m_voiceMode = false;
    m_pendingCallerId.clear();
    if (!m_lossLogged) {
        log(QStringLiteral("the device is lost (%1); trying again every %2 s").arg(reason).arg(kRetryMs / 1000));
        m_lossLogged = true;
    }
    m_phase = Phase::Absent;
    // Calls on the line vanish with the device; open lines hear that it was removed.
    LineService::instance().setDevicePresent(this, false);
    std::deque<Command> aborted;
    aborted.swap(m_queue);
    for (Command &command : aborted) {
        if (command.done)
            command.done(Result::Lost, {});
    }
    arm(m_retry, kRetryMs);
    schedule();
}

// ---- Calls ---------------------------------------------------------------------------------------

void ModemLine::onRing()
{
    LineService &service = LineService::instance();
    const int deviceId = service.deviceIdOf(this);
    if (deviceId < 0 || !service.devicePresent(DWORD(deviceId)))
        return;
    DeviceCall *c = this->call();
    if (!c) {
        c = service.newCall(this, LINECALLORIGIN_EXTERNAL);
        m_callId = c->id;
        m_rings = 0;
        m_answeredHere = false;
        m_pickedUpElsewhere = false;
        service.setCallState(*c, LINECALLSTATE_OFFERING, LINEOFFERINGMODE_ACTIVE);
        // Caller ID sent before the first ring (as some exchanges do) belongs to this call.
        if (!m_pendingCallerId.isEmpty() && !due(m_pendingCallerIdAge, GetTickCount())) {
            for (const auto &[field, value] : std::as_const(m_pendingCallerId))
                applyCallerId(*c, field, value);
        }
        m_pendingCallerId.clear();
    } else if (c->state != LINECALLSTATE_OFFERING) {
        return; // a ring during a call the modem already carries says nothing new
    }
    ++m_rings;
    arm(m_ringDeadline, uint32_t(m_settings.ringTimeoutSeconds) * 1000u);
    schedule();
}

void ModemLine::keepRinging()
{
    DeviceCall *c = call();
    if (c && c->state == LINECALLSTATE_OFFERING) {
        arm(m_ringDeadline, uint32_t(m_settings.ringTimeoutSeconds) * 1000u);
        schedule();
    }
}

void ModemLine::onCallerId(const QString &field, const QString &value)
{
    DeviceCall *c = this->call();
    if (c && c->state == LINECALLSTATE_OFFERING) {
        applyCallerId(*c, field, value);
        return;
    }
    if (c)
        return;
    if (!m_pendingCallerId.isEmpty() && due(m_pendingCallerIdAge, GetTickCount()))
        m_pendingCallerId.clear(); // left over from a block no ring followed
    if (m_pendingCallerId.isEmpty())
        arm(m_pendingCallerIdAge, kPendingCallerIdMs);
    m_pendingCallerId.append({field, value});
}

void ModemLine::applyCallerId(DeviceCall &call, const QString &field, const QString &value)
{
    const QString upper = value.trimmed().toUpper();
    const bool withheld = upper == QLatin1String("P") || upper == QLatin1String("PRIVATE");
    const bool unavailable = upper == QLatin1String("O") || upper == QLatin1String("OUT OF AREA")
        || upper == QLatin1String("UNAVAILABLE");
    if (field == QLatin1String("NMBR")) {
        if (withheld || unavailable) {
            // No number to log: the row stays without one, the log says why.
            log(withheld ? QStringLiteral("incoming call: the caller withheld the number (private)")
                         : QStringLiteral("incoming call: the caller's number is unavailable"));
            return;
        }
        static const QRegularExpression dialable(QStringLiteral("[^0-9+*#]"));
        QString number = value;
        number.remove(dialable);
        if (number.isEmpty()) {
            log(QStringLiteral("caller ID without a number ignored: \"%1\"").arg(value.left(64)));
            return;
        }
        log(QStringLiteral("incoming call from %1").arg(number));
        LineService::instance().setCallerId(call, number);
    } else if (field == QLatin1String("NAME")) {
        if (!withheld && !unavailable && !value.trimmed().isEmpty()) {
            const QString name = value.trimmed().left(64);
            log(QStringLiteral("caller's name: %1").arg(name));
            LineService::instance().setCallerName(call, name);
        }
    }
}

void ModemLine::onVoiceEvent(char code)
{
    DeviceCall *c = this->call();
    switch (code) {
    case 'R':
        onRing();
        break;
    case 'H': // the local handset or an extension went off hook
    case 'P':
        if (c && c->state == LINECALLSTATE_OFFERING) {
            m_ringDeadline.armed = false;
            m_pickedUpElsewhere = true;
            log(QStringLiteral("the call was picked up on another phone"));
            LineService::instance().setCallState(*c, LINECALLSTATE_CONNECTED, LINECONNECTEDMODE_ACTIVE);
        }
        break;
    case 'h':
    case 'p':
        if (c && c->state == LINECALLSTATE_CONNECTED && m_pickedUpElsewhere)
            endCall(LINEDISCONNECTMODE_NORMAL, QStringLiteral("the other phone hung up"));
        break;
    case 'b': // busy or dial tone on a call the modem holds: the far end has gone
    case 'd':
        if (c && c->state == LINECALLSTATE_CONNECTED && m_answeredHere) {
            hangUpModem();
            endCall(LINEDISCONNECTMODE_NORMAL, QStringLiteral("the far end hung up"));
        }
        break;
    default:
        break;
    }
}

void ModemLine::endCall(DWORD mode, const QString &why)
{
    LineService &service = LineService::instance();
    m_ringDeadline.armed = false;
    DeviceCall *c = this->call();
    m_callId = 0;
    m_answeredHere = false;
    m_pickedUpElsewhere = false;
    if (!why.isEmpty())
        log(QStringLiteral("call ended: %1").arg(why));
    if (!c)
        return;
    service.setCallState(*c, LINECALLSTATE_DISCONNECTED, mode);
    service.setCallState(*c, LINECALLSTATE_IDLE);
    if (m_reinitPending) {
        m_reinitPending = false;
        // Once the hang-up has gone out and the messages of this call are on their way.
        QTimer::singleShot(0, &m_context, [this] {
            if (m_phase != Phase::Absent && !this->call())
                reopen();
        });
    }
}

void ModemLine::hangUpModem(std::function<void(Result)> then)
{
    send("ATH", kAnswerMs, [this, then](Result result, const QStringList &) {
        if (result != Result::Lost && m_voiceMode) {
            m_voiceMode = false;
            send("AT+FCLASS=0", kAnswerMs, [](Result, const QStringList &) {});
        }
        if (then)
            then(result);
    }, true);
}

void ModemLine::answer(DWORD requestId, DeviceCall &call)
{
    LineService &service = LineService::instance();
    if (call.id != m_callId || !m_port.isOpen()) {
        service.completeRequest(requestId, LINEERR_INVALCALLSTATE);
        return;
    }
    // Ringing stops while the modem takes the line; the call must not end meanwhile.
    m_ringDeadline.armed = false;
    // Voice mode first: answering in data mode would whistle at the caller.
    send("AT+FCLASS=8", kAnswerMs, [this, requestId](Result result, const QStringList &) {
        LineService &lines = LineService::instance();
        if (result == Result::Lost) {
            lines.completeRequest(requestId, LINEERR_OPERATIONFAILED);
            return;
        }
        if (result != Result::Ok) {
            log(QStringLiteral("cannot answer: the modem has no voice mode (AT+FCLASS=8 refused)"));
            lines.completeRequest(requestId, LINEERR_OPERATIONUNAVAIL);
            keepRinging();
            return;
        }
        m_voiceMode = true;
        send("ATA", kOffHookMs, [this, requestId](Result answered, const QStringList &) {
            LineService &service = LineService::instance();
            DeviceCall *c = this->call();
            if (answered == Result::Lost) {
                service.completeRequest(requestId, LINEERR_OPERATIONFAILED);
            } else if ((answered == Result::Ok || answered == Result::Connect) && c
                       && c->state == LINECALLSTATE_OFFERING) {
                m_ringDeadline.armed = false;
                m_answeredHere = true;
                service.completeRequest(requestId, 0);
                service.setCallState(*c, LINECALLSTATE_CONNECTED, LINECONNECTEDMODE_ACTIVE);
            } else {
                log(QStringLiteral("the modem could not answer the call"));
                service.completeRequest(requestId, LINEERR_OPERATIONFAILED);
                hangUpModem();
                keepRinging();
            }
        }, true);
    });
}

void ModemLine::makeCall(DWORD requestId, DeviceCall &call, const QString &destination)
{
    LineService &service = LineService::instance();
    // What the dial command takes: digits, tone and pulse letters, pauses; separators go.
    QString number = destination;
    number.remove(QRegularExpression(QStringLiteral("[\\s\\-().]")));
    static const QRegularExpression dialable(QStringLiteral("^[0-9*#+,ABCDPTWabcdptw!@]+$"));
    if (!m_port.isOpen() || !ready() || !dialable.match(number).hasMatch()) {
        service.completeRequest(requestId, m_port.isOpen() && ready() ? LINEERR_INVALADDRESS : LINEERR_OPERATIONFAILED);
        service.setCallState(call, LINECALLSTATE_IDLE);
        return;
    }
    m_callId = call.id;
    m_answeredHere = true;
    service.completeRequest(requestId, 0);
    service.setCallState(call, LINECALLSTATE_DIALTONE, LINEDIALTONEMODE_NORMAL);
    send("AT+FCLASS=8", kAnswerMs, [this, number](Result result, const QStringList &) {
        if (result == Result::Lost)
            return;
        m_voiceMode = result == Result::Ok;
        DeviceCall *c = this->call();
        if (!c)
            return;
        LineService &lines = LineService::instance();
        lines.setCallState(*c, LINECALLSTATE_DIALING);
        lines.setCalledId(*c, number);
        lines.setCallState(*c, LINECALLSTATE_PROCEEDING);
        // In data mode ";" brings the modem back to commands after dialling instead of
        // waiting for a carrier that a voice call never has.
        const QByteArray command = "ATD" + number.toLatin1() + (m_voiceMode ? "" : ";");
        send(command, kOffHookMs, [this](Result dialled, const QStringList &) {
            LineService &service = LineService::instance();
            DeviceCall *dialling = this->call();
            if (dialled == Result::Lost || !dialling)
                return;
            if (dialled == Result::Ok || dialled == Result::Connect) {
                log(QStringLiteral("dialled; the modem cannot hear when the far end answers, so the call counts "
                                   "as connected from now"));
                service.setCallState(*dialling, LINECALLSTATE_CONNECTED, LINECONNECTEDMODE_ACTIVE);
                return;
            }
            if (dialled == Result::Busy)
                service.setCallState(*dialling, LINECALLSTATE_BUSY, LINEBUSYMODE_UNKNOWN);
            const DWORD mode = dialled == Result::Busy       ? LINEDISCONNECTMODE_BUSY
                : dialled == Result::NoAnswer || dialled == Result::NoCarrier ? LINEDISCONNECTMODE_NOANSWER
                                                                              : LINEDISCONNECTMODE_UNKNOWN;
            const QString why = dialled == Result::Busy ? QStringLiteral("busy")
                : dialled == Result::NoDialtone           ? QStringLiteral("no dial tone")
                : dialled == Result::NoAnswer             ? QStringLiteral("no answer")
                : dialled == Result::NoCarrier            ? QStringLiteral("no carrier")
                                                          : QStringLiteral("the modem refused to dial");
            hangUpModem();
            endCall(mode, QStringLiteral("dialling failed: ") + why);
        }, true);
    });
}

void ModemLine::dial(DWORD requestId, DeviceCall &, const QString &)
{
    // The modem dials a whole number in one command; it never waits with a dial tone.
    LineService::instance().completeRequest(requestId, LINEERR_OPERATIONUNAVAIL);
}

void ModemLine::drop(DWORD requestId, DeviceCall &call)
{
    LineService &service = LineService::instance();
    if (call.id != m_callId || !m_port.isOpen()) {
        service.completeRequest(requestId, LINEERR_INVALCALLSTATE);
        return;
    }
    if (call.state == LINECALLSTATE_OFFERING) {
        // Refusing a ringing call would mean answering it first; the modem lets it ring.
        service.completeRequest(requestId, LINEERR_OPERATIONUNAVAIL);
        return;
    }
    if (m_pickedUpElsewhere) {
        // The modem is not off hook; the other phone holds the call.
        service.completeRequest(requestId, LINEERR_OPERATIONUNAVAIL);
        return;
    }
    // Any character stops a dial or answer in progress; the command then ends by itself.
    if (m_busy && (m_queue.front().text.startsWith("ATD") || m_queue.front().text == "ATA")) {
        QString error;
        if (!m_port.write("\r", &error)) {
            lose(error);
            service.completeRequest(requestId, LINEERR_OPERATIONFAILED);
            return;
        }
    }
    hangUpModem([this, requestId](Result result) {
        LineService &lines = LineService::instance();
        if (result == Result::Lost) {
            lines.completeRequest(requestId, LINEERR_OPERATIONFAILED);
            return;
        }
        if (result != Result::Ok) {
            log(QStringLiteral("the modem refused to hang up"));
            lines.completeRequest(requestId, LINEERR_OPERATIONFAILED);
            return;
        }
        lines.completeRequest(requestId, 0);
        endCall(LINEDISCONNECTMODE_NORMAL, QString());
    });
}

// ---- Properties -----------------------------------------------------------------------------------

LineProperties ModemLine::properties() const
{
    LineProperties list;
    auto add = [&list](const QString &key, const QString &label, LineProperty::Kind kind, const QString &value) {
        LineProperty p;
        p.key = key;
        p.label = label;
        p.kind = kind;
        p.value = value;
        list.append(p);
        return &list.last();
    };
    add(QStringLiteral("device"), QStringLiteral("Zařízení"), LineProperty::Kind::Info, m_path);
    add(QStringLiteral("model"), QStringLiteral("Modem"), LineProperty::Kind::Info,
        m_identity.isEmpty() ? QStringLiteral("neznámý") : m_identity);
    add(QStringLiteral("state"), QStringLiteral("Stav"), LineProperty::Kind::Info,
        m_phase == Phase::Ready     ? QStringLiteral("připraven")
            : m_phase == Phase::Absent ? QStringLiteral("nedostupný")
                                       : QStringLiteral("inicializace"));
    LineProperty *speed = add(QStringLiteral("speed"), QStringLiteral("Rychlost (Bd)"), LineProperty::Kind::Choice,
                              QString::number(m_settings.speed));
    for (const int s : ModemPort::Speeds())
        speed->choices.append(QString::number(s));
    add(QStringLiteral("rtscts"), QStringLiteral("Řízení toku RTS/CTS"), LineProperty::Kind::Flag,
        m_settings.hardwareFlow ? QStringLiteral("1") : QStringLiteral("0"));
    LineProperty *cid = add(QStringLiteral("callerid"), QStringLiteral("Příkaz pro identifikaci volajícího"),
                            LineProperty::Kind::Choice,
                            m_settings.callerIdCommand.isEmpty() ? kAutomatic : m_settings.callerIdCommand);
    cid->choices = QStringList{kAutomatic} + CallerIdCommands()
        + QStringList{QStringLiteral("AT+VCID=2"), QStringLiteral("AT#CID=2")};
    add(QStringLiteral("calleridinuse"), QStringLiteral("Použitý příkaz"), LineProperty::Kind::Info,
        m_callerIdInUse.isEmpty() ? QStringLiteral("žádný") : m_callerIdInUse);
    LineProperty *ring = add(QStringLiteral("ringtimeout"), QStringLiteral("Konec vyzvánění po (s)"),
                             LineProperty::Kind::Number, QString::number(m_settings.ringTimeoutSeconds));
    ring->minimum = 4;
    ring->maximum = 30;
    return list;
}

void ModemLine::setProperties(const LineProperties &properties)
{
    ModemSettings changed = m_settings;
    const LineProperties known = this->properties();
    for (const LineProperty &p : properties) {
        const auto it = std::find_if(known.begin(), known.end(), [&](const LineProperty &k) { return k.key == p.key; });
        if (it == known.end() || it->kind == LineProperty::Kind::Info)
            continue;
        const QString value = p.value.trimmed();
        if (p.key == QLatin1String("speed")) {
            if (!it->choices.contains(value))
                throw Exception(QStringLiteral("Nepodporovaná rychlost \"%1\"").arg(value));
            changed.speed = value.toInt();
        } else if (p.key == QLatin1String("rtscts")) {
            changed.hardwareFlow = value == QLatin1String("1");
        } else if (p.key == QLatin1String("callerid")) {
            const auto choice = std::find_if(it->choices.begin(), it->choices.end(),
                                             [&](const QString &c) { return c.compare(value, Qt::CaseInsensitive) == 0; });
            if (choice == it->choices.end())
                throw Exception(QStringLiteral("Neznámý příkaz pro identifikaci volajícího \"%1\"").arg(value));
            changed.callerIdCommand = *choice == kAutomatic ? QString() : *choice;
        } else if (p.key == QLatin1String("ringtimeout")) {
            bool ok = false;
            const int seconds = value.toInt(&ok);
            if (!ok || seconds < it->minimum || seconds > it->maximum)
                throw Exception(QStringLiteral("Konec vyzvánění musí být %1 až %2 s").arg(it->minimum).arg(it->maximum));
            changed.ringTimeoutSeconds = seconds;
        }
    }
    // Stored first: a setting that cannot be written changes nothing.
    if (m_provider)
        m_provider->storeSettings(m_path, changed);
    const bool reopen = changed.speed != m_settings.speed || changed.hardwareFlow != m_settings.hardwareFlow;
    const bool reinit = changed.callerIdCommand != m_settings.callerIdCommand;
    m_settings = changed;
    if (m_phase == Phase::Absent || m_phase == Phase::Closed)
        return; // the next attempt uses the new settings
    if (call()) {
        // A call in progress is not disturbed; the modem is set up anew when it ends.
        m_reinitPending = reopen || reinit;
        return;
    }
    if (reopen || reinit)
        this->reopen();
}

void ModemLine::reopen()
{
    std::deque<Command> aborted;
    aborted.swap(m_queue);
    m_busy = false;
    m_commandDeadline.armed = false;
    m_port.close();
    for (Command &command : aborted) {
        if (command.done)
            command.done(Result::Lost, {});
    }
    m_phase = Phase::Initialising;
    tryOpen();
}
