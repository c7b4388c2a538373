#pragma once
// The simulated line provider: lines named "Simulovaná linka N" that behave like a
// telephone line with a handset and a far end, driven by scenario events (from a file,
// the control socket or a test) and by the program's own requests.
#include "linescenario.h"
#include "lineprovider.h"
#include "lineservice.h"

#include <QObject>
#include <QTimer>
#include <functional>
#include <memory>
#include <vector>

class LineSimServer;
class SimulatedProvider;

class SimulatedLine : public LineDevice {
public:
    // Registers itself with the line service; number 1 is "Simulovaná linka 1". A line
    // of no provider cannot inject faults.
    explicit SimulatedLine(int number, const QString &address = QString(), SimulatedProvider *provider = nullptr);
    ~SimulatedLine() override;
    SimulatedLine(const SimulatedLine &) = delete;
    SimulatedLine &operator=(const SimulatedLine &) = delete;

    int number() const { return m_number; }
    DWORD deviceId() const;
    static QString NameFor(int number);

    QString lineName() const override { return NameFor(m_number); }
    QString providerInfo() const override;
    QString address() const override { return m_address; }
    DWORD permanentId() const override { return 0x53494D00u + DWORD(m_number); }

    void makeCall(DWORD requestId, DeviceCall &call, const QString &destination) override;
    void dial(DWORD requestId, DeviceCall &call, const QString &destination) override;
    void answer(DWORD requestId, DeviceCall &call) override;
    void drop(DWORD requestId, DeviceCall &call) override;
    LineProvider *provider() const override;

    // Carries out one event; raises Exception with the reason when the line cannot.
    void execute(const LineEvent &event);
    // The calls on the line, oldest first.
    std::vector<DeviceCall *> calls() const;

private:
    enum class FarEnd { None, Answer, Busy };

    DeviceCall *pick(const QString &selector, std::initializer_list<DWORD> states, const QString &what) const;
    void idleConference(DeviceCall &call);
    // The far end's treatment of a call the program dialled.
    void farEndTakes(DeviceCall &call);
    SimulatedProvider &faults() const;

    int m_number;
    QString m_address;
    FarEnd m_farEnd = FarEnd::None;
    int m_farEndDelayMs = 3000;
    SimulatedProvider *m_provider;
    QObject m_timers; // owns the far end's pending steps; they die with the line
};

// Several simulated lines at once, numbered from 1, with the faults a scenario or a test
// injects into the line functions of its lines.
class SimulatedProvider : public LineProvider {
public:
    explicit SimulatedProvider(int lineCount = 1);
    ~SimulatedProvider() override;
    // Offered with the switch "simulate": one line with its control socket.
    static std::unique_ptr<LineProvider> Create(const LineProviderOptions &options);

    SimulatedLine &line(int number) { return *m_lines.at(size_t(number - 1)); }
    int lineCount() const { return int(m_lines.size()); }

    QString name() const override;
    LONG screen(LineScreenStage stage, const char *function, int deviceId) override;

    // deviceId -1 matches every device (and the functions of none); times -1 forever.
    void injectFault(LineScreenStage stage, const QString &function, LONG code, int deviceId = -1, int times = 1);
    void clearFaults(const QString &function = QString(), int deviceId = -1);

    // The control socket of line 1; false with the reason when it cannot listen.
    bool openControlSocket(const QString &name, QString *error = nullptr);
    // Its full name; empty without one.
    QString controlSocketName() const;
    // Why the last opening failed.
    QString controlSocketError() const { return m_serverError; }

private:
    struct Fault {
        LineScreenStage stage;
        QString function;
        LONG code;
        int deviceId;
        int remaining;
    };

    std::vector<std::unique_ptr<SimulatedLine>> m_lines;
    std::vector<Fault> m_faults;
    std::unique_ptr<LineSimServer> m_server;
    QString m_serverError;
};

// Plays a scenario on a line: in real time after start(), or step by step through
// advanceTo() when a test drives the time.
class ScenarioPlayer {
public:
    ScenarioPlayer(SimulatedLine &line, QList<LineEvent> events);
    void start();
    void stop();
    // Plays every event due within elapsedMs of the start, in order.
    void advanceTo(qint64 elapsedMs);
    bool finished() const { return m_next >= m_events.size(); }
    // The elapsed time at which the next event is due; -1 when finished.
    qint64 nextDueMs() const;
    // Called after each event; error is empty when it was carried out.
    std::function<void(const LineEvent &, const QString &error)> onEvent;
    std::function<void()> onFinished;

private:
    void schedule();

    SimulatedLine &m_line;
    QList<LineEvent> m_events;
    QList<qint64> m_due;
    qsizetype m_next = 0;
    QTimer m_timer;
    qint64 m_startMs = 0;
};
