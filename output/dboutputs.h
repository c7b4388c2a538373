#pragma once
#include <QString>
#include <functional>
#include <vector>

class QIODevice;
class TMemTable;

// One column of an output: which field, under which heading, how wide, summed or not.
struct Tdboutputsfield {
    QString FieldName;
    int FieldIndex = -1;
    QString Caption;
    int Width = 0; // grid pixels from the dialog; display characters when filled in here
    bool Sum = false;
};
using Tdboutputsfields = std::vector<Tdboutputsfield>;

// What one export shows: its save dialog, its progress window and its question.
struct TExportTexts {
    QString DialogTitle;
    QString Filter;
    QString DefaultExt;
    QString ProgressCaption;
    QString ProgressMessage;
    QString Question;
    bool ProcessEventsAfterDialog = false;
};

// Reports each finished data row (1 for the first) to the progress window.
using TRowProgress = std::function<void(int rows)>;

// The base of the writers: the preparation step and the export frame they share.
class Tdboutputs {
public:
    // Completes the list: every field of the dataset when it is empty, otherwise
    // indexes, captions and widths the dialog left open. Raises for an unknown field.
    static void Prepare(TMemTable &dataset, Tdboutputsfields &fields);

    // The frame around writing one file: save dialog (unless a file name is given),
    // preparation, traversal state kept and restored, busy cursor, progress window,
    // and the offer to open the result. False when the dialog was cancelled. The
    // step returns the name it actually wrote, which the question offers to open.
    using WriteStep = std::function<QString(const QString &fileName, const TRowProgress &progress)>;
    static bool RunExport(const TExportTexts &texts, TMemTable &dataset, Tdboutputsfields &fields, bool offerOpen,
                          const WriteStep &write, const QString &fileName = QString());

    // Runs work with the dataset held as an output needs it: its after-scroll handler
    // detached, its linked controls disabled and its current row restored afterwards,
    // also when work raises.
    static bool RunHeld(TMemTable &dataset, const std::function<bool()> &work);

    // Calls visit for every row of the dataset's view, first to last, as the record number.
    static void ForEachRow(TMemTable &dataset, const std::function<void(int record)> &visit);

    // Writes the bytes to the file through a temporary file beside it, so that a
    // failed export leaves an older file of that name as it was; raises on failure.
    static void SaveBytes(const QByteArray &bytes, const QString &fileName);

    // "Vyexportováno %d záznamů" for the progress window.
    static QString ExportedText(int rows);
};
