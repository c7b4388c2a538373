#pragma once
#include <QString>

// What a file dialog is asked and answers. The filter is the "description|patterns"
// list ("csv soubory (*.csv)|*.csv|*.*|*.*"); FileName proposes a name and takes
// the chosen one.
struct TFileDialogSpec {
    QString Title;
    QString Filter;
    QString DefaultExt; // without the dot; added to a chosen name that has no extension
    QString FileName;
    bool OverwritePrompt = true; // save dialogs
};

// What shows the file dialogs; the windows layer installs the widget one, tests a
// scripted one. Without one every dialog counts as cancelled.
class IFileChooser {
public:
    virtual ~IFileChooser() = default;
    // True when the user chose a file; spec.FileName holds it then.
    virtual bool ChooseSaveFile(TFileDialogSpec &spec) = 0;
    virtual bool ChooseOpenFile(TFileDialogSpec &spec) = 0; // the file must exist
};

// Installs the chooser (not owned) and returns the one it replaces.
IFileChooser *SetFileChooser(IFileChooser *chooser);
IFileChooser *FileChooser();

bool ExecuteSaveDialog(TFileDialogSpec &spec);
bool ExecuteOpenDialog(TFileDialogSpec &spec);
