#pragma once
// One supervised user agent: the process we start with a configuration folder we write
// (or one already running that we attach to) and its control connection. Losing any of
// them, or the registration, makes the agent lost; it comes back on its own after a pause
// that grows while it keeps failing.
#include "baresipcontrol.h"
#include "sipaccount.h"

#include <QString>
#include <QTimer>
#include <functional>
#include <memory>

class QProcess;

class BaresipAgent {
public:
    enum class State { Stopped, Starting, Ready, Lost };

    // configDirectory: the folder the agent's files are written to (owner only).
    explicit BaresipAgent(const QString &configDirectory);
    ~BaresipAgent();
    BaresipAgent(const BaresipAgent &) = delete;
    BaresipAgent &operator=(const BaresipAgent &) = delete;

    // The device specifications the agent plays to and records from ("alsa,pulse:sink").
    void setAudio(const QString &player, const QString &source);
    void start(const SipAccount &account);
    void stop();
    State state() const { return m_state; }
    BaresipControl &control() { return *m_control; }
    qint64 processId() const;
    quint16 controlPort() const { return m_controlPort; }
    quint16 sipPort() const { return m_sipPort; }
    QString configDirectory() const { return m_directory; }

    // The first pause before a restart; it doubles up to a minute while starts fail.
    void setRestartDelay(int ms) { m_firstDelayMs = m_delayMs = ms; }

    std::function<void()> onReady;
    std::function<void(const QString &reason)> onLost;
    std::function<void(const BaresipEvent &)> onEvent;

    // The user agent's program; "baresip" from the path unless TEMBREL_BARESIP names another.
    static QString Program();

private:
    void launch();
    void writeConfig();
    void tryConnect();
    void ready();
    void lose(const QString &reason);
    void killProcess();

    QString m_directory;
    SipAccount m_account;
    QString m_player = QStringLiteral("alsa,default");
    QString m_source = QStringLiteral("alsa,default");
    State m_state = State::Stopped;
    std::unique_ptr<BaresipControl> m_control;
    QProcess *m_process = nullptr;
    QTimer m_connectTimer;
    QTimer m_restartTimer;
    QTimer m_registerTimer;
    int m_connectAttempts = 0;
    quint16 m_controlPort = 0;
    quint16 m_sipPort = 0;
    int m_firstDelayMs = 2000;
    int m_delayMs = 2000;
};
