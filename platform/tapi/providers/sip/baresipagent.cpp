#include "baresipagent.h"

#include "exception.h"
#include "myutils.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSaveFile>
#include <QStandardPaths>
#include <QTcpServer>
#include <QUdpSocket>
#include <algorithm>

namespace {

constexpr int kConnectIntervalMs = 100;
constexpr int kConnectAttempts = 100; // ten seconds for the agent to listen
constexpr int kRegisterTimeoutMs = 30000;
constexpr int kLongestDelayMs = 60000;

quint16 FreeTcpPort()
{
    QTcpServer server;
    return server.listen(QHostAddress::LocalHost, 0) ? server.serverPort() : 0;
}

bool PortsFree(const QHostAddress &address, quint16 port)
{
    // The agent takes UDP and TCP on the port and TLS on the next one.
    QTcpServer tcp, tls;
    QUdpSocket udp;
    return tcp.listen(address, port) && tls.listen(address, quint16(port + 1)) && udp.bind(address, port);
}

quint16 FreeSipPort(const QHostAddress &address)
{
    for (int attempt = 0; attempt < 50; ++attempt) {
        QTcpServer probe;
        if (!probe.listen(address, 0))
            return 0;
        const quint16 port = probe.serverPort();
        probe.close();
        if (port < 65534 && PortsFree(address, port))
            return port;
    }
    return 0;
}

void WriteFile(const QString &path, const QByteArray &data)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        throw Exception(QStringLiteral("Soubor %1 nelze zapsat: %2").arg(path, file.errorString()));
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    file.write(data);
    if (!file.commit())
        throw Exception(QStringLiteral("Soubor %1 nelze zapsat: %2").arg(path, file.errorString()));
    QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
}

QString ModuleDirectory()
{
    for (const QString &dir : {QStringLiteral("/usr/lib/baresip/modules"), QStringLiteral("/usr/local/lib/baresip/modules")}) {
        if (QFile::exists(dir + QStringLiteral("/ctrl_tcp.so")))
            return dir;
    }
    return QString();
}

} // namespace

BaresipAgent::BaresipAgent(const QString &configDirectory)
    : m_directory(configDirectory), m_control(std::make_unique<BaresipControl>())
{
    for (QTimer *timer : {&m_connectTimer, &m_restartTimer, &m_registerTimer}) {
        timer->setTimerType(Qt::PreciseTimer);
        timer->setSingleShot(true);
    }
    QObject::connect(&m_connectTimer, &QTimer::timeout, [this] { tryConnect(); });
    QObject::connect(&m_restartTimer, &QTimer::timeout, [this] { launch(); });
    QObject::connect(&m_registerTimer, &QTimer::timeout,
                     [this] { lose(QStringLiteral("no answer from the registrar")); });
    m_control->onConnected = [this] {
        m_connectTimer.stop();
        if (m_account.registrar.isEmpty())
            ready();
        else
            m_registerTimer.start(kRegisterTimeoutMs);
    };
    m_control->onDisconnected = [this](const QString &reason) {
        if (m_state == State::Starting && m_connectAttempts < kConnectAttempts && m_account.attach.isEmpty()) {
            // Not listening yet: the agent is still reading its configuration.
            m_connectTimer.start(kConnectIntervalMs);
            return;
        }
        lose(QStringLiteral("control connection lost: ") + reason);
    };
    m_control->onProtocolError = [](const QString &reason) {
        WriteLogLine(QStringLiteral("SIP: message of the user agent skipped: ") + reason);
    };
    m_control->onEvent = [this](const BaresipEvent &event) {
        if (event.type == QLatin1String("REGISTER_OK")) {
            m_registerTimer.stop();
            if (m_state == State::Starting)
                ready();
        } else if (event.type == QLatin1String("REGISTER_FAIL")) {
            lose(QStringLiteral("registration failed: ") + event.param);
            return;
        }
        if (onEvent)
            onEvent(event);
    };
}

