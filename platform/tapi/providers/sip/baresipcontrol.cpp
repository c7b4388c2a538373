#include "baresipcontrol.h"

#include <QJsonDocument>
#include <QJsonParseError>
#include <QTcpSocket>

bool ParseBaresipEvent(const QJsonObject &message, BaresipEvent &event)
{
    if (!message.value(QLatin1String("event")).toBool() || !message.value(QLatin1String("type")).isString())
        return false;
    event.type = message.value(QLatin1String("type")).toString();
    event.callId = message.value(QLatin1String("id")).toString();
    event.direction = message.value(QLatin1String("direction")).toString();
    event.peerUri = message.value(QLatin1String("peeruri")).toString();
    event.peerName = message.value(QLatin1String("peerdisplayname")).toString();
    event.accountAor = message.value(QLatin1String("accountaor")).toString();
    event.param = message.value(QLatin1String("param")).toString();
    event.raw = message;
    return true;
}

BaresipControl::BaresipControl() : m_socket(new QTcpSocket)
{
    QObject::connect(m_socket, &QTcpSocket::connected, [this] {
        if (onConnected)
            onConnected();
    });
    QObject::connect(m_socket, &QTcpSocket::readyRead, [this] { receive(m_socket->readAll()); });
    QObject::connect(m_socket, &QTcpSocket::errorOccurred, [this](QAbstractSocket::SocketError) {
        lost(m_socket->errorString());
    });
}

BaresipControl::~BaresipControl()
{
    onDisconnected = nullptr;
    m_socket->disconnect();
    m_socket->abort();
    failPending(QStringLiteral("control connection closed"));
    delete m_socket;
}

void BaresipControl::connectTo(const QString &host, quint16 port)
{
    m_socket->abort();
    m_reader.reset();
    m_active = true;
    m_socket->connectToHost(host, port);
}

void BaresipControl::disconnect()
{
    m_active = false;
    m_socket->abort();
    m_reader.reset();
    failPending(QStringLiteral("control connection closed"));
}

bool BaresipControl::isConnected() const { return m_socket->state() == QAbstractSocket::ConnectedState; }

void BaresipControl::send(const QString &command, const QString &params, Reply reply)
{
    if (!isConnected()) {
        if (reply)
            reply(false, QStringLiteral("no control connection"));
        return;
    }
    const QString token = QString::number(m_nextToken++);
    QJsonObject message{{QStringLiteral("command"), command}, {QStringLiteral("token"), token}};
    if (!params.isEmpty())
        message.insert(QStringLiteral("params"), params);
    m_pending[token] = reply ? std::move(reply) : Reply([](bool, const QString &) {});
    m_socket->write(EncodeNetstring(QJsonDocument(message).toJson(QJsonDocument::Compact)));
}

void BaresipControl::receive(const QByteArray &bytes)
{
    if (!m_reader.feed(bytes)) {
        // Whatever came before the fault is still delivered.
        QByteArray payload;
        while (m_reader.next(payload))
            handle(payload);
        lost(QStringLiteral("broken control stream: ") + m_reader.error());
        return;
    }
    QByteArray payload;
    while (m_reader.next(payload))
        handle(payload);
}

void BaresipControl::handle(const QByteArray &payload)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(payload, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject()) {
        if (onProtocolError)
            onProtocolError(error.error != QJsonParseError::NoError
                                ? QStringLiteral("message is not JSON: ") + error.errorString()
                                : QStringLiteral("message is not a JSON object"));
        return;
    }
    const QJsonObject message = document.object();
    if (message.value(QLatin1String("response")).toBool()) {
        auto it = m_pending.find(message.value(QLatin1String("token")).toString());
        if (it == m_pending.end())
            return; // an answer to somebody else's command on a shared user agent
        Reply reply = std::move(it->second);
        m_pending.erase(it);
        reply(message.value(QLatin1String("ok")).toBool(), message.value(QLatin1String("data")).toString());
        return;
    }
    BaresipEvent event;
    if (ParseBaresipEvent(message, event)) {
        if (onEvent)
            onEvent(event);
        return;
    }
    if (onProtocolError)
        onProtocolError(QStringLiteral("message is neither a response nor an event"));
}

void BaresipControl::failPending(const QString &reason)
{
    std::map<QString, Reply> pending;
    pending.swap(m_pending);
    for (auto &entry : pending)
        entry.second(false, reason);
}

void BaresipControl::lost(const QString &reason)
{
    const bool wasActive = m_active;
    m_active = false;
    m_socket->abort();
    m_reader.reset();
    failPending(reason);
    if (wasActive && onDisconnected)
        onDisconnected(reason);
}
