#pragma once
#include "dboutputs.h"

class TmxNativeExcel;

// One worksheet with a cell per chosen field of every row.
class Tdboutput_xls : public Tdboutputs {
public:
    static constexpr int kMaxSheetRows = 65535;
    static constexpr int kMaxSheetColumns = 256;

    static bool Execute(TMemTable &dataset, Tdboutputsfields fields, bool offerOpen, bool exportHeader);
    static void ExportToFile(TMemTable &dataset, Tdboutputsfields fields, bool exportHeader, const QString &fileName);
    // Fills the writer (already reset) with the sheet for a prepared field list;
    // raises before writing a cell when the rows or columns do not fit a sheet.
    static void Build(TmxNativeExcel &excel, TMemTable &dataset, const Tdboutputsfields &fields, bool exportHeader,
                      const TRowProgress &progress = {});
    static TExportTexts Texts();
};
