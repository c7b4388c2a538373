#include "peertools.h"

#include <QProcess>
#include <QStandardPaths>

int RunPeer(const QString &program, const QStringList &args, QByteArray *out, QByteArray *err, int timeoutMs)
{
    QProcess p;
    p.start(program, args);
    if (!p.waitForStarted(10000))
        return -1;
    p.closeWriteChannel();
    if (!p.waitForFinished(timeoutMs)) {
        p.kill();
        p.waitForFinished();
        return -1;
    }
    if (out)
        *out = p.readAllStandardOutput();
    if (err)
        *err = p.readAllStandardError();
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

bool HavePeer(const QString &program) { return !QStandardPaths::findExecutable(program).isEmpty(); }
