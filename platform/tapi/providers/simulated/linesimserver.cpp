#include "linesimserver.h"

#include "exception.h"
#include "simulatedline.h"

#include <QLocalServer>
#include <QLocalSocket>
#include <QPointer>
#include <QTimer>
#include <cmath>
#include <deque>
#include <unistd.h>

namespace {

// One client: its events are played in order, each after its own delay.
class Connection : public QObject {
public:
    Connection(QLocalSocket *socket, SimulatedLine &line,
               std::function<void(const QString &, const QString &)> *onEvent)
        : m_socket(socket), m_line(line), m_onEvent(onEvent)
    {
        socket->setParent(this);
        m_timer.setSingleShot(true);
        // A coarse timer may fire 5 % early: "+3 hangup" would end a call at 2.85 s.
        m_timer.setTimerType(Qt::PreciseTimer);
        connect(&m_timer, &QTimer::timeout, this, [this] { playNext(); });
        connect(socket, &QLocalSocket::readyRead, this, [this] { readLines(); });
        connect(socket, &QLocalSocket::disconnected, this, [this] {
            m_timer.stop();
            deleteLater();
        });
    }

    void readLines()
    {
        while (m_socket->canReadLine()) {
            const QString line = QString::fromUtf8(m_socket->readLine()).trimmed();
            ++m_lineNumber;
            if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
                continue;
            // A line that does not parse is answered in its turn, so replies keep the order.
            Entry entry;
            try {
                entry.event = ParseLineEvent(line, m_lineNumber);
            } catch (const Exception &e) {
                entry.parseError = e.message();
            }
            m_queue.push_back(entry);
            if (m_queue.size() == 1 && !m_timer.isActive())
                startNext();
        }
        // A line without its end that grows beyond reason is not a command.
        if (m_socket->bytesAvailable() > 4096) {
            reply(QStringLiteral("ERROR line too long"));
            m_socket->disconnectFromServer();
        }
    }

private:
    void startNext()
    {
        if (m_queue.empty())
            return;
        const Entry &next = m_queue.front();
        m_timer.start(next.parseError.isEmpty() ? int(std::llround(next.event.delaySeconds * 1000.0)) : 0);
    }

    void playNext()
    {
        if (m_queue.empty())
            return;
        const Entry entry = m_queue.front();
        m_queue.pop_front();
        if (!entry.parseError.isEmpty()) {
            reply(QStringLiteral("ERROR ") + entry.parseError);
            startNext();
            return;
        }
        const LineEvent &event = entry.event;
        QString error;
        try {
            m_line.execute(event);
        } catch (const Exception &e) {
            error = e.message();
        }
        if (m_onEvent && *m_onEvent)
            (*m_onEvent)(event.text(), error);
        reply(error.isEmpty() ? QStringLiteral("OK ") + event.text() : QStringLiteral("ERROR ") + error);
        startNext();
    }

    void reply(const QString &text)
    {
        m_socket->write(text.toUtf8() + '\n');
        m_socket->flush();
    }

    QLocalSocket *m_socket;
    SimulatedLine &m_line;
    std::function<void(const QString &, const QString &)> *m_onEvent;
    struct Entry {
        LineEvent event;
        QString parseError;
    };
    std::deque<Entry> m_queue;
    QTimer m_timer;
    int m_lineNumber = 0;
};

} // namespace

QString LineSimSocketName(int lineNumber)
{
    QString prefix = qEnvironmentVariable("TEMBREL_LINESIM_PREFIX");
    if (prefix.isEmpty()) {
        QString user = qEnvironmentVariable("USER");
        if (user.isEmpty())
            user = QString::number(getuid());
        prefix = QStringLiteral("tembrel-linesim-") + user;
    }
    return prefix + QLatin1Char('-') + QString::number(lineNumber);
}

LineSimServer::LineSimServer(SimulatedLine &line) : m_line(line) {}

LineSimServer::~LineSimServer() { delete m_server; }

QString LineSimServer::serverName() const { return m_server ? m_server->fullServerName() : QString(); }

bool LineSimServer::listen(const QString &name)
{
    delete m_server;
    m_server = nullptr;
    // A program that answers on the name keeps it; only a stale socket is replaced.
    QLocalSocket probe;
    probe.connectToServer(name);
    if (probe.waitForConnected(500)) {
        m_error = QStringLiteral("another program already listens on \"%1\"").arg(name);
        return false;
    }
    QLocalServer::removeServer(name);
    m_server = new QLocalServer;
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    if (m_server->listen(name)) {
        acceptConnections();
        return true;
    }
    m_error = m_server->errorString();
    delete m_server;
    m_server = nullptr;
    return false;
}

void LineSimServer::acceptConnections()
{
    QObject::connect(m_server, &QLocalServer::newConnection, m_server, [this] {
        while (QLocalSocket *socket = m_server->nextPendingConnection()) {
            auto *connection = new Connection(socket, m_line, &onEvent);
            connection->setParent(m_server);
            connection->readLines();
        }
    });
}
