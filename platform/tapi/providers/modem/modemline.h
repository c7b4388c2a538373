#pragma once
// A voice modem with caller ID on a serial port, offered as a line named after its device
// ("Modem /dev/ttyACM0"). The modem is kept open and watched: RING makes an offered
// call, the caller-ID block names the caller, rings that stop end the call; answer, dial
// and hang-up go out as AT commands. A device that fails or stops answering is reported
// as removed and opened again when it answers once more.
#include "lineprovider.h"
#include "lineservice.h"
#include "modemport.h"
#include "modemresponse.h"

#include <QObject>
#include <QTimer>
#include <deque>
#include <functional>

class ModemProvider;

struct ModemSettings {
    int speed = 115200;
    QString callerIdCommand; // empty: the first of the known commands the modem accepts
    // Without a RING for this long the caller has given up (or somebody picked up
    // elsewhere). Ring cadences repeat every 3 to 6 seconds (a ring of 0.4 to 2 s, then
    // up to 4 s of silence); 8 s lets one late RING pass without cutting a call in two.
    int ringTimeoutSeconds = 8;
    bool hardwareFlow = false;
};

class ModemLine : public LineDevice {
public:
    // Commands tried in order when none is chosen, and the forms a user may choose.
    static const QStringList &CallerIdCommands();
    static QString NameFor(const QString &path) { return QStringLiteral("Modem ") + path; }

    static constexpr uint32_t kKeepAliveMs = 15000;  // an idle modem is asked "AT" this often
    static constexpr uint32_t kRetryMs = 5000;       // a lost device is tried again this often
    static constexpr uint32_t kPendingCallerIdMs = 10000; // caller ID before the first RING

    // Registers itself with the line service; start() opens the port.
    ModemLine(const QString &path, const ModemSettings &settings, ModemProvider *provider = nullptr);
    ~ModemLine() override;
    ModemLine(const ModemLine &) = delete;
    ModemLine &operator=(const ModemLine &) = delete;

    // Opens and initialises the modem once the event loop runs.
    void start();
    // Acts on every deadline the clock has passed (command answers, the end of ringing,
    // the periodic "AT", the next attempt at a lost device). The line's own precise
    // timer calls it; a test that moves the clock may call it too.
    void checkDeadlines();

    QString path() const { return m_path; }
    bool ready() const { return m_phase == Phase::Ready; }
    QString identity() const { return m_identity; }
    // The caller-ID command the modem accepted; empty when it took none.
    QString callerIdInUse() const { return m_callerIdInUse; }
    const ModemSettings &settings() const { return m_settings; }
    // The line's one call, if any.
    DeviceCall *call() const;

    QString lineName() const override { return NameFor(m_path); }
    QString providerInfo() const override;
    QString address() const override { return QString(); }
    DWORD permanentId() const override;
    int maxCalls() const override { return 1; }
    void makeCall(DWORD requestId, DeviceCall &call, const QString &destination) override;
    void dial(DWORD requestId, DeviceCall &call, const QString &destination) override;
    void answer(DWORD requestId, DeviceCall &call) override;
    void drop(DWORD requestId, DeviceCall &call) override;
    LineProvider *provider() const override;
    LineProperties properties() const override;
    void setProperties(const LineProperties &properties) override;

private:
    enum class Phase { Closed, Initialising, Ready, Absent };
    enum class Result { Ok, Error, NoCarrier, Busy, NoDialtone, NoAnswer, Connect, Lost };
    using Done = std::function<void(Result, const QStringList &info)>;
    struct Command {
        QByteArray text;
        uint32_t timeoutMs;
        Done done;
        bool callResults = false; // NO CARRIER, BUSY ... end this command rather than a call
    };
    struct Deadline {
        bool armed = false;
        uint32_t start = 0;
        uint32_t length = 0;
    };

    void send(const QByteArray &text, uint32_t timeoutMs, Done done, bool callResults = false);
    void pump();
    void finish(Result result);
    void onData(const QByteArray &bytes);
    void onEvent(const ModemEvent &event);
    void initialise();
    void tryCallerId(int index);
    void becomeReady();
    void lose(const QString &reason);
    void tryOpen();
    // Closes the port and sets the modem up anew with the current settings.
    void reopen();
    void log(const QString &text) const;
    void arm(Deadline &deadline, uint32_t ms);
    bool due(const Deadline &deadline, uint32_t now) const;
    void schedule();

    void onRing();
    // An offered call that was not taken waits for the next ring again.
    void keepRinging();
    void onCallerId(const QString &field, const QString &value);
    void applyCallerId(DeviceCall &call, const QString &field, const QString &value);
    void onVoiceEvent(char code);
    void endCall(DWORD mode, const QString &why);
    void hangUpModem(std::function<void(Result)> then = nullptr);

    QString m_path;
    ModemSettings m_settings;
    ModemProvider *m_provider;
    ModemPort m_port;
    ModemResponseParser m_parser;
    Phase m_phase = Phase::Closed;
    bool m_lossLogged = false;
    QString m_identity;
    QString m_callerIdInUse;
    QStringList m_infoLines;
    std::deque<Command> m_queue;
    bool m_busy = false; // the front of m_queue has been sent
    Deadline m_commandDeadline, m_ringDeadline, m_keepAlive, m_retry;
    DWORD m_callId = 0;
    int m_rings = 0;
    bool m_voiceMode = false;
    bool m_answeredHere = false;   // the modem took the call off hook itself
    bool m_pickedUpElsewhere = false;
    bool m_reinitPending = false;
    QList<QPair<QString, QString>> m_pendingCallerId;
    Deadline m_pendingCallerIdAge;
    QObject m_context; // owns the timer and the deferred steps; they die with the line
    QTimer m_timer;
};
