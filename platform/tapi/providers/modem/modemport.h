#pragma once
// A serial port as a modem needs it: raw 8N1 at a chosen speed, optionally with RTS/CTS
// flow control, read through the event loop. A read error or end of file means the
// device has gone.
#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

class QSocketNotifier;

class ModemPort {
public:
    ModemPort();
    ~ModemPort();
    ModemPort(const ModemPort &) = delete;
    ModemPort &operator=(const ModemPort &) = delete;

    // False with the reason when the device cannot be opened or set up.
    bool open(const QString &path, int speed, bool hardwareFlow, QString *error);
    void close();
    bool isOpen() const { return m_fd >= 0; }
    // Writes all of it; false with the reason (flow control holding the port too long
    // counts as a failure).
    bool write(const QByteArray &bytes, QString *error);

    // What arrived; called from the event loop.
    std::function<void(const QByteArray &)> onData;
    // The device failed or went away; the port is closed already.
    std::function<void(const QString &reason)> onFailure;

    // The speeds a user may choose.
    static QList<int> Speeds();

    // Opens the ports raw at the speed and asks each "AT" at once, without the event loop;
    // gives those that answer OK within the limit. Used to find modems among serial devices.
    static QStringList Probe(const QStringList &paths, int speed, int limitMs);

private:
    void readReady();

    int m_fd = -1;
    bool m_reading = false; // inside the notifier's signal
    std::unique_ptr<QSocketNotifier> m_notifier;
};
