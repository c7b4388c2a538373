#include "dboutput_xls.h"

#include "exception.h"
#include "lcscommon.h"
#include "memtable.h"
#include "mxNativeExcel.h"

#include <cmath>

namespace {
enum class CellKind { Integer, Float, Text };

CellKind kindOf(TFieldType type)
{
    switch (type) {
    case TFieldType::Integer: return CellKind::Integer;
    case TFieldType::Float:
    case TFieldType::Currency:
    case TFieldType::BCD: return CellKind::Float;
    default: return CellKind::Text;
    }
}

// Grid pixels to characters, halves to even; a column wider than a sheet allows
// gets the widest width instead of failing the whole export.
int widthInChars(int pixels) { return std::min(255, int(std::lrint(pixels / 5.0))); }

void checkFits(int dataRows, bool header, size_t columns)
{
    const int needed = dataRows + (header ? 1 : 0);
    if (needed > Tdboutput_xls::kMaxSheetRows) {
        const int fit = Tdboutput_xls::kMaxSheetRows - (header ? 1 : 0);
        throw Exception(QStringLiteral("Výpis má %1 záznamů, ale list Excelu pojme nejvýše %2 řádků, "
                                       "tedy %3 záznamů%4. Soubor nebyl vytvořen; zužte výběr filtrem "
                                       "nebo zvolte export do CSV souboru.")
                            .arg(dataRows)
                            .arg(Tdboutput_xls::kMaxSheetRows)
                            .arg(fit)
                            .arg(header ? QStringLiteral(" s hlavičkou") : QString()));
    }
    if (columns > size_t(Tdboutput_xls::kMaxSheetColumns))
        throw Exception(QStringLiteral("Výpis má %1 položek, ale list Excelu pojme nejvýše %2 sloupců. "
                                       "Soubor nebyl vytvořen.")
                            .arg(columns)
                            .arg(Tdboutput_xls::kMaxSheetColumns));
}
} // namespace

TExportTexts Tdboutput_xls::Texts()
{
    return {CommonText(44), CommonText(45) + QStringLiteral(" (*.xls)|*.xls"), QStringLiteral("xls"),
            CommonText(62), CommonText(63), CommonText(65), true};
}

void Tdboutput_xls::Build(TmxNativeExcel &excel, TMemTable &dataset, const Tdboutputsfields &fields,
                          bool exportHeader, const TRowProgress &progress)
{
    checkFits(dataset.active() ? dataset.recordCount() : 0, exportHeader, fields.size());
    int sheetRow = 1;
    std::vector<const TField *> columns;
    std::vector<CellKind> kinds;
    for (size_t i = 0; i < fields.size(); ++i) {
        const uint16_t column = uint16_t(i + 1);
        if (exportHeader)
            excel.WriteText(uint16_t(sheetRow), column, fields[i].Caption);
        if (fields[i].Width > 4)
            excel.SetColumnWidth(column, widthInChars(fields[i].Width));
        columns.push_back(&dataset.field(fields[i].FieldIndex));
        kinds.push_back(kindOf(columns.back()->dataType()));
    }
    if (exportHeader)
        sheetRow = 2;
    int rows = 0;
    ForEachRow(dataset, [&](int record) {
        for (size_t i = 0; i < columns.size(); ++i) {
            const uint16_t column = uint16_t(i + 1);
            const TField &field = *columns[i];
            if (kinds[i] == CellKind::Text || field.isNullAt(record))
                excel.WriteText(uint16_t(sheetRow), column, field.asStringAt(record));
            else if (kinds[i] == CellKind::Integer)
                excel.WriteNumber(uint16_t(sheetRow), column, double(field.asLargeIntAt(record)));
            else
                excel.WriteNumber(uint16_t(sheetRow), column, field.asFloatAt(record));
        }
        ++rows;
        if (progress)
            progress(rows);
        ++sheetRow;
    });
}

namespace {
QString writeSheet(TMemTable &dataset, const Tdboutputsfields &fields, bool exportHeader, const QString &fileName,
                   const TRowProgress &progress)
{
    TmxNativeExcel excel;
    excel.SetVersion(3);
    excel.SetFileName(fileName);
    excel.Reset();
    Tdboutput_xls::Build(excel, dataset, fields, exportHeader, progress);
    excel.Close();
    excel.SaveToFile();
    return excel.FileName();
}
} // namespace

bool Tdboutput_xls::Execute(TMemTable &dataset, Tdboutputsfields fields, bool offerOpen, bool exportHeader)
{
    return RunExport(Texts(), dataset, fields, offerOpen, [&](const QString &fileName, const TRowProgress &p) {
        return writeSheet(dataset, fields, exportHeader, fileName, p);
    });
}

void Tdboutput_xls::ExportToFile(TMemTable &dataset, Tdboutputsfields fields, bool exportHeader,
                                 const QString &fileName)
{
    RunExport(Texts(), dataset, fields, false, [&](const QString &target, const TRowProgress &p) {
        return writeSheet(dataset, fields, exportHeader, target, p);
    }, fileName);
}
