#pragma once
#include "dboutputs.h"

// The semicolon-separated text file in code page 1250.
class Tdboutput_csv : public Tdboutputs {
public:
    static bool Execute(TMemTable &dataset, Tdboutputsfields fields, bool offerOpen, bool exportHeader);
    // The same file without the dialog and the question (the windowless export).
    static void ExportToFile(TMemTable &dataset, Tdboutputsfields fields, bool exportHeader, const QString &fileName);
    // The file's bytes for a prepared field list.
    static QByteArray Build(TMemTable &dataset, const Tdboutputsfields &fields, bool exportHeader,
                            const TRowProgress &progress = {});
    static TExportTexts Texts();
};
