#pragma once
// The user agent's control connection: commands out, responses and events in, each a
// netstring of one JSON object. Responses find their command through a token of ours.
// A stream that stops being netstrings is dropped; a message that is not a JSON object is
// skipped and reported, since the framing around it is still sound.
#include "netstring.h"

#include <QJsonObject>
#include <QString>
#include <functional>
#include <map>

class QTcpSocket;

// One event of the user agent ("CALL_INCOMING", ...), with the fields we use.
struct BaresipEvent {
    QString type;
    QString callId;      // "id"; empty for events of no call
    QString direction;   // "incoming" / "outgoing"
    QString peerUri;     // "peeruri"
    QString peerName;    // "peerdisplayname"
    QString accountAor;  // "accountaor"
    QString param;       // "param": the reason of CALL_CLOSED, the SDP kind, ...
    QJsonObject raw;
};

// Reads the fields of an event message; false when the object is no event.
bool ParseBaresipEvent(const QJsonObject &message, BaresipEvent &event);

class BaresipControl {
public:
    using Reply = std::function<void(bool ok, const QString &data)>;

    BaresipControl();
    ~BaresipControl();
    BaresipControl(const BaresipControl &) = delete;
    BaresipControl &operator=(const BaresipControl &) = delete;

    void connectTo(const QString &host, quint16 port);
    void disconnect();
    bool isConnected() const;

    // Sends a command; reply runs once, with ok false and the reason when the user agent
    // refuses it or the connection ends first.
    void send(const QString &command, const QString &params = QString(), Reply reply = nullptr);
    int pendingCount() const { return int(m_pending.size()); }

    // Hands received bytes to the protocol, as the socket does (tests feed hostile input).
    void receive(const QByteArray &bytes);

    std::function<void()> onConnected;
    std::function<void(const BaresipEvent &)> onEvent;
    // The connection ended (refused, closed by the peer, or dropped for a broken stream).
    std::function<void(const QString &reason)> onDisconnected;
    // A message was skipped; the connection stays.
    std::function<void(const QString &reason)> onProtocolError;

private:
    void handle(const QByteArray &payload);
    void lost(const QString &reason);
    void failPending(const QString &reason);

    QTcpSocket *m_socket;
    NetstringReader m_reader;
    std::map<QString, Reply> m_pending;
    quint64 m_nextToken = 1;
    bool m_active = false; // a connection is wanted; losing it is reported
};
