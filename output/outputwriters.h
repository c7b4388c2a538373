#pragma once
#include "dboutputs.h"

// The options the dialog or a template hands a writer.
struct TOutputOptions {
    bool OfferOpen = true;
    QString Title;
    QString FilterText; // empty when the filter is not to be printed
    bool PrintTimestamp = true;
    bool PrintRecordCount = true;
    int Orientation = 0; // the dialog's item: 0 default, 1 portrait, 2 landscape
    bool ExportHeader = true;
};

enum TOutputType { otPreview = 0, otPdf = 1, otHtml = 2, otXls = 3, otCsv = 4 };
constexpr int kOutputTypeCount = 5;

// Runs the writer of the output type: false when its file dialog was cancelled.
bool RunOutputWriter(int type, TMemTable &dataset, Tdboutputsfields fields, const TOutputOptions &options);
// The same writer straight into the file, without dialog and question; raises for
// the preview, which makes no file.
void ExportOutputToFile(int type, TMemTable &dataset, Tdboutputsfields fields, const TOutputOptions &options,
                        const QString &fileName);
// The file type a name asks for by its extension (.pdf, .csv, .htm/.html, .xls), -1 for none.
int OutputTypeOfFileName(const QString &fileName);
// The print writer's orientation code for the dialog's item: portrait 0, landscape 1, changeable 2.
int PrintOrientationCode(int orientationItem);
