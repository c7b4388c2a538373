#pragma once
// A modem played by a test on the far side of a pseudo-terminal: the line under test
// opens a real tty (reached through a link, as /dev/serial/by-id names a modem) and
// talks to it with real termios. The modem answers commands by its rules and sends
// whatever the test makes it send.
#include <QByteArray>
#include <QList>
#include <QMap>
#include <QSet>
#include <QString>
#include <QTemporaryDir>
#include <memory>

class QSocketNotifier;

class ScriptedModem {
public:
    ScriptedModem();
    ~ScriptedModem();

    // The device path the line opens: a link to the pseudo-terminal.
    QString path() const { return m_link; }
    bool valid() const { return m_master >= 0; }

    // Commands answered "ERROR"; every other command is answered "OK" after its reply.
    QSet<QByteArray> refused;
    // Lines sent before "OK" for a command (ATI, AT+GMM).
    QMap<QByteArray, QByteArray> replies;
    // Final result for a command instead of "OK" (ATA -> "VCON", ATD... -> "BUSY").
    QMap<QByteArray, QByteArray> results;
    // Echo commands until ATE0 arrives, as a freshly reset modem does.
    bool echo = false;
    // Answer nothing at all (a hung modem).
    bool silent = false;

    // Every command received, in order, without the CR.
    QList<QByteArray> commands;
    int count(const QByteArray &command) const { return int(commands.count(command)); }

    // Sends raw bytes to the line.
    void send(const QByteArray &bytes);
    // The device goes away: the link disappears and the terminal hangs up.
    void vanish();
    // A device appears again under the same path.
    void comeBack();

private:
    void open();
    void readReady();
    void answer(const QByteArray &command);

    QTemporaryDir m_dir;
    QString m_link;
    int m_master = -1;
    int m_slave = -1; // held so the terminal stays up while the line reopens it
    std::unique_ptr<QSocketNotifier> m_notifier;
    QByteArray m_pending;
};
