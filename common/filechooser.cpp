#include "filechooser.h"

#include <QFileInfo>

namespace {
IFileChooser *g_chooser = nullptr;
}

IFileChooser *SetFileChooser(IFileChooser *chooser)
{
    IFileChooser *previous = g_chooser;
    g_chooser = chooser;
    return previous;
}

IFileChooser *FileChooser() { return g_chooser; }

bool ExecuteSaveDialog(TFileDialogSpec &spec)
{
    if (!g_chooser || !g_chooser->ChooseSaveFile(spec) || spec.FileName.isEmpty())
        return false;
    if (!spec.DefaultExt.isEmpty() && QFileInfo(spec.FileName).suffix().isEmpty())
        spec.FileName += QLatin1Char('.') + spec.DefaultExt;
    return true;
}

bool ExecuteOpenDialog(TFileDialogSpec &spec)
{
    return g_chooser && g_chooser->ChooseOpenFile(spec) && !spec.FileName.isEmpty();
}
