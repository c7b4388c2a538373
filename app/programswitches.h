#pragma once
#include <QStringList>

// The switches of the command line ("-" or "/" before the name, any letter case,
// anywhere on the line).
struct TProgramSwitches {
    bool uninst = false;         // remove the start at logon, then start as usual
    bool close = false;          // ask the running copy to end, end this one too
    bool install = false;        // only the settings dialog, then end
    bool startup = false;        // started at logon: wait StartDelay before opening the log
    bool startminimized = false; // start in the tray
    bool noshow = false;         // the same as startminimized
    bool canclose = false;       // closing the window ends the program without a question
    bool log = false;            // logging (on in any case)
    bool simulate = false;       // offer the simulated line and the virtual input

    static TProgramSwitches FromArguments(const QStringList &arguments);
    bool StartHidden() const { return startminimized || noshow; }
};
