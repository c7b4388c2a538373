#include "programswitches.h"

#include "myutils.h"

TProgramSwitches TProgramSwitches::FromArguments(const QStringList &arguments)
{
    TProgramSwitches s;
    s.uninst = HasSwitch(arguments, QStringLiteral("uninst"));
    s.close = HasSwitch(arguments, QStringLiteral("close"));
    s.install = HasSwitch(arguments, QStringLiteral("install"));
    s.startup = HasSwitch(arguments, QStringLiteral("startup"));
    s.startminimized = HasSwitch(arguments, QStringLiteral("startminimized"));
    s.noshow = HasSwitch(arguments, QStringLiteral("noshow"));
    s.canclose = HasSwitch(arguments, QStringLiteral("canclose"));
    s.log = HasSwitch(arguments, QStringLiteral("log"));
    s.simulate = HasSwitch(arguments, QStringLiteral("simulate"));
    return s;
}
