#include "sipsoundroute.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>

namespace {

const QString kPrefix = QStringLiteral("tembrel_sip");

bool Pactl(const QStringList &args, QString *output = nullptr)
{
    QProcess pactl;
    pactl.start(QStringLiteral("pactl"), args);
    if (!pactl.waitForFinished(5000) || pactl.exitStatus() != QProcess::NormalExit || pactl.exitCode() != 0) {
        if (pactl.state() != QProcess::NotRunning) {
            pactl.kill();
            pactl.waitForFinished(1000);
        }
        if (output)
            *output = QString::fromLocal8Bit(pactl.readAllStandardError()).trimmed();
        return false;
    }
    if (output)
        *output = QString::fromLocal8Bit(pactl.readAllStandardOutput()).trimmed();
    return true;
}

} // namespace

void SipSoundRoute::RemoveStale()
{
    QString modules;
    if (!Pactl({QStringLiteral("list"), QStringLiteral("short"), QStringLiteral("modules")}, &modules))
        return;
    for (const QString &row : modules.split(QLatin1Char('\n'))) {
        // Our names end in the owner's process id: "tembrel_sip1_4711".
        const qsizetype at = row.indexOf(kPrefix);
        if (at < 0)
            continue;
        const QString name = row.mid(at).section(QRegularExpression(QStringLiteral("[\\s,.]")), 0, 0);
        const QString pid = name.section(QLatin1Char('_'), 2, 2);
        if (pid.isEmpty() || QFile::exists(QStringLiteral("/proc/") + pid))
            continue;
        Pactl({QStringLiteral("unload-module"), row.section(QLatin1Char('\t'), 0, 0)});
    }
}

bool SipSoundRoute::setUp(int line, const QString &playback, const QString &microphone, QString *error)
{
    tearDown();
    QString speaker = playback;
    m_microphone = microphone;
    QString out;
    if ((speaker.isEmpty() && !Pactl({QStringLiteral("get-default-sink")}, &speaker))
        || (m_microphone.isEmpty() && !Pactl({QStringLiteral("get-default-source")}, &m_microphone))) {
        if (error)
            *error = QStringLiteral("no sound server: ") + speaker + m_microphone;
        return false;
    }
    const QString tag = QStringLiteral("%1%2_%3").arg(kPrefix).arg(line).arg(QCoreApplication::applicationPid());
    m_mixSink = tag;
    m_outSink = tag + QStringLiteral("_out");
    auto load = [&](const QStringList &args) {
        QString index;
        if (!Pactl(QStringList{QStringLiteral("load-module")} + args, &index)) {
            if (error)
                *error = QStringLiteral("sound server refused %1: %2").arg(args.first(), index);
            return false;
        }
        m_modules.prepend(index.toInt());
        return true;
    };
    const QString description = QStringLiteral("SIP_linka_%1_hovor").arg(line);
    if (!load({QStringLiteral("module-null-sink"), QStringLiteral("sink_name=") + m_mixSink,
               QStringLiteral("sink_properties=device.description=") + description})
        || !load({QStringLiteral("module-combine-sink"), QStringLiteral("sink_name=") + m_outSink,
                  QStringLiteral("slaves=%1,%2").arg(m_mixSink, speaker)})
        || !load({QStringLiteral("module-loopback"), QStringLiteral("source=") + m_microphone,
                  QStringLiteral("sink=") + m_mixSink, QStringLiteral("latency_msec=40"),
                  QStringLiteral("source_dont_move=true"), QStringLiteral("sink_dont_move=true")})) {
        tearDown();
        return false;
    }
    return true;
}

void SipSoundRoute::tearDown()
{
    for (int module : m_modules)
        Pactl({QStringLiteral("unload-module"), QString::number(module)});
    m_modules.clear();
}

QString SipSoundRoute::agentPlayer() const
{
    return active() ? QStringLiteral("alsa,pulse:") + m_outSink : QStringLiteral("alsa,default");
}

QString SipSoundRoute::agentSource() const
{
    return active() ? QStringLiteral("alsa,pulse:") + m_microphone : QStringLiteral("alsa,default");
}

QString SipSoundRoute::captureAddress() const
{
    return active() ? QStringLiteral("pulse:") + m_mixSink + QStringLiteral(".monitor") : QString();
}
