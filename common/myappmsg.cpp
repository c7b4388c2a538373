#include "myappmsg.h"

#include "myutils.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDataStream>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>

#include <cstdlib>

namespace {
// A command on the socket: four magic bytes, then the command as a 32-bit
// little-endian number.
constexpr char kMagic[4] = {'T', 'M', 'B', 'C'};
constexpr int kMessageSize = 8;
constexpr int kConnectTimeoutMs = 2000;

QString g_directory;
ProcessTerminator g_terminator;
std::unique_ptr<tmyappmsgobject> g_object;

QByteArray encodeCommand(int command)
{
    QByteArray bytes(kMagic, 4);
    const auto value = static_cast<uint32_t>(command);
    for (int i = 0; i < 4; ++i)
        bytes.append(static_cast<char>((value >> (8 * i)) & 0xFF));
    return bytes;
}

bool decodeCommand(const QByteArray &bytes, int &command)
{
    if (bytes.size() != kMessageSize || !bytes.startsWith(QByteArray(kMagic, 4)))
        return false;
    uint32_t value = 0;
    for (int i = 0; i < 4; ++i)
        value |= static_cast<uint32_t>(static_cast<uint8_t>(bytes.at(4 + i))) << (8 * i);
    command = static_cast<int>(value);
    return true;
}

void freeObject() { g_object.reset(); }
} // namespace

QString SingleInstanceMessageName(const QString &executablePath)
{
    QString name = executablePath.toUpper();
    name.replace(QLatin1Char('\\'), QLatin1Char('/'));
    return name;
}

QString SingleInstanceKey(const QString &messageName)
{
    return QString::fromLatin1(
        QCryptographicHash::hash(messageName.toUtf8(), QCryptographicHash::Sha1).toHex());
}

QString SingleInstanceDirectory()
{
    if (!g_directory.isEmpty())
        return g_directory;
    const QString runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    return runtime.isEmpty() ? QDir::tempPath() : runtime;
}

void SetSingleInstanceDirectory(const QString &dir) { g_directory = dir; }

void SetProcessTerminator(ProcessTerminator terminator) { g_terminator = std::move(terminator); }

void EndThisCopy()
{
    if (g_terminator) {
        g_terminator();
        return;
    }
    std::exit(0);
}

tmyappmsgobject::tmyappmsgobject(const QString &messageName, bool activateExisting)
    : m_messageName(messageName), m_activateExisting(activateExisting)
{
    // A missing folder would fail the lock and be taken for another copy.
    QDir().mkpath(SingleInstanceDirectory());
    m_lock = std::make_unique<QLockFile>(LockFileName());
    // The lock lasts as long as this copy runs; only a dead owner makes it stale.
    m_lock->setStaleLockTime(0);
    // Any failure to take the lock (held elsewhere, folder not writable, a
    // directory in the way) counts as another copy.
    m_anotherCopy = !m_lock->tryLock(0);
    if (!m_anotherCopy)
        listen();
}

tmyappmsgobject::~tmyappmsgobject()
{
    if (m_server) {
        m_server->close();
        delete m_server;
    }
    if (m_lock && m_lock->isLocked())
        m_lock->unlock();
}

QString tmyappmsgobject::LockFileName() const
{
    return QDir(SingleInstanceDirectory()).filePath(QStringLiteral("tembrel-") + SingleInstanceKey(m_messageName)
                                                    + QStringLiteral(".lock"));
}

QString tmyappmsgobject::SocketName() const
{
    return QDir(SingleInstanceDirectory()).filePath(QStringLiteral("tembrel-") + SingleInstanceKey(m_messageName)
                                                    + QStringLiteral(".sock"));
}

void tmyappmsgobject::listen()
{
    m_server = new QLocalServer;
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    // We hold the lock, so a socket file left here belongs to a copy that died.
    QLocalServer::removeServer(SocketName());
    if (!m_server->listen(SocketName())) {
        WriteLogLine(QStringLiteral("Single instance: cannot listen on %1: %2")
                         .arg(SocketName(), m_server->errorString()));
        return;
    }
    QObject::connect(m_server, &QLocalServer::newConnection, m_server, [this] {
        while (QLocalSocket *socket = m_server->nextPendingConnection()) {
            QObject::connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            QObject::connect(socket, &QLocalSocket::readyRead, socket, [this, socket] { readCommands(socket); });
            if (socket->bytesAvailable() > 0)
                readCommands(socket);
        }
    });
}

void tmyappmsgobject::readCommands(QLocalSocket *socket)
{
    while (socket->bytesAvailable() >= kMessageSize) {
        int command = 0;
        if (!decodeCommand(socket->read(kMessageSize), command)) {
            // Not one of ours: drop the connection rather than guess.
            socket->abort();
            return;
        }
        Receive(command);
    }
}

bool tmyappmsgobject::Post(int command) const
{
    QLocalSocket socket;
    socket.connectToServer(SocketName(), QIODevice::WriteOnly);
    if (!socket.waitForConnected(kConnectTimeoutMs))
        return false;
    socket.write(encodeCommand(command));
    const bool written = socket.waitForBytesWritten(kConnectTimeoutMs) || socket.bytesToWrite() == 0;
    socket.disconnectFromServer();
    if (socket.state() != QLocalSocket::UnconnectedState)
        socket.waitForDisconnected(kConnectTimeoutMs);
    return written;
}

void tmyappmsgobject::Receive(int command)
{
    switch (command) {
    case amcClose:
        if (!OnClose) {
            EndThisCopy();
            return;
        }
        try {
            OnClose();
        } catch (...) {
            EndThisCopy();
        }
        break;
    case amcFront:
        if (OnFront) {
            try {
                OnFront();
            } catch (const std::exception &e) {
                WriteLogLine(QStringLiteral("Single instance: %1").arg(QString::fromUtf8(e.what())));
            }
        }
        break;
    default:
        break;
    }
}

tmyappmsgobject *AppMsgObject() { return g_object.get(); }

void CheckSingleInstance(bool activateExisting, const QString &name)
{
    const QString messageName =
        name.isEmpty() ? SingleInstanceMessageName(QCoreApplication::applicationFilePath()) : name;
    static bool postRoutineAdded = false;
    if (!postRoutineAdded && QCoreApplication::instance()) {
        // The socket and lock go with the application object, before Qt is torn down.
        qAddPostRoutine(freeObject);
        postRoutineAdded = true;
    }
    g_object.reset();
    g_object = std::make_unique<tmyappmsgobject>(messageName, activateExisting);
    tmyappmsgobject *object = g_object.get();

    const QStringList arguments = QCoreApplication::arguments();
    if (HasSwitch(arguments, QStringLiteral("close"))) {
        if (object->AnotherCopyExists())
            object->Post(amcClose);
        // Whether or not a copy ran, this one ends without showing anything.
        EndThisCopy();
        return;
    }
    if (activateExisting && object->AnotherCopyExists()) {
        object->Post(amcFront);
        EndThisCopy();
    }
}
