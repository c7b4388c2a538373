#pragma once
#include "filechooser.h"

// The file dialogs on the screen, owned by the active window, with the filter's
// "description|patterns" pairs as name filters.
class TFileChooserWidget : public IFileChooser {
public:
    bool ChooseSaveFile(TFileDialogSpec &spec) override;
    bool ChooseOpenFile(TFileDialogSpec &spec) override;
};

// "a (*.x)|*.x|b|*.y;*.z" as the dialog's name filters.
QStringList NameFiltersOf(const QString &filter);
