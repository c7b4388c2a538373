#pragma once
// SIP lines: "SIP linka N", one user agent each. The agent's call events become line
// messages; dial, answer and drop become its commands. The agent names the far end by
// URI; the number of a call is the URI's user part.
#include "baresipagent.h"
#include "lineprovider.h"
#include "lineservice.h"
#include "sipaccount.h"
#include "sipsoundroute.h"

#include <QObject>
#include <QString>
#include <QTimer>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <vector>

class SipProvider;
class SipConversationDriver;

class SipLine : public LineDevice {
public:
    // Registers itself with the line service; the account is read from "<data>/sip".
    SipLine(int number, const QString &dataDirectory, SipProvider *provider = nullptr);
    ~SipLine() override;
    SipLine(const SipLine &) = delete;
    SipLine &operator=(const SipLine &) = delete;

    static QString NameFor(int number);
    int number() const { return m_number; }
    DWORD deviceId() const;

    QString lineName() const override { return NameFor(m_number); }
    QString providerInfo() const override;
    QString address() const override { return m_account.address; }
    DWORD permanentId() const override { return 0x53495000u + DWORD(m_number); }
    LineProvider *provider() const override;
    void makeCall(DWORD requestId, DeviceCall &call, const QString &destination) override;
    void dial(DWORD requestId, DeviceCall &call, const QString &destination) override;
    void answer(DWORD requestId, DeviceCall &call) override;
    void drop(DWORD requestId, DeviceCall &call) override;
    LineProperties properties() const override;
    void setProperties(const LineProperties &properties) override;

    // Puts a connected call on hold or takes it back; the agent reports neither, so the
    // state follows our own command once the agent has carried it out.
    void hold(DWORD callId, std::function<void(bool ok)> done = nullptr);
    void resume(DWORD callId, std::function<void(bool ok)> done = nullptr);

    // Starts the agent when the account is filled in (again after a change).
    void start();
    void stop();
    const SipAccount &account() const { return m_account; }
    BaresipAgent &agent() { return m_agent; }
    const SipSoundRoute &soundRoute() const { return m_route; }
    // The agent runs and its calls are watched.
    bool ready() const { return m_agent.state() == BaresipAgent::State::Ready; }
    std::function<void()> onReadyChanged;

private:
    struct SipCall {
        DWORD callId;
        QString sipId;
        bool established = false;
    };

    void handleEvent(const BaresipEvent &event);
    void lost(const QString &reason);
    void startDial(DWORD requestId, DeviceCall &call, const QString &number);
    void close(SipCall &sipCall, const QString &reason);
    SipCall *bySipId(const QString &sipId);
    SipCall *byCallId(DWORD callId);
    // The call the agent's commands act on: its newest.
    bool isCurrent(DWORD callId) const;
    QString sipDirectory() const;

    int m_number;
    QString m_dataDirectory;
    SipProvider *m_provider;
    SipAccount m_account;
    SipSoundRoute m_route;
    BaresipAgent m_agent;
    std::vector<SipCall> m_calls; // oldest first
    QString m_lastLoss;
    QObject m_context; // owns deferred steps; they die with the line
};

class SipProvider : public LineProvider {
public:
    // lineCount lines, or as many as there are accounts in "<data>/sip" and at least one.
    explicit SipProvider(const QString &dataDirectory, int lineCount = 0);
    ~SipProvider() override;
    // Offered when the user agent is installed; with "simulate", only when an account is set.
    static std::unique_ptr<LineProvider> Create(const LineProviderOptions &options);

    QString name() const override;
    SipLine &line(int number) { return *m_lines.at(size_t(number - 1)); }
    int lineCount() const { return int(m_lines.size()); }

private:
    std::vector<std::unique_ptr<SipLine>> m_lines;
    std::unique_ptr<SipConversationDriver> m_driver;
};
