#include "tempdatadir.h"

#include "myutils.h"

TempDataDir::TempDataDir()
    : m_oldData(DataDirectory()), m_oldLog(LogFileName()), m_oldLogging(LoggingEnabled())
{
    SetDataDirectory(m_dir.path());
    SetLogFileName(file(QStringLiteral("tembrel.log")));
    SetLoggingEnabled(true);
}

TempDataDir::~TempDataDir()
{
    SetDataDirectory(m_oldData);
    SetLogFileName(m_oldLog);
    SetLoggingEnabled(m_oldLogging);
}

QString TempDataDir::file(const QString &name) const { return JoinPath(m_dir.path(), name); }
