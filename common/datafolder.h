#pragma once
#include <QString>

// Where the program keeps its files (call log, recordings, settings, layouts, templates,
// log). A copy whose executable folder can be written and is not part of an installation
// keeps them beside the executable, as the program always has (the build folder, a
// portable copy). An installed program never writes into its installation: it uses the
// user's data folder, which its first start fills with the delivered empty call log.

// The folder's name inside the user's data folder; also the installation's share folder.
inline constexpr char kDataFolderName[] = "tembrel";

struct TDataFolder {
    QString Directory;
    // The delivered call log a new folder starts from; empty outside an installation.
    QString TemplateFile;
    bool UserFolder = false;
};

// The delivered data.xml of an installation whose executables lie in appDir; empty when
// appDir is not the executable folder of an installation.
QString InstalledTemplateFile(const QString &appDir);
// $XDG_DATA_HOME when it is an absolute path, otherwise ~/.local/share.
QString UserDataHome();
TDataFolder ChooseDataFolder(const QString &appDir, const QString &userDataHome);
// Makes the folder (readable by its owner only, when new) and gives it a copy of the
// template when it has no data.xml; an existing call log is never replaced.
bool PrepareDataFolder(const QString &dir, const QString &templateFile, QString &error);
// Points the data directory, the settings file and the log file into dir.
void UseDataFolder(const QString &dir);
// At start: chooses the data folder for this executable, prepares and uses it.
bool SelectDataFolder(QString &error);
// The log line that names the folder in use.
QString DataFolderLogLine();
