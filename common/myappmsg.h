#pragma once
#include <QLockFile>
#include <QString>
#include <functional>
#include <memory>

class QLocalServer;
class QLocalSocket;

// One running copy per executable file. Copies find each other through a lock
// file and talk through a local socket, both named after the executable's path
// (upper case, "/" separators), so copies of one file meet and copies of
// different files stay apart.

// Commands one copy sends another.
enum AppMsgCommand : int { amcClose = 16, amcFront = 28 };

// The message name for an executable path: the path in upper case with every
// "\" turned into "/".
QString SingleInstanceMessageName(const QString &executablePath);
// The file-system safe key derived from a message name (hex SHA-1 of its UTF-8).
QString SingleInstanceKey(const QString &messageName);

// Folder of the lock file and the socket: the user's runtime folder, else the
// temporary folder. Tests point it at a folder of their own.
QString SingleInstanceDirectory();
void SetSingleInstanceDirectory(const QString &dir);

class tmyappmsgobject {
public:
    tmyappmsgobject(const QString &messageName, bool activateExisting);
    ~tmyappmsgobject();
    tmyappmsgobject(const tmyappmsgobject &) = delete;
    tmyappmsgobject &operator=(const tmyappmsgobject &) = delete;

    const QString &MessageName() const { return m_messageName; }
    bool ActivateExisting() const { return m_activateExisting; }
    // True when the lock is held by another copy, or could not be taken at all.
    bool AnotherCopyExists() const { return m_anotherCopy; }
    QString LockFileName() const;
    QString SocketName() const;

    // Delivers the command to the running copy; false when no copy listens.
    bool Post(int command) const;
    // Handles one command as the running copy does when it arrives.
    void Receive(int command);

    // What the running copy does with the commands; the main window installs
    // them. Without a close handler a close request ends the process; an
    // exception thrown by the handler ends it too.
    std::function<void()> OnClose;
    std::function<void()> OnFront;

private:
    void listen();
    void readCommands(QLocalSocket *socket);

    QString m_messageName;
    bool m_activateExisting;
    bool m_anotherCopy = false;
    std::unique_ptr<QLockFile> m_lock;
    QLocalServer *m_server = nullptr;
};

// The object CheckSingleInstance created, or none.
tmyappmsgobject *AppMsgObject();

// Returns only when this copy is to go on starting. A second copy of the same
// executable asks the running one to come to the front and ends; with the
// switch "close" on the command line the running copy is asked to end and this
// copy ends as well. Name empty: derived from the executable's path.
void CheckSingleInstance(bool activateExisting, const QString &name = QString());

// How the process ends when a copy must not go on; tests replace it.
using ProcessTerminator = std::function<void()>;
void SetProcessTerminator(ProcessTerminator terminator);
// Ends this copy: the terminator when one is set, else exit(0) with the usual
// end-of-program clean-up of the modules.
void EndThisCopy();
