#include "autoansweringagent.h"

#include <QFile>
#include <QStandardPaths>

bool AutoAnsweringAgent::create(const QString &directory)
{
    const QString baresip = QStandardPaths::findExecutable(QStringLiteral("baresip"));
    if (baresip.isEmpty())
        return false;
    m_script = directory + QStringLiteral("/auto-answering-baresip");
    m_pids = directory + QStringLiteral("/auto-answering-baresip.pids");
    QFile script(m_script);
    if (!script.open(QIODevice::WriteOnly))
        return false;
    // exec keeps the process id, so the id noted is the agent's own.
    script.write(QStringLiteral("#!/bin/sh\necho $$ >> '%1'\nexec '%2' \"$@\" -u answermode=auto\n")
                     .arg(m_pids, baresip)
                     .toUtf8());
    script.close();
    return script.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}

QList<qint64> AutoAnsweringAgent::processIds() const
{
    QList<qint64> ids;
    QFile file(m_pids);
    if (!file.open(QIODevice::ReadOnly))
        return ids;
    for (const QByteArray &row : file.readAll().split('\n')) {
        if (!row.trimmed().isEmpty())
            ids.append(row.trimmed().toLongLong());
    }
    return ids;
}
