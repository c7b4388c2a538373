#pragma once
#include "dboutputs.h"

// The XHTML 1.1 page: title, creation time, filter, the rows, sums and a count.
class Tdboutput_html : public Tdboutputs {
public:
    static bool Execute(TMemTable &dataset, Tdboutputsfields fields, bool offerOpen, const QString &title,
                        const QString &filterText, bool printTimestamp, bool printRecordCount);
    static void ExportToFile(TMemTable &dataset, Tdboutputsfields fields, const QString &title,
                             const QString &filterText, bool printTimestamp, bool printRecordCount,
                             const QString &fileName);
    // The document's bytes (UTF-8, no byte order mark) for a prepared field list.
    static QByteArray Build(TMemTable &dataset, const Tdboutputsfields &fields, const QString &title,
                            const QString &filterText, bool printTimestamp, bool printRecordCount,
                            const TRowProgress &progress = {});
    static TExportTexts Texts();
};
