#include "deliveredlog.h"

#include <QFile>

#include "myutils.h"

QString InstallDeliveredCallLog(const QString &folder)
{
    SetDataDirectory(folder);
    const QString fileName = JoinPath(folder, QStringLiteral("data.xml"));
    QFile::copy(QStringLiteral(TEMBREL_DELIVERED_DATA_XML), fileName);
    QFile::setPermissions(fileName, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    return fileName;
}
