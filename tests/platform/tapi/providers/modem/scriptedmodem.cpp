#include "scriptedmodem.h"

#include <QFile>
#include <QSocketNotifier>
#include <cerrno>
#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

ScriptedModem::ScriptedModem()
{
    m_link = m_dir.filePath(QStringLiteral("ttyModem"));
    open();
    replies.insert("ATI", "Scripted voice modem 1.0");
    replies.insert("AT+GMM", "SVM-56");
}

ScriptedModem::~ScriptedModem() { vanish(); }

void ScriptedModem::open()
{
    termios raw {};
    ::cfmakeraw(&raw);
    char name[128] = {};
    if (::openpty(&m_master, &m_slave, name, &raw, nullptr) != 0) {
        m_master = m_slave = -1;
        return;
    }
    ::fcntl(m_master, F_SETFL, ::fcntl(m_master, F_GETFL) | O_NONBLOCK);
    QFile::remove(m_link);
    QFile::link(QString::fromLocal8Bit(name), m_link);
    m_notifier = std::make_unique<QSocketNotifier>(m_master, QSocketNotifier::Read);
    QObject::connect(m_notifier.get(), &QSocketNotifier::activated, m_notifier.get(), [this] { readReady(); });
}

void ScriptedModem::vanish()
{
    m_notifier.reset();
    QFile::remove(m_link);
    if (m_master >= 0)
        ::close(m_master);
    if (m_slave >= 0)
        ::close(m_slave);
    m_master = m_slave = -1;
    m_pending.clear();
}

void ScriptedModem::comeBack()
{
    vanish();
    echo = false;
    open();
}

void ScriptedModem::send(const QByteArray &bytes)
{
    if (m_master >= 0) {
        [[maybe_unused]] const ssize_t n = ::write(m_master, bytes.constData(), size_t(bytes.size()));
    }
}

void ScriptedModem::readReady()
{
    char buffer[512];
    for (;;) {
        const ssize_t n = ::read(m_master, buffer, sizeof buffer);
        if (n <= 0)
            break;
        m_pending.append(buffer, n);
    }
    qsizetype end;
    while ((end = m_pending.indexOf('\r')) >= 0) {
        const QByteArray command = m_pending.left(end).trimmed();
        m_pending.remove(0, end + 1);
        if (!command.isEmpty())
            answer(command);
    }
}

void ScriptedModem::answer(const QByteArray &command)
{
    commands.append(command);
    if (silent)
        return;
    const QByteArray upper = command.toUpper();
    if (echo)
        send(command + "\r\n");
    if (upper.startsWith("ATE0"))
        echo = false;
    if (refused.contains(upper)) {
        send("\r\nERROR\r\n");
        return;
    }
    if (replies.contains(upper))
        send("\r\n" + replies.value(upper) + "\r\n");
    QByteArray result = "OK";
    for (auto it = results.begin(); it != results.end(); ++it) {
        if (upper == it.key() || (it.key().endsWith('*') && upper.startsWith(it.key().chopped(1))))
            result = it.value();
    }
    send("\r\n" + result + "\r\n");
}
