#include "modemport.h"

#include <QElapsedTimer>
#include <QScopeGuard>
#include <QSocketNotifier>
#include <algorithm>
#include <vector>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace {

struct SpeedCode {
    int speed;
    speed_t code;
};
const SpeedCode kSpeeds[] = {{9600, B9600},   {19200, B19200},   {38400, B38400},
                             {57600, B57600}, {115200, B115200}, {230400, B230400}};

QString errnoText(const char *what)
{
    return QStringLiteral("%1: %2").arg(QLatin1String(what), QString::fromLocal8Bit(std::strerror(errno)));
}

// Raw 8N1 at the speed; the modem's lines stay up when the port closes only as long as
// the modem holds them, so HUPCL hangs up a call nobody watches any more.
bool configure(int fd, int speed, bool hardwareFlow, QString *error)
{
    termios tio {};
    if (::tcgetattr(fd, &tio) != 0) {
        if (error)
            *error = errnoText("tcgetattr");
        return false;
    }
    ::cfmakeraw(&tio);
    speed_t code = B115200;
    for (const auto &entry : kSpeeds) {
        if (entry.speed == speed)
            code = entry.code;
    }
    ::cfsetispeed(&tio, code);
    ::cfsetospeed(&tio, code);
    tio.c_cflag &= ~(CSIZE | PARENB | CSTOPB | CRTSCTS);
    tio.c_cflag |= CS8 | CREAD | CLOCAL | HUPCL;
    if (hardwareFlow)
        tio.c_cflag |= CRTSCTS;
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    if (::tcsetattr(fd, TCSANOW, &tio) != 0) {
        if (error)
            *error = errnoText("tcsetattr");
        return false;
    }
    ::tcflush(fd, TCIOFLUSH);
    return true;
}

int openRaw(const QString &path, int speed, bool hardwareFlow, QString *error)
{
    const int fd = ::open(path.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        if (error)
            *error = errnoText("open");
        return -1;
    }
    if (!::isatty(fd)) {
        if (error)
            *error = QStringLiteral("not a serial device");
        ::close(fd);
        return -1;
    }
    if (!configure(fd, speed, hardwareFlow, error)) {
        ::close(fd);
        return -1;
    }
    // Nobody else (a modem manager, a second copy) talks to the modem behind our back.
    ::ioctl(fd, TIOCEXCL);
    return fd;
}

bool writeAll(int fd, const QByteArray &bytes, int limitMs, QString *error)
{
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n > 0) {
            done += n;
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN) {
            if (error)
                *error = errnoText("write");
            return false;
        }
        pollfd p {fd, POLLOUT, 0};
        if (::poll(&p, 1, limitMs) <= 0) {
            if (error)
                *error = QStringLiteral("write: the port does not take data (flow control?)");
            return false;
        }
    }
    return true;
}

} // namespace

ModemPort::ModemPort() = default;

ModemPort::~ModemPort() { close(); }

QList<int> ModemPort::Speeds()
{
    QList<int> speeds;
    for (const auto &entry : kSpeeds)
        speeds.append(entry.speed);
    return speeds;
}

bool ModemPort::open(const QString &path, int speed, bool hardwareFlow, QString *error)
{
    close();
    m_fd = openRaw(path, speed, hardwareFlow, error);
    if (m_fd < 0)
        return false;
    m_notifier = std::make_unique<QSocketNotifier>(m_fd, QSocketNotifier::Read);
    QObject::connect(m_notifier.get(), &QSocketNotifier::activated, m_notifier.get(), [this] { readReady(); });
    return true;
}

void ModemPort::close()
{
    if (m_notifier) {
        m_notifier->setEnabled(false);
        // Closed from within its own signal: the notifier goes once the signal is over.
        if (m_reading)
            m_notifier.release()->deleteLater();
        else
            m_notifier.reset();
    }
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
}

bool ModemPort::write(const QByteArray &bytes, QString *error)
{
    if (m_fd < 0) {
        if (error)
            *error = QStringLiteral("the port is closed");
        return false;
    }
    return writeAll(m_fd, bytes, 2000, error);
}

void ModemPort::readReady()
{
    m_reading = true;
    const auto done = qScopeGuard([this] { m_reading = false; });
    char buffer[1024];
    QByteArray data;
    QString failure;
    for (;;) {
        const ssize_t n = ::read(m_fd, buffer, sizeof buffer);
        if (n > 0) {
            data.append(buffer, n);
            if (size_t(n) < sizeof buffer)
                break;
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno == EAGAIN)
            break;
        failure = n == 0 ? QStringLiteral("end of file") : errnoText("read");
        break;
    }
    // What arrived before the failure still counts. The handlers may close the port.
    if (!data.isEmpty() && onData)
        onData(data);
    if (!failure.isEmpty() && m_fd >= 0) {
        close();
        if (onFailure)
            onFailure(failure);
    }
}

QStringList ModemPort::Probe(const QStringList &paths, int speed, int limitMs)
{
    struct Candidate {
        QString path;
        int fd;
        QByteArray got;
        bool answered = false;
        bool failed = false;
    };
    std::vector<Candidate> candidates;
    for (const QString &path : paths) {
        const int fd = openRaw(path, speed, false, nullptr);
        if (fd < 0)
            continue;
        // A UART the kernel found no chip behind (the usual ttyS1..31) is not asked.
        serial_struct serial {};
        if (::ioctl(fd, TIOCGSERIAL, &serial) == 0 && serial.type == PORT_UNKNOWN) {
            ::close(fd);
            continue;
        }
        if (writeAll(fd, QByteArrayLiteral("AT\r"), 100, nullptr))
            candidates.push_back(Candidate{path, fd, {}, false, false});
        else
            ::close(fd);
    }
    // All ports are asked at once, so the search takes one limit, not one per port.
    QElapsedTimer elapsed;
    elapsed.start();
    auto waiting = [&] {
        return std::any_of(candidates.begin(), candidates.end(),
                           [](const Candidate &c) { return !c.answered && !c.failed; });
    };
    while (waiting() && elapsed.elapsed() < limitMs) {
        std::vector<pollfd> fds;
        for (const Candidate &c : candidates)
            fds.push_back(pollfd{c.answered || c.failed ? -1 : c.fd, POLLIN, 0});
        if (::poll(fds.data(), fds.size(), int(qMax<qint64>(1, limitMs - elapsed.elapsed()))) <= 0)
            break;
        for (size_t i = 0; i < candidates.size(); ++i) {
            Candidate &c = candidates[i];
            if (!(fds[i].revents & (POLLIN | POLLHUP | POLLERR)))
                continue;
            char buffer[256];
            const ssize_t n = ::read(c.fd, buffer, sizeof buffer);
            if (n > 0) {
                c.got.append(buffer, n);
                c.answered = c.got.contains("OK");
            } else if (n == 0 || errno != EAGAIN) {
                c.failed = true;
            }
        }
    }
    QStringList found;
    for (const Candidate &c : candidates) {
        if (c.answered)
            found.append(c.path);
        ::close(c.fd);
    }
    return found;
}