BaresipAgent::~BaresipAgent()
{
    onLost = nullptr;
    onReady = nullptr;
    onEvent = nullptr;
    stop();
}

QString BaresipAgent::Program()
{
    const QString chosen = qEnvironmentVariable("TEMBREL_BARESIP");
    return chosen.isEmpty() ? QStandardPaths::findExecutable(QStringLiteral("baresip")) : chosen;
}

qint64 BaresipAgent::processId() const { return m_process ? m_process->processId() : 0; }

void BaresipAgent::setAudio(const QString &player, const QString &source)
{
    m_player = player;
    m_source = source;
}

void BaresipAgent::start(const SipAccount &account)
{
    stop();
    m_account = account;
    m_delayMs = m_firstDelayMs;
    launch();
}

void BaresipAgent::stop()
{
    m_connectTimer.stop();
    m_restartTimer.stop();
    m_registerTimer.stop();
    m_control->disconnect();
    killProcess();
    m_state = State::Stopped;
}

void BaresipAgent::killProcess()
{
    if (!m_process)
        return;
    QProcess *process = m_process;
    m_process = nullptr;
    process->disconnect();
    if (process->state() != QProcess::NotRunning) {
        process->terminate();
        if (!process->waitForFinished(2000)) {
            process->kill();
            process->waitForFinished(2000);
        }
    }
    delete process;
}

