#include "dboutputs.h"

#include "exception.h"
#include "filechooser.h"
#include "lcscommon.h"
#include "memtable.h"
#include "myutils.h"
#include "outputwindows.h"

#include <QSaveFile>

namespace {
constexpr int kProgressStep = 500;

// Restores what an export changes around its walk, on every way out.
class TraversalScope {
public:
    TraversalScope(TMemTable &table, const TExportTexts &texts) : m_kept(table, true)
    {
        BeginWait(WaitCursor::Hourglass);
        OutputWindows().ProgressShow(texts.ProgressCaption, texts.ProgressMessage);
    }
    ~TraversalScope()
    {
        OutputWindows().ProgressClose();
        EndWait();
    }
    TraversalScope(const TraversalScope &) = delete;
    TraversalScope &operator=(const TraversalScope &) = delete;

private:
    TKeptRow m_kept;
};
} // namespace

void Tdboutputs::Prepare(TMemTable &dataset, Tdboutputsfields &fields)
{
    if (fields.empty()) {
        for (int i = 0; i < dataset.fieldCount(); ++i) {
            const TField &f = dataset.field(i);
            fields.push_back({f.fieldName(), i, f.displayLabel(), f.displayWidth(), false});
        }
        return;
    }
    for (Tdboutputsfield &entry : fields) {
        const TField *f = nullptr;
        if (!entry.FieldName.isEmpty()) {
            f = &dataset.fieldByName(entry.FieldName);
        } else {
            f = &dataset.field(entry.FieldIndex);
            entry.FieldName = f->fieldName();
        }
        entry.FieldIndex = f->index();
        if (entry.Caption.isEmpty())
            entry.Caption = f->displayLabel();
        if (entry.Width == 0)
            entry.Width = f->displayWidth();
    }
}

bool Tdboutputs::RunExport(const TExportTexts &texts, TMemTable &dataset, Tdboutputsfields &fields, bool offerOpen,
                           const WriteStep &write, const QString &fileName)
{
    QString target = fileName;
    if (target.isEmpty()) {
        TFileDialogSpec spec{texts.DialogTitle, texts.Filter, texts.DefaultExt, QString(), true};
        if (!ExecuteSaveDialog(spec))
            return false;
        target = spec.FileName;
        if (texts.ProcessEventsAfterDialog)
            OutputWindows().ProcessEvents();
    }
    Prepare(dataset, fields);
    {
        TraversalScope scope(dataset, texts);
        target = write(target, [](int rows) {
            if (rows % kProgressStep == 0)
                OutputWindows().ProgressMessage(ExportedText(rows));
        });
    }
    if (offerOpen && ShowMessageBox(texts.Question, mkConfirmation, mbOK | mbCancel) == mrOk)
        OutputWindows().OpenResult(target);
    return true;
}

bool Tdboutputs::RunHeld(TMemTable &dataset, const std::function<bool()> &work)
{
    TKeptRow kept(dataset, true);
    return work();
}

void Tdboutputs::ForEachRow(TMemTable &dataset, const std::function<void(int record)> &visit)
{
    if (!dataset.active())
        return;
    for (dataset.first(); !dataset.eof(); dataset.next()) {
        const int record = dataset.currentRecord();
        if (record < 0)
            break;
        visit(record);
    }
}

void Tdboutputs::SaveBytes(const QByteArray &bytes, const QString &fileName)
{
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        throw Exception(QStringLiteral("Soubor %1 nelze zapsat: %2").arg(fileName, file.errorString()));
}

QString Tdboutputs::ExportedText(int rows)
{
    QString text = CommonText(64);
    text.replace(QStringLiteral("%d"), QString::number(rows));
    return text;
}
