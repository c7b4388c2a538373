#include "autostart.h"

#include "myutils.h"

#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

namespace {
QString autoStartDirectory()
{
    const QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    return config.isEmpty() ? QString() : JoinPath(config, QStringLiteral("autostart"));
}

// The folder is made on demand, by the query as well.
bool ensureAutoStartDirectory()
{
    const QString dir = autoStartDirectory();
    return !dir.isEmpty() && EnsureDirectory(dir);
}
} // namespace

QString AutoStartFileName()
{
    const QString dir = autoStartDirectory();
    return dir.isEmpty() ? QString() : JoinPath(dir, ApplicationTitle() + QStringLiteral(".desktop"));
}

QString AutoStartCommand(const QString &executablePath)
{
    // Inside the quotes the characters " ` $ \ are escaped with a backslash; a
    // literal "%" is doubled so that it is not taken for a field code.
    QString quoted;
    for (const QChar c : executablePath) {
        if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') || c == QLatin1Char('\\'))
            quoted += QLatin1Char('\\');
        if (c == QLatin1Char('%'))
            quoted += QLatin1Char('%');
        quoted += c;
    }
    return QLatin1Char('"') + quoted + QStringLiteral("\" /startup /startminimized");
}

bool AutoStartEnabled()
{
    if (!ensureAutoStartDirectory())
        return false;
    return QFileInfo::exists(AutoStartFileName());
}

bool SetAutoStart(bool enable)
{
    if (!ensureAutoStartDirectory())
        return false;
    const QString file = AutoStartFileName();
    if (!enable)
        return !QFileInfo::exists(file) || QFile::remove(file);
    // A string value of a desktop entry escapes the backslash once more, and
    // line breaks must not end the line.
    QString exec = AutoStartCommand(ExecutablePath());
    exec.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
    exec.replace(QLatin1Char('\n'), QStringLiteral("\\n"));
    exec.replace(QLatin1Char('\r'), QStringLiteral("\\r"));
    const QString entry = QStringLiteral("[Desktop Entry]\n"
                                         "Type=Application\n"
                                         "Name=")
        + ApplicationTitle() + QStringLiteral("\nExec=") + exec + QStringLiteral("\n");
    return WriteStringToFile(entry.toUtf8(), file);
}
