#include "filechooserwidget.h"

#include <QApplication>
#include <QFileDialog>

QStringList NameFiltersOf(const QString &filter)
{
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList result;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QString patterns = parts[i + 1];
        patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
        // The description already names its patterns; the dialog needs them in brackets.
        QString description = parts[i];
        const qsizetype bracket = description.indexOf(QLatin1Char('('));
        if (bracket >= 0)
            description = description.left(bracket).trimmed();
        result << description + QStringLiteral(" (") + patterns + QLatin1Char(')');
    }
    return result;
}

namespace {
bool run(TFileDialogSpec &spec, bool save)
{
    QFileDialog dialog(QApplication::activeWindow(), spec.Title);
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    dialog.setNameFilters(NameFiltersOf(spec.Filter));
    dialog.setDefaultSuffix(spec.DefaultExt);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, !spec.OverwritePrompt);
    if (!spec.FileName.isEmpty())
        dialog.selectFile(spec.FileName);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return false;
    spec.FileName = dialog.selectedFiles().constFirst();
    return true;
}
} // namespace

bool TFileChooserWidget::ChooseSaveFile(TFileDialogSpec &spec) { return run(spec, true); }
bool TFileChooserWidget::ChooseOpenFile(TFileDialogSpec &spec) { return run(spec, false); }
