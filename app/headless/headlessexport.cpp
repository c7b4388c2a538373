#include "headlessexport.h"

#include "cfghandler.h"
#include "exception.h"
#include "lcscommon.h"
#include "memtable.h"
#include "myutils.h"
#include "outputtemplates.h"
#include "outputwriters.h"
#include "phonebook.h"
#include "settings.h"
#include "udmcd.h"

#include <QFileInfo>

namespace {
// The templates of the main window's call list.
const QString kCallListConfig = QStringLiteral("frg_audio");
constexpr size_t kDefaultPrintColumns = 4;
} // namespace

bool ExportCallLog(const QString &fileName, const QString &templateName, const QString &filter, QString &error)
{
    const int type = OutputTypeOfFileName(fileName);
    if (type < 0) {
        error = QStringLiteral("%1: the file name must end with .pdf, .csv, .html, .htm or .xls").arg(fileName);
        return false;
    }
    try {
        TOutputOptions options;
        options.OfferOpen = false;
        options.Title = CommonText(57);
        Tdboutputsfields fields;
        if (!templateName.isEmpty()) {
            TFileCfgHandler cfg(DataDirectory());
            const QStringList lines = TOutputTemplates(&cfg, kCallListConfig).Lines();
            const int index = TOutputTemplates::IndexOf(lines, templateName);
            if (index < 0) {
                error = QStringLiteral("no template \"%1\" in %2").arg(templateName,
                                                                      TOutputTemplates(&cfg, kCallListConfig).FileName());
                return false;
            }
            const TOutputDefinition d = TOutputDefinition::Parse(TOutputTemplates::DefinitionOf(lines[index]));
            options.Title = d.Title;
            options.PrintTimestamp = d.PrintTimestamp;
            options.PrintRecordCount = d.PrintRecordCount;
            options.Orientation = d.Orientation;
            options.FilterText = d.PrintFilter ? filter : QString();
            for (QString column : d.Columns) {
                const bool sum = column.contains(SumMarker());
                column.remove(SumMarker());
                fields.push_back({column, -1, QString(), 0, sum});
            }
        } else {
            options.FilterText = filter;
        }
        // The list names its callers as the program's does; without a readable phonebook
        // the export goes on without names.
        TPhonebook phonebook;
        try {
            phonebook.SetCountryPrefix(LoadSettings(ConfigFileName()).CountryPrefix);
            phonebook.Load(JoinPath(QFileInfo(ConfigFileName()).absolutePath(), QStringLiteral("phonebook.txt")));
        } catch (const Exception &e) {
            WriteLogLine(e.message());
        }
        Tdmcd calls;
        calls.NameOfNumber = [&phonebook](const QString &number) { return phonebook.NameOf(number); };
        calls.OpenCallLog();
        TMemTable &table = *calls.tb_audio;
        if (!table.active()) {
            error = QStringLiteral("the call log %1 cannot be read").arg(JoinPath(DataDirectory(), QStringLiteral("data.xml")));
            return false;
        }
        if (type == otPdf && templateName.isEmpty()) {
            // A page holds what the output dialog checks at first: the list's first four visible columns.
            for (int i = 0; i < table.fieldCount() && fields.size() < kDefaultPrintColumns; ++i) {
                if (table.field(i).visible())
                    fields.push_back({table.field(i).fieldName(), i, QString(), 0, false});
            }
        }
        if (!filter.isEmpty()) {
            table.setFilter(filter);
            table.setFiltered(true);
        }
        ExportOutputToFile(type, table, fields, options, QFileInfo(fileName).absoluteFilePath());
        return true;
    } catch (const Exception &e) {
        error = e.message();
        return false;
    }
}
