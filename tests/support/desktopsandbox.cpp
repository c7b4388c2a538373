#include "desktopsandbox.h"

#include <QDir>
#include <QFile>

namespace {
const QByteArray kUnset("\0", 1);

bool writeFile(const QString &name, const QByteArray &bytes, bool executable = false)
{
    QFile f(name);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
        return false;
    f.close();
    if (executable)
        f.setPermissions(f.permissions() | QFile::ExeOwner);
    return true;
}
} // namespace

DesktopSandbox::DesktopSandbox()
{
    if (!m_dir.isValid())
        return;
    const QString root = m_dir.path();
    for (const char *sub : {"home/applications", "config", "share/applications", "xdgconfig"})
        QDir().mkpath(root + QLatin1Char('/') + QLatin1String(sub));
    // The MIME types themselves come from the system; only the programs are ours.
    QFile::link(QStringLiteral("/usr/share/mime"), root + QStringLiteral("/share/mime"));
    setEnv("XDG_DATA_HOME", QFile::encodeName(root + QStringLiteral("/home")));
    setEnv("XDG_DATA_DIRS", QFile::encodeName(root + QStringLiteral("/share")));
    setEnv("XDG_CONFIG_HOME", QFile::encodeName(root + QStringLiteral("/config")));
    setEnv("XDG_CONFIG_DIRS", QFile::encodeName(root + QStringLiteral("/xdgconfig")));
    for (const char *name : {"XDG_CURRENT_DESKTOP", "DESKTOP_SESSION", "KDE_FULL_SESSION", "GNOME_DESKTOP_SESSION_ID",
                             "XDG_SESSION_DESKTOP"})
        setEnv(name, QByteArray(), true);
    // The opener tries programs only where it believes a display exists.
    if (qgetenv("DISPLAY").isEmpty())
        setEnv("DISPLAY", ":99");
    setEnv("BROWSER", "false");
    m_valid = true;
}

DesktopSandbox::~DesktopSandbox()
{
    for (auto it = m_saved.crbegin(); it != m_saved.crend(); ++it) {
        if (it->second == kUnset)
            qunsetenv(it->first.constData());
        else
            qputenv(it->first.constData(), it->second);
    }
}

void DesktopSandbox::setEnv(const char *name, const QByteArray &value, bool unset)
{
    m_saved.append({QByteArray(name), qEnvironmentVariableIsSet(name) ? qgetenv(name) : kUnset});
    if (unset)
        qunsetenv(name);
    else
        qputenv(name, value);
}

QString DesktopSandbox::associate(const QStringList &mimeTypes, const QByteArray &scriptBody)
{
    const QString script = m_dir.path() + QStringLiteral("/probe.sh");
    const QString entry = m_dir.path() + QStringLiteral("/home/applications/tembrel-probe.desktop");
    const QString types = mimeTypes.join(QLatin1Char(';')) + QLatin1Char(';');
    QByteArray defaults("[Default Applications]\n");
    for (const QString &type : mimeTypes)
        defaults += type.toUtf8() + "=tembrel-probe.desktop\n";
    const bool written =
        writeFile(script, "#!/bin/sh\n" + scriptBody + "\n", true)
        && writeFile(entry, "[Desktop Entry]\nType=Application\nName=Probe\nExec=" + QFile::encodeName(script)
                                + " %f\nMimeType=" + types.toUtf8() + "\n")
        && writeFile(m_dir.path() + QStringLiteral("/config/mimeapps.list"), defaults);
    return written ? script : QString();
}
