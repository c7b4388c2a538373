#include "datafolder.h"

#include "myutils.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#ifndef TEMBREL_SHARE_FROM_BIN
#define TEMBREL_SHARE_FROM_BIN "../share/tembrel"
#endif

namespace {
const QString kCallLogName = QStringLiteral("data.xml");
} // namespace

QString InstalledTemplateFile(const QString &appDir)
{
    if (appDir.isEmpty())
        return QString();
    const QString file = QDir::cleanPath(JoinPath(JoinPath(appDir, QStringLiteral(TEMBREL_SHARE_FROM_BIN)), kCallLogName));
    return QFileInfo(file).isFile() ? file : QString();
}

QString UserDataHome()
{
    // Relative values are invalid and must be ignored.
    const QString xdg = qEnvironmentVariable("XDG_DATA_HOME");
    if (!xdg.isEmpty() && QDir::isAbsolutePath(xdg))
        return StripTrailingDelimiter(QDir::cleanPath(xdg));
    return JoinPath(QDir::homePath(), QStringLiteral(".local/share"));
}

TDataFolder ChooseDataFolder(const QString &appDir, const QString &userDataHome)
{
    TDataFolder folder;
    const QString dir = StripTrailingDelimiter(appDir);
    const QString templateFile = InstalledTemplateFile(dir);
    const bool holdsLog = QFileInfo::exists(JoinPath(dir, kCallLogName));
    // Being writable is not enough: root may write into /usr/bin, yet that is the installation.
    if (QFileInfo(dir).isWritable() && (holdsLog || templateFile.isEmpty())) {
        folder.Directory = dir;
        return folder;
    }
    folder.Directory = JoinPath(userDataHome, QString::fromLatin1(kDataFolderName));
    folder.TemplateFile = templateFile;
    folder.UserFolder = true;
    return folder;
}

bool PrepareDataFolder(const QString &dir, const QString &templateFile, QString &error)
{
    const QString target = StripTrailingDelimiter(dir);
    if (!QFileInfo(target).isDir()) {
        if (!EnsureDirectory(target)) {
            error = QStringLiteral("cannot create the data folder %1").arg(target);
            return false;
        }
        // The recordings are the user's conversations.
        QFile::setPermissions(target, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    const QString log = JoinPath(target, kCallLogName);
    if (templateFile.isEmpty() || QFileInfo::exists(log))
        return true;
    const QByteArray bytes = ReadFileToString(templateFile);
    if (bytes.isEmpty()) {
        error = QStringLiteral("cannot read the delivered call log %1").arg(templateFile);
        return false;
    }
    // A fresh file (not a copy, which would keep the installation's read-only mode),
    // renamed into place only where no call log appeared meanwhile.
    const QString temporary = log + QStringLiteral(".new");
    if (!WriteStringToFile(bytes, temporary)) {
        error = QStringLiteral("cannot write %1").arg(log);
        return false;
    }
    if (!QFile::rename(temporary, log)) {
        QFile::remove(temporary);
        if (!QFileInfo::exists(log)) {
            error = QStringLiteral("cannot write %1").arg(log);
            return false;
        }
    }
    return true;
}

void UseDataFolder(const QString &dir)
{
    SetDataDirectory(dir);
    SetConfigFileName(JoinPath(DataDirectory(), QFileInfo(ConfigFileName()).fileName()));
    SetLogFileName(JoinPath(DataDirectory(), QFileInfo(LogFileName()).fileName()));
}

bool SelectDataFolder(QString &error)
{
    const TDataFolder folder = ChooseDataFolder(ApplicationDirectory(), UserDataHome());
    UseDataFolder(folder.Directory);
    return !folder.UserFolder || PrepareDataFolder(folder.Directory, folder.TemplateFile, error);
}

QString DataFolderLogLine() { return QStringLiteral("Data folder: ") + DataDirectory(); }
