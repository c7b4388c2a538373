#include "outputwriters.h"

#include "dboutput_csv.h"
#include "dboutput_html.h"
#include "dboutput_print.h"
#include "dboutput_xls.h"
#include "exception.h"

#include <QFileInfo>

namespace {
using RunFn = bool (*)(TMemTable &, Tdboutputsfields, const TOutputOptions &);
using FileFn = void (*)(TMemTable &, Tdboutputsfields, const TOutputOptions &, const QString &);

struct WriterEntry {
    RunFn run;
    FileFn toFile;     // none: this output makes no file of its own
    const char *extensions; // ";"-separated, lower case
};

// The one place that maps an output type to its writer.
const WriterEntry kWriters[kOutputTypeCount] = {
    /* otPreview */
    {[](TMemTable &d, Tdboutputsfields f, const TOutputOptions &o) {
         return Tdboutput_print::Execute(d, std::move(f), o.OfferOpen, o.Title, o.FilterText, o.PrintTimestamp,
                                         o.PrintRecordCount, false, PrintOrientationCode(o.Orientation));
     },
     nullptr, ""},
    /* otPdf */
    {[](TMemTable &d, Tdboutputsfields f, const TOutputOptions &o) {
         return Tdboutput_print::Execute(d, std::move(f), o.OfferOpen, o.Title, o.FilterText, o.PrintTimestamp,
                                         o.PrintRecordCount, true, PrintOrientationCode(o.Orientation));
     },
     [](TMemTable &d, Tdboutputsfields f, const TOutputOptions &o, const QString &file) {
         Tdboutput_print::ExportToFile(d, std::move(f), o.Title, o.FilterText, o.PrintTimestamp, o.PrintRecordCount,
                                       PrintOrientationCode(o.Orientation), file);
     },
     "pdf"},
    /* otHtml */
    {[](TMemTable &d, Tdboutputsfields f, const TOutputOptions &o) {
         return Tdboutput_html::Execute(d, std::move(f), o.OfferOpen, o.Title, o.FilterText, o.PrintTimestamp,
                                        o.PrintRecordCount);
     },
     [](TMemTable &d, Tdboutputsfields f, const TOutputOptions &o, const QString &file) {
         Tdboutput_html::ExportToFile(d, std::move(f), o.Title, o.FilterText, o.PrintTimestamp, o.PrintRecordCount,
                                      file);
     },
     "html;htm"},
    /* otXls */
    {[](TMemTable &d, Tdboutputsfields f, const TOutputOptions &o) {
         return Tdboutput_xls::Execute(d, std::move(f), o.OfferOpen, o.ExportHeader);
     },
     [](TMemTable &d, Tdboutputsfields f, const TOutputOptions &o, const QString &file) {
         Tdboutput_xls::ExportToFile(d, std::move(f), o.ExportHeader, file);
     },
     "xls"},
    /* otCsv */
    {[](TMemTable &d, Tdboutputsfields f, const TOutputOptions &o) {
         return Tdboutput_csv::Execute(d, std::move(f), o.OfferOpen, o.ExportHeader);
     },
     [](TMemTable &d, Tdboutputsfields f, const TOutputOptions &o, const QString &file) {
         Tdboutput_csv::ExportToFile(d, std::move(f), o.ExportHeader, file);
     },
     "csv"},
};

const WriterEntry &entryOf(int type)
{
    if (type < 0 || type >= kOutputTypeCount)
        throw Exception(QStringLiteral("Neznámý typ výstupu %1").arg(type));
    return kWriters[type];
}

} // namespace

bool RunOutputWriter(int type, TMemTable &dataset, Tdboutputsfields fields, const TOutputOptions &options)
{
    return entryOf(type).run(dataset, std::move(fields), options);
}

void ExportOutputToFile(int type, TMemTable &dataset, Tdboutputsfields fields, const TOutputOptions &options,
                        const QString &fileName)
{
    const WriterEntry &e = entryOf(type);
    if (!e.toFile)
        throw Exception(QStringLiteral("Tento typ výstupu nezapisuje soubor."));
    e.toFile(dataset, std::move(fields), options, fileName);
}

int OutputTypeOfFileName(const QString &fileName)
{
    const QString suffix = QFileInfo(fileName).suffix().toLower();
    if (suffix.isEmpty())
        return -1;
    for (int type = 0; type < kOutputTypeCount; ++type) {
        if (QString::fromLatin1(kWriters[type].extensions).split(QLatin1Char(';'), Qt::SkipEmptyParts).contains(suffix))
            return type;
    }
    return -1;
}

int PrintOrientationCode(int orientationItem)
{
    switch (orientationItem) {
    case 1: return 0;
    case 2: return 1;
    default: return 2;
    }
}
