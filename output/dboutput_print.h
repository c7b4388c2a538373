#pragma once
#include "dboutputs.h"
#include "reportmodel.h"
#include "reportwindows.h"

// The printed list: a banded report of the chosen columns, shown in the preview
// (from which it is printed or saved) or written straight into a PDF document.
class Tdboutput_print : public Tdboutputs {
public:
    // orientation: 0 portrait, 1 landscape, 2 the printer's default. False when the
    // PDF save dialog was cancelled.
    static bool Execute(TMemTable &dataset, Tdboutputsfields fields, bool offerOpen, const QString &title,
                        const QString &filterText, bool printTimestamp, bool printRecordCount, bool directPdf,
                        int orientation);
    // The PDF document without dialog, progress window or question.
    static void ExportToFile(TMemTable &dataset, Tdboutputsfields fields, const QString &title,
                             const QString &filterText, bool printTimestamp, bool printRecordCount, int orientation,
                             const QString &fileName);

    // The preparation every writer runs; widths the dataset filled in (display
    // characters) then become screen pixels like the widths the dialog gives.
    static void PrepareForPrint(TMemTable &dataset, Tdboutputsfields &fields, double pixelsPerInch);
    // The report of a prepared field list, laid out for a screen of pixelsPerInch
    // and a printer with those margins.
    static TReportProject BuildReport(const TMemTable &dataset, const Tdboutputsfields &fields, const QString &title,
                                      const QString &filterText, bool printTimestamp, bool printRecordCount,
                                      int orientation, double pixelsPerInch, const TPrinterMargins &margins);
    // Screen pixels of a column as wide as chars digits of the report's text.
    static int CharsToPixels(int chars, double pixelsPerInch);

    static TExportTexts PdfTexts();
    static QString ReportName() { return QStringLiteral("Report1"); }
    static QString DataViewName() { return QStringLiteral("DataView1"); }
};
