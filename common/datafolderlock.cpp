#include "datafolderlock.h"

#include "myutils.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

#include <QHash>
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace {
// The folders this process holds, with how many holders share each: a lock keeps other
// processes out, not a second session of the same process.
struct HeldFolder {
    int fd = -1;
    int holders = 0;
};
QHash<QString, HeldFolder> &heldFolders()
{
    static QHash<QString, HeldFolder> folders;
    return folders;
}
} // namespace

TDataFolderLock::~TDataFolderLock() { Release(); }

QString TDataFolderLock::LockFileName(const QString &folder) { return JoinPath(folder, QStringLiteral(".tembrel.lock")); }

bool TDataFolderLock::Acquire(const QString &folder, QString *error)
{
    Release();
    const QString key = QFileInfo(folder).absoluteFilePath();
    auto held = heldFolders().find(key);
    if (held != heldFolders().end()) {
        ++held->holders;
        m_fd = held->fd;
        m_folder = key;
        return true;
    }
    const QByteArray name = QFile::encodeName(LockFileName(folder));
    int fd = ::open(name.constData(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0 && (errno == EACCES || errno == EROFS || errno == EPERM))
        fd = ::open(name.constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC); // still tells who is there
    if (fd < 0)
        return true;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno != EWOULDBLOCK) {
            ::close(fd);
            return true;
        }
        char buffer[512] = {};
        const ssize_t got = ::pread(fd, buffer, sizeof buffer - 1, 0);
        ::close(fd);
        const QString holder = QString::fromLocal8Bit(buffer, got > 0 ? int(got) : 0).trimmed();
        const QString pid = holder.section(QLatin1Char(' '), 0, 0);
        const QString program = holder.section(QLatin1Char(' '), 1);
        if (error) {
            *error = QStringLiteral("Datovou složku %1 již používá jiný spuštěný program: %2 (PID %3).")
                         .arg(QFileInfo(folder).absoluteFilePath(),
                              program.isEmpty() ? QStringLiteral("?") : program,
                              pid.isEmpty() ? QStringLiteral("?") : pid);
        }
        return false;
    }
    const QByteArray me = QByteArray::number(qint64(::getpid())) + ' '
        + QFile::encodeName(QFileInfo(QCoreApplication::applicationFilePath()).fileName()) + '\n';
    if (::ftruncate(fd, 0) == 0) {
        [[maybe_unused]] const ssize_t put = ::pwrite(fd, me.constData(), size_t(me.size()), 0);
    }
    m_fd = fd;
    m_folder = key;
    heldFolders().insert(key, HeldFolder{fd, 1});
    return true;
}

void TDataFolderLock::Release()
{
    if (m_fd < 0)
        return;
    m_fd = -1;
    auto held = heldFolders().find(m_folder);
    if (held == heldFolders().end() || --held->holders > 0)
        return;
    // The file stays: removing it would let a third process lock a fresh file while a
    // second one still waits on the old.
    ::close(held->fd);
    heldFolders().erase(held);
}