void BaresipAgent::writeConfig()
{
    if (!QDir().mkpath(m_directory))
        throw Exception(QStringLiteral("Složku %1 nelze vytvořit.").arg(m_directory));
    QFile::setPermissions(m_directory, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    const QHostAddress bind = m_account.netInterface.isEmpty() || QHostAddress(m_account.netInterface).isNull()
        ? QHostAddress(QHostAddress::AnyIPv4)
        : QHostAddress(m_account.netInterface);
    m_controlPort = FreeTcpPort();
    m_sipPort = m_account.localPort > 0 ? quint16(m_account.localPort) : FreeSipPort(bind);
    if (!m_controlPort || !m_sipPort)
        throw Exception(QStringLiteral("no free port for the user agent"));

    QByteArray config;
    auto line = [&config](const QString &key, const QString &value) {
        config += key.toUtf8() + ' ' + value.toUtf8() + '\n';
    };
    line(QStringLiteral("poll_method"), QStringLiteral("epoll"));
    line(QStringLiteral("sip_listen"), QStringLiteral("%1:%2").arg(bind.toString()).arg(m_sipPort));
    if (!m_account.netInterface.isEmpty())
        line(QStringLiteral("net_interface"), m_account.netInterface);
    // The control interface would listen on every interface unless told otherwise.
    line(QStringLiteral("ctrl_tcp_listen"), QStringLiteral("127.0.0.1:%1").arg(m_controlPort));
    line(QStringLiteral("audio_player"), m_player);
    line(QStringLiteral("audio_alert"), m_player);
    line(QStringLiteral("audio_source"), m_source);
    const QString modules = ModuleDirectory();
    if (!modules.isEmpty())
        line(QStringLiteral("module_path"), modules);
    const QString sourceModule = m_source.section(QLatin1Char(','), 0, 0);
    const QString playerModule = m_player.section(QLatin1Char(','), 0, 0);
    if (sourceModule == QLatin1String("ausine")) {
        // The test tone exists at 48 kHz stereo only.
        line(QStringLiteral("ausrc_srate"), QStringLiteral("48000"));
        line(QStringLiteral("ausrc_channels"), QStringLiteral("2"));
    }
    line(QStringLiteral("module"), QStringLiteral("g711.so"));
    QStringList audioModules{playerModule, sourceModule};
    audioModules.removeDuplicates();
    for (const QString &module : audioModules)
        line(QStringLiteral("module"), module + QStringLiteral(".so"));
    line(QStringLiteral("module_app"), QStringLiteral("account.so"));
    line(QStringLiteral("module_app"), QStringLiteral("menu.so"));
    line(QStringLiteral("module_app"), QStringLiteral("ctrl_tcp.so"));
    WriteFile(m_directory + QStringLiteral("/config"), config);

    QString account = QStringLiteral("<%1").arg(m_account.address);
    if (!m_account.displayName.isEmpty())
        account.prepend(QStringLiteral("\"%1\" ").arg(m_account.displayName));
    if (m_account.transport != QLatin1String("udp"))
        account += QStringLiteral(";transport=") + m_account.transport;
    account += QLatin1Char('>');
    if (!m_account.user.isEmpty())
        account += QStringLiteral(";auth_user=") + m_account.user;
    if (!m_account.password.isEmpty())
        account += QStringLiteral(";auth_pass=") + m_account.password;
    if (m_account.registrar.isEmpty()) {
        account += QStringLiteral(";regint=0");
    } else {
        account += QStringLiteral(";outbound=\"%1\";regint=600").arg(m_account.registrar);
    }
    WriteFile(m_directory + QStringLiteral("/accounts"), account.toUtf8() + '\n');
    WriteFile(m_directory + QStringLiteral("/contacts"), QByteArray());
}

void BaresipAgent::launch()
{
    m_state = State::Starting;
    m_connectAttempts = 0;
    if (!m_account.attach.isEmpty()) {
        const qsizetype colon = m_account.attach.lastIndexOf(QLatin1Char(':'));
        m_controlPort = quint16(m_account.attach.mid(colon + 1).toUInt());
        m_control->connectTo(m_account.attach.left(colon), m_controlPort);
        return;
    }
    const QString program = Program();
    if (program.isEmpty()) {
        lose(QStringLiteral("the SIP user agent baresip is not installed"));
        return;
    }
    try {
        writeConfig();
    } catch (const Exception &e) {
        lose(e.message());
        return;
    }
    m_process = new QProcess;
    m_process->setProgram(program);
    m_process->setArguments({QStringLiteral("-f"), m_directory});
    m_process->setStandardInputFile(QProcess::nullDevice());
    // Its console chatter (level meters every few milliseconds) is of no use to us.
    m_process->setStandardOutputFile(QProcess::nullDevice());
    m_process->setStandardErrorFile(m_directory + QStringLiteral("/stderr.log"));
    QObject::connect(m_process, &QProcess::finished, [this](int code, QProcess::ExitStatus status) {
        lose(status == QProcess::CrashExit ? QStringLiteral("the user agent ended abnormally")
                                           : QStringLiteral("the user agent ended with code %1").arg(code));
    });
    QObject::connect(m_process, &QProcess::errorOccurred, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            lose(QStringLiteral("the user agent cannot start: ") + m_process->errorString());
    });
    m_process->start();
    m_connectTimer.start(kConnectIntervalMs);
}

void BaresipAgent::tryConnect()
{
    if (m_state != State::Starting)
        return;
    ++m_connectAttempts;
    m_control->connectTo(QStringLiteral("127.0.0.1"), m_controlPort);
}

void BaresipAgent::ready()
{
    m_state = State::Ready;
    m_delayMs = m_firstDelayMs;
    if (onReady)
        onReady();
}

void BaresipAgent::lose(const QString &reason)
{
    if (m_state == State::Lost || m_state == State::Stopped)
        return;
    m_state = State::Lost;
    m_connectTimer.stop();
    m_registerTimer.stop();
    m_control->disconnect();
    // Deleting the process from inside its own signal is not allowed.
    if (m_process) {
        QProcess *process = m_process;
        m_process = nullptr;
        process->disconnect();
        if (process->state() != QProcess::NotRunning) {
            process->kill();
            process->waitForFinished(2000);
        }
        process->deleteLater();
    }
    WriteLogLine(QStringLiteral("SIP: user agent lost (%1); restart in %2 s").arg(reason).arg(m_delayMs / 1000.0));
    m_restartTimer.start(m_delayMs);
    m_delayMs = std::min(m_delayMs * 2, kLongestDelayMs);
    if (onLost)
        onLost(reason);
}
