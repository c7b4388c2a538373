#pragma once
#include <QString>

// The start at logon: a desktop entry named after the application title in the
// user's autostart folder, starting the executable with "/startup /startminimized".

// <config>/autostart/<application title>.desktop
QString AutoStartFileName();
// True when the entry exists, whatever it holds. False when the autostart
// folder is missing and cannot be made.
bool AutoStartEnabled();
// Writes the entry (replacing any existing one) or removes it. Does nothing when
// the autostart folder cannot be made; the result tells whether the entry is now as asked.
bool SetAutoStart(bool enable);
// The Exec value: the quoted executable path followed by the two switches.
QString AutoStartCommand(const QString &executablePath);
