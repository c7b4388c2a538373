#include "soundserver.h"

#include <QStandardPaths>

namespace {

bool Answers()
{
    QProcess pactl;
    pactl.setStandardOutputFile(QProcess::nullDevice());
    pactl.setStandardErrorFile(QProcess::nullDevice());
    pactl.start(QStringLiteral("pactl"), {QStringLiteral("info")});
    return pactl.waitForFinished(5000) && pactl.exitStatus() == QProcess::NormalExit && pactl.exitCode() == 0;
}

} // namespace

bool SoundServer::start(QString &why)
{
    if (QStandardPaths::findExecutable(QStringLiteral("pulseaudio")).isEmpty()
        || QStandardPaths::findExecutable(QStringLiteral("pactl")).isEmpty()) {
        why = QStringLiteral("pulseaudio or pactl is not installed");
        return false;
    }
    if (!m_dir.isValid()) {
        why = QStringLiteral("no temporary folder for the sound server");
        return false;
    }
    const QString socket = m_dir.path() + QStringLiteral("/native");
    qputenv("PULSE_SERVER", (QStringLiteral("unix:") + socket).toUtf8());
    qputenv("PULSE_RUNTIME_PATH", m_dir.path().toUtf8());
    qputenv("PULSE_STATE_PATH", m_dir.path().toUtf8());
    m_server.setProgram(QStringLiteral("pulseaudio"));
    m_server.setArguments({QStringLiteral("-n"), QStringLiteral("--daemonize=no"), QStringLiteral("--exit-idle-time=-1"),
                           QStringLiteral("--use-pid-file=no"), QStringLiteral("-L"),
                           QStringLiteral("module-native-protocol-unix auth-anonymous=1 socket=") + socket,
                           QStringLiteral("-L"), QStringLiteral("module-null-sink sink_name=speaker"),
                           QStringLiteral("-L"), QStringLiteral("module-sine-source source_name=mic frequency=600")});
    m_server.setProcessChannelMode(QProcess::MergedChannels);
    m_server.start();
    if (!m_server.waitForStarted(5000)) {
        why = QStringLiteral("pulseaudio cannot start: ") + m_server.errorString();
        return false;
    }
    for (int i = 0; i < 100; ++i) {
        if (Answers())
            return true;
        m_server.waitForFinished(50);
        if (m_server.state() == QProcess::NotRunning)
            break;
    }
    why = QStringLiteral("pulseaudio did not answer: ") + QString::fromLocal8Bit(m_server.readAll()).right(300);
    return false;
}

SoundServer::~SoundServer()
{
    if (m_server.state() == QProcess::NotRunning)
        return;
    m_server.terminate();
    if (!m_server.waitForFinished(3000))
        m_server.kill();
    m_server.waitForFinished(1000);
}
